; Vantrel Converter depacker
;
; The start of a packed executable: a BASIC line 10 SYS 2061, a mover and the depacker, then
; the packed stream (c64/packer.h describes it). RUN unpacks the stream into exactly the bytes
; the plain executable loads, $0800-$93fd, and starts them at $080e as the plain RUN would:
; $01 untouched ($37), the zero page as it was, interrupts enabled, the stack where SYS left it.
;
; Assembled with 64tass (-a -C) into the file's first bytes, load address $0801 included (a
; packed file loads with or without ",1"). The desktop program appends the stream and patches
; the three operands marked "patched" (fixed addresses, checked below).
;
; Memory while it runs:
;   $0800-$93fd  written front to back by the depacker
;   the stream   moved up by whole pages so that it ends at or below $9e00; the depacker
;                writes behind it, never into what it has still to read (the desktop side
;                checks that the stream starts far enough above $0800)
;   $9e00-$9fff  the depacker, copied there before it starts; nothing else writes there
;   $f5-$ff      the depacker's pointers and counters, saved at the start and put back
;
; Cycle counts stand beside the loops that run for every byte or bit.

; ---------------------------------------------------------------------------------------
; Addresses

Target          = $0800         ; the plain executable's first loaded byte
Entry           = $080e         ; its SYS 2062
CoreRun         = $9e00         ; where the depacker runs, below the BASIC ROM

; Zero page, saved and restored.
ZpFirst         = $f5
Source          = $f5           ; 2  the next stream byte
Dest            = $f7           ; 2  the next byte to write
Copy            = $f9           ; 2  where the bytes being copied come from
Bits            = $fb           ; 1  bits still to read, then a 1 (empty when only that is left)
LengthLow       = $fc           ; 1  a gamma value, 1..65535
LengthHigh      = $fd           ; 1
OffsetLow       = $fe           ; 1  the last offset, less one
OffsetHigh      = $ff           ; 1
ZpSize          = $100 - ZpFirst
ZpSaved         = CoreRun + $200 - ZpSize ; the zero page's own bytes meanwhile, $9ff5-$9fff

; The next stream bit into C. Leaves A, X and Y as they are.
GetBit          .macro
                asl Bits                ; 5
                bne Got                 ; 3/2 one byte in eight refills
                jsr Refill
Got
                .endm

; ---------------------------------------------------------------------------------------
; $0801: BASIC line 10 SYS 2061

                * = $0801
                .word BasicEnd          ; $0801 link to the next line
                .word 10                ; $0803 line number
                .byte $9e               ; $0805 SYS
                .text "2061"            ; $0806
                .byte $00               ; $080a end of the line
BasicEnd        .word 0                 ; $080b end of the BASIC program

; ---------------------------------------------------------------------------------------
; $080d: the mover. Moves the stream up by whole pages, top page first (the two may overlap),
; copies the depacker to $9e00 and starts it.

                .cerror * != 2061, "the SYS 2061 entry point moved"
Start           sei                     ; the KERNAL's interrupt reads $f5-$f6 (its key table)
                .cerror * + 1 != $080f, "the page count operand moved"
                ldx #0                  ; patched: pages the stream spans
                ldy #0
                .cerror * + 2 != $0814, "the top source page operand moved"
Move            lda $0000,y             ; patched: the stream's top page
                .cerror * + 2 != $0817, "the top destination page operand moved"
                sta $0000,y             ; patched: the page it moves to
                iny                     ; 14 cycles a byte
                bne Move
                dec Move+2
                dec Move+5
                dex
                bne Move

                ldx #0                  ; the depacker's two pages
CopyCore        lda CoreImage,x
                sta CoreRun,x
                lda CoreImage+$100,x
                sta CoreRun+$100,x
                inx
                bne CopyCore
                ldx Move+5              ; the page below the moved stream's first
                inx
                stx StreamPage+1
                jmp Depack

; ---------------------------------------------------------------------------------------
; The depacker, run from $9e00.

CoreImage
                .logical CoreRun

Depack          ldx #ZpSize-1           ; keep the zero page the KERNAL and BASIC left
-               lda ZpFirst,x
                sta ZpSaved,x
                dex
                bpl -
StreamPage      lda #0                  ; the mover puts the stream's first page here
                sta Source+1
                lda #<StreamStart
                sta Source
                lda #<Target
                sta Dest
                lda #>Target
                sta Dest+1
                lda #$80                ; no bits yet
                sta Bits
                ldy #0                  ; Y stays 0 between the copies
                sty OffsetLow           ; the last offset starts at 1
                sty OffsetHigh

; A literal run: gamma(n), then n bytes of the stream. The first token is one.
Literals        jsr Gamma
                lda Source              ; copy from the stream ...
                sta Copy
                lda Source+1
                sta Copy+1
                jsr CopyBytes
                lda Copy                ; ... which then goes on after the run
                sta Source
                lda Copy+1
                sta Source+1
                #GetBit                 ; 1: a new offset, 0: the last one again
                bcs NewOffset

; A repeat: gamma(n) bytes from the last offset.
                jsr Gamma
                jsr CopyMatch
                #GetBit                 ; 1: a new offset, 0: a literal run
                bcc Literals

; A new offset: gamma(hi + 1), then a byte of the offset's low seven bits and the length's
; first gamma bit; hi + 1 of 256 ends the stream.
NewOffset       lda #1
HighBits        #GetBit
                bcs HighDone
                #GetBit
                rol a
                bcc HighBits
                jmp Finish
HighDone        sbc #1                  ; C is set: A = hi
                lsr a                   ; (offset - 1) >> 8, C its bit 7
                sta OffsetHigh
                lda (Source),y
                ror a                   ; offset - 1 bits 7..0, C the length's first bit
                sta OffsetLow
                inc Source
                bne LowRead
                inc Source+1
LowRead         jsr GammaFrom           ; n - 1
                inc LengthLow
                bne LengthDone
                inc LengthHigh
LengthDone      jsr CopyMatch
                #GetBit                 ; 1: a new offset, 0: a literal run
                bcs NewOffset
                jmp Literals

; gamma(v) into LengthLow/High: for each bit of v after its leading 1 a 0 and the bit, then a
; 1. GammaFrom takes the first of those bits in C.
Gamma           #GetBit
GammaFrom       lda #0
                sta LengthHigh
                lda #1
                bcs GammaDone
GammaBits       #GetBit                 ; 8
                rol a                   ; 2
                rol LengthHigh          ; 5
                #GetBit                 ; 8
                bcc GammaBits           ; 3
GammaDone       sta LengthLow
                rts

; The next bit byte, once Bits holds only its closing 1: C = its top bit, the rest and a
; closing 1 into Bits.
Refill          pha
                lda (Source),y
                inc Source
                bne +
                inc Source+1
+               sec
                rol a
                sta Bits
                pla
                rts

; LengthLow/High bytes from the last offset back: Copy = Dest - (offset - 1) - 1.
CopyMatch       lda Dest
                clc
                sbc OffsetLow
                sta Copy
                lda Dest+1
                sbc OffsetHigh
                sta Copy+1

; LengthLow/High bytes from Copy to Dest, front to back (a copy from close behind repeats
; what it has just written); both pointers end after them.
CopyBytes       ldx LengthLow
                beq CopyPages
-               lda (Copy),y            ; 5 (6 across a page)
                sta (Dest),y            ; 6
                iny                     ; 2
                dex                     ; 2
                bne -                   ; 3  18 cycles a byte
                tya
                clc
                adc Copy
                sta Copy
                bcc +
                inc Copy+1
                clc
+               tya
                adc Dest
                sta Dest
                bcc CopyPages
                inc Dest+1
CopyPages       ldx LengthHigh
                beq CopyDone
                ldy #0
-               lda (Copy),y            ; 5 (6 across a page)
                sta (Dest),y            ; 6
                iny                     ; 2
                bne -                   ; 3  16 cycles a byte
                inc Copy+1
                inc Dest+1
                dex
                bne -
CopyDone        ldy #0
                rts

; The end: the zero page back, interrupts on, and the plain executable's start.
Finish          ldx #ZpSize-1
-               lda ZpSaved,x
                sta ZpFirst,x
                dex
                bpl -
                cli
                jmp Entry

                .cerror * > ZpSaved, "the depacker runs into its zero page copy"
                .here
CoreEnd

; The stream follows.
StreamStart

; A stand-in for the C64 KERNAL ROM in emulator tests. It leaves the machine as RUN leaves it,
; for everything the displayer relies on, then idles at $e000, where the monitor can take over
; to load and start the program under test.
;
; It also does what VICE's autostart looks for, so that a program VICE puts into memory runs
; as on a real C64: the screen shows "READY." above a blinking cursor in column 0 of row 2,
; and when a line starting "RUN" arrives in the keyboard buffer, the first BASIC line's SYS
; address is started.
;
; Assembled with 64tass --nostart into the 8192 bytes of $e000-$ffff.

LineNumber      = $14                   ; where BASIC keeps the number it reads
BlinkOff        = $cc                   ; 0 while the cursor blinks, waiting for input
KeysWaiting     = $c6
LinePointer     = $d1                   ; the cursor's screen line
CursorColumn    = $d3
LineLength      = $d5                   ; the length of a screen line, less one
CursorRow       = $d6
KeyBuffer       = $0277
Screen          = $0400
BasicStart      = $0801
SysToken        = $9e

                * = $e000
Idle            ldx KeysWaiting         ; $e000: the monitor breaks in here
                beq Idle
                lda KeyBuffer-1,x       ; a line is typed once Return arrives
                cmp #$0d
                beq Typed
                cpx #10
                bne Idle                ; more to come
Forget          lda #0
                sta KeysWaiting
                jmp Idle

Typed           ldx #2                  ; "RUN", perhaps followed by more (a colon)
-               lda KeyBuffer,x
                cmp RunCommand,x
                bne Forget
                dex
                bpl -
                lda #0
                sta KeysWaiting
                jmp RunSysLine

RunCommand      .byte $52, $55, $4e     ; "RUN"

; The first BASIC line is "SYS <decimal address>": read the number after the token and go.
RunSysLine      ldy #4                  ; past the link and the line number
                lda BasicStart,y
                cmp #SysToken
                bne Forget
                lda #0
                sta LineNumber
                sta LineNumber+1
Digit           iny
                lda BasicStart,y
                sec
                sbc #"0"
                cmp #10
                bcs Go
                pha                     ; LineNumber = LineNumber * 10 + digit
                lda LineNumber
                ldx LineNumber+1
                asl LineNumber
                rol LineNumber+1
                asl LineNumber
                rol LineNumber+1        ; * 4
                clc
                adc LineNumber
                sta LineNumber
                txa
                adc LineNumber+1
                sta LineNumber+1        ; * 5
                asl LineNumber
                rol LineNumber+1        ; * 10
                pla
                clc
                adc LineNumber
                sta LineNumber
                bcc Digit
                inc LineNumber+1
                jmp Digit
Go              jmp (LineNumber)

Reset           sei
                cld
                ldx #$ff
                txs
                lda #$37                ; the port before its direction register: the other
                sta $01                 ; order banks this ROM out under the running code
                lda #$2f
                sta $00

                lda #$3f                ; CIA 2: port A outputs, VIC bank 0
                sta $dd02
                lda #$97
                sta $dd00

                lda #$1b                ; VIC: text mode as after start-up
                sta $d011
                lda #$c8
                sta $d016
                lda #$14
                sta $d018
                lda #$0e
                sta $d020
                lda #$06
                sta $d021

                ldx #0                  ; a blank screen, "READY." on line 1, the cursor
                lda #$20                ; at the start of line 2
-               sta Screen,x
                sta Screen+$100,x
                sta Screen+$200,x
                sta Screen+$2e8,x
                inx
                bne -
                ldx #5
-               lda ReadyText,x
                sta Screen+40,x
                dex
                bpl -
                lda #<Screen+80
                sta LinePointer
                lda #>Screen+80
                sta LinePointer+1
                lda #0
                sta CursorColumn
                sta BlinkOff
                sta KeysWaiting
                lda #39
                sta LineLength
                lda #2
                sta CursorRow

                lda #$7f                ; CIA 1 timer A interrupt about 60 times a second,
                sta $dc0d               ; as the KERNAL runs it
                sta $dd0d
                lda #$25
                sta $dc04
                lda #$40
                sta $dc05
                lda #$81
                sta $dc0d
                lda #$11
                sta $dc0e
                cli
                jmp Idle

ReadyText       .byte $12, $05, $01, $04, $19, $2e ; "READY." in screen codes

Irq             pha
                lda $dc0d               ; acknowledge the timer
                pla
Nmi             rti

                .fill $fffa - *, $ff
                .word Nmi, Reset, Irq

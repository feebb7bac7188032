; Vantrel Converter displayer
;
; Shows the two interlaced frames of a converted picture on a C64. Each frame is a hires
; bitmap with 80 sprites over it: the eight hardware sprites are re-used ten times down the
; screen. The executable file starts with this program; the two 16 KiB video banks follow it
; from $1200 on, and the desktop program patches the two sprite colours into the operands at
; $0a10 and $0e10.
;
; Assembled with 64tass (-a -C), once for each target machine (-D Target=...; PAL without
; it). The output is a 3000-byte template: the two-byte load address, $0800-$11ff, then zeros
; up to $13b5 (the image covers those bytes in a file). Every fixed point is checked below;
; the build fails if one moves.
;
; Layout (C64 address = $0800 + file offset - 2):
;   $0800-$080d  BASIC line 10 SYS 2062
;   $080e        JMP DisplayerStart, the entry point 2062
;   $0811-$084d  the program's name, zero-terminated
;   $084e-$0852  IgnoreInterrupt, FrameToggle, SavedRegisters
;   $0853-$0939  DisplayerStart (code up to $08fb, then zero)
;   $093a-$0964  RasterIrqA
;   $0965-$09b2  RasterIrqB, then zero up to $09ff
;   $0a00-$0da7  ShowFirstFrame, sprite colour operand at $0a10; zero up to $0dff
;   $0e00-$11a7  ShowSecondFrame, sprite colour operand at $0e10; zero up to $11ff
;   $1200-       the image in a file; zero in the template
;
; That is the PAL displayer. In the others RasterIrqA and RasterIrqB follow DisplayerStart
; directly, "Any C64" puts DetectMachine after them and its detection table at $09f0-$09ff,
; and the frame routines, longer by their delay slides, end at $0dbd and $11bd; the entry,
; the colour operands and the frame routines' starts stay where they are.
;
; Cycle counts stand beside the timed code. "n" is a plain count; "3/2" is a branch taken /
; not taken. Where the machines differ, the delay is a named value with one count for each.

; ---------------------------------------------------------------------------------------
; Hardware

CpuPort         = $01           ; memory configuration of the 6510

SpriteX         = $d000         ; X of sprite m at $d000 + 2m
SpriteY         = $d001         ; Y of sprite m at $d001 + 2m
SpriteXHigh     = $d010         ; bit 8 of every sprite's X
VicControl1     = $d011
RasterLine      = $d012
SpriteEnable    = $d015
VicControl2     = $d016
VicMemory       = $d018         ; screen and bitmap inside the VIC bank
VicIrqFlags     = $d019
VicIrqEnable    = $d01a
SpriteMulti     = $d01c
BorderColour    = $d020
ScreenColour    = $d021
SpriteColour    = $d027         ; colour of sprite m at $d027 + m
Cia1IrqControl  = $dc0d
Cia2PortA       = $dd00         ; bits 0-1 choose the VIC bank (inverted)
Cia2TimerA      = $dd04         ; low byte, high byte at $dd05
Cia2ControlA    = $dd0e
Cia2IrqControl  = $dd0d
NmiVector       = $fffa
ResetVector     = $fffc
IrqVector       = $fffe

DelayByte       = $02           ; any zero-page byte: read by BIT only to spend three cycles

; Inside a video bank: screen 0 at +$0000, screen 1 at +$0400, each with its eight sprite
; pointers in its last bytes.
Screen0Pointers = $03f8
Screen1Pointers = $07f8

; Raster lines
IrqLineA        = 40            ; RasterIrqA
IrqLineB        = 41            ; RasterIrqB, timed to the cycle

; ---------------------------------------------------------------------------------------
; Target machines
;
; The VIC-IIs differ in the length of a raster line, so the two cycle-exact delays differ:
; RasterIrqB's, which must end on the boundary of lines 41 and 42, and row 5's switch on the
; bad line 155. Everything else waits for raster lines and holds on every machine.

MachinePal      = 0             ; 6569 / 8565: 63 cycles x 312 lines = 19656 a frame
MachineNtsc     = 1             ; 6567R8 / 8562: 65 x 263 = 17095
MachineOldNtsc  = 2             ; 6567R56A: 64 x 262 = 16768
MachineDrean    = 3             ; 6572 (PAL-N): 65 x 312 = 20280
MachineAny      = 4             ; finds out at start which of the four it runs on
                .weak
Target          = MachinePal
                .endweak
                .cerror Target < MachinePal || Target > MachineAny, "unknown target machine"

; RasterIrqB reads $d012 this many cycles after its TXS: in the last cycle of line 41 or the
; first of 42, a line length (63, 65, 64, 65) less 17 after line 41's interrupt started.
IrqBDelayOf     = [46, 48, 47, 48]

; Row 5 switches its pointers on a bad line (155), so the switch is timed from line 154:
; this many cycles after $d012 reaches 154, STY $d018 lands after the VIC has fetched the
; pointers for raster line 155 and before the bad line stops the processor. Measured in
; x64sc, with the two frame calls of RasterIrqB equally long (all but the PAL displayer):
;   PAL       34 (33 shows row 5's sprite data on picture line 104, 35 row 4's on line 105)
;   NTSC      42 (40 and less break line 104, 44 and more line 105: a window of 41-43)
;   old NTSC  34 (33 breaks line 104, 36 line 105: a window of 34-35)
;   Drean     42 (the same window as NTSC: 41-43)
; The emulator tests prove them on every model.
Row5DelayOf     = [34, 42, 34, 42]

; The PAL displayer keeps the bytes it was first made with: plain NOP delays, and frame 1's
; call one cycle shorter than frame 2's. Both its frames share the one-cycle window at 36
; (35 breaks picture line 104, 37 line 105).
PalRow5Delay    = 36

; Every other displayer spends its two delays in a run of CMP #imm entered by a branch whose
; offset sets the length (SlideDelay below): assembled in for one machine, patched by the
; start-up code of "Any C64" once it knows the machine.
SlideDelays     = Target != MachinePal
IrqBSlideCycles = IrqBDelayOf - 41    ; after RasterIrqB's 41-cycle loop

; Spends exactly `cycles` cycles (two or more): a BIT of DelayByte for an odd count, then
; NOPs. Changes only the flags.
Delay           .macro cycles
                .cerror (\cycles) < 2, "a delay takes two cycles at least"
                .if (\cycles) % 2 == 1
                bit DelayByte           ; 3
                .endif
                .rept (\cycles) / 2 - (\cycles) % 2
                nop                     ; 2
                .endrept
                .endm

; Spends `cycles` cycles (5 up to `longest`) right after an instruction that left Z set: a
; BEQ, always taken, into a run of CMP #$c9 that ends in CMP $ea and NOP. Every byte the
; branch skips takes one cycle off, so the branch offset alone sets the delay. Changes only
; the flags.
SlideDelay      .macro cycles, longest
                .cerror (\cycles) < 5 || (\cycles) > (\longest), "a slide cannot spend that"
Branch          beq Slide + (\longest) - (\cycles) ; 3
Slide           .fill (\longest) - 6, $c9 ; 2 for every two bytes (CMP #$c9) ...
                .byte $c5, $ea          ; ... and 3 (CMP $ea) or 2 + 2 (CMP #$c5, NOP) at the end
                .cerror Slide >> 8 != (* - 1) >> 8, "a branch into the slide would cross a page"
                .endm

; The branch offset of a slide that spends `cycles` of at most `longest`.
SlideOffset     .function cycles, longest
                .endf (longest) - (cycles)

; Which machine's delays are assembled in; "Any C64" starts with PAL's and patches its own.
AssembledMachine = Target == MachineAny ? MachinePal : Target
IrqBSlideLongest = IrqBSlideCycles[0] >? IrqBSlideCycles[1] >? IrqBSlideCycles[2] >? IrqBSlideCycles[3]
Row5SlideLongest = Row5DelayOf[0] >? Row5DelayOf[1] >? Row5DelayOf[2] >? Row5DelayOf[3]

; ---------------------------------------------------------------------------------------
; $0800: BASIC line 10 SYS 2062

                * = $0800
                .byte $00               ; $0800 the zero byte in front of a BASIC program
                .word BasicEnd          ; $0801 link to the next line
                .word 10                ; $0803 line number
                .byte $9e               ; $0805 SYS
                .text "2062"            ; $0806
                .byte $00               ; $080a end of the line
                .byte $00               ; $080b spare
BasicEnd        .word 0                 ; $080c end of the BASIC program

                .cerror * != $080e, "the SYS 2062 entry point moved"
                jmp DisplayerStart      ; $080e

; $0811: the program's name; it is never shown, only kept in memory.
                .text "vantrel converter: hires + sprite interlace displayer (2005)"
                .cerror * != $084d, "the text must end at $084c"
                .byte $00               ; $084d end of the text

IgnoreInterrupt rti                     ; $084e target of the NMI and RESET vectors
FrameToggle     .byte 0                 ; $084f 0: frame 1 is shown at the next refresh
SavedRegisters  .byte 0, 0, 0           ; $0850 A, X and Y of the interrupted program

; ---------------------------------------------------------------------------------------
; $0853: DisplayerStart. Move the banks into place, set up the VIC, start the raster
; interrupt and idle.

                .cerror * != $0853, "DisplayerStart moved"
DisplayerStart  sei
                .if Target == MachineAny
                jsr DetectMachine       ; while the I/O is still in
                .endif
                lda #$33                ; I/O out: writes to $c000-$ffff reach RAM
                sta CpuPort

; SecondFrameBank $5200-$91ff to $c000-$ffff, upwards. It moves first because its source
; overlaps FirstFrameBank's destination.
                ldx #0
CopyUp          lda $5200,x
                sta $c000,x
                inx
                bne CopyUp
                inc CopyUp+2            ; next source page
                inc CopyUp+5            ; next destination page
                bne CopyUp              ; until the destination wraps from $ff to $00

; FirstFrameBank $1200-$51ff to $4000-$7fff, top page first: its source overlaps its own
; destination at $4000-$51ff.
                ldx #0
CopyDown        lda $5100,x
                sta $7f00,x
                inx
                bne CopyDown
                dec CopyDown+2          ; previous source page
                dec CopyDown+5          ; previous destination page
                lda CopyDown+5
                cmp #$3f                ; until the page below $4000
                bne CopyDown

                lda #$35                ; I/O in, BASIC and KERNAL out
                sta CpuPort

                ldx #32
-               cpx RasterLine
                bne -

                lda #$00
                sta BorderColour
                sta ScreenColour
                sta VicControl1         ; display off while setting up
                lda #$ff
                sta SpriteEnable

                lda #$00                ; colour RAM $d800-$dbe7
                ldx #0
-               sta $d800,x
                sta $d900,x
                sta $da00,x
                sta $dae8,x
                inx
                bne -

                lda #<IgnoreInterrupt
                sta NmiVector
                sta ResetVector
                lda #>IgnoreInterrupt
                sta NmiVector+1
                sta ResetVector+1
                lda #<RasterIrqA
                sta IrqVector
                lda #>RasterIrqA
                sta IrqVector+1

                lda #$7f                ; every CIA interrupt source off
                sta Cia1IrqControl
                sta Cia2IrqControl

                lda VicIrqEnable        ; raster interrupt on
                ora #$01
                sta VicIrqEnable
                lda VicControl1         ; raster compare bit 8 clear
                and #$7f
                sta VicControl1

                lda #$05                ; I/O in, RAM everywhere else
                sta CpuPort
                lda #IrqLineA
                sta RasterLine
                ldx #$ff
                txs

                asl VicIrqFlags         ; acknowledge whatever is pending
                lda Cia1IrqControl
                lda Cia2IrqControl
                cli
Idle            jmp Idle                ; everything else happens in the raster interrupt

; The PAL start-up code is shorter than the room kept for it; the rest stays zero. The other
; displayers' interrupt routines follow their start-up code directly.
                .if Target == MachinePal
                .cerror * > $093a, "DisplayerStart runs into RasterIrqA"
                .fill $093a - *, 0
                .endif

; ---------------------------------------------------------------------------------------
; $093a: RasterIrqA, raster line 40. Sets up a second interrupt on line 41 and waits for it
; in a run of NOPs, so that it starts with at most one cycle of uncertainty.

                .cerror Target == MachinePal && * != $093a, "RasterIrqA moved"
RasterIrqA      sta SavedRegisters      ; 4
                stx SavedRegisters+1    ; 4
                sty SavedRegisters+2    ; 4
                lda #<RasterIrqB        ; 2
                sta IrqVector           ; 4
                lda #>RasterIrqB        ; 2
                sta IrqVector+1         ; 4
                lda #IrqLineB           ; 2
                sta RasterLine          ; 4
                inc VicIrqFlags         ; 6  acknowledge line 40
                tsx                     ; 2  RasterIrqB drops its own frame with this
                cli                     ; 2
                .rept 14                ; 28 line 41's interrupt arrives in here
                nop
                .endrept

; ---------------------------------------------------------------------------------------
; $0965: RasterIrqB, raster line 41. Directly follows the NOPs: should line 41's interrupt
; not have come, execution runs on into it.

                .cerror Target == MachinePal && * != $0965, "RasterIrqB moved"
RasterIrqB      txs                     ; 2  drop this interrupt's return frame
                ldx #8                  ; 2
IrqBLoop        dex                     ; 2  \ 8 x 5 - 1 = 39
                bne IrqBLoop            ; 3/2/
                .cerror IrqBLoop >> 8 != * >> 8, "a page crossing lengthens the loop"
                .if SlideDelays         ; 5 PAL, 7 NTSC, 6 old NTSC, 7 Drean
IrqBDelay       #SlideDelay IrqBSlideCycles[AssembledMachine], IrqBSlideLongest
                .else
                #Delay IrqBSlideCycles[MachinePal]
                .endif
                lda #IrqLineB           ; 2
                cmp RasterLine          ; 4  reads the last cycle of line 41 or the first of 42
                beq +                   ; 3/2 one cycle more while line 41 still runs
+               lda #$3b                ; bitmap mode, display on, 25 rows, scroll 3
                sta VicControl1
                lda #$c8                ; hires, 40 columns
                sta VicControl2

; The PAL displayer reaches ShowFirstFrame one cycle sooner than ShowSecondFrame; the others
; spend 21 cycles on either way, so that both frames meet row 5's switch at the same cycle.
                lda FrameToggle         ; 4
                bne +                   ; 3/2
                .if SlideDelays
                bit DelayByte           ; 3
                .endif
                lda #1                  ; 2
                sta FrameToggle         ; 4
                jsr ShowFirstFrame      ; 6
                jmp RearmIrqA
+
                .if SlideDelays
                nop                     ; 2
                .endif
                lda #0                  ; 2
                sta FrameToggle         ; 4
                jsr ShowSecondFrame     ; 6

RearmIrqA       lda #<RasterIrqA
                sta IrqVector
                lda #>RasterIrqA
                sta IrqVector+1
                lda #IrqLineA
                sta RasterLine
                asl VicIrqFlags         ; acknowledge line 41
                lda SavedRegisters
                ldx SavedRegisters+1
                ldy SavedRegisters+2
                rti                     ; back to the idle loop through RasterIrqA's frame

                .if Target == MachineAny

; ---------------------------------------------------------------------------------------
; DetectMachine ("Any C64"): times one frame with CIA 2's timer A. Lines times cycles a line
; gives 16768 cycles (old NTSC), 17095 (NTSC), 19656 (PAL) or 20280 (Drean): the high byte
; alone tells the four apart, with hundreds of cycles to spare for the 7-cycle polls. The
; machine's delays then go into the offsets of the three slide branches.

DetectLine      = 100           ; its low byte comes once a frame on every machine

DetectMachine   ldx #DetectLine - 1
-               cpx RasterLine
                bne -
                inx
-               cpx RasterLine          ; line 100 has just begun
                bne -
                lda #$ff                ; count down from $ffff ...
                sta Cia2TimerA
                sta Cia2TimerA+1
                lda #%00010001          ; ... loaded now, every cycle, continuously
                sta Cia2ControlA
                dex
-               cpx RasterLine          ; line 99 of the next frame
                bne -
                inx
-               cpx RasterLine          ; line 100 again: one frame later
                bne -
                lda #%00000000          ; stop the timer
                sta Cia2ControlA
                lda Cia2TimerA+1        ; $ffff less the cycles counted, so the inverted high
                eor #$ff                ; byte is the frame length's
                ldx #0
-               cmp FrameBelow,x        ; the first machine with frames shorter than its bound
                bcc +
                inx
                cpx #len(FrameBelow)
                bne -
+               lda DetectOrder,x
                sta DetectedMachine
                lda IrqBOffsets,x
                sta IrqBDelay.Branch+1
                lda Row5Offsets,x
                sta ShowFirstFrame.Row5.Timed.Branch+1
                sta ShowSecondFrame.Row5.Timed.Branch+1
                rts

; $09f0: the detection table, one column per machine in the order of their frame lengths.
DetectOrderList = [MachineOldNtsc, MachineNtsc, MachinePal, MachineDrean]

                .cerror * > $09f0, "DetectMachine runs into the detection table"
                .fill $09f0 - *, 0
DetectedMachine .byte MachineAny        ; $09f0 the machine found at start
FrameBelow      .byte $42, $47, $4e     ; $09f1 high bytes of the bounds between them
DetectOrder     .byte DetectOrderList   ; $09f4
IrqBOffsets                             ; $09f8
                .for column := 0, column < 4, column += 1
                .byte SlideOffset(IrqBSlideCycles[DetectOrderList[column]], IrqBSlideLongest)
                .next
Row5Offsets                             ; $09fc
                .for column := 0, column < 4, column += 1
                .byte SlideOffset(Row5DelayOf[DetectOrderList[column]], Row5SlideLongest)
                .next
                .cerror * != $0a00, "the detection table must end at $09ff"
                .endif

                .cerror * > $0a00, "RasterIrqB runs into ShowFirstFrame"
                .fill $0a00 - *, 0

; ---------------------------------------------------------------------------------------
; The frame routines. Both are the same code but for the VIC bank, the sprite colour and the
; bank of the pointer stores.

; Waits until $d012 equals `line`, polling every 7 cycles.
WaitLine        .macro line
                ldx #\line              ; 2
-               cpx RasterLine          ; 4
                bne -                   ; 3/2
                .endm

; Stores one value in the eight Y registers, sprite 0 first (34 cycles).
StoreAllY       .macro value
                lda #\value             ; 2
                .for ySprite := 0, ySprite < 8, ySprite += 1
                sta SpriteY + 2 * ySprite ; 4
                .next
                .endm

; Stores blocks block..block+7 in the eight pointers at `pointers` (48 cycles).
StorePointers   .macro block, pointers
                .for pointer := 0, pointer < 8, pointer += 1
                lda #\block + pointer   ; 2
                sta \pointers + pointer ; 4
                .next
                .endm

; One sprite row: once the row above has begun, give the sprites the row's Y and put its
; pointers into the screen not being shown, then switch to that screen on the line where the
; VIC starts fetching the row.
SpriteRow       .macro prepare, ypos, block, pointers, switch, screen
                #WaitLine \prepare
                #StoreAllY \ypos
                #StorePointers \block, \pointers
                #WaitLine \switch
                lda #\screen            ; 2
                sta VicMemory           ; 4
                .endm

; Row 5 switches on line 155, a bad line: from line 154 the switch is delayed so it falls
; between the VIC's pointer fetches for line 155 and the bad line's stolen cycles.
SpriteRowDelayed .macro prepare, ypos, block, pointers, switch, screen
                #WaitLine \prepare
                #StoreAllY \ypos
                #StorePointers \block, \pointers
                ldy #\screen            ; 2
                #WaitLine \switch
                .if SlideDelays         ; 42 NTSC and Drean, 34 old NTSC and (on Any) PAL
Timed           #SlideDelay Row5DelayOf[AssembledMachine], Row5SlideLongest
                .else
                #Delay PalRow5Delay     ; 36
                .endif
                sty VicMemory           ; 4
                .endm

ShowFrame       .macro vicBank, bank, colour
                lda #$08                ; 2  screen 0, bitmap at bank + $2000
                sta VicMemory           ; 4
                lda #\vicBank           ; 2
                sta Cia2PortA           ; 4
                lda #$00                ; 2  single-colour sprites
                sta SpriteMulti         ; 4
ColourLoad      lda #\colour           ; 2  the frame's sprite colour, patched by the save
                .for colourSprite := 0, colourSprite < 8, colourSprite += 1
                sta SpriteColour + colourSprite ; 4
                .next
                #StoreAllY 50           ; 34 row 0
                lda #$58                ; 2  X of sprite m: 88 + 24m
                sta SpriteX + 0         ; 4
                lda #$70                ; 2
                sta SpriteX + 2         ; 4
                lda #$88                ; 2
                sta SpriteX + 4         ; 4
                lda #$a0                ; 2
                sta SpriteX + 6         ; 4
                lda #$b8                ; 2
                sta SpriteX + 8         ; 4
                lda #$d0                ; 2
                sta SpriteX + 10        ; 4
                lda #$e8                ; 2
                sta SpriteX + 12        ; 4
                lda #$80                ; 2  sprite 7 at 256
                sta SpriteXHigh         ; 4
                lda #$00                ; 2
                sta SpriteX + 14        ; 4
                #StorePointers $20, \bank + Screen0Pointers ; 48  188 cycles in all

;                             prepare    Y   block pointers               switch  $d018
                #SpriteRow         54,  71,  $28,  \bank + Screen1Pointers,   71,  $18
                #SpriteRow         73,  92,  $30,  \bank + Screen0Pointers,   92,  $08
                #SpriteRow         94, 113,  $38,  \bank + Screen1Pointers,  113,  $18
                #SpriteRow        116, 134,  $40,  \bank + Screen0Pointers,  134,  $08
Row5            #SpriteRowDelayed 136, 155,  $48,  \bank + Screen1Pointers,  154,  $18
                #SpriteRow        158, 176,  $50,  \bank + Screen0Pointers,  176,  $08
                #SpriteRow        178, 197,  $58,  \bank + Screen1Pointers,  197,  $18
                #SpriteRow        199, 218,  $60,  \bank + Screen0Pointers,  218,  $08
                #SpriteRow        220, 239,  $68,  \bank + Screen1Pointers,  239,  $18
                rts
                .endm

; ---------------------------------------------------------------------------------------
; $0a00: ShowFirstFrame: VIC bank $4000-$7fff, Sprite1Colour (template: 10).

                .cerror * != $0a00, "ShowFirstFrame moved"
ShowFirstFrame  #ShowFrame $02, $4000, $0a
                .cerror ShowFirstFrame.ColourLoad + 1 != $0a10, "the frame 1 colour operand moved"
                .cerror * > $0e00, "ShowFirstFrame runs into ShowSecondFrame"
                .fill $0e00 - *, 0

; $0e00: ShowSecondFrame: VIC bank $c000-$ffff, Sprite2Colour (template: 7).

                .cerror * != $0e00, "ShowSecondFrame moved"
ShowSecondFrame #ShowFrame $00, $c000, $07
                .cerror ShowSecondFrame.ColourLoad + 1 != $0e10, "the frame 2 colour operand moved"
                .cerror * > $1200, "the displayer runs into the image at $1200"

; The image is copied over the rest of the template; keep it zero up to its 3000th byte.
                .fill $13b6 - *, 0

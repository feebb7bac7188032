; A stand-in for the C64 KERNAL ROM in emulator tests. It leaves the machine as RUN leaves it,
; for everything the displayer relies on, then idles at $e000, where the monitor takes over
; to load and start the program under test.
;
; Assembled with 64tass --nostart into the 8192 bytes of $e000-$ffff.

                * = $e000
Idle            jmp Idle                ; $e000: the monitor breaks in here

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

Irq             pha
                lda $dc0d               ; acknowledge the timer
                pla
Nmi             rti

                .fill $fffa - *, $ff
                .word Nmi, Reset, Irq

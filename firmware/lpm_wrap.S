; Reads program memory past the end of the ATmega16's 16 KiB, where the
; chip ignores the upper address bits: LPM at Z = 0xFFFF reads the last
; byte (0xA7, placed there), and ELPM (no instruction of this part; the
; simulator takes R0 for the missing RAMPZ) at R0:Z = 0xFF:0xC001 the
; second byte of the program. PORTA and PORTB show what was read.
    .section .text
    .global main
main:
    ldi r16, 0xFF
    out 0x1A, r16       ; DDRA
    out 0x17, r16       ; DDRB
    ldi r30, 0xFF
    ldi r31, 0xFF
    lpm r17, Z
    out 0x1B, r17       ; PORTA = flash[0x3FFF]
    mov r0, r31         ; R0 = 0xFF
    ldi r30, 0x01
    ldi r31, 0xC0
    .word 0x9116        ; elpm r17, Z
    out 0x18, r17       ; PORTB = flash[0x0001]
1:  rjmp 1b

    .section .tail, "a"
    .byte 0xA7

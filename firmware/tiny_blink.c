/*
 * LED blink and PWM for the ATtiny85 at 1 MHz.
 *
 * PB3 blinks: it toggles every 2 ms (a delay loop). Timer0 drives OC0A
 * (PB0) in fast PWM, non-inverting, without prescaler: 1 MHz / 256 =
 * 3906 Hz at a duty cycle of 64 / 256 = 25 %.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay_basic.h>

int main(void) {
    DDRB = _BV(PB0) | _BV(PB3);
    OCR0A = 63;                                    /* high for OCR0A + 1 counts */
    TCCR0A = _BV(COM0A1) | _BV(WGM01) | _BV(WGM00);  /* fast PWM, clear on match */
    TCCR0B = _BV(CS00);
    for (;;) {
        _delay_loop_2(500);                        /* 4 cycles a count: 2 ms */
        PORTB ^= _BV(PB3);
    }
}

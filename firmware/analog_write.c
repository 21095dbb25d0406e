/*
 * The timer outputs Arduino's analogWrite uses on an ATmega328P at 1 MHz,
 * set up the way its core sets them, each with a prescaler of 8:
 *   - Timer0 fast PWM on OC0A (PD6): 1 MHz / 8 / 256 = 488 Hz, OCR0A 127
 *     (high for 128 of 256 counts: 50 %);
 *   - Timer1 phase-correct 8-bit PWM on OC1A (PB1): 1 MHz / 8 / 510 =
 *     245 Hz, OCR1A 64 (25 %);
 *   - Timer2 phase-correct PWM on OC2B (PD3): 245 Hz, OCR2B 191 (75 %).
 * The program never writes the pins after that.
 */
#include <avr/io.h>

int main(void) {
    DDRB = _BV(PB1);
    DDRD = _BV(PD3) | _BV(PD6);
    OCR0A = 127;
    TCCR0A = _BV(COM0A1) | _BV(WGM01) | _BV(WGM00);
    TCCR0B = _BV(CS01);
    OCR1A = 64;
    TCCR1A = _BV(COM1A1) | _BV(WGM10);
    TCCR1B = _BV(CS11);
    OCR2B = 191;
    TCCR2A = _BV(COM2B1) | _BV(WGM20);
    TCCR2B = _BV(CS21);
    for (;;) {
    }
}

// Phase-correct PWM on four timer outputs of an ATmega16 at 1 MHz, each
// driven by the timer alone (the program never writes the pins):
//   PB3 (OC0):  Timer0, OCR0 = 64, clock / 8, non-inverting:
//               1 MHz / (8 * 510) = 245.1 Hz, high 128 of 510 counts;
//   PD5 (OC1A): Timer1 with TOP in ICR1 = 1000, clock / 1, OCR1A = 250,
//               non-inverting: 1 MHz / 2000 = 500 Hz, 25 % high;
//   PD4 (OC1B): the same timer, OCR1B = 250, inverting: 75 % high;
//   PD7 (OC2):  Timer2, OCR2 = 64, clock / 1, inverting: 1960.8 Hz,
//               high 382 of 510 counts.
// PORTA counts the main loop's rounds, so a component can see it run.
#include <avr/io.h>

int main(void) {
    DDRB = _BV(PB3);
    DDRD = _BV(PD4) | _BV(PD5) | _BV(PD7);
    DDRA = 0xFF;

    OCR0 = 64;
    TCCR0 = _BV(WGM00) | _BV(COM01) | _BV(CS01);

    ICR1 = 1000;
    OCR1A = 250;
    OCR1B = 250;
    TCCR1A = _BV(COM1A1) | _BV(COM1B1) | _BV(COM1B0) | _BV(WGM11);
    TCCR1B = _BV(WGM13) | _BV(CS10);

    OCR2 = 64;
    TCCR2 = _BV(WGM20) | _BV(COM21) | _BV(COM20) | _BV(CS20);

    for (uint8_t round = 0;; ++round) {
        PORTA = round;
        for (volatile uint16_t wait = 0; wait < 1000; ++wait) {
        }
    }
}

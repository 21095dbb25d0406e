// Three timer outputs at once on an ATmega16 at 1 MHz, each driven by the
// timer alone (the program never writes the pins after setting them up):
//   PB3 (OC0):  Timer0 fast PWM, OCR0 = 63 of 256, clock / 8:
//               488 Hz, high a quarter of the time;
//   PD5 (OC1A): Timer1 CTC toggling OC1A every 500 cycles:
//               a 1000 Hz square wave;
//   PD7 (OC2):  Timer2 fast PWM, OCR2 = 191, clock / 8: 488 Hz, 75 % high.
// PORTA counts the main loop's rounds, so a component can see it run.
#include <avr/io.h>

int main(void) {
    DDRB = _BV(PB3);
    DDRD = _BV(PD5) | _BV(PD7);
    DDRA = 0xFF;

    OCR0 = 63;
    TCCR0 = _BV(WGM00) | _BV(WGM01) | _BV(COM01) | _BV(CS01);

    OCR1A = 499;
    TCCR1A = _BV(COM1A0);
    TCCR1B = _BV(WGM12) | _BV(CS10);

    OCR2 = 191;
    TCCR2 = _BV(WGM20) | _BV(WGM21) | _BV(COM21) | _BV(CS21);

    for (uint8_t round = 0;; ++round) {
        PORTA = round;
        for (volatile uint16_t wait = 0; wait < 1000; ++wait) {
        }
    }
}

/*
 * Capacitance meter for the ATmega16 (or the ATmega8) at 1 MHz.
 *
 * An astable 555 (R1 = R2 = 12 kOhm, 10 nF fixed in parallel with the
 * capacitor Cx under measurement) drives PB6. The program times one full
 * period between two rising edges with Timer 1 running at the CPU clock and
 * computes
 *     period = 0.693 x 3 x 12000 x (Cx + 10 nF) x 1 MHz = 24.948 x (Cx + 10) cycles
 *     Cx = period / 24.948 - 10  (nF, rounded)
 *
 *   PORTC  Cx in nF (255 for 255 nF and above)
 *   PORTD  the period in units of 16 cycles (255 at most)
 */
#include <avr/io.h>
#include <stdint.h>

static void waitLevel(uint8_t high) {
    if (high) {
        while (!(PINB & (1 << PB6))) {
        }
    } else {
        while (PINB & (1 << PB6)) {
        }
    }
}

int main(void) {
    DDRB = 0x00;
    PORTB = 0x00;
    DDRC = 0xFF;
    DDRD = 0xFF;
    TCCR1A = 0;
    TCCR1B = (1 << CS10); /* Timer 1 at the CPU clock */
    for (;;) {
        waitLevel(0);
        waitLevel(1);
        uint16_t start = TCNT1;
        waitLevel(0);
        waitLevel(1);
        uint16_t period = (uint16_t)(TCNT1 - start);

        uint32_t tenths = ((uint32_t)period * 10000u + 12474u) / 24948u; /* Cx + 10, in 0.1 nF */
        uint32_t nF = (tenths + 5u) / 10u;
        nF = nF > 10u ? nF - 10u : 0u;
        PORTC = nF > 255u ? 255u : (uint8_t)nF;
        uint16_t sixteenths = period >> 4;
        PORTD = sixteenths > 255u ? 255u : (uint8_t)sixteenths;
    }
}

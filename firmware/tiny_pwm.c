/*
 * Timer1 of the ATtiny85 at 1 MHz, in PWM mode and then in CTC1.
 *
 * First 100 overflows: PWM mode on both channels, CK/4, TOP = OCR1C = 99,
 * so 1 MHz / 4 / 100 = 2500 Hz. OC1A (PB1) with COM1A = 01 and OCR1A = 25:
 * high 25 %, and /OC1A (PB0) high 75 %. OC1B (PB4) with COM1B = 10 and
 * OCR1B = 60: high 60 %. The overflow interrupt toggles PB2 (1250 Hz,
 * 50 %) and counts.
 *
 * Then (GPIOR0 = 2): CTC1, CK/64, OCR1C = 124: the count clears every 125
 * ticks (125 Hz); OC1A toggles at the match with OCR1A = 50 (62.5 Hz,
 * 50 %), the compare A interrupt toggles PB3 (62.5 Hz too); OC1B is
 * disconnected.
 */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <stdint.h>

static volatile uint8_t overflows;

ISR(TIM1_OVF_vect) {
    PORTB ^= _BV(PB2);
    if (overflows < 255) ++overflows;
}

ISR(TIM1_COMPA_vect) { PORTB ^= _BV(PB3); }

int main(void) {
    DDRB = _BV(PB0) | _BV(PB1) | _BV(PB2) | _BV(PB3) | _BV(PB4);
    OCR1C = 99;
    OCR1A = 25;
    OCR1B = 60;
    GTCCR = _BV(PWM1B) | _BV(COM1B1);
    TCCR1 = _BV(PWM1A) | _BV(COM1A0) | _BV(CS11) | _BV(CS10);  /* CK/4 */
    TIMSK = _BV(TOIE1);
    GPIOR0 = 1;
    sei();
    while (overflows < 100) {
    }
    cli();
    TIMSK = 0;
    GTCCR = 0;
    OCR1C = 124;
    OCR1A = 50;
    TCCR1 = _BV(CTC1) | _BV(COM1A0) | _BV(CS12) | _BV(CS11) | _BV(CS10);  /* CK/64 */
    TIFR = _BV(OCF1A) | _BV(TOV1);
    TIMSK = _BV(OCIE1A);
    GPIOR0 = 2;
    sei();
    for (;;) {
    }
}

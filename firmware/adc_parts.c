/*
 * The converter of the newer parts, read the way their data sheets give it.
 * Single conversions polled on ADSC, ADLAR set: each port shows the upper
 * eight bits of a result.
 *
 * ATmega328P (1 MHz):
 *   PORTB  ADC7 against AVCC (REFS 01)
 *   PORTD  the temperature sensor (MUX 1000) against the 1.1 V reference
 *          (REFS 11)
 * ATmega2560:
 *   PORTA  ADC15 (MUX5 in ADCSRB, MUX 00111) against AVCC
 *   PORTC  the 1.1 V bandgap (MUX 11110) against the 2.56 V reference (REFS 11)
 */
#include <avr/io.h>
#include <stdint.h>

static uint8_t convert(uint8_t admux) {
    ADMUX = admux | (1 << ADLAR);
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | (1 << ADPS1) | (1 << ADPS0);
    while (ADCSRA & (1 << ADSC)) {
    }
    return ADCH;
}

int main(void) {
#if defined(__AVR_ATmega2560__)
    DDRA = 0xFF;
    DDRC = 0xFF;
    for (;;) {
        ADCSRB = 1 << MUX5;
        PORTA = convert((1 << REFS0) | 7);
        ADCSRB = 0;
        PORTC = convert((1 << REFS1) | (1 << REFS0) | 0x1E);
    }
#else
    DDRB = 0xFF;
    DDRD = 0xFF;
    for (;;) {
        PORTB = convert((1 << REFS0) | 7);
        PORTD = convert((1 << REFS1) | (1 << REFS0) | 8);
    }
#endif
}

/*
 * Reference follower for the ATmega16 at 1 MHz: converts ADC0 and ADC1 in
 * turn, over and over, against the reference PD0 selects, and shows the
 * upper eight bits of each result (ADLAR set, ADCH only):
 *
 *   PD0 low   the internal reference (REFS = 3)
 *   PD0 high  AVCC (REFS = 1)
 *
 *   PORTB  ADC0
 *   PORTC  ADC1
 *
 * Single conversions polled on ADSC; the converter clock is 1 MHz / 8.
 */
#include <avr/io.h>
#include <stdint.h>

static uint8_t convert(uint8_t channel) {
    const uint8_t refs = (PIND & (1 << PD0)) ? (1 << REFS0) : ((1 << REFS1) | (1 << REFS0));
    ADMUX = refs | (1 << ADLAR) | channel;
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | (1 << ADPS1) | (1 << ADPS0);
    while (ADCSRA & (1 << ADSC)) {
    }
    return ADCH;
}

int main(void) {
    DDRB = 0xFF;
    DDRC = 0xFF;
    DDRD = 0x00;
    for (;;) {
        PORTB = convert(0);
        PORTC = convert(1);
    }
}

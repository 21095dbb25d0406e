/*
 * Converter reader for the ATmega16 at 1 MHz: reads input ADC3 against AVCC
 * in the three ways programs wait for a conversion, over and over, and shows
 * each 8-bit result (ADLAR set, ADCH only) on its own port:
 *
 *   PORTB  single conversion, polled until ADSC clears;
 *   PORTD  single conversion ended by the interrupt, ISR(ADC_vect);
 *   PORTC  free running (ADATE, trigger source 0), polled on ADIF, which
 *          the program clears by writing 1 to it. If ADIF does not read 0
 *          right after that write, the program stops with PORTC = 0xEE.
 *
 * The converter clock is 1 MHz / 8 = 125 kHz.
 */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <stdint.h>

#define PRESCALER ((1 << ADPS1) | (1 << ADPS0))

static volatile uint8_t isrDone;

ISR(ADC_vect) {
    PORTD = ADCH;
    isrDone = 1;
}

static void fail(void) {
    cli();
    ADCSRA = 0;
    PORTC = 0xEE;
    for (;;) {
    }
}

static void singlePolledOnAdsc(void) {
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | PRESCALER;
    while (ADCSRA & (1 << ADSC)) {
    }
    PORTB = ADCH;
}

static void singleByInterrupt(void) {
    isrDone = 0;
    ADCSRA = (1 << ADEN) | (1 << ADIE) | (1 << ADSC) | (1 << ADIF) | PRESCALER;
    while (!isrDone) {
    }
    ADCSRA = (1 << ADEN) | PRESCALER;
}

static void freeRunningPolledOnAdif(void) {
    SFIOR &= (uint8_t)~((1 << ADTS2) | (1 << ADTS1) | (1 << ADTS0));
    ADCSRA = (1 << ADEN) | (1 << ADATE) | (1 << ADSC) | (1 << ADIF) | PRESCALER;
    uint8_t result = 0;
    for (uint8_t n = 0; n < 3; ++n) {
        while (!(ADCSRA & (1 << ADIF))) {
        }
        result = ADCH;
        ADCSRA |= (1 << ADIF);  /* writing 1 clears the flag */
        if (ADCSRA & (1 << ADIF)) fail();
    }
    PORTC = result;
    /* Leave free running; the conversion under way still completes. */
    ADCSRA = (1 << ADEN) | (1 << ADIF) | PRESCALER;
    while (ADCSRA & (1 << ADSC)) {
    }
}

int main(void) {
    DDRB = 0xFF;
    DDRC = 0xFF;
    DDRD = 0xFF;
    ADMUX = (1 << REFS0) | (1 << ADLAR) | 3;
    sei();
    for (;;) {
        singlePolledOnAdsc();
        singleByInterrupt();
        freeRunningPolledOnAdif();
    }
}

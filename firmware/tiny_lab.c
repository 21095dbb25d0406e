/*
 * A lab program for the ATtiny85 at 1 MHz. It has no USART: what it reads
 * is in global variables a debugger (or a test) reads. `lab_mode` chooses:
 *
 *   0 (from reset)  ADC1 (PB2) converted over and over against the
 *       reference two switches choose, PB3 and PB1 (inputs without
 *       pull-up): 00 Vcc, 01 AREF (PB0), 10 the 1.1 V reference, 11 the
 *       2.56 V one. The upper eight bits of the result (ADLAR) are in
 *       `reading`; a LED on PB4 is lit while it is 128 or more.
 *   1  thermostat on ADC3 (PB3) against Vcc: below 10 degrees of the
 *       cellar's divider (a code above 469) heater on PB1, above 20 (below
 *       355) cooler on PB4, status on PB0 while either runs.
 *   2  the differential input ADC2 - ADC3 against Vcc at gain 1 and 20,
 *       unipolar (unipolar1, unipolar20), bipolar with BIN (bipolar1,
 *       bipolar20) and with the inputs swapped by IPR (swapped1): whole
 *       10-bit results.
 */
#include <avr/io.h>
#include <stdint.h>

volatile uint8_t lab_mode;
volatile uint8_t reading;
volatile uint16_t unipolar1, unipolar20, bipolar1, bipolar20, swapped1;

/* REFS2..0 as ADMUX holds them: REFS1 and REFS0 in bits 7 and 6, REFS2 in
 * bit 4. */
static const uint8_t references[4] = {
    0,                                /* Vcc */
    1 << REFS0,                       /* AREF */
    1 << REFS1,                       /* 1.1 V */
    (1 << REFS2) | (1 << REFS1),      /* 2.56 V, AREF pin free */
};

static uint16_t convert(uint8_t admux) {
    ADMUX = admux;
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | (1 << ADPS1) | (1 << ADPS0);
    while (ADCSRA & (1 << ADSC)) {
    }
    return ADC;
}

int main(void) {
    for (;;) {
        if (lab_mode == 0) {
            DDRB = _BV(PB4);
            const uint8_t in = PINB;
            const uint8_t choice = (uint8_t)(((in >> PB3) & 1) << 1 | ((in >> PB1) & 1));
            reading = (uint8_t)(convert(references[choice] | (1 << ADLAR) | 1) >> 8);
            PORTB = reading >= 128 ? _BV(PB4) : 0;
        } else if (lab_mode == 2) {
            ADCSRB = 0;
            unipolar1 = convert(6); /* MUX 0110: ADC2 - ADC3, 1x */
            unipolar20 = convert(7); /* MUX 0111: 20x */
            ADCSRB = 1 << BIN;
            bipolar1 = convert(6);
            bipolar20 = convert(7);
            ADCSRB = (1 << BIN) | (1 << IPR);
            swapped1 = convert(6);
        } else {
            const uint16_t code = convert(3);
            uint8_t out = 0;
            if (code > 469) out = _BV(PB1) | _BV(PB0);
            else if (code < 355) out = _BV(PB4) | _BV(PB0);
            DDRB = _BV(PB0) | _BV(PB1) | _BV(PB4);
            PORTB = out;
        }
    }
}

/*
 * Cellar thermostat for the ATmega16 at 1 MHz.
 *
 * The cellar's NTC thermistor divider (20 kOhm NTC on the ground side, 47
 * kOhm to 5 V) feeds ADC7; AVCC (5 V) is the reference. A warmer cellar
 * gives a lower voltage. The program keeps the cellar between 10 and 20
 * degrees Celsius:
 *     below 10 degrees (above 2292 mV, code 469): heater on  (PC0)
 *     above 20 degrees (below 1735 mV, code 355): cooler on  (PC1)
 *     status LED (PC2): on while the heater or the cooler runs
 *   PORTD  the last result >> 2 (8 bits)
 */
#include <avr/io.h>
#include <stdint.h>

#define COLD_CODE 469u
#define WARM_CODE 355u

static uint16_t readChannel7(void) {
    ADMUX = (1 << REFS0) | 7;
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | (1 << ADPS1) | (1 << ADPS0);
    while (ADCSRA & (1 << ADSC)) {
    }
    uint8_t low = ADCL;
    uint8_t high = ADCH;
    return (uint16_t)(((uint16_t)high << 8) | low);
}

int main(void) {
    DDRC = 0x07;
    PORTC = 0x00;
    DDRD = 0xFF;
    for (;;) {
        uint16_t code = readChannel7();
        uint8_t out = 0;
        if (code > COLD_CODE) out = (1 << PC0) | (1 << PC2);
        else if (code < WARM_CODE) out = (1 << PC1) | (1 << PC2);
        PORTC = out;
        PORTD = (uint8_t)(code >> 2);
    }
}

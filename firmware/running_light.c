/*
 * Running light for the ATmega16 at 1 MHz.
 *
 * One lit segment runs round PORTA, one step per millisecond (about 1000
 * cycles). The switch on PB7 sets the direction: low (the reset state; PB7
 * is an input without pull-up, so an external switch gives the level)
 * moves the light towards PA7, high moves it towards PA0.
 *
 * Fits the Knight Rider component with its defaults: bar on PORTA, switch
 * on PINB bit 7.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay_basic.h>

/* _delay_loop_2 takes 4 cycles per count: 250 counts are 1 ms at 1 MHz. */
#define STEP_DELAY_COUNTS 250

int main(void) {
    DDRA = 0xFF;
    DDRB &= (uint8_t)~_BV(PB7);
    PORTB &= (uint8_t)~_BV(PB7);

    uint8_t light = 0x01;
    for (;;) {
        PORTA = light;
        _delay_loop_2(STEP_DELAY_COUNTS);
        if (PINB & _BV(PB7)) {
            light = (uint8_t)((light >> 1) | (light << 7));
        } else {
            light = (uint8_t)((light << 1) | (light >> 7));
        }
    }
}

/*
 * Running light at 1 MHz, for the ATmega16 and any part with the ports it
 * is built for.
 *
 * One lit segment runs round the bar port (PORTA unless built with
 * -DBAR=L), one step per millisecond (about 1000 cycles). The switch on pin
 * 7 of the switch port (PB7 unless built with -DSWITCH=K) sets the
 * direction: low (the reset state; the pin is an input without pull-up, so
 * an external switch gives the level) moves the light towards bit 7, high
 * moves it towards bit 0.
 *
 * Fits the Knight Rider component with its defaults: bar on PORTA, switch
 * on PINB bit 7 (on the ATmega2560 build: bar on PORTL, switch on PINK).
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay_basic.h>

/* _delay_loop_2 takes 4 cycles per count: 250 counts are 1 ms at 1 MHz. */
#define STEP_DELAY_COUNTS 250

#ifndef BAR
#define BAR A
#endif
#ifndef SWITCH
#define SWITCH B
#endif
#define JOIN(a, b) a##b
#define REG(kind, port) JOIN(kind, port)
#define BAR_PORT REG(PORT, BAR)
#define BAR_DDR REG(DDR, BAR)
#define SWITCH_PIN REG(PIN, SWITCH)
#define SWITCH_DDR REG(DDR, SWITCH)
#define SWITCH_PORT REG(PORT, SWITCH)

int main(void) {
    BAR_DDR = 0xFF;
    SWITCH_DDR &= (uint8_t)~_BV(7);
    SWITCH_PORT &= (uint8_t)~_BV(7);

    uint8_t light = 0x01;
    for (;;) {
        BAR_PORT = light;
        _delay_loop_2(STEP_DELAY_COUNTS);
        if (SWITCH_PIN & _BV(7)) {
            light = (uint8_t)((light >> 1) | (light << 7));
        } else {
            light = (uint8_t)((light << 1) | (light >> 7));
        }
    }
}

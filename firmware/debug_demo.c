/*
 * Debugger demo for the ATmega16 at 1 MHz, built with -Og so that every
 * source line keeps its own instructions.
 *
 * Each pass of the main loop calls tick(), which counts the passes in
 * `counter` and adds them up in `total`, then copies the global `pattern`
 * to PORTA: a debugger that writes `pattern` lights the LEDs it chose.
 */
#include <avr/io.h>
#include <stdint.h>

volatile uint8_t counter;
volatile uint16_t total;
volatile uint8_t pattern = 0x01;
static volatile uint8_t passes;

__attribute__((noinline)) void tick(void) {
    counter++;
    total += counter;
}

int main(void) {
    DDRA = 0xFF;
    for (;;) {
        tick();
        PORTA = pattern;
        passes++;
    }
}

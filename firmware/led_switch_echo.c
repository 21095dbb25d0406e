/*
 * Switch and LED echo for the ATmega16 (and ATmega8) at 1 MHz.
 *
 * Port B is eight switch inputs without pull-ups. The program copies them
 * in a tight loop:
 *   - PORTC (all outputs) := PINB, so an LED on port C follows the switch
 *     on the same bit of port B, whether the LED watches PINC ("Use PIN
 *     register.") or DDRC and PORTC ("Use DDRx and PORTx register.").
 *   - PD0..PD3 are outputs and follow PB0..PB3; PD4..PD7 are inputs with
 *     their pull-ups switched on. An LED on PD4..PD7 therefore lights in
 *     PIN mode (a pulled-up input reads high) but stays dark in DDR/PORT
 *     mode (the pin is not an output).
 */
#include <avr/io.h>
#include <stdint.h>

int main(void) {
    DDRB = 0x00;
    PORTB = 0x00;
    DDRC = 0xFF;
    DDRD = 0x0F;
    for (;;) {
        uint8_t in = PINB;
        PORTC = in;
        PORTD = (uint8_t)(0xF0 | (in & 0x0F));
    }
}

/*
 * Key scanner for the 3x4 keypad on its fixed wiring, ATmega16 at 1 MHz.
 *
 * Rows are driven high one at a time: row r (keys 1-3, 4-6, 7-9, *0#) on
 * PB(3 - r). Columns are inputs without pull-ups: column 0 (1 4 7 *) on
 * PD7, column 1 (2 5 8 0) on PD6, column 2 (3 6 9 #) on PC0. A key pressed
 * while its row is driven reads high on its column.
 *
 * PORTA shows the ASCII code of the key held down ('5' = 0x35), 0 when no
 * key is held. While a key is held the scan stops on its row, so the key
 * is released on the same row it was pressed on; then the scan goes on
 * with the next row. Each row is driven for about 4000 cycles (4 ms).
 */
#include <avr/io.h>
#include <stdint.h>

#define ROW_POLLS 200

static const char keys[4][3] = {
    {'1', '2', '3'},
    {'4', '5', '6'},
    {'7', '8', '9'},
    {'*', '0', '#'},
};

/* Bit c set when column c reads high. */
static uint8_t columns(void) {
    uint8_t c = 0;
    if (PIND & _BV(PD7)) c |= 0x01;
    if (PIND & _BV(PD6)) c |= 0x02;
    if (PINC & _BV(PC0)) c |= 0x04;
    return c;
}

int main(void) {
    DDRA = 0xFF;
    PORTA = 0x00;
    DDRB = 0x0F;
    PORTB = 0x00;
    DDRD &= (uint8_t)~(_BV(PD7) | _BV(PD6));
    PORTD &= (uint8_t)~(_BV(PD7) | _BV(PD6));
    DDRC &= (uint8_t)~_BV(PC0);
    PORTC &= (uint8_t)~_BV(PC0);

    for (;;) {
        for (uint8_t row = 0; row < 4; ++row) {
            PORTB = (uint8_t)_BV(3 - row);
            for (uint16_t poll = 0; poll < ROW_POLLS; ++poll) {
                uint8_t c = columns();
                if (c) {
                    uint8_t col = (c & 0x01) ? 0 : (c & 0x02) ? 1 : 2;
                    PORTA = (uint8_t)keys[row][col];
                    while (columns()) {
                    }
                    PORTA = 0x00;
                    break;
                }
            }
        }
    }
}

/*
 * Key scanner for the 3x4 keypad wired as an Arduino user wires it, on an
 * Uno (ATmega328P, 16 MHz): columns 0..2 (1 4 7 *, 2 5 8 0, 3 6 9 #) on
 * D4, D3, D2 (PD4, PD3, PD2), rows 0..3 (1 2 3 ... * 0 #) on D9, D8, A1,
 * A0 (PB1, PB0, PC1, PC0): three ports, no line on its neighbour's bit.
 *
 * Rows are driven high one at a time and the columns read. A column that
 * reads high is checked the other way round: the rows become inputs, that
 * column is driven, and the key's row must read high on its own pin. Only
 * a key found both ways counts: GPIOR0 shows its ASCII code ('5' = 0x35)
 * until it is released, 0 when none is held; GPIOR1 counts the keys found.
 */
#include <avr/io.h>
#include <stdint.h>

static const char keys[4][3] = {
    {'1', '2', '3'},
    {'4', '5', '6'},
    {'7', '8', '9'},
    {'*', '0', '#'},
};

/* The rows' pins: port registers and bit. */
static volatile uint8_t* const row_ddr[4] = {&DDRB, &DDRB, &DDRC, &DDRC};
static volatile uint8_t* const row_port[4] = {&PORTB, &PORTB, &PORTC, &PORTC};
static volatile uint8_t* const row_pin[4] = {&PINB, &PINB, &PINC, &PINC};
static const uint8_t row_bit[4] = {PB1, PB0, PC1, PC0};
static const uint8_t column_bit[3] = {PD4, PD3, PD2};
#define COLUMNS (_BV(PD4) | _BV(PD3) | _BV(PD2))

static void settle(void) {
    for (volatile uint8_t i = 0; i < 20; ++i) {
    }
}

/* Rows outputs, all low; columns inputs without pull-ups. */
static void rows_drive(void) {
    DDRD &= (uint8_t)~COLUMNS;
    PORTD &= (uint8_t)~COLUMNS;
    for (uint8_t r = 0; r < 4; ++r) {
        *row_port[r] &= (uint8_t)~_BV(row_bit[r]);
        *row_ddr[r] |= _BV(row_bit[r]);
    }
}

/* Bit c set when column c reads high. */
static uint8_t columns(void) {
    uint8_t c = 0;
    for (uint8_t i = 0; i < 3; ++i) {
        if (PIND & _BV(column_bit[i])) c |= (uint8_t)(1u << i);
    }
    return c;
}

/* Drives column `col` alone, rows inputs: does row `row` read high? */
static uint8_t row_reads(uint8_t col, uint8_t row) {
    for (uint8_t r = 0; r < 4; ++r) {
        *row_ddr[r] &= (uint8_t)~_BV(row_bit[r]);
        *row_port[r] &= (uint8_t)~_BV(row_bit[r]);
    }
    PORTD |= _BV(column_bit[col]);
    DDRD |= _BV(column_bit[col]);
    settle();
    const uint8_t high = (*row_pin[row] & _BV(row_bit[row])) != 0;
    rows_drive();
    return high;
}

int main(void) {
    GPIOR0 = 0;
    GPIOR1 = 0;
    rows_drive();
    for (;;) {
        for (uint8_t row = 0; row < 4; ++row) {
            *row_port[row] |= _BV(row_bit[row]);
            settle();
            const uint8_t c = columns();
            *row_port[row] &= (uint8_t)~_BV(row_bit[row]);
            if (!c) continue;
            const uint8_t col = (c & 0x01) ? 0 : (c & 0x02) ? 1 : 2;
            if (!row_reads(col, row)) continue;
            GPIOR0 = (uint8_t)keys[row][col];
            ++GPIOR1;
            /* Until released: the key's row drives its column again. */
            do {
                *row_port[row] |= _BV(row_bit[row]);
                settle();
            } while (columns() & (1u << col));
            *row_port[row] &= (uint8_t)~_BV(row_bit[row]);
            GPIOR0 = 0;
        }
    }
}

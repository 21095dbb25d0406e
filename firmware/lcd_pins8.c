/*
 * A Hitachi LCD in 8-bit mode with its data lines spread over three ports
 * of an ATmega16 at 1 MHz, R/W wired, and the busy flag read before every
 * transfer:
 *
 *   D0..D2 on PA5, PA6, PA7     D3..D5 on PB2, PB1, PB0 (reversed)
 *   D6, D7 on PD7, PD3          RS on PC7, R/W on PC6, E on PC0
 *
 * Each line is driven and read on its own pin, as on a board wired to
 * whatever pins were free. The program writes "8 bits, 3 ports" on line 1,
 * reads line 1 back from the display's memory character by character (RS
 * and R/W high), writes "read:" and the last eight characters it read on
 * line 2, then shows the address counter it read with the busy flag (its
 * low five bits) on PA4..PA0, and keeps polling.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

struct line {
    volatile uint8_t* port;
    volatile uint8_t* ddr;
    volatile uint8_t* pin;
    uint8_t mask;
};

#define LINE(p, bit) {&PORT##p, &DDR##p, &PIN##p, _BV(bit)}

static const struct line data[8] = {
    LINE(A, 5), LINE(A, 6), LINE(A, 7), LINE(B, 2),
    LINE(B, 1), LINE(B, 0), LINE(D, 7), LINE(D, 3),
};
static const struct line rs = LINE(C, 7);
static const struct line rw = LINE(C, 6);
static const struct line e = LINE(C, 0);

static void set(const struct line* l, uint8_t high) {
    if (high) {
        *l->port |= l->mask;
    } else {
        *l->port &= (uint8_t)~l->mask;
    }
}

static void data_output(uint8_t out) {
    for (uint8_t i = 0; i < 8; ++i) {
        if (out) {
            *data[i].ddr |= data[i].mask;
        } else {
            *data[i].ddr &= (uint8_t)~data[i].mask;
            *data[i].port &= (uint8_t)~data[i].mask; /* no pull-up */
        }
    }
}

/* One read strobe: the byte D7..D0 carry while E is high. */
static uint8_t read_byte(uint8_t with_rs) {
    data_output(0);
    set(&rs, with_rs);
    set(&rw, 1);
    set(&e, 1);
    _delay_us(1);
    uint8_t value = 0;
    for (uint8_t i = 0; i < 8; ++i)
        if (*data[i].pin & data[i].mask) value |= (uint8_t)(1 << i);
    set(&e, 0);
    set(&rw, 0);
    return value;
}

static uint8_t wait_ready(void) {
    uint8_t status;
    while ((status = read_byte(0)) & 0x80) {
    }
    return status; /* the address counter, bit 7 clear */
}

static void write_raw(uint8_t with_rs, uint8_t byte) {
    data_output(1);
    set(&rs, with_rs);
    set(&rw, 0);
    for (uint8_t i = 0; i < 8; ++i) set(&data[i], (byte >> i) & 1);
    set(&e, 1);
    _delay_us(1);
    set(&e, 0);
}

static void write_byte(uint8_t with_rs, uint8_t byte) {
    wait_ready();
    write_raw(with_rs, byte);
}

static void command(uint8_t c) { write_byte(0, c); }

static void text(const char* s) {
    while (*s) write_byte(1, (uint8_t)*s++);
}

int main(void) {
    DDRC |= rs.mask | rw.mask | e.mask;
    PORTC &= (uint8_t)~(rs.mask | rw.mask | e.mask);
    DDRA |= 0x1F;
    _delay_ms(15);
    write_raw(0, 0x30);
    _delay_ms(4.1);
    write_raw(0, 0x30);
    _delay_us(100);
    write_raw(0, 0x30);
    _delay_us(40);  /* the busy flag cannot be read before this */
    command(0x38);  /* 8 bits, 2 lines, 5x8 */
    command(0x08);  /* display off */
    command(0x01);  /* clear */
    command(0x06);  /* increment, no shift */
    command(0x0C);  /* display on, no cursor */
    static const char first[] = "8 bits, 3 ports";
    text(first);

    /* Line 1 read back from the display's memory. */
    char copy[sizeof first];
    command(0x80);
    for (uint8_t i = 0; i < sizeof first - 1; ++i) {
        wait_ready();
        copy[i] = (char)read_byte(1); /* RS and R/W high: data, address + 1 */
    }
    copy[sizeof first - 1] = 0;
    command(0x80 | 0x40);
    text("read:");
    text(copy + 7); /* " 3 ports" */
    const uint8_t address = wait_ready();
    PORTA = (uint8_t)((PORTA & ~0x1F) | (address & 0x1F)); /* 0x4D: 13 on PA4..PA0 */
    for (;;) wait_ready();
}

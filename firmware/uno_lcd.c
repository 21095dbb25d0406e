/*
 * The demo lab for an Arduino Uno (ATmega328P at 16 MHz) on the
 * LiquidCrystal tutorial's circuit: a Hitachi LCD in 4-bit mode with RS on
 * D12 (PB4), E on D11 (PB3), D4..D7 on D5, D4, D3, D2 (PD5, PD4, PD3, PD2:
 * reversed, off any nibble) and R/W tied to ground; a potentiometer on A0
 * (PC0, ADC0); the USART at 9600 baud.
 *
 * Every 100 ms it reads A0 (10 bits against AVcc), shows the reading on
 * line 1 and the voltage (in tenths) on line 2, and sends "A0 = nnnn\r\n". With R/W
 * grounded it cannot read the busy flag: after each transfer it waits
 * longer than the instruction takes (37 us; 1.52 ms for a clear).
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#define RS _BV(PB4)
#define E _BV(PB3)
/* D4, D5, D6, D7 */
static const uint8_t data_pins[4] = {_BV(PD5), _BV(PD4), _BV(PD3), _BV(PD2)};
#define DATA_MASK (_BV(PD5) | _BV(PD4) | _BV(PD3) | _BV(PD2))

static void serial_init(void) {
    UBRR0H = 0;
    UBRR0L = 103; /* 9600 baud at 16 MHz */
    UCSR0B = _BV(TXEN0);
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
}

static void serial_put(char c) {
    loop_until_bit_is_set(UCSR0A, UDRE0);
    UDR0 = (uint8_t)c;
}

static void serial_text(const char* s) {
    while (*s) serial_put(*s++);
}

/* One nibble (bits 3..0) onto D7..D4, latched by a pulse of E; the rest of
 * PORTD (the USART's pins) is kept. */
static void write_nibble(uint8_t nibble) {
    uint8_t out = PORTD & (uint8_t)~DATA_MASK;
    for (uint8_t i = 0; i < 4; ++i)
        if (nibble & (1 << i)) out |= data_pins[i];
    PORTD = out;
    PORTB |= E;
    _delay_us(1);
    PORTB &= (uint8_t)~E;
    _delay_us(50); /* longer than an instruction's 37 us */
}

static void write_byte(uint8_t rs, uint8_t byte) {
    if (rs) {
        PORTB |= RS;
    } else {
        PORTB &= (uint8_t)~RS;
    }
    write_nibble(byte >> 4);
    write_nibble(byte & 0x0F);
}

static void command(uint8_t c) { write_byte(0, c); }

static void text(const char* s) {
    while (*s) write_byte(1, (uint8_t)*s++);
}

static void lcd_init(void) {
    DDRB |= RS | E;
    PORTB &= (uint8_t)~(RS | E);
    DDRD |= DATA_MASK;
    _delay_ms(50);
    write_nibble(0x3);
    _delay_ms(4.5);
    write_nibble(0x3);
    _delay_ms(4.5);
    write_nibble(0x3);
    _delay_us(150);
    write_nibble(0x2); /* 4-bit interface from here on */
    command(0x28);     /* 4 bits, 2 lines, 5x8 */
    command(0x0C);     /* display on, no cursor */
    command(0x01);     /* clear */
    _delay_ms(2);
    command(0x06);     /* increment, no shift */
}

static uint16_t read_a0(void) {
    ADCSRA |= _BV(ADSC);
    loop_until_bit_is_clear(ADCSRA, ADSC);
    return ADC;
}

/* `value` right-aligned in `places` digits (blanks before it). */
static void format(uint16_t value, char* out, int8_t places) {
    for (int8_t i = (int8_t)(places - 1); i >= 0; --i) {
        out[i] = (char)(value || i == places - 1 ? '0' + value % 10 : ' ');
        value /= 10;
    }
    out[places] = 0;
}

int main(void) {
    serial_init();
    ADMUX = _BV(REFS0); /* AVcc, ADC0 */
    ADCSRA = _BV(ADEN) | _BV(ADPS2) | _BV(ADPS1) | _BV(ADPS0);
    lcd_init();
    serial_text("Uno LCD lab\r\n");
    char digits[5];
    char volts[] = "0.0 V";
    for (;;) {
        const uint16_t a0 = read_a0();
        format(a0, digits, 4);
        /* Tenths of a volt of 5 V, rounded. */
        const uint16_t tenths = (uint16_t)(((uint32_t)a0 * 50 + 511) / 1023);
        volts[0] = (char)('0' + tenths / 10);
        volts[2] = (char)('0' + tenths % 10);
        command(0x80);
        text("A0 = ");
        text(digits);
        command(0x80 | 0x40);
        text(volts);
        serial_text("A0 = ");
        serial_text(digits);
        serial_text("\r\n");
        _delay_ms(100);
    }
}

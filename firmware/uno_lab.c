/*
 * An Arduino Uno lab: an ATmega328P at 16 MHz with a Hitachi LCD in 4-bit
 * mode on the LCD keypad shield's pins (D7..D4 on PD7..PD4, that is Arduino
 * pins 7..4; RS on PB0 = D8, E on PB1 = D9) with R/W on PB2 (D10), a
 * potentiometer on A0 (PC0, ADC0) and the USART at 9600 baud.
 *
 * Every 100 ms it reads A0 (10 bits against AVcc), shows the reading on
 * line 2 of the display and sends "A0 = nnnn\r\n" over the USART. The
 * display's busy flag is polled before every instruction.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#define DATA_PORT PORTD
#define DATA_DDR DDRD
#define DATA_PIN PIND
#define DATA_MASK 0xF0
#define CTRL_PORT PORTB
#define CTRL_DDR DDRB
#define RS _BV(PB0)
#define E _BV(PB1)
#define RW _BV(PB2)

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

static void pulse(void) {
    CTRL_PORT |= E;
    _delay_us(1);
    CTRL_PORT &= (uint8_t)~E;
}

/* One nibble (bits 3..0) onto D7..D4; the rest of PORTD (the USART) kept. */
static void write_nibble(uint8_t rs, uint8_t nibble) {
    DATA_DDR |= DATA_MASK;
    CTRL_PORT = (uint8_t)((CTRL_PORT & ~(RS | RW)) | (rs ? RS : 0));
    DATA_PORT = (uint8_t)((DATA_PORT & ~DATA_MASK) | (nibble << 4));
    pulse();
}

static uint8_t read_nibble(void) {
    CTRL_PORT |= E;
    _delay_us(1);
    const uint8_t value = (uint8_t)(DATA_PIN >> 4);
    CTRL_PORT &= (uint8_t)~E;
    return value;
}

static void wait_ready(void) {
    DATA_DDR &= (uint8_t)~DATA_MASK;
    DATA_PORT &= (uint8_t)~DATA_MASK;
    CTRL_PORT = (uint8_t)((CTRL_PORT & ~RS) | RW);
    for (;;) {
        const uint8_t high = read_nibble();
        (void)read_nibble();
        if (!(high & 0x08)) break;
    }
    CTRL_PORT &= (uint8_t)~RW;
}

static void write_byte(uint8_t rs, uint8_t byte) {
    wait_ready();
    write_nibble(rs, byte >> 4);
    write_nibble(rs, byte & 0x0F);
}

static void command(uint8_t c) { write_byte(0, c); }

static void text(const char* s) {
    while (*s) write_byte(1, (uint8_t)*s++);
}

static void lcd_init(void) {
    CTRL_DDR |= RS | E | RW;
    CTRL_PORT &= (uint8_t)~(RS | E | RW);
    _delay_ms(15);
    write_nibble(0, 0x3);
    _delay_ms(4.1);
    write_nibble(0, 0x3);
    _delay_us(100);
    write_nibble(0, 0x3);
    _delay_us(40);
    write_nibble(0, 0x2); /* 4-bit interface from here on */
    command(0x28);        /* 4 bits, 2 lines, 5x8 */
    command(0x08);        /* display off */
    command(0x01);        /* clear */
    command(0x06);        /* increment, no shift */
    command(0x0C);        /* display on, no cursor */
}

static uint16_t read_a0(void) {
    ADCSRA |= _BV(ADSC);
    loop_until_bit_is_clear(ADCSRA, ADSC);
    return ADC;
}

/* "nnnn", right-aligned in four places. */
static void format(uint16_t value, char* out) {
    for (int8_t i = 3; i >= 0; --i) {
        out[i] = (char)(value || i == 3 ? '0' + value % 10 : ' ');
        value /= 10;
    }
    out[4] = 0;
}

int main(void) {
    serial_init();
    ADMUX = _BV(REFS0); /* AVcc, ADC0 */
    ADCSRA = _BV(ADEN) | _BV(ADPS2) | _BV(ADPS1) | _BV(ADPS0);
    lcd_init();
    text("Hello, Uno!");
    serial_text("Uno lab ready\r\n");
    char digits[5];
    for (;;) {
        format(read_a0(), digits);
        command(0x80 | 0x40);
        text("A0 = ");
        text(digits);
        serial_text("A0 = ");
        serial_text(digits);
        serial_text("\r\n");
        _delay_ms(100);
    }
}

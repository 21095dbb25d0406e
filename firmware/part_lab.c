/*
 * A lab program for the ATmega328P, the ATmega644P and the ATmega2560 at
 * 1 MHz: one component at a time, chosen by a command letter received on
 * USART0 (9615 baud, U2X, UBRR 12, 8N1). It greets with "lab ready" and
 * answers each command with "ok" and the letter on a line of its own
 * ("no" for a reference the part lacks). The ports each part uses are in
 * the table below.
 *
 *   k    keypad scan on the keypad's fixed wiring (rows PB3..PB0 driven high
 *        one at a time, columns PD7, PD6, PC0 read): "key 5" when a key is
 *        pressed, "up" when it is let go
 *   r    running light on BAR, one step per millisecond towards bit 7 while
 *        pin 7 of SWITCH is low, towards bit 0 while it is high
 *   8    the LCD in 8-bit mode (data LCD8, E/R/W/RS on bits 1/2/3 of
 *        LCD8_CTRL), "8-bit" on line 1 and the part on line 2
 *   h    the LCD in 4-bit mode on the high nibble of LCDH (control on
 *        LCDH_CTRL): "4-bit high"
 *   l    the LCD in 4-bit mode on the low nibble of LCDL: "4-bit low"
 *        The LCD modes wait for the busy flag before each transfer.
 *   a i v e  converter input ADC2 against AVCC, the 1.1 V reference, the
 *        2.56 V reference or AREF, over and over; the upper eight bits of
 *        each result (ADLAR) on RESULT
 *   t    thermostat on ADC7 against AVCC: below 10 degrees of the cellar's
 *        divider (a code above 469) heater on RESULT bit 0, above 20 (below
 *        355) cooler on bit 1, status on bit 2 while either runs
 *   s    the stack: four nested calls, each with eight bytes 0xA1..0xA4 of
 *        its own on the stack; the deepest sends the stack pointer ("sp
 *        08D5") and waits there for the next command
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#if defined(__AVR_ATmega328P__)
#define PART "ATmega328P"
#define BAR B
#define SWITCH D
#define LCD8 B
#define LCD8_CTRL C
#define LCDH D
#define LCDH_CTRL C
#define LCDL B
#define LCDL_CTRL C
#define RESULT B
#define REFS_INTERNAL ((1 << REFS1) | (1 << REFS0))
#define REFS_2V56 0xFF /* none */
#define FREE_PORTS {&DDRB, &DDRC}
#define USART_PINS_D 0x03
#elif defined(__AVR_ATmega644P__)
#define PART "ATmega644P"
#define BAR A
#define SWITCH B
#define LCD8 C
#define LCD8_CTRL B
#define LCDH A
#define LCDH_CTRL A
#define LCDL C
#define LCDL_CTRL B
#define RESULT C
#define REFS_INTERNAL (1 << REFS1)
#define REFS_2V56 ((1 << REFS1) | (1 << REFS0))
#define FREE_PORTS {&DDRA, &DDRB, &DDRC}
#define USART_PINS_D 0x0F /* USART0 and USART1 */
#elif defined(__AVR_ATmega2560__)
#define PART "ATmega2560"
#define BAR L
#define SWITCH K
#define LCD8 A
#define LCD8_CTRL C
#define LCDH K /* extended I/O: PORTK, DDRK, PINK */
#define LCDH_CTRL L
#define LCDL H
#define LCDL_CTRL J
#define RESULT C
#define REFS_INTERNAL (1 << REFS1)
#define REFS_2V56 ((1 << REFS1) | (1 << REFS0))
#define FREE_PORTS {&DDRA, &DDRB, &DDRC, &DDRH, &DDRJ, &DDRK, &DDRL}
#define USART_PINS_D 0x00
#else
#error "part_lab is built for the ATmega328P, ATmega644P and ATmega2560"
#endif

#define JOIN(a, b) a##b
#define REG(kind, port) JOIN(kind, port)
#define PORT_OF(p) (&REG(PORT, p))
#define DDR_OF(p) (&REG(DDR, p))
#define PIN_OF(p) (&REG(PIN, p))

static void put(char c) {
    loop_until_bit_is_set(UCSR0A, UDRE0);
    UDR0 = (uint8_t)c;
}

static void say(const char* s) {
    while (*s) put(*s++);
}

static void hex(uint16_t v) {
    for (int8_t shift = 12; shift >= 0; shift -= 4) {
        const uint8_t d = (uint8_t)((v >> shift) & 0xF);
        put((char)(d < 10 ? '0' + d : 'A' + d - 10));
    }
}

static char received(void) { return (UCSR0A & _BV(RXC0)) ? (char)UDR0 : 0; }

/* Every pin an input without pull-up again, the USART's pins left alone. */
static void release_pins(void) {
    static volatile uint8_t* const ddrs[] = FREE_PORTS;
    for (uint8_t i = 0; i < sizeof ddrs / sizeof ddrs[0]; ++i) {
        *ddrs[i] = 0;
        *(ddrs[i] + 1) = 0; /* PORTx follows DDRx */
    }
    DDRD &= USART_PINS_D;
    PORTD &= USART_PINS_D;
}

/* ---- keypad ---------------------------------------------------------- */

static const char keys[4][3] = {{'1', '2', '3'}, {'4', '5', '6'}, {'7', '8', '9'}, {'*', '0', '#'}};

static uint8_t columns(void) {
    uint8_t c = 0;
    if (PIND & _BV(PD7)) c |= 1;
    if (PIND & _BV(PD6)) c |= 2;
    if (PINC & _BV(PC0)) c |= 4;
    return c;
}

static void keypad_step(void) {
    static uint8_t row;
    DDRB = (DDRB & 0xF0) | 0x0F;
    PORTB = (PORTB & 0xF0) | _BV(3 - row);
    for (uint8_t poll = 0; poll < 100; ++poll) {
        const uint8_t c = columns();
        if (c) {
            say("key ");
            put(keys[row][(c & 1) ? 0 : (c & 2) ? 1 : 2]);
            say("\r\n");
            while (columns()) {
            }
            say("up\r\n");
            break;
        }
    }
    row = (row + 1) & 3;
}

/* ---- running light ----------------------------------------------------- */

static void light_step(void) {
    static uint8_t light = 1;
    REG(DDR, BAR) = 0xFF;
    REG(PORT, BAR) = light;
    _delay_ms(1);
    if (REG(PIN, SWITCH) & _BV(7)) {
        light = (uint8_t)((light >> 1) | (light << 7));
    } else {
        light = (uint8_t)((light << 1) | (light >> 7));
    }
}

/* ---- LCD --------------------------------------------------------------- */

#define LCD_E _BV(1)
#define LCD_RW _BV(2)
#define LCD_RS _BV(3)

static struct {
    volatile uint8_t *port, *ddr, *pin, *cport, *cddr;
    uint8_t mask; /* the data lines: 0xFF, 0xF0 or 0x0F */
} lcd;

static void control(uint8_t bits) {
    *lcd.cddr |= LCD_E | LCD_RW | LCD_RS;
    *lcd.cport = (uint8_t)((*lcd.cport & ~(LCD_E | LCD_RW | LCD_RS)) | bits);
}

static void strobe(void) {
    *lcd.cport |= LCD_E;
    _delay_us(1);
    *lcd.cport &= (uint8_t)~LCD_E;
}

/* `lines` as the data lines carry it (D7..D4 of a 4-bit bus in its nibble). */
static void write_lines(uint8_t rs, uint8_t lines) {
    control(rs ? LCD_RS : 0);
    *lcd.ddr |= lcd.mask;
    *lcd.port = (uint8_t)((*lcd.port & ~lcd.mask) | (lines & lcd.mask));
    strobe();
}

static uint8_t read_lines(void) {
    *lcd.ddr &= (uint8_t)~lcd.mask;
    *lcd.port &= (uint8_t)~lcd.mask;
    control(LCD_RW);
    *lcd.cport |= LCD_E;
    _delay_us(1);
    const uint8_t lines = *lcd.pin & lcd.mask;
    *lcd.cport &= (uint8_t)~LCD_E;
    control(0);
    return lines;
}

/* A nibble onto D7..D4 of a 4-bit bus, and back. */
static uint8_t nibble_lines(uint8_t n) { return lcd.mask == 0xF0 ? (uint8_t)(n << 4) : n; }
static uint8_t lines_nibble(uint8_t l) { return lcd.mask == 0xF0 ? (uint8_t)(l >> 4) : l; }

static void wait_ready(void) {
    for (;;) {
        uint8_t status = read_lines();
        if (lcd.mask != 0xFF) {
            status = (uint8_t)((lines_nibble(status) << 4) | lines_nibble(read_lines()));
        }
        if (!(status & 0x80)) return;
    }
}

static void lcd_byte(uint8_t rs, uint8_t b) {
    wait_ready();
    if (lcd.mask == 0xFF) {
        write_lines(rs, b);
    } else {
        write_lines(rs, nibble_lines(b >> 4));
        write_lines(rs, nibble_lines(b & 0x0F));
    }
}

static void lcd_text(const char* s) {
    while (*s) lcd_byte(1, (uint8_t)*s++);
}

static void lcd_show(volatile uint8_t* port, volatile uint8_t* cport, uint8_t mask,
                     const char* line1) {
    /* PINx, DDRx and PORTx lie at consecutive addresses on every port. */
    lcd.pin = port - 2;
    lcd.ddr = port - 1;
    lcd.port = port;
    lcd.cport = cport;
    lcd.cddr = cport - 1;
    lcd.mask = mask;
    control(0);
    _delay_ms(15);
    const uint8_t eight = mask == 0xFF ? 0x30 : nibble_lines(0x3);
    write_lines(0, eight);
    _delay_ms(4.1);
    write_lines(0, eight);
    _delay_us(100);
    write_lines(0, eight);
    _delay_us(40);
    if (mask == 0xFF) {
        lcd_byte(0, 0x38); /* 8 bits, 2 lines, 5x8 */
    } else {
        write_lines(0, nibble_lines(0x2)); /* 4 bits from here on */
        lcd_byte(0, 0x28);
    }
    lcd_byte(0, 0x08); /* display off */
    lcd_byte(0, 0x01); /* clear */
    lcd_byte(0, 0x06); /* increment, no shift */
    lcd_byte(0, 0x0C); /* display on */
    lcd_text(line1);
    lcd_byte(0, 0x80 | 0x40);
    lcd_text(PART);
}

/* ---- converter --------------------------------------------------------- */

static uint8_t convert(uint8_t admux) {
    ADMUX = (uint8_t)(admux | (1 << ADLAR));
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | (1 << ADPS1) | (1 << ADPS0);
    while (ADCSRA & (1 << ADSC)) {
    }
    return ADCH;
}

static uint8_t refs;

static void convert_step(void) {
    REG(DDR, RESULT) = 0xFF;
    REG(PORT, RESULT) = convert((uint8_t)(refs | 2));
}

static void thermostat_step(void) {
    ADMUX = (1 << REFS0) | 7;
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADIF) | (1 << ADPS1) | (1 << ADPS0);
    while (ADCSRA & (1 << ADSC)) {
    }
    const uint16_t code = ADC;
    uint8_t out = 0;
    if (code > 469) out = 0x05;
    else if (code < 355) out = 0x06;
    REG(DDR, RESULT) = 0x07;
    REG(PORT, RESULT) = out;
}

/* ---- stack ------------------------------------------------------------- */

static char pending;

static void descend(uint8_t depth) {
    volatile uint8_t frame[8];
    for (uint8_t i = 0; i < sizeof frame; ++i) frame[i] = (uint8_t)(0xA0 + depth);
    if (depth < 4) {
        descend((uint8_t)(depth + 1));
    } else {
        say("sp ");
        hex(SP);
        say("\r\n");
        while (!(pending = received())) {
        }
    }
    (void)frame[0];
}

/* ---- commands ---------------------------------------------------------- */

static char mode;

static void choose(char c) {
    release_pins();
    mode = 0;
    uint8_t taken = 1;
    switch (c) {
        case 'k': case 'r': case 't': mode = c; break;
        case 'a': refs = 1 << REFS0; mode = c; break;
        case 'i': refs = REFS_INTERNAL; mode = c; break;
        case 'v': refs = REFS_2V56; mode = c; taken = refs != 0xFF; break;
        case 'e': refs = 0; mode = c; break;
        case '8': case 'h': case 'l': case 's': break;
        default: taken = 0; break;
    }
    if (!taken) {
        mode = 0;
        say("no ");
        put(c);
        say("\r\n");
        return;
    }
    say("ok ");
    put(c);
    say("\r\n");
    if (c == '8') lcd_show(PORT_OF(LCD8), PORT_OF(LCD8_CTRL), 0xFF, "8-bit");
    if (c == 'h') lcd_show(PORT_OF(LCDH), PORT_OF(LCDH_CTRL), 0xF0, "4-bit high");
    if (c == 'l') lcd_show(PORT_OF(LCDL), PORT_OF(LCDL_CTRL), 0x0F, "4-bit low");
    if (c == 's') descend(1);
}

int main(void) {
    UBRR0H = 0;
    UBRR0L = 12;
    UCSR0A = _BV(U2X0);
    UCSR0B = _BV(RXEN0) | _BV(TXEN0);
    UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);
    say("lab ready\r\n");
    for (;;) {
        char c = pending ? pending : received();
        pending = 0;
        if (c) choose(c);
        switch (mode) {
            case 'k': keypad_step(); break;
            case 'r': light_step(); break;
            case 't': thermostat_step(); break;
            case 'a': case 'i': case 'v': case 'e': convert_step(); break;
            default: break;
        }
    }
}

/*
 * Hitachi LCD demo for the ATmega16 at 1 MHz, on the LCD component's
 * default wiring: D7..D4 on PA7..PA4, RS on PA3, R/W on PA2, E on PA1.
 *
 * Initialises the display in 4-bit mode, then waits for the busy flag
 * before every instruction and character (reading both nibbles of the
 * busy-flag/address byte), writes two lines, shifts the display three
 * steps left and back, and finally shows a blinking cursor that it moves.
 * Between the phases it pauses 20 ms so that each can be seen.
 *
 * PORTD shows the phase: 1 text written, 2 shifted, 3 shifted back,
 * 4 cursor placed. Afterwards it keeps polling the busy flag.
 *
 * The converter runs free on ADC0 (PA0, the one port A pin the display
 * leaves free) against AVCC from the start, as a program sampling a
 * sensor beside its display does; the idle loop copies the upper eight
 * bits of the latest result (ADLAR) to PORTC.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

/* The ports, for other parts: -DLCD=D -DPHASE=B -DRESULT=C
 * -DRESULT_PINS=0xFE -DLINE2='"ATmega328P 4-bit"' puts the display on
 * PORTD of an ATmega328P (same pins of the port), the phase on PORTB and
 * the result on PC7..PC1 (PC0 is ADC0 there). */
#ifndef LCD
#define LCD A
#endif
#ifndef PHASE
#define PHASE D
#endif
#ifndef RESULT
#define RESULT C
#endif
#ifndef RESULT_PINS
#define RESULT_PINS 0xFF
#endif
#ifndef LINE2
#define LINE2 "ATmega16 4-bit"
#endif
#define JOIN(a, b) a##b
#define REG(kind, port) JOIN(kind, port)

#define LCD_PORT REG(PORT, LCD)
#define LCD_DDR REG(DDR, LCD)
#define LCD_PIN REG(PIN, LCD)
#define LCD_E _BV(1)
#define LCD_RW _BV(2)
#define LCD_RS _BV(3)
#define LCD_DATA 0xF0
#define PHASE_PORT REG(PORT, PHASE)
#define PHASE_DDR REG(DDR, PHASE)
#define RESULT_PORT REG(PORT, RESULT)
#define RESULT_DDR REG(DDR, RESULT)

/* Where the part keeps its interrupt sense and trigger source bits. */
#ifdef EICRA
#define SENSE_CONTROL EICRA
#else
#define SENSE_CONTROL MCUCR
#endif
#ifdef SFIOR
#define TRIGGER_SOURCE SFIOR
#else
#define TRIGGER_SOURCE ADCSRB
#endif

static void pulse(void) {
    LCD_PORT |= LCD_E;
    _delay_us(1);
    LCD_PORT &= (uint8_t)~LCD_E;
}

/* One nibble (in bits 3..0) onto D7..D4. */
static void write_nibble(uint8_t rs, uint8_t nibble) {
    LCD_DDR |= LCD_DATA;
    LCD_PORT = (uint8_t)((nibble << 4) | (rs ? LCD_RS : 0));
    pulse();
}

/* One read strobe: what D7..D4 carry while E is high. */
static uint8_t read_nibble(void) {
    LCD_PORT |= LCD_E;
    _delay_us(1);
    uint8_t value = (uint8_t)(LCD_PIN >> 4);
    LCD_PORT &= (uint8_t)~LCD_E;
    return value;
}

/* The busy flag and address counter, both nibbles. */
static uint8_t read_status(void) {
    LCD_DDR &= (uint8_t)~LCD_DATA;
    LCD_PORT = LCD_RW;
    uint8_t high = read_nibble();
    uint8_t low = read_nibble();
    LCD_PORT = 0;
    return (uint8_t)((high << 4) | low);
}

static void wait_ready(void) {
    while (read_status() & 0x80) {
    }
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
    LCD_DDR = LCD_DATA | LCD_E | LCD_RW | LCD_RS;
    LCD_PORT = 0;
    _delay_ms(15);
    write_nibble(0, 0x3);
    _delay_ms(4.1);
    write_nibble(0, 0x3);
    _delay_us(100);
    write_nibble(0, 0x3);
    _delay_us(40);        /* it executes for 37 us; the busy flag cannot be read yet */
    write_nibble(0, 0x2); /* 4-bit interface from here on */
    command(0x28);        /* 4 bits, 2 lines, 5x8 */
    command(0x08);        /* display off */
    command(0x01);        /* clear */
    command(0x06);        /* increment, no shift */
    command(0x0C);        /* display on, no cursor */
}

/* Free running (ADATE, trigger source 0), converter clock = CPU / 128. */
static void adc_start(void) {
    ADMUX = (1 << REFS0) | (1 << ADLAR);
    TRIGGER_SOURCE &= (uint8_t)~((1 << ADTS2) | (1 << ADTS1) | (1 << ADTS0));
    ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADATE) | (1 << ADPS2) | (1 << ADPS1) | (1 << ADPS0);
}

int main(void) {
    /* INT0 and INT1 share PORTD's phase outputs and are not used. Their
     * reset mode is "low level", which a simulator must re-check on every
     * cycle while the pin is low; rising-edge mode costs nothing. */
    SENSE_CONTROL |= (1 << ISC11) | (1 << ISC10) | (1 << ISC01) | (1 << ISC00);
    PHASE_DDR = 0xFF;
    PHASE_PORT = 0;
    RESULT_DDR = RESULT_PINS;
    adc_start();
    lcd_init();
    text("Hello, LCD!");
    command(0x80 | 0x40);
    text(LINE2);
    PHASE_PORT = 1;
    _delay_ms(20);

    for (uint8_t i = 0; i < 3; ++i) command(0x18); /* display shift left */
    PHASE_PORT = 2;
    _delay_ms(20);
    for (uint8_t i = 0; i < 3; ++i) command(0x1C); /* and right */
    PHASE_PORT = 3;
    _delay_ms(20);

    command(0x0F);             /* cursor on, blinking */
    command(0x80 | 0x40 | 14); /* line 2, column 15 */
    command(0x10);             /* cursor two steps left */
    command(0x10);
    PHASE_PORT = 4;
    for (;;) {
        wait_ready(); /* an idle program keeps polling, as many do */
        RESULT_PORT = ADCH & RESULT_PINS;
    }
}

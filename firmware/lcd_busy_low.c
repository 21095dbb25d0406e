/*
 * A third-party style HD44780 driver on a 20x4 display, for the ATmega16
 * at 1 MHz: 4-bit data on PB3..PB0 (D7 on PB3), RS on PB4, R/W on PB5 and
 * E on PB6, all on one port. Like common drivers it never waits a fixed
 * time after initialisation: it polls the busy flag, reading the busy
 * flag/address byte as two nibbles, and uses the address counter it
 * reads to move to the next line.
 *
 * Writes four lines (line addresses 0x00, 0x40, 0x14, 0x54), then reads
 * the first five characters of line 1 back from the display and writes
 * them again at the end of line 4. PORTD shows the address counter read
 * after the last character, PORTC 0xA5 once everything is done.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#define LCD_PORT PORTB
#define LCD_DDR DDRB
#define LCD_PIN PINB
#define LCD_RS_PIN PB4
#define LCD_RW_PIN PB5
#define LCD_E_PIN PB6
#define LCD_DATA_MASK 0x0F

#define LCD_LINES 4
#define LCD_DISP_LENGTH 20
static const uint8_t line_start[LCD_LINES] = {0x00, 0x40, 0x14, 0x54};

static void lcd_e_toggle(void) {
    LCD_PORT |= _BV(LCD_E_PIN);
    _delay_us(1);
    LCD_PORT &= (uint8_t)~_BV(LCD_E_PIN);
}

static void lcd_write(uint8_t data, uint8_t rs) {
    if (rs) {
        LCD_PORT |= _BV(LCD_RS_PIN);
    } else {
        LCD_PORT &= (uint8_t)~_BV(LCD_RS_PIN);
    }
    LCD_PORT &= (uint8_t)~_BV(LCD_RW_PIN);
    LCD_DDR |= LCD_DATA_MASK;
    LCD_PORT = (uint8_t)((LCD_PORT & ~LCD_DATA_MASK) | (data >> 4));
    lcd_e_toggle();
    LCD_PORT = (uint8_t)((LCD_PORT & ~LCD_DATA_MASK) | (data & 0x0F));
    lcd_e_toggle();
    LCD_PORT |= LCD_DATA_MASK; /* idle: data lines high */
}

static uint8_t lcd_read(uint8_t rs) {
    if (rs) {
        LCD_PORT |= _BV(LCD_RS_PIN);
    } else {
        LCD_PORT &= (uint8_t)~_BV(LCD_RS_PIN);
    }
    LCD_PORT |= _BV(LCD_RW_PIN);
    LCD_DDR &= (uint8_t)~LCD_DATA_MASK;
    LCD_PORT |= _BV(LCD_E_PIN);
    _delay_us(1);
    uint8_t data = (uint8_t)((LCD_PIN & LCD_DATA_MASK) << 4);
    LCD_PORT &= (uint8_t)~_BV(LCD_E_PIN);
    _delay_us(1);
    LCD_PORT |= _BV(LCD_E_PIN);
    _delay_us(1);
    data |= (uint8_t)(LCD_PIN & LCD_DATA_MASK);
    LCD_PORT &= (uint8_t)~_BV(LCD_E_PIN);
    return data;
}

/* Waits until the busy flag is clear; returns the address counter. */
static uint8_t lcd_waitbusy(void) {
    while (lcd_read(0) & 0x80) {
    }
    _delay_us(2);
    return lcd_read(0) & 0x7F;
}

static void lcd_command(uint8_t cmd) {
    lcd_waitbusy();
    lcd_write(cmd, 0);
}

static void lcd_gotoxy(uint8_t x, uint8_t y) {
    lcd_command((uint8_t)(0x80 | (line_start[y] + x)));
}

/* Moves to the start of the line after the one the address lies on. */
static void lcd_newline(uint8_t pos) {
    uint8_t next = 0;
    for (uint8_t y = 0; y < LCD_LINES; ++y) {
        if (pos >= line_start[y] && pos < line_start[y] + LCD_DISP_LENGTH) {
            next = (uint8_t)((y + 1) % LCD_LINES);
        }
    }
    lcd_gotoxy(0, next);
}

static void lcd_putc(char c) {
    uint8_t pos = lcd_waitbusy();
    if (c == '\n') {
        lcd_newline(pos);
        return;
    }
    lcd_write((uint8_t)c, 1);
}

static void lcd_puts(const char* s) {
    while (*s) lcd_putc(*s++);
}

static void lcd_init(void) {
    LCD_DDR |= _BV(LCD_RS_PIN) | _BV(LCD_RW_PIN) | _BV(LCD_E_PIN) | LCD_DATA_MASK;
    _delay_ms(16);
    /* Three times "8-bit interface", then "4-bit interface", one nibble each. */
    LCD_PORT = (uint8_t)((LCD_PORT & ~(LCD_DATA_MASK | _BV(LCD_RS_PIN) | _BV(LCD_RW_PIN))) | 0x03);
    lcd_e_toggle();
    _delay_ms(5);
    lcd_e_toggle();
    _delay_us(64);
    lcd_e_toggle();
    _delay_us(64);
    LCD_PORT = (uint8_t)((LCD_PORT & ~LCD_DATA_MASK) | 0x02);
    lcd_e_toggle();
    _delay_us(64);
    lcd_command(0x28); /* 4 bits, 2 lines (4-line modules too), 5x8 */
    lcd_command(0x08); /* display off */
    lcd_command(0x01); /* clear */
    lcd_command(0x06); /* increment */
    lcd_command(0x0C); /* display on */
}

int main(void) {
    DDRC = 0xFF;
    DDRD = 0xFF;
    PORTC = 0;
    lcd_init();
    lcd_puts("Busy flag polled\nData on PB3..PB0\nRS4 RW5 E6 of PORTB\n20x4 read: ");

    char copy[6];
    lcd_gotoxy(0, 0);
    for (uint8_t i = 0; i < 5; ++i) {
        lcd_waitbusy();
        copy[i] = (char)lcd_read(1);
    }
    copy[5] = 0;
    lcd_gotoxy(11, 3);
    lcd_puts(copy);
    PORTD = lcd_waitbusy();
    PORTC = 0xA5;
    for (;;) {
    }
}

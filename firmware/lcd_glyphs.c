/*
 * Custom characters and display tricks on a Hitachi LCD, for the ATmega16
 * at 1 MHz: an 8-bit driver that never reads the display and waits fixed
 * times instead (as write-only drivers with R/W tied low do). D7..D0 on
 * PC7..PC0, RS on PD4, R/W on PD5 (held low), E on PD6.
 *
 * Defines four characters of its own in CGRAM, shows them, shifts the
 * display left and right, returns home, turns the display off and on,
 * redraws one character by rewriting its pattern, and finally lets the
 * display scroll with the text (entry mode with display shift). PORTA
 * shows the phase (1 to 8); each phase lasts 5 ms.
 *
 * Built a second time with LCD_HASTY: the same program with delays too
 * short for a real controller (10 us instead of 37, 200 us after Clear
 * display instead of 1.52 ms) and a Clear display sent before the
 * initialisation sequence.
 */
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#ifdef LCD_HASTY
#define INSTRUCTION_US 10
#define CLEAR_US 200
#else
#define INSTRUCTION_US 40
#define CLEAR_US 1600
#endif

#define RS _BV(PD4)
#define RW _BV(PD5)
#define E _BV(PD6)

/* Heart, smiley, bell (its clapper in the eighth, cursor row), arrow. */
static const uint8_t glyphs[4][8] = {
    {0x00, 0x0A, 0x1F, 0x1F, 0x0E, 0x04, 0x00, 0x00},
    {0x00, 0x0A, 0x0A, 0x00, 0x11, 0x0E, 0x00, 0x00},
    {0x04, 0x0E, 0x0E, 0x0E, 0x1F, 0x00, 0x04, 0x04},
    {0x04, 0x02, 0x1F, 0x02, 0x04, 0x00, 0x00, 0x00},
};
/* The heart redrawn as an outline. */
static const uint8_t outline[8] = {0x00, 0x0A, 0x15, 0x11, 0x0A, 0x04, 0x00, 0x00};

static void strobe(uint8_t rs, uint8_t byte) {
    PORTC = byte;
    PORTD = rs ? RS : 0;
    PORTD |= E;
    PORTD &= (uint8_t)~E;
}

static void command(uint8_t c) {
    strobe(0, c);
    if (c == 0x01 || c == 0x02 || c == 0x03) {
        _delay_us(CLEAR_US);
    } else {
        _delay_us(INSTRUCTION_US);
    }
}

static void data(uint8_t d) {
    strobe(1, d);
    _delay_us(INSTRUCTION_US);
}

static void text(const char* s) {
    while (*s) data((uint8_t)*s++);
}

static void pattern(uint8_t code, const uint8_t* rows) {
    command((uint8_t)(0x40 | (code << 3)));
    for (uint8_t r = 0; r < 8; ++r) data(rows[r]);
}

static void phase(uint8_t n) {
    PORTA = n;
    _delay_ms(5);
}

static void lcd_init(void) {
    DDRC = 0xFF;
    DDRD = RS | RW | E;
    PORTD = 0;
    _delay_ms(20);
#ifdef LCD_HASTY
    command(0x01); /* too soon: the controller wants the sequence first */
#endif
    /* Function set, 8 bits, two lines, four times: D3..D0 do not matter
     * during the sequence, so the driver sends its own setting each time. */
    command(0x38);
    _delay_ms(4.1);
    command(0x38);
    _delay_us(100);
    command(0x38);
    command(0x38);
    command(0x08); /* display off */
    command(0x01); /* clear */
    command(0x06); /* increment, no display shift */
    command(0x0C); /* display on, no cursor */
}

int main(void) {
    DDRA = 0xFF;
    PORTA = 0;
    lcd_init();
    for (uint8_t code = 0; code < 4; ++code) pattern(code, glyphs[code]);
    command(0x80); /* back to DDRAM, line 1 */
    for (uint8_t code = 0; code < 4; ++code) data(code);
    data(8); /* 0x08 shows the same pattern as 0x00 */
    text(" glyphs");
    command(0x80 | 0x40);
    text("shift me");
    phase(1);

    command(0x18); /* display shift left, twice: the text moves left */
    command(0x18);
    phase(2);
    command(0x1C); /* and right four times: two cells right of home */
    command(0x1C);
    command(0x1C);
    command(0x1C);
    phase(3);
    command(0x02); /* Return home undoes the shift */
    phase(4);

    command(0x08); /* display off: blank, memory kept */
    phase(5);
    command(0x0C);
    phase(6);

    pattern(0, outline); /* every cell showing code 0 or 8 changes */
    command(0x80);
    phase(7);

    /* Entry mode with display shift: the display moves left with every
     * character, so text written beyond the right edge scrolls in. */
    command(0x01);
    command(0x07);
    command(0x80 | 0x10);
    text("scrolling");
    phase(8);
    for (;;) {
    }
}

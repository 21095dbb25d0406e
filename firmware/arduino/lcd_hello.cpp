// The LiquidCrystal tutorial's "Hello World" on its wiring: an HD44780
// display in 4-bit mode with RS on D12, E on D11, D4..D7 on D5, D4, D3, D2
// and R/W tied to ground. Line 1 shows "hello, world!", line 2 the seconds
// since reset (millis() / 1000), written again and again.
//
// Debian's Arduino packages do not ship the LiquidCrystal library, so the
// sketch carries a small equivalent of its 4-bit, write-only path: the
// same pins driven with digitalWrite, the same initialisation sequence and
// delays, the same commands, and printing through the core's Print class
// as lcd.print() does.
#include <Arduino.h>

namespace {

// HD44780 instructions and their flags, as the library names them.
const uint8_t kClearDisplay = 0x01;
const uint8_t kEntryModeSet = 0x04;
const uint8_t kEntryLeft = 0x02;
const uint8_t kDisplayControl = 0x08;
const uint8_t kDisplayOn = 0x04;
const uint8_t kFunctionSet = 0x20;
const uint8_t kTwoLines = 0x08;
const uint8_t kSetDdramAddress = 0x80;

class TutorialLcd : public Print {
public:
    TutorialLcd(uint8_t rs, uint8_t enable, uint8_t d4, uint8_t d5, uint8_t d6, uint8_t d7)
        : rs_(rs), enable_(enable), data_{d4, d5, d6, d7}
    {
    }

    // The library's begin(cols, 2) for a 4-bit bus: the power-on wait, the
    // three 8-bit function sets that bring the controller to a known state
    // whatever it was in, the switch to 4 bits, then two lines of 5x8
    // dots, display on without cursor, clear, and left-to-right entry.
    void begin(uint8_t cols)
    {
        rowOffsets_[0] = 0x00;
        rowOffsets_[1] = 0x40;
        rowOffsets_[2] = cols;
        rowOffsets_[3] = 0x40 + cols;
        pinMode(rs_, OUTPUT);
        pinMode(enable_, OUTPUT);
        for (uint8_t pin : data_) {
            pinMode(pin, OUTPUT);
        }
        delayMicroseconds(50000);
        digitalWrite(rs_, LOW);
        digitalWrite(enable_, LOW);
        write4bits(0x03);
        delayMicroseconds(4500);
        write4bits(0x03);
        delayMicroseconds(4500);
        write4bits(0x03);
        delayMicroseconds(150);
        write4bits(0x02);
        command(kFunctionSet | kTwoLines);
        command(kDisplayControl | kDisplayOn);
        clear();
        command(kEntryModeSet | kEntryLeft);
    }

    void clear()
    {
        command(kClearDisplay);
        delayMicroseconds(2000);  // a clear takes the controller 1.52 ms
    }

    void setCursor(uint8_t col, uint8_t row)
    {
        command(kSetDdramAddress | (col + rowOffsets_[row & 3]));
    }

    // Print's one output: a character to the display data RAM.
    size_t write(uint8_t value) override
    {
        send(value, HIGH);
        return 1;
    }
    using Print::write;

private:
    void command(uint8_t value) { send(value, LOW); }

    // RS selects instruction (LOW) or data (HIGH); the high nibble goes first.
    void send(uint8_t value, uint8_t mode)
    {
        digitalWrite(rs_, mode);
        write4bits(value >> 4);
        write4bits(value);
    }

    void write4bits(uint8_t value)
    {
        for (uint8_t i = 0; i < 4; ++i) {
            digitalWrite(data_[i], (value >> i) & 0x01);
        }
        pulseEnable();
    }

    // The controller latches the nibble on E's falling edge. With R/W
    // grounded the busy flag cannot be read, so each transfer is followed
    // by a wait longer than an instruction takes (37 us).
    void pulseEnable()
    {
        digitalWrite(enable_, LOW);
        delayMicroseconds(1);
        digitalWrite(enable_, HIGH);
        delayMicroseconds(1);  // E high for more than 450 ns
        digitalWrite(enable_, LOW);
        delayMicroseconds(100);
    }

    uint8_t rs_;
    uint8_t enable_;
    uint8_t data_[4];
    uint8_t rowOffsets_[4] = {};
};

TutorialLcd lcd(12, 11, 5, 4, 3, 2);

}  // namespace

void setup()
{
    lcd.begin(16);
    lcd.print("hello, world!");
}

void loop()
{
    lcd.setCursor(0, 1);
    lcd.print(millis() / 1000);
}

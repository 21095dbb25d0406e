// Keypad window: column scans with real clicks, input bits that do not
// belong to the keypad, typed keys that write nothing until the drive
// changes. A held key decoded by a row-scanning program is e2e.keypad_scan.
#include <QPushButton>

#include "components/digital/frm_Keypad.h"
#include "tests/ui/UiTestSupport.h"

namespace {

class KeypadTest : public QuillUiTest {
protected:
    // Sets the drive registers in the simulated part and lets a refresh
    // bring them in, as when the program writes them and steps.
    void drive(uint8_t ddrb, uint8_t portb, uint8_t ddrd = 0, uint8_t portd = 0) {
        setIo("DDRB", ddrb);
        setIo("PORTB", portb);
        setIo("DDRD", ddrd);
        setIo("PORTD", portd);
        refresh();
    }
    QPushButton* key(frm_Keypad* pad, int id) { return findControlAs<QPushButton>(pad, id); }
    void click(frm_Keypad* pad, int id) { leftClick(key(pad, id)); }

    static constexpr int kKey1 = ids::keypad::KeyControlOf('1'),
                         kKey5 = ids::keypad::KeyControlOf('5'),
                         kKeyStar = ids::keypad::KeyControlOf('*'),
                         kKey9 = ids::keypad::KeyControlOf('9');
};

// A program that already drives its lines when the window opens: the
// keypad knows which lines are driven at once, the last row (PB0) included.
TEST_F(KeypadTest, KnowsTheDrivenLinesRightAfterOpening) {
    drive(0x0F, 0x0F, 0x80, 0x80);  // rows 0..3 on PB3..PB0, column 0 on PD7
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    for (int row = 0; row < 4; ++row) EXPECT_TRUE(pad->rowDriven(row)) << row;
    EXPECT_TRUE(pad->columnDriven(0));
    EXPECT_FALSE(pad->columnDriven(1));
    EXPECT_FALSE(pad->columnDriven(2));
}

TEST_F(KeypadTest, ColumnScanReportsRowsOnPinb) {
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    drive(0, 0, 0x80, 0x80);  // column 0 driven on PD7, opened before
    click(pad, kKey1);
    EXPECT_EQ(io("PINB"), 0x01);
    click(pad, kKeyStar);
    EXPECT_EQ(io("PINB"), 0x09);
    click(pad, kKey5);  // column 1 not driven
    EXPECT_EQ(io("PINB"), 0x09);
}

TEST_F(KeypadTest, IdleMatrixKeepsUnrelatedInputBits) {
    setIo("PIND", 0xFF);
    setIo("PINB", 0xF0);
    refresh();
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    click(pad, kKey5);  // no line driven
    // Only the keypad's own inputs (PD7, PD6) fall; switches and other
    // inputs on PIND keep their levels.
    EXPECT_EQ(io("PIND"), 0x3F);
    EXPECT_EQ(io("PINB"), 0xF0);
}

TEST_F(KeypadTest, TypedKeyShowsHeldButWritesNothingUntilTheDriveChanges) {
    drive(0x08, 0x08);
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    const int writes = ioWrites();
    QTest::keyClick(key(pad, kKey9), '5');  // typed while a key has focus
    EXPECT_TRUE(key(pad, kKey5)->isChecked());
    QTest::keyClick(pad, '1');
    EXPECT_TRUE(key(pad, kKey1)->isChecked());
    EXPECT_EQ(ioWrites(), writes);
    EXPECT_EQ(io("PIND"), 0x00);
    EXPECT_EQ(io("PINB"), 0x00);
    EXPECT_EQ(io("PINC"), 0x00);

    // The program moves on to row 1: the held keys now act on it.
    drive(0x0F, 0x04);
    EXPECT_EQ(io("PIND"), 0x40);
    QTest::keyClick(pad, '5');  // released by typing
    EXPECT_FALSE(key(pad, kKey5)->isChecked());
    drive(0x0F, 0x08);  // row 0: key 1 still held
    EXPECT_EQ(io("PIND"), 0x80);
}

}  // namespace

// The wiring is bound by register name: on an ATmega328P, PINB/PIND sit at
// other indices than on the ATmega16, and a held key still reaches PINB.
class Keypad328Test : public KeypadTest {
protected:
    Keypad328Test() { partName = "ATmega328P"; }
};

TEST_F(Keypad328Test, BindsThePartsOwnRegistersByName) {
    ASSERT_EQ(address("PINB"), 0x03);
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    drive(0, 0, 0x80, 0x80);  // column 0 driven on PD7
    EXPECT_TRUE(pad->columnDriven(0));
    click(pad, kKey1);
    EXPECT_EQ(io("PINB"), 0x01);
    // What sits at the ATmega16's PINB index (0x16: PCIFR) is untouched.
    EXPECT_EQ(host().target().Io()[0x16], 0x00);
}

// A part without ports C and D: the keypad says so and writes nothing,
// instead of binding whatever registers sit at the ATmega16's indices.
class KeypadTiny85Test : public KeypadTest {
protected:
    KeypadTiny85Test() { partName = "ATtiny85"; }
};

TEST_F(KeypadTiny85Test, StaysUnconnectedAndSaysWhy) {
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    EXPECT_TRUE(host().services().HasText(
        "The keypad needs ports B, C and D; the ATtiny85 has no PIND, DDRD, PORTD, PINC, DDRC, "
        "PORTC. The keypad is not connected."));
    setIo("DDRB", 0x0F);
    setIo("PORTB", 0x08);
    refresh();
    const int writes = ioWrites();
    click(pad, kKey1);
    EXPECT_EQ(ioWrites(), writes);
    EXPECT_FALSE(pad->rowDriven(0));
}

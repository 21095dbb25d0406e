// Keypad window: input bits that do not belong to the keypad, typed keys
// that write nothing until the drive changes, the wiring by pins. The scans
// themselves are KeypadMatrix's tests; a held key decoded by a
// row-scanning program is e2e.keypad_scan.
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
    // A line register changes, the drive does not (PB2 is an input): key 1
    // on the driven row 0 still closes nothing.
    drive(0x08, 0x0C);
    EXPECT_EQ(io("PIND"), 0x00);

    // The program moves on to row 1: the held keys now act on it.
    drive(0x0F, 0x04);
    EXPECT_EQ(io("PIND"), 0x40);
    QTest::keyClick(pad, '5');  // released by typing
    EXPECT_FALSE(key(pad, kKey5)->isChecked());
    drive(0x0F, 0x08);  // row 0: key 1 still held
    EXPECT_EQ(io("PIND"), 0x80);
}

// At rest (no key held, none raised a bit) the keypad watches none of its
// registers, so neither a refresh tells it of the program's scan nor does
// the host refresh for it; a key going down watches them again, and the
// last key up, once its bits fell, stands them by again.
TEST_F(KeypadTest, WatchesItsRegistersOnlyWhileAKeyActs) {
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    auto watchers = [&](const char* name) {
        return core()->IORegister(core()->FindRegister(name))->activeCount();
    };
    const int32_t before = watchers("DDRB");
    EXPECT_EQ(watchers("PORTD"), before);
    QTest::keyClick(pad, '1');  // typed: held
    EXPECT_EQ(watchers("DDRB"), before + 1);
    EXPECT_EQ(watchers("PORTD"), before + 1);
    drive(0x08, 0x08);  // row 0 driven: key 1 closes column 0
    EXPECT_EQ(io("PIND"), 0x80);
    QTest::keyClick(pad, '1');  // up: its bit is still raised
    EXPECT_EQ(watchers("DDRB"), before + 1);
    drive(0x04, 0x04);  // the drive moves on: the bit falls
    EXPECT_EQ(io("PIND"), 0x00);
    EXPECT_EQ(watchers("DDRB"), before);
    EXPECT_EQ(watchers("PIND"), before);

    // A drive changed at rest is the one a key clicked down acts on.
    drive(0x01, 0x01);  // row 3
    click(pad, ids::keypad::KeyControlOf('*'));
    EXPECT_EQ(io("PIND"), 0x80);
    click(pad, ids::keypad::KeyControlOf('*'));
    EXPECT_EQ(io("PIND"), 0x00);
    EXPECT_EQ(watchers("DDRB"), before);
}

// Wired pin by pin in "Settings...": columns on PA0 PA1 PA2, rows on PC4..PC7.
// Each line is one pin both ways; the fixed wiring's pins are left alone.
TEST_F(KeypadTest, WiredPinByPinSensesEachLineOnItsOwnPin) {
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    QString refused;
    answerDialogs([&](QDialog* d) {
        // Opens on the fixed wiring, its drive pins shown but not offered.
        auto* first = findControlAs<QComboBox>(d, ids::keypad::kFirstColumn);
        EXPECT_FALSE(first->isEnabled());
        EXPECT_EQ(first->currentText(), "PD7");
        EXPECT_EQ(findControlAs<QComboBox>(d, ids::keypad::kFirstRow)->currentText(), "PB3");
        clickControl(d, ids::keypad::kPinWiring);
        EXPECT_TRUE(first->isEnabled());
        const char* pins[] = {"PA0", "PA1", "PA2", "PC4", "PC5", "PC6", "PA1"};
        for (int line = 0; line < 7; ++line) {
            auto* box = findControlAs<QComboBox>(d, line < 3 ? ids::keypad::kFirstColumn + line
                                                             : ids::keypad::kFirstRow + line - 3);
            selectComboIndex(d, ControlId(box), box->findText(pins[line]));
        }
        clickControl(d, 1);  // refused: PA1 twice
        refused = d->property("message").toString();
        auto* lastRow = findControlAs<QComboBox>(d, ids::keypad::kFirstRow + 3);
        selectComboIndex(d, ids::keypad::kFirstRow + 3, lastRow->findText("PC7"));
        clickControl(d, 1);
    });
    triggerMenu(pad, menu::kSettingsCommand);
    EXPECT_EQ(refused, "PA1 is both column 1 and row 3.");
    ASSERT_FALSE(pad->wiring().fixed());
    EXPECT_EQ(pad->wiring().describe(), "columns PA0 PA1 PA2, rows PC4 PC5 PC6 PC7");

    // Row scan: row 1 driven on PC5; key 5 reads on column 1's PA1.
    setIo("DDRC", 0xF0);
    setIo("PORTC", 0x20);
    refresh();
    EXPECT_TRUE(pad->rowDriven(1));
    click(pad, kKey5);
    EXPECT_EQ(io("PINA"), 0x02);
    EXPECT_EQ(io("PIND"), 0x00);
    EXPECT_EQ(io("PINB"), 0x00);

    // Column scan: column 1 driven on PA1, rows inputs: key 5's row reads
    // high on PC5, the pin it is driven on.
    setIo("DDRC", 0x00);
    setIo("PORTC", 0x00);
    setIo("DDRA", 0x02);
    setIo("PORTA", 0x02);
    refresh();
    EXPECT_EQ(io("PINC"), 0x20);
    click(pad, kKey5);  // released
    EXPECT_EQ(io("PINC"), 0x00);
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

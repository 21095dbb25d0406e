// Keypad window on the in-memory host: row and column scans with real
// clicks, the idle matrix, typed keys that write nothing, a held key
// followed through a program that scans one row after another, and input
// bits that do not belong to the keypad.
#include <QKeyEvent>
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

    // What a program that drives rows 0..3 in turn (all four rows outputs)
    // decodes from the column inputs; 0 when it finds no key.
    char scanRows() {
        const char layout[4][4] = {"123", "456", "789", "*0#"};
        char found = 0;
        for (int row = 0; row < 4; ++row) {
            drive(0x0F, static_cast<uint8_t>(1u << (3 - row)));
            const bool columns[3] = {(io("PIND") & 0x80) != 0, (io("PIND") & 0x40) != 0,
                                     (io("PINC") & 0x01) != 0};
            for (int c = 0; c < 3; ++c) {
                if (columns[c] && !found) found = layout[row][c];
            }
        }
        return found;
    }

    static constexpr int kKey1 = 293, kKey5 = 283, kKeyStar = 298, kKeyHash = 299, kKey9 = 295;
};

TEST_F(KeypadTest, WindowHasTwelveNumberedToggleKeys) {
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    ASSERT_NE(pad, nullptr);
    EXPECT_EQ(pad->name(), "Keypad");
    EXPECT_EQ(pad->size(), QSize(150, 200));
    for (const keypad::Key& k : keypad::kKeys) {
        QPushButton* button = key(pad, k.controlId);
        ASSERT_NE(button, nullptr) << k.label;
        EXPECT_EQ(button->text(), QString::fromUtf8(k.label));
        EXPECT_TRUE(button->isCheckable());
        EXPECT_TRUE(pad->rect().contains(button->geometry())) << k.label;
    }
    // Keys sit in a 3 x 4 grid: "1" left of "2", "*" below "7".
    EXPECT_LT(key(pad, kKey1)->x(), key(pad, 292)->x());
    EXPECT_GT(key(pad, kKeyStar)->y(), key(pad, 297)->y());
    EXPECT_EQ(open<frm_Keypad>(kCmdKeypad)->name(), "Keypad 2");
}

TEST_F(KeypadTest, RowScanSetsAndClearsTheColumnInput) {
    drive(0x08, 0x08);  // row 0 driven on PB3
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    click(pad, kKey1);
    EXPECT_TRUE(key(pad, kKey1)->isChecked());
    EXPECT_EQ(io("PIND"), 0x80);
    click(pad, kKey1);
    EXPECT_FALSE(key(pad, kKey1)->isChecked());
    EXPECT_EQ(io("PIND"), 0x00);
    click(pad, kKeyHash);  // row 3 not driven: nothing on PINC
    EXPECT_EQ(io("PINC"), 0x00);
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

TEST_F(KeypadTest, DrivenFlagsReflectRegistersWhenOpened) {
    setIo("DDRB", 0x01);
    setIo("PORTB", 0x01);  // row 3
    setIo("DDRC", 0x01);
    setIo("PORTC", 0x01);  // column 2
    setIo("DDRD", 0x40);   // column 1 output but low
    refresh();
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    EXPECT_TRUE(pad->rowDriven(3));
    EXPECT_FALSE(pad->rowDriven(0));
    EXPECT_TRUE(pad->columnDriven(2));
    EXPECT_FALSE(pad->columnDriven(0));
    EXPECT_FALSE(pad->columnDriven(1));
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

TEST_F(KeypadTest, HeldKeyIsDecodedByARowScanningProgram) {
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    EXPECT_EQ(scanRows(), 0);
    const std::pair<int, char> keys[] = {
        {kKey5, '5'}, {kKeyHash, '#'}, {kKeyStar, '*'}, {kKey9, '9'}};
    for (auto [id, character] : keys) {
        click(pad, id);
        EXPECT_EQ(scanRows(), character);
        click(pad, id);  // release
        EXPECT_EQ(scanRows(), 0) << character;
    }
}

TEST_F(KeypadTest, SettingsItemDoesNothing) {
    int dialogs = 0;
    answerDialogs([&](QDialog* d) {
        ++dialogs;
        d->reject();
    });
    auto* pad = open<frm_Keypad>(kCmdKeypad);
    const int writes = ioWrites();
    triggerMenu(pad, PluginForm::kSettingsCommand);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(ioWrites(), writes);
}

}  // namespace

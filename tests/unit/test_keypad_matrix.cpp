// Keypad matrix: row and column scans, the idle matrix, pins the program
// drives itself, bits the keypad does not own, and a program that scans
// one row after another with a key held.
#include <gtest/gtest.h>

#include "components/digital/KeypadMatrix.h"

using namespace keypad;

namespace {

Registers Regs(std::initializer_list<std::pair<int, uint8_t>> values) {
    Registers r;
    for (auto [index, value] : values) r.set(index, value);
    return r;
}

HeldKeys Held(std::initializer_list<char> keys) {
    HeldKeys h{};
    for (char c : keys) h[KeyForCharacter(c)] = true;
    return h;
}

// Decodes the key a row-scanning program finds: it drives each row in
// turn (all rows outputs) and reads the three column inputs.
char DecodeByRowScan(Matrix& m, Registers& regs) {
    const char layout[kRows][kColumns + 1] = {"123", "456", "789", "*0#"};
    char found = 0;
    for (int row = 0; row < kRows; ++row) {
        regs.set(kDDRB, 0x0F);
        regs.set(kPORTB, static_cast<uint8_t>(1u << (3 - row)));
        if (m.driveChanged(regs)) {
            const Inputs in = m.apply(regs);
            regs.set(kPIND, in.pind);
            regs.set(kPINC, in.pinc);
            regs.set(kPINB, in.pinb);
        }
        const bool cols[kColumns] = {regs.bit(kPIND, 7), regs.bit(kPIND, 6), regs.bit(kPINC, 0)};
        for (int c = 0; c < kColumns; ++c) {
            if (cols[c] && !found) found = layout[row][c];
        }
    }
    return found;
}

}  // namespace

TEST(KeypadMatrix, RowScanReportsColumnAndReleaseClearsIt) {
    Registers regs = Regs({{kDDRB, 0x08}, {kPORTB, 0x08}});
    EXPECT_EQ(SenseInputs(regs, Held({'1'})).pind, 0x80);
    EXPECT_EQ(SenseInputs(regs, Held({'2'})).pind, 0x40);
    EXPECT_EQ(SenseInputs(regs, Held({'3'})).pinc, 0x01);
    EXPECT_EQ(SenseInputs(regs, Held({'4'})), (Inputs{0, 0, 0}));  // row 1 not driven
    regs.set(kPIND, 0x80);
    EXPECT_EQ(SenseInputs(regs, Held({})).pind, 0x00);
}

TEST(KeypadMatrix, ColumnScanReportsRowsOnTheirOwnBits) {
    const Registers regs = Regs({{kDDRD, 0x80}, {kPORTD, 0x80}});
    EXPECT_EQ(SenseInputs(regs, Held({'1'})).pinb, 0x01);
    EXPECT_EQ(SenseInputs(regs, Held({'*'})).pinb, 0x08);
    EXPECT_EQ(SenseInputs(regs, Held({'1', '*', '5'})).pinb, 0x09);
}

TEST(KeypadMatrix, UnownedBitsAndOutputPinsAreKept) {
    // Nothing driven: the owned input bits fall, every other bit stays.
    Registers regs = Regs({{kPIND, 0xFF}, {kPINC, 0xFF}, {kPINB, 0xFF}});
    EXPECT_EQ(SenseInputs(regs, Held({'5'})), (Inputs{0x3F, 0xFE, 0xF0}));

    // Row scan with all rows outputs: PB0..PB3 read what the program
    // drives, so the keypad leaves them; PD7 is an output too.
    regs = Regs({{kDDRB, 0x0F}, {kPORTB, 0x04}, {kPINB, 0x04}, {kDDRD, 0x80}, {kPIND, 0x80}});
    const Inputs in = SenseInputs(regs, Held({'5'}));
    EXPECT_EQ(in.pinb, 0x04);
    EXPECT_EQ(in.pind, 0xC0);
}

TEST(KeypadMatrix, HeldKeyFollowsARowScanningProgram) {
    for (char key : {'1', '5', '9', '*', '0', '#', '7'}) {
        Matrix m;
        Registers regs;
        m.held()[KeyForCharacter(key)] = true;
        regs.set(kDDRB, 0x0F);
        regs.set(kPORTB, 0x08);
        const Inputs in = m.apply(regs);  // the click
        regs.set(kPIND, in.pind);
        regs.set(kPINC, in.pinc);
        EXPECT_EQ(DecodeByRowScan(m, regs), key);
    }
}

TEST(KeypadMatrix, IdleKeypadIgnoresDriveChangesUntilReleasedBitsFell) {
    Matrix m;
    Registers regs = Regs({{kDDRB, 0x08}, {kPORTB, 0x08}});
    EXPECT_FALSE(m.driveChanged(regs));  // nothing held: leave registers alone

    m.held()[KeyForCharacter('1')] = true;
    EXPECT_EQ(m.apply(regs).pind, 0x80);
    regs.set(kPIND, 0x80);
    EXPECT_FALSE(m.driveChanged(regs));  // same drive

    // Released by typing (nothing written); the next drive change clears
    // the bit the key raised, and after that the keypad is idle again.
    m.held()[KeyForCharacter('1')] = false;
    regs.set(kPORTB, 0x04);
    ASSERT_TRUE(m.driveChanged(regs));
    EXPECT_EQ(m.apply(regs).pind, 0x00);
    regs.set(kPORTB, 0x08);
    EXPECT_FALSE(m.driveChanged(regs));
}

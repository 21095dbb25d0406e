// Keypad matrix: row and column scans on the fixed wiring, the idle matrix,
// pins the program drives itself, bits the keypad does not own, a program
// that scans one row after another with a key held, and a wiring by pins
// (each line one pin both ways, on any mix of ports).
#include <gtest/gtest.h>

#include "components/digital/KeypadMatrix.h"

using namespace keypad;

namespace {

struct Set {
    char port;
    uint8_t pin, ddr, out;
};

Registers Regs(std::initializer_list<Set> values) {
    Registers r;
    for (const Set& s : values) r.of(s.port) = {s.pin, s.ddr, s.out};
    return r;
}

HeldKeys Held(std::initializer_list<char> keys) {
    HeldKeys h{};
    for (char c : keys) h[KeyForCharacter(c)] = true;
    return h;
}

const Wiring kFixed;

// Columns on PD2 PD3 PD4, rows on PC0..PC3 (an Uno's D2..D4, A0..A3).
const Wiring kByPins = Wiring::ByPins({Pin{'D', 2}, Pin{'D', 3}, Pin{'D', 4}},
                                      {Pin{'C', 0}, Pin{'C', 1}, Pin{'C', 2}, Pin{'C', 3}});

// Decodes the key a row-scanning program finds: it drives each row in
// turn (all rows outputs) and reads the three column inputs.
char DecodeByRowScan(const Wiring& w, Matrix& m, Registers& regs) {
    const char layout[kRows][kColumns + 1] = {"123", "456", "789", "*0#"};
    char found = 0;
    for (int row = 0; row < kRows; ++row) {
        for (int r = 0; r < kRows; ++r) {
            const Pin p = w.row(r).drive;
            const uint8_t bit = static_cast<uint8_t>(1u << p.bit);
            regs.of(p.port).ddr |= bit;
            regs.of(p.port).port = static_cast<uint8_t>(
                r == row ? regs.of(p.port).port | bit : regs.of(p.port).port & ~bit);
        }
        if (m.driveChanged(w, regs)) regs = m.apply(w, regs);
        for (int c = 0; c < kColumns; ++c) {
            if (regs.input(w.column(c).sense) && !found) found = layout[row][c];
        }
    }
    return found;
}

}  // namespace

TEST(KeypadMatrix, FixedWiringScansReportTheHeldKeysLines) {
    Registers regs = Regs({{'B', 0, 0x08, 0x08}});
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'1'})).of('D').pin, 0x80);
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'2'})).of('D').pin, 0x40);
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'3'})).of('C').pin, 0x01);
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'4'})), regs);  // row 1 not driven
    regs.of('D').pin = 0x80;
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({})).of('D').pin, 0x00);

    regs = Regs({{'D', 0, 0x80, 0x80}});
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'1'})).of('B').pin, 0x01);
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'*'})).of('B').pin, 0x08);
    EXPECT_EQ(SenseInputs(kFixed, regs, Held({'1', '*', '5'})).of('B').pin, 0x09);
}

TEST(KeypadMatrix, UnownedBitsAndOutputPinsAreKept) {
    // Nothing driven: the owned input bits fall, every other bit stays.
    Registers regs = Regs({{'D', 0xFF, 0, 0}, {'C', 0xFF, 0, 0}, {'B', 0xFF, 0, 0}});
    Registers in = SenseInputs(kFixed, regs, Held({'5'}));
    EXPECT_EQ(in.of('D').pin, 0x3F);
    EXPECT_EQ(in.of('C').pin, 0xFE);
    EXPECT_EQ(in.of('B').pin, 0xF0);

    // Row scan with all rows outputs: PB0..PB3 read what the program
    // drives, so the keypad leaves them; PD7 is an output too.
    regs = Regs({{'B', 0x04, 0x0F, 0x04}, {'D', 0x80, 0x80, 0}});
    in = SenseInputs(kFixed, regs, Held({'5'}));
    EXPECT_EQ(in.of('B').pin, 0x04);
    EXPECT_EQ(in.of('D').pin, 0xC0);
}

TEST(KeypadMatrix, HeldKeyFollowsARowScanningProgram) {
    for (const Wiring* w : {&kFixed, &kByPins}) {
        for (char key : {'1', '5', '9', '*', '0', '#', '7'}) {
            Matrix m;
            Registers regs;
            m.held()[KeyForCharacter(key)] = true;
            const Pin row0 = w->row(0).drive;
            regs.of(row0.port).ddr = regs.of(row0.port).port = static_cast<uint8_t>(1u << row0.bit);
            regs = m.apply(*w, regs);  // the click
            EXPECT_EQ(DecodeByRowScan(*w, m, regs), key) << w->describe();
        }
    }
}

TEST(KeypadMatrix, IdleKeypadIgnoresDriveChangesUntilReleasedBitsFell) {
    Matrix m;
    Registers regs = Regs({{'B', 0, 0x08, 0x08}});
    EXPECT_FALSE(m.driveChanged(kFixed, regs));  // nothing held: leave registers alone

    m.held()[KeyForCharacter('1')] = true;
    EXPECT_EQ(m.apply(kFixed, regs).of('D').pin, 0x80);
    regs.of('D').pin = 0x80;
    EXPECT_FALSE(m.driveChanged(kFixed, regs));  // same drive

    // Released by typing (nothing written); the next drive change clears
    // the bit the key raised, and after that the keypad is idle again.
    m.held()[KeyForCharacter('1')] = false;
    regs.of('B').port = 0x04;
    ASSERT_TRUE(m.driveChanged(kFixed, regs));
    EXPECT_EQ(m.apply(kFixed, regs).of('D').pin, 0x00);
    regs.of('B').port = 0x08;
    EXPECT_FALSE(m.driveChanged(kFixed, regs));
}

// With a wiring by pins a row is reported on the pin it is driven on, and
// the lines may share a port with each other and with bits the keypad does
// not own.
TEST(KeypadMatrix, WiringByPinsSensesEachLineOnItsOwnPin) {
    // Column scan: column 1 driven on PD3; key 8 (row 2) reads on PC2.
    Registers regs = Regs({{'D', 0x01, 0x08, 0x08}, {'C', 0xF0, 0, 0}});
    Registers in = SenseInputs(kByPins, regs, Held({'8', '4'}));
    EXPECT_EQ(in.of('C').pin, 0xF4);
    EXPECT_EQ(in.of('D').pin, 0x01);  // PD0 is not the keypad's; PD3 an output

    // Mixed ports: columns on PB1 PD7 PC5, rows on PD0 PB0 PC4 PB7.
    const Wiring mixed = Wiring::ByPins({Pin{'B', 1}, Pin{'D', 7}, Pin{'C', 5}},
                                        {Pin{'D', 0}, Pin{'B', 0}, Pin{'C', 4}, Pin{'B', 7}});
    EXPECT_EQ(mixed.portCount(), 3);
    regs = Regs({{'B', 0, 0x80, 0x80}});  // row 3 driven on PB7
    in = SenseInputs(mixed, regs, Held({'#', '*'}));
    EXPECT_EQ(in.of('C').pin, 0x20);  // column 2
    EXPECT_EQ(in.of('B').pin, 0x02);  // column 0
    EXPECT_EQ(mixed.describe(), "columns PB1 PD7 PC5, rows PD0 PB0 PC4 PB7");
}

TEST(KeypadMatrix, PinsThatCannotWireTheKeypadAreNamed) {
    EXPECT_EQ(PinsProblem(kByPins.columnPins(), kByPins.rowPins()), "");
    EXPECT_EQ(PinsProblem({Pin{'D', 2}, Pin{'D', 3}, Pin{'C', 1}},
                          {Pin{'C', 0}, Pin{'C', 1}, Pin{'C', 2}, Pin{'C', 3}}),
              "PC1 is both column 2 and row 1");
    EXPECT_EQ(PinsProblem({Pin{'D', 2}, Pin{'D', 8}, Pin{'D', 4}}, kByPins.rowPins()),
              "column 1 has no port pin");
    // The fixed wiring's drive pins wire a keypad by pins too.
    EXPECT_EQ(PinsProblem(kFixed.columnPins(), kFixed.rowPins()), "");
    EXPECT_FALSE(Wiring::ByPins(kFixed.columnPins(), kFixed.rowPins()) == kFixed);
}

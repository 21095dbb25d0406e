// The 3 x 4 telephone keypad as a switch matrix on fixed port pins.
//
// Columns 0 and 1 sit on PD7 and PD6, column 2 on PC0. A row is driven
// through PB3..PB0 (row 0 on PB3) and reported on PB0..PB3 (row 0 on PB0).
// A line counts as driven when the program makes its pin an output and
// drives it high. The matrix has pull-downs: a sensing input line reads 1
// exactly when some held key connects it to a driven line, and 0 otherwise.
//
// The keypad only ever writes the input bits it owns (PIND bits 7 and 6,
// PINC bit 0, PINB bits 0..3), and of those only the ones whose pin is an
// input: a pin the program drives itself reads what the program drives.
// Every other bit of PIND, PINC and PINB is left as it was.
//
// Toolkit-free: the keypad window feeds it register values and held keys.
#pragma once

#include <array>
#include <cstdint>

#include "contract/ResourceIds.h"

namespace keypad {

constexpr int kRows = 4;
constexpr int kColumns = 3;
constexpr int kKeyCount = kRows * kColumns;

// The nine registers of the wiring, as slots of Registers below. The slot
// numbers are the ATmega16's I/O indices of those registers; the window
// binds each slot to the register of that name on the selected part
// (kRegisterNames), so on an ATmega328P PIND is its index 0x09.
constexpr int kPIND = 0x10;
constexpr int kDDRD = 0x11;
constexpr int kPORTD = 0x12;
constexpr int kPINC = 0x13;
constexpr int kDDRC = 0x14;
constexpr int kPORTC = 0x15;
constexpr int kPINB = 0x16;
constexpr int kDDRB = 0x17;
constexpr int kPORTB = 0x18;
constexpr int kFirstRegister = kPIND;
constexpr int kRegisterCount = kPORTB - kPIND + 1;
// The register name of each slot, slot kFirstRegister first.
inline constexpr std::array<const char*, kRegisterCount> kRegisterNames{
    "PIND", "DDRD", "PORTD", "PINC", "DDRC", "PORTC", "PINB", "DDRB", "PORTB"};

// One key of the pad: the character that types it, its button label and
// control id, and where it sits in the matrix.
struct Key {
    char character;
    const char* label;
    int controlId;
    int row;
    int column;
};

// In row-major order, so that kKeys[row * kColumns + column] is the key
// at (row, column).
inline constexpr std::array<Key, kKeyCount> kKeys{{
    {'1', "&1", ids::keypad::kKeyControls[0].controlId, 0, 0},
    {'2', "&2", ids::keypad::kKeyControls[1].controlId, 0, 1},
    {'3', "&3", ids::keypad::kKeyControls[2].controlId, 0, 2},
    {'4', "&4", ids::keypad::kKeyControls[3].controlId, 1, 0},
    {'5', "&5", ids::keypad::kKeyControls[4].controlId, 1, 1},
    {'6', "&6", ids::keypad::kKeyControls[5].controlId, 1, 2},
    {'7', "&7", ids::keypad::kKeyControls[6].controlId, 2, 0},
    {'8', "&8", ids::keypad::kKeyControls[7].controlId, 2, 1},
    {'9', "&9", ids::keypad::kKeyControls[8].controlId, 2, 2},
    {'*', "&*", ids::keypad::kKeyControls[9].controlId, 3, 0},
    {'0', "&0", ids::keypad::kKeyControls[10].controlId, 3, 1},
    {'#', "&#", ids::keypad::kKeyControls[11].controlId, 3, 2},
}};

constexpr int KeyIndex(int row, int column) { return row * kColumns + column; }

// Index of the key typed by a character, or -1.
constexpr int KeyForCharacter(char c) {
    for (int i = 0; i < kKeyCount; ++i) {
        if (kKeys[i].character == c) return i;
    }
    return -1;
}

// Where a line sits: the register index and bit of its input (PIN)
// register and of its data direction and output registers.
struct Pin {
    int pin;   // PINx register index
    int ddr;   // DDRx register index
    int port;  // PORTx register index
    int bit;
};

// The pin that drives column c and the pin that reports it (the same).
constexpr Pin ColumnPin(int c) {
    return c == 2 ? Pin{kPINC, kDDRC, kPORTC, 0} : Pin{kPIND, kDDRD, kPORTD, 7 - c};
}
// The pin that drives row r (PB3 - r).
constexpr Pin RowDrivePin(int r) { return Pin{kPINB, kDDRB, kPORTB, 3 - r}; }
// The pin on which row r is reported when the program drives columns (PBr).
constexpr Pin RowSensePin(int r) { return Pin{kPINB, kDDRB, kPORTB, r}; }

// The values of registers 0x10..0x18.
class Registers {
public:
    Registers() = default;
    explicit Registers(const std::array<uint8_t, kRegisterCount>& values) : values_(values) {}

    uint8_t get(int index) const { return values_[index - kFirstRegister]; }
    void set(int index, uint8_t value) { values_[index - kFirstRegister] = value; }
    bool bit(int index, int bit) const { return (get(index) >> bit) & 1; }

private:
    std::array<uint8_t, kRegisterCount> values_{};
};

// Which lines the program drives high.
struct Drive {
    std::array<bool, kColumns> columns{};
    std::array<bool, kRows> rows{};
    bool operator==(const Drive&) const = default;
};

// A pin is driven when it is an output and its output bit is high.
inline bool Driven(const Registers& r, const Pin& p) {
    return r.bit(p.ddr, p.bit) && r.bit(p.port, p.bit);
}

inline bool ColumnDriven(const Registers& r, int c) { return Driven(r, ColumnPin(c)); }
inline bool RowDriven(const Registers& r, int r0) { return Driven(r, RowDrivePin(r0)); }

inline Drive DrivenLines(const Registers& r) {
    Drive d;
    for (int c = 0; c < kColumns; ++c) d.columns[c] = ColumnDriven(r, c);
    for (int row = 0; row < kRows; ++row) d.rows[row] = RowDriven(r, row);
    return d;
}

using HeldKeys = std::array<bool, kKeyCount>;

// The three input registers as the matrix makes the program read them.
struct Inputs {
    uint8_t pind;
    uint8_t pinc;
    uint8_t pinb;
    bool operator==(const Inputs&) const = default;
};

namespace detail {
inline void WriteSense(const Registers& regs, const Pin& p, bool level, Inputs& out) {
    // A pin the program uses as an output is not the keypad's to set.
    if (regs.bit(p.ddr, p.bit)) return;
    uint8_t* target = p.pin == kPIND ? &out.pind : p.pin == kPINC ? &out.pinc : &out.pinb;
    const uint8_t mask = static_cast<uint8_t>(1u << p.bit);
    *target = level ? (*target | mask) : (*target & ~mask);
}
}  // namespace detail

// What the program reads on PIND, PINC and PINB with the given keys held:
// each sensing input line is 1 iff a held key joins it to a driven line.
inline Inputs SenseInputs(const Registers& regs, const HeldKeys& held) {
    const Drive drive = DrivenLines(regs);
    Inputs out{regs.get(kPIND), regs.get(kPINC), regs.get(kPINB)};
    for (int c = 0; c < kColumns; ++c) {
        bool level = false;
        for (int r = 0; r < kRows; ++r) level |= held[KeyIndex(r, c)] && drive.rows[r];
        detail::WriteSense(regs, ColumnPin(c), level, out);
    }
    for (int r = 0; r < kRows; ++r) {
        bool level = false;
        for (int c = 0; c < kColumns; ++c) level |= held[KeyIndex(r, c)] && drive.columns[c];
        detail::WriteSense(regs, RowSensePin(r), level, out);
    }
    return out;
}

inline bool AnyHeld(const HeldKeys& held) {
    for (bool h : held) {
        if (h) return true;
    }
    return false;
}

// Decides when the keypad writes its inputs. A click always applies the
// matrix; a change of the driven lines applies it again while a key is
// held or a bit the keypad raised must fall, as a real switch matrix
// follows a program that scans one line after another. An idle keypad
// leaves the registers alone.
class Matrix {
public:
    HeldKeys& held() { return held_; }
    const HeldKeys& held() const { return held_; }
    const Drive& drive() const { return drive_; }

    // Records the drive pattern of regs. Returns true when it changed and
    // the inputs must be applied again.
    bool driveChanged(const Registers& regs) {
        const Drive now = DrivenLines(regs);
        const bool changed = !(now == drive_);
        drive_ = now;
        return changed && (AnyHeld(held_) || raised_);
    }

    // The inputs to write now. Remembers whether a key was held, since
    // the bits it raised must fall at the next change of the drive even
    // when the key was released by typing, which writes nothing.
    Inputs apply(const Registers& regs) {
        drive_ = DrivenLines(regs);
        raised_ = AnyHeld(held_);
        return SenseInputs(regs, held_);
    }

private:
    HeldKeys held_{};
    Drive drive_{};
    bool raised_ = false;
};

}  // namespace keypad

// The 3 x 4 telephone keypad as a switch matrix on port pins.
//
// Two wirings. The fixed one, which every keypad has until its user wires
// it otherwise: columns 0 and 1 sit on PD7 and PD6, column 2 on PC0; a row
// is driven through PB3..PB0 (row 0 on PB3) and reported on PB0..PB3 (row 0
// on PB0). A wiring of the user's puts each of the seven lines on one pin
// of any port, driven and reported on that same pin.
//
// A line counts as driven when the program makes its drive pin an output
// and drives it high. The matrix has pull-downs: a sensing input line reads
// 1 exactly when some held key connects it to a driven line, and 0
// otherwise.
//
// The keypad only ever writes the input bits it owns (the lines' sense
// pins), and of those only the ones whose pin is an input: a pin the
// program drives itself reads what the program drives. Every other bit of
// the ports' PIN registers is left as it was.
//
// Toolkit-free: the keypad window feeds it register values and held keys.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "contract/ResourceIds.h"

namespace keypad {

constexpr int kRows = 4;
constexpr int kColumns = 3;
constexpr int kKeyCount = kRows * kColumns;
constexpr int kLines = kRows + kColumns;

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

// A port pin: its port letter ('A'..'L') and bit.
struct Pin {
    char port = 0;
    int bit = 0;
    bool operator==(const Pin&) const = default;
};

// "PD7".
inline std::string PinName(const Pin& pin) {
    return std::string{'P', pin.port, static_cast<char>('0' + pin.bit)};
}

// Where a line of the matrix sits: the pin the program drives it on and
// the pin it is reported on when the crossing line is driven.
struct Line {
    Pin drive;
    Pin sense;
    bool operator==(const Line&) const = default;
};

// The most ports a wiring can use: one per line.
constexpr int kMaxPorts = kLines;

class Wiring {
public:
    // The fixed wiring (see the top of this file).
    Wiring() {
        columns_ = {Line{{'D', 7}, {'D', 7}}, Line{{'D', 6}, {'D', 6}}, Line{{'C', 0}, {'C', 0}}};
        for (int r = 0; r < kRows; ++r) rows_[r] = Line{{'B', 3 - r}, {'B', r}};
        collectPorts();
    }
    // Each line on one pin, both ways. The pins must all differ
    // (PinsProblem).
    static Wiring ByPins(const std::array<Pin, kColumns>& columns,
                         const std::array<Pin, kRows>& rows) {
        Wiring w;
        w.fixed_ = false;
        for (int c = 0; c < kColumns; ++c) w.columns_[c] = Line{columns[c], columns[c]};
        for (int r = 0; r < kRows; ++r) w.rows_[r] = Line{rows[r], rows[r]};
        w.collectPorts();
        return w;
    }

    bool fixed() const { return fixed_; }
    const Line& column(int c) const { return columns_[c]; }
    const Line& row(int r) const { return rows_[r]; }
    // The pins of a wiring by pins (for the fixed one, the drive pins).
    std::array<Pin, kColumns> columnPins() const {
        std::array<Pin, kColumns> pins{};
        for (int c = 0; c < kColumns; ++c) pins[c] = columns_[c].drive;
        return pins;
    }
    std::array<Pin, kRows> rowPins() const {
        std::array<Pin, kRows> pins{};
        for (int r = 0; r < kRows; ++r) pins[r] = rows_[r].drive;
        return pins;
    }

    // The ports the lines use, in the order the lines first name them
    // (columns, then rows): D, C, B for the fixed wiring.
    const std::array<char, kMaxPorts>& ports() const { return ports_; }
    int portCount() const { return portCount_; }

    // "rows PB3-PB0, columns PD7 PD6 PC0" for the fixed wiring; "columns
    // PD2 PD3 PD4, rows PC0 PC1 PC2 PC3" for one by pins.
    std::string describe() const {
        if (fixed_) return "rows PB3-PB0, columns PD7 PD6 PC0";
        std::string text = "columns";
        for (const Line& l : columns_) text += " " + PinName(l.drive);
        text += ", rows";
        for (const Line& l : rows_) text += " " + PinName(l.drive);
        return text;
    }

    bool operator==(const Wiring& other) const {
        return fixed_ == other.fixed_ && columns_ == other.columns_ && rows_ == other.rows_;
    }

private:
    void collectPorts() {
        portCount_ = 0;
        auto add = [this](char port) {
            for (int i = 0; i < portCount_; ++i) {
                if (ports_[i] == port) return;
            }
            ports_[portCount_++] = port;
        };
        for (const Line& l : columns_) add(l.sense.port), add(l.drive.port);
        for (const Line& l : rows_) add(l.sense.port), add(l.drive.port);
    }

    bool fixed_ = true;
    std::array<Line, kColumns> columns_{};
    std::array<Line, kRows> rows_{};
    std::array<char, kMaxPorts> ports_{};
    int portCount_ = 0;
};

// Why pins cannot wire the keypad ("PB3 is both column 1 and row 0"), or
// "" when they can: every pin must be a port pin (port letter, bit 0..7)
// and no pin may carry two lines.
inline std::string PinsProblem(const std::array<Pin, kColumns>& columns,
                               const std::array<Pin, kRows>& rows) {
    std::array<Pin, kLines> pins{};
    std::array<std::string, kLines> names{};
    for (int c = 0; c < kColumns; ++c) {
        pins[c] = columns[c];
        names[c] = "column " + std::to_string(c);
    }
    for (int r = 0; r < kRows; ++r) {
        pins[kColumns + r] = rows[r];
        names[kColumns + r] = "row " + std::to_string(r);
    }
    for (int i = 0; i < kLines; ++i) {
        if (pins[i].port < 'A' || pins[i].port > 'Z' || pins[i].bit < 0 || pins[i].bit > 7)
            return names[i] + " has no port pin";
        for (int j = 0; j < i; ++j) {
            if (pins[j] == pins[i])
                return PinName(pins[i]) + " is both " + names[j] + " and " + names[i];
        }
    }
    return {};
}

// The three registers of a port.
struct PortValues {
    uint8_t pin = 0;
    uint8_t ddr = 0;
    uint8_t port = 0;
    bool operator==(const PortValues&) const = default;
};

// The registers of the ports A..Z, by letter.
class Registers {
public:
    PortValues& of(char port) { return ports_[Slot(port)]; }
    const PortValues& of(char port) const { return ports_[Slot(port)]; }
    bool driven(const Pin& p) const {
        const PortValues& r = of(p.port);
        return ((r.ddr & r.port) >> p.bit) & 1;
    }
    bool isOutput(const Pin& p) const { return (of(p.port).ddr >> p.bit) & 1; }
    bool input(const Pin& p) const { return (of(p.port).pin >> p.bit) & 1; }
    bool operator==(const Registers&) const = default;

private:
    static int Slot(char port) { return port >= 'A' && port <= 'Z' ? port - 'A' : 0; }
    std::array<PortValues, 26> ports_{};
};

// Which lines the program drives high.
struct Drive {
    std::array<bool, kColumns> columns{};
    std::array<bool, kRows> rows{};
    bool operator==(const Drive&) const = default;
};

inline bool ColumnDriven(const Wiring& w, const Registers& r, int c) {
    return r.driven(w.column(c).drive);
}
inline bool RowDriven(const Wiring& w, const Registers& r, int row) {
    return r.driven(w.row(row).drive);
}

inline Drive DrivenLines(const Wiring& w, const Registers& r) {
    Drive d;
    for (int c = 0; c < kColumns; ++c) d.columns[c] = ColumnDriven(w, r, c);
    for (int row = 0; row < kRows; ++row) d.rows[row] = RowDriven(w, r, row);
    return d;
}

using HeldKeys = std::array<bool, kKeyCount>;

// `regs` with the PIN registers of the wiring's ports as the matrix makes
// the program read them with the given keys held: each sensing input line
// is 1 iff a held key joins it to a driven line.
inline Registers SenseInputs(const Wiring& w, const Registers& regs, const HeldKeys& held) {
    const Drive drive = DrivenLines(w, regs);
    Registers out = regs;
    const auto sense = [&regs, &out](const Pin& p, bool level) {
        // A pin the program uses as an output is not the keypad's to set.
        if (regs.isOutput(p)) return;
        uint8_t& target = out.of(p.port).pin;
        const uint8_t mask = static_cast<uint8_t>(1u << p.bit);
        target = level ? static_cast<uint8_t>(target | mask) : static_cast<uint8_t>(target & ~mask);
    };
    for (int c = 0; c < kColumns; ++c) {
        bool level = false;
        for (int r = 0; r < kRows; ++r) level |= held[KeyIndex(r, c)] && drive.rows[r];
        sense(w.column(c).sense, level);
    }
    for (int r = 0; r < kRows; ++r) {
        bool level = false;
        for (int c = 0; c < kColumns; ++c) level |= held[KeyIndex(r, c)] && drive.columns[c];
        sense(w.row(r).sense, level);
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
    bool driveChanged(const Wiring& w, const Registers& regs) {
        const Drive now = DrivenLines(w, regs);
        const bool changed = !(now == drive_);
        drive_ = now;
        return changed && (AnyHeld(held_) || raised_);
    }

    // The registers with the inputs to write now. Remembers whether a key
    // was held, since the bits it raised must fall at the next change of
    // the drive even when the key was released by typing, which writes
    // nothing.
    Registers apply(const Wiring& w, const Registers& regs) {
        drive_ = DrivenLines(w, regs);
        raised_ = AnyHeld(held_);
        return SenseInputs(w, regs, held_);
    }

    // Whether a change of the drive can make the inputs change: a key is
    // held, or the bits a key raised have not yet fallen. While not, the
    // drive need not be followed; follow() records it when that ends.
    bool following() const { return AnyHeld(held_) || raised_; }
    void follow(const Wiring& w, const Registers& regs) { drive_ = DrivenLines(w, regs); }

    // A new wiring: nothing the keypad raised is on its pins any more.
    void rewired() {
        drive_ = {};
        raised_ = false;
    }

private:
    HeldKeys held_{};
    Drive drive_{};
    bool raised_ = false;
};

}  // namespace keypad

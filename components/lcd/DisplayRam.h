// The HD44780U's memories: display data RAM (DDRAM, 128 cells), character
// generator RAM (CGRAM, 64 cells), the address counter with its entry
// direction, and the layout that maps DDRAM addresses onto display lines.
//
// Layouts. The controller addresses DDRAM as one line of 80 cells
// (0x00..0x4F) or as two lines of 40 (0x00..0x27 and 0x40..0x67); a data
// access steps the address counter within those ranges. A module shows a
// window of `columns` cells on each visible line:
//   1 line:  line 1 at 0x00 (line length 80)
//   2 lines: lines at 0x00 and 0x40 (line length 40)
//   4 lines: lines at 0x00, 0x40, 0x00 + columns, 0x40 + columns, as the
//            data sheet wires a 4-line module to the two 40-cell lines
//            (0x00/0x40/0x14/0x54 for 20x4, 0x00/0x40/0x10/0x50 for 16x4)
// A display shift scrolls each 40-cell (or 80-cell) line circularly, so
// lines 1 and 3 of a 4-line module move together, as on the real module.
//
// The address counter never leaves the arrays: every step, cursor move and
// address set lands on 0..127 (DDRAM) or 0..63 (CGRAM).
//
// Toolkit-free.
#pragma once

#include <array>
#include <cstdint>

enum class Memory : uint8_t { DDRAM, CGRAM };

class DisplayRam {
public:
    static constexpr int kDdramSize = 128;
    static constexpr int kCgramSize = 64;
    static constexpr int kMaxLines = 4;

    // A layout of `lineMode` lines (1, 2 or 4; anything else counts as 2)
    // showing `columns` cells each, limited to what one line holds (80, 40
    // or 20 cells; never below 0).
    explicit DisplayRam(int lineMode = 2, int columns = 16);

    // Changes the layout; memory contents and the address counter stay.
    void setLayout(int lineMode, int columns);
    int lineMode() const { return lineMode_; }
    int columns() const { return columns_; }
    // Largest column count a layout with `lineMode` lines shows.
    static int MaxColumns(int lineMode);

    // ---- Memories and address counter
    std::array<uint8_t, kDdramSize> ddram;
    std::array<uint8_t, kCgramSize> cgram;
    Memory memorySelect = Memory::DDRAM;
    int32_t addressCounter = 0;
    bool increment = true;

    // Stores `byte` at the address counter of the selected memory, then steps.
    void writeData(uint8_t byte);
    // The byte at the address counter; with `advance`, steps afterwards.
    uint8_t readData(bool advance);
    // Selects DDRAM; the counter takes the 7-bit address as it is, also in
    // the gap between two lines (such a cell is stored but not shown).
    void setDdramAddress(uint8_t address);
    // Selects CGRAM at the 6-bit address.
    void setCgramAddress(uint8_t address);
    // 128 spaces in DDRAM, counter 0, DDRAM selected; CGRAM and the entry
    // direction stay.
    void clear();
    // Steps the counter in the selected memory, up or down.
    void step(bool up);

    // ---- DDRAM ranges of the controller's addressing
    bool isValidAddress(int a) const;
    // `a` itself when valid, else the lowest valid address above it, else 0.
    int nextValidAddress(int a) const;
    // `a` itself when valid, else the highest valid address below it, else
    // the highest valid address of the layout.
    int previousValidAddress(int a) const;

    // ---- Visible lines
    int lineCount() const { return lineMode_; }
    // DDRAM address of the first cell of visible line `line` (0-based).
    int lineStart(int line) const;
    // The DDRAM address shown at (line, column) with display shift `shift`.
    int addressAt(int line, int column, int shift) const;
    // Length of the DDRAM line a display shift scrolls (80 or 40).
    int lineLength() const { return lineMode_ == 1 ? 80 : 40; }

private:
    struct Range {
        int first;
        int end;  // one past the last
    };
    int rangeCount() const { return lineMode_ == 1 ? 1 : 2; }
    Range range(int i) const;

    int lineMode_ = 2;
    int columns_ = 16;
};

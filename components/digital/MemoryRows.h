// Rows of the data-memory list: which byte a row shows, the texts of its
// nine columns, its pointer markers and whether it changed, and the paging
// that brings a followed pointer into view.
//
// The list shows the part's internal SRAM (RAMSTART..RAMEND, the 1024 bytes
// from data address 0x60 to 0x45F on a part whose description gives no
// SRAM), one row per byte; reversed (the default) the highest address
// comes first.
//
// Toolkit-free: the list's model answers its cells with these functions and
// finds with RowsToRepaint which rows a refresh changed.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "contract/HostProtocol.h"
#include "contract/ResourceIds.h"

namespace memrows {

// The memory listed: `count` bytes from data address `first`.
struct Window {
    int first = kDataWindowStart;
    int count = kDataWindowSize;
    int last() const { return first + count - 1; }
    bool operator==(const Window&) const = default;
};

// Rows of the window of a part whose description gives no SRAM.
constexpr int kRowCount = kDataWindowSize;
constexpr int kFirstAddress = kDataWindowStart;
constexpr int kLastAddress = kFirstAddress + kRowCount - 1;  // 0x45F

enum Column : int {
    kColStackPointer = 0,
    kColX = 1,
    kColY = 2,
    kColZ = 3,
    kColAddress = 4,
    kColHex = 5,
    kColDecimal = 6,
    kColBinary = 7,
    kColAscii = 8,
    kColumnCount = 9,
};

enum class Align { Left, Centre };

struct ColumnInfo {
    const char* heading;
    Align align;
    int width;         // width when shown from the menu
    int initialWidth;  // width at creation when shown at start or
                       // created hidden (0)
    bool shownAtStart;
    int menuId;  // menu item that toggles it
};

inline constexpr std::array<ColumnInfo, kColumnCount> kColumns{{
    {"S", Align::Centre, 20, 20, true, menu::kShowStackPointer},
    {"X", Align::Centre, 20, 20, false, menu::kShowX},
    {"Y", Align::Centre, 20, 20, false, menu::kShowY},
    {"Z", Align::Centre, 20, 20, false, menu::kShowZ},
    {"Address", Align::Left, 50, 50, true, menu::kShowAddress},
    {"Hex", Align::Centre, 39, 39, true, menu::kShowHex},
    {"Dec", Align::Centre, 32, 32, false, menu::kShowDecimal},
    {"Binary", Align::Centre, 60, 60, false, menu::kShowBinary},
    {"C", Align::Centre, 20, 25, false, menu::kShowAscii},
}};

// Images of the pointer-arrow strip.
enum Image : int { kImageBlank = 0, kImageSP = 1, kImageX = 2, kImageY = 3, kImageZ = 4 };

// What the list shows: the core's current and previous memory images and
// the pointers, as read at the last refresh.
struct Snapshot {
    const uint8_t* current = nullptr;   // window.count bytes
    const uint8_t* previous = nullptr;  // window.count bytes
    uint16_t stackPointer = 0;
    uint16_t x = 0;
    uint16_t y = 0;
    uint16_t z = 0;
    Window window;
};

// Memory index (0 = the window's first address) shown by a row.
constexpr int MemoryIndex(int row, bool reverse, const Window& w = {}) {
    return reverse ? w.count - 1 - row : row;
}
// The row that shows a memory index; the mapping is its own inverse.
constexpr int RowOfIndex(int index, bool reverse, const Window& w = {}) {
    return MemoryIndex(index, reverse, w);
}
constexpr int RowAddress(int row, bool reverse, const Window& w = {}) {
    return w.first + MemoryIndex(row, reverse, w);
}

inline bool ValidRow(int row, const Window& w = {}) { return row >= 0 && row < w.count; }

inline uint8_t RowValue(const Snapshot& s, int row, bool reverse) {
    return s.current ? s.current[MemoryIndex(row, reverse, s.window)] : 0;
}

// Whether the row's byte differs from the previous refresh.
inline bool RowChanged(const Snapshot& s, int row, bool reverse) {
    if (!ValidRow(row, s.window) || !s.current || !s.previous) return false;
    const int m = MemoryIndex(row, reverse, s.window);
    return s.current[m] != s.previous[m];
}

inline std::string Binary(uint8_t v) {
    std::string out(8, '0');
    for (int bit = 0; bit < 8; ++bit) {
        if (v & (0x80 >> bit)) out[bit] = '1';
    }
    return out;
}

// One character for the byte: printable ASCII as itself, anything else
// (control characters, DEL, bytes above 0x7F) as a dot, as hex dumps do.
inline std::string Character(uint8_t v) {
    return std::string(1, (v >= 0x20 && v < 0x7F) ? static_cast<char>(v) : '.');
}

// Text of a cell; the pointer columns carry an image and no text. The
// precision pads with zeros: six hex digits for the address, two for the
// value.
inline std::string CellText(const Snapshot& s, int row, int column, bool reverse) {
    if (!ValidRow(row, s.window)) return "Unknown";
    char buffer[16];
    const uint8_t value = RowValue(s, row, reverse);
    switch (column) {
        case kColStackPointer:
        case kColX:
        case kColY:
        case kColZ:
            return "";
        case kColAddress:
            std::snprintf(buffer, sizeof buffer, "%.6X", RowAddress(row, reverse, s.window));
            return buffer;
        case kColHex:
            std::snprintf(buffer, sizeof buffer, "%.2X", value);
            return buffer;
        case kColDecimal:
            std::snprintf(buffer, sizeof buffer, "%i", value);
            return buffer;
        case kColBinary:
            return Binary(value);
        case kColAscii:
            return Character(value);
        default:
            return "Unknown";
    }
}

// Image of a cell: the column's arrow where its pointer points, else blank.
inline int CellImage(const Snapshot& s, int row, int column, bool reverse) {
    if (!ValidRow(row, s.window)) return kImageBlank;
    const int address = RowAddress(row, reverse, s.window);
    switch (column) {
        case kColStackPointer:
            return address == s.stackPointer ? kImageSP : kImageBlank;
        case kColX:
            return address == s.x ? kImageX : kImageBlank;
        case kColY:
            return address == s.y ? kImageY : kImageBlank;
        case kColZ:
            return address == s.z ? kImageZ : kImageBlank;
        default:
            return kImageBlank;
    }
}

// ---- What the list shows, kept between refreshes

// A copy of the memory images and pointers the list last showed. Keeping
// its own copy lets the list tell which rows a refresh changed, and keeps
// what it shows consistent with what it announced.
struct ShownMemory {
    Window window;
    std::vector<uint8_t> current = std::vector<uint8_t>(static_cast<size_t>(window.count));
    std::vector<uint8_t> previous = std::vector<uint8_t>(static_cast<size_t>(window.count));
    uint16_t stackPointer = 0;
    uint16_t x = 0;
    uint16_t y = 0;
    uint16_t z = 0;

    Snapshot snapshot() const {
        return {current.data(), previous.data(), stackPointer, x, y, z, window};
    }
};

// A set of rows, sized to the window.
class RowSet {
public:
    void resize(int rows) { bits_.assign(static_cast<size_t>((rows + 63) / 64), 0); }
    void reset() { std::fill(bits_.begin(), bits_.end(), 0); }
    void set(int row) { bits_[static_cast<size_t>(row >> 6)] |= uint64_t{1} << (row & 63); }
    bool test(int row) const {
        return row >= 0 && static_cast<size_t>(row >> 6) < bits_.size() &&
               ((bits_[static_cast<size_t>(row >> 6)] >> (row & 63)) & 1);
    }
    bool none() const { return count() == 0; }
    size_t count() const {
        size_t n = 0;
        for (uint64_t w : bits_) n += static_cast<size_t>(std::popcount(w));
        return n;
    }

private:
    std::vector<uint64_t> bits_;
};

// Marks in `rows` (cleared first) the rows whose text, colour or arrows
// differ between what is shown and the next snapshot: a byte whose value
// changed, a byte that turned red or back, and the rows a pointer left and
// reached. Then takes the snapshot into `shown`. A snapshot of another
// window (another part) replaces what is shown, every row marked; otherwise
// nothing is allocated.
inline void RowsToRepaint(ShownMemory& shown, const Snapshot& next, bool reverse, RowSet& rows) {
    const Window& w = next.window;
    if (!(shown.window == w) || shown.current.size() != static_cast<size_t>(w.count)) {
        shown.window = w;
        shown.current.assign(static_cast<size_t>(w.count), 0);
        shown.previous.assign(static_cast<size_t>(w.count), 0);
        rows.resize(w.count);
        for (int r = 0; r < w.count; ++r) rows.set(r);
    } else {
        rows.resize(w.count);  // the same size: no allocation
    }
    if (next.current && next.previous) {
        for (int m = 0; m < w.count; ++m) {
            const bool wasRed = shown.current[m] != shown.previous[m];
            const bool isRed = next.current[m] != next.previous[m];
            if (shown.current[m] != next.current[m] || wasRed != isRed) {
                rows.set(RowOfIndex(m, reverse, w));
            }
            shown.current[m] = next.current[m];
            shown.previous[m] = next.previous[m];
        }
    }
    const auto moved = [&](uint16_t& was, uint16_t now) {
        if (was == now) return;
        for (const int address : {int{was}, int{now}}) {
            const int row = address >= w.first && address <= w.last()
                                ? RowOfIndex(address - w.first, reverse, w)
                                : -1;
            if (ValidRow(row, w)) rows.set(row);
        }
        was = now;
    };
    moved(shown.stackPointer, next.stackPointer);
    moved(shown.x, next.x);
    moved(shown.y, next.y);
    moved(shown.z, next.z);
}

// ---- Following a pointer

enum class Follow { None, StackPointer, X, Y, Z };

inline int FollowTarget(Follow f, const Snapshot& s) {
    switch (f) {
        case Follow::StackPointer:
            return s.stackPointer;
        case Follow::X:
            return s.x;
        case Follow::Y:
            return s.y;
        case Follow::Z:
            return s.z;
        default:
            return 0;
    }
}

// The row a followed address sits in, or -1 when there is nothing to
// follow: the pointer is 0 or outside the listed memory.
inline int TargetRow(int address, bool reverse, const Window& w = {}) {
    if (address == 0 || address < w.first || address > w.last()) return -1;
    return RowOfIndex(address - w.first, reverse, w);
}

// The rows on screen: the first visible row and how many whole rows fit.
struct Page {
    int top = 0;
    int count = 0;
};

// A row is in view when it is one of the page's whole rows.
inline bool RowInView(int row, const Page& page) {
    return row >= page.top && row < page.top + page.count;
}

// Direction of one page step toward a row that is out of view.
inline int PageStep(int row, const Page& page) { return row < page.top ? -page.count : page.count; }

// Something that can be scrolled by whole rows.
class Scrollable {
public:
    virtual ~Scrollable() = default;
    virtual Page page() const = 0;
    virtual void scrollRows(int delta) = 0;
};

// Pages toward the row until it is in view. Ends as well when a step moved
// nothing (a page too small for one row, or the list at its end), and in
// any case after as many steps as there are rows. Returns the steps made.
inline int ScrollIntoView(int row, Scrollable& list, int rowCount = kRowCount) {
    if (row < 0 || row >= rowCount) return 0;
    int steps = 0;
    for (; steps < rowCount; ++steps) {
        const Page before = list.page();
        if (RowInView(row, before)) break;
        const int delta = PageStep(row, before);
        if (delta == 0) break;
        list.scrollRows(delta);
        if (list.page().top == before.top) break;
    }
    return steps;
}

}  // namespace memrows

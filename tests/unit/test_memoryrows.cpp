// Data-memory list rows: mapping in both orders, cell texts and images,
// changed rows, and paging a followed pointer into view (including pages
// that hold no whole row and lists that cannot move).
#include <gtest/gtest.h>

#include <array>

#include "components/digital/MemoryRows.h"

using namespace memrows;

namespace {

struct Memory {
    std::array<uint8_t, kRowCount> current{};
    std::array<uint8_t, kRowCount> previous{};
    Snapshot snapshot(uint16_t sp = 0, uint16_t x = 0, uint16_t y = 0, uint16_t z = 0) const {
        return Snapshot{current.data(), previous.data(), sp, x, y, z};
    }
};

// A list of kRowCount rows, `count` whole rows per page, clamped like a
// scroll bar.
struct FakeList : Scrollable {
    Page p;
    int scrolls = 0;
    Page page() const override { return p; }
    void scrollRows(int delta) override {
        ++scrolls;
        const int maxTop = std::max(0, kRowCount - p.count);
        p.top = std::clamp(p.top + delta, 0, maxTop);
    }
};

}  // namespace

TEST(MemoryRows, MappingInBothOrders) {
    EXPECT_EQ(RowAddress(0, true), 0x45F);
    EXPECT_EQ(RowAddress(1, true), 0x45E);
    EXPECT_EQ(RowAddress(1023, true), 0x60);
    EXPECT_EQ(RowAddress(0, false), 0x60);
    EXPECT_EQ(RowAddress(1023, false), 0x45F);
    for (bool reverse : {true, false}) {
        for (int row : {0, 1, 500, 1023}) {
            EXPECT_EQ(RowOfIndex(MemoryIndex(row, reverse), reverse), row);
        }
    }
}

TEST(MemoryRows, CellTexts) {
    Memory mem;
    mem.current[kRowCount - 1] = 5;  // address 0x45F, first row when reversed
    mem.current[0] = 'A';            // address 0x60
    const Snapshot s = mem.snapshot();
    EXPECT_EQ(CellText(s, 0, kColAddress, true), "00045F");
    EXPECT_EQ(CellText(s, 0, kColHex, true), "05");
    EXPECT_EQ(CellText(s, 0, kColDecimal, true), "5");
    EXPECT_EQ(CellText(s, 0, kColBinary, true), "00000101");
    EXPECT_EQ(CellText(s, 0, kColStackPointer, true), "");
    EXPECT_EQ(CellText(s, 0, 9, true), "Unknown");
    EXPECT_EQ(CellText(s, 0, kColAscii, false), "A");
    EXPECT_EQ(CellText(s, 0, kColAddress, false), "000060");
    EXPECT_EQ(CellText(s, 1024, kColHex, false), "Unknown");

    mem.current[0] = 0xFF;
    EXPECT_EQ(CellText(mem.snapshot(), 0, kColDecimal, false), "255");
    EXPECT_EQ(CellText(mem.snapshot(), 0, kColBinary, false), "11111111");
    for (uint8_t v : {0x00, 0x0A, 0x7F, 0x80, 0xFF}) {
        mem.current[0] = v;
        EXPECT_EQ(CellText(mem.snapshot(), 0, kColAscii, false), ".") << int(v);
    }
}

TEST(MemoryRows, PointerImagesAndChangedRows) {
    Memory mem;
    const Snapshot s = mem.snapshot(0x45D, 0x60, 0x100, 0x45D);
    EXPECT_EQ(CellImage(s, 2, kColStackPointer, true), kImageSP);
    EXPECT_EQ(CellImage(s, 2, kColZ, true), kImageZ);
    EXPECT_EQ(CellImage(s, 2, kColX, true), kImageBlank);
    EXPECT_EQ(CellImage(s, 0, kColX, false), kImageX);
    EXPECT_EQ(CellImage(s, 0x100 - 0x60, kColY, false), kImageY);
    EXPECT_EQ(CellImage(s, 3, kColStackPointer, true), kImageBlank);

    mem.current[kRowCount - 3] = 1;  // 0x45D changed
    EXPECT_TRUE(RowChanged(mem.snapshot(), 2, true));
    EXPECT_FALSE(RowChanged(mem.snapshot(), 1, true));
    EXPECT_TRUE(RowChanged(mem.snapshot(), kRowCount - 3, false));
}

TEST(MemoryRows, FollowTargets) {
    EXPECT_EQ(TargetRow(0x45D, true), 2);
    EXPECT_EQ(TargetRow(0x45D, false), 1021);
    EXPECT_EQ(TargetRow(0, true), -1);
    EXPECT_EQ(TargetRow(0x5F, true), -1);
    EXPECT_EQ(TargetRow(0x460, true), -1);
    const Snapshot s{nullptr, nullptr, 1, 2, 3, 4};
    EXPECT_EQ(FollowTarget(Follow::Z, s), 4);
    EXPECT_EQ(FollowTarget(Follow::None, s), 0);
}

TEST(MemoryRows, PagesUntilTheRowIsAWholeRowOnScreen) {
    for (int row : {0, 19, 20, 21, 500, 1000, 1023}) {
        for (int top : {0, 480, 1004}) {
            FakeList list;
            list.p = {top, 20};
            ScrollIntoView(row, list);
            EXPECT_TRUE(RowInView(row, list.p)) << "row " << row << " from " << top;
        }
    }
    // The row just below the page is not in view.
    EXPECT_FALSE(RowInView(20, Page{0, 20}));
    FakeList list;
    list.p = {0, 20};
    EXPECT_EQ(ScrollIntoView(5, list), 0);
    EXPECT_EQ(list.scrolls, 0);
}

TEST(MemoryRows, ScrollingEndsWhenNothingMoves) {
    FakeList tiny;  // a page with no whole row
    tiny.p = {0, 0};
    ScrollIntoView(600, tiny);
    EXPECT_EQ(tiny.scrolls, 0);

    struct Stuck : FakeList {
        void scrollRows(int) override { ++scrolls; }
    } stuck;
    stuck.p = {0, 10};
    ScrollIntoView(600, stuck);
    EXPECT_EQ(stuck.scrolls, 1);

    FakeList list;
    list.p = {0, 20};
    EXPECT_EQ(ScrollIntoView(-1, list), 0);  // nothing to follow
}

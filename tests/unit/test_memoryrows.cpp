// Data-memory list rows: follow targets and paging a followed pointer into
// view (including pages that hold no whole row and lists that cannot move).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "components/digital/MemoryRows.h"

using namespace memrows;

namespace {

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

TEST(MemoryRows, FollowTargets) {
    EXPECT_EQ(TargetRow(0x45D, true), 2);
    EXPECT_EQ(TargetRow(0x45D, false), 1021);
    EXPECT_EQ(TargetRow(0, true), -1);
    EXPECT_EQ(TargetRow(0x5F, true), -1);
    EXPECT_EQ(TargetRow(0x460, true), -1);
    const Snapshot s{nullptr, nullptr, 1, 2, 3, 4, Window{}};
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

// The rows a refresh repaints: a byte that changed value, a byte that
// turned red or back, and the rows a pointer left and reached; nothing else.
TEST(MemoryRows, RefreshRepaintsOnlyTheRowsThatLookDifferent) {
    std::array<uint8_t, kRowCount> current{}, previous{};
    ShownMemory shown;
    RowSet rows;
    Snapshot next{current.data(), previous.data(), 0x45F, 0, 0, 0, Window{}};
    RowsToRepaint(shown, next, true, rows);
    EXPECT_EQ(rows.count(), 1u);  // the stack pointer's arrow appears in row 0
    EXPECT_TRUE(rows.test(0));

    RowsToRepaint(shown, next, true, rows);
    EXPECT_TRUE(rows.none());

    current[kRowCount - 1 - 2] = 0x42;  // 0x45D, row 2: new value, red
    RowsToRepaint(shown, next, true, rows);
    EXPECT_EQ(rows.count(), 1u);
    EXPECT_TRUE(rows.test(2));

    previous = current;  // same value, no longer red
    next.stackPointer = 0x45E;
    RowsToRepaint(shown, next, true, rows);
    EXPECT_EQ(rows.count(), 3u);
    EXPECT_TRUE(rows.test(0) && rows.test(1) && rows.test(2));

    // Not reversed, memory index and row are the same; a pointer outside
    // the listed memory has no row.
    next.x = 0x70;
    next.z = 0x900;
    RowsToRepaint(shown, next, false, rows);
    EXPECT_EQ(rows.count(), 1u);
    EXPECT_TRUE(rows.test(0x10));
}

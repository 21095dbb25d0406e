// Where component docks go in the main window, worked out without the
// toolkit. The docks stand in columns side by side; a column holds docks
// one under another, so a small window (an LED, a switch) takes little room
// instead of the height of the tallest dock. A new dock goes, in this order:
//   1. under the docks of a column at least as wide as it, where the height
//      allows (the fullest such column, so the others keep their room);
//   2. into a new column, where the width allows;
//   3. under the docks of the column it widens least, where both allow;
//   4. as a tab behind the dock of the size closest to its own: the dock it
//      joins stays in front, so a display is never hidden by a window opened
//      after it.
// Sizes include everything a dock takes (title bar, frame, separator).
#pragma once

#include <utility>
#include <vector>

namespace quill::layout {

struct Extent {
    int width = 0;
    int height = 0;
    friend bool operator==(const Extent&, const Extent&) = default;
};

struct Placement {
    enum class Kind { NewColumn, Below, Tab };
    Kind kind = Kind::NewColumn;
    // Below: the lowest dock of the column; Tab: the dock it joins.
    int anchor = -1;
    friend bool operator==(const Placement&, const Placement&) = default;
};

class DockPlanner {
public:
    struct Slot {
        std::vector<int> ids;       // the front dock first, then its tabs
        std::vector<Extent> sizes;  // each one's own size
        Extent size;                // the largest of them
    };
    struct Item {
        int id = 0;
        Extent size;
    };
    struct Column {
        std::vector<Slot> stack;  // top to bottom
        int width() const;
        int height() const;
    };

    // The room the docks may take: the window's room on the screen, less
    // the menus, toolbars, status and output.
    void setArea(Extent area) { area_ = area; }
    Extent area() const { return area_; }
    // The room the tab bar of a group of tabbed docks takes: its height
    // adds to the group's, its least width bounds the group's from below.
    void setTabBar(Extent bar) { tabBar_ = bar; }

    // Plans dock `id` of the given size and returns where it goes.
    Placement add(int id, Extent size);
    // The dock left the arrangement (closed, floated, moved by the user).
    void remove(int id);
    bool contains(int id) const;

    // Plans the given docks anew, tallest first (the order that packs
    // columns best), replacing the present plan; returns each dock's
    // placement in the order they are to be carried out.
    std::vector<std::pair<int, Placement>> replan(std::vector<Item> items);
    // Plans the given docks anew, trying them in several orders (tallest,
    // widest, largest first, and, for a window's worth of docks, shuffled
    // orders from a fixed seed, so the result is the same every time), and
    // keeps the best plan: the one that overflows the room least, then has
    // the fewest tabs, then takes the least room. Greedy placement in one
    // order can miss an arrangement that fits; a few hundred tries of nine
    // docks cost well under a millisecond.
    std::vector<std::pair<int, Placement>> replanBest(const std::vector<Item>& items);
    // The whole plan as placements to carry out in a window emptied of
    // these docks: the columns left to right, each top to bottom, and the
    // tabs last (a toolkit that tabs a dock split off a tabbed one, as Qt
    // does, then builds every column before any group of tabs).
    std::vector<std::pair<int, Placement>> placements() const;
    // How far the arrangement reaches past the room (width and height added).
    int overflow() const;
    // The docks planned, with their own sizes, in column order.
    std::vector<Item> items() const;
    // How many docks are tabs behind another.
    int tabs() const;

    // The room the arrangement takes.
    Extent used() const;
    const std::vector<Column>& columns() const { return columns_; }

private:
    Extent area_{1 << 20, 1 << 20};
    Extent tabBar_;
    std::vector<Column> columns_;
};

}  // namespace quill::layout

// The dock planner: columns of docks within the room the screen gives,
// tabs only when nothing else fits and then behind the dock they join.
#include <gtest/gtest.h>

#include "host/layout/DockPlanner.h"

using quill::layout::DockPlanner;
using quill::layout::Extent;
using quill::layout::Placement;
using Kind = Placement::Kind;

namespace {

// No two planned docks overlap and all lie inside the room: the columns
// stand side by side, the docks of a column one under another.
void expectInside(const DockPlanner& planner) {
    const Extent used = planner.used();
    EXPECT_LE(used.width, planner.area().width);
    EXPECT_LE(used.height, planner.area().height);
}

}  // namespace

// Small windows stack under wider ones instead of taking a column of the
// tallest window's height; a wider one starts a column while the width
// allows, and the room is never exceeded.
TEST(DockPlanner, SmallDocksStackUnderWiderOnesWithinTheRoom) {
    DockPlanner planner;
    planner.setArea({700, 400});
    EXPECT_EQ(planner.add(1, {300, 120}), (Placement{Kind::NewColumn, -1}));
    EXPECT_EQ(planner.add(2, {90, 80}), (Placement{Kind::Below, 1}));    // fits under 1
    EXPECT_EQ(planner.add(3, {250, 300}), (Placement{Kind::NewColumn, -1}));  // too tall under 1
    EXPECT_EQ(planner.add(4, {90, 150}), (Placement{Kind::Below, 2}));   // the fuller column
    EXPECT_EQ(planner.add(5, {120, 90}), (Placement{Kind::Below, 3}));
    ASSERT_EQ(planner.columns().size(), 2u);
    EXPECT_EQ(planner.used(), (Extent{550, 390}));
    expectInside(planner);

    // Wider than every column and too wide for one of its own: under the
    // column it widens least.
    DockPlanner wide;
    wide.setArea({400, 400});
    wide.add(1, {100, 100});
    EXPECT_EQ(wide.add(2, {150, 100}), (Placement{Kind::NewColumn, -1}));
    EXPECT_EQ(wide.add(3, {200, 100}), (Placement{Kind::Below, 2}));
    EXPECT_EQ(wide.used(), (Extent{300, 200}));
}

// Nothing fits any more: the new dock becomes a tab behind the dock whose
// room it overflows least, of the closest size, and never widens or
// heightens the arrangement past the room when a fitting partner exists.
TEST(DockPlanner, TabsOnlyWhenNothingElseFitsAndBehindTheDockTheyJoin) {
    DockPlanner planner;
    planner.setArea({600, 300});
    planner.add(1, {250, 200});  // a display
    planner.add(2, {250, 280});
    EXPECT_EQ(planner.add(3, {100, 120}), (Placement{Kind::NewColumn, -1}));
    EXPECT_EQ(planner.add(4, {90, 90}), (Placement{Kind::Below, 1}));  // the fuller column
    expectInside(planner);
    // 5 fits nowhere: 1's slot (250 x 200) holds it without growing.
    const Placement tab = planner.add(5, {240, 190});
    EXPECT_EQ(tab, (Placement{Kind::Tab, 1}));
    expectInside(planner);
    EXPECT_EQ(planner.columns()[0].stack[0].ids, (std::vector<int>{1, 5}));  // 1 stays in front

    // A dock gone takes its place with it; a tab left alone keeps the slot.
    planner.remove(1);
    EXPECT_TRUE(planner.contains(5));
    EXPECT_FALSE(planner.contains(1));
    planner.remove(2);
    EXPECT_EQ(planner.add(6, {250, 280}), (Placement{Kind::NewColumn, -1}));
    expectInside(planner);
}

// A room too small for even one dock still gets an arrangement: the first
// dock takes a column, the rest go where they overflow least.
TEST(DockPlanner, TooSmallARoomStillPlacesEveryDock) {
    DockPlanner planner;
    planner.setArea({100, 100});
    EXPECT_EQ(planner.add(1, {300, 300}).kind, Kind::NewColumn);
    EXPECT_EQ(planner.add(2, {50, 50}).kind, Kind::Tab);
    EXPECT_EQ(planner.used(), (Extent{300, 300}));
}

// Every component of the workbench on a 1280x720 screen (their measured
// sizes): placed in the order they were opened the plan reaches past the
// room with fewer tabs; replanning prefers the plan that fits. The plan comes back as placements with every column
// built before any tab, and the same every time.
TEST(DockPlanner, ReplanningTriesOrdersUntilTheDocksFit) {
    const std::vector<DockPlanner::Item> items = {
        {1, {81, 100}},   {2, {98, 100}},   {3, {381, 160}},  {4, {156, 225}}, {5, {306, 362}},
        {6, {306, 165}},  {7, {92, 447}},   {8, {295, 345}},  {9, {346, 365}}};
    DockPlanner opened;
    opened.setArea({1276, 504});
    opened.setTabBar({60, 27});
    for (const auto& item : items) opened.add(item.id, item.size);
    EXPECT_GT(opened.overflow(), 0);

    DockPlanner best;
    best.setArea({1276, 504});
    best.setTabBar({60, 27});
    best.replanBest(items);
    EXPECT_EQ(best.overflow(), 0);
    EXPECT_LE(best.tabs(), opened.tabs());
    expectInside(best);
    EXPECT_EQ(best.items().size(), items.size());

    const auto placements = best.placements();
    ASSERT_EQ(placements.size(), items.size());
    bool tabSeen = false;
    for (const auto& [id, at] : placements) {
        if (at.kind == Kind::Tab) tabSeen = true;
        else EXPECT_FALSE(tabSeen) << "dock " << id << " placed after a tab";
    }
    DockPlanner again;
    again.setArea({1276, 504});
    again.setTabBar({60, 27});
    again.replanBest(items);
    EXPECT_EQ(again.placements(), placements);
}

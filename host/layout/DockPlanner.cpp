#include "host/layout/DockPlanner.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace quill::layout {

int DockPlanner::Column::width() const {
    int w = 0;
    for (const Slot& s : stack) w = std::max(w, s.size.width);
    return w;
}

int DockPlanner::Column::height() const {
    int h = 0;
    for (const Slot& s : stack) h += s.size.height;
    return h;
}

Extent DockPlanner::used() const {
    Extent e;
    for (const Column& c : columns_) {
        e.width += c.width();
        e.height = std::max(e.height, c.height());
    }
    return e;
}

bool DockPlanner::contains(int id) const {
    for (const Column& c : columns_)
        for (const Slot& s : c.stack)
            if (std::find(s.ids.begin(), s.ids.end(), id) != s.ids.end()) return true;
    return false;
}

Placement DockPlanner::add(int id, Extent size) {
    const int totalWidth = used().width;

    // 1. Under a column at least as wide: the fullest that has the height.
    Column* best = nullptr;
    for (Column& c : columns_) {
        if (c.width() < size.width || c.height() + size.height > area_.height) continue;
        if (!best || c.height() >= best->height()) best = &c;
    }
    // 2. A column of its own.
    if (!best && (columns_.empty() || totalWidth + size.width <= area_.width)) {
        columns_.push_back({{{{id}, {size}, size}}});
        return {Placement::Kind::NewColumn, -1};
    }
    // 3. Under the column it widens least.
    if (!best) {
        int leastGrowth = std::numeric_limits<int>::max();
        for (Column& c : columns_) {
            const int growth = size.width - c.width();
            if (c.height() + size.height > area_.height || totalWidth + growth > area_.width)
                continue;
            if (growth < leastGrowth) {
                leastGrowth = growth;
                best = &c;
            }
        }
    }
    if (best) {
        const int anchor = best->stack.back().ids.front();
        best->stack.push_back({{id}, {size}, size});
        return {Placement::Kind::Below, anchor};
    }

    // 4. A tab behind the dock whose room it overflows least, then the one
    // closest to its size.
    Slot* partner = nullptr;
    long long bestOverflow = 0, bestMismatch = 0;
    // The slot as a tab group with the new dock: the largest of its docks
    // and the tab bar above them.
    auto grouped = [this, size](const Slot& s) {
        const int tallest = s.size.height - (s.ids.size() > 1 ? tabBar_.height : 0);
        return Extent{std::max({s.size.width, size.width, tabBar_.width}),
                      std::max(tallest, size.height) + tabBar_.height};
    };
    for (Column& c : columns_) {
        for (Slot& s : c.stack) {
            const Extent group = grouped(s);
            const int widthGrowth = std::max(0, group.width - c.width());
            const int heightGrowth = group.height - s.size.height;
            const long long overflow =
                std::max(0, totalWidth + widthGrowth - area_.width) +
                std::max(0, c.height() + heightGrowth - area_.height);
            const long long mismatch = std::llabs(static_cast<long long>(s.size.width) *
                                                      s.size.height -
                                                  static_cast<long long>(size.width) * size.height);
            if (!partner || overflow < bestOverflow ||
                (overflow == bestOverflow && mismatch < bestMismatch)) {
                partner = &s;
                bestOverflow = overflow;
                bestMismatch = mismatch;
            }
        }
    }
    partner->size = grouped(*partner);
    partner->ids.push_back(id);
    partner->sizes.push_back(size);
    return {Placement::Kind::Tab, partner->ids.front()};
}

void DockPlanner::remove(int id) {
    for (Column& c : columns_) {
        for (Slot& s : c.stack) {
            for (std::size_t i = 0; i < s.ids.size(); ++i) {
                if (s.ids[i] != id) continue;
                s.ids.erase(s.ids.begin() + static_cast<std::ptrdiff_t>(i));
                s.sizes.erase(s.sizes.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        // The slot keeps its size while tabs remain: they were planned for it.
        std::erase_if(c.stack, [](const Slot& s) { return s.ids.empty(); });
    }
    std::erase_if(columns_, [](const Column& c) { return c.stack.empty(); });
}

std::vector<DockPlanner::Item> DockPlanner::items() const {
    std::vector<Item> all;
    for (const Column& c : columns_)
        for (const Slot& s : c.stack)
            for (std::size_t i = 0; i < s.ids.size(); ++i) all.push_back({s.ids[i], s.sizes[i]});
    return all;
}

int DockPlanner::tabs() const {
    int n = 0;
    for (const Column& c : columns_)
        for (const Slot& s : c.stack) n += static_cast<int>(s.ids.size()) - 1;
    return n;
}

std::vector<std::pair<int, Placement>> DockPlanner::replan(std::vector<Item> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.size.height > b.size.height; });
    columns_.clear();
    std::vector<std::pair<int, Placement>> placements;
    for (const Item& item : items) placements.emplace_back(item.id, add(item.id, item.size));
    return placements;
}

}  // namespace quill::layout

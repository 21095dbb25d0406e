#include "host/layout/DockPlanner.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <random>
#include <tuple>

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
    int bestHeight = 0;
    for (Column& c : columns_) {
        const int height = c.height();
        if (c.width() < size.width || height + size.height > area_.height) continue;
        if (!best || height >= bestHeight) {
            best = &c;
            bestHeight = height;
        }
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
        // Once per column, not per slot: a column of hundreds of tabbed
        // docks would otherwise cost the square of its slots per dock.
        const int columnWidth = c.width();
        const int columnHeight = c.height();
        for (Slot& s : c.stack) {
            const Extent group = grouped(s);
            const int widthGrowth = std::max(0, group.width - columnWidth);
            const int heightGrowth = group.height - s.size.height;
            const long long overflow =
                std::max(0, totalWidth + widthGrowth - area_.width) +
                std::max(0, columnHeight + heightGrowth - area_.height);
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

std::vector<std::pair<int, Placement>> DockPlanner::placements() const {
    std::vector<std::pair<int, Placement>> splits, tabs;
    for (const Column& c : columns_) {
        int above = -1;
        for (const Slot& s : c.stack) {
            const int front = s.ids.front();
            splits.emplace_back(front, above < 0 ? Placement{Placement::Kind::NewColumn, -1}
                                                 : Placement{Placement::Kind::Below, above});
            for (std::size_t i = 1; i < s.ids.size(); ++i)
                tabs.emplace_back(s.ids[i], Placement{Placement::Kind::Tab, front});
            above = front;
        }
    }
    splits.insert(splits.end(), tabs.begin(), tabs.end());
    return splits;
}

int DockPlanner::overflow() const {
    const Extent e = used();
    return std::max(0, e.width - area_.width) + std::max(0, e.height - area_.height);
}

std::vector<std::pair<int, Placement>> DockPlanner::replanBest(const std::vector<Item>& items) {
    // Many docks (a scenario opening hundreds of LEDs) get the one order
    // that packs best on the whole; each try costs the square of their number.
    constexpr std::size_t kSearched = 12;
    constexpr int kShuffles = 400;
    auto score = [](const DockPlanner& p) {
        const Extent e = p.used();
        return std::make_tuple(p.overflow(), p.tabs(), e.width + e.height);
    };
    auto tryOrder = [this](std::vector<Item> order) {
        DockPlanner p;
        p.setArea(area_);
        p.setTabBar(tabBar_);
        std::vector<std::pair<int, Placement>> placements;
        for (const Item& item : order) placements.emplace_back(item.id, p.add(item.id, item.size));
        return std::make_pair(std::move(p), std::move(placements));
    };
    std::vector<Item> order = items;
    auto tallest = [](const Item& a, const Item& b) { return a.size.height > b.size.height; };
    std::stable_sort(order.begin(), order.end(), tallest);
    auto best = tryOrder(order);
    auto consider = [&](const std::vector<Item>& candidate) {
        auto tried = tryOrder(candidate);
        if (score(tried.first) < score(best.first)) best = std::move(tried);
    };
    if (items.size() <= kSearched && best.first.overflow() + best.first.tabs() > 0) {
        consider(items);
        order = items;
        std::stable_sort(order.begin(), order.end(),
                         [](const Item& a, const Item& b) { return a.size.width > b.size.width; });
        consider(order);
        std::stable_sort(order.begin(), order.end(), [](const Item& a, const Item& b) {
            return static_cast<long long>(a.size.width) * a.size.height >
                   static_cast<long long>(b.size.width) * b.size.height;
        });
        consider(order);
        std::mt19937 random(20261207u);
        for (int i = 0; i < kShuffles && best.first.overflow() + best.first.tabs() > 0; ++i) {
            std::shuffle(order.begin(), order.end(), random);
            consider(order);
        }
    }
    columns_ = std::move(best.first.columns_);
    return std::move(best.second);
}

}  // namespace quill::layout

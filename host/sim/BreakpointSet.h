// The instruction addresses the program stops at, looked up after every
// instruction while the program runs: one bit per flash word, so the
// question "is there a breakpoint at pc?" is a shift and a mask. Each
// address counts how many breakpoints want it (two source lines may share
// an instruction), and goes when the last of them does. Toolkit-free,
// header-only: the simulator's run loop includes it.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace quill::debugger {

class BreakpointSet {
public:
    // pc is a byte address; AVR instructions start at even ones.
    bool contains(uint32_t pc) const {
        const uint32_t word = pc >> 1;
        return (word >> 6) < bits_.size() && ((bits_[word >> 6] >> (word & 63)) & 1) != 0;
    }
    bool empty() const { return uses_.empty(); }
    std::size_t size() const { return uses_.size(); }

    void add(uint32_t pc) {
        if (uses_[pc]++ > 0) return;
        const uint32_t word = pc >> 1;
        if ((word >> 6) >= bits_.size()) bits_.resize((word >> 6) + 1, 0);
        bits_[word >> 6] |= uint64_t{1} << (word & 63);
    }
    void remove(uint32_t pc) {
        auto it = uses_.find(pc);
        if (it == uses_.end() || --it->second > 0) return;
        uses_.erase(it);
        // Another byte address of the same word may still hold the bit.
        const uint32_t word = pc >> 1;
        if (uses_.count(word << 1) || uses_.count((word << 1) | 1)) return;
        bits_[word >> 6] &= ~(uint64_t{1} << (word & 63));
    }
    void clear() {
        uses_.clear();
        bits_.clear();
    }
    // The addresses set, ascending.
    std::vector<uint32_t> addresses() const {
        std::vector<uint32_t> out;
        for (const auto& [pc, count] : uses_) out.push_back(pc);
        return out;
    }

private:
    std::map<uint32_t, int> uses_;
    std::vector<uint64_t> bits_;
};

}  // namespace quill::debugger

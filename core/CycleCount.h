// Comparisons on the simulator's 32-bit cycle count.
//
// The count wraps after 2^32 cycles (268 s of simulated time at 16 MHz).
// Due times are therefore compared by their difference modulo 2^32, never
// by plain "<": a due time just past the wrap lies after a count just
// before it. A count that goes down is a reset of the part unless it is
// the wrap itself, that is a step forward of at most kMaxForwardStep
// cycles modulo 2^32.
#pragma once

#include <cstdint>

namespace cyclecount {

// The largest step forward between two reads of the count that still
// counts as time passing across the wrap (about 16 s at 16 MHz; a sleeping
// part jumps to its next timer event, at most a few seconds away).
constexpr uint32_t kMaxForwardStep = 1u << 28;

// Cycles from `from` forward to `to`, modulo 2^32.
constexpr uint32_t Distance(uint32_t from, uint32_t to) { return to - from; }

// Whether `now` has reached `due` (now is at or after due).
constexpr bool Reached(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) >= 0; }

// Whether `now` lies strictly after `due`.
constexpr bool Passed(uint32_t now, uint32_t due) { return static_cast<int32_t>(now - due) > 0; }

// Whether a count going from `previous` to `current` means a reset of the
// part: it went down, and not by wrapping a little past 2^32.
constexpr bool WentBack(uint32_t previous, uint32_t current) {
    return current < previous && Distance(previous, current) > kMaxForwardStep;
}

}  // namespace cyclecount

// The range of clock frequencies the simulator can time, and the reading
// of a clock written in MHz (the command line, a lab).
//
// simavr times a conversion of the analog-to-digital converter as
// f / ((f >> 7) / 25) cycles at the slowest prescaler (128, and the first
// conversion's 25 converter clocks): below 25 * 128 = 3,200 Hz the divisor
// is 0 and the simulator dies of a division by zero. Its other divisions by
// the clock (timers, USART, watchdog) take any clock above 0 Hz, and its
// division by f / 1000 (the wall-clock pacing of sleep, its VCD writer)
// lies on paths the host never takes, so the converter sets the floor for
// every part. Every way of choosing a clock
// (scenario, command line, lab, window) refuses a lower one and names this
// limit.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace quill::sim {

inline constexpr uint32_t kMinClockHz = 3200;
// The fastest clock the command line, a lab and the window offer.
inline constexpr uint32_t kMaxClockMHz = 32;

// "from 0.0032 to 32 MHz", for messages.
inline std::string clockRangeMHz() {
    char text[48];
    std::snprintf(text, sizeof text, "from %g to %u MHz", kMinClockHz / 1e6, kMaxClockMHz);
    return text;
}

// A clock in MHz as written: digits with at most one decimal point and an
// optional exponent ("8", "3.6864", "0.0032", "1e1"); no sign, space,
// hexadecimal, "inf" or "nan". The clock in Hz, rounded, or nothing when
// the text is no such number or the clock as written lies outside
// kMinClockHz to kMaxClockMHz (0.0031 is refused, not rounded up).
inline std::optional<uint32_t> readClockMHz(std::string_view text) {
    std::size_t at = 0, digits = 0;
    bool dot = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            break;
        }
    }
    if (digits == 0) return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        if (exponent == text.size()) return std::nullopt;
        for (; exponent < text.size(); ++exponent)
            if (text[exponent] < '0' || text[exponent] > '9') return std::nullopt;
        at = text.size();
    }
    if (at != text.size()) return std::nullopt;
    double mhz = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mhz);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(mhz))
        return std::nullopt;
    // The decimal text of the floor (0.0032) may land a hair below it.
    const double hz = mhz * 1e6;
    if (hz < kMinClockHz * (1 - 1e-12) || mhz > kMaxClockMHz) return std::nullopt;
    const double rounded = std::round(hz);
    return static_cast<uint32_t>(rounded < kMinClockHz ? kMinClockHz : rounded);
}

}  // namespace quill::sim

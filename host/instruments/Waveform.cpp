#include "host/instruments/Waveform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quill::instruments {

std::size_t EdgeLog::firstAfter(uint64_t cycle) const {
    // Binary search: the edges are in cycle order.
    std::size_t low = 0, high = count_;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if ((*this)[mid].cycle <= cycle) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low;
}

uint8_t EdgeLog::levelAt(uint64_t cycle) const {
    const std::size_t after = firstAfter(cycle);
    return after == 0 ? initial_ : (*this)[after - 1].level;
}

void TimeSpan::zoom(double factor, double anchorPixel) {
    const double anchor = cycleAt(anchorPixel);
    double scale = cyclesPerPixel / factor;
    if (scale < 1.0 / 64) scale = 1.0 / 64;
    if (scale > 1099511627776.0) scale = 1099511627776.0;
    cyclesPerPixel = scale;
    start = anchor - anchorPixel * scale;
    if (start < 0) start = 0;
}

void TimeSpan::fit(double from, double to) {
    if (to < from) std::swap(from, to);
    cyclesPerPixel = std::clamp((to - from) / std::max(width, 1), 1.0 / 64, 1099511627776.0);
    start = std::max(from, 0.0);
}

std::vector<AxisTick> timeAxis(const TimeSpan& span, double clockHz, int minSpacing) {
    std::vector<AxisTick> ticks;
    if (clockHz <= 0 || span.width <= 0 || span.cyclesPerPixel <= 0) return ticks;
    const double secondsPerPixel = span.cyclesPerPixel / clockHz;
    const double least = secondsPerPixel * std::max(minSpacing, 1);
    // The smallest 1-2-5 step of at least `least` seconds.
    double step = std::pow(10.0, std::floor(std::log10(least)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (step * factor >= least * (1 - 1e-9)) {
            step *= factor;
            break;
        }
    // One unit for the whole axis, the one the latest time reads in, so
    // that every label reads alike ("1 ms", "1.5 ms", ...).
    const double first = span.start / clockHz, last = span.end() / clockHz;
    const char* unit = "s";
    double scale = 1;
    if (last < 1e-6) unit = "ns", scale = 1e9;
    else if (last < 1e-3) unit = "us", scale = 1e6;
    else if (last < 1) unit = "ms", scale = 1e3;
    char text[48];
    for (double k = std::max(std::ceil(first / step - 1e-9), 0.0); k * step <= last + step * 1e-9; ++k) {
        const double seconds = k * step + 0.0;  // never "-0"
        std::snprintf(text, sizeof text, "%.9g %s", seconds * scale, unit);
        ticks.push_back({(seconds * clockHz - span.start) / span.cyclesPerPixel, text});
        if (ticks.size() > 1000) break;  // a width of a million pixels: enough
    }
    return ticks;
}

std::optional<WaveMeasurement> measureWave(const EdgeLog& log, uint64_t from, uint64_t to,
                                           double clockHz, std::string* why) {
    uint64_t firstRise = 0, lastRise = 0, highCycles = 0, highSince = 0;
    int rises = 0, edges = 0;
    bool high = log.levelAt(from) != 0;
    bool counting = false;  // inside the whole periods, from the first rise on
    uint64_t highInPeriods = 0;
    for (std::size_t i = log.firstAfter(from); i < log.size() && log[i].cycle <= to; ++i) {
        const Edge& edge = log[i];
        const bool nowHigh = edge.level != 0;
        if (nowHigh == high) continue;
        ++edges;
        if (nowHigh) {
            if (rises == 0) {
                firstRise = edge.cycle;
                counting = true;
            } else {
                // A period ends: its high time counts.
                highInPeriods = highCycles;
            }
            lastRise = edge.cycle;
            highSince = edge.cycle;
            ++rises;
        } else if (counting) {
            highCycles += edge.cycle - highSince;
        }
        high = nowHigh;
    }
    if (rises < 2) {
        if (why) {
            if (edges == 0) {
                *why = std::string("no edge: the level stayed ") + (high ? "high" : "low");
            } else {
                *why = std::to_string(edges) + (edges == 1 ? " edge" : " edges") +
                       ", fewer than one whole period";
            }
        }
        return std::nullopt;
    }
    WaveMeasurement m;
    m.periods = rises - 1;
    const double span = static_cast<double>(lastRise - firstRise);
    m.frequencyHz = clockHz * m.periods / span;
    m.dutyPercent = 100.0 * static_cast<double>(highInPeriods) / span;
    return m;
}

std::optional<WaveMeasurement> measureDuty(const EdgeLog& log, uint64_t from, uint64_t to,
                                           double clockHz, std::string* why) {
    const std::size_t first = log.firstAfter(from);
    if (first == log.size() || log[first].cycle > to) {
        WaveMeasurement steady;
        steady.dutyPercent = log.levelAt(from) ? 100.0 : 0.0;
        return steady;
    }
    return measureWave(log, from, to, clockHz, why);
}

}  // namespace quill::instruments

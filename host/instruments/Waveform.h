// Recorded logic levels and what is measured on them: the edges of one
// channel with the cycle each happened at, kept in a bounded ring, and the
// frequency and duty cycle of a stretch of them. Toolkit-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quill::instruments {

struct Edge {
    uint64_t cycle;
    uint8_t level;  // the level from this cycle on (0 or 1; a bus: its value)
};

// The edges of one channel, oldest first. Holds at most `capacity` edges;
// a further edge drops the oldest (counted in dropped()). The storage is
// taken once, in the constructor: adding an edge never allocates.
class EdgeLog {
public:
    explicit EdgeLog(std::size_t capacity = 1u << 16) : ring_(capacity ? capacity : 1) {}

    // The level before the first kept edge (the channel's level at the
    // start, or the level the last dropped edge left).
    uint8_t initialLevel() const { return initial_; }
    void setInitialLevel(uint8_t level) { initial_ = level; }
    // Adds an edge; a level equal to the last one is no edge and is ignored.
    void add(uint64_t cycle, uint8_t level) {
        if (level == lastLevel()) return;
        if (count_ == ring_.size()) {
            initial_ = ring_[head_].level;
            head_ = (head_ + 1) % ring_.size();
            --count_;
            ++dropped_;
        }
        ring_[(head_ + count_) % ring_.size()] = {cycle, level};
        ++count_;
        ++total_;
    }
    void clear(uint8_t level) {
        head_ = count_ = 0;
        initial_ = level;
    }
    std::size_t size() const { return count_; }
    const Edge& operator[](std::size_t i) const { return ring_[(head_ + i) % ring_.size()]; }
    uint8_t lastLevel() const { return count_ ? (*this)[count_ - 1].level : initial_; }
    // The level at `cycle` (the last edge at or before it).
    uint8_t levelAt(uint64_t cycle) const;
    // Index of the first edge after `cycle` (size() when none).
    std::size_t firstAfter(uint64_t cycle) const;
    uint64_t dropped() const { return dropped_; }
    uint64_t total() const { return total_; }  // edges ever added

private:
    std::vector<Edge> ring_;
    std::size_t head_ = 0, count_ = 0;
    uint8_t initial_ = 0;
    uint64_t dropped_ = 0, total_ = 0;
};

// The stretch of time a view shows: `width` pixels from cycle `start`, at
// `cyclesPerPixel`. Zooming keeps the cycle under the anchor pixel in place.
struct TimeSpan {
    double start = 0;
    double cyclesPerPixel = 1;
    int width = 1;
    double end() const { return start + cyclesPerPixel * width; }
    double cycleAt(double pixel) const { return start + pixel * cyclesPerPixel; }
    double pixelOf(double cycle) const { return (cycle - start) / cyclesPerPixel; }
    // factor > 1 zooms in; the scale stays between 1/64 cycle and 2^40
    // cycles per pixel.
    void zoom(double factor, double anchorPixel);
    void pan(double pixels) {
        start += pixels * cyclesPerPixel;
        if (start < 0) start = 0;
    }
    // Shows the cycles from..to across the width (at most 64 pixels a cycle).
    void fit(double from, double to);
    // Shows the last `width` pixels up to `cycle`.
    void follow(double cycle) { start = cycle > cyclesPerPixel * width ? cycle - cyclesPerPixel * width : 0; }
};

// A labelled mark of a time axis: its pixel in the span and its time
// ("1.5 ms"), the time since the part's reset.
struct AxisTick {
    double pixel = 0;
    std::string label;
};
// Marks at a round step (1, 2 or 5 times a power of ten of seconds) chosen
// so that neighbours lie at least `minSpacing` pixels apart, over the span.
std::vector<AxisTick> timeAxis(const TimeSpan& span, double clockHz, int minSpacing = 80);

// The frequency and duty cycle of a square wave: measured over the whole
// periods (rising edge to rising edge) that lie between `from` and `to`.
struct WaveMeasurement {
    double frequencyHz = 0;
    double dutyPercent = 0;
    int periods = 0;
};
// Nothing when fewer than two rising edges lie in the stretch; *why then
// says what was seen ("no edge", "the level stayed high", "one period
// began but none ended").
std::optional<WaveMeasurement> measureWave(const EdgeLog& log, uint64_t from, uint64_t to,
                                           double clockHz, std::string* why);
// The duty cycle as measureWave gives it, and for a stretch without any
// edge the level it kept: low is a duty cycle of 0 %, high of 100 % (no
// periods, no frequency).
std::optional<WaveMeasurement> measureDuty(const EdgeLog& log, uint64_t from, uint64_t to,
                                           double clockHz, std::string* why);

}  // namespace quill::instruments

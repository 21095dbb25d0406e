// The pace of the host's Run: how far each run slice may go, how long the
// user interface waits before the next one, and the speed achieved, in
// percent of real time. Toolkit-free; the main window feeds it the clock
// and the cycle count.
//
// "As fast as possible" runs every slice to its time budget. "Real time"
// lets the simulated time follow the wall clock: a slice runs up to the
// cycle count the clock allows and the window waits while the program is
// ahead. A machine slower than real time never builds up a debt that it
// would later repay by running fast: it is kept at most kMaxLag behind.
#pragma once

#include <chrono>
#include <cstdint>

class RunPacer {
public:
    using Clock = std::chrono::steady_clock;
    enum class Mode { AsFastAsPossible, RealTime };

    // Wall-clock time of one run slice: the user interface gets input and
    // repaints between slices, so a slice stays well below a frame.
    static constexpr std::chrono::milliseconds kSliceBudget{8};
    // How often a run brings the components' pictures up to date: about
    // the display's rate (Debugger::setRunIdleInterval).
    static constexpr std::chrono::milliseconds kFrameInterval{16};
    // Wait before the next slice while a real-time run is ahead of the clock.
    static constexpr std::chrono::milliseconds kAheadPause{2};
    // How far a real-time run may fall behind the wall clock.
    static constexpr std::chrono::milliseconds kMaxLag{100};
    // The achieved speed is measured over at least this long.
    static constexpr std::chrono::milliseconds kSpeedWindow{500};

    void setMode(Mode mode);
    Mode mode() const { return mode_; }

    // A run begins (or resumes) at `cycles`, clocked at `frequencyHz`.
    void start(uint64_t cycles, double frequencyHz, Clock::time_point now);

    // The cycle count the next slice may run up to (exclusive bound as the
    // debugger takes it); no bound when running as fast as possible. A
    // cycle count below the last one seen means the part was reset: the
    // pacing starts over from there.
    uint64_t sliceLimit(uint64_t cycles, Clock::time_point now);

    // Records the end of a slice and returns the wait before the next one:
    // zero unless a real-time run executed nothing (it is ahead).
    std::chrono::milliseconds sliceDone(uint64_t cycles, uint64_t instructions,
                                        Clock::time_point now);

    // Simulated time per wall-clock time over the last measuring window, in
    // percent; negative until a window has been measured.
    double achievedPercent() const { return percent_; }

private:
    void rebase(uint64_t cycles, Clock::time_point now);
    void measure(uint64_t cycles, Clock::time_point now);

    Mode mode_ = Mode::RealTime;
    double hz_ = 1e6;
    // Real time: the cycle count that corresponds to the wall-clock instant.
    uint64_t baseCycles_ = 0;
    Clock::time_point baseTime_{};
    uint64_t lastCycles_ = 0;
    // Speed measurement window.
    uint64_t windowCycles_ = 0;
    Clock::time_point windowTime_{};
    double percent_ = -1;
};

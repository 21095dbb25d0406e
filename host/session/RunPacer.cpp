#include "host/session/RunPacer.h"

#include <cmath>
#include <limits>

namespace {

double seconds(RunPacer::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

void RunPacer::setMode(Mode mode) {
    mode_ = mode;
    // A change of mode must not let a real-time run catch up on the time it
    // ran free (or waited).
    rebase(lastCycles_, Clock::now());
}

void RunPacer::start(uint64_t cycles, double frequencyHz, Clock::time_point now) {
    hz_ = frequencyHz > 0 ? frequencyHz : 1.0;
    rebase(cycles, now);
    windowCycles_ = cycles;
    windowTime_ = now;
    percent_ = -1;
}

void RunPacer::rebase(uint64_t cycles, Clock::time_point now) {
    baseCycles_ = cycles;
    baseTime_ = now;
    lastCycles_ = cycles;
}

uint64_t RunPacer::sliceLimit(uint64_t cycles, Clock::time_point now) {
    if (cycles < lastCycles_) {  // the part was reset
        rebase(cycles, now);
        windowCycles_ = cycles;
        windowTime_ = now;
    }
    lastCycles_ = cycles;
    if (mode_ == Mode::AsFastAsPossible) return std::numeric_limits<uint64_t>::max();
    const double clockCycles = seconds(now - baseTime_) * hz_;
    const double lagLimit = seconds(kMaxLag) * hz_;
    if (clockCycles - static_cast<double>(cycles - baseCycles_) > lagLimit) {
        // Behind by more than the limit: forget the older debt.
        baseCycles_ = cycles;
        baseTime_ = now - std::chrono::duration_cast<Clock::duration>(kMaxLag);
    }
    return baseCycles_ + static_cast<uint64_t>(std::llround(seconds(now - baseTime_) * hz_));
}

std::chrono::milliseconds RunPacer::sliceDone(uint64_t cycles, uint64_t instructions,
                                              Clock::time_point now) {
    if (cycles < lastCycles_) {
        rebase(cycles, now);
        windowCycles_ = cycles;
        windowTime_ = now;
    }
    lastCycles_ = cycles;
    measure(cycles, now);
    if (mode_ == Mode::RealTime && instructions == 0) return kAheadPause;
    return std::chrono::milliseconds(0);
}

void RunPacer::measure(uint64_t cycles, Clock::time_point now) {
    const Clock::duration elapsed = now - windowTime_;
    if (elapsed < kSpeedWindow) return;
    percent_ = static_cast<double>(cycles - windowCycles_) / hz_ / seconds(elapsed) * 100.0;
    windowCycles_ = cycles;
    windowTime_ = now;
}

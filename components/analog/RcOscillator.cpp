#include "components/analog/RcOscillator.h"

#include <cmath>

#include "core/CycleCount.h"

namespace {

constexpr double kMaxPhase = 1u << 30;

uint32_t Cycles(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= kMaxPhase) return static_cast<uint32_t>(kMaxPhase);
    return static_cast<uint32_t>(std::trunc(value));
}

}  // namespace

OscillatorTiming ComputeOscillatorTiming(double cxFarads, double c0Farads, int ohms,
                                         double clockHz) {
    OscillatorTiming t;
    if (!(clockHz > 0.0) || !std::isfinite(clockHz)) return t;
    const double c = cxFarads + c0Farads;
    t.high = Cycles(c * (2.0 * ohms) * 0.693 * clockHz);
    t.low = Cycles(c * ohms * clockHz * 0.693);
    if (!t.runs()) {
        t.high = t.low = 0;
        return t;
    }
    t.total = t.high + t.low;
    t.frequencyHz = 1.0 / (t.total / clockHz);
    return t;
}

void RcOscillator::Restart(const OscillatorTiming& timing, uint32_t now) {
    timing_ = timing;
    next_ = now + timing_.low;
    high_ = false;
}

std::optional<bool> RcOscillator::Advance(uint32_t now) {
    if (!running() || !cyclecount::Reached(now, next_)) return std::nullopt;
    if (high_) {
        next_ += timing_.low;
        high_ = false;
    } else {
        next_ += timing_.high;
        high_ = true;
    }
    return high_;
}

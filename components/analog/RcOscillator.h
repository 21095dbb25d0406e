// The RC oscillator of Capacity Measurement: a 555 timer in astable
// connection (R1 = R2 = R, timing capacitor C = Cx + C0) whose output
// drives an input pin, timed against the simulator's cycle counter.
//
// High time 0.693 x (R1 + R2) x C, low time 0.693 x R2 x C, both in clock
// cycles. Toolkit-free; the window only feeds it the cycle count and
// writes the pin.
#pragma once

#include <cstdint>
#include <optional>

struct OscillatorTiming {
    uint32_t high = 0;  // cycles
    uint32_t low = 0;
    uint32_t total = 0;
    double frequencyHz = 0.0;  // generated frequency; 0 when stopped
    // An oscillator with a phase of 0 cycles would toggle on every
    // instruction; it is stopped instead (no clock frequency known).
    bool runs() const { return high > 0 && low > 0; }
};

// Timing for capacitor `cxFarads` in parallel with `c0Farads`, resistors of
// `ohms` and a clock of `clockHz`. Products are taken left to right in
// double precision and truncated. A clock that is not a positive number
// gives a stopped oscillator; phases are limited to 2^30 cycles so that
// due times stay comparable across the wrap of the cycle count.
OscillatorTiming ComputeOscillatorTiming(double cxFarads, double c0Farads, int ohms,
                                         double clockHz);

class RcOscillator {
public:
    // Starts over at count `now` in the low phase (the pin is not written).
    void Restart(const OscillatorTiming& timing, uint32_t now);
    // The pin level to drive when an edge is due at count `now` (not
    // before the next cycle, compared modulo 2^32), else nothing. One edge
    // per call: after a long gap the edges catch up over later calls.
    std::optional<bool> Advance(uint32_t now);

    const OscillatorTiming& timing() const { return timing_; }
    bool running() const { return timing_.runs(); }
    bool high() const { return high_; }
    uint32_t nextCycle() const { return next_; }

private:
    OscillatorTiming timing_;
    uint32_t next_ = 0;
    bool high_ = false;
};

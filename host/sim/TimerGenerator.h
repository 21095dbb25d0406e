// A timer mode that simavr does not run, counted on the host instead: the
// target creates one generator per such timer when the core is made, hooks
// the registers it names, and tells it of every write to them and of a
// reset. The generator runs on simavr cycle timers, event by event, and
// drives its outputs through IRQs the target listens to.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <sim_irq.h>
#include <sim_regbit.h>
}

namespace quill::sim {

// A timer output: the pin `bit` of the port whose PORTx is at `port`
// follows `irq` while the COM bits `com` hold `comValue` (0: any but 0)
// and the bit `mode` (when it has a register) is set.
struct TimerOutput {
    avr_irq_t* irq;
    uint16_t port;
    uint8_t bit;
    avr_regbit_t com;
    uint8_t comValue = 0;
    avr_regbit_t mode{};
};

class TimerGenerator {
public:
    virtual ~TimerGenerator() = default;
    // The data addresses of the registers that choose the mode and clock.
    virtual std::vector<uint16_t> controlRegisters() const = 0;
    // The program wrote one of them (after simavr handled the write).
    virtual void controlWritten() = 0;
    // The part was reset: stopped, without touching the pins.
    virtual void reset() = 0;

    // The outputs the generator drives besides the timer's own compare
    // outputs (which have simavr IRQs).
    virtual std::vector<TimerOutput> extraOutputs() const { return {}; }
};

}  // namespace quill::sim

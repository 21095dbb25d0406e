// The LCD's protocol checker: notes what a program does that would fail on
// a real HD44780U, although the model itself never needs it.
//
// The model executes every instruction at once and its busy flag always
// reads 0. A real controller is busy for the instruction's execution time
// and ignores what arrives meanwhile; before the initialisation sequence it
// takes nothing at all. Two kinds of finding:
//
// - Too early: a transfer before the previous one has finished executing,
//   with no busy-flag read in between. Execution times: 37 us for every
//   instruction and data access, 1.52 ms for Clear display and Return
//   home. The words of the initialisation sequence are Function sets and
//   take 37 us each; the busy flag cannot be read before the sequence
//   ends (a read then is a transfer before initialisation). The longer
//   waits the data sheet draws around the sequence (15 ms after power-on,
//   4.1 ms and 100 us after the first two words) are not checked: a
//   simulated reset is no power-on of the display, and drivers that work
//   on real modules commonly wait less than 100 us there.
// - Before initialisation: a transfer that is not part of the sequence
//   before the sequence has completed.
//
// Times come from the simulator's cycle count and clock (LcdClock); without
// a clock only the second kind is checked. Each kind keeps the cycle count
// of its first finding and a running count until the next reset.
//
// Toolkit-free.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The simulator's time as the checker needs it.
class LcdClock {
public:
    virtual ~LcdClock() = default;
    // The cycle count now (it wraps at 2^32).
    virtual uint32_t cycles() const = 0;
    // Clock cycles per microsecond (the clock in MHz).
    virtual double cyclesPerMicrosecond() const = 0;
};

class LcdProtocol {
public:
    enum class Kind : uint8_t { TooEarly, BeforeInitialisation };
    static constexpr int kKinds = 2;

    // Execution times, in us.
    static constexpr double kInstructionUs = 37;
    static constexpr double kClearOrHomeUs = 1520;

    struct Finding {
        uint32_t count = 0;       // findings since the last reset
        uint32_t firstCycle = 0;  // cycle count of the first
    };

    void setClock(const LcdClock* clock) { clock_ = clock; }

    // A reset of the controller: findings cleared, nothing to wait for.
    void reset();

    // A transfer starts: true when it came before the pending wait had
    // passed (the wait is over either way). `busyRead`: the program reads
    // the busy flag, which is allowed at any time and satisfies the wait.
    bool early(bool busyRead);
    // The transfer just made keeps the controller busy for `us`.
    void busyFor(double us);
    // Notes a finding of `kind` now; true when it is the first since the
    // last reset.
    bool note(Kind kind);

    const Finding& finding(Kind kind) const { return findings_[static_cast<int>(kind)]; }
    bool warned() const;
    // "Protocol: 3 too early from cycle 1234; 1 before initialisation from
    // cycle 5", or empty when nothing was found.
    std::string summary() const;
    // The one line the host's output gets for the first finding of `kind`.
    std::string firstFindingText(Kind kind) const;

private:
    uint32_t now() const { return clock_ ? clock_->cycles() : 0; }

    const LcdClock* clock_ = nullptr;
    std::array<Finding, kKinds> findings_{};
    bool busy_ = false;       // a wait is pending
    uint32_t busySince_ = 0;  // cycle count at its start
    double busyUs_ = 0;
};

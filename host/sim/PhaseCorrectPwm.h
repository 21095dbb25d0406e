// Phase-correct PWM for the AVR timers, which simavr 1.6 does not run: its
// timer tables leave the modes out (so the timer stops and says the mode is
// unsupported) or run them as up-counting PWM (forTimer takes those out).
//
// One PhaseCorrectPwm watches one timer. While the program has chosen a
// phase-correct mode (Timer0 and Timer2: WGM 1; Timer1: WGM 1, 2, 3 with
// TOP 0xFF, 0x1FF, 0x3FF, and 8 to 11 with TOP in ICR1 or OCR1A) and a
// clock, it counts up from BOTTOM to TOP and back down on a simavr cycle
// timer, event by event, never per instruction:
//   - each compare output is driven through the timer's own compare-output
//     IRQ, as simavr drives it in the modes it knows, so the port, the
//     refresh filter and the instruments see it the same way. Non-inverting
//     (COM = 2) clears the output on the match counting up and sets it on
//     the match counting down; inverting (COM = 3) does the opposite;
//     OCR = 0 keeps a non-inverting output low, OCR = TOP keeps it high.
//     COM = 1 toggles OC1A at TOP where OCR1A is TOP (WGM 9 and 11) and
//     leaves the other outputs alone;
//   - the overflow flag rises at BOTTOM and a compare flag at each match,
//     with their interrupts;
//   - the OCR values take effect at TOP (at BOTTOM in WGM 8 and 9), as the
//     chip's double buffering does; TOP from ICR1 or OCR1A at BOTTOM;
//   - TCNT reads the count, up or down; a write to TCNT moves the count
//     there, going on in the direction it was going (a value above TOP
//     counts as TOP), and each output keeps its level until its next
//     compare match, as on the chip; a match at the written value itself
//     is blocked.
// The count starts at BOTTOM when the mode or the clock is chosen.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/sim/TimerGenerator.h"

struct avr_t;
struct avr_timer_t;

namespace quill::sim {

class PhaseCorrectPwm final : public TimerGenerator {
public:
    // The generator for `timer`, or null when the part's timer has no
    // phase-correct mode (no waveform generation bits).
    static std::unique_ptr<PhaseCorrectPwm> forTimer(avr_t* avr, avr_timer_t* timer);
    ~PhaseCorrectPwm() override = default;
    PhaseCorrectPwm(const PhaseCorrectPwm&) = delete;
    PhaseCorrectPwm& operator=(const PhaseCorrectPwm&) = delete;

    // The data addresses of the registers that choose the mode and clock.
    std::vector<uint16_t> controlRegisters() const override;
    // The program wrote one of them (after simavr handled the write):
    // starts, keeps or stops the count. A write that keeps mode and clock
    // keeps the count going, and only re-drives the outputs.
    void controlWritten() override;
    // The part was reset: stopped, without touching the pins.
    void reset() override;
    // Whether the program has chosen a phase-correct mode (with or
    // without a clock).
    bool modeChosen() const;
    bool running() const { return running_; }
    char timerName() const;

    // Called from the hooks.
    uint64_t event(uint64_t when);
    uint8_t readCount();
    void writeCount(uint8_t low);

private:
    PhaseCorrectPwm(avr_t* avr, avr_timer_t* timer);
    // TOP of the mode chosen now, 0 when it is not phase-correct.
    static bool phaseCorrect(int mode, bool wide);
    // TOP of a phase-correct mode, from the registers as they stand.
    uint32_t topOf(int mode) const;
    // The double-buffered values take effect at BOTTOM in this mode.
    static bool updatesAtBottom(int mode) { return mode == 8 || mode == 9; }
    int mode() const;
    bool wide() const;  // the 16-bit timer
    uint32_t clockDivider() const;  // 0: stopped or external clock
    void latchCompares();
    // The count at `ticks` into the period.
    uint32_t countAt(uint64_t ticks) const;
    // Drives the connected outputs to their level at `phase`; atTop: the
    // count is at the TOP event (where a toggling output toggles).
    void driveOutputs(uint64_t phase, bool atTop);
    uint64_t nextEvent(uint64_t phase) const;

    avr_t* avr_;
    avr_timer_t* timer_;
    bool running_ = false;
    int runningMode_ = 0;
    uint32_t divider_ = 1;
    uint32_t top_ = 0;
    uint64_t periodStart_ = 0;  // cycle of the last BOTTOM
    std::array<uint32_t, 3> ocr_{};
    std::array<int, 3> level_{};  // last level driven per output, -1 none
    // After a TCNT write: the output keeps its level until its next match.
    std::array<bool, 3> hold_{};
    // simavr's TCNT handlers, used while the count is not ours.
    using CountRead = uint8_t (*)(avr_t*, uint16_t, void*);
    using CountWrite = void (*)(avr_t*, uint16_t, uint8_t, void*);
    CountRead originalCountRead_ = nullptr;
    void* originalCountParam_ = nullptr;
    CountWrite originalCountWrite_ = nullptr;
    void* originalCountWriteParam_ = nullptr;
};

}  // namespace quill::sim

// Timer1 of the kind that counts to OCR1C (the ATtiny85's), which simavr
// 1.6 describes with no modes, only CK/1..CK/16 of its prescaler and
// without OCR1C as TOP, so that it drives no pin. OcrTopTimer takes the
// timer's clock away from simavr and counts it itself, event by event on a
// simavr cycle timer, as its data sheet has it:
//   - TCCR1: CS13:0 select CK/1, CK/2 ... CK/16384 (the PLL clock that
//     PCKE chooses counts as the system clock here); CTC1 clears the count
//     after the match with OCR1C; PWM1A makes OC1A a PWM output;
//     GTCCR's PWM1B does the same for OC1B;
//   - the count runs 0..TOP and restarts at 0: TOP is OCR1C in PWM mode
//     (PWM1A or PWM1B) and in CTC1, 0xFF otherwise; a period is TOP + 1
//     timer clocks;
//   - TOV1 rises when the count restarts from TOP (PWM mode) or overflows
//     from 0xFF; OCF1A and OCF1B at the matches with OCR1A and OCR1B; each
//     raises its interrupt where TIMSK enables it (simavr's vectors);
//   - a PWM output (COM1x = 10) is set at 0 and cleared at the match, so
//     its duty is OCR1x / (OCR1C + 1); COM1x = 11 inverts it; COM1x = 01
//     drives OC1x as 10 does and the inverted pin /OC1x opposite. OCR1x = 0
//     keeps OC1x low, OCR1x >= OCR1C keeps it high;
//   - outside PWM mode a match toggles (01), clears (10) or sets (11) OC1x;
//   - OCR1A, OCR1B and OCR1C take effect at the start of a period;
//   - TCNT1 reads the count; a write moves it there.
// Not modelled: the dead-time generator (DT1A, DT1B, DTPS1), FOC1A/FOC1B,
// PSR1, the asynchronous 64 MHz clock.
#pragma once

#include <array>
#include <memory>

#include "host/sim/PartTable.h"
#include "host/sim/TimerGenerator.h"

struct avr_t;
struct avr_timer_t;

namespace quill::sim {

class OcrTopTimer final : public TimerGenerator {
public:
    // The generator of the part's OCR1C-topped timer, or null when the part
    // has none or simavr's core has no timer counting in its TCNT1.
    static std::unique_ptr<OcrTopTimer> forPart(avr_t* avr, const PartInfo& part);
    ~OcrTopTimer() override = default;
    OcrTopTimer(const OcrTopTimer&) = delete;
    OcrTopTimer& operator=(const OcrTopTimer&) = delete;

    std::vector<uint16_t> controlRegisters() const override;
    void controlWritten() override;
    void reset() override;
    std::vector<TimerOutput> extraOutputs() const override;

    bool running() const { return running_; }
    // The prescaler's division for CS13:0 (0: stopped).
    static uint32_t divider(uint8_t select);

    // Called from the hooks.
    uint64_t event(uint64_t when);
    uint8_t readCount();
    void writeCount(uint8_t value);

private:
    OcrTopTimer(avr_t* avr, avr_timer_t* timer, const PartInfo::TopTimer& layout);
    bool pwm(int channel) const;
    uint32_t topNow() const;
    void latch();
    // Drives the outputs at `phase`; matched: the channels whose compare
    // matches at it (outside PWM mode they act only then).
    void driveOutputs(uint32_t phase, const std::array<bool, 2>& matched);
    void drive(int output, int level);
    uint32_t nextEvent(uint32_t phase) const;
    void schedule(uint32_t phase);

    avr_t* avr_;
    avr_timer_t* timer_;
    PartInfo::TopTimer layout_;
    avr_irq_t* inverted_ = nullptr;  // two IRQs: /OC1A, /OC1B
    bool running_ = false;
    uint32_t divider_ = 1;
    uint8_t control_ = 0;  // the mode bits of TCCR1 and GTCCR the count started with
    uint32_t top_ = 0xFF;
    uint64_t periodStart_ = 0;
    std::array<uint32_t, 2> ocr_{};
    // Last level driven: OC1A, OC1B, /OC1A, /OC1B; -1 none.
    std::array<int, 4> level_{};
};

}  // namespace quill::sim

#include "host/sim/OcrTopTimer.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <avr_ioport.h>
#include <avr_timer.h>
#include <sim_avr.h>
#include <sim_cycle_timers.h>
#include <sim_interrupts.h>
#include <sim_io.h>
}

namespace quill::sim {

namespace {

// The mode bits of this timer kind: TCCR1's CTC1 and PWM1A, GTCCR's PWM1B
// (kept as bit 5 of the generator's mode byte), and CS13:0.
constexpr uint8_t kCtc1 = 0x80;
constexpr uint8_t kPwm1a = 0x40;
constexpr uint8_t kPwm1bInGtccr = 0x40;
constexpr uint8_t kPwm1b = 0x20;
constexpr uint8_t kClockSelect = 0x0F;

avr_cycle_count_t onEvent(avr_t*, avr_cycle_count_t when, void* param) {
    return static_cast<OcrTopTimer*>(param)->event(when);
}

uint8_t onCountRead(avr_t*, avr_io_addr_t, void* param) {
    return static_cast<OcrTopTimer*>(param)->readCount();
}

void onCountWrite(avr_t*, avr_io_addr_t, uint8_t value, void* param) {
    static_cast<OcrTopTimer*>(param)->writeCount(value);
}

}  // namespace

std::unique_ptr<OcrTopTimer> OcrTopTimer::forPart(avr_t* avr, const PartInfo& part) {
    if (!part.topTimer) return nullptr;
    for (avr_io_t* io = avr->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "timer") != 0) continue;
        auto* timer = reinterpret_cast<avr_timer_t*>(io);
        if (timer->r_tcnt != part.topTimer->tcnt || timer->r_tcnth) continue;
        // simavr keeps the compare units, their COM bits, pins and
        // interrupts; its clock is taken away so that it never counts
        // beside this one.
        for (avr_regbit_t& bit : timer->cs) bit = avr_regbit_t{};
        return std::unique_ptr<OcrTopTimer>(new OcrTopTimer(avr, timer, *part.topTimer));
    }
    return nullptr;
}

OcrTopTimer::OcrTopTimer(avr_t* avr, avr_timer_t* timer, const PartInfo::TopTimer& layout)
    : avr_(avr), timer_(timer), layout_(layout) {
    level_.fill(-1);
    static const char* names[] = {">/oc1a", ">/oc1b"};
    inverted_ = avr_alloc_irq(&avr_->irq_pool, 0, 2, names);
    auto& entry = avr_->io[AVR_DATA_TO_IO(layout_.tcnt)];
    entry.r.c = &onCountRead;
    entry.r.param = this;
    entry.w.c = &onCountWrite;
    entry.w.param = this;
}

uint32_t OcrTopTimer::divider(uint8_t select) {
    select &= kClockSelect;
    return select == 0 ? 0 : 1u << (select - 1);
}

std::vector<uint16_t> OcrTopTimer::controlRegisters() const {
    return {layout_.tccr, layout_.gtccr};
}

std::vector<TimerOutput> OcrTopTimer::extraOutputs() const {
    std::vector<TimerOutput> outputs;
    const PartInfo::TopTimer::Pin pins[2] = {layout_.invertedA, layout_.invertedB};
    const avr_regbit_t modes[2] = {avr_regbit_t{layout_.tccr, 6, 1},
                                   avr_regbit_t{layout_.gtccr, 6, 1}};
    for (int c = 0; c < 2; ++c) {
        if (!pins[c].port || !timer_->comp[c].com.reg) continue;
        outputs.push_back({inverted_ + c, pins[c].port, pins[c].bit, timer_->comp[c].com, 1,
                           modes[c]});
    }
    return outputs;
}

bool OcrTopTimer::pwm(int channel) const {
    return (control_ & (channel == 0 ? kPwm1a : kPwm1b)) != 0;
}

uint32_t OcrTopTimer::topNow() const {
    return (control_ & (kCtc1 | kPwm1a | kPwm1b)) ? avr_->data[layout_.ocrc] : 0xFFu;
}

void OcrTopTimer::latch() {
    for (int c = 0; c < 2; ++c) ocr_[c] = timer_->comp[c].r_ocr ? avr_->data[timer_->comp[c].r_ocr] : 0;
    top_ = topNow();
}

void OcrTopTimer::controlWritten() {
    const uint8_t tccr = avr_->data[layout_.tccr];
    const uint32_t div = divider(tccr);
    const auto control = static_cast<uint8_t>((tccr & (kCtc1 | kPwm1a)) |
                                              ((avr_->data[layout_.gtccr] & kPwm1bInGtccr) ? kPwm1b : 0));
    if (div == 0) {
        if (running_) {
            // Stopped: the count stays where it is, for TCNT1 to read.
            avr_->data[layout_.tcnt] = readCount();
            avr_cycle_timer_cancel(avr_, &onEvent, this);
        }
        running_ = false;
        return;
    }
    if (running_ && control == control_ && div == divider_) {
        // An output connected or disconnected: the count goes on.
        driveOutputs(static_cast<uint32_t>(((avr_->cycle - periodStart_) / divider_) % (top_ + 1u)),
                     {false, false});
        return;
    }
    // A new mode or clock: counting goes on from the count as it stands.
    const uint32_t count = readCount();
    avr_cycle_timer_cancel(avr_, &onEvent, this);
    if (control != control_) level_.fill(-1);
    running_ = true;
    control_ = control;
    divider_ = div;
    latch();
    const uint32_t phase = std::min(count, top_);
    periodStart_ = avr_->cycle - static_cast<uint64_t>(phase) * divider_;
    driveOutputs(phase, {false, false});
    schedule(phase);
}

void OcrTopTimer::reset() {
    if (running_) avr_cycle_timer_cancel(avr_, &onEvent, this);
    running_ = false;
    control_ = 0;
    level_.fill(-1);
}

uint64_t OcrTopTimer::event(uint64_t when) {
    if (!running_) return 0;
    uint64_t phase = (when - periodStart_) / divider_;
    if (phase > top_) {
        // The count restarts at 0, with the values the program set meanwhile.
        periodStart_ += (top_ + 1ull) * divider_;
        phase = 0;
        const bool overflows = (control_ & (kPwm1a | kPwm1b)) || top_ == 0xFF;
        latch();
        if (overflows) avr_raise_interrupt(avr_, &timer_->overflow);
    }
    std::array<bool, 2> matched{};
    for (int c = 0; c < 2; ++c) {
        matched[c] = timer_->comp[c].r_ocr && ocr_[c] <= top_ && phase == ocr_[c];
        if (matched[c]) avr_raise_interrupt(avr_, &timer_->comp[c].interrupt);
    }
    driveOutputs(static_cast<uint32_t>(phase), matched);
    return periodStart_ + static_cast<uint64_t>(nextEvent(static_cast<uint32_t>(phase))) * divider_;
}

void OcrTopTimer::drive(int output, int level) {
    if (level_[output] == level) return;
    level_[output] = level;
    avr_irq_t* irq = output < 2 ? &timer_->io.irq[TIMER_IRQ_OUT_COMP + output] : inverted_ + (output - 2);
    avr_raise_irq(irq, AVR_IOPORT_OUTPUT | static_cast<uint32_t>(level));
}

void OcrTopTimer::driveOutputs(uint32_t phase, const std::array<bool, 2>& matched) {
    for (int c = 0; c < 2; ++c) {
        const avr_timer_comp_t& comp = timer_->comp[c];
        if (!comp.com.reg) continue;
        const uint8_t com = avr_regbit_get(avr_, comp.com);
        if (pwm(c)) {
            // Set at 0, cleared at the match.
            const int high = ocr_[c] == 0 ? 0 : (ocr_[c] >= top_ || phase < ocr_[c]) ? 1 : 0;
            if (com == 0) {
                level_[c] = -1;
            } else {
                drive(c, com == 3 ? high ^ 1 : high);
            }
            if (com == 1) {
                drive(2 + c, high ^ 1);
            } else {
                level_[2 + c] = -1;
            }
            continue;
        }
        level_[2 + c] = -1;
        if (com == 0) continue;  // OC1x keeps its state for when it is connected again
        int level = level_[c] < 0 ? 0 : level_[c];
        if (matched[c]) level = com == 1 ? level ^ 1 : com == 3 ? 1 : 0;
        if (level_[c] < 0) level_[c] = level ^ 1;  // drives it once connected
        drive(c, level);
    }
}

uint32_t OcrTopTimer::nextEvent(uint32_t phase) const {
    uint32_t next = top_ + 1u;
    for (int c = 0; c < 2; ++c)
        if (timer_->comp[c].r_ocr && ocr_[c] > phase && ocr_[c] <= top_) next = std::min(next, ocr_[c]);
    return next;
}

void OcrTopTimer::schedule(uint32_t phase) {
    const uint64_t when = periodStart_ + static_cast<uint64_t>(nextEvent(phase)) * divider_;
    avr_cycle_timer_register(avr_, when > avr_->cycle ? when - avr_->cycle : 1, &onEvent, this);
}

uint8_t OcrTopTimer::readCount() {
    if (!running_) return avr_->data[layout_.tcnt];
    const auto count =
        static_cast<uint8_t>(((avr_->cycle - periodStart_) / divider_) % (top_ + 1u));
    avr_->data[layout_.tcnt] = count;
    return count;
}

void OcrTopTimer::writeCount(uint8_t value) {
    avr_->data[layout_.tcnt] = value;
    if (!running_) return;
    const uint32_t phase = std::min<uint32_t>(value, top_);
    periodStart_ = avr_->cycle - static_cast<uint64_t>(phase) * divider_;
    avr_cycle_timer_cancel(avr_, &onEvent, this);
    schedule(phase);
}

}  // namespace quill::sim

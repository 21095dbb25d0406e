#include "host/sim/PhaseCorrectPwm.h"

#include <algorithm>

extern "C" {
#include <avr_ioport.h>
#include <avr_timer.h>
#include <sim_avr.h>
#include <sim_cycle_timers.h>
#include <sim_interrupts.h>
#include <sim_io.h>
#include <sim_regbit.h>
}

namespace quill::sim {

namespace {

avr_cycle_count_t onEvent(avr_t*, avr_cycle_count_t when, void* param) {
    return static_cast<PhaseCorrectPwm*>(param)->event(when);
}

uint8_t onCountRead(avr_t*, avr_io_addr_t, void* param) {
    return static_cast<PhaseCorrectPwm*>(param)->readCount();
}

void onCountWrite(avr_t*, avr_io_addr_t, uint8_t value, void* param) {
    static_cast<PhaseCorrectPwm*>(param)->writeCount(value);
}

uint32_t word(const avr_t* avr, avr_io_addr_t low, avr_io_addr_t high) {
    return avr->data[low] | (high ? static_cast<uint32_t>(avr->data[high]) << 8 : 0u);
}

}  // namespace

std::unique_ptr<PhaseCorrectPwm> PhaseCorrectPwm::forTimer(avr_t* avr, avr_timer_t* timer) {
    if (!timer->wgm[0].reg || !timer->r_tcnt) return nullptr;
    // Some cores list phase-correct modes (the ATmega328P's Timer1 modes 8
    // and 9, the ATmega644P's 1 to 3) and run them as up-counting PWM, which
    // would drive the outputs beside this generator: they are taken out of
    // simavr's table, so that its timer stops in them as it does elsewhere.
    const bool wideTimer = timer->r_tcnth != 0;
    for (int mode = 0; mode < static_cast<int>(std::size(timer->wgm_op)); ++mode)
        if (phaseCorrect(mode, wideTimer)) timer->wgm_op[mode] = avr_timer_wgm_t{};
    return std::unique_ptr<PhaseCorrectPwm>(new PhaseCorrectPwm(avr, timer));
}

PhaseCorrectPwm::PhaseCorrectPwm(avr_t* avr, avr_timer_t* timer) : avr_(avr), timer_(timer) {
    level_.fill(-1);
    auto& entry = avr_->io[AVR_DATA_TO_IO(timer_->r_tcnt)];
    originalCountRead_ = entry.r.c;
    originalCountParam_ = entry.r.param;
    entry.r.c = &onCountRead;
    entry.r.param = this;
    originalCountWrite_ = entry.w.c;
    originalCountWriteParam_ = entry.w.param;
    entry.w.c = &onCountWrite;
    entry.w.param = this;
}

char PhaseCorrectPwm::timerName() const { return timer_->name; }

bool PhaseCorrectPwm::wide() const { return timer_->r_tcnth != 0; }

std::vector<uint16_t> PhaseCorrectPwm::controlRegisters() const {
    std::vector<uint16_t> registers;
    auto add = [&](const avr_regbit_t& bit) {
        if (bit.reg && std::find(registers.begin(), registers.end(), bit.reg) == registers.end())
            registers.push_back(bit.reg);
    };
    for (const avr_regbit_t& bit : timer_->wgm) add(bit);
    for (const avr_regbit_t& bit : timer_->cs) add(bit);
    return registers;
}

int PhaseCorrectPwm::mode() const {
    return avr_regbit_get_array(avr_, timer_->wgm, static_cast<int>(std::size(timer_->wgm)));
}

bool PhaseCorrectPwm::phaseCorrect(int mode, bool wide) {
    if (!wide) return mode == 1;
    return (mode >= 1 && mode <= 3) || (mode >= 8 && mode <= 11);
}

bool PhaseCorrectPwm::modeChosen() const { return phaseCorrect(mode(), wide()); }

uint32_t PhaseCorrectPwm::topOf(int mode) const {
    switch (mode) {
        case 2:
            return 0x1FF;
        case 3:
            return 0x3FF;
        case 8:
        case 10:
            return word(avr_, timer_->r_icr, timer_->r_icrh);
        case 9:
        case 11:
            return word(avr_, timer_->comp[AVR_TIMER_COMPA].r_ocr,
                        timer_->comp[AVR_TIMER_COMPA].r_ocrh);
        default:
            return 0xFF;
    }
}

uint32_t PhaseCorrectPwm::clockDivider() const {
    const uint8_t select =
        avr_regbit_get_array(avr_, timer_->cs, static_cast<int>(std::size(timer_->cs)));
    if (select == 0) return 0;
    const uint8_t shift = timer_->cs_div[select];
    // An external clock on the T pin is not counted here.
    if (shift & AVR_TIMER_EXTCLK_CHOOSE) return 0;
    return 1u << shift;
}

void PhaseCorrectPwm::latchCompares() {
    for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) {
        const avr_timer_comp_t& comp = timer_->comp[c];
        ocr_[c] = comp.r_ocr ? word(avr_, comp.r_ocr, comp.r_ocrh) : 0;
    }
}

void PhaseCorrectPwm::controlWritten() {
    const int chosen = mode();
    const uint32_t divider = clockDivider();
    if (!phaseCorrect(chosen, wide()) || divider == 0) {
        if (running_) avr_cycle_timer_cancel(avr_, &onEvent, this);
        running_ = false;
        return;
    }
    if (running_ && chosen == runningMode_ && divider == divider_) {
        // Mode and clock unchanged (an output connected or disconnected):
        // the count goes on.
        const uint64_t period = 2ull * top_;
        driveOutputs(((avr_->cycle - periodStart_) / divider_) % period, false);
        return;
    }
    avr_cycle_timer_cancel(avr_, &onEvent, this);
    running_ = true;
    runningMode_ = chosen;
    divider_ = divider;
    periodStart_ = avr_->cycle;
    top_ = std::max<uint32_t>(1, topOf(chosen));
    latchCompares();
    level_.fill(-1);
    hold_.fill(false);
    driveOutputs(0, false);
    avr_cycle_timer_register(avr_, nextEvent(0) * divider_, &onEvent, this);
}

void PhaseCorrectPwm::reset() {
    if (running_) avr_cycle_timer_cancel(avr_, &onEvent, this);
    running_ = false;
    level_.fill(-1);
    hold_.fill(false);
}

uint64_t PhaseCorrectPwm::event(uint64_t when) {
    if (!running_) return 0;
    uint64_t period = 2ull * top_;
    uint64_t phase = (when - periodStart_) / divider_;
    if (phase >= period) {
        // BOTTOM: a new period, with the TOP (and in some modes the compare
        // values) the program set meanwhile.
        periodStart_ += period * divider_;
        phase = 0;
        top_ = std::max<uint32_t>(1, topOf(runningMode_));
        period = 2ull * top_;
        if (updatesAtBottom(runningMode_)) latchCompares();
        avr_raise_interrupt(avr_, &timer_->overflow);
    }
    const bool atTop = phase == top_;
    if (atTop && !updatesAtBottom(runningMode_)) latchCompares();
    for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) {
        if (!timer_->comp[c].r_ocr || ocr_[c] > top_) continue;
        if (phase == ocr_[c] || phase == period - ocr_[c])
            avr_raise_interrupt(avr_, &timer_->comp[c].interrupt);
    }
    driveOutputs(phase, atTop);
    return periodStart_ + nextEvent(phase) * divider_;
}

void PhaseCorrectPwm::driveOutputs(uint64_t phase, bool atTop) {
    const uint64_t period = 2ull * top_;
    for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) {
        avr_timer_comp_t& comp = timer_->comp[c];
        if (!comp.com_pin.reg || !comp.r_ocr) continue;
        const uint8_t com = avr_regbit_get(avr_, comp.com);
        int level = level_[c];
        if (com >= 2) {
            // High from the match counting down to the match counting up:
            // 2 * OCR ticks centred on BOTTOM. A value above TOP never
            // matches, which leaves the output high.
            const uint64_t ocr = std::min(ocr_[c], top_);
            level = (phase < ocr || phase >= period - ocr) ? 1 : 0;
            if (com == 3) level ^= 1;
            if (hold_[c] && level != level_[c] && ocr_[c] <= top_ && phase != ocr &&
                phase != period - ocr)
                continue;  // held since a TCNT write, until a match
            hold_[c] = false;
        } else if (com == 1 && c == AVR_TIMER_COMPA && (runningMode_ == 9 || runningMode_ == 11)) {
            // Toggles at TOP, from low when just connected.
            level = level < 0 ? 0 : (atTop ? level ^ 1 : level);
        } else {
            level_[c] = -1;  // disconnected: driven afresh once connected
            continue;
        }
        if (level == level_[c]) continue;
        level_[c] = level;
        avr_raise_irq(&timer_->io.irq[TIMER_IRQ_OUT_COMP + c],
                      AVR_IOPORT_OUTPUT | static_cast<uint32_t>(level));
    }
}

uint64_t PhaseCorrectPwm::nextEvent(uint64_t phase) const {
    const uint64_t period = 2ull * top_;
    uint64_t next = period;
    auto consider = [&](uint64_t at) {
        if (at > phase && at < next) next = at;
    };
    consider(top_);
    for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) {
        if (!timer_->comp[c].r_ocr || ocr_[c] > top_) continue;
        consider(ocr_[c]);
        consider(period - ocr_[c]);
    }
    return next;
}

uint32_t PhaseCorrectPwm::countAt(uint64_t ticks) const {
    const uint64_t phase = ticks % (2ull * top_);
    return static_cast<uint32_t>(phase <= top_ ? phase : 2ull * top_ - phase);
}

void PhaseCorrectPwm::writeCount(uint8_t low) {
    const avr_io_addr_t address = timer_->r_tcnt;
    if (!running_) {
        if (originalCountWrite_) {
            originalCountWrite_(avr_, address, low, originalCountWriteParam_);
        } else {
            avr_->data[address] = low;
        }
        return;
    }
    // The high byte went to TCNT1H first, as the program writes a 16-bit
    // register; the low byte's write moves the count.
    avr_->data[address] = low;
    uint32_t value = low;
    if (timer_->r_tcnth) value |= static_cast<uint32_t>(avr_->data[timer_->r_tcnth]) << 8;
    value = std::min(value, top_);
    const uint64_t period = 2ull * top_;
    const uint64_t phase = ((avr_->cycle - periodStart_) / divider_) % period;
    const uint64_t moved = phase < top_ ? value : (value == 0 ? 0 : period - value);
    // Unsigned arithmetic wraps consistently: the period may start "before"
    // cycle 0.
    periodStart_ = avr_->cycle - moved * divider_;
    for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) hold_[c] = level_[c] >= 0;
    avr_cycle_timer_cancel(avr_, &onEvent, this);
    avr_cycle_timer_register(avr_, (nextEvent(moved) - moved) * divider_, &onEvent, this);
}

uint8_t PhaseCorrectPwm::readCount() {
    const avr_io_addr_t low = timer_->r_tcnt;
    if (!running_) {
        return originalCountRead_ ? originalCountRead_(avr_, low, originalCountParam_)
                                  : avr_->data[low];
    }
    const uint32_t count = countAt((avr_->cycle - periodStart_) / divider_);
    avr_->data[low] = static_cast<uint8_t>(count);
    if (timer_->r_tcnth) avr_->data[timer_->r_tcnth] = static_cast<uint8_t>(count >> 8);
    return static_cast<uint8_t>(count);
}

}  // namespace quill::sim

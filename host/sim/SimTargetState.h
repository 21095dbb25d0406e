// SimTarget's hooks into the simavr core, shared by its source files.
#pragma once

#include <array>
#include <cstdint>

#include "host/sim/SimTarget.h"

extern "C" {
#include <sim_avr.h>
#include <sim_regbit.h>
}

namespace quill::sim {

// simavr's own write handler of ADCSRA, wrapped so that ADIF is cleared by
// writing 1 to it, as on the chip (simavr 1.6 stores the written 1 back into
// the register and clears a 0 written to it).
struct SimTarget::ConverterFlagHook {
    avr_io_write_t originalWrite;
    void* originalParam;
    uint8_t freeRunningMask;  // ADATE (ADFR) in ADCSRA; 0 where it lies elsewhere
    // The program started free running (wrote ADSC with ADEN and the
    // free-running bit); cleared when it switches either off.
    bool freeRunning = false;
};

struct SimTarget::PortState {
    SimTarget* owner;
    const PartInfo::Port* info;
    avr_io_read_t originalRead;
    void* originalParam;
    uint8_t external = 0;  // external level of the driven input pins
    uint8_t driven = 0;    // input pins driven from outside
    // The timers' compare outputs on this port: while a compare output
    // mode is set (COM bits not 0, or `comValue` where one is given, with
    // the `mode` bit set where there is one), the pin carries the level
    // the timer last drove, not its PORTx bit.
    struct CompareOutput {
        avr_regbit_t com;
        uint8_t mask;
        uint8_t comValue = 0;
        avr_regbit_t mode{};
        bool connected(avr_t* avr) const {
            const uint8_t value = avr_regbit_get(avr, com);
            if (comValue ? value != comValue : value == 0) return false;
            return !mode.reg || avr_regbit_get(avr, mode) != 0;
        }
    };
    std::array<CompareOutput, 8> outputs{};
    uint8_t outputCount = 0;
    uint8_t timerLevel = 0;
    // The pins compare outputs own, as of the last write of a timer control
    // register (the program's or the host's): what timerOwned() gives, kept
    // so that reading a pin's level needs no look at the COM bits.
    uint8_t lastOwned = 0;
    // The pins a compare output owns now.
    uint8_t timerOwned(avr_t* avr) const {
        uint8_t owned = 0;
        for (uint8_t k = 0; k < outputCount; ++k)
            if (outputs[k].connected(avr)) owned |= outputs[k].mask;
        return owned;
    }
};

// A timer control register holding COM bits: simavr's write handler, and
// the target to tell when the program connects or disconnects an output.
struct SimTarget::ControlHook {
    SimTarget* owner;
    avr_io_write_t originalWrite;
    void* originalParam;
};

// The wrap of one bank register's write or read handler: simavr's handler
// runs (or plain storage is written), then the target notes which registers
// may have changed. `marks` says which: only this one (plain storage), the
// port's three registers and the pin followers (a port register), or the
// whole bank (any other handler: it may change other registers, as a UDR
// write clears UDRE). A read hook always marks the whole bank: the reads
// that have handlers (a timer's count, UDR) change what they read and more.
struct SimTarget::BankHook {
    enum class Marks : uint8_t { Self, Port, All };
    SimTarget* owner;
    bool read;
    Marks marks;
    uint16_t index;         // in the bank
    ChangeSet portMarks{};  // for Marks::Port
    // The words of portMarks that are not 0 (a port's three registers lie
    // in one or two): a program's port write marks only those.
    uint8_t portFirstWord = 0, portLastWord = 0;
    void* original;         // avr_io_write_t or avr_io_read_t; null: storage
    void* originalParam;
};

// One compare output's IRQ, told to the port of its pin.
struct SimTarget::CompareHook {
    SimTarget* owner;
    PortState* port;
    uint8_t mask;
};

inline void SimTarget::runOne() {
    // What the hooks do not see: a timed event of a peripheral (it runs
    // after the instruction once its cycle is reached), and an interrupt
    // queued or taken (taking one clears its flag).
    const avr_cycle_timer_slot_p next = avr_->cycle_timers.timer;
    const avr_cycle_count_t due = next ? next->when : ~avr_cycle_count_t{0};
    const auto queued = avr_->interrupts.pending.write;
    const auto taken = avr_->interrupts.pending.read;
    avr_run(avr_);
    if (avr_->cycle >= due || avr_->interrupts.pending.write != queued ||
        avr_->interrupts.pending.read != taken)
        markAllChanged();
    if (changeEvents_ != freeRunningCheckedAt_) {
        continueFreeRunning();
        freeRunningCheckedAt_ = changeEvents_;
    }
    // A firmware with symbols has one stop: compared here, without a call.
    if (exitStopCount_ == 1 ? avr_->pc == exitStops_[0] : exitStopCount_ > 1) checkExit();
}

inline bool SimTarget::stepCalled() {
    if (avr_->state == cpu_Done || avr_->state == cpu_Crashed) return false;
    runOne();
    return true;
}

}  // namespace quill::sim

#include "host/app/Debugger.h"

Debugger::~Debugger() {
    if (debugging()) stop();
}

void Debugger::send(LONG event) {
    if (listener_) listener_(event);
    if (plugin_) plugin_->HandleEvent(event, nullptr);
}

void Debugger::start(std::unique_ptr<Machine> machine) {
    if (debugging()) stop();
    machine_ = std::move(machine);
    if (!machine_) return;
    fault_.clear();
    instructions_ = 0;
    state_ = State::Halted;
    send(kEventSessionStarted);
    send(kEventTargetReady);
    send(kEventHalted);
}

void Debugger::stop() {
    if (!debugging()) return;
    state_ = State::Idle;
    send(kEventSessionEnded);
}

ITargetAccess* Debugger::target() const {
    return debugging() && machine_ ? machine_->targetAccess() : nullptr;
}

bool Debugger::stepOnce() {
    if (!machine_->step()) {
        fault_ = machine_->fault();
        if (fault_.empty()) fault_ = "the program stopped";
        state_ = State::Halted;
        return false;
    }
    ++instructions_;
    send(kEventHalted);
    return true;
}

bool Debugger::stepInto() {
    if (state_ != State::Halted) return false;
    return stepOnce();
}

bool Debugger::beginRun() {
    if (state_ != State::Halted) return false;
    breakRequested_ = false;
    state_ = State::Running;
    send(kEventRunStarted);
    return true;
}

uint64_t Debugger::runSlice(uint64_t untilCycle, std::chrono::steady_clock::duration budget) {
    if (state_ != State::Running) return 0;
    const auto deadline = std::chrono::steady_clock::now() + budget;
    uint64_t done = 0;
    while (machine_->cycles() < untilCycle && state_ == State::Running && !breakRequested_) {
        if (!stepOnce()) break;
        ++done;
        // Reading the clock costs more than an instruction; look every 64.
        if ((done & 63) == 0 && std::chrono::steady_clock::now() >= deadline) break;
    }
    if (breakRequested_ && state_ == State::Running) state_ = State::Halted;
    return done;
}

void Debugger::breakRun() {
    if (state_ != State::Running) return;
    breakRequested_ = true;
    state_ = State::Halted;
}

bool Debugger::runCycles(uint64_t cycles, const std::function<bool()>& keepGoing) {
    if (!debugging()) return false;
    const uint64_t target = machine_->cycles() + cycles;
    uint64_t n = 0;
    while (machine_->cycles() < target) {
        if (!stepOnce()) return false;
        if (keepGoing && (++n & 1023) == 0 && !keepGoing()) return false;
    }
    return true;
}

bool Debugger::reset() {
    if (!debugging()) return false;
    machine_->reset();
    fault_.clear();
    if (state_ == State::Running) state_ = State::Halted;
    send(kEventHalted);
    return true;
}

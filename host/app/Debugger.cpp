#include "host/app/Debugger.h"

Debugger::~Debugger() {
    if (debugging()) stop();
}

void Debugger::send(LONG event) {
    if (event == kEventHalted) {
        ++refreshes_;
        leftOut_ = false;
    }
    if (listener_) listener_(event);
    if (plugin_) plugin_->HandleEvent(event, nullptr);
}

void Debugger::start(std::unique_ptr<Machine> machine) {
    if (debugging()) stop();
    machine_ = std::move(machine);
    if (!machine_) return;
    fault_.clear();
    instructions_ = 0;
    refreshes_ = 0;
    skipped_ = 0;
    leftOut_ = false;
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

bool Debugger::stepOnce(bool mayLeaveOut) {
    if (!machine_->step()) {
        catchUp();
        fault_ = machine_->fault();
        if (fault_.empty()) fault_ = "the program stopped";
        state_ = State::Halted;
        return false;
    }
    ++instructions_;
    if (mayLeaveOut && policy_ == RefreshPolicy::WhenNeeded && !machine_->refreshNeeded()) {
        leftOut_ = true;
        ++skipped_;
        return true;
    }
    send(kEventHalted);
    return true;
}

void Debugger::catchUp() {
    if (leftOut_) send(kEventHalted);
}

void Debugger::userInterfaceRan() {
    if (machine_) machine_->lapseRefreshFilter();
}

bool Debugger::stepInto() {
    if (state_ != State::Halted) return false;
    userInterfaceRan();
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
    userInterfaceRan();
    uint64_t done = 0;
    while (machine_->cycles() < untilCycle && state_ == State::Running && !breakRequested_) {
        if (!stepOnce(true)) break;
        ++done;
        // Reading the clock costs more than an instruction; look every 256.
        if ((done & 255) == 0 && std::chrono::steady_clock::now() >= deadline) break;
    }
    catchUp();
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
    userInterfaceRan();
    uint64_t n = 0;
    while (machine_->cycles() < target) {
        if (!stepOnce(true)) return false;
        if (keepGoing && (++n & 1023) == 0) {
            // The callback may run the user interface: it sees the state
            // after the last instruction, and the filter starts over.
            catchUp();
            const bool go = keepGoing();
            userInterfaceRan();
            if (!go) return false;
        }
    }
    catchUp();
    return true;
}

bool Debugger::reset() {
    if (!debugging()) return false;
    catchUp();
    machine_->reset();
    fault_.clear();
    if (state_ == State::Running) state_ = State::Halted;
    send(kEventHalted);
    return true;
}

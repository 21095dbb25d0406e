#include "host/session/Debugger.h"

#include <limits>

Debugger::~Debugger() {
    if (debugging()) stop();
}

void Debugger::setPlugin(IGuiPlugin* plugin) {
    plugin_ = plugin;
    idle_ = nullptr;
    void* idle = nullptr;
    if (plugin && SUCCEEDED(plugin->QueryInterface(IID_IPluginIdle, &idle)) && idle) {
        // Held as plugin_ is, without a reference of its own: the caller
        // keeps the plug-in alive while it is set, and its release stays
        // where the caller puts it.
        idle_ = static_cast<IPluginIdle*>(idle);
        idle_->Release();
    }
}

void Debugger::idle() {
    idlePending_ = false;
    if (!idle_) return;
    if (runIdleInterval_ > std::chrono::steady_clock::duration::zero())
        lastIdle_ = std::chrono::steady_clock::now();
    idle_->HostIdle();
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
    machine_->setBreakpoints(breakpoints_);
    atBreakpoint_ = false;
    fault_.clear();
    instructions_ = 0;
    refreshes_ = 0;
    skipped_ = 0;
    leftOut_ = false;
    state_ = State::Halted;
    send(kEventSessionStarted);
    send(kEventTargetReady);
    send(kEventHalted);
    idle();
}

void Debugger::stop() {
    if (!debugging()) return;
    state_ = State::Idle;
    send(kEventSessionEnded);
}

ITargetAccess* Debugger::target() const {
    return debugging() && machine_ ? machine_->targetAccess() : nullptr;
}

Machine::Batch Machine::runBatch(uint64_t untilCycle, uint64_t count, bool leaveOut) {
    Batch batch;
    while (batch.executed < count && cycles() < untilCycle) {
        if (!step()) {
            batch.stopped = true;
            break;
        }
        ++batch.executed;
        if (!leaveOut || refreshNeeded()) batch.refreshDue = true;
        if (breakpoints_ && breakpoints_->contains(programCounter())) {
            batch.breakpoint = true;
            batch.refreshDue = true;
        }
        if (batch.refreshDue) break;
    }
    return batch;
}

Machine::Batch Machine::runRefreshingEach(uint64_t untilCycle, uint64_t count,
                                          RefreshCall refresh) {
    Batch total;
    while (total.executed < count) {
        const Batch batch = runBatch(untilCycle, count - total.executed, false);
        total.executed += batch.executed;
        total.stopped = batch.stopped;
        total.breakpoint = batch.breakpoint;
        if (batch.refreshDue && !refresh()) break;
        if (batch.executed == 0 || batch.stopped || batch.breakpoint) break;
    }
    return total;
}

void Debugger::stopped() {
    catchUp();
    fault_ = machine_->fault();
    if (fault_.empty()) fault_ = "the program stopped";
    state_ = State::Halted;
}

bool Debugger::stepOnce() {
    if (!machine_->step()) {
        stopped();
        return false;
    }
    ++instructions_;
    send(kEventHalted);
    return true;
}

bool Debugger::runInstructions(uint64_t untilCycle, uint64_t count, uint64_t* executed,
                               bool whileRunning) {
    Machine::Batch batch;
    if (policy_ == RefreshPolicy::EveryInstruction) {
        // Refreshed from within the run; with `whileRunning` it goes on
        // while the debugger runs and no break was asked for (a refresh
        // may ask for one), as a slice checks between batches.
        struct Run {
            Debugger* debugger;
            uint64_t* executed;
            bool whileRunning;
        } run{this, executed, whileRunning};
        batch = machine_->runRefreshingEach(
            untilCycle, count, {[](void* context) {
                                    auto* r = static_cast<Run*>(context);
                                    Debugger& d = *r->debugger;
                                    ++d.instructions_;
                                    ++*r->executed;
                                    d.send(kEventHalted);
                                    return !r->whileRunning ||
                                           (d.state_ == State::Running && !d.breakRequested_);
                                },
                                &run});
    } else {
        batch = machine_->runBatch(untilCycle, count, true);
        instructions_ += batch.executed;
        *executed += batch.executed;
        const uint64_t leftOut = batch.executed - (batch.refreshDue ? 1 : 0);
        skipped_ += leftOut;
        if (leftOut > 0) leftOut_ = true;
        if (batch.refreshDue) send(kEventHalted);
    }
    if (batch.breakpoint) {
        atBreakpoint_ = true;
        if (state_ == State::Running) state_ = State::Halted;
    }
    if (batch.stopped) {
        stopped();
        return false;
    }
    return true;
}

void Debugger::catchUp(bool deferIdle) {
    if (leftOut_) send(kEventHalted);
    if (deferIdle) {
        idlePending_ = true;
    } else {
        idle();
    }
}

void Debugger::userInterfaceRan() {
    if (machine_) machine_->lapseRefreshFilter();
}

void Debugger::setBreakpoints(const quill::debugger::BreakpointSet* set) {
    breakpoints_ = set;
    if (machine_) machine_->setBreakpoints(set);
}

void Debugger::memoryChanged() {
    if (state_ != State::Halted) return;
    userInterfaceRan();
    send(kEventHalted);
    idle();
}

bool Debugger::stepInto() {
    if (state_ != State::Halted) return false;
    atBreakpoint_ = false;
    userInterfaceRan();
    const bool stepped = stepOnce();
    if (stepped) idle();  // a stop has caught up already
    return stepped;
}

bool Debugger::stepWhile(const std::function<bool()>& more, uint64_t maxInstructions) {
    if (state_ != State::Halted) return false;
    atBreakpoint_ = false;
    userInterfaceRan();
    uint64_t done = 0;
    while (done < maxInstructions) {
        if (!runInstructions(std::numeric_limits<uint64_t>::max(), 1, &done, false)) return false;
        if (atBreakpoint_ || !more()) break;
    }
    catchUp();
    return true;
}

bool Debugger::beginRun() {
    if (state_ != State::Halted) return false;
    breakRequested_ = false;
    atBreakpoint_ = false;
    state_ = State::Running;
    send(kEventRunStarted);
    return true;
}

uint64_t Debugger::runSlice(uint64_t untilCycle, std::chrono::steady_clock::duration budget) {
    if (state_ != State::Running) return 0;
    const auto deadline = std::chrono::steady_clock::now() + budget;
    userInterfaceRan();
    uint64_t done = 0;
    // Reading the clock costs more than an instruction: look every 256.
    constexpr uint64_t kClockLook = 256;
    uint64_t nextLook = kClockLook;
    while (machine_->cycles() < untilCycle && state_ == State::Running && !breakRequested_) {
        if (!runInstructions(untilCycle, nextLook - done, &done, true)) break;
        if (done >= nextLook) {
            nextLook = done + kClockLook;
            if (std::chrono::steady_clock::now() >= deadline) break;
        }
    }
    if (breakRequested_ && state_ == State::Running) state_ = State::Halted;
    // Within a frame of the last idle call, a run going on leaves it to a
    // later slice (or to the break).
    catchUp(state_ == State::Running &&
            runIdleInterval_ > std::chrono::steady_clock::duration::zero() &&
            std::chrono::steady_clock::now() - lastIdle_ < runIdleInterval_);
    return done;
}

void Debugger::breakRun() {
    if (state_ != State::Running) return;
    breakRequested_ = true;
    state_ = State::Halted;
    if (idlePending_) idle();
}

bool Debugger::runCycles(uint64_t cycles, const std::function<bool()>& keepGoing) {
    if (!debugging()) return false;
    // Waits of a script pass over breakpoints.
    machine_->setBreakpoints(nullptr);
    const RunEnd end = runFor(cycles, keepGoing, false);
    machine_->setBreakpoints(breakpoints_);
    return end == RunEnd::Reached;
}

Debugger::RunEnd Debugger::runToBreakpoint(uint64_t cycles,
                                           const std::function<bool()>& keepGoing) {
    if (!debugging()) return RunEnd::Stopped;
    return runFor(cycles, keepGoing, true);
}

Debugger::RunEnd Debugger::runFor(uint64_t cycles, const std::function<bool()>& keepGoing,
                                  bool breakpoints) {
    const uint64_t target = machine_->cycles() + cycles;
    struct InRun {
        bool& flag;
        bool was;
        explicit InRun(bool& f) : flag(f), was(f) { flag = true; }
        ~InRun() { flag = was; }
    } inRun(inRunFor_);
    atBreakpoint_ = false;
    userInterfaceRan();
    // The callback is asked every 1024 instructions.
    constexpr uint64_t kCallbackEvery = 1024;
    uint64_t done = 0;
    uint64_t nextCall = kCallbackEvery;
    while (machine_->cycles() < target) {
        const uint64_t count = keepGoing ? nextCall - done : std::numeric_limits<uint64_t>::max();
        if (!runInstructions(target, count, &done, false)) return RunEnd::Stopped;
        if (breakpoints && atBreakpoint_) {
            catchUp();
            return RunEnd::Breakpoint;
        }
        if (keepGoing && done >= nextCall) {
            nextCall = done + kCallbackEvery;
            // The callback may run the user interface: it sees the state
            // after the last instruction, and the filter starts over.
            catchUp();
            const bool go = keepGoing();
            userInterfaceRan();
            if (!go) return RunEnd::Cancelled;
        }
    }
    catchUp();
    return RunEnd::Reached;
}

bool Debugger::reset() {
    if (!debugging()) return false;
    catchUp();
    machine_->reset();
    fault_.clear();
    atBreakpoint_ = false;
    if (state_ == State::Running) state_ = State::Halted;
    send(kEventHalted);
    idle();
    return true;
}

std::string Debugger::stopText() const {
    if (const std::optional<int> code = exitCode()) return "Program exited (" + std::to_string(*code) + ")";
    return "Program stopped: " + fault_;
}

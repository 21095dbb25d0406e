// The host's debugger: drives a simulated machine one instruction at a time
// and reports each step to the plug-in as a host event, the way the IDE's
// debugger does. Toolkit-free; the main window runs it in slices from a
// timer so the display stays responsive.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "contract/HostInterfaces.h"
#include "contract/PluginIdle.h"
#include "host/sim/BreakpointSet.h"

namespace quill::sim {
class SimTarget;
}

// The simulated part the debugger drives.
class Machine {
public:
    virtual ~Machine() = default;
    // Executes one instruction. False when the program cannot go on (it
    // crashed or ended); the reason is in fault().
    virtual bool step() = 0;
    // Resets the part as its reset pin would: the program starts over and
    // the cycle count returns to 0.
    virtual void reset() = 0;
    virtual uint64_t cycles() const = 0;
    virtual double frequencyHz() const = 0;
    virtual uint32_t programCounter() const = 0;
    virtual std::string fault() const = 0;
    // The code the program exited with (exit(n), a return from main),
    // once it has; nothing while it runs or when it stopped otherwise.
    virtual std::optional<int> exitCode() const { return std::nullopt; }
    // The object the host hands out as "AVRTARGET" (not AddRef'd).
    virtual ITargetAccess* targetAccess() = 0;
    // The plug-in's refresh filter (see contract/TargetDirectAccess.h): whether
    // the instruction just executed needs event 3, and dropping the filter.
    // A machine without one needs every refresh.
    virtual bool refreshNeeded() { return true; }
    virtual void lapseRefreshFilter() {}
    // Runs stop before an instruction at one of these addresses (null:
    // none). The set must outlive the runs.
    virtual void setBreakpoints(const quill::debugger::BreakpointSet* set) { breakpoints_ = set; }
    // Memory as the plug-in sees it (kinds of contract/HostInterfaces.h),
    // for the debugger's own views; false when out of range or unsupported.
    virtual bool readMemory(LONG, uint32_t, uint8_t*, uint32_t) { return false; }
    virtual bool writeMemory(LONG, uint32_t, const uint8_t*, uint32_t) { return false; }
    // The program memory (byte addresses), and moving the program counter
    // (a debugger's "jump"); a machine without them refuses / ignores.
    virtual bool readFlash(uint32_t, uint8_t*, uint32_t) { return false; }
    virtual void setProgramCounter(uint32_t) {}
    // The simulated part, for the host's instruments; null for a machine
    // without one. Shared, so an instrument can let go of it after the
    // session that made it has ended.
    virtual std::shared_ptr<quill::sim::SimTarget> simulator() { return nullptr; }

    // What a batch of instructions ended with.
    struct Batch {
        uint64_t executed = 0;
        bool refreshDue = false;  // the last instruction executed needs event 3
        bool stopped = false;     // the program cannot go on (see fault())
        bool breakpoint = false;  // the next instruction is at a breakpoint
    };
    // Executes instructions until `count` ran, the cycle count reached
    // `untilCycle` (checked before each instruction), the program stopped,
    // an instruction needs event 3 (with `leaveOut` when the refresh
    // filter says so, without it after every instruction) or the next
    // instruction is at a breakpoint (the first one runs even so, so that a
    // run can leave the breakpoint it stands at). One call per batch
    // instead of two per instruction; this default asks step() and
    // refreshNeeded() one instruction at a time.
    virtual Batch runBatch(uint64_t untilCycle, uint64_t count, bool leaveOut);
    // Event 3 sent from within a run: called after an instruction, it
    // returns whether the run goes on.
    struct RefreshCall {
        bool (*call)(void* context) = nullptr;
        void* context = nullptr;
        bool operator()() const { return call(context); }
    };
    // As runBatch without leaving out, with `refresh` called after every
    // instruction executed, the last one included, instead of returning:
    // the run ends once `count` ran, at `untilCycle`, when the program
    // stopped, after the refresh of an instruction followed by a
    // breakpoint, or when `refresh` says so. The batch it returns has
    // refreshDue false, as every refresh was sent. A run refreshed after
    // every instruction then costs one call, not several per instruction;
    // this default asks runBatch one instruction at a time.
    virtual Batch runRefreshingEach(uint64_t untilCycle, uint64_t count, RefreshCall refresh);

protected:
    const quill::debugger::BreakpointSet* breakpoints_ = nullptr;
};

// When the debugger sends event 3 while it runs instructions.
enum class RefreshPolicy {
    // After every instruction.
    EveryInstruction,
    // After the instructions the plug-in's refresh filter asks for, and
    // after the last one before control returns to the user interface.
    // Single steps and resets are always refreshed.
    WhenNeeded,
};

class Debugger {
public:
    enum class State { Idle, Halted, Running };

    // plugin may be null (host without module); events then go nowhere.
    explicit Debugger(IGuiPlugin* plugin = nullptr) { setPlugin(plugin); }
    ~Debugger();
    Debugger(const Debugger&) = delete;
    Debugger& operator=(const Debugger&) = delete;

    // A plug-in that offers IPluginIdle (contract/PluginIdle.h) is told
    // whenever control goes back to the user interface or the caller: at
    // the end of every step, run, slice and reset.
    void setPlugin(IGuiPlugin* plugin);
    void setRefreshPolicy(RefreshPolicy policy) { policy_ = policy; }
    RefreshPolicy refreshPolicy() const { return policy_; }
    // Called with every event number sent (for the host's status display).
    void setEventListener(std::function<void(LONG)> listener) { listener_ = std::move(listener); }

    // Starts a session on `machine`: events 101 and 103, then one event 3
    // so that the components show the part's state before the first step.
    // A running session is stopped first.
    void start(std::unique_ptr<Machine> machine);
    // Ends the session: event 104. The machine is kept until the next start
    // because the plug-in may still hold its target object.
    void stop();

    // One instruction, then event 3. False when halted is not the state or
    // the program cannot go on.
    bool stepInto();

    // Free running: beginRun sends event 27, runSlice executes instructions
    // (each followed by event 3, as the refresh policy says) until the cycle count reaches
    // `untilCycle`, `budget` elapsed, breakRun was called or the program cannot go on. Returns the
    // number of instructions executed.
    bool beginRun();
    uint64_t runSlice(uint64_t untilCycle, std::chrono::steady_clock::duration budget);
    void breakRun();
    // While running, the plug-in's idle call (and with it what only shows a
    // value: the components' pictures) comes at most once per `interval`
    // of the wall clock, at the end of a slice: a user interface that runs
    // slices faster than its display repaints draws nothing twice. A slice
    // that ends the run, a break and every other command still idle at
    // once. Zero, the default: after every slice.
    void setRunIdleInterval(std::chrono::steady_clock::duration interval) {
        runIdleInterval_ = interval;
    }

    // Executes instructions (each followed by event 3, as the refresh policy
    // says) until the cycle count advanced by at least `cycles`. Works while halted (scripts) and
    // returns false when the program stopped early. Breakpoints do not stop it.
    bool runCycles(uint64_t cycles, const std::function<bool()>& keepGoing = {});
    // As runCycles, but a breakpoint stops it too.
    enum class RunEnd { Reached, Breakpoint, Stopped, Cancelled };
    RunEnd runToBreakpoint(uint64_t cycles, const std::function<bool()>& keepGoing = {});

    // Steps instructions while `more` (asked after each) answers true, at
    // most `maxInstructions`, stopping at a breakpoint too; event 3 as the
    // refresh policy says, and after the last one. For source-level steps.
    // False when not halted or the program stopped.
    bool stepWhile(const std::function<bool()>& more, uint64_t maxInstructions);

    // Runs (beginRun, runSlice, runToBreakpoint) stop before an instruction
    // at these addresses; null for none. The set must outlive the session.
    void setBreakpoints(const quill::debugger::BreakpointSet* set);
    // The program halted because the next instruction is at a breakpoint
    // (until anything else runs it).
    bool atBreakpoint() const { return atBreakpoint_; }
    // The debugger's own views wrote the target's memory while halted: the
    // components are refreshed so that they show the change.
    void memoryChanged();

    // Resets the part and sends event 3; the plug-in sees the cycle count
    // fall and starts its components over.
    bool reset();

    State state() const { return state_; }
    bool debugging() const { return state_ != State::Idle; }
    // Whether a run is under way: Run, or a wait, step over or run to a
    // line whose callback lets the user interface run meanwhile. Views show
    // a program that runs then, not a halt at every look.
    bool running() const { return state_ == State::Running || inRunFor_; }
    Machine* machine() const { return machine_.get(); }
    // The target of the current session; null while not debugging.
    ITargetAccess* target() const;
    uint64_t instructionsExecuted() const { return instructions_; }
    // Events 3 sent, and left out by the refresh filter, since start.
    uint64_t refreshesSent() const { return refreshes_; }
    uint64_t refreshesSkipped() const { return skipped_; }
    const std::string& lastFault() const { return fault_; }
    // The program's exit code once it has exited (see Machine::exitCode).
    std::optional<int> exitCode() const {
        return debugging() && machine_ ? machine_->exitCode() : std::nullopt;
    }
    // What the user is told of the stop: "Program exited (N)", or "Program
    // stopped: " and the fault.
    std::string stopText() const;

private:
    void send(LONG event);
    // One instruction, then event 3.
    bool stepOnce();
    // A batch of instructions (see Machine::runBatch), event 3 where the
    // policy and the filter need it. False when the program stopped. With
    // `whileRunning` a run refreshed after every instruction also ends
    // after the refresh that left the debugger halted or asked for a break.
    bool runInstructions(uint64_t untilCycle, uint64_t count, uint64_t* executed,
                         bool whileRunning);
    RunEnd runFor(uint64_t cycles, const std::function<bool()>& keepGoing, bool breakpoints);
    // The program stopped: the fault is kept, the debugger halts.
    void stopped();
    // Sends the event 3 left out after the last instruction, if any: the
    // plug-in then shows the state the user interface is about to see. The
    // idle call follows, or is left to a later one when `deferIdle`.
    void catchUp(bool deferIdle = false);
    // The user interface ran: the filter no longer holds.
    void userInterfaceRan();
    // Control goes back to the user interface or the caller.
    void idle();

    IGuiPlugin* plugin_ = nullptr;
    IPluginIdle* idle_ = nullptr;  // plugin_'s extension, when offered
    std::chrono::steady_clock::duration runIdleInterval_{};
    std::chrono::steady_clock::time_point lastIdle_{};
    bool idlePending_ = false;  // a slice left its idle call to a later one
    std::function<void(LONG)> listener_;
    std::unique_ptr<Machine> machine_;
    State state_ = State::Idle;
    bool inRunFor_ = false;
    bool breakRequested_ = false;
    const quill::debugger::BreakpointSet* breakpoints_ = nullptr;
    bool atBreakpoint_ = false;
    RefreshPolicy policy_ = RefreshPolicy::WhenNeeded;
    bool leftOut_ = false;  // the last instruction's event 3 was left out
    uint64_t instructions_ = 0;
    uint64_t refreshes_ = 0;
    uint64_t skipped_ = 0;
    std::string fault_;
};

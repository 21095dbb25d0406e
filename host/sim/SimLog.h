// Where simavr's log goes. simavr has one process-wide logger; its errors
// and warnings go to the target that is calling into simavr on this thread
// (a SimMessageSink: SimTarget::addMessage), to stderr when none is, and nowhere while the
// part table probes a core (a part simavr lacks is the table's to report).
#pragma once

#include <string>

struct avr_t;

namespace quill::sim {

// Takes simavr's messages for one target.
class SimMessageSink {
public:
    virtual void addMessage(std::string text) = 0;

protected:
    ~SimMessageSink() = default;
};

// Installs the logger once per process.
void installSimLogger();

// avr_init, with standard output held back while it runs: some of simavr's
// cores print their set-up with printf rather than through the logger (the
// ATmega8's "skipping PORTA"), which would land amid a headless run's
// results. Returns avr_init's result.
int initCore(avr_t* avr);

// Where simavr's messages on this thread go now (null: to stderr), and
// whether they are dropped. Constant-initialised, so that the scope below
// reaches them without a call: a run opens one for every batch.
extern constinit thread_local SimMessageSink* t_simLogTarget;
extern constinit thread_local bool t_simLogQuiet;

// While it lives, simavr's messages on this thread go to `target`.
class SimLogScope {
public:
    explicit SimLogScope(SimMessageSink* target) : SimLogScope(target, false) {}
    ~SimLogScope() {
        t_simLogTarget = previous_;
        t_simLogQuiet = previousQuiet_;
    }
    SimLogScope(const SimLogScope&) = delete;
    SimLogScope& operator=(const SimLogScope&) = delete;
    // A scope whose messages are dropped.
    static SimLogScope quiet();

private:
    SimLogScope(SimMessageSink* target, bool quiet)
        : previous_(t_simLogTarget), previousQuiet_(t_simLogQuiet) {
        t_simLogTarget = target;
        t_simLogQuiet = quiet;
    }
    SimMessageSink* previous_;
    bool previousQuiet_;
};

}  // namespace quill::sim

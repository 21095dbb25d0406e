// Where simavr's log goes. simavr has one process-wide logger; its errors
// and warnings go to the target that is calling into simavr on this thread
// (SimTarget::addMessage), to stderr when none is, and nowhere while the
// part table probes a core (a part simavr lacks is the table's to report).
#pragma once

namespace quill::sim {

class SimTarget;

// Installs the logger once per process.
void installSimLogger();

// While it lives, simavr's messages on this thread go to `target`.
class SimLogScope {
public:
    explicit SimLogScope(SimTarget* target);
    ~SimLogScope();
    SimLogScope(const SimLogScope&) = delete;
    SimLogScope& operator=(const SimLogScope&) = delete;
    // A scope whose messages are dropped.
    static SimLogScope quiet();

private:
    SimLogScope(SimTarget* target, bool quiet);
    SimTarget* previous_;
    bool previousQuiet_;
};

}  // namespace quill::sim

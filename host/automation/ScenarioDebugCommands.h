// Runs the scenario's source-level debugging commands (breakpoints, running
// to them, source line and variable checks, waiting for a GDB client, the
// program's exit code) on
// the main window's debug session, keeping the windows alive while the
// program runs.
#pragma once

#include <functional>

#include "host/automation/ScenarioExecutor.h"
#include "host/scenario/Scenario.h"

class HostBench;

class ScenarioDebugCommands {
public:
    ScenarioDebugCommands(HostBench& bench, ScenarioExecutor& executor)
        : bench_(bench), executor_(executor) {}

    using Result = ScenarioExecutor::Result;
    Result run(const quill::scenario::BreakCommand& c);
    Result run(const quill::scenario::ClearBreaksCommand& c);
    Result run(const quill::scenario::RunUntilBreakCommand& c);
    Result run(const quill::scenario::ExpectSourceCommand& c);
    Result run(const quill::scenario::ExpectVariableCommand& c);
    Result run(const quill::scenario::SetVariableCommand& c);
    Result run(const quill::scenario::WaitForDebuggerCommand& c);
    // The program's own verdict: its exit code (exit(n), a return from main).
    Result run(const quill::scenario::WaitExitCommand& c);
    Result run(const quill::scenario::ExpectExitCommand& c);

private:
    // What a long run asks now and then: the event loop runs, and the run
    // goes on until the scenario's time limit has passed (*timedOut then).
    std::function<bool()> untilDeadline(bool* timedOut);
    HostBench& bench_;
    ScenarioExecutor& executor_;
};

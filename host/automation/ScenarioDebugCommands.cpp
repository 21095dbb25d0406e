#include "host/automation/ScenarioDebugCommands.h"

#include <QApplication>
#include <chrono>

#include "host/workbench/HostBench.h"
#include "host/debugger/DebugSession.h"
#include "host/gdb/GdbLink.h"

namespace sc = quill::scenario;
using quill::debugger::DebugSession;
using Outcome = ScenarioExecutor::Outcome;

namespace {

ScenarioExecutor::Result converted(const DebugSession::Outcome& o) {
    const Outcome kind = o.kind == DebugSession::Outcome::Ok       ? Outcome::Ok
                         : o.kind == DebugSession::Outcome::Failed ? Outcome::Failed
                                                                   : Outcome::Error;
    return {kind, QString::fromStdString(o.message)};
}

}  // namespace

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::BreakCommand& c) {
    return converted(bench_.session().addBreakpoint(c.location));
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ClearBreaksCommand&) {
    return converted(bench_.session().clearBreakpoints());
}

std::function<bool()> ScenarioDebugCommands::untilDeadline(bool* timedOut) {
    return [this, timedOut] {
        QApplication::processEvents();
        *timedOut = executor_.pastDeadline();
        return !*timedOut;
    };
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::RunUntilBreakCommand& c) {
    bool timedOut = false;
    DebugSession::Outcome o =
        bench_.session().runUntilBreak(c.timeoutCycles, untilDeadline(&timedOut));
    QApplication::processEvents();
    if (timedOut) {
        executor_.markTimedOut();
        o.message += ": " + executor_.timeLimitMessage().toStdString();
    }
    return converted(o);
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ExpectSourceCommand& c) {
    return converted(bench_.session().expectSource(c.file, c.line));
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ExpectVariableCommand& c) {
    return converted(bench_.session().expectVariable(c.name, c.value));
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::SetVariableCommand& c) {
    Result r = converted(bench_.session().setVariable(c.name, c.value));
    QApplication::processEvents();
    return r;
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::WaitForDebuggerCommand& c) {
    quill::gdb::GdbLink& gdb = bench_.gdb();
    if (!gdb.server().listening())
        return {Outcome::Error, "no GDB server runs (start quill-host with --gdb)"};
    using Clock = ScenarioExecutor::Clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(c.seconds));
    bool timedOut = false;
    const int attachesBefore = gdb.server().attachCount();
    const uint64_t packetsBefore = gdb.server().packetsServed();
    const bool detached = gdb.serveUntilDetached([&] {
        QApplication::processEvents();
        timedOut = executor_.pastDeadline();
        return !timedOut && Clock::now() < deadline;
    });
    QApplication::processEvents();
    if (timedOut) {
        executor_.markTimedOut();
        return {Outcome::Failed, "stopped waiting for a debugger: " + executor_.timeLimitMessage()};
    }
    if (!detached) {
        return {Outcome::Failed,
                QString("no debugger attached and detached within %1 s (%2 attached)")
                    .arg(c.seconds)
                    .arg(gdb.server().attachCount() - attachesBefore)};
    }
    return {Outcome::Ok,
            QString("a debugger attached and detached after %1 packets; halted at "
                    "PC 0x%2")
                .arg(gdb.server().packetsServed() - packetsBefore)
                .arg(bench_.debugger().machine()->programCounter(), 4, 16, QChar('0'))};
}

namespace {

QString cyclesText(const Machine& machine) {
    return QString("after %1 cycles").arg(machine.cycles());
}

}  // namespace

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::WaitExitCommand& c) {
    Debugger& debugger = bench_.debugger();
    if (!debugger.debugging()) return {Outcome::Error, "the program is not being debugged"};
    if (!debugger.exitCode()) {
        bool timedOut = false;
        // The waits pass over breakpoints; a run of whole batches, as wait
        // cycles does, ends where the program exits.
        debugger.runCycles(c.timeoutCycles, untilDeadline(&timedOut));
        QApplication::processEvents();
        if (timedOut) {
            executor_.markTimedOut();
            return {Outcome::Failed,
                    "stopped waiting for the program to exit: " + executor_.timeLimitMessage()};
        }
    }
    const Machine& machine = *debugger.machine();
    if (const std::optional<int> code = debugger.exitCode())
        return {Outcome::Ok, QString("the program exited with %1 %2").arg(*code).arg(cyclesText(machine))};
    if (!debugger.lastFault().empty())
        return {Outcome::Failed, QString("the program stopped without exiting: %1")
                                     .arg(QString::fromStdString(debugger.lastFault()))};
    return {Outcome::Failed, QString("the program did not exit within %1 cycles (PC 0x%2)")
                                 .arg(c.timeoutCycles)
                                 .arg(machine.programCounter(), 4, 16, QChar('0'))};
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ExpectExitCommand& c) {
    Debugger& debugger = bench_.debugger();
    if (!debugger.debugging()) return {Outcome::Error, "the program is not being debugged"};
    const std::optional<int> code = debugger.exitCode();
    if (!code) {
        return {Outcome::Failed,
                debugger.lastFault().empty()
                    ? QString("the program has not exited (it runs at PC 0x%1)")
                          .arg(debugger.machine()->programCounter(), 4, 16, QChar('0'))
                    : "the program stopped without exiting: " +
                          QString::fromStdString(debugger.lastFault())};
    }
    // r24:r25 hold 16 bits: -1 and 65535 are the same code.
    if (static_cast<uint16_t>(*code) != static_cast<uint16_t>(c.code))
        return {Outcome::Failed,
                QString("the program exited with %1, expected %2").arg(*code).arg(c.code)};
    return {Outcome::Ok, QString("the program exited with %1").arg(*code)};
}

#include "host/debugger/ScenarioDebugCommands.h"

#include <QApplication>
#include <chrono>

#include "host/app/MainWindow.h"

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
    return converted(window_.session().addBreakpoint(c.location));
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ClearBreaksCommand&) {
    return converted(window_.session().clearBreakpoints());
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::RunUntilBreakCommand& c) {
    bool timedOut = false;
    DebugSession::Outcome o = window_.session().runUntilBreak(c.timeoutCycles, [&] {
        QApplication::processEvents();
        timedOut = executor_.pastDeadline();
        return !timedOut;
    });
    QApplication::processEvents();
    if (timedOut) {
        executor_.markTimedOut();
        o.message += ": " + executor_.timeLimitMessage().toStdString();
    }
    return converted(o);
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ExpectSourceCommand& c) {
    return converted(window_.session().expectSource(c.file, c.line));
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::ExpectVariableCommand& c) {
    return converted(window_.session().expectVariable(c.name, c.value));
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::SetVariableCommand& c) {
    Result r = converted(window_.session().setVariable(c.name, c.value));
    QApplication::processEvents();
    return r;
}

ScenarioDebugCommands::Result ScenarioDebugCommands::run(const sc::WaitForDebuggerCommand& c) {
    quill::gdb::GdbLink& gdb = window_.gdb();
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
    return {Outcome::Ok, QString("a debugger attached and detached after %1 packets; halted at "
                                 "PC 0x%2")
                             .arg(gdb.server().packetsServed() - packetsBefore)
                             .arg(window_.debugger().machine()->programCounter(), 4, 16,
                                  QChar('0'))};
}

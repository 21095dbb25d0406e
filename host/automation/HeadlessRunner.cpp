#include "host/automation/HeadlessRunner.h"

#include <QMainWindow>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <type_traits>

#include "contract/ResourceIds.h"
#include "host/automation/HeadlessReporter.h"
#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/lab/ui/LabSession.h"
#include "host/gdb/GdbLink.h"
#include "host/instruments/InstrumentHub.h"
#include "host/workbench/HostBench.h"
#include "host/automation/RunWatchdog.h"
#include "host/automation/StepDispatch.h"
#include "host/debugger/ui/DebuggerViews.h"
#include "host/instruments/Vcd.h"
#include "host/report/RunReport.h"
#include "host/workbench/UnattendedDialogs.h"
#include "host/scenario/Scenario.h"

namespace sc = quill::scenario;

namespace {

using Outcome = ScenarioExecutor::Outcome;
using Result = ScenarioExecutor::Result;

// When the run is over, the events still queued (layout and paint requests
// of the windows opened just before a time limit, thousands of them) are
// dropped at once: left queued, each window's destruction would search the
// whole queue for its own, which took minutes for 10,000 windows. Deferred
// deletions are carried out first, so that nothing is leaked.
struct DropPendingEvents {
    DropPendingEvents() = default;
    DropPendingEvents(const DropPendingEvents&) = delete;
    DropPendingEvents& operator=(const DropPendingEvents&) = delete;
    ~DropPendingEvents() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::removePostedEvents(nullptr);
    }
};

}  // namespace

int RunHeadless(const HostOptions& given, std::FILE* out, std::FILE* err,
                const BenchMaker& makeBench) {
    // The time limit counts from here: loading the module and opening the
    // windows belong to the run.
    const auto startTime = ScenarioExecutor::Clock::now();
    const auto deadline =
        startTime + std::chrono::duration_cast<ScenarioExecutor::Clock::duration>(
                        std::chrono::duration<double>(std::max(given.timeLimitSeconds, 0.0)));
    auto pastDeadline = [&] {
        return given.timeLimitSeconds > 0 && ScenarioExecutor::Clock::now() >= deadline;
    };
    // The files the run writes at its end are checked before it starts: a
    // file they may not replace would otherwise be found after a long run.
    if (!given.junit.empty()) {
        if (const std::string why = quill::report::junitRefusal(given.junit); !why.empty()) {
            std::fprintf(err, "quill-host: %s\n", why.c_str());
            return 2;
        }
    }
    RunWatchdog watchdog(given, deadline, err);
    HeadlessReporter reporter(given, out, err);
    reporter.watchedBy(watchdog);
    if (!given.vcd.empty()) {
        const std::string why =
            quill::files::replaceRefusal(given.vcd, quill::instruments::VcdText::kFileKind);
        if (!why.empty()) {
            std::fprintf(err, "quill-host: --vcd: %s\n", why.c_str());
            return reporter.refuse(0, "--vcd", why);
        }
    }
    // A lab gives the set-up the scenario starts from.
    std::optional<quill::lab::Lab> lab;
    if (!given.lab.empty()) {
        std::string why;
        lab = quill::lab::loadLab(given.lab, &why, FirmwareSearchFolders());
        if (!lab) {
            std::fprintf(err, "quill-host: %s\n", why.c_str());
            return reporter.refuse(0, "lab", why);
        }
        for (const std::string& note : lab->notes)
            std::fprintf(err, "quill-host: warning: %s\n", note.c_str());
    }
    // The scenario: every malformed line is reported with file and line.
    // It may name the lab's windows.
    sc::ParseOptions parseOptions;
    if (lab) {
        for (const quill::lab::LabWindow& w : lab->windows) {
            if (const CommandInfo* info = CommandInfoOf(std::string_view(w.command)))
                parseOptions.openWindows.push_back(static_cast<sc::ComponentKind>(info->command));
        }
    }
    {
        // The boards `board` names: the tables beside the part files.
        std::vector<std::string> boardErrors;
        const std::string install = FindInstallDirectory(given.installDir);
        if (!install.empty())
            parseOptions.boards = quill::boards::loadBoards(
                install + "/" + kPartDescriptionFolder + "/boards", &boardErrors);
        for (const std::string& e : boardErrors) std::fprintf(err, "quill-host: %s\n", e.c_str());
        parseOptions.board = given.board;  // --board: its pin names hold from the first line
    }
    sc::ParseResult parsed = sc::parseFile(given.scenario, parseOptions);
    if (!parsed.ok()) {
        for (const sc::Diagnostic& d : parsed.errors) {
            std::fprintf(err, "%s\n", d.text().c_str());
            reporter.report().add(
                {d.line, "scenario line", d.message, quill::report::Verdict::Error, false, 0});
        }
        std::fprintf(err, "quill-host: %zu error(s) in %s\n", parsed.errors.size(),
                     given.scenario.c_str());
        return reporter.finish(2);
    }
    const sc::Script& script = parsed.script;

    auto scenarioSets = [&](auto* tag) {
        using T = std::remove_pointer_t<decltype(tag)>;
        return std::any_of(script.steps.begin(), script.steps.end(),
                           [](const sc::Step& s) { return std::holds_alternative<T>(s.command); });
    };
    // The command line decides; the scenario fills in what it leaves open,
    // and the lab what both leave open.
    HostOptions options = given;
    if (!options.partGiven) {
        options.part = lab && !scenarioSets(static_cast<sc::PartCommand*>(nullptr))
                           ? lab->part
                           : script.part();
    }
    if (options.firmware.empty() && lab && !script.firmware()) options.firmware = lab->firmware;
    if (options.board.empty()) {
        // A board line: the session runs as that board (its pin names).
        for (const sc::Step& step : script.steps) {
            if (auto* b = std::get_if<sc::BoardCommand>(&step.command)) options.board = b->name;
        }
    }
    if (!options.frequencyGiven && lab) options.frequencyMHz = lab->frequencyMHz;
    // The lab's board names the pins while the lab's part runs.
    if (options.board.empty() && lab && options.part == lab->part) options.board = lab->board;
    if (options.firmware.empty()) {
        if (const sc::FirmwareCommand* fw = script.firmware()) {
            // Beside the scenario first, then the build's firmware folder
            // (bin/../firmware), then the current folder.
            options.firmware = script.resolvePath(fw->path, FirmwareSearchFolders());
        }
    }
    if (!options.frequencyGiven) {
        if (script.boardHertz() != 0) options.frequencyMHz = script.boardHertz() / 1e6;
        for (const sc::Step& step : script.steps) {
            if (auto* f = std::get_if<sc::FrequencyCommand>(&step.command)) {
                options.frequencyMHz = f->hertz / 1e6;
            }
        }
    }
    auto refuse = [&](const std::string& why) {
        std::fprintf(err, "quill-host: %s\n", why.c_str());
        return reporter.refuse(0, "set-up", why);
    };
    if (options.firmware.empty()) {
        return refuse("no firmware: give --firmware or a firmware line in " + given.scenario);
    }

    // The set-up counts against the time limit: it stops between its steps
    // once the limit has passed, as the opening of a lab's windows does.
    auto timeLimitIn = [&](const char* phase) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", options.timeLimitSeconds);
        return reporter.setupTimedOut(std::string("the run took longer than its time limit of ") +
                                          limit + " s (--time-limit) while " + phase,
                                      script);
    };
    std::string error;
    watchdog.phase("preparing the part and the program");
    HostEnvironment env = PrepareHost(options, &error);
    if (!error.empty()) return refuse(error);
    for (const std::string& warning : env.warnings)
        std::fprintf(err, "quill-host: warning: %s\n", warning.c_str());
    const std::unique_ptr<HostBench> bench = makeBench(env.config, env.factory);
    HostBench& window = *bench;
    // Runs before the window is destroyed, however the run ends.
    const DropPendingEvents dropPendingEvents;
    // Nobody answers a dialog in a headless run: a message box's text goes
    // to the output and its default button is pressed; any other modal
    // window is closed, and the run fails with it.
    UnattendedDialogs unattended([&](const QString& line) {
        window.hostMessage(line);
        std::fprintf(out, "  note: %s\n", qPrintable(line));
    });
    // A source file not on this machine is a line in the output, no dialog.
    if (auto* views = window.mainWidget().findChild<DebuggerViews*>("debuggerViews")) {
        QObject::connect(views, &DebuggerViews::sourceMissing, &window.mainWidget(), [out](const QString& line) {
            std::fprintf(out, "  note: %s\n", qPrintable(line));
        });
    }
    auto intrusion = [&unattended](qsizetype before) {
        return unattended.intruders().size() > before ? unattended.intruders().mid(before).join(", ")
                                                      : QString();
    };
    window.setRunMode(RunPacer::Mode::AsFastAsPossible);
    window.mainWidget().show();
    QApplication::processEvents();
    QString why;
    watchdog.phase("loading the plug-in");
    if (!AttachModule(window, options, &why)) return refuse(why.toStdString());
    if (pastDeadline()) return timeLimitIn("loading the plug-in");
    watchdog.phase("starting the program");
    if (!window.startDebugging(&why)) return refuse(why.toStdString());
    if (pastDeadline()) return timeLimitIn("starting the program");
    watchdog.phase("opening the lab's windows");
    if (lab && !OpenLabWindows(window, *lab, &why, pastDeadline)) {
        if (pastDeadline()) return timeLimitIn("opening the lab's windows");
        return refuse("the lab's windows: " + why.toStdString());
    }
    if (const QString modal = intrusion(0); !modal.isEmpty())
        return refuse("a modal window opened while the run was set up: " + modal.toStdString());
    char mhz[32];
    std::snprintf(mhz, sizeof mhz, "%g", env.config.frequencyMHz);
    reporter.info("quill-host: %s\n", env.config.part + " at " + mhz + " MHz, firmware " +
                                          env.config.firmware + ", scenario " + given.scenario);
    if (options.gdbPort) {
        std::string gdbError;
        if (!window.gdb().listen(*options.gdbPort, &gdbError))
            return refuse("GDB server: " + gdbError);
        // Always printed (also with --quiet): a client needs the port.
        std::fprintf(out, "quill-host: GDB server listening on port %u\n",
                     unsigned(window.gdb().server().port()));
        std::fflush(out);
    }

    StepDispatch runner(window, script, QString::fromStdString(options.screenshots));
    runner.steps().firmwareOverridden = !given.firmware.empty();
    if (options.timeLimitSeconds > 0) runner.executor().setDeadline(deadline, options.timeLimitSeconds);
    watchdog.phase("running the scenario");
    for (std::optional<Result> r :
         {runner.instruments().prepare(script),
          options.vcd.empty() ? std::optional<Result>()
                              : runner.instruments().startWaveform(
                                    QString::fromStdString(options.vcd),
                                    QString::fromStdString(options.vcdSignals))}) {
        if (!r) continue;
        if (r->outcome != Outcome::Ok) return refuse(r->message.toStdString());
        reporter.info("quill-host: %s\n", r->message.toStdString());
    }
    bool aborted = false, timedOut = false;
    std::string stoppedBy;
    for (const sc::Step& step : script.steps) {
        if (!stoppedBy.empty()) {
            reporter.notRun(step, stoppedBy);
            continue;
        }
        if (runner.executor().pastDeadline()) {
            timedOut = true;
            stoppedBy = runner.executor().timeLimitMessage().toStdString();
            reporter.notRun(step, stoppedBy);
            continue;
        }
        const auto begun = ScenarioExecutor::Clock::now();
        const qsizetype intrudersBefore = unattended.intruders().size();
        Result r = runner.run(step.command);
        if (r.outcome == Outcome::Ok && runner.executor().timedOut()) {
            // The step ran into the time limit: it did not finish.
            r = {Outcome::Failed, runner.executor().timeLimitMessage()};
        }
        if (const QString modal = intrusion(intrudersBefore); !modal.isEmpty()) {
            r = {Outcome::Error, "a modal window opened, which nobody can answer in a headless "
                                 "run (it was closed): " + modal};
        }
        reporter.step(
            step, r, std::chrono::duration<double>(ScenarioExecutor::Clock::now() - begun).count());
        if (r.outcome == Outcome::Error) {
            aborted = true;
            stoppedBy = "the run stopped at line " + std::to_string(step.line);
        } else if (runner.executor().timedOut()) {
            timedOut = true;
            stoppedBy = runner.executor().timeLimitMessage().toStdString();
        }
    }
    if (!options.vcd.empty() &&
        window.instruments().recordingWaveform(QString::fromStdString(options.vcd))) {
        const Result r = runner.instruments().stopWaveform(QString::fromStdString(options.vcd));
        if (r.outcome == Outcome::Ok) {
            reporter.info("quill-host: --vcd: %s\n", r.message.toStdString());
        } else {
            reporter.report().add({0, "--vcd", r.message.toStdString(),
                                   quill::report::Verdict::Error, false, 0});
            std::fprintf(err, "quill-host: --vcd: %s\n", qPrintable(r.message));
        }
    }
    std::fflush(out);
    // Screenshots asked for on the command line are part of the result: a
    // run that could not write them does not pass.
    bool screenshotsFailed = false;
    if (!options.screenshots.empty()) {
        why.clear();
        QStringList files =
            window.saveScreenshots(QString::fromStdString(options.screenshots), "final-", &why);
        const std::string saved = std::to_string(files.size()) + " final screenshots";
        if (why.isEmpty()) {
            reporter.info("quill-host: %s\n", "saved " + saved + " in " + options.screenshots);
        } else {
            reporter.report().add({0, "final screenshots",
                                   why.toStdString() + " (" + saved + " saved)",
                                   quill::report::Verdict::Error, false, 0});
            std::fprintf(err, "quill-host: final screenshots: %s (%s saved)\n", qPrintable(why),
                         saved.c_str());
            screenshotsFailed = true;
        }
    }
    watchdog.phase("ending the run");
    window.stopDebugging();
    reporter.summary();
    if (aborted) {
        std::fprintf(err, "quill-host: scenario stopped by an error\n");
        return reporter.finish(2);
    }
    if (timedOut) {
        std::fprintf(err, "quill-host: scenario stopped: %s\n",
                     qPrintable(runner.executor().timeLimitMessage()));
        return reporter.finish(1);
    }
    if (screenshotsFailed) {
        std::fprintf(err, "quill-host: the final screenshots could not be written\n");
        return reporter.finish(2);
    }
    return reporter.finish(reporter.report().summary().passed() ? 0 : 1);
}

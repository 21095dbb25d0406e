#include "host/app/HeadlessRunner.h"

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
#include "host/app/HostSetup.h"
#include "host/app/InstrumentSteps.h"
#include "host/app/LabSession.h"
#include "host/app/MainWindow.h"
#include "host/app/RunWatchdog.h"
#include "host/app/ScenarioExecutor.h"
#include "host/app/SettingsReader.h"
#include "host/debugger/ScenarioDebugCommands.h"
#include "host/debugger/ui/DebuggerViews.h"
#include "host/instruments/Vcd.h"
#include "host/report/RunReport.h"
#include "host/app/UnattendedDialogs.h"
#include "host/scenario/Scenario.h"

namespace sc = quill::scenario;

namespace {

using Outcome = ScenarioExecutor::Outcome;
using Result = ScenarioExecutor::Result;

// The setup identifier of the command that opens a window of that kind.
const char* commandIdOf(sc::ComponentKind kind) { return kCommands[sc::commandOf(kind)].id; }

// The dialog changes of a `settings` line, through the shared key table.
std::vector<driver::DialogInput> dialogInputs(const sc::SettingsCommand& s) {
    return driver::dialogInputs(sc::settingFields(s.kind), sc::settingPairs(s));
}
template <typename SheetCommand>
std::vector<driver::DialogInput> sheetInputs(const char* sheet, const SheetCommand& c) {
    return driver::dialogInputs(*sc::sheetFields(sheet), sc::settingPairs(c));
}

class Runner {
public:
    Runner(MainWindow& window, const HostOptions& options, const sc::Script& script)
        : window_(window),
          options_(options),
          script_(script),
          executor_(window, QString()),
          instruments_(window, executor_) {}

    ScenarioExecutor& executor() { return executor_; }
    InstrumentSteps& instruments() { return instruments_; }
    // The scenario's firmware line gave way to --firmware: its step says so.
    bool firmwareOverridden = false;

    std::optional<bool> holds(const sc::Condition& condition) {
        return std::visit(
            [&](const auto& c) -> std::optional<bool> {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, sc::LcdLineCondition> ||
                              std::is_same_v<T, sc::LcdCursorCondition> ||
                              std::is_same_v<T, sc::LcdProtocolCondition> ||
                              std::is_same_v<T, sc::LcdPictureCondition>) {
                    return executor_.expectLcd(lcdCheck(c)).outcome == Outcome::Ok;
                } else {
                    int index = executor_.registerIndex(QString::fromStdString(c.reg));
                    auto value = executor_.readIo(index);
                    if (!value) return std::nullopt;
                    if constexpr (std::is_same_v<T, sc::PinCondition>) {
                        return (((*value >> c.bit) & 1) != 0) == c.level;
                    } else {
                        return (*value & c.mask) == (c.value & c.mask);
                    }
                }
            },
            condition);
    }

    static ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdLineCondition& c) {
        return {QString::fromStdString(c.window), c.line, QString::fromStdString(c.text), false, 0};
    }
    static ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdCursorCondition& c) {
        return {QString::fromStdString(c.window), c.none ? -1 : c.line, {}, true, c.column};
    }
    static ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdProtocolCondition& c) {
        return {QString::fromStdString(c.window), 0, {}, false, 0, true, c.warned};
    }
    ScenarioExecutor::LcdCheck lcdCheck(const sc::LcdPictureCondition& c) const {
        ScenarioExecutor::LcdCheck check{QString::fromStdString(c.window), 0, {}, false, 0};
        check.picture = QString::fromStdString(script_.resolvePath(c.path));
        return check;
    }

    Result expect(const sc::Condition& condition) {
        return std::visit(
            [&](const auto& c) -> Result {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, sc::LcdLineCondition> ||
                              std::is_same_v<T, sc::LcdCursorCondition> ||
                              std::is_same_v<T, sc::LcdProtocolCondition> ||
                              std::is_same_v<T, sc::LcdPictureCondition>) {
                    return executor_.expectLcd(lcdCheck(c));
                } else {
                    QString reg = QString::fromStdString(c.reg);
                    if constexpr (std::is_same_v<T, sc::PinCondition>) {
                        return executor_.expectRegister(reg, c.bit, c.level ? 1 : 0);
                    } else {
                        if (c.mask == 0xFF)
                            return executor_.expectRegister(reg, std::nullopt, c.value);
                        int index = executor_.registerIndex(reg);
                        auto value = executor_.readIo(index);
                        if (!value)
                            return {Outcome::Error, QString("unknown register \"%1\"").arg(reg)};
                        if ((*value & c.mask) == (c.value & c.mask)) {
                            return {Outcome::Ok,
                                    QString("%1 is 0x%2").arg(reg).arg(*value, 2, 16, QChar('0'))};
                        }
                        return {Outcome::Failed,
                                QString("%1 is 0x%2, expected 0x%3 in the bits 0x%4")
                                    .arg(reg)
                                    .arg(*value, 2, 16, QChar('0'))
                                    .arg(c.value, 2, 16, QChar('0'))
                                    .arg(c.mask, 2, 16, QChar('0'))};
                    }
                }
            },
            condition);
    }

    QString screenshotDir(const std::string& directory) {
        QString base = QString::fromStdString(options_.screenshots);
        QString sub = QString::fromStdString(directory);
        if (base.isEmpty()) return sub.isEmpty() ? QString("screenshots") : sub;
        if (sub.isEmpty() || QDir::isAbsolutePath(sub)) return sub.isEmpty() ? base : sub;
        return QDir(base).filePath(sub);
    }

    Result run(const sc::Command& command) {
        if (auto r = instruments_.run(command)) return *r;
        const bool wait = InstrumentSteps::isWait(command);
        if (wait) instruments_.waitBegins();
        Result r = runCommand(command);
        if (wait) instruments_.waitEnds();
        return r;
    }

    Result runCommand(const sc::Command& command) {
        return std::visit(
            [&](const auto& c) -> Result {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, sc::PartCommand> ||
                              std::is_same_v<T, sc::FirmwareCommand> ||
                              std::is_same_v<T, sc::FrequencyCommand>) {
                    if constexpr (std::is_same_v<T, sc::FirmwareCommand>) {
                        if (firmwareOverridden)
                            return {Outcome::Ok,
                                    QString("--firmware runs %1 instead")
                                        .arg(QString::fromStdString(window_.config().firmware))};
                    }
                    return {Outcome::Ok, "applied before the program started"};
                } else if constexpr (std::is_same_v<T, sc::OpenCommand>) {
                    Result r = executor_.open(commandIdOf(c.kind));
                    if (r.outcome == Outcome::Ok &&
                        !driver::findForm(window_, QString::fromStdString(c.window))) {
                        return {Outcome::Error,
                                QString("no window \"%1\" after opening it (open: %2)")
                                    .arg(QString::fromStdString(c.window),
                                         driver::componentNames(window_).join(", "))};
                    }
                    return r;
                } else if constexpr (std::is_same_v<T, sc::SettingsCommand>) {
                    return executor_.configure(QString::fromStdString(c.window), dialogInputs(c));
                } else if constexpr (std::is_same_v<T, sc::ClickCommand>) {
                    const int lever = c.kind == sc::ComponentKind::Switch
                                          ? ids::sw::kPicture
                                          : ids::knightrider::kSwitch;
                    return executor_.click(QString::fromStdString(c.window), lever);
                } else if constexpr (std::is_same_v<T, sc::KeyCommand>) {
                    int id = ids::keypad::KeyControlOf(c.key);
                    if (id < 0) return {Outcome::Error, QString("no keypad key '%1'").arg(c.key)};
                    QString window = QString::fromStdString(c.window);
                    return executor_.hold(window, id, c.press);
                } else if constexpr (std::is_same_v<T, sc::WaitCyclesCommand>) {
                    return executor_.waitCycles(c.cycles);
                } else if constexpr (std::is_same_v<T, sc::WaitTimeCommand>) {
                    return executor_.waitMilliseconds(c.milliseconds);
                } else if constexpr (std::is_same_v<T, sc::WaitUntilCommand>) {
                    return executor_.waitUntil(
                        [&] { return holds(c.condition); }, c.timeoutCycles,
                        QString::fromStdString(sc::describe(sc::ExpectCommand{c.condition})));
                } else if constexpr (std::is_same_v<T, sc::ResetCommand>) {
                    return executor_.reset();
                } else if constexpr (std::is_same_v<T, sc::ExpectCommand>) {
                    return expect(c.condition);
                } else if constexpr (std::is_same_v<T, sc::ExpectLedCommand>) {
                    return executor_.expectLed(QString::fromStdString(c.window), c.on ? 1 : 0);
                } else if constexpr (std::is_same_v<T, sc::ExpectBarCommand>) {
                    return executor_.expectBar(QString::fromStdString(c.window), c.segments);
                } else if constexpr (std::is_same_v<T, sc::ExpectOutputCommand>) {
                    return executor_.expectOutput(QString::fromStdString(c.text));
                } else if constexpr (std::is_same_v<T, sc::AutostepCommand>) {
                    return executor_.autostep(c.on);
                } else if constexpr (std::is_same_v<T, sc::ExpectAutostepCommand>) {
                    return executor_.expectAutostep(c.on);
                } else if constexpr (std::is_same_v<T, sc::IdleCommand>) {
                    return executor_.idle(c.milliseconds);
                } else if constexpr (std::is_same_v<T, sc::EventCommand>) {
                    return executor_.event(c.number);
                } else if constexpr (std::is_same_v<T, sc::LoggerCommand>) {
                    ScenarioExecutor::LoggerInputs in;
                    if (c.registers) {
                        in.registers.emplace();
                        for (const std::string& r : *c.registers)
                            in.registers->push_back(QString::fromStdString(r));
                    }
                    if (c.file) in.file = QString::fromStdString(*c.file);
                    if (c.directory) in.directory = QString::fromStdString(*c.directory);
                    in.enabled = c.enabled;
                    in.toFile = c.toFile;
                    in.limitMegabytes = c.limitMegabytes;
                    return executor_.logger(in);
                } else if constexpr (std::is_same_v<T, sc::ExpectFileCommand>) {
                    return executor_.expectFile(QString::fromStdString(c.path),
                                                QString::fromStdString(c.text));
                } else if constexpr (std::is_same_v<T, sc::GeneralCommand>) {
                    return executor_.pluginSettings(sheetInputs("general", c));
                } else if constexpr (std::is_same_v<T, sc::ElectricalCommand>) {
                    return executor_.pluginSettings(sheetInputs("electrical", c));
                } else if constexpr (std::is_same_v<T, sc::SetSliderCommand>) {
                    const QString window = QString::fromStdString(c.window);
                    if (c.millivolts) {
                        return executor_.typeAndRelease(
                            window, ids::slider::kMillivoltEdit,
                            QString::number(static_cast<long>(std::lround(c.value))),
                            ids::slider::kTrackbar);
                    }
                    return executor_.slide(window, ids::slider::kTrackbar,
                                           static_cast<int>(std::lround(c.value)));
                } else if constexpr (std::is_same_v<T, sc::SetTemperatureCommand>) {
                    return executor_.slide(QString::fromStdString(c.window),
                                           ids::beerbasement::kTrackbar, c.celsius);
                } else if constexpr (std::is_same_v<T, sc::ExpectChannelCommand>) {
                    return executor_.expectChannel(QString::fromStdString(c.window), c.channel,
                                                   c.value, c.millivolts);
                } else if constexpr (std::is_same_v<T, sc::ExpectTextCommand>) {
                    return executor_.expectText(QString::fromStdString(c.window), c.control,
                                                QString::fromStdString(c.text));
                } else if constexpr (ScenarioDebugCommands::handles<T>) {
                    return debug_.run(c);
                } else if constexpr (std::is_same_v<T, sc::ScreenshotCommand>) {
                    QString why;
                    QString dir = screenshotDir(c.directory);
                    QStringList files = window_.saveScreenshots(
                        dir, QString("%1-").arg(++shots_, 2, 10, QChar('0')), &why);
                    if (!why.isEmpty()) return {Outcome::Error, why};
                    return {Outcome::Ok,
                            QString("saved %1 pictures in %2").arg(files.size()).arg(dir)};
                } else {
                    return {Outcome::Error, "unsupported command"};
                }
            },
            command);
    }

private:
    MainWindow& window_;
    const HostOptions& options_;
    const sc::Script& script_;
    ScenarioExecutor executor_;
    ScenarioDebugCommands debug_{window_, executor_};
    InstrumentSteps instruments_;
    int shots_ = 0;
};

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

bool isCheck(const sc::Command& command) {
    return std::holds_alternative<sc::ExpectCommand>(command) ||
           std::holds_alternative<sc::ExpectLedCommand>(command) ||
           std::holds_alternative<sc::ExpectBarCommand>(command) ||
           std::holds_alternative<sc::ExpectOutputCommand>(command) ||
           std::holds_alternative<sc::ExpectAutostepCommand>(command) ||
           std::holds_alternative<sc::ExpectFileCommand>(command) ||
           std::holds_alternative<sc::ExpectChannelCommand>(command) ||
           std::holds_alternative<sc::ExpectTextCommand>(command) ||
           std::holds_alternative<sc::WaitUntilCommand>(command) ||
           std::holds_alternative<sc::ExpectSourceCommand>(command) ||
           std::holds_alternative<sc::ExpectVariableCommand>(command) ||
           std::holds_alternative<sc::RunUntilBreakCommand>(command) ||
           std::holds_alternative<sc::WaitExitCommand>(command) ||
           std::holds_alternative<sc::ExpectExitCommand>(command) ||
           InstrumentSteps::isCheck(command);
}

// Reports a headless run as it goes: every step on the console (only the
// failed ones with --quiet), and at the end the summary and, with --junit,
// the JUnit file.
class Reporter {
public:
    Reporter(const HostOptions& options, std::FILE* out, std::FILE* err)
        : options_(options),
          out_(out),
          err_(err),
          report_(QFileInfo(QString::fromStdString(options.scenario)).fileName().toStdString()) {}

    quill::report::RunReport& report() { return report_; }

    // A line for the console that is not a step's ("firmware loaded...").
    void info(const char* format, const std::string& text) {
        if (!options_.quiet) std::fprintf(out_, format, text.c_str());
    }

    void step(const sc::Step& step, const Result& r, double seconds) {
        using quill::report::Verdict;
        const Verdict verdict = r.outcome == Outcome::Ok       ? Verdict::Passed
                                : r.outcome == Outcome::Failed ? Verdict::Failed
                                                               : Verdict::Error;
        record(step.line, sc::describe(step.command), r.message.toStdString(), verdict,
               isCheck(step.command), seconds);
    }

    void notRun(const sc::Step& step, const std::string& why) {
        record(step.line, sc::describe(step.command), why, quill::report::Verdict::NotRun,
               isCheck(step.command), 0);
    }

    // The run could not start: the reason is the report's one error.
    int refuse(int line, const std::string& what, const std::string& why) {
        record(line, what, why, quill::report::Verdict::Error, false, 0);
        return finish(2);
    }

    // The time limit ran out while the run was set up: none of the steps ran.
    int setupTimedOut(const std::string& why, const sc::Script& script) {
        std::fprintf(err_, "quill-host: %s\n", why.c_str());
        record(0, "set-up", why, quill::report::Verdict::Error, false, 0);
        for (const sc::Step& step : script.steps) notRun(step, why);
        summary();
        return finish(1);
    }

    void watchedBy(RunWatchdog& watchdog) { watchdog_ = &watchdog; }

    void summary() {
        const bool passed = report_.summary().passed();
        std::fprintf(passed ? out_ : err_, "quill-host: %s\n", report_.summaryLine().c_str());
    }

    // Writes the JUnit file when asked for; a report that cannot be written
    // turns the verdict into 2, as CI would otherwise read an old one.
    int finish(int code) {
        std::fflush(out_);
        if (!options_.junit.empty()) {
            std::string why;
            if (!quill::report::writeJUnit(report_, options_.junit, &why)) {
                std::fprintf(err_, "quill-host: %s\n", why.c_str());
                code = 2;
            }
        }
        if (watchdog_) watchdog_->decided(code);
        return code;
    }

private:
    void record(int line, const std::string& what, const std::string& message,
                quill::report::Verdict verdict, bool check, double seconds) {
        using quill::report::Verdict;
        const bool bad = verdict != Verdict::Passed;
        if (!bad && options_.quiet) {
        } else if (verdict == Verdict::NotRun) {
            std::fprintf(err_, "  FAIL %s:%d: %s: not run: %s\n", report_.file().c_str(), line,
                         what.c_str(), message.c_str());
        } else {
            const char* tag = !bad ? "ok  " : verdict == Verdict::Failed ? "FAIL" : "ERROR";
            std::fprintf(bad ? err_ : out_, "  %s %s:%d: %s: %s\n", tag, report_.file().c_str(),
                         line, what.c_str(), message.c_str());
        }
        report_.add({line, what, message, verdict, check, seconds});
    }

    const HostOptions& options_;
    std::FILE* out_;
    std::FILE* err_;
    quill::report::RunReport report_;
    RunWatchdog* watchdog_ = nullptr;
};

}  // namespace

int RunHeadless(const HostOptions& given, std::FILE* out, std::FILE* err) {
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
    Reporter reporter(given, out, err);
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
        lab = quill::lab::loadLab(given.lab, &why);
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
    if (!options.frequencyGiven && lab) options.frequencyMHz = lab->frequencyMHz;
    if (options.firmware.empty()) {
        if (const sc::FirmwareCommand* fw = script.firmware()) {
            // Beside the scenario first, then the build's firmware folder
            // (bin/../firmware), then the current folder.
            const QString bin = QCoreApplication::applicationDirPath();
            options.firmware =
                script.resolvePath(fw->path, {QDir(bin).filePath("../firmware").toStdString(),
                                              QDir::currentPath().toStdString()});
        }
    }
    if (!options.frequencyGiven) {
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
    MainWindow window(env.config, env.factory);
    // Runs before the window is destroyed, however the run ends.
    const DropPendingEvents dropPendingEvents;
    // Nobody answers a dialog in a headless run: a message box's text goes
    // to the output and its default button is pressed; any other modal
    // window is closed, and the run fails with it.
    UnattendedDialogs unattended([&](const QString& line) {
        window.outputPane().write("Debugger", line);
        std::fprintf(out, "  note: %s\n", qPrintable(line));
    });
    // A source file not on this machine is a line in the output, no dialog.
    if (auto* views = window.findChild<DebuggerViews*>("debuggerViews")) {
        QObject::connect(views, &DebuggerViews::sourceMissing, &window, [out](const QString& line) {
            std::fprintf(out, "  note: %s\n", qPrintable(line));
        });
    }
    auto intrusion = [&unattended](qsizetype before) {
        return unattended.intruders().size() > before ? unattended.intruders().mid(before).join(", ")
                                                      : QString();
    };
    window.setPacing(false);
    window.show();
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

    Runner runner(window, options, script);
    runner.firmwareOverridden = !given.firmware.empty();
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

// The scenario executor's actions: opening and working the component
// windows, letting simulated time pass and resetting the part. Its checks
// are in ScenarioChecks.cpp, the debugging aids in ScenarioDebugAidSteps.cpp.
#include "host/automation/ScenarioExecutor.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

#include "contract/ResourceIds.h"
#include "host/workbench/DockClient.h"
#include "host/workbench/HostBench.h"
#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/automation/StepResults.h"
#include "host/scenario/Scenario.h"

namespace {

using namespace steps;

}  // namespace

ScenarioExecutor::ScenarioExecutor(HostBench& bench, QString screenshotDir)
    : bench_(bench), screenshotDir_(std::move(screenshotDir)) {
    std::string why;
    registers_ = PartRegisters::load(bench_.config().installDirectory, bench_.config().part, &why);
    if (!registers_) registerError_ = QString::fromStdString(why);
}

void ScenarioExecutor::setDeadline(Clock::time_point deadline, double seconds) {
    deadline_ = deadline;
    limitSeconds_ = seconds;
}

bool ScenarioExecutor::pastDeadline() const { return deadline_ && Clock::now() >= *deadline_; }

QString ScenarioExecutor::timeLimitMessage() const {
    return QString("the run took longer than its time limit of %1 s (--time-limit)")
        .arg(limitSeconds_);
}

void ScenarioExecutor::settle() {
    if (!openingsPending_) return;
    openingsPending_ = false;
    QApplication::processEvents();
}

QWidget* ScenarioExecutor::formOrError(const QString& name, Result* result) {
    settle();
    QWidget* form = driver::findForm(bench_, name);
    if (!form) {
        QStringList names = driver::componentNames(bench_);
        *result = error(QString("no component window \"%1\" is open (open: %2)")
                            .arg(name, names.isEmpty() ? QString("none") : names.join(", ")));
    }
    return form;
}

Result ScenarioExecutor::open(const QString& commandId) {
    QString why;
    const size_t before = bench_.componentDocks().size();
    if (!OpenComponent(bench_, commandId.toStdString(), &why)) return error(why);
    openingsPending_ = true;
    const auto& docks = bench_.componentDocks();
    QString name =
        docks.size() > before ? DockClient::nameOf(docks.back()) : QString("(shown again)");
    return ok(QString("opened %1: window \"%2\"").arg(commandId, name));
}

Result ScenarioExecutor::click(const QString& name, int control) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    QWidget* target = nullptr;
    if (control == 0) {
        // The window's own clickable control (the switch lever).
        for (QWidget* child : form->findChildren<QWidget*>()) {
            if (driver::controlIdOf(child) > 0 &&
                child->cursor().shape() == Qt::PointingHandCursor) {
                target = child;
                break;
            }
        }
        if (!target) return error(QString("\"%1\" has no clickable control").arg(name));
    } else {
        target = driver::findControl(form, control);
        if (!target) return error(QString("\"%1\" has no control %2").arg(name).arg(control));
    }
    driver::click(target);
    QApplication::processEvents();
    return ok(QString("clicked %1 control %2").arg(name).arg(driver::controlIdOf(target)));
}

Result ScenarioExecutor::press(const QString& name, int control) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    QWidget* target = driver::findControl(form, control);
    if (!target) return error(QString("\"%1\" has no control %2").arg(name).arg(control));
    driver::press(target);
    QApplication::processEvents();
    return ok(QString("pressed %1 control %2").arg(name).arg(control));
}

Result ScenarioExecutor::release(const QString& name, int control) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    QWidget* target = driver::findControl(form, control);
    if (!target) return error(QString("\"%1\" has no control %2").arg(name).arg(control));
    driver::release(target);
    QApplication::processEvents();
    return ok(QString("released %1 control %2").arg(name).arg(control));
}

Result ScenarioExecutor::hold(const QString& name, int control, bool down) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    auto* button = qobject_cast<QAbstractButton*>(driver::findControl(form, control));
    if (!button || !button->isCheckable()) {
        return error(QString("\"%1\" has no key button %2").arg(name).arg(control));
    }
    const QString what =
        QString("%1 key %2 (control %3)").arg(name, button->text().remove('&')).arg(control);
    if (button->isChecked() == down)
        return ok(what + (down ? " is already down" : " is already up"));
    driver::click(button);
    QApplication::processEvents();
    if (button->isChecked() != down) return error(what + " did not follow the click");
    return ok(what + (down ? " held down" : " let go"));
}

Result ScenarioExecutor::configure(const QString& name,
                                   const std::vector<driver::DialogInput>& inputs) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    QString why;
    bool filled = false;
    bool ran = driver::runMenuDialog(
        form, menu::kSettingsCommand,
        [&](QDialog* dialog) { filled = driver::fillDialog(dialog, inputs, &why); }, &why);
    QApplication::processEvents();
    if (!ran || !filled) return error(QString("settings of \"%1\": %2").arg(name, why));
    return ok(QString("changed the settings of %1").arg(name));
}

Result ScenarioExecutor::pluginSettings(const std::vector<driver::DialogInput>& inputs) {
    QString why;
    bool filled = false;
    bool opened = false;
    const bool ran = driver::runDialog(
        [&] { opened = bench_.openPluginSettings(); },
        [&](QDialog* dialog) { filled = driver::fillDialog(dialog, inputs, &why); }, &why);
    QApplication::processEvents();
    if (!opened) return error("the plug-in offers no settings (command CFG)");
    if (!ran || !filled) return error(QString("plug-in settings: %1").arg(why));
    return ok("changed the plug-in settings");
}

Result ScenarioExecutor::slide(const QString& name, int control, int position) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    auto* trackbar = qobject_cast<QAbstractSlider*>(driver::findControl(form, control));
    if (!trackbar) return error(QString("\"%1\" has no trackbar %2").arg(name).arg(control));
    if (position < trackbar->minimum() || position > trackbar->maximum()) {
        return error(QString("%1 is outside the range %2 to %3 of \"%4\"")
                         .arg(position)
                         .arg(trackbar->minimum())
                         .arg(trackbar->maximum())
                         .arg(name));
    }
    trackbar->setValue(position);
    driver::release(trackbar);
    QApplication::processEvents();
    return ok(QString("moved %1 to %2 and let go").arg(name).arg(position));
}

Result ScenarioExecutor::typeAndRelease(const QString& name, int control, const QString& text,
                                        int release) {
    Result result;
    QWidget* form = formOrError(name, &result);
    if (!form) return result;
    auto* edit = qobject_cast<QLineEdit*>(driver::findControl(form, control));
    QWidget* trackbar = driver::findControl(form, release);
    if (!edit || !trackbar) {
        return error(QString("\"%1\" has no edit box %2 and trackbar %3")
                         .arg(name)
                         .arg(control)
                         .arg(release));
    }
    driver::typeText(edit, text);
    driver::release(trackbar);
    QApplication::processEvents();
    return ok(QString("typed %1 into %2 and let go of its trackbar").arg(text, name));
}

Result ScenarioExecutor::waitCycles(uint64_t cycles) {
    Debugger& debugger = bench_.debugger();
    if (!debugger.debugging()) return error("the program is not being debugged");
    const uint64_t start = debugger.machine()->cycles();
    // Keep the windows alive (timers, repaints) while time passes.
    bool ran = debugger.runCycles(cycles, [this] {
        QApplication::processEvents();
        return !pastDeadline();
    });
    QApplication::processEvents();
    const uint64_t now = debugger.machine()->cycles();
    if (!ran && pastDeadline()) {
        timedOut_ = true;
        return failed(QString("stopped after %1 of %2 cycles: %3")
                          .arg(now - start)
                          .arg(cycles)
                          .arg(timeLimitMessage()));
    }
    if (!ran) {
        return failed(QString("the program stopped after %1 of %2 cycles: %3")
                          .arg(now - start)
                          .arg(cycles)
                          .arg(QString::fromStdString(debugger.lastFault())));
    }
    return ok(QString("ran %1 cycles (now at cycle %2)").arg(now - start).arg(now));
}

Result ScenarioExecutor::waitMilliseconds(double ms) {
    Machine* machine = bench_.debugger().machine();
    if (!machine || !bench_.debugger().debugging())
        return error("the program is not being debugged");
    // The time becomes whole cycles at the part's clock, under the same cap
    // as every other wait; a time shorter than one cycle is refused like
    // "wait cycles 0", not passed silently.
    const double hz = machine->frequencyHz();
    const double cycles = std::round(ms * hz / 1000.0);
    if (cycles < 1)
        return error(QString("%1 ms is shorter than one clock cycle at %2 Hz").arg(ms).arg(hz));
    if (cycles > static_cast<double>(quill::scenario::kMaxWaitCycles))
        return error(QString("%1 ms is %2 cycles at %3 Hz, more than the longest wait (%4 cycles)")
                         .arg(ms)
                         .arg(cycles, 0, 'g', 15)
                         .arg(hz)
                         .arg(quill::scenario::kMaxWaitCycles));
    return waitCycles(static_cast<uint64_t>(cycles));
}

Result ScenarioExecutor::step(uint64_t instructions) {
    Debugger& debugger = bench_.debugger();
    if (!debugger.debugging()) return error("the program is not being debugged");
    for (uint64_t i = 0; i < instructions; ++i) {
        if (!debugger.stepInto()) {
            return failed(QString("the program stopped after %1 steps: %2")
                              .arg(i)
                              .arg(QString::fromStdString(debugger.lastFault())));
        }
    }
    QApplication::processEvents();
    return ok(QString("stepped %1 instructions").arg(instructions));
}

Result ScenarioExecutor::waitUntil(const std::function<std::optional<bool>()>& holds,
                                   uint64_t timeoutCycles, const QString& what,
                                   const std::function<bool()>& moved) {
    Debugger& debugger = bench_.debugger();
    if (!debugger.debugging()) return error("the program is not being debugged");
    Machine* machine = debugger.machine();
    const uint64_t start = machine->cycles();
    uint64_t instructions = 0;
    bool eventsRan = true;  // asked first in any case
    for (;;) {
        // `moved` is asked every time, so that it knows what was seen last.
        const bool look = moved ? moved() : true;
        if (look || eventsRan) {
            std::optional<bool> now = holds();
            if (!now) return error(QString("cannot evaluate %1").arg(what));
            if (*now) {
                QApplication::processEvents();
                return ok(QString("%1 after %2 cycles").arg(what).arg(machine->cycles() - start));
            }
        }
        eventsRan = false;
        if (machine->cycles() - start >= timeoutCycles) {
            QApplication::processEvents();
            return failed(
                QString("%1 did not happen within %2 cycles").arg(what).arg(timeoutCycles));
        }
        if (!debugger.stepInto()) {
            return failed(QString("the program stopped while waiting for %1: %2")
                              .arg(what)
                              .arg(QString::fromStdString(debugger.lastFault())));
        }
        if ((++instructions & 1023) == 0) {
            QApplication::processEvents();
            eventsRan = true;
            if (pastDeadline()) {
                timedOut_ = true;
                return failed(QString("stopped waiting for %1 after %2 cycles: %3")
                                  .arg(what)
                                  .arg(machine->cycles() - start)
                                  .arg(timeLimitMessage()));
            }
        }
    }
}

Result ScenarioExecutor::reset() {
    if (!bench_.debugger().debugging()) return error("the program is not being debugged");
    bench_.resetTarget();
    QApplication::processEvents();
    return ok("reset the part");
}

Result ScenarioExecutor::screenshot(const QString& label) {
    if (screenshotDir_.isEmpty()) return ok("screenshot skipped (no --screenshots folder)");
    QString why;
    QString prefix = QString("%1-%2-")
                         .arg(++shot_, 2, 10, QChar('0'))
                         .arg(label.isEmpty() ? QString("shot") : label);
    QStringList files = bench_.saveScreenshots(screenshotDir_, prefix, &why);
    if (!why.isEmpty()) return error(why);
    return ok(QString("saved %1 screenshots in %2").arg(files.size()).arg(screenshotDir_));
}

// The debug-aid steps of a scenario: autostep, idle time for the event
// loop, debugger events sent to the plug-in, the register logger's sheets
// and checks of the files the run writes.
#include <QMainWindow>
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <cmath>

#include "contract/ResourceIds.h"
#include "host/workbench/HostBench.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/automation/StepResults.h"
#include "platform/files.h"

namespace {

using namespace steps;

}  // namespace


Result ScenarioExecutor::autostep(bool on) {
    const char* state = on ? "on" : "off";
    if (bench_.windowTimerRunning(ids::autostep::kTimer) == on)
        return ok(QString("autostep is already %1").arg(state));
    bench_.mainWidget().activateWindow();
    if (!bench_.executeCommand(kCmdAutostep))
        return error("the command Autostep INTO (ASI) is not available (disabled or unknown)");
    QApplication::processEvents();
    if (bench_.windowTimerRunning(ids::autostep::kTimer) != on)
        return error(QString("autostep did not turn %1 (see the output)").arg(state));
    return ok(on ? QString("autostep on: timer %1 every %2 ms on the main window")
                       .arg(ids::autostep::kTimer)
                       .arg(ids::autostep::kPeriodMs)
                 : QString("autostep off"));
}

Result ScenarioExecutor::expectAutostep(bool on) {
    const bool running = bench_.windowTimerRunning(ids::autostep::kTimer);
    const QString what = running ? "autostep is on" : "autostep is off";
    return running == on ? ok(what)
                         : failed(what + QString(", expected %1").arg(on ? "on" : "off"));
}

Result ScenarioExecutor::idle(double ms) {
    Machine* machine = bench_.debugger().machine();
    const uint64_t before = machine ? machine->cycles() : 0;
    // As a user watching the program: the main window is the active one.
    bench_.mainWidget().activateWindow();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::lround(ms)), &loop, &QEventLoop::quit);
    loop.exec();
    QApplication::processEvents();
    const uint64_t after = machine ? machine->cycles() : 0;
    return ok(QString("idled %1 ms; the program advanced %2 cycles (now at cycle %3)")
                  .arg(ms)
                  .arg(after - before)
                  .arg(after));
}

Result ScenarioExecutor::event(int number) {
    IGuiPlugin* plugin = bench_.plugin();
    if (!plugin) return error("no plug-in is loaded");
    plugin->HandleEvent(number, nullptr);
    QApplication::processEvents();
    return ok(QString("sent debugger event %1").arg(number));
}

namespace {

QAbstractButton* buttonOf(QWidget* dialog, int id) {
    return qobject_cast<QAbstractButton*>(driver::findControl(dialog, id));
}

// Chooses the registers of the logger sheet: "Clear", then each name
// selected in "Available memory." and moved with "Log ->"; OK.
bool chooseRegisters(QDialog* sheet, const std::vector<QString>& names, QString* why) {
    auto* available =
        qobject_cast<QListWidget*>(driver::findControl(sheet, ids::logger::kAvailable));
    QAbstractButton* clear = buttonOf(sheet, ids::logger::kClear);
    QAbstractButton* add = buttonOf(sheet, ids::logger::kAdd);
    QAbstractButton* okButton = buttonOf(sheet, 1);
    if (!available || !clear || !add || !okButton) {
        *why = QString("the dialog \"%1\" is not the logger sheet").arg(sheet->windowTitle());
        return false;
    }
    clear->click();
    for (const QString& name : names) {
        const auto items = available->findItems(name, Qt::MatchFixedString);
        if (items.isEmpty()) {
            *why = QString("the logger sheet does not offer register %1").arg(name);
            return false;
        }
        available->clearSelection();
        items.front()->setSelected(true);
        add->click();
    }
    okButton->click();
    return true;
}

}  // namespace

Result ScenarioExecutor::logger(const LoggerInputs& in) {
    IGuiPlugin* plugin = bench_.plugin();
    if (!plugin) return error("no plug-in is loaded");
    QString why;
    bool filled = false;
    bool accepted = false;
    auto fill = [&](QDialog* sheet) {
        auto setCheck = [&](int id, bool on) {
            QAbstractButton* box = buttonOf(sheet, id);
            if (!box) return false;
            if (box->isChecked() != on) box->click();
            return true;
        };
        auto setText = [&](int id, const QString& text) {
            auto* edit = qobject_cast<QLineEdit*>(driver::findControl(sheet, id));
            if (!edit) return false;
            edit->setText(text);
            return true;
        };
        using namespace ids::settings;
        if (in.enabled && !setCheck(kEnableLogging, *in.enabled)) {
            why = "the Settings sheet has no \"Enable logging.\"";
            return;
        }
        if (in.toFile && !setCheck(*in.toFile ? kLogToFile : kLogToWindow, true)) {
            why = "the Settings sheet has no logger destination";
            return;
        }
        if (in.directory && !setText(kDirectory, *in.directory)) {
            why = "the Settings sheet has no \"Directory\"";
            return;
        }
        if (in.file && !setText(kFileName, *in.file)) {
            why = "the Settings sheet has no \"Filename\"";
            return;
        }
        if (in.limitMegabytes) {
            auto* limit = qobject_cast<QSpinBox*>(driver::findControl(sheet, kLogSizeLimit));
            if (!limit) {
                why = "the Settings sheet has no \"Size limit\"";
                return;
            }
            limit->setValue(*in.limitMegabytes);
        }
        if (in.registers) {
            QAbstractButton* configure = buttonOf(sheet, kConfigureLogger);
            if (!configure || !configure->isEnabled()) {
                why = "the logger group's \"Configure...\" is not available";
                return;
            }
            bool chosen = false;
            QString inner;
            if (!driver::runDialog(
                    [configure] { configure->click(); },
                    [&](QDialog* d) { chosen = chooseRegisters(d, *in.registers, &inner); },
                    &inner) ||
                !chosen) {
                why = "logger sheet: " + inner;
                return;
            }
        }
        QAbstractButton* okButton = buttonOf(sheet, 1);
        if (!okButton) {
            why = "the Settings sheet has no OK button";
            return;
        }
        filled = true;
        okButton->click();
        accepted = sheet->result() == QDialog::Accepted;
        if (!accepted) {
            const QString message = sheet->property("message").toString();
            why = message.isEmpty() ? QString("the Settings sheet refused OK (see its page)")
                                    : "the Settings sheet refused OK: " + message;
        }
    };
    const bool ran =
        driver::runDialog([plugin] { plugin->ExecuteCommand(kCmdSettings); }, fill, &why);
    QApplication::processEvents();
    if (!ran) return error("the Settings sheet did not open (see the output)");
    if (!filled || !accepted) return error("Settings sheet: " + why);
    QStringList done;
    if (in.enabled) done << (*in.enabled ? "logging on" : "logging off");
    if (in.toFile) done << (*in.toFile ? "to a file" : "to the output window");
    if (in.directory) done << QString("directory \"%1\"").arg(*in.directory);
    if (in.file) done << QString("file \"%1\"").arg(*in.file);
    if (in.limitMegabytes) done << QString("size limit %1 MB").arg(*in.limitMegabytes);
    if (in.registers) {
        QStringList names(in.registers->begin(), in.registers->end());
        done << QString("registers %1").arg(names.isEmpty() ? QString("none") : names.join(", "));
    }
    return ok("logger: " + done.join(", "));
}

Result ScenarioExecutor::expectFile(const QString& path, const QString& text) {
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return failed(
            QString("there is no file %1 (working folder %2)").arg(path, QDir::currentPath()));
    // Read in blocks through the regular-file helper: a FIFO or a device is
    // refused without blocking, and a file of any size is searched whole.
    quill::files::FileSearch search;
    std::string why;
    if (!quill::files::searchRegularFile(path.toStdString(), text.toStdString(), "the file",
                                         &search, &why))
        return error(QString::fromStdString(why));
    if (!search.found) {
        return failed(QString("%1 (%2 bytes) does not contain \"%3\"; its first line is \"%4\"")
                          .arg(path)
                          .arg(search.bytes)
                          .arg(text, QString::fromStdString(search.firstLine)));
    }
    return ok(QString("%1 line %2: %3")
                  .arg(path)
                  .arg(search.line)
                  .arg(QString::fromStdString(search.lineText)));
}

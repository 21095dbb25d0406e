#include "host/lab/ui/LabSession.h"

#include <QMainWindow>
#include <QApplication>
#include <QDockWidget>
#include <QFileDialog>
#include <QLayout>
#include <QMessageBox>
#include <filesystem>

#include "contract/Commands.h"
#include "host/workbench/DockClient.h"
#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/debugger/DebugSession.h"
#include "host/workbench/HostBench.h"
#include "host/workbench/SettingsReader.h"
#include "host/debugger/ui/DebuggerViews.h"
#include "host/debugger/ui/WatchModel.h"
#include "host/instruments/InstrumentSettings.h"
#include "host/layout/DockState.h"

namespace {

// The pages of the plug-in's Settings sheet a lab keeps.
constexpr const char* kLabSheets[] = {"electrical", "general"};

// The command that opened a dock: the one whose window base name starts
// its title ("LED 2" -> LD); the longest name wins.
std::string commandOfTitle(const QString& title) {
    std::string best;
    std::size_t bestLength = 0;
    for (const CommandInfo& c : kCommands) {
        const QString base = QString::fromUtf8(c.baseName);
        if (base.isEmpty() || !title.startsWith(base)) continue;
        if (static_cast<std::size_t>(base.size()) > bestLength) {
            best = c.id;
            bestLength = static_cast<std::size_t>(base.size());
        }
    }
    return best;
}

// The saved layout knows docks by object name. The open docks are named in
// the order they were opened, the closed ones apart, both when a layout is
// saved and before one is restored: a lab opened over another set-up then
// places its own windows, and the closed ones stay closed.
void nameDocksForLayout(HostBench& window) {
    int open = 0;
    int closed = 0;
    for (QDockWidget* dock : window.componentDocks()) {
        if (dock->isHidden()) dock->setObjectName(QString("closedComponentDock%1").arg(++closed));
        else dock->setObjectName(QString("componentDock%1").arg(++open));
    }
}

// The watch formats by the names a lab gives them.
constexpr std::pair<quill::debugger::WatchFormat, const char*> kWatchFormats[] = {
    {quill::debugger::WatchFormat::Hex, "hex"},
    {quill::debugger::WatchFormat::Decimal, "decimal"},
    {quill::debugger::WatchFormat::Binary, "binary"},
    {quill::debugger::WatchFormat::Char, "char"}};

WatchModel* watchOf(HostBench& window) {
    auto* views = window.mainWidget().findChild<DebuggerViews*>("debuggerViews");
    return views ? &views->watchModel() : nullptr;
}

// The debugger's breakpoints, as `break` takes them (a line by its file's
// name alone where that names one file of the program), and the watch.
void captureDebugging(HostBench& window, quill::lab::Lab& lab) {
    const quill::debugger::ProgramInfo* program = window.session().program();
    for (const quill::debugger::Breakpoint& b : window.session().breakpoints().list()) {
        if (!b.function.empty()) {
            lab.breakpoints.push_back({b.function});
            continue;
        }
        std::string file = b.source.file;
        const std::string name = std::filesystem::path(file).filename().string();
        if (program && program->findFile(name) == file) file = name;
        lab.breakpoints.push_back({file + ":" + std::to_string(b.source.line)});
    }
    if (WatchModel* watch = watchOf(window)) {
        for (const quill::debugger::WatchEntry& entry : watch->list().entries()) {
            const char* format = "hex";
            for (const auto& [f, name] : kWatchFormats)
                if (f == entry.format) format = name;
            lab.watches.push_back({entry.name, format});
        }
    }
}

// Sets the lab's breakpoints and watch on the session's program. One that
// no longer resolves (the program changed since the lab was saved) is
// reported and skipped. A lab with a watch list replaces the watch's rows;
// one without (saved before labs kept it) leaves them.
void restoreDebugging(HostBench& window, const quill::lab::Lab& lab) {
    using Outcome = quill::debugger::DebugSession::Outcome;
    for (const quill::lab::LabBreakpoint& b : lab.breakpoints) {
        const Outcome outcome = window.session().addBreakpoint(b.at);
        if (outcome.kind != Outcome::Ok)
            window.hostMessage(QString("The lab's breakpoint at \"%1\" was skipped: %2")
                                   .arg(QString::fromStdString(b.at),
                                        QString::fromStdString(outcome.message)));
    }
    WatchModel* watch = watchOf(window);
    if (lab.watches.empty() || !watch) return;
    while (watch->rowCount() > 0) watch->remove(watch->rowCount() - 1);
    for (const quill::lab::LabWatch& w : lab.watches) {
        QString why;
        if (!watch->add(QString::fromStdString(w.name), &why)) {
            window.hostMessage(QString("The lab's watch of \"%1\" was skipped: %2")
                                   .arg(QString::fromStdString(w.name), why));
            continue;
        }
        for (const auto& [format, name] : kWatchFormats)
            if (w.format == name) watch->setFormat(watch->rowCount() - 1, format);
    }
}

}  // namespace

quill::lab::Lab CaptureLab(HostBench& window) {
    quill::lab::Lab lab;
    const SessionConfig& config = window.config();
    lab.part = config.part;
    lab.board = SessionBoard(config) ? config.board : std::string();
    lab.frequencyMHz = config.frequencyMHz;
    lab.firmware = config.firmware;
    lab.realTime = window.runMode() == RunPacer::Mode::RealTime;
    // The plug-in's Settings sheet, then each window's settings dialog,
    // read as a user would look at them; what cannot be read is not kept.
    QString why;
    for (const char* sheet : kLabSheets) {
        if (std::optional<std::string> text = driver::readSettings(window, sheet, &why))
            lab.settings.push_back({sheet, *text});
    }
    for (const auto& [target, text] : quill::instruments::instrumentSettings(window.instruments()))
        lab.settings.push_back({target, text});
    for (QDockWidget* dock : window.componentDocks()) {
        if (dock->isHidden()) continue;  // closed by the user
        const QString title = DockClient::nameOf(dock);
        const std::string command = commandOfTitle(title);
        if (command.empty()) continue;
        std::string settings;
        const std::optional<quill::scenario::ComponentKind> kind =
            quill::scenario::kindOfWindow(title.toStdString());
        if (kind && !quill::scenario::settingFields(*kind).empty())
            settings = driver::readSettings(window, title, &why).value_or("");
        lab.windows.push_back({command, title.toStdString(), settings});
    }
    nameDocksForLayout(window);
    lab.layout = window.mainWidget().saveState().toBase64().toStdString();
    lab.geometry = window.mainWidget().saveGeometry().toBase64().toStdString();
    captureDebugging(window, lab);
    return lab;
}

bool ApplyLab(HostBench& window, const quill::lab::Lab& lab, QString* error) {
    if (!window.availableParts().contains(QString::fromStdString(lab.part))) {
        *error = QString("the lab's part \"%1\" is not one of this host's (%2)")
                     .arg(QString::fromStdString(lab.part), window.availableParts().join(", "));
        return false;
    }
    for (const quill::lab::LabWindow& w : lab.windows) {
        if (window.setup().commandIndex(w.command) < 0) {
            *error = QString("the lab opens \"%1\" with command %2, which the plug-in does not "
                             "offer")
                         .arg(QString::fromStdString(w.title), QString::fromStdString(w.command));
            return false;
        }
    }
    const SessionConfig before = window.config();
    const bool wasDebugging = window.debuggingActive();
    window.stopDebugging();
    // The board first: it chooses its part and clock, which the lab's own
    // then confirm (a lab may keep another clock).
    QString why;
    if (!window.chooseBoard(lab.board, &why))
        window.hostMessage(QString("The lab's board was not chosen: %1").arg(why));
    window.chooseSession(lab.part, lab.frequencyMHz, lab.firmware);
    if (!window.startDebugging(&why)) {
        *error = "the lab's program does not start: " + why;
        window.chooseSession(before.part, before.frequencyMHz, before.firmware);
        if (wasDebugging) window.startDebugging(&why);
        return false;
    }
    window.setRunMode(lab.realTime ? RunPacer::Mode::RealTime : RunPacer::Mode::AsFastAsPossible);
    // The windows of the previous set-up make way.
    for (QDockWidget* dock : window.componentDocks()) dock->close();
    return OpenLabWindows(window, lab, error);
}

bool OpenLabWindows(HostBench& window, const quill::lab::Lab& lab, QString* error,
                    const std::function<bool()>& stop) {
    // A setting this part, program or plug-in cannot take is reported and
    // skipped: the rest of the lab is still of use.
    auto apply = [&window](const QString& name, const std::string& text) {
        QString why;
        if (text.empty()) return;
        const std::optional<bool> instrument = quill::instruments::applyInstrumentSettings(
            window.instruments(), name.toStdString(), text, &why);
        // Opening a lab flips no Switch, as opening its windows by hand does not.
        if (instrument ? !*instrument : !driver::applySettings(window, name, text, &why, true))
            window.hostMessage(QString("The lab's settings of \"%1\" were not applied: %2")
                                   .arg(name, why));
    };
    for (const quill::lab::LabSettings& s : lab.settings)
        apply(QString::fromStdString(s.target), s.settings);
    {
        // The docks are placed once, when all are open: each settings
        // dialog runs an event loop, which would place them one by one,
        // each time laying out every dock opened before.
        const DockClient::Hold together(window.dockClient());
        for (const quill::lab::LabWindow& w : lab.windows) {
            if (stop && stop()) {
                *error = "stopped opening the lab's windows";
                return false;
            }
            if (!OpenComponent(window, w.command, error)) return false;
            // The window just opened, whatever number the host gave it.
            const std::vector<QDockWidget*>& docks = window.componentDocks();
            if (!docks.empty()) apply(DockClient::nameOf(docks.back()), w.settings);
        }
    }
    // The docks first: the window's size is only free to return once the
    // docks no longer ask for the room of the default arrangement.
    nameDocksForLayout(window);
    for (const std::string& note : lab.notes) window.hostMessage(QString::fromStdString(note));
    restoreDebugging(window, lab);
    // The window is given only a layout read as a sound dock state (Qt
    // trusts the numbers in it), as the very bytes that were checked.
    if (!lab.layout.empty()) {
        const std::optional<std::string> bytes = quill::layout::decodeBase64(lab.layout);
        const std::string fault =
            bytes ? quill::layout::dockStateFault(*bytes) : "it is no base64 text";
        if (fault.empty())
            window.mainWidget().restoreState(QByteArray::fromStdString(*bytes));
        else
            window.hostMessage(
                QString::fromStdString("The lab's window layout was left out: " + fault));
    }
    if (!lab.geometry.empty()) {
        window.mainWidget().layout()->activate();
        window.mainWidget().restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(lab.geometry)));
    }
    // A lab saved on a larger screen opens inside this one.
    window.mainWidget().layout()->activate();
    if (!window.dockClient().fitRestoredLayout())
        window.hostMessage("The lab's layout needs a larger screen than this one: its windows "
                           "were arranged to fit it.");
    return true;
}

bool OpenLabFile(HostBench& window, const QString& path, QString* error) {
    std::string why;
    std::optional<quill::lab::Lab> lab =
        quill::lab::loadLab(path.toStdString(), &why, FirmwareSearchFolders());
    if (!lab) {
        *error = QString::fromStdString(why);
        return false;
    }
    if (!ApplyLab(window, *lab, error)) {
        *error = QString("cannot open the lab \"%1\": %2").arg(path, *error);
        return false;
    }
    window.hostMessage(QString("Lab opened: %1").arg(path));
    return true;
}

bool SaveLabFile(HostBench& window, const QString& path, QString* error) {
    std::string why;
    if (!quill::lab::saveLab(CaptureLab(window), path.toStdString(), &why)) {
        *error = QString::fromStdString(why);
        return false;
    }
    window.hostMessage(QString("Lab saved: %1").arg(path));
    return true;
}

void SaveLabDialog(HostBench& window) {
    QString path = QFileDialog::getSaveFileName(&window.mainWidget(), "Save lab", QString(),
                                                "Labs (*.quill);;All files (*)");
    if (path.isEmpty()) return;
    if (!path.endsWith(".quill")) path += ".quill";
    QString error;
    if (!SaveLabFile(window, path, &error)) {
        window.hostMessage(error);
        QMessageBox::warning(&window.mainWidget(), "Save lab", error);
    }
}

void OpenLabDialog(HostBench& window) {
    const QString path = QFileDialog::getOpenFileName(&window.mainWidget(), "Open lab", QString(),
                                                      "Labs (*.quill);;All files (*)");
    if (path.isEmpty()) return;
    QString error;
    if (!OpenLabFile(window, path, &error)) {
        window.hostMessage(error);
        QMessageBox::warning(&window.mainWidget(), "Open lab", error);
    }
}

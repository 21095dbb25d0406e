// What the scenario steps, the capabilities' views, the lab and the
// start-up steps use of the workbench: the session and its debugger, the
// plug-in and its commands, the component docks, the output and the
// screenshots. The main window implements it (host/ui); those who drive it
// through this know nothing else of the window (its menus and tool bars).
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "contract/HostInterfaces.h"
#include "host/session/Debugger.h"
#include "host/session/RunPacer.h"
#include "host/session/SessionConfig.h"
#include "host/session/SetupDescription.h"
#include "host/workbench/BenchEvents.h"

class DockClient;
class QDockWidget;
class QMainWindow;
namespace quill::debugger {
class DebugSession;
}
namespace quill::gdb {
class GdbLink;
}
namespace quill::instruments {
class InstrumentHub;
}

class HostBench {
public:
    virtual ~HostBench() = default;

    // ---- The session
    virtual SessionConfig& config() = 0;
    virtual Debugger& debugger() = 0;
    // Source lines, breakpoints and variables of the session's program.
    virtual quill::debugger::DebugSession& session() = 0;
    virtual quill::gdb::GdbLink& gdb() = 0;
    // Chooses part, clock and firmware for the next session, as the user
    // would in the toolbar and File menu.
    virtual void chooseSession(const std::string& part, double frequencyMHz,
                               const std::string& firmware) = 0;
    // The board the next session runs as ("Uno"; "" for none). False with
    // *error for a board no table names or whose part the simulator cannot
    // run; the session stays as it was.
    virtual bool chooseBoard(const std::string& name, QString* error) = 0;
    // The parts the part chooser offers.
    virtual QStringList availableParts() const = 0;
    // The Debug menu's commands.
    virtual bool startDebugging(QString* error) = 0;
    virtual void stopDebugging() = 0;
    virtual bool debuggingActive() const = 0;
    virtual void run() = 0;
    virtual void breakRun() = 0;
    virtual void resetTarget() = 0;
    // The pace of free running: real time or as fast as possible.
    virtual void setRunMode(RunPacer::Mode mode) = 0;
    virtual RunPacer::Mode runMode() const = 0;
    // Sessions started and ended, the user's debugger commands, component
    // windows docked.
    virtual BenchEvents& events() = 0;

    // ---- The plug-in. `plugin` is AddRef'd by the bench; Init is called.
    // Returns the result of Init.
    virtual HRESULT attachPlugin(IGuiPlugin* plugin, QString* error) = 0;
    virtual IGuiPlugin* plugin() const = 0;
    virtual const SetupDescription& setup() const = 0;
    // As the user choosing the command from the menu; false when the
    // command is unknown or disabled.
    virtual bool executeCommand(int command) = 0;
    // The plug-in's CFG command (its Settings sheet); false when there is
    // no plug-in or it offers no CFG.
    virtual bool openPluginSettings() = 0;
    // Whether the plug-in runs window timer `id` on the main window.
    virtual bool windowTimerRunning(uintptr_t id) const = 0;

    // ---- Windows and output
    // The window the plug-in's keys and timers belong to (activated before
    // autostep and idle, so that they reach it); its dock layout is what a
    // lab saves.
    virtual QMainWindow& mainWidget() = 0;
    // Component docks in creation order, and what places them.
    virtual const std::vector<QDockWidget*>& componentDocks() const = 0;
    virtual DockClient& dockClient() = 0;
    // Adds one of the host's own docks (an instrument, a terminal, the
    // debugger's views): below the component windows, tabbed with the
    // output, never in their room.
    virtual void addToolDock(QDockWidget* dock) = 0;
    virtual QStringList saveScreenshots(const QString& dir, const QString& prefix,
                                        QString* error) = 0;
    // Output lines ("[category] prefix text"), and how many of the oldest
    // the pane has dropped.
    virtual QStringList outputLines() const = 0;
    virtual long long outputLinesDropped() const = 0;
    // Host's own messages, under the category "Debugger".
    virtual void hostMessage(const QString& text) = 0;
    // Serial terminals, logic analyser, waveform files.
    virtual quill::instruments::InstrumentHub& instruments() = 0;
};

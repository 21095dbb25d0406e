// What the scenario steps, the settings reader and the start-up steps use
// of the workbench: the session and its debugger, the plug-in and its
// commands, the component docks, the output and the screenshots. The main
// window implements it; those who drive it through this know nothing else
// of the window (its menus, tool bars and dock layout).
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "contract/HostInterfaces.h"
#include "host/app/Debugger.h"
#include "host/app/SessionConfig.h"
#include "host/app/SetupDescription.h"

class QDockWidget;
class QWidget;
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
    virtual void resetTarget() = 0;

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
    // autostep and idle, so that they reach it).
    virtual QWidget& mainWidget() = 0;
    // Component docks in creation order.
    virtual const std::vector<QDockWidget*>& componentDocks() const = 0;
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

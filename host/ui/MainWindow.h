// quill-host's main window: menus and toolbar built from the plug-in's
// setup description, docked component windows, an output pane with
// categories, the part/firmware/clock choice and the debugger controls.
#pragma once

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "host/session/Debugger.h"
#include "host/ui/DesktopServices.h"
#include "host/workbench/DockClient.h"
#include "host/workbench/HostBench.h"
#include "host/session/HostObjects.h"
#include "host/ui/KeyboardBridge.h"
#include "host/ui/OutputPane.h"
#include "host/session/RunPacer.h"
#include "host/session/SessionConfig.h"
#include "host/session/SetupDescription.h"
#include "host/debugger/DebugSession.h"
#include "host/gdb/GdbLink.h"
#include "host/instruments/InstrumentHub.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QToolBar;

class MainWindow : public QMainWindow, public HostFrontend, public HostBench {
    Q_OBJECT
public:
    // Installs the capabilities' views (the debugger's docks, the GDB
    // server's and the recorder's entries) in the Debug menu, at their place
    // in it; the application decides which (host/app/Workbench.h).
    using ViewInstaller = std::function<void(HostBench& bench, QMenu* debugMenu)>;

    MainWindow(SessionConfig config, MachineFactory factory, ViewInstaller views = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // ---- The plug-in. `plugin` is AddRef'd by the window; Init is called.
    // Returns the result of Init.
    HRESULT attachPlugin(IGuiPlugin* plugin, QString* error) override;
    IGuiPlugin* plugin() const override { return plugin_.get(); }
    const SetupDescription& setup() const override { return setup_; }
    // As the user choosing the command from the menu; false when the
    // command is unknown or disabled.
    bool executeCommand(int command) override;
    bool commandEnabled(int command) const;
    // The host's own "Plug-in settings..." entry: runs the plug-in's CFG
    // command, which the setup description lists without a menu element or
    // button. False when there is no plug-in or it offers no CFG.
    bool openPluginSettings() override;

    // ---- Session
    SessionConfig& config() override { return config_; }
    // Chooses part, clock and firmware for the next session, as the user
    // would in the toolbar and File menu.
    void chooseSession(const std::string& part, double frequencyMHz,
                       const std::string& firmware) override;
    // The Board menu: runs the next session as that board ("Uno"), with its
    // part and clock and its pin names beside the port pins; "" for none.
    // False with *error for a board no table names or whose part the
    // simulator cannot run; the session stays as it was.
    bool chooseBoard(const std::string& name, QString* error) override;
    bool startDebugging(QString* error) override;
    void stopDebugging() override;
    bool stepInto();
    void run() override;
    void breakRun() override;
    void resetTarget() override;
    Debugger& debugger() override { return debugger_; }
    // Source lines, breakpoints and variables of the session's program.
    quill::debugger::DebugSession& session() override { return session_; }
    // The GDB server on that session (listening once asked to).
    quill::gdb::GdbLink& gdb() override { return gdb_; }
    // Whether a plug-in runs window timer `id` on the main window (autostep
    // runs timer 1 there).
    bool windowTimerRunning(uintptr_t id) const override;
    // The pace of free running: real time (the default) or as fast as
    // possible.
    void setRunMode(RunPacer::Mode mode) override;
    RunPacer::Mode runMode() const override { return pacer_.mode(); }
    void setPacing(bool paced) {
        setRunMode(paced ? RunPacer::Mode::RealTime : RunPacer::Mode::AsFastAsPossible);
    }
    // The speed of the current run in percent of real time; negative while
    // not measured.
    double achievedSpeedPercent() const { return pacer_.achievedPercent(); }

    // ---- Windows
    // Adds one of the host's own docks (an instrument, a terminal): below
    // the component windows, tabbed with the output, never in their room.
    void addToolDock(QDockWidget* dock) override { dockClient_->addToolDock(dock); }
    // Places the component windows opened since the event loop last ran.
    void arrangeDocks() { dockClient_->arrangePending(); }
    DockClient& dockClient() override { return *dockClient_; }
    // Component docks in creation order.
    const std::vector<QDockWidget*>& componentDocks() const override {
        return dockClient_->docks();
    }
    QMainWindow& mainWidget() override { return *this; }
    // Saves the main window and every visible component dock as PNG files
    // in `dir`; returns the file names written.
    QStringList saveScreenshots(const QString& dir, const QString& prefix, QString* error) override;
    // Output lines ("[category] prefix text").
    QStringList outputLines() const override;
    // How many of the oldest lines the pane has dropped (it keeps the last
    // 20,000; Clear drops all): line i of outputLines() is line
    // outputLinesDropped() + i of everything written.
    long long outputLinesDropped() const override;
    OutputPane& outputPane() { return *output_; }
    // The parts offered by the part chooser: those with a part description
    // that the machine factory can run (SessionConfig::runnableParts).
    QStringList availableParts() const override;
    // Serial terminals, logic analyser, waveform files.
    quill::instruments::InstrumentHub& instruments() override { return *instruments_; }

    // ---- HostFrontend
    HWND createDockedWindow(const std::string& name) override;
    bool debuggingActive() const override { return debugger_.debugging(); }
    BenchEvents& events() override { return events_; }
    void setCommandState(int command, int state) override;
    std::string installDirectory() const override { return config_.installDirectory; }
    ITargetAccess* target() override { return debugger_.target(); }
    void writeMessage(int kind, const std::string& source, const std::string& prefix,
                      const std::string& text) override;
    void createCategory(const std::string& name, int kind) override;

    // Host's own messages, under the category "Debugger".
    void hostMessage(const QString& text) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus(const ViewInstaller& views);
    void buildPluginCommands();
    void updateStatus();
    void updateActions();
    void runSlice();
    void openFirmware();
    void buildBoardMenu();
    // Ticks the Board menu's entry of config_.board ("None" for none).
    void showBoard();
    QIcon commandIcon(int bitmapId) const;

    SessionConfig config_;
    MachineFactory factory_;
    BenchEvents events_;
    Debugger debugger_;
    quill::debugger::DebugSession session_{debugger_};
    quill::gdb::GdbLink gdb_{session_};
    HostLinkPtr link_;
    std::unique_ptr<ClassRegistration> registration_;
    ComPtr<GuiWorks> guiWorks_;
    std::unique_ptr<KeyboardBridge> keyboard_;
    std::unique_ptr<DesktopServicesHost> desktop_;  // timers, window list, beep
    ComPtr<IGuiPlugin> plugin_;
    SetupDescription setup_;

    std::map<int, std::vector<QAction*>> commandActions_;
    DockClient* dockClient_ = nullptr;  // a child object: places the component docks

    OutputPane* output_ = nullptr;
    // A message's category and text as the pane takes them (kept: their
    // storage is reused from message to message).
    std::string messageCategory_, messageText_;
    quill::instruments::InstrumentHub* instruments_ = nullptr;  // a child object

    QComboBox* partChooser_ = nullptr;
    QDoubleSpinBox* frequency_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* speedLabel_ = nullptr;  // achieved speed, in the status bar
    QMenu* toolsMenu_ = nullptr;
    QMenu* boardMenu_ = nullptr;
    std::string boardPart_;  // the part of config_.board
    QToolBar* pluginToolbar_ = nullptr;
    QAction* startAction_ = nullptr;
    QAction* stopAction_ = nullptr;
    QAction* runAction_ = nullptr;
    QAction* breakAction_ = nullptr;
    QAction* stepAction_ = nullptr;
    QAction* resetAction_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* realTimeAction_ = nullptr;
    QAction* fastAction_ = nullptr;

    QTimer runTimer_;
    QTimer statusTimer_;
    RunPacer pacer_;
};

#include "host/app/MainWindow.h"

#include "host/app/HostPictures.h"

#include "host/debugger/ui/DebuggerViews.h"
#include "host/gdb/GdbController.h"
#include "host/recorder/ui/RecorderController.h"

#include <dlfcn.h>

#include <QActionGroup>
#include <QBuffer>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>

#include "contract/HostProtocol.h"
#include "host/app/DockClient.h"
#include "host/app/LabSession.h"
#include "host/app/LcdLines.h"
#include "contract/ResourceIds.h"
#include "host/app/ModuleLoader.h"
#include "host/sim/Clock.h"
#include "platform/files.h"
#include "platform/window.h"

namespace {

HWND toHandle(QWidget* widget) { return reinterpret_cast<HWND>(widget); }

QString sanitize(const QString& name) {
    QString out;
    for (QChar c : name) out += (c.isLetterOrNumber() || c == '-' || c == '_') ? c : QChar('_');
    return out;
}

}  // namespace

MainWindow::MainWindow(SessionConfig config, MachineFactory factory, QWidget* parent)
    : QMainWindow(parent), config_(std::move(config)), factory_(std::move(factory)) {
    setWindowTitle("quill-host");
    setObjectName("quillHostMainWindow");
    dockClient_ = new DockClient(*this);

    link_ = std::make_shared<HostLink>();
    link_->frontend = this;
    guiWorks_ = ComPtr<GuiWorks>::adopt(new GuiWorks(link_));
    registration_ =
        std::make_unique<ClassRegistration>(CLSID_HostServices, HostServicesCreator(link_));

    buildMenus();

    // The plug-in asks the system for the host's main window (autostep's
    // timer lives there) and the active window (it sends keys only while
    // the main window is active).
    SetMainWindowProvider([this] { return toHandle(this); });
    SetActiveWindowProvider([] { return toHandle(QApplication::activeWindow()); });
    // Keys the plug-in synthesises (autostep's F11) arrive here.
    keyboard_ = std::make_unique<KeyboardBridge>(this);
    // Window timers (autostep's) and the other desktop services.
    desktop_ = std::make_unique<DesktopServicesHost>();

    runTimer_.setInterval(0);
    connect(&runTimer_, &QTimer::timeout, this, &MainWindow::runSlice);
    statusTimer_.setInterval(100);
    connect(&statusTimer_, &QTimer::timeout, this, &MainWindow::updateStatus);
    statusTimer_.start();

    if (FAILED(registration_->result())) {
        hostMessage("Could not register the host services; the plug-in will not start.");
    }
    updateActions();
    updateStatus();
    resize(1280, 720);
}

MainWindow::~MainWindow() {
    runTimer_.stop();
    statusTimer_.stop();
    if (debugger_.debugging()) debugger_.stop();
    if (plugin_) {
        // Component windows belong to the plug-in: releasing it first lets
        // it take them down before the docks around them go.
        plugin_->Close();
        plugin_.reset();
    }
    debugger_.setPlugin(nullptr);
    link_->frontend = nullptr;
    guiWorks_.reset();
    registration_.reset();
    keyboard_.reset();
    desktop_.reset();
    SetMainWindowProvider(nullptr);
    SetActiveWindowProvider(nullptr);
}

// ---------------------------------------------------------------- menus

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    openAction_ = file->addAction("&Open firmware...", this, &MainWindow::openFirmware);
    openAction_->setShortcut(QKeySequence::Open);
    file->addSeparator();
    file->addAction("&Save lab...", this, [this] { SaveLabDialog(*this); });
    file->addAction("Open &lab...", this, [this] { OpenLabDialog(*this); });
    file->addSeparator();
    file->addAction("&Quit", this, &QWidget::close)->setShortcut(QKeySequence::Quit);
    // The terminals and the analyser are tool docks: tabbed below the
    // components, so that opening them never widens the window.
    instruments_ = new quill::instruments::InstrumentHub(
        this, [this](QDockWidget* dock) { addToolDock(dock); });
    instruments_->installMenus(file);
    instruments_->setLineResolver(lcdLineResolver(*this));
    connect(instruments_, &quill::instruments::InstrumentHub::message, this, &MainWindow::hostMessage);
    connect(this, &MainWindow::sessionChanged, instruments_, [this] {
        Machine* machine = debugger_.machine();
        instruments_->attach(debugger_.debugging() && machine ? machine->simulator() : nullptr);
    });

    QMenu* debug = menuBar()->addMenu("&Debug");
    startAction_ = debug->addAction("&Start Debugging", this, [this] {
        QString error;
        if (!startDebugging(&error)) hostMessage(error);
    });
    startAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space));
    stopAction_ = debug->addAction("S&top Debugging", this, &MainWindow::stopDebugging);
    stopAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5));
    debug->addSeparator();
    runAction_ = debug->addAction("&Run", this, &MainWindow::run);
    runAction_->setShortcut(Qt::Key_F5);
    breakAction_ = debug->addAction("&Break", this, &MainWindow::breakRun);
    breakAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    // F11 arrives through keyPressEvent as well (keys that the plug-in
    // synthesises are delivered to the window, not to the shortcut map).
    stepAction_ = debug->addAction("Step &Into", this, [this] { stepInto(); });
    stepAction_->setShortcut(Qt::Key_F11);
    resetAction_ = debug->addAction("Rese&t", this, &MainWindow::resetTarget);
    resetAction_->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    QMenu* speed = debug->addMenu("Run &speed");
    auto* speedGroup = new QActionGroup(speed);
    realTimeAction_ = speed->addAction("&Real time");
    realTimeAction_->setObjectName("runRealTime");
    fastAction_ = speed->addAction("As &fast as possible");
    fastAction_->setObjectName("runAsFastAsPossible");
    for (QAction* action : {realTimeAction_, fastAction_}) {
        action->setCheckable(true);
        speedGroup->addAction(action);
    }
    realTimeAction_->setChecked(pacer_.mode() == RunPacer::Mode::RealTime);
    fastAction_->setChecked(pacer_.mode() == RunPacer::Mode::AsFastAsPossible);
    connect(realTimeAction_, &QAction::triggered, this,
            [this] { setRunMode(RunPacer::Mode::RealTime); });
    connect(fastAction_, &QAction::triggered, this,
            [this] { setRunMode(RunPacer::Mode::AsFastAsPossible); });
    // Source-level debugging: the source and watch docks with F9, F10,
    // Shift+F11 and Run to cursor; the GDB server's "Accept GDB connection".
    new DebuggerViews(*this, debug);
    new GdbController(*this, debug);
    new RecorderController(*this, debug);

    toolsMenu_ = menuBar()->addMenu("&Tools");

    QToolBar* debugBar = addToolBar("Debug");
    debugBar->setObjectName("debugToolbar");
    debugBar->addWidget(new QLabel(" Part: "));
    partChooser_ = new QComboBox;
    partChooser_->setObjectName("partChooser");
    partChooser_->addItems(availableParts());
    int index = partChooser_->findText(QString::fromStdString(config_.part));
    if (index >= 0) partChooser_->setCurrentIndex(index);
    connect(partChooser_, &QComboBox::currentTextChanged, this,
            [this](const QString& part) { config_.part = part.toStdString(); });
    debugBar->addWidget(partChooser_);
    debugBar->addWidget(new QLabel(" Clock: "));
    frequency_ = new QDoubleSpinBox;
    frequency_->setObjectName("frequency");
    // The slowest clock the simulator can time has four decimals in MHz.
    frequency_->setDecimals(4);
    frequency_->setRange(quill::sim::kMinClockHz / 1e6, quill::sim::kMaxClockMHz);
    frequency_->setSuffix(" MHz");
    frequency_->setValue(config_.frequencyMHz);
    connect(frequency_, &QDoubleSpinBox::valueChanged, this,
            [this](double mhz) { config_.frequencyMHz = mhz; });
    debugBar->addWidget(frequency_);
    debugBar->addSeparator();
    debugBar->addAction(openAction_);
    debugBar->addAction(startAction_);
    debugBar->addAction(stopAction_);
    debugBar->addAction(runAction_);
    debugBar->addAction(breakAction_);
    debugBar->addAction(stepAction_);
    debugBar->addAction(resetAction_);

    // The session's state is one line of the status bar: the room above
    // the output belongs to the component windows, and the central widget
    // to the source view (DebuggerViews places it).
    statusLabel_ = new QLabel;
    statusLabel_->setObjectName("sessionStatus");
    statusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(statusLabel_, 1);
    speedLabel_ = new QLabel;
    speedLabel_->setObjectName("runSpeed");
    statusBar()->addPermanentWidget(speedLabel_);

    auto* outputDock = new QDockWidget("Output", this);
    outputDock->setObjectName("outputDock");
    output_ = new OutputPane;
    outputDock->setWidget(output_);
    addToolDock(outputDock);
    createCategory("Debugger", 0);
}

QIcon MainWindow::commandIcon(int bitmapId) const {
    if (bitmapId <= 0) return {};
    // The module draws its bitmaps in code and exports its loader under a
    // plain C name; the module is already loaded when commands are built.
    using BitmapLoader = bool (*)(int, double, QPixmap*);
    static BitmapLoader loader = [] {
        std::string path = RegisteredServerPath(kPluginProgId);
        void* module = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        return module ? reinterpret_cast<BitmapLoader>(dlsym(module, "QuillLoadBitmap")) : nullptr;
    }();
    QPixmap pixmap;
    if (loader && loader(bitmapId, devicePixelRatioF(), &pixmap)) return QIcon(pixmap);
    return {};
}

void MainWindow::buildPluginCommands() {
    for (const SetupMenu& menu : setup_.menus) {
        QMenu* parent = toolsMenu_;
        if (menu.parent != "TOOLS") {
            QString title = QString::fromStdString(menu.parent).toLower();
            if (!title.isEmpty()) title[0] = title[0].toUpper();
            parent = menuBar()->addMenu(title);
        }
        QMenu* target = menu.subMenu ? parent->addMenu(QString::fromStdString(menu.text)) : parent;
        target->setToolTipsVisible(true);
        for (const SetupMenuEntry& entry : menu.entries) {
            QAction* action = target->addAction(QString::fromStdString(entry.text));
            action->setObjectName(QString("menu_%1").arg(QString::fromStdString(entry.id)));
            action->setToolTip(QString::fromStdString(entry.tooltip));
            action->setStatusTip(QString::fromStdString(entry.tooltip));
            action->setData(QString::fromStdString(entry.tooltip));
            const int command = entry.command;
            connect(action, &QAction::triggered, this,
                    [this, command] { executeCommand(command); });
            commandActions_[command].push_back(action);
            if (entry.separatorAfter) target->addSeparator();
        }
    }
    // The plug-in's settings have no menu element of their own; the host
    // offers them under Tools.
    if (std::find(setup_.commands.begin(), setup_.commands.end(), "CFG") != setup_.commands.end()) {
        toolsMenu_->addSeparator();
        QAction* settings =
            toolsMenu_->addAction("Plug-in &settings...", this, [this] { openPluginSettings(); });
        settings->setObjectName("menu_plugin_settings");
    }
    for (const SetupToolbar& bar : setup_.toolbars) {
        pluginToolbar_ = addToolBar(QString::fromStdString(bar.name));
        pluginToolbar_->setObjectName(QString("toolbar_%1").arg(QString::fromStdString(bar.name)));
        for (const SetupToolbarButton& button : bar.buttons) {
            QString tip = QString::fromStdString(button.tooltip);
            QIcon icon = commandIcon(button.bitmapId);
            QAction* action = icon.isNull()
                                  ? pluginToolbar_->addAction(
                                        tip.isEmpty() ? QString::fromStdString(button.id) : tip)
                                  : pluginToolbar_->addAction(icon, tip);
            action->setObjectName(QString("button_%1").arg(QString::fromStdString(button.id)));
            action->setToolTip(tip);
            action->setData(tip);
            const int command = button.command;
            connect(action, &QAction::triggered, this,
                    [this, command] { executeCommand(command); });
            commandActions_[command].push_back(action);
        }
    }
}

// --------------------------------------------------------------- plug-in

HRESULT MainWindow::attachPlugin(IGuiPlugin* plugin, QString* error) {
    if (!plugin) return E_POINTER;
    if (plugin_) {
        if (error) *error = "a plug-in is already attached";
        return E_UNEXPECTED;
    }
    BSTR xml = nullptr;
    HRESULT hr = plugin->GetSetup(&xml);
    std::string text = BstrToAnsi(xml);
    SysFreeString(xml);
    if (FAILED(hr)) {
        if (error) *error = QString("GetSetup failed (0x%1)").arg(uint32_t(hr), 8, 16, QChar('0'));
        return hr;
    }
    std::string why;
    auto setup = ParseSetupDescription(text, &why);
    if (!setup) {
        if (error) *error = QString::fromStdString(why);
        return E_FAIL;
    }
    setup_ = std::move(*setup);
    plugin_ = ComPtr<IGuiPlugin>::share(plugin);
    debugger_.setPlugin(plugin_.get());
    buildPluginCommands();
    hr = plugin_->Init(guiWorks_.get());
    if (FAILED(hr)) {
        hostMessage(
            QString("The plug-in's Init failed (0x%1).").arg(uint32_t(hr), 8, 16, QChar('0')));
        if (error) *error = QString("Init failed (0x%1)").arg(uint32_t(hr), 8, 16, QChar('0'));
    }
    updateActions();
    return hr;
}

bool MainWindow::commandEnabled(int command) const {
    auto it = commandActions_.find(command);
    if (it != commandActions_.end() && !it->second.empty()) return it->second.front()->isEnabled();
    return false;
}

bool MainWindow::executeCommand(int command) {
    if (!plugin_ || command < 0 || command >= static_cast<int>(setup_.commands.size())) {
        return false;
    }
    if (!commandEnabled(command)) return false;
    plugin_->ExecuteCommand(command);
    return true;
}

bool MainWindow::openPluginSettings() {
    auto cfg = std::find(setup_.commands.begin(), setup_.commands.end(), "CFG");
    if (!plugin_ || cfg == setup_.commands.end()) return false;
    plugin_->ExecuteCommand(static_cast<LONG>(cfg - setup_.commands.begin()));
    return true;
}

void MainWindow::setCommandState(int command, int state) {
    auto it = commandActions_.find(command);
    if (it == commandActions_.end()) return;
    const bool enabled = (state & kCommandEnabled) != 0;
    for (QAction* action : it->second) {
        action->setEnabled(enabled);
        // A command that is off says why, in its tooltip and, on hover, in
        // the status bar; the plug-in turns components off while no
        // program is being debugged.
        QString tip = action->data().toString();
        if (!enabled) {
            const QString why = debugger_.debugging()
                                    ? QString("Not available now: the plug-in has turned it off.")
                                    : QString("Start debugging first (Debug > Start Debugging): "
                                              "components work on a running program.");
            tip = tip.isEmpty() ? why : tip + " - " + why;
        }
        action->setToolTip(tip);
        action->setStatusTip(tip);
    }
}

bool MainWindow::windowTimerRunning(uintptr_t id) const {
    return desktop_ && desktop_->hasTimer(toHandle(const_cast<MainWindow*>(this)), id);
}

// ---------------------------------------------------------------- docking

HWND MainWindow::createDockedWindow(const std::string& name) {
    QWidget* client = dockClient_->open(QString::fromStdString(name));
    emit componentWindowOpened(qobject_cast<QDockWidget*>(client->parentWidget()));
    return toHandle(client);
}

// ----------------------------------------------------------------- output

void MainWindow::createCategory(const std::string& name, int) {
    output_->addCategory(QString::fromStdString(name));
}

void MainWindow::writeMessage(int kind, const std::string& source, const std::string& prefix,
                              const std::string& text) {
    // The plug-in's own trace goes under a category of its own, which the
    // pane hides until asked.
    const bool trace = kind == kTraceMessageKind;
    const std::string category = source.empty() ? "General" : source;
    output_->write(QString::fromStdString(trace ? category + " trace" : category),
                   QString::fromStdString(prefix.empty() ? text : prefix + " " + text), trace);
}

void MainWindow::hostMessage(const QString& text) {
    writeMessage(0, "Debugger", "", text.toStdString());
}

QStringList MainWindow::outputLines() const { return output_->lines(); }

long long MainWindow::outputLinesDropped() const { return output_->dropped(); }

// ---------------------------------------------------------------- session

QStringList MainWindow::availableParts() const {
    QDir dir(QString::fromStdString(config_.installDirectory) + "/" + kPartDescriptionFolder);
    QStringList parts;
    for (const QFileInfo& info : dir.entryInfoList({"*.xml"}, QDir::Files, QDir::Name)) {
        const QString part = info.completeBaseName();
        const bool runnable =
            config_.runnableParts.empty() ||
            std::any_of(config_.runnableParts.begin(), config_.runnableParts.end(),
                        [&](const std::string& name) {
                            return part.compare(QString::fromStdString(name),
                                                Qt::CaseInsensitive) == 0;
                        });
        if (runnable) parts << part;
    }
    return parts;
}

bool MainWindow::startDebugging(QString* error) {
    QString why;
    const QString part = QString::fromStdString(config_.part);
    if (!availableParts().contains(part)) {
        const QString file = QString::fromStdString(config_.installDirectory) + "/" +
                             kPartDescriptionFolder + "/" + part + ".xml";
        why = QFileInfo(file).isFile()
                  ? QString("the simulator cannot run the %1 (it runs %2)")
                        .arg(part, availableParts().join(", "))
                  : QString("unknown part \"%1\": there is no %2").arg(part, file);
    } else if (config_.firmware.empty()) {
        why = "no firmware chosen (File > Open firmware...)";
    } else if (!factory_) {
        why = "this host has no simulator";
    }
    std::unique_ptr<Machine> machine;
    if (why.isEmpty()) {
        std::string reason;
        machine = factory_(config_, &reason);
        if (!machine)
            why = QString::fromStdString(reason.empty() ? "the simulator refused" : reason);
    }
    if (!why.isEmpty()) {
        if (error) *error = why;
        return false;
    }
    runTimer_.stop();
    session_.load(config_.firmware);
    debugger_.start(std::move(machine));
    hostMessage(QString("Debugging %1 at %2 MHz: %3")
                    .arg(QString::fromStdString(config_.part))
                    .arg(config_.frequencyMHz)
                    .arg(QString::fromStdString(config_.firmware)));
    updateActions();
    updateStatus();
    emit sessionChanged();
    return true;
}

void MainWindow::stopDebugging() {
    if (!debugger_.debugging()) return;
    runTimer_.stop();
    debugger_.breakRun();
    debugger_.stop();
    hostMessage("Debugging stopped.");
    updateActions();
    updateStatus();
    emit sessionChanged();
}

bool MainWindow::stepInto() {
    emit debugCommand(DebugCommand::Step);
    bool ok = debugger_.stepInto();
    if (!ok && !debugger_.lastFault().empty() && debugger_.state() == Debugger::State::Halted) {
        hostMessage(QString::fromStdString(debugger_.stopText()));
    }
    updateStatus();
    return ok;
}

void MainWindow::setRunMode(RunPacer::Mode mode) {
    pacer_.setMode(mode);
    if (realTimeAction_) realTimeAction_->setChecked(mode == RunPacer::Mode::RealTime);
    if (fastAction_) fastAction_->setChecked(mode == RunPacer::Mode::AsFastAsPossible);
    updateStatus();
}

void MainWindow::run() {
    if (!debugger_.beginRun()) return;
    emit debugCommand(DebugCommand::Run);
    Machine* machine = debugger_.machine();
    pacer_.start(machine->cycles(), machine->frequencyHz(), RunPacer::Clock::now());
    runTimer_.setInterval(0);
    runTimer_.start();
    updateActions();
    updateStatus();
}

void MainWindow::runSlice() {
    Machine* machine = debugger_.machine();
    if (debugger_.state() != Debugger::State::Running || !machine) {
        runTimer_.stop();
        updateActions();
        return;
    }
    const uint64_t until = pacer_.sliceLimit(machine->cycles(), RunPacer::Clock::now());
    const uint64_t done = debugger_.runSlice(until, RunPacer::kSliceBudget);
    const auto pause = pacer_.sliceDone(machine->cycles(), done, RunPacer::Clock::now());
    if (debugger_.state() != Debugger::State::Running) {
        runTimer_.stop();
        if (!debugger_.lastFault().empty()) hostMessage(QString::fromStdString(debugger_.stopText()));
        updateActions();
        updateStatus();
        return;
    }
    // Ahead of the wall clock: wait a little instead of spinning.
    runTimer_.setInterval(static_cast<int>(pause.count()));
}

void MainWindow::breakRun() {
    if (debugger_.state() == Debugger::State::Running) emit debugCommand(DebugCommand::Break);
    debugger_.breakRun();
    runTimer_.stop();
    updateActions();
    updateStatus();
}

void MainWindow::resetTarget() {
    runTimer_.stop();
    if (debugger_.debugging()) emit debugCommand(DebugCommand::Reset);
    if (debugger_.reset()) hostMessage("Target reset.");
    updateActions();
    updateStatus();
}

void MainWindow::chooseSession(const std::string& part, double frequencyMHz,
                               const std::string& firmware) {
    const int index = partChooser_->findText(QString::fromStdString(part));
    if (index >= 0) partChooser_->setCurrentIndex(index);
    config_.part = part;
    frequency_->setValue(frequencyMHz);
    config_.frequencyMHz = frequencyMHz;
    config_.firmware = firmware;
    updateStatus();
}

void MainWindow::openFirmware() {
    QString file = QFileDialog::getOpenFileName(this, "Open firmware",
                                                QString::fromStdString(config_.firmware),
                                                "AVR programs (*.elf *.hex);;All files (*)");
    if (file.isEmpty()) return;
    config_.firmware = file.toStdString();
    if (debugger_.debugging()) {
        stopDebugging();
        QString error;
        if (!startDebugging(&error)) hostMessage(error);
    }
    updateStatus();
}

void MainWindow::updateActions() {
    const bool debugging = debugger_.debugging();
    const bool running = debugger_.state() == Debugger::State::Running;
    startAction_->setEnabled(!debugging);
    stopAction_->setEnabled(debugging);
    runAction_->setEnabled(debugging && !running);
    breakAction_->setEnabled(running);
    stepAction_->setEnabled(debugging && !running);
    resetAction_->setEnabled(debugging);
    partChooser_->setEnabled(!debugging);
    frequency_->setEnabled(!debugging);
}

void MainWindow::updateStatus() {
    const QString firmware = config_.firmware.empty()
                                 ? QString("no firmware")
                                 : QFileInfo(QString::fromStdString(config_.firmware)).fileName();
    QString text = QString("<b>%1</b> at %2 MHz, %3 &mdash; ")
                       .arg(QString::fromStdString(config_.part))
                       .arg(config_.frequencyMHz)
                       .arg(firmware.toHtmlEscaped());
    Machine* machine = debugger_.machine();
    if (!debugger_.debugging() || !machine) {
        text += config_.firmware.empty()
                    ? "<b>Not debugging</b>: open firmware, then Start Debugging"
                    : "<b>Not debugging</b>: Start Debugging to run the program";
    } else {
        const bool running = debugger_.state() == Debugger::State::Running;
        const bool autostep = windowTimerRunning(ids::autostep::kTimer);
        const QString state = running    ? "Running"
                              : autostep ? "Autostep: stepping every 100 ms"
                                         : "Halted";
        const double seconds = static_cast<double>(machine->cycles()) / machine->frequencyHz();
        text += QString("<b>%1</b> at PC 0x%2, cycle %3 (%4 ms)")
                    .arg(state)
                    .arg(machine->programCounter(), 4, 16, QChar('0'))
                    .arg(machine->cycles())
                    .arg(seconds * 1000.0, 0, 'f', 3);
        if (const std::optional<int> code = debugger_.exitCode()) {
            text += QString(" &mdash; <b>Program exited (%1)</b>").arg(*code);
        } else if (!debugger_.lastFault().empty()) {
            text += " &mdash; <b>Stopped</b>: " +
                    QString::fromStdString(debugger_.lastFault()).toHtmlEscaped();
        }
    }
    statusLabel_->setToolTip(QString::fromStdString(config_.firmware));
    statusLabel_->setText(text);

    QString speedText =
        pacer_.mode() == RunPacer::Mode::RealTime ? "Real time" : "As fast as possible";
    if (debugger_.state() == Debugger::State::Running && pacer_.achievedPercent() >= 0)
        speedText += QString(": %1 % of real time").arg(pacer_.achievedPercent(), 0, 'f', 0);
    speedLabel_->setText(speedText);
}

// ----------------------------------------------------------- screenshots

QStringList MainWindow::saveScreenshots(const QString& dir, const QString& prefix, QString* error) {
    QStringList written;
    if (!QDir().mkpath(dir)) {
        if (error) *error = QString("cannot create the screenshot folder %1").arg(dir);
        return written;
    }
    updateStatus();
    output_->flush();
    QApplication::processEvents();
    auto save = [&](QWidget* widget, const QString& name) {
        QString file = QDir(dir).filePath(prefix + sanitize(name) + ".png");
        // Encoded in memory, then replacing only an earlier screenshot (a
        // FIFO, a link or another file in its place is refused, never
        // blocks, and is left as it is).
        const QByteArray png = HostPng(widget->grab().toImage());
        std::string why;
        if (!png.isEmpty() &&
            quill::files::replaceFile(file.toStdString(), png.toStdString(), kHostScreenshot,
                                      &why)) {
            written << file;
        } else if (error) {
            *error = why.empty() ? QString("cannot write %1").arg(file) : QString::fromStdString(why);
        }
    };
    save(this, "quill-host");
    for (QDockWidget* dock : dockClient_->docks()) {
        if (dock->isVisible()) save(dock, DockClient::nameOf(dock));
    }
    return written;
}

// ------------------------------------------------------------------ input

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier) {
        stepInto();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    runTimer_.stop();
    stopDebugging();
    QMainWindow::closeEvent(event);
}

#include "host/ui/MainWindow.h"

#include <QMenu>

#include "host/workbench/HostPictures.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "contract/HostProtocol.h"
#include "host/workbench/DockClient.h"
#include "contract/ResourceIds.h"
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

MainWindow::MainWindow(SessionConfig config, MachineFactory factory, ViewInstaller views,
                       QWidget* parent)
    : QMainWindow(parent), config_(std::move(config)), factory_(std::move(factory)) {
    setWindowTitle("quill-host");
    setObjectName("quillHostMainWindow");
    dockClient_ = new DockClient(*this);

    link_ = std::make_shared<HostLink>();
    link_->frontend = this;
    guiWorks_ = ComPtr<GuiWorks>::adopt(new GuiWorks(link_));
    registration_ =
        std::make_unique<ClassRegistration>(CLSID_HostServices, HostServicesCreator(link_));

    buildMenus(views);

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
    // Slices end every few milliseconds; the pictures follow once a frame.
    debugger_.setRunIdleInterval(RunPacer::kFrameInterval);
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
    emit events_.componentWindowOpened(qobject_cast<QDockWidget*>(client->parentWidget()));
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
    std::string_view category = source.empty() ? std::string_view("General") : source;
    if (trace) {
        messageCategory_.assign(category).append(" trace");
        category = messageCategory_;
    }
    std::string_view line = text;
    if (!prefix.empty()) {
        messageText_.assign(prefix).append(" ").append(text);
        line = messageText_;
    }
    output_->write(category, line, trace);
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
    emit events_.sessionChanged();
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
    emit events_.sessionChanged();
}

bool MainWindow::stepInto() {
    emit events_.debugCommand(BenchEvents::DebugCommand::Step);
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
    emit events_.debugCommand(BenchEvents::DebugCommand::Run);
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
    if (debugger_.state() == Debugger::State::Running) emit events_.debugCommand(BenchEvents::DebugCommand::Break);
    debugger_.breakRun();
    runTimer_.stop();
    updateActions();
    updateStatus();
}

void MainWindow::resetTarget() {
    runTimer_.stop();
    if (debugger_.debugging()) emit events_.debugCommand(BenchEvents::DebugCommand::Reset);
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
    if (boardMenu_) boardMenu_->setEnabled(!debugging);
}

void MainWindow::updateStatus() {
    const QString firmware = config_.firmware.empty()
                                 ? QString("no firmware")
                                 : QFileInfo(QString::fromStdString(config_.firmware)).fileName();
    const QString board =
        config_.board.empty() ? QString() : QString::fromStdString(config_.board) + ", ";
    QString text = QString("<b>%1%2</b> at %3 MHz, %4 &mdash; ")
                       .arg(board, QString::fromStdString(config_.part))
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
    // The terminals show what the program sent up to now, not what their
    // last timer tick had (a headless run may pass a second between ticks).
    instruments_->catchUp();
    // The components gather their repaints for up to a display frame of
    // wall-clock time (the Stack view reads the memory only then), and a
    // headless run may pass many simulated milliseconds within one frame:
    // the frame ends first, so that each picture shows the part as it is.
    QEventLoop frame;
    QTimer::singleShot(kDisplayFrameMs + 1, &frame, &QEventLoop::quit);
    frame.exec();
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

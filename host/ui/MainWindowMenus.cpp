// The main window's menus, its tool bars and the plug-in's commands in
// them: File and Debug with the session's actions, the part and clock
// choosers, the status line and the output dock, and the menus and tool
// bar the plug-in's setup description asks for.
#include <dlfcn.h>

#include <QActionGroup>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

#include "host/session/HostSetup.h"
#include "host/lab/ui/LabSession.h"
#include "host/boards/Board.h"
#include "host/workbench/LcdLines.h"
#include "host/ui/MainWindow.h"
#include "host/session/ModuleLoader.h"
#include "host/sim/Clock.h"

void MainWindow::buildMenus(const ViewInstaller& views) {
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
    connect(&events_, &BenchEvents::sessionChanged, instruments_, [this] {
        Machine* machine = debugger_.machine();
        // The session's board: its pin names in the signal lists.
        instruments_->setBoard(SessionBoard(config_));
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
    // Shift+F11 and Run to cursor; the GDB server's "Accept GDB connection";
    // the scenario recorder.
    if (views) views(*this, debug);

    buildBoardMenu();
    toolsMenu_ = menuBar()->addMenu("&Tools");

    QToolBar* debugBar = addToolBar("Debug");
    debugBar->setObjectName("debugToolbar");
    debugBar->addWidget(new QLabel(" Part: "));
    partChooser_ = new QComboBox;
    partChooser_->setObjectName("partChooser");
    partChooser_->addItems(availableParts());
    int index = partChooser_->findText(QString::fromStdString(config_.part));
    if (index >= 0) partChooser_->setCurrentIndex(index);
    connect(partChooser_, &QComboBox::currentTextChanged, this, [this](const QString& part) {
        config_.part = part.toStdString();
        // Another part is no longer the board: its pin names go with it.
        if (!config_.board.empty() &&
            part.compare(QString::fromStdString(boardPart_), Qt::CaseInsensitive) != 0) {
            config_.board.clear();
            showBoard();
        }
    });
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


void MainWindow::buildBoardMenu() {
    boardMenu_ = menuBar()->addMenu("&Board");
    boardMenu_->setObjectName("boardMenu");
    auto* group = new QActionGroup(boardMenu_);
    auto add = [&](const QString& text, const std::string& name) {
        QAction* action = boardMenu_->addAction(text);
        action->setObjectName(QString::fromStdString("board_" + (name.empty() ? "none" : name)));
        action->setData(QString::fromStdString(name));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, name] {
            QString error;
            if (!chooseBoard(name, &error)) hostMessage(error);
        });
    };
    add("&None (port pins only)", "");
    boardMenu_->addSeparator();
    for (const quill::boards::Board& b : InstalledBoards(config_.installDirectory)) {
        add(QString("%1 (%2, %3 MHz)")
                .arg(QString::fromStdString(b.name), QString::fromStdString(b.part))
                .arg(b.hertz / 1e6),
            b.name);
        if (quill::boards::findBoard({b}, config_.board)) boardPart_ = b.part;
    }
    showBoard();
}

void MainWindow::showBoard() {
    if (!boardMenu_) return;
    for (QAction* action : boardMenu_->actions()) {
        if (action->isCheckable())
            action->setChecked(action->data().toString().compare(
                                   QString::fromStdString(config_.board), Qt::CaseInsensitive) == 0);
    }
}

bool MainWindow::chooseBoard(const std::string& name, QString* error) {
    if (debugger_.debugging()) {
        *error = "Stop debugging before choosing a board.";
        showBoard();
        return false;
    }
    if (name.empty()) {
        config_.board.clear();
        showBoard();
        updateStatus();
        return true;
    }
    const std::vector<quill::boards::Board> boards = InstalledBoards(config_.installDirectory);
    const quill::boards::Board* board = quill::boards::findBoard(boards, name);
    if (!board) {
        *error = QString("unknown board \"%1\" (known: %2)")
                     .arg(QString::fromStdString(name),
                          QString::fromStdString(boards.empty() ? std::string("none")
                                                                : quill::boards::boardNames(boards)));
        showBoard();
        return false;
    }
    const QString part = QString::fromStdString(board->part);
    if (partChooser_->findText(part) < 0) {
        *error = QString("the simulator cannot run the %1's part, the %2").arg(
            QString::fromStdString(board->name), part);
        showBoard();
        return false;
    }
    boardPart_ = board->part;
    config_.board = board->name;
    partChooser_->setCurrentIndex(partChooser_->findText(part));
    config_.part = board->part;
    frequency_->setValue(board->hertz / 1e6);
    config_.frequencyMHz = board->hertz / 1e6;
    showBoard();
    updateStatus();
    return true;
}

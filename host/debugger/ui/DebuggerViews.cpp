#include "host/debugger/ui/DebuggerViews.h"

#include "host/session/HostSetup.h"

#include <QMainWindow>
#include <QAction>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "host/workbench/HostBench.h"
#include "host/session/PartRegisters.h"
#include "host/debugger/ui/SourceArrangement.h"
#include "host/debugger/ui/SourceModel.h"
#include "host/debugger/ui/WatchModel.h"

namespace qd = quill::debugger;

namespace {

// Every 16 ms: the display's rate.
constexpr int kFrameMs = 16;

}  // namespace

DebuggerViews::DebuggerViews(HostBench& window, QMenu* debugMenu)
    : QObject(&window.mainWidget()), window_(window) {
    setObjectName("debuggerViews");
    sourceModel_ = new SourceModel(window.session(), this);
    sourceView_ = new QListView;
    sourceView_->setObjectName("sourceView");
    sourceView_->setModel(sourceModel_);
    sourceView_->setUniformItemSizes(true);
    sourceView_->setContextMenuPolicy(Qt::ActionsContextMenu);
    sourceView_->setMinimumWidth(440);
    // The notice of a source file not on this machine, above the lines.
    notice_ = new QFrame;
    notice_->setObjectName("sourceNotice");
    static_cast<QFrame*>(notice_)->setFrameShape(QFrame::StyledPanel);
    notice_->setAutoFillBackground(true);
    QPalette noticePalette = notice_->palette();
    noticePalette.setColor(QPalette::Window, QColor(255, 244, 200));
    notice_->setPalette(noticePalette);
    auto* noticeLayout = new QHBoxLayout(notice_);
    noticeLayout->setContentsMargins(6, 3, 6, 3);
    noticeText_ = new QLabel;
    noticeText_->setWordWrap(true);
    auto* locateButton = new QPushButton("Locate...");
    locateButton->setObjectName("locateSource");
    noticeLayout->addWidget(noticeText_, 1);
    noticeLayout->addWidget(locateButton);
    notice_->hide();
    connect(locateButton, &QPushButton::clicked, this, &DebuggerViews::locate);
    auto* sourcePanel = new QWidget;
    auto* sourceLayout = new QVBoxLayout(sourcePanel);
    sourceLayout->setContentsMargins(0, 0, 0, 0);
    sourceLayout->setSpacing(0);
    sourceLayout->addWidget(notice_);
    sourceLayout->addWidget(sourceView_);
    sourceDock_ = new QDockWidget("Source", &window.mainWidget());
    sourceDock_->setObjectName("sourceDock");
    sourceDock_->setWidget(sourcePanel);
    window.addToolDock(sourceDock_);

    watch_ = std::make_unique<qd::WatchList>(nullptr, nullptr);
    watchModel_ = new WatchModel(*watch_, window.debugger(), this);
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(2, 2, 2, 2);
    watchInput_ = new QLineEdit;
    watchInput_->setObjectName("watchInput");
    watchInput_->setPlaceholderText("Watch: PORTA, R24, SP, SREG or a variable, then Enter");
    watchView_ = new QTableView;
    watchView_->setObjectName("watchView");
    watchView_->setModel(watchModel_);
    watchView_->verticalHeader()->hide();
    watchView_->horizontalHeader()->setStretchLastSection(true);
    watchView_->setMinimumWidth(360);
    watchView_->setColumnWidth(WatchModel::kValue, 180);
    watchView_->setContextMenuPolicy(Qt::ActionsContextMenu);
    status_ = new QLabel;
    layout->addWidget(watchInput_);
    layout->addWidget(watchView_);
    layout->addWidget(status_);
    watchDock_ = new QDockWidget("Watch", &window.mainWidget());
    watchDock_->setObjectName("watchDock");
    watchDock_->setWidget(panel);
    window.addToolDock(watchDock_);
    // Hidden until the user debugs at source level (a breakpoint, a
    // source-level step, the menu): the components keep their room. A
    // program with source lines has them in the central area instead.
    sourceDock_->hide();
    watchDock_->hide();
    arrangement_ = new SourceArrangement(window.mainWidget(), sourceDock_, watchDock_);

    connect(watchInput_, &QLineEdit::returnPressed, this, [this] {
        QString error;
        if (watchModel_->add(watchInput_->text(), &error)) {
            watchInput_->clear();
            message({});
        } else {
            message(error);
        }
    });
    connect(watchModel_, &QAbstractItemModel::dataChanged, this, [this] {
        if (!watchModel_->lastError().isEmpty()) message(watchModel_->lastError());
    });
    const std::pair<const char*, qd::WatchFormat> formats[] = {{"Hexadecimal", qd::WatchFormat::Hex},
                                                                {"Decimal", qd::WatchFormat::Decimal},
                                                                {"Binary", qd::WatchFormat::Binary},
                                                                {"Character", qd::WatchFormat::Char}};
    for (const auto& [name, format] : formats) {
        auto* action = new QAction(name, watchView_);
        const qd::WatchFormat f = format;
        connect(action, &QAction::triggered, this, [this, f] {
            for (const QModelIndex& i : watchView_->selectionModel()->selectedRows())
                watchModel_->setFormat(i.row(), f);
            if (watchView_->currentIndex().isValid())
                watchModel_->setFormat(watchView_->currentIndex().row(), f);
        });
        watchView_->addAction(action);
    }
    auto* removeWatch = new QAction("Remove", watchView_);
    removeWatch->setShortcut(QKeySequence::Delete);
    removeWatch->setShortcutContext(Qt::WidgetShortcut);
    connect(removeWatch, &QAction::triggered, this,
            [this] { watchModel_->remove(watchView_->currentIndex().row()); });
    watchView_->addAction(removeWatch);

    debugMenu->addSeparator();
    debugMenu->addAction(arrangement_->toggleAction(sourceDock_));
    debugMenu->addAction(arrangement_->toggleAction(watchDock_));
    auto add = [&](const char* text, const QKeySequence& keys, void (DebuggerViews::*slot)()) {
        QAction* action = debugMenu->addAction(text, this, slot);
        action->setShortcut(keys);
        return action;
    };
    QAction* toggle = add("Toggle &breakpoint", Qt::Key_F9, &DebuggerViews::toggleBreakpoint);
    add("Step &over", Qt::Key_F10, &DebuggerViews::stepOver);
    add("Step o&ut", QKeySequence(Qt::SHIFT | Qt::Key_F11), &DebuggerViews::stepOut);
    QAction* cursor =
        add("Run to &cursor", QKeySequence(Qt::CTRL | Qt::Key_F10), &DebuggerViews::runToCursor);
    sourceView_->addAction(toggle);
    sourceView_->addAction(cursor);

    chooser_ = [this](const QString& name) {
        return QFileDialog::getOpenFileName(&window_.mainWidget(), "Where is " + QFileInfo(name).fileName() + "?",
                                            QString(), "C sources (*.c *.h *.S);;All files (*)");
    };
    // Another program (or the same one started anew): what the views said
    // of the last one goes, the new one is shown now rather than when the
    // timer finds the program changed (a new program may even be read into
    // the same memory as the old one).
    connect(&window_.events(), &BenchEvents::sessionChanged, this, [this] {
        message({});
        sourceModel_->clearHighlight();
        shownInstructions_ = ~0ull;
        wasRunning_ = false;
        shownDebugging_ = window_.debugger().debugging();
        if (shownDebugging_) showProgram();
        follow();
    });
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, &DebuggerViews::follow);
    timer_.start();
}

DebuggerViews::~DebuggerViews() = default;

void DebuggerViews::message(const QString& text) { status_->setText(text); }

void DebuggerViews::showProgram() {
    const qd::ProgramInfo* program = window_.session().program();
    program_ = program;
    std::string why;
    auto registers = PartRegisters::load(window_.config().installDirectory, window_.config().part, &why);
    // Pins are watched with the session's board names beside them.
    std::function<std::string(char, int)> namer;
    if (std::optional<quill::boards::Board> board = SessionBoard(window_.config()))
        namer = [b = *board](char port, int bit) { return b.nameOf(port, bit); };
    watch_->setPinNamer(std::move(namer));
    watchModel_->rebind(
        [registers](const std::string& name) { return registers ? registers->index(name) : -1; },
        program);
    remembered_.clear();
    reported_.clear();
    missing_.clear();
    notice_->hide();
    arrangement_->setCentral(program && program->hasLineInfo());
    if (program && program->hasLineInfo()) {
        const std::optional<qd::SourceLocation> now = window_.session().currentLine();
        const qd::Symbol* main = program->function("main");
        std::optional<qd::SourceLocation> first =
            now ? now : main ? program->locate(main->address) : std::nullopt;
        showFileOf(first ? first->file : program->files().front());
    } else {
        showDisassembly();
        // What is missing, and what still works: in the title, which shows
        // whichever dock is in front, and under the watch.
        if (program)
            sourceDock_->setWindowTitle(QString("Source - disassembly (%1)")
                                            .arg(QString::fromStdString(program->missingLineInfo())));
        if (!window_.session().programProblem().empty())
            message(QString::fromStdString(window_.session().programProblem()));
    }
}

void DebuggerViews::showFileOf(const std::string& tableName) {
    const qd::ProgramInfo* program = window_.session().program();
    if (!program) return;
    const std::string path =
        qd::findSourceFile(tableName, *program, window_.config().firmware, remembered_);
    std::string error;
    std::vector<std::string> lines = path.empty() ? std::vector<std::string>{} : qd::readLines(path, &error);
    if (path.empty()) {
        error = "source file " + tableName + " not found";
        const QString name = QFileInfo(QString::fromStdString(tableName)).fileName();
        missing_ = tableName;
        noticeText_->setText(
            QString("The source file %1 is not on this machine; the program was built from %2.")
                .arg(name, QString::fromStdString(tableName)));
        notice_->show();
        if (reported_.insert(tableName).second) {
            const QString line =
                QString("Source file %1 not found (the program names %2): the source view shows "
                        "no lines for it; Locate... in the source view finds it")
                    .arg(name, QString::fromStdString(tableName));
            window_.hostMessage(line);
            emit sourceMissing(line);
        }
    } else {
        missing_.clear();
        notice_->hide();
    }
    sourceModel_->showSource(tableName, std::move(lines));
    sourceDock_->setWindowTitle(
        QString("Source - %1").arg(QFileInfo(QString::fromStdString(tableName)).fileName()));
    if (!error.empty()) message(QString::fromStdString(error));
}

void DebuggerViews::locate() {
    if (missing_.empty() || !chooser_) return;
    const std::string tableName = missing_;
    const std::string path = chooser_(QString::fromStdString(tableName)).toStdString();
    if (path.empty()) return;
    remembered_[tableName] = path;
    showFileOf(tableName);
    // The line the program stands at, highlighted in the file now shown.
    shownInstructions_ = ~0ull;
    follow();
}

void DebuggerViews::showDisassembly() {
    // avr-objdump runs once per firmware file (and change of it).
    const QString firmware = QString::fromStdString(window_.config().firmware);
    const QFileInfo info(firmware);
    const std::string key = firmware.toStdString() + "@" +
                            std::to_string(info.lastModified().toMSecsSinceEpoch());
    auto cached = disassembly_.find(key);
    if (cached == disassembly_.end()) {
        QProcess objdump;
        const bool hex = info.suffix().compare("elf", Qt::CaseInsensitive) != 0;
        const QStringList args = hex ? QStringList{"-m", "avr5", "-D", "-b", "ihex", firmware}
                                     : QStringList{"-d", firmware};
        objdump.start("avr-objdump", args);
        std::string text;
        if (objdump.waitForFinished(10000) && objdump.exitCode() == 0) {
            text = objdump.readAllStandardOutput().toStdString();
        } else {
            message("avr-objdump could not disassemble the program (binutils-avr)");
        }
        cached = disassembly_.emplace(key, std::move(text)).first;
    }
    sourceModel_->showDisassembly(qd::parseDisassembly(cached->second));
    sourceDock_->setWindowTitle("Source - disassembly");
}

void DebuggerViews::follow() {
    Debugger& debugger = window_.debugger();
    if (debugger.debugging() != shownDebugging_ ||
        (debugger.debugging() && window_.session().program() != program_)) {
        shownDebugging_ = debugger.debugging();
        shownInstructions_ = ~0ull;
        if (shownDebugging_) showProgram();
    }
    if (!debugger.debugging()) return;
    // A wait or a run to a line that lets the windows run counts as a run:
    // the source view is brought to the line once the run ends.
    const bool running = debugger.running();
    if (running) {
        if (!wasRunning_) {
            watchModel_->resumed();
            // A running program stands at no line: the last halt's is no
            // longer where it is.
            sourceModel_->clearHighlight();
        }
        wasRunning_ = true;
        watchModel_->update();  // at the display rate
        return;
    }
    if (wasRunning_ || debugger.instructionsExecuted() != shownInstructions_) {
        if (!wasRunning_ && shownInstructions_ != ~0ull) watchModel_->resumed();
        wasRunning_ = false;
        shownInstructions_ = debugger.instructionsExecuted();
        halted();
    }
}

void DebuggerViews::halted() {
    qd::Breakpoints& breakpoints = window_.session().breakpoints();
    for (uint32_t pc : cursorBreak_) breakpoints.addresses().remove(pc);
    if (!cursorBreak_.empty()) sourceModel_->breakpointsChanged();
    cursorBreak_.clear();
    if (window_.debugger().atBreakpoint()) showDocks();
    watchModel_->halted();
    int row = -1;
    if (sourceModel_->disassembly()) {
        row = sourceModel_->highlightAddress(window_.debugger().machine()->programCounter());
    } else if (const auto now = window_.session().currentLine()) {
        if (now->file != sourceModel_->file()) showFileOf(now->file);
        row = sourceModel_->highlightLine(now->file, now->line);
    } else {
        sourceModel_->highlightLine({}, 0);
    }
    if (row >= 0) {
        const QModelIndex index = sourceModel_->index(row);
        sourceView_->scrollTo(index, QAbstractItemView::PositionAtCenter);
        // The current row without selecting it: the highlight stays visible.
        sourceView_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::Clear);
    }
}

void DebuggerViews::showDocks() {
    // The source last: a dock shown is raised over the others.
    for (QDockWidget* dock : {watchDock_, sourceDock_}) arrangement_->setShown(dock, true);
}

void DebuggerViews::toggleBreakpoint() {
    showDocks();
    std::string error;
    const int row = sourceView_->currentIndex().row();
    if (row < 0) return;
    if (!sourceModel_->toggleBreakpoint(row, &error)) message(QString::fromStdString(error));
}

void DebuggerViews::stepOver() {
    if (window_.debugger().state() != Debugger::State::Halted) return;
    showDocks();
    message(QString::fromStdString(window_.session().stepOver().message));
    follow();
}

void DebuggerViews::stepOut() {
    if (window_.debugger().state() != Debugger::State::Halted) return;
    showDocks();
    message(QString::fromStdString(window_.session().stepOut().message));
    follow();
}

void DebuggerViews::runToCursor() {
    const int row = sourceView_->currentIndex().row();
    if (row < 0 || window_.debugger().state() != Debugger::State::Halted) return;
    std::vector<uint32_t> addresses;
    if (sourceModel_->disassembly()) {
        if (sourceModel_->addressOf(row) != 0xFFFFFFFF) addresses = {sourceModel_->addressOf(row)};
    } else if (const qd::ProgramInfo* program = window_.session().program()) {
        const int line = program->nextLineWithCode(sourceModel_->file(), sourceModel_->lineOf(row));
        if (line > 0) addresses = program->lineAddresses(sourceModel_->file(), line);
    }
    if (addresses.empty()) {
        message("no code at or after this line");
        return;
    }
    for (uint32_t pc : addresses) window_.session().breakpoints().addresses().add(pc);
    cursorBreak_ = addresses;
    window_.run();
}

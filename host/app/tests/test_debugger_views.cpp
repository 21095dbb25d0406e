// The source and watch docks in the window, offscreen, on the debugger's
// demo built with DWARF and with STABS: a breakpoint set with F9 on the
// highlighted-row's line, Run stops there, the line is highlighted and the
// watched values are as expected; changed values are marked, a value typed
// into the watch reaches the program; F10 and Shift+F11 step at source
// level. Stripped of its debug information the view shows the disassembly
// and says what is missing. Saves the window as PNG for a look
// (build/.../debugger-views-*.png).
#include <gtest/gtest.h>

#include "host/debugger/tests/DemoSource.h"

#include <QApplication>
#include <QAction>
#include <QDockWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QListView>
#include <QTableView>
#include <QTest>
#include <filesystem>

#include "host/session/HostSetup.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/app/tests/ModuleHost.h"
#include "host/scenario/Scenario.h"
#include "host/debugger/ui/DebuggerViews.h"
#include "host/debugger/ui/SourceArrangement.h"
#include "host/debugger/ui/SourceModel.h"
#include "host/debugger/ui/WatchModel.h"

namespace {

using demo::lineOf;

struct DebuggerViewsTest : ::testing::Test {
    std::unique_ptr<MainWindow> window;
    DebuggerViews* views = nullptr;

    void SetUp() override { start(demo::kElf); }
    void start(const std::string& firmware) {
        SessionConfig config;
        config.installDirectory = std::string(QUILL_SOURCE_DIR) + "/host";
        config.firmware = firmware;
        window = BuildWorkbench(config, SimulatorFactory());
        window->setPacing(false);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QString error;
        ASSERT_TRUE(window->startDebugging(&error)) << error.toStdString();
        views = window->findChild<DebuggerViews*>("debuggerViews");
        ASSERT_TRUE(views);
        views->follow();
    }

    void watch(const QString& name) {
        views->watchInput()->setFocus();
        QTest::keyClicks(views->watchInput(), name);
        QTest::keyClick(views->watchInput(), Qt::Key_Return);
    }
    QString value(int row) const {
        return views->watchModel().index(row, WatchModel::kValue).data().toString();
    }
    bool red(int row) const {
        return views->watchModel().index(row, WatchModel::kValue).data(Qt::ForegroundRole).isValid();
    }
    // Runs as the window's Run does until the program halts.
    void runToHalt() {
        window->run();
        for (int i = 0; i < 1000 && window->debugger().state() == Debugger::State::Running; ++i)
            QApplication::processEvents();
        ASSERT_EQ(window->debugger().state(), Debugger::State::Halted);
        views->follow();
    }
    int highlightedLine() const { return views->sourceModel().highlighted() + 1; }
};

// The same steps on the DWARF and the STABS build.
struct BuildsViewsTest : DebuggerViewsTest, ::testing::WithParamInterface<std::string> {
    void SetUp() override { start(GetParam()); }
    QString name() const { return GetParam() == demo::kElf ? "dwarf" : "stabs"; }
};
INSTANTIATE_TEST_SUITE_P(Builds, BuildsViewsTest, ::testing::Values(demo::kElf, demo::kStabsElf),
                         [](const auto& p) { return p.param == demo::kElf ? "Dwarf" : "Stabs"; });

TEST_P(BuildsViewsTest, BreakpointHaltShowsLineAndWatchedValues) {
    // Halted at reset: the source view shows the program's file, in the
    // central area with the watch beside it (the docks stay hidden).
    EXPECT_EQ(views->sourceDock()->windowTitle(), "Source - debug_demo.c");
    SourceArrangement& arrangement = views->arrangement();
    ASSERT_TRUE(arrangement.central());
    EXPECT_EQ(window->centralWidget(), arrangement.centre());
    EXPECT_EQ(arrangement.centreTitle()->text(), "Source - debug_demo.c");
    EXPECT_TRUE(views->sourceDock()->isHidden());
    EXPECT_TRUE(views->watchDock()->isHidden());
    QApplication::processEvents();
    ASSERT_TRUE(views->sourceView()->isVisible());
    ASSERT_TRUE(views->watchView()->isVisible());
    auto inWindow = [this](QWidget* w) {
        return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size());
    };
    const QRect source = inWindow(views->sourceView());
    const QRect watched = inWindow(views->watchView());
    EXPECT_LE(source.right(), watched.left());  // side by side, not tabs
    EXPECT_TRUE(inWindow(arrangement.centre()).contains(source.united(watched)));
    EXPECT_GE(source.height(), 5 * views->sourceView()->fontMetrics().height());
    // The menu's check item hides and shows it where it stands.
    QAction* watchItem = arrangement.toggleAction(views->watchDock());
    EXPECT_TRUE(watchItem->isChecked());
    watchItem->trigger();
    EXPECT_TRUE(views->watchView()->isHidden() || !views->watchView()->isVisible());
    EXPECT_TRUE(views->watchDock()->isHidden());
    watchItem->trigger();
    EXPECT_TRUE(arrangement.shown(views->watchDock()));
    EXPECT_GT(views->sourceModel().rowCount(), lineOf("passes++"));
    watch("counter");
    watch("PORTA");
    watch("SREG");
    watch("nosuch");  // refused: the row is not added
    ASSERT_EQ(views->watchModel().rowCount(), 3);
    EXPECT_EQ(views->watchInput()->text(), "nosuch");
    views->watchInput()->clear();

    // F9 on the line of counter++ sets a breakpoint on it.
    const int line = lineOf("counter++");
    views->sourceView()->setFocus();
    views->sourceView()->setCurrentIndex(views->sourceModel().index(line - 1));
    QTest::keyClick(views->sourceView(), Qt::Key_F9);
    EXPECT_EQ(views->sourceModel().index(line - 1).data(Qt::CheckStateRole).toInt(), Qt::Checked);

    runToHalt();
    EXPECT_TRUE(window->debugger().atBreakpoint());
    EXPECT_EQ(highlightedLine(), line);
    EXPECT_EQ(views->sourceView()->currentIndex().row(), line - 1);
    EXPECT_EQ(value(0), "0x00");
    EXPECT_EQ(value(1), "0x00");
    runToHalt();  // the next pass: counter counted once, PORTA shows pattern
    EXPECT_EQ(value(0), "0x01");
    EXPECT_TRUE(red(0));
    EXPECT_EQ(value(1), "0x01");
    EXPECT_TRUE(red(1));
    runToHalt();
    EXPECT_EQ(value(0), "0x02");
    EXPECT_TRUE(red(0));
    EXPECT_FALSE(red(1));  // PORTA kept its value since the last halt

    // Formats, and a value typed into the watch reaches the program.
    views->watchModel().setFormat(0, quill::debugger::WatchFormat::Decimal);
    EXPECT_EQ(value(0), "2");
    const QModelIndex cell = views->watchModel().index(0, WatchModel::kValue);
    EXPECT_TRUE(views->watchModel().setData(cell, "0x10", Qt::EditRole));
    EXPECT_EQ(value(0), "16");
    EXPECT_FALSE(views->watchModel().setData(cell, "300", Qt::EditRole));  // one byte
    EXPECT_EQ(views->watchModel().lastError().toStdString(), "\"300\" is no value of 1 byte(s)");

    EXPECT_TRUE(arrangement.shown(views->sourceDock()));
    const QString png = QString(QUILL_BINARY_DIR) + "/debugger-views-" + name() + ".png";
    EXPECT_TRUE(window->grab().save(png));

    // F10 steps to the next line, Shift+F11 out of tick() into main.
    QTest::keyClick(views->sourceView(), Qt::Key_F10);
    EXPECT_EQ(highlightedLine(), lineOf("total += counter"));
    QTest::keyClick(views->sourceView(), Qt::Key_F11, Qt::ShiftModifier);
    EXPECT_EQ(window->session().currentLine()->line, lineOf("PORTA = pattern"));
    EXPECT_EQ(highlightedLine(), lineOf("PORTA = pattern"));
    EXPECT_EQ(value(0), "17");  // counted the pass
}

// F10 from reset runs the start-up code to main's first line (it stepped
// one instruction of code without lines before); while the program runs no
// line is highlighted; another program loaded clears what was said of the
// last one.
TEST_P(BuildsViewsTest, StepOverFromResetReachesMainAndRunningShowsNoLine) {
    ASSERT_EQ(window->session().currentLine(), std::nullopt);  // the reset vector
    views->sourceView()->setFocus();
    QTest::keyClick(views->sourceView(), Qt::Key_F10);
    ASSERT_TRUE(window->session().currentLine());
    EXPECT_EQ(window->session().currentLine()->line, lineOf("DDRA = 0xFF"));
    EXPECT_EQ(highlightedLine(), lineOf("DDRA = 0xFF"));
    EXPECT_TRUE(views->statusLabel()->text().startsWith(
        QString("ran the start-up code to debug_demo.c:%1").arg(lineOf("DDRA = 0xFF"))))
        << views->statusLabel()->text().toStdString();
    QTest::keyClick(views->sourceView(), Qt::Key_F10);  // now line by line
    EXPECT_TRUE(views->statusLabel()->text().startsWith("stepped over to"));

    window->run();
    QApplication::processEvents();
    views->follow();
    ASSERT_EQ(window->debugger().state(), Debugger::State::Running);
    EXPECT_EQ(views->sourceModel().highlighted(), -1);
    window->breakRun();
    views->follow();
    EXPECT_GT(highlightedLine(), 0);

    // Another program: the message and the highlight of this one go.
    window->chooseSession("ATmega16", 1.0, demo::kStrippedElf);
    window->stopDebugging();
    QString error;
    ASSERT_TRUE(window->startDebugging(&error)) << error.toStdString();
    EXPECT_FALSE(views->statusLabel()->text().startsWith("stepped over"));
    EXPECT_TRUE(views->sourceModel().disassembly());
    window->chooseSession("ATmega16", 1.0, GetParam());
    window->stopDebugging();
    ASSERT_TRUE(window->startDebugging(&error)) << error.toStdString();
    EXPECT_EQ(views->statusLabel()->text(), "");
    EXPECT_FALSE(views->sourceModel().disassembly());
}

// Without line information the view shows avr-objdump's disassembly,
// the instruction at the PC highlighted; F9 sets a breakpoint on one.
TEST_F(DebuggerViewsTest, HexFirmwareShowsTheDisassembly) {
    window.reset();
    start(std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo.hex");
    EXPECT_EQ(views->sourceDock()->windowTitle(), "Source - disassembly");
    SourceModel& model = views->sourceModel();
    ASSERT_TRUE(model.disassembly());
    ASSERT_GT(model.rowCount(), 20);
    EXPECT_EQ(model.addressOf(model.highlighted()), 0u);  // reset vector
    int row = 0;
    while (row < model.rowCount() && model.addressOf(row) != 0x92) ++row;
    ASSERT_LT(row, model.rowCount());
    views->sourceView()->setCurrentIndex(model.index(row));
    QTest::keyClick(views->sourceView(), Qt::Key_F9);
    EXPECT_TRUE(window->session().breakpoints().addresses().contains(0x92));
    runToHalt();
    EXPECT_EQ(model.highlighted(), row);
}

// Stripped of its debug information: the disassembly, the message saying
// what is missing, and the watch still finds variables by name.
TEST_F(DebuggerViewsTest, StrippedProgramSaysWhatIsMissing) {
    window.reset();
    start(demo::kStrippedElf);
    EXPECT_EQ(views->sourceDock()->windowTitle(),
              "Source - disassembly (built without -g: breakpoints by function only)");
    EXPECT_TRUE(views->sourceModel().disassembly());
    EXPECT_EQ(views->statusLabel()->text(), "built without -g: breakpoints by function only");
    // No source: the docks below the components, the central area empty.
    EXPECT_FALSE(views->arrangement().central());
    EXPECT_EQ(window->centralWidget()->minimumSizeHint(), QSize(0, 0));
    views->arrangement().toggleAction(views->watchDock())->trigger();
    EXPECT_TRUE(views->watchDock()->isVisible());
    watch("total");
    ASSERT_EQ(views->watchModel().rowCount(), 1);
    ASSERT_EQ(window->session().addBreakpoint("tick").kind,
              quill::debugger::DebugSession::Outcome::Ok);
    runToHalt();
    runToHalt();
    EXPECT_EQ(value(0), "0x0001");
    EXPECT_EQ(views->sourceModel().addressOf(views->sourceModel().highlighted()),
              window->session().program()->function("tick")->address);
    EXPECT_TRUE(window->grab().save(QString(QUILL_BINARY_DIR) + "/debugger-views-stripped.png"));
}

// A program built on another machine: its source file is not here. The
// source view shows a notice with "Locate...", the output a line, and no
// dialog opens by itself (a file dialog opened even headless before);
// "Locate..." opens the chooser when clicked, and the file chosen is shown.
TEST_F(DebuggerViewsTest, AMissingSourceIsANoticeWithLocate) {
    window.reset();
    start(std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo_elsewhere.elf");
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    QWidget* notice = views->sourceNotice();
    ASSERT_FALSE(notice->isHidden());
    EXPECT_EQ(notice->findChild<QLabel*>()->text(),
              "The source file debug_demo.c is not on this machine; the program was built from "
              "/nonexistent/elsewhere/debug_demo.c.");
    auto told = [this] {
        return window->outputLines().filter("Source file debug_demo.c not found").size();
    };
    EXPECT_EQ(told(), 1);

    // Halting in it again: still no dialog, and the output told once.
    int chosen = 0;
    QString askedFor;
    views->setFileChooser([&](const QString& name) {
        ++chosen;
        askedFor = name;
        return QString::fromStdString(demo::kSource);
    });
    ASSERT_EQ(window->session().addBreakpoint("tick").kind,
              quill::debugger::DebugSession::Outcome::Ok);
    runToHalt();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(told(), 1);
    EXPECT_FALSE(notice->isHidden());

    // Locate... opens the chooser; the chosen file is shown, the line
    // highlighted, the notice gone. (The notice as a picture:
    // build/.../source-notice.png.)
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(QString(QUILL_BINARY_DIR) + "/source-notice.png"));
    auto* locate = notice->findChild<QPushButton*>("locateSource");
    ASSERT_TRUE(locate);
    EXPECT_EQ(locate->text(), "Locate...");
    QTest::mouseClick(locate, Qt::LeftButton);
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(askedFor, "/nonexistent/elsewhere/debug_demo.c");
    EXPECT_TRUE(notice->isHidden());
    EXPECT_GT(views->sourceModel().rowCount(), lineOf("passes++"));
    EXPECT_EQ(highlightedLine(), lineOf("counter++"));

    // The window's own chooser is a file dialog, opened by the click only.
    window.reset();
    start(std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo_elsewhere.elf");
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    QApplication::processEvents();
    QString dialogTitle;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialogTitle = dialog->windowTitle();
            dialog->reject();
        }
    });
    poll.start(10);
    QTest::mouseClick(views->sourceNotice()->findChild<QPushButton*>("locateSource"), Qt::LeftButton);
    poll.stop();
    EXPECT_EQ(dialogTitle, "Where is debug_demo.c?");
    EXPECT_FALSE(views->sourceNotice()->isHidden());  // nothing chosen
}

// With a few component windows open the source and the watch still stand
// together in the room the components leave, and every component is in
// front (build/.../debugger-with-components.png).
TEST(DebuggerViewsWithComponents, SourceAndWatchBesideTheComponents) {
    const std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    if (!std::filesystem::exists(module)) GTEST_SKIP() << "module not built";
    auto window = ModuleHost(module, demo::kElf);
    QString why;
    ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
    namespace sc = quill::scenario;
    for (sc::ComponentKind kind : {sc::ComponentKind::Led, sc::ComponentKind::Switch,
                                   sc::ComponentKind::Lcd})
        ASSERT_TRUE(window->executeCommand(sc::commandOf(kind)));
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    auto* views = window->findChild<DebuggerViews*>("debuggerViews");
    ASSERT_TRUE(views);
    views->follow();
    QTest::keyClick(window.get(), Qt::Key_F10);  // from reset to main's first line
    views->follow();
    EXPECT_EQ(views->sourceModel().highlighted() + 1, lineOf("DDRA = 0xFF"));
    QApplication::processEvents();
    ASSERT_TRUE(views->arrangement().central());
    EXPECT_TRUE(views->sourceView()->isVisible());
    EXPECT_TRUE(views->watchView()->isVisible());
    EXPECT_GE(views->sourceView()->height(), 5 * views->sourceView()->fontMetrics().height());
    const QRect centre(views->arrangement().centre()->mapTo(window.get(), QPoint(0, 0)),
                       views->arrangement().centre()->size());
    for (QDockWidget* dock : window->componentDocks()) {
        EXPECT_TRUE(dock->isVisible()) << dock->windowTitle().toStdString();
        EXPECT_FALSE(dock->geometry().intersects(centre)) << dock->windowTitle().toStdString();
    }
    EXPECT_TRUE(window->grab().save(QString(QUILL_BINARY_DIR) + "/debugger-with-components.png"));
}

}  // namespace

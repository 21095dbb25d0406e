// A lab saved from one main window and opened in a fresh one brings back
// the part, clock, program, pacing, windows and their places; a lab that
// cannot be opened changes nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "host/workbench/DockClient.h"
#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/lab/ui/LabSession.h"
#include "host/ui/MainWindow.h"
#include "host/app/tests/ModuleHost.h"
#include "host/workbench/SettingsReader.h"
#include "host/debugger/ui/DebuggerViews.h"
#include "host/debugger/ui/SourceModel.h"
#include "host/debugger/ui/WatchModel.h"
#include "host/instruments/InstrumentSettings.h"
#include "host/layout/DockState.h"

namespace {

namespace fs = std::filesystem;

struct LabSession : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("quill-lab-session-" + std::to_string(::getpid()));
    std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";

    void SetUp() override {
        if (!fs::exists(module)) GTEST_SKIP() << "module not built";
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy_file(std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf",
                      dir / "lcd_demo.elf");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<MainWindow> host(const std::string& firmware) {
        return ModuleHost(module, firmware);
    }
    // Values other than the defaults, as the reader writes them.
    static std::vector<std::pair<QString, std::string>> changedSettings() {
        return {{"general", "warnings=off"},
                {"electrical", "vcc=4.80 avcc=4.70 vref=2.40 aref=3.00 extaref=1"},
                // Wired pin by pin, R/W grounded.
                {"Hitachi LCD",
                 "size=20 lines=4 zoom=2 bits=8 pinreg=0 trace=0 e=PD5 rs=PB1 "
                 "rw=none d0=PC0 d1=PC1 d2=PC2 d3=PC3 d4=PA7 d5=PA6 d6=PA5 "
                 "d7=PA4"},
                {"LED 2", "port=D pin=6 mode=pin activelow=1"}};
    }
    // What a user sees of a set-up: part, clock and pacing, each open
    // window with its place and settings, the plug-in's settings.
    static QStringList describe(MainWindow& window) {
        QStringList lines;
        QString why;
        lines << QString("%1 at %2 MHz, %3")
                     .arg(QString::fromStdString(window.config().part))
                     .arg(window.config().frequencyMHz)
                     .arg(window.runMode() == RunPacer::Mode::RealTime ? "real time" : "fast");
        for (const char* sheet : {"electrical", "general"})
            lines << QString("%1: %2").arg(sheet, QString::fromStdString(
                                                      driver::readSettings(window, sheet, &why)
                                                          .value_or("?")));
        for (const auto& [target, text] : quill::instruments::instrumentSettings(window.instruments()))
            lines << QString::fromStdString(target + ": " + text);
        for (QDockWidget* dock : window.componentDocks()) {
            if (dock->isHidden()) continue;
            const QRect r = dock->geometry();
            lines << QString("%1 at %2,%3 %4x%5: %6")
                         .arg(DockClient::nameOf(dock))
                         .arg(r.x())
                         .arg(r.y())
                         .arg(r.width())
                         .arg(r.height())
                         .arg(QString::fromStdString(
                             driver::readSettings(window, DockClient::nameOf(dock), &why)
                                 .value_or("-")));
        }
        return lines;
    }
    static QStringList titles(MainWindow& window) {
        QStringList t;
        for (QDockWidget* dock : window.componentDocks())
            if (!dock->isHidden()) t << DockClient::nameOf(dock);
        return t;
    }
};

TEST_F(LabSession, SavedLabReopensInAFreshWindowAsItWas) {
    const std::string lab = (dir / "lab.quill").string();
    QStringList savedTitles;
    QStringList described;
    std::vector<QRect> places;
    {
        auto window = host((dir / "lcd_demo.elf").string());
        window->chooseSession("ATmega16", 3.5, (dir / "lcd_demo.elf").string());
        QString why;
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
        window->setRunMode(RunPacer::Mode::AsFastAsPossible);
        for (const char* id : {"LCD", "LD", "KP", "LD"}) ASSERT_TRUE(OpenComponent(*window, id, &why));
        QApplication::processEvents();
        // Settings changed on several windows and on the plug-in's sheet.
        for (const auto& [name, text] : changedSettings())
            ASSERT_TRUE(driver::applySettings(*window, name, text, &why)) << why.toStdString();
        // And the instruments' settings.
        ASSERT_TRUE(quill::instruments::applyInstrumentSettings(
                        window->instruments(), "terminal USART0", "rate=9600 mode=hex ending=lf", &why)
                        .value_or(false))
            << why.toStdString();
        ASSERT_TRUE(quill::instruments::applyInstrumentSettings(window->instruments(), "analyser",
                                                                "channels=PA0,TX", &why)
                        .value_or(false))
            << why.toStdString();
        // The user moves the Keypad to the left side.
        window->addDockWidget(Qt::LeftDockWidgetArea, window->componentDocks()[2]);
        QApplication::processEvents();
        ASSERT_TRUE(SaveLabFile(*window, QString::fromStdString(lab), &why)) << why.toStdString();
        savedTitles = titles(*window);
        described = describe(*window);
        for (QDockWidget* dock : window->componentDocks()) places.push_back(dock->geometry());
    }
    auto fresh = host(std::string(QUILL_BINARY_DIR) + "/firmware/running_light.elf");
    QString why;
    ASSERT_TRUE(OpenLabFile(*fresh, QString::fromStdString(lab), &why)) << why.toStdString();
    QApplication::processEvents();
    EXPECT_EQ(fresh->config().part, "ATmega16");
    EXPECT_DOUBLE_EQ(fresh->config().frequencyMHz, 3.5);
    EXPECT_EQ(fresh->config().firmware, (dir / "lcd_demo.elf").string());
    EXPECT_EQ(fresh->runMode(), RunPacer::Mode::AsFastAsPossible);
    EXPECT_TRUE(fresh->debuggingActive());
    EXPECT_EQ(titles(*fresh), savedTitles);
    ASSERT_EQ(fresh->componentDocks().size(), places.size());
    EXPECT_EQ(fresh->dockWidgetArea(fresh->componentDocks()[2]), Qt::LeftDockWidgetArea);
    for (std::size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(fresh->componentDocks()[i]->geometry(), places[i]) << i;
    EXPECT_EQ(describe(*fresh), described);

    // A process of its own opens the lab and sees the same set-up: nothing
    // was carried over in the module's memory.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILL_LAB_CHILD", QString::fromStdString(lab));
    env.insert("QUILL_LAB_REPORT", QString::fromStdString((dir / "child.txt").string()));
    child.setProcessEnvironment(env);
    child.start(QApplication::applicationFilePath(),
                {"--gtest_filter=LabSession.OpensTheLabOfItsParent"});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
    QFile report(QString::fromStdString((dir / "child.txt").string()));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QStringList seen = QString::fromUtf8(report.readAll()).split(QChar(10));
    EXPECT_EQ(seen, described);

    // Refused labs leave the window as it is.
    std::string text;
    {
        std::ifstream in(lab);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto refused = [&](const std::string& bad, const char* reason) {
        std::ofstream(dir / "bad.quill") << bad;
        QString error;
        EXPECT_FALSE(OpenLabFile(*fresh, QString::fromStdString((dir / "bad.quill").string()),
                                 &error));
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
        EXPECT_EQ(fresh->config().part, "ATmega16");
        EXPECT_EQ(titles(*fresh), savedTitles);
        EXPECT_TRUE(fresh->debuggingActive());
    };
    std::string part = text;
    part.replace(part.find("ATmega16"), 8, "ATmega99");
    refused(part, "part \"ATmega99\"");
    std::string command = text;
    command.replace(command.find("command=\"KP\""), 12, "command=\"XX\"");
    refused(command, "\"XX\", which opens no component window");
    refused("<quill-lab version=\"2\"><part>ATmega16</part></quill-lab>", "newer quill-host");

    // Settings the part or an instrument cannot take are reported; the rest
    // of the lab opens,
    // in place of the windows open before (the plug-in numbers them on).
    std::string other = text;
    other.replace(other.find("port=D"), 6, "port=Q");
    other.replace(other.find("rate=9600"), 9, "rate=9601");
    std::ofstream(dir / "other.quill") << other;
    ASSERT_TRUE(OpenLabFile(*fresh, QString::fromStdString((dir / "other.quill").string()), &why))
        << why.toStdString();
    const QString output = fresh->outputPane().lines().join('\n');
    EXPECT_TRUE(output.contains("settings of \"LED 4\" were not applied: ") &&
                output.contains("Q is not offered") &&
                output.contains("settings of \"terminal USART0\" were not applied: rate 9601 is "
                                "not offered"))
        << output.toStdString();
    EXPECT_EQ(titles(*fresh), QStringList({"Hitachi LCD 2", "LED 3", "Keypad 2", "LED 4"}));
    // In the same places (a longer title may widen a dock).
    for (std::size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(fresh->componentDocks()[i + 4]->pos(), places[i].topLeft()) << i;
    EXPECT_EQ(driver::readSettings(*fresh, "Hitachi LCD 2", &why).value_or(""),
              changedSettings()[2].second);
}

// The fresh process of the test above: opens the lab it is given and
// writes down what it sees.
TEST_F(LabSession, OpensTheLabOfItsParent) {
    const char* lab = std::getenv("QUILL_LAB_CHILD");
    const char* report = std::getenv("QUILL_LAB_REPORT");
    if (!lab || !report) GTEST_SKIP() << "runs as the process that SavedLabReopens... starts";
    auto window = host(std::string(QUILL_BINARY_DIR) + "/firmware/running_light.elf");
    QString why;
    ASSERT_TRUE(OpenLabFile(*window, lab, &why)) << why.toStdString();
    QApplication::processEvents();
    QFile out(report);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(describe(*window).join('\n').toUtf8());
}

// The layout check takes every state the window saves (docks in columns,
// under one another, tabbed, floating, closed, on the left) and keeps from
// the window what it refuses: each single byte of such a state changed, the
// window is given the state only when the check passes, and restoring it
// never crashes (one byte changed crashed it before, 4 of 150). A lab whose
// layout is damaged opens its windows with a note.
TEST_F(LabSession, ALayoutIsCheckedBeforeTheWindowGetsIt) {
    auto window = host((dir / "lcd_demo.elf").string());
    QString why;
    ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
    for (const char* id : {"LCD", "LD", "KP", "LD", "SW", "KN"})
        ASSERT_TRUE(OpenComponent(*window, id, &why)) << why.toStdString();
    QApplication::processEvents();
    const std::vector<QDockWidget*>& docks = window->componentDocks();
    window->tabifyDockWidget(docks[1], docks[3]);
    window->addDockWidget(Qt::LeftDockWidgetArea, docks[2]);
    docks[4]->setFloating(true);
    docks[5]->close();
    QApplication::processEvents();
    const std::string lab = (dir / "lab.quill").string();
    ASSERT_TRUE(SaveLabFile(*window, QString::fromStdString(lab), &why)) << why.toStdString();
    const QByteArray saved = window->saveState();
    ASSERT_EQ(quill::layout::dockStateFault(saved.toStdString()), "");

    int refusals = 0;
    for (qsizetype at = 0; at < saved.size(); ++at) {
        QByteArray changed = saved;
        changed[at] = static_cast<char>(changed[at] ^ 0x42);
        if (!quill::layout::dockStateFault(changed.toStdString()).empty()) {
            ++refusals;
            continue;
        }
        window->restoreState(changed);
        window->restoreState(saved);
    }
    // Among them the first dock area's number (Qt used it as an index
    // unchecked): bytes 13 to 16, after the version header, the marker and
    // the count of areas.
    QByteArray area = saved;
    area[16] = static_cast<char>(area[16] ^ 0x42);
    EXPECT_NE(quill::layout::dockStateFault(area.toStdString()), "");
    EXPECT_GT(refusals, 0) << refusals << " of " << saved.size();

    std::string text;
    {
        std::ifstream in(lab);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::size_t layout = text.find("<layout crc32=");
    ASSERT_NE(layout, std::string::npos) << text;
    const std::size_t start = text.find('>', layout) + 20;
    text[start] = text[start] == 'A' ? 'B' : 'A';
    std::ofstream(dir / "damaged.quill") << text;
    auto fresh = host((dir / "lcd_demo.elf").string());
    ASSERT_TRUE(OpenLabFile(*fresh, QString::fromStdString((dir / "damaged.quill").string()), &why))
        << why.toStdString();
    QApplication::processEvents();
    EXPECT_EQ(titles(*fresh), titles(*window));
    EXPECT_TRUE(fresh->outputPane().lines().join('\n').contains(
        "the lab's window layout was left out, it was changed after it was saved"))
        << fresh->outputPane().lines().join('\n').toStdString();
}

// A headless run's time limit stops the opening of a lab's windows
// between two of them, and the docks opened so far are placed.
TEST_F(LabSession, OpeningALabsWindowsStopsWhenAsked) {
    auto window = host((dir / "lcd_demo.elf").string());
    QString why;
    ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
    quill::lab::Lab lab;
    lab.windows.assign(10, quill::lab::LabWindow{"LD", "LED"});
    int asked = 0;
    EXPECT_FALSE(OpenLabWindows(*window, lab, &why, [&asked] { return ++asked > 3; }));
    EXPECT_EQ(why, "stopped opening the lab's windows");
    ASSERT_EQ(window->componentDocks().size(), 3u);
    for (QDockWidget* dock : window->componentDocks())
        EXPECT_EQ(window->dockWidgetArea(dock), Qt::TopDockWidgetArea);
}

// The breakpoints and the watch list go with the lab: set, typed into the
// watch, saved, and back in a fresh window. A breakpoint or watch
// the lab's program no longer has is reported and skipped.
TEST_F(LabSession, BreakpointsAndTheWatchComeBack) {
    const std::string elf = std::string(QUILL_BINARY_DIR) + "/firmware/debug_demo.elf";
    const std::string lab = (dir / "debugging.quill").string();
    QString why;
    {
        auto window = host(elf);
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
        auto* views = window->findChild<DebuggerViews*>("debuggerViews");
        ASSERT_TRUE(views);
        views->follow();
        ASSERT_EQ(window->session().addBreakpoint("tick").kind,
                  quill::debugger::DebugSession::Outcome::Ok);
        ASSERT_EQ(window->session().addBreakpoint("debug_demo.c:23").kind,
                  quill::debugger::DebugSession::Outcome::Ok);
        for (const char* name : {"counter", "SREG"}) {
            views->watchInput()->setFocus();
            QTest::keyClicks(views->watchInput(), name);
            QTest::keyClick(views->watchInput(), Qt::Key_Return);
        }
        views->watchModel().setFormat(0, quill::debugger::WatchFormat::Decimal);
        ASSERT_TRUE(SaveLabFile(*window, QString::fromStdString(lab), &why)) << why.toStdString();
    }
    std::string why2;
    const std::optional<quill::lab::Lab> saved = quill::lab::loadLab(lab, &why2);
    ASSERT_TRUE(saved) << why2;
    EXPECT_EQ(saved->breakpoints,
              (std::vector<quill::lab::LabBreakpoint>{{"tick"}, {"debug_demo.c:23"}}));
    EXPECT_EQ(saved->watches,
              (std::vector<quill::lab::LabWatch>{{"counter", "decimal"}, {"SREG", "binary"}}));

    auto breakpointsOf = [](MainWindow& window) {
        QStringList at;
        for (const auto& b : window.session().breakpoints().list())
            at << (b.function.empty() ? QString("line %1").arg(b.source.line)
                                      : QString::fromStdString(b.function));
        return at;
    };
    auto watchOf = [](MainWindow& window) {
        QStringList rows;
        WatchModel& model = window.findChild<DebuggerViews*>("debuggerViews")->watchModel();
        for (int row = 0; row < model.rowCount(); ++row)
            rows << model.index(row, WatchModel::kName).data().toString();
        return rows;
    };
    auto fresh = host((dir / "lcd_demo.elf").string());
    ASSERT_TRUE(OpenLabFile(*fresh, QString::fromStdString(lab), &why)) << why.toStdString();
    EXPECT_EQ(breakpointsOf(*fresh), (QStringList{"tick", "line 23"}));
    EXPECT_EQ(watchOf(*fresh), (QStringList{"counter", "SREG"}));
    WatchModel& model = fresh->findChild<DebuggerViews*>("debuggerViews")->watchModel();
    EXPECT_EQ(model.list().entries()[0].format, quill::debugger::WatchFormat::Decimal);

    // On the LCD demo the lab's breakpoints and watch do not resolve: each
    // is told and skipped, and the rest of the lab opens.
    quill::lab::Lab other = *saved;
    other.firmware = (dir / "lcd_demo.elf").string();
    other.breakpoints.push_back({"main"});
    ASSERT_TRUE(ApplyLab(*fresh, other, &why)) << why.toStdString();
    EXPECT_EQ(breakpointsOf(*fresh), (QStringList{"main"}));
    EXPECT_TRUE(watchOf(*fresh).contains("SREG"));
    EXPECT_FALSE(watchOf(*fresh).contains("counter"));
    const QString output = fresh->outputPane().lines().join('\n');
    EXPECT_TRUE(output.contains("The lab's breakpoint at \"tick\" was skipped:")) << output.toStdString();
    EXPECT_TRUE(output.contains("The lab's breakpoint at \"debug_demo.c:23\" was skipped:"));
    EXPECT_TRUE(output.contains("The lab's watch of \"counter\" was skipped:"));
}

}  // namespace

namespace {

// A lab saved with its windows in one row wider than this screen (as on a
// larger one) opens inside the screen: the windows are arranged for it, and
// the output says so.
TEST_F(LabSession, ALayoutFromALargerScreenIsFittedToThisOne) {
    const std::string lab = (dir / "wide.quill").string();
    QString why;
    {
        auto window = host((dir / "lcd_demo.elf").string());
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
        for (const char* id : {"KN", "BB", "CM", "STV", "LCD"})
            ASSERT_TRUE(OpenComponent(*window, id, &why)) << id;
        QApplication::processEvents();
        // Side by side, as the user may drag them on a wide screen.
        for (QDockWidget* dock : window->componentDocks())
            window->addDockWidget(Qt::TopDockWidgetArea, dock, Qt::Horizontal);
        window->layout()->activate();
        ASSERT_GT(window->minimumSizeHint().width(), window->screen()->availableGeometry().width());
        ASSERT_TRUE(SaveLabFile(*window, QString::fromStdString(lab), &why)) << why.toStdString();
    }
    auto fresh = host((dir / "lcd_demo.elf").string());
    ASSERT_TRUE(OpenLabFile(*fresh, QString::fromStdString(lab), &why)) << why.toStdString();
    QApplication::processEvents();
    const QRect screen = fresh->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(fresh->frameGeometry()))
        << fresh->frameGeometry().width() << "x" << fresh->frameGeometry().height() << " on "
        << screen.width() << "x" << screen.height();
    EXPECT_TRUE(fresh->outputPane().lines().join('\n').contains("needs a larger screen"));
    EXPECT_EQ(fresh->componentDocks().size(), 5u);
}

}  // namespace

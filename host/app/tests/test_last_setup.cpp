// File > "Reopen last set-up at start": off by default; ticked, closing the
// window keeps the set-up and the next start brings it back; a missing or
// broken saved set-up starts empty with a message; headless runs ignore it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/ui/LastSetup.h"
#include "host/ui/MainWindow.h"
#include "host/app/tests/ModuleHost.h"
#include "host/workbench/SettingsReader.h"
#include "host/lab/LastSetup.h"

namespace {

namespace fs = std::filesystem;

struct LastSetup : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("quill-last-setup-" + std::to_string(::getpid()));
    std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    std::string firmware = std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf";
    std::string savedRegistry;

    // A registry, and so a configuration folder, of this test alone.
    void SetUp() override {
        if (!fs::exists(module)) GTEST_SKIP() << "module not built";
        fs::remove_all(dir);
        fs::create_directories(dir);
        savedRegistry = std::getenv("QUILL_REGISTRY") ? std::getenv("QUILL_REGISTRY") : "";
        setenv("QUILL_REGISTRY", (dir / "registry.reg").c_str(), 1);
    }
    void TearDown() override {
        if (!savedRegistry.empty()) setenv("QUILL_REGISTRY", savedRegistry.c_str(), 1);
        fs::remove_all(dir);
    }

    std::unique_ptr<MainWindow> host() { return ModuleHost(module); }

    // Chooses the menu item with the mouse, as a user does.
    static void clickItem(MainWindow& window, QAction* item) {
        QMenu* file = nullptr;
        for (QAction* a : window.menuBar()->actions())
            if (a->text() == "&File") file = a->menu();
        ASSERT_TRUE(file);
        file->popup(window.mapToGlobal(QPoint(0, 0)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
        QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(item).center());
        QApplication::processEvents();
    }
    static QString output(MainWindow& window) { return window.outputPane().lines().join('\n'); }
};

TEST_F(LastSetup, OffByDefaultSoClosingKeepsNothing) {
    auto window = host();
    auto* keeper = new LastSetupKeeper(*window);
    EXPECT_FALSE(keeper->action()->isChecked());
    window->chooseSession("ATmega16", 1.0, firmware);
    QString why;
    ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
    window->close();
    EXPECT_FALSE(fs::exists(quill::lab::lastSetupPath()));
}

TEST_F(LastSetup, TickedTheSetUpComesBackAtTheNextStart) {
    const std::string saved = (dir / "last-setup.quill").string();
    EXPECT_EQ(quill::lab::lastSetupPath(), saved);
    {
        auto window = host();
        auto* keeper = new LastSetupKeeper(*window);
        clickItem(*window, keeper->action());
        EXPECT_TRUE(keeper->action()->isChecked());
        window->chooseSession("ATmega16", 2.0, firmware);
        QString why;
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
        ASSERT_TRUE(OpenComponent(*window, "LD", &why));
        ASSERT_TRUE(driver::applySettings(*window, "LED", "port=C pin=2", &why));
        window->close();
        EXPECT_TRUE(fs::exists(saved));
    }
    auto window = host();
    auto* keeper = new LastSetupKeeper(*window);
    EXPECT_TRUE(keeper->action()->isChecked());  // the preference stays
    keeper->reopen();
    QApplication::processEvents();
    EXPECT_TRUE(window->debuggingActive());
    EXPECT_EQ(window->config().firmware, firmware);
    EXPECT_DOUBLE_EQ(window->config().frequencyMHz, 2.0);
    ASSERT_EQ(window->componentDocks().size(), 1u);
    QString why;
    EXPECT_EQ(driver::readSettings(*window, "LED", &why).value_or(""),
              "port=C pin=2 mode=pin activelow=0");

    // Cleared again: the next start stays empty.
    clickItem(*window, keeper->action());
    EXPECT_FALSE(quill::lab::reopenLastSetup());
}

TEST_F(LastSetup, AMissingOrBrokenSetUpStartsEmptyWithAMessage) {
    std::string why;
    ASSERT_TRUE(quill::lab::setReopenLastSetup(true, &why)) << why;
    {
        auto window = host();
        auto* keeper = new LastSetupKeeper(*window);
        keeper->reopen();
        EXPECT_TRUE(output(*window).contains("The last set-up was not reopened: "))
            << output(*window).toStdString();
        EXPECT_FALSE(window->debuggingActive());
        EXPECT_TRUE(window->componentDocks().empty());
    }
    std::ofstream(dir / "last-setup.quill") << "<quill-lab version=\"1\"><part>ATmega16";
    auto window = host();
    auto* keeper = new LastSetupKeeper(*window);
    keeper->reopen();
    EXPECT_TRUE(output(*window).contains("The last set-up was not reopened: ") &&
                output(*window).contains("not a lab file"))
        << output(*window).toStdString();
    EXPECT_FALSE(window->debuggingActive());

    // A headless run neither reads nor replaces it.
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.setWorkingDirectory(QString::fromStdString(dir.string()));  // its screenshots go there
    run.start(QString(QUILL_BINARY_DIR) + "/bin/quill-host",
              {"--headless", "--module", QString::fromStdString(module), "--scenario",
               QString(QUILL_SOURCE_DIR) + "/firmware/scenarios/lcd_demo.scn"});
    ASSERT_TRUE(run.waitForFinished(120000));
    const QString said = QString::fromUtf8(run.readAll());
    EXPECT_EQ(run.exitCode(), 0) << said.toStdString();
    EXPECT_FALSE(said.contains("last set-up")) << said.toStdString();
    std::ifstream in(dir / "last-setup.quill");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "<quill-lab version=\"1\"><part>ATmega16");
}

}  // namespace

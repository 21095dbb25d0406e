// The host with the real module and the simavr target: menus and toolbar
// from the module, the module registered once. The demo firmware driving
// component windows is the e2e scenarios' part; bad input is diagnosed in
// HostSetup.*, SimTarget.BadFirmware..., e2e.unknown_part,
// e2e.unreadable_firmware and corpus.firmware.elf-part-*.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QToolBar>
#include <filesystem>

#include "contract/Commands.h"
#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"
#include "host/session/ModuleLoader.h"
#include "host/workbench/UnattendedDialogs.h"

namespace {

std::string firmware(const char* name) {
    return std::string(QUILL_BINARY_DIR) + "/firmware/" + name;
}

struct HostIntegration : ::testing::Test {
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        if (!std::filesystem::exists(std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so")) {
            GTEST_SKIP() << "module not built";
        }
    }
    void TearDown() override { window.reset(); }

    void load(const char* program, const char* part = "ATmega16") {
        HostOptions options;
        options.part = part;
        options.firmware = firmware(program);
        options.module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
        std::string error;
        HostEnvironment env = PrepareHost(options, &error);
        ASSERT_EQ(error, "");
        window = BuildWorkbench(env.config, env.factory);
        window->show();
        QString why;
        ASSERT_TRUE(AttachModule(*window, options, &why)) << why.toStdString();
        ASSERT_TRUE(window->startDebugging(&why)) << why.toStdString();
    }
};

TEST_F(HostIntegration, MenusFollowTheSetupAndCommandStates) {
    load("running_light.elf");
    QMenu* tools = nullptr;
    for (QAction* a : window->menuBar()->actions()) {
        if (a->text() == "&Tools") tools = a->menu();
    }
    ASSERT_TRUE(tools);
    // The plug-in's sub-menu, then the host's own way to the plug-in's
    // settings (CFG has no menu element).
    ASSERT_EQ(tools->actions().size(), 3);
    EXPECT_EQ(tools->actions()[2]->text(), "Plug-in &settings...");
    QMenu* sub = tools->actions()[0]->menu();
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->title(), "Kivo AVR Studio Plugins");
    QStringList texts;
    for (QAction* a : sub->actions()) texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts.first(), "About Kido Studio Plugins...");
    EXPECT_EQ(texts[1], "-");
    EXPECT_TRUE(texts.contains("Knight Rider"));
    // Every toolbar button shows the module's own bitmap.
    QToolBar* quill = nullptr;
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        if (bar->windowTitle() == "Quill") quill = bar;
    }
    ASSERT_TRUE(quill);
    ASSERT_EQ(quill->actions().size(), 10);
    for (QAction* a : quill->actions()) EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
    // After event 103 with the simulator as target, components are usable
    // but the Settings sheet (no menu entry) stays off.
    EXPECT_TRUE(window->commandEnabled(0));
    EXPECT_TRUE(window->commandEnabled(7));
    window->stopDebugging();
    EXPECT_EQ(window->debugger().target(), nullptr);
}

// What a headless run does with modal windows: the plug-in's About box
// (it kept a headless run waiting past its time limit) and a file chooser
// are closed as they show and named as intruders, and the call that opened
// them returns; a message box is answered; a dialog the driver announced is
// left to it.
TEST_F(HostIntegration, NothingModalWaitsOnAnUnattendedRun) {
    load("running_light.elf");
    QStringList lines;
    UnattendedDialogs unattended([&lines](const QString& line) { lines << line; });
    // A window still open after 20 s fails the test instead of hanging it.
    QTimer rescue;
    QObject::connect(&rescue, &QTimer::timeout, [] {
        if (QWidget* open = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "still open: " << open->windowTitle().toStdString();
            open->close();
        }
    });
    rescue.start(20000);

    const int about = window->setup().commandIndex("ABOUT");
    ASSERT_GE(about, 0);
    EXPECT_TRUE(window->executeCommand(about));
    ASSERT_EQ(unattended.intruders().size(), 1) << lines.join('\n').toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(lines.last().startsWith("A modal window \"")) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().endsWith("opened, which nobody can answer in a headless run; it was closed"))
        << lines.last().toStdString();

    EXPECT_EQ(QFileDialog::getOpenFileName(window.get(), "Where is it?"), QString());
    ASSERT_EQ(unattended.intruders().size(), 2);
    EXPECT_EQ(unattended.intruders()[1], "\"Where is it?\" (QFileDialog)");

    QMessageBox box(QMessageBox::Warning, "Slider", "No channel", QMessageBox::Ok, window.get());
    EXPECT_EQ(box.exec(), QMessageBox::Ok);
    EXPECT_EQ(lines.last(), "Message box \"Slider\": No channel (answered OK)");
    EXPECT_EQ(unattended.answered(), 1);

    {
        const UnattendedDialogs::Expected expected;
        QDialog dialog(window.get());
        QTimer::singleShot(50, &dialog, &QDialog::accept);
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);  // the driver's answer, not a rejection
    }
    EXPECT_EQ(unattended.intruders().size(), 2);
}

TEST_F(HostIntegration, ModuleIsRegisteredOnceAndFoundByProgId) {
    load("running_light.elf");
    std::string path = RegisteredServerPath(kPluginProgId);
    EXPECT_TRUE(std::filesystem::equivalent(
        path, std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so"));
    PluginLoadResult again = LoadPlugin(path, false);
    ASSERT_TRUE(again.plugin) << again.error;
    EXPECT_FALSE(again.registeredNow);
    PluginLoadResult missing = LoadPlugin("/nonexistent/QuillComponents.so", true);
    EXPECT_FALSE(missing.plugin);
    EXPECT_NE(missing.error.find("does not exist"), std::string::npos) << missing.error;
}

}  // namespace

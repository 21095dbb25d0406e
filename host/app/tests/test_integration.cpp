// The host with the real module and the simavr target: menus and toolbar
// from the module, the module registered once. The demo firmware driving
// component windows is the e2e scenarios' part; bad input is diagnosed in
// HostSetup.*, SimTarget.BadFirmware..., e2e.unknown_part,
// e2e.unreadable_firmware and corpus.firmware.elf-part-*.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QToolBar>
#include <filesystem>

#include "host/app/HostSetup.h"
#include "host/app/MainWindow.h"
#include "host/app/ModuleLoader.h"

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
        window = std::make_unique<MainWindow>(env.config, env.factory);
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

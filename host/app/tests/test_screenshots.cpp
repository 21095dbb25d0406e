// A screenshot shows the components as the part is when it is taken, also
// the Stack view, which reads the data memory only when its display frame
// ends: a headless run passes many simulated cycles within one frame.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QTemporaryDir>
#include <filesystem>

#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/ui/MainWindow.h"
#include "host/app/tests/ModuleHost.h"
#include "host/sim/SimTargetAccess.h"

namespace {

TEST(Screenshots, ShowTheStackViewAsTheMemoryIsNow) {
    const std::string module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
    if (!std::filesystem::exists(module)) GTEST_SKIP() << "module not built";
    auto host = ModuleHost(module, std::string(QUILL_BINARY_DIR) + "/firmware/running_light.elf");
    MainWindow& window = *host;
    QString why;
    ASSERT_TRUE(window.startDebugging(&why)) << why.toStdString();
    ASSERT_TRUE(OpenComponent(window, "STV", &why)) << why.toStdString();
    QApplication::processEvents();
    QAbstractItemView* list = nullptr;
    for (QDockWidget* dock : window.findChildren<QDockWidget*>()) {
        if (dock->windowTitle().contains("Stackview")) list = dock->findChild<QAbstractItemView*>();
    }
    ASSERT_NE(list, nullptr);
    auto topRow = [&] { return list->model()->index(0, 5).data().toString().toStdString(); };
    EXPECT_EQ(topRow(), "00");  // RAMEND (0x45F) before the start-up code ran

    // The start-up code calls main: its return address lands at RAMEND.
    ASSERT_TRUE(window.debugger().runCycles(200));
    auto* access = dynamic_cast<quill::sim::SimTargetAccess*>(window.debugger().target());
    ASSERT_NE(access, nullptr);
    uint8_t ramend = 0;
    ASSERT_TRUE(access->simulator()->read(kMemoryData, 0x45F, &ramend, 1));
    ASSERT_NE(ramend, 0);
    QTemporaryDir dir;
    ASSERT_FALSE(window.saveScreenshots(dir.path(), "shot-", &why).isEmpty()) << why.toStdString();
    EXPECT_EQ(topRow(), QString::asprintf("%02X", ramend).toStdString());
}

}  // namespace

// A main window with the real module attached, for the window tests that
// need the plug-in's own components and dialogs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/session/HostSetup.h"
#include "host/workbench/ModuleAttach.h"
#include "host/app/Workbench.h"
#include "host/ui/MainWindow.h"

inline std::unique_ptr<MainWindow> ModuleHost(const std::string& module,
                                              const std::string& firmware = {}) {
    HostOptions options;
    options.firmware = firmware;
    options.module = module;
    std::string error;
    HostEnvironment env = PrepareHost(options, &error);
    EXPECT_EQ(error, "");
    auto window = BuildWorkbench(env.config, env.factory);
    window->show();
    QString why;
    EXPECT_TRUE(AttachModule(*window, options, &why)) << why.toStdString();
    return window;
}

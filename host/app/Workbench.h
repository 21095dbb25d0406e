// quill-host assembled in one place: the main window (host/ui) with the
// capabilities' views in its Debug menu, each handed the HostBench it works
// on; the headless runner builds the same workbench. Nothing below this
// folder knows the main window.
#pragma once

#include <memory>

#include "host/session/HostOptions.h"
#include "host/session/SessionConfig.h"
#include "host/ui/MainWindow.h"

// The main window with the debugger's source and watch docks, the GDB
// server's "Accept GDB connection" and the scenario recorder.
std::unique_ptr<MainWindow> BuildWorkbench(SessionConfig config, MachineFactory factory);

// The window mode of quill-host: the workbench for the options' part,
// program or lab, shown until the user quits. Returns the exit status.
int RunWorkbench(const HostOptions& options);

// The headless mode: the options' scenario run against the same workbench.
int RunHeadlessWorkbench(const HostOptions& options);

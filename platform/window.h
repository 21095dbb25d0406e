// Window services that the plug-in asks of the system: the main window of
// the user-interface thread and the active window. The host installs the
// providers; without a host both answer null.
#pragma once

#include <functional>

#include "platform/com.h"

using WindowProvider = std::function<HWND()>;

void SetMainWindowProvider(WindowProvider provider);
void SetActiveWindowProvider(WindowProvider provider);

// The main window of the current user-interface thread; null when none.
HWND GetThreadMainWindow();
// The window that currently has the user's input focus; null when none.
HWND GetActiveWindow();

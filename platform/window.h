// Window services that the plug-in asks of the system: the main window of
// the user-interface thread, the active window, window timers, the list of
// top-level windows and their activation, the system beep and the keyboard
// message queue. The host installs the providers; without a host the
// windows answer null, timers cannot be set and the rest does nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com.h"

using WindowProvider = std::function<HWND()>;

void SetMainWindowProvider(WindowProvider provider);
void SetActiveWindowProvider(WindowProvider provider);

// The main window of the current user-interface thread; null when none.
HWND GetThreadMainWindow();
// The window that currently has the user's input focus; null when none.
HWND GetActiveWindow();

// ---- Window timers: a callback every `elapse` milliseconds on a window,
// run by the host's event loop on the user-interface thread.
constexpr uint32_t WM_TIMER = 0x0113;
using TIMERPROC = void (*)(HWND window, uint32_t message, uintptr_t id, uint32_t time);

class ITimerService {
public:
    virtual ~ITimerService() = default;
    // Starts (or restarts, replacing the callback) timer `id` of `window`.
    virtual bool SetTimer(HWND window, uintptr_t id, uint32_t elapse, TIMERPROC proc) = 0;
    // Stops it; false when there is no such timer.
    virtual bool KillTimer(HWND window, uintptr_t id) = 0;
};

// Installs the timer service of this process (non-owning; null removes it).
void SetTimerService(ITimerService* service);
ITimerService* GetTimerService();
// The system calls of the same names. SetTimer returns `id` on success and 0
// when there is no window, no callback or no timer service.
uintptr_t SetTimer(HWND window, uintptr_t id, uint32_t elapse, TIMERPROC proc);
bool KillTimer(HWND window, uintptr_t id);

// ---- Desktop services
struct TopLevelWindowInfo {
    HWND handle = nullptr;
    std::string title;
    std::string className;
};

struct DesktopServices {
    std::function<std::vector<TopLevelWindowInfo>()> topLevelWindows;
    // Restores, shows and raises the window and gives it the keyboard focus.
    std::function<bool(HWND)> activate;
    std::function<void(uint32_t frequency, uint32_t milliseconds)> beep;
    // Removes, translates and dispatches the queued keyboard messages of the
    // calling thread.
    std::function<void()> pumpKeyboardMessages;
};

// Installs the host's desktop services; an empty struct removes them.
void SetDesktopServices(DesktopServices services);
std::vector<TopLevelWindowInfo> EnumTopLevelWindows();
bool ActivateTopLevelWindow(HWND window);
void Beep(uint32_t frequency, uint32_t milliseconds);
void PumpKeyboardMessages();

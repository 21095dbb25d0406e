#include "platform/window.h"

#include <atomic>

namespace {
WindowProvider& mainProvider() {
    static WindowProvider provider;
    return provider;
}
WindowProvider& activeProvider() {
    static WindowProvider provider;
    return provider;
}
DesktopServices& desktop() {
    static DesktopServices services;
    return services;
}
std::atomic<ITimerService*> g_timers{nullptr};
}  // namespace

void SetMainWindowProvider(WindowProvider provider) { mainProvider() = std::move(provider); }
void SetActiveWindowProvider(WindowProvider provider) { activeProvider() = std::move(provider); }

HWND GetThreadMainWindow() { return mainProvider() ? mainProvider()() : nullptr; }
HWND GetActiveWindow() { return activeProvider() ? activeProvider()() : nullptr; }

void SetTimerService(ITimerService* service) { g_timers.store(service); }
ITimerService* GetTimerService() { return g_timers.load(); }

uintptr_t SetTimer(HWND window, uintptr_t id, uint32_t elapse, TIMERPROC proc) {
    ITimerService* service = g_timers.load();
    if (!service || !window || !proc || id == 0) return 0;
    return service->SetTimer(window, id, elapse, proc) ? id : 0;
}

bool KillTimer(HWND window, uintptr_t id) {
    ITimerService* service = g_timers.load();
    return service && window && service->KillTimer(window, id);
}

void SetDesktopServices(DesktopServices services) { desktop() = std::move(services); }

std::vector<TopLevelWindowInfo> EnumTopLevelWindows() {
    return desktop().topLevelWindows ? desktop().topLevelWindows()
                                     : std::vector<TopLevelWindowInfo>{};
}

bool ActivateTopLevelWindow(HWND window) {
    return window && desktop().activate && desktop().activate(window);
}

void Beep(uint32_t frequency, uint32_t milliseconds) {
    if (desktop().beep) desktop().beep(frequency, milliseconds);
}

void PumpKeyboardMessages() {
    if (desktop().pumpKeyboardMessages) desktop().pumpKeyboardMessages();
}

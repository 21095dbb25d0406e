// The window services a plug-in asks of the system, as quill-host offers
// them: window timers run by the Qt event loop, the list of top-level
// windows, activating one of them, the beep and the keyboard message pump.
// Installed for the lifetime of the object (one per main window).
#pragma once

#include <QObject>
#include <map>
#include <utility>

#include "platform/window.h"

class QTimer;

class DesktopServicesHost : public ITimerService {
public:
    DesktopServicesHost();
    ~DesktopServicesHost() override;
    DesktopServicesHost(const DesktopServicesHost&) = delete;
    DesktopServicesHost& operator=(const DesktopServicesHost&) = delete;

    bool SetTimer(HWND window, uintptr_t id, uint32_t elapse, TIMERPROC proc) override;
    bool KillTimer(HWND window, uintptr_t id) override;

    // Whether timer `id` of `window` runs.
    bool hasTimer(HWND window, uintptr_t id) const { return timers_.count({window, id}) != 0; }

private:
    std::map<std::pair<HWND, uintptr_t>, QTimer*> timers_;
};

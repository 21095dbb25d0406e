#include "debugaids/Autostep.h"

#include <algorithm>
#include <vector>

#include "debugaids/KeySender.h"
#include "platform/window.h"

namespace {

// The running Autosteps of this module: the timer procedure receives only a
// window handle. One user-interface thread, so no locking.
std::vector<Autostep*>& running() {
    static std::vector<Autostep*> list;
    return list;
}

void reportThrough(void* context, const std::string& text) {
    auto* report = static_cast<std::function<void(const std::string&)>*>(context);
    if (report && *report) (*report)(text);
}

}  // namespace

Autostep::Autostep(std::function<void(const std::string&)> report) : report_(std::move(report)) {}

Autostep::~Autostep() { Stop(); }

bool Autostep::Toggle(HWND mainWindow) {
    if (active()) {
        Stop();
        return false;
    }
    if (!mainWindow) {
        if (report_)
            report_("Autostep INTO: the host has no main window to step in; it stays off.");
        return false;
    }
    // Another Autostep on the same window would share timer 1: it stops.
    for (Autostep* other : std::vector<Autostep*>(running())) {
        if (other->window_ == mainWindow) other->Stop();
    }
    if (SetTimer(mainWindow, kTimerId, kPeriodMs, &Autostep::TimerProc) == 0) {
        if (report_) report_("Autostep INTO: the stepping timer could not be started.");
        return false;
    }
    window_ = mainWindow;
    running().push_back(this);
    return true;
}

void Autostep::Stop() {
    if (!window_) return;
    KillTimer(window_, kTimerId);
    window_ = nullptr;
    auto& list = running();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Autostep::TimerProc(HWND window, uint32_t, uintptr_t id, uint32_t) {
    if (id != kTimerId) return;
    for (Autostep* autostep : running()) {
        if (autostep->window_ == window) {
            autostep->tick();
            return;
        }
    }
}

void Autostep::tick() {
    if (GetActiveWindow() != window_) return;
    PlatformKeySenderEnvironment environment(&reportThrough, &report_);
    KeySender sender(&environment);
    sender.send(kStepScript, false);
}

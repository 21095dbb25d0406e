// Autostep INTO: while on, a window timer on the host's main window fires
// every 100 ms and, whenever that window is the active one, presses F11 (the
// host's step-into key) through the key sender. Toolkit-free; the timer and
// the active window come from the platform (platform/window.h).
//
// The timer never outlives the object that started it: Stop(), a second
// Toggle() and the destructor kill it, and the timer procedure acts only for
// a window on which a living Autostep runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "contract/ResourceIds.h"
#include "platform/com.h"

class Autostep {
public:
    static constexpr uintptr_t kTimerId = ids::autostep::kTimer;
    static constexpr uint32_t kPeriodMs = ids::autostep::kPeriodMs;
    static constexpr const char* kStepScript = "{F11}";

    // `report` receives lines for the user (a timer that could not start,
    // keys that could not be sent).
    explicit Autostep(std::function<void(const std::string&)> report = {});
    ~Autostep();
    Autostep(const Autostep&) = delete;
    Autostep& operator=(const Autostep&) = delete;

    // The ASI command: starts the timer on `mainWindow` when off, stops it
    // when on. Without a main window (or when the timer cannot be set) the
    // timer does not start and autostep stays off. Returns the new state.
    bool Toggle(HWND mainWindow);
    // Stops a running timer; nothing when off.
    void Stop();

    bool active() const { return window_ != nullptr; }
    HWND window() const { return window_; }

    // The timer procedure: for timer 1 of a window with a running
    // Autostep, sends F11 when that window is active.
    static void TimerProc(HWND window, uint32_t message, uintptr_t id, uint32_t time);

private:
    void tick();

    HWND window_ = nullptr;  // the window the timer runs on; null when off
    std::function<void(const std::string&)> report_;
};

// Turns a key script into keyboard events. Ordinary characters stand for
// themselves; "+", "^", "%" and "@" hold Shift, Ctrl, Alt and the Windows key
// for the next key (or for a group in parentheses); "~" is Enter; braces
// name a key ("{F11}", "{LEFT 3}"), a virtual-key code ("{VKEY 65}"), a pause
// ("{DELAY 50}", "{DELAY=50}"), a beep ("{BEEP 440 100}") or a window to
// bring to the front ("{APPACTIVATE Notepad}").
//
// Toolkit-free: the events go to the platform's keyboard sink
// (platform/keyboard.h); pausing, beeping, window activation, draining the
// thread's keyboard messages and reporting go through a KeySenderEnvironment,
// so the interpreter runs unchanged against a recorder in tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

class KeySenderEnvironment {
public:
    virtual ~KeySenderEnvironment() = default;
    virtual void Sleep(uint32_t milliseconds) = 0;
    virtual void Beep(uint32_t frequency, uint32_t milliseconds) = 0;
    // Removes, translates and dispatches the thread's queued keyboard
    // messages (the `wait` mode of a send).
    virtual void DrainKeyboardMessages() = 0;
    virtual std::vector<TopLevelWindowInfo> TopLevelWindows() = 0;
    // Restores the window, shows it, brings it to the front and gives it
    // the keyboard focus; false when it cannot.
    virtual bool Activate(HWND window) = 0;
    // One line for the user (a key that cannot be typed, a bad token).
    virtual void Report(const std::string& text) = 0;
};

// The environment of the running system: the platform's desktop services
// (platform/window.h), a real sleep, and reports handed to `reporter`
// (dropped without one).
class PlatformKeySenderEnvironment : public KeySenderEnvironment {
public:
    using Reporter = void (*)(void* context, const std::string& text);
    PlatformKeySenderEnvironment(Reporter reporter = nullptr, void* context = nullptr)
        : reporter_(reporter), context_(context) {}
    void Sleep(uint32_t milliseconds) override;
    void Beep(uint32_t frequency, uint32_t milliseconds) override;
    void DrainKeyboardMessages() override;
    std::vector<TopLevelWindowInfo> TopLevelWindows() override;
    bool Activate(HWND window) override;
    void Report(const std::string& text) override;

private:
    Reporter reporter_;
    void* context_;
};

class KeySender {
public:
    static constexpr size_t kMaxTokenLength = 300;
    // Longest pause a DELAY token may ask for, and most presses of one key
    // name: larger numbers are refused rather than freezing the user
    // interface thread.
    static constexpr uint32_t kMaxDelay = 60000;
    static constexpr uint32_t kMaxRepeat = 1000;

    // `environment` null: the platform's environment.
    explicit KeySender(KeySenderEnvironment* environment = nullptr);
    KeySender(const KeySender&) = delete;  // may point at its own environment
    KeySender& operator=(const KeySender&) = delete;

    // Interprets `script`; true when all of it was interpreted. A script
    // stops early, with a report and with every modifier it pressed
    // released, at a brace token longer than kMaxTokenLength, a brace that
    // is not closed, an unknown key name or a malformed number.
    bool send(std::string_view script, bool wait);

    // Brings a top-level window to the front: the one with exactly that
    // title (and class, when given), else the first whose class contains
    // `className` or whose title contains `title`. False when none.
    bool activateApplication(std::string_view title, std::string_view className = {});

    uint32_t defaultDelay() const { return defaultDelay_; }
    uint32_t nextDelay() const { return nextDelay_; }

private:
    bool token(std::string_view text);
    // Step "press a virtual key n times" (key-down, optional key-up and pause).
    void press(uint8_t virtualKey, uint32_t count, bool keyUp, bool delay);
    // A key code with its shift state in the high byte, pressed n times.
    void pressWithShiftState(uint16_t code, uint32_t count);
    void pressCharacter(char c);
    void holdModifier(bool& flag, uint8_t virtualKey);
    void releaseModifiers();
    void releaseAllModifiers();  // also inside a group
    void releaseKey(uint8_t virtualKey);
    void event(uint8_t virtualKey, uint32_t flags);
    void pause();
    bool fail(const std::string& why);

    PlatformKeySenderEnvironment platform_;
    KeySenderEnvironment* env_;
    bool wait_ = false;
    bool inGroup_ = false;
    bool shiftDown_ = false, ctrlDown_ = false, altDown_ = false, winDown_ = false;
    uint32_t defaultDelay_ = 0;
    uint32_t nextDelay_ = 0;
};

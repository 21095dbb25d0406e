#include "debugaids/KeySender.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "debugaids/KeyNameTable.h"
#include "platform/keyboard.h"

namespace {

constexpr uint8_t kWinKey = VK_LWIN;

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const char a = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 32) : text[i];
        if (a != prefix[i]) return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A decimal number (blanks around it allowed) of at most `max`.
std::optional<uint32_t> decimal(std::string_view text, uint32_t max) {
    text = trimmed(text);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > max) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

// ---- Platform environment

void PlatformKeySenderEnvironment::Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PlatformKeySenderEnvironment::Beep(uint32_t frequency, uint32_t milliseconds) {
    ::Beep(frequency, milliseconds);
}

void PlatformKeySenderEnvironment::DrainKeyboardMessages() { PumpKeyboardMessages(); }

std::vector<TopLevelWindowInfo> PlatformKeySenderEnvironment::TopLevelWindows() {
    return EnumTopLevelWindows();
}

bool PlatformKeySenderEnvironment::Activate(HWND window) { return ActivateTopLevelWindow(window); }

void PlatformKeySenderEnvironment::Report(const std::string& text) {
    if (reporter_) reporter_(context_, text);
}

// ---- Interpreter

KeySender::KeySender(KeySenderEnvironment* environment)
    : env_(environment ? environment : &platform_) {}

bool KeySender::send(std::string_view script, bool wait) {
    wait_ = wait;
    inGroup_ = false;
    shiftDown_ = ctrlDown_ = altDown_ = winDown_ = false;

    size_t i = 0;
    while (i < script.size()) {
        const char c = script[i];
        switch (c) {
            case '+':
                holdModifier(shiftDown_, VK_SHIFT);
                break;
            case '^':
                holdModifier(ctrlDown_, VK_CONTROL);
                break;
            case '%':
                holdModifier(altDown_, VK_MENU);
                break;
            case '@':
                holdModifier(winDown_, kWinKey);
                break;
            case '(':
                inGroup_ = true;
                break;
            case ')':
                inGroup_ = false;
                releaseModifiers();
                break;
            case '~':
                press(VK_RETURN, 1, true, false);
                releaseModifiers();
                break;
            case '{': {
                const size_t close = script.find('}', i + 1);
                const std::string_view text =
                    script.substr(i + 1, close == std::string_view::npos ? std::string_view::npos
                                                                         : close - i - 1);
                if (text.size() > kMaxTokenLength) {
                    return fail("Key script: a brace token is longer than " +
                                std::to_string(kMaxTokenLength) + " characters; the script stops.");
                }
                if (close == std::string_view::npos) {
                    return fail("Key script: the brace before " + quoted(text) +
                                " is not closed; the script stops.");
                }
                if (!token(text)) return false;
                i = close + 1;
                continue;
            }
            default:
                pressCharacter(c);
                releaseModifiers();
                break;
        }
        ++i;
    }
    inGroup_ = false;
    releaseModifiers();
    return true;
}

bool KeySender::token(std::string_view text) {
    if (startsWithIgnoreCase(text, "VKEY")) {
        // Low byte the virtual key, high byte its shift state (Shift, Ctrl, Alt).
        auto code = decimal(text.substr(4), 0x7FF);
        if (!code || (*code & 0xFF) == 0) {
            return fail("Key script: " + quoted(text) +
                        " does not give a virtual-key code; the script stops.");
        }
        pressWithShiftState(static_cast<uint16_t>(*code), 1);
        releaseModifiers();
        return true;
    }
    if (startsWithIgnoreCase(text, "BEEP")) {
        const std::string_view rest = text.size() > 5 ? text.substr(5) : std::string_view{};
        const size_t blank = rest.find(' ');
        if (blank == std::string_view::npos) return true;  // no duration: no beep
        auto frequency = decimal(rest.substr(0, blank), 32767);
        auto duration = decimal(rest.substr(blank + 1), kMaxDelay);
        if (!frequency || !duration) {
            return fail("Key script: " + quoted(text) +
                        " needs a frequency and a duration; the script stops.");
        }
        env_->Beep(*frequency, *duration);
        return true;
    }
    if (startsWithIgnoreCase(text, "APPACTIVATE")) {
        const std::string_view title = text.size() > 12 ? text.substr(12) : std::string_view{};
        if (!activateApplication(title)) {
            env_->Report("Key script: no window titled " + quoted(title) + " to activate.");
        }
        return true;
    }
    if (startsWithIgnoreCase(text, "DELAY")) {
        const bool standing = text.size() > 5 && text[5] == '=';
        auto ms = decimal(text.substr(standing ? 6 : std::min<size_t>(5, text.size())), kMaxDelay);
        if (!ms) {
            return fail("Key script: " + quoted(text) + " needs a pause of 0 to " +
                        std::to_string(kMaxDelay) + " ms; the script stops.");
        }
        (standing ? defaultDelay_ : nextDelay_) = *ms;
        return true;
    }

    const size_t blank = text.find(' ');
    const std::string_view name = text.substr(0, blank);
    uint32_t count = 1;
    if (blank != std::string_view::npos) {
        auto repeat = decimal(text.substr(blank + 1), kMaxRepeat);
        if (!repeat) {
            return fail("Key script: the repeat count in " + quoted(text) + " is not 0 to " +
                        std::to_string(kMaxRepeat) + "; the script stops.");
        }
        count = *repeat;
    }
    const std::optional<KeyName> key = FindKeyName(name);
    if (!key) return fail("Key script: unknown key name " + quoted(name) + "; the script stops.");
    if (key->character) {
        const int16_t code = VkKeyScanA(static_cast<char>(key->code));
        if (code == -1) {
            env_->Report("Key script: the keyboard layout has no key for " + quoted(name) +
                         "; it is skipped.");
        } else {
            pressWithShiftState(static_cast<uint16_t>(code), count);
        }
    } else {
        pressWithShiftState(key->code, count);
    }
    releaseModifiers();
    return true;
}

void KeySender::pressCharacter(char c) {
    const int16_t code = VkKeyScanA(c);
    if (code == -1) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Key script: the keyboard layout has no key for character 0x%02X; it is "
                      "skipped.",
                      static_cast<unsigned char>(c));
        env_->Report(text);
        return;
    }
    pressWithShiftState(static_cast<uint16_t>(code), 1);
}

void KeySender::pressWithShiftState(uint16_t code, uint32_t count) {
    const unsigned state = code >> 8;
    if (state & 1) press(VK_SHIFT, 1, false, false);
    if (state & 2) press(VK_CONTROL, 1, false, false);
    if (state & 4) press(VK_MENU, 1, false, false);
    press(static_cast<uint8_t>(code & 0xFF), count, true, true);
    if (state & 1) releaseKey(VK_SHIFT);
    if (state & 2) releaseKey(VK_CONTROL);
    if (state & 4) releaseKey(VK_MENU);
}

void KeySender::press(uint8_t virtualKey, uint32_t count, bool keyUp, bool delay) {
    if (virtualKey == VK_NUMLOCK) {
        // Num Lock toggles with each press; its key (scan code 69) is an
        // extended key whatever the extended-key set says.
        for (uint32_t n = 0; n < count; ++n) {
            if (delay) pause();
            event(VK_NUMLOCK, KEYEVENTF_EXTENDEDKEY);
            event(VK_NUMLOCK, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP);
        }
        return;
    }
    for (uint32_t n = 0; n < count; ++n) {
        if (delay) pause();
        event(virtualKey, IsExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0);
        if (keyUp) event(virtualKey, KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY);
    }
}

void KeySender::holdModifier(bool& flag, uint8_t virtualKey) {
    flag = true;
    press(virtualKey, 1, false, false);
}

void KeySender::releaseModifiers() {
    if (inGroup_) return;
    if (shiftDown_) releaseKey(VK_SHIFT);
    if (ctrlDown_) releaseKey(VK_CONTROL);
    if (altDown_) releaseKey(VK_MENU);
    if (winDown_) releaseKey(kWinKey);
    shiftDown_ = ctrlDown_ = altDown_ = winDown_ = false;
}

void KeySender::releaseAllModifiers() {
    inGroup_ = false;
    releaseModifiers();
}

void KeySender::releaseKey(uint8_t virtualKey) {
    event(virtualKey, KEYEVENTF_KEYUP | (IsExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0));
}

void KeySender::event(uint8_t virtualKey, uint32_t flags) {
    keybd_event(virtualKey, static_cast<uint8_t>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)),
                flags, 0);
    if (wait_) env_->DrainKeyboardMessages();
}

void KeySender::pause() {
    if (nextDelay_ == 0) nextDelay_ = defaultDelay_;
    if (nextDelay_ != 0) env_->Sleep(nextDelay_);
    nextDelay_ = 0;
}

bool KeySender::fail(const std::string& why) {
    env_->Report(why);
    releaseAllModifiers();
    return false;
}

bool KeySender::activateApplication(std::string_view title, std::string_view className) {
    const std::vector<TopLevelWindowInfo> windows = env_->TopLevelWindows();
    const TopLevelWindowInfo* found = nullptr;
    for (const auto& w : windows) {
        if (w.title == title && (className.empty() || w.className == className)) {
            found = &w;
            break;
        }
    }
    if (!found) {
        if (title.empty() && className.empty()) return false;
        // Up to this many characters of each name are compared.
        constexpr size_t kNameLength = 300;
        for (const auto& w : windows) {
            const std::string_view cls = std::string_view(w.className).substr(0, kNameLength);
            const std::string_view text = std::string_view(w.title).substr(0, kNameLength);
            if ((!className.empty() && cls.find(className) != std::string_view::npos) ||
                (!title.empty() && text.find(title) != std::string_view::npos)) {
                found = &w;
                break;
            }
        }
    }
    if (!found) return false;
    env_->Activate(found->handle);
    return true;
}

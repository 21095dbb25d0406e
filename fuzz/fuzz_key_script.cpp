// The key-script interpreter on any script: it never reads past the text,
// never sends a key event without a key, reports why it stops, and leaves
// no key held down, whether it finished the script or stopped early.
//
// Input: the first byte chooses `wait` (bit 0); the rest is the script.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "debugaids/KeySender.h"
#include "platform/keyboard.h"

namespace {

// Pauses and beeps are only counted; two windows to activate.
class Environment : public KeySenderEnvironment {
public:
    uint64_t slept = 0;
    int reports = 0;
    void Sleep(uint32_t milliseconds) override { slept += milliseconds; }
    void Beep(uint32_t, uint32_t) override {}
    void DrainKeyboardMessages() override {}
    std::vector<TopLevelWindowInfo> TopLevelWindows() override {
        return {{reinterpret_cast<HWND>(1), "quill-host", "QMainWindow"},
                {reinterpret_cast<HWND>(2), "Notepad", "Edit"}};
    }
    bool Activate(HWND) override { return true; }
    void Report(const std::string& text) override {
        if (text.empty()) __builtin_trap();
        ++reports;
    }
};

// Which keys are down, from the events alone.
class KeyState : public IKeyboardSink {
public:
    std::array<bool, 256> down{};
    void OnKeyboardEvent(const KeyboardEvent& event) override {
        if (event.virtualKey == 0) __builtin_trap();
        down[event.virtualKey] = !(event.flags & KEYEVENTF_KEYUP);
    }
    bool anyDown() const {
        for (bool d : down) {
            if (d) return true;
        }
        return false;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool wait = data[0] & 1;
    // A copy of exactly the script's bytes: reading past it is caught.
    const std::string script(reinterpret_cast<const char*>(data) + 1, size - 1);

    KeyState keys;
    SetKeyboardSink(&keys);
    Environment environment;
    KeySender sender(&environment);
    const bool finished = sender.send(std::string_view(script), wait);
    SetKeyboardSink(nullptr);

    if (keys.anyDown()) __builtin_trap();
    if (!finished && environment.reports == 0) __builtin_trap();
    return 0;
}

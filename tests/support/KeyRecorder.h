// A keyboard sink for tests: records every synthesised key event for the
// life of the object, and tells them as text or as the keys still held.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/keyboard.h"

struct KeyRecorder : IKeyboardSink {
    KeyRecorder() { SetKeyboardSink(this); }
    ~KeyRecorder() override { SetKeyboardSink(nullptr); }
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;
    void OnKeyboardEvent(const KeyboardEvent& e) override { events.push_back(e); }

    // "v+" key-down, "v-" key-up, with "x" for the extended flag: "122+ 122-x".
    std::string trace() const {
        std::string out;
        for (const auto& e : events) {
            if (!out.empty()) out += ' ';
            out += std::to_string(e.virtualKey) + ((e.flags & KEYEVENTF_KEYUP) ? "-" : "+");
            if (e.flags & KEYEVENTF_EXTENDEDKEY) out += 'x';
        }
        return out;
    }
    // Keys pressed and not released.
    std::vector<int> held() const {
        std::map<int, bool> down;
        for (const auto& e : events) down[e.virtualKey] = !(e.flags & KEYEVENTF_KEYUP);
        std::vector<int> keys;
        for (auto [vk, d] : down) {
            if (d) keys.push_back(vk);
        }
        return keys;
    }
    // How often `virtualKey` went down.
    int presses(int virtualKey) const {
        int n = 0;
        for (const auto& e : events)
            n += e.virtualKey == virtualKey && !(e.flags & KEYEVENTF_KEYUP);
        return n;
    }

    std::vector<KeyboardEvent> events;
};

#include "platform/keyboard.h"

#include <array>
#include <atomic>
#include <cstring>

namespace {

std::atomic<IKeyboardSink*> g_sink{nullptr};

// Scan codes of a US keyboard, by virtual key (0: none). Navigation keys
// share their scan codes with the numeric keypad; the extended-key flag of
// an event tells them apart.
constexpr std::array<uint8_t, 256> makeScanCodes() {
    std::array<uint8_t, 256> t{};
    t[0x03] = 0x46;  // Break
    t[VK_BACK] = 0x0E;
    t[VK_TAB] = 0x0F;
    t[0x0C] = 0x4C;  // Clear
    t[VK_RETURN] = 0x1C;
    t[VK_SHIFT] = 0x2A;
    t[VK_CONTROL] = 0x1D;
    t[VK_MENU] = 0x38;
    t[0x14] = 0x3A;  // Caps Lock
    t[VK_ESCAPE] = 0x01;
    t[VK_SPACE] = 0x39;
    t[VK_PRIOR] = 0x49;
    t[VK_NEXT] = 0x51;
    t[VK_END] = 0x4F;
    t[VK_HOME] = 0x47;
    t[VK_LEFT] = 0x4B;
    t[VK_UP] = 0x48;
    t[VK_RIGHT] = 0x4D;
    t[VK_DOWN] = 0x50;
    t[0x2C] = 0x54;  // Print Screen
    t[VK_INSERT] = 0x52;
    t[VK_DELETE] = 0x53;
    const char* digits = "1234567890";
    for (int i = 0; i < 10; ++i)
        t[static_cast<uint8_t>(digits[i])] = static_cast<uint8_t>(0x02 + i);
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const uint8_t starts[] = {0x10, 0x1E, 0x2C};
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; rows[r][i]; ++i) {
            t[static_cast<uint8_t>(rows[r][i])] = static_cast<uint8_t>(starts[r] + i);
        }
    }
    t[VK_LWIN] = 0x5B;
    t[0x5C] = 0x5C;  // right Windows key
    t[0x5D] = 0x5D;  // Apps
    const uint8_t numpad[] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
    for (int i = 0; i < 10; ++i) t[VK_NUMPAD0 + i] = numpad[i];
    t[0x6A] = 0x37;                                                              // Multiply
    t[0x6B] = 0x4E;                                                              // Add
    t[0x6D] = 0x4A;                                                              // Subtract
    t[0x6E] = 0x53;                                                              // Decimal
    t[0x6F] = 0x35;                                                              // Divide
    for (int i = 0; i < 10; ++i) t[VK_F1 + i] = static_cast<uint8_t>(0x3B + i);  // F1-F10
    t[VK_F11] = 0x57;
    t[VK_F11 + 1] = 0x58;                                                       // F12
    for (int i = 0; i < 11; ++i) t[0x7C + i] = static_cast<uint8_t>(0x64 + i);  // F13-F23
    t[0x87] = 0x76;                                                             // F24
    t[VK_NUMLOCK] = 0x45;
    t[0x91] = 0x46;  // Scroll Lock
    t[0xA0] = 0x2A;  // left and right Shift, Ctrl, Alt
    t[0xA1] = 0x36;
    t[0xA2] = 0x1D;
    t[0xA3] = 0x1D;
    t[0xA4] = 0x38;
    t[0xA5] = 0x38;
    t[0xBA] = 0x27;  // ;
    t[0xBB] = 0x0D;  // =
    t[0xBC] = 0x33;  // ,
    t[0xBD] = 0x0C;  // -
    t[0xBE] = 0x34;  // .
    t[0xBF] = 0x35;  // /
    t[0xC0] = 0x29;  // `
    t[0xDB] = 0x1A;  // [
    t[0xDC] = 0x2B;  // backslash
    t[0xDD] = 0x1B;  // ]
    t[0xDE] = 0x28;  // '
    return t;
}

constexpr std::array<uint8_t, 256> kScanCodes = makeScanCodes();

// The punctuation keys of a US layout: unshifted and shifted character.
struct PunctuationKey {
    uint8_t virtualKey;
    char plain;
    char shifted;
};
constexpr PunctuationKey kPunctuation[] = {
    {0xBA, ';', ':'},  {0xBB, '=', '+'}, {0xBC, ',', '<'},  {0xBD, '-', '_'},
    {0xBE, '.', '>'},  {0xBF, '/', '?'}, {0xC0, '`', '~'},  {0xDB, '[', '{'},
    {0xDC, '\\', '|'}, {0xDD, ']', '}'}, {0xDE, '\'', '"'},
};
// Shifted digits "0" to "9".
constexpr const char* kShiftedDigits = ")!@#$%^&*(";

constexpr int16_t kShift = 0x100;
constexpr int16_t kCtrl = 0x200;

}  // namespace

void SetKeyboardSink(IKeyboardSink* sink) { g_sink.store(sink); }

IKeyboardSink* GetKeyboardSink() { return g_sink.load(); }

bool SendKeyboardEvent(const KeyboardEvent& event) {
    IKeyboardSink* sink = g_sink.load();
    if (!sink) return false;
    sink->OnKeyboardEvent(event);
    return true;
}

void keybd_event(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t) {
    SendKeyboardEvent(KeyboardEvent{virtualKey, scanCode, flags});
}

int16_t VkKeyScanA(char character) {
    auto c = static_cast<unsigned char>(character);
    if (c >= 'a' && c <= 'z') return static_cast<int16_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<int16_t>(kShift | c);
    if (c >= '0' && c <= '9') return static_cast<int16_t>(c);
    if (const char* p = std::strchr(kShiftedDigits, c); p && c) {
        return static_cast<int16_t>(kShift | ('0' + (p - kShiftedDigits)));
    }
    for (const auto& key : kPunctuation) {
        if (c == static_cast<unsigned char>(key.plain)) return key.virtualKey;
        if (c == static_cast<unsigned char>(key.shifted))
            return static_cast<int16_t>(kShift | key.virtualKey);
    }
    switch (c) {
        case ' ':
            return VK_SPACE;
        case '\b':
            return VK_BACK;
        case '\t':
            return VK_TAB;
        case '\r':
            return VK_RETURN;
        case '\n':
            return static_cast<int16_t>(kCtrl | VK_RETURN);
        case 0x1B:
            return VK_ESCAPE;
        default:
            break;
    }
    if (c >= 1 && c <= 26) return static_cast<int16_t>(kCtrl | ('A' + c - 1));  // Ctrl+letter
    return -1;
}

uint32_t MapVirtualKeyA(uint32_t code, uint32_t mapType) {
    switch (mapType) {
        case MAPVK_VK_TO_VSC:
            return code < kScanCodes.size() ? kScanCodes[code] : 0;
        case MAPVK_VSC_TO_VK:
            if (code == 0) return 0;
            // Break shares Scroll Lock's scan code; the scan code means Scroll Lock.
            for (uint32_t vk = 1; vk < kScanCodes.size(); ++vk) {
                if (kScanCodes[vk] == code && vk != 0x03) return vk;
            }
            return 0;
        case MAPVK_VK_TO_CHAR:
            if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) return code;
            if (code >= VK_NUMPAD0 && code <= VK_NUMPAD0 + 9) return '0' + (code - VK_NUMPAD0);
            for (const auto& key : kPunctuation) {
                if (code == key.virtualKey) return static_cast<unsigned char>(key.plain);
            }
            switch (code) {
                case VK_SPACE:
                    return ' ';
                case VK_BACK:
                    return '\b';
                case VK_TAB:
                    return '\t';
                case VK_RETURN:
                    return '\r';
                case VK_ESCAPE:
                    return 0x1B;
                case 0x6A:
                    return '*';
                case 0x6B:
                    return '+';
                case 0x6D:
                    return '-';
                case 0x6E:
                    return '.';
                case 0x6F:
                    return '/';
                default:
                    return 0;
            }
        default:
            return 0;
    }
}

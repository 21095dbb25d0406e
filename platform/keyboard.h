// Synthesised keyboard input. A key sender produces KeyboardEvents; the host
// installs the sink that turns them into key presses in its own windows (in
// tests, a recorder). Without a sink, events are dropped. The layout queries
// answer for a US keyboard layout.
#pragma once

#include <cstdint>

constexpr uint32_t KEYEVENTF_EXTENDEDKEY = 0x1;
constexpr uint32_t KEYEVENTF_KEYUP = 0x2;

struct KeyboardEvent {
    uint8_t virtualKey;
    uint8_t scanCode;
    uint32_t flags;  // KEYEVENTF_*
};

class IKeyboardSink {
public:
    virtual ~IKeyboardSink() = default;
    virtual void OnKeyboardEvent(const KeyboardEvent& event) = 0;
};

// Installs the sink of this process (non-owning; null removes it). The sink
// must stay alive until it is replaced or removed.
void SetKeyboardSink(IKeyboardSink* sink);
IKeyboardSink* GetKeyboardSink();

// Delivers one event to the sink; false when there is none.
bool SendKeyboardEvent(const KeyboardEvent& event);
// The system call of the same name: one key event, forwarded to the sink.
void keybd_event(uint8_t virtualKey, uint8_t scanCode, uint32_t flags, uintptr_t extraInfo);

// Virtual-key codes used by key senders.
constexpr uint8_t VK_BACK = 0x08;
constexpr uint8_t VK_TAB = 0x09;
constexpr uint8_t VK_RETURN = 0x0D;
constexpr uint8_t VK_SHIFT = 0x10;
constexpr uint8_t VK_CONTROL = 0x11;
constexpr uint8_t VK_MENU = 0x12;
constexpr uint8_t VK_ESCAPE = 0x1B;
constexpr uint8_t VK_SPACE = 0x20;
constexpr uint8_t VK_PRIOR = 0x21;
constexpr uint8_t VK_NEXT = 0x22;
constexpr uint8_t VK_END = 0x23;
constexpr uint8_t VK_HOME = 0x24;
constexpr uint8_t VK_LEFT = 0x25;
constexpr uint8_t VK_UP = 0x26;
constexpr uint8_t VK_RIGHT = 0x27;
constexpr uint8_t VK_DOWN = 0x28;
constexpr uint8_t VK_INSERT = 0x2D;
constexpr uint8_t VK_DELETE = 0x2E;
constexpr uint8_t VK_LWIN = 0x5B;
constexpr uint8_t VK_NUMPAD0 = 0x60;
constexpr uint8_t VK_F1 = 0x70;
constexpr uint8_t VK_F11 = 0x7A;
constexpr uint8_t VK_NUMLOCK = 0x90;

// The key that types a character: low byte the virtual key, high byte the
// shift state (bit 0 Shift, bit 1 Ctrl, bit 2 Alt); -1 when no key types it.
int16_t VkKeyScanA(char character);

constexpr uint32_t MAPVK_VK_TO_VSC = 0;   // virtual key -> scan code
constexpr uint32_t MAPVK_VSC_TO_VK = 1;   // scan code -> virtual key
constexpr uint32_t MAPVK_VK_TO_CHAR = 2;  // virtual key -> unshifted character
// Translates between virtual keys, scan codes and characters; 0 when there
// is no translation.
uint32_t MapVirtualKeyA(uint32_t code, uint32_t mapType);

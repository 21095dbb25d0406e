#include "debugaids/KeyNameTable.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr KeyName vk(const char* name, uint8_t code) { return {name, code, false}; }
constexpr KeyName ch(const char* name, char c) { return {name, static_cast<uint8_t>(c), true}; }

// Compares `a` upper-cased with the upper-case table name `b`.
int compareUpper(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = std::toupper(static_cast<unsigned char>(a[i]));
        const int y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

const std::array<KeyName, 71> KeyNameTable = {{
    vk("ADD", 107),        vk("APPS", 93),        ch("AT", '@'),       vk("BACKSPACE", 8),
    vk("BKSP", 8),         vk("BREAK", 3),        vk("BS", 8),         vk("CAPSLOCK", 20),
    ch("CARET", '^'),      vk("CLEAR", 12),       vk("DECIMAL", 110),  vk("DEL", 46),
    vk("DELETE", 46),      vk("DIVIDE", 111),     vk("DOWN", 40),      vk("END", 35),
    vk("ENTER", 13),       vk("ESC", 27),         vk("ESCAPE", 27),    vk("F1", 112),
    vk("F10", 121),        vk("F11", 122),        vk("F12", 123),      vk("F13", 124),
    vk("F14", 125),        vk("F15", 126),        vk("F16", 127),      vk("F2", 113),
    vk("F3", 114),         vk("F4", 115),         vk("F5", 116),       vk("F6", 117),
    vk("F7", 118),         vk("F8", 119),         vk("F9", 120),       vk("HELP", 47),
    vk("HOME", 36),        vk("INS", 45),         vk("LEFT", 37),      ch("LEFTBRACE", '{'),
    ch("LEFTPAREN", '('),  vk("LWIN", 91),        vk("MULTIPLY", 106), vk("NUMLOCK", 144),
    vk("NUMPAD0", 96),     vk("NUMPAD1", 97),     vk("NUMPAD2", 98),   vk("NUMPAD3", 99),
    vk("NUMPAD4", 100),    vk("NUMPAD5", 101),    vk("NUMPAD6", 102),  vk("NUMPAD7", 103),
    vk("NUMPAD8", 104),    vk("NUMPAD9", 105),    ch("PERCENT", '%'),  vk("PGDN", 34),
    vk("PGUP", 33),        ch("PLUS", '+'),       vk("PRTSC", 42),     vk("RIGHT", 39),
    ch("RIGHTBRACE", '}'), ch("RIGHTPAREN", ')'), vk("RWIN", 92),      vk("SCROLL", 145),
    vk("SEPARATOR", 108),  vk("SNAPSHOT", 44),    vk("SUBTRACT", 109), vk("TAB", 9),
    ch("TILDE", '~'),      vk("UP", 38),          vk("WIN", 91),
}};

std::optional<KeyName> FindKeyName(std::string_view name) {
    auto it = std::lower_bound(
        KeyNameTable.begin(), KeyNameTable.end(), name,
        [](const KeyName& row, std::string_view key) { return compareUpper(key, row.name) > 0; });
    if (it != KeyNameTable.end() && compareUpper(name, it->name) == 0) return *it;
    return std::nullopt;
}

bool IsExtendedKey(uint8_t virtualKey) {
    switch (virtualKey) {
        case 38:  // up
        case 40:  // down
        case 37:  // left
        case 39:  // right
        case 36:  // home
        case 35:  // end
        case 33:  // page up
        case 34:  // page down
        case 45:  // insert
        case 46:  // delete
            return true;
        default:
            return false;
    }
}

// The names that a key script may write between braces ("{F11}", "{pgdn 3}")
// and the keys they stand for. Toolkit-free.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

struct KeyName {
    const char* name;  // upper case
    uint8_t code;      // virtual-key code, or a character when `character` is set
    bool character;    // the key is the one that types `code` in the keyboard layout
};

// 71 rows in ascending order of name, so that a lookup can bisect.
extern const std::array<KeyName, 71> KeyNameTable;

// The row of `name`, compared without regard to case and exactly (no
// prefixes); nothing for a name the table does not hold.
std::optional<KeyName> FindKeyName(std::string_view name);

// Keys whose key-down event carries the extended-key flag: the arrows, Home,
// End, Page Up, Page Down, Insert and Delete.
bool IsExtendedKey(uint8_t virtualKey);

// The plug-in's setup description (menu entries, commands, toolbar) as the
// host reads it from GetSetup. Toolkit-free so it is tested on its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct SetupMenuEntry {
    std::string id;    // command identifier, e.g. "LD"
    int command = -1;  // index in the framework's command list
    std::string text;
    std::string tooltip;
    bool separatorAfter = false;
};

struct SetupToolbarButton {
    std::string id;
    int command = -1;
    int bitmapId = 0;  // 0 when the button names no bitmap
    std::string tooltip;
};

struct SetupToolbar {
    std::string name;
    std::vector<SetupToolbarButton> buttons;
};

struct SetupMenu {
    std::string parent;  // host menu the entries go to, e.g. "TOOLS"
    std::string text;    // sub-menu caption
    bool subMenu = false;
    std::vector<SetupMenuEntry> entries;  // in MENU_NAMES order
};

struct SetupDescription {
    std::string frameworkName;
    std::vector<std::string> commands;  // position = ExecuteCommand number
    std::vector<SetupMenu> menus;
    std::vector<SetupToolbar> toolbars;

    // Index of a command identifier, -1 when unknown.
    int commandIndex(const std::string& id) const;
};

// Splits a list value "[A:B:C]" into its items. Returns nothing when the
// text is not a bracketed list.
std::optional<std::vector<std::string>> ParseSetupList(const std::string& text);

// Parses the XML text. On failure returns nothing and sets *error to a
// one-line diagnosis.
std::optional<SetupDescription> ParseSetupDescription(const std::string& xml, std::string* error);

// The plug-in's command table as host and module share it: the position of
// a command in the setup description's command list is the number the host
// passes to IGuiPlugin::ExecuteCommand. Each component command names the
// dialog template of its window and the base name the window is docked
// under (the second window of a kind gets " 2" appended, and so on).
// Toolkit-free and header-only.
#pragma once

#include <array>
#include <string_view>

enum Command : int {
    kCmdKnightRider = 0,
    kCmdCapacityMeasurement = 1,
    kCmdLed = 2,
    kCmdSwitch = 3,
    kCmdSlider = 4,
    kCmdKeypad = 5,
    kCmdSettings = 6,
    kCmdStackView = 7,
    kCmdBeerbasement = 8,
    kCmdLcd = 9,
    kCmdAutostep = 10,
    kCmdAbout = 11,
};
inline constexpr int kCommandCount = 12;

struct CommandInfo {
    Command command;
    const char* id;        // identifier in the setup description, "LD"
    const char* title;     // what the user calls it, for messages
    int dialogId;          // dialog template of the window, 0 for none
    const char* baseName;  // docked window name, "" for commands without a window
    bool multiInstance;    // each use opens one more window
};

// In command order: kCommands[c].command == c.
inline constexpr std::array<CommandInfo, kCommandCount> kCommands{{
    {kCmdKnightRider, "KN", "Knight Rider", 103, "Knightrider", true},
    {kCmdCapacityMeasurement, "CM", "Capacity Measurement", 210, "Capacity Measurement", true},
    {kCmdLed, "LD", "LED", 219, "LED", true},
    {kCmdSwitch, "SW", "Switch", 230, "Switch", true},
    {kCmdSlider, "AD", "Slider", 238, "Slider", true},
    {kCmdKeypad, "KP", "Keypad", 241, "Keypad", true},
    {kCmdSettings, "CFG", "Settings", 0, "", false},
    {kCmdStackView, "STV", "Stack view", 260, "Stackview++", false},
    {kCmdBeerbasement, "BB", "Beerbasement", 271, "Beerbasement", true},
    {kCmdLcd, "LCD", "Hitachi LCD", 278, "Hitachi LCD", true},
    {kCmdAutostep, "ASI", "Autostep INTO", 0, "", false},
    {kCmdAbout, "ABOUT", "About", 0, "", false},
}};

// The entry of a command index; null outside the table.
constexpr const CommandInfo* CommandInfoOf(int command) {
    return command >= 0 && command < kCommandCount ? &kCommands[static_cast<size_t>(command)]
                                                   : nullptr;
}

// The entry of a setup identifier ("LD"); null for an unknown one.
constexpr const CommandInfo* CommandInfoOf(std::string_view id) {
    for (const CommandInfo& info : kCommands) {
        if (id == info.id) return &info;
    }
    return nullptr;
}

// Commands that open a docked component window.
constexpr bool IsComponentCommand(int command) {
    const CommandInfo* info = CommandInfoOf(command);
    return info && info->dialogId != 0;
}

static_assert([] {
    for (int i = 0; i < kCommandCount; ++i) {
        if (kCommands[static_cast<size_t>(i)].command != i) return false;
    }
    return true;
}());

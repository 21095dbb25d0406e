// A recording of what a user does in the host, kept as scenario lines that
// do it again: the set-up (part, firmware, clock), the user's actions on the
// component windows and the checks of what the windows show, with a
// `wait cycles N` for the simulated time that passed between them. The text
// it writes is the scenario language of host/scenario, so a recording
// replays headless (`quill-host --headless --scenario rec.scn`), also on
// another firmware (`--firmware student.elf`). Toolkit-free: the host's
// window feeds it typed actions with the cycle count at which each happened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/scenario/Scenario.h"
#include "platform/files.h"

namespace quill::recorder {

// The session a recording starts from.
struct ScenarioSetUp {
    std::string part = "ATmega16";
    std::string firmware;  // absolute, or relative to the working folder
    uint32_t hertz = 1000000;
    // The board the session runs as ("Uno"): written as a board line,
    // which chooses the part and clock, instead of part and frequency.
    std::string board = {};
};

// What made simulated time pass, for the comment on a wait.
enum class Activity { Run, Break, Step };

// The scenario line of a command that a recording holds (open, click,
// press/release, set slider/temperature, reset and the checks of LEDs,
// bars, LCD lines, channels and registers); nothing for other commands.
std::optional<std::string> formatCommand(const scenario::Command& command);

// A word of a scenario line: as it is when it holds only letters, digits
// and "_+-./", else in double quotes with " and \ escaped.
std::string quoteWord(const std::string& word);
// The quoted text of an LCD line check: control codes, and the backslash
// that would begin an escape, as \xNN; a quote as \".
std::string quoteLcdText(const std::string& utf8);

class Recording {
public:
    explicit Recording(ScenarioSetUp setUp);

    // A user's action or a check at cycle count `cycle`. Time that passed
    // since the previous one becomes a wait first; a reset also brings the
    // count back to 0. False (and nothing recorded) for a command that a
    // recording cannot hold.
    bool add(uint64_t cycle, const scenario::Command& command);
    // A settings dialog accepted with OK: `keyValues` is the text of a
    // settings line after the window name ("port=B pin=3").
    void addSettings(uint64_t cycle, const std::string& window, const std::string& keyValues);
    // The user ran, broke or stepped the program: noted on the next wait.
    void note(Activity activity);

    // The recorded lines, without the set-up.
    const std::vector<std::string>& lines() const { return lines_; }
    // The scenario file's text for a file at `scenarioPath`: the firmware
    // is written relative to the file's folder when it lies below it.
    std::string text(const std::string& scenarioPath) const;

    // What a recording replaces: only a scenario recorded before (its first
    // line is the comment text() starts with) or an empty file, never a
    // scenario written by hand.
    static const quill::files::FileKind kFileKind;

private:
    void passTime(uint64_t cycle);

    ScenarioSetUp setUp_;
    std::vector<std::string> lines_;
    uint64_t last_ = 0;                            // the cycle count of the previous line
    std::vector<std::pair<Activity, int>> notes_;  // what ran the program since then
};

}  // namespace quill::recorder

// A lab: the set-up a teacher hands out (part, clock, program, the windows
// open and where they stand, the run pacing), kept in a ".quill" XML file.
// Toolkit-free: the host turns a main window into a Lab and back.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quill::lab {

// The newest format this host writes and reads. A file of a later format
// is refused rather than half understood.
constexpr int kFormatVersion = 1;

// The most windows a lab opens. A set-up a teacher hands out shows a few
// dozen (one LED per pin of the largest part is 86); past a few hundred the
// windows no longer fit any screen, and each one costs the window's layout
// time, so that a file of tens of thousands would keep the host busy for
// minutes before anything runs.
constexpr std::size_t kMaxLabWindows = 256;

struct LabWindow {
    std::string command;  // the command that opens it ("LD")
    std::string title;    // the name the host gave it ("LED 2")
    // Its settings dialog as the key=value text of a scenario `settings`
    // line ("port=B pin=3"); empty for a window without settings, or one
    // from a lab saved before settings were kept.
    std::string settings = {};
    friend bool operator==(const LabWindow&, const LabWindow&) = default;
};

// The settings of something that is not a component window: a page of the
// plug-in's Settings sheet ("electrical", "general"), as key=value text.
struct LabSettings {
    std::string target;
    std::string settings = {};
    friend bool operator==(const LabSettings&, const LabSettings&) = default;
};

// A breakpoint as the debugger's `break` takes it: "debug_demo.c:18" (a
// source line) or "tick" (a function).
struct LabBreakpoint {
    std::string at;
    friend bool operator==(const LabBreakpoint&, const LabBreakpoint&) = default;
};

// A row of the watch: what is watched ("counter", "PORTA", "SREG") and how
// its value is shown: "hex", "decimal", "binary" or "char".
struct LabWatch {
    std::string name;
    std::string format = "hex";
    friend bool operator==(const LabWatch&, const LabWatch&) = default;
};

// The most breakpoints and watches a lab keeps of each: far more than a
// student sets, few enough that opening a lab never waits on them.
constexpr std::size_t kMaxLabDebugItems = 256;

struct Lab {
    std::string part = "ATmega16";
    double frequencyMHz = 1.0;
    // The Arduino board the part sits on ("Uno"), whose pin names the
    // windows show; empty for none (and in a lab saved before boards).
    std::string board = {};
    std::string firmware;  // as written: relative to the lab file's folder when below it
    bool realTime = true;  // the run pacing
    std::vector<LabWindow> windows;  // in the order they were opened
    std::vector<LabSettings> settings;  // applied before the windows' own
    std::string layout;    // the main window's dock state, base64
    std::string geometry;  // the main window's size and place, base64
    // The debugger's breakpoints and watch list (a lab saved before they
    // were kept has none: the watch is then left as it is).
    std::vector<LabBreakpoint> breakpoints = {};
    std::vector<LabWatch> watches = {};
    // What reading left out and the user is to be told (a damaged layout
    // dropped); never written.
    std::vector<std::string> notes = {};
    friend bool operator==(const Lab&, const Lab&) = default;
};

// The XML text of a lab.
std::string formatLab(const Lab& lab);
// Reads a lab from XML text; on a malformed text, a later format, a window
// no component command opens, too many windows or a missing part, returns
// nothing and explains in *error. A layout that does not match the
// checksum saved with it, or is no sound dock state, is left out and said
// in `notes`: the rest of the lab opens.
std::optional<Lab> parseLab(const std::string& text, std::string* error);

// Writes the lab to path: beside the old file first, then renamed over it,
// so a failed save leaves the old lab as it was. Only an earlier lab (or an
// empty file) is replaced; a link or any other file is refused. The firmware is written
// relative to the lab's folder when it lies below it.
bool saveLab(Lab lab, const std::string& path, std::string* error);
// Reads the lab at path (a regular file of sane size) and makes its
// firmware path absolute. A relative one is looked for beside the lab
// first, then in `searchFolders` in order (the host's firmware folders):
// the first regular file found is the lab's program. None found is
// refused, naming every place looked in.
std::optional<Lab> loadLab(const std::string& path, std::string* error,
                           const std::vector<std::string>& searchFolders = {});

}  // namespace quill::lab

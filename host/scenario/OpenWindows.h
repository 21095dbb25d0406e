// The component windows a scenario has opened up to the line being parsed,
// named as the host names them ("LED", "LED 2"), with the keys held down on
// each keypad: the parser checks every window name a line gives.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/scenario/Lexer.h"
#include "host/scenario/Scenario.h"

namespace quill::scenario {

class OpenWindows {
public:
    struct Window {
        std::string name;
        ComponentKind kind;
        std::set<char> heldKeys;
    };

    // A window opened by an `open` line: its name, the kind's base name
    // with " 2", " 3", ... after the first. There is one Stack view at most
    // (LineError).
    const std::string& open(ComponentKind kind);
    // A window open before the first line (a lab's), named the same way.
    const std::string& add(ComponentKind kind);
    // The window a line names, in any case; LineError naming the open ones.
    Window& named(const Token& token);
    // The same, and the window must be of `kind`: otherwise LineError
    // "window "X" is not <what>" (what: "an LED", "a keypad").
    Window& named(const Token& token, ComponentKind kind, const std::string& what);

    // The board a `board` line chose, whose pin names (D13, A0) the lines
    // after it may use; nullptr without one.
    const boards::Board* board = nullptr;

private:
    std::map<ComponentKind, int> opened_;
    std::vector<Window> windows_;
};

}  // namespace quill::scenario

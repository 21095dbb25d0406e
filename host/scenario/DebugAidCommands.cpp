// The scenario commands of the plug-in's debugging aids: autostep, the
// host's idle time, debugger events and the register logger.
#include <set>

#include "contract/HostProtocol.h"
#include "host/scenario/Lexer.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

namespace {

using text::Lower;

constexpr double kMaxIdleMilliseconds = 60000;
// The debugger events a scenario may send.
constexpr HostEvent kHostEvents[] = {kEventHalted,         kEventDetached6,     kEventReattach,
                                     kEventDetached8,      kEventPartReset,     kEventRunStarted,
                                     kEventSessionStarted, kEventSessionPaused, kEventTargetReady,
                                     kEventSessionEnded};

}  // namespace

Command parseAutostepCommand(const Tokens& t) {
    need(t, 1, "on or off");
    noMore(t, 2);
    return AutostepCommand{parseOnOrOff(t[1].text, "autostep state")};
}

Command parseIdleCommand(const Tokens& t) {
    need(t, 1, "ms and a wall-clock time such as 500");
    if (Lower(t[1].text) != "ms")
        throw LineError{"unknown idle unit " + inQuotes(t[1].text) + " (use idle ms <time>)"};
    need(t, 2, "a wall-clock time in milliseconds");
    noMore(t, 3);
    const double ms = parseDecimal(t[2].text, "the idle time");
    if (ms <= 0 || ms > kMaxIdleMilliseconds)
        throw LineError{"idle time " + t[2].text + " ms is outside 0 to " +
                        std::to_string(static_cast<int>(kMaxIdleMilliseconds)) + " ms"};
    return IdleCommand{ms};
}

Command parseEventCommand(const Tokens& t) {
    need(t, 1, "a debugger event number");
    noMore(t, 2);
    const auto number = static_cast<int32_t>(parseUnsigned(t[1].text, 1000, "event"));
    for (HostEvent known : kHostEvents)
        if (known == number) return EventCommand{number};
    std::string list;
    for (HostEvent known : kHostEvents)
        list += (list.empty() ? "" : ", ") + std::to_string(known);
    throw LineError{"unknown debugger event " + t[1].text + " (known: " + list + ")"};
}

Command parseLoggerCommand(const Tokens& t) {
    need(t, 1, "registers=..., file=..., dir=..., on or off, destination=file|window");
    LoggerCommand command;
    std::set<std::string> seen;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const std::string& word = t[i].text;
        const std::size_t eq = word.find('=');
        const std::string key = Lower(eq == std::string::npos ? word : word.substr(0, eq));
        if (eq == std::string::npos && (key == "on" || key == "off")) {
            if (!seen.insert("on/off").second) throw LineError{"on/off given twice"};
            command.enabled = key == "on";
            continue;
        }
        if (eq == std::string::npos || eq == 0)
            throw LineError{"logger setting " + inQuotes(word) +
                            " is not key=value, on or off (keys: registers, file, dir, "
                            "destination, limit)"};
        const std::string value = word.substr(eq + 1);
        if (!seen.insert(key).second) throw LineError{"logger setting " + key + " given twice"};
        if (key == "registers") {
            std::vector<std::string> names;
            std::size_t start = 0;
            while (!value.empty() && start <= value.size()) {
                std::size_t comma = value.find(',', start);
                if (comma == std::string::npos) comma = value.size();
                names.push_back(parseRegisterName(value.substr(start, comma - start)));
                start = comma + 1;
            }
            command.registers = std::move(names);
        } else if (key == "file") {
            command.file = value;
        } else if (key == "dir") {
            command.directory = value;
        } else if (key == "destination") {
            const std::string d = Lower(value);
            if (d != "file" && d != "window")
                throw LineError{"bad destination " + inQuotes(value) + " (use file or window)"};
            command.toFile = d == "file";
        } else if (key == "limit") {
            command.limitMegabytes = static_cast<int>(parseUnsigned(value, 1 << 20, "limit"));
        } else {
            throw LineError{"unknown logger setting " + inQuotes(key) +
                            " (keys: registers, file, dir, destination, limit; on or off)"};
        }
    }
    return command;
}

}  // namespace quill::scenario

#include "host/scenario/ExitCommands.h"

#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

std::optional<ExpectExitCommand> parseExpectExit(const Tokens& t) {
    // t: "exit" CODE
    if (t.empty() || text::Lower(t[0].text) != "exit") return std::nullopt;
    if (t.size() < 2) throw LineError{"missing argument: expect exit needs the exit code, such as 0"};
    if (t.size() > 2)
        throw LineError{"unexpected argument " + inQuotes(t[2].text) + " after expect exit"};
    const std::string& word = t[1].text;
    const bool negative = !word.empty() && word[0] == '-';
    const uint64_t magnitude =
        parseUnsigned(negative ? word.substr(1) : word, negative ? 32768 : 65535, "exit code");
    return ExpectExitCommand{negative ? -static_cast<int32_t>(magnitude)
                                      : static_cast<int32_t>(magnitude)};
}

std::optional<WaitExitCommand> parseWaitExit(const Tokens& t, uint64_t timeout) {
    // t: "exit", the timeout already taken off by the caller
    if (t.empty() || t[0].quoted || text::Lower(t[0].text) != "exit") return std::nullopt;
    if (t.size() > 1)
        throw LineError{"unexpected argument " + inQuotes(t[1].text) +
                        " after wait until exit (use wait until exit [timeout CYCLES])"};
    return WaitExitCommand{timeout};
}

std::string describeExit(const WaitExitCommand& c) {
    return "wait until the program exits (at most " + std::to_string(c.timeoutCycles) + " cycles)";
}

std::string describeExit(const ExpectExitCommand& c) {
    return "expect the program exited with " + std::to_string(c.code);
}

}  // namespace quill::scenario

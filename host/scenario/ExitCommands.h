// The scenario commands of a program's own verdict: a program built with
// avr-libc that calls exit(n) or returns n from main stops with interrupts
// off at __stop_program, n in r24:r25. Parsed here, run by the host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/scenario/Lexer.h"

namespace quill::scenario {

// "wait until exit [timeout C]": runs until the program has exited, at
// most C cycles; fails when it does not, or stops otherwise.
struct WaitExitCommand {
    static constexpr bool kCheck = true;
    static constexpr bool kWait = true;
    uint64_t timeoutCycles;
};
// "expect exit 0": the program has exited with that code (-32768 to
// 65535, compared as the 16 bits of r24:r25).
struct ExpectExitCommand {
    static constexpr bool kCheck = true;
    int32_t code;
};

// "expect exit ..." and "wait until exit ..." from the word after the verb
// on; nothing when the line is another check or wait. Throw LineError.
std::optional<ExpectExitCommand> parseExpectExit(const Tokens& t);
std::optional<WaitExitCommand> parseWaitExit(const Tokens& t, uint64_t timeout);

std::string describeExit(const WaitExitCommand& c);
std::string describeExit(const ExpectExitCommand& c);

}  // namespace quill::scenario

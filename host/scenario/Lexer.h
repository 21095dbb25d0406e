// The scenario language's words: a line is split into tokens (blanks
// separate words, double quotes group them, '#' at the start of a word
// begins a comment). A malformed line is reported by throwing LineError,
// which the parser turns into a "file:line: message" diagnostic.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quill::scenario {

inline constexpr std::size_t kMaxLineLength = 4096;
inline constexpr std::size_t kMaxTokenLength = 256;

// A failed line: the message goes to the caller's diagnostics.
struct LineError {
    std::string message;
};

struct Token {
    std::string text;
    bool quoted = false;
    std::string raw;  // quoted text as written between the quotes, escapes kept
};
using Tokens = std::vector<Token>;

// Splits a line into words. Double quotes group words with spaces ("LED 2");
// inside them \" and \\ stand for " and \. A '#' at the start of a word
// begins a comment that runs to the end of the line.
Tokens tokenize(std::string_view line);

// The line without its comment and surrounding blanks.
std::string withoutComment(std::string_view line);

// "text" with quotes, for messages.
inline std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace quill::scenario

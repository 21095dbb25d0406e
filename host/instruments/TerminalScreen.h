// What a serial terminal shows of the text a program sends, as a terminal
// does it: a carriage return goes back to the start of the line, and what
// follows overwrites it (a progress counter "50 %\r60 %" shows "60 %"); a
// line feed ends the line; a backspace steps back one column; tabs and
// printable bytes are written at the column; any other byte appears as
// "\xHH". The bytes arrive in pieces of any size, so a CR LF split between
// two pieces is still one line end. Toolkit-free.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quill::instruments {

class TerminalScreen {
public:
    // A line longer than this goes on in the next line, so that a program
    // that never sends a line feed cannot grow one line without bound.
    static constexpr std::size_t kMaxColumns = 4096;

    // Takes the next bytes. Returns what replaces the line that was current
    // before the call: that line as it is now, then each line begun since,
    // joined by "\n"; the last of them is the new current line.
    std::string feed(std::string_view bytes);
    const std::string& currentLine() const { return line_; }
    std::size_t column() const { return column_; }
    // Back to an empty line at column 0.
    void clear();

private:
    void put(std::string_view cell);
    std::string line_;
    std::size_t column_ = 0;
    std::string* out_ = nullptr;  // where feed() gathers the lines it ends
};

}  // namespace quill::instruments

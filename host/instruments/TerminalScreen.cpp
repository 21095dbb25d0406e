#include "host/instruments/TerminalScreen.h"

#include <cstdint>
#include <cstdio>

namespace quill::instruments {

void TerminalScreen::clear() {
    line_.clear();
    column_ = 0;
}

void TerminalScreen::put(std::string_view cell) {
    if (column_ + cell.size() > kMaxColumns) {
        *out_ += line_;
        *out_ += '\n';
        line_.clear();
        column_ = 0;
    }
    // Written over what stands at the column, or appended at the end.
    if (column_ < line_.size())
        line_.replace(column_, std::min(cell.size(), line_.size() - column_), cell);
    else
        line_ += cell;
    column_ += cell.size();
}

std::string TerminalScreen::feed(std::string_view bytes) {
    std::string out;
    out_ = &out;
    char escape[8];
    for (const char byte : bytes) {
        const auto c = static_cast<uint8_t>(byte);
        if (c == '\n') {
            out += line_;
            out += '\n';
            line_.clear();
            column_ = 0;
        } else if (c == '\r') {
            column_ = 0;
        } else if (c == '\b') {
            if (column_ > 0) --column_;
        } else if (c == '\t' || (c >= 0x20 && c <= 0x7E)) {
            put(std::string_view(&byte, 1));
        } else {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            put(escape);
        }
    }
    out += line_;
    out_ = nullptr;
    return out;
}

}  // namespace quill::instruments

#include "components/lcd/LcdScreen.h"

void VisibleText(const DisplayRam& ram, int shift, ScreenText* out) {
    out->lines = ram.lineCount();
    out->columns = ram.columns();
    out->cursorLine = out->cursorColumn = -1;
    for (int l = 0; l < out->lines; ++l) {
        for (int c = 0; c < out->columns; ++c) {
            const int address = ram.addressAt(l, c, shift);
            out->cells[l][c] = ram.ddram[address];
            if (out->cursorLine < 0 && address == ram.addressCounter) {
                out->cursorLine = l;
                out->cursorColumn = c;
            }
        }
    }
}

std::string LineText(const ScreenText& text, int line) {
    if (line < 0 || line >= text.lines) return {};
    std::string s(text.cells[line].begin(), text.cells[line].begin() + text.columns);
    const size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

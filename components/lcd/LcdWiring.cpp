#include "components/lcd/LcdWiring.h"

#include <algorithm>

namespace lcdwire {

const char* LineName(int line) {
    static const char* const names[kLineCount] = {"E",  "RS", "R/W", "D0", "D1", "D2",
                                                  "D3", "D4", "D5",  "D6", "D7"};
    return line >= 0 && line < kLineCount ? names[line] : "";
}

bool LineUsed(const LcdConfig& c, int line) {
    if (line == kRW) return c.rwWired;
    if (line >= kD0 && line < kD0 + 4) return !c.fourBitInterface;
    return line >= 0 && line < kLineCount;
}

LcdPin LinePin(const LcdConfig& c, int line) {
    if (!LineUsed(c, line)) return {};
    switch (line) {
        case kE: return {c.enablePort, c.enablePin};
        case kRS: return {c.rsPort, c.rsPin};
        case kRW: return {c.rwPort, c.rwPin};
        default: break;
    }
    const int d = line - kD0;
    if (c.pinByPin) return c.dataPins[static_cast<std::size_t>(d)];
    const bool low = c.fourBitInterface && !c.highNibble;
    return {c.dataPort, low ? d - 4 : d};
}

void SetLinePin(LcdConfig& c, int line, LcdPin pin) {
    switch (line) {
        case kE:
            c.enablePort = pin.port;
            c.enablePin = pin.bit;
            return;
        case kRS:
            c.rsPort = pin.port;
            c.rsPin = pin.bit;
            return;
        case kRW:
            c.rwWired = pin.port >= 0;
            if (c.rwWired) {
                c.rwPort = pin.port;
                c.rwPin = pin.bit;
            }
            return;
        default:
            if (line >= kD0 && line < kLineCount) {
                c.pinByPin = true;
                c.dataPins[static_cast<std::size_t>(line - kD0)] = pin;
            }
    }
}

std::vector<PortRow> PortRows(const LcdConfig& c) {
    std::vector<PortRow> rows;
    for (int line = 0; line < kLineCount; ++line) {
        const LcdPin p = LinePin(c, line);
        if (p.port < 0 || p.bit < 0 || p.bit > 7) continue;
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const PortRow& r) { return r.port == p.port; });
        if (row == rows.end()) {
            rows.push_back({p.port, {}});
            row = rows.end() - 1;
        }
        std::string& cell = row->lines[static_cast<std::size_t>(p.bit)];
        cell += (cell.empty() ? "" : "+") + std::string(LineName(line));
    }
    std::sort(rows.begin(), rows.end(),
              [](const PortRow& a, const PortRow& b) { return a.port < b.port; });
    return rows;
}

bool SharedPin(const LcdConfig& c, int* first, int* second) {
    for (int i = 0; i < kLineCount; ++i) {
        const LcdPin a = LinePin(c, i);
        if (a.port < 0) continue;
        for (int j = i + 1; j < kLineCount; ++j) {
            if (LinePin(c, j) == a) {
                *first = i;
                *second = j;
                return true;
            }
        }
    }
    return false;
}

}  // namespace lcdwire

#include "components/lcd/LcdProtocol.h"

#include <cstdio>

void LcdProtocol::reset() {
    findings_ = {};
    busy_ = false;
}

void LcdProtocol::busyFor(double us) {
    busy_ = true;
    busySince_ = now();
    busyUs_ = us;
}

bool LcdProtocol::early(bool busyRead) {
    if (!busy_) return false;
    if (busyRead) {
        // The program waits for the busy flag: on real hardware it would
        // read 1 until the instruction had finished.
        busy_ = false;
        return false;
    }
    if (!clock_) return false;
    const uint32_t elapsed = clock_->cycles() - busySince_;  // modulo 2^32
    const double needed = busyUs_ * clock_->cyclesPerMicrosecond();
    busy_ = false;
    return static_cast<double>(elapsed) < needed;
}

bool LcdProtocol::note(Kind kind) {
    Finding& f = findings_[static_cast<int>(kind)];
    if (f.count == UINT32_MAX) return false;
    if (f.count++ == 0) {
        f.firstCycle = now();
        return true;
    }
    return false;
}

bool LcdProtocol::warned() const {
    for (const Finding& f : findings_)
        if (f.count) return true;
    return false;
}

std::string LcdProtocol::summary() const {
    static const char* const kWhat[kKinds] = {"too early", "before initialisation"};
    std::string text;
    for (int k = 0; k < kKinds; ++k) {
        const Finding& f = findings_[k];
        if (!f.count) continue;
        char part[96];
        std::snprintf(part, sizeof part, "%s%u %s from cycle %u", text.empty() ? "" : "; ", f.count,
                      kWhat[k], f.firstCycle);
        text += part;
    }
    return text.empty() ? text : "Protocol: " + text;
}

std::string LcdProtocol::firstFindingText(Kind kind) const {
    char text[160];
    const Finding& f = finding(kind);
    if (kind == Kind::TooEarly) {
        std::snprintf(text, sizeof text,
                      "Transfer before the previous instruction finished, without a busy-flag "
                      "read (first at cycle %u).",
                      f.firstCycle);
    } else {
        std::snprintf(text, sizeof text,
                      "Transfer before the initialisation sequence (first at cycle %u).",
                      f.firstCycle);
    }
    return text;
}

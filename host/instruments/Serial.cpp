#include "host/instruments/Serial.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace quill::instruments {

std::string SerialBuffer::text(uint64_t from) const {
    if (from < begin_) from = begin_;
    std::string out;
    if (from >= end_) return out;
    out.reserve(static_cast<std::size_t>(end_ - from));
    for (uint64_t p = from; p < end_; ++p)
        out += static_cast<char>(ring_[static_cast<std::size_t>(p % ring_.size())]);
    return out;
}

std::optional<uint64_t> SerialBuffer::find(std::string_view needle, uint64_t from) const {
    if (from < begin_) from = begin_;
    if (needle.empty()) return from <= end_ ? std::optional<uint64_t>(from) : std::nullopt;
    if (end_ - from < needle.size() || from > end_) return std::nullopt;
    for (uint64_t p = from; p + needle.size() <= end_; ++p) {
        std::size_t k = 0;
        while (k < needle.size() &&
               ring_[static_cast<std::size_t>((p + k) % ring_.size())] ==
                   static_cast<uint8_t>(needle[k]))
            ++k;
        if (k == needle.size()) return p;
    }
    return std::nullopt;
}

std::string hexBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    char cell[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(cell, sizeof cell, i ? " %02X" : "%02X", static_cast<uint8_t>(bytes[i]));
        out += cell;
    }
    return out;
}

std::string printableText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    char cell[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<uint8_t>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        if (c == '\n' || c == '\t' || (c >= 0x20 && c <= 0x7E)) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(cell, sizeof cell, "\\x%02X", c);
            out += cell;
        }
    }
    return out;
}

double usartBaud(double clockHz, unsigned ubrr, bool doubleSpeed) {
    return clockHz / ((doubleSpeed ? 8.0 : 16.0) * (ubrr + 1.0));
}

uint32_t nearestStandardBaud(double baud) {
    static constexpr std::array<uint32_t, 17> kRates = {
        300,   600,   1200,  2400,  4800,   9600,   14400,  19200,  28800,
        38400, 57600, 76800, 115200, 230400, 250000, 500000, 1000000};
    uint32_t best = kRates[0];
    for (uint32_t rate : kRates)
        if (std::abs(baud / rate - 1.0) < std::abs(baud / best - 1.0)) best = rate;
    return best;
}

double baudErrorPercent(double baud, double reference) {
    return reference > 0 ? (baud / reference - 1.0) * 100.0 : 0.0;
}

}  // namespace quill::instruments

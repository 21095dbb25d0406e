// What a serial terminal needs without a window: the bytes a program
// transmitted, kept in a bounded ring with their positions in the whole
// stream; the escapes of typed text; the baud rate a USART's registers set
// and how far it is from the standard rates. Toolkit-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::instruments {

// The last `capacity` bytes of a stream. Positions count every byte ever
// appended (the first is 0), so a reader's mark stays valid when old bytes
// are dropped or the view is cleared. The storage is taken once: appending
// never allocates.
class SerialBuffer {
public:
    explicit SerialBuffer(std::size_t capacity = 1u << 20) : ring_(capacity ? capacity : 1) {}

    void append(uint8_t byte) {
        ring_[static_cast<std::size_t>(end_ % ring_.size())] = byte;
        ++end_;
        if (end_ - begin_ > ring_.size()) begin_ = end_ - ring_.size();
    }
    // Forgets the kept bytes; positions go on counting.
    void clear() { begin_ = end_; }
    uint64_t begin() const { return begin_; }  // first kept position
    uint64_t end() const { return end_; }      // one past the last byte
    // The kept bytes from position `from` (clamped to what is kept) on.
    std::string text(uint64_t from = 0) const;
    // The first position at or after `from` where `needle` starts, among the
    // kept bytes; nothing when it does not occur.
    std::optional<uint64_t> find(std::string_view needle, uint64_t from) const;

private:
    std::vector<uint8_t> ring_;
    uint64_t begin_ = 0, end_ = 0;
};

// Bytes as "48 65 6C 0A" (upper-case hex, one blank between).
std::string hexBytes(std::string_view bytes);

// Printable text of received bytes: carriage returns before a line feed
// are dropped, other control bytes and bytes above 0x7E appear as "\xHH"
// except line feeds and tabs.
std::string printableText(std::string_view bytes);

// The baud rate of an AVR USART: clock / (16 (UBRR + 1)), or / 8 with U2X.
double usartBaud(double clockHz, unsigned ubrr, bool doubleSpeed);
// The standard rate nearest to `baud` (300 ... 1000000).
uint32_t nearestStandardBaud(double baud);
// How far `baud` is from `reference`, in percent (positive: faster).
double baudErrorPercent(double baud, double reference);
// The largest mismatch a receiver tolerates without a warning.
inline constexpr double kBaudTolerancePercent = 2.0;

}  // namespace quill::instruments

// The instruments' connection to a simulated part, through simavr's own
// IRQs: a USART's transmitted bytes and its receiver (UsartLink), and the
// edges of chosen signals (SignalRecorder). Nothing here runs per
// instruction: the hooks are called by simavr only when a byte is sent or
// a recorded pin changes, and a recorder that is stopped has no hooks at
// all. Toolkit-free.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/instruments/Serial.h"
#include "host/instruments/Signals.h"
#include "host/instruments/Vcd.h"
#include "host/instruments/Waveform.h"
#include "platform/files.h"

struct avr_t;
struct avr_uart_t;
struct avr_irq_t;

namespace quill::sim {
class SimTarget;
}

namespace quill::instruments {

// The frame a USART's registers set.
struct UsartFormat {
    unsigned ubrr = 0;
    bool doubleSpeed = false;
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;
    uint64_t bitCycles() const { return (doubleSpeed ? 8u : 16u) * (ubrr + 1ull); }
    uint64_t frameCycles() const {
        return bitCycles() * static_cast<uint64_t>(1 + dataBits + (parity ? 1 : 0) + stopBits);
    }
};

// One USART of the part.
class UsartLink {
public:
    UsartLink(quill::sim::SimTarget& target, avr_uart_t* uart, int number);
    ~UsartLink();
    UsartLink(const UsartLink&) = delete;
    UsartLink& operator=(const UsartLink&) = delete;

    int number() const { return number_; }
    std::string name() const { return "USART" + std::to_string(number_); }
    // What the program transmitted.
    SerialBuffer& transmitted() { return transmitted_; }
    const SerialBuffer& transmitted() const { return transmitted_; }
    // Queues bytes for the program's receiver: one arrives per frame time
    // while the program runs. The receiver holds two unread bytes and one
    // more in its shift register; when a further byte comes before the
    // program read, one is lost and the overrun flag (DOR) is set, as on
    // the chip. A receiver that is off drops what arrives.
    void send(std::string_view bytes);
    std::size_t pendingInput() const { return input_.size(); }
    uint64_t bytesLost() const { return lost_; }
    // The frame and baud rate the program set.
    UsartFormat format() const;
    double baud() const;
    // The program has enabled the transmitter or the receiver since the
    // part's last reset (simavr itself enables the transmitter at reset,
    // which does not count).
    bool enabledByProgram() const { return enabledByProgram_; }

    // Listeners of the line's bytes, for the recorders' TX and RX channels:
    // called with the cycle the frame starts at and the byte.
    using ByteListener = void (*)(void* context, uint64_t cycle, uint8_t byte);
    struct Listener {
        ByteListener call;
        void* context;
        bool transmit;
    };
    void addListener(const Listener& listener) { listeners_.push_back(listener); }
    void removeListener(void* context) {
        std::erase_if(listeners_, [context](const Listener& l) { return l.context == context; });
    }

    // Called from simavr's hooks.
    void byteTransmitted(uint8_t byte);
    uint64_t deliverNext(uint64_t when);
    void udrRead();
    void formatWritten();
    void controlWritten();
    // A write to the shared address (either register).
    void sharedWritten(uint8_t value);
    uint8_t sharedRead();
    void partReset();
    // A wrapped handler ran: it may have changed any of the USART's
    // registers, which the target's set of changed registers is told.
    void touched();

    // What a wrapped register's handler does besides simavr's own.
    enum class Role { DataRead, Format, Control, SharedWrite, SharedRead };
    struct ResetHook;

private:
    void arm();
    // Puts a complete byte into simavr's receive buffer, flag raised.
    void receive(uint8_t byte);
    avr_t* avr_;
    quill::sim::SimTarget& target_;
    avr_uart_t* uart_;
    int number_;
    SerialBuffer transmitted_;
    std::deque<uint8_t> input_;
    std::optional<uint8_t> held_;  // complete in the shift register, buffer full
    bool armed_ = false;
    uint64_t armedAt_ = 0, dueAt_ = 0;
    uint64_t lost_ = 0;
    // Where UBRRH and UCSRC share one address (ATmega8/16/32) the chip has
    // two registers behind it: a write with URSEL (bit 7) set goes to
    // UCSRC, one without it to UBRRH. simavr keeps one byte there (and
    // stores what a read returned into it), so both are kept here, with
    // their reset values.
    bool shared_ = false;
    uint8_t ubrrHigh_ = 0;
    uint8_t control_ = kControlAtReset;
    static constexpr uint8_t kControlAtReset = 0x86;  // URSEL, 8 data bits
    // The cycle of the last read of the shared address: a read in the cycle
    // right after another returns UCSRC, as on the chip.
    uint64_t sharedReadAt_ = 0;
    bool sharedReadBefore_ = false;
    bool enabledByProgram_ = false;
    std::unique_ptr<ResetHook> resetHook_;
    std::vector<Listener> listeners_;
    void tell(bool transmit, uint64_t cycle, uint8_t byte) {
        for (const Listener& l : listeners_)
            if (l.transmit == transmit) l.call(l.context, cycle, byte);
    }
    // simavr's handlers of the registers this link wraps.
    struct Wrapped {
        uint16_t address;
        Role role;
        bool read;
        void* original;
        void* param;
    };
    std::vector<Wrapped> wrapped_;
    std::vector<std::unique_ptr<std::pair<UsartLink*, std::size_t>>> wrapParams_;

public:
    // For the wrappers: the original handler of wrapped register k.
    const Wrapped& wrappedAt(std::size_t k) const { return wrapped_[k]; }
};

// The USARTs of a part, found in simavr's peripheral list.
std::vector<std::unique_ptr<UsartLink>> connectUsarts(quill::sim::SimTarget& target);

// Records every edge of up to kMaxChannels signals, each in its own
// EdgeLog, and optionally streams them into a VCD file.
class SignalRecorder {
public:
    static constexpr std::size_t kMaxChannels = 16;

    SignalRecorder(quill::sim::SimTarget& target, std::vector<UsartLink*> usarts);
    ~SignalRecorder();
    SignalRecorder(const SignalRecorder&) = delete;
    SignalRecorder& operator=(const SignalRecorder&) = delete;

    // Starts recording these signals (the logs start empty, with each
    // signal's present level); false with *why for a signal the part does
    // not have. A recording in progress is stopped first.
    bool start(const std::vector<Signal>& wanted, std::string* why,
               std::size_t edgesPerChannel = 1u << 16);
    void stop();
    bool recording() const { return recording_; }
    const std::vector<Signal>& channelSignals() const { return signals_; }
    const EdgeLog& log(std::size_t channel) const { return *logs_[channel]; }
    std::size_t channels() const { return logs_.size(); }
    // The channel of a signal name, -1 when not recorded.
    int channelOf(std::string_view name) const;
    uint64_t startCycle() const { return startCycle_; }
    // The recording's clock: the part's cycle count, going on from where it
    // stood when the part is reset (its count falls to 0 there), so the
    // edges stay in order.
    uint64_t now() const;
    double clockHz() const;

    // ---- VCD
    // Writes the recording from now on into a new file that replaces
    // `path` when stopFile() ends it: only a waveform (a file starting with
    // a VCD header) or an empty file is replaced; a link, a FIFO, a folder
    // or any other file is refused at once. Until then the old file stays
    // whole, also when the host stops before the recording does.
    bool startFile(const std::string& path, std::string* why);
    // Writes the edges up to the present cycle; the file stays open.
    void flushFile();
    // Writes the rest and puts the file in place; the recording goes on.
    // Returns the edges written, and *why for an error of the file (the
    // old file then stays).
    uint64_t stopFile(std::string* why);
    bool writingFile() const { return file_.active(); }
    const std::string& filePath() const { return filePath_; }

    // Called from simavr's hooks.
    struct Hook;
    // A recorded pin may have changed its level.
    void pinChanged(std::size_t channel);
    void lineByte(std::size_t channel, uint64_t cycle, uint8_t byte, uint64_t bitCycles);

private:
    void unhook();
    void writeUpTo(uint64_t cycle);
    quill::sim::SimTarget& target_;
    std::vector<UsartLink*> usarts_;
    std::vector<Signal> signals_;
    std::vector<std::unique_ptr<EdgeLog>> logs_;
    std::vector<std::unique_ptr<Hook>> hooks_;
    std::vector<uint64_t> lineFree_;  // per channel: when a TX/RX frame ends
    std::vector<unsigned> pinRegisters_;  // per channel: the PINx I/O index of a pin
    bool recording_ = false;
    uint64_t startCycle_ = 0;
    mutable uint64_t offset_ = 0, last_ = 0;
    // The file: its text, and per channel the next edge (counted over all
    // edges ever added) still to be written.
    quill::files::FileReplacement file_;
    std::string filePath_;
    std::unique_ptr<VcdText> vcd_;
    std::vector<uint64_t> written_;
    std::string pending_;
    uint64_t edgesWritten_ = 0, edgesLost_ = 0;
    bool fileFailed_ = false;
};

}  // namespace quill::instruments

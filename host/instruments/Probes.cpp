#include "host/instruments/Probes.h"

#include <algorithm>
#include <cstring>

#include "host/sim/SimTarget.h"
#include "platform/files.h"

extern "C" {
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_cycle_timers.h>
#include <sim_interrupts.h>
#include <sim_io.h>
#include <sim_irq.h>
}

namespace quill::instruments {

namespace {

void onTransmit(avr_irq_t*, uint32_t value, void* param) {
    static_cast<UsartLink*>(param)->byteTransmitted(static_cast<uint8_t>(value));
}

avr_cycle_count_t onDeliver(avr_t*, avr_cycle_count_t when, void* param) {
    return static_cast<UsartLink*>(param)->deliverNext(when);
}

using WrapParam = std::pair<UsartLink*, std::size_t>;

uint8_t wrappedRead(avr_t* avr, avr_io_addr_t address, void* param) {
    auto* p = static_cast<WrapParam*>(param);
    UsartLink& link = *p->first;
    const auto& w = link.wrappedAt(p->second);
    uint8_t value = avr->data[address];
    if (w.original) value = reinterpret_cast<avr_io_read_t>(w.original)(avr, address, w.param);
    link.touched();
    if (w.role == UsartLink::Role::SharedRead) return link.sharedRead();
    link.udrRead();
    return value;
}

void wrappedWrite(avr_t* avr, avr_io_addr_t address, uint8_t value, void* param) {
    auto* p = static_cast<WrapParam*>(param);
    UsartLink& link = *p->first;
    const auto& w = link.wrappedAt(p->second);
    if (w.role == UsartLink::Role::SharedWrite) link.sharedWritten(value);
    if (w.original) {
        reinterpret_cast<avr_io_write_t>(w.original)(avr, address, value, w.param);
    } else {
        avr->data[address] = value;
    }
    if (w.role == UsartLink::Role::Control) link.controlWritten();
    link.formatWritten();
    link.touched();
}

// Unread bytes in simavr's receive queue.
unsigned unreadBytes(const avr_uart_t* uart) {
    return static_cast<unsigned>(uart->input.write - uart->input.read) & (uart_fifo_fifo_size - 1);
}

}  // namespace

std::vector<std::unique_ptr<UsartLink>> connectUsarts(quill::sim::SimTarget& target) {
    std::vector<std::unique_ptr<UsartLink>> links;
    for (avr_io_t* io = target.core()->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "uart") != 0) continue;
        auto* uart = reinterpret_cast<avr_uart_t*>(io);
        links.push_back(std::make_unique<UsartLink>(target, uart, uart->name - '0'));
    }
    std::sort(links.begin(), links.end(),
              [](const auto& a, const auto& b) { return a->number() < b->number(); });
    return links;
}

// An I/O module of simavr's whose only task is to hear the part's reset
// (the reset pin, a firmware load, the watchdog): it is linked into the
// module list right after the USART, so it runs after simavr's own reset of
// the USART's registers.
struct UsartLink::ResetHook {
    avr_io_t io;  // first, so that simavr's pointer to it points to the hook
    UsartLink* link;
};

namespace {

void onPartReset(avr_io_t* io) { reinterpret_cast<UsartLink::ResetHook*>(io)->link->partReset(); }

}  // namespace

UsartLink::UsartLink(quill::sim::SimTarget& target, avr_uart_t* uart, int number)
    : avr_(target.core()), target_(target), uart_(uart), number_(number) {
    // No sleeping while the program polls, no copy of the output on the
    // console: the host paces and shows the line.
    uint32_t flags = 0;
    avr_ioctl(avr_, AVR_IOCTL_UART_SET_FLAGS(uart_->name), &flags);
    avr_irq_register_notify(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ(uart_->name), UART_IRQ_OUTPUT),
                            &onTransmit, this);
    // simavr times a frame as 128 (UBRR + 1) cycles whatever U2X and the
    // frame format say; the registers that set them are followed here and
    // the frame time corrected after each write.
    auto wrap = [&](uint16_t address, Role role) {
        if (address < 0x20) return;
        const bool read = role == Role::DataRead || role == Role::SharedRead;
        auto& entry = avr_->io[AVR_DATA_TO_IO(address)];
        Wrapped w{address, role, read,
                  read ? reinterpret_cast<void*>(entry.r.c) : reinterpret_cast<void*>(entry.w.c),
                  read ? entry.r.param : entry.w.param};
        wrapped_.push_back(w);
        wrapParams_.push_back(std::make_unique<WrapParam>(this, wrapped_.size() - 1));
        if (read) {
            entry.r.c = &wrappedRead;
            entry.r.param = wrapParams_.back().get();
        } else {
            entry.w.c = &wrappedWrite;
            entry.w.param = wrapParams_.back().get();
        }
    };
    shared_ = uart_->ubrrh.reg && uart_->ubrrh.reg == uart_->r_ucsrc;
    wrap(uart_->r_udr, Role::DataRead);
    wrap(uart_->ubrrl.reg, Role::Format);
    if (!shared_) wrap(uart_->ubrrh.reg, Role::Format);
    wrap(uart_->r_ucsra, Role::Format);
    wrap(uart_->r_ucsrb, Role::Control);
    wrap(uart_->r_ucsrc, shared_ ? Role::SharedWrite : Role::Format);
    if (shared_) wrap(uart_->r_ucsrc, Role::SharedRead);
    resetHook_ = std::make_unique<ResetHook>();
    resetHook_->io.kind = "quill-usart-reset";
    resetHook_->io.avr = avr_;
    resetHook_->io.reset = &onPartReset;
    resetHook_->link = this;
    resetHook_->io.next = uart_->io.next;
    uart_->io.next = &resetHook_->io;
    // A link made on a running part cannot know what the program wrote to
    // UBRRH before: the part's reset value, as after a reset.
    formatWritten();
}

UsartLink::~UsartLink() {
    avr_irq_unregister_notify(
        avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ(uart_->name), UART_IRQ_OUTPUT), &onTransmit,
        this);
    avr_cycle_timer_cancel(avr_, &onDeliver, this);
    for (avr_io_t** link = &avr_->io_port; *link; link = &(*link)->next) {
        if (*link == &resetHook_->io) {
            *link = resetHook_->io.next;
            break;
        }
    }
    for (auto it = wrapped_.rbegin(); it != wrapped_.rend(); ++it) {
        auto& entry = avr_->io[AVR_DATA_TO_IO(it->address)];
        if (it->read) {
            entry.r.c = reinterpret_cast<avr_io_read_t>(it->original);
            entry.r.param = it->param;
        } else {
            entry.w.c = reinterpret_cast<avr_io_write_t>(it->original);
            entry.w.param = it->param;
        }
    }
}

UsartFormat UsartLink::format() const {
    const uint8_t* data = avr_->data;
    UsartFormat f;
    uint8_t high = 0;
    if (shared_) {
        high = ubrrHigh_;
    } else if (uart_->ubrrh.reg) {
        high = data[uart_->ubrrh.reg];
    }
    uint8_t control = kControlAtReset;
    if (shared_) {
        control = control_;
    } else if (uart_->r_ucsrc) {
        control = data[uart_->r_ucsrc];
    }
    f.ubrr = static_cast<unsigned>(((high & 0x0F) << 8) | data[uart_->ubrrl.reg]);
    f.doubleSpeed = avr_regbit_get(avr_, uart_->u2x) != 0;
    const int size = ((control >> 1) & 3) | (avr_regbit_get(avr_, uart_->ucsz2) ? 4 : 0);
    f.dataBits = size >= 4 ? 9 : 5 + size;
    f.parity = (control & 0x20) != 0;
    f.stopBits = (control & 0x08) ? 2 : 1;
    return f;
}

void UsartLink::sharedWritten(uint8_t value) {
    if (value & 0x80) {
        control_ = value;
    } else {
        ubrrHigh_ = value & 0x0F;  // its reserved bits 6..4 read as 0
    }
}

uint8_t UsartLink::sharedRead() {
    // A read returns UBRRH; one in the cycle right after a read of the same
    // address returns UCSRC (URSEL reads as 1).
    const uint64_t now = avr_->cycle;
    const bool control = sharedReadBefore_ && now == sharedReadAt_ + 1;
    sharedReadBefore_ = true;
    sharedReadAt_ = now;
    return control ? control_ : ubrrHigh_;
}

void UsartLink::controlWritten() {
    if (avr_regbit_get(avr_, uart_->txen) || avr_regbit_get(avr_, uart_->rxen))
        enabledByProgram_ = true;
}

void UsartLink::partReset() {
    ubrrHigh_ = 0;
    control_ = kControlAtReset;
    sharedReadBefore_ = false;
    enabledByProgram_ = false;
    formatWritten();
}

double UsartLink::baud() const {
    const UsartFormat f = format();
    return usartBaud(target_.frequency(), f.ubrr, f.doubleSpeed);
}

void UsartLink::formatWritten() { uart_->cycles_per_byte = format().frameCycles(); }

void UsartLink::byteTransmitted(uint8_t byte) {
    transmitted_.append(byte);
    tell(true, avr_->cycle, byte);
}

void UsartLink::receive(uint8_t byte) {
    uart_->cycles_per_byte = format().frameCycles();
    avr_raise_irq(avr_io_getirq(avr_, AVR_IOCTL_UART_GETIRQ(uart_->name), UART_IRQ_INPUT), byte);
    avr_raise_interrupt(avr_, &uart_->rxc);
}

void UsartLink::touched() { target_.markAllChanged(); }

void UsartLink::udrRead() {
    // The overrun flag holds until the program reads the data register.
    avr_regbit_clear(avr_, uart_->dor);
    // The byte in the shift register moves into the freed place.
    if (held_ && unreadBytes(uart_) < 2) {
        receive(*held_);
        held_.reset();
    }
    // A byte still buffered is there to read at once (simavr would raise
    // the flag only a frame later).
    if (unreadBytes(uart_) > 0) avr_raise_interrupt(avr_, &uart_->rxc);
}

void UsartLink::send(std::string_view bytes) {
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    arm();
}

void UsartLink::arm() {
    const uint64_t now = avr_->cycle;
    // A reset of the part drops simavr's timers (and the cycle count falls):
    // a delivery that should have happened by now is armed again.
    const bool lost = armed_ && (now < armedAt_ || now > dueAt_ + format().frameCycles());
    if (armed_ && !lost) return;
    avr_cycle_timer_cancel(avr_, &onDeliver, this);
    // The first byte's start bit begins now; it is received a frame later,
    // when its stop bit ends.
    const uint64_t frame = format().frameCycles();
    avr_cycle_timer_register(avr_, frame, &onDeliver, this);
    armed_ = true;
    armedAt_ = now;
    dueAt_ = now + frame;
}

uint64_t UsartLink::deliverNext(uint64_t when) {
    if (input_.empty()) {
        armed_ = false;
        return 0;
    }
    const uint8_t byte = input_.front();
    input_.pop_front();
    const uint64_t frame = format().frameCycles();
    tell(false, when - frame, byte);
    if (avr_regbit_get(avr_, uart_->rxen)) {
        if (held_) {
            // A byte waited in the shift register with the buffer full when
            // this one's start bit came: it is overwritten.
            held_.reset();
            ++lost_;
            avr_regbit_set(avr_, uart_->dor);
        }
        if (unreadBytes(uart_) >= 2) {
            held_ = byte;  // the receive buffer holds two bytes already
        } else {
            receive(byte);
        }
    }
    if (input_.empty()) {
        armed_ = false;
        return 0;
    }
    armedAt_ = when;
    dueAt_ = when + frame;
    return dueAt_;
}

// ---------------------------------------------------------------- recorder

struct SignalRecorder::Hook {
    SignalRecorder* recorder;
    std::size_t channel;
    avr_irq_t* irq;  // a pin's IRQ, or null for a USART line
    UsartLink* usart;
    char port;
    uint8_t mask;
};

namespace {

void onPin(avr_irq_t*, uint32_t, void* param) {
    auto* hook = static_cast<SignalRecorder::Hook*>(param);
    hook->recorder->pinChanged(hook->channel);
}

void onPinLevel(void* context, char port, uint8_t mask, bool) {
    auto* hook = static_cast<SignalRecorder::Hook*>(context);
    if (hook->port == port && hook->mask == mask) hook->recorder->pinChanged(hook->channel);
}

void onLineByte(void* context, uint64_t cycle, uint8_t byte) {
    auto* hook = static_cast<SignalRecorder::Hook*>(context);
    hook->recorder->lineByte(hook->channel, cycle, byte, hook->usart->format().bitCycles());
}

}  // namespace

SignalRecorder::SignalRecorder(quill::sim::SimTarget& target, std::vector<UsartLink*> usarts)
    : target_(target), usarts_(std::move(usarts)) {}

SignalRecorder::~SignalRecorder() {
    std::string ignored;
    if (file_.active()) stopFile(&ignored);
    unhook();
}

uint64_t SignalRecorder::now() const {
    const uint64_t cycles = target_.cycles();
    if (cycles + offset_ < last_) offset_ = last_ - cycles;
    last_ = cycles + offset_;
    return last_;
}

double SignalRecorder::clockHz() const { return target_.frequency(); }

int SignalRecorder::channelOf(std::string_view name) const {
    std::string wanted;
    for (char c : name) wanted += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        const Signal& s = signals_[i];
        if (s.name == wanted) return static_cast<int>(i);
        // TX and TX0 name the same line.
        if (s.kind != Signal::Kind::Pin && s.usart == 0 &&
            (s.name + "0" == wanted || s.name == wanted + "0"))
            return static_cast<int>(i);
    }
    return -1;
}

bool SignalRecorder::start(const std::vector<Signal>& wanted, std::string* why,
                           std::size_t edgesPerChannel) {
    stop();
    if (wanted.size() > kMaxChannels) {
        *why = "at most " + std::to_string(kMaxChannels) + " wanted can be recorded";
        return false;
    }
    avr_t* avr = target_.core();
    std::vector<std::unique_ptr<Hook>> hooks;
    std::vector<uint8_t> initial;
    std::vector<unsigned> pinRegisters;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const Signal& s = wanted[i];
        auto hook = std::make_unique<Hook>(Hook{this, i, nullptr, nullptr, s.port,
                                                static_cast<uint8_t>(1u << s.bit)});
        if (s.kind == Signal::Kind::Pin) {
            const quill::sim::PartInfo::Port* port = target_.part().port(s.port);
            if (!port) {
                *why = "the " + target_.partName() + " has no port " + std::string(1, s.port) +
                       " (signal " + s.name + ")";
                return false;
            }
            hook->irq = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(s.port), s.bit);
            pinRegisters.push_back(port->pin - kRegisterBankBase);
            initial.push_back((target_.io(pinRegisters.back()) >> s.bit) & 1);
        } else {
            pinRegisters.push_back(0);
            for (UsartLink* link : usarts_)
                if (link->number() == s.usart) hook->usart = link;
            if (!hook->usart) {
                *why = "the " + target_.partName() + " has no USART" + std::to_string(s.usart) +
                       " (signal " + s.name + ")";
                return false;
            }
            initial.push_back(1);  // an idle line is high
        }
        hooks.push_back(std::move(hook));
    }
    signals_ = wanted;
    hooks_ = std::move(hooks);
    pinRegisters_ = std::move(pinRegisters);
    logs_.clear();
    lineFree_.assign(wanted.size(), 0);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        logs_.push_back(std::make_unique<EdgeLog>(edgesPerChannel));
        logs_.back()->setInitialLevel(initial[i]);
        Hook& hook = *hooks_[i];
        if (hook.irq) {
            avr_irq_register_notify(hook.irq, &onPin, &hook);
            target_.addPinListener({&onPinLevel, &hook});
        } else {
            hook.usart->addListener({&onLineByte, &hook, wanted[i].kind == Signal::Kind::Tx});
        }
    }
    startCycle_ = now();
    recording_ = true;
    return true;
}

void SignalRecorder::unhook() {
    for (auto& hook : hooks_) {
        if (hook->irq) {
            avr_irq_unregister_notify(hook->irq, &onPin, hook.get());
            target_.removePinListener(hook.get());
        } else {
            hook->usart->removeListener(hook.get());
        }
    }
    hooks_.clear();
}

void SignalRecorder::stop() {
    if (file_.active()) {
        std::string ignored;
        stopFile(&ignored);
    }
    unhook();
    recording_ = false;
}

void SignalRecorder::pinChanged(std::size_t channel) {
    // The level the pin has now, as the program reads it: simavr's pin IRQ
    // carries the PORTx bit, which is not the level of an input pin a
    // component drives, nor of a pin a timer's output owns. Levels that
    // did not change add no edge.
    const Signal& s = signals_[channel];
    logs_[channel]->add(now(), static_cast<uint8_t>((target_.io(pinRegisters_[channel]) >> s.bit) & 1));
}

void SignalRecorder::lineByte(std::size_t channel, uint64_t cycle, uint8_t byte,
                              uint64_t bitCycles) {
    // Start bit, eight data bits (least significant first), stop bit.
    EdgeLog& log = *logs_[channel];
    const uint64_t at = now();
    const uint64_t start = std::max(cycle + (at - target_.cycles()), lineFree_[channel]);
    log.add(start, 0);
    for (int bit = 0; bit < 8; ++bit)
        log.add(start + (1u + bit) * bitCycles, static_cast<uint8_t>((byte >> bit) & 1));
    log.add(start + 9 * bitCycles, 1);
    lineFree_[channel] = start + 10 * bitCycles;
}

// ---------------------------------------------------------------- VCD file

bool SignalRecorder::startFile(const std::string& path, std::string* why) {
    if (!recording_) {
        *why = "nothing is being recorded";
        return false;
    }
    if (file_.active()) stopFile(why);
    std::string reason;
    if (!file_.begin(path, VcdText::kFileKind, &reason)) {
        *why = reason;
        return false;
    }
    filePath_ = path;
    fileFailed_ = false;
    edgesWritten_ = edgesLost_ = 0;
    const uint64_t from = now();
    std::vector<std::string> names;
    std::vector<uint8_t> initial;
    written_.clear();
    for (std::size_t i = 0; i < logs_.size(); ++i) {
        names.push_back(signals_[i].wireName());
        initial.push_back(logs_[i]->levelAt(from));
        written_.push_back(logs_[i]->total() - logs_[i]->size() + logs_[i]->firstAfter(from));
    }
    vcd_ = std::make_unique<VcdText>(names, initial, target_.frequency(), from);
    pending_ = vcd_->header();
    flushFile();
    return true;
}

void SignalRecorder::writeUpTo(uint64_t cycle) {
    for (;;) {
        std::size_t best = logs_.size();
        uint64_t bestCycle = 0;
        for (std::size_t i = 0; i < logs_.size(); ++i) {
            const EdgeLog& log = *logs_[i];
            const uint64_t base = log.total() - log.size();
            if (written_[i] < base) {
                edgesLost_ += base - written_[i];
                written_[i] = base;
            }
            if (written_[i] >= log.total()) continue;
            const Edge& e = log[static_cast<std::size_t>(written_[i] - base)];
            if (e.cycle > cycle) continue;
            if (best == logs_.size() || e.cycle < bestCycle) {
                best = i;
                bestCycle = e.cycle;
            }
        }
        if (best == logs_.size()) return;
        const EdgeLog& log = *logs_[best];
        const Edge& e = log[static_cast<std::size_t>(written_[best] - (log.total() - log.size()))];
        vcd_->change(best, e.cycle, e.level, &pending_);
        ++written_[best];
        ++edgesWritten_;
    }
}

void SignalRecorder::flushFile() {
    if (!file_.active()) return;
    writeUpTo(now());
    if (!pending_.empty() &&
        std::fwrite(pending_.data(), 1, pending_.size(), file_.stream()) != pending_.size())
        fileFailed_ = true;
    pending_.clear();
}

uint64_t SignalRecorder::stopFile(std::string* why) {
    if (!file_.active()) return 0;
    flushFile();
    // The end of the recording, so that a viewer shows the last stretch.
    const std::string end = "#" + std::to_string(vcd_->timeOf(now())) + "\n";
    if (std::fwrite(end.data(), 1, end.size(), file_.stream()) != end.size()) fileFailed_ = true;
    std::string failure;
    if (fileFailed_) {
        file_.abandon();
        *why = "writing " + filePath_ + " failed (the old file is left as it was)";
    } else if (!file_.commit(&failure)) {
        fileFailed_ = true;
        *why = failure;
    }
    if (edgesLost_)
        *why = std::to_string(edgesLost_) + " edges were recorded faster than written and are "
               "missing from " + filePath_;
    return edgesWritten_;
}

}  // namespace quill::instruments

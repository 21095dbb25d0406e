// SimTarget's hooks into the core: the port pins as hardware shows them,
// the timers' compare outputs on their pins, the phase-correct generators
// and the converter's registers.
#include <bit>
#include <algorithm>
#include <cstring>

#include "host/sim/OcrTopTimer.h"
#include "host/sim/PhaseCorrectPwm.h"
#include "contract/TargetChanges.h"
#include "host/sim/SimTargetState.h"

extern "C" {
#include <avr_adc.h>
#include <avr_timer.h>
#include <sim_interrupts.h>
#include <sim_io.h>
}

namespace quill::sim {

namespace {

constexpr uint32_t kIoBase = kRegisterBankBase;

// ADCL/ADCH as stored, so that what the plug-in wrote is what the program
// reads (simavr would compute its own conversion on the ADCL read).
uint8_t readAdcAsStored(avr_t* avr, avr_io_addr_t address, void*) { return avr->data[address]; }

// ADEN, ADSC and ADIF lie at these places of ADCSRA on every AVR converter.
constexpr uint8_t kAden = 0x80;
constexpr uint8_t kAdsc = 0x40;
constexpr uint8_t kAdif = 0x10;

void writeAdcsra(avr_t* avr, avr_io_addr_t address, uint8_t value, void* param) {
    auto* hook = static_cast<SimTarget::ConverterFlagHook*>(param);
    const uint8_t flagBefore = avr->data[address] & kAdif;
    if (hook->originalWrite) {
        hook->originalWrite(avr, address, value, hook->originalParam);
    } else {
        avr->data[address] = value;
    }
    const uint8_t now = avr->data[address];
    const uint8_t enabled = static_cast<uint8_t>(kAden | hook->freeRunningMask);
    if (!hook->freeRunningMask || (now & enabled) != enabled) {
        hook->freeRunning = false;
    } else if (value & kAdsc) {
        hook->freeRunning = true;
    }
    if (value & kAdif) {
        // The converter's write handler takes avr_adc_t as its parameter.
        if (hook->originalWrite && hook->originalParam) {
            avr_clear_interrupt(avr, &static_cast<avr_adc_t*>(hook->originalParam)->adc);
        }
        avr->data[address] &= static_cast<uint8_t>(~kAdif);
    } else {
        avr->data[address] = static_cast<uint8_t>((avr->data[address] & ~kAdif) | flagBefore);
    }
}

void onTimerControlWrite(avr_t* avr, avr_io_addr_t address, uint8_t value, void* param) {
    auto* hook = static_cast<SimTarget::ControlHook*>(param);
    if (hook->originalWrite) {
        hook->originalWrite(avr, address, value, hook->originalParam);
    } else {
        avr->data[address] = value;
    }
    hook->owner->timerControlWritten();
}

void compareOutputRaised(avr_irq_t*, uint32_t value, void* param) {
    auto* hook = static_cast<SimTarget::CompareHook*>(param);
    hook->owner->timerDrives(*hook->port, hook->mask, (value & 1) != 0);
}

// simavr 1.6 describes Timer0 of the ATmega16 and ATmega32 without its
// waveform generation bits (WGM00 is bit 6, WGM01 bit 3 of TCCR0), so the
// timer stays in normal mode whatever the program chooses. The table is
// completed with CTC (mode 2) and fast PWM (mode 3); mode 1, phase-correct
// PWM, stays unknown to simavr (its timer stops) and PhaseCorrectPwm runs it.
void completeTimerTables(avr_t* avr, const std::string& core) {
    if (core != "atmega16" && core != "atmega32") return;
    constexpr avr_io_addr_t kTccr0 = 0x53;
    for (avr_io_t* io = avr->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "timer") != 0) continue;
        auto* timer = reinterpret_cast<avr_timer_t*>(io);
        if (timer->name != '0' || timer->wgm[0].reg != 0) continue;
        timer->wgm[0] = avr_regbit_t{kTccr0, 6, 1};
        timer->wgm[1] = avr_regbit_t{kTccr0, 3, 1};
        timer->wgm_op[2] = avr_timer_wgm_t{avr_timer_wgm_reg_ocra, 0, 0, avr_timer_wgm_ctc};
        timer->wgm_op[3] = avr_timer_wgm_t{0, 0, 8, avr_timer_wgm_fast_pwm};
    }
}

uint8_t readPin(avr_t*, avr_io_addr_t, void* param) {
    auto* port = static_cast<SimTarget::PortState*>(param);
    return port->owner->programReadsPin(*port);
}

void bankWrite(avr_t* avr, avr_io_addr_t address, uint8_t value, void* param) {
    auto* hook = static_cast<SimTarget::BankHook*>(param);
    if (hook->original) {
        reinterpret_cast<avr_io_write_t>(hook->original)(avr, address, value, hook->originalParam);
    } else {
        avr->data[address] = value;
    }
    hook->owner->programWrote(*hook);
}

uint8_t bankRead(avr_t* avr, avr_io_addr_t address, void* param) {
    auto* hook = static_cast<SimTarget::BankHook*>(param);
    const uint8_t value =
        reinterpret_cast<avr_io_read_t>(hook->original)(avr, address, hook->originalParam);
    hook->owner->programWrote(*hook);
    return value;
}

}  // namespace

void SimTarget::setUpHooks() {
    for (const PartInfo::Port& info : part_.ports) {
        auto state = std::make_unique<PortState>();
        state->owner = this;
        state->info = &info;
        const int io = AVR_DATA_TO_IO(info.pin);
        state->originalRead = avr_->io[io].r.c;
        state->originalParam = avr_->io[io].r.param;
        ports_.push_back(std::move(state));
    }
    if (part_.adcsra) {
        const int io = AVR_DATA_TO_IO(part_.adcsra);
        adcsraHook_ = std::make_unique<ConverterFlagHook>();
        adcsraHook_->originalWrite = avr_->io[io].w.c;
        adcsraHook_->originalParam = avr_->io[io].w.param;
        adcsraHook_->freeRunningMask =
            part_.freeRunning.address == part_.adcsra ? part_.freeRunning.mask : 0;
    }
    completeTimerTables(avr_, part_.core);
    if (auto generator = OcrTopTimer::forPart(avr_, part_)) timerGenerators_.push_back(std::move(generator));
    connectCompareOutputs();
    for (avr_io_t* io = avr_->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "timer") != 0) continue;
        auto generator = PhaseCorrectPwm::forTimer(avr_, reinterpret_cast<avr_timer_t*>(io));
        if (generator) timerGenerators_.push_back(std::move(generator));
    }
    for (auto& generator : timerGenerators_)
        for (uint16_t control : generator->controlRegisters()) hookTimerControl(control);
}

void SimTarget::connectCompareOutputs() {
    for (avr_io_t* io = avr_->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "timer") != 0) continue;
        auto* timer = reinterpret_cast<avr_timer_t*>(io);
        for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) {
            const avr_timer_comp_t& comp = timer->comp[c];
            if (!comp.com_pin.reg || !comp.com.reg) continue;
            connectOutput({&timer->io.irq[TIMER_IRQ_OUT_COMP + c],
                           static_cast<uint16_t>(comp.com_pin.reg),
                           static_cast<uint8_t>(comp.com_pin.bit), comp.com});
        }
    }
    for (auto& generator : timerGenerators_)
        for (const TimerOutput& output : generator->extraOutputs()) connectOutput(output);
}

void SimTarget::connectOutput(const TimerOutput& output) {
    auto port = std::find_if(ports_.begin(), ports_.end(),
                             [&](const auto& p) { return p->info->port == output.port; });
    if (port == ports_.end() || (*port)->outputCount == (*port)->outputs.size()) return;
    const auto mask = static_cast<uint8_t>(1u << output.bit);
    (*port)->outputs[(*port)->outputCount++] = {output.com, mask, output.comValue, output.mode};
    compareHooks_.push_back(std::make_unique<CompareHook>(CompareHook{this, port->get(), mask}));
    // The registers with the COM and mode bits: connecting or
    // disconnecting the output changes the pin without an edge of the timer.
    hookTimerControl(output.com.reg);
    if (output.mode.reg) hookTimerControl(output.mode.reg);
    avr_irq_register_notify(output.irq, &compareOutputRaised, compareHooks_.back().get());
}

void SimTarget::hookTimerControl(uint16_t control) {
    if (std::any_of(controlHooks_.begin(), controlHooks_.end(),
                    [&](const auto& h) { return h.first == control; }))
        return;
    auto& entry = avr_->io[AVR_DATA_TO_IO(control)];
    auto hook = std::make_unique<ControlHook>(ControlHook{this, entry.w.c, entry.w.param});
    entry.w.c = &onTimerControlWrite;
    entry.w.param = hook.get();
    controlHooks_.emplace_back(control, std::move(hook));
    controlFirst_ = std::min<uint32_t>(controlFirst_, control);
    controlEnd_ = std::max<uint32_t>(controlEnd_, control + 1u);
}

void SimTarget::timerDrives(PortState& port, uint8_t mask, bool level) {
    const uint8_t before = pinView(port);
    port.timerLevel = static_cast<uint8_t>(level ? port.timerLevel | mask : port.timerLevel & ~mask);
    if (pinView(port) == before) return;
    pinsChanged(port, mask, level ? mask : 0);
}

void SimTarget::pinsChanged(PortState& port, uint8_t changed, uint8_t levels) {
    // The filter of refreshes watches this count for pin registers.
    ++externalChanges_;
    if (port.info->pin >= kIoBase && port.info->pin - kIoBase < bankSize())
        markChanged(port.info->pin - kIoBase);
    syncPinStorage(port);
    for (uint8_t mask = 1; mask; mask = static_cast<uint8_t>(mask << 1)) {
        if (!(changed & mask)) continue;
        for (const PinListener& listener : pinListeners_)
            listener.call(listener.context, port.info->letter, mask, (levels & mask) != 0);
    }
}

void SimTarget::timerControlWritten() {
    for (auto& generator : timerGenerators_) generator->controlWritten();
    for (auto& port : ports_) {
        if (!port->outputCount) continue;
        const uint8_t owned = port->timerOwned(avr_);
        const uint8_t switched = static_cast<uint8_t>(owned ^ port->lastOwned);
        if (!switched) continue;
        // The switched pins' level before and after: the timer's or PORTx's.
        const uint8_t out = avr_->data[port->info->port];
        const uint8_t before =
            static_cast<uint8_t>((out & ~port->lastOwned) | (port->timerLevel & port->lastOwned));
        const uint8_t after = static_cast<uint8_t>((out & ~owned) | (port->timerLevel & owned));
        port->lastOwned = owned;
        const uint8_t changed = static_cast<uint8_t>((before ^ after) & switched &
                                                     avr_->data[port->info->ddr]);
        if (changed) pinsChanged(*port, changed, after);
    }
}

void SimTarget::hostWroteControls(uint32_t start, uint32_t end) {
    // Most host writes (a component's pins, the converter's result) lie
    // outside the span of the control registers.
    if (end <= controlFirst_ || start >= controlEnd_) return;
    const bool control = std::any_of(controlHooks_.begin(), controlHooks_.end(), [&](const auto& h) {
        return h.first >= start && h.first < end;
    });
    // The pins change as the COM bits say, without an edge of the timer:
    // as when the host writes any other register, no listener is told.
    if (control)
        for (auto& port : ports_) port->lastOwned = port->timerOwned(avr_);
}

void SimTarget::removePinListener(void* context) {
    std::erase_if(pinListeners_, [context](const PinListener& l) { return l.context == context; });
}

void SimTarget::installHooks() {
    special_.fill(0);
    special_[R_SREG] = kSpecialSreg;
    for (size_t k = 0; k < ports_.size(); ++k) {
        auto& port = ports_[k];
        special_[port->info->pin] = static_cast<uint8_t>(k + 1);
        auto& entry = avr_->io[AVR_DATA_TO_IO(port->info->pin)];
        entry.r.c = &readPin;
        entry.r.param = port.get();
        syncPinStorage(*port);
    }
    specialCount_ = 0;
    for (uint32_t a = 0; a < kSpecialEnd; ++a)
        if (special_[a]) specialList_[specialCount_++] = static_cast<uint16_t>(a);
    if (adcsraHook_) {
        auto& entry = avr_->io[AVR_DATA_TO_IO(part_.adcsra)];
        entry.w.c = &writeAdcsra;
        entry.w.param = adcsraHook_.get();
    }
    if (part_.adcl) {
        for (uint16_t address : {part_.adcl, part_.adch}) {
            auto& entry = avr_->io[AVR_DATA_TO_IO(address)];
            entry.r.c = &readAdcAsStored;
            entry.r.param = nullptr;
        }
    }
    hookBank();
}

void SimTarget::programWrote(const BankHook& hook) {
    switch (hook.marks) {
        case BankHook::Marks::Self:
            markChanged(hook.index);
            break;
        case BankHook::Marks::Port:
            markChanged(hook.portMarks, hook.portFirstWord, hook.portLastWord);
            break;
        case BankHook::Marks::All:
            markAllChanged();
            break;
    }
}

void SimTarget::sweepFollowers() {
    if (changeEvents_ == followersSweptAt_) return;
    followersSweptAt_ = changeEvents_;
    for (Follower& f : followers_) {
        const uint8_t value = *f.storage;
        if (value == f.value) continue;
        f.value = value;
        changed_[f.index >> 6] |= uint64_t{1} << (f.index & 63);
    }
}

void SimTarget::takeChanges(uint64_t* out, std::size_t words) {
    sweepFollowers();
    for (std::size_t w = 0; w < words; ++w) out[w] = w < kChangeWords ? changed_[w] : 0;
    changed_.fill(0);
}

void SimTarget::takeChangedValues(uint64_t* out, std::size_t words, uint8_t* image,
                                  std::size_t count) {
    sweepFollowers();
    const std::size_t n = std::min<std::size_t>(count, bankSize());
    const std::size_t used = std::min<std::size_t>({words, (n + 63) / 64, kChangeWords});
    if (words > 0) std::memset(out, 0, words * sizeof *out);
    // Register by register: a refresh finds few changed, and only those go
    // into the image (the others keep what the caller holds).
    auto take = [&](std::size_t w, uint64_t wanted) {
        const std::size_t first = w * 64;
        for (uint64_t rest = wanted; rest != 0; rest &= rest - 1) {
            const std::size_t index = first + static_cast<std::size_t>(std::countr_zero(rest));
            const std::size_t address = kIoBase + index;
            // readByte, without its bound: every bank address has a mark.
            image[index] = special_[address] ? specialValue(static_cast<uint32_t>(address))
                                             : avr_->data[address];
        }
    };
    // The part of word w below `count`: the rest stays in the set.
    auto below = [&](std::size_t w) {
        const std::size_t first = w * 64;
        return n < first + 64 ? (uint64_t{1} << (n - first)) - 1 : ~uint64_t{0};
    };
    if (used == 0) return;
    // The I/O space, with SPL, SPH and SREG read always.
    constexpr uint64_t kAlways = ((uint64_t{1} << kAlwaysReadCount) - 1) << kAlwaysReadFirst;
    const uint64_t inFirst = below(0);
    const uint64_t taken = changed_[0] & inFirst;
    out[0] = taken;
    changed_[0] &= ~taken;
    take(0, taken | (kAlways & inFirst));
    // Past it most words hold no change: one test each.
    for (std::size_t w = 1; w < used; ++w) {
        if (changed_[w] == 0) continue;
        const uint64_t word = changed_[w] & below(w);
        out[w] = word;
        changed_[w] &= ~word;
        take(w, word);
    }
}

bool SimTarget::changesUnmarked(unsigned index) const {
    // Those hookBank leaves without a hook.
    return (index >= kAlwaysReadFirst && index < kAlwaysReadFirst + kAlwaysReadCount) ||
           index >= MAX_IOs;
}

void SimTarget::hookBank() {
    if (bankHooks_.empty()) {
        const unsigned bank = bankSize();
        for (unsigned w = 0; w < kChangeWords; ++w) {
            const unsigned first = w * 64;
            bankBits_[w] = bank <= first        ? 0
                           : bank >= first + 64 ? ~uint64_t{0}
                                                : (uint64_t{1} << (bank - first)) - 1;
        }
        changed_ = bankBits_;
        auto inBank = [&](uint32_t address) {
            return address >= kIoBase && address - kIoBase < bank;
        };
        // What a port write may change besides the port: interrupt flags
        // (a pin change raises one) and timer counts (an external clock).
        followers_.clear();
        auto follow = [&](uint32_t address) {
            if (!inBank(address)) return;
            const auto i = static_cast<uint16_t>(address - kIoBase);
            for (const Follower& f : followers_)
                if (f.index == i) return;
            // A computed register (a pin's level) changes only with what a
            // marking covers.
            if (special_[address]) return;
            followers_.push_back({avr_->data + address, i, avr_->data[address]});
        };
        for (unsigned k = 0; k < avr_->interrupts.vector_count; ++k)
            if (const avr_int_vector_t* v = avr_->interrupts.vector[k]) follow(v->raised.reg);
        for (avr_io_t* io = avr_->io_port; io; io = io->next) {
            if (std::strcmp(io->kind, "timer") != 0) continue;
            const auto* timer = reinterpret_cast<const avr_timer_t*>(io);
            follow(timer->r_tcnt);
            follow(timer->r_tcnth);
        }
        // simavr's table of handlers ends before the largest bank does (at
        // 0x137, past the ATmega2560's last register): the reserved
        // addresses after it are storage that no hook sees.
        for (unsigned i = 0; i < std::min<unsigned>(bank, MAX_IOs); ++i) {
            const uint32_t address = kIoBase + i;
            // Always read by the plug-in; they change with most instructions.
            if (i >= kAlwaysReadFirst && i < kAlwaysReadFirst + kAlwaysReadCount) continue;
            auto& entry = avr_->io[i];
            auto hook = std::make_unique<BankHook>();
            hook->owner = this;
            hook->read = false;
            hook->index = static_cast<uint16_t>(i);
            hook->original = reinterpret_cast<void*>(entry.w.c);
            hook->originalParam = entry.w.param;
            hook->marks = entry.w.c ? BankHook::Marks::All : BankHook::Marks::Self;
            for (const auto& port : ports_) {
                const PartInfo::Port& p = *port->info;
                if (address != p.pin && address != p.ddr && address != p.port) continue;
                hook->marks = BankHook::Marks::Port;
                hook->portMarks = {};
                hook->portFirstWord = static_cast<uint8_t>(kChangeWords - 1);
                hook->portLastWord = 0;
                for (uint32_t a : {p.pin, p.ddr, p.port}) {
                    if (!inBank(a)) continue;
                    const auto w = static_cast<uint8_t>((a - kIoBase) >> 6);
                    hook->portMarks[w] |= uint64_t{1} << ((a - kIoBase) & 63);
                    hook->portFirstWord = std::min(hook->portFirstWord, w);
                    hook->portLastWord = std::max(hook->portLastWord, w);
                }
            }
            bankHooks_.push_back(std::move(hook));
            // Reads without side effects: storage, a pin's level, the
            // converter's result as the plug-in wrote it.
            if (!entry.r.c || entry.r.c == &readPin || entry.r.c == &readAdcAsStored) continue;
            auto reader = std::make_unique<BankHook>();
            reader->owner = this;
            reader->read = true;
            reader->marks = BankHook::Marks::All;
            reader->index = static_cast<uint16_t>(i);
            reader->original = reinterpret_cast<void*>(entry.r.c);
            reader->originalParam = entry.r.param;
            bankHooks_.push_back(std::move(reader));
        }
    }
    // Installed where the entry holds the handler the hook wraps: the first
    // time, and again where it was registered anew since (installHooks sets
    // its own on every reset). An entry someone wrapped later keeps its
    // wrapper, which calls this hook.
    for (auto& hook : bankHooks_) {
        auto& entry = avr_->io[hook->index];
        if (hook->read) {
            if (reinterpret_cast<void*>(entry.r.c) != hook->original ||
                entry.r.param != hook->originalParam)
                continue;
            entry.r.c = &bankRead;
            entry.r.param = hook.get();
        } else {
            if (reinterpret_cast<void*>(entry.w.c) != hook->original ||
                entry.w.param != hook->originalParam)
                continue;
            entry.w.c = &bankWrite;
            entry.w.param = hook.get();
        }
    }
}

void SimTarget::continueFreeRunning() {
    // simavr ends a free-running conversion like a single one (ADSC falls)
    // without starting the next; the chip starts it at once. Free running
    // is trigger source 0.
    if (!adcsraHook_ || !adcsraHook_->freeRunning) return;
    const uint8_t adcsra = avr_->data[part_.adcsra];
    if (adcsra & kAdsc) return;
    for (const PartInfo::Bit& bit : part_.trigger)
        if (avr_->data[bit.address] & bit.mask) return;
    writeAdcsra(avr_, part_.adcsra, static_cast<uint8_t>((adcsra | kAdsc) & ~kAdif),
                adcsraHook_.get());
    // Not a write of the program's: no hook saw it.
    markAllChanged();
}

SimTarget::PortState* SimTarget::portByPin(uint32_t dataAddress) {
    if (dataAddress >= kSpecialEnd) return nullptr;
    const uint8_t mark = special_[dataAddress];
    return mark >= 1 && mark <= ports_.size() ? ports_[mark - 1u].get() : nullptr;
}

const SimTarget::PortState* SimTarget::portByPin(uint32_t dataAddress) const {
    return const_cast<SimTarget*>(this)->portByPin(dataAddress);
}

uint8_t SimTarget::pinView(const PortState& port) const {
    const uint8_t ddr = avr_->data[port.info->ddr];
    uint8_t out = avr_->data[port.info->port];
    const uint8_t owned = port.lastOwned;
    out = static_cast<uint8_t>((out & ~owned) | (port.timerLevel & owned));
    const uint8_t inputs = static_cast<uint8_t>((port.external & port.driven) |
                                                (out & static_cast<uint8_t>(~port.driven)));
    return static_cast<uint8_t>((out & ddr) | (inputs & static_cast<uint8_t>(~ddr)));
}

// Keeps the PINx storage equal to the level hardware shows, for anything
// in simavr that looks at it directly.
void SimTarget::syncPinStorage(const PortState& port) {
    avr_->data[port.info->pin] = pinView(port);
}

uint8_t SimTarget::programReadsPin(PortState& port) {
    syncPinStorage(port);
    if (port.originalRead) {
        // simavr's own callback also lets watchpoints see the read; it
        // computes the same level from the storage just written.
        port.originalRead(avr_, port.info->pin, port.originalParam);
    }
    const uint8_t value = pinView(port);
    avr_->data[port.info->pin] = value;
    return value;
}

void SimTarget::writeByte(uint32_t address, uint8_t value) {
    if (address >= kIoBase && address - kIoBase < bankSize()) markChanged(address - kIoBase);
    if (address == R_SREG) {
        avr_->data[R_SREG] = value;
        for (int bit = 0; bit < 8; ++bit) avr_->sreg[bit] = (value >> bit) & 1;
        return;
    }
    if (PortState* port = portByPin(address)) {
        const uint8_t inputs = static_cast<uint8_t>(~avr_->data[port->info->ddr]);
        const uint8_t changed = static_cast<uint8_t>((value ^ pinView(*port)) & inputs);
        port->driven |= changed;
        port->external = static_cast<uint8_t>((port->external & ~changed) | (value & changed));
        if (changed) {
            pinsChanged(*port, changed, value);
        } else {
            syncPinStorage(*port);
        }
        return;
    }
    avr_->data[address] = value;
    hostWroteControls(address, address + 1);
}

}  // namespace quill::sim

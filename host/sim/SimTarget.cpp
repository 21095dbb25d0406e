#include "host/sim/SimTarget.h"

#include "host/sim/Clock.h"
#include "host/sim/FlashMirror.h"
#include "host/sim/PhaseCorrectPwm.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>

extern "C" {
#include <avr_adc.h>
#include <avr_eeprom.h>
#include <avr_timer.h>
#include <sim_avr.h>
#include <sim_io.h>
#include <sim_interrupts.h>
}

namespace quill::sim {

// simavr's own write handler of ADCSRA, wrapped so that ADIF is cleared by
// writing 1 to it, as on the chip (simavr 1.6 stores the written 1 back into
// the register and clears a 0 written to it).
struct SimTarget::ConverterFlagHook {
    avr_io_write_t originalWrite;
    void* originalParam;
    // The program started free running (wrote ADSC with ADEN and ADATE);
    // cleared when it switches ADEN or ADATE off.
    bool freeRunning = false;
};

struct SimTarget::PortState {
    SimTarget* owner;
    const PartInfo::Port* info;
    avr_io_read_t originalRead;
    void* originalParam;
    uint8_t external = 0;  // external level of the driven input pins
    uint8_t driven = 0;    // input pins driven from outside
    // The timers' compare outputs on this port: while a compare output
    // mode is set (COM bits not 0), the pin carries the level the timer
    // last drove, not its PORTx bit.
    struct CompareOutput {
        avr_regbit_t com;
        uint8_t mask;
    };
    std::array<CompareOutput, 4> outputs{};
    uint8_t outputCount = 0;
    uint8_t timerLevel = 0;
    uint8_t lastOwned = 0;  // the pins compare outputs owned after the last timer control write
    // The pins a compare output owns now.
    uint8_t timerOwned(avr_t* avr) const {
        uint8_t owned = 0;
        for (uint8_t k = 0; k < outputCount; ++k)
            if (avr_regbit_get(avr, outputs[k].com)) owned |= outputs[k].mask;
        return owned;
    }
};

// A timer control register holding COM bits: simavr's write handler, and
// the target to tell when the program connects or disconnects an output.
struct SimTarget::ControlHook {
    SimTarget* owner;
    avr_io_write_t originalWrite;
    void* originalParam;
};

// One compare output's IRQ, told to the port of its pin.
struct SimTarget::CompareHook {
    SimTarget* owner;
    PortState* port;
    uint8_t mask;
};

namespace {

constexpr uint32_t kIoSize = 64;
constexpr uint32_t kRegisterCount = 32;
constexpr uint32_t kIoBase = 0x20;

// The simulator's log goes to the target that is calling into simavr on
// this thread; simavr has one process-wide logger.
thread_local SimTarget* t_current = nullptr;

class CurrentTarget {
public:
    explicit CurrentTarget(SimTarget* target) : previous_(t_current) { t_current = target; }
    ~CurrentTarget() { t_current = previous_; }

private:
    SimTarget* previous_;
};

void logToTarget(avr_t*, const int level, const char* format, va_list args) {
    if (level > LOG_WARNING || level < LOG_ERROR) return;  // keep errors and warnings
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return;
    if (t_current) {
        t_current->addMessage(line);
    } else {
        std::fprintf(stderr, "simavr: %s\n", line.c_str());
    }
}

void installLogger() {
    static std::once_flag once;
    std::call_once(once, [] { avr_global_logger_set(&logToTarget); });
}

// The default sleep callback waits in real time; the host decides the pace.
void sleepWithoutWaiting(avr_t*, avr_cycle_count_t) {}

// ADCL/ADCH as stored, so that what the plug-in wrote is what the program
// reads (simavr would compute its own conversion on the ADCL read).
uint8_t readAdcAsStored(avr_t* avr, avr_io_addr_t address, void*) { return avr->data[address]; }

constexpr uint8_t kAden = 0x80;
constexpr uint8_t kAdsc = 0x40;
constexpr uint8_t kAdate = 0x20;
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
    if ((now & (kAden | kAdate)) != (kAden | kAdate)) {
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
void completeTimerTables(avr_t* avr, const PartInfo& part) {
    if (std::strcmp(part.core, "atmega16") != 0 && std::strcmp(part.core, "atmega32") != 0)
        return;
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

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void loadEeprom(avr_t* avr, uint8_t* bytes, uint32_t size, uint32_t offset) {
    if (size == 0) return;
    avr_eeprom_desc_t desc{};
    desc.ee = bytes;
    desc.offset = static_cast<uint16_t>(offset);
    desc.size = size;
    avr_ioctl(avr, AVR_IOCTL_EEPROM_SET, &desc);
}

}  // namespace

const std::vector<PartInfo>& SimTarget::supportedParts() {
    // Port registers of the ATmega16/32 family and the ATmega8 (data
    // addresses: I/O address + 0x20).
    static const std::vector<PartInfo> parts = {
        {"ATmega16",
         "atmega16",
         5,
         16 * 1024,
         {{'A', 0x39, 0x3a, 0x3b},
          {'B', 0x36, 0x37, 0x38},
          {'C', 0x33, 0x34, 0x35},
          {'D', 0x30, 0x31, 0x32}},
         0x24,
         0x25,
         0x26,
         0x50},
        {"ATmega32",
         "atmega32",
         5,
         32 * 1024,
         {{'A', 0x39, 0x3a, 0x3b},
          {'B', 0x36, 0x37, 0x38},
          {'C', 0x33, 0x34, 0x35},
          {'D', 0x30, 0x31, 0x32}},
         0x24,
         0x25,
         0x26,
         0x50},
        {"ATmega8",
         "atmega8",
         4,
         8 * 1024,
         {{'B', 0x36, 0x37, 0x38}, {'C', 0x33, 0x34, 0x35}, {'D', 0x30, 0x31, 0x32}, {0, 0, 0, 0}},
         0x24,
         0x25,
         0x26,
         0x50},
    };
    return parts;
}

const PartInfo* SimTarget::findPart(std::string_view name) {
    for (const PartInfo& part : supportedParts())
        if (equalsIgnoreCase(part.name, name)) return &part;
    return nullptr;
}

SimTarget::SimTarget(std::string_view partName, uint32_t frequencyHz) {
    part_ = findPart(partName);
    if (!part_) {
        std::string known;
        for (const PartInfo& p : supportedParts())
            known += (known.empty() ? "" : ", ") + std::string(p.name);
        throw SimError("unknown part \"" + std::string(partName) + "\" (the simulator knows " +
                       known + ")");
    }
    partName_ = part_->name;
    installLogger();
    CurrentTarget current(this);
    avr_ = avr_make_mcu_by_name(part_->core);
    if (!avr_) throw SimError("simavr has no core for " + partName_);
    if (avr_init(avr_) != 0) {
        std::free(avr_);
        avr_ = nullptr;
        throw SimError("simavr could not initialise the " + partName_);
    }
    // simavr's own flash buffer ends with the part's flash; its
    // instructions reach far beyond (see FlashMirror.h).
    try {
        flash_ = std::make_unique<FlashMirror>(avr_->flashend + 1u);
    } catch (const SimError&) {
        avr_terminate(avr_);
        std::free(avr_);
        avr_ = nullptr;
        throw;
    }
    std::memcpy(flash_->bytes(), avr_->flash, avr_->flashend + 1u);
    std::free(avr_->flash);
    avr_->flash = flash_->bytes();
    avr_->log = LOG_WARNING;
    avr_->sleep = &sleepWithoutWaiting;
    for (const PartInfo::Port& info : part_->ports) {
        if (!info.letter) continue;
        auto state = std::make_unique<PortState>();
        state->owner = this;
        state->info = &info;
        const int io = AVR_DATA_TO_IO(info.pin);
        state->originalRead = avr_->io[io].r.c;
        state->originalParam = avr_->io[io].r.param;
        ports_.push_back(std::move(state));
    }
    if (part_->adcsra) {
        const int io = AVR_DATA_TO_IO(part_->adcsra);
        adcsraHook_ = std::make_unique<ConverterFlagHook>();
        adcsraHook_->originalWrite = avr_->io[io].w.c;
        adcsraHook_->originalParam = avr_->io[io].w.param;
    }
    completeTimerTables(avr_, *part_);
    connectCompareOutputs();
    for (avr_io_t* io = avr_->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "timer") != 0) continue;
        auto generator = PhaseCorrectPwm::forTimer(avr_, reinterpret_cast<avr_timer_t*>(io));
        if (!generator) continue;
        for (uint16_t control : generator->controlRegisters()) hookTimerControl(control);
        phaseCorrect_.push_back(std::move(generator));
    }
    installHooks();
    setFrequency(frequencyHz);
}

void SimTarget::connectCompareOutputs() {
    for (avr_io_t* io = avr_->io_port; io; io = io->next) {
        if (std::strcmp(io->kind, "timer") != 0) continue;
        auto* timer = reinterpret_cast<avr_timer_t*>(io);
        for (int c = 0; c < AVR_TIMER_COMP_COUNT; ++c) {
            const avr_timer_comp_t& comp = timer->comp[c];
            if (!comp.com_pin.reg || !comp.com.reg) continue;
            auto port = std::find_if(ports_.begin(), ports_.end(), [&](const auto& p) {
                return p->info->port == comp.com_pin.reg;
            });
            if (port == ports_.end() || (*port)->outputCount == (*port)->outputs.size()) continue;
            const auto mask = static_cast<uint8_t>(1u << comp.com_pin.bit);
            (*port)->outputs[(*port)->outputCount++] = {comp.com, mask};
            compareHooks_.push_back(
                std::make_unique<CompareHook>(CompareHook{this, port->get(), mask}));
            // The register with the COM bits: connecting or disconnecting
            // the output changes the pin without an edge of the timer.
            hookTimerControl(comp.com.reg);
            avr_irq_register_notify(&timer->io.irq[TIMER_IRQ_OUT_COMP + c], &compareOutputRaised,
                                    compareHooks_.back().get());
        }
    }
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
    syncPinStorage(port);
    for (uint8_t mask = 1; mask; mask = static_cast<uint8_t>(mask << 1)) {
        if (!(changed & mask)) continue;
        for (const PinListener& listener : pinListeners_)
            listener.call(listener.context, port.info->letter, mask, (levels & mask) != 0);
    }
}

void SimTarget::timerControlWritten() {
    for (auto& generator : phaseCorrect_) generator->controlWritten();
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

void SimTarget::removePinListener(void* context) {
    std::erase_if(pinListeners_, [context](const PinListener& l) { return l.context == context; });
}

SimTarget::~SimTarget() {
    if (!avr_) return;
    CurrentTarget current(this);
    avr_->flash = nullptr;  // flash_'s mapping, not simavr's to free
    avr_terminate(avr_);
    std::free(avr_);
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
        if (special_[a]) specialList_[specialCount_++] = static_cast<uint8_t>(a);
    if (adcsraHook_) {
        auto& entry = avr_->io[AVR_DATA_TO_IO(part_->adcsra)];
        entry.w.c = &writeAdcsra;
        entry.w.param = adcsraHook_.get();
    }
    if (part_->adcl) {
        for (uint16_t address : {part_->adcl, part_->adch}) {
            auto& entry = avr_->io[AVR_DATA_TO_IO(address)];
            entry.r.c = &readAdcAsStored;
            entry.r.param = nullptr;
        }
    }
}

void SimTarget::loadFirmware(const std::string& path) {
    FirmwareImage image;
    try {
        image = readFirmwareFile(path);
    } catch (const FirmwareError& e) {
        throw SimError(e.what());
    }
    loadImage(image, path);
}

void SimTarget::loadImage(const FirmwareImage& image, const std::string& path) {
    const std::string where = "firmware \"" + path + "\"";
    if (image.elfArch != 0 && image.elfArch != part_->elfArch) {
        throw SimError(where + " is built for " + avrArchName(image.elfArch) + ", but the " +
                       partName_ + " is " + avrArchName(part_->elfArch));
    }
    if (!image.device.empty() && !equalsIgnoreCase(image.device, part_->core))
        throw SimError(where + " is built for the " + image.device + ", not the " + partName_);
    if (image.flash.empty()) throw SimError(where + " contains no program code");
    if (image.flashEnd() > part_->flashBytes)
        throw SimError(where + " needs " + std::to_string(image.flashEnd()) +
                       " bytes of flash, but the " + partName_ + " has " +
                       std::to_string(part_->flashBytes));
    if (image.eepromEnd() > avr_->e2end + 1u)
        throw SimError(where + " has more EEPROM data than the " + partName_ + " holds");

    CurrentTarget current(this);
    // The rest of flash reads as erased.
    std::memset(avr_->flash, 0xff, avr_->flashend + 1);
    for (const MemoryChunk& chunk : image.flash) {
        std::vector<uint8_t> bytes = chunk.bytes;  // simavr takes a mutable buffer
        avr_loadcode(avr_, bytes.data(), static_cast<uint32_t>(bytes.size()), chunk.address);
    }
    for (const MemoryChunk& chunk : image.eeprom) {
        std::vector<uint8_t> bytes = chunk.bytes;
        loadEeprom(avr_, bytes.data(), static_cast<uint32_t>(bytes.size()), chunk.address);
    }
    firmwarePath_ = path;
    findExitStops(image);
    reset();
}

void SimTarget::findExitStops(const FirmwareImage& image) {
    exitStopCount_ = 0;
    if (image.stopProgram) {
        exitStops_[exitStopCount_++] = *image.stopProgram;
        return;
    }
    // No symbol (Intel HEX, a stripped file): every cli followed by a jump
    // to itself, the rjmp .-2 of avr-libc's _exit or a jmp to its own
    // address.
    constexpr uint16_t kCli = 0x94F8, kRjmpSelf = 0xCFFF;
    for (const MemoryChunk& chunk : image.flash) {
        const std::vector<uint8_t>& b = chunk.bytes;
        const std::size_t first = chunk.address & 1;  // words start at even addresses
        auto word = [&](std::size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); };
        for (std::size_t at = first; at + 4 <= b.size() && exitStopCount_ < kMaxExitStops;
             at += 2) {
            if (word(at) != kCli) continue;
            const uint32_t jump = chunk.address + static_cast<uint32_t>(at) + 2;
            const uint16_t next = word(at + 2);
            bool self = next == kRjmpSelf;
            if (!self && (next & 0xFE0E) == 0x940C && at + 6 <= b.size()) {
                const uint32_t target =
                    ((static_cast<uint32_t>(next & 0x01F0) << 13) |
                     (static_cast<uint32_t>(next & 1) << 16) | word(at + 4)) * 2;
                self = target == jump;
            }
            if (self) exitStops_[exitStopCount_++] = jump;
        }
    }
}

void SimTarget::checkExit() {
    for (std::size_t i = 0; i < exitStopCount_; ++i) {
        if (avr_->pc != exitStops_[i] || avr_->sreg[S_I]) continue;
        exitCode_ = static_cast<int16_t>(avr_->data[24] | avr_->data[25] << 8);
        avr_->state = cpu_Done;
        return;
    }
}


void SimTarget::setFrequency(uint32_t hz) {
    if (hz < kMinClockHz)
        throw SimError("the clock frequency " + std::to_string(hz) + " Hz is below " +
                       std::to_string(kMinClockHz) + " Hz, the slowest clock the simulator can time");
    avr_->frequency = hz;
}

uint32_t SimTarget::frequency() const { return avr_->frequency; }

bool SimTarget::step() {
    if (avr_->state == cpu_Done || avr_->state == cpu_Crashed) return false;
    CurrentTarget current(this);
    runOne();
    return true;
}

SimTarget::Calling::Calling(SimTarget& target) : previous_(t_current) { t_current = &target; }

SimTarget::Calling::~Calling() { t_current = previous_; }

bool SimTarget::stepCalled() {
    if (avr_->state == cpu_Done || avr_->state == cpu_Crashed) return false;
    runOne();
    return true;
}

const uint8_t* SimTarget::plainIoStorage(unsigned index) const {
    if (index >= kIoSize || special_[kIoBase + index]) return nullptr;
    return avr_->data + kIoBase + index;
}

bool SimTarget::pinDependencies(unsigned index, const uint8_t** ddr, const uint8_t** port,
                                const uint8_t** externalChanges) const {
    if (index >= kIoSize) return false;
    const PortState* state = portByPin(kIoBase + index);
    if (!state) return false;
    *ddr = avr_->data + state->info->ddr;
    *port = avr_->data + state->info->port;
    *externalChanges = &externalChanges_;
    return true;
}

const uint8_t* SimTarget::ioStorage() const { return avr_->data + kIoBase; }

const uint64_t* SimTarget::cycleStorage() const { return &avr_->cycle; }

void SimTarget::runOne() {
    avr_run(avr_);
    continueFreeRunning();
    if (exitStopCount_) checkExit();
}

void SimTarget::continueFreeRunning() {
    // simavr ends a free-running conversion like a single one (ADSC falls)
    // without starting the next; the chip starts it at once.
    if (!adcsraHook_ || !adcsraHook_->freeRunning) return;
    const uint8_t adcsra = avr_->data[part_->adcsra];
    if ((adcsra & kAdsc) || (avr_->data[part_->sfior] & 0xE0) != 0) return;
    writeAdcsra(avr_, part_->adcsra, static_cast<uint8_t>((adcsra | kAdsc) & ~kAdif),
                adcsraHook_.get());
}

uint64_t SimTarget::run(uint64_t count) {
    CurrentTarget current(this);
    uint64_t executed = 0;
    while (executed < count && avr_->state != cpu_Done && avr_->state != cpu_Crashed) {
        runOne();
        ++executed;
    }
    return executed;
}

uint64_t SimTarget::runUntilCycle(uint64_t target) {
    CurrentTarget current(this);
    uint64_t executed = 0;
    while (avr_->cycle < target && avr_->state != cpu_Done && avr_->state != cpu_Crashed) {
        runOne();
        ++executed;
    }
    return executed;
}

void SimTarget::reset() {
    CurrentTarget current(this);
    avr_reset(avr_);
    avr_->cycle = 0;
    avr_->state = cpu_Running;
    exitCode_.reset();
    if (adcsraHook_) adcsraHook_->freeRunning = false;
    for (auto& port : ports_) port->timerLevel = port->lastOwned = 0;
    for (auto& generator : phaseCorrect_) generator->reset();
    installHooks();
}

RunState SimTarget::state() const {
    switch (avr_->state) {
        case cpu_Sleeping:
            return RunState::Sleeping;
        case cpu_Done:
            return exitCode_ ? RunState::Exited : RunState::Done;
        case cpu_Crashed:
            return RunState::Crashed;
        default:
            return RunState::Running;
    }
}

uint64_t SimTarget::cycles() const { return avr_->cycle; }

uint32_t SimTarget::programCounter() const { return avr_->pc; }

uint32_t SimTarget::memorySize(LONG kind) const {
    switch (kind) {
        case kMemoryIo:
            return kIoSize;
        case kMemoryRegisters:
            return kRegisterCount;
        case kMemoryData:
            return avr_->ramend + 1u;
        default:
            return 0;
    }
}

bool SimTarget::read(LONG kind, uint32_t address, uint8_t* out, uint32_t count) const {
    const uint32_t size = memorySize(kind);
    if (size == 0 || (count > 0 && !out) || address > size || count > size - address) return false;
    const uint32_t start = (kind == kMemoryIo ? kIoBase : 0) + address;
    if (count == 0) return true;
    // Plain copy, then the registers whose reading means more than storage.
    std::memcpy(out, avr_->data + start, count);
    const uint32_t end = start + count;
    for (uint32_t k = 0; k < specialCount_ && specialList_[k] < end; ++k) {
        const uint32_t a = specialList_[k];
        if (a >= start) out[a - start] = specialValue(a);
    }
    return true;
}

bool SimTarget::write(LONG kind, uint32_t address, const uint8_t* data, uint32_t count) {
    const uint32_t size = memorySize(kind);
    if (size == 0 || (count > 0 && !data) || address > size || count > size - address) return false;
    const uint32_t start = (kind == kMemoryIo ? kIoBase : 0) + address;
    if (count == 0) return true;
    // Plain storage between the marked addresses is copied as it stands;
    // the marked ones go through writeByte in address order.
    const uint32_t end = start + count;
    uint32_t from = start;
    for (uint32_t k = 0; k < specialCount_ && specialList_[k] < end; ++k) {
        const uint32_t a = specialList_[k];
        if (a < start) continue;
        std::memcpy(avr_->data + from, data + (from - start), a - from);
        writeByte(a, data[a - start]);
        from = a + 1;
    }
    std::memcpy(avr_->data + from, data + (from - start), end - from);
    return true;
}

uint8_t SimTarget::io(unsigned index) const {
    if (index >= kIoSize) return 0;
    const uint32_t address = kIoBase + index;
    return special_[address] ? readByte(address) : avr_->data[address];
}

void SimTarget::setIo(unsigned index, uint8_t value) {
    if (index < kIoSize) writeByte(kIoBase + index, value);
}

std::vector<std::string> SimTarget::takeMessages() {
    std::vector<std::string> out;
    out.swap(messages_);
    return out;
}

void SimTarget::addMessage(std::string text) {
    // simavr complains of every OCR write while its timer runs no mode of
    // its own: before the program first writes the timer's control
    // registers (the timer is in normal mode then) and in the
    // phase-correct modes PhaseCorrectPwm runs. Neither is the program's
    // fault, and a PWM program writes OCR all the time.
    if (text.starts_with("TIMER: avr_timer_write_ocr-") && text.ends_with(" mode 0 UNSUPPORTED"))
        return;
    if (messages_.size() < 1000) messages_.push_back(std::move(text));
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
    if (port.outputCount) {
        const uint8_t owned = port.timerOwned(avr_);
        out = static_cast<uint8_t>((out & ~owned) | (port.timerLevel & owned));
    }
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

uint8_t SimTarget::sregValue() const {
    // simavr keeps the eight flags as eight bytes.
    if constexpr (std::endian::native == std::endian::little) {
        // Byte k is bits 8k..8k+7: bit 8k+7 is set where the byte is not
        // zero, and the multiplication gathers those bits into bits 56..63
        // (bit 8k to 56+k, without carries).
        uint64_t flags;
        std::memcpy(&flags, avr_->sreg, sizeof flags);
        constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
        const uint64_t nonZero = (((flags & kLow7) + kLow7) | flags) & ~kLow7;
        return static_cast<uint8_t>(((nonZero >> 7) * 0x0102040810204080ULL) >> 56);
    } else {
        uint8_t flags = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (avr_->sreg[bit]) flags |= static_cast<uint8_t>(1u << bit);
        return flags;
    }
}

uint8_t SimTarget::specialValue(uint32_t address) const {
    const uint8_t mark = special_[address];
    return mark == kSpecialSreg ? sregValue() : pinView(*ports_[mark - 1u]);
}

uint8_t SimTarget::readByte(uint32_t address) const {
    if (address < kSpecialEnd && special_[address]) return specialValue(address);
    return avr_->data[address];
}

void SimTarget::writeByte(uint32_t address, uint8_t value) {
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
}

}  // namespace quill::sim

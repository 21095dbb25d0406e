#include "host/sim/SimTarget.h"

#include "host/sim/Clock.h"
#include "host/sim/FlashMirror.h"
#include "host/sim/TimerGenerator.h"
#include "host/sim/SimTargetState.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <avr_eeprom.h>
#include <sim_avr.h>
#include <sim_io.h>
}

namespace quill::sim {

namespace {

constexpr uint32_t kIoSize = 64;
constexpr uint32_t kRegisterCount = 32;
constexpr uint32_t kIoBase = 0x20;

// The default sleep callback waits in real time; the host decides the pace.
void sleepWithoutWaiting(avr_t*, avr_cycle_count_t) {}

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

PartInfo partNamed(std::string_view name, const std::string& folder) {
    std::string why;
    std::optional<PartInfo> part = loadPart(folder, name, &why);
    if (!part) throw SimError(why);
    return std::move(*part);
}

}  // namespace

SimTarget::SimTarget(std::string_view partName, uint32_t frequencyHz, const std::string& partFolder)
    : SimTarget(partNamed(partName, partFolder), frequencyHz) {}

SimTarget::SimTarget(PartInfo part, uint32_t frequencyHz) : part_(std::move(part)) {
    installSimLogger();
    SimLogScope current(this);
    avr_ = avr_make_mcu_by_name(part_.core.c_str());
    if (!avr_) throw SimError("simavr has no core for " + part_.name);
    if (initCore(avr_) != 0) {
        std::free(avr_);
        avr_ = nullptr;
        throw SimError("simavr could not initialise the " + part_.name);
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
    setUpHooks();
    installHooks();
    setFrequency(frequencyHz);
}

SimTarget::~SimTarget() {
    if (!avr_) return;
    SimLogScope current(this);
    avr_->flash = nullptr;  // flash_'s mapping, not simavr's to free
    avr_terminate(avr_);
    std::free(avr_);
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
    if (image.elfArch != 0 && std::find(part_.elfArchs.begin(), part_.elfArchs.end(),
                                        image.elfArch) == part_.elfArchs.end()) {
        throw SimError(where + " is built for " + avrArchName(image.elfArch) + ", but the " +
                       part_.name + " runs " + archList(part_.elfArchs) + " code");
    }
    if (!image.device.empty() && !equalsIgnoreCase(image.device, part_.core))
        throw SimError(where + " is built for the " + image.device + ", not the " + part_.name);
    if (image.flash.empty()) throw SimError(where + " contains no program code");
    if (image.flashEnd() > part_.flashBytes)
        throw SimError(where + " needs " + std::to_string(image.flashEnd()) +
                       " bytes of flash, but the " + part_.name + " has " +
                       std::to_string(part_.flashBytes));
    if (image.eepromEnd() > avr_->e2end + 1u)
        throw SimError(where + " has more EEPROM data than the " + part_.name + " holds");

    SimLogScope current(this);
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
    SimLogScope current(this);
    runOne();
    return true;
}

const uint8_t* SimTarget::plainIoStorage(unsigned index) const {
    if (index >= bankSize() || special_[kIoBase + index]) return nullptr;
    return avr_->data + kIoBase + index;
}

bool SimTarget::pinDependencies(unsigned index, const uint8_t** ddr, const uint8_t** port,
                                const uint8_t** externalChanges) const {
    if (index >= bankSize()) return false;
    const PortState* state = portByPin(kIoBase + index);
    if (!state) return false;
    *ddr = avr_->data + state->info->ddr;
    *port = avr_->data + state->info->port;
    *externalChanges = &externalChanges_;
    return true;
}

const uint8_t* SimTarget::ioStorage() const { return avr_->data + kIoBase; }

const uint64_t* SimTarget::cycleStorage() const { return &avr_->cycle; }

uint64_t SimTarget::run(uint64_t count) {
    SimLogScope current(this);
    uint64_t executed = 0;
    while (executed < count && avr_->state != cpu_Done && avr_->state != cpu_Crashed) {
        runOne();
        ++executed;
    }
    return executed;
}

uint64_t SimTarget::runUntilCycle(uint64_t target) {
    SimLogScope current(this);
    uint64_t executed = 0;
    while (avr_->cycle < target && avr_->state != cpu_Done && avr_->state != cpu_Crashed) {
        runOne();
        ++executed;
    }
    return executed;
}

void SimTarget::reset() {
    SimLogScope current(this);
    avr_reset(avr_);
    avr_->cycle = 0;
    avr_->state = cpu_Running;
    exitCode_.reset();
    if (adcsraHook_) adcsraHook_->freeRunning = false;
    for (auto& port : ports_) {
        port->timerLevel = 0;
        port->lastOwned = port->timerOwned(avr_);
    }
    for (auto& generator : timerGenerators_) generator->reset();
    installHooks();
    markAllChanged();
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
    if (kind != kMemoryRegisters) {
        const uint32_t bankEnd = kIoBase + bankSize();
        for (uint32_t a = std::max(start, kIoBase); a < std::min(start + count, bankEnd); ++a)
            markChanged(a - kIoBase);
    }
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
    hostWroteControls(start, end);
    return true;
}

uint8_t SimTarget::io(unsigned index) const {
    if (index >= bankSize()) return 0;
    const uint32_t address = kIoBase + index;
    return special_[address] ? readByte(address) : avr_->data[address];
}

void SimTarget::setIo(unsigned index, uint8_t value) {
    if (index < bankSize()) writeByte(kIoBase + index, value);
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

}  // namespace quill::sim

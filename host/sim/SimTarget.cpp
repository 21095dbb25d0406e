#include "host/sim/SimTarget.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

extern "C" {
#include <avr_adc.h>
#include <avr_eeprom.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_hex.h>
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
};

namespace {

constexpr uint32_t kIoSize = 64;
constexpr uint32_t kRegisterCount = 32;
constexpr uint32_t kIoBase = 0x20;
constexpr uint32_t kEepromBase = 0x810000;
constexpr std::size_t kMaxFirmwareFileBytes = 16u << 20;

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

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string readWholeFile(const std::string& path, const char* what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SimError("cannot open " + std::string(what) + " \"" + path + "\"");
    std::string bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxFirmwareFileBytes)
            throw SimError(std::string(what) + " \"" + path + "\" is too large to be AVR firmware");
    }
    if (in.bad()) throw SimError("cannot read " + std::string(what) + " \"" + path + "\"");
    return bytes;
}

uint32_t le16(const std::string& b, std::size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1]))
                                             << 8;
}

uint32_t le32(const std::string& b, std::size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

const char* archName(int arch) {
    switch (arch) {
        case 1:
            return "avr1";
        case 2:
            return "avr2";
        case 25:
            return "avr25";
        case 3:
            return "avr3";
        case 31:
            return "avr31";
        case 35:
            return "avr35";
        case 4:
            return "avr4 (e.g. ATmega8)";
        case 5:
            return "avr5 (e.g. ATmega16, ATmega32)";
        case 51:
            return "avr51";
        case 6:
            return "avr6";
        case 100:
            return "avrtiny";
        default:
            return "an AVR architecture this target does not know";
    }
}

// Checks the ELF header: a 32-bit little-endian AVR file whose section
// table lies inside the file, built for the part's architecture.
void checkElfHeader(const std::string& path, const std::string& bytes, const PartInfo& part) {
    const std::string where = "firmware \"" + path + "\"";
    if (bytes.size() < 4 || bytes.compare(0, 4,
                                          "\x7f"
                                          "ELF") != 0)
        throw SimError(where + " is not an ELF file");
    if (bytes.size() < 52) throw SimError(where + " is truncated (incomplete ELF header)");
    if (bytes[4] != 1 || bytes[5] != 1)
        throw SimError(where + " is not a 32-bit little-endian ELF file, so not AVR firmware");
    const uint32_t machine = le16(bytes, 18);
    if (machine != 83)
        throw SimError(where + " is built for another processor (ELF machine " +
                       std::to_string(machine) + "), not for the AVR");
    const uint32_t arch = le32(bytes, 36) & 0x7f;
    if (arch != 0 && static_cast<int>(arch) != part.elfArch) {
        throw SimError(where + " is built for " + archName(static_cast<int>(arch)) + ", but the " +
                       part.name + " is " + archName(part.elfArch));
    }
    const uint64_t shoff = le32(bytes, 32);
    const uint64_t shentsize = le16(bytes, 46);
    const uint64_t shnum = le16(bytes, 48);
    if (shnum == 0 || shoff + shentsize * shnum > bytes.size())
        throw SimError(where + " is truncated or corrupt (section table outside the file)");
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What a validated Intel HEX file holds.
struct HexSummary {
    uint64_t flashBytes = 0;  // bytes of data records below the EEPROM base
    uint64_t flashEnd = 0;    // one past the highest flash address
    uint64_t eepromEnd = 0;
};

// Checks every record of an Intel HEX text: colon, hex digits, length,
// checksum, record type, an end-of-file record. simavr's reader silently
// stops at the first bad line, so it only ever sees a file that passed.
HexSummary checkHex(const std::string& path, const std::string& text) {
    HexSummary summary;
    uint64_t base = 0;
    bool sawEnd = false;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size() && !sawEnd) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        const std::string where =
            "Intel HEX file \"" + path + "\", line " + std::to_string(lineNumber) + ": ";
        if (line[0] != ':') throw SimError(where + "a record must start with ':'");
        // simavr reads lines into a 128-byte buffer.
        if (line.size() > 127) throw SimError(where + "record longer than 127 characters");
        const std::string_view digits = line.substr(1);
        if (digits.size() % 2 != 0 || digits.size() < 10)
            throw SimError(where + "record too short or of odd length");
        uint8_t bytes[64];
        unsigned sum = 0;
        for (std::size_t i = 0; i < digits.size() / 2; ++i) {
            const int hi = hexDigit(digits[2 * i]);
            const int lo = hexDigit(digits[2 * i + 1]);
            if (hi < 0 || lo < 0) throw SimError(where + "not a hexadecimal digit");
            bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
            sum += bytes[i];
        }
        const std::size_t count = digits.size() / 2;
        if (bytes[0] + 5u != count)
            throw SimError(where + "byte count " + std::to_string(bytes[0]) +
                           " does not match the record length");
        if ((sum & 0xff) != 0) throw SimError(where + "checksum mismatch");
        const uint32_t offset = static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
        switch (bytes[3]) {
            case 0: {
                const uint64_t start = base + offset;
                const uint64_t stop = start + bytes[0];
                if (start >= kEepromBase) {
                    summary.eepromEnd = std::max(summary.eepromEnd, stop - kEepromBase);
                } else {
                    summary.flashBytes += bytes[0];
                    summary.flashEnd = std::max(summary.flashEnd, stop);
                }
                break;
            }
            case 1:
                sawEnd = true;
                break;
            case 2:
                if (bytes[0] != 2) throw SimError(where + "malformed segment address record");
                base = (static_cast<uint64_t>(bytes[4]) << 8 | bytes[5]) << 4;
                break;
            case 4:
                if (bytes[0] != 2) throw SimError(where + "malformed linear address record");
                base = (static_cast<uint64_t>(bytes[4]) << 8 | bytes[5]) << 16;
                break;
            case 3:
            case 5:
                break;  // start address: irrelevant for an AVR
            default:
                throw SimError(where + "unknown record type " + std::to_string(bytes[3]));
        }
    }
    if (!sawEnd)
        throw SimError("Intel HEX file \"" + path +
                       "\" has no end-of-file record (truncated or not Intel HEX)");
    if (summary.flashBytes == 0)
        throw SimError("Intel HEX file \"" + path + "\" contains no program code");
    return summary;
}

// Copies a program image into flash: the rest of flash reads as erased.
void loadFlash(avr_t* avr, const uint8_t* code, uint32_t size, uint32_t address) {
    std::memset(avr->flash, 0xff, avr->flashend + 1);
    avr_loadcode(avr, const_cast<uint8_t*>(code), size, address);
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
    installHooks();
    setFrequency(frequencyHz);
}

SimTarget::~SimTarget() {
    if (!avr_) return;
    CurrentTarget current(this);
    avr_terminate(avr_);
    std::free(avr_);
}

void SimTarget::installHooks() {
    special_.fill(0);
    special_[R_SREG] = 1;
    for (auto& port : ports_) {
        special_[port->info->pin] = 1;
        auto& entry = avr_->io[AVR_DATA_TO_IO(port->info->pin)];
        entry.r.c = &readPin;
        entry.r.param = port.get();
        syncPinStorage(*port);
    }
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
    if (endsWithIgnoreCase(path, ".hex") || endsWithIgnoreCase(path, ".ihex")) {
        loadHex(path);
        return;
    }
    std::ifstream probe(path, std::ios::binary);
    if (probe && probe.peek() == ':') {
        loadHex(path);
        return;
    }
    loadElf(path);
}

void SimTarget::loadElf(const std::string& path) {
    const std::string bytes = readWholeFile(path, "firmware");
    checkElfHeader(path, bytes, *part_);

    CurrentTarget current(this);
    elf_firmware_t firmware;
    std::memset(&firmware, 0, sizeof firmware);
    const int result = elf_read_firmware(path.c_str(), &firmware);
    struct Release {
        elf_firmware_t& f;
        ~Release() {
#if ELF_SYMBOLS
            for (uint32_t i = 0; i < f.symbolcount; ++i) std::free(f.symbol[i]);
            std::free(f.symbol);
#endif
            std::free(f.flash);
            std::free(f.eeprom);
            std::free(f.fuse);
            std::free(f.lockbits);
        }
    } release{firmware};
    const std::string where = "firmware \"" + path + "\"";
    if (result != 0) throw SimError(where + " could not be read as an ELF file");
    if (!firmware.flash || firmware.flashsize == 0)
        throw SimError(where + " contains no program code (corrupt or truncated ELF file?)");
    if (firmware.mmcu[0] && !equalsIgnoreCase(firmware.mmcu, part_->core))
        throw SimError(where + " is built for the " + std::string(firmware.mmcu) + ", not the " +
                       partName_);
    if (static_cast<uint64_t>(firmware.flashbase) + firmware.flashsize > part_->flashBytes)
        throw SimError(where + " needs " + std::to_string(firmware.flashbase + firmware.flashsize) +
                       " bytes of flash, but the " + partName_ + " has " +
                       std::to_string(part_->flashBytes));
    if (firmware.eesize > avr_->e2end + 1u)
        throw SimError(where + " has more EEPROM data than the " + partName_ + " holds");

    loadFlash(avr_, firmware.flash, firmware.flashsize, firmware.flashbase);
    loadEeprom(avr_, firmware.eeprom, firmware.eesize, 0);
    firmwarePath_ = path;
    reset();
}

void SimTarget::loadHex(const std::string& path) {
    const std::string text = readWholeFile(path, "Intel HEX file");
    const HexSummary summary = checkHex(path, text);
    const std::string where = "Intel HEX file \"" + path + "\"";
    if (summary.flashEnd > part_->flashBytes)
        throw SimError(where + " needs " + std::to_string(summary.flashEnd) +
                       " bytes of flash, but the " + partName_ + " has " +
                       std::to_string(part_->flashBytes));
    if (summary.eepromEnd > avr_->e2end + 1u)
        throw SimError(where + " has more EEPROM data than the " + partName_ + " holds");

    CurrentTarget current(this);
    ihex_chunk_p chunks = nullptr;
    const int count = read_ihex_chunks(path.c_str(), &chunks);
    struct Release {
        ihex_chunk_p& c;
        ~Release() {
            if (c) {
                free_ihex_chunks(c);
                std::free(c);
            }
        }
    } release{chunks};
    if (count <= 0 || !chunks) throw SimError(where + " could not be read");
    uint64_t loaded = 0;
    for (int i = 0; i < count; ++i) {
        if (chunks[i].baseaddr < kEepromBase) loaded += chunks[i].size;
    }
    if (loaded != summary.flashBytes) throw SimError(where + " could not be read completely");

    std::memset(avr_->flash, 0xff, avr_->flashend + 1);
    for (int i = 0; i < count; ++i) {
        const ihex_chunk_t& chunk = chunks[i];
        if (chunk.baseaddr >= kEepromBase) {
            loadEeprom(avr_, chunk.data, chunk.size, chunk.baseaddr - kEepromBase);
        } else {
            avr_loadcode(avr_, chunk.data, chunk.size, chunk.baseaddr);
        }
    }
    firmwarePath_ = path;
    reset();
}

void SimTarget::setFrequency(uint32_t hz) {
    if (hz == 0) throw SimError("the clock frequency must be greater than 0 Hz");
    avr_->frequency = hz;
}

uint32_t SimTarget::frequency() const { return avr_->frequency; }

bool SimTarget::step() {
    if (avr_->state == cpu_Done || avr_->state == cpu_Crashed) return false;
    CurrentTarget current(this);
    runOne();
    return true;
}

void SimTarget::runOne() {
    avr_run(avr_);
    continueFreeRunning();
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
    if (adcsraHook_) adcsraHook_->freeRunning = false;
    installHooks();
}

RunState SimTarget::state() const {
    switch (avr_->state) {
        case cpu_Sleeping:
            return RunState::Sleeping;
        case cpu_Done:
            return RunState::Done;
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
    if (start < kSpecialEnd) {
        for (uint32_t a = start; a < end && a < kSpecialEnd; ++a)
            if (special_[a]) out[a - start] = readByte(a);
    }
    return true;
}

bool SimTarget::write(LONG kind, uint32_t address, const uint8_t* data, uint32_t count) {
    const uint32_t size = memorySize(kind);
    if (size == 0 || (count > 0 && !data) || address > size || count > size - address) return false;
    const uint32_t start = (kind == kMemoryIo ? kIoBase : 0) + address;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t a = start + i;
        if (a < kSpecialEnd && special_[a]) {
            writeByte(a, data[i]);
        } else {
            avr_->data[a] = data[i];
        }
    }
    return true;
}

uint8_t SimTarget::io(unsigned index) const {
    return index < kIoSize ? readByte(kIoBase + index) : 0;
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
    if (messages_.size() < 1000) messages_.push_back(std::move(text));
}

SimTarget::PortState* SimTarget::portByPin(uint32_t dataAddress) {
    for (auto& port : ports_)
        if (port->info->pin == dataAddress) return port.get();
    return nullptr;
}

const SimTarget::PortState* SimTarget::portByPin(uint32_t dataAddress) const {
    for (const auto& port : ports_)
        if (port->info->pin == dataAddress) return port.get();
    return nullptr;
}

uint8_t SimTarget::pinView(const PortState& port) const {
    const uint8_t ddr = avr_->data[port.info->ddr];
    const uint8_t out = avr_->data[port.info->port];
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

uint8_t SimTarget::readByte(uint32_t address) const {
    if (address == R_SREG) {
        uint8_t flags = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (avr_->sreg[bit]) flags |= static_cast<uint8_t>(1u << bit);
        return flags;
    }
    if (const PortState* port = portByPin(address)) return pinView(*port);
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
        syncPinStorage(*port);
        return;
    }
    avr_->data[address] = value;
}

}  // namespace quill::sim

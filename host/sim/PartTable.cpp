#include "host/sim/PartTable.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "contract/HostProtocol.h"
#include "core/PartDescriptionFile.h"
#include "host/sim/SimLog.h"

extern "C" {
#include <avr_adc.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
}

namespace quill::sim {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// A simavr core made and initialised for inspection, freed at the end.
struct Core {
    avr_t* avr = nullptr;
    ~Core() {
        if (!avr) return;
        avr_terminate(avr);
        std::free(avr);
    }
};

// The ELF architectures whose code has this core's interrupt vectors and
// program counter: 3-byte PC (avr6); more than 64 KiB of flash reached
// with RAMPZ (avr31, avr51); 4-byte vectors (avr3, avr35, avr5); 2-byte
// vectors (avr2, avr25, avr4). Whether the part multiplies tells the
// members of a group apart; the device an ELF file names does that.
std::vector<int> archsOf(const avr_t& avr) {
    if (avr.address_size == 3) return {6};
    if (avr.flashend + 1u > 0x10000u) return {31, 51};
    if (avr.vector_size == 4) return {3, 35, 5};
    return {2, 25, 4};
}

// The register name -> data address map of a description.
using Addresses = std::map<std::string, uint16_t>;

// ANALOG_CONVERTER/<group>/<BIT>/REGISTER and BIT, in file order.
std::vector<PartInfo::Bit> converterBits(const TiXmlDocument& doc, const char* group,
                                         const Addresses& registers, std::string* error) {
    std::vector<PartInfo::Bit> bits;
    const TiXmlElement* part = doc.FirstChildElement("AVRPART");
    const TiXmlElement* converter = part ? part->FirstChildElement("ANALOG_CONVERTER") : nullptr;
    const TiXmlElement* list = converter ? converter->FirstChildElement(group) : nullptr;
    if (!list) return bits;
    for (const TiXmlElement* e = list->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const TiXmlElement* reg = e->FirstChildElement("REGISTER");
        const TiXmlElement* bit = e->FirstChildElement("BIT");
        const char* regText = reg ? reg->GetText() : nullptr;
        const char* bitText = bit ? bit->GetText() : nullptr;
        const auto at = regText ? registers.find(lower(regText)) : registers.end();
        const int number = bitText ? std::atoi(bitText) : -1;
        if (at == registers.end() || !bitText || std::strlen(bitText) != 1 || number < 0 ||
            number > 7) {
            *error = "converter bit " + std::string(e->Value()) +
                     " names no register and bit 0..7 of the part";
            return {};
        }
        bits.push_back({at->second, static_cast<uint8_t>(1u << number)});
    }
    return bits;
}

// The description file of `name` in `folder`, found without regard to case.
std::optional<std::filesystem::path> findFile(const std::string& folder, std::string_view name) {
    std::error_code ec;
    std::optional<std::filesystem::path> found;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() != ".xml" || lower(path.stem().string()) != lower(name)) continue;
        // The exact spelling wins over another case of it.
        if (!found || path.stem() == name) found = path;
    }
    return found;
}

// The port pin ("PB0") whose package pin lists `function` among its
// functions ("[PB0:MOSI:...:!OC1A:...]"), in the first package that has it.
std::optional<PartInfo::TopTimer::Pin> pinWithFunction(const TiXmlDocument& doc,
                                                      const PartInfo& part,
                                                      std::string_view function) {
    const TiXmlElement* root = doc.FirstChildElement("AVRPART");
    const TiXmlElement* packages = root ? root->FirstChildElement("PACKAGE") : nullptr;
    if (!packages) return std::nullopt;
    for (const TiXmlElement* package = packages->FirstChildElement(); package;
         package = package->NextSiblingElement()) {
        for (const TiXmlElement* pin = package->FirstChildElement(); pin;
             pin = pin->NextSiblingElement()) {
            const TiXmlElement* name = pin->FirstChildElement("NAME");
            const char* text = name ? name->GetText() : nullptr;
            if (!text) continue;
            std::string_view list(text);
            if (list.starts_with('[')) list.remove_prefix(1);
            if (list.ends_with(']')) list.remove_suffix(1);
            std::vector<std::string_view> names;
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t end = std::min(list.find(':', at), list.size());
                names.push_back(list.substr(at, end - at));
                at = end + 1;
            }
            if (std::find(names.begin(), names.end(), function) == names.end()) continue;
            const std::string_view first = names.front();
            if (first.size() != 3 || first[0] != 'P' || first[2] < '0' || first[2] > '7') continue;
            const PartInfo::Port* port = part.port(first[1]);
            if (!port) continue;
            return PartInfo::TopTimer::Pin{port->port, static_cast<uint8_t>(first[2] - '0')};
        }
    }
    return std::nullopt;
}

// Fills the part from its parsed description and simavr's core.
bool describe(const TiXmlDocument& doc, const avr_t& avr, PartInfo& part, std::string* error) {
    std::string why;
    const std::optional<partfile::IoRegisters> io = partfile::readIoRegisters(doc, &why);
    if (!io) {
        *error = why;
        return false;
    }
    Addresses registers;
    for (const partfile::IoRegister& r : io->registers)
        registers.emplace(lower(r.name), static_cast<uint16_t>(kRegisterBankBase + r.address));
    auto address = [&](const std::string& name) -> uint16_t {
        const auto at = registers.find(lower(name));
        return at == registers.end() ? 0 : at->second;
    };
    // A described address (0: not described) is the core's.
    auto fits = [](uint16_t described, uint16_t core) { return !described || described == core; };

    part.flashBytes = avr.flashend + 1u;
    part.ramEnd = avr.ramend;
    part.sramStart = static_cast<uint16_t>(io->sram.start);
    if (io->sram.start + io->sram.size - 1 != avr.ramend) {
        *error = "SRAM ends at " + hex(io->sram.start + io->sram.size - 1u) + ", RAMEND at " +
                 hex(avr.ramend);
        return false;
    }
    part.elfArchs = archsOf(avr);

    // Ports: the core's, each with the description's three registers at
    // the core's addresses; a described port the core lacks is refused.
    for (avr_io_t* io_ = avr.io_port; io_; io_ = io_->next) {
        if (std::strcmp(io_->kind, "port") == 0) {
            const auto* p = reinterpret_cast<const avr_ioport_t*>(io_);
            const std::string letter(1, p->name);
            // A register the description leaves out (or whose entry it
            // could not use) is the core's; one it places elsewhere is a
            // description of another part.
            const PartInfo::Port port{p->name, p->r_pin, p->r_ddr, p->r_port};
            if (!fits(address("PIN" + letter), port.pin) ||
                !fits(address("DDR" + letter), port.ddr) ||
                !fits(address("PORT" + letter), port.port)) {
                *error = "PIN" + letter + ", DDR" + letter + ", PORT" + letter + " not at " +
                         hex(p->r_pin) + ", " + hex(p->r_ddr) + ", " + hex(p->r_port);
                return false;
            }
            // The target marks pin registers over the register bank only.
            if (port.pin >= part.sramStart || port.ddr >= part.sramStart ||
                port.port >= part.sramStart) {
                *error = "port " + letter + " lies past the registers, in SRAM";
                return false;
            }
            part.ports.push_back(port);
        } else if (std::strcmp(io_->kind, "uart") == 0) {
            part.usarts.push_back(reinterpret_cast<const avr_uart_t*>(io_)->name - '0');
        } else if (std::strcmp(io_->kind, "adc") == 0) {
            const auto* adc = reinterpret_cast<const avr_adc_t*>(io_);
            part.adcl = adc->r_adcl;
            part.adch = adc->r_adch;
            part.adcsra = adc->r_adcsra;
            if (!fits(address("ADCL"), part.adcl) || !fits(address("ADCH"), part.adch) ||
                !fits(address("ADCSRA"), part.adcsra)) {
                *error = "ADCL, ADCH, ADCSRA not at " + hex(adc->r_adcl) + ", " +
                         hex(adc->r_adch) + ", " + hex(adc->r_adcsra);
                return false;
            }
        }
    }
    for (char letter = 'A'; letter <= 'L'; ++letter) {
        if (address("PORT" + std::string(1, letter)) && !part.port(letter)) {
            *error = "port " + std::string(1, letter) + ", which the core lacks";
            return false;
        }
    }
    std::sort(part.ports.begin(), part.ports.end(),
              [](const auto& a, const auto& b) { return a.letter < b.letter; });
    std::sort(part.usarts.begin(), part.usarts.end());

    if (address("TCCR1") && address("GTCCR") && address("TCNT1") && address("OCR1C")) {
        PartInfo::TopTimer timer;
        timer.tccr = address("TCCR1");
        timer.gtccr = address("GTCCR");
        timer.tcnt = address("TCNT1");
        timer.ocrc = address("OCR1C");
        timer.invertedA = pinWithFunction(doc, part, "!OC1A").value_or(PartInfo::TopTimer::Pin{});
        timer.invertedB = pinWithFunction(doc, part, "!OC1B").value_or(PartInfo::TopTimer::Pin{});
        part.topTimer = timer;
    }

    if (part.adcsra) {
        // The converter's own section; without it the layout every part
        // had before it: the free-running bit is ADCSRA's bit 5 and the
        // trigger (where SFIOR exists) SFIOR's bits 7..5.
        const std::vector<PartInfo::Bit> free =
            converterBits(doc, "FREE_RUNNING_BIT", registers, error);
        if (!error->empty()) return false;
        part.trigger = converterBits(doc, "TRIGGER_BITS", registers, error);
        if (!error->empty()) return false;
        const TiXmlElement* root = doc.FirstChildElement("AVRPART");
        if (!root || !root->FirstChildElement("ANALOG_CONVERTER")) {
            part.freeRunning = {part.adcsra, 0x20};
            if (const uint16_t sfior = address("SFIOR"))
                part.trigger = {{sfior, 0x80}, {sfior, 0x40}, {sfior, 0x20}};
        } else if (free.size() == 1) {
            part.freeRunning = free.front();
        }
    }
    return true;
}

}  // namespace

const PartInfo::Port* PartInfo::port(char letter) const {
    for (const Port& p : ports)
        if (p.letter == letter) return &p;
    return nullptr;
}

std::string defaultPartFolder() { return QUILL_DEFAULT_PART_FOLDER; }

std::optional<PartInfo> loadPart(const std::string& folder, std::string_view name,
                                 std::string* error) {
    error->clear();
    const std::optional<std::filesystem::path> file = findFile(folder, name);
    if (!file) {
        *error = "no part description of \"" + std::string(name) + "\" in " + folder;
        return std::nullopt;
    }
    PartInfo part;
    part.name = file->stem().string();
    part.core = lower(part.name);
    TiXmlDocument doc;
    if (std::string why = partfile::load(file->string(), &doc); !why.empty()) {
        *error = why;
        return std::nullopt;
    }
    installSimLogger();
    const SimLogScope quiet = SimLogScope::quiet();
    Core core;
    core.avr = avr_make_mcu_by_name(part.core.c_str());
    if (!core.avr) {
        *error = "simavr has no core for the " + part.name;
        return std::nullopt;
    }
    if (initCore(core.avr) != 0) {
        std::free(core.avr);
        core.avr = nullptr;
        *error = "simavr could not initialise the " + part.name;
        return std::nullopt;
    }
    std::string why;
    if (!describe(doc, *core.avr, part, &why)) {
        *error = "the " + part.name + " description does not match simavr's core: " + why;
        return std::nullopt;
    }
    return part;
}

std::vector<std::string> runnableParts(const std::string& folder,
                                       std::map<std::string, std::string>* refused) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() != ".xml" || !it->is_regular_file(ec)) continue;
        names.push_back(path.stem().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> runnable;
    for (const std::string& name : names) {
        std::string why;
        if (loadPart(folder, name, &why)) {
            runnable.push_back(name);
        } else if (refused) {
            (*refused)[name] = why;
        }
    }
    return runnable;
}

std::string archList(const std::vector<int>& archs) {
    std::string text;
    for (std::size_t k = 0; k < archs.size(); ++k) {
        if (k > 0) text += k + 1 == archs.size() ? " or " : ", ";
        text += "avr" + std::to_string(archs[k]);
    }
    return text;
}

}  // namespace quill::sim

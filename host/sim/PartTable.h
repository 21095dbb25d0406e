// The parts the simulator runs, as data: each is a part description file
// (Partdescriptionfiles/<part>.xml) whose part simavr has a core for. What
// the target needs of a part is read from the two and checked against each
// other, so that a part added is a file added:
//
//   from the description file  the name, the converter's free-running and
//                              trigger bits, the SRAM start; its PINx/DDRx/
//                              PORTx (ports A..L) and ADCL/ADCH/ADCSRA must
//                              lie where the core has them (one it leaves
//                              out, or whose entry is unusable, is the core's)
//   from simavr's core         flash size, RAMEND, the ports, USARTs and
//                              converter it simulates, the program counter
//                              and vector size (the ELF architectures)
//
// A description whose registers do not match the core's (another part's
// SRAM or addresses, a port simavr lacks) is refused with the reason, as is
// one for which simavr has no core. The signature is not compared: simavr
// 1.6 gives its ATmega644P core the ATmega644's. Toolkit-free.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quill::sim {

struct PartInfo {
    std::string name;  // "ATmega16", as its description file is named
    std::string core;  // simavr's core, "atmega16"
    // The ELF architecture numbers (avr5 = 5) of code the core runs: those
    // with its vector size and program counter width.
    std::vector<int> elfArchs;
    uint32_t flashBytes = 0;
    uint16_t ramEnd = 0;     // last data address
    uint16_t sramStart = 0;  // first SRAM address; the registers lie below
    // Data addresses of each port's registers, by letter.
    struct Port {
        char letter;
        uint16_t pin, ddr, port;
    };
    std::vector<Port> ports;
    // One bit of a register: data address and mask (0 = none).
    struct Bit {
        uint16_t address = 0;
        uint8_t mask = 0;
    };
    // The converter's data addresses (0 = no converter); the bit that
    // starts conversions by themselves (ADATE, ADFR), and the trigger
    // source bits (ADTS, none where there is no trigger: a set free-running
    // bit then always means free running).
    uint16_t adcl = 0, adch = 0, adcsra = 0;
    Bit freeRunning;
    std::vector<Bit> trigger;
    std::vector<int> usarts;  // USART numbers, ascending
    // Timer1 of the kind that counts to a TOP register of its own (OCR1C),
    // in PWM mode and in CTC1, which simavr describes without its modes:
    // present where the description has TCCR1, GTCCR, TCNT1 and OCR1C.
    // Data addresses; the inverted outputs' pins (!OC1A, !OC1B among a
    // package pin's functions) as PORTx address and bit, port 0 = none.
    struct TopTimer {
        uint16_t tccr = 0, gtccr = 0, tcnt = 0, ocrc = 0;
        struct Pin {
            uint16_t port = 0;
            uint8_t bit = 0;
        };
        Pin invertedA, invertedB;
    };
    std::optional<TopTimer> topTimer;

    const Port* port(char letter) const;
};

// The folder the simulator looks in when none is given: the source tree's
// Partdescriptionfiles, for tests and tools run from the build tree.
std::string defaultPartFolder();

// The part `name` (case does not matter) from `folder`'s description
// files. Nothing, with *error saying why, when there is no such file, it
// is unusable, or simavr cannot run what it describes.
std::optional<PartInfo> loadPart(const std::string& folder, std::string_view name,
                                 std::string* error);

// Every described part in `folder` that the simulator runs, by name.
// *refused (when given) gets why for each of the others, by name.
std::vector<std::string> runnableParts(const std::string& folder,
                                       std::map<std::string, std::string>* refused = nullptr);

// "avr3, avr35 or avr5".
std::string archList(const std::vector<int>& archs);

}  // namespace quill::sim

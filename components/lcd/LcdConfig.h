// The wiring and display settings of one LCD window.
#pragma once

#include <array>

// One LCD line on a port pin: a position in the part's port list and a bit.
// Port -1: not wired.
struct LcdPin {
    int port = -1;
    int bit = 0;
    bool operator==(const LcdPin&) const = default;
};

struct LcdConfig {
    bool fourBitInterface = true;  // four data lines (true) or eight
    bool highNibble = true;        // 4-bit: data on bits 7..4 (true) or 3..0
    bool usePinRegister = false;   // read signals from PINx, not DDRx AND PORTx
    int screenSize = 16;           // columns
    int lines = 2;                 // 1, 2 or 4
    int zoom = 2;                  // 1..16
    // Ports are positions in the part's port list; pins are bits 0..7.
    int dataPort = 0;
    int enablePort = 0;
    int enablePin = 1;
    int rsPort = 0;
    int rsPin = 3;
    int rwPort = 0;
    int rwPin = 2;
    // Pin by pin: each data line on a pin of its own (dataPins, D0..D7;
    // D4..D7 only in 4-bit wiring) on any mix of ports, instead of
    // consecutive bits of dataPort.
    bool pinByPin = false;
    std::array<LcdPin, 8> dataPins{};
    // False: R/W tied to ground; every transfer is a write.
    bool rwWired = true;
    bool trace = false;  // append a trace of the instructions to result.txt

    bool operator==(const LcdConfig&) const = default;
};

// Whether `config` describes a display the controller can show; on failure
// `message` (if given) says what to change.
bool ValidLcdConfig(const LcdConfig& config, const char** message = nullptr);

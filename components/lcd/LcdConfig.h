// The wiring and display settings of one LCD window.
#pragma once

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
    bool trace = false;  // append a trace of the instructions to result.txt

    bool operator==(const LcdConfig&) const = default;
};

// Whether `config` describes a display the controller can show; on failure
// `message` (if given) says what to change.
bool ValidLcdConfig(const LcdConfig& config, const char** message = nullptr);

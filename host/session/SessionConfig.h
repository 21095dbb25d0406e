// What the user chose for the next debugging session, and the factory that
// builds its machine.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/session/Debugger.h"

struct SessionConfig {
    std::string installDirectory;  // holds Partdescriptionfiles/
    std::string part = "ATmega16";
    std::string firmware;  // ELF or Intel HEX
    double frequencyMHz = 1.0;
    // The Arduino board the part sits on ("Uno"; empty: none): its pin
    // names show beside the port pins. It holds while the part is the
    // board's part.
    std::string board;
    // The parts the machine factory can run (the simulator's cores). A part
    // description of any other part is not offered; empty when the factory
    // does not say, and then every described part is.
    std::vector<std::string> runnableParts;
};

// Builds the machine for a session; on failure returns null and explains.
using MachineFactory =
    std::function<std::unique_ptr<Machine>(const SessionConfig& config, std::string* error)>;

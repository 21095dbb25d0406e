// quill-host as the benchmarks run it: the main window offscreen with the
// module attached, debugging the benchmark firmware (BenchFirmware.h).
#pragma once

#include <memory>
#include <string>

#include "bench/BenchFirmware.h"
#include "host/ui/MainWindow.h"

namespace bench {

// The host debugging the benchmark firmware with `policy`; null with the
// reason in *error when the firmware or the module is not built.
// `part` chooses another part and its build of the program.
std::unique_ptr<MainWindow> StartHost(RefreshPolicy policy, std::string* error,
                                      const BenchPart& part = kAtmega16);

// Opens the full set: Knight Rider, eight LEDs on PORTA pins 0..7, Keypad,
// Stack view, Hitachi LCD and a Slider on ADC0 (the LCD demo's free-running
// channel); with `everything` also a Switch, a Capacity Measurement and a
// Beerbasement. Components this build does not offer are named in
// *missing; false with *error on any other failure.
// On another part the LEDs and the LCD are wired to part.port.
bool OpenComponents(MainWindow& window, bool everything, std::string* missing, std::string* error,
                    const BenchPart& part = kAtmega16);

// Starts the register logger dumping PORTA..PORTD to `file` (toFile) or
// to the output pane, with a size limit in MB (0: none); false with the
// reason in *error.
bool StartLogger(MainWindow& window, const std::string& file, int limitMegabytes, bool toFile,
                 std::string* error);

// Resident set size of this process in bytes (0 when unknown).
long long ResidentBytes();

}  // namespace bench

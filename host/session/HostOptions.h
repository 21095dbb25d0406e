// Command line of quill-host, parsed without the toolkit so it is tested on
// its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HostOptions {
    bool headless = false;
    bool run = false;   // start running after loading (window mode)
    bool fast = false;  // Run as fast as possible instead of in real time
    std::string part = "ATmega16";
    std::string firmware;
    std::string scenario;
    std::string screenshots;
    std::string lab;     // a lab file (.quill) to start from
    std::string junit;   // JUnit XML report of a headless run (--junit)
    bool quiet = false;  // headless: print only failures and the summary
    std::string module;      // explicit module path (--module)
    std::string installDir;  // folder holding Partdescriptionfiles/
    double frequencyMHz = 1.0;
    // Wall-clock limit of a headless run in seconds; 0 = none. The default
    // ends a run that hangs well before a CI job's own limit.
    double timeLimitSeconds = 300;
    std::string board;              // --board Uno: its part and clock (ApplyBoard)
    bool partGiven = false;         // --part was on the command line
    bool frequencyGiven = false;    // --frequency was on the command line
    std::vector<std::string> open;  // command identifiers to open, e.g. KN
    // --gdb [PORT]: serve GDB clients on that port (0: a free one).
    std::optional<uint16_t> gdbPort;
    std::string vcd;                // --vcd: waveform file written while the program runs
    std::string vcdSignals;         // --signals: its signals, "PA0,PB3,TX"
    // --until-exit (headless, no scenario): runs the firmware until it
    // exits and ends with its verdict.
    bool untilExit = false;
    bool help = false;
    bool version = false;  // --version: print the version and exit
};

// Parses argv[1..]; on error returns nothing and explains in *error.
std::optional<HostOptions> ParseHostOptions(const std::vector<std::string>& args,
                                            std::string* error);

const char* HostUsage();

#include "host/session/HostOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "host/sim/Clock.h"

const char* HostUsage() {
    return "usage: quill-host [--board NAME] [--part NAME] [--firmware FILE.elf|FILE.hex] [--frequency MHZ]\n"
           "                  [--open ID[,ID...]] [--run] [--fast] [--module QuillComponents.so]\n"
           "                  [--install-dir DIR] [LAB.quill]\n"
           "       quill-host --headless [--lab LAB.quill] [--part NAME] [--firmware FILE] --scenario FILE.scn\n"
           "                  [--screenshots DIR] [--frequency MHZ] [--module ...]\n"
           "                  [--time-limit SECONDS] [--junit FILE.xml] [--quiet]\n"
           "       quill-host --headless --firmware FILE --until-exit [--part NAME]\n"
           "                  [--frequency MHZ] [--time-limit SECONDS]\n"
           "       both take [--gdb [PORT]]\n"
           "       both take [--vcd FILE --signals PA0,PB3,TX]\n"
           "\n"
           "  --part         part description to use (default ATmega16, or the scenario's)\n"
           "  --board        Arduino board (Uno, Nano, Mega): its part at 16 MHz, its pin names\n"
           "  --firmware     AVR program, ELF or Intel HEX\n"
           "  --frequency    clock in MHz (default 1)\n"
           "  --open         components to open at start, by command id (KN, LD, SW, KP, STV...)\n"
           "  --run          start the program running (window mode)\n"
           "  --fast         Run as fast as possible instead of in real time (window mode)\n"
           "  --headless     run a scenario without showing windows and exit with its verdict\n"
           "  --scenario     scenario file to run headless\n"
           "  --screenshots  folder for the screenshots the scenario takes\n"
           "  --module       the module to register when the registry names none\n"
           "  --install-dir  folder holding Partdescriptionfiles/\n"
           "  --time-limit   wall-clock limit of a headless run in seconds (default 300,\n"
           "                 0 = none); a run past it fails\n"
           "  --lab          a lab file: part, clock, firmware, windows and layout to start\n"
           "                 from (also given alone: quill-host lab.quill); the command line\n"
           "                 and a scenario's set-up lines override it\n"
           "  --junit        write a JUnit XML report of the headless run (a test case per check)\n"
           "  --version      print the version and exit\n"
           "  --quiet        print only failed steps and the summary\n"
           "  --gdb          accept avr-gdb on 127.0.0.1:PORT (default 1234; 0 picks a free\n"
           "                 port and prints it)\n"
           "  --vcd, --signals  write a waveform file (VCD) of these signals (pins PA0 ...\n"
           "                 PD7, with a board D13, A0; TX, RX) from the start of the program\n"
           "  --until-exit   run the firmware (no scenario) until it exits (exit(n), a return\n"
           "                 from main) and print \"program exited with N after C cycles\"\n"
           "\n"
           "Exit status: 0 the scenario passed, 1 a check failed (or the run hit its time\n"
           "limit), 2 the run could not start or the scenario stopped on an error.\n"
           "With --until-exit: 0 the program exited with 0, 1 with another code (or it\n"
           "stopped without exiting), 2 the time limit ended the run first (or it could\n"
           "not start).\n";
}

std::optional<HostOptions> ParseHostOptions(const std::vector<std::string>& args,
                                            std::string* error) {
    HostOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasInline = false;
        if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasInline = true;
        }
        auto needValue = [&]() -> bool {
            if (hasInline) return true;
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
                *error = "option " + arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--run") {
            options.run = true;
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--until-exit") {
            options.untilExit = true;
        } else if (arg == "--lab") {
            if (!needValue()) return std::nullopt;
            options.lab = value;
        } else if (arg.rfind("--", 0) != 0 && arg.size() > 6 &&
                   arg.compare(arg.size() - 6, 6, ".quill") == 0 && options.lab.empty()) {
            options.lab = arg;
        } else if (arg == "--junit") {
            if (!needValue()) return std::nullopt;
            options.junit = value;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--board") {
            if (!needValue()) return std::nullopt;
            options.board = value;
        } else if (arg == "--part") {
            if (!needValue()) return std::nullopt;
            options.part = value;
            options.partGiven = true;
        } else if (arg == "--firmware") {
            if (!needValue()) return std::nullopt;
            options.firmware = value;
        } else if (arg == "--scenario") {
            if (!needValue()) return std::nullopt;
            options.scenario = value;
        } else if (arg == "--screenshots") {
            if (!needValue()) return std::nullopt;
            options.screenshots = value;
        } else if (arg == "--module") {
            if (!needValue()) return std::nullopt;
            options.module = value;
        } else if (arg == "--install-dir") {
            if (!needValue()) return std::nullopt;
            options.installDir = value;
        } else if (arg == "--frequency") {
            if (!needValue()) return std::nullopt;
            const std::optional<uint32_t> hz = quill::sim::readClockMHz(value);
            if (!hz) {
                *error = "--frequency wants a clock in MHz " + quill::sim::clockRangeMHz() +
                         " (the simulator cannot time a slower one), not \"" + value + "\"";
                return std::nullopt;
            }
            options.frequencyMHz = *hz / 1e6;
            options.frequencyGiven = true;
        } else if (arg == "--time-limit") {
            if (!needValue()) return std::nullopt;
            errno = 0;
            char* end = nullptr;
            double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds) ||
                seconds < 0 || seconds > 7 * 24 * 3600) {
                *error = "--time-limit wants seconds between 0 (no limit) and 604800, not \"" +
                         value + "\"";
                return std::nullopt;
            }
            options.timeLimitSeconds = seconds;
        } else if (arg == "--gdb") {
            // The port is optional: a next word that is a number is it.
            if (!hasInline && i + 1 < args.size() && !args[i + 1].empty() &&
                args[i + 1].find_first_not_of("0123456789") == std::string::npos) {
                value = args[++i];
                hasInline = true;
            }
            if (!hasInline) {
                options.gdbPort = 1234;
                continue;
            }
            char* end = nullptr;
            errno = 0;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || port < 0 || port > 65535) {
                *error = "--gdb wants a port between 0 (any free one) and 65535, not \"" + value +
                         "\"";
                return std::nullopt;
            }
            options.gdbPort = static_cast<uint16_t>(port);
        } else if (arg == "--vcd") {
            if (!needValue()) return std::nullopt;
            options.vcd = value;
        } else if (arg == "--signals") {
            if (!needValue()) return std::nullopt;
            options.vcdSignals = value;
        } else if (arg == "--open") {
            if (!needValue()) return std::nullopt;
            size_t start = 0;
            while (start <= value.size()) {
                size_t comma = value.find(',', start);
                std::string id = value.substr(
                    start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!id.empty()) options.open.push_back(id);
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else {
            *error = "unknown option " + args[i];
            return std::nullopt;
        }
    }
    if (options.vcd.empty() != options.vcdSignals.empty()) {
        *error = "--vcd FILE and --signals PA0,PB3,TX go together";
        return std::nullopt;
    }
    // The firmware may also come from the scenario's own "firmware" line.
    if (options.untilExit) {
        if (!options.headless || !options.scenario.empty() || options.firmware.empty()) {
            *error = "--until-exit runs firmware without a scenario: quill-host --headless "
                     "--firmware FILE --until-exit (a scenario has wait until exit)";
            return std::nullopt;
        }
    } else if (options.headless && !options.help && !options.version) {
        if (options.scenario.empty()) {
            *error = "--headless needs --scenario";
            return std::nullopt;
        }
    }
    return options;
}

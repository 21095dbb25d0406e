// What every benchmark of quill_bench runs, and how it reports.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

// Every configuration runs the same program on an ATmega16 at 16 MHz, the
// clock of most boards: the LCD demo (busy-flag polling on PORTA, the
// converter free running) where it is built, else the running light.
constexpr uint32_t kFrequencyHz = 16000000;

// Every speed benchmark runs the same simulated span from reset, so that
// each covers the same phases of the program (the LCD demo initialises the
// display, writes, shifts, then polls): Slices() iterations of kSliceCycles
// (one run slice of the host: 10 ms of simulated time), 50 (0.5 s) unless
// QUILL_BENCH_SLICES says otherwise (a profiler run takes one).
constexpr uint64_t kSliceCycles = 160000;
inline int Slices() {
    const char* text = std::getenv("QUILL_BENCH_SLICES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 50;
}

inline std::string FirmwarePath() {
    const std::string dir = std::string(QUILL_BINARY_DIR) + "/firmware/";
    if (std::filesystem::exists(dir + "lcd_demo.elf")) return dir + "lcd_demo.elf";
    return dir + "running_light.elf";
}

// A part the host rows run on, with the program built for it and the port
// its display (and the LEDs of the full set) sit on.
struct BenchPart {
    const char* name;
    const char* firmware;  // stem in the build's firmware folder
    char port;
    // The LCD's data lines given pin by pin (the demo's own pins, D4..D7 on
    // bits 4..7 of `port`) instead of as the port's high nibble.
    bool lcdPinByPin = false;
};
inline constexpr BenchPart kAtmega16{"ATmega16", nullptr, 'A'};  // FirmwarePath()
inline constexpr BenchPart kAtmega16LcdPins{"ATmega16", nullptr, 'A', true};
// The same LCD demo built for an ATmega328P: the display on PORTD.
inline constexpr BenchPart kAtmega328P{"ATmega328P", "lcd_demo_atmega328p", 'D'};

inline std::string FirmwarePath(const BenchPart& part) {
    if (!part.firmware) return FirmwarePath();
    return std::string(QUILL_BINARY_DIR) + "/firmware/" + part.firmware + ".elf";
}

inline std::string FirmwareName() { return std::filesystem::path(FirmwarePath()).stem().string(); }

// Instructions per second and the real-time factor (simulated seconds per
// wall-clock second), as rates of the benchmark's wall-clock time.
inline void Report(benchmark::State& state, uint64_t instructions, uint64_t cycles,
                   double frequencyHz) {
    state.SetItemsProcessed(static_cast<int64_t>(instructions));
    state.counters["instr/s"] =
        benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(cycles) / frequencyHz, benchmark::Counter::kIsRate);
}

}  // namespace bench

// The long run: quill-host with every component open runs the benchmark
// firmware for many instructions on the fast path, the way its Run does
// (slices of 10 ms of simulated time, the event loop served between them),
// and reports its resident size at the start, every tenth of the way and at
// the end, to show that memory stays flat and the output pane bounded.
// With QUILL_BENCH_LOG=<file> the register logger writes PORTA to PORTD to
// that file (at most QUILL_BENCH_LOG_LIMIT MB, 100 by default) and the file's
// size is reported too, to show that it stays within its limit.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bench/BenchFirmware.h"
#include "bench/BenchHost.h"

namespace bench {

int LongRun(uint64_t instructions) {
    std::string error, missing;
    auto window = StartHost(RefreshPolicy::WhenNeeded, &error);
    if (!window || !OpenComponents(*window, true, &missing, &error)) {
        std::fprintf(stderr, "quill_bench: %s\n", error.c_str());
        return 1;
    }
    Debugger& debugger = window->debugger();
    Machine* machine = debugger.machine();
    std::printf("long run: %s on an ATmega16 at %.0f MHz, every component open%s%s\n",
                FirmwareName().c_str(), kFrequencyHz / 1e6, missing.empty() ? "" : " ",
                missing.c_str());
    const char* logFile = std::getenv("QUILL_BENCH_LOG");
    if (logFile && *logFile) {
        const char* limitText = std::getenv("QUILL_BENCH_LOG_LIMIT");
        const int limit = limitText ? std::atoi(limitText) : 100;
        if (!StartLogger(*window, logFile, limit, true, &error)) {
            std::fprintf(stderr, "quill_bench: %s\n", error.c_str());
            return 1;
        }
        std::printf("logging PORTA..PORTD to %s, limit %d MB\n", logFile, limit);
    }
    auto logBytes = [logFile]() -> long long {
        std::error_code ec;
        if (!logFile || !*logFile) return -1;
        const auto size = std::filesystem::file_size(logFile, ec);
        return ec ? -1 : static_cast<long long>(size);
    };
    QApplication::processEvents();
    const long long startRss = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    const uint64_t first = debugger.instructionsExecuted();
    auto report = [&](const char* when) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const uint64_t done = debugger.instructionsExecuted() - first;
        std::printf(
            "%-6s %13llu instructions  %8.1f s  %6.2f M instr/s  resident %7.1f MiB  output "
            "pane %lld lines  log file %lld bytes\n",
            when, static_cast<unsigned long long>(done), seconds,
            seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0.0,
            static_cast<double>(ResidentBytes()) / (1024.0 * 1024.0),
            static_cast<long long>(window->outputLines().size()), logBytes());
        std::fflush(stdout);
    };
    report("start");
    uint64_t nextReport = instructions / 10;
    while (debugger.instructionsExecuted() - first < instructions) {
        if (!debugger.runCycles(kSliceCycles)) {
            std::fprintf(stderr, "quill_bench: the program stopped: %s\n",
                         debugger.lastFault().c_str());
            return 1;
        }
        QApplication::processEvents();
        if (debugger.instructionsExecuted() - first >= nextReport && nextReport < instructions) {
            report("");
            nextReport += instructions / 10;
        }
    }
    report("end");
    const long long endRss = ResidentBytes();
    std::printf(
        "resident size: %.1f MiB at the start, %.1f MiB at the end (%+.1f MiB); "
        "simulated %.1f s\n",
        static_cast<double>(startRss) / (1024.0 * 1024.0),
        static_cast<double>(endRss) / (1024.0 * 1024.0),
        static_cast<double>(endRss - startRss) / (1024.0 * 1024.0),
        static_cast<double>(machine->cycles()) / machine->frequencyHz());
    return 0;
}

}  // namespace bench

// quill-host running a demo firmware on an ATmega16 at 16 MHz with the
// plug-in attached, as the host's Run does (runs of cycles, the user
// interface served between them): simulated instructions per second and
// the real-time factor (simulated seconds per wall-clock second; 1.0 = real
// time).
//
//   Host<Policy><Set>
//     Policy  Exact  event 3 after every instruction
//             Fast   event 3 only where the plug-in's refresh filter needs it
//     Set     None   no component window open
//             Full   Knight Rider, eight LEDs on PORTA, Keypad, Stack view,
//                    Hitachi LCD and a Slider on the free-running ADC0
//                    (offscreen); components this
//                    build does not offer are left out and named in the
//                    benchmark's label
//             FullLcdPins  the full set with the LCD's data lines given
//                    pin by pin (the demo's own PA4..PA7)
//             FullBreakpoint  the full set, run as the window's Run does
//                    with one breakpoint set that is never hit
//             Full328P  the full set on an ATmega328P running the same
//                    LCD demo with the display and the LEDs on PORTD
//     ReadCompare  (after the set) the host does not tell the plug-in which
//                    registers changed: it reads and compares the whole
//                    register bank at every refresh
//             FullLogFile / FullLogPane  the full set with the register
//                    logger dumping PORTA..PORTD to a file (no size limit)
//                    or to the output pane
//
// Compare with SimavrAlone (bench_simavr.cpp) in the same run; main.cpp
// prints the table with the ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "bench/BenchFirmware.h"
#include "bench/BenchHost.h"
#include "contract/ResourceIds.h"
#include "host/app/Workbench.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/session/HostSetup.h"
#include "host/sim/SimTargetAccess.h"
#include "host/ui/MainWindow.h"
#include "host/workbench/ModuleAttach.h"

namespace {

const std::string kBin = std::string(QUILL_BINARY_DIR) + "/bin";

// One offscreen application for the whole run; never destroyed, so that it
// outlives every window of every benchmark.
void ensureApplication() {
    if (qApp) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The module registers itself in a registry of the build tree.
    if (!std::getenv("QUILL_REGISTRY")) {
        setenv("QUILL_REGISTRY", (std::string(QUILL_BINARY_DIR) + "/bench-registry.reg").c_str(),
               1);
    }
    static int argc = 1;
    static char name[] = "quill_bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

}  // namespace

namespace bench {

std::unique_ptr<MainWindow> StartHost(RefreshPolicy policy, std::string* error,
                                      const BenchPart& part) {
    const std::string firmware = bench::FirmwarePath(part);
    if (!std::filesystem::exists(firmware) ||
        !std::filesystem::exists(kBin + "/QuillComponents.so")) {
        *error = "firmware or module not built";
        return nullptr;
    }
    ensureApplication();
    HostOptions options;
    options.firmware = firmware;
    options.part = part.name;
    options.partGiven = part.firmware != nullptr;
    options.module = kBin + "/QuillComponents.so";
    options.frequencyMHz = bench::kFrequencyHz / 1e6;
    HostEnvironment env = PrepareHost(options, error);
    if (!error->empty()) return nullptr;
    auto window = BuildWorkbench(env.config, env.factory);
    window->show();
    window->debugger().setRefreshPolicy(policy);
    QString why;
    if (!AttachModule(*window, options, &why) || !window->startDebugging(&why)) {
        *error = why.toStdString();
        return nullptr;
    }
    return window;
}

bool OpenComponents(MainWindow& window, bool everything, std::string* missing, std::string* error,
                    const BenchPart& part) {
    const QString port = QString("@") + QChar(part.port);
    ScenarioExecutor host(window, {});
    auto open = [&](const char* id) {
        const ScenarioExecutor::Result r = host.open(id);
        if (r.outcome == ScenarioExecutor::Outcome::Ok) return true;
        *missing += std::string(missing->empty() ? "without " : ", ") + id;
        return false;
    };
    auto configure = [&](const QString& name, const std::vector<driver::DialogInput>& inputs) {
        const auto r = host.configure(name, inputs);
        if (r.outcome == ScenarioExecutor::Outcome::Ok) return true;
        *error = r.message.toStdString();
        return false;
    };
    open("KN");
    for (int pin = 0; pin < 8; ++pin) {
        if (!open("LD")) break;
        const QString name = pin == 0 ? QString("LED") : QString("LED %1").arg(pin + 1);
        // Pin n of the display's port, watched through DDRx and PORTx.
        if (!configure(name, {{244, port}, {228 + pin, {}}, {237, {}}})) return false;
    }
    open("KP");
    open("STV");
    std::vector<driver::DialogInput> lcd = {{ids::lcd::kDataPort, port},
                                            {ids::lcd::kEnablePin, port + "1"},
                                            {ids::lcd::kRsPin, port + "3"},
                                            {ids::lcd::kRwPin, port + "2"}};
    if (part.lcdPinByPin) {
        lcd.push_back({ids::lcd::kPinByPin, "1"});
        for (int d = 4; d < 8; ++d) lcd.push_back({ids::lcd::kDataPin0 + d, port + QString::number(d)});
    }
    if (open("LCD") && (part.firmware || part.lcdPinByPin) && !configure("Hitachi LCD", lcd))
        return false;
    if (open("AD") &&
        !configure("Slider", {{ids::slider::kChannelList, "ADC0", ids::slider::kGeneralPage},
                              {ids::slider::kUseAvcc, {}, ids::slider::kGeneralPage}}))
        return false;
    if (everything) {
        open("SW");
        open("CM");
        open("BB");
    }
    return true;
}

bool StartLogger(MainWindow& window, const std::string& file, int limitMegabytes, bool toFile,
                 std::string* error) {
    ScenarioExecutor host(window, {});
    ScenarioExecutor::LoggerInputs in;
    in.registers = std::vector<QString>{"PORTA", "PORTB", "PORTC", "PORTD"};
    in.file = QString::fromStdString(file);
    in.directory = QString();
    in.enabled = true;
    in.toFile = toFile;
    in.limitMegabytes = limitMegabytes;
    const ScenarioExecutor::Result r = host.logger(in);
    if (r.outcome == ScenarioExecutor::Outcome::Ok) return true;
    *error = r.message.toStdString();
    return false;
}

long long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    if (!(statm >> pages >> resident)) return 0;
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace bench

namespace {

void runSlices(benchmark::State& state, MainWindow& window) {
    Debugger& debugger = window.debugger();
    Machine* machine = debugger.machine();
    const uint64_t startInstructions = debugger.instructionsExecuted();
    const uint64_t startCycles = machine->cycles();
    const uint64_t startRefreshes = debugger.refreshesSent();
    // As the window's Run: the debugger runs (its views show a running
    // program, not a halt after every slice) one slice at a time, stopping
    // at a breakpoint (one set is looked up after every instruction), with
    // the user interface served between the slices.
    if (!debugger.beginRun()) {
        state.SkipWithError("the program cannot run");
        return;
    }
    for (auto _ : state) {
        const uint64_t until = machine->cycles() + bench::kSliceCycles;
        debugger.runSlice(until, std::chrono::hours(1));
        if (debugger.state() != Debugger::State::Running || machine->cycles() < until) {
            state.SkipWithError(debugger.atBreakpoint() ? "a breakpoint was hit"
                                                        : debugger.lastFault().c_str());
            debugger.breakRun();
            return;
        }
        // Repaints and timers, as between the host's run slices.
        QApplication::processEvents();
    }
    debugger.breakRun();
    bench::Report(state, debugger.instructionsExecuted() - startInstructions,
                  machine->cycles() - startCycles, machine->frequencyHz());
    state.counters["refresh/instr"] =
        static_cast<double>(debugger.refreshesSent() - startRefreshes) /
        static_cast<double>(
            std::max<uint64_t>(1, debugger.instructionsExecuted() - startInstructions));
}

void Host(benchmark::State& state, RefreshPolicy policy, bool full, bool breakpoint = false,
          const bench::BenchPart& part = bench::kAtmega16, bool pushed = true) {
    std::string error, missing;
    quill::sim::SimTargetAccess::offerChanges(pushed);
    auto window = bench::StartHost(policy, &error, part);
    quill::sim::SimTargetAccess::offerChanges(true);
    if (!window) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (full && !bench::OpenComponents(*window, false, &missing, &error, part)) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (!missing.empty()) state.SetLabel(missing);
    // The last word of flash: erased, never executed.
    if (breakpoint) window->session().breakpoints().addresses().add(0x3FFE);
    runSlices(state, *window);
}

void HostExactNone(benchmark::State& state) { Host(state, RefreshPolicy::EveryInstruction, false); }
void HostFastNone(benchmark::State& state) { Host(state, RefreshPolicy::WhenNeeded, false); }
void HostExactFull(benchmark::State& state) { Host(state, RefreshPolicy::EveryInstruction, true); }
void HostFastFull(benchmark::State& state) { Host(state, RefreshPolicy::WhenNeeded, true); }
// The same LCD demo on an ATmega328P (extended I/O: its converter).
void HostExactFull328P(benchmark::State& state) {
    Host(state, RefreshPolicy::EveryInstruction, true, false, bench::kAtmega328P);
}
void HostFastFull328P(benchmark::State& state) {
    Host(state, RefreshPolicy::WhenNeeded, true, false, bench::kAtmega328P);
}
// The rows above with the plug-in reading and comparing the whole bank.
void HostFastNoneReadCompare(benchmark::State& state) {
    Host(state, RefreshPolicy::WhenNeeded, false, false, bench::kAtmega16, false);
}
void HostExactFullReadCompare(benchmark::State& state) {
    Host(state, RefreshPolicy::EveryInstruction, true, false, bench::kAtmega16, false);
}
void HostFastFullReadCompare(benchmark::State& state) {
    Host(state, RefreshPolicy::WhenNeeded, true, false, bench::kAtmega16, false);
}
void HostExactFullReadCompare328P(benchmark::State& state) {
    Host(state, RefreshPolicy::EveryInstruction, true, false, bench::kAtmega328P, false);
}
void HostFastFullReadCompare328P(benchmark::State& state) {
    Host(state, RefreshPolicy::WhenNeeded, true, false, bench::kAtmega328P, false);
}
// The full set with the LCD's data lines given pin by pin (the demo's own
// PA4..PA7): beside HostFastFull, what wiring pin by pin costs.
void HostFastFullLcdPins(benchmark::State& state) {
    Host(state, RefreshPolicy::WhenNeeded, true, false, bench::kAtmega16LcdPins);
}
void HostFastFullBreakpoint(benchmark::State& state) {
    Host(state, RefreshPolicy::WhenNeeded, true, true);
}

// The full set with the register logger dumping PORTA..PORTD, to a file in
// the build tree or to the output pane: what logging costs beside HostFastFull.
void HostLog(benchmark::State& state, bool toFile) {
    std::string error, missing;
    auto window = bench::StartHost(RefreshPolicy::WhenNeeded, &error);
    if (!window || !bench::OpenComponents(*window, false, &missing, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string file = std::string(QUILL_BINARY_DIR) + "/bench-logger.dbg";
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (!bench::StartLogger(*window, file, 0, toFile, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const size_t linesBefore = window->outputLines().size();
    runSlices(state, *window);
    if (toFile) {
        state.counters["log MB"] =
            static_cast<double>(std::filesystem::file_size(file, ignored)) / 1e6;
    } else {
        state.counters["pane lines"] =
            static_cast<double>(window->outputLines().size() - linesBefore);
    }
}
void HostFastFullLogFile(benchmark::State& state) { HostLog(state, true); }
void HostFastFullLogPane(benchmark::State& state) { HostLog(state, false); }

// Opening `count` LED windows one after another, as a scenario's `open LED`
// lines do, laying them out and closing the host: the time per window
// should not grow with the number open (the fitted complexity is N).
void OpenLedWindows(benchmark::State& state) {
    const auto count = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        std::string error;
        auto window = bench::StartHost(RefreshPolicy::WhenNeeded, &error);
        if (!window) {
            state.SkipWithError(error.c_str());
            return;
        }
        ScenarioExecutor host(*window, {});
        state.ResumeTiming();
        for (int64_t i = 0; i < count; ++i) {
            if (host.open("LD").outcome != ScenarioExecutor::Outcome::Ok) {
                state.SkipWithError("the LED window did not open");
                return;
            }
        }
        host.settle();
        window.reset();
    }
    state.SetComplexityN(count);
    state.counters["s/window"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(HostExactNone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(bench::Slices());
BENCHMARK(HostFastNone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(bench::Slices());
BENCHMARK(HostExactFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(bench::Slices());
BENCHMARK(HostFastFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(bench::Slices());
BENCHMARK(HostExactFull328P)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFull328P)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastNoneReadCompare)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostExactFullReadCompare)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFullReadCompare)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostExactFullReadCompare328P)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFullReadCompare328P)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFullLcdPins)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFullBreakpoint)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFullLogFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(HostFastFullLogPane)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());
BENCHMARK(OpenLedWindows)
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

}  // namespace

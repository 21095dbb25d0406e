// quill-host running the running-light firmware on an ATmega16 at 1 MHz with
// the plug-in refreshing after every instruction (event 3), as the host's
// Run does: simulated instructions per second and the real-time factor
// (simulated seconds per wall-clock second; 1.0 = real time).
//
//   HostNoComponents    the real module attached, no component window open
//   HostWithComponents  a Knight Rider bar, eight LEDs on PORTA, a Keypad and
//                       the Stack view open (offscreen)
//   HostWithLcd         the LCD demo (lcd_demo.elf) with a Hitachi LCD open;
//                       after its text the demo polls the busy flag for ever,
//                       so every iteration runs LCD bus cycles
//
// Compare with SimavrAlone (bench_simavr.cpp) in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "host/app/HostSetup.h"
#include "host/app/ScenarioExecutor.h"

namespace {

const std::string kBin = std::string(QUILL_BINARY_DIR) + "/bin";
const std::string kFirmware = std::string(QUILL_BINARY_DIR) + "/firmware/running_light.elf";
const std::string kLcdFirmware = std::string(QUILL_BINARY_DIR) + "/firmware/lcd_demo.elf";
constexpr uint64_t kBatch = 10000;  // instructions per benchmark iteration

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

std::unique_ptr<MainWindow> startHost(benchmark::State& state,
                                      const std::string& firmware = kFirmware) {
    if (!std::filesystem::exists(firmware) ||
        !std::filesystem::exists(kBin + "/QuillComponents.so")) {
        state.SkipWithError("firmware or module not built");
        return nullptr;
    }
    ensureApplication();
    HostOptions options;
    options.firmware = firmware;
    options.module = kBin + "/QuillComponents.so";
    options.frequencyMHz = 1.0;
    std::string error;
    HostEnvironment env = PrepareHost(options, &error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    auto window = std::make_unique<MainWindow>(env.config, env.factory);
    window->show();
    QString why;
    if (!AttachModule(*window, options, &why) || !window->startDebugging(&why)) {
        state.SkipWithError(why.toStdString().c_str());
        return nullptr;
    }
    return window;
}

void runBatches(benchmark::State& state, MainWindow& window) {
    Debugger& debugger = window.debugger();
    Machine* machine = debugger.machine();
    uint64_t instructions = 0;
    const uint64_t startCycles = machine->cycles();
    for (auto _ : state) {
        for (uint64_t i = 0; i < kBatch; ++i) {
            if (!debugger.stepInto()) {
                state.SkipWithError(debugger.lastFault().c_str());
                return;
            }
        }
        instructions += kBatch;
        // Repaints and timers, as the host's run slices let them happen.
        QApplication::processEvents();
    }
    state.SetItemsProcessed(static_cast<int64_t>(instructions));
    state.counters["instr/s"] =
        benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(machine->cycles() - startCycles) / machine->frequencyHz(),
        benchmark::Counter::kIsRate);
}

void HostNoComponents(benchmark::State& state) {
    auto window = startHost(state);
    if (!window) return;
    runBatches(state, *window);
}
BENCHMARK(HostNoComponents)->Unit(benchmark::kMillisecond)->UseRealTime();

void HostWithComponents(benchmark::State& state) {
    auto window = startHost(state);
    if (!window) return;
    ScenarioExecutor host(*window, {});
    auto check = [&](const ScenarioExecutor::Result& r) {
        if (r.outcome != ScenarioExecutor::Outcome::Ok) {
            state.SkipWithError(r.message.toStdString().c_str());
            return false;
        }
        return true;
    };
    if (!check(host.open("KN"))) return;
    for (int pin = 0; pin < 8; ++pin) {
        if (!check(host.open("LD"))) return;
        const QString name = pin == 0 ? QString("LED") : QString("LED %1").arg(pin + 1);
        // PORTA pin n, watched through DDRA and PORTA.
        if (!check(host.configure(name, {{244, "@A"}, {228 + pin, {}}, {237, {}}}))) return;
    }
    if (!check(host.open("KP")) || !check(host.open("STV"))) return;
    runBatches(state, *window);
}
BENCHMARK(HostWithComponents)->Unit(benchmark::kMillisecond)->UseRealTime();

void HostWithLcd(benchmark::State& state) {
    auto window = startHost(state, kLcdFirmware);
    if (!window) return;
    ScenarioExecutor host(*window, {});
    const ScenarioExecutor::Result r = host.open("LCD");
    if (r.outcome != ScenarioExecutor::Outcome::Ok) {
        state.SkipWithError(r.message.toStdString().c_str());
        return;
    }
    runBatches(state, *window);
}
BENCHMARK(HostWithLcd)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

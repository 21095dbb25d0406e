// The host with its instruments at work: the full component set on the LCD
// demo at 16 MHz, the logic analyser recording eight channels (PA0..PA7,
// which the demo drives every few instructions, and so many edges) and the
// serial terminal open. The edges recorded per second give the cost of one
// edge against HostFastFull.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench/BenchFirmware.h"
#include "bench/BenchHost.h"
#include "host/ui/MainWindow.h"
#include "host/instruments/AnalyserDock.h"
#include "host/instruments/TerminalDock.h"

namespace {

void HostFastFullAnalyser(benchmark::State& state) {
    std::string error, missing;
    auto window = bench::StartHost(RefreshPolicy::WhenNeeded, &error);
    if (!window || !bench::OpenComponents(*window, false, &missing, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    quill::instruments::InstrumentHub& hub = window->instruments();
    if (auto* terminal = hub.terminal(0)) terminal->show();
    quill::instruments::AnalyserDock* analyser = hub.analyser();
    analyser->show();
    QString why;
    if (!analyser->record("PA0,PA1,PA2,PA3,PA4,PA5,PA6,PA7", &why)) {
        state.SkipWithError(why.toStdString().c_str());
        return;
    }
    QApplication::processEvents();
    Debugger& debugger = window->debugger();
    Machine* machine = debugger.machine();
    const uint64_t startInstructions = debugger.instructionsExecuted();
    const uint64_t startCycles = machine->cycles();
    for (auto _ : state) {
        if (!debugger.runCycles(bench::kSliceCycles)) {
            state.SkipWithError(debugger.lastFault().c_str());
            return;
        }
        QApplication::processEvents();
    }
    uint64_t edges = 0;
    for (std::size_t c = 0; c < analyser->recorder()->channels(); ++c)
        edges += analyser->recorder()->log(c).total();
    bench::Report(state, debugger.instructionsExecuted() - startInstructions,
                  machine->cycles() - startCycles, machine->frequencyHz());
    state.counters["edges"] = static_cast<double>(edges);
    state.counters["edges/s"] = benchmark::Counter(static_cast<double>(edges), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(HostFastFullAnalyser)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(bench::Slices());

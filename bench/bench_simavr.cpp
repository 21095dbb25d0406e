// simavr running the benchmark firmware (BenchFirmware.h) on an ATmega16 at
// 16 MHz: simulated instructions per second and the real-time factor
// (simulated seconds per wall-clock second; 1.0 = real time).
//
//   SimavrAlone          simavr stepping one instruction at a time
//   SimavrWithRefreshIo  the same, plus after every instruction the target
//                        traffic of one plug-in refresh through
//                        ITargetAccess (read and write the 64 I/O bytes,
//                        read 1024 bytes of data memory, the 32 registers
//                        and the cycle counter), without the plug-in
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "bench/BenchFirmware.h"
#include "host/sim/SimTarget.h"
#include "host/sim/SimTargetAccess.h"

namespace {

using quill::sim::SimTarget;
using quill::sim::SimTargetAccess;

std::shared_ptr<SimTarget> makeTarget(benchmark::State& state) {
    const std::string firmware = bench::FirmwarePath();
    if (!std::filesystem::exists(firmware)) {
        state.SkipWithError(("firmware not built: " + firmware).c_str());
        return nullptr;
    }
    auto target = std::make_shared<SimTarget>("ATmega16", bench::kFrequencyHz);
    target->loadFirmware(firmware);
    return target;
}

void report(benchmark::State& state, const SimTarget& target, uint64_t instructions,
            uint64_t cycles) {
    bench::Report(state, instructions, cycles, target.frequency());
}

void SimavrAlone(benchmark::State& state) {
    auto target = makeTarget(state);
    if (!target) return;
    uint64_t instructions = 0;
    const uint64_t startCycles = target->cycles();
    for (auto _ : state)
        instructions += target->runUntilCycle(target->cycles() + bench::kSliceCycles);
    report(state, *target, instructions, target->cycles() - startCycles);
}
BENCHMARK(SimavrAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(bench::Slices());

void SimavrWithRefreshIo(benchmark::State& state) {
    auto target = makeTarget(state);
    if (!target) return;
    SimTargetAccess* access = SimTargetAccess::create(target);
    uint64_t instructions = 0;
    const uint64_t startCycles = target->cycles();
    for (auto _ : state) {
        const uint64_t until = target->cycles() + bench::kSliceCycles;
        while (target->cycles() < until) {
            if (!target->step()) break;
            BSTR io = nullptr, data = nullptr, registers = nullptr;
            access->ReadMemory(kMemoryIo, 0, 64, &io);
            access->WriteMemory(kMemoryIo, 0, io);
            access->ReadMemory(kMemoryData, 0x60, 1024, &data);
            access->ReadMemory(kMemoryRegisters, 0, 32, &registers);
            ULONG cycles = 0;
            access->GetCycleCounter(&cycles);
            benchmark::DoNotOptimize(cycles);
            SysFreeString(io);
            SysFreeString(data);
            SysFreeString(registers);
            ++instructions;
        }
    }
    access->Release();
    report(state, *target, instructions, target->cycles() - startCycles);
}
BENCHMARK(SimavrWithRefreshIo)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(bench::Slices());

}  // namespace

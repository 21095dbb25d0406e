// quill_bench: runs the benchmarks, then prints one table of the
// simulator-speed figures side by side, each beside simavr alone measured
// in the same run. `quill_bench --long-run[=N]` runs the long run instead
// (bench_host_longrun.cpp).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchFirmware.h"
#ifdef QUILL_BENCH_HOST
namespace bench {
int LongRun(uint64_t instructions);
}
#endif

namespace {

struct Row {
    std::string name, label;
    double instructionsPerSecond = 0;  // per wall-clock second
    double realtime = 0;
    double cpuShare = 1;  // CPU time / wall-clock time of the benchmark
    double refreshPerInstruction = -1;
};

// The console output as usual, and the rows of the speed benchmarks kept.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
            if (auto items = run.counters.find("items_per_second"); items != run.counters.end())
                rates[run.benchmark_name()] = items->second.value;
            auto speed = run.counters.find("instr/s");
            auto realtime = run.counters.find("realtime");
            if (speed == run.counters.end() || realtime == run.counters.end()) continue;
            Row row;
            row.name = run.benchmark_name();
            if (auto slash = row.name.find('/'); slash != std::string::npos) row.name.resize(slash);
            row.label = run.report_label;
            row.instructionsPerSecond = speed->second.value;
            row.realtime = realtime->second.value;
            if (run.real_accumulated_time > 0)
                row.cpuShare = run.cpu_accumulated_time / run.real_accumulated_time;
            if (auto r = run.counters.find("refresh/instr"); r != run.counters.end())
                row.refreshPerInstruction = r->second.value;
            rows.push_back(row);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::vector<Row> rows;
    std::map<std::string, double> rates;  // items per second, by benchmark
};

// The LCD wired pin by pin beside its nibble wiring: the host running the
// LCD demo (instructions per CPU second), and one bus cycle alone.
void printLcdWiring(const std::vector<Row>& rows, const std::map<std::string, double>& rates) {
    // Per CPU second (the machine may be busy with other work), the mean
    // of the repetitions.
    auto speed = [&rows](const char* name) {
        double sum = 0;
        int n = 0;
        for (const Row& row : rows) {
            if (row.name != name) continue;
            sum += row.instructionsPerSecond / (row.cpuShare > 0 ? row.cpuShare : 1);
            ++n;
        }
        return n ? sum / n : 0.0;
    };
    auto rate = [&rates](const char* name) {
        auto it = rates.find(name);
        return it == rates.end() ? 0.0 : it->second;
    };
    const struct {
        const char* what;
        double pins, nibble;
    } pairs[] = {
        {"the LCD demo, host with every component (HostFastFullLcdPins / HostFastFull)",
         speed("HostFastFullLcdPins"), speed("HostFastFull")},
        {"one LCD bus cycle, tutorial wiring over two ports (LcdBusCyclePinByPin / LcdBusCycle)",
         rate("LcdBusCyclePinByPin"), rate("LcdBusCycle")},
    };
    bool header = false;
    for (const auto& p : pairs) {
        if (p.pins <= 0 || p.nibble <= 0) continue;
        if (!header) {
            std::printf("\n| LCD wired pin by pin | ratio to the nibble wiring |\n|---|---|\n");
            header = true;
        }
        std::printf("| %s | %.3f |\n", p.what, p.pins / p.nibble);
    }
}

std::string mega(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f M", v / 1e6);
    return text;
}

// One row per configuration: of its repetitions the fastest. On a machine
// whose speed drifts (other guests on the same cores), the fastest run of
// each is the one least slowed by others, and with the repetitions
// interleaved (--benchmark_repetitions=N
// --benchmark_enable_random_interleaving=true) every configuration meets
// the same drift, so the ratios between the rows hold.
std::vector<Row> fastestOfEach(const std::vector<Row>& runs, std::map<std::string, int>* counts) {
    std::vector<Row> rows;
    for (const Row& run : runs) {
        ++(*counts)[run.name];
        Row* same = nullptr;
        for (Row& row : rows)
            if (row.name == run.name) same = &row;
        if (!same)
            rows.push_back(run);
        else if (run.instructionsPerSecond > same->instructionsPerSecond)
            *same = run;
    }
    return rows;
}

void printTable(const std::vector<Row>& runs) {
    std::map<std::string, int> counts;
    const std::vector<Row> rows = fastestOfEach(runs, &counts);
    int repetitions = 0;
    for (const auto& [name, n] : counts) repetitions = std::max(repetitions, n);
    auto perCpu = [](const Row& row) {
        return row.instructionsPerSecond / (row.cpuShare > 0 ? row.cpuShare : 1);
    };
    double simavr = 0, simavrPerCpu = 0;
    for (const Row& row : rows) {
        if (row.name != "SimavrAlone") continue;
        simavr = row.instructionsPerSecond;
        simavrPerCpu = perCpu(row);
    }
    std::printf("\n%s on an ATmega16 at %.0f MHz", bench::FirmwareName().c_str(),
                bench::kFrequencyHz / 1e6);
    if (repetitions > 1)
        std::printf(", each row the fastest of its %d repetitions", repetitions);
    std::printf("\n");
    std::printf(
        "| configuration | instructions/s | real-time factor | ratio to simavr alone "
        "| refreshes/instruction | CPU share | instructions per CPU second | real-time factor "
        "per CPU second | ratio to simavr alone per CPU second |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        char ratio[32] = "-";
        if (simavr > 0)
            std::snprintf(ratio, sizeof ratio, "%.3f", row.instructionsPerSecond / simavr);
        char refresh[32] = "-";
        if (row.refreshPerInstruction >= 0)
            std::snprintf(refresh, sizeof refresh, "%.3f", row.refreshPerInstruction);
        const double share = row.cpuShare > 0 ? row.cpuShare : 1;
        char cpuRatio[32] = "-";
        if (simavrPerCpu > 0)
            std::snprintf(cpuRatio, sizeof cpuRatio, "%.3f", perCpu(row) / simavrPerCpu);
        std::printf("| %s%s%s%s | %s | %.2f | %s | %s | %.0f %% | %s | %.2f | %s |\n",
                    row.name.c_str(), row.label.empty() ? "" : " (", row.label.c_str(),
                    row.label.empty() ? "" : ")", mega(row.instructionsPerSecond).c_str(),
                    row.realtime, ratio, refresh, row.cpuShare * 100,
                    mega(row.instructionsPerSecond / share).c_str(), row.realtime / share,
                    cpuRatio);
    }
    // Each row measured on another part against the same row on the
    // ATmega16 (its name without the part's suffix), in the same run.
    for (const Row& row : rows) {
        constexpr std::string_view kSuffix = "328P";
        if (!std::string_view(row.name).ends_with(kSuffix)) continue;
        const std::string base = row.name.substr(0, row.name.size() - kSuffix.size());
        for (const Row& other : rows) {
            if (other.name != base || other.instructionsPerSecond <= 0) continue;
            std::printf("%s against %s: %.3f (per CPU second %.3f)\n", row.name.c_str(),
                        base.c_str(), row.instructionsPerSecond / other.instructionsPerSecond,
                        perCpu(row) / perCpu(other));
        }
    }
    // Each row beside the same row with the plug-in reading and comparing
    // the whole bank (the host telling it nothing), in the same run.
    for (const Row& row : rows) {
        constexpr std::string_view kMark = "ReadCompare";
        const size_t at = row.name.find(kMark);
        if (at == std::string::npos || row.instructionsPerSecond <= 0) continue;
        const std::string pushed = row.name.substr(0, at) + row.name.substr(at + kMark.size());
        for (const Row& other : rows) {
            if (other.name != pushed) continue;
            std::printf("%s against %s (changes told against read and compared): %.3f (per CPU "
                        "second %.3f)\n",
                        pushed.c_str(), row.name.c_str(),
                        other.instructionsPerSecond / row.instructionsPerSecond,
                        perCpu(other) / perCpu(row));
        }
    }
    std::printf(
        "CPU share below 100 %% means the machine was busy with other work: the "
        "figures are wall-clock rates; per CPU second they are what one idle core would "
        "give.\n");
}

}  // namespace

int main(int argc, char** argv) {
#ifdef QUILL_BENCH_HOST
    // --long-run[=N]: N instructions (10^9 by default) with every component
    // open, resident size reported; no benchmarks.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--long-run") return bench::LongRun(1000000000ULL);
        if (arg.rfind("--long-run=", 0) == 0) {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(arg.c_str() + 11, &end, 10);
            if (!end || *end || n == 0) {
                std::fprintf(stderr, "quill_bench: --long-run=N needs a positive count\n");
                return 2;
            }
            return bench::LongRun(n);
        }
    }
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printTable(reporter.rows);
    printLcdWiring(reporter.rows, reporter.rates);
    return 0;
}

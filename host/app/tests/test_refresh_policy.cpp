// The fast path changes nothing a component sees or does: every demo
// firmware runs twice with a full set of components open, once with event
// 3 after every instruction and once with only the refreshes the plug-in's
// filter asks for, with the same clicks and key presses at the same cycles.
// Compared, cycle by cycle: every change of a register a component watches
// (as the plug-in sees it at a refresh) and every value the plug-in writes
// into the part that changes it (switch and key inputs, LCD read-back,
// converter results and flags); at the end the part's I/O space, data
// memory and cycle count.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <vector>

#include "host/app/HostSetup.h"
#include "host/app/MainWindow.h"
#include "host/app/ScenarioExecutor.h"
#include "host/sim/FirmwareFile.h"
#include "host/sim/SimTarget.h"
#include "host/sim/SimTargetAccess.h"

namespace {

using quill::sim::SimTargetAccess;

struct Event {
    char what;  // 'w' a watched register changed, 'i' the plug-in changed one
    uint64_t cycle;
    uint32_t index;
    uint8_t value;
    bool operator==(const Event&) const = default;
};

struct Trace {
    std::vector<Event> events;
    std::vector<uint8_t> io, data;
    uint64_t cycles = 0, refreshes = 0;
    uint64_t writes = 0;     // I/O writes the plug-in made
    std::string components;  // the components that could be opened
};

// The part a demo was built for: the one its ELF file names (avr-gcc's
// device note), else by its name's ending, else the ATmega16.
std::string partOf(const std::string& path) {
    try {
        const std::string device = quill::sim::readFirmwareFile(path).device;
        std::string ignored;
        if (auto info = quill::sim::loadPart(quill::sim::defaultPartFolder(), device, &ignored))
            return info->name;
    } catch (const std::exception&) {  // not ELF, or unreadable: by name
    }
    const std::string stem = std::filesystem::path(path).stem().string();
    if (stem.ends_with("_atmega8")) return "ATmega8";
    if (stem.ends_with("_atmega32")) return "ATmega32";
    return "ATmega16";
}

class RefreshPolicyTest : public ::testing::TestWithParam<std::string> {
protected:
    Trace run(RefreshPolicy policy) {
        Trace trace;
        const std::string path = GetParam();
        HostOptions options;
        options.part = partOf(path);
        options.firmware = path;
        options.module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
        std::string error;
        HostEnvironment env = PrepareHost(options, &error);
        EXPECT_EQ(error, "");
        auto window = std::make_unique<MainWindow>(env.config, env.factory);
        window->show();
        window->debugger().setRefreshPolicy(policy);
        QString why;
        EXPECT_TRUE(AttachModule(*window, options, &why)) << why.toStdString();
        EXPECT_TRUE(window->startDebugging(&why)) << why.toStdString();
        auto* access = dynamic_cast<SimTargetAccess*>(window->debugger().target());
        if (!access) {
            ADD_FAILURE() << "not the simulator target";
            return trace;
        }
        auto* sim = access->simulator();

        // The registers as the plug-in finds them at each refresh (only
        // those the components watch are kept, below), and what its writes
        // change in the part.
        std::array<int, kMaxRegisterBank> seen;
        seen.fill(-1);
        access->setWriteListener(
            [&](ULONG address, const uint8_t* before, const uint8_t* after, ULONG n) {
                ++trace.writes;
                for (ULONG i = 0; i < n; ++i) {
                    if (before[i] != after[i])
                        trace.events.push_back({'i', sim->cycles(), address + i, after[i]});
                    seen[address + i] = after[i];
                }
            });
        window->debugger().setEventListener([&](LONG event) {
            if (event != kEventHalted) return;
            for (unsigned i = 0; i < sim->bankSize(); ++i) {
                const uint8_t v = sim->io(i);
                if (seen[i] != v) trace.events.push_back({'w', sim->cycles(), i, v});
                seen[i] = v;
            }
        });

        ScenarioExecutor host(*window, {});
        for (const char* id : {"KN", "LD", "LD", "SW", "KP", "STV", "LCD", "AD", "CM", "BB"}) {
            if (host.open(id).outcome == ScenarioExecutor::Outcome::Ok)
                trace.components += std::string(id) + " ";
        }
        // The same inputs at the same cycles in both runs.
        for (int chunk = 0; chunk < 10; ++chunk) {
            if (!window->debugger().runCycles(20000)) break;
            switch (chunk % 4) {
                case 0:
                    host.click("Switch", 0);
                    break;
                case 1:
                    host.hold("Keypad", 0, true);
                    break;
                case 2:
                    host.hold("Keypad", 0, false);
                    break;
                default:
                    host.click("Knightrider", 0);
                    break;
            }
        }
        // Every component was open before the run: the registers the
        // filter names now are those watched throughout.
        const SimTargetAccess::BankMask watched = access->watchedBank();
        std::erase_if(trace.events, [&](const Event& e) {
            return e.what == 'w' && !(watched[e.index / 64] >> (e.index % 64) & 1u);
        });
        trace.io.resize(64);
        sim->read(kMemoryIo, 0, trace.io.data(), 64);
        trace.data.resize(sim->memorySize(kMemoryData));
        sim->read(kMemoryData, 0, trace.data.data(), static_cast<uint32_t>(trace.data.size()));
        trace.cycles = sim->cycles();
        trace.refreshes = window->debugger().refreshesSent();
        access->setWriteListener({});
        window->debugger().setEventListener({});
        return trace;
    }
};

TEST_P(RefreshPolicyTest, FastPathTracesEqualRefreshAfterEveryInstruction) {
    if (!std::filesystem::exists(std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so"))
        GTEST_SKIP() << "module not built";
    const Trace exact = run(RefreshPolicy::EveryInstruction);
    const Trace fast = run(RefreshPolicy::WhenNeeded);
    ASSERT_FALSE(exact.events.empty());
    EXPECT_EQ(exact.components, fast.components);
    EXPECT_EQ(exact.cycles, fast.cycles);
    // Report the first difference rather than two long lists.
    const size_t n = std::min(exact.events.size(), fast.events.size());
    for (size_t i = 0; i < n; ++i) {
        const Event& a = exact.events[i];
        const Event& b = fast.events[i];
        if (!(a == b) && std::getenv("QUILL_TRACE_DUMP")) {
            for (size_t k = (i > 12 ? i - 12 : 0); k < std::min(n, i + 4); ++k)
                std::printf("%zu: %c %lu %02x=%02x | %c %lu %02x=%02x\n", k, exact.events[k].what,
                            (unsigned long)exact.events[k].cycle, exact.events[k].index,
                            exact.events[k].value, fast.events[k].what,
                            (unsigned long)fast.events[k].cycle, fast.events[k].index,
                            fast.events[k].value);
        }
        ASSERT_EQ(a, b) << "event " << i << ": exact " << a.what << " cycle " << a.cycle
                        << " register 0x" << std::hex << a.index << " = 0x" << int(a.value)
                        << std::dec << ", fast " << b.what << " cycle " << b.cycle << " register 0x"
                        << std::hex << b.index << " = 0x" << int(b.value);
    }
    EXPECT_EQ(exact.events.size(), fast.events.size());
    EXPECT_EQ(exact.io, fast.io);
    EXPECT_TRUE(exact.data == fast.data) << "data memory differs";
    // The fast path did leave refreshes out.
    EXPECT_LT(fast.refreshes, exact.refreshes);
    // A refresh writes back only when a component changed a register, not
    // after every instruction.
    EXPECT_LT(exact.writes * 10, exact.refreshes);
}

std::vector<std::string> demoFirmware() {
    std::vector<std::string> files;
    const std::filesystem::path dir = std::string(QUILL_BINARY_DIR) + "/firmware";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().extension() == ".elf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    return std::filesystem::path(info.param).stem().string();
}

INSTANTIATE_TEST_SUITE_P(EveryDemo, RefreshPolicyTest, ::testing::ValuesIn(demoFirmware()),
                         testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RefreshPolicyTest);

}  // namespace

// Neither the fast path nor the changes the host pushes change anything a
// component sees or does: every demo firmware runs three times with a full
// set of components open and the register logger writing to a file, with
// the same clicks and key presses at the same cycles: event 3 after every
// instruction with the plug-in reading and comparing the whole register
// bank at each (the host offers no ITargetChanges), the same with the host
// telling the plug-in what changed, and that with only the refreshes the
// plug-in's filter asks for. Compared, cycle by cycle: every change of a
// register a component watches (as the plug-in sees it at a refresh) and
// every value the plug-in writes into the part that changes it (switch and
// key inputs, LCD read-back, converter results and flags); the LCD's lines
// and cursor after each input; the log file; at the end the part's I/O
// space, data memory and cycle count.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPoint>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <tuple>
#include <vector>

#include "contract/ResourceIds.h"
#include "host/app/Workbench.h"
#include "host/automation/ScenarioExecutor.h"
#include "host/session/HostSetup.h"
#include "host/ui/MainWindow.h"
#include "host/workbench/ComponentDriver.h"
#include "host/workbench/ModuleAttach.h"
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
    std::vector<std::string> lcd;  // the LCD's lines and cursor after each input
    std::string log;               // the register logger's file
    std::string logPath;
    SimTargetAccess::BankMask watched{};  // the filter's registers at the end
};

// Keeps of the writes seen at refreshes those of the registers in `watched`.
void keepWatched(Trace* trace, const SimTargetAccess::BankMask& watched) {
    std::erase_if(trace->events, [&](const Event& e) {
        return e.what == 'w' && !(watched[e.index / 64] >> (e.index % 64) & 1u);
    });
}

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
    // `logging`: with the register logger on the ports and flags.
    Trace run(RefreshPolicy policy, bool pushed, bool logging = true) {
        Trace trace;
        const std::string path = GetParam();
        // Objects made while this holds offer ITargetChanges, or do not.
        struct Offer {
            explicit Offer(bool on) { SimTargetAccess::offerChanges(on); }
            ~Offer() { SimTargetAccess::offerChanges(true); }
        } offer(pushed);
        HostOptions options;
        options.part = partOf(path);
        options.firmware = path;
        options.module = std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so";
        std::string error;
        HostEnvironment env = PrepareHost(options, &error);
        EXPECT_EQ(error, "");
        auto window = BuildWorkbench(env.config, env.factory);
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
        // The logger follows ports, pins, interrupt flags, a timer's count,
        // the converter and a USART's status: registers the program, the
        // peripherals and the components change.
        const std::string log =
            std::string(QUILL_BINARY_DIR) + "/refresh_policy_" +
            std::filesystem::path(path).stem().string() +
            (policy == RefreshPolicy::EveryInstruction ? "_exact" : "_fast") +
            (pushed ? "_pushed" : "_compared") + ".dbg";
        trace.logPath = log;
        std::error_code ignored;
        std::filesystem::remove(log, ignored);
        ScenarioExecutor::LoggerInputs logger;
        logger.registers.emplace();
        for (const char* name :
             {"PORTA", "PINA", "PORTB", "PINB", "DDRB", "PORTC", "PINC", "PORTD", "PIND", "TIFR",
              "TIFR0", "TIFR1", "GIFR", "EIFR", "TCNT0", "ADCSRA", "ADCH", "UCSRA", "UCSR0A"})
            if (host.registerIndex(name) >= 0) logger.registers->push_back(name);
        logger.file = QString::fromStdString(log);
        logger.directory = QString();
        logger.enabled = true;
        logger.toFile = true;
        logger.limitMegabytes = 0;
        if (logging) {
            EXPECT_EQ(host.logger(logger).outcome, ScenarioExecutor::Outcome::Ok);
        }
        auto lcdShows = [&] {
            QWidget* form = driver::findForm(*window, "Hitachi LCD");
            QWidget* panel = form ? driver::findControl(form, ids::lcd::kDisplay) : nullptr;
            if (!panel) return std::string("no LCD");
            const QPoint cursor = panel->property("cursorCell").toPoint();
            return panel->property("visibleLines").toStringList().join("|").toStdString() +
                   " cursor " + std::to_string(cursor.x()) + "," + std::to_string(cursor.y());
        };
        // The same inputs at the same cycles in every run.
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
            trace.lcd.push_back(lcdShows());
        }
        // The log as the plug-in has written it out by now.
        if (logging) {
            logger.enabled = false;
            EXPECT_EQ(host.logger(logger).outcome, ScenarioExecutor::Outcome::Ok);
            std::ifstream in(log, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            trace.log = bytes.str();
        }
        // Every component was open before the run: the registers the
        // filter names now are those watched throughout. Only a run that
        // leaves refreshes out has the plug-in set a filter.
        trace.watched = access->watchedBank();
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

// The first difference of two traces, reported rather than two long lists.
// The dumps of a log from the first one at or after `cycle` on, the first
// dump left out.
std::string dumpsFrom(const std::string& log, uint64_t cycle, uint64_t* second) {
    std::vector<std::pair<uint64_t, size_t>> dumps;  // cycle, offset
    for (size_t at = 0; at < log.size(); at = log.find('\n', at) + 1) {
        if (log[at] == '(') dumps.emplace_back(std::strtoull(log.c_str() + at + 1, nullptr, 10), at);
        if (log.find('\n', at) == std::string::npos) break;
    }
    *second = dumps.size() > 1 ? dumps[1].first : 0;
    for (size_t k = 1; k < dumps.size(); ++k)
        if (dumps[k].first >= cycle) return log.substr(dumps[k].second);
    return {};
}

// `firstDumpAnywhen`: the logger writes its first dump at the first change
// of any register, with or without a change of a logged one, and the fast
// path refreshes only at changes of the watched registers (SP, which the
// start-up code sets first, is not). So the logs are compared from the later
// of their second dumps on; each of those follows a change of a logged
// register, which both paths see at the same instruction.
void expectSameTrace(const Trace& a, const Trace& b, const char* first, const char* second,
                     bool firstDumpAnywhen = false) {
    EXPECT_EQ(a.components, b.components);
    EXPECT_EQ(a.cycles, b.cycles);
    const size_t n = std::min(a.events.size(), b.events.size());
    for (size_t i = 0; i < n; ++i) {
        const Event& x = a.events[i];
        const Event& y = b.events[i];
        if (!(x == y) && std::getenv("QUILL_TRACE_DUMP")) {
            for (size_t k = (i > 12 ? i - 12 : 0); k < std::min(n, i + 4); ++k)
                std::printf("%zu: %c %lu %02x=%02x | %c %lu %02x=%02x\n", k, a.events[k].what,
                            (unsigned long)a.events[k].cycle, a.events[k].index,
                            a.events[k].value, b.events[k].what,
                            (unsigned long)b.events[k].cycle, b.events[k].index,
                            b.events[k].value);
        }
        ASSERT_EQ(x, y) << "event " << i << ": " << first << " " << x.what << " cycle " << x.cycle
                        << " register 0x" << std::hex << x.index << " = 0x" << int(x.value)
                        << std::dec << ", " << second << " " << y.what << " cycle " << y.cycle
                        << " register 0x" << std::hex << y.index << " = 0x" << int(y.value);
    }
    EXPECT_EQ(a.events.size(), b.events.size()) << first << " against " << second;
    EXPECT_EQ(a.lcd, b.lcd) << first << " against " << second;
    std::string logA = a.log, logB = b.log;
    if (firstDumpAnywhen) {
        uint64_t secondA = 0, secondB = 0;
        dumpsFrom(a.log, 0, &secondA);
        dumpsFrom(b.log, 0, &secondB);
        const uint64_t from = std::max(secondA, secondB);
        logA = dumpsFrom(a.log, from, &secondA);
        logB = dumpsFrom(b.log, from, &secondB);
        EXPECT_FALSE(logA.empty()) << a.logPath << ": fewer than two dumps";
    }
    EXPECT_TRUE(logA == logB) << "the register logs differ: " << a.logPath << " against "
                              << b.logPath;
    EXPECT_EQ(a.io, b.io) << first << " against " << second;
    EXPECT_TRUE(a.data == b.data) << "data memory differs, " << first << " against " << second;
}

// What the components did: their writes into the part, the LCD's lines,
// and the part's state at the end.
void expectSameWork(const Trace& a, const Trace& b, const char* first, const char* second) {
    auto writes = [](const Trace& t) {
        std::vector<Event> w;
        std::copy_if(t.events.begin(), t.events.end(), std::back_inserter(w),
                     [](const Event& e) { return e.what == 'i'; });
        return w;
    };
    const std::vector<Event> x = writes(a), y = writes(b);
    const auto at = std::mismatch(x.begin(), x.end(), y.begin(), y.end());
    if (at.first != x.end() && at.second != y.end())
        ADD_FAILURE() << first << " writes register 0x" << std::hex << at.first->index << " = 0x"
                      << int(at.first->value) << " at cycle " << std::dec << at.first->cycle
                      << ", " << second << " register 0x" << std::hex << at.second->index
                      << " = 0x" << int(at.second->value) << " at cycle " << std::dec
                      << at.second->cycle;
    EXPECT_EQ(x.size(), y.size()) << first << " against " << second;
    EXPECT_EQ(a.components, b.components);
    EXPECT_EQ(a.cycles, b.cycles);
    EXPECT_EQ(a.lcd, b.lcd) << first << " against " << second;
    EXPECT_EQ(a.io, b.io) << first << " against " << second;
    EXPECT_TRUE(a.data == b.data) << "data memory differs, " << first << " against " << second;
}

TEST_P(RefreshPolicyTest, PushedChangesAndFastPathTraceAsReadAndCompare) {
    if (!std::filesystem::exists(std::string(QUILL_BINARY_DIR) + "/bin/QuillComponents.so"))
        GTEST_SKIP() << "module not built";
    Trace compared = run(RefreshPolicy::EveryInstruction, false);
    Trace pushed = run(RefreshPolicy::EveryInstruction, true);
    Trace fast = run(RefreshPolicy::WhenNeeded, true);
    // An exact run never consults a filter, so the plug-in sets none there:
    // all three keep the registers the fast run's filter watched.
    for (Trace* t : {&compared, &pushed, &fast}) keepWatched(t, fast.watched);
    ASSERT_FALSE(compared.events.empty());
    EXPECT_FALSE(compared.log.empty());
    expectSameTrace(compared, pushed, "read and compared", "pushed");
    if (HasFatalFailure()) return;
    expectSameTrace(pushed, fast, "exact", "fast", true);
    // The fast path did leave refreshes out.
    EXPECT_LT(fast.refreshes, pushed.refreshes);
    // A refresh writes back only when a component changed a register, not
    // after every instruction.
    EXPECT_LT(pushed.writes * 10, pushed.refreshes);
    // Without the logger on its port, the LCD alone watches its enable
    // line and lets E's falls wait (the logger watches every bit of the
    // ports): the components still do the same, at the same cycles.
    Trace unlogged = run(RefreshPolicy::WhenNeeded, true, false);
    expectSameWork(pushed, unlogged, "exact", "fast without the logger");
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

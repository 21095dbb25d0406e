#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <limits>

#include "host/session/OutputLog.h"
#include "host/session/RunPacer.h"
#include "platform/files.h"

namespace {

using namespace std::chrono_literals;
using Clock = RunPacer::Clock;

constexpr double kHz = 16e6;  // 16,000 cycles per millisecond

TEST(RunPacer, RealTimeFollowsTheWallClockAndWaitsWhenAhead) {
    RunPacer pacer;
    ASSERT_EQ(pacer.mode(), RunPacer::Mode::RealTime);
    const Clock::time_point t0{};
    pacer.start(1000, kHz, t0);
    EXPECT_EQ(pacer.sliceLimit(1000, t0 + 10ms), 1000u + 160000u);
    // The slice reached the limit; the next one at the same instant may do
    // nothing, and the window then waits instead of spinning.
    EXPECT_EQ(pacer.sliceDone(161000, 40000, t0 + 10ms), 0ms);
    EXPECT_EQ(pacer.sliceLimit(161000, t0 + 10ms), 161000u);
    EXPECT_EQ(pacer.sliceDone(161000, 0, t0 + 10ms), RunPacer::kAheadPause);
}

TEST(RunPacer, ASlowMachineBuildsNoDebtAndAResetStartsOver) {
    RunPacer pacer;
    const Clock::time_point t0{};
    pacer.start(0, kHz, t0);
    // One second later only 1 ms was simulated: the limit is at most the
    // allowed lag ahead, not the whole second.
    const uint64_t limit = pacer.sliceLimit(16000, t0 + 1s);
    EXPECT_EQ(limit, 16000u + 100u * 16000u);
    // Cycles below the last seen: the part was reset, pacing starts there.
    EXPECT_EQ(pacer.sliceLimit(0, t0 + 1s + 1ms), 0u);
    EXPECT_EQ(pacer.sliceLimit(0, t0 + 1s + 2ms), 16000u);
}

TEST(RunPacer, AsFastAsPossibleHasNoLimitAndSwitchingBackStartsFromNow) {
    RunPacer pacer;
    pacer.setMode(RunPacer::Mode::AsFastAsPossible);
    const Clock::time_point t0 = Clock::now();
    pacer.start(0, kHz, t0);
    EXPECT_EQ(pacer.sliceLimit(0, t0 + 5ms), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(pacer.sliceDone(5000000, 0, t0 + 5ms), 0ms);
    // Back to real time: the run far ahead of the clock is not held back
    // for the time it ran free.
    pacer.setMode(RunPacer::Mode::RealTime);
    const uint64_t limit = pacer.sliceLimit(5000000, Clock::now() + 1ms);
    EXPECT_GE(limit, 5000000u + 16000u);
    EXPECT_LT(limit, 5000000u + 16000u * 50u);
}

TEST(RunPacer, AchievedSpeedIsSimulatedTimePerWallClockTime) {
    RunPacer pacer;
    pacer.setMode(RunPacer::Mode::AsFastAsPossible);
    const Clock::time_point t0{};
    pacer.start(0, kHz, t0);
    pacer.sliceDone(1000000, 1, t0 + 100ms);
    EXPECT_LT(pacer.achievedPercent(), 0);  // not a whole window yet
    // 16 M cycles in 0.5 s at 16 MHz: 2x real time.
    pacer.sliceDone(8000000, 1, t0 + 500ms);
    EXPECT_DOUBLE_EQ(pacer.achievedPercent(), 100.0);
    pacer.sliceDone(8000000 + 16000000, 1, t0 + 1000ms);
    EXPECT_DOUBLE_EQ(pacer.achievedPercent(), 200.0);
}

// The log keeps its last lines in memory; a save gives every line written
// since the last clear, those trimmed away included (spooled to a file in
// blocks: 200,000 lines pass the spool's block several times).
TEST(OutputLog, KeepsTheLastLinesAndSavesEveryLine) {
    OutputLog log(3);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quill-output-log-" + std::to_string(::getpid()) + ".txt"))
                                 .string();
    auto saved = [&] {
        std::string error, bytes;
        EXPECT_TRUE(log.saveTo(path, &error)) << error;
        EXPECT_TRUE(quill::files::readRegularFile(path, 64u << 20, "output", &bytes, &error))
            << error;
        return bytes;
    };
    for (int i = 1; i <= 5; ++i) log.add("Debugger", "line " + std::to_string(i));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.line(0).text, "line 3");
    EXPECT_EQ(log.dropped(), 2);
    EXPECT_EQ(log.written(), 5);
    EXPECT_EQ(saved(), "[Debugger] line 1\n[Debugger] line 2\n[Debugger] line 3\n"
                       "[Debugger] line 4\n[Debugger] line 5\n");

    log.clear();
    EXPECT_EQ(log.size(), 0u);
    EXPECT_EQ(log.dropped(), 5);
    constexpr int kLines = 200000;
    std::string expected;
    for (int i = 0; i < kLines; ++i) {
        const std::string category = i % 3 ? "QuillComponents" : "Debugger";
        const std::string text = "PORTA=0x" + std::to_string(i);
        log.add(category, text);
        expected += "[" + category + "] " + text + "\n";
    }
    EXPECT_EQ(log.written(), 5 + kLines);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(log.categoryCount(), 2u);
    const std::string all = saved();
    EXPECT_GT(all.size(), 2 * OutputLog::kSpoolBlockBytes);
    EXPECT_TRUE(all == expected) << all.size() << " bytes saved, " << expected.size() << " written";
    log.clear();
    log.add("X", "after");
    EXPECT_EQ(saved(), "[X] after\n");
    std::filesystem::remove(path);
}

}  // namespace

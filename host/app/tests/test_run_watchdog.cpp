// The last resort of a headless run's time limit: a run stuck past it (a
// call that never returns to the run's own checks, here a long sleep) is
// ended with exit status 1, the message naming what it was doing, and the
// JUnit report asked for written with that error; a run whose verdict is
// in is cut short with that verdict; a run that ends in time is let be.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/automation/RunWatchdog.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void stuck(const std::string& junit, int decided) {
    HostOptions options;
    options.timeLimitSeconds = 0.05;
    options.scenario = "/somewhere/s.scn";
    options.junit = junit;
    RunWatchdog watchdog(options, RunWatchdog::Clock::now(), stderr, 0.1);
    watchdog.phase("opening the lab's windows");
    if (decided >= 0) watchdog.decided(decided);
    std::this_thread::sleep_for(std::chrono::seconds(30));
    std::exit(5);
}

TEST(RunWatchdog, EndsARunStuckPastItsLimit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // One name for the test and the process that runs the death test (the
    // test binary again, under another process number).
    const fs::path junit = fs::path(QUILL_BINARY_DIR) / "watchdog-report.xml";
    fs::remove(junit);
    EXPECT_EXIT(stuck(junit.string(), -1), ::testing::ExitedWithCode(1),
                "quill-host: the run took longer than its time limit of 0.05 s \\(--time-limit\\) "
                "and was stuck opening the lab's windows; it was ended");
    std::stringstream report;
    report << std::ifstream(junit).rdbuf();
    EXPECT_NE(report.str().find("was stuck opening the lab&apos;s windows; it was ended"),
              std::string::npos)
        << report.str();
    EXPECT_NE(report.str().find("<error"), std::string::npos) << report.str();
    fs::remove(junit);

    // The verdict was in: the teardown is cut short with it, nothing written.
    EXPECT_EXIT(stuck(junit.string(), 0), ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(fs::exists(junit));

    // In time: the watchdog goes with the run, at once.
    HostOptions options;
    options.timeLimitSeconds = 0.05;
    const auto begun = RunWatchdog::Clock::now();
    { RunWatchdog watchdog(options, begun + std::chrono::hours(1), stderr, 0.1); }
    EXPECT_LT(RunWatchdog::Clock::now() - begun, std::chrono::seconds(1));
}

}  // namespace

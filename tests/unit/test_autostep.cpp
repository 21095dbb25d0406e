// Autostep INTO: the stepping timer's life and what a tick sends.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "debugaids/Autostep.h"
#include "platform/keyboard.h"
#include "platform/window.h"
#include "test_core_fixture.h"
#include "tests/support/KeyRecorder.h"

namespace {

HWND handle(uintptr_t n) { return reinterpret_cast<HWND>(n); }

// Timers as a host keeps them; the test fires them by hand.
struct FakeTimers : ITimerService {
    FakeTimers() { SetTimerService(this); }
    ~FakeTimers() override { SetTimerService(nullptr); }
    bool SetTimer(HWND w, uintptr_t id, uint32_t elapse, TIMERPROC proc) override {
        timers[{w, id}] = {elapse, proc};
        ++sets;
        return true;
    }
    bool KillTimer(HWND w, uintptr_t id) override { return timers.erase({w, id}) > 0; }
    // Every running timer fires once.
    void fire() {
        auto now = timers;
        for (auto& [key, timer] : now) timer.second(key.first, WM_TIMER, key.second, 0);
    }
    std::map<std::pair<HWND, uintptr_t>, std::pair<uint32_t, TIMERPROC>> timers;
    int sets = 0;
};

// The host's main window and the active window, as the platform reports them.
struct Desktop {
    Desktop(HWND mainWindow, HWND active) : main(mainWindow), activeWindow(active) {
        SetMainWindowProvider([this] { return main; });
        SetActiveWindowProvider([this] { return activeWindow; });
    }
    ~Desktop() {
        SetMainWindowProvider(nullptr);
        SetActiveWindowProvider(nullptr);
    }
    HWND main;
    HWND activeWindow;
};

}  // namespace

TEST(Autostep, StepsOnlyWhileItsWindowIsActiveAndStopsForGood) {
    FakeTimers timers;
    KeyRecorder keys;
    Desktop desktop(handle(10), handle(10));
    Autostep autostep;

    EXPECT_TRUE(autostep.Toggle(handle(10)));
    ASSERT_EQ(timers.timers.size(), 1u);
    auto [key, timer] = *timers.timers.begin();
    EXPECT_EQ(key, (std::pair<HWND, uintptr_t>{handle(10), 1}));
    EXPECT_EQ(timer.first, 100u);

    timers.fire();
    timers.fire();
    EXPECT_EQ(keys.presses(VK_F11), 2);
    EXPECT_EQ(keys.events.size(), 4u);

    desktop.activeWindow = handle(11);  // another window in front: no key
    timers.fire();
    EXPECT_EQ(keys.presses(VK_F11), 2);
    // Another timer id on the same window is not autostep's.
    Autostep::TimerProc(handle(10), WM_TIMER, 2, 0);
    EXPECT_EQ(keys.presses(VK_F11), 2);

    EXPECT_FALSE(autostep.Toggle(handle(10)));  // second ASI stops
    EXPECT_TRUE(timers.timers.empty());
    desktop.activeWindow = handle(10);
    Autostep::TimerProc(handle(10), WM_TIMER, 1, 0);  // a tick already queued
    EXPECT_EQ(keys.presses(VK_F11), 2);

    EXPECT_TRUE(autostep.Toggle(handle(10)));  // third starts again, same period
    EXPECT_EQ(timers.timers.begin()->second.first, 100u);
    autostep.Stop();
    autostep.Stop();  // stopping while off does nothing
    EXPECT_FALSE(autostep.active());
}

TEST(Autostep, NoWindowOrNoTimerLeavesItOffAndDestructionKillsTheTimer) {
    std::vector<std::string> lines;
    {
        Autostep autostep([&](const std::string& text) { lines.push_back(text); });
        EXPECT_FALSE(autostep.Toggle(handle(10)));  // no timer service
        EXPECT_FALSE(autostep.active());
    }
    FakeTimers timers;
    {
        Autostep autostep([&](const std::string& text) { lines.push_back(text); });
        EXPECT_FALSE(autostep.Toggle(nullptr));
        EXPECT_EQ(timers.sets, 0);
        EXPECT_TRUE(autostep.Toggle(handle(10)));
    }
    EXPECT_TRUE(timers.timers.empty());
    EXPECT_EQ(lines.size(), 2u);
}

class AutostepCoreTest : public CoreTest {
protected:
    FakeTimers timers;
    KeyRecorder keys;
};

TEST_F(AutostepCoreTest, AsiTogglesAndDebuggerEventsStopIt) {
    Desktop desktop(handle(20), handle(20));
    InitView();
    EXPECT_FALSE(view->IsAutostepActive());
    for (LONG event : {7, 18, 27, 102, 104}) {
        EXPECT_EQ(view->ExecuteCommand(kCmdAutostep), S_OK);
        ASSERT_TRUE(view->IsAutostepActive()) << event;
        timers.fire();
        view->HandleEvent(event, nullptr);
        EXPECT_FALSE(view->IsAutostepActive()) << event;
        EXPECT_TRUE(timers.timers.empty()) << event;
    }
    EXPECT_EQ(keys.presses(VK_F11), 5);
    view->HandleEvent(3, nullptr);  // other events leave it running
    view->ExecuteCommand(kCmdAutostep);
    view->HandleEvent(101, nullptr);
    EXPECT_TRUE(view->IsAutostepActive());
}

TEST_F(AutostepCoreTest, TimerEndsWithCloseAndWithTheObject) {
    Desktop desktop(handle(20), handle(20));
    InitView();
    view->ExecuteCommand(kCmdAutostep);
    ASSERT_EQ(timers.timers.size(), 1u);
    EXPECT_EQ(view->Close(), S_OK);
    EXPECT_TRUE(timers.timers.empty());
    EXPECT_FALSE(view->IsAutostepActive());

    InitView();
    view->ExecuteCommand(kCmdAutostep);
    ASSERT_EQ(timers.timers.size(), 1u);
    view->Release();  // the last reference: the object goes
    view = nullptr;
    EXPECT_TRUE(timers.timers.empty());
    view = new CLEDView;  // for the fixture's Release
    view->AddRef();
}

TEST_F(AutostepCoreTest, WithoutAMainWindowAsiStaysOff) {
    Desktop desktop(nullptr, nullptr);
    InitView();
    view->ExecuteCommand(kCmdAutostep);
    EXPECT_FALSE(view->IsAutostepActive());
    EXPECT_EQ(timers.sets, 0);
    std::string output;
    for (const std::string& line : services().Lines()) output += line + "\n";
    EXPECT_NE(output.find("no main window"), std::string::npos) << output;
}

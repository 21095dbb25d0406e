// The key-script language against a recording keyboard sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "debugaids/KeyNameTable.h"
#include "debugaids/KeySender.h"
#include "platform/keyboard.h"

namespace {

constexpr uint32_t kUp = KEYEVENTF_KEYUP;
constexpr uint32_t kExt = KEYEVENTF_EXTENDEDKEY;

struct Recorder : IKeyboardSink {
    Recorder() { SetKeyboardSink(this); }
    ~Recorder() override { SetKeyboardSink(nullptr); }
    void OnKeyboardEvent(const KeyboardEvent& e) override { events.push_back(e); }

    // "v+" key-down, "v-" key-up, with "x" for the extended flag: "122+ 122-x".
    std::string trace() const {
        std::string out;
        for (const auto& e : events) {
            if (!out.empty()) out += ' ';
            out += std::to_string(e.virtualKey) + ((e.flags & kUp) ? "-" : "+");
            if (e.flags & kExt) out += 'x';
        }
        return out;
    }
    // Keys pressed and not released.
    std::vector<int> held() const {
        std::map<int, bool> down;
        for (const auto& e : events) down[e.virtualKey] = !(e.flags & kUp);
        std::vector<int> keys;
        for (auto [vk, d] : down) {
            if (d) keys.push_back(vk);
        }
        return keys;
    }
    std::vector<KeyboardEvent> events;
};

struct FakeEnvironment : KeySenderEnvironment {
    void Sleep(uint32_t ms) override { sleeps.push_back(ms); }
    void Beep(uint32_t f, uint32_t ms) override { beeps.push_back({f, ms}); }
    void DrainKeyboardMessages() override { ++drains; }
    std::vector<TopLevelWindowInfo> TopLevelWindows() override { return windows; }
    bool Activate(HWND w) override {
        activated.push_back(w);
        return true;
    }
    void Report(const std::string& text) override { reports.push_back(text); }

    std::vector<uint32_t> sleeps;
    std::vector<std::pair<uint32_t, uint32_t>> beeps;
    int drains = 0;
    std::vector<TopLevelWindowInfo> windows;
    std::vector<HWND> activated;
    std::vector<std::string> reports;
};

class KeySenderTest : public ::testing::Test {
protected:
    bool send(const std::string& script, bool wait = false) {
        KeySender sender(&env);
        return sender.send(script, wait);
    }
    Recorder rec;
    FakeEnvironment env;
};

HWND handle(uintptr_t n) { return reinterpret_cast<HWND>(n); }

}  // namespace

TEST(KeyNameTable, SeventyOneSortedRowsFoundCaseInsensitivelyAndExactly) {
    ASSERT_EQ(KeyNameTable.size(), 71u);
    EXPECT_TRUE(std::is_sorted(
        KeyNameTable.begin(), KeyNameTable.end(),
        [](const KeyName& a, const KeyName& b) { return std::strcmp(a.name, b.name) < 0; }));
    for (const KeyName& row : KeyNameTable) {
        auto found = FindKeyName(row.name);
        ASSERT_TRUE(found) << row.name;
        EXPECT_STREQ(found->name, row.name);
    }
    EXPECT_EQ(FindKeyName("f11")->code, 122);
    EXPECT_EQ(FindKeyName("Pgdn")->code, 34);
    EXPECT_TRUE(FindKeyName("tilde")->character);
    EXPECT_EQ(FindKeyName("tilde")->code, '~');
    EXPECT_FALSE(FindKeyName("F"));
    EXPECT_FALSE(FindKeyName("F111"));
    EXPECT_FALSE(FindKeyName(""));
    EXPECT_FALSE(FindKeyName("XYZ"));

    std::vector<int> extended;
    for (int vk = 0; vk < 256; ++vk) {
        if (IsExtendedKey(static_cast<uint8_t>(vk))) extended.push_back(vk);
    }
    EXPECT_EQ(extended, (std::vector<int>{33, 34, 35, 36, 37, 38, 39, 40, 45, 46}));
}

TEST_F(KeySenderTest, F11IsOneKeyDownAndOneKeyUpInAnyCase) {
    EXPECT_TRUE(send("{F11}"));
    ASSERT_EQ(rec.events.size(), 2u);
    EXPECT_EQ(rec.trace(), "122+ 122-x");
    EXPECT_EQ(rec.events[0].scanCode, 0x57);
    rec.events.clear();
    EXPECT_TRUE(send("{f11}"));
    EXPECT_EQ(rec.trace(), "122+ 122-x");
    EXPECT_TRUE(env.reports.empty());
}

TEST_F(KeySenderTest, ModifiersHoldForOneKeyOrAGroup) {
    EXPECT_TRUE(send("+(ab)c"));
    EXPECT_EQ(rec.trace(), "16+ 65+ 65-x 66+ 66-x 16- 67+ 67-x");
    rec.events.clear();
    // A capital brings its own Shift; ^ and % hold Ctrl and Alt for one key.
    EXPECT_TRUE(send("A^%x"));
    EXPECT_EQ(rec.trace(), "16+ 65+ 65-x 16- 17+ 18+ 88+ 88-x 17- 18-");
    rec.events.clear();
    EXPECT_TRUE(send("@~"));
    EXPECT_EQ(rec.trace(), "91+ 13+ 13-x 91-");
    rec.events.clear();
    // An open group is closed at the end of the script.
    EXPECT_TRUE(send("^(a"));
    EXPECT_TRUE(rec.held().empty());
}

TEST_F(KeySenderTest, NamesRepeatCountsVirtualKeysAndCharacterRows) {
    EXPECT_TRUE(send("{LEFT 3}"));
    EXPECT_EQ(rec.trace(), "37+x 37-x 37+x 37-x 37+x 37-x");
    rec.events.clear();
    EXPECT_TRUE(send("{VKEY 65}{VKEY 321}"));  // 321 = Shift + 65
    EXPECT_EQ(rec.trace(), "65+ 65-x 16+ 65+ 65-x 16-");
    rec.events.clear();
    EXPECT_TRUE(send("{PLUS}{AT}"));  // through the layout: Shift+'=', Shift+'2'
    EXPECT_EQ(rec.trace(), "16+ 187+ 187-x 16- 16+ 50+ 50-x 16-");
    rec.events.clear();
    EXPECT_TRUE(send("{NUMLOCK}"));
    EXPECT_EQ(rec.trace(), "144+x 144-x");
    EXPECT_EQ(rec.events[0].scanCode, 69);
    rec.events.clear();
    EXPECT_TRUE(send("{DEL 0}"));
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(KeySenderTest, DelaysStandingAndOneShot) {
    EXPECT_TRUE(send("{DELAY=50}ab"));
    EXPECT_EQ(env.sleeps, (std::vector<uint32_t>{50, 50}));
    env.sleeps.clear();
    EXPECT_TRUE(send("{DELAY 50}ab"));
    EXPECT_EQ(env.sleeps, (std::vector<uint32_t>{50}));
    env.sleeps.clear();
    // Modifiers are pressed without a pause.
    EXPECT_TRUE(send("{DELAY=20}+a"));
    EXPECT_EQ(env.sleeps, (std::vector<uint32_t>{20}));
}

TEST_F(KeySenderTest, WaitDrainsTheKeyboardMessagesAfterEveryEvent) {
    EXPECT_TRUE(send("+a", true));
    EXPECT_EQ(env.drains, static_cast<int>(rec.events.size()));
    EXPECT_EQ(rec.events.size(), 4u);
    env.drains = 0;
    EXPECT_TRUE(send("a", false));
    EXPECT_EQ(env.drains, 0);
}

TEST_F(KeySenderTest, BeepNeedsFrequencyAndDuration) {
    EXPECT_TRUE(send("{BEEP 440 100}{BEEP 440}"));
    ASSERT_EQ(env.beeps.size(), 1u);
    EXPECT_EQ(env.beeps[0], (std::pair<uint32_t, uint32_t>{440, 100}));
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(KeySenderTest, ScriptsThatStopReleaseEveryModifier) {
    // Overlong token: refused even inside a group.
    EXPECT_FALSE(send("^+(a{" + std::string(301, 'X') + "}b"));
    EXPECT_TRUE(rec.held().empty()) << rec.trace();
    EXPECT_EQ(rec.trace().find("66+"), std::string::npos);  // b never typed
    ASSERT_EQ(env.reports.size(), 1u);
    EXPECT_NE(env.reports[0].find("300"), std::string::npos);

    // Exactly 300 characters is still a token (an unknown name here).
    rec.events.clear();
    env.reports.clear();
    EXPECT_FALSE(send("{" + std::string(300, 'X') + "}"));
    EXPECT_NE(env.reports.at(0).find("unknown key name"), std::string::npos);

    // Unterminated brace: the half token is not pressed.
    rec.events.clear();
    env.reports.clear();
    EXPECT_FALSE(send("%a{F11"));
    EXPECT_EQ(rec.trace(), "18+ 65+ 65-x 18-");
    EXPECT_NE(env.reports.at(0).find("not closed"), std::string::npos);

    // Unknown name: the script ends there; Ctrl is let go.
    rec.events.clear();
    env.reports.clear();
    EXPECT_FALSE(send("^{XYZ}a"));
    EXPECT_EQ(rec.trace(), "17+ 17-");
    EXPECT_NE(env.reports.at(0).find("\"XYZ\""), std::string::npos);

    // Malformed numbers are refused instead of pressing or sleeping forever.
    for (const char* bad : {"{VKEY}", "{VKEY x}", "{DELAY 99999999}", "{F1 x}", "{F1 100000}"}) {
        rec.events.clear();
        env.reports.clear();
        EXPECT_FALSE(send(std::string("+") + bad)) << bad;
        EXPECT_TRUE(rec.held().empty()) << bad;
        EXPECT_EQ(env.reports.size(), 1u) << bad;
    }
    EXPECT_TRUE(env.sleeps.empty());
}

TEST_F(KeySenderTest, CharactersTheLayoutCannotTypeAreSkippedWithALine) {
    EXPECT_TRUE(
        send("+a\xE9"
             "b"));
    // Shift went with 'a'; the character is skipped, never sent as
    // Shift+Ctrl+Alt with key 255.
    EXPECT_EQ(rec.trace(), "16+ 65+ 65-x 16- 66+ 66-x");
    ASSERT_EQ(env.reports.size(), 1u);
    EXPECT_NE(env.reports[0].find("0xE9"), std::string::npos);
}

TEST_F(KeySenderTest, ActivatesByExactTitleThenBySubstring) {
    env.windows = {{handle(1), "Calc - Untitled", "Notepad"}, {handle(2), "Calc", "CalcFrame"}};
    EXPECT_TRUE(send("{APPACTIVATE Calc}"));
    EXPECT_EQ(env.activated, (std::vector<HWND>{handle(2)}));
    KeySender sender(&env);
    EXPECT_TRUE(sender.activateApplication("Untitled"));
    EXPECT_TRUE(sender.activateApplication("", "Frame"));
    EXPECT_EQ(env.activated, (std::vector<HWND>{handle(2), handle(1), handle(2)}));
    EXPECT_FALSE(sender.activateApplication(""));
    EXPECT_FALSE(sender.activateApplication("Paint"));
    EXPECT_TRUE(send("{APPACTIVATE Paint}a"));  // reported, the script goes on
    EXPECT_EQ(env.reports.size(), 1u);
    EXPECT_EQ(rec.trace(), "65+ 65-x");
}

// The key-script language against a recording keyboard sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "debugaids/KeyNameTable.h"
#include "debugaids/KeySender.h"
#include "platform/keyboard.h"
#include "tests/support/KeyRecorder.h"

namespace {

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
    // Sends with no events or reports of earlier scripts left.
    bool sendAfresh(const std::string& script) {
        rec.events.clear();
        env.reports.clear();
        return send(script);
    }
    KeyRecorder rec;
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

// Each script as the key events it sends: "v+" down, "v-" up, "x" for the
// extended flag.
TEST_F(KeySenderTest, ScriptsBecomeKeyEvents) {
    struct Case {
        const char *script, *trace;
    };
    const Case cases[] = {
        {"{F11}", "122+ 122-x"},
        {"{f11}", "122+ 122-x"},
        // Modifiers hold for one key or a group.
        {"+(ab)c", "16+ 65+ 65-x 66+ 66-x 16- 67+ 67-x"},
        // A capital brings its own Shift; ^ and % hold Ctrl and Alt for one key.
        {"A^%x", "16+ 65+ 65-x 16- 17+ 18+ 88+ 88-x 17- 18-"},
        {"@~", "91+ 13+ 13-x 91-"},
        // Names, repeat counts, virtual keys (321 = Shift + 65), and the
        // character rows through the layout: Shift+'=', Shift+'2'.
        {"{LEFT 3}", "37+x 37-x 37+x 37-x 37+x 37-x"},
        {"{VKEY 65}{VKEY 321}", "65+ 65-x 16+ 65+ 65-x 16-"},
        {"{PLUS}{AT}", "16+ 187+ 187-x 16- 16+ 50+ 50-x 16-"},
        {"{NUMLOCK}", "144+x 144-x"},
        {"{DEL 0}", ""},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(sendAfresh(c.script)) << c.script;
        EXPECT_EQ(rec.trace(), c.trace) << c.script;
        EXPECT_TRUE(env.reports.empty()) << c.script;
    }
    sendAfresh("{F11}{NUMLOCK}");
    EXPECT_EQ(rec.events[0].scanCode, 0x57);
    EXPECT_EQ(rec.events[2].scanCode, 69);
    // An open group is closed at the end of the script.
    EXPECT_TRUE(send("^(a"));
    EXPECT_TRUE(rec.held().empty());
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
    EXPECT_FALSE(sendAfresh("{" + std::string(300, 'X') + "}"));
    EXPECT_NE(env.reports.at(0).find("unknown key name"), std::string::npos);

    // Unterminated brace: the half token is not pressed.
    EXPECT_FALSE(sendAfresh("%a{F11"));
    EXPECT_EQ(rec.trace(), "18+ 65+ 65-x 18-");
    EXPECT_NE(env.reports.at(0).find("not closed"), std::string::npos);

    // Unknown name: the script ends there; Ctrl is let go.
    EXPECT_FALSE(sendAfresh("^{XYZ}a"));
    EXPECT_EQ(rec.trace(), "17+ 17-");
    EXPECT_NE(env.reports.at(0).find("\"XYZ\""), std::string::npos);

    // Malformed numbers are refused instead of pressing or sleeping forever.
    for (const char* bad : {"{VKEY}", "{VKEY x}", "{DELAY 99999999}", "{F1 x}", "{F1 100000}"}) {
        EXPECT_FALSE(sendAfresh(std::string("+") + bad)) << bad;
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

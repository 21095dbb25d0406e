// The recording's text is read back with the scenario parser itself: what
// was recorded must come back as the same commands, with the waits between
// them, or the recording would not replay what the user did.
#include <gtest/gtest.h>

#include "host/recorder/ScenarioRecorder.h"

namespace {

namespace sc = quill::scenario;
using quill::recorder::Activity;
using quill::recorder::Recording;
using quill::recorder::ScenarioSetUp;

sc::Script parseBack(const Recording& recording, const std::string& path = "/lab/rec.scn") {
    sc::ParseResult parsed = sc::parse(recording.text(path), path);
    for (const sc::Diagnostic& d : parsed.errors) ADD_FAILURE() << d.text();
    return parsed.script;
}

template <typename T>
const T& stepAs(const sc::Script& script, std::size_t index) {
    EXPECT_LT(index, script.steps.size());
    const T* command = std::get_if<T>(&script.steps.at(index).command);
    EXPECT_TRUE(command) << "step " << index << ": " << script.steps.at(index).text;
    static const T none{};
    return command ? *command : none;
}

uint64_t waitAt(const sc::Script& script, std::size_t index) {
    return stepAs<sc::WaitCyclesCommand>(script, index).cycles;
}

// The window tests replay the other commands; these are the ones whose
// words need care: '#' would begin a comment, a temperature below zero,
// an LCD text with quotes, a backslash before an 'x', a custom character
// (code 0) and one of the upper ROM half.
TEST(ScenarioRecorder, WordsThatNeedCareReadBackAsTheSameCommands) {
    Recording r(ScenarioSetUp{"ATmega32", "/lab/fw/keypad_scan.elf", 8000000});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Keypad, "Keypad"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Lcd, "Hitachi LCD"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Beerbasement, "Beerbasement"});
    r.note(Activity::Run);
    r.note(Activity::Break);
    r.add(1200, sc::KeyCommand{"Keypad", '#', true});
    r.note(Activity::Step);
    r.note(Activity::Step);
    r.note(Activity::Step);
    r.add(1205, sc::SetTemperatureCommand{"Beerbasement", -7});
    const std::string shown = std::string("say \"hi\" \\x41 ") + '\0' + "\xC3\xA4";
    r.add(1205, sc::ExpectCommand{sc::LcdLineCondition{"Hitachi LCD", 2, shown}});

    const sc::Script s = parseBack(r);
    ASSERT_EQ(s.steps.size(), 11u);
    EXPECT_EQ(stepAs<sc::PartCommand>(s, 0).name, "ATmega32");
    EXPECT_EQ(stepAs<sc::FirmwareCommand>(s, 1).path, "fw/keypad_scan.elf");
    EXPECT_EQ(stepAs<sc::FrequencyCommand>(s, 2).hertz, 8000000u);
    EXPECT_EQ(stepAs<sc::OpenCommand>(s, 4).window, "Hitachi LCD");
    // The run and the steps are the time that passed, said in a comment.
    EXPECT_EQ(waitAt(s, 6), 1200u);
    EXPECT_EQ(stepAs<sc::KeyCommand>(s, 7).key, '#');
    EXPECT_EQ(waitAt(s, 8), 5u);
    const std::string text = r.text("/lab/rec.scn");
    EXPECT_NE(text.find("wait cycles 1200    # run, break\n"), std::string::npos) << text;
    EXPECT_NE(text.find("wait cycles 5    # step x3\n"), std::string::npos) << text;
    EXPECT_EQ(stepAs<sc::SetTemperatureCommand>(s, 9).celsius, -7);
    const auto& lcd = std::get<sc::LcdLineCondition>(stepAs<sc::ExpectCommand>(s, 10).condition);
    EXPECT_EQ(lcd.line, 2);
    EXPECT_EQ(lcd.text, shown);
}

TEST(ScenarioRecorder, ResetStartsTheCountOverAndLongTimesSplitIntoWaits) {
    Recording r(ScenarioSetUp{"ATmega16", "", 1000000});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Led, "LED"});
    r.add(700, sc::ResetCommand{});
    // After the reset the count is small again: 40 cycles, not a time that
    // went backwards.
    r.add(40, sc::ExpectLedCommand{"LED", false});
    // No wait for no time.
    r.add(40, sc::ExpectLedCommand{"LED", false});
    r.add(40 + sc::kMaxWaitCycles + 3, sc::ExpectLedCommand{"LED", true});
    const sc::Script s = parseBack(r);
    ASSERT_EQ(s.steps.size(), 11u);
    EXPECT_EQ(s.firmware(), nullptr);
    EXPECT_EQ(waitAt(s, 3), 700u);
    stepAs<sc::ResetCommand>(s, 4);
    EXPECT_EQ(waitAt(s, 5), 40u);
    stepAs<sc::ExpectLedCommand>(s, 6);
    stepAs<sc::ExpectLedCommand>(s, 7);
    EXPECT_EQ(waitAt(s, 8), sc::kMaxWaitCycles);
    EXPECT_EQ(waitAt(s, 9), 3u);
    // Commands a recording does not write are refused, not written wrongly.
    EXPECT_FALSE(r.add(50, sc::ScreenshotCommand{"shots"}));
    EXPECT_FALSE(r.add(50, sc::ExpectChannelCommand{"", 3, 10, false}));
}

TEST(ScenarioRecorder, MemoryChecksReadBackAsTheSameCommands) {
    Recording r(ScenarioSetUp{"ATmega16", "", 1000000});
    r.add(0, sc::ExpectMemoryCommand{0x0060, 0xFE});
    r.add(0, sc::ExpectMemoryCommand{0x045F, 0x05, 0x0F});
    const sc::Script s = parseBack(r);
    ASSERT_EQ(s.steps.size(), 4u);
    EXPECT_EQ(sc::describe(stepAs<sc::ExpectMemoryCommand>(s, 2)), "expect memory 0x0060 is 0xFE");
    EXPECT_EQ(sc::describe(stepAs<sc::ExpectMemoryCommand>(s, 3)),
              "expect memory 0x045F is 0x05 in mask 0x0F");
    EXPECT_NE(r.text("").find("expect memory 0x045F 0x05 mask 0x0F\n"), std::string::npos);
}

TEST(ScenarioRecorder, FirmwareIsRelativeOnlyBelowTheScenarioFolder) {
    auto firmwareLine = [](const std::string& firmware, const std::string& scenario) {
        Recording r(ScenarioSetUp{"ATmega16", firmware, 1000000});
        const std::string text = r.text(scenario);
        const auto at = text.find("firmware ");
        return text.substr(at, text.find('\n', at) - at);
    };
    EXPECT_EQ(firmwareLine("/lab/a.elf", "/lab/rec.scn"), "firmware a.elf");
    EXPECT_EQ(firmwareLine("/lab/sub/../b.elf", "/lab/x/../rec.scn"), "firmware b.elf");
    EXPECT_EQ(firmwareLine("/other/a.elf", "/lab/rec.scn"), "firmware /other/a.elf");
    EXPECT_EQ(firmwareLine("/my labs/a b.elf", "/tmp/rec.scn"), "firmware \"/my labs/a b.elf\"");
    // A path with blanks reads back as written.
    Recording r(ScenarioSetUp{"ATmega16", "/my labs/a \"b\".elf", 1000000});
    EXPECT_EQ(parseBack(r, "/elsewhere/r.scn").firmware()->path, "/my labs/a \"b\".elf");
}

// A session run as a board at its clock is recorded as the board line,
// which brings the part, the clock and the pin names back on replay.
TEST(ScenarioRecorder, ABoardIsRecordedAsItsBoardLine) {
    ScenarioSetUp setUp{"ATmega328P", "/lab/a.elf", 16000000};
    setUp.board = "Uno";
    Recording r(setUp);
    r.add(0, sc::OpenCommand{sc::ComponentKind::Keypad, "Keypad"});
    r.addSettings(0, "Keypad", "wiring=pins cols=PD4,PD3,PD2 rows=PB1,PB0,PC1,PC0");
    const std::string text = r.text("/lab/rec.scn");
    EXPECT_NE(text.find("\nboard Uno\nfirmware a.elf\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("part "), std::string::npos) << text;
    sc::ParseOptions options;
    options.boards.push_back({"Uno", "ATmega328P", 16000000, {}});
    const sc::ParseResult parsed = sc::parse(text, "/lab/rec.scn", options);
    ASSERT_TRUE(parsed.ok()) << parsed.errors.front().text();
    EXPECT_EQ(parsed.script.part(), "ATmega328P");
    EXPECT_EQ(parsed.script.boardHertz(), 16000000u);
}

}  // namespace

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

TEST(ScenarioRecorder, ActionsAndChecksReadBackAsTheSameCommands) {
    Recording r(ScenarioSetUp{"ATmega32", "/lab/fw/keypad_scan.elf", 8000000});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Keypad, "Keypad"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::KnightRider, "Knightrider"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Lcd, "Hitachi LCD"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Beerbasement, "Beerbasement"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Slider, "Slider"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Slider, "Slider 2"});
    r.add(0, sc::OpenCommand{sc::ComponentKind::Led, "LED"});
    r.addSettings(0, "Slider 2", "channel=3 reference=avcc");
    r.note(Activity::Run);
    r.note(Activity::Break);
    r.add(1200, sc::KeyCommand{"Keypad", '#', true});
    r.note(Activity::Step);
    r.note(Activity::Step);
    r.note(Activity::Step);
    r.add(1205, sc::KeyCommand{"Keypad", '#', false});
    r.add(1205, sc::ClickCommand{"Knightrider", sc::ComponentKind::KnightRider});
    r.add(1300, sc::SetSliderCommand{"Slider 2", 37, false});
    r.add(1300, sc::SetTemperatureCommand{"Beerbasement", -7});
    r.add(1300, sc::ExpectBarCommand{"Knightrider", 0x23});
    r.add(1300, sc::ExpectLedCommand{"LED", true});
    r.add(1300, sc::ExpectChannelCommand{"Slider 2", -1, 37, false});
    r.add(1300, sc::ExpectCommand{sc::RegisterCondition{"PORTA", 0x23, 0xFF}});
    // What an LCD shows: quotes, a backslash before an 'x', a CGRAM
    // character (code 0) and a character of the upper ROM half.
    const std::string shown = std::string("say \"hi\" \\x41 ") + '\0' + "\xC3\xA4";
    r.add(1300, sc::ExpectCommand{sc::LcdLineCondition{"Hitachi LCD", 2, shown}});
    r.add(1300, sc::ExpectCommand{sc::LcdLineCondition{"Hitachi LCD", 1, ""}});

    const sc::Script s = parseBack(r);
    ASSERT_EQ(s.steps.size(), 25u);
    EXPECT_EQ(stepAs<sc::PartCommand>(s, 0).name, "ATmega32");
    EXPECT_EQ(stepAs<sc::FirmwareCommand>(s, 1).path, "fw/keypad_scan.elf");
    EXPECT_EQ(stepAs<sc::FrequencyCommand>(s, 2).hertz, 8000000u);
    EXPECT_EQ(stepAs<sc::OpenCommand>(s, 5).window, "Hitachi LCD");
    EXPECT_EQ(stepAs<sc::OpenCommand>(s, 8).window, "Slider 2");
    const auto& settings = stepAs<sc::SettingsCommand>(s, 10);
    EXPECT_EQ(settings.window, "Slider 2");
    EXPECT_EQ(settings.channel, 3);
    // The run and the steps are the time that passed, said in a comment.
    EXPECT_EQ(waitAt(s, 11), 1200u);
    EXPECT_NE(r.text("/lab/rec.scn").find("wait cycles 1200    # run, break\n"), std::string::npos);
    const auto& press = stepAs<sc::KeyCommand>(s, 12);
    EXPECT_TRUE(press.press);
    EXPECT_EQ(press.key, '#');
    EXPECT_EQ(waitAt(s, 13), 5u);
    EXPECT_NE(r.text("").find("wait cycles 5    # step x3\n"), std::string::npos);
    EXPECT_FALSE(stepAs<sc::KeyCommand>(s, 14).press);
    EXPECT_EQ(stepAs<sc::ClickCommand>(s, 15).window, "Knightrider");
    EXPECT_EQ(waitAt(s, 16), 95u);
    EXPECT_EQ(stepAs<sc::SetSliderCommand>(s, 17).value, 37);
    EXPECT_EQ(stepAs<sc::SetTemperatureCommand>(s, 18).celsius, -7);
    EXPECT_EQ(stepAs<sc::ExpectBarCommand>(s, 19).segments, 0x23);
    EXPECT_EQ(stepAs<sc::ExpectChannelCommand>(s, 21).value, 37);
    const auto& reg = std::get<sc::RegisterCondition>(stepAs<sc::ExpectCommand>(s, 22).condition);
    EXPECT_EQ(reg.reg, "PORTA");
    EXPECT_EQ(reg.value, 0x23);
    const auto& lcd = std::get<sc::LcdLineCondition>(stepAs<sc::ExpectCommand>(s, 23).condition);
    EXPECT_EQ(lcd.line, 2);
    EXPECT_EQ(lcd.text, shown);
    EXPECT_EQ(std::get<sc::LcdLineCondition>(stepAs<sc::ExpectCommand>(s, 24).condition).text, "");
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

}  // namespace

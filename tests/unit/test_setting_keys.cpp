// The settings key table: which window a title names, the text a parsed
// `settings` line stands for, and the order in which the electrical page is
// filled in.
#include <gtest/gtest.h>

#include "contract/ResourceIds.h"
#include "host/scenario/SettingKeys.h"
#include "tests/support/CommaLocale.h"

namespace sc = quill::scenario;

namespace {

sc::Command parsed(const std::string& line, std::vector<sc::ComponentKind> open = {}) {
    sc::ParseOptions options;
    options.openWindows = std::move(open);
    sc::ParseResult r = sc::parse(line, "t.scn", options);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.errors.front().text());
    return r.ok() ? r.script.steps.front().command : sc::Command{};
}

TEST(SettingKeys, WindowTitlesNameTheirKind) {
    EXPECT_EQ(sc::kindOfWindow("LED"), sc::ComponentKind::Led);
    EXPECT_EQ(sc::kindOfWindow("LED 12"), sc::ComponentKind::Led);
    EXPECT_EQ(sc::kindOfWindow("Hitachi LCD 2"), sc::ComponentKind::Lcd);
    EXPECT_EQ(sc::kindOfWindow("Stackview++"), sc::ComponentKind::StackView);
    for (const char* other : {"LED2", "LEDs", "LED ", "LED 2a", "Output", ""})
        EXPECT_EQ(sc::kindOfWindow(other), std::nullopt) << other;
}

TEST(SettingKeys, ParsedLinesReadBackInTheTablesOrderAndWords) {
    // Whatever spelling the line used, the pairs are the reader's words.
    const auto led = std::get<sc::SettingsCommand>(
        parsed("settings LED activelow=on mode=ddr/port pin=0x3 port=PORTB", {sc::ComponentKind::Led}));
    EXPECT_EQ(sc::formatSettings(sc::settingPairs(led)), "port=B pin=3 mode=ddrport activelow=1");
    EXPECT_EQ(sc::settingsLine("LED 2", sc::settingPairs(led)),
              "settings \"LED 2\" port=B pin=3 mode=ddrport activelow=1");

    const auto general = std::get<sc::GeneralCommand>(parsed("settings general warnings=0"));
    EXPECT_EQ(sc::settingsLine("general", sc::settingPairs(general)), "settings general warnings=off");
}

TEST(SettingKeys, ElectricalVoltsAreHundredthsInAnyLocale) {
    ScopedCommaLocale comma;
    const auto e = std::get<sc::ElectricalCommand>(
        parsed("settings electrical extaref=0 aref=3.3 vcc=5 vref=2.5"));
    EXPECT_EQ(sc::formatSettings(sc::settingPairs(e)), "vcc=5.00 vref=2.50 aref=3.30 extaref=0");
    // ARef moves only while its check box is ticked: tick, move, then set
    // the box as asked.
    namespace el = ids::electrical;
    const std::vector<sc::SettingInput> in =
        sc::settingInputs(*sc::sheetFields("electrical"), sc::settingPairs(e));
    ASSERT_EQ(in.size(), 5u);
    EXPECT_EQ(in[0].control, el::kVcc);
    EXPECT_EQ(in[0].value, "500");
    EXPECT_EQ(in[1].value, "250");
    EXPECT_EQ(in[2].control, el::kExternalAref);
    EXPECT_EQ(in[2].value, "1");
    EXPECT_EQ(in[3].control, el::kAref);
    EXPECT_EQ(in[3].value, "330");
    EXPECT_EQ(in[4].control, el::kExternalAref);
    EXPECT_EQ(in[4].value, "0");
    for (const sc::SettingInput& i : in) EXPECT_EQ(i.page, el::kPage);
}

}  // namespace

// The scenario language: well-formed scripts become typed commands; every
// malformed line is reported with file and line and a reason, and parsing
// goes on with the next line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/scenario/Scenario.h"
#include "host/scenario/SettingKeys.h"
#include "tests/support/CommaLocale.h"

using namespace quill::scenario;

namespace {

ParseResult parseText(const std::string& text, const ParseOptions& options = {}) {
    return parse(text, "test.scn", options);
}

// The single error of a one-line script (with windows opened first).
std::string errorOf(const std::string& line, const std::string& before = "") {
    const ParseResult r = parseText(before + line + "\n");
    if (r.errors.size() != 1) return "(" + std::to_string(r.errors.size()) + " errors)";
    return r.errors[0].message;
}

template <typename T>
T only(const ParseResult& r) {
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.errors[0].text());
    EXPECT_FALSE(r.script.steps.empty());
    return std::get<T>(r.script.steps.back().command);
}

const std::string kWindows =
    "open LED\nopen LED\nopen Switch\nopen \"Knight Rider\"\nopen Keypad\n";

}  // namespace

TEST(Scenario, ParsesAWholeScript) {
    const ParseResult r = parseText(
        "# running light demo\n"
        "part ATmega16\n"
        "firmware \"running light.elf\"   # in the build's firmware folder\n"
        "frequency 1000000\n"
        "\n"
        "open \"Knight Rider\"\n"
        "open LED\n"
        "open LED\n"
        "settings \"LED 2\" port=B pin=3 mode=ddrport activelow=1\n"
        "settings Knightrider output=A input=B pin=7 mode=pin\n"
        "wait cycles 1000\n"
        "wait ms 5\n"
        "click Knightrider\n"
        "expect pin PORTA.0 1\n"
        "expect register PORTA 0x81\n"
        "expect led \"LED\" on\n"
        "expect bar Knightrider 0b00000001\n"
        "reset\n"
        "screenshot shots\n");
    ASSERT_TRUE(r.ok()) << r.errors[0].text();
    ASSERT_EQ(r.script.steps.size(), 17u);
    EXPECT_EQ(r.script.part(), "ATmega16");
    ASSERT_NE(r.script.firmware(), nullptr);
    EXPECT_EQ(r.script.firmware()->path, "running light.elf");
    EXPECT_EQ(r.script.steps[1].line, 3);
    EXPECT_EQ(r.script.steps[1].text, "firmware \"running light.elf\"");

    const auto& bar = std::get<OpenCommand>(r.script.steps[3].command);
    EXPECT_EQ(bar.kind, ComponentKind::KnightRider);
    EXPECT_EQ(bar.window, "Knightrider");
    EXPECT_EQ(std::get<OpenCommand>(r.script.steps[5].command).window, "LED 2");

    // The settings as the reader's words: every field parsed, none added.
    const auto& led = std::get<SettingsCommand>(r.script.steps[6].command);
    EXPECT_EQ(led.window, "LED 2");
    EXPECT_EQ(formatSettings(settingPairs(led)), "port=B pin=3 mode=ddrport activelow=1");
    EXPECT_EQ(formatSettings(settingPairs(std::get<SettingsCommand>(r.script.steps[7].command))),
              "output=A input=B pin=7 mode=pin");

    EXPECT_EQ(std::get<WaitCyclesCommand>(r.script.steps[8].command).cycles, 1000u);
    EXPECT_DOUBLE_EQ(std::get<WaitTimeCommand>(r.script.steps[9].command).milliseconds, 5.0);
    EXPECT_EQ(std::get<ClickCommand>(r.script.steps[10].command).kind, ComponentKind::KnightRider);
    const auto& pin =
        std::get<PinCondition>(std::get<ExpectCommand>(r.script.steps[11].command).condition);
    EXPECT_EQ(pin.reg, "PORTA");
    EXPECT_EQ(pin.bit, 0);
    EXPECT_TRUE(pin.level);
    const auto& reg =
        std::get<RegisterCondition>(std::get<ExpectCommand>(r.script.steps[12].command).condition);
    EXPECT_EQ(reg.value, 0x81);
    EXPECT_EQ(reg.mask, 0xff);
    EXPECT_TRUE(std::get<ExpectLedCommand>(r.script.steps[13].command).on);
    EXPECT_EQ(std::get<ExpectBarCommand>(r.script.steps[14].command).segments, 0x01);
    EXPECT_TRUE(std::holds_alternative<ResetCommand>(r.script.steps[15].command));
    EXPECT_EQ(std::get<ScreenshotCommand>(r.script.steps[16].command).directory, "shots");
}

TEST(Scenario, NamesWindowsAsTheHostDoes) {
    const ParseResult r = parseText(kWindows + "open LED\nopen Stackview\nopen keypad\n");
    ASSERT_TRUE(r.ok());
    std::vector<std::string> names;
    for (const Step& s : r.script.steps) names.push_back(std::get<OpenCommand>(s.command).window);
    EXPECT_EQ(names, (std::vector<std::string>{"LED", "LED 2", "Switch", "Knightrider", "Keypad",
                                               "LED 3", "Stackview++", "Keypad 2"}));
    EXPECT_EQ(errorOf("open Stackview", "open \"Stack view\"\n"),
              "the Stack view is already open (there is only one)");
    // Unquoted Knight Rider is understood too.
    EXPECT_EQ(only<OpenCommand>(parseText("open Knight Rider")).window, "Knightrider");
}

TEST(Scenario, KeypadKeysArePressedAndReleasedInPairs) {
    const ParseResult r = parseText(
        "open Keypad\npress Keypad 5\nrelease Keypad 5\npress keypad \"#\"\npress Keypad star\n"
        "release Keypad hash\n");
    ASSERT_TRUE(r.ok()) << r.errors[0].text();
    const auto& press = std::get<KeyCommand>(r.script.steps[1].command);
    EXPECT_EQ(press.key, '5');
    EXPECT_TRUE(press.press);
    EXPECT_FALSE(std::get<KeyCommand>(r.script.steps[2].command).press);
    EXPECT_EQ(std::get<KeyCommand>(r.script.steps[3].command).key, '#');
    EXPECT_EQ(std::get<KeyCommand>(r.script.steps[4].command).key, '*');

    EXPECT_EQ(errorOf("press Keypad 5", "open Keypad\npress Keypad 5\n"),
              "key 5 of \"Keypad\" is already held");
    EXPECT_EQ(errorOf("release Keypad 7", "open Keypad\n"), "key 7 of \"Keypad\" is not held");
    // An unquoted # starts a comment, so the key is missing.
    EXPECT_EQ(
        errorOf("press Keypad #", "open Keypad\n"),
        "missing argument: press needs a key: 0 to 9, \"*\" or \"#\" (quote the # or write hash)");
    EXPECT_EQ(errorOf("press Keypad 12", "open Keypad\n"),
              "unknown key \"12\" (use 0 to 9, * or \"#\")");
    EXPECT_EQ(errorOf("press LED 1", "open LED\n"), "window \"LED\" is not a keypad");
}

TEST(Scenario, MalformedLinesAreReportedWithFileAndLine) {
    const ParseResult r =
        parseText("open LED\nblink LED\n\n  # fine\nwait cycles many\nopen LED\n");
    ASSERT_EQ(r.errors.size(), 2u);
    // The message lists the known commands, in the order of the table.
    EXPECT_EQ(r.errors[0].text().rfind("test.scn:2: unknown command \"blink\" (known: part, board, "
                                       "firmware, frequency, open, settings, click, press, ",
                                       0),
              0u)
        << r.errors[0].text();
    EXPECT_EQ(r.errors[1].text(), "test.scn:5: bad number \"many\" for cycles");
    // The lines around them still parse.
    EXPECT_EQ(r.script.steps.size(), 2u);
    EXPECT_EQ(std::get<OpenCommand>(r.script.steps[1].command).window, "LED 2");
}

TEST(Scenario, ArgumentErrors) {
    struct Case {
        std::string line, error;
    };
    const std::vector<Case> cases = {
        {"reset now", "unexpected argument \"now\" after reset"},
        {"open autostep", "component \"autostep\" is not available yet in scenarios"},
        {"expect output \"\"", "expect output needs a text that is not empty"},
        {"wait cycles 0", "wait cycles needs at least 1 cycle"},
        {"wait cycles 99999999999999999999999",
         "cycles 99999999999999999999999 is too large (at "
         "most 1000000000000)"},
        {"wait ms -1", "the time -1 is negative"},
        {"wait cycles -5", "cycles -5 is negative"},
        {"wait cycles 1.5", "cycles 1.5 is no whole number"},
        {"wait ms 1e3", "bad number \"1e3\" for the time (write it without an exponent)"},
        {"expect pin PORTA.8 1",
         "unknown register form \"PORTA.8\" (write register.bit such as "
         "PORTA.0, bit 0 to 7)"},
        {"expect register PORTA 256", "value 256 is too large (at most 255)"},
        {"open \"LED", "quoted text is not closed (missing \")"},
        {"open LED\"", "a quote may only begin a word"},
        {"open " + std::string(300, 'x'), "word longer than 256 characters"},
        {std::string(5000, ' ') + "reset", "line longer than 4096 characters"},
        {"open LED\x01", "control character"},
        {"wait cycles +5", "bad number \"+5\" for cycles"},
        {"wait cycles 0x", "bad number \"0x\" for cycles"},
        {"wait cycles 0x1g", "bad number \"0x1g\" for cycles"},
        {"wait cycles 0b102", "bad number \"0b102\" for cycles"},
        {"expect register PORTA 0x100", "value 0x100 is too large (at most 255)"},
        {"frequency 1e6", "bad number \"1e6\" for the frequency (write it without an exponent)"},
        {"frequency 8 furlongs", "unexpected argument \"furlongs\" after frequency"},
        {"frequency 8furlongs", "unknown unit \"furlongs\" for the frequency (use Hz, kHz, MHz)"},
        {"frequency fast", "bad frequency \"fast\" (write a number and a unit such as 8 MHz)"},
        {"frequency -8 MHz", "the frequency -8 MHz is negative (write one such as 8 MHz)"},
        // The simulator cannot time a clock below 3200 Hz.
        {"frequency 0.5",
         "frequency 0.5 is outside 3200 Hz to 100 MHz (the simulator cannot time a slower clock)"},
        {"frequency 3 kHz",
         "frequency 3 kHz is outside 3200 Hz to 100 MHz (the simulator cannot time a slower clock)"},
        {"frequency 3199.9Hz", "frequency 3199.9Hz is outside 3200 Hz to 100 MHz (the simulator "
                               "cannot time a slower clock)"},
        {"expect register PORTA 0 mask 0", "mask 0 compares no bits: the check would always hold"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.line), c.error) << c.line;
    const ParseResult slowest = parseText("frequency 3.2 kHz\n");
    ASSERT_TRUE(slowest.ok()) << slowest.errors[0].text();
    EXPECT_EQ(std::get<FrequencyCommand>(slowest.script.steps[0].command).hertz, 3200u);
}

// One byte of data memory by its data address: any address the data space
// can have parses (the host knows the part's RAMEND and refuses beyond it);
// a mask keeps the bits it compares, as a register check's does.
TEST(Scenario, MemoryChecks) {
    const auto plain = only<ExpectMemoryCommand>(parseText("expect memory 0x0100 0xFE\n"));
    EXPECT_EQ(plain.address, 0x0100);
    EXPECT_EQ(plain.value, 0xFE);
    EXPECT_EQ(plain.mask, 0xFF);
    EXPECT_EQ(describe(plain), "expect memory 0x0100 is 0xFE");
    const auto masked =
        only<ExpectMemoryCommand>(parseText("EXPECT MEMORY 65535 0b10100101 MASK 0x0F\n"));
    EXPECT_EQ(masked.address, 0xFFFF);
    EXPECT_EQ(masked.value, 0x05);
    EXPECT_EQ(masked.mask, 0x0F);
    EXPECT_EQ(describe(masked), "expect memory 0xFFFF is 0x05 in mask 0x0F");
    EXPECT_TRUE(isCheck(masked));
    EXPECT_FALSE(isWait(masked));

    struct Case {
        std::string line, error;
    };
    const std::vector<Case> cases = {
        {"expect memory", "missing argument: expect needs a data address such as 0x0100"},
        {"expect memory 0x0100", "missing argument: expect needs the expected byte such as 0xFE"},
        {"expect memory 0x10000 0", "data address 0x10000 is too large (at most 65535)"},
        {"expect memory -1 0", "data address -1 is negative"},
        {"expect memory PORTA 0", "bad number \"PORTA\" for data address"},
        {"expect memory 0x60 0x100", "value 0x100 is too large (at most 255)"},
        {"expect memory 0x60 1 mask", "missing argument: expect needs a mask after mask"},
        {"expect memory 0x60 1 mask 0x1FF", "mask 0x1FF is too large (at most 255)"},
        {"expect memory 0x60 1 mask 0", "mask 0 compares no bits: the check would always hold"},
        {"expect memory 0x60 1 bits 3",
         "unexpected argument \"bits\" after expect memory (expect memory ADDRESS VALUE [mask M])"},
        {"expect memory 0x60 1 mask 3 now", "unexpected argument \"now\" after expect"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.line), c.error) << c.line;
}

// Numbers do not depend on the C library's locale: under a decimal-comma
// locale "3.6864MHz" is still 3686400 Hz.
TEST(Scenario, NumbersIgnoreTheLocale) {
    ParseResult r;
    {
        ScopedCommaLocale comma;
        ASSERT_TRUE(comma.active()) << "no de_DE locale (localedef, package locales)";
        r = parseText("frequency 3.6864MHz\nwait ms 0.5\nwait cycles 0b101\n");
    }
    ASSERT_TRUE(r.ok()) << r.errors[0].text();
    EXPECT_EQ(std::get<FrequencyCommand>(r.script.steps[0].command).hertz, 3686400u);
    EXPECT_DOUBLE_EQ(std::get<WaitTimeCommand>(r.script.steps[1].command).milliseconds, 0.5);
    EXPECT_EQ(std::get<WaitCyclesCommand>(r.script.steps[2].command).cycles, 5u);
}

TEST(Scenario, WindowsMustExistAndFitTheCommand) {
    EXPECT_EQ(errorOf("click \"LED 3\"", kWindows),
              "no window named \"LED 3\" (open windows: \"LED\", \"LED 2\", \"Switch\", "
              "\"Knightrider\", \"Keypad\")");
    EXPECT_EQ(errorOf("click LED", kWindows), "window \"LED\" has no switch to click");
    EXPECT_EQ(errorOf("settings LED", kWindows),
              "missing argument: settings needs at least one key=value (port, pin, mode, "
              "activelow)");
    EXPECT_EQ(errorOf("settings LED pin=8", kWindows), "pin 8 is too large (at most 7)");
    EXPECT_EQ(errorOf("settings LED pin=1 pin=2", kWindows), "setting pin given twice");
    EXPECT_EQ(errorOf("settings Knightrider port=A", kWindows),
              "unknown setting \"port\" for \"Knightrider\" (keys: output, input, pin, mode)");
    EXPECT_EQ(errorOf("expect led Switch on", kWindows), "window \"Switch\" is not an LED");
    // Port given as a register name, window names in any case.
    EXPECT_EQ(only<SettingsCommand>(parseText(kWindows + "settings \"led 2\" port=pinc")).port,
              'C');
}

TEST(Scenario, SetUpComesFirstAndOnce) {
    EXPECT_EQ(errorOf("part ATmega32", "open LED\n"),
              "part must come before the commands that use the target");
    EXPECT_EQ(errorOf("firmware a.elf", "wait cycles 5\n"),
              "firmware must come before the commands that use the target");
    EXPECT_EQ(errorOf("part ATmega32", "part ATmega16\n"), "the part is already chosen");
    EXPECT_EQ(errorOf("firmware b.elf", "firmware a.elf\n"), "the firmware is already chosen");
    // The clock, too, is set up first: a later line would change the time
    // of the waits before it.
    EXPECT_EQ(errorOf("frequency 2 MHz", "wait ms 1\n"),
              "frequency must come before the commands that use the target");
    EXPECT_EQ(errorOf("frequency 2 MHz", "frequency 1 MHz\n"), "the frequency is already chosen");
    EXPECT_EQ(parseText("open LED\n").script.part(), "ATmega16");

    ParseOptions options;
    options.knownParts = {"ATmega16", "ATmega32", "ATmega8"};
    EXPECT_EQ(only<PartCommand>(parseText("part atmega32", options)).name, "ATmega32");
    const ParseResult unknown = parseText("part ATmega99", options);
    ASSERT_EQ(unknown.errors.size(), 1u);
    EXPECT_EQ(unknown.errors[0].text(),
              "test.scn:1: unknown part \"ATmega99\" (known: ATmega16, ATmega32, ATmega8)");
}

TEST(Scenario, FilesAndPaths) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "quill_scenario_tests";
    const fs::path other = dir / "firmware";
    fs::create_directories(other);
    {
        std::ofstream(dir / "demo.scn") << "firmware prog.elf\r\nexpect pin PORTA.0 1\r\n";
        std::ofstream(other / "prog.elf") << "x";
    }
    const ParseResult r = parseFile((dir / "demo.scn").string());
    ASSERT_TRUE(r.ok()) << r.errors[0].text();
    EXPECT_EQ(r.script.directory, dir.string());
    EXPECT_EQ(r.script.resolvePath("prog.elf", {other.string()}), (other / "prog.elf").string());
    EXPECT_EQ(r.script.resolvePath("none.elf", {other.string()}), (dir / "none.elf").string());
    EXPECT_EQ(r.script.resolvePath("/abs/x.elf"), "/abs/x.elf");

    const ParseResult missing = parseFile((dir / "absent.scn").string());
    ASSERT_EQ(missing.errors.size(), 1u);
    EXPECT_EQ(missing.errors[0].line, 0);
    EXPECT_EQ(missing.errors[0].message, "cannot read scenario file \"" +
                                             (dir / "absent.scn").string() +
                                             "\": No such file or directory");
    EXPECT_NE(parseFile(dir.string()).errors.at(0).message.find("it is a directory"),
              std::string::npos);
}

TEST(Scenario, DebugAidCommands) {
    EXPECT_TRUE(only<AutostepCommand>(parseText("autostep ON")).on);
    EXPECT_FALSE(only<ExpectAutostepCommand>(parseText("expect autostep off")).on);
    EXPECT_EQ(only<IdleCommand>(parseText("idle ms 500")).milliseconds, 500);
    EXPECT_EQ(only<EventCommand>(parseText("event 104")).number, 104);

    const auto logger = only<LoggerCommand>(
        parseText("logger registers=porta,PINB file=log.dbg dir=out on destination=file"));
    EXPECT_EQ(*logger.registers, (std::vector<std::string>{"PORTA", "PINB"}));
    EXPECT_EQ(*logger.file, "log.dbg");
    EXPECT_EQ(*logger.directory, "out");
    EXPECT_TRUE(*logger.enabled);
    EXPECT_TRUE(*logger.toFile);
    // Left out: the sheets keep their values; "registers=" logs none.
    const auto some = only<LoggerCommand>(parseText("logger off registers="));
    EXPECT_FALSE(*some.enabled);
    EXPECT_TRUE(some.registers->empty());
    EXPECT_FALSE(some.file || some.directory || some.toFile);

    const auto file =
        only<ExpectFileCommand>(parseText("expect file out/log.dbg contains \"PORTA=0x\""));
    EXPECT_EQ(file.path, "out/log.dbg");
    EXPECT_EQ(file.text, "PORTA=0x");
    EXPECT_EQ(describe(file), "expect file out/log.dbg contains \"PORTA=0x\"");

    EXPECT_EQ(errorOf("autostep maybe"), "bad autostep state \"maybe\" (use on or off)");
    EXPECT_EQ(errorOf("idle s 5"), "unknown idle unit \"s\" (use idle ms <time>)");
    EXPECT_EQ(errorOf("idle ms 0"), "idle time 0 ms is outside 0 to 60000 ms");
    EXPECT_EQ(errorOf("event 5"),
              "unknown debugger event 5 (known: 3, 6, 7, 8, 18, 27, 101, 102, 103, 104)");
    EXPECT_EQ(errorOf("logger on off"), "on/off given twice");
    EXPECT_EQ(errorOf("logger destination=printer"),
              "bad destination \"printer\" (use file or window)");
    EXPECT_EQ(errorOf("logger registers=PORTA,,PINB"),
              "unknown register form \"\" (write a register name such as PORTA)");
    EXPECT_EQ(
        errorOf("logger colour=red"),
        "unknown logger setting \"colour\" (keys: registers, file, dir, destination, limit; on or "
        "off)");
    EXPECT_EQ(*only<LoggerCommand>(parseText("logger limit=5")).limitMegabytes, 5);
    EXPECT_FALSE(*only<GeneralCommand>(parseText("settings general warnings=off")).warnings);
    EXPECT_EQ(describe(only<GeneralCommand>(parseText("settings GENERAL warnings=off"))),
              "general settings: warnings=off (warning dialogs disabled)");
    EXPECT_EQ(errorOf("settings general"),
              "missing argument: settings needs at least one key=value (warnings)");
    EXPECT_EQ(errorOf("expect file log.dbg \"PORTA\""),
              "expect file needs: expect file PATH contains \"TEXT\"");
}

// The analog components' commands, as the issue spells them.
TEST(Scenario, AnalogCommands) {
    const std::string windows = "open Slider\nopen Capacity Measurement\nopen Beerbasement\n";
    auto last = [&](const std::string& line) { return parseText(windows + line + "\n"); };

    // Each line's settings as the reader's words.
    const struct {
        std::string line, pairs;
    } settings[] = {
        {"settings Slider channel=3 reference=avcc", "channel=3 reference=avcc"},
        {"settings \"Capacity Measurement\" port=B pin=6 capacitance=100",
         "port=B pin=6 capacitance=100"},
        {"settings Beerbasement channel=7 heater=C0 cooler=C1 status=C2 mode=ddrport",
         "mode=ddrport heater=PC0 cooler=PC1 status=PC2 channel=7"},
    };
    for (const auto& c : settings)
        EXPECT_EQ(formatSettings(settingPairs(only<SettingsCommand>(last(c.line)))), c.pairs)
            << c.line;

    const auto e = only<ElectricalCommand>(
        last("settings electrical vcc=5.0 avcc=5.0 vref=2.56 aref=2.5 extaref=0"));
    EXPECT_DOUBLE_EQ(*e.vref, 2.56);
    EXPECT_EQ(e.externalAref, false);

    EXPECT_FALSE(only<SetSliderCommand>(last("set slider Slider 50")).millivolts);
    const auto mv = only<SetSliderCommand>(last("set slider Slider 1200 mV"));
    EXPECT_TRUE(mv.millivolts);
    EXPECT_DOUBLE_EQ(mv.value, 1200);
    EXPECT_EQ(only<SetTemperatureCommand>(last("set temperature Beerbasement -5")).celsius, -5);

    const auto byName = only<ExpectChannelCommand>(last("expect channel Slider 50"));
    EXPECT_EQ(byName.window, "Slider");
    const auto byChannel = only<ExpectChannelCommand>(last("expect channel ADC3 2500 mV"));
    EXPECT_EQ(byChannel.channel, 3);
    EXPECT_TRUE(byChannel.millivolts);
    // The ATmega2560's upper channels.
    EXPECT_EQ(only<ExpectChannelCommand>(last("expect channel ADC15 2500 mV")).channel, 15);
    EXPECT_EQ(only<SettingsCommand>(last("settings Slider channel=15")).channel, 15);
    const auto text = only<ExpectTextCommand>(last("expect text Beerbasement 359 \"21°C\""));
    EXPECT_EQ(text.control, 359);
    EXPECT_EQ(text.text, "21°C");

    struct Case {
        std::string line, error;
    };
    const std::vector<Case> cases = {
        {"settings Slider reference=vcc", "bad reference \"vcc\" (use aref, avcc or internal)"},
        {"settings Slider port=B",
         "unknown setting \"port\" for \"Slider\" (keys: channel, reference)"},
        {"settings \"Capacity Measurement\" capacitance=1001",
         "capacitance 1001 is too large (at most 1000)"},
        {"settings Beerbasement heater=C8",
         "bad heater \"C8\" (use a port letter and a bit such as A1)"},
        {"settings electrical vcc=9", "vcc 9 V is outside 2.7 to 5.5 V"},
        {"settings electrical aref=3.3", "aref needs extaref=1 or extaref=0 as well"},
        {"set slider Slider 101", "slider value 101 % is above 100"},
        {"set temperature Beerbasement 41", "temperature 41 is too large (at most 40)"},
        {"set temperature Slider 20", "window \"Slider\" is not a Beerbasement"},
        {"expect channel ADC3 2500", "expect channel ADC3 needs a value in mV"},
        {"settings Slider channel=16", "channel 16 is too large (at most 15)"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(c.line, windows), c.error) << c.line;
}

TEST(Scenario, HitachiLcdCommands) {
    const std::string lcd = "open \"Hitachi LCD\"\nopen LCD\n";
    const ParseResult opened = parseText(lcd);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(std::get<OpenCommand>(opened.script.steps[1].command).window, "Hitachi LCD 2");

    const auto s = only<SettingsCommand>(
        parseText(lcd + "settings \"Hitachi LCD 2\" data=B nibble=low bits=4 pinreg=1 e=b6 "
                        "rs=B4 rw=B5 size=20 lines=4 zoom=3 trace=1\n"));
    EXPECT_EQ(s.window, "Hitachi LCD 2");
    EXPECT_EQ(formatSettings(settingPairs(s)),
              "size=20 lines=4 zoom=3 bits=4 pinreg=1 trace=1 data=B nibble=low e=B6 rs=B4 rw=B5");

    // Pin by pin: the tutorial's wiring with R/W grounded, as written.
    const auto wired = only<SettingsCommand>(parseText(
        lcd + "settings \"Hitachi LCD\" bits=4 rs=B4 e=B3 rw=none d4=D5 d5=D4 d6=D3 d7=D2 "
              "size=16 lines=2\n"));
    EXPECT_EQ(formatSettings(settingPairs(wired)),
              "size=16 lines=2 bits=4 e=B3 rs=B4 rw=none d4=D5 d5=D4 d6=D3 d7=D2");
    const std::string set = "settings \"Hitachi LCD\" ";
    const struct {
        std::string keys, error;
    } wiring[] = {
        {"d4=D5 d5=D4 d6=D3", "the data lines are wired pin by pin, but d7 is missing (bits=4 "
                              "needs d4 to d7)"},
        {"bits=8 d4=D5 d5=D4 d6=D3 d7=D2",
         "the data lines are wired pin by pin, but d0, d1, d2, d3 are missing (bits=8 needs d0 "
         "to d7)"},
        {"d0=A0 d4=D5 d5=D4 d6=D3 d7=D2",
         "d0 is a line of the 8-bit interface: give bits=8 (a 4-bit interface uses d4 to d7)"},
        {"rs=B4 d4=B4 d5=D4 d6=D3 d7=D2",
         "rs and d4 are both on pin PB4: each line needs a pin of its own"},
        {"d4=D5 d5=D5 d6=D3 d7=D2", "d4 and d5 are both on pin PD5: each line needs a pin of its "
                                    "own"},
        {"data=D d4=D5 d5=D4 d6=D3 d7=D2",
         "data= and nibble= put the data lines on consecutive pins of one port; with d0= ... "
         "d7= each line has its own pin: give one or the other"},
        {"d4=D9 d5=D4 d6=D3 d7=D2", "d4 \"D9\" is a board's pin name: choose a board first "
                                    "(board Uno, Nano or Mega) or write a port pin such as B5"},
    };
    for (const auto& c : wiring) EXPECT_EQ(errorOf(set + c.keys, lcd), c.error) << c.keys;

    const auto line = std::get<LcdLineCondition>(
        only<ExpectCommand>(parseText(lcd + "expect lcd \"Hitachi LCD\" line 2 \"Hi there\"\n"))
            .condition);
    EXPECT_EQ(line.line, 2);
    EXPECT_EQ(line.text, "Hi there");
    // Character codes as \xNN: CGRAM codes, and others as their code point.
    const auto coded = std::get<LcdLineCondition>(
        only<ExpectCommand>(
            parseText(lcd + "expect lcd \"Hitachi LCD\" line 1 \"\\x00 ok\\x0f\\xE4\"\n"))
            .condition);
    EXPECT_EQ(coded.text, std::string("\0 ok\x0f\xC3\xA4", 7));
    EXPECT_EQ(describe(only<ExpectCommand>(
                  parseText(lcd + "expect lcd \"Hitachi LCD\" line 1 \"\\x01 \\x7e\"\n"))),
              "expect line 1 of \"Hitachi LCD\" shows \"\\x01 ~\"");
    EXPECT_EQ(errorOf("expect lcd \"Hitachi LCD\" line 1 \"\\x0\"", lcd),
              "bad character escape in \"\\x0\" (use \\x and two hex digits, such as \\x00)");
    EXPECT_TRUE(
        std::get<LcdProtocolCondition>(
            only<ExpectCommand>(parseText(lcd + "expect lcd \"Hitachi LCD\" protocol warned\n"))
                .condition)
            .warned);
    EXPECT_FALSE(
        std::get<LcdProtocolCondition>(
            only<WaitUntilCommand>(parseText(lcd + "wait until lcd \"Hitachi LCD\" protocol OK\n"))
                .condition)
            .warned);
    EXPECT_EQ(errorOf("expect lcd \"Hitachi LCD\" protocol fine", lcd),
              "bad protocol verdict \"fine\" (use ok or warned)");
    const auto wait = only<WaitUntilCommand>(
        parseText(lcd + "wait until lcd \"Hitachi LCD\" cursor 1 5 timeout 300\n"));
    const auto cursor = std::get<LcdCursorCondition>(wait.condition);
    EXPECT_EQ(wait.timeoutCycles, 300u);
    EXPECT_FALSE(cursor.none);
    EXPECT_EQ(cursor.column, 5);
    EXPECT_TRUE(std::get<LcdCursorCondition>(
                    only<ExpectCommand>(parseText(lcd + "expect lcd \"Hitachi LCD\" cursor none\n"))
                        .condition)
                    .none);

    EXPECT_EQ(errorOf("settings \"Hitachi LCD\" e=X8", lcd),
              "bad e \"X8\" (use a port letter and a bit such as A1)");
    EXPECT_EQ(errorOf("settings \"Hitachi LCD\" lines=3", lcd), "bad lines \"3\" (use 1, 2 or 4)");
    EXPECT_EQ(errorOf("settings \"Hitachi LCD\" port=A", lcd),
              "unknown setting \"port\" for \"Hitachi LCD\" (keys: data, nibble, bits, pinreg, e, "
              "rs, rw, d0..d7, size, lines, zoom, trace)");
    EXPECT_EQ(errorOf("expect lcd \"Hitachi LCD\" line 0 \"x\"", lcd), "LCD lines count from 1");
    EXPECT_EQ(errorOf("expect lcd LED line 1 \"x\"", "open LED\n"),
              "window \"LED\" is not a Hitachi LCD");
}

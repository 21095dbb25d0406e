// The instrument commands of the scenario language: serial text with its
// escapes and USART, waveform files, frequency and duty with units and
// tolerance, and the lines refused with a reason.
#include <gtest/gtest.h>

#include "host/scenario/Scenario.h"

using namespace quill::scenario;

namespace {

quill::scenario::Command only(const std::string& line) {
    ParseResult r = parse(line + "\n", "test.scn");
    EXPECT_TRUE(r.ok()) << line << ": " << (r.errors.empty() ? "" : r.errors[0].message);
    return r.ok() && !r.script.steps.empty() ? r.script.steps[0].command : quill::scenario::Command{ResetCommand{}};
}

std::string errorOf(const std::string& line) {
    ParseResult r = parse(line + "\n", "test.scn");
    return r.errors.empty() ? std::string("(accepted)") : r.errors[0].message;
}

}  // namespace

TEST(ScenarioInstruments, SerialCommandsDecodeTheirText) {
    const auto send = std::get<SendSerialCommand>(only(R"(send serial "led 1\r\n\x41\\\"")"));
    EXPECT_EQ(send.usart, -1);
    EXPECT_EQ(send.bytes, "led 1\r\nA\\\"");
    EXPECT_EQ(describe(send), R"(send serial "led 1\r\n\x41\\\"")");
    EXPECT_EQ(std::get<SendSerialCommand>(only(R"(send serial usart1 "x")")).usart, 1);
    const auto expect = std::get<ExpectSerialCommand>(only(R"(expect serial "42\r\n")"));
    EXPECT_EQ(expect.text, "42\r\n");
    const auto wait = std::get<WaitSerialCommand>(only(R"(wait until serial "ready> " timeout 5000)"));
    EXPECT_EQ(wait.serial.text, "ready> ");
    EXPECT_EQ(wait.timeoutCycles, 5000u);
    EXPECT_EQ(std::get<WaitSerialCommand>(only(R"(wait until serial "x")")).timeoutCycles,
              Script::kDefaultWaitTimeout);

    EXPECT_EQ(errorOf(R"(send serial "\q")"),
              R"(send serial: unknown escape \q (use \n \r \t \\ \" \xHH))");
    EXPECT_EQ(errorOf(R"(send serial "\x4")"), R"(send serial: \x needs two hex digits (\x0D))");
    EXPECT_EQ(errorOf("send serial text"), "send serial needs the text in double quotes");
    EXPECT_EQ(errorOf(R"(send serial USART7 "x")"), "unknown USART \"USART7\" (use USART0 ... USART3)");
    EXPECT_EQ(errorOf(R"(expect serial "")"), "expect serial needs a text that is not empty");
    EXPECT_EQ(errorOf(R"(expect serial "a" "b")"), "unexpected argument \"b\" after expect serial");
}

TEST(ScenarioInstruments, OpenTerminalNamesItsUsart) {
    EXPECT_EQ(std::get<OpenTerminalCommand>(only("open terminal")).usart, -1);
    const auto third = std::get<OpenTerminalCommand>(only("open Terminal USART3"));
    EXPECT_EQ(third.usart, 3);
    EXPECT_EQ(describe(third), "open terminal USART3");
    EXPECT_EQ(errorOf("open terminal USART9"), "unknown USART \"USART9\" (use USART0 ... USART3)");
    EXPECT_EQ(errorOf("open terminal USART1 now"),
              "unexpected argument \"now\" after open terminal");
    // A quoted "terminal" is a window name, which no component has.
    EXPECT_NE(errorOf(R"(open "terminal")"), "(accepted)");
}

TEST(ScenarioInstruments, WaveformsFrequencyAndDuty) {
    const auto record = std::get<RecordWaveformCommand>(only("record waveform out.vcd signals PA0,PB1,TX"));
    EXPECT_EQ(record.path, "out.vcd");
    EXPECT_EQ(record.signalList, "PA0,PB1,TX");
    EXPECT_TRUE(std::holds_alternative<StopWaveformCommand>(only("stop waveform")));
    EXPECT_EQ(errorOf("record waveform out.vcd signals PA0,PZ1"),
              "record waveform: unknown signal \"PZ1\" (use a pin such as PB3, TX, RX, TX1, RX1 "
              "for a USART, or LCD.E, LCD.RS, LCD.RW for the Hitachi LCD's lines)");
    EXPECT_EQ(std::get<RecordWaveformCommand>(only("record waveform o.vcd signals LCD.E,PA1")).signalList,
              "LCD.E,PA1");
    EXPECT_EQ(errorOf("expect duty LCD.E 50%"),
              "expect duty measures a pin or a USART line, not LCD.E (record the LCD's lines "
              "with record waveform)");
    EXPECT_EQ(errorOf("record waveform out.vcd PA0"),
              "record waveform needs: record waveform FILE signals PA0,PB1,TX");

    const auto f = std::get<ExpectFrequencyCommand>(only("expect frequency pb3 490 Hz"));
    EXPECT_EQ(f.signal, "PB3");
    EXPECT_EQ(f.hertz, 490);
    EXPECT_EQ(f.tolerancePercent, 2);
    const auto k = std::get<ExpectFrequencyCommand>(only("expect frequency PD5 1.5kHz tolerance 0.5%"));
    EXPECT_EQ(k.hertz, 1500);
    EXPECT_EQ(k.tolerancePercent, 0.5);
    const auto d = std::get<ExpectDutyCommand>(only("expect duty PB3 25 % tolerance 1%"));
    EXPECT_EQ(d.percent, 25);
    EXPECT_EQ(d.tolerancePercent, 1);
    EXPECT_EQ(describe(d), "expect duty PB3 25% (tolerance 1%)");

    // Messages say what is wrong with the number.
    EXPECT_EQ(errorOf("expect frequency PB3 490"), "the frequency 490 needs a unit (Hz, kHz, MHz)");
    EXPECT_EQ(errorOf("expect frequency PB3 -490 Hz"),
              "the frequency -490 Hz is negative (write one such as 490 Hz)");
    EXPECT_EQ(errorOf("expect frequency PB3 490furlongs"),
              "unknown unit \"furlongs\" for the frequency (use Hz, kHz, MHz)");
    EXPECT_EQ(errorOf("expect frequency PB3 fast"),
              "bad frequency \"fast\" (write a number and a unit such as 490 Hz)");
    EXPECT_EQ(errorOf("expect frequency PB3"),
              "missing argument: expect frequency needs a frequency such as 490 Hz");
    EXPECT_EQ(errorOf("expect duty PB3 -5%"),
              "the duty cycle -5% is negative (write one such as 50%)");
    EXPECT_EQ(errorOf("expect duty PB3 50% tolerance -1%"),
              "the tolerance -1% is negative (write one such as 2%)");
    EXPECT_EQ(errorOf("expect duty PB3 1.2.3%"), "bad number \"1.2.3\" for the duty cycle");
    EXPECT_EQ(errorOf("expect duty PB3 120%"), "a duty cycle is at most 100%");
    EXPECT_EQ(errorOf("expect duty PB3 50% tolerance 0%"),
              "tolerance must be above 0% and at most 100%");
    EXPECT_EQ(errorOf("expect duty PB3 50% within 2%"),
              "unexpected argument \"within\" after expect duty (only: tolerance 2%)");
}

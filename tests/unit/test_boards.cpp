// The board tables as shipped and the reader's diagnoses; the scenario's
// board command and the pin names it brings to settings lines.
#include <gtest/gtest.h>

#include <string>

#include "host/boards/Board.h"
#include "host/instruments/Signals.h"
#include "host/scenario/Scenario.h"
#include "host/scenario/SettingKeys.h"

using namespace quill;
using namespace quill::scenario;

namespace {

const std::string kBoardsDir = std::string(QUILL_SOURCE_DIR) + "/host/Partdescriptionfiles/boards";

std::vector<boards::Board> shipped() {
    std::vector<std::string> errors;
    auto b = boards::loadBoards(kBoardsDir, &errors);
    EXPECT_TRUE(errors.empty()) << errors.front();
    return b;
}

std::string parseError(const std::string& text) {
    boards::Board b;
    std::string error;
    EXPECT_FALSE(boards::parseBoard(text, "x.board", &b, &error)) << text;
    return error;
}

ParseResult parseWithBoards(const std::string& text) {
    ParseOptions options;
    options.boards = shipped();
    return parse(text, "t.scn", options);
}

std::string firstError(const std::string& text) {
    const ParseResult r = parseWithBoards(text);
    return r.errors.empty() ? "" : r.errors.front().message;
}

}  // namespace

TEST(Boards, ShippedTablesNameThePinsAsArduinoDoes) {
    const auto all = shipped();
    ASSERT_EQ(boards::boardNames(all), "Mega, Nano, Uno");
    const boards::Board* uno = boards::findBoard(all, "uno");
    const boards::Board* nano = boards::findBoard(all, "Nano");
    const boards::Board* mega = boards::findBoard(all, "MEGA");
    ASSERT_TRUE(uno && nano && mega);
    EXPECT_EQ(uno->part, "ATmega328P");
    EXPECT_EQ(mega->part, "ATmega2560");
    EXPECT_EQ(uno->hertz, 16000000u);
    EXPECT_EQ(mega->hertz, 16000000u);
    EXPECT_EQ(uno->label('B', 5), "PB5 (D13)");
    EXPECT_EQ(uno->label('C', 0), "PC0 (A0)");  // the analog name, not D14
    EXPECT_EQ(uno->label('B', 6), "PB6");       // the crystal: no board name
    EXPECT_EQ(mega->label('B', 7), "PB7 (D13)");
    EXPECT_EQ(mega->label('K', 0), "PK0 (A8)");
    EXPECT_EQ(mega->find("D0")->port, 'E');
    EXPECT_EQ(uno->nameRanges(), "D0..D19, A0..A5");
    // The Nano's A6 and A7 reach the converter only.
    const boards::BoardPin* a6 = nano->find("A6");
    ASSERT_TRUE(a6);
    EXPECT_EQ(a6->port, 0);
    EXPECT_EQ(a6->channel, 6);
    EXPECT_EQ(uno->find("A6"), nullptr);
    EXPECT_EQ(boards::pinSuffix(nullptr, 'B', 5), "");
}

TEST(Boards, MalformedTablesAreDiagnosedByLine) {
    const std::string head = "board X\npart ATmega328P\nfrequency 16000000\n";
    EXPECT_EQ(parseError(head + "D13 PB5\nD13 PB4\n"), "x.board:5: pin D13 given twice");
    EXPECT_EQ(parseError(head + "D13 PB8\n"),
              "x.board:4: bad port pin \"PB8\" for D13 (such as PB5, or - for an input of the "
              "converter only)");
    EXPECT_EQ(parseError(head + "Q1 PB1\n"),
              "x.board:4: bad pin name \"Q1\" (D or A and a number, such as D13 or A0)");
    EXPECT_EQ(parseError(head + "A6 -\n"),
              "x.board:4: pin A6 has neither a port pin nor a converter input");
    EXPECT_EQ(parseError(head + "A0 PC0 ADC16\n"),
              "x.board:4: bad converter input \"ADC16\" for A0 (ADC0 to ADC15)");
    EXPECT_EQ(parseError("board X\npart P\nfrequency 0\n"),
              "x.board:3: bad frequency \"0\" (hertz, 1 to 100000000)");
    EXPECT_EQ(parseError("part P\nfrequency 1\nD0 PD0\n"), "x.board:0: no board line");
    EXPECT_EQ(parseError(head), "x.board:0: no pins");
    EXPECT_EQ(parseError(head + "board Y\n"), "x.board:4: board given twice");
}

TEST(Boards, BoardCommandChoosesPartAndClock) {
    const ParseResult r = parseWithBoards("board uno\nopen LED\n");
    ASSERT_TRUE(r.ok()) << r.errors.front().text();
    EXPECT_EQ(r.script.part(), "ATmega328P");
    EXPECT_EQ(r.script.boardHertz(), 16000000u);
    EXPECT_EQ(std::get<BoardCommand>(r.script.steps[0].command).name, "Uno");
    EXPECT_EQ(describe(r.script.steps[0].command), "board Uno (ATmega328P, 16 MHz)");
    EXPECT_EQ(firstError("board Leonardo\n"),
              "unknown board \"Leonardo\" (known: Mega, Nano, Uno)");
    EXPECT_EQ(firstError("board Uno\npart ATmega16\n"), "the board already chooses the part");
    EXPECT_EQ(firstError("frequency 8 MHz\nboard Uno\n"),
              "board chooses the clock: leave out the frequency line");
    EXPECT_EQ(firstError("open LED\nboard Uno\n"),
              "board must come before the commands that use the target");
    EXPECT_EQ(parse("board Uno\n", "t.scn").errors.front().message,
              "unknown board \"Uno\" (known: none, no board tables found)");
}

TEST(Boards, SettingsTakeTheBoardsPinNames) {
    auto led = [](const std::string& board, const std::string& setting) {
        const ParseResult r = parseWithBoards(board + "open LED\nsettings LED " + setting + "\n");
        EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.errors.front().text());
        const auto& s = std::get<SettingsCommand>(r.script.steps.back().command);
        return std::string(1, s.port.value_or('?')) + std::to_string(s.pin.value_or(-1));
    };
    EXPECT_EQ(led("board Uno\n", "pin=D13"), "B5");
    EXPECT_EQ(led("board Mega\n", "pin=D13"), "B7");
    EXPECT_EQ(led("board Uno\n", "pin=A0"), "C0");
    EXPECT_EQ(led("board Mega\n", "pin=A8"), "K0");
    EXPECT_EQ(led("board Mega\n", "pin=A0"), "F0");   // the board's name comes first
    EXPECT_EQ(led("board Mega\n", "pin=PA0"), "A0");  // the port pin written as such
    EXPECT_EQ(led("", "pin=B5"), "B5");
    EXPECT_EQ(led("", "port=C pin=3"), "C3");
    EXPECT_EQ(firstError("board Uno\nopen LED\nsettings LED pin=A8\n"),
              "the Uno has no pin \"A8\" (D0..D19, A0..A5)");
    EXPECT_EQ(firstError("open LED\nsettings LED pin=D13\n"),
              "pin \"D13\" is a board's pin name: choose a board first (board Uno, Nano or Mega) "
              "or write a port pin such as B5");
    EXPECT_EQ(firstError("board Nano\nopen Switch\nsettings Switch pin=A7\n"),
              "pin \"A7\": A7 of the Nano is an input of the converter only (ADC7), not a port "
              "pin");
    EXPECT_EQ(firstError("board Uno\nopen LED\nsettings LED port=C pin=D13\n"),
              "pin D13 is on port B, not on port C");
    // Written after the pin, port may not move it either.
    EXPECT_EQ(firstError("board Uno\nopen LED\nsettings LED pin=D13 port=C\n"),
              "port=C contradicts the pin, which is on port B (leave out port)");
    EXPECT_EQ(led("board Uno\n", "pin=D13 port=B"), "B5");
    EXPECT_EQ(firstError("board Uno\nopen \"Capacity Measurement\"\n"
                         "settings \"Capacity Measurement\" pin=A0 port=D\n"),
              "port=D contradicts the pin, which is on port C (leave out port)");
    const ParseResult cellar = parseWithBoards(
        "board Uno\nopen Beerbasement\nsettings Beerbasement heater=D2 cooler=PD3 status=D13\n");
    ASSERT_TRUE(cellar.ok()) << cellar.errors.front().text();
    const auto& c = std::get<SettingsCommand>(cellar.script.steps.back().command);
    EXPECT_EQ(c.heater->port, 'D');
    EXPECT_EQ(c.heater->bit, 2);
    EXPECT_EQ(c.status->port, 'B');
    EXPECT_EQ(c.status->bit, 5);
}

// The keypad's lines: three columns and four rows, a board's names or port
// pins, no pin twice; written back as port pins, which mean the same with
// or without a board.
TEST(Boards, KeypadIsWiredByPinNames) {
    const ParseResult r = parseWithBoards(
        "board Mega\nopen Keypad\nsettings Keypad cols=D7,D6,C0 rows=B3,B2,A1,PB0\n");
    ASSERT_TRUE(r.ok()) << r.errors.front().text();
    const auto& k = std::get<SettingsCommand>(r.script.steps.back().command);
    EXPECT_EQ(formatSettings(settingPairs(k)), "wiring=pins cols=PH4,PH3,PC0 rows=PB3,PB2,PF1,PB0");
    const ParseResult plain = parse("open Keypad\nsettings Keypad cols=D7,D6,C0 rows=B3,B2,B1,B0\n", "t.scn");
    ASSERT_TRUE(plain.ok()) << plain.errors.front().text();
    EXPECT_EQ(formatSettings(settingPairs(std::get<SettingsCommand>(plain.script.steps.back().command))),
              "wiring=pins cols=PD7,PD6,PC0 rows=PB3,PB2,PB1,PB0");

    auto keypad = [](const std::string& setting) {
        return firstError("board Uno\nopen Keypad\nsettings Keypad " + setting + "\n");
    };
    EXPECT_EQ(keypad("cols=D7,D6"), "cols takes 3 pins, columns 0 to 2 (cols=D7,D6,C0), not 2");
    EXPECT_EQ(keypad("rows=B3,,B1,B0"),
              "rows=B3,,B1,B0 has an empty pin (rows takes 4 pins, rows 0 to 3 (rows=B3,B2,B1,B0))");
    EXPECT_EQ(keypad("cols=D7,D6,A0 rows=D11,D10,A0,D8"),
              "pin PC0 (A0) is given twice, in cols and rows");
    EXPECT_EQ(keypad("cols=D7,D6,A8"), "the Uno has no pin \"A8\" (D0..D19, A0..A5)");
    EXPECT_EQ(keypad("wiring=fixed cols=D7,D6,C0"), "wiring=fixed takes no cols or rows");
    EXPECT_EQ(keypad("wiring=loose"), "bad wiring \"loose\" (use pins or fixed)");
    EXPECT_EQ(keypad("colour=red"), "unknown setting \"colour\" for \"Keypad\" (keys: cols, rows, wiring)");
}

// The signal lists (record waveform, expect frequency and duty, the
// analyser, --signals) and the pin conditions read a board's names as the
// settings do: D9 on an Uno is PB1, named beside it; a name the board
// lacks, or one without a board, is refused saying so.
TEST(Boards, SignalListsAndPinConditionsTakeTheBoardsNames) {
    const auto all = shipped();
    const boards::Board* uno = boards::findBoard(all, "Uno");
    const boards::Board* mega = boards::findBoard(all, "Mega");
    ASSERT_TRUE(uno && mega);
    std::string why;
    auto list = instruments::parseSignalList("d9,A0,TX,PB5", 16, &why, uno);
    ASSERT_TRUE(list) << why;
    std::string names;
    for (const auto& s : *list) names += s.shown() + " " + s.wireName() + ";";
    EXPECT_EQ(names, "PB1 (D9) PB1_D9;PC0 (A0) PC0_A0;TX TX;PB5 (D13) PB5_D13;");
    EXPECT_EQ(instruments::parseSignal("A8", &why, mega)->name, "PK0");
    EXPECT_FALSE(instruments::parseSignalList("D13,PB5", 16, &why, uno));
    EXPECT_EQ(why, "signal PB5 (D13) is listed twice");
    EXPECT_FALSE(instruments::parseSignal("A8", &why, uno));
    EXPECT_EQ(why, "the Uno has no pin \"A8\" (D0..D19, A0..A5)");
    EXPECT_FALSE(instruments::parseSignal("D13", &why, nullptr));
    EXPECT_EQ(why, "signal \"D13\" is a board's pin name: choose a board first (board Uno, Nano or "
                   "Mega) or write a port pin such as PB5");

    const ParseResult r = parseWithBoards(
        "board Uno\nrecord waveform w.vcd signals D9,A0,TX\nwait until pin D9 1\n"
        "expect frequency D6 490 Hz\nexpect duty D3 75%\n");
    ASSERT_TRUE(r.ok()) << r.errors.front().text();
    const auto& wait = std::get<WaitUntilCommand>(r.script.steps[2].command);
    const auto& pin = std::get<PinCondition>(wait.condition);
    EXPECT_EQ(pin.reg + "." + std::to_string(pin.bit), "PINB.1");
    EXPECT_EQ(std::get<ExpectFrequencyCommand>(r.script.steps[3].command).signal, "PD6");
    EXPECT_EQ(std::get<ExpectDutyCommand>(r.script.steps[4].command).signal, "PD3");
    EXPECT_EQ(firstError("board Uno\nrecord waveform w.vcd signals D9,A8\n"),
              "record waveform: the Uno has no pin \"A8\" (D0..D19, A0..A5)");
    EXPECT_EQ(firstError("board Nano\nexpect frequency A6 490 Hz\n"),
              "signal \"A6\": A6 of the Nano is an input of the converter only (ADC6), not a port "
              "pin");
    EXPECT_EQ(firstError("expect pin D13 1\n"),
              "pin \"D13\" is a board's pin name: choose a board first (board Uno, Nano or Mega) "
              "or write a port pin such as PINB.5");
}

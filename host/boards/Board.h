// An Arduino board: its part, its clock and the names its pins are known by
// ("D13" is PB5 on an Uno, PB7 on a Mega; "A0" is PC0 on an Uno). The tables
// are files under Partdescriptionfiles/boards, made from Arduino's own
// pins_arduino.h by scripts/boards/make_board_files.py; this reads them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quill::boards {

struct BoardPin {
    std::string name;  // "D13", "A0"
    char port = 0;     // 'B'; 0 for an input of the converter only (the Nano's A6)
    int bit = -1;      // 0..7; -1 with port 0
    int channel = -1;  // the converter channel of an analog pin, else -1
};

struct Board {
    std::string name;  // "Uno"
    std::string part;  // as the part description files name it, "ATmega328P"
    uint32_t hertz = 0;
    std::vector<BoardPin> pins;  // in the file's order: D0.., then A0..

    // The pin of that name, in any case ("d13"); nullptr when the board has none.
    const BoardPin* find(const std::string& name) const;
    // The name shown beside a port pin: the analog name when the pin has one
    // ("A0" for PC0 on an Uno), else its digital name ("D13"); "" when the
    // board does not bring the pin out.
    std::string nameOf(char port, int bit) const;
    // "PB5 (D13)", or "PB5" for a pin without a board name.
    std::string label(char port, int bit) const;
    // The names, "D0..D19, A0..A5" style, for messages.
    std::string nameRanges() const;
};

// Reads a board table; false with *error "file:line: what is wrong".
bool parseBoard(const std::string& text, const std::string& fileName, Board* board,
                std::string* error);

// Every *.board file of `directory` (Partdescriptionfiles/boards), sorted by
// name. A malformed file is left out and its diagnosis added to *errors; a
// missing folder gives no boards and no error.
std::vector<Board> loadBoards(const std::string& directory, std::vector<std::string>* errors);

// The board of that name, in any case, from `boards`; nullptr if none.
const Board* findBoard(const std::vector<Board>& boards, const std::string& name);
// "Mega, Nano, Uno" for messages.
std::string boardNames(const std::vector<Board>& boards);

// Whether `text` is written as a board's pin name: D or A and digits
// ("D13", "a0"), whether or not a board has it.
bool looksLikePinName(const std::string& text);

// A port pin, 'B' and 5.
struct PortPinRef {
    char port = 0;
    int bit = -1;
};

// The one reading of a board's pin name wherever a scenario takes a pin
// (a setting's pin, a signal list): the port pin that `text` names on
// `board` (nullptr: no board chosen). Nothing with *error empty when
// `text` is neither one of the board's names nor written like one: the
// caller reads it as a port pin. Nothing with *error set when it names no
// port pin: no board is chosen ("pin \"D13\" is a board's pin name: choose
// a board first ... or write a port pin such as B5", `what` and `example`
// filling in the words), the board has no such pin ("the Uno has no pin
// \"A8\" (D0..D19, A0..A5)"), or the pin is an input of the converter
// only (the Nano's A6).
std::optional<PortPinRef> portPinOfName(const std::string& text, const Board* board,
                                        const std::string& what, const std::string& example,
                                        std::string* error);

// " (D13)" after a port pin's name when the board names it; "" without a
// board or name. For pin lists that write "PB5" themselves.
std::string pinSuffix(const Board* board, char port, int bit);

}  // namespace quill::boards

// The reader of the board tables: one statement per line, '#' starts a
// comment.
//   board NAME | part NAME | frequency HERTZ | PIN PORTPIN [ADCn]
#include "host/boards/Board.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/files.h"
#include "platform/text.h"

namespace quill::boards {

namespace {

constexpr std::size_t kMaxBoardFileBytes = 64 * 1024;
constexpr std::size_t kMaxPins = 256;

bool isWord(const std::string& s) {
    if (s.empty() || s.size() > 32 || !std::isalpha(static_cast<unsigned char>(s[0])))
        return false;
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

// "PB5" -> 'B', 5.
bool parsePortPin(const std::string& s, char* port, int* bit) {
    if (s.size() != 3 || (s[0] != 'P' && s[0] != 'p') ||
        !std::isalpha(static_cast<unsigned char>(s[1])) || s[2] < '0' || s[2] > '7')
        return false;
    *port = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
    *bit = s[2] - '0';
    return true;
}

bool parseNumber(const std::string& s, uint64_t max, uint64_t* out) {
    uint64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v > max) return false;
    *out = v;
    return true;
}

}  // namespace

const BoardPin* Board::find(const std::string& name) const {
    for (const BoardPin& p : pins)
        if (text::EqualsIgnoreCase(p.name, name)) return &p;
    return nullptr;
}

std::string Board::nameOf(char port, int bit) const {
    std::string digital;
    for (const BoardPin& p : pins) {
        if (p.port != port || p.bit != bit) continue;
        if (p.channel >= 0) return p.name;
        if (digital.empty()) digital = p.name;
    }
    return digital;
}

std::string Board::label(char port, int bit) const {
    return std::string("P") + port + std::to_string(bit) + pinSuffix(this, port, bit);
}

std::string Board::nameRanges() const {
    // Runs of one letter and consecutive numbers: "D0..D19, A0..A5".
    std::string out;
    std::size_t i = 0;
    while (i < pins.size()) {
        std::size_t j = i;
        auto number = [&](std::size_t k) { return std::atoi(pins[k].name.c_str() + 1); };
        while (j + 1 < pins.size() && pins[j + 1].name[0] == pins[i].name[0] &&
               number(j + 1) == number(j) + 1)
            ++j;
        if (!out.empty()) out += ", ";
        out += pins[i].name;
        if (j > i) out += ".." + pins[j].name;
        i = j + 1;
    }
    return out;
}

bool parseBoard(const std::string& text, const std::string& fileName, Board* board,
                std::string* error) {
    Board b;
    std::set<std::string> names;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& message) {
        *error = fileName + ":" + std::to_string(number) + ": " + message;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;
        const std::string key = text::Lower(w[0]);
        if (key == "board" || key == "part" || key == "frequency") {
            if (w.size() != 2) return fail(key + " needs one value");
            if (key == "frequency") {
                uint64_t hz = 0;
                if (b.hertz != 0) return fail("frequency given twice");
                if (!parseNumber(w[1], 100000000, &hz) || hz == 0)
                    return fail("bad frequency \"" + w[1] + "\" (hertz, 1 to 100000000)");
                b.hertz = static_cast<uint32_t>(hz);
                continue;
            }
            std::string& field = key == "board" ? b.name : b.part;
            if (!field.empty()) return fail(key + " given twice");
            if (!isWord(w[1])) return fail("bad " + key + " name \"" + w[1] + "\"");
            field = w[1];
            continue;
        }
        // A pin: NAME PORTPIN [ADCn].
        if (w.size() < 2 || w.size() > 3)
            return fail("\"" + w[0] + "\" is not a pin line (NAME PORTPIN [ADCn]) nor board, "
                        "part or frequency");
        const std::string& name = w[0];
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        uint64_t ignored = 0;
        if ((letter != 'D' && letter != 'A') || !parseNumber(name.substr(1), 999, &ignored))
            return fail("bad pin name \"" + name + "\" (D or A and a number, such as D13 or A0)");
        BoardPin pin;
        pin.name = std::string(1, letter) + name.substr(1);
        if (!names.insert(pin.name).second) return fail("pin " + pin.name + " given twice");
        if (w[1] != "-" && !parsePortPin(w[1], &pin.port, &pin.bit))
            return fail("bad port pin \"" + w[1] + "\" for " + pin.name +
                        " (such as PB5, or - for an input of the converter only)");
        if (w.size() == 3) {
            uint64_t channel = 0;
            if (text::Upper(w[2].substr(0, 3)) != "ADC" || !parseNumber(w[2].substr(3), 15, &channel))
                return fail("bad converter input \"" + w[2] + "\" for " + pin.name +
                            " (ADC0 to ADC15)");
            pin.channel = static_cast<int>(channel);
        }
        if (pin.port == 0 && pin.channel < 0)
            return fail("pin " + pin.name + " has neither a port pin nor a converter input");
        if (b.pins.size() >= kMaxPins) return fail("more than 256 pins");
        b.pins.push_back(pin);
    }
    number = 0;
    if (b.name.empty()) return fail("no board line");
    if (b.part.empty()) return fail("no part line");
    if (b.hertz == 0) return fail("no frequency line");
    if (b.pins.empty()) return fail("no pins");
    *board = std::move(b);
    return true;
}

std::vector<Board> loadBoards(const std::string& directory, std::vector<std::string>* errors) {
    std::vector<Board> boards;
    std::error_code ec;
    if (!std::filesystem::is_directory(directory, ec)) return boards;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec))
        if (entry.path().extension() == ".board") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        std::string bytes, error;
        Board board;
        if (!files::readRegularFile(path, kMaxBoardFileBytes, "board table", &bytes, &error) ||
            !parseBoard(bytes, path, &board, &error)) {
            if (errors) errors->push_back(error);
            continue;
        }
        if (findBoard(boards, board.name)) {
            if (errors) errors->push_back(path + ": board " + board.name + " is already defined");
            continue;
        }
        boards.push_back(std::move(board));
    }
    return boards;
}

const Board* findBoard(const std::vector<Board>& boards, const std::string& name) {
    for (const Board& b : boards)
        if (text::EqualsIgnoreCase(b.name, name)) return &b;
    return nullptr;
}

std::string boardNames(const std::vector<Board>& boards) {
    std::string out;
    for (const Board& b : boards) out += (out.empty() ? "" : ", ") + b.name;
    return out;
}

bool looksLikePinName(const std::string& text) {
    return text.size() >= 2 &&
           (text[0] == 'D' || text[0] == 'd' || text[0] == 'A' || text[0] == 'a') &&
           std::all_of(text.begin() + 1, text.end(),
                       [](unsigned char c) { return std::isdigit(c); });
}

std::optional<PortPinRef> portPinOfName(const std::string& text, const Board* board,
                                        const std::string& what, const std::string& example,
                                        std::string* error) {
    error->clear();
    const BoardPin* pin = board ? board->find(text) : nullptr;
    if (pin && pin->port != 0) return PortPinRef{pin->port, pin->bit};
    if (pin) {
        *error = what + " \"" + text + "\": " + pin->name + " of the " + board->name +
                 " is an input of the converter only (ADC" + std::to_string(pin->channel) +
                 "), not a port pin";
    } else if (looksLikePinName(text)) {
        *error = board ? "the " + board->name + " has no pin \"" + text + "\" (" +
                             board->nameRanges() + ")"
                       : what + " \"" + text +
                             "\" is a board's pin name: choose a board first (board Uno, Nano "
                             "or Mega) or write a port pin such as " +
                             example;
    }
    return std::nullopt;
}

std::string pinSuffix(const Board* board, char port, int bit) {
    if (!board) return "";
    const std::string name = board->nameOf(port, bit);
    return name.empty() ? "" : " (" + name + ")";
}

}  // namespace quill::boards

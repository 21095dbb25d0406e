// The names the board the user chose gives the selected part's pins, as the
// host told them when the core attached to the target ("D13" for PB5 on an
// Uno), and the one way a pin is labelled in every pin list of the module:
// "PB5 (D13)", or "PB5" without a board or a name for that pin.
// Toolkit-free.
#pragma once

#include <array>
#include <string>

class BoardPins {
public:
    void clear() {
        board_.clear();
        for (std::string& name : names_) name.clear();
    }
    void setBoard(std::string name) { board_ = std::move(name); }
    // Ignored for a letter outside 'A'..'Z' or a bit outside 0..7.
    void set(char port, int bit, std::string name) {
        if (valid(port, bit)) names_[slot(port, bit)] = std::move(name);
    }

    // The board's name ("Uno"); empty when none is chosen.
    const std::string& board() const { return board_; }
    // The board's name of a pin ("D13"); empty when it has none.
    const std::string& nameOf(char port, int bit) const {
        static const std::string none;
        return valid(port, bit) ? names_[slot(port, bit)] : none;
    }
    // "PB5 (D13)", or "PB5".
    std::string label(char port, int bit) const {
        std::string text{'P', port, static_cast<char>('0' + bit)};
        const std::string& name = nameOf(port, bit);
        return name.empty() ? text : text + " (" + name + ")";
    }

private:
    static bool valid(char port, int bit) {
        return port >= 'A' && port <= 'Z' && bit >= 0 && bit <= 7;
    }
    static int slot(char port, int bit) { return (port - 'A') * 8 + bit; }

    std::string board_;
    std::array<std::string, 26 * 8> names_{};
};

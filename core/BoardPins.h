// The names the board the user chose gives the selected part's pins, as the
// host told them when the core attached to the target ("D13" for PB5 on an
// Uno), and the one way a pin is labelled in every pin list of the module:
// "PB5 (D13)", or "PB5" without a board or a name for that pin; and the
// names of its converter channels, "ADC0 (A0)" in the channel lists.
// Toolkit-free.
#pragma once

#include <array>
#include <string>

class BoardPins {
public:
    void clear() {
        board_.clear();
        for (std::string& name : names_) name.clear();
        for (std::string& name : channels_) name.clear();
    }
    void setBoard(std::string name) { board_ = std::move(name); }
    // Ignored for a letter outside 'A'..'Z' or a bit outside 0..7.
    void set(char port, int bit, std::string name) {
        if (valid(port, bit)) names_[slot(port, bit)] = std::move(name);
    }
    // Ignored for a channel outside 0..kChannels - 1.
    void setChannel(int channel, std::string name) {
        if (channel >= 0 && channel < kChannels) channels_[channel] = std::move(name);
    }
    // The channels a board may name (ADC0 .. ADC31).
    static constexpr int kChannels = 32;

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

    // The board's name of a converter channel ("A0"); empty when it has none.
    const std::string& channelName(int channel) const {
        static const std::string none;
        return channel >= 0 && channel < kChannels ? channels_[channel] : none;
    }
    // "ADC0 (A0)", or "ADC0".
    std::string channelLabel(int channel) const {
        std::string text = "ADC" + std::to_string(channel);
        const std::string& name = channelName(channel);
        return name.empty() ? text : text + " (" + name + ")";
    }

private:
    static bool valid(char port, int bit) {
        return port >= 'A' && port <= 'Z' && bit >= 0 && bit <= 7;
    }
    static int slot(char port, int bit) { return (port - 'A') * 8 + bit; }

    std::string board_;
    std::array<std::string, 26 * 8> names_{};
    std::array<std::string, kChannels> channels_{};
};

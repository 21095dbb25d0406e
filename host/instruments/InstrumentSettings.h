// What a lab keeps of the instruments besides their places: each serial
// terminal's rate, display mode and line ending, and the logic analyser's
// channel list, as key=value text like a component's settings:
//   "terminal USART0" -> "rate=9600 mode=hex ending=crlf" (rate=program: the program's own)
//   "analyser"        -> "channels=PB3,PD5,TX"
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quill::instruments {

class InstrumentHub;

// (target, text) for every terminal of the session and the analyser.
std::vector<std::pair<std::string, std::string>> instrumentSettings(const InstrumentHub& hub);

// Applies `text` to the instrument `target` names. Nothing when `target`
// is no instrument's; false with *why for a terminal this part lacks, an
// unknown key or a value the instrument does not offer (it then keeps its
// settings).
std::optional<bool> applyInstrumentSettings(InstrumentHub& hub, const std::string& target,
                                            const std::string& text, QString* why);

}  // namespace quill::instruments

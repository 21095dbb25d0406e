// The main window's saved dock layout, checked before the window is given
// it. Qt reads such a state trusting its numbers: an area index outside its
// four dock areas is used as one (a state with one byte changed crashed the
// window), and counts and nesting are taken as they stand. This is a reader
// of the state's structure as Qt 6 writes it (QMainWindow::saveState): the
// version header, then the dock areas, floating tab groups and tool bars,
// each with its own marker; it accepts a state only when every field has a
// value Qt can take and the bytes end where the structure does.
// Toolkit-free.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quill::layout {

// What is wrong with the saved state `bytes`, empty when it is sound.
std::string dockStateFault(std::string_view bytes);

// The bytes of base64 text (the alphabet of RFC 4648, '=' padding at the
// end only, ASCII white space ignored); nothing for text that is no base64.
std::optional<std::string> decodeBase64(std::string_view text);

// The CRC-32 (ISO-HDLC, as zlib and PNG use it) of `bytes`.
uint32_t crc32(std::string_view bytes);

}  // namespace quill::layout

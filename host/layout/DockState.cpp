#include "host/layout/DockState.h"

#include <array>
#include <set>

namespace quill::layout {

namespace {

// The markers Qt writes before each part of the state.
constexpr uint32_t kVersionMarker = 0xff;
constexpr uint8_t kDockAreasMarker = 0xfd;
constexpr uint8_t kFloatingTabsMarker = 0xf9;
constexpr uint8_t kToolBarsMarker = 0xfe;    // tool bars without geometry
constexpr uint8_t kToolBarsMarkerEx = 0xfc;  // with the packed geometry of a floating one
constexpr uint8_t kSequenceMarker = 0xfc;    // within a dock area: docks side by side
constexpr uint8_t kTabMarker = 0xfa;         // within a dock area: docks as tabs
constexpr uint8_t kWidgetMarker = 0xfb;

// Bounds no window of this host goes past: sizes and places in pixels, at
// most eight times the largest a widget may take (QWIDGETSIZE_MAX, which a
// dock that keeps no size of its own saves; a group of docks saves the sum
// of theirs), so that Qt's sums of them stay within an int; names in UTF-16
// units; groups within groups.
constexpr int32_t kMaxPixels = 8 << 24;
constexpr uint32_t kMaxNameBytes = 2 * 1024;
constexpr int kMaxDepth = 32;
constexpr int kDockAreas = 4;

class StateReader {
public:
    explicit StateReader(std::string_view bytes) : bytes_(bytes) {}

    std::string check() {
        const std::optional<uint32_t> marker = u32("the version marker");
        const std::optional<uint32_t> version = u32("the version");
        if (!version) return fault_;
        if (*marker != kVersionMarker) return "it does not start as a saved window layout does";
        if (*version != 0) return "it is of layout version " + std::to_string(*version) + ", not 0";
        while (fault_.empty() && at_ < bytes_.size()) {
            const uint8_t part = static_cast<uint8_t>(bytes_[at_++]);
            switch (part) {
                case kDockAreasMarker:
                    dockAreas();
                    break;
                case kFloatingTabsMarker:
                    if (rect("a floating group's place")) group(1);
                    break;
                case kToolBarsMarker:
                case kToolBarsMarkerEx:
                    toolBars(part == kToolBarsMarkerEx);
                    break;
                default:
                    --at_;
                    fail("an unknown part (marker " + std::to_string(part) + ")");
            }
        }
        return fault_;
    }

private:
    void fail(const std::string& what) {
        if (fault_.empty()) fault_ = what + " at byte " + std::to_string(at_);
    }
    bool have(std::size_t n, const char* what) {
        if (!fault_.empty()) return false;
        if (bytes_.size() - at_ < n) {
            fail(std::string("it ends within ") + what);
            return false;
        }
        return true;
    }
    std::optional<uint8_t> u8(const char* what) {
        if (!have(1, what)) return std::nullopt;
        return static_cast<uint8_t>(bytes_[at_++]);
    }
    std::optional<uint32_t> u32(const char* what) {
        if (!have(4, what)) return std::nullopt;
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(bytes_[at_++]);
        return v;
    }
    // A signed number within [low, high].
    std::optional<int32_t> number(const char* what, int32_t low, int32_t high) {
        const std::optional<uint32_t> raw = u32(what);
        if (!raw) return std::nullopt;
        const auto v = static_cast<int32_t>(*raw);
        if (v < low || v > high) {
            at_ -= 4;
            fail(std::string(what) + " " + std::to_string(v) + " outside " + std::to_string(low) +
                 " to " + std::to_string(high));
            return std::nullopt;
        }
        return v;
    }
    bool pixels(const char* what, int count) {
        for (int i = 0; i < count; ++i)
            if (!number(what, -kMaxPixels, kMaxPixels)) return false;
        return true;
    }
    bool size(const char* what) { return pixels(what, 2); }
    bool rect(const char* what) { return pixels(what, 4); }
    // A count of things each taking at least `least` bytes: no more than
    // the bytes left can hold.
    std::optional<int32_t> count(const char* what, std::size_t least) {
        const std::optional<int32_t> n = number(what, 0, 1 << 20);
        if (!n) return std::nullopt;
        const std::size_t left = bytes_.size() - at_;
        if (static_cast<std::size_t>(*n) > left / least) {
            at_ -= 4;
            fail(std::string(what) + " " + std::to_string(*n) + ", more than the " +
                 std::to_string(left) + " bytes left hold");
            return std::nullopt;
        }
        return n;
    }
    // An object name: a null one, or UTF-16 text of an even byte count.
    bool name(const char* what) {
        const std::optional<uint32_t> length = u32(what);
        if (!length) return false;
        if (*length == 0xffffffff) return true;
        if (*length % 2 != 0 || *length > kMaxNameBytes) {
            at_ -= 4;
            fail(std::string(what) + " of " + std::to_string(*length) + " bytes");
            return false;
        }
        if (!have(*length, what)) return false;
        at_ += *length;
        return true;
    }

    // Up to four dock areas, each once, then the central widget's size and
    // the areas owning the four corners.
    void dockAreas() {
        const std::optional<int32_t> areas = number("the number of dock areas", 0, kDockAreas);
        if (!areas) return;
        std::set<int32_t> seen;
        for (int32_t i = 0; i < *areas; ++i) {
            const std::optional<int32_t> area = number("a dock area", 0, kDockAreas - 1);
            if (!area) return;
            if (!seen.insert(*area).second)
                return fail("dock area " + std::to_string(*area) + " twice");
            if (!size("a dock area's size") || !group(1)) return;
        }
        if (!size("the central widget's size")) return;
        for (int corner = 0; corner < 4; ++corner) {
            const std::optional<int32_t> area = number("a corner's dock area", 1, 8);
            if (!area) return;
            if (*area != 1 && *area != 2 && *area != 4 && *area != 8)
                return fail("a corner's dock area " + std::to_string(*area));
        }
    }

    // A group of docks: side by side or tabbed, each item a dock or a group.
    bool group(int depth) {
        if (depth > kMaxDepth) {
            fail("dock groups nested deeper than " + std::to_string(kMaxDepth));
            return false;
        }
        const std::optional<uint8_t> kind = u8("a dock group");
        if (!kind) return false;
        if (*kind != kSequenceMarker && *kind != kTabMarker) {
            --at_;
            fail("a dock group of unknown kind " + std::to_string(*kind));
            return false;
        }
        std::optional<int32_t> current;
        if (*kind == kTabMarker && !(current = number("the front tab", -1, 1 << 20))) return false;
        const std::optional<uint8_t> orientation = u8("a group's orientation");
        if (!orientation) return false;
        if (*orientation != 1 && *orientation != 2) {
            --at_;
            fail("a group's orientation " + std::to_string(*orientation));
            return false;
        }
        // The least item: its marker, a null name, flags and four numbers.
        const std::optional<int32_t> items = count("the number of a group's items", 1 + 4 + 1 + 16);
        if (!items) return false;
        if (current && *current >= *items) {
            fail("the front tab " + std::to_string(*current) + " of " + std::to_string(*items));
            return false;
        }
        for (int32_t i = 0; i < *items; ++i) {
            const std::optional<uint8_t> item = u8("a group's item");
            if (!item) return false;
            if (*item == kWidgetMarker) {
                if (!name("a dock's name")) return false;
                const std::optional<uint8_t> flags = u8("a dock's flags");
                if (!flags) return false;
                if (*flags > 3) {  // visible, floating
                    --at_;
                    fail("a dock's flags " + std::to_string(*flags));
                    return false;
                }
                if (!rect("a dock's place")) return false;
            } else if (*item == kSequenceMarker) {
                if (!rect("a group's place") || !group(depth + 1)) return false;
            } else {
                --at_;
                fail("an item of unknown kind " + std::to_string(*item));
                return false;
            }
        }
        return true;
    }

    // Lines of tool bars, each in one of the four tool bar areas.
    void toolBars(bool withGeometry) {
        const std::optional<int32_t> lines = count("the number of tool bar lines", 8);
        if (!lines) return;
        for (int32_t l = 0; l < *lines; ++l) {
            if (!number("a tool bar area", 0, kDockAreas - 1)) return;
            const std::size_t least = 4 + 1 + 4 + 4 + 4 + (withGeometry ? 4 : 0);
            const std::optional<int32_t> bars = count("the number of tool bars", least);
            if (!bars) return;
            for (int32_t b = 0; b < *bars; ++b) {
                if (!name("a tool bar's name")) return;
                const std::optional<uint8_t> shown = u8("a tool bar's flags");
                if (!shown) return;
                if (*shown > 3) {  // shown, vertical
                    --at_;
                    return fail("a tool bar's flags " + std::to_string(*shown));
                }
                if (!pixels("a tool bar's place", 2)) return;
                // The packed place of a floating tool bar: any bits are one.
                if (!u32("a tool bar's geometry")) return;
                if (withGeometry && !u32("a tool bar's geometry")) return;
            }
        }
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
    std::string fault_;
};

constexpr std::array<uint32_t, 256> kCrcTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string dockStateFault(std::string_view bytes) { return StateReader(bytes).check(); }

std::optional<std::string> decodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int held = 0;
    int padding = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int v = base64Value(c);
        if (v < 0 || padding > 0) return std::nullopt;
        bits = bits << 6 | static_cast<uint32_t>(v);
        if (++held == 4) {
            out += static_cast<char>(bits >> 16 & 0xff);
            out += static_cast<char>(bits >> 8 & 0xff);
            out += static_cast<char>(bits & 0xff);
            bits = 0;
            held = 0;
        }
    }
    // What is left: two or three digits, padded to a group of four.
    if (held == 1 || (held == 0 && padding > 0) || (held > 0 && held + padding != 4))
        return std::nullopt;
    if (held == 2) out += static_cast<char>(bits >> 4 & 0xff);
    if (held == 3) {
        out += static_cast<char>(bits >> 10 & 0xff);
        out += static_cast<char>(bits >> 2 & 0xff);
    }
    return out;
}

uint32_t crc32(std::string_view bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes) c = kCrcTable[(c ^ static_cast<uint8_t>(b)) & 0xff] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

}  // namespace quill::layout

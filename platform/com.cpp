#include "platform/com.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 2*n hex digits into an unsigned value.
bool readHex(std::string_view& text, int digits, uint64_t* out) {
    if (text.size() < static_cast<size_t>(digits)) return false;
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int h = hexValue(text[i]);
        if (h < 0) return false;
        v = v * 16 + static_cast<uint64_t>(h);
    }
    text.remove_prefix(digits);
    *out = v;
    return true;
}

bool expectDash(std::string_view& text) {
    if (text.empty() || text[0] != '-') return false;
    text.remove_prefix(1);
    return true;
}

// A BSTR points just past its 32-bit byte-length prefix.
constexpr size_t kPrefix = sizeof(uint32_t);

BSTR allocateBytes(const void* data, uint32_t byteLength) {
    // Prefix, payload, and two zero bytes so that the text is terminated
    // whatever the payload's length.
    auto* block = static_cast<char*>(std::malloc(kPrefix + byteLength + 2));
    if (!block) return nullptr;
    std::memcpy(block, &byteLength, kPrefix);
    if (data) {
        std::memcpy(block + kPrefix, data, byteLength);
    } else {
        std::memset(block + kPrefix, 0, byteLength);
    }
    block[kPrefix + byteLength] = 0;
    block[kPrefix + byteLength + 1] = 0;
    return reinterpret_cast<BSTR>(block + kPrefix);
}

}  // namespace

bool GUID::parse(std::string_view text, GUID* out) {
    bool braces = !text.empty() && text.front() == '{';
    if (braces) {
        if (text.back() != '}') return false;
        text = text.substr(1, text.size() - 2);
    }
    if (text.size() != 36) return false;
    GUID g;
    uint64_t v = 0;
    if (!readHex(text, 8, &v)) return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!expectDash(text) || !readHex(text, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!expectDash(text) || !readHex(text, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    if (!expectDash(text)) return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !expectDash(text)) return false;
        if (!readHex(text, 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    if (!text.empty()) return false;
    *out = g;
    return true;
}

GUID GUID::from(std::string_view text) {
    GUID g;
    if (!parse(text, &g)) {
        std::fprintf(stderr, "malformed GUID literal: %.*s\n", static_cast<int>(text.size()),
                     text.data());
        std::abort();
    }
    return g;
}

std::string GUID::toString() const {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer,
                  "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Data1, Data2, Data3,
                  Data4[0], Data4[1], Data4[2], Data4[3], Data4[4], Data4[5], Data4[6], Data4[7]);
    return buffer;
}

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    uint32_t n = 0;
    while (text[n]) ++n;
    return SysAllocStringLen(text, n);
}

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
    return allocateBytes(text, length * static_cast<uint32_t>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength) {
    return allocateBytes(bytes, byteLength);
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<char*>(text) - kPrefix);
}

uint32_t SysStringByteLen(BSTR text) {
    if (!text) return 0;
    uint32_t n;
    std::memcpy(&n, reinterpret_cast<char*>(text) - kPrefix, kPrefix);
    return n;
}

uint32_t SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

namespace {

// Widens `text` into `ascii` (room for text.size() characters), each byte
// its character; false when a byte is not ASCII (what was written is then
// not the text).
bool WidenAscii(std::string_view text, char16_t* ascii) {
    const auto* from = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    uint64_t high = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four characters at a time: byte k of the group goes to bits
        // 16k..16k+7 of the widened group.
        for (; i + 4 <= n; i += 4) {
            uint32_t group;
            std::memcpy(&group, from + i, 4);
            high |= group;
            const uint64_t g = group;
            const uint64_t wide = (g & 0xFF) | ((g & 0xFF00) << 8) | ((g & 0xFF0000) << 16) |
                                  ((g & 0xFF000000) << 24);
            std::memcpy(ascii + i, &wide, 8);
        }
    }
    for (; i < n; ++i) {
        high |= from[i];
        ascii[i] = static_cast<char16_t>(from[i]);
    }
    return (high & 0x80808080u) == 0;
}

}  // namespace

BSTR AnsiToBstr(std::string_view text) {
    // Most texts are ASCII: each byte is its character, widened in place.
    BSTR ascii = SysAllocStringLen(nullptr, static_cast<uint32_t>(text.size()));
    if (!ascii) return nullptr;
    if (WidenAscii(text, ascii)) return ascii;
    SysFreeString(ascii);
    // UTF-8 to UTF-16.
    std::u16string wide;
    wide.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        uint32_t cp;
        size_t extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            cp = 0xFFFD;  // stray continuation or invalid lead byte
            extra = 0;
        }
        if (extra && i + extra >= text.size()) {
            cp = 0xFFFD;  // truncated sequence: consume the rest
            extra = text.size() - i - 1;
        } else {
            for (size_t k = 1; k <= extra; ++k) {
                auto cc = static_cast<unsigned char>(text[i + k]);
                if ((cc & 0xC0) != 0x80) {
                    cp = 0xFFFD;
                    extra = k - 1;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
        }
        i += extra + 1;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else if (cp > 0x10FFFF) {
            wide.push_back(u'\uFFFD');
        } else {
            wide.push_back(static_cast<char16_t>(cp));
        }
    }
    return SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
}

ReusedBstr::~ReusedBstr() { std::free(block_); }

bool ReusedBstr::reserve(size_t bytes) {
    // The length prefix, the text, and its two zero bytes.
    const size_t need = kPrefix + bytes + 2;
    if (need <= capacity_) return true;
    const size_t size = std::max(need, 2 * capacity_);
    std::free(block_);
    block_ = static_cast<char*>(std::malloc(size));
    capacity_ = block_ ? size : 0;
    return block_ != nullptr;
}

BSTR ReusedBstr::assign(std::string_view text) {
    // UTF-8 never has fewer bytes than UTF-16 has characters.
    if (text.size() > (UINT32_MAX - kPrefix - 2) / sizeof(OLECHAR) ||
        !reserve(text.size() * sizeof(OLECHAR)))
        return nullptr;
    auto* into = reinterpret_cast<BSTR>(block_ + kPrefix);
    uint32_t bytes = static_cast<uint32_t>(text.size() * sizeof(OLECHAR));
    if (!WidenAscii(text, into)) {
        BSTR wide = AnsiToBstr(text);
        if (!wide) return nullptr;
        bytes = SysStringByteLen(wide);
        // Never more than the room above; checked all the same.
        if (!reserve(bytes)) {
            SysFreeString(wide);
            return nullptr;
        }
        into = reinterpret_cast<BSTR>(block_ + kPrefix);
        std::memcpy(into, wide, bytes);
        SysFreeString(wide);
    }
    std::memcpy(block_, &bytes, kPrefix);
    block_[kPrefix + bytes] = 0;
    block_[kPrefix + bytes + 1] = 0;
    return into;
}

std::string BstrToAnsi(BSTR text) {
    std::string out;
    BstrToAnsi(text, &out);
    return out;
}

void BstrToAnsi(BSTR text, std::string* into) {
    std::string& out = *into;
    const uint32_t n = SysStringLen(text);
    // Most texts are ASCII: each character is its byte, narrowed in place.
    out.resize(n);
    char* to = out.data();
    uint32_t i = 0;
    uint64_t high = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four characters at a time: bits 16k..16k+7 of the group are byte k.
        for (; i + 4 <= n; i += 4) {
            uint64_t group;
            std::memcpy(&group, text + i, 8);
            high |= group;
            const auto narrow = static_cast<uint32_t>(
                (group & 0xFF) | ((group >> 8) & 0xFF00) | ((group >> 16) & 0xFF0000) |
                ((group >> 24) & 0xFF000000));
            std::memcpy(to + i, &narrow, 4);
        }
    }
    for (; i < n; ++i) {
        high |= text[i];
        to[i] = static_cast<char>(text[i]);
    }
    if ((high & 0xFF80FF80FF80FF80ull) == 0) return;
    out.clear();
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

const IID IID_IUnknown = GUID::from("00000000-0000-0000-C000-000000000046");
const IID IID_IDispatch = GUID::from("00020400-0000-0000-C000-000000000046");
const IID IID_IClassFactory = GUID::from("00000001-0000-0000-C000-000000000046");

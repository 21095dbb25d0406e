// Register names <-> I/O addresses of the selected part, read from the
// host's part description file, and the part's number of converter inputs.
//
// The file is "<install dir>\Partdescriptionfiles\<part>.xml":
//   AVRPART/MEMORY/IO_MEMORY/<REGISTER>/IO_ADDR   "$18", or "NA" outside I/O
//   AVRPART/PACKAGE/PACKAGES                      "[PDIP:TQFP]"
//   AVRPART/PACKAGE/<package>/<pin>/NAME|PIN_NAME "[PA0:ADC0]"
#include <strings.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdio>

#include "core/CLEDView.h"

namespace {

const std::string kMapLabel = "CLEDView::UpdateIOMemory()";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The address is the last two characters of the text read as hexadecimal,
// up to the first character that is not a hex digit: "$3B" and "0x3B" give
// 0x3B, "$5" gives 0. A text shorter than two characters is read whole.
int parseIoAddress(const std::string& text) {
    size_t start = text.size() >= 2 ? text.size() - 2 : 0;
    int value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        int d = hexDigit(text[i]);
        if (d < 0) break;
        value = value * 16 + d;
    }
    return value;
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// "[A:B:C]" -> {"A", "B", "C"}: drops the first and last character and
// splits at every colon; an empty piece counts, so "[]" gives {""}.
std::vector<std::string> splitList(const std::string& text) {
    std::string inner = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
    std::vector<std::string> pieces;
    size_t from = 0;
    for (;;) {
        size_t colon = inner.find(':', from);
        if (colon == std::string::npos) {
            pieces.push_back(inner.substr(from));
            return pieces;
        }
        pieces.push_back(inner.substr(from, colon - from));
        from = colon + 1;
    }
}

std::string textOf(const TiXmlElement* e) {
    const char* t = e ? e->GetText() : nullptr;
    return t ? t : "";
}

}  // namespace

std::string CLEDView::PartDescriptionFilePath(const std::string& partName, bool withDirectory) {
    if (!attached_) return "unknown";
    if (!withDirectory) return partName;
    return GetHostDirectory() + "\\Partdescriptionfiles\\" + partName + ".xml";
}

namespace {

// Loads a part description into doc. The host path is written with
// backslashes; on this system they become slashes before the file is
// opened. A part name holding a path separator would reach outside the
// description folder and is refused. Returns an error text, empty on
// success.
std::string loadDescription(TiXmlDocument* doc, const std::string& partName,
                            const std::string& hostPath) {
    if (partName.find_first_of("/\\") != std::string::npos) {
        return "the part name \"" + partName + "\" is not a file name";
    }
    std::string path = hostPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!doc->LoadFile(path.c_str())) {
        return std::string(doc->ErrorDesc() ? doc->ErrorDesc() : "unreadable");
    }
    return {};
}

}  // namespace

void CLEDView::ForgetRegisterTables() {
    registerAddress_.clear();
    registerName_.clear();
    registerList_.clear();
    registerListStale_ = true;
    mappedPart_.clear();
}

void CLEDView::UpdateIOMemory() {
    if (!attached_) return;
    const std::string part = GetSelectedPartname();
    const std::string path = PartDescriptionFilePath(part, true);
    mappedPart_ = part;

    TiXmlDocument doc;
    std::string error = loadDescription(&doc, part, path);
    if (!error.empty()) {
        Log(kMapLabel, "Part description " + path + " could not be read (" + error +
                           "); no registers mapped.");
        return;
    }

    // Child elements only: a comment or text before the first register
    // must not hide the whole register list.
    TiXmlElement* r = TiXmlHandle(&doc)
                          .FirstChildElement("AVRPART")
                          .FirstChildElement("MEMORY")
                          .FirstChildElement("IO_MEMORY")
                          .FirstChildElement()
                          .ToElement();
    for (; r; r = r->NextSiblingElement()) {
        const std::string name = upper(r->ValueStr());
        TiXmlElement* addr = r->FirstChildElement("IO_ADDR");
        if (!addr) continue;
        const std::string text = textOf(addr);
        if (strcasecmp(text.c_str(), "NA") == 0) {
            Log(kMapLabel,
                "Skipped mapping " + name + " to extended memory adress (NOT SUPPORTED).");
            continue;
        }
        const int address = parseIoAddress(text);
        if (address > 0x3F) {
            // The core holds I/O registers 0x00-0x3F only; a larger number
            // would name no register subject.
            Log(kMapLabel, "Skipped mapping " + name + " to adress " + text +
                               ": outside the I/O space (0x00-0x3F).");
            continue;
        }
        // An address that a lookup added with an empty name takes the real
        // name; otherwise the first name read stays.
        auto named = registerName_.find(address);
        if (named == registerName_.end()) {
            registerName_.emplace(address, name);
        } else if (named->second.empty()) {
            named->second = name;
        }
        registerAddress_.emplace(name, address);
        Log(kMapLabel,
            "Mapped " + name + " to adress " + text + " (" + std::to_string(address) + ").");
    }
}

int CLEDView::GetRegisterAddress(const std::string& name) {
    // An unknown name answers 0 but is not entered in the table: an entry
    // made now would shadow the real address once the part is read.
    auto it = registerAddress_.find(upper(name));
    return it == registerAddress_.end() ? 0 : it->second;
}

std::string CLEDView::GetRegisterName(int address) {
    if (address < 0 || address > 64) return "UNKNOWN";
    // 64 lies just past the I/O space: no name, and no table entry.
    if (address > 0x3F) return {};
    return registerName_[address];  // an unmapped address enters with an empty name
}

const std::vector<std::string>& CLEDView::GetAvailableRegisters() {
    if (registerListStale_) {
        UpdateIOMemory();
        registerList_.clear();
        for (int a = 0; a < static_cast<int>(registerName_.size()); ++a) {
            registerList_.push_back(GetRegisterName(a));
        }
        // A list built before any description was read stays stale, so
        // that it is built again once the part is known.
        registerListStale_ = registerList_.empty();
    }
    return registerList_;
}

std::vector<std::string> CLEDView::GetAvailableRegistersByName(
    const std::vector<std::string>& patterns) {
    bool all = false;
    std::vector<std::string> wanted;
    for (const std::string& p : patterns) {
        if (p.empty()) break;
        if (p == "*") {
            all = true;
            break;
        }
        wanted.push_back(p);
    }
    std::vector<std::string> names;
    for (const auto& [address, name] : registerName_) {
        bool take = all;
        for (size_t i = 0; !take && i < wanted.size(); ++i) {
            take = name.find(wanted[i]) != std::string::npos;
        }
        if (take) names.push_back(name);
    }
    Log("CLEDView::GetAvailableRegistersByName(const char *args,...)",
        "Found " + std::to_string(names.size()) + " occurance(s).");
    std::sort(names.begin(), names.end());
    return names;
}

int CLEDView::GetNumberOfADCChannels(const std::string& partName) {
    if (!attached_) return 0;
    const std::string path = PartDescriptionFilePath(partName, true);
    int count = 0;

    TiXmlDocument doc;
    std::string error = loadDescription(&doc, partName, path);
    if (!error.empty()) {
        Log("CLEDView::GetNumberOfADCChannels()",
            "Part description " + path + " could not be read (" + error + ").");
    }
    TiXmlHandle package =
        TiXmlHandle(&doc).FirstChildElement("AVRPART").FirstChildElement("PACKAGE");
    if (TiXmlElement* list = package.FirstChildElement("PACKAGES").ToElement()) {
        const std::vector<std::string> packages = splitList(textOf(list));
        TiXmlElement* pin =
            package.FirstChildElement(packages.front().c_str()).FirstChildElement().ToElement();
        if (!pin) pin = package.Child(1).FirstChildElement().ToElement();
        for (; pin; pin = pin->NextSiblingElement()) {
            TiXmlElement* name = pin->FirstChildElement("NAME");
            TiXmlElement* pinName = pin->FirstChildElement("PIN_NAME");
            if (!name && !pinName) continue;
            for (const std::string& function : splitList(textOf(pinName ? pinName : name))) {
                if (function.size() >= 3 && strncasecmp(function.c_str(), "ADC", 3) == 0) {
                    ++count;
                }
            }
        }
    }
    Log("", "Number of ADC Channels = " + std::to_string(count));
    return count;
}

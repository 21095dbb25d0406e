// Register names <-> I/O addresses of the selected part, read from the
// host's part description file, and the part's number of converter inputs.
//
// The file is "<install dir>\Partdescriptionfiles\<part>.xml":
//   AVRPART/MEMORY/IO_MEMORY/<REGISTER>/IO_ADDR   "$18", or "NA" outside I/O
//   AVRPART/MEMORY/IO_MEMORY/<REGISTER>/MEM_ADDR  "$C6": where an "NA" one lies
//   AVRPART/MEMORY/INT_SRAM/START_ADDR, SIZE      "$100", "2048"
//   AVRPART/PACKAGE/PACKAGES                      "[PDIP:TQFP]"
//   AVRPART/PACKAGE/<package>/<pin>/NAME|PIN_NAME "[PA0:ADC0]"
//   AVRPART/ANALOG_CONVERTER/CHANNELS             "8": the converter's inputs,
//                                                 counted on the first package
//                                                 without it
#include <strings.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdio>

#include "core/CLEDView.h"
#include "core/PartDescriptionFile.h"

namespace {

const std::string kMapLabel = "CLEDView::UpdateIOMemory()";

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
    // Without an install directory the path would start at the root of
    // the file system; there is no path then, and nothing is read.
    const std::string directory = GetHostDirectory();
    if (directory.empty()) return {};
    return directory + "\\" + kPartDescriptionFolder + "\\" + partName + ".xml";
}

namespace {

// Loads a part description into doc, with the checks every reader of it
// makes (a regular file, size and nesting limits, one <AVRPART> root). The
// host path is written with backslashes; on this system they become slashes
// before the file is opened. A part name holding a path separator would
// reach outside the description folder and is refused. Returns an error
// text, empty on success.
std::string loadDescription(TiXmlDocument* doc, const std::string& partName,
                            const std::string& hostPath) {
    if (hostPath.empty()) return "the host gave no install directory";
    if (partName.find_first_of("/\\") != std::string::npos) {
        return "the part name \"" + partName + "\" is not a file name";
    }
    std::string path = hostPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return quill::partfile::load(path, doc);
}

}  // namespace

void CLEDView::ForgetRegisterTables() {
    registerAddress_.clear();
    registerName_.clear();
    registerList_.clear();
    registerListStale_ = true;
    mappedPart_.clear();
    adcsraIndex_ = -1;
    logger_.ForgetNames();
}

void CLEDView::MapBank(int bankSize, int sramStart, int sramSize) {
    bankSize = std::clamp(bankSize, kIoRegisterCount, kMaxRegisterBank);
    if (bankSize != bankSize_) {
        // Subjects the bank gains take their bytes from the next image.
        registersSet_ |= RegisterSet::FirstN(bankSize);
        unread_ |= RegisterSet::FirstN(bankSize);
        bankSize_ = bankSize;
        bankMask_ = RegisterSet::FirstN(bankSize);
        if (adcsraIndex_ >= bankSize_) adcsraIndex_ = -1;
    }
    dataStart_ = static_cast<uint16_t>(sramStart);
    if (dataMemory_.size() != static_cast<size_t>(sramSize)) {
        dataMemory_.assign(static_cast<size_t>(sramSize), 0);
        dataPrevious_.assign(static_cast<size_t>(sramSize), 0);
    }
}

void CLEDView::UpdateIOMemory() {
    if (!attached_) return;
    const std::string part = GetSelectedPartname();
    const std::string path = PartDescriptionFilePath(part, true);
    mappedPart_ = part;
    // The log names its registers as the tables about to be read do.
    logger_.ForgetNames();

    TiXmlDocument doc;
    std::string error = loadDescription(&doc, part, path);
    if (!error.empty()) {
        MapBank(kIoRegisterCount, kDataWindowStart, kDataWindowSize);
        Log(kMapLabel, "Part description " + (path.empty() ? part : path) + " could not be read (" +
                           error + "); no registers mapped.");
        return;
    }

    std::optional<quill::partfile::IoRegisters> io = quill::partfile::readIoRegisters(doc, &error);
    if (!io) {
        MapBank(kIoRegisterCount, kDataWindowStart, kDataWindowSize);
        Log(kMapLabel,
            "Part description " + path + " is unusable (it " + error + "); no registers mapped.");
        return;
    }
    MapBank(io->bankSize, io->sram.start, io->sram.size);
    for (const std::string& name : io->outside) {
        Trace(kMapLabel, "Skipped mapping " + name + " to extended memory adress (NOT SUPPORTED).");
    }
    for (const std::string& problem : io->problems) {
        Log(kMapLabel, "Skipped " + problem + ".");
    }
    for (const std::string& shared : io->shared) {
        Log(kMapLabel, "Note: " + shared + "; the first name is shown for the address.");
    }
    for (const quill::partfile::IoRegister& r : io->registers) {
        // An address that a lookup added with an empty name takes the real
        // name; otherwise the first name read stays.
        auto named = registerName_.find(r.address);
        if (named == registerName_.end()) {
            registerName_.emplace(r.address, r.name);
        } else if (named->second.empty()) {
            named->second = r.name;
        }
        registerAddress_.emplace(r.name, r.address);
        if (r.extended) {
            Trace(kMapLabel, "Mapped " + r.name + " to extended memory address " + r.text + " (" +
                                 std::to_string(r.address) + ").");
        } else {
            Trace(kMapLabel, "Mapped " + r.name + " to adress " + r.text + " (" +
                                 std::to_string(r.address) + ").");
        }
    }
    adcsraIndex_ = FindRegister("ADCSRA");
}

int CLEDView::GetRegisterAddress(const std::string& name) {
    // An unknown name answers 0 but is not entered in the table: an entry
    // made now would shadow the real address once the part is read.
    auto it = registerAddress_.find(upper(name));
    return it == registerAddress_.end() ? 0 : it->second;
}

std::string CLEDView::GetRegisterName(int address) {
    if (address < 0 || address > bankSize_) return "UNKNOWN";
    // The index just past the bank: no name, and no table entry.
    if (address >= bankSize_) return {};
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

std::vector<std::string> CLEDView::AllRegisterNames() {
    GetAvailableRegisters();  // reads the description when the tables are stale
    std::vector<std::string> names;
    for (const auto& [name, address] : registerAddress_) names.push_back(name);
    return names;  // the map keeps them sorted
}

int CLEDView::FindRegister(const std::string& name) {
    auto it = registerAddress_.find(upper(name));
    return it == registerAddress_.end() ? -1 : it->second;
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
    Trace("CLEDView::GetAvailableRegistersByName(const char *args,...)",
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
        Log("CLEDView::GetNumberOfADCChannels()", "Part description " +
                                                      (path.empty() ? partName : path) +
                                                      " could not be read (" + error + ").");
        Log("", "Number of ADC Channels = 0");
        return 0;
    }
    // The converter's own description gives the count: a package may lack
    // inputs the part has (the ATmega328P's PDIP has six of its eight). A
    // count that is no number 1..64 is left to the converter model to
    // report; the pins are counted then.
    const std::string described = textOf(TiXmlHandle(&doc)
                                             .FirstChildElement("AVRPART")
                                             .FirstChildElement("ANALOG_CONVERTER")
                                             .FirstChildElement("CHANNELS")
                                             .ToElement());
    if (!described.empty() && described.size() <= 2 &&
        described.find_first_not_of("0123456789") == std::string::npos &&
        std::stoi(described) >= 1 && std::stoi(described) <= 64) {
        count = std::stoi(described);
        Log("", "Number of ADC Channels = " + std::to_string(count));
        return count;
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

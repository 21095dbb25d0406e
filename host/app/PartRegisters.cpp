#include "host/app/PartRegisters.h"

#include <tinyxml.h>

#include <cctype>
#include <cstdlib>

namespace {
std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::optional<PartRegisters> PartRegisters::load(const std::string& installDir,
                                                 const std::string& part, std::string* error) {
    const std::string path = installDir + "/Partdescriptionfiles/" + part + ".xml";
    TiXmlDocument doc;
    if (!doc.LoadFile(path.c_str())) {
        *error = "cannot read part description " + path + ": " + doc.ErrorDesc();
        return std::nullopt;
    }
    const TiXmlElement* io = TiXmlHandle(&doc)
                                 .FirstChildElement("AVRPART")
                                 .FirstChildElement("MEMORY")
                                 .FirstChildElement("IO_MEMORY")
                                 .ToElement();
    if (!io) {
        *error = "part description " + path + " has no AVRPART/MEMORY/IO_MEMORY";
        return std::nullopt;
    }
    PartRegisters registers;
    for (const TiXmlElement* r = io->FirstChildElement(); r; r = r->NextSiblingElement()) {
        const TiXmlElement* addr = r->FirstChildElement("IO_ADDR");
        const char* text = addr ? addr->GetText() : nullptr;
        if (!text || text[0] != '$') continue;  // "NA": outside the I/O space
        char* end = nullptr;
        long value = std::strtol(text + 1, &end, 16);
        if (end == text + 1 || *end != '\0' || value < 0 || value > 0x3F) continue;
        registers.indices_.emplace(upper(r->Value()), static_cast<int>(value));
    }
    return registers;
}

int PartRegisters::index(const std::string& name) const {
    auto it = indices_.find(upper(name));
    return it == indices_.end() ? -1 : it->second;
}

bool ParsePinName(const std::string& text, char* port, int* bit) {
    if (text.size() != 3 || std::toupper(static_cast<unsigned char>(text[0])) != 'P') return false;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
    if (letter < 'A' || letter > 'L' || text[2] < '0' || text[2] > '7') return false;
    *port = letter;
    *bit = text[2] - '0';
    return true;
}

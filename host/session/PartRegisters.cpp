#include "host/session/PartRegisters.h"

#include <tinyxml.h>

#include <cctype>

#include "contract/HostInterfaces.h"
#include "contract/HostProtocol.h"
#include "core/PartDescriptionFile.h"

namespace {
std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::optional<PartRegisters> PartRegisters::load(const std::string& installDir,
                                                 const std::string& part, std::string* error) {
    const std::string path = installDir + "/" + kPartDescriptionFolder + "/" + part + ".xml";
    TiXmlDocument doc;
    if (std::string why = quill::partfile::load(path, &doc); !why.empty()) {
        *error = why;
        return std::nullopt;
    }
    std::string why;
    std::optional<quill::partfile::IoRegisters> io = quill::partfile::readIoRegisters(doc, &why);
    if (!io) {
        *error = "part description \"" + path + "\" " + why;
        return std::nullopt;
    }
    PartRegisters registers;
    for (const quill::partfile::IoRegister& r : io->registers)
        registers.indices_.emplace(r.name, r.address);
    for (const std::string& problem : io->problems)
        registers.problems_.push_back("part description \"" + path + "\": " + problem);
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

std::optional<uint8_t> ReadBankRegister(ITargetAccess* target, int index) {
    if (!target || index < 0 || index >= kMaxRegisterBank) return std::nullopt;
    BSTR block = nullptr;
    HRESULT hr = index < kIoRegisterCount
                     ? target->ReadMemory(kMemoryIo, static_cast<ULONG>(index), 1, &block)
                     : target->ReadMemory(kMemoryData, kRegisterBankBase + static_cast<ULONG>(index),
                                          1, &block);
    std::optional<uint8_t> value;
    if (SUCCEEDED(hr) && SysStringByteLen(block) >= 1) {
        value = static_cast<uint8_t>(reinterpret_cast<const char*>(block)[0]);
    }
    SysFreeString(block);
    return value;
}

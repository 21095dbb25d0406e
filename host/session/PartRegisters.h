// I/O register names of a part, read from its part description file, for
// scenario expectations ("PORTA", "PINB"). Read with the same checks and
// the same address parser as the module uses. Toolkit-free.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class PartRegisters {
public:
    // Reads <installDir>/Partdescriptionfiles/<part>.xml; when the file is
    // unusable (unreadable, not a regular file, too large or deep, not XML,
    // no register in the I/O space) returns nothing and explains in *error.
    static std::optional<PartRegisters> load(const std::string& installDir, const std::string& part,
                                             std::string* error);

    // I/O index 0..63 of a register name (any case), -1 when unknown.
    int index(const std::string& name) const;
    const std::map<std::string, int>& all() const { return indices_; }
    // Entries left out (bad address, duplicate name), one text each.
    const std::vector<std::string>& problems() const { return problems_; }

private:
    std::map<std::string, int> indices_;  // upper-case name -> index
    std::vector<std::string> problems_;
};

// The register at bank index `index` (the I/O space by I/O address,
// extended I/O by data address) as the target reads it; nothing without a
// target or for an index outside the bank.
struct ITargetAccess;
std::optional<uint8_t> ReadBankRegister(ITargetAccess* target, int index);

// "PA3" -> port letter 'A', bit 3. False for anything else.
bool ParsePinName(const std::string& text, char* port, int* bit);

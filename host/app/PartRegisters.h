// I/O register names of a part, read from its part description file, for
// scenario expectations ("PORTA", "PINB"). Toolkit-free.
#pragma once

#include <map>
#include <optional>
#include <string>

class PartRegisters {
public:
    // Reads <installDir>/Partdescriptionfiles/<part>.xml; on failure
    // returns nothing and explains in *error.
    static std::optional<PartRegisters> load(const std::string& installDir, const std::string& part,
                                             std::string* error);

    // I/O index 0..63 of a register name (any case), -1 when unknown.
    int index(const std::string& name) const;
    const std::map<std::string, int>& all() const { return indices_; }

private:
    std::map<std::string, int> indices_;  // upper-case name -> index
};

// "PA3" -> port letter 'A', bit 3. False for anything else.
bool ParsePinName(const std::string& text, char* port, int* bit);

// The text the source view shows: a source file found on disk for a name
// in the line table, or, for a program without line information, its
// disassembly as avr-objdump prints it. Toolkit-free.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/debugger/ProgramInfo.h"

namespace quill::debugger {

// Where the source file the line table names as `file` is: the name
// itself when it is there (an absolute name, or relative to a compilation
// folder of the program), else a file of the same name next to the ELF
// file, else what the user chose for it before (`remembered`, keyed by the
// line table's name). Empty when none of them exists; the caller asks.
std::string findSourceFile(const std::string& file, const ProgramInfo& program,
                           const std::string& elfPath,
                           const std::map<std::string, std::string>& remembered);

// The lines of a text file read through the regular-file helper (at most
// 4 MiB); empty with *error on failure.
std::vector<std::string> readLines(const std::string& path, std::string* error);

struct DisassemblyLine {
    uint32_t address;  // byte address of the instruction; 0xFFFFFFFF for a label line
    std::string text;
};
// The instruction and label lines of `avr-objdump -d` output.
std::vector<DisassemblyLine> parseDisassembly(const std::string& objdumpOutput);

}  // namespace quill::debugger

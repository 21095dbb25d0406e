// What the debugger knows about a program from its ELF file: the line table
// (source file and line of every instruction address, from the DWARF
// information through elfutils' libdw, and from STABS, what avr-gcc writes
// for a plain -g), the functions and the global and static variables
// (address and size, from the symbol table, so that they are there without
// debug information too; a variable's value is unsigned of its size).
//
// Toolkit-free. A program without line information (built without -g, or
// stripped) gives an empty line table; its symbols may still be there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct Elf;

namespace quill::debugger {

// A source position: the file as the line table names it (usually a full
// path) and a 1-based line.
struct SourceLocation {
    std::string file;
    int line = 0;
    bool operator==(const SourceLocation&) const = default;
};

struct Symbol {
    std::string name;
    uint32_t address = 0;  // byte address: flash for functions, data space for variables
    uint32_t size = 0;
};

class ProgramInfo {
public:
    // Reads `path` (through the project's regular-file helper). Throws
    // std::runtime_error with a message fit for the user when the file
    // cannot be read or is no ELF file; a file without debug information
    // loads with an empty line table.
    static ProgramInfo load(const std::string& path);
    // The same from the file's bytes; `name` names it in messages.
    static ProgramInfo parse(std::string bytes, const std::string& name);

    bool hasLineInfo() const { return !rows_.empty(); }
    // The file carries STABS debug information (a .stab section).
    bool hasStabs() const { return stabs_; }
    // What a user misses without a line table, for messages ("built
    // without -g: breakpoints by function only"); empty with one.
    std::string missingLineInfo() const;
    // Every source file the line table names, in the order first seen.
    const std::vector<std::string>& files() const { return files_; }
    // The compilation folders of the program's units (where relative file
    // names are found).
    const std::vector<std::string>& compilationDirs() const { return compDirs_; }

    // The source position of the instruction at byte address `pc`; none
    // outside the line table.
    std::optional<SourceLocation> locate(uint32_t pc) const;
    // The file of the line table `name` stands for: the same path, or the
    // one whose path ends in "/name" (so "demo.c" and "src/demo.c" find
    // "/home/me/src/demo.c"). Empty when none or more than one fits.
    std::string findFile(std::string_view name) const;
    // The start addresses of the statements of that line (a line the
    // compiler split, or repeated in a loop, has several), ascending;
    // empty when the line has no code.
    std::vector<uint32_t> lineAddresses(const std::string& file, int line) const;
    // The first line at or after `line` in that file that has code, or 0.
    int nextLineWithCode(const std::string& file, int line) const;

    const Symbol* function(std::string_view name) const;
    // The function holding byte address `pc`, or null.
    const Symbol* functionAt(uint32_t pc) const;
    // Where a breakpoint on the function stops: past the frame set-up that
    // the compiler attributes to the function's own header line, else the
    // function's first instruction.
    uint32_t functionBreakAddress(const Symbol& function) const;
    // A global or static variable in the data space (address 0 is data
    // address 0), or null.
    const Symbol* variable(std::string_view name) const;
    const std::vector<Symbol>& variables() const { return variables_; }

private:
    struct Row {
        uint32_t address;
        uint32_t file;  // index into files_
        int line;
        bool statement;
        bool endSequence;
    };
    std::vector<Row> rows_;  // sorted by address
    bool stabs_ = false;
    std::vector<std::string> files_;
    std::vector<std::string> compDirs_;
    std::vector<Symbol> functions_;  // sorted by address
    std::vector<Symbol> variables_;
    // Entry address and header line of each function the DWARF describes.
    std::vector<std::pair<uint32_t, int>> headerLines_;

    // Both add to the line table; fileIndex maps a path to its index in
    // files_.
    void readDwarf(Elf* elf, std::unordered_map<std::string, uint32_t>& fileIndex);
    void readStabs(std::string_view stab, std::string_view stabstr,
                   std::unordered_map<std::string, uint32_t>& fileIndex);
};

}  // namespace quill::debugger

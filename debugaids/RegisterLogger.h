// The register logger: after every change of the plug-in's I/O register
// image it writes the chosen registers, as one dump, to a log file or to the
// host's output window. Toolkit-free; the plug-in object owns one and feeds
// it from its register write-back observer.
//
// A dump with the default layout:
//
//     (1234) Dump of selected I/O Registers:
//     DDRB=0xFF
//     PORTB=0x0F
//
// (the header keeps its trailing blank), registers in index order (the I/O
// space first, then the part's extended registers).
//
// A dump is written when one of the chosen registers holds another value
// than in the last dump (the first dump after a choice is always written):
// a change of any other register would repeat the same lines.
//
// The logger never destroys a file that is not its own: it writes only to
// a regular file that is empty or starts with its dump header, reached
// without following a symbolic link, and stops at a size limit.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "core/RegisterSet.h"

// How a dump is laid out. Defaults give the format above.
struct LoggerLayout {
    // Off: dumps carry no header line, only NAME=value lines.
    bool precedeByComment = true;
    // The comment text. Kept for the sheet; the header line itself is the
    // comment of a dump and carries no prefix, so that the default format
    // stays as it always was.
    std::string commentText = ";";
    bool precedeByCycleCounter = true;  // header starts "(cycles) "
    bool precedeByRunningTime = false;  // header gives the simulated time
    bool insertDisassembly = false;     // kept; the host offers no disassembler
    // Number bases of the values; several are written side by side
    // (hexadecimal, octal, binary); none gives decimal.
    bool hexValues = true;
    bool octalValues = false;
    bool binaryValues = false;

    bool operator==(const LoggerLayout&) const = default;
};

// What the Settings sheet and the logger sheet hand over on OK.
struct LoggerChoice {
    std::vector<int> registers;  // register indices 0..kMaxRegisterBank-1
    bool enabled = false;        // "Enable logging."
    bool toFile = false;         // "Log to file." (else "Log to window.")
    std::string fileName;        // "Filename"
    std::string directory;       // "Directory"
    // "Size limit": a log file stops growing at this many bytes (0: no limit).
    uint64_t limitBytes = kDefaultLimitBytes;

    static constexpr uint64_t kDefaultLimitBytes = uint64_t{100} << 20;  // 100 MB
};

class RegisterLogger {
public:
    RegisterLogger() = default;
    ~RegisterLogger();
    RegisterLogger(const RegisterLogger&) = delete;
    RegisterLogger& operator=(const RegisterLogger&) = delete;

    static constexpr const char* kDefaultFileName = "test.dbg";

    // Names a register for the dump; "UNKNOWN" stands for an empty answer.
    using NameOf = std::function<std::string(int index)>;
    // Receives one line of a dump for the output window (without newline).
    using LineSink = std::function<void(std::string_view line)>;

    // The state after construction: off, destination window, nothing
    // selected, default layout.
    void Reset();

    // Takes over a choice. The file is opened (and emptied) only when
    // logging to a file is switched on or moves to another file (missing
    // folders of a given directory are made); logging that stays on to the
    // same file keeps writing to it. Switching logging off or to the window
    // closes the file. Returns an empty text, or why the file cannot be the
    // log (CheckTarget); the logger then keeps its previous state entirely.
    std::string Apply(const LoggerChoice& choice);

    // Why the file at path cannot be the log, empty when it can: it is not
    // a regular file, is reached through a symbolic link, cannot be opened
    // for writing, or holds something other than this logger's dumps (a
    // file that is not empty must start with the dump header). Creates the
    // file (and, with makeDirectories, its folders) when absent, changes no
    // byte of an existing one.
    static std::string CheckTarget(const std::string& path, bool makeDirectories);
    // The first line of a dump, in any layout that writes one.
    static bool IsDumpHeader(std::string_view line);

    // The file that a choice logs to: directory and name when both are
    // given, the name in the current directory, "test.dbg" in the
    // directory, or "test.dbg" in the current directory.
    static std::string FilePath(const std::string& fileName, const std::string& directory);

    // Writes one dump of `bank` (the register values by index; chosen
    // registers past its end are left out) to the file or to `window`.
    // Nothing when logging is off or no chosen register changed since the
    // last dump. Returns an empty text, or the message that the log file
    // reached its size limit (or could not be written) and logging to it
    // stopped.
    std::string Dump(uint32_t cycles, double microseconds, std::span<const uint8_t> bank,
                     const NameOf& nameOf, const LineSink& window);

    // The text of one dump, each line ending in "\n".
    static std::string Format(const LoggerLayout& layout, const RegisterSet& selection,
                              uint32_t cycles, double microseconds, std::span<const uint8_t> bank,
                              const NameOf& nameOf);

    // Holding back: while on, the dumps for the file are gathered and
    // written in blocks (when a block is full, at Flush() and when the file
    // is closed) instead of one write per dump. Only for a host that says
    // when it looks at what was written (it calls for Flush() before it
    // serves its user interface or checks results); off after Reset().
    void SetHoldBack(bool hold) { holdBack_ = hold; }
    bool holdingBack() const { return holdBack_; }
    // Writes what is held back. Returns as Dump: empty, or why logging to
    // the file stopped.
    std::string Flush();
    // The register names are taken once and kept; they are taken anew
    // after this (the part, and so the names, changed).
    void ForgetNames() {
        named_.clear();
        lines_.built = false;
    }
    // Bytes gathered for a block; a block is written once it holds this.
    static constexpr size_t kBlockBytes = size_t{64} << 10;

    bool enabled() const { return enabled_; }
    // The registers whose changes make a dump, one bit per index: the
    // chosen ones while logging goes somewhere (none once a log file
    // stopped at its limit).
    RegisterSet watchedRegisters() const {
        return !enabled_ || (toFile_ && !stream_) ? RegisterSet{} : selection_;
    }
    bool toFile() const { return toFile_; }
    // Every chosen register.
    const RegisterSet& bankSelection() const { return selection_; }
    // The selected indices in ascending order.
    std::vector<int> selectedRegisters() const;
    const std::string& fileName() const { return fileName_; }
    const std::string& directory() const { return directory_; }
    uint64_t limitBytes() const { return limitBytes_; }
    // Bytes logged to the open file (those held back included).
    uint64_t writtenBytes() const { return written_; }
    // The file being written; empty while none is open.
    const std::string& openFile() const { return openPath_; }

    LoggerLayout& layout() { return layout_; }
    const LoggerLayout& layout() const { return layout_; }

private:
    void close();
    // Writes the gathered dumps to the file; empty, or why logging to it
    // stopped (the file is closed then).
    std::string writePending();
    // The name a dump shows for register i, taken from nameOf once.
    const std::string& nameAt(int i, const NameOf& nameOf);
    // A dump's lines after its header, for values of a fixed width.
    const std::string& dumpLines(std::span<const uint8_t> bank, const NameOf& nameOf);

    bool enabled_ = false;
    bool toFile_ = false;
    RegisterSet selection_;
    std::string fileName_, directory_;
    uint64_t limitBytes_ = LoggerChoice::kDefaultLimitBytes;
    LoggerLayout layout_;
    std::FILE* stream_ = nullptr;
    std::string openPath_;
    uint64_t written_ = 0;
    // The chosen registers as the last dump showed them.
    std::array<uint8_t, kMaxRegisterBank> dumped_{};
    bool anyDumped_ = false;
    // Dumps gathered for the file, not yet written.
    std::string pending_;
    bool holdBack_ = false;
    // The names taken so far ("UNKNOWN" for an empty one), by index.
    std::array<std::string, kMaxRegisterBank> names_;
    RegisterSet named_;
    // The lines of the last dump (values in a base of fixed width): what
    // they were built for, and where each value stands with the byte it
    // shows.
    struct DumpLines {
        struct Value {
            uint16_t index;
            size_t offset;
            uint8_t shown;
        };
        std::string text;
        std::vector<Value> values;
        bool built = false;
        RegisterSet selection;
        size_t bankSize = 0;
        bool hex = false, octal = false, binary = false;
    };
    DumpLines lines_;
    // One dump for the output window (kept: no allocation per dump).
    std::string windowText_;
};

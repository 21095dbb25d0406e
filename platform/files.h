// Reading and writing files that come from users: only regular files are
// read or written (a FIFO would block the caller forever, a device or a
// directory makes no sense as a document), no file is read past a size
// limit, and no symbolic link is followed for writing (a link could point
// at any file of the user's).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace quill::files {

// Reads the whole regular file at path into *bytes. Fails, explaining in
// *error ("... is a directory", "... is not a regular file (a FIFO)", "...
// is larger than N bytes", or the system's reason), without blocking on a
// FIFO and without reading more than maxBytes + 1 bytes. `what` names the
// file for the message ("firmware", "part description").
bool readRegularFile(const std::string& path, std::size_t maxBytes, const char* what,
                     std::string* bytes, std::string* error);

// Opens the regular file at path for reading and returns its descriptor,
// or -1 with *error as readRegularFile words it; never blocks on a FIFO.
int openForReading(const std::string& path, const char* what, std::string* error);

// Where text first occurs in a regular file, read in blocks (a file of any
// size, in bounded memory).
struct FileSearch {
    bool found = false;
    unsigned long long bytes = 0;  // bytes read: the file's size when not found
    unsigned long long line = 0;   // 1-based line of the match
    std::string lineText;          // that line from the match on (at most 200 bytes)
    std::string firstLine;         // the file's first line (at most 200 bytes)
};
// False with *error when the file cannot be read (openForReading's words).
bool searchRegularFile(const std::string& path, const std::string& text, const char* what,
                       FileSearch* result, std::string* error);

// Why path cannot be read as a regular file ("is a directory", "is a FIFO",
// "does not exist"...), empty when it is one. Follows symbolic links.
std::string notRegularReason(const std::string& path);

// The file a path finally names after following symbolic links (also a
// dangling one, whose target may yet be created). Relative link targets are
// taken relative to the link's folder. Returns path unchanged when it is not
// a link; fails (empty result, *error set) on a loop or too many links.
std::string followLinks(const std::string& path, std::string* error);

// How openForWriting treats the file it opens.
struct WriteOptions {
    const char* what = "file";      // names the file in messages ("log file")
    bool append = false;            // writes go to the end
    bool truncate = false;          // emptied once it proved to be a regular file
    bool readable = false;          // also open for reading (to look before writing)
    bool makeDirectories = false;   // missing folders of the path are made
};

// Opens (creating it when absent) the regular file at path for writing and
// returns its descriptor, or -1 with *error ("cannot write log file "x":
// it is a symbolic link", "... it is not a regular file (a FIFO)", or the
// system's reason). Never blocks: a FIFO is refused whether or not anyone
// reads it. No symbolic link in the path as written is followed, neither
// the file itself nor any of its folders.
int openForWriting(const std::string& path, const WriteOptions& options, std::string* error);

// Writes all of `bytes` to the descriptor, again after an interrupted or
// partial write; false with errno set on an error of the system.
bool writeAll(int fd, std::string_view bytes);

// The same, as a stdio stream ("a" or "w" mode after the checks); null with
// *error on failure.
std::FILE* openStreamForWriting(const std::string& path, const WriteOptions& options,
                                std::string* error);

// ---- Files the workbench writes whole
// One rule for every file the workbench replaces (a report, a waveform, a
// recorded scenario, a lab, a picture, a log): it may replace only a
// regular file, reached without a symbolic link anywhere in its path, that
// is empty or that its writer recognises as its own kind. Anything else is
// refused, naming the file, and left untouched. The new content goes to a
// new file in the same folder, which is renamed over the old one only once
// it is whole: a failed or abandoned write leaves the old file as it was.

// How many of an old file's first bytes a writer's recogniser sees.
inline constexpr std::size_t kKindHeadBytes = 4096;

// A writer's kind of file.
struct FileKind {
    const char* what;  // names the file in messages ("JUnit report")
    const char* own;   // what a file of the kind holds ("a JUnit report")
    // True when the old file's first bytes (at most kKindHeadBytes, all of
    // a shorter file; never empty) are of this kind. Null for a kind that
    // carries no mark: only an empty file is replaced (`own` says why).
    bool (*recognise)(std::string_view head);
};

// Why the file at path may not be replaced by a writer of `kind`, as the
// whole message ("cannot write JUnit report \"x\": it is a symbolic link
// ..."); empty when it may (also when it does not exist yet, in a folder
// that does). Nothing is changed.
std::string replaceRefusal(const std::string& path, const FileKind& kind);

// Writes a file under the rule as it goes: begin() checks the old file and
// opens the new one beside it, stream() takes the content, commit() checks
// the old file once more and renames the new one over it. Destroyed (or
// abandoned) before commit(), the new file is removed and the old stays.
class FileReplacement {
public:
    FileReplacement() = default;
    ~FileReplacement() { abandon(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False with *error (replaceRefusal's words, or the system's reason)
    // when the file may not be replaced or the new one cannot be made.
    bool begin(const std::string& path, const FileKind& kind, std::string* error);
    std::FILE* stream() const { return stream_; }
    const std::string& path() const { return path_; }
    bool active() const { return stream_ != nullptr; }
    // Flushes the new file to the disk and puts it in the old one's place;
    // false with *error (the new file removed) when writing it failed or
    // the old file is no longer one that may be replaced.
    bool commit(std::string* error);
    void abandon();

private:
    int dir_ = -1;            // the folder, reached without links
    std::string name_;        // the file's name in it
    std::string temp_;        // the new file's name in it
    std::string path_;
    FileKind kind_{};
    std::FILE* stream_ = nullptr;
};

// Replaces the file at path with bytes under the rule. False with *error
// when it may not or cannot; the old file is then as it was.
bool replaceFile(const std::string& path, const std::string& bytes, const FileKind& kind,
                 std::string* error);

// openForWriting for a file that is written in place (a log that can be
// watched as it grows): the same, and refused unless the file is empty or
// of `kind`. Nothing of it is changed; the caller truncates it.
int openOwnForWriting(const std::string& path, const WriteOptions& options, const FileKind& kind,
                      std::string* error);

// True when bytes start with the PNG signature and, before the picture's
// data, hold a tEXt chunk `keyword` whose text is `text` (how the
// workbench marks the pictures it writes).
bool isPngWithText(std::string_view bytes, std::string_view keyword, std::string_view text);

// True when the XML text's root element (after a byte-order mark, the XML
// declaration, comments and a document type) is `element`.
bool xmlRootIs(std::string_view text, std::string_view element);

}  // namespace quill::files

// Reading and writing files that come from users: only regular files are
// read or written (a FIFO would block the caller forever, a device or a
// directory makes no sense as a document), no file is read past a size
// limit, and no symbolic link is followed for writing (a link could point
// at any file of the user's).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

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

// Replaces the file at path with bytes so that a reader (or a crash) sees
// either the old file or the new one, never a part of either: the bytes go
// to a new file beside it first, which is flushed and then renamed over the
// old one. A path naming something other than a regular file (a directory,
// a FIFO) is refused and left alone. `what` names the file for the message.
bool replaceFile(const std::string& path, const std::string& bytes, const char* what,
                 std::string* error);

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

// The same, as a stdio stream ("a" or "w" mode after the checks); null with
// *error on failure.
std::FILE* openStreamForWriting(const std::string& path, const WriteOptions& options,
                                std::string* error);

// Replaces the content of the regular file at path with bytes (created when
// absent), through openForWriting. False with *error when it cannot.
bool writeRegularFile(const std::string& path, const std::string& bytes, const char* what,
                      std::string* error);

}  // namespace quill::files

// Reading and replacing files that come from users: only regular files are
// read (a FIFO would block the caller forever, a device or a directory makes
// no sense as a document), and no file is read past a size limit.
#pragma once

#include <cstddef>
#include <string>

namespace quill::files {

// Reads the whole regular file at path into *bytes. Fails, explaining in
// *error ("... is a directory", "... is not a regular file (a FIFO)", "...
// is larger than N bytes", or the system's reason), without blocking on a
// FIFO and without reading more than maxBytes + 1 bytes. `what` names the
// file for the message ("firmware", "part description").
bool readRegularFile(const std::string& path, std::size_t maxBytes, const char* what,
                     std::string* bytes, std::string* error);

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

}  // namespace quill::files

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace quill::files {

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "not a regular file";
}

std::string describeMode(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    return std::string("is not a regular file (") + kindOf(mode) + ")";
}

}  // namespace

std::string notRegularReason(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    return S_ISREG(st.st_mode) ? std::string() : describeMode(st.st_mode);
}

int openForReading(const std::string& path, const char* what, std::string* error) {
    const std::string name = std::string(what) + " \"" + path + "\"";
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer; the type is checked on the open descriptor, so the file cannot
    // be swapped between the check and the read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "cannot read " + name + ": it " + describeMode(st.st_mode);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readRegularFile(const std::string& path, std::size_t maxBytes, const char* what,
                     std::string* bytes, std::string* error) {
    const std::string name = std::string(what) + " \"" + path + "\"";
    const int fd = openForReading(path, what, error);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        *error = name + " is too large (" + std::to_string(st.st_size) + " bytes; at most " +
                 std::to_string(maxBytes) + ")";
        ::close(fd);
        return false;
    }
    bytes->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = "cannot read " + name + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes->append(buffer, static_cast<std::size_t>(n));
        if (bytes->size() > maxBytes) {  // grew while being read
            *error = name + " is too large (more than " + std::to_string(maxBytes) + " bytes)";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

namespace {

// Why the entry `name` in the folder `dir` could not be opened, after
// `subject` ("it", "the folder \"x\""): its kind when that is the reason
// (a link, or not a regular file where one is wanted), else the system's
// reason `errorNumber`.
std::string openRefusal(int dir, const std::string& name, int errorNumber,
                        const std::string& subject, bool wantFile) {
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return subject + " is a symbolic link (links are not followed for writing)";
        if (wantFile && !S_ISREG(st.st_mode)) return subject + " " + describeMode(st.st_mode);
        if (!wantFile && !S_ISDIR(st.st_mode)) return subject + " is not a folder";
    }
    return (wantFile ? "" : subject + ": ") + std::strerror(errorNumber);
}

}  // namespace

namespace {

// Opens the folder that holds the file at path, walking its folders one at
// a time, each opened without following a link, so that no link anywhere
// in the path leads a write astray. Returns the folder's descriptor (the
// caller closes it) and the file's name in it, or -1 with *why (the reason
// alone, for after "cannot write ...: ").
int openFolderOf(const std::string& path, bool makeDirectories, std::string* last,
                 std::string* why) {
    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    const std::string lastWritten = path.substr(path.rfind('/') + 1);
    if (parts.empty() || lastWritten.empty() || lastWritten == "." || lastWritten == "..") {
        *why = "the name is a folder, not a file";
        return -1;
    }
    int dir = ::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        *why = std::strerror(errno);
        return -1;
    }
    std::string walked = path[0] == '/' ? "/" : "";
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string& part = parts[i];
        walked += (walked.empty() || walked.back() == '/' ? "" : "/") + part;
        int next = ::openat(dir, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && makeDirectories) {
            if (::mkdirat(dir, part.c_str(), 0777) != 0 && errno != EEXIST) {
                *why = "cannot make the folder \"" + walked + "\": " + std::strerror(errno);
                ::close(dir);
                return -1;
            }
            next = ::openat(dir, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            const int code = errno;
            *why = openRefusal(dir, part, code, "the folder \"" + walked + "\"", false);
            ::close(dir);
            return -1;
        }
        ::close(dir);
        dir = next;
    }
    *last = parts.back();
    return dir;
}

}  // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int openForWriting(const std::string& path, const WriteOptions& options, std::string* error) {
    const std::string name = std::string(options.what) + " \"" + path + "\"";
    std::string last, why;
    const int dir = openFolderOf(path, options.makeDirectories, &last, &why);
    if (dir < 0) {
        *error = "cannot write " + name + ": " + why;
        return -1;
    }
    auto fail = [&](const std::string& reason) {
        ::close(dir);
        *error = "cannot write " + name + ": " + reason;
        return -1;
    };
    const int flags = (options.readable ? O_RDWR : O_WRONLY) | O_CREAT | O_NOFOLLOW | O_NONBLOCK |
                      O_CLOEXEC | O_NOCTTY | (options.append ? O_APPEND : 0);
    const int fd = ::openat(dir, last.c_str(), flags, 0666);
    if (fd < 0) {
        const int code = errno;
        return fail(openRefusal(dir, last, code, "it", true));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(std::strerror(code));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("it " + describeMode(st.st_mode));
    }
    ::close(dir);
    // A regular file: blocking writes are what the callers expect.
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    if (options.truncate && ::ftruncate(fd, 0) != 0) {
        const int code = errno;
        ::close(fd);
        *error = "cannot write " + name + ": " + std::strerror(code);
        return -1;
    }
    return fd;
}

std::FILE* openStreamForWriting(const std::string& path, const WriteOptions& options,
                                std::string* error) {
    const int fd = openForWriting(path, options, error);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, options.append ? "a" : options.readable ? "r+" : "w");
    if (!file) {
        *error = std::string("cannot write ") + options.what + " \"" + path +
                 "\": " + std::strerror(errno);
        ::close(fd);
    }
    return file;
}

bool searchRegularFile(const std::string& path, const std::string& text, const char* what,
                       FileSearch* result, std::string* error) {
    const int fd = openForReading(path, what, error);
    if (fd < 0) return false;
    *result = FileSearch{};
    constexpr size_t kLineShown = 200;
    // window holds the tail of what was read: text.size() - 1 bytes of the
    // block before (a match may straddle two blocks) and the new block.
    std::string window;
    unsigned long long linesBefore = 0;  // newlines before window[0]
    bool firstLineDone = false;
    std::vector<char> block(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = std::string("cannot read ") + what + " \"" + path + "\": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (!firstLineDone) {
            const std::string_view got(block.data(), static_cast<size_t>(n));
            const size_t end = got.find('\n');
            result->firstLine.append(got.substr(0, std::min(end, kLineShown - result->firstLine.size())));
            firstLineDone = end != std::string_view::npos || result->firstLine.size() >= kLineShown || n == 0;
        }
        window.append(block.data(), static_cast<size_t>(n));
        result->bytes += static_cast<unsigned long long>(n);
        const size_t at = window.find(text);
        if (at != std::string::npos) {
            result->found = true;
            result->line = linesBefore + 1 +
                           static_cast<unsigned long long>(
                               std::count(window.begin(), window.begin() + static_cast<long>(at), '\n'));
            const size_t end = window.find('\n', at);
            result->lineText = window.substr(at, std::min(end - at, kLineShown));
            break;
        }
        if (n == 0) break;
        const size_t keep = text.empty() ? 0 : std::min(window.size(), text.size() - 1);
        const size_t drop = window.size() - keep;
        linesBefore += static_cast<unsigned long long>(
            std::count(window.begin(), window.begin() + static_cast<long>(drop), '\n'));
        window.erase(0, drop);
    }
    ::close(fd);
    return true;
}

std::string followLinks(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec))) return current.string();
        fs::path target = fs::read_symlink(current, ec);
        if (ec) {
            *error = "cannot follow the link \"" + current.string() + "\": " + ec.message();
            return {};
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    *error = "too many levels of symbolic links at \"" + path + "\"";
    return {};
}

// ---------------------------------------------------------------- replacing

namespace {

std::string quoted(const FileKind& kind, const std::string& path) {
    return std::string(kind.what) + " \"" + path + "\"";
}

// Whether the entry `name` of the folder `dir` may be replaced by a writer
// of `kind`: empty when it may (*mode then holds its permissions, or 0 when
// there is no such file), else the reason, after "it".
std::string oldFileRefusal(int dir, const std::string& name, const FileKind& kind, mode_t* mode) {
    *mode = 0;
    // O_NONBLOCK: a FIFO is refused, never waited on.
    const int fd =
        ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT) return {};  // a new file (a dangling link is ELOOP)
        return openRefusal(dir, name, code, "it", true);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return std::strerror(code);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return "it " + describeMode(st.st_mode);
    }
    std::string head(kKindHeadBytes, '\0');
    ssize_t n;
    do {
        n = ::pread(fd, head.data(), head.size(), 0);
    } while (n < 0 && errno == EINTR);
    const int code = errno;
    ::close(fd);
    if (n < 0) return std::string("cannot read it: ") + std::strerror(code);
    head.resize(static_cast<size_t>(n));
    if (!head.empty() && !kind.recognise) {
        return std::string("it is not empty (") + kind.own + "), so it is left untouched";
    }
    if (!head.empty() && !kind.recognise(head)) {
        return std::string("it holds something other than ") + kind.own +
               ", so it is left untouched";
    }
    *mode = st.st_mode & 07777;
    return {};
}

std::string refusalText(const FileKind& kind, const std::string& path, const std::string& why) {
    return "cannot write " + quoted(kind, path) + ": " + why;
}

}  // namespace

std::string replaceRefusal(const std::string& path, const FileKind& kind) {
    std::string name, why;
    const int dir = openFolderOf(path, false, &name, &why);
    if (dir < 0) return "cannot write " + quoted(kind, path) + ": " + why;
    mode_t mode;
    why = oldFileRefusal(dir, name, kind, &mode);
    ::close(dir);
    return why.empty() ? std::string() : refusalText(kind, path, why);
}

bool FileReplacement::begin(const std::string& path, const FileKind& kind, std::string* error) {
    abandon();
    std::string name, why;
    const int dir = openFolderOf(path, false, &name, &why);
    if (dir < 0) {
        *error = "cannot write " + quoted(kind, path) + ": " + why;
        return false;
    }
    mode_t mode;
    why = oldFileRefusal(dir, name, kind, &mode);
    if (!why.empty()) {
        ::close(dir);
        *error = refusalText(kind, path, why);
        return false;
    }
    // A hidden name of its own in the same folder (the rename then cannot
    // cross file systems); O_EXCL never takes over a file already there.
    int fd = -1;
    std::string temp;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) +
               ".new";
        fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = "cannot write " + quoted(kind, path) + ": cannot make a new file beside it: " +
                 std::strerror(errno);
        ::close(dir);
        return false;
    }
    // The replacement keeps the old file's permissions.
    if (mode) ::fchmod(fd, mode);
    stream_ = ::fdopen(fd, "w");
    if (!stream_) {
        *error = "cannot write " + quoted(kind, path) + ": " + std::strerror(errno);
        ::close(fd);
        ::unlinkat(dir, temp.c_str(), 0);
        ::close(dir);
        return false;
    }
    dir_ = dir;
    name_ = name;
    temp_ = temp;
    path_ = path;
    kind_ = kind;
    return true;
}

void FileReplacement::abandon() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
    if (dir_ >= 0) {
        ::unlinkat(dir_, temp_.c_str(), 0);
        ::close(dir_);
    }
    dir_ = -1;
}

bool FileReplacement::commit(std::string* error) {
    if (!stream_) {
        *error = "cannot write " + quoted(kind_, path_) + ": nothing is being written";
        return false;
    }
    auto fail = [&](const std::string& why) {
        *error = "cannot write " + quoted(kind_, path_) + ": " + why +
                 " (the old file is left as it was)";
        abandon();
        return false;
    };
    if (std::ferror(stream_)) return fail("writing the new file failed");
    if (std::fflush(stream_) != 0) return fail(std::strerror(errno));
    if (::fsync(::fileno(stream_)) != 0) return fail(std::strerror(errno));
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0) return fail(std::strerror(errno));
    // The old file may have changed while the new one was written (a long
    // recording): it is checked again just before it goes.
    mode_t mode;
    if (const std::string why = oldFileRefusal(dir_, name_, kind_, &mode); !why.empty()) {
        *error = refusalText(kind_, path_, why);
        abandon();
        return false;
    }
    if (::renameat(dir_, temp_.c_str(), dir_, name_.c_str()) != 0) return fail(std::strerror(errno));
    ::close(dir_);
    dir_ = -1;
    return true;
}

bool replaceFile(const std::string& path, const std::string& bytes, const FileKind& kind,
                 std::string* error) {
    FileReplacement replacement;
    if (!replacement.begin(path, kind, error)) return false;
    if (!bytes.empty() &&
        std::fwrite(bytes.data(), 1, bytes.size(), replacement.stream()) != bytes.size()) {
        *error = "cannot write " + quoted(kind, path) + ": " + std::strerror(errno ? errno : EIO) +
                 " (the old file is left as it was)";
        return false;
    }
    return replacement.commit(error);
}

int openOwnForWriting(const std::string& path, const WriteOptions& options, const FileKind& kind,
                      std::string* error) {
    WriteOptions readable = options;
    readable.readable = true;
    readable.truncate = false;
    const int fd = openForWriting(path, readable, error);
    if (fd < 0) return -1;
    std::string head(kKindHeadBytes, '\0');
    ssize_t n;
    do {
        n = ::pread(fd, head.data(), head.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = "cannot read " + std::string(options.what) + " \"" + path +
                 "\": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    head.resize(static_cast<size_t>(n));
    if (!head.empty() && !kind.recognise(head)) {
        *error = "cannot write " + std::string(options.what) + " \"" + path +
                 "\": it holds something other than " + kind.own + ", so it is left untouched";
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isPngWithText(std::string_view bytes, std::string_view keyword, std::string_view text) {
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    if (bytes.substr(0, kSignature.size()) != kSignature) return false;
    auto u32 = [&](size_t at) {
        return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
               (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
    };
    // Chunks: length, type, data, CRC; the text chunks come before IDAT.
    for (size_t at = kSignature.size(); at + 8 <= bytes.size();) {
        const uint32_t length = u32(at);
        const std::string_view type = bytes.substr(at + 4, 4);
        if (type == "IDAT" || type == "IEND") return false;
        if (length > bytes.size() - at - 8) return false;
        if (type == "tEXt") {
            const std::string_view data = bytes.substr(at + 8, length);
            const size_t nul = data.find('\0');
            if (nul != std::string_view::npos && data.substr(0, nul) == keyword &&
                data.substr(nul + 1) == text)
                return true;
        }
        at += 12 + size_t(length);
    }
    return false;
}

bool xmlRootIs(std::string_view text, std::string_view element) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    for (;;) {
        const size_t start = text.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) return false;
        text.remove_prefix(start);
        std::string_view end;
        if (text.substr(0, 2) == "<?") end = "?>";
        else if (text.substr(0, 4) == "<!--") end = "-->";
        else if (text.substr(0, 2) == "<!") end = ">";
        if (end.empty()) break;
        const size_t at = text.find(end, 2);
        if (at == std::string_view::npos) return false;
        text.remove_prefix(at + end.size());
    }
    if (text.size() < element.size() + 2 || text[0] != '<' || text.substr(1, element.size()) != element)
        return false;
    const char after = text[element.size() + 1];
    return after == '>' || after == '/' || after == ' ' || after == '\t' || after == '\r' ||
           after == '\n';
}

}  // namespace quill::files

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

int openForWriting(const std::string& path, const WriteOptions& options, std::string* error) {
    const std::string name = std::string(options.what) + " \"" + path + "\"";
    int dir = AT_FDCWD;
    auto closeDir = [&] {
        if (dir != AT_FDCWD) ::close(dir);
        dir = AT_FDCWD;
    };
    auto fail = [&](const std::string& why) {
        closeDir();
        *error = "cannot write " + name + ": " + why;
        return -1;
    };
    // The folders are walked one at a time, each opened without following
    // a link, so that no link anywhere in the path leads the write astray.
    std::vector<std::string> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    const std::string lastWritten = path.substr(path.rfind('/') + 1);
    if (parts.empty() || lastWritten.empty() || lastWritten == "." || lastWritten == "..")
        return fail("the name is a folder, not a file");
    if (path[0] == '/') {
        dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return fail(std::strerror(errno));
    }
    std::string walked = path[0] == '/' ? "/" : "";
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string& part = parts[i];
        walked += (walked.empty() || walked.back() == '/' ? "" : "/") + part;
        int next = ::openat(dir, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && options.makeDirectories) {
            if (::mkdirat(dir, part.c_str(), 0777) != 0 && errno != EEXIST)
                return fail("cannot make the folder \"" + walked + "\": " + std::strerror(errno));
            next = ::openat(dir, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0) {
            const int why = errno;
            return fail(openRefusal(dir, part, why, "the folder \"" + walked + "\"", false));
        }
        closeDir();
        dir = next;
    }
    const std::string& last = parts.back();
    const int flags = (options.readable ? O_RDWR : O_WRONLY) | O_CREAT | O_NOFOLLOW | O_NONBLOCK |
                      O_CLOEXEC | O_NOCTTY | (options.append ? O_APPEND : 0);
    const int fd = ::openat(dir, last.c_str(), flags, 0666);
    if (fd < 0) {
        const int why = errno;
        return fail(openRefusal(dir, last, why, "it", true));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int why = errno;
        ::close(fd);
        return fail(std::strerror(why));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail("it " + describeMode(st.st_mode));
    }
    closeDir();
    // A regular file: blocking writes are what the callers expect.
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    if (options.truncate && ::ftruncate(fd, 0) != 0) {
        const int why = errno;
        ::close(fd);
        *error = "cannot write " + name + ": " + std::strerror(why);
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

bool writeRegularFile(const std::string& path, const std::string& bytes, const char* what,
                      std::string* error) {
    WriteOptions options;
    options.what = what;
    options.truncate = true;
    const int fd = openForWriting(path, options, error);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = std::string("cannot write ") + what + " \"" + path +
                     "\": " + std::strerror(n < 0 ? errno : ENOSPC);
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        *error = std::string("cannot write ") + what + " \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
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

bool replaceFile(const std::string& given, const std::string& bytes, const char* what,
                 std::string* error) {
    const std::string name = std::string(what) + " \"" + given + "\"";
    // A link stays a link: the file it names is the one replaced.
    std::string linkError;
    const std::string path = followLinks(given, &linkError);
    if (path.empty()) {
        *error = "cannot write " + name + ": " + linkError;
        return false;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = "cannot write " + name + ": it " + describeMode(st.st_mode);
        return false;
    }
    // The new file lives in the same folder, so the rename cannot cross
    // file systems; O_EXCL never reuses a stranger's file of that name.
    const std::string temp = path + ".new" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot write " + name + ": " + std::strerror(errno);
        return false;
    }
    auto fail = [&](int code) {
        *error = "cannot write " + name + ": " + std::strerror(code);
        ::unlink(temp.c_str());
        return false;
    };
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(code);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(code);
    }
    if (::close(fd) != 0) return fail(errno);
    if (std::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
    return true;
}

}  // namespace quill::files

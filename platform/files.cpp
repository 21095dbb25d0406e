#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

bool readRegularFile(const std::string& path, std::size_t maxBytes, const char* what,
                     std::string* bytes, std::string* error) {
    const std::string name = std::string(what) + " \"" + path + "\"";
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer; the type is checked on the open descriptor, so the file cannot
    // be swapped between the check and the read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "cannot read " + name + ": it " + describeMode(st.st_mode);
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

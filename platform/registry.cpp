#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/files.h"
#include "platform/registry_tree.h"
#include "platform/text.h"

namespace {

using quill::registry_tree::Key;
using quill::registry_tree::kMaxKeyDepth;
using quill::registry_tree::kRootCount;
using quill::registry_tree::formatTree;
using quill::registry_tree::parseTree;
using quill::registry_tree::splitPath;
using quill::registry_tree::Tree;

// A registry file larger than this is refused rather than read whole.
constexpr size_t kMaxFileBytes = 64u << 20;
// How many numbered copies of malformed files ("NAME.corrupt.N") are kept.
constexpr int kMaxSetAsides = 1000;
constexpr uintptr_t kFirstRootHandle = 0x80000000u;

}  // namespace

// An open key: its root and the names of the keys below it.
struct HKEY__ {
    int root = 0;
    std::vector<std::string> path;
};

namespace {

// Identifies one version of the registry file, so that a file another
// process replaced is read again and an unchanged one is not.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::string& path) {
    FileStamp s;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        s.exists = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return s;
}

// ---- The process-wide state ---------------------------------------------

struct State {
    std::recursive_mutex mutex;
    std::set<const HKEY__*> handles;

    // The registry as last read from or written to `path`.
    std::string path;
    FileStamp stamp;
    bool valid = false;
    bool malformed = false;  // the file at `path` could not be read
    std::string unwritable;  // why `path` must not be replaced, empty if it may
    Tree tree;

    // Open transaction
    int depth = 0;
    bool dirty = false;
    int lockFd = -1;
};

State& state() {
    static State s;
    return s;
}

// The registry file to use: the configured location with symbolic links
// followed, so that a change replaces the link's target and the link stays.
// Empty (with a message on stderr) when the links cannot be followed.
std::string registryPath() {
    const std::string configured = RegistryFilePath();
    if (configured.empty()) return configured;
    std::string error;
    std::string path = quill::files::followLinks(configured, &error);
    if (path.empty()) std::fprintf(stderr, "registry: %s\n", error.c_str());
    return path;
}

// Brings the cached tree up to date with the file at `path`.
void refresh(State& s, const std::string& path) {
    FileStamp now = stampOf(path);
    if (s.valid && s.path == path && s.stamp == now) return;
    s.path = path;
    s.stamp = now;
    s.valid = true;
    s.malformed = false;
    s.unwritable.clear();
    s.tree.clear();
    if (!now.exists) return;
    std::string text, error;
    if (const std::string why = quill::files::notRegularReason(path); !why.empty()) {
        // Never read (a FIFO would block) nor replace (a device node would
        // be destroyed) anything but a regular file.
        s.unwritable = path + " " + why;
        std::fprintf(stderr, "registry: %s; using an empty registry and leaving it alone\n",
                     s.unwritable.c_str());
        return;
    }
    if (!quill::files::readRegularFile(path, kMaxFileBytes, "registry file", &text, &error)) {
        std::fprintf(stderr, "registry: %s; using an empty registry\n", error.c_str());
        s.malformed = true;
        return;
    }
    if (!parseTree(text, &s.tree, &error)) {
        std::fprintf(stderr,
                     "registry: %s is malformed (%s); using an empty registry. Before the next "
                     "change the file will be set aside as %s.corrupt (or a numbered copy).\n",
                     path.c_str(), error.c_str(), path.c_str());
        s.tree.clear();
        s.malformed = true;
    }
}

// Keeps the malformed registry file under the first free name of
// "<file>.corrupt", "<file>.corrupt.1", ... as a second link to it, so that
// the replacement that follows leaves the copy intact. Never replaces an
// earlier copy. Returns the name used, or empty (with *error) when no copy
// could be made.
std::string setAside(const std::string& path, std::string* error) {
    for (int n = 0; n < kMaxSetAsides; ++n) {
        std::string aside = path + ".corrupt";
        if (n > 0) aside += "." + std::to_string(n);
        if (::link(path.c_str(), aside.c_str()) == 0) return aside;
        if (errno == EEXIST) continue;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV && errno != EMLINK) {
            *error = std::strerror(errno);
            return {};
        }
        // No hard links on this file system: copy the bytes instead.
        std::string bytes;
        if (!quill::files::readRegularFile(path, kMaxFileBytes, "registry file", &bytes, error))
            return {};
        const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            *error = std::strerror(errno);
            return {};
        }
        const bool ok = quill::files::writeAll(fd, bytes) && ::fsync(fd) == 0;
        if (::close(fd) != 0 || !ok) {
            *error = std::strerror(errno);
            ::unlink(aside.c_str());
            return {};
        }
        return aside;
    }
    *error = "all " + std::to_string(kMaxSetAsides) + " names for copies are taken";
    return {};
}

bool ensureDirectory(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "registry: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

// Serialises writers across processes with a lock file beside the registry.
int lockFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        // No lock file beside a device node or FIFO: nothing will be written.
        std::fprintf(stderr, "registry: not writing: %s %s\n", path.c_str(),
                     quill::files::notRegularReason(path).c_str());
        return -1;
    }
    if (!ensureDirectory(path)) return -1;
    std::string lockPath = path + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "registry: cannot open %s: %s\n", lockPath.c_str(),
                     std::strerror(errno));
        return -1;
    }
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    return fd;
}

void unlockFile(int fd) {
    if (fd >= 0) ::close(fd);  // closing releases the lock
}


// Writes the tree to a temporary file and renames it over the registry.
bool save(State& s) {
    const std::string& path = s.path;
    if (path.empty()) {
        std::fprintf(stderr, "registry: no location for the registry file (set QUILL_REGISTRY)\n");
        return false;
    }
    if (!s.unwritable.empty()) {
        std::fprintf(stderr, "registry: not writing: %s\n", s.unwritable.c_str());
        return false;
    }
    if (!ensureDirectory(path)) return false;
    if (s.malformed && stampOf(path).exists) {
        std::string error;
        const std::string aside = setAside(path, &error);
        if (aside.empty()) {
            std::fprintf(stderr,
                         "registry: cannot keep a copy of the malformed %s (%s); leaving it "
                         "unchanged and not writing\n",
                         path.c_str(), error.c_str());
            return false;
        }
        std::fprintf(stderr, "registry: kept the malformed %s as %s\n", path.c_str(),
                     aside.c_str());
    }
    std::string temp = path + ".tmp" + std::to_string(::getpid());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (ok) {
        ok = quill::files::writeAll(fd, formatTree(s.tree)) && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok) {
        std::fprintf(stderr, "registry: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        ::unlink(temp.c_str());
        return false;
    }
    s.stamp = stampOf(path);
    s.malformed = false;
    return true;
}

// The key an open handle names, or null with *error set.
Key* resolve(State& s, HKEY handle, LONG* error, std::vector<std::string>* pathOut = nullptr) {
    int root;
    std::vector<std::string> path;
    auto raw = reinterpret_cast<uintptr_t>(handle);
    if (raw >= kFirstRootHandle && raw < kFirstRootHandle + kRootCount) {
        root = static_cast<int>(raw - kFirstRootHandle);
    } else if (handle && s.handles.count(handle)) {
        root = handle->root;
        path = handle->path;
    } else {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    Key* key = &s.tree.roots[root];
    for (const auto& name : path) {
        auto it = key->subkeys.find(name);
        if (it == key->subkeys.end()) {
            *error = ERROR_KEY_DELETED;
            return nullptr;
        }
        key = it->second.get();
    }
    if (pathOut) *pathOut = std::move(path);
    return key;
}

int rootOf(State& s, HKEY handle) {
    auto raw = reinterpret_cast<uintptr_t>(handle);
    if (raw >= kFirstRootHandle && raw < kFirstRootHandle + kRootCount) {
        return static_cast<int>(raw - kFirstRootHandle);
    }
    return handle->root;
}

// Runs one registry operation on the current tree. `operation` sets
// *changed when it modified the tree; the change is then written out (or
// kept for the open transaction).
LONG run(bool modifies, const std::function<LONG(State&, bool*)>& operation) {
    State& s = state();
    std::lock_guard<std::recursive_mutex> guard(s.mutex);
    if (s.depth > 0) {
        bool changed = false;
        LONG result = operation(s, &changed);
        s.dirty = s.dirty || changed;
        return result;
    }
    std::string path = registryPath();
    int fd = -1;
    if (modifies && !path.empty()) {
        fd = lockFile(path);
        if (fd < 0) return ERROR_WRITE_FAULT;
    }
    refresh(s, path);
    bool changed = false;
    LONG result = operation(s, &changed);
    if (changed && !save(s)) {
        s.valid = false;  // the file still holds the old registry: read it again
        result = ERROR_WRITE_FAULT;
    }
    unlockFile(fd);
    return result;
}

LONG openKey(HKEY parent, std::string_view subKey, HKEY* result, bool create) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string> names;
    if (!splitPath(subKey, &names)) return ERROR_INVALID_PARAMETER;
    return run(create, [&](State& s, bool* changed) -> LONG {
        LONG error = ERROR_SUCCESS;
        std::vector<std::string> path;
        Key* key = resolve(s, parent, &error, &path);
        if (!key) return error;
        if (path.size() + names.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
        for (const auto& name : names) {
            auto it = key->subkeys.find(name);
            if (it == key->subkeys.end()) {
                if (!create) return ERROR_FILE_NOT_FOUND;
                it = key->subkeys.emplace(name, std::make_unique<Key>()).first;
                *changed = true;
            }
            path.push_back(it->first);  // the name as stored
            key = it->second.get();
        }
        auto* handle = new HKEY__{rootOf(s, parent), std::move(path)};
        s.handles.insert(handle);
        *result = handle;
        return ERROR_SUCCESS;
    });
}

}  // namespace

std::string RegistryFilePath() {
    const char* explicitPath = std::getenv("QUILL_REGISTRY");
    if (explicitPath && *explicitPath) return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/quill/registry.reg";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (home && *home) return std::string(home) + "/.config/quill/registry.reg";
    return {};
}

LONG RegCreateKey(HKEY parent, std::string_view subKey, HKEY* result) {
    return openKey(parent, subKey, result, true);
}

LONG RegOpenKey(HKEY parent, std::string_view subKey, HKEY* result) {
    return openKey(parent, subKey, result, false);
}

LONG RegCloseKey(HKEY key) {
    auto raw = reinterpret_cast<uintptr_t>(key);
    if (raw >= kFirstRootHandle && raw < kFirstRootHandle + kRootCount) return ERROR_SUCCESS;
    State& s = state();
    std::lock_guard<std::recursive_mutex> guard(s.mutex);
    if (!key || !s.handles.erase(key)) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}

LONG RegSetValue(HKEY key, std::string_view name, std::string_view data) {
    return run(true, [&](State& s, bool* changed) -> LONG {
        LONG error = ERROR_SUCCESS;
        Key* k = resolve(s, key, &error);
        if (!k) return error;
        auto it = k->values.find(name);
        if (it == k->values.end()) {
            k->values.emplace(std::string(name), std::string(data));
            *changed = true;
        } else if (it->second != data) {
            it->second = data;
            *changed = true;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValue(HKEY key, std::string_view name, std::string* data) {
    if (!data) return ERROR_INVALID_PARAMETER;
    return run(false, [&](State& s, bool*) -> LONG {
        LONG error = ERROR_SUCCESS;
        Key* k = resolve(s, key, &error);
        if (!k) return error;
        auto it = k->values.find(name);
        if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
        *data = it->second;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY key, std::string_view name) {
    return run(true, [&](State& s, bool* changed) -> LONG {
        LONG error = ERROR_SUCCESS;
        Key* k = resolve(s, key, &error);
        if (!k) return error;
        auto it = k->values.find(name);
        if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
        k->values.erase(it);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegSetKeyValue(HKEY parent, std::string_view subKey, std::string_view name,
                    std::string_view data) {
    // One transaction, so that the key and its value are written together.
    RegistryTransaction transaction;
    HKEY key = nullptr;
    LONG result = RegCreateKey(parent, subKey, &key);
    if (result != ERROR_SUCCESS) return result;
    result = RegSetValue(key, name, data);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return result;
    return transaction.Commit();
}

LONG RegGetValue(HKEY parent, std::string_view subKey, std::string_view name, std::string* data) {
    HKEY key = nullptr;
    LONG result = RegOpenKey(parent, subKey, &key);
    if (result != ERROR_SUCCESS) return result;
    result = RegQueryValue(key, name, data);
    RegCloseKey(key);
    return result;
}

namespace {

LONG deleteKey(HKEY parent, std::string_view subKey, bool tree) {
    std::vector<std::string> names;
    if (!splitPath(subKey, &names)) return ERROR_INVALID_PARAMETER;
    if (names.empty() && !tree) return ERROR_INVALID_PARAMETER;
    return run(true, [&](State& s, bool* changed) -> LONG {
        LONG error = ERROR_SUCCESS;
        Key* key = resolve(s, parent, &error);
        if (!key) return error;
        if (names.empty()) {
            if (!key->values.empty() || !key->subkeys.empty()) *changed = true;
            key->values.clear();
            key->subkeys.clear();
            return ERROR_SUCCESS;
        }
        for (size_t i = 0; i + 1 < names.size(); ++i) {
            auto it = key->subkeys.find(names[i]);
            if (it == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
            key = it->second.get();
        }
        auto it = key->subkeys.find(names.back());
        if (it == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
        if (!tree && !it->second->subkeys.empty()) return ERROR_ACCESS_DENIED;
        key->subkeys.erase(it);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

}  // namespace

LONG RegDeleteKey(HKEY parent, std::string_view subKey) { return deleteKey(parent, subKey, false); }

LONG RegDeleteTree(HKEY parent, std::string_view subKey) { return deleteKey(parent, subKey, true); }

LONG RegEnumKey(HKEY key, DWORD index, std::string* name) {
    if (!name) return ERROR_INVALID_PARAMETER;
    return run(false, [&](State& s, bool*) -> LONG {
        LONG error = ERROR_SUCCESS;
        Key* k = resolve(s, key, &error);
        if (!k) return error;
        if (index >= k->subkeys.size()) return ERROR_NO_MORE_ITEMS;
        *name = std::next(k->subkeys.begin(), index)->first;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValue(HKEY key, DWORD index, std::string* name, std::string* data) {
    if (!name) return ERROR_INVALID_PARAMETER;
    return run(false, [&](State& s, bool*) -> LONG {
        LONG error = ERROR_SUCCESS;
        Key* k = resolve(s, key, &error);
        if (!k) return error;
        if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
        auto it = std::next(k->values.begin(), index);
        *name = it->first;
        if (data) *data = it->second;
        return ERROR_SUCCESS;
    });
}

RegistryTransaction::RegistryTransaction() {
    State& s = state();
    s.mutex.lock();  // held until the destructor
    if (s.depth++ > 0) return;
    outermost_ = true;
    s.dirty = false;
    std::string path = registryPath();
    s.lockFd = path.empty() ? -1 : lockFile(path);
    refresh(s, path);
}

LONG RegistryTransaction::Commit() {
    State& s = state();
    std::lock_guard<std::recursive_mutex> guard(s.mutex);
    if (!outermost_ || committed_) return ERROR_SUCCESS;
    committed_ = true;
    if (!s.dirty) return ERROR_SUCCESS;
    s.dirty = false;
    if (s.lockFd < 0 || !save(s)) {
        s.valid = false;  // drop the changes: the file still holds the old registry
        return ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}

RegistryTransaction::~RegistryTransaction() {
    State& s = state();
    if (outermost_) {
        if (s.dirty) s.valid = false;  // not committed: forget the changes
        s.dirty = false;
        unlockFile(s.lockFd);
        s.lockFd = -1;
    }
    --s.depth;
    s.mutex.unlock();
}

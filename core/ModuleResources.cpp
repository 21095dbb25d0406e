#include "core/ModuleResources.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

struct StringEntry {
    int id;
    const char* text;
};

constexpr StringEntry kStringTable[] = {
    {IDS_PROJNAME, "QuillComponents"},
};

struct VersionEntry {
    const char* key;
    const char* value;
};

constexpr VersionEntry kVersionData[] = {
    {"CompanyName", "QuillComponents"}, {"FileDescription", "QuillComponents Module"},
    {"FileVersion", "1, 0, 0, 1"},      {"ProductName", "QuillComponents Module"},
    {"ProductVersion", "1, 0, 0, 1"},
};

// Any address inside this binary will do for dladdr.
void anchor() {}

}  // namespace

std::string LoadModuleString(int id) {
    for (const auto& entry : kStringTable) {
        if (entry.id == id) return entry.text;
    }
    return {};
}

std::string ModuleVersionValue(const std::string& key) {
    for (const auto& entry : kVersionData) {
        if (key == entry.key) return entry.value;
    }
    return {};
}

HINSTANCE ModuleInstance() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&anchor), &info) == 0) return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

std::string ModuleFilePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&anchor), &info) != 0 && info.dli_fname &&
        info.dli_fname[0]) {
        char resolved[PATH_MAX];
        if (::realpath(info.dli_fname, resolved)) return resolved;
    }
    // The main program may be reported without a usable name.
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    self[n] = 0;
    return self;
}

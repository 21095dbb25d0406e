// Registry files: read any text as the registry (through the file, as a
// run does), then make one change so the tree is formatted and written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry.h"

namespace {

// In memory where the system has it: every change is synced to disk, which
// would make each run wait for the disk.
std::string scratchFolder() {
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/quill-fuzz-registry-XXXXXX";
    const char* dir = ::mkdtemp(pattern.data());
    if (!dir) std::abort();
    static std::string made;
    made = dir;
    std::atexit([] { std::filesystem::remove_all(made); });
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = scratchFolder();
    static const std::string file = folder + "/registry.reg";
    ::setenv("QUILL_REGISTRY", file.c_str(), 1);
    // Each run starts from the input alone: no copies of earlier inputs.
    std::remove((file + ".corrupt").c_str());
    FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::string name, value;
    for (DWORD i = 0; RegEnumKey(HKEY_CLASSES_ROOT, i, &name) == ERROR_SUCCESS && i < 64; ++i) {
        (void)RegGetValue(HKEY_CLASSES_ROOT, name, "", &value);
    }
    (void)RegSetKeyValue(HKEY_CURRENT_USER, "Fuzz", "v", "1");
    return 0;
}

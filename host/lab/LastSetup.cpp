#include "host/lab/LastSetup.h"

#include <filesystem>

#include "platform/registry.h"

namespace quill::lab {

namespace {

constexpr const char* kHostKey = "Software\\quill-host";
constexpr const char* kReopenValue = "ReopenLastSetup";

}  // namespace

std::string lastSetupPath() {
    const std::string registry = RegistryFilePath();
    if (registry.empty()) return {};
    return (std::filesystem::path(registry).parent_path() / "last-setup.quill").string();
}

bool reopenLastSetup() {
    std::string value;
    return RegGetValue(HKEY_CURRENT_USER, kHostKey, kReopenValue, &value) == ERROR_SUCCESS &&
           value == "1";
}

bool setReopenLastSetup(bool on, std::string* error) {
    if (RegSetKeyValue(HKEY_CURRENT_USER, kHostKey, kReopenValue, on ? "1" : "0") ==
        ERROR_SUCCESS)
        return true;
    *error = "the preference could not be written to the registry \"" + RegistryFilePath() + "\"";
    return false;
}

}  // namespace quill::lab

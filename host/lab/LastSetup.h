// The set-up the host keeps between runs: a preference "reopen the last
// set-up at start" (off unless the user ticks it) and the lab file it is
// kept in, both in the host's configuration folder, where its registry
// lives (~/.config/quill by default). Toolkit-free.
#pragma once

#include <string>

namespace quill::lab {

// The lab file of the last set-up: "last-setup.quill" beside the registry;
// empty when no configuration folder can be determined.
std::string lastSetupPath();

// The preference, under HKEY_CURRENT_USER\Software\quill-host.
bool reopenLastSetup();
// False with *error when the registry cannot be written.
bool setReopenLastSetup(bool on, std::string* error);

}  // namespace quill::lab

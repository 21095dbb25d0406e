#include "host/quiet/PlatformNoise.h"

namespace quiet {

bool IsPlatformNoise(std::string_view message) {
    // Beginnings of the notices, as the window system layer words them.
    static constexpr std::string_view kNotices[] = {
        "This plugin does not support ",
        "QStandardPaths: XDG_RUNTIME_DIR not set",
    };
    for (std::string_view notice : kNotices) {
        if (message.substr(0, notice.size()) == notice) return true;
    }
    return false;
}

}  // namespace quiet

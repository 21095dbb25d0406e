// Messages of the window system layer that say only that a platform lacks
// a feature (the offscreen platform of headless runs has no window manager,
// keyboard grab or runtime folder). They tell a user nothing about the run:
// headless output leaves them out. Toolkit-free.
#pragma once

#include <string_view>

namespace quiet {

// Whether `message` is such a notice: "This plugin does not support
// propagateSizeHints()" (hundreds while an LCD blinks), "... raise()",
// "... grabbing the keyboard", "QStandardPaths: XDG_RUNTIME_DIR not set,
// defaulting to ...".
bool IsPlatformNoise(std::string_view message);

}  // namespace quiet

// A Qt message handler that drops the window system layer's platform
// notices (PlatformNoise.h) and hands every other message to the handler
// installed before it, so the project's own messages and real warnings and
// errors still reach stderr.
#pragma once

namespace quiet {

// Installs the filter in front of the current handler; installing it again
// changes nothing. Call before the QApplication is made: some notices come
// while it starts.
void InstallPlatformNoiseFilter();
// Messages dropped so far.
long long DroppedPlatformNotices();

}  // namespace quiet

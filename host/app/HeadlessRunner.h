// quill-host --headless: loads part and firmware, runs a scenario against
// the real component windows (offscreen) and returns the exit status:
// 0 every expectation held, 1 an expectation failed, 2 bad input or setup.
#pragma once

#include <cstdio>

#include "host/app/HostOptions.h"

int RunHeadless(const HostOptions& options, std::FILE* out, std::FILE* err);

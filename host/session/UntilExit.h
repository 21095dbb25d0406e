// quill-host --headless --firmware FILE --until-exit: a firmware test that
// reports its own verdict through its exit code, run without a scenario or
// windows.
#pragma once

#include <cstdio>

#include "host/session/HostOptions.h"

// Runs the firmware on the part (--part, else the one the ELF file names,
// else the default) at --frequency until the program exits, and prints
// "program exited with N after C cycles". Returns 0 for exit code 0, 1
// for another code or a program that stopped without exiting (a crash,
// sleep with interrupts off), 2 when --time-limit (wall clock) ended the
// run first or the firmware could not be loaded.
int RunUntilExit(const HostOptions& options, std::FILE* out, std::FILE* err);

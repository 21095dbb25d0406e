// quill-host --headless: loads part and firmware, runs a scenario against
// the real component windows (offscreen) and returns the exit status:
// 0 every expectation held, 1 an expectation failed, 2 bad input or setup.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>

#include "host/session/HostOptions.h"
#include "host/session/SessionConfig.h"

class HostBench;

// Builds the workbench a run drives (the application builds its main
// window), for the session the options and the scenario chose.
using BenchMaker =
    std::function<std::unique_ptr<HostBench>(const SessionConfig& config, MachineFactory factory)>;

int RunHeadless(const HostOptions& options, std::FILE* out, std::FILE* err,
                const BenchMaker& makeBench);

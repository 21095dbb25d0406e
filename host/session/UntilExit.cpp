#include "host/session/UntilExit.h"

#include "contract/HostProtocol.h"
#include "host/session/HostSetup.h"

#include <chrono>
#include <cmath>
#include <stdexcept>
#include <string>

#if __has_include("host/sim/SimTarget.h")
#include "host/sim/FirmwareFile.h"
#include "host/sim/SimTarget.h"

int RunUntilExit(const HostOptions& options, std::FILE* out, std::FILE* err) {
    using quill::sim::RunState;
    using quill::sim::SimTarget;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    try {
        const quill::sim::FirmwareImage image = quill::sim::readFirmwareFile(options.firmware);
        const std::string install = FindInstallDirectory(options.installDir);
        if (install.empty()) throw std::runtime_error("cannot find the Partdescriptionfiles folder");
        const std::string folder = install + "/" + kPartDescriptionFolder;
        // The part the ELF file was built for, unless --part says otherwise.
        std::string part = options.part;
        std::string ignored;
        if (!options.partGiven && !image.device.empty()) {
            if (auto info = quill::sim::loadPart(folder, image.device, &ignored)) part = info->name;
        }
        SimTarget target(part, static_cast<uint32_t>(std::lround(options.frequencyMHz * 1e6)),
                         folder);
        target.loadImage(image, options.firmware);
        const auto limit = std::chrono::duration<double>(options.timeLimitSeconds);
        // Instructions between looks at the clock: a few milliseconds.
        constexpr uint64_t kStretch = 1u << 16;
        for (;;) {
            target.run(kStretch);
            const RunState state = target.state();
            if (state == RunState::Exited) {
                const int code = *target.exitCode();
                std::fprintf(out, "program exited with %d after %llu cycles\n", code,
                             static_cast<unsigned long long>(target.cycles()));
                return code == 0 ? 0 : 1;
            }
            if (state == RunState::Done || state == RunState::Crashed) {
                std::fprintf(out, "program stopped without exiting after %llu cycles: %s at PC 0x%04X\n",
                             static_cast<unsigned long long>(target.cycles()),
                             state == RunState::Crashed ? "it crashed"
                                                        : "it sleeps with interrupts disabled",
                             target.programCounter());
                return 1;
            }
            if (options.timeLimitSeconds > 0 && Clock::now() - start >= limit) {
                std::fprintf(out,
                             "program did not exit within the time limit of %g s (%llu cycles run)\n",
                             options.timeLimitSeconds,
                             static_cast<unsigned long long>(target.cycles()));
                return 2;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(err, "quill-host: %s\n", e.what());
        return 2;
    }
}

#else
int RunUntilExit(const HostOptions&, std::FILE*, std::FILE* err) {
    std::fprintf(err, "quill-host: built without the simulator\n");
    return 2;
}
#endif

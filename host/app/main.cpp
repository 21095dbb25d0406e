// quill-host: loads QuillComponents, docks its windows and debugs AVR
// programs on simavr; --headless runs a scenario and exits with its verdict.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/app/Workbench.h"
#include "host/session/HostOptions.h"
#include "host/session/HostSetup.h"
#include "host/session/UntilExit.h"
#include "host/quiet/QtNoiseFilter.h"

namespace {

// Without $QUILL_REGISTRY a host started from its own build tree uses a
// registry in that tree; an installed host uses the user's.
void useBuildTreeRegistry() {
#ifdef QUILL_BUILD_TREE
    const char* given = std::getenv("QUILL_REGISTRY");
    if (given && *given) return;
    std::error_code ec;
    const auto self = std::filesystem::canonical("/proc/self/exe", ec);
    const auto tree = std::filesystem::weakly_canonical(QUILL_BUILD_TREE, ec);
    if (ec || self.parent_path() != tree / "bin") return;
    setenv("QUILL_REGISTRY", (tree / "registry.reg").c_str(), 1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    useBuildTreeRegistry();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = ParseHostOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "quill-host: %s\n\n%s", error.c_str(), HostUsage());
        return 2;
    }
    if (options->version) {
        std::printf("quill-host %s\n", QUILL_VERSION);
        return 0;
    }
    if (options->help) {
        std::fputs(HostUsage(), stdout);
        return 0;
    }
    // A firmware test's own verdict needs no windows and no module.
    if (options->untilExit) return RunUntilExit(*options, stdout, stderr);
    // Headless runs need no display: the offscreen platform renders the
    // windows for screenshots all the same. Its notices of what it lacks
    // (window manager hints, raise, keyboard grab) would bury the run's own
    // output on stderr.
    if (options->headless && !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    if (options->headless) quiet::InstallPlatformNoiseFilter();
    QApplication app(argc, argv);
    app.setApplicationName("quill-host");

    if (!ApplyBoard(*options, &error)) {
        std::fprintf(stderr, "quill-host: %s\n", error.c_str());
        return 2;
    }
    if (options->headless) return RunHeadlessWorkbench(*options);

    return RunWorkbench(*options);
}

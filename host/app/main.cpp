// quill-host: loads QuillComponents, docks its windows and debugs AVR
// programs on simavr; --headless runs a scenario and exits with its verdict.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/app/HeadlessRunner.h"
#include "host/app/HostOptions.h"
#include "host/app/HostSetup.h"
#include "host/app/LabSession.h"
#include "host/app/LastSetup.h"
#include "host/app/MainWindow.h"
#include "host/app/UntilExit.h"
#include "host/gdb/GdbController.h"
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
    if (options->headless) return RunHeadless(*options, stdout, stderr);

    HostEnvironment env = PrepareHost(*options, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "quill-host: %s\n", error.c_str());
        return 2;
    }
    MainWindow window(env.config, env.factory);
    window.show();
    for (const std::string& warning : env.warnings)
        window.hostMessage(QString::fromStdString("Warning: " + warning));
    QString why;
    if (!AttachModule(window, *options, &why)) {
        window.hostMessage("No plug-in: " + why);
        std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
    }
    auto* lastSetup = new LastSetupKeeper(window);
    if (!options->lab.empty()) {
        // The lab decides the set-up; a refusal leaves the window as it was.
        if (!OpenLabFile(window, QString::fromStdString(options->lab), &why)) {
            window.hostMessage(why);
            std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
        }
    } else if (!options->firmware.empty()) {
        if (!window.startDebugging(&why)) {
            window.hostMessage(why);
            std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
        } else {
            for (const std::string& id : options->open) {
                if (!OpenComponent(window, id, &why)) {
                    window.hostMessage(why);
                    std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
                }
            }
            if (!options->vcd.empty() &&
                !window.instruments().startWaveform(QString::fromStdString(options->vcd),
                                                    QString::fromStdString(options->vcdSignals),
                                                    &why)) {
                window.hostMessage("--vcd: " + why);
                std::fprintf(stderr, "quill-host: --vcd: %s\n", qPrintable(why));
            }
            if (options->fast) window.setRunMode(RunPacer::Mode::AsFastAsPossible);
            if (options->gdbPort) {
                auto* gdb = window.findChild<GdbController*>();
                if (!gdb || !gdb->accept(*options->gdbPort, &why)) {
                    std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
                    return 2;
                }
                std::printf("quill-host: GDB server listening on port %u\n",
                            unsigned(window.gdb().server().port()));
                std::fflush(stdout);
            }
            if (options->run) window.run();
        }
    } else {
        lastSetup->reopen();
    }
    return app.exec();
}

#include "host/app/Workbench.h"

#include <QApplication>
#include <cstdio>

#include "host/automation/HeadlessRunner.h"
#include "host/debugger/ui/DebuggerViews.h"
#include "host/gdb/ui/GdbController.h"
#include "host/lab/ui/LabSession.h"
#include "host/recorder/ui/RecorderController.h"
#include "host/session/HostSetup.h"
#include "host/ui/LastSetup.h"
#include "host/workbench/ModuleAttach.h"

std::unique_ptr<MainWindow> BuildWorkbench(SessionConfig config, MachineFactory factory) {
    // Each view is a child of the window and lives as long as it.
    return std::make_unique<MainWindow>(
        std::move(config), std::move(factory), [](HostBench& bench, QMenu* debugMenu) {
            new DebuggerViews(bench, debugMenu);
            new GdbController(bench, debugMenu);
            new RecorderController(bench, debugMenu);
        });
}

int RunHeadlessWorkbench(const HostOptions& options) {
    return RunHeadless(options, stdout, stderr,
                       [](const SessionConfig& config, MachineFactory factory) {
                           return std::unique_ptr<HostBench>(
                               BuildWorkbench(config, std::move(factory)));
                       });
}

int RunWorkbench(const HostOptions& options) {
    std::string error;
    HostEnvironment env = PrepareHost(options, &error);
    if (!error.empty()) {
        std::fprintf(stderr, "quill-host: %s\n", error.c_str());
        return 2;
    }
    const std::unique_ptr<MainWindow> owned = BuildWorkbench(env.config, env.factory);
    MainWindow& window = *owned;
    window.show();
    for (const std::string& warning : env.warnings)
        window.hostMessage(QString::fromStdString("Warning: " + warning));
    QString why;
    if (!AttachModule(window, options, &why)) {
        window.hostMessage("No plug-in: " + why);
        std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
    }
    auto* lastSetup = new LastSetupKeeper(window);
    if (!options.lab.empty()) {
        // The lab decides the set-up; a refusal leaves the window as it was.
        if (!OpenLabFile(window, QString::fromStdString(options.lab), &why)) {
            window.hostMessage(why);
            std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
        }
    } else if (!options.firmware.empty()) {
        if (!window.startDebugging(&why)) {
            window.hostMessage(why);
            std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
        } else {
            for (const std::string& id : options.open) {
                if (!OpenComponent(window, id, &why)) {
                    window.hostMessage(why);
                    std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
                }
            }
            if (!options.vcd.empty() &&
                !window.instruments().startWaveform(QString::fromStdString(options.vcd),
                                                    QString::fromStdString(options.vcdSignals),
                                                    &why)) {
                window.hostMessage("--vcd: " + why);
                std::fprintf(stderr, "quill-host: --vcd: %s\n", qPrintable(why));
            }
            if (options.fast) window.setRunMode(RunPacer::Mode::AsFastAsPossible);
            if (options.gdbPort) {
                auto* gdb = window.findChild<GdbController*>();
                if (!gdb || !gdb->accept(*options.gdbPort, &why)) {
                    std::fprintf(stderr, "quill-host: %s\n", qPrintable(why));
                    return 2;
                }
                std::printf("quill-host: GDB server listening on port %u\n",
                            unsigned(window.gdb().server().port()));
                std::fflush(stdout);
            }
            if (options.run) window.run();
        }
    } else {
        lastSetup->reopen();
    }
    return QApplication::exec();
}

#include "host/workbench/ModuleAttach.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "host/session/HostSetup.h"
#include "host/session/ModuleLoader.h"

bool AttachModule(HostBench& bench, const HostOptions& options, QString* error) {
    const bool explicitModule = !options.module.empty();
    std::string module = explicitModule ? options.module : DefaultModulePath();
    if (explicitModule)
        module = QFileInfo(QString::fromStdString(module)).absoluteFilePath().toStdString();
    // An installed host runs the module installed with it, whatever the
    // user's registry names (a build tree's, another installation's): like a
    // given --module, it is registered whenever the registry names another.
    const bool installedModule =
        !explicitModule && module != QDir(QString::fromStdString(BinaryDirectory()))
                                         .filePath("QuillComponents.so")
                                         .toStdString();
    PluginLoadResult loaded = LoadPlugin(module, explicitModule || installedModule);
    if (!loaded.plugin) {
        *error = QString::fromStdString(loaded.error);
        return false;
    }
    if (loaded.registeredNow) {
        bench.hostMessage(QString("Registered %1.").arg(QString::fromStdString(loaded.modulePath)));
    }
    return SUCCEEDED(bench.attachPlugin(loaded.plugin.get(), error));
}

bool OpenComponent(HostBench& bench, const std::string& id, QString* error) {
    int command = bench.setup().commandIndex(id);
    if (command < 0) {
        *error = QString("unknown component \"%1\" (the plug-in offers %2)")
                     .arg(QString::fromStdString(id))
                     .arg([&] {
                         QStringList ids;
                         for (const auto& c : bench.setup().commands)
                             ids << QString::fromStdString(c);
                         return ids.join(", ");
                     }());
        return false;
    }
    if (!bench.executeCommand(command)) {
        *error = QString("command %1 is not available now (is the program being debugged?)")
                     .arg(QString::fromStdString(id));
        return false;
    }
    return true;
}

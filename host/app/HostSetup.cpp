#include "host/app/HostSetup.h"

#include "host/boards/Board.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "contract/HostProtocol.h"
#include "host/app/ModuleLoader.h"
#include "host/app/PartRegisters.h"
#include "platform/files.h"

namespace {

bool hasParts(const QString& dir) {
    return !dir.isEmpty() && QFileInfo(QDir(dir).filePath(kPartDescriptionFolder)).isDir();
}

QString binaryDir() {
    QString dir = QCoreApplication::applicationDirPath();
    return dir.isEmpty() ? QDir::currentPath() : dir;
}

}  // namespace

std::string FindInstallDirectory(const std::string& requested) {
    if (!requested.empty()) {
        return hasParts(QString::fromStdString(requested))
                   ? QDir(QString::fromStdString(requested)).absolutePath().toStdString()
                   : std::string();
    }
    QString installed = QDir(binaryDir()).filePath("../" QUILL_INSTALL_DATA_DIR);
    if (hasParts(installed)) return QDir(installed).absolutePath().toStdString();
#ifdef QUILL_HOST_SOURCE_DIR
    if (hasParts(QUILL_HOST_SOURCE_DIR)) return QUILL_HOST_SOURCE_DIR;
#endif
    return {};
}

std::string DefaultModulePath() {
    // Beside the binary in a build tree; in an installed tree, in the
    // package's library folder.
    const QString beside = QDir(binaryDir()).filePath("QuillComponents.so");
    const QString installed =
        QDir(binaryDir()).filePath("../" QUILL_INSTALL_MODULE_DIR "/QuillComponents.so");
    if (!QFileInfo::exists(beside) && QFileInfo::exists(installed))
        return QDir::cleanPath(installed).toStdString();
    return beside.toStdString();
}

std::vector<std::string> FirmwareSearchFolders() {
    return {QDir::cleanPath(QDir(binaryDir()).filePath("../firmware")).toStdString(),
            QDir::currentPath().toStdString()};
}

std::vector<quill::boards::Board> InstalledBoards(const std::string& installDirectory) {
    std::vector<std::string> errors;
    if (installDirectory.empty()) return {};
    return quill::boards::loadBoards(installDirectory + "/" + kPartDescriptionFolder + "/boards",
                                     &errors);
}

std::optional<quill::boards::Board> SessionBoard(const SessionConfig& config) {
    if (config.board.empty()) return std::nullopt;
    const std::vector<quill::boards::Board> boards = InstalledBoards(config.installDirectory);
    const quill::boards::Board* board = quill::boards::findBoard(boards, config.board);
    if (!board || QString::fromStdString(board->part).compare(QString::fromStdString(config.part),
                                                             Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return *board;
}

bool ApplyBoard(HostOptions& options, std::string* error) {
    if (options.board.empty()) return true;
    std::vector<std::string> errors;
    const std::string install = FindInstallDirectory(options.installDir);
    const std::vector<quill::boards::Board> boards =
        install.empty() ? std::vector<quill::boards::Board>{}
                        : quill::boards::loadBoards(
                              install + "/" + kPartDescriptionFolder + "/boards", &errors);
    const quill::boards::Board* board = quill::boards::findBoard(boards, options.board);
    if (!board) {
        *error = "unknown board \"" + options.board + "\" (known: " +
                 (boards.empty() ? std::string("none") : quill::boards::boardNames(boards)) + ")";
        for (const std::string& e : errors) *error += "; " + e;
        return false;
    }
    options.board = board->name;
    if (!options.partGiven) options.part = board->part;
    if (!options.frequencyGiven) options.frequencyMHz = board->hertz / 1e6;
    options.partGiven = options.frequencyGiven = true;
    return true;
}

HostEnvironment PrepareHost(const HostOptions& options, std::string* error) {
    HostEnvironment env;
    error->clear();
    env.config.installDirectory = FindInstallDirectory(options.installDir);
    if (env.config.installDirectory.empty()) {
        *error = options.installDir.empty()
                     ? "cannot find the Partdescriptionfiles folder (use --install-dir)"
                     : "no Partdescriptionfiles folder in " + options.installDir;
        return env;
    }
    QDir parts(QString::fromStdString(env.config.installDirectory) + "/" + kPartDescriptionFolder);
    // The part's file, found without regard to case ("atmega16" is the
    // ATmega16); anything named like one but not a regular file is refused
    // for what it is, not as an unknown part.
    // Only parts the simulator runs are offered; a description of another
    // part (one simavr has no core for, or whose registers are not its
    // core's) is refused by name, with the reason.
    const bool simulator = static_cast<bool>(SimulatorFactory());
    std::map<std::string, std::string> refused;
    const std::vector<std::string> simulated =
        SimulatedParts(parts.absolutePath().toStdString(), &refused);
    auto simulates = [&](const QString& part) {
        if (!simulator) return true;  // no simulator: Start says so
        for (const std::string& name : simulated)
            if (part.compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) return true;
        return false;
    };
    QStringList known;
    QString partFile;
    for (const QFileInfo& info : parts.entryInfoList(
             {"*.xml"}, QDir::Files | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
             QDir::Name)) {
        if (info.isFile() && simulates(info.completeBaseName())) known << info.completeBaseName();
        if (info.completeBaseName().compare(QString::fromStdString(options.part),
                                            Qt::CaseInsensitive) == 0 &&
            (partFile.isEmpty() || info.completeBaseName() == QString::fromStdString(options.part)))
            partFile = info.filePath();
    }
    if (options.part.empty() || options.part.find('/') != std::string::npos || partFile.isEmpty()) {
        *error = "unknown part \"" + options.part +
                 "\" (known parts: " + known.join(", ").toStdString() + ")";
        return env;
    }
    if (std::string why = quill::files::notRegularReason(partFile.toStdString()); !why.empty()) {
        *error = "part description \"" + partFile.toStdString() + "\" " + why;
        return env;
    }
    env.config.part = QFileInfo(partFile).completeBaseName().toStdString();
    // A part description the module could not use would leave every
    // register unmapped and every window silent: refuse it now.
    std::string why;
    std::optional<PartRegisters> registers =
        PartRegisters::load(env.config.installDirectory, env.config.part, &why);
    if (!registers) {
        *error = why;
        return env;
    }
    env.warnings = registers->problems();
    if (!simulates(QString::fromStdString(env.config.part))) {
        const auto why = refused.find(env.config.part);
        *error = "the simulator cannot run the " + env.config.part + " (" +
                 (why != refused.end() ? why->second : std::string("no description")) +
                 "); it runs " + known.join(", ").toStdString();
        return env;
    }
    env.config.runnableParts = simulated;
    if (!options.firmware.empty()) {
        if (std::string why = quill::files::notRegularReason(options.firmware); !why.empty()) {
            *error = "cannot read firmware \"" + options.firmware + "\": " + why;
            return env;
        }
        env.config.firmware =
            QFileInfo(QString::fromStdString(options.firmware)).absoluteFilePath().toStdString();
    }
    env.config.frequencyMHz = options.frequencyMHz;
    env.config.board = options.board;
    env.factory = SimulatorFactory();
    return env;
}

bool AttachModule(HostBench& bench, const HostOptions& options, QString* error) {
    const bool explicitModule = !options.module.empty();
    std::string module = explicitModule ? options.module : DefaultModulePath();
    if (explicitModule)
        module = QFileInfo(QString::fromStdString(module)).absoluteFilePath().toStdString();
    // An installed host runs the module installed with it, whatever the
    // user's registry names (a build tree's, another installation's): like a
    // given --module, it is registered whenever the registry names another.
    const bool installedModule =
        !explicitModule && module != QDir(binaryDir()).filePath("QuillComponents.so").toStdString();
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

#include "host/session/HostSetup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "contract/HostProtocol.h"
#include "host/boards/Board.h"
#include "host/session/PartRegisters.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

bool hasParts(const fs::path& dir) {
    std::error_code ec;
    return !dir.empty() && fs::is_directory(dir / kPartDescriptionFolder, ec);
}

// An absolute path without "." and ".." steps, as the user would write it.
std::string absoluteClean(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

std::string BinaryDirectory() {
    std::error_code ec;
    const fs::path self = fs::canonical("/proc/self/exe", ec);
    if (!ec) return self.parent_path().string();
    return fs::current_path(ec).string();
}

std::string FindInstallDirectory(const std::string& requested) {
    if (!requested.empty()) return hasParts(requested) ? absoluteClean(requested) : std::string();
    const fs::path installed = fs::path(BinaryDirectory()) / ".." / QUILL_INSTALL_DATA_DIR;
    if (hasParts(installed)) return absoluteClean(installed);
#ifdef QUILL_HOST_SOURCE_DIR
    if (hasParts(QUILL_HOST_SOURCE_DIR)) return QUILL_HOST_SOURCE_DIR;
#endif
    return {};
}

std::string DefaultModulePath() {
    // Beside the binary in a build tree; in an installed tree, in the
    // package's library folder.
    const fs::path beside = fs::path(BinaryDirectory()) / "QuillComponents.so";
    const fs::path installed =
        fs::path(BinaryDirectory()) / ".." / QUILL_INSTALL_MODULE_DIR / "QuillComponents.so";
    std::error_code ec;
    if (!fs::exists(beside, ec) && fs::exists(installed, ec)) return absoluteClean(installed);
    return beside.string();
}

std::vector<std::string> FirmwareSearchFolders() {
    std::error_code ec;
    return {absoluteClean(fs::path(BinaryDirectory()) / ".." / "firmware"),
            fs::current_path(ec).string()};
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
    if (!board || !sameIgnoringCase(board->part, config.part)) return std::nullopt;
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
    const fs::path parts = fs::path(env.config.installDirectory) / kPartDescriptionFolder;
    // The part's file, found without regard to case ("atmega16" is the
    // ATmega16); anything named like one but not a regular file is refused
    // for what it is, not as an unknown part.
    // Only parts the simulator runs are offered; a description of another
    // part (one simavr has no core for, or whose registers are not its
    // core's) is refused by name, with the reason.
    const bool simulator = static_cast<bool>(SimulatorFactory());
    std::map<std::string, std::string> refused;
    const std::vector<std::string> simulated = SimulatedParts(absoluteClean(parts), &refused);
    auto simulates = [&](const std::string& part) {
        if (!simulator) return true;  // no simulator: Start says so
        for (const std::string& name : simulated)
            if (sameIgnoringCase(part, name)) return true;
        return false;
    };
    // Every entry named *.xml (in any case), in the order of their names.
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(parts, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string extension = it->path().extension().string();
        if (sameIgnoringCase(extension, ".xml")) entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> known;
    std::string partFile;
    for (const fs::path& entry : entries) {
        const std::string base = entry.stem().string();
        std::error_code fileEc;
        if (fs::is_regular_file(entry, fileEc) && simulates(base)) known.push_back(base);
        if (sameIgnoringCase(base, options.part) && (partFile.empty() || base == options.part))
            partFile = entry.string();
    }
    if (options.part.empty() || options.part.find('/') != std::string::npos || partFile.empty()) {
        *error = "unknown part \"" + options.part + "\" (known parts: " + joined(known) + ")";
        return env;
    }
    if (std::string why = quill::files::notRegularReason(partFile); !why.empty()) {
        *error = "part description \"" + partFile + "\" " + why;
        return env;
    }
    env.config.part = fs::path(partFile).stem().string();
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
    if (!simulates(env.config.part)) {
        const auto why = refused.find(env.config.part);
        *error = "the simulator cannot run the " + env.config.part + " (" +
                 (why != refused.end() ? why->second : std::string("no description")) +
                 "); it runs " + joined(known);
        return env;
    }
    env.config.runnableParts = simulated;
    if (!options.firmware.empty()) {
        if (std::string why = quill::files::notRegularReason(options.firmware); !why.empty()) {
            *error = "cannot read firmware \"" + options.firmware + "\": " + why;
            return env;
        }
        env.config.firmware = absoluteClean(options.firmware);
    }
    env.config.frequencyMHz = options.frequencyMHz;
    env.config.board = options.board;
    env.factory = SimulatorFactory();
    return env;
}

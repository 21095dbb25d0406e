// Start-up steps shared by the window mode, the headless mode and the
// benchmark: where the part descriptions are, which parts and boards there
// are and which simulator builds the machine. Toolkit-free.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/session/SessionConfig.h"
#include "host/session/HostOptions.h"
#include "host/boards/Board.h"

struct HostEnvironment {
    SessionConfig config;
    MachineFactory factory;
    // Things worth telling that do not stop the start (entries of the part
    // description that were left out).
    std::vector<std::string> warnings;
};

// The folder holding Partdescriptionfiles/: --install-dir, else an
// installed share/quill-host beside the binary, else the source tree's host/.
std::string FindInstallDirectory(const std::string& requested);
// The module beside the host binary (bin/QuillComponents.so).
std::string DefaultModulePath();
// Where a scenario's or a lab's program named by a relative path is looked
// for after its own folder: the build's firmware folder (bin/../firmware),
// then the current folder.
std::vector<std::string> FirmwareSearchFolders();

// Checks the options that name files and fills the session config. Sets
// *error for an unknown part, an unusable part description, a part the
// simulator cannot run, unreadable firmware and the like. The part name may
// differ in case from its file.
// --board: the board's part and clock for those --part and --frequency
// leave open (and they count as given, over a scenario's or a lab's). False
// with *error for a board no table names.
bool ApplyBoard(HostOptions& options, std::string* error);

// The boards the install directory's tables describe
// (Partdescriptionfiles/boards); none without tables.
std::vector<quill::boards::Board> InstalledBoards(const std::string& installDirectory);
// The board a session runs as: config.board's table, when the session's
// part is that board's part; nothing otherwise (no board chosen, or a part
// chosen apart from it).
std::optional<quill::boards::Board> SessionBoard(const SessionConfig& config);

// The folder holding this process's binary.
std::string BinaryDirectory();

HostEnvironment PrepareHost(const HostOptions& options, std::string* error);

// The simavr machine factory; empty when the host was built without it.
MachineFactory SimulatorFactory();
// The described parts in `partFolder` that factory can run, by name, and
// (when asked) why it cannot run each of the others; empty when the host
// was built without it.
std::vector<std::string> SimulatedParts(const std::string& partFolder,
                                        std::map<std::string, std::string>* refused = nullptr);

// The numbers and names the host and the plug-in agree on outside the
// interface declarations: debugger events, command states, message kinds,
// memory kinds and the names of the objects the host hands out. Host,
// module, scenario layer and tests take them from here; nothing else spells
// them out. Toolkit-free and header-only.
#pragma once

#include <cstdint>

// ---- Debugger events, IGuiPlugin::HandleEvent(eventnum)
enum HostEvent : int32_t {
    kEventHalted = 3,            // the target executed and stopped: refresh
    kEventDetached6 = 6,         // the target is gone (the host's reasons 6 and 8)
    kEventReattach = 7,          // the target changed: attach again
    kEventDetached8 = 8,         //
    kEventPartReset = 18,        // the host reset the part: components start over
    kEventRunStarted = 27,       // free running begins; autostep stops
    kEventSessionStarted = 101,  // debugging began; the target is reachable
    kEventSessionPaused = 102,   // the target is out of reach for now
    kEventTargetReady = 103,     // the part is selected and the program loaded
    kEventSessionEnded = 104,    // debugging ended
};

// ---- Command states, IGuiWorks::SetCommandState(command, state)
enum CommandState : int32_t {
    kCommandDisabled = 0,
    kCommandEnabled = 4,  // a state is usable when this bit is set
};

// ---- Host output, IHostServices::CreateCategory / WriteMessage
inline constexpr const char* kOutputSource = "QuillComponents";  // category and source
inline constexpr int32_t kCategoryKind = 1;                      // CreateCategory(name, kind)
inline constexpr int32_t kMessageKind = 3;                       // WriteMessage(kind, ...)
// The module's own trace (register mapping, timing computations): the same
// source, a kind of its own, so a host can keep it out of sight.
inline constexpr int32_t kTraceMessageKind = 4;

// ---- Target memory, ITargetAccess::ReadMemory / WriteMemory(kind, ...)
enum MemoryKind : int32_t {
    kMemoryData = 2,       // data space, addressed by data address
    kMemoryIo = 8,         // I/O registers 0x00-0x3F
    kMemoryRegisters = 16  // general registers R0-R31
};
inline constexpr int kIoRegisterCount = 64;
inline constexpr int kGeneralRegisterCount = 32;
// The window of data memory (internal SRAM) the plug-in reads for the
// memory view when the part description gives no MEMORY/INT_SRAM.
inline constexpr uint16_t kDataWindowStart = 0x60;
inline constexpr int kDataWindowSize = 1024;
// Register subjects of the module: one per data address from 0x20 up to the
// start of SRAM (subject i at data address 0x20 + i). The I/O space is the
// first 64; a part with extended I/O reads the rest as kMemoryData from
// kExtendedIoStart. The largest supported part (SRAM at 0x200) has 480.
inline constexpr uint16_t kRegisterBankBase = 0x20;
inline constexpr uint16_t kExtendedIoStart = 0x60;
inline constexpr int kMaxRegisterBank = 0x200 - 0x20;

// ---- Named objects and texts
inline constexpr const char* kTargetObjectName = "AVRTARGET";     // IHostServices::GetNamedObject
inline constexpr const char* kSimulatorTargetName = "Simulator";  // TARGET/ADMIN/TARGET_NAME
// The folder of the host's install directory that holds <part>.xml.
inline constexpr const char* kPartDescriptionFolder = "Partdescriptionfiles";

// ---- Docked windows, IGuiWorks::CreateDockedWindow(name, a, b, c, d, ...)
// The four numbers are the host's; the plug-in passes them unchanged.
inline constexpr int32_t kDockArgs[4] = {0, 0, 1, 216};
// The size type of the host's size notification to a docked dialog.
inline constexpr int kHostSizeType = 9;

// ---- Repaints
// One frame of a 60 Hz screen: the plug-in's components gather their
// repaints for up to this long (wall clock), and the host's pictures wait
// for the frame to end.
inline constexpr int kDisplayFrameMs = 16;

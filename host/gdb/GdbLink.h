// The GDB server on the host's debug session: the client reads and writes
// the simulated part's registers and memory, its breakpoints join the
// session's, and the program runs, steps and halts as it commands, with the
// same events to the plug-in as the host's own Run, Step and Break, so the
// components follow every stop. Toolkit-free.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/debugger/DebugSession.h"
#include "host/gdb/GdbServer.h"

namespace quill::gdb {

class GdbLink final : public GdbTarget {
public:
    explicit GdbLink(debugger::DebugSession& session) : session_(session), server_(*this) {}

    bool listen(uint16_t port, std::string* error) { return server_.listen(port, error); }
    GdbServer& server() { return server_; }

    // Serves clients, running the program as they command, until one has
    // attached and detached (or gone) again since the call; false when
    // keepGoing (asked often, also while the program runs) said stop first.
    bool serveUntilDetached(const std::function<bool()>& keepGoing);
    // One round for a host with a loop of its own: answers the client,
    // waiting at most waitMs, and carries out a step it asked for. A
    // resumed client is the caller's to run (resumed()), reporting the
    // halt with halted().
    void service(int waitMs);
    bool resumed() const { return server_.resumed(); }
    // The program halted while the client had it run: at a breakpoint, by
    // a Break (or Ctrl-C), or for good.
    void halted();

    // GdbTarget
    bool readMemory(uint32_t address, uint8_t* out, uint32_t count) override;
    bool writeMemory(uint32_t address, const uint8_t* data, uint32_t count) override;
    uint32_t programCounter() override;
    void setProgramCounter(uint32_t pc) override;
    void addBreakpoint(uint32_t pc) override;
    void removeBreakpoint(uint32_t pc) override;

private:
    // The client went: its breakpoints go with it.
    void forgetClient();
    // Runs the resumed program until it halts, the client interrupts or
    // goes, or keepGoing says stop (false then).
    bool runResumed(const std::function<bool()>& keepGoing);

    debugger::DebugSession& session_;
    GdbServer server_;
    std::vector<uint32_t> clientBreakpoints_;
    int detachesSeen_ = 0;
};

}  // namespace quill::gdb

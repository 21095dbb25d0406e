#include "host/gdb/GdbLink.h"

#include <algorithm>

#include "contract/HostProtocol.h"

namespace quill::gdb {

namespace {

constexpr uint32_t kDataSpace = 0x800000;
constexpr uint32_t kEepromSpace = 0x810000;
constexpr int kSigInt = 2, kSigTrap = 5, kSigSegv = 11;
// A resumed program runs in stretches of this many cycles between looks
// at the client (it is also asked every 1024 instructions).
constexpr uint64_t kStretch = 1u << 20;

}  // namespace

bool GdbLink::readMemory(uint32_t address, uint8_t* out, uint32_t count) {
    Machine* machine = session_.debugger().machine();
    if (!machine || !session_.debugger().debugging() || address >= kEepromSpace) return false;
    if (address >= kDataSpace) return machine->readMemory(kMemoryData, address - kDataSpace, out, count);
    return machine->readFlash(address, out, count);
}

bool GdbLink::writeMemory(uint32_t address, const uint8_t* data, uint32_t count) {
    Machine* machine = session_.debugger().machine();
    // The program in flash stays as loaded.
    if (!machine || !session_.debugger().debugging() || address < kDataSpace ||
        address >= kEepromSpace)
        return false;
    if (!machine->writeMemory(kMemoryData, address - kDataSpace, data, count)) return false;
    session_.debugger().memoryChanged();  // the components show the new values
    return true;
}

uint32_t GdbLink::programCounter() {
    Machine* machine = session_.debugger().machine();
    return machine ? machine->programCounter() : 0;
}

void GdbLink::setProgramCounter(uint32_t pc) {
    if (Machine* machine = session_.debugger().machine()) machine->setProgramCounter(pc);
}

void GdbLink::addBreakpoint(uint32_t pc) {
    clientBreakpoints_.push_back(pc);
    session_.breakpoints().addresses().add(pc);
}

void GdbLink::removeBreakpoint(uint32_t pc) {
    auto it = std::find(clientBreakpoints_.begin(), clientBreakpoints_.end(), pc);
    if (it == clientBreakpoints_.end()) return;
    clientBreakpoints_.erase(it);
    session_.breakpoints().addresses().remove(pc);
}

void GdbLink::forgetClient() {
    if (server_.detachCount() == detachesSeen_) return;
    detachesSeen_ = server_.detachCount();
    for (uint32_t pc : clientBreakpoints_) session_.breakpoints().addresses().remove(pc);
    clientBreakpoints_.clear();
}

void GdbLink::service(int waitMs) {
    server_.poll(waitMs);
    forgetClient();
    if (!server_.stepRequested()) return;
    Debugger& debugger = session_.debugger();
    if (debugger.stepInto()) {
        server_.reportStop(kSigTrap);
    } else {
        halted();  // the program cannot go on: it exited or crashed
    }
}

void GdbLink::halted() {
    Debugger& debugger = session_.debugger();
    if (const std::optional<int> code = debugger.exitCode()) {
        server_.reportExit(*code);  // the client hears "exited with code N"
    } else if (!debugger.lastFault().empty()) {
        server_.reportStop(kSigSegv);
    } else {
        server_.reportStop(debugger.atBreakpoint() ? kSigTrap : kSigInt);
    }
}

bool GdbLink::runResumed(const std::function<bool()>& keepGoing) {
    Debugger& debugger = session_.debugger();
    bool go = true;
    const auto look = [&] {
        server_.poll(0);
        go = keepGoing();
        return go && server_.resumed() && !server_.interruptRequested();
    };
    while (server_.resumed()) {
        const Debugger::RunEnd end = debugger.runToBreakpoint(kStretch, look);
        if (end == Debugger::RunEnd::Reached) {
            if (!look()) break;
            continue;
        }
        if (end == Debugger::RunEnd::Cancelled && !go) return false;
        break;
    }
    forgetClient();
    if (server_.resumed()) halted();
    return true;
}

bool GdbLink::serveUntilDetached(const std::function<bool()>& keepGoing) {
    const int start = server_.detachCount();
    while (server_.detachCount() == start) {
        if (!keepGoing()) return false;
        service(20);
        if (server_.resumed() && !runResumed(keepGoing)) return false;
    }
    forgetClient();
    return true;
}

}  // namespace quill::gdb

#include "host/debugger/DebugSession.h"

#include <cstdio>
#include <stdexcept>

#include "contract/HostProtocol.h"

namespace quill::debugger {

namespace {

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string where(const std::optional<SourceLocation>& location) {
    if (!location) return "an address without line information";
    const std::size_t slash = location->file.rfind('/');
    return (slash == std::string::npos ? location->file : location->file.substr(slash + 1)) +
           ":" + std::to_string(location->line);
}

}  // namespace

std::string DebugSession::describe(uint32_t pc) const {
    if (program_) {
        if (std::optional<SourceLocation> line = program_->locate(pc)) return where(line);
        // Without a line, the function from the symbol table.
        if (const Symbol* f = program_->functionAt(pc))
            return f->name + (pc == f->address ? "" : "+" + hex(pc - f->address, 1));
    }
    return where(std::nullopt);
}

std::string DebugSession::here() const {
    const Machine* machine = debugger_.machine();
    return machine && debugger_.debugging() ? describe(machine->programCounter())
                                            : where(std::nullopt);
}

DebugSession::DebugSession(Debugger& debugger) : debugger_(debugger) {
    debugger_.setBreakpoints(&breakpoints_.addresses());
}

DebugSession::~DebugSession() { debugger_.setBreakpoints(nullptr); }

void DebugSession::load(const std::string& firmwarePath) {
    breakpoints_ = Breakpoints(nullptr);
    program_.reset();
    problem_.clear();
    try {
        program_ = std::make_unique<ProgramInfo>(ProgramInfo::load(firmwarePath));
        problem_ = program_->missingLineInfo();
    } catch (const std::runtime_error& e) {
        problem_ = e.what();
    }
    breakpoints_ = Breakpoints(program_.get());
}

std::optional<SourceLocation> DebugSession::currentLine() const {
    const Machine* machine = debugger_.machine();
    if (!program_ || !machine || !debugger_.debugging()) return std::nullopt;
    return program_->locate(machine->programCounter());
}

DebugSession::Outcome DebugSession::addBreakpoint(const std::string& location) {
    std::string error;
    const Breakpoint* b = breakpoints_.add(location, &error);
    if (!b) return {Outcome::Error, program_ ? error : "no debug information: " + problem_};
    std::string addresses;
    for (uint32_t pc : b->addresses) addresses += (addresses.empty() ? "" : ", ") + hex(pc, 4);
    const std::string at = b->source.line > 0 ? where(b->source) : describe(b->addresses.front());
    return {Outcome::Ok, "breakpoint at " + at + " (" + addresses + ")"};
}

DebugSession::Outcome DebugSession::clearBreakpoints() {
    const std::size_t count = breakpoints_.list().size();
    breakpoints_.clear();
    return {Outcome::Ok, "removed " + std::to_string(count) + " breakpoint(s)"};
}

DebugSession::Outcome DebugSession::runUntilBreak(uint64_t cycles,
                                                  const std::function<bool()>& keepGoing) {
    if (!debugger_.debugging()) return {Outcome::Error, "the program is not being debugged"};
    if (breakpoints_.list().empty()) return {Outcome::Error, "no breakpoint is set"};
    const uint64_t start = debugger_.machine()->cycles();
    switch (debugger_.runToBreakpoint(cycles, keepGoing)) {
        case Debugger::RunEnd::Breakpoint:
            return {Outcome::Ok, "halted at " + here() + " (PC " +
                                     hex(debugger_.machine()->programCounter(), 4) + ") after " +
                                     std::to_string(debugger_.machine()->cycles() - start) +
                                     " cycles"};
        case Debugger::RunEnd::Reached:
            return {Outcome::Failed,
                    "no breakpoint stopped the program within " + std::to_string(cycles) +
                        " cycles (now at " + here() + ")"};
        case Debugger::RunEnd::Stopped:
            return {Outcome::Failed, "the program stopped: " + debugger_.lastFault()};
        case Debugger::RunEnd::Cancelled:
            break;
    }
    return {Outcome::Failed, "stopped waiting for a breakpoint"};
}

DebugSession::Outcome DebugSession::expectSource(const std::string& file, int line) const {
    if (!program_ || !program_->hasLineInfo())
        return {Outcome::Error, "no source line to check: " +
                                    (problem_.empty() ? std::string("no line information") : problem_)};
    const std::string full = program_->findFile(file);
    if (full.empty())
        return {Outcome::Error, "the program has no source file \"" + file +
                                    "\" (or more than one of that name)"};
    const std::optional<SourceLocation> now = currentLine();
    if (now && now->file == full && now->line == line)
        return {Outcome::Ok, "halted at " + where(now)};
    return {Outcome::Failed, "halted at " + where(now) + ", expected " + file + ":" +
                                 std::to_string(line)};
}

const Symbol* DebugSession::scalar(const std::string& name, std::string* error) const {
    if (!program_) {
        *error = "the program has no symbols: " + problem_;
        return nullptr;
    }
    const Symbol* s = program_->variable(name);
    if (!s) {
        *error = "the program has no global or static variable \"" + name + "\"";
    } else if (s->size != 1 && s->size != 2 && s->size != 4) {
        *error = "variable \"" + name + "\" has " + std::to_string(s->size) +
                 " bytes; only scalars of 1, 2 or 4 bytes are read";
        return nullptr;
    }
    return s;
}

std::optional<uint32_t> DebugSession::readScalar(const Symbol& variable) const {
    Machine* machine = debugger_.machine();
    uint8_t bytes[4] = {};
    if (!machine || variable.size > 4 ||
        !machine->readMemory(kMemoryData, variable.address, bytes, variable.size))
        return std::nullopt;
    uint32_t value = 0;
    for (uint32_t i = variable.size; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

bool DebugSession::writeScalar(const Symbol& variable, uint32_t value) {
    Machine* machine = debugger_.machine();
    uint8_t bytes[4];
    for (uint32_t i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    if (!machine || variable.size > 4 ||
        !machine->writeMemory(kMemoryData, variable.address, bytes, variable.size))
        return false;
    debugger_.memoryChanged();
    return true;
}

uint16_t DebugSession::stackPointer() const {
    uint8_t sp[2] = {};
    if (Machine* machine = debugger_.machine()) machine->readMemory(kMemoryIo, 0x3D, sp, 2);
    return static_cast<uint16_t>(sp[0] | sp[1] << 8);
}

DebugSession::Outcome DebugSession::stepped(bool ran, const char* what) {
    if (!ran)
        return {Outcome::Failed, debugger_.lastFault().empty()
                                     ? std::string("the program is not halted")
                                     : "the program stopped: " + debugger_.lastFault()};
    return {Outcome::Ok, std::string(what) + " to " + here() + " (PC " +
                             hex(debugger_.machine()->programCounter(), 4) + ")"};
}

DebugSession::Outcome DebugSession::stepOver() {
    // A line that loops on itself ends the step after this many.
    constexpr uint64_t kMaxInstructions = 10000000;
    const std::optional<SourceLocation> start = currentLine();
    if (!start) {
        // In the start-up code (from reset: the vectors and the C library's
        // __init, __do_copy_data, ... before main): on to main's first
        // line, as a debugger does, instead of one instruction of code
        // without lines. Elsewhere (a function built without -g) main's
        // first line may never come again: one instruction.
        const Symbol* main = program_ ? program_->function("main") : nullptr;
        const uint32_t pc = debugger_.machine() ? debugger_.machine()->programCounter() : 0;
        const Symbol* in = program_ ? program_->functionAt(pc) : nullptr;
        const bool startUp = !in || in->name.rfind("__", 0) == 0;
        if (main && startUp && pc < main->address) {
            const uint32_t target = program_->functionBreakAddress(*main);
            if (program_->locate(target)) {
                const bool ran = debugger_.stepWhile(
                    [&] { return debugger_.machine()->programCounter() != target; }, kMaxInstructions);
                return stepped(ran, "ran the start-up code");
            }
        }
        return stepped(debugger_.stepInto(), "stepped one instruction");
    }
    const uint16_t sp = stackPointer();
    const bool ran = debugger_.stepWhile(
        [&] {
            if (stackPointer() < sp) return true;  // inside a call or an interrupt
            const std::optional<SourceLocation> now = currentLine();
            return !now || *now == *start;
        },
        kMaxInstructions);
    return stepped(ran, "stepped over");
}

DebugSession::Outcome DebugSession::stepOut() {
    constexpr uint64_t kMaxInstructions = 100000000;
    const uint16_t sp = stackPointer();
    // The return pops the address: the stack pointer rises above the frame's.
    const bool ran = debugger_.stepWhile([&] { return stackPointer() <= sp; }, kMaxInstructions);
    return stepped(ran, "stepped out");
}

namespace {

// The value in the variable's size: a negative one as its two's complement.
uint32_t truncated(int64_t value, uint32_t size) {
    const uint64_t mask = size >= 4 ? 0xFFFFFFFFull : (1ull << (8 * size)) - 1;
    return static_cast<uint32_t>(static_cast<uint64_t>(value) & mask);
}

bool fits(int64_t value, uint32_t size) {
    const int64_t bits = 8 * static_cast<int64_t>(size);
    return value < (int64_t{1} << bits) && value >= -(int64_t{1} << (bits - 1));
}

}  // namespace

DebugSession::Outcome DebugSession::expectVariable(const std::string& name, int64_t value) const {
    std::string error;
    const Symbol* s = scalar(name, &error);
    if (!s) return {Outcome::Error, error};
    const std::optional<uint32_t> now = readScalar(*s);
    if (!now) return {Outcome::Error, "the program is not being debugged"};
    const std::string text = name + " is " + std::to_string(*now) + " (" +
                             hex(*now, static_cast<int>(2 * s->size)) + ")";
    if (fits(value, s->size) && *now == truncated(value, s->size)) return {Outcome::Ok, text};
    return {Outcome::Failed, text + ", expected " + std::to_string(value)};
}

DebugSession::Outcome DebugSession::setVariable(const std::string& name, int64_t value) {
    std::string error;
    const Symbol* s = scalar(name, &error);
    if (!s) return {Outcome::Error, error};
    if (!fits(value, s->size))
        return {Outcome::Error, std::to_string(value) + " does not fit the " +
                                    std::to_string(s->size) + " byte(s) of " + name};
    if (debugger_.state() != Debugger::State::Halted)
        return {Outcome::Error, "the program is not halted"};
    if (!writeScalar(*s, truncated(value, s->size)))
        return {Outcome::Error, "could not write " + name};
    return {Outcome::Ok, name + " (" + hex(s->address, 4) + ") set to " + std::to_string(value)};
}

}  // namespace quill::debugger

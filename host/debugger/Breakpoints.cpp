#include "host/debugger/Breakpoints.h"

#include <algorithm>
#include <charconv>

namespace quill::debugger {

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

bool Breakpoints::lineBreakpoint(const std::string& file, int line, Breakpoint* out,
                                 std::string* error) const {
    const int code = program_->nextLineWithCode(file, line);
    if (code == 0) {
        *error = "no code at or after line " + std::to_string(line) + " of " + quoted(file);
        return false;
    }
    out->source = {file, code};
    out->addresses = program_->lineAddresses(file, code);
    if (out->addresses.empty()) {
        *error = "line " + std::to_string(code) + " of " + quoted(file) +
                 " has no statement to stop at";
        return false;
    }
    return true;
}

const Breakpoint* Breakpoints::add(std::string_view where, std::string* error) {
    if (!program_) {
        *error = "the program has no symbols (an ELF file has them)";
        return nullptr;
    }
    Breakpoint breakpoint;
    const std::size_t colon = where.rfind(':');
    if (colon != std::string_view::npos) {
        if (!program_->hasLineInfo()) {
            *error = program_->missingLineInfo();
            return nullptr;
        }
        const std::string_view name = where.substr(0, colon);
        const std::string_view number = where.substr(colon + 1);
        int line = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), line);
        if (ec != std::errc() || end != number.data() + number.size() || line < 1) {
            *error = "bad line number " + quoted(number) + " in " + quoted(where);
            return nullptr;
        }
        const std::string file = program_->findFile(name);
        if (file.empty()) {
            *error = "the program has no source file " + quoted(name) +
                     " (or more than one of that name)";
            return nullptr;
        }
        if (!lineBreakpoint(file, line, &breakpoint, error)) return nullptr;
        return insert(std::move(breakpoint));
    }
    const Symbol* function = program_->function(where);
    if (!function) {
        *error = "the program has no function " + quoted(where);
        return nullptr;
    }
    const uint32_t address = program_->functionBreakAddress(*function);
    breakpoint.function = function->name;
    breakpoint.addresses = {address};
    if (auto source = program_->locate(address)) breakpoint.source = *source;
    return insert(std::move(breakpoint));
}

const Breakpoint* Breakpoints::insert(Breakpoint breakpoint) {
    // The same place twice is one breakpoint.
    for (const Breakpoint& b : list_)
        if (b.addresses == breakpoint.addresses && b.function == breakpoint.function) return &b;
    for (uint32_t pc : breakpoint.addresses) set_.add(pc);
    list_.push_back(std::move(breakpoint));
    return &list_.back();
}

bool Breakpoints::hasLine(const std::string& file, int line) const {
    return std::any_of(list_.begin(), list_.end(), [&](const Breakpoint& b) {
        return b.source.line == line && b.source.file == file;
    });
}

bool Breakpoints::toggleLine(const std::string& file, int line, std::string* error) {
    if (!program_ || !program_->hasLineInfo()) {
        *error = program_ ? program_->missingLineInfo() : "the program has no line information";
        return false;
    }
    Breakpoint breakpoint;
    if (!lineBreakpoint(file, line, &breakpoint, error)) return false;
    for (auto it = list_.begin(); it != list_.end(); ++it) {
        if (it->source == breakpoint.source) {
            for (uint32_t pc : it->addresses) set_.remove(pc);
            list_.erase(it);
            return true;
        }
    }
    insert(std::move(breakpoint));
    return true;
}

void Breakpoints::clear() {
    // Addresses others added to the set (a GDB client's) stay.
    for (const Breakpoint& b : list_)
        for (uint32_t pc : b.addresses) set_.remove(pc);
    list_.clear();
}

}  // namespace quill::debugger

#include "host/session/OutputLog.h"

void OutputLog::add(std::string category, std::string text) {
    lines_.push_back({std::move(category), std::move(text)});
    if (lines_.size() > capacity_) {
        lines_.pop_front();
        ++dropped_;
    }
}

void OutputLog::clear() {
    dropped_ += static_cast<long long>(lines_.size());
    lines_.clear();
}

std::string OutputLog::formatted(const Line& line) {
    return "[" + line.category + "] " + line.text;
}

const quill::files::FileKind OutputLog::kFileKind{
    "the output file", "saved output (its first line is not \"[Category] text\")",
    [](std::string_view head) {
        const std::string_view line = head.substr(0, head.find('\n'));
        const size_t close = line.find("] ");
        return line.size() > 3 && line[0] == '[' && close != std::string_view::npos && close > 1 &&
               line.substr(1, close - 1).find('[') == std::string_view::npos;
    }};

void OutputLog::save(std::ostream& out) const {
    for (const Line& line : lines_) out << formatted(line) << '\n';
}

#include "host/app/OutputLog.h"

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

void OutputLog::save(std::ostream& out) const {
    for (const Line& line : lines_) out << formatted(line) << '\n';
}

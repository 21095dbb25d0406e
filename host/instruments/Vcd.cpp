#include "host/instruments/Vcd.h"

#include <cmath>

namespace quill::instruments {

bool VcdText::isVcd(std::string_view head) {
    const size_t start = head.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    head.remove_prefix(start);
    const size_t end = head.find_first_of(" \t\r\n");
    if (end == std::string_view::npos) return false;
    const std::string_view word = head.substr(0, end);
    for (std::string_view keyword : {"$date", "$version", "$comment", "$timescale", "$scope", "$var"})
        if (word == keyword) return true;
    return false;
}

const quill::files::FileKind VcdText::kFileKind{
    "waveform file", "a waveform (its first line is not a VCD header)", &VcdText::isVcd};

VcdText::VcdText(const std::vector<std::string>& names, const std::vector<uint8_t>& initial,
                 uint32_t clockHz, uint64_t startCycle)
    : clockHz_(clockHz ? clockHz : 1), start_(startCycle) {
    // Units from 1 s down to 1 fs, in femtoseconds.
    static const char* const kUnits[] = {"1s",   "100ms", "10ms", "1ms",  "100us", "10us",
                                         "1us",  "100ns", "10ns", "1ns",  "100ps", "10ps",
                                         "1ps",  "100fs", "10fs", "1fs"};
    constexpr uint64_t kSecondInFs = 1000000000000000ull;
    uint64_t unitFs = kSecondInFs;
    timescale_ = "1ps";
    for (const char* unit : kUnits) {
        const uint64_t perTick = static_cast<uint64_t>(clockHz_) * unitFs;
        if (perTick <= kSecondInFs && kSecondInFs % perTick == 0) {
            timescale_ = unit;
            ticksPerCycle_ = kSecondInFs / perTick;
            break;
        }
        unitFs /= 10;
    }
    header_ = "$comment recorded by quill-host, clock " + std::to_string(clockHz_) +
              " Hz $end\n$timescale " + timescale_ + " $end\n$scope module avr $end\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        ids_.push_back(identifier(i));
        header_ += "$var wire 1 " + ids_[i] + " " + names[i] + " $end\n";
    }
    header_ += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        header_ += std::string(i < initial.size() && initial[i] ? "1" : "0") + ids_[i] + "\n";
    header_ += "$end\n";
    lastTime_ = 0;
}

std::string VcdText::identifier(std::size_t index) {
    // Printable characters '!' .. '~', more than one when needed.
    std::string id;
    do {
        id += static_cast<char>('!' + index % 94);
        index /= 94;
    } while (index);
    return id;
}

uint64_t VcdText::timeOf(uint64_t cycle) const {
    const uint64_t since = cycle > start_ ? cycle - start_ : 0;
    if (ticksPerCycle_) return since * ticksPerCycle_;
    return static_cast<uint64_t>(std::llround(static_cast<long double>(since) * 1e12L / clockHz_));
}

void VcdText::change(std::size_t index, uint64_t cycle, uint8_t level, std::string* out) {
    if (index >= ids_.size()) return;
    const uint64_t time = timeOf(cycle);
    if (time != lastTime_) {
        *out += '#';
        *out += std::to_string(time);
        *out += '\n';
        lastTime_ = time;
    }
    *out += level ? '1' : '0';
    *out += ids_[index];
    *out += '\n';
}

}  // namespace quill::instruments

// Value change dump text (IEEE 1364 VCD, as GTKWave reads it) for signals
// recorded by clock cycle. The timescale comes from the clock: the largest
// power-of-ten unit in which a cycle is a whole number of ticks (1 us at
// 1 MHz, 100 ps at 16 MHz), else picoseconds rounded. Toolkit-free; the
// caller writes the text to its file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace quill::instruments {

class VcdText {
public:
    // `names` are the signals' names (one-bit wires); `initial` their
    // levels at `startCycle`, which becomes time 0.
    VcdText(const std::vector<std::string>& names, const std::vector<uint8_t>& initial,
            uint32_t clockHz, uint64_t startCycle);

    // A file that starts with a VCD header (its first word a declaration
    // such as $date, $comment or $timescale): the kind a recording replaces.
    static bool isVcd(std::string_view head);
    static const quill::files::FileKind kFileKind;

    // The declarations and the initial values.
    const std::string& header() const { return header_; }
    const std::string& timescale() const { return timescale_; }
    // Appends a change of signal `index` at `cycle` (not before the last
    // one given) to *out.
    void change(std::size_t index, uint64_t cycle, uint8_t level, std::string* out);
    // The time (in timescale units) of a cycle.
    uint64_t timeOf(uint64_t cycle) const;

private:
    static std::string identifier(std::size_t index);
    std::string header_, timescale_;
    std::vector<std::string> ids_;
    uint32_t clockHz_;
    uint64_t start_;
    uint64_t ticksPerCycle_ = 0;  // 0: rounded picoseconds
    uint64_t lastTime_ = UINT64_MAX;
};

}  // namespace quill::instruments

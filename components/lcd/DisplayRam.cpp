#include "components/lcd/DisplayRam.h"

#include <algorithm>

namespace {
int Floored(int a, int m) {
    const int r = a % m;
    return r < 0 ? r + m : r;
}
}  // namespace

DisplayRam::DisplayRam(int lineMode, int columns) {
    ddram.fill(0x20);
    cgram.fill(0x20);
    setLayout(lineMode, columns);
}

int DisplayRam::MaxColumns(int lineMode) {
    switch (lineMode) {
        case 1:
            return 80;
        case 4:
            return 20;
        default:
            return 40;
    }
}

void DisplayRam::setLayout(int lineMode, int columns) {
    lineMode_ = (lineMode == 1 || lineMode == 4) ? lineMode : 2;
    columns_ = std::clamp(columns, 0, MaxColumns(lineMode_));
}

DisplayRam::Range DisplayRam::range(int i) const {
    if (lineMode_ == 1) return {0x00, 0x50};
    return i == 0 ? Range{0x00, 0x28} : Range{0x40, 0x68};
}

bool DisplayRam::isValidAddress(int a) const {
    for (int i = 0; i < rangeCount(); ++i) {
        const Range r = range(i);
        if (a >= r.first && a < r.end) return true;
    }
    return false;
}

int DisplayRam::nextValidAddress(int a) const {
    if (a < 0) a = 0;
    for (int i = 0; i < rangeCount(); ++i) {
        const Range r = range(i);
        if (a < r.end) return std::max(a, r.first);
    }
    return 0;
}

int DisplayRam::previousValidAddress(int a) const {
    for (int i = rangeCount() - 1; i >= 0; --i) {
        const Range r = range(i);
        if (a >= r.first) return std::min(a, r.end - 1);
    }
    return range(rangeCount() - 1).end - 1;
}

void DisplayRam::step(bool up) {
    if (memorySelect == Memory::CGRAM) {
        addressCounter = Floored(addressCounter + (up ? 1 : -1), kCgramSize);
        return;
    }
    addressCounter =
        up ? nextValidAddress(addressCounter + 1) : previousValidAddress(addressCounter - 1);
}

void DisplayRam::writeData(uint8_t byte) {
    if (memorySelect == Memory::CGRAM) {
        cgram[Floored(addressCounter, kCgramSize)] = byte;
    } else {
        ddram[Floored(addressCounter, kDdramSize)] = byte;
    }
    step(increment);
}

uint8_t DisplayRam::readData(bool advance) {
    const uint8_t byte = memorySelect == Memory::CGRAM ? cgram[Floored(addressCounter, kCgramSize)]
                                                       : ddram[Floored(addressCounter, kDdramSize)];
    if (advance) step(increment);
    return byte;
}

void DisplayRam::setDdramAddress(uint8_t address) {
    memorySelect = Memory::DDRAM;
    addressCounter = address & 0x7F;
}

void DisplayRam::setCgramAddress(uint8_t address) {
    memorySelect = Memory::CGRAM;
    addressCounter = address & 0x3F;
}

void DisplayRam::clear() {
    ddram.fill(0x20);
    addressCounter = 0;
    memorySelect = Memory::DDRAM;
}

int DisplayRam::lineStart(int line) const {
    switch (lineMode_) {
        case 1:
            return 0x00;
        case 4: {
            const int base = (line % 2) ? 0x40 : 0x00;
            return base + (line >= 2 ? columns_ : 0);
        }
        default:
            return line ? 0x40 : 0x00;
    }
}

int DisplayRam::addressAt(int line, int column, int shift) const {
    const int start = lineStart(line);
    const int base = start >= 0x40 ? 0x40 : 0x00;
    const int length = lineLength();
    return base + Floored(start - base + column + shift, length);
}

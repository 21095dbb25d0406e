// One of the core's register subjects. Every set() marks the register in
// its owner's set of registers set since the refresh last took the target's
// image, so that a refresh loads and writes back only those (and the ones
// the image changed) instead of the whole bank.
#pragma once

#include <cstdint>

#include "core/RegisterSet.h"
#include "framework/Observer.h"

class IoRegister : public GatedValue<uint8_t> {
public:
    void markInto(RegisterSet* setMask, int index) {
        word_ = &setMask->word(index / 64);
        bit_ = uint64_t{1} << (index % 64);
    }
    void set(uint8_t v) override {
        if (word_) *word_ |= bit_;
        GatedValue<uint8_t>::set(v);
    }

private:
    uint64_t* word_ = nullptr;
    uint64_t bit_ = 0;
};

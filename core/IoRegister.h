// One of the core's 64 I/O register subjects. Every set() marks the
// register in its owner's mask of registers set since the refresh last
// took the target's image, so that a refresh loads and writes back only
// those (and the ones the image changed) instead of all 64.
#pragma once

#include <cstdint>

#include "framework/Observer.h"

class IoRegister : public GatedValue<uint8_t> {
public:
    void markInto(uint64_t* setMask, int index) {
        setMask_ = setMask;
        bit_ = uint64_t{1} << index;
    }
    void set(uint8_t v) override {
        if (setMask_) *setMask_ |= bit_;
        GatedValue<uint8_t>::set(v);
    }

private:
    uint64_t* setMask_ = nullptr;
    uint64_t bit_ = 0;
};

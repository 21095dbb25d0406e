// A set of register indices of the bank (0 .. kMaxRegisterBank-1), one bit
// each in fixed words: bit (i % 64) of word i / 64 is register i, so word 0
// is the I/O space. Fixed size: nothing allocates, as the sets are made
// and walked on every refresh.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "contract/HostProtocol.h"

class RegisterSet {
public:
    static constexpr int kWords = (kMaxRegisterBank + 63) / 64;

    // The set of registers 0 .. count-1.
    static RegisterSet FirstN(int count) {
        RegisterSet s;
        for (int w = 0; w < kWords && count > 0; ++w, count -= 64)
            s.words_[static_cast<size_t>(w)] = count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
        return s;
    }

    void set(int i) { words_[static_cast<size_t>(i >> 6)] |= uint64_t{1} << (i & 63); }
    void reset(int i) { words_[static_cast<size_t>(i >> 6)] &= ~(uint64_t{1} << (i & 63)); }
    bool test(int i) const { return (words_[static_cast<size_t>(i >> 6)] >> (i & 63)) & 1; }
    void clear() { words_.fill(0); }
    bool any() const {
        for (uint64_t w : words_)
            if (w) return true;
        return false;
    }
    // Whether a register of the first `words` words is in the set.
    bool anyIn(int words) const {
        for (int w = 0; w < words; ++w)
            if (words_[static_cast<size_t>(w)]) return true;
        return false;
    }
    // Whether a register from `first` on is in the set.
    bool anyFrom(int first) const {
        for (int w = first >> 6; w < kWords; ++w) {
            uint64_t bits = words_[static_cast<size_t>(w)];
            if (w == first >> 6) bits &= ~uint64_t{0} << (first & 63);
            if (bits) return true;
        }
        return false;
    }
    // Bit w: word w (of the first `words`) holds a register of the set.
    uint32_t liveWords(int words = kWords) const {
        uint32_t live = 0;
        for (int w = 0; w < words; ++w)
            if (words_[static_cast<size_t>(w)]) live |= uint32_t{1} << w;
        return live;
    }
    uint64_t word(int w) const { return words_[static_cast<size_t>(w)]; }
    uint64_t& word(int w) { return words_[static_cast<size_t>(w)]; }
    const uint64_t* data() const { return words_.data(); }

    RegisterSet& operator|=(const RegisterSet& o) {
        for (size_t w = 0; w < words_.size(); ++w) words_[w] |= o.words_[w];
        return *this;
    }
    RegisterSet& operator&=(const RegisterSet& o) {
        for (size_t w = 0; w < words_.size(); ++w) words_[w] &= o.words_[w];
        return *this;
    }
    friend RegisterSet operator|(RegisterSet a, const RegisterSet& b) { return a |= b; }
    bool operator==(const RegisterSet&) const = default;

    // Calls f(index) for every register in the set, in ascending order
    // (each word as it was when the walk reached it); only the first
    // `words` words are walked.
    template <typename F>
    void forEach(F&& f, int words = kWords) const {
        for (int w = 0; w < words; ++w) {
            for (uint64_t rest = words_[static_cast<size_t>(w)]; rest != 0; rest &= rest - 1)
                f(w * 64 + std::countr_zero(rest));
        }
    }

    // As forEach, walking only the words whose bit is in `wordMask`.
    template <typename F>
    void forEachIn(uint32_t wordMask, F&& f) const {
        for (; wordMask != 0; wordMask &= wordMask - 1) {
            const int w = std::countr_zero(wordMask);
            for (uint64_t rest = words_[static_cast<size_t>(w)]; rest != 0; rest &= rest - 1)
                f(w * 64 + std::countr_zero(rest));
        }
    }

private:
    static_assert(kWords <= 32, "liveWords() has a bit per word");
    std::array<uint64_t, kWords> words_{};
};

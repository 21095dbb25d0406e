// The program memory as simavr indexes it.
//
// simavr reads program memory at the whole of Z (LPM: 16 bits), of
// RAMPZ:Z (ELPM: 24 bits; on a part without RAMPZ simavr takes R0 for it,
// after warning of the invalid instruction) and erases or writes a page at
// Z (SPM), without cutting the address to the part's flash. The chip
// ignores the address bits above its flash, so its reads and writes wrap.
// FlashMirror maps the part's flash again and again over all 16 MiB those
// addresses reach: every access lands on the byte the chip's would wrap
// to, and none leaves the buffer. The copies are the same memory (one
// shared memory file mapped at each copy), so a write through any of them
// (SPM at a high Z, a program loaded at the first) is seen through all at
// once: they cannot diverge.
//
// The program counter needs nothing more: simavr stops a program whose PC
// reaches the end of the flash (Crashed), and the second word of an
// instruction in the last word is read from the first copy, which is
// address 0, as on the chip.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quill::sim {

class FlashMirror {
public:
    // All that LPM, ELPM and SPM can reach (24 address bits).
    static constexpr std::size_t kReach = std::size_t(1) << 24;

    // Maps `flashBytes` of erased flash (0xFF) over kReach. Throws SimError
    // when the flash is no whole number of memory pages or the system
    // refuses the mapping.
    explicit FlashMirror(uint32_t flashBytes);
    ~FlashMirror();
    FlashMirror(const FlashMirror&) = delete;
    FlashMirror& operator=(const FlashMirror&) = delete;

    uint8_t* bytes() const { return base_; }

private:
    uint8_t* base_ = nullptr;
};

}  // namespace quill::sim

// An optional extension of the host's target object: the registers that may
// have changed, told by the host instead of found by the plug-in reading
// and comparing the whole register bank at every refresh. The plug-in asks
// the ITargetAccess object for it with QueryInterface when it attaches; a
// host that does not offer it answers E_NOINTERFACE, and the plug-in then
// reads the whole bank at every refresh and compares it with its image.
//
// The host keeps one set of registers of the bank (subject i at data address
// 0x20 + i, as ITargetBankFilter numbers them). A register enters it when
// the program writes it, when the plug-in or the host writes it, and when
// anything else may have changed it: a peripheral's timed event, an
// interrupt raised, taken or cleared, a read with side effects (a timer's
// count, a received byte), a reset. The host may put more registers in the
// set than changed (the whole bank, when it cannot tell); never fewer.
//
// SPL, SPH and SREG (I/O registers 0x3D..0x3F) change with nearly every
// instruction and are never in the set: the plug-in reads them at every
// refresh.
#pragma once

#include "contract/HostInterfaces.h"

// IID 5e7c3b1a-92d4-4c6f-8a0e-7d41f6b2c953
struct ITargetChanges : IUnknown {
    // Writes the set into changed[0 .. words-1] (bit i % 64 of word i / 64
    // is subject i; words past the bank are 0) and starts it anew, empty.
    // Every register outside the set holds the value it held at the
    // previous call, or the value the plug-in wrote to it since. The first
    // call on a target object answers the whole bank. E_POINTER without
    // `changed` (words > 0).
    virtual HRESULT TakeChangedRegisters(uint64_t* changed, ULONG words) = 0;  // 3
};

// A further optional extension, offered beside ITargetChanges: the set and
// the values in one call. Most refreshes find one or two registers changed;
// reading them from the first to the last one needed (and SPL, SPH, SREG
// after them) costs more than the registers themselves, and a register
// whose reading is computed (a pin register, SREG) costs most.
// IID 9a3f6c27-4e81-4b5d-b2c0-6d8e1f7a3c45
struct ITargetChangedValues : IUnknown {
    // As TakeChangedRegisters for the subjects below `count`, and writes
    // the value of each of them in the set, and of SPL, SPH and SREG, into
    // image[i] for subject i (the value a read of it as memory gives now);
    // the other bytes of `image` are left as they are. A subject of the set
    // at or past `count` stays in the set and out of `changed`. On failure
    // nothing is taken or written.
    // E_POINTER without `changed` (words > 0) or `image` (count > 0).
    virtual HRESULT TakeChangedValues(uint64_t* changed, ULONG words, uint8_t* image,
                                      ULONG count) = 0;  // 3
};

// {9A3F6C27-4E81-4B5D-B2C0-6D8E1F7A3C45}
inline constexpr IID IID_ITargetChangedValues = {
    0x9a3f6c27, 0x4e81, 0x4b5d, {0xb2, 0xc0, 0x6d, 0x8e, 0x1f, 0x7a, 0x3c, 0x45}};

// The registers never in the set: SPL, SPH and SREG.
inline constexpr int kAlwaysReadFirst = 0x3D;
inline constexpr int kAlwaysReadCount = 3;

// {5E7C3B1A-92D4-4C6F-8A0E-7D41F6B2C953}
inline constexpr IID IID_ITargetChanges = {
    0x5e7c3b1a, 0x92d4, 0x4c6f, {0x8a, 0x0e, 0x7d, 0x41, 0xf6, 0xb2, 0xc9, 0x53}};

// An optional extension of the host's target object. The plug-in asks the
// ITargetAccess object for it with QueryInterface; a host that does not
// offer it answers E_NOINTERFACE and the plug-in keeps to ITargetAccess.
//
// Two things make a refresh cheap with it:
//
// * Memory access into and from the caller's buffer, with the meaning of
//   ReadMemory/WriteMemory but without a byte block allocated per call.
//
// * A refresh filter. A host sends event 3 after every instruction; the
//   plug-in only needs it after an instruction that changed an I/O register
//   a component watches, or once the cycle count reaches a time a component
//   waits for (an oscillator edge, the end of a conversion). At the end of
//   each refresh the plug-in tells the host which registers those are and
//   the next such time. A host may then leave out event 3 after an
//   instruction that changed none of the watched registers (compared with
//   their values when the filter was set) and did not reach the due cycle.
//   It may always send more events than the filter needs: a refresh is
//   never wrong, only slower. The filter lapses whenever the host runs
//   anything but instructions (user input, timers, a reset, a new session),
//   so that a component the user opened or rewired is served from its first
//   instruction on.
//
//   Before a refresh the plug-in asks for the count after the last
//   instruction whose event 3 was left out, so that its cycle-count subject
//   moves on exactly as it would have with every refresh sent.
#pragma once

#include "contract/HostInterfaces.h"

// IID 3f0c8a41-6d2e-4b7a-9c55-0e1d7b2a9f63
struct ITargetDirectAccess : IUnknown {
    // As ReadMemory: `count` bytes of memory `kind` from `address` into
    // `out`. E_INVALIDARG (out untouched) for an unknown kind or a range
    // outside the memory.
    virtual HRESULT Read(LONG kind, ULONG address, ULONG count, uint8_t* out) = 0;  // 3
    // As WriteMemory with a block of `count` bytes. Writing back a byte as
    // Read gave it changes nothing, so the module leaves out the write-back
    // of a refresh in which no component changed a register.
    virtual HRESULT Write(LONG kind, ULONG address, ULONG count, const uint8_t* data) = 0;  // 4
    // Sets the refresh filter: bit i of `watched` is I/O register i; `due`
    // (used when hasDue is non-zero) is a value of the 32-bit cycle counter,
    // compared modulo 2^32. A due cycle already reached means "refresh after
    // the next instruction".
    virtual HRESULT SetRefreshFilter(uint64_t watched, LONG hasDue, ULONG due) = 0;  // 5
    // The cycle count after the last instruction whose event 3 was left out
    // since the filter was last set: S_OK with the count, or S_FALSE when
    // none was left out.
    virtual HRESULT GetSkippedCycleCounter(ULONG* count) = 0;  // 6
};

// A further optional extension for parts whose registers reach beyond the
// I/O space (extended I/O, data addresses 0x60 up to the start of SRAM). The
// module keeps one register subject per data address from 0x20 up to
// RAMSTART-1, subject i at data address 0x20 + i; the I/O space is subjects
// 0..63 as before. A host that offers ITargetDirectAccess and has such parts
// should offer this too; without it the module refreshes after every
// instruction while it watches an extended register (never wrong, slower).
// IID 7b1e2d94-3a5c-4f08-b6d1-52c9e0a4f7b8
struct ITargetBankFilter : IUnknown {
    // As SetRefreshFilter, over the whole bank: bit (i % 64) of
    // watched[i / 64] is subject i, for i < 64 * words; subjects past the
    // last word are not watched. watched[0] is the I/O space.
    virtual HRESULT SetBankRefreshFilter(const uint64_t* watched, ULONG words, LONG hasDue,
                                         ULONG due) = 0;  // 3
};

// A further optional extension: the filter down to the bit. A component
// often cares about one line of a busy port (a display's enable line among
// its data lines, a keypad's columns on a port the display shares); with
// this the host refreshes only when one of those bits changed. Both ends
// offer it beside ITargetBankFilter; a host without it is given whole
// registers.
// IID c4a9e5f2-8b31-4d6e-a07c-3e5f9d21b846
struct ITargetBitFilter : IUnknown {
    // As SetBankRefreshFilter, with one byte per subject: bit b of bits[i]
    // set where a change of bit b of subject i needs a refresh; subjects
    // from `count` on are not watched.
    virtual HRESULT SetBitRefreshFilter(const uint8_t* bits, ULONG count, LONG hasDue,
                                        ULONG due) = 0;  // 3
};

// A further optional extension: bits whose fall can wait. A display's
// enable line acts on its rising edge; the fall between two transfers needs
// no refresh of its own if the plug-in learns of it before the next rise.
// With this filter the host leaves out the refresh after an instruction
// whose only change of watched bits is a fall of such bits, notes the fall
// and hands it over with TakeFalls in a later refresh. A host may refresh
// after a fall anyway; it then notes nothing.
// IID 8e3f1a6c-52d7-4b09-a4e8-6c1d0b97f235
struct ITargetFallFilter : IUnknown {
    // As SetBitRefreshFilter; bit b of waiting[i] set where a fall (1 to 0)
    // of bit b of subject i needs no refresh when no other watched bit
    // changed. Such a bit is compared with its value at the last refresh
    // or at its last noted fall, so the rise after a noted fall needs one.
    // Bits of waiting that bits does not set mean nothing.
    virtual HRESULT SetFallRefreshFilter(const uint8_t* bits, const uint8_t* waiting,
                                         ULONG count, LONG hasDue, ULONG due) = 0;  // 3
    // The falls noted since the last call: bit (i % 64) of which[i / 64]
    // set for each subject i (below 64 * words) with a noted fall, and
    // fell[i] (i below count) its bits that fell; the other bytes of fell
    // are left as they are. S_FALSE, with nothing written, when no fall was
    // noted. A subject with a noted fall is in the next set of changed
    // registers (ITargetChanges), so its value now comes with that set.
    virtual HRESULT TakeFalls(uint64_t* which, ULONG words, uint8_t* fell, ULONG count) = 0;  // 4
};

// {8E3F1A6C-52D7-4B09-A4E8-6C1D0B97F235}
inline constexpr IID IID_ITargetFallFilter = {
    0x8e3f1a6c, 0x52d7, 0x4b09, {0xa4, 0xe8, 0x6c, 0x1d, 0x0b, 0x97, 0xf2, 0x35}};

// A further optional extension: whether the host looks at the filter at
// all. A host running with event 3 after every instruction (an exact run)
// never consults it, and setting it is a good part of a refresh there.
// IID 2d6b8e13-7f40-4a9c-95e2-b1c3a7d05f68
struct ITargetFilterUse : IUnknown {
    // Asked during a refresh: S_OK when the host may consult a filter set
    // in this refresh, S_FALSE when it will send event 3 after every
    // instruction until a filter is set again. After S_FALSE the host
    // leaves out no event 3 and counts no instruction as left out until the
    // plug-in sets a filter.
    virtual HRESULT RefreshFilterConsulted() = 0;  // 3
};

// {2D6B8E13-7F40-4A9C-95E2-B1C3A7D05F68}
inline constexpr IID IID_ITargetFilterUse = {
    0x2d6b8e13, 0x7f40, 0x4a9c, {0x95, 0xe2, 0xb1, 0xc3, 0xa7, 0xd0, 0x5f, 0x68}};

// {C4A9E5F2-8B31-4D6E-A07C-3E5F9D21B846}
inline constexpr IID IID_ITargetBitFilter = {
    0xc4a9e5f2, 0x8b31, 0x4d6e, {0xa0, 0x7c, 0x3e, 0x5f, 0x9d, 0x21, 0xb8, 0x46}};

// {7B1E2D94-3A5C-4F08-B6D1-52C9E0A4F7B8}
inline constexpr IID IID_ITargetBankFilter = {
    0x7b1e2d94, 0x3a5c, 0x4f08, {0xb6, 0xd1, 0x52, 0xc9, 0xe0, 0xa4, 0xf7, 0xb8}};

// A host honouring the filter never lets more cycles than this pass between
// two refreshes, due cycle or not: the plug-in compares 32-bit counts
// modulo 2^32 and would take a much longer step for a reset of the part.
inline constexpr uint32_t kLongestRefreshGap = 1u << 27;

// {3F0C8A41-6D2E-4B7A-9C55-0E1D7B2A9F63}
inline constexpr IID IID_ITargetDirectAccess = {
    0x3f0c8a41, 0x6d2e, 0x4b7a, {0x9c, 0x55, 0x0e, 0x1d, 0x7b, 0x2a, 0x9f, 0x63}};

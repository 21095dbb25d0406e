// A further optional extension of the host's target object, beside the
// refresh filter (ITargetDirectAccess and its filters) and the set of
// changed registers (ITargetChanges): changes recorded instead of refreshed.
//
// The register logger writes its registers after every instruction that
// changed one of them. It needs no component to react to that change, only
// the values the instruction left and the cycle count after it. A filter
// that watched those registers would make the host refresh after each such
// instruction, a good part of them all while a program drives a logged port.
// With this extension the plug-in names the registers to record; after an
// instruction whose only change of interest is to them (the filter asks for
// no refresh), the host appends a record to a bounded list: the count after
// the instruction and the values of all recorded registers then. When the
// list is full the host refreshes after the instruction instead, so nothing
// is lost. The plug-in takes the records at its next refresh, before it
// reads anything, and whenever else it wants them.
//
// A host offers it only beside ITargetChanges. The plug-in asks with
// QueryInterface; a host that does not offer it answers E_NOINTERFACE, and
// the plug-in watches the logged registers in its filter as before.
#pragma once

#include "contract/HostInterfaces.h"

// IID 6b2d0f93-1c7e-4a58-9e34-85a1c6d2e7f0
struct ITargetChangeRecord : IUnknown {
    // Records subject i (bank numbering, as ITargetBankFilter) for each
    // i < count with registers[i] non-zero; count 0 records nothing. A host
    // records only registers whose every change it can see without a read
    // of its own; it sets registers[i] to 0 for each it will not record,
    // and the plug-in watches those in its filter instead. Records not yet
    // taken are dropped. E_POINTER without `registers` (count > 0).
    virtual HRESULT SetRecordedRegisters(uint8_t* registers, ULONG count) = 0;  // 3
    // Takes up to `capacity` records, the oldest first: cycles[k] is the
    // 32-bit cycle count after the instruction of record k, and
    // values[k * n + j] the value of the j-th recorded register (in the
    // order of their subjects; n registers recorded) after it. *taken is
    // the number taken; the rest stay for the next call. S_FALSE, with
    // *taken 0, when there is none. E_POINTER without an argument.
    virtual HRESULT TakeRecords(ULONG* cycles, uint8_t* values, ULONG capacity,
                                ULONG* taken) = 0;  // 4
};

// {6B2D0F93-1C7E-4A58-9E34-85A1C6D2E7F0}
inline constexpr IID IID_ITargetChangeRecord = {
    0x6b2d0f93, 0x1c7e, 0x4a58, {0x9e, 0x34, 0x85, 0xa1, 0xc6, 0xd2, 0xe7, 0xf0}};

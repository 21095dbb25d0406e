// An optional extension of the host's target object: the names that the
// board the user chose gives the part's pins ("D13" for PB5 on an Arduino
// Uno, for PB7 on a Mega) and its converter channels ("A0" for ADC0, on a
// Mega "A8" for ADC8). The plug-in asks the ITargetAccess object for it
// with QueryInterface when it attaches; a host that does not offer it
// answers E_NOINTERFACE, and the plug-in then names pins by port alone
// ("PB5"). The host keeps the board's tables; the plug-in only asks.
#pragma once

#include "contract/HostInterfaces.h"

// IID 0c591eaa-3b72-4731-8a2c-a087b7312ef2
struct ITargetBoardPins : IUnknown {
    // The board's name ("Uno") in a new BSTR the caller frees: S_OK, or
    // S_FALSE with *name null when the user chose no board.
    virtual HRESULT GetBoardName(BSTR* name) = 0;  // 3
    // The board's name for bit `bit` (0..7) of port `port` (the letter,
    // 'A'..'Z'): S_OK with *name ("D13", or "A0" for a pin that is also an
    // analog input), or S_FALSE with *name null when the board does not
    // bring that pin out or no board is chosen. E_INVALIDARG (*name null)
    // for a letter or bit outside those ranges, E_POINTER without `name`.
    virtual HRESULT GetPinName(LONG port, LONG bit, BSTR* name) = 0;  // 4
    // The board's name of converter channel `channel` (0..31): S_OK with
    // *name ("A0"; the Nano's A6 and A7 have no port pin, only this), or
    // S_FALSE with *name null when the board names no such channel or no
    // board is chosen. E_INVALIDARG (*name null) for a channel outside that
    // range, E_POINTER without `name`.
    virtual HRESULT GetChannelName(LONG channel, BSTR* name) = 0;  // 5
};

// {0C591EAA-3B72-4731-8A2C-A087B7312EF2}
inline constexpr IID IID_ITargetBoardPins = {
    0x0c591eaa, 0x3b72, 0x4731, {0x8a, 0x2c, 0xa0, 0x87, 0xb7, 0x31, 0x2e, 0xf2}};

// An optional extension of the plug-in object. A host asks IGuiPlugin for
// it with QueryInterface; a plug-in that does not offer it answers
// E_NOINTERFACE and the host does without.
//
// A host that offers it calls HostIdle() whenever it is about to serve its
// user interface or to look at what the plug-in produced: at the end of a
// run slice, after a single step, before a scenario checks its results.
// A plug-in may then hold back what it writes to files while the program
// runs (the register log) and write it out in large blocks, at the latest
// when HostIdle() is called. Until the host has called it once, the
// plug-in holds nothing back: another host (the IDE) never calls it, and
// its files stay as complete as every write makes them.
#pragma once

#include "contract/HostInterfaces.h"

// IID d36140c8-ec96-4282-9593-64b38f194ba8
struct IPluginIdle : IUnknown {
    virtual HRESULT HostIdle() = 0;  // 3
};

// {D36140C8-EC96-4282-9593-64B38F194BA8}
inline constexpr IID IID_IPluginIdle = {
    0xd36140c8, 0xec96, 0x4282, {0x95, 0x93, 0x64, 0xb3, 0x8f, 0x19, 0x4b, 0xa8}};

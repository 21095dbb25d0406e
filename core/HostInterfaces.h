// The host IDE's interfaces that the plug-in implements (IGuiPlugin) and
// calls (IGuiWorks, IHostServices, ITargetAccess). Operations sit at fixed
// vtable slots; slots the plug-in never calls are kept as placeholders so
// the numbers hold. A placeholder answers E_NOTIMPL unless a host overrides
// it.
#pragma once

#include "platform/com.h"

#define QUILL_RESERVED_SLOT(n) \
    virtual HRESULT Reserved##n() { return E_NOTIMPL; }

// IID 9b206088-bf25-4ec4-a5ad-3edaae26849e
struct IGuiPlugin : IDispatch {
    virtual HRESULT GetSetup(BSTR* xmlstring) = 0;                     // 7
    virtual HRESULT ExecuteCommand(LONG command) = 0;                  // 8
    virtual HRESULT HandleEvent(LONG eventnum, BSTR eventtext) = 0;    // 9
    virtual HRESULT Init(IDispatch* iGuiWorks) = 0;                    // 10
    virtual HRESULT SaveFile(BSTR filename, VARIANT_BOOL* ok) = 0;     // 11
    virtual HRESULT Close() = 0;                                       // 12
};

// IID 68ff0606-2d5c-4911-82be-6311fdd07c02
struct IGuiWorks : IDispatch {
    QUILL_RESERVED_SLOT(7)
    QUILL_RESERVED_SLOT(8)
    QUILL_RESERVED_SLOT(9)
    // A docked tool window; *window is the parent for the component dialog.
    virtual HRESULT CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d,
                                       HINSTANCE instance, HWND* window) = 0;  // 10
    QUILL_RESERVED_SLOT(11)
    QUILL_RESERVED_SLOT(12)
    QUILL_RESERVED_SLOT(13)
    QUILL_RESERVED_SLOT(14)
    QUILL_RESERVED_SLOT(15)
    QUILL_RESERVED_SLOT(16)
    QUILL_RESERVED_SLOT(17)
    QUILL_RESERVED_SLOT(18)
    QUILL_RESERVED_SLOT(19)
    virtual HRESULT GetDebuggingActive(int16_t* active) = 0;  // 20
    QUILL_RESERVED_SLOT(21)
    QUILL_RESERVED_SLOT(22)
    QUILL_RESERVED_SLOT(23)
    QUILL_RESERVED_SLOT(24)
    QUILL_RESERVED_SLOT(25)
    virtual HRESULT SetCommandState(LONG command, LONG state) = 0;  // 26
    virtual HRESULT GetInstallDirectory(BSTR* directory) = 0;       // 27
};

// Class b283e0e3-4c78-4369-b7d8-8a5c1eda344b, IID 12787098-07f0-44f7-87c6-77ac4c87cedc
struct IHostServices : IDispatch {
    QUILL_RESERVED_SLOT(7)
    QUILL_RESERVED_SLOT(8)
    QUILL_RESERVED_SLOT(9)
    virtual HRESULT GetNamedObject(BSTR name, const IID* iid, void** object) = 0;  // 10
    QUILL_RESERVED_SLOT(11)
    QUILL_RESERVED_SLOT(12)
    QUILL_RESERVED_SLOT(13)
    QUILL_RESERVED_SLOT(14)
    QUILL_RESERVED_SLOT(15)
    QUILL_RESERVED_SLOT(16)
    QUILL_RESERVED_SLOT(17)
    QUILL_RESERVED_SLOT(18)
    QUILL_RESERVED_SLOT(19)
    QUILL_RESERVED_SLOT(20)
    QUILL_RESERVED_SLOT(21)
    QUILL_RESERVED_SLOT(22)
    QUILL_RESERVED_SLOT(23)
    virtual HRESULT WriteMessage(LONG kind, BSTR source, BSTR prefix, BSTR text) = 0;  // 24
    QUILL_RESERVED_SLOT(25)
    QUILL_RESERVED_SLOT(26)
    QUILL_RESERVED_SLOT(27)
    QUILL_RESERVED_SLOT(28)
    QUILL_RESERVED_SLOT(29)
    QUILL_RESERVED_SLOT(30)
    QUILL_RESERVED_SLOT(31)
    QUILL_RESERVED_SLOT(32)
    QUILL_RESERVED_SLOT(33)
    QUILL_RESERVED_SLOT(34)
    QUILL_RESERVED_SLOT(35)
    QUILL_RESERVED_SLOT(36)
    QUILL_RESERVED_SLOT(37)
    QUILL_RESERVED_SLOT(38)
    virtual HRESULT CreateCategory(BSTR name, LONG kind) = 0;  // 39
};

// IID 7005425c-5a1a-4941-bb55-bd2f014d6a5e
struct ITargetAccess : IDispatch {
    QUILL_RESERVED_SLOT(7)
    QUILL_RESERVED_SLOT(8)
    // data carries the bytes as a byte-block BSTR.
    virtual HRESULT WriteMemory(LONG kind, ULONG address, BSTR data) = 0;  // 9
    // *data receives a new byte-block BSTR the caller frees.
    virtual HRESULT ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) = 0;  // 10
    virtual HRESULT GetCycleCounter(ULONG* count) = 0;                                 // 11
    QUILL_RESERVED_SLOT(12)
    QUILL_RESERVED_SLOT(13)
    QUILL_RESERVED_SLOT(14)
    QUILL_RESERVED_SLOT(15)
    QUILL_RESERVED_SLOT(16)
    virtual HRESULT GetTargetXml(BSTR* xml) = 0;  // 17
};

#undef QUILL_RESERVED_SLOT

// Memory kinds of ReadMemory / WriteMemory.
enum MemoryKind : LONG {
    kMemoryData = 2,       // data space, addressed by data address
    kMemoryIo = 8,         // I/O registers 0x00-0x3F
    kMemoryRegisters = 16  // general registers R0-R31
};

extern const IID IID_IGuiPlugin;
extern const IID IID_IGuiWorks;
extern const IID IID_IHostServices;
extern const CLSID CLSID_HostServices;
extern const IID IID_ITargetAccess;
extern const CLSID CLSID_LEDView;
extern const IID LIBID_QuillComponentsLib;

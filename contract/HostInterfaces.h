// The host IDE's interfaces that the plug-in implements (IGuiPlugin) and
// calls (IGuiWorks, IHostServices, ITargetAccess). Operations sit at fixed
// vtable slots; slots the plug-in never calls are kept as placeholders so
// the numbers hold. A placeholder answers E_NOTIMPL unless a host overrides
// it.
#pragma once

#include "contract/HostProtocol.h"
#include "platform/com.h"

#define QUILL_RESERVED_SLOT(n) \
    virtual HRESULT Reserved##n() { return E_NOTIMPL; }

// IID 9b206088-bf25-4ec4-a5ad-3edaae26849e
struct IGuiPlugin : IDispatch {
    virtual HRESULT GetSetup(BSTR* xmlstring) = 0;                   // 7
    virtual HRESULT ExecuteCommand(LONG command) = 0;                // 8
    virtual HRESULT HandleEvent(LONG eventnum, BSTR eventtext) = 0;  // 9
    virtual HRESULT Init(IDispatch* iGuiWorks) = 0;                  // 10
    virtual HRESULT SaveFile(BSTR filename, VARIANT_BOOL* ok) = 0;   // 11
    virtual HRESULT Close() = 0;                                     // 12
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
    virtual HRESULT GetCycleCounter(ULONG* count) = 0;                                  // 11
    QUILL_RESERVED_SLOT(12)
    QUILL_RESERVED_SLOT(13)
    QUILL_RESERVED_SLOT(14)
    QUILL_RESERVED_SLOT(15)
    QUILL_RESERVED_SLOT(16)
    virtual HRESULT GetTargetXml(BSTR* xml) = 0;  // 17
};

#undef QUILL_RESERVED_SLOT

// Identifiers of the host's interfaces and class, and of this module's
// class and type library. Constant-initialised aggregates, so any code may
// use them during its own static initialisation; hosts and test doubles
// include this header rather than keep copies.
// {9B206088-BF25-4EC4-A5AD-3EDAAE26849E}
inline constexpr IID IID_IGuiPlugin = {
    0x9b206088, 0xbf25, 0x4ec4, {0xa5, 0xad, 0x3e, 0xda, 0xae, 0x26, 0x84, 0x9e}};
// {68FF0606-2D5C-4911-82BE-6311FDD07C02}
inline constexpr IID IID_IGuiWorks = {
    0x68ff0606, 0x2d5c, 0x4911, {0x82, 0xbe, 0x63, 0x11, 0xfd, 0xd0, 0x7c, 0x02}};
// {12787098-07F0-44F7-87C6-77AC4C87CEDC}
inline constexpr IID IID_IHostServices = {
    0x12787098, 0x07f0, 0x44f7, {0x87, 0xc6, 0x77, 0xac, 0x4c, 0x87, 0xce, 0xdc}};
// {B283E0E3-4C78-4369-B7D8-8A5C1EDA344B}
inline constexpr CLSID CLSID_HostServices = {
    0xb283e0e3, 0x4c78, 0x4369, {0xb7, 0xd8, 0x8a, 0x5c, 0x1e, 0xda, 0x34, 0x4b}};
// {7005425C-5A1A-4941-BB55-BD2F014D6A5E}
inline constexpr IID IID_ITargetAccess = {
    0x7005425c, 0x5a1a, 0x4941, {0xbb, 0x55, 0xbd, 0x2f, 0x01, 0x4d, 0x6a, 0x5e}};
// {CC2BE738-F21B-485D-88A1-BC79B8C2BDDC}, also in resources/QuillComponents.idl
inline constexpr CLSID CLSID_LEDView = {
    0xcc2be738, 0xf21b, 0x485d, {0x88, 0xa1, 0xbc, 0x79, 0xb8, 0xc2, 0xbd, 0xdc}};
// {2F808B5E-167A-4119-8D10-9F7735D47C11}, also in resources/QuillComponents.idl
inline constexpr IID LIBID_QuillComponentsLib = {
    0x2f808b5e, 0x167a, 0x4119, {0x8d, 0x10, 0x9f, 0x77, 0x35, 0xd4, 0x7c, 0x11}};

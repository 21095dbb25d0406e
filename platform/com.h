// A minimal COM layer: result codes, GUIDs, length-prefixed BSTR strings,
// IUnknown/IDispatch and the in-process server plumbing that the module and
// the host share. Only what the plug-in and its host use is here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using HRESULT = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using VARIANT_BOOL = int16_t;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Opaque window and module handles. In this project a window handle is the
// address of the toolkit widget it names; only the party that created a
// handle looks inside it.
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;

struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    // Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", with or without braces.
    // Returns false (and leaves *out untouched) on malformed text.
    static bool parse(std::string_view text, GUID* out);
    // Parses a literal known to be well formed; aborts otherwise.
    static GUID from(std::string_view text);
    // Upper-case registry form with braces: "{9B206088-BF25-...}".
    std::string toString() const;

    friend bool operator==(const GUID& a, const GUID& b);
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// ---- BSTR: a 32-bit byte-length prefix, the characters, a terminating 0.
// A BSTR may also carry an arbitrary byte block (SysAllocStringByteLen), as
// the host does for memory contents.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);      // in characters; 0 for null
uint32_t SysStringByteLen(BSTR text);  // in bytes; 0 for null

// Conversions between the module's 8-bit texts (UTF-8 here, the stand-in
// for the system code page) and BSTR.
BSTR AnsiToBstr(std::string_view text);
std::string BstrToAnsi(BSTR text);
// The same into *into, whose storage is reused (no allocation per text).
void BstrToAnsi(BSTR text, std::string* into);

// A BSTR for [in] arguments whose storage is kept from one text to the
// next: a caller that passes many short texts (a line of output each) makes
// no allocation per text. The callee must neither free nor keep it; the
// text is valid until the next assign() or the object's end. Null when no
// storage could be had.
class ReusedBstr {
public:
    ReusedBstr() = default;
    ReusedBstr(const ReusedBstr&) = delete;
    ReusedBstr& operator=(const ReusedBstr&) = delete;
    ~ReusedBstr();
    BSTR assign(std::string_view text);

private:
    bool reserve(size_t bytes);
    char* block_ = nullptr;
    size_t capacity_ = 0;
};

// Owns one BSTR and frees it.
class CComBSTR {
public:
    CComBSTR() = default;
    explicit CComBSTR(std::string_view text) : str_(AnsiToBstr(text)) {}
    CComBSTR(const CComBSTR&) = delete;
    CComBSTR& operator=(const CComBSTR&) = delete;
    ~CComBSTR() { SysFreeString(str_); }
    BSTR get() const { return str_; }
    BSTR* out() {
        SysFreeString(str_);
        str_ = nullptr;
        return &str_;
    }
    std::string str() const { return BstrToAnsi(str_); }

private:
    BSTR str_ = nullptr;
};

// ---- Interfaces. No virtual destructors: slot numbers are part of the
// contract (QueryInterface is slot 0), and objects free themselves in
// Release().
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;  // 0
    virtual ULONG AddRef() = 0;                                      // 1
    virtual ULONG Release() = 0;                                     // 2
};

struct ITypeInfo;
struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;                         // 3
    virtual HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, ITypeInfo** info) = 0;  // 4
    virtual HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, uint32_t count, uint32_t lcid,
                                  int32_t* dispIds) = 0;  // 5
    virtual HRESULT Invoke(int32_t dispId, REFIID iid, uint32_t lcid, uint16_t flags, void* params,
                           void* result, void* excepInfo, uint32_t* argErr) = 0;  // 6
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;  // 3
    virtual HRESULT LockServer(int lock) = 0;                                         // 4
};

extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IClassFactory;

// Vtable slot of a virtual member function (Itanium C++ ABI: a pointer to a
// virtual member holds 1 + the byte offset of its slot). Used by tests to
// prove that interface operations sit at their agreed slot numbers.
template <typename F>
inline std::ptrdiff_t VtableSlot(F member) {
    static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t raw[2];
    __builtin_memcpy(raw, &member, sizeof raw);
    return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

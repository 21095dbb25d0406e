// In-process server plumbing: object creation by class identifier and the
// class table of the current process. Module-side object and lock counting
// and the generic class factory are in platform/classfactory.h.
#pragma once

#include <string>

#include "platform/com.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD REGCLS_MULTIPLEUSE = 0x1;

constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);  // unknown ProgID
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);  // server not loadable
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);   // no entry point

// Creates an object: first from a factory registered in this process with
// CoRegisterClassObject, else from the in-process server that the registry
// names under HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (loaded with
// dlopen, entered through DllGetClassObject). A class neither registered
// nor in the registry gives REGDB_E_CLASSNOTREG; a server that does not know
// the class answers CLASS_E_CLASSNOTAVAILABLE. Loaded servers stay loaded.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID iid, void** object);
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags,
                              DWORD* cookie);
// The table keeps a reference to the factory until it is revoked.
HRESULT CoRevokeClassObject(DWORD cookie);
// Resolves a ProgID ("QuillComponents.LEDView") to its class identifier:
// HKEY_CLASSES_ROOT\<ProgID>\CLSID, or the ProgID its CurVer names.
// CO_E_CLASSSTRING when unknown.
HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid);

// The four exported entry points of an in-process server.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

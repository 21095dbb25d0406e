// In-process server plumbing: object creation by class identifier, the
// class table of the current process, module object/lock counting and the
// generic class factory.
#pragma once

#include <atomic>
#include <string>

#include "platform/com.h"

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD REGCLS_MULTIPLEUSE = 0x1;

// Creates an object: first from a factory registered in this process with
// CoRegisterClassObject, else from the in-process server that the registry
// names under HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (loaded with
// dlopen, entered through DllGetClassObject).
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                         void** object);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, REFIID iid, void** object);
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags,
                              DWORD* cookie);
HRESULT CoRevokeClassObject(DWORD cookie);
// Resolves a ProgID ("QuillComponents.LEDView") to its class identifier.
HRESULT CLSIDFromProgID(const std::string& progId, CLSID* clsid);

// The four exported entry points of an in-process server.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

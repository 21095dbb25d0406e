// A file-backed stand-in for the system registry: predefined roots, keys
// with subkeys, named string values and each key's default value (the value
// with the empty name). Key and value names compare without regard to ASCII
// case, as in the system registry.
//
// The registry lives in one text file: $QUILL_REGISTRY when set, else
// $XDG_CONFIG_HOME/quill/registry.reg, else ~/.config/quill/registry.reg.
// Every change is written at once, to a temporary file that then replaces
// the old one, so a crash leaves either the old or the new registry, never a
// mix. Writers of several processes are serialised by a lock file beside it.
// A symbolic link is followed: the file it names is replaced, the link stays.
// Only a regular file is read or replaced; anything else (a directory, a
// FIFO, a device) is reported on stderr, read as an empty registry and never
// written. A malformed file is diagnosed on stderr and read as an empty
// registry; before the next change it is kept as "<file>.corrupt" (or
// "<file>.corrupt.1", ".2", ... when that exists); when no copy can be made
// the file is left alone and the change fails. Keys nest at most 512 deep.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com.h"

using HKEY = struct HKEY__*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(uintptr_t{0x80000000u}))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(uintptr_t{0x80000001u}))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(uintptr_t{0x80000002u}))
#define HKEY_USERS (reinterpret_cast<HKEY>(uintptr_t{0x80000003u}))

// Results of the registry functions.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;      // no such key or value
constexpr LONG ERROR_ACCESS_DENIED = 5;       // RegDeleteKey on a key with subkeys
constexpr LONG ERROR_INVALID_HANDLE = 6;      // not an open key
constexpr LONG ERROR_WRITE_FAULT = 29;        // the registry file could not be written
constexpr LONG ERROR_INVALID_PARAMETER = 87;  // malformed key name, null output
constexpr LONG ERROR_NO_MORE_ITEMS = 259;     // enumeration past the end
constexpr LONG ERROR_KEY_DELETED = 1018;      // the open key was deleted meanwhile

// Opens subKey below parent ("" opens parent itself), creating every missing
// key on the way. Subkey names are separated by backslashes. *result must be
// closed with RegCloseKey.
LONG RegCreateKey(HKEY parent, std::string_view subKey, HKEY* result);
// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
LONG RegOpenKey(HKEY parent, std::string_view subKey, HKEY* result);
// Closes a key opened above; closing a predefined root does nothing.
LONG RegCloseKey(HKEY key);

// Sets or reads a string value; the empty name is the key's default value.
LONG RegSetValue(HKEY key, std::string_view name, std::string_view data);
LONG RegQueryValue(HKEY key, std::string_view name, std::string* data);
LONG RegDeleteValue(HKEY key, std::string_view name);

// Shortcuts on a subkey of an open key: RegSetKeyValue creates the subkey
// when needed; RegGetValue reads without opening a handle.
LONG RegSetKeyValue(HKEY parent, std::string_view subKey, std::string_view name,
                    std::string_view data);
LONG RegGetValue(HKEY parent, std::string_view subKey, std::string_view name, std::string* data);

// Deletes a key that has no subkeys (its values go with it).
LONG RegDeleteKey(HKEY parent, std::string_view subKey);
// Deletes a key with all its subkeys; with an empty subKey, deletes the
// values and subkeys of parent but keeps parent.
LONG RegDeleteTree(HKEY parent, std::string_view subKey);

// Enumerates subkeys and values in name order (case-insensitive);
// ERROR_NO_MORE_ITEMS past the last one.
LONG RegEnumKey(HKEY key, DWORD index, std::string* name);
LONG RegEnumValue(HKEY key, DWORD index, std::string* name, std::string* data);

// The file in use now; empty when no location can be determined.
std::string RegistryFilePath();

// Groups changes into one all-or-nothing write: while a transaction is open
// the changes of this process are kept in memory and Commit() writes them as
// one file replacement. Without Commit() they are dropped. Other threads
// wait while a transaction is open; a transaction opened inside another one
// joins it, and only the outermost Commit() writes.
class RegistryTransaction {
public:
    RegistryTransaction();
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    // ERROR_SUCCESS, or ERROR_WRITE_FAULT when the file could not be
    // written (the registry then stays as it was before the transaction).
    LONG Commit();

private:
    bool outermost_ = false;
    bool committed_ = false;
};

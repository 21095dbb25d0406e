// The module's own resources that the core and the components need: its
// string table, its instance handle and file, and the facts of its type
// library (kept in step with resources/QuillComponents.idl).
#pragma once

#include <string>

#include "platform/com.h"

// String table entries.
constexpr int IDS_PROJNAME = 100;  // "QuillComponents"

// The text of a string table entry; empty for an id the table lacks.
std::string LoadModuleString(int id);

// One value of the module's version data ("FileVersion", "ProductVersion",
// "ProductName", "FileDescription", "CompanyName"); empty for other keys.
// Versions are written as the version data writes them: "1, 0, 0, 1".
std::string ModuleVersionValue(const std::string& key);

// The instance handle of the binary that holds this code (the module, when
// a host loaded it): its load address. Components pass it to
// CreateDockedWindow.
HINSTANCE ModuleInstance();

// The absolute path of that binary; empty when it cannot be determined.
std::string ModuleFilePath();

// The type library described by resources/QuillComponents.idl; its
// identifier is LIBID_QuillComponentsLib and its coclass CLSID_LEDView.
namespace typelib {
inline constexpr const char* kLibraryName = "QuillComponentsLib";
inline constexpr const char* kHelpString = "QuillComponents 1.0 Type Library";
inline constexpr int kMajorVersion = 1;
inline constexpr int kMinorVersion = 0;
inline constexpr const char* kCoclassName = "LEDView";
inline constexpr const char* kCoclassHelpString = "LEDView Class";
}  // namespace typelib

// The registry's keys and values in memory, and their text form: the file
// the registry keeps them in. Only the registry (registry.cpp) uses this.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace quill::registry_tree {

constexpr const char* kHeader = "QuillRegistry 1";
constexpr size_t kMaxKeyNameLength = 255;
// Keys nest at most this deep below a root, as in the system registry.
// Reading, formatting and freeing a key walk its subkeys recursively, so the
// bound also keeps a hostile file from exhausting the stack.
constexpr size_t kMaxKeyDepth = 512;

inline const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                         "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
constexpr int kRootCount = 4;

// Key and value names compare without regard to case, as in the system
// registry.
struct NoCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            char x = text::ToLower(a[i]), y = text::ToLower(b[i]);
            if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        }
        return a.size() < b.size();
    }
};

struct Key {
    std::map<std::string, std::string, NoCase> values;
    std::map<std::string, std::unique_ptr<Key>, NoCase> subkeys;
};

struct Tree {
    Key roots[kRootCount];
    void clear() {
        for (auto& r : roots) {
            r.values.clear();
            r.subkeys.clear();
        }
    }
};

// The text of a whole tree, header first.
std::string formatTree(const Tree& tree);
// Reads a whole tree from text; on a malformed text, false with the line
// and the fault in *error (the tree is then partly filled).
bool parseTree(std::string_view text, Tree* tree, std::string* error);
// Splits "A\\B\\C" into key names; false for an empty or overlong name.
bool splitPath(std::string_view path, std::vector<std::string>* names);

}  // namespace quill::registry_tree

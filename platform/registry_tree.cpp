#include "platform/registry_tree.h"

#include <cstdio>

namespace quill::registry_tree {

// ---- Text format ---------------------------------------------------------
//
//   QuillRegistry 1
//   [HKEY_CLASSES_ROOT\CLSID\{...}]
//   @="default value"
//   "Name"="value with \"quotes\", \\ and \n"
//
// Every existing key has its own section, so empty keys survive. Strings
// escape backslash, quote, newline, carriage return, tab and every other
// control byte (\xHH). Lines starting with ';' are comments.

namespace {

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char buffer[5];
                    std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
                    out += buffer;
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

void formatKey(std::string& out, const std::string& path, const Key& key, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const auto& [name, data] : key.values) {
            if (name.empty()) {
                out += '@';
            } else {
                appendQuoted(out, name);
            }
            out += '=';
            appendQuoted(out, data);
            out += '\n';
        }
        out += '\n';
    }
    for (const auto& [name, sub] : key.subkeys) formatKey(out, path + "\\" + name, *sub, false);
}

}  // namespace

std::string formatTree(const Tree& tree) {
    std::string out = kHeader;
    out += "\n\n";
    for (int r = 0; r < kRootCount; ++r) formatKey(out, kRootNames[r], tree.roots[r], true);
    return out;
}

namespace {

// Reads a quoted string at text[pos]; on success pos is just past it.
bool parseQuoted(std::string_view text, size_t& pos, std::string* out, std::string* error) {
    if (pos >= text.size() || text[pos] != '"') {
        *error = "expected a quoted string";
        return false;
    }
    out->clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++pos >= text.size()) break;
        switch (text[pos]) {
            case '\\':
                out->push_back('\\');
                break;
            case '"':
                out->push_back('"');
                break;
            case 'n':
                out->push_back('\n');
                break;
            case 'r':
                out->push_back('\r');
                break;
            case 't':
                out->push_back('\t');
                break;
            case 'x': {
                int hi = pos + 1 < text.size() ? quill::text::HexDigit(text[pos + 1]) : -1;
                int lo = pos + 2 < text.size() ? quill::text::HexDigit(text[pos + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    *error = "malformed \\x escape";
                    return false;
                }
                out->push_back(static_cast<char>(hi * 16 + lo));
                pos += 2;
                break;
            }
            default:
                *error = std::string("unknown escape \\") + text[pos];
                return false;
        }
    }
    *error = "unterminated string";
    return false;
}

bool validKeyName(std::string_view name) {
    if (name.empty() || name.size() > kMaxKeyNameLength) return false;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\\' || u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

}  // namespace

// Splits "a\b\c" into its names; false when a name is empty or invalid.
bool splitPath(std::string_view path, std::vector<std::string>* names) {
    names->clear();
    if (path.empty()) return true;
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string_view name = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!validKeyName(name)) return false;
        names->emplace_back(name);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

namespace {

Key* createPath(Key* key, const std::vector<std::string>& names, bool* created) {
    for (const auto& name : names) {
        auto it = key->subkeys.find(name);
        if (it == key->subkeys.end()) {
            it = key->subkeys.emplace(name, std::make_unique<Key>()).first;
            if (created) *created = true;
        }
        key = it->second.get();
    }
    return key;
}

}  // namespace

bool parseTree(std::string_view text, Tree* tree, std::string* error) {
    tree->clear();
    Key* current = nullptr;
    bool sawHeader = false;
    size_t lineNumber = 0;
    size_t pos = 0;
    auto fail = [&](const std::string& what) {
        *error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        if (line.front() == ';') continue;
        if (!sawHeader) {
            if (line != kHeader)
                return fail(std::string("not a registry file (expected \"") + kHeader + "\")");
            sawHeader = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2) return fail("unterminated key name");
            std::vector<std::string> names;
            if (!splitPath(line.substr(1, line.size() - 2), &names) || names.empty()) {
                return fail("malformed key name");
            }
            if (names.size() > kMaxKeyDepth + 1) {
                return fail("key nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
            }
            int root = -1;
            for (int r = 0; r < kRootCount; ++r) {
                if (quill::text::EqualsIgnoreCase(names.front(), kRootNames[r])) root = r;
            }
            if (root < 0) return fail("unknown root key \"" + names.front() + "\"");
            names.erase(names.begin());
            current = createPath(&tree->roots[root], names, nullptr);
            continue;
        }
        if (!current) return fail("value outside of a key");
        std::string name, data, problem;
        size_t at = 0;
        if (line.front() == '@') {
            at = 1;
        } else if (!parseQuoted(line, at, &name, &problem)) {
            return fail(problem);
        }
        if (at >= line.size() || line[at] != '=') return fail("expected '=' after the value name");
        ++at;
        if (!parseQuoted(line, at, &data, &problem)) return fail(problem);
        if (line.substr(at).find_first_not_of(" \t") != std::string_view::npos) {
            return fail("unexpected text after the value");
        }
        current->values[name] = data;
    }
    return true;  // an empty file, or only comments: an empty registry
}

}  // namespace quill::registry_tree

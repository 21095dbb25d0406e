#include "host/debugger/SourceText.h"

#include <filesystem>

#include "platform/files.h"

namespace quill::debugger {

namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

}  // namespace

std::string findSourceFile(const std::string& file, const ProgramInfo& program,
                           const std::string& elfPath,
                           const std::map<std::string, std::string>& remembered) {
    const fs::path name(file);
    if (name.is_absolute()) {
        if (isFile(name)) return file;
    } else {
        for (const std::string& dir : program.compilationDirs())
            if (isFile(fs::path(dir) / name)) return (fs::path(dir) / name).string();
    }
    const fs::path beside = fs::path(elfPath).parent_path() / name.filename();
    if (isFile(beside)) return beside.string();
    if (auto it = remembered.find(file); it != remembered.end() && isFile(it->second))
        return it->second;
    return {};
}

std::vector<std::string> readLines(const std::string& path, std::string* error) {
    std::string bytes;
    if (!files::readRegularFile(path, 4u << 20, "source file", &bytes, error)) return {};
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::vector<DisassemblyLine> parseDisassembly(const std::string& output) {
    std::vector<DisassemblyLine> out;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        // "  92:\t80 91 63 00 \tlds\tr24, 0x0063" or "00000092 <tick>:"
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        const std::size_t first = line.find_first_not_of(' ');
        const std::string head = line.substr(first, colon - first);
        if (head.find_first_not_of("0123456789abcdef") != std::string::npos) {
            // A label: "00000092 <tick>"
            const std::size_t space = head.find(" <");
            if (space != std::string::npos && line.back() == ':' &&
                head.substr(0, space).find_first_not_of("0123456789abcdef") == std::string::npos)
                out.push_back({0xFFFFFFFF, line});
            continue;
        }
        std::string text = line.substr(first);
        for (char& c : text)
            if (c == '\t') c = ' ';
        if (head.size() > 8) continue;
        out.push_back({static_cast<uint32_t>(std::stoul(head, nullptr, 16)), text});
    }
    return out;
}

}  // namespace quill::debugger

#include "host/lab/LabFile.h"

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "contract/Commands.h"
#include "core/PartDescriptionFile.h"
#include "host/layout/DockState.h"
#include "host/sim/Clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace quill::lab {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxLabBytes = 1 << 20;
// A lab nests three levels (quill-lab, windows, window).
constexpr int kMaxLabDepth = 16;

// The checksum written with the layout: its text's CRC-32, 8 hex digits.
std::string checksumOf(const std::string& layout) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", quill::layout::crc32(layout));
    return hex;
}

// The lab's layout as the window may be given it: checked against the
// checksum saved with it (a lab saved before checksums has none) and then
// read as a dock state. A layout that fails is dropped with a note, and the
// windows are arranged as for a new set-up.
void checkLayout(const TiXmlElement* element, Lab& lab) {
    if (lab.layout.empty()) return;
    std::string fault;
    const char* saved = element ? element->Attribute("crc32") : nullptr;
    if (saved && checksumOf(lab.layout) != saved) {
        fault = "it was changed after it was saved (its checksum does not match)";
    } else if (const std::optional<std::string> bytes = quill::layout::decodeBase64(lab.layout)) {
        if (const std::string why = quill::layout::dockStateFault(*bytes); !why.empty())
            fault = "it is damaged: " + why;
    } else {
        fault = "it is no base64 text";
    }
    if (fault.empty()) return;
    lab.layout.clear();
    lab.notes.push_back("the lab's window layout was left out, " + fault +
                        "; the windows are arranged anew");
}

TiXmlElement* child(TiXmlElement* parent, const char* name, const std::string& text) {
    auto* e = new TiXmlElement(name);
    e->LinkEndChild(new TiXmlText(text));
    parent->LinkEndChild(e);
    return e;
}

std::string textOf(const TiXmlElement* parent, const char* name) {
    const TiXmlElement* e = parent->FirstChildElement(name);
    return e && e->GetText() ? e->GetText() : "";
}

// What of the lab is not UTF-8 text, empty when all is. An XML file holds
// text only: bytes that are no UTF-8 (a firmware path in another encoding)
// would be written as they are and not read back.
std::string notText(const Lab& lab) {
    using quill::text::IsUtf8;
    if (!IsUtf8(lab.part)) return "the part";
    if (!IsUtf8(lab.board)) return "the board";
    if (!IsUtf8(lab.firmware)) return "the firmware path";
    for (const LabWindow& w : lab.windows) {
        if (!IsUtf8(w.command) || !IsUtf8(w.title) || !IsUtf8(w.settings))
            return "the window \"" + (IsUtf8(w.title) ? w.title : std::string("?")) + "\"";
    }
    for (const LabSettings& s : lab.settings)
        if (!IsUtf8(s.target) || !IsUtf8(s.settings)) return "the settings of a target";
    if (!IsUtf8(lab.layout) || !IsUtf8(lab.geometry)) return "the layout";
    for (const LabBreakpoint& b : lab.breakpoints)
        if (!IsUtf8(b.at)) return "a breakpoint";
    for (const LabWatch& w : lab.watches)
        if (!IsUtf8(w.name) || !IsUtf8(w.format)) return "a watch";
    return {};
}

// The watch formats as a lab names them.
bool isWatchFormat(const std::string& format) {
    return format == "hex" || format == "decimal" || format == "binary" || format == "char";
}

// The breakpoints and the watch list under <debugger>. What a lab cannot
// use (an entry without its name, an unknown format, more than the lab
// keeps) is left out with a note: the rest of the lab opens.
void readDebugger(const TiXmlElement* root, Lab& lab) {
    const TiXmlElement* debugger = root->FirstChildElement("debugger");
    if (!debugger) return;
    int skipped = 0;
    for (const TiXmlElement* b = debugger->FirstChildElement("breakpoint"); b;
         b = b->NextSiblingElement("breakpoint")) {
        const char* at = b->Attribute("at");
        if (!at || !*at || lab.breakpoints.size() == kMaxLabDebugItems) {
            ++skipped;
            continue;
        }
        lab.breakpoints.push_back({at});
    }
    for (const TiXmlElement* w = debugger->FirstChildElement("watch"); w;
         w = w->NextSiblingElement("watch")) {
        const char* name = w->Attribute("name");
        const char* format = w->Attribute("format");
        if (!name || !*name || lab.watches.size() == kMaxLabDebugItems) {
            ++skipped;
            continue;
        }
        LabWatch watch{name};
        if (format && isWatchFormat(format)) {
            watch.format = format;
        } else if (format) {
            lab.notes.push_back(std::string("the lab's watch of \"") + name + "\" has no format \"" +
                                format + "\"; it is shown in hex");
        }
        lab.watches.push_back(watch);
    }
    if (skipped > 0)
        lab.notes.push_back(std::to_string(skipped) +
                            " breakpoint(s) or watch(es) of the lab were left out (no name, or "
                            "more than " + std::to_string(kMaxLabDebugItems) + " of a kind)");
}

void writeDebugger(TiXmlElement* root, const Lab& lab) {
    if (lab.breakpoints.empty() && lab.watches.empty()) return;
    auto* debugger = new TiXmlElement("debugger");
    root->LinkEndChild(debugger);
    for (const LabBreakpoint& b : lab.breakpoints) {
        auto* e = new TiXmlElement("breakpoint");
        e->SetAttribute("at", b.at);
        debugger->LinkEndChild(e);
    }
    for (const LabWatch& w : lab.watches) {
        auto* e = new TiXmlElement("watch");
        e->SetAttribute("name", w.name);
        e->SetAttribute("format", w.format);
        debugger->LinkEndChild(e);
    }
}

}  // namespace

std::string formatLab(const Lab& lab) {
    TiXmlDocument doc;
    doc.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    auto* root = new TiXmlElement("quill-lab");
    root->SetAttribute("version", kFormatVersion);
    doc.LinkEndChild(root);
    child(root, "part", lab.part);
    if (!lab.board.empty()) child(root, "board", lab.board);
    char mhz[40];
    std::snprintf(mhz, sizeof mhz, "%.9g", lab.frequencyMHz);
    child(root, "clock-mhz", mhz);
    child(root, "firmware", lab.firmware);
    child(root, "pacing", lab.realTime ? "real-time" : "as-fast-as-possible");
    auto* windows = new TiXmlElement("windows");
    root->LinkEndChild(windows);
    for (const LabWindow& w : lab.windows) {
        auto* e = new TiXmlElement("window");
        e->SetAttribute("command", w.command);
        e->SetAttribute("title", w.title);
        if (!w.settings.empty()) e->SetAttribute("settings", w.settings);
        windows->LinkEndChild(e);
    }
    for (const LabSettings& s : lab.settings)
        child(root, "settings", s.settings)->SetAttribute("target", s.target);
    TiXmlElement* layout = child(root, "layout", lab.layout);
    if (!lab.layout.empty()) layout->SetAttribute("crc32", checksumOf(lab.layout));
    child(root, "geometry", lab.geometry);
    writeDebugger(root, lab);
    TiXmlPrinter printer;
    printer.SetIndent("  ");
    doc.Accept(&printer);
    return printer.CStr();
}

std::optional<Lab> parseLab(const std::string& text, std::string* error) {
    // What the XML reader is not given: a NUL byte, bytes that are no UTF-8
    // (the reader steps over the end of the text on a sequence cut short
    // there) and nesting far deeper than a lab's (it recurses per level).
    if (text.find('\0') != std::string::npos || !quill::text::IsUtf8(text)) {
        *error = "not a lab file: it is not UTF-8 text";
        return std::nullopt;
    }
    if (quill::partfile::scanXml(text, kMaxLabDepth).depth > kMaxLabDepth) {
        *error = "not a lab file: elements nest deeper than " + std::to_string(kMaxLabDepth) +
                 " levels";
        return std::nullopt;
    }
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (doc.Error()) {
        *error = std::string("not a lab file: ") + doc.ErrorDesc() + " (line " +
                 std::to_string(doc.ErrorRow()) + ")";
        return std::nullopt;
    }
    TiXmlElement* root = doc.RootElement();
    if (!root || std::string(root->Value()) != "quill-lab") {
        *error = "not a lab file: the document is no <quill-lab>";
        return std::nullopt;
    }
    // The format version is a whole number as written ("1"): "1abc" or
    // "1.9" is no version of this format, whatever number it starts with.
    const char* versionText = root->Attribute("version");
    if (!versionText) {
        *error = "not a lab file: <quill-lab> has no format version";
        return std::nullopt;
    }
    const std::string versionString = versionText;
    if (versionString.empty() || versionString.size() > 6 ||
        versionString.find_first_not_of("0123456789") != std::string::npos ||
        versionString[0] == '0') {
        *error = "not a lab file: its format version \"" + versionString +
                 "\" is not a whole number such as \"" + std::to_string(kFormatVersion) + "\"";
        return std::nullopt;
    }
    const int version = std::stoi(versionString);
    if (version > kFormatVersion) {
        *error = "the lab was saved by a newer quill-host (format " + std::to_string(version) +
                 "; this one reads format " + std::to_string(kFormatVersion) +
                 " and older)";
        return std::nullopt;
    }
    Lab lab;
    lab.part = textOf(root, "part");
    if (lab.part.empty()) {
        *error = "the lab names no part";
        return std::nullopt;
    }
    if (const TiXmlElement* clock = root->FirstChildElement("clock-mhz")) {
        // Text only: markup inside would be dropped, and the clock with it.
        const TiXmlNode* only = clock->FirstChild();
        if (!only || !only->ToText() || only->NextSibling()) {
            *error = "the lab's <clock-mhz> holds no plain number (line " +
                     std::to_string(clock->Row()) + ")";
            return std::nullopt;
        }
        const std::string mhz = only->Value();
        const std::optional<uint32_t> hz = quill::sim::readClockMHz(mhz);
        if (!hz) {
            *error = "the lab's clock \"" + mhz + "\" is not a clock in MHz " +
                     quill::sim::clockRangeMHz() + " (the simulator cannot time a slower one)";
            return std::nullopt;
        }
        lab.frequencyMHz = *hz / 1e6;
    }
    lab.firmware = textOf(root, "firmware");
    lab.board = textOf(root, "board");
    lab.realTime = textOf(root, "pacing") != "as-fast-as-possible";
    if (TiXmlElement* windows = root->FirstChildElement("windows")) {
        for (TiXmlElement* w = windows->FirstChildElement("window"); w;
             w = w->NextSiblingElement("window")) {
            const char* command = w->Attribute("command");
            const char* title = w->Attribute("title");
            if (!command || !*command) {
                *error = "a window of the lab names no command (line " +
                         std::to_string(w->Row()) + ")";
                return std::nullopt;
            }
            // Only a command that opens a component window: the others (the
            // About box, the Settings sheet) open dialogs, which a lab that
            // opens unattended, headless or at start-up, must not wait on.
            const CommandInfo* info = CommandInfoOf(std::string_view(command));
            if (!info || !IsComponentCommand(info->command)) {
                *error = std::string("a window of the lab names command \"") + command +
                         "\", which opens no component window (line " +
                         std::to_string(w->Row()) + ")";
                return std::nullopt;
            }
            if (lab.windows.size() == kMaxLabWindows) {
                *error = "the lab opens more than " + std::to_string(kMaxLabWindows) +
                         " windows (line " + std::to_string(w->Row()) + ")";
                return std::nullopt;
            }
            const char* settings = w->Attribute("settings");
            lab.windows.push_back({command, title ? title : "", settings ? settings : ""});
        }
    }
    for (TiXmlElement* s = root->FirstChildElement("settings"); s;
         s = s->NextSiblingElement("settings")) {
        const char* target = s->Attribute("target");
        if (!target || !*target) {
            *error = "settings of the lab name no target (line " + std::to_string(s->Row()) + ")";
            return std::nullopt;
        }
        lab.settings.push_back({target, s->GetText() ? s->GetText() : ""});
    }
    lab.layout = textOf(root, "layout");
    lab.geometry = textOf(root, "geometry");
    readDebugger(root, lab);
    if (const std::string what = notText(lab); !what.empty()) {
        *error = "not a lab file: " + what + " is not UTF-8 text";
        return std::nullopt;
    }
    checkLayout(root->FirstChildElement("layout"), lab);
    return lab;
}

bool saveLab(Lab lab, const std::string& path, std::string* error) {
    if (const std::string what = notText(lab); !what.empty()) {
        *error = "cannot save the lab: " + what + " is not UTF-8 text, which a lab file holds";
        return false;
    }
    if (!lab.firmware.empty()) {
        const fs::path folder = fs::absolute(path).parent_path().lexically_normal();
        const fs::path firmware = fs::absolute(lab.firmware).lexically_normal();
        const fs::path relative = firmware.lexically_relative(folder);
        // Below the lab's folder: relative, so the folder can move as one.
        if (!relative.empty() && *relative.begin() != "..") lab.firmware = relative.string();
        else lab.firmware = firmware.string();
    }
    // Only an earlier lab (or an empty file) is replaced.
    static const quill::files::FileKind kLab{
        "lab", "a lab (its root element is not <quill-lab>)",
        [](std::string_view head) { return quill::files::xmlRootIs(head, "quill-lab"); }};
    return quill::files::replaceFile(path, formatLab(lab), kLab, error);
}

std::optional<Lab> loadLab(const std::string& path, std::string* error,
                           const std::vector<std::string>& searchFolders) {
    std::string bytes;
    if (!quill::files::readRegularFile(path, kMaxLabBytes, "lab", &bytes, error))
        return std::nullopt;
    std::string why;
    std::optional<Lab> lab = parseLab(bytes, &why);
    if (!lab) {
        *error = "cannot open the lab \"" + path + "\": " + why;
        return std::nullopt;
    }
    if (lab->firmware.empty()) {
        *error = "cannot open the lab \"" + path + "\": it names no firmware";
        return std::nullopt;
    }
    // Beside the lab, then the host's folders: a lab handed out with its
    // program, or opened where it lies in a source tree whose programs are
    // built elsewhere.
    const fs::path given = lab->firmware;
    std::vector<fs::path> places{given.is_relative() ? fs::absolute(path).parent_path() / given
                                                     : given};
    if (given.is_relative()) {
        for (const std::string& folder : searchFolders)
            if (!folder.empty()) places.push_back(fs::absolute(fs::path(folder) / given));
    }
    std::vector<std::string> looked, shown;
    std::string firstReason;
    for (fs::path& place : places) {
        const std::string candidate = place.lexically_normal().string();
        if (std::find(looked.begin(), looked.end(), candidate) != looked.end()) continue;
        const std::string reason = quill::files::notRegularReason(candidate);
        if (reason.empty()) {
            lab->firmware = candidate;
            return lab;
        }
        if (looked.empty()) firstReason = reason;
        looked.push_back(candidate);
        // There, but no program: a folder, a FIFO.
        if (reason.rfind("is ", 0) == 0) shown.push_back(candidate + " (" + reason + ")");
        else shown.push_back(candidate);
    }
    const std::string what = "cannot open the lab \"" + path + "\": its firmware \"";
    if (looked.size() == 1) {
        *error = what + looked.front() + "\" " +
                 (firstReason.rfind("is ", 0) == 0 ? firstReason : "cannot be read: " + firstReason);
    } else {
        std::string list;
        for (const std::string& place : shown) list += (list.empty() ? "" : ", ") + place;
        *error = what + lab->firmware + "\" was not found beside the lab nor in the host's " +
                 "firmware folders (looked for " + list + ")";
    }
    return std::nullopt;
}

}  // namespace quill::lab

#include "host/scenario/OpenWindows.h"

#include "host/scenario/Values.h"
#include "platform/text.h"

namespace quill::scenario {

const std::string& OpenWindows::open(ComponentKind kind) {
    if (kind == ComponentKind::StackView && opened_[kind] > 0)
        throw LineError{"the Stack view is already open (there is only one)"};
    return add(kind);
}

const std::string& OpenWindows::add(ComponentKind kind) {
    const int count = ++opened_[kind];
    std::string window = baseName(kind);
    if (count > 1) window += " " + std::to_string(count);
    windows_.push_back(Window{window, kind, {}});
    return windows_.back().name;
}

OpenWindows::Window& OpenWindows::named(const Token& token) {
    for (Window& w : windows_)
        if (text::EqualsIgnoreCase(w.name, token.text)) return w;
    std::string list;
    for (const Window& w : windows_) list += (list.empty() ? "" : ", ") + inQuotes(w.name);
    throw LineError{
        "no window named " + inQuotes(token.text) +
        (list.empty() ? std::string(" (no window is open)") : " (open windows: " + list + ")")};
}

OpenWindows::Window& OpenWindows::named(const Token& token, ComponentKind kind,
                                        const std::string& what) {
    Window& w = named(token);
    if (w.kind != kind) throw LineError{"window " + inQuotes(w.name) + " is not " + what};
    return w;
}

}  // namespace quill::scenario

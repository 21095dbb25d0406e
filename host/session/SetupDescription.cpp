#include "host/session/SetupDescription.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::string childText(const TiXmlElement* parent, const char* name) {
    const TiXmlElement* e = parent ? parent->FirstChildElement(name) : nullptr;
    if (!e || !e->GetText()) return {};
    return e->GetText();
}

bool isTrue(const std::string& text) { return text == "TRUE" || text == "true"; }

// Reads a list child; an absent child gives an empty list, a malformed one
// an error.
bool readList(const TiXmlElement* parent, const char* name, const std::string& where,
              std::vector<std::string>* out, std::string* error) {
    const TiXmlElement* e = parent->FirstChildElement(name);
    if (!e) {
        out->clear();
        return true;
    }
    auto items = ParseSetupList(e->GetText() ? e->GetText() : "");
    if (!items) {
        *error = where + "/" + name + ": not a list of the form [A:B]";
        return false;
    }
    *out = std::move(*items);
    return true;
}

}  // namespace

int SetupDescription::commandIndex(const std::string& id) const {
    auto it = std::find(commands.begin(), commands.end(), id);
    return it == commands.end() ? -1 : static_cast<int>(it - commands.begin());
}

std::optional<std::vector<std::string>> ParseSetupList(const std::string& text) {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return std::nullopt;
    std::vector<std::string> items;
    std::string inner = text.substr(1, text.size() - 2);
    if (inner.empty()) return items;
    size_t start = 0;
    for (;;) {
        size_t colon = inner.find(':', start);
        std::string item =
            inner.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (item.empty()) return std::nullopt;
        items.push_back(item);
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return items;
}

std::optional<SetupDescription> ParseSetupDescription(const std::string& xml, std::string* error) {
    std::string scratch;
    if (!error) error = &scratch;
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    if (doc.Error()) {
        *error = std::string("setup description is not well-formed XML: ") + doc.ErrorDesc();
        return std::nullopt;
    }
    const TiXmlElement* root = doc.RootElement();
    if (!root || std::string(root->Value()) != "GUI_PLUGIN") {
        *error = "setup description has no GUI_PLUGIN root element";
        return std::nullopt;
    }

    SetupDescription setup;
    const TiXmlElement* framework = root->FirstChildElement("FRAMEWORK");
    if (!framework) {
        *error = "setup description has no FRAMEWORK element";
        return std::nullopt;
    }
    setup.frameworkName = childText(framework, "NAME");
    if (!readList(framework, "COMMAND_LIST", "FRAMEWORK", &setup.commands, error)) {
        return std::nullopt;
    }

    if (const TiXmlElement* menus = root->FirstChildElement("MENUS")) {
        std::vector<std::string> names;
        if (!readList(menus, "MENU_NAMES", "MENUS", &names, error)) return std::nullopt;
        for (const std::string& name : names) {
            const TiXmlElement* m = menus->FirstChildElement(name.c_str());
            if (!m) continue;
            SetupMenu menu;
            menu.parent = name;
            menu.text = childText(m, "MENU_TEXT");
            menu.subMenu = isTrue(childText(m, "SUB_MENU"));
            std::vector<std::string> entryNames;
            if (!readList(m, "MENU_NAMES", name, &entryNames, error)) return std::nullopt;
            // Entries appear in the order of their elements; listed names
            // without an element get no entry.
            for (const TiXmlElement* e = m->FirstChildElement(); e; e = e->NextSiblingElement()) {
                std::string id = e->Value();
                if (std::find(entryNames.begin(), entryNames.end(), id) == entryNames.end()) {
                    continue;
                }
                SetupMenuEntry entry;
                entry.id = childText(e, "COMMAND_ID");
                if (entry.id.empty()) entry.id = id;
                entry.command = setup.commandIndex(entry.id);
                if (entry.command < 0) {
                    *error = name + "/" + id + ": command " + entry.id +
                             " is not in the framework's command list";
                    return std::nullopt;
                }
                entry.text = childText(e, "MENU_TEXT");
                entry.tooltip = childText(e, "TOOLTIP_HELP");
                entry.separatorAfter = childText(e, "SEPARATOR") == "AFTER";
                menu.entries.push_back(entry);
            }
            setup.menus.push_back(std::move(menu));
        }
    }

    if (const TiXmlElement* toolbars = root->FirstChildElement("TOOLBARS")) {
        std::vector<std::string> names;
        if (!readList(toolbars, "TOOLBAR_NAMES", "TOOLBARS", &names, error)) return std::nullopt;
        for (const std::string& name : names) {
            const TiXmlElement* t = toolbars->FirstChildElement(name.c_str());
            if (!t) continue;
            SetupToolbar toolbar;
            toolbar.name = name;
            std::vector<std::string> ids;
            if (!readList(t, "COMMAND_LIST", name, &ids, error)) return std::nullopt;
            for (const std::string& id : ids) {
                const TiXmlElement* b = t->FirstChildElement(id.c_str());
                if (!b) continue;
                SetupToolbarButton button;
                button.id = childText(b, "COMMAND_ID");
                if (button.id.empty()) button.id = id;
                button.command = setup.commandIndex(button.id);
                if (button.command < 0) {
                    *error = name + "/" + id + ": command " + button.id +
                             " is not in the framework's command list";
                    return std::nullopt;
                }
                std::string bitmap = childText(b, "BITMAPID");
                if (!bitmap.empty()) {
                    char* end = nullptr;
                    long value = std::strtol(bitmap.c_str(), &end, 10);
                    if (*end != '\0' || value <= 0 || value > 65535) {
                        *error = name + "/" + id + ": BITMAPID \"" + bitmap + "\" is not a number";
                        return std::nullopt;
                    }
                    button.bitmapId = static_cast<int>(value);
                }
                button.tooltip = childText(b, "TOOLTIP_HELP");
                toolbar.buttons.push_back(button);
            }
            setup.toolbars.push_back(std::move(toolbar));
        }
    }
    return setup;
}

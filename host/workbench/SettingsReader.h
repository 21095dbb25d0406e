// Reads a settings dialog back into the key=value text of a `settings`
// scenario line, and turns a parsed `settings` line into the changes that
// fill the dialog in. Both go through the one key <-> control table of
// host/scenario/SettingKeys.h, so what is read here, applied to a fresh
// bench, gives the same dialog.
//
// How to call it:
//   QString why;
//   std::optional<std::string> text = driver::readSettings(bench, "LED 2", &why);
//   // *text == "port=B pin=3 mode=ddrport activelow=1"; nothing and why on failure
//   quill::scenario::settingsLine("LED 2", pairs) makes the whole line.
// The window is opened through its context menu's "Settings...", read and
// cancelled, exactly as a user would, but off the screen (so is the dialog
// applySettings fills in; a message box it raises shows); nothing changes (a Switch's pin,
// which its dialog flips on closing, is flipped back at once). The names
// "electrical" and "general" read those pages of the plug-in's Settings
// sheet instead. A caller that already holds the dialog (at the moment the
// user confirms it, say) reads it with readDialog.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "host/workbench/ComponentDriver.h"
#include "host/scenario/SettingKeys.h"

class HostBench;

namespace driver {

// The settings of window `name` (or the sheet "electrical"/"general") as
// key=value pairs, in the table's order. Nothing, with *error, when there
// is no such bench, it has no settings, or its dialog does not open.
std::optional<quill::scenario::SettingPairs> readSettingPairs(HostBench& bench, const QString& name,
                                                              QString* error);
// The same as the text after the window name of a `settings` line.
std::optional<std::string> readSettings(HostBench& bench, const QString& name, QString* error);

// The values `fields` show in an open dialog. A control that is missing,
// disabled (the dialog would not take a value there) or shows nothing (a
// port list before a part is known) leaves its key out.
quill::scenario::SettingPairs readDialog(QDialog* dialog,
                                         const std::vector<quill::scenario::SettingField>& fields);

// Applies `text` (the key=value part of a `settings` line) to window `name`
// (or the sheet "electrical"/"general") exactly as a scenario's `settings`
// line does: parsed by the scenario parser, filled into the dialog, OK.
// False with *error saying why (a key or value the parser refuses, a value
// the dialog does not offer or refuses on OK); the dialog is then cancelled.
// A Switch flips its pin whenever its dialog closes, by OK or Cancel, as a
// scenario's `settings` line expects; with `flipBack` (a lab being opened)
// a click on its lever flips it back before anything else happens.
bool applySettings(HostBench& bench, const QString& name, const std::string& text, QString* error,
                   bool flipBack = false);

// The dialog changes of a parsed `settings` line.
std::vector<DialogInput> dialogInputs(const std::vector<quill::scenario::SettingField>& fields,
                                      const quill::scenario::SettingPairs& pairs);

}  // namespace driver

// The keys of a `settings` line and the dialog controls behind them: one
// table per settings dialog (each component kind that has one, and the
// plug-in's Settings sheet pages "electrical" and "general"). Both
// directions use it: a parsed `settings` command becomes the control
// changes that fill the dialog in (settingInputs), and the host reads a
// dialog's controls back into key=value text (host/workbench/SettingsReader.h)
// that a `settings` line accepts. Toolkit-free.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/scenario/Scenario.h"

namespace quill::scenario {

// How a key's value sits in the dialog.
enum class FieldKind {
    Port,           // a combo box of ports ("PINB"/"PORTB"); the value is the letter, "B"
    Text,           // a combo box item or edit box text: `prefix` + value ("ADC" + "3")
    Check,          // a check box: value `on` when ticked, `off` when cleared
    Radios,         // radio buttons, one per value (`choices`)
    PortPinCombos,  // a port combo box and a pin combo box ("0".."7"): value "A1"
    PortPinRadios,  // a port combo box and eight pin radio buttons (`choices`): value "C0"
    PinCombo,       // a combo box of the part's pins ("PB4"): value "B4", or "none" where offered
    Volts,          // a trackbar in hundredths of a volt; value in volts, "2.56"
    PinList,        // pin combo boxes (`choices`, in order) listing "PD7" (with a board
                    // "PD7 (D7)"); value "PD7,PD6,PC0"
};

struct FieldChoice {
    std::string value;
    int control;
};

struct SettingField {
    std::string key;
    FieldKind kind;
    int control;    // the control; for the PortPin kinds the port combo box
    int page = 0;   // the property sheet page holding it (0: the dialog itself)
    std::string prefix = {};           // Text
    std::vector<FieldChoice> choices = {};  // Radios, PortPinRadios (pins 0..7 in order), PinList
    int pinCombo = 0;                  // PortPinCombos
    std::string on = "1", off = "0";   // Check
    // A check box that must be ticked (cleared, with enablerTicked false)
    // before the control takes a value: the Volts trackbar that moves only
    // with it ticked, the LCD's data lists that apply only pin by pin.
    int enabler = 0;
    bool enablerTicked = true;
};

// The fields of a component kind's settings dialog in the order the dialog
// is filled in; empty for a kind without settings (Stack view).
const std::vector<SettingField>& settingFields(ComponentKind kind);
// The plug-in Settings sheet's pages: "electrical" or "general"; null for
// another name.
const std::vector<SettingField>* sheetFields(const std::string& sheet);

using SettingPairs = std::vector<std::pair<std::string, std::string>>;

// The settings that put a window of `kind` back on the set-up that reads
// back as no settings at all: the keypad's fixed wiring, `wiring=fixed`.
// Empty for a kind whose dialog always reads back.
SettingPairs restoringPairs(ComponentKind kind);

// A parsed command as key=value pairs, in the table's order.
SettingPairs settingPairs(const SettingsCommand& command);
SettingPairs settingPairs(const ElectricalCommand& command);
SettingPairs settingPairs(const GeneralCommand& command);

// One change to a settings dialog (see driver::DialogInput): a combo box
// item ("@B" for port B), a check box "1"/"0", a trackbar position, an edit
// box text, or a click (empty value).
struct SettingInput {
    int control;
    std::string value;
    int page;
};

// The dialog changes that give `fields` the values of `pairs`, in the
// fields' order; keys without a field are ignored (the parser has already
// refused them).
std::vector<SettingInput> settingInputs(const std::vector<SettingField>& fields,
                                        const SettingPairs& pairs);

// "port=B pin=3": the text after the window name of a `settings` line.
std::string formatSettings(const SettingPairs& pairs);
// The whole line: settings "LED 2" port=B pin=3 (a sheet name unquoted).
std::string settingsLine(const std::string& window, const SettingPairs& pairs);

// The kind of the window the host named `title` ("LED 2" -> Led): its
// base name, alone or followed by a number, which goes to *number (1 when
// there is none).
std::optional<ComponentKind> kindOfWindow(const std::string& title, int* number = nullptr);

}  // namespace quill::scenario

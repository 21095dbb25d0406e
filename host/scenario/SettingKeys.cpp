#include "host/scenario/SettingKeys.h"

#include <array>
#include <cmath>

#include "contract/ResourceIds.h"
#include "host/scenario/Values.h"

namespace quill::scenario {

namespace {

template <std::size_t N>
std::vector<FieldChoice> pinChoices(const std::array<int, N>& controls) {
    std::vector<FieldChoice> choices;
    for (std::size_t bit = 0; bit < N; ++bit)
        choices.push_back({std::to_string(bit), controls[bit]});
    return choices;
}

std::vector<FieldChoice> portSettingsPins() {
    std::array<int, 8> controls{};
    for (int bit = 0; bit < 8; ++bit) controls[static_cast<std::size_t>(bit)] = ids::port_settings::kPin0 + bit;
    return pinChoices(controls);
}

// The pin-bound dialogs' pin and mode groups and active-low check box.
SettingField pinField() { return {"pin", FieldKind::Radios, 0, 0, {}, portSettingsPins()}; }
SettingField modeField() {
    return {"mode", FieldKind::Radios, 0, 0, {},
            {{"pin", ids::port_settings::kUsePin}, {"ddrport", ids::port_settings::kUseDdrAndPort}}};
}

SettingField channelField() {
    return {"channel", FieldKind::Text, ids::slider::kChannelList, ids::slider::kGeneralPage, "ADC"};
}

SettingField check(const std::string& key, int control, const std::string& on = "1",
                   const std::string& off = "0", int page = 0) {
    SettingField field{key, FieldKind::Check, control, page};
    field.on = on;
    field.off = off;
    return field;
}

std::vector<SettingField> singlePort(int portCombo) {
    return {{"port", FieldKind::Port, portCombo}, pinField(), modeField(),
            check("activelow", ids::port_settings::kActiveLow)};
}

std::vector<SettingField> knightRider() {
    namespace k = ids::knightrider;
    return {{"output", FieldKind::Port, k::kOutputPortCombo},
            {"input", FieldKind::Port, k::kInputPortCombo},
            pinField(),
            modeField()};
}

// The LCD's dialog judges the whole configuration on OK; the order is the
// one the dialog is read in. The data lines sit on consecutive pins (data,
// nibble) or each on a pin of its own (d0..d7, with "Pin by pin" ticked);
// the dialog enables only the lists of the wiring it shows, so a dialog
// reads back as one or the other.
std::vector<SettingField> lcd() {
    namespace l = ids::lcd;
    SettingField data{"data", FieldKind::Port, l::kDataPort};
    SettingField nibble = check("nibble", l::kHighNibble, "high", "low");
    for (SettingField* f : {&data, &nibble}) {
        f->enabler = l::kPinByPin;
        f->enablerTicked = false;
    }
    std::vector<SettingField> fields = {{"size", FieldKind::Text, l::kScreenSize},
                                        {"lines", FieldKind::Text, l::kLines},
                                        {"zoom", FieldKind::Text, l::kZoom},
                                        check("bits", l::kFourBitInterface, "4", "8"),
                                        check("pinreg", l::kUsePinRegister),
                                        check("trace", l::kTrace),
                                        data,
                                        nibble,
                                        {"e", FieldKind::PinCombo, l::kEnablePin},
                                        {"rs", FieldKind::PinCombo, l::kRsPin},
                                        {"rw", FieldKind::PinCombo, l::kRwPin}};
    for (int d = 0; d < 8; ++d) {
        SettingField line{"d" + std::to_string(d), FieldKind::PinCombo, l::kDataPin0 + d};
        line.enabler = l::kPinByPin;
        fields.push_back(line);
    }
    return fields;
}

std::vector<SettingField> slider() {
    namespace s = ids::slider;
    return {channelField(),
            {"reference", FieldKind::Radios, 0, s::kGeneralPage, {},
             {{"aref", s::kUseAref}, {"avcc", s::kUseAvcc}, {"internal", s::kUseInternalVref}}}};
}

std::vector<SettingField> capacity() {
    namespace c = ids::capacity;
    return {{"port", FieldKind::Port, c::kPortCombo},
            {"pin", FieldKind::Radios, 0, 0, {}, pinChoices(c::kPins)},
            {"capacitance", FieldKind::Text, c::kCapacitanceEdit}};
}

std::vector<SettingField> beerbasement() {
    namespace b = ids::beerbasement;
    constexpr int page = b::kSettingsPage;
    auto output = [](const std::string& key, int port, const std::array<int, 8>& pins) {
        return SettingField{key, FieldKind::PortPinRadios, port, page, {}, pinChoices(pins)};
    };
    return {output("heater", b::kHeaterPort, b::kHeaterPins),
            output("cooler", b::kCoolerPort, b::kCoolerPins),
            output("status", b::kStatusPort, b::kStatusPins),
            {"mode", FieldKind::Radios, 0, page, {},
             {{"pin", b::kUsePin}, {"ddrport", b::kUseDdrAndPort}}},
            channelField()};
}

// The keypad's wiring dialog: "Wire pin by pin" first, which enables the
// lines' pin lists.
std::vector<SettingField> keypad() {
    namespace k = ids::keypad;
    auto lines = [](const std::string& key, int first, int count) {
        SettingField field{key, FieldKind::PinList, 0};
        for (int i = 0; i < count; ++i) field.choices.push_back({std::to_string(i), first + i});
        return field;
    };
    // The fixed wiring reads back as nothing, as a keypad read before it
    // had a dialog: labs and recordings keep only a wiring by pins.
    return {check("wiring", k::kPinWiring, "pins", ""), lines("cols", k::kFirstColumn, 3),
            lines("rows", k::kFirstRow, 4)};
}

// Vcc first (it moves AVcc and Vref), then AVcc (it moves Vref), Vref, and
// ARef, which moves only while "external voltage on AREF" is ticked; the
// check box then ends as `extaref` says.
std::vector<SettingField> electrical() {
    namespace e = ids::electrical;
    auto volts = [](const std::string& key, int control) {
        return SettingField{key, FieldKind::Volts, control, e::kPage};
    };
    SettingField aref = volts("aref", e::kAref);
    aref.enabler = e::kExternalAref;
    return {volts("vcc", e::kVcc), volts("avcc", e::kAvcc), volts("vref", e::kVref), aref,
            check("extaref", e::kExternalAref, "1", "0", e::kPage)};
}

// "Disable warning dialog(s)." ticked is warnings=off.
std::vector<SettingField> general() {
    return {check("warnings", ids::settings::kDisableWarnings, "off", "on",
                  ids::settings::kGeneralPage)};
}

const std::string* valueOf(const SettingPairs& pairs, const std::string& key) {
    for (const auto& [k, v] : pairs)
        if (k == key) return &v;
    return nullptr;
}

std::string portPin(const PortPin& p) { return std::string(1, p.port) + std::to_string(p.bit); }

// Volts to the hundredth, "2.56", whatever the locale.
std::string volts(double v) {
    const long h = std::lround(v * 100.0);
    const std::string cents = std::to_string(h % 100);
    return std::to_string(h / 100) + "." + (cents.size() < 2 ? "0" : "") + cents;
}

}  // namespace

const std::vector<SettingField>& settingFields(ComponentKind kind) {
    static const std::vector<SettingField> none;
    static const std::vector<SettingField> led = singlePort(ids::led::kPortCombo);
    static const std::vector<SettingField> sw = singlePort(ids::sw::kPortCombo);
    static const std::vector<SettingField> bar = knightRider();
    static const std::vector<SettingField> display = lcd();
    static const std::vector<SettingField> slide = slider();
    static const std::vector<SettingField> cap = capacity();
    static const std::vector<SettingField> cellar = beerbasement();
    static const std::vector<SettingField> pad = keypad();
    switch (kind) {
        case ComponentKind::Led: return led;
        case ComponentKind::Switch: return sw;
        case ComponentKind::KnightRider: return bar;
        case ComponentKind::Lcd: return display;
        case ComponentKind::Slider: return slide;
        case ComponentKind::CapacityMeasurement: return cap;
        case ComponentKind::Beerbasement: return cellar;
        case ComponentKind::Keypad: return pad;
        default: return none;
    }
}

const std::vector<SettingField>* sheetFields(const std::string& sheet) {
    static const std::vector<SettingField> page = electrical();
    static const std::vector<SettingField> warnings = general();
    if (sheet == "electrical") return &page;
    if (sheet == "general") return &warnings;
    return nullptr;
}

SettingPairs restoringPairs(ComponentKind kind) {
    if (kind == ComponentKind::Keypad) return {{"wiring", "fixed"}};
    return {};
}

SettingPairs settingPairs(const SettingsCommand& c) {
    SettingPairs p;
    auto letter = [](char port) { return std::string(1, port); };
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    auto mode = [](PinMode m) { return std::string(m == PinMode::Pin ? "pin" : "ddrport"); };
    if (c.port) p.emplace_back("port", letter(*c.port));
    if (c.outputPort) p.emplace_back("output", letter(*c.outputPort));
    if (c.inputPort) p.emplace_back("input", letter(*c.inputPort));
    if (c.pin) p.emplace_back("pin", std::to_string(*c.pin));
    if (c.mode) p.emplace_back("mode", mode(*c.mode));
    if (c.activeLow) p.emplace_back("activelow", flag(*c.activeLow));
    const LcdSettings& l = c.lcd;
    if (l.size) p.emplace_back("size", std::to_string(*l.size));
    if (l.lines) p.emplace_back("lines", std::to_string(*l.lines));
    if (l.zoom) p.emplace_back("zoom", std::to_string(*l.zoom));
    if (l.fourBits) p.emplace_back("bits", *l.fourBits ? "4" : "8");
    if (l.pinRegister) p.emplace_back("pinreg", flag(*l.pinRegister));
    if (l.trace) p.emplace_back("trace", flag(*l.trace));
    if (l.data) p.emplace_back("data", letter(*l.data));
    if (l.highNibble) p.emplace_back("nibble", *l.highNibble ? "high" : "low");
    if (l.enable) p.emplace_back("e", portPin(*l.enable));
    if (l.rs) p.emplace_back("rs", portPin(*l.rs));
    if (l.rw) p.emplace_back("rw", portPin(*l.rw));
    if (l.rwNone) p.emplace_back("rw", "none");
    for (int d = 0; d < 8; ++d)
        if (const auto& pin = l.dataPins[static_cast<std::size_t>(d)])
            p.emplace_back("d" + std::to_string(d), portPin(*pin));
    // Port pins with their P: after a board line "A0" or "D5" would be the
    // board's names (on a Mega PF0 and PE3).
    if (c.heater) p.emplace_back("heater", "P" + portPin(*c.heater));
    if (c.cooler) p.emplace_back("cooler", "P" + portPin(*c.cooler));
    if (c.status) p.emplace_back("status", "P" + portPin(*c.status));
    if (c.channel) p.emplace_back("channel", std::to_string(*c.channel));
    if (c.reference)
        p.emplace_back("reference", *c.reference == Reference::Aref   ? "aref"
                                    : *c.reference == Reference::Avcc ? "avcc"
                                                                      : "internal");
    if (c.capacitance) p.emplace_back("capacitance", std::to_string(*c.capacitance));
    // The keypad's pins as port pins with their P, so that they mean the
    // same after a board line (D7 is a board's name there).
    auto pinList = [](const std::vector<PortPin>& pins) {
        std::string text;
        for (const PortPin& q : pins) text += (text.empty() ? "P" : ",P") + portPin(q);
        return text;
    };
    if (c.keypadByPins) p.emplace_back("wiring", *c.keypadByPins ? "pins" : "fixed");
    if (c.keypadColumns) p.emplace_back("cols", pinList(*c.keypadColumns));
    if (c.keypadRows) p.emplace_back("rows", pinList(*c.keypadRows));
    return p;
}

SettingPairs settingPairs(const ElectricalCommand& c) {
    SettingPairs p;
    if (c.vcc) p.emplace_back("vcc", volts(*c.vcc));
    if (c.avcc) p.emplace_back("avcc", volts(*c.avcc));
    if (c.vref) p.emplace_back("vref", volts(*c.vref));
    if (c.aref) p.emplace_back("aref", volts(*c.aref));
    if (c.externalAref) p.emplace_back("extaref", *c.externalAref ? "1" : "0");
    return p;
}

SettingPairs settingPairs(const GeneralCommand& c) {
    SettingPairs p;
    if (c.warnings) p.emplace_back("warnings", *c.warnings ? "on" : "off");
    return p;
}

std::vector<SettingInput> settingInputs(const std::vector<SettingField>& fields,
                                        const SettingPairs& pairs) {
    std::vector<SettingInput> in;
    for (const SettingField& f : fields) {
        const std::string* value = valueOf(pairs, f.key);
        if (!value || value->empty()) continue;
        const std::string& v = *value;
        auto choice = [&f](const std::string& wanted) -> const FieldChoice* {
            for (const FieldChoice& c : f.choices)
                if (c.value == wanted) return &c;
            return nullptr;
        };
        if (f.enabler) in.push_back({f.enabler, f.enablerTicked ? "1" : "0", f.page});
        switch (f.kind) {
            case FieldKind::Port:
                in.push_back({f.control, "@" + v.substr(0, 1), f.page});
                break;
            case FieldKind::Text:
                in.push_back({f.control, f.prefix + v, f.page});
                break;
            case FieldKind::Check:
                in.push_back({f.control, v == f.on ? "1" : "0", f.page});
                break;
            case FieldKind::Radios:
                if (const FieldChoice* c = choice(v)) in.push_back({c->control, {}, f.page});
                break;
            case FieldKind::PortPinCombos:
                in.push_back({f.control, "@" + v.substr(0, 1), f.page});
                in.push_back({f.pinCombo, v.substr(1), f.page});
                break;
            case FieldKind::PortPinRadios: {
                // "C0" or "PC0".
                const std::string pin = v.size() == 3 && (v[0] == 'P' || v[0] == 'p') ? v.substr(1) : v;
                in.push_back({f.control, "@" + pin.substr(0, 1), f.page});
                if (const FieldChoice* c = choice(pin.substr(1)))
                    in.push_back({c->control, {}, f.page});
                break;
            }
            case FieldKind::PinCombo:
                in.push_back({f.control, "@" + v, f.page});
                break;
            case FieldKind::PinList: {
                std::size_t from = 0;
                for (const FieldChoice& c : f.choices) {
                    if (from > v.size()) break;
                    const std::size_t comma = v.find(',', from);
                    const std::size_t end = comma == std::string::npos ? v.size() : comma;
                    in.push_back({c.control, v.substr(from, end - from), f.page});
                    from = end + 1;
                }
                break;
            }
            case FieldKind::Volts: {
                const double level = parseDecimal(v, f.key);
                in.push_back({f.control, std::to_string(std::lround(level * 100.0)), f.page});
                break;
            }
        }
    }
    return in;
}

std::string formatSettings(const SettingPairs& pairs) {
    std::string text;
    for (const auto& [key, value] : pairs) text += (text.empty() ? "" : " ") + key + "=" + value;
    return text;
}

std::string settingsLine(const std::string& window, const SettingPairs& pairs) {
    const std::string target = sheetFields(window) ? window : inQuotes(window);
    return "settings " + target + " " + formatSettings(pairs);
}

std::optional<ComponentKind> kindOfWindow(const std::string& title, int* number) {
    for (ComponentKind kind :
         {ComponentKind::Led, ComponentKind::Switch, ComponentKind::KnightRider,
          ComponentKind::Keypad, ComponentKind::StackView, ComponentKind::Lcd,
          ComponentKind::Slider, ComponentKind::CapacityMeasurement, ComponentKind::Beerbasement}) {
        const std::string base = baseName(kind);
        if (title.compare(0, base.size(), base) != 0) continue;
        const std::string rest = title.substr(base.size());
        bool numbered = rest.size() > 1 && rest[0] == ' ';
        for (std::size_t i = 1; numbered && i < rest.size(); ++i)
            numbered = rest[i] >= '0' && rest[i] <= '9';
        if (!rest.empty() && !numbered) continue;
        // The n-th window of its kind; a number past three digits is none
        // the host gives.
        if (number) *number = numbered && rest.size() <= 4 ? std::stoi(rest.substr(1)) : 1;
        return kind;
    }
    return std::nullopt;
}

}  // namespace quill::scenario

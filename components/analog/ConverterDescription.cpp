#include "components/analog/ConverterDescription.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace adc {

namespace {

BitPlace Bit(const char* name, const char* reg, int bit) { return {name, reg, bit}; }

InputSelection Single(int channel) { return {InputSelection::SingleEnded, channel, 0, 1, 0}; }
InputSelection Pair(int positive, int negative, int gain) {
    return {InputSelection::Differential, positive, negative, gain, 0};
}

}  // namespace

ConverterDescription ClassicConverter(int channels) {
    ConverterDescription d;
    d.channels = channels;
    d.mux = {Bit("MUX4", "ADMUX", 4), Bit("MUX3", "ADMUX", 3), Bit("MUX2", "ADMUX", 2),
             Bit("MUX1", "ADMUX", 1), Bit("MUX0", "ADMUX", 0)};
    d.reference = {Bit("REFS1", "ADMUX", 7), Bit("REFS0", "ADMUX", 6)};
    d.trigger = {Bit("ADTS2", "SFIOR", 7), Bit("ADTS1", "SFIOR", 6), Bit("ADTS0", "SFIOR", 5)};
    d.freeRunning = Bit("ADATE", "ADCSRA", 5);
    d.inputs.resize(32);
    for (int n = 0; n < 8; ++n) d.inputs[static_cast<size_t>(n)] = Single(n);
    d.inputs[8] = Pair(0, 0, 10);
    d.inputs[9] = Pair(1, 0, 10);
    d.inputs[10] = Pair(0, 0, 200);
    d.inputs[11] = Pair(1, 0, 200);
    d.inputs[12] = Pair(2, 2, 10);
    d.inputs[13] = Pair(3, 2, 10);
    d.inputs[14] = Pair(2, 2, 200);
    d.inputs[15] = Pair(3, 2, 200);
    for (int n = 0; n < 8; ++n) d.inputs[static_cast<size_t>(16 + n)] = Pair(n, 1, 1);
    for (int n = 0; n < 6; ++n) d.inputs[static_cast<size_t>(24 + n)] = Pair(n, 2, 1);
    d.inputs[30] = {InputSelection::Bandgap, 0, 0, 1, 1.22};
    d.inputs[31] = {InputSelection::Ground, 0, 0, 1, 0};
    d.references.resize(4);
    d.references[0].source = ReferenceSelection::Aref;
    d.references[1].source = ReferenceSelection::Avcc;
    d.references[3] = {ReferenceSelection::Vref, 2.56, true};
    return d;
}

namespace {

std::string textOf(const TiXmlElement* e) {
    const char* t = e ? e->GetText() : nullptr;
    std::string s = t ? t : "";
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// A whole decimal number lo..hi.
bool parseInt(const std::string& text, int lo, int hi, int* out) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const int value = std::atoi(text.c_str());
    if (value < lo || value > hi) return false;
    *out = value;
    return true;
}

// A voltage 0 < v <= 10 written with a decimal point ("1.1", "0.314").
bool parseVolts(const std::string& text, double* out) {
    if (text.empty() || text.size() > 12 ||
        !std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) {
        return false;
    }
    // Not strtod: it would read "1,1" in a decimal-comma locale as 1.
    double value = 0, scale = 0;
    for (char c : text) {
        if (c == '.') {
            if (scale != 0) return false;
            scale = 1;
        } else if (scale == 0) {
            value = value * 10 + (c - '0');
        } else {
            scale /= 10;
            value += (c - '0') * scale;
        }
    }
    if (!(value > 0) || value > 10) return false;
    *out = value;
    return true;
}

// "ADC12" -> 12.
bool parseChannel(const std::string& text, int* out) {
    return text.size() > 3 && text.compare(0, 3, "ADC") == 0 &&
           parseInt(text.substr(3), 0, kMaxChannels - 1, out);
}

// The selection number of "<prefix><n>".
bool selectionOf(const std::string& tag, std::string_view prefix, int* out) {
    return tag.size() > prefix.size() && tag.compare(0, prefix.size(), prefix) == 0 &&
           parseInt(tag.substr(prefix.size()), 0, (1 << kMaxFieldBits) - 1, out);
}

class Reader {
public:
    explicit Reader(const TiXmlElement* section) : section_(section) {}

    std::optional<ConverterDescription> read(std::string* error) {
        ConverterDescription d;
        if (!parseInt(textOf(section_->FirstChildElement("CHANNELS")), 1, kMaxChannels,
                      &d.channels)) {
            return fail(error, "has no CHANNELS count 1.." + std::to_string(kMaxChannels) +
                                   " (\"" + textOf(section_->FirstChildElement("CHANNELS")) +
                                   "\")");
        }
        std::string why;
        if (!field("MUX_BITS", true, &d.mux, &why) ||
            !field("REFERENCE_BITS", true, &d.reference, &why) ||
            !field("TRIGGER_BITS", false, &d.trigger, &why) ||
            !single("FREE_RUNNING_BIT", true, &d.freeRunning, &why) ||
            !optionalSingle("BIPOLAR_BIT", &d.bipolar, &why) ||
            !optionalSingle("REVERSAL_BIT", &d.reversal, &why) || !inputs(&d, &why) ||
            !references(&d, &why)) {
            return fail(error, why);
        }
        return d;
    }

private:
    static std::optional<ConverterDescription> fail(std::string* error, const std::string& why) {
        if (error) *error = "ANALOG_CONVERTER " + why;
        return std::nullopt;
    }

    static bool bitOf(const TiXmlElement* e, const std::string& where, BitPlace* out,
                      std::string* why) {
        out->name = e->Value();
        out->reg = textOf(e->FirstChildElement("REGISTER"));
        if (out->reg.empty()) {
            *why = where + "/" + out->name + " names no REGISTER";
            return false;
        }
        for (char& c : out->reg) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!parseInt(textOf(e->FirstChildElement("BIT")), 0, 7, &out->bit)) {
            *why = where + "/" + out->name + " has no BIT 0..7 (\"" +
                   textOf(e->FirstChildElement("BIT")) + "\")";
            return false;
        }
        return true;
    }

    bool field(const char* tag, bool required, std::vector<BitPlace>* out, std::string* why) {
        const TiXmlElement* f = section_->FirstChildElement(tag);
        if (!f) {
            if (required) *why = std::string("has no ") + tag;
            return !required;
        }
        for (const TiXmlElement* e = f->FirstChildElement(); e; e = e->NextSiblingElement()) {
            if (out->size() == kMaxFieldBits) {
                *why = std::string(tag) + " holds more than " + std::to_string(kMaxFieldBits) +
                       " bits";
                return false;
            }
            BitPlace bit;
            if (!bitOf(e, tag, &bit, why)) return false;
            for (const BitPlace& other : *out) {
                if (other.reg == bit.reg && other.bit == bit.bit) {
                    *why = std::string(tag) + " names " + bit.reg + " bit " +
                           std::to_string(bit.bit) + " twice";
                    return false;
                }
            }
            out->push_back(bit);
        }
        if (required && out->empty()) {
            *why = std::string(tag) + " holds no bit";
            return false;
        }
        return true;
    }

    bool single(const char* tag, bool required, BitPlace* out, std::string* why) {
        std::vector<BitPlace> bits;
        if (!field(tag, required, &bits, why)) return false;
        if (bits.size() > 1) {
            *why = std::string(tag) + " holds " + std::to_string(bits.size()) + " bits, not one";
            return false;
        }
        if (!bits.empty()) *out = bits.front();
        return true;
    }

    bool optionalSingle(const char* tag, std::optional<BitPlace>* out, std::string* why) {
        if (!section_->FirstChildElement(tag)) return true;
        BitPlace bit;
        if (!single(tag, true, &bit, why)) return false;
        *out = bit;
        return true;
    }

    // The entries of INPUTS or REFERENCES, each once, within the field.
    template <typename Entry, typename Parse>
    bool entries(const char* tag, std::string_view prefix, const std::vector<BitPlace>& field,
                 const char* fieldTag, std::vector<Entry>* out, Parse parse, std::string* why) {
        out->assign(size_t{1} << field.size(), Entry{});
        std::vector<bool> seen(out->size(), false);
        const TiXmlElement* list = section_->FirstChildElement(tag);
        if (!list) {
            *why = std::string("has no ") + tag;
            return false;
        }
        for (const TiXmlElement* e = list->FirstChildElement(); e; e = e->NextSiblingElement()) {
            const std::string name = e->Value();
            int n = 0;
            if (!selectionOf(name, prefix, &n)) {
                *why = std::string(tag) + "/" + name + " is not " + std::string(prefix) + "<n>";
                return false;
            }
            if (static_cast<size_t>(n) >= out->size()) {
                *why = name + " lies outside the " + std::to_string(field.size()) + " " + fieldTag;
                return false;
            }
            if (seen[static_cast<size_t>(n)]) {
                *why = name + " is given twice";
                return false;
            }
            seen[static_cast<size_t>(n)] = true;
            if (!parse(e, &(*out)[static_cast<size_t>(n)], why)) {
                *why = name + " " + *why;
                return false;
            }
        }
        return true;
    }

    static int childCount(const TiXmlElement* e) {
        int n = 0;
        for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) ++n;
        return n;
    }

    static bool parseInput(const TiXmlElement* e, InputSelection* in, std::string* why) {
        const TiXmlElement* first = e->FirstChildElement();
        const std::string kind = first ? first->Value() : "";
        const int children = childCount(e);
        if (kind == "CHANNEL" && children == 1) {
            in->kind = InputSelection::SingleEnded;
            if (parseChannel(textOf(first), &in->positive)) return true;
            *why = "names \"" + textOf(first) + "\", not ADC<n>";
            return false;
        }
        if (kind == "POSITIVE" && children == 3) {
            in->kind = InputSelection::Differential;
            const std::string negative = textOf(e->FirstChildElement("NEGATIVE"));
            const std::string gain = textOf(e->FirstChildElement("GAIN"));
            if (!parseChannel(textOf(first), &in->positive) ||
                !parseChannel(negative, &in->negative)) {
                *why = "pairs \"" + textOf(first) + "\" with \"" + negative + "\", not ADC<n>";
                return false;
            }
            if (!parseInt(gain, 1, 1000, &in->gain)) {
                *why = "has no GAIN 1..1000 (\"" + gain + "\")";
                return false;
            }
            return true;
        }
        if ((kind == "BANDGAP" || kind == "TEMPERATURE") && children == 1) {
            in->kind = kind == "BANDGAP" ? InputSelection::Bandgap : InputSelection::Temperature;
            if (parseVolts(textOf(first), &in->volts)) return true;
            *why = "gives \"" + textOf(first) + "\", not a voltage";
            return false;
        }
        if (kind == "GND" && children == 1) {
            in->kind = InputSelection::Ground;
            return true;
        }
        *why = "is none of CHANNEL, POSITIVE/NEGATIVE/GAIN, BANDGAP, TEMPERATURE, GND";
        return false;
    }

    static bool parseReference(const TiXmlElement* e, ReferenceSelection* ref, std::string* why) {
        const TiXmlElement* first = e->FirstChildElement();
        const std::string kind = first ? first->Value() : "";
        const TiXmlElement* pin = e->FirstChildElement("AREF_PIN");
        if (childCount(e) != (pin ? 2 : 1)) {
            *why = "holds more than one reference";
            return false;
        }
        if (pin) {
            const std::string text = textOf(pin);
            if (text != "DISCONNECTED" && text != "CONNECTED") {
                *why = "has AREF_PIN \"" + text + "\" (CONNECTED or DISCONNECTED)";
                return false;
            }
            ref->arefPin = text == "CONNECTED";
        }
        if (kind == "AREF" || kind == "AVCC" || kind == "VCC") {
            ref->source = kind == "AREF"   ? ReferenceSelection::Aref
                          : kind == "AVCC" ? ReferenceSelection::Avcc
                                           : ReferenceSelection::Vcc;
            return true;
        }
        if (kind == "INTERNAL" || kind == "VREF") {
            ref->source = kind == "VREF" ? ReferenceSelection::Vref : ReferenceSelection::Internal;
            if (parseVolts(textOf(first), &ref->volts)) return true;
            *why = "gives \"" + textOf(first) + "\", not a voltage";
            return false;
        }
        *why = "is none of AREF, AVCC, VCC, INTERNAL, VREF";
        return false;
    }

    bool inputs(ConverterDescription* d, std::string* why) {
        return entries("INPUTS", "INPUT", d->mux, "MUX_BITS", &d->inputs, parseInput, why);
    }
    bool references(ConverterDescription* d, std::string* why) {
        return entries("REFERENCES", "REFERENCE", d->reference, "REFERENCE_BITS", &d->references,
                       parseReference, why);
    }

    const TiXmlElement* section_;
};

}  // namespace

std::optional<ConverterDescription> ReadConverterDescription(const TiXmlDocument& doc,
                                                             std::string* error) {
    if (error) error->clear();
    const TiXmlElement* root = doc.FirstChildElement("AVRPART");
    const TiXmlElement* section = root ? root->FirstChildElement("ANALOG_CONVERTER") : nullptr;
    if (!section) return std::nullopt;
    if (section->NextSiblingElement("ANALOG_CONVERTER")) {
        if (error) *error = "ANALOG_CONVERTER is given twice";
        return std::nullopt;
    }
    return Reader(section).read(error);
}

}  // namespace adc

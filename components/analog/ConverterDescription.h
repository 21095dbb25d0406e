// What a part's analog/digital converter is: its inputs, its input and
// reference selections and where their bits lie, read from the part
// description's ANALOG_CONVERTER section. Toolkit-free.
//
//   AVRPART/ANALOG_CONVERTER
//     CHANNELS                      8          the inputs ADC0..ADC7
//     MUX_BITS/<BIT NAME>           <REGISTER>ADCSRB</REGISTER><BIT>3</BIT>, one
//                                   element per bit, the most significant first
//     REFERENCE_BITS/<BIT NAME>     the same for the reference selection
//     TRIGGER_BITS/<BIT NAME>       the auto-trigger source (optional; source 0
//                                   is free running)
//     FREE_RUNNING_BIT/<BIT NAME>   ADATE, or ADFR where there is no trigger
//     BIPOLAR_BIT/<BIT NAME>        optional (BIN): differential results are
//                                   signed only while it is set; without it
//                                   they are always signed
//     REVERSAL_BIT/<BIT NAME>       optional (IPR): swaps the differential inputs
//     INPUTS/INPUT<n>               selection n: <CHANNEL>ADC3</CHANNEL>;
//                                   <POSITIVE>ADC1</POSITIVE><NEGATIVE>ADC0</NEGATIVE>
//                                   <GAIN>10</GAIN>; <BANDGAP>1.1</BANDGAP>;
//                                   <TEMPERATURE>0.314</TEMPERATURE> (volts);
//                                   <GND/>. A selection not listed is reserved.
//     REFERENCES/REFERENCE<n>       <AREF/>, <AVCC/>, <VCC/>, <INTERNAL>1.1</INTERNAL>
//                                   (fixed), <VREF>2.56</VREF> (the electrical
//                                   settings' Vref); <AREF_PIN>DISCONNECTED
//                                   </AREF_PIN> when an external voltage on AREF
//                                   does not replace it. Not listed: reserved.
//
// A file without the section describes the ATmega16's converter (the
// layout every part had before the section existed).
#pragma once

#include <optional>
#include <string>
#include <vector>

class TiXmlDocument;

namespace adc {

// One bit of a field: register name and bit number.
struct BitPlace {
    std::string name;  // the bit's name (MUX5)
    std::string reg;   // its register (ADCSRB)
    int bit = 0;       // 0..7
};

// One input selection.
struct InputSelection {
    enum Kind { SingleEnded, Differential, Bandgap, Ground, Temperature, Reserved };
    Kind kind = Reserved;
    int positive = 0;  // channel (single-ended and differential)
    int negative = 0;  // channel (differential)
    int gain = 1;      // differential
    double volts = 0;  // Bandgap and Temperature
};

// One reference selection.
struct ReferenceSelection {
    enum Source { None, Aref, Avcc, Vcc, Vref, Internal };
    Source source = None;     // None: reserved, nothing is converted
    double volts = 0;         // Internal: the voltage; Vref: its nominal value
    bool arefPin = true;      // an external voltage on AREF replaces it
};

struct ConverterDescription {
    int channels = 8;
    std::vector<BitPlace> mux;        // most significant first
    std::vector<BitPlace> reference;  // most significant first
    std::vector<BitPlace> trigger;    // may be empty
    BitPlace freeRunning;
    std::optional<BitPlace> bipolar;
    std::optional<BitPlace> reversal;
    std::vector<InputSelection> inputs;          // 1 << mux.size() entries
    std::vector<ReferenceSelection> references;  // 1 << reference.size() entries
};

// The ATmega16/ATmega32 converter: MUX4..0 and REFS1..0 in ADMUX, ADTS2..0
// in SFIOR, the differential table with gains 10 and 200, the 1.22 V
// bandgap, REFS 3 the Vref setting.
ConverterDescription ClassicConverter(int channels = 8);

// The widest fields the reader accepts (256 selections).
constexpr int kMaxFieldBits = 8;
constexpr int kMaxChannels = 64;

// Reads AVRPART/ANALOG_CONVERTER. Without the section: nothing, and *error
// stays empty. A malformed section: nothing, and *error says what is wrong
// ("INPUT40 lies outside the 5 MUX_BITS", ...).
std::optional<ConverterDescription> ReadConverterDescription(const TiXmlDocument& doc,
                                                             std::string* error);

}  // namespace adc

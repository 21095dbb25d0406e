// The converter of each part as its description's ANALOG_CONVERTER section
// gives it: the reader (shipped files, faults), registers bound by name, and
// a conversion of each kind of input and reference on each family.
#include <tinyxml.h>

#include "components/analog/ADC.h"
#include "components/analog/ConverterDescription.h"
#include "test_core_fixture.h"
#include "tests/support/TestFiles.h"

using namespace adc;
using testfiles::ShippedPartText;

namespace {

// The ANALOG_CONVERTER section of a shipped file.
std::string ShippedSection(const std::string& part) {
    const std::string text = ShippedPartText(part);
    const size_t from = text.find("<ANALOG_CONVERTER>");
    const std::string end = "</ANALOG_CONVERTER>";
    const size_t to = text.find(end);
    if (from == std::string::npos || to == std::string::npos) return {};
    return text.substr(from, to + end.size() - from);
}

std::optional<ConverterDescription> Read(const std::string& xml, std::string* error) {
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    return ReadConverterDescription(doc, error);
}

std::optional<ConverterDescription> ReadShipped(const std::string& part) {
    std::string error;
    auto d = Read(ShippedPartText(part), &error);
    EXPECT_TRUE(error.empty()) << part << ": " << error;
    return d;
}

// A part whose converter registers lie in the I/O space (so that a part
// with extended I/O can be driven through today's register subjects), with
// the converter section of a shipped part.
std::string PartWith(const std::string& section, const std::string& admux = "$07") {
    return "<?xml version=\"1.0\"?><AVRPART><MEMORY><IO_MEMORY>" + Reg("ADCL", "$04") +
           Reg("ADCH", "$05") + Reg("ADCSRA", "$06") + Reg("ADMUX", admux) + Reg("ADCSRB", "$03") +
           Reg("SFIOR", "$30") + "</IO_MEMORY></MEMORY>" + section + "</AVRPART>";
}

class PartAdcTest : public CoreTest {
protected:
    void Start(const std::string& part, const std::string& xml) {
        InstallAdcModel(view);
        Session(part, xml);
        ASSERT_NE(model(), nullptr);
        target().cycleCounter = 100;
        Refresh();
        model()->SeedRandom(1);
    }
    // A shipped part, its registers where the file puts them.
    void StartShipped(const std::string& part) {
        InstallAdcModel(view);
        // Extended I/O up to the part's SRAM (the old parts have none).
        const std::string text = ShippedPartText(part);
        if (text.find("<START_ADDR>$100<") != std::string::npos) target().SetLayout(0x100, 2048);
        if (text.find("<START_ADDR>$200<") != std::string::npos) target().SetLayout(0x200, 8192);
        works().installDirectory = QUILL_SOURCE_DIR "/host";
        InitView();
        StartDebugging(part);
        ASSERT_NE(model(), nullptr);
        Refresh();
        model()->SeedRandom(1);
    }
    ADC* model() { return view->AdcModel(); }
    int At(const char* name) { return view->FindRegister(name); }
    // The program writes the register of subject `index` (data address
    // index + 0x20, in the I/O space or extended I/O).
    void ProgramWrites(int index, uint8_t value) {
        ASSERT_TRUE(target().SetDataByte(static_cast<size_t>(index) + 0x20, value)) << index;
        Refresh();
    }
    uint8_t Data(int index) {
        uint8_t v = 0;
        EXPECT_TRUE(target().DataByte(static_cast<size_t>(index) + 0x20, &v)) << index;
        return v;
    }
    // A single conversion: ADMUX (and ADCSRB) as given, ADSC set and cleared.
    int Convert(uint8_t admux, uint8_t adcsrb = 0) {
        if (At("ADCSRB") >= 0) ProgramWrites(At("ADCSRB"), adcsrb);
        ProgramWrites(At("ADMUX"), admux);
        ProgramWrites(At("ADCSRA"), kAden);
        ProgramWrites(At("ADCSRA"), kAden | kAdsc);
        ProgramWrites(At("ADCSRA"), kAden);
        return Data(At("ADCH")) * 256 + Data(At("ADCL"));
    }
    // A code less the conversion error (2..4 codes).
    static bool About(int code, int expected) { return code <= expected && code >= expected - 4; }
    void Millivolts(int channel, uint32_t mv) {
        model()->SetMillivoltMode(channel);
        model()->GetChannel(channel)->set(mv);
    }
};

}  // namespace

// The old parts' sections say what the converter did before they had one:
// the ATmega16's and ATmega32's are the built-in table; the ATmega8 has
// ADFR and no trigger source, MUX3..0 with its 1.30 V bandgap.
TEST(ConverterReader, ShippedOldPartsMatchTheBuiltInConverter) {
    const ConverterDescription classic = ClassicConverter();
    for (const char* part : {"ATmega16", "ATmega32"}) {
        const auto d = ReadShipped(part);
        ASSERT_TRUE(d) << part;
        EXPECT_EQ(d->channels, 8);
        ASSERT_EQ(d->inputs.size(), classic.inputs.size());
        for (size_t i = 0; i < d->inputs.size(); ++i) {
            const InputSelection &a = d->inputs[i], &b = classic.inputs[i];
            EXPECT_TRUE(a.kind == b.kind && a.positive == b.positive && a.negative == b.negative &&
                        a.gain == b.gain && a.volts == b.volts)
                << part << " MUX " << i;
        }
        ASSERT_EQ(d->references.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(d->references[i].source, classic.references[i].source) << part << i;
        }
        EXPECT_EQ(d->trigger.size(), 3u);
        EXPECT_EQ(d->trigger[0].reg, "SFIOR");
        EXPECT_EQ(d->trigger[0].bit, 7);
        EXPECT_FALSE(d->bipolar);
    }
    const auto m8 = ReadShipped("ATmega8");
    ASSERT_TRUE(m8);
    EXPECT_EQ(m8->channels, 6);
    EXPECT_EQ(m8->freeRunning.name, "ADFR");
    EXPECT_TRUE(m8->trigger.empty());
    ASSERT_EQ(m8->inputs.size(), 16u);
    EXPECT_EQ(m8->inputs[14].kind, InputSelection::Bandgap);
    EXPECT_DOUBLE_EQ(m8->inputs[14].volts, 1.3);
    EXPECT_EQ(m8->inputs[15].kind, InputSelection::Ground);
    EXPECT_EQ(m8->inputs[9].kind, InputSelection::Reserved);
}

TEST(ConverterReader, AbsentSectionIsNoFaultAndMalformedOnesSayWhy) {
    std::string error = "x";
    EXPECT_FALSE(Read(PartXml(Reg("ADMUX", "$07")), &error));
    EXPECT_TRUE(error.empty());

    const std::string bits =
        "<MUX_BITS><MUX0><REGISTER>ADMUX</REGISTER><BIT>0</BIT></MUX0></MUX_BITS>"
        "<REFERENCE_BITS><REFS0><REGISTER>ADMUX</REGISTER><BIT>6</BIT></REFS0></REFERENCE_BITS>"
        "<FREE_RUNNING_BIT><ADATE><REGISTER>ADCSRA</REGISTER><BIT>5</BIT></ADATE>"
        "</FREE_RUNNING_BIT>";
    const std::string refs = "<REFERENCES><REFERENCE1><AVCC/></REFERENCE1></REFERENCES>";
    const std::string inputs = "<INPUTS><INPUT0><CHANNEL>ADC0</CHANNEL></INPUT0></INPUTS>";
    auto section = [](const std::string& body) {
        return "<AVRPART><ANALOG_CONVERTER>" + body + "</ANALOG_CONVERTER></AVRPART>";
    };
    EXPECT_TRUE(Read(section("<CHANNELS>1</CHANNELS>" + bits + inputs + refs), &error)) << error;

    const struct {
        std::string body;
        std::string says;
    } faults[] = {
        {"<CHANNELS>eight</CHANNELS>" + bits + inputs + refs, "no CHANNELS count 1..64 (\"eight\")"},
        {"<CHANNELS>65</CHANNELS>" + bits + inputs + refs, "no CHANNELS count"},
        {"<CHANNELS>2</CHANNELS>" + inputs + refs, "has no MUX_BITS"},
        {"<CHANNELS>2</CHANNELS><MUX_BITS><MUX0><REGISTER>ADMUX</REGISTER><BIT>9</BIT></MUX0>"
         "</MUX_BITS>" + bits.substr(bits.find("<REFERENCE_BITS>")) + inputs + refs,
         "MUX_BITS/MUX0 has no BIT 0..7 (\"9\")"},
        {"<CHANNELS>2</CHANNELS><MUX_BITS><MUX0><BIT>0</BIT></MUX0></MUX_BITS>" +
             bits.substr(bits.find("<REFERENCE_BITS>")) + inputs + refs,
         "MUX_BITS/MUX0 names no REGISTER"},
        {"<CHANNELS>2</CHANNELS>" + bits +
             "<INPUTS><INPUT2><CHANNEL>ADC1</CHANNEL></INPUT2></INPUTS>" + refs,
         "INPUT2 lies outside the 1 MUX_BITS"},
        {"<CHANNELS>2</CHANNELS>" + bits +
             "<INPUTS><INPUT1><CHANNEL>PA0</CHANNEL></INPUT1></INPUTS>" + refs,
         "INPUT1 names \"PA0\", not ADC<n>"},
        {"<CHANNELS>2</CHANNELS>" + bits +
             "<INPUTS><INPUT0><GND/></INPUT0><INPUT0><GND/></INPUT0></INPUTS>" + refs,
         "INPUT0 is given twice"},
        {"<CHANNELS>2</CHANNELS>" + bits +
             "<INPUTS><INPUT1><POSITIVE>ADC1</POSITIVE><NEGATIVE>ADC0</NEGATIVE><GAIN>0</GAIN>"
             "</INPUT1></INPUTS>" + refs,
         "INPUT1 has no GAIN 1..1000 (\"0\")"},
        {"<CHANNELS>2</CHANNELS>" + bits +
             "<INPUTS><INPUT1><BANDGAP>1,1</BANDGAP></INPUT1></INPUTS>" + refs,
         "INPUT1 gives \"1,1\", not a voltage"},
        {"<CHANNELS>2</CHANNELS>" + bits + "<INPUTS><INPUT1><VOLTS>1</VOLTS></INPUT1></INPUTS>" +
             refs,
         "INPUT1 is none of CHANNEL"},
        {"<CHANNELS>2</CHANNELS>" + bits + inputs +
             "<REFERENCES><REFERENCE0><AREF/><AVCC/></REFERENCE0></REFERENCES>",
         "REFERENCE0 holds more than one reference"},
        {"<CHANNELS>2</CHANNELS>" + bits + inputs +
             "<REFERENCES><REFERENCE0><VCC/><AREF_PIN>OPEN</AREF_PIN></REFERENCE0></REFERENCES>",
         "REFERENCE0 has AREF_PIN \"OPEN\""},
        {"<CHANNELS>2</CHANNELS>" + bits + inputs, "has no REFERENCES"},
        {"<CHANNELS>2</CHANNELS>" + bits +
             "<BIPOLAR_BIT><BIN><REGISTER>ADCSRB</REGISTER><BIT>7</BIT></BIN>"
             "<IPR><REGISTER>ADCSRB</REGISTER><BIT>5</BIT></IPR></BIPOLAR_BIT>" + inputs + refs,
         "BIPOLAR_BIT holds 2 bits, not one"},
    };
    for (const auto& f : faults) {
        EXPECT_FALSE(Read(section(f.body), &error)) << f.says;
        EXPECT_NE(error.find("ANALOG_CONVERTER"), std::string::npos) << error;
        EXPECT_NE(error.find(f.says), std::string::npos) << error;
    }
}

TEST_F(PartAdcTest, Atmega644pDifferentialTableAndBandgap) {
    Start("ATmega644P", PartWith(ShippedSection("ATmega644P")));
    Millivolts(2, 1000);
    Millivolts(3, 1100);
    // ADC3 - ADC2, 200x, against 2.56 V: clamped at 511.
    EXPECT_EQ(Convert(0xC0 | 15), 511);
    // MUX 24 + n is ADCn - ADC2, 1x: ADC3 - ADC2 = 0.1 V gives 0.1 x 512 / 2.56.
    EXPECT_EQ(Convert(0xC0 | 27), 20);
    EXPECT_TRUE(About(Convert(0x40 | 30), 225));  // 1.1 V bandgap against AVcc 5 V
    EXPECT_TRUE(About(Convert(0x80 | 30), 1023));  // against the 1.1 V reference
}

// The ATtiny85 on its shipped file (its registers are all in the I/O space):
// Vcc as the reference at 000, REFS2, 1.1 V and 2.56 V, unipolar
// differential results unless BIN, IPR swapping the inputs, the sensor.
TEST_F(PartAdcTest, Attiny85ReferencesPolarityAndSensor) {
    StartShipped("ATtiny85");
    ASSERT_TRUE(model()->IsBound());
    EXPECT_EQ(model()->ChannelCount(), 4);
    view->Vcc()->set(4.0);
    view->AVcc()->set(5.0);
    Millivolts(0, 2000);
    EXPECT_TRUE(About(Convert(0x00), 512)) << Convert(0x00);  // Vcc 4 V
    EXPECT_DOUBLE_EQ(model()->SupplyVolts(), 4.0);
    // Vcc is disconnected from AREF: an external voltage there changes nothing.
    view->ExternalArefApplied()->set(1);
    view->ExternalAref()->set(2.0);
    EXPECT_TRUE(About(Convert(0x00), 512));
    EXPECT_TRUE(About(Convert(0x40), 1023));  // 001: AREF 2 V
    view->ExternalArefApplied()->set(0);
    EXPECT_EQ(Convert(0x40), 0);  // AREF without a voltage: nothing
    // 110: the 2.56 V reference (REFS2 is bit 4), the Vref setting.
    view->InternalReference()->set(2.56);
    Millivolts(1, 1280);
    EXPECT_TRUE(About(Convert(0x90 | 1), 512));
    EXPECT_TRUE(About(Convert(0x80 | 12), 1023));  // 010: 1.1 V, the bandgap on it
    EXPECT_TRUE(About(Convert(0x80 | 15), 300));   // the sensor at 25 degrees

    // ADC2 - ADC3, 20x, against 2.56 V (111).
    Millivolts(2, 1010);
    Millivolts(3, 1000);
    EXPECT_EQ(Convert(0xD0 | 7), 80);         // unipolar: 20 x 0.01 x 1024 / 2.56
    EXPECT_EQ(Convert(0xD0 | 7, 0x20), 0);    // IPR: negative, unipolar gives 0
    EXPECT_EQ(Convert(0xD0 | 7, 0x80), 40);   // BIN: signed, 512 full scale
    EXPECT_EQ(Convert(0xD0 | 7, 0xA0), 0x3D8);  // BIN and IPR: -40, two's complement
}

// The ATmega8 on its shipped file: ADFR runs freely whatever SFIOR holds;
// MUX 1110 is its 1.30 V bandgap.
TEST_F(PartAdcTest, Atmega8FreeRunsOnAdfrAndReadsItsBandgap) {
    StartShipped("ATmega8");
    ProgramWrites(kSfior, 0xE0);
    ProgramWrites(kAdcsra, kAden | kAdate);
    EXPECT_TRUE(model()->IsFreeRunning());
    ProgramWrites(kAdcsra, 0);
    EXPECT_TRUE(About(Convert(0x40 | 14), 266));  // 1.30 V against AVcc 5 V
    EXPECT_EQ(Convert(0x40 | 15), 0);
}

TEST_F(PartAdcTest, Atmega16FileKeepsSfiorTriggerAndItsTable) {
    StartShipped("ATmega16");
    ProgramWrites(kSfior, 0x20);
    ProgramWrites(kAdcsra, kAden | kAdate);
    EXPECT_FALSE(model()->IsFreeRunning());
    ProgramWrites(kSfior, 0);
    EXPECT_TRUE(model()->IsFreeRunning());
    ProgramWrites(kAdcsra, 0);
    EXPECT_TRUE(About(Convert(0x40 | 30), 249));  // 1.22 V against AVcc 5 V
}

// A register the section names that the part lacks, or a malformed
// section: the model says so and converts nothing.
TEST_F(PartAdcTest, MissingRegisterOrMalformedSectionLeavesTheModelInert) {
    const std::string noAdcsrb = "<?xml version=\"1.0\"?><AVRPART><MEMORY><IO_MEMORY>" +
                                 Reg("ADCL", "$04") + Reg("ADCH", "$05") + Reg("ADCSRA", "$06") +
                                 Reg("ADMUX", "$07") + "</IO_MEMORY></MEMORY>" +
                                 ShippedSection("ATmega328P") + "</AVRPART>";
    Start("NoAdcsrb", noAdcsrb);
    EXPECT_FALSE(model()->IsBound());
    EXPECT_TRUE(services().HasText(
        "The part has no register ADCSRB of its converter; no conversion is simulated."));
    target().Io()[kAdch] = 0x55;
    ProgramWrites(kAdmux, 0x40);
    ProgramWrites(kAdcsra, kAden | kAdsc);
    EXPECT_EQ(target().Io()[kAdch], 0x55);
    EXPECT_FALSE(model()->IsEnabled());

    std::string bad = PartWith(ShippedSection("ATmega328P"));
    const std::string sensor = "<INPUT8><TEMPERATURE>0.314</TEMPERATURE></INPUT8>";
    ASSERT_NE(bad.find(sensor), std::string::npos);
    bad.replace(bad.find(sensor), sensor.size(),
                "<INPUT99><TEMPERATURE>0.314</TEMPERATURE></INPUT99>");
    WritePart("Bad", bad);
    StartDebugging("Bad");
    Refresh();
    ASSERT_NE(model(), nullptr);
    EXPECT_FALSE(model()->IsBound());
    bool said = false;
    for (const auto& m : services().messages) {
        said = said || (m.text.find("Bad.xml: ANALOG_CONVERTER ") != std::string::npos &&
                        m.text.find("no conversion is simulated") != std::string::npos);
    }
    EXPECT_TRUE(said);
}

// The ATmega328P and the ATmega2560 on their shipped files: the converter's
// registers lie in extended I/O (ADMUX at data address 0x7C, subject 0x5C),
// found by name and written back to their data addresses.
TEST_F(PartAdcTest, Atmega328pOnItsFileConvertsInExtendedIo) {
    StartShipped("ATmega328P");
    ASSERT_TRUE(model()->IsBound());
    EXPECT_EQ(At("ADMUX"), 0x7C - 0x20);
    EXPECT_EQ(model()->ChannelCount(), 8);
    Millivolts(7, 1000);
    EXPECT_TRUE(About(Convert(0x40 | 7), 204)) << Convert(0x40 | 7);  // ADC7, AVcc 5 V
    EXPECT_TRUE(About(Convert(0xC0 | 8), 292));                        // the sensor, 1.1 V
    EXPECT_TRUE(About(Convert(0x40 | 14), 225));                       // the bandgap
    EXPECT_EQ(Convert(0x40 | 15), 0);
    EXPECT_EQ(Convert(0x80 | 7), 0);  // REFS 10 is reserved
    // The Slider's internal choice on this part is the fixed 1.1 V; an
    // external voltage on AREF replaces it.
    EXPECT_DOUBLE_EQ(model()->InternalVolts(), 1.1);
    EXPECT_DOUBLE_EQ(model()->InternalNominalVolts(), 1.1);
    view->ExternalArefApplied()->set(1);
    view->ExternalAref()->set(2.2);
    EXPECT_TRUE(About(Convert(0xC0 | 14), 512));
    view->ExternalArefApplied()->set(0);
    // ADTS in ADCSRB (0x7B): source 0 runs freely, another does not; the
    // ATmega16's trigger source (SFIOR's address, ACSR here) means nothing.
    ProgramWrites(At("ADCSRB"), 0x03);
    ProgramWrites(At("ADCSRA"), kAden | kAdate);
    EXPECT_FALSE(model()->IsFreeRunning());
    ProgramWrites(At("ADCSRB"), 0);
    EXPECT_TRUE(model()->IsFreeRunning());
    ProgramWrites(kSfior, 0xE0);
    EXPECT_TRUE(model()->IsFreeRunning());
    ProgramWrites(kSfior, 0);
    // Nothing of the converter went to the ATmega16's addresses.
    for (int index : {kAdcl, kAdch, kAdcsra, kAdmux}) EXPECT_EQ(target().Io()[index], 0) << index;

    // The next session binds through the core's tables at once.
    view->HandleEvent(kEventTargetReady, nullptr);
    ASSERT_TRUE(model()->IsBound());
    EXPECT_TRUE(About(Convert(0x40 | 7), 204));
}

TEST_F(PartAdcTest, Atmega2560OnItsFileReadsTheUpperChannels) {
    StartShipped("ATmega2560");
    ASSERT_TRUE(model()->IsBound());
    EXPECT_EQ(model()->ChannelCount(), 16);
    Millivolts(15, 2500);
    Millivolts(7, 500);
    EXPECT_TRUE(About(Convert(0x40 | 7, 0x08), 512));  // MUX5 with 7: ADC15
    EXPECT_TRUE(About(Convert(0x40 | 7, 0x00), 102));  // ADC7
    // ADC9 - ADC8, 10x, against AVcc 5 V: 10 x 0.1 V x 512 / 5 = 102.
    Millivolts(8, 2500);
    Millivolts(9, 2600);
    EXPECT_EQ(Convert(0x40 | 9, 0x08), 102);
    EXPECT_EQ(Convert(0x40 | 30, 0x08), 0);  // reserved
    // REFS 10: 1.1 V fixed; REFS 11: the Vref setting.
    Millivolts(1, 550);
    EXPECT_TRUE(About(Convert(0x80 | 1), 512));
    view->InternalReference()->set(2.0);
    Millivolts(1, 1000);
    EXPECT_TRUE(About(Convert(0xC0 | 1), 512));
}

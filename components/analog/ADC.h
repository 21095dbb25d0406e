// The analog/digital converter of the simulated part: channels that the
// components drive, and the conversion results the program reads.
//
// The converter is the part's own, as its part description's
// ANALOG_CONVERTER section gives it (ConverterDescription.h): its input
// selections (channels, differential pairs with their gains, the bandgap,
// the temperature sensor, 0 V), its references and where the selection,
// trigger and polarity bits lie. Its registers are bound by name (ADCL,
// ADCH, ADCSRA, ADMUX and those the fields name) to the core's register
// subjects. A description without the section is the ATmega16's
// converter. Toolkit-free: driven through the register subjects and the
// cycle counter, it runs and is tested without the host and without windows.
//
// Who does what (the simulator has a converter of its own):
// - The simulator times every conversion, clears ADSC when a single
//   conversion ends, restarts free-running conversions, raises ADIF at the
//   end of every conversion (writing 1 to ADIF clears it, vectoring to
//   ADC_vect clears it) and raises the ADC interrupt. Only the simulator
//   can vector an interrupt, and ADIF is that interrupt's flag, so ADIF and
//   the interrupt have one owner.
// - This model owns the result: ADCH and ADCL. It samples the selected input
//   when a conversion starts (ADSC going 0 -> 1, as the chip's sample and
//   hold does) and writes the result at once, so the value is in place
//   before the simulator reports the end of the conversion, however the
//   program waits for it (polling ADSC, polling ADIF, or ISR(ADC_vect)).
//   In free-running mode ADSC stays 1, so the model samples again every
//   14 converter clocks after that edge (cycle counts compared modulo
//   2^32); it never touches ADSC or ADIF.
// - ADLAR is tracked on every ADMUX write; a change while the converter is
//   enabled re-justifies the result already in ADCH/ADCL.
//
// Every register observation happens while the core refreshes its image,
// when writes are only collected; a conversion due then is deferred through
// the pending flag and carried out right after the refresh.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "components/analog/ConverterDescription.h"
#include "framework/CycleCountValue.h"
#include "framework/Observer.h"

class CLEDView;

namespace adc {

// The I/O addresses of the converter's registers on the ATmega16, ATmega32
// and ATmega8: where a part description without ANALOG_CONVERTER that
// lacks their names has them.
constexpr int kAdcl = 4;
constexpr int kAdch = 5;
constexpr int kAdcsra = 6;
constexpr int kAdmux = 7;
constexpr int kSfior = 48;

// ADCSRA bits.
constexpr uint8_t kAden = 0x80;
constexpr uint8_t kAdsc = 0x40;
constexpr uint8_t kAdate = 0x20;
constexpr uint8_t kAdif = 0x10;
// ADMUX bits.
constexpr uint8_t kAdlar = 0x20;

constexpr int kCyclesPerConversion = 14;  // converter clocks between free-running samples

// The ATmega16's input selection of MUX (0..31).
InputSelection SelectInput(int mux);

// The voltages a reference can come from: the electrical settings.
struct Supplies {
    bool externalAref = false;  // an external voltage on AREF
    double arefVolts = 0;
    double avccVolts = 0;
    double vccVolts = 0;
    double vrefVolts = 0;  // the settings' Vref: the part's adjustable internal reference
};

// The reference voltage of a selection, or nothing when it allows no
// conversion (the result registers then read 0): a reserved selection, AREF
// without a voltage on it, or a voltage of 0 V or less. An external voltage
// on AREF replaces every reference connected to the AREF pin.
std::optional<double> ReferenceVolts(const ReferenceSelection& selection, const Supplies& supplies);
// The ATmega16's REFS (0..3); `internalVolts` is its internal reference
// (2.56 V nominal).
std::optional<double> ReferenceVolts(int refs, bool externalAref, double arefVolts,
                                     double avccVolts, double internalVolts);

// Single-ended code: trunc(volts * 1024 / vref), less `error` when above
// it, limited to 0..1023.
int SingleEndedCode(double volts, double vrefVolts, int error);
// Differential code: trunc(gain * vdiff * 512 / vref), limited to -512..511.
int DifferentialCode(double vdiffVolts, double vrefVolts, int gain);
// Unipolar differential code (a part whose bipolar bit is clear):
// trunc(gain * vdiff * 1024 / vref), limited to 0..1023.
int UnipolarDifferentialCode(double vdiffVolts, double vrefVolts, int gain);

// A result in the register pair, right-adjusted: (ADCH, ADCL). Negative
// differential codes take the data sheet's 10-bit two's-complement form.
struct ResultPair {
    uint8_t high;
    uint8_t low;
    bool operator==(const ResultPair&) const = default;
};
ResultPair RightAdjusted(int code);
// Re-justification of a pair already in the registers.
ResultPair ToLeftAdjusted(ResultPair right);
ResultPair ToRightAdjusted(ResultPair left);

// ADPS (ADCSRA bits 2..0): 0 and 1 give 2, n gives 2^n.
int PrescalerFactor(uint8_t adcsra);

// The conversion error in codes for a converter clock of `adcClockHz`:
// 2 or 3 below 1 MHz, 3 or 4 at or above it, by the low bit of `random`.
int ConversionError(double adcClockHz, uint32_t random);

// A register name -> the core's register subject index, or -1.
using RegisterLookup = std::function<int(const std::string& name)>;

// The converter of a part, as the model is built from it.
struct PartConverter {
    std::optional<ConverterDescription> description;  // none: the ATmega16's
    RegisterLookup lookup;                            // name -> register subject index
    std::string fault;  // why the part's converter cannot be simulated; empty: it can
};

// Reads `part`'s description: its ANALOG_CONVERTER section, its registers
// found through the core's tables (FindRegister). Without the section it is
// the ATmega16's converter, whose registers a file lacking their names has
// at the ATmega16's I/O addresses. A malformed section is a fault naming
// the file.
PartConverter ReadPartConverter(CLEDView* core, const std::string& part);

}  // namespace adc

class ADC {
public:
    // Builds `channelCount` channels (at least 1) and logs each. A channel
    // starts at 0, unclaimed, as a percentage; or, when `previous` (the
    // model of an earlier session) has it, with that model's value, claim
    // and millivolt mode.
    //
    // The converter is bound to the part the core's register tables
    // describe: at once when they are the selected part's (a session of
    // the part before), else as soon as the core has read them (after the
    // first refresh, or when a component first asks for its registers),
    // without a round trip to the host. Binding reads the part's
    // converter description (ReadPartConverter) and finds its registers by
    // name; a fault, or a register the description needs and the part
    // lacks, leaves the model unbound: it logs why, and converts nothing.
    ADC(int channelCount, CLEDView* core, const ADC* previous = nullptr);
    ~ADC();
    ADC(const ADC&) = delete;
    ADC& operator=(const ADC&) = delete;

    int ChannelCount() const { return static_cast<int>(channels_.size()); }
    const adc::ConverterDescription& Description() const { return description_; }
    // Whether every register the converter needs was found.
    bool IsBound() const { return bound_; }
    // Binds the converter when the core's tables are ready and it is not
    // bound yet (see the constructor).
    void EnsureBound();

    // Channel i, or null outside 0..ChannelCount()-1.
    Value<uint32_t>* GetChannel(int i);
    // Claim marks: set by a component that drives the channel, cleared
    // when it leaves the channel or closes. Indices outside are ignored.
    void ClaimChannel(int i);
    void ReleaseChannel(int i);
    bool IsClaimed(int i) const;
    // The lowest unclaimed channel, or -1 when every channel is claimed.
    int FirstFreeChannel() const;
    // What a component's configuration offers: its own channel `own` (if
    // any) and every unclaimed one, ascending.
    std::vector<int> OfferedChannels(int own) const;
    // Millivolt mode: the channel holds millivolts instead of a percentage
    // of the reference.
    void SetMillivoltMode(int i);
    void ClearMillivoltMode(int i);
    bool IsMillivoltMode(int i) const;

    // Register queries; all false / 0 / 1 while the core is not attached
    // to the simulator (the core's cached flags, no host round trip).
    bool IsEnabled() const;  // ADEN, and the converter enabled in the settings
    bool IsDifferential() const;
    int SelectedChannel() const;  // the input selection (MUX)
    int PrescalerFactor() const;
    bool IsFreeRunning() const;  // ADEN, ADATE (ADFR), trigger source 0

    // Converts the selected input now: writes ADCH, then ADCL. Does nothing
    // while the converter is disabled or the core is refreshing (use
    // RequestConversion to defer).
    void Convert();
    // Converts now, or after the refresh when the core is refreshing.
    void RequestConversion();

    // The core clears this after its refresh and calls Convert.
    bool ConversionPending() const { return pending_; }
    void RunDeferredConversion();

    // The voltage of channel i for reference `vrefVolts`; 0 V for a channel
    // the part does not have.
    double ChannelVolts(int i, double vrefVolts) const;
    // The reference the program's conversions use now: ADMUX's REFS with
    // the electrical settings; nothing when that selection converts
    // nothing (REFS 2, or REFS 0 without a voltage on AREF).
    std::optional<double> ProgramReferenceVolts() const;
    // The millivolts a conversion of channel i sees now: a percentage
    // channel against the program's reference, or against `fallbackVolts`
    // while the program selects none.
    int ChannelMillivolts(int i, double fallbackVolts) const;
    // The electrical settings as references see them.
    adc::Supplies CurrentSupplies() const;
    // The supply a reference can follow: AVcc, or Vcc on a part whose
    // converter has no AVcc of its own (the ATtiny85).
    double SupplyVolts() const;
    // The internal reference a component may choose: the settings' Vref
    // when the part has the adjustable one, else its fixed one (1.1 V on
    // the ATmega328P); and its nominal voltage (2.56, 1.1).
    double InternalVolts() const;
    double InternalNominalVolts() const;
    // The registers holding the reference selection, each with the mask of
    // its reference bits (for watchers of the reference choice).
    // Binds first when it can.
    std::vector<std::pair<GatedValue<uint8_t>*, uint8_t>> ReferenceRegisters();

    // The conversion error draws from a private generator; a fixed seed
    // makes runs repeatable.
    static constexpr uint32_t kDefaultSeed = 0x5EED;
    void SeedRandom(uint32_t seed) { random_.seed(seed); }

    // Free-running sampling: armed and the next due cycle.
    bool FreeRunningArmed() const { return armed_; }
    uint32_t NextDueCycle() const { return nextDue_; }
    // The count from which the free-running timer may act (for the
    // core's refresh filter): the next sample while armed.
    bool FreeRunningDue(uint32_t* due) const;

    // Observer callbacks.
    void OnAdmuxChanged();
    void OnAdcsraChanged();
    void OnCycleCounter();

private:
    // A bit of a field, bound to its register subject.
    struct BoundBit {
        GatedValue<uint8_t>* reg = nullptr;
        uint8_t mask = 0;
    };
    bool Bind(const adc::RegisterLookup& lookup);
    void BindTo(const std::string& part);
    bool Active() const;  // attached to the simulator
    static uint8_t Read(const GatedValue<uint8_t>* reg) { return reg ? reg->get() : 0; }
    static bool IsSet(const BoundBit& bit) { return bit.reg && (bit.reg->get() & bit.mask); }
    static int FieldValue(const std::vector<BoundBit>& field);
    const adc::InputSelection& SelectedInput() const;
    void WriteResult(adc::ResultPair pair);
    uint32_t FreeRunningPeriod() const;

    CLEDView* core_;
    adc::ConverterDescription description_;
    bool bound_ = false;
    bool bindPending_ = true;
    GatedValue<uint8_t>* adcl_ = nullptr;
    GatedValue<uint8_t>* adch_ = nullptr;
    GatedValue<uint8_t>* adcsra_ = nullptr;
    GatedValue<uint8_t>* admux_ = nullptr;
    std::vector<BoundBit> mux_, reference_, trigger_;
    BoundBit freeRunning_, bipolar_, reversal_;
    std::vector<std::unique_ptr<Value<uint32_t>>> channels_;
    std::vector<uint8_t> claimed_;
    std::vector<uint8_t> millivolt_;
    std::unique_ptr<CallOnChange<ADC, uint8_t>> admuxWatcher_;
    std::unique_ptr<CallOnChange<ADC, uint8_t>> adcsraWatcher_;
    std::unique_ptr<CallWhenDue<ADC>> freeRunningTimer_;
    std::minstd_rand random_{kDefaultSeed};
    int error_ = 0;  // drawn when a conversion starts
    uint32_t nextDue_ = 0;
    bool armed_ = false;
    uint8_t lastAdsc_ = 0;
    uint8_t lastAdlar_ = 0;
    bool pending_ = false;
};

// Installs the converter model into the core: built on event 103 for a part
// with converter channels, its deferred conversion run after every refresh.
void InstallAdcModel(CLEDView* core);

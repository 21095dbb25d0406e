#include "components/analog/ADC.h"

#include <tinyxml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "core/CLEDView.h"
#include "core/CycleCount.h"
#include "core/PartDescriptionFile.h"

namespace adc {

InputSelection SelectInput(int mux) {
    static const ConverterDescription classic = ClassicConverter();
    return classic.inputs[static_cast<size_t>(mux & 0x1F)];
}

std::optional<double> ReferenceVolts(const ReferenceSelection& selection, const Supplies& s) {
    double volts = 0.0;
    const bool replaced = s.externalAref && selection.arefPin;
    switch (selection.source) {
        case ReferenceSelection::None:
            return std::nullopt;  // reserved selection
        case ReferenceSelection::Aref:
            if (!s.externalAref) return std::nullopt;
            volts = s.arefVolts;
            break;
        case ReferenceSelection::Avcc:
            volts = replaced ? s.arefVolts : s.avccVolts;
            break;
        case ReferenceSelection::Vcc:
            volts = replaced ? s.arefVolts : s.vccVolts;
            break;
        case ReferenceSelection::Vref:
            volts = replaced ? s.arefVolts : s.vrefVolts;
            break;
        case ReferenceSelection::Internal:
            volts = replaced ? s.arefVolts : selection.volts;
            break;
    }
    // A reference of 0 V or less (or not a number) cannot divide.
    if (!(volts > 0.0)) return std::nullopt;
    return volts;
}

std::optional<double> ReferenceVolts(int refs, bool externalAref, double arefVolts,
                                     double avccVolts, double internalVolts) {
    static const ConverterDescription classic = ClassicConverter();
    return ReferenceVolts(classic.references[static_cast<size_t>(refs & 3)],
                          {externalAref, arefVolts, avccVolts, avccVolts, internalVolts});
}

namespace {

// trunc(x) limited to [lo, hi]; NaN gives lo.
int TruncatedWithin(double x, int lo, int hi) {
    if (!(x > lo)) return lo;
    if (x >= hi) return hi;
    return static_cast<int>(std::trunc(x));
}

}  // namespace

int SingleEndedCode(double volts, double vrefVolts, int error) {
    if (!(vrefVolts > 0.0)) return 0;
    int code = TruncatedWithin(volts * 1024.0 / vrefVolts, 0, 1024 + error);
    if (code > error) code -= error;
    return std::min(code, 1023);
}

int DifferentialCode(double vdiffVolts, double vrefVolts, int gain) {
    if (!(vrefVolts > 0.0)) return 0;
    const double code = gain * vdiffVolts * 512.0 / vrefVolts;
    if (code < 0) return -TruncatedWithin(-code, 0, 512);
    return TruncatedWithin(code, 0, 511);
}

int UnipolarDifferentialCode(double vdiffVolts, double vrefVolts, int gain) {
    if (!(vrefVolts > 0.0)) return 0;
    return TruncatedWithin(gain * vdiffVolts * 1024.0 / vrefVolts, 0, 1023);
}

ResultPair RightAdjusted(int code) {
    const auto bits = static_cast<uint16_t>(code & 0x3FF);
    return {static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits & 0xFF)};
}

ResultPair ToLeftAdjusted(ResultPair r) {
    return {static_cast<uint8_t>(((r.high & 3) << 6) | (r.low >> 2)),
            static_cast<uint8_t>((r.low << 6) & 0xFF)};
}

ResultPair ToRightAdjusted(ResultPair l) {
    return {static_cast<uint8_t>(l.high >> 6),
            static_cast<uint8_t>(((l.high & 0x3F) << 2) | (l.low >> 6))};
}

int PrescalerFactor(uint8_t adcsra) {
    const int adps = adcsra & 7;
    return adps <= 1 ? 2 : 1 << adps;
}

int ConversionError(double adcClockHz, uint32_t random) {
    return (adcClockHz < 1000000.0 ? 2 : 3) + static_cast<int>(random & 1);
}

}  // namespace adc

using namespace adc;

ADC::ADC(int channelCount, CLEDView* core, const ADC* previous)
    : core_(core), description_(ClassicConverter(std::max(channelCount, 1))) {
    channelCount = description_.channels;
    const int carried = previous ? std::min(channelCount, previous->ChannelCount()) : 0;
    for (int i = 0; i < channelCount; ++i) {
        const auto at = static_cast<size_t>(i);
        const bool kept = i < carried;
        channels_.push_back(std::make_unique<Value<uint32_t>>());
        if (kept) channels_.back()->set(previous->channels_[at]->get());  // nobody watches yet
        claimed_.push_back(kept ? previous->claimed_[at] : 0);
        millivolt_.push_back(kept ? previous->millivolt_[at] : 0);
        char text[96];
        std::snprintf(text, sizeof text, "Generating channel %i/%i with initial value \"%i\".",
                      i + 1, channelCount, static_cast<int>(channels_.back()->get()));
        core_->Trace("ADC::ADC", text);
    }
    // The core forgets its tables when the part changes: tables it still
    // has are this part's, read in the session before.
    if (!core_->MappedPart().empty()) {
        BindTo(core_->MappedPart());
        if (admuxWatcher_) lastAdlar_ = Read(admux_) & kAdlar;
    }
}

void ADC::EnsureBound() {
    if (!bindPending_ || core_->MappedPart().empty()) return;
    BindTo(core_->MappedPart());
    if (!bound_) return;
    // The core has already shown its first image of the registers: take
    // it as the watchers would have seen it, a conversion running in it
    // included.
    OnAdcsraChanged();
    OnAdmuxChanged();
}

void ADC::BindTo(const std::string& part) {
    bindPending_ = false;
    PartConverter converter = ReadPartConverter(core_, part);
    if (converter.description) {
        description_ = std::move(*converter.description);
        // The core counted the same CHANNELS; a channel past it reads 0 V.
        description_.channels = ChannelCount();
    }
    if (!converter.fault.empty()) {
        core_->Log("ADC::ADC", converter.fault + "; no conversion is simulated.");
        return;
    }
    bound_ = Bind(converter.lookup);
    if (!bound_) return;
    admuxWatcher_ =
        std::make_unique<CallOnChange<ADC, uint8_t>>(admux_, this, &ADC::OnAdmuxChanged);
    adcsraWatcher_ =
        std::make_unique<CallOnChange<ADC, uint8_t>>(adcsra_, this, &ADC::OnAdcsraChanged);
}

bool ADC::Bind(const RegisterLookup& lookup) {
    std::vector<std::string> missing;
    auto subject = [&](const std::string& name) -> GatedValue<uint8_t>* {
        const int index = lookup(name);
        GatedValue<uint8_t>* reg = index >= 0 ? core_->IORegister(index) : nullptr;
        if (!reg && std::find(missing.begin(), missing.end(), name) == missing.end()) {
            missing.push_back(name);
        }
        return reg;
    };
    adcl_ = subject("ADCL");
    adch_ = subject("ADCH");
    adcsra_ = subject("ADCSRA");
    admux_ = subject("ADMUX");
    auto bind = [&](const BitPlace& place) {
        return BoundBit{subject(place.reg), static_cast<uint8_t>(1u << place.bit)};
    };
    auto bindField = [&](const std::vector<BitPlace>& places, std::vector<BoundBit>* out) {
        for (const BitPlace& place : places) out->push_back(bind(place));
    };
    bindField(description_.mux, &mux_);
    bindField(description_.reference, &reference_);
    bindField(description_.trigger, &trigger_);
    freeRunning_ = bind(description_.freeRunning);
    if (description_.bipolar) bipolar_ = bind(*description_.bipolar);
    if (description_.reversal) reversal_ = bind(*description_.reversal);
    if (missing.empty()) return true;
    std::string names;
    for (const std::string& name : missing) names += (names.empty() ? "" : ", ") + name;
    core_->Log("ADC::ADC", "The part has no register " + names +
                               " of its converter; no conversion is simulated.");
    return false;
}

ADC::~ADC() = default;

Value<uint32_t>* ADC::GetChannel(int i) {
    if (i < 0 || i >= ChannelCount()) return nullptr;
    return channels_[static_cast<size_t>(i)].get();
}

void ADC::ClaimChannel(int i) {
    if (i >= 0 && i < ChannelCount()) claimed_[static_cast<size_t>(i)] = 1;
}

void ADC::ReleaseChannel(int i) {
    if (i >= 0 && i < ChannelCount()) claimed_[static_cast<size_t>(i)] = 0;
}

bool ADC::IsClaimed(int i) const {
    return i >= 0 && i < ChannelCount() && claimed_[static_cast<size_t>(i)] != 0;
}

int ADC::FirstFreeChannel() const {
    for (int i = 0; i < ChannelCount(); ++i) {
        if (!IsClaimed(i)) return i;
    }
    return -1;
}

std::vector<int> ADC::OfferedChannels(int own) const {
    std::vector<int> offered;
    for (int i = 0; i < ChannelCount(); ++i) {
        if (i == own || !IsClaimed(i)) offered.push_back(i);
    }
    return offered;
}

void ADC::SetMillivoltMode(int i) {
    if (i >= 0 && i < ChannelCount()) millivolt_[static_cast<size_t>(i)] = 1;
}

void ADC::ClearMillivoltMode(int i) {
    if (i >= 0 && i < ChannelCount()) millivolt_[static_cast<size_t>(i)] = 0;
}

bool ADC::IsMillivoltMode(int i) const {
    return i >= 0 && i < ChannelCount() && millivolt_[static_cast<size_t>(i)] != 0;
}

bool ADC::Active() const { return bound_ && core_->IsAttached() && core_->IsSimulator(); }

int ADC::FieldValue(const std::vector<BoundBit>& field) {
    int value = 0;
    for (const BoundBit& bit : field) value = (value << 1) | (IsSet(bit) ? 1 : 0);
    return value;
}

const InputSelection& ADC::SelectedInput() const {
    return description_.inputs[static_cast<size_t>(FieldValue(mux_))];
}

bool ADC::IsEnabled() const {
    return Active() && core_->General().adcEnabled && (Read(adcsra_) & kAden) != 0;
}

bool ADC::IsDifferential() const {
    return Active() && SelectedInput().kind == InputSelection::Differential;
}

int ADC::SelectedChannel() const { return Active() ? FieldValue(mux_) : 0; }

int ADC::PrescalerFactor() const { return Active() ? adc::PrescalerFactor(Read(adcsra_)) : 1; }

bool ADC::IsFreeRunning() const {
    return IsEnabled() && IsSet(freeRunning_) && FieldValue(trigger_) == 0;
}

double ADC::ChannelVolts(int i, double vrefVolts) const {
    if (i < 0 || i >= ChannelCount()) return 0.0;
    const double value = channels_[static_cast<size_t>(i)]->get();
    return millivolt_[static_cast<size_t>(i)] ? value / 1000.0 : value * vrefVolts / 100.0;
}

Supplies ADC::CurrentSupplies() const {
    return {core_->ExternalArefApplied()->get() != 0, core_->ExternalAref()->get(),
            core_->AVcc()->get(), core_->Vcc()->get(), core_->InternalReference()->get()};
}

std::optional<double> ADC::ProgramReferenceVolts() const {
    if (!bound_) return std::nullopt;
    return ReferenceVolts(description_.references[static_cast<size_t>(FieldValue(reference_))],
                          CurrentSupplies());
}

namespace {

const ReferenceSelection* FindReference(const ConverterDescription& d,
                                        ReferenceSelection::Source source) {
    for (const ReferenceSelection& r : d.references) {
        if (r.source == source) return &r;
    }
    return nullptr;
}

}  // namespace

double ADC::SupplyVolts() const {
    if (!FindReference(description_, ReferenceSelection::Avcc) &&
        FindReference(description_, ReferenceSelection::Vcc)) {
        return core_->Vcc()->get();
    }
    return core_->AVcc()->get();
}

double ADC::InternalVolts() const {
    if (FindReference(description_, ReferenceSelection::Vref)) {
        return core_->InternalReference()->get();
    }
    const ReferenceSelection* fixed = FindReference(description_, ReferenceSelection::Internal);
    return fixed ? fixed->volts : core_->InternalReference()->get();
}

double ADC::InternalNominalVolts() const {
    const ReferenceSelection* r = FindReference(description_, ReferenceSelection::Vref);
    if (!r) r = FindReference(description_, ReferenceSelection::Internal);
    return r ? r->volts : 2.56;
}

std::vector<std::pair<GatedValue<uint8_t>*, uint8_t>> ADC::ReferenceRegisters() {
    EnsureBound();
    std::vector<std::pair<GatedValue<uint8_t>*, uint8_t>> registers;
    if (!bound_) return registers;
    for (const BoundBit& bit : reference_) {
        auto it = std::find_if(registers.begin(), registers.end(),
                               [&bit](const auto& r) { return r.first == bit.reg; });
        if (it == registers.end()) {
            registers.emplace_back(bit.reg, bit.mask);
        } else {
            it->second = static_cast<uint8_t>(it->second | bit.mask);
        }
    }
    return registers;
}

int ADC::ChannelMillivolts(int i, double fallbackVolts) const {
    const double volts = ChannelVolts(i, ProgramReferenceVolts().value_or(fallbackVolts));
    return static_cast<int>(std::lround(volts * 1000.0));
}

void ADC::WriteResult(ResultPair pair) {
    if (Read(admux_) & kAdlar) pair = ToLeftAdjusted(pair);
    adch_->set(pair.high);
    adcl_->set(pair.low);
}

void ADC::Convert() {
    if (!IsEnabled() || core_->IsRefreshing()) return;
    const std::optional<double> vref = ProgramReferenceVolts();
    if (!vref) {
        WriteResult({0, 0});
        return;
    }
    const InputSelection& input = SelectedInput();
    int code = 0;
    switch (input.kind) {
        case InputSelection::SingleEnded:
            code = SingleEndedCode(ChannelVolts(input.positive, *vref), *vref, error_);
            break;
        case InputSelection::Bandgap:
        case InputSelection::Temperature:
            code = SingleEndedCode(input.volts, *vref, error_);
            break;
        case InputSelection::Ground:
        case InputSelection::Reserved:
            code = 0;
            break;
        case InputSelection::Differential:
            if (input.positive != input.negative) {
                double vdiff =
                    ChannelVolts(input.positive, *vref) - ChannelVolts(input.negative, *vref);
                if (IsSet(reversal_)) vdiff = -vdiff;
                // A part with a bipolar bit gives unsigned results while it
                // is clear; the others always give signed ones.
                code = bipolar_.reg && !IsSet(bipolar_)
                           ? UnipolarDifferentialCode(vdiff, *vref, input.gain)
                           : DifferentialCode(vdiff, *vref, input.gain);
            }
            break;
    }
    WriteResult(RightAdjusted(code));
}

void ADC::RequestConversion() {
    if (core_->IsRefreshing()) {
        pending_ = true;
        return;
    }
    Convert();
}

void ADC::RunDeferredConversion() {
    if (bindPending_) EnsureBound();
    if (!pending_) return;
    pending_ = false;
    Convert();
}

uint32_t ADC::FreeRunningPeriod() const {
    return static_cast<uint32_t>(kCyclesPerConversion * PrescalerFactor());
}

void ADC::OnAdmuxChanged() {
    const uint8_t adlar = Read(admux_) & kAdlar;
    if (adlar == lastAdlar_) return;
    // Tracked whether or not the converter is on, so that a result is
    // never re-justified for a change it has already been converted with.
    lastAdlar_ = adlar;
    if (!IsEnabled()) return;
    const ResultPair now{Read(adch_), Read(adcl_)};
    const ResultPair pair = adlar ? ToLeftAdjusted(now) : ToRightAdjusted(now);
    adch_->set(pair.high);
    adcl_->set(pair.low);
}

void ADC::OnAdcsraChanged() {
    if (!IsEnabled()) {
        // Switching the converter off ends any conversion: the next start
        // is a fresh 0 -> 1 edge.
        lastAdsc_ = 0;
        armed_ = false;
        return;
    }
    const uint8_t adsc = Read(adcsra_) & kAdsc;
    if (adsc == lastAdsc_) return;  // e.g. the program clearing ADIF
    lastAdsc_ = adsc;
    if (!adsc) return;  // the simulator ended a single conversion

    // A conversion starts: sample the input now.
    const double adcClock = core_->ClockMHz() * 1e6 / PrescalerFactor();
    error_ = ConversionError(adcClock, static_cast<uint32_t>(random_()));
    RequestConversion();
    if (IsFreeRunning()) {
        armed_ = true;
        nextDue_ = core_->CycleCounter()->get() + FreeRunningPeriod();
        if (!freeRunningTimer_) {
            freeRunningTimer_ = std::make_unique<CallWhenDue<ADC>>(
                core_->CycleCounter(), this, &ADC::OnCycleCounter, &ADC::FreeRunningDue);
        }
    } else {
        armed_ = false;
    }
}

bool ADC::FreeRunningDue(uint32_t* due) const {
    // OnCycleCounter does nothing before nextDue_ (nor while not armed).
    if (!armed_) return false;
    *due = nextDue_;
    return true;
}

void ADC::OnCycleCounter() {
    // The cheap tests first: this may run on every refresh.
    if (!armed_) return;
    const uint32_t now = core_->CycleCounter()->get();
    if (!cyclecount::Reached(now, nextDue_) || !IsFreeRunning()) return;
    RequestConversion();
    const uint32_t period = FreeRunningPeriod();
    nextDue_ += period;
    // After a long jump (a sleeping part) the next sample is one period
    // from now rather than a burst of overdue ones.
    if (cyclecount::Reached(now, nextDue_)) nextDue_ = now + period;
}

namespace adc {

PartConverter ReadPartConverter(CLEDView* core, const std::string& part) {
    PartConverter out;
    out.lookup = [core](const std::string& name) { return core->FindRegister(name); };
    std::string path = core->PartDescriptionFilePath(part, true);
    TiXmlDocument doc;
    // The core read this file for the part's registers and converter
    // inputs, with the same checks: one that fails now has changed since.
    std::string error = path.empty() || part.find_first_of("/\\") != std::string::npos
                            ? "no part description file for \"" + part + "\""
                            : std::string();
    if (error.empty()) {
        std::replace(path.begin(), path.end(), '\\', '/');
        error = quill::partfile::load(path, &doc);
    }
    if (!error.empty()) {
        out.fault = error;
        return out;
    }
    out.description = ReadConverterDescription(doc, &error);
    if (!error.empty()) {
        out.fault = "Part description " + path + ": " + error;
        return out;
    }
    if (!out.description) {
        // The converter every part had before its description said which:
        // a register the file does not name is at the ATmega16's address.
        out.lookup = [core](const std::string& name) {
            const int index = core->FindRegister(name);
            if (index >= 0) return index;
            static const std::map<std::string, int> classic = {
                {"ADCL", kAdcl}, {"ADCH", kAdch}, {"ADCSRA", kAdcsra}, {"ADMUX", kAdmux},
                {"SFIOR", kSfior}};
            auto it = classic.find(name);
            return it == classic.end() ? -1 : it->second;
        };
    }
    return out;
}

}  // namespace adc

void InstallAdcModel(CLEDView* core) {
    if (!core) return;
    AdcModelHooks hooks;
    hooks.create = [](int channels, CLEDView* owner, const ADC* previous) {
        return AdcModelPtr(new ADC(channels, owner, previous), [](ADC* model) { delete model; });
    };
    hooks.runDeferredConversion = [](ADC* model) { model->RunDeferredConversion(); };
    core->SetAdcModelHooks(std::move(hooks));
}

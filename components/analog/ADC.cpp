#include "components/analog/ADC.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/CLEDView.h"
#include "core/CycleCount.h"

namespace adc {

InputSelection SelectInput(int mux) {
    mux &= 0x1F;
    if (mux < 8) return {InputSelection::SingleEnded, mux, 0, 1};
    switch (mux) {
        case 8:
            return {InputSelection::Differential, 0, 0, 10};
        case 9:
            return {InputSelection::Differential, 1, 0, 10};
        case 10:
            return {InputSelection::Differential, 0, 0, 200};
        case 11:
            return {InputSelection::Differential, 1, 0, 200};
        case 12:
            return {InputSelection::Differential, 2, 2, 10};
        case 13:
            return {InputSelection::Differential, 3, 2, 10};
        case 14:
            return {InputSelection::Differential, 2, 2, 200};
        case 15:
            return {InputSelection::Differential, 3, 2, 200};
        case 30:
            return {InputSelection::Bandgap, 0, 0, 1};
        case 31:
            return {InputSelection::Ground, 0, 0, 1};
        default:
            break;
    }
    if (mux < 24) return {InputSelection::Differential, mux - 16, 1, 1};
    return {InputSelection::Differential, mux - 24, 2, 1};
}

std::optional<double> ReferenceVolts(int refs, bool externalAref, double arefVolts,
                                     double avccVolts, double internalVolts) {
    double volts = 0.0;
    switch (refs & 3) {
        case 0:
            if (!externalAref) return std::nullopt;
            volts = arefVolts;
            break;
        case 1:
            volts = externalAref ? arefVolts : avccVolts;
            break;
        case 2:
            return std::nullopt;  // reserved selection
        default:
            volts = externalAref ? arefVolts : internalVolts;
            break;
    }
    // A reference of 0 V or less (or not a number) cannot divide.
    if (!(volts > 0.0)) return std::nullopt;
    return volts;
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

ADC::ADC(int channelCount, CLEDView* core, const ADC* previous) : core_(core) {
    channelCount = std::max(channelCount, 1);
    admuxWatcher_ = std::make_unique<CallOnChange<ADC, uint8_t>>(core_->IORegister(kAdmux), this,
                                                                 &ADC::OnAdmuxChanged);
    adcsraWatcher_ = std::make_unique<CallOnChange<ADC, uint8_t>>(core_->IORegister(kAdcsra), this,
                                                                  &ADC::OnAdcsraChanged);
    lastAdlar_ = Register(kAdmux) & kAdlar;
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

bool ADC::Active() const { return core_->IsAttached() && core_->IsSimulator(); }

uint8_t ADC::Register(int index) const {
    const GatedValue<uint8_t>* r = core_->IORegister(index);
    return r ? r->get() : 0;
}

bool ADC::IsEnabled() const {
    return Active() && core_->General().adcEnabled && (Register(kAdcsra) & kAden) != 0;
}

bool ADC::IsDifferential() const {
    return Active() && SelectInput(Register(kAdmux)).kind == InputSelection::Differential;
}

int ADC::SelectedChannel() const { return Active() ? (Register(kAdmux) & 0x1F) : 0; }

int ADC::PrescalerFactor() const { return Active() ? adc::PrescalerFactor(Register(kAdcsra)) : 1; }

bool ADC::IsFreeRunning() const {
    return IsEnabled() && (Register(kAdcsra) & kAdate) != 0 && (Register(kSfior) & 0xE0) == 0;
}

double ADC::ChannelVolts(int i, double vrefVolts) const {
    if (i < 0 || i >= ChannelCount()) return 0.0;
    const double value = channels_[static_cast<size_t>(i)]->get();
    return millivolt_[static_cast<size_t>(i)] ? value / 1000.0 : value * vrefVolts / 100.0;
}

std::optional<double> ADC::ProgramReferenceVolts() const {
    return ReferenceVolts(Register(kAdmux) >> 6, core_->ExternalArefApplied()->get() != 0,
                          core_->ExternalAref()->get(), core_->AVcc()->get(),
                          core_->InternalReference()->get());
}

int ADC::ChannelMillivolts(int i, double fallbackVolts) const {
    const double volts = ChannelVolts(i, ProgramReferenceVolts().value_or(fallbackVolts));
    return static_cast<int>(std::lround(volts * 1000.0));
}

void ADC::WriteResult(ResultPair pair) {
    if (Register(kAdmux) & kAdlar) pair = ToLeftAdjusted(pair);
    core_->IORegister(kAdch)->set(pair.high);
    core_->IORegister(kAdcl)->set(pair.low);
}

void ADC::Convert() {
    if (!IsEnabled() || core_->IsRefreshing()) return;
    const uint8_t admux = Register(kAdmux);
    const std::optional<double> vref = ProgramReferenceVolts();
    if (!vref) {
        WriteResult({0, 0});
        return;
    }
    const InputSelection input = SelectInput(admux);
    int code = 0;
    switch (input.kind) {
        case InputSelection::SingleEnded:
            code = SingleEndedCode(ChannelVolts(input.positive, *vref), *vref, error_);
            break;
        case InputSelection::Bandgap:
            code = SingleEndedCode(kBandgapVolts, *vref, error_);
            break;
        case InputSelection::Ground:
            code = 0;
            break;
        case InputSelection::Differential:
            if (input.positive != input.negative) {
                code = DifferentialCode(
                    ChannelVolts(input.positive, *vref) - ChannelVolts(input.negative, *vref),
                    *vref, input.gain);
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
    if (!pending_) return;
    pending_ = false;
    Convert();
}

uint32_t ADC::FreeRunningPeriod() const {
    return static_cast<uint32_t>(kCyclesPerConversion * PrescalerFactor());
}

void ADC::OnAdmuxChanged() {
    const uint8_t adlar = Register(kAdmux) & kAdlar;
    if (adlar == lastAdlar_) return;
    // Tracked whether or not the converter is on, so that a result is
    // never re-justified for a change it has already been converted with.
    lastAdlar_ = adlar;
    if (!IsEnabled()) return;
    const ResultPair now{Register(kAdch), Register(kAdcl)};
    const ResultPair pair = adlar ? ToLeftAdjusted(now) : ToRightAdjusted(now);
    core_->IORegister(kAdch)->set(pair.high);
    core_->IORegister(kAdcl)->set(pair.low);
}

void ADC::OnAdcsraChanged() {
    if (!IsEnabled()) {
        // Switching the converter off ends any conversion: the next start
        // is a fresh 0 -> 1 edge.
        lastAdsc_ = 0;
        armed_ = false;
        return;
    }
    const uint8_t adsc = Register(kAdcsra) & kAdsc;
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

void InstallAdcModel(CLEDView* core) {
    if (!core) return;
    AdcModelHooks hooks;
    hooks.create = [](int channels, CLEDView* owner, const ADC* previous) {
        return AdcModelPtr(new ADC(channels, owner, previous), [](ADC* model) { delete model; });
    };
    hooks.runDeferredConversion = [](ADC* model) { model->RunDeferredConversion(); };
    core->SetAdcModelHooks(std::move(hooks));
}

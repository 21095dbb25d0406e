// The debugger-event cycle: the host's events switch attachment and the
// simulator flag; each event 3 refreshes the image of the I/O registers,
// tells the components what changed and writes their inputs back.
#include <cstdio>
#include <cstdlib>

#include "core/CLEDView.h"
#include "core/CycleCount.h"

HRESULT CLEDView::HandleEvent(LONG eventnum, BSTR) {
    switch (eventnum) {
        case kEventHalted:
            if (simulator_) Refresh();
            break;
        case kEventDetached6:
        case kEventDetached8:
            attached_ = false;
            break;
        case kEventReattach:
            StopAutostep();
            attached_ = false;
            ConnectTarget();
            DetectSimulator();
            break;
        case kEventPartReset:
            DetectSimulator();
            StopAutostep();
            Request_Update();
            break;
        case kEventRunStarted:
            StopAutostep();
            break;
        case kEventSessionStarted:
            ConnectTarget();
            break;
        case kEventSessionPaused:
            attached_ = false;
            StopAutostep();
            break;
        case kEventTargetReady: {
            ConnectTarget();
            DetectSimulator();
            const std::string partBefore = mappedPart_;
            CreateAdcModel();
            UpdateIOMemory();
            // Another part than the last session's: the tables were built
            // anew, and the open components must rebind to its registers
            // instead of keeping the old part's indices until a reset.
            if (!partBefore.empty() && mappedPart_ != partBefore) Request_Update();
            EnableCommands();
            break;
        }
        case kEventSessionEnded:
            attached_ = false;
            simulator_ = false;
            StopAutostep();
            break;
        default:
            break;
    }
    return S_OK;
}

void CLEDView::DetectSimulator() {
    simulator_ = Target_is_Simulator();
    Log("CLEDView::Target_is_Simulator()",
        simulator_ ? "Target: Simulator." : "No simulator detected. Disabling functions.");
    // The clock is read here, with the simulator, rather than by every
    // conversion: one host round trip per session instead of one per
    // instruction once conversions run.
    if (simulator_) detectedClockMHz_ = GetFrequency();
}

double CLEDView::ClockMHz() const {
    if (general_.clockPredefined) {
        char* end = nullptr;
        const double mhz = std::strtod(general_.clockValue.c_str(), &end);
        if (end != general_.clockValue.c_str() && mhz > 0.0) return mhz;
    }
    return detectedClockMHz_;
}

void CLEDView::SetAdcModelHooks(AdcModelHooks hooks) { adcHooks_ = std::move(hooks); }

void CLEDView::CreateAdcModel() {
    const std::string part = GetSelectedPartname();

    // A different part than the one the register tables were read for:
    // its names and addresses would be stale, so the tables start over.
    if (attached_ && !mappedPart_.empty() && part != mappedPart_) {
        Log("CLEDView::UpdateIOMemory()", "Selected part changed from " + mappedPart_ + " to " +
                                              part + "; rebuilding the register tables.");
        ForgetRegisterTables();
    }

    const int channels = GetNumberOfADCChannels(part);

    // The model of an earlier session is released, with its observers,
    // before a new one is built: two models must never drive the same
    // result registers.
    adc_.reset();

    if (channels > 0 && adcHooks_.create) adc_ = adcHooks_.create(channels, this);
    if (adc_) {
        Log("", "Analog / Digital Converter created!");
        SetCommandState(kCmdSlider, kCommandEnabled);
    } else {
        SetCommandState(kCmdSlider, kCommandDisabled);
        Log("", "Analog / Digital Converter not created!");
        if (channels > 0) {
            Log("", "The converter model is not available in this build.");
        }
    }
}

void CLEDView::EnableCommands() {
    // The target is asked again (and its name logged), as the host may
    // have switched targets while the part was read.
    if (!attached_ || !Target_is_Simulator()) return;
    static const int enabled[] = {
        kCmdKnightRider, kCmdCapacityMeasurement, kCmdLed, kCmdSwitch,  kCmdKeypad,
        kCmdStackView,   kCmdBeerbasement,        kCmdLcd, kCmdAutostep};
    for (int command : enabled) SetCommandState(command, kCommandEnabled);
}

void CLEDView::Request_Update() {
    const uint8_t previous = updateRequest_.get();
    const uint8_t next = previous == 0 ? 1 : 0;
    char text[64];
    std::snprintf(text, sizeof text, "Request update (%i => %i)", previous, next);
    Log("CLEDView::Request_Update()", text);
    updateRequest_.set(next);
}

void CLEDView::DetectReset() {
    // The count wraps after 2^32 cycles; only a step back is a reset.
    if (cyclecount::WentBack(cycleCounter_.previous(), cycleCounter_.get())) {
        Log("CLEDView::DetectReset()", "RESET Detected.");
        Request_Update();
    }
}

void CLEDView::OnRegisterChanged() {
    if (!refreshing_) {
        for (size_t i = 0; i < ioRegisters_.size(); ++i) ioImage_[i] = ioRegisters_[i].get();
        WriteIOMemory(ioImage_.data());
    }
    if (logger_.enabled()) DumpRegisters();
}

void CLEDView::DumpRegisters() {
    // A fresh read of the simulator's I/O space; while it cannot be read
    // the dump shows the core's image of the registers.
    std::array<uint8_t, 64> io;
    if (!ReadIOMemory(io.data())) {
        for (size_t i = 0; i < io.size(); ++i) io[i] = ioRegisters_[i].get();
    }
    const uint32_t cycles = ReadCycleCounter();
    double microseconds = 0.0;
    if (logger_.layout().precedeByRunningTime) {
        const double mhz = ClockMHz();
        microseconds = mhz > 0.0 ? cycles / mhz : 0.0;
    }
    logger_.Dump(
        cycles, microseconds, io.data(), [this](int index) { return GetRegisterName(index); },
        [this](const std::string& line) { Log("", line); });
}

void CLEDView::ApplyLoggerChoice(const LoggerChoice& choice) {
    const std::string problem = logger_.Apply(choice);
    if (!problem.empty()) Diagnose("CLEDView::ApplyLoggerChoice()", problem);
}

GatedValue<uint8_t>* CLEDView::IORegister(int index) {
    if (index < 0 || index >= static_cast<int>(ioRegisters_.size())) return nullptr;
    return &ioRegisters_[static_cast<size_t>(index)];
}

uint16_t CLEDView::GetStackPointer() {
    return static_cast<uint16_t>(ioRegisters_[0x3E].get() * 256 + ioRegisters_[0x3D].get());
}

void CLEDView::Refresh() {
    refreshing_ = true;
    if (!firstRefresh_) ioPrevious_ = ioImage_;
    ReadIOMemory(ioImage_.data());  // a failed read keeps the last image

    for (size_t i = 0; i < ioRegisters_.size(); ++i) {
        ioRegisters_[i].setNotifyEnabled(false);
        ioRegisters_[i].set(ioImage_[i]);
        ioRegisters_[i].setNotifyEnabled(true);
    }
    // Observers may set registers while they run; those writes are only
    // collected (refreshing is set) and go out below.
    for (size_t i = 0; i < ioRegisters_.size(); ++i) {
        if (firstRefresh_ || ioRegisters_[i].get() != ioPrevious_[i]) ioRegisters_[i].notify();
    }
    firstRefresh_ = false;

    std::array<uint8_t, 64> out;
    for (size_t i = 0; i < ioRegisters_.size(); ++i) out[i] = ioRegisters_[i].get();
    if (adifPending_) {
        out[6] |= 0x10;  // ADCSRA: ADIF raised by the converter during the refresh
        adifPending_ = false;
    }
    // What the simulator now holds is the image the next refresh compares
    // with, so a component's own input does not come back as a change.
    if (WriteIOMemory(out.data())) ioImage_ = out;
    refreshing_ = false;

    dataPrevious_ = dataMemory_;
    ReadDataMemory(dataMemory_.data());
    stackPointerPrevious_ = stackPointer_;
    stackPointer_ = GetStackPointer();

    ReadRegisters(generalRegisters_.data());
    pointerX_ = static_cast<uint16_t>(generalRegisters_[27] * 256 + generalRegisters_[26]);
    pointerY_ = static_cast<uint16_t>(generalRegisters_[29] * 256 + generalRegisters_[28]);
    pointerZ_ = static_cast<uint16_t>(generalRegisters_[31] * 256 + generalRegisters_[30]);

    // A failed read (target gone, host error) is no reset: the count keeps
    // its value instead of falling to 0.
    uint32_t count = 0;
    if (ReadCycleCounter(&count)) cycleCounter_.set(count);

    if (adc_ && adcHooks_.runDeferredConversion) adcHooks_.runDeferredConversion(adc_.get());
}

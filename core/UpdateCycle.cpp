// The debugger-event cycle: the host's events switch attachment and the
// simulator flag; each event 3 refreshes the image of the I/O registers,
// tells the components what changed and writes their inputs back.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "core/CLEDView.h"
#include "core/CycleCount.h"

namespace {

// Bit i set where the 64 bytes from a and b differ in byte i, for the bytes
// whose bit is set in `within`; eight bytes compared at a time, and only the
// groups of eight holding one of those (most refreshes read a few).
uint64_t DifferingBytes(const uint8_t* a, const uint8_t* b, uint64_t within) {
    uint64_t differing = 0;
    for (uint64_t groups = within; groups != 0;) {
        const auto word = static_cast<size_t>(std::countr_zero(groups)) & ~size_t{7};
        groups &= ~(uint64_t{0xFF} << word);
        uint64_t x, y;
        std::memcpy(&x, a + word, 8);
        std::memcpy(&y, b + word, 8);
        if (x == y) continue;
        if constexpr (std::endian::native == std::endian::little) {
            // Byte k of the group is bits 8k..8k+7: set bit 8k+7 where the
            // byte is not zero, then gather those eight bits into one byte
            // (the multiplication moves bit 8k to bit 56+k, nothing carries).
            const uint64_t t = x ^ y;
            constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
            const uint64_t nonZero = (((t & kLow7) + kLow7) | t) & ~kLow7;
            differing |= (((nonZero >> 7) * 0x0102040810204080ULL) >> 56) << word;
        } else {
            for (size_t i = word; i < word + 8; ++i)
                if (a[i] != b[i]) differing |= uint64_t{1} << i;
        }
    }
    return differing & within;
}

// Bit k set where the images differ in byte 64 * word + k, for the bytes
// the images hold (the last word of the largest bank is half a word) whose
// bit is set in `within`.
template <size_t N>
uint64_t DifferingWord(const std::array<uint8_t, N>& a, const std::array<uint8_t, N>& b,
                       int word, uint64_t within) {
    const size_t at = static_cast<size_t>(word) * 64;
    if (at + 64 <= N) return DifferingBytes(a.data() + at, b.data() + at, within);
    uint64_t bits = 0;
    for (size_t i = at; i < N; ++i)
        if (a[i] != b[i]) bits |= uint64_t{1} << (i - at);
    return bits & within;
}

}  // namespace

HRESULT CLEDView::HandleEvent(LONG eventnum, BSTR) {
    switch (eventnum) {
        case kEventHalted:
            if (simulator_) {
                handlingRefresh_ = true;
                Refresh();
                handlingRefresh_ = false;
            }
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
            reportedClock_.reset();  // a new session hears of the clock again
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
            FlushLog();
            ShowPending();
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
    if (simulator_) {
        detectedClockMHz_ = GetFrequency();
        ReportClock();
    }
}

ClockChoice CLEDView::Clock() const {
    return ChooseClock(general_.clockPredefined, general_.clockValue, detectedClockMHz_);
}

double CLEDView::ClockMHz() const { return Clock().inUseMHz; }

void CLEDView::SetGeneral(const GeneralSettings& settings) {
    general_ = settings;
    ReportClock();
}

void CLEDView::ReportClock() {
    // Outside a session nothing can be written; the session's start reports.
    if (!attached_ || !simulator_) return;
    const ClockChoice clock = Clock();
    if (reportedClock_ == clock) return;
    reportedClock_ = clock;
    Log("CLEDView::ClockMHz()", clock.differenceText());
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

    // The new model takes over the channel values, millivolt modes and
    // claims of the earlier session's, as the windows that fed them still
    // show them. The earlier model is then released with its observers:
    // two models never drive the result registers (nothing converts while
    // the new one is built).
    AdcModelPtr previous = std::move(adc_);
    if (channels > 0 && adcHooks_.create) adc_ = adcHooks_.create(channels, this, previous.get());
    previous.reset();
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

void CLEDView::OnRegisterChanged(int32_t index) {
    // A component's change outside a refresh (a click while halted) is
    // dumped after what the host recorded before it.
    if (!refreshing_ && logger_.enabled()) TakeRecordedChanges();
    if (!refreshing_ && index < bankSize_) {
        // Only the bits the component changed go out, into the register as
        // the simulator holds it now: the rest of the image may be older
        // than the program's last writes (timer, flag and port registers),
        // and writing it back would undo them.
        const auto i = static_cast<size_t>(index);
        const uint8_t wanted = ioRegisters_[i].get();
        const auto changed = static_cast<uint8_t>(wanted ^ ioImage_[i]);
        uint8_t current = ioImage_[i];
        // A failed read leaves the image.
        if (index < kIoRegisterCount) {
            ReadMemory(kMemoryIo, static_cast<ULONG>(i), 1, &current);
        } else {
            ReadMemory(kMemoryData, static_cast<ULONG>(kRegisterBankBase + index), 1, &current);
        }
        const auto value = static_cast<uint8_t>((current & ~changed) | (wanted & changed));
        if (WriteBankRegister(index, value)) ioImage_[i] = value;
    }
    if (!logger_.enabled()) return;
    // While a refresh notifies, nothing reaches the simulator (the
    // components' writes go out after): every register changed in it would
    // dump the same fresh state, which only the first one writes.
    if (refreshing_ && handlingRefresh_) {
        if (dumpedInRefresh_) return;
        dumpedInRefresh_ = true;
    }
    DumpRegisters();
}

void CLEDView::DumpRegisters() {
    // A fresh read of the simulator's registers; while they cannot be read
    // the dump shows the core's image of them. The extended block is read
    // only when a register of it is logged.
    BankBytes bank;
    if (!ReadIOMemory(bank.data())) {
        for (int i = 0; i < kIoRegisterCount; ++i)
            bank[static_cast<size_t>(i)] = ioRegisters_[static_cast<size_t>(i)].get();
    }
    const int count = DumpedRegisterCount();
    if (count > kIoRegisterCount) {
        const auto extended = static_cast<ULONG>(bankSize_ - kIoRegisterCount);
        if (!ReadMemory(kMemoryData, kExtendedIoStart, extended, bank.data() + kIoRegisterCount)) {
            for (int i = kIoRegisterCount; i < bankSize_; ++i)
                bank[static_cast<size_t>(i)] = ioRegisters_[static_cast<size_t>(i)].get();
        }
    }
    WriteDump(ReadCycleCounter(), bank.data(), count);
    // Outside a refresh nothing tells when the host looks next.
    if (!handlingRefresh_) FlushLog();
}

int CLEDView::DumpedRegisterCount() const {
    return bankSize_ > kIoRegisterCount && logger_.bankSelection().anyFrom(kIoRegisterCount)
               ? bankSize_
               : kIoRegisterCount;
}

void CLEDView::WriteDump(uint32_t cycles, const uint8_t* bank, int count) {
    double microseconds = 0.0;
    if (logger_.layout().precedeByRunningTime) {
        const double mhz = ClockMHz();
        microseconds = mhz > 0.0 ? cycles / mhz : 0.0;
    }
    const std::string stopped = logger_.Dump(
        cycles, microseconds, std::span<const uint8_t>(bank, static_cast<size_t>(count)),
        [this](int index) { return GetRegisterName(index); },
        [this](std::string_view line) { Log("", line); });
    if (!stopped.empty()) Diagnose("CLEDView::DumpRegisters()", stopped);
}

bool CLEDView::CoreSeesChange(const RegisterSet& changed, uint32_t live) const {
    bool seen = false;
    changed.forEachIn(live, [&](int i) {
        const auto at = static_cast<size_t>(i);
        const uint8_t now = ioRegisters_[at].stored();
        if (seen || (!firstRefresh_ && now == ioPrevious_[at]) || at >= registerObservers_.size())
            return;
        const auto& own = *registerObservers_[at];
        if (own.isActive() && own.last() != now) seen = true;
    });
    return seen;
}

void CLEDView::TakeRecordedChanges() {
    if (!recorder_ || recordedIndex_.empty()) return;
    const size_t n = recordedIndex_.size();
    bool based = false;
    for (;;) {
        ULONG taken = 0;
        if (recorder_->TakeRecords(recordCycles_.data(), recordValues_.data(), kRecordsPerTake,
                                   &taken) != S_OK ||
            taken == 0)
            return;
        // The registers the host does not record are watched by the
        // filter: none changed since the last refresh, whose image holds
        // them as the simulator did after it.
        if (!based) {
            recordBank_ = ioImage_;
            based = true;
        }
        const int count = DumpedRegisterCount();
        for (ULONG k = 0; k < taken; ++k) {
            const uint8_t* values = recordValues_.data() + k * n;
            for (size_t j = 0; j < n; ++j) recordBank_[recordedIndex_[j]] = values[j];
            WriteDump(static_cast<uint32_t>(recordCycles_[k]), recordBank_.data(), count);
        }
        recordsTaken_ = true;
        if (taken < kRecordsPerTake) return;
    }
}

void CLEDView::FlushLog() {
    // What the host recorded since the last refresh comes before anything
    // else is written.
    TakeRecordedChanges();
    const std::string stopped = logger_.Flush();
    if (!stopped.empty()) Diagnose("CLEDView::DumpRegisters()", stopped);
}

HRESULT CLEDView::HostIdle() {
    logger_.SetHoldBack(true);
    FlushLog();
    showAtIdle_ = true;
    ShowPending();
    return S_OK;
}

void CLEDView::ShowPending() {
    if (memoryShowPending_) {
        memoryShowPending_ = false;
        memoryRead_.notifyShowing();
    }
    if (!showPending_.any()) return;
    const RegisterSet pending = showPending_;
    showPending_.clear();
    pending.forEach([&](int i) { ioRegisters_[static_cast<size_t>(i)].notifyShowing(); });
}

std::string CLEDView::ApplyLoggerChoice(const LoggerChoice& choice) {
    // What the old choice held back goes to its file first.
    FlushLog();
    const std::string problem = logger_.Apply(choice);
    if (!problem.empty()) Diagnose("CLEDView::ApplyLoggerChoice()", problem);
    return problem;
}

GatedValue<uint8_t>* CLEDView::IORegister(int index) {
    if (index < 0 || index >= bankSize_) return nullptr;
    return &ioRegisters_[static_cast<size_t>(index)];
}

uint16_t CLEDView::GetStackPointer() {
    return static_cast<uint16_t>(ioRegisters_[0x3E].get() * 256 + ioRegisters_[0x3D].get());
}

void CLEDView::Refresh() {
    // The dumps of the instructions the host recorded come first, from
    // the image of the last refresh.
    if (!recordedIndex_.empty()) TakeRecordedChanges();
    // A host that left out refreshes tells the count after the last
    // instruction it left out; the count moves there first, as those
    // refreshes would have moved it, so that every observer sees the same
    // counts, before and during this refresh, as with every refresh sent.
    if (direct_) {
        ULONG skipped = 0;
        if (direct_->GetSkippedCycleCounter(&skipped) == S_OK &&
            static_cast<uint32_t>(skipped) != cycleCounter_.get()) {
            const auto count = static_cast<uint32_t>(skipped);
            // Counts compared modulo 2^32: ahead of the last one, and
            // before the due count.
            const bool quiet =
                quietSkipped_ && static_cast<int32_t>(count - cycleCounter_.get()) > 0 &&
                (!quietHasDue_ || static_cast<int32_t>(count - quietDue_) < 0);
            if (quiet) {
                cycleCounter_.load(count);
            } else {
                cycleCounter_.set(count);
            }
        }
    }

    refreshing_ = true;
    dumpedInRefresh_ = false;
    const int bank = bankSize_;
    // The words of the register sets the bank uses: one on a part without
    // extended I/O, so that its refresh costs what it always did.
    const int words = (bank + 63) / 64;
    if (fallsNoted_ && !firstRefresh_) ApplyWaitedFalls(words);
    RegisterSet read;
    ReadBank(bank, words, firstRefresh_, &read);

    // Every register takes its byte of the image: only those the image
    // changed and those set since the last refresh can differ from it. A
    // register the refresh did not read is as it was.
    // Only the words that hold one of them are walked: on a part with
    // extended I/O most refreshes find changes in the I/O space alone.
    const uint32_t allWords = (uint32_t{1} << words) - 1;
    const uint32_t live =
        firstRefresh_ ? allWords : (read.liveWords(words) | registersSet_.liveWords(words));
    RegisterSet changed;
    for (uint32_t l = live; l != 0; l &= l - 1) {
        const int w = std::countr_zero(l);
        const uint64_t inBank = bankMask_.word(w);
        const uint64_t differing =
            (firstRefresh_ ? ~uint64_t{0} : DifferingWord(ioImage_, ioPrevious_, w, read.word(w))) &
            inBank;
        changed.word(w) = differing;
        for (uint64_t rest = (differing | registersSet_.word(w)) & inBank; rest != 0;
             rest &= rest - 1) {
            const auto i = static_cast<size_t>(w * 64 + std::countr_zero(rest));
            ioRegisters_[i].load(ioImage_[i]);
        }
    }
    if (firstRefresh_)
        for (auto& r : ioRegisters_) r.setNotifyEnabled(true);
    registersSet_.clear();

    // A refresh dumps the registers, once and before it notifies, when the
    // core's observer of a register will see it changed, or when the host
    // recorded changes since the last refresh: a logged register may then
    // be back at its value of then, which no observer sees as a change.
    // A component's change while it notifies dumps too (below), when
    // nothing did yet.
    if (logger_.enabled() && handlingRefresh_ && (recordsTaken_ || CoreSeesChange(changed, live))) {
        dumpedInRefresh_ = true;
        DumpRegisters();
    }
    recordsTaken_ = false;

    // Observers may set registers while they run; those writes are only
    // collected (refreshing is set) and go out below. A register one of
    // them sets is announced by that set itself.
    changed.forEachIn(
        live, [&](int i) {
            const auto at = static_cast<size_t>(i);
            IoRegister& r = ioRegisters_[at];
            if (!firstRefresh_ && r.stored() == ioPrevious_[at]) return;
            if (showAtIdle_ && r.showingCount() > 0) {
                // Those that only show it learn the value at the host's
                // next idle call.
                r.notifyReacting();
                showPending_.set(i);
            } else {
                r.notify();
            }
        });
    firstRefresh_ = false;

    // A set of a subject past the bank (held from a larger part) is no
    // register of this part.
    registersSet_ &= bankMask_;
    // Only the registers set during the refresh, and ADCSRA for the
    // converter's flag, can go out with another value than the image:
    // out_ holds their values, and the image stands for the rest.
    RegisterSet candidates = registersSet_;
    uint32_t setWords = registersSet_.liveWords(words);
    registersSet_.forEachIn(setWords, [&](int i) {
        out_[static_cast<size_t>(i)] = ioRegisters_[static_cast<size_t>(i)].stored();
    });
    if (adifPending_) {
        // ADCSRA: ADIF raised by the converter during the refresh.
        if (adcsraIndex_ >= 0) {
            const auto at = static_cast<size_t>(adcsraIndex_);
            if (!registersSet_.test(adcsraIndex_)) out_[at] = ioImage_[at];
            out_[at] |= 0x10;
            candidates.set(adcsraIndex_);
            setWords |= uint32_t{1} << (adcsraIndex_ / 64);
        }
        adifPending_ = false;
    }
    // What the simulator now holds is the image the next refresh compares
    // with, so a component's own input does not come back as a change.
    // A host with direct access holds exactly the image it just gave, so
    // only the I/O registers from the first to the last one a component
    // changed go back, and nothing when none did (most refreshes during
    // Run); other hosts get the whole I/O space every time. Extended
    // registers go back one by one, only those a component changed: their
    // block holds registers whose write has an effect (a byte sent, a flag
    // cleared) that the program did not cause.
    RegisterSet differing;
    candidates.forEachIn(setWords, [&](int i) {
        const auto at = static_cast<size_t>(i);
        if (out_[at] != ioImage_[at]) differing.set(i);
    });
    // The I/O registers that go out, with the image's bytes between them.
    auto fillIo = [&](int first, int last) {
        const uint64_t own = candidates.word(0);
        for (int i = first; i <= last; ++i)
            if (((own >> i) & 1) == 0) out_[static_cast<size_t>(i)] = ioImage_[static_cast<size_t>(i)];
    };
    bool written = true;
    if (!direct_) {
        fillIo(0, kIoRegisterCount - 1);
        written = WriteIOMemory(out_.data());
    } else if (const uint64_t io = differing.word(0); io != 0) {
        const int first = std::countr_zero(io);
        const int last = 63 - std::countl_zero(io);
        fillIo(first, last);
        written = WriteIORegisters(static_cast<ULONG>(first), static_cast<ULONG>(last - first + 1),
                                   out_.data() + first);
    }
    // Registers that now hold another value than the image: all that were
    // set, when the write failed, and ADCSRA when ADIF went out in it alone.
    if (written) {
        for (uint64_t rest = differing.word(0); rest != 0; rest &= rest - 1) {
            const auto i = static_cast<size_t>(std::countr_zero(rest));
            ioImage_[i] = out_[i];
        }
        registersSet_.word(0) = 0;
    }
    for (uint32_t l = setWords & ~uint32_t{1}; l != 0; l &= l - 1) {
        const int w = std::countr_zero(l);
        // The rest of the extended image already was what went out.
        registersSet_.word(w) = 0;
        for (uint64_t rest = differing.word(w); rest != 0; rest &= rest - 1) {
            const int i = w * 64 + std::countr_zero(rest);
            const auto at = static_cast<size_t>(i);
            if (WriteMemory(kMemoryData, static_cast<ULONG>(kRegisterBankBase + i), 1, &out_[at]))
                ioImage_[at] = out_[at];
            else
                registersSet_.set(i);
        }
    }
    if (adcsraIndex_ >= 0 && ioRegisters_[static_cast<size_t>(adcsraIndex_)].stored() !=
                                 ioImage_[static_cast<size_t>(adcsraIndex_)])
        registersSet_.set(adcsraIndex_);
    refreshing_ = false;

    // Data memory, general registers and pointers are for the memory view,
    // which reads them when it draws: 1 KiB per instruction would be the
    // largest part of a refresh. Those that only show it (the Stack view)
    // are told once, at the host's idle call.
    if (const int32_t active = memoryRead_.activeCount(); active > 0) {
        const int32_t showing = memoryRead_.showingCount();
        if (showAtIdle_ && showing > 0) {
            if (active > showing) memoryRead_.notifyReacting();
            memoryShowPending_ = true;
        } else {
            memoryRead_.notify();
        }
    }

    // A failed read (target gone, host error) is no reset: the count keeps
    // its value instead of falling to 0.
    uint32_t count = 0;
    if (ReadCycleCounter(&count)) cycleCounter_.set(count);

    if (adc_ && adcHooks_.runDeferredConversion) adcHooks_.runDeferredConversion(adc_.get());

    SetRefreshFilter();
}

void CLEDView::ReadMemoryView() {
    dataPrevious_ = dataMemory_;
    ReadDataMemory(dataMemory_.data());
    // The stack pointer as the part holds it now, like the memory; the
    // image of the last refresh when it cannot be read.
    stackPointerPrevious_ = stackPointer_;
    std::array<uint8_t, 2> sp{ioRegisters_[0x3D].stored(), ioRegisters_[0x3E].stored()};
    ReadMemory(kMemoryIo, 0x3D, 2, sp.data());
    stackPointer_ = static_cast<uint16_t>(sp[1] * 256 + sp[0]);

    ReadRegisters(generalRegisters_.data());
    pointerX_ = static_cast<uint16_t>(generalRegisters_[27] * 256 + generalRegisters_[26]);
    pointerY_ = static_cast<uint16_t>(generalRegisters_[29] * 256 + generalRegisters_[28]);
    pointerZ_ = static_cast<uint16_t>(generalRegisters_[31] * 256 + generalRegisters_[30]);
}

// The plug-in object: the hub that owns the image of the simulated part's
// registers, the host connections, the component windows and the settings.
// Component windows get a non-owning pointer to it and reach every core
// service through it; they never call the host themselves.
//
// Toolkit-free: windows are created through factories that the module's
// window layer installs (SetComponentFactory), so the core builds and is
// tested without a user-interface toolkit.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "contract/Commands.h"
#include "contract/HostInterfaces.h"
#include "contract/PluginIdle.h"
#include "contract/TargetBoardPins.h"
#include "contract/TargetChangeRecord.h"
#include "contract/TargetChanges.h"
#include "contract/TargetDirectAccess.h"
#include "core/BoardPins.h"
#include "core/ClockChoice.h"
#include "core/IoRegister.h"
#include "debugaids/Autostep.h"
#include "debugaids/RegisterLogger.h"
#include "framework/CycleCountValue.h"
#include "framework/Observer.h"
#include "platform/comobject.h"

class CLEDView;
class ADC;  // converter model, joins with the analog components

// The converter model as the core handles it: an owning pointer whose
// deleter comes from the party that built the model, so the core can
// release a model whose class it never sees.
using AdcModelPtr = std::unique_ptr<ADC, void (*)(ADC*)>;

// How the core builds and drives the converter model. The analog layer
// installs these; without them no model is built and the Slider command
// stays disabled.
struct AdcModelHooks {
    // Builds the model for a part with `channels` (> 0) converter inputs.
    // `previous` is the model of the session before (or null): the new one
    // takes over what the windows fed it, channel by channel.
    std::function<AdcModelPtr(int channels, CLEDView* core, const ADC* previous)> create;
    // Runs after every register refresh: when the model deferred a
    // conversion while the core was refreshing, clear that flag and convert.
    std::function<void(ADC* model)> runDeferredConversion;
};

// The general options of the Settings sheet, kept for the life of the
// plug-in object.
struct GeneralSettings {
    // "Disable warning dialog(s).": warnings go to the output only, no
    // message box interrupts the user.
    bool warningsDisabled = false;
    // "Enable Analog to Digital Converter.": off, the converter model writes
    // no results (the program reads what the registers held).
    bool adcEnabled = true;
    // Clock: false = "Detect automatically." (the host's target
    // description), true = "Use predefined value." (clockValue, MHz text).
    bool clockPredefined = false;
    std::string clockValue = "4.000000";
};

// A component window as the core sees it. The window layer implements it;
// Show() on a window the user has closed does nothing.
class IComponentWindow {
public:
    virtual ~IComponentWindow() = default;
    virtual void Show() = 0;
};

// Builds a component window for (core, command index, dialog resource id).
// May return null when no window can be made (for example without a
// display); the core then logs and keeps nothing.
using ComponentFactory = std::function<std::unique_ptr<IComponentWindow>(
    CLEDView* core, int commandIndex, int dialogId)>;

// Runs a modal command (Settings sheet, About box) for the core.
using ModalCommand = std::function<void(CLEDView* core)>;

// Handed out with no reference (the class factory takes the first).
class CLEDView : public DispatchObject<IGuiPlugin, IID_IGuiPlugin,
                                       ComInterface<IPluginIdle, IID_IPluginIdle>> {
public:
    CLEDView();
    ~CLEDView() override;
    CLEDView(const CLEDView&) = delete;
    CLEDView& operator=(const CLEDView&) = delete;

    // ---- IGuiPlugin
    HRESULT GetSetup(BSTR* xmlstring) override;
    HRESULT ExecuteCommand(LONG command) override;
    HRESULT HandleEvent(LONG eventnum, BSTR eventtext) override;
    HRESULT Init(IDispatch* iGuiWorks) override;
    HRESULT SaveFile(BSTR filename, VARIANT_BOOL* ok) override;
    HRESULT Close() override;
    // ---- IPluginIdle: the register log written out now, and the observers
    // that only show a register told its last value; from the first call
    // on, the log is written in blocks while the program runs and those
    // observers are told here instead of in every refresh.
    HRESULT HostIdle() override;

    // The constant setup description (menu, commands, toolbar).
    static const char* SetupDescription();
    // Dialog resource number of a component command, 0 for other commands.
    static int DialogId(int command);

    // ---- Wiring by the window layer
    void SetComponentFactory(int command, ComponentFactory factory);
    void SetModalCommand(int command, ModalCommand run);
    void SetAdcModelHooks(AdcModelHooks hooks);

    // ---- Host access (all calls go through the core)
    bool ConnectTarget();
    bool ReadIOMemory(uint8_t* buffer);         // 64 bytes
    bool WriteIOMemory(const uint8_t* buffer);  // 64 bytes
    // I/O registers first..first+count-1 from `buffer`.
    bool WriteIORegisters(ULONG first, ULONG count, const uint8_t* buffer);
    // One I/O register (index 0..63).
    bool WriteIORegister(int index, uint8_t value);
    // One register of the bank: an I/O register through the I/O space, an
    // extended one as data memory at its data address.
    bool WriteBankRegister(int index, uint8_t value);
    bool ReadDataMemory(uint8_t* buffer);  // DataSize() bytes from DataStart()
    bool ReadRegisters(uint8_t* buffer);   // 32 bytes
    uint32_t ReadCycleCounter();
    // The count into *count; false (leaving it) when the read failed.
    bool ReadCycleCounter(uint32_t* count);
    std::string GetSelectedTarget();
    std::string GetSelectedPartname();
    bool Target_is_Simulator();
    double GetFrequency();
    std::string GetHostDirectory();
    void Log(const std::string& label, std::string_view text);
    // A line of the module's own trace: written as Log writes, with the
    // trace's message kind (the host files it apart).
    void Trace(const std::string& label, const std::string& text);
    HRESULT CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d, HINSTANCE instance,
                               HWND* window);
    std::string RandomName(int length, const std::string& alphabet);
    int InstanceCount(int commandIndex);

    // ---- Register model and update cycle
    // The subject of register index (data address - 0x20); null outside
    // 0..RegisterBankSize()-1.
    GatedValue<uint8_t>* IORegister(int index);
    // Register subjects of the mapped part: one per data address from 0x20
    // up to the start of its SRAM (64 when SRAM starts at 0x60, as on a
    // part whose description gives none).
    int RegisterBankSize() const { return bankSize_; }
    CycleCountValue* CycleCounter() { return &cycleCounter_; }
    // Notified after every refresh while something observes it: the data
    // memory, the general registers and the pointers may have changed.
    // Whoever shows them reads them with ReadMemoryView() when it draws
    // (at most once a frame), not on every refresh.
    Subject* MemoryRead() { return &memoryRead_; }
    // Reads the data memory (keeping the last read as DataPrevious()), the
    // stack pointer, the general registers and the pointers. A failed read
    // keeps the last values.
    void ReadMemoryView();
    // Whether the host offered direct target access (no block per call and
    // the refresh filter).
    bool HasDirectAccess() const { return static_cast<bool>(direct_); }
    Value<uint8_t>* UpdateRequest() { return &updateRequest_; }
    uint16_t GetStackPointer();
    void Request_Update();
    void DetectReset();

    // The window of data memory the memory view shows: the part's internal
    // SRAM (0x60 and 1024 bytes before a part is mapped, or for a part
    // whose description gives none). Sized when the part is mapped.
    uint16_t DataStart() const { return dataStart_; }
    int DataSize() const { return static_cast<int>(dataMemory_.size()); }
    const std::vector<uint8_t>& DataMemory() const { return dataMemory_; }
    const std::vector<uint8_t>& DataPrevious() const { return dataPrevious_; }
    uint16_t StackPointer() const { return stackPointer_; }
    uint16_t StackPointerPrevious() const { return stackPointerPrevious_; }
    uint16_t PointerX() const { return pointerX_; }
    uint16_t PointerY() const { return pointerY_; }
    uint16_t PointerZ() const { return pointerZ_; }

    bool IsAttached() const { return attached_; }
    bool IsSimulator() const { return simulator_; }
    bool IsRefreshing() const { return refreshing_; }
    bool IsAdifPending() const { return adifPending_; }
    void SetAdifPending() { adifPending_ = true; }
    bool IsAutostepActive() const { return autostep_.active(); }

    // ---- Part description (register names <-> I/O addresses)
    std::string PartDescriptionFilePath(const std::string& partName, bool withDirectory);
    void UpdateIOMemory();
    int GetRegisterAddress(const std::string& name);
    std::string GetRegisterName(int address);
    const std::vector<std::string>& GetAvailableRegisters();
    // Every register name the part description gives, those that share an
    // address with another (UCSRC beside UBRRH) included; sorted.
    std::vector<std::string> AllRegisterNames();
    // The I/O address of a name the part description gives; -1 otherwise.
    int FindRegister(const std::string& name);
    // Names containing any of the patterns ("*" selects all), sorted. An
    // empty pattern ends the list, as a null pointer ends the host's
    // variable argument list.
    std::vector<std::string> GetAvailableRegistersByName(const std::vector<std::string>& patterns);
    int GetNumberOfADCChannels(const std::string& partName);
    // The part whose description filled the register tables; empty before.
    const std::string& MappedPart() const { return mappedPart_; }
    // The names the host's board gives the part's pins, learnt when the
    // core attached; none when the host offers no board. PinLabel is how
    // every pin list shows a pin: "PB5 (D13)", or "PB5".
    const BoardPins& BoardPinNames() const { return boardPins_; }
    std::string PinLabel(char port, int bit) const { return boardPins_.label(port, bit); }
    // How every channel list shows a converter channel: "ADC0 (A0)", or "ADC0".
    std::string ChannelLabel(int channel) const { return boardPins_.channelLabel(channel); }

    // ---- Electrical settings
    Value<double>* Vcc() { return &vcc_; }
    Value<double>* AVcc() { return &avcc_; }
    Value<double>* InternalReference() { return &internalReference_; }
    Value<double>* ExternalAref() { return &externalAref_; }
    Value<uint8_t>* ExternalArefApplied() { return &externalArefApplied_; }

    // ---- General settings (edited by the Settings sheet)
    GeneralSettings& General() { return general_; }
    // Stores the sheet's general settings; a predefined clock that now
    // differs from the simulator's is reported in the output.
    void SetGeneral(const GeneralSettings& settings);
    // The system clock in MHz that the converter and the oscillator time
    // with: the predefined value when the settings choose one (and it is a
    // positive number), else the host's frequency as read when the
    // simulator was last detected (no host round trip per call).
    double ClockMHz() const;
    // That choice with the simulator's clock beside it.
    ClockChoice Clock() const;

    // ---- Register logger (edited by the Settings sheet and the logger
    // sheet; state and layout last for the life of the object, reset by Init)
    RegisterLogger& Logger() { return logger_; }
    // OK of the Settings sheet: takes over the logger choices. A log file
    // that cannot be used is reported in the host's output and returned;
    // the logger then stays as it was.
    std::string ApplyLoggerChoice(const LoggerChoice& choice);

    // The converter model, null until event 103 finds converter channels.
    ADC* AdcModel() const { return adc_.get(); }

    // Component windows created so far, per command, in creation order.
    const std::vector<std::unique_ptr<IComponentWindow>>& Windows(int command) const;
    // The Stack view window, null until command 7 first created it.
    IComponentWindow* StackView() const { return stackView_.get(); }

    // The host's main window remembered by the last Init (module-wide).
    static HWND HostMainWindow();

private:
    void Refresh();
    // Reads into the image what a refresh needs of the bank: all of it, or
    // with a host that tells what changed (ITargetChanges) those registers,
    // SPL, SPH and SREG, into *read. Each register it reads is first copied
    // to ioPrevious_ (unless `firstRefresh` and the whole bank is read). A failed read keeps the image
    // (and, told changes, reads those registers again next time).
    void ReadBank(int bank, int words, bool firstRefresh, RegisterSet* read);
    void DetectSimulator();
    // Reports a predefined clock that differs from the simulator's, once
    // for each change of either (and again when a session starts).
    void ReportClock();
    void CreateAdcModel();
    void EnableCommands();
    void SetCommandState(int command, int state);
    void StopAutostep();
    void OnRegisterChanged(int32_t index);
    void DumpRegisters();
    // Writes out what the register logger held back (a failure is told
    // in the output).
    void FlushLog();
    // Tells a host with direct access which refreshes may be left out.
    void SetRefreshFilter();
    void ReleaseTarget();
    void ReleaseHost();
    void ForgetRegisterTables();
    // Writes a line to the host's output even while not attached (used for
    // diagnostics about the module itself, such as unwired commands).
    void Diagnose(const std::string& label, std::string_view text);
    void WriteOutput(int32_t kind, const std::string& label, std::string_view text);
    // Reads one element text of the target description; *found tells
    // whether the description was read and held the element.
    std::string TargetXmlText(const char* section, const char* element, bool* found,
                              bool* described);
    bool ReadMemory(LONG kind, ULONG address, ULONG count, uint8_t* buffer);
    bool WriteMemory(LONG kind, ULONG address, ULONG count, const uint8_t* buffer);
    // Sizes the register bank, the memory window and the converter's flag
    // register for the part just read (or the defaults).
    void MapBank(int bankSize, int sramStart, int sramSize);
    void DeriveWatchedRegisters();
    // Asks the target for its board's pin names (ITargetBoardPins).
    void ReadBoardPins();

    // Host connections
    ComPtr<IGuiWorks> guiWorks_;
    ComPtr<IHostServices> hostServices_;
    // The text of the output line being written (see WriteOutput).
    ReusedBstr lineText_;
    bool writingLine_ = false;
    ComPtr<ITargetAccess> target_;
    ComPtr<ITargetDirectAccess> direct_;  // the same object's extension, when offered
    ComPtr<ITargetBankFilter> bankFilter_;  // its filter over the whole bank, when offered
    ComPtr<ITargetBitFilter> bitFilter_;    // its filter down to the bit, when offered
    ComPtr<ITargetFallFilter> fallFilter_;  // the same letting falls wait, when offered
    ComPtr<ITargetChanges> changes_;  // its set of changed registers, when offered
    ComPtr<ITargetChangedValues> changedValues_;  // the set with the values, when offered
    ComPtr<ITargetFilterUse> filterUse_;          // whether it consults the filter, when offered
    ComPtr<ITargetChangeRecord> recorder_;  // records the logged registers, when offered
    bool attached_ = false;
    bool simulator_ = false;
    BoardPins boardPins_;

    // Components
    std::map<int, ComponentFactory> factories_;
    std::map<int, ModalCommand> modalCommands_;
    std::map<int, std::vector<std::unique_ptr<IComponentWindow>>> windows_;
    std::unique_ptr<IComponentWindow> stackView_;
    bool stackViewCreated_ = false;

    // Register model: the subjects of the largest bank; the mapped part
    // uses the first bankSize_.
    using BankBytes = std::array<uint8_t, kMaxRegisterBank>;
    std::array<IoRegister, kMaxRegisterBank> ioRegisters_;
    int bankSize_ = kIoRegisterCount;
    RegisterSet bankMask_ = RegisterSet::FirstN(kIoRegisterCount);  // registers 0..bankSize_-1
    // ADCSRA of the mapped part, where the converter's ADIF goes; -1 when
    // the part has none.
    int adcsraIndex_ = -1;
    // Bit i: register i was set since the last refresh took the image, or
    // otherwise holds a value other than ioImage_[i]. Every other register
    // holds exactly its byte of the image.
    RegisterSet registersSet_ = RegisterSet::FirstN(kMaxRegisterBank);
    // With ITargetChanges: the registers the host told changed that no
    // read has yet brought into the image (all of them on attaching).
    RegisterSet unread_ = RegisterSet::FirstN(kMaxRegisterBank);
    BankBytes ioImage_{};
    BankBytes ioPrevious_{};
    // What a refresh writes back: the registers set during it, and the
    // image's bytes between those that go out (a member: no 480 bytes on
    // the stack per instruction).
    BankBytes out_{};
    // The values a host that tells them writes for a refresh.
    BankBytes fresh_{};
    // The bits a host with ITargetFallFilter saw fall without a refresh.
    BankBytes fell_{};
    // Tells the observers of those falls before the refresh takes the
    // registers' values now.
    void ApplyWaitedFalls(int words);
    uint16_t dataStart_ = kDataWindowStart;
    std::vector<uint8_t> dataMemory_ = std::vector<uint8_t>(kDataWindowSize);
    std::vector<uint8_t> dataPrevious_ = std::vector<uint8_t>(kDataWindowSize);
    std::array<uint8_t, kGeneralRegisterCount> generalRegisters_{};
    uint16_t stackPointer_ = 0, stackPointerPrevious_ = 0;
    uint16_t pointerX_ = 0, pointerY_ = 0, pointerZ_ = 0;
    CycleCountValue cycleCounter_;
    Subject memoryRead_;
    Value<uint8_t> updateRequest_;
    bool refreshing_ = true;
    // A register's change during this refresh's notifications dumped the
    // registers already.
    bool dumpedInRefresh_ = false;
    // Set while event 3 is handled: dumps made then may be held back until
    // the host is idle; any other dump (a click while halted) goes out at
    // once.
    bool handlingRefresh_ = false;
    bool firstRefresh_ = true;
    bool adifPending_ = false;
    // Set by the host's first idle call: it calls again once a run slice
    // (a painted frame) and before each scenario check, so the observers
    // that only show a register (Observer::setShowsOnly) are told there,
    // and the registers only they watch leave the refresh filter. Bit i of
    // showPending_: register i changed since they were last told.
    bool showAtIdle_ = false;
    RegisterSet showPending_;
    // The memory view's readers that only show it were not told of a
    // refresh since the host's last idle call.
    bool memoryShowPending_ = false;
    void ShowPending();
    AdcModelHooks adcHooks_;
    AdcModelPtr adc_{nullptr, nullptr};

    // Part description tables
    std::map<std::string, int> registerAddress_;
    std::map<int, std::string> registerName_;
    std::vector<std::string> registerList_;
    bool registerListStale_ = true;
    std::string mappedPart_;

    // Electrical settings
    Value<double> vcc_, avcc_, internalReference_, externalAref_;
    Value<uint8_t> externalArefApplied_;

    RegisterLogger logger_;
    // The registers that matter to a component, as last sent to a host
    // with direct access, and the observer activity they were derived at.
    RegisterSet watched_;
    // Per watched register, the bits whose change matters (0 elsewhere).
    BankBytes watchedBits_{};
    // Of those, the bits whose fall the observers let wait.
    BankBytes waitingBits_{};
    bool anyWaiting_ = false;
    // The filter last set lets falls wait: the host may have noted some.
    bool fallsNoted_ = false;
    // Set with the filter: the count a host tells for the instructions it
    // left out may be stored without telling the count's followers when it
    // is before quietDue_ (any count without quietHasDue_): none acts on
    // it, and the count of this refresh reaches them all.
    bool quietSkipped_ = false;
    bool quietHasDue_ = false;
    uint32_t quietDue_ = 0;
    // The logged registers asked to be recorded, those the host records
    // (in ascending order in recordedIndex_), and what a take of records
    // fills: records are taken in blocks of kRecordsPerTake.
    RegisterSet recordAsked_, recorded_;
    std::vector<uint16_t> recordedIndex_;
    static constexpr ULONG kRecordsPerTake = 256;
    std::vector<ULONG> recordCycles_;
    std::vector<uint8_t> recordValues_;
    // The bank as of a record: the image, with the recorded values over it.
    BankBytes recordBank_{};
    // Asks the host to record the logged registers (those it can).
    void RecordLoggedRegisters(const RegisterSet& logged);
    // Dumps what the host recorded since the last take.
    void TakeRecordedChanges();
    // Records were taken since the last refresh.
    bool recordsTaken_ = false;
    // Whether the core's observer of one of `changed` (in the words of
    // `live`) will see its register changed when the refresh notifies.
    bool CoreSeesChange(const RegisterSet& changed, uint32_t live) const;
    // Dumps the first `count` registers of `bank` as of `cycles`.
    void WriteDump(uint32_t cycles, const uint8_t* bank, int count);
    // The registers a dump reads: the I/O space, or the whole bank when a
    // register past it is logged.
    int DumpedRegisterCount() const;
    uint64_t watchedChanges_ = ~uint64_t{0};
    bool watchedShowAtIdle_ = false;
    RegisterSet watchedLogged_;
    int watchedBank_ = 0;
    GeneralSettings general_;
    double detectedClockMHz_ = 1.0;
    // The clock choice last reported on (none since the session started).
    std::optional<ClockChoice> reportedClock_;

    // Observers the core owns (reset detection, register write-back)
    std::unique_ptr<CallOnChange<CLEDView, uint32_t>> resetObserver_;
    std::vector<std::unique_ptr<CallOnChange1<CLEDView, uint8_t>>> registerObservers_;

    // Autostep INTO; declared last so that its timer is gone before
    // anything a tick could reach.
    Autostep autostep_{[this](const std::string& text) { Diagnose("CLEDView::Autostep()", text); }};
};

// An in-memory stand-in for the IDE host: the three host interfaces the
// plug-in calls (IGuiWorks, IHostServices, ITargetAccess), backed by plain
// memory, with everything the plug-in does recorded and every operation
// able to fail on request. Used by the unit tests, the window tests and
// the window renderer. Toolkit-free.
//
// Objects are reference counted (platform/comobject.h); each is created
// with one reference that belongs to its creator. InMemoryHost bundles one of each and registers
// the host-services class in the process class table, so the plug-in's Init finds it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "contract/HostInterfaces.h"
#include "contract/TargetBoardPins.h"
#include "contract/TargetDirectAccess.h"
#include "platform/classfactory.h"
#include "platform/comobject.h"

namespace memhost {

// The simulated part's memory as the target object shows it. It offers
// direct access and the bank-wide filter (both recorded, never applied:
// every refresh is sent) only when asked to, so that tests serve the
// plug-in every way.
class InMemoryTarget
    : public DispatchObject<ITargetAccess, IID_ITargetAccess,
                            ComInterface<ITargetDirectAccess, IID_ITargetDirectAccess>,
                            ComInterface<ITargetBankFilter, IID_ITargetBankFilter>,
                            ComInterface<ITargetBitFilter, IID_ITargetBitFilter>,
                            ComInterface<ITargetBoardPins, IID_ITargetBoardPins>> {
public:
    static constexpr size_t kIoSize = 64;
    static constexpr size_t kRegisterCount = 32;
    // Data space: 32 registers, 64 I/O registers, the extended I/O
    // registers of a part that has them, then SRAM.
    static constexpr size_t kSramStart = 0x60;  // without extended I/O

    explicit InMemoryTarget(size_t sramSize = 1024);
    // A part whose SRAM starts at sramStart (0x60 up to 0x200): data
    // addresses 0x60..sramStart-1 are its extended I/O registers (zeroed).
    void SetLayout(size_t sramStart, size_t sramSize);
    size_t SramStart() const { return kSramStart + extended_.size(); }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    HRESULT WriteMemory(LONG kind, ULONG address, BSTR data) override;
    HRESULT ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) override;
    HRESULT GetCycleCounter(ULONG* count) override;
    HRESULT GetTargetXml(BSTR* xml) override;
    // ITargetDirectAccess: the same memory, failures and record of writes.
    HRESULT Read(LONG kind, ULONG address, ULONG count, uint8_t* out) override;
    HRESULT Write(LONG kind, ULONG address, ULONG count, const uint8_t* data) override;
    HRESULT SetRefreshFilter(uint64_t watched, LONG hasDue, ULONG due) override;
    HRESULT GetSkippedCycleCounter(ULONG* count) override;
    // ITargetBankFilter
    HRESULT SetBankRefreshFilter(const uint64_t* watched, ULONG words, LONG hasDue,
                                 ULONG due) override;
    // ITargetBitFilter: recorded in filterBits (and as watched words).
    HRESULT SetBitRefreshFilter(const uint8_t* bits, ULONG count, LONG hasDue,
                                ULONG due) override;
    bool offerDirectAccess = false;
    bool offerBankFilter = false;  // only together with direct access
    bool offerBitFilter = false;   // the same
    // ITargetBoardPins, offered while a board is named: the board's name
    // and its names of port pins, keyed "B5", and of converter channels.
    HRESULT GetBoardName(BSTR* name) override;
    HRESULT GetPinName(LONG port, LONG bit, BSTR* name) override;
    HRESULT GetChannelName(LONG channel, BSTR* name) override;
    std::string boardName;
    std::map<std::string, std::string> boardPins;
    std::map<int, std::string> boardChannels;

    // The last filter set (either way): watched words (one for the I/O
    // filter), whether a due count was given and which.
    std::vector<uint64_t> filterWatched;
    std::vector<uint8_t> filterBits;  // the bit filter's bytes; empty otherwise
    LONG filterHasDue = 0;
    ULONG filterDue = 0;
    int filterCalls = 0;

    // ---- Memory. The data space is addressed by data address: 0x00-0x1F
    // are the general registers, 0x20-0x5F the I/O registers, SRAM follows.
    std::array<uint8_t, kIoSize>& Io() { return io_; }
    std::array<uint8_t, kRegisterCount>& Registers() { return registers_; }
    std::vector<uint8_t>& Sram() { return sram_; }
    std::vector<uint8_t>& Extended() { return extended_; }  // from data address 0x60
    size_t DataSpaceSize() const { return SramStart() + sram_.size(); }
    // One byte of the data space; false past its end.
    bool DataByte(size_t address, uint8_t* value) const;
    bool SetDataByte(size_t address, uint8_t value);

    uint32_t cycleCounter = 0;
    // The count GetSkippedCycleCounter tells, as a host that left
    // refreshes out; none: every refresh was sent.
    std::optional<uint32_t> skippedCount;

    // ---- Target description fields.
    std::string targetName = kSimulatorTargetName;
    std::string partName = "ATmega16";
    std::string frequency = "4";  // decimal text, MHz; empty leaves FREQUENCY out
    // When set, GetTargetXml answers this text instead of the built one.
    bool useXmlOverride = false;
    std::string xmlOverride;
    std::string TargetXml() const;

    // ---- Failure injection: a failed result for one operation (S_OK: the
    // operation works). Reads and writes can fail per memory kind.
    std::map<LONG, HRESULT> readFailure, writeFailure;
    HRESULT cycleCounterResult = S_OK;  // any value other than S_OK counts as failure
    HRESULT targetXmlResult = S_OK;
    // Answer reads successfully but with this many bytes fewer than asked.
    uint32_t shortReadBy = 0;

    // ---- Record of writes.
    struct Written {
        LONG kind;
        ULONG address;
        std::vector<uint8_t> bytes;
    };
    std::vector<Written> writes;
    int reads = 0;

    // ---- Record of every call the plug-in makes on the target's memory,
    // counter, description and filter, one line each, when set: what was
    // asked and what was answered. A differential test compares it with an
    // earlier recording.
    std::vector<std::string>* calls = nullptr;

private:
    // What every way of setting the filter records: the due count, the
    // call, and `call` with it as a line of the record.
    HRESULT FilterSet(std::string call, LONG hasDue, ULONG due);
    ~InMemoryTarget() override = default;
    void Record(const std::string& line) {
        if (calls) calls->push_back(line);
    }
    HRESULT ReadInto(LONG kind, ULONG address, ULONG count, uint8_t* out);
    HRESULT WriteFrom(LONG kind, ULONG address, ULONG count, const uint8_t* data);
    // The byte of the given kind at address, or null past its end.
    uint8_t* Byte(LONG kind, size_t address);

    std::array<uint8_t, kIoSize> io_{};
    std::array<uint8_t, kRegisterCount> registers_{};
    std::vector<uint8_t> extended_;
    std::vector<uint8_t> sram_;
};

// The host's service object: named objects and the output window.
class InMemoryHostServices : public DispatchObject<IHostServices, IID_IHostServices> {
public:
    explicit InMemoryHostServices(InMemoryTarget* target);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    HRESULT GetNamedObject(BSTR name, const IID* iid, void** object) override;
    HRESULT WriteMessage(LONG kind, BSTR source, BSTR prefix, BSTR text) override;
    HRESULT CreateCategory(BSTR name, LONG kind) override;

    // The target "AVRTARGET" answers with; null means no target (the
    // request then fails). Holds a reference.
    void SetTarget(InMemoryTarget* target);
    InMemoryTarget* Target() const { return target_; }

    struct Message {
        LONG kind;
        std::string source, prefix, text;
    };
    std::vector<Message> messages;
    std::vector<std::pair<std::string, LONG>> categories;
    // Texts of all messages, in order; prefix and text joined by a blank
    // when there is a prefix.
    std::vector<std::string> Lines() const;
    // Whether some message's text equals text.
    bool HasText(const std::string& text) const;
    int CountText(const std::string& text) const;

    HRESULT getNamedObjectResult = S_OK;
    HRESULT createCategoryResult = S_OK;
    HRESULT queryInterfaceResult = S_OK;
    // Called for every message as it arrives (a window host shows them).
    std::function<void(const Message&)> onMessage;

private:
    ~InMemoryHostServices() override;
    InMemoryTarget* target_ = nullptr;
};

// The IDE's plug-in services: debugging state, command states, the
// installation folder and docked windows.
class InMemoryGuiWorks : public DispatchObject<IGuiWorks, IID_IGuiWorks> {
public:
    InMemoryGuiWorks() { commandStates.fill(kNeverSet); }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    HRESULT CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d, HINSTANCE instance,
                               HWND* window) override;
    HRESULT GetDebuggingActive(int16_t* active) override;
    HRESULT SetCommandState(LONG command, LONG state) override;
    HRESULT GetInstallDirectory(BSTR* directory) override;

    static constexpr LONG kNeverSet = -1;
    int16_t debugging = 0;
    std::array<LONG, 12> commandStates;                    // kNeverSet until the plug-in sets one
    std::vector<std::pair<LONG, LONG>> commandStateCalls;  // (command, state) in call order
    std::string installDirectory;

    // Docked-window requests: the name and the four numbers, in order.
    struct DockRequest {
        std::string name;
        LONG a, b, c, d;
        HINSTANCE instance;
    };
    std::vector<DockRequest> dockRequests;
    // Answers a docked-window request. Window hosts install one that makes
    // a real window (a toolkit widget handed out as HWND). Without one the
    // request fails with E_FAIL and a null handle: there is no window to
    // give, and a failure is what tells the caller so.
    std::function<HRESULT(const std::string& name, HWND* window)> dockedWindowFactory;

    HRESULT queryInterfaceResult = S_OK;
    HRESULT debuggingActiveResult = S_OK;
    HRESULT installDirectoryResult = S_OK;
    HRESULT setCommandStateResult = S_OK;

private:
    ~InMemoryGuiWorks() override = default;
};

// The process's class object for CLSID_HostServices while it lives, so
// that CoCreateInstance hands out the one services object; a test can make
// the creation fail.
class HostServicesRegistration {
public:
    explicit HostServicesRegistration(InMemoryHostServices* services);
    HRESULT result() const { return registration_.result(); }
    // Makes CreateInstance fail with this result (S_OK: it works).
    void FailCreation(HRESULT hr) { *failure_ = hr; }

private:
    std::shared_ptr<HRESULT> failure_;
    ClassRegistration registration_;
};

// One host: a target, the host services holding it, the IDE services and
// the class registration. The plug-in gets works() in Init.
class InMemoryHost {
public:
    InMemoryHost();
    ~InMemoryHost();
    InMemoryHost(const InMemoryHost&) = delete;
    InMemoryHost& operator=(const InMemoryHost&) = delete;

    InMemoryTarget& target() { return *target_; }
    InMemoryHostServices& services() { return *services_; }
    InMemoryGuiWorks& works() { return *works_; }
    HostServicesRegistration& registration() { return registration_; }

private:
    InMemoryTarget* target_;
    InMemoryHostServices* services_;
    InMemoryGuiWorks* works_;
    HostServicesRegistration registration_;
};

}  // namespace memhost

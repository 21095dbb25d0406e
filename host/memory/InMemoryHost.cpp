#include "host/memory/InMemoryHost.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/classfactory.h"
#include "platform/server.h"

namespace memhost {

namespace {

// Element text as XML wants it.
std::string escapeXml(const std::string& text) {
    std::string out;
    TiXmlBase::EncodeString(text, &out);
    return out;
}

HRESULT injected(const std::map<LONG, HRESULT>& failures, LONG kind) {
    auto it = failures.find(kind);
    return it == failures.end() ? S_OK : it->second;
}

}  // namespace

// ---- InMemoryTarget

InMemoryTarget::InMemoryTarget(size_t sramSize) : sram_(sramSize, 0) {}

void InMemoryTarget::SetLayout(size_t sramStart, size_t sramSize) {
    extended_.assign(sramStart > kSramStart ? sramStart - kSramStart : 0, 0);
    sram_.assign(sramSize, 0);
}

HRESULT InMemoryTarget::QueryInterface(REFIID iid, void** object) {
    if ((!offerDirectAccess && iid == IID_ITargetDirectAccess) ||
        (!(offerDirectAccess && offerBankFilter) && iid == IID_ITargetBankFilter) ||
        (!(offerDirectAccess && offerBitFilter) && iid == IID_ITargetBitFilter) ||
        (boardName.empty() && iid == IID_ITargetBoardPins)) {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    return DispatchObject::QueryInterface(iid, object);
}

HRESULT InMemoryTarget::GetBoardName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = boardName.empty() ? nullptr : AnsiToBstr(boardName);
    return boardName.empty() ? S_FALSE : S_OK;
}

HRESULT InMemoryTarget::GetPinName(LONG port, LONG bit, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (port < 'A' || port > 'Z' || bit < 0 || bit > 7) return E_INVALIDARG;
    const auto it = boardPins.find(std::string{static_cast<char>(port), static_cast<char>('0' + bit)});
    if (it == boardPins.end()) return S_FALSE;
    *name = AnsiToBstr(it->second);
    return S_OK;
}

HRESULT InMemoryTarget::GetChannelName(LONG channel, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (channel < 0 || channel > 31) return E_INVALIDARG;
    const auto it = boardChannels.find(static_cast<int>(channel));
    if (it == boardChannels.end()) return S_FALSE;
    *name = AnsiToBstr(it->second);
    return S_OK;
}

uint8_t* InMemoryTarget::Byte(LONG kind, size_t address) {
    switch (kind) {
        case kMemoryIo:
            return address < io_.size() ? &io_[address] : nullptr;
        case kMemoryRegisters:
            return address < registers_.size() ? &registers_[address] : nullptr;
        case kMemoryData:
            if (address < kRegisterCount) return &registers_[address];
            if (address < kSramStart) return &io_[address - kRegisterCount];
            if (address - kSramStart < extended_.size()) return &extended_[address - kSramStart];
            if (address - SramStart() < sram_.size()) return &sram_[address - SramStart()];
            return nullptr;
        default:
            return nullptr;
    }
}

bool InMemoryTarget::DataByte(size_t address, uint8_t* value) const {
    uint8_t* b = const_cast<InMemoryTarget*>(this)->Byte(kMemoryData, address);
    if (!b || !value) return false;
    *value = *b;
    return true;
}

bool InMemoryTarget::SetDataByte(size_t address, uint8_t value) {
    uint8_t* b = Byte(kMemoryData, address);
    if (!b) return false;
    *b = value;
    return true;
}

namespace {

size_t kindSize(LONG kind, size_t dataSpace) {
    switch (kind) {
        case kMemoryIo:
            return InMemoryTarget::kIoSize;
        case kMemoryRegisters:
            return InMemoryTarget::kRegisterCount;
        case kMemoryData:
            return dataSpace;
        default:
            return 0;
    }
}

bool inRange(size_t size, ULONG address, size_t count) {
    return address <= size && count <= size - address;
}

const char* kindName(LONG kind) {
    switch (kind) {
        case kMemoryIo:
            return "io";
        case kMemoryData:
            return "data";
        case kMemoryRegisters:
            return "registers";
        default:
            return "kind?";
    }
}

// "<call> <kind> $<address> <count>" and the bytes; a long block is told
// by its FNV-1a hash, so that a read of the data memory stays one line.
std::string callLine(const char* call, LONG kind, ULONG address, ULONG count,
                     const uint8_t* bytes, HRESULT hr) {
    char head[96];
    std::snprintf(head, sizeof head, "%s %s $%04lX %lu", call, kindName(kind),
                  static_cast<unsigned long>(address), static_cast<unsigned long>(count));
    std::string line = head;
    if (FAILED(hr)) {
        std::snprintf(head, sizeof head, " failed 0x%08X", static_cast<unsigned>(hr));
        return line + head;
    }
    if (!bytes) return line;
    if (count <= 64) {
        line += " :";
        for (ULONG i = 0; i < count; ++i) {
            std::snprintf(head, sizeof head, " %02X", bytes[i]);
            line += head;
        }
    } else {
        uint32_t hash = 2166136261u;
        for (ULONG i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 16777619u;
        std::snprintf(head, sizeof head, " : fnv %08X", hash);
        line += head;
    }
    return line;
}

}  // namespace

HRESULT InMemoryTarget::Read(LONG kind, ULONG address, ULONG count, uint8_t* out) {
    const HRESULT hr = ReadInto(kind, address, count, out);
    if (calls) Record(callLine("Read", kind, address, count, out, hr));
    return hr;
}

HRESULT InMemoryTarget::ReadInto(LONG kind, ULONG address, ULONG count, uint8_t* out) {
    if (!out) return E_POINTER;
    ++reads;
    if (HRESULT hr = injected(readFailure, kind); FAILED(hr)) return hr;
    if (!inRange(kindSize(kind, DataSpaceSize()), address, count)) return E_INVALIDARG;
    for (ULONG i = 0; i < count; ++i) out[i] = *Byte(kind, address + i);
    return S_OK;
}

HRESULT InMemoryTarget::ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) {
    if (!data) return E_POINTER;
    *data = nullptr;
    std::vector<uint8_t> bytes(count);
    const HRESULT read = ReadInto(kind, address, count, bytes.data());
    if (calls) Record(callLine("ReadMemory", kind, address, count, bytes.data(), read));
    if (FAILED(read)) return read;
    uint32_t length = count > shortReadBy ? count - shortReadBy : 0;
    *data = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()), length);
    return *data ? S_OK : E_OUTOFMEMORY;
}

HRESULT InMemoryTarget::Write(LONG kind, ULONG address, ULONG count, const uint8_t* data) {
    const HRESULT hr = WriteFrom(kind, address, count, data);
    if (calls) Record(callLine("Write", kind, address, count, data, hr));
    return hr;
}

HRESULT InMemoryTarget::WriteFrom(LONG kind, ULONG address, ULONG count, const uint8_t* data) {
    if (!data) return E_POINTER;
    if (HRESULT hr = injected(writeFailure, kind); FAILED(hr)) return hr;
    if (!inRange(kindSize(kind, DataSpaceSize()), address, count)) return E_INVALIDARG;
    for (uint32_t i = 0; i < count; ++i) *Byte(kind, address + i) = data[i];
    writes.push_back(Written{kind, address, std::vector<uint8_t>(data, data + count)});
    return S_OK;
}

HRESULT InMemoryTarget::WriteMemory(LONG kind, ULONG address, BSTR data) {
    if (!data) return E_POINTER;
    const ULONG count = SysStringByteLen(data);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    const HRESULT hr = WriteFrom(kind, address, count, bytes);
    if (calls) Record(callLine("WriteMemory", kind, address, count, bytes, hr));
    return hr;
}

HRESULT InMemoryTarget::GetCycleCounter(ULONG* count) {
    if (!count) return E_POINTER;
    if (calls)
        Record("GetCycleCounter " + std::to_string(cycleCounter) +
               (cycleCounterResult == S_OK ? "" : " failed"));
    if (FAILED(cycleCounterResult)) return cycleCounterResult;
    *count = cycleCounter;
    return cycleCounterResult;
}

HRESULT InMemoryTarget::FilterSet(std::string call, LONG hasDue, ULONG due) {
    filterHasDue = hasDue;
    filterDue = due;
    ++filterCalls;
    if (calls) {
        char text[48];
        std::snprintf(text, sizeof text, " due %ld %lu", static_cast<long>(hasDue),
                      static_cast<unsigned long>(due));
        Record(call + text);
    }
    return S_OK;
}

HRESULT InMemoryTarget::SetRefreshFilter(uint64_t watched, LONG hasDue, ULONG due) {
    filterWatched.assign(1, watched);
    filterBits.clear();
    if (calls) {
        char word[24];
        std::snprintf(word, sizeof word, " %016llX", static_cast<unsigned long long>(watched));
        return FilterSet("SetRefreshFilter" + std::string(word), hasDue, due);
    }
    return FilterSet({}, hasDue, due);
}

HRESULT InMemoryTarget::SetBankRefreshFilter(const uint64_t* watched, ULONG words, LONG hasDue,
                                             ULONG due) {
    if (!watched && words != 0) return E_POINTER;
    filterWatched.assign(watched, watched + words);
    filterBits.clear();
    std::string line;
    if (calls) {
        line = "SetBankRefreshFilter";
        char word[24];
        for (ULONG w = 0; w < words; ++w) {
            std::snprintf(word, sizeof word, " %016llX",
                          static_cast<unsigned long long>(watched[w]));
            line += word;
        }
    }
    return FilterSet(std::move(line), hasDue, due);
}

HRESULT InMemoryTarget::SetBitRefreshFilter(const uint8_t* bits, ULONG count, LONG hasDue,
                                            ULONG due) {
    if (!bits && count != 0) return E_POINTER;
    filterBits.assign(bits, bits + count);
    filterWatched.assign((count + 63) / 64, 0);
    for (ULONG i = 0; i < count; ++i)
        if (bits[i]) filterWatched[i / 64] |= uint64_t{1} << (i % 64);
    std::string line;
    if (calls) {
        line = "SetBitRefreshFilter";
        char byte[32];
        for (ULONG i = 0; i < count; ++i) {
            if (!bits[i]) continue;
            std::snprintf(byte, sizeof byte, " %lX:%02X", static_cast<unsigned long>(i), bits[i]);
            line += byte;
        }
    }
    return FilterSet(std::move(line), hasDue, due);
}

HRESULT InMemoryTarget::GetSkippedCycleCounter(ULONG* count) {
    if (calls) Record("GetSkippedCycleCounter");
    if (!skippedCount) return S_FALSE;  // every refresh was sent
    if (!count) return E_POINTER;
    *count = *skippedCount;
    return S_OK;
}

std::string InMemoryTarget::TargetXml() const {
    if (useXmlOverride) return xmlOverride;
    std::string xml = "<TARGET><ADMIN><TARGET_NAME>" + escapeXml(targetName) +
                      "</TARGET_NAME></ADMIN><SELECTED><PART_NAME>" + escapeXml(partName) +
                      "</PART_NAME></SELECTED>";
    if (!frequency.empty()) {
        xml += "<OPTIONS><FREQUENCY>" + escapeXml(frequency) + "</FREQUENCY></OPTIONS>";
    }
    return xml + "</TARGET>";
}

HRESULT InMemoryTarget::GetTargetXml(BSTR* xml) {
    if (!xml) return E_POINTER;
    if (calls) Record("GetTargetXml");
    *xml = nullptr;
    if (FAILED(targetXmlResult)) return targetXmlResult;
    *xml = AnsiToBstr(TargetXml());
    return targetXmlResult;
}

// ---- InMemoryHostServices

InMemoryHostServices::InMemoryHostServices(InMemoryTarget* target) { SetTarget(target); }

InMemoryHostServices::~InMemoryHostServices() { SetTarget(nullptr); }

void InMemoryHostServices::SetTarget(InMemoryTarget* target) {
    if (target) target->AddRef();
    if (target_) target_->Release();
    target_ = target;
}

HRESULT InMemoryHostServices::QueryInterface(REFIID iid, void** object) {
    if (FAILED(queryInterfaceResult)) {
        if (object) *object = nullptr;
        return queryInterfaceResult;
    }
    return DispatchObject::QueryInterface(iid, object);
}

HRESULT InMemoryHostServices::GetNamedObject(BSTR name, const IID* iid, void** object) {
    if (!object || !iid) return E_POINTER;
    *object = nullptr;
    if (FAILED(getNamedObjectResult)) return getNamedObjectResult;
    if (BstrToAnsi(name) != kTargetObjectName) return E_INVALIDARG;
    if (!target_) return E_FAIL;
    return target_->QueryInterface(*iid, object);
}

HRESULT InMemoryHostServices::WriteMessage(LONG kind, BSTR source, BSTR prefix, BSTR text) {
    messages.push_back(Message{kind, BstrToAnsi(source), BstrToAnsi(prefix), BstrToAnsi(text)});
    if (onMessage) onMessage(messages.back());
    return S_OK;
}

HRESULT InMemoryHostServices::CreateCategory(BSTR name, LONG kind) {
    if (FAILED(createCategoryResult)) return createCategoryResult;
    categories.emplace_back(BstrToAnsi(name), kind);
    return S_OK;
}

std::vector<std::string> InMemoryHostServices::Lines() const {
    std::vector<std::string> lines;
    for (const Message& m : messages) {
        lines.push_back(m.prefix.empty() ? m.text : m.prefix + " " + m.text);
    }
    return lines;
}

int InMemoryHostServices::CountText(const std::string& text) const {
    int n = 0;
    for (const Message& m : messages) n += m.text == text ? 1 : 0;
    return n;
}

bool InMemoryHostServices::HasText(const std::string& text) const { return CountText(text) > 0; }

// ---- InMemoryGuiWorks

HRESULT InMemoryGuiWorks::QueryInterface(REFIID iid, void** object) {
    if (FAILED(queryInterfaceResult)) {
        if (object) *object = nullptr;
        return queryInterfaceResult;
    }
    return DispatchObject::QueryInterface(iid, object);
}

HRESULT InMemoryGuiWorks::CreateDockedWindow(BSTR name, LONG a, LONG b, LONG c, LONG d,
                                             HINSTANCE instance, HWND* window) {
    dockRequests.push_back(DockRequest{BstrToAnsi(name), a, b, c, d, instance});
    if (!window) return E_POINTER;
    *window = nullptr;
    if (!dockedWindowFactory) return E_FAIL;
    return dockedWindowFactory(dockRequests.back().name, window);
}

HRESULT InMemoryGuiWorks::GetDebuggingActive(int16_t* active) {
    if (!active) return E_POINTER;
    if (FAILED(debuggingActiveResult)) return debuggingActiveResult;
    *active = debugging;
    return S_OK;
}

HRESULT InMemoryGuiWorks::SetCommandState(LONG command, LONG state) {
    commandStateCalls.emplace_back(command, state);
    if (FAILED(setCommandStateResult)) return setCommandStateResult;
    if (command < 0 || command >= static_cast<LONG>(commandStates.size())) return E_INVALIDARG;
    commandStates[static_cast<size_t>(command)] = state;
    return S_OK;
}

HRESULT InMemoryGuiWorks::GetInstallDirectory(BSTR* directory) {
    if (!directory) return E_POINTER;
    *directory = nullptr;
    if (FAILED(installDirectoryResult)) return installDirectoryResult;
    *directory = AnsiToBstr(installDirectory);
    return S_OK;
}

// ---- HostServicesRegistration

namespace {

// The factory hands out the one services object, holding a reference of
// its own while the registration lives.
ClassRegistration::Creator handOut(ComPtr<InMemoryHostServices> held,
                                   std::shared_ptr<HRESULT> failure) {
    return [held, failure](IUnknown** created) -> HRESULT {
        if (FAILED(*failure)) return *failure;
        held->AddRef();
        *created = static_cast<IHostServices*>(held.get());
        return S_OK;
    };
}

}  // namespace

HostServicesRegistration::HostServicesRegistration(InMemoryHostServices* services)
    : failure_(std::make_shared<HRESULT>(S_OK)),
      registration_(CLSID_HostServices,
                    handOut(ComPtr<InMemoryHostServices>::share(services), failure_)) {}

// ---- InMemoryHost

InMemoryHost::InMemoryHost()
    : target_(new InMemoryTarget()),
      services_(new InMemoryHostServices(target_)),
      works_(new InMemoryGuiWorks()),
      registration_(services_) {}

InMemoryHost::~InMemoryHost() {
    works_->Release();
    services_->Release();
    target_->Release();
}

}  // namespace memhost

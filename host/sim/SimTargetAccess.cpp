#include "host/sim/SimTargetAccess.h"

#include <tinyxml.h>

#include <cstdio>
#include <vector>

namespace quill::sim {

namespace {

// Element text as XML wants it.
std::string escapeXml(const std::string& text) {
    std::string out;
    TiXmlBase::EncodeString(text, &out);
    return out;
}

}  // namespace

SimTargetAccess* SimTargetAccess::create(std::shared_ptr<SimTarget> target) {
    return new SimTargetAccess(std::move(target));
}

std::string SimTargetAccess::targetXml(const SimTarget& target) {
    char mhz[32];
    std::snprintf(mhz, sizeof mhz, "%.9g", target.frequency() / 1e6);
    return "<?xml version=\"1.0\"?>\n"
           "<TARGET>\n"
           "  <ADMIN><TARGET_NAME>Simulator</TARGET_NAME></ADMIN>\n"
           "  <SELECTED><PART_NAME>" +
           escapeXml(target.partName()) +
           "</PART_NAME></SELECTED>\n"
           "  <OPTIONS><FREQUENCY>" +
           std::string(mhz) +
           "</FREQUENCY></OPTIONS>\n"
           "</TARGET>\n";
}

HRESULT SimTargetAccess::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ITargetAccess) {
        *object = static_cast<ITargetAccess*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SimTargetAccess::AddRef() { return ++references_; }

ULONG SimTargetAccess::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT SimTargetAccess::GetTypeInfoCount(uint32_t* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT SimTargetAccess::WriteMemory(LONG kind, ULONG address, BSTR data) {
    if (!target_) return E_UNEXPECTED;
    if (!data) return E_POINTER;
    const uint32_t length = SysStringByteLen(data);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    return target_->write(kind, address, bytes, length) ? S_OK : E_INVALIDARG;
}

HRESULT SimTargetAccess::ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) {
    if (!data) return E_POINTER;
    *data = nullptr;
    if (!target_) return E_UNEXPECTED;
    const uint32_t size = target_->memorySize(kind);
    if (size == 0 || address > size || count > size - address) return E_INVALIDARG;
    std::vector<uint8_t> bytes(count);
    if (!target_->read(kind, address, bytes.data(), count)) return E_INVALIDARG;
    *data = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()), count);
    return *data ? S_OK : E_OUTOFMEMORY;
}

HRESULT SimTargetAccess::GetCycleCounter(ULONG* count) {
    if (!count) return E_POINTER;
    if (!target_) return E_UNEXPECTED;
    *count = target_->cycleCounter();
    return S_OK;
}

HRESULT SimTargetAccess::GetTargetXml(BSTR* xml) {
    if (!xml) return E_POINTER;
    *xml = nullptr;
    if (!target_) return E_UNEXPECTED;
    *xml = AnsiToBstr(targetXml(*target_));
    return *xml ? S_OK : E_OUTOFMEMORY;
}

}  // namespace quill::sim

// The simulator target as the host hands it to the plug-in: the
// ITargetAccess object behind GetNamedObject("AVRTARGET").
//
// It serves memory kinds 2 (data space), 8 (I/O registers 0..63) and 16
// (R0..R31) with the semantics of SimTarget, the cycle counter as its low 32
// bits and a target description naming the simulator, the part and the
// clock frequency in MHz. After detach() (the host ends debugging or
// replaces the target) every call fails with E_UNEXPECTED, so a plug-in
// that still holds the object cannot reach a destroyed simulator.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "contract/HostInterfaces.h"
#include "host/sim/SimTarget.h"

namespace quill::sim {

class SimTargetAccess final : public ITargetAccess {
public:
    // A new object with one reference, owned by the caller.
    static SimTargetAccess* create(std::shared_ptr<SimTarget> target);

    // The description text GetTargetXml returns for a target.
    static std::string targetXml(const SimTarget& target);

    void detach() { target_.reset(); }
    bool attached() const { return target_ != nullptr; }

    // IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IDispatch: not scriptable.
    HRESULT GetTypeInfoCount(uint32_t* count) override;
    HRESULT GetTypeInfo(uint32_t, uint32_t, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, uint32_t, int32_t*) override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(int32_t, REFIID, uint32_t, uint16_t, void*, void*, void*, uint32_t*) override {
        return E_NOTIMPL;
    }
    // ITargetAccess
    HRESULT WriteMemory(LONG kind, ULONG address, BSTR data) override;
    HRESULT ReadMemory(LONG kind, ULONG address, ULONG count, BSTR* data) override;
    HRESULT GetCycleCounter(ULONG* count) override;
    HRESULT GetTargetXml(BSTR* xml) override;

private:
    explicit SimTargetAccess(std::shared_ptr<SimTarget> target) : target_(std::move(target)) {}
    ~SimTargetAccess() = default;

    std::atomic<ULONG> references_{1};
    std::shared_ptr<SimTarget> target_;
};

}  // namespace quill::sim

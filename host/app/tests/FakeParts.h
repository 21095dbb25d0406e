// Test doubles for the host tests: a plug-in that records the events it
// receives and a machine that counts instructions.
#pragma once

#include <string>
#include <vector>

#include "core/CLEDView.h"
#include "host/session/Debugger.h"
#include "host/session/HostObjects.h"

// Records HandleEvent calls and what the host answered at that moment.
// Lives on the test's stack: the test's own reference keeps the count
// above 0.
class RecordingPlugin : public DispatchObject<IGuiPlugin, IID_IGuiPlugin,
                                              ComInterface<IPluginIdle, IID_IPluginIdle>> {
public:
    ~RecordingPlugin() override = default;

    std::vector<LONG> events;
    std::vector<LONG> commands;
    int idles = 0;  // HostIdle calls

    HRESULT HostIdle() override {
        ++idles;
        return S_OK;
    }
    IGuiWorks* works = nullptr;
    std::string setup = CLEDView::SetupDescription();

    HRESULT GetSetup(BSTR* xml) override {
        *xml = AnsiToBstr(setup);
        return S_OK;
    }
    HRESULT ExecuteCommand(LONG command) override {
        commands.push_back(command);
        return S_OK;
    }
    HRESULT HandleEvent(LONG eventnum, BSTR) override {
        events.push_back(eventnum);
        return S_OK;
    }
    HRESULT Init(IDispatch* host) override {
        void* p = nullptr;
        HRESULT hr = host->QueryInterface(IID_IGuiWorks, &p);
        works = static_cast<IGuiWorks*>(p);
        return hr;
    }
    HRESULT SaveFile(BSTR, VARIANT_BOOL* ok) override {
        *ok = 1;
        return S_OK;
    }
    HRESULT Close() override {
        if (works) works->Release();
        works = nullptr;
        return S_OK;
    }
};

// A target object that only counts references.
class NullTarget : public DispatchObject<ITargetAccess, IID_ITargetAccess> {
public:
    HRESULT WriteMemory(LONG, ULONG, BSTR) override { return E_NOTIMPL; }
    HRESULT ReadMemory(LONG, ULONG, ULONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT GetCycleCounter(ULONG*) override { return E_NOTIMPL; }
    HRESULT GetTargetXml(BSTR*) override { return E_NOTIMPL; }
};

// Each instruction takes `cyclesPerStep` cycles; `stepsUntilFault` makes
// the program crash after that many instructions.
class CountingMachine : public Machine {
public:
    uint64_t count = 0;
    uint64_t cycleCount = 0;
    int resets = 0;
    uint64_t cyclesPerStep = 2;
    int64_t stepsUntilFault = -1;
    NullTarget* access = new NullTarget();

    ~CountingMachine() override { access->Release(); }
    bool step() override {
        if (stepsUntilFault == 0) return false;
        if (stepsUntilFault > 0) --stepsUntilFault;
        ++count;
        cycleCount += cyclesPerStep;
        return true;
    }
    void reset() override {
        ++resets;
        cycleCount = 0;
    }
    uint64_t cycles() const override { return cycleCount; }
    double frequencyHz() const override { return 1e6; }
    uint32_t programCounter() const override { return static_cast<uint32_t>(count * 2); }
    std::string fault() const override { return "invalid opcode"; }
    ITargetAccess* targetAccess() override { return access; }
};

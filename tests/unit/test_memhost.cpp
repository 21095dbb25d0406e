// The in-memory host: memory kinds and their bounds, the target
// description, recorded output, command states, docked windows, failure
// injection and the host-services class registration.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdlib>

#include "host/memory/InMemoryHost.h"
#include "platform/server.h"

using memhost::InMemoryHost;
using memhost::InMemoryTarget;

namespace {

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

std::vector<uint8_t> Read(InMemoryTarget& t, LONG kind, ULONG address, ULONG count, HRESULT* hr) {
    BSTR block = nullptr;
    *hr = t.ReadMemory(kind, address, count, &block);
    std::vector<uint8_t> bytes;
    if (block) {
        auto* p = reinterpret_cast<const uint8_t*>(block);
        bytes.assign(p, p + SysStringByteLen(block));
    }
    SysFreeString(block);
    return bytes;
}

HRESULT Write(InMemoryTarget& t, LONG kind, ULONG address, std::vector<uint8_t> bytes) {
    BSTR block = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()),
                                       static_cast<uint32_t>(bytes.size()));
    HRESULT hr = t.WriteMemory(kind, address, block);
    SysFreeString(block);
    return hr;
}

}  // namespace

TEST(MemHost, IdentifiersAreTheOnesThePluginUses) {
    EXPECT_EQ(memhost::kClsidHostServices, CLSID_HostServices);
    EXPECT_EQ(memhost::kIidHostServices, IID_IHostServices);
    EXPECT_EQ(memhost::kIidGuiWorks, IID_IGuiWorks);
    EXPECT_EQ(memhost::kIidTargetAccess, IID_ITargetAccess);
}

TEST(MemHost, MemoryKindsShareOneDataSpace) {
    InMemoryHost host;
    InMemoryTarget& t = host.target();
    HRESULT hr;
    ASSERT_EQ(Write(t, kMemoryIo, 0x3E, {0x04, 0x5F}), S_OK);
    ASSERT_EQ(Write(t, kMemoryRegisters, 30, {0xAA, 0xBB}), S_OK);
    ASSERT_EQ(Write(t, kMemoryData, 0x60, {0x01, 0x02, 0x03}), S_OK);

    // The data space maps registers at 0x00, I/O at 0x20 and SRAM at 0x60.
    EXPECT_EQ(Read(t, kMemoryData, 0x1E, 2, &hr), (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(Read(t, kMemoryData, 0x5E, 2, &hr), (std::vector<uint8_t>{0x04, 0x5F}));
    EXPECT_EQ(Read(t, kMemoryData, 0x60, 3, &hr), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(t.Sram()[2], 3);
    EXPECT_EQ(Read(t, kMemoryIo, 0, 64, &hr).size(), 64u);
    EXPECT_EQ(Read(t, kMemoryRegisters, 0, 32, &hr).size(), 32u);
    EXPECT_EQ(t.DataSpaceSize(), 0x60u + 1024u);
    EXPECT_EQ(Read(t, kMemoryData, 0x60, 1024, &hr).size(), 1024u);

    ASSERT_EQ(t.writes.size(), 3u);
    EXPECT_EQ(t.writes[0].kind, kMemoryIo);
    EXPECT_EQ(t.writes[0].address, 0x3Eu);
}

TEST(MemHost, AccessPastTheEndFailsWithoutTouchingMemory) {
    InMemoryHost host;
    InMemoryTarget& t = host.target();
    HRESULT hr;
    EXPECT_TRUE(Read(t, kMemoryIo, 1, 64, &hr).empty());
    EXPECT_EQ(hr, E_INVALIDARG);
    Read(t, kMemoryRegisters, 32, 1, &hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    Read(t, kMemoryData, 0x60, 1025, &hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    Read(t, kMemoryData, 0xFFFFFFFFu, 2, &hr);  // address + count wraps
    EXPECT_EQ(hr, E_INVALIDARG);
    Read(t, 5, 0, 1, &hr);  // no such kind
    EXPECT_EQ(hr, E_INVALIDARG);

    EXPECT_EQ(Write(t, kMemoryIo, 63, {1, 2}), E_INVALIDARG);
    EXPECT_EQ(t.Io()[63], 0);
    EXPECT_TRUE(t.writes.empty());
    EXPECT_EQ(t.ReadMemory(kMemoryIo, 0, 1, nullptr), E_POINTER);
    EXPECT_EQ(t.WriteMemory(kMemoryIo, 0, nullptr), E_POINTER);

    uint8_t b = 0;
    EXPECT_FALSE(t.DataByte(t.DataSpaceSize(), &b));
    EXPECT_FALSE(t.SetDataByte(t.DataSpaceSize(), 1));
}

TEST(MemHost, FailuresAreInjectedPerOperation) {
    InMemoryHost host;
    InMemoryTarget& t = host.target();
    HRESULT hr;
    t.readFailure[kMemoryData] = E_FAIL;
    Read(t, kMemoryData, 0x60, 1, &hr);
    EXPECT_EQ(hr, E_FAIL);
    Read(t, kMemoryIo, 0, 1, &hr);
    EXPECT_EQ(hr, S_OK);
    t.writeFailure[kMemoryIo] = kAccessDenied;
    EXPECT_EQ(Write(t, kMemoryIo, 0, {1}), kAccessDenied);
    EXPECT_EQ(t.Io()[0], 0);

    t.shortReadBy = 4;
    EXPECT_EQ(Read(t, kMemoryIo, 0, 64, &hr).size(), 60u);
    EXPECT_EQ(hr, S_OK);

    ULONG count = 7;
    t.cycleCounter = 42;
    t.cycleCounterResult = E_FAIL;
    EXPECT_EQ(t.GetCycleCounter(&count), E_FAIL);
    EXPECT_EQ(count, 7u);
    t.cycleCounterResult = S_FALSE;  // success, but not S_OK
    EXPECT_EQ(t.GetCycleCounter(&count), S_FALSE);

    BSTR xml = nullptr;
    t.targetXmlResult = E_FAIL;
    EXPECT_EQ(t.GetTargetXml(&xml), E_FAIL);
    EXPECT_EQ(xml, nullptr);
}

TEST(MemHost, TargetDescriptionCarriesNamePartAndFrequency) {
    InMemoryHost host;
    InMemoryTarget& t = host.target();
    t.targetName = "Simulator";
    t.partName = "AT<mega>&8";
    t.frequency = "7.3728";
    BSTR xml = nullptr;
    ASSERT_EQ(t.GetTargetXml(&xml), S_OK);
    TiXmlDocument doc;
    doc.Parse(BstrToAnsi(xml).c_str());
    SysFreeString(xml);
    ASSERT_FALSE(doc.Error());
    TiXmlHandle target = TiXmlHandle(&doc).FirstChildElement("TARGET");
    EXPECT_STREQ(
        target.FirstChildElement("ADMIN").FirstChildElement("TARGET_NAME").ToElement()->GetText(),
        "Simulator");
    EXPECT_STREQ(
        target.FirstChildElement("SELECTED").FirstChildElement("PART_NAME").ToElement()->GetText(),
        "AT<mega>&8");
    EXPECT_STREQ(
        target.FirstChildElement("OPTIONS").FirstChildElement("FREQUENCY").ToElement()->GetText(),
        "7.3728");

    t.frequency.clear();
    EXPECT_EQ(t.TargetXml().find("FREQUENCY"), std::string::npos);
    t.useXmlOverride = true;
    t.xmlOverride = "<broken";
    EXPECT_EQ(t.TargetXml(), "<broken");
}

TEST(MemHost, HostServicesHandOutTheTargetAndRecordOutput) {
    InMemoryHost host;
    auto& s = host.services();
    void* object = nullptr;
    CComBSTR name("AVRTARGET");
    const ULONG refs = host.target().RefCount();
    ASSERT_EQ(s.GetNamedObject(name.get(), &IID_ITargetAccess, &object), S_OK);
    EXPECT_EQ(object, static_cast<ITargetAccess*>(&host.target()));
    EXPECT_EQ(host.target().RefCount(), refs + 1);
    static_cast<ITargetAccess*>(object)->Release();

    CComBSTR other("OTHER");
    EXPECT_TRUE(FAILED(s.GetNamedObject(other.get(), &IID_ITargetAccess, &object)));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(s.GetNamedObject(name.get(), &IID_IGuiWorks, &object), E_NOINTERFACE);
    s.SetTarget(nullptr);
    EXPECT_TRUE(FAILED(s.GetNamedObject(name.get(), &IID_ITargetAccess, &object)));

    std::vector<std::string> seen;
    s.onMessage = [&](const memhost::InMemoryHostServices::Message& m) { seen.push_back(m.text); };
    CComBSTR source("QuillComponents"), prefix("X::y() -->"), text("hello"), none("");
    s.WriteMessage(3, source.get(), prefix.get(), text.get());
    s.WriteMessage(3, source.get(), none.get(), text.get());
    EXPECT_EQ(s.Lines(), (std::vector<std::string>{"X::y() --> hello", "hello"}));
    EXPECT_EQ(s.CountText("hello"), 2);
    EXPECT_EQ(seen.size(), 2u);

    CComBSTR category("QuillComponents");
    EXPECT_EQ(s.CreateCategory(category.get(), 1), S_OK);
    s.createCategoryResult = E_FAIL;
    EXPECT_EQ(s.CreateCategory(category.get(), 1), E_FAIL);
    EXPECT_EQ(s.categories.size(), 1u);
}

TEST(MemHost, GuiWorksKeepsStatesAndAnswersDockedWindows) {
    InMemoryHost host;
    auto& w = host.works();
    EXPECT_EQ(w.commandStates[3], memhost::InMemoryGuiWorks::kNeverSet);
    w.SetCommandState(3, 4);
    EXPECT_EQ(w.commandStates[3], 4);
    EXPECT_EQ(w.SetCommandState(12, 4), E_INVALIDARG);
    EXPECT_EQ(w.commandStateCalls.size(), 2u);

    int16_t active = 5;
    EXPECT_EQ(w.GetDebuggingActive(&active), S_OK);
    EXPECT_EQ(active, 0);
    w.debuggingActiveResult = E_FAIL;
    EXPECT_EQ(w.GetDebuggingActive(&active), E_FAIL);

    // Without a window factory there is no window, and the request says so.
    CComBSTR name("dock");
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(w.CreateDockedWindow(name.get(), 0, 0, 1, 216, nullptr, &window), E_FAIL);
    EXPECT_EQ(window, nullptr);
    int widget = 0;
    w.dockedWindowFactory = [&](const std::string& n, HWND* out) {
        EXPECT_EQ(n, "dock");
        *out = reinterpret_cast<HWND>(&widget);
        return S_OK;
    };
    EXPECT_EQ(w.CreateDockedWindow(name.get(), 0, 0, 1, 216, nullptr, &window), S_OK);
    EXPECT_EQ(window, reinterpret_cast<HWND>(&widget));
    EXPECT_EQ(w.dockRequests.size(), 2u);

    void* object = nullptr;
    w.queryInterfaceResult = E_NOINTERFACE;
    EXPECT_EQ(w.QueryInterface(IID_IGuiWorks, &object), E_NOINTERFACE);
    w.queryInterfaceResult = S_OK;
    EXPECT_EQ(w.QueryInterface(IID_IGuiWorks, &object), S_OK);
    static_cast<IGuiWorks*>(object)->Release();
}

TEST(MemHost, RegistrationMakesTheServicesCreatableUntilRevoked) {
    void* object = nullptr;
    {
        InMemoryHost host;
        ASSERT_EQ(host.registration().result(), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IHostServices, &object),
                  S_OK);
        EXPECT_EQ(object, static_cast<IHostServices*>(&host.services()));

        host.registration().FailCreation(E_OUTOFMEMORY);
        void* failed = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IHostServices, &failed),
                  E_OUTOFMEMORY);
        EXPECT_EQ(failed, nullptr);
    }
    // The services object outlives its host while someone holds it.
    auto* services = static_cast<IHostServices*>(object);
    CComBSTR category("after");
    EXPECT_EQ(services->CreateCategory(category.get(), 1), S_OK);
    EXPECT_EQ(services->Release(), 0u);

    // Nothing else provides the class: an empty registry, not the user's.
    const char* saved = std::getenv("QUILL_REGISTRY");
    std::string previous = saved ? saved : "";
    ::setenv("QUILL_REGISTRY", "/nonexistent/quill-memhost-test.reg", 1);
    void* none = nullptr;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_HostServices, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IHostServices, &none)));
    EXPECT_EQ(none, nullptr);
    if (saved) {
        ::setenv("QUILL_REGISTRY", previous.c_str(), 1);
    } else {
        ::unsetenv("QUILL_REGISTRY");
    }
}

// The COM layer: GUID text forms, BSTR byte blocks, text conversion, the
// generic class factory and its counters, the process class table, and the
// keyboard layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "contract/HostInterfaces.h"
#include "core/CLEDView.h"
#include "host/memory/InMemoryHost.h"
#include "platform/classfactory.h"
#include "platform/comobject.h"
#include "platform/keyboard.h"
#include "platform/registry.h"
#include "platform/server.h"
#include "tests/support/ScratchRegistry.h"

namespace {

// ---- GUID

TEST(Guid, ParsesWithOrWithoutBracesInEitherCase) {
    GUID a, b;
    ASSERT_TRUE(GUID::parse("9b206088-bf25-4ec4-a5ad-3edaae26849e", &a));
    ASSERT_TRUE(GUID::parse("{9B206088-BF25-4EC4-A5AD-3EDAAE26849E}", &b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.Data1, 0x9b206088u);
    EXPECT_EQ(a.Data2, 0xbf25);
    EXPECT_EQ(a.Data3, 0x4ec4);
    EXPECT_EQ(a.Data4[0], 0xa5);
    EXPECT_EQ(a.Data4[7], 0x9e);
    EXPECT_EQ(a.toString(), "{9B206088-BF25-4EC4-A5AD-3EDAAE26849E}");
    GUID c;
    ASSERT_TRUE(GUID::parse(a.toString(), &c));
    EXPECT_EQ(c, a);
    EXPECT_FALSE(a == GUID::from("9b206088-bf25-4ec4-a5ad-3edaae26849f"));
}

TEST(Guid, MalformedTextIsRejectedAndLeavesTheTargetAlone) {
    const GUID sentinel = GUID::from("11111111-2222-3333-4444-555555555555");
    for (const char* text : {
             "", "{}",
             "9b206088-bf25-4ec4-a5ad-3edaae26849",    // one digit short
             "9b206088-bf25-4ec4-a5ad3-edaae26849e",   // dash misplaced
             "9b20608g-bf25-4ec4-a5ad-3edaae26849e",   // not hex
             "{9b206088-bf25-4ec4-a5ad-3edaae26849e",  // open brace only
             "+b206088-bf25-4ec4-a5ad-3edaae26849e",   // sign
         }) {
        GUID g = sentinel;
        EXPECT_FALSE(GUID::parse(text, &g)) << text;
        EXPECT_EQ(g, sentinel) << text;
    }
}

// ---- BSTR

TEST(Bstr, ByteBlocksKeepEmbeddedZerosAndOddLengths) {
    const char bytes[] = {'\x00', '\x01', '\x00', '\xFF', '\x80'};
    BSTR block = SysAllocStringByteLen(bytes, sizeof bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(SysStringByteLen(block), 5u);
    EXPECT_EQ(SysStringLen(block), 2u);  // whole characters only
    EXPECT_EQ(std::memcmp(block, bytes, sizeof bytes), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(block)[5], 0);  // terminated past the data
    SysFreeString(block);

    BSTR zeroed = SysAllocStringByteLen(nullptr, 3);  // space without data: zero-filled
    EXPECT_EQ(SysStringByteLen(zeroed), 3u);
    EXPECT_EQ(std::memcmp(zeroed, "\0\0\0", 3), 0);
    SysFreeString(zeroed);
}

TEST(Bstr, Utf8TextRoundTrips) {
    const std::string texts[] = {"", "QuillComponents",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e \xE2\x82\xAC",
                                 "emoji \xF0\x9F\x98\x80 done", std::string("nul\0inside", 10),
                                 // Groups of four and a tail, with a wide
                                 // character in a later group.
                                 "0123456789abc", "01234567\xC3\xBC", "0123456~\x7F\xE2\x82\xAC"};
    for (const auto& text : texts) {
        BSTR b = AnsiToBstr(text);
        EXPECT_EQ(BstrToAnsi(b), text);
        SysFreeString(b);
    }
    BSTR wide = AnsiToBstr("\xF0\x9F\x98\x80");
    EXPECT_EQ(SysStringLen(wide), 2u);  // a surrogate pair
    SysFreeString(wide);
}

TEST(Bstr, MalformedUtf8BecomesReplacementCharacters) {
    for (const std::string bad : {"\x80", "a\xC3", "\xE2\x82", "\xFF\xFE", "\xC3(x"}) {
        BSTR b = AnsiToBstr(bad);
        std::string back = BstrToAnsi(b);
        EXPECT_NE(back.find("\xEF\xBF\xBD"), std::string::npos) << bad;
        SysFreeString(b);
    }
    BSTR b = AnsiToBstr("\xC3(x");  // the byte after a broken sequence is kept
    EXPECT_EQ(BstrToAnsi(b), "\xEF\xBF\xBD(x");
    SysFreeString(b);
}

// ---- Class factory and counters

struct TestModule {};
using TestCounter = ModuleCounter<TestModule>;

const IID IID_IThing = GUID::from("0badf00d-0000-4000-8000-000000000001");
const CLSID CLSID_Thing = GUID::from("0badf00d-0000-4000-8000-000000000002");

struct IThing : IUnknown {
    virtual int Value() = 0;
};

class Thing final : public ComObject<IThing, IID_IThing>, private CountedObject<TestCounter> {
public:
    Thing() : ComObject(0) {}
    int Value() override { return 42; }
};

IUnknown* CreateThing() { return new Thing; }

IClassFactory* NewThingFactory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(ClassFactory<TestCounter>::Get(ClassFactory<TestCounter>::FromNew(&CreateThing),
                                             IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    return factory;
}

// A Thing through the process class table.
HRESULT CreateFromTable(const IID& iid, void** out) {
    return CoCreateInstance(CLSID_Thing, nullptr, CLSCTX_INPROC_SERVER, iid, out);
}

TEST(ClassFactory, CountsObjectsAndLocksUntilTheyAreGone) {
    ASSERT_TRUE(TestCounter::CanUnload());
    IClassFactory* factory = NewThingFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_FALSE(TestCounter::CanUnload());  // a held factory keeps the module

    IThing* thing = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IThing, reinterpret_cast<void**>(&thing)), S_OK);
    EXPECT_EQ(thing->Value(), 42);
    EXPECT_EQ(TestCounter::Objects(), 2);

    // A failed query frees the new object at once.
    void* none = &none;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(TestCounter::Objects(), 2);
    int outer = 0;  // never touched: aggregation is refused first
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IThing, &none),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IThing, nullptr), E_POINTER);

    factory->LockServer(1);
    factory->Release();
    thing->Release();
    EXPECT_EQ(TestCounter::Objects(), 0);
    EXPECT_FALSE(TestCounter::CanUnload());  // still locked
    TestCounter::Unlock();
    EXPECT_TRUE(TestCounter::CanUnload());
    TestCounter::Unlock();  // a surplus unlock does not go below zero
    TestCounter::Lock();
    EXPECT_FALSE(TestCounter::CanUnload());
    TestCounter::Unlock();
}

// ---- Class table

class ClassTable : public ::testing::Test {
protected:
    ScratchRegistry registry_;
    std::string dir_ = registry_.dir().string();
};

TEST_F(ClassTable, CreatesFromARegisteredFactoryUntilRevoked) {
    IClassFactory* factory = NewThingFactory();
    ASSERT_NE(factory, nullptr);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_Thing, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              S_OK);
    factory->Release();  // the table holds its own reference

    IThing* thing = nullptr;
    ASSERT_EQ(CreateFromTable(IID_IThing, reinterpret_cast<void**>(&thing)), S_OK);
    EXPECT_EQ(thing->Value(), 42);
    thing->Release();
    void* object = &object;
    EXPECT_EQ(CreateFromTable(IID_IGuiPlugin, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_TRUE(TestCounter::CanUnload());  // the table let go of the factory
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(CreateFromTable(IID_IThing, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateFromTable(IID_IThing, nullptr), E_POINTER);
    EXPECT_EQ(CoRegisterClassObject(CLSID_Thing, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie),
              E_INVALIDARG);
}

TEST_F(ClassTable, RegistryEntriesThatNameNoUsableServerFailCleanly) {
    const std::string key = "CLSID\\" + CLSID_Thing.toString() + "\\InprocServer32";
    void* object = &object;

    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, key, "", dir_ + "/missing.so"), ERROR_SUCCESS);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CreateFromTable(IID_IThing, &object), CO_E_DLLNOTFOUND);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("missing.so"), std::string::npos);
    EXPECT_EQ(object, nullptr);

    // A loadable library without the entry point: the platform library itself.
    std::string platform = std::string(QUILL_BINARY_DIR) + "/bin/libquill_platform.so";
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, key, "", platform), ERROR_SUCCESS);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(CreateFromTable(IID_IThing, &object), CO_E_ERRORINDLL);
    ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, key, "", ""), ERROR_SUCCESS);
    EXPECT_EQ(CreateFromTable(IID_IThing, &object), REGDB_E_CLASSNOTREG);
}

TEST_F(ClassTable, ProgIdsResolveDirectlyOrThroughCurVer) {
    const std::string clsid = CLSID_Thing.toString();
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "Thing.1\\CLSID", "", clsid), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "Thing\\CurVer", "", "Thing.1"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "Loop\\CurVer", "", "Loop"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValue(HKEY_CLASSES_ROOT, "Bad\\CLSID", "", "{not a guid}"), ERROR_SUCCESS);
    CLSID out;
    ASSERT_EQ(CLSIDFromProgID("Thing.1", &out), S_OK);
    EXPECT_EQ(out, CLSID_Thing);
    out = GUID{};
    ASSERT_EQ(CLSIDFromProgID("thing", &out), S_OK);
    EXPECT_EQ(out, CLSID_Thing);
    EXPECT_EQ(CLSIDFromProgID("Loop", &out), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("Bad", &out), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("Unknown", &out), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("", &out), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("Thing.1\\CLSID", &out), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("Thing.1", nullptr), E_INVALIDARG);
}

// ---- Keyboard

TEST(Keyboard, VirtualKeysMapToScanCodesAndBack) {
    EXPECT_EQ(MapVirtualKeyA(VK_F11, MAPVK_VK_TO_VSC), 0x57u);
    EXPECT_EQ(MapVirtualKeyA(VK_UP, MAPVK_VK_TO_VSC), 0x48u);
    EXPECT_EQ(MapVirtualKeyA(1000, MAPVK_VK_TO_VSC), 0u);
    // Every letter and digit comes back from its scan code.
    for (uint32_t vk : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) {
        uint32_t scan = MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
        ASSERT_NE(scan, 0u) << static_cast<char>(vk);
        EXPECT_EQ(MapVirtualKeyA(scan, MAPVK_VSC_TO_VK), vk) << static_cast<char>(vk);
    }
    EXPECT_EQ(MapVirtualKeyA(0, MAPVK_VSC_TO_VK), 0u);
    EXPECT_EQ(MapVirtualKeyA(0xBB, MAPVK_VK_TO_CHAR), static_cast<uint32_t>('='));
    EXPECT_EQ(MapVirtualKeyA(VK_F11, 99), 0u);
}

}  // namespace

// ---- ComPtr and the shared object bases

namespace {

class Probe final : public ComObject<IThing, IID_IThing> {
public:
    explicit Probe(bool* gone) : gone_(gone) {}
    ~Probe() override { *gone_ = true; }
    int Value() override { return 7; }

private:
    bool* gone_;
};

}  // namespace

TEST(ComPtr, HoldsExactlyOneReferenceAndReleasesIt) {
    bool gone = false;
    auto* probe = new Probe(&gone);  // one reference, the creator's
    {
        ComPtr<IThing> owner = ComPtr<IThing>::adopt(probe);
        ComPtr<IThing> copy = owner;
        EXPECT_EQ(probe->RefCount(), 2u);
        ComPtr<IThing> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(probe->RefCount(), 2u);
        ComPtr<IUnknown> unknown;
        ASSERT_EQ(owner.queryInto(IID_IUnknown, &unknown), S_OK);
        EXPECT_EQ(probe->RefCount(), 3u);
        EXPECT_EQ(moved->Value(), 7);
    }
    EXPECT_TRUE(gone);
}

namespace {

const IID IID_IOther = GUID::from("0badf00d-0000-4000-8000-000000000003");

struct IOther : IUnknown {
    virtual int Other() = 0;
};

class TwoFaced final : public ComObject<IThing, IID_IThing, ComInterface<IOther, IID_IOther>> {
public:
    explicit TwoFaced(bool* gone) : gone_(gone) {}
    ~TwoFaced() override { *gone_ = true; }
    int Value() override { return 1; }
    int Other() override { return 2; }

private:
    bool* gone_;
};

}  // namespace

// A further interface shares the object's count and its identity: IUnknown
// asked through either interface is the same pointer.
TEST(ComObject, FurtherInterfacesShareCountAndIdentity) {
    bool gone = false;
    ComPtr<IThing> thing = ComPtr<IThing>::adopt(new TwoFaced(&gone));
    {
        ComPtr<IOther> other;
        ASSERT_EQ(thing.queryInto(IID_IOther, &other), S_OK);
        EXPECT_EQ(other->Other(), 2);
        ComPtr<IThing> back;
        ASSERT_EQ(other.queryInto(IID_IThing, &back), S_OK);
        EXPECT_EQ(back.get(), thing.get());
        ComPtr<IUnknown> fromThing, fromOther;
        ASSERT_EQ(thing.queryInto(IID_IUnknown, &fromThing), S_OK);
        ASSERT_EQ(other.queryInto(IID_IUnknown, &fromOther), S_OK);
        EXPECT_EQ(fromThing.get(), fromOther.get());
        EXPECT_EQ(static_cast<TwoFaced*>(thing.get())->RefCount(), 5u);
        ComPtr<IUnknown> none;  // not a dual interface
        EXPECT_EQ(other.queryInto(IID_IDispatch, &none), E_NOINTERFACE);
        EXPECT_FALSE(none);
    }
    EXPECT_EQ(static_cast<TwoFaced*>(thing.get())->RefCount(), 1u);
    thing.reset();
    EXPECT_TRUE(gone);
}

// Every object of the project answers the IDispatch questions alike.
TEST(DispatchObject, GivesNoTypeInformationAndNoLateBinding) {
    memhost::InMemoryHost host;
    std::vector<IDispatch*> objects = {&host.target(), &host.services(), &host.works()};
    CLEDView* plugin = new CLEDView;
    plugin->AddRef();
    objects.push_back(plugin);
    for (IDispatch* object : objects) {
        uint32_t count = 99;
        EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(object->GetTypeInfoCount(nullptr), E_POINTER);
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
        EXPECT_EQ(object->GetTypeInfo(0, 0, &info), E_NOTIMPL);
        EXPECT_EQ(info, nullptr);
        IDispatch* dispatch = nullptr;
        ASSERT_EQ(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
        EXPECT_EQ(dispatch, object);
        dispatch->Release();
    }
    plugin->Release();
}

// The kept storage of a BSTR passed as an argument: each text reads back
// whole, with its own length and terminator, longer or shorter than the
// last, ASCII or not.
TEST(ReusedBstr, EachTextReadsBackWithItsOwnLength) {
    ReusedBstr kept;
    const std::string texts[] = {"PORTB=0x0F", std::string(300, 'x'), "°C", "", "a\xFFz", "ok"};
    for (const std::string& text : texts) {
        BSTR b = kept.assign(text);
        ASSERT_NE(b, nullptr) << text;
        CComBSTR fresh(text);
        EXPECT_EQ(SysStringLen(b), SysStringLen(fresh.get())) << text;
        EXPECT_EQ(BstrToAnsi(b), BstrToAnsi(fresh.get())) << text;
        EXPECT_EQ(b[SysStringLen(b)], u'\0') << text;
    }
}

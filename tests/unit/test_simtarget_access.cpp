// The simulator as the plug-in sees it through ITargetAccess: byte blocks
// in BSTRs, result codes for bad requests, the target description.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/sim/SimTargetAccess.h"

extern "C" {
#include <sim_avr.h>
}

using quill::sim::SimTarget;
using quill::sim::SimTargetAccess;

namespace {

struct Access {
    std::shared_ptr<SimTarget> target = std::make_shared<SimTarget>("ATmega16");
    SimTargetAccess* object = SimTargetAccess::create(target);
    ~Access() { object->Release(); }
};

std::string bytesOf(BSTR block) {
    return std::string(reinterpret_cast<const char*>(block), SysStringByteLen(block));
}

}  // namespace

TEST(SimTargetAccess, ReadsAndWritesByteBlocks) {
    Access a;
    const char io[] = {0x0f, 0x33};
    BSTR block = SysAllocStringByteLen(io, 2);
    EXPECT_EQ(a.object->WriteMemory(kMemoryIo, 0x1a, block), S_OK);  // DDRA, PORTA
    SysFreeString(block);
    EXPECT_EQ(a.target->io(0x1a), 0x0f);
    EXPECT_EQ(a.target->io(0x1b), 0x33);

    BSTR read = nullptr;
    ASSERT_EQ(a.object->ReadMemory(kMemoryIo, 0, 64, &read), S_OK);
    ASSERT_EQ(SysStringByteLen(read), 64u);
    // PINA: outputs PA0-3 drive 0x3, inputs PA4-7 show their pull-ups (PA4, PA5).
    EXPECT_EQ(bytesOf(read).substr(0x19, 3), std::string("\x33\x0f\x33", 3));
    SysFreeString(read);

    ASSERT_EQ(a.object->ReadMemory(kMemoryData, 0x60, 1024, &read), S_OK);
    EXPECT_EQ(SysStringByteLen(read), 1024u);
    SysFreeString(read);
    ASSERT_EQ(a.object->ReadMemory(kMemoryRegisters, 0, 32, &read), S_OK);
    EXPECT_EQ(SysStringByteLen(read), 32u);
    SysFreeString(read);
}

TEST(SimTargetAccess, RefusesRequestsOutsideTheMemories) {
    Access a;
    BSTR read = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(a.object->ReadMemory(kMemoryIo, 1, 64, &read), E_INVALIDARG);
    EXPECT_EQ(read, nullptr);
    EXPECT_EQ(a.object->ReadMemory(kMemoryRegisters, 0, 33, &read), E_INVALIDARG);
    EXPECT_EQ(a.object->ReadMemory(5, 0, 1, &read), E_INVALIDARG);
    EXPECT_EQ(a.object->ReadMemory(kMemoryIo, 0, 1, nullptr), E_POINTER);

    BSTR block = SysAllocStringByteLen("\x01\x02", 2);
    EXPECT_EQ(a.object->WriteMemory(kMemoryIo, 63, block), E_INVALIDARG);
    EXPECT_EQ(a.object->WriteMemory(kMemoryData, 0xffffffffu, block), E_INVALIDARG);
    EXPECT_EQ(a.object->WriteMemory(kMemoryIo, 0, nullptr), E_POINTER);
    EXPECT_EQ(a.target->io(63), 0x00) << "a refused write writes nothing";

    a.object->detach();
    EXPECT_EQ(a.object->WriteMemory(kMemoryIo, 0, block), E_UNEXPECTED);
    EXPECT_EQ(a.object->ReadMemory(kMemoryIo, 0, 1, &read), E_UNEXPECTED);
    ULONG cycles = 0;
    EXPECT_EQ(a.object->GetCycleCounter(&cycles), E_UNEXPECTED);
    SysFreeString(block);
}

TEST(SimTargetAccess, CycleCounterIsTheLowWordOfTheCycleCount) {
    Access a;
    a.target->core()->cycle = 0x100000005ull;
    ULONG cycles = 0;
    EXPECT_EQ(a.object->GetCycleCounter(&cycles), S_OK);
    EXPECT_EQ(cycles, 5u);
    EXPECT_EQ(a.object->GetCycleCounter(nullptr), E_POINTER);
}

TEST(SimTargetAccess, DescribesTheSimulatorPartAndFrequencyInMegahertz) {
    Access a;
    a.target->setFrequency(3686400);
    BSTR xml = nullptr;
    ASSERT_EQ(a.object->GetTargetXml(&xml), S_OK);
    const std::string text = BstrToAnsi(xml);
    SysFreeString(xml);
    EXPECT_NE(text.find("<TARGET>"), std::string::npos) << text;
    EXPECT_NE(text.find("<ADMIN><TARGET_NAME>Simulator</TARGET_NAME></ADMIN>"), std::string::npos);
    EXPECT_NE(text.find("<SELECTED><PART_NAME>ATmega16</PART_NAME></SELECTED>"), std::string::npos);
    EXPECT_NE(text.find("<OPTIONS><FREQUENCY>3.6864</FREQUENCY></OPTIONS>"), std::string::npos);

    a.target->setFrequency(16000000);
    EXPECT_NE(SimTargetAccess::targetXml(*a.target).find("<FREQUENCY>16</FREQUENCY>"),
              std::string::npos);
}

TEST(SimTargetAccess, AnswersForItsInterfacesOnly) {
    Access a;
    void* object = nullptr;
    const IID targetIid = GUID::from("7005425c-5a1a-4941-bb55-bd2f014d6a5e");
    ASSERT_EQ(a.object->QueryInterface(targetIid, &object), S_OK);
    EXPECT_EQ(object, static_cast<ITargetAccess*>(a.object));
    static_cast<ITargetAccess*>(object)->Release();
    EXPECT_EQ(a.object->QueryInterface(IID_IDispatch, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(a.object->QueryInterface(GUID::from("68ff0606-2d5c-4911-82be-6311fdd07c02"), &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(VtableSlot(&ITargetAccess::GetTargetXml), 17);
}

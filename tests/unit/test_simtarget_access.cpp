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

}  // namespace

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

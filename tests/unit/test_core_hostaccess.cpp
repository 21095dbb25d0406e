// Host access: attaching to the target, memory transfers, the target
// description, the output window and docked windows.
#include "test_core_fixture.h"

namespace {

class HostAccess : public CoreTest {
protected:
    void Attach() {
        InitView();
        works().debugging = 1;
        ASSERT_TRUE(view->ConnectTarget());
        services().messages.clear();
    }
};

}  // namespace

TEST_F(HostAccess, AttachesOnlyWhileTheHostIsDebuggingAndRetriesAfterFailure) {
    InitView();
    EXPECT_FALSE(view->ConnectTarget());  // not debugging

    works().debugging = 1;
    works().debuggingActiveResult = E_FAIL;
    EXPECT_FALSE(view->ConnectTarget());
    works().debuggingActiveResult = S_OK;

    services().getNamedObjectResult = E_FAIL;
    EXPECT_FALSE(view->ConnectTarget());
    EXPECT_FALSE(view->IsAttached());

    services().getNamedObjectResult = S_OK;
    EXPECT_TRUE(view->ConnectTarget());
    EXPECT_TRUE(view->IsAttached());

    // Already attached: no further request to the host.
    services().getNamedObjectResult = E_FAIL;
    EXPECT_TRUE(view->ConnectTarget());
}

TEST_F(HostAccess, RepeatedAttachingHoldsOneTargetReference) {
    InitView();
    works().debugging = 1;
    view->HandleEvent(kEventReattach, nullptr);
    const ULONG held = target().RefCount();
    for (int i = 0; i < 5; ++i) view->HandleEvent(kEventReattach, nullptr);
    EXPECT_EQ(target().RefCount(), held);
}

TEST_F(HostAccess, MemoryTransfersUseTheAgreedKindsAndRangesAndFailCleanly) {
    uint8_t io[64];
    std::fill(std::begin(io), std::end(io), 0xEE);
    InitView();
    EXPECT_FALSE(view->ReadIOMemory(io));  // not attached
    EXPECT_EQ(io[0], 0xEE);
    EXPECT_FALSE(view->WriteIOMemory(io));
    EXPECT_TRUE(target().writes.empty());

    works().debugging = 1;
    view->ConnectTarget();
    target().Io()[0x3F] = 0x80;
    ASSERT_TRUE(view->ReadIOMemory(io));
    EXPECT_EQ(io[0x3F], 0x80);

    ASSERT_EQ(view->DataSize(), 1024);  // no part mapped: SRAM at 0x60, 1024 bytes
    std::vector<uint8_t> data(static_cast<size_t>(view->DataSize()), 0);
    target().Sram()[0] = 0x11;
    target().Sram()[1023] = 0x22;
    ASSERT_TRUE(view->ReadDataMemory(data.data()));
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(data[1023], 0x22);

    uint8_t regs[32] = {};
    target().Registers()[31] = 0x33;
    ASSERT_TRUE(view->ReadRegisters(regs));
    EXPECT_EQ(regs[31], 0x33);

    io[5] = 0x55;
    ASSERT_TRUE(view->WriteIOMemory(io));
    ASSERT_EQ(target().writes.size(), 1u);
    EXPECT_EQ(target().writes[0].kind, kMemoryIo);
    EXPECT_EQ(target().writes[0].address, 0u);
    EXPECT_EQ(target().writes[0].bytes.size(), 64u);
    EXPECT_EQ(target().Io()[5], 0x55);

    // A failing read and a block shorter than asked leave the buffer as it
    // was; the short block is never read past its end.
    std::fill(std::begin(io), std::end(io), 0xEE);
    target().readFailure[kMemoryIo] = E_FAIL;
    EXPECT_FALSE(view->ReadIOMemory(io));
    target().readFailure.clear();
    target().shortReadBy = 1;
    EXPECT_FALSE(view->ReadIOMemory(io));
    EXPECT_EQ(io[0x3F], 0xEE);
    target().shortReadBy = 0;

    target().writeFailure[kMemoryIo] = E_FAIL;
    EXPECT_FALSE(view->WriteIOMemory(io));
}

// A target description nested far too deep is refused before the XML
// parser recurses through it (it would run out of stack): defaults apply.
TEST_F(HostAccess, ADeeplyNestedTargetDescriptionIsRefusedNotParsed) {
    Attach();
    std::string deep = "<TARGET><SELECTED><PART_NAME>ATmega16</PART_NAME></SELECTED>";
    for (int i = 0; i < 50000; ++i) deep += "<a>";
    target().useXmlOverride = true;
    target().xmlOverride = deep;
    EXPECT_EQ(view->GetSelectedPartname(), "Unknown");
    EXPECT_TRUE(
        services().HasText("The target description nests elements too deeply; using defaults."));
}

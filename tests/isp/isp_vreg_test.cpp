// The virtual register layer over the simulated ISP driver: which spaces
// exist, how narrow and unaligned accesses land in their word, and that
// writes from two threads to one word lose nothing.
#include <thread>

#include "board/sim/sim.h"
#include "isp/isp_vreg.h"
#include "tests/support/board_fixture.h"

namespace {

class VRegTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(VReg_Init(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE), 0);
    }
    void TearDown() override
    {
        VReg_Munmap();
        VReg_ReleaseAll();
    }
};

TEST_F(VRegTest, OnlyTheStartOfAPageSpaceCanBeAllocated)
{
    struct Case {
        const char *name;
        u32 base;
        s32 expected;
    };
    const Case cases[] = {
        {"AE page of handle 1", 0x21000, 0},
        {"AWB page of handle 0", 0x30000, 0},
        {"AF page of handle 15", 0x4F000, 0},
        {"inside the ext space", 0x10100, -1},
        {"inside an AE page", 0x21800, -1},
        {"no such space", 0x50000, -1},
        {"the ISP registers", ISP_REG_BASE, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VReg_Init(c.base, 4096), c.expected);
    }
}

TEST_F(VRegTest, NarrowAccessesLandInTheirWord)
{
    IO_WRITE32(0x10000, 0x11223344);
    IO_WRITE8(0x10003, 0xAB);
    EXPECT_EQ(IO_READ32(0x10000), 0xAB223344u);
    EXPECT_EQ(IO_READ8(0x10001), 0x33u);

    IO_WRITE32(0x12114, 0xCAFE0123);
    EXPECT_EQ(IO_READ16(0x12116), 0xCAFEu);
    EXPECT_EQ(IO_READ16(0x12114), 0x0123u);
    IO_WRITE16(0x12116, 0xBEEF);
    EXPECT_EQ(IO_READ32(0x12114), 0xBEEF0123u);
}

TEST_F(VRegTest, AnOddAddressedWordTouchesOnlyItsOwnBytes)
{
    IO_WRITE32(0x12314, 0xA5A5A5A5);
    IO_WRITE32(0x12318, 0x5A5A5A5A);
    IO_WRITE32(0x12317, 0x11223344);
    EXPECT_EQ(IO_READ32(0x12317), 0x11223344u);
    EXPECT_EQ(IO_READ32(0x12314), 0x44A5A5A5u);
    EXPECT_EQ(IO_READ32(0x12318), 0x5A112233u);
    // At the end of a 4 KB page the bytes beyond it are not touched.
    ASSERT_EQ(VReg_Init(0x20000, 4096), 0);
    IO_WRITE32(0x20FFE, 0xDDCCBBAA);
    EXPECT_EQ(IO_READ16(0x20FFE), 0xBBAAu);
    EXPECT_EQ(IO_READ32(0x20FFE), 0xBBAAu);
}

TEST_F(VRegTest, SpacesThatAreNotThereReadZeroAndDropWrites)
{
    IO_WRITE32(0x50000, 7);
    EXPECT_EQ(IO_READ32(0x50000), 0u);
    EXPECT_EQ(VReg_GetVirtAddr(0x50000), nullptr);
    // A 3A page before its VReg_Init: the lookup fails and nothing happens.
    IO_WRITE32(0x22000, 5);
    EXPECT_EQ(IO_READ32(0x22000), 0u);
    EXPECT_EQ(VReg_GetVirtAddr(0x22000), nullptr);
    // The video-input block answers only through its own accessors.
    IO_WRITE32_VI(0x20599000, 0x1234);
    EXPECT_EQ(sim::phys_read32(0x20599000), 0x1234u);
    EXPECT_EQ(IO_READ32(0x20599000), 0u);
}

TEST_F(VRegTest, IspRegistersAreTheHardwareBlockWithOrWithoutItsBase)
{
    IO_WRITE32(0x0040, 0x04C5FB7E);
    EXPECT_EQ(sim::phys_read32(0x205A0040), 0x04C5FB7Eu);
    EXPECT_EQ(IO_READ32(0x205A0040), 0x04C5FB7Eu);
    EXPECT_EQ(VReg_GetVirtAddr(0x0040), VReg_GetVirtAddr(0x205AFFFC));
}

TEST_F(VRegTest, ExtValuesOutliveTheMappingAndGoWithThePage)
{
    IO_WRITE32(0x10010, 99);
    VReg_Munmap();
    EXPECT_EQ(IO_READ32(0x10010), 99u); // mapped again, same kernel page
    EXPECT_EQ(VReg_Exit(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE), 0);
    EXPECT_EQ(VReg_GetVirtAddr(0x10010), nullptr);
    EXPECT_EQ(VReg_Exit(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE), -1); // already freed
}

TEST_F(VRegTest, TwoThreadsWritingBytesOfOneWordLoseNoUpdate)
{
    // Each thread counts in its own byte by reading it and writing it back;
    // an unguarded word write of the other thread would set it back.
    constexpr int kRounds = 20000;
    auto count = [](u32 addr) {
        for (int i = 0; i < kRounds; i++)
            IO_WRITE8(addr, IO_READ8(addr) + 1);
    };
    auto count16 = [](u32 addr) {
        for (int i = 0; i < kRounds; i++)
            IO_WRITE16(addr, IO_READ16(addr) + 1);
    };
    IO_WRITE32(0x11000, 0);
    std::thread a(count, 0x11000), b(count, 0x11001), c(count16, 0x11002);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(IO_READ8(0x11000), (u32)(kRounds % 256));
    EXPECT_EQ(IO_READ8(0x11001), (u32)(kRounds % 256));
    EXPECT_EQ(IO_READ16(0x11002), (u32)kRounds);
}

} // namespace

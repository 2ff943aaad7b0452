// Memory zones, physical mapping and registers against the simulated board.
#include "mpi/video/sys/mpi_sys.h"
#include "tests/support/board_fixture.h"

#include <cstring>

using testsupport::capture_stderr;
using testsupport::capture_stdout;
using testsupport::events;

namespace {

class MmzTest : public BoardTest {
protected:
    MmzTest() { conf_ = "trace = 1\n"; }
};

TEST_F(MmzTest, ZoneBufferIsTheBoardsMemory)
{
    struct Case {
        const char *name;
        bool cached;
    } cases[] = {{"uncached", false}, {"cached", true}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        u32 phys = 0;
        void *user = nullptr;
        auto alloc = c.cached ? DU_DUZ_SYS_MmzAlloc_Cached : DU_DUZ_SYS_MmzAlloc;
        ASSERT_EQ(0, alloc(&phys, &user, "buf", "anonymous", 10000));
        ASSERT_NE(0u, phys);
        ASSERT_NE(nullptr, user);
        memset(user, 0x5A, 10000);
        EXPECT_EQ(0x5A, sim::phys(phys)[9999]);

        SYS_VIRMEM_INFO_REC_S info = {};
        ASSERT_EQ(0, DU_DUZ_SYS_GetVirMemInfo(static_cast<u8 *>(user) + 100, &info));
        EXPECT_EQ(phys + 100, info.u32PhyAddr);
        EXPECT_EQ(c.cached ? 1u : 0u, info.bCached);

        EXPECT_EQ(0, DU_DUZ_SYS_MmzFlushCache(phys, user, 10000));
        EXPECT_EQ(0, DU_DUZ_SYS_MmzFree(phys, user));
        EXPECT_EQ(0u, sim::phys_alloc_size(phys));
        std::string err = capture_stderr([&] { EXPECT_NE(0, DU_DUZ_SYS_MmzFree(phys, nullptr)); });
        EXPECT_EQ("System unmap mmz memory failed!\n", err);
    }
}

TEST_F(MmzTest, LongNamesAreCutNotRefused)
{
    u32 phys = 0;
    void *user = nullptr;
    std::string zone(40, 'z'), buf(20, 'b');
    ASSERT_EQ(0, DU_DUZ_SYS_MmzAlloc(&phys, &user, buf.c_str(), zone.c_str(), 4096));
    EXPECT_EQ(0, DU_DUZ_SYS_MmzFree(phys, user));
}

TEST_F(MmzTest, FailedMappingGivesTheBufferBack)
{
    conf_ = "mmz_refuse = 0xC04C6D14\n";
    SetUp();
    u32 phys = 0;
    void *user = nullptr;
    std::string err = capture_stderr([&] { EXPECT_EQ(-1, DU_DUZ_SYS_MmzAlloc(&phys, &user, "b", nullptr, 8192)); });
    EXPECT_EQ("System remap mmz memory failed!\n", err);
    EXPECT_EQ(nullptr, user);
    // Nothing stayed allocated: the next buffer starts where the first did.
    u32 next = sim::phys_alloc(8192);
    EXPECT_EQ(sim::kDdrBase, next);
    sim::phys_free(next);
}

TEST_F(MmzTest, AllocationFailureIsTheDriversCode)
{
    u32 phys = 0;
    void *user = nullptr;
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_MmzAlloc(&phys, &user, "b", "", 0)); });
    EXPECT_EQ("System alloc mmz memory failed!\n", err);
}

TEST_F(MmzTest, WholeCacheFlushWhateverTheRange)
{
    EXPECT_EQ(0, DU_DUZ_SYS_MmzFlushCache(0, nullptr, 0));
    EXPECT_EQ(1u, events("ioctl /dev/mmz_userdev 0x00006328").size());
}

TEST_F(MmzTest, MappingCoversWholePages)
{
    struct Case {
        const char *name;
        u32 phys, size;
    } cases[] = {{"inside one page", 0x20050004, 8}, {"across a page boundary", 0x20050FFC, 8},
                 {"page aligned", 0x20051000, 4096}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        void *user = DU_DUZ_SYS_Mmap(c.phys, c.size);
        ASSERT_NE(nullptr, user);
        EXPECT_EQ(c.phys & 0xFFF, (uintptr_t)user & 0xFFF);
        memset(user, 0xA5, c.size);
        EXPECT_EQ(0xA5, sim::phys(c.phys)[0]);
        EXPECT_EQ(0xA5, sim::phys(c.phys + c.size - 1)[0]);
        EXPECT_EQ(0, DU_DUZ_SYS_Munmap(user, c.size));
    }
    void *user = DU_DUZ_SYS_MmapCache(0x20052000, 16);
    ASSERT_NE(nullptr, user);
    EXPECT_EQ(0, DU_DUZ_SYS_Munmap(user, 16));
}

TEST_F(MmzTest, MappingOfNothing)
{
    void *user = reinterpret_cast<void *>(1);
    std::string out = capture_stdout([&] { user = DU_DUZ_SYS_Mmap(0x20050000, 0); });
    EXPECT_EQ(nullptr, user);
    EXPECT_EQ("Func: DU_DUZ_SYS_Mmap u32Size can't be 0.\n", out);
}

TEST_F(MmzTest, RegistersThroughShortMappings)
{
    EXPECT_EQ(0, DU_DUZ_SYS_SetReg(0x205A0640, 0x12345678));
    EXPECT_EQ(0x12345678u, sim::phys_read32(0x205A0640));
    sim::phys_write32(0x205A0644, 0xDEADBEEF);
    u32 value = 0;
    EXPECT_EQ(0, DU_DUZ_SYS_GetReg(0x205A0644, &value));
    EXPECT_EQ(0xDEADBEEFu, value);
    // A word across two registers is no bus access: refused, nothing touched.
    std::string out = capture_stdout([&] {
        EXPECT_EQ(-1, DU_DUZ_SYS_SetReg(0x205A0642, 1));
        EXPECT_EQ(-1, DU_DUZ_SYS_GetReg(0x205A0642, &value));
    });
    EXPECT_EQ("Func: DU_DUZ_SYS_SetReg u32Addr 0x205a0642 is not word aligned.\n"
              "Func: DU_DUZ_SYS_GetReg u32Addr 0x205a0642 is not word aligned.\n",
              out);
    EXPECT_EQ(0x12345678u, sim::phys_read32(0x205A0640));
    EXPECT_EQ(0xDEADBEEFu, sim::phys_read32(0x205A0644));
}

TEST_F(MmzTest, CacheFlushOfARangeIsWholeLines)
{
    // The driver takes only 64-byte aligned ranges: 0x1010 + 0x30 becomes 0x1000 + 0x40.
    char buf[256];
    EXPECT_EQ(0, DU_DUZ_SYS_MflushCache(0x1010, buf + 0x10, 0x30));
    EXPECT_EQ(0, DU_DUZ_SYS_MflushCache(0x1030, buf + 0x30, 0x20)) << "crosses a line: two lines";
}

} // namespace

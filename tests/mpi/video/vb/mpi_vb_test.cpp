// Buffer pools against the simulated /dev/vb: private and common pools,
// mapping, address translation, use counts and the argument checks.
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <functional>

using testsupport::capture_stderr;
using testsupport::capture_stdout;
using testsupport::events;

namespace {

class VbTest : public BoardTest {
protected:
    VbTest() { conf_ = "trace = 1\n"; }
    void SetUp() override
    {
        BoardTest::SetUp();
        MPI_VB_InitCtx(); // mappings of an earlier board are gone with it
    }
    void TearDown() override { DU_DUZ_VB_Exit(); }

    static VB_CONF_REC_S one_pool(u32 size, u32 cnt)
    {
        VB_CONF_REC_S conf = {};
        conf.astCommPool[0].u32BlockSize = size;
        conf.astCommPool[0].u32BlockCnt = cnt;
        return conf;
    }
};

size_t vb_requests() { return events("ioctl /dev/vb").size(); }

TEST_F(VbTest, PrivatePoolEndToEnd)
{
    u32 pool = DU_DUZ_VB_CreatePool(8192, 4, nullptr);
    ASSERT_LT(pool, VB_MAX_POOLS);
    ASSERT_EQ(0, DU_DUZ_VB_MmapPool(pool));
    u32 handle = DU_DUZ_VB_GetBlock(pool, 0, nullptr);
    ASSERT_NE(VB_INVALID_HANDLE, handle);
    u32 phys = DU_DUZ_VB_Handle2PhysAddr(handle);
    ASSERT_NE(0u, phys);
    EXPECT_EQ(pool, DU_DUZ_VB_Handle2PoolId(handle));

    void *user = nullptr;
    ASSERT_EQ(0, DU_DUZ_VB_GetBlkVirAddr(pool, phys, &user));
    const char text[] = "through the user address";
    memcpy(user, text, sizeof text);
    EXPECT_EQ(0, memcmp(sim::phys(phys), text, sizeof text));
    // And the other way: what the board writes, the process reads.
    sim::phys_write32(phys + 4096, 0xCAFEF00D);
    EXPECT_EQ(0xCAFEF00Du, *reinterpret_cast<u32 *>(static_cast<u8 *>(user) + 4096));

    EXPECT_EQ(0, DU_DUZ_VB_ReleaseBlock(handle));
    EXPECT_EQ(0, DU_DUZ_VB_MunmapPool(pool));
    EXPECT_EQ(0, DU_DUZ_VB_DestroyPool(pool));
    EXPECT_EQ(VB_INVALID_POOLID, DU_DUZ_VB_Handle2PoolId(handle));
}

TEST_F(VbTest, BlocksOfAPoolRunOut)
{
    u32 pool = DU_DUZ_VB_CreatePool(100, 2, "");
    u32 a = DU_DUZ_VB_GetBlock(pool, 0, nullptr), b = DU_DUZ_VB_GetBlock(pool, 0, nullptr);
    ASSERT_NE(VB_INVALID_HANDLE, a);
    ASSERT_NE(VB_INVALID_HANDLE, b);
    EXPECT_NE(DU_DUZ_VB_Handle2PhysAddr(a), DU_DUZ_VB_Handle2PhysAddr(b));
    EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(pool, 0, nullptr));
    EXPECT_EQ((s32)0xA0018012, DU_DUZ_VB_DestroyPool(pool)) << "blocks in use";
    EXPECT_EQ(0, DU_DUZ_VB_ReleaseBlock(a));
    EXPECT_NE(0, DU_DUZ_VB_ReleaseBlock(a)) << "released twice";
    EXPECT_NE(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(pool, 0, nullptr));
}

TEST_F(VbTest, MappingTwiceAndUnmappingUnmappedAreHarmless)
{
    u32 pool = DU_DUZ_VB_CreatePool(4096, 2, nullptr);
    ASSERT_EQ(0, DU_DUZ_VB_MmapPool(pool));
    void *first = s_stVbCtx.astPool[pool].pPoolVirAddr;
    std::string err = capture_stderr([&] { EXPECT_EQ(0, DU_DUZ_VB_MmapPool(pool)); });
    EXPECT_EQ("Pool " + std::to_string(pool) + " has mapped!\n", err);
    EXPECT_EQ(first, s_stVbCtx.astPool[pool].pPoolVirAddr);
    EXPECT_EQ(0, DU_DUZ_VB_MunmapPool(pool));
    err = capture_stderr([&] { EXPECT_EQ(0, DU_DUZ_VB_MunmapPool(pool)); });
    EXPECT_EQ("Pool " + std::to_string(pool) + " hasn't mapped!\n", err);
    err = capture_stderr([&] {
        void *user;
        EXPECT_EQ((s32)0xA0018010, DU_DUZ_VB_GetBlkVirAddr(pool, 0, &user));
    });
    EXPECT_EQ("Pool " + std::to_string(pool) + " hasn't mapped!\n", err);
}

TEST_F(VbTest, PoolInUseStaysMapped)
{
    u32 pool = DU_DUZ_VB_CreatePool(4096, 2, nullptr);
    ASSERT_EQ(0, DU_DUZ_VB_MmapPool(pool));
    u32 handle = DU_DUZ_VB_GetBlock(pool, 0, nullptr);
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0018012, DU_DUZ_VB_MunmapPool(pool)); });
    EXPECT_EQ("Vb pool " + std::to_string(pool) + "  is used by some modules!\n", err);
    EXPECT_EQ(DU_TRUE, s_stVbCtx.astPool[pool].bMapped);
    // A second user of the block (a driver passing it on) keeps it in use.
    ASSERT_TRUE(sim::vb_ref_block(handle));
    EXPECT_EQ(0, DU_DUZ_VB_ReleaseBlock(handle));
    capture_stderr([&] { EXPECT_EQ((s32)0xA0018012, DU_DUZ_VB_MunmapPool(pool)); });
    ASSERT_TRUE(sim::vb_release_block(handle));
    EXPECT_EQ(0, DU_DUZ_VB_MunmapPool(pool));
    EXPECT_EQ(DU_FALSE, s_stVbCtx.astPool[pool].bMapped);
}

TEST_F(VbTest, TranslationStaysInsideThePool)
{
    u32 pool = DU_DUZ_VB_CreatePool(4096, 2, nullptr);
    ASSERT_EQ(0, DU_DUZ_VB_MmapPool(pool));
    const VB_POOL_MAP_S &map = s_stVbCtx.astPool[pool];
    void *user = nullptr;
    ASSERT_EQ(0, DU_DUZ_VB_GetBlkVirAddr(pool, map.u32PoolPhyAddr, &user));
    EXPECT_EQ(map.pPoolVirAddr, user);
    ASSERT_EQ(0, DU_DUZ_VB_GetBlkVirAddr(pool, map.u32PoolPhyAddr + map.u32PoolSize - 1, &user));
    struct Case {
        const char *name;
        u32 phys;
    } outside[] = {{"below", map.u32PoolPhyAddr - 1}, {"past the end", map.u32PoolPhyAddr + map.u32PoolSize}};
    for (auto &c : outside) {
        SCOPED_TRACE(c.name);
        void *out = nullptr;
        capture_stderr([&] { EXPECT_EQ((s32)0xA0018003, DU_DUZ_VB_GetBlkVirAddr(pool, c.phys, &out)); });
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(0, DU_DUZ_VB_MunmapPool(pool));
}

TEST_F(VbTest, CommonPoolsFromTheConfiguration)
{
    VB_CONF_REC_S conf = one_pool(100000, 3);
    conf.astCommPool[1].u32BlockSize = 2000;
    conf.astCommPool[1].u32BlockCnt = 1;
    ASSERT_EQ(0, DU_DUZ_VB_SetConf(&conf));
    VB_CONF_REC_S got = {};
    ASSERT_EQ(0, DU_DUZ_VB_GetConf(&got));
    EXPECT_EQ(0, memcmp(&conf, &got, sizeof got));
    ASSERT_EQ(0, DU_DUZ_VB_Init());

    // The smallest pool that holds the size serves it, then the next.
    u32 small = DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 1500, nullptr);
    u32 big = DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 1500, nullptr);
    ASSERT_NE(VB_INVALID_HANDLE, small);
    ASSERT_NE(VB_INVALID_HANDLE, big);
    EXPECT_NE(DU_DUZ_VB_Handle2PoolId(small), DU_DUZ_VB_Handle2PoolId(big));
    EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 200000, nullptr)) << "too big";
    EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 10, "other")) << "no such zone";

    EXPECT_EQ((s32)0xA0018009, DU_DUZ_VB_SetConf(&conf)) << "pools are laid out";
    EXPECT_EQ((s32)0xA0018012, DU_DUZ_VB_Exit()) << "common blocks in use";
    EXPECT_EQ(0, DU_DUZ_VB_ReleaseBlock(small));
    EXPECT_EQ(0, DU_DUZ_VB_ReleaseBlock(big));
    EXPECT_EQ(0, DU_DUZ_VB_Exit());
    EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 10, nullptr)) << "no common pools now";
    // The engine's restart: exit, configure, init again.
    ASSERT_EQ(0, DU_DUZ_VB_SetConf(&conf));
    ASSERT_EQ(0, DU_DUZ_VB_Init());
    EXPECT_NE(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 10, nullptr));
}

TEST_F(VbTest, InitWithoutAConfigurationIsRefused) { EXPECT_EQ((s32)0xA0018007, DU_DUZ_VB_Init()); }

TEST_F(VbTest, ConfigurationNamesAreCheckedOnPoolsInUse)
{
    // A fifth pool without blocks may carry any name.
    VB_CONF_REC_S conf = one_pool(1024, 2);
    conf.astCommPool[4].u32BlockSize = 1024;
    memset(conf.astCommPool[4].szMmzName, 'n', 15);
    EXPECT_EQ(0, DU_DUZ_VB_SetConf(&conf));

    conf.astCommPool[4].u32BlockCnt = 1;
    memset(conf.astCommPool[4].szMmzName, 'n', 16); // no terminator in 16 bytes
    size_t before = vb_requests();
    std::string out = capture_stdout([&] { EXPECT_EQ((s32)0xA0018003, DU_DUZ_VB_SetConf(&conf)); });
    EXPECT_EQ(0u, out.find("mmz name len:"));
    out = capture_stdout([&] { EXPECT_EQ((s32)0xA0018003, DU_DUZ_VB_SetModPoolConf(2, &conf)); });
    EXPECT_EQ(0u, out.find("mmz name len:"));
    EXPECT_EQ(before, vb_requests());
}

TEST_F(VbTest, IdentifierCallsAnswerInvalidOnEveryFailure)
{
    size_t before = vb_requests();
    std::string out = capture_stdout([] {
        EXPECT_EQ(VB_INVALID_POOLID, DU_DUZ_VB_CreatePool(100, 1, "0123456789abcdef"));
        EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 100, "0123456789abcdef"));
    });
    EXPECT_EQ("mmz name len:16,it's too long\nmmz name len:16,it's too long\n", out);
    EXPECT_EQ(before, vb_requests());
    EXPECT_EQ(VB_INVALID_POOLID, DU_DUZ_VB_CreatePool(0, 1, nullptr)) << "refused by the driver";
    EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(77, 0, nullptr)) << "no such pool";
    EXPECT_EQ(0u, DU_DUZ_VB_Handle2PhysAddr(0x00050003)) << "a failed request is no address";
    EXPECT_EQ(VB_INVALID_POOLID, DU_DUZ_VB_Handle2PoolId(0x00050003));
}

TEST_F(VbTest, ArgumentChecksRefuseBeforeAnyRequest)
{
    VB_CONF_REC_S conf = {};
    void *user;
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *err;
    } cases[] = {
        {"SetConf null", [] { return DU_DUZ_VB_SetConf(nullptr); }, (s32)0xA0018006, ""},
        {"GetConf null", [] { return DU_DUZ_VB_GetConf(nullptr); }, (s32)0xA0018006, ""},
        {"GetModPoolConf null", [] { return DU_DUZ_VB_GetModPoolConf(0, nullptr); }, (s32)0xA0018006, ""},
        {"SetModPoolConf null", [] { return DU_DUZ_VB_SetModPoolConf(0, nullptr); }, (s32)0xA0018006, ""},
        {"SetSupplementConf null", [] { return DU_DUZ_VB_SetSupplementConf(nullptr); }, (s32)0xA0018006, ""},
        {"GetSupplementConf null", [] { return DU_DUZ_VB_GetSupplementConf(nullptr); }, (s32)0xA0018006, ""},
        {"GetSupplementAddr null", [] { return DU_DUZ_VB_GetSupplementAddr(0, nullptr); }, (s32)0xA0018006, ""},
        {"GetBlkVirAddr null", [] { return DU_DUZ_VB_GetBlkVirAddr(0, 0, nullptr); }, (s32)0xA0018006, ""},
        {"MmapPool 256", [] { return DU_DUZ_VB_MmapPool(256); }, (s32)0xA0018003, "Illegal poolid 256!\n"},
        {"MunmapPool 256", [] { return DU_DUZ_VB_MunmapPool(256); }, (s32)0xA0018003, "Illegal poolid 256!\n"},
        {"GetBlkVirAddr 256", [&] { return DU_DUZ_VB_GetBlkVirAddr(256, 0, &user); }, (s32)0xA0018003,
         "Illegal poolid 256!\n"},
        {"InitModCommPool 23", [] { return DU_DUZ_VB_InitModCommPool(23); }, (s32)0xA0018003,
         "Illegal user id 23!\n"},
        {"ExitModCommPool 23", [] { return DU_DUZ_VB_ExitModCommPool(23); }, (s32)0xA0018003,
         "Illegal user id 23!\n"},
        {"GetModPoolConf 23", [&] { return DU_DUZ_VB_GetModPoolConf(23, &conf); }, (s32)0xA0018003,
         "Illegal user id 23!\n"},
        {"SetModPoolConf 23", [&] { return DU_DUZ_VB_SetModPoolConf(23, &conf); }, (s32)0xA0018003,
         "Illegal user id 23!\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = vb_requests();
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ(c.code, ret);
        EXPECT_EQ(c.err, err);
        EXPECT_EQ(before, vb_requests());
    }
}

TEST_F(VbTest, ModuleCommonPools)
{
    VB_CONF_REC_S conf = one_pool(512, 4), got = {};
    ASSERT_EQ(0, DU_DUZ_VB_SetModPoolConf(5, &conf));
    ASSERT_EQ(0, DU_DUZ_VB_GetModPoolConf(5, &got));
    EXPECT_EQ(0, memcmp(&conf, &got, sizeof got));
    ASSERT_EQ(0, DU_DUZ_VB_InitModCommPool(5));
    EXPECT_EQ(mpi_status(DU_ID_VB, ERR_NOT_PERM), DU_DUZ_VB_SetModPoolConf(5, &conf));
    EXPECT_EQ(0, DU_DUZ_VB_ExitModCommPool(5));
    EXPECT_EQ(0, DU_DUZ_VB_SetModPoolConf(5, &conf));
}

TEST_F(VbTest, SupplementAreasOfCommonBlocks)
{
    u32 mask = VB_SUPPLEMENT_JPEG_MASK | VB_SUPPLEMENT_ISPINFO_MASK, got = 0;
    ASSERT_EQ(0, DU_DUZ_VB_SetSupplementConf(&mask));
    ASSERT_EQ(0, DU_DUZ_VB_GetSupplementConf(&got));
    EXPECT_EQ(mask, got);
    VB_CONF_REC_S conf = one_pool(4096, 2);
    ASSERT_EQ(0, DU_DUZ_VB_SetConf(&conf));
    ASSERT_EQ(0, DU_DUZ_VB_Init());
    u32 a = DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 4096, nullptr), b = DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 4096, nullptr);
    VB_SUPPLEMENT_ADDR_S sa = {}, sb = {};
    ASSERT_EQ(0, DU_DUZ_VB_GetSupplementAddr(a, &sa));
    ASSERT_EQ(0, DU_DUZ_VB_GetSupplementAddr(b, &sb));
    EXPECT_NE(0u, sa.u32JpegDcfPhyAddr);
    EXPECT_NE(0u, sa.u32IspInfoPhyAddr);
    EXPECT_NE(sa.u32JpegDcfPhyAddr, sb.u32JpegDcfPhyAddr);
    DU_DUZ_VB_ReleaseBlock(a);
    DU_DUZ_VB_ReleaseBlock(b);
}

TEST_F(VbTest, DriversTakeBlocksOfTheSamePools)
{
    VB_CONF_REC_S conf = one_pool(8192, 1);
    ASSERT_EQ(0, DU_DUZ_VB_SetConf(&conf));
    ASSERT_EQ(0, DU_DUZ_VB_Init());
    u32 handle = sim::vb_get_block(VB_INVALID_POOLID, 8000, nullptr);
    ASSERT_NE(VB_INVALID_HANDLE, handle);
    EXPECT_EQ(VB_INVALID_HANDLE, DU_DUZ_VB_GetBlock(VB_INVALID_POOLID, 8000, nullptr)) << "the driver holds it";
    EXPECT_EQ(DU_DUZ_VB_Handle2PhysAddr(handle), sim::vb_block_phys(handle));
    EXPECT_EQ(DU_DUZ_VB_Handle2PoolId(handle), sim::vb_block_pool(handle));
    EXPECT_TRUE(sim::vb_release_block(handle));
    EXPECT_EQ(0u, sim::vb_block_phys(handle));

    u32 pool = sim::vb_create_pool(8192, 10, nullptr);
    ASSERT_NE(VB_INVALID_POOLID, pool);
    ASSERT_EQ(0, DU_DUZ_VB_MmapPool(pool));
    EXPECT_EQ(0, DU_DUZ_VB_MunmapPool(pool));
    EXPECT_TRUE(sim::vb_destroy_pool(pool));
}

} // namespace

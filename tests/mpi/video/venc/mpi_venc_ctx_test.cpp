// The encoder unit's user context: start, end and the channel descriptors.
#include "mpi/video/venc/mpi_venc.h"
#include "tests/support/board_fixture.h"

#include <fcntl.h>

using testsupport::capture_stderr;
using testsupport::events;

namespace {

class VencCtxTest : public BoardTest {
protected:
    VencCtxTest() { conf_ = "trace = 1\n"; }
    void TearDown() override { MPI_VENC_Exit(); }
};

TEST_F(VencCtxTest, ChannelOutOfRangeTouchesNothing)
{
    struct Case {
        const char *name;
        s32 chn;
        const char *err;
    } cases[] = {{"16", 16, "func:DU_DUZ_VENC_CloseFd, chnid 16 err,should in [0,VENC_MAX_CHN_NUM)\n"},
                 {"-1", -1, "func:DU_DUZ_VENC_CloseFd, chnid -1 err,should in [0,VENC_MAX_CHN_NUM)\n"}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = DU_DUZ_VENC_CloseFd(c.chn); });
        EXPECT_EQ((s32)0xA0088002, ret);
        EXPECT_EQ(c.err, err);
    }
    EXPECT_TRUE(events("open ").empty());
}

TEST_F(VencCtxTest, StartsOnceEndsOnceAndStartsAgain)
{
    ASSERT_EQ(0, MPI_VENC_Init());
    EXPECT_EQ(DU_TRUE, s_bMpiVencInit);
    for (const VENC_CHN_CTX_S &chn : g_stMpiVencChn)
        EXPECT_EQ(-1, chn.s32Fd);
    EXPECT_EQ(0, MPI_VENC_Exit());
    EXPECT_EQ(DU_FALSE, s_bMpiVencInit);
    EXPECT_EQ(0, MPI_VENC_Exit());
    ASSERT_EQ(0, MPI_VENC_Init());
    EXPECT_EQ(DU_TRUE, s_bMpiVencInit);
}

TEST_F(VencCtxTest, EndClosesOpenDescriptorsAndTheMappingOne)
{
    ASSERT_EQ(0, MPI_VENC_Init());
    // Stand-ins for a channel's descriptor and the shared mapping descriptor.
    g_stMpiVencChn[3].s32Fd = bd_open("/dev/sys", O_RDWR);
    s32VencMemFd = bd_open("/dev/sys", O_RDWR);
    ASSERT_GT(g_stMpiVencChn[3].s32Fd, 0);
    EXPECT_EQ(0, MPI_VENC_Exit());
    EXPECT_EQ(2u, events("close ").size());
    EXPECT_EQ(-1, s32VencMemFd);
}

TEST_F(VencCtxTest, ClosingAChannelNeverOpenedLeavesTheMappingDescriptor)
{
    ASSERT_EQ(0, MPI_VENC_Init());
    s32VencMemFd = bd_open("/dev/sys", O_RDWR);
    EXPECT_EQ(0, DU_DUZ_VENC_CloseFd(5));
    EXPECT_GT(s32VencMemFd, 0);
    bd_close(s32VencMemFd);
    s32VencMemFd = -1;
}

} // namespace

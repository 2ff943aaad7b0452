// Motion detection's view of the simulated board: VI -> VPSS channel 3
// (320x240) -> VDA channel 0, results taken the way the detection thread
// takes them (select, GetData, ReleaseData) while the scene stands still and
// while its object moves.
#include "mpi/video/vda/mpi_vda.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"

#include <sys/select.h>

#include <algorithm>

using namespace videotest;

namespace {

constexpr MPP_CHN_ADDR_S kVpss3 = {DU_ID_VPSS, 0, 3}, kVda0 = {DU_ID_VDA, 0, 0};

// What one result says, read out before it is released.
struct Seen {
    u32 max = 0;          // largest macroblock SAD
    u32 hot_rows_lo = ~0u, hot_rows_hi = 0; // rows of macroblocks above 50
    u32 hot = 0;
};

class VdaPipeline : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        for (VDA_CHN_MAP_S &m : g_stMpiVda) {
            if (m.s32Fd >= 0)
                bd_close(m.s32Fd);
            m.s32Fd = -1;
        }
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        start_vi(1920, 1080, 30);
        start_vpss(3, 320, 240);
        VDA_CHN_ATTR_REC_S a;
        memset(&a, 0, sizeof a);
        a.enWorkMode = VDA_WORK_MODE_MD;
        // As motion detection fills it at 30 frames a second.
        a.unAttr.stMdAttr = {VDA_ALG_REF, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, VDA_REF_MODE_DYNAMIC, 8, 30 / 4, 128, 60,
                             128};
        a.u32Width = 320;
        a.u32Height = 240;
        ASSERT_EQ(0, DU_DUZ_VDA_CreateChn(0, &a));
        ASSERT_EQ(0, DU_DUZ_SYS_Bind(&kVpss3, &kVda0));
        ASSERT_EQ(0, DU_DUZ_VDA_StartRecvPic(0));
    }
    void TearDown() override
    {
        DU_DUZ_VDA_StopRecvPic(0);
        DU_DUZ_SYS_UnBind(&kVpss3, &kVda0);
        DU_DUZ_VDA_DestroyChn(0);
        DU_DUZ_VPSS_StopGrp(0);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_SYS_Exit();
    }

    // The next result, waited for with select as the detection thread does
    // (2 s); false when none comes.
    static bool next(Seen &s)
    {
        s32 fd = DU_DUZ_VDA_GetFd(0);
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv = {2, 0};
        if (select(fd + 1, &set, nullptr, nullptr, &tv) != 1)
            return false;
        VDA_DATA_REC_S d;
        if (DU_DUZ_VDA_GetData(0, &d, -1) != 0)
            return false;
        EXPECT_EQ(1u, d.bMbSadValid);
        EXPECT_EQ(20u, d.u32MbWidth);
        EXPECT_EQ(15u, d.u32MbHeight);
        s = Seen();
        for (u32 r = 0; r < d.u32MbHeight; r++)
            for (u32 c = 0; c < d.u32MbWidth; c++) {
                u32 v = static_cast<const u8 *>(d.pAddr)[r * d.u32Stride + c];
                s.max = std::max(s.max, v);
                if (v > 50) {
                    s.hot++;
                    s.hot_rows_lo = std::min(s.hot_rows_lo, r);
                    s.hot_rows_hi = std::max(s.hot_rows_hi, r);
                }
            }
        EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d));
        return true;
    }

    static void motion(bool on)
    {
        sim::with_world([on](sim::World &w) { w.scene_motion = on; });
    }
};

} // namespace

// A still scene gives results that keep coming and stay low.
TEST_F(VdaPipeline, StillSceneKeepsGivingLowResults)
{
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        Seen s;
        ASSERT_TRUE(next(s)) << "no result within 2 s";
        EXPECT_LE(s.max, 50u); // not motion even at the high sensitivity
    }
}

// The moving square shows as large differences in the macroblock rows it
// crosses (the middle fifth of the picture), and the results go quiet again
// when it stops. Its edges move about 19 pixels from one analysis to the
// next, so how much of a macroblock they cover changes with the grid.
TEST_F(VdaPipeline, MovingObjectShowsWhereItMoves)
{
    Seen s;
    ASSERT_TRUE(next(s));
    motion(true);
    int moving = 0, strong = 0;
    for (int i = 0; i < 12; i++) {
        ASSERT_TRUE(next(s)) << "no result within 2 s";
        if (!s.hot)
            continue;
        moving++;
        strong += s.max > 80; // motion at the normal sensitivity
        EXPECT_GE(s.hot_rows_lo, 5u);
        EXPECT_LE(s.hot_rows_hi, 9u);
    }
    EXPECT_GE(moving, 8);
    EXPECT_GE(strong, 4);

    motion(false);
    // The first results may still compare with a picture that had the square.
    for (int i = 0; i < 2; i++)
        ASSERT_TRUE(next(s));
    for (int i = 0; i < 6; i++) {
        ASSERT_TRUE(next(s)) << "no result within 2 s after the motion stopped";
        EXPECT_EQ(0u, s.hot);
    }
}

// A board that restarts under a receiving channel forgets it; pictures still
// on their way find no channel.
TEST_F(VdaPipeline, BoardRestartUnderAReceivingChannel)
{
    Seen s;
    ASSERT_TRUE(next(s));
    sim::start(testsupport::fresh_root("restart"));
    VDA_CHN_STAT_S st;
    EXPECT_EQ(ERR_VDA_UNEXIST, DU_DUZ_VDA_Query(0, &st));
    // The unit never hears of the restart: its mapping is the test's to drop.
    VDA_CHN_MAP_S &m = g_stMpiVda[0];
    EXPECT_EQ(0, bd_munmap(m.pMapStart, m.u32MapLen));
    m.pMapStart = m.pVirAddr = nullptr;
}

// The video processing unit: argument checks from one table, descriptors per
// group and channel, and pictures through a group.
#include "mpi/video/vpss/mpi_vpss.h"
#include "tests/support/arg_rules.h"
#include "tests/mpi/video/video_pipeline.h"

using argrules::Case;

extern s32 g_s32VpssGrpFd[VPSS_MAX_GRP_NUM];
extern s32 g_s32VpssChnFd[VPSS_MAX_GRP_NUM * VPSS_MAX_CHN_NUM];

namespace {

constexpr s32 kBadGrp = (s32)0xA0078001, kBadChn = (s32)0xA0078002, kNull = (s32)0xA0078006,
              kNotSupported = (s32)0xA0078008;

class Vpss : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
    }
    void TearDown() override
    {
        DU_DUZ_VPSS_StopGrp(0);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
    }
};

} // namespace

TEST_F(Vpss, ArgumentChecks)
{
    static VPSS_GRP_ATTR_REC_S grp;
    static VPSS_CHN_ATTR_REC_S chn;
    static VIDEO_FRAME_REC_S frame;
    static VIDEO_REGION_INFO_S region;
    static u32 luma[4];
    const std::string null_msg = "NULL pointer \r\n";
    std::vector<Case> cases = {
        {"create group 128", [] { return DU_DUZ_VPSS_CreateGrp(128, &grp); }, kBadGrp, "VpssGrpid(128) is invalid\r\n"},
        {"start group -1", [] { return DU_DUZ_VPSS_StartGrp(-1); }, kBadGrp, "VpssGrpid(-1) is invalid\r\n"},
        {"channel attr on group 200", [] { return DU_DUZ_VPSS_SetChnAttr(200, 0, &chn); }, kBadGrp,
         "VpssGrpid(200) is invalid\r\n"},
        {"channel 12", [] { return DU_DUZ_VPSS_SetChnAttr(0, 12, &chn); }, kBadChn, "VpssChnID(12) is invalid\r\n"},
        {"enable channel -1", [] { return DU_DUZ_VPSS_EnableChn(0, -1); }, kBadChn, "VpssChnID(-1) is invalid\r\n"},
        {"depth of channel 12", [] { return DU_DUZ_VPSS_SetDepth(0, 12, 3); }, kBadChn, "VpssChnID(12) is invalid\r\n"},
        {"null group attr", [] { return DU_DUZ_VPSS_CreateGrp(0, nullptr); }, kNull, null_msg},
        {"null depth", [] { return DU_DUZ_VPSS_GetDepth(0, 1, nullptr); }, kNull, null_msg},
        {"null frame to get", [] { return DU_DUZ_VPSS_GetChnFrame(0, 1, nullptr, 0); }, kNull, null_msg},
        {"null frame to send", [] { return DU_DUZ_VPSS_SendFrame(0, nullptr, 0); }, kNull, null_msg},
        {"null group frame", [] { return DU_DUZ_VPSS_GetGrpFrame(0, nullptr, 0); }, kNull, null_msg},
        {"null region", [] { return DU_DUZ_VPSS_GetRegionLuma(0, 1, nullptr, luma, 0); }, kNull, null_msg},
        {"null luma output", [] { return DU_DUZ_VPSS_GetRegionLuma(0, 1, &region, nullptr, 0); }, kNull, null_msg},
        {"null module param", [] { return DU_DUZ_VPSS_GetModParam(nullptr); }, kNull, null_msg},
        {"null release", [] { return DU_DUZ_VPSS_ReleaseChnFrame(0, 0, nullptr); }, kNull, null_msg},
        {"output size", [] { return DU_DUZ_VPSS_GetChnOutPutSize(999, 999, nullptr); }, kNotSupported,
         "The chip can not support this operation.\n"},
        {"fisheye", [] { return DU_DUZ_VPSS_SetFisheyeConfig(0, &frame); }, kNotSupported,
         "The chip can not support this operation.\n"},
    };
    argrules::run(cases, argrules::device("/dev/vpss"));
}

TEST_F(Vpss, DescriptorsPerGroupAndChannel)
{
    VPSS_CHN_ATTR_REC_S attr{};
    DU_DUZ_VPSS_SetChnAttr(0, 2, &attr);
    EXPECT_GE(g_s32VpssChnFd[2], 1);
    DU_DUZ_VPSS_SetChnAttr(1, 0, &attr);
    EXPECT_GE(g_s32VpssChnFd[1 * VPSS_MAX_CHN_NUM + 0], 1);
    EXPECT_NE(g_s32VpssChnFd[2], g_s32VpssChnFd[VPSS_MAX_CHN_NUM]);
    VPSS_MOD_PARAM_REC_S mod = {7}, back{};
    EXPECT_EQ(0, DU_DUZ_VPSS_SetModParam(&mod)); // through group 0, created or not
    EXPECT_EQ(0, DU_DUZ_VPSS_GetModParam(&back));
    EXPECT_EQ(7u, back.u32Word);
    EXPECT_GE(g_s32VpssGrpFd[0], 1);
}

TEST_F(Vpss, ChannelsScaleAndHandOutPictures)
{
    videotest::start_vi(1280, 720, 30);
    videotest::start_vpss(3, 320, 240, 2);
    u32 depth = 0;
    ASSERT_EQ(0, DU_DUZ_VPSS_SetDepth(0, 3, 3));
    ASSERT_EQ(0, DU_DUZ_VPSS_GetDepth(0, 3, &depth));
    EXPECT_EQ(3u, depth);
    VIDEO_FRAME_REC_S f;
    ASSERT_EQ(0, DU_DUZ_VPSS_GetChnFrame(0, 3, &f, 1000));
    EXPECT_EQ(320u, f.u32Width);
    EXPECT_EQ(240u, f.u32Height);
    EXPECT_NE(nullptr, f.pVirAddr[0]);
    EXPECT_GE(f.u32Stride[0], 320u);
    EXPECT_GT(f.u64pts, 0u);
    EXPECT_EQ(0, DU_DUZ_VPSS_ReleaseChnFrame(0, 3, &f));

    VPSS_RECT_S rects[2] = {{0, 0, 320, 240}, {0, 0, 16, 16}};
    VIDEO_REGION_INFO_S region = {2, rects};
    u32 luma[2] = {};
    ASSERT_EQ(0, DU_DUZ_VPSS_GetRegionLuma(0, 3, &region, luma, 1000));
    EXPECT_GT(luma[0], 20u);
    EXPECT_LT(luma[0], 235u);

    // A picture sent by the caller goes through the group as well.
    VIDEO_FRAME_REC_S grp;
    ASSERT_EQ(0, DU_DUZ_VPSS_GetGrpFrame(0, &grp, 0));
    EXPECT_EQ(1280u, grp.u32Width);
    EXPECT_EQ(0, DU_DUZ_VPSS_SendFrame(0, &grp, 0));
    EXPECT_EQ(0, DU_DUZ_VPSS_ReleaseGrpFrame(0, &grp));
}

// Mirror and flip turn the picture round: the scene's bright sky is at the
// top of a plain picture and at the bottom of a flipped one.
TEST_F(Vpss, FlipTurnsThePictureUpsideDown)
{
    videotest::start_vi(640, 480, 30);
    videotest::start_vpss(1, 640, 480, 1); // the helper mirrors and flips
    VPSS_CHN_ATTR_REC_S plain{};
    plain.s32SrcFrameRate = plain.s32DstFrameRate = -1;
    videotest::start_vpss(2, 640, 480, 1);
    ASSERT_EQ(0, DU_DUZ_VPSS_SetChnAttr(0, 2, &plain));
    // Luma at (row 10, column 300) and at the point opposite through the centre.
    auto points = [](int chn, u32 *near, u32 *opposite) {
        VIDEO_FRAME_REC_S f;
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnFrame(0, chn, &f, 1000));
        const u8 *y = static_cast<const u8 *>(f.pVirAddr[0]);
        *near = y[10 * f.u32Stride[0] + 300];
        *opposite = y[(f.u32Height - 11) * f.u32Stride[0] + (f.u32Width - 301)];
        ASSERT_EQ(0, DU_DUZ_VPSS_ReleaseChnFrame(0, chn, &f));
    };
    u32 ft, fb, pt, pb;
    points(1, &ft, &fb);
    points(2, &pt, &pb);
    EXPECT_EQ(ft, pb);
    EXPECT_EQ(fb, pt);
    EXPECT_NE(pt, pb);
}

// The video input unit: argument checks of every call from one table, the
// descriptors it opens, frames from a channel, and closing.
#include "mpi/video/vi/mpi_vi.h"
#include "tests/support/arg_rules.h"
#include "tests/mpi/video/scene_layout.h"
#include "tests/mpi/video/video_pipeline.h"

#include <fcntl.h>
#include <thread>

using argrules::Case;

extern s32 g_s32ViDevFd;
extern s32 g_s32ViChnFd[VIU_MAX_FRM_CHN_NUM];

namespace {

constexpr s32 kBadDev = (s32)0xA0108001, kBadChn = (s32)0xA0108002, kNull = (s32)0xA0108006;

class Vi : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
        DU_DUZ_VI_CloseFd();
    }
    void TearDown() override
    {
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_VI_CloseFd();
    }
};

std::string bad_chn(s32 c) { return "VIChnID(" + std::to_string(c) + ") is invalid\r\n"; }
std::string bad_dev(s32 d) { return "ViPortId(" + std::to_string(d) + ") is invalid\r\n"; }

} // namespace

TEST_F(Vi, ArgumentChecks)
{
    static VI_DEV_ATTR_REC_S dev;
    static VI_CHN_ATTR_REC_S chn;
    static VIDEO_FRAME_REC_S frame;
    static u32 word;
    static VI_EXT_CHN_ATTR_REC_S ext;
    const std::string ext_msg = "is invalid ext-chn, ext-chn's range is [1, 16].\r\n";
    std::vector<Case> cases = {
        {"dev attr on device 1", [] { return DU_DUZ_VI_SetDevAttr(1, &dev); }, kBadDev, bad_dev(1)},
        {"enable device -1", [] { return DU_DUZ_VI_EnableDev(-1); }, kBadDev, bad_dev(-1)},
        {"csc on device 1", [] { return DU_DUZ_VI_GetCSCAttr(1, nullptr); }, kBadDev, bad_dev(1)},
        {"bayer data on device 2", [] { return DU_DUZ_VI_SendBayerData(2, &frame, 0); }, kBadDev, bad_dev(2)},
        {"null device attr", [] { return DU_DUZ_VI_GetDevAttr(0, nullptr); }, kNull, "NULL point \r\n"},
        {"null wdr attr", [] { return DU_DUZ_VI_SetWDRAttr(0, nullptr); }, kNull, "NULL point \r\n"},
        {"null module param", [] { return DU_DUZ_VI_SetModParam(nullptr); }, kNull, "NULL point \r\n"},
        {"null bayer frame", [] { return DU_DUZ_VI_SendBayerData(0, nullptr, 0); }, kNull, "NULL point \r\n"},
        {"channel attr on 17", [] { return DU_DUZ_VI_SetChnAttr(17, &chn); }, kBadChn, bad_chn(17)},
        {"enable channel -1", [] { return DU_DUZ_VI_EnableChn(-1); }, kBadChn, bad_chn(-1)},
        {"rotate on 17", [] { return DU_DUZ_VI_SetRotate(17, 1); }, kBadChn, bad_chn(17)},
        {"query on 17", [] { return DU_DUZ_VI_Query(17, nullptr); }, kBadChn, bad_chn(17)},
        {"fd of 17", [] { return DU_DUZ_VI_GetFd(17); }, kBadChn, bad_chn(17)},
        {"frame of 18", [] { return DU_DUZ_VI_GetFrame(18, &frame, 0); }, kBadChn, bad_chn(18)},
        {"release on 18", [] { return DU_DUZ_VI_ReleaseFrame(18, &frame); }, kBadChn, bad_chn(18)},
        {"depth of 18", [] { return DU_DUZ_VI_SetFrameDepth(18, 2); }, kBadChn, bad_chn(18)},
        {"user frame mode of 18", [] { return DU_DUZ_VI_SetChnUsrFrmMode(18, &word); }, kBadChn, bad_chn(18)},
        {"ext attr on 0", [] { return DU_DUZ_VI_SetExtChnAttr(0, &ext); }, kBadChn, "VIChnID(0) " + ext_msg},
        {"ext crop on 17", [] { return DU_DUZ_VI_GetExtChnCrop(17, nullptr); }, kBadChn, "VIChnID(17) " + ext_msg},
        {"null channel attr", [] { return DU_DUZ_VI_GetChnAttr(0, nullptr); }, kNull, "NULL point \r\n"},
        {"null frame", [] { return DU_DUZ_VI_GetFrame(17, nullptr, 0); }, kNull, "NULL point \r\n"},
        {"null depth", [] { return DU_DUZ_VI_GetFrameDepth(3, nullptr); }, kNull, "NULL point \r\n"},
        {"null ext attr", [] { return DU_DUZ_VI_GetExtChnAttr(16, nullptr); }, kNull, "NULL point \r\n"},
        {"null rotation", [] { return DU_DUZ_VI_GetRotate(2, nullptr); }, kNull, "NULL point \r\n"},
        {"fisheye", [] { return DU_DUZ_VI_SetFisheyeAttr(0, nullptr); }, (s32)0xA0108008, "unsupported API !\n"},
        {"DIS init", [] { return DU_DUZ_VI_DISInit(0); }, (s32)0xA0108008, "DIS not support!!\n"},
    };
    argrules::run(cases, argrules::device("/dev/vi"));
    std::string err = testsupport::capture_stderr([] { DU_DUZ_VI_EnableChn(20); });
    EXPECT_EQ(0u, err.find("[Func]:DU_DUZ_VI_EnableChn [Line]:"));
}

TEST_F(Vi, DescriptorsAreOpenedPerDeviceAndChannel)
{
    // Channel 17 is a frame channel: its frame requests open a descriptor.
    VIDEO_FRAME_REC_S f;
    EXPECT_NE(kBadChn, DU_DUZ_VI_GetFrame(17, &f, 0));
    EXPECT_GE(g_s32ViChnFd[17], 0);
    // The dump attribute calls hand a null record to the driver.
    EXPECT_EQ(-1, DU_DUZ_VI_SetDevDumpAttr(0, nullptr));
    EXPECT_GE(g_s32ViDevFd, 0);
    // The register delay always goes through channel 0.
    EXPECT_EQ(0, DU_DUZ_VI_SetRegDelayTime(5));
    EXPECT_GE(g_s32ViChnFd[0], 0);
    s32 fd = DU_DUZ_VI_GetFd(4);
    EXPECT_EQ(g_s32ViChnFd[4], fd);
}

// Every close is looked at, not only the last.
TEST_F(Vi, CloseFdReportsAnyFailedClose)
{
    ASSERT_GE(DU_DUZ_VI_GetFd(1), 0);
    ASSERT_GE(DU_DUZ_VI_GetFd(2), 0);
    s32 real = g_s32ViChnFd[1];
    g_s32ViChnFd[1] = 999999; // a descriptor whose close fails
    std::string err;
    s32 ret = 0;
    err = testsupport::capture_stderr([&] { ret = DU_DUZ_VI_CloseFd(); });
    EXPECT_EQ((s32)0xA0108012, ret);
    EXPECT_NE(std::string::npos, err.find("Close Vi chn Fail"));
    EXPECT_EQ(-1, g_s32ViChnFd[1]);
    EXPECT_EQ(-1, g_s32ViChnFd[2]);
    EXPECT_EQ(0, DU_DUZ_VI_CloseFd());
    bd_close(real);
}

TEST_F(Vi, FramesFromAChannelWithDepth)
{
    videotest::start_vi(640, 480, 30);
    VIDEO_FRAME_REC_S f;
    EXPECT_EQ(ERR_VI_BUF_EMPTY, DU_DUZ_VI_GetFrame(0, &f, 100)); // no depth: nothing is kept
    ASSERT_EQ(0, DU_DUZ_VI_SetFrameDepth(0, 2));
    u32 depth = 0;
    ASSERT_EQ(0, DU_DUZ_VI_GetFrameDepth(0, &depth));
    EXPECT_EQ(2u, depth);
    ASSERT_EQ(0, DU_DUZ_VI_GetFrame(0, &f, 1000));
    EXPECT_EQ(640u, f.u32Width);
    EXPECT_EQ(480u, f.u32Height);
    EXPECT_EQ(PIXEL_FORMAT_YUV_SEMIPLANAR_420, f.enPixelFormat);
    EXPECT_GE(f.u32Stride[0], 640u);
    EXPECT_EQ(f.u32PhyAddr[0] + f.u32Stride[0] * 480, f.u32PhyAddr[1]);
    // The scene at normal brightness is neither black nor white.
    const u8 *y = static_cast<const u8 *>(f.pVirAddr[0]);
    unsigned sum = 0;
    for (int i = 0; i < 640; i++)
        sum += y[240 * f.u32Stride[0] + i];
    EXPECT_GT(sum / 640, 40u);
    EXPECT_LT(sum / 640, 220u);
    EXPECT_EQ(0, DU_DUZ_VI_ReleaseFrame(0, &f));
    EXPECT_NE(0, DU_DUZ_VI_ReleaseFrame(0, &f)); // not held any more
    VI_CHN_STAT_S st;
    ASSERT_EQ(0, DU_DUZ_VI_Query(0, &st));
    EXPECT_EQ(1u, st.bEnable);
    EXPECT_GT(st.u32IntCnt, 0u);
}

// The lens projects the scene turned round (upside down and mirrored) onto
// the sensor: an unrotated channel delivers it so, half a turn upright. A
// quarter turn exchanges width and height: 270 degrees shows the scene
// turned a quarter clockwise ("90 degrees right" of the preferences), 90
// degrees a quarter counter-clockwise. The colour bars' order and the sky's
// side tell which way the scene stands.
TEST_F(Vi, RotationTurnsThePicture)
{
    videotest::start_vi(1920, 1080, 30, 640, 480); // the whole scene, bars and all
    ASSERT_EQ(0, DU_DUZ_VI_SetFrameDepth(0, 1));
    struct Case {
        const char *name;
        u32 rotate;
        u32 w, h;
        int upright; // quarter turns clockwise that stand the delivered picture upright
    } cases[] = {
        {"none", 0, 640, 480, 2},
        {"90 degrees", 1, 480, 640, 1},
        {"180 degrees", 2, 640, 480, 0},
        {"270 degrees", 3, 480, 640, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, DU_DUZ_VI_SetRotate(0, c.rotate));
        VIDEO_FRAME_REC_S f;
        // Pictures captured before the change may still be waiting.
        for (int i = 0; i < 10; i++) {
            ASSERT_EQ(0, DU_DUZ_VI_GetFrame(0, &f, 1000));
            if (f.u32Width == c.w && f.u32Height == c.h)
                break;
            ASSERT_EQ(0, DU_DUZ_VI_ReleaseFrame(0, &f));
        }
        ASSERT_EQ(c.w, f.u32Width);
        ASSERT_EQ(c.h, f.u32Height);
        scenetest::Sampler at = scenetest::nv21_sampler(static_cast<const u8 *>(f.pVirAddr[0]),
                                                        static_cast<const u8 *>(f.pVirAddr[1]), (int)f.u32Stride[0]);
        scenetest::Layout as_delivered = scenetest::layout((int)c.w, (int)c.h, at);
        scenetest::Layout stood = scenetest::layout(scenetest::turned((int)c.w, (int)c.h, at, c.upright));
        EXPECT_TRUE(stood.upright()) << stood.describe();
        EXPECT_EQ(c.upright == 0, as_delivered.upright()) << as_delivered.describe();
        if (c.upright == 2) {
            EXPECT_TRUE(as_delivered.inverted()) << as_delivered.describe();
        }
        EXPECT_EQ(0, DU_DUZ_VI_ReleaseFrame(0, &f));
    }
}

// Brighter scenes give brighter pictures.
TEST_F(Vi, PictureFollowsTheSceneBrightness)
{
    videotest::start_vi(320, 240, 30);
    ASSERT_EQ(0, DU_DUZ_VI_SetFrameDepth(0, 1));
    auto luma = [] {
        VI_CHN_LUMA_REC_S l{};
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(0, DU_DUZ_VI_GetChnLuma(0, &l));
        return l.u32Lum;
    };
    u32 normal = luma();
    sim::with_world([](sim::World &w) { w.scene_brightness = 0.5; });
    u32 dim = luma();
    EXPECT_LT(dim, normal * 3 / 4);
    EXPECT_GT(dim, normal / 4);
}

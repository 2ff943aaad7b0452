// The ISP start on the simulated board: the window and rate for each input
// entry, a failed start taken back so that the next one can register again,
// the stop's conditions, and the changes on the running ISP.
#include "recorder/dv_isp.h"
#include "tests/support/board_fixture.h"

#include "board/sim/sim.h"
#include "isp/isp_ctx.h"
#include "isp/mpi_isp.h"
#include "recorder/dv_config.h"
#include "recorder/dv_pipeline.h"

#include <chrono>
#include <thread>

namespace {

template <class Fn> std::string quiet(Fn &&fn)
{
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout(fn); });
    return out;
}

u32 isp_frames() { return __atomic_load_n(&g_astIspCtx[0].u32FrameCnt, __ATOMIC_RELAXED); }

bool run_frames(u32 n)
{
    const u32 until = isp_frames() + n;
    for (int i = 0; i < 3000 && isp_frames() < until; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return isp_frames() >= until;
}

class DvIsp : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        KX_DV_Set1080DefaultDvCfg();
        u32RecModeFlag = 0;
    }
    void TearDown() override
    {
        quiet([] { KX_DV_ISP_Stop(); });
        u32RecModeFlag = 0;
    }

    // Init and run as the input stage does; 0 or the failing result.
    static s32 start()
    {
        s32 ret = KX_DV_ISP_Init();
        if (ret == 0 && (ret = KX_DV_ISP_Run()) == 0)
            u32RecModeFlag |= DV_STATE_ISP;
        return ret;
    }
};

} // namespace

TEST_F(DvIsp, TheWindowAndRateFollowTheInputEntry)
{
    struct Case {
        const char *name;
        u8 code, fps, wdr;
        ISP_FRAME_FORMAT_S pub;
    } cases[] = {
        {"1080p60", PIC_HD1080, 60, 0, {0, 16, 1920, 1080, 60.0f, 1}},
        {"1080p60 with WDR: 30", PIC_HD1080, 60, 2, {0, 16, 1920, 1080, 30.0f, 1}},
        {"1080p30", PIC_HD1080, 30, 0, {0, 16, 1920, 1080, 30.0f, 1}},
        {"720p at 25: the whole field at 30", PIC_HD720, 25, 0, {0, 16, 1920, 1080, 30.0f, 1}},
        {"720p at 60: the 120-frame mode", PIC_HD720, 60, 0, {0, 16, 1280, 720, 120.0f, 1}},
        {"720p120", PIC_HD720, 120, 0, {0, 16, 1280, 720, 120.0f, 1}},
        {"640x480", PIC_VGA, 30, 0, {0, 0, 640, 480, 240.0f, 1}},
        {"any other size", PIC_WVGA, 30, 0, {0, 16, 1920, 1080, 60.0f, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        KX_DV_VI_PARAM_S &vi = gsDvConfig.sVi.sParam[0];
        vi.u8Resolution = c.code;
        vi.u8FrameRate = c.fps;
        vi.u8WdrMode = c.wdr;
        quiet([] { ASSERT_EQ(0, start()); });
        ISP_FRAME_FORMAT_S pub;
        ASSERT_EQ(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
        EXPECT_EQ(c.pub.s32OffsetX, pub.s32OffsetX);
        EXPECT_EQ(c.pub.s32OffsetY, pub.s32OffsetY);
        EXPECT_EQ(c.pub.u32Width, pub.u32Width);
        EXPECT_EQ(c.pub.u32Height, pub.u32Height);
        EXPECT_EQ(c.pub.f32FrameRate, pub.f32FrameRate);
        EXPECT_EQ(c.pub.enBayerPattern, pub.enBayerPattern);
        ISP_WDR_SEL_S wdr;
        ASSERT_EQ(0, DU_DUZ_ISP_GetWDRMode(0, &wdr));
        EXPECT_EQ(c.wdr, wdr.enWDRMode);
        ASSERT_TRUE(run_frames(2));
        quiet([] { KX_DV_ISP_Stop(); });
        EXPECT_EQ(0u, u32RecModeFlag);
    }
}

// Each failure undoes what the init did; more failures than the ISP has
// library slots, and the next start still registers and runs.
TEST_F(DvIsp, AFailedInitIsTakenBack)
{
    struct Case {
        const char *name;
        void (*fault)(bool in);
        const char *message;
        s32 ret;
    } cases[] = {
        {"an unknown WDR mode", [](bool in) { gsDvConfig.sVi.sParam[0].u8WdrMode = in ? 11 : 0; },
         "start ISP WDR failed!\n", (s32)0xA01C8003},
        {"a sensor that does not answer", [](bool in) { sim::sensor_set_present(!in); },
         "KX_DV_ISP_Init: DU_DUZ_ISP_Init failed!\n", (s32)0xA01C8040},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.fault(true);
        for (int i = 0; i < 3; i++) {
            s32 ret = 0;
            std::string out = quiet([&] { ret = KX_DV_ISP_Init(); });
            EXPECT_EQ(c.ret, ret);
            EXPECT_NE(std::string::npos, out.find(c.message)) << out;
            EXPECT_EQ(std::string::npos, out.find("register failed")) << out;
        }
        ISP_FRAME_FORMAT_S pub;
        s32 ret = 0;
        quiet([&] { ret = DU_DUZ_ISP_GetPubAttr(0, &pub); });
        EXPECT_NE(0, ret); // the ISP's memory is given back
        c.fault(false);
        std::string out = quiet([] { EXPECT_EQ(0, start()); });
        EXPECT_EQ(std::string::npos, out.find("failed")) << out;
        ISP_LIB_BIND_S bind;
        ASSERT_EQ(0, DU_DUZ_ISP_GetBindAttr(0, &bind));
        EXPECT_STREQ("vudi_ae_lib", bind.stAeLib.acLibName);
        EXPECT_STREQ("vudi_awb_lib", bind.stAwbLib.acLibName);
        EXPECT_STREQ("vudi_af_lib", bind.stAfLib.acLibName);
        ASSERT_TRUE(run_frames(3));
        quiet([] { KX_DV_ISP_Stop(); });
    }
}

TEST_F(DvIsp, TheStopNeedsARunningIspAndASuccessfulExit)
{
    // Not running: nothing.
    EXPECT_EQ("", quiet([] { EXPECT_EQ(0, KX_DV_ISP_Stop()); }));

    // The bit without an ISP: the exit fails, so the bit stays and no thread
    // is joined.
    u32RecModeFlag = DV_STATE_ISP;
    quiet([] { EXPECT_EQ(0, KX_DV_ISP_Stop()); });
    EXPECT_EQ(DV_STATE_ISP, u32RecModeFlag);
    u32RecModeFlag = 0;

    // Running: the loop ends and is joined; a second stop does nothing.
    quiet([] { ASSERT_EQ(0, start()); });
    ASSERT_TRUE(run_frames(3));
    quiet([] { EXPECT_EQ(0, KX_DV_ISP_Stop()); });
    EXPECT_EQ(0u, u32RecModeFlag);
    const u32 at_stop = isp_frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(at_stop, isp_frames());
    EXPECT_EQ("", quiet([] { EXPECT_EQ(0, KX_DV_ISP_Stop()); }));
}

TEST_F(DvIsp, ChangesOnTheRunningIsp)
{
    quiet([] { ASSERT_EQ(0, start()); });
    ASSERT_EQ(0, KX_DV_ISP_ChangePubAttr(0, 16, 1920, 1080, 30.0f));
    ISP_FRAME_FORMAT_S pub;
    ASSERT_EQ(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
    EXPECT_EQ(30.0f, pub.f32FrameRate);
    EXPECT_EQ(1u, pub.enBayerPattern);
    ASSERT_TRUE(run_frames(5)); // the loop switches the sensor and goes on

    struct Case {
        const char *name;
        s32 (*call)(void);
        const char *message;
    } cases[] = {
        {"a window too narrow", [] { return KX_DV_ISP_ChangePubAttr(0, 0, 100, 1080, 30.0f); },
         "KX_DV_ISP_ChangePubAttr: DU_DUZ_ISP_SetPubAttr failed with 0xa01c8003!\n"},
        {"an unknown WDR mode", [] { return KX_DV_ISP_ChangeWdrMode(11); },
         "KX_DV_ISP_ChangeWdrMode: DU_DUZ_ISP_SetWDRMode failed with 0xa01c8003!\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string out = quiet([&] { ret = c.call(); });
        EXPECT_EQ((s32)0xA01C8003, ret);
        EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    }
    EXPECT_EQ(0, KX_DV_ISP_ChangeWdrMode(0));
}

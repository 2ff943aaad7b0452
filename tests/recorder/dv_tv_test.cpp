// The TV output on a live pipeline: the standard's picture and rate, the
// frames the output shows, the picture with its date stamp in tv.png, the
// teardown order when the cable goes, and what a failed step takes back.
#include "recorder/dv_tv.h"
#include "tests/mpi/video/png_picture.h"
#include "tests/recorder/live_pipeline.h"
#include "tests/recorder/osd_read.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/support/board_fixture.h"

#include "app/pref.h"
#include "board/sim/sim.h"
#include "recorder/dv_osd.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

using Clock = std::chrono::steady_clock;
using pipelinetest::wait_for;

namespace {

// Frames output channel 0 showed per second over an interval measured here.
double shown_rate(double seconds)
{
    uint64_t f0 = sim::vo_frames(0);
    Clock::time_point t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    uint64_t f1 = sim::vo_frames(0);
    return (double)(f1 - f0) / std::chrono::duration<double>(Clock::now() - t0).count();
}

class DvTv : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        DU_DUZ_VO_CloseFd();
        memset(&pref_, 0, sizeof pref_);
        saved_pref_ = app_pref_user;
        app_pref_user = &pref_;
        livetest::configure(30, {});
        gsDvConfig.sOsd.sParam[1].bEnable = 0;
    }
    void TearDown() override
    {
        testsupport::capture_stdout([] { video_out_proc(0); });
        KX_DV_StopVoOsdThread();
        if (started_)
            livetest::stop();
        DU_DUZ_VO_CloseFd();
        app_pref_user = saved_pref_;
    }

    void start_pipeline()
    {
        livetest::start();
        started_ = true;
    }

    // Switches the output and expects every step to succeed.
    static std::string tv(u32 on)
    {
        s32 ret = -1;
        std::string out = testsupport::capture_stdout([&] { ret = video_out_proc(on); });
        EXPECT_EQ(0, ret) << out;
        return out;
    }

    DvSystemParam pref_;
    DvSystemParam *saved_pref_ = nullptr;
    bool started_ = false;
};

} // namespace

TEST(DvTvMode, PictureAndRateByStandardAndSensor)
{
    struct Case {
        const char *name;
        u32 sync, fps;
        u32 h, intf, rate;
    } cases[] = {
        {"pal", 1, 30, 576, VO_OUTPUT_PAL, 25},
        {"pal below 60", 1, 59, 576, VO_OUTPUT_PAL, 25},
        {"pal at 60 shows 55", 1, 60, 576, VO_OUTPUT_PAL, 55},
        {"pal at 120", 1, 120, 576, VO_OUTPUT_PAL, 55},
        {"ntsc", 0, 30, 480, VO_OUTPUT_NTSC, 30},
        {"ntsc at 60", 0, 60, 480, VO_OUTPUT_NTSC, 60},
        {"ntsc at 120", 0, 120, 480, VO_OUTPUT_NTSC, 60},
        {"another standard is ntsc", 2, 30, 480, VO_OUTPUT_NTSC, 30},
        {"another standard at 60", 7, 60, 480, VO_OUTPUT_NTSC, 60},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        KX_DV_TV_MODE_S m = tv_mode_for(c.sync, c.fps);
        EXPECT_EQ(720u, m.u32Width);
        EXPECT_EQ(c.h, m.u32Height);
        EXPECT_EQ(c.intf, m.enIntfSync);
        EXPECT_EQ(c.rate, m.u32FrameRate);
    }
}

TEST(DvTvBlocks, ArgumentChecks)
{
    VPSS_CHN_ATTR_REC_S attr{};
    struct Case {
        const char *name;
        std::function<s32()> call;
        const char *message;
    } cases[] = {
        {"enable: group below 0", [&] { return KX_DV_VO_VPSS_EnableChn(-1, 2, &attr, nullptr, nullptr); },
         "VpssGrp-1 is out of rang[0,128]. \n"},
        {"enable: group above 128", [&] { return KX_DV_VO_VPSS_EnableChn(129, 2, &attr, nullptr, nullptr); },
         "VpssGrp129 is out of rang[0,128]. \n"},
        {"enable: channel below 0", [&] { return KX_DV_VO_VPSS_EnableChn(0, -1, &attr, nullptr, nullptr); },
         "VpssChn-1 is out of rang[0,12]. \n"},
        {"enable: channel above 12", [&] { return KX_DV_VO_VPSS_EnableChn(0, 13, &attr, nullptr, nullptr); },
         "VpssChn13 is out of rang[0,12]. \n"},
        {"enable: no record", [] { return KX_DV_VO_VPSS_EnableChn(0, 2, nullptr, nullptr, nullptr); },
         "null ptr,line"},
        {"disable: group", [] { return KX_DV_VO_VPSS_DisableChn(200, 2); }, "VpssGrp200 is out of rang[0,128]. \n"},
        {"disable: channel", [] { return KX_DV_VO_VPSS_DisableChn(0, 40); }, "VpssChn40 is out of rang[0,12]. \n"},
        {"stop channels: mode 2", [] { return KX_DV_VO_StopChn(0, 2); }, "failed with 0!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = c.call(); });
        EXPECT_EQ(-1, ret);
        EXPECT_NE(std::string::npos, out.find(c.message)) << out;
    }
}

// With the cable in the output shows at least the standard's rate; with it
// out, unbind, channel, layer, device and processing channel 2 go in that
// order and nothing more is shown.
TEST_F(DvTv, ShowsTheStandardsRateAndGoesDownInOrder)
{
    start_pipeline();
    struct Case {
        const char *name;
        u32 sync;
        u8 rotate;
        const char *dev, *layer, *chn;
        u32 rate, mirror;
    } cases[] = {
        {"pal", 1, 0, "vo dev 0 enable pal", "vo layer 0 enable 720x576 at 25 fps", "vo chn 0 enable 720x576", 25, 1},
        {"ntsc, rotated", 0, 1, "vo dev 0 enable ntsc", "vo layer 0 enable 720x480 at 30 fps",
         "vo chn 0 enable 720x480", 30, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        gsDvConfig.sVo.sParam.eSync = c.sync;
        gsDvConfig.sVpss.sParam[2].bRotate = c.rotate;
        long at = (long)testsupport::events().size() - 1;
        std::string out = tv(1);
        EXPECT_NE(std::string::npos, out.find("======TV_OUT u32Width:720, u32Height:" +
                                              std::to_string(c.sync ? 576 : 480) + "\n"));
        at = pipelinetest::in_order({"vpss grp 0 chn 2 enable", c.dev, c.layer, c.chn, "sys bind 7/0/2 -> 15/0/0"}, at);

        // Processing channel 2 at the TV's size, mirrored like the
        // recordings unless the input is rotated.
        VPSS_CHN_ATTR_REC_S attr;
        VPSS_CHN_MODE_REC_S mode;
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnAttr(0, 2, &attr));
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnMode(0, 2, &mode));
        EXPECT_EQ(c.mirror, attr.bMirror);
        EXPECT_EQ(c.mirror, attr.bFlip);
        EXPECT_EQ(-1, attr.s32DstFrameRate);
        EXPECT_EQ(VPSS_CHN_MODE_USER, mode.enChnMode);
        EXPECT_EQ(720u, mode.u32Width);
        EXPECT_EQ(c.sync ? 576u : 480u, mode.u32Height);
        EXPECT_EQ(1u, mode.enCompressMode);
        u32 len = 0;
        ASSERT_EQ(0, DU_DUZ_VO_GetDispBufLen(0, &len));
        EXPECT_NE(3u, len); // the TV output keeps the driver's length

        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        double rate = shown_rate(3.0);
        EXPECT_GE(rate, c.rate * 0.75); // generous: a shared machine stalls now and then
        EXPECT_LE(rate, c.rate * 1.2 + 1);

        tv(0);
        pipelinetest::in_order({"sys unbind 7/0/2 -> 15/0/0", "vo chn 0 disable", "vo layer 0 disable",
                                "vo dev 0 disable", "vpss grp 0 chn 2 disable"},
                               at);
        uint64_t stopped = sim::vo_frames(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(stopped, sim::vo_frames(0));
    }
}

// tv.png shows the scene upright (sky on top, the colour bars in the scene's
// order), with the date and time stamped where the PAL stamp goes; the
// stamp's thread comes and goes with the output.
TEST_F(DvTv, TvPictureShowsTheSceneWithTheDateStamp)
{
    struct tm tm = {};
    tm.tm_year = 2016 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = 5;
    tm.tm_min = 6;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    struct timeval now = {mktime(&tm), 0};
    ASSERT_EQ(0, bd_settimeofday(&now));
    gsDvConfig.sVo.sParam.eSync = 1;
    gsDvConfig.sOsd.sParam[1].bEnable = 1;
    start_pipeline();
    tv(1);
    ASSERT_TRUE(wait_for([] { return !testsupport::events("rgn 4 attach 7 0 2 at 60,526").empty(); }));
    // A picture written after the stamp was drawn.
    size_t written = testsupport::events("vo tv.png").size();
    ASSERT_TRUE(wait_for([&] { return testsupport::events("vo tv.png 720x576").size() >= written + 2; }));

    pngtest::Rgb img;
    ASSERT_TRUE(pngtest::decode_png(testsupport::read_file(root_ + "/tv.png"), img));
    ASSERT_EQ(720, img.w);
    ASSERT_EQ(576, img.h);
    EXPECT_TRUE(pngtest::upright(img));

    // The stamp reads as the date and a time of this minute, and stands out
    // from the picture around it.
    std::vector<uint8_t> luma((size_t)img.w * img.h);
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++)
            luma[(size_t)y * img.w + x] = img.luma(x, y);
    // It lies on the colour bars: each column against the bar above it.
    const uint8_t *paper = luma.data() + (size_t)(526 - 2) * img.w;
    osdtest::Reading r = osdtest::read_stamp(luma.data(), img.w, 60, 526, (int)OSD_TEXT_LEN, paper);
    EXPECT_EQ("2016-03-04 05:06:", r.text.substr(0, 17));
    EXPECT_GT(r.ink - r.paper, 40);
    EXPECT_LT(r.mismatched, 60);
    osdtest::Reading beside = osdtest::read_stamp(luma.data(), img.w, 300, 526, (int)OSD_TEXT_LEN, paper);
    EXPECT_GT(r.ink - r.paper, beside.ink - beside.paper + 20);

    tv(0);
    EXPECT_EQ(1u, testsupport::events("rgn 4 destroy").size());
    EXPECT_EQ(0u, g_vo_osd_run.load());
}

TEST_F(DvTv, WithTheStampOffNoStampThreadRuns)
{
    start_pipeline();
    tv(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(0u, g_vo_osd_run.load());
    tv(0);
    EXPECT_TRUE(testsupport::events("rgn 4").empty());
}

// A step that fails takes back, in reverse, every step before it, and no
// stamp starts on an output that is not on.
TEST_F(DvTv, AFailedStepTakesBackTheStepsBeforeIt)
{
    gsDvConfig.sVo.sParam.eSync = 1;
    gsDvConfig.sOsd.sParam[1].bEnable = 1;
    start_pipeline();
    const MPP_CHN_ADDR_S vpss1 = {DU_ID_VPSS, 0, 1}, vo0 = {DU_ID_VOU, 0, 0};
    struct Case {
        const char *name;
        std::function<void()> before, after;
        const char *message;
        std::vector<std::string> undone; // in this order
        std::vector<std::string> absent;
    } cases[] = {
        {"no processing group", [] { testsupport::capture_stdout([] { KX_DV_Vpss_Grp_Stop(0); }); },
         [] { testsupport::capture_stdout([] { ASSERT_EQ(0, KX_DV_Vpss_Run()); }); }, "------start VPSS CHN failed!",
         {}, {"vo dev 0 enable", "vpss grp 0 chn 2 disable"}},
        {"device busy",
         [] {
             VO_PUB_ATTR_REC_S pub{0, VO_INTF_CVBS, VO_OUTPUT_NTSC, {}};
             ASSERT_EQ(0, DU_DUZ_VO_SetPubAttr(0, &pub));
             ASSERT_EQ(0, DU_DUZ_VO_Enable(0));
         },
         [] { ASSERT_EQ(0, DU_DUZ_VO_Disable(0)); }, "------SAMPLE_COMM_VO_StartDev failed!",
         {"vpss grp 0 chn 2 disable"}, {"vo layer 0 enable"}},
        {"output channel already fed", [&] { ASSERT_EQ(0, DU_DUZ_SYS_Bind(&vpss1, &vo0)); },
         [&] { ASSERT_EQ(0, DU_DUZ_SYS_UnBind(&vpss1, &vo0)); },
         "------SAMPLE_COMM_VO_BindVpss(vo:0)-(VpssChn:2) failed with 0xffffffff!",
         {"vo chn 0 disable", "vo layer 0 disable", "vo dev 0 disable", "vpss grp 0 chn 2 disable"},
         {"rgn 4 attach"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.before();
        long at = (long)testsupport::events().size() - 1;
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = video_out_proc(1); });
        EXPECT_EQ(-1, ret);
        EXPECT_NE(std::string::npos, out.find(c.message)) << out;
        pipelinetest::in_order(c.undone, at);
        std::vector<std::string> all = testsupport::events();
        for (const std::string &a : c.absent)
            for (size_t i = (size_t)(at + 1); i < all.size(); i++)
                EXPECT_EQ(std::string::npos, all[i].find(a)) << all[i];
        EXPECT_EQ(0u, g_vo_osd_run.load());
        c.after();
    }
    // With the obstacles gone the output comes on.
    tv(1);
    EXPECT_TRUE(wait_for([] { return sim::vo_frames(0) > 0; }));
}

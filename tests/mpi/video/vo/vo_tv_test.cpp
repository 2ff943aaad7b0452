// The TV output on the simulated board: VI -> VPSS channel 2 -> VO device 0,
// layer 0, channel 0, brought up and taken down in the TV output's order;
// the frames it shows and the picture it leaves in tv.png.
#include "mpi/video/vo/mpi_vo.h"
#include "tests/mpi/video/png_picture.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"

#include <chrono>
#include <filesystem>
#include <thread>

using namespace videotest;
using pngtest::Rgb;
using pngtest::decode_png;
using Clock = std::chrono::steady_clock;

namespace {

constexpr MPP_CHN_ADDR_S kVpss2 = {DU_ID_VPSS, 0, 2}, kVo0 = {DU_ID_VOU, 0, 0};

struct Tv {
    const char *name;
    u32 sync;
    u32 height;
    u32 rate;
};

class VoTv : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        DU_DUZ_VO_CloseFd();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        start_vi(1280, 720, 30);
    }
    void TearDown() override
    {
        tv_off();
        DU_DUZ_VPSS_DisableChn(0, 2);
        DU_DUZ_VPSS_StopGrp(0);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_SYS_Exit();
        DU_DUZ_VO_CloseFd();
    }

    // Processing channel 2 at the TV's size, mirrored and flipped (which
    // turns what the lens projects upright), then the output's device, layer
    // and channel, then the bind.
    void tv_on(const Tv &tv)
    {
        start_vpss(2, 720, tv.height);

        VO_PUB_ATTR_REC_S pub{};
        pub.u32BgColor = 0x0000FF;
        pub.enIntfType = VO_INTF_CVBS;
        pub.enIntfSync = tv.sync;
        ASSERT_EQ(0, DU_DUZ_VO_SetPubAttr(0, &pub));
        ASSERT_EQ(0, DU_DUZ_VO_Enable(0));
        VO_LAYER_ATTR_REC_S layer = {{0, 0, 720, tv.height}, 720, tv.height, tv.rate, PIXEL_FORMAT_YUV_SEMIPLANAR_420,
                                     0, 0};
        ASSERT_EQ(0, DU_DUZ_VO_SetVideoLayerAttr(0, &layer));
        ASSERT_EQ(0, DU_DUZ_VO_EnableVideoLayer(0));
        VO_LAYER_ATTR_REC_S got;
        ASSERT_EQ(0, DU_DUZ_VO_GetVideoLayerAttr(0, &got));
        VO_CHN_ATTR_REC_S chn = {0, {0, 0, got.u32ImageWidth, got.u32ImageHeight}, 0};
        ASSERT_EQ(0, DU_DUZ_VO_SetChnAttr(0, 0, &chn));
        ASSERT_EQ(0, DU_DUZ_VO_EnableChn(0, 0));
        ASSERT_EQ(0, DU_DUZ_SYS_Bind(&kVpss2, &kVo0));
    }

    // Unbind, channel, layer, device: each step whatever the one before did.
    void tv_off()
    {
        DU_DUZ_SYS_UnBind(&kVpss2, &kVo0);
        DU_DUZ_VO_DisableChn(0, 0);
        DU_DUZ_VO_DisableVideoLayer(0);
        DU_DUZ_VO_Disable(0);
    }

    // Frames shown per second over an interval measured here.
    static double shown_rate(double seconds)
    {
        uint64_t f0 = sim::vo_frames(0);
        Clock::time_point t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        uint64_t f1 = sim::vo_frames(0);
        double dt = std::chrono::duration<double>(Clock::now() - t0).count();
        return (double)(f1 - f0) / dt;
    }

    std::string png_path() const { return root_ + "/tv.png"; }

    bool wait_png(int seconds) const
    {
        return testsupport::wait_until([&] { return std::filesystem::exists(png_path()); }, seconds);
    }
};

} // namespace

// PAL shows 25 pictures a second, NTSC 30, whatever the source delivers
// beyond that (the input runs at 30).
TEST_F(VoTv, ShowsFramesAtTheDisplayRate)
{
    const Tv cases[] = {{"pal", VO_OUTPUT_PAL, 576, 25}, {"ntsc", VO_OUTPUT_NTSC, 480, 30}};
    for (const Tv &tv : cases) {
        SCOPED_TRACE(tv.name);
        tv_on(tv);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        double rate = shown_rate(3.0);
        EXPECT_GE(rate, tv.rate * 0.8); // generous: a shared machine stalls now and then
        EXPECT_LE(rate, tv.rate * 1.2 + 1);
        tv_off();
        DU_DUZ_VPSS_DisableChn(0, 2);
    }
}

TEST_F(VoTv, TvPngShowsTheScene)
{
    Clock::time_point t0 = Clock::now();
    tv_on({"pal", VO_OUTPUT_PAL, 576, 25});
    ASSERT_TRUE(wait_png(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    // At most one picture a second.
    EXPECT_LE(testsupport::events("vo tv.png").size(), (size_t)seconds + 1);

    Rgb img;
    ASSERT_TRUE(decode_png(testsupport::read_file(png_path()), img));
    ASSERT_EQ(720, img.w);
    ASSERT_EQ(576, img.h);
    EXPECT_TRUE(pngtest::upright(img));
    // The colour bars near the bottom: strong colours, not the background.
    int saturated = 0;
    for (int x = 0; x < img.w; x += 8) {
        const uint8_t *p = img.at(x, img.h - 30);
        int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
        saturated += hi - lo > 100;
    }
    EXPECT_GT(saturated, img.w / 8 / 2);
}

// Taking the cable out: unbind, channel, layer, device in that order; the
// output stops showing frames and comes back with the next cable.
TEST_F(VoTv, TearDownInTheTvOrderAndUpAgain)
{
    const Tv pal = {"pal", VO_OUTPUT_PAL, 576, 25};
    tv_on(pal);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_GT(sim::vo_frames(0), 0u);

    // Out of order the driver says no, and the output keeps going.
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_Disable(0));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_DisableVideoLayer(0));
    uint64_t before = sim::vo_frames(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(sim::vo_frames(0), before);

    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&kVpss2, &kVo0));
    EXPECT_EQ(0, DU_DUZ_VO_DisableChn(0, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0, DU_DUZ_VO_DisableVideoLayer(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0, DU_DUZ_VO_Disable(0));
    EXPECT_EQ(0, DU_DUZ_VPSS_DisableChn(0, 2));
    std::vector<std::string> order = testsupport::events(" vo ");
    std::vector<std::string> down;
    for (const std::string &e : order)
        if (e.find("disable") != std::string::npos)
            down.push_back(e.substr(e.find(" vo ") + 4));
    ASSERT_EQ(3u, down.size());
    EXPECT_EQ(0u, down[0].find("chn 0 disable"));
    EXPECT_EQ("layer 0 disable", down[1]);
    EXPECT_EQ("dev 0 disable", down[2]);

    uint64_t stopped = sim::vo_frames(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(stopped, sim::vo_frames(0));

    tv_on(pal);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_GT(sim::vo_frames(0), stopped);
}

// The shown picture and the screen can be got and handed back.
TEST_F(VoTv, ChannelAndScreenFrames)
{
    tv_on({"pal", VO_OUTPUT_PAL, 576, 25});
    VIDEO_FRAME_REC_S chn, screen;
    ASSERT_EQ(0, DU_DUZ_VO_GetChnFrame(0, 0, &chn, 2000));
    EXPECT_EQ(720u, chn.u32Width);
    EXPECT_EQ(576u, chn.u32Height);
    ASSERT_EQ(0, DU_DUZ_VO_GetScreenFrame(0, &screen, 2000));
    EXPECT_EQ(720u, screen.u32Width);
    // The channel covers the whole layer: the screen is the channel's picture.
    const u8 *a = static_cast<const u8 *>(screen.pVirAddr[0]);
    EXPECT_GT(a[100 * screen.u32Stride[0] + 360], 40);
    // Mean luma of the sky at the top and of nothing (a rectangle off the picture).
    const VPSS_RECT_S rects[2] = {{0, 0, 720, 100}, {800, 0, 16, 16}};
    VIDEO_REGION_INFO_S region = {2, rects};
    u32 luma[2] = {0, 99};
    ASSERT_EQ(0, DU_DUZ_VO_GetChnRegionLuma(0, 0, &region, luma, 1000));
    EXPECT_GT(luma[0], 110u);
    EXPECT_LT(luma[0], 170u);
    EXPECT_EQ(0u, luma[1]);
    u64 pts = 0;
    EXPECT_EQ(0, DU_DUZ_VO_GetChnPts(0, 0, &pts));
    EXPECT_GT(pts, 0u);
    EXPECT_EQ(0, DU_DUZ_VO_ReleaseChnFrame(0, 0, &chn));
    EXPECT_NE(0, DU_DUZ_VO_ReleaseChnFrame(0, 0, &chn)); // not held any more
    EXPECT_EQ(0, DU_DUZ_VO_ReleaseScreenFrame(0, &screen));
}

// A board that restarts under a running output drops it whole: pictures
// still on their way from the processing channel find an output that is off.
TEST_F(VoTv, BoardRestartUnderARunningOutput)
{
    tv_on({"pal", VO_OUTPUT_PAL, 576, 25});
    ASSERT_TRUE(testsupport::wait_until([] { return sim::vo_frames(0) > 0; }));
    sim::start(testsupport::fresh_root("restart"));
    EXPECT_EQ(0u, sim::vo_frames(0));
    VO_PUB_ATTR_REC_S pub;
    EXPECT_EQ(ERR_VO_NOT_CONFIG, DU_DUZ_VO_GetPubAttr(0, &pub));
}

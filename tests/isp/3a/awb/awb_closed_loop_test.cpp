// The white-balance library in the real ISP run loop on the simulated board:
// a grey scene under light of a given colour temperature, the library's
// gains fed back into the ISP's registers, the colour temperature it
// reports and the colour matrix the ISP ends up holding.
#include "tests/isp/isp_fixture.h"

#include "board/sim/sim.h"
#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/awb/mpi_awb.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "tests/support/isp_reg_base.h"

using namespace isptest;

namespace {

using testsupport::H;

// A fixed exposure of our own (the exposure library is not under test):
// `g_exp_lines` lines at unity gains, reported to the white-balance library
// as `g_exp_us` microseconds at ISO `g_exp_iso`.
std::atomic<u32> g_exp_lines{500}, g_exp_us{30000}, g_exp_iso{100};

s32 fixed_ae_init(s32, const AE_INIT_PARAM_S *) { return 0; }
s32 fixed_ae_run(s32, const AE_FRAME_INPUT_S *, AE_FRAME_RESULT_S *out, s32)
{
    cmos_inttime_update(g_exp_lines);
    cmos_gains_update(0, 0);
    memset(out, 0, sizeof *out);
    for (u32 &t : out->au32IntTime)
        t = g_exp_us;
    out->u32IspDgain = 256;
    out->u32Iso = g_exp_iso;
    return 0;
}
const AE_LIB_CALLBACKS_S kFixedAe = {fixed_ae_init, fixed_ae_run, nullptr, nullptr};

class AwbLoopTest : public IspTest {
protected:
    void TearDown() override
    {
        IspTest::TearDown(); // its unregistration of "vudi_awb_lib" removes ours too
        sim::with_world([](sim::World &w) { w = sim::World(); });
    }

    // The recording engine's order, with the real white-balance library.
    s32 bring_up_awb(int kelvin)
    {
        sim::with_world([&](sim::World &w) {
            w.scene_kelvin = kelvin;
            w.scene_grey = true;
        });
        s32 ret = sensor_register_callback();
        if (ret == 0)
            ret = DU_DUZ_ISP_AELibRegCallBack(0, &kAeLib, &kFixedAe);
        if (ret == 0)
            ret = DU_DUZ_AWB_Register(0, &kAwbLib);
        if (ret == 0)
            ret = DU_DUZ_ISP_MemInit(0);
        ISP_WDR_SEL_S sel = {WDR_MODE_NONE};
        if (ret == 0)
            ret = DU_DUZ_ISP_SetWDRMode(0, &sel);
        ISP_FRAME_FORMAT_S attr = pub(1920, 1080, 60);
        if (ret == 0)
            ret = DU_DUZ_ISP_SetPubAttr(0, &attr);
        if (ret == 0)
            testsupport::capture_stdout([&] { ret = DU_DUZ_ISP_Init(0); });
        return ret;
    }

    // Waits (bounded, by the ISP's own frame count) until `frames` ran.
    bool run_frames(u32 frames)
    {
        u32 until = ctx().u32FrameCnt + frames;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (ctx().u32FrameCnt < until) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // The board's raw grey means, R, G, B, without the black level the
    // statistics carry (16 x the statistics' black registers).
    static void raw_means(double out[3])
    {
        const u32 mean_regs[3] = {H + 0x740, H + 0x744, H + 0x748}, black_regs[3] = {H + 0x2D0, H + 0x2D4, H + 0x2DC};
        for (int i = 0; i < 3; i++)
            out[i] = (double)IO_READ16(mean_regs[i]) - 16.0 * (IO_READ16(black_regs[i]) & 0xFFF);
    }

    // The board's raw grey (before the gains) times the ISP's gains.
    static void balanced(double out[3])
    {
        double raw[3];
        raw_means(raw);
        const double gain[3] = {(double)(IO_READ16(H + 0x2C0) & 0xFFF),
                                (IO_READ16(H + 0x2C4) & 0xFFF) / 2.0 + (IO_READ16(H + 0x2C8) & 0xFFF) / 2.0,
                                (double)(IO_READ16(H + 0x2CC) & 0xFFF)};
        for (int i = 0; i < 3; i++)
            out[i] = raw[i] * gain[i];
    }

    // The reported temperature within 10% of the light, R, G and B equal
    // within 3% after the gains; the status it was read from.
    static AWB_WB_STATUS_S expect_balanced_at(int kelvin)
    {
        AWB_WB_STATUS_S st = {};
        EXPECT_EQ(DU_DUZ_ISP_QueryWBInfo(0, &st), 0);
        EXPECT_NEAR(st.u16ColorTemp, kelvin, kelvin * 0.10);
        double rgb[3];
        balanced(rgb);
        EXPECT_NEAR(rgb[0] / rgb[1], 1.0, 0.03);
        EXPECT_NEAR(rgb[2] / rgb[1], 1.0, 0.03);
        return st;
    }
};

// The page of handle 0 as the library left it.
u32 awb_page(u32 off) { return AWB_LIB_VREG_BASE(0) + off; }

} // namespace

TEST_F(AwbLoopTest, TheBoardsGreyCarriesTheLightsRatiosThroughTheStaticGains)
{
    // The raw means under the sensor's static gains lie on its curve at the
    // light's temperature: the curve's points (R/G, B/G in 8.8) worked out
    // from its formula and the profile's parameters.
    struct Light {
        int kelvin;
        double rg, bg;
    } lights[] = {{2800, 388, 161}, {4000, 295, 215}, {5000, 256, 254}, {6500, 223, 306}};
    for (const auto &l : lights) {
        SCOPED_TRACE(l.kelvin);
        ASSERT_EQ(bring_up_awb(l.kelvin), 0);
        start_run();
        ASSERT_TRUE(run_frames(3));
        const u16 *st = g_astAwbCtx[0].stProfile.au16GainOffset;
        double raw[3];
        raw_means(raw);
        double r = raw[0] * st[0] / 256.0, g = raw[1] * st[1] / 256.0, b = raw[2] * st[3] / 256.0;
        EXPECT_NEAR(r / g * 256, l.rg, l.rg * 0.015);
        EXPECT_NEAR(b / g * 256, l.bg, l.bg * 0.015);
        stop_run();
        testsupport::capture_stderr([] { DU_DUZ_ISP_Exit(0); });
    }
}

TEST_F(AwbLoopTest, AGreySceneIsBalancedAndItsColourTemperatureFound)
{
    for (int kelvin : {2800, 4000, 5000, 6500}) {
        SCOPED_TRACE(kelvin);
        ASSERT_EQ(bring_up_awb(kelvin), 0);
        start_run();
        ASSERT_TRUE(run_frames(300));

        AWB_WB_STATUS_S st = expect_balanced_at(kelvin);
        // The ISP holds a real colour matrix: a positive diagonal.
        for (int d : {0, 4, 8})
            EXPECT_GT(st.au16Matrix[d], 0x100) << d;

        stop_run();
        testsupport::capture_stderr([] { DU_DUZ_ISP_Exit(0); });
    }
}

TEST_F(AwbLoopTest, TheWhiteBalanceFollowsAChangeOfLight)
{
    ASSERT_EQ(bring_up_awb(5000), 0);
    start_run();
    ASSERT_TRUE(run_frames(200));
    AWB_WB_STATUS_S before;
    ASSERT_EQ(DU_DUZ_ISP_QueryWBInfo(0, &before), 0);

    sim::with_world([](sim::World &w) { w.scene_kelvin = 2800; });
    ASSERT_TRUE(run_frames(300));
    AWB_WB_STATUS_S after = expect_balanced_at(2800);
    EXPECT_GT(after.u16GainB * 256 / after.u16GainR, before.u16GainB * 256 / before.u16GainR);
}

TEST_F(AwbLoopTest, RatioStatisticsCloseTheLoopThroughTheAppliedGains)
{
    // With the ratio statistics the measurements come after the gains in
    // force, so the estimate depends on what the last frames applied.
    ASSERT_EQ(bring_up_awb(3500), 0);
    IO_WRITE8(awb_page(0x0D5), 0);
    start_run();
    ASSERT_TRUE(run_frames(300));
    expect_balanced_at(3500);
}

TEST_F(AwbLoopTest, ManualGainsAndTheWhiteBalanceLockHoldWhateverTheLight)
{
    ASSERT_EQ(bring_up_awb(4000), 0);
    start_run();
    ASSERT_TRUE(run_frames(150));

    // The lock as scene auto-tuning makes it: the current gains as manual.
    AWB_WB_SETTINGS_S attr;
    ASSERT_EQ(DU_DUZ_ISP_GetWBAttr(0, &attr), 0);
    AWB_WB_STATUS_S st;
    ASSERT_EQ(DU_DUZ_ISP_QueryWBInfo(0, &st), 0);
    attr.enOpType = 1;
    attr.stManual = {st.u16GainR, st.u16GainGr, st.u16GainGr, st.u16GainB};
    ASSERT_EQ(DU_DUZ_ISP_SetWBAttr(0, &attr), 0);
    sim::with_world([](sim::World &w) { w.scene_kelvin = 6500; });
    ASSERT_TRUE(run_frames(100));
    AWB_WB_STATUS_S locked;
    ASSERT_EQ(DU_DUZ_ISP_QueryWBInfo(0, &locked), 0);
    EXPECT_EQ(locked.u16GainR, st.u16GainR);
    EXPECT_EQ(locked.u16GainGb, st.u16GainGr);
    EXPECT_EQ(locked.u16GainB, st.u16GainB);

    // Back to automatic: the gains follow the new light.
    attr.enOpType = 0;
    ASSERT_EQ(DU_DUZ_ISP_SetWBAttr(0, &attr), 0);
    ASSERT_TRUE(run_frames(300));
    AWB_WB_STATUS_S freed;
    ASSERT_EQ(DU_DUZ_ISP_QueryWBInfo(0, &freed), 0);
    EXPECT_LT(freed.u16GainB * 256 / freed.u16GainR, st.u16GainB * 256 / st.u16GainR);
}

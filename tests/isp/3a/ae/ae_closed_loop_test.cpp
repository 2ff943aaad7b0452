// The exposure follows the simulated scene through the ISP's run loop:
// convergence to the target from either side, a step in brightness, the
// order of the default route, anti-flicker, manual exposure and the slow
// frame rate. Frames are counted, never seconds.
#include "tests/isp/3a/ae/ae_loop_fixture.h"

namespace {

constexpr int kTarget = 56; // the MN34220's compensation
constexpr int kWindow = 4;

bool on_target(const AE_EXPOSURE_STATUS_S &s) { return std::abs((int)s.u8AveLum - kTarget) <= kWindow; }

} // namespace

// From an exposure held 7x too short or 4x too long by the limits, the
// loop reaches the target within 100 frames once they are let go, and stays.
// (At 4x the green channel clips, so the picture is less than 4x as bright.)
TEST_F(AeLoopTest, ConvergesToTheTargetFromEitherSideAndStays)
{
    struct Case {
        const char *name;
        u32 time_min, time_max, again_min;
        int luma_min, luma_max; // what the limits hold the picture at
    } cases[] = {
        {"7x too dark", 2, 1120, 0x400, kTarget / 7 - 2, kTarget / 7 + 2},
        {"4x too bright", 7840, 7840, 0x1000, kTarget * 3, 255},
    };
    start(60, 1.0);
    skip(100); // past the quick start
    const AE_EXPOSURE_SETTINGS_S free = attr();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AE_EXPOSURE_SETTINGS_S pinned = free;
        pinned.stAuto.u32ExpTimeMin = c.time_min;
        pinned.stAuto.u32ExpTimeMax = c.time_max;
        pinned.stAuto.u32AGainMin = c.again_min;
        pinned.stAuto.u32AGainMax = std::max<u32>(c.again_min, 0x400);
        pinned.stAuto.u32DGainMax = 0x400;
        pinned.stAuto.u32ISPDGainMax = 0x400;
        set(pinned);
        AE_EXPOSURE_STATUS_S s = skip(40);
        ASSERT_GE(s.u8AveLum, c.luma_min);
        ASSERT_LE(s.u8AveLum, c.luma_max);

        set(free);
        int reached = -1;
        for (int f = 1; f <= 100 && reached < 0; f++) {
            ASSERT_TRUE(next(&s));
            if (on_target(s))
                reached = f;
        }
        ASSERT_GT(reached, 0) << "luma " << (int)s.u8AveLum;
        for (int f = 0; f < 200; f++) {
            ASSERT_TRUE(next(&s));
            ASSERT_TRUE(on_target(s)) << "frame " << f << " luma " << (int)s.u8AveLum;
        }
    }
}

TEST_F(AeLoopTest, AFourfoldBrighterSceneIsBackOnTargetWithinNinetyFramesWithAQuarterOfTheExposure)
{
    start(60, 1.0);
    AE_EXPOSURE_STATUS_S before = skip(200);
    ASSERT_TRUE(on_target(before)) << (int)before.u8AveLum;
    brightness(4.0);
    AE_EXPOSURE_STATUS_S s = {};
    int reached = -1;
    for (int f = 1; f <= 90 && reached < 0; f++) {
        ASSERT_TRUE(next(&s));
        if (f > 2 && on_target(s))
            reached = f;
    }
    ASSERT_GT(reached, 0) << "luma " << (int)s.u8AveLum;
    AE_EXPOSURE_STATUS_S after = skip(20);
    ASSERT_TRUE(on_target(after));
    double ratio = (double)before.u32Exposure / after.u32Exposure;
    EXPECT_NEAR(ratio, 4.0, 0.6);
}

// Darkening the scene step by step: the gains leave their minimum only once
// the integration time is at its longest.
TEST_F(AeLoopTest, TheDefaultRouteRaisesTheTimeBeforeTheGain)
{
    start(60, 2.0);
    AE_EXPOSURE_STATUS_S s = skip(120);
    const u32 longest = s.astRouteNode[s.u32RouteNum - 1].u32IntTime;
    ASSERT_EQ(s.u32RouteNum, 3u);
    EXPECT_EQ(s.astRouteNode[0].u32SysGain, s.astRouteNode[1].u32SysGain);
    EXPECT_EQ(s.astRouteNode[1].u32IntTime, longest);
    bool saw_gain = false, saw_time_below_max = false;
    for (double b = 2.0; b > 0.03; b *= 0.8) {
        brightness(b);
        for (int f = 0; f < 12; f++) {
            ASSERT_TRUE(next(&s));
            const bool gains_min = s.u32AGain == 0x400 && s.u32DGain == 0x400;
            if (!gains_min) {
                saw_gain = true;
                ASSERT_GE(s.u32ExpTime + 40, longest) << "brightness " << b;
            } else {
                saw_time_below_max |= s.u32ExpTime + 40 < longest;
            }
        }
    }
    EXPECT_TRUE(saw_gain);
    EXPECT_TRUE(saw_time_below_max);
}

TEST_F(AeLoopTest, FiftyHertzAntiFlickerMakesADimSceneSettleOnWholeFlickerPeriods)
{
    struct Case {
        const char *name;
        f32 fps;
        double brightness;
    } cases[] = {{"60 fps", 60, 0.25}, {"30 fps", 30, 0.3}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        start(c.fps, c.brightness);
        AE_EXPOSURE_SETTINGS_S a = attr();
        a.stAuto.stAntiflicker = {1, 50, 0};
        set(a);
        AE_EXPOSURE_STATUS_S s = skip(200);
        EXPECT_TRUE(on_target(s)) << (int)s.u8AveLum;
        const double line_us = 500000.0 / s.u32LinesPer500ms;
        const double periods = std::round(s.u32ExpTime / 10000.0);
        EXPECT_GE(periods, 1);
        // Whole lines, less the sensor's fractional offset.
        EXPECT_NEAR(s.u32ExpTime, periods * 10000, 2 * line_us) << s.u32ExpTime;
        EXPECT_GT(s.u32AGain, 0x400u); // a dim scene needs more than the time
        take_down();
    }
}

TEST_F(AeLoopTest, ManualExposureHoldsTheRequestedTimeAndGainsWhateverTheScene)
{
    start(60, 1.0);
    skip(100);
    AE_EXPOSURE_SETTINGS_S a = attr();
    a.enOpType = 1;
    a.stManual = {1, 1, 1, 1, 5000, 0x800, 0x400, 0x400};
    set(a);
    for (double b : {1.0, 4.0, 0.25}) {
        SCOPED_TRACE(b);
        brightness(b);
        AE_EXPOSURE_STATUS_S s = skip(20);
        // 5000 us are 338 lines at 67500 lines a second; 2x is the table's 2043.
        EXPECT_EQ(s.u32AGain, 2043u);
        EXPECT_EQ(s.u32DGain, 0x400u);
        EXPECT_NEAR(s.u32ExpTime, 5000, 15);
        EXPECT_EQ(sim::sensor_reg(0x0202) << 8 | sim::sensor_reg(0x0203), 338);
        EXPECT_EQ(sim::sensor_reg(0x0204) << 8 | sim::sensor_reg(0x0205), (16 + 64) * 4);
    }
    a.enOpType = 0;
    set(a);
    AE_EXPOSURE_STATUS_S s = skip(150);
    EXPECT_TRUE(on_target(s)) << (int)s.u8AveLum;
}

TEST_F(AeLoopTest, AVeryDarkSceneWithSlowShutterLowersTheFrameRate)
{
    start(60, 1.0);
    skip(100);
    ASSERT_NEAR(sim::sensor_fps(), 60, 0.5);
    AE_EXPOSURE_SETTINGS_S a = attr();
    a.stAuto.enAEMode = 0;
    a.stAuto.u32GainThreshold = 0x1000;
    a.stAuto.u32ExpTimeMax = 100000;
    set(a);
    brightness(0.01);
    AE_EXPOSURE_STATUS_S s = {};
    int slowed = -1;
    for (int f = 0; f < 150 && slowed < 0; f++) {
        ASSERT_TRUE(next(&s));
        if (s.u32FrameRateX100 < 4000)
            slowed = f;
    }
    ASSERT_GE(slowed, 0) << s.u32FrameRateX100;
    s = skip(10);
    EXPECT_LT(sim::sensor_fps(), 40);
    EXPECT_GT(s.u32ExpTime, 17000u); // longer than a 60 fps frame
    EXPECT_NEAR(sim::sensor_fps() * 100, s.u32FrameRateX100, 100);
}

// Black level, DRC and gamma on the simulated board: DRC's steps and its
// manual strength, its asymmetry curve through the port, the built-in
// gamma curves, the user's black levels at an
// even frame, and a WDR switch that moves every module to the new mode.
#include "tests/isp/isp_iq_fixture.h"

#include <cmath>

using namespace isptest;
using testsupport::capture_stdout;

TEST_F(IspIqTest, DrcStepsTowardWhatTheHistogramWantsAndTheManualStrengthHoldsAtOnce)
{
    {
        std::lock_guard<std::mutex> l(g_ae_lock);
        g_ae_result.u32Iso = 100;
    }
    // A bright scene wants nothing: down one step a frame from 128.
    for (u32 k = 1; k <= 3; k++) {
        modules_frame();
        EXPECT_EQ(cfg_.u32DrcStrength, 128 - k);
        EXPECT_TRUE(cfg_.u32Key & ISP_REGCFG_DRC);
    }
    ISP_DRC_CFG_S drc;
    ASSERT_EQ(DU_DUZ_ISP_GetDRCAttr(0, &drc), 0);
    drc.enOpType = 1;
    drc.u32Strength = 200;
    ASSERT_EQ(DU_DUZ_ISP_SetDRCAttr(0, &drc), 0);
    modules_frame();
    EXPECT_EQ(cfg_.u32DrcStrength, 200u);
}

// The DRC's asymmetry curve as the formula gives it: asymmetry A and
// bright enhance B (0..255) to 33 points of 16 bits.
std::vector<u32> asymmetry_curve(double A, double B)
{
    const double b = B / 255, t = 2 * (A + 1) / 257 - 1, c = t >= 0 ? 2 : 0;
    const double k = std::trunc((1 - 1 / (1000 * t * t * t) + t - c) * 255 + 0.5), d = std::fabs(k / 255);
    std::vector<u32> curve(33);
    for (int i = 0; i < 33; i++) {
        const double x = k >= 0 ? i / 32.0 : (32 - i) / 32.0, p = std::pow(std::fabs((1 - b) - x) / b, 3);
        double v = std::trunc((b + p * (1 - b)) * ((d + 1) * x / (d + x)) * 65535 + 0.5);
        v = std::clamp(v, 0.0, 65535.0);
        curve[i] = (u32)(k < 0 ? 65535 - v : v);
    }
    return curve;
}

// The curve reaches the hardware through its port at init and again when
// either of its two parameters changes; the defaults rise from 0 to 65535.
TEST_F(IspIqTest, TheDrcAsymmetryCurveIsLoadedThroughItsPortAndFollowsItsParameters)
{
    auto loaded = [] {
        const auto c = sim::picture::drc_curve();
        return std::vector<u32>(c.begin(), c.end());
    };
    const std::vector<u32> first = loaded();
    EXPECT_EQ(first.front(), 0u);
    EXPECT_EQ(first.back(), 65535u);
    for (size_t i = 1; i < first.size(); i++)
        EXPECT_GT(first[i], first[i - 1]) << i;
    EXPECT_EQ(first, asymmetry_curve(20, 200));
    EXPECT_EQ(IO_READ8(H + 0x4C0) & 0x2, 0u); // the port closed again

    ISP_DRC_CFG_S drc;
    ASSERT_EQ(DU_DUZ_ISP_GetDRCAttr(0, &drc), 0);
    struct Case {
        u32 asymmetry, bright;
    } cases[] = {{200, 50}, {128, 255}, {0, 100}};
    std::vector<u32> before = first;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.asymmetry) + ", " + std::to_string(c.bright));
        drc.u32Asymmetry = c.asymmetry;
        drc.u32BrightEnhance = c.bright;
        ASSERT_EQ(DU_DUZ_ISP_SetDRCAttr(0, &drc), 0);
        EXPECT_EQ(loaded(), before); // nothing before the module's next frame
        modules_frame();
        before = loaded();
        EXPECT_EQ(before, asymmetry_curve(c.asymmetry, c.bright));
    }
}

// ---- gamma ------------------------------------------------------------------------------------------------

TEST_F(IspIqTest, BuiltInGammaCurvesPassTheirAnchorsAndSwitchAtTheNextFrame)
{
    const u32 at[] = {0, 1, 2, 3, 4, 5, 6, 7, 16, 32, 64, 128, 192, 256};
    struct Case {
        const char *name;
        u32 wdr, type;
        u16 anchors[14];
        int tolerance; // the sRGB curves follow their formula, within a step
    } cases[] = {
        {"default, linear", WDR_MODE_NONE, 0, {0, 120, 220, 310, 390, 470, 540, 610, 1096, 1592, 2200, 3012, 3608, 4095}, 0},
        {"sRGB, linear", WDR_MODE_NONE, 1, {0, 203, 347, 452, 539, 613, 679, 739, 1136, 1592, 2200, 3012, 3608, 4095}, 1},
        {"default, WDR", WDR_MODE_2To1_FRAME, 0, {0, 1, 2, 4, 8, 12, 17, 23, 120, 416, 1218, 2652, 3572, 4095}, 0},
        {"sRGB, WDR", WDR_MODE_2To1_FRAME, 1, {0, 1, 3, 7, 13, 20, 29, 40, 203, 538, 1136, 2199, 3174, 4095}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ISP_WDR_SEL_S sel = {c.wdr};
        ASSERT_EQ(DU_DUZ_ISP_SetWDRMode(0, &sel), 0); // the call picks its curve by the requested mode
        static ISP_GAMMA_ATTR_S g, before, after;
        memset(&g, 0, sizeof g);
        g.bEnable = 1;
        g.enCurveType = c.type;
        ASSERT_EQ(DU_DUZ_ISP_GetGammaAttr(0, &before), 0);
        ASSERT_EQ(DU_DUZ_ISP_SetGammaAttr(0, &g), 0);
        ASSERT_EQ(DU_DUZ_ISP_GetGammaAttr(0, &after), 0);
        EXPECT_EQ(memcmp(before.au16Table, after.au16Table, sizeof after.au16Table), 0) << "switched before a frame";
        frame(); // the module hands it over
        frame(); // the kernel switches it
        ASSERT_EQ(DU_DUZ_ISP_GetGammaAttr(0, &after), 0);
        EXPECT_EQ(after.enCurveType, c.type);
        for (u32 k = 0; k < 14; k++)
            EXPECT_NEAR(after.au16Table[at[k]], c.anchors[k], c.tolerance) << at[k];
        for (u32 i = 1; i < 257; i++)
            ASSERT_GE(after.au16Table[i], after.au16Table[i - 1]) << i;
    }
}

// ---- black level -----------------------------------------------------------------------------------

TEST_F(IspIqTest, TheUsersBlackLevelsTakeEffectAtAnEvenFrame)
{
    while (ctx().u32FrameCnt % 2 != 0) // the next frame is odd
        frame();
    ISP_BLACK_LEVEL_S bl = {{260, 256, 258, 270}};
    ASSERT_EQ(DU_DUZ_ISP_SetBlackLevelAttr(0, &bl), 0);
    frame();
    EXPECT_EQ(IO_READ8(0x125AC) & 1, 1u); // not taken on an odd frame
    frame();
    EXPECT_EQ(IO_READ8(0x125AC) & 1, 0u);
    const u32 offsets[4] = {16, 0, 8, 56}; // (level - lowest) x 4
    for (u32 c = 0; c < 4; c++) {
        SCOPED_TRACE(c);
        EXPECT_EQ(IO_READ16(0x125C0 + 4 * c), bl.au16BlackLevel[c]);
        EXPECT_EQ(IO_READ16(H + 0x140 + 4 * c), offsets[c]);
        EXPECT_EQ(IO_READ16(H + 0x2D0 + 4 * c), 256u);
    }
    EXPECT_EQ(IO_READ16(H + 0x1A4), 256u << 4);
    ISP_INNER_STATE_S inner;
    ASSERT_EQ(DU_DUZ_ISP_QueryInnerStateInfo(0, &inner), 0);
    EXPECT_EQ(inner.au32BlackLevel[3], 270u);
}

// ---- a WDR switch ------------------------------------------------------------------------------------

// A switch to frame WDR and back, as the run loop makes it: the stitching
// path, the front-end gamma, DRC and the black level follow the mode.
TEST_F(IspIqTest, AWdrSwitchMovesEveryModuleToTheNewMode)
{
    struct Case {
        u32 mode;
        bool bypassed;
        u32 fe_bits, drc_enable, common_black;
    } cases[] = {
        {WDR_MODE_2To1_FRAME, false, 0x3, 1, 5328},
        {WDR_MODE_NONE, true, 0x0, 0, 256 << 4},
    };
    capture_stdout([&] { start_run(); });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        IO_WRITE8(0x10006, 0);
        ISP_WDR_SEL_S sel = {c.mode};
        ASSERT_EQ(DU_DUZ_ISP_SetWDRMode(0, &sel), 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(IO_READ8(0x10006) & 1) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(IO_READ8(0x10006) & 1, 1u) << "the switch did not finish";
        EXPECT_EQ((IO_READ8(H + 0x41) & 0x80) != 0, c.bypassed);
        EXPECT_EQ((IO_READ8(H + 0x42) & 0x01) == 0, c.bypassed);
        EXPECT_EQ(IO_READ8(H + 0x188) & 0x3, c.fe_bits);
        EXPECT_EQ(IO_READ8(H + 0x380) & 0x1, c.drc_enable);
        EXPECT_EQ(IO_READ16(H + 0x1A4), c.common_black);
    }
}

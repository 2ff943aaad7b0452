// Noise reduction and sharpen on the simulated board: the thresholds and
// strengths that follow the ISO, a new noise profile at the next odd frame,
// the noise-reduction settings of the stitching modes (with and without a
// front-end gamma curve), and the RGB sharpening curve's banks.
#include "tests/isp/isp_iq_fixture.h"

#include <cmath>

using namespace isptest;

// ---- values that follow the ISO --------------------------------------------------------------------

TEST_F(IspIqTest, ThresholdsAndStrengthsFollowTheIso)
{
    // Per-ISO tables of our own, at ISO 100 x 2^i.
    ISP_NR_ATTR_S nr = {1, 0, 0, 0, {5, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150}};
    ASSERT_EQ(DU_DUZ_ISP_SetNRAttr(0, &nr), 0);
    ISP_SHARPEN_ATTR_S sh;
    ASSERT_EQ(DU_DUZ_ISP_GetSharpenAttr(0, &sh), 0);
    sh.enOpType = 0;
    const u8 d[16] = {10, 30, 50, 70, 90, 110, 130, 150, 170, 190, 210, 230, 250, 250, 250, 250};
    memcpy(sh.au8SharpenD, d, 16);
    ASSERT_EQ(DU_DUZ_ISP_SetSharpenAttr(0, &sh), 0);
    // A dark scene: DRC wants all it may have, and gets one step a frame.
    stat_->stAeStat1.au16Hist5Value[0] = 65535;

    struct Case {
        u32 iso;
        u8 nr_thresh, sharpen_d;
        u16 stitch_thresh;
        u32 drc_ceiling;
    } cases[] = {
        {100, 5, 10, 64, 255},   {150, 8, 20, 64, 252},   {300, 15, 40, 60, 243},    {800, 30, 70, 48, 212},
        {3200, 50, 110, 32, 63}, {5000, 56, 121, 28, 0},  {12800, 70, 150, 16, 0},   {50, 5, 10, 64, 255},
        {4000000, 150, 250, 16, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.iso);
        {
            std::lock_guard<std::mutex> l(g_ae_lock);
            g_ae_result.u32Iso = c.iso;
        }
        slot(ISP_ALG_DRC).stAlgFunc.pfn_alg_init(0); // strength back to 128
        u32 drc[4];
        for (u32 &s : drc) {
            modules_frame();
            s = cfg_.u32DrcStrength;
        }
        for (u32 k = 0; k < 4; k++)
            EXPECT_EQ(drc[k], std::min(129 + k, c.drc_ceiling)) << k;
        // Noise reduction hands over what its previous odd frame worked out.
        EXPECT_EQ(cfg_.u8NrThreshS, c.nr_thresh);
        EXPECT_EQ(cfg_.u8NrThreshL, c.nr_thresh); // linear: the long one is the short one
        EXPECT_EQ(cfg_.u16NrLimit, 0xFFFF);
        EXPECT_EQ(cfg_.u8SharpenD, c.sharpen_d);
        EXPECT_EQ(IO_READ16(H + 0x15C), c.stitch_thresh);
    }
}

// ---- the noise profile -----------------------------------------------------------------------------

TEST_F(IspIqTest, ANewNoiseProfileReachesTheHardwareAtTheNextOddFrame)
{
    while (ctx().u32FrameCnt % 2 == 0) // the next frame is even
        frame();
    ISP_NP_TABLE_S np;
    fill(np.au8NPTable, NP_NODE_NUM, 3, 1);
    ASSERT_EQ(DU_DUZ_ISP_SetNPTable(0, &np), 0);
    frame();
    EXPECT_NE(*sim::phys(H + 0x900), 3); // not on an even frame
    frame();
    for (u32 i = 0; i < NP_NODE_NUM; i++)
        EXPECT_EQ(*sim::phys(H + 0x900 + i), np.au8NPTable[i]) << i;
    ISP_NP_TABLE_S back;
    ASSERT_EQ(DU_DUZ_ISP_GetNPTable(0, &back), 0);
    EXPECT_EQ(memcmp(&back, &np, sizeof np), 0);
}

// ---- frame WDR ---------------------------------------------------------------------------------------

class IspIqFrameWdr : public IspIqTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        up(WDR_MODE_2To1_FRAME);
    }
};

// In the stitching modes the noise-reduction slope falls as the profile
// limit rises, saturating at 127 instead of wrapping in its byte.
TEST_F(IspIqFrameWdr, TheNoiseReductionSlopeFallsWithTheLimitAndNeverWraps)
{
    EXPECT_EQ(IO_READ8(H + 0x41) & 0x80, 0u); // the stitching path is in
    std::vector<std::pair<u16, u8>> seen; // (limit, slope)
    for (u32 l = 0; l <= 4095; l += 63) {
        IO_WRITE16(H + 0x154, l);
        // One odd frame works it out, the next odd one hands it over.
        for (int odd = 0; odd < 2;) {
            modules_frame();
            odd += ctx().u32FrameCnt % 2;
        }
        ASSERT_TRUE(cfg_.u32Key & ISP_REGCFG_NR);
        EXPECT_EQ(cfg_.u8NrFilterMode, 3u);
        seen.push_back({cfg_.u16NrLimit, cfg_.u8NrSlope});
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_LT(seen.front().first, 1024u); // the range where the slope used to wrap
    for (size_t i = 0; i < seen.size(); i++) {
        SCOPED_TRACE(seen[i].first);
        EXPECT_LE(seen[i].second, 127u);
        if (i > 0) {
            EXPECT_LE(seen[i].second, seen[i - 1].second);
        }
    }
}

// ---- the RGB sharpening curve ---------------------------------------------------------------------

// The curve's 128 values from its parameters: a gain rising with the step
// on a log scale (shape p), falling with the magnitude g, scaled so its peak
// is the strength s (at most 127).
std::vector<double> rgb_sharpen_values(u32 p, u32 s, u32 g)
{
    std::vector<double> w(128, 0), v(128, 0);
    double wmax = 0;
    for (u32 j = 0; j < 128; j++) { // the log of step 0 is taken as 0, as of step 1
        w[j] = std::pow(2.0, -2.0 * g * j / 256) * std::pow((j ? 2.0 * j : 1.0) / 256, (p + 256) / 256.0);
        wmax = std::max(wmax, w[j]);
    }
    for (u32 j = 0; j < 128; j++)
        v[j] = std::min(w[j] * s / wmax, 127.0);
    return v;
}

// Each rebuild writes the bank not in use, mirrored about its middle, and
// then switches to it: two rebuilds in a row alternate the banks, and the
// board's sharpener reads the bank switched in.
TEST_F(IspIqTest, TheRgbSharpenCurveIsBuiltIntoTheOtherBankAndSwitchedIn)
{
    auto even_frame = [this] {
        do
            modules_frame();
        while (ctx().u32FrameCnt % 2);
    };
    auto bank = [] { return (IO_READ8(H + 0x4D0) >> 2) & 3; };
    even_frame(); // the sensor's defaults: (20, 64, 8)
    ASSERT_EQ(bank(), 1u);
    ISP_SHARPEN_ATTR_S sh;
    ASSERT_EQ(DU_DUZ_ISP_GetSharpenAttr(0, &sh), 0);
    struct Case {
        u8 curve, strength, magnitude;
        u32 bank;
    } cases[] = {{20, 64, 8, 1}, {60, 127, 4, 0}, {0, 100, 16, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.curve) + ", " + std::to_string(c.strength) + ", " + std::to_string(c.magnitude));
        if (c.bank != bank()) {
            sh.u8RGBSharpenCurve = c.curve;
            sh.u8RGBSharpenStrength = c.strength;
            sh.u8RGBSharpenMagnitude = c.magnitude;
            ASSERT_EQ(DU_DUZ_ISP_SetSharpenAttr(0, &sh), 0);
            even_frame();
        }
        ASSERT_EQ(bank(), c.bank);
        // The fixed-point gains round coarsely near the peak: within a few
        // steps of the formula, mirrored exactly, peaking at the strength.
        const std::vector<double> v = rgb_sharpen_values(c.curve, c.strength, c.magnitude);
        const u32 base = 256 * c.bank + 128;
        u32 peak = 0;
        for (u32 j = 0; j < 128; j++) {
            const u32 up = IO_READ32(H + 0x3000 + 4 * (base + j)), down = IO_READ32(H + 0x3000 + 4 * (base - 1 - j));
            EXPECT_NEAR((double)up, 128 + v[j], 2 + 0.08 * c.strength) << j;
            EXPECT_EQ(up - 128, 128 - down) << j;
            peak = std::max(peak, up - 128);
        }
        EXPECT_EQ(peak, c.strength);
        IO_WRITE8(H + 0x4D4, 128); // an RGB strength the kernel would have written
        const sim::picture::Sharpener board = sim::picture::Sharpener::read();
        for (u32 j = 0; j < 128; j++)
            ASSERT_EQ(board.curve[128 + j], (int)IO_READ32(H + 0x3000 + 4 * (base + j)) - 128) << j;
    }
}

// A sensor without a front-end gamma curve: the limit, slope and the two
// thresholds come from the exposure ratio alone. The limit follows 63560 /
// the ratio's root (x 64) between its nodes, the slope half the ratio's
// root, and the short threshold stands (log2 ratio - 6) x 8 above the long
// one, which keeps the ISO's.
TEST_F(IspIqFrameWdr, WithoutFrontEndGammaTheNoiseReductionFollowsTheExposureRatio)
{
    ISP_SensorGetDefault(0)->stGammafe.bValid = 0;
    ISP_NR_ATTR_S nr = {1, 0, 0, 0, {30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30}};
    ASSERT_EQ(DU_DUZ_ISP_SetNRAttr(0, &nr), 0);
    {
        std::lock_guard<std::mutex> l(g_ae_lock);
        g_ae_result.u32Iso = 100;
    }
    struct Case {
        u32 ratio;                // 64 = 1x
        u16 limit;
        u8 slope, thresh_l, thresh_s;
    } cases[] = {
        {64, 63560, 4, 30, 30},    // 1x: no spread
        {256, 32877, 8, 30, 46},   // 4x: two stops, 16 between them
        {1024, 15430, 16, 30, 62}, // 16x: four stops
        {4095, 15430, 32, 30, 70}, // beyond the last node: its value; log2 rounds down to 11
        {16, 63560, 4, 30, 30},    // below 1x: taken as 1x
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ratio);
        IO_WRITE16(H + 0x15A, c.ratio);
        for (int odd = 0; odd < 2;) {
            modules_frame();
            odd += ctx().u32FrameCnt % 2;
        }
        ASSERT_TRUE(cfg_.u32Key & ISP_REGCFG_NR);
        EXPECT_EQ(cfg_.u8NrFilterMode, 3u);
        EXPECT_EQ(cfg_.u16NrLimit, c.limit);
        EXPECT_EQ(cfg_.u8NrSlope, c.slope);
        EXPECT_EQ(cfg_.u8NrThreshL, c.thresh_l);
        EXPECT_EQ(cfg_.u8NrThreshS, c.thresh_s);
    }
}

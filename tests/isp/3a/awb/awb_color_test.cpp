// The white-balance library's arithmetic: the curve geometry and the
// temporal filter, the colour matrix's bands and saturation, and the ACM
// gains over ISO, colour temperature, mixed light and white-point change.
#include "tests/isp/3a/awb/awb_fixture.h"

#include "isp/isp_acm.h"

namespace {

AWB_WB_STATE_S curve_state()
{
    AWB_WB_STATE_S w = {};
    AWB_SENSOR_PROFILE_S p;
    cmos_get_awb_default(&p);
    AwbWbParaSet(&w, p.as32WbPara);
    return w;
}

// A colour-matrix state whose three matrices are told apart by value.
AWB_CM_STATE_S bands_state()
{
    AWB_CM_STATE_S cm = {};
    cm.u16HighTemp = 4900, cm.u16MidTemp = 3850, cm.u16LowTemp = 2650;
    for (u32 i = 0; i < 9; i++)
        cm.as16LowCcm[i] = 1000, cm.as16MidCcm[i] = 2000, cm.as16HighCcm[i] = 3000;
    return cm;
}

struct Input {
    ISP_AWB_STAT_1_S s1 = {256, 256, 0};
    AWB_FRAME_INPUT_S in = {};
    explicit Input(u32 count)
    {
        s1.u32MeteringAwbCount = count;
        in.pstAwbStat1 = &s1;
    }
};

const s16 kId[9] = {256, 0, 0, 0, 256, 0, 0, 0, 256};

} // namespace

TEST(AwbGeometry, SquareRootsAndTheCurve)
{
    const u32 roots[][2] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {65536, 256}};
    for (auto &r : roots)
        EXPECT_EQ(AwbSqrt32(r[0]), r[1]) << r[0];

    AWB_WB_STATE_S w = curve_state();
    u32 m256;
    s16 shift;
    AwbToMired(&w, 256, 41, &m256, &shift); // at or below para[0]: the curve is not consulted
    EXPECT_EQ(m256, 51200u);
    EXPECT_EQ(shift, 256);

    // Points of the curve (R/G, B/G in 8.8), and moved 32 away from the
    // origin and towards it, worked out from the curve's formula with the
    // profile's parameters (a = 41, b = 127, c = -87, d = 174535,
    // e = -123490). A point of the curve maps back to its temperature, on
    // the curve; one moved away from the origin lies above it (positive
    // shift), one moved toward it below.
    struct Point {
        int kelvin;
        s32 move;
        u16 rg, bg;
    } points[] = {
        {2800, 0, 388, 161}, {2800, 32, 417, 174}, {2800, -32, 358, 149},
        {4000, 0, 295, 215}, {4000, 32, 321, 233}, {4000, -32, 270, 196},
        {5000, 0, 256, 254}, {5000, 32, 279, 277}, {5000, -32, 233, 232},
        {6500, 0, 223, 306}, {6500, 32, 242, 332}, {6500, -32, 204, 280},
        {9000, 0, 194, 378}, {9000, 32, 209, 407}, {9000, -32, 180, 350},
    };
    for (const auto &p : points) {
        SCOPED_TRACE(std::to_string(p.kelvin) + " K, moved " + std::to_string(p.move));
        u16 rg, bg;
        AwbToRgBg(&w, 256000000u / p.kelvin, p.move, &rg, &bg);
        EXPECT_EQ(rg, p.rg);
        EXPECT_EQ(bg, p.bg);
        s16 raw = AwbToMired(&w, p.rg, p.bg, &m256, &shift);
        if (p.move == 0) {
            EXPECT_NEAR(256e6 / m256, p.kelvin, p.kelvin * 0.015);
            EXPECT_LE(std::abs(shift), 2);
        } else {
            EXPECT_GE(raw * p.move, 16 * 32);
            EXPECT_LE(raw * p.move, 32 * 32);
        }
    }
    EXPECT_EQ(AwbGlobalRelateCoef(300, 300, 256, 256, 10, 80), 255u);
    EXPECT_EQ(AwbGlobalRelateCoef(256, 256, 256, 256, 128, 128), 0u);
}

TEST(AwbGeometry, TheFilterAndTheRelativeGains)
{
    AWB_CTX_S ctx = {};
    ctx.u32FrameCnt = 100;
    ctx.u32FullRateFrames = 64;
    AWB_WB_STATE_S w = curve_state();
    AwbWbMatrixInit(&w);
    w.u16Speed = 4096;
    w.u16Luma = 200;
    w.u32MinCount = 4096;
    w.u32GlobalCount = 4096; // not above the minimum: nothing moves
    AwbWbMatrixNormalize(&w, 300, 200, &ctx);
    EXPECT_EQ(w.u32FR, 0x10000u);
    EXPECT_EQ(w.u16RelR, 256);
    w.u32GlobalCount = 4097;
    AwbWbMatrixNormalize(&w, 300, 200, &ctx);
    EXPECT_EQ(w.u32FR, 300u << 8);
    EXPECT_EQ(w.u32FB, 200u << 8);
    EXPECT_EQ(w.u16RelR, 384);
    EXPECT_EQ(w.u16RelG, 328);
    EXPECT_EQ(w.u16RelB, 256);
}

TEST(AwbColourMatrix, TheBandFollowsTheTemperatureWithHysteresis)
{
    struct Case {
        u32 prev;
        u16 kelvin;
        u32 band;
        s16 coef;
    } cases[] = {
        {0, 2700, 0, 1000}, {0, 3000, 1, 1187}, {0, 3700, 2, 2000}, {0, 4250, 3, 2000}, // M + 400: weight 0
        {0, 4600, 3, 2538}, {0, 5000, 4, 3000}, {2, 3650, 1, 2000}, {2, 4249, 2, 2000},
        {3, 4900, 3, 3000}, {4, 3000, 4, 1187}, // a blend reached from 4 stays recorded as 4
        {4, 2000, 0, 1000},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.prev) + " " + std::to_string(c.kelvin));
        AWB_CM_STATE_S cm = bands_state();
        cm.u32PrevBand = c.prev;
        cm.u32SmoothTemp = (u32)c.kelvin << 8;
        cm.u16NewTemp = c.kelvin;
        Input in(16385);
        ASSERT_EQ(AwbCcMatrixCalculate(&in.in, &cm), 0);
        EXPECT_EQ(cm.u32Band, c.band);
        EXPECT_EQ(cm.u32PrevBand, c.band);
        for (s16 v : cm.as16Blended)
            EXPECT_EQ(v, c.coef);
    }
}

TEST(AwbColourMatrix, SmoothingAndTheCountGate)
{
    AWB_CM_STATE_S cm = bands_state();
    cm.u32SmoothTemp = 5000 << 8;
    cm.u16NewTemp = 7001; // a jump of 2001 K: 1/16 of it
    memcpy(cm.as16Blended, kId, sizeof kId);
    Input few(16384);
    ASSERT_EQ(AwbCcMatrixCalculate(&few.in, &cm), 0);
    EXPECT_EQ(cm.u32SmoothTemp, (5000u << 8) + (2001u << 8) / 16);
    EXPECT_EQ(0, memcmp(cm.as16Blended, kId, sizeof kId)); // too few pixels: no new blend
    cm.u32SmoothTemp = 5000 << 8;
    cm.u16NewTemp = 7000; // 2000 K: 1/32
    ASSERT_EQ(AwbCcMatrixCalculate(&few.in, &cm), 0);
    EXPECT_EQ(cm.u32SmoothTemp, (5000u << 8) + (2000u << 8) / 32);
}

TEST(AwbColourMatrix, SaturationAndActivities)
{
    struct Case {
        const char *name;
        u32 satOp;
        u8 sat;      // manual saturation (or every table entry)
        u32 iso;
        u32 isoAct, tempAct;
        u32 smoothK; // smoothed temperature, K
        u16 rows[9]; // sign-magnitude, as the result holds it
    } cases[] = {
        {"saturation 128 keeps identity", 1, 128, 100, 0, 0, 5000, {256, 0, 0, 0, 256, 0, 0, 0, 256}},
        {"saturation 0 gives the grey rows", 1, 0, 100, 0, 0, 5000, {77, 150, 29, 76, 151, 29, 76, 150, 30}},
        {"ISO 12800 changes nothing", 0, 0, 12800, 1, 0, 5000, {77, 150, 29, 76, 151, 29, 76, 150, 30}},
        {"ISO 12800 + 16384 is identity", 0, 0, 12800 + 8 * 2048, 1, 0, 5000, {256, 0, 0, 0, 256, 0, 0, 0, 256}},
        {"temperature 0 is identity", 0, 0, 100, 0, 1, 0, {256, 0, 0, 0, 256, 0, 0, 0, 256}},
        {"2500 K and below is identity", 0, 0, 100, 0, 1, 1800, {256, 0, 0, 0, 256, 0, 0, 0, 256}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        AWB_CM_STATE_S cm = bands_state();
        cm.u32SatOpType = c.satOp;
        cm.u8ManualSat = c.sat;
        memset(cm.au8Sat, c.sat, sizeof cm.au8Sat);
        cm.u8SatScale = 128;
        cm.u32Iso = c.iso;
        cm.bIsoActEn = c.isoAct;
        cm.bTempActEn = c.tempAct;
        cm.u32SmoothTemp = c.smoothK << 8;
        memcpy(cm.as16Blended, kId, sizeof kId);
        Input in(0);
        ASSERT_EQ(AwbColorMatrixCalculate(0, &in.in, &cm), 0);
        for (u32 i = 0; i < 9; i++)
            EXPECT_EQ(cm.au16OutCcm[i], c.rows[i]) << i;
    }
}

TEST(AwbColourMatrix, SaturationByIsoAndMixedLight)
{
    AWB_CM_STATE_S cm = {};
    const u8 table[16] = {120, 100, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 40};
    memcpy(cm.au8Sat, table, 16);
    cm.u8SatScale = 128;
    struct Case {
        u32 iso;
        u8 degree, scale;
        u32 type;
        u8 expect;
    } cases[] = {
        {50, 0, 128, 0, 120},    // below the grid: its first point
        {150, 0, 128, 0, 110},
        {5000000, 0, 128, 0, 40},
        {100, 0, 64, 0, 60},     // scale 0.5
        {100, 32, 128, 0, 90},   // mixed light: 120 - min(x = 30, y = 30)
        {100, 32, 128, 1, 120},  // the other mixed-light type leaves it
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.iso);
        cm.u8MultiLSDegree = c.degree;
        cm.u16MultiLSScaler = 192;
        cm.u8SatScale = c.scale;
        cm.u32MultiLSType = c.type;
        u8 s = 0;
        ASSERT_EQ(AwbSaturationCalculate(&cm, c.iso, &s), 0);
        EXPECT_EQ(s, c.expect);
    }
}

TEST(AwbColourMatrix, RowsNearZeroSumAreNotBlownUp)
{
    const s16 a[9] = {30000, -29980, 0, 0, 256, 0, 0, 0, 256};
    s16 out[9];
    AwbMatrixMultiply(a, kId, out, 3, 3, 3);
    // Sum 20 (after the product's rounding): the row is left unscaled and
    // the diagonal takes the rest without wrapping.
    EXPECT_EQ(out[0] + out[1] + out[2], 256);
    EXPECT_GT(out[0], 0);
    EXPECT_LT(out[1], 0);
    const s16 big[9] = {32000, 32000, -32000, 0, 256, 0, 0, 0, 256}; // sum 32000 wraps as s16
    AwbMatrixMultiply(big, kId, out, 3, 3, 3);
    for (s16 v : out)
        EXPECT_LE(std::abs((s32)v), 0x7FFF);
}

TEST_F(AwbTest, AcmGainsFollowIsoTemperatureMixedLightAndChange)
{
    ASSERT_EQ(init(), 0);
    ISP_ACM_CFG_S cfg;
    ASSERT_EQ(ISP_ACM_GetAttr(&cfg), 0);
    EXPECT_EQ(cfg.bEnable, 0u); // init leaves the ACM off
    EXPECT_EQ(cfg.enMode, 4u);

    AWB_ACM_STATE_S acm = g_astAwbCtx[0].stAcm;
    acm.bEnable = 1;
    // The ISP's own enable is off: nothing is written.
    acm.u32Iso = 100, acm.s32ColorTemp = 5000;
    ASSERT_EQ(AwbAcmCalculate(0, &acm), 0);
    ASSERT_EQ(ISP_ACM_GetAttr(&cfg), 0);
    EXPECT_EQ(cfg.u32GainLuma, 0u);

    cfg.bEnable = 1;
    ASSERT_EQ(ISP_ACM_SetAttr(&cfg), 0);
    struct Case {
        const char *name;
        u32 iso;
        s32 kelvin;
        u32 degree;
        s32 change;
        u32 luma, hue, sat;
    } cases[] = {
        {"ISO 100 at 5000 K", 100, 5000, 0, 0, 124, 128, 64},
        {"ISO below the grid", 20, 5000, 0, 0, 124, 128, 64},
        {"ISO 150", 150, 5000, 0, 0, 124, 128, 64},
        {"ISO 2400", 2400, 5000, 0, 0, 104, 104, 52},
        {"past the grid", 4000000, 5000, 0, 0, 0, 0, 0},
        {"2500 K", 100, 2500, 0, 0, 0, 0, 0},
        {"3000 K", 100, 3000, 0, 0, 60, 62, 31},
        {"8000 K", 100, 8000, 0, 0, 124, 128, 64},
        {"10000 K", 100, 10000, 0, 0, 0, 0, 0},
        {"no temperature", 100, 0, 0, 0, 0, 0, 0},
        {"mixed light 32 halves", 100, 5000, 32, 0, 62, 64, 32},
        {"mixed light 8", 100, 5000, 8, 0, 109, 112, 56},
        {"white point change 64", 100, 5000, 0, 64, 0, 0, 0},
        {"white point change 16", 100, 5000, 0, 16, 93, 96, 48},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        acm.u32Iso = c.iso;
        acm.s32ColorTemp = c.kelvin;
        acm.u32MultiLSDegree = c.degree;
        acm.s32WpChange = c.change;
        ASSERT_EQ(AwbAcmCalculate(0, &acm), 0);
        ASSERT_EQ(ISP_ACM_GetAttr(&cfg), 0);
        EXPECT_EQ(cfg.bEnable, 1u);
        EXPECT_EQ(cfg.u32GainLuma, c.luma);
        EXPECT_EQ(cfg.u32GainHue, c.hue);
        EXPECT_EQ(cfg.u32GainSat, c.sat);
        EXPECT_EQ(acm.au16CurGain[0], c.luma);
    }
}

TEST_F(AwbTest, AcmAttributeChecks)
{
    ISP_ACM_CFG_S cfg = {};
    cfg.u32GainSat = 512;
    EXPECT_EQ(ISP_ACM_SetAttr(&cfg), 0);
    cfg.u32GainSat = 513;
    s32 ret = 0;
    std::string err = testsupport::capture_stderr([&] { ret = ISP_ACM_SetAttr(&cfg); });
    EXPECT_EQ(ret, (s32)0xA01C8003);
    EXPECT_NE(err.find("[Func]:ACM_CheckAttr"), std::string::npos);
    EXPECT_NE(err.find("Error acm attribute error u32GainSat:513\n"), std::string::npos);

    static ISP_ACM_LUT_S lut = {};
    lut.as16H[4][6][28] = -64;
    EXPECT_EQ(DU_DUZ_ISP_SetAcmCoeff(0, &lut, 4), 0);
    static ISP_ACM_LUT_S back;
    ASSERT_EQ(DU_DUZ_ISP_GetAcmCoeff(0, &back, 4), 0);
    EXPECT_EQ(back.as16H[4][6][28], -64);
    lut.as16H[4][6][28] = 65;
    std::string out = testsupport::capture_stdout([&] { ret = DU_DUZ_ISP_SetAcmCoeff(0, &lut, 4); });
    EXPECT_EQ(ret, (s32)0xA01C8003);
    EXPECT_EQ(out, "Invalid AcmLUT as16H[4][6][28]:65!\n");
}

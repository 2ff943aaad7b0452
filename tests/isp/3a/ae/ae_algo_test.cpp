// The exposure algorithms on their own: the route lists, the metering and
// increment rules, and the calculation's anti-flicker, iris, gain and
// segment rules.
#include "tests/isp/3a/ae/ae_fixture.h"

namespace {

std::vector<std::vector<u32>> busy(AE_ROUTE_LIST_S &l)
{
    std::vector<std::vector<u32>> out;
    for (auto *n = route_list_first_node(&l); n; n = route_list_up_node(&l, n))
        out.push_back({n->au32Param[0], n->au32Param[1], n->u32UpStgy, n->u32DwStgy});
    return out;
}

ISP_AE_ROUTE_S table(std::vector<ISP_AE_ROUTE_NODE_S> nodes)
{
    ISP_AE_ROUTE_S t = {};
    t.u32TotalNum = (u32)nodes.size();
    for (size_t i = 0; i < nodes.size(); i++)
        t.astRouteNode[i] = nodes[i];
    return t;
}

const u32 kMin[3] = {1, 1024, 1}, kMax[3] = {100000, 1u << 30, 1024};

} // namespace

TEST(AeRouteList, EqualProductsGetTheSameProductCodeAndSurviveOnlyWhenDifferent)
{
    AE_ROUTE_LIST_S l;
    ISP_AE_ROUTE_S t = table({{100, 2048, 0}, {200, 1024, 0}, {200, 4096, 0}});
    AeRouteUpdate(&t, &l, 2);
    EXPECT_EQ(busy(l), (std::vector<std::vector<u32>>{{100, 2048, 3, 4}, {200, 1024, 1, 3}, {200, 4096, 4, 1}}));
    AeRouteLimit(&l, 2, kMin, kMax);
    EXPECT_EQ(l.u32BusyNum, 3u);

    // Clamped to the same node: the duplicate goes back to the free list.
    t = table({{100, 1024, 0}, {150, 1024, 0}, {150, 2048, 0}});
    AeRouteUpdate(&t, &l, 2);
    const u32 max[3] = {100, 1u << 30, 1024};
    AeRouteLimit(&l, 2, kMin, max);
    EXPECT_EQ(busy(l), (std::vector<std::vector<u32>>{{100, 1024, 1, 4}, {100, 2048, 4, 1}}));
    EXPECT_EQ(l.u32BusyNum + l.u32FreeNum, 16u);
}

TEST(AeRouteList, AStepChangingTwoParametersGainsANodeThatChangesTheFirstOne)
{
    AE_ROUTE_LIST_S l;
    ISP_AE_ROUTE_S t = table({{100, 1024, 0}, {400, 4096, 0}});
    AeRouteUpdate(&t, &l, 2);
    AeRouteLimit(&l, 2, kMin, kMax);
    EXPECT_EQ(busy(l), (std::vector<std::vector<u32>>{{100, 1024, 0, 4}, {400, 1024, 1, 0}, {400, 4096, 4, 1}}));
    EXPECT_EQ(l.u32BusyNum + l.u32FreeNum, 16u);
}

TEST(AeRouteList, TheJointOfAnExposureIsTheFirstPairHoldingIt)
{
    AE_ROUTE_LIST_S l;
    ISP_AE_ROUTE_S t = table({{100, 1024, 0}, {400, 1024, 0}, {400, 4096, 0}});
    AeRouteUpdate(&t, &l, 2);
    struct Case {
        u64 e;
        int low; // node index, -1: none
    } cases[] = {{100 * 1024, 0}, {400 * 1024, 0}, {400 * 1024 + 1, 1}, {400 * 4096, 1}, {99 * 1024, -1},
                 {400ull * 4096 + 1, -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.e);
        AE_ROUTE_LIST_NODE_S *lo, *hi;
        route_list_joint(&l, c.e, &lo, &hi);
        if (c.low < 0) {
            EXPECT_EQ(lo, nullptr);
            EXPECT_EQ(hi, nullptr);
            continue;
        }
        AE_ROUTE_LIST_NODE_S *want = route_list_first_node(&l);
        for (int i = 0; i < c.low; i++)
            want = route_list_up_node(&l, want);
        EXPECT_EQ(lo, want);
        EXPECT_EQ(hi, route_list_up_node(&l, want));
    }
    // A table of more than 16 nodes yields 16.
    ISP_AE_ROUTE_S big = table({});
    big.u32TotalNum = 200;
    for (u32 i = 0; i < 16; i++)
        big.astRouteNode[i] = {10 + i, 1024, 0};
    AeRouteUpdate(&big, &l, 2);
    EXPECT_EQ(l.u32BusyNum, 16u);
}

TEST(AeCalc, AntiFlickerRoundsDownToWholePeriodsAndModeOneLeavesShortTimes)
{
    const u32 L = 16875, f50 = 50 << 8; // 30 fps lines per 500 ms; 10 ms = 337.5 lines
    struct Case {
        u32 t, mode, enable, freq, want;
    } cases[] = {
        {1000, 0, 1, f50, 675}, {700, 0, 1, f50, 675}, {200, 0, 1, f50, 337}, {200, 1, 1, f50, 200},
        {330, 1, 1, f50, 337}, {1000, 0, 0, f50, 1000}, {1000, 0, 1, 0, 1000}, {319, 1, 1, f50, 319}, {321, 1, 1, f50, 337},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.t * 10 + c.mode);
        EXPECT_EQ(AeCalcAntiflicker2(c.t, c.freq, L, c.mode, c.enable), c.want);
    }
    EXPECT_EQ(AeCalcSysGain(10, 2048, 10, 1024, 10, 512, 8), 4096u);
    EXPECT_EQ(AeCalcSysGain(10, 1024, 10, 1024, 10, 256, 8), 1024u);
}

TEST_F(AeTest, IrisApertureAndPirisSteps)
{
    ASSERT_EQ(init(), 0);
    AE_CTX_S &c = ctx();
    c.enAlgIrisType = 1;
    c.u32CloseFno = 0, c.u32OpenFno = 10;
    c.u16StepCount = 4, c.u16TotalStep = 100, c.bZeroIsMax = 1;
    const u16 steps[4] = {64, 128, 256, 512};
    memcpy(c.au16StepFNOTable, steps, sizeof steps);
    struct Case {
        const char *name;
        u32 status;
        u64 e, d;
        bool iris_step;
        u32 ape, pos;
        u64 left;
    } cases[] = {
        {"closed", 2, 5000, 10, true, 0, 99, 5000},
        {"forced open, above the table", 1, 5000, 10, false, 512, 0, 5000 / 512},
        {"from the exposure", 0, 300 * 10, 10, true, 256, 1, 3000 / 256},
        {"between the first two", 0, 100 * 10, 10, true, 64, 3, 1000 / 64},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.name);
        c.u32IrisStatus = k.status;
        EXPECT_EQ(AeCalcIrisApe(c, k.e, k.d, k.iris_step, 1024), k.left);
        EXPECT_EQ(c.u32IrisApe, k.ape);
        EXPECT_EQ(c.u32PirisPos, k.pos);
    }
    c.bZeroIsMax = 0;
    c.u32IrisApe = 2000;
    AePirisStepCalc(c);
    EXPECT_EQ(c.u32IrisApe, 512u);
    EXPECT_EQ(c.u32PirisPos, 99u);
    c.enAlgIrisType = 0;
    c.u32IrisStatus = 0;
}

TEST_F(AeTest, TheIncrementHoldsWithinToleranceAndBoundsItsSteps)
{
    ASSERT_EQ(init(), 0);
    run(1, 120, 56); // settled, delays and speeds as configured
    AE_CTX_S &c = ctx();
    c.u16BlackDelay = c.u16WhiteDelay = 0;
    c.u16Tolerance = 2;
    c.u32StableFrameCount = 0;
    struct Case {
        u32 level;
        bool moves;
    } cases[] = {{54, false}, {58, false}, {53, true}, {59, true}};
    for (const auto &k : cases) {
        SCOPED_TRACE(k.level);
        c.u32StableFrameCount = 0;
        aetest::GreyStats g(200, k.level);
        AeIncrementProcess(&g.in, 0);
        EXPECT_EQ(c.u32Exposure != 256, k.moves);
    }
    // After 30 stable cycles the tolerance doubles; the first unstable one
    // restores it.
    c.u32StableFrameCount = 30;
    aetest::GreyStats near(200, 53);
    AeIncrementProcess(&near.in, 0);
    EXPECT_EQ(c.u32Exposure, 256u);
    aetest::GreyStats far(200, 40);
    AeIncrementProcess(&far.in, 0);
    EXPECT_GT(c.u32Exposure, 256u);
    EXPECT_EQ(c.u32StableFrameCount, 0u);
    AeIncrementProcess(&near.in, 0);
    EXPECT_GT(c.u32Exposure, 256u);

    // Steps stay within 256 up and 128 down.
    c.u8Speed = 255;
    c.u16BlackSpeedBias = 0xFFFF;
    aetest::GreyStats black(200, 0), white(200, 255);
    AeIncrementProcess(&black.in, 0);
    EXPECT_EQ(c.s32Increment, 256);
    AeIncrementProcess(&white.in, 0);
    EXPECT_EQ(c.s32Increment, -128);
    EXPECT_EQ(c.u32Exposure, 128u);
}

TEST_F(AeTest, TargetAndMeasuredBrightness)
{
    ASSERT_EQ(init(), 0);
    AE_CTX_S &c = ctx();
    run(1, 3);
    struct Case {
        u8 comp;
        u16 bias;
        u32 target;
    } cases[] = {{64, 1024, 64}, {64, 0, 0}, {64, 2048, 128}, {200, 4096, 255}};
    for (const auto &k : cases) {
        SCOPED_TRACE(k.bias);
        c.u8Compensation = k.comp;
        c.u16EVBias = k.bias;
        aetest::GreyStats g(200, 56);
        AeIncrementProcess(&g.in, 0);
        EXPECT_EQ(c.u8Target, k.target);
    }
    // An empty histogram measures the correction alone (0 for strategy 0).
    aetest::GreyStats empty(200, 56, 0);
    AeIncrementProcess(&empty.in, 0);
    EXPECT_EQ(c.u32HistMean, 0u);
    EXPECT_EQ(c.u32Measured, 0u);
    // Strategy 1 lifts dark pictures: the correction is negative.
    c.enStrategy = 1;
    AeHistWeightDef(0);
    aetest::GreyStats dark(200, 20);
    AeIncrementProcess(&dark.in, 0);
    EXPECT_LT(c.s32Correction, 0);
    EXPECT_GE(c.s32Correction, -16);
    EXPECT_EQ(c.u32Measured, (u32)(20 + c.s32Correction));
}

TEST_F(AeTest, TheSlowFrameRateHasNoLimitWhenTheSensorGivesNone)
{
    ASSERT_EQ(init(), 0);
    run(1, 10);
    AE_CTX_S &c = ctx();
    c.enAeMode = c.enPreAeMode = 1;
    struct Case {
        u32 max_full, want;
    } cases[] = {{0xFFFFFFFF, 1125 * 4}, {2000, 2000}};
    for (const auto &k : cases) {
        SCOPED_TRACE(k.max_full);
        c.u32FullLinesMax = k.max_full;
        EXPECT_EQ(AeCalcSlowFrameRate(c, 256, 256, 1024), k.want);
    }
    c.u32FullLinesMax = 0xFFFFFFFF;
    // A requested exposure above the maximum is kept as requested; only the
    // exposure in force is clamped.
    c.u64Exposure = c.u64ExpMax;
    c.u32Exposure = 300;
    AeExposureProcess(0);
    EXPECT_GT(c.u64ReqExposure, c.u64ExpMax);
    EXPECT_EQ(c.u64Exposure, c.u64ExpMax);
    c.u32Exposure = 256;
}

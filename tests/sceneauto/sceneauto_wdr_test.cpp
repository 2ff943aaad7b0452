// Scene auto-tuning on a sensor in line WDR mode: the engine loads the WDR
// variant of its tuning image and starts with the WDR night route-ex, the
// WDR gamma curve, the WDR exposure levels and noise reduction, and its
// normal thread measures the exposure by gain and DRC strength. The values
// expected are the WDR tuning's own, written out here.
#include "tests/sceneauto/image_values.h"
#include "tests/sceneauto/sceneauto_live.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/mpi_isp.h"
#include "isp/mpi_isp_iq.h"

#include <algorithm>
#include <cstring>

using namespace satest;

namespace {

constexpr u8 kLineWdr = 2;

class WdrStart : public SceneautoLive {
protected:
    void SetUp() override
    {
        SceneautoLive::SetUp();
        start_pipeline(kH264, kLineWdr);
        ISP_WDR_SEL_S mode = {};
        ASSERT_EQ(0, DU_DUZ_ISP_GetWDRMode(0, &mode));
        ASSERT_EQ(kLineWdr, mode.enWDRMode);
    }
};

} // namespace

TEST_F(WdrStart, TheWdrImageAtItsOffsets)
{
    const std::string out = quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    EXPECT_TRUE(has(out, "Sceneauto_LoadIQPara WDR start\n")) << out;
    EXPECT_FALSE(has(out, "linear start")) << out;
    expect_image_values(&g_stINIPara, {
        // the WDR variants
        {"ratio bias", 112, 2, 2816},
        {"HLC on histogram", 144 + 8, 4, 150000},
        {"profile B low bound", 188 + 512, 4, 5000},
        {"AE speed", 708 + 24, 1, 64},
        {"AE tolerance", 708 + 25, 1, 3},
        {"AE system gain maximum", 708 + 32, 4, 4096},
        {"AE analog gain maximum", 708 + 36, 4, 4096},
        {"AE level 0 compensation", 708 + 140, 1, 62},
        {"AE level 1 compensation", 708 + 156, 1, 60},
        {"AE level 4 compensation", 708 + 204, 1, 60},
        {"AE level 0 offset", 708 + 141, 1, 32},
        {"AE level 0 slope", 708 + 144, 2, 96},
        {"demosaic exposure 5", 928 + 16 + 20, 4, 4000},
        {"demosaic exposure 7", 928 + 16 + 28, 4, 9000},
        {"demosaic record 0", 928 + 48, 4, 170 | 170 << 8 | 168 << 16 | 128u << 24},
        {"sharpen curve 0 point 1", 1296 + 16 + 1, 1, 64},
        {"sharpen level 2 curve 2 point 15", 1296 + 16 + 96 + 32 + 15, 1, 32},
        {"gamma first word", 1532, 4, 1},
        {"gamma curve 0 point 1", 1532 + 46 + 2, 2, 11},
        {"gamma curve 0 point 128", 1532 + 46 + 256, 2, 2426},
        {"gamma curve 1 point 128", 1532 + 44 + 516 + 2 + 256, 2, 0},
        {"3DNR ISO 2", 5088 + 4 + 8, 4, 400},
        {"3DNR ISO 8", 5088 + 4 + 32, 4, 12800},
        {"fast route node 2 gain", 9332 + 4 + 16 + 4, 4, 8134},
        {"fast route node 3 time", 9332 + 4 + 24, 4, 20000},
        {"normal route node 4 gain", 9392 + 4 + 32 + 4, 4, 131071},
        // the single tables
        {"IR DP slope", 7032 + 68, 2, 768},
        {"DRC white level", 9452 + 28, 4, 1791},
        {"H.264 threshold 3", 3640 + 16, 4, 8145},
    });
}

// The start in WDR mode: the night route-ex and no linear route, the WDR
// gamma, the WDR exposure base; the normal thread's start-up sets the WDR
// noise reduction and the WDR exposure ratios.
TEST_F(WdrStart, TheStartAppliesTheWdrTuning)
{
    AE_ROUTE_TABLE_S route_before = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttr(0, &route_before));
    std::string out = quiet([] {
        ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x"));
        ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Start());
    });
    EXPECT_TRUE(has(out, "VUZI SCENEAUTO Module has been started successfully!\n")) << out;
    EXPECT_FALSE(has(out, "stAERoute.u32TotalNum")) << "no linear route in WDR mode:\n" << out;

    AE_ROUTE_EX_TABLE_S ex = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttrEx(0, &ex));
    const u32 night[3][5] = {{10000, 1024, 1024, 1024, 0}, {10000, 4096, 1024, 1024, 0}, {16254, 4096, 1024, 1024, 0}};
    ASSERT_EQ(3u, ex.u32TotalNum);
    for (int n = 0; n < 3; n++) {
        SCOPED_TRACE(n);
        const AE_ROUTE_EX_NODE_S &e = ex.astRouteExNode[n];
        EXPECT_EQ(night[n][0], e.u32IntTime);
        EXPECT_EQ(night[n][1], e.u32Again);
        EXPECT_EQ(night[n][2], e.u32Dgain);
        EXPECT_EQ(night[n][3], e.u32IspDgain);
    }
    AE_ROUTE_TABLE_S route = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttr(0, &route));
    EXPECT_EQ(0, memcmp(&route_before, &route, sizeof route));

    // The WDR curve: 0, 11, 22, ... 2426 at the middle, 4095 at the end.
    EXPECT_TRUE(testsupport::wait_until([] {
        SCENEAUTO_GAMMA_S g = {};
        return CommSceneautoGetGamma(0, &g) == 0 && g.au16Table[1] == 11 && g.au16Table[2] == 22 &&
               g.au16Table[128] == 2426 && g.au16Table[256] == 4095;
    }));

    SCENEAUTO_AE_ATTR_S ae = {};
    ASSERT_EQ(0, CommSceneautoGetAEAttr(0, &ae));
    EXPECT_EQ(64, ae.u8Speed);
    EXPECT_EQ(4096u, ae.u32SysGainMax);
    EXPECT_EQ(1, ae.u8AERunInterval);
    EXPECT_EQ(1u, ae.bWDRQuick);
    EXPECT_EQ(96, ae.u16HistRatioSlope);

    const u8 nr_wdr[16] = {12, 16, 28, 32, 32, 36, 48, 64, 64, 64, 64, 64, 64, 64, 64, 64};
    EXPECT_TRUE(testsupport::wait_until([&] {
        ISP_NR_ATTR_S nr = {};
        return DU_DUZ_ISP_GetNRAttr(0, &nr) == 0 && nr.bEnable == 1 && nr.enOpType == 0 &&
               !memcmp(nr.au8Thresh, nr_wdr, sizeof nr_wdr);
    })) << "the normal thread's start-up";
    AE_WDR_RATIO_SETTINGS_S w = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetWDRExposureAttr(0, &w));
    EXPECT_EQ(0u, w.enExpRatioType);
    EXPECT_EQ(192u, w.u32ExpRatio);
    EXPECT_EQ(128u, w.u32ExpRatioMax);
    EXPECT_EQ(64u, w.u32ExpRatioMin);
    EXPECT_EQ(3, w.u16Tolerance);
    EXPECT_EQ(16, w.u16Speed);
    EXPECT_EQ(1024, w.u16RatioBias);
}

// In WDR mode the exposure measure is the gain (x 100) raised by the DRC
// strength over its floor of 40, whatever the integration time; the
// ISO-like index is the same number.
TEST_F(WdrStart, TheWdrExposureIsGainByDrcStrength)
{
    quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    struct Case {
        const char *name;
        u32 again, dgain, ispdgain, time;
    } cases[] = {
        {"unit gains", 1024, 1024, 1024, 10000},
        {"twice the analog gain, another time", 2048, 1024, 1024, 33000},
        {"all three gains", 3072, 2048, 1536, 500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SceneautoNormalState s;
        sceneauto_normal_reset(s);
        s.stInfo = {0, c.again, c.dgain, c.ispdgain, c.time};
        // The DRC strength the ISP reports, before and after the cycle: the
        // case counts when it held still.
        bool held = false;
        for (int attempt = 0; attempt < 5 && !held; attempt++) {
            SCENEAUTO_INNER_STATE_S a = {}, b = {};
            ASSERT_EQ(0, CommSceneautoGetQueryInnerStateInfo(0, &a));
            quiet([&] { sceneauto_normal_retune(s); });
            ASSERT_EQ(0, CommSceneautoGetQueryInnerStateInfo(0, &b));
            if (a.u32DRCStrength != b.u32DRCStrength)
                continue;
            const u64 g = (u64)c.again * c.dgain * c.ispdgain * 100 >> 30;
            const u64 want = g * std::max<u32>(a.u32DRCStrength, 40) / 40;
            EXPECT_EQ(want, s.u32Exp) << "DRC strength " << a.u32DRCStrength;
            EXPECT_EQ(want, s.u32Iso);
            held = true;
        }
        EXPECT_TRUE(held) << "the DRC strength moved in every cycle";
    }
}

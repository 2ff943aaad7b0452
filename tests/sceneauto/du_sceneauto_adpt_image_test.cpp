// The adapter's ISP, 3A and video-input operations on the board's ISP: each
// get reads the platform's fields into the engine's record, each set
// changes only the fields it tunes, and a failing call says which.
#include "tests/sceneauto/adpt_fixture.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/isp_acm.h"
#include "isp/mpi_isp_correction.h"
#include "isp/mpi_isp_iq.h"
#include "mpi/video/vi/mpi_vi.h"

#include <functional>
#include <vector>
#include <string>

TEST_F(AdapterTest, DrcMovesItsFieldsAndKeepsTheOthers)
{
    ISP_DRC_CFG_S d = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetDRCAttr(0, &d));
    d = {1, 40, 150, 3000, 20, 5, 6, 77, 88, OP_TYPE_MANUAL, 99, 111};
    ASSERT_EQ(0, DU_DUZ_ISP_SetDRCAttr(0, &d));

    SCENEAUTO_DRC_ATTR_S s = {};
    ASSERT_EQ(0, CommSceneautoGetDRCAttr(0, &s));
    EXPECT_EQ(1u, s.bEnable);
    EXPECT_EQ(1u, s.bManual);
    EXPECT_EQ(99u, s.u32Strength);
    EXPECT_EQ(40u, s.u32SlopeMax);
    EXPECT_EQ(150u, s.u32SlopeMin);
    EXPECT_EQ(5u, s.u32VarianceSpace);
    EXPECT_EQ(6u, s.u32VarianceIntensity);
    EXPECT_EQ(3000u, s.u32WhiteLevel);
    EXPECT_EQ(20u, s.u32BlackLevel);

    s = {0, 2, 128, 12345, 56, 192, 10, 4, 1791, 0}; // manual flag 2 is not "manual"
    ASSERT_EQ(0, CommSceneautoSetDRCAttr(0, &s));
    ASSERT_EQ(0, DU_DUZ_ISP_GetDRCAttr(0, &d));
    EXPECT_EQ(0u, d.bEnable);
    EXPECT_EQ((u32)OP_TYPE_AUTO, d.enOpType);
    EXPECT_EQ(128u, d.u32Strength);
    EXPECT_EQ(56u, d.u32SlopeMax);
    EXPECT_EQ(192u, d.u32SlopeMin);
    EXPECT_EQ(10u, d.u32VarianceSpace);
    EXPECT_EQ(4u, d.u32VarianceIntensity);
    EXPECT_EQ(1791u, d.u32WhiteLevel);
    EXPECT_EQ(0u, d.u32BlackLevel);
    EXPECT_EQ(77u, d.u32Asymmetry);
    EXPECT_EQ(88u, d.u32BrightEnhance);
    EXPECT_EQ(111u, d.u32StrengthTarget);

    d.bEnable = 1;
    ASSERT_EQ(0, DU_DUZ_ISP_SetDRCAttr(0, &d));
    ASSERT_EQ(0, CommSceneautoDisableDRCAttr(0));
    ASSERT_EQ(0, DU_DUZ_ISP_GetDRCAttr(0, &d));
    EXPECT_EQ(0u, d.bEnable);
    EXPECT_EQ(128u, d.u32Strength);
}

// The curve type is taken only when it is one; a user curve reaches the
// hardware on the next frames.
TEST_F(AdapterTest, GammaTakesTheCurveTypeOnlyWhenItIsOne)
{
    run_isp();
    struct Case {
        const char *name;
        u8 type;
        u32 expected;
    } cases[] = {{"default", 0, 0}, {"sRGB", 1, 1}, {"3 keeps the platform's", 3, 1}, {"user", 2, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ISP_GAMMA_ATTR_S g = {};
        ASSERT_EQ(0, DU_DUZ_ISP_GetGammaAttr(0, &g));
        g.enCurveType = ISP_GAMMA_CURVE_SRGB;
        ASSERT_EQ(0, DU_DUZ_ISP_SetGammaAttr(0, &g));
        SCENEAUTO_GAMMA_S s = {};
        s.u8CurveType = c.type;
        for (int i = 0; i < 257; i++)
            s.au16Table[i] = (u16)(i * 4095 / 256);
        ASSERT_EQ(0, CommSceneautoSetGamma(0, &s));
        ASSERT_TRUE(run_frames(3));
        SCENEAUTO_GAMMA_S back = {};
        ASSERT_EQ(0, CommSceneautoGetGamma(0, &back));
        EXPECT_EQ(c.expected, back.u8CurveType);
        if (c.type == 2) {
            EXPECT_EQ(2047, back.au16Table[128]);
            EXPECT_EQ(4095, back.au16Table[256]);
        } else {
            EXPECT_NE(2047, back.au16Table[128]); // the built-in curve of the type
        }
    }
}

TEST_F(AdapterTest, DemosaicSharpenAndDefectPixelsKeepWhatTheyDoNotTune)
{
    ISP_DEMOSAIC_ATTR_S d = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetDemosaicAttr(0, &d));
    d.u16VhThresh = 1000;
    d.enCfgType = 2;
    d.au8NpOffset[3] = 9;
    ASSERT_EQ(0, DU_DUZ_ISP_SetDemosaicAttr(0, &d));
    SCENEAUTO_DEMOSAIC_S dm = {{154, 162, 135, 128}, {}};
    for (int i = 0; i < 16; i++)
        dm.au8LumThresh[i] = (u8)(200 - i);
    ASSERT_EQ(0, CommSceneautoSetDemosaic(0, &dm));
    ASSERT_EQ(0, DU_DUZ_ISP_GetDemosaicAttr(0, &d));
    EXPECT_EQ(154, d.u8VhSlope);
    EXPECT_EQ(162, d.u8AaSlope);
    EXPECT_EQ(135, d.u8VaSlope);
    EXPECT_EQ(128, d.u8UuSlope);
    EXPECT_EQ(185, d.au8LumThresh[15]);
    EXPECT_EQ(1000, d.u16VhThresh);
    EXPECT_EQ(2u, d.enCfgType);
    EXPECT_EQ(9, d.au8NpOffset[3]);
    SCENEAUTO_DEMOSAIC_S back = {};
    ASSERT_EQ(0, CommSceneautoGetDemosaic(0, &back));
    EXPECT_EQ(0, memcmp(&dm, &back, sizeof dm));

    ISP_SHARPEN_ATTR_S sh = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetSharpenAttr(0, &sh));
    sh.u8SharpenD = 11;
    sh.u8RGBSharpenStrength = 12;
    ASSERT_EQ(0, DU_DUZ_ISP_SetSharpenAttr(0, &sh));
    SCENEAUTO_SHARPEN_S curves = {};
    for (int i = 0; i < 16; i++)
        curves.au8SharpenD[i] = (u8)i, curves.au8SharpenUd[i] = (u8)(16 + i), curves.au8SharpenRGB[i] = (u8)(32 + i);
    ASSERT_EQ(0, CommSceneautoSetSharpen(0, &curves));
    SCENEAUTO_SHARPEN_S got = {};
    ASSERT_EQ(0, CommSceneautoGetSharpen(0, &got));
    EXPECT_EQ(0, memcmp(&curves, &got, sizeof got));
    ASSERT_EQ(0, DU_DUZ_ISP_GetSharpenAttr(0, &sh));
    EXPECT_EQ(11, sh.u8SharpenD);
    EXPECT_EQ(12, sh.u8RGBSharpenStrength);

    ISP_DP_ATTR_S *dp = new ISP_DP_ATTR_S(); // about 32 KB
    ASSERT_EQ(0, DU_DUZ_ISP_GetDPAttr(0, dp));
    dp->stDynamicAttr.bEnable = 0;
    dp->stDynamicAttr.u16Thresh = 77;
    ASSERT_EQ(0, DU_DUZ_ISP_SetDPAttr(0, dp));
    ASSERT_EQ(0, CommSceneautoSetDP(0, 384));
    ASSERT_EQ(0, DU_DUZ_ISP_GetDPAttr(0, dp));
    EXPECT_EQ(1u, dp->stDynamicAttr.bEnable);
    EXPECT_EQ(384, dp->stDynamicAttr.u16Slope);
    EXPECT_EQ(77, dp->stDynamicAttr.u16Thresh);
    delete dp;
    u16 slope = 0;
    ASSERT_EQ(0, CommSceneautoGetDP(0, &slope));
    EXPECT_EQ(384, slope);
}

TEST_F(AdapterTest, ColourMatrixAndColourManagementWords)
{
    AWB_CCM_SETTINGS_S ccm = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetCCMAttr(0, &ccm));
    ccm.enOpType = 1;
    ASSERT_EQ(0, DU_DUZ_ISP_SetCCMAttr(0, &ccm));
    SCENEAUTO_CCM_S s = {};
    ASSERT_EQ(0, CommSceneautoGetCcmAttr(0, &s));
    EXPECT_EQ(ccm.stAuto.u16MidColorTemp, s.astCCM[1].u16ColorTemp);
    EXPECT_EQ(ccm.stAuto.au16LowCCM[4], s.astCCM[2].au16CCM[4]);
    const u16 unit[9] = {0x100, 0, 0, 0, 0x100, 0, 0, 0, 0x100};
    s.astCCM[0].u16ColorTemp = 6500;
    s.astCCM[1].u16ColorTemp = 4500;
    s.astCCM[2].u16ColorTemp = 2800;
    memcpy(s.astCCM[1].au16CCM, unit, sizeof unit);
    ASSERT_EQ(0, CommSceneautoSetCcmAttr(0, &s));
    ASSERT_EQ(0, DU_DUZ_ISP_GetCCMAttr(0, &ccm));
    EXPECT_EQ(0u, ccm.enOpType);
    EXPECT_EQ(6500, ccm.stAuto.u16HighColorTemp);
    EXPECT_EQ(4500, ccm.stAuto.u16MidColorTemp);
    EXPECT_EQ(2800, ccm.stAuto.u16LowColorTemp);
    EXPECT_EQ(0, memcmp(unit, ccm.stAuto.au16MidCCM, sizeof unit));

    ISP_ACM_CFG_S acm = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetAcmAttr(0, &acm));
    acm = {0, 1, 3, 1, 1, 1, 100, 110, 120, 130};
    ASSERT_EQ(0, DU_DUZ_ISP_SetAcmAttr(0, &acm));
    SCENEAUTO_ACM_S a = {};
    ASSERT_EQ(0, CommSceneautoGetAcmAttr(0, &a));
    EXPECT_EQ(0u, a.au32Word[0]);
    EXPECT_EQ(100u, a.au32Word[1]);
    EXPECT_EQ(130u, a.au32Word[4]);
    a = {{1, 200, 210, 220, 230}};
    std::string out = testsupport::capture_stdout([&] { ASSERT_EQ(0, CommSceneautoSetAcmAttr(0, &a)); });
    std::string ten;
    for (int i = 0; i < 10; i++)
        ten += "DU_DUZ_ISP_GetAcmAttr stAcmAttr.bEnable\n";
    EXPECT_EQ(ten, out);
    ASSERT_EQ(0, DU_DUZ_ISP_GetAcmAttr(0, &acm));
    const ISP_ACM_CFG_S want = {1, 1, 3, 1, 1, 1, 200, 210, 220, 230};
    EXPECT_EQ(0, memcmp(&want, &acm, sizeof acm));
}

TEST_F(AdapterTest, DefogFpnStabilisationAndInnerState)
{
    ISP_DEFOG_ATTR_S f = {0, 4, 4, OP_TYPE_MANUAL, 200, 100};
    ASSERT_EQ(0, DU_DUZ_ISP_SetDeFogAttr(0, &f));
    ASSERT_EQ(0, CommSceneautoSetDefogAttr(0, 1));
    ASSERT_EQ(0, DU_DUZ_ISP_GetDeFogAttr(0, &f));
    EXPECT_EQ(1u, f.bEnable);
    EXPECT_EQ(16, f.u8HorizontalBlock);
    EXPECT_EQ(15, f.u8VerticalBlock);
    EXPECT_EQ((u32)OP_TYPE_AUTO, f.enOpType);
    EXPECT_EQ(200, f.u8ManualStrength);
    EXPECT_EQ(32, f.u8AutoStrength);
    u32 on = 7;
    ASSERT_EQ(0, CommSceneautoGetDefogAttr(0, &on));
    EXPECT_EQ(1u, on);

    for (u32 enable : {1u, 0u}) {
        SCOPED_TRACE(enable);
        ASSERT_EQ(0, CommSceneautoSetDISAttr(0, enable));
        u32 got = 7;
        ASSERT_EQ(0, CommSceneautoGetDISAttr(0, &got));
        EXPECT_EQ(enable, got);
    }

    // Without a calibration there is no correction to switch.
    std::string out;
    testsupport::capture_stderr([&] {
        out = testsupport::capture_stdout([] { EXPECT_EQ(-1, CommSceneautoSetFPNAttr(0, 1)); });
    });
    EXPECT_EQ("DU_DUZ_ISP_GetFPNAttr failed\n", out);

    ISP_INNER_STATE_S st = {};
    ASSERT_EQ(0, DU_DUZ_ISP_QueryInnerStateInfo(0, &st));
    SCENEAUTO_INNER_STATE_S s = {1234, 5678};
    ASSERT_EQ(0, CommSceneautoGetQueryInnerStateInfo(0, &s));
    EXPECT_EQ(st.u32DRCStrengthActual, s.u32DRCStrength);
    EXPECT_EQ(st.u32DefogStrengthActual, s.u32DefogStrength);

    u32 fps = 0;
    ASSERT_EQ(0, CommSceneautoGetPubAttr(0, &fps));
    ISP_FRAME_FORMAT_S pub = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
    EXPECT_EQ((u32)pub.f32FrameRate, fps);
    EXPECT_GT(fps, 0u);
    u8 wdr = 9;
    ASSERT_EQ(0, CommSceneautoGetWDRAttr(0, &wdr));
    EXPECT_EQ(0, wdr);
}

TEST_F(AdapterTest, ExposureRecordBothWays)
{
    AE_EXPOSURE_SETTINGS_S a = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    a.stAuto.enFSWDRMode = 1;
    a.stAuto.u32ExpTimeMax = 30000;
    a.stAuto.enStrategyMode = 1;
    ASSERT_EQ(0, DU_DUZ_ISP_SetExposureAttr(0, &a));
    SCENEAUTO_AE_ATTR_S s = {};
    ASSERT_EQ(0, CommSceneautoGetAEAttr(0, &s));
    EXPECT_EQ(1, s.u8FSWDRMode);
    EXPECT_EQ(1, s.u8AEStrategyMode);
    EXPECT_EQ(a.stAuto.u8Speed, s.u8Speed);
    EXPECT_EQ(a.stAuto.u32AGainMax, s.u32AGainMax);
    EXPECT_EQ(a.u8AERunInterval, s.u8AERunInterval);
    EXPECT_EQ(0, memcmp(a.stAuto.au8Weight, s.au8Weight, sizeof s.au8Weight));

    s.u8Speed = 48;
    s.u8Tolerance = 3;
    s.u16BlackDelayFrame = 4;
    s.u16WhiteDelayFrame = 5;
    s.u8MaxHistOffset = 32;
    s.u16HistRatioSlope = 160;
    s.u32SysGainMax = 32382;
    s.u32AGainMax = 32382;
    s.u32DGainMax = 1024;
    s.u32ISPDGainMax = 1024;
    s.u8AERunInterval = 1;
    s.u8FSWDRMode = 2; // only 1 is on
    s.bWDRQuick = 1;
    s.u8AEStrategyMode = 1; // the preference decides: high-light priority
    ASSERT_EQ(0, CommSceneautoSetAEAttr(0, &s));
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    EXPECT_EQ(48, a.stAuto.u8Speed);
    EXPECT_EQ(3, a.stAuto.u8Tolerance);
    EXPECT_EQ(4, a.stAuto.u16BlackDelayFrame);
    EXPECT_EQ(5, a.stAuto.u16WhiteDelayFrame);
    EXPECT_EQ(32, a.stAuto.u8MaxHistOffset);
    EXPECT_EQ(160, a.stAuto.u16HistRatioSlope);
    EXPECT_EQ(32382u, a.stAuto.u32SysGainMax);
    EXPECT_EQ(1024u, a.stAuto.u32DGainMax);
    EXPECT_EQ(1, a.u8AERunInterval);
    EXPECT_EQ(0u, a.stAuto.enFSWDRMode);
    EXPECT_EQ(1u, a.stAuto.bWDRQuick);
    EXPECT_EQ(0u, a.stAuto.enStrategyMode);
    EXPECT_EQ(30000u, a.stAuto.u32ExpTimeMax);

    AE_WDR_RATIO_SETTINGS_S w = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetWDRExposureAttr(0, &w));
    const AE_WDR_RATIO_SETTINGS_S before = w;
    ASSERT_EQ(0, CommSceneautoSetWdrExposureAttr(0, 2816));
    u16 bias = 0;
    ASSERT_EQ(0, CommSceneautoGetWdrExposureAttr(0, &bias));
    EXPECT_EQ(2816, bias);
    ASSERT_EQ(0, DU_DUZ_ISP_GetWDRExposureAttr(0, &w));
    EXPECT_EQ(before.u32ExpRatio, w.u32ExpRatio);
    EXPECT_EQ(before.u16Speed, w.u16Speed);
}

TEST_F(AdapterTest, TheRouteIsPrintedAsSetAndReadBackWithinTheRecord)
{
    std::string out = testsupport::capture_stdout([] { ASSERT_EQ(0, CommSceneautoSetAERoute(0, nullptr)); });
    const std::string stars(51, '*');
    const std::string want = stars + "\n" +
                             "stAERoute.u32TotalNum = 6\n"
                             "stAERoute.u32IntTime--u32SysGain = 2---1024--8\n"
                             "stAERoute.u32IntTime--u32SysGain = 16667---1024--8\n"
                             "stAERoute.u32IntTime--u32SysGain = 16667---3072--8\n"
                             "stAERoute.u32IntTime--u32SysGain = 16667---8192--8\n"
                             "stAERoute.u32IntTime--u32SysGain = 16667---32382--8\n"
                             "stAERoute.u32IntTime--u32SysGain = 40000---32382--8\n" +
                             stars + "\n" +
                             "stAERouteEx.u32TotalNum = 6\n"
                             "stAERouteEx.u32IntTime--u32SysGain = 2---1024--1024--1024-8\n"
                             "stAERouteEx.u32IntTime--u32SysGain = 16667---1024--1024--1024-8\n"
                             "stAERouteEx.u32IntTime--u32SysGain = 16667---3072--1024--1024-8\n"
                             "stAERouteEx.u32IntTime--u32SysGain = 16667---8192--1024--1024-8\n"
                             "stAERouteEx.u32IntTime--u32SysGain = 16667---32382--1024--1024-8\n"
                             "stAERouteEx.u32IntTime--u32SysGain = 40000---32382--1024--1024-8\n";
    EXPECT_EQ(want, out);

    SCENEAUTO_AE_ROUTE_S r = {};
    ASSERT_EQ(0, CommSceneautoGetAERoute(0, &r));
    EXPECT_EQ(6u, r.u32TotalNum);
    EXPECT_EQ(16667u, r.astRouteNode[4].u32IntTime);
    EXPECT_EQ(32382u, r.astRouteNode[4].u32SysGain);

    // A route longer than the record's seven nodes is cut at seven.
    AE_ROUTE_TABLE_S longer = {9,
                               {{100, 1024, 8},
                                {1000, 1024, 8},
                                {1000, 2048, 8},
                                {2000, 2048, 8},
                                {2000, 4096, 8},
                                {4000, 4096, 8},
                                {4000, 8192, 8},
                                {8000, 8192, 8},
                                {8000, 16384, 8}}};
    ASSERT_EQ(0, DU_DUZ_ISP_SetAERouteAttr(0, &longer));
    struct {
        SCENEAUTO_AE_ROUTE_S route;
        u32 after[2];
    } guarded = {{}, {0xAAAAAAAA, 0xAAAAAAAA}};
    ASSERT_EQ(0, CommSceneautoGetAERoute(0, &guarded.route));
    EXPECT_EQ(7u, guarded.route.u32TotalNum);
    EXPECT_EQ(4000u, guarded.route.astRouteNode[6].u32IntTime);
    EXPECT_EQ(8192u, guarded.route.astRouteNode[6].u32SysGain);
    EXPECT_EQ(0xAAAAAAAAu, guarded.after[0]);
    EXPECT_EQ(0xAAAAAAAAu, guarded.after[1]);
}

// A route the engine gives is the route set: its nodes, as many as its
// record holds, each at the iris the application's routes use; the
// route-ex stays as it was.
TEST_F(AdapterTest, AnEnginesRouteIsTheRouteSet)
{
    using Nodes = std::vector<std::pair<u32, u32>>;
    struct Case {
        const char *name;
        u32 count;
        Nodes nodes; // what the record holds
        Nodes want;  // what the platform then holds
    };
    const Nodes fast = {{2, 1024},    {2000, 1024},  {2000, 2048},    {5000, 2048},
                        {5000, 5120}, {40000, 5120}, {40000, 16777216}};
    const Nodes wdr = {{10400, 1024},  {10400, 1024},   {10400, 8134},  {20000, 8134},
                       {20000, 131071}, {20000, 131071}, {20000, 131071}};
    const Case cases[] = {
        {"the fast linear route", 7, fast, fast},
        {"the WDR route, with equal neighbours", 7, wdr, wdr},
        {"three nodes", 3, fast, Nodes(fast.begin(), fast.begin() + 3)},
        {"a count past the record is cut at its end", 12, fast, fast},
    };
    AE_ROUTE_EX_TABLE_S ex = {2, {{100, 1024, 1024, 1024, 0}, {200, 1024, 1024, 1024, 0}}};
    ASSERT_EQ(0, DU_DUZ_ISP_SetAERouteAttrEx(0, &ex));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SCENEAUTO_AE_ROUTE_S r = {};
        r.u32TotalNum = c.count;
        for (size_t i = 0; i < c.nodes.size(); i++)
            r.astRouteNode[i] = {c.nodes[i].first, c.nodes[i].second};
        std::string out;
        s32 ret = -1;
        out = testsupport::capture_stdout([&] { ret = CommSceneautoSetAERoute(0, &r); });
        ASSERT_EQ(0, ret) << out;
        AE_ROUTE_TABLE_S got = {};
        ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttr(0, &got));
        ASSERT_EQ(c.want.size(), got.u32TotalNum);
        for (size_t i = 0; i < c.want.size(); i++) {
            EXPECT_EQ(c.want[i].first, got.astRouteNode[i].u32IntTime) << i;
            EXPECT_EQ(c.want[i].second, got.astRouteNode[i].u32SysGain) << i;
            EXPECT_EQ(8u, got.astRouteNode[i].enIrisFNO) << i;
        }
        EXPECT_NE(std::string::npos, out.find("stAERoute.u32TotalNum = " + std::to_string(c.want.size()) + "\n"))
            << out;
        AE_ROUTE_EX_TABLE_S ex_now = {};
        ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttrEx(0, &ex_now));
        EXPECT_EQ(0, memcmp(&ex, &ex_now, sizeof ex));
    }
}

TEST_F(AdapterTest, RegistersAndTheVideoInputsDci)
{
    ASSERT_EQ(0, CommSceneautoSetRegister(0, 0x205A0900, 0x12345678));
    u32 v = 0;
    ASSERT_EQ(0, DU_DUZ_ISP_GetRegister(0, 0x205A0900, &v));
    EXPECT_EQ(0x12345678u, v);

    SCENEAUTO_DCI_S dci = {{1, 32, 32, 32}};
    ASSERT_EQ(0, CommSceneautoSetDCIParam(0, &dci));
    VI_DCI_PARAM_REC_S rec = {};
    ASSERT_EQ(0, DU_DUZ_VI_GetDCIParam(0, &rec));
    EXPECT_EQ(0, memcmp(dci.au32Word, rec.au32Word, sizeof rec));
    SCENEAUTO_DCI_S back = {};
    ASSERT_EQ(0, CommSceneautoGetDCIParam(0, &back));
    EXPECT_EQ(0, memcmp(&dci, &back, sizeof dci));
}

// A failed read ends the operation with its line and sets nothing.
TEST_F(AdapterTest, AFailedReadSaysWhichCallFailed)
{
    SCENEAUTO_AE_ATTR_S ae = {};
    SCENEAUTO_SHARPEN_S sh = {};
    SCENEAUTO_DRC_ATTR_S drc = {};
    SCENEAUTO_GAMMA_S gamma = {};
    SCENEAUTO_DCI_S dci = {};
    SCENEAUTO_EXPOSURE_INFO_S info = {};
    u8 wdr = 0;
    u32 word = 0;
    struct Case {
        const char *line;
        std::function<s32()> op;
    } cases[] = {
        {"DU_DUZ_ISP_GetExposureAttr", [&] { return CommSceneautoSetAEAttr(1, &ae); }},
        {"DU_DUZ_ISP_GetExposureAttr", [&] { return CommSceneautoGetAEAttr(1, &ae); }},
        {"DU_DUZ_ISP_QueryExposureInfo", [&] { return CommSceneautoGetExposureInfo(1, &info); }},
        {"DU_DUZ_ISP_GetSharpenAttr", [&] { return CommSceneautoSetSharpen(1, &sh); }},
        {"DU_DUZ_ISP_GetDRCAttr", [&] { return CommSceneautoSetDRCAttr(1, &drc); }},
        {"DU_DUZ_ISP_GetDRCAttr", [&] { return CommSceneautoDisableDRCAttr(1); }},
        {"DU_DUZ_ISP_GetGammaAttr", [&] { return CommSceneautoSetGamma(1, &gamma); }},
        {"DU_DUZ_ISP_GetDPAttr", [&] { return CommSceneautoSetDP(1, 64); }},
        {"DU_DUZ_ISP_GetWBAttr", [&] { return CommSceneautoInitAwbAttr(1); }},
        {"DU_DUZ_ISP_GetAERouteAttr", [&] { return CommSceneautoSetAERoute(1, nullptr); }},
        {"DU_DUZ_ISP_GetWDRMode", [&] { return CommSceneautoGetWDRAttr(1, &wdr); }},
        {"DU_DUZ_ISP_GetDeFogAttr", [&] { return CommSceneautoSetDefogAttr(1, 1); }},
        {"DU_DUZ_ISP_GetDISAttr", [&] { return CommSceneautoGetDISAttr(1, &word); }},
        {"DU_DUZ_ISP_GetColorToneAttr", [&] { return CommSceneautoSetColorToneAttr(1, nullptr); }},
        {"DU_DUZ_ISP_SetRegister", [&] { return CommSceneautoSetRegister(1, 0x205A0900, 1); }},
        {"DU_DUZ_VI_GetDCIParam", [&] { return CommSceneautoSetDCIParam(1, &dci); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        s32 ret = 0;
        std::string out;
        testsupport::capture_stderr([&] { out = testsupport::capture_stdout([&] { ret = c.op(); }); });
        EXPECT_EQ(-1, ret);
        EXPECT_EQ(std::string(c.line) + " failed\n", out);
    }
}

TEST_F(AdapterTest, AWeightListStopsAtTheTable)
{
    struct Case {
        const char *name;
        std::string text;
        s32 count;
        std::vector<u32> first;
    } cases[] = {
        {"decimal", "1,2|3", 3, {1, 2, 3}},
        {"hexadecimal from the third character", "0x0f,0x10|15", 3, {15, 16, 15}},
        {"empty pieces", ",,4||5,", 2, {4, 5}},
        {"nothing", "", 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.count, Weight(c.text.c_str()));
        for (size_t i = 0; i < c.first.size(); i++)
            EXPECT_EQ(c.first[i], MAEWeight[i]) << i;
    }

    std::string many;
    for (int i = 0; i < 200; i++)
        many += std::to_string(i) + (i % 17 == 16 ? "|" : ",");
    EXPECT_EQ(SCENEAUTO_MAE_WEIGHT_NUM, Weight(many.c_str()));
    EXPECT_EQ(127u, MAEWeight[127]);
    EXPECT_EQ(-1, Weight(nullptr));
}

// With the exposure held, the exposure information reports what the sensor
// runs: the held time in whole lines and the held gain on its gain table.
TEST_F(AdapterTest, TheExposureInformationOfAHeldExposure)
{
    run_isp();
    ASSERT_TRUE(run_frames(10));
    AE_EXPOSURE_SETTINGS_S a = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    a.enOpType = 1;
    a.stManual = {1, 1, 1, 1, 10000, 2048, 1024, 1024};
    ASSERT_EQ(0, DU_DUZ_ISP_SetExposureAttr(0, &a));
    ASSERT_TRUE(run_frames(20));

    SCENEAUTO_EXPOSURE_INFO_S info = {};
    ASSERT_EQ(0, CommSceneautoGetExposureInfo(0, &info));
    AE_EXPOSURE_STATUS_S st = {};
    ASSERT_EQ(0, DU_DUZ_ISP_QueryExposureInfo(0, &st));
    EXPECT_NEAR(10000, info.u32ExpTime, 20);
    EXPECT_NEAR(2048, info.u32AGain, 10);
    EXPECT_EQ(1024u, info.u32DGain);
    EXPECT_EQ(1024u, info.u32ISPDGain);
    EXPECT_EQ(st.u32ExpTime, info.u32ExpTime);
    EXPECT_EQ(st.u32AGain, info.u32AGain);
    EXPECT_EQ(st.u32Exposure, info.u32Exposure);
    EXPECT_EQ(st.u32ISO, info.u32ISO);
    EXPECT_EQ(st.u32ExpRatio, info.u32ExpRatio);
    // A frame may pass between the two reads: its noise moves the
    // luminance and the bins (kept in a rounding float form), not the
    // picture's pixel count.
    EXPECT_NEAR(st.u8AveLum, info.u8AveLum, 2);
    EXPECT_GT(info.u8AveLum, 0);
    u64 pixels = 0, status_pixels = 0;
    for (int i = 0; i < 256; i++)
        pixels += info.au32Hist256Value[i], status_pixels += st.au32Hist256Value[i];
    EXPECT_GT(pixels, 0u);
    EXPECT_NEAR((double)status_pixels, (double)pixels, status_pixels * 0.02);
}

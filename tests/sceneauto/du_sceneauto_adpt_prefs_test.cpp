// The user's image preferences as the adapter applies them: each case sets
// preference words, runs one operation and reads back what the platform
// now holds.
#include "tests/sceneauto/adpt_fixture.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/mpi_isp_iq.h"
#include "mpi/video/vi/mpi_vi.h"

#include <array>
#include <functional>

namespace {

AE_EXPOSURE_SETTINGS_S exposure_attr()
{
    AE_EXPOSURE_SETTINGS_S a = {};
    EXPECT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    return a;
}

// The engine's AE record with compensation `c`, set through the adapter.
s32 set_ae(u8 c)
{
    SCENEAUTO_AE_ATTR_S ae = {};
    EXPECT_EQ(0, CommSceneautoGetAEAttr(0, &ae));
    ae.u8Compensation = c;
    return CommSceneautoSetAEAttr(0, &ae);
}

AWB_WB_SETTINGS_S wb_attr()
{
    AWB_WB_SETTINGS_S a = {};
    EXPECT_EQ(0, DU_DUZ_ISP_GetWBAttr(0, &a));
    return a;
}

AWB_WB_SETTINGS_EX_S wb_ex_attr()
{
    AWB_WB_SETTINGS_EX_S a = {};
    EXPECT_EQ(0, DU_DUZ_ISP_GetAWBAttrEx(0, &a));
    return a;
}

void expect_manual_gains(u16 r, u16 gr, u16 gb, u16 b)
{
    AWB_WB_SETTINGS_S a = wb_attr();
    EXPECT_EQ(1u, a.enOpType);
    EXPECT_EQ(r, a.stManual.u16ManualGainR);
    EXPECT_EQ(gr, a.stManual.u16ManualGainGr);
    EXPECT_EQ(gb, a.stManual.u16ManualGainGb);
    EXPECT_EQ(b, a.stManual.u16ManualGainB);
    EXPECT_EQ(5u, wb_ex_attr().u16MultiLSScaler) << "the extended attributes are the automatic balance's";
}

void expect_auto_wb()
{
    AWB_WB_SETTINGS_S a = wb_attr();
    EXPECT_EQ(0u, a.enOpType);
    EXPECT_EQ(5150, a.stAuto.u16RefCT);
    EXPECT_EQ(476, a.stAuto.au16StaticGain[0]);
    EXPECT_EQ(416, a.stAuto.au16StaticGain[3]);
    EXPECT_EQ(64, a.stAuto.u16Speed);
    EXPECT_EQ(128, a.stAuto.u16Zone);
    EXPECT_EQ(15000, a.stAuto.u16CTRangeHigh);
    EXPECT_EQ(1u, a.stAuto.stCTLimit.bEnable);
    EXPECT_EQ(344, a.stAuto.stCTLimit.u16HighRgLimit);
    EXPECT_EQ(464, a.stAuto.stCTLimit.u16LowBgLimit);
    AWB_WB_SETTINGS_EX_S x = wb_ex_attr();
    EXPECT_EQ(24, x.u8BinTolerance);
    EXPECT_EQ(224, x.u16CurveLLimit);
    EXPECT_EQ(288, x.u16CurveRLimit);
    EXPECT_EQ(1u, x.bExtraLightEn);
    EXPECT_EQ(905, x.astLightSource[3].u16WhiteRgain);
    EXPECT_EQ(655, x.astLightSource[3].u16WhiteBgain);
    EXPECT_EQ(16, x.astLightSource[3].u8LightParam);
    EXPECT_EQ(8000, x.stInOrOut.u16HighStop);
    EXPECT_EQ(240, x.u16MultiLSScaler);
    EXPECT_EQ(1u, x.bFineTunEn);
}

// Integration time of route node 1 (the one that holds the frame) and the
// node count.
void expect_route(u32 hold)
{
    AE_ROUTE_TABLE_S r = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttr(0, &r));
    EXPECT_EQ(6u, r.u32TotalNum);
    EXPECT_EQ(hold, r.astRouteNode[1].u32IntTime);
    EXPECT_EQ(hold, r.astRouteNode[4].u32IntTime);
    EXPECT_EQ(40000u, r.astRouteNode[5].u32IntTime);
    EXPECT_EQ(8u, r.astRouteNode[5].enIrisFNO);
}

s32 set_route() { return CommSceneautoSetAERoute(0, nullptr); }

s32 g_app = SCENEAUTO_APP_OTHER;
void in_app(s32 app)
{
    g_app = app;
    sceneauto_register_app_hooks({[] { return g_app; }});
}

s32 set_sharpen()
{
    SCENEAUTO_SHARPEN_S s;
    for (int i = 0; i < 16; i++) {
        s.au8SharpenD[i] = (u8)(10 + i);
        s.au8SharpenUd[i] = (u8)(40 + i);
        s.au8SharpenRGB[i] = (u8)(70 + i);
    }
    return CommSceneautoSetSharpen(0, &s);
}

void expect_sharpen(u32 type, u8 manual)
{
    ISP_SHARPEN_ATTR_S s = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetSharpenAttr(0, &s));
    EXPECT_EQ(type, s.enOpType);
    EXPECT_EQ(manual, s.u8SharpenRGB);
    EXPECT_EQ(10, s.au8SharpenD[0]);
    EXPECT_EQ(55, s.au8SharpenUd[15]);
    EXPECT_EQ(77, s.au8SharpenRGB[7]);
}

s32 set_saturation()
{
    SCENEAUTO_SATURATION_S s = {0, 0, {}};
    for (int i = 0; i < 16; i++)
        s.au8Sat[i] = (u8)(150 - i);
    return CommSceneautoSetSaturation(0, &s);
}

void expect_saturation(u32 type, u8 manual, u8 first_auto)
{
    AWB_SATURATION_SETTINGS_S s = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetSaturationAttr(0, &s));
    EXPECT_EQ(type, s.enOpType);
    EXPECT_EQ(manual, s.u8Saturation);
    EXPECT_EQ(first_auto, s.au8Sat[0]);
}

void expect_tone(u16 r, u16 g, u16 b)
{
    ISP_COLORTONE_S t = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetColorToneAttr(0, &t));
    EXPECT_EQ(r, t.u16RedCastGain);
    EXPECT_EQ(g, t.u16GreenCastGain);
    EXPECT_EQ(b, t.u16BlueCastGain);
}

void expect_contrast(u32 word)
{
    VI_CSC_ATTR_REC_S c = {};
    ASSERT_EQ(0, DU_DUZ_VI_GetCSCAttr(0, &c));
    EXPECT_EQ(word, c.u32ContrVal);
}

void expect_weights(std::initializer_list<std::array<int, 3>> cells)
{
    AE_EXPOSURE_SETTINGS_S a = exposure_attr();
    for (const auto &c : cells)
        EXPECT_EQ(c[2], a.stAuto.au8Weight[c[0]][c[1]]) << "row " << c[0] << " column " << c[1];
}

} // namespace

TEST_F(AdapterTest, PreferencesAsTheAdapterAppliesThem)
{
    struct Case {
        const char *name;
        std::function<void(DvSystemParam &)> pref;
        std::function<s32()> op;
        std::function<void()> check;
    };
    const u16 kSentinel = 77; // neither tone nor sharpen byte any preference gives
    const Case cases[] = {
        // exposure value moves the engine's compensation
        {"EV 0", [](DvSystemParam &p) { p.ExposureValue = 0; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(56, exposure_attr().stAuto.u8Compensation); }},
        {"EV -128 darkens to 0", [](DvSystemParam &p) { p.ExposureValue = -128; }, [] { return set_ae(200); },
         [] { EXPECT_EQ(0, exposure_attr().stAuto.u8Compensation); }},
        {"EV -64 halves", [](DvSystemParam &p) { p.ExposureValue = -64; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(28, exposure_attr().stAuto.u8Compensation); }},
        {"EV -1 truncates toward 0", [](DvSystemParam &p) { p.ExposureValue = -1; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(56, exposure_attr().stAuto.u8Compensation); }},
        {"EV +128 triples", [](DvSystemParam &p) { p.ExposureValue = 128; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(168, exposure_attr().stAuto.u8Compensation); }},
        {"EV +128 stops at 255", [](DvSystemParam &p) { p.ExposureValue = 128; }, [] { return set_ae(200); },
         [] { EXPECT_EQ(255, exposure_attr().stAuto.u8Compensation); }},
        {"EV 129 is ignored", [](DvSystemParam &p) { p.ExposureValue = 129; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(56, exposure_attr().stAuto.u8Compensation); }},
        // strategy, metering and flicker come with every exposure set
        {"low-light priority", [](DvSystemParam &p) { p.ExposureStrategyMode = 1; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(1u, exposure_attr().stAuto.enStrategyMode); }},
        {"strategy 2 is high-light", [](DvSystemParam &p) { p.ExposureStrategyMode = 2; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(0u, exposure_attr().stAuto.enStrategyMode); }},
        {"centre weighted", [](DvSystemParam &p) { p.ExposureMetering = 0; }, [] { return set_ae(56); },
         [] { expect_weights({{0, 0, 0}, {5, 7, 8}, {10, 8, 3}, {13, 16, 1}}); }},
        {"centre spot", [](DvSystemParam &p) { p.ExposureMetering = 1; }, [] { return set_ae(56); },
         [] { expect_weights({{6, 7, 15}, {8, 9, 15}, {5, 8, 0}, {7, 10, 0}}); }},
        {"multi-spot", [](DvSystemParam &p) { p.ExposureMetering = 2; }, [] { return set_ae(56); },
         [] { expect_weights({{2, 1, 15}, {2, 0, 8}, {12, 1, 4}, {14, 8, 0}}); }},
        {"upper", [](DvSystemParam &p) { p.ExposureMetering = 3; }, [] { return set_ae(56); },
         [] { expect_weights({{9, 0, 1}, {14, 16, 1}, {8, 8, 0}}); }},
        {"down", [](DvSystemParam &p) { p.ExposureMetering = 4; }, [] { return set_ae(56); },
         [] { expect_weights({{0, 0, 1}, {5, 16, 1}, {6, 8, 0}}); }},
        {"metering 9 is multi-spot", [](DvSystemParam &p) { p.ExposureMetering = 9; }, [] { return set_ae(56); },
         [] { expect_weights({{2, 1, 15}, {13, 0, 4}}); }},
        {"50 Hz", [](DvSystemParam &p) { p.Lightfrequency = 0; }, [] { return set_ae(56); },
         [] {
             AE_EXPOSURE_SETTINGS_S a = exposure_attr();
             EXPECT_EQ(1u, a.stAuto.stAntiflicker.bEnable);
             EXPECT_EQ(50, a.stAuto.stAntiflicker.u8Frequency);
             EXPECT_EQ(1u, a.stAuto.stAntiflicker.enMode);
         }},
        {"60 Hz", [](DvSystemParam &p) { p.Lightfrequency = 1; }, [] { return set_ae(56); },
         [] { EXPECT_EQ(60, exposure_attr().stAuto.stAntiflicker.u8Frequency); }},
        // contrast of the video input's colour conversion
        {"contrast 1", [](DvSystemParam &p) { p.Contrast = 1; }, [] { return CommSceneManualSetVICSC(0); },
         [] { expect_contrast(45); }},
        {"contrast -1", [](DvSystemParam &p) { p.Contrast = -1; }, [] { return CommSceneManualSetVICSC(0); },
         [] { expect_contrast(45); }},
        {"contrast -128", [](DvSystemParam &p) { p.Contrast = -128; }, [] { return CommSceneManualSetVICSC(0); },
         [] { expect_contrast(0); }},
        {"contrast 128", [](DvSystemParam &p) { p.Contrast = 128; }, [] { return CommSceneManualSetVICSC(0); },
         [] { expect_contrast(90); }},
        // sharpness: 0 automatic, else the manual RGB strength
        {"sharpness 0", [](DvSystemParam &p) { p.Sharpness = 0; }, set_sharpen, [=] { expect_sharpen(0, kSentinel); }},
        {"sharpness -128", [](DvSystemParam &p) { p.Sharpness = -128; }, set_sharpen, [] { expect_sharpen(1, 0); }},
        {"sharpness -1", [](DvSystemParam &p) { p.Sharpness = -1; }, set_sharpen, [] { expect_sharpen(1, 127); }},
        {"sharpness 1", [](DvSystemParam &p) { p.Sharpness = 1; }, set_sharpen, [] { expect_sharpen(1, 128); }},
        {"sharpness 128", [](DvSystemParam &p) { p.Sharpness = 128; }, set_sharpen, [] { expect_sharpen(1, 255); }},
        {"sharpness 200 keeps", [](DvSystemParam &p) { p.Sharpness = 200; }, set_sharpen,
         [=] { expect_sharpen(0, kSentinel); }},
        // saturation, and the colour effects that override it
        {"saturation 0", [](DvSystemParam &p) { p.Saturation = 0; }, set_saturation,
         [] { expect_saturation(0, 33, 150); }},
        {"saturation -128", [](DvSystemParam &p) { p.Saturation = -128; }, set_saturation,
         [] { expect_saturation(1, 0, 33); }},
        {"saturation 128", [](DvSystemParam &p) { p.Saturation = 128; }, set_saturation,
         [] { expect_saturation(1, 255, 33); }},
        {"vivid automatic", [](DvSystemParam &p) { p.ColorEffect = 7; }, set_saturation,
         [] { expect_saturation(0, 33, 176); }},
        {"mono automatic", [](DvSystemParam &p) { p.ColorEffect = 1; }, set_saturation,
         [] { expect_saturation(0, 33, 0); }},
        {"mono, manual saturation", [](DvSystemParam &p) { p.ColorEffect = 1, p.Saturation = 10; }, set_saturation,
         [] { expect_saturation(1, 137, 33); }},
        {"cool keeps the engine's table", [](DvSystemParam &p) { p.ColorEffect = 2; }, set_saturation,
         [] { expect_saturation(0, 33, 150); }},
        {"effect 8 keeps the engine's table", [](DvSystemParam &p) { p.ColorEffect = 8; }, set_saturation,
         [] { expect_saturation(0, 33, 150); }},
        {"standard tone", [](DvSystemParam &p) { p.ColorEffect = 0; },
         [] { return CommSceneautoSetColorToneAttr(0, nullptr); }, [] { expect_tone(256, 256, 256); }},
        {"cool", [](DvSystemParam &p) { p.ColorEffect = 2; }, [] { return CommSceneautoSetColorToneAttr(0, nullptr); },
         [] { expect_tone(240, 256, 272); }},
        {"cooler", [](DvSystemParam &p) { p.ColorEffect = 3; },
         [] { return CommSceneautoSetColorToneAttr(0, nullptr); }, [] { expect_tone(224, 256, 288); }},
        {"warm", [](DvSystemParam &p) { p.ColorEffect = 4; }, [] { return CommSceneautoSetColorToneAttr(0, nullptr); },
         [] { expect_tone(272, 256, 240); }},
        {"warmer", [](DvSystemParam &p) { p.ColorEffect = 5; },
         [] { return CommSceneautoSetColorToneAttr(0, nullptr); }, [] { expect_tone(288, 256, 224); }},
        {"vivid keeps the tone", [](DvSystemParam &p) { p.ColorEffect = 6; },
         [] { return CommSceneautoSetColorToneAttr(0, nullptr); }, [=] { expect_tone(kSentinel, 256, kSentinel); }},
        {"saturated keeps the tone", [](DvSystemParam &p) { p.ColorEffect = 7; },
         [] { return CommSceneautoSetColorToneAttr(0, nullptr); }, [=] { expect_tone(kSentinel, 256, kSentinel); }},
        {"effect 8 keeps the tone", [](DvSystemParam &p) { p.ColorEffect = 8; },
         [] { return CommSceneautoSetColorToneAttr(0, nullptr); }, [=] { expect_tone(kSentinel, 256, kSentinel); }},
        // white balance: presets, customised balances, automatic
        {"balance 0", [](DvSystemParam &p) { p.WhiteBalance = 0; }, [] { return CommSceneautoInitAwbAttr(0); },
         expect_auto_wb},
        {"balance -1", [](DvSystemParam &p) { p.WhiteBalance = -1; }, [] { return CommSceneautoInitAwbAttr(0); },
         expect_auto_wb},
        {"balance 10", [](DvSystemParam &p) { p.WhiteBalance = 10; }, [] { return CommSceneautoInitAwbAttr(0); },
         expect_auto_wb},
        {"preset 1", [](DvSystemParam &p) { p.WhiteBalance = 1; }, [] { return CommSceneautoInitAwbAttr(0); },
         [] { expect_manual_gains(484, 256, 256, 416); }},
        {"preset 3", [](DvSystemParam &p) { p.WhiteBalance = 3; }, [] { return CommSceneautoInitAwbAttr(0); },
         [] { expect_manual_gains(332, 256, 256, 627); }},
        {"preset 6", [](DvSystemParam &p) { p.WhiteBalance = 6; }, [] { return CommSceneautoInitAwbAttr(0); },
         [] { expect_manual_gains(495, 256, 256, 368); }},
        {"customised 1",
         [](DvSystemParam &p) {
             p.WhiteBalance = 7;
             p.CustomizedWhiteBalance[0][0] = 290, p.CustomizedWhiteBalance[0][1] = 250;
             p.CustomizedWhiteBalance[0][2] = 400;
         },
         [] { return CommSceneautoInitAwbAttr(0); }, [] { expect_manual_gains(290, 250, 250, 400); }},
        {"customised 2",
         [](DvSystemParam &p) {
             p.WhiteBalance = 8;
             p.CustomizedWhiteBalance[1][0] = 300, p.CustomizedWhiteBalance[1][1] = 260;
             p.CustomizedWhiteBalance[1][2] = 410;
         },
         [] { return CommSceneautoInitAwbAttr(0); }, [] { expect_manual_gains(300, 260, 260, 410); }},
        {"customised 3",
         [](DvSystemParam &p) {
             p.WhiteBalance = 9;
             p.CustomizedWhiteBalance[2][0] = 512, p.CustomizedWhiteBalance[2][1] = 256;
             p.CustomizedWhiteBalance[2][2] = 333;
         },
         [] { return CommSceneautoInitAwbAttr(0); }, [] { expect_manual_gains(512, 256, 256, 333); }},
        // the exposure route by application and frame rate
        {"mode 1 at 120 fps: A", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE1), p.MovieFrameRate[0] = 0; },
         set_route, [] { expect_route(16667); }},
        {"mode 1 at 60 fps: A", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE1), p.MovieFrameRate[0] = 1; },
         set_route, [] { expect_route(16667); }},
        {"mode 1 at 30 fps: C", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE1), p.MovieFrameRate[0] = 2; },
         set_route, [] { expect_route(33333); }},
        {"mode 1 at 100 fps: B", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE1), p.MovieFrameRate[0] = 3; },
         set_route, [] { expect_route(20000); }},
        {"mode 1 at 50 fps: B", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE1), p.MovieFrameRate[0] = 4; },
         set_route, [] { expect_route(20000); }},
        {"mode 1 at 25 fps: D", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE1), p.MovieFrameRate[0] = 5; },
         set_route, [] { expect_route(40000); }},
        {"mode 2 reads its own rate",
         [](DvSystemParam &p) { in_app(SCENEAUTO_APP_RECMODE2), p.MovieFrameRate[0] = 3, p.MovieFrameRate[1] = 2; },
         set_route, [] { expect_route(33333); }},
        {"photo: always A",
         [](DvSystemParam &p) { in_app(SCENEAUTO_APP_PHOTO), p.MovieFrameRate[0] = p.MovieFrameRate[1] = 3; },
         set_route, [] { expect_route(16667); }},
        {"no application: A", [](DvSystemParam &p) { in_app(SCENEAUTO_APP_OTHER), p.MovieFrameRate[0] = 5; },
         set_route, [] { expect_route(16667); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // What no preference gives, to see what a case leaves alone.
        ISP_SHARPEN_ATTR_S sh = {};
        ASSERT_EQ(0, DU_DUZ_ISP_GetSharpenAttr(0, &sh));
        sh.enOpType = 0;
        sh.u8SharpenRGB = (u8)kSentinel;
        ASSERT_EQ(0, DU_DUZ_ISP_SetSharpenAttr(0, &sh));
        const ISP_COLORTONE_S tone = {kSentinel, 256, kSentinel};
        ASSERT_EQ(0, DU_DUZ_ISP_SetColorToneAttr(0, &tone));
        AWB_SATURATION_SETTINGS_S sat = {};
        ASSERT_EQ(0, DU_DUZ_ISP_GetSaturationAttr(0, &sat));
        sat.u8Saturation = 33;
        for (u8 &v : sat.au8Sat)
            v = 33;
        ASSERT_EQ(0, DU_DUZ_ISP_SetSaturationAttr(0, &sat));
        AWB_WB_SETTINGS_EX_S ex = wb_ex_attr();
        ex.u16MultiLSScaler = 5;
        ASSERT_EQ(0, DU_DUZ_ISP_SetAWBAttrEx(0, &ex));
        memset(&pref_, 0, sizeof pref_);
        in_app(SCENEAUTO_APP_OTHER);

        c.pref(pref_);
        s32 ret = -2;
        testsupport::capture_stdout([&] { ret = c.op(); });
        ASSERT_EQ(0, ret);
        c.check();
    }
}

// The engine reads an exposure record, changes a few fields and sets it
// again (back light, infrared, each FSWDR cycle): whatever the exposure
// value, the compensation the platform holds must not move with that.
TEST_F(AdapterTest, AnExposureRecordReadAndSetAgainKeepsItsCompensation)
{
    struct Case {
        s32 ev;
        u8 compensation; // as the engine set it
    };
    const Case cases[] = {
        {0, 56},    {-128, 200}, {-64, 56}, {-64, 57},  {-64, 58}, {-1, 56},  {1, 200},
        {37, 100},  {64, 60},    {64, 127}, {64, 128},  {128, 56}, {128, 100}, {129, 56},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "EV " << c.ev << ", compensation " << (int)c.compensation);
        pref_.ExposureValue = c.ev;
        ASSERT_EQ(0, set_ae(c.compensation));
        const u8 platform = exposure_attr().stAuto.u8Compensation;
        for (int round = 0; round < 3; round++) {
            SCENEAUTO_AE_ATTR_S ae = {};
            ASSERT_EQ(0, CommSceneautoGetAEAttr(0, &ae));
            ae.u16HistRatioSlope = (u16)(100 + round);
            ASSERT_EQ(0, CommSceneautoSetAEAttr(0, &ae));
            EXPECT_EQ(platform, exposure_attr().stAuto.u8Compensation);
        }
    }

    // Without an exposure value the record reads what the platform holds,
    // whoever set it.
    pref_.ExposureValue = 0;
    AE_EXPOSURE_SETTINGS_S a = exposure_attr();
    a.stAuto.u8Compensation = 77;
    ASSERT_EQ(0, DU_DUZ_ISP_SetExposureAttr(0, &a));
    SCENEAUTO_AE_ATTR_S ae = {};
    ASSERT_EQ(0, CommSceneautoGetAEAttr(0, &ae));
    EXPECT_EQ(77, ae.u8Compensation);
}

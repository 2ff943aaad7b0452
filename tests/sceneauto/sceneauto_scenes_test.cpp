// The special scenes on a running pipeline: what each one changes, and that
// the normal scene puts back every record as it was before the scene. The
// normal thread's cycles are run by the test (the engine initialised, not
// started), so that each scene meets the same exposure.
#include "tests/sceneauto/sceneauto_live.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/mpi_isp_iq.h"
#include "mpi/video/vi/mpi_vi.h"

#include <cstring>
#include <functional>
#include <map>
#include <vector>

using namespace satest;

namespace {

s32 set_scene(u32 scene) { return DU_VUZI_SCENEAUTO_SetSpecialMode(&scene); }

using Bytes = std::vector<u8>;
template <class Rec> Bytes bytes_of(const Rec &r)
{
    const u8 *p = reinterpret_cast<const u8 *>(&r);
    return Bytes(p, p + sizeof r);
}
template <class Rec> Bytes read(s32 (*get)(s32, Rec *))
{
    Rec r;
    memset(&r, 0, sizeof r);
    EXPECT_EQ(0, get(0, &r));
    return bytes_of(r);
}

// Every platform record a scene or the normal thread may write, as the
// platform holds it. With `with_cycle` also what the normal thread retunes
// from the exposure (which DRC raises) in its next cycle: the 3D noise
// reduction and the demosaic slopes.
std::map<std::string, Bytes> platform_records(bool with_cycle)
{
    // The zone weights are left out: every exposure set takes them from the
    // metering preference, and the exposure library's metering moves them.
    AE_EXPOSURE_SETTINGS_S ae = {};
    EXPECT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &ae));
    memset(ae.stAuto.au8Weight, 0, sizeof ae.stAuto.au8Weight);
    ISP_DEMOSAIC_ATTR_S demosaic = {};
    EXPECT_EQ(0, DU_DUZ_ISP_GetDemosaicAttr(0, &demosaic));
    if (!with_cycle)
        demosaic.u8VhSlope = demosaic.u8AaSlope = demosaic.u8VaSlope = demosaic.u8UuSlope = 0;
    std::map<std::string, Bytes> r = {
        {"exposure", bytes_of(ae)},
        {"route", read(DU_DUZ_ISP_GetAERouteAttr)},
        {"route-ex", read(DU_DUZ_ISP_GetAERouteAttrEx)},
        {"WDR exposure", read(DU_DUZ_ISP_GetWDRExposureAttr)},
        {"saturation", read(DU_DUZ_ISP_GetSaturationAttr)},
        {"DCI", read(DU_DUZ_VI_GetDCIParam)},
        {"defect pixels", read(DU_DUZ_ISP_GetDPAttr)},
        {"demosaic", bytes_of(demosaic)},
        {"sharpen", read(DU_DUZ_ISP_GetSharpenAttr)},
        {"gamma", read(DU_DUZ_ISP_GetGammaAttr)},
        {"DRC", read(DU_DUZ_ISP_GetDRCAttr)},
    };
    if (with_cycle)
        r["3DNR"] = bytes_of(nr_block());
    return r;
}

// The records that differ, by name and first differing byte.
std::string differences(const std::map<std::string, Bytes> &a, const std::map<std::string, Bytes> &b)
{
    std::string out;
    for (const auto &kv : a) {
        if (!b.count(kv.first))
            continue;
        const Bytes &other = b.at(kv.first);
        for (size_t i = 0; i < kv.second.size(); i++)
            if (kv.second[i] != other[i]) {
                out += kv.first + " at byte " + std::to_string(i) + ": " + std::to_string(kv.second[i]) + " -> " +
                       std::to_string(other[i]) + "\n";
                break;
            }
    }
    return out;
}

SCENEAUTO_AE_ATTR_S ae_record()
{
    SCENEAUTO_AE_ATTR_S a = {};
    EXPECT_EQ(0, CommSceneautoGetAEAttr(0, &a));
    return a;
}

SCENEAUTO_DRC_ATTR_S drc_record()
{
    SCENEAUTO_DRC_ATTR_S d = {};
    EXPECT_EQ(0, CommSceneautoGetDRCAttr(0, &d));
    return d;
}

// Values of our own in every record, none of them a scene's or the tuning
// image's, so that a way back that set the image's defaults instead of what
// was there shows.
void set_markers()
{
    SCENEAUTO_DEMOSAIC_S d = {{1, 2, 3, 4}, {}};
    for (int i = 0; i < 16; i++)
        d.au8LumThresh[i] = (u8)(80 + 3 * i);
    ASSERT_EQ(0, CommSceneautoSetDemosaic(0, &d));
    const SCENEAUTO_DCI_S dci = {{1, 11, 22, 33}};
    ASSERT_EQ(0, CommSceneautoSetDCIParam(0, &dci));
    SCENEAUTO_SATURATION_S sat = {0, 0, {}};
    for (int i = 0; i < 16; i++)
        sat.au8Sat[i] = (u8)(100 + i);
    ASSERT_EQ(0, CommSceneautoSetSaturation(0, &sat));
    SCENEAUTO_GAMMA_S g = {2, {}};
    for (int i = 0; i < 257; i++)
        g.au16Table[i] = (u16)std::min(4095, i * 15);
    ASSERT_EQ(0, CommSceneautoSetGamma(0, &g));
    SCENEAUTO_DRC_ATTR_S drc = drc_record();
    drc.bEnable = 0;
    drc.bManual = 0;
    drc.u32Strength = 50;
    drc.u32SlopeMax = 60;
    drc.u32SlopeMin = 180;
    drc.u32VarianceSpace = 9;
    drc.u32VarianceIntensity = 3;
    drc.u32WhiteLevel = 1700;
    drc.u32BlackLevel = 5;
    ASSERT_EQ(0, CommSceneautoSetDRCAttr(0, &drc));
    // A route like the sensor's own: five nodes at iris 0.
    const AE_ROUTE_TABLE_S route = {
        5, {{2, 1024, 0}, {10000, 1024, 0}, {10000, 4096, 0}, {30000, 4096, 0}, {30000, 65536, 0}}};
    ASSERT_EQ(0, DU_DUZ_ISP_SetAERouteAttr(0, &route));
    ASSERT_EQ(0, CommSceneautoSetWdrExposureAttr(0, 1500));
    SCENEAUTO_AE_ATTR_S ae = ae_record();
    ae.u8Speed = 99;
    ae.u8Tolerance = 9;
    ae.u16BlackDelayFrame = 7;
    ae.u16WhiteDelayFrame = 8;
    ASSERT_EQ(0, CommSceneautoSetAEAttr(0, &ae));
}

class SpecialScenes : public SceneautoLive {
protected:
    void SetUp() override
    {
        SceneautoLive::SetUp();
        start_pipeline();
        quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    }

    // The normal thread's state at a held exposure: 10 ms at unit gains,
    // status word A 1000 (above both FSWDR on thresholds).
    void reset_cycles()
    {
        sceneauto_normal_reset(s_);
        s_.stInfo = {0, 1024, 1024, 1024, 10000};
        s_.stInfo.u32ISO = 1000;
    }
    void cycles(int n)
    {
        for (int i = 0; i < n; i++)
            quiet([&] { sceneauto_normal_retune(s_); });
    }

    // Our own values, then a normal cycle over them; what the platform
    // holds once the ISP has taken them.
    std::map<std::string, Bytes> normal_state()
    {
        set_markers();
        reset_cycles();
        cycles(1);
        SCENEAUTO_GAMMA_S g = {};
        EXPECT_TRUE(testsupport::wait_until([&] {
            return CommSceneautoGetGamma(0, &g) == 0 && g.au16Table[100] == 1500;
        })) << "the ISP takes the marker gamma with its next frame";
        return platform_records(true);
    }

    SceneautoNormalState s_;
};

} // namespace

// Each special scene, entered from the normal scene and run for six normal
// cycles: it changes what it is for, and the normal scene puts back every
// record as it was before, at once; the normal thread's next cycle puts
// back its 3D noise reduction too.
TEST_F(SpecialScenes, LeavingAnySceneRestoresEveryRecordItChanged)
{
    const SCENEAUTO_INIPARA_S &iq = g_stINIPara;
    struct Case {
        const char *name;
        u32 scene;
        std::function<void()> changed; // what the scene is for, checked in it
    };
    const Case cases[] = {
        {"back light", 1,
         [] {
             EXPECT_EQ(32, ae_record().u8MaxHistOffset);
             EXPECT_EQ(64, ae_record().u16HistRatioSlope);
         }},
        {"infrared", 2,
         [] {
             SCENEAUTO_DEMOSAIC_S d = {};
             ASSERT_EQ(0, CommSceneautoGetDemosaic(0, &d));
             for (u8 v : d.au8LumThresh)
                 EXPECT_EQ(96, v);
             u16 slope = 0;
             ASSERT_EQ(0, CommSceneautoGetDP(0, &slope));
             EXPECT_EQ(768, slope);
         }},
        {"highlight", 3,
         [] {
             const SCENEAUTO_DRC_ATTR_S d = drc_record();
             EXPECT_EQ(1u, d.bEnable);
             EXPECT_EQ(100u, d.u32Strength);
             EXPECT_EQ(16, ae_record().u8Compensation);
         }},
        {"fast dynamic route", 4,
         [] {
             AE_ROUTE_TABLE_S r = {};
             ASSERT_EQ(0, DU_DUZ_ISP_GetAERouteAttr(0, &r));
             const u32 want[7][2] = {{2, 1024},    {2000, 1024},  {2000, 2048},    {5000, 2048},
                                     {5000, 5120}, {40000, 5120}, {40000, 16777216}};
             ASSERT_EQ(7u, r.u32TotalNum);
             for (int i = 0; i < 7; i++) {
                 EXPECT_EQ(want[i][0], r.astRouteNode[i].u32IntTime) << i;
                 EXPECT_EQ(want[i][1], r.astRouteNode[i].u32SysGain) << i;
             }
         }},
        {"DRC", 5,
         [] {
             const SCENEAUTO_DRC_ATTR_S d = drc_record();
             EXPECT_EQ(1u, d.bEnable);
             EXPECT_EQ(1u, d.bManual);
             EXPECT_EQ(128u, d.u32Strength);
             EXPECT_EQ(56u, d.u32SlopeMax);
             EXPECT_EQ(192u, d.u32SlopeMin);
             EXPECT_EQ(10u, d.u32VarianceSpace);
             EXPECT_EQ(4u, d.u32VarianceIntensity);
             EXPECT_EQ(1791u, d.u32WhiteLevel);
             EXPECT_EQ(0u, d.u32BlackLevel);
         }},
        {"automatic FSWDR, six bright cycles", 6, [] { EXPECT_EQ(1, ae_record().u8FSWDRMode); }},
        {"FSWDR on", 7, [] { EXPECT_EQ(1, ae_record().u8FSWDRMode); }},
        {"FSWDR off: the image's ratio bias from its third cycle", 8,
         [&iq] {
             u16 bias = 0;
             ASSERT_EQ(0, CommSceneautoGetWdrExposureAttr(0, &bias));
             EXPECT_EQ(iq.u16RatioBias, bias);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::map<std::string, Bytes> before = normal_state(), before_at_once = platform_records(false);
        ASSERT_EQ(0, quiet_result([&] { return set_scene(c.scene); }));
        cycles(6);
        c.changed();
        EXPECT_NE(before, platform_records(true)) << "the scene changed nothing";

        ASSERT_EQ(0, quiet_result([] { return set_scene(0); }));
        std::map<std::string, Bytes> back;
        EXPECT_TRUE(testsupport::wait_until([&] {
            back = platform_records(false);
            return back == before_at_once;
        }, 3)) << differences(before_at_once, back);

        cycles(1);
        back = platform_records(true);
        EXPECT_EQ("", differences(before, back));
    }
}

// A scene that fails half-way from the normal scene leaves the normal scene
// as it was: infrared sets exposure and DCI, then its defect-pixel slope is
// refused.
TEST_F(SpecialScenes, ASceneThatFailsHalfWayIsUndone)
{
    const std::map<std::string, Bytes> before = normal_state();
    g_stINIPara.stIR.u16DpSlope = 0x1000; // above what the ISP takes
    std::string out;
    s32 ret = 0;
    out = quiet([&] { ret = set_scene(2); });
    EXPECT_EQ(-1, ret);
    EXPECT_TRUE(has(out, "CommSceneautoSetDP failed\n")) << out;
    u32 scene = 9;
    ASSERT_EQ(0, DU_VUZI_SCENEAUTO_GetSpecialMode(&scene));
    EXPECT_EQ(0u, scene);
    EXPECT_EQ("", differences(before, platform_records(true)));

    // Between two special scenes nothing is undone before the way back:
    // the way back puts back what came before the first.
    g_stINIPara.stIR.u16DpSlope = 768;
    ASSERT_EQ(0, quiet_result([] { return set_scene(1); }));
    g_stINIPara.stIR.u16DpSlope = 0x1000;
    EXPECT_EQ(-1, quiet_result([] { return set_scene(2); }));
    ASSERT_EQ(0, DU_VUZI_SCENEAUTO_GetSpecialMode(&scene));
    EXPECT_EQ(1u, scene);
    ASSERT_EQ(0, quiet_result([] { return set_scene(0); }));
    EXPECT_EQ("", differences(before, platform_records(true)));
}
// The fast dynamic scene's route reaches the exposure: in daylight the
// picture is made with a short integration time and more gain, and the
// normal scene's route brings the long time back.
TEST_F(SpecialScenes, TheFastRouteTradesIntegrationTimeForGain)
{
    sim::with_world([](sim::World &w) { w.scene_brightness = 1.0; });
    auto exposure = [] {
        SCENEAUTO_EXPOSURE_INFO_S i = {};
        EXPECT_EQ(0, CommSceneautoGetExposureInfo(0, &i));
        return i;
    };
    auto gain = [](const SCENEAUTO_EXPOSURE_INFO_S &i) { return (double)i.u32AGain * i.u32DGain / (1024.0 * 1024.0); };
    // The route before: at this light 1x gain and an integration time
    // above the fast route's 5 ms.
    SCENEAUTO_EXPOSURE_INFO_S i = {};
    ASSERT_TRUE(testsupport::wait_until([&] {
        i = exposure();
        return i.u32ExpTime > 10000 && gain(i) < 1.1;
    })) << i.u32ExpTime << " us at " << gain(i) << "x";
    const double before = i.u32ExpTime * gain(i);

    ASSERT_EQ(0, quiet_result([] { return set_scene(4); }));
    EXPECT_TRUE(testsupport::wait_until([&] {
        i = exposure();
        return i.u32ExpTime < 7000 && gain(i) > 2;
    })) << i.u32ExpTime << " us at " << gain(i) << "x";
    EXPECT_NEAR(before, i.u32ExpTime * gain(i), before * 0.25) << "the same light, the same exposure";

    ASSERT_EQ(0, quiet_result([] { return set_scene(0); }));
    EXPECT_TRUE(testsupport::wait_until([&] {
        i = exposure();
        return i.u32ExpTime > 10000 && gain(i) < 1.1;
    })) << i.u32ExpTime << " us at " << gain(i) << "x";
}

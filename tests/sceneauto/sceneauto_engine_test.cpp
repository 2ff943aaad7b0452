// The scene auto-tuning engine on a running pipeline: its lifecycle, the
// special scenes, what one exposure retunes, the picture it makes while the
// light changes, and a stop that meets the highlight ramp.
#include "tests/sceneauto/sceneauto_live.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/mpi_isp.h"
#include "mpi/common/video_frame_requests.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

using namespace satest;

namespace {

const std::vector<std::string> kBothThreads = {"SceneautoNormal", "SceneautoSpecia"};

s32 set_scene(u32 scene) { return DU_VUZI_SCENEAUTO_SetSpecialMode(&scene); }

SCENEAUTO_AE_ATTR_S ae_record()
{
    SCENEAUTO_AE_ATTR_S a = {};
    EXPECT_EQ(0, CommSceneautoGetAEAttr(0, &a));
    return a;
}

// The two noise-profile register images as the ISP holds them.
std::vector<u8> noise_profile_registers()
{
    std::vector<u8> out(256);
    for (u32 image = 0; image < 2; image++)
        for (u32 at = 0; at < 128; at += 4) {
            u32 v = 0;
            EXPECT_EQ(0, DU_DUZ_ISP_GetRegister(0, (image ? 0x205A0C00 : 0x205A0900) + at, &v));
            memcpy(&out[image * 128 + at], &v, 4);
        }
    return out;
}
std::vector<u8> profile_image(const u8 (&p)[2][128]) { return std::vector<u8>(&p[0][0], &p[0][0] + 256); }

// Whether the ISP's gamma table becomes `table` (it takes a new one with
// its next frame).
bool gamma_becomes(const u16 (&table)[257])
{
    return testsupport::wait_until([&] {
        SCENEAUTO_GAMMA_S g = {};
        return CommSceneautoGetGamma(0, &g) == 0 && !memcmp(g.au16Table, table, sizeof table);
    });
}

u16 dp_slope()
{
    u16 v = 0;
    EXPECT_EQ(0, CommSceneautoGetDP(0, &v));
    return v;
}

bool same_nr(const VPSS_NR_V3_PARAM_REC_S &a, const VPSS_NR_V3_PARAM_REC_S &b) { return !memcmp(&a, &b, sizeof a); }

// Mean temporal standard deviation of the luma in the middle 64 x 64 tile of
// processing channel 1 over `frames` frames: the picture's noise.
double temporal_noise(int frames = 12)
{
    constexpr int side = 64;
    std::vector<double> s(side * side), s2(side * side);
    int got = 0;
    for (int k = 0; k < frames; k++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // a new frame each time
        VIDEO_FRAME_REC_S f = {};
        if (DU_DUZ_VPSS_GetChnFrame(0, 1, &f, 2000) != 0)
            continue;
        const u8 *y = static_cast<const u8 *>(f.pVirAddr[0]);
        for (int r = 0; r < side; r++)
            for (int x = 0; x < side; x++) {
                const double v = y[(f.u32Height / 2 - side / 2 + r) * f.u32Stride[0] + f.u32Width / 2 - side / 2 + x];
                s[r * side + x] += v;
                s2[r * side + x] += v * v;
            }
        DU_DUZ_VPSS_ReleaseChnFrame(0, 1, &f);
        got++;
    }
    EXPECT_GE(got, frames - 1);
    double sd = 0;
    for (int i = 0; i < side * side; i++) {
        const double m = s[i] / got;
        sd += std::sqrt(std::max(0.0, (s2[i] / got - m * m) * got / (got - 1)));
    }
    return sd / (side * side);
}

SCENEAUTO_EXPOSURE_INFO_S exposure_info()
{
    SCENEAUTO_EXPOSURE_INFO_S i = {};
    EXPECT_EQ(0, CommSceneautoGetExposureInfo(0, &i));
    return i;
}

} // namespace

class SceneautoEngine : public SceneautoLive {
protected:
    void TearDown() override
    {
        SceneautoLive::TearDown();
        g_stINIPara.stThreshValue.u32HLCAutoEnable = 0;
        sim::with_world([](sim::World &w) { w = sim::World(); });
    }
};

TEST_F(SceneautoEngine, Lifecycle)
{
    start_pipeline();
    struct Step {
        const char *name;
        s32 (*call)(void);
        s32 result;
        std::vector<const char *> says; // in this order
        size_t threads;
    } steps[] = {
        {"stop before init", DU_VUZI_SCENEAUTO_Stop, 0, {"VUZI SCENEAUTO Module has been stopped already!\n"}, 0},
        {"deinit before init", DU_VUZI_SCENEAUTO_DeInit, 0, {"VUZI SCENEAUTO Module has not been inited !\n"}, 0},
        {"start before init", DU_VUZI_SCENEAUTO_Start, -1, {"DU_VUZI_SCENEAUTO_Start,line:"}, 0},
        {"a scene before init", [] { return set_scene(1); }, -1, {"please init sceneauto first!\n"}, 0},
        {"init",
         [] { return DU_VUZI_SCENEAUTO_Init("/dv/iq_config/sceneauto_34220.ini"); },
         0,
         {"Sceneauto_LoadIQPara linear start\n", "VUZI SCENUAUTO Module has been inited successfully!\n"},
         0},
        {"init again",
         [] { return DU_VUZI_SCENEAUTO_Init("/dv/iq_config/sceneauto_34220.ini"); },
         0,
         {"VUZI SCENEAUTO Module has been inited already\n"},
         0},
        {"init without a path", [] { return DU_VUZI_SCENEAUTO_Init(nullptr); }, -1, {", NULL pointer\n"}, 0},
        {"stop before start", DU_VUZI_SCENEAUTO_Stop, 0, {"VUZI SCENEAUTO Module has been stopped already!\n"}, 0},
        {"start",
         DU_VUZI_SCENEAUTO_Start,
         0,
         {"stAERoute.u32TotalNum = 6\n", "VUZI SCENEAUTO Module has been started successfully!\n"},
         2},
        {"start again", DU_VUZI_SCENEAUTO_Start, 0, {"VUZI SCENEAUTO Module is start already!\n"}, 2},
        {"scene 9", [] { return set_scene(9); }, -1, {"*peSpecialScene = 9\n", "error input! unknow special scene!"}, 2},
        {"no scene", [] { return DU_VUZI_SCENEAUTO_SetSpecialMode(nullptr); }, -1, {", NULL pointer\n"}, 2},
        {"stop", DU_VUZI_SCENEAUTO_Stop, 0, {"VUZI SCENEAUTO Module has been stopped successfully!\n"}, 0},
        {"stop again", DU_VUZI_SCENEAUTO_Stop, 0, {"VUZI SCENEAUTO Module has been stopped already!\n"}, 0},
        {"start after a stop", DU_VUZI_SCENEAUTO_Start, 0, {"started successfully!\n"}, 2},
        // De-initialising a started engine stops it, so that the next start
        // really starts.
        {"deinit while started", DU_VUZI_SCENEAUTO_DeInit, 0, {"VUZI SCENEAUTO Module has been deinited successfully!\n"}, 0},
        {"init and start again",
         [] { return DU_VUZI_SCENEAUTO_Init("x") | DU_VUZI_SCENEAUTO_Start(); },
         0,
         {"inited successfully!\n", "VUZI SCENEAUTO Module has been started successfully!\n"},
         2},
        {"deinit", DU_VUZI_SCENEAUTO_DeInit, 0, {"deinited successfully!\n"}, 0},
        {"deinit again", DU_VUZI_SCENEAUTO_DeInit, 0, {"VUZI SCENEAUTO Module has not been inited !\n"}, 0},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        s32 ret = 0;
        std::string out = quiet([&] { ret = s.call(); });
        EXPECT_EQ(s.result, ret);
        size_t at = 0;
        for (const char *says : s.says) {
            at = out.find(says, at);
            EXPECT_NE(std::string::npos, at) << says << " in:\n" << out;
        }
        // A new thread names itself once it runs.
        const std::vector<std::string> want = s.threads ? kBothThreads : std::vector<std::string>{};
        EXPECT_TRUE(testsupport::wait_until([&] { return engine_threads() == want; }))
            << engine_threads().size() << " threads";
    }
}

// Scenes switch whether or not the engine runs; here it does not, so only the
// setters write.
TEST_F(SceneautoEngine, SpecialScenesAndTheWayBack)
{
    start_pipeline();
    quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    const SCENEAUTO_AE_ATTR_S before = ae_record();
    SCENEAUTO_GAMMA_S gamma_before = {};
    ASSERT_EQ(0, CommSceneautoGetGamma(0, &gamma_before));
    SCENEAUTO_SATURATION_S sat_before = {};
    ASSERT_EQ(0, CommSceneautoGetSaturation(0, &sat_before));

    // Back-light: the histogram fields and nothing else of the record.
    ASSERT_EQ(0, set_scene(1));
    SCENEAUTO_AE_ATTR_S blc = ae_record();
    EXPECT_EQ(32, blc.u8MaxHistOffset);
    EXPECT_EQ(64, blc.u16HistRatioSlope);
    SCENEAUTO_AE_ATTR_S expect = before;
    expect.u8MaxHistOffset = blc.u8MaxHistOffset;
    expect.u16HistRatioSlope = blc.u16HistRatioSlope;
    // Any set takes these two from the user's preferences.
    expect.u8AEStrategyMode = blc.u8AEStrategyMode;
    memcpy(expect.au8Weight, blc.au8Weight, sizeof blc.au8Weight);
    EXPECT_EQ(0, memcmp(&expect, &blc, sizeof blc));

    // The current scene again: no setter runs, so a change made since stays.
    SCENEAUTO_AE_ATTR_S moved = blc;
    moved.u16HistRatioSlope = 99;
    ASSERT_EQ(0, CommSceneautoSetAEAttr(0, &moved));
    std::string out = quiet([] { EXPECT_EQ(0, set_scene(1)); });
    EXPECT_EQ("*peSpecialScene = 1\n", out);
    EXPECT_EQ(99, ae_record().u16HistRatioSlope);
    u32 scene = 0;
    ASSERT_EQ(0, DU_VUZI_SCENEAUTO_GetSpecialMode(&scene));
    EXPECT_EQ(1u, scene);

    // Highlight compensation moves gamma and saturation; the normal scene
    // puts back what was there before the back-light scene, the change made
    // in between included.
    quiet([] { ASSERT_EQ(0, set_scene(3)); });
    EXPECT_TRUE(gamma_becomes(g_stINIPara.stHLC.au16Gamma));
    SCENEAUTO_SATURATION_S sat = {};
    ASSERT_EQ(0, CommSceneautoGetSaturation(0, &sat));
    EXPECT_EQ(0, memcmp(sat.au8Sat, g_stINIPara.stHLC.au8Sat, sizeof sat.au8Sat));

    quiet([] { ASSERT_EQ(0, set_scene(0)); });
    EXPECT_TRUE(gamma_becomes(gamma_before.au16Table));
    ASSERT_EQ(0, CommSceneautoGetSaturation(0, &sat));
    EXPECT_EQ(0, memcmp(&sat_before, &sat, sizeof sat));
    const SCENEAUTO_AE_ATTR_S back = ae_record();
    EXPECT_EQ(before.u16HistRatioSlope, back.u16HistRatioSlope);
    EXPECT_EQ(before.u8MaxHistOffset, back.u8MaxHistOffset);
    EXPECT_EQ(before.u8Compensation, back.u8Compensation);
    EXPECT_EQ(before.u8Speed, back.u8Speed);
    EXPECT_EQ(before.u16BlackDelayFrame, back.u16BlackDelayFrame);
}

// One exposure as the normal thread reads it, and what the cycle sends.
TEST_F(SceneautoEngine, TheExposureChoosesNoiseReductionAndTheNoiseProfile)
{
    start_pipeline();
    quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    const SCENEAUTO_INIPARA_S &iq = g_stINIPara;
    struct Case {
        const char *name;
        u32 time, again, dgain, ispdgain;
        u32 exposure, iso;
        bool profile_b;
        u16 dp;
    } cases[] = {
        {"10 ms at twice the gain", 10000, 2048, 1024, 1024, 20000, 200, false, 0},
        {"the noise profile's low bound", 5000, 1024, 1024, 1024, 5000, 100, true, 0},
        {"its high bound", 4000, 4096, 1024, 1024, 16000, 400, true, 0},
        {"just above it", 16001, 1024, 1024, 1024, 16001, 100, false, 0},
        {"just below the low bound", 4999, 1024, 1024, 1024, 4999, 100, false, 0},
        {"between ISO points", 10000, 5120, 1024, 1024, 50000, 500, false, 32},
        {"gains in whole steps", 20000, 1536, 1024, 1536, 40000, 200, false, 0},
        {"long and high", 40000, 8192, 2048, 1024, 640000, 1600, false, 64},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SceneautoNormalState s;
        sceneauto_normal_reset(s);
        s.stInfo.u32ExpTime = c.time;
        s.stInfo.u32AGain = c.again;
        s.stInfo.u32DGain = c.dgain;
        s.stInfo.u32ISPDGain = c.ispdgain;
        quiet([&] { sceneauto_normal_retune(s); });
        EXPECT_EQ(c.exposure, s.u32Exp);
        EXPECT_EQ(c.iso, s.u32Iso);

        // The 3DNR record sent is the blend of the two ISO points around it.
        const SCENEAUTO_INI3DNR_S &t = iq.stIni3dnr;
        u32 k = 1;
        while (k < t.u32Count - 1 && t.au32Iso[k] < c.iso)
            k++;
        SCENEAUTO_3DNR_PARAM_S want = {};
        Interpolate(&want, c.iso, &t.astSet[k - 1], t.au32Iso[k - 1], &t.astSet[k], t.au32Iso[k]);
        EXPECT_EQ(0, memcmp(&want, &s.st3dnr, sizeof want));
        if (t.au32Iso[k] == c.iso) { // a point of the table gives its set exactly
            EXPECT_EQ(0, memcmp(&t.astSet[k], &s.st3dnr, sizeof want));
        }
        const VPSS_NR_V3_PARAM_REC_S sent = nr_block();
        ASSERT_EQ(0, Sceneauto_Set3DNR(0, &want));
        EXPECT_TRUE(same_nr(sent, nr_block()));

        EXPECT_EQ(profile_image(c.profile_b ? iq.stIniNRProfile.au8ProfileB : iq.stIniNRProfile.au8ProfileA),
                  noise_profile_registers());
        EXPECT_EQ(c.dp, dp_slope());
    }
}

// Infrared writes defect pixels, sharpening and demosaic of its own; back in
// the normal scene the next cycle applies the normal levels again, though
// neither the exposure nor the bit rate moved.
TEST_F(SceneautoEngine, BackFromInfraredTheNormalLevelsReturn)
{
    start_pipeline();
    quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    const SCENEAUTO_INIPARA_S &iq = g_stINIPara;
    SceneautoNormalState s;
    sceneauto_normal_reset(s);
    s.stInfo = {0, 1024, 1024, 1024, 10000};
    auto cycle = [&] { quiet([&] { sceneauto_normal_retune(s); }); };
    auto sharpen = [] {
        SCENEAUTO_SHARPEN_S sh = {};
        EXPECT_EQ(0, CommSceneautoGetSharpen(0, &sh));
        return std::vector<u8>(reinterpret_cast<u8 *>(&sh), reinterpret_cast<u8 *>(&sh) + sizeof sh);
    };
    auto demosaic = [] {
        SCENEAUTO_DEMOSAIC_S d = {};
        EXPECT_EQ(0, CommSceneautoGetDemosaic(0, &d));
        return std::vector<u8>(d.au8Slope, d.au8Slope + sizeof d.au8Slope);
    };
    cycle();
    const u16 normal_dp = dp_slope();
    const std::vector<u8> normal_sharpen = sharpen(), normal_demosaic = demosaic();
    EXPECT_EQ(iq.stIniDP.au16Slope[s.u32DpLevel], normal_dp);

    quiet([] { ASSERT_EQ(0, set_scene(2)); });
    cycle();
    EXPECT_EQ(iq.stIR.u16DpSlope, dp_slope());
    EXPECT_NE(normal_sharpen, sharpen());

    quiet([] { ASSERT_EQ(0, set_scene(0)); });
    cycle();
    EXPECT_EQ(normal_dp, dp_slope());
    EXPECT_EQ(normal_sharpen, sharpen());
    EXPECT_EQ(normal_demosaic, demosaic());
}

// The camera's case: the light falls while it records, and the engine follows.
TEST_F(SceneautoEngine, DimmingTheSceneRetunes)
{
    sim::with_world([](sim::World &w) {
        w.scene_grey = true;
        w.scene_brightness = 1.0;
    });
    start_pipeline();
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the exposure settles
    std::string out;
    testsupport::capture_stderr([&] {
        out = testsupport::capture_stdout([&] {
            ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x"));
            ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Start());
            std::this_thread::sleep_for(std::chrono::seconds(2)); // a cycle or two
            const VPSS_NR_V3_PARAM_REC_S bright_nr = nr_block();
            const std::vector<u8> bright_np = noise_profile_registers();
            const u16 bright_dp = dp_slope();
            const u32 bright_e = sceneauto_exposure(exposure_info());

            sim::with_world([](sim::World &w) { w.scene_brightness = 0.05; });
            // The exposure follows over a few frames, the engine within its
            // next cycle: all three move.
            EXPECT_TRUE(testsupport::wait_until(
                [&] {
                    return !same_nr(bright_nr, nr_block()) && noise_profile_registers() != bright_np &&
                           dp_slope() != bright_dp;
                },
                15))
                << "exposure " << bright_e << " -> " << sceneauto_exposure(exposure_info());
            EXPECT_GT(sceneauto_exposure(exposure_info()), bright_e);
        });
    });
    // One bit rate all along: its rate control was set once.
    EXPECT_EQ(1u, testsupport::occurrences(out, "CommSceneautoSetH264RcParam,DU_DUZ_VENC_SetRcParam")) << out;
}

// In a dim scene at a held gain, the engine's noise reduction makes a
// calmer picture than the processing group's own settings.
TEST_F(SceneautoEngine, TheNoiseStaysLowerThanWithTheEngineOff)
{
    sim::with_world([](sim::World &w) {
        w.scene_grey = true;
        w.scene_brightness = 0.05;
    });
    start_pipeline();
    ASSERT_EQ(0, DU_DUZ_VPSS_SetDepth(0, 1, 1));
    std::this_thread::sleep_for(std::chrono::seconds(3)); // the exposure settles
    quiet([] { ASSERT_EQ(0, CommSceneautoLockAE(1)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const SCENEAUTO_EXPOSURE_INFO_S held = exposure_info();
    const double without = temporal_noise();

    start_engine();
    std::this_thread::sleep_for(std::chrono::seconds(3)); // its first cycles
    const double with = temporal_noise();
    const SCENEAUTO_EXPOSURE_INFO_S still = exposure_info();
    EXPECT_EQ(held.u32ExpTime, still.u32ExpTime);
    EXPECT_EQ(sceneauto_exposure(held), sceneauto_exposure(still));
    // The engine's gamma and sharpening lift the noise too; its temporal
    // filter more than takes that back.
    EXPECT_LT(with, without * 0.85) << "with the engine " << with << ", without " << without;
}

// Stop meets the special thread in its highlight ramp (which holds the scene
// lock for most of a second) or waiting for that lock: it returns.
TEST_F(SceneautoEngine, StopDuringAHighlightRampReturns)
{
    // A dark picture at a short exposure: the histogram's lowest bins fill.
    sim::with_world([](sim::World &w) { w.scene_brightness = 0.02; });
    start_pipeline();
    AE_EXPOSURE_SETTINGS_S a = {};
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    a.enOpType = 1;
    a.stManual = {1, 1, 1, 1, 100, 1024, 1024, 1024};
    ASSERT_EQ(0, DU_DUZ_ISP_SetExposureAttr(0, &a));
    quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
    g_stINIPara.stThreshValue.u32HLCAutoEnable = 1;
    const SCENEAUTO_THRESHVALUE_S &t = g_stINIPara.stThreshValue;
    EXPECT_TRUE(testsupport::wait_until([&] {
        const SCENEAUTO_EXPOSURE_INFO_S info = exposure_info();
        u32 dark = 0;
        for (int i = 0; i < 4; i++)
            dark += info.au32Hist256Value[i];
        return dark > t.u32HLCOnHist && sceneauto_exposure(info) < t.u32HLCExpMax;
    })) << "exposure " << sceneauto_exposure(exposure_info());

    // Stop from a thread of its own; a Stop that doesn't return ends the run
    // (nothing can recover a thread stuck on the engine's locks).
    auto stop_in_time = [](std::function<void()> meanwhile) {
        auto stop = std::async(std::launch::async, [] { return quiet([] { DU_VUZI_SCENEAUTO_Stop(); }); });
        meanwhile();
        if (stop.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "Stop did not return";
            std::abort();
        }
        return stop.get();
    };
    auto in_ramp = [] {
        SCENEAUTO_DRC_ATTR_S d = {};
        return CommSceneautoGetDRCAttr(0, &d) == 0 && d.bEnable == 1 && d.u32Strength > 0 && d.u32Strength < 100;
    };
    for (int round = 0; round < 6; round++) {
        SCOPED_TRACE(round);
        quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Start()); });
        std::string out;
        if (round % 2 == 0) {
            // In the ramp: the strength climbs 1 to 127, 5 ms a step, while
            // the special thread holds the scene lock.
            EXPECT_TRUE(testsupport::wait_until(in_ramp));
            std::this_thread::sleep_for(std::chrono::milliseconds(round * 50));
            out = stop_in_time([] {});
        } else {
            // Stop first in line for the scene lock, the special thread
            // next: Stop must not wait for that thread while it holds the
            // lock the thread waits for. (The thread takes the lock in
            // its first poll at once, then every 40 ms.)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pthread_mutex_lock(&g_stSceneautoLock);
            out = stop_in_time([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(150)); // both queue up
                pthread_mutex_unlock(&g_stSceneautoLock);
            });
        }
        EXPECT_TRUE(has(out, "stopped successfully")) << out;
        EXPECT_TRUE(engine_threads().empty());
        // The next round starts from highlight compensation off.
        SCENEAUTO_DRC_ATTR_S d = {};
        ASSERT_EQ(0, CommSceneautoGetDRCAttr(0, &d));
        d.bEnable = 0;
        d.u32Strength = 0;
        ASSERT_EQ(0, CommSceneautoSetDRCAttr(0, &d));
    }
}

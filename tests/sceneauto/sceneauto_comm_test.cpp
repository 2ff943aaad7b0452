// The adapter operations the camera calls directly: the contrast from the
// user's preference into the video input's colour conversion, every other
// word kept; the exposure and white-balance locks on the running ISP; and
// the scene auto-tuning entry points while its engine is missing.
#include "sceneauto/sceneauto_comm.h"
#include "tests/support/board_fixture.h"

#include "app/pref.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/isp_ctx.h"
#include "mpi/video/vi/mpi_vi.h"
#include "recorder/dv_config.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "tests/sceneauto/own_prefs.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <vector>
#include <thread>

namespace {

class ViContrast : public BoardTest {
protected:
    OwnPrefs own_;
    DvSystemParam &pref_ = own_.pref;
};

} // namespace

TEST_F(ViContrast, ContrastWordFromThePreference)
{
    struct Case {
        const char *name;
        s32 contrast;
        u32 word;
    } cases[] = {
        {"0 is neutral", 0, 45},     {"1", 1, 45},         {"-1", -1, 45},
        {"-128", -128, 0},           {"128", 128, 90},     {"64", 64, 67},
        {"-100 truncates", -100, 10}, {"129 keeps", 129, 77}, {"-129 keeps", -129, 77},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VI_CSC_ATTR_REC_S csc = {1, 52, 77, 48, 55, 0};
        ASSERT_EQ(0, DU_DUZ_VI_SetCSCAttr(0, &csc));
        pref_.Contrast = c.contrast;
        EXPECT_EQ(0, CommSceneManualSetVICSC(0));
        VI_CSC_ATTR_REC_S got;
        ASSERT_EQ(0, DU_DUZ_VI_GetCSCAttr(0, &got));
        EXPECT_EQ(c.word, got.u32ContrVal);
        EXPECT_EQ(1u, got.enViCscType);
        EXPECT_EQ(52u, got.u32LumaVal);
        EXPECT_EQ(48u, got.u32HueVal);
        EXPECT_EQ(55u, got.u32SatuVal);
    }
}

TEST_F(ViContrast, AFailedReadWritesNothing)
{
    VI_CSC_ATTR_REC_S csc = {0, 50, 45, 50, 50, 0};
    ASSERT_EQ(0, DU_DUZ_VI_SetCSCAttr(0, &csc));
    pref_.Contrast = 128;
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(-1, CommSceneManualSetVICSC(1)); });
    EXPECT_EQ("DU_DUZ_VI_GetCSCAttr failed!s32Ret =0x a0108001\n", out);
    VI_CSC_ATTR_REC_S got;
    ASSERT_EQ(0, DU_DUZ_VI_GetCSCAttr(0, &got));
    EXPECT_EQ(45u, got.u32ContrVal);
}

namespace {

// The ISP running at 1080p60 with its 3A libraries, as the recording engine
// starts it.
class SceneLocks : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        KX_DV_Set1080DefaultDvCfg();
        testsupport::capture_stdout([] {
            ASSERT_EQ(0, KX_DV_ISP_Init());
            ASSERT_EQ(0, KX_DV_ISP_Run());
        });
        u32RecModeFlag = DV_STATE_ISP;
        ASSERT_TRUE(run_frames(30));
    }
    void TearDown() override
    {
        KX_DV_ISP_Stop();
        u32RecModeFlag = 0;
        sim::with_world([](sim::World &w) { w = sim::World(); });
    }

    static u32 frames() { return __atomic_load_n(&g_astIspCtx[0].u32FrameCnt, __ATOMIC_RELAXED); }
    static bool run_frames(u32 n)
    {
        const u32 until = frames() + n;
        for (int i = 0; i < 3000 && frames() < until; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return frames() >= until;
    }
    static AE_EXPOSURE_STATUS_S exposure()
    {
        AE_EXPOSURE_STATUS_S s = {};
        EXPECT_EQ(0, DU_DUZ_ISP_QueryExposureInfo(0, &s));
        return s;
    }
    static AWB_WB_STATUS_S balance()
    {
        AWB_WB_STATUS_S s = {};
        EXPECT_EQ(0, DU_DUZ_ISP_QueryWBInfo(0, &s));
        return s;
    }
};

} // namespace

// Locked, the exposure holds what it had while the scene gets four times
// brighter; unlocked, it follows again.
TEST_F(SceneLocks, TheExposureLockFreezesTheCurrentExposure)
{
    const AE_EXPOSURE_STATUS_S before = exposure();
    ASSERT_EQ(0, CommSceneautoLockAE(1));
    AE_EXPOSURE_SETTINGS_S a;
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    EXPECT_EQ(1u, a.enOpType);
    EXPECT_EQ(1u, a.stManual.bManualExpTimeEn);
    EXPECT_EQ(1u, a.stManual.bManualAGainEn);
    EXPECT_EQ(1u, a.stManual.bManualDGainEn);
    EXPECT_EQ(1u, a.stManual.bManualISPDGainEn);
    EXPECT_EQ(u32AELockExpTime, a.stManual.u32ExpTime);
    EXPECT_EQ(u32AELockAGain, a.stManual.u32AGain);
    EXPECT_EQ(u32AELockDGain, a.stManual.u32DGain);
    EXPECT_EQ(u32AELockISPDGain, a.stManual.u32ISPDGain);
    EXPECT_NEAR((double)before.u32ExpTime, u32AELockExpTime, before.u32ExpTime * 0.05);

    sim::with_world([](sim::World &w) { w.scene_brightness = 4.0; });
    ASSERT_TRUE(run_frames(40));
    AE_EXPOSURE_STATUS_S locked = exposure();
    EXPECT_NEAR((double)locked.u32ExpTime, u32AELockExpTime, u32AELockExpTime * 0.02);
    EXPECT_GT(locked.u8AveLum, 100); // the brighter scene shows

    ASSERT_EQ(0, CommSceneautoLockAE(0));
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &a));
    EXPECT_EQ(0u, a.enOpType);
    ASSERT_TRUE(run_frames(60));
    AE_EXPOSURE_STATUS_S free = exposure();
    EXPECT_LT(free.u32Exposure * 2, locked.u32Exposure);
    EXPECT_NEAR(free.u8AveLum, 56, 10);
}

// Locked, the gains hold under a colder light; a second lock takes the gains
// of its own moment; unlocked, the gains stay in the record and the balance
// runs again.
TEST_F(SceneLocks, TheWhiteBalanceLockFreezesTheCurrentGains)
{
    sim::with_world([](sim::World &w) { w.scene_kelvin = 3200; });
    ASSERT_TRUE(run_frames(60));
    ASSERT_EQ(0, CommSceneautoLockAwb(1));
    const u32 warm_r = AWBLockRGain, warm_b = AWBLockBGain;
    AWB_WB_SETTINGS_S a;
    ASSERT_EQ(0, DU_DUZ_ISP_GetWBAttr(0, &a));
    EXPECT_EQ(1u, a.enOpType);
    EXPECT_EQ(AWBLockRGain, a.stManual.u16ManualGainR);
    EXPECT_EQ(AWBLockGGain, a.stManual.u16ManualGainGr);
    EXPECT_EQ(AWBLockGGain, a.stManual.u16ManualGainGb);
    EXPECT_EQ(AWBLockBGain, a.stManual.u16ManualGainB);

    sim::with_world([](sim::World &w) { w.scene_kelvin = 6500; });
    ASSERT_TRUE(run_frames(40));
    AWB_WB_STATUS_S held = balance();
    EXPECT_EQ(warm_r, held.u16GainR);
    EXPECT_EQ(warm_b, held.u16GainB);

    // Unlocked: the cold light's gains come; a lock then takes those.
    ASSERT_EQ(0, CommSceneautoLockAwb(0));
    ASSERT_EQ(0, DU_DUZ_ISP_GetWBAttr(0, &a));
    EXPECT_EQ(0u, a.enOpType);
    EXPECT_EQ(warm_r, a.stManual.u16ManualGainR);
    ASSERT_TRUE(run_frames(60));
    ASSERT_EQ(0, CommSceneautoLockAwb(1));
    EXPECT_GT(AWBLockRGain, warm_r); // colder light: more red, less blue
    EXPECT_LT(AWBLockBGain, warm_b);
    ASSERT_EQ(0, DU_DUZ_ISP_GetWBAttr(0, &a));
    EXPECT_EQ(AWBLockRGain, a.stManual.u16ManualGainR);
}

// Without an ISP the registers read as nothing, which the set refuses.
TEST(SceneLocksWithoutIsp, TheLocksSayWhatFailed)
{
    struct Case {
        const char *name;
        s32 (*lock)(u32);
        const char *line;
    } cases[] = {
        {"exposure", CommSceneautoLockAE, "DU_DUZ_ISP_SetExposureAttr failed\n"},
        {"white balance", CommSceneautoLockAwb, "DU_DUZ_ISP_SetWBAttr failed\n"},
    };
    sim::start(testsupport::fresh_root("locks"));
    for (const Case &c : cases)
        for (u32 lock : {0u, 1u}) {
            SCOPED_TRACE(std::string(c.name) + (lock ? " lock" : " unlock"));
            s32 ret = 0;
            std::string out;
            testsupport::capture_stderr([&] { out = testsupport::capture_stdout([&] { ret = c.lock(lock); }); });
            EXPECT_EQ(-1, ret);
            EXPECT_NE(std::string::npos, out.find(c.line)) << out;
        }
}

namespace {

// Whether `out` begins with the run command's name and build line, the form
// __DATE__ and __TIME__ give ("Dec 11 2026 00:53:22"): in the form, A is an
// upper-case letter, a a lower-case one, 9 a digit and _ a digit or a space.
bool starts_with_build_line(const std::string &out)
{
    const std::string name = "KX_Scene_Auto_Run:", form = "Aaa _9 9999 99:99:99\n";
    if (out.compare(0, name.size(), name) != 0 || out.size() < name.size() + form.size())
        return false;
    for (size_t i = 0; i < form.size(); i++) {
        const unsigned char c = (unsigned char)out[name.size() + i];
        const char f = form[i];
        const bool fits = f == 'A'   ? isupper(c)
                          : f == 'a' ? islower(c)
                          : f == '9' ? isdigit(c)
                          : f == '_' ? isdigit(c) || c == ' '
                                     : c == (unsigned char)f;
        if (!fits)
            return false;
    }
    return true;
}

} // namespace

// Without a pipeline the engine initialises (its image is compiled in) but
// can't start, and a scene whose settings can't be set is refused (what it
// kept for the way back can't be written back either, and says so).
TEST(SceneAutoEntry, CommandsWithoutAPipeline)
{
    struct Case {
        const char *name;
        s32 (*call)(void);
        s32 result;
        std::vector<const char *> says; // in this order, after the name and build line of the run command
    } cases[] = {
        {"init", KX_Scene_Auto_Init, 1, {"VUZI SCENUAUTO Module has been inited successfully!\n"}},
        {"start", [] { return KX_Scene_Auto_Run(1, 0); }, -1, {"DU_VUZI_SCENEAUTO_Start failed\n"}},
        {"stop", [] { return KX_Scene_Auto_Run(2, 0); }, 1, {"stopped already!\n"}},
        {"special scene 0 -> scene 1",
         [] { return KX_Scene_Auto_Run(3, 0); },
         -1,
         {"SceneAuto_SetBLC failed\n", "CommSceneautoSetAEAttr failed\n", "DU_VUZI_SCENEAUTO_SetSpecialMode failed\n"}},
        {"special scene 5 -> scene 0, the current one", [] { return KX_Scene_Auto_Run(3, 5); }, 1,
         {"*peSpecialScene = 0\n"}},
        {"special scene 6", [] { return KX_Scene_Auto_Run(3, 6); }, 1, {"unkonw input\n"}},
        {"current scene", [] { return KX_Scene_Auto_Run(4, 0); }, 1, {"current scene is 0\n"}},
        {"another command", [] { return KX_Scene_Auto_Run(7, 0); }, 1, {"unkonw input\n"}},
        {"exit", KX_Scene_Auto_Exit, 1, {"deinit success\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = c.call(); });
        EXPECT_EQ(c.result, ret);
        size_t at = 0;
        for (const char *says : c.says) {
            at = out.find(says, at);
            EXPECT_NE(std::string::npos, at) << says << " in:\n" << out;
        }
        if (strcmp(c.name, "init") && strcmp(c.name, "exit")) {
            // The build line names the library's own build date and time ("Dec 11 2026 00:53:22").
            EXPECT_TRUE(starts_with_build_line(out)) << out;
        }
    }
}

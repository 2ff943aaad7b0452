// The engine's life on the simulated board: the first run's order up and the
// stop's order down, runs one after another, the restart, failing stages,
// the platform's pool, the rings and queues, the numbered steps, scene
// auto-tuning's start and stop, the stop of a signal, and the
// exposure and white balance closing their loops inside the running pipeline.
#include "recorder/dv_engine.h"
#include "tests/recorder/engine_standin.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/support/board_fixture.h"

#include "app/pref.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/isp_ctx.h"
#include "isp/mpi_isp.h"
#include "mpi/common/video_frame_requests.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "mpi/video/venc/mpi_venc.h"
#include "recorder/dv_config.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_osd.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_tv.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

using pipelinetest::in_order;
using pipelinetest::wait_for;

namespace {

constexpr u32 kMiB = 1024 * 1024;
constexpr u32 kRunning = DV_STATE_MPP | DV_STATE_ISP | DV_STATE_VI | DV_STATE_VPSS | DV_STATE_SCENEAUTO;

// gsDvConfig as record mode 1 builds it from the default preferences: 1080p
// at 60 frames from a 60-frame sensor, H.264 at quality 3, motion detection's
// channel, the date stamp on.
void record_mode1_defaults()
{
    KX_DV_Set1080DefaultDvCfg();
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVi.sParam[0] = {0, 1, 0, 1, PIC_HD1080, 60, 0};
    c.sVpss.sParam[0] = {0, 0, PIC_HD1080, 0, 0};
    c.sVpss.sParam[1] = {1, 1, PIC_HD1080, 0, 0};
    c.sVpss.sParam[2] = {2, 0, PIC_HD1080, 0, 0};
    c.sVpss.sParam[3] = {3, 1, PIC_QVGA, 0, 0};
    c.sVenc.sParam[0] = {PT_JPEG, 0, 0, 2, 10, 1, PIC_HD1080, 0, {0, 0, 0}, 10, 0};
    c.sVenc.sParam[1] = {PT_H264, 1, 1, 0, 60, 3, PIC_HD1080, 0, {0, 0, 0}, 60, 0};
    for (u8 n : {2, 3}) {
        KX_DV_VENC_PARAM_S &e = c.sVenc.sParam[n];
        e.enType = PT_H264;
        e.u8Chn = n;
        e.bEnable = 0;
        e.u8FrameRate = e.u8IPInterval = 30;
    }
    c.u8SceneAutoMode = 0;
    c.sOsd.sParam[1] = {1, 1, 30, 1050, 456, 36};
}

template <class Fn> std::string quiet(Fn &&fn)
{
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout(fn); });
    return out;
}

bool has(const std::string &out, const std::string &what) { return out.find(what) != std::string::npos; }

u32 isp_frames() { return __atomic_load_n(&g_astIspCtx[0].u32FrameCnt, __ATOMIC_RELAXED); }

// Until the ISP's loop has run `n` more frames (false when it stalls).
bool run_frames(u32 n)
{
    const u32 until = isp_frames() + n;
    return wait_for([&] { return isp_frames() >= until; }, 30);
}

bool has_event(const std::string &what) { return !testsupport::events(what).empty(); }

class DvEngine : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        saved_pref_ = app_pref_user;
        app_pref_user = &pref_;
        KX_DV_SetUserSettingDefualt();
        u32RecModeFlag = 0;
        g_mp4_standin_start_ret = 0;
        record_mode1_defaults();
    }
    void TearDown() override
    {
        quiet([] {
            KX_DV_Stop();
            KX_Video_Mode_Func(1, 0, 0);
            DU_DUZ_SYS_Exit();
            DU_DUZ_VB_Exit();
        });
        u32RecModeFlag = 0;
        app_pref_user = saved_pref_;
    }

    DvSystemParam pref_ = {};
    DvSystemParam *saved_pref_ = nullptr;
    pipelinetest::AppStandIn apps_;
};

// Every driver request in events.log, so that the ISP's part can be placed.
class DvEngineTraced : public DvEngine {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        DvEngine::SetUp();
    }
};

} // namespace

TEST_F(DvEngineTraced, TheFirstRunBringsThePipelineUpInOrderAndTheStopTakesItDownInReverse)
{
    apps_.enter();
    std::string out = quiet([] { EXPECT_EQ(0, KX_DV_FirstRun()); });
    EXPECT_EQ(kRunning, u32RecModeFlag);
    long isp_init = in_order({
        "vb init", // the platform with its pool
        "sys up",
        "mipi dev attr mode 1 1920x1080 wdr 0",
        "trace open /dev/isp_dev", // the ISP's memory, once sensor and 3A are registered
        "sensor i2c",              // the ISP's init programs the sensor
    });
    long up = in_order(pipelinetest::record_pipeline_up(PT_H264), isp_init);
    up = in_order({"test mp4 start"}, up);
    EXPECT_FALSE(has_event("venc chn 0 create")); // the photo set is off

    // The run thread's loop: its interrupt on after the init, frames coming.
    ASSERT_TRUE(run_frames(5));
    pipelinetest::line_of("trace ioctl /dev/isp_dev 0x40044903", isp_init);
    ISP_LIB_BIND_S bind;
    ASSERT_EQ(0, DU_DUZ_ISP_GetBindAttr(0, &bind));
    EXPECT_EQ(34220, bind.SensorId);
    EXPECT_STREQ("vudi_ae_lib", bind.stAeLib.acLibName);
    EXPECT_STREQ("vudi_awb_lib", bind.stAwbLib.acLibName);
    EXPECT_STREQ("vudi_af_lib", bind.stAfLib.acLibName);
    ISP_FRAME_FORMAT_S pub;
    ASSERT_EQ(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
    EXPECT_EQ(60.0f, pub.f32FrameRate);
    // The date stamp on the recording channel.
    EXPECT_TRUE(wait_for([] { return has_event("rgn 3 attach 8 0 1"); }));

    EXPECT_TRUE(has(out, "MainStreamBufferSize = 20971520,AudioStreamBufferSize=2097152 \n"));
    // Scene auto-tuning: the linear image, the exposure route of 60 frames
    // (six nodes), and its two threads running.
    size_t at = 0;
    for (const char *says : {"Sceneauto_LoadIQPara linear start\n", "VUZI SCENUAUTO Module has been inited successfully!\n",
                             "KX_Scene_Auto_Run:", "stAERoute.u32TotalNum = 6\n",
                             "stAERoute.u32IntTime--u32SysGain = 16667---32382--8\n",
                             "VUZI SCENEAUTO Module has been started successfully!\n"}) {
        at = out.find(says, at);
        EXPECT_NE(std::string::npos, at) << says;
    }
    EXPECT_EQ(std::vector<std::string>({"SceneautoNormal", "SceneautoSpecia"}), testsupport::thread_names("Sceneauto"));

    const long before_stop = (long)testsupport::events().size() - 1;
    out = quiet([] { EXPECT_EQ(0, KX_DV_Stop()); });
    long down = in_order({"test mp4 stop", "test stream stop", "rgn 3 destroy"}, std::max(before_stop, up));
    down = in_order(pipelinetest::record_pipeline_down(), down);
    in_order({"trace ioctl /dev/isp_dev 0x4004491a"}, down); // the ISP's exit gives its memory back
    EXPECT_TRUE(has(out, "KX_Dv_Stop success\n"));
    EXPECT_TRUE(has(out, "VUZI SCENEAUTO Module has been stopped successfully!\n"));
    EXPECT_TRUE(has(out, "deinit success\n"));
    EXPECT_TRUE(testsupport::thread_names("Sceneauto").empty());
    EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
    EXPECT_NE(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
    // The rings stay until step 1.
    EXPECT_NE(nullptr, main_rec_buf);
    EXPECT_NE(nullptr, q_main_stream);
}

TEST_F(DvEngine, FirstRunAndStopOneAfterAnother)
{
    apps_.enter();
    for (u32 round = 1; round <= 3; round++) {
        SCOPED_TRACE(round);
        std::string out = quiet([] { ASSERT_EQ(0, KX_DV_FirstRun()); });
        ASSERT_EQ(kRunning, u32RecModeFlag);
        EXPECT_FALSE(has(out, "fail ")) << out; // no stage failed
        EXPECT_EQ(round, testsupport::events("vb init").size());
        EXPECT_EQ(round - 1, testsupport::events("vb exit").size()); // the last start's pool went first
        ASSERT_TRUE(run_frames(5));

        // The recording channel delivers, starting with a key picture.
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
        VENC_PACK_REC_S pack;
        VENC_STREAM_REC_S stream{};
        stream.pstPack = &pack;
        stream.u32PackNum = 1;
        ASSERT_EQ(0, DU_DUZ_VENC_GetStream(1, &stream, 10000));
        EXPECT_EQ(0x67, pack.pu8Data[pack.u32DataOffset + 4]);
        EXPECT_EQ(0, DU_DUZ_VENC_ReleaseStream(1, &stream));
        DU_DUZ_VENC_StopRecvPic(1);

        quiet([] {
            KX_DV_Stop();
            KX_Video_Mode_Func(1, 0, 0);
        });
        EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
        EXPECT_EQ(round, testsupport::events("venc chn 1 destroy").size());
        EXPECT_EQ(round, testsupport::events("rgn 3 destroy").size());
        EXPECT_EQ(nullptr, main_rec_buf);
        EXPECT_EQ(nullptr, audio_buffer);
        EXPECT_EQ(nullptr, stVideoWriteQueData);
        EXPECT_EQ(nullptr, stAudioWriteQueData);
        EXPECT_EQ(nullptr, q_main_stream);
        EXPECT_EQ(nullptr, q_audio_stream);
    }
}

TEST_F(DvEngine, WithATvCableInTheStopSwitchesTheTvOffFirst)
{
    apps_.enter();
    quiet([] { ASSERT_EQ(0, KX_DV_FirstRun()); });
    apps_.tv(true);
    quiet([] { ASSERT_EQ(0, video_out_proc(1)); });
    const long before_stop = (long)testsupport::events().size() - 1;
    quiet([] { KX_DV_Stop(); });
    apps_.tv(false);
    in_order({"test stream stop", "sys unbind 7/0/2", "vpss grp 0 chn 2 disable", "sys unbind 7/0/1 -> 8/0/1",
              "vpss grp 0 destroy"},
             before_stop);
    EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
}

TEST_F(DvEngine, TheRestartPrintsAndTakesAChangedConfiguration)
{
    apps_.enter();
    quiet([] {
        ASSERT_EQ(0, KX_DV_FirstRun());
        KX_DV_Stop();
        KX_Video_Mode_Func(1, 0, 0);
    });
    // Record mode 2's 720p: a 120-frame sensor, H.265 at 30 frames, quality 1.
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVi.sParam[0].u8Resolution = PIC_HD720;
    c.sVi.sParam[0].u8FrameRate = 120;
    c.sVpss.sParam[0].u8Resolution = c.sVpss.sParam[1].u8Resolution = PIC_HD720;
    c.sVenc.sParam[1] = {PT_H265, 1, 1, 0, 30, 1, PIC_HD720, 0, {0, 0, 0}, 30, 0};
    c.sOsd.sParam[1].u16Y = 690;

    std::string out = quiet([] { EXPECT_EQ(0, KX_DV_ReStart()); });
    EXPECT_EQ(kRunning, u32RecModeFlag);
    EXPECT_TRUE(has(out, "MainStreamBufferSize = 41943040,AudioStreamBufferSize=2097152 \n"));
    EXPECT_TRUE(has(out, "gsDvConfig.sVi.sParam[0].u8FrameRate = 120 \n"));
    EXPECT_TRUE(has(out, "gsDvConfig.sVenc.sParam[1].enType = 265 \n"));
    EXPECT_EQ(900u, KX_OrderQueue_GetAllDepth(q_main_stream));
    EXPECT_TRUE(has_event("venc chn 1 create type 265 1280x720"));
    EXPECT_EQ(2u, testsupport::events("test mp4 start").size());
    ISP_FRAME_FORMAT_S pub;
    ASSERT_EQ(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
    EXPECT_EQ(1280u, pub.u32Width);
    EXPECT_EQ(120.0f, pub.f32FrameRate);
    ASSERT_TRUE(run_frames(5));
}

TEST_F(DvEngine, RingsAndQueuesFollowTheSensorRateAndTheQuality)
{
    struct Case {
        u8 fps, quality;
        u32 depth, ring_mib;
    } cases[] = {
        {25, 3, 180, 20}, {25, 2, 187, 40}, {30, 3, 195, 20},  {30, 0, 225, 40},  {50, 7, 325, 20},  {50, 1, 375, 40},
        {60, 3, 390, 20}, {60, 2, 450, 40}, {100, 3, 650, 20}, {100, 0, 750, 40}, {120, 4, 780, 20}, {120, 1, 900, 40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.fps) + " fps, quality " + std::to_string(c.quality));
        gsDvConfig.sVi.sParam[0].u8FrameRate = c.fps;
        gsDvConfig.sVenc.sParam[1].u8ImageQuality = c.quality;
        // A start without its release in between leaves nothing behind either.
        for (int twice = 0; twice < 2; twice++)
            quiet([] { ASSERT_EQ(0, KX_Video_Mode_Func(0, 0, 0)); });
        EXPECT_EQ(c.depth, dv_video_queue_depth(c.fps, c.quality));
        ASSERT_NE(nullptr, q_main_stream);
        ASSERT_NE(nullptr, q_audio_stream);
        EXPECT_EQ(c.depth, KX_OrderQueue_GetAllDepth(q_main_stream));
        EXPECT_EQ(336u, KX_OrderQueue_GetAllDepth(q_audio_stream));
        EXPECT_EQ(32u, q_main_stream->u32RecSize);
        EXPECT_EQ(32u, q_audio_stream->u32RecSize);
        EXPECT_EQ(c.ring_mib * kMiB, g_u32MainStreamBufferSize);
        EXPECT_EQ(2 * kMiB, g_u32AudioStreamBufferSize);
        ASSERT_NE(nullptr, main_rec_buf);
        ASSERT_NE(nullptr, audio_buffer);
        main_rec_buf[g_u32MainStreamBufferSize - 1] = 1; // the whole ring is ours
        audio_buffer[g_u32AudioStreamBufferSize - 1] = 1;
        ASSERT_NE(nullptr, stVideoWriteQueData);
        ASSERT_NE(nullptr, stAudioWriteQueData);

        // A record goes through each queue whole.
        KX_REC_VIDEO_PKT_S v = {7, 123456789, 1, 100, 300, 200}, v_out = {};
        EXPECT_EQ(0, KX_OrderQueue_Write(q_main_stream, &v, sizeof v));
        EXPECT_EQ(0, KX_OrderQueue_Read(&v_out, q_main_stream));
        EXPECT_EQ(0, memcmp(&v, &v_out, sizeof v));

        EXPECT_EQ(0, KX_Video_Mode_Func(1, 0, 0));
        EXPECT_EQ(nullptr, main_rec_buf);
        EXPECT_EQ(nullptr, q_main_stream);
    }
}

TEST_F(DvEngine, AFailingStageTakesDownWhatCameBeforeAndTheNextStartWorks)
{
    struct Case {
        const char *name;
        std::function<void(bool)> fault; // true: in, false: mended
        const char *message;
    } cases[] = {
        {"input: the sensor does not answer", [](bool in) { sim::sensor_set_present(!in); }, "star vi fail \n"},
        {"processing: a refused channel size",
         [](bool in) { gsDvConfig.sVpss.sParam[3].u8Resolution = in ? 3 : PIC_QVGA; }, "star VPSS fail \n"},
        {"encoder: no group of pictures", [](bool in) { gsDvConfig.sVenc.sParam[1].u8IPInterval = in ? 0 : 60; },
         "star venc fail \n"},
    };
    struct Entry {
        const char *name;
        s32 (*start)(void);
    } entries[] = {{"first run", KX_DV_FirstRun}, {"restart", KX_DV_ReStart}};
    for (const Entry &e : entries)
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(e.name) + ": " + c.name);
            const size_t mp4_starts = testsupport::events("test mp4 start").size();
            c.fault(true);
            std::string out = quiet([&] { EXPECT_NE(0, e.start()); });
            EXPECT_TRUE(has(out, c.message)) << out;
            EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
            EXPECT_EQ(0, u8viworkstatus[0]);
            for (u8 s : u8vpssworkstatus)
                EXPECT_EQ(0, s);
            for (u8 s : u8vencworkstatus)
                EXPECT_EQ(0, s);
            ISP_FRAME_FORMAT_S pub;
            EXPECT_NE(0, DU_DUZ_ISP_GetPubAttr(0, &pub)); // exited
            EXPECT_EQ(mp4_starts, testsupport::events("test mp4 start").size());
            EXPECT_EQ(testsupport::events("vi dev enable").size(), testsupport::events("vi dev disable").size());
            EXPECT_EQ(testsupport::events("create").size() - testsupport::events("rgn 3 create").size(),
                      testsupport::events("destroy").size() - testsupport::events("rgn 3 destroy").size());

            c.fault(false);
            out = quiet([&] { EXPECT_EQ(0, e.start()); });
            EXPECT_EQ(kRunning, u32RecModeFlag);
            ASSERT_TRUE(run_frames(3));
            quiet([] {
                KX_DV_Stop();
                KX_Video_Mode_Func(1, 0, 0);
            });
        }
}

// A failed encoder start takes down what its caller started: the first run
// every processing entry before the input, the restart after the input, and
// the photo mode's step 7 only processing entry 0, the one its step 5
// started (an entry it did not start is left as it is).
TEST_F(DvEngine, AFailedEncoderStartUnwindsWhatItsCallerStarted)
{
    struct Case {
        const char *name;
        bool photo_steps;
        s32 (*start)(void);
        std::vector<std::string> unwind; // in this order
    } cases[] = {
        {"first run", false, KX_DV_FirstRun, {"vpss grp 0 destroy", "vi dev disable"}},
        {"restart", false, KX_DV_ReStart, {"vi dev disable", "vpss grp 0 destroy"}},
        {"photo step 7", true, nullptr, {"vpss grp 0 destroy", "vi dev disable"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        gsDvConfig.sVenc.sParam[1].u8IPInterval = 0; // the encoder refuses: no group of pictures
        long mark = (long)testsupport::events().size() - 1;
        std::string out = quiet([&] {
            if (c.photo_steps) {
                for (u32 step : {0u, 2u, 3u, 5u})
                    EXPECT_EQ(0, KX_Video_Mode_Func(step, 0, 0)) << step;
                u8vpssworkstatus[1] = 2; // as if another entry had been started
                mark = (long)testsupport::events().size() - 1;
                EXPECT_EQ(-1, KX_Video_Mode_Func(7, 0, 0));
            } else {
                EXPECT_NE(0, c.start());
            }
        });
        EXPECT_TRUE(has(out, "star venc fail \n")) << out;
        in_order(c.unwind, mark);
        EXPECT_EQ(0, u8vpssworkstatus[0]);
        EXPECT_EQ(c.photo_steps ? 2 : 0, u8vpssworkstatus[1]);
        EXPECT_EQ(0, u8viworkstatus[0]);
        EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
        ISP_FRAME_FORMAT_S pub;
        EXPECT_NE(0, DU_DUZ_ISP_GetPubAttr(0, &pub)); // exited
        u8vpssworkstatus[1] = 0;
        gsDvConfig.sVenc.sParam[1].u8IPInterval = 60;
        quiet([] { KX_Video_Mode_Func(1, 0, 0); });
    }
}

TEST_F(DvEngine, ThePlatformsPoolHoldsFortyPicturesOfTheRecordingSize)
{
    struct Case {
        const char *name;
        u8 size;
        u32 rotate;
        u8 block_size; // the size code the block is computed for
    } cases[] = {
        {"1080p", PIC_HD1080, 0, PIC_HD1080},
        {"720p", PIC_HD720, 0, PIC_HD720},
        {"848x480 is scaled from 720p", PIC_WVGA, 0, PIC_HD720},
        {"1080p turned", PIC_HD1080, 1, PIC_HD1080},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        gsDvConfig.sVpss.sParam[1].u8Resolution = c.size;
        gsDvConfig.sVi.sParam[0].enRotate = c.rotate;
        quiet([] { ASSERT_EQ(0, KX_Video_Mode_Func(2, 0, 0)); });
        EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
        VB_CONF_REC_S vb;
        ASSERT_EQ(0, DU_DUZ_VB_GetConf(&vb));
        EXPECT_EQ(0u, vb.u32PoolCnt);
        EXPECT_EQ((u32)KX_DV_SYS_CalcPicVbBlkSize(1, c.block_size, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 64, c.rotate),
                  vb.astCommPool[0].u32BlockSize);
        EXPECT_EQ(40u, vb.astCommPool[0].u32BlockCnt);
        EXPECT_STREQ("", vb.astCommPool[0].szMmzName);
        EXPECT_EQ(0u, vb.astCommPool[1].u32BlockCnt);
        SYS_CONF_REC_S sys;
        ASSERT_EQ(0, DU_DUZ_SYS_GetConf(&sys));
        EXPECT_EQ(64u, sys.u32LineAlign);
    }
    // A size with no picture: the platform is down and says so.
    gsDvConfig.sVpss.sParam[1].u8Resolution = 3;
    std::string out = quiet([] { EXPECT_EQ(-1, KX_Video_Mode_Func(2, 0, 0)); });
    EXPECT_TRUE(has(out, "get picture size[3] failed!\n"));
    EXPECT_TRUE(has(out, "KX_Mpp_init fail \n"));
    EXPECT_EQ(0u, u32RecModeFlag);
    out = quiet([] { EXPECT_NE(0, KX_DV_FirstRun()); });
    EXPECT_TRUE(has(out, "KX_Mpp_init fail \n"));
    EXPECT_FALSE(has_event("mipi dev attr"));
}

// The photo application's steps: up with 0, 2, 3, 5, 7 (date-stamp entry 0)
// and 13; down with 14, 8, 6, 4, the ISP stop and 1.
TEST_F(DvEngine, ThePhotoModesSteps)
{
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVpss.sParam[0].bEnable = 1;
    c.sVenc.sParam[0].bEnable = 1;
    c.sOsd.sParam[0].bEnable = 1;
    c.sOsd.sParam[1].bEnable = 0;
    std::string out = quiet([] {
        for (u32 step : {0u, 2u, 3u, 5u})
            EXPECT_EQ(0, KX_Video_Mode_Func(step, 0, 0)) << step;
        EXPECT_EQ(0, KX_Video_Mode_Func(7, 0, 0));
        EXPECT_EQ(1, KX_Video_Mode_Func(13, 0, 0)); // the start's result
    });
    EXPECT_EQ(kRunning, u32RecModeFlag);
    long up = in_order({"sys up", "vi chn 0 enable", "vpss grp 0 chn 0 enable", "venc chn 0 create type 26",
                        "venc chn 1 create type 96"});
    EXPECT_TRUE(wait_for([] { return has_event("rgn 3 attach 8 0 0"); })); // the photo channel's stamp
    EXPECT_TRUE(has(out, "VUZI SCENEAUTO Module has been started successfully!\n"));
    EXPECT_FALSE(has_event("test mp4 start"));

    out = quiet([] {
        KX_DV_StopMainVencOsdThread();
        for (u32 step : {14u, 8u, 6u, 4u})
            EXPECT_EQ(0, KX_Video_Mode_Func(step, 0, 0)) << step;
        KX_DV_ISP_Stop();
        EXPECT_EQ(0, KX_Video_Mode_Func(1, 0, 0));
    });
    in_order({"venc chn 0 destroy", "venc chn 1 destroy", "vpss grp 0 destroy", "vi dev disable"}, up);
    EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
    EXPECT_EQ(nullptr, main_rec_buf);
    // Any other step does nothing.
    EXPECT_EQ("", quiet([] { EXPECT_EQ(0, KX_Video_Mode_Func(99, 0, 0)); }));
}

TEST_F(DvEngine, SceneAutoTuningStepsAlone)
{
    struct Case {
        const char *name;
        u32 step, state;
        s32 result;
        std::vector<const char *> says; // in this order; empty: says nothing
        u32 state_after;
    } cases[] = {
        {"start without a pipeline: the start fails and the engine exits again",
         13,
         0,
         -1,
         {"VUZI SCENUAUTO Module has been inited successfully!\n", "DU_VUZI_SCENEAUTO_Start failed\n",
          "deinit success\n"},
         0},
        {"start while running: nothing", 13, DV_STATE_SCENEAUTO, 0, {}, DV_STATE_SCENEAUTO},
        {"stop while running",
         14,
         DV_STATE_SCENEAUTO,
         0,
         {"KX_Scene_Auto_Run:", "VUZI SCENEAUTO Module has been stopped already!\n", "deinit success\n"},
         0},
        {"stop when not running: nothing", 14, 0, 0, {}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        u32RecModeFlag = c.state;
        s32 ret = 0;
        std::string out = quiet([&] { ret = KX_Video_Mode_Func(c.step, 0, 0); });
        EXPECT_EQ(c.result, ret);
        EXPECT_EQ(c.state_after, u32RecModeFlag);
        if (c.says.empty()) {
            EXPECT_EQ("", out);
        }
        size_t at = 0;
        for (const char *s : c.says) {
            at = out.find(s, at);
            ASSERT_NE(std::string::npos, at) << s << " in " << out;
        }
    }
}

namespace {

std::atomic<bool> g_then_ran{false};
pthread_t g_then_thread;
void then_end() // the process's end, as start-up would pass it
{
    g_then_thread = pthread_self();
    g_then_ran = true;
}
void on_signal(int) { sig_stop_request(); }

} // namespace

TEST_F(DvEngine, ASignalWakesTheStopThreadWhichStopsTheMp4ThreadAndReleasesTheRings)
{
    g_then_ran = false;
    quiet([] { ASSERT_EQ(0, KX_DV_FirstRun()); });
    ASSERT_EQ(0, sig_stop_thread_run(then_end));
    const long before = (long)testsupport::events().size() - 1;
    struct sigaction sa = {}, old = {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(0, sigaction(SIGUSR1, &sa, &old));
    quiet([] {
        raise(SIGUSR1);
        EXPECT_TRUE(wait_for([] { return g_then_ran.load(); }));
    });
    sigaction(SIGUSR1, &old, nullptr);
    ASSERT_TRUE(g_then_ran.load());
    EXPECT_FALSE(pthread_equal(g_then_thread, pthread_self())); // not in the handler's thread
    in_order({"test stream stop", "test mp4 stop"}, before);
    EXPECT_EQ(nullptr, main_rec_buf);
    EXPECT_EQ(nullptr, q_main_stream);
    EXPECT_EQ(0, sig_stop_thread_stop());
}

TEST_F(DvEngine, TheSignalStopThreadEndsWithoutARequest)
{
    g_then_ran = false;
    ASSERT_EQ(0, sig_stop_thread_run(then_end));
    EXPECT_EQ(0, sig_stop_thread_stop());
    EXPECT_FALSE(g_then_ran.load());
    EXPECT_FALSE(has_event("test mp4 stop"));
    EXPECT_EQ(0, sig_stop_thread_stop()); // a second stop has nothing to do
}

// The exposure and the white balance follow the board's scene while the
// whole pipeline runs: from a start too bright under warm light, then after
// the light dims and turns cold. Counted in the ISP's frames.
TEST_F(DvEngine, ExposureAndWhiteBalanceConvergeOnTheBoardsScene)
{
    struct Phase {
        const char *name;
        double brightness;
        int kelvin;
    } phases[] = {
        {"bright, warm light", 3.0, 3200},
        {"dim, cold light", 0.6, 6500},
    };
    apps_.enter();
    bool started = false;
    u32 exposure[2] = {};
    for (int i = 0; i < 2; i++) {
        const Phase &p = phases[i];
        SCOPED_TRACE(p.name);
        sim::with_world([&](sim::World &w) {
            w.scene_brightness = p.brightness;
            w.scene_kelvin = p.kelvin;
        });
        if (!started) {
            quiet([] { ASSERT_EQ(0, KX_DV_FirstRun()); });
            started = true;
        }
        ASSERT_TRUE(run_frames(120));
        AE_EXPOSURE_STATUS_S ae = {};
        AWB_WB_STATUS_S wb = {};
        ASSERT_EQ(0, DU_DUZ_ISP_QueryExposureInfo(0, &ae));
        ASSERT_EQ(0, DU_DUZ_ISP_QueryWBInfo(0, &wb));
        EXPECT_NEAR(ae.u8AveLum, 56, 8);
        EXPECT_NEAR(wb.u16ColorTemp, p.kelvin, p.kelvin * 0.15);
        exposure[i] = ae.u32Exposure;
    }
    // Five times less light takes about five times the exposure.
    EXPECT_NEAR((double)exposure[1] / exposure[0], 5.0, 1.0);
}

// The engine's life: rings and packet queues, the media platform with its
// buffer pool, the pipeline started from a table of stages whose failure
// takes down what was started, torn down in reverse, and the numbered steps.
#include "recorder/dv_engine.h"

#include "core/kx_thread.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/common/video_frame_requests.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "recorder/dv_config.h"
#include "recorder/dv_hooks.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_osd.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_tv.h"
#include "sceneauto/sceneauto_comm.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <semaphore.h>

u8 *main_rec_buf;
u8 *audio_buffer;
u32 g_u32MainStreamBufferSize;
u32 g_u32AudioStreamBufferSize;
KX_OrderQueue *q_main_stream;
KX_OrderQueue *q_audio_stream;
pthread_mutex_t lock_main_sterm_wq = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t lock_audio_wq = PTHREAD_MUTEX_INITIALIZER;
KX_REC_VIDEO_PKT_S *stVideoWriteQueData;
KX_REC_AUDIO_PKT_S *stAudioWriteQueData;

namespace {

constexpr u32 kMiB = 1024 * 1024;
constexpr u32 kAudioQueueDepth = 336;
constexpr u32 kPoolBlocks = 40;
constexpr u32 kLineAlign = 64;

// The stages of a start, in order.
enum Stage { kStageVi, kStageVpss, kStageVenc, kStageCount };

constexpr u32 kProcessingEntries = 4;

// How a failed start comes down besides the input: how many processing
// entries the processing stage's undo stops, and whether they go after the
// input (the restart's order) rather than before it. The photo mode's step
// 7 stops only entry 0, the one its step 5 started.
struct StageUnwind {
    u32 entries;
    bool input_first;
};
constexpr StageUnwind kFirstRunUnwind = {kProcessingEntries, false};
constexpr StageUnwind kRestartUnwind = {kProcessingEntries, true};
constexpr StageUnwind kStepUnwind = {1, false};

void stop_processing(u32 entries)
{
    for (u32 k = 0; k < entries; k++)
        KX_DV_Vpss_Grp_Stop(k);
}

void stop_input()
{
    KX_DV_ISP_Stop();
    KX_DV_Vi_Chn_Stop(0);
}

// Each stop removes only what exists, so a failed stage takes down what it
// had started itself.
s32 input_stage(StageUnwind *)
{
    if (KX_DV_Vi_Run() == 0)
        return 0;
    stop_input();
    return -1;
}

void input_down(StageUnwind *how)
{
    stop_input();
    if (how->input_first)
        stop_processing(how->entries);
}

// A failed processing stage takes down every entry, its half-made group
// first: nothing of it is left for the input's undo.
s32 processing_stage(StageUnwind *how)
{
    if (KX_DV_Vpss_Run() == 0)
        return 0;
    stop_processing(kProcessingEntries);
    how->entries = 0;
    return -1;
}

void processing_down(StageUnwind *how)
{
    if (!how->input_first)
        stop_processing(how->entries);
}

// A failed encoder stage has stopped the channels it made.
s32 encoder_stage(StageUnwind *) { return KX_DV_Venc_Run() == 0 ? 0 : -1; }

const mpi_step<StageUnwind> kStages[kStageCount] = {
    {"star vi fail ", input_stage, input_down},
    {"star VPSS fail ", processing_stage, processing_down},
    {"star venc fail ", encoder_stage, nullptr},
};

// Runs stages [first, last), those before `first` started already; the
// first that fails takes down what the stages started, then says so.
s32 run_stages(Stage first, Stage last, StageUnwind how)
{
    size_t failed = 0;
    if (mpi_steps_run_range(kStages, first, last, &how, nullptr, &failed) == 0)
        return 0;
    puts(kStages[failed].name);
    return -1;
}

// The photo mode's steps start one stage each.
s32 run_photo_step(Stage stage) { return run_stages(stage, (Stage)(stage + 1), kStepUnwind); }

// Scene auto-tuning on, unless it runs already; the init's result when that
// fails, else the start's (1 running). A failed start exits it again.
s32 scene_auto_start()
{
    if (u32RecModeFlag & DV_STATE_SCENEAUTO)
        return 0;
    s32 ret = KX_Scene_Auto_Init();
    if (ret != 1) {
        puts("KX_Scene_Auto_Init fail");
        return ret;
    }
    ret = KX_Scene_Auto_Run(1, gsDvConfig.u8SceneAutoMode);
    if (ret == 1) {
        u32RecModeFlag |= DV_STATE_SCENEAUTO;
    } else {
        KX_Scene_Auto_Exit();
        u32RecModeFlag &= ~DV_STATE_SCENEAUTO;
    }
    return ret;
}

void scene_auto_stop()
{
    if (!(u32RecModeFlag & DV_STATE_SCENEAUTO))
        return;
    KX_Scene_Auto_Run(2, 0);
    KX_Scene_Auto_Exit();
    u32RecModeFlag &= ~DV_STATE_SCENEAUTO;
}

// The first run, or with `restart` the restart: the configuration printed
// and the platform's start not waited for (the input stage refuses to start
// without it).
s32 start_pipeline(bool restart)
{
    if (KX_DV_RecordParamInit() != 0)
        return -1;
    if (restart) {
        DebugPrintDVCfgMsg();
        KX_DV_MppInit();
    } else if (KX_DV_MppInit() != 0) {
        puts("KX_Mpp_init fail ");
        return -1;
    }
    if (run_stages(kStageVi, kStageCount, restart ? kRestartUnwind : kFirstRunUnwind) != 0)
        return -1;
    // The recording goes on without scene auto-tuning when it won't start.
    scene_auto_start();
    if (gsDvConfig.sOsd.sParam[1].bEnable)
        KX_MainVencOsdThreadRun();
    return KX_DV_StartMp4Thread();
}

template <class T> T *alloc_record()
{
    return static_cast<T *>(calloc(1, sizeof(T)));
}

template <class T> void release(T *&p)
{
    free(p);
    p = nullptr;
}

// The handler and a signal's stop thread may both release the rings (step
// 1) at once: each allocation and each release is whole under this lock.
std::mutex g_rings_lock;

void clear_rings()
{
    release(main_rec_buf);
    release(audio_buffer);
    release(stAudioWriteQueData);
    release(stVideoWriteQueData);
    KX_OrderQueue_Destroy(q_main_stream);
    KX_OrderQueue_Destroy(q_audio_stream);
    q_main_stream = q_audio_stream = nullptr;
}

} // namespace

u32 dv_video_queue_depth(u8 sensor_fps, u8 quality)
{
    u32 f = sensor_fps;
    u32 d = 6 * f + f / 2;
    if (quality < 3)
        d += f;
    return d < 180 ? 180 : d;
}

s32 KX_DV_RecordParamInit(void)
{
    std::lock_guard<std::mutex> lock(g_rings_lock);
    // A start that was not followed by its release leaves nothing behind.
    clear_rings();
    const u8 quality = gsDvConfig.sVenc.sParam[1].u8ImageQuality;
    g_u32MainStreamBufferSize = quality < 3 ? 40 * kMiB : 20 * kMiB;
    g_u32AudioStreamBufferSize = 2 * kMiB;
    printf("MainStreamBufferSize = %d,AudioStreamBufferSize=%d \n", g_u32MainStreamBufferSize,
           g_u32AudioStreamBufferSize);

    main_rec_buf = static_cast<u8 *>(malloc(g_u32MainStreamBufferSize));
    audio_buffer = static_cast<u8 *>(malloc(g_u32AudioStreamBufferSize));
    stVideoWriteQueData = alloc_record<KX_REC_VIDEO_PKT_S>();
    stAudioWriteQueData = alloc_record<KX_REC_AUDIO_PKT_S>();
    const u32 depth = dv_video_queue_depth(gsDvConfig.sVi.sParam[0].u8FrameRate, quality);
    q_main_stream = KX_OrderQueue_Create(sizeof(KX_REC_VIDEO_PKT_S), depth, &lock_main_sterm_wq);
    q_audio_stream = KX_OrderQueue_Create(sizeof(KX_REC_AUDIO_PKT_S), kAudioQueueDepth, &lock_audio_wq);
    if (!main_rec_buf || !audio_buffer || !stVideoWriteQueData || !stAudioWriteQueData || !q_main_stream ||
        !q_audio_stream) {
        puts("======KX_DV_RecordParamInit: out of memory for the stream buffers");
        clear_rings();
        return -1;
    }
    return 0;
}

s32 KX_DV_ClearRecordParam(void)
{
    std::lock_guard<std::mutex> lock(g_rings_lock);
    clear_rings();
    return 0;
}

s32 KX_DV_MppInit(void)
{
    // From here until the end the platform is not up.
    u32RecModeFlag &= ~DV_STATE_MPP;
    DU_DUZ_SYS_Exit();
    DU_DUZ_VB_Exit();

    const KX_DV_VI_PARAM_S &vi = gsDvConfig.sVi.sParam[0];
    u8 size = gsDvConfig.sVpss.sParam[1].u8Resolution;
    if (size == PIC_WVGA) // 848x480 is scaled from 720p pictures
        size = PIC_HD720;
    s32 blk = KX_DV_SYS_CalcPicVbBlkSize(vi.u8Norm, size, PIXEL_FORMAT_YUV_SEMIPLANAR_420, kLineAlign, vi.enRotate);
    if (blk < 0)
        return -1; // the size said why

    VB_CONF_REC_S vb = {};
    vb.u32PoolCnt = 0;
    vb.astCommPool[0].u32BlockSize = (u32)blk;
    vb.astCommPool[0].u32BlockCnt = kPoolBlocks;
    s32 ret;
    if ((ret = DU_DUZ_VB_SetConf(&vb)) != 0) {
        printf("DU_DUZ_VB_SetConf ret=%#x\n", ret);
        return ret;
    }
    if ((ret = DU_DUZ_VB_Init()) != 0) {
        printf("DU_DUZ_VB_Init ret=%#x\n", ret);
        return ret;
    }
    const SYS_CONF_REC_S sys = {kLineAlign};
    if ((ret = DU_DUZ_SYS_SetConf(&sys)) != 0) {
        printf("DU_DUZ_SYS_SetConf ret=%#x\n", ret);
        return ret;
    }
    if ((ret = DU_DUZ_SYS_Init()) != 0) {
        printf("DU_DUZ_SYS_Init ret=%#x\n", ret);
        return ret;
    }
    u32RecModeFlag |= DV_STATE_MPP;
    return 0;
}

s32 KX_DV_FirstRun(void) { return start_pipeline(false); }
s32 KX_DV_ReStart(void) { return start_pipeline(true); }

s32 KX_DV_Stop(void)
{
    KX_DV_StopMp4Thread();
    KX_DV_StopGetStream();
    if (dv_app_hooks().tv_out_on())
        video_out_proc(0);
    scene_auto_stop();
    // Whatever the entry says now: a stamp thread left running would draw
    // into the region of a channel that is about to go.
    KX_DV_StopMainVencOsdThread();
    for (u32 chn = 0; chn < 3; chn++)
        KX_DV_Venc_Chn_Stop(chn);
    KX_DV_Vpss_Grp_Stop(0);
    KX_DV_Vi_Chn_Stop(0);
    KX_DV_ISP_Stop();
    puts("KX_Dv_Stop success");
    return 0;
}

s32 KX_Video_Mode_Func(u32 step, u32 entry, u32)
{
    switch (step) {
    case 0:
        return KX_DV_RecordParamInit();
    case 1:
        return KX_DV_ClearRecordParam();
    case 2:
        if (KX_DV_MppInit() != 0) {
            puts("KX_Mpp_init fail ");
            return -1;
        }
        return 0;
    case 3:
        return run_photo_step(kStageVi);
    case 4:
        stop_input();
        return 0;
    case 5:
        return run_photo_step(kStageVpss);
    case 6:
        KX_DV_Vpss_Grp_Stop(0);
        return 0;
    case 7:
        if (run_photo_step(kStageVenc) != 0)
            return -1;
        if (entry < 2 && gsDvConfig.sOsd.sParam[entry].bEnable)
            KX_MainVencOsdThreadRun();
        return 0;
    case 8:
        for (u32 chn = 0; chn < 3; chn++)
            KX_DV_Venc_Chn_Stop(chn);
        return 0;
    case 9:
        KX_DV_StartMp4Thread();
        return 0;
    case 10:
        KX_DV_StopGetStream();
        KX_DV_StopMp4Thread();
        return 0;
    case 11:
        KX_DV_ReStart();
        return 0;
    case 12:
        KX_DV_Stop();
        return 0;
    case 13:
        return scene_auto_start();
    case 14:
        scene_auto_stop();
        return 0;
    default:
        return 0;
    }
}

// ---- the stop of a signal ------------------------------------------------------------

namespace {

sem_t g_sig_sem;
std::atomic<bool> g_sig_thread_up{false};
std::atomic<bool> g_sig_run{false};
pthread_t g_sig_thread;
void (*g_sig_then)(void);

void *sig_stop_thread(void *)
{
    while (sem_wait(&g_sig_sem) != 0 && errno == EINTR) {
    }
    if (!g_sig_run.load())
        return nullptr; // ended without a request
    KX_Video_Mode_Func(10, 0, 0);
    KX_Video_Mode_Func(1, 0, 0);
    if (g_sig_then)
        g_sig_then();
    return nullptr;
}

} // namespace

s32 sig_stop_thread_run(void (*then)(void))
{
    if (g_sig_thread_up.load())
        return 0;
    if (sem_init(&g_sig_sem, 0, 0) != 0)
        return -1;
    g_sig_then = then;
    g_sig_run = true;
    if (KX_THCreate_API(&g_sig_thread, nullptr, sig_stop_thread, nullptr) != 0) {
        g_sig_run = false;
        sem_destroy(&g_sig_sem);
        return -1;
    }
    g_sig_thread_up = true;
    return 0;
}

void sig_stop_request(void)
{
    // sem_post is one of the few calls a signal handler may make.
    if (g_sig_thread_up.load())
        sem_post(&g_sig_sem);
}

s32 sig_stop_thread_stop(void)
{
    if (!g_sig_thread_up.load())
        return 0;
    g_sig_run = false;
    sem_post(&g_sig_sem);
    pthread_join(g_sig_thread, nullptr);
    g_sig_thread_up = false;
    sem_destroy(&g_sig_sem);
    return 0;
}

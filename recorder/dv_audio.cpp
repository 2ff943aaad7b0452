// Audio capture: input, AAC encoder channel and output with their binds
// after the codec's set-up (dv_tlv320.cpp), and the thread that queues AAC
// packets for the MP4 thread.
#include "recorder/dv_audio.h"

#include "core/pref_record.h"
#include "core/rec_state.h"
#include "core/run_thread.h"
#include "mpi/audio/aac/audio_aac_adp.h"
#include "mpi/audio/aac/audio_aac_dec_adp.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/common/loss_run.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/common/mpi_thread.h"
#include "mpi/video/sys/mpi_sys.h"
#include "recorder/dv_mp4.h"
#include "recorder/dv_pipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sys/prctl.h>
#include <sys/select.h>

KX_AUD_CFG_S aud_cfg = {0, 0, 1, 0, 1, 0, 2, 0};
u64 u64AudioIdenxNo;
u32 audio_offset;
std::atomic<u32> audio_run_thd{0};

namespace {

constexpr u32 gs_audioType = PT_AAC;
constexpr u32 gs_enAacType = AAC_TYPE_AACLC;
constexpr u32 gs_enAacBps = 128000;
constexpr u32 kSampleRate = 48000;
constexpr u32 kSamplesPerFrame = 1024;
constexpr u32 kEncoderFrames = 30;

// What a packet of 1024 samples lasts at 48 kHz, in microseconds.
constexpr double kPacketUs = kSamplesPerFrame * 1e6 / kSampleRate;

RunThread g_audio_thread;
std::mutex g_audio_stats_lock;
DvAudioStats g_audio_stats;
LossRun g_queue_full; // the audio thread's alone

void count(u64 DvAudioStats::*field, u64 n)
{
    std::lock_guard<std::mutex> lock(g_audio_stats_lock);
    g_audio_stats.*field += n;
}

// Frames the encoder's stamps skip between the packet before and this one
// were lost before the audio thread: on the board or in the platform's
// encoder, which tell their own losses too.
void note_gap(u64 before, u64 pts)
{
    const u64 lost = frames_skipped(before, pts, kPacketUs);
    if (lost == 0)
        return;
    printf("KX_DV_AudioProc: %llu frames of sound lost before %llu us (the encoder's stamps skip them)\n",
           (unsigned long long)lost, (unsigned long long)pts);
    count(&DvAudioStats::u64LostBefore, lost);
}

// The attributes of input (1 channel) and output (2 channels): 48 kHz,
// 16 bit, I2S master, mono, 30 frames of 1024 samples.
AIO_ATTR_S aio_attr(u32 chnCnt) { return {kSampleRate, 1, 0, 0, 1, kEncoderFrames, kSamplesPerFrame, chnCnt, 1}; }

MPP_CHN_ADDR_S chn_addr(u32 mod, s32 dev, s32 chn) { return {mod, dev, chn}; }

void *KX_DV_AudioProc(void *)
{
    static const char *const self = "KX_DV_AudioProc";
    prctl(PR_SET_NAME, self);
    mpi_raise_audio_thread(self);
    u64 before = 0; // the stamp of the packet before, while packets are queued
    s32 fd = DU_DUZ_AENC_GetFd(0);
    if (fd < 0) {
        printf("%s: DU_DUZ_AENC_GetFd(%d) failed with %#x!\n", self, 0, fd);
        return nullptr;
    }
    while (audio_run_thd.load() == 1) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        struct timeval tv = {1, 0};
        int n = select(fd + 1, &set, nullptr, nullptr, &tv);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            printf("%s: get aenc stream select error\n", self);
            break;
        }
        if (n == 0) {
            // A late second of sound (a busy encoder) must not leave every
            // later recording silent: keep waiting while the thread runs.
            printf("%s: get aenc stream select time out\n", self);
            continue;
        }
        AENC_STREAM_OUT_S stream;
        s32 ret = DU_DUZ_AENC_GetStream(0, &stream, 0);
        if (ret != 0) {
            printf("%s: DU_DUZ_AENC_GetStream(%d), failed with %#x!\n", self, 0, ret);
            break;
        }
        if (gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING || dv_mp4_takes_packets()) {
            note_gap(before, stream.u64TimeStamp);
            before = stream.u64TimeStamp;
            Send_Data2AudioQue(&stream);
        } else {
            before = 0;
        }
        ret = DU_DUZ_AENC_ReleaseStream(0, &stream);
        if (ret != 0) {
            printf("%s: DU_DUZ_AENC_ReleaseStream(%d), failed with %#x!\n", self, 0, ret);
            break;
        }
    }
    return nullptr;
}

} // namespace

// ---- the steps ---------------------------------------------------------------------------

s32 KX_AUDIO_StartAi(s32 dev, u32 chnCnt, const AIO_ATTR_S *attr, u32 resampleRate, u32 resample)
{
    s32 ret = DU_DUZ_AI_SetPubAttr(dev, attr);
    if (ret != 0) {
        printf("%s: DU_DUZ_AI_SetPubAttr(%d) failed with %#x\n", __func__, dev, ret);
        return ret;
    }
    if ((ret = DU_DUZ_AI_Enable(dev)) != 0) {
        printf("%s: DU_DUZ_AI_Enable(%d) failed with %#x\n", __func__, dev, ret);
        return ret;
    }
    for (u32 chn = 0; chn < chnCnt; chn++) {
        if ((ret = DU_DUZ_AI_EnableChn(dev, (s32)chn)) != 0) {
            printf("%s: DU_DUZ_AI_EnableChn(%d,%d) failed with %#x\n", __func__, dev, (int)chn, ret);
            return ret;
        }
        if (resample == 1 && (ret = DU_DUZ_AI_EnableReSmp(dev, (s32)chn, resampleRate)) != 0) {
            printf("%s: DU_DUZ_AI_EnableReSmp(%d,%d) failed with %#x\n", __func__, dev, (int)chn, ret);
            return ret;
        }
    }
    const u32 track = (app_pref_user && app_pref_user->AudioInputPath == PREF_AUDIO_PATH_ALTERNATE) ? 2 : 1;
    if ((ret = DU_DUZ_AI_SetTrackMode(dev, track)) != 0) {
        printf("Ai set track mode failure! AiDev: %d, enTrackMode: %d, s32Ret: 0x%x.\n", dev, (int)track, ret);
        return ret;
    }
    u32 now = 0;
    if ((ret = DU_DUZ_AI_GetTrackMode(dev, &now)) != 0) {
        printf("Ai get track mode failure! AiDev: %d, s32Ret: 0x%x.\n", dev, ret);
        return ret;
    }
    return 0;
}

namespace {

// The encoder channels' attributes, and the channel a step works on.
struct AencChns {
    AENC_CHANNEL_CFG_S cfg;
    u32 chn;
};

s32 create_aenc_chn(AencChns *a)
{
    printf("DU_DUZ_AENC_CreateChn(%d, &stAencAttr) \n ", (int)a->chn);
    return DU_DUZ_AENC_CreateChn((s32)a->chn, &a->cfg);
}

s32 destroy_aenc_chn(AencChns *a)
{
    s32 ret = DU_DUZ_AENC_DestroyChn((s32)a->chn);
    if (ret != 0)
        printf("%s: DU_DUZ_AENC_DestroyChn(%d) failed with %#x!\n", "KX_AUDIO_StopAenc", (int)a->chn, ret);
    return ret;
}

const mpi_step<AencChns, s32> kAencChn = {"======DU_DUZ_AENC_CreateChn failed", create_aenc_chn, destroy_aenc_chn};

} // namespace

s32 KX_Audio_StartAenc(u32 chnCnt, const AIO_ATTR_S *attr, u32 payloadType)
{
    static AAC_ENC_CFG_S aac = {gs_enAacType, gs_enAacBps, kSampleRate, 1, 0};
    AencChns a = {{payloadType, attr ? attr->u32PtNumPerFrm : kSamplesPerFrame, kEncoderFrames, &aac}, 0};
    return mpi_steps_run_each(kAencChn, chnCnt, &a, &AencChns::chn, mpi_step_say_line);
}

s32 KX_AUDIO_AencBindAi(s32 aiDev, s32 aiChn, s32 aencChn)
{
    MPP_CHN_ADDR_S src = chn_addr(DU_ID_AI, aiDev, aiChn), dst = chn_addr(DU_ID_AENC, 0, aencChn);
    return DU_DUZ_SYS_Bind(&src, &dst);
}

s32 KX_AUDIO_AencUnbindAi(s32 aiDev, s32 aiChn, s32 aencChn)
{
    MPP_CHN_ADDR_S src = chn_addr(DU_ID_AI, aiDev, aiChn), dst = chn_addr(DU_ID_AENC, 0, aencChn);
    return DU_DUZ_SYS_UnBind(&src, &dst);
}

s32 ao_bind_ai(s32 aiDev, s32 aiChn, s32 aoDev, s32 aoChn)
{
    MPP_CHN_ADDR_S src = chn_addr(DU_ID_AI, aiDev, aiChn), dst = chn_addr(DU_ID_AO, aoDev, aoChn);
    return DU_DUZ_SYS_Bind(&src, &dst);
}

s32 KX_AUDIO_AoUnbindAi(s32 aiDev, s32 aiChn, s32 aoDev, s32 aoChn)
{
    MPP_CHN_ADDR_S src = chn_addr(DU_ID_AI, aiDev, aiChn), dst = chn_addr(DU_ID_AO, aoDev, aoChn);
    return DU_DUZ_SYS_UnBind(&src, &dst);
}

s32 KX_AUDIO_StartAo(s32 dev, u32 chnCnt, const AIO_ATTR_S *attr, u32 resampleRate, u32 resample)
{
    s32 ret = DU_DUZ_AO_SetPubAttr(dev, attr);
    if (ret != 0) {
        printf("%s: DU_DUZ_AO_SetPubAttr(%d) failed with %#x!\n", __func__, dev, ret);
        return ret;
    }
    if ((ret = DU_DUZ_AO_Enable(dev)) != 0) {
        printf("%s: DU_DUZ_AO_Enable(%d) failed with %#x!\n", __func__, dev, ret);
        return ret;
    }
    for (u32 chn = 0; chn < chnCnt; chn++) {
        if ((ret = DU_DUZ_AO_EnableChn(dev, (s32)chn)) != 0) {
            printf("%s: DU_DUZ_AO_EnableChn(%d) failed with %#x!\n", __func__, (int)chn, ret);
            return ret;
        }
        if (resample == 1) {
            DU_DUZ_AO_DisableReSmp(dev, (s32)chn);
            if ((ret = DU_DUZ_AO_EnableReSmp(dev, (s32)chn, resampleRate)) != 0) {
                printf("%s: DU_DUZ_AO_EnableReSmp(%d,%d) failed with %#x!\n", __func__, dev, (int)chn, ret);
                return ret;
            }
        }
    }
    return 0;
}

s32 KX_AUDIO_StopAo(s32 dev, u32 chnCnt, u32 resample)
{
    for (u32 chn = 0; chn < chnCnt; chn++) {
        if (resample == 1)
            DU_DUZ_AO_DisableReSmp(dev, (s32)chn);
        s32 ret = DU_DUZ_AO_DisableChn(dev, (s32)chn);
        if (ret != 0) {
            printf("%s: DU_DUZ_AO_DisableChn failed with %#x!\n", __func__, ret);
            return ret;
        }
    }
    s32 ret = DU_DUZ_AO_Disable(dev);
    if (ret != 0)
        printf("%s: DU_DUZ_AO_Disable failed with %#x!\n", __func__, ret);
    return ret;
}

s32 KX_AUDIO_StopAenc(u32 chnCnt)
{
    AencChns a = {};
    return mpi_steps_undo_each(kAencChn, chnCnt, &a, &AencChns::chn);
}

s32 KX_AUDIO_StopAi(s32 dev, u32 chnCnt, u32 resample)
{
    for (u32 chn = 0; chn < chnCnt; chn++) {
        if (resample == 1)
            DU_DUZ_AI_DisableReSmp(dev, (s32)chn);
        s32 ret = DU_DUZ_AI_DisableChn(dev, (s32)chn);
        if (ret != 0) {
            printf("[Func]:%s [Line]:%d [Info]:%s\n", __func__, __LINE__, "failed");
            return ret;
        }
    }
    s32 ret = DU_DUZ_AI_Disable(dev);
    if (ret != 0)
        printf("[Func]:%s [Line]:%d [Info]:%s\n", __func__, __LINE__, "failed");
    return ret;
}

// ---- start and stop ----------------------------------------------------------------------

namespace {

// What the audio road's start works on: the input's and the output's
// attributes, and the output channel a bind works on.
struct AudioRoad {
    AIO_ATTR_S in, out;
    u32 chn;
};

s32 cfg_codec(AudioRoad *r) { return KX_AUDIO_CfgAcodec(&r->in) != 0 ? -1 : 0; }

// A step that fails says so once, here.
s32 said(s32 ret, const char *failed)
{
    if (ret != 0)
        puts(failed);
    return ret;
}

s32 stop_input(AudioRoad *)
{
    return said(KX_AUDIO_StopAi(0, aud_cfg.AiChnCnt, 0), "======SAMPLE_COMM_AUDIO_StopAi failed");
}
s32 stop_encoder(AudioRoad *)
{
    return said(KX_AUDIO_StopAenc(aud_cfg.AencChnCnt), "======SAMPLE_COMM_AUDIO_StopAenc failed");
}
s32 unbind_encoder(AudioRoad *)
{
    return said(KX_AUDIO_AencUnbindAi(0, 0, 0), "======SAMPLE_COMM_AUDIO_AencUnbindAi failed");
}
s32 stop_output(AudioRoad *) { return KX_AUDIO_StopAo(0, aud_cfg.AoChnCnt, 0); }

// The input and the output are stopped even when they failed half-way
// started: such a step says why itself, before it stops.
s32 started_or_stopped(s32 ret, const char *failed, s32 (*stop)(AudioRoad *), AudioRoad *r)
{
    if (said(ret, failed) == 0)
        return 0;
    stop(r);
    return -1;
}

s32 start_input(AudioRoad *r)
{
    return started_or_stopped(KX_AUDIO_StartAi(0, aud_cfg.AiChnCnt, &r->in, 0, 0),
                              "======SAMPLE_COMM_AUDIO_StartAi failed", stop_input, r);
}

s32 start_encoder(AudioRoad *r) { return KX_Audio_StartAenc(aud_cfg.AencChnCnt, &r->in, gs_audioType) != 0 ? -1 : 0; }
s32 bind_encoder(AudioRoad *) { return KX_AUDIO_AencBindAi(0, 0, 0); }

s32 start_output(AudioRoad *r)
{
    return started_or_stopped(KX_AUDIO_StartAo(0, aud_cfg.AoChnCnt, &r->out, 0, 0),
                              "======SAMPLE_COMM_AUDIO_StartAo failed", stop_output, r);
}

s32 bind_output_chn(AudioRoad *r) { return ao_bind_ai(0, 0, 0, (s32)r->chn); }
s32 unbind_output_chn(AudioRoad *r) { return KX_AUDIO_AoUnbindAi(0, 0, 0, (s32)r->chn); }

const mpi_step<AudioRoad, s32> kOutputBind = {"======SAMPLE_COMM_AUDIO_AoBindAi failed", bind_output_chn,
                                              unbind_output_chn};

// The input bound to every output channel.
s32 bind_output(AudioRoad *r)
{
    return mpi_steps_run_each(kOutputBind, aud_cfg.AoChnCnt, r, &AudioRoad::chn, mpi_step_say_line) != 0 ? -1 : 0;
}
s32 unbind_output(AudioRoad *r) { return mpi_steps_undo_each(kOutputBind, aud_cfg.AoChnCnt, r, &AudioRoad::chn); }

// A failing step takes down the ones before it: a later start must find
// the units as they were. Run backwards, the table is the stop.
const mpi_step<AudioRoad, s32> kAudioRoad[] = {
    {"======SAMPLE_COMM_AUDIO_CfgAcodec failed", cfg_codec, nullptr},
    {nullptr, start_input, stop_input},
    {"======SAMPLE_COMM_AUDIO_StartAenc failed", start_encoder, stop_encoder},
    {"======SAMPLE_COMM_AUDIO_AencBindAi failed", bind_encoder, unbind_encoder},
    {nullptr, start_output, stop_output},
    {nullptr, bind_output, unbind_output},
};

} // namespace

s32 KX_DV_Audio_Run(void)
{
    AudioRoad road = {aio_attr(aud_cfg.AiChnCnt), aio_attr(aud_cfg.AoChnCnt)};
    aud_cfg.AiDev = 0;
    aud_cfg.AiChn = 0;
    aud_cfg.AencChn = 0;
    aud_cfg.AoDev = 0;
    // Registered once; a later start finds them there.
    DU_DUZ_AENC_AacInit();
    DU_DUZ_ADEC_AacInit();

    if (s32 ret = mpi_steps_run(kAudioRoad, &road, mpi_step_say_line))
        return ret;
    u32RecModeFlag |= DV_STATE_AUDIO;
    return 0;
}

s32 KX_DV_Audio_Stop(void)
{
    if (!(u32RecModeFlag & DV_STATE_AUDIO))
        return -1;
    // Every step comes down whatever the others did: a unit left up would
    // refuse the next start.
    AudioRoad road = {};
    s32 ret = mpi_steps_undo(kAudioRoad, &road);
    u32RecModeFlag &= ~DV_STATE_AUDIO;
    return ret;
}

// ---- the thread ----------------------------------------------------------------------------

s32 KX_DV_StartAudioThread(void)
{
    puts("KX_DV_StartAudioThread");
    // A thread that ended by itself (a second without sound) is reaped first.
    KX_DV_StopAudioThread();
    return run_thread_start(g_audio_thread, audio_run_thd, KX_DV_AudioProc);
}

s32 KX_DV_StopAudioThread(void) { return run_thread_stop(g_audio_thread, audio_run_thd); }

// ---- queueing ------------------------------------------------------------------------------

s32 Fill_AudioData2Buffer(const AENC_STREAM_OUT_S *stream, KX_REC_AUDIO_PKT_S *record)
{
    if (!audio_buffer) {
        puts("audio_buffer  no init");
        return -1;
    }
    const u32 len = stream->u32Len;
    if (len >= g_u32AudioStreamBufferSize || (len && !stream->pStream))
        return -1;
    // A packet that would reach the ring's end starts it again.
    if ((u64)audio_offset + len >= g_u32AudioStreamBufferSize)
        audio_offset = 0;
    if (len)
        memcpy(audio_buffer + audio_offset, stream->pStream, len);
    record->u32Offset = audio_offset;
    audio_offset += len;
    return 0;
}

namespace {

// A packet that goes no further: told and counted.
s32 not_queued(const AENC_STREAM_OUT_S *stream, const char *why)
{
    printf("Send_Data2AudioQue: the packet of %llu us is lost (%s)\n",
           stream ? (unsigned long long)stream->u64TimeStamp : 0ull, why);
    count(&DvAudioStats::u64NotQueued, 1);
    return -1;
}

// The MP4 thread fell far behind (the queue holds seconds of sound): the
// oldest packet gives way, the first of a run told at once and the run's
// length when the queue has room again.
void note_full(bool full, u64 pts)
{
    if (!full) {
        if (u32 n = g_queue_full.end(); n > 1)
            printf("Send_Data2AudioQue: %u packets dropped in a row from the full queue\n", n);
        return;
    }
    if (g_queue_full.lose(0))
        printf("Send_Data2AudioQue: the queue is full: its oldest packet is dropped for the one of %llu us\n",
               (unsigned long long)pts);
}

} // namespace

s32 Send_Data2AudioQue(const AENC_STREAM_OUT_S *stream)
{
    if (!stream || !q_audio_stream || !stAudioWriteQueData)
        return not_queued(stream, "no queue");
    KX_REC_AUDIO_PKT_S &rec = *stAudioWriteQueData;
    memset(&rec, 0, sizeof rec);
    rec.u64Seq = u64AudioIdenxNo++;
    rec.u64Pts = stream->u64TimeStamp;
    rec.u32Len = stream->u32Len;
    if (Fill_AudioData2Buffer(stream, &rec) != 0)
        return not_queued(stream, "the ring cannot take it");
    rec.u32BufBase = dv_ring_tag(audio_buffer);
    const bool full = KX_OrderQueue_Full(q_audio_stream) == 1;
    if (full)
        KX_OrderQueue_Delete(q_audio_stream);
    note_full(full, rec.u64Pts);
    if (KX_OrderQueue_Write(q_audio_stream, &rec, sizeof rec) != 0)
        return not_queued(stream, "the queue refused it");
    std::lock_guard<std::mutex> lock(g_audio_stats_lock);
    if (g_audio_stats.u64Queued++ == 0)
        g_audio_stats.u64FirstPts = rec.u64Pts;
    g_audio_stats.u64LastPts = rec.u64Pts;
    g_audio_stats.u64Dropped += full ? 1 : 0;
    return 0;
}

DvAudioStats dv_audio_stats(void)
{
    std::lock_guard<std::mutex> lock(g_audio_stats_lock);
    return g_audio_stats;
}

void dv_audio_stats_reset(void)
{
    std::lock_guard<std::mutex> lock(g_audio_stats_lock);
    g_audio_stats = DvAudioStats{};
}

u64 dv_audio_lost(const DvAudioStats &s) { return s.u64LostBefore + s.u64Dropped + s.u64NotQueued + s.u64LeftOut; }

void dv_audio_left_out(u64 n) { count(&DvAudioStats::u64LeftOut, n); }

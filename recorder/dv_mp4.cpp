// The MP4 thread: queued video frames and AAC packets into MP4 files, split
// at key frames, closed on stop, card full or power-off.
#include "recorder/dv_mp4.h"

#include "board/board.h"
#include "core/kx_thread.h"
#include "core/msg_hub.h"
#include "core/pref_record.h"
#include "core/rec_state.h"
#include "core/run_thread.h"
#include "mpi/common/loss_run.h"
#include "recorder/dv_audio.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_hooks.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_stream.h"
#include "recorder/rec_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

std::atomic<u32> venc_mp4_Run{0};
std::atomic<u8> videoFileHas1Sec{1};
pthread_mutex_t lock_record = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t cond_record = PTHREAD_COND_INITIALIZER;

namespace {

constexpr u32 kEntry = KX_REC_ENTRY_RECORD;
// The span the thread gives one AAC packet (1024 samples at 48 kHz last
// 21333 us; the shorter span lets audio catch up with the video).
constexpr u64 kAudioSpan = 20833;
constexpr u64 kPacketUs = 1024 * 1000000ull / 48000; // what a packet lasts in the file (21333)
constexpr u64 kCardReserveKiB = 153600;
constexpr u32 kRecRelease = HMSG_KEY_RELEASE + KEY_ID_REC;
constexpr u32 kWaitMs = 20; // an empty queue is looked at again after this
// At a split or the stop the sound up to the file's last frame may still be
// on its way from the encoder (a busy one is late): it is waited for while
// it keeps coming, until this long passes without a packet (longer than the
// half second the sound's path rides out), and no longer than
// kAudioWaitMost in all.
constexpr auto kAudioWait = std::chrono::milliseconds(700);
constexpr auto kAudioWaitMost = std::chrono::seconds(2);
// How long the stop waits for the stream thread to queue what the encoder
// coded before its stop.
constexpr auto kStreamStopWait = std::chrono::seconds(1);

RunThread g_mp4_thread;
std::atomic<bool> g_takes_packets{false};

KX_REC_CMD_S &rec_cmd() { return gRecCmd[kEntry]; }
bool running() { return rec_cmd().RecState == KX_REC_STATE_RUNNING; }
bool stopped() { return rec_cmd().RecState == KX_REC_STATE_STOPPED; }

// One recording: its parameters, the open file and its counters.
struct Recording {
    MP4_BITMAPINFOHEADER_S video;
    MP4_WAVEFORMATEX_S audio;
    u32 fps = 0;
    u32 seconds = 0;       // file length L
    u32 frames_per_file = 0; // N
    u64 interval = 0;      // T, microseconds per frame
    bool first_file = true;
    bool full_told = false; // card full reported for this recording
    bool failed = false;    // a file could not be made or written
    u64 audio_floor = 0;    // audio older than the recording's first key frame is stale

    MP4Handle h = nullptr;
    char path[KX_REC_FILENAME_SIZE] = {}; // the open file's name
    s32 video_index = 0, audio_index = 0;
    u32 frames = 0;          // written to this file
    u8 since_key = 0;
    u64 first_pts = 0, last_pts = 0;
    bool first_of_file = true;
    u64 lost = 0;          // time of frames lost upstream before the last frame written
    u64 audio_in_file = 0; // packets taken for this file
    LossRun left_out;      // packets taken and not written, told by the run

    KX_REC_VIDEO_PKT_S v; // the record in hand
    bool have_v = false;
};

// ---- the queues ----------------------------------------------------------------------------

bool video_ok(const KX_REC_VIDEO_PKT_S &r)
{
    return main_rec_buf && r.u32Len != 0 && (u64)r.u32Offset + r.u32Len <= g_u32MainStreamBufferSize;
}

bool take_video(KX_REC_VIDEO_PKT_S &r) { return KX_OrderQueue_Read(&r, q_main_stream) == 0; }

// Done with a record of the recording without writing it: the frame is
// lost, told and counted.
void discard_video(const KX_REC_VIDEO_PKT_S &r, const char *why)
{
    printf("the frame of %llu us is left out of the recording (%s)\n", (unsigned long long)r.u64Pts, why);
    dv_stream_left_out();
    dv_stream_consumed(&r);
}

bool peek_audio(KX_REC_AUDIO_PKT_S &a) { return KX_OrderQueue_ReadNotDel(&a, q_audio_stream) == 0; }
bool take_audio(KX_REC_AUDIO_PKT_S &a) { return KX_OrderQueue_Read(&a, q_audio_stream) == 0; }

// Where the file's sound has got to on the capture clock. The file plays
// its frames one after the other, so the time of frames lost upstream is not
// in it: the sound of that time is left out too, or it would run ahead of
// the pictures for the rest of the file.
u64 heard(const Recording &r) { return r.first_pts + r.lost + r.audio_in_file * kPacketUs; }

// What becomes of a packet the thread took.
enum class AudioFit {
    write,    // into the file
    stale,    // older than the recording: the sound of before its first frame
    unusable, // no bytes, or bytes of a ring no longer in use
    no_time,  // older than the sound the file holds: the time of frames lost upstream
};

AudioFit audio_fit(const Recording &r, const KX_REC_AUDIO_PKT_S &a)
{
    if (!audio_buffer || a.u32Len == 0 || a.u32BufBase != dv_ring_tag(audio_buffer) ||
        (u64)a.u32Offset + a.u32Len > g_u32AudioStreamBufferSize)
        return AudioFit::unusable;
    if (a.u64Pts < r.audio_floor)
        return AudioFit::stale;
    return a.u64Pts + kPacketUs / 2 >= heard(r) ? AudioFit::write : AudioFit::no_time;
}

// The end of a run of packets left out: its length told.
void end_left_out(Recording &r)
{
    if (u32 n = r.left_out.end(); n > 1)
        printf("%u packets of sound in a row left out of %s\n", n, r.path);
}

// Whether the packet goes into the file. The sound of a recording that is
// left out is told (the first of a run, and the run's length) and counted.
bool audio_ok(Recording &r, const KX_REC_AUDIO_PKT_S &a)
{
    const AudioFit fit = audio_fit(r, a);
    if (fit == AudioFit::write || fit == AudioFit::stale)
        return fit == AudioFit::write;
    if (r.left_out.active() && r.left_out.reason() != (s32)fit)
        end_left_out(r);
    if (r.left_out.lose((s32)fit)) {
        // Where in the file's sound the gap falls, for whoever listens to it.
        const double at = (double)r.audio_in_file * kPacketUs / 1e6;
        if (fit == AudioFit::no_time)
            printf("the sound of %llu us is left out of %s at %.3f s of its sound: %llu us of its frames were lost "
                   "upstream\n",
                   (unsigned long long)a.u64Pts, r.path, at, (unsigned long long)r.lost);
        else
            printf("an unusable sound record (%u bytes at %u) is left out of %s at %.3f s of its sound\n", a.u32Len,
                   a.u32Offset, r.path, at);
    }
    dv_audio_left_out(1);
    return false;
}

// A write the file refused for good (its card pulled or full) ends the
// recording: a file that takes nothing is not fed on.
void check_write(Recording &r, s32 ret)
{
    if (ret == 0 || r.failed || !mp4_write_failed(r.h))
        return;
    printf("======writing %s failed: the recording ends\n", r.path);
    r.failed = true;
}

void write_audio(Recording &r, const KX_REC_AUDIO_PKT_S &a)
{
    end_left_out(r);
    // With the sound off the packet is taken and not written.
    if (rec_cmd().u8AudioLevel != PREF_SOUND_MUTE)
        check_write(r, MP4_WriteFrame(r.h, (u32)r.audio_index, a.u64Pts, audio_buffer + a.u32Offset, a.u32Len, 0));
    r.audio_in_file++;
}

// One more frame in the file, stamped `pts`.
void count_frame(Recording &r, u64 pts)
{
    r.frames++;
    const u64 due = r.first_pts + (u64)(r.frames - 1) * 1000000 / r.fps;
    r.lost = pts > due ? pts - due : 0;
}

// Takes the next packet that has data; false when the queue runs out.
bool take_usable_audio(Recording &r, KX_REC_AUDIO_PKT_S &a)
{
    while (take_audio(a))
        if (audio_ok(r, a))
            return true;
    return false;
}

// The audio that belongs to the interval of the frame stamped `v`.
void write_audio_for(Recording &r, u64 v)
{
    KX_REC_AUDIO_PKT_S a;
    bool took = false;
    while (peek_audio(a)) {
        if (kAudioSpan > r.interval && a.u64Pts >= v)
            return; // above 48 frames/s a packet waits for its frame
        take_audio(a);
        if (!audio_ok(r, a))
            continue; // an empty record, or sound the file has no time for, holds up nothing
        write_audio(r, a);
        took = true;
        break;
    }
    if (!took || kAudioSpan >= r.interval)
        return;
    u64 last = a.u64Pts;
    while (!stopped() && last + kAudioSpan < v + r.interval && take_usable_audio(r, a)) {
        write_audio(r, a);
        last = a.u64Pts;
    }
}

// The sound before `until` ends this file: at a split `until` is the next
// file's first frame, so that every packet goes into exactly one file, in
// order; at the stop it is the end of the last frame. The last of it may
// still be on its way from the encoder; a packet at or past `until` says
// that all before it are here. False when the wait gave up first.
bool write_audio_until(Recording &r, u64 until)
{
    using clock = std::chrono::steady_clock;
    const auto last_chance = clock::now() + kAudioWaitMost;
    auto give_up = clock::now() + kAudioWait;
    KX_REC_AUDIO_PKT_S a;
    while (!r.failed) {
        if (!peek_audio(a)) {
            if (clock::now() >= std::min(give_up, last_chance))
                return false;
            usleep(2000);
            continue;
        }
        if (a.u64Pts >= until)
            return true;
        take_audio(a);
        if (audio_ok(r, a))
            write_audio(r, a);
        give_up = clock::now() + kAudioWait;
    }
    return true;
}

// The end of the last file's sound did not come in time: what it misses of
// its frames' time is lost (told and counted). A packet that comes later
// waits for the next recording, which leaves it out as older than itself.
void sound_short_at_stop(Recording &r, u64 until)
{
    const u64 at = heard(r);
    const u64 packets = until > at ? (until - at + kPacketUs / 2) / kPacketUs : 0;
    if (packets == 0)
        return;
    printf("the sound of the last %llu us did not come in time: %s ends %llu packets short\n",
           (unsigned long long)(until - at), r.path, (unsigned long long)packets);
    dv_audio_left_out(packets);
}

// ---- files ---------------------------------------------------------------------------------

void post(u32 id) { hcmgr_snd_msg(id); }

void report_card_full(Recording &r)
{
    if (r.full_told)
        return;
    r.full_told = true;
    post(AMSG_CARD_STATE_FULL);
}

void close_file(Recording &r)
{
    if (!r.h)
        return;
    end_left_out(r);
    MP4_EndWriting(r.h);
    u64 ms = 0;
    MP4_DestroyWriter(r.h, &ms);
    r.h = nullptr;
    // A recording stopped before its first frame leaves no file that no
    // player could open.
    if (r.frames == 0 && bd_remove(r.path) == 0)
        printf("%s holds no frame: removed\n", r.path);
    bd_sync();
}

// Takes the next name and opens a writer on it; false ends the recording
// (state 2, the reason reported).
bool open_file(Recording &r)
{
    char name[KX_REC_FILENAME_SIZE];
    if (!KX_RecordCtr_Getfilename(name, sizeof name, kEntry, KX_REC_TYPE_MOVIE, rec_cmd().PackSize,
                                  r.video.u32avgBitRate)) {
        rec_cmd().RecState = KX_REC_STATE_STOPPED;
        report_card_full(r);
        return false;
    }
    const bool powering_off = dv_app_hooks().powering_off();
    printf("%s , pw:%d\n", name, (int)powering_off);
    if (powering_off)
        return false;

    videoFileHas1Sec = 0;
    snprintf(r.path, sizeof r.path, "%s", name);
    r.frames = 0;
    const char *failed = nullptr;
    if (MP4_CreateWriter(&r.h, name) != 0) {
        failed = "======MP4_CreateWriter failed";
        r.h = nullptr;
    } else if (MP4_SetVideoStreamParams(r.h, &r.video_index, &r.video) != 0) {
        failed = "======MP4_SetVideoStreamParams failed";
    } else if (MP4_SetAudioStreamParams(r.h, &r.audio_index, &r.audio) != 0) {
        failed = "======MP4_SetAudioStreamParams failed";
    } else if (MP4_BeginWriting(r.h) != 0) {
        failed = "======MP4_BegingWriting failed";
    }
    if (failed) {
        puts(failed);
        printf("======%s could not be made: the recording ends\n", name);
        r.failed = true;
        if (r.h) {
            MP4_DestroyWriter(r.h, nullptr);
            bd_remove(name); // nothing could be written to it
        }
        r.h = nullptr;
        rec_cmd().RecState = KX_REC_STATE_STOPPED;
        return false;
    }
    dv_app_hooks().running_file(name); // MODE while recording locks this file
    r.frames = 0;
    r.since_key = 0;
    r.first_pts = r.last_pts = 0;
    r.first_of_file = true;
    r.lost = 0;
    r.audio_in_file = 0;
    return true;
}

// The first file begins with a key frame: the frames before it are dropped,
// and so is the audio older than it. False when the recording stopped first.
bool find_key(Recording &r)
{
    KX_REC_AUDIO_PKT_S a;
    while (true) {
        if (!running())
            return false;
        if (!take_video(r.v)) {
            dv_stream_wait(kWaitMs);
            continue;
        }
        if (peek_audio(a) && a.u64Pts < r.v.u64Pts)
            take_audio(a);
        if (r.v.u32KeyFlag == 1)
            break;
        discard_video(r.v, "before the first key frame");
    }
    r.have_v = true;
    r.first_file = false;
    r.audio_floor = r.v.u64Pts;
    while (true) {
        if (!peek_audio(a)) {
            puts("=======find I=no aud buf===");
            break;
        }
        if (a.u64Pts >= r.v.u64Pts) {
            puts("=======find I=======");
            break;
        }
        take_audio(a);
    }
    return true;
}

// Whether the file is long enough to end before the key frame in hand.
bool split_due(const Recording &r)
{
    if (r.frames == 0)
        return false;
    if (r.frames < r.frames_per_file && r.last_pts - r.first_pts < (u64)r.seconds * 1000000u)
        return false;
    printf("u8IPintervalCnt = %d , u32DivFrameCnt =%d \n", (int)r.since_key, (int)r.frames);
    return true;
}

// Whether the card is down to its reserve; its free space through free_kib.
bool card_low(u64 *free_kib)
{
    *free_kib = dv_app_hooks().card_free_kib();
    return *free_kib <= kCardReserveKiB;
}

void after_frame(Recording &r)
{
    u64 free_kib = 0;
    if (!r.full_told && card_low(&free_kib)) {
        printf("Get_SD_Card_Space_2(%d)\n", (int)free_kib);
        // The record application stops the recording on the REC release.
        post(kRecRelease);
        report_card_full(r);
    }
    if (videoFileHas1Sec == 0 && r.frames > r.fps)
        videoFileHas1Sec = 1;
}

// Writes the record in hand, then the audio of its interval.
void write_video(Recording &r)
{
    const KX_REC_VIDEO_PKT_S &v = r.v;
    r.have_v = false;
    if (r.first_of_file) {
        r.first_pts = v.u64Pts;
        r.first_of_file = false;
    }
    r.last_pts = v.u64Pts;
    if (v.u32End - v.u32Offset != v.u32Len)
        printf("data id=%d\n", (int)v.u64Seq);
    if (!video_ok(v)) {
        printf("pktLen = %d \n", (int)v.u32Len);
        discard_video(v, "no bytes in the ring");
        return;
    }
    const s32 ret =
        MP4_WriteFrame(r.h, (u32)r.video_index, v.u64Pts, main_rec_buf + v.u32Offset, v.u32Len, v.u32KeyFlag);
    if (ret != 0)
        discard_video(v, "the writer refused it");
    else
        dv_stream_consumed(&v);
    check_write(r, ret);
    count_frame(r, v.u64Pts);
    r.since_key = v.u32KeyFlag == 1 ? 0 : (u8)(r.since_key + 1);
    write_audio_for(r, v.u64Pts);
    after_frame(r);
}

// The next frame for the stop's drain. The frames the encoder coded before
// its stop are still on their way while the stream thread stops it: they
// are waited for, unless the engine itself stops (nobody stops the stream
// thread before it), and no longer than kStreamStopWait.
bool next_to_drain(Recording &r, std::chrono::steady_clock::time_point until)
{
    while (!r.have_v && !take_video(r.v)) {
        if (!dv_stream_live() || venc_mp4_Run.load() != 1 || std::chrono::steady_clock::now() >= until)
            return false;
        dv_stream_wait(kWaitMs);
    }
    return true;
}

// The stop: what is still queued goes into the file, each frame with the
// sound of its interval as while recording (not one packet a frame, which
// leaves the file's sound short of its pictures); sound left over waits for
// the next recording. A file begins with a key frame: frames before one
// could not be decoded.
void drain(Recording &r)
{
    const auto until = std::chrono::steady_clock::now() + kStreamStopWait;
    while (!r.failed && next_to_drain(r, until)) {
        r.have_v = false;
        if (!video_ok(r.v)) {
            printf("pktLen = %d \n", (int)r.v.u32Len);
            discard_video(r.v, "no bytes in the ring");
            continue;
        }
        if (r.frames == 0 && r.v.u32KeyFlag != 1) {
            discard_video(r.v, "before the first key frame");
            continue;
        }
        s32 ret = MP4_WriteFrame(r.h, (u32)r.video_index, r.v.u64Pts, main_rec_buf + r.v.u32Offset, r.v.u32Len,
                                 r.v.u32KeyFlag);
        if (ret != 0) {
            printf("write frame fail: 0x%x \n", ret);
            discard_video(r.v, "the writer refused it");
            check_write(r, ret);
            continue;
        }
        dv_stream_consumed(&r.v);
        if (r.first_of_file) {
            r.first_pts = r.v.u64Pts;
            r.first_of_file = false;
        }
        count_frame(r, r.v.u64Pts);
        r.last_pts = r.v.u64Pts;
        write_audio_for(r, r.v.u64Pts);
    }
    if (r.frames > 0 && !write_audio_until(r, r.last_pts + r.interval))
        sound_short_at_stop(r, r.last_pts + r.interval);
}

// Leaves a recording: the file closed, its end reported, nothing of it left
// in the video queue, and the state stopped so that only a new command
// starts the next one.
void end_recording(Recording &r, bool drain_first)
{
    if (running())
        rec_cmd().RecState = KX_REC_STATE_STOPPED; // once the file is closed the stream thread queues no more
    if (r.h && drain_first && !r.failed)
        drain(r);
    close_file(r);
    dv_app_hooks().running_file(nullptr);
    g_takes_packets = false;
    // What is still queued came after the file was closed (it failed, or
    // the camera powers off): lost, told at once and counted.
    u64 left = 0;
    while (r.have_v || take_video(r.v)) {
        r.have_v = false;
        dv_stream_left_out();
        dv_stream_consumed(&r.v);
        left++;
    }
    if (left)
        printf("%llu frames queued after the file closed are left out of the recording\n", (unsigned long long)left);
    videoFileHas1Sec = 1;
    post(AMSG_RECORD_COMPLETE);
    if (r.failed)
        post(AMSG_RECORD_FAILED);
    puts("stop record end !");
}

void record(Recording &r)
{
    g_takes_packets = true;
    Get_Mp4_Info(&r.video, &r.audio, kEntry);
    r.fps = r.video.u32samplePerSec;
    if (r.fps == 0) {
        puts("======frame rate 0: nothing to record");
        end_recording(r, false);
        return;
    }
    r.seconds = (u32)rec_cmd().PackSize * 60;
    r.frames_per_file = r.seconds * r.fps;
    r.interval = 1000000u / r.fps;
    r.first_file = true;
    r.full_told = false;
    r.failed = false;
    r.audio_floor = 0;
    r.have_v = false;

    while (running()) {
        if (!r.h) {
            if (!open_file(r)) {
                end_recording(r, false);
                return;
            }
            if (r.first_file && !find_key(r))
                break;
            continue;
        }
        if (!r.have_v) {
            if (!take_video(r.v)) {
                dv_stream_wait(kWaitMs);
                continue;
            }
            r.have_v = true;
        }
        if (r.v.u32KeyFlag == 1 && split_due(r)) {
            write_audio_until(r, r.v.u64Pts);
            close_file(r);
            post(AMSG_FILE_AUTO_SPLIT);
            // The next file opens at once, so a stop now still has a file
            // for this key frame and what is queued behind it.
            if (!open_file(r)) {
                end_recording(r, false);
                return;
            }
            continue;
        }
        write_video(r);
        if (r.failed)
            break;
    }
    printf("p_state->RecState = %d\n", (int)rec_cmd().RecState);
    end_recording(r, stopped());
}

void *KX_DV_Mp4Proc(void *)
{
    puts("KX_DV_Mp4Proc");
    MP4_InitWriter(DV_MP4_BACKUP_KEY_FRAMES);
    Recording r;
    while (venc_mp4_Run.load() == 1) {
        KX_WaitCmdToRecord_API();
        if (venc_mp4_Run.load() != 1)
            break;
        record(r);
    }
    usleep(100 * 1000);
    bd_sync();
    videoFileHas1Sec = 1;
    post(AMSG_RECORD_COMPLETE);
    puts("------exit mp4 thread successfully");
    return nullptr;
}

} // namespace

void Get_Mp4_Info(MP4_BITMAPINFOHEADER_S *video, MP4_WAVEFORMATEX_S *audio, u32 entry)
{
    const KX_DV_VENC_PARAM_S &e = gsDvConfig.sVenc.sParam[entry < 4 ? entry : 1];
    const KX_DV_VI_PARAM_S &vi = gsDvConfig.sVi.sParam[0];
    *video = MP4_BITMAPINFOHEADER_S{};
    video->eCodeid = e.enType == PT_H264 ? MP4_CODEC_ID_H264 : MP4_CODEC_ID_H265;
    SIZE_S size = {0, 0};
    KX_DV_SYS_GetPicSize(vi.u8Norm, e.u8Resolution, &size, vi.enRotate);
    video->u32BiWidth = size.u32Width;
    video->u32BiHeight = size.u32Height;
    video->u32BitCount = 16;
    video->u32avgBitRate = KX_DV_Get_BitRate(e.u8ImageQuality, e.enType, e.u8Resolution, e.u8FrameRate) * 1024;
    video->u32samplePerSec = e.u8FrameRate;

    *audio = MP4_WAVEFORMATEX_S{};
    audio->eCodeid = MP4_CODEC_ID_AACLC;
    audio->u32Channels = 1;
    audio->u32SamplesPerSec = 48000;
    audio->u32AvgBytesPerSec = 32000;
    audio->u16BlockAlign = 1024;
    audio->u16BitsPerSample = 16;
}

s32 KX_DV_StartMp4Thread(void)
{
    puts("KX_DV_StartMp4Thread");
    return run_thread_start(g_mp4_thread, venc_mp4_Run, KX_DV_Mp4Proc);
}

s32 KX_DV_StopMp4Thread(void)
{
    if (!g_mp4_thread.joinable)
        return 0;
    rec_cmd().RecState = KX_REC_STATE_STOPPED;
    venc_mp4_Run = 0;
    KX_SendCondtoRecord();
    return run_thread_stop(g_mp4_thread, venc_mp4_Run);
}

s32 KX_SendCondtoRecord(void)
{
    if (running())
        videoFileHas1Sec = 0; // a recording starts: its file has no second yet
    KX_THMutexLock_API(&lock_record);
    KX_THCondBroadcast_API(&cond_record);
    return KX_THMutexUnlock_API(&lock_record);
}

s32 KX_WaitCmdToRecord_API(void)
{
    puts("wait for record command");
    KX_THMutexLock_API(&lock_record);
    while (!running() && venc_mp4_Run.load() == 1)
        KX_THCondWait_API(&cond_record, &lock_record);
    return KX_THMutexUnlock_API(&lock_record);
}

u8 KX_GetRecordFileOver1Sec(void) { return videoFileHas1Sec; }

bool dv_mp4_takes_packets(void) { return g_takes_packets.load(); }

u8 KX_GetRecordState(u32 entry)
{
    u32 e = entry & 0xFF;
    return e < KX_REC_ENTRY_NUM ? gRecCmd[e].RecState : 0;
}

// The recording engine as a whole: the rings and packet queues through which
// encoded video and audio travel from the capture threads to the MP4 thread,
// the media platform's start with its buffer pool, the pipeline's first run,
// stop and restart, and the same stages one by one as numbered steps.
//
// Callers: the record and photo applications and the handler's power-off
// path, all on the handler thread; the stop thread of a signal.
#pragma once

#include "core/order_queue.h"
#include "mpi/common/mpi_common.h"

#include <pthread.h>

// One encoded video pack in q_main_stream; its bytes (Annex-B, from the
// first start code) lie at main_rec_buf + u32Offset.
struct KX_REC_VIDEO_PKT_S {
    u64 u64Seq;
    u64 u64Pts;      // microseconds, as the encoder stamped the pack
    u32 u32KeyFlag;  // 1: the pack starts a key frame
    u32 u32Len;
    u32 u32End;      // u32Offset + u32Len
    u32 u32Offset;
};
static_assert(sizeof(KX_REC_VIDEO_PKT_S) == 32, "video queue record");

// One AAC packet in q_audio_stream; its bytes lie at audio_buffer + u32Offset.
struct KX_REC_AUDIO_PKT_S {
    u64 u64Seq;
    u32 u32Len;
    u32 u32Offset;
    u64 u64Pts;
    u32 u32BufBase;
};
static_assert(sizeof(KX_REC_AUDIO_PKT_S) == 32, "audio queue record");

// Allocated by KX_DV_RecordParamInit, released by KX_DV_ClearRecordParam
// (null in between), on the handler thread or a signal's stop thread, each
// whole under a lock of the engine. The pointers and sizes are set before
// the stream, audio and MP4 threads of a pipeline start and released after
// the stream and MP4 threads are joined; the audio thread, which may still
// run then, touches its ring only while a recording is commanded or the MP4
// thread takes sound, both of which that stop ends. Each ring has one
// producer (stream thread, audio thread) and one consumer (the MP4 thread),
// and needs no lock of its own: the queue hands over each record.
extern u8 *main_rec_buf;
extern u8 *audio_buffer;
extern u32 g_u32MainStreamBufferSize;  // 40 MiB below quality 3, else 20 MiB
extern u32 g_u32AudioStreamBufferSize; // 2 MiB
// Written by the stream and audio threads, read by the MP4 thread, each
// call under the queue's mutex below.
extern KX_OrderQueue *q_main_stream;   // KX_REC_VIDEO_PKT_S records
extern KX_OrderQueue *q_audio_stream;  // KX_REC_AUDIO_PKT_S records, 336 of them
extern pthread_mutex_t lock_main_sterm_wq;
extern pthread_mutex_t lock_audio_wq;
// Where the stream and audio threads build a record before queueing it:
// each the one producer's alone.
extern KX_REC_VIDEO_PKT_S *stVideoWriteQueData;
extern KX_REC_AUDIO_PKT_S *stAudioWriteQueData;

// Slots of the video queue for a sensor rate and the recording quality:
// 6.5 seconds of frames, one more second below quality 3, at least 180.
u32 dv_video_queue_depth(u8 sensor_fps, u8 quality);

// Both rings, both scratch records and both queues, from gsDvConfig; what an
// earlier start left is released first. 0, or -1 with nothing allocated.
s32 KX_DV_RecordParamInit(void);
// Frees and nulls the rings and records, destroys the queues (the mutexes stay).
s32 KX_DV_ClearRecordParam(void);
// The system unit and one common pool of 40 picture blocks, from scratch;
// 0 (state bit DV_STATE_MPP set) or the failing call's status code.
s32 KX_DV_MppInit(void);

// The whole pipeline up to the MP4 thread; 0 when that thread started.
// A failing stage takes down what was started before it.
s32 KX_DV_FirstRun(void);
// Everything the first run started, in reverse; the platform, rings and
// queues stay. 0.
s32 KX_DV_Stop(void);
// The first run after a configuration change, printing the configuration.
s32 KX_DV_ReStart(void);

// One numbered step (0 rings, 1 release them, 2 platform, 3/4 input up/down,
// 5/6 processing, 7/8 encoder, 9/10 MP4 thread, 11 restart, 12 stop, 13/14
// scene auto-tuning); `entry` picks the date-stamp entry of step 7.
s32 KX_Video_Mode_Func(u32 step, u32 entry, u32 spare);

// The stop of a signal: the handler may only wake an ordinary thread, which
// runs steps 10 and 1 and then `then` (the process's own end). Started once;
// one request is served, after which the thread ends.
s32 sig_stop_thread_run(void (*then)(void));
// Async-signal-safe.
void sig_stop_request(void);
// Ends the thread when no request came, and joins it either way.
s32 sig_stop_thread_stop(void);

// ---- what the engine calls of the capture threads ------------------------------------------------

// The MP4 thread: started waiting for a record command; the stop closes a
// recording in progress. 0 or the thread-creation result.
s32 KX_DV_StartMp4Thread(void);
s32 KX_DV_StopMp4Thread(void);
// The stream thread's stop (its start belongs to the record applications).
s32 KX_DV_StopGetStream(void);

// Video stream capture: while a recording runs, one stream thread takes each
// encoded frame of the recording encoder channel (1), copies its bytes into
// main_rec_buf and queues a KX_REC_VIDEO_PKT_S record on q_main_stream for
// the MP4 thread, until the MP4 thread has closed the recording's last file;
// at its stop it stops the encoder and queues what the encoder had coded.
//
// The ring never overwrites bytes the MP4 thread has not finished with: the
// MP4 thread reports each record it is done with (dv_stream_consumed). A
// frame that finds no room in the ring or the queue is dropped, and so is
// every non-key frame after it until a key frame finds room, so that the
// file never holds a frame whose reference was lost.
#pragma once

#include "mpi/video/venc/mpi_venc.h"
#include "recorder/dv_engine.h"

#include <atomic>
#include <cstdio>

// The stream thread's alone (one at a time: a start joins the previous
// one); no lock.
extern u64 u64VideoIndex;   // one number per pack examined, never reset
extern u32 main_rec_offset; // write position in main_rec_buf, never reset
// Set by the start (record applications), cleared by the stop (handler, or
// a signal's stop thread), read by the thread; atomic.
extern std::atomic<u32> venc_getStream_Run;

// Starts the stream thread (a thread of an earlier recording is joined
// first); 0 or the thread-creation error. Its stop, KX_DV_StopGetStream, is
// declared with the engine.
s32 KX_DV_StartGetStream(void);

// Queues the packs of one stream of `channel` (only 1 is recorded). 0, or -1
// for a null stream, a channel other than 1 or a pack without data.
s32 Send_Steam2Que(KX_OrderQueue *queue, const VENC_STREAM_REC_S *stream, u32 channel);
// Appends bytes to the ring (channel 1 only) and notes their place in
// `record`; -1 for another channel, no ring, or bytes longer than the ring.
s32 Fill_RecData2Buffer(const u8 *data, u32 length, u32 channel, KX_REC_VIDEO_PKT_S *record);
// Writes the buffer to an open file and flushes it; 0.
s32 KX_Que_SaveH265(FILE *file, const u8 *buffer, u32 size);

// ---- the consumer's side ----------------------------------------------------------------------

// The MP4 thread is done with `record` and every record queued before it:
// their bytes may be overwritten.
void dv_stream_consumed(const KX_REC_VIDEO_PKT_S *record);
// True from the stream thread's start until it has stopped the encoder and
// queued what the encoder had coded before its stop.
bool dv_stream_live(void);
// Waits up to `ms` milliseconds for a record on q_main_stream; returns at
// once when one is there, and when the stream thread ends.
void dv_stream_wait(u32 ms);

// What the stream thread did since the last reset, and the pictures lost on
// their way to the file, by where they were lost. Each loss is also told
// where it happens.
struct DvStreamStats {
    u64 u64Queued;   // records written to q_main_stream
    u64 u64Dropped;  // frames dropped for want of room (queue or ring), or of a file (coded after it closed)
    u32 u32MaxDepth; // most records q_main_stream held at once
    u64 u64FirstPts; // stamps of the first and last record queued
    u64 u64LastPts;
    u64 u64LostUp;   // frames the encoder's stamps skip: lost on the board (capture, processing, encoder)
    u64 u64LeftOut;  // frames the MP4 thread took and did not write (see dv_stream_left_out)
};
DvStreamStats dv_stream_stats(void);
void dv_stream_stats_reset(void);
// Every frame lost on its way to the file.
u64 dv_stream_lost(const DvStreamStats &s);
// The MP4 thread's share: a frame it took and did not write.
void dv_stream_left_out(void);

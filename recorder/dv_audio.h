// Audio capture of the record modes: the codec set up over its device, audio
// input device 0 at 48 kHz mono bound to one AAC-LC encoder channel and to
// the two output channels, and the audio thread that copies each AAC packet
// into audio_buffer and queues its record on q_audio_stream while a recording
// runs.
//
// The record applications call KX_DV_Audio_Run and KX_DV_StartAudioThread
// after KX_DV_FirstRun, and KX_DV_StopAudioThread and KX_DV_Audio_Stop after
// KX_DV_Stop.
#pragma once

#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/comm/mpi_audio_comm.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_tlv320.h" // the codec's set-up, the road's first step

#include <atomic>
#include <cstdint>

// The audio set-up.
struct KX_AUD_CFG_S {
    u32 AiDev;      // 0
    u32 AiChn;      // the input channel in use
    u32 AiChnCnt;   // 1
    u32 AencChn;    // the encoder channel in use
    u32 AencChnCnt; // 1
    u32 AoDev;      // 0
    u32 AoChnCnt;   // 2
    u32 u32Level;   // MovieSound 0..3, written by the record application
};
// Written and read on the handler thread alone (the record applications'
// set-up and the audio start and stop); no lock.
extern KX_AUD_CFG_S aud_cfg;

// The audio thread's alone (Send_Data2AudioQue); no lock.
extern u64 u64AudioIdenxNo;          // sequence of queued packets, never reset
extern u32 audio_offset;             // write position in audio_buffer, never reset
// Set by the thread's start, cleared by its stop (handler thread), read by
// the thread on each pass; atomic.
extern std::atomic<u32> audio_run_thd;

// What the audio thread queued since the last reset, and the sound lost on
// its way to the file, by where it was lost. Each loss is also told where it
// happens.
struct DvAudioStats {
    u64 u64Queued;  // records written to q_audio_stream
    u64 u64Dropped; // records a full queue dropped for them
    u64 u64FirstPts; // stamps of the first and last record queued
    u64 u64LastPts;
    u64 u64LostBefore; // frames the encoder's stamps skip: lost on the board or in the platform's encoder
    u64 u64NotQueued;  // packets the ring could not take
    u64 u64LeftOut;    // packets the MP4 thread did not write (see dv_audio_left_out)
};
DvAudioStats dv_audio_stats(void);
void dv_audio_stats_reset(void);
// Every frame of sound lost on its way to the file.
u64 dv_audio_lost(const DvAudioStats &s);
// The MP4 thread's share: `n` packets it took and did not write into the
// file (the sound of pictures lost upstream, records it could not use).
void dv_audio_left_out(u64 n);

// Codec, input, encoder channel 0 and output up, with their binds; state bit
// DV_STATE_AUDIO set. 0, or -1 (or the failing bind's status) with a message;
// a failure takes down what started before it, latest first, and leaves the
// bit clear.
s32 KX_DV_Audio_Run(void);
// Everything down in reverse, each step whatever the others returned (a
// failing one says so), and the state bit cleared; 0 or the first failing
// status. -1 at once when audio is not up.
s32 KX_DV_Audio_Stop(void);

// The audio thread, at the scheduling of the platform's audio threads
// (mpi_raise_audio_thread); a second without a packet is said and waited
// through (a busy encoder is late), so it ends only at its stop or on an
// error.
s32 KX_DV_StartAudioThread(void);
s32 KX_DV_StopAudioThread(void);

// The steps of the start and stop; each 0 or the first failing status. A
// start that fails takes back the encoder channels it made; the encoder's
// stop destroys every channel, past one that fails.
s32 KX_AUDIO_StartAi(s32 dev, u32 chnCnt, const AIO_ATTR_S *attr, u32 resampleRate, u32 resample);
s32 KX_Audio_StartAenc(u32 chnCnt, const AIO_ATTR_S *attr, u32 payloadType);
s32 KX_AUDIO_AencBindAi(s32 aiDev, s32 aiChn, s32 aencChn);
s32 KX_AUDIO_StartAo(s32 dev, u32 chnCnt, const AIO_ATTR_S *attr, u32 resampleRate, u32 resample);
s32 ao_bind_ai(s32 aiDev, s32 aiChn, s32 aoDev, s32 aoChn);
s32 KX_AUDIO_AoUnbindAi(s32 aiDev, s32 aiChn, s32 aoDev, s32 aoChn);
s32 KX_AUDIO_StopAo(s32 dev, u32 chnCnt, u32 resample);
s32 KX_AUDIO_AencUnbindAi(s32 aiDev, s32 aiChn, s32 aencChn);
s32 KX_AUDIO_StopAenc(u32 chnCnt);
s32 KX_AUDIO_StopAi(s32 dev, u32 chnCnt, u32 resample);

// What a packet record keeps of its ring's address, to tell a record of an
// earlier ring from one of the ring in use.
inline u32 dv_ring_tag(const u8 *ring) { return (u32)(uintptr_t)ring; }

// Queues one packet: its bytes into the ring, its record into the queue (a
// full queue gives up its oldest record, told and counted). 0, or -1 when
// it was not queued (counted).
s32 Send_Data2AudioQue(const AENC_STREAM_OUT_S *stream);
// Appends the packet's bytes to audio_buffer and notes where in `record`;
// -1 when there is no ring or the packet cannot fit in it.
s32 Fill_AudioData2Buffer(const AENC_STREAM_OUT_S *stream, KX_REC_AUDIO_PKT_S *record);

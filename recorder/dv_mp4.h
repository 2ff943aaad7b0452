// The MP4 thread: one long-lived thread that turns the queued video frames
// and AAC packets into MP4 files on the card. It sleeps until a record
// command, takes the next file name, begins the first file with a key frame,
// writes each frame followed by the audio of its interval, splits the
// recording at a key frame once the file holds the configured length, and on
// stop writes what is still queued, closes the file and reports
// AMSG_RECORD_COMPLETE (also when no file could be opened). A file that
// cannot be made or written ends the recording, reported as
// AMSG_RECORD_COMPLETE followed by AMSG_RECORD_FAILED.
//
// A recording, as the record applications command it:
//   start: gRecCmd[1].RecState = 1; KX_DV_StartGetStream(); KX_SendCondtoRecord();
//   stop:  (once KX_GetRecordFileOver1Sec() is non-zero) gRecCmd[1].RecState = 2;
//          KX_DV_StopGetStream(); then AMSG_RECORD_COMPLETE says the file is complete.
// KX_DV_FirstRun starts the thread (KX_DV_StartMp4Thread) and KX_DV_Stop ends
// it (KX_DV_StopMp4Thread), closing a recording in progress.
#pragma once

#include "mpi/common/mpi_common.h"
#include "recorder/mp4/mp4_writer.h"

#include <atomic>
#include <pthread.h>

// A backup index every this many key frames (one a second): a recording cut
// by a power cut loses at most its last three seconds, and the backups add
// under 1% to the bytes of a three-minute 1080p60 file at its rate
// (bench/recorder/mp4_writer_bench, BM_BackupIndexOf3MinutesOf1080p60).
constexpr int DV_MP4_BACKUP_KEY_FRAMES = 3;

// Set by the thread's start and cleared by its stop (handler thread, or a
// signal's stop thread), read by the thread; atomic.
extern std::atomic<u32> venc_mp4_Run;
// 0 from the opening of a file until it holds more than one second of
// frames; 1 otherwise, and whenever no file is open. Written by the MP4
// thread, and by KX_SendCondtoRecord (handler) when a recording starts;
// read by the record applications and the power-off. Atomic.
extern std::atomic<u8> videoFileHas1Sec;
// The MP4 thread waits on the condition, under the lock, for the record
// entry to say running or its run flag to go; KX_SendCondtoRecord and the
// stop broadcast under the same lock.
extern pthread_mutex_t lock_record;
extern pthread_cond_t cond_record;

// The stream parameters of encoder entry `entry` of gsDvConfig.
void Get_Mp4_Info(MP4_BITMAPINFOHEADER_S *video, MP4_WAVEFORMATEX_S *audio, u32 entry);

// Wakes the MP4 thread after the record state was set.
s32 KX_SendCondtoRecord(void);
// Waits until the record entry's state is 1 (running) or the thread's run
// flag is cleared; a wake-up for anything else waits again.
s32 KX_WaitCmdToRecord_API(void);
u8 KX_GetRecordFileOver1Sec(void);
// True from the start of a recording until its last file is closed: the
// stream and audio threads queue their packets meanwhile, also once the stop
// has set RecState to 2, for the frames the encoder coded before its stop
// belong to the recording, and the frames still queued then need the sound
// of their time.
bool dv_mp4_takes_packets(void);
u8 KX_GetRecordState(u32 entry);

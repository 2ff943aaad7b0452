// Motion detection: video detection channel 0 fed from processing channel 3,
// and a thread that turns its per-macroblock SAD results into recording
// commands. It starts and stops recordings only by posting the REC release,
// as if the user had pressed the key: once on motion while the camera is
// idle, and once after the quiet time of the MotionDetectTimeout preference
// while recording.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/vda/mpi_vda.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>

constexpr u32 MD_MAX_PIC_SIDE = 960;

// 1 while the detection thread exists (running, or ended by itself and not
// yet joined). Set by KX_MdStart (handler thread); cleared by KX_MdStop
// (the handler, or a signal's stop thread) under the detector's lock, where
// the stopper that clears it is the one that joins gs_MdPid. The thread
// reads it on each pass; atomic.
extern std::atomic<u32> mdThreadRun;
extern pthread_t gs_MdPid;
// Result time (microseconds) of the last motion seen while recording.
extern u64 g_u64MDPreTime;
// When set, the next result seen while recording becomes the last motion.
// Both the detection thread's: KX_MdStart resets the flag before it
// creates the thread, and nothing else touches them while it runs. No lock.
extern u8 needUpdatePreTime;

// `pic` points to the picture width and height; `fps` is the sensor rate
// (the channel analyses every fps/4-th picture). 0, -1 or the failing
// platform code; a failure leaves no channel or bind behind.
s32 KX_MdStart(s32 vdaChn, s32 vpssChn, const u32 *pic, u32 fps);
// Stops and joins the thread, stops the channel, unbinds and destroys it;
// the destroy's status. Safe after a thread that ended by itself and after
// a failed start.
s32 KX_MdStop(s32 vdaChn, s32 vpssChn);

// The detection thread.
void *KX_MD_Process_Run(void *arg);
// Applies one result to the recording state.
void KX_MD_Process_Data(const VDA_DATA_REC_S *data);
// The macroblocks whose SAD exceeds the sensitivity's threshold, through
// `count`; 1 if there are any. 0, with `count` untouched, when the result
// holds no valid SAD values.
s32 KX_Have_ObjMov(const VDA_DATA_REC_S *data, u32 *count);

// Debug printers of a result's objects, alarm pixels and SAD matrix.
void KX_MdPrtObj_Deg(FILE *fp, const VDA_DATA_REC_S *data);
void KX_MdPrtAp_Deg(FILE *fp, const VDA_DATA_REC_S *data);
void KX_MdPrtSad_Deg(FILE *fp, const VDA_DATA_REC_S *data);

// The SAD threshold of a MotionDetectSensitivity value (0 high, 1 normal,
// 2 low) and the quiet time, in microseconds, of a MotionDetectTimeout value.
u32 md_sad_threshold(s32 sensitivity);
u64 md_quiet_time_us(s32 timeout);

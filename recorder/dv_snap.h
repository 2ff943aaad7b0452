// Photos: the snapshot thread asks the JPEG encoder channel 0 for one picture
// at a time and writes each to the next photo file on the card, singly, back
// to back or timed, as the photo entry of gRecCmd says; and the writers of
// encoded streams to files.
#pragma once

#include <atomic>
#include <cstdio>

#include "mpi/common/mpi_common.h"
#include "mpi/video/venc/mpi_venc.h"

// 1 while the snapshot thread shall run; the thread clears it when it ends.
// Set by the start and cleared by the stop (handler, or a signal's stop
// thread, under the snapshot lock), read by the thread; atomic.
extern std::atomic<u32> g_SnapRun;

constexpr VENC_CHN SNAP_VENC_CHN = 0;
constexpr int SNAP_WAIT_MS = 2000;

// Starts the snapshot thread (a thread that ended by itself is joined
// first); the creation result.
s32 KX_DV_StartSnap(void);
// Clears the run flag and joins the thread, which finishes the shot in
// progress and posts AMSG_SNAP_COMPLETE; 0, also when none runs.
s32 KX_DV_StopSnap(void);
// The snapshot thread's body.
void *KX_DV_Start_Snap(void *arg);

// One picture from channel 0 saved as the next photo, posting nothing; 0 or
// -1. The thread pair runs it once.
s32 KX_DV_PIV(void);
s32 KX_DV_StartPIV(void);
s32 KX_DV_StopPIV(void);

// The stream into the next photo file, whole or not at all; 0, or -1
// (AMSG_CARD_STATE_FULL posted when no name is left).
s32 KX_VENC_SaveSnap(const VENC_STREAM_REC_S *stream);
// At boot, before the scan: the photos a power cut left under their
// temporary names in the photo folders. One that is whole (cut off only
// before its rename) takes its own name, or the next free photo name when
// that is taken; one that is torn is removed. Each is said.
void snap_settle_unfinished(void);
// Every pack's bytes from its data offset on, in order; 0, or -1 when a pack
// is malformed or a write comes out short. The JPEG writer also syncs and
// rests 20 ms after each pack.
s32 KX_VENC_SaveJPEG(FILE *file, const VENC_STREAM_REC_S *stream);
s32 KX_VENC_SaveH264(FILE *file, const VENC_STREAM_REC_S *stream);
s32 KX_VENC_SaveH265(FILE *file, const VENC_STREAM_REC_S *stream);
s32 KX_VENC_SaveMJpeg(FILE *file, const VENC_STREAM_REC_S *stream);
// 96 H.264, 265 H.265, 1002 motion JPEG; -1 for another type.
s32 KX_VENC_SaveStream(u32 payload, FILE *file, const VENC_STREAM_REC_S *stream);
// The file ending of a payload type into `out` (8 bytes); 0 or -1.
s32 KX_VENC_GetFilePostfix(u32 payload, char *out);

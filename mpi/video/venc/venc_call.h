// The pattern every per-channel call of the encoder unit follows, and the
// slice-transcoding hook, shared by the unit's files.
#pragma once

#include "mpi/common/mpi_dev.h"
#include "mpi/video/venc/mpi_venc.h"

// Channel check, unit start, lazy open and bind of the channel's descriptor:
// 0, or the status the call returns (after its message).
s32 venc_chn_prepare(const char *func, VENC_CHN VeChn);

// False (after the message) when `p` is null.
bool venc_ptr_ok(const char *func, const void *p);

// The whole pattern for a call of one request: prepare, the null check when
// the call takes a record, then the request on the channel's descriptor with
// `rec` itself; the driver's answer is returned unchanged.
s32 venc_call(const char *func, VENC_CHN VeChn, unsigned long req, const void *rec, bool check_null);
#define VENC_REQ(chn, req, rec, null_check) venc_call(__FUNCTION__, chn, req, rec, null_check)

// What a failed look at "/dev/venc" prints (nothing for a failed open).
void venc_node_message(const char *path, const mpi_dev_result &r);

// ---- slice-transcoding hook (mpi_venc_slice.cpp) ---------------------------------------------

// Arms the channel: the flag, and a work buffer of two halves sized by its
// stream buffer. 0, or 0xA008800C (after the message) when there is no memory.
s32 venc_slice_arm(const char *func, VENC_CHN VeChn);
// Disarms it; the work buffer and a loaded library stay.
void venc_slice_disarm(VENC_CHN VeChn);
// The step after a retrieval on an armed channel: the library loaded on the
// first one, the work buffer grown to hold the frame's `u32Total` payload
// bytes, the stream handed to the transcoder. The stream is the caller's
// whatever happens here.
void venc_slice_retrieve(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream, u32 u32Total);
// At channel destruction: the work buffer, and the library after its deinit.
void venc_slice_teardown(VENC_CHN VeChn);

// The work buffer's half size at arming for a stream buffer of `u32BufSize`
// bytes, and after a frame of `u32Total` payload bytes (doubled until it holds
// the frame, never past the stream buffer's size).
u32 venc_slice_arm_half(u32 u32BufSize);
u32 venc_slice_grown_half(u32 u32Half, u32 u32Total, u32 u32BufSize);

// The pattern every per-channel call of the encoder unit follows, shared by
// the unit's files.
#pragma once

#include "mpi/video/venc/mpi_venc.h"

// Channel check, unit start, lazy open and bind of the channel's descriptor:
// 0, or the status the call returns (after its message).
s32 venc_chn_prepare(const char *func, VENC_CHN VeChn);

// False (after the message) when `p` is null.
bool venc_ptr_ok(const char *func, const void *p);

// The whole pattern for a call of one request: prepare, the null check when
// the call takes a record, then the request on the channel's descriptor with
// `rec` itself; the driver's answer is returned unchanged.
s32 venc_chn_request(const char *func, VENC_CHN VeChn, unsigned long req, const void *rec, bool check_null);

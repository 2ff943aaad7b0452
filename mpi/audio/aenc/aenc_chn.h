// What the encoder unit's files share about a channel.
#pragma once

#include "mpi/audio/aenc/mpi_aenc.h"

// What every channel call starts with: the channel range check and the
// lazy open of its node; 0 or the code.
s32 aenc_chn_enter(s32 AeChn, const char *pszFunc);

// One request on the channel's node (opened).
s32 aenc_ioctl(s32 AeChn, unsigned long request, void *arg);

// Tells the kernel the channel's counters (AENC_DBG_INFO_S).
void aenc_send_dbg(s32 AeChn);

// A head or tail word of the stream buffer's control block (AENC_CB_* offsets).
volatile u32 *aenc_cb_word(const AENC_CHN_S *pstChn, u32 u32Offset);

// The channel's "aenc_get" thread; its argument is the channel id.
void *aenc_get_proc(void *arg);

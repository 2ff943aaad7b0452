// What the decoder unit's files share about a channel: its node, its
// counters, its decoder, its frame slots and its waits.
#pragma once

#include "mpi/audio/adec/mpi_adec.h"

// What every channel call starts with: the channel range check and the
// lazy open of its node; 0 or the code.
s32 adec_chn_enter(s32 AdChn, const char *pszFunc);

// A flag argument above 1: "<name> should be 0 or 1." and 0xA0188003.
s32 adec_check_bool(u32 u32Value, const char *pszName, const char *pszFunc);

// Counts one event in the channel's counters and tells the kernel ('H' 3).
// The channel's mutex is held.
void adec_count(s32 AdChn, u32 ADEC_CHN_STAT_S::*pu32Counter);
void adec_send_stat(s32 AdChn);

// The channel's decoder as the registry holds it now. False, with "The
// decoder has been unregistered!", when its slot no longer holds the
// payload type the channel was created with.
bool adec_chn_decoder(const MPI_ADEC_CHN_S *pstChn, ADEC_CODEC_ENTRY_S *pstEntry);

// Stream-mode end of stream, under the channel's mutex: the decoder reset
// (when it has a reset), the held bytes and the flag dropped.
s32 MPI_ADEC_SendEndOfStream(MPI_ADEC_CHN_S *pstChn);

// ---- frame slots ---------------------------------------------------------------------------------
// Node i owns bytes [i x ADEC_FRAME_NODE_SIZE, +ADEC_FRAME_NODE_SIZE) of the
// frame memory. The channel's mutex is held for all of these.

// A pool of `u32Nodes` free nodes; false (nothing left allocated) with the
// step that failed: the pool record (*pbRecord true) or its frame memory.
bool adec_pool_create(u32 u32Nodes, ADEC_FRAME_POOL_S **ppstPool, bool *pbRecord);
void adec_pool_destroy(ADEC_FRAME_POOL_S *pstPool);
// Every decoded frame not handed out goes back to the free list.
void adec_pool_clear_busy(ADEC_FRAME_POOL_S *pstPool);

// ---- waits ----------------------------------------------------------------------------------------
// Called with the channel's mutex held; they return with it held.

// Up to `ms` milliseconds on the channel's condition.
void adec_wait_ms(MPI_ADEC_CHN_S *pstChn, u32 ms);
// One count of `sem`: at once or `s32None` (bBlock 0), or waited for without
// the mutex (bBlock 1; DU_ERR_ADEC_UNEXIST when the channel went away
// meanwhile, the count then passed on to the next waiter).
s32 adec_take_sem(MPI_ADEC_CHN_S *pstChn, sem_t *pstSem, u32 bBlock, s32 s32None);
// Wakes the decode thread, blocked senders and a destruction waiting for them.
void adec_wake(MPI_ADEC_CHN_S *pstChn);

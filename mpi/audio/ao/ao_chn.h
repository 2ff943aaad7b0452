// What the output unit's files share about a channel: the checks every call
// starts with and its enhancement instance (replaced only with the channel
// mutex held).
#pragma once

#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/audio/comm/audio_chn_hold.h"

// Device, channel (channel 0 for device calls), then that channel's node.
s32 ao_enter(s32 AudioDevId, s32 AoChn, const char *func);
s32 ao_ioctl(s32 AoChn, unsigned long request, void *arg);
// A public call that is one request: the checks above, the pointer when
// `needs_arg` (`null_msg` says why when set), then the request on the
// channel's node. Device calls go to channel 0's.
s32 ao_call(const char *func, s32 AudioDevId, s32 AoChn, unsigned long request, void *arg, bool needs_arg,
            const char *null_msg);
// A call on one channel: the checks of ao_enter, the pointer (when
// `null_ptr`, without a message), then the channel held for the call's scope
// (and, when `needs` says so, enabled).
using AoChnHold = AudioChnHold<MPI_AO_CHN_S>;
AoChnHold ao_chn_hold(s32 AudioDevId, s32 AoChn, bool null_ptr, const char *func,
                      AudioChnNeeds needs = AudioChnNeeds::entry);

// The instance's configuration (channel mutex held): 0, 0xA0168009 when
// there is none, 0xA0168041 when it can't be read.
s32 ao_vqe_cfg(s32 AoDevId, s32 AoChn, DNVQE_CFG_S *pstCfg);
// Replaces the instance by one made from `cfg`; on failure the channel has
// none. 0 or the chain's status.
s32 ao_vqe_rebuild(s32 AoChn, const DNVQE_CFG_S *pstCfg);
void ao_vqe_destroy(s32 AoChn);

// Resampling off (channel mutex held, resampling on); with `rebuild` the
// instance goes back to the device rate.
s32 ao_resmp_off(s32 AudioDevId, s32 AoChn, bool rebuild);

// The driver's record of the output enhancement while it is off.
void ao_send_vqe_disabled(s32 AoChn);

// The save files of a processed frame: the input as it came (`in`, `in_len`
// bytes) and what the enhancement made of it (channel mutex held).
void ao_save_frame(s32 AoChn, const void *in, u32 in_len, const AUDIO_FRAME_S &out, u32 in_rate, u32 out_rate);

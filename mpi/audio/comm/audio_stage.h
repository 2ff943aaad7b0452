// Switching one stage of a channel's enhancement instance (the resampler,
// the enhancement modules, the output's compressor), the same on the input
// and the output unit: one instance serves every stage, so a switch reads its
// configuration back, changes it and makes the instance anew from it.
#pragma once

#include <cstring>

#include "mpi/audio/comm/mpi_audio_comm.h"

// What a unit lends the switch; Cfg is its chain's configuration record.
template <class Cfg>
struct AudioStageUnit {
    u32 mod;              // the unit's module id, for its status codes
    const char *dev_word; // "AiDev" or "AoDev" in the messages
    // Whether the channel has an instance configuration to read back.
    bool (*configured)(s32 chn);
    // The instance's configuration: 0 or a status.
    s32 (*read)(s32 dev, s32 chn, Cfg *cfg);
    // The device's sample rate: 0 or a status.
    s32 (*device_rate)(s32 dev, u32 *rate);
    // Replaces the instance by one made from `cfg`: 0 or the chain's status;
    // on failure the channel has none.
    s32 (*rebuild)(s32 chn, const Cfg *cfg);
};

// A change that leaves the configuration as it is: nothing to rebuild.
constexpr s32 kAudioStageKept = 1;

// How one switch goes: `attr_msg`, when set, lets a channel without an
// instance configuration start from one at the device's rate (and says why
// when the device has no attributes); without it the channel's instance is
// required. A failed rebuild prints `fail` (device, channel, the chain's
// status) and gives `fail_code` (0: the chain's own status).
struct AudioStageSwitch {
    const char *attr_msg;
    const char *fail;
    s32 fail_code;
};

// The configuration read back (or made at the device's rate), `change`
// applied to it (it may refuse with a status, or keep it with
// kAudioStageKept), the instance made anew from it; 0 or the status.
template <class Cfg, class Change>
s32 audio_switch_stage(const AudioStageUnit<Cfg> &unit, const AudioStageSwitch &how, s32 dev, s32 chn,
                       Change &&change)
{
    Cfg cfg;
    if (how.attr_msg && !unit.configured(chn)) {
        u32 rate = 0;
        if (unit.device_rate(dev, &rate) != 0) {
            MPI_TRACE(how.attr_msg, dev);
            return mpi_status(unit.mod, ERR_NOT_CONFIG);
        }
        memset(&cfg, 0, sizeof cfg);
        cfg.s32InSampleRate = cfg.s32OutSampleRate = (s32)rate;
    } else if (unit.read(dev, chn, &cfg) != 0) {
        MPI_TRACE("%s: %d get vqe attr failed!\n", unit.dev_word, dev);
        return mpi_status(unit.mod, ERR_NOT_CONFIG);
    }
    if (s32 ret = change(cfg))
        return ret == kAudioStageKept ? 0 : ret;
    if (s32 ret = unit.rebuild(chn, &cfg)) {
        MPI_TRACE(how.fail, dev, chn, ret);
        return how.fail_code ? how.fail_code : ret;
    }
    return 0;
}

// A change that takes the instance's rates back to the device's (its
// attributes unreadable: "<dev>: %d haven't set attr!").
template <class Cfg>
s32 audio_stage_at_device_rate(const AudioStageUnit<Cfg> &unit, s32 dev, Cfg *cfg)
{
    u32 rate = 0;
    if (unit.device_rate(dev, &rate) != 0) {
        MPI_TRACE("%s: %d haven't set attr!\n", unit.dev_word, dev);
        return mpi_status(unit.mod, ERR_NOT_CONFIG);
    }
    cfg->s32InSampleRate = cfg->s32OutSampleRate = (s32)rate;
    return 0;
}

// A switch that turns a stage off goes through when the rebuild fails (the
// instance is gone, and the stage with it); any other failure stops it.
inline bool audio_stage_off_anyway(s32 ret, s32 vqe_err) { return ret == 0 || ret == vqe_err; }

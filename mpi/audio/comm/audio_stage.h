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
    // The device's attributes: 0 or a status.
    s32 (*device_attr)(s32 dev, AIO_ATTR_S *attr);
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
        AIO_ATTR_S attr;
        if (unit.device_attr(dev, &attr) != 0) {
            MPI_TRACE(how.attr_msg, dev);
            return mpi_status(unit.mod, ERR_NOT_CONFIG);
        }
        memset(&cfg, 0, sizeof cfg);
        cfg.s32InSampleRate = cfg.s32OutSampleRate = (s32)attr.enSamplerate;
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
    AIO_ATTR_S attr;
    if (unit.device_attr(dev, &attr) != 0) {
        MPI_TRACE("%s: %d haven't set attr!\n", unit.dev_word, dev);
        return mpi_status(unit.mod, ERR_NOT_CONFIG);
    }
    cfg->s32InSampleRate = cfg->s32OutSampleRate = (s32)attr.enSamplerate;
    return 0;
}

// What a switch asks of the device, and how each refusal is said: readable
// attributes (`attr_msg`, when set, says why not), one track, the channel
// among the device's (asked only with `chn_msg`), 16-bit samples.
struct AudioDeviceNeeds {
    const char *attr_msg;
    const char *stereo_msg;
    const char *chn_msg; // "...%d...%d": device, channel
    const char *width_msg;
};

// The device's attributes into `attr` when they serve a switch on channel
// `chn`: 0, or the unit's status with the reason said.
template <class Cfg>
s32 audio_check_device(const AudioStageUnit<Cfg> &unit, s32 dev, s32 chn, AIO_ATTR_S *attr,
                       const AudioDeviceNeeds &needs)
{
    if (unit.device_attr(dev, attr) != 0) {
        if (needs.attr_msg)
            MPI_TRACE(needs.attr_msg, dev);
        return mpi_status(unit.mod, ERR_NOT_CONFIG);
    }
    if (attr->enSoundmode != 0) {
        MPI_TRACE("%s", needs.stereo_msg);
        return mpi_status(unit.mod, ERR_ILLEGAL_PARAM);
    }
    if (needs.chn_msg && (u32)chn >= attr->u32ChnCnt) {
        MPI_TRACE(needs.chn_msg, dev, chn);
        return mpi_status(unit.mod, ERR_INVALID_CHNID);
    }
    if (attr->enBitwidth != 1) {
        MPI_TRACE("%s", needs.width_msg);
        return mpi_status(unit.mod, ERR_NOT_SUPPORT);
    }
    return 0;
}

// Switching a stage off, `change` taking it out of the configuration. Without
// an instance (an earlier rebuild failed) there is nothing to take back. A
// failed rebuild leaves no instance, and the stage goes with it, so the switch
// goes through with `how.fail_code` in `*ret`; any other failure stops it
// (false, the status in `*ret`).
template <class Cfg, class Change>
bool audio_stage_off(const AudioStageUnit<Cfg> &unit, const AudioStageSwitch &how, s32 dev, s32 chn, bool instance,
                     s32 *ret, Change &&change)
{
    *ret = instance ? audio_switch_stage(unit, how, dev, chn, change) : 0;
    return *ret == 0 || *ret == how.fail_code;
}

// How turning the enhancement modules on goes on one unit: `unconfigured`
// ("...%d...": channel) refuses a channel without attributes, `needs` checks
// the device, `rate_msg` (instance's rate, device's) refuses an instance whose
// rate on the device's side (`device_rate`) is not the device's, and `fail`
// says a failed rebuild, which gives `vqe_err`.
template <class Cfg>
struct AudioVqeOn {
    const char *unconfigured;
    AudioDeviceNeeds needs;
    s32 Cfg::*device_rate;
    const char *rate_msg;
    const char *fail;
    s32 vqe_err;
};

// The checks and the rebuild of turning the modules on: `put` switches them on
// in the configuration (and may refuse with a status); `*on` gets the
// configuration as switched. 0 or the status.
template <class Cfg, class Put>
s32 audio_vqe_on(const AudioStageUnit<Cfg> &unit, const AudioVqeOn<Cfg> &how, s32 dev, s32 chn, bool configured,
                 Cfg *on, Put &&put)
{
    if (!configured) {
        MPI_TRACE(how.unconfigured, chn);
        return mpi_status(unit.mod, ERR_NOT_CONFIG);
    }
    AIO_ATTR_S attr;
    if (s32 ret = audio_check_device(unit, dev, chn, &attr, how.needs))
        return ret;
    return audio_switch_stage(unit, {nullptr, how.fail, how.vqe_err}, dev, chn, [&](Cfg &cfg) {
        if (cfg.*how.device_rate != (s32)attr.enSamplerate) {
            MPI_TRACE(how.rate_msg, cfg.*how.device_rate, attr.enSamplerate);
            return mpi_status(unit.mod, ERR_ILLEGAL_PARAM);
        }
        s32 ret = put(cfg);
        *on = cfg;
        return ret;
    });
}

// The settings every enhancement record shares by name with its instance's
// configuration: the work rate, frame and mode, and the high-pass filter.
template <class From, class To> void audio_copy_general(const From &f, To &t)
{
    t.s32WorkSampleRate = f.s32WorkSampleRate;
    t.s32FrameSample = f.s32FrameSample;
    t.u32WorkMode = f.u32WorkMode;
    t.stHpfCfg = f.stHpfCfg;
}

// The speech modules' settings, shared by the output's record and the input's
// normal one.
template <class From, class To> void audio_copy_speech(const From &f, To &t)
{
    t.stAnrCfg = f.stAnrCfg;
    t.stAgcCfg = f.stAgcCfg;
    t.stEqCfg = f.stEqCfg;
}

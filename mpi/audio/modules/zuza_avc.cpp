// AVC: automatic volume control, a levelling compressor towards a target.
//
// The input level (RMS, 10 ms time constant) sets the gain by a static curve:
// - below s16StartLevel: 0 dB (noise and room tone are left alone);
// - from s16StartLevel to s16CornerLevel: rising evenly to s16MaxGain;
// - above s16CornerLevel: s16MaxGain until the output reaches
//   s16TargetLevel, then whatever holds the output at the target (louder
//   input is turned down to it).
// The gain follows the curve with s16AttackTime (ms, when falling) and
// s16ReleaseTime (ms, when rising) as time constants. All levels in dBFS, the
// gain in dB. bUsrMode 0: attack 50 ms, release 500 ms, start -40, corner
// -30, maximum gain 6 dB, target -12 dBFS. The parameter words and the work
// mode are not used.
#include <algorithm>
#include <new>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr double kDetectMs = 10.0;
constexpr VQE_AVC_CFG_S kDefault = {0, 50, 500, -40, -30, 6, -12};

struct Avc {
    s32 rate = 0;
    VQE_AVC_CFG_S cfg = kDefault;
    double level_power = -1;
    double gain_db = 0;
    double gain = 1;

    static Avc *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_AVC_CFG_S *cfg = p ? static_cast<const VQE_AVC_CFG_S *>(p->pModuleCfg) : nullptr;
        VQE_AVC_CFG_S use = cfg && cfg->bUsrMode ? *cfg : kDefault;
        if (use.s16AttackTime <= 0 || use.s16ReleaseTime <= 0 || use.s16CornerLevel <= use.s16StartLevel ||
            use.s16MaxGain < 0 || use.s16CornerLevel + use.s16MaxGain >= use.s16TargetLevel)
            return nullptr;
        Avc *avc = new (std::nothrow) Avc;
        if (avc) {
            avc->rate = rate;
            avc->cfg = use;
        }
        return avc;
    }

    double curve_db(double level) const
    {
        if (level <= cfg.s16StartLevel)
            return 0;
        if (level <= cfg.s16CornerLevel)
            return cfg.s16MaxGain * (level - cfg.s16StartLevel) / (cfg.s16CornerLevel - cfg.s16StartLevel);
        return std::min<double>(cfg.s16MaxGain, cfg.s16TargetLevel - level);
    }

    bool process(const zuza::Frame &f)
    {
        const double per_second = (double)rate / f.samples;
        const double keep = zuza::smoothing(kDetectMs, per_second);
        const double ms = zuza::mean_square(f.in, f.samples);
        level_power = level_power < 0 ? ms : keep * level_power + (1 - keep) * ms;
        const double wanted = curve_db(zuza::power_db(level_power));
        const double time_ms = wanted < gain_db ? cfg.s16AttackTime : cfg.s16ReleaseTime;
        const double follow = zuza::smoothing(time_ms, per_second);
        gain_db = follow * gain_db + (1 - follow) * wanted;
        const double from = gain;
        gain = zuza::db_to_gain(gain_db);
        zuza::apply_gain_glide(f, f.in, from, gain);
        return true;
    }
};

} // namespace

ZUZA_MODULE_CLASS(AVC, Avc);

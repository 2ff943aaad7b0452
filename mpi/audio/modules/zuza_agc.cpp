// AGC: automatic gain control by a level tracker of our own (speexdsp's AGC
// follows speech only and leaves a steady tone where it is).
//
// Each frame's level (RMS over the frame, smoothed with a 50 ms time constant)
// sets the wanted gain: target level minus level, at most the maximum gain;
// a louder input than the target is turned down. The gain walks towards it at
// the adjust speed when rising and four times as fast when falling; a peak
// limiter turns the gain down at once where a frame's peak would pass the
// ceiling (-1 dBFS, or -6 dBFS when an EQ follows, leaving it headroom).
//
// Sub-record VQE_AGC_CFG_S, read with bUsrMode 1:
// - s8TargetLevel -40..-1: the output level aimed at, dBFS;
// - s8MaxGain 0..30: the most gain applied, dB;
// - s8NoiseFloor -65..-20: input below this level (dBFS) counts as noise:
//   the gain holds there (speech is mostly pauses: a gain that fell in them
//   would never reach speech's level);
// - s8AdjustSpeed 0..10: the gain rises by 4 x (speed + 1) dB a second;
// - s8ImproveSNR 0..2: below the noise floor the gain heads for -6 x this dB
//   instead of holding (downward expansion of the noise);
// - s8UseHighPassFilt 0..5: a high-pass ahead of the gain: off, or a
//   second-order Butterworth at 80, 120, 150, 200 or 300 Hz;
// - s8OutputMode 0..1: 1 mutes the output (gain heading for -60 dB) while the
//   input stays below the noise floor;
// - s16NoiseSupSwitch 0..1: 1 runs the shared speexdsp denoiser (12 dB) ahead
//   of the gain.
// bUsrMode 0: target -10 dBFS, maximum gain 20 dB, noise floor -55 dBFS,
// speed 5, the rest off. s32ParamB 1 says an EQ follows (the -6 dBFS ceiling);
// s32ParamA and the work mode are not used.
#include <algorithm>
#include <memory>
#include <new>

#include "mpi/audio/modules/zuza_denoise.h"

namespace {

constexpr double kLevelMs = 50.0;
constexpr double kRiseDbPerSecondPerStep = 4.0;
constexpr double kFallFactor = 4.0;
constexpr double kCeilingDb = -1.0;
constexpr double kCeilingBeforeEqDb = -6.0;
constexpr double kMuteDb = -60.0;
constexpr double kLowestGainDb = -60.0;
constexpr double kHighPassHz[] = {0, 80, 120, 150, 200, 300};
constexpr zuza::DenoiseSettings kNoiseSuppression = {12, zuza::kSilenceDb, false};

struct Settings {
    double target_db = -10;
    double max_gain_db = 20;
    double noise_floor_db = -55;
    int speed = 5;
    int improve_snr = 0;
    int high_pass = 0;
    bool mute_noise = false;
    bool noise_suppression = false;
    double ceiling_db = kCeilingDb;
};

bool read_settings(const VQE_MODULE_PARAM_S *p, Settings *s)
{
    const VQE_AGC_CFG_S *cfg = p ? static_cast<const VQE_AGC_CFG_S *>(p->pModuleCfg) : nullptr;
    if (p && p->s32ParamB == 1)
        s->ceiling_db = kCeilingBeforeEqDb;
    if (!cfg || !cfg->bUsrMode)
        return true;
    if (cfg->s8TargetLevel < -40 || cfg->s8TargetLevel > -1 || cfg->s8MaxGain < 0 || cfg->s8MaxGain > 30 ||
        cfg->s8NoiseFloor < -65 || cfg->s8NoiseFloor > -20 || cfg->s8AdjustSpeed < 0 || cfg->s8AdjustSpeed > 10 ||
        cfg->s8ImproveSNR < 0 || cfg->s8ImproveSNR > 2 || cfg->s8UseHighPassFilt < 0 || cfg->s8UseHighPassFilt > 5 ||
        cfg->s8OutputMode < 0 || cfg->s8OutputMode > 1 || cfg->s16NoiseSupSwitch < 0 || cfg->s16NoiseSupSwitch > 1)
        return false;
    s->target_db = cfg->s8TargetLevel;
    s->max_gain_db = cfg->s8MaxGain;
    s->noise_floor_db = cfg->s8NoiseFloor;
    s->speed = cfg->s8AdjustSpeed;
    s->improve_snr = cfg->s8ImproveSNR;
    s->high_pass = cfg->s8UseHighPassFilt;
    s->mute_noise = cfg->s8OutputMode == 1;
    s->noise_suppression = cfg->s16NoiseSupSwitch == 1;
    return true;
}

struct Agc {
    s32 rate = 0;
    Settings settings;
    zuza::Cascade high_pass;
    std::unique_ptr<zuza::Denoiser> denoiser;
    std::vector<s16> work;
    double level_power = -1;
    double gain_db = 0;
    double gain = 1;

    static Agc *make(s32 rate, const void *param)
    {
        Settings settings;
        if (!read_settings(zuza::stage_param(param), &settings))
            return nullptr;
        if (settings.high_pass && kHighPassHz[settings.high_pass] > 0.45 * rate)
            return nullptr;
        std::unique_ptr<Agc> agc(new (std::nothrow) Agc);
        if (!agc)
            return nullptr;
        agc->rate = rate;
        agc->settings = settings;
        if (settings.high_pass)
            agc->high_pass.sections.push_back(zuza::design(zuza::FilterType::HighPass, rate,
                                                           kHighPassHz[settings.high_pass], zuza::kButterworthQ, 0));
        if (settings.noise_suppression) {
            agc->denoiser.reset(new (std::nothrow) zuza::Denoiser(rate, kNoiseSuppression));
            if (!agc->denoiser)
                return nullptr;
        }
        return agc.release();
    }

    // The gain the frame's smoothed level asks for.
    double wanted_gain_db(double level_db) const
    {
        if (level_db < settings.noise_floor_db) {
            if (settings.mute_noise)
                return kMuteDb;
            return settings.improve_snr ? -6.0 * settings.improve_snr : gain_db;
        }
        return std::max(kLowestGainDb, std::min(settings.max_gain_db, settings.target_db - level_db));
    }

    bool process(const zuza::Frame &f)
    {
        if ((s32)work.size() < f.samples)
            work.resize(f.samples);
        const s16 *in = f.in;
        if (!high_pass.sections.empty() || denoiser) {
            zuza::Frame pre = f;
            pre.out = work.data();
            high_pass.process(pre); // a copy when there is no high-pass
            if (denoiser && !denoiser->run(work.data(), work.data(), f.samples))
                return false;
            in = work.data();
        }
        const double seconds = (double)f.samples / rate;
        const double ms = zuza::mean_square(in, f.samples);
        const double keep = zuza::smoothing(kLevelMs, 1.0 / seconds);
        level_power = level_power < 0 ? ms : keep * level_power + (1 - keep) * ms;

        const double wanted = wanted_gain_db(zuza::power_db(level_power));
        const double rise = kRiseDbPerSecondPerStep * (settings.speed + 1) * seconds;
        if (wanted > gain_db)
            gain_db = std::min(wanted, gain_db + rise);
        else
            gain_db = std::max(wanted, gain_db - rise * kFallFactor);
        s32 peak = 0;
        for (s32 i = 0; i < f.samples; i++)
            peak = std::max(peak, std::abs((s32)in[i]));
        const double ceiling = 32767.0 * zuza::db_to_gain(settings.ceiling_db);
        if (peak > 0 && peak * zuza::db_to_gain(gain_db) > ceiling)
            gain_db = 20 * std::log10(ceiling / peak);

        const double from = gain;
        gain = zuza::db_to_gain(gain_db);
        zuza::apply_gain_glide(f, in, from, gain);
        return true;
    }
};

} // namespace

ZUZA_MODULE_CLASS(AGC, Agc);

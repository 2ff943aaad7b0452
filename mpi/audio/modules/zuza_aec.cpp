// AEC: echo cancellation on speexdsp's echo canceller (the recorded frame is
// the data, the played frame the reference), followed by speexdsp's residual
// echo suppressor: its preprocessor, whose band gains carry the echo
// suppression. Those gains are only applied with its denoiser on, so the
// denoiser runs with its noise suppression at 0 dB: the echo is suppressed,
// the background left as it is (that is the noise reduction's stage). The
// suppressor's output is one frame late.
//
// The adaptive filter covers 128 ms of echo path at the work rate. It and the
// suppressor are made on the first frame, for that frame length.
//
// Sub-record VQE_AEC_CFG_S, read with bUsrMode 1:
// - s8NearCleanSupEnergy 0..2: residual echo suppression while only the far
//   end talks: 20, 30 or 40 dB;
// - s8NearAllPassEnergy 0..2: residual echo suppression while both ends
//   talk: 15, 10 or 5 dB (higher lets more of the near end through);
// - s8CngMode 0..1: comfort noise: where the canceller leaves the output
//   below the near end's background level, white noise fills it up to that
//   level, so the background does not drop out behind the echo.
// The band indices, the ERL table and s16DTHnlSortQTh describe the banded
// canceller of the camera's own library; speexdsp's canceller adapts every
// frequency by itself, so they are bounded by the attribute setters and not
// used here. bUsrMode 0: 40 dB and 15 dB of residual suppression, no comfort
// noise. The work mode and the parameter words are not used.
#include <algorithm>
#include <cstring>
#include <new>
#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>
#include <vector>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr double kTailSeconds = 0.128;
constexpr int kCleanSuppressDb[] = {20, 30, 40};
constexpr int kActiveSuppressDb[] = {15, 10, 5};
// How fast the background estimate may rise (it falls at once).
constexpr double kFloorRiseDbPerSecond = 3.0;

struct Settings {
    int suppress_db = 40;
    int suppress_active_db = 15;
    bool comfort_noise = false;
};

struct Aec {
    s32 rate = 0;
    Settings settings;
    SpeexEchoState *echo = nullptr;
    SpeexPreprocessState *residual = nullptr;
    s32 frame = 0;
    double floor_power = -1; // the near end's background, mean square
    u32 noise_seed = 0x12345678u;
    std::vector<s16> mic;

    ~Aec() { stop(); }

    void stop()
    {
        if (residual)
            speex_preprocess_state_destroy(residual);
        if (echo)
            speex_echo_state_destroy(echo);
        residual = nullptr;
        echo = nullptr;
    }

    static Aec *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_AEC_CFG_S *cfg = p ? static_cast<const VQE_AEC_CFG_S *>(p->pModuleCfg) : nullptr;
        Settings settings;
        if (cfg && cfg->bUsrMode) {
            if (cfg->s8NearCleanSupEnergy < 0 || cfg->s8NearCleanSupEnergy > 2 || cfg->s8NearAllPassEnergy < 0 ||
                cfg->s8NearAllPassEnergy > 2 || cfg->s8CngMode < 0 || cfg->s8CngMode > 1)
                return nullptr;
            settings.suppress_db = kCleanSuppressDb[cfg->s8NearCleanSupEnergy];
            settings.suppress_active_db = kActiveSuppressDb[cfg->s8NearAllPassEnergy];
            settings.comfort_noise = cfg->s8CngMode == 1;
        }
        Aec *aec = new (std::nothrow) Aec;
        if (aec) {
            aec->rate = rate;
            aec->settings = settings;
        }
        return aec;
    }

    bool start(s32 samples)
    {
        stop();
        int tail = (int)(rate * kTailSeconds);
        echo = speex_echo_state_init(samples, tail);
        residual = speex_preprocess_state_init(samples, rate);
        if (!echo || !residual)
            return false;
        int r = rate, on = 1, off = 0, no_noise_suppression = 0;
        speex_echo_ctl(echo, SPEEX_ECHO_SET_SAMPLING_RATE, &r);
        speex_preprocess_ctl(residual, SPEEX_PREPROCESS_SET_DENOISE, &on);
        speex_preprocess_ctl(residual, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &no_noise_suppression);
        speex_preprocess_ctl(residual, SPEEX_PREPROCESS_SET_AGC, &off);
        speex_preprocess_ctl(residual, SPEEX_PREPROCESS_SET_ECHO_STATE, echo);
        int db = -settings.suppress_db, active = -settings.suppress_active_db;
        speex_preprocess_ctl(residual, SPEEX_PREPROCESS_SET_ECHO_SUPPRESS, &db);
        speex_preprocess_ctl(residual, SPEEX_PREPROCESS_SET_ECHO_SUPPRESS_ACTIVE, &active);
        frame = samples;
        mic.assign(samples, 0);
        return true;
    }

    // Fills the output up to the background level with white noise.
    void comfort(const zuza::Frame &f)
    {
        double in_power = zuza::mean_square(mic.data(), f.samples);
        double rise = std::pow(10.0, kFloorRiseDbPerSecond * f.samples / rate / 10.0);
        floor_power = floor_power < 0 ? in_power : std::min(in_power, floor_power * rise);
        double missing = floor_power - zuza::mean_square(f.out, f.samples);
        if (missing <= 0)
            return;
        // Uniform noise in [-a, a] has a mean square of a^2 / 3.
        double a = std::sqrt(3 * missing);
        for (s32 i = 0; i < f.samples; i++) {
            noise_seed = noise_seed * 1664525u + 1013904223u;
            double u = (noise_seed >> 8) / 8388608.0 - 1.0;
            f.out[i] = zuza::saturate(f.out[i] + a * u);
        }
    }

    bool process(const zuza::Frame &f)
    {
        if (!f.ref || (f.samples != frame && !start(f.samples)))
            return false;
        memcpy(mic.data(), f.in, f.samples * sizeof(s16)); // in and out may be one buffer
        speex_echo_cancellation(echo, mic.data(), f.ref, f.out);
        speex_preprocess_run(residual, f.out);
        if (settings.comfort_noise)
            comfort(f);
        return true;
    }
};

} // namespace

ZUZA_MODULE_CLASS(AEC, Aec);

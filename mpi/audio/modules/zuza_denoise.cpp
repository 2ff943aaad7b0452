// speexdsp's denoiser as the modules use it.
#include "mpi/audio/modules/zuza_denoise.h"

#include <algorithm>
#include <cstring>

namespace zuza {

namespace {

// How fast the frame passes between denoised and untouched, so that a level
// near the quiet threshold does not switch the denoiser in steps.
constexpr double kMixEaseMs = 50.0;

} // namespace

Denoiser::~Denoiser()
{
    if (state_)
        speex_preprocess_state_destroy(state_);
}

void Denoiser::set_suppress(int db)
{
    if (db == suppress_now_)
        return;
    suppress_now_ = db;
    int value = -db;
    speex_preprocess_ctl(state_, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &value);
}

bool Denoiser::start(s32 samples)
{
    if (state_)
        speex_preprocess_state_destroy(state_);
    state_ = speex_preprocess_state_init(samples, rate_);
    if (!state_)
        return false;
    int on = 1, off = 0;
    speex_preprocess_ctl(state_, SPEEX_PREPROCESS_SET_DENOISE, &on);
    speex_preprocess_ctl(state_, SPEEX_PREPROCESS_SET_AGC, &off);
    speex_preprocess_ctl(state_, SPEEX_PREPROCESS_SET_DEREVERB, &off);
    int vad = settings_.speech_protect ? 1 : 0;
    speex_preprocess_ctl(state_, SPEEX_PREPROCESS_SET_VAD, &vad);
    suppress_now_ = -1;
    set_suppress(settings_.suppress_db);
    frame_ = samples;
    dry_.assign(samples, 0);
    next_.assign(samples, 0);
    quiet_power_ = db_power(settings_.quiet_below_db);
    return true;
}

bool Denoiser::run(const s16 *in, s16 *out, s32 samples)
{
    if (samples != frame_ && !start(samples))
        return false;
    // speexdsp hands back the frame before the one it is given: the
    // untouched path it is eased with is that frame too, so the output keeps
    // one time base, one frame late, whichever way it goes.
    memcpy(next_.data(), in, samples * sizeof(s16));
    if (in != out)
        memcpy(out, in, samples * sizeof(s16));
    if (settings_.speech_protect)
        set_suppress(speech_ ? settings_.suppress_db / 2 : settings_.suppress_db);
    int vad = speex_preprocess_run(state_, out);
    speech_ = vad != 0;
    const s16 *dry = dry_.data();
    const bool quiet = mean_square(dry, samples) < quiet_power_;
    // The estimate keeps learning on quiet frames; only the output eases
    // back to the untouched input there.
    const double step = samples * 1000.0 / (kMixEaseMs * rate_);
    const double from = mix_;
    mix_ = quiet ? std::max(0.0, mix_ - step) : std::min(1.0, mix_ + step);
    if (from != 1.0 || mix_ != 1.0) {
        for (s32 i = 0; i < samples; i++) {
            double w = from + (mix_ - from) * (i + 1) / samples;
            out[i] = saturate(w * out[i] + (1 - w) * dry[i]);
        }
    }
    dry_.swap(next_);
    return true;
}

} // namespace zuza

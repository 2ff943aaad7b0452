// The denoiser ANR, RNR and AGC's noise suppression share: speexdsp's
// preprocessor with only its denoiser on, made on the first frame (the
// chains hand the modules fixed frames; a new frame length starts it anew).
// Its output is one frame late, denoised or not.
#pragma once

#include <speex/speex_preprocess.h>
#include <vector>

#include "mpi/audio/modules/zuza_dsp.h"

namespace zuza {

struct DenoiseSettings {
    int suppress_db;        // most the noise is lowered, dB (positive)
    double quiet_below_db;  // input frames below this level (dBFS) pass untouched
    bool speech_protect;    // halve the suppression while speech is detected
};

class Denoiser {
public:
    Denoiser(s32 rate, const DenoiseSettings &settings) : rate_(rate), settings_(settings) {}
    ~Denoiser();
    Denoiser(const Denoiser &) = delete;
    Denoiser &operator=(const Denoiser &) = delete;

    // Takes one frame from `in` and writes the frame before it, denoised, to
    // `out` (they may be the same); false when speexdsp cannot be set up for
    // the frame length.
    bool run(const s16 *in, s16 *out, s32 samples);

private:
    bool start(s32 samples);
    void set_suppress(int db);

    s32 rate_;
    DenoiseSettings settings_;
    SpeexPreprocessState *state_ = nullptr;
    s32 frame_ = 0;
    int suppress_now_ = 0;
    bool speech_ = false;
    double mix_ = 1.0; // weight of the denoised signal, eased between frames
    std::vector<s16> dry_;  // the input frame that goes out now
    std::vector<s16> next_; // the one that goes out with the next call
    double quiet_power_ = 0; // the quiet level as a mean square
};

} // namespace zuza

// What the enhancement modules share: the module object and the frames of a
// process call, levels in dB, one-pole smoothing and biquad filters designed
// with the standard audio-EQ formulas (R. Bristow-Johnson's cookbook).
//
// Levels are RMS levels referred to a full-scale sine: 0 dBFS is a sine whose
// peaks reach 32767, so a tone's level reads the same whatever its frequency.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "mpi/audio/vqe/audio_module.h"
#include "mpi/audio/vqe/vqe_cfg.h"

// Defines the work-handle object "g_Audio_<NAME>_WorkHandle" the loader reads.
#define ZUZA_MODULE(NAME, create, process, destroy)                                                        \
    extern "C" __attribute__((visibility("default"))) const AUDIO_MODULE_EXPORT_S g_Audio_##NAME##_WorkHandle = { \
        #NAME, create, process, destroy}

namespace zuza {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSilenceDb = -120.0;

// The samples of one process call: the input, where the output goes, how many.
struct Frame {
    const s16 *in;
    const s16 *ref; // echo reference, or null
    s16 *out;
    s32 samples;
    const s32 *volume; // the chain's volume word, or null
};

// Reads the two descriptors; false when they do not describe a block.
bool frame_of(const AUDIO_MODULE_BUF_S *in, const AUDIO_MODULE_BUF_S *out, Frame *frame);

// The parameter block of a chain stage's create, or null.
inline const VQE_MODULE_PARAM_S *stage_param(const void *param) { return static_cast<const VQE_MODULE_PARAM_S *>(param); }

inline s16 saturate(double v)
{
    if (v >= 32767.0)
        return 32767;
    if (v <= -32768.0)
        return -32768;
    return (s16)std::lrint(v);
}

inline double db_to_gain(double db) { return std::pow(10.0, db / 20.0); }

// Writes in x gain to the frame's output, the gain gliding evenly from
// `from` to `to` across the frame (no step to click).
inline void apply_gain_glide(const Frame &f, const s16 *in, double from, double to)
{
    for (s32 i = 0; i < f.samples; i++)
        f.out[i] = saturate(in[i] * (from + (to - from) * (i + 1) / f.samples));
}

// Level of a mean square power (in sample units squared), dBFS, and back.
constexpr double kFullScalePower = 32767.0 * 32767.0 / 2.0;
inline double power_db(double mean_square)
{
    return mean_square > 0 ? 10.0 * std::log10(mean_square / kFullScalePower) : kSilenceDb;
}
inline double db_power(double db) { return kFullScalePower * std::pow(10.0, db / 10.0); }
double mean_square(const s16 *x, s32 n);
inline double level_db(const s16 *x, s32 n) { return power_db(mean_square(x, n)); }

// The one-pole coefficient for a time constant (63 % of a step) at a rate of
// `per_second` updates.
inline double smoothing(double ms, double per_second)
{
    return ms <= 0 ? 0.0 : std::exp(-1000.0 / (ms * per_second));
}

// A second-order section in transposed direct form II.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;

    double run(double x)
    {
        double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
    // Its gain in dB at `hz`, for tests of the design.
    double response_db(double hz, double rate) const;
};

enum class FilterType { HighPass, LowShelf, Peaking, HighShelf, LowPass, AllPass };

// Designs a section (the state is cleared); `q` for the shelves is their
// cookbook Q, gain in dB for the peaking and shelving types.
Biquad design(FilterType type, double rate, double hz, double q, double gain_db);

constexpr double kButterworthQ = 0.70710678118654752;

// A module that is a cascade of sections run in order.
struct Cascade {
    std::vector<Biquad> sections;

    bool process(const Frame &f)
    {
        for (s32 i = 0; i < f.samples; i++) {
            double v = f.in[i];
            for (Biquad &b : sections)
                v = b.run(v);
            f.out[i] = saturate(v);
        }
        return true;
    }
};

// The three operations over a module class M with
//   static M *make(s32 rate, const void *param)  (null: refused or no memory)
//   bool process(const Frame &frame)             (false: the frame failed)
template <class M> s32 module_create(void **phModule, s32 s32SampleRate, const void *pParam)
{
    if (!phModule || s32SampleRate <= 0)
        return -1;
    M *module = M::make(s32SampleRate, pParam);
    if (!module)
        return -1;
    *phModule = module;
    return 0;
}

template <class M> s32 module_process(void *hModule, const AUDIO_MODULE_BUF_S *pstIn, const AUDIO_MODULE_BUF_S *pstOut)
{
    Frame frame;
    if (!hModule || !frame_of(pstIn, pstOut, &frame))
        return -1;
    return static_cast<M *>(hModule)->process(frame) ? 0 : -1;
}

template <class M> s32 module_destroy(void *hModule)
{
    delete static_cast<M *>(hModule);
    return 0;
}

} // namespace zuza

#define ZUZA_MODULE_CLASS(NAME, M)                                                                         \
    ZUZA_MODULE(NAME, zuza::module_create<M>, zuza::module_process<M>, zuza::module_destroy<M>)

// ANR: speech noise reduction on speexdsp's preprocessor (denoiser only).
//
// Sub-record VQE_ANR_CFG_S, read with bUsrMode 1:
// - s16NrIntensity 0..25: the most the noise is lowered, in dB (0 leaves it,
//   25 lowers steady noise by up to 25 dB);
// - s16NoiseDbThr 30..60: frames quieter than -NoiseDbThr dBFS pass
//   untouched, so near-silence is not worked on (the estimate still learns
//   from them); the output eases over 50 ms between the two;
// - s8SpProSwitch 0..1: speech protection: while speexdsp's voice detector
//   hears speech the suppression is halved, keeping speech detail.
// bUsrMode 0: intensity 15, threshold 60, no speech protection.
// The work mode and the parameter words are not used.
//
// Like every noise-estimating denoiser it learns whatever stays unchanged
// for a second or so (steady hiss, hum, a held tone) as noise and lowers it;
// sounds that come and go, as speech does, keep their level.
#include "mpi/audio/modules/zuza_denoise_module.h"

namespace {

constexpr zuza::DenoiseSettings kDefault = {15, -60.0, false};

bool read_anr(const void *cfg, zuza::DenoiseSettings *settings)
{
    const VQE_ANR_CFG_S *anr = static_cast<const VQE_ANR_CFG_S *>(cfg);
    if (!anr || !anr->bUsrMode) {
        *settings = kDefault;
        return true;
    }
    if (anr->s16NrIntensity < 0 || anr->s16NrIntensity > 25 || anr->s16NoiseDbThr < 30 || anr->s16NoiseDbThr > 60)
        return false;
    *settings = {anr->s16NrIntensity, -(double)anr->s16NoiseDbThr, anr->s8SpProSwitch != 0};
    return true;
}

using Anr = zuza::DenoiseModule<read_anr>;

} // namespace

ZUZA_MODULE_CLASS(ANR, Anr);

// RNR: recording noise reduction on speexdsp's preprocessor (denoiser only).
//
// Sub-record VQE_RNR_CFG_S, read with bUsrMode 1:
// - s32MaxNrLevel 2..20: the most the noise is lowered, in dB;
// - s32NoiseThresh -80..-20: frames quieter than this level (dBFS) pass
//   untouched (the estimate still learns from them); the output eases over
//   50 ms between the two;
// - s32NrMode 0..1: chooses the chain's frame length (0: 960-sample frames,
//   a steadier estimate for recordings; 1: the short speech frames); the
//   module itself works on whatever frame it is handed.
// bUsrMode 0: 10 dB, threshold -70 dBFS.
// The work mode and the parameter words are not used. As ANR, a sound that
// stays unchanged for a second or so is learnt as noise.
#include "mpi/audio/modules/zuza_denoise_module.h"

namespace {

constexpr zuza::DenoiseSettings kDefault = {10, -70.0, false};

bool read_rnr(const void *cfg, zuza::DenoiseSettings *settings)
{
    const VQE_RNR_CFG_S *rnr = static_cast<const VQE_RNR_CFG_S *>(cfg);
    if (!rnr || !rnr->bUsrMode) {
        *settings = kDefault;
        return true;
    }
    if (rnr->s32MaxNrLevel < 2 || rnr->s32MaxNrLevel > 20 || rnr->s32NoiseThresh < -80 || rnr->s32NoiseThresh > -20)
        return false;
    *settings = {(int)rnr->s32MaxNrLevel, (double)rnr->s32NoiseThresh, false};
    return true;
}

using Rnr = zuza::DenoiseModule<read_rnr>;

} // namespace

ZUZA_MODULE_CLASS(RNR, Rnr);

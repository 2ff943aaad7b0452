// EQ: a ten-band graphic equaliser of peaking biquads.
//
// Sub-record VQE_EQ_CFG_S: s8GaindB[i] is band i's gain in dB (-100..20;
// -100 all but removes the band). The band centres sit two-thirds of an
// octave apart on the preferred frequencies:
//   8 kHz work rate:  50 80 125 200 315 500 800 1250 2000 3150 Hz
//   16 kHz and above: 100 160 250 400 630 1000 1600 2500 4000 6300 Hz
// Each band is two-thirds of an octave wide (Q 2.15), so a band's gain is
// reached at its centre and fades out within about an octave. Bands at 0 dB
// and centres above 0.45 x the work rate are left out. The chain's parameter
// words (1 and 0: the EQ follows an AGC) and the work mode are not used.
#include <new>
#include <vector>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr double kBandQ = 2.15;
constexpr double kCentres8k[VQE_EQ_BAND_NUM] = {50, 80, 125, 200, 315, 500, 800, 1250, 2000, 3150};
constexpr double kCentres16k[VQE_EQ_BAND_NUM] = {100, 160, 250, 400, 630, 1000, 1600, 2500, 4000, 6300};

struct Eq : zuza::Cascade {
    static Eq *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_EQ_CFG_S *cfg = p ? static_cast<const VQE_EQ_CFG_S *>(p->pModuleCfg) : nullptr;
        if (!cfg)
            return nullptr;
        Eq *eq = new (std::nothrow) Eq;
        if (!eq)
            return nullptr;
        const double *centres = rate < 16000 ? kCentres8k : kCentres16k;
        for (u32 i = 0; i < VQE_EQ_BAND_NUM; i++) {
            if (cfg->s8GaindB[i] < -100 || cfg->s8GaindB[i] > 20) {
                delete eq;
                return nullptr;
            }
            if (cfg->s8GaindB[i] != 0 && centres[i] <= 0.45 * rate)
                eq->sections.push_back(zuza::design(zuza::FilterType::Peaking, rate, centres[i], kBandQ, cfg->s8GaindB[i]));
        }
        return eq;
    }
};

} // namespace

ZUZA_MODULE_CLASS(EQ, Eq);

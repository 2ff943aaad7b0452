// HPF: a second-order Butterworth high-pass.
//
// Sub-record VQE_HPF_CFG_S: with bUsrMode 1 the cut-off is u32HpfFreq (the
// attribute setters allow 80, 120 and 150 Hz; any cut-off from 20 Hz to 0.45 x
// the work rate is accepted); with bUsrMode 0 it is 120 Hz, where speech
// keeps its body and handling noise and hum are cut. The slope is 12 dB per
// octave: at the cut-off the level is down 3 dB, an octave below 12 dB.
// Neither the parameter words nor the work mode change anything.
#include <new>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr double kDefaultCutoffHz = 120.0;
constexpr double kMinCutoffHz = 20.0;

struct Hpf : zuza::Cascade {
    static Hpf *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_HPF_CFG_S *cfg = p ? static_cast<const VQE_HPF_CFG_S *>(p->pModuleCfg) : nullptr;
        double hz = cfg && cfg->bUsrMode ? (double)cfg->u32HpfFreq : kDefaultCutoffHz;
        if (hz < kMinCutoffHz || hz > 0.45 * rate)
            return nullptr;
        Hpf *hpf = new (std::nothrow) Hpf;
        if (hpf)
            hpf->sections.push_back(zuza::design(zuza::FilterType::HighPass, rate, hz, zuza::kButterworthQ, 0));
        return hpf;
    }
};

} // namespace

ZUZA_MODULE_CLASS(HPF, Hpf);

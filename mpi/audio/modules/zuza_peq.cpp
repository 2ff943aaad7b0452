// PEQ: a parametric equaliser of up to ten biquads, in band order.
//
// Sub-record VQE_PEQ_CFG_S, read with bUsrMode 1: the first u32BandNum
// (1..10) bands, each u8FilterType (0 high-pass, 1 low-shelf, 2 peaking, 3
// high-shelf, 4 low-pass), u16Frequency (the cut-off, shelf midpoint or
// centre, Hz), u16Q (Q x 10: 7 is the Butterworth 0.7 of the pass filters; for
// the shelves the cookbook's shelf Q, 7..10 a smooth shelf) and s8GaindB (the
// peaking or shelf gain; unused by the pass filters). Frequencies above 0.49 x
// the work rate are moved down to it. bUsrMode 0: one 80 Hz high-pass at
// Q 0.7, clearing rumble and leaving the rest flat. The parameter words and the
// work mode are not used.
#include <algorithm>
#include <new>
#include <vector>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr double kDefaultHighPassHz = 80.0;
constexpr double kMinHz = 10.0;

const zuza::FilterType kTypes[] = {zuza::FilterType::HighPass, zuza::FilterType::LowShelf, zuza::FilterType::Peaking,
                                   zuza::FilterType::HighShelf, zuza::FilterType::LowPass};

struct Peq : zuza::Cascade {
    static Peq *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_PEQ_CFG_S *cfg = p ? static_cast<const VQE_PEQ_CFG_S *>(p->pModuleCfg) : nullptr;
        Peq *peq = new (std::nothrow) Peq;
        if (!peq)
            return nullptr;
        if (!cfg || !cfg->bUsrMode) {
            peq->sections.push_back(
                zuza::design(zuza::FilterType::HighPass, rate, kDefaultHighPassHz, zuza::kButterworthQ, 0));
            return peq;
        }
        if (cfg->u32BandNum < 1 || cfg->u32BandNum > VQE_PEQ_BAND_NUM) {
            delete peq;
            return nullptr;
        }
        for (u32 i = 0; i < cfg->u32BandNum; i++) {
            if (cfg->u8FilterType[i] > 4 || cfg->u16Frequency[i] < kMinHz || cfg->u16Q[i] == 0) {
                delete peq;
                return nullptr;
            }
            double hz = std::min<double>(cfg->u16Frequency[i], 0.49 * rate);
            peq->sections.push_back(zuza::design(kTypes[cfg->u8FilterType[i]], rate, hz, cfg->u16Q[i] / 10.0, cfg->s8GaindB[i]));
        }
        return peq;
    }
};

} // namespace

ZUZA_MODULE_CLASS(PEQ, Peq);

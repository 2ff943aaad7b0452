// HDR: keeps the microphone's analogue gain where the capture neither clips
// nor sinks into the converter's noise, by stepping the audio codec's gain
// through the sub-record's callback. The samples pass unchanged.
//
// Sub-record VQE_HDR_CFG_S (read whatever bUsrMode says: with bUsrMode 0 the
// attribute setter has already written its defaults into it):
// - s32MicGaindB: the codec gain the capture starts at, dB;
// - s32MinGaindB, s32MaxGaindB: the range the gain is kept in;
// - s32MicGainStepdB 1..3: the size of one step;
// - pcallback: sets the codec gain (dB); a refusal (non-zero) leaves the
//   gain where it was.
// A frame whose peak reaches -3 dBFS lowers the gain one step, at most one
// step every 100 ms; when the peaks have stayed below -24 dBFS for a second
// the gain rises one step. The work mode and the parameter words are not used.
#include <algorithm>
#include <cstdlib>
#include <new>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr double kClipDb = -3.0;
constexpr double kQuietDb = -24.0;
constexpr double kLowerEveryMs = 100.0;
constexpr double kRaiseAfterMs = 1000.0;

struct Hdr {
    s32 rate = 0;
    VQE_HDR_CFG_S cfg = {};
    s32 gain_db = 0;
    double since_lower_ms = kLowerEveryMs;
    double quiet_ms = 0;

    static Hdr *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_HDR_CFG_S *cfg = p ? static_cast<const VQE_HDR_CFG_S *>(p->pModuleCfg) : nullptr;
        if (!cfg || !cfg->pcallback || cfg->s32MicGainStepdB < 1 || cfg->s32MinGaindB > cfg->s32MaxGaindB ||
            cfg->s32MicGaindB < cfg->s32MinGaindB || cfg->s32MicGaindB > cfg->s32MaxGaindB)
            return nullptr;
        Hdr *hdr = new (std::nothrow) Hdr;
        if (hdr) {
            hdr->rate = rate;
            hdr->cfg = *cfg;
            hdr->gain_db = cfg->s32MicGaindB;
        }
        return hdr;
    }

    void step_to(s32 db)
    {
        db = std::max(cfg.s32MinGaindB, std::min(cfg.s32MaxGaindB, db));
        if (db != gain_db && cfg.pcallback((u32)db) == 0)
            gain_db = db;
    }

    bool process(const zuza::Frame &f)
    {
        s32 peak = 0;
        for (s32 i = 0; i < f.samples; i++) {
            peak = std::max(peak, std::abs((s32)f.in[i]));
            f.out[i] = f.in[i];
        }
        const double peak_db = peak > 0 ? 20 * std::log10(peak / 32767.0) : zuza::kSilenceDb;
        const double ms = f.samples * 1000.0 / rate;
        since_lower_ms += ms;
        if (peak_db >= kClipDb) {
            quiet_ms = 0;
            if (since_lower_ms >= kLowerEveryMs) {
                step_to(gain_db - cfg.s32MicGainStepdB);
                since_lower_ms = 0;
            }
            return true;
        }
        quiet_ms = peak_db < kQuietDb ? quiet_ms + ms : 0;
        if (quiet_ms >= kRaiseAfterMs) {
            step_to(gain_db + cfg.s32MicGainStepdB);
            quiet_ms = 0;
        }
        return true;
    }
};

} // namespace

ZUZA_MODULE_CLASS(HDR, Hdr);

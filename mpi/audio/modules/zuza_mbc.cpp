// MBC: a multiband compressor. Each frame is split into 1 to 5 bands by
// Linkwitz-Riley crossovers (24 dB an octave), each band has a compressor of
// its own (an RMS level over 20 ms against the threshold), and the bands are
// summed again. The bands below a crossover also
// pass that crossover's all-pass, so with no band compressing the sum is the
// input with a flat magnitude response.
//
// Settings block VQE_MBC_CFG_S (984 bytes; the audio output unit writes only
// the last two words, the rest is this module's layout):
//   +0    u32 bUsrMode: 1 use the fields below, 0 use the defaults
//   +4    s32 as32CrossFreq[4]: the crossover between band i and i + 1, Hz,
//         rising, each from 20 Hz to 0.45 x the work rate; the first
//         u32BandNum - 1 are used
//   +20   five band records of 20 bytes, lowest band first:
//           s32 s32ThresholdDb  -90..0: the level (dBFS) above which the band
//                               is compressed
//           s32 s32Ratio        10..200: the ratio x 10 (40 is 4:1): above the
//                               threshold each 4 dB in give 1 dB out
//           s32 s32AttackMs     1..1000: how fast the compression sets in
//                               (time constant of a rising gain reduction)
//           s32 s32ReleaseMs    1..5000: how fast it lets go again
//           s32 s32MakeupDb     -20..20: gain added after the compression
//   +120  856 bytes reserved (zero)
//   +976  u32 u32Channel: the track the compressor serves (0 or 1); the chain
//         is mono, so it is only carried
//   +980  u32 u32BandNum 1..5: always read
// Defaults (bUsrMode 0): crossovers 200, 800, 2000 and 3500 Hz; every band
// threshold -20 dBFS, 4:1, attack 5 ms, release 100 ms, no make-up. The
// parameter words and the work mode are not used.
#include <algorithm>
#include <new>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr s32 kDefaultCross[VQE_MBC_BAND_NUM - 1] = {200, 800, 2000, 3500};
constexpr VQE_MBC_BAND_S kDefaultBand = {-20, 40, 5, 100, 0};
// The level detector's window: long enough to hold a low band's tone steady.
constexpr double kRmsMs = 20.0;

bool band_ok(const VQE_MBC_BAND_S &b)
{
    return b.s32ThresholdDb >= -90 && b.s32ThresholdDb <= 0 && b.s32Ratio >= 10 && b.s32Ratio <= 200 &&
           b.s32AttackMs >= 1 && b.s32AttackMs <= 1000 && b.s32ReleaseMs >= 1 && b.s32ReleaseMs <= 5000 &&
           b.s32MakeupDb >= -20 && b.s32MakeupDb <= 20;
}

// One Linkwitz-Riley crossover: two Butterworth sections for each side.
struct Crossover {
    zuza::Biquad low[2], high[2];

    void split(double x, double *lo, double *hi)
    {
        *lo = low[1].run(low[0].run(x));
        *hi = high[1].run(high[0].run(x));
    }
};

struct Band {
    double threshold_db, slope, makeup_db;
    double rms;             // per-sample smoothing of the level detector
    double attack, release; // per-sample smoothing of the gain reduction
    double power = 0;       // mean square over the detector's window
    double reduction_db = 0;
    zuza::Biquad allpass[VQE_MBC_BAND_NUM - 1];
    s32 allpass_num = 0;

    double compress(double x)
    {
        for (s32 i = 0; i < allpass_num; i++)
            x = allpass[i].run(x);
        power = rms * power + (1 - rms) * x * x;
        double over = zuza::power_db(power) - threshold_db;
        double want = over > 0 ? over * slope : 0;
        double keep = want > reduction_db ? attack : release;
        reduction_db = keep * reduction_db + (1 - keep) * want;
        return x * zuza::db_to_gain(makeup_db - reduction_db);
    }
};

struct Mbc {
    s32 bands = 1;
    Crossover cross[VQE_MBC_BAND_NUM - 1];
    Band band[VQE_MBC_BAND_NUM];

    static Mbc *make(s32 rate, const void *param)
    {
        const VQE_MODULE_PARAM_S *p = zuza::stage_param(param);
        const VQE_MBC_CFG_S *cfg = p ? static_cast<const VQE_MBC_CFG_S *>(p->pModuleCfg) : nullptr;
        if (!cfg || cfg->u32BandNum < 1 || cfg->u32BandNum > VQE_MBC_BAND_NUM)
            return nullptr;
        const s32 n = (s32)cfg->u32BandNum;
        const s32 *freqs = cfg->bUsrMode ? cfg->as32CrossFreq : kDefaultCross;
        for (s32 k = 0; k + 1 < n; k++)
            if (freqs[k] < 20 || freqs[k] > 0.45 * rate || (k > 0 && freqs[k] <= freqs[k - 1]))
                return nullptr;
        for (s32 k = 0; k < n; k++)
            if (cfg->bUsrMode && !band_ok(cfg->astBand[k]))
                return nullptr;
        Mbc *mbc = new (std::nothrow) Mbc;
        if (!mbc)
            return nullptr;
        mbc->bands = n;
        for (s32 k = 0; k + 1 < n; k++) {
            Crossover &c = mbc->cross[k];
            c.low[0] = c.low[1] = zuza::design(zuza::FilterType::LowPass, rate, freqs[k], zuza::kButterworthQ, 0);
            c.high[0] = c.high[1] = zuza::design(zuza::FilterType::HighPass, rate, freqs[k], zuza::kButterworthQ, 0);
        }
        for (s32 k = 0; k < n; k++) {
            const VQE_MBC_BAND_S &b = cfg->bUsrMode ? cfg->astBand[k] : kDefaultBand;
            Band &band = mbc->band[k];
            band.threshold_db = b.s32ThresholdDb;
            band.slope = 1.0 - 10.0 / b.s32Ratio;
            band.makeup_db = b.s32MakeupDb;
            band.rms = zuza::smoothing(kRmsMs, rate);
            band.attack = zuza::smoothing(b.s32AttackMs, rate);
            band.release = zuza::smoothing(b.s32ReleaseMs, rate);
            // The all-passes of the crossovers above this band's own.
            for (s32 j = k + 1; j + 1 < n; j++)
                band.allpass[band.allpass_num++] =
                    zuza::design(zuza::FilterType::AllPass, rate, freqs[j], zuza::kButterworthQ, 0);
        }
        return mbc;
    }

    bool process(const zuza::Frame &f)
    {
        for (s32 i = 0; i < f.samples; i++) {
            double rest = f.in[i], sum = 0;
            for (s32 k = 0; k + 1 < bands; k++) {
                double low;
                cross[k].split(rest, &low, &rest);
                sum += band[k].compress(low);
            }
            sum += band[bands - 1].compress(rest);
            f.out[i] = zuza::saturate(sum);
        }
        return true;
    }
};

} // namespace

ZUZA_MODULE_CLASS(MBC, Mbc);

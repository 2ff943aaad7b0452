// Synthetic signals and measurements for the enhancement tests: tones and
// noise at a level, levels of whole stretches and of one frequency, and the
// frequency of a tone. Levels are RMS referred to a full-scale sine (dBFS).
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "mpi/audio/vqe/dnvqe.h"
#include "mpi/audio/vqe/upvqe.h"

namespace vqetest {

using Samples = std::vector<int16_t>;

constexpr double kPi = 3.14159265358979323846;

inline int16_t clip(double v) { return (int16_t)std::lrint(std::fmax(-32768.0, std::fmin(32767.0, v))); }

inline double amplitude(double dbfs) { return 32767.0 * std::pow(10.0, dbfs / 20.0); }

// A sine at `dbfs`, samples [from, from + n) of it.
inline Samples tone(int rate, double hz, double dbfs, size_t n, size_t from = 0)
{
    Samples x(n);
    for (size_t i = 0; i < n; i++)
        x[i] = clip(amplitude(dbfs) * std::sin(2 * kPi * hz * (double)(from + i) / rate));
    return x;
}

// White Gaussian noise at `dbfs` (same level as a sine of that level).
inline Samples noise(double dbfs, size_t n, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> nd(0.0, amplitude(dbfs) / std::sqrt(2.0));
    Samples x(n);
    for (auto &v : x)
        v = clip(nd(rng));
    return x;
}

inline Samples mix(const Samples &a, const Samples &b)
{
    Samples x(a.size());
    for (size_t i = 0; i < a.size(); i++)
        x[i] = clip((double)a[i] + (i < b.size() ? b[i] : 0));
    return x;
}

inline Samples concat(Samples a, const Samples &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline double level_db(const Samples &x, size_t from, size_t n)
{
    double sum = 0;
    size_t k = 0;
    for (size_t i = from; i < from + n && i < x.size(); i++, k++)
        sum += (double)x[i] * x[i];
    return k && sum > 0 ? 10 * std::log10(sum / k / (32767.0 * 32767.0 / 2)) : -200;
}

// Level of the component at `hz` alone, from its correlation with a sine and
// a cosine over [from, from + n) (best over whole periods).
inline double tone_db(const Samples &x, size_t from, size_t n, double hz, int rate)
{
    double c = 0, s = 0;
    size_t k = 0;
    for (size_t i = from; i < from + n && i < x.size(); i++, k++) {
        double w = 2 * kPi * hz * (double)i / rate;
        c += x[i] * std::cos(w);
        s += x[i] * std::sin(w);
    }
    double amp = k ? 2 * std::hypot(c, s) / k : 0;
    return amp > 0 ? 20 * std::log10(amp / 32767.0) : -200;
}

// A tone's frequency from its rising zero crossings (interpolated) over [from, from + n).
inline double frequency(const Samples &x, size_t from, size_t n, int rate)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < from + n && i < x.size(); i++) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            double t = (double)(i - 1) + (double)-x[i - 1] / ((double)x[i] - x[i - 1]);
            if (first < 0)
                first = t;
            last = t;
            crossings++;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

// Speech-like sound: words of one to three syllables with pauses between
// them, each syllable a vowel (glottal pulses at a gliding pitch through the
// vowel's three formants) at a level of its own within 6 dB,
// some starting with a hiss 10 dB below it; made from its seed alone, the
// same words at every rate. `active` marks the samples inside syllables, and
// the level over those (the active level) is `active_dbfs`.
struct Speech {
    Samples x;
    std::vector<uint8_t> active;
};

inline Speech speech(int rate, size_t n, double active_dbfs, unsigned seed = 1, double pitch_hz = 120)
{
    struct Vowel {
        double f1, f2, f3;
    };
    static const Vowel vowels[] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240}, {530, 1840, 2480},
                                   {570, 840, 2410}};
    // A two-pole resonator at `hz` with bandwidth `bw`.
    struct Resonator {
        double a1 = 0, a2 = 0, y1 = 0, y2 = 0;
        void set(double hz, double bw, int rate)
        {
            double r = std::exp(-kPi * bw / rate);
            a1 = 2 * r * std::cos(2 * kPi * hz / rate);
            a2 = -r * r;
        }
        double run(double x)
        {
            double y = x + a1 * y1 + a2 * y2;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    auto rms = [](const std::vector<double> &x) {
        double sum = 0;
        for (double v : x)
            sum += v * v;
        return x.empty() || sum <= 0 ? 1.0 : std::sqrt(sum / x.size());
    };
    // The words' timing, vowels and levels come from one generator, the hiss
    // from another, so that every rate says the same words.
    std::mt19937 rng(seed), hiss_rng(seed + 1);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    std::normal_distribution<double> hiss(0.0, 1.0);
    Speech sp;
    std::vector<double> v(n, 0.0);
    sp.active.assign(n, 0);
    size_t at = (size_t)(uniform(0.05, 0.2) * rate);
    while (at < n) {
        int syllables = 1 + (int)uniform(0, 3);
        for (int k = 0; k < syllables && at < n; k++) {
            const Vowel &vw = vowels[(size_t)uniform(0, 5)];
            Resonator f[3];
            f[0].set(vw.f1, 80, rate);
            f[1].set(std::min(vw.f2, 0.45 * rate), 100, rate);
            f[2].set(std::min(vw.f3, 0.45 * rate), 140, rate);
            const size_t len = (size_t)(uniform(0.12, 0.28) * rate);
            const size_t fric_len = uniform(0, 1) < 0.3 ? (size_t)(uniform(0.04, 0.08) * rate) : 0;
            const double pitch = pitch_hz * uniform(0.9, 1.2), level = std::pow(10.0, uniform(-3, 3) / 20);
            std::vector<double> fric(fric_len), voiced(len);
            for (size_t i = 0; i < fric_len; i++)
                fric[i] = hiss(hiss_rng) * std::sin(kPi * i / fric_len);
            // The glottal flow is a Rosenberg pulse (opening over 40 % of the
            // period, closing over 16 %); the lips radiate its derivative.
            double phase = 0, flow = 0;
            for (size_t j = 0; j < len; j++) {
                double f0 = pitch * (1 - 0.15 * j / len) * (1 + 0.03 * std::sin(2 * kPi * 5 * j / rate));
                phase = std::fmod(phase + f0 / rate, 1.0);
                double g = phase < 0.4 ? 0.5 * (1 - std::cos(kPi * phase / 0.4))
                                       : phase < 0.56 ? std::cos(kPi * (phase - 0.4) / 0.32) : 0;
                double y = g - flow;
                flow = g;
                for (Resonator &r : f)
                    y = r.run(y);
                voiced[j] = y * std::min(1.0, j / (0.02 * rate)) * std::min(1.0, (len - j) / (0.04 * rate));
            }
            const double fric_gain = level * std::pow(10.0, -10.0 / 20) / rms(fric), voiced_gain = level / rms(voiced);
            for (size_t i = 0; i < fric_len + len && at + i < n; i++) {
                v[at + i] = i < fric_len ? fric[i] * fric_gain : voiced[i - fric_len] * voiced_gain;
                sp.active[at + i] = 1;
            }
            at += fric_len + len + (size_t)(uniform(0.02, 0.06) * rate);
        }
        at += (size_t)(uniform(0.15, 0.5) * rate);
    }
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < n; i++)
        if (sp.active[i]) {
            sum += v[i] * v[i];
            count++;
        }
    double scale = count && sum > 0 ? amplitude(active_dbfs) / std::sqrt(2.0) / std::sqrt(sum / count) : 0;
    sp.x.resize(n);
    for (size_t i = 0; i < n; i++)
        sp.x[i] = clip(v[i] * scale);
    return sp;
}

// The level over the active samples of [from, from + n) (dBFS).
inline double active_level_db(const Samples &x, const std::vector<uint8_t> &active, size_t from, size_t n)
{
    double sum = 0;
    size_t k = 0;
    for (size_t i = from; i < from + n && i < x.size(); i++)
        if (active[i]) {
            sum += (double)x[i] * x[i];
            k++;
        }
    return k && sum > 0 ? 10 * std::log10(sum / k / (32767.0 * 32767.0 / 2)) : -200;
}

// The delay (min_lag..min_lag + max_lag samples) at which `out` follows `in`
// most closely over [from, to) of `in`: the peak of their normalised
// correlation (with `corr`, its value).
inline size_t delay_of(const Samples &out, const Samples &in, size_t from, size_t to, size_t max_lag,
                       double *corr_out = nullptr, size_t min_lag = 0)
{
    size_t best = 0;
    double best_corr = -2;
    for (size_t lag = min_lag; lag <= min_lag + max_lag; lag++) {
        double oi = 0, ii = 0, oo = 0;
        for (size_t i = from; i < to && i + lag < out.size(); i++) {
            oi += (double)out[i + lag] * in[i];
            ii += (double)in[i] * in[i];
            oo += (double)out[i + lag] * out[i + lag];
        }
        double corr = ii > 0 && oo > 0 ? oi / std::sqrt(ii * oo) : -2;
        if (corr > best_corr) {
            best_corr = corr;
            best = lag;
        }
    }
    if (corr_out)
        *corr_out = best_corr;
    return best;
}

// A configuration of the input chain at one rate with every module off.
inline UPVQE_CFG_S up_cfg(s32 in_rate, s32 work_rate, s32 out_rate, s32 frame = 160)
{
    UPVQE_CFG_S cfg = {};
    cfg.s32InSampleRate = in_rate;
    cfg.s32WorkSampleRate = work_rate;
    cfg.s32OutSampleRate = out_rate;
    cfg.s32FrameSample = frame;
    return cfg;
}

inline DNVQE_CFG_S dn_cfg(s32 in_rate, s32 work_rate, s32 out_rate, s32 frame = 160)
{
    DNVQE_CFG_S cfg = {};
    cfg.s32InSampleRate = in_rate;
    cfg.s32WorkSampleRate = work_rate;
    cfg.s32OutSampleRate = out_rate;
    cfg.s32FrameSample = frame;
    return cfg;
}

// Writes the input in chunks the way a unit does and reads back after each
// write whatever is ready (lenient reads); the output so far, or empty when
// a call fails. `write(at, count)` and `read(buf, count)` call the chain.
template <class Write, class Read>
Samples through(const Samples &in, size_t chunk, double out_per_in, Write write, Read read)
{
    Samples out;
    Samples buf((size_t)(chunk * out_per_in) + 64);
    for (size_t at = 0; at + chunk <= in.size(); at += chunk) {
        if (write(at, (s32)chunk) != 0)
            return {};
        for (;;) {
            s32 got = read(buf.data(), (s32)buf.size());
            if (got < 0)
                return {};
            out.insert(out.end(), buf.begin(), buf.begin() + got);
            if (got < (s32)buf.size())
                break;
        }
    }
    return out;
}

// Through the input chain; `ref` is the echo reference for the same span, or null.
inline Samples through_up(UPVQE_INSTANCE_S *vqe, const Samples &in, size_t chunk, const Samples *ref = nullptr,
                          double out_per_in = 1.0)
{
    return through(
        in, chunk, out_per_in,
        [&](size_t at, s32 n) {
            s16 *r = ref ? const_cast<s16 *>(ref->data() + at) : nullptr;
            return DU_UPVQE_WriteFrame(vqe, const_cast<s16 *>(in.data() + at), r, n);
        },
        [&](s16 *buf, s32 n) { return DU_UPVQE_ReadFrame(vqe, buf, n, 1); });
}

inline Samples through_dn(DNVQE_INSTANCE_S *vqe, const Samples &in, size_t chunk, double out_per_in = 1.0)
{
    return through(
        in, chunk, out_per_in,
        [&](size_t at, s32 n) { return DU_DNVQE_WriteFrame(vqe, const_cast<s16 *>(in.data() + at), n); },
        [&](s16 *buf, s32 n) { return DU_DNVQE_ReadFrame(vqe, buf, n, 1); });
}

} // namespace vqetest

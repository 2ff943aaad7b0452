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

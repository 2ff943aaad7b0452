// The neighbourhood kernels of the engine, a row at a time (ive_rows.h).
// Every loop here runs outside the sanitizers and is built to vectorise:
// the kernels are the board's simulated hardware, the sanitizers are there
// for the firmware.
#include "board/sim/ive/ive_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <type_traits>

namespace sim {
namespace ive {

namespace {

// ---- weighted sums of N streams -----------------------------------------------------------

// out[x] (+)= sum of k[i] x p[i][x]: a column pass (the streams are rows), a
// row pass (the streams are one row at N offsets) or one row of a mask.
template <int N, class In, class Acc, bool kAdd>
IVE_ROW_LOOP void weighted(const In *const *p, const int *k, Acc *__restrict out, int n)
{
    const In *q[N];
    int c[N];
    for (int i = 0; i < N; i++)
        q[i] = p[i], c[i] = k[i];
    for (int x = 0; x < n; x++) {
        int s = kAdd ? (int)out[x] : 0;
#pragma GCC unroll 5
        for (int i = 0; i < N; i++)
            s += c[i] * (int)q[i][x];
        out[x] = (Acc)s;
    }
}

// Calls f with std::integral_constant<int, taps> for 1 to 5 taps: the row
// loops are built for each count, so that their inner sums unroll.
template <class F> void with_taps(int taps, F f)
{
    switch (taps) {
    case 1:
        return f(std::integral_constant<int, 1>());
    case 2:
        return f(std::integral_constant<int, 2>());
    case 3:
        return f(std::integral_constant<int, 3>());
    case 4:
        return f(std::integral_constant<int, 4>());
    default:
        return f(std::integral_constant<int, 5>());
    }
}

template <class In, class Acc, bool kAdd> void weighted_n(int taps, const In *const *p, const int *k, Acc *out, int n)
{
    if (taps == 0) {
        if (!kAdd)
            std::fill(out, out + n, (Acc)0);
        return;
    }
    with_taps(taps, [&](auto count) { weighted<decltype(count)::value, In, Acc, kAdd>(p, k, out, n); });
}

// The non-zero coefficients of five and the streams they weigh.
template <class In> struct Taps {
    const In *p[5];
    int k[5];
    int n = 0;
    void add(int coef, const In *stream)
    {
        if (coef)
            p[n] = stream, k[n++] = coef;
    }
};

// Whether the mask is a column times a row; fills the plan's vectors.
bool split(MaskPlan &plan)
{
    int pr = -1, pc = -1;
    for (int i = 0; i < 25 && pr < 0; i++)
        if (plan.m[i])
            pr = i / 5, pc = i % 5;
    if (pr < 0)
        return false;
    // The pivot row divided by its common factor, its sign that of the pivot.
    int g = 0;
    for (int j = 0; j < 5; j++)
        g = std::gcd(g, plan.m[pr * 5 + j]);
    if (plan.m[pr * 5 + pc] < 0)
        g = -g;
    for (int j = 0; j < 5; j++)
        plan.row[j] = plan.m[pr * 5 + j] / g;
    for (int i = 0; i < 5; i++) {
        if (plan.m[i * 5 + pc] % plan.row[pc])
            return false;
        plan.col[i] = plan.m[i * 5 + pc] / plan.row[pc];
    }
    for (int i = 0; i < 25; i++)
        if (plan.col[i / 5] * plan.row[i % 5] != plan.m[i])
            return false;
    return true;
}

} // namespace

// ---- the window ------------------------------------------------------------------------------

RowWindow::RowWindow(const Plane &src, uint32_t w, uint32_t h, int radius)
    : src_(src), w_((int)w), h_((int)h), radius_(radius), pw_(w + 2 * kPad), ring_(pw_ * (2 * radius + 1))
{
    for (int dy = -radius_; dy <= radius_; dy++)
        load(dy);
    for (int dy = -radius_; dy <= radius_; dy++)
        rows_[dy + radius_] = slot(dy) + kPad;
}

uint8_t *RowWindow::slot(int source_row)
{
    const int n = 2 * radius_ + 1;
    return &ring_[(size_t)(((source_row % n) + n) % n) * pw_];
}

SIM_PIXEL_LOOP void RowWindow::load(int source_row)
{
    const int y = source_row < 0 ? 0 : source_row >= h_ ? h_ - 1 : source_row;
    const uint8_t *in = src_.row((uint32_t)y);
    uint8_t *out = slot(source_row);
    memcpy(out + kPad, in, (size_t)w_);
    for (int i = 0; i < kPad; i++) {
        out[i] = in[0];
        out[kPad + w_ + i] = in[w_ - 1];
    }
}

void RowWindow::next()
{
    y_++;
    load(y_ + radius_);
    for (int dy = -radius_; dy <= radius_; dy++)
        rows_[dy + radius_] = slot(y_ + dy) + kPad;
}

// ---- correlation ---------------------------------------------------------------------------------

MaskPlan plan_mask(const int8_t *mask, bool transposed)
{
    MaskPlan plan;
    int weight = 0, col_weight = 0;
    bool negative = false;
    for (int i = 0; i < 25; i++) {
        plan.m[i] = transposed ? mask[(i % 5) * 5 + i / 5] : mask[i];
        weight += std::abs(plan.m[i]);
        negative = negative || plan.m[i] < 0;
    }
    plan.separable = split(plan);
    for (int c : plan.col)
        col_weight += std::abs(c);
    // A sum's magnitude is at most the weights' total times 255; the column
    // pass's at most the column weights' total times 255.
    plan.sums = weight * 255 <= 32767                ? SumType::S16
                : !negative && weight * 255 <= 65535 ? SumType::U16
                                                     : SumType::S32;
    plan.narrow_columns = col_weight * 255 <= 32767;
    return plan;
}

namespace {

// Down the mask's columns over the padded width, then across.
template <class Out, class Col>
void separable(const RowWindow &win, const MaskPlan &plan, int w, Out *out, std::vector<Col> &columns)
{
    columns.resize((size_t)w + 2 * kPad);
    Taps<uint8_t> down;
    for (int dy = 0; dy < 5; dy++)
        down.add(plan.col[dy], win.row(dy - 2) - kPad);
    weighted_n<uint8_t, Col, false>(down.n, down.p, down.k, columns.data(), w + 2 * kPad);
    Taps<Col> across;
    for (int dx = 0; dx < 5; dx++)
        across.add(plan.row[dx], columns.data() + dx);
    weighted_n<Col, Out, false>(across.n, across.p, across.k, out, w);
}

// Row by row of the mask, each row's taps in one pass.
template <class Out> void by_rows(const RowWindow &win, const MaskPlan &plan, int w, Out *out)
{
    bool first = true;
    for (int dy = 0; dy < 5; dy++) {
        Taps<uint8_t> taps;
        for (int dx = 0; dx < 5; dx++)
            taps.add(plan.m[dy * 5 + dx], win.row(dy - 2) + dx - 2);
        if (!taps.n)
            continue;
        if (first)
            weighted_n<uint8_t, Out, false>(taps.n, taps.p, taps.k, out, w);
        else
            weighted_n<uint8_t, Out, true>(taps.n, taps.p, taps.k, out, w);
        first = false;
    }
    if (first)
        weighted_n<uint8_t, Out, false>(0, nullptr, nullptr, out, w);
}

template <class Out, class Col> SumRow correlate_as(SumType type, const RowWindow &win, const MaskPlan &plan, int w,
                                                    std::vector<Out> &sums, std::vector<Col> &columns)
{
    sums.resize((size_t)w);
    if (plan.separable)
        separable(win, plan, w, sums.data(), columns);
    else
        by_rows(win, plan, w, sums.data());
    return {type, sums.data()};
}

} // namespace

SumRow correlate(const RowWindow &win, const MaskPlan &plan, int w, CorrelationRows &work)
{
    switch (plan.sums) {
    case SumType::S16:
        return correlate_as(SumType::S16, win, plan, w, work.s16[0], work.s16[1]);
    case SumType::U16:
        return correlate_as(SumType::U16, win, plan, w, work.u16[0], work.u16[1]);
    default:
        if (plan.narrow_columns)
            return correlate_as(SumType::S32, win, plan, w, work.s32[0], work.s16[1]);
        return correlate_as(SumType::S32, win, plan, w, work.s32[0], work.s32[1]);
    }
}

void gradient_rows(const Plane &src, uint32_t w, uint32_t h, const int8_t *mask, bool want_h, bool want_v,
                   const std::function<void(uint32_t, const SumRow *, const SumRow *)> &put)
{
    RowWindow win(src, w, h, 2);
    const MaskPlan hp = plan_mask(mask, false), vp = plan_mask(mask, true);
    CorrelationRows hw, vw;
    for (uint32_t y = 0; y < h; y++) {
        SumRow hr, vr;
        if (want_h)
            hr = correlate(win, hp, (int)w, hw);
        if (want_v)
            vr = correlate(win, vp, (int)w, vw);
        put(y, want_h ? &hr : nullptr, want_v ? &vr : nullptr);
        if (y + 1 < h)
            win.next();
    }
}

// ---- gradient magnitudes and angles ----------------------------------------------------------

namespace {

// The angle rule itself, in double precision.
int angle_rule(int h, int v)
{
    const double a = h || v ? std::atan2((double)v, (double)h) * 128.0 / M_PI : 0;
    return ((int)std::lround(a) % 256 + 256) % 256;
}

// atan(r) x 128 / pi for r in [0, 1] as r (c0 + c1 r^2 + ... + c6 r^12):
// coefficients fitted for the smallest largest error, which is 1.0e-5 of a
// unit, 1.4e-5 in single precision over every r.
constexpr float kAtanUnits[7] = {4.074350700e+01f,  -1.357471697e+01f, 8.070430111e+00f, -5.391748629e+00f,
                                 3.244160234e+00f,  -1.369159073e+00f, 2.775374075e-01f};
// The angle is taken to 1 / 8192 of a unit: one that comes within 2 / 8192
// of a half unit, fourteen times the error, is left to the rule (about 1
// gradient in 2000).
constexpr int kFractionBits = 13, kNearHalf = 2;

SIM_PIXEL_LOOP inline uint16_t magnitude_of(int ah, int av) { return (uint16_t)(ah + av > 65535 ? 65535 : ah + av); }

template <class In>
IVE_ROW_LOOP void magnitudes(const In *__restrict h, const In *__restrict v, u16u *__restrict mag, int n)
{
    for (int x = 0; x < n; x++)
        mag[x] = magnitude_of(h[x] < 0 ? -h[x] : h[x], v[x] < 0 ? -v[x] : v[x]);
}

// The magnitudes and the angles of a row, the angles in single precision:
// the angle of the first octant (the smaller of |H| and |V| over the
// larger) by the polynomial and rounded, then placed by the octant's
// symmetries: 64 less it past the diagonal, 128 less that for a negative H,
// negated for a negative V. `unsure` marks the angles that lay near a half
// unit.
template <class In>
IVE_ROW_LOOP void magnitudes_and_angles(const In *__restrict h, const In *__restrict v, u16u *__restrict mag,
                                        uint8_t *__restrict ang, uint8_t *__restrict unsure, int n)
{
    constexpr int one = 1 << kFractionBits, half = one / 2;
    for (int x = 0; x < n; x++) {
        const int hx = h[x], vx = v[x];
        const int ah = hx < 0 ? -hx : hx, av = vx < 0 ? -vx : vx;
        mag[x] = magnitude_of(ah, av);
        const int small = ah < av ? ah : av, large = ah < av ? av : ah;
        const float r = (float)small / (float)(large > 0 ? large : 1), r2 = r * r;
        float p = kAtanUnits[6] * one;
#pragma GCC unroll 6
        for (int k = 5; k >= 0; k--)
            p = p * r2 + kAtanUnits[k] * one;
        const int fixed = (int)(p * r), k0 = (fixed + half) >> kFractionBits;
        unsure[x] = (uint8_t)(((fixed + half + kNearHalf) & (one - 1)) < 2 * kNearHalf);
        int k = av > ah ? 64 - k0 : k0;
        k = hx < 0 ? 128 - k : k;
        ang[x] = (uint8_t)(vx < 0 ? -k : k);
    }
}

// The row in pieces, the unsure angles of each then given by the rule (a
// picture of one gradient all over asks it once).
template <class In> void mag_and_ang_of(const In *h, const In *v, u16u *mag, uint8_t *ang, int n)
{
    if (!ang)
        return magnitudes(h, v, mag, n);
    constexpr int kPiece = 1024;
    uint8_t unsure[kPiece];
    int last_h = 0, last_v = 0, last = 0;
    for (int at = 0; at < n; at += kPiece) {
        const int m = std::min(kPiece, n - at);
        magnitudes_and_angles(h + at, v + at, mag + at, ang + at, unsure, m);
        for (const uint8_t *p = unsure; (p = static_cast<const uint8_t *>(memchr(p, 1, unsure + m - p))); p++) {
            const int x = at + (int)(p - unsure);
            if (h[x] != last_h || v[x] != last_v)
                last_h = h[x], last_v = v[x], last = angle_rule(h[x], v[x]);
            ang[x] = (uint8_t)last;
        }
    }
}

} // namespace

void mag_and_ang_row(const SumRow &h, const SumRow &v, u16u *mag, uint8_t *ang, int n)
{
    with_sums(h, [&](auto *hs) { mag_and_ang_of(hs, static_cast<decltype(hs)>(v.data), mag, ang, n); });
}

// ---- maximum and minimum ---------------------------------------------------------------------

namespace {

SIM_PIXEL_LOOP inline uint8_t lo(uint8_t a, uint8_t b) { return a < b ? a : b; }
SIM_PIXEL_LOOP inline uint8_t hi(uint8_t a, uint8_t b) { return a > b ? a : b; }
SIM_PIXEL_LOOP inline uint8_t mid3(uint8_t a, uint8_t b, uint8_t c) { return hi(lo(a, b), lo(hi(a, b), c)); }

// out[x] = the extreme of p[i][x] (and of out[x] itself with kFold).
template <int N, bool kMax, bool kFold>
IVE_ROW_LOOP void extreme(const uint8_t *const *p, uint8_t *__restrict out, int n)
{
    const uint8_t *q[N];
    for (int i = 0; i < N; i++)
        q[i] = p[i];
    for (int x = 0; x < n; x++) {
        uint8_t v = q[0][x];
#pragma GCC unroll 5
        for (int i = 1; i < N; i++)
            v = kMax ? hi(v, q[i][x]) : lo(v, q[i][x]);
        if (kFold)
            v = kMax ? hi(v, out[x]) : lo(v, out[x]);
        out[x] = v;
    }
}

template <bool kMax, bool kFold> void extreme_n(int taps, const uint8_t *const *p, uint8_t *out, int n)
{
    with_taps(taps, [&](auto count) { extreme<decltype(count)::value, kMax, kFold>(p, out, n); });
}

void extreme_taps(bool maximum, bool fold, int taps, const uint8_t *const *p, uint8_t *out, int n)
{
    if (maximum)
        fold ? extreme_n<true, true>(taps, p, out, n) : extreme_n<true, false>(taps, p, out, n);
    else
        fold ? extreme_n<false, true>(taps, p, out, n) : extreme_n<false, false>(taps, p, out, n);
}

} // namespace

Extreme::Extreme(const uint8_t *mask, bool maximum, int w) : maximum_(maximum), w_(w)
{
    int rows = 0;
    for (int i = 0; i < 25; i++)
        if (mask[i])
            taps_[i / 5].push_back(i % 5);
    if (std::all_of(taps_, taps_ + 5, [](const std::vector<int> &t) { return t.empty(); }))
        taps_[2].push_back(2); // no byte set: the pixel itself
    // Separable when every row that takes part takes the same columns.
    const std::vector<int> *shape = nullptr;
    separable_ = true;
    for (const std::vector<int> &t : taps_) {
        if (t.empty())
            continue;
        rows++;
        if (shape && *shape != t)
            separable_ = false;
        shape = &t;
    }
    separable_ = separable_ && rows > 1;
    if (separable_)
        across_.resize((size_t)5 * w);
}

void Extreme::row(const RowWindow &win, int y, int h, uint8_t *out)
{
    // Every stream the row takes the extreme of: the window's rows at the
    // mask's columns, or the rows across which the columns are taken.
    const uint8_t *streams[25];
    int n = 0;
    for (int dy = 0; dy < 5; dy++) {
        const std::vector<int> &cols = taps_[dy];
        if (cols.empty())
            continue;
        const uint8_t *line = win.row(dy - 2);
        if (!separable_) {
            for (int c : cols)
                streams[n++] = line + c - 2;
            continue;
        }
        // One pass across each source row, kept for the rows below.
        const int source = std::clamp(y + dy - 2, 0, h - 1);
        uint8_t *across = &across_[(size_t)(source % 5) * w_];
        if (tag_[source % 5] != source) {
            const uint8_t *p[5];
            for (size_t i = 0; i < cols.size(); i++)
                p[i] = line + cols[i] - 2;
            extreme_taps(maximum_, false, (int)cols.size(), p, across, w_);
            tag_[source % 5] = source;
        }
        streams[n++] = across;
    }
    for (int done = 0; done < n; done += 5)
        extreme_taps(maximum_, done > 0, std::min(5, n - done), streams + done, out, w_);
}

// ---- median and binary patterns -----------------------------------------------------------------

namespace {

// Each column of three sorted: its low, middle and high value.
IVE_ROW_LOOP void sort_columns(const uint8_t *a, const uint8_t *b, const uint8_t *c, uint8_t *__restrict l,
                               uint8_t *__restrict m, uint8_t *__restrict u, int n)
{
    for (int x = 0; x < n; x++) {
        const uint8_t p = a[x], q = b[x], r = c[x];
        l[x] = lo(lo(p, q), r);
        u[x] = hi(hi(p, q), r);
        m[x] = mid3(p, q, r);
    }
}

// With the columns sorted, the median of nine is the middle of the largest
// low, the middle middle and the smallest high of the three columns.
IVE_ROW_LOOP void median_of_columns(const uint8_t *l, const uint8_t *m, const uint8_t *u, uint8_t *__restrict out,
                                    int n)
{
    for (int x = 0; x < n; x++) {
        const uint8_t a = hi(hi(l[x], l[x + 1]), l[x + 2]);
        const uint8_t b = mid3(m[x], m[x + 1], m[x + 2]);
        const uint8_t c = lo(lo(u[x], u[x + 1]), u[x + 2]);
        out[x] = mid3(a, b, c);
    }
}

// A pixel's neighbours clockwise from up-left (up-left, up, up-right,
// right, down-right, down, down-left, left) tested against its centre; bit
// k of the code for neighbour k. All in 8 bits: n - c >= t is
// sat(n - c) >= t for t > 0 and sat(n + (-t)) >= c for t <= 0; |n - c| is
// the larger less the smaller.
enum class Lbp { Above, Below, Absolute };

// Neighbour n's bit of the code: set when the test holds.
template <Lbp kTest> SIM_PIXEL_LOOP inline uint8_t lbp_bit(uint8_t n, uint8_t centre, uint8_t th, uint8_t bit)
{
    uint8_t left, right;
    if (kTest == Lbp::Above)
        left = n > centre ? n - centre : 0, right = th;
    else if (kTest == Lbp::Below)
        left = n + th > 255 ? 255 : n + th, right = centre;
    else
        left = hi(n, centre) - lo(n, centre), right = th;
    return (uint8_t)(left >= right) * bit;
}

template <Lbp kTest>
IVE_ROW_LOOP void lbp(const uint8_t *a, const uint8_t *b, const uint8_t *c, int t, uint8_t *__restrict out, int n)
{
    const uint8_t th = (uint8_t)(kTest == Lbp::Below ? -t : t);
    for (int x = 0; x < n; x++) {
        const uint8_t m = b[x];
        out[x] = lbp_bit<kTest>(a[x - 1], m, th, 1) | lbp_bit<kTest>(a[x], m, th, 2) |
                 lbp_bit<kTest>(a[x + 1], m, th, 4) | lbp_bit<kTest>(b[x + 1], m, th, 8) |
                 lbp_bit<kTest>(c[x + 1], m, th, 16) | lbp_bit<kTest>(c[x], m, th, 32) |
                 lbp_bit<kTest>(c[x - 1], m, th, 64) | lbp_bit<kTest>(b[x - 1], m, th, 128);
    }
}

} // namespace

void median3_row(const RowWindow &win, int w, uint8_t *out, std::vector<uint8_t> &work)
{
    const int n = w + 2;
    work.resize((size_t)3 * n);
    uint8_t *l = work.data(), *m = l + n, *u = m + n;
    sort_columns(win.row(-1) - 1, win.row(0) - 1, win.row(1) - 1, l, m, u, n);
    median_of_columns(l, m, u, out, w);
}

void lbp_row(const RowWindow &win, int w, uint32_t mode, int threshold, uint8_t *out)
{
    const uint8_t *a = win.row(-1), *b = win.row(0), *c = win.row(1);
    if (mode == 1)
        lbp<Lbp::Absolute>(a, b, c, threshold, out, w);
    else if (threshold > 0)
        lbp<Lbp::Above>(a, b, c, threshold, out, w);
    else
        lbp<Lbp::Below>(a, b, c, threshold, out, w);
}

} // namespace ive
} // namespace sim

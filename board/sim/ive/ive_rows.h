// The engine's neighbourhood work, one output row at a time: a window of
// source rows with the border replicated, and the kernels that make a row of
// results from it (correlation with a 5 x 5 mask, the gradients' magnitudes
// and angles, the maximum or minimum over a mask, the 3 x 3 median, local
// binary patterns). Each kernel is a plain loop over a row that the compiler
// vectorises; the values are the rules' in board/sim/ive/ive.h, bit for bit,
// whichever path computes them.
#pragma once

#include "board/sim/ive/ive.h"
#include "board/sim/video/video.h" // SIM_PIXEL_LOOP

#include <cstdint>
#include <functional>
#include <vector>

namespace sim {
namespace ive {

// A row loop of the engine: outside the sanitizers, and on x86-64 built
// for the baseline, AVX2 and AVX-512 alike, the host's processor choosing at
// load time.
#if defined(__x86_64__)
#define IVE_ROW_LOOP SIM_PIXEL_LOOP __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define IVE_ROW_LOOP SIM_PIXEL_LOOP
#endif

// Replicated pixels on each side of a window's rows.
constexpr int kPad = 2;

// The source rows around one output row, each padded by kPad replicated
// pixels on both sides; a ring of 2 x radius + 1 rows that slides down.
class RowWindow {
public:
    RowWindow(const Plane &src, uint32_t w, uint32_t h, int radius);
    // Source row y + dy of output row y (dy in [-radius, radius], the row
    // clamped into the picture); its pixel x at [x] for x in [-kPad, w + kPad).
    const uint8_t *row(int dy) const { return rows_[dy + radius_]; }
    // Slides to the next output row.
    void next();

private:
    void load(int source_row);
    uint8_t *slot(int source_row);

    Plane src_;
    int w_, h_, radius_, y_ = 0;
    size_t pw_;
    std::vector<uint8_t> ring_;
    const uint8_t *rows_[5];
};

// The sums of a correlation row, in the narrowest type that holds every
// sum the mask can make: signed 16 bits, unsigned 16 bits (a mask without
// negative weights), else 32 bits.
enum class SumType { S16, U16, S32 };
struct SumRow {
    SumType type;
    const void *data;
};
// Calls f with the row as a pointer to its element type.
template <class F> void with_sums(const SumRow &row, F f)
{
    if (row.type == SumType::S16)
        f(static_cast<const int16_t *>(row.data));
    else if (row.type == SumType::U16)
        f(static_cast<const uint16_t *>(row.data));
    else
        f(static_cast<const int32_t *>(row.data));
}

// A 5 x 5 mask ready for correlation, as given or transposed: a column
// vector times a row vector where it is their product (two short passes),
// else row by row.
struct MaskPlan {
    bool separable = false;
    int col[5] = {}, row[5] = {}; // separable: m[dy][dx] = col[dy] x row[dx]
    int m[25] = {};
    SumType sums = SumType::S32;
    bool narrow_columns = false; // the column pass of 32-bit sums fits 16 bits
};
MaskPlan plan_mask(const int8_t *mask, bool transposed);

// Work rows of a correlation: the column pass and the sums, per type.
struct CorrelationRows {
    std::vector<int16_t> s16[2];
    std::vector<uint16_t> u16[2];
    std::vector<int32_t> s32[2];
};

// The sums of m[dy][dx] x p(x + dx - 2, y + dy - 2) over the window's
// current output row y, x in [0, w); the row lives in `work`.
SumRow correlate(const RowWindow &win, const MaskPlan &plan, int w, CorrelationRows &work);

// MagAndAng's outputs (board/sim/ive/ive.h) of n pairs of H and V sums of
// one type: the magnitude |H| + |V| clipped to 65535 and, unless `ang` is
// null, the angle round(atan2(V, H) x 128 / pi) mod 256, 0 where both are 0.
void mag_and_ang_row(const SumRow &h, const SumRow &v, u16u *mag, uint8_t *ang, int n);

// H and V of a 5 x 5 mask (the mask as given and transposed) over a
// picture, one output row after another: put(y, h, v) with the row's w
// sums of each, null when not wanted. The picture is read as the rows come.
void gradient_rows(const Plane &src, uint32_t w, uint32_t h, const int8_t *mask, bool want_h, bool want_v,
                   const std::function<void(uint32_t, const SumRow *, const SumRow *)> &put);

// The maximum (or minimum) over the pixels of a 5 x 5 mask's non-zero
// bytes, one output row after another.
class Extreme {
public:
    Extreme(const uint8_t *mask, bool maximum, int w);
    // Output row y of the window (which must be at row y).
    void row(const RowWindow &win, int y, int h, uint8_t *out);

private:
    bool maximum_, separable_ = false;
    int w_;
    std::vector<int> taps_[5];    // per mask row, its columns
    std::vector<uint8_t> across_; // separable: per source row, the extreme across the columns
    int tag_[5] = {-1, -1, -1, -1, -1};
};

// The median of each pixel's 3 x 3 neighbourhood (a window of radius 1).
void median3_row(const RowWindow &win, int w, uint8_t *out, std::vector<uint8_t> &work);

// Local binary patterns of a row (a window of radius 1): bit k for
// neighbour k, mode 0 n - c >= threshold (signed), mode 1 |n - c| >= threshold.
void lbp_row(const RowWindow &win, int w, uint32_t mode, int threshold, uint8_t *out);

} // namespace ive
} // namespace sim

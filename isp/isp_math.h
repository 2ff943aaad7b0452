// Fixed-point helpers shared by the ISP modules and the 3A libraries.
#pragma once

#include "mpi/common/mpi_common.h"

// 2^(k/32) in 2.30 fixed point, k = 0..32 (the last entry saturated).
extern const u32 _pow2_lut[33];

u32 leading_one_position(u32 x);
u32 sqrt16(u32 x);
u32 log16(u32 x);
u32 Sqrt32(u32 x);
u32 math_log2(u32 x, u32 frac, u32 shift);
u32 log2_int_to_fixed(u32 x, u32 frac, u32 shift);
u32 math_exp2(u32 x, u32 frac, u32 shift);
s32 solving_lin_equation_a(s32 y1, s32 y0, s32 x1, s32 x0, u32 shift);
s32 solving_lin_equation_b(s32 y, s32 a, s32 x, u32 shift);
u32 div_fixed(u32 a, u32 b, u32 shift);
s32 solving_nth_root_045(s32 x, u32 shift);
s32 transition(const u32 *xs, const s32 *ys, u32 n, u32 x, u32 shift);

// The 16-point ISO grid of the per-ISO tables: 100 x 2^i, i = 0..15.
constexpr u32 ISP_ISO_POINTS = 16;
u32 isp_iso_grid(u32 i);

// Where an ISO falls on the grid: `lo` is the grid point at or below it
// (ISO below 100 counts as 100), `hi` = lo + 1; at or above the last point
// both are the last index.
struct IspIsoSegment {
    u32 lo;
    u32 hi;
    u32 iso; // the ISO as looked up (at least 100)
};
IspIsoSegment isp_iso_segment(u32 iso);

// Linear interpolation of a per-ISO table at an ISO, rounded to nearest:
// a +/- ((ISO - lo) x |b - a| + (hi - lo) / 2) / (hi - lo).
s32 isp_iso_interpolate(const u8 table[ISP_ISO_POINTS], u32 iso);

// The simulated image-analysis engine behind /dev/ive: what it computes.
//
// General rules
// - Planes are read and written at their physical addresses in the board's
//   memory; the user addresses in the records are never used.
// - Every plane a task touches must lie inside one allocation of the media
//   memory: (h - 1) x stride x element size + w x element size bytes from its
//   address (strides count elements of the image's type); every memory block
//   the bytes the operator uses. Otherwise the task is refused (-1, EFAULT)
//   before anything is read or written. Types, sizes and modes an operator
//   cannot work with are refused with EINVAL.
// - Element sizes: U8C1, S8C1, the planes of YUV420SP, YUV422SP (plane 1:
//   interleaved V, U bytes; h / 2 rows for 420, h rows for 422; an even
//   width, a chroma pair covering two pixels) and U8C3_PLANAR 1 byte;
//   S8C2_PACKAGE, S16C1, U16C1 2; U8C3_PACKAGE 3 (R, G, B); type 13 4;
//   type 15 8. Multi-byte elements are little-endian.
// - Only the w x h area of an output is written: stride padding stays as it
//   was. Outputs may share memory with inputs in any way: a task gives the
//   result it gives with separate buffers (sources are read first). Outputs
//   that overlap each other, or a block the task both reads and writes (a
//   model, CCL's picture), end as their later writes leave them.
// - Neighbourhood operators replicate the border: a coordinate outside the
//   image reads the nearest edge pixel.
// - Masks are 5 x 5, row-major, centred on the pixel; "H" applies the mask as
//   given (a correlation: sum of mask[dy][dx] x p(x + dx - 2, y + dy - 2)),
//   "V" applies its transpose (mask[dx][dy]).
// - A task runs to its end inside its submission; bInstant changes nothing.
//   Handles count from 0 modulo 0x10000000. A query of an issued handle
//   answers finished (1), with bBlock 0 or 1; any other handle: EINVAL.
//
// Operators
// - DMA: mode 0 copies the w x h bytes of the source to the destination.
//   Mode 1 copies, from the first line of every u8VerSegRows lines, the first
//   u8ElemSize bytes of every u8HorSegSize bytes, packed. Modes 2 and 3 fill
//   the source area with the low 3 bytes (mode 2) or the 8 bytes (mode 3) of
//   u64Val, little-endian, the pattern restarting at each line.
// - Filter: out = sum(mask x p) >> u8Norm (arithmetic shift, rounding down),
//   clipped to 0..255. YUV images: the luma plane is filtered, the chroma
//   plane copied.
// - CSC: modes 0-7 YUV to three channels, 8-11 three channels to YUV.
//   Bit 0 of the mode: 0 video range (Y 16-235, C 16-240), 1 full range;
//   bit 1: 0 BT.601, 1 BT.709; bit 2 (modes 4-7): B, G, R channel order in
//   place of R, G, B. Fixed point Q10, rounded to nearest, clipped to 0..255:
//     video range  R = (1192 (Y-16) + cr (V-128) + 512) >> 10, likewise G, B
//     BT.601 video: cr 1634, cg -401 (U) -832 (V), cb 2066
//     BT.601 full (Y unscaled, 1024): cr 1436, cg -352 -731, cb 1815
//     BT.709 video: cr 1836, cg -218 -546, cb 2163
//     BT.709 full: cr 1613, cg -192 -479, cb 1900
//   and the reverse, Y = (kr R + kg G + kb B + 512) >> 10 (+ 16 for video)
//     BT.601 video: Y 263 516 100; U -152 -298 450; V 450 -377 -73
//     BT.601 full:  Y 306 601 117; U -173 -339 512; V 512 -429 -83
//     BT.709 video: Y 187 629 63;  U -103 -347 450; V 450 -409 -41
//     BT.709 full:  Y 218 732 74;  U -117 -395 512; V 512 -465 -47
//   with 128 added to U and V. A 420 chroma sample takes the top-left pixel
//   of its 2 x 2 square, a 422 sample the left pixel of its pair; to three
//   channels each pixel uses the chroma sample that covers it.
// - FilterAndCSC: the luma plane filtered as Filter, then CSC mode enMode (0-3).
// - Sobel: S16 H and V of the mask, unscaled, clipped to -32768..32767.
// - MagAndAng: H and V as Sobel; magnitude |H| + |V| clipped to 65535 (U16);
//   angle round(atan2(V, H) x 128 / pi) mod 256 (U8: 0 = +H, 64 = +V), 0 where
//   both are 0.
// - Dilate / Erode: the maximum / minimum of the 5 x 5 pixels whose mask byte
//   is not 0 (the pixel itself when every byte is 0).
// - Thresh: bands lo = [0, low], mid = (low, high], hi = (high, 255]; modes 0-2
//   use only low (two bands). 0 min/max; 1 p/max; 2 min/p; 3 min/mid/max;
//   4 p/mid/max; 5 min/mid/p; 6 min/p/max; 7 p/mid/p (p the pixel itself).
// - Thresh_S16: bands as Thresh on signed values; modes 0, 2 min/mid/max,
//   modes 1, 3 min/p/max; S8 output for modes 0, 1 (un8*Val.s8Val), U8 for
//   modes 2, 3 (u8Val).
// - Thresh_U16: mode 0 min/mid/max, mode 1 min/p/max, U8 output.
// - And, Or, Xor: bitwise. Sub: mode 0 |a - b| (U8), mode 1 (a - b) >> 1 (S8,
//   arithmetic shift). Add: (X a + Y b + 32768) >> 16.
// - Integ: element (x, y) holds the sums over the pixels (i, j) with i <= x,
//   j <= y. enOutCtrl 0 (type 15): sum in bits 0-27, sum of squares in bits
//   28-63, each cut to its field; 1 (type 13): the 32-bit sum; 2 (type 15):
//   the 64-bit sum of squares.
// - Hist: 256 u32 bins of the w x h pixels into the first 1024 bytes.
// - 16BitTo8Bit: q = v x num / den, truncated toward zero. Mode 0 S16 to S8
//   clipped to -128..127; 1 |q| clipped to 0..255; 2 q + s8Bias clipped to
//   0..255; 3 U16 to U8, q clipped to 255.
// - OrdStatFilter: the median (0), maximum (1) or minimum (2) of the 3 x 3
//   neighbourhood.
// - Map: out = table[p], the table the first 256 bytes of the block.
// - NCC: three u64 into the first 24 bytes of the block: sum a x b, sum a x a,
//   sum b x b; the 8 bytes after them are written 0.
// - CCL: 8-connected components of the non-zero pixels. Components are found
//   in raster order of their first pixel; those smaller than the area
//   threshold (u16InitAreaThr, raised by u16Step while more than 254 remain)
//   are cleared to 0; the others are numbered 1.. in that order and their
//   pixels set to the number. The blob record (IVE_CCBLOB_S) gets the final
//   threshold, the count, each region's area and inclusive bounds, and
//   status 0, or -1 when the threshold would pass 65535 (then every pixel
//   is cleared and no region listed).
// - CannyHysEdge: H and V of the mask; magnitude |H| + |V|; direction 0
//   degrees when 10000 |V| <= 4142 |H|, 90 when 10000 |V| >= 24142 |H|, else
//   45 when H and V have the same sign and 135 otherwise; a pixel is a local
//   maximum when its magnitude is above that of the neighbour before it
//   along the direction and at least that of the one after it (0: left,
//   right; 45: up-left, down-right; 90: up, down; 135: up-right, down-left),
//   so that an edge between two equal pixels is one pixel wide; a neighbour
//   outside the picture is not compared. Map: 2 (edge) for a maximum above
//   u16HighThr, 0 (candidate) for a maximum above u16LowThr, 1 (no edge)
//   otherwise. Every
//   edge pixel goes on the stack in raster order as {u16 x, u16 y}; the point
//   count is the u32 at byte 4 x w x h. The work memory is not used.
// - LBP: bit k of the output is set for neighbour k (0 up-left, then
//   clockwise: up, up-right, right, down-right, down, down-left, left) when
//   mode 0: n - c >= s8Val; mode 1: |n - c| >= u8Val.
// - NormGrad: H and V of the mask, >> u8Norm (rounding down), clipped to
//   -128..127 (S8); mode 3 writes H, V pairs.
// - SAD: per b x b block the sum of |a - b|. 16-bit output: the sum; 8-bit:
//   the sum clipped to 255. Threshold output: u8MaxVal where the SAD (as
//   written, 16-bit when no SAD image is written) is at least u16Thr, else
//   u8MinVal.
// - EqualizeHist: out = (cdf(p) x 255 + n / 2) / n, n = w x h, cdf(v) the
//   number of pixels <= v. The work memory gets the 256 u32 bins, then the
//   256-byte table.
// - STCandiCorner: gradients by the 3 x 3 Sobel masks; per pixel the 3 x 3
//   window sums a = sum Gx^2, b = sum Gx Gy, c = sum Gy^2, the response
//   R = ((a + c) - sqrt((a - c)^2 + 4 b^2)) / 2 (the smaller eigenvalue).
//   With M the largest R, a pixel is a candidate when R > 0, R >= M x
//   u0q8QualityLevel / 256 and R is not below any of its 8 neighbours; it is
//   written as max(1, round(255 R / M)), every other pixel as 0. The work
//   memory is not used.
//
// Model operators (simplified, deterministic; fields not named below are
// passed on and not used)
// - GMM: per pixel u8ModeNum (3 or 5) modes, packed pixel after pixel in the
//   model block, each mode {u16 weight Q0.16; u16 mean Q8.8 (three, R, G, B,
//   for U8C3_PACKAGE); u24 variance Q14.10} (7 or 11 bytes); all zero is an
//   empty model. The squared distance d2 (Q10) of the pixel to a mode is the
//   sum over its channels of ((v << 8) - mean)^2 >> 6. The first mode in
//   stored order with weight > 0 and d2 x 256 <= u8q8VarThr x variance
//   matches: its weight gains ((65536 - w) x lr) >> 16 (at most 65535), its
//   mean and variance move by (lr x (target - value) + 32768) >> 16 (the
//   variance towards d2, then kept in [u22q10MinVar, u22q10MaxVar]); every
//   other mode with weight loses (w x lr + 32768) >> 16. With no match every
//   mode loses weight so, and the first empty mode (else the lightest, the
//   first of equals) restarts: weight u0q16InitWeight, mean the pixel,
//   variance u22q10NoiseVar kept in [MinVar, MaxVar]. The modes are then
//   sorted by weight, heaviest first (stable). The background modes are the
//   fewest leading ones whose weights reach u0q16BgRatio / 65536 of the total;
//   the foreground output is 0 when the pixel matched a background mode,
//   else 255. The background output is the heaviest mode's mean, rounded
//   ((mean + 128) >> 8).
// - LKOpticalFlow: one pyramid level. Points (pstPoint) are {s32 x, s32 y}
//   with 7 fraction bits; the motion list (pstMv) gets per point {s32
//   status: 0 tracked, -1 lost; s16 dx, s16 dy, 7 fraction bits}. Around a
//   point the 9 x 9 window of the previous picture I is sampled bilinearly
//   (the border replicated), as are its gradients (I(x+1) - I(x-1)) / 2.
//   G = sum [Ix^2, IxIy; IxIy, Iy^2]; a point is lost when it lies outside
//   the picture or the smaller eigenvalue of G / 81 is below
//   u0q8MinEigThr / 256. From v = 0, up to u8IterCount times: b = sum
//   (I(p) - J(p + v)) [Ix, Iy] with J the current picture, v += G^-1 b,
//   stopping once both components of the step are below u0q8Epsilon / 256
//   pixel; a point whose p + v leaves the picture is lost. Lost points get
//   a zero motion. Computed in double precision; the motion is rounded to
//   7 fraction bits and kept in the s16 range.
// - GradFg: per pixel the current gradient c and the background gradient
//   g (S8 pairs), their L1 magnitudes mc, mg and D = |mc - mg|. They differ
//   when max(mc, mg) > u8NoiseVal, and (with u8EdwDark 0) mc > u8NoiseVal,
//   and either they are not correlated (c . g <= 0 or 100^2 (c . g)^2 <
//   u8CrlCoefThr^2 |c|^2 |g|^2) or, correlated, D > u8MagCrlThr and
//   D x 1000 >= u8MinMagDiff x u16EdwFactor. Output 255 where they differ and
//   (mode 0) the background difference (pstBgDiffFg) is not 0, or (mode 1)
//   regardless of it; else 0.
// - MatchBgModel / UpdateBgModel: the model holds 24 bytes per pixel, row y
//   at y x stride, pixel x at 24 x: {u16 background Q8.8; u8 last value; u8
//   flags (bit 0 set once initialised); u8 candidate value; u8 difference
//   threshold; u16 reserved; u32 background time; u32 candidate time; u32
//   foreground time; u32 frame of the last match}, times in frames.
//   Match, n = u32CurFrmNum - u32PreFrmNum: an uninitialised pixel takes
//   the pixel as background, last value and candidate, the threshold
//   u8DiffMinThr, and gives 0 outputs. Otherwise with t the threshold kept in
//   [u8DiffMinThr, u8DiffMaxThr], b the rounded background, the background
//   difference v - b and the frame difference v - last: the pixel is
//   foreground (flag 255, else 0) when |v - b| > t; the background difference
//   output is v - b (clipped to S8) for a foreground pixel, else 0; the frame
//   difference output v - last when |v - last| > t, else 0. Then t drops by
//   1 after a match and rises by u8DiffThrInc after a miss (kept in the
//   range); a match adds n to the background time and zeroes the foreground
//   time and the candidate (candidate = v, time 0); a miss adds n to the
//   foreground time and, when |v - candidate| <= t, n to the candidate time,
//   else makes v the candidate with time 0; the last value becomes v and
//   the frame the current one. Statistics (16 bytes): u32 foreground pixels,
//   u32 background pixels, u32 u32CurFrmNum, u32 sum of |v - b| over the
//   foreground.
//   Update, for initialised pixels (others output 0): a background pixel
//   (flag 0) blends its background towards the last value by
//   (last x 256 - bg) / k, k its background time kept in
//   [u32StyBgMinBlendTime, u32StyBgMaxBlendTime] (a quarter of that, at
//   least 1, with u8AcceBgLearn 1), rounding toward zero; a foreground pixel
//   whose candidate time reached u32StaticDetMinTime takes the candidate as
//   its background (a still object joins the background; the background and
//   candidate times restart at 0). The background image is the rounded
//   background. With u8DetChgRegion 1, for foreground pixels the change
//   images get the candidate value (U8), candidate - background (S8,
//   clipped) and the candidate time (U16, at most 65535), 0 elsewhere.
//   Statistics: u32 pixels that took their candidate, u32 pixels blended,
//   u32 u32CurFrmNum, u32 0.
// - ANN_MLP_Predict: source values s32 with 16 fraction bits, one per input
//   neuron; weights 24-bit signed with 16 fraction bits in the loaders'
//   order (an input's scale a and offset b: (a x >> 16) + b; per neuron its
//   weights then its bias; an output's scale and offset likewise). A
//   neuron's value is its weight x input products summed in 64 bits, shifted
//   right by 16 (rounding down), plus its bias, cut to the s32 range; hidden
//   and output neurons then go through the activation: 0 identity, 1 the
//   odd, 2 the even function of the table. The table's 2-byte signed
//   elements hold f at |s| = i / 2^u8TabInPreci (the last element beyond its
//   end), worth element << u8TabOutNorm with 16 fraction bits, negated for
//   the odd function at s < 0. One s32 (16 fraction bits) per output neuron.
//   u32TotalWeightSize must be 3 x the network's weight count.
// - SVM_Predict: source values and support vectors (24-bit signed, 16
//   fraction bits) as ANN; t = the dot product of source and vector (64-bit
//   sum, >> 16), or for kernel 2 (RBF) minus the sum of the squared
//   differences (each >> 16). Kernel 0 (linear) is t itself; kernels 1-3 the
//   table element at (t - s32TabInLower) x 2^u8TabInPreci (kept inside the
//   table), worth element << u8TabOutNorm. Each decision function
//   (ive_requests.h): d = (sum alpha x K >> 16) - rho, summed without
//   overflow; d > 0 votes for the first class of its pair, else the second.
//   One u16 vote count per class. enType is not used.
// - Both refuse (EINVAL) a table with u8TabOutNorm above 16 or an input
//   precision above 16, a model whose counts its checks would refuse, and an
//   SVM model whose decision functions run past u32TotalDfSize or name a
//   vector that is not there.
#pragma once

#include "ive/ive_requests.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace sim {
namespace ive {

// Multi-byte elements at any address (planes may start anywhere), for the
// row loops.
typedef int16_t s16u __attribute__((aligned(1), may_alias));
typedef uint16_t u16u __attribute__((aligned(1), may_alias));
typedef uint32_t u32u __attribute__((aligned(1), may_alias));
typedef uint64_t u64u __attribute__((aligned(1), may_alias));

// Unaligned little-endian loads and stores: planes may sit at any address.
template <class T> inline T ld(const uint8_t *p)
{
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}
template <class T> inline void st(uint8_t *p, T v) { memcpy(p, &v, sizeof v); }

// One plane in the board's memory.
struct Plane {
    uint8_t *data = nullptr;
    size_t pitch = 0; // bytes per line
    uint32_t rows = 0;
    size_t bytes = 0; // from data to the end of its last element
    uint8_t *row(uint32_t y) const { return data + y * pitch; }
};

// An image the engine may touch: every plane of its type checked.
struct Image {
    uint32_t type = 0, w = 0, h = 0, elem = 1;
    Plane p[3];
};

// Resolves a descriptor whose type is one of `types` (0 when any): 0,
// EINVAL or EFAULT.
int image(const IVE_IMG_DESC_S &d, Image *out, std::initializer_list<uint32_t> types);
// A memory block of which the operator uses `need` bytes.
int memory(const IVE_MEM_BLOCK_S &m, uint64_t need, uint8_t **out);
// A byte area (DMA).
int area(const IVE_DATA_DESC_S &d, Plane *out);

inline bool same_size(const Image &a, const Image &b) { return a.w == b.w && a.h == b.h; }
// Resolves a descriptor of one of `types` the size of `ref`.
int sized(const IVE_IMG_DESC_S &d, std::initializer_list<uint32_t> types, const Image &ref, Image *out);

// A memory block's `need` bytes as a plane of one line.
inline Plane span(uint8_t *data, uint64_t need) { return {data, (size_t)need, 1, (size_t)need}; }

// The sources of a task as it reads them. Outputs may share memory with
// inputs: a source plane that one of the task's outputs overlaps is read
// from a packed copy taken before anything is written; the others in place.
class Sources {
public:
    Sources() = default;
    explicit Sources(std::initializer_list<Plane> outputs) : outputs_(outputs) {}
    // Every plane of `img`, each in place or copied.
    Image read(const Image &img);
    // One plane of `row_bytes` bytes a line.
    Plane read(const Plane &p, size_t row_bytes);

private:
    std::vector<Plane> outputs_;
    std::vector<std::vector<uint8_t>> copies_;
};

// A byte plane's w x rows area as a packed copy, so that outputs may
// overwrite their sources.
std::vector<uint8_t> copy_u8(const Image &img, int plane = 0);

// A byte image with a border of r replicated pixels around it.
struct Padded {
    std::vector<uint8_t> px;
    int w = 0, h = 0, r = 0, pw = 0;
    Padded(const Image &img, int radius);
    // Pixel (x, y) for x in [-r, w + r), y in [-r, h + r).
    const uint8_t *at(int x, int y) const { return &px[(size_t)(y + r) * pw + (x + r)]; }
};

// Each operator: 0 or an errno value.
int op_dma(const IVE_DMA_REQ_S &b);
int op_filter(const IVE_FILTER_REQ_S &b);
int op_csc(const IVE_CSC_REQ_S &b);
int op_filter_and_csc(const IVE_FILTER_AND_CSC_REQ_S &b);
int op_sobel(const IVE_SOBEL_REQ_S &b);
int op_mag_and_ang(const IVE_MAG_AND_ANG_REQ_S &b);
int op_dilate(const IVE_DILATE_REQ_S &b);
int op_erode(const IVE_ERODE_REQ_S &b);
int op_thresh(const IVE_THRESH_REQ_S &b);
int op_and(const IVE_BINARY_REQ_S &b);
int op_or(const IVE_BINARY_REQ_S &b);
int op_xor(const IVE_BINARY_REQ_S &b);
int op_sub(const IVE_SUB_REQ_S &b);
int op_add(const IVE_ADD_REQ_S &b);
int op_integ(const IVE_INTEG_REQ_S &b);
int op_hist(const IVE_HIST_REQ_S &b);
int op_thresh_s16(const IVE_THRESH_S16_REQ_S &b);
int op_thresh_u16(const IVE_THRESH_U16_REQ_S &b);
int op_16bit_to_8bit(const IVE_16BIT_TO_8BIT_REQ_S &b);
int op_ord_stat_filter(const IVE_ORD_STAT_FILTER_REQ_S &b);
int op_map(const IVE_MAP_REQ_S &b);
int op_equalize_hist(const IVE_EQUALIZE_HIST_REQ_S &b);
int op_ncc(const IVE_NCC_REQ_S &b);
int op_ccl(const IVE_CCL_REQ_S &b);
int op_canny_hys_edge(const IVE_CANNY_HYS_EDGE_REQ_S &b);
int op_lbp(const IVE_LBP_REQ_S &b);
int op_norm_grad(const IVE_NORM_GRAD_REQ_S &b);
int op_sad(const IVE_SAD_REQ_S &b);
int op_st_candi_corner(const IVE_ST_CANDI_CORNER_REQ_S &b);
int op_gmm(const IVE_GMM_REQ_S &b);
int op_lk_optical_flow(const IVE_LK_OPTICAL_FLOW_REQ_S &b);
int op_grad_fg(const IVE_GRAD_FG_REQ_S &b);
int op_match_bg_model(const IVE_MATCH_BG_MODEL_REQ_S &b);
int op_update_bg_model(const IVE_UPDATE_BG_MODEL_REQ_S &b);
int op_ann_mlp_predict(const IVE_ANN_MLP_PREDICT_REQ_S &b);
int op_svm_predict(const IVE_SVM_PREDICT_REQ_S &b);

} // namespace ive
} // namespace sim

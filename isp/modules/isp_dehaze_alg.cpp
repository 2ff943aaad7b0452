// The dehaze module's stages: the block minima adapted to sky and road
// scenes, mapped through the strength curve and filtered in time, blurred
// 5 x 5, the air light from the brightest blocks with its history, the next
// curve and the strength; and the tuning tables they use.
#include "isp/modules/isp_dehaze.h"

#include "isp/mpi_isp.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstring>

namespace {

// ---- the tables -----------------------------------------------------------------------------

// Curve r at dark value x: 255 x (1 - (x / 255)^p_r), so every curve starts
// at 255 and falls to 0 at 255, later curves later. The exponent moves
// through these rows (log-linear between them), which put 39, 40, 56 and
// 158 at x = 240 in rows 0, 1, 15 and 31.
struct CurveAnchor {
    u32 row;
    double power;
};
constexpr CurveAnchor kCurveAnchors[] = {{0, 2.74}, {1, 2.815}, {15, 4.09}, {31, 15.94}};

double curve_power(u32 row)
{
    for (size_t i = 1; i < sizeof kCurveAnchors / sizeof kCurveAnchors[0]; i++) {
        const CurveAnchor &a = kCurveAnchors[i - 1], &b = kCurveAnchors[i];
        if (row <= b.row) {
            const double f = (double)(row - a.row) / (b.row - a.row);
            return std::exp((1 - f) * std::log(a.power) + f * std::log(b.power));
        }
    }
    return kCurveAnchors[3].power;
}

using Curves = std::array<std::array<u8, DEHAZE_CURVE_LEN>, DEHAZE_CURVE_NUM>;

const Curves &curves()
{
    static const Curves table = [] {
        Curves t;
        for (u32 r = 0; r < DEHAZE_CURVE_NUM; r++) {
            const double p = curve_power(r);
            for (u32 x = 0; x < DEHAZE_CURVE_LEN; x++)
                t[r][x] = (u8)std::lround(255 * (1 - std::pow(x / 255.0, p)));
        }
        return t;
    }();
    return table;
}

// About half the dark value below 200, then up to 180 at 255.
constexpr std::array<u8, 256> make_road()
{
    std::array<u8, 256> t = {};
    for (u32 x = 0; x < 256; x++)
        t[x] = (u8)(x < 200 ? (x + 1) / 2 : 100 + ((x - 199) * 80 + 28) / 56);
    return t;
}
constexpr std::array<u8, 256> kRoad = make_road();

// Sky dark values 101..255 held to 100..200: the first five one for one,
// then evenly to 200.
constexpr std::array<u8, DEHAZE_SKY_LEN> make_sky()
{
    std::array<u8, DEHAZE_SKY_LEN> t = {};
    for (u32 i = 0; i < DEHAZE_SKY_LEN; i++)
        t[i] = (u8)(i < 5 ? 100 + i : 106 + ((i - 5) * 94 + 75) / 150);
    return t;
}
constexpr std::array<u8, DEHAZE_SKY_LEN> kSky = make_sky();

// By the average dark value: 1x for a clear scene, rising to 2x (255) from
// 226 on.
constexpr std::array<u8, 256> make_strength()
{
    std::array<u8, 256> t = {};
    const u8 start[] = {128, 128, 128, 128, 128, 128, 131, 138, 147, 155, 160};
    for (u32 x = 0; x < 256; x++)
        t[x] = (u8)(x <= 10 ? start[x] : x >= 226 ? 255 : 160 + ((x - 10) * 94 + 107) / 215);
    return t;
}
constexpr std::array<u8, 256> kStrength = make_strength();

// ---- the stages' small pieces -----------------------------------------------------------------

// The scene's rows [first, first + count): their sum and how many are not 0.
void row_sum(const u8 *m, u32 H, u32 first, u32 count, u32 *sum, u32 *nonzero)
{
    *sum = *nonzero = 0;
    for (u32 i = first * H; i < (first + count) * H; i++) {
        *sum += m[i];
        *nonzero += m[i] != 0;
    }
}

u32 channel_sum(const u16 a[3]) { return a[0] + a[1] + a[2]; }

// The blur's taps over five values around `at`, clamped to [0, n).
u8 blur5(const u8 *in, s32 at, s32 n, s32 stride, const u8 k[5])
{
    u16 sum = 0;
    for (s32 t = -2; t <= 2; t++)
        sum = (u16)(sum + k[t + 2] * in[std::clamp(at + t, 0, n - 1) * stride]);
    return (u8)(sum / 64);
}

} // namespace

const u8 *dehaze_curve(u32 u32Idx) { return curves()[std::min<u32>(u32Idx, DEHAZE_CURVE_NUM - 1)].data(); }
const u8 *dehaze_road_table(void) { return kRoad.data(); }
const u8 *dehaze_sky_table(void) { return kSky.data(); }
const u8 *dehaze_strength_table(void) { return kStrength.data(); }

// ---- the debug dump ----------------------------------------------------------------------------

void dehaze_dump_printf(DEHAZE_DUMP_S *pstDump, const char *fmt, ...)
{
    if (!pstDump || !pstDump->pFile)
        return;
    va_list ap;
    va_start(ap, fmt);
    int n = vfprintf(pstDump->pFile, fmt, ap);
    va_end(ap);
    if (n > 0)
        pstDump->u32Bytes += (u32)n;
}

void dehaze_dump_grid32(DEHAZE_DUMP_S *pstDump, const char *label, const u32 *pu32Values, u32 n, u32 per_line,
                        bool hex)
{
    if (!pstDump || !pstDump->pFile)
        return;
    dehaze_dump_printf(pstDump, "%s\n", label);
    for (u32 i = 0; i < n; i++)
        dehaze_dump_printf(pstDump, hex ? "%8x%s" : "%8d%s", pu32Values[i],
                           (i + 1) % per_line == 0 || i + 1 == n ? "\n" : "");
}

void dehaze_dump_grid(DEHAZE_DUMP_S *pstDump, const char *label, const u8 *pu8Values, u32 n, u32 per_line)
{
    if (!pstDump || !pstDump->pFile)
        return;
    u32 wide[DEHAZE_CURVE_LEN];
    n = std::min<u32>(n, DEHAZE_CURVE_LEN);
    for (u32 i = 0; i < n; i++)
        wide[i] = pu8Values[i];
    dehaze_dump_grid32(pstDump, label, wide, n, per_line, false);
}

// ---- the stages ---------------------------------------------------------------------------------

void dehaze_unpack(const u32 *pu32Words, u32 n, u8 *pu8Out)
{
    for (u32 i = 0; i < n; i++)
        pu8Out[i] = (u8)(pu32Words[i / 4] >> (24 - 8 * (i % 4)));
}

void dehaze_pack(const u8 *pu8In, u32 n, u32 *pu32Words)
{
    memset(pu32Words, 0, dehaze_words(n) * sizeof(u32));
    for (u32 i = 0; i < n; i++)
        pu32Words[i / 4] |= (u32)pu8In[i] << (24 - 8 * (i % 4));
}

void dehaze_ctx_init(DEHAZE_CTX_S *pstCtx)
{
    memset(pstCtx, 0, sizeof *pstCtx);
    const u8 kernel[5] = {10, 10, 24, 10, 10};
    memcpy(pstCtx->au8Kernel, kernel, sizeof kernel);
    pstCtx->u8H = DEHAZE_H_MAX;
    pstCtx->u8V = DEHAZE_V_MAX;
    pstCtx->u8ManualStrength = 240;
    pstCtx->u8AutoFactor = 128;
    pstCtx->u8CurveGain = 128;
    pstCtx->u16RateUp = 8;
    pstCtx->u16RateDown = 64;
}

// A road under a clear sky lifts the lower rows' dark values; a bright sky
// above dark ground has its own held down: neither is haze.
void MinAdaptCurve(u8 *pu8Min, u32 H, u32 V, DEHAZE_DUMP_S *pstDump)
{
    constexpr u32 kRows = 5, kBright = 91, kDark = 24, kSkyFrom = 101;
    u32 down_sum = 0, down_count = 0, up_sum = 0, up_count = 0;
    if (V >= kRows) {
        row_sum(pu8Min, H, V - kRows, kRows, &down_sum, &down_count);
        row_sum(pu8Min, H, 0, kRows, &up_sum, &up_count);
    }
    const u32 aver_down = down_count ? down_sum / down_count : down_sum;
    const u32 aver_up = up_sum / std::max<u32>(up_count, 1);
    if (aver_down >= kBright && down_count > 5 * H / 2 && aver_up <= kDark) {
        for (u32 i = V / 2 * H; i < V * H; i++)
            pu8Min[i] = kRoad[pu8Min[i]];
        dehaze_dump_printf(pstDump, "road scene\n");
    } else if (aver_up >= kBright && aver_down <= kDark && up_count > 5 * H / 2) {
        for (u32 i = 0; i < V * H; i++)
            if (pu8Min[i] >= kSkyFrom)
                pu8Min[i] = kSky[pu8Min[i] - kSkyFrom];
        dehaze_dump_printf(pstDump, "sky scene\n");
    }
    dehaze_dump_printf(pstDump, "MinAverUp = %d,MinCountUp = %d,MinAverDown = %d,MinCountDown = %d\n", aver_up,
                       up_count, aver_down, down_count);
    dehaze_dump_grid(pstDump, "MinAdapt: ", pu8Min, H * V, H);
}

// Each block's minimum through the curve, then into its history: quickly
// down towards a darker block, slowly up towards a lighter one.
void tmpr_min_flt(DEHAZE_CTX_S *pstCtx, u8 *pu8Min, u32 n, const u8 *pu8Curve)
{
    constexpr u32 kOne = 256;
    for (u32 i = 0; i < n; i++) {
        const u32 m = pu8Curve[pu8Min[i]] * pu8Min[i] / kOne;
        pu8Min[i] = (u8)m;
        u16 &h = pstCtx->au16History[i];
        if (!pstCtx->bHistoryValid) {
            h = (u16)(m * kOne);
            continue;
        }
        const u32 old = h / kOne;
        const u32 d = old > m ? old - m : m - old;
        const u32 rate = old > m ? pstCtx->u16RateDown : pstCtx->u16RateUp;
        // A rate above 256 would weigh the new value more than all of it.
        u32 k = std::min(rate * d / kOne, kOne);
        if (rate * d < kOne)
            k = d;
        h = (u16)((m * kOne * k + h * (kOne - k)) / kOne);
    }
}

void v_blur_flt_5x1(const u8 *pu8In, u8 *pu8Out, u32 H, u32 V, const u8 au8Kernel[5])
{
    for (u32 r = 0; r < V; r++)
        for (u32 c = 0; c < H; c++)
            pu8Out[r * H + c] = blur5(pu8In + c, (s32)r, (s32)V, (s32)H, au8Kernel);
}

void h_blur_flt_1x5(const u8 *pu8In, u8 *pu8Out, u32 H, u32 V, const u8 au8Kernel[5])
{
    for (u32 r = 0; r < V; r++)
        for (u32 c = 0; c < H; c++)
            pu8Out[r * H + c] = blur5(pu8In + r * H, (s32)c, (s32)H, 1, au8Kernel);
}

void get_a(DEHAZE_CTX_S *pstCtx, const u8 *pu8Dark, const u32 *pu32Max, u32 n, DEHAZE_DUMP_S *pstDump)
{
    constexpr u32 kLast = DEHAZE_AIR_HISTORY - 1;
    auto &hist = pstCtx->au16AirHistory;
    if (pstCtx->u8Enable) {
        memmove(hist[1], hist[0], kLast * sizeof hist[0]);
        memset(hist[0], 0, sizeof hist[0]);
        pstCtx->u32AirCount++;
    }

    // The brightest dark value in each quarter of the blocks (by index
    // modulo 4), then the brightest colour of the better of two pairs.
    u32 tmax[4] = {}, index[4] = {};
    for (u32 i = 0; i < n; i++)
        if (pu8Dark[i] > tmax[i % 4]) {
            tmax[i % 4] = pu8Dark[i];
            index[i % 4] = i;
        }
    u32 sum[4];
    for (u32 j = 0; j < 4; j++) {
        const u32 m = pu32Max[index[j]];
        sum[j] = (m >> 16 & 0xFF) + (m >> 8 & 0xFF) + (m & 0xFF);
    }
    const u32 w = std::max(sum[0], sum[1]) > std::max(sum[2], sum[3]) ? (sum[0] > sum[1] ? 0 : 1)
                                                                       : (sum[2] > sum[3] ? 2 : 3);
    pstCtx->u8DarkAtAir = pu8Dark[index[w]];
    const u32 m = pu32Max[index[w]];
    u16 cur[3] = {(u16)(m >> 16 & 0xFF), (u16)(m >> 8 & 0xFF), (u16)(m & 0xFF)};
    dehaze_dump_printf(pstDump, "tmax0 = %d,tmax1 = %d,tmax2 = %d,tmax3 = %d\n", tmax[0], tmax[1], tmax[2], tmax[3]);
    dehaze_dump_printf(pstDump, "index0=%d,index1 = %d,index2=%d,index3=%d\n", index[0], index[1], index[2], index[3]);
    dehaze_dump_printf(pstDump, "d0_a_sum = %d,d1_a_sum = %d,d2_a_sum = %d,d3_a_sum = %d\n", sum[0], sum[1], sum[2],
                       sum[3]);
    dehaze_dump_printf(pstDump, "tmp=%x,a_index=%d\n", m, index[w]);
    dehaze_dump_printf(pstDump, "u16CurrA[0]=%d  u16CurrA[1]=%d  u16CurrA[2]=%d\n", cur[0], cur[1], cur[2]);

    // With a full history: the mean of the current light and the last
    // eleven but their brightest and darkest, moving by one a frame at most.
    u16 a[3] = {cur[0], cur[1], cur[2]};
    if (pstCtx->u32AirCount > kLast) {
        u32 hi = 1, lo = 1;
        for (u32 e = 1; e <= kLast; e++) {
            if (channel_sum(hist[e]) > channel_sum(hist[hi]))
                hi = e;
            if (channel_sum(hist[e]) <= channel_sum(hist[lo]))
                lo = e;
        }
        for (u32 ch = 0; ch < 3; ch++) {
            u32 total = cur[ch];
            for (u32 e = 1; e <= kLast; e++)
                if (e != hi && e != lo)
                    total += hist[e][ch];
            const s32 mean = (s32)(total / (kLast - 1)), prev = hist[1][ch];
            a[ch] = (u16)std::clamp(mean, prev - 1, prev + 1);
        }
    }
    for (u32 ch = 0; ch < 3; ch++) {
        pstCtx->au8Air[ch] = (u8)std::min<u16>(a[ch], 255);
        hist[0][ch] = a[ch];
    }
    for (u32 e = 0; e < 7; e++)
        dehaze_dump_printf(pstDump, "AirPre[%d][0] = %d,AirPre[%d][1] = %d,AirPre[%d][2] = %d\n", e, hist[e][0], e,
                           hist[e][1], e, hist[e][2]);
    dehaze_dump_printf(pstDump, "a[0] = %d,a[1] = %d,a[2] = %d\n", a[0], a[1], a[2]);
}

bool gen_curve(DEHAZE_CTX_S *pstCtx, DEHAZE_DUMP_S *pstDump)
{
    constexpr u32 kFrom = 100, kTo = 225;
    const u32 v = (pstCtx->u8DarkAtAir * pstCtx->u8CurveGain / 256) & ~3u;
    const u32 target = v < kFrom ? 0 : v < kTo ? (v - kFrom) / 4 : DEHAZE_CURVE_NUM - 1;
    const u32 idx = pstCtx->u8CurveIdx;
    // One step below the target is close enough: the curve doesn't flicker.
    const bool changed = idx != target && idx + 1 != target;
    if (changed)
        pstCtx->u8CurveIdx = (u8)target;
    dehaze_dump_printf(pstDump, "curve_idx = %d\n", pstCtx->u8CurveIdx);
    return changed;
}

u8 dehaze_strength(const DEHAZE_CTX_S *pstCtx, const u8 *pu8Dark, u32 *pu32Aver, u32 *pu32Count, u32 *pu32Sum)
{
    *pu32Aver = *pu32Count = *pu32Sum = 0;
    if (pstCtx->u8OpType == OP_TYPE_MANUAL)
        return pstCtx->u8ManualStrength;
    // The middle half of the blocks; a grid of one or two blocks has only its last.
    const u32 H = pstCtx->u8H, V = pstCtx->u8V, n = H * V;
    const u32 first = (n + 2) / 4, last = std::min((3 * n + 2) / 4, n - 1);
    u32 sum = 0, count = 0;
    for (u32 q = first; q <= last; q++) {
        sum += pu8Dark[q];
        count += pu8Dark[q] != 0;
    }
    u32 aver = count ? sum / count : 0;
    if (count < n / 4) {
        const u32 middle = ((3 * V + 2) / 4 - (V + 2) / 4) * H;
        aver = middle ? aver * count / middle : 0;
    }
    *pu32Aver = aver;
    *pu32Count = count;
    *pu32Sum = sum;
    const u32 product = kStrength[std::min<u32>(aver, 255)] * pstCtx->u8AutoFactor;
    return product >= 32768 ? 255 : (u8)(product / 128);
}

void dehaze_frame(DEHAZE_CTX_S *pstCtx, const u32 *pu32MinWords, const u32 *pu32Max, u32 u32FrameCnt,
                  DEHAZE_FRAME_S *pstFrame, DEHAZE_DUMP_S *pstDump)
{
    const u32 H = pstCtx->u8H, V = pstCtx->u8V, n = H * V;
    dehaze_dump_printf(pstDump, "framenum = %8d\n", u32FrameCnt);
    dehaze_unpack(pu32MinWords, n, pstFrame->au8Min);
    dehaze_dump_grid(pstDump, "au8DehazeMinDout: ", pstFrame->au8Min, n, H);
    const u8 *curve = dehaze_curve(pstCtx->u8CurveIdx);
    dehaze_dump_grid(pstDump, "LUT: ", curve, DEHAZE_CURVE_LEN, 16);

    MinAdaptCurve(pstFrame->au8Min, H, V, pstDump);
    tmpr_min_flt(pstCtx, pstFrame->au8Min, n, curve);
    u8 history[DEHAZE_BLOCK_MAX];
    for (u32 i = 0; i < n; i++)
        history[i] = (u8)(pstCtx->au16History[i] >> 8);
    dehaze_dump_grid(pstDump, "tmpr_min_flt: ", history, n, H);
    v_blur_flt_5x1(history, pstFrame->au8VBlur, H, V, pstCtx->au8Kernel);
    dehaze_dump_grid(pstDump, "v_blur_flt_dout: ", pstFrame->au8VBlur, n, H);
    h_blur_flt_1x5(pstFrame->au8VBlur, pstFrame->au8Dark, H, V, pstCtx->au8Kernel);
    dehaze_dump_grid(pstDump, "pre_dc: ", pstFrame->au8Dark, n, H);

    get_a(pstCtx, pstFrame->au8Dark, pu32Max, n, pstDump);
    pstFrame->bCurveChanged = gen_curve(pstCtx, pstDump);
    u32 aver, count, sum;
    pstFrame->u8Strength = dehaze_strength(pstCtx, pstFrame->au8Dark, &aver, &count, &sum);

    dehaze_dump_grid32(pstDump, "max_stat: ", pu32Max, n, H, true);
    dehaze_dump_printf(pstDump, "flt_a[0] = %d,flt_a[1] = %d,flt_a[2] = %d\n", pstCtx->au8Air[0], pstCtx->au8Air[1],
                       pstCtx->au8Air[2]);
    dehaze_dump_printf(pstDump, "dc_aver=%d,dc_count=%d,dc_sum=%d,defog_strength=%d\n", aver, count, sum,
                       pstFrame->u8Strength);
    dehaze_dump_printf(pstDump, "\n");
    if (pstDump && pstDump->pFile)
        fflush(pstDump->pFile);
    pstCtx->bHistoryValid = 1;
}

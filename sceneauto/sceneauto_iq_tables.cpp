// The compiled-in tuning tables of the MN34220 camera, linear and WDR.
//
// Curves (gamma, the noise-profile images) are drawn through a few anchor
// points by monotone cubic interpolation, so they rise smoothly and never
// overshoot; the 3D noise-reduction points follow one progression in
// quarter stops of ISO. Where a value is the camera's own (given with the
// sensor's tuning) it stands as a literal.
#include "sceneauto/sceneauto_iq.h"

#include <array>

namespace {

// ---- curve drawing ------------------------------------------------------------------------------

// Monotone piecewise-cubic through (x[i], y[i]), x ascending, sampled at
// 0..Len-1: slopes by the harmonic mean of the neighbouring secants (zero at
// a turn), so a rising set of anchors gives a rising curve.
template <class T, size_t Len, size_t N> constexpr std::array<T, Len> smooth_curve(const double (&x)[N], const double (&y)[N])
{
    double d[N - 1] = {}, m[N] = {};
    for (size_t k = 0; k + 1 < N; k++)
        d[k] = (y[k + 1] - y[k]) / (x[k + 1] - x[k]);
    m[0] = d[0];
    m[N - 1] = d[N - 2];
    for (size_t k = 1; k + 1 < N; k++) {
        if (d[k - 1] * d[k] <= 0)
            continue;
        const double h0 = x[k] - x[k - 1], h1 = x[k + 1] - x[k];
        const double w1 = 2 * h1 + h0, w2 = h1 + 2 * h0;
        m[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k]);
    }
    std::array<T, Len> out = {};
    size_t k = 0;
    for (size_t i = 0; i < Len; i++) {
        const double xi = (double)i;
        while (k + 2 < N && xi > x[k + 1])
            k++;
        const double h = x[k + 1] - x[k], t = (xi - x[k]) / h;
        const double t2 = t * t, t3 = t2 * t;
        const double v = (2 * t3 - 3 * t2 + 1) * y[k] + (t3 - 2 * t2 + t) * h * m[k] + (-2 * t3 + 3 * t2) * y[k + 1] +
                         (t3 - t2) * h * m[k + 1];
        out[i] = (T)(v < 0 ? 0 : v + 0.5);
    }
    return out;
}

template <class T, size_t N> constexpr void copy_to(T (&dst)[N], const std::array<T, N> &src)
{
    for (size_t i = 0; i < N; i++)
        dst[i] = src[i];
}

// `first` values in order, then `rest` up to the end.
template <class T, size_t N, size_t M> constexpr void fill_then(T (&dst)[N], const T (&first)[M], T rest)
{
    for (size_t i = 0; i < N; i++)
        dst[i] = i < M ? first[i] : rest;
}

template <class T, size_t N> constexpr void fill_all(T (&dst)[N], T v)
{
    for (T &e : dst)
        e = v;
}

// 257-point gamma curves over the 12-bit range.
using GammaTable = std::array<u16, 257>;

// The everyday curve: a square-root toe that lifts the shadows (0, 280, 400
// at the first points), mid grey near 3240 at point 128, and a soft shoulder
// into white.
constexpr double kLinGammaX[] = {0, 1, 2, 4, 8, 16, 32, 64, 96, 128, 160, 192, 224, 256};
constexpr double kLinGammaY[] = {0, 280, 400, 560, 790, 1110, 1560, 2200, 2760, 3240, 3580, 3820, 3985, 4095};
// Three brighter ones for darker scenes, each lifting the shadows further.
constexpr double kLinGamma1Y[] = {0, 300, 440, 620, 870, 1220, 1700, 2360, 2900, 3350, 3660, 3870, 4005, 4095};
constexpr double kLinGamma2Y[] = {0, 320, 480, 680, 950, 1330, 1840, 2500, 3030, 3450, 3730, 3910, 4020, 4095};
constexpr double kLinGamma3Y[] = {0, 340, 520, 740, 1030, 1440, 1970, 2640, 3150, 3540, 3790, 3945, 4035, 4095};
// WDR: the stitched picture already holds its shadows, so a straight toe
// (11 per point) and mid grey at 2426.
constexpr double kWdrGammaX[] = {0, 1, 2, 8, 16, 32, 64, 96, 128, 160, 192, 224, 256};
constexpr double kWdrGammaY[] = {0, 11, 22, 100, 220, 560, 1400, 1960, 2426, 2860, 3300, 3710, 4095};
// Highlight compensation: less shadow lift and a long shoulder, so lamps
// and windows keep their detail.
constexpr double kHlcGammaY[] = {0, 200, 300, 440, 640, 920, 1320, 1900, 2340, 2700, 3020, 3340, 3700, 4095};
// Infrared night: a grey picture with deep shadows worth lifting.
constexpr double kIrGammaY[] = {0, 360, 540, 760, 1060, 1470, 2010, 2680, 3180, 3560, 3800, 3950, 4040, 4095};

constexpr GammaTable kLinGamma0 = smooth_curve<u16, 257>(kLinGammaX, kLinGammaY);

// ---- the noise profiles ------------------------------------------------------------------------

// Noise weights per signal level (128 steps), as the ISP's noise-profile
// registers take them: they grow with the square root of the signal (shot
// noise) and flatten towards white. Profile A is the sensor's measured one,
// for bright daylight and for dark scenes at high gain; profile B, for the
// mid exposures of indoor light, trusts fine detail more (lower weights), so
// texture survives where the noise is moderate.
constexpr double kProfileX[] = {0, 1, 4, 16, 32, 64, 127};
constexpr double kProfileA0[] = {0, 9, 16, 30, 38, 46, 57};
constexpr double kProfileA1[] = {0, 6, 12, 22, 28, 33, 42};
constexpr double kProfileB0[] = {0, 6, 11, 20, 26, 32, 40};
constexpr double kProfileB1[] = {0, 4, 8, 15, 19, 23, 30};
// WDR: the stitched long frame carries more noise in its shadows.
constexpr double kWdrProfileA0[] = {0, 11, 19, 34, 42, 50, 61};
constexpr double kWdrProfileA1[] = {0, 8, 14, 25, 31, 36, 45};
constexpr double kWdrProfileB0[] = {0, 8, 14, 24, 30, 36, 44};
constexpr double kWdrProfileB1[] = {0, 5, 10, 18, 22, 26, 33};

constexpr SCENEAUTO_NRPROFILE_S nr_profile(const double (&a0)[7], const double (&a1)[7], const double (&b0)[7],
                                           const double (&b1)[7])
{
    SCENEAUTO_NRPROFILE_S p = {};
    copy_to(p.au8ProfileA[0], smooth_curve<u8, 128>(kProfileX, a0));
    copy_to(p.au8ProfileA[1], smooth_curve<u8, 128>(kProfileX, a1));
    copy_to(p.au8ProfileB[0], smooth_curve<u8, 128>(kProfileX, b0));
    copy_to(p.au8ProfileB[1], smooth_curve<u8, 128>(kProfileX, b1));
    p.u32LowBound = 5000;
    p.u32HighBound = 16000;
    return p;
}

// ---- 3D noise reduction ------------------------------------------------------------------------

// Quarter stops of `iso` above ISO 100 (0 at and below it).
constexpr int quarter_stops(u32 iso)
{
    constexpr double kQuarterStop = 1.189207115002721; // 2^(1/4)
    int q = 0;
    for (double at = 100 * kQuarterStop; at <= iso * 1.0001; at *= kQuarterStop)
        q++;
    return q;
}

constexpr u8 clip8(int v, int hi = 255) { return (u8)(v < 0 ? 0 : v > hi ? hi : v); }
constexpr u16 clip16(int v, int hi) { return (u16)(v < 0 ? 0 : v > hi ? hi : v); }

// One point of 3D noise reduction at `iso`, `boost` quarter stops stronger
// than the linear table (WDR and the special scenes see more noise at the
// same ISO). Everything grows with the noise: the spatial strengths of the
// three filter groups (coarse, medium, fine: 16/8/2 at ISO 100), their
// chroma strengths, the edge and motion thresholds; the groups' shares of
// the new picture (64 = all of it) fall, the temporal group's fastest, so
// a still scene averages over more frames as the light goes. At ISO 100 the
// point is the sensor's clean-light setting: the temporal group passes the
// picture through.
constexpr SCENEAUTO_3DNR_PARAM_S nr_point(u32 iso, int boost)
{
    const int q = quarter_stops(iso) + boost;
    SCENEAUTO_3DNR_PARAM_S p = {};
    const int strength[3] = {16 + 3 * q, 8 + 2 * q, 2 + q};
    for (int g = 0; g < 3; g++) {
        p.au8Strength[0][g] = clip8(strength[g]);          // spatial
        p.au8Strength[1][g] = clip8(16 + q / 2);           // edge threshold
        p.au8Strength[2][g] = clip8(strength[g]);          // chroma
        p.au8Strength[3][g] = clip8(16 + (g == 2 ? q : q / 2), 64); // motion threshold
    }
    p.u8Global0 = clip8(q);
    p.au8GroupSel[0] = p.au8GroupSel[1] = clip8(64 - q < 24 ? 24 : 64 - q, 64);
    // The temporal group's share: about half the new picture by ISO 400,
    // a quarter by ISO 1600, an eighth at the top.
    p.au8GroupSel[2] = clip8(64 - 3 * q < 8 ? 8 : 64 - 3 * q, 64);
    p.u8Global1 = clip8(16 + q / 2);
    p.u16Global = clip16(4 + q / 4, 15);
    p.u16BlendKey = 1; // one mode throughout: every pair of points blends
    for (int g = 0; g < 3; g++) {
        p.au16Thresh[0][g] = clip16(2 + q / 4, 15);
        p.au16Thresh[1][g] = clip16(4 + q / 2, 31);
        p.au16Thresh[2][g] = q < 24 ? 1 : 2; // the filter shape: wider from ISO 6400 on
    }
    p.au16Thresh[3][0] = clip16(16 + 4 * q, 255);
    p.au16Thresh[3][1] = clip16(16 + 4 * q, 255);
    p.au16Thresh[3][2] = clip16(64 + 16 * q, 1023);
    p.au8Tail[0] = p.au8Tail[1] = clip8(8 + q / 2);
    p.au8Tail[2] = p.au8Tail[3] = clip8(4 + q / 4);
    p.au8Tail[4] = clip8(16 + q / 2);
    p.au8Tail[5] = 0xFF; // negative: the strength is derived from the point
    p.au8GrpByte[0] = 1;
    p.au8GrpByte[1] = clip8(8 + q);
    p.au16GrpWord[0] = clip16(256 + 32 * q, 0xFFFF);
    p.au16GrpWord[1] = clip16(128 + 16 * q, 0xFFFF);
    p.au16GrpWord[2] = clip16(64 + 8 * q, 0xFFFF);
    p.au8GrpTail[0] = p.au8GrpTail[1] = 1;
    return p;
}

template <size_t N> constexpr void nr_points(const u32 (&iso)[N], int boost, u32 *count, u32 *isos, SCENEAUTO_3DNR_PARAM_S *sets)
{
    *count = N;
    for (size_t i = 0; i < N; i++) {
        isos[i] = iso[i];
        sets[i] = nr_point(iso[i], boost);
    }
}

constexpr SCENEAUTO_INI3DNR_S nr_table(const u32 (&iso)[SCENEAUTO_3DNR_POINTS], int boost)
{
    SCENEAUTO_INI3DNR_S t = {};
    nr_points(iso, boost, &t.u32Count, t.au32Iso, t.astSet);
    return t;
}

constexpr u32 kLinearIso[] = {100, 200, 300, 400, 800, 1600, 2400, 3200, 6400, 25600, 51200, 102400, 204800};
constexpr u32 kWdrIso[] = {100, 200, 400, 800, 1600, 2400, 3200, 6400, 12800, 25600, 51200, 102400, 204800};
constexpr int kWdrBoost = 2, kHlcBoost = 1, kIrBoost = 4, kFswdrBoost = 2;

// ---- blocks ----------------------------------------------------------------------------------

constexpr SCENEAUTO_THRESHVALUE_S kThresh = {0, 0, 150000, 140000, 3000, 6000, 5, {30, 20, 2000000000}, 40};

constexpr SCENEAUTO_INIAE_S ae_block(bool wdr)
{
    SCENEAUTO_INIAE_S a = {};
    a.u8AERunInterval = 1;
    a.bWDRQuick = 1;
    a.u32ThreshCount = 3;
    a.au32Thresh[0] = 2048;
    a.au32Thresh[1] = 8120;
    a.au32Thresh[2] = 16318;
    for (SCENEAUTO_AE_BASE_S &b : a.astBase) {
        b.u8Speed = wdr ? 64 : 48;
        b.u8Tolerance = 3;
        b.u32SysGainMax = b.u32AGainMax = wdr ? 4096 : 32382;
        b.u32DGainMax = b.u32ISPDGainMax = 1024;
    }
    a.u32LevelCount = SCENEAUTO_AE_LEVELS;
    const u32 down[] = {6000, 30000, 120000, 240000, 8000000}, up[] = {8000, 40000, 150000, 300000, 10000000};
    for (int i = 0; i < SCENEAUTO_AE_LEVELS; i++) {
        a.au32Down[i] = down[i];
        a.au32Up[i] = up[i];
        SCENEAUTO_AE_LEVEL_S &l = a.astLevel[i];
        l.u8Compensation = wdr ? (i == 0 ? 62 : 60) : 60;
        l.u8MaxHistOffset = 32;
        l.u16HistRatioSlope = wdr ? 96 : 160;
    }
    return a;
}

// Demosaic slopes per exposure level (darker: smoother interpolation) and
// bit-rate level (more bits: a little more detail), from record 0.
constexpr SCENEAUTO_INIDEMOSAIC_S demosaic_block(const u8 (&first)[4], const u32 (&exp)[8])
{
    SCENEAUTO_INIDEMOSAIC_S d = {};
    d.u32BitrateCount = 2;
    d.au32BitrateThresh[0] = 2048;
    d.au32BitrateThresh[1] = 4096;
    d.u32ExpCount = 8;
    for (int i = 0; i < 8; i++)
        d.au32ExpThresh[i] = exp[i];
    for (int b = 0; b < 2; b++)
        for (int e = 0; e < 8; e++)
            for (int k = 0; k < 4; k++)
                d.astRec[8 * b + e].au8Slope[k] = k == 3 ? first[3] : clip8(first[k] - 6 * e + 8 * b);
    return d;
}

constexpr SCENEAUTO_INISHARPEN_S sharpen_block(const u8 (&d)[16], const u8 (&ud)[16], const u8 (&rgb)[16])
{
    SCENEAUTO_INISHARPEN_S s = {};
    s.u32LevelCount = 3;
    s.au32BitrateThresh[0] = 1024;
    s.au32BitrateThresh[1] = 2048;
    s.au32BitrateThresh[2] = 4096;
    for (SCENEAUTO_SHARPEN_S &l : s.astLevel)
        for (int i = 0; i < 16; i++) {
            l.au8SharpenD[i] = d[i];
            l.au8SharpenUd[i] = ud[i];
            l.au8SharpenRGB[i] = rgb[i];
        }
    return s;
}
constexpr u8 kLinSharpenD[16] = {64, 62, 60, 56, 52, 48, 44, 40, 32, 24, 20, 16, 16, 16, 16, 16};
constexpr u8 kLinSharpenUd[16] = {96, 96, 88, 80, 72, 64, 56, 40, 32, 32, 32, 16, 16, 16, 16, 16};
constexpr u8 kWdrSharpen[16] = {64, 64, 60, 56, 52, 48, 44, 40, 32, 32, 32, 32, 32, 32, 32, 32};

constexpr SCENEAUTO_GAMMA_S gamma_curve(const GammaTable &t)
{
    SCENEAUTO_GAMMA_S g = {};
    g.u8CurveType = 2;
    copy_to(g.au16Table, t);
    return g;
}

constexpr SCENEAUTO_INIGAMMA_S gamma_block(bool wdr)
{
    SCENEAUTO_INIGAMMA_S g = {};
    g.u32CurveCount = wdr ? 1 : 4;
    g.u32Word1 = 1;
    g.u32RampSteps = 10;
    const u32 t0[] = {8000, 40000, 400000, 4000000}, t1[] = {6000, 7000, 35000, 320000};
    for (int i = 0; i < 4; i++) {
        g.au32Thresh[0][i] = t0[i];
        g.au32Thresh[1][i] = t1[i];
    }
    if (wdr) {
        g.astCurve[0] = gamma_curve(smooth_curve<u16, 257>(kWdrGammaX, kWdrGammaY));
        return g;
    }
    g.astCurve[0] = gamma_curve(kLinGamma0);
    g.astCurve[1] = gamma_curve(smooth_curve<u16, 257>(kLinGammaX, kLinGamma1Y));
    g.astCurve[2] = gamma_curve(smooth_curve<u16, 257>(kLinGammaX, kLinGamma2Y));
    g.astCurve[3] = gamma_curve(smooth_curve<u16, 257>(kLinGammaX, kLinGamma3Y));
    return g;
}

constexpr SCENEAUTO_INIH264VENC_S h264_block()
{
    SCENEAUTO_INIH264VENC_S h = {};
    h.u32LevelCount = 4;
    const u32 rate[] = {1025, 2049, 4097, 8145};
    const u32 thresh[12] = {7, 7, 7, 7, 7, 9, 9, 9, 12, 15, 18, 25};
    const u32 rc[4][2] = {{0, 4}, {1, 4}, {0, 4}, {0, 2}};
    const s32 trans[4] = {0, -6, -4, 0};
    const u32 dblk[4][3] = {{2, 5, 5}, {2, 5, 5}, {2, 1, 1}, {1, 0, 0}};
    for (int l = 0; l < 4; l++) {
        h.au32BitrateThresh[l] = rate[l];
        SCENEAUTO_H264_LEVEL_S &v = h.astLevel[l];
        for (int i = 0; i < 12; i++)
            v.stRc.au32ThreshI[i] = v.stRc.au32ThreshP[i] = thresh[i];
        v.stRc.u32Common = rc[l][0];
        v.stRc.u32ModeWord = rc[l][1];
        v.s32Trans = trans[l];
        for (int i = 0; i < 3; i++)
            v.stDblk.au32Word[i] = dblk[l][i];
    }
    return h;
}

// The face regions' settings of H.265: per region group four quality
// offsets and four sizes, then the detector's words. Bright light and a low
// bit rate (record 0) spend bits on faces; in dim light (record 1) the
// offsets shrink, since a noisy face gains little from them. Records 2 and
// 3 stay zero.
constexpr SCENEAUTO_H265_FACE_S face_record(int dim)
{
    SCENEAUTO_H265_FACE_S f = {};
    // Quality offsets of the region groups (bytes 0-23), then their sizes.
    const int base[4] = {6, 4, 24, 16};
    for (int i = 0; i < 48; i++)
        f.au8Byte[i] = clip8(base[i / 12] - (i < 24 ? 2 * dim : 0));
    f.u32Word48 = 1;
    f.u32Word52 = 1;
    for (int i = 0; i < 4; i++) {
        f.au8Byte56[i] = (u8)(8 + 4 * i);
        f.au8Byte72[i] = (u8)(16 + 8 * i);
    }
    f.u32Word60 = 32;
    f.u32Word64 = 2;
    f.u32Word68 = 2;
    f.u32Word76 = 64;
    f.au8Byte80[0] = f.au8Byte92[0] = 2;
    f.au8Byte80[1] = f.au8Byte92[1] = 1;
    f.u32Word84 = f.u32Word88 = 16;
    f.u32Word96 = f.u32Word100 = 8;
    for (int i = 0; i < 18; i++)
        f.au32Word104[i] = (u32)(i % 3 == 0 ? 4 - dim : 1);
    return f;
}

constexpr SCENEAUTO_INIH265VENC_S h265_block()
{
    SCENEAUTO_INIH265VENC_S h = {};
    h.u32LevelCount = 2;
    h.au32BitrateThresh[0] = 2048;
    h.au32BitrateThresh[1] = 4098;
    const u32 thresh[12] = {3, 3, 5, 5, 8, 8, 8, 15, 20, 20, 25, 25};
    const u32 rc[2][2] = {{1, 1}, {1, 4}};
    for (int l = 0; l < 2; l++) {
        for (int i = 0; i < 12; i++)
            h.astLevel[l].au32ThreshI[i] = h.astLevel[l].au32ThreshP[i] = thresh[i];
        h.astLevel[l].u32Common = rc[l][0];
        h.astLevel[l].u32ModeWord = rc[l][1];
    }
    h.u32FaceBitrateCount = 2;
    h.au32FaceBitrateThresh[0] = 2048;
    h.au32FaceBitrateThresh[1] = 4098;
    h.u32FaceExpCount = 2;
    h.au32FaceExpThresh[0] = 8000;
    h.au32FaceExpThresh[1] = 300000;
    h.astFace[0] = face_record(0);
    h.astFace[1] = face_record(1);
    return h;
}

constexpr u8 kHlcSat[8] = {120, 116, 104, 96, 88, 80, 72, 64};
constexpr u8 kHlcSharpenUd[4] = {96, 80, 68, 40};
constexpr u8 kHlcSharpenRGB[8] = {96, 95, 90, 80, 70, 60, 50, 40};

constexpr SCENEAUTO_HLC_S hlc_block()
{
    SCENEAUTO_HLC_S h = {};
    h.u8Compensation = 16;
    fill_then(h.au8Sat, kHlcSat, (u8)56);
    h.u8Speed = 32;
    h.u16HistRatioSlope = 128;
    h.u8MaxHistOffset = 6;
    h.u8Tolerance = 5;
    const u32 dci[4] = {1, 32, 32, 32}, drc[3] = {1, 1, 100};
    for (int i = 0; i < 4; i++)
        h.au32Dci[i] = dci[i];
    for (int i = 0; i < 3; i++)
        h.au32Drc[i] = drc[i];
    copy_to(h.au16Gamma, smooth_curve<u16, 257>(kLinGammaX, kHlcGammaY));
    fill_then(h.au8SharpenUd, kHlcSharpenUd, (u8)32);
    fill_then(h.au8SharpenRGB, kHlcSharpenRGB, (u8)30);
    const u32 iso[6] = {100, 200, 400, 900, 1700, 3300};
    nr_points(iso, kHlcBoost, &h.u32NrCount, h.au32NrIso, h.astNr);
    return h;
}

// The infrared scene's zone weights (the metering preference overrides
// them): the centre counts most, the frame's edge least.
constexpr void ir_weights(u8 (&w)[15][17])
{
    for (int r = 0; r < 15; r++)
        for (int c = 0; c < 17; c++) {
            const int dr = r < 7 ? 7 - r : r - 7, dc = c < 8 ? 8 - c : c - 8;
            const int ring = dr > dc ? dr : dc;
            w[r][c] = (u8)(ring <= 2 ? 8 : ring <= 4 ? 4 : ring <= 6 ? 2 : 1);
        }
}

constexpr u8 kIrSharpenUd[3] = {92, 92, 92};

constexpr SCENEAUTO_IR_S ir_block()
{
    SCENEAUTO_IR_S r = {};
    r.u32LevelCount = 4;
    const u32 up[4] = {700000, 2200000, 5000000, 8000000}, down[4] = {600000, 1800000, 4000000, 7000000};
    const u8 comp[4] = {50, 48, 38, 32}, offset[4] = {20, 18, 14, 10};
    for (int i = 0; i < 4; i++) {
        r.au32Up[i] = up[i];
        r.au32Down[i] = down[i];
        r.au8Compensation[i] = comp[i];
        r.au8MaxHistOffset[i] = offset[i];
    }
    r.u16HistRatioSlope = 64;
    r.u16BlackDelayFrame = r.u16WhiteDelayFrame = 30;
    r.u8Speed = 16;
    r.u8Tolerance = 3;
    const u32 dci[4] = {1, 32, 32, 32};
    for (int i = 0; i < 4; i++)
        r.au32Dci[i] = dci[i];
    r.u16DpSlope = 768;
    fill_all(r.au8Demosaic, (u8)96);
    fill_all(r.au8SharpenD, (u8)92);
    fill_then(r.au8SharpenUd, kIrSharpenUd, (u8)68);
    fill_all(r.au8SharpenRGB, (u8)100);
    copy_to(r.au16Gamma, smooth_curve<u16, 257>(kLinGammaX, kIrGammaY));
    ir_weights(r.au8Weight);
    const u32 iso[6] = {1300, 2900, 5800, 11000, 21000, 36000};
    nr_points(iso, kIrBoost, &r.u32NrCount, r.au32NrIso, r.astNr);
    return r;
}

constexpr SCENEAUTO_AUTOFSWDR_S fswdr_block()
{
    SCENEAUTO_AUTOFSWDR_S f = {};
    f.u32OnThresh = 800;
    f.u32OffThresh = 200;
    f.u32OnThresh2 = 512;
    f.u32LevelCount = 3;
    const u32 up[3] = {600000, 1800000, 4000000}, down[3] = {700000, 2200000, 5000000};
    const u8 comp[3] = {100, 90, 80}, offset[3] = {32, 20, 16};
    for (int i = 0; i < 3; i++) {
        f.au32Up[i] = up[i];
        f.au32Down[i] = down[i];
        f.au8Compensation[i] = comp[i];
        f.au8MaxHistOffset[i] = offset[i];
    }
    const u32 iso[13] = {50, 100, 400, 800, 1000, 2000, 5200, 13700, 23400, 50900, 111700, 200000, 379600};
    nr_points(iso, kFswdrBoost, &f.u32NrCount, f.au32NrIso, f.astNr);
    return f;
}

constexpr SCENEAUTO_AE_ROUTE_S route(const u32 (&nodes)[7][2])
{
    SCENEAUTO_AE_ROUTE_S r = {};
    r.u32TotalNum = 7;
    for (int i = 0; i < 7; i++)
        r.astRouteNode[i] = {nodes[i][0], nodes[i][1]};
    return r;
}
constexpr u32 kFastDynamic[7][2] = {{2, 1024},    {2000, 1024},  {2000, 2048},    {5000, 2048},
                                    {5000, 5120}, {40000, 5120}, {40000, 16777216}};
constexpr u32 kNormalDynamic[7][2] = {{2, 1024},     {20000, 1024}, {20000, 1500},    {20000, 1500},
                                      {20000, 3072}, {40000, 3072}, {40000, 16777216}};
constexpr u32 kWdrDynamic[7][2] = {{10400, 1024}, {10400, 1024},   {10400, 8134},  {20000, 8134},
                                   {20000, 131071}, {20000, 131071}, {20000, 131071}};

// The DCI strength per luma bin (no reader): a gentle lift in the lower
// middle, none at the ends.
constexpr double kDciX[] = {0, 20, 45, 75, 110};
constexpr double kDciY[] = {0, 24, 32, 20, 0};

template <size_t N> constexpr AE_ROUTE_EX_TABLE_S route_ex(const u32 (&nodes)[N][5])
{
    AE_ROUTE_EX_TABLE_S r = {};
    r.u32TotalNum = N;
    for (size_t i = 0; i < N; i++)
        r.astRouteExNode[i] = {nodes[i][0], nodes[i][1], nodes[i][2], nodes[i][3], nodes[i][4]};
    return r;
}
constexpr u32 kNightWdr[][5] = {{10000, 1024, 1024, 1024, 0}, {10000, 4096, 1024, 1024, 0}, {16254, 4096, 1024, 1024, 0}};
constexpr u32 kOutdoorWdr[][5] = {{53, 1024, 1024, 1024, 0},
                                  {3730, 1024, 1024, 1024, 0},
                                  {3730, 8134, 1024, 1024, 0},
                                  {16254, 8134, 1024, 1024, 0},
                                  {16254, 16384, 1024, 1024, 0}};

} // namespace

const std::array<u8, 111> iq_para_au8DciStrengthLut = smooth_curve<u8, 111>(kDciX, kDciY);
const u16 iq_para_u16RatioBias = 1024, iq_para_WDR_u16RatioBias = 2816;
const SCENEAUTO_MPINFO_S iq_para_stMpInfo = {0, 0, 0, 0, 1, 1, 1};
const SCENEAUTO_THRESHVALUE_S iq_para_stThreshValue = kThresh, iq_para_WDR_stThreshValue = kThresh;
const SCENEAUTO_NRPROFILE_S iq_para_stIniNRProfile = nr_profile(kProfileA0, kProfileA1, kProfileB0, kProfileB1);
const SCENEAUTO_NRPROFILE_S iq_para_WDR_stIniNRProfile =
    nr_profile(kWdrProfileA0, kWdrProfileA1, kWdrProfileB0, kWdrProfileB1);
const SCENEAUTO_INIAE_S iq_para_stIniAE = ae_block(false), iq_para_WDR_stIniAE = ae_block(true);
const SCENEAUTO_INIDEMOSAIC_S iq_para_stIniDemosaic =
    demosaic_block({154, 162, 135, 128}, {800, 1200, 1600, 2400, 3200, 12000, 32000, 64000});
const SCENEAUTO_INIDEMOSAIC_S iq_para_WDR_stIniDemosaic =
    demosaic_block({170, 170, 168, 128}, {800, 1200, 1600, 2400, 3200, 4000, 6000, 9000});
const SCENEAUTO_INISHARPEN_S iq_para_stIniSharpen = sharpen_block(kLinSharpenD, kLinSharpenUd, kLinSharpenUd);
const SCENEAUTO_INISHARPEN_S iq_para_WDR_stIniSharpen = sharpen_block(kWdrSharpen, kWdrSharpen, kWdrSharpen);
const SCENEAUTO_INIDP_S iq_para_stIniDP = {
    12,
    {20000, 40000, 160000, 320000, 640000, 1280000, 2560000, 4800000, 9600000, 18000000, 34000000, 72000000},
    {0, 0, 32, 32, 64, 128, 256, 384, 512, 512, 512, 512}};
const SCENEAUTO_INIGAMMA_S iq_para_stIniGamma = gamma_block(false), iq_para_WDR_stIniGamma = gamma_block(true);
const SCENEAUTO_INIH264VENC_S iq_para_stIniH264Venc = h264_block();
const SCENEAUTO_INIH265VENC_S iq_para_stIniH265Venc = h265_block();
const SCENEAUTO_INI3DNR_S iq_para_stIni3dnr = nr_table(kLinearIso, 0);
const SCENEAUTO_INI3DNR_S iq_para_WDR_stIni3dnr = nr_table(kWdrIso, kWdrBoost);
const SCENEAUTO_HLC_S iq_para_stHLC = hlc_block();
const SCENEAUTO_IR_S iq_para_stIR = ir_block();
const SCENEAUTO_AUTOFSWDR_S stAutoFSWDR = fswdr_block();
const SCENEAUTO_BLC_S iq_para_stBLC = {1, 32, 64};
const SCENEAUTO_AE_ROUTE_S iq_para_stFastDynamic = route(kFastDynamic), iq_para_WDR_stFastDynamic = route(kWdrDynamic);
const SCENEAUTO_AE_ROUTE_S iq_para_stNormalDynamic = route(kNormalDynamic),
                           iq_para_WDR_stNormalDynamic = route(kWdrDynamic);
const SCENEAUTO_INIDRC_S iq_para_stDRC = {{1, 1, 128, 56, 192, 10, 4, 1791, 0}};
// Two header words (three sets in use, automatic), then six (colour
// temperature, matrix) sets, 0x100 = 1.0 in sign-magnitude; the last three
// unused. The matrices are the sensor's own at 5000 K, 4000 K and 2800 K.
const u16 iq_para_stIniCcm[62] = {
    3,    0,
    5000, 0x01C8, 0x80A0, 0x8028, 0x8040, 0x0190, 0x8050, 0x0008, 0x8090, 0x0188,
    4000, 0x01D0, 0x80B0, 0x8020, 0x8050, 0x0198, 0x8048, 0x0010, 0x80B0, 0x01A0,
    2800, 0x01E0, 0x80C0, 0x8020, 0x8068, 0x01A8, 0x8040, 0x8010, 0x80E0, 0x01F0,
};
const SCENEAUTO_SATURATION_S iq_para_saturation = {
    0, 144, {136, 134, 134, 132, 128, 128, 128, 128, 128, 56, 56, 56, 56, 56, 56, 56}};
const u8 iq_para_color_tone[6] = {0, 1, 0, 1, 0, 1};
const AE_ROUTE_EX_TABLE_S gstAERouteExAttr_NightWDR_50hz = route_ex(kNightWdr);
const AE_ROUTE_EX_TABLE_S gstAERouteExAttr_OutdoorWDR_50hz = route_ex(kOutdoorWdr);

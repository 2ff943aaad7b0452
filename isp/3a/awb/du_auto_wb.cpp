// The white-balance estimator's tools: the sensor's white-balance curve in the
// plane of R/G and B/G (mired and shift of a point, the point of a mired and
// shift), relative distances, luma weights, the temporal filter and the
// relative gains it hands the library run.
#include "isp/3a/awb/awb_ctx.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

const u8 au8ShiftWt[128] = {
    255, 255, 255, 255, 255, 254, 253, 252, 252, 251, 249, 248, 247, 245, 244, 242, 240, 238, 236, 234, 232, 229,
    227, 225, 222, 219, 217, 214, 211, 208, 205, 202, 199, 196, 193, 190, 186, 183, 180, 176, 173, 170, 166, 163,
    159, 156, 153, 149, 146, 142, 139, 136, 132, 129, 126, 122, 119, 116, 113, 110, 106, 103, 100, 97,  94,  91,
    89,  86,  83,  80,  78,  75,  72,  70,  67,  65,  63,  60,  58,  56,  54,  52,  50,  48,  46,  44,  42,  41,
    39,  37,  36,  34,  33,  31,  30,  29,  27,  26,  25,  24,  23,  22,  21,  20,  19,  18,  17,  16,  15,  15,
    14,  13,  12,  12,  11,  11,  10,  10,  9,   9,   8,   8,   7,   7,   6,   6,   6,   5,
};

const u8 BT709_Gamma[256] = {
    0,   5,   9,   14,  18,  23,  27,  30,  34,  37,  40,  43,  46,  48,  51,  53,  55,  58,  60,  62,  64,  66,
    68,  70,  72,  73,  75,  77,  79,  80,  82,  83,  85,  87,  88,  90,  91,  92,  94,  95,  97,  98,  99,  101,
    102, 103, 105, 106, 107, 108, 110, 111, 112, 113, 114, 115, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126,
    128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148,
    149, 150, 150, 151, 152, 153, 154, 155, 156, 156, 157, 158, 159, 160, 161, 161, 162, 163, 164, 165, 165, 166,
    167, 168, 169, 169, 170, 171, 172, 172, 173, 174, 175, 175, 176, 177, 178, 178, 179, 180, 181, 181, 182, 183,
    183, 184, 185, 186, 186, 187, 188, 188, 189, 190, 190, 191, 192, 192, 193, 194, 195, 195, 196, 197, 197, 198,
    198, 199, 200, 200, 201, 202, 202, 203, 204, 204, 205, 206, 206, 207, 207, 208, 209, 209, 210, 211, 211, 212,
    212, 213, 214, 214, 215, 215, 216, 217, 217, 218, 218, 219, 220, 220, 221, 221, 222, 222, 223, 224, 224, 225,
    225, 226, 226, 227, 228, 228, 229, 229, 230, 230, 231, 231, 232, 233, 233, 234, 234, 235, 235, 236, 236, 237,
    237, 238, 239, 239, 240, 240, 241, 241, 242, 242, 243, 243, 244, 244, 245, 245, 246, 246, 247, 247, 248, 248,
    249, 249, 250, 250, 251, 252, 252, 253, 253, 254, 254, 255, 255, 255,
};

namespace {

// The square root of a wide intermediate, clamped into the u32 domain.
s64 sqrt64(s64 v) { return AwbSqrt32((u32)std::clamp<s64>(v, 0, 0xFFFFFFFFll)); }

s64 sq(s64 v) { return v * v; }

// The curve: B/G at R/G x, both 8.8.
s64 curve_y(const s32 *p, s64 x)
{
    s64 d = x + p[2];
    return (256ll * p[1] + (s64)p[0] * x) / (d ? d : 1);
}

s64 curve_mired256(const s32 *p, s64 x)
{
    s64 v = p[5] + (((s64)p[3] * sqrt64(x << 8) + 128) >> 8);
    return v < 0 ? -v : v;
}

} // namespace

void AwbWbGainSet(AWB_WB_STATE_S *w, const u16 g[4]) { memcpy(w->au16StaticGain, g, sizeof w->au16StaticGain); }

void AwbWbParaSet(AWB_WB_STATE_S *w, const s32 p[6])
{
    memcpy(w->as32Para, p, sizeof w->as32Para);
    if (w->as32Para[3] == 0)
        w->as32Para[3] = 1;
}

void AwbWbMatrixInit(AWB_WB_STATE_S *w)
{
    static const u16 zones[AWB_SAMPLE_ZONES] = {0,   1,   15,  16,  17,  18,  32,  33,  127, 128,
                                                144, 145, 221, 222, 236, 237, 238, 239, 253, 254};
    static const u8 areas[AWB_SAMPLE_ZONES] = {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
    w->u32FR = w->u32FB = 0x10000;
    w->u16RelR = w->u16RelG = w->u16RelB = 256;
    w->u32FramesSinceReset = 0;
    memcpy(w->au16SampleZone, zones, sizeof zones);
    memcpy(w->au8SampleArea, areas, sizeof areas);
    w->u16HeldGR = w->u16HeldGB = 1;
    w->u16OutGR = w->u16OutGB = 256;
    memset(w->astSample, 0, sizeof w->astSample);
    w->au32AreaValue[0] = w->au32AreaValue[1] = 256;
    w->u32InOutCounter = 0;
    memset(w->au16HistGR, 0, sizeof w->au16HistGR);
    memset(w->au16HistGB, 0, sizeof w->au16HistGB);
    w->u8HistCount = 0;
    w->u8SettleCount = 0;
    w->bFirstSettle = 0;
    w->u16SkinGR = 220;
    w->u16SkinGB = 280;
    w->u32FilteredExp = 32768;
    w->u32FilteredMired256 = 51200;
}

void AwbWbInit(AWB_WB_STATE_S *w, const AWB_SENSOR_PROFILE_S *p, u32 bKeep)
{
    if (bKeep == 0)
        AwbWbMatrixInit(w);
    AwbWbGainSet(w, p->au16GainOffset);
    AwbWbParaSet(w, p->as32WbPara);
}

s16 AwbToMired(AWB_WB_STATE_S *w, u32 u32RG, u32 u32BG, u32 *pu32Mired256, s16 *ps16Shift)
{
    const s32 *p = w->as32Para;
    const s64 a = p[0], b = p[1], c = p[2], e = p[5];
    const s64 x = u32RG ? u32RG : 1, y = u32BG;
    s64 k = std::max<s64>(((x >> 1) + (y << 8)) / x, 1);
    s64 xp, D;
    bool above;
    if (y <= a) {
        if (x < 257) {
            *pu32Mired256 = 51200;
            *ps16Shift = 256;
            return (s16)e;
        }
        s64 yc = curve_y(p, x);
        xp = x;
        D = sq(yc - y);
        above = yc <= y;
    } else {
        // Where the ray from the origin through the point meets the curve.
        s64 root = sqrt64(c * ((c * ((k * k + 128) >> 8) + 128) >> 8) + 4 * b * k + a * a - c * ((2 * k * a + 128) >> 8));
        s64 x1 = (256 * a) / (2 * k) - c / 2 + (128 * root) / k;
        s64 y1 = (x1 * k + 128) >> 8;
        // The curve point at the same B/G.
        s64 x2 = (y * c - 256 * b) / (a - y), y2 = y;
        // The foot of the perpendicular, when the point lies between the two.
        s64 x3 = x1, y3 = y1;
        if ((x2 - x1) * (y - y1) < 0) {
            s64 m = y1 - y ? (x2 - x1) * 256 / (y1 - y) : 0;
            if (m == 0)
                m = 1;
            s64 xm = (x * m) >> 8;
            s64 inner = 4 * m * (b - ((y * c) >> 8) + ((xm * c) >> 8)) + sq(((c * m) >> 8) - xm + y - a);
            x3 = (x >> 1) - c / 2 + (a - y) * 256 / (2 * m) + (128 * sqrt64(inner)) / m;
            y3 = curve_y(p, x3);
        }
        s64 d1 = sq(x1 - x) + sq(y1 - y), d2 = sq(x2 - x) + sq(y2 - y), d3 = sq(x3 - x) + sq(y3 - y);
        s64 xc = x3, yc = y3, dc = d3;
        if (d2 < d3)
            xc = x2, yc = y2, dc = d2;
        if (dc <= d1)
            x1 = xc, y1 = yc, d1 = dc;
        xp = x1;
        D = d1;
        above = xp < x || (xp == x && y1 <= y);
    }
    s64 m256 = curve_mired256(p, std::max<s64>(xp, 0));
    s64 r = sqrt64(D);
    s64 shift = above ? r : -r;
    *pu32Mired256 = (u32)m256;
    s64 m = m256 >> 8;
    s64 f = m >= 500 ? 384 : m >= 400 ? 256 + ((327 * (m - 400)) >> 8) : 256;
    *ps16Shift = (s16)std::clamp<s64>(shift * 256 / f, -32768, 32767);
    return (s16)std::clamp<s64>(shift, -32768, 32767);
}

void AwbToRgBg(const AWB_WB_STATE_S *w, u32 u32Mired256, s32 s32Shift, u16 *pu16RG, u16 *pu16BG)
{
    const s32 *p = w->as32Para;
    const s64 a = p[0], b = p[1], c = p[2], d = p[3] ? p[3] : 1, e = p[5];
    s64 t = ((d >> 1) + ((s64)u32Mired256 - e) * 256) / d;
    s64 X = t * t;
    s64 den = c + (X >> 8);
    if (den == 0)
        den = 1;
    s64 Y = (b * 65536 + a * X + den / 2) / den;
    s64 n = sqrt64(sq((X + 128) >> 8) + sq((Y + 128) >> 8));
    s64 half = n / 2;
    if (n == 0)
        n = 1, half = 0;
    s64 rg = (X + 128 + s32Shift * ((half + X) / n)) >> 8;
    s64 bg = (Y + 128 + s32Shift * ((half + Y) / n)) >> 8;
    *pu16RG = (u16)std::clamp<s64>(rg, 0, 0xFFFF);
    *pu16BG = (u16)std::clamp<s64>(bg, 0, 0xFFFF);
}

u32 AwbGlobalRelateCoef(u32 x0, u32 y0, s32 x1, u32 y1, u16 n, u16 d)
{
    if (n <= (u16)(d >> 3))
        return 255;
    s64 yr = x1 ? (s64)y1 * x0 / x1 : 0;
    s64 norm = sqrt64(sq(x1) + sq((s64)y1));
    if (norm == 0)
        norm = 1;
    s64 c = ((std::llabs((s64)x1 - x0) + std::llabs(yr - (s64)y0)) << 8) / norm;
    if (n >= (u16)(d >> 2))
        return (u32)std::min<s64>(c, 255);
    return (u32)std::min<s64>(c * d / n, 255);
}

void awb_luma_slopes(AWB_WB_STATE_S *w)
{
    for (u32 i = 0; i < 5; i++) {
        s32 dt = (s32)w->au8LumaThresh[i + 1] - w->au8LumaThresh[i];
        w->as32LumaSlope[i] = dt ? (((s32)w->au16LumaWeight[i + 1] - w->au16LumaWeight[i]) * 256) / dt : 0;
    }
}

u32 AwbYWeightEva(const AWB_WB_STATE_S *w, s32 luma)
{
    for (u32 i = 0; i < 5; i++)
        if (w->au8LumaThresh[i + 1] >= luma)
            return (u32)std::clamp<s32>(w->au16LumaWeight[i] + ((w->as32LumaSlope[i] * (luma - w->au8LumaThresh[i])) >> 8),
                                        0, 65535);
    return 256;
}

s32 AwbCompareWeight(const void *a, const void *b)
{
    u32 wa = static_cast<const AWB_CT_BIN_S *>(a)->u32Weight, wb = static_cast<const AWB_CT_BIN_S *>(b)->u32Weight;
    return wa > wb ? -1 : wa == wb ? 0 : 1;
}

void AwbWbMatrixNormalize(AWB_WB_STATE_S *w, u16 gr, u16 gb, const AWB_CTX_S *ctx)
{
    s64 dr = (s64)gr - (w->u32FR >> 8), db = (s64)gb - (w->u32FB >> 8);
    s64 norm = sqrt64(sq(gb) + sq(gr));
    w->u16RelChange = (u16)std::min<s64>(sqrt64(sq(db) + sq(dr)) * 256 / (norm ? norm : 1), 0xFFFF);
    u32 v = w->u16Speed ? w->u16Speed : 1;
    if (ctx->u32FrameCnt <= ctx->u32FullRateFrames) {
        const u16 dark = awb_is_wdr(ctx->u8WDRMode) ? 1 : 4;
        if (w->u16Luma < dark) {
            if (w->u16Luma == 0)
                v = 0;
        } else if (w->u16Luma < 128) {
            v = std::min<u32>(std::max<u32>(v, (u32)w->u16RelChange << 5), 4096);
            if (w->u8HistCount < 4) {
                w->au16HistGR[w->u8HistCount] = gr;
                w->au16HistGB[w->u8HistCount] = gb;
                w->u8HistCount++;
            }
        }
        // The start-up average seeds the filter once.
        if (w->u8HistCount == 4) {
            u32 sr = 0, sb = 0;
            for (u32 i = 0; i < 4; i++)
                sr += w->au16HistGR[i], sb += w->au16HistGB[i];
            w->u32FR = sr << 6;
            w->u32FB = sb << 6;
            w->u8HistCount = 5;
        }
    }
    if (w->u32GlobalCount <= w->u32MinCount)
        return;
    w->u32FR = (u32)((((u64)gr * v) >> 4) + (((u64)w->u32FR * (4096 - v)) >> 12));
    w->u32FB = (u32)((((u64)gb * v) >> 4) + (((u64)w->u32FB * (4096 - v)) >> 12));
    u32 r = (w->u32FR + 128) >> 8, b = (w->u32FB + 128) >> 8;
    if (w->u16RelChange > 6) {
        w->u8SettleCount = 0;
    } else {
        w->u8SettleCount = (u8)std::min<u32>(w->u8SettleCount + 1u, 128);
        if (w->u8SettleCount > 3 && w->bFirstSettle == 1) {
            w->u16Converged = (u16)ctx->u32FrameCnt;
            w->bFirstSettle = 0;
        }
    }
    u32 m = std::max<u32>(std::min({r, b, 256u}), 1);
    u32 g = ((m >> 1) + 0x10000) / m;
    w->u16RelR = (u16)std::clamp<u32>((r * g + 128) >> 8, 256, 4096);
    w->u16RelG = (u16)std::min<u32>(g, 4096);
    w->u16RelB = (u16)std::clamp<u32>((b * g + 128) >> 8, 256, 4096);
}

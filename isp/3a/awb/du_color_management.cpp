// Colour correction and saturation folded into one matrix: a saturation
// matrix times a matrix blended from the three calibrated ones by the
// smoothed colour temperature, pulled toward identity at very high ISO and
// extreme temperatures, and eased under mixed light.
#include "isp/3a/awb/awb_ctx.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "isp/isp_math.h"

namespace {

const s16 kIdentity[9] = {0x100, 0, 0, 0, 0x100, 0, 0, 0, 0x100};
const s16 kGrey[9] = {76, 150, 29, 76, 150, 29, 76, 150, 29};

s16 sat16(s32 v) { return (s16)std::clamp<s32>(v, -0x7FFF, 0x7FFF); }

// Each coefficient moved toward identity by w / 2048.
void toward_identity(s16 *m, s32 w)
{
    for (u32 i = 0; i < 9; i++)
        m[i] = (s16)(((2048 - w) * m[i] + w * kIdentity[i]) >> 11);
}

void blend(const s16 *x, const s16 *y, s32 w, s16 *out)
{
    w = std::clamp(w, 0, 2048);
    for (u32 i = 0; i < 9; i++)
        out[i] = (s16)(((2048 - w) * x[i] + w * y[i]) >> 11);
}

} // namespace

void AwbMatrixIdentity(u16 *M, s32 n)
{
    for (s32 r = 0; r < n; r++)
        for (s32 c = 0; c < n; c++)
            M[r * n + c] = r == c ? 0x100 : 0;
}

void AwbMatrixCopy(const u16 *src, u16 *dst, u32 rows, u32 cols)
{
    u64 n = (u64)rows * cols;
    if (n >= 1)
        memcpy(dst, src, n * sizeof *src);
}

// out = A x B, each row then scaled to sum to 0x100. A row whose sum is
// below half of that is left unscaled (its coefficients would explode) and
// only its diagonal corrected; coefficients saturate at +/-0x7FFF.
void AwbMatrixMultiply(const s16 *A, const s16 *B, s16 *out, s32 m, s32 n, s32 p)
{
    s16 tmp[9];
    if (m != 3 || n != 3 || p != 3)
        return;
    for (s32 i = 0; i < 3; i++)
        for (s32 j = 0; j < 3; j++) {
            s32 sum = 0;
            for (s32 k = 0; k < 3; k++)
                sum += A[i * 3 + k] * B[k * 3 + j];
            tmp[i * 3 + j] = (s16)((sum + 128) >> 8);
        }
    for (s32 i = 0; i < 3; i++) {
        s16 *row = tmp + 3 * i;
        s32 s = (s16)(row[0] + row[1] + row[2]);
        if (std::abs(s) >= 128)
            for (s32 j = 0; j < 3; j++)
                row[j] = sat16(row[j] * 256 / s);
        s32 after = row[0] + row[1] + row[2];
        if (after != 256)
            row[i] = sat16(row[i] + 256 - after);
    }
    memcpy(out, tmp, sizeof tmp);
}

void AwbCmInit(AWB_CM_STATE_S *cm, const AWB_SENSOR_PROFILE_S *p)
{
    for (u32 i = 0; i < 9; i++)
        cm->as16Blended[i] = AwbDirectToComplement(p->au16HighCCM[i]);
    // The first frames hand the ISP the high-temperature matrix, not zeros.
    memcpy(cm->au16OutCcm, p->au16HighCCM, sizeof cm->au16OutCcm);
    cm->u8CurSat = 128;
    cm->u32PrevBand = cm->u32Band;
    cm->u32Band = 4;
    cm->u16NewTemp = 6500;
    cm->u32SmoothTemp = 6500 * 256;
}

s32 AwbSaturationCalculate(const AWB_CM_STATE_S *cm, u32 u32Iso, u8 *out)
{
    if (cm->u32SatOpType != 0) {
        *out = cm->u8ManualSat;
        return 0;
    }
    s32 s = isp_iso_interpolate(cm->au8Sat, u32Iso);
    s = std::min((cm->u8SatScale * s + 64) >> 7, 255);
    const s32 k = cm->u8MultiLSDegree;
    if (k != 0 && cm->u32MultiLSType == 0) {
        s32 x = (s * k) >> 7;
        s32 y = ((256 - (s32)cm->u16MultiLSScaler) * s) >> 8;
        s -= (y >= 0 && y <= x) ? y : x;
    }
    *out = (u8)std::clamp(s, 0, 255);
    return 0;
}

s32 AwbCcMatrixCalculate(const AWB_FRAME_INPUT_S *in, AWB_CM_STATE_S *cm)
{
    s64 S = cm->u32SmoothTemp, N = cm->u16NewTemp;
    S = std::llabs((S >> 8) - N) > 2000 ? (15 * S + (N << 8)) >> 4 : (31 * S + (N << 8)) >> 5;
    cm->u32SmoothTemp = (u32)S;
    if (!in || !in->pstAwbStat1 || in->pstAwbStat1->u32MeteringAwbCount < 16385)
        return 0;

    const s32 T = (u16)(S >> 8), H = cm->u16HighTemp, M = cm->u16MidTemp, L = cm->u16LowTemp;
    auto band1 = [&](s16 *out) {
        s32 d = M - L - 400;
        blend(cm->as16LowCcm, cm->as16MidCcm, d ? (T - L - 200) * 2048 / d : 0, out);
    };
    auto band3 = [&](s16 *out) {
        s32 d = H - M - 400;
        blend(cm->as16MidCcm, cm->as16HighCcm, d ? (T - M - 400) * 2048 / d : 0, out);
    };
    u32 band;
    if (cm->u32PrevBand <= 1) {
        band = T > H ? 4 : T >= M + 400 ? 3 : T >= M - 200 ? 2 : T < L + 200 ? 0 : 1;
    } else {
        band = T < L + 200 ? 0 : T <= M - 200 ? 1 : T <= M + 399 ? 2 : T <= H ? 3 : 4;
    }
    s16 *out = cm->as16Blended;
    switch (band) {
    case 0:
        memcpy(out, cm->as16LowCcm, sizeof cm->as16LowCcm);
        break;
    case 1:
        band1(out);
        break;
    case 2:
        memcpy(out, cm->as16MidCcm, sizeof cm->as16MidCcm);
        break;
    case 3:
        band3(out);
        break;
    default:
        memcpy(out, cm->as16HighCcm, sizeof cm->as16HighCcm);
        break;
    }
    if (cm->u32PrevBand == 4 && (band == 1 || band == 3))
        band = 4;
    cm->u32Band = band;
    cm->u32PrevBand = band;
    return 0;
}

s32 AwbColorMatrixCalculate(s32 s32Handle, const AWB_FRAME_INPUT_S *in, AWB_CM_STATE_S *cm)
{
    const AWB_WB_STATE_S &wb = g_astAwbCtx[s32Handle].stWb;
    AwbSaturationCalculate(cm, cm->u32Iso, &cm->u8CurSat);
    const s32 q = 2 * cm->u8CurSat;
    for (u32 i = 0; i < 9; i++)
        cm->as16SatCcm[i] = (s16)(((256 - q) * kGrey[i] + q * kIdentity[i] + 128) >> 8);

    s16 out[9];
    if (cm->bManualCcm != 1) {
        AwbMatrixMultiply(cm->as16SatCcm, cm->as16Blended, out, 3, 3, 3);
        if (cm->u32SatOpType == 0) {
            if (cm->bIsoActEn == 1 && cm->u32Iso > 12800)
                toward_identity(out, (s32)std::min<u32>((cm->u32Iso - 12800) >> 3, 2048));
            if (cm->bTempActEn == 1) {
                u32 T = cm->u32SmoothTemp >> 8;
                if (T == 0) {
                    memcpy(out, kIdentity, sizeof out);
                } else {
                    s32 mired = (s32)(1000000 / T);
                    if (mired > 400)
                        toward_identity(out, std::min((mired - 400) * 16, 2048));
                    else if (mired < 125)
                        toward_identity(out, std::min((125 - mired) * 32, 2048));
                }
            }
            const s32 k = cm->u8MultiLSDegree, f = cm->u16MultiLSScaler;
            if (k != 0 && cm->u32MultiLSType == 1) {
                // Mixed light: weight moves off the red and blue diagonals.
                for (u32 row : {0u, 2u}) {
                    s16 &diag = out[row * 4], &other = out[row == 0 ? 2 : 6];
                    if ((u16)diag <= 256)
                        continue;
                    s16 d = (s16)((f * ((diag - other) * k)) >> 16);
                    if (d >= diag - 255)
                        d = (s16)(diag - 256);
                    other = (s16)(other + d);
                    diag = (s16)(diag - d);
                }
            }
        }
        for (u32 i = 0; i < 9; i++)
            cm->au16OutCcm[i] = AwbComplementToDirect(out[i]);
        cm->u16NewTemp = wb.u16ColorTemp;
        AwbCcMatrixCalculate(in, cm);
    } else if (cm->bManualSatEn == 1) {
        for (u32 i = 0; i < 9; i++)
            cm->as16Blended[i] = AwbDirectToComplement(cm->au16ManualCcm[i]);
        AwbMatrixMultiply(cm->as16SatCcm, cm->as16Blended, out, 3, 3, 3);
        for (u32 i = 0; i < 9; i++)
            cm->au16OutCcm[i] = AwbComplementToDirect(out[i]);
    } else {
        memcpy(cm->au16OutCcm, cm->au16ManualCcm, sizeof cm->au16OutCcm);
    }
    return 0;
}

// The white-balance attribute calls: every Set checks the whole record
// first and writes the page of handle 0 only when all passed; Get and Query
// read the page and the ISP's white-balance registers back.
#include "isp/3a/awb/mpi_isp_awb.h"

#include <algorithm>
#include <cstring>

#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/awb/awb_records.h"
#include "isp/3a/common/alg_lib.h"
#include "isp/isp_ctx.h"

namespace {

constexpr s32 AWB_ERR_ILLEGAL = (s32)0xA01C8003;
constexpr s32 AWB_ERR_NULL = (s32)0xA01C8006;

s32 check_rec(s32 dev, const void *p, const char *func)
{
    s32 ret = awb_check_dev(dev, func);
    return ret != 0 ? ret : alg_check_null(p, AWB_ERR_NULL, func);
}

#define AWB_CHECK_REC(dev, rec) ISP_RETURN_IF_FAILED(check_rec(dev, rec, __FUNCTION__))

// Field checks in order; the first failure prints its message (standard
// output) and the rest are skipped.
class Checks {
public:
    template <class... A> Checks &operator()(bool bad, const char *fmt, A... args)
    {
        if (!failed_ && bad) {
            if constexpr (sizeof...(A) == 0)
                fputs(fmt, stdout);
            else
                printf(fmt, args...);
            failed_ = true;
        }
        return *this;
    }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

} // namespace

s32 DU_DUZ_ISP_SetWBAttr(s32 s32Dev, const AWB_WB_SETTINGS_S *pstWBAttr)
{
    AWB_CHECK_REC(s32Dev, pstWBAttr);
    return vreg_set(kAwbWbRecord, awb_page(0), *pstWBAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetWBAttr(s32 s32Dev, AWB_WB_SETTINGS_S *pstWBAttr)
{
    AWB_CHECK_REC(s32Dev, pstWBAttr);
    vreg_get(kAwbWbRecord, awb_page(0), *pstWBAttr);
    u8 *thresh = pstWBAttr->stAuto.stLumaHist.au8HistThresh;
    thresh[0] = 0; // the ends of the luma histogram are not settings
    thresh[5] = 255;
    return 0;
}

s32 DU_DUZ_ISP_SetAWBAttrEx(s32 s32Dev, const AWB_WB_SETTINGS_EX_S *pstAWBAttrEx)
{
    AWB_CHECK_REC(s32Dev, pstAWBAttrEx);
    return vreg_set(kAwbWbExRecord, awb_page(0), *pstAWBAttrEx, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetAWBAttrEx(s32 s32Dev, AWB_WB_SETTINGS_EX_S *pstAWBAttrEx)
{
    AWB_CHECK_REC(s32Dev, pstAWBAttrEx);
    vreg_get(kAwbWbExRecord, awb_page(0), *pstAWBAttrEx);
    return 0;
}

s32 DU_DUZ_ISP_SetCCMAttr(s32 s32Dev, const AWB_CCM_SETTINGS_S *pstCCMAttr)
{
    AWB_CHECK_REC(s32Dev, pstCCMAttr);
    return vreg_set(kAwbCcmRecord, awb_page(0), *pstCCMAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetCCMAttr(s32 s32Dev, AWB_CCM_SETTINGS_S *pstCCMAttr)
{
    AWB_CHECK_REC(s32Dev, pstCCMAttr);
    vreg_get(kAwbCcmRecord, awb_page(0), *pstCCMAttr);
    return 0;
}

s32 DU_DUZ_ISP_SetSaturationAttr(s32 s32Dev, const AWB_SATURATION_SETTINGS_S *pstSatAttr)
{
    AWB_CHECK_REC(s32Dev, pstSatAttr);
    return vreg_set(kAwbSaturationRecord, awb_page(0), *pstSatAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetSaturationAttr(s32 s32Dev, AWB_SATURATION_SETTINGS_S *pstSatAttr)
{
    AWB_CHECK_REC(s32Dev, pstSatAttr);
    vreg_get(kAwbSaturationRecord, awb_page(0), *pstSatAttr);
    return 0;
}

s32 DU_DUZ_ISP_QueryWBInfo(s32 s32Dev, AWB_WB_STATUS_S *pstWBInfo)
{
    AWB_CHECK_REC(s32Dev, pstWBInfo);
    vreg_get(kAwbStatusRecord, awb_page(0), *pstWBInfo);
    return 0;
}

s32 DU_DUZ_ISP_CalGainByTemp(const AWB_WB_SETTINGS_S *pstWBAttr, u16 u16ColorTemp, s16 s16Shift, u16 *pu16AWBGain)
{
    s32 ret = check_rec(0, pstWBAttr, __FUNCTION__);
    if (ret == 0)
        ret = check_rec(0, pu16AWBGain, __FUNCTION__);
    if (ret != 0)
        return ret;
    const s32 *para = pstWBAttr->stAuto.as32CurvePara;
    const u16 *st = pstWBAttr->stAuto.au16StaticGain;
    Checks c;
    c(u16ColorTemp < 1500 || u16ColorTemp > 15000,
      "Invalid input of parameter u16ColorTemp, should be in range of [1500, 15000]!");
    c(s16Shift < -64 || s16Shift > 64, "Invalid input of parameter s16Shift, should be in range of [-64, 64]!");
    c(para[3] == 0, "Invalid input of AWB Curve Para[3]! Should not be Zero!");
    c(para[4] != 128, "Invalid input of AWB Curve Para[4]! Should be 128");
    if (c.failed())
        return AWB_ERR_ILLEGAL;

    // Integer arithmetic in 64 bits; divisions truncate toward zero and a
    // zero divisor gives 0.
    auto div = [](s64 a, s64 b) -> s64 { return b ? a / b : 0; };
    const bool wdr = isp_ext_wdr_mode() != 0;
    const s64 M = 256000000 / u16ColorTemp;
    const s64 x = div((para[3] >> 1) + (M - para[5]) * 256, para[3]);
    const s64 X = x * x;
    const s64 d = para[2] + (X >> 8);
    const s64 Y = div((s64)para[0] * X + (s64)para[1] * 65536 + d / 2, d ? d : 1);
    const s64 a = (X + 128) >> 8, b = (Y + 128) >> 8;
    s64 n = AwbSqrt32((u32)std::min<s64>(a * a + b * b, 0xFFFFFFFF)), h = n >> 1;
    if (n == 0)
        n = 1, h = 0;
    const s64 XR = X + s16Shift * (s64)((u64)(h + X) / (u64)n);
    const s64 YB = Y + s16Shift * (s64)((u64)(h + Y) / (u64)n);
    s64 R = (div(0x1000000, XR) * st[0] + 128) >> 8;
    s64 B = (div(0x1000000, YB) * st[3] + 128) >> 8;
    s64 G = 0x100;
    if (pstWBAttr->stAuto.bGainNormEn == 1) {
        s64 m = std::min<s64>({R, B, 256});
        if (m <= 0)
            m = 1;
        const s64 off = IO_READ32(ISP_STAT_BLACK_REG(1)) & 0xFFF;
        s64 k = off == 0xFFF ? 0x10000 : 0xFFF0000 / (0xFFF - off);
        if (wdr)
            k = (k * k) >> 16;
        k = std::min<s64>(k, 0x20000);
        G = (m / 2 + k) / m;
        R = (R * G + 128) >> 8;
        B = (B * G + 128) >> 8;
    }
    s64 out[4] = {R, G, G, B};
    for (u32 i = 0; i < 4; i++) {
        s64 v = std::clamp<s64>(out[i], 0, 0xFFFFFF);
        if (wdr)
            v = AwbSqrt32((u32)std::min<s64>(v << 8, 0xFFFFFFFF));
        pu16AWBGain[i] = (u16)std::min<s64>(v, 0xFFF);
    }
    return 0;
}

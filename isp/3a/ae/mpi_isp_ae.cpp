// The exposure attribute interface: checks a caller's record and writes it
// into the exposure library's register page, or reads the page (and the
// ISP's weight and histogram registers) back. Every Set checks the whole
// record before it writes anything.
#include "isp/3a/ae/mpi_isp_ae.h"

#include <algorithm>
#include <cstring>

#include "isp/3a/ae/ae_ctx.h"
#include "isp/3a/ae/ae_records.h"

namespace {

// A refused field: its message on standard output and the refusal.
#define AE_REFUSE(cond, ...)                                                                              \
    do {                                                                                                  \
        if (cond) {                                                                                       \
            printf(__VA_ARGS__);                                                                          \
            return AE_ERR_ILLEGAL_PARAM;                                                                  \
        }                                                                                                 \
    } while (0)

s32 check_rec(s32 dev, const void *rec, const char *func)
{
    if (dev != 0) {
        ALG_TRACE(func, "Err AE dev %d in %s!\n", dev, func);
        return AE_ERR_ILLEGAL_PARAM;
    }
    return alg_check_null(rec, AE_ERR_NULL_PTR, func);
}

#define AE_CHECK_REC(dev, rec) ISP_RETURN_IF_FAILED(check_rec(dev, rec, __FUNCTION__))

bool piris_type(s32 dev) { return (IO_READ16(ae_reg(dev, AE_REG_IRIS_TYPE)) & 3) == 1; }

} // namespace

// ---- exposure -----------------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SetExposureAttr(s32 s32Dev, const AE_EXPOSURE_SETTINGS_S *pstExpAttr)
{
    AE_CHECK_REC(s32Dev, pstExpAttr);
    return vreg_set(kAeExposureRecord, ae_page(0), *pstExpAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetExposureAttr(s32 s32Dev, AE_EXPOSURE_SETTINGS_S *pstExpAttr)
{
    AE_CHECK_REC(s32Dev, pstExpAttr);
    vreg_get(kAeExposureRecord, ae_page(0), *pstExpAttr);
    return 0;
}

// ---- WDR exposure ratio -------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SetWDRExposureAttr(s32 s32Dev, const AE_WDR_RATIO_SETTINGS_S *pstWDRExpAttr)
{
    AE_CHECK_REC(s32Dev, pstWDRExpAttr);
    return vreg_set(kAeWdrRatioRecord, ae_page(0), *pstWDRExpAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetWDRExposureAttr(s32 s32Dev, AE_WDR_RATIO_SETTINGS_S *pstWDRExpAttr)
{
    AE_CHECK_REC(s32Dev, pstWDRExpAttr);
    vreg_get(kAeWdrRatioRecord, ae_page(0), *pstWDRExpAttr);
    return 0;
}

// ---- routes -----------------------------------------------------------------------------------------------

namespace {

// One word's range and what is said when it is left.
struct WordLimit {
    u32 lo, hi;
    const char *below, *above;
};

// The node checks of a route: each word in its range in node order, the
// F-number only with a P-iris (its limit last), then the pairs: the
// product may not fall, and where it changes only one word may.
template <u32 W>
s32 check_route(s32 dev, const u32 *words, u32 count, const char *name, const WordLimit (&lim)[W],
                u64 (*gain_of)(const u32 *), const char *equivalent_msg)
{
    if (count > ISP_AE_ROUTE_MAX_NODES) {
        printf("Error! The %s node number %d is larger than 16!\n", name, count);
        return AE_ERR_ILLEGAL_PARAM;
    }
    const bool piris = piris_type(dev);
    for (u32 i = 0; i < count; i++) {
        const u32 *n = words + W * i;
        for (u32 k = 0; k < W; k++) {
            if (k == W - 1 && !piris)
                continue;
            const char *msg = n[k] < lim[k].lo ? lim[k].below : n[k] > lim[k].hi ? lim[k].above : nullptr;
            if (msg) {
                fputs(msg, stdout);
                return AE_ERR_ILLEGAL_PARAM;
            }
        }
        if (equivalent_msg && gain_of(n) > 0x1FFFFFFF) {
            fputs(equivalent_msg, stdout);
            return AE_ERR_ILLEGAL_PARAM;
        }
    }
    auto product = [&](const u32 *n) {
        u64 p = n[0] * gain_of(n);
        return piris ? p << n[W - 1] : p;
    };
    for (u32 i = 0; i + 1 < count; i++) {
        const u32 *a = words + W * i, *b = a + W;
        AE_REFUSE(product(a) > product(b), "Error! The %s node[%d]'s mutiply is larger than node[%d]!\n", name, i,
                  i + 1);
        if (product(a) == product(b))
            continue;
        u32 changed = 0;
        for (u32 k = 0; k < W; k++)
            changed += a[k] != b[k] && (k < W - 1 || piris);
        AE_REFUSE(changed > 1, "Error! The %s node[%d]&node[%d]'s param is illegal!\n", name, i, i + 1);
    }
    return 0;
}

u64 route_gain(const u32 *n) { return n[1]; }
u64 route_ex_gain(const u32 *n) { return ((u64)n[1] * n[2] * n[3]) >> 20; }

const WordLimit kRouteLimits[3] = {
    {1, 0x1FFFFF, "Error! The route node's IntTime should not be less than 1!\n",
     "Error! The route node's IntTime should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFFFF, "Error! The route node's SysGain should not be less than 0x400!\n",
     "Error! The route node's SysGain should not be larger than 0x1FFFFFFF!\n"},
    {0, ISP_IRIS_F_NO_1_0, nullptr, "Error! The route node's IrisFNO should not be larger than ISP_IRIS_F_NO_1_0!\n"},
};

const WordLimit kRouteExLimits[5] = {
    {1, 0x1FFFFF, "Error! The route_ex node's IntTime should not be less than 1!\n",
     "Error! The route_ex node's IntTime should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFF, "Error! The route_ex node's Again should not be less than 0x400!\n",
     "Error! The route_ex node's Again should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFF, "Error! The route_ex node's Dgain should not be less than 0x400!\n",
     "Error! The route_ex node's Dgain should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFF, "Error! The route_ex node's IspDgain should not be less than 0x400!\n",
     "Error! The route_ex node's IspDgain should not be larger than 0x1FFFFF!\n"},
    {0, ISP_IRIS_F_NO_1_0, nullptr,
     "Error! The route_ex node's IrisFNO should not be larger than ISP_IRIS_F_NO_1_0!\n"},
};

} // namespace

s32 ISP_RouteCheck(s32 s32Dev, const AE_ROUTE_TABLE_S *pstRoute)
{
    return check_route(s32Dev, &pstRoute->astRouteNode[0].u32IntTime, pstRoute->u32TotalNum, "route", kRouteLimits,
                       route_gain, nullptr);
}

s32 ISP_RouteExCheck(s32 s32Dev, const AE_ROUTE_EX_TABLE_S *pstRouteEx)
{
    return check_route(s32Dev, &pstRouteEx->astRouteExNode[0].u32IntTime, pstRouteEx->u32TotalNum, "route_ex",
                       kRouteExLimits, route_ex_gain,
                       "Error! The route_ex node's equivalent SysGain should not be larger than 0x1FFFFFFF!\n");
}

s32 DU_DUZ_ISP_SetAERouteAttr(s32 s32Dev, const AE_ROUTE_TABLE_S *pstAERouteAttr)
{
    AE_CHECK_REC(s32Dev, pstAERouteAttr);
    return vreg_set(kAeRouteRecord, ae_page(0), *pstAERouteAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetAERouteAttr(s32 s32Dev, AE_ROUTE_TABLE_S *pstAERouteAttr)
{
    AE_CHECK_REC(s32Dev, pstAERouteAttr);
    memset(pstAERouteAttr, 0, sizeof *pstAERouteAttr);
    vreg_get(kAeRouteRecord, ae_page(0), *pstAERouteAttr);
    return 0;
}

s32 DU_DUZ_ISP_SetAERouteAttrEx(s32 s32Dev, const AE_ROUTE_EX_TABLE_S *pstAERouteAttrEx)
{
    AE_CHECK_REC(s32Dev, pstAERouteAttrEx);
    return vreg_set(kAeRouteExRecord, ae_page(0), *pstAERouteAttrEx, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetAERouteAttrEx(s32 s32Dev, AE_ROUTE_EX_TABLE_S *pstAERouteAttrEx)
{
    AE_CHECK_REC(s32Dev, pstAERouteAttrEx);
    memset(pstAERouteAttrEx, 0, sizeof *pstAERouteAttrEx);
    vreg_get(kAeRouteExRecord, ae_page(0), *pstAERouteAttrEx);
    return 0;
}

// ---- status ------------------------------------------------------------------------------------------------

// A 256-bin word: 12-bit mantissa, 4-bit exponent.
u32 ae_hist_word_decode(u32 word)
{
    const u32 m = word & 0xFFF, e = (word >> 12) & 0xF;
    return e == 0 ? m : (m + 4096) << (e - 1);
}

s32 DU_DUZ_ISP_QueryExposureInfo(s32 s32Dev, AE_EXPOSURE_STATUS_S *pstExpStatus)
{
    AE_CHECK_REC(s32Dev, pstExpStatus);
    AE_EXPOSURE_STATUS_S &s = *pstExpStatus;
    vreg_get(kAeStatusRecord, ae_page(0), s);
    // Bin 2 of five is what the other four leave.
    const u32 sum = s.au16Hist5Value[0] + s.au16Hist5Value[1] + s.au16Hist5Value[3] + s.au16Hist5Value[4];
    s.au16Hist5Value[2] = (u16)(0xFFFF - std::min<u32>(sum, 0xFFFF));
    u64 total = 0, weighted = 0;
    for (u32 i = 0; i < 256; i++) {
        s.au32Hist256Value[i] = ae_hist_word_decode(s.au32Hist256Value[i]);
        total += s.au32Hist256Value[i];
        weighted += (u64)i * s.au32Hist256Value[i];
    }
    s.u8AveLum = total ? (u8)((weighted + total / 2) / total) : 0;
    return 0;
}

// ---- iris -------------------------------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SetIrisAttr(s32 s32Dev, const AE_IRIS_SETTINGS_S *pstIrisAttr)
{
    AE_CHECK_REC(s32Dev, pstIrisAttr);
    return vreg_set(kAeIrisRecord, ae_page(0), *pstIrisAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetIrisAttr(s32 s32Dev, AE_IRIS_SETTINGS_S *pstIrisAttr)
{
    AE_CHECK_REC(s32Dev, pstIrisAttr);
    vreg_get(kAeIrisRecord, ae_page(0), *pstIrisAttr);
    return 0;
}

s32 DU_DUZ_ISP_SetDcirisAttr(s32 s32Dev, const AE_DCIRIS_SETTINGS_S *pstDcirisAttr)
{
    AE_CHECK_REC(s32Dev, pstDcirisAttr);
    return vreg_set(kAeDcirisRecord, ae_page(0), *pstDcirisAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetDcirisAttr(s32 s32Dev, AE_DCIRIS_SETTINGS_S *pstDcirisAttr)
{
    AE_CHECK_REC(s32Dev, pstDcirisAttr);
    vreg_get(kAeDcirisRecord, ae_page(0), *pstDcirisAttr);
    return 0;
}

s32 DU_DUZ_ISP_SetPirisAttr(s32 s32Dev, const AE_PIRIS_SETTINGS_S *pstPirisAttr)
{
    AE_CHECK_REC(s32Dev, pstPirisAttr);
    return vreg_set(kAePirisRecord, ae_page(0), *pstPirisAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetPirisAttr(s32 s32Dev, AE_PIRIS_SETTINGS_S *pstPirisAttr)
{
    AE_CHECK_REC(s32Dev, pstPirisAttr);
    vreg_get(kAePirisRecord, ae_page(0), *pstPirisAttr);
    return 0;
}

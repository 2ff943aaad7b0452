// The ACM attribute and coefficient calls over "/dev/isp_dev", and the ACM
// module, whose only work is its block of the proc text.
#include "isp/isp_acm.h"

#include <cstring>

#include "isp/isp_ctx.h"
#include "isp/isp_hw_regs.h"

namespace {

// The shared descriptor, opened and bound here when the ISP has not.
s32 acm_ioctl(unsigned long request, void *arg)
{
    s32 ret = isp_check_open(0);
    return ret != 0 ? ret : isp_ioctl(request, arg);
}

s32 acm_check(const char *func, s32 dev, const void *p)
{
    s32 ret = isp_check_dev(dev, func);
    if (ret == 0 && !p) {
        ISP_TRACE_AT(func, "Null Pointer!\n");
        ret = DU_ERR_ISP_NULL_PTR;
    }
    return ret;
}

} // namespace

s32 ISP_ACM_GetAttr(ISP_ACM_CFG_S *pstCfg) { return acm_ioctl(ISP_ACM_ATTR_GET, pstCfg); }

s32 ISP_ACM_SetAttr(const ISP_ACM_CFG_S *pstCfg)
{
    const struct {
        u32 value, max;
        const char *name;
    } fields[] = {
        {pstCfg->bEnable, 1, "bEnable"},
        {pstCfg->bDemoEnable, 1, "bDemoEnable"},
        {pstCfg->enMode, 4, "enMode"},
        {pstCfg->u32Stretch, 1, "u32Stretch"},
        {pstCfg->u32ClipRange, 1, "u32ClipRange"},
        {pstCfg->u32AcmClipOrWrap, 1, "u32AcmClipOrWrap"},
        {pstCfg->u32CbcrThr, 512, "u32CbcrThr"},
        {pstCfg->u32GainLuma, 512, "u32GainLuma"},
        {pstCfg->u32GainHue, 512, "u32GainHue"},
        {pstCfg->u32GainSat, 512, "u32GainSat"},
    };
    for (const auto &f : fields) {
        if (f.value > f.max) {
            ISP_TRACE_AT("ACM_CheckAttr", "Error acm attribute error %s:%d\n", f.name, f.value);
            return DU_ERR_ISP_ILLEGAL_PARAM;
        }
    }
    return acm_ioctl(ISP_ACM_ATTR_SET, const_cast<ISP_ACM_CFG_S *>(pstCfg));
}

s32 ISP_ACM_GetCoeff(ISP_ACM_LUT_S *pstLut, u32 u32Mode)
{
    if (u32Mode > 4) {
        ISP_TRACE_AT("ACM_CheckAttr", "Error acm attribute error enMode:%d\n", u32Mode);
        return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    static ISP_ACM_COEF_S rec; // 6 KB, callers are the ISP's and the tuning threads
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    MpiMutexGuard guard(&lock);
    memset(&rec, 0, sizeof rec);
    rec.u32Mode = u32Mode;
    s32 ret = acm_ioctl(ISP_ACM_COEF_GET, &rec);
    if (ret == 0)
        memcpy(pstLut, &rec.stLut, sizeof rec.stLut);
    return ret;
}

s32 ISP_ACM_SetCoeff(const ISP_ACM_LUT_S *pstLut, u32 u32Mode)
{
    static ISP_ACM_COEF_S rec;
    static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    MpiMutexGuard guard(&lock);
    memset(&rec, 0, sizeof rec);
    memcpy(&rec.stLut, pstLut, sizeof rec.stLut);
    rec.u32Mode = u32Mode;
    return acm_ioctl(ISP_ACM_COEF_SET, &rec);
}

s32 DU_DUZ_ISP_SetAcmAttr(s32 s32Dev, const ISP_ACM_CFG_S *pstAcmAttr)
{
    s32 ret = acm_check(__FUNCTION__, s32Dev, pstAcmAttr);
    return ret != 0 ? ret : ISP_ACM_SetAttr(pstAcmAttr);
}

s32 DU_DUZ_ISP_GetAcmAttr(s32 s32Dev, ISP_ACM_CFG_S *pstAcmAttr)
{
    s32 ret = acm_check(__FUNCTION__, s32Dev, pstAcmAttr);
    return ret != 0 ? ret : ISP_ACM_GetAttr(pstAcmAttr);
}

s32 DU_DUZ_ISP_SetAcmCoeff(s32 s32Dev, const ISP_ACM_LUT_S *pstAcmLut, u32 u32Mode)
{
    s32 ret = acm_check(__FUNCTION__, s32Dev, pstAcmLut);
    if (ret != 0)
        return ret;
    if (u32Mode > 4) {
        printf("Invalid ACM Mode %d!\n", u32Mode);
        return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    for (u32 i = 0; i < ACM_Y_NUM; i++)
        for (u32 j = 0; j < ACM_S_NUM; j++)
            for (u32 k = 0; k < ACM_H_NUM; k++) {
                const struct {
                    s16 v;
                    s16 lim;
                    const char *name;
                } planes[] = {{pstAcmLut->as16Y[i][j][k], 256, "as16Y"},
                              {pstAcmLut->as16H[i][j][k], 64, "as16H"},
                              {pstAcmLut->as16S[i][j][k], 256, "as16S"}};
                for (const auto &p : planes) {
                    if (p.v < -p.lim || p.v > p.lim) {
                        printf("Invalid AcmLUT %s[%d][%d][%d]:%d!\n", p.name, i, j, k, p.v);
                        return DU_ERR_ISP_ILLEGAL_PARAM;
                    }
                }
            }
    return ISP_ACM_SetCoeff(pstAcmLut, u32Mode);
}

s32 DU_DUZ_ISP_GetAcmCoeff(s32 s32Dev, ISP_ACM_LUT_S *pstAcmLut, u32 u32Mode)
{
    s32 ret = acm_check(__FUNCTION__, s32Dev, pstAcmLut);
    return ret != 0 ? ret : ISP_ACM_GetCoeff(pstAcmLut, u32Mode);
}

// ---- the module -------------------------------------------------------------------------------

namespace {

// The state the ACM block holds, from its status registers while it is on,
// else the attribute as the driver keeps it.
s32 AcmProcWrite(ISP_DEV, ISP_CTRL_PROC_WRITE_S *pstProc)
{
    ISP_ACM_CFG_S a = {};
    ISP_ACM_GetAttr(&a);
    if (!pstProc || !pstProc->pcProcBuff || pstProc->u32BuffLen == 0)
        return -1;
    isp_proc_printf(pstProc, "-----ACM INFO------------------------------------------------------------------\n");
    isp_proc_printf(pstProc, "%8s%7s%9s%8s%8s%8s%8s%8s%8s%8s", "En", "DemoEn", "Mode", "Stretch", "Clip", "Wrap",
                    "CbcrThr", "GainLuma", "GainHue", "GainSta\n");
    const u32 ctrl = IO_READ32_VI(VI_ACM_CTRL_REG), gain = IO_READ32_VI(VI_ACM_GAIN_REG);
    const u32 on = ctrl >> 31 & 1;
    auto bit = [&](int at, u32 attr) { return on ? ctrl >> at & 1 : attr; };
    isp_proc_printf(pstProc, "%8d%7d%9d%8d%8d%8d%8d%8d%8d%8d", on, bit(30, a.bDemoEnable), a.enMode,
                    bit(29, a.u32Stretch), bit(28, a.u32ClipRange), bit(27, a.u32AcmClipOrWrap),
                    on ? ctrl & 0xFF : a.u32CbcrThr, on ? gain >> 20 & 0x3FF : a.u32GainLuma,
                    on ? gain >> 10 & 0x3FF : a.u32GainHue, on ? gain & 0x3FF : a.u32GainSat);
    return 0;
}

s32 ISP_AcmInit(ISP_DEV) { return 0; }
s32 ISP_AcmRun(ISP_DEV, const void *, void *, s32) { return 0; }
s32 ISP_AcmExit(ISP_DEV) { return 0; }

s32 ISP_AcmCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_PROC_WRITE)
        AcmProcWrite(IspDev, static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue));
    return 0;
}

} // namespace

s32 ISP_AlgRegisterAcm(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_ACM, {ISP_AcmInit, ISP_AcmRun, ISP_AcmCtrl, ISP_AcmExit});
}

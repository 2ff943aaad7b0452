// The white-balance library's lifecycle: registration with the ISP and the
// sensor, init, the per-frame run, control commands and exit. Its register
// page, through which the attribute interface meets the run, is
// du_awb_regs.cpp's.
#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/common/alg_lib.h"

#include <algorithm>
#include <cstring>

#include "isp/isp_math.h"
#include "isp/mpi_isp.h"

AWB_CTX_S g_astAwbCtx[AWB_LIB_MAX];

namespace {

constexpr s32 AWB_ERR_ILLEGAL_PARAM = (s32)0xA01C8003;
constexpr s32 AWB_ERR_NULL_PTR = (s32)0xA01C8006;

// Entry checks, in the order every entry runs them: device, pointers,
// handle, name. 0 or the entry's result.
s32 check_dev(s32 dev, const char *func) { return awb_check_dev(dev, func); }

s32 check_ptr(const void *p, const char *func) { return alg_check_null(p, AWB_ERR_NULL_PTR, func); }
s32 check_handle(s32 id, const char *func) { return alg_check_handle(id, func); }
s32 check_lib(const ALG_LIB_HANDLE_S *lib, const char *func)
{
    return alg_check_lib(lib, AWB_LIB_NAME, AWB_ERR_NULL_PTR, func);
}

// The result the ISP programs before the first full run.
void AwbIspRegsInit(s32 h)
{
    AWB_CTX_S &c = g_astAwbCtx[h];
    AWB_FRAME_RESULT_S &r = c.stResult;
    memset(&r, 0, sizeof r);
    for (u32 i = 0; i < 4; i++)
        r.au32WhiteBalanceGain[i] = (u32)c.stProfile.au16GainOffset[i] << 8;
    memcpy(r.as16ColorMatrix, c.stCm.au16OutCcm, sizeof r.as16ColorMatrix);
    const u16 block1[10] = {940, 16, 512, 512, 128, 128, 512, 128, 512, 128};
    memcpy(r.au16StatThresh, block1, sizeof block1);
    r.bStatCfgUpdate = 1;
    r.bBayerStatUpdate = 1;
    r.au32BayerSwitch[0] = r.au32BayerSwitch[1] = 1;
    r.au16BayerLimit[0] = 4095;
    r.au16BayerLimit[1] = 0;
    const u16 ratio[8] = {304, 288, 64, 64, 304, 64, 288, 64};
    memcpy(&r.au16BayerLimit[2], ratio, sizeof ratio);
}

void refresh_profile(AWB_CTX_S &c)
{
    if (c.stSnsCb.pfn_cmos_get_awb_default)
        c.stSnsCb.pfn_cmos_get_awb_default(&c.stProfile);
}

// A WDR mode change: the profile may differ per mode.
void AwbSetWDRMode(s32 h)
{
    AWB_CTX_S &c = g_astAwbCtx[h];
    refresh_profile(c);
    AwbExtRegsInitialize(h);
    AwbWbInit(&c.stWb, &c.stProfile, 1);
    AwbReadExtRegs(h, false);
    c.u8PreWDRMode = c.u8WDRMode;
}

// ---- gains ------------------------------------------------------------------------------------------

// The largest 16.16 gain the ISP's 12-bit registers can take in the mode.
u32 gain_limit(u8 wdr) { return awb_is_wdr(wdr) ? 0xFFE000u : 0xFFF00u; }

// The black-level offset the normalisation and the Bayer limits look at.
u32 black_offset() { return IO_READ32(ISP_STAT_BLACK_REG(1)) & 0xFFF; }

void compute_gains(AWB_CTX_S &c, u32 black)
{
    u32 *g = c.stResult.au32WhiteBalanceGain;
    const bool wdr = awb_is_wdr(c.u8WDRMode);
    if (c.u8ManualOp) {
        for (u32 i = 0; i < 4; i++) {
            u32 m = c.au16ManualGain[i];
            g[i] = wdr ? m * m : m << 8;
        }
    } else {
        const u16 *st = c.stWb.au16StaticGain;
        g[0] = (u32)st[0] * c.stWb.u16RelR;
        g[1] = (u32)st[1] * c.stWb.u16RelG;
        g[2] = (u32)st[2] * c.stWb.u16RelG;
        g[3] = (u32)st[3] * c.stWb.u16RelB;
        if (c.bGainNormEn) {
            u64 k = black >= 4095 ? 0x10000 : std::min<u64>(0xFFF0000u / (4095 - black), 0x20000);
            if (wdr)
                k = (k * k) >> 16;
            u64 m = std::max<u32>(*std::min_element(g, g + 4), 1);
            u64 s = ((m >> 1) + (k << 8)) / m;
            for (u32 i = 0; i < 4; i++)
                g[i] = (u32)std::min<u64>((s * g[i] + 128) >> 8, 0xFFFFFFFFu);
        }
    }
    for (u32 i = 0; i < 4; i++)
        g[i] = std::min(g[i], gain_limit(c.u8WDRMode));
}

// A colour-ratio limit table at an ISO: linear between the grid points.
s32 table_at(const u16 *t, u32 v)
{
    u32 i = 0;
    while (i < 16 && (100u << i) <= v)
        i++;
    if (i == 16)
        return t[15];
    if (i == 0)
        return t[0];
    u32 lo = 100u << (i - 1), hi = 100u << i;
    s32 w = (s32)(((u64)(v - lo) << 8) / (hi - lo));
    return t[i - 1] + ((w * (t[i] - t[i - 1])) >> 8);
}

// Statistics limits that widen with the ISO as the tables say, more so for
// warm light.
void track_locus(AWB_CTX_S &c, u32 black)
{
    AWB_FRAME_RESULT_S &r = c.stResult;
    const u32 v = c.stWb.u32Exposure;
    const s32 e = (s32)(c.stWb.u32FilteredMired256 >> 8);
    s32 f = e > 284 ? 512 : e > 200 ? (s16)(((3 * e - 515) << 7) / 85) : 128;
    s32 crMax0 = c.au16CrMax[0], cbMax0 = c.au16CbMax[0], crMin0 = c.au16CrMin[0], cbMin0 = c.au16CbMin[0];
    s32 dCrMax = ((table_at(c.au16CrMax, v) - crMax0) * f) >> 8;
    s32 dCbMax = ((table_at(c.au16CbMax, v) - cbMax0) * f) >> 8;
    s32 dCrMin = ((crMin0 - table_at(c.au16CrMin, v)) * f) >> 8;
    s32 dCbMin = ((cbMin0 - table_at(c.au16CbMin, v)) * f) >> 8;
    u16 crMax = (u16)std::max(crMax0 + dCrMax, 0), cbMax = (u16)std::max(cbMax0 + dCbMax, 0);
    u16 crMin = (u16)std::max(crMin0 - dCrMin, 0), cbMin = (u16)std::max(cbMin0 - dCbMin, 0);
    const u16 out[8] = {crMax, cbMax, crMin, cbMin, crMax, crMin, cbMax, cbMin};
    memcpy(&r.au16BayerLimit[2], out, sizeof out);
    u32 upper = IO_READ32(ISP_AWB_BAYER_WHITE_REG) & 0xFFF;
    if (awb_is_wdr(c.u8WDRMode))
        upper = (upper * upper + 2048) >> 12;
    u32 lower = IO_READ32(ISP_AWB_BAYER_BLACK_REG) & 0xFFF;
    r.au16BayerLimit[0] = (u16)upper;
    r.au16BayerLimit[1] = (u16)(lower > black ? lower - black : 0);
    r.bBayerStatUpdate = 1;
}

s32 finish(s32 h, AWB_FRAME_RESULT_S *out)
{
    AwbUpdateExtRegs(h);
    AwbDbgRunEnd(h);
    *out = g_astAwbCtx[h].stResult;
    return 0;
}

// ---- callbacks ---------------------------------------------------------------------------------------

s32 AwbInit(s32 h, const AWB_INIT_PARAM_S *param)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    s32 ret = check_ptr(param, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[h];
    if (!c.bSnsRegistered) {
        printf("Sensor doesn't register to vudi awb(%d)!\n", h);
        return -1;
    }
    if (c.s32SensorId != param->s32SensorId) {
        printf("Awblib's sensor %d and isp's sensor %d doesn't match!\n", c.s32SensorId, param->s32SensorId);
        return -1;
    }
    ret = VReg_Init(AWB_LIB_VREG_BASE((u32)h), ALG_LIB_VREG_SIZE);
    if (ret != 0) {
        printf("Awb lib(%d) vreg init failed!\n", h);
        return ret;
    }
    c.u8WDRMode = c.u8PreWDRMode = param->u8WDRMode;
    c.u8RunInterval = 2;
    c.u32FullRateFrames = 64;
    refresh_profile(c);
    AwbExtRegsDefault(h);
    AwbExtRegsInitialize(h);
    memset(&c.stWb, 0, sizeof c.stWb);
    AwbWbInit(&c.stWb, &c.stProfile, 0);
    AwbCmInit(&c.stCm, &c.stProfile);
    AWBAcmInit(&c.stAcm);
    AwbIspRegsInit(h);
    memset(&c.stDbg, 0, sizeof c.stDbg);
    c.u32FrameCnt = 0;
    c.bInit = 1;
    return 0;
}

s32 AwbRun(s32 h, const AWB_FRAME_INPUT_S *in, AWB_FRAME_RESULT_S *out, s32 rsv)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    s32 ret = check_ptr(in, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(out, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(in->pstAwbStat1, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(in->pstAwbStat2, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[h];
    if (!c.bInit)
        return -1;
    c.u32FrameCnt = in->u32FrameCnt;
    if (c.u32FrameCnt == 1) {
        *out = c.stResult;
        return 0;
    }
    c.u8RunInterval = c.u32FrameCnt > c.u32FullRateFrames ? 2 : 1;
    const bool full = c.u32FrameCnt % c.u8RunInterval == 0;
    AwbReadExtRegs(h, full);
    AWB_FRAME_RESULT_S &r = c.stResult;
    if (c.u8WDRMode != c.u8PreWDRMode) {
        AwbSetWDRMode(h);
        r.au16BayerLimit[1] = 0;
        r.au16BayerLimit[0] = 4095;
        r.bStatCfgUpdate = r.bBayerStatUpdate = 1;
        *out = r;
        return 0;
    }
    r.bStatCfgUpdate = r.bBayerStatUpdate = 0;
    ret = AwbDbgRunBgn(h);
    if (ret != 0) {
        printf("Awb lib(%d) dbg run failed!\n", h);
        return ret;
    }
    if (!full)
        return finish(h, out);

    if (c.bBypass) {
        for (u32 &g : r.au32WhiteBalanceGain)
            g = 0x10000;
    } else {
        AwbWbMatrixCalculate(h, in, &c.stWb);
    }
    AwbColorMatrixCalculate(h, in, &c.stCm);
    AwbAcmCalculate(h, &c.stAcm);
    memcpy(r.as16ColorMatrix, c.stCm.au16OutCcm, sizeof r.as16ColorMatrix);
    if (c.bBypass) {
        *out = r;
        return 0;
    }
    const u32 black = black_offset();
    compute_gains(c, black);
    if (c.bTrackLocusEn)
        track_locus(c, black);
    return finish(h, out);
}

// The gain registers from the latest result, for the new WDR mode.
void program_gains(const AWB_CTX_S &c, u8 mode)
{
    for (u32 i = 0; i < 4; i++) {
        u32 g = c.stResult.au32WhiteBalanceGain[i];
        u32 v = mode == 0 ? std::min<u32>((g + 128) >> 8, 4095) : awb_is_wdr(mode) ? Sqrt32(std::min<u32>(g, 0xFFE000)) & 0xFFF : 0;
        IO_WRITE16(ISP_WB_GAIN_REG(i), v);
    }
}

s32 AwbCtrlCmd(s32 h, u32 cmd, void *value)
{
    const AwbRegs page{h};
    switch (cmd) {
    case AWB_SATURATION_SET:
    case AWB_SATURATION_GET:
    case AWB_DEBUG_ATTR_SET:
    case AWB_DEBUG_ATTR_GET:
    case ISP_WDR_MODE_SET:
    case ISP_PROC_WRITE:
    case ISP_AWB_ISO_SET:
    case ISP_DCFINFO_SET:
    case ISP_AWB_INTTIME_SET:
    case ISP_AWB_PIRIS_SET:
        break;
    default:
        return 0;
    }
    if (cmd != ISP_DCFINFO_SET && check_ptr(value, __FUNCTION__) != 0)
        return AWB_ERR_NULL_PTR;
    switch (cmd) {
    case AWB_SATURATION_SET:
        page.w8(AWB_R_SAT_CUR, *static_cast<u8 *>(value));
        return 0;
    case AWB_SATURATION_GET:
        *static_cast<u8 *>(value) = page.r8(AWB_R_SAT_CUR);
        return 0;
    case AWB_DEBUG_ATTR_SET:
        return AwbDbgSet(h, static_cast<AWB_DBG_ATTR_S *>(value));
    case AWB_DEBUG_ATTR_GET:
        return AwbDbgGet(h, static_cast<AWB_DBG_ATTR_S *>(value));
    case ISP_WDR_MODE_SET: {
        u8 mode = *static_cast<u8 *>(value);
        page.w8(AWB_R_WDR_MODE, mode);
        program_gains(g_astAwbCtx[h], mode);
        return 0;
    }
    case ISP_PROC_WRITE:
        return AwbProcWrite(h, static_cast<ISP_CTRL_PROC_WRITE_S *>(value));
    case ISP_DCFINFO_SET:
        return AwbGetDcfInfo(h, value);
    case ISP_AWB_ISO_SET:
        page.w32(AWB_R_EXP_LEVEL, *static_cast<u32 *>(value));
        return 0;
    case ISP_AWB_INTTIME_SET:
        page.w32(AWB_R_EXP_WORD, *static_cast<u32 *>(value));
        return 0;
    default: // ISP_AWB_PIRIS_SET
        page.w32(AWB_R_EXP_RATIO, *static_cast<u32 *>(value));
        return 0;
    }
}

s32 AwbCtrl(s32 h, u32 cmd, void *value)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    if (!g_astAwbCtx[h].bInit)
        return -1;
    return AwbCtrlCmd(h, cmd, value);
}

s32 AwbExit(s32 h)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    AWB_CTX_S &c = g_astAwbCtx[h];
    if (!c.bInit)
        return 0;
    awb_dbg_release(h);
    s32 ret = VReg_Exit(AWB_LIB_VREG_BASE((u32)h), ALG_LIB_VREG_SIZE);
    if (ret != 0) {
        printf("Awb lib(%d) vreg exit failed!\n", h);
        return ret;
    }
    c.bInit = 0;
    return 0;
}

} // namespace

bool awb_is_wdr(u8 u8Mode) { return u8Mode >= 1 && u8Mode <= 10; }

s32 awb_check_dev(s32 s32Dev, const char *func)
{
    if (s32Dev != 0) {
        ALG_TRACE(func, "Err AWB dev %d in %s!\n", s32Dev, func);
        return AWB_ERR_ILLEGAL_PARAM;
    }
    return 0;
}

s16 AwbDirectToComplement(u16 v)
{
    s32 m = v & 0x7FFF;
    return (s16)((v & 0x8000) ? -m : m);
}

u16 AwbComplementToDirect(s16 v) { return v < 0 ? (u16)(0x8000 | (u16)(-(s32)v)) : (u16)v; }

u32 AwbSqrt32(u32 v) { return Sqrt32(v); }

// ---- registration -------------------------------------------------------------------------------------

s32 DU_DUZ_AWB_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_LIB_CALLBACKS_S cb = {AwbInit, AwbRun, AwbCtrl, AwbExit};
    ret = DU_DUZ_ISP_AWBLibRegCallBack(0, pstAwbLib, &cb);
    if (ret != 0)
        puts("Ve_vod register failed!");
    return ret;
}

s32 DU_DUZ_AWB_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    ret = DU_DUZ_ISP_AWBLibUnRegCallBack(0, pstAwbLib);
    if (ret != 0)
        puts("Ve_vod unregister failed!");
    return ret;
}

s32 DU_DUZ_AWB_SensorRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib, s32 s32SensorId,
                                 const AWB_SENSOR_CALLBACKS_S *pstRegister)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(pstAwbLib, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(pstRegister, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[pstAwbLib->s32Id];
    if (pstRegister->pfn_cmos_get_awb_default)
        pstRegister->pfn_cmos_get_awb_default(&c.stProfile);
    c.stSnsCb = *pstRegister;
    c.s32SensorId = s32SensorId;
    c.bSnsRegistered = 1;
    return 0;
}

s32 DU_DUZ_AWB_SensorUnRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib, s32 s32SensorId)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[pstAwbLib->s32Id];
    memset(&c.stProfile, 0, sizeof c.stProfile);
    memset(&c.stSnsCb, 0, sizeof c.stSnsCb);
    c.s32SensorId = 0;
    c.bSnsRegistered = 0;
    return 0;
}

s32 DU_DUZ_AWB_Ctrl(const ALG_LIB_HANDLE_S *pstAwbLib, u32 u32Cmd, void *pValue)
{
    s32 ret = check_lib(pstAwbLib, __FUNCTION__);
    return ret != 0 ? ret : AwbCtrlCmd(pstAwbLib->s32Id, u32Cmd, pValue);
}

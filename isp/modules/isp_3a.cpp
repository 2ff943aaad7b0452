// The exposure, white-balance and focus bridges: three modules that hand each
// frame's statistics to the registered library of their kind and turn its
// result into register configuration and the exposure summary.
#include "isp/isp_ctx.h"

#include <algorithm>
#include <cstring>

#include "isp/isp_math.h"

namespace {


ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

// The library of the active slot, or null when that slot is empty.
ISP_LIB_NODE_S *active_lib(ISP_LIB_INFO_S &libs)
{
    ISP_LIB_NODE_S &n = libs.astLibs[libs.u32ActiveLib < ISP_MAX_LIB_NUM ? libs.u32ActiveLib : 0];
    return n.bUsed ? &n : nullptr;
}

// ctrl of every used slot of a kind; the last result, -1 when none answered.
template <class GetCtrl> s32 ctrl_all_libs(ISP_LIB_INFO_S &libs, GetCtrl get, u32 cmd, void *value)
{
    s32 ret = -1;
    for (auto &n : libs.astLibs)
        if (n.bUsed)
            if (auto fn = get(n))
                ret = fn(n.stAlgLib.s32Id, cmd, value);
    return ret;
}

template <class GetExit> s32 exit_all_libs(ISP_LIB_INFO_S &libs, GetExit get)
{
    for (auto &n : libs.astLibs)
        if (n.bUsed)
            if (auto fn = get(n))
                fn(n.stAlgLib.s32Id);
    return 0;
}

const u8 *stat_at(const void *stat, u32 offset) { return static_cast<const u8 *>(stat) + offset; }

bool is_wdr(u8 mode) { return mode >= WDR_MODE_BUILT_IN && mode <= WDR_MODE_4To1_FRAME_FULL_RATE; }

// ---- exposure -------------------------------------------------------------------------------------

// Centre-weighted: 2 in the middle rows and columns, 1 elsewhere.
u8 default_weight(u32 row, u32 col)
{
    row++, col++;
    if (row == 5 || row == 6 || row == 10 || row == 11)
        return col >= 6 && col <= 12 ? 2 : 1;
    if (row >= 7 && row <= 9)
        return col >= 5 && col <= 13 ? 2 : 1;
    return 1;
}

s32 ISP_AeInit(ISP_DEV IspDev)
{
    for (u32 i = 0; i < AE_ZONE_ROW * AE_ZONE_COLUMN; i++)
        IO_WRITE8(ISP_AE_WEIGHT_REG(i), default_weight(i / AE_ZONE_COLUMN, i % AE_ZONE_COLUMN) & 0xF);
    AE_INIT_PARAM_S param = {};
    param.s32SensorId = ctx().stBindAttr.SensorId;
    param.u8WDRMode = ctx().u8WDRMode;
    param.f32Fps = ctx().f32Fps;
    for (auto &n : ctx().stAeLibInfo.astLibs)
        if (n.bUsed && n.stAeRegister.pfn_ae_init)
            n.stAeRegister.pfn_ae_init(n.stAlgLib.s32Id, &param);
    return 0;
}

void ae_to_regcfg(const AE_FRAME_RESULT_S &r, ISP_REG_CFG_S *cfg)
{
    if (r.bChange) {
        memcpy(cfg->au8WeightTable, r.au8WeightTable, sizeof cfg->au8WeightTable);
        memcpy(cfg->au8MeteringHistThresh, r.au8MeteringHistThresh, sizeof cfg->au8MeteringHistThresh);
        cfg->u32Key |= ISP_REGCFG_AE_WEIGHT;
    }
    u64 exposure = (u64)r.au32IntTime[0] * r.u32Iso;
    if (r.bPirisValid == 1)
        exposure *= r.u32PirisGain;
    ISP_EXP_REG_CFG_S &e = cfg->stExpCfg;
    e.u32ExposureLow = (u32)exposure;
    e.u32ExposureHigh = (u32)(exposure >> 32);
    memcpy(e.au32IntTime, r.au32IntTime, sizeof e.au32IntTime);
    e.u32IspDgain = r.u32IspDgain;
    e.bPirisValid = r.bPirisValid;
    e.u32Reserved = r.u32Reserved;
    e.enFSWDRMode = r.enFSWDRMode;
    cfg->u32Key |= ISP_REGCFG_AE_EXP;
}

void ae_to_summary(const AE_FRAME_RESULT_S &r)
{
    ISP_CTX_S &c = ctx();
    u32 dgain = r.u32IspDgain ? r.u32IspDgain : 1;
    u32 t0 = r.au32IntTime[0] ? r.au32IntTime[0] : 1;
    c.u32IspDgain = r.u32IspDgain;
    c.u32IspDgainShift = 8;
    c.u32Iso = r.u32Iso;
    c.u32SensorIso = (u32)std::max<u64>(100, ((u64)r.u32Iso * 256) / dgain);
    c.u32ExpRatio = (u32)(((u64)r.au32IntTime[1] * 64) / t0);
    c.u32IntTime = r.au32IntTime[0];
    c.u32PirisGain = r.bPirisValid == 1 ? r.u32PirisGain : 0;
    c.u8SyncInterval = r.u8AERunInterval;
    c.u32FSWDRMode = r.enFSWDRMode;
}

s32 ISP_AeRun(ISP_DEV IspDev, const void *pStatInfo, void *pRegCfg, s32 s32Rsv)
{
    ISP_CTX_S &c = ctx();
    if (c.bSyncSkip)
        return 0;
    AE_FRAME_INPUT_S in;
    in.u32FrameCnt = c.u32FrameCnt;
    in.pstAeStat1 = reinterpret_cast<const ISP_AE_STAT_1_S *>(stat_at(pStatInfo, 0));
    in.pstAeStat2 = reinterpret_cast<const ISP_AE_STAT_2_S *>(stat_at(pStatInfo, 12));
    in.pstAeStat3 = reinterpret_cast<const ISP_AE_STAT_3_S *>(stat_at(pStatInfo, 2568));
    in.pstAeStat4 = reinterpret_cast<const ISP_AE_STAT_4_S *>(stat_at(pStatInfo, 3592));
    in.pstAeStat5 = reinterpret_cast<const ISP_AE_STAT_5_S *>(stat_at(pStatInfo, 3600));
    AE_FRAME_RESULT_S result;
    memset(&result, 0, sizeof result);
    s32 ret = -1;
    ISP_LIB_NODE_S *lib = active_lib(c.stAeLibInfo);
    if (lib && lib->stAeRegister.pfn_ae_run) {
        ret = lib->stAeRegister.pfn_ae_run(lib->stAlgLib.s32Id, &in, &result, 0);
        if (ret != 0)
            printf("WARNING!! run ae lib err 0x%x!\n", ret);
    }
    ae_to_regcfg(result, static_cast<ISP_REG_CFG_S *>(pRegCfg));
    ae_to_summary(result);
    return ret;
}

s32 ISP_AeCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    return ctrl_all_libs(ctx().stAeLibInfo, [](ISP_LIB_NODE_S &n) { return n.stAeRegister.pfn_ae_ctrl; }, u32Cmd,
                         pValue);
}

s32 ISP_AeExit(ISP_DEV IspDev)
{
    return exit_all_libs(ctx().stAeLibInfo, [](ISP_LIB_NODE_S &n) { return n.stAeRegister.pfn_ae_exit; });
}

// ---- white balance ---------------------------------------------------------------------------------

s32 ISP_AwbInit(ISP_DEV IspDev)
{
    const struct {
        u32 addr, value;
    } regs16[] = {
        {ISP_AWB_WHITE_REG, 940},
        {ISP_AWB_BLACK_REG, 64},
        {ISP_AWB_CR_MAX_REG, 512},
        {ISP_AWB_CB_MAX_REG, 512},
        {ISP_AWB_LIMIT_CR_MAX_REG, 512},
        {ISP_AWB_LIMIT_CB_MAX_REG, 512},
        {ISP_AWB_CR_MIN_REG, 128},
        {ISP_AWB_CB_MIN_REG, 128},
        {ISP_AWB_LIMIT_CR_MIN_REG, 128},
        {ISP_AWB_LIMIT_CB_MIN_REG, 128},
        {ISP_AWB_BAYER_WHITE_REG, 4095},
        {ISP_AWB_BAYER_BLACK_REG, 0},
        {ISP_AWB_BAYER_CR_MAX_REG, 384},
        {ISP_AWB_BAYER_CB_MAX_REG, 384},
        {ISP_AWB_BAYER_LIMIT_CR_MAX_REG, 384},
        {ISP_AWB_BAYER_LIMIT_CB_MAX_REG, 384},
        {ISP_AWB_BAYER_CR_MIN_REG, 64},
        {ISP_AWB_BAYER_CB_MIN_REG, 64},
        {ISP_AWB_BAYER_LIMIT_CR_MIN_REG, 64},
        {ISP_AWB_BAYER_LIMIT_CB_MIN_REG, 64},
        {ISP_TONE_GAIN_REG(0), ISP_GAIN_ONE},
        {ISP_TONE_GAIN_REG(1), ISP_GAIN_ONE},
        {ISP_TONE_GAIN_REG(2), ISP_GAIN_ONE},
    };
    for (const auto &r : regs16)
        IO_WRITE16(r.addr, r.value);
    IO_WRITE8(ISP_AWB_ZONE_COLS_REG, AE_ZONE_COLUMN);
    IO_WRITE8(ISP_AWB_ZONE_ROWS_REG, AE_ZONE_ROW);
    IO_WRITE8(ISP_AWB_BAYER_ZONE_COLS_REG, AE_ZONE_COLUMN);
    IO_WRITE8(ISP_AWB_BAYER_ZONE_ROWS_REG, AE_ZONE_ROW);
    AWB_INIT_PARAM_S param = {};
    param.s32SensorId = ctx().stBindAttr.SensorId;
    param.u8WDRMode = ctx().u8WDRMode;
    for (auto &n : ctx().stAwbLibInfo.astLibs)
        if (n.bUsed && n.stAwbRegister.pfn_awb_init)
            n.stAwbRegister.pfn_awb_init(n.stAlgLib.s32Id, &param);
    return 0;
}

} // namespace

// The white-balance result as register configuration. WDR statistics are
// squared values, so their limits and the gains go through a square root.
void AwbCfgReg(const AWB_FRAME_RESULT_S *pstResult, u8 u8WDRMode, ISP_REG_CFG_S *pstRegCfg)
{
    const bool wdr = is_wdr(u8WDRMode);
    const bool beyond = u8WDRMode > WDR_MODE_4To1_FRAME_FULL_RATE;
    if (pstResult->bStatCfgUpdate) {
        for (u32 i = 0; i < 10; i++) {
            u32 v = pstResult->au16StatThresh[i];
            u32 max = i < 2 ? 1023 : 4095;
            u32 scaled = !wdr ? v : Sqrt32(v * (i < 2 ? 1024 : 256));
            pstRegCfg->au16AwbStatThresh[i] = (u16)std::min(scaled, max);
        }
        pstRegCfg->u32Key |= ISP_REGCFG_AWB_STAT;
    }
    if (pstResult->bBayerStatUpdate) {
        pstRegCfg->u32BayerSwitchA = pstResult->au32BayerSwitch[0];
        pstRegCfg->u32BayerSwitchB = pstResult->au32BayerSwitch[1];
        u32 black = IO_READ16(ISP_STAT_BLACK_REG(0)) & 0xFFF;
        for (u32 i = 0; i < 10; i++) {
            u32 v = pstResult->au16BayerLimit[i];
            u32 out;
            if (i == 1)
                out = (beyond ? pstRegCfg->au16BayerLimit[1] : v) + black;
            else if (!wdr)
                out = v;
            else
                out = Sqrt32(v * (i == 0 ? 4096 : 256));
            pstRegCfg->au16BayerLimit[i] = (u16)std::min<u32>(out, 4095);
        }
        pstRegCfg->u32Key |= ISP_REGCFG_AWB_BAYER;
    }
    for (u32 i = 0; i < CCM_MATRIX_SIZE; i++)
        pstRegCfg->au16ColorMatrix[i] = (u16)pstResult->as16ColorMatrix[i];
    if (!beyond) {
        for (u32 i = 0; i < 4; i++) {
            u32 g = pstResult->au32WhiteBalanceGain[i];
            pstRegCfg->au32WhiteBalanceGain[i] = wdr ? Sqrt32(std::min<u32>(g, 0xFFE000)) : std::min<u32>((g + 128) / 256, 4095);
        }
    }
    pstRegCfg->u32Key |= ISP_REGCFG_AWB_GAIN;
}

namespace {

s32 ISP_AwbRun(ISP_DEV IspDev, const void *pStatInfo, void *pRegCfg, s32 s32Rsv)
{
    ISP_CTX_S &c = ctx();
    if (c.bSyncSkip)
        return 0;
    for (auto &n : c.stAwbLibInfo.astLibs) {
        if (!n.bUsed || !n.stAwbRegister.pfn_awb_ctrl)
            continue;
        n.stAwbRegister.pfn_awb_ctrl(n.stAlgLib.s32Id, ISP_AWB_ISO_SET, &c.u32Iso);
        n.stAwbRegister.pfn_awb_ctrl(n.stAlgLib.s32Id, ISP_AWB_INTTIME_SET, &c.u32IntTime);
        n.stAwbRegister.pfn_awb_ctrl(n.stAlgLib.s32Id, ISP_AWB_PIRIS_SET, &c.u32PirisGain);
    }
    AWB_FRAME_INPUT_S in;
    in.u32FrameCnt = c.u32FrameCnt;
    u8 *stat = static_cast<u8 *>(const_cast<void *>(pStatInfo));
    in.pstAwbStat1 = reinterpret_cast<const ISP_AWB_STAT_1_S *>(stat + 5640);
    in.pstAwbStat2 = reinterpret_cast<const ISP_AWB_STAT_2_S *>(stat + 5648);
    in.pstAwbStat3 = reinterpret_cast<ISP_AWB_STAT_3_S *>(stat + 7178);
    in.pstAwbStat4 = reinterpret_cast<ISP_AWB_STAT_4_S *>(stat + 7190);
    AWB_FRAME_RESULT_S result;
    memset(&result, 0, sizeof result);
    ISP_LIB_NODE_S *lib = active_lib(c.stAwbLibInfo);
    if (!lib || !lib->stAwbRegister.pfn_awb_run)
        return -1; // nothing ran: zero gains would black out the picture
    s32 ret = lib->stAwbRegister.pfn_awb_run(lib->stAlgLib.s32Id, &in, &result, 0);
    if (ret != 0)
        printf("WARNING!! run awb lib err 0x%x!\n", ret);
    AwbCfgReg(&result, c.u8WDRMode, static_cast<ISP_REG_CFG_S *>(pRegCfg));
    return ret;
}

s32 ISP_AwbCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    return ctrl_all_libs(ctx().stAwbLibInfo, [](ISP_LIB_NODE_S &n) { return n.stAwbRegister.pfn_awb_ctrl; }, u32Cmd,
                         pValue);
}

s32 ISP_AwbExit(ISP_DEV IspDev)
{
    return exit_all_libs(ctx().stAwbLibInfo, [](ISP_LIB_NODE_S &n) { return n.stAwbRegister.pfn_awb_exit; });
}

// ---- focus -------------------------------------------------------------------------------------------

s32 ISP_AfInit(ISP_DEV IspDev)
{
    AF_INIT_PARAM_S param = {ctx().stBindAttr.SensorId};
    for (auto &n : ctx().stAfLibInfo.astLibs)
        if (n.bUsed && n.stAfRegister.pfn_af_init)
            n.stAfRegister.pfn_af_init(n.stAlgLib.s32Id, &param);
    return 0;
}

s32 ISP_AfRun(ISP_DEV IspDev, const void *pStatInfo, void *pRegCfg, s32 s32Rsv)
{
    ISP_CTX_S &c = ctx();
    if (c.bSyncSkip)
        return 0;
    ISP_LIB_NODE_S *lib = active_lib(c.stAfLibInfo);
    if (!lib || !lib->stAfRegister.pfn_af_run)
        return -1;
    AF_FRAME_INPUT_S in = {c.u32FrameCnt, reinterpret_cast<const ISP_AF_STAT_S *>(stat_at(pStatInfo, 10250))};
    AF_FRAME_RESULT_S result = {0};
    s32 ret = lib->stAfRegister.pfn_af_run(lib->stAlgLib.s32Id, &in, &result, 0);
    if (ret != 0)
        printf("WARNING!! run af lib err 0x%x!\n", ret);
    return ret;
}

s32 ISP_AfCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    return ctrl_all_libs(ctx().stAfLibInfo, [](ISP_LIB_NODE_S &n) { return n.stAfRegister.pfn_af_ctrl; }, u32Cmd,
                         pValue);
}

s32 ISP_AfExit(ISP_DEV IspDev)
{
    return exit_all_libs(ctx().stAfLibInfo, [](ISP_LIB_NODE_S &n) { return n.stAfRegister.pfn_af_exit; });
}

} // namespace

s32 ISP_AlgRegisterAe(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_AE, {ISP_AeInit, ISP_AeRun, ISP_AeCtrl, ISP_AeExit});
}

s32 ISP_AlgRegisterAwb(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_AWB, {ISP_AwbInit, ISP_AwbRun, ISP_AwbCtrl, ISP_AwbExit});
}

s32 ISP_AlgRegisterAf(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_AF, {ISP_AfInit, ISP_AfRun, ISP_AfCtrl, ISP_AfExit});
}

// Frame-switch WDR: the stitching path is switched in for the WDR modes
// that combine exposures and bypassed otherwise; every frame its stitch
// error threshold follows the ISO, tighter as noise grows.
#include "isp/modules/isp_iq.h"

namespace {

constexpr u32 kThreshMax = 0xFFF;
constexpr u16 kRatioUnity = 64;     // exposure ratio 1x
constexpr u32 kErrThreshBase = 64;  // the threshold at ISO 200 and below

using Fs = ISP_FSWDR_ATTR_S;
#define F(m) VREG_MEMBER(Fs, m)
constexpr vreg_field kFswdrFields[] = {
    isp_bool_field(ISP_FSWDR_CTRL_REG, 1, F(bEnable), ISP_FSWDR_CTRL_ENABLE),
    vreg_reg(ISP_FSWDR_SHORT_REG, 2, F(u16ShortThresh))
        .bits(kThreshMax)
        .check(refuse_above(kThreshMax, "Invalid u16ShortThresh %d!\n").with(VREG_ARGS_VALUE)),
    vreg_rule(F(u16LongThresh), refuse_above(kThreshMax, "Invalid u16LongThresh %d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(ISP_FSWDR_LONG_REG, 2, F(u16LongThresh))
        .bits(kThreshMax)
        .check(refuse_above_member(F(u16ShortThresh), "u16LongThresh should NOT be larger than u16ShortThresh!")),
    vreg_reg(ISP_FSWDR_CTRL_REG, 1, F(enFSWDRComMode))
        .bits(ISP_FSWDR_CTRL_COM_MODE)
        .check(refuse_above(1, "Invalid enFSWDRComMode %d!\n").with(VREG_ARGS_VALUE)),
};
#undef F
constexpr vreg_table<Fs> kFswdrRecord = vreg_table_of<Fs>(kFswdrFields, DU_ERR_ISP_ILLEGAL_PARAM);

u32 g_u32StitchErrThresh;

void FrameWDREnable(void)
{
    io_update8(ISP_FSWDR_BYPASS_REG, ISP_FSWDR_BYPASS, 0);
    io_update8(ISP_FSWDR_CTRL_REG, 0, ISP_FSWDR_CTRL_PATH);
    IO_WRITE16(ISP_FSWDR_RATIO_REG, kRatioUnity);
    io_update8(ISP_FSWDR_PATH_REG, 0, ISP_FSWDR_PATH_ON);
    io_update8(ISP_FSWDR_CTRL_REG, 0, ISP_FSWDR_CTRL_ENABLE);
    io_update8(ISP_FSWDR_CTRL_REG, 0, ISP_FSWDR_CTRL_STITCH);
}

void FrameWDRDisable(void)
{
    io_update8(ISP_FSWDR_BYPASS_REG, 0, ISP_FSWDR_BYPASS);
    io_update8(ISP_FSWDR_CTRL_REG, ISP_FSWDR_CTRL_PATH, 0);
    IO_WRITE16(ISP_FSWDR_RATIO_REG, kRatioUnity);
    io_update8(ISP_FSWDR_PATH_REG, ISP_FSWDR_PATH_ON, 0);
}

void path_for(u8 mode)
{
    if (isp_is_stitch_mode(mode))
        FrameWDREnable();
    else if (mode <= WDR_MODE_BUILT_IN)
        FrameWDRDisable();
}

s32 ISP_FrameWDRInit(ISP_DEV)
{
    io_update8(ISP_FSWDR_CTRL_REG, ISP_FSWDR_CTRL_STITCH, 0);
    g_u32StitchErrThresh = kErrThreshBase;
    IO_WRITE16(ISP_FSWDR_ERR_THRESH_REG, kErrThreshBase);
    path_for(g_astIspCtx[0].u8WDRMode);
    return 0;
}

// ISO 100 .. 12800 on a log scale takes 0 .. 48 off the threshold.
s32 ISP_FrameWDRRun(ISP_DEV, const void *, void *, s32)
{
    if (g_astIspCtx[0].bSyncSkip)
        return 0;
    static const u32 xs[] = {1, 2, 4, 8, 16, 32, 64, 128};
    static const s32 ys[] = {0, 0, 8, 16, 24, 32, 40, 48};
    const s32 a = transition(xs, ys, 8, (u32)((u64)isp_iso() * 128 / 100), 7);
    g_u32StitchErrThresh = kErrThreshBase - (u32)a;
    IO_WRITE16(ISP_FSWDR_ERR_THRESH_REG, g_u32StitchErrThresh);
    return 0;
}

s32 ISP_FrameWDRCtrl(ISP_DEV, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_WDR_MODE_SET)
        path_for(*static_cast<const u8 *>(pValue));
    return 0;
}

s32 ISP_FrameWDRExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterFrameWDR(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_FRAMEWDR,
                            {ISP_FrameWDRInit, ISP_FrameWDRRun, ISP_FrameWDRCtrl, ISP_FrameWDRExit});
}

s32 DU_DUZ_ISP_SetFSWDRAttr(ISP_DEV IspDev, const ISP_FSWDR_ATTR_S *pstFSWDRAttr)
{
    return isp_iq_regs(kFswdrRecord, IspDev, pstFSWDRAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetFSWDRAttr(ISP_DEV IspDev, ISP_FSWDR_ATTR_S *pstFSWDRAttr)
{
    return isp_iq_regs(kFswdrRecord, IspDev, pstFSWDRAttr, __FUNCTION__);
}

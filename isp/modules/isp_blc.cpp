// Black-level subtraction: the levels the sensor reports, or the user's when
// the attribute call asks for them, turned into the ISP's common level and
// per-channel offsets; frame-stitching WDR takes its own fixed set.
#include "isp/modules/isp_iq.h"

#include <algorithm>

namespace {

constexpr u32 kExtUserLevel = 0x125A4;  // u16 x 4, two bytes apart
constexpr u32 kExtUpdate = 0x125AC;     // bit 0: the user's levels wait to be taken
constexpr u32 kExtLevelInForce = 0x125C0; // u16 x 4, four bytes apart
constexpr u32 kLevelMax = 4095;

// The stitching path's levels: its own common level and statistics black,
// and the floor it measures the offsets from when it is bypassed.
constexpr u32 kWdrCommon = 5328, kWdrStatBlack = 333, kWdrScale = 512, kWdrOffsetFloor = 32;

using BL = ISP_BLACK_LEVEL_S;
constexpr vreg_field kLevelFields[] = {
    vreg_reg(kExtUserLevel, 2, VREG_MEMBER(BL, au16BlackLevel))
        .check(refuse_above(kLevelMax, "Invalid BlackLevel[%d]:%d!\n").with(VREG_ARGS_INDEX_VALUE).printed(VREG_TO_TRACE)),
};
constexpr vreg_table<BL> kLevelRecord = vreg_table_of<BL>(kLevelFields, DU_ERR_ISP_ILLEGAL_PARAM)
                                            .updating(vreg_const(kExtUpdate, 1, 1).bits(0x1));

struct BlcState {
    u8 u8UpdateRequest;
    u16 au16Level[4];
    u8 u8PreBypassFSWDR;
};
BlcState g_blc;

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

u32 offset_code(u32 level, u32 floor) { return ((level - floor) * 4) & 0x3FFC; }

void write_offsets(const u16 levels[4], u32 floor)
{
    for (u32 c = 0; c < 4; c++)
        IO_WRITE16(ISP_BLC_OFFSET_REG(c), offset_code(levels[c], floor));
}

// The levels in force: the common level is the lowest, each channel's
// offset what it has above it.
void BlcRegsConfig(const u16 levels[4])
{
    const u32 m = *std::min_element(levels, levels + 4);
    for (u32 c = 0; c < 4; c++)
        IO_WRITE16(kExtLevelInForce + 4 * c, levels[c]);
    write_offsets(levels, m);
    const ISP_CTX_S &c = ctx();
    if (c.u8WDRMode <= WDR_MODE_BUILT_IN) {
        IO_WRITE16(ISP_BLC_COMMON_REG, (m << 4) & 0xFFF0);
        for (u32 k = 0; k < 4; k++)
            IO_WRITE16(ISP_STAT_BLACK_REG(k), m & 0xFFF);
    } else if (isp_is_stitch_mode(c.u8WDRMode)) {
        IO_WRITE16(ISP_BLC_WDR_LONG_REG, m & 0xFFF);
        IO_WRITE16(ISP_BLC_WDR_SHORT_REG, m & 0xFFF);
        IO_WRITE16(ISP_BLC_WDR_SCALE_REG, kWdrScale);
        IO_WRITE16(ISP_BLC_COMMON_REG, kWdrCommon);
        for (u32 k = 0; k < 4; k++)
            IO_WRITE16(ISP_STAT_BLACK_REG(k), kWdrStatBlack);
        const bool bypassed = IO_READ8(ISP_FSWDR_BYPASS_REG) & ISP_FSWDR_BYPASS;
        if (bypassed && m >= kWdrOffsetFloor && c.u8WDRMode == c.u8PreWDRMode)
            write_offsets(levels, kWdrOffsetFloor);
    }
}

void read_user_levels(u16 out[4])
{
    for (u32 c = 0; c < 4; c++)
        out[c] = (u16)IO_READ16(kExtUserLevel + 2 * c);
}

s32 ISP_BlcInit(ISP_DEV IspDev)
{
    io_update8(ISP_MODULE_CTRL_REG, ISP_MODULE_BLC_BYPASS, 0);
    vreg_done(kLevelRecord, 0);
    g_blc.u8UpdateRequest = 0;
    for (u32 c = 0; c < 4; c++) {
        IO_WRITE16(kExtUserLevel + 2 * c, 0);
        IO_WRITE16(kExtLevelInForce + 4 * c, 0);
    }
    const ISP_SENSOR_BLC_S *sensor = ISP_SensorGetBlc(IspDev);
    BlcRegsConfig(sensor->au16BlackLevel);
    for (u32 c = 0; c < 4; c++) {
        g_blc.au16Level[c] = sensor->au16BlackLevel[c];
        IO_WRITE16(kExtUserLevel + 2 * c, sensor->au16BlackLevel[c]);
    }
    return 0;
}

// Every even frame: the sensor's new levels first, else the user's; and
// again whenever the stitching path was switched in or out.
s32 ISP_BlcRun(ISP_DEV IspDev, const void *, void *, s32)
{
    const ISP_CTX_S &c = ctx();
    if (c.bSyncSkip || (c.u32FrameCnt & 1))
        return 0;
    g_blc.u8UpdateRequest = vreg_pending(kLevelRecord, 0);
    read_user_levels(g_blc.au16Level);
    const ISP_SENSOR_BLC_S *sensor = ISP_SensorGetBlc(IspDev);
    if (sensor->bUpdate == 1) {
        ISP_SensorUpdateBlc(IspDev);
        BlcRegsConfig(sensor->au16BlackLevel);
    } else if (g_blc.u8UpdateRequest) {
        BlcRegsConfig(g_blc.au16Level);
        g_blc.u8UpdateRequest = 0;
        vreg_done(kLevelRecord, 0);
    }
    const u8 bypass = (IO_READ8(ISP_FSWDR_BYPASS_REG) & ISP_FSWDR_BYPASS) ? 1 : 0;
    if (bypass != g_blc.u8PreBypassFSWDR) {
        BlcRegsConfig(g_blc.au16Level);
        g_blc.u8PreBypassFSWDR = bypass;
    }
    return 0;
}

s32 ISP_BlcCtrl(ISP_DEV IspDev, u32 u32Cmd, void *)
{
    if (u32Cmd == ISP_WDR_MODE_SET)
        ISP_BlcInit(IspDev);
    return 0;
}

s32 ISP_BlcExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterBlc(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_BLC, {ISP_BlcInit, ISP_BlcRun, ISP_BlcCtrl, ISP_BlcExit});
}

s32 DU_DUZ_ISP_SetBlackLevelAttr(ISP_DEV IspDev, const ISP_BLACK_LEVEL_S *pstBlackLevel)
{
    return isp_iq_regs(kLevelRecord, IspDev, pstBlackLevel, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetBlackLevelAttr(ISP_DEV IspDev, ISP_BLACK_LEVEL_S *pstBlackLevel)
{
    return isp_iq_regs(kLevelRecord, IspDev, pstBlackLevel, __FUNCTION__);
}

// Fixed-pattern-noise correction, done by the video input: the ISP checks
// the calibration and correction records and hands them to the video input's
// driver, and in auto mode rescales the correction's strength every third
// frame from the ISO at calibration and the ISO now.
#include "isp/modules/isp_iq.h"

#include <cstring>

#include "board/board.h"
#include "mpi/video/vi/vi_requests.h"

namespace {

// Ext registers.
constexpr u32 kExtManualStrength = 0x1230E; // u16
constexpr u32 kExtOpType = 0x12310;         // u8; kOpTypeUnset until a correction is set
constexpr u32 kExtRefresh = 0x12312;        // u8: the strength is to be worked out again
constexpr u32 kExtConfigured = 0x12314;     // u8: a correction was set
constexpr u32 kExtCalibIso = 0x12317;       // 32 bits, not word-aligned: taken a byte at a time
constexpr u32 kExtIso = 0x125B0;            // u32: the ISO now
constexpr u8 kOpTypeUnset = 15;

constexpr u32 kStrengthMax = 1023, kOffsetMax = 0xFFF;
constexpr u32 kRefreshFrames = 3; // u32IspIntCnt
constexpr u32 kCompressNone = 0, kCompressFrame = 4;
constexpr u32 kRaw8 = 12, kRaw10 = 13, kRaw12 = 14, kRaw16 = 16;

struct FpnState {
    u32 u32LastIso; // g_s32Iso: the ISO at the last strength update
    s32 s32ViFd;    // g_s32ViFd
};
FpnState g_fpn = {0, -1};

u32 ext_read32_bytes(u32 addr)
{
    u32 v = 0;
    for (u32 i = 0; i < 4; i++)
        v |= IO_READ8(addr + i) << (8 * i);
    return v;
}

void ext_write32_bytes(u32 addr, u32 v)
{
    for (u32 i = 0; i < 4; i++)
        IO_WRITE8(addr + i, v >> (8 * i) & 0xFF);
}

// (ISO << 8) / calibration ISO, 256 at the calibration's ISO, at most 1023.
u32 iso_strength(u32 iso, u32 calib_iso)
{
    if (calib_iso == 0)
        return 0;
    return (u32)std::min<u64>(((u64)iso << 8) / calib_iso, kStrengthMax);
}

#define FPN_REFUSE(cond, ...)                                                                              \
    do {                                                                                                   \
        if (cond) {                                                                                        \
            ISP_TRACE_AT(func, __VA_ARGS__);                                                               \
            return DU_ERR_ISP_ILLEGAL_PARAM;                                                               \
        }                                                                                                  \
    } while (0)

// What both records must say of the dark frame and its type.
s32 check_frame(const char *func, u32 type, const VI_FPN_FRAME_INFO_S &f)
{
    FPN_REFUSE(f.u32Iso == 0, "Invalid fpn ISO(%d)!\n", f.u32Iso);
    FPN_REFUSE(f.u32Offset > kOffsetMax, "Invalid fpn offset, can't be larger than 0xFFF!\n");
    FPN_REFUSE(type > ISP_FPN_TYPE_LINE, "Invalid fpn Mode, should be in {line, frame} mode!\n");
    FPN_REFUSE(f.enCompressMode != kCompressNone && f.enCompressMode != kCompressFrame,
               "fpn compress can only be {none(%d), frame(%d)} mode!\n", kCompressNone, kCompressFrame);
    const bool compressed = f.enCompressMode != kCompressNone;
    if (type == ISP_FPN_TYPE_LINE) {
        FPN_REFUSE(f.enPixelFormat != kRaw16, "only support 16bit fpn in line mode!\n");
        FPN_REFUSE(compressed, "fpn compress is not supported in line mode!\n");
    } else {
        const u32 p = f.enPixelFormat;
        FPN_REFUSE(p != kRaw8 && p != kRaw10 && p != kRaw12 && p != kRaw16,
                   "enPixelFormat invalid(%d), only support Raw8,Raw10,Raw12,Raw16.\n", p);
        FPN_REFUSE(p == kRaw16 && compressed, "fpn compress is not supported in 16bit frame mode!\n");
    }
    return 0;
}

s32 check_correction(const char *func, const ISP_FPN_ATTR_S &a)
{
    FPN_REFUSE(a.enOpType > OP_TYPE_MANUAL, "Invalid fpn op type!\n");
    FPN_REFUSE(a.bEnable > 1, "Invalid fpn enable, must be {true, false}!\n");
    FPN_REFUSE(a.u32Strength > kStrengthMax, "Invalid fpn strength, over 1023!\n");
    return check_frame(func, a.enFpnType, a.stFpnFrmInfo);
}

#undef FPN_REFUSE

// The video input's descriptor of channel 0, opened once.
s32 vi_fd(s32 *fd)
{
    if (g_fpn.s32ViFd < 1) {
        s32 ret = DU_DUZ_VI_GetFd(0);
        if (ret < 0) {
            printf("open chn %d err, ret:%d \n", 0, ret);
            return ERR_VI_SYS_NOTREADY;
        }
        g_fpn.s32ViFd = ret;
    }
    *fd = g_fpn.s32ViFd;
    return 0;
}

s32 vi_request(unsigned long request, void *rec)
{
    s32 fd;
    s32 ret = vi_fd(&fd);
    return ret != 0 ? ret : bd_ioctl(fd, request, rec);
}

// The strength in force, in bits 16-31 of both strength registers (the
// offset in bits 0-11 stays).
void write_strength(u32 strength)
{
    for (u32 i = 0; i < 2; i++)
        IO_WRITE32_VI(VI_FPN_CFG_REG(i), (IO_READ32_VI(VI_FPN_CFG_REG(i)) & kOffsetMax) | strength << 16);
}

bool correction_on()
{
    return (IO_READ32_VI(VI_FPN_CTRL_REG) & (VI_FPN_CTRL_ON | VI_FPN_CTRL_CALIBRATING)) == VI_FPN_CTRL_ON;
}

// ---- the module ---------------------------------------------------------------------------------------

s32 ISP_FPNInit(ISP_DEV)
{
    g_fpn.u32LastIso = 0;
    IO_WRITE8(kExtConfigured, 0);
    IO_WRITE16(kExtManualStrength, 0);
    IO_WRITE8(kExtOpType, kOpTypeUnset);
    IO_WRITE8(kExtRefresh, 0);
    IO_WRITE32(kExtIso, 0);
    return 0;
}

// The ISO now for the calls; every third frame in auto mode, the strength
// again when the ISO moved or a new correction asks for it.
s32 ISP_FPNRun(ISP_DEV, const void *, void *, s32)
{
    const ISP_CTX_S &c = g_astIspCtx[0];
    const u32 iso = c.u32SensorIso;
    IO_WRITE32(kExtIso, iso);
    if (c.u32FrameCnt % kRefreshFrames != 0 || IO_READ8(kExtOpType) == OP_TYPE_MANUAL)
        return 0;
    const bool refresh = IO_READ8(kExtRefresh) != 0;
    if (correction_on() ? iso == g_fpn.u32LastIso && !refresh : !refresh)
        return 0;
    IO_WRITE8(kExtRefresh, 0);
    write_strength(iso_strength(iso, ext_read32_bytes(kExtCalibIso)));
    g_fpn.u32LastIso = iso;
    return 0;
}

void FpnProcWrite(ISP_CTRL_PROC_WRITE_S *proc)
{
    isp_proc_printf(proc, "-----FPN INFO------------------------------------------------------------------\n");
    isp_proc_printf(proc, "%8s%7s%9s%8s", "En", "OpType", "Strength", "Offset\n");
    if (correction_on()) {
        const u32 cfg = IO_READ32_VI(VI_FPN_CFG_REG(0));
        isp_proc_printf(proc, "%8d%4d%9d%8d\n", 1, IO_READ8(kExtOpType), cfg >> 16, cfg & 0xFFFF);
    } else {
        isp_proc_printf(proc, "%8d%4s%9s%8s\n", 0, "--", "--", "--");
    }
}

s32 ISP_FPNCtrl(ISP_DEV, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_PROC_WRITE)
        FpnProcWrite(static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue));
    return 0;
}

s32 ISP_FPNExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterFPN(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_FPN, {ISP_FPNInit, ISP_FPNRun, ISP_FPNCtrl, ISP_FPNExit});
}

s32 DU_DUZ_ISP_FPNCalibrate(ISP_DEV IspDev, ISP_FPN_CALIBRATE_ATTR_S *pstCalibrateAttr)
{
    s32 ret = isp_iq_check(IspDev, pstCalibrateAttr, __FUNCTION__);
    if (ret != 0)
        return ret;
    ISP_FPN_CALIBRATE_ATTR_S &a = *pstCalibrateAttr;
    a.stFpnFrmInfo.u32Iso = IO_READ32(kExtIso);
    if ((ret = check_frame(__FUNCTION__, a.enFpnType, a.stFpnFrmInfo)) != 0)
        return ret;
    VI_FPN_CALIBRATE_REQ_S req = {};
    req.enFpnType = a.enFpnType;
    req.enOp = VI_FPN_OP_CALIBRATE;
    req.u32Param0 = a.u32Param0;
    req.u32Param1 = a.u32Param1;
    req.stFrameInfo = a.stFpnFrmInfo;
    ret = vi_request(VI_FPN_SET, &req);
    if (ret == 0)
        a.stFpnFrmInfo = req.stFrameInfo;
    return ret;
}

s32 DU_DUZ_ISP_SetFPNAttr(ISP_DEV IspDev, const ISP_FPN_ATTR_S *pstFPNAttr)
{
    s32 ret = isp_iq_check(IspDev, pstFPNAttr, __FUNCTION__);
    if (ret != 0)
        return ret;
    const ISP_FPN_ATTR_S &a = *pstFPNAttr;
    if ((ret = check_correction(__FUNCTION__, a)) != 0)
        return ret;
    IO_WRITE8(kExtOpType, a.enOpType);
    IO_WRITE16(kExtManualStrength, a.u32Strength);
    ext_write32_bytes(kExtCalibIso, a.stFpnFrmInfo.u32Iso);
    u32 strength = a.u32Strength;
    if (a.enOpType == OP_TYPE_AUTO) {
        IO_WRITE8(kExtRefresh, 1);
        strength = iso_strength(IO_READ32(kExtIso), a.stFpnFrmInfo.u32Iso);
    }
    VI_FPN_CORRECT_REQ_S req = {};
    req.enFpnType = a.enFpnType;
    req.enOp = VI_FPN_OP_CORRECT;
    req.bEnable = a.bEnable;
    req.u32Strength = std::min(strength, kStrengthMax);
    req.enOpType = a.enOpType;
    req.stFrameInfo = a.stFpnFrmInfo;
    ret = vi_request(VI_FPN_SET, &req);
    IO_WRITE8(kExtConfigured, ret == 0 ? 1 : 0);
    return ret;
}

s32 DU_DUZ_ISP_GetFPNAttr(ISP_DEV IspDev, ISP_FPN_ATTR_S *pstFPNAttr)
{
    s32 ret = isp_iq_check(IspDev, pstFPNAttr, __FUNCTION__);
    if (ret != 0)
        return ret;
    if (!(IO_READ8(kExtConfigured) & 1))
        return DU_ERR_ISP_ATTR_NOT_CFG;
    VI_FPN_CORRECT_REQ_S req = {};
    ret = vi_request(VI_FPN_GET, &req);
    ISP_FPN_ATTR_S &a = *pstFPNAttr;
    a.bEnable = req.bEnable;
    a.enOpType = req.enOpType;
    a.enFpnType = req.enFpnType;
    a.stFpnFrmInfo = req.stFrameInfo;
    a.u32Strength = IO_READ16(kExtManualStrength);
    a.u32CurStrength = IO_READ32_VI(VI_FPN_CFG_REG(0)) >> 16;
    return ret;
}

// The ISP control interface: public attributes, firmware state, WDR mode,
// module switches, raw registers, library binding, frame wait, DCF, debug,
// the module parameter, the inner state and the register mappings. Each call
// runs on its caller's thread and meets the run loop only in registers.
#include "isp/isp_ctx.h"

#include <cstring>

#include "isp/isp_requests.h"
#include "isp/isp_vreg_fields.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

#define ISP_REFUSE(cond, ...)                                                                              \
    do {                                                                                                   \
        if (cond) {                                                                                        \
            ISP_TRACE(__VA_ARGS__);                                                                        \
            return DU_ERR_ISP_ILLEGAL_PARAM;                                                               \
        }                                                                                                  \
    } while (0)

// The image format: every field checked first, then written with the input
// window's fixed settings, in the order the hardware takes them. The run
// loop takes a new size or rate from the first two registers and the rate
// at its next frame.
constexpr u32 kWidthMin = 480, kWidthMax = 2592, kHeightMin = 240, kHeightMax = 2200;
constexpr double kFpsMax = 65535;

using Pub = ISP_FRAME_FORMAT_S;
#define P(m) VREG_MEMBER(Pub, m)
constexpr vreg_field kPubFields[] = {
    vreg_const(ISP_EXT_RES_SWITCH, 1, 0),
    vreg_reg(ISP_IMAGE_WIDTH_REG, 2, P(u32Width))
        .set_only()
        .check(refuse_outside(kWidthMin, kWidthMax, "Invalid Image Width:%d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(ISP_IMAGE_HEIGHT_REG, 2, P(u32Height))
        .set_only()
        .check(refuse_outside(kHeightMin, kHeightMax, "Invalid Image Height:%d!\n").with(VREG_ARGS_VALUE)),
    vreg_rule(P(s32OffsetX), refuse_below(0, "Invalid Image X:%d!\n").with(VREG_ARGS_VALUE)),
    vreg_rule(P(s32OffsetX), refuse_above_member(P(u32Width), "Invalid Image X:%d!\n", -(double)kWidthMin).with(VREG_ARGS_VALUE)),
    vreg_rule(P(s32OffsetY), refuse_below(0, "Invalid Image Y:%d!\n").with(VREG_ARGS_VALUE)),
    vreg_rule(P(s32OffsetY), refuse_above_member(P(u32Height), "Invalid Image Y:%d!\n", -(double)kHeightMin).with(VREG_ARGS_VALUE)),
    vreg_rule(P(f32FrameRate), refuse_not_above(0, "Invalid FrameRate:%f!\n").with(VREG_ARGS_VALUE)),
    vreg_rule(P(f32FrameRate), refuse_above(kFpsMax, "Invalid FrameRate:%f!\n").with(VREG_ARGS_VALUE)),
    vreg_rule(P(enBayerPattern), refuse_above(3, "Invalid Bayer Pattern:%d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(ISP_BAYER_REG, 1, P(enBayerPattern)).masked(0x3),
    vreg_reg(ISP_EXT_FPS, 4, P(f32FrameRate)),
    vreg_const(ISP_REG(0x104), 4, 0x0A000500),
    vreg_reg(ISP_CROP_X_REG, 2, P(s32OffsetX)),
    vreg_reg(ISP_CROP_WIDTH_REG, 2, P(u32Width)),
    vreg_reg(ISP_CROP_Y_REG, 2, P(s32OffsetY)),
    vreg_reg(ISP_CROP_HEIGHT_REG, 2, P(u32Height)),
    vreg_const(ISP_REG(0x102), 1, 1).bits(0x10),
    vreg_const(ISP_REG(0x100), 1, 15),
    vreg_const(ISP_REG(0x101), 1, 1).bits(0x02),
    vreg_const(ISP_REG(0x101), 1, 1).bits(0x04),
    vreg_const(ISP_REG(0x101), 1, 1).bits(0x08),
    vreg_const(ISP_REG(0x130), 1, 1).bits(0x07),
    vreg_const(ISP_REG(0x24), 2, 0x120D),
    vreg_const(ISP_REG(0x28), 2, 0x120),
    vreg_const(ISP_REG(0x107), 1, 0).bits(0x08),
};
#undef P
constexpr vreg_table<Pub> kPubRecord =
    vreg_table_of<Pub>(kPubFields, DU_ERR_ISP_ILLEGAL_PARAM, VREG_TO_TRACE).updating(vreg_const(ISP_EXT_PUB_CFG, 1, 1));

// What the modules have in force, where each keeps it.
using Inner = ISP_INNER_STATE_S;
#define I(m) VREG_MEMBER(Inner, m)
constexpr vreg_field kInnerFields[] = {
    vreg_reg(ISP_DRC_STRENGTH_REG, 1, I(u32DRCStrengthActual)),
    vreg_reg(ISP_NR_THRESH_S_REG, 1, I(u32NRStrengthActual)),
    vreg_reg(ISP_SHARPEN_D_REG, 1, I(u32SharpenStrengthDActual)),
    vreg_reg(ISP_SHARPEN_UD_REG, 1, I(u32SharpenStrengthUdActual)),
    vreg_reg(ISP_SHARPEN_RGB_REG, 1, I(u32SharpenStrengthRGBActual)),
    vreg_reg(VI_DEHAZE_STRENGTH_REG, 4, I(u32DefogStrengthActual)).flag(VREG_VI),
    vreg_reg(ISP_FSWDR_RATIO_REG, 2, I(u32WDRExpRatioActual)).masked(0xFFF),
    vreg_reg(0x125C0, 2, I(au32BlackLevel), 4),
    vreg_reg(ISP_EXT_WDR_SWITCH, 1, I(bWDRSwitchFinish)).masked(1),
    vreg_reg(ISP_EXT_RES_SWITCH, 1, I(bResSwitchFinish)).masked(1),
};
#undef I
constexpr vreg_table<Inner> kInnerRecord = vreg_table_of<Inner>(kInnerFields, DU_ERR_ISP_ILLEGAL_PARAM);

// The slot of a kind's table that holds this library, by name and id.
int find_lib(const ISP_LIB_INFO_S &libs, const ALG_LIB_HANDLE_S &h)
{
    for (int i = 0; i < ISP_MAX_LIB_NUM; i++)
        if (libs.astLibs[i].stAlgLib.s32Id == h.s32Id &&
            strncmp(libs.astLibs[i].stAlgLib.acLibName, h.acLibName, ALG_LIB_NAME_SIZE_MAX) == 0)
            return i;
    return -1;
}

} // namespace

s32 DU_DUZ_ISP_SetPubAttr(ISP_DEV IspDev, const ISP_FRAME_FORMAT_S *pstPubAttr)
{
    ISP_CHECK_REC_MEM(IspDev, pstPubAttr);
    s32 ret = vreg_set(kPubRecord, 0, *pstPubAttr, __FUNCTION__);
    if (ret == 0)
        ctx().bPubCfg = 1;
    return ret;
}

s32 DU_DUZ_ISP_GetPubAttr(ISP_DEV IspDev, ISP_FRAME_FORMAT_S *pstPubAttr)
{
    ISP_CHECK_REC_MEM(IspDev, pstPubAttr);
    vreg_get(kPubRecord, 0, *pstPubAttr);
    return 0;
}

s32 DU_DUZ_ISP_SetFMWState(ISP_DEV IspDev, u32 enState)
{
    ISP_CHECK_DEV_OPEN(IspDev);
    ISP_REFUSE(enState > 1, "Invalid firmware state %d!\n", enState);
    io_update8(ISP_EXT_FREEZE, 1, enState);
    return 0;
}

s32 DU_DUZ_ISP_GetFMWState(ISP_DEV IspDev, u32 *penState)
{
    ISP_CHECK_REC(IspDev, penState);
    *penState = IO_READ8(ISP_EXT_FREEZE) & 1;
    return 0;
}

s32 DU_DUZ_ISP_SetWDRMode(ISP_DEV IspDev, const ISP_WDR_SEL_S *pstWDRMode)
{
    ISP_CHECK_REC_MEM(IspDev, pstWDRMode);
    u32 mode = pstWDRMode->enWDRMode;
    ISP_REFUSE(mode >= WDR_MODE_BUTT, "Invalid WDR mode %d!\n", mode);
    IO_WRITE8(ISP_EXT_WDR_SWITCH, 0);
    ctx().bWDRCfg = 1;
    IO_WRITE8(ISP_EXT_WDR_CFG, 1);
    if (mode == isp_ext_wdr_mode())
        IO_WRITE8(ISP_EXT_WDR_SWITCH, 1); // nothing to switch
    else
        IO_WRITE16(ISP_EXT_WDR_MODE, (IO_READ16(ISP_EXT_WDR_MODE) & ~0x3F0u) | (mode << 4));
    return 0;
}

s32 DU_DUZ_ISP_GetWDRMode(ISP_DEV IspDev, ISP_WDR_SEL_S *pstWDRMode)
{
    ISP_CHECK_REC(IspDev, pstWDRMode);
    u32 mode = isp_ext_wdr_mode();
    pstWDRMode->enWDRMode = mode > WDR_MODE_4To1_FRAME_FULL_RATE ? WDR_MODE_BUTT : mode;
    return 0;
}

s32 DU_DUZ_ISP_SetModuleControl(ISP_DEV IspDev, const u32 *pu32ModFlag)
{
    ISP_CHECK_REC(IspDev, pu32ModFlag);
    IO_WRITE32(ISP_MODULE_CTRL_REG, (*pu32ModFlag & ISP_MODULE_CTRL_MASK) | ISP_MODULE_CTRL_FIXED);
    return 0;
}

s32 DU_DUZ_ISP_GetModuleControl(ISP_DEV IspDev, u32 *pu32ModFlag)
{
    ISP_CHECK_REC(IspDev, pu32ModFlag);
    *pu32ModFlag = IO_READ32(ISP_MODULE_CTRL_REG);
    return 0;
}

s32 DU_DUZ_ISP_SetRegister(ISP_DEV IspDev, u32 u32Addr, u32 u32Value)
{
    ISP_CHECK_DEV_OPEN(IspDev);
    IO_WRITE32(u32Addr, u32Value);
    return 0;
}

s32 DU_DUZ_ISP_GetRegister(ISP_DEV IspDev, u32 u32Addr, u32 *pu32Value)
{
    ISP_CHECK_REC(IspDev, pu32Value);
    *pu32Value = IO_READ32(u32Addr);
    return 0;
}

s32 DU_DUZ_ISP_SetBindAttr(ISP_DEV IspDev, const ISP_LIB_BIND_S *pstBindAttr)
{
    ISP_CHECK_REC(IspDev, pstBindAttr);
    ISP_CTX_S &c = ctx();
    s32 registered = ISP_SensorGetId(IspDev);
    if (pstBindAttr->SensorId != registered) {
        ISP_TRACE("Register sensor is %d, present sensor is %d.\n", registered, pstBindAttr->SensorId);
        return -1;
    }
    const struct {
        ISP_LIB_INFO_S *libs;
        const ALG_LIB_HANDLE_S *handle;
    } kinds[] = {{&c.stAeLibInfo, &pstBindAttr->stAeLib},
                 {&c.stAwbLibInfo, &pstBindAttr->stAwbLib},
                 {&c.stAfLibInfo, &pstBindAttr->stAfLib}};
    for (const auto &k : kinds) {
        int slot = find_lib(*k.libs, *k.handle);
        if (slot < 0)
            return -1;
        k.libs->u32ActiveLib = (u32)slot;
    }
    c.stBindAttr = *pstBindAttr;
    return 0;
}

s32 DU_DUZ_ISP_GetBindAttr(ISP_DEV IspDev, ISP_LIB_BIND_S *pstBindAttr)
{
    ISP_CHECK_REC(IspDev, pstBindAttr);
    *pstBindAttr = ctx().stBindAttr;
    return 0;
}

s32 DU_DUZ_ISP_GetVDTimeOut(ISP_DEV IspDev, u32 *pu32VdInfo, u32 u32MilliSec)
{
    ISP_CHECK_DEV_OPEN(IspDev);
    ISP_VD_TIMEOUT_S wait = {0, u32MilliSec, 0};
    ISP_RETURN_IF_FAILED(isp_ioctl(ISP_GET_VD_TIMEOUT, &wait));
    if (pu32VdInfo)
        *pu32VdInfo = wait.u32VdInfo;
    return (wait.u32IntStatus & 1) ? 0 : -1;
}

// ---- DCF -------------------------------------------------------------------------------------------

s32 isp_dcf_info_init(ISP_DEV IspDev)
{
    ISP_DCF_CTRL_S &dcf = ctx().stDcfInfo;
    dcf = {};
    s32 ret = isp_ioctl(ISP_DCF_BUF_INIT, &dcf.u32PhyAddr);
    if (ret == DU_ERR_ISP_NOT_SUPPORT)
        return 0; // the kernel keeps no DCF buffer
    if (ret != 0) {
        ISP_TRACE("init dcf bufs failed %x!\n", ret);
        return ret;
    }
    dcf.pVirtAddr = isp_map_kernel_buf(dcf.u32PhyAddr, ISP_DCF_SHARED_SIZE, ISP_DCF_BUF_EXIT, __FUNCTION__,
                                       "mmap dcf info buf failed!");
    if (!dcf.pVirtAddr)
        return DU_ERR_ISP_NOMEM;
    dcf.bSupport = 1;
    return 0;
}

s32 isp_dcf_info_exit(ISP_DEV IspDev)
{
    ISP_DCF_CTRL_S &dcf = ctx().stDcfInfo;
    if (!dcf.bSupport)
        return 0;
    if (dcf.pVirtAddr)
        DU_DUZ_SYS_Munmap(dcf.pVirtAddr, ISP_DCF_SHARED_SIZE);
    dcf = {};
    s32 ret = isp_ioctl(ISP_DCF_BUF_EXIT, nullptr);
    if (ret != 0) {
        ISP_TRACE("exit dcf info buf failed %x!\n", ret);
        return ret;
    }
    return 0;
}

s32 DU_DUZ_ISP_SetDCFInfo(const ISP_DCF_INFO_S *pstIspDCF)
{
    ISP_DCF_CTRL_S &dcf = ctx().stDcfInfo;
    if (!dcf.bSupport || !dcf.pVirtAddr || !pstIspDCF) {
        ISP_TRACE("Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    s32 ret = isp_ioctl(ISP_DCF_INFO_SET, const_cast<ISP_DCF_INFO_S *>(pstIspDCF));
    if (ret == 0)
        memcpy(dcf.pVirtAddr, pstIspDCF, ISP_DCF_SHARED_SIZE);
    return ret;
}

s32 DU_DUZ_ISP_GetDCFInfo(ISP_DCF_INFO_S *pstIspDCF)
{
    if (!pstIspDCF) {
        ISP_TRACE("Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    return isp_ioctl(ISP_DCF_INFO_GET, pstIspDCF) == 0 ? 0 : DU_ERR_ISP_NOMEM;
}

// ---- debug, module parameter, inner state, mappings ---------------------------------------------------

s32 DU_DUZ_ISP_SetDebug(ISP_DEV IspDev, const ISP_DEBUG_INFO_S *pstIspDebug)
{
    ISP_CHECK_REC(IspDev, pstIspDebug);
    ISP_REFUSE(pstIspDebug->bDebugEn > 1, "Invalid Isp Bool Type %d!\n", pstIspDebug->bDebugEn);
    return ISP_DbgSet(pstIspDebug);
}

s32 DU_DUZ_ISP_GetDebug(ISP_DEV IspDev, ISP_DEBUG_INFO_S *pstIspDebug)
{
    ISP_CHECK_REC(IspDev, pstIspDebug);
    return ISP_DbgGet(pstIspDebug);
}

s32 DU_DUZ_ISP_SetModParam(const u32 *pu32Param)
{
    if (!pu32Param) {
        ISP_TRACE("Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    u32 v = *pu32Param;
    return isp_ioctl(ISP_MOD_PARAM_SET, &v);
}

s32 DU_DUZ_ISP_GetModParam(u32 *pu32Param)
{
    if (!pu32Param) {
        ISP_TRACE("Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    return isp_ioctl(ISP_MOD_PARAM_GET, pu32Param);
}

s32 DU_DUZ_ISP_QueryInnerStateInfo(ISP_DEV IspDev, ISP_INNER_STATE_S *pstInnerStateInfo)
{
    ISP_CHECK_REC(IspDev, pstInnerStateInfo);
    vreg_get(kInnerRecord, 0, *pstInnerStateInfo);
    return 0;
}

s32 DU_DUZ_ISP_GetISPRegAttr(ISP_DEV IspDev, ISP_REG_ATTR_S *pstIspRegAttr)
{
    ISP_CHECK_REC(IspDev, pstIspRegAttr);
    // Other threads keep using the mappings: make sure they exist, never
    // take them away.
    pthread_mutex_lock(&ctx().mutex);
    ISP_REG_ATTR_S a;
    a.pIspRegAddr = VReg_GetVirtAddr(ISP_REG_BASE);
    a.u32IspRegSize = 16384;
    a.pIspExtRegAddr = VReg_GetVirtAddr(ISP_VREG_EXT_BASE);
    a.u32IspExtRegSize = 12288;
    a.pAeExtRegAddr = VReg_GetVirtAddr(AE_LIB_VREG_BASE(0));
    a.u32AeExtRegSize = ALG_LIB_VREG_SIZE;
    a.pAwbExtRegAddr = VReg_GetVirtAddr(AWB_LIB_VREG_BASE(0));
    a.u32AwbExtRegSize = ALG_LIB_VREG_SIZE;
    pthread_mutex_unlock(&ctx().mutex);
    if (!a.pIspRegAddr || !a.pIspExtRegAddr || !a.pAeExtRegAddr || !a.pAwbExtRegAddr)
        return DU_ERR_ISP_NOMEM;
    *pstIspRegAttr = a;
    return 0;
}

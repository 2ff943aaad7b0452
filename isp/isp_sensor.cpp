// Registration of the sensor driver and of the exposure, white-balance and
// focus libraries, and the small dispatch calls through which the core
// reaches the sensor.
#include "isp/isp_ctx.h"

#include <cstring>

namespace {

struct ISP_SENSOR_CTX_S {
    s32 s32SensorId;
    ISP_SENSOR_OPS_S stOps;
    ISP_SENSOR_DEFAULT_S stDefault;
    ISP_SENSOR_BLC_S stBlc;
    ISP_SENSOR_SYNC_REGS_S stSnsRegs;
};
ISP_SENSOR_CTX_S g_astSensorCtx[ISP_MAX_DEV_NUM];

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }
ISP_SENSOR_CTX_S &sns() { return g_astSensorCtx[0]; }

// What tells the three kinds of library apart.
bool complete(const AE_LIB_CALLBACKS_S &c) { return c.pfn_ae_init && c.pfn_ae_run; }
bool complete(const AWB_LIB_CALLBACKS_S &c) { return c.pfn_awb_init && c.pfn_awb_run; }
bool complete(const AF_LIB_CALLBACKS_S &c) { return c.pfn_af_init && c.pfn_af_run; }
void store(ISP_LIB_NODE_S &n, const AE_LIB_CALLBACKS_S &c) { n.stAeRegister = c; }
void store(ISP_LIB_NODE_S &n, const AWB_LIB_CALLBACKS_S &c) { n.stAwbRegister = c; }
void store(ISP_LIB_NODE_S &n, const AF_LIB_CALLBACKS_S &c) { n.stAfRegister = c; }

bool same_lib(const ALG_LIB_HANDLE_S &a, const ALG_LIB_HANDLE_S &b)
{
    return a.s32Id == b.s32Id && strncmp(a.acLibName, b.acLibName, ALG_LIB_NAME_SIZE_MAX) == 0;
}

struct LibKind {
    ISP_LIB_INFO_S *libs;
    ALG_LIB_HANDLE_S *bind;
    const char *name; // "ae", "awb", "af" in the messages
};

LibKind ae_kind() { return {&ctx().stAeLibInfo, &ctx().stBindAttr.stAeLib, "ae"}; }
LibKind awb_kind() { return {&ctx().stAwbLibInfo, &ctx().stBindAttr.stAwbLib, "awb"}; }
LibKind af_kind() { return {&ctx().stAfLibInfo, &ctx().stBindAttr.stAfLib, "af"}; }

template <class Callbacks>
s32 lib_register(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstLib, const Callbacks *pstRegister, const LibKind &k,
                 const char *func)
{
    ISP_RETURN_IF_FAILED(isp_check_dev(IspDev, func));
    if (!pstLib || !pstRegister || !complete(*pstRegister)) {
        ISP_TRACE_AT(func, "Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    ISP_LIB_NODE_S *slot = nullptr;
    for (auto &n : k.libs->astLibs) {
        if (!n.bUsed) {
            slot = &n;
            break;
        }
    }
    if (!slot) {
        ISP_TRACE_AT(func, "can't register %slib to isp, there is too many libs.\n", k.name);
        return -1;
    }
    slot->stAlgLib = *pstLib;
    store(*slot, *pstRegister);
    slot->bUsed = 1;
    for (u32 i = 0; i < ISP_MAX_LIB_NUM; i++) {
        if (same_lib(k.libs->astLibs[i].stAlgLib, *pstLib)) {
            k.libs->u32ActiveLib = i;
            break;
        }
    }
    *k.bind = *pstLib;
    return 0;
}

s32 lib_unregister(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstLib, const LibKind &k, const char *func)
{
    ISP_RETURN_IF_FAILED(isp_check_dev(IspDev, func));
    if (!pstLib) {
        ISP_TRACE_AT(func, "Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    for (auto &n : k.libs->astLibs) {
        if (same_lib(n.stAlgLib, *pstLib)) {
            memset(&n, 0, sizeof n);
            k.libs->u32ActiveLib = 0;
            return 0;
        }
    }
    ISP_TRACE_AT(func, "can't find %s lib in isp.\n", k.name);
    return -1;
}

} // namespace

// ---- registration ------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SensorRegCallBack(s32 IspDev, s32 SensorId, const ISP_SENSOR_OPS_S *pstRegister)
{
    ISP_RETURN_IF_FAILED(isp_check_dev(IspDev, __FUNCTION__));
    if (!pstRegister) {
        ISP_TRACE("Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    sns().s32SensorId = SensorId;
    sns().stOps = *pstRegister;
    if (sns().stOps.pfn_cmos_sensor_global_init)
        sns().stOps.pfn_cmos_sensor_global_init();
    ctx().bSnsReg = 1;
    ctx().stBindAttr.SensorId = SensorId;
    return 0;
}

s32 DU_DUZ_ISP_SensorUnRegCallBack(s32 IspDev, s32 SensorId)
{
    ISP_RETURN_IF_FAILED(isp_check_dev(IspDev, __FUNCTION__));
    if (SensorId != sns().s32SensorId) {
        ISP_TRACE("UnReg ERR! Registered sensor is %d, present sensor is %d.\n", sns().s32SensorId, SensorId);
        return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    ctx().stBindAttr.SensorId = 0;
    ctx().bSnsReg = 0;
    return 0;
}

s32 DU_DUZ_ISP_AELibRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAeLib, const AE_LIB_CALLBACKS_S *pstRegister)
{
    return lib_register(IspDev, pstAeLib, pstRegister, ae_kind(), __FUNCTION__);
}

s32 DU_DUZ_ISP_AWBLibRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAwbLib,
                                 const AWB_LIB_CALLBACKS_S *pstRegister)
{
    return lib_register(IspDev, pstAwbLib, pstRegister, awb_kind(), __FUNCTION__);
}

s32 DU_DUZ_ISP_AFLibRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAfLib, const AF_LIB_CALLBACKS_S *pstRegister)
{
    return lib_register(IspDev, pstAfLib, pstRegister, af_kind(), __FUNCTION__);
}

s32 DU_DUZ_ISP_AELibUnRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAeLib)
{
    return lib_unregister(IspDev, pstAeLib, ae_kind(), __FUNCTION__);
}

s32 DU_DUZ_ISP_AWBLibUnRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAwbLib)
{
    return lib_unregister(IspDev, pstAwbLib, awb_kind(), __FUNCTION__);
}

s32 DU_DUZ_ISP_AFLibUnRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAfLib)
{
    return lib_unregister(IspDev, pstAfLib, af_kind(), __FUNCTION__);
}

// ---- sensor dispatch ---------------------------------------------------------------------------------

s32 ISP_SensorInit(ISP_DEV IspDev)
{
    auto op = sns().stOps.pfn_cmos_sensor_init;
    return op ? op() : -1;
}

s32 ISP_SensorExit(ISP_DEV IspDev)
{
    auto op = sns().stOps.pfn_cmos_sensor_exit;
    return op ? op() : -1;
}

s32 ISP_SensorSetImageMode(ISP_DEV IspDev, ISP_CMOS_SENSOR_IMAGE_MODE_S *pstMode)
{
    auto op = sns().stOps.pfn_cmos_set_image_mode;
    if (!op)
        return 0;
    return op(pstMode) == 0 ? 0 : -1;
}

s32 ISP_SensorSetWDRMode(ISP_DEV IspDev, u8 u8Mode)
{
    if (auto op = sns().stOps.pfn_cmos_set_wdr_mode)
        op(u8Mode);
    return 0;
}

s32 ISP_SensorUpdateDefault(ISP_DEV IspDev)
{
    auto op = sns().stOps.pfn_cmos_get_isp_default;
    return op ? op(&sns().stDefault) : -1;
}

s32 ISP_SensorUpdateBlc(ISP_DEV IspDev)
{
    auto op = sns().stOps.pfn_cmos_get_isp_black_level;
    return op ? op(&sns().stBlc) : -1;
}

s32 ISP_SensorUpdateAll(ISP_DEV IspDev)
{
    if (!sns().stOps.pfn_cmos_get_isp_default) {
        printf("Get isp default value error!\n");
        return -1;
    }
    s32 ret = ISP_SensorUpdateDefault(IspDev);
    if (ret != 0)
        return ret;
    if (sns().stOps.pfn_cmos_get_isp_black_level)
        ISP_SensorUpdateBlc(IspDev);
    return 0;
}

s32 ISP_SensorUpdateSnsReg(ISP_DEV IspDev)
{
    auto op = sns().stOps.pfn_cmos_get_sns_reg_info;
    return op ? op(&sns().stSnsRegs) : -1;
}

s32 ISP_SensorSetPixelDetect(ISP_DEV IspDev, u32 bEnable)
{
    auto op = sns().stOps.pfn_cmos_set_pixel_detect;
    return op ? op(bEnable) : -1;
}

bool isp_sensor_has_sync(ISP_DEV IspDev) { return sns().stOps.pfn_cmos_get_sns_reg_info != nullptr; }

s32 ISP_SensorGetId(ISP_DEV IspDev) { return sns().s32SensorId; }
ISP_SENSOR_DEFAULT_S *ISP_SensorGetDefault(ISP_DEV IspDev) { return &sns().stDefault; }
ISP_SENSOR_BLC_S *ISP_SensorGetBlc(ISP_DEV IspDev) { return &sns().stBlc; }
ISP_SENSOR_SYNC_REGS_S *ISP_SensorGetSnsReg(ISP_DEV IspDev) { return &sns().stSnsRegs; }
u32 *ISP_SensorGetMaxResolution(ISP_DEV IspDev) { return &sns().stDefault.u32MaxWidth; }

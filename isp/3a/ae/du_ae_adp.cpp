// The exposure library's lifecycle and per-frame run: registration with the
// ISP, the sensor's callbacks, init, the control commands, the run and exit.
#include "isp/3a/ae/ae_ctx.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "isp/mpi_isp.h"

AE_CTX_S g_astAeCtx[ALG_LIB_INSTANCES];

namespace {

s32 check_dev(s32 dev, const char *func)
{
    if (dev != 0) {
        ALG_TRACE(func, "Err AE dev %d in %s!\n", dev, func);
        return AE_ERR_ILLEGAL_PARAM;
    }
    return 0;
}

// Device, then the handle record: the checks of the registration calls.
s32 check_dev_lib(s32 dev, const ALG_LIB_HANDLE_S *lib, const char *func)
{
    s32 ret = check_dev(dev, func);
    return ret != 0 ? ret : alg_check_lib(lib, AE_LIB_NAME, AE_ERR_NULL_PTR, func);
}

} // namespace

// ---- units -----------------------------------------------------------------------------

u32 ae_us_to_lines(const AE_CTX_S &c, u32 us)
{
    u64 lines = (250000 + (u64)c.u32LinesPer500ms * us) / 500000;
    return (u32)AeBoundaryMaxCheck64(lines << c.u32TimeShift, 0xFFFFFFFFu);
}

u32 ae_lines_to_us(const AE_CTX_S &c, u32 lines)
{
    u64 l = c.u32LinesPer500ms ? c.u32LinesPer500ms : 1;
    return (u32)AeBoundaryMaxCheck64(((u64)(lines >> c.u32TimeShift) * 500000 + l / 2) / l, 0xFFFFFFFFu);
}

u64 ae_time_base(const AE_CTX_S &c, u32 time)
{
    u64 t = (u64)time << c.u32SysGainShift;
    u64 off = (u64)((f32)(1u << c.u32SysGainShift) * c.f32TimeOffset);
    return t > off ? t - off : 0;
}

bool ae_wdr_line_mode(u8 mode) { return mode == 2 || mode == 5 || mode == 8; }

// ---- registration ---------------------------------------------------------------------------

namespace {

s32 AeInit(s32 handle, const AE_INIT_PARAM_S *param);
s32 AeRun(s32 handle, const AE_FRAME_INPUT_S *in, AE_FRAME_RESULT_S *out, s32 rsv);
s32 AeCtrl(s32 handle, u32 cmd, void *value);
s32 AeExit(s32 handle);

} // namespace

s32 DU_DUZ_AE_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib)
{
    s32 ret = check_dev_lib(s32Dev, pstAeLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    const AE_LIB_CALLBACKS_S callbacks = {AeInit, AeRun, AeCtrl, AeExit};
    ret = DU_DUZ_ISP_AELibRegCallBack(0, pstAeLib, &callbacks);
    if (ret != 0)
        puts("Du_ae register failed!");
    return ret;
}

s32 DU_DUZ_AE_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib)
{
    s32 ret = check_dev_lib(s32Dev, pstAeLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    ret = DU_DUZ_ISP_AELibUnRegCallBack(0, pstAeLib);
    if (ret != 0)
        puts("Du_ae unregister failed!");
    return ret;
}

namespace {

// A callback registration: the record, the callbacks, then handle and name.
s32 check_lib_callbacks(const ALG_LIB_HANDLE_S *lib, const void *callbacks, const char *func)
{
    s32 ret = alg_check_null(lib, AE_ERR_NULL_PTR, func);
    if (ret == 0)
        ret = alg_check_null(callbacks, AE_ERR_NULL_PTR, func);
    return ret != 0 ? ret : alg_check_lib(lib, AE_LIB_NAME, AE_ERR_NULL_PTR, func);
}

} // namespace

s32 DU_DUZ_AE_SensorRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib, s32 s32SensorId,
                                const AE_SENSOR_CALLBACKS_S *pstRegister)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib_callbacks(pstAeLib, pstRegister, __FUNCTION__);
    if (ret != 0)
        return ret;
    AE_CTX_S &c = g_astAeCtx[pstAeLib->s32Id];
    if (pstRegister->pfn_cmos_get_ae_default)
        pstRegister->pfn_cmos_get_ae_default(&c.stSnsDft);
    c.stSnsCb = *pstRegister;
    c.s32SensorId = s32SensorId;
    c.bSnsRegistered = 1;
    return 0;
}

s32 DU_DUZ_AE_SensorUnRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib, s32 s32SensorId)
{
    s32 ret = check_dev_lib(s32Dev, pstAeLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AE_CTX_S &c = g_astAeCtx[pstAeLib->s32Id];
    memset(&c.stSnsDft, 0, sizeof c.stSnsDft);
    memset(&c.stSnsCb, 0, sizeof c.stSnsCb);
    c.s32SensorId = 0;
    c.bSnsRegistered = 0;
    return 0;
}

s32 DU_DUZ_AE_IrisRegisterCallBack(const ALG_LIB_HANDLE_S *pstAeLib, const AE_IRIS_CALLBACKS_S *pstRegister)
{
    s32 ret = check_lib_callbacks(pstAeLib, pstRegister, __FUNCTION__);
    if (ret != 0)
        return ret;
    g_astAeCtx[pstAeLib->s32Id].stIrisCb = *pstRegister;
    return 0;
}

// ---- control ------------------------------------------------------------------------------------

namespace {

// After a sensor resolution switch the next calculation sets the frame rate
// again and rebuilds the routes.
void AeSetSensorImageMode(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.f32LastFps = 0;
    c.f32LastFpsSet = 0;
    c.u32Reg17E = 0;
}

s32 AeCtrlCmd(s32 handle, u32 cmd, void *value)
{
    s32 ret = alg_check_null(value, AE_ERR_NULL_PTR, __FUNCTION__);
    if (ret != 0)
        return ret;
    switch (cmd) {
    case AE_DEBUG_ATTR_SET:
        return AeDbgSet(handle, static_cast<const AE_DBG_ATTR_S *>(value));
    case AE_DEBUG_ATTR_GET:
        AeDbgGet(handle, static_cast<AE_DBG_ATTR_S *>(value));
        return 0;
    case ISP_WDR_MODE_SET:
        IO_WRITE8(ae_reg(handle, AE_REG_WDR_MODE), *static_cast<const u8 *>(value));
        return 0;
    case ISP_PROC_WRITE:
        AeProcWrite(handle, static_cast<ISP_CTRL_PROC_WRITE_S *>(value));
        return 0;
    case ISP_AE_FPS_BASE_SET: {
        u32 bits;
        memcpy(&bits, value, sizeof bits);
        IO_WRITE32(ae_reg(handle, AE_REG_FPS), bits);
        return 0;
    }
    case ISP_CHANGE_IMAGE_MODE_SET:
        AeSetSensorImageMode(handle);
        return 0;
    case ISP_DCFINFO_SET:
        AeGetDcfInfo(handle, value);
        return 0;
    default:
        return 0;
    }
}

} // namespace

s32 DU_DUZ_AE_Ctrl(const ALG_LIB_HANDLE_S *pstAeLib, u32 u32Cmd, void *pValue)
{
    s32 ret = alg_check_lib(pstAeLib, AE_LIB_NAME, AE_ERR_NULL_PTR, __FUNCTION__);
    return ret != 0 ? ret : AeCtrlCmd(pstAeLib->s32Id, u32Cmd, pValue);
}

// ---- init and exit ---------------------------------------------------------------------------

namespace {

void AeGlobalInitialize(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.bByPass = 0;
    c.u32Reg17E = 0;
    c.enWantedChn = c.enConfirmedChn = 0;
    c.bHistAdjustActive = 0;
    c.u32RCount = c.u32BCount = c.u32GCount = 0;
    memset(c.au32UserTime, 0, sizeof c.au32UserTime);
    memset(c.au32UserGain, 0, sizeof c.au32UserGain);
    memset(c.au32UserManual, 0, sizeof c.au32UserManual);
    c.u64RatioAcc = 0x40000;
    c.u32RatioThresh = 128;
    c.u32Ratio = 64;
    c.u16RatioStep = 64;
}

void fswdr_attr_set(AE_CTX_S &c)
{
    if (c.stSnsCb.pfn_cmos_ae_fswdr_attr_set)
        c.stSnsCb.pfn_cmos_ae_fswdr_attr_set(&c.enFSWDRMode);
}

void get_ae_default(AE_CTX_S &c)
{
    if (c.stSnsCb.pfn_cmos_get_ae_default)
        c.stSnsCb.pfn_cmos_get_ae_default(&c.stSnsDft);
}

// The iris driver of the iris type: a P-iris goes to its origin first.
void iris_driver_register(AE_CTX_S &c)
{
    if (c.enAlgIrisType == 1) {
        piris_register_callback();
        if (c.stIrisCb.pfn_iris_ops2)
            c.stIrisCb.pfn_iris_ops2(c.bZeroIsMax, c.u16TotalStep);
        c.u32PirisPosSent = AE_PIRIS_POS_NONE;
    } else {
        dciris_register_callback();
    }
}

s32 AeInit(s32 handle, const AE_INIT_PARAM_S *param)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0)
        return -1;
    s32 ret = alg_check_null(param, AE_ERR_NULL_PTR, __FUNCTION__);
    if (ret != 0)
        return ret;
    AE_CTX_S &c = g_astAeCtx[handle];
    if (!c.bSnsRegistered) {
        printf("Sensor doesn't register to vudi ae(%d)!\n", handle);
        return -1;
    }
    if (c.s32SensorId != param->s32SensorId) {
        printf("Aelib's sensor %d and isp's sensor %d doesn't match!\n", c.s32SensorId, param->s32SensorId);
        return -1;
    }
    ret = VReg_Init(AE_LIB_VREG_BASE((u32)handle), ALG_LIB_VREG_SIZE);
    if (ret != 0) {
        printf("Ae lib(%d) init vreg failed!\n", handle);
        return ret;
    }
    c.u8WDRMode = c.u8PreWDRMode = param->u8WDRMode;
    c.enFSWDRMode = c.enPreFSWDRMode = 0;
    c.f32Fps = param->f32Fps;
    fswdr_attr_set(c);
    get_ae_default(c);
    if (c.stSnsCb.pfn_cmos_fps_set)
        c.stSnsCb.pfn_cmos_fps_set(c.f32Fps, &c.stSnsDft);
    c.enIrisType = c.enPreIrisType = c.enAlgIrisType = c.stSnsDft.enIrisType;

    AeGlobalInitialize(handle);
    AeIncrementInitialize(handle);
    AeExposureInitialize(handle);
    AeDcIrisCtrlInit(handle);
    AePIrisCtrlInit(handle);
    AeRouteExDefault(handle);
    AeRouteExInitialize(handle);
    AeRouteDefault(handle);
    AeRouteInitialize(handle);
    AeExtRegsDefault(handle);
    AeExtRegsIntialize(handle);
    AiExtRegsInit(handle);
    iris_driver_register(c);
    AeUpdateIspRegs(handle);
    c.stInitParam = *param;
    c.bInit = 1;
    return 0;
}

s32 AeExit(s32 handle)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0)
        return -1;
    AE_CTX_S &c = g_astAeCtx[handle];
    if (!c.bInit)
        return 0;
    AeDcIrisExit();
    ae_dbg_exit(handle);
    s32 ret = VReg_Exit(AE_LIB_VREG_BASE((u32)handle), ALG_LIB_VREG_SIZE);
    if (ret != 0) {
        printf("Ae lib(%d) vreg exit failed!\n", handle);
        return ret;
    }
    c.bInit = 0;
    return 0;
}

s32 AeCtrl(s32 handle, u32 cmd, void *value)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0)
        return -1;
    if (!g_astAeCtx[handle].bInit)
        return -1;
    return AeCtrlCmd(handle, cmd, value);
}

// ---- one calculation ------------------------------------------------------------------------------

void AeQuickStartInit(s32 handle, const AE_FRAME_INPUT_S *in)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const AE_SENSOR_PROFILE_S &p = c.stSnsDft;
    c.u32QsSpeed = AeBoundariesCheck(p.u32QuickStartSpeed, 64, 255);
    c.u32QsInitExp = p.u32InitExposure ? p.u32InitExposure : 1024;
    c.u32QsTolerance = AeBoundaryMaxCheck(p.u32QuickStartTolerance ? p.u32QuickStartTolerance : c.u8Compensation / 10u, 255);
    if (in->u32FrameCnt >= 3 && in->u32FrameCnt <= 100) {
        c.u8Speed = (u8)c.u32QsSpeed;
        c.stDcIris.s32Enable = 0;
        c.u16BlackDelay = c.u16WhiteDelay = 0;
        c.u16BlackSpeedBias = 256;
        c.u16WdrSpeed = 128;
        c.bWDRQuick = 1;
    }
    c.u32QsStartFrames = c.u8WDRMode >= 1 && c.u8WDRMode <= 10 ? 5 : 4;
}

u32 stable_time_us(const AE_CTX_S &c, u32 frame)
{
    f32 fps = c.f32Fps > 0 ? c.f32Fps : 1;
    return (u32)((double)frame * 1000000.0 / fps);
}

void AeQuickStartProcess(s32 handle, const AE_FRAME_INPUT_S *in)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const u32 frame = in->u32FrameCnt;
    if (frame <= c.u32QsStartFrames)
        c.u64Exposure = (u64)c.u32QsInitExp * 16;
    if (c.bQsWaiting && frame >= 5) {
        u32 lo = c.u8Compensation > c.u32QsTolerance ? c.u8Compensation - c.u32QsTolerance : 0;
        u32 hi = AeBoundaryMaxCheck(c.u8Compensation + c.u32QsTolerance, 255);
        bool in_window = c.u32Measured >= lo && c.u32Measured <= hi;
        bool at_limit = c.u64Exposure <= c.u64ExpMin || c.u64Exposure >= c.u64ExpMax;
        if (in_window || at_limit) {
            c.u32QsFrame = frame;
            c.bQsWaiting = 0;
            if (in_window && !at_limit)
                c.u32FirstStableTime = stable_time_us(c, frame);
            else
                c.bQsPending = 1;
        }
    }
    if (c.bQsPending && frame >= c.u32QsFrame + 4) {
        c.u32FirstStableTime = stable_time_us(c, frame);
        c.bQsPending = 0;
    }
}

// The WDR exposure ratio R (1/64) the slots are made with.
void AeRatioCalc(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    if (c.u8WDRMode < 1 || c.u8WDRMode > 4) {
        c.u32Ratio = 64;
        return;
    }
    if (c.bManualRatio) {
        c.u32Ratio = AeBoundariesCheck(c.u32ManualRatio & 0xFFF, 64, 4095);
        return;
    }
    u32 t = AeBoundariesCheck(c.u32TargetRatio, 64, 4095);
    u32 k;
    if (t < c.u32RatioThresh) {
        t = 64;
        k = 256;
        c.u32RatioThresh = 136;
        c.u16RatioStep = 256;
    } else {
        c.u32RatioThresh = 120;
        k = 64;
        c.u16RatioStep = 64;
    }
    u64 a = AeBoundaryMaxCheck64((u64)c.u16WdrSpeed * k / 32, 4096);
    c.u64RatioAcc = ((c.u64RatioAcc * (4096 - a) + 2048) >> 12) + (u64)t * a;
    c.u32Ratio = (u32)((c.u64RatioAcc + 2048) >> 12);
}

void AeSetLongFrameMode(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    get_ae_default(c);
    AeLFModeGetSnsInit(handle);
    AeRouteExDefault(handle);
    AeRouteExInitialize(handle);
    AeRouteDefault(handle);
    AeRouteInitialize(handle);
    AeLFModeExtRegsInit(handle);
}

// Frame rate, frame length and what follows from them.
void ae_frame_length(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    AE_SENSOR_PROFILE_S &p = c.stSnsDft;
    const u32 full = AeCalcSlowFrameRate(c, c.u32Exposure, c.u32PreExposure, c.u16SlowFactor);
    bool changed = false, fps_changed = false;
    if (c.f32Fps == c.f32LastFps) {
        if (full != c.u32FullLines) {
            c.u32FullLines = full;
            if (c.stSnsCb.pfn_cmos_slow_framerate_set) {
                c.stSnsCb.pfn_cmos_slow_framerate_set(full, &p);
                c.u32FullLines = p.u32FullLines;
            }
            changed = true;
        }
    } else if (c.f32Fps != c.f32LastFpsSet) {
        if (c.stSnsCb.pfn_cmos_fps_set)
            c.stSnsCb.pfn_cmos_fps_set(c.f32Fps, &p);
        c.f32LastFpsSet = c.f32Fps;
        c.u32FullLinesStd = c.u32FullLines = p.u32FullLinesStd;
        changed = fps_changed = true;
    } else {
        return;
    }
    if (changed) {
        AeRouteExInitialize(handle);
        AeRouteInitialize(handle);
        c.u32SnsMaxTime = AePrec2Linear(p.u32MaxIntTime, &c.stTimePrec, c.u32TimeShift);
        AeRouteExUpdateMaxIntTime(handle);
        AeRouteUpdateMaxIntTime(handle);
        c.u32PreSnsMaxTime = c.u32SnsMaxTime;
        if (fps_changed)
            c.f32LastFps = c.f32Fps;
    }
    c.f32TimeOffset = p.stIntTimeAccu.f32Offset;
    c.u32Offset = (u32)(p.stIntTimeAccu.f32Offset * 1024);
    c.u32LinesPer500ms = p.u32LinesPer500ms;
    c.u32FpsX100 = c.u32FullLines ? (u32)((double)c.u32FullLinesStd * (c.f32Fps * 100) / c.u32FullLines) : 0;
    if (c.u8PreWDRMode != c.u8WDRMode) {
        IO_WRITE32(ae_reg(handle, AE_REG_TIME_MAX), ae_lines_to_us(c, c.u32MaxTime));
        IO_WRITE32(ae_reg(handle, AE_REG_TIME_MIN), ae_lines_to_us(c, c.u32MinTime));
        c.u8PreWDRMode = c.u8WDRMode;
    }
}

void AeExposureRun(s32 handle, const AE_FRAME_INPUT_S *in)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    AeQuickStartInit(handle, in);
    AeIncrementProcess(in, handle);
    if (!c.u32FirstStableTime)
        AeQuickStartProcess(handle, in);
    if (c.enOpType == 1)
        c.u64Exposure = c.u64ManualStartExp;
    AeRatioCalc(handle);
    AeCalcGainTarget(handle);
    ae_frame_length(handle);

    if (ae_wdr_line_mode(c.u8WDRMode)) {
        if (c.enFSWDRMode != c.enPreFSWDRMode) {
            fswdr_attr_set(c);
            AeSetLongFrameMode(handle);
            AeHistWeightDef(handle);
            AeHistWeightUpdate(handle);
            IO_WRITE16(ae_reg(handle, AE_REG_STRATEGY_GAIN), c.u16StrategyGain);
            IO_WRITE8(ae_reg(handle, AE_REG_STRATEGY_LIMIT), c.u16StrategyLimit);
        }
        c.enPreFSWDRMode = c.enFSWDRMode;
    }
    if (c.u8WDRMode >= 2 && c.u8WDRMode <= 4 && c.stSnsCb.pfn_cmos_get_inttime_max) {
        u32 max = 0;
        c.stSnsCb.pfn_cmos_get_inttime_max(c.u32Ratio, &max);
        if ((c.u8WDRMode == 2 && c.enFSWDRMode == 1) || c.enStrategy == 0) {
            c.u32MaxTime = max;
        } else if (c.enStrategy == 1) {
            c.u32MaxTime = (u32)AeBoundaryMaxCheck64((u64)max * c.u32Ratio / 64, 0xFFFFFFFFu);
            c.u32MinTime = c.u32Ratio / 64;
        }
    }
    AeCalcTimeTarget(handle);
    if (c.enAlgIrisType == 0)
        AeDcIrisRun(handle);
    if (c.bExpUpdate || c.bSettingChanged)
        AeExposureProcess(handle);
    c.bSettingChanged = 0;

    AE_FRAME_RESULT_S &r = c.stResult;
    u64 iso = (100ull * c.stAgain.u32Gain * c.stDgain.u32Gain) >> (c.stAgain.u32Shift + c.stDgain.u32Shift);
    r.u32Iso = (u32)AeBoundaryMaxCheck64((iso * c.stIspDgain.u32Gain) >> c.stIspDgain.u32Shift, 0xFFFFFFFFu);
    r.u32IspDgain = c.stIspDgain.u32Gain;
    r.u8AERunInterval = c.u8RunInterval;
    r.bPirisValid = c.enAlgIrisType == 1;
    r.u32Reserved = 0;
    r.u32PirisGain = c.u32IrisApe;
    r.enFSWDRMode = c.enFSWDRMode;
}

// The integration times of the four exposure slots.
void AeSyncCfgCalc(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const u64 t = c.u32IntTime, tmax = c.u32MaxTime, tmin = c.u32MinTime, o = c.u32Offset;
    const u64 r = c.u32Ratio ? c.u32Ratio : 1;
    auto clamp = [](u64 v, u64 lo, u64 hi) { return v < lo ? lo : v > hi ? hi : v; };
    auto up = [&](u64 x) { u64 v = x * 1024; return ((v > o ? v - o : 0) * r >> 6) + o; };
    auto down = [&](u64 x) { u64 v = x * 1024; return (v > o ? v - o : 0) * 64 / r + o; };
    const bool long_frame = ae_wdr_line_mode(c.u8WDRMode) && c.enFSWDRMode == 1;
    if (!ae_is_wdr(c.u8WDRMode)) {
        for (u64 &s : c.au64SlotTime)
            s = t;
    } else if (long_frame) {
        c.au64SlotTime[0] = tmin;
        c.au64SlotTime[1] = clamp(t, tmin, tmax);
    } else if (c.enStrategy == 0) {
        c.au64SlotTime[0] = clamp(t, tmin, tmax);
        c.au64SlotTime[1] = clamp(up(t), up(tmin), up(tmax)) >> 10;
    } else if (c.enStrategy == 1) {
        c.au64SlotTime[0] = clamp(down(t), down(tmin), down(tmax)) >> 10;
        c.au64SlotTime[1] = clamp(t, tmin, tmax);
    }
    const s64 L = c.u32LinesPer500ms ? c.u32LinesPer500ms : 1;
    for (u32 i = 0; i < 4; i++) {
        c.au32SlotLines[i] = (u32)(c.au64SlotTime[i] >> c.u32TimeShift);
        s64 us = (((s64)c.au32SlotLines[i] * 1024 - (s64)o) * 500000 / L) >> 10;
        c.stResult.au32IntTime[i] = us > 0 ? (u32)us : 0;
    }
    if (long_frame)
        c.stResult.au32IntTime[0] = c.stResult.au32IntTime[1];
}

void AeSnsRegsUpdate(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const AE_SENSOR_CALLBACKS_S &cb = c.stSnsCb;
    if (cb.pfn_cmos_gains_update) {
        u32 a = c.stAgainPrec.enType == 1 ? c.stAgain.u32Gain : c.stAgain.u32Index;
        u32 d = c.stDgainPrec.enType == 1 ? c.stDgain.u32Gain : c.stDgain.u32Index;
        cb.pfn_cmos_gains_update(a, d);
    }
    if (!cb.pfn_cmos_inttime_update)
        return;
    if (c.u8WDRMode >= 2 && c.u8WDRMode <= 4) {
        cb.pfn_cmos_inttime_update(c.au32SlotLines[0]);
        cb.pfn_cmos_inttime_update(c.au32SlotLines[1]);
    } else {
        cb.pfn_cmos_inttime_update(c.u32IntTime >> c.u32TimeShift);
    }
}

// The P-iris goes to the position the calculation chose for its aperture.
void piris_position_update(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    if (c.enAlgIrisType != 1 || c.bIrisEnable != 1 || c.u32PirisPos == c.u32PirisPosSent)
        return;
    if (ae_piris_pos_set(c.bZeroIsMax, c.u16TotalStep, c.u32PirisPos) == 0)
        c.u32PirisPosSent = c.u32PirisPos;
}

// ---- the run entry -------------------------------------------------------------------------------

s32 AeRun(s32 handle, const AE_FRAME_INPUT_S *in, AE_FRAME_RESULT_S *out, s32 rsv)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0)
        return -1;
    for (const void *p : {(const void *)in, (const void *)out})
        if (alg_check_null(p, AE_ERR_NULL_PTR, __FUNCTION__) != 0)
            return AE_ERR_NULL_PTR;
    for (const void *p : {(const void *)in->pstAeStat1, (const void *)in->pstAeStat2, (const void *)in->pstAeStat3,
                          (const void *)in->pstAeStat4, (const void *)in->pstAeStat5})
        if (alg_check_null(p, AE_ERR_NULL_PTR, __FUNCTION__) != 0)
            return AE_ERR_NULL_PTR;
    AE_CTX_S &c = g_astAeCtx[handle];
    if (!c.bInit)
        return -1;
    c.u32FrameCnt = in->u32FrameCnt;
    ae_read_ext_regs(handle);
    const u32 p = c.stIspDgain.u32Shift;
    c.stIspDgain.u32SnsMin = 1u << p;
    if (IO_READ8(ISP_MODULE_CTRL_REG) & ISP_MODULE_PIXEL_DETECT)
        c.stIspDgain.u32SnsMax = 1u << p;
    else
        c.stIspDgain.u32SnsMax = ((ae_is_wdr(c.u8WDRMode) || c.u8WDRMode == 1 ? 256u : 16u) << p) - 1;
    c.f32CalcPeriod = c.u8RunInterval * 1000.0f / (c.f32Fps != 0 ? c.f32Fps : 1.0f);
    if (c.bByPass) {
        *out = c.stResult;
        return 0;
    }
    AeHistStatUpdate(handle, in);
    if (c.enStrategy != c.enWeightStrategy) {
        AeHistWeightDef(handle);
        AeHistWeightUpdate(handle);
        c.enWeightStrategy = c.enStrategy;
    }
    if (c.u8PreWDRMode != c.u8WDRMode) {
        AeSetWDRMode(handle);
        AeUpdateIspRegs(handle);
    }
    s32 ret = AeDbgRunBgn(handle, in);
    if (ret != 0) {
        printf("Ae lib(%d) run dbg failed!\n", handle);
        return ret;
    }
    if (c.u32FrameCnt % (c.u8RunInterval ? c.u8RunInterval : 1) == 0) {
        if (c.enAlgIrisType == 1 && c.stIrisCb.pfn_iris_ops1 && c.stIrisCb.pfn_iris_ops1(0) == 1) {
            *out = c.stResult;
            return 0;
        }
        AeExposureRun(handle, in);
        AeSyncCfgCalc(handle);
        AeExtRegsUpdate(handle);
        AeSnsRegsUpdate(handle);
        piris_position_update(handle);
    }
    AeDbgRunEnd(handle);
    *out = c.stResult;
    ae_weight_handshake(handle, in);
    return 0;
}

} // namespace

// A WDR switch starts the exposure over for the new mode.
void AeSetWDRMode(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.u64RatioAcc = 0x40000;
    c.u32RatioThresh = 128;
    c.u32Ratio = 64;
    c.u16RatioStep = 64;
    c.enFSWDRMode = c.enPreFSWDRMode = 0;
    fswdr_attr_set(c);
    get_ae_default(c);
    AeIncrementInitialize(handle);
    AeExposureInitialize(handle);
    AeRouteExDefault(handle);
    AeRouteExInitialize(handle);
    AeRouteDefault(handle);
    AeRouteInitialize(handle);
    AeExtRegsIntialize(handle);
}

// A new iris type: its driver, the sensor's profile for it and the routes.
void AeSwitchIrisType(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.bExpUpdate = 1;
    c.enAlgIrisType = c.enIrisType;
    iris_driver_register(c);
    c.enPreIrisType = c.enIrisType;
    c.stSnsDft.enIrisType = c.enIrisType;
    get_ae_default(c);
    AeIrisGetSnsInit(handle);
    AeRouteExDefault(handle);
    AeRouteExInitialize(handle);
    AeRouteDefault(handle);
    AeRouteInitialize(handle);
    AeRouteExtRegsInit(handle);
}

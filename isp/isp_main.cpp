// The ISP firmware core of device 0: memory init, init, the per-frame run
// loop with its image-mode and WDR-mode checks, and exit.
#include "isp/isp_ctx.h"

#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "board/board.h"
#include "isp/isp_requests.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/sys/mpi_sys.h"

ISP_CTX_S g_astIspCtx[ISP_MAX_DEV_NUM] = {{0, 0, 0, 0, 0, 0, PTHREAD_MUTEX_INITIALIZER}};
s32 g_as32IspFd[ISP_MAX_DEV_NUM] = {-1};

namespace {

std::mutex g_open_lock;

using isp_alg_reg_fn = s32 (*)(ISP_DEV IspDev);

// A new sensor mode the sensor accepted but was not programmed with yet;
// the next round does it again instead of believing the mode is in force.
bool g_bSensorModePending = false;

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

u32 run_flag() { return __atomic_load_n(&ctx().bRun, __ATOMIC_ACQUIRE); }
void set_run_flag(u32 v) { __atomic_store_n(&ctx().bRun, v, __ATOMIC_RELEASE); }

s32 tell_mem_state(u32 state)
{
    u32 v = state;
    return isp_ioctl(ISP_MEM_INFO_SET, &v);
}

// The modules every frame runs, in the order they run: the defect pixels
// first (their calibration decides whether the rest of the frame's sensor
// work happens), the 3A bridges, then the picture's road from black level
// to sharpen and the frame stitching, and the corrections the video input
// and the colour management carry out.
const isp_alg_reg_fn *module_order(size_t *count)
{
    static const isp_alg_reg_fn order[] = {
        ISP_AlgRegisterDp,       ISP_AlgRegisterAe,      ISP_AlgRegisterAwb,   ISP_AlgRegisterAf,
        ISP_AlgRegisterBlc,      ISP_AlgRegisterDrc,     ISP_AlgRegisterDemosaic, ISP_AlgRegisterGamma,
        ISP_AlgRegisterGammaFe,  ISP_AlgRegisterGe,      ISP_AlgRegisterNr,    ISP_AlgRegisterSharpen,
        ISP_AlgRegisterFrameWDR, ISP_AlgRegisterFPN,     ISP_AlgRegisterDehaze, ISP_AlgRegisterAcm,
        ISP_AlgRegisterShading,
    };
    *count = sizeof order / sizeof order[0];
    return order;
}

void modules_exit_and_clear(ISP_DEV IspDev)
{
    for (auto &alg : ctx().astAlgs) {
        if (alg.bUsed && alg.stAlgFunc.pfn_alg_exit)
            alg.stAlgFunc.pfn_alg_exit(IspDev);
        alg.bUsed = 0;
    }
}

s32 ISP_WDRCfgSet(ISP_DEV IspDev)
{
    u8 mode = ctx().u8WDRMode;
    switch (mode) {
    case WDR_MODE_NONE:
    case WDR_MODE_BUILT_IN:
        IO_WRITE8(ISP_WDR_CFG_REG(0), 10);
        IO_WRITE8(ISP_WDR_CFG_REG(1), 24);
        break;
    case WDR_MODE_2To1_LINE:
    case WDR_MODE_3To1_LINE:
    case WDR_MODE_4To1_LINE:
        IO_WRITE8(ISP_WDR_CFG_REG(0), 24);
        IO_WRITE8(ISP_WDR_CFG_REG(1), 0);
        break;
    default:
        IO_WRITE8(ISP_WDR_CFG_REG(0), 10);
        IO_WRITE8(ISP_WDR_CFG_REG(1), 0);
        break;
    }
    s32 ret = isp_ioctl(ISP_WDR_CFG_SET, &mode);
    if (ret != 0) {
        ISP_TRACE("Config WDR register Failed with ec %#x!\n", ret);
        return ret;
    }
    return 0;
}

void read_image_mode(u16 *width, u16 *height, f32 *fps)
{
    *width = (u16)IO_READ16(ISP_IMAGE_WIDTH_REG);
    *height = (u16)IO_READ16(ISP_IMAGE_HEIGHT_REG);
    *fps = isp_ext_fps();
}

void ISP_GlobalInitialize(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    read_image_mode(&c.u16Width, &c.u16Height, &c.f32Fps);
    c.u16PreWidth = c.u16Width;
    c.u16PreHeight = c.u16Height;
    c.f32PreFps = c.f32Fps;
    c.u8WDRMode = c.u8PreWDRMode = isp_ext_wdr_mode();
    c.bSyncSkip = 1;
    c.u32FrameCnt = 0;
    c.bImageModeInit = 0;
    c.bFreeze = 0;
    g_bSensorModePending = false;
}

s32 ISP_SwitchImageMode(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    read_image_mode(&c.u16Width, &c.u16Height, &c.f32Fps);
    if (!c.bImageModeInit) {
        f32 fps = c.f32Fps;
        isp_alg_ctrl_all(IspDev, ISP_AE_FPS_BASE_SET, &fps);
        c.u16PreWidth = c.u16Width;
        c.u16PreHeight = c.u16Height;
        c.f32PreFps = c.f32Fps;
        c.bImageModeInit = 1;
        return 0;
    }
    if (c.u16Width == c.u16PreWidth && c.u16Height == c.u16PreHeight && c.f32Fps == c.f32PreFps)
        return 0;

    const u16 old_width = c.u16PreWidth, old_height = c.u16PreHeight;
    const f32 old_fps = c.f32PreFps;
    c.u16PreWidth = c.u16Width;
    c.u16PreHeight = c.u16Height;
    c.f32PreFps = c.f32Fps;
    // A failed step puts the old mode back in force, so the next round retries.
    auto restore = [&] {
        c.u16PreWidth = old_width;
        c.u16PreHeight = old_height;
        c.f32PreFps = old_fps;
    };

    ISP_CMOS_SENSOR_IMAGE_MODE_S mode = {c.u16Width, c.u16Height, c.f32Fps};
    if (ISP_SensorSetImageMode(IspDev, &mode) == 0)
        g_bSensorModePending = true;
    if (g_bSensorModePending) {
        ISP_RES_SWITCH_S sw = {c.u16Width, c.u16Height, c.f32Fps};
        s32 ret = isp_ioctl(ISP_RES_SWITCH_SET, &sw);
        if (ret != 0) {
            ISP_TRACE("Config ISP Res Switch Failed with ec %#x!\n", ret);
            restore();
            return ret;
        }
        if (ISP_SensorInit(IspDev) != 0) {
            ISP_TRACE("ISP[%d] init sensor failed!\n", IspDev);
            restore();
            return -1;
        }
        g_bSensorModePending = false;
        u8 changed = 1;
        isp_alg_ctrl_all(IspDev, ISP_CHANGE_IMAGE_MODE_SET, &changed);
    }
    f32 fps = c.f32Fps;
    isp_alg_ctrl_all(IspDev, ISP_AE_FPS_BASE_SET, &fps);
    IO_WRITE8(ISP_EXT_RES_SWITCH, 1);
    return 0;
}

s32 ISP_SwitchWDRMode(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    ISP_WDRCfgSet(IspDev);
    ISP_SensorSetWDRMode(IspDev, c.u8WDRMode);
    if (ISP_SensorInit(IspDev) != 0) {
        ISP_TRACE("ISP[%d] init sensor failed!\n", IspDev);
        return -1;
    }
    if (ISP_SensorUpdateAll(IspDev) != 0) {
        ISP_TRACE("ISP[%d] update sensor all failed!\n", IspDev);
        return -1;
    }
    ISP_ExtRegsInitialize(IspDev);
    ISP_RegsInitialize(IspDev);
    u8 mode = c.u8WDRMode;
    isp_alg_ctrl_all(IspDev, ISP_WDR_MODE_SET, &mode);
    c.u8PreWDRMode = c.u8WDRMode;
    IO_WRITE8(ISP_EXT_WDR_SWITCH, 1);
    return 0;
}

void ISP_ReadExtregs(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    c.bFreeze = IO_READ8(ISP_EXT_FREEZE) & 1;
    ISP_DBG_CTRL_S &d = c.stIspDbg;
    d.bDebugEn = IO_READ16(ISP_EXT_DBG_EN) & 1;
    d.u32PhyAddr = IO_READ16(ISP_EXT_DBG_ADDR_L) | IO_READ16(ISP_EXT_DBG_ADDR_H) << 16;
    d.u32Depth = IO_READ16(ISP_EXT_DBG_DEPTH);
    d.u32Size = IO_READ16(ISP_EXT_DBG_SIZE_L) | IO_READ16(ISP_EXT_DBG_SIZE_H) << 16;
}

void ISP_UpdateDCFInfo(ISP_DEV IspDev)
{
    ISP_DCF_CTRL_S &dcf = ctx().stDcfInfo;
    if (!dcf.bSupport)
        return;
    if (!dcf.pVirtAddr) {
        printf("the IspDCF hasn't init!\n");
        return;
    }
    isp_alg_ctrl_all(IspDev, ISP_DCFINFO_SET, dcf.pVirtAddr);
}

// The checks the lifecycle's entry points start with: device, descriptor,
// then a registered sensor and initialised memory where they are needed.
s32 check_entry(ISP_DEV IspDev, const char *func, bool sensor, bool mem)
{
    ISP_RETURN_IF_FAILED(isp_check_dev_open(IspDev, func));
    if (sensor && ctx().bSnsReg != 1) {
        printf("Sensor doesn't register to ISP[%d]!\n", IspDev);
        return DU_ERR_ISP_SNS_UNREGISTER;
    }
    return mem ? isp_check_mem_init(IspDev, func) : 0;
}

// ---- the init's steps, each beside its undo ----

// The init's messages carry the public call's name.
constexpr const char *kInit = "DU_DUZ_ISP_Init";

s32 statistics_init(ISP_DEV *dev)
{
    s32 ret = ISP_StatisticsInit(*dev);
    if (ret != 0)
        ISP_TRACE_AT(kInit, "ISP[%d] Init statistics failed\n", *dev);
    return ret;
}
void statistics_exit(ISP_DEV *dev) { ISP_StatisticsExit(*dev); }
s32 proc_init(ISP_DEV *dev) { return ISP_ProcInit(*dev); }
void proc_exit(ISP_DEV *dev) { ISP_ProcExit(*dev); }
s32 dcf_init(ISP_DEV *dev) { return isp_dcf_info_init(*dev); }
void dcf_exit(ISP_DEV *dev) { isp_dcf_info_exit(*dev); }

// The sensor in the configured WDR and image mode, initialised and programmed.
s32 sensor_start(ISP_DEV *dev)
{
    const char *failed = nullptr;
    if (ISP_SensorSetWDRMode(*dev, isp_ext_wdr_mode()) != 0) {
        failed = "ISP[%d] set sensor WDR mode failed!\n";
    } else {
        ISP_CMOS_SENSOR_IMAGE_MODE_S mode;
        read_image_mode(&mode.u16Width, &mode.u16Height, &mode.f32Fps);
        if (ISP_SensorSetImageMode(*dev, &mode) != 0)
            failed = "ISP[%d] set sensor image mode failed!\n";
        else if (ISP_SensorInit(*dev) != 0)
            failed = "ISP[%d] init sensor failed!\n";
        else if (ISP_SensorUpdateAll(*dev) != 0)
            failed = "ISP[%d] update sensor all failed!\n";
    }
    if (!failed)
        return 0;
    char why[96];
    snprintf(why, sizeof why, failed, *dev);
    ISP_TRACE_AT(kInit, "%s", why);
    return DU_ERR_ISP_NOT_INIT;
}

// The registers at their defaults, then every module registered and
// initialised.
s32 modules_start(ISP_DEV *dev)
{
    ISP_ExtRegsDefault();
    ISP_RegsDefault();
    ISP_ExtRegsInitialize(*dev);
    ISP_RegsInitialize(*dev);
    ISP_GlobalInitialize(*dev);

    size_t count;
    const isp_alg_reg_fn *order = module_order(&count);
    for (size_t i = 0; i < count; i++)
        order[i](*dev);
    for (auto &alg : ctx().astAlgs)
        if (alg.bUsed && alg.stAlgFunc.pfn_alg_init)
            alg.stAlgFunc.pfn_alg_init(*dev);
    return 0;
}
void modules_stop(ISP_DEV *dev) { modules_exit_and_clear(*dev); }

s32 wdr_cfg_set(ISP_DEV *dev)
{
    s32 ret = ISP_WDRCfgSet(*dev);
    if (ret != 0)
        ISP_TRACE_AT(kInit, "ISP[%d] set WDR mode to kernel failed!\n", *dev);
    return ret;
}

const mpi_step<ISP_DEV> kInitSteps[] = {
    {nullptr, statistics_init, statistics_exit},
    {nullptr, proc_init, proc_exit},
    {nullptr, dcf_init, dcf_exit},
    {nullptr, sensor_start, nullptr},
    {nullptr, modules_start, modules_stop},
    {nullptr, wdr_cfg_set, nullptr},
};

} // namespace

// One frame: statistics, every module, proc text, DCF, registers and,
// at the sync interval, the sensor's exposure registers.
s32 ISP_Run(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    void *stat = nullptr;
    s32 ret = ISP_StatisticsGetBuf(IspDev, &stat);
    if (ret != 0)
        return ret;
    void *regcfg = nullptr;
    ISP_RegCfgInit(IspDev, &regcfg);
    ISP_ReadExtregs(IspDev);
    if (c.bFreeze)
        return ISP_RegCfgSet(IspDev); // the statistics buffer stays held for next frame

    c.u32FrameCnt++;
    ISP_DbgRunBgn(&c.stIspDbg, c.u32FrameCnt);
    for (auto &alg : c.astAlgs)
        if (alg.bUsed && alg.stAlgFunc.pfn_alg_run)
            alg.stAlgFunc.pfn_alg_run(IspDev, stat, regcfg, 0);
    ISP_ProcWrite(c.astAlgs, IspDev);
    ISP_UpdateDCFInfo(IspDev);
    ISP_DbgRunEnd(&c.stIspDbg, c.u32FrameCnt);
    ISP_StatisticsPutBuf(IspDev);
    ISP_RegCfgSet(IspDev);
    if (c.bSyncSkip == 0 && (c.u8SyncInterval == 0 || c.u32FrameCnt % c.u8SyncInterval == 0))
        ISP_SyncCfgSet(IspDev);
    return 0;
}

// ---- shared helpers of the core -------------------------------------------------------------

u8 isp_ext_wdr_mode(void) { return (u8)((IO_READ16(ISP_EXT_WDR_MODE) >> 4) & 0x3F); }

f32 isp_ext_fps(void)
{
    u32 bits = IO_READ32(ISP_EXT_FPS);
    f32 fps;
    memcpy(&fps, &bits, sizeof fps);
    return fps;
}

s32 isp_check_dev(ISP_DEV IspDev, const char *func)
{
    if (IspDev != 0) {
        ISP_TRACE_AT(func, "Err isp dev %d!\n", IspDev);
        return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    return 0;
}

s32 isp_check_open(ISP_DEV IspDev)
{
    // Only a descriptor above 0 counts as open.
    static const mpi_dev_node node = {"/dev/isp_dev", O_RDONLY, ISP_DEV_SET_FD, 1};
    mpi_dev_result r = mpi_dev_open_locked(g_open_lock, &g_as32IspFd[0], node, (u32)IspDev);
    if (r.step == MPI_DEV_OPEN_FAILED)
        perror("open isp device error!\n");
    return r.ok() ? 0 : DU_ERR_ISP_NOT_INIT;
}

s32 isp_check_dev_open(ISP_DEV IspDev, const char *func)
{
    s32 ret = isp_check_dev(IspDev, func);
    return ret != 0 ? ret : isp_check_open(IspDev);
}

s32 isp_check_rec(ISP_DEV IspDev, const void *rec, const char *func)
{
    ISP_RETURN_IF_FAILED(isp_check_dev(IspDev, func));
    if (!rec) {
        ISP_TRACE_AT(func, "Null Pointer!\n");
        return DU_ERR_ISP_NULL_PTR;
    }
    return isp_check_open(IspDev);
}

s32 isp_check_rec_mem(ISP_DEV IspDev, const void *rec, const char *func)
{
    s32 ret = isp_check_rec(IspDev, rec, func);
    return ret != 0 ? ret : isp_check_mem_init(IspDev, func);
}

void *isp_map_kernel_buf(u32 u32PhyAddr, u32 u32Size, unsigned long free_request, const char *func,
                         const char *fail_msg)
{
    void *virt = DU_DUZ_SYS_Mmap(u32PhyAddr, u32Size);
    if (!virt) {
        ISP_TRACE_AT(func, "%s\n", fail_msg);
        isp_ioctl(free_request, nullptr);
    }
    return virt;
}

s32 isp_ioctl(unsigned long request, void *arg)
{
    if (g_as32IspFd[0] < 0 && isp_check_open(0) != 0)
        return DU_ERR_ISP_NOT_INIT;
    return bd_ioctl(g_as32IspFd[0], request, arg);
}

s32 isp_check_mem_init(ISP_DEV IspDev, const char *func)
{
    ISP_CTX_S &c = ctx();
    if (c.bMemInit == 1)
        return 0;
    if (isp_ioctl(ISP_MEM_INFO_GET, &c.bMemInit) != 0) {
        ISP_TRACE_AT(func, "ISP[%d] get Mem info failed in %s!\n", IspDev, func);
        return DU_ERR_ISP_MEM_NOT_INIT;
    }
    if (c.bMemInit != 1) {
        ISP_TRACE_AT(func, "ISP[%d] Mem NOT Init %d in %s!\n", IspDev, c.bMemInit, func);
        return DU_ERR_ISP_MEM_NOT_INIT;
    }
    return 0;
}

s32 isp_alg_register(const char *func, ISP_ALG_ID_E id, const ISP_ALG_FUNC_S &ops)
{
    for (auto &alg : ctx().astAlgs) {
        if (alg.bUsed)
            continue;
        alg.bUsed = 1;
        alg.enAlgType = id;
        alg.stAlgFunc = ops;
        return 0;
    }
    ISP_TRACE_AT(func, "Null Pointer!\n");
    return DU_ERR_ISP_NULL_PTR;
}

void isp_alg_ctrl_all(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    for (auto &alg : ctx().astAlgs)
        if (alg.bUsed && alg.stAlgFunc.pfn_alg_ctrl)
            alg.stAlgFunc.pfn_alg_ctrl(IspDev, u32Cmd, pValue);
}

// ---- lifecycle ----------------------------------------------------------------------------------------

s32 DU_DUZ_ISP_MemInit(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    s32 ret = check_entry(IspDev, __FUNCTION__, true, false);
    if (ret != 0)
        return ret;
    if (isp_ioctl(ISP_MEM_INFO_GET, &c.bMemInit) != 0) {
        ISP_TRACE("ISP[%d] get Mem info failed!\n", IspDev);
        return DU_ERR_ISP_MEM_NOT_INIT;
    }
    if (c.bMemInit == 1) {
        // A previous run left the kernel's pages in place.
        VReg_ReleaseAll();
        c.bMemInit = 0;
        if (tell_mem_state(0) != 0)
            return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    if (isp_check_open(IspDev) != 0)
        return DU_ERR_ISP_ILLEGAL_PARAM;

    ISP_VERSION_S info = {sizeof(ISP_VERSION_S), "Mar 28 2016", "19:36:19", 0};
    ret = isp_ioctl(ISP_LIB_INFO_SET, &info);
    if (ret != 0) {
        ISP_TRACE("register ISP lib info ec %x!\n", ret);
        return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    ret = VReg_Init(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE);
    if (ret != 0) {
        ISP_TRACE("ISP[%d] init Mem failed\n", IspDev);
        return ret;
    }
    c.bMemInit = 1;
    ret = tell_mem_state(1);
    if (ret != 0) {
        c.bMemInit = 0;
        VReg_ReleaseAll();
        ISP_TRACE("ISP[%d] set Mem info failed!\n", IspDev);
        return ret;
    }
    c.bWDRCfg = c.bPubCfg = c.bIspInit = 0;
    set_run_flag(0);
    IO_WRITE8(ISP_EXT_WDR_CFG, 0);
    IO_WRITE8(ISP_EXT_PUB_CFG, 0);
    IO_WRITE8(ISP_EXT_WDR_SWITCH, 0);
    IO_WRITE8(ISP_EXT_RES_SWITCH, 0);
    return 0;
}

s32 DU_DUZ_ISP_Init(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    s32 ret = check_entry(IspDev, __FUNCTION__, true, true);
    if (ret != 0)
        return ret;
    c.bWDRCfg = IO_READ8(ISP_EXT_WDR_CFG) & 1;
    if (c.bWDRCfg != 1) {
        ISP_TRACE("Isp[%d] WDR mode doesn't config in %s!\n", IspDev, __FUNCTION__);
        return DU_ERR_ISP_ATTR_NOT_CFG;
    }
    c.bPubCfg = IO_READ8(ISP_EXT_PUB_CFG) & 1;
    if (c.bPubCfg != 1) {
        ISP_TRACE("Isp[%d] Pub Attr doesn't config in %s!\n", IspDev, __FUNCTION__);
        return DU_ERR_ISP_ATTR_NOT_CFG;
    }
    if (c.bIspInit == 1)
        return 0;

    // A failing step undoes the ones before it: the init may be tried again.
    if (s32 failed = mpi_steps_run(kInitSteps, &IspDev))
        return failed;
    pthread_mutex_lock(&c.mutex);
    c.bIspInit = 1;
    set_run_flag(1);
    pthread_mutex_unlock(&c.mutex);
    return 0;
}

s32 DU_DUZ_ISP_Run(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    s32 ret = check_entry(IspDev, __FUNCTION__, true, true);
    if (ret != 0)
        return ret;
    if (c.bIspInit != 1) {
        ISP_TRACE("Isp[%d] doesn't initialized in %s!\n", IspDev, __FUNCTION__);
        return DU_ERR_ISP_ATTR_NOT_CFG;
    }

    pthread_mutex_lock(&c.mutex);
    if (!run_flag()) {
        pthread_mutex_unlock(&c.mutex);
        return 0;
    }
    u32 on = 1;
    if (isp_ioctl(ISP_SET_INT_ENABLE, &on) != 0) {
        perror("Enable ISP interrupt failed!\n");
        pthread_mutex_unlock(&c.mutex);
        return -1;
    }
    pthread_mutex_unlock(&c.mutex);

    for (;;) {
        pthread_mutex_lock(&c.mutex);
        if (!run_flag())
            break;
        ISP_SwitchImageMode(IspDev);
        u8 wdr = isp_ext_wdr_mode();
        if (wdr != c.u8WDRMode) {
            c.u8WDRMode = wdr;
            if (ISP_SwitchWDRMode(IspDev) != 0)
                c.u8WDRMode = c.u8PreWDRMode; // the next round tries again
        }
        u32 status = 0;
        if (isp_ioctl(ISP_GET_FRAME_EDGE, &status) == 0 && (status & 1))
            ISP_Run(IspDev);
        pthread_mutex_unlock(&c.mutex);
        usleep(10);
    }
    pthread_mutex_unlock(&c.mutex);
    u32 off = 0;
    if (isp_ioctl(ISP_SET_INT_ENABLE, &off) != 0)
        perror("Disable ISP interrupt failed!\n");
    return 0;
}

s32 DU_DUZ_ISP_Exit(ISP_DEV IspDev)
{
    ISP_CTX_S &c = ctx();
    s32 ret = check_entry(IspDev, __FUNCTION__, false, true);
    if (ret != 0)
        return ret;

    // The loop sees this at the start of its next round and lets go of the
    // mutex, so Exit is not kept waiting behind round after round.
    set_run_flag(0);
    pthread_mutex_lock(&c.mutex);
    c.bWDRCfg = c.bPubCfg = c.bIspInit = 0;
    set_run_flag(0);
    IO_WRITE8(ISP_EXT_WDR_CFG, 0);
    IO_WRITE8(ISP_EXT_PUB_CFG, 0);
    modules_exit_and_clear(IspDev);
    for (ISP_LIB_INFO_S *libs : {&c.stAeLibInfo, &c.stAwbLibInfo, &c.stAfLibInfo})
        for (auto &lib : libs->astLibs)
            lib.bUsed = 0;
    ISP_SensorExit(IspDev);
    ISP_ProcExit(IspDev);
    isp_dcf_info_exit(IspDev);
    ISP_StatisticsExit(IspDev);
    isp_dbg_unmap(&c.stIspDbg);
    VReg_Munmap();
    VReg_Exit(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE);
    pthread_mutex_unlock(&c.mutex);

    c.bMemInit = 0;
    return tell_mem_state(0) == 0 ? 0 : DU_ERR_ISP_ILLEGAL_PARAM;
}

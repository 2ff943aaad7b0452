// The recording engine's ISP start: the sensor and the three 3A libraries
// registered, the ISP sized from the input entry of gsDvConfig, initialised,
// and its per-frame loop run on a thread of its own.
#include "recorder/dv_isp.h"

#include "core/kx_thread.h"
#include "isp/3a/ae/mpi_ae.h"
#include "isp/3a/af/mpi_af.h"
#include "isp/3a/awb/mpi_awb.h"
#include "isp/mpi_isp.h"
#include "isp/sensor/mn34220/mn34220.h"
#include "recorder/dv_pipeline.h"

#include <cstdio>

pthread_t gs_DvIspPid;

namespace {

constexpr ISP_DEV kIspDev = 0;

const ALG_LIB_HANDLE_S kAeLib = {0, "vudi_ae_lib"};
const ALG_LIB_HANDLE_S kAwbLib = {0, "vudi_awb_lib"};
const ALG_LIB_HANDLE_S kAfLib = {0, "vudi_af_lib"};

// The ISP's window and frame rate for the sensor input entry.
ISP_FRAME_FORMAT_S isp_mode(const KX_DV_VI_PARAM_S &p)
{
    const bool slow = p.u8FrameRate <= 30;
    switch (p.u8Resolution) {
    case PIC_HD1080:
        return {0, 16, 1920, 1080, p.u8WdrMode != 0 || slow ? 30.0f : 60.0f, BAYER_GRBG};
    case PIC_HD720:
        // At 30 frames or less the input channel cuts 720p from the full field.
        if (slow)
            return {0, 16, 1920, 1080, 30.0f, BAYER_GRBG};
        return {0, 16, 1280, 720, 120.0f, BAYER_GRBG};
    case PIC_VGA:
        return {0, 0, 640, 480, 240.0f, BAYER_GRBG};
    default:
        return {0, 16, 1920, 1080, 60.0f, BAYER_GRBG};
    }
}

// How far an init got, so that a failure can take back exactly that: the
// library slots are few, and a start that left them taken could never
// register again.
enum InitStage { kNothing, kSensor, kAe, kAwb, kAf, kMem };

void undo_init(InitStage done)
{
    if (done >= kMem) {
        // The exit frees the ISP's memory, exits the sensor and empties the
        // library slots.
        DU_DUZ_ISP_Exit(kIspDev);
    } else {
        if (done >= kAf)
            DU_DUZ_AF_UnRegister(kIspDev, &kAfLib);
        if (done >= kAwb)
            DU_DUZ_AWB_UnRegister(kIspDev, &kAwbLib);
        if (done >= kAe)
            DU_DUZ_AE_UnRegister(kIspDev, &kAeLib);
    }
    if (done >= kSensor)
        sensor_unregister_callback();
}

s32 init_failed(InitStage done, s32 ret)
{
    undo_init(done);
    return ret;
}

} // namespace

void *DV_ISP_Run_Thread(void *)
{
    // Returns only once the ISP is exited; its result tells nothing more.
    DU_DUZ_ISP_Run(kIspDev);
    return nullptr;
}

s32 KX_DV_ISP_Init(void)
{
    const char *fn = "KX_DV_ISP_Init";
    const KX_DV_VI_PARAM_S &vi = gsDvConfig.sVi.sParam[0];
    const ISP_FRAME_FORMAT_S pub = isp_mode(vi);
    const ISP_WDR_SEL_S wdr = {vi.u8WdrMode};

    s32 ret = sensor_register_callback();
    if (ret != 0) {
        printf("%s: sensor_register_callback failed with %#x!\n", fn, ret);
        return ret;
    }
    if ((ret = DU_DUZ_AE_Register(kIspDev, &kAeLib)) != 0) {
        printf("%s: DU_DUZ_AE_Register failed!\n", fn);
        return init_failed(kSensor, ret);
    }
    if ((ret = DU_DUZ_AWB_Register(kIspDev, &kAwbLib)) != 0) {
        printf("%s: DU_DUZ_AWB_Register failed!\n", fn);
        return init_failed(kAe, ret);
    }
    if ((ret = DU_DUZ_AF_Register(kIspDev, &kAfLib)) != 0) {
        printf("%s: DU_DUZ_AF_Register failed!\n", fn);
        return init_failed(kAwb, ret);
    }
    if ((ret = DU_DUZ_ISP_MemInit(kIspDev)) != 0) {
        printf("%s: DU_DUZ_ISP_Init failed!\n", fn);
        return init_failed(kAf, ret);
    }
    if ((ret = DU_DUZ_ISP_SetWDRMode(kIspDev, &wdr)) != 0) {
        puts("start ISP WDR failed!");
        return init_failed(kMem, ret);
    }
    if ((ret = DU_DUZ_ISP_SetPubAttr(kIspDev, &pub)) != 0) {
        printf("%s: DU_DUZ_ISP_SetPubAttr failed with %#x!\n", fn, ret);
        return init_failed(kMem, ret);
    }
    if ((ret = DU_DUZ_ISP_Init(kIspDev)) != 0) {
        printf("%s: DU_DUZ_ISP_Init failed!\n", fn);
        return init_failed(kMem, ret);
    }
    return 0;
}

s32 KX_DV_ISP_Run(void)
{
    if (KX_THCreate_API(&gs_DvIspPid, nullptr, DV_ISP_Run_Thread, nullptr) != 0) {
        printf("%s: create isp running thread failed!\n", "KX_DV_ISP_Run");
        // Nothing will run the initialised ISP: take it down so that the
        // next start can register again.
        undo_init(kMem);
        return -1;
    }
    return 0;
}

s32 KX_DV_ISP_Stop(void)
{
    if (!(u32RecModeFlag & DV_STATE_ISP))
        return 0;
    if (DU_DUZ_ISP_Exit(kIspDev) != 0)
        return 0; // the loop may still run: no join
    u32RecModeFlag &= ~DV_STATE_ISP;
    pthread_join(gs_DvIspPid, nullptr);
    return 0;
}

s32 KX_DV_ISP_ChangePubAttr(s32 x, s32 y, u32 width, u32 height, float fps)
{
    const ISP_FRAME_FORMAT_S pub = {x, y, width, height, fps, BAYER_GRBG};
    s32 ret = DU_DUZ_ISP_SetPubAttr(kIspDev, &pub);
    if (ret != 0)
        printf("%s: DU_DUZ_ISP_SetPubAttr failed with %#x!\n", "KX_DV_ISP_ChangePubAttr", ret);
    return ret;
}

s32 KX_DV_ISP_ChangeWdrMode(u32 mode)
{
    const ISP_WDR_SEL_S wdr = {mode};
    s32 ret = DU_DUZ_ISP_SetWDRMode(kIspDev, &wdr);
    if (ret != 0)
        printf("%s: DU_DUZ_ISP_SetWDRMode failed with %#x!\n", "KX_DV_ISP_ChangeWdrMode", ret);
    return ret;
}

// The TV output: processing channel 2 -> output device 0, layer 0, channel 0,
// switched on and off as the cable comes and goes.
#include "recorder/dv_tv.h"

#include "core/pref_record.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/sys/mpi_sys.h"
#include "recorder/dv_config.h"
#include "recorder/dv_osd.h"
#include "recorder/dv_pipeline.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr VO_DEV kTvDev = 0;
constexpr VO_LAYER kTvLayer = 0;
constexpr VO_CHN kTvChn = 0;
constexpr VPSS_GRP kTvGrp = 0;
constexpr VPSS_CHN kTvVpssChn = 2;
constexpr u32 kTvWidth = 720;
constexpr u32 kBgBlue = 0x0000FF;

// The only pacing of the output's teardown.
void settle() { usleep(50 * 1000); }

// Prints "failed with" and the code when `ret` is a failure; 0 or -1.
s32 checked(s32 ret)
{
    if (ret == 0)
        return 0;
    printf("failed with %#x!\n", ret);
    return -1;
}

s32 vpss_range_ok(s32 grp, s32 chn)
{
    if (grp < 0 || grp > VPSS_MAX_GRP_NUM) {
        printf("VpssGrp%d is out of rang[0,%d]. \n", grp, VPSS_MAX_GRP_NUM);
        return 0;
    }
    if (chn < 0 || chn > VPSS_MAX_CHN_NUM) {
        printf("VpssChn%d is out of rang[0,%d]. \n", chn, VPSS_MAX_CHN_NUM);
        return 0;
    }
    return 1;
}

MPP_CHN_ADDR_S vpss_addr(VPSS_GRP grp, VPSS_CHN chn) { return {DU_ID_VPSS, grp, chn}; }
MPP_CHN_ADDR_S vo_addr(VO_DEV dev, VO_CHN chn) { return {DU_ID_VOU, dev, chn}; }

} // namespace

KX_DV_TV_MODE_S tv_mode_for(u32 eSync, u32 sensorFps)
{
    bool fast = sensorFps >= 60;
    if (eSync == PREF_TV_PAL)
        return {kTvWidth, 576, VO_OUTPUT_PAL, fast ? 55u : 25u};
    return {kTvWidth, 480, VO_OUTPUT_NTSC, fast ? 60u : 30u};
}

s32 KX_DV_VO_VPSS_EnableChn(s32 grp, s32 chn, const VPSS_CHN_ATTR_REC_S *chnAttr, const VPSS_CHN_MODE_REC_S *mode,
                            const VPSS_EXT_CHN_ATTR_REC_S *extAttr)
{
    if (!vpss_range_ok(grp, chn))
        return -1;
    if (!chnAttr && !extAttr) {
        printf("null ptr,line%d. \n", __LINE__);
        return -1;
    }
    s32 ret;
    if (chn > 3) {
        if ((ret = DU_DUZ_VPSS_SetExtChnAttr(grp, chn, extAttr)) != 0) {
            printf("%s failed with %#x\n", "DU_DUZ_VPSS_SetExtChnAttr", ret);
            return -1;
        }
    } else {
        if ((ret = DU_DUZ_VPSS_SetChnAttr(grp, chn, chnAttr)) != 0) {
            printf("DU_DUZ_VPSS_SetChnAttr failed with %#x\n", ret);
            return -1;
        }
        if (mode && (ret = DU_DUZ_VPSS_SetChnMode(grp, chn, mode)) != 0) {
            printf("%s failed with %#x\n", "DU_DUZ_VPSS_SetChnMode", ret);
            return -1;
        }
    }
    if ((ret = DU_DUZ_VPSS_EnableChn(grp, chn)) != 0) {
        printf("DU_DUZ_VPSS_EnableChn failed with %#x\n", ret);
        return -1;
    }
    return 0;
}

s32 KX_DV_VO_VPSS_DisableChn(s32 grp, s32 chn)
{
    if (!vpss_range_ok(grp, chn))
        return -1;
    s32 ret = DU_DUZ_VPSS_DisableChn(grp, chn);
    if (ret != 0) {
        printf("%s failed with %#x\n", "DU_DUZ_VPSS_DisableChn", ret);
        return -1;
    }
    return 0;
}

s32 KX_DV_VO_BindVpss(VO_DEV voDev, VO_CHN voChn, VPSS_GRP grp, VPSS_CHN chn)
{
    MPP_CHN_ADDR_S src = vpss_addr(grp, chn), dst = vo_addr(voDev, voChn);
    return checked(DU_DUZ_SYS_Bind(&src, &dst));
}

s32 KX_DV_VO_UnBindVpss(VO_DEV voDev, VO_CHN voChn, VPSS_GRP grp, VPSS_CHN chn)
{
    MPP_CHN_ADDR_S src = vpss_addr(grp, chn), dst = vo_addr(voDev, voChn);
    return checked(DU_DUZ_SYS_UnBind(&src, &dst));
}

s32 KX_DV_VO_StartDev(VO_DEV dev, const VO_PUB_ATTR_REC_S *attr)
{
    if (checked(DU_DUZ_VO_SetPubAttr(dev, attr)) != 0)
        return -1;
    return checked(DU_DUZ_VO_Enable(dev));
}

s32 KX_DV_VO_StopDev(VO_DEV dev) { return checked(DU_DUZ_VO_Disable(dev)); }

s32 KX_DV_VO_StartLayer(VO_LAYER layer, const VO_LAYER_ATTR_REC_S *attr, u32 flag)
{
    if (flag == 0 && checked(DU_DUZ_VO_SetDispBufLen(layer, 3)) != 0)
        return -1;
    if (checked(DU_DUZ_VO_SetVideoLayerAttr(layer, attr)) != 0)
        return -1;
    return checked(DU_DUZ_VO_EnableVideoLayer(layer));
}

s32 KX_DV_VO_StopLayer(VO_LAYER layer) { return checked(DU_DUZ_VO_DisableVideoLayer(layer)); }

s32 KX_DV_VO_StartChn(VO_LAYER dev, u32 /*mode*/)
{
    VO_LAYER_ATTR_REC_S layer;
    if (checked(DU_DUZ_VO_GetVideoLayerAttr(dev, &layer)) != 0)
        return -1;
    printf("======TV_OUT u32Width:%d, u32Height:%d\n", layer.u32ImageWidth, layer.u32ImageHeight);
    VO_CHN_ATTR_REC_S chn = {0, {0, 0, layer.u32ImageWidth, layer.u32ImageHeight}, 0};
    s32 ret = DU_DUZ_VO_SetChnAttr(dev, kTvChn, &chn);
    if (ret != 0) {
        printf("%s(%d):failed with %#x!\n", "DU_DUZ_VO_SetChnAttr", 219, ret);
        return -1;
    }
    return checked(DU_DUZ_VO_EnableChn(dev, kTvChn));
}

s32 KX_DV_VO_StopChn(VO_LAYER dev, u32 mode)
{
    if (mode > 1) {
        printf("failed with %#x!\n", 0);
        return -1;
    }
    s32 ret = 0;
    for (VO_CHN chn = 0; chn <= (VO_CHN)mode; chn++)
        if (checked(DU_DUZ_VO_DisableChn(dev, chn)) != 0)
            ret = -1;
    return ret;
}

namespace {

// What the output's switch works on: the records its steps set, and the
// result of a switch off (-1 once a stop failed).
struct TvOut {
    VPSS_CHN_ATTR_REC_S vpss;
    VPSS_CHN_MODE_REC_S mode;
    VO_PUB_ATTR_REC_S pub;
    VO_LAYER_ATTR_REC_S layer;
    s32 ret;
};

s32 vpss_on(TvOut *t) { return KX_DV_VO_VPSS_EnableChn(kTvGrp, kTvVpssChn, &t->vpss, &t->mode, nullptr); }
void vpss_off(TvOut *t) { t->ret |= KX_DV_VO_VPSS_DisableChn(kTvGrp, kTvVpssChn); }
s32 dev_on(TvOut *t) { return KX_DV_VO_StartDev(kTvDev, &t->pub); }
void dev_off(TvOut *t)
{
    t->ret |= KX_DV_VO_StopDev(kTvDev);
    settle();
}
s32 layer_on(TvOut *t) { return KX_DV_VO_StartLayer(kTvLayer, &t->layer, 1); }
void layer_off(TvOut *t)
{
    t->ret |= KX_DV_VO_StopLayer(kTvLayer);
    settle();
}
s32 chn_on(TvOut *) { return KX_DV_VO_StartChn(kTvLayer, 0); }
void chn_off(TvOut *t)
{
    t->ret |= KX_DV_VO_StopChn(kTvLayer, 0);
    settle();
}
s32 bind_on(TvOut *)
{
    s32 ret = KX_DV_VO_BindVpss(kTvDev, kTvChn, kTvGrp, kTvVpssChn);
    if (ret != 0)
        printf("------SAMPLE_COMM_VO_BindVpss(vo:%d)-(VpssChn:%d) failed with %#x!\n", kTvDev, kTvVpssChn, ret);
    return ret;
}

// Switched on in this order; a failing step takes back, in reverse,
// everything done before it. The bind, the last, is taken back by the
// switch off first, with the date stamp.
enum { kTvBindStep = 4 };
constexpr mpi_step<TvOut> kTvSteps[] = {
    {"------start VPSS CHN failed!", vpss_on, vpss_off},
    {"------SAMPLE_COMM_VO_StartDev failed!", dev_on, dev_off},
    {nullptr, layer_on, layer_off},
    {"------SAMPLE_COMM_VO_StartChn failed!", chn_on, chn_off},
    {nullptr, bind_on, nullptr},
};
static_assert(kTvSteps[kTvBindStep].run == bind_on, "the bind is the last step");

} // namespace

s32 video_out_proc(u32 on)
{
    TvOut t = {};
    if (on != 1) {
        t.ret = KX_DV_VO_UnBindVpss(kTvDev, kTvChn, kTvGrp, kTvVpssChn);
        // Stopped whatever the stamp setting says now: it may have changed
        // since the output went on, and a stop of no thread does nothing.
        KX_DV_StopVoOsdThread();
        mpi_steps_undo(kTvSteps, kTvBindStep, &t);
        return t.ret ? -1 : 0;
    }

    KX_DV_TV_MODE_S tv = tv_mode_for(gsDvConfig.sVo.sParam.eSync, dvViParam.sParam[0].u8FrameRate);
    // Mirrored and flipped like the recordings when the input is not rotated.
    u32 flip = gsDvConfig.sVpss.sParam[kTvVpssChn].bRotate == 0 ? 1 : 0;
    t.vpss = {0, 0, flip, flip, -1, -1, {0, 0, 0, 0, 0}};
    t.mode = {VPSS_CHN_MODE_USER, tv.u32Width, tv.u32Height, 0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 1};
    t.pub = {kBgBlue, VO_INTF_CVBS, tv.enIntfSync, {}};
    t.layer = {{0, 0, tv.u32Width, tv.u32Height}, tv.u32Width, tv.u32Height, tv.u32FrameRate,
               PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0};
    if (mpi_steps_run(kTvSteps, &t, mpi_step_say_line) != 0)
        return -1;
    if (gsDvConfig.sOsd.sParam[1].bEnable)
        KX_VoOsdThreadRun();
    return 0;
}

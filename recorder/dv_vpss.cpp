// The processing stage: group 0 sized for processing entry 0, its enabled
// channels scaled to their entries' sizes, bound from the video input.
#include "recorder/dv_pipeline.h"

#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vpss/mpi_vpss.h"

#include <cstdio>

KX_DV_VPSS_S dvVpssParam;
KX_DV_VPSS_S *Setup_DV_Vpss = &gsDvConfig.sVpss;
u8 u8vpssworkstatus[4];

namespace {

constexpr u32 kChnNum = 4;

// The channels the start enabled, per group entry: the stop disables each.
u8 vpss_chn_enabled[4][kChnNum];

// The size of a code as the pipeline cuts it: norm 1, the input's rotation.
SIZE_S pic_size(u8 code)
{
    SIZE_S size = {0, 0};
    KX_DV_SYS_GetPicSize(1, code, &size, dvViParam.sParam[0].enRotate & 0xFF);
    return size;
}

// Prints the failing call with its status and gives `result`.
s32 report(const char *call, s32 ret, s32 result, bool bang = true)
{
    printf(bang ? "%s failed with %#x!\n" : "%s failed with %#x\n", call, ret);
    return result;
}

s32 group_start(VPSS_GRP grp, const SIZE_S &max)
{
    VPSS_GRP_ATTR_REC_S attr = {max.u32Width, max.u32Height, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
    s32 ret;
    if ((ret = DU_DUZ_VPSS_CreateGrp(grp, &attr)) != 0)
        return report("DU_DUZ_VPSS_CreateGrp", ret, -1);
    // The group exists from here: a stop after a later failure destroys it.
    u8vpssworkstatus[0] = 1;
    if ((ret = DU_DUZ_VPSS_GetGrpAttr(grp, &attr)) != 0)
        return report("DU_DUZ_VPSS_GetGrpAttr", ret, ret);
    attr.bIeEn = 0;
    attr.bNrEn = 1;
    if ((ret = DU_DUZ_VPSS_SetGrpAttr(grp, &attr)) != 0)
        return report("DU_DUZ_VPSS_SetGrpAttr", ret, ret);
    VPSS_GRP_PARAM_REC_S param;
    if ((ret = DU_DUZ_VPSS_GetGrpParam(grp, &param)) != 0)
        return report("DU_DUZ_VPSS_GetGrpParam", ret, -1);
    if ((ret = DU_DUZ_VPSS_SetGrpParam(grp, &param)) != 0)
        return report("DU_DUZ_VPSS_SetGrpParam", ret, -1);
    if ((ret = DU_DUZ_VPSS_StartGrp(grp)) != 0)
        return report("DU_DUZ_VPSS_StartGrp", ret, -1, false);
    return 0;
}

s32 channel_enable(VPSS_GRP grp, VPSS_CHN chn, const KX_DV_VPSS_PARAM_S &e)
{
    VPSS_CHN_ATTR_REC_S attr;
    s32 ret;
    if ((ret = DU_DUZ_VPSS_GetChnAttr(grp, chn, &attr)) != 0)
        return report("DU_DUZ_VPSS_GetChnAttr", ret, -1, false);
    attr.bSpEn = 0;
    attr.bBorderEn = 0;
    // An unrotated sensor is mounted upside down.
    attr.bMirror = attr.bFlip = e.bRotate == 0 ? 1 : 0;
    attr.s32SrcFrameRate = attr.s32DstFrameRate = -1;
    if ((ret = DU_DUZ_VPSS_SetChnAttr(grp, chn, &attr)) != 0)
        return report("DU_DUZ_VPSS_SetChnAttr", ret, -1, false);
    VPSS_CHN_MODE_REC_S mode;
    if ((ret = DU_DUZ_VPSS_GetChnMode(grp, chn, &mode)) != 0)
        return report("DU_DUZ_VPSS_GetChnMode", ret, -1, false);
    SIZE_S size = pic_size(e.u8Resolution);
    if (chn == 3)
        printf("stSize.u32Width = %d ePicSize = %d\n", size.u32Width, e.u8Resolution);
    mode.enChnMode = VPSS_CHN_MODE_USER;
    mode.u32Width = size.u32Width;
    mode.u32Height = size.u32Height;
    mode.enPixelFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
    mode.enCompressMode = chn == 3 ? 0 : 1; // motion detection reads its pictures plain
    if ((ret = DU_DUZ_VPSS_SetChnMode(grp, chn, &mode)) != 0)
        return report("DU_DUZ_VPSS_SetChnMode", ret, -1, false);
    if ((ret = DU_DUZ_VPSS_EnableChn(grp, chn)) != 0)
        return report("DU_DUZ_VPSS_EnableChn", ret, -1, false);
    return 0;
}

} // namespace

s32 KX_DV_Vpss_Run(void)
{
    puts("KX_DV_Vpss_Run");
    if (!(u32RecModeFlag & DV_STATE_VI)) {
        puts("vi is not run ");
        return -1;
    }
    dvVpssParam = *Setup_DV_Vpss;
    for (u8 &s : u8vpssworkstatus)
        s = 0;
    const VPSS_GRP grp = 0;
    SIZE_S max = pic_size(dvVpssParam.sParam[0].u8Resolution);

    s32 ret;
    if (u8vpssworkstatus[0] == 0) {
        if ((ret = group_start(grp, max)) != 0)
            return ret;
    }
    if (u8vpssworkstatus[0] == 1) {
        for (u32 n = 0; n < kChnNum; n++) {
            if (dvVpssParam.sParam[n].bEnable != 1)
                continue;
            if ((ret = channel_enable(grp, (VPSS_CHN)n, dvVpssParam.sParam[n])) != 0)
                return ret;
            vpss_chn_enabled[0][n] = 1;
        }
        u8vpssworkstatus[0] = 2;
    }
    if (u8vpssworkstatus[0] == 2)
        u8vpssworkstatus[0] = 3;
    if (u8vpssworkstatus[0] == 3) {
        MPP_CHN_ADDR_S src = {DU_ID_VIU, 0, 0}, dst = {DU_ID_VPSS, grp, 0};
        if ((ret = DU_DUZ_SYS_Bind(&src, &dst)) != 0) {
            printf("failed with %#x!\n", ret);
            return -1;
        }
        u8vpssworkstatus[0] = 4;
    }
    u32RecModeFlag |= DV_STATE_VPSS;
    printf("%s success\n", "KX_DV_Vpss_Run");
    return 0;
}

s32 KX_DV_Vpss_Grp_Stop(u32 k)
{
    if (k >= sizeof u8vpssworkstatus) {
        u32RecModeFlag &= ~DV_STATE_VPSS;
        return 0;
    }
    VPSS_GRP grp = (VPSS_GRP)(k / 4);
    u8 &status = u8vpssworkstatus[k];
    s32 ret;
    if (status == 4) {
        MPP_CHN_ADDR_S src = {DU_ID_VIU, grp, 0}, dst = {DU_ID_VPSS, grp, 0};
        if ((ret = DU_DUZ_SYS_UnBind(&src, &dst)) != 0) {
            printf("failed with %#x!\n", ret);
            return -1;
        }
        status = 3;
    }
    if (status == 3) {
        if ((ret = DU_DUZ_VPSS_StopGrp(grp)) != 0)
            return ret;
        status = 2;
    }
    // Every channel the start enabled, so that the group can be destroyed
    // and built again.
    for (u32 n = 0; status >= 1 && n < kChnNum; n++) {
        if (!vpss_chn_enabled[k][n])
            continue;
        if ((ret = DU_DUZ_VPSS_DisableChn(grp, (VPSS_CHN)n)) != 0)
            return ret;
        vpss_chn_enabled[k][n] = 0;
    }
    if (status == 2)
        status = 1;
    if (status == 1) {
        if ((ret = DU_DUZ_VPSS_DestroyGrp(grp)) != 0)
            return ret;
        status = 0;
    }
    u32RecModeFlag &= ~DV_STATE_VPSS;
    return 0;
}

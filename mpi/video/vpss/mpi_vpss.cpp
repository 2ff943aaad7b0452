// The video processing unit: each call checks its group, channel and record,
// opens and binds the group's or channel's descriptor, and sends one request.
#include "mpi/video/vpss/mpi_vpss.h"
#include "mpi/video/vpss/vpss_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>

s32 g_s32VpssGrpFd[VPSS_MAX_GRP_NUM];
s32 g_s32VpssChnFd[VPSS_MAX_GRP_NUM * VPSS_MAX_CHN_NUM];

namespace {

// The tables start at -1: every descriptor closed.
struct vpss_fd_init {
    vpss_fd_init()
    {
        for (s32 &fd : g_s32VpssGrpFd)
            fd = -1;
        for (s32 &fd : g_s32VpssChnFd)
            fd = -1;
    }
} g_vpss_fd_init;

#define VPSS_ERR(func, line, ...)                                                                          \
    do {                                                                                                   \
        MPI_TRACE_PREFIX(func, line);                                                                      \
        fprintf(stderr, __VA_ARGS__);                                                                      \
    } while (0)

const mpi_dev_node kVpssNode = {"/dev/vpss", O_RDONLY, VPSS_BIND_FD, 1};

// Opens and binds the descriptor of a group (chn < 0) or of one channel.
s32 vpss_open(VPSS_GRP grp, VPSS_CHN chn, s32 &slot)
{
    mpi_dev_result r = mpi_dev_open(&slot, kVpssNode, vpss_bind_word(grp, chn < 0 ? 0 : chn));
    if (r.step == MPI_DEV_OPEN_FAILED) {
        if (chn < 0)
            printf("open vpss(%d) err, ret:%d \n", grp, r.fd);
        else
            printf("open vpss(%d,%d) err, ret:%d \n", grp, chn, r.fd);
    }
    return r.ok() ? 0 : ERR_VPSS_NOTREADY;
}

// The common checks in their order, then the request on the group's
// descriptor (chn < 0) or the channel's.
s32 vpss_call(const char *func, int line, VPSS_GRP grp, bool has_chn, VPSS_CHN chn, unsigned long req,
              const void *arg, bool check_null)
{
    if (grp < 0 || grp >= VPSS_MAX_GRP_NUM) {
        VPSS_ERR(func, line, "VpssGrpid(%d) is invalid\r\n", grp);
        return ERR_VPSS_INVALID_DEVID;
    }
    if (has_chn && (chn < 0 || chn >= VPSS_MAX_CHN_NUM)) {
        VPSS_ERR(func, line, "VpssChnID(%d) is invalid\r\n", chn);
        return ERR_VPSS_INVALID_CHNID;
    }
    if (check_null && !arg) {
        VPSS_ERR(func, line, "NULL pointer \r\n");
        return ERR_VPSS_NULL_PTR;
    }
    s32 &slot = has_chn ? g_s32VpssChnFd[grp * VPSS_MAX_CHN_NUM + chn] : g_s32VpssGrpFd[grp];
    if (s32 ret = vpss_open(grp, has_chn ? chn : -1, slot))
        return ret;
    return bd_ioctl(slot, req, const_cast<void *>(arg));
}

s32 vpss_unsupported(const char *func, int line)
{
    VPSS_ERR(func, line, "The chip can not support this operation.\n");
    return ERR_VPSS_NOT_SUPPORT;
}

} // namespace

#define GRP_REC(g, req, rec) vpss_call(__FUNCTION__, __LINE__, g, false, 0, req, rec, true)
#define GRP_RAW(g, req, rec) vpss_call(__FUNCTION__, __LINE__, g, false, 0, req, rec, false)
#define CHN_REC(g, c, req, rec) vpss_call(__FUNCTION__, __LINE__, g, true, c, req, rec, true)
#define CHN_RAW(g, c, req, rec) vpss_call(__FUNCTION__, __LINE__, g, true, c, req, rec, false)

s32 DU_DUZ_VPSS_CreateGrp(VPSS_GRP g, const VPSS_GRP_ATTR_REC_S *p) { return GRP_REC(g, VPSS_CREATE_GRP, p); }
s32 DU_DUZ_VPSS_DestroyGrp(VPSS_GRP g) { return GRP_RAW(g, VPSS_DESTROY_GRP, nullptr); }
s32 DU_DUZ_VPSS_SetGrpAttr(VPSS_GRP g, const VPSS_GRP_ATTR_REC_S *p) { return GRP_REC(g, VPSS_SET_GRP_ATTR, p); }
s32 DU_DUZ_VPSS_GetGrpAttr(VPSS_GRP g, VPSS_GRP_ATTR_REC_S *p) { return GRP_REC(g, VPSS_GET_GRP_ATTR, p); }
s32 DU_DUZ_VPSS_StartGrp(VPSS_GRP g) { return GRP_RAW(g, VPSS_START_GRP, nullptr); }
s32 DU_DUZ_VPSS_StopGrp(VPSS_GRP g) { return GRP_RAW(g, VPSS_STOP_GRP, nullptr); }
s32 DU_DUZ_VPSS_ResetGrp(VPSS_GRP g) { return GRP_RAW(g, VPSS_RESET_GRP, nullptr); }
s32 DU_DUZ_VPSS_EnableBackupFrame(VPSS_GRP g) { return GRP_RAW(g, VPSS_ENABLE_BACKUP, nullptr); }
s32 DU_DUZ_VPSS_DisableBackupFrame(VPSS_GRP g) { return GRP_RAW(g, VPSS_DISABLE_BACKUP, nullptr); }
s32 DU_DUZ_VPSS_SetGrpCrop(VPSS_GRP g, const VPSS_CROP_REC_S *p) { return GRP_REC(g, VPSS_SET_GRP_CROP, p); }
s32 DU_DUZ_VPSS_GetGrpCrop(VPSS_GRP g, VPSS_CROP_REC_S *p) { return GRP_REC(g, VPSS_GET_GRP_CROP, p); }
s32 DU_DUZ_VPSS_SetGrpParam(VPSS_GRP g, const VPSS_GRP_PARAM_REC_S *p) { return GRP_REC(g, VPSS_SET_GRP_PARAM, p); }
s32 DU_DUZ_VPSS_GetGrpParam(VPSS_GRP g, VPSS_GRP_PARAM_REC_S *p) { return GRP_REC(g, VPSS_GET_GRP_PARAM, p); }
s32 DU_DUZ_VPSS_SetGrpLevel2Param(VPSS_GRP g, VPSS_GRP_LEVEL2_PARAM_REC_S *p) { return GRP_REC(g, VPSS_SET_LEVEL2_PARAM, p); }
s32 DU_DUZ_VPSS_GetGrpLevel2Param(VPSS_GRP g, VPSS_GRP_LEVEL2_PARAM_REC_S *p) { return GRP_REC(g, VPSS_GET_LEVEL2_PARAM, p); }
s32 DU_DUZ_VPSS_SetNRV2Param(VPSS_GRP g, const VPSS_NR_V2_PARAM_REC_S *p) { return GRP_REC(g, VPSS_SET_NRV2_PARAM, p); }
s32 DU_DUZ_VPSS_GetNRV2Param(VPSS_GRP g, VPSS_NR_V2_PARAM_REC_S *p) { return GRP_REC(g, VPSS_GET_NRV2_PARAM, p); }
s32 DU_DUZ_VPSS_SetNRV3Param(VPSS_GRP g, const VPSS_NR_V3_PARAM_REC_S *p) { return GRP_REC(g, VPSS_SET_NRV3_PARAM, p); }
s32 DU_DUZ_VPSS_GetNRV3Param(VPSS_GRP g, VPSS_NR_V3_PARAM_REC_S *p) { return GRP_REC(g, VPSS_GET_NRV3_PARAM, p); }
s32 DU_DUZ_VPSS_SetNRBParam(VPSS_GRP g, const VPSS_NRB_PARAM_REC_S *p) { return GRP_REC(g, VPSS_SET_NRB_PARAM, p); }
s32 DU_DUZ_VPSS_GetNRBParam(VPSS_GRP g, VPSS_NRB_PARAM_REC_S *p) { return GRP_REC(g, VPSS_GET_NRB_PARAM, p); }
s32 DU_DUZ_VPSS_SetGrpParamV2(VPSS_GRP g, const VPSS_GRP_PARAM_V2_REC_S *p) { return GRP_REC(g, VPSS_SET_GRP_PARAM_V2, p); }
s32 DU_DUZ_VPSS_GetGrpParamV2(VPSS_GRP g, VPSS_GRP_PARAM_V2_REC_S *p) { return GRP_REC(g, VPSS_GET_GRP_PARAM_V2, p); }
s32 DU_DUZ_VPSS_SetNRParam(VPSS_GRP g, const VPSS_NR_PARAM_REC_S *p) { return GRP_REC(g, VPSS_SET_NR_PARAM, p); }
s32 DU_DUZ_VPSS_GetNRParam(VPSS_GRP g, VPSS_NR_PARAM_REC_S *p) { return GRP_REC(g, VPSS_GET_NR_PARAM, p); }
s32 DU_DUZ_VPSS_ReleaseGrpFrame(VPSS_GRP g, const VIDEO_FRAME_REC_S *p) { return GRP_REC(g, VPSS_RELEASE_GRP_FRAME, p); }
s32 DU_DUZ_VPSS_SetGrpFrameRate(VPSS_GRP g, const VPSS_FRAME_RATE_REC_S *p) { return GRP_REC(g, VPSS_SET_GRP_FRAME_RATE, p); }
s32 DU_DUZ_VPSS_GetGrpFrameRate(VPSS_GRP g, VPSS_FRAME_RATE_REC_S *p) { return GRP_REC(g, VPSS_GET_GRP_FRAME_RATE, p); }
s32 DU_DUZ_VPSS_SetGrpDelay(VPSS_GRP g, u32 v) { return GRP_RAW(g, VPSS_SET_GRP_DELAY, &v); }
s32 DU_DUZ_VPSS_GetGrpDelay(VPSS_GRP g, u32 *p) { return GRP_REC(g, VPSS_GET_GRP_DELAY, p); }
s32 DU_DUZ_VPSS_SetImageQualityCfg(VPSS_GRP g, const VPSS_IMG_QUALITY_CFG_REC_S *p) { return GRP_REC(g, VPSS_SET_IQ_CFG, p); }
s32 DU_DUZ_VPSS_GetImageQualityCfg(VPSS_GRP g, VPSS_IMG_QUALITY_CFG_REC_S *p) { return GRP_REC(g, VPSS_GET_IQ_CFG, p); }
s32 DU_DUZ_VPSS_SetImageQualityCfg_New(VPSS_GRP g, const VPSS_IMG_QUALITY_CFG_NEW_REC_S *p) { return GRP_REC(g, VPSS_SET_IQ_CFG_NEW, p); }
s32 DU_DUZ_VPSS_GetImageQualityCfg_New(VPSS_GRP g, VPSS_IMG_QUALITY_CFG_NEW_REC_S *p) { return GRP_REC(g, VPSS_GET_IQ_CFG_NEW, p); }
s32 DU_DUZ_VPSS_SetRefSelect(VPSS_GRP g, u32 v) { return GRP_RAW(g, VPSS_SET_REF_SELECT, &v); }
s32 DU_DUZ_VPSS_GetRefSelect(VPSS_GRP g, u32 *p) { return GRP_REC(g, VPSS_GET_REF_SELECT, p); }
// The module parameters go through group 0's descriptor.
s32 DU_DUZ_VPSS_SetModParam(const VPSS_MOD_PARAM_REC_S *p) { return GRP_REC(0, VPSS_SET_MOD_PARAM, p); }
s32 DU_DUZ_VPSS_GetModParam(VPSS_MOD_PARAM_REC_S *p) { return GRP_REC(0, VPSS_GET_MOD_PARAM, p); }

s32 DU_DUZ_VPSS_EnableChn(VPSS_GRP g, VPSS_CHN c) { return CHN_RAW(g, c, VPSS_ENABLE_CHN, nullptr); }
s32 DU_DUZ_VPSS_DisableChn(VPSS_GRP g, VPSS_CHN c) { return CHN_RAW(g, c, VPSS_DISABLE_CHN, nullptr); }
s32 DU_DUZ_VPSS_SetChnAttr(VPSS_GRP g, VPSS_CHN c, const VPSS_CHN_ATTR_REC_S *p) { return CHN_REC(g, c, VPSS_SET_CHN_ATTR, p); }
s32 DU_DUZ_VPSS_GetChnAttr(VPSS_GRP g, VPSS_CHN c, VPSS_CHN_ATTR_REC_S *p) { return CHN_REC(g, c, VPSS_GET_CHN_ATTR, p); }
s32 DU_DUZ_VPSS_SetChnParam(VPSS_GRP g, VPSS_CHN c, const u32 *p) { return CHN_REC(g, c, VPSS_SET_CHN_PARAM, p); }
s32 DU_DUZ_VPSS_GetChnParam(VPSS_GRP g, VPSS_CHN c, u32 *p) { return CHN_REC(g, c, VPSS_GET_CHN_PARAM, p); }
s32 DU_DUZ_VPSS_SetChnMode(VPSS_GRP g, VPSS_CHN c, const VPSS_CHN_MODE_REC_S *p) { return CHN_REC(g, c, VPSS_SET_CHN_MODE, p); }
s32 DU_DUZ_VPSS_GetChnMode(VPSS_GRP g, VPSS_CHN c, VPSS_CHN_MODE_REC_S *p) { return CHN_REC(g, c, VPSS_GET_CHN_MODE, p); }
s32 DU_DUZ_VPSS_SetDepth(VPSS_GRP g, VPSS_CHN c, u32 v) { return CHN_RAW(g, c, VPSS_SET_DEPTH, &v); }
s32 DU_DUZ_VPSS_GetDepth(VPSS_GRP g, VPSS_CHN c, u32 *p) { return CHN_REC(g, c, VPSS_GET_DEPTH, p); }
s32 DU_DUZ_VPSS_ReleaseChnFrame(VPSS_GRP g, VPSS_CHN c, const VIDEO_FRAME_REC_S *p) { return CHN_REC(g, c, VPSS_RELEASE_CHN_FRAME, p); }
s32 DU_DUZ_VPSS_SetExtChnAttr(VPSS_GRP g, VPSS_CHN c, const VPSS_EXT_CHN_ATTR_REC_S *p) { return CHN_REC(g, c, VPSS_SET_EXT_CHN_ATTR, p); }
s32 DU_DUZ_VPSS_GetExtChnAttr(VPSS_GRP g, VPSS_CHN c, VPSS_EXT_CHN_ATTR_REC_S *p) { return CHN_REC(g, c, VPSS_GET_EXT_CHN_ATTR, p); }
s32 DU_DUZ_VPSS_SetExtChnCrop(VPSS_GRP g, VPSS_CHN c, const VPSS_CROP_REC_S *p) { return CHN_REC(g, c, VPSS_SET_EXT_CHN_CROP, p); }
s32 DU_DUZ_VPSS_GetExtChnCrop(VPSS_GRP g, VPSS_CHN c, VPSS_CROP_REC_S *p) { return CHN_REC(g, c, VPSS_GET_EXT_CHN_CROP, p); }
s32 DU_DUZ_VPSS_SetChnOverlay(VPSS_GRP g, VPSS_CHN c, u32 v) { return CHN_RAW(g, c, VPSS_SET_CHN_OVERLAY, &v); }
s32 DU_DUZ_VPSS_GetChnOverlay(VPSS_GRP g, VPSS_CHN c, u32 *p) { return CHN_REC(g, c, VPSS_GET_CHN_OVERLAY, p); }
s32 DU_DUZ_VPSS_SetChnCrop(VPSS_GRP g, VPSS_CHN c, const VPSS_CROP_REC_S *p) { return CHN_REC(g, c, VPSS_SET_CHN_CROP, p); }
s32 DU_DUZ_VPSS_GetChnCrop(VPSS_GRP g, VPSS_CHN c, VPSS_CROP_REC_S *p) { return CHN_REC(g, c, VPSS_GET_CHN_CROP, p); }
s32 DU_DUZ_VPSS_SetChnCover(VPSS_GRP g, VPSS_CHN c, u32 v) { return CHN_RAW(g, c, VPSS_SET_CHN_COVER, &v); }
s32 DU_DUZ_VPSS_GetChnCover(VPSS_GRP g, VPSS_CHN c, u32 *p) { return CHN_REC(g, c, VPSS_GET_CHN_COVER, p); }
s32 DU_DUZ_VPSS_SetLowDelayAttr(VPSS_GRP g, VPSS_CHN c, const VPSS_LOW_DELAY_REC_S *p) { return CHN_REC(g, c, VPSS_SET_LOW_DELAY, p); }
s32 DU_DUZ_VPSS_GetLowDelayAttr(VPSS_GRP g, VPSS_CHN c, VPSS_LOW_DELAY_REC_S *p) { return CHN_REC(g, c, VPSS_GET_LOW_DELAY, p); }
s32 DU_DUZ_VPSS_SetChnNR(VPSS_GRP g, VPSS_CHN c, u32 v) { return CHN_RAW(g, c, VPSS_SET_CHN_NR, &v); }
s32 DU_DUZ_VPSS_GetChnNR(VPSS_GRP g, VPSS_CHN c, u32 *p) { return CHN_REC(g, c, VPSS_GET_CHN_NR, p); }
s32 DU_DUZ_VPSS_SetRotate(VPSS_GRP g, VPSS_CHN c, u32 v) { return CHN_RAW(g, c, VPSS_SET_ROTATE, &v); }
s32 DU_DUZ_VPSS_GetRotate(VPSS_GRP g, VPSS_CHN c, u32 *p) { return CHN_REC(g, c, VPSS_GET_ROTATE, p); }
s32 DU_DUZ_VPSS_SetLDCAttr(VPSS_GRP g, VPSS_CHN c, const VPSS_LDC_ATTR_REC_S *p) { return CHN_REC(g, c, VPSS_SET_LDC_ATTR, p); }
s32 DU_DUZ_VPSS_GetLDCAttr(VPSS_GRP g, VPSS_CHN c, VPSS_LDC_ATTR_REC_S *p) { return CHN_REC(g, c, VPSS_GET_LDC_ATTR, p); }

s32 DU_DUZ_VPSS_SendFrame(VPSS_GRP g, const VIDEO_FRAME_REC_S *pstVideoFrame, u32 u32MilliSec)
{
    VIDEO_FRAME_REQ_S req;
    memset(&req, 0, sizeof req);
    if (pstVideoFrame)
        req.stFrame = *pstVideoFrame;
    req.s32MilliSec = (s32)u32MilliSec;
    // The checks run on the caller's record; the request carries the copy.
    if (!pstVideoFrame)
        return GRP_REC(g, VPSS_SEND_FRAME, pstVideoFrame);
    return GRP_REC(g, VPSS_SEND_FRAME, &req);
}

s32 DU_DUZ_VPSS_GetGrpFrame(VPSS_GRP g, VIDEO_FRAME_REC_S *pstVideoFrame, u32 u32FrameIndex)
{
    VPSS_GRP_FRAME_REQ_S req = {u32FrameIndex, pstVideoFrame};
    return GRP_REC(g, VPSS_GET_GRP_FRAME, pstVideoFrame ? &req : nullptr);
}

s32 DU_DUZ_VPSS_GetChnFrame(VPSS_GRP g, VPSS_CHN c, VIDEO_FRAME_REC_S *pstVideoFrame, s32 s32MilliSec)
{
    VPSS_CHN_FRAME_REQ_S req = {pstVideoFrame, s32MilliSec};
    return CHN_REC(g, c, VPSS_GET_CHN_FRAME, pstVideoFrame ? &req : nullptr);
}

s32 DU_DUZ_VPSS_GetRegionLuma(VPSS_GRP g, VPSS_CHN c, const VIDEO_REGION_INFO_S *pstRegionInfo, u32 *pu32LumaData,
                              s32 s32MilliSec)
{
    VPSS_REGION_LUMA_REQ_S req;
    memset(&req, 0, sizeof req);
    if (pstRegionInfo)
        req.stRegionInfo = *pstRegionInfo;
    req.pu32LumaData = pu32LumaData;
    req.s32MilliSec = s32MilliSec;
    return CHN_REC(g, c, VPSS_GET_REGION_LUMA, pstRegionInfo && pu32LumaData ? &req : nullptr);
}

#define VPSS_UNSUPPORTED() vpss_unsupported(__FUNCTION__, __LINE__)
s32 DU_DUZ_VPSS_GetChnOutPutSize(VPSS_GRP, VPSS_CHN, void *) { return VPSS_UNSUPPORTED(); }
s32 DU_DUZ_VPSS_SetFisheyeConfig(VPSS_GRP, const void *) { return VPSS_UNSUPPORTED(); }
s32 DU_DUZ_VPSS_GetFisheyeConfig(VPSS_GRP, void *) { return VPSS_UNSUPPORTED(); }
s32 DU_DUZ_VPSS_SetFisheyeAttr(VPSS_GRP, VPSS_CHN, const void *) { return VPSS_UNSUPPORTED(); }
s32 DU_DUZ_VPSS_GetFisheyeAttr(VPSS_GRP, VPSS_CHN, void *) { return VPSS_UNSUPPORTED(); }

// The encoder's parameter calls. Each Set/Get pair of the table is one
// request on the channel's descriptor with the caller's record; the few calls
// that take a value or add a check of their own follow.
#include "mpi/video/venc/venc_call.h"
#include "mpi/video/venc/venc_requests.h"

#include "board/board.h"

#define VENC_PARAM_CALLS(name, rec, size, set_nr, get_nr)                                                 \
    s32 DU_DUZ_VENC_Set##name(VENC_CHN VeChn, const rec *pstRec)                                           \
    {                                                                                                      \
        return venc_chn_request(__FUNCTION__, VeChn, MPI_IOC(MPI_IOC_WRITE, size, 'E', set_nr), pstRec, true); \
    }                                                                                                      \
    s32 DU_DUZ_VENC_Get##name(VENC_CHN VeChn, rec *pstRec)                                                 \
    {                                                                                                      \
        return venc_chn_request(__FUNCTION__, VeChn, MPI_IOC(MPI_IOC_READ, size, 'E', get_nr), pstRec, true); \
    }                                                                                                      \
    static_assert(sizeof(rec) == size, #rec " size");
VENC_PARAM_PAIRS(VENC_PARAM_CALLS)
#undef VENC_PARAM_CALLS

namespace {

bool roi_index_ok(const char *func, u32 index)
{
    if (index < VENC_MAX_ROI_NUM)
        return true;
    fprintf(stderr, "func:%s, RoiIndex  %d err,should in [0,VENC_MAX_ROI_NUM)\n", func, (s32)index);
    return false;
}

} // namespace

s32 DU_DUZ_VENC_GetRoiCfg(VENC_CHN VeChn, u32 u32Index, VENC_ROI_CFG_REC_S *pstRoiCfg)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!roi_index_ok(__FUNCTION__, u32Index))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!venc_ptr_ok(__FUNCTION__, pstRoiCfg))
        return DU_ERR_VENC_NULL_PTR;
    pstRoiCfg->u32Index = u32Index;
    return bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, VENC_GET_ROI_CFG_CTRL, pstRoiCfg);
}

s32 DU_DUZ_VENC_SetRoiCfg(VENC_CHN VeChn, const VENC_ROI_CFG_REC_S *pstRoiCfg)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pstRoiCfg))
        return DU_ERR_VENC_NULL_PTR;
    if (!roi_index_ok(__FUNCTION__, pstRoiCfg->u32Index))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    return bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, VENC_SET_ROI_CFG_CTRL, const_cast<VENC_ROI_CFG_REC_S *>(pstRoiCfg));
}

s32 DU_DUZ_VENC_SetJpegSnapMode(VENC_CHN VeChn, VENC_JPEG_SNAP_MODE_E enJpegSnapMode)
{
    return venc_chn_request(__FUNCTION__, VeChn, VENC_SET_JPEG_SNAP_MODE_CTRL, &enJpegSnapMode, false);
}

s32 DU_DUZ_VENC_GetJpegSnapMode(VENC_CHN VeChn, VENC_JPEG_SNAP_MODE_E *penJpegSnapMode)
{
    return venc_chn_request(__FUNCTION__, VeChn, VENC_GET_JPEG_SNAP_MODE_CTRL, penJpegSnapMode, true);
}

s32 DU_DUZ_VENC_StartRecvPicEx(VENC_CHN VeChn, const VENC_RECV_PIC_PARAM_REC_S *pstRecvParam)
{
    return venc_chn_request(__FUNCTION__, VeChn, VENC_START_RECV_EX_CTRL, pstRecvParam, true);
}

s32 DU_DUZ_VENC_EnableIDR(VENC_CHN VeChn, u32 bEnableIDR)
{
    return venc_chn_request(__FUNCTION__, VeChn, VENC_ENABLE_IDR_CTRL, &bEnableIDR, false);
}

s32 DU_DUZ_VENC_GetStreamBufInfo(VENC_CHN VeChn, VENC_STREAM_BUF_INFO_REC_S *pstStreamBufInfo)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pstStreamBufInfo))
        return DU_ERR_VENC_NULL_PTR;
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    if (!ctx.u32StrmBufPhyAddr || !ctx.pStrmBufUserAddr || !ctx.u32StrmBufSize)
        return DU_ERR_VENC_UNEXIST;
    pstStreamBufInfo->u32PhyBase = ctx.u32StrmBufPhyAddr;
    pstStreamBufInfo->pUserBase = ctx.pStrmBufUserAddr;
    pstStreamBufInfo->u32BufLen = ctx.u32StrmBufSize;
    return 0;
}

// The encoder's parameter calls. Each Set/Get pair of the table is one
// request on the channel's descriptor with the caller's record; the few calls
// that take a value or add a check of their own follow, and the module's
// parameters on a descriptor of their own.
#include "mpi/video/venc/venc_call.h"
#include "mpi/video/venc/venc_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"

#include <fcntl.h>

#define VENC_GET_CALL(name, rec, size, set_nr, get_nr, get_dir)                                           \
    s32 DU_DUZ_VENC_Get##name(VENC_CHN VeChn, rec *pstRec)                                                 \
    {                                                                                                      \
        return venc_call(__FUNCTION__, VeChn, VENC_GET_##name##_CTRL, pstRec, true);                \
    }                                                                                                      \
    static_assert(sizeof(rec) == size, #rec " size");
#define VENC_PARAM_CALLS(name, rec, size, set_nr, get_nr, get_dir)                                        \
    s32 DU_DUZ_VENC_Set##name(VENC_CHN VeChn, const rec *pstRec)                                           \
    {                                                                                                      \
        return venc_call(__FUNCTION__, VeChn, VENC_SET_##name##_CTRL, pstRec, true);                \
    }                                                                                                      \
    VENC_GET_CALL(name, rec, size, set_nr, get_nr, get_dir)
VENC_PARAM_PAIRS(VENC_PARAM_CALLS)
VENC_OWN_SET_PAIRS(VENC_GET_CALL)
#undef VENC_PARAM_CALLS
#undef VENC_GET_CALL

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
    return venc_call(__FUNCTION__, VeChn, VENC_SET_JPEG_SNAP_MODE_CTRL, &enJpegSnapMode, false);
}

s32 DU_DUZ_VENC_GetJpegSnapMode(VENC_CHN VeChn, VENC_JPEG_SNAP_MODE_E *penJpegSnapMode)
{
    return venc_call(__FUNCTION__, VeChn, VENC_GET_JPEG_SNAP_MODE_CTRL, penJpegSnapMode, true);
}

s32 DU_DUZ_VENC_StartRecvPicEx(VENC_CHN VeChn, const VENC_RECV_PIC_PARAM_REC_S *pstRecvParam)
{
    return venc_call(__FUNCTION__, VeChn, VENC_START_RECV_EX_CTRL, pstRecvParam, true);
}

s32 DU_DUZ_VENC_EnableIDR(VENC_CHN VeChn, u32 bEnableIDR)
{
    return venc_call(__FUNCTION__, VeChn, VENC_ENABLE_IDR_CTRL, &bEnableIDR, false);
}

// The tuning controls that take or read one value, and the buffer pool.
s32 DU_DUZ_VENC_SetCostAlgFlag(VENC_CHN c, u32 v) { return VENC_REQ(c, VENC_SET_COST_ALG_FLAG_CTRL, &v, false); }
// The caller's address goes to the driver as it is, null included.
s32 DU_DUZ_VENC_GetCostAlgFlag(VENC_CHN c, u32 *p) { return VENC_REQ(c, VENC_GET_COST_ALG_FLAG_CTRL, p, false); }
s32 DU_DUZ_VENC_EnableInterPskip(VENC_CHN c, u32 v) { return VENC_REQ(c, VENC_ENABLE_INTER_PSKIP_CTRL, &v, false); }
s32 DU_DUZ_VENC_SetRcPriority(VENC_CHN c, VENC_RC_PRIORITY_E v) { return VENC_REQ(c, VENC_SET_RC_PRIORITY_CTRL, &v, false); }
s32 DU_DUZ_VENC_GetRcPriority(VENC_CHN c, VENC_RC_PRIORITY_E *p) { return VENC_REQ(c, VENC_GET_RC_PRIORITY_CTRL, p, true); }
s32 DU_DUZ_VENC_AttachVbPool(VENC_CHN c, u32 v) { return VENC_REQ(c, VENC_ATTACH_VBPOOL_CTRL, &v, false); }
s32 DU_DUZ_VENC_DetachVbPool(VENC_CHN c) { return VENC_REQ(c, VENC_DETACH_VBPOOL_CTRL, nullptr, false); }

s32 DU_DUZ_VENC_SetIntraRefresh(VENC_CHN VeChn, const VENC_INTRA_REFRESH_REC_S *pstIntraRefresh)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pstIntraRefresh))
        return DU_ERR_VENC_NULL_PTR;
    const VENC_INTRA_REFRESH_REC_S &r = *pstIntraRefresh;
    if (r.bISliceEnable > 1) {
        fprintf(stderr, "func:%s, chnid (%d) bISliceEnable(%d) should be DU_TRUE or DU_FALSE\n", __FUNCTION__, VeChn,
                (s32)r.bISliceEnable);
        return DU_ERR_VENC_ILLEGAL_PARAM;
    }
    if (r.bISliceEnable) {
        const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
        if (ctx.enType != (s32)PT_H264) {
            fprintf(stderr, "func:%s, chnid (%d) enType is (%d),not support refresh ISlice\n", __FUNCTION__, VeChn,
                    ctx.enType);
            return DU_ERR_VENC_NOT_SUPPORT;
        }
        if (ctx.bByFrame != 1) {
            fprintf(stderr, "func:%s, chnid (%d) bByFrame is (%d),not support refresh ISlice\n", __FUNCTION__, VeChn,
                    (s32)ctx.bByFrame);
            return DU_ERR_VENC_NOT_SUPPORT;
        }
        if (r.bRefreshEnable != 1) {
            fprintf(stderr, "func:%s, chnid (%d) bRefreshEnable(%d) is not Enable\n", __FUNCTION__, VeChn,
                    (s32)r.bRefreshEnable);
            return DU_ERR_VENC_NOT_SUPPORT;
        }
        if (s32 ret = venc_slice_arm(__FUNCTION__, VeChn))
            return ret;
    } else {
        venc_slice_disarm(VeChn);
    }
    // The arming stands whatever the driver answers.
    return bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, VENC_SET_IntraRefresh_CTRL,
                    const_cast<VENC_INTRA_REFRESH_REC_S *>(pstIntraRefresh));
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

// ---- module parameters ----------------------------------------------------------------------

// -1 until the first module call opens it; descriptor 0 is as good as any.
s32 g_S32VencFd = -1;

namespace {

const mpi_dev_node kVencModNode = {"/dev/venc", O_RDWR, 0, 0, true};

s32 venc_mod_request(const char *func, unsigned long req, void *rec)
{
    if (!venc_ptr_ok(func, rec))
        return DU_ERR_VENC_NULL_PTR;
    mpi_dev_result r = mpi_dev_open(&g_S32VencFd, kVencModNode);
    if (!r.ok()) {
        venc_node_message(kVencModNode.path, r);
        printf("open venc err\n");
        return DU_ERR_VENC_NOTREADY;
    }
    return bd_ioctl(g_S32VencFd, req, rec);
}

} // namespace

s32 DU_DUZ_VENC_SetModParam(const VENC_MOD_PARAM_REC_S *pstModParam)
{
    return venc_mod_request(__FUNCTION__, VENC_SET_MOD_PARAM_CTRL, const_cast<VENC_MOD_PARAM_REC_S *>(pstModParam));
}

s32 DU_DUZ_VENC_GetModParam(VENC_MOD_PARAM_REC_S *pstModParam)
{
    return venc_mod_request(__FUNCTION__, VENC_GET_MOD_PARAM_CTRL, pstModParam);
}

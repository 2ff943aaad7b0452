// Audio input unit.
#include "mpi/audio/ai/mpi_ai.h"

#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/video/vb/mpi_vb.h"

s32 g_s32AiFd[AIO_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAiInit = DU_FALSE;
MPI_AI_DEV_S s_stMpiAiDev;
MPI_AI_CHN_S s_stMpiAiChn[AIO_MAX_CHN_NUM];
AI_VQE_STATE_S g_astVqeState[AIO_MAX_CHN_NUM];
AI_SAVE_FILE_S s_astAiSaveFile[AIO_MAX_CHN_NUM];

const AUDIO_NODE_S g_stAiNode = {"/dev/ai", AI_BIND_CHN_CTRL, DU_ID_AI, AUDIO_OPEN_MSG_TRACE, "open /dev/ai failed!\n",
                                 false};

s32 MPI_AI_Init(void)
{
    if (s_bAiInit)
        return 0;
    memset(&s_stMpiAiDev, 0, sizeof s_stMpiAiDev);
    s_stMpiAiDev.u32PoolId = VB_INVALID_POOLID; // no frame pool mapped yet
    for (u32 i = 0; i < AIO_MAX_CHN_NUM; i++) {
        MPI_AI_CHN_S *chn = &s_stMpiAiChn[i];
        memset(chn, 0, sizeof *chn);
        chn->u32ResmpPoolId = 0xFFFFFFFFu;
        chn->s32AoDev = -1;
        chn->s32AoChn = -1;
        memset(&g_astVqeState[i], 0, sizeof g_astVqeState[i]);
        g_astVqeState[i].u32ResmpPoolId = 0xFFFFFFFFu;
        if (pthread_mutex_init(&chn->stMutex, nullptr) != 0 ||
            pthread_mutex_init(&g_astVqeState[i].stMutex, nullptr) != 0)
            return -1;
    }
    s_bAiInit = DU_TRUE;
    return 0;
}

s32 MPI_AI_Exit(void)
{
    if (!s_bAiInit)
        return 0;
    for (u32 i = 0; i < AIO_MAX_CHN_NUM; i++) {
        MPI_AI_CHN_S *chn = &s_stMpiAiChn[i];
        // A channel still enabled would lose its work buffer with the record.
        free(chn->pWorkBuf);
        audio_dump_close(&s_astAiSaveFile[i].stDump);
        pthread_mutex_destroy(&chn->stMutex);
        pthread_mutex_destroy(&g_astVqeState[i].stMutex);
        memset(chn, 0, sizeof *chn);
    }
    s_bAiInit = DU_FALSE;
    return 0;
}

// ---- the device and its channels -------------------------------------------------------------

namespace {

s32 ai_check_dev(s32 AiDevId, const char *func)
{
    if ((u32)AiDevId >= AI_DEV_MAX_NUM) {
        MPI_TRACE_PREFIX(func, __LINE__);
        fprintf(stderr, "ai dev %d is invalid\n", AiDevId);
        return DU_ERR_AI_INVALID_DEVID;
    }
    return 0;
}

// What every channel call starts with: device, channel and the pointer it
// needs (when `null_ptr`)...
s32 ai_chn_check(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func)
{
    if (s32 ret = ai_check_dev(AiDevId, func))
        return ret;
    if ((u32)AiChn >= AIO_MAX_CHN_NUM) {
        MPI_TRACE_PREFIX(func, __LINE__);
        fprintf(stderr, "ai chnid %d is invalid\n", AiChn);
        return DU_ERR_AI_INVALID_CHNID;
    }
    return null_ptr ? DU_ERR_AI_NULL_PTR : 0;
}

// ... then the channel's node.
s32 ai_chn_enter(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func)
{
    if (s32 ret = ai_chn_check(AiDevId, AiChn, null_ptr, func))
        return ret;
    return audio_node_open(&g_s32AiFd[AiChn], &g_stAiNode, AiChn, func);
}

// The same for device calls, which use channel 0's node.
s32 ai_dev_enter(s32 AiDevId, bool null_ptr, const char *func)
{
    if (s32 ret = ai_check_dev(AiDevId, func))
        return ret;
    if (null_ptr)
        return DU_ERR_AI_NULL_PTR;
    return audio_node_open(&g_s32AiFd[0], &g_stAiNode, 0, func);
}

s32 ai_ioctl(s32 AiChn, unsigned long request, void *arg) { return bd_ioctl(g_s32AiFd[AiChn], request, arg); }

// A device call that is one request on channel 0's node.
s32 ai_dev_request(s32 AiDevId, unsigned long request, void *arg, bool needs_arg, const char *func)
{
    if (s32 ret = ai_dev_enter(AiDevId, needs_arg && !arg, func))
        return ret;
    return ai_ioctl(0, request, arg);
}

// A channel call that is one request on the channel's node.
s32 ai_chn_request(s32 AiDevId, s32 AiChn, unsigned long request, void *arg, const char *func)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !arg, func))
        return ret;
    return ai_ioctl(AiChn, request, arg);
}

// A device setting the driver takes as a word, after the node is open:
// above `max` it is refused with `msg`.
s32 ai_dev_set_ranged(s32 AiDevId, unsigned long request, u32 value, u32 max, const char *msg, const char *func)
{
    if (s32 ret = ai_dev_enter(AiDevId, false, func))
        return ret;
    if (value > max) {
        MPI_TRACE_PREFIX(func, __LINE__);
        fprintf(stderr, msg, value);
        return DU_ERR_AI_ILLEGAL_PARAM;
    }
    return ai_ioctl(0, request, &value);
}

// Frames come from the driver's pool by physical address.
s32 ai_map_track(AUDIO_FRAME_S *frame, u32 track)
{
    return DU_DUZ_VB_GetBlkVirAddr(frame->u32PoolId[track], frame->u32PhyAddr[track], &frame->pVirAddr[track]);
}

// The enhancement status the driver holds while enhancement is off.
void send_vqe_disabled(s32 AiChn)
{
    u8 rec[AI_VQE_STATUS_LEN] = {};
    u32 rate = 96001, aec_word = 2;
    memcpy(rec + 44, &rate, 4);
    memcpy(rec + 72, &aec_word, 4);
    ai_ioctl(AiChn, AI_VQE_STATUS_CTRL, rec);
}

} // namespace

s32 DU_DUZ_AI_SetPubAttr(s32 AiDevId, const AIO_ATTR_S *pstAttr)
{
    return ai_dev_request(AiDevId, AI_SET_PUBATTR_CTRL, const_cast<AIO_ATTR_S *>(pstAttr), true, __FUNCTION__);
}

s32 DU_DUZ_AI_GetPubAttr(s32 AiDevId, AIO_ATTR_S *pstAttr)
{
    return ai_dev_request(AiDevId, AI_GET_PUBATTR_CTRL, pstAttr, true, __FUNCTION__);
}

s32 DU_DUZ_AI_ClrPubAttr(s32 AiDevId) { return ai_dev_request(AiDevId, AI_CLR_PUBATTR_CTRL, nullptr, false, __FUNCTION__); }

s32 DU_DUZ_AI_Enable(s32 AiDevId)
{
    if (s32 ret = ai_dev_enter(AiDevId, false, __FUNCTION__))
        return ret;
    if (s32 ret = ai_ioctl(0, AI_ENABLE_CTRL, nullptr))
        return ret;
    u32 pool = VB_INVALID_POOLID;
    if (s32 ret = ai_ioctl(0, AI_GET_POOLID_CTRL, &pool))
        return ret;
    s_stMpiAiDev.u32PoolId = pool;
    return DU_DUZ_VB_MmapPool(pool);
}

s32 DU_DUZ_AI_Disable(s32 AiDevId)
{
    if (s32 ret = ai_dev_enter(AiDevId, false, __FUNCTION__))
        return ret;
    // Only a mapping this unit made is given back; the driver keeps the
    // device while blocks of its pool are still held.
    if (s_stMpiAiDev.u32PoolId != VB_INVALID_POOLID) {
        if (s32 ret = DU_DUZ_VB_MunmapPool(s_stMpiAiDev.u32PoolId))
            return ret;
        s_stMpiAiDev.u32PoolId = VB_INVALID_POOLID;
    }
    return ai_ioctl(0, AI_DISABLE_CTRL, nullptr);
}

s32 DU_DUZ_AI_EnableChn(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (chn->bEnable)
        return 0;
    if (s32 ret = ai_ioctl(AiChn, AI_ENABLE_CHN_CTRL, nullptr))
        return ret;
    chn->pWorkBuf = malloc(AI_WORK_BUF_SIZE);
    if (!chn->pWorkBuf) {
        MPI_TRACE("ai chn malloc cachbuff err.\n");
        return DU_ERR_AI_NOMEM;
    }
    chn->bEnable = DU_TRUE;
    return 0;
}

s32 DU_DUZ_AI_DisableChn(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable)
        return 0;
    // Resampling is never on here (the unit refuses it): the driver is only
    // told it is off.
    AI_RESMP_STATUS_S resmp = {};
    ai_ioctl(AiChn, AI_RESMP_STATUS_CTRL, &resmp);
    chn->bEnable = DU_FALSE;
    if (s32 ret = ai_ioctl(AiChn, AI_UNLINK_AEC_CTRL, nullptr))
        return ret;
    {
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        g_astVqeState[AiChn].pVqeHandle = nullptr;
        g_astVqeState[AiChn].bVqeEnable = DU_FALSE;
        chn->pVqeHandle = nullptr;
        chn->bVqeCfg = chn->bVqeEnable = DU_FALSE;
        chn->enVqeCfgType = 0;
    }
    send_vqe_disabled(AiChn);
    free(chn->pWorkBuf);
    chn->pWorkBuf = nullptr;
    if (s32 ret = ai_ioctl(AiChn, AI_DISABLE_CHN_CTRL, nullptr))
        return ret;
    audio_dump_close(&s_astAiSaveFile[AiChn].stDump);
    return 0;
}

s32 DU_DUZ_AI_GetFrame(s32 AiDevId, s32 AiChn, AUDIO_FRAME_S *pstFrm, AEC_REF_FRAME_S *pstAecFrm, s32 s32MilliSec)
{
    if (s32 ret = ai_chn_check(AiDevId, AiChn, !pstFrm, __FUNCTION__))
        return ret;
    if (s32MilliSec < -1) {
        MPI_TRACE("s32MilliSec(%d) can not be lower than -1.\n", s32MilliSec);
        return DU_ERR_AI_ILLEGAL_PARAM;
    }
    if (s32 ret = audio_node_open(&g_s32AiFd[AiChn], &g_stAiNode, AiChn, __FUNCTION__))
        return ret;
    AI_GET_FRAME_REQ_S req;
    memset(&req, 0, sizeof req);
    req.s32MilliSec = s32MilliSec;
    if (s32 ret = ai_ioctl(AiChn, AI_GET_FRAME_CTRL, &req)) {
        MPI_TRACE("get ai frame error!\n");
        return ret;
    }
    AI_FRAME_REC_S &rec = req.stRec;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (s32 ret = ai_ioctl(AiChn, AI_GET_SAVEFILE_CTRL, &s_astAiSaveFile[AiChn].stSaveFileInfo)) {
        MPI_TRACE("get ai dumpfile cfg error!\n");
        ai_ioctl(AiChn, AI_RELEASE_FRAME_CTRL, &rec);
        return ret;
    }
    u32 tracks = rec.stFrm.enSoundmode == 1 ? 2 : 1;
    for (u32 t = 0; t < tracks; t++) {
        s32 ret = ai_map_track(&rec.stFrm, t);
        if (ret == 0 && rec.stRefFrm.bValid == 1)
            ret = ai_map_track(&rec.stRefFrm.stRefFrame, t);
        if (ret) {
            ai_ioctl(AiChn, AI_RELEASE_FRAME_CTRL, &rec);
            return ret;
        }
    }
    *pstFrm = rec.stFrm;
    if (pstAecFrm) {
        pstAecFrm->bValid = DU_FALSE;
        if (rec.stRefFrm.bValid == 1)
            *pstAecFrm = rec.stRefFrm;
    }
    // Resampling and enhancement are never on here: every frame is plain.
    return 0;
}

s32 DU_DUZ_AI_ReleaseFrame(s32 AiDevId, s32 AiChn, const AUDIO_FRAME_S *pstFrm, const AEC_REF_FRAME_S *pstAecFrm)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !pstFrm, __FUNCTION__))
        return ret;
    AI_FRAME_REC_S rec;
    memset(&rec, 0, sizeof rec);
    rec.stFrm = *pstFrm;
    if (pstAecFrm)
        rec.stRefFrm = *pstAecFrm;
    else
        rec.stRefFrm.bValid = DU_FALSE;
    return ai_ioctl(AiChn, AI_RELEASE_FRAME_CTRL, &rec);
}

s32 DU_DUZ_AI_SetChnParam(s32 AiDevId, s32 AiChn, const AI_CHN_PARAM_S *pstChnParam)
{
    return ai_chn_request(AiDevId, AiChn, AI_SET_CHNPARAM_CTRL, const_cast<AI_CHN_PARAM_S *>(pstChnParam),
                          __FUNCTION__);
}

s32 DU_DUZ_AI_GetChnParam(s32 AiDevId, s32 AiChn, AI_CHN_PARAM_S *pstChnParam)
{
    return ai_chn_request(AiDevId, AiChn, AI_GET_CHNPARAM_CTRL, pstChnParam, __FUNCTION__);
}

// ---- switches this firmware doesn't offer, and the device controls ---------------------------

s32 DU_DUZ_AI_EnableReSmp(s32 AiDevId, s32 AiChn, u32 enOutSampleRate)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_TRACE("ai resample is not supported, ai chn:%d\n", AiChn);
    return DU_ERR_AI_NOT_SUPPORT;
}

s32 DU_DUZ_AI_DisableReSmp(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable) {
        MPI_TRACE("AI chn %d is not enable\n", AiChn);
        return mpi_status(DU_ID_AI, ERR_UNEXIST);
    }
    AI_RESMP_STATUS_S resmp = {};
    ai_ioctl(AiChn, AI_RESMP_STATUS_CTRL, &resmp);
    return 0;
}

s32 DU_DUZ_AI_EnableVqe(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_TRACE("ai vqe is not supported, ai chn:%d\n", AiChn);
    return DU_ERR_AI_NOT_SUPPORT;
}

s32 DU_DUZ_AI_DisableVqe(s32 AiDevId, s32 AiChn)
{
    // Never enabled: nothing to switch off.
    return ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__);
}

s32 DU_DUZ_AI_SetTrackMode(s32 AiDevId, u32 enTrackMode)
{
    return ai_dev_set_ranged(AiDevId, AI_SET_TRACKMODE_CTRL, enTrackMode, 7, "illegal param: enTrackMode(%d)!\n",
                             __FUNCTION__);
}

s32 DU_DUZ_AI_GetTrackMode(s32 AiDevId, u32 *penTrackMode)
{
    return ai_dev_request(AiDevId, AI_GET_TRACKMODE_CTRL, penTrackMode, true, __FUNCTION__);
}

s32 DU_DUZ_AI_SetClkDir(s32 AiDevId, u32 enClkDir)
{
    return ai_dev_set_ranged(AiDevId, AI_SET_CLKDIR_CTRL, enClkDir, 1, "illegal param: enClkDir(%d)!\n", __FUNCTION__);
}

s32 DU_DUZ_AI_GetClkDir(s32 AiDevId, u32 *penClkDir)
{
    return ai_dev_request(AiDevId, AI_GET_CLKDIR_CTRL, penClkDir, true, __FUNCTION__);
}

s32 DU_DUZ_AI_SetAcodecGain(u32 u32Gain)
{
    if (s32 ret = audio_node_open(&g_s32AiFd[0], &g_stAiNode, 0, __FUNCTION__))
        return ret;
    return ai_ioctl(0, AI_SET_CODEC_GAIN_CTRL, &u32Gain);
}

s32 DU_DUZ_AI_GetAcodecGain(u32 *pu32Gain)
{
    if (!pu32Gain)
        return DU_ERR_AI_NULL_PTR;
    if (s32 ret = audio_node_open(&g_s32AiFd[0], &g_stAiNode, 0, __FUNCTION__))
        return ret;
    return ai_ioctl(0, AI_GET_CODEC_GAIN_CTRL, pu32Gain);
}

s32 DU_DUZ_AI_SaveFile(s32 AiDevId, s32 AiChn, const AUDIO_SAVE_FILE_INFO_S *pstSaveFileInfo)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !pstSaveFileInfo, __FUNCTION__))
        return ret;
    MpiMutexGuard lock(&s_stMpiAiChn[AiChn].stMutex);
    return ai_ioctl(AiChn, AI_SET_SAVEFILE_CTRL, const_cast<AUDIO_SAVE_FILE_INFO_S *>(pstSaveFileInfo));
}

s32 DU_DUZ_AI_GetFd(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    return g_s32AiFd[AiChn];
}

s32 DU_DUZ_AI_GetFileHandle(s32 AiChn) { return DU_DUZ_AI_GetFd(0, AiChn); }

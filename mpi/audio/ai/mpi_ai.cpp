// Audio input unit.
#include "mpi/audio/ai/mpi_ai.h"

#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "mpi/audio/ai/ai_chn.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/video/vb/mpi_vb.h"

MPI_AI_CHN_S s_stMpiAiChn[AIO_MAX_CHN_NUM];
AI_VQE_STATE_S g_astVqeState[AIO_MAX_CHN_NUM];

namespace {

// A channel's dumps of pulled frames.
struct AI_SAVE_FILE_S {
    AUDIO_SAVE_FILE_INFO_S stSaveFileInfo; // refreshed from the driver on every frame
    AUDIO_DUMP_S stDump;
};

s32 g_s32AiFd[AIO_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAiInit = DU_FALSE;
MPI_AI_DEV_S s_stMpiAiDev;
AI_SAVE_FILE_S s_astAiSaveFile[AIO_MAX_CHN_NUM];

const AUDIO_NODE_S g_stAiNode = {"/dev/ai", AI_BIND_CHN_CTRL, DU_ID_AI, AUDIO_OPEN_MSG_TRACE, "open /dev/ai failed!\n",
                                 false};

} // namespace

bool ai_started(void) { return s_bAiInit; }
const MPI_AI_DEV_S &ai_dev_record(void) { return s_stMpiAiDev; }
const MPI_AI_CHN_S &ai_chn_record(s32 AiChn)
{
    MPI_ASSERT((u32)AiChn < AIO_MAX_CHN_NUM);
    return s_stMpiAiChn[AiChn];
}

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
        // A channel still enabled would lose its work buffer and its
        // enhancement instance with the record.
        free(chn->pWorkBuf);
        DU_UPVQE_Destroy(chn->pVqeHandle);
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

// Device calls use channel 0's node.
s32 ai_dev_enter(s32 AiDevId, bool null_ptr, const char *func)
{
    if (s32 ret = ai_check_dev(AiDevId, func))
        return ret;
    if (null_ptr)
        return DU_ERR_AI_NULL_PTR;
    return audio_node_open(&g_s32AiFd[0], &g_stAiNode, 0, func);
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

// Frames come from a pool by physical address.
s32 ai_map_track(AUDIO_FRAME_S *frame, u32 track)
{
    return DU_DUZ_VB_GetBlkVirAddr(frame->u32PoolId[track], frame->u32PhyAddr[track], &frame->pVirAddr[track]);
}

} // namespace

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

s32 ai_chn_enter(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func)
{
    if (s32 ret = ai_chn_check(AiDevId, AiChn, null_ptr, func))
        return ret;
    return audio_node_open(&g_s32AiFd[AiChn], &g_stAiNode, AiChn, func);
}

AiChnHold ai_chn_hold(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func, AudioChnNeeds needs)
{
    static constexpr AudioChnUnit unit = {"AI chn %d is not enable\n", DU_ERR_AI_NOT_ENABLED};
    return AiChnHold(ai_chn_enter(AiDevId, AiChn, null_ptr, func), s_stMpiAiChn, AiChn, needs, unit, func);
}

s32 ai_ioctl(s32 AiChn, unsigned long request, void *arg) { return bd_ioctl(g_s32AiFd[AiChn], request, arg); }

s32 ai_call(const char *func, s32 AiDevId, s32 AiChn, unsigned long request, void *arg, bool needs_arg)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, needs_arg && !arg, func))
        return ret;
    return ai_ioctl(AiChn, request, arg);
}

void ai_send_vqe_disabled(s32 AiChn)
{
    u8 rec[AI_VQE_STATUS_LEN] = {};
    u32 rate = 96001, aec_word = 2;
    memcpy(rec + 44, &rate, 4);
    memcpy(rec + 72, &aec_word, 4);
    ai_ioctl(AiChn, AI_VQE_STATUS_CTRL, rec);
}

s32 DU_DUZ_AI_SetPubAttr(s32 AiDevId, const AIO_ATTR_S *pstAttr)
{
    return ai_call(__FUNCTION__, AiDevId, 0, AI_SET_PUBATTR_CTRL, const_cast<AIO_ATTR_S *>(pstAttr), true);
}

s32 DU_DUZ_AI_GetPubAttr(s32 AiDevId, AIO_ATTR_S *pstAttr)
{
    return ai_call(__FUNCTION__, AiDevId, 0, AI_GET_PUBATTR_CTRL, pstAttr, true);
}

s32 DU_DUZ_AI_ClrPubAttr(s32 AiDevId) { return ai_call(__FUNCTION__, AiDevId, 0, AI_CLR_PUBATTR_CTRL, nullptr, false); }

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
    AiChnHold chn = ai_chn_hold(AiDevId, AiChn, false, __FUNCTION__);
    if (chn.ret)
        return chn.ret;
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
    AiChnHold chn = ai_chn_hold(AiDevId, AiChn, false, __FUNCTION__);
    if (chn.ret)
        return chn.ret;
    if (!chn->bEnable)
        return 0;
    // The instance goes below, so resampling only gives its pool back.
    if (chn->bResmpEnable)
        if (s32 ret = ai_resmp_off(AiDevId, AiChn, false))
            return ret;
    AI_RESMP_STATUS_S resmp = {};
    ai_ioctl(AiChn, AI_RESMP_STATUS_CTRL, &resmp);
    chn->bEnable = DU_FALSE;
    if (s32 ret = ai_ioctl(AiChn, AI_UNLINK_AEC_CTRL, nullptr))
        return ret;
    {
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        ai_vqe_destroy(AiChn);
        g_astVqeState[AiChn].bVqeEnable = DU_FALSE;
        chn->bVqeCfg = chn->bVqeEnable = DU_FALSE;
        chn->enVqeCfgType = 0;
    }
    ai_send_vqe_disabled(AiChn);
    free(chn->pWorkBuf);
    chn->pWorkBuf = nullptr;
    if (s32 ret = ai_ioctl(AiChn, AI_DISABLE_CHN_CTRL, nullptr))
        return ret;
    audio_dump_close(&s_astAiSaveFile[AiChn].stDump);
    return 0;
}

namespace {

// What a pulled frame's processing ends in: delivered, or a code with the
// driver's frame (or the resampled block) given back.
enum class Pull { done, failed, retry };

// The output samples of a resampled frame: n = ceil(points x out / in).
u32 resmp_points(const AI_RESMP_INFO_S &r)
{
    return (u32)(((u64)r.u32PtNumPerFrm * r.enOutSampleRate + r.enInSampleRate - 1) / r.enInSampleRate);
}

// The channel's dump files of pulled frames (channel mutex held).
s32 dump_frame(s32 AiChn, const AUDIO_FRAME_S &in, const AUDIO_FRAME_S &out, const AEC_REF_FRAME_S *ref)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    AI_SAVE_FILE_S *save = &s_astAiSaveFile[AiChn];
    AUDIO_SAVE_FILE_INFO_S &info = save->stSaveFileInfo;
    if (!info.bCfg || !chn->bVqeEnable) {
        audio_dump_close(&save->stDump);
        return 0;
    }
    if (!save->stDump.bFileOpen) {
        AIO_ATTR_S attr;
        if (DU_DUZ_AI_GetPubAttr(0, &attr) != 0)
            return 0;
        u32 out_khz = (chn->bResmpEnable ? chn->stResmpInfo.enOutSampleRate : attr.enSamplerate) / 1000;
        char sin[600], rin[600], sou[600];
        snprintf(sin, sizeof sin, "%s/Sin_AiDev%d_Chn%d_%dK_%s.pcm", info.aFilePath, 0, AiChn,
                 attr.enSamplerate / 1000, info.aFileName);
        snprintf(rin, sizeof rin, "%s/Rin_AiDev%d_Chn%d_%dK_%s.pcm", info.aFilePath, 0, AiChn,
                 attr.enSamplerate / 1000, info.aFileName);
        snprintf(sou, sizeof sou, "%s/Sou_AiDev%d_Chn%d_%dK_%s.pcm", info.aFilePath, 0, AiChn, out_khz,
                 info.aFileName);
        const char *paths[AUDIO_DUMP_BUTT] = {sin, sou, rin};
        if (!audio_dump_open(&save->stDump, paths)) {
            printf("[Func]:%s [Line]:%d [Info]:DevId:%d, AiChn:%d, File: InFilePath/OutFilePath/RefFilePath open "
                   "failed!Please check your Filepath!\n",
                   __FUNCTION__, __LINE__, 0, AiChn);
            return 0;
        }
    }
    const u32 limit = info.u32FileSize * 1024;
    audio_dump_write(&save->stDump, AUDIO_DUMP_SIN, chn->pWorkBuf, in.u32Len, limit);
    audio_dump_write(&save->stDump, AUDIO_DUMP_SOU, out.pVirAddr[0], out.u32Len, limit);
    if (chn->bAecOpen && ref && ref->bValid)
        audio_dump_write(&save->stDump, AUDIO_DUMP_RIN, ref->stRefFrame.pVirAddr[0], in.u32Len, limit);
    if (audio_dump_full(&save->stDump, limit)) {
        info.u32FileSize = 1;
        info.bCfg = DU_FALSE;
        if (s32 ret = ai_ioctl(AiChn, AI_SET_SAVEFILE_CTRL, &info))
            return ret;
        audio_dump_close(&save->stDump);
    }
    return 0;
}

// An 8192-byte block of the channel's resampling pool for a frame above the
// device rate, in place of the driver's frame, which goes back at once.
s32 take_resmp_block(s32 AiChn, AI_FRAME_REC_S *rec, AUDIO_FRAME_S *out)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    u32 pool = chn->u32ResmpPoolId;
    u32 block = DU_DUZ_VB_GetBlock(pool, AI_RESMP_POOL_BLK_SIZE, nullptr);
    if (block == VB_INVALID_HANDLE) {
        MPI_TRACE("get a resmp vb failed!\n");
        return -1;
    }
    u32 phys = DU_DUZ_VB_Handle2PhysAddr(block);
    void *virt = nullptr;
    if (phys == 0 || DU_DUZ_VB_GetBlkVirAddr(pool, phys, &virt) != 0) {
        DU_DUZ_VB_ReleaseBlock(block);
        MPI_TRACE(phys == 0 ? "get resmp vb physical addr failed!\n" : "get resmp vb virtual addr failed!\n");
        return -1;
    }
    u32 valid = rec->stRefFrm.bValid;
    rec->stRefFrm.bValid = DU_FALSE; // the caller's copy of the reference stays with the caller
    s32 s32Ret = ai_ioctl(AiChn, AI_RELEASE_FRAME_CTRL, rec);
    rec->stRefFrm.bValid = valid;
    MPI_ASSERT(DU_SUCCESS == s32Ret);
    out->pVirAddr[0] = virt;
    out->u32PhyAddr[0] = phys;
    out->u32PoolId[0] = pool;
    return 0;
}

// Runs a pulled frame through the channel's instance (channel mutex held):
// steps 7 to 12 of a pull. `*code` is what the call returns.
Pull process_frame(s32 AiChn, AI_FRAME_REC_S *rec, AUDIO_FRAME_S *pstFrm, AEC_REF_FRAME_S *pstAecFrm, s32 *code)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    AUDIO_FRAME_S &frm = rec->stFrm;
    u32 n = 0;
    if (chn->bResmpEnable) {
        n = resmp_points(chn->stResmpInfo);
        if (n == 0 || n > MAX_AI_POINT_NUM) {
            MPI_TRACE("PointNum after ai resample is:%d, it's biger than MAX_AI_POINT_NUM:%d, or smaller than 0\n", n,
                      MAX_AI_POINT_NUM);
            *code = -1;
            return Pull::failed;
        }
    }
    const bool aec = chn->bVqeEnable && chn->bAecOpen;
    if (aec) {
        if (!pstAecFrm) {
            *code = DU_ERR_AI_NULL_PTR;
            return Pull::failed;
        }
        if (rec->stRefFrm.bValid != 1) {
            // The caller holds the frame unprocessed while references may still come.
            u32 missed = ++chn->u32AecMissCnt;
            AI_CHN_PARAM_S param = {};
            if (ai_ioctl(AiChn, AI_GET_CHNPARAM_CTRL, &param) == 0 && missed <= param.u32FrmDepth) {
                *code = 0;
                return Pull::done;
            }
            chn->u32AecMissCnt = 0;
            *code = DU_ERR_AI_NOT_PERM;
            return Pull::failed;
        }
    }
    // The chain takes 16-bit samples; 8-bit devices are refused when
    // resampling or enhancement is switched on.
    if (frm.enBitwidth != 1 || frm.u32Len > AI_WORK_BUF_SIZE) {
        *code = DU_ERR_AI_NOT_SUPPORT;
        return Pull::failed;
    }
    memcpy(chn->pWorkBuf, frm.pVirAddr[0], frm.u32Len);
    const u32 in_points = frm.u32Len >> frm.enBitwidth;
    s16 *ref = rec->stRefFrm.bValid == 1 ? static_cast<s16 *>(rec->stRefFrm.stRefFrame.pVirAddr[0]) : nullptr;
    s32 ret = DU_UPVQE_WriteFrame(chn->pVqeHandle, static_cast<s16 *>(chn->pWorkBuf), ref, (s32)in_points);
    if (ret != 0) {
        MPI_TRACE("DU_UPVQE_WriteFrame failed, s32Ret:0x%x.!\n", DU_ERR_AI_VQE_ERR);
        *code = DU_ERR_AI_VQE_ERR;
        return Pull::retry;
    }

    AUDIO_FRAME_S out = frm;
    u32 capacity = in_points;
    bool own_block = false; // the output lies in a block of the resampling pool
    if (chn->bResmpEnable) {
        s32 r = 0;
        if (frm.enSoundmode == 1) {
            MPI_TRACE("can't do resample for stereo!\n");
            r = DU_ERR_AI_NOT_SUPPORT;
        } else if (chn->stResmpInfo.enOutSampleRate > chn->stResmpInfo.enInSampleRate) {
            r = take_resmp_block(AiChn, rec, &out);
            own_block = r == 0;
        }
        if (r != 0) {
            MPI_TRACE("MPI_AI_GetReSmpVb failed, s32Ret:0x%x.!\n", r);
            *code = r;
            return Pull::retry;
        }
        capacity = n;
    }
    s32 got = DU_UPVQE_ReadFrame(chn->pVqeHandle, static_cast<s16 *>(out.pVirAddr[0]), (s32)capacity, 1);
    if (got == 0 || got == -1) {
        if (own_block) { // the driver's frame went back already: the block goes instead
            DU_DUZ_AI_ReleaseFrame(0, AiChn, &out, nullptr);
            rec->stFrm.u32Len = 0;
        }
        *code = DU_ERR_AI_VQE_ERR;
        return Pull::retry;
    }
    out.u32Len = (u32)got << out.enBitwidth;
    *pstFrm = out;
    if (aec && pstAecFrm)
        pstAecFrm->u32RefFlag = 0;
    *code = dump_frame(AiChn, frm, out, pstAecFrm);
    if (*code != 0) {
        // The frame stays the caller's only when the call succeeds.
        if (own_block)
            DU_DUZ_AI_ReleaseFrame(0, AiChn, &out, nullptr);
        else
            ai_ioctl(AiChn, AI_RELEASE_FRAME_CTRL, rec);
        return Pull::done;
    }
    return Pull::done;
}

} // namespace

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
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    for (;;) {
        AI_GET_FRAME_REQ_S req;
        memset(&req, 0, sizeof req);
        req.s32MilliSec = s32MilliSec;
        if (s32 ret = ai_ioctl(AiChn, AI_GET_FRAME_CTRL, &req)) {
            MPI_TRACE("get ai frame error!\n");
            return ret;
        }
        AI_FRAME_REC_S &rec = req.stRec;
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
        if ((!chn->bVqeEnable && !chn->bResmpEnable) || !chn->pVqeHandle)
            return 0;
        s32 code = 0;
        Pull how = process_frame(AiChn, &rec, pstFrm, pstAecFrm, &code);
        if (how == Pull::done)
            return code;
        if (rec.stFrm.u32Len != 0) // not given back yet
            ai_ioctl(AiChn, AI_RELEASE_FRAME_CTRL, &rec);
        // A caller that waits without limit never sees a frame that could
        // not be processed: the next one is tried.
        if (how == Pull::failed || s32MilliSec != -1)
            return code;
    }
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
    return ai_call(__FUNCTION__, AiDevId, AiChn, AI_SET_CHNPARAM_CTRL, const_cast<AI_CHN_PARAM_S *>(pstChnParam), true);
}

s32 DU_DUZ_AI_GetChnParam(s32 AiDevId, s32 AiChn, AI_CHN_PARAM_S *pstChnParam)
{
    return ai_call(__FUNCTION__, AiDevId, AiChn, AI_GET_CHNPARAM_CTRL, pstChnParam, true);
}

// ---- device controls --------------------------------------------------------------------------

s32 DU_DUZ_AI_SetTrackMode(s32 AiDevId, u32 enTrackMode)
{
    return ai_dev_set_ranged(AiDevId, AI_SET_TRACKMODE_CTRL, enTrackMode, 7, "illegal param: enTrackMode(%d)!\n",
                             __FUNCTION__);
}

s32 DU_DUZ_AI_GetTrackMode(s32 AiDevId, u32 *penTrackMode)
{
    return ai_call(__FUNCTION__, AiDevId, 0, AI_GET_TRACKMODE_CTRL, penTrackMode, true);
}

s32 DU_DUZ_AI_SetClkDir(s32 AiDevId, u32 enClkDir)
{
    return ai_dev_set_ranged(AiDevId, AI_SET_CLKDIR_CTRL, enClkDir, 1, "illegal param: enClkDir(%d)!\n", __FUNCTION__);
}

s32 DU_DUZ_AI_GetClkDir(s32 AiDevId, u32 *penClkDir)
{
    return ai_call(__FUNCTION__, AiDevId, 0, AI_GET_CLKDIR_CTRL, penClkDir, true);
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
    AiChnHold chn = ai_chn_hold(AiDevId, AiChn, !pstSaveFileInfo, __FUNCTION__);
    if (chn.ret)
        return chn.ret;
    return ai_ioctl(AiChn, AI_SET_SAVEFILE_CTRL, const_cast<AUDIO_SAVE_FILE_INFO_S *>(pstSaveFileInfo));
}

s32 DU_DUZ_AI_GetFd(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    return g_s32AiFd[AiChn];
}

s32 DU_DUZ_AI_GetFileHandle(s32 AiChn) { return DU_DUZ_AI_GetFd(0, AiChn); }

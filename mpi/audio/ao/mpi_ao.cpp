// Audio output unit.
#include "mpi/audio/ao/mpi_ao.h"

#include <cstdlib>
#include <cstring>

#include "board/board.h"
#include "mpi/audio/ao/ao_chn.h"
#include "mpi/audio/ao/ao_requests.h"
#include "mpi/audio/comm/audio_cirbuf.h"

s32 g_s32AoFd[AO_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAoInit = DU_FALSE;
MPI_AO_CHN_S s_astAoChn[AO_MAX_CHN_NUM];

const AUDIO_NODE_S g_stAoNode = {"/dev/ao", AO_BIND_CHN_CTRL, DU_ID_AO, AUDIO_OPEN_MSG_NONE, nullptr, true};

namespace {

// Gives back what an enabled channel holds.
void release_chn_buffers(MPI_AO_CHN_S *chn)
{
    if (chn->stCirBuf[0].pVirAddr)
        audio_free(chn->stCirBuf[0].u32PhyAddr);
    memset(chn->stCirBuf, 0, sizeof chn->stCirBuf);
    for (void *&buf : chn->pWorkBuf) {
        free(buf);
        buf = nullptr;
    }
}

} // namespace

s32 MPI_AO_Init(void)
{
    if (s_bAoInit)
        return 0;
    SYS_BIND_RECEIVER_S stReceiver = {DU_ID_AO, AO_DEV_MAX_NUM, AO_MAX_CHN_NUM, MPI_AO_ReceiveFrm, nullptr};
    s32 s32Ret = SYS_BIND_RegisterReceiver(&stReceiver);
    MPI_ASSERT(DU_SUCCESS == s32Ret);
    for (u32 i = 0; i < AO_MAX_CHN_NUM; i++) {
        memset(&s_astAoChn[i], 0, sizeof s_astAoChn[i]);
        if (pthread_mutex_init(&s_astAoChn[i].stMutex, nullptr) != 0) {
            while (i-- > 0)
                pthread_mutex_destroy(&s_astAoChn[i].stMutex);
            SYS_BIND_UnRegisterReceiver(DU_ID_AO); // so that a later start can register again
            return -1;
        }
    }
    s_bAoInit = DU_TRUE;
    return 0;
}

s32 MPI_AO_Exit(void)
{
    if (!s_bAoInit)
        return 0;
    SYS_BIND_UnRegisterReceiver(DU_ID_AO);
    for (MPI_AO_CHN_S &chn : s_astAoChn) {
        release_chn_buffers(&chn);
        DU_DNVQE_Destroy(chn.pDnVqeHandle); // a channel still enabled holds one
        audio_dump_close(&chn.stDump);
        pthread_mutex_destroy(&chn.stMutex);
        memset(&chn, 0, sizeof chn);
    }
    s_bAoInit = DU_FALSE;
    return 0;
}

s32 MPI_AO_ReceiveFrm(s32 s32DevId, s32 s32ChnId, u32 u32Flag, MPP_DATA_TYPE_E enDataType, void *pvData)
{
    MPI_ASSERT(MPP_DATA_AUDIO_FRAME == enDataType);
    MPI_ASSERT(DU_NULL != pvData);
    return DU_DUZ_AO_SendFrame(s32DevId, s32ChnId, static_cast<const AUDIO_FRAME_S *>(pvData), -1);
}

// ---- the device and its channels -------------------------------------------------------------

namespace {

// A null pointer a call needs: its message, when it has one, and the code.
s32 ao_null(const char *func, const char *fmt, s32 AudioDevId)
{
    if (fmt) {
        MPI_TRACE_PREFIX(func, __LINE__);
        fprintf(stderr, fmt, AudioDevId);
    }
    return DU_ERR_AO_NULL_PTR;
}

} // namespace

s32 ao_enter(s32 AudioDevId, s32 AoChn, const char *func)
{
    if ((u32)AudioDevId >= AO_DEV_MAX_NUM) {
        MPI_TRACE_PREFIX(func, __LINE__);
        fprintf(stderr, "ao dev %d is invalid\n", AudioDevId);
        return DU_ERR_AO_INVALID_DEVID;
    }
    if ((u32)AoChn >= AO_MAX_CHN_NUM) {
        MPI_TRACE_PREFIX(func, __LINE__);
        fprintf(stderr, "ao chnid %d is invalid\n", AoChn);
        return DU_ERR_AO_INVALID_CHNID;
    }
    return audio_node_open(&g_s32AoFd[AoChn], &g_stAoNode, AoChn, func);
}

AoChnHold ao_chn_hold(s32 AudioDevId, s32 AoChn, bool null_ptr, const char *func, AudioChnNeeds needs)
{
    static constexpr AudioChnUnit unit = {"AO chn %d is not enable\n", DU_ERR_AO_NOT_ENABLED};
    s32 entered = ao_enter(AudioDevId, AoChn, func);
    if (entered == 0 && null_ptr)
        entered = DU_ERR_AO_NULL_PTR;
    return AoChnHold(entered, s_astAoChn, AoChn, needs, unit, func);
}

s32 ao_ioctl(s32 AoChn, unsigned long request, void *arg) { return bd_ioctl(g_s32AoFd[AoChn], request, arg); }

s32 ao_call(const char *func, s32 AudioDevId, s32 AoChn, unsigned long request, void *arg, bool needs_arg,
            const char *null_msg)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, func))
        return ret;
    if (needs_arg && !arg)
        return ao_null(func, null_msg, AudioDevId);
    return ao_ioctl(AoChn, request, arg);
}

void ao_send_vqe_disabled(s32 AoChn)
{
    u8 rec[AO_VQE_STATUS_LEN] = {};
    u32 rate = 96001;
    memcpy(rec + 28, &rate, 4);
    ao_ioctl(AoChn, AO_VQE_STATUS_CTRL, rec);
}

namespace {

unsigned tracks_of(u32 enSoundmode) { return enSoundmode == 1 ? 2 : 1; }

// Hands every whole device frame buffered on all tracks to the kernel, until
// it refuses one (its wait ran out).
void drain(s32 AoChn, MPI_AO_CHN_S *chn, const AIO_ATTR_S &attr, const AUDIO_FRAME_S &frame, s32 s32MilliSec)
{
    const u32 dev_frame = attr.u32PtNumPerFrm << attr.enBitwidth;
    const unsigned tracks = tracks_of(attr.enSoundmode);
    AO_SEND_FRAME_REQ_S req;
    memset(&req, 0, sizeof req);
    req.stFrm = frame;
    req.stFrm.enBitwidth = attr.enBitwidth;
    req.stFrm.enSoundmode = attr.enSoundmode;
    req.s32MilliSec = s32MilliSec;
    for (;;) { // MPI_AO_QueryCircleBufferReadData
        for (unsigned t = 0; t < tracks; t++)
            if (!cirbuf_has_data(chn->stCirBuf[t], dev_frame))
                return;
        for (unsigned t = 0; t < tracks; t++) {
            cirbuf_peek(chn->stCirBuf[t], chn->pWorkBuf[t], dev_frame);
            req.stFrm.pVirAddr[t] = chn->pWorkBuf[t];
        }
        req.stFrm.u32Len = dev_frame;
        if (ao_ioctl(AoChn, AO_SEND_FRAME_CTRL, &req) != 0)
            return;
        for (unsigned t = 0; t < tracks; t++) // MPI_AO_UpdateCircleBufferReadPtr
            cirbuf_take(chn->stCirBuf[t], dev_frame);
    }
}

// Runs track 0 of a frame through the channel's enhancement instance
// (resampling, VQE, compressor): 0 with `frame` pointing at the processed
// samples (`*processed` set), or left as it was, or the code that ends the call.
s32 enhance(s32 AoChn, MPI_AO_CHN_S *chn, const AIO_ATTR_S &attr, AUDIO_FRAME_S *frame, bool *processed)
{
    *processed = false;
    const u32 n = frame->u32Len >> frame->enBitwidth;
    u32 m;
    if (chn->bResmpEnable) {
        const AO_RESMP_INFO_S &r = chn->stResmpInfo;
        m = r.enInSampleRate ? (u32)(((u64)r.enOutSampleRate * n + r.enInSampleRate - 1) / r.enInSampleRate) : 0;
        if (m < 1 || m > MAX_AO_POINT_NUM) {
            MPI_TRACE("PointNum after ao resample is:%d, it's biger than MAX_AO_POINT_NUM:%d, or small than 0\n", m,
                      MAX_AO_POINT_NUM);
            return DU_ERR_AO_ILLEGAL_PARAM;
        }
    } else {
        m = n > attr.u32PtNumPerFrm ? n : attr.u32PtNumPerFrm;
    }
    memcpy(chn->pWorkBuf[0], frame->pVirAddr[0], frame->u32Len);
    s32 ret = DU_DNVQE_WriteFrame(chn->pDnVqeHandle, static_cast<s16 *>(chn->pWorkBuf[0]), (s32)n);
    if (ret != 0) {
        MPI_TRACE("DU_DNVQE_WriteFrame failed, s32Ret:0x%x.!\n", ret);
        return chn->bResmpEnable ? DU_ERR_AO_VQE_ERR : 0; // at the device's rate it plays unprocessed
    }
    s32 got = DU_DNVQE_ReadFrame(chn->pDnVqeHandle, static_cast<s16 *>(chn->pWorkBuf[2]), (s32)m, 1);
    if (got == -1) {
        MPI_TRACE("####%s, %d , Ret:%d######\n", __FUNCTION__, __LINE__, got);
        return DU_ERR_AO_VQE_ERR;
    }
    frame->u32Len = (u32)got << frame->enBitwidth;
    frame->pVirAddr[0] = chn->pWorkBuf[2];
    *processed = true;
    return 0;
}

} // namespace

s32 DU_DUZ_AO_SetPubAttr(s32 AudioDevId, const AIO_ATTR_S *pstAttr)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_SET_PUBATTR_CTRL, const_cast<AIO_ATTR_S *>(pstAttr), true,
                   "the AIO_ATTR_S pointer for AoDev%d is NULL!\n");
}

s32 DU_DUZ_AO_GetPubAttr(s32 AudioDevId, AIO_ATTR_S *pstAttr)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_GET_PUBATTR_CTRL, pstAttr, true,
                   "the AIO_ATTR_S pointer for AoDev%d is NULL!\n");
}

s32 DU_DUZ_AO_Enable(s32 AudioDevId)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_ENABLE_CTRL, nullptr, false, nullptr);
}

s32 DU_DUZ_AO_Disable(s32 AudioDevId)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_DISABLE_CTRL, nullptr, false, nullptr);
}

s32 DU_DUZ_AO_ClrPubAttr(s32 AudioDevId)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_CLR_PUBATTR_CTRL, nullptr, false, nullptr);
}

s32 DU_DUZ_AO_EnableChn(s32 AudioDevId, s32 AoChn)
{
    AoChnHold chn = ao_chn_hold(AudioDevId, AoChn, false, __FUNCTION__);
    if (chn.ret)
        return chn.ret;
    if (chn->bEnable)
        return 0;
    char name[32];
    snprintf(name, sizeof name, "AO(%d,%d) CirBuf", AudioDevId, AoChn);
    u32 phys = 0;
    void *virt = nullptr;
    if (audio_alloc(name, &phys, &virt, AO_CIRBUF_BLOCK_SIZE) != 0) {
        MPI_TRACE("alloc mmb fail, len:%d\n", AO_CIRBUF_BLOCK_SIZE);
        return DU_ERR_AO_NOMEM;
    }
    if (s32 ret = ao_ioctl(AoChn, AO_ENABLE_CHN_CTRL, nullptr)) {
        audio_free(phys);
        return ret;
    }
    cirbuf_init_tracks(chn->stCirBuf, phys, virt, AO_CIRBUF_SIZE);
    for (void *&buf : chn->pWorkBuf)
        buf = malloc(AO_WORK_BUF_SIZE);
    if (!chn->pWorkBuf[0] || !chn->pWorkBuf[1] || !chn->pWorkBuf[2]) {
        release_chn_buffers(chn);
        ao_ioctl(AoChn, AO_DISABLE_CHN_CTRL, nullptr); // the kernel's channel goes back off too
        MPI_TRACE("malloc err when enable ao chn!\n");
        return DU_ERR_AO_NOMEM;
    }
    chn->bEnable = DU_TRUE;
    return 0;
}

s32 DU_DUZ_AO_DisableChn(s32 AudioDevId, s32 AoChn)
{
    AoChnHold chn = ao_chn_hold(AudioDevId, AoChn, false, __FUNCTION__);
    if (chn.ret)
        return chn.ret;
    if (!chn->bEnable)
        return 0;
    // The instance goes below, so resampling only clears its state.
    if (chn->bResmpEnable)
        if (s32 ret = ao_resmp_off(AudioDevId, AoChn, false))
            return ret;
    AO_RESMP_STATUS_S resmp = {};
    ao_ioctl(AoChn, AO_RESMP_STATUS_CTRL, &resmp);
    ao_vqe_destroy(AoChn);
    chn->bVqeCfg = chn->bVqeEnable = chn->bMbcEnable = DU_FALSE;
    ao_send_vqe_disabled(AoChn);
    release_chn_buffers(chn);
    // Without its buffers the channel is off whatever the kernel answers.
    chn->bEnable = DU_FALSE;
    s32 ret = ao_ioctl(AoChn, AO_DISABLE_CHN_CTRL, nullptr);
    audio_dump_close(&chn->stDump);
    return ret;
}

s32 DU_DUZ_AO_PauseChn(s32 AudioDevId, s32 AoChn)
{
    AoChnHold chn = ao_chn_hold(AudioDevId, AoChn, false, __FUNCTION__);
    if (chn.ret)
        return chn.ret;
    return ao_ioctl(AoChn, AO_PAUSE_CHN_CTRL, nullptr);
}

s32 DU_DUZ_AO_ResumeChn(s32 AudioDevId, s32 AoChn)
{
    return ao_call(__FUNCTION__, AudioDevId, AoChn, AO_RESUME_CHN_CTRL, nullptr, false, nullptr);
}

s32 DU_DUZ_AO_SendFrame(s32 AudioDevId, s32 AoChn, const AUDIO_FRAME_S *pstData, s32 s32MilliSec)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    if (s32MilliSec < -1) {
        MPI_TRACE("s32MilliSec(%d) can not be lower than -1.\n", s32MilliSec);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    if (!pstData) {
        MPI_TRACE("the AUDIO_FRAME_S pointer for is Ao(%d, %d) NULL!\n", AudioDevId, AoChn);
        return DU_ERR_AO_NULL_PTR;
    }
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable) {
        MPI_TRACE("AO chn %d is not enable\n", AoChn);
        return DU_ERR_AO_NOT_ENABLED;
    }
    u32 state = 0;
    if (s32 ret = ao_ioctl(AoChn, AO_GET_CHNSTATE_CTRL, &state))
        return ret;
    if (state != 1)
        return DU_ERR_AO_NOT_PERM;
    if (s32 ret = ao_ioctl(AoChn, AO_GET_SAVEFILE_CTRL, &chn->stSaveFileInfo)) {
        MPI_TRACE("get ao dumpfile cfg error!\n");
        return ret;
    }
    AUDIO_FRAME_S frame = *pstData;
    AIO_ATTR_S attr;
    if (ao_ioctl(AoChn, AO_GET_PUBATTR_CTRL, &attr) != 0) {
        MPI_TRACE("can't get aodev%d's attribute!\n", AudioDevId);
        return DU_ERR_AO_NOT_CONFIG;
    }
    u32 points = frame.enBitwidth <= 1 ? frame.u32Len >> frame.enBitwidth : 0;
    if (points < 1 || points > MAX_AO_POINT_NUM) {
        MPI_TRACE("PointNum of input frame is:%d, it's big than MAX_AO_POINT_NUM:%d, or small than 0\n", points,
                  MAX_AO_POINT_NUM);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    // The frame's tracks are copied as the device's: they must be laid out
    // the same way and all be there.
    const unsigned tracks = tracks_of(attr.enSoundmode);
    bool layout_ok = frame.enSoundmode == attr.enSoundmode && frame.enBitwidth == attr.enBitwidth;
    for (unsigned t = 0; t < tracks && layout_ok; t++)
        layout_ok = frame.pVirAddr[t] != nullptr;
    const u32 dev_frame = attr.u32PtNumPerFrm << attr.enBitwidth;
    if (!layout_ok || dev_frame == 0 || dev_frame > AO_WORK_BUF_SIZE) {
        MPI_TRACE("the frame's tracks don't match AoDev%d's sound mode %d\n", AudioDevId, attr.enSoundmode);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    if (chn->bResmpEnable || chn->bVqeEnable || chn->bMbcEnable) {
        // Resampling, VQE and the compressor are for mono 16-bit devices.
        bool processed;
        const u32 in_len = frame.u32Len;
        if (s32 ret = enhance(AoChn, chn, attr, &frame, &processed))
            return ret;
        if (processed)
            ao_save_frame(AoChn, chn->pWorkBuf[0], in_len, frame,
                          chn->bResmpEnable ? chn->stResmpInfo.enInSampleRate : attr.enSamplerate, attr.enSamplerate);
    }

    drain(AoChn, chn, attr, frame, s32MilliSec);
    for (unsigned t = 0; t < tracks; t++) // MPI_AO_QueryCircleBufferWriteData
        if (!cirbuf_has_room(chn->stCirBuf[t], frame.u32Len))
            return DU_ERR_AO_BUF_FULL;
    for (unsigned t = 0; t < tracks; t++)
        if (!cirbuf_put(chn->stCirBuf[t], frame.pVirAddr[t], frame.u32Len))
            return DU_ERR_AO_BUF_FULL;
    // Whole device frames go out now rather than with the next call.
    drain(AoChn, chn, attr, frame, s32MilliSec);
    return 0;
}

s32 DU_DUZ_AO_QueryChnStat(s32 AudioDevId, s32 AoChn, AO_CHN_STATE_S *pstStatus)
{
    return ao_call(__FUNCTION__, AudioDevId, AoChn, AO_QUERY_CHNSTAT_CTRL, pstStatus, true,
                   "the AO_CHN_STATE_S pointer for AoDev%d is NULL!\n");
}

s32 DU_DUZ_AO_SetVolume(s32 AudioDevId, s32 s32VolumeDb)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_SET_VOLUME_CTRL, &s32VolumeDb, false, nullptr);
}

s32 DU_DUZ_AO_GetVolume(s32 AudioDevId, s32 *ps32VolumeDb)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_GET_VOLUME_CTRL, ps32VolumeDb, true,
                   "the ps32VolumeDb pointer for Ao%d is NULL!\n");
}

s32 DU_DUZ_AO_SetMute(s32 AudioDevId, u32 bEnable, const AUDIO_FADE_S *pstFade)
{
    AO_MUTE_REQ_S req = {bEnable, {0, 0, 0}};
    if (pstFade)
        req.stFade = *pstFade;
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_SET_MUTE_CTRL, &req, false, nullptr);
}

s32 DU_DUZ_AO_GetMute(s32 AudioDevId, u32 *pbEnable, AUDIO_FADE_S *pstFade)
{
    if (s32 ret = ao_enter(AudioDevId, 0, __FUNCTION__))
        return ret;
    if (!pbEnable && !pstFade)
        return ao_null(__FUNCTION__, "Both pbEnable and pstFade pointer for  AoDev%d are NULL!\n", AudioDevId);
    AO_MUTE_REQ_S req = {};
    if (s32 ret = ao_ioctl(0, AO_GET_MUTE_CTRL, &req)) {
        MPI_TRACE("Ao%d Get Mute error\n", AudioDevId);
        return ret;
    }
    if (pbEnable)
        *pbEnable = req.bEnable;
    if (pstFade)
        *pstFade = req.stFade;
    return 0;
}

s32 DU_DUZ_AO_SetTrackMode(s32 AudioDevId, u32 enTrackMode)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_SET_TRACKMODE_CTRL, &enTrackMode, false, nullptr);
}

s32 DU_DUZ_AO_GetTrackMode(s32 AudioDevId, u32 *penTrackMode)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_GET_TRACKMODE_CTRL, penTrackMode, true,
                   "the penTrackMode pointer for AoDev%d is NULL!\n");
}

s32 DU_DUZ_AO_SetClkDir(s32 AudioDevId, u32 enClkDir)
{
    if (s32 ret = ao_enter(AudioDevId, 0, __FUNCTION__))
        return ret;
    if (enClkDir > 1) {
        MPI_TRACE("illegal param: enClkDir(%d)!\n", enClkDir);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    return ao_ioctl(0, AO_SET_CLKDIR_CTRL, &enClkDir);
}

s32 DU_DUZ_AO_GetClkDir(s32 AudioDevId, u32 *penClkDir)
{
    return ao_call(__FUNCTION__, AudioDevId, 0, AO_GET_CLKDIR_CTRL, penClkDir, true, nullptr);
}

s32 DU_DUZ_AO_GetFd(s32 AudioDevId, s32 AoChn)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    return g_s32AoFd[AoChn];
}

s32 DU_DUZ_AO_GetFileHandle(s32 AudioDevId) { return DU_DUZ_AO_GetFd(AudioDevId, 0); }


// Audio decoder unit.
#include "mpi/audio/adec/mpi_adec.h"

#include <cerrno>
#include <cstring>

#include "board/board.h"
#include "mpi/audio/adec/adec_chn.h"
#include "mpi/audio/adec/adec_requests.h"
#include "mpi/audio/voice/audio_voice_adp.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/bind/mpi_bind.h"

s32 g_s32AdecFd[ADEC_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAdecInit = DU_FALSE;
MPI_ADEC_CHN_S s_astAdecChn[ADEC_MAX_CHN_NUM];
ADEC_DECODER_CTX_S s_stDecoderCtx;

const AUDIO_NODE_S g_stAdecNode = {"/dev/adec", ADEC_BIND_CHN_CTRL, DU_ID_ADEC, AUDIO_OPEN_MSG_PUTS,
                                   "open adec dev fail", true};

namespace {

constexpr u32 kMaxPayloadType = 1004;

s32 adec_ioctl(s32 AdChn, unsigned long request, void *arg) { return bd_ioctl(g_s32AdecFd[AdChn], request, arg); }

// The AAC payload types: AAC, AAC-LC, HE-AAC.
bool is_aac(u32 type) { return type == 37 || type == 42 || type == 43; }

// AdecCheckAttr
s32 check_attr(const ADEC_CHN_ATTR_S *pstAttr)
{
    if (!pstAttr->pValue)
        return DU_ERR_ADEC_NULL_PTR;
    if (pstAttr->enType >= kMaxPayloadType) {
        MPI_TRACE("invalid param: payload type%d\n", pstAttr->enType);
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    }
    if (pstAttr->u32BufSize < 2 || pstAttr->u32BufSize > ADEC_MAX_FRAME_NODE) {
        MPI_TRACE("invalid param: u32BufSize%d\n", pstAttr->u32BufSize);
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    }
    // AAC needs the stream buffer (a packet may hold part of a frame); LPCM
    // has no frames to find in a stream.
    if (pstAttr->enMode > ADEC_MODE_STREAM || (pstAttr->enMode == ADEC_MODE_PACK && is_aac(pstAttr->enType)) ||
        (pstAttr->enMode == ADEC_MODE_STREAM && pstAttr->enType == PT_LPCM)) {
        MPI_TRACE("invalid param: enMode%d\n", pstAttr->enMode);
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    }
    return 0;
}

// A fresh record for a channel about to be created; the mutex and the
// condition stay.
void reset_chn(MPI_ADEC_CHN_S *chn, const ADEC_CHN_ATTR_S *pstAttr)
{
    chn->pstFramePool = nullptr;
    chn->s32ChnId = -1;
    chn->pDecoder = nullptr;
    chn->stAttr = *pstAttr;
    chn->u32Seq = 0;
    memset(&chn->stStat, 0, sizeof chn->stStat);
    // The kernel is told the codec words of G.726 and ADPCM channels.
    chn->stStat.u32CodecA = pstAttr->enType == PT_G726 ? *static_cast<const u32 *>(pstAttr->pValue) : 8;
    chn->stStat.u32CodecB = pstAttr->enType == PT_ADPCMA ? *static_cast<const u32 *>(pstAttr->pValue) : 3;
    chn->s32Handle = DU_INVALID_HANDLE;
    chn->u64LastPts = 0;
    chn->u32StreamLen = 0;
    memset(chn->au8StreamBuf, 0, sizeof chn->au8StreamBuf);
    chn->pu8StreamPtr = chn->au8StreamBuf;
    chn->bSendThreadRun = DU_FALSE;
    chn->bEndOfStream = DU_FALSE;
    chn->u32Waiters = 0;
}

// The lowest registry slot holding the payload type and a copy of it; -1
// when none does.
s32 find_decoder(u32 type, ADEC_CODEC_ENTRY_S *entry)
{
    MpiMutexGuard lock(&s_stDecoderCtx.stMutex);
    for (u32 i = 0; i < ADEC_MAX_DECODER_NUM; i++) {
        if (s_stDecoderCtx.astDecoder[i].enType == type) {
            *entry = s_stDecoderCtx.astDecoder[i];
            return (s32)i;
        }
    }
    return -1;
}

// First half of taking a created channel down, under its mutex: it stops
// taking calls, its send thread is told to end, and every waiter is woken
// (each passes the semaphore count on to the next).
void stop_chn(MPI_ADEC_CHN_S *chn)
{
    chn->bDestroying = DU_TRUE;
    chn->bCreated = DU_FALSE;
    __atomic_store_n(&chn->bSendThreadRun, DU_FALSE, __ATOMIC_RELEASE);
    for (sem_t *sem : {&chn->semRead, &chn->semWrite}) {
        int value = 0;
        if (sem_getvalue(sem, &value) == 0 && value <= 0)
            sem_post(sem);
    }
    adec_wake(chn);
}

// The record's mutex and the condition its waits use (monotonic: a moved
// wall clock must not stretch a 10 ms wait).
bool init_chn_locks(MPI_ADEC_CHN_S *chn)
{
    if (pthread_mutex_init(&chn->stMutex, nullptr) != 0)
        return false;
    pthread_condattr_t attr;
    bool ok = pthread_condattr_init(&attr) == 0;
    ok = ok && pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0 && pthread_cond_init(&chn->stCond, &attr) == 0;
    pthread_condattr_destroy(&attr);
    if (!ok)
        pthread_mutex_destroy(&chn->stMutex);
    return ok;
}

void destroy_chn_locks(MPI_ADEC_CHN_S *chn)
{
    pthread_cond_destroy(&chn->stCond);
    pthread_mutex_destroy(&chn->stMutex);
}

// ---- channel creation, one step at a time ------------------------------------------------------
// The channel's mutex is held from `claim` to `publish`; the tear-down (a
// failed creation or the destruction) takes it again in `unpublish` and lets
// it go in `unclaim`.

struct AdecCreate {
    s32 AdChn;
    MPI_ADEC_CHN_S *chn;
    const ADEC_CHN_ATTR_S *attr;
    s32 ret; // what the tear-down reports: the decoder's slot found freed
};

s32 claim(AdecCreate *c)
{
    MPI_ADEC_CHN_S *chn = c->chn;
    pthread_mutex_lock(&chn->stMutex);
    s32 ret = 0;
    if (chn->bCreated) {
        MPI_TRACE("adec chn%d has been created\n", c->AdChn);
        ret = DU_ERR_ADEC_EXIST;
    } else if (chn->bDestroying) {
        MPI_TRACE("adec chn%d is being destroyed\n", c->AdChn);
        ret = DU_ERR_ADEC_NOT_PERM;
    } else {
        ret = check_attr(c->attr);
    }
    if (ret) {
        pthread_mutex_unlock(&chn->stMutex);
        return ret;
    }
    reset_chn(chn, c->attr);
    return 0;
}

void unclaim(AdecCreate *c)
{
    c->chn->s32ChnId = -1;
    c->chn->bDestroying = DU_FALSE;
    pthread_mutex_unlock(&c->chn->stMutex);
}

s32 open_decoder(AdecCreate *c)
{
    ADEC_CODEC_ENTRY_S entry;
    s32 slot = find_decoder(c->attr->enType, &entry);
    if (slot < 0) {
        MPI_TRACE("the decoder maybe has not been registered, AdChn%d.\n", c->AdChn);
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    }
    if (s32 ret = entry.pfnOpenDecoder(c->attr->pValue, &c->chn->pDecoder)) {
        MPI_TRACE("open the decoder failed, AdChn%d.\n", c->AdChn);
        c->chn->pDecoder = nullptr;
        return ret;
    }
    c->chn->s32Handle = slot;
    c->chn->stEntry = entry;
    return 0;
}

// Closed with the operations that opened it: a channel whose decoder was
// unregistered meanwhile says so, but leaves no instance behind.
void close_decoder(AdecCreate *c)
{
    ADEC_CODEC_ENTRY_S entry;
    if (!adec_chn_decoder(c->chn, &entry))
        c->ret = DU_ERR_ADEC_CODEC_ERR;
    c->chn->stEntry.pfnCloseDecoder(c->chn->pDecoder);
    c->chn->pDecoder = nullptr;
    c->chn->s32Handle = DU_INVALID_HANDLE;
}

s32 create_pool(AdecCreate *c)
{
    bool record_failed = false;
    if (adec_pool_create(c->attr->u32BufSize, &c->chn->pstFramePool, &record_failed))
        return 0;
    if (record_failed)
        MPI_TRACE("adec chn %d malloc AF buffer failed!\n", c->AdChn);
    else
        MPI_TRACE("adec chn %d init AF buffer failed!\n", c->AdChn);
    return DU_ERR_ADEC_NOMEM;
}

void destroy_pool(AdecCreate *c)
{
    adec_pool_destroy(c->chn->pstFramePool);
    c->chn->pstFramePool = nullptr;
}

s32 init_sems(AdecCreate *c)
{
    MPI_ADEC_CHN_S *chn = c->chn;
    if (sem_init(&chn->semRead, 0, 0) != 0) {
        MPI_TRACE("adec chn %d init AF buffer failed!\n", c->AdChn);
        return DU_ERR_ADEC_NOMEM;
    }
    if (sem_init(&chn->semWrite, 0, c->attr->u32BufSize - 1) != 0) {
        sem_destroy(&chn->semRead);
        MPI_TRACE("adec chn %d init AF buffer failed!\n", c->AdChn);
        return DU_ERR_ADEC_NOMEM;
    }
    return 0;
}

void destroy_sems(AdecCreate *c)
{
    if (sem_destroy(&c->chn->semRead) != 0)
        MPI_TRACE("destroy semRead err %d!\n", errno);
    if (sem_destroy(&c->chn->semWrite) != 0)
        MPI_TRACE("destroy semWrite err %d!\n", errno);
}

// From here callers may use the channel.
s32 publish(AdecCreate *c)
{
    MPI_ADEC_CHN_S *chn = c->chn;
    chn->enMode = c->attr->enMode;
    chn->s32ChnId = c->AdChn;
    chn->bSendThreadRun = DU_TRUE;
    chn->bCreated = DU_TRUE;
    pthread_mutex_unlock(&chn->stMutex);
    return 0;
}

// The channel stops taking calls and every caller waiting inside it leaves;
// the mutex stays held for the steps below.
void unpublish(AdecCreate *c)
{
    MPI_ADEC_CHN_S *chn = c->chn;
    pthread_mutex_lock(&chn->stMutex);
    stop_chn(chn);
    while (chn->u32Waiters > 0)
        pthread_cond_wait(&chn->stCond, &chn->stMutex);
}

// The kernel hears of the channel before its threads can count anything.
s32 create_kernel_chn(AdecCreate *c)
{
    return adec_ioctl(c->AdChn, ADEC_CREATE_CHN_CTRL, const_cast<ADEC_CHN_ATTR_S *>(c->attr));
}

void destroy_kernel_chn(AdecCreate *c) { adec_ioctl(c->AdChn, ADEC_DESTROY_CHN_CTRL, nullptr); }

s32 start_thread(AdecCreate *c, pthread_t *thread, void *(*proc)(void *), const char *what)
{
    if (pthread_create(thread, nullptr, proc, reinterpret_cast<void *>((intptr_t)c->AdChn)) == 0)
        return 0;
    MPI_TRACE("adec chn %d create %s thread failed!\n", c->AdChn, what);
    return DU_ERR_ADEC_NOMEM;
}

// A thread ends once the channel is stopped.
void stop_thread(AdecCreate *c, pthread_t thread)
{
    {
        MpiMutexGuard lock(&c->chn->stMutex);
        stop_chn(c->chn);
    }
    pthread_join(thread, nullptr);
}

s32 start_send_thread(AdecCreate *c) { return start_thread(c, &c->chn->stSendThread, ADEC_SendAoProc, "send ao"); }
void stop_send_thread(AdecCreate *c) { stop_thread(c, c->chn->stSendThread); }
s32 start_dec_thread(AdecCreate *c)
{
    return start_thread(c, &c->chn->stDecThread, ADEC_DecProc, "decoder stream");
}
void stop_dec_thread(AdecCreate *c) { stop_thread(c, c->chn->stDecThread); }

// Creation runs these in order; a failed step undoes the ones before it, and
// the destruction undoes them all.
const mpi_step<AdecCreate> kCreateSteps[] = {
    {nullptr, claim, unclaim},
    {nullptr, open_decoder, close_decoder},
    {nullptr, create_pool, destroy_pool},
    {nullptr, init_sems, destroy_sems},
    {nullptr, publish, unpublish},
    {nullptr, create_kernel_chn, destroy_kernel_chn},
    {nullptr, start_send_thread, stop_send_thread},
    {nullptr, start_dec_thread, stop_dec_thread},
};

} // namespace

s32 adec_chn_enter(s32 AdChn, const char *pszFunc)
{
    if ((u32)AdChn >= ADEC_MAX_CHN_NUM)
        return DU_ERR_ADEC_INVALID_CHNID;
    return audio_node_open(&g_s32AdecFd[AdChn], &g_stAdecNode, AdChn, pszFunc);
}

s32 adec_check_bool(u32 u32Value, const char *pszName, const char *pszFunc)
{
    if (u32Value <= 1)
        return 0;
    MPI_TRACE_PREFIX(pszFunc, __LINE__);
    fprintf(stderr, "%s should be 0 or 1.\n", pszName);
    return DU_ERR_ADEC_ILLEGAL_PARAM;
}

void adec_send_stat(s32 AdChn) { adec_ioctl(AdChn, ADEC_CHN_STAT_CTRL, &s_astAdecChn[AdChn].stStat); }

void adec_count(s32 AdChn, u32 ADEC_CHN_STAT_S::*pu32Counter)
{
    s_astAdecChn[AdChn].stStat.*pu32Counter += 1;
    adec_send_stat(AdChn);
}

bool adec_chn_decoder(const MPI_ADEC_CHN_S *pstChn, ADEC_CODEC_ENTRY_S *pstEntry)
{
    MPI_ASSERT(DU_INVALID_HANDLE != pstChn->s32Handle);
    {
        MpiMutexGuard lock(&s_stDecoderCtx.stMutex);
        *pstEntry = s_stDecoderCtx.astDecoder[pstChn->s32Handle];
    }
    // A slot freed, or taken since by another payload type's decoder.
    if (pstEntry->enType != pstChn->stAttr.enType) {
        MPI_TRACE("The decoder has been unregistered!\n");
        return false;
    }
    return true;
}

s32 MPI_ADEC_Init(void)
{
    if (s_bAdecInit)
        return 0;
    SYS_BIND_SENDER_S stSender = {DU_ID_ADEC, 1, ADEC_MAX_CHN_NUM, nullptr};
    s32 s32Ret = SYS_BIND_RegisterSender(&stSender);
    MPI_ASSERT(DU_SUCCESS == s32Ret);

    for (u32 i = 0; i < ADEC_MAX_CHN_NUM; i++) {
        memset(&s_astAdecChn[i], 0, sizeof s_astAdecChn[i]);
        s_astAdecChn[i].s32ChnId = -1;
        s_astAdecChn[i].s32Handle = DU_INVALID_HANDLE;
        if (!init_chn_locks(&s_astAdecChn[i])) {
            while (i-- > 0)
                destroy_chn_locks(&s_astAdecChn[i]);
            SYS_BIND_UnRegisterSender(DU_ID_ADEC); // so that a later start can register again
            return DU_ERR_ADEC_NOMEM;
        }
    }
    memset(&s_stDecoderCtx, 0, sizeof s_stDecoderCtx);
    for (ADEC_CODEC_ENTRY_S &entry : s_stDecoderCtx.astDecoder)
        entry.enType = ADEC_FREE_PAYLOAD;
    if (pthread_mutex_init(&s_stDecoderCtx.stMutex, nullptr) != 0) {
        for (MPI_ADEC_CHN_S &chn : s_astAdecChn)
            destroy_chn_locks(&chn);
        SYS_BIND_UnRegisterSender(DU_ID_ADEC);
        return DU_ERR_ADEC_NOMEM;
    }
    DU_DUZ_ADEC_VoiceInit();
    s_bAdecInit = DU_TRUE;
    return 0;
}

void MPI_ADEC_Exit(void)
{
    if (!s_bAdecInit)
        return;
    for (s32 i = 0; i < (s32)ADEC_MAX_CHN_NUM; i++)
        MPI_ADEC_DestroyChn(i);
    s_bAdecInit = DU_FALSE;
    for (MPI_ADEC_CHN_S &chn : s_astAdecChn)
        destroy_chn_locks(&chn);
    SYS_BIND_UnRegisterSender(DU_ID_ADEC);
    pthread_mutex_destroy(&s_stDecoderCtx.stMutex);
    memset(&s_stDecoderCtx, 0, sizeof s_stDecoderCtx);
}

s32 DU_DUZ_ADEC_RegeisterDecoder(s32 *ps32Handle, const ADEC_CODEC_ENTRY_S *pstDecoder)
{
    if (!ps32Handle || !pstDecoder || !pstDecoder->pfnOpenDecoder || !pstDecoder->pfnDecodeFrm ||
        !pstDecoder->pfnGetFrmInfo || !pstDecoder->pfnCloseDecoder)
        return DU_ERR_ADEC_NULL_PTR;
    MpiMutexGuard lock(&s_stDecoderCtx.stMutex);
    s32 slot = audio_registry_add(s_stDecoderCtx.astDecoder, &s_stDecoderCtx.u32DecoderNum, *pstDecoder, ADEC_FREE_PAYLOAD);
    if (slot < 0)
        return DU_ERR_ADEC_BUF_FULL;
    *ps32Handle = slot;
    return 0;
}

s32 DU_DUZ_ADEC_UnRegisterDecoder(s32 s32Handle)
{
    if ((u32)s32Handle >= ADEC_MAX_DECODER_NUM)
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    MpiMutexGuard lock(&s_stDecoderCtx.stMutex);
    if (!audio_registry_remove(s_stDecoderCtx.astDecoder, &s_stDecoderCtx.u32DecoderNum, (u32)s32Handle, ADEC_FREE_PAYLOAD))
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    return 0;
}

// ---- channels ----------------------------------------------------------------------------------------

s32 MPI_ADEC_CreateChn(s32 AdChn, const ADEC_CHN_ATTR_S *pstAttr)
{
    if ((u32)AdChn >= ADEC_MAX_CHN_NUM)
        return DU_ERR_ADEC_INVALID_CHNID;
    if (!pstAttr)
        return DU_ERR_ADEC_NULL_PTR;
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    AdecCreate create = {AdChn, &s_astAdecChn[AdChn], pstAttr, 0};
    return mpi_steps_run(kCreateSteps, &create);
}

s32 DU_DUZ_ADEC_CreateChn(s32 AdChn, const ADEC_CHN_ATTR_S *pstAttr)
{
    if (s32 ret = MPI_ADEC_CreateChn(AdChn, pstAttr))
        return ret;
    MpiMutexGuard lock(&s_astAdecChn[AdChn].stMutex);
    adec_send_stat(AdChn);
    return 0;
}

s32 MPI_ADEC_DestroyChn(s32 AdChn)
{
    if ((u32)AdChn >= ADEC_MAX_CHN_NUM)
        return DU_ERR_ADEC_INVALID_CHNID;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    {
        // Stopped under the mutex: a second destruction finds it gone.
        MpiMutexGuard lock(&chn->stMutex);
        if (!chn->bCreated)
            return 0;
        stop_chn(chn);
    }
    AdecCreate teardown = {AdChn, chn, &chn->stAttr, 0};
    mpi_steps_undo(kCreateSteps, &teardown);
    return teardown.ret;
}

s32 DU_DUZ_ADEC_DestroyChn(s32 AdChn) { return MPI_ADEC_DestroyChn(AdChn); }

namespace {

// The attributes are fixed while the channel exists: the decoder, the frame
// slots and the threads were made for them, and a channel takes others by
// being created again. With `out` they are copied there, else refused.
s32 chn_attr(s32 AdChn, const void *arg, ADEC_CHN_ATTR_S *out, const char *func)
{
    if (s32 ret = adec_chn_enter(AdChn, func))
        return ret;
    if (!arg)
        return DU_ERR_ADEC_NULL_PTR;
    MpiMutexGuard lock(&s_astAdecChn[AdChn].stMutex);
    if (!s_astAdecChn[AdChn].bCreated)
        return DU_ERR_ADEC_UNEXIST;
    if (out) {
        *out = s_astAdecChn[AdChn].stAttr;
        return 0;
    }
    MPI_TRACE_PREFIX(func, __LINE__);
    fprintf(stderr, "adec chn%d attributes are fixed while it exists\n", AdChn);
    return DU_ERR_ADEC_NOT_PERM;
}

} // namespace

s32 DU_DUZ_ADEC_SetChnAttr(s32 AdChn, const ADEC_CHN_ATTR_S *pstAttr)
{
    return chn_attr(AdChn, pstAttr, nullptr, __FUNCTION__);
}

s32 DU_DUZ_ADEC_GetChnAttr(s32 AdChn, ADEC_CHN_ATTR_S *pstAttr)
{
    return chn_attr(AdChn, pstAttr, pstAttr, __FUNCTION__);
}

s32 DU_DUZ_ADEC_GetFrmInfo(s32 AdChn, void *pInfo)
{
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return DU_ERR_ADEC_UNEXIST;
    if (!pInfo)
        return DU_ERR_ADEC_NULL_PTR;
    ADEC_CODEC_ENTRY_S entry;
    if (!adec_chn_decoder(chn, &entry))
        return DU_ERR_ADEC_CODEC_ERR;
    return entry.pfnGetFrmInfo(chn->pDecoder, pInfo) == 0 ? 0 : DU_ERR_ADEC_NOT_SUPPORT;
}

// ---- clearing and end of stream ------------------------------------------------------------------

namespace {

// Empties the stream buffer and the decoded frames not handed out; the
// frame-ready count follows to 0 and the pack path's free-slot count back to
// all slots but one.
void clear_chn_buf(s32 AdChn, MPI_ADEC_CHN_S *chn)
{
    chn->u32StreamLen = 0;
    chn->pu8StreamPtr = chn->au8StreamBuf;
    adec_pool_clear_busy(chn->pstFramePool);
    while (sem_trywait(&chn->semRead) == 0) {
    }
    const int full = (int)chn->stAttr.u32BufSize - 1;
    int value = 0;
    sem_getvalue(&chn->semWrite, &value);
    if (value > full)
        fprintf(stderr, "Func:%s,LINE:%d,AdChn:%d,semWrite=%d\n", __FUNCTION__, __LINE__, AdChn, value);
    for (; value < full; value++)
        sem_post(&chn->semWrite);
    adec_wake(chn);
}

} // namespace

s32 MPI_ADEC_ClearChnBuf(s32 AdChn)
{
    if ((u32)AdChn >= ADEC_MAX_CHN_NUM)
        return DU_ERR_ADEC_INVALID_CHNID;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return DU_ERR_ADEC_UNEXIST;
    clear_chn_buf(AdChn, chn);
    return 0;
}

s32 DU_DUZ_ADEC_ClearChnBuf(s32 AdChn)
{
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    return MPI_ADEC_ClearChnBuf(AdChn);
}

s32 MPI_ADEC_SendEndOfStream(MPI_ADEC_CHN_S *pstChn)
{
    if (pstChn->enMode == ADEC_MODE_PACK)
        return DU_ERR_ADEC_NOT_SUPPORT;
    ADEC_CODEC_ENTRY_S entry;
    s32 ret = DU_ERR_ADEC_CODEC_ERR;
    if (adec_chn_decoder(pstChn, &entry)) {
        ret = entry.pfnResetDecoder ? entry.pfnResetDecoder(pstChn->pDecoder) : 0;
        if (ret != 0)
            MPI_TRACE("Reset Decoder failed!\n");
    }
    // The stream has ended whatever the decoder said: what is left of it is
    // no whole frame and is not tried again.
    pstChn->u32StreamLen = 0;
    pstChn->bEndOfStream = DU_FALSE;
    pstChn->pu8StreamPtr = pstChn->au8StreamBuf;
    adec_wake(pstChn);
    return ret;
}

s32 DU_DUZ_ADEC_SendEndOfStream(s32 AdChn, u32 bInstant)
{
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    if (s32 ret = adec_check_bool(bInstant, "bInstant", __FUNCTION__))
        return ret;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return DU_ERR_ADEC_UNEXIST;
    if (!bInstant) {
        chn->bEndOfStream = DU_TRUE;
        adec_wake(chn);
        return 0;
    }
    ADEC_CODEC_ENTRY_S entry;
    if (!adec_chn_decoder(chn, &entry))
        return DU_ERR_ADEC_CODEC_ERR;
    if (entry.pfnResetDecoder) {
        if (s32 ret = entry.pfnResetDecoder(chn->pDecoder)) {
            MPI_TRACE("Reset Decoder failed!\n");
            return ret;
        }
    }
    clear_chn_buf(AdChn, chn);
    chn->bEndOfStream = DU_FALSE;
    return 0;
}

// The decoder's data path: packets in (decoded at once in pack mode, held in
// the stream buffer for the channel's decode thread in stream mode), decoded
// frames in the channel's frame slots, out to the caller and, through the
// send thread and the bind registry, to bound output channels.
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/prctl.h>

#include "mpi/audio/adec/adec_chn.h"
#include "mpi/common/mpi_list.h"
#include "mpi/video/bind/mpi_bind.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

// Between passes of the decode thread and of a stream sender waiting for
// room; new bytes, enough room or enough free slots end the wait early.
constexpr u32 kStreamWaitMs = 10;
// Stream buffer room that lets a waiting sender go on.
constexpr u32 kWakeRoom = ADEC_STREAM_BUF_SIZE / 2;

// ---- the pool's lists ------------------------------------------------------------------------

bool list_has(const ADEC_LIST_S *head, const ADEC_LIST_S *node)
{
    for (const ADEC_LIST_S *p = head->pstNext; p != head; p = p->pstNext)
        if (p == node)
            return true;
    return false;
}

ADEC_FRAME_NODE_S *node_of(ADEC_LIST_S *link)
{
    return reinterpret_cast<ADEC_FRAME_NODE_S *>(reinterpret_cast<u8 *>(link) - offsetof(ADEC_FRAME_NODE_S, stList));
}

u8 *node_mem(const ADEC_FRAME_POOL_S *pool, const ADEC_FRAME_NODE_S *node)
{
    return pool->pu8FrameMem + (size_t)node->u32Index * ADEC_FRAME_NODE_SIZE;
}

ADEC_FRAME_NODE_S *take_first(ADEC_LIST_S *head, u32 *count)
{
    if (mpi_list_empty(head))
        return nullptr;
    ADEC_LIST_S *link = head->pstNext;
    mpi_list_del(link);
    (*count)--;
    return node_of(link);
}

void put_tail(ADEC_LIST_S *head, u32 *count, ADEC_FRAME_NODE_S *node)
{
    mpi_list_add_tail(&node->stList, head);
    (*count)++;
}

void put_free(ADEC_FRAME_POOL_S *pool, ADEC_FRAME_NODE_S *node) { put_tail(&pool->stFreeList, &pool->u32FreeNum, node); }

// ---- waits ---------------------------------------------------------------------------------------

// A caller leaving a wait; the last one out lets a destruction go on.
void leave_wait(MPI_ADEC_CHN_S *chn)
{
    if (--chn->u32Waiters == 0 && chn->bDestroying)
        adec_wake(chn);
}

} // namespace

void adec_wake(MPI_ADEC_CHN_S *pstChn) { pthread_cond_broadcast(&pstChn->stCond); }

void adec_wait_ms(MPI_ADEC_CHN_S *pstChn, u32 ms)
{
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_nsec += (long)ms * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += until.tv_nsec / 1000000000L;
        until.tv_nsec %= 1000000000L;
    }
    pthread_cond_timedwait(&pstChn->stCond, &pstChn->stMutex, &until);
}

s32 adec_take_sem(MPI_ADEC_CHN_S *pstChn, sem_t *pstSem, u32 bBlock, s32 s32None)
{
    if (!bBlock)
        return sem_trywait(pstSem) == 0 ? 0 : s32None;
    pstChn->u32Waiters++;
    pthread_mutex_unlock(&pstChn->stMutex);
    while (sem_wait(pstSem) != 0 && errno == EINTR) {
    }
    pthread_mutex_lock(&pstChn->stMutex);
    const bool alive = pstChn->bCreated;
    if (!alive)
        sem_post(pstSem); // wakes the next waiter, which finds the same
    leave_wait(pstChn);
    return alive ? 0 : DU_ERR_ADEC_UNEXIST;
}

// ---- frame slots ----------------------------------------------------------------------------------

bool adec_pool_create(u32 u32Nodes, ADEC_FRAME_POOL_S **ppstPool, bool *pbRecord)
{
    *ppstPool = nullptr;
    auto *pool = static_cast<ADEC_FRAME_POOL_S *>(calloc(1, sizeof(ADEC_FRAME_POOL_S)));
    *pbRecord = pool == nullptr;
    if (!pool)
        return false;
    pool->u32NodeNum = u32Nodes < ADEC_MAX_FRAME_NODE ? u32Nodes : ADEC_MAX_FRAME_NODE;
    pool->pu8FrameMem = static_cast<u8 *>(malloc((size_t)pool->u32NodeNum * ADEC_FRAME_NODE_SIZE));
    if (!pool->pu8FrameMem) {
        free(pool);
        return false;
    }
    mpi_list_init(&pool->stFreeList);
    mpi_list_init(&pool->stBusyList);
    for (u32 i = 0; i < pool->u32NodeNum; i++) {
        ADEC_FRAME_NODE_S *node = &pool->astNode[i];
        node->u32Index = i;
        node->stFrame.pVirAddr[0] = node_mem(pool, node);
        node->stFrame.pVirAddr[1] = node_mem(pool, node) + ADEC_FRAME_NODE_SIZE / 2;
        mpi_list_add_tail(&node->stList, &pool->stFreeList);
    }
    pool->u32FreeNum = pool->u32NodeNum;
    *ppstPool = pool;
    return true;
}

void adec_pool_destroy(ADEC_FRAME_POOL_S *pstPool)
{
    if (!pstPool)
        return;
    free(pstPool->pu8FrameMem);
    free(pstPool);
}

void adec_pool_clear_busy(ADEC_FRAME_POOL_S *pstPool)
{
    while (ADEC_FRAME_NODE_S *node = take_first(&pstPool->stBusyList, &pstPool->u32BusyNum))
        put_free(pstPool, node);
}

namespace {

enum ADEC_DEC_RESULT_E {
    ADEC_DEC_OK,           // a frame queued as the newest decoded one
    ADEC_DEC_NO_NODE,      // every frame slot is in use
    ADEC_DEC_UNREGISTERED, // the channel's decoder is gone
    ADEC_DEC_FAILED,       // the decoder's code in *ps32Ret
};

// Decodes one frame from *ppu8In (*ps32Left bytes) into the first free slot
// and queues it with `u64Pts`; a slot not filled goes back to the end of the
// free list. The decoder's advanced pointer and byte count are written back
// whatever it answers (it may have skipped bytes before asking for more).
// Output that is no frame of at most two tracks within a slot counts as a
// failure with DU_ERR_ADEC_CODEC_ERR. Under the channel's mutex.
ADEC_DEC_RESULT_E decode_frame(MPI_ADEC_CHN_S *pstChn, u8 **ppu8In, s32 *ps32Left, u64 u64Pts, s32 *ps32Ret)
{
    ADEC_FRAME_POOL_S *pool = pstChn->pstFramePool;
    ADEC_FRAME_NODE_S *node = take_first(&pool->stFreeList, &pool->u32FreeNum);
    if (!node)
        return ADEC_DEC_NO_NODE;
    ADEC_CODEC_ENTRY_S entry;
    if (!adec_chn_decoder(pstChn, &entry)) {
        put_free(pool, node);
        return ADEC_DEC_UNREGISTERED;
    }
    u8 *track0 = node_mem(pool, node);
    u8 *in = *ppu8In;
    s32 left = *ps32Left;
    u32 len = 0, chns = 0;
    s32 ret = entry.pfnDecodeFrm(pstChn->pDecoder, &in, &left, reinterpret_cast<u16 *>(track0), &len, &chns);
    // A decoder moves forward through what it was given, never past it.
    MPI_ASSERT(in >= *ppu8In && left >= 0 && (s64)(in - *ppu8In) + left == *ps32Left);
    *ppu8In = in;
    *ps32Left = left;
    if (ret == 0 && (chns < 1 || chns > 2 || len == 0 || (u64)len * chns > ADEC_FRAME_NODE_SIZE)) {
        MPI_TRACE("decoder output of %u bytes in %u tracks is no frame\n", len, chns);
        ret = DU_ERR_ADEC_CODEC_ERR;
    }
    *ps32Ret = ret;
    if (ret != 0) {
        put_free(pool, node);
        return ADEC_DEC_FAILED;
    }
    AUDIO_FRAME_S &frame = node->stFrame;
    frame.enBitwidth = 1; // 16 bit
    frame.enSoundmode = chns - 1;
    frame.pVirAddr[0] = track0;
    // Decoders write a second track right behind the first.
    frame.pVirAddr[1] = chns == 2 ? track0 + len : track0 + ADEC_FRAME_NODE_SIZE / 2;
    frame.u32PhyAddr[0] = frame.u32PhyAddr[1] = 0; // heap memory
    frame.u64TimeStamp = u64Pts;
    frame.u32Seq = pstChn->u32Seq++;
    frame.u32Len = len;
    put_tail(&pool->stBusyList, &pool->u32BusyNum, node);
    sem_post(&pstChn->semRead);
    return ADEC_DEC_OK;
}

// ---- sending packets ------------------------------------------------------------------------------

// AdecSendPack: the packet decoded at once into one frame.
s32 send_pack(s32 AdChn, MPI_ADEC_CHN_S *chn, const AENC_STREAM_OUT_S *pkt, u32 bBlock)
{
    if (pkt->u32Len > ADEC_STREAM_BUF_SIZE) {
        MPI_TRACE("u32Len:%d, maxlen:%d\n", pkt->u32Len, ADEC_STREAM_BUF_SIZE);
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    }
    adec_count(AdChn, &ADEC_CHN_STAT_S::u32RecvPkt);
    if (s32 ret = adec_take_sem(chn, &chn->semWrite, bBlock, DU_ERR_ADEC_BUF_FULL))
        return ret;
    u8 *in = pkt->pStream;
    s32 left = (s32)pkt->u32Len, ret = 0;
    switch (decode_frame(chn, &in, &left, pkt->u64TimeStamp, &ret)) {
    case ADEC_DEC_OK:
        chn->stStat.u32Mode = 0;
        adec_count(AdChn, &ADEC_CHN_STAT_S::u32DecFrm);
        return 0;
    case ADEC_DEC_NO_NODE:
        sem_post(&chn->semWrite);
        return DU_ERR_ADEC_BUF_FULL;
    case ADEC_DEC_UNREGISTERED:
    case ADEC_DEC_FAILED:
        break;
    }
    // The packet is lost; its slot is free again.
    sem_post(&chn->semWrite);
    return DU_ERR_ADEC_CODEC_ERR;
}

// Stream mode: the bytes appended to the stream buffer, in pieces as the
// decode thread makes room when they don't fit at once.
s32 send_stream(s32 AdChn, MPI_ADEC_CHN_S *chn, const AENC_STREAM_OUT_S *pkt, u32 bBlock)
{
    if (!bBlock && pkt->u32Len > ADEC_STREAM_BUF_SIZE - chn->u32StreamLen)
        return DU_ERR_ADEC_BUF_FULL;
    chn->u64LastPts = pkt->u64TimeStamp;
    adec_count(AdChn, &ADEC_CHN_STAT_S::u32RecvPkt);
    if (pkt->u32Len == 0)
        return 0;
    chn->bEndOfStream = DU_FALSE;
    const u8 *src = pkt->pStream;
    u32 rest = pkt->u32Len;
    for (;;) {
        if (!chn->bCreated)
            return DU_ERR_ADEC_UNEXIST;
        const u32 room = ADEC_STREAM_BUF_SIZE - chn->u32StreamLen;
        const u32 n = rest < room ? rest : room;
        // The held bytes move to the buffer's start only when the new ones
        // would not fit behind them.
        if (chn->pu8StreamPtr + chn->u32StreamLen + n > chn->au8StreamBuf + ADEC_STREAM_BUF_SIZE) {
            memmove(chn->au8StreamBuf, chn->pu8StreamPtr, chn->u32StreamLen);
            chn->pu8StreamPtr = chn->au8StreamBuf;
        }
        if (n > 0) {
            memcpy(chn->pu8StreamPtr + chn->u32StreamLen, src, n);
            chn->u32StreamLen += n;
            src += n;
            rest -= n;
            adec_wake(chn);
        }
        if (rest == 0)
            return 0;
        chn->u32Waiters++;
        adec_wait_ms(chn, kStreamWaitMs);
        leave_wait(chn);
    }
}

} // namespace

s32 DU_DUZ_ADEC_SendStream(s32 AdChn, const AENC_STREAM_OUT_S *pstStream, u32 bBlock)
{
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    if (!pstStream || !pstStream->pStream)
        return DU_ERR_ADEC_NULL_PTR;
    if (s32 ret = adec_check_bool(bBlock, "bBlock", __FUNCTION__))
        return ret;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    // One lock for the whole send, released on every way out.
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return DU_ERR_ADEC_UNEXIST;
    if (chn->enMode == ADEC_MODE_PACK)
        return send_pack(AdChn, chn, pstStream, bBlock);
    return send_stream(AdChn, chn, pstStream, bBlock);
}

// ---- the channel's threads ----------------------------------------------------------------------------

void *ADEC_DecProc(void *arg)
{
    const s32 AdChn = (s32)(intptr_t)arg;
    prctl(PR_SET_NAME, "ADEC_DecProc");
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (chn->enMode != ADEC_MODE_STREAM)
        return nullptr;
    while (chn->bCreated) {
        if (chn->u32StreamLen == 0) {
            if (chn->bEndOfStream)
                MPI_ADEC_SendEndOfStream(chn);
            adec_wait_ms(chn, kStreamWaitMs);
            continue;
        }
        const s32 held = (s32)chn->u32StreamLen;
        s32 left = held, ret = 0;
        const ADEC_DEC_RESULT_E result = decode_frame(chn, &chn->pu8StreamPtr, &left, chn->u64LastPts, &ret);
        chn->u32StreamLen = (u32)left;
        // A waiting sender is woken once half the buffer is free, not for
        // every frame taken out of it: it then appends a run of packets.
        if (ADEC_STREAM_BUF_SIZE - (u32)held < kWakeRoom && ADEC_STREAM_BUF_SIZE - (u32)left >= kWakeRoom)
            adec_wake(chn);
        if (result == ADEC_DEC_OK) {
            chn->stStat.u32Mode = 1;
            adec_count(AdChn, &ADEC_CHN_STAT_S::u32DecFrm);
            continue;
        }
        if (result == ADEC_DEC_UNREGISTERED)
            break;
        if (result == ADEC_DEC_FAILED && ret == DU_ERR_ADEC_BUF_LACK && chn->bEndOfStream) {
            MPI_ADEC_SendEndOfStream(chn);
            continue;
        }
        // A bad frame the decoder stepped over is followed at once by the next.
        if (result == ADEC_DEC_NO_NODE || ret == DU_ERR_ADEC_BUF_LACK || left == held)
            adec_wait_ms(chn, kStreamWaitMs);
    }
    return nullptr;
}

void *ADEC_SendAoProc(void *arg)
{
    const s32 AdChn = (s32)(intptr_t)arg;
    prctl(PR_SET_NAME, "ADEC_SendAoProc");
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    while (__atomic_load_n(&chn->bSendThreadRun, __ATOMIC_ACQUIRE)) {
        MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, AdChn};
        SYS_BIND_DEST_LIST_S dest;
        AUDIO_FRAME_INFO_S info;
        if (DU_DUZ_SYS_GetBindbySrc(&src, &dest) == 0 && dest.u32ChnNum > 0 &&
            DU_DUZ_ADEC_GetFrame(AdChn, &info, 0) == 0) {
            // Receivers get a copy of the record; the samples stay in the
            // slot until every receiver has taken them.
            AUDIO_FRAME_S frame = *info.pstFrame;
            SYS_BIND_SendData(DU_ID_ADEC, 0, AdChn, 0, MPP_DATA_AUDIO_FRAME, &frame);
            DU_DUZ_ADEC_ReleaseFrame(AdChn, &info);
            continue;
        }
        audio_poll_sleep();
    }
    __atomic_store_n(&chn->bSendThreadRun, DU_FALSE, __ATOMIC_RELEASE);
    return nullptr;
}

// ---- frames out --------------------------------------------------------------------------------------

s32 DU_DUZ_ADEC_GetFrame(s32 AdChn, AUDIO_FRAME_INFO_S *pstFrmInfo, u32 bBlock)
{
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    if (!pstFrmInfo)
        return DU_ERR_ADEC_NULL_PTR;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (s32 ret = adec_check_bool(bBlock, "bBlock", __FUNCTION__))
        return ret;
    if (!chn->bCreated)
        return DU_ERR_ADEC_UNEXIST;
    if (s32 ret = adec_take_sem(chn, &chn->semRead, bBlock, DU_ERR_ADEC_BUF_EMPTY))
        return ret;
    ADEC_FRAME_POOL_S *pool = chn->pstFramePool;
    ADEC_FRAME_NODE_S *node = take_first(&pool->stBusyList, &pool->u32BusyNum);
    // The frame this count stood for was cleared while the caller waited.
    if (!node)
        return DU_ERR_ADEC_BUF_EMPTY;
    pstFrmInfo->pstFrame = &node->stFrame;
    pstFrmInfo->u32Id = node->u32Index;
    adec_count(AdChn, &ADEC_CHN_STAT_S::u32GetFrm);
    return 0;
}

s32 DU_DUZ_ADEC_ReleaseFrame(s32 AdChn, const AUDIO_FRAME_INFO_S *pstFrmInfo)
{
    if (s32 ret = adec_chn_enter(AdChn, __FUNCTION__))
        return ret;
    if (!pstFrmInfo || !pstFrmInfo->pstFrame)
        return DU_ERR_ADEC_NULL_PTR;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return DU_ERR_ADEC_UNEXIST;
    ADEC_FRAME_POOL_S *pool = chn->pstFramePool;
    const u32 id = pstFrmInfo->u32Id;
    ADEC_FRAME_NODE_S *node = id < pool->u32NodeNum ? &pool->astNode[id] : nullptr;
    // Only a frame handed out goes back: not a free one (released twice) nor
    // one still waiting to be handed out.
    if (!node || pstFrmInfo->pstFrame != &node->stFrame || list_has(&pool->stFreeList, &node->stList) ||
        list_has(&pool->stBusyList, &node->stList)) {
        MPI_TRACE("FrmInfo is invalid.\n");
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    }
    put_free(pool, node);
    int value = 0;
    if (sem_getvalue(&chn->semWrite, &value) == 0 && value < (int)chn->stAttr.u32BufSize - 1)
        sem_post(&chn->semWrite);
    // The decode thread is woken once three slots in four are free again
    // (one, for two slots), not for every one: it then decodes a run of
    // frames in one go. Its wait ends after 10 ms in any case.
    const u32 wake_free = (pool->u32NodeNum * 3 + 3) / 4;
    if (pool->u32FreeNum == (wake_free < pool->u32NodeNum ? wake_free : pool->u32NodeNum - 1))
        adec_wake(chn);
    adec_count(AdChn, &ADEC_CHN_STAT_S::u32RelFrm);
    return 0;
}

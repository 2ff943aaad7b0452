// Audio encoder unit.
#include "mpi/audio/aenc/mpi_aenc.h"

#include <cstdlib>
#include <cstring>
#include <pthread.h>

#include "board/board.h"
#include "mpi/audio/aenc/aenc_chn.h"
#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/comm/audio_cirbuf.h"
#include "mpi/audio/voice/audio_voice_adp.h"
#include "mpi/common/mpi_steps.h"

s32 g_s32AencFd[AENC_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAencInit = DU_FALSE;
AENC_CHN_S g_stAenc[AENC_MAX_CHN_NUM];
AENC_ENCODER_CTX_S s_stEncoderCtx;

const AUDIO_NODE_S g_stAencNode = {"/dev/aenc", AENC_BIND_CHN_CTRL, DU_ID_AENC, AUDIO_OPEN_MSG_PUTS,
                                   "open aenc dev fail", true};

namespace {

void reset_dbg_info(AENC_DBG_INFO_S *info)
{
    memset(info, 0, sizeof *info);
    info->u32G726Rate = 8;
    info->u32AdpcmType = 3;
}

constexpr u32 kCirBufBlock = 2 * AENC_CIRBUF_SIZE;

// The samples a frame of the payload type may hold; true when any is fine.
bool pt_num_ok(u32 type, const void *attr, u32 n)
{
    auto multiple_of_80 = [](u32 v) { return v >= 80 && v <= 480 && v % 80 == 0 && v != 400; };
    switch (type) {
    case 19: // G.711 A-law
    case 20: // G.711 u-law
    case PT_G726:
        return multiple_of_80(n);
    case PT_ADPCMA:
        if (*static_cast<const u32 *>(attr) == 1)
            return n == 81 || n == 161 || n == 241 || n == 321 || n == 481;
        return multiple_of_80(n);
    case 37:
        return n == 512 || n == 1024 || n == 2048;
    case 1001:
        return n == 160;
    case 1003:
        return n == 320;
    case 43:
        return n == 1152;
    default:
        return true;
    }
}

s32 aenc_check_attr(const AENC_CHANNEL_CFG_S *pstAttr)
{
    if (!pstAttr->pValue)
        return DU_ERR_AENC_NULL_PTR;
    if (pstAttr->enType >= 1004) {
        MPI_TRACE("invalid payload type\n");
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    if (pstAttr->u32BufSize < 2 || pstAttr->u32BufSize > 50) {
        MPI_TRACE("invalid u32BufSize(%d)\n", pstAttr->u32BufSize);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    if (!pt_num_ok(pstAttr->enType, pstAttr->pValue, pstAttr->u32PtNumPerFrm)) {
        MPI_TRACE("invalid u32PtNumPerFrm(%d)\n", pstAttr->u32PtNumPerFrm);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    return 0;
}

// The stream buffer: a control block, then u32BufSize slots of u32CbPackLen
// bytes, each a packet header and the packet.
s32 MPI_AENC_StrmBufInit(s32 AeChn, AENC_CHN_S *chn, u32 u32MaxFrmLen, u32 u32BufSize)
{
    chn->u32CbPackLen = (u32MaxFrmLen + sizeof(AENC_STREAM_HEADER_S) + 63) & ~63u;
    chn->u32DataLen = u32BufSize * chn->u32CbPackLen;
    chn->u32CbLen = AENC_CB_LEN;
    chn->u32StrmLen = AENC_CB_LEN + chn->u32DataLen;
    char name[32];
    snprintf(name, sizeof name, "AENC(%d)StrmBuf", AeChn);
    if (audio_alloc(name, &chn->u32StrmPhyAddr, &chn->pStrmVirAddr, chn->u32StrmLen) != 0) {
        MPI_TRACE("alloc mmb fail, len:%d\n", chn->u32StrmLen);
        chn->pStrmVirAddr = nullptr;
        return DU_ERR_AENC_NOMEM;
    }
    chn->pCbAddr = chn->pStrmVirAddr;
    return 0;
}

void VALG_CB_Init(AENC_CHN_S *chn)
{
    VALG_CB_S cb;
    memset(&cb, 0, sizeof cb);
    cb.u32PhyAddr = chn->u32StrmPhyAddr + AENC_CB_LEN;
    cb.u32RdHeadOfs = VALG_CB_RDHEAD_OFS;
    cb.u32RdTailOfs = VALG_CB_RDTAIL_OFS;
    cb.u32WrHeadOfs = VALG_CB_WRHEAD_OFS;
    cb.u32WrTailOfs = VALG_CB_WRTAIL_OFS;
    cb.u32DataOfs = AENC_CB_LEN;
    cb.u32DataLen = chn->u32DataLen;
    cb.u32CbPackLen = chn->u32CbPackLen;
    memcpy(chn->pCbAddr, &cb, sizeof cb);
}

void free_strm_buf(AENC_CHN_S *chn)
{
    if (chn->pStrmVirAddr)
        audio_free(chn->u32StrmPhyAddr);
    chn->pStrmVirAddr = nullptr;
    chn->pCbAddr = nullptr;
    chn->bStrmBufInit = DU_FALSE;
}

void free_cir_buf(AENC_CHN_S *chn)
{
    if (chn->astCirBuf[0].pVirAddr)
        audio_free(chn->astCirBuf[0].u32PhyAddr);
    memset(chn->astCirBuf, 0, sizeof chn->astCirBuf);
}

void free_stage_bufs(AENC_CHN_S *chn)
{
    for (u8 *&buf : chn->pu8StageBuf) {
        free(buf);
        buf = nullptr;
    }
}

// Back to a fresh channel; the mutex and thread fields stay.
void reset_chn(AENC_CHN_S *chn, s32 AeChn)
{
    chn->bStrmBufInit = DU_FALSE;
    chn->u32StrmPhyAddr = 0;
    chn->pStrmVirAddr = nullptr;
    chn->u32StrmLen = chn->u32CbLen = chn->u32CbPackLen = chn->u32DataLen = 0;
    chn->pCbAddr = nullptr;
    memset(&chn->stReadBuf, 0, sizeof chn->stReadBuf);
    memset(chn->astCirBuf, 0, sizeof chn->astCirBuf);
    chn->bKernelEnc = DU_FALSE;
    chn->pEncoder = nullptr;
    reset_dbg_info(&chn->stDbgInfo);
    chn->u32Seq = 0;
    chn->u32PtNumPerFrm = 0;
    chn->s32Handle = DU_INVALID_HANDLE;
    chn->s32ChnId = AeChn;
    chn->pVqeHandle = nullptr;
    chn->bVqeEnable = chn->bResmpEnable = DU_FALSE;
}

// ---- channel creation, one step at a time ------------------------------------------------------

// What the creation steps of one channel work on; the destruction runs
// their undo with the channel's registry slot and keeps its result in `ret`.
struct AencCreate {
    s32 AeChn;
    AENC_CHN_S *chn;
    const AENC_CHANNEL_CFG_S *attr;
    s32 slot;
    const AENC_CODEC_ENTRY_S *entry;
    s32 ret;
    const char *func; // the public call, for the messages of the undo
};

s32 find_encoder(AencCreate *c)
{
    for (u32 i = 0; i < AENC_MAX_ENCODER_NUM; i++) {
        if (s_stEncoderCtx.astEncoder[i].enType == c->attr->enType) {
            c->slot = (s32)i;
            c->entry = &s_stEncoderCtx.astEncoder[i];
            return 0;
        }
    }
    MPI_TRACE("aenc chn:%d the payload type%d not registered\n", c->AeChn, c->attr->enType);
    return DU_ERR_AENC_ILLEGAL_PARAM;
}

// The kernel's word on the payload: whether it encodes it itself.
s32 query_payload(AencCreate *c)
{
    AENC_PAYLOAD_QUERY_S query = {c->attr->enType, 0, c->attr->u32BufSize, c->attr->pValue, 0};
    if (aenc_ioctl(c->AeChn, AENC_QUERY_PAYLOAD_CTRL, &query) != 0) {
        MPI_TRACE("aenc chn:%d the payload type%d invalid\n", c->AeChn, c->attr->enType);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    c->chn->bKernelEnc = query.bKernelEnc ? DU_TRUE : DU_FALSE;
    if (c->entry->enType == AENC_FREE_PAYLOAD) {
        MPI_TRACE_PREFIX(c->func, __LINE__);
        fprintf(stderr, "The encoder has been unregistered!\n");
        return DU_ERR_AENC_CODEC_ERR;
    }
    // The slot's packets must fit the unit's slots whatever the encoder says.
    if (c->entry->u32MaxFrmLen == 0 || c->entry->u32MaxFrmLen > AENC_CIRBUF_SIZE) {
        MPI_TRACE("aenc chn:%d the payload type%d invalid\n", c->AeChn, c->attr->enType);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    return 0;
}

s32 open_encoder(AencCreate *c)
{
    if (s32 ret = c->entry->pfnOpenEncoder(c->attr->pValue, &c->chn->pEncoder)) {
        MPI_TRACE("aenc chn:%d open encoder failed!\n", c->AeChn);
        c->chn->pEncoder = nullptr;
        return ret;
    }
    return 0;
}

// The instance can't be closed without its operations once its encoder
// was unregistered: that is reported, and the rest still goes.
void close_encoder(AencCreate *c)
{
    if (c->entry->enType == AENC_FREE_PAYLOAD) {
        MPI_TRACE_PREFIX(c->func, __LINE__);
        fprintf(stderr, "The encoder has been unregistered!\n");
        c->ret = DU_ERR_AENC_CODEC_ERR;
    } else {
        c->entry->pfnCloseEncoder(c->chn->pEncoder);
    }
    c->chn->pEncoder = nullptr;
}

s32 alloc_strm_buf(AencCreate *c)
{
    if (MPI_AENC_StrmBufInit(c->AeChn, c->chn, c->entry->u32MaxFrmLen, c->attr->u32BufSize) != 0) {
        MPI_TRACE("aenc chn:%d stream buffer init failed!\n", c->AeChn);
        return DU_ERR_AENC_NOMEM;
    }
    VALG_CB_Init(c->chn);
    c->chn->bStrmBufInit = DU_TRUE;
    return 0;
}

void undo_strm_buf(AencCreate *c) { free_strm_buf(c->chn); }

// The kernel takes the stream buffer; the unit reads packets from its data area.
s32 share_strm_buf(AencCreate *c)
{
    AENC_CHN_S *chn = c->chn;
    AENC_STRMBUF_REQ_S buf = {chn->u32StrmPhyAddr, chn->u32CbPackLen, chn->u32DataLen, chn->u32CbLen};
    if (s32 ret = aenc_ioctl(c->AeChn, AENC_STRMBUF_INIT_CTRL, &buf)) {
        MPI_TRACE("aenc chn:%d read buffer init in kernel mode failed!\n", c->AeChn);
        return ret;
    }
    chn->stReadBuf.u32PhyAddr = chn->u32StrmPhyAddr + AENC_CB_LEN;
    chn->stReadBuf.u32Len = chn->u32DataLen;
    chn->stReadBuf.pVirAddr = static_cast<u8 *>(chn->pStrmVirAddr) + AENC_CB_LEN;
    return 0;
}

void unshare_strm_buf(AencCreate *c)
{
    memset(&c->chn->stReadBuf, 0, sizeof c->chn->stReadBuf);
    s32 ret = aenc_ioctl(c->AeChn, AENC_STRMBUF_DEINIT_CTRL, nullptr);
    if (c->ret == 0)
        c->ret = ret;
}

s32 alloc_cir_buf(AencCreate *c)
{
    char name[32];
    snprintf(name, sizeof name, "AENC(%d) CirBuf", c->AeChn);
    u32 phys = 0;
    void *virt = nullptr;
    if (audio_alloc(name, &phys, &virt, kCirBufBlock) != 0) {
        MPI_TRACE("aenc chn:%d alloc mmb fail, len:%d\n", c->AeChn, kCirBufBlock);
        return DU_ERR_AENC_NOMEM;
    }
    cirbuf_init_tracks(c->chn->astCirBuf, phys, virt, AENC_CIRBUF_SIZE);
    return 0;
}

void undo_cir_buf(AencCreate *c) { free_cir_buf(c->chn); }

s32 create_kernel_chn(AencCreate *c)
{
    if (s32 ret = aenc_ioctl(c->AeChn, AENC_CREATE_CHN_CTRL, const_cast<AENC_CHANNEL_CFG_S *>(c->attr))) {
        MPI_TRACE("aenc chn:%d, create chn failed!\n", c->AeChn);
        return ret;
    }
    return 0;
}

void destroy_kernel_chn(AencCreate *c) { aenc_ioctl(c->AeChn, AENC_DESTROY_CHN_CTRL, nullptr); }

s32 alloc_stage_bufs(AencCreate *c)
{
    for (u8 *&buf : c->chn->pu8StageBuf)
        buf = static_cast<u8 *>(malloc(AENC_STAGE_BUF_SIZE));
    if (!c->chn->pu8StageBuf[0] || !c->chn->pu8StageBuf[1]) {
        free_stage_bufs(c->chn);
        MPI_TRACE("malloc err when create aenc chn!\n");
        return DU_ERR_AENC_NOMEM;
    }
    return 0;
}

void undo_stage_bufs(AencCreate *c) { free_stage_bufs(c->chn); }

// A failed step leaves the channel free, with what the steps before it made
// undone; the destruction undoes them all.
const mpi_step<AencCreate> kCreateSteps[] = {
    {nullptr, find_encoder, nullptr},
    {nullptr, query_payload, nullptr},
    {nullptr, open_encoder, close_encoder},
    {nullptr, alloc_strm_buf, undo_strm_buf},
    {nullptr, share_strm_buf, unshare_strm_buf},
    {nullptr, alloc_cir_buf, undo_cir_buf},
    {nullptr, create_kernel_chn, destroy_kernel_chn},
    {nullptr, alloc_stage_bufs, undo_stage_bufs},
};

// The channel's codec words in its counters: the G.726 rate and the ADPCM type.
void set_codec_words(AENC_CHN_S *chn, const AENC_CHANNEL_CFG_S *attr)
{
    if (attr->enType == PT_G726)
        chn->stDbgInfo.u32G726Rate = *static_cast<const u32 *>(attr->pValue);
    else if (attr->enType == PT_ADPCMA)
        chn->stDbgInfo.u32AdpcmType = *static_cast<const u32 *>(attr->pValue);
}

} // namespace

s32 aenc_chn_enter(s32 AeChn, const char *pszFunc)
{
    if ((u32)AeChn >= AENC_MAX_CHN_NUM)
        return DU_ERR_AENC_INVALID_CHNID;
    return audio_node_open(&g_s32AencFd[AeChn], &g_stAencNode, AeChn, pszFunc);
}

s32 aenc_ioctl(s32 AeChn, unsigned long request, void *arg) { return bd_ioctl(g_s32AencFd[AeChn], request, arg); }

void aenc_send_dbg(s32 AeChn) { aenc_ioctl(AeChn, AENC_DBG_INFO_CTRL, &g_stAenc[AeChn].stDbgInfo); }

volatile u32 *aenc_cb_word(const AENC_CHN_S *pstChn, u32 u32Offset)
{
    return reinterpret_cast<volatile u32 *>(static_cast<u8 *>(pstChn->pCbAddr) + u32Offset);
}

s32 MPI_AENC_Init(void)
{
    if (s_bAencInit)
        return 0;
    memset(&s_stEncoderCtx, 0, sizeof s_stEncoderCtx);
    if (pthread_mutex_init(&s_stEncoderCtx.stMutex, nullptr) != 0)
        return DU_ERR_AENC_NOMEM;
    for (AENC_CODEC_ENTRY_S &entry : s_stEncoderCtx.astEncoder)
        entry.enType = AENC_FREE_PAYLOAD;
    DU_DUZ_AENC_VoiceInit();

    for (u32 i = 0; i < AENC_MAX_CHN_NUM; i++) {
        AENC_CHN_S *chn = &g_stAenc[i];
        memset(chn, 0, sizeof *chn);
        chn->s32Handle = DU_INVALID_HANDLE;
        chn->s32ChnId = -1;
        reset_dbg_info(&chn->stDbgInfo);
        if (pthread_mutex_init(&chn->stMutex, nullptr) != 0) {
            while (i-- > 0)
                pthread_mutex_destroy(&g_stAenc[i].stMutex);
            pthread_mutex_destroy(&s_stEncoderCtx.stMutex);
            return DU_ERR_AENC_NOMEM;
        }
    }
    s_bAencInit = DU_TRUE;
    return 0;
}

void MPI_AENC_Exit(void)
{
    if (!s_bAencInit)
        return;
    for (s32 i = 0; i < (s32)AENC_MAX_CHN_NUM; i++) {
        DU_DUZ_AENC_DestroyChn(i);
        pthread_mutex_destroy(&g_stAenc[i].stMutex);
    }
    pthread_mutex_destroy(&s_stEncoderCtx.stMutex);
    memset(&s_stEncoderCtx, 0, sizeof s_stEncoderCtx);
    s_bAencInit = DU_FALSE;
}

s32 DU_DUZ_AENC_RegeisterEncoder(s32 *ps32Handle, const AENC_CODEC_ENTRY_S *pstEncoder)
{
    if (!ps32Handle || !pstEncoder || !pstEncoder->pfnOpenEncoder || !pstEncoder->pfnEncodeFrm ||
        !pstEncoder->pfnCloseEncoder)
        return DU_ERR_AENC_NULL_PTR;
    MpiMutexGuard lock(&s_stEncoderCtx.stMutex);
    s32 slot = audio_registry_add(s_stEncoderCtx.astEncoder, &s_stEncoderCtx.u32EncoderNum, *pstEncoder, AENC_FREE_PAYLOAD);
    if (slot < 0)
        return DU_ERR_AENC_BUF_FULL;
    *ps32Handle = slot;
    return 0;
}

s32 DU_DUZ_AENC_UnRegisterEncoder(s32 s32Handle)
{
    if ((u32)s32Handle >= AENC_MAX_ENCODER_NUM)
        return DU_ERR_AENC_ILLEGAL_PARAM;
    MpiMutexGuard lock(&s_stEncoderCtx.stMutex);
    if (!audio_registry_remove(s_stEncoderCtx.astEncoder, &s_stEncoderCtx.u32EncoderNum, (u32)s32Handle, AENC_FREE_PAYLOAD))
        return DU_ERR_AENC_BUF_EMPTY;
    return 0;
}

s32 DU_DUZ_AENC_CreateChn(s32 AeChn, const AENC_CHANNEL_CFG_S *pstAttr)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
        return ret;
    if (!pstAttr)
        return DU_ERR_AENC_NULL_PTR;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (chn->bCreated) {
        MPI_TRACE("aenc chn:%d is exist!\n", AeChn);
        return DU_ERR_AENC_EXIST;
    }
    if (aenc_check_attr(pstAttr) != 0) {
        MPI_TRACE("aenc chn:%d attr is illegal!\n", AeChn);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    reset_chn(chn, AeChn);
    AencCreate create = {AeChn, chn, pstAttr, -1, nullptr, 0, __FUNCTION__};
    if (s32 ret = mpi_steps_run(kCreateSteps, &create))
        return ret;
    chn->s32Handle = create.slot;
    chn->bCreated = DU_TRUE;
    chn->u32PtNumPerFrm = pstAttr->u32PtNumPerFrm;
    set_codec_words(chn, pstAttr);
    aenc_send_dbg(AeChn);

    if (!__atomic_load_n(&chn->bThreadRun, __ATOMIC_ACQUIRE)) {
        chn->s32ChnId = AeChn;
        __atomic_store_n(&chn->bThreadRun, DU_TRUE, __ATOMIC_RELEASE);
        if (pthread_create(&chn->stThreadId, nullptr, aenc_get_proc, reinterpret_cast<void *>((intptr_t)AeChn)) != 0) {
            __atomic_store_n(&chn->bThreadRun, DU_FALSE, __ATOMIC_RELEASE);
            return DU_ERR_AENC_NOTREADY; // the channel stays created
        }
    }
    return 0;
}

s32 DU_DUZ_AENC_DestroyChn(s32 AeChn)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
        return ret;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    {
        MpiMutexGuard lock(&chn->stMutex);
        if (!chn->bCreated)
            return 0;
        chn->bCreated = DU_FALSE;
        chn->pVqeHandle = nullptr;
        chn->bVqeEnable = DU_FALSE;
    }
    // The thread, started last, goes first. It may be waiting for the mutex
    // in a send; it finds the channel gone.
    if (__atomic_load_n(&chn->bThreadRun, __ATOMIC_ACQUIRE)) {
        __atomic_store_n(&chn->bThreadRun, DU_FALSE, __ATOMIC_RELEASE);
        pthread_join(chn->stThreadId, nullptr);
    }

    MpiMutexGuard lock(&chn->stMutex);
    MPI_ASSERT(DU_INVALID_HANDLE != chn->s32Handle);
    AencCreate teardown = {AeChn, chn, nullptr, chn->s32Handle, &s_stEncoderCtx.astEncoder[chn->s32Handle], 0,
                           __FUNCTION__};
    mpi_steps_undo(kCreateSteps, &teardown);
    chn->s32Handle = DU_INVALID_HANDLE;
    audio_dump_close(&chn->stDump);
    return teardown.ret;
}

s32 DU_DUZ_AENC_GetStream(s32 AeChn, AENC_STREAM_OUT_S *pstStream, s32 s32MilliSec)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
        return ret;
    if (!pstStream)
        return DU_ERR_AENC_NULL_PTR;
    if (s32MilliSec < -1) {
        MPI_TRACE("param s32MilliSec = %d error\n", s32MilliSec);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    pstStream->pStream = nullptr;
    AENC_GET_STREAM_REQ_S req;
    memset(&req, 0, sizeof req);
    req.s32MilliSec = s32MilliSec;
    if (s32 ret = aenc_ioctl(AeChn, AENC_GET_STREAM_CTRL, &req))
        return ret;

    AENC_CHN_S *chn = &g_stAenc[AeChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated || !chn->bStrmBufInit)
        return DU_ERR_AENC_UNEXIST;
    MPI_ASSERT(DU_NULL != chn->stReadBuf.pVirAddr);
    const AENC_STREAM_OUT_S &out = req.stStream;
    // The packet must lie in one slot of this channel's data area.
    u32 ofs = out.u32PhyAddr - chn->stReadBuf.u32PhyAddr;
    if (out.u32PhyAddr < chn->stReadBuf.u32PhyAddr || ofs >= chn->stReadBuf.u32Len ||
        ofs % chn->u32CbPackLen != sizeof(AENC_STREAM_HEADER_S) ||
        out.u32Len > chn->u32CbPackLen - sizeof(AENC_STREAM_HEADER_S))
        return DU_ERR_AENC_ILLEGAL_PARAM;
    pstStream->u32PhyAddr = out.u32PhyAddr;
    pstStream->u32Len = out.u32Len;
    pstStream->u64TimeStamp = out.u64TimeStamp;
    pstStream->u32Seq = out.u32Seq;
    pstStream->pStream = static_cast<u8 *>(chn->stReadBuf.pVirAddr) + ofs; // MPI_AENC_ReadBufPhy2Vir
    volatile u32 *head = aenc_cb_word(chn, VALG_CB_RDHEAD_OFS);
    u32 next = *head + chn->u32CbPackLen;
    *head = next >= chn->u32DataLen ? next - chn->u32DataLen : next;
    return 0;
}

s32 DU_DUZ_AENC_ReleaseStream(s32 AeChn, const AENC_STREAM_OUT_S *pstStream)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
        return ret;
    if (!pstStream || !pstStream->pStream)
        return DU_ERR_AENC_NULL_PTR;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated || !chn->bStrmBufInit)
        return DU_ERR_AENC_UNEXIST;
    volatile u32 *tail = aenc_cb_word(chn, VALG_CB_RDTAIL_OFS);
    // Only the oldest packet handed out may go back; none is out when the
    // tail has caught up with the head.
    if (pstStream->u32PhyAddr != chn->stReadBuf.u32PhyAddr + sizeof(AENC_STREAM_HEADER_S) + *tail ||
        *tail == *aenc_cb_word(chn, VALG_CB_RDHEAD_OFS)) {
        MPI_TRACE("please release stream in order.\n");
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    if (s32 ret = aenc_ioctl(AeChn, AENC_RELEASE_STREAM_CTRL, const_cast<AENC_STREAM_OUT_S *>(pstStream)))
        return ret;
    u32 next = *tail + chn->u32CbPackLen;
    *tail = next >= chn->u32DataLen ? next - chn->u32DataLen : next;
    return 0;
}

s32 DU_DUZ_AENC_GetFd(s32 AeChn)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
        return ret;
    return g_s32AencFd[AeChn];
}

s32 DU_DUZ_AENC_SaveFile(s32 AeChn, const AUDIO_SAVE_FILE_INFO_S *pstSaveFileInfo)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
        return ret;
    if (!pstSaveFileInfo)
        return DU_ERR_AENC_NULL_PTR;
    MpiMutexGuard lock(&g_stAenc[AeChn].stMutex);
    return aenc_ioctl(AeChn, AENC_SET_SAVEFILE_CTRL, const_cast<AUDIO_SAVE_FILE_INFO_S *>(pstSaveFileInfo));
}

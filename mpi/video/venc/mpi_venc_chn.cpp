// The encoder unit's channels: the common call pattern, creation with the
// stream ring mapped twice over, reception, stream retrieval and release with
// their address translation, and the thin channel requests.
#include "mpi/video/venc/venc_call.h"
#include "mpi/video/venc/venc_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/common/mpi_steps.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

namespace {

// Each channel has a descriptor of its own, opened under the channel's mutex.
const mpi_dev_node kVencNode = {"/dev/venc", O_RDWR, VENC_BIND_CHN_CTRL, 0, true};
// The unit's one descriptor that maps the channels' stream rings.
const mpi_dev_node kVencMemNode = {"/dev/venc", O_RDWR | O_SYNC, 0, 0};

} // namespace

s32 venc_chn_prepare(const char *func, VENC_CHN VeChn)
{
    if ((u32)VeChn >= VENC_MAX_CHN_NUM) {
        fprintf(stderr, "func:%s, chnid %d err,should in [0,VENC_MAX_CHN_NUM)\n", func, VeChn);
        return DU_ERR_VENC_INVALID_CHNID;
    }
    if (MPI_VENC_Init() != 0) {
        fprintf(stderr, "func:%s, sys not ready in line:%d\n", func, __LINE__);
        return DU_ERR_VENC_NOTREADY;
    }
    VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    mpi_dev_result r = mpi_dev_open_locked(&ctx.stMutex, &ctx.s32Fd, kVencNode, (u32)VeChn);
    if (r.ok())
        return 0;
    if (r.step == MPI_DEV_BIND_FAILED)
        return DU_ERR_VENC_NOTREADY;
    venc_node_message(kVencNode.path, r);
    fprintf(stderr, "func:%s, Chn %d open err\n", func, VeChn);
    return DU_ERR_VENC_NOTREADY;
}

void venc_node_message(const char *path, const mpi_dev_result &r)
{
    if (r.step == MPI_DEV_NO_NODE)
        fprintf(stderr, "Cannot identify '%s': %d, %s\n", path, r.err, strerror(r.err));
    else if (r.step == MPI_DEV_NOT_DEVICE)
        fprintf(stderr, "%s is no device\n", path);
}

bool venc_ptr_ok(const char *func, const void *p)
{
    if (p)
        return true;
    fprintf(stderr, "func:%s,NULL pointer detected\n", func);
    return false;
}

s32 venc_call(const char *func, VENC_CHN VeChn, unsigned long req, const void *rec, bool check_null)
{
    if (s32 ret = venc_chn_prepare(func, VeChn))
        return ret;
    if (check_null && !venc_ptr_ok(func, rec))
        return DU_ERR_VENC_NULL_PTR;
    return bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, req, const_cast<void *>(rec));
}

// ---- address translation ------------------------------------------------------------------

u8 *VencVirt2User(VENC_CHN VeChn, u32 u32KernAddr)
{
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    return static_cast<u8 *>(ctx.pStrmBufUserAddr) + (u32)(u32KernAddr - ctx.u32StrmBufKernAddr);
}

u32 VencVirt2Phy(VENC_CHN VeChn, u32 u32KernAddr)
{
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    return u32KernAddr - ctx.u32StrmBufKernAddr + ctx.u32StrmBufPhyAddr;
}

u32 VencUser2Virt(VENC_CHN VeChn, const u8 *pu8UserAddr)
{
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    return (u32)(pu8UserAddr - static_cast<const u8 *>(ctx.pStrmBufUserAddr)) + ctx.u32StrmBufKernAddr;
}

namespace {

// The kernel address the driver reported for a pack, kept in the pointer
// field until translation.
u32 pack_kern_addr(const VENC_PACK_REC_S &pack) { return (u32)(uintptr_t)pack.pu8Data; }

// A pack the driver reports must lie in the channel's mapping: it starts in
// the ring and may run on into the second mapping of the ring's pages.
bool pack_in_ring(const VENC_CHN_CTX_S &ctx, const VENC_PACK_REC_S &pack)
{
    u32 off = pack_kern_addr(pack) - ctx.u32StrmBufKernAddr;
    u32 page_off = ctx.u32StrmBufPhyAddr & (MPI_PAGE_SIZE - 1);
    return off < ctx.u32StrmBufSize && pack.u32Len <= ctx.u32StrmBufSize &&
           (u64)page_off + off + pack.u32Len <= 2ull * ctx.u32MapHalfLen;
}

void translate_to_user(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream, u32 *total)
{
    for (u32 k = 0; k < pstStream->u32PackNum; k++) {
        VENC_PACK_REC_S &pack = pstStream->pstPack[k];
        u32 kern = pack_kern_addr(pack);
        pack.u32Len -= VENC_STREAM_OFFSET;
        pack.u32PhyAddr = VencVirt2Phy(VeChn, kern) + VENC_STREAM_OFFSET;
        pack.pu8Data = VencVirt2User(VeChn, kern) + VENC_STREAM_OFFSET;
        if (total)
            *total += pack.u32Len;
    }
}

void translate_to_kernel(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream)
{
    for (u32 k = 0; k < pstStream->u32PackNum; k++) {
        VENC_PACK_REC_S &pack = pstStream->pstPack[k];
        pack.u32Len += VENC_STREAM_OFFSET;
        pack.pu8Data = reinterpret_cast<u8 *>((uintptr_t)(VencUser2Virt(VeChn, pack.pu8Data) - VENC_STREAM_OFFSET));
    }
}

} // namespace

// ---- channel lifecycle ----------------------------------------------------------------------

namespace {

// What a channel's creation works on.
struct VencCreate {
    VENC_CHN_CTX_S *ctx;
    const VENC_CHN_ATTR_REC_S *attr;
    VENC_CHN_ATTR_REC_S req;
};

s32 create_driver_chn(VencCreate *c) { return bd_ioctl(c->ctx->s32Fd, VENC_CREATE_CHN_CTRL, &c->req); }
s32 destroy_driver_chn(VencCreate *c) { return bd_ioctl(c->ctx->s32Fd, VENC_DESTROY_CHN_CTRL); }

// Where the driver put the ring; the channel's other fields start afresh.
s32 take_ring_info(VencCreate *c)
{
    VENC_CHN_CTX_S &ctx = *c->ctx;
    VENC_STRMBUF_INFO_REQ_S info;
    if (s32 ret = bd_ioctl(ctx.s32Fd, VENC_GET_STRMBUF_INFO_CTRL, &info))
        return ret;
    ctx.u32StrmBufPhyAddr = info.u32PhyAddr;
    ctx.u32StrmBufKernAddr = info.u32KernAddr;
    ctx.u32StrmBufSize = info.u32BufSize;
    ctx.u32BufTag = info.u32BufTag;
    ctx.enType = (s32)c->attr->enType;
    ctx.bByFrame = c->attr->stVideo.bByFrame; // word 5, whatever the payload
    ctx.pStrmBufUserAddr = nullptr;
    ctx.bSliceTrans = 0;
    ctx.pu8WorkBuf = ctx.pu8WorkBuf2 = nullptr;
    ctx.pfnAvcDecInit = nullptr;
    ctx.pfnAvcDecDeinit = nullptr;
    ctx.pfnAvcDecTransCodeSlice = nullptr;
    // Nothing to map: the driver's answer is unusable.
    return info.u32BufSize == 0 ? DU_ERR_VENC_NOMEM : 0;
}

s32 forget_ring_info(VencCreate *c)
{
    c->ctx->u32StrmBufPhyAddr = 0;
    c->ctx->u32StrmBufSize = 0;
    return 0;
}

// The ring is mapped twice in a row, so a pack that wraps round its end
// reads as one piece.
s32 map_ring(VencCreate *c)
{
    VENC_CHN_CTX_S &ctx = *c->ctx;
    MPI_SPAN_S span = mpi_span(ctx.u32StrmBufPhyAddr, ctx.u32StrmBufSize, MPI_PAGE_SIZE);
    ctx.u32MapHalfLen = span.u32Len;
    void *map = bd_mmap(nullptr, 2 * (size_t)span.u32Len, PROT_READ | PROT_WRITE, MAP_SHARED, s32VencMemFd,
                        span.u32Base);
    if (map == MAP_FAILED) {
        fprintf(stderr, "mmap err,page addr:%d u32PagePhy size:%d\n", (s32)span.u32Base, (s32)span.u32Len);
        return DU_ERR_VENC_NOMEM;
    }
    ctx.pMapBase = map;
    ctx.pStrmBufUserAddr = static_cast<u8 *>(map) + span.u32Offset;
    return 0;
}

s32 unmap_ring(VencCreate *c)
{
    VENC_CHN_CTX_S &ctx = *c->ctx;
    if (ctx.pMapBase)
        bd_munmap(ctx.pMapBase, 2 * (size_t)ctx.u32MapHalfLen);
    ctx.pMapBase = nullptr;
    ctx.pStrmBufUserAddr = nullptr;
    return 0;
}

// Run backwards, the table is the channel's destruction.
const mpi_step<VencCreate, s32> kCreateSteps[] = {
    {nullptr, create_driver_chn, destroy_driver_chn},
    {nullptr, take_ring_info, forget_ring_info},
    {nullptr, map_ring, unmap_ring},
};

} // namespace

s32 DU_DUZ_VENC_CreateChn(VENC_CHN VeChn, const VENC_CHN_ATTR_REC_S *pstAttr)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pstAttr))
        return DU_ERR_VENC_NULL_PTR;
    VencCreate create = {&g_stMpiVencChn[VeChn], pstAttr, {}};
    memcpy(&create.req, pstAttr, offsetof(VENC_CHN_ATTR_REC_S, stRcAttr));
    memcpy(&create.req.stRcAttr, &pstAttr->stRcAttr, sizeof create.req.stRcAttr);

    if (!mpi_dev_open(&s32VencMemFd, kVencMemNode).ok()) {
        fprintf(stderr, "func:%s line:%d,DU_DUZ_VENC_Open: open mem device failed\n", __FUNCTION__, __LINE__);
        return DU_ERR_VENC_NOTREADY;
    }
    return mpi_steps_run(kCreateSteps, &create);
}

s32 DU_DUZ_VENC_DestroyChn(VENC_CHN VeChn)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    VencCreate teardown = {&g_stMpiVencChn[VeChn], nullptr, {}};
    s32 ret = mpi_steps_undo(kCreateSteps, &teardown);
    venc_slice_teardown(VeChn);
    return ret;
}

s32 DU_DUZ_VENC_SetChnAttr(VENC_CHN VeChn, const VENC_CHN_ATTR_REC_S *pstAttr)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pstAttr))
        return DU_ERR_VENC_NULL_PTR;
    s32 ret = bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, VENC_SET_CHN_ATTR_CTRL, const_cast<VENC_CHN_ATTR_REC_S *>(pstAttr));
    if (ret != 0) {
        fprintf(stderr, "func:%s, set chn attr err 0x%x in line:%d\n", __FUNCTION__, ret, __LINE__);
        return ret;
    }
    g_stMpiVencChn[VeChn].bSliceTrans = 0;
    return 0;
}

// ---- streams ----------------------------------------------------------------------------------

s32 DU_DUZ_VENC_GetStream(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream, s32 s32MilliSec)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!pstStream || !pstStream->pstPack) {
        fprintf(stderr, "func:%s,NULL pointer detected\n", __FUNCTION__);
        return DU_ERR_VENC_NULL_PTR;
    }
    if (s32MilliSec < -1) {
        fprintf(stderr, "The param:s32MilliSec %d should larger than %d in func:%s\n", s32MilliSec, -1,
                __FUNCTION__);
        return DU_ERR_VENC_ILLEGAL_PARAM;
    }
    VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    s32 ret = bd_ioctl(ctx.s32Fd, VENC_SET_GETSTREAM_TIMEOUT_CTRL, &s32MilliSec);
    if (ret != 0)
        return ret;
    u32 capacity = pstStream->u32PackNum;
    ret = bd_ioctl(ctx.s32Fd, VENC_GET_STREAM_CTRL, pstStream);
    if (ret != 0)
        return ret;

    // Every pack must lie in the mapped ring before any is translated; a
    // stream that does not goes back to the driver untouched.
    bool sound = pstStream->u32PackNum <= capacity;
    for (u32 k = 0; sound && k < pstStream->u32PackNum; k++) {
        VENC_PACK_REC_S *pstPack = &pstStream->pstPack[k];
        MPI_ASSERT(pstPack->u32Len >= VENC_STREAM_OFFSET);
        sound = pack_in_ring(ctx, *pstPack);
    }
    if (!sound) {
        fprintf(stderr, "func:%s, chn %d pack outside the stream buffer\n", __FUNCTION__, VeChn);
        if (pstStream->u32PackNum > capacity)
            pstStream->u32PackNum = capacity;
        bd_ioctl(ctx.s32Fd, VENC_RELEASE_STREAM_CTRL, pstStream);
        return mpi_status(DU_ID_VENC, ERR_BADADDR);
    }
    u32 total = 0;
    translate_to_user(VeChn, pstStream, &total);
    if (ctx.bSliceTrans == 1)
        venc_slice_retrieve(VeChn, pstStream, total);
    return 0;
}

s32 DU_DUZ_VENC_ReleaseStream(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!pstStream || !pstStream->pstPack) {
        fprintf(stderr, "func:%s,NULL pointer detected\n", __FUNCTION__);
        return DU_ERR_VENC_NULL_PTR;
    }
    translate_to_kernel(VeChn, pstStream);
    s32 ret = bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, VENC_RELEASE_STREAM_CTRL, pstStream);
    if (ret != 0)
        translate_to_user(VeChn, pstStream, nullptr); // the caller keeps the stream as it had it
    return ret;
}

// ---- thin channel requests ------------------------------------------------------------------

s32 DU_DUZ_VENC_ResetChn(VENC_CHN c) { return VENC_REQ(c, VENC_RESET_CHN_CTRL, nullptr, false); }
s32 DU_DUZ_VENC_StartRecvPic(VENC_CHN c) { return VENC_REQ(c, VENC_START_RECV_CTRL, nullptr, false); }
s32 DU_DUZ_VENC_StopRecvPic(VENC_CHN c) { return VENC_REQ(c, VENC_STOP_RECV_CTRL, nullptr, false); }
s32 DU_DUZ_VENC_Query(VENC_CHN c, VENC_CHN_STATE_S *p) { return VENC_REQ(c, VENC_QUERY_CTRL, p, true); }
s32 DU_DUZ_VENC_GetChnAttr(VENC_CHN c, VENC_CHN_ATTR_REC_S *p) { return VENC_REQ(c, VENC_GET_CHN_ATTR_CTRL, p, true); }
s32 DU_DUZ_VENC_SetRcParam(VENC_CHN c, const VENC_RC_PARAM_REC_S *p) { return VENC_REQ(c, VENC_SET_RC_PARAM_CTRL, p, true); }
s32 DU_DUZ_VENC_GetRcParam(VENC_CHN c, VENC_RC_PARAM_REC_S *p) { return VENC_REQ(c, VENC_GET_RC_PARAM_CTRL, p, true); }
s32 DU_DUZ_VENC_VpssQuery(VENC_CHN c, void *p) { return VENC_REQ(c, VENC_VPSS_QUERY_CTRL, p, true); }
s32 DU_DUZ_VENC_VpssSend(VENC_CHN c, const void *p) { return VENC_REQ(c, VENC_VPSS_SEND_CTRL, p, true); }
s32 DU_DUZ_VENC_SetMaxStreamCnt(VENC_CHN c, u32 v) { return VENC_REQ(c, VENC_SET_MAX_STREAM_CNT_CTRL, &v, false); }
s32 DU_DUZ_VENC_GetMaxStreamCnt(VENC_CHN c, u32 *p) { return VENC_REQ(c, VENC_GET_MAX_STREAM_CNT_CTRL, p, true); }
s32 DU_DUZ_VENC_RequestIDR(VENC_CHN c, u32 v) { return VENC_REQ(c, VENC_REQUEST_IDR_CTRL, &v, false); }
s32 DU_DUZ_VENC_SetChnlPriority(VENC_CHN c, u32 v) { return VENC_REQ(c, VENC_SET_CHN_PRIORITY_CTRL, &v, false); }
s32 DU_DUZ_VENC_GetChnlPriority(VENC_CHN c, u32 *p) { return VENC_REQ(c, VENC_GET_CHN_PRIORITY_CTRL, p, true); }

s32 DU_DUZ_VENC_InsertUserData(VENC_CHN VeChn, u8 *pu8Data, u32 u32Len)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pu8Data))
        return DU_ERR_VENC_NULL_PTR;
    if (u32Len == 0 || u32Len > 1024)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    VENC_USER_DATA_REQ_S req = {pu8Data, u32Len};
    return bd_ioctl(g_stMpiVencChn[VeChn].s32Fd, VENC_INSERT_USERDATA_CTRL, &req);
}

s32 DU_DUZ_VENC_SendFrame(VENC_CHN VeChn, const VIDEO_FRAME_REC_S *pstFrame, s32 s32MilliSec)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    if (!venc_ptr_ok(__FUNCTION__, pstFrame))
        return DU_ERR_VENC_NULL_PTR;
    if (s32MilliSec < -1) {
        fprintf(stderr, "The param:s32MilliSec %d should larger than %d in func:%s\n", s32MilliSec, -1,
                __FUNCTION__);
        return DU_ERR_VENC_ILLEGAL_PARAM;
    }
    s32 fd = g_stMpiVencChn[VeChn].s32Fd;
    if (s32 ret = bd_ioctl(fd, VENC_SET_SENDFRAME_TIMEOUT_CTRL, &s32MilliSec))
        return ret;
    return bd_ioctl(fd, VENC_SEND_FRAME_CTRL, const_cast<VIDEO_FRAME_REC_S *>(pstFrame));
}

s32 DU_DUZ_VENC_GetFd(VENC_CHN VeChn)
{
    if (s32 ret = venc_chn_prepare(__FUNCTION__, VeChn))
        return ret;
    return g_stMpiVencChn[VeChn].s32Fd;
}

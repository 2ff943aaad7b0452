// The encoder's producer side: the per-channel "aenc_get" thread that takes
// the frames of the bound input channel from the kernel, and the send path
// that checks a frame, gathers it to the channel's frame size when needed,
// encodes it and commits the packet into the stream buffer.
#include <cstring>
#include <sys/prctl.h>

#include "board/board.h"
#include "mpi/audio/aenc/aenc_chn.h"
#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/comm/audio_cirbuf.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

s32 aenc_ioctl(s32 AeChn, unsigned long request, void *arg) { return bd_ioctl(g_s32AencFd[AeChn], request, arg); }

// Counts a refused frame and tells the kernel.
s32 refuse(s32 AeChn, AENC_CHN_S *chn, s32 code)
{
    chn->stDbgInfo.u32RefuseFrm++;
    aenc_send_dbg(AeChn);
    return code;
}

// Free bytes in the stream buffer ahead of the write head, one slot kept
// back so that a full buffer never looks empty.
s64 strm_free(AENC_CHN_S *chn)
{
    s64 rd_tail = *aenc_cb_word(chn, VALG_CB_RDTAIL_OFS), wr_head = *aenc_cb_word(chn, VALG_CB_WRHEAD_OFS);
    if (rd_tail > wr_head)
        return rd_tail - wr_head - chn->u32CbPackLen;
    return rd_tail - chn->u32CbPackLen + chn->u32DataLen - wr_head;
}

// Puts the frame's tracks into the circle buffers and, once a whole channel
// frame is there on every track, points `frame` at it in the staging buffers.
// 0 with *ready set, 0 without (gathered only), or the refusal.
s32 gather(AENC_CHN_S *chn, AUDIO_FRAME_S *frame, bool *ready)
{
    *ready = false;
    u32 tracks = frame->enSoundmode == 1 ? 2 : 1;
    u32 chn_frame = chn->u32PtNumPerFrm * (frame->enBitwidth + 1);
    // Both copies below go into fixed buffers.
    if (frame->u32Len > AENC_CIRBUF_SIZE || chn_frame > AENC_STAGE_BUF_SIZE)
        return DU_ERR_AENC_ILLEGAL_PARAM;
    for (u32 t = 0; t < tracks; t++)
        if (!cirbuf_has_room(chn->astCirBuf[t], frame->u32Len))
            return DU_ERR_AENC_BUF_FULL;
    for (u32 t = 0; t < tracks; t++)
        if (!cirbuf_put(chn->astCirBuf[t], frame->pVirAddr[t], frame->u32Len))
            return DU_ERR_AENC_BUF_FULL;
    for (u32 t = 0; t < tracks; t++)
        if (!cirbuf_has_data(chn->astCirBuf[t], chn_frame))
            return 0;
    for (u32 t = 0; t < tracks; t++) {
        cirbuf_peek(chn->astCirBuf[t], chn->pu8StageBuf[t], chn_frame);
        frame->pVirAddr[t] = chn->pu8StageBuf[t];
    }
    frame->u32Len = chn->u32PtNumPerFrm << frame->enBitwidth;
    *ready = true;
    return 0;
}

// Writes the header in front of the packet and tells the kernel the new tail.
s32 commit(s32 AeChn, AENC_CHN_S *chn, u8 *slot, u32 len, u64 pts)
{
    MPI_ASSERT((len + sizeof(AENC_STREAM_HEADER_S)) <= chn->u32CbPackLen);
    AENC_STREAM_HEADER_S hdr = {pts, len, chn->u32Seq++};
    memcpy(slot, &hdr, sizeof hdr);

    volatile u32 *wr_head = aenc_cb_word(chn, VALG_CB_WRHEAD_OFS);
    u32 head = *wr_head + chn->u32CbPackLen;
    if (head >= chn->u32DataLen)
        head = 0;
    MPI_ASSERT(head != *aenc_cb_word(chn, VALG_CB_RDTAIL_OFS)); // VALG_CB_UpdateWrHead: never onto the read tail
    *wr_head = head;
    *aenc_cb_word(chn, VALG_CB_WRTAIL_OFS) = head;
    if (s32 ret = aenc_ioctl(AeChn, AENC_UPDATE_WRTAIL_CTRL, &head)) // MPI_AENC_UpDateStreamBufWrTail
        return ret;
    aenc_ioctl(AeChn, AENC_WRTAIL_DONE_CTRL, nullptr);
    chn->stDbgInfo.u32EncPkt++;
    aenc_send_dbg(AeChn);
    return 0;
}

} // namespace

s32 DU_DUZ_AENC_SendFrame(s32 AeChn, const AUDIO_FRAME_S *pstFrm, const AEC_REF_FRAME_S *pstAecFrm)
{
    if (s32 ret = aenc_chn_node(AeChn, __FUNCTION__))
        return ret;
    if (!pstFrm)
        return DU_ERR_AENC_NULL_PTR;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    if (!chn->bCreated)
        return DU_ERR_AENC_UNEXIST;
    if (pstFrm->u32Len == 0 || !pstFrm->pVirAddr[0]) {
        MPI_TRACE("the frame has no data\n");
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    AUDIO_FRAME_S frame = *pstFrm;
    chn->pVqeHandle = nullptr;
    chn->stDbgInfo.u32RecvFrm++;
    // The bound input channel's enhancement instance and the dump record
    // matter only to the enhancement step, which this firmware doesn't run:
    // the input unit switches neither enhancement nor resampling on. So the
    // bind registry and the dump record are not asked for every frame.

    u32 samples = frame.u32Len >> frame.enBitwidth;
    if (samples > chn->u32PtNumPerFrm && !chn->bResmpEnable) {
        MPI_TRACE("frame point num:%d error, it's bigger than aenc chn frame point num:%d\n", samples,
                  chn->u32PtNumPerFrm);
        return refuse(AeChn, chn, DU_ERR_AENC_NOT_PERM);
    }
    // 16-bit frames only, with every track they claim.
    if (frame.enBitwidth != 1 || frame.enSoundmode > 1 || (frame.enSoundmode == 1 && !frame.pVirAddr[1]))
        return refuse(AeChn, chn, DU_ERR_AENC_ILLEGAL_PARAM);
    MPI_ASSERT(DU_INVALID_HANDLE != chn->s32Handle);
    const AENC_CODEC_ENTRY_S *entry = &s_stEncoderCtx.astEncoder[chn->s32Handle];
    if (entry->enType == AENC_FREE_PAYLOAD) {
        MPI_TRACE("The encoder has been unregistered!\n");
        return DU_ERR_AENC_CODEC_ERR;
    }
    // An LPCM packet is the frame itself and must fit the encoder's output.
    if (entry->enType == PT_LPCM && frame.u32Len > AENC_LPCM_MAX_FRAME_LEN)
        return refuse(AeChn, chn, DU_ERR_AENC_ILLEGAL_PARAM);

    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated || !chn->bStrmBufInit)
        return DU_ERR_AENC_UNEXIST;
    if (!chn->bKernelEnc && strm_free(chn) < (s64)chn->u32CbPackLen) {
        chn->stDbgInfo.u32BufFull++;
        aenc_send_dbg(AeChn);
        return DU_ERR_AENC_BUF_FULL;
    }
    if (chn->bKernelEnc) {
        u32 points = frame.u32Len / (frame.enBitwidth + 1);
        if (points > MAX_VOICE_POINT_NUM) {
            MPI_TRACE("point num (%d) of this frame is larger than MAX_VOICE_POINT_NUM(%d) for voie encode\n", points,
                      MAX_VOICE_POINT_NUM);
            return DU_ERR_AENC_NOT_SUPPORT;
        }
        return aenc_ioctl(AeChn, AENC_SEND_FRAME_CTRL, &frame);
    }

    u8 *write_addr = static_cast<u8 *>(chn->stReadBuf.pVirAddr) + *aenc_cb_word(chn, VALG_CB_WRHEAD_OFS);
    MPI_ASSERT(chn->stReadBuf.pVirAddr);
    u8 *packet = write_addr + sizeof(AENC_STREAM_HEADER_S);
    u32 len = 0;
    s32 ret;
    if (samples == chn->u32PtNumPerFrm) {
        ret = entry->pfnEncodeFrm(chn->pEncoder, &frame, packet, &len);
    } else {
        bool ready;
        if (s32 r = gather(chn, &frame, &ready))
            return r;
        if (!ready)
            return 0;
        ret = entry->pfnEncodeFrm(chn->pEncoder, &frame, packet, &len);
        // The encoder keeps what it was given even without a packet, so the
        // gathered samples are taken either way and never offered twice.
        if (ret == 0 || ret == AENC_NO_PACKET)
            for (u32 t = 0; t < (frame.enSoundmode == 1 ? 2u : 1u); t++)
                cirbuf_take(chn->astCirBuf[t], frame.u32Len);
    }
    if (ret == AENC_NO_PACKET)
        return 0;
    if (ret != 0)
        return refuse(AeChn, chn, DU_ERR_AENC_CODEC_ERR);
    return commit(AeChn, chn, write_addr, len, frame.u64TimeStamp);
}

void *aenc_get_proc(void *arg)
{
    s32 AeChn = (s32)(intptr_t)arg;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    prctl(PR_SET_NAME, "aenc_get");
    while (__atomic_load_n(&chn->bThreadRun, __ATOMIC_ACQUIRE)) {
        AI_FRAME_REC_S rec;
        memset(&rec, 0, sizeof rec);
        if (aenc_ioctl(AeChn, AENC_GET_FRAME_CTRL, &rec) != 0) {
            audio_poll_sleep();
            continue;
        }
        bool mapped = true;
        u32 tracks = rec.stFrm.enSoundmode == 1 ? 2 : 1;
        for (u32 t = 0; t < tracks && mapped; t++) {
            mapped = DU_DUZ_VB_GetBlkVirAddr(rec.stFrm.u32PoolId[t], rec.stFrm.u32PhyAddr[t],
                                             &rec.stFrm.pVirAddr[t]) == 0;
            if (mapped && rec.stRefFrm.bValid == 1)
                mapped = DU_DUZ_VB_GetBlkVirAddr(rec.stRefFrm.stRefFrame.u32PoolId[t],
                                                 rec.stRefFrm.stRefFrame.u32PhyAddr[t],
                                                 &rec.stRefFrm.stRefFrame.pVirAddr[t]) == 0;
        }
        if (mapped)
            DU_DUZ_AENC_SendFrame(AeChn, &rec.stFrm, rec.stRefFrm.bValid == 1 ? &rec.stRefFrm : nullptr);
        s32 s32Ret = aenc_ioctl(AeChn, AENC_RELEASE_FRAME_CTRL, &rec);
        MPI_ASSERT(s32Ret == DU_SUCCESS);
        if (!mapped)
            audio_poll_sleep();
    }
    __atomic_store_n(&chn->bThreadRun, DU_FALSE, __ATOMIC_RELEASE);
    return nullptr;
}

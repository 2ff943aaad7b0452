// The encoder's producer side: the per-channel "aenc_get" thread that takes
// the frames of the bound input channel from the kernel, and the send path
// that checks a frame, gathers it to the channel's frame size when needed,
// encodes it and commits the packet into the stream buffer.
#include <cstring>
#include <sys/prctl.h>

#include "mpi/audio/aenc/aenc_chn.h"
#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/comm/audio_cirbuf.h"
#include "mpi/common/loss_run.h"
#include "mpi/common/mpi_thread.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

// In the input's enhancement step, staging buffer 0 holds the input as it
// entered in its first half and a widened 8-bit reference in its second.
constexpr u32 kStageHalf = AENC_STAGE_BUF_SIZE / 2;

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

// A block of the input channel's resampling pool, given back when the call ends.
struct ResmpBlock {
    u32 handle = VB_INVALID_HANDLE;
    ~ResmpBlock()
    {
        if (handle != VB_INVALID_HANDLE)
            DU_DUZ_VB_ReleaseBlock(handle);
    }
};

// The input channel bound to this one, when it runs an enhancement instance
// (its enhancement state copied into the channel).
bool bound_input(s32 AeChn, AENC_CHN_S *chn, MPP_CHN_ADDR_S *src)
{
    MPP_CHN_ADDR_S dst = {DU_ID_AENC, 0, AeChn};
    if (DU_DUZ_SYS_GetBindbyDest(&dst, src) != 0 || src->enModId != DU_ID_AI || src->s32Dev != 0 ||
        (u32)src->s32Chn >= AIO_MAX_CHN_NUM)
        return false;
    AI_BOUND_VQE_S vqe = ai_bound_vqe(src->s32Chn);
    if (!vqe.pVqeHandle)
        return false;
    chn->pVqeHandle = vqe.pVqeHandle;
    chn->bVqeEnable = vqe.bVqeEnable;
    chn->bResmpEnable = vqe.bResmpEnable;
    return true;
}

// The enhancement step's dump files (save-file record read for this frame).
s32 dump(s32 AeChn, AENC_CHN_S *chn, const MPP_CHN_ADDR_S &src, const void *in, u32 in_len,
         const AUDIO_FRAME_S &out, const void *ref)
{
    AUDIO_SAVE_FILE_INFO_S &info = chn->stSaveFileInfo;
    if (!info.bCfg) {
        audio_dump_close(&chn->stDump);
        return 0;
    }
    if (!chn->stDump.bFileOpen) {
        char sin[600], rin[600], sou[600];
        snprintf(sin, sizeof sin, "%s/Sin_Dev%d_Chn%d_%s.pcm", info.aFilePath, src.s32Dev, src.s32Chn, info.aFileName);
        snprintf(rin, sizeof rin, "%s/Rin_Dev%d_Chn%d_%s.pcm", info.aFilePath, src.s32Dev, src.s32Chn, info.aFileName);
        snprintf(sou, sizeof sou, "%s/Sou_Dev%d_Chn%d_%s.pcm", info.aFilePath, src.s32Dev, src.s32Chn, info.aFileName);
        const char *paths[AUDIO_DUMP_BUTT] = {sin, sou, rin};
        if (!audio_dump_open(&chn->stDump, paths)) {
            MPI_TRACE("File: InFilePath/OutFilePath/RefFilePath open failed!Please check your Filepath!\n");
            return 0;
        }
    }
    const u32 limit = info.u32FileSize * 1024;
    audio_dump_write(&chn->stDump, AUDIO_DUMP_SIN, in, in_len, limit);
    audio_dump_write(&chn->stDump, AUDIO_DUMP_SOU, out.pVirAddr[0], out.u32Len, limit);
    if (ref)
        audio_dump_write(&chn->stDump, AUDIO_DUMP_RIN, ref, in_len, limit);
    if (audio_dump_full(&chn->stDump, limit)) {
        info.bCfg = DU_FALSE;
        info.u32FileSize = 1;
        if (s32 ret = aenc_ioctl(AeChn, AENC_SET_SAVEFILE_CTRL, &info))
            return ret;
        audio_dump_close(&chn->stDump);
    }
    return 0;
}

// The input's step ended in this unit's code (after the messages the input
// leaves to it).
s32 step_code(s32 AeChn, AI_ENC_STEP_E step)
{
    switch (step) {
    case AI_ENC_STEP_SKIPPED:
    case AI_ENC_STEP_DONE:
        return 0;
    case AI_ENC_STEP_TOO_LONG:
        return DU_ERR_AENC_CODEC_ERR;
    case AI_ENC_STEP_WRITE_FAILED:
        return DU_ERR_AENC_VQE_ERR;
    case AI_ENC_STEP_READ_FAILED:
        MPI_TRACE("DU_UPVQE_ReadFrame failed, s32Ret:0x%x.!\n", DU_ERR_AENC_VQE_ERR);
        return DU_ERR_AENC_VQE_ERR;
    case AI_ENC_STEP_NO_BLOCK:
        MPI_TRACE("aenc%d get vb error\n", AeChn);
        return DU_ERR_AENC_NOMEM;
    }
    return DU_ERR_AENC_VQE_ERR;
}

// Runs the frame through the bound input channel's enhancement: 0 with
// `frame` processed, or left as it was when the step does not apply, else
// the code that ends the call.
s32 enhance(s32 AeChn, AENC_CHN_S *chn, const MPP_CHN_ADDR_S &src, AUDIO_FRAME_S *frame, const AEC_REF_FRAME_S *ref,
            ResmpBlock *block)
{
    AI_ENC_FRAME_S job = {};
    job.pstFrm = frame;
    job.pstRef = ref;
    job.pu8In = chn->pu8StageBuf[0];
    job.ps16WideRef = reinterpret_cast<s16 *>(chn->pu8StageBuf[0] + kStageHalf);
    // The processed frame goes into the channel's own memory: the driver's
    // block may be read by other bound channels too.
    job.pOut = chn->pu8StageBuf[1];
    job.u32Room = kStageHalf;
    job.u32MaxPoints = chn->u32PtNumPerFrm;
    AI_ENC_STEP_E step = ai_enhance_bound_frame(src.s32Chn, &job);
    block->handle = job.u32ResmpBlk;
    if (step != AI_ENC_STEP_DONE)
        return step_code(AeChn, step);
    return dump(AeChn, chn, src, job.pu8In, job.u32InLen, *frame, job.pDumpRef);
}

} // namespace

s32 DU_DUZ_AENC_SendFrame(s32 AeChn, const AUDIO_FRAME_S *pstFrm, const AEC_REF_FRAME_S *pstAecFrm)
{
    if (s32 ret = aenc_chn_enter(AeChn, __FUNCTION__))
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
    // What an input bound before left must not judge this frame.
    chn->pVqeHandle = nullptr;
    chn->bVqeEnable = chn->bResmpEnable = DU_FALSE;
    chn->stDbgInfo.u32RecvFrm++;
    MPP_CHN_ADDR_S src = {};
    const bool bound = bound_input(AeChn, chn, &src);

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
    if (s32 ret = aenc_ioctl(AeChn, AENC_GET_SAVEFILE_CTRL, &chn->stSaveFileInfo)) {
        MPI_TRACE("get aenc dumpfile cfg error!\n");
        return ret;
    }
    ResmpBlock block;
    if (bound && chn->pVqeHandle && (chn->bVqeEnable || chn->bResmpEnable)) {
        if (s32 ret = enhance(AeChn, chn, src, &frame, pstAecFrm, &block))
            return ret;
        samples = frame.u32Len >> frame.enBitwidth;
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

namespace {

constexpr s32 kNotMapped = -1;

// A bound frame that the channel does not take is lost to everyone after it.
void end_run(s32 AeChn, LossRun &run)
{
    const s32 code = run.reason();
    if (u32 n = run.end(); n > 1)
        MPI_TRACE("aenc chn %d lost %u bound frames in a row (%#x)\n", AeChn, n, (u32)code);
}

void note_sent(s32 AeChn, LossRun &run, s32 ret, u64 pts)
{
    if (ret == 0 || (run.active() && ret != run.reason()))
        end_run(AeChn, run);
    if (ret == 0 || !run.lose(ret))
        return;
    const char *why = ret == DU_ERR_AENC_BUF_FULL ? "stream buffer full: its packets are not taken"
                      : ret == kNotMapped         ? "its blocks cannot be mapped"
                                                  : "refused";
    MPI_TRACE("aenc chn %d loses the bound frame of %llu us (%s, %#x)\n", AeChn, (unsigned long long)pts, why,
              (u32)ret);
}

} // namespace

void *aenc_get_proc(void *arg)
{
    s32 AeChn = (s32)(intptr_t)arg;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    prctl(PR_SET_NAME, "aenc_get");
    mpi_raise_audio_thread("aenc_get");
    LossRun lost;
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
        s32 sent = mapped ? DU_DUZ_AENC_SendFrame(AeChn, &rec.stFrm, rec.stRefFrm.bValid == 1 ? &rec.stRefFrm : nullptr)
                          : kNotMapped;
        note_sent(AeChn, lost, sent, rec.stFrm.u64TimeStamp);
        s32 s32Ret = aenc_ioctl(AeChn, AENC_RELEASE_FRAME_CTRL, &rec);
        MPI_ASSERT(s32Ret == DU_SUCCESS);
        if (!mapped)
            audio_poll_sleep();
    }
    end_run(AeChn, lost);
    __atomic_store_n(&chn->bThreadRun, DU_FALSE, __ATOMIC_RELEASE);
    return nullptr;
}

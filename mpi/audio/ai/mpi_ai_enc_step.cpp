// The enhancement step of an encoder bound to an input channel: the
// encoder's frame runs through the channel's instance, under the lock of what
// the channel publishes for the encoder (g_astVqeState), so the instance
// cannot be replaced or destroyed under the step.
#include <cstring>

#include "mpi/audio/ai/ai_chn.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

// A reference belongs to the frame when it starts with it or at most this
// much later.
constexpr u64 kRefMaxLagUs = 119999;

// The echo reference of the frame as 16-bit samples, when it belongs to the
// frame; null otherwise.
const s16 *usable_ref(const AI_ENC_FRAME_S &job)
{
    const AEC_REF_FRAME_S *ref = job.pstRef;
    const u64 pts = job.pstFrm->u64TimeStamp;
    if (!ref || !ref->bValid || !ref->u32RefFlag || !ref->stRefFrame.pVirAddr[0] ||
        ref->stRefFrame.u64TimeStamp < pts || ref->stRefFrame.u64TimeStamp - pts > kRefMaxLagUs)
        return nullptr;
    const AUDIO_FRAME_S &r = ref->stRefFrame;
    if (r.enBitwidth == 1)
        return static_cast<const s16 *>(r.pVirAddr[0]);
    if (r.u32Len * 2 > job.u32Room)
        return nullptr;
    // Each byte becomes the high byte of a 16-bit sample.
    const u8 *narrow = static_cast<const u8 *>(r.pVirAddr[0]);
    for (u32 i = 0; i < r.u32Len; i++)
        job.ps16WideRef[i] = (s16)(narrow[i] << 8);
    return job.ps16WideRef;
}

// A block of the channel's resampling pool for a frame above the input's
// rate, taken into the job (the encoder gives it back) and named in the
// frame; null with its address in `*dst`, or why there is none.
const char *take_resmp_block(u32 pool, AI_ENC_FRAME_S *job, void **dst)
{
    if (pool == VB_INVALID_POOLID)
        return "cannot fine vb for resample!\n";
    if ((job->u32ResmpBlk = DU_DUZ_VB_GetBlock(pool, AI_RESMP_POOL_BLK_SIZE, nullptr)) == VB_INVALID_HANDLE)
        return "get a resmp vb failed!\n";
    u32 phys = DU_DUZ_VB_Handle2PhysAddr(job->u32ResmpBlk);
    const char *why = nullptr;
    if (phys == 0)
        why = "get resmp vb physical addr failed!\n";
    else if (DU_DUZ_VB_GetBlkVirAddr(pool, phys, dst) != 0)
        why = "get resmp vb virtual addr failed!\n";
    job->pstFrm->u32PhyAddr[0] = phys;
    job->pstFrm->u32PoolId[0] = pool;
    return why;
}

} // namespace

AI_BOUND_VQE_S ai_bound_vqe(s32 AiChn)
{
    if ((u32)AiChn >= AIO_MAX_CHN_NUM)
        return {nullptr, DU_FALSE, DU_FALSE, VB_INVALID_POOLID};
    AI_VQE_STATE_S *st = &g_astVqeState[AiChn];
    MpiMutexGuard lock(&st->stMutex);
    return {st->pVqeHandle, st->bVqeEnable, st->bResmpEnable, st->u32ResmpPoolId};
}

AI_ENC_STEP_E ai_enhance_bound_frame(s32 AiChn, AI_ENC_FRAME_S *job)
{
    job->u32ResmpBlk = VB_INVALID_HANDLE;
    if ((u32)AiChn >= AIO_MAX_CHN_NUM)
        return AI_ENC_STEP_SKIPPED;
    AI_VQE_STATE_S *st = &g_astVqeState[AiChn];
    MpiMutexGuard lock(&st->stMutex);
    UPVQE_INSTANCE_S *inst = st->pVqeHandle;
    AUDIO_FRAME_S *frame = job->pstFrm;
    if (!inst || (!st->bVqeEnable && !st->bResmpEnable) || frame->enSoundmode == 1)
        return AI_ENC_STEP_SKIPPED;
    UPVQE_CFG_S cfg;
    if (DU_UPVQE_GetConfig(inst, &cfg) != 0) {
        MPI_TRACE("Get vqe config error!\n");
        return AI_ENC_STEP_SKIPPED;
    }
    const s16 *ref_samples = nullptr;
    if (cfg.bAecOn && !(ref_samples = usable_ref(*job)))
        return AI_ENC_STEP_SKIPPED;
    const u32 in_len = frame->u32Len;
    if (in_len > job->u32Room)
        return AI_ENC_STEP_SKIPPED; // more than the chain is ever fed at once
    memcpy(job->pu8In, frame->pVirAddr[0], in_len);
    const s32 in_points = (s32)(in_len >> frame->enBitwidth);
    const bool same_rate = cfg.s32InSampleRate == cfg.s32OutSampleRate;
    const s32 out_points =
        same_rate ? in_points
                  : (s32)(((s64)cfg.s32OutSampleRate * in_points + cfg.s32InSampleRate - 1) / cfg.s32InSampleRate);
    if (out_points > (s32)job->u32MaxPoints) {
        MPI_TRACE("SamplePoint(%d) is larger than aenc u32PtNumPerFrm(%d)!\n", out_points, job->u32MaxPoints);
        return AI_ENC_STEP_TOO_LONG;
    }
    s32 ret = DU_UPVQE_WriteFrame(inst, reinterpret_cast<s16 *>(job->pu8In), const_cast<s16 *>(ref_samples),
                                  in_points);
    if (ret != 0) {
        MPI_TRACE("DU_UPVQE_WriteFrame failed, s32Ret:0x%x.!\n", ret);
        return same_rate ? AI_ENC_STEP_SKIPPED : AI_ENC_STEP_WRITE_FAILED;
    }
    void *dst = job->pOut;
    if (cfg.s32OutSampleRate > cfg.s32InSampleRate) {
        if (const char *why = take_resmp_block(st->u32ResmpPoolId, job, &dst)) {
            MPI_TRACE("%s", why);
            return AI_ENC_STEP_NO_BLOCK;
        }
    }
    s32 got = DU_UPVQE_ReadFrame(inst, static_cast<s16 *>(dst), out_points, 1);
    if (got == -1)
        return AI_ENC_STEP_READ_FAILED;
    frame->pVirAddr[0] = dst;
    frame->u32Len = (u32)got << frame->enBitwidth;
    job->u32InLen = in_len;
    const AEC_REF_FRAME_S *ref = job->pstRef;
    job->pDumpRef = ref && ref->bValid ? (ref_samples ? (const void *)ref_samples : ref->stRefFrame.pVirAddr[0])
                                       : nullptr;
    return AI_ENC_STEP_DONE;
}

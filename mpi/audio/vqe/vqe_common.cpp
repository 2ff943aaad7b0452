// Frame caches, module slots and the read path of the enhancement chains.
#include "mpi/audio/vqe/vqe_common.h"

#include <cstdlib>
#include <cstring>

// ---- frame caches -------------------------------------------------------------------------------

s32 vqe_cache_create(VQE_FRAME_CACHE_S *cache, s32 nodes, s32 frame)
{
    memset(cache, 0, sizeof *cache);
    if (nodes < 1 || frame < 1)
        return -1;
    cache->pstNodes = static_cast<VQE_FRAME_NODE_S *>(calloc(nodes, sizeof(VQE_FRAME_NODE_S)));
    cache->ps16Pool = static_cast<s16 *>(calloc((size_t)(nodes + 1) * frame, sizeof(s16)));
    if (!cache->pstNodes || !cache->ps16Pool) {
        vqe_cache_destroy(cache);
        return -1;
    }
    for (s32 i = 0; i < nodes; i++) {
        cache->pstNodes[i].ps16Data = cache->ps16Pool + (size_t)i * frame;
        cache->pstNodes[i].pstNext = &cache->pstNodes[(i + 1) % nodes];
    }
    cache->ps16Partial = cache->ps16Pool + (size_t)nodes * frame;
    cache->s32NodeNum = nodes;
    cache->s32Frame = frame;
    cache->s32FreeNodes = nodes;
    cache->pstWrite = cache->pstRead = &cache->pstNodes[0];
    return 0;
}

void vqe_cache_destroy(VQE_FRAME_CACHE_S *cache)
{
    free(cache->pstNodes);
    free(cache->ps16Pool);
    memset(cache, 0, sizeof *cache);
}

s32 vqe_cache_room(const VQE_FRAME_CACHE_S *cache)
{
    return cache->s32FreeNodes * cache->s32Frame + (cache->s32Frame - 1 - cache->s32PartialCount);
}

void vqe_cache_push(VQE_FRAME_CACHE_S *cache)
{
    cache->pstWrite = cache->pstWrite->pstNext;
    cache->s32FreeNodes--;
}

void vqe_cache_pop(VQE_FRAME_CACHE_S *cache)
{
    cache->pstRead = cache->pstRead->pstNext;
    cache->s32FreeNodes++;
}

void vqe_cache_write(VQE_FRAME_CACHE_S *cache, const s16 *src, s32 samples)
{
    const s32 frame = cache->s32Frame;
    if (cache->s32PartialCount + samples >= frame) {
        s32 fill = frame - cache->s32PartialCount;
        s16 *node = vqe_cache_write_node(cache);
        memcpy(node, cache->ps16Partial, cache->s32PartialCount * sizeof(s16));
        memcpy(node + cache->s32PartialCount, src, fill * sizeof(s16));
        vqe_cache_push(cache);
        cache->s32PartialCount = 0;
        src += fill;
        samples -= fill;
        for (; samples >= frame; samples -= frame, src += frame) {
            memcpy(vqe_cache_write_node(cache), src, frame * sizeof(s16));
            vqe_cache_push(cache);
        }
    }
    memcpy(cache->ps16Partial + cache->s32PartialCount, src, samples * sizeof(s16));
    cache->s32PartialCount += samples;
}

s32 vqe_cache_available(const VQE_FRAME_CACHE_S *cache)
{
    return cache->s32PartialCount + cache->s32Frame * (cache->s32NodeNum - cache->s32FreeNodes);
}

namespace {

// Takes `samples` (at most what is available) off the output side: the
// partial tail first, then whole nodes; a node read in part leaves its tail
// in the partial buffer and counts as freed.
void vqe_cache_read(VQE_FRAME_CACHE_S *cache, s16 *dst, s32 samples)
{
    const s32 frame = cache->s32Frame;
    s32 from_partial = samples < cache->s32PartialCount ? samples : cache->s32PartialCount;
    memcpy(dst, cache->ps16Partial, from_partial * sizeof(s16));
    cache->s32PartialCount -= from_partial;
    memmove(cache->ps16Partial, cache->ps16Partial + from_partial, cache->s32PartialCount * sizeof(s16));
    dst += from_partial;
    samples -= from_partial;
    for (; samples >= frame; samples -= frame, dst += frame) {
        memcpy(dst, vqe_cache_read_node(cache), frame * sizeof(s16));
        vqe_cache_pop(cache);
    }
    if (samples > 0) {
        const s16 *node = vqe_cache_read_node(cache);
        memcpy(dst, node, samples * sizeof(s16));
        memcpy(cache->ps16Partial, node + samples, (frame - samples) * sizeof(s16));
        cache->s32PartialCount = frame - samples;
        vqe_cache_pop(cache);
    }
}

} // namespace

// ---- module slots ---------------------------------------------------------------------------------

s32 vqe_slot_load(VQE_MODULE_SLOT_S *slot, const char *module, s32 param_a, s32 param_b, u32 work_mode,
                  const void *cfg)
{
    memset(slot, 0, sizeof *slot);
    if (MODULE_DU_Audio_ModuleHandleInit(&slot->stHandle, AUDIO_MODULE_FAMILY, module) != 0)
        return -1;
    slot->stParam = {param_a, param_b, work_mode, cfg};
    return 0;
}

void vqe_slot_release(VQE_MODULE_SLOT_S *slot)
{
    if (slot->hModule)
        slot->stHandle.pfnDestroy(slot->hModule);
    MODULE_DU_Audio_ModuleHandleDeInit(&slot->stHandle);
    memset(slot, 0, sizeof *slot);
}

s32 vqe_stage_load(VQE_STAGES_S *stages, const char *module, s32 param_a, s32 param_b, u32 work_mode,
                   const void *cfg)
{
    if (stages->s32SlotNum >= VQE_MAX_SLOTS ||
        vqe_slot_load(&stages->astSlot[stages->s32SlotNum], module, param_a, param_b, work_mode, cfg) != 0)
        return -1;
    stages->s32SlotNum++;
    return 0;
}

s32 vqe_stages_create(VQE_STAGES_S *stages, s32 rate, s32 *failed)
{
    for (s32 i = 0; i < stages->s32SlotNum; i++) {
        VQE_MODULE_SLOT_S *slot = &stages->astSlot[i];
        s32 ret = slot->stHandle.pfnCreate(&slot->hModule, rate, &slot->stParam);
        if (ret != 0) {
            slot->hModule = nullptr; // a failed create owns nothing
            *failed = i;
            return ret;
        }
    }
    return 0;
}

void vqe_stages_release(VQE_STAGES_S *stages)
{
    for (s32 i = 0; i < stages->s32SlotNum; i++)
        vqe_slot_release(&stages->astSlot[i]);
    stages->s32SlotNum = 0;
}

s32 vqe_stages_build(VQE_STAGES_S *stages, const VQE_STAGE_DESC_S *descs, s32 count, s32 rate, bool *load_failed)
{
    *load_failed = false;
    for (s32 i = 0; i < count; i++) {
        const VQE_STAGE_DESC_S *d = &descs[i];
        if (d->bOn && vqe_stage_load(stages, d->pszModule, d->s32ParamA, d->s32ParamB, d->u32WorkMode, d->pCfg) != 0) {
            vqe_stages_release(stages);
            *load_failed = true;
            return -1;
        }
    }
    s32 failed = 0;
    s32 ret = vqe_stages_create(stages, rate, &failed);
    if (ret != 0) {
        fprintf(stderr, "%s_Init Fail!\n", stages->astSlot[failed].stHandle.szName);
        vqe_stages_release(stages);
    }
    return ret;
}

bool vqe_frame_sample_ok(const char *chain, s32 frame)
{
    if (frame >= 80 && frame <= 4096)
        return true;
    fprintf(stderr, "%s invalid s32FrameSample(%d)\n", chain, frame);
    return false;
}

s32 vqe_stages_run(VQE_STAGES_S *stages, s32 frame, const s16 *in, const s16 *ref, s32 *volume, s16 *out,
                   s32 samples)
{
    const s32 count = stages->s32SlotNum;
    if (count == 0) {
        memmove(out, in, samples * sizeof(s16));
        return 0;
    }
    s16 *const buf[2] = {stages->as16BufA, stages->as16BufB};
    for (s32 at = 0; at < samples; at += frame) {
        for (s32 i = 0; i < count; i++) {
            AUDIO_MODULE_BUF_S stIn = {}, stOut = {};
            stIn.pData = i == 0 ? const_cast<s16 *>(in + at) : buf[(i - 1) % 2];
            stIn.pRefData = ref ? const_cast<s16 *>(ref + at) : nullptr;
            stIn.pVolume = volume;
            stIn.u32Bytes = (u32)frame * sizeof(s16);
            stOut.pData = i == count - 1 ? out + at : buf[i % 2];
            stOut.pRefData = stIn.pRefData;
            stOut.pVolume = volume;
            const VQE_MODULE_SLOT_S *slot = &stages->astSlot[i];
            if (slot->stHandle.pfnProcess(slot->hModule, &stIn, &stOut) != 0)
                return -1;
        }
    }
    return 0;
}

// ---- moving samples through a chain ------------------------------------------------------------

namespace {

bool rate_convertible(s32 rate) { return rate >= RES_MIN_RATE && rate <= RES_MAX_RATE; }

bool pair_ok(s32 from, s32 to) { return from == to || (rate_convertible(from) && rate_convertible(to)); }

} // namespace

bool vqe_rates_ok(s32 in_rate, s32 work_rate, s32 out_rate)
{
    return pair_ok(in_rate, work_rate) && pair_ok(work_rate, out_rate);
}

s32 vqe_write_max(RES_RESAMPLER_S *res, s32 samples) { return res ? res_stream_out_max(res, samples) : samples; }

s32 vqe_write_side(RES_RESAMPLER_S *res, s16 *proc_buf, VQE_FRAME_CACHE_S *cache, s16 *samples, s32 count)
{
    if (res) {
        s32 out = 0;
        if (s32 ret = RES_ReSampler_ProcessFrame(res, samples, proc_buf, count, &out, RES_MODE_STREAM))
            return ret;
        samples = proc_buf;
        count = out;
    }
    vqe_cache_write(cache, samples, count);
    return 0;
}

s32 vqe_pump(const VQE_PUMP_S *pump)
{
    s32 ret = 0;
    while (vqe_cache_has_free(pump->pstSout) && !vqe_cache_empty(pump->pstSin) &&
           (!pump->pstRin || !vqe_cache_empty(pump->pstRin))) {
        s16 *target = pump->pfnSinkTarget ? pump->pfnSinkTarget(pump->pSinkCtx) : vqe_cache_write_node(pump->pstSout);
        if (!target)
            break;
        const s16 *ref = pump->pstRin ? vqe_cache_read_node(pump->pstRin) : nullptr;
        if (vqe_stages_run(pump->pstStages, pump->s32Frame, vqe_cache_read_node(pump->pstSin), ref, pump->ps32Volume,
                           target, pump->s32Frame) != 0) {
            fprintf(stderr, "%s", pump->pszFailMsg);
            ret = pump->s32ErrProcess;
            break;
        }
        if (pump->pfnSinkCommit) {
            if (!pump->pfnSinkCommit(pump->pSinkCtx)) {
                ret = pump->s32ErrProcess;
                break;
            }
        } else {
            vqe_cache_push(pump->pstSout);
        }
        vqe_cache_pop(pump->pstSin);
        if (pump->pstRin)
            vqe_cache_pop(pump->pstRin);
    }
    return vqe_cache_has_free(pump->pstSout) ? ret : pump->s32ErrFull;
}

// ---- reading processed samples -------------------------------------------------------------------

s32 vqe_read(const VQE_READ_S *read, s16 *dst, s32 samples, s32 lenient)
{
    VQE_FRAME_CACHE_S *cache = read->pstCache;
    s32 needed = samples;
    if (read->pOutRes) {
        needed = RES_ReSampler_GetInputNum(read->pOutRes, samples, RES_MODE_EXACT_OUT);
        if (needed > VQE_PROC_BUF_LEN)
            needed = VQE_PROC_BUF_LEN;
    }
    s16 *target = read->pOutRes ? read->ps16ProcBuf : dst;
    s32 available = vqe_cache_available(cache);
    if (available >= needed) {
        vqe_cache_read(cache, target, needed);
        s32 ret = 0;
        if (read->pOutRes) {
            s32 out = samples;
            ret = RES_ReSampler_ProcessFrame(read->pOutRes, target, dst, needed, &out, RES_MODE_EXACT_OUT);
        }
        if (!lenient)
            return ret;
        return ret == 0 ? samples : -1;
    }
    if (!lenient)
        return read->s32ErrShort;
    vqe_cache_read(cache, target, available);
    if (!read->pOutRes)
        return available;
    s32 out = samples;
    if (RES_ReSampler_ProcessFrame(read->pOutRes, target, dst, available, &out, RES_MODE_UPTO_OUT) != 0)
        return -1;
    return out;
}

void vqe_version(char *text)
{
    snprintf(text, VQE_VERSION_LEN, "V3.0.6.4 Build Time: %s, %s", __DATE__, __TIME__);
}

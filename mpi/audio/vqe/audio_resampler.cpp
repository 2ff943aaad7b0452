// Resampler over the "RES" module.
#include "mpi/audio/vqe/audio_resampler.h"

#include "mpi/common/mpi_steps.h"

#include <cstdlib>
#include <cstring>

namespace {

bool res_rate_ok(s32 rate) { return rate >= RES_MIN_RATE && rate <= RES_MAX_RATE; }

// Most samples `in` input samples make at the output rate, rounding up, plus
// one for the phase the module carries between calls.
s32 res_out_bound(s32 in_rate, s32 out_rate, s32 in)
{
    return (s32)(((s64)in * out_rate + in_rate - 1) / in_rate) + 1;
}

// Calls the module; its output count, or -1 when it fails.
s32 res_module_run(RES_RESAMPLER_S *pRes, void *hModule, s16 *in, s32 in_samples, s16 *out)
{
    AUDIO_MODULE_BUF_S stIn = {}, stOut = {};
    stIn.pData = in;
    stIn.u32Bytes = (u32)in_samples * sizeof(s16);
    stOut.pData = out;
    s32 produced = pRes->stModule.pfnProcess(hModule, &stIn, &stOut);
    return produced < 0 ? -1 : produced;
}

// Discipline 0: every call hands the module whole ratio groups; the few
// samples beyond the last group wait in the carry cache.
s32 res_process_stream(RES_RESAMPLER_S *pRes, s16 *ps16In, s16 *ps16Out, s32 s32InSamples, s32 *ps32OutSamples)
{
    s16 *in = ps16In;
    s32 count = s32InSamples;
    s32 ratio = pRes->s32Ratio;
    if (ratio != 0 && (s32InSamples % ratio != 0 || pRes->s32Cached != 0)) {
        s32 total = pRes->s32Cached + s32InSamples;
        if (total > RES_WORK_LEN) {
            fprintf(stderr, "ReSampler: %d samples exceed the regrouping room of %d\n", total, RES_WORK_LEN);
            return -1;
        }
        s32 whole = total - total % ratio;
        memcpy(pRes->as16Work, pRes->ps16Cache, pRes->s32Cached * sizeof(s16));
        s32 taken = whole - pRes->s32Cached; // may be negative: everything is carried
        if (taken > 0)
            memcpy(pRes->as16Work + pRes->s32Cached, ps16In, taken * sizeof(s16));
        else
            taken = 0;
        s32 rest = s32InSamples - taken;
        if (whole == 0) {
            memcpy(pRes->ps16Cache + pRes->s32Cached, ps16In, s32InSamples * sizeof(s16));
            pRes->s32Cached = total;
        } else {
            memcpy(pRes->ps16Cache, ps16In + taken, rest * sizeof(s16));
            pRes->s32Cached = rest;
        }
        in = pRes->as16Work;
        count = whole;
    }
    if (count == 0) {
        *ps32OutSamples = 0;
        return 0;
    }
    s32 produced = res_module_run(pRes, pRes->hStream, in, count, ps16Out);
    if (produced < 0)
        return DU_ERR_RES_MODULE;
    *ps32OutSamples = produced;
    return 0;
}

// Disciplines 1 and 2: carried samples first, then the module's output; what
// the module makes beyond the request is carried to the next call.
s32 res_process_exact(RES_RESAMPLER_S *pRes, s16 *ps16In, s16 *ps16Out, s32 s32InSamples, s32 *ps32OutSamples,
                      s32 s32Discipline)
{
    s32 need = *ps32OutSamples;
    if (need < 0 || s32InSamples > RES_WORK_LEN)
        return -1;
    // Carried samples beyond the request stay carried, in order.
    s32 from_cache = pRes->s32Cached < need ? pRes->s32Cached : need;
    memcpy(ps16Out, pRes->ps16Cache, from_cache * sizeof(s16));
    pRes->s32Cached -= from_cache;
    memmove(pRes->ps16Cache, pRes->ps16Cache + from_cache, pRes->s32Cached * sizeof(s16));
    s32 still = need - from_cache;

    s32 produced = 0;
    if (s32InSamples > 0) {
        produced = res_module_run(pRes, pRes->hExact, ps16In, s32InSamples, pRes->ps16ExactOut);
        if (produced < 0 || produced > pRes->s32ExactCap)
            return DU_ERR_RES_MODULE;
    }
    if (produced < still) {
        if (s32Discipline == RES_MODE_EXACT_OUT) {
            fprintf(stderr, "%d: Err: ReSampler_ProcessFrame Err, s32Ret is %d, s32ReadSample is %d\n", __LINE__,
                    produced, still);
            return DU_ERR_RES_MODULE;
        }
        memcpy(ps16Out + from_cache, pRes->ps16ExactOut, produced * sizeof(s16));
        *ps32OutSamples = need - (still - produced);
        return 0;
    }
    memcpy(ps16Out + from_cache, pRes->ps16ExactOut, still * sizeof(s16));
    s32 surplus = produced - still;
    if (pRes->s32Cached + surplus > pRes->s32CacheCap) {
        fprintf(stderr, "ReSampler: surplus of %d samples exceeds the carry room of %d\n", surplus,
                pRes->s32CacheCap - pRes->s32Cached);
        return DU_ERR_RES_MODULE;
    }
    memcpy(pRes->ps16Cache + pRes->s32Cached, pRes->ps16ExactOut + still, surplus * sizeof(s16));
    pRes->s32Cached += surplus;
    return 0;
}

} // namespace

namespace {

// What a resampler's creation works on; its destruction runs the steps'
// undo with the instance alone.
struct ResCreate {
    RES_RESAMPLER_S *res;
    s32 in_rate, out_rate, discipline;
};

s32 alloc_record(ResCreate *c)
{
    c->res = static_cast<RES_RESAMPLER_S *>(calloc(1, sizeof(RES_RESAMPLER_S)));
    if (!c->res) {
        fprintf(stderr, "Malloc ReSampler Fail!\n");
        return DU_ERR_RES_NOMEM;
    }
    return 0;
}
void free_record(ResCreate *c) { free(c->res); }

s32 load_module(ResCreate *c)
{
    if (s32 ret = MODULE_DU_Audio_ModuleHandleInit(&c->res->stModule, AUDIO_MODULE_FAMILY, "RES")) {
        fprintf(stderr, "Resample Module Init Fail!\n");
        return ret;
    }
    c->res->s32Ratio = c->in_rate % c->out_rate == 0 ? c->in_rate / c->out_rate : 0;
    return 0;
}
void unload_module(ResCreate *c) { MODULE_DU_Audio_ModuleHandleDeInit(&c->res->stModule); }

// The module instance of the discipline: one for discipline 0, another for
// disciplines 1 and 2 (which only processing tells apart).
s32 open_instance(ResCreate *c)
{
    RES_RESAMPLER_S *r = c->res;
    void **handle = c->discipline == RES_MODE_STREAM ? &r->hStream
                    : c->discipline == RES_MODE_EXACT_OUT ? &r->hExact
                                                          : nullptr;
    if (!handle) {
        fprintf(stderr, "Resample can't use param %d!\n", c->discipline);
        return DU_ERR_RES_ILLEGAL_MODE;
    }
    RES_MODULE_PARAM_S param = {c->out_rate, 0, 1};
    r->stModule.pfnCreate(handle, c->in_rate, &param);
    if (!*handle) {
        fprintf(stderr, "%d: Resampler_Init Fail.\n", __LINE__);
        return DU_ERR_RES_MODULE;
    }
    return 0;
}
void close_instance(ResCreate *c)
{
    RES_RESAMPLER_S *r = c->res;
    if (r->hStream)
        r->stModule.pfnDestroy(r->hStream);
    if (r->hExact)
        r->stModule.pfnDestroy(r->hExact);
}

void free_buffers(ResCreate *c)
{
    free(c->res->ps16Cache);
    free(c->res->ps16ExactOut);
    c->res->ps16Cache = c->res->ps16ExactOut = nullptr;
}

// Discipline 0 carries what is short of a ratio group; disciplines 1 and 2
// carry up to 10 ms of output and take the module's whole output first.
s32 alloc_buffers(ResCreate *c)
{
    RES_RESAMPLER_S *r = c->res;
    if (c->discipline == RES_MODE_STREAM) {
        if (r->s32Ratio == 0)
            return 0;
        r->s32CacheCap = r->s32Ratio - 1;
        r->ps16Cache = static_cast<s16 *>(malloc(r->s32Ratio * sizeof(s16)));
        if (!r->ps16Cache) {
            fprintf(stderr, "Malloc pS16ReadCacheBuf Fail!\n");
            return DU_ERR_RES_NOMEM;
        }
        return 0;
    }
    r->s32CacheCap = c->out_rate / 100;
    r->s32ExactCap = res_out_bound(c->in_rate, c->out_rate, RES_WORK_LEN);
    r->ps16Cache = static_cast<s16 *>(malloc(r->s32CacheCap * sizeof(s16)));
    r->ps16ExactOut = static_cast<s16 *>(malloc(r->s32ExactCap * sizeof(s16)));
    if (!r->ps16Cache || !r->ps16ExactOut) {
        fprintf(stderr, "Malloc DQVE ReSamplerBuf Fail!\n");
        free_buffers(c);
        return DU_ERR_RES_NOMEM;
    }
    return 0;
}

const mpi_step<ResCreate> kCreateSteps[] = {
    {nullptr, alloc_record, free_record},
    {nullptr, load_module, unload_module},
    {nullptr, open_instance, close_instance},
    {nullptr, alloc_buffers, free_buffers},
};

} // namespace

s32 RES_ReSampler_Create(RES_RESAMPLER_S **ppRes, s32 s32InRate, s32 s32OutRate, s32 s32Discipline)
{
    if (!ppRes)
        return -1;
    if (s32InRate == s32OutRate || !res_rate_ok(s32InRate) || !res_rate_ok(s32OutRate)) {
        *ppRes = nullptr;
        return 0;
    }
    ResCreate create = {nullptr, s32InRate, s32OutRate, s32Discipline};
    if (s32 ret = mpi_steps_run(kCreateSteps, &create))
        return ret;
    RES_RESAMPLER_S *pRes = create.res;
    pRes->s32InRate = s32InRate;
    pRes->s32OutRate = s32OutRate;
    pRes->s32Cached = 0;
    *ppRes = pRes;
    return 0;
}

s32 RES_ReSampler_ProcessFrame(RES_RESAMPLER_S *pRes, s16 *ps16In, s16 *ps16Out, s32 s32InSamples,
                               s32 *ps32OutSamples, s32 s32Discipline)
{
    if (!pRes || !ps16In || !ps16Out || !ps32OutSamples || s32InSamples < 0)
        return -1;
    switch (s32Discipline) {
    case RES_MODE_STREAM:
        if (!pRes->hStream)
            return DU_ERR_RES_ILLEGAL_MODE;
        return res_process_stream(pRes, ps16In, ps16Out, s32InSamples, ps32OutSamples);
    case RES_MODE_EXACT_OUT:
    case RES_MODE_UPTO_OUT:
        if (!pRes->hExact)
            return DU_ERR_RES_ILLEGAL_MODE;
        return res_process_exact(pRes, ps16In, ps16Out, s32InSamples, ps32OutSamples, s32Discipline);
    default:
        return DU_ERR_RES_ILLEGAL_MODE;
    }
}

s32 RES_ReSampler_GetInputNum(RES_RESAMPLER_S *pRes, s32 s32OutSamples, s32 s32Discipline)
{
    if (!pRes)
        return -1;
    if (s32Discipline != RES_MODE_EXACT_OUT)
        return 0;
    s32 still = s32OutSamples - pRes->s32Cached;
    if (still <= 0)
        return 0;
    return (s32)((s64)pRes->s32InRate * still / pRes->s32OutRate) + (pRes->s32Ratio == 0 ? 1 : 0);
}

s32 RES_ReSampler_Destory(RES_RESAMPLER_S *pRes)
{
    if (!pRes)
        return -1;
    ResCreate teardown = {pRes, pRes->s32InRate, pRes->s32OutRate, -1};
    mpi_steps_undo(kCreateSteps, &teardown);
    return 0;
}

s32 res_stream_out_max(const RES_RESAMPLER_S *pRes, s32 in_samples)
{
    return res_out_bound(pRes->s32InRate, pRes->s32OutRate, in_samples + pRes->s32Cached);
}

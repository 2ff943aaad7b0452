// Input voice enhancement chain.
#include "mpi/audio/vqe/upvqe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

bool any_module_on(const UPVQE_CFG_S *cfg)
{
    return cfg->bHpfOn || cfg->bAecOn || cfg->bAnrOn || cfg->bRnrOn || cfg->bAgcOn || cfg->bEqOn || cfg->bHdrOn ||
           cfg->bAvcOn || cfg->bPeqOn;
}

// The samples one module call takes.
s32 work_frame(const UPVQE_CFG_S *cfg)
{
    if (!any_module_on(cfg))
        return cfg->s32FrameSample;
    if (cfg->s32WorkSampleRate == 48000)
        return 960;
    if (cfg->bRnrOn && cfg->stRnrCfg.s32NrMode == 0)
        return 960;
    s32 frame = cfg->s32WorkSampleRate == 8000 ? 80 : 160;
    return cfg->bHdrOn ? frame * 2 : frame;
}

// The stages, in chain order, from the chain's copy of the configuration.
s32 describe_stages(const UPVQE_CFG_S *c, VQE_STAGE_DESC_S *stages)
{
    const u32 mode = c->u32WorkMode;
    const VQE_STAGE_DESC_S list[] = {
        {"HDR", c->bHdrOn, 0, 0, mode, &c->stHdrCfg}, {"AEC", c->bAecOn, 0, 0, mode, &c->stAecCfg},
        {"HPF", c->bHpfOn, 0, 0, mode, &c->stHpfCfg}, {"ANR", c->bAnrOn, 0, 0, mode, &c->stAnrCfg},
        {"RNR", c->bRnrOn, 0, 0, mode, &c->stRnrCfg}, {"AGC", c->bAgcOn, 0, c->bEqOn ? 1 : 0, mode, &c->stAgcCfg},
        {"EQ", c->bEqOn, 1, 0, mode, &c->stEqCfg},
    };
    std::copy(std::begin(list), std::end(list), stages);
    return (s32)(sizeof list / sizeof list[0]);
}

s32 chain_build(UPVQE_CHAIN_S **ppChain, const UPVQE_CFG_S *cfg)
{
    if (!vqe_frame_sample_ok("UPVQE", cfg->s32FrameSample))
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    s32 rate = cfg->s32WorkSampleRate;
    if (any_module_on(cfg) && rate != 8000 && rate != 16000 && rate != 48000) {
        fprintf(stderr, "UPVQE invalid s32WorkSampleRate(%d)\n", rate);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    return vqe_chain_make(ppChain, cfg, work_frame(cfg), describe_stages, DU_ERR_UPVQE_NOMEM, DU_ERR_UPVQE_LOAD);
}

s32 extend_build(UPVQE_INSTANCE_S *inst)
{
    UPVQE_EXTEND_S *ext = static_cast<UPVQE_EXTEND_S *>(calloc(1, sizeof(UPVQE_EXTEND_S)));
    if (!ext) {
        fprintf(stderr, "Malloc apstate Fail!\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    const UPVQE_CFG_S *c = &inst->stCfg;
    const VQE_STAGE_DESC_S stages[] = {
        {"AVC", c->bAvcOn, 0, 0, 0, &c->stAvcCfg},
        {"PEQ", c->bPeqOn, 0, 0, 0, &c->stPeqCfg},
    };
    bool load_failed = false;
    s32 ret = vqe_stages_build(&ext->stStages, stages, 2, c->s32WorkSampleRate, &load_failed);
    if (ret != 0) {
        free(ext);
        return load_failed ? DU_ERR_UPVQE_LOAD : ret;
    }
    inst->pstExtend = ext;
    return 0;
}

void instance_release(UPVQE_INSTANCE_S *inst)
{
    vqe_chain_free(inst->pstChain);
    if (inst->pstExtend) {
        vqe_stages_release(&inst->pstExtend->stStages);
        free(inst->pstExtend);
    }
    free(inst->ps16AvcIn);
    free(inst->ps16AvcOut);
    RES_ReSampler_Destory(inst->pInRes);
    RES_ReSampler_Destory(inst->pRefRes);
    RES_ReSampler_Destory(inst->pOutRes);
    free(inst->ps16ProcBuf);
    free(inst->ps16RefProcBuf);
    vqe_cache_destroy(&inst->stSinCache);
    vqe_cache_destroy(&inst->stRinCache);
    vqe_cache_destroy(&inst->stSoutCache);
    if (inst->bMutexInit)
        pthread_mutex_destroy(&inst->stMutex);
    free(inst);
}

s32 create_resamplers(UPVQE_INSTANCE_S *inst)
{
    const UPVQE_CFG_S *c = &inst->stCfg;
    s32 ret = RES_ReSampler_Create(&inst->pOutRes, c->s32WorkSampleRate, c->s32OutSampleRate, RES_MODE_EXACT_OUT);
    if (ret == 0)
        ret = RES_ReSampler_Create(&inst->pInRes, c->s32InSampleRate, c->s32WorkSampleRate, RES_MODE_STREAM);
    if (ret != 0)
        return ret;
    if ((inst->pInRes || inst->pOutRes) &&
        !(inst->ps16ProcBuf = static_cast<s16 *>(malloc(VQE_PROC_BUF_LEN * sizeof(s16))))) {
        fprintf(stderr, "Malloc UpQVE Resample ProcessBuf Fail!\n");
        return DU_ERR_UPVQE_NOMEM;
    }
    if (!c->bAecOn)
        return 0;
    ret = RES_ReSampler_Create(&inst->pRefRes, c->s32InSampleRate, c->s32WorkSampleRate, RES_MODE_STREAM);
    if (ret != 0)
        return ret;
    if (inst->pRefRes && !(inst->ps16RefProcBuf = static_cast<s16 *>(malloc(VQE_PROC_BUF_LEN * sizeof(s16))))) {
        fprintf(stderr, "Malloc UpQVE Resample ProcessBuf Fail!\n");
        return DU_ERR_UPVQE_NOMEM;
    }
    return 0;
}

s32 create_extension(UPVQE_INSTANCE_S *inst)
{
    const UPVQE_CFG_S *c = &inst->stCfg;
    if (!c->bAvcOn && !c->bPeqOn)
        return 0;
    if (c->bAecOn || c->bAnrOn || c->bAgcOn || c->bEqOn || c->s32WorkSampleRate != 48000) {
        fprintf(stderr, "AVC/PEQ only work with 48kHz RNR!\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (s32 ret = extend_build(inst))
        return ret;
    if (!(inst->ps16AvcIn = static_cast<s16 *>(malloc(UPVQE_AVC_BUF_LEN * sizeof(s16))))) {
        fprintf(stderr, "Malloc UpQVE AVC ProcessBuf Fail!\n");
        return DU_ERR_UPVQE_NOMEM;
    }
    if (!(inst->ps16AvcOut = static_cast<s16 *>(malloc(UPVQE_AVC_BUF_LEN * sizeof(s16))))) {
        fprintf(stderr, "Malloc UpQVE AVC Out Cache Fail!\n");
        return DU_ERR_UPVQE_NOMEM;
    }
    return 0;
}

s32 create_caches(UPVQE_INSTANCE_S *inst)
{
    inst->s32NodeNum = UPVQE_CACHE_SAMPLES / inst->s32VqeFrame;
    if (vqe_cache_create(&inst->stSinCache, inst->s32NodeNum, inst->s32VqeFrame) != 0) {
        AUDIO_ERR_BANNER("DU_UPVQE_Create", "CreateUPVQE_Cache_S SinCache Fail!");
        return DU_ERR_UPVQE_NOMEM;
    }
    if (inst->stCfg.bAecOn && vqe_cache_create(&inst->stRinCache, inst->s32NodeNum, inst->s32VqeFrame) != 0) {
        AUDIO_ERR_BANNER("DU_UPVQE_Create", "CreateUPVQE_Cache_S RinCache Fail!");
        return DU_ERR_UPVQE_NOMEM;
    }
    if (vqe_cache_create(&inst->stSoutCache, inst->s32NodeNum, inst->s32VqeFrame) != 0) {
        AUDIO_ERR_BANNER("DU_UPVQE_Create", "CreateUPVQE_Cache_S SoutCache Fail!");
        return DU_ERR_UPVQE_NOMEM;
    }
    return 0;
}

// Hands whole work frames of extension output on to the output cache while
// it has free nodes.
void flush_extension(UPVQE_INSTANCE_S *inst)
{
    const s32 frame = inst->s32VqeFrame;
    s32 moved = 0;
    for (; inst->s32AvcOutCount - moved >= frame && vqe_cache_has_free(&inst->stSoutCache); moved += frame) {
        memcpy(vqe_cache_write_node(&inst->stSoutCache), inst->ps16AvcOut + moved, frame * sizeof(s16));
        vqe_cache_push(&inst->stSoutCache);
    }
    inst->s32AvcOutCount -= moved;
    memmove(inst->ps16AvcOut, inst->ps16AvcOut + moved, inst->s32AvcOutCount * sizeof(s16));
}

// Where the next chain frame goes when the extension follows: the free end
// of the gathering buffer.
s16 *extension_target(void *ctx)
{
    UPVQE_INSTANCE_S *inst = static_cast<UPVQE_INSTANCE_S *>(ctx);
    flush_extension(inst);
    // Cannot fail once the flush has run; kept as the buffers' bound.
    if (inst->s32AvcOutCount + inst->s32AvcInCount + inst->s32VqeFrame > UPVQE_AVC_BUF_LEN)
        return nullptr;
    return inst->ps16AvcIn + inst->s32AvcInCount;
}

// Runs the extension over the whole blocks of chain output gathered so far
// and hands whole work frames on to the output cache; false when it fails,
// with the latest chain frame taken back out of the gathering buffer.
bool extension_commit(void *ctx)
{
    UPVQE_INSTANCE_S *inst = static_cast<UPVQE_INSTANCE_S *>(ctx);
    const s32 frame = inst->s32VqeFrame;
    inst->s32AvcInCount += frame;
    s32 blocks = inst->s32AvcInCount / UPVQE_EXT_BLOCK * UPVQE_EXT_BLOCK;
    if (blocks > 0) {
        if (vqe_stages_run(&inst->pstExtend->stStages, UPVQE_EXT_BLOCK, inst->ps16AvcIn, nullptr, nullptr,
                           inst->ps16AvcOut + inst->s32AvcOutCount, blocks) != 0) {
            fprintf(stderr, "UPVQE_ProcessExtendVQE failed!\n");
            inst->s32AvcInCount -= frame;
            return false;
        }
        inst->s32AvcOutCount += blocks;
        inst->s32AvcInCount -= blocks;
        memmove(inst->ps16AvcIn, inst->ps16AvcIn + blocks, inst->s32AvcInCount * sizeof(s16));
    }
    flush_extension(inst);
    return true;
}

s32 process_pending(UPVQE_INSTANCE_S *inst)
{
    if (inst->pstExtend)
        flush_extension(inst);
    VQE_PUMP_S pump = {};
    pump.pstSin = &inst->stSinCache;
    pump.pstRin = inst->stCfg.bAecOn ? &inst->stRinCache : nullptr;
    pump.pstSout = &inst->stSoutCache;
    pump.pstStages = &inst->pstChain->stStages;
    pump.s32Frame = inst->s32VqeFrame;
    pump.ps32Volume = &inst->pstChain->s32Volume;
    if (inst->pstExtend) {
        pump.pfnSinkTarget = extension_target;
        pump.pfnSinkCommit = extension_commit;
        pump.pSinkCtx = inst;
    }
    pump.pszFailMsg = "DU_UPVQE_ProcessFrame failed!\n";
    pump.s32ErrProcess = DU_ERR_UPVQE_PROCESS;
    pump.s32ErrFull = DU_ERR_UPVQE_READCACHE_FULL;
    return vqe_pump(&pump);
}

s32 write_locked(UPVQE_INSTANCE_S *inst, s16 *ps16SinBuf, s16 *ps16RinBuf, s32 s32Samples)
{
    process_pending(inst);
    const bool aec = inst->stCfg.bAecOn != 0;
    if (aec && !ps16RinBuf) {
        fprintf(stderr, "UPVQE invalid ps16RinBuf(%p)\n", (void *)ps16RinBuf);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    // Everything is checked before anything is converted or stored, so a
    // refused write leaves no trace of its samples.
    s32 in_max = vqe_write_max(inst->pInRes, s32Samples);
    s32 ref_max = aec ? vqe_write_max(inst->pRefRes, s32Samples) : 0;
    if ((inst->pInRes && in_max > VQE_PROC_BUF_LEN) || (inst->pRefRes && ref_max > VQE_PROC_BUF_LEN)) {
        fprintf(stderr, "UPVQE invalid s32Samples(%d)\n", s32Samples);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (in_max > vqe_cache_room(&inst->stSinCache) || (aec && ref_max > vqe_cache_room(&inst->stRinCache))) {
        fprintf(stderr, "DU_ERR_UPVQE_WRITECACHE_FULL\n");
        return DU_ERR_UPVQE_WRITECACHE_FULL;
    }
    if (s32 ret = vqe_write_side(inst->pInRes, inst->ps16ProcBuf, &inst->stSinCache, ps16SinBuf, s32Samples))
        return ret;
    if (aec) {
        if (s32 ret = vqe_write_side(inst->pRefRes, inst->ps16RefProcBuf, &inst->stRinCache, ps16RinBuf, s32Samples))
            return ret;
    }
    process_pending(inst);
    return 0;
}

} // namespace

s32 DU_UPVQE_Create(UPVQE_INSTANCE_S **phUpVqe, const UPVQE_CFG_S *pstConfig)
{
    if (!phUpVqe || !pstConfig)
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    if (!vqe_rates_ok(pstConfig->s32InSampleRate, pstConfig->s32WorkSampleRate, pstConfig->s32OutSampleRate)) {
        fprintf(stderr, "UPVQE invalid sample rates in %d, work %d, out %d\n", pstConfig->s32InSampleRate,
                pstConfig->s32WorkSampleRate, pstConfig->s32OutSampleRate);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    UPVQE_INSTANCE_S *inst = static_cast<UPVQE_INSTANCE_S *>(calloc(1, sizeof(UPVQE_INSTANCE_S)));
    if (!inst)
        return DU_ERR_UPVQE_NOMEM;
    inst->stCfg = *pstConfig;
    s32 ret = create_resamplers(inst);
    if (ret == 0)
        ret = chain_build(&inst->pstChain, pstConfig);
    if (ret == 0) {
        inst->s32VqeFrame = inst->pstChain->s32VqeFrame;
        ret = create_extension(inst);
    }
    if (ret == 0)
        ret = pthread_mutex_init(&inst->stMutex, nullptr) == 0 ? 0 : DU_ERR_UPVQE_NOMEM;
    if (ret == 0) {
        inst->bMutexInit = DU_TRUE;
        ret = create_caches(inst);
    }
    if (ret != 0) {
        instance_release(inst);
        return ret;
    }
    *phUpVqe = inst;
    return 0;
}

void DU_UPVQE_Destroy(UPVQE_INSTANCE_S *hUpVqe)
{
    if (hUpVqe)
        instance_release(hUpVqe);
}

s32 DU_UPVQE_WriteFrame(UPVQE_INSTANCE_S *hUpVqe, s16 *ps16SinBuf, s16 *ps16RinBuf, s32 s32Samples)
{
    if (!hUpVqe) {
        fprintf(stderr, "UPVQE invalid hUpVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (!ps16SinBuf || s32Samples < 0) {
        fprintf(stderr, "UPVQE invalid ps16SinBuf(%p)\n", (void *)ps16SinBuf);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    MpiMutexGuard lock(&hUpVqe->stMutex);
    return write_locked(hUpVqe, ps16SinBuf, ps16RinBuf, s32Samples);
}

s32 DU_UPVQE_ProcessFrame(UPVQE_INSTANCE_S *hUpVqe, s16 *ps16SinBuf, s16 *ps16RinBuf, s16 *ps16SouBuf,
                          s32 s32Samples)
{
    if (!hUpVqe || !hUpVqe->pstChain) {
        fprintf(stderr, "UPVQE invalid hUpVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (!ps16SinBuf || !ps16SouBuf) {
        fprintf(stderr, "UPVQE invalid ps16SinBuf(%p)/ps16SouBuf(%p)\n", (void *)ps16SinBuf, (void *)ps16SouBuf);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (hUpVqe->stCfg.bAecOn && !ps16RinBuf) {
        fprintf(stderr, "UPVQE invalid ps16RinBuf\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    UPVQE_CHAIN_S *chain = hUpVqe->pstChain;
    if (s32Samples <= 0 || s32Samples % chain->s32VqeFrame != 0) {
        fprintf(stderr, "UPVQE invalid inputSample(%d), VqeFrame(%d)\n", s32Samples, chain->s32VqeFrame);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (vqe_stages_run(&chain->stStages, chain->s32VqeFrame, ps16SinBuf, hUpVqe->stCfg.bAecOn ? ps16RinBuf : nullptr,
                       &chain->s32Volume, ps16SouBuf, s32Samples) != 0)
        return DU_ERR_UPVQE_PROCESS;
    return 0;
}

s32 DU_UPVQE_ReadFrame(UPVQE_INSTANCE_S *hUpVqe, s16 *ps16SouBuf, s32 s32Samples, s32 bLenient)
{
    if (!hUpVqe) {
        fprintf(stderr, "UPVQE invalid hUpVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (!ps16SouBuf || s32Samples < 0) {
        fprintf(stderr, "UPVQE invalid ps16SouBuf(%p)\n", (void *)ps16SouBuf);
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    MpiMutexGuard lock(&hUpVqe->stMutex);
    VQE_READ_S read = {&hUpVqe->stSoutCache, hUpVqe->pOutRes, hUpVqe->ps16ProcBuf, DU_ERR_UPVQE_READ_SHORT};
    return vqe_read(&read, ps16SouBuf, s32Samples, bLenient);
}

s32 DU_UPVQE_GetConfig(UPVQE_INSTANCE_S *hUpVqe, UPVQE_CFG_S *pstConfig)
{
    if (!hUpVqe || !pstConfig) {
        fprintf(stderr, "UPVQE invalid hUpVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    *pstConfig = hUpVqe->stCfg;
    return 0;
}

s32 DU_UPVQE_SetVolume(UPVQE_INSTANCE_S *hVqe, s32 s32Volume)
{
    if (!hVqe || !hVqe->pstChain) {
        fprintf(stderr, "UPVQE invalid hVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    // Under the instance's lock, so a frame runs either without the gain
    // stage or with all of it.
    MpiMutexGuard lock(&hVqe->stMutex);
    UPVQE_CHAIN_S *chain = hVqe->pstChain;
    if (!chain->bGainLoaded) {
        VQE_STAGES_S *stages = &chain->stStages;
        if (stages->s32SlotNum >= VQE_MAX_SLOTS)
            return DU_ERR_UPVQE_LOAD;
        VQE_MODULE_SLOT_S *slot = &stages->astSlot[stages->s32SlotNum];
        if (vqe_slot_load(slot, "GAIN", 0, 0, 0, nullptr) != 0)
            return DU_ERR_UPVQE_LOAD;
        if (s32 ret = slot->stHandle.pfnCreate(&slot->hModule, chain->stCfg.s32WorkSampleRate, &slot->stParam)) {
            slot->hModule = nullptr;
            vqe_slot_release(slot);
            return ret;
        }
        stages->s32SlotNum++;
        chain->bGainLoaded = DU_TRUE;
    }
    chain->s32Volume = s32Volume;
    return 0;
}

s32 DU_UPVQE_GetVolume(UPVQE_INSTANCE_S *hVqe, s32 *ps32Volume)
{
    if (!hVqe || !hVqe->pstChain) {
        fprintf(stderr, "UPVQE invalid hVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    if (!ps32Volume) {
        fprintf(stderr, "UPVQE invalid hUpVqe\n");
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    }
    MpiMutexGuard lock(&hVqe->stMutex);
    *ps32Volume = hVqe->pstChain->s32Volume;
    return 0;
}

s32 DU_UPVQE_GetVersion(char *pszVersion)
{
    if (!pszVersion)
        return DU_ERR_UPVQE_ILLEGAL_PARAM;
    vqe_version(pszVersion);
    return 0;
}

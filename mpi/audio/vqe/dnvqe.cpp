// Output voice enhancement chain.
#include "mpi/audio/vqe/dnvqe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

bool speech_module_on(const DNVQE_CFG_S *cfg) { return cfg->bHpfOn || cfg->bAnrOn || cfg->bAgcOn || cfg->bEqOn; }

// The stages, in chain order, from the chain's copy of the configuration.
s32 describe_stages(const DNVQE_CFG_S *c, VQE_STAGE_DESC_S *stages)
{
    const u32 mode = c->u32WorkMode;
    const VQE_STAGE_DESC_S list[] = {
        {"HPF", c->bHpfOn, 0, 0, mode, &c->stHpfCfg},
        {"ANR", c->bAnrOn, 0, 0, mode, &c->stAnrCfg},
        {"AGC", c->bAgcOn, 0, c->bEqOn ? 1 : 0, mode, &c->stAgcCfg},
        {"EQ", c->bEqOn, 1, 0, mode, &c->stEqCfg},
        {"MBC", c->bMbcOn, 0, 0, 0, &c->stMbcCfg},
    };
    std::copy(std::begin(list), std::end(list), stages);
    return (s32)(sizeof list / sizeof list[0]);
}

s32 chain_build(DNVQE_CHAIN_S **ppChain, const DNVQE_CFG_S *cfg)
{
    if (!vqe_frame_sample_ok("DNVQE", cfg->s32FrameSample))
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    s32 frame = cfg->s32FrameSample;
    if (speech_module_on(cfg)) {
        if (cfg->s32WorkSampleRate != 8000 && cfg->s32WorkSampleRate != 16000) {
            fprintf(stderr, "DNVQE invalid s32WorkSampleRate(%d)\n", cfg->s32WorkSampleRate);
            return DU_ERR_DNVQE_ILLEGAL_PARAM;
        }
        frame = cfg->s32WorkSampleRate == 8000 ? 80 : 160;
    }
    return vqe_chain_make(ppChain, cfg, frame, describe_stages, DU_ERR_DNVQE_NOMEM, DU_ERR_DNVQE_LOAD);
}

void instance_release(DNVQE_INSTANCE_S *inst)
{
    vqe_chain_free(inst->pstChain);
    RES_ReSampler_Destory(inst->pInRes);
    RES_ReSampler_Destory(inst->pOutRes);
    free(inst->ps16ProcBuf);
    vqe_cache_destroy(&inst->stSinCache);
    vqe_cache_destroy(&inst->stSoutCache);
    if (inst->bMutexInit)
        pthread_mutex_destroy(&inst->stMutex);
    free(inst);
}

// The creation steps after the instance's allocation; false on any failure.
bool instance_build(DNVQE_INSTANCE_S *inst)
{
    const DNVQE_CFG_S *c = &inst->stCfg;
    if (RES_ReSampler_Create(&inst->pInRes, c->s32InSampleRate, c->s32WorkSampleRate, RES_MODE_STREAM) != 0 ||
        RES_ReSampler_Create(&inst->pOutRes, c->s32WorkSampleRate, c->s32OutSampleRate, RES_MODE_EXACT_OUT) != 0)
        return false;
    if ((inst->pInRes || inst->pOutRes) &&
        !(inst->ps16ProcBuf = static_cast<s16 *>(malloc(VQE_PROC_BUF_LEN * sizeof(s16))))) {
        AUDIO_ERR_BANNER("DU_DNVQE_Create", "Malloc DnQVE Resample ProcessBuf Fail!");
        return false;
    }
    if (chain_build(&inst->pstChain, c) != 0)
        return false;
    inst->s32VqeFrame = inst->pstChain->s32VqeFrame;
    if (pthread_mutex_init(&inst->stMutex, nullptr) != 0)
        return false;
    inst->bMutexInit = DU_TRUE;
    inst->s32NodeNum = DNVQE_CACHE_SAMPLES / inst->s32VqeFrame;
    if (vqe_cache_create(&inst->stSinCache, inst->s32NodeNum, inst->s32VqeFrame) != 0) {
        AUDIO_ERR_BANNER("DU_DNVQE_Create", "CreateDNVQE_Cache_S SinCache Fail!");
        return false;
    }
    if (vqe_cache_create(&inst->stSoutCache, inst->s32NodeNum, inst->s32VqeFrame) != 0) {
        AUDIO_ERR_BANNER("DU_DNVQE_Create", "CreateDNVQE_Cache_S SoutCache Fail!");
        return false;
    }
    return true;
}

s32 process_pending(DNVQE_INSTANCE_S *inst)
{
    VQE_PUMP_S pump = {};
    pump.pstSin = &inst->stSinCache;
    pump.pstSout = &inst->stSoutCache;
    pump.pstStages = &inst->pstChain->stStages;
    pump.s32Frame = inst->s32VqeFrame;
    pump.pszFailMsg = "DU_DNVQE_ProcessFrame failed!\n";
    pump.s32ErrProcess = DU_ERR_DNVQE_PROCESS;
    pump.s32ErrFull = DU_ERR_DNVQE_READCACHE_FULL;
    return vqe_pump(&pump);
}

} // namespace

s32 DU_DNVQE_Create(DNVQE_INSTANCE_S **phDnVqe, const DNVQE_CFG_S *pstConfig)
{
    if (!phDnVqe || !pstConfig)
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    if (!vqe_rates_ok(pstConfig->s32InSampleRate, pstConfig->s32WorkSampleRate, pstConfig->s32OutSampleRate)) {
        fprintf(stderr, "DNVQE invalid sample rates in %d, work %d, out %d\n", pstConfig->s32InSampleRate,
                pstConfig->s32WorkSampleRate, pstConfig->s32OutSampleRate);
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    DNVQE_INSTANCE_S *inst = static_cast<DNVQE_INSTANCE_S *>(calloc(1, sizeof(DNVQE_INSTANCE_S)));
    if (!inst)
        return DU_ERR_DNVQE_NOMEM;
    inst->stCfg = *pstConfig;
    if (!instance_build(inst)) {
        instance_release(inst);
        return -1;
    }
    *phDnVqe = inst;
    return 0;
}

void DU_DNVQE_Destroy(DNVQE_INSTANCE_S *hDnVqe)
{
    if (hDnVqe)
        instance_release(hDnVqe);
}

s32 DU_DNVQE_WriteFrame(DNVQE_INSTANCE_S *hDnVqe, s16 *ps16SinBuf, s32 s32Samples)
{
    if (!hDnVqe) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid hDnVqe");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    if (!ps16SinBuf || s32Samples < 0) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid ps16SinBuf");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    MpiMutexGuard lock(&hDnVqe->stMutex);
    process_pending(hDnVqe);
    // Checked before anything is converted, so a refused write leaves no trace.
    s32 most = vqe_write_max(hDnVqe->pInRes, s32Samples);
    if (hDnVqe->pInRes && most > VQE_PROC_BUF_LEN) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid s32Samples");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    if (most > vqe_cache_room(&hDnVqe->stSinCache)) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DU_ERR_DNVQE_WRITECACHE_FULL");
        return DU_ERR_DNVQE_WRITECACHE_FULL;
    }
    if (s32 ret = vqe_write_side(hDnVqe->pInRes, hDnVqe->ps16ProcBuf, &hDnVqe->stSinCache, ps16SinBuf, s32Samples))
        return ret;
    process_pending(hDnVqe);
    return 0;
}

s32 DU_DNVQE_ProcessFrame(DNVQE_INSTANCE_S *hDnVqe, s16 *ps16SinBuf, s16 *ps16SouBuf, s32 s32Samples)
{
    if (!hDnVqe) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid hDnVqe");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    if (!ps16SinBuf || !ps16SouBuf) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid ps16SinBuf/ps16SouBuf\n");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    DNVQE_CHAIN_S *chain = hDnVqe->pstChain;
    if (!chain) {
        fprintf(stderr, "DNVQE invalid hDnVqe\n");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    if (s32Samples <= 0 || s32Samples % chain->s32VqeFrame != 0) {
        fprintf(stderr, "DNVQE invalid inputSample(%d), VqeFrame(%d)\n", s32Samples, chain->s32VqeFrame);
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    if (vqe_stages_run(&chain->stStages, chain->s32VqeFrame, ps16SinBuf, nullptr, nullptr, ps16SouBuf, s32Samples) != 0)
        return DU_ERR_DNVQE_PROCESS;
    return 0;
}

s32 DU_DNVQE_ReadFrame(DNVQE_INSTANCE_S *hDnVqe, s16 *ps16SouBuf, s32 s32Samples, s32 bLenient)
{
    if (!hDnVqe) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid hDnVqe");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    if (!ps16SouBuf || s32Samples < 0) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid ps16SouBuf");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    MpiMutexGuard lock(&hDnVqe->stMutex);
    VQE_READ_S read = {&hDnVqe->stSoutCache, hDnVqe->pOutRes, hDnVqe->ps16ProcBuf, DU_ERR_DNVQE_READ_SHORT};
    return vqe_read(&read, ps16SouBuf, s32Samples, bLenient);
}

s32 DU_DNVQE_GetConfig(DNVQE_INSTANCE_S *hDnVqe, DNVQE_CFG_S *pstConfig)
{
    if (!hDnVqe || !pstConfig) {
        AUDIO_ERR_BANNER(__FUNCTION__, "DNVQE invalid hDnVqe");
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    }
    *pstConfig = hDnVqe->stCfg;
    return 0;
}

s32 DU_DNVQE_GetVersion(char *pszVersion)
{
    if (!pszVersion)
        return DU_ERR_DNVQE_ILLEGAL_PARAM;
    vqe_version(pszVersion);
    return 0;
}

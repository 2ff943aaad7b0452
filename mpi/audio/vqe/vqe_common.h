// What the input and output enhancement chains share: the frame caches on
// both sides of the modules, the module slots and the way a work frame runs
// through them, and the reading of processed samples.
#pragma once

#include <cstdlib>

#include "mpi/audio/vqe/audio_module.h"
#include "mpi/audio/vqe/audio_resampler.h"

// ---- frame caches -------------------------------------------------------------------------------

struct VQE_FRAME_NODE_S {
    s16 *ps16Data; // one work frame
    VQE_FRAME_NODE_S *pstNext;
};

// A ring of frame nodes. Empty and full are told apart by the free count:
// the read and write nodes coincide in both.
struct VQE_FRAME_CACHE_S {
    s32 s32FreeNodes;
    VQE_FRAME_NODE_S *pstWrite;
    VQE_FRAME_NODE_S *pstRead;
    s16 *ps16Partial;    // input side: the tail of the last write; output side: the unread tail of a node
    s32 s32PartialCount;
    s32 s32NodeNum;
    s32 s32Frame;
    VQE_FRAME_NODE_S *pstNodes;
    s16 *ps16Pool; // the nodes' frames and the partial buffer in one block
};

// 0, or -1 with nothing allocated.
s32 vqe_cache_create(VQE_FRAME_CACHE_S *cache, s32 nodes, s32 frame);
void vqe_cache_destroy(VQE_FRAME_CACHE_S *cache);

inline bool vqe_cache_empty(const VQE_FRAME_CACHE_S *cache) { return cache->s32FreeNodes == cache->s32NodeNum; }
inline bool vqe_cache_has_free(const VQE_FRAME_CACHE_S *cache) { return cache->s32FreeNodes > 0; }

// Samples a write can take: the free nodes and the partial buffer short of a
// whole frame (a whole frame always goes into a node).
s32 vqe_cache_room(const VQE_FRAME_CACHE_S *cache);
// Appends samples (at most the room): the partial frame is completed first,
// then whole nodes are filled, the rest is kept as the new partial frame.
void vqe_cache_write(VQE_FRAME_CACHE_S *cache, const s16 *src, s32 samples);

// The oldest pending frame, and releasing it.
inline s16 *vqe_cache_read_node(const VQE_FRAME_CACHE_S *cache) { return cache->pstRead->ps16Data; }
void vqe_cache_pop(VQE_FRAME_CACHE_S *cache);
// The node the next whole frame goes into, and committing it.
inline s16 *vqe_cache_write_node(const VQE_FRAME_CACHE_S *cache) { return cache->pstWrite->ps16Data; }
void vqe_cache_push(VQE_FRAME_CACHE_S *cache);

// Processed samples waiting to be read: the partial tail and every full node.
s32 vqe_cache_available(const VQE_FRAME_CACHE_S *cache);

// ---- module slots ---------------------------------------------------------------------------------

constexpr s32 VQE_MAX_SLOTS = 10;
constexpr s32 VQE_STAGE_BUF_LEN = 4096;
constexpr s32 VQE_PROC_BUF_LEN = 12288; // resampling buffers of both chains

struct VQE_MODULE_SLOT_S {
    void *hModule;
    VQE_MODULE_PARAM_S stParam;
    AUDIO_WORK_HANDLE_S stHandle;
};

// A run of stages and the two buffers the frames move through between them.
struct VQE_STAGES_S {
    VQE_MODULE_SLOT_S astSlot[VQE_MAX_SLOTS];
    s32 s32SlotNum;
    s16 as16BufA[VQE_STAGE_BUF_LEN];
    s16 as16BufB[VQE_STAGE_BUF_LEN];
};

// Loads the module into a slot with its parameter block; 0, or -1 with the
// slot left empty.
s32 vqe_slot_load(VQE_MODULE_SLOT_S *slot, const char *module, s32 param_a, s32 param_b, u32 work_mode,
                  const void *cfg);
// Destroys the slot's module instance if it has one and unloads the slot.
void vqe_slot_release(VQE_MODULE_SLOT_S *slot);
// Loads the module into the next slot and counts it; 0 or -1.
s32 vqe_stage_load(VQE_STAGES_S *stages, const char *module, s32 param_a, s32 param_b, u32 work_mode,
                   const void *cfg);
// Creates every loaded stage in slot order; 0, or the first failing result
// with `*failed` the failing slot.
s32 vqe_stages_create(VQE_STAGES_S *stages, s32 rate, s32 *failed);
// Destroys the created stages and unloads every slot.
void vqe_stages_release(VQE_STAGES_S *stages);

// One stage a chain may load: its module, whether it is switched on, and
// its parameter block.
struct VQE_STAGE_DESC_S {
    const char *pszModule;
    u32 bOn;
    s32 s32ParamA;
    s32 s32ParamB;
    u32 u32WorkMode;
    const void *pCfg;
};

// Loads the stages switched on, in order, then creates them; 0, or with
// everything released again `*load_failed` set and -1 when a library would
// not load, else the failing create's result ("<name>_Init Fail!" printed).
s32 vqe_stages_build(VQE_STAGES_S *stages, const VQE_STAGE_DESC_S *descs, s32 count, s32 rate, bool *load_failed);

// ---- chains ----------------------------------------------------------------------------------------

// The caller's frame length check of both chains; false after "<chain>
// invalid s32FrameSample(<n>)".
bool vqe_frame_sample_ok(const char *chain, s32 frame);

// Makes a chain record (UPVQE_CHAIN_S, DNVQE_CHAIN_S): copies the
// configuration into it, lists the stages from that copy (the modules keep
// pointers into it) with `describe`, loads and creates them at the work rate.
// 0, or with nothing left `err_nomem`, `err_load` or a create's result.
template <class Chain, class Cfg>
s32 vqe_chain_make(Chain **ppChain, const Cfg *cfg, s32 frame, s32 (*describe)(const Cfg *, VQE_STAGE_DESC_S *),
                   s32 err_nomem, s32 err_load)
{
    Chain *chain = static_cast<Chain *>(calloc(1, sizeof(Chain)));
    if (!chain)
        return err_nomem;
    chain->stCfg = *cfg;
    VQE_STAGE_DESC_S stages[VQE_MAX_SLOTS];
    s32 count = describe(&chain->stCfg, stages);
    bool load_failed = false;
    s32 ret = vqe_stages_build(&chain->stStages, stages, count, cfg->s32WorkSampleRate, &load_failed);
    if (ret != 0) {
        free(chain);
        return load_failed ? err_load : ret;
    }
    chain->s32VqeFrame = frame;
    *ppChain = chain;
    return 0;
}

template <class Chain> void vqe_chain_free(Chain *chain)
{
    if (!chain)
        return;
    vqe_stages_release(&chain->stStages);
    free(chain);
}

// Runs whole frames of `frame` samples through the stages (a copy when there
// are none); 0, or -1 at the first stage that fails.
s32 vqe_stages_run(VQE_STAGES_S *stages, s32 frame, const s16 *in, const s16 *ref, s32 *volume, s16 *out,
                   s32 samples);

// ---- moving samples through a chain ------------------------------------------------------------

// Whether each pair of rates the chain converts between lies where the
// resampler works (else samples would pass at the wrong rate).
bool vqe_rates_ok(s32 in_rate, s32 work_rate, s32 out_rate);

// The most work-rate samples a write of `samples` makes (through the stream
// resampler when there is one): what a cache must have room for before
// anything of the write is touched.
s32 vqe_write_max(RES_RESAMPLER_S *res, s32 samples);
// Converts (when `res` is set, into `proc_buf`) and stores one side of a
// write already known to fit; 0 or the resampler's status.
s32 vqe_write_side(RES_RESAMPLER_S *res, s16 *proc_buf, VQE_FRAME_CACHE_S *cache, s16 *samples, s32 count);

// One chain's pending-frame processing.
struct VQE_PUMP_S {
    VQE_FRAME_CACHE_S *pstSin;
    VQE_FRAME_CACHE_S *pstRin; // echo reference, or null
    VQE_FRAME_CACHE_S *pstSout;
    VQE_STAGES_S *pstStages;
    s32 s32Frame;
    s32 *ps32Volume;
    // With a sink, processed frames go to the sink's buffer (null: no room,
    // stop) and its commit (false: failed, stop) instead of the output cache.
    s16 *(*pfnSinkTarget)(void *ctx);
    bool (*pfnSinkCommit)(void *ctx);
    void *pSinkCtx;
    const char *pszFailMsg; // printed when a stage fails
    s32 s32ErrProcess;      // a stage failed
    s32 s32ErrFull;         // the output cache has no free node left
};

// Runs pending input frames through the stages while the output has room;
// a frame whose processing fails stays pending for the next call.
s32 vqe_pump(const VQE_PUMP_S *pump);

// ---- reading processed samples -------------------------------------------------------------------

struct VQE_READ_S {
    VQE_FRAME_CACHE_S *pstCache;
    RES_RESAMPLER_S *pOutRes; // work rate -> output rate, or null
    s16 *ps16ProcBuf;         // work-rate samples before the output resampler
    s32 s32ErrShort;          // the chain's "not enough to read" code
};

// Strict (`lenient` 0): 0, the resampler's status, or the short code with
// nothing read. Lenient: the samples delivered, or -1.
s32 vqe_read(const VQE_READ_S *read, s16 *dst, s32 samples, s32 lenient);

// The library's version text, written by both chains' GetVersion.
constexpr u32 VQE_VERSION_LEN = 64;
void vqe_version(char *text);

// The encoder's slice-transcoding hook: an H.264 channel armed by refresh
// with I slices hands every stream it retrieves to "libslice_trans.so",
// loaded with the host's dynamic loader on the first retrieval after arming,
// with a work buffer of two halves that grows with the frames.
#include "mpi/video/venc/venc_call.h"

#include <cstdlib>
#include <dlfcn.h>

namespace {

const char *const kSliceLib = "libslice_trans.so";
constexpr s32 kAvcDecInitArg = 162;
constexpr u32 kWorkPage = 0x1000;

void forget_library(VENC_CHN_CTX_S &ctx)
{
    dlclose(ctx.pLibHandle);
    ctx.pLibHandle = nullptr;
    ctx.pfnAvcDecInit = nullptr;
    ctx.pfnAvcDecDeinit = nullptr;
    ctx.pfnAvcDecTransCodeSlice = nullptr;
}

// Loads the library and starts it, under stVencLock. A library that cannot
// be loaded or started turns the hook off until the channel is armed again:
// the stream is the caller's either way, and the load is not retried (with
// its message) on every retrieval.
bool load_library(const char *func, VENC_CHN VeChn, VENC_CHN_CTX_S &ctx)
{
    ctx.pLibHandle = dlopen(kSliceLib, RTLD_LAZY);
    printf("We Open libslice_trans.so. %p, \n", ctx.pLibHandle);
    if (!ctx.pLibHandle) {
        const char *why = dlerror();
        fprintf(stderr, "func:%s, chnid %d %s, slice transcoding off until armed again\n", func, VeChn,
                why ? why : "no library");
        ctx.bSliceTrans = 0;
        return false;
    }
    ctx.pfnAvcDecInit = reinterpret_cast<AVCDEC_INIT_FN>(dlsym(ctx.pLibHandle, "AvcDec_Init"));
    ctx.pfnAvcDecDeinit = reinterpret_cast<AVCDEC_DEINIT_FN>(dlsym(ctx.pLibHandle, "AvcDec_Deinit"));
    ctx.pfnAvcDecTransCodeSlice =
        reinterpret_cast<AVCDEC_TRANSCODE_SLICE_FN>(dlsym(ctx.pLibHandle, "AvcDec_TransCodeSlice"));
    if (!ctx.pfnAvcDecInit)
        return true;
    s32 ret = ctx.pfnAvcDecInit(kAvcDecInitArg);
    if (ret == 0)
        return true;
    fprintf(stderr, "func:%s, chnid %d AvcDec_Init failed with %#x, slice transcoding off until armed again\n",
            func, VeChn, ret);
    forget_library(ctx);
    ctx.bSliceTrans = 0;
    return false;
}

} // namespace

u32 venc_slice_arm_half(u32 u32BufSize)
{
    u32 half = ((u32BufSize >> 5) + kWorkPage - 1) & ~(kWorkPage - 1);
    // A page at least: a half of 0 would never grow by doubling.
    return half ? half : kWorkPage;
}

u32 venc_slice_grown_half(u32 u32Half, u32 u32Total, u32 u32BufSize)
{
    u64 half = u32Half;
    if (u32Total <= half || half >= u32BufSize)
        return u32Half;
    do
        half *= 2;
    while (u32Total > half && half < u32BufSize);
    return half > 0x80000000u ? 0x80000000u : (u32)half;
}

s32 venc_slice_arm(const char *func, VENC_CHN VeChn)
{
    VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    MpiMutexGuard guard(&stVencLock); // a retrieval on another thread may be growing the buffer
    ctx.bSliceTrans = 1;
    u32 half = venc_slice_arm_half(ctx.u32StrmBufSize);
    if (!ctx.pu8WorkBuf) {
        ctx.pu8WorkBuf = static_cast<u8 *>(malloc(2 * (size_t)half));
        if (!ctx.pu8WorkBuf) {
            fprintf(stderr, "func:%s, chnid %d malloc failed. \n", func, VeChn);
            ctx.bSliceTrans = 0;
            return DU_ERR_VENC_NOMEM;
        }
    }
    ctx.pu8WorkBuf2 = ctx.pu8WorkBuf + half;
    ctx.u32WorkBufHalfSize = half;
    return 0;
}

void venc_slice_disarm(VENC_CHN VeChn)
{
    MpiMutexGuard guard(&stVencLock);
    g_stMpiVencChn[VeChn].bSliceTrans = 0;
}

void venc_slice_retrieve(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream, u32 u32Total)
{
    static const char *const func = "DU_DUZ_VENC_GetStream";
    VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    MpiMutexGuard guard(&stVencLock);
    if (!ctx.bSliceTrans)
        return;
    if (!ctx.pLibHandle && !load_library(func, VeChn, ctx))
        return;
    u32 half = venc_slice_grown_half(ctx.u32WorkBufHalfSize, u32Total, ctx.u32StrmBufSize);
    if (half != ctx.u32WorkBufHalfSize || !ctx.pu8WorkBuf) {
        free(ctx.pu8WorkBuf);
        ctx.pu8WorkBuf = static_cast<u8 *>(malloc(2 * (size_t)half));
        if (!ctx.pu8WorkBuf) {
            ctx.pu8WorkBuf2 = nullptr;
            fprintf(stderr, "func:%s, chnid %d re-malloc failed. \n", func, VeChn);
            ctx.bSliceTrans = 0;
            return;
        }
        ctx.pu8WorkBuf2 = ctx.pu8WorkBuf + half;
        ctx.u32WorkBufHalfSize = half;
    }
    if (ctx.pfnAvcDecTransCodeSlice)
        ctx.pfnAvcDecTransCodeSlice(pstStream, ctx.u32BufTag, ctx.pu8WorkBuf, ctx.pu8WorkBuf2);
}

void venc_slice_teardown(VENC_CHN VeChn)
{
    VENC_CHN_CTX_S &ctx = g_stMpiVencChn[VeChn];
    free(ctx.pu8WorkBuf);
    ctx.pu8WorkBuf = ctx.pu8WorkBuf2 = nullptr;
    if (!ctx.pLibHandle)
        return;
    if (ctx.pfnAvcDecDeinit) {
        MpiMutexGuard guard(&stVencLock);
        ctx.pfnAvcDecDeinit();
    }
    forget_library(ctx);
}

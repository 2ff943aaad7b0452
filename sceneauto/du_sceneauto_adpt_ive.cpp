// The adapter's block-activity analysis (du_sceneauto_adpt_ive.h): its
// buffers, the "ImageAnaly" thread and the block activity.
#include "sceneauto/du_sceneauto_adpt_ive.h"

#include "core/run_thread.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "sceneauto/du_sceneauto_adpt.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/prctl.h>

SceneautoIveMd stIveMd;

namespace {

constexpr u32 kTiles = 8;           // tiles per side of the picture
constexpr u32 kBlock = 16;          // pixels per side of a block
constexpr u32 kWaitStepMs = 200;    // the frame wait, and the retry after a failed one
constexpr u32 kPassWaitMs = 2000;   // between two passes
constexpr u32 kIntegRowAlign = 128; // bytes of integral row per 16 elements

// The analysis thread runs while its flag is 1.
RunThread g_analysis_thread;
std::atomic<u32> g_analysis_run{0};
// Its waits end at once when the flag is cleared.
std::mutex g_wait_lock;
std::condition_variable g_wait_cv;

bool stop_asked() { return g_analysis_run != 1; }

void ask_stop()
{
    {
        std::lock_guard<std::mutex> lock(g_wait_lock);
        g_analysis_run = 0;
    }
    g_wait_cv.notify_all();
}

void wait_or_stop(u32 ms)
{
    std::unique_lock<std::mutex> lock(g_wait_lock);
    g_wait_cv.wait_for(lock, std::chrono::milliseconds(ms), [] { return stop_asked(); });
}

void diag(const char *text, const char *func, int line, s32 status)
{
    printf("%s failed at %s: LINE: %d ! errno:%x \n", text, func, line, (u32)status);
}

// The tiles: 8 x 8 of whole blocks; the rest right and below is not analysed.
u16 tile_width(const SceneautoIveMd &md) { return (u16)((md.u16Width >> 7) * kBlock); }
u16 tile_height(const SceneautoIveMd &md) { return (u16)((md.u16Height >> 7) * kBlock); }

u32 image_bytes(const IVE_IMG_DESC_S &img, u32 elem) { return (u32)img.u16Height * img.u16Stride[0] * elem; }

void set_image(IVE_IMG_DESC_S &img, u32 type, u32 w, u32 h, u32 stride)
{
    img = {};
    img.enType = type;
    img.u16Width = (u16)w;
    img.u16Height = (u16)h;
    img.u16Stride[0] = (u16)stride;
}

s32 alloc_plane(IVE_IMG_DESC_S &img, u32 bytes)
{
    void *user = nullptr;
    s32 ret = DU_DUZ_SYS_MmzAlloc_Cached(&img.u32PhyAddr[0], &user, nullptr, nullptr, bytes);
    if (ret == 0)
        img.pu8VirAddr[0] = static_cast<u8 *>(user);
    return ret;
}

void free_block(u32 &phys, u8 *&user)
{
    if (phys && user)
        DU_DUZ_SYS_MmzFree(phys, user);
    phys = 0;
    user = nullptr;
}

// The whole integral buffer, border included: the engine writes it and the
// block sums read it back.
s32 flush_integral(const SceneautoIveMd &md)
{
    const IVE_IMG_DESC_S &buf = md.stIntegBuf;
    return DU_DUZ_SYS_MmzFlushCache(buf.u32PhyAddr[0], buf.pu8VirAddr[0], image_bytes(buf, 8));
}

// The integral buffer with its zero border (a row above, two elements to
// the left), and the engine's output inside it.
s32 init_integral(SceneautoIveMd &md)
{
    const u32 tw = tile_width(md), th = tile_height(md);
    const u32 row_bytes = (tw + 2 + 15) / 16 * kIntegRowAlign;
    IVE_IMG_DESC_S &buf = md.stIntegBuf;
    set_image(buf, IVE_IMAGE_TYPE_U64C1, tw + 2, th + 1, row_bytes / 8);
    s32 ret = alloc_plane(buf, image_bytes(buf, 8));
    if (ret != 0) {
        diag("pstIveMd->stImage 3 malloc fail\n", "IVE_DetectInit", 286, ret);
        return ret;
    }
    u8 *p = buf.pu8VirAddr[0];
    memset(p, 0, row_bytes);
    for (u32 r = 1; r <= th; r++)
        memset(p + (size_t)r * row_bytes, 0, 16);
    // The zeros out of the cache before the engine writes beside them.
    if ((ret = flush_integral(md)) != 0)
        diag("DU_DUZ_SYS_MmzFlushCache failed\n", "IVE_DetectInit", 290, ret);

    IVE_IMG_DESC_S &out = md.stIntegOut;
    set_image(out, IVE_IMAGE_TYPE_U64C1, tw, th, row_bytes / 8);
    out.u32PhyAddr[0] = buf.u32PhyAddr[0] + row_bytes + 16;
    out.pu8VirAddr[0] = buf.pu8VirAddr[0] + row_bytes + 16;
    return 0;
}

s32 init_activity(SceneautoIveMd &md)
{
    const u32 w = (md.u16Width >> 6) * 4u, h = (md.u16Height >> 6) * 4u;
    IVE_IMG_DESC_S &act = md.stActivity;
    set_image(act, IVE_IMAGE_TYPE_U8C1, w, h, w);
    const u32 size = image_bytes(act, 1);
    s32 ret = alloc_plane(act, size);
    if (ret != 0) {
        diag("pstIveMd->stImage 5 fail \n", "IVE_DetectInit", 311, ret);
        printf("alloc size: %d w %d h %d s %d\n", size, w, h, w);
        return ret;
    }
    // Bytes past the last tile's are counted by the histogram too: zero
    // activity, not whatever the memory held.
    memset(act.pu8VirAddr[0], 0, size);
    return 0;
}

// The histogram takes lines of a multiple of 16 bytes: an activity image
// whose stride is not is seen as lines of 16k bytes, the smallest k that
// cuts it whole. False when none does.
bool shape_hist_source(SceneautoIveMd &md)
{
    IVE_IMG_DESC_S &src = md.stHistSrc;
    src = md.stActivity;
    if (src.u16Stride[0] % 16 == 0)
        return true;
    const u32 n = image_bytes(src, 1);
    for (u32 k = 4; k <= 254; k++) {
        const u32 line = 16 * k;
        if (n % line == 0 && n / line <= 0xFFFF) {
            src.u16Width = src.u16Stride[0] = (u16)line;
            src.u16Height = (u16)(n / line);
            return true;
        }
    }
    return false;
}

s32 init_hist(SceneautoIveMd &md)
{
    void *user = nullptr;
    s32 ret = DU_DUZ_SYS_MmzAlloc(&md.u32HistPhyAddr, &user, nullptr, nullptr, SCENEAUTO_IVE_HIST_SIZE);
    if (ret != 0) {
        diag("pstIveMd->stHistInfo fail\n", "IVE_DetectInit", 339, ret);
        return ret;
    }
    md.pu8HistVirAddr = static_cast<u8 *>(user);
    return 0;
}

// Waits for a task; -1 when the query fails or the task did not finish.
s32 finish_task(IVE_TASK_HANDLE handle, int line)
{
    u32 finished = 0;
    s32 ret = DU_DUZ_IVE_Query(handle, &finished, 1);
    if (ret != 0) {
        diag("DU_DUZ_IVE_Query failed\n", "ImageAnalyProc", line, ret);
        return -1;
    }
    return finished == 1 ? 0 : -1;
}

// Each tile's integral image on the engine, and its blocks' activities.
s32 measure_tiles(SceneautoIveMd &md, const VIDEO_FRAME_REC_S &frame)
{
    const u32 tw = tile_width(md), th = tile_height(md), pitch = frame.u32Stride[0];
    const IVE_INTEG_OPT_S ctrl = {0}; // sum and sum of squares in one element
    for (u32 r = 0; r < kTiles; r++) {
        for (u32 c = 0; c < kTiles; c++) {
            const u32 offset = c * tw + r * th * pitch;
            IVE_IMG_DESC_S src;
            set_image(src, IVE_IMAGE_TYPE_U8C1, tw, th, pitch);
            src.u32PhyAddr[0] = frame.u32PhyAddr[0] + offset;
            src.pu8VirAddr[0] = static_cast<u8 *>(frame.pVirAddr[0]) + offset;
            IVE_TASK_HANDLE handle;
            s32 ret = DU_DUZ_IVE_Integ(&handle, &src, &md.stIntegOut, &ctrl, 0);
            if (ret != 0) {
                diag("DU_DUZ_IVE_Integ failed\n", "ImageAnalyProc", 787, ret);
                return -1;
            }
            if (finish_task(handle, 794) != 0)
                return -1;
            EncMadiCal(&md.stActivity, &md.stIntegOut, kTiles * r + c);
            if ((ret = flush_integral(md)) != 0)
                diag("DU_DUZ_SYS_MmzFlushCache failed\n", "ImageAnalyProc", 801, ret);
        }
    }
    return 0;
}

s32 histogram(SceneautoIveMd &md)
{
    const IVE_IMG_DESC_S &act = md.stActivity;
    s32 ret = DU_DUZ_SYS_MmzFlushCache(act.u32PhyAddr[0], act.pu8VirAddr[0], image_bytes(act, 1));
    if (ret != 0)
        diag("DU_DUZ_SYS_MmzFlushCache failed\n", "ImageAnalyProc", 816, ret);
    const IVE_MEM_BLOCK_S bins = {md.u32HistPhyAddr, md.pu8HistVirAddr, SCENEAUTO_IVE_HIST_SIZE};
    IVE_TASK_HANDLE handle;
    if ((ret = DU_DUZ_IVE_Hist(&handle, &md.stHistSrc, &bins, 0)) != 0) {
        diag("DU_DUZ_IVE_Hist failed\n", "ImageAnalyProc", 823, ret);
        return -1;
    }
    return finish_task(handle, 830);
}

// One pass over a frame, which it releases; -1 ends the analysis.
s32 analyse_frame(SceneautoIveMd &md, VIDEO_FRAME_REC_S &frame)
{
    s32 ret = measure_tiles(md, frame);
    if (ret == 0)
        ret = histogram(md);
    const s32 released = DU_DUZ_IVE_ReleaseFrame(0, &frame);
    if (ret != 0)
        return -1;
    if (released != 0) {
        diag("DU_DUZ_IVE_ReleaseFrame failed\n", "ImageAnalyProc", 837, released);
        return -1;
    }
    return 0;
}

u8 activity_of(s32 v)
{
    if (v <= 0)
        return 0;
    u32 r = (u32)std::sqrt((double)v);
    while ((u64)r * r > (u64)v)
        r--;
    while ((u64)(r + 1) * (r + 1) <= (u64)v)
        r++;
    return (u8)std::min<u32>(r, 255);
}

} // namespace

s32 IVE_DetectInit(SceneautoIveMd *pstIveMd)
{
    SceneautoIveMd &md = *pstIveMd;
    s32 ret = DU_DUZ_VPSS_SetDepth(md.u32VpssGrp, md.u32VpssChn, 1);
    if (ret != 0) {
        diag("DU_DUZ_VPSS_SetDepth fail\n", "IVE_DetectInit", 275, ret);
        return ret;
    }
    if ((ret = init_integral(md)) == 0 && (ret = init_activity(md)) == 0) {
        if (!shape_hist_source(md)) {
            // The analysis then ends at its first histogram.
            puts("can't find stride,can't use ive hist");
            return 0;
        }
        ret = init_hist(md);
    }
    if (ret != 0)
        IVE_DetectDestory(pstIveMd);
    return ret;
}

s32 IVE_DetectDestory(SceneautoIveMd *pstIveMd)
{
    SceneautoIveMd &md = *pstIveMd;
    free_block(md.stIntegBuf.u32PhyAddr[0], md.stIntegBuf.pu8VirAddr[0]);
    free_block(md.stActivity.u32PhyAddr[0], md.stActivity.pu8VirAddr[0]);
    free_block(md.u32HistPhyAddr, md.pu8HistVirAddr);
    // These two only point into the blocks above.
    md.stIntegOut.u32PhyAddr[0] = md.stHistSrc.u32PhyAddr[0] = 0;
    md.stIntegOut.pu8VirAddr[0] = md.stHistSrc.pu8VirAddr[0] = nullptr;
    return 0;
}

s32 DU_DUZ_IVE_GetFrame(u32, VIDEO_FRAME_REC_S *pstFrame, u32 u32MilliSec)
{
    s32 ret = DU_DUZ_VPSS_GetChnFrame(stIveMd.u32VpssGrp, stIveMd.u32VpssChn, pstFrame, (s32)u32MilliSec);
    if (ret != 0)
        diag("get frame failed\n", "DU_DUZ_IVE_GetFrame", 445, ret);
    return ret;
}

s32 DU_DUZ_IVE_ReleaseFrame(u32, VIDEO_FRAME_REC_S *pstFrame)
{
    s32 ret = DU_DUZ_VPSS_ReleaseChnFrame(stIveMd.u32VpssGrp, stIveMd.u32VpssChn, pstFrame);
    if (ret != 0)
        diag("release frame failed\n", "DU_DUZ_IVE_ReleaseFrame", 464, ret);
    return ret;
}

// Per block the standard deviation of its 256 pixels: S their sum and X
// their sum of squares from the four corners of the integral image, the
// variance (X - S^2 / 256) / 256, a quarter added before the truncation.
s32 EncMadiCal(const IVE_IMG_DESC_S *pstActivity, const IVE_IMG_DESC_S *pstInteg, u32 u32Tile)
{
    const u32 w = pstInteg->u16Width, h = pstInteg->u16Height;
    u8 *out = pstActivity->pu8VirAddr[0] + (size_t)u32Tile * (w * h) / (kBlock * kBlock);
    const u8 *base = pstInteg->pu8VirAddr[0];
    const long pitch = pstInteg->u16Stride[0];
    // Row -1 and element -1 are the buffer's zero border.
    auto at = [&](long row, long col) {
        u64 e;
        memcpy(&e, base + (row * pitch + col) * 8, 8);
        return e;
    };
    auto sum = [](u64 e) { return (u32)(e & 0xFFFFFFF); };
    auto sq = [](u64 e) { return (u32)(e >> 28); };
    for (long i = 0; i < (long)(h / kBlock); i++) {
        for (long j = 0; j < (long)(w / kBlock); j++) {
            const long top = 16 * i - 1, bottom = 16 * i + 15, left = 16 * j - 1, right = 16 * j + 15;
            const u64 P = at(top, left), Q = at(top, right), R = at(bottom, left), T = at(bottom, right);
            const u32 S = sum(T) + sum(P) - sum(Q) - sum(R);
            const u32 X = sq(T) + sq(P) - sq(Q) - sq(R);
            const s32 v = (s32)(X - ((S * S) >> 8) + 64) >> 8;
            *out++ = activity_of(v);
        }
    }
    return 0;
}

s32 EncSetMbQp(u32, u8 *, u32, u32, u32) { return 0; }
s32 EncSetMbQpSec(u32, u8 *, u32, u32, u32) { return 0; }

void *ImageAnalyProc(void *arg)
{
    prctl(PR_SET_NAME, "ImageAnaly");
    SceneautoIveMd &md = *static_cast<SceneautoIveMd *>(arg);
    auto *frame = static_cast<VIDEO_FRAME_REC_S *>(calloc(1, sizeof(VIDEO_FRAME_REC_S)));
    if (!frame) {
        puts("can't alloc frame info");
        return nullptr;
    }
    while (!stop_asked()) {
        if (DU_DUZ_IVE_GetFrame(0, frame, kWaitStepMs) != 0) {
            wait_or_stop(kWaitStepMs);
            continue;
        }
        if (analyse_frame(md, *frame) != 0)
            break;
        const u32 act_bytes = image_bytes(md.stActivity, 1);
        const s32 ret = md.bQpSec ? EncSetMbQpSec(0, md.pu8HistVirAddr, md.u16Width, md.u16Height, act_bytes)
                                  : EncSetMbQp(0, md.pu8HistVirAddr, md.u16Width, md.u16Height, act_bytes);
        if (ret != 0) {
            diag("EncSetMbQp failed\n", "ImageAnalyProc", 850, ret);
            break;
        }
        wait_or_stop(kPassWaitMs);
    }
    free(frame);
    return nullptr;
}

s32 CommSceneautoIVEStart(u32 u32VpssGrp, u32 u32VpssChn)
{
    if (g_analysis_thread.joinable) {
        // Its record and memory belong to the running thread.
        puts("block-activity analysis runs already");
        return -1;
    }
    stIveMd = {};
    stIveMd.u32VpssGrp = u32VpssGrp;
    stIveMd.u32VpssChn = u32VpssChn;
    VPSS_CHN_MODE_REC_S mode;
    if (DU_DUZ_VPSS_GetChnMode(u32VpssGrp, u32VpssChn, &mode) != 0) {
        puts("DU_DUZ_VPSS_GetChnMode failed");
        return -1;
    }
    stIveMd.u16Width = (u16)mode.u32Width;
    stIveMd.u16Height = (u16)mode.u32Height;
    // Without its buffers the thread could only fail: nothing starts.
    if (IVE_DetectInit(&stIveMd) != 0)
        return -1;
    if (run_thread_start(g_analysis_thread, g_analysis_run, ImageAnalyProc, &stIveMd) != 0) {
        puts("create ImageAnalyProc thread failed");
        IVE_DetectDestory(&stIveMd);
        return -1;
    }
    return 0;
}

s32 CommSceneautoIVEStop(void)
{
    ask_stop();
    run_thread_stop(g_analysis_thread, g_analysis_run);
    IVE_DetectDestory(&stIveMd);
    return 0;
}

// The video output unit: each call checks its device, layer or channel,
// opens and binds the descriptor it needs, checks its records and sends one
// request to /dev/vo.
#include "mpi/video/vo/mpi_vo.h"
#include "mpi/video/vo/vo_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

s32 g_as32VoFd[VO_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                  -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
s32 g_as32GfxFd = -1;

namespace {

// What a call addresses: it decides the checks and the descriptor.
enum class VoTarget { dev, layer, chn, gfx };

#define VO_ERR(func, line, ...)                                                                            \
    do {                                                                                                   \
        MPI_TRACE_PREFIX(func, line);                                                                      \
        fprintf(stderr, __VA_ARGS__);                                                                      \
    } while (0)

// Only a descriptor above 0 counts as open.
const mpi_dev_node kVoNode = {"/dev/vo", 0, VO_BIND_FD, 1};

// Opens /dev/vo into `slot` and binds it to `bind` when it is not open yet.
s32 vo_open(s32 &slot, u32 bind)
{
    mpi_dev_result r = mpi_dev_open(&slot, kVoNode, bind);
    if (r.step == MPI_DEV_OPEN_FAILED)
        perror("open vou device error!\n");
    return r.ok() ? 0 : ERR_VO_SYS_NOTREADY;
}

bool vo_ids_ok(const char *func, int line, VoTarget t, s32 id, VO_CHN chn, s32 *ret)
{
    switch (t) {
    case VoTarget::dev:
        if (id == 0)
            return true;
        VO_ERR(func, line, "VoDev(%d) is invalid\r\n", id);
        *ret = ERR_VO_INVALID_DEVID;
        return false;
    case VoTarget::gfx:
        if (id == 0)
            return true;
        VO_ERR(func, line, "u32Layer(%d) is invalid\r\n", id);
        *ret = ERR_VO_INVALID_GFX_LAYER;
        return false;
    case VoTarget::layer:
    case VoTarget::chn:
        if (id != 0) {
            VO_ERR(func, line, "VoLayer(%d) is invalid\r\n", id);
            *ret = ERR_VO_INVALID_LAYERID;
            return false;
        }
        if (t == VoTarget::chn && (u32)chn >= (u32)VO_MAX_CHN_NUM) {
            VO_ERR(func, line, "VoChn(%d) is invalid\r\n", chn);
            *ret = ERR_VO_INVALID_CHNID;
            return false;
        }
        return true;
    }
    return false;
}

// The common pattern: numbers, descriptor (opened lazily), the records in
// `needed` (none may be null), then the request with `arg`.
s32 vo_call(const char *func, int line, VoTarget t, s32 id, VO_CHN chn, unsigned long req, void *arg,
            std::initializer_list<const void *> needed)
{
    s32 ret;
    if (!vo_ids_ok(func, line, t, id, chn, &ret))
        return ret;
    s32 &slot = t == VoTarget::gfx ? g_as32GfxFd : g_as32VoFd[t == VoTarget::chn ? chn : 0];
    if ((ret = vo_open(slot, t == VoTarget::chn ? (u32)chn : 0)))
        return ret;
    for (const void *p : needed)
        if (!p) {
            VO_ERR(func, line, "NULL addr!\r\n");
            return ERR_VO_NULL_PTR;
        }
    return bd_ioctl(slot, req, arg);
}

// A frame request built from the caller's frame and the wait and sent
// through vo_call; the frame comes back only when the driver succeeds.
s32 vo_frame_request(const char *func, int line, VoTarget t, s32 id, VO_CHN chn, unsigned long req,
                     const VIDEO_FRAME_REC_S *in, VIDEO_FRAME_REC_S *out, s32 ms)
{
    VIDEO_FRAME_REQ_S r;
    memset(&r, 0, sizeof r);
    if (in)
        r.stFrame = *in;
    r.s32MilliSec = ms;
    s32 ret = vo_call(func, line, t, id, chn, req, &r, {in});
    if (ret == 0 && out)
        *out = r.stFrame;
    return ret;
}

} // namespace

#define DEV(d, req, arg, ...) vo_call(__FUNCTION__, __LINE__, VoTarget::dev, d, 0, req, arg, {__VA_ARGS__})
#define LAYER(l, req, arg, ...) vo_call(__FUNCTION__, __LINE__, VoTarget::layer, l, 0, req, arg, {__VA_ARGS__})
#define CHN(l, c, req, arg, ...) vo_call(__FUNCTION__, __LINE__, VoTarget::chn, l, c, req, arg, {__VA_ARGS__})
#define GFX(g, req, arg, ...) vo_call(__FUNCTION__, __LINE__, VoTarget::gfx, (s32)g, 0, req, arg, {__VA_ARGS__})
#define W(p) const_cast<void *>(static_cast<const void *>(p))

s32 DU_DUZ_VO_Enable(VO_DEV d) { return DEV(d, VO_ENABLE, nullptr); }
s32 DU_DUZ_VO_Disable(VO_DEV d) { return DEV(d, VO_DISABLE, nullptr); }
s32 DU_DUZ_VO_SetPubAttr(VO_DEV d, const VO_PUB_ATTR_REC_S *p) { return DEV(d, VO_SET_PUB_ATTR, W(p), p); }
s32 DU_DUZ_VO_GetPubAttr(VO_DEV d, VO_PUB_ATTR_REC_S *p) { return DEV(d, VO_GET_PUB_ATTR, p, p); }
s32 DU_DUZ_VO_SetDevFrameRate(VO_DEV d, u32 v) { return DEV(d, VO_SET_DEV_FRAME_RATE, &v); }
s32 DU_DUZ_VO_GetDevFrameRate(VO_DEV d, u32 *p) { return DEV(d, VO_GET_DEV_FRAME_RATE, p, p); }

s32 DU_DUZ_VO_EnableVideoLayer(VO_LAYER l) { return LAYER(l, VO_ENABLE_LAYER, nullptr); }
s32 DU_DUZ_VO_DisableVideoLayer(VO_LAYER l) { return LAYER(l, VO_DISABLE_LAYER, nullptr); }
s32 DU_DUZ_VO_SetVideoLayerAttr(VO_LAYER l, const VO_LAYER_ATTR_REC_S *p) { return LAYER(l, VO_SET_LAYER_ATTR, W(p), p); }
s32 DU_DUZ_VO_GetVideoLayerAttr(VO_LAYER l, VO_LAYER_ATTR_REC_S *p) { return LAYER(l, VO_GET_LAYER_ATTR, p, p); }
s32 DU_DUZ_VO_SetVideoLayerPriority(VO_LAYER l, u32 v) { return LAYER(l, VO_SET_LAYER_PRIORITY, &v); }
// No null check here: the driver refuses a bad address itself.
s32 DU_DUZ_VO_GetVideoLayerPriority(VO_LAYER l, u32 *p) { return LAYER(l, VO_GET_LAYER_PRIORITY, p); }
s32 DU_DUZ_VO_SetVideoLayerCSC(VO_LAYER l, const VO_CSC_REC_S *p) { return LAYER(l, VO_SET_LAYER_CSC, W(p), p); }
s32 DU_DUZ_VO_GetVideoLayerCSC(VO_LAYER l, VO_CSC_REC_S *p) { return LAYER(l, VO_GET_LAYER_CSC, p, p); }
s32 DU_DUZ_VO_SetDispBufLen(VO_LAYER l, u32 v) { return LAYER(l, VO_SET_DISP_BUF_LEN, &v); }
s32 DU_DUZ_VO_GetDispBufLen(VO_LAYER l, u32 *p) { return LAYER(l, VO_GET_DISP_BUF_LEN, p, p); }
s32 DU_DUZ_VO_SetPlayToleration(VO_LAYER l, u32 v) { return LAYER(l, VO_SET_PLAY_TOLERATION, &v); }
s32 DU_DUZ_VO_GetPlayToleration(VO_LAYER l, u32 *p) { return LAYER(l, VO_GET_PLAY_TOLERATION, p, p); }
s32 DU_DUZ_VO_ReleaseScreenFrame(VO_LAYER l, const VIDEO_FRAME_REC_S *p) { return LAYER(l, VO_RELEASE_SCREEN_FRAME, W(p), p); }
s32 DU_DUZ_VO_SetVideoLayerPartitionMode(VO_LAYER l, u32 v) { return LAYER(l, VO_SET_PART_MODE, &v); }
s32 DU_DUZ_VO_GetVideoLayerPartitionMode(VO_LAYER l, u32 *p) { return LAYER(l, VO_GET_PART_MODE, p, p); }
s32 DU_DUZ_VO_SetAttrBegin(VO_LAYER l) { return LAYER(l, VO_SET_ATTR_BEGIN, nullptr); }
s32 DU_DUZ_VO_SetAttrEnd(VO_LAYER l) { return LAYER(l, VO_SET_ATTR_END, nullptr); }

s32 DU_DUZ_VO_GetScreenFrame(VO_LAYER l, VIDEO_FRAME_REC_S *p, s32 ms)
{
    return vo_frame_request(__FUNCTION__, __LINE__, VoTarget::layer, l, 0, VO_GET_SCREEN_FRAME, p, p, ms);
}

s32 DU_DUZ_VO_EnableChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_ENABLE_CHN, nullptr); }
s32 DU_DUZ_VO_DisableChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_DISABLE_CHN, nullptr); }
s32 DU_DUZ_VO_SetChnAttr(VO_LAYER l, VO_CHN c, const VO_CHN_ATTR_REC_S *p) { return CHN(l, c, VO_SET_CHN_ATTR, W(p), p); }
s32 DU_DUZ_VO_GetChnAttr(VO_LAYER l, VO_CHN c, VO_CHN_ATTR_REC_S *p) { return CHN(l, c, VO_GET_CHN_ATTR, p, p); }
s32 DU_DUZ_VO_SetChnField(VO_LAYER l, VO_CHN c, u32 v) { return CHN(l, c, VO_SET_CHN_FIELD, &v); }
s32 DU_DUZ_VO_GetChnField(VO_LAYER l, VO_CHN c, u32 *p) { return CHN(l, c, VO_GET_CHN_FIELD, p, p); }
s32 DU_DUZ_VO_ReleaseChnFrame(VO_LAYER l, VO_CHN c, const VIDEO_FRAME_REC_S *p) { return CHN(l, c, VO_RELEASE_CHN_FRAME, W(p), p); }
s32 DU_DUZ_VO_GetChnFrameRate(VO_LAYER l, VO_CHN c, u32 *p) { return CHN(l, c, VO_GET_CHN_FRAME_RATE, p, p); }
s32 DU_DUZ_VO_SetChnFrameRate(VO_LAYER l, VO_CHN c, u32 v) { return CHN(l, c, VO_SET_CHN_FRAME_RATE, &v); }
s32 DU_DUZ_VO_PauseChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_PAUSE_CHN, nullptr); }
s32 DU_DUZ_VO_ResumeChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_RESUME_CHN, nullptr); }
s32 DU_DUZ_VO_StepChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_STEP_CHN, nullptr); }
s32 DU_DUZ_VO_RefreshChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_REFRESH_CHN, nullptr); }
s32 DU_DUZ_VO_SetZoomInWindow(VO_LAYER l, VO_CHN c, const VO_ZOOM_REC_S *p) { return CHN(l, c, VO_SET_ZOOM_WINDOW, W(p), p); }
s32 DU_DUZ_VO_GetZoomInWindow(VO_LAYER l, VO_CHN c, VO_ZOOM_REC_S *p) { return CHN(l, c, VO_GET_ZOOM_WINDOW, p, p); }
s32 DU_DUZ_VO_ShowChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_SHOW_CHN, nullptr); }
s32 DU_DUZ_VO_HideChn(VO_LAYER l, VO_CHN c) { return CHN(l, c, VO_HIDE_CHN, nullptr); }
s32 DU_DUZ_VO_GetChnPts(VO_LAYER l, VO_CHN c, u64 *p) { return CHN(l, c, VO_GET_CHN_PTS, p, p); }
s32 DU_DUZ_VO_QueryChnStat(VO_LAYER l, VO_CHN c, u32 *p) { return CHN(l, c, VO_QUERY_CHN_STAT, p, p); }
s32 DU_DUZ_VO_ClearChnBuffer(VO_LAYER l, VO_CHN c, u32 v) { return CHN(l, c, VO_CLEAR_CHN_BUFFER, &v); }
s32 DU_DUZ_VO_SetChnBorder(VO_LAYER l, VO_CHN c, const VO_BORDER_REC_S *p) { return CHN(l, c, VO_SET_CHN_BORDER, W(p), p); }
s32 DU_DUZ_VO_GetChnBorder(VO_LAYER l, VO_CHN c, VO_BORDER_REC_S *p) { return CHN(l, c, VO_GET_CHN_BORDER, p, p); }
s32 DU_DUZ_VO_SetChnReceiveThreshold(VO_LAYER l, VO_CHN c, u32 v) { return CHN(l, c, VO_SET_RECV_THRESHOLD, &v); }
s32 DU_DUZ_VO_GetChnReceiveThreshold(VO_LAYER l, VO_CHN c, u32 *p) { return CHN(l, c, VO_GET_RECV_THRESHOLD, p, p); }

s32 DU_DUZ_VO_SendFrame(VO_LAYER l, VO_CHN c, const VIDEO_FRAME_REC_S *p, s32 ms)
{
    return vo_frame_request(__FUNCTION__, __LINE__, VoTarget::chn, l, c, VO_SEND_FRAME, p, nullptr, ms);
}

s32 DU_DUZ_VO_GetChnFrame(VO_LAYER l, VO_CHN c, VIDEO_FRAME_REC_S *p, s32 ms)
{
    return vo_frame_request(__FUNCTION__, __LINE__, VoTarget::chn, l, c, VO_GET_CHN_FRAME, p, p, ms);
}

s32 DU_DUZ_VO_GetChnRegionLuma(VO_LAYER l, VO_CHN c, const VIDEO_REGION_INFO_S *pstRegionInfo, u32 *pu32LumaData,
                               s32 s32MilliSec)
{
    VO_REGION_LUMA_REQ_S r;
    memset(&r, 0, sizeof r);
    if (pstRegionInfo)
        r.stRegionInfo = *pstRegionInfo;
    r.pu32LumaData = pu32LumaData;
    r.s32MilliSec = s32MilliSec;
    return CHN(l, c, VO_GET_CHN_REGION_LUMA, &r, pstRegionInfo, pu32LumaData);
}

s32 DU_DUZ_VO_SetGraphicLayerCSC(GRAPHIC_LAYER g, const VO_CSC_REC_S *p) { return GFX(g, VO_SET_GFX_CSC, W(p), p); }
s32 DU_DUZ_VO_GetGraphicLayerCSC(GRAPHIC_LAYER g, VO_CSC_REC_S *p) { return GFX(g, VO_GET_GFX_CSC, p, p); }

s32 DU_DUZ_VO_CloseFd(void)
{
    bool last_failed = false;
    for (s32 &fd : g_as32VoFd) {
        if (fd <= 0)
            continue;
        last_failed = bd_close(fd) != 0;
        if (last_failed)
            perror("Close VO Channel Fail");
        fd = -1;
    }
    if (g_as32GfxFd > 0) {
        last_failed = bd_close(g_as32GfxFd) != 0;
        if (last_failed)
            perror("Close Gfx Fail");
        g_as32GfxFd = -1;
    }
    return last_failed ? ERR_VO_BUSY : 0;
}

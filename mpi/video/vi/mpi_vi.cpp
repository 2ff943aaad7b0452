// The video input unit: each call checks its device or channel and record,
// opens and binds the descriptor it needs, and sends one request to /dev/vi.
#include "mpi/video/vi/mpi_vi.h"
#include "mpi/video/vi/vi_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>

s32 g_s32ViDevFd = -1;
s32 g_s32ViChnFd[VIU_MAX_FRM_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1,
                                         -1, -1, -1, -1, -1, -1, -1, -1, -1};

namespace {

// What a call addresses: the device, or a channel out of one of the ranges
// channel calls accept. It decides the checks and the descriptor.
enum class ViTarget { dev, chn, frame, ext };

#define VI_ERR(func, line, ...)                                                                            \
    do {                                                                                                   \
        MPI_TRACE_PREFIX(func, line);                                                                      \
        fprintf(stderr, __VA_ARGS__);                                                                      \
    } while (0)

const mpi_dev_node kViNode = {"/dev/vi", O_RDONLY, VI_BIND_FD, 0};

// Opens /dev/vi into `slot` and binds it to `number` (the device or the
// channel) when it is not open yet.
s32 vi_open(s32 &slot, s32 number, bool dev)
{
    mpi_dev_result r = mpi_dev_open(&slot, kViNode, (u32)number);
    if (r.step == MPI_DEV_OPEN_FAILED) {
        if (dev)
            printf("open vi(%d,%d) err, ret:%d \n", number, number, r.fd);
        else
            printf("open chn %d err, ret:%d \n", number, r.fd);
    }
    return r.ok() ? 0 : ERR_VI_SYS_NOTREADY;
}

// 0 when `id` is a number the target accepts, else the code after the message.
s32 vi_target_check(const char *func, int line, ViTarget t, s32 id)
{
    switch (t) {
    case ViTarget::dev:
        if (id == 0)
            return 0;
        VI_ERR(func, line, "ViPortId(%d) is invalid\r\n", id);
        return ERR_VI_INVALID_DEVID;
    case ViTarget::chn:
        if (id >= 0 && id < VIU_MAX_CHN_NUM)
            return 0;
        break;
    case ViTarget::frame:
        if (id >= 0 && id < VIU_MAX_FRM_CHN_NUM)
            return 0;
        break;
    case ViTarget::ext:
        if (id >= VIU_EXT_CHN_START && id <= VIU_EXT_CHN_END)
            return 0;
        VI_ERR(func, line, "VIChnID(%d) is invalid ext-chn, ext-chn's range is [%d, %d].\r\n", id,
               VIU_EXT_CHN_START, VIU_EXT_CHN_END);
        return ERR_VI_INVALID_CHNID;
    }
    VI_ERR(func, line, "VIChnID(%d) is invalid\r\n", id);
    return ERR_VI_INVALID_CHNID;
}

bool vi_ptr_ok(const char *func, int line, const void *p)
{
    if (p)
        return true;
    VI_ERR(func, line, "NULL point \r\n");
    return false;
}

// The common pattern: the number the target takes, the record when
// `check_null`, the device's or the channel's descriptor (opened lazily),
// then the request.
s32 vi_call(const char *func, int line, ViTarget t, s32 id, unsigned long req, const void *arg, bool check_null)
{
    if (s32 ret = vi_target_check(func, line, t, id))
        return ret;
    if (check_null && !vi_ptr_ok(func, line, arg))
        return ERR_VI_INVALID_NULL_PTR;
    const bool dev = t == ViTarget::dev;
    s32 &slot = dev ? g_s32ViDevFd : g_s32ViChnFd[id];
    if (s32 ret = vi_open(slot, id, dev))
        return ret;
    return bd_ioctl(slot, req, const_cast<void *>(arg));
}

s32 vi_unsupported(const char *func, int line, const char *text)
{
    VI_ERR(func, line, "%s", text);
    return ERR_VI_NOT_SUPPORT;
}

} // namespace

#define DEV_REC(d, req, rec) vi_call(__FUNCTION__, __LINE__, ViTarget::dev, d, req, rec, true)
#define DEV_RAW(d, req, rec) vi_call(__FUNCTION__, __LINE__, ViTarget::dev, d, req, rec, false)
#define CHN_REC(chn, range, req, rec) vi_call(__FUNCTION__, __LINE__, ViTarget::range, chn, req, rec, true)
#define CHN_RAW(chn, range, req, rec) vi_call(__FUNCTION__, __LINE__, ViTarget::range, chn, req, rec, false)

s32 DU_DUZ_VI_SetDevAttr(VI_DEV d, const VI_DEV_ATTR_REC_S *p) { return DEV_REC(d, VI_SET_DEV_ATTR, p); }
s32 DU_DUZ_VI_GetDevAttr(VI_DEV d, VI_DEV_ATTR_REC_S *p) { return DEV_REC(d, VI_GET_DEV_ATTR, p); }
s32 DU_DUZ_VI_SetDevAttrEx(VI_DEV d, const VI_DEV_ATTR_EX_REC_S *p) { return DEV_REC(d, VI_SET_DEV_ATTR_EX, p); }
s32 DU_DUZ_VI_GetDevAttrEx(VI_DEV d, VI_DEV_ATTR_EX_REC_S *p) { return DEV_REC(d, VI_GET_DEV_ATTR_EX, p); }
s32 DU_DUZ_VI_EnableDev(VI_DEV d) { return DEV_RAW(d, VI_ENABLE_DEV, nullptr); }
s32 DU_DUZ_VI_DisableDev(VI_DEV d) { return DEV_RAW(d, VI_DISABLE_DEV, nullptr); }
s32 DU_DUZ_VI_BindChn(VI_CHN c, const VI_CHN_BIND_REC_S *p) { return CHN_REC(c, chn, VI_BIND_CHN, p); }
s32 DU_DUZ_VI_GetChnBind(VI_CHN c, VI_CHN_BIND_REC_S *p) { return CHN_REC(c, chn, VI_GET_CHN_BIND, p); }
s32 DU_DUZ_VI_UnBindChn(VI_CHN c) { return CHN_RAW(c, chn, VI_UNBIND_CHN, nullptr); }
s32 DU_DUZ_VI_SetChnAttr(VI_CHN c, const VI_CHN_ATTR_REC_S *p) { return CHN_REC(c, chn, VI_SET_CHN_ATTR, p); }
s32 DU_DUZ_VI_GetChnAttr(VI_CHN c, VI_CHN_ATTR_REC_S *p) { return CHN_REC(c, chn, VI_GET_CHN_ATTR, p); }
s32 DU_DUZ_VI_EnableChn(VI_CHN c) { return CHN_RAW(c, chn, VI_ENABLE_CHN, nullptr); }
s32 DU_DUZ_VI_DisableChn(VI_CHN c) { return CHN_RAW(c, chn, VI_DISABLE_CHN, nullptr); }
s32 DU_DUZ_VI_EnableChnInterrupt(VI_CHN c) { return CHN_RAW(c, chn, VI_ENABLE_CHN_INT, nullptr); }
s32 DU_DUZ_VI_DisableChnInterrupt(VI_CHN c) { return CHN_RAW(c, chn, VI_DISABLE_CHN_INT, nullptr); }
s32 DU_DUZ_VI_SetFrameDepth(VI_CHN c, u32 v) { return CHN_RAW(c, frame, VI_SET_FRAME_DEPTH, &v); }
s32 DU_DUZ_VI_GetFrameDepth(VI_CHN c, u32 *p) { return CHN_REC(c, frame, VI_GET_FRAME_DEPTH, p); }
s32 DU_DUZ_VI_ReleaseFrame(VI_CHN c, const VIDEO_FRAME_REC_S *p) { return CHN_REC(c, frame, VI_RELEASE_FRAME, p); }
s32 DU_DUZ_VI_SetUserPic(VI_CHN c, const VI_USERPIC_REC_S *p) { return CHN_REC(c, chn, VI_SET_USER_PIC, p); }
s32 DU_DUZ_VI_EnableUserPic(VI_CHN c) { return CHN_RAW(c, chn, VI_ENABLE_USER_PIC, nullptr); }
s32 DU_DUZ_VI_DisableUserPic(VI_CHN c) { return CHN_RAW(c, chn, VI_DISABLE_USER_PIC, nullptr); }
s32 DU_DUZ_VI_Query(VI_CHN c, VI_CHN_STAT_S *p) { return CHN_REC(c, chn, VI_QUERY, p); }
s32 DU_DUZ_VI_SetFlashConfig(VI_DEV d, const VI_FLASH_CONFIG_REC_S *p) { return DEV_REC(d, VI_SET_FLASH_CONFIG, p); }
s32 DU_DUZ_VI_GetFlashConfig(VI_DEV d, VI_FLASH_CONFIG_REC_S *p) { return DEV_REC(d, VI_GET_FLASH_CONFIG, p); }
s32 DU_DUZ_VI_TriggerFlash(VI_DEV d, u32 v) { return DEV_RAW(d, VI_TRIGGER_FLASH, &v); }
s32 DU_DUZ_VI_SetCSCAttr(VI_DEV d, const VI_CSC_ATTR_REC_S *p) { return DEV_REC(d, VI_SET_CSC_ATTR, p); }
s32 DU_DUZ_VI_GetCSCAttr(VI_DEV d, VI_CSC_ATTR_REC_S *p) { return DEV_REC(d, VI_GET_CSC_ATTR, p); }
s32 DU_DUZ_VI_SetLDCAttr(VI_CHN c, const VI_LDC_ATTR_REC_S *p) { return CHN_REC(c, chn, VI_SET_LDC_ATTR, p); }
s32 DU_DUZ_VI_GetLDCAttr(VI_CHN c, VI_LDC_ATTR_REC_S *p) { return CHN_REC(c, chn, VI_GET_LDC_ATTR, p); }
s32 DU_DUZ_VI_SetRotate(VI_CHN c, u32 v) { return CHN_RAW(c, chn, VI_SET_ROTATE, &v); }
s32 DU_DUZ_VI_GetRotate(VI_CHN c, u32 *p) { return CHN_REC(c, chn, VI_GET_ROTATE, p); }
s32 DU_DUZ_VI_GetChnLuma(VI_CHN c, VI_CHN_LUMA_REC_S *p) { return CHN_REC(c, chn, VI_GET_CHN_LUMA, p); }
s32 DU_DUZ_VI_SetExtChnAttr(VI_CHN c, const VI_EXT_CHN_ATTR_REC_S *p) { return CHN_REC(c, ext, VI_SET_EXT_CHN_ATTR, p); }
s32 DU_DUZ_VI_GetExtChnAttr(VI_CHN c, VI_EXT_CHN_ATTR_REC_S *p) { return CHN_REC(c, ext, VI_GET_EXT_CHN_ATTR, p); }
s32 DU_DUZ_VI_SetExtChnCrop(VI_CHN c, const VI_EXT_CHN_CROP_REC_S *p) { return CHN_REC(c, ext, VI_SET_EXT_CHN_CROP, p); }
s32 DU_DUZ_VI_GetExtChnCrop(VI_CHN c, VI_EXT_CHN_CROP_REC_S *p) { return CHN_REC(c, ext, VI_GET_EXT_CHN_CROP, p); }
s32 DU_DUZ_VI_SetWDRAttr(VI_DEV d, const VI_WDR_ATTR_REC_S *p) { return DEV_REC(d, VI_SET_WDR_ATTR, p); }
s32 DU_DUZ_VI_GetWDRAttr(VI_DEV d, VI_WDR_ATTR_REC_S *p) { return DEV_REC(d, VI_GET_WDR_ATTR, p); }
// The dump attribute calls hand even a null record to the driver.
s32 DU_DUZ_VI_SetDevDumpAttr(VI_DEV d, const VI_DUMP_ATTR_REC_S *p) { return DEV_RAW(d, VI_SET_DUMP_ATTR, p); }
s32 DU_DUZ_VI_GetDevDumpAttr(VI_DEV d, VI_DUMP_ATTR_REC_S *p) { return DEV_RAW(d, VI_GET_DUMP_ATTR, p); }
s32 DU_DUZ_VI_EnableBayerDump(VI_DEV d) { return DEV_RAW(d, VI_ENABLE_BAYER_DUMP, nullptr); }
s32 DU_DUZ_VI_DisableBayerDump(VI_DEV d) { return DEV_RAW(d, VI_DISABLE_BAYER_DUMP, nullptr); }
s32 DU_DUZ_VI_EnableBayerRead(VI_DEV d) { return DEV_RAW(d, VI_ENABLE_BAYER_READ, nullptr); }
s32 DU_DUZ_VI_DisableBayerRead(VI_DEV d) { return DEV_RAW(d, VI_DISABLE_BAYER_READ, nullptr); }
s32 VI_SetDISAttr(VI_DEV d, VI_DIS_ATTR_REC_S *p) { return DEV_REC(d, VI_SET_DIS_ATTR, p); }
s32 VI_GetDISAttr(VI_DEV d, VI_DIS_ATTR_REC_S *p) { return DEV_REC(d, VI_GET_DIS_ATTR, p); }
s32 DU_DUZ_VI_SetDCIParam(VI_DEV d, VI_DCI_PARAM_REC_S *p) { return DEV_REC(d, VI_SET_DCI_PARAM, p); }
s32 DU_DUZ_VI_GetDCIParam(VI_DEV d, VI_DCI_PARAM_REC_S *p) { return DEV_REC(d, VI_GET_DCI_PARAM, p); }
s32 DU_DUZ_VI_SetModParam(const VI_MOD_PARAM_REC_S *p) { return DEV_REC(0, VI_SET_MOD_PARAM, p); }
s32 DU_DUZ_VI_GetModParam(VI_MOD_PARAM_REC_S *p) { return DEV_REC(0, VI_GET_MOD_PARAM, p); }
s32 DU_DUZ_VI_SetChnUsrFrmMode(VI_CHN c, const u32 *p) { return CHN_REC(c, frame, VI_SET_USR_FRM_MODE, p); }

s32 DU_DUZ_VI_GetFrame(VI_CHN c, VIDEO_FRAME_REC_S *pstFrameInfo, s32 s32MilliSec)
{
    if (s32 ret = vi_target_check(__FUNCTION__, __LINE__, ViTarget::frame, c))
        return ret;
    if (!vi_ptr_ok(__FUNCTION__, __LINE__, pstFrameInfo))
        return ERR_VI_INVALID_NULL_PTR;
    VIDEO_FRAME_REQ_S req;
    memset(&req, 0, sizeof req);
    req.s32MilliSec = s32MilliSec;
    s32 ret = CHN_RAW(c, frame, VI_GET_FRAME, &req);
    if (ret == 0)
        *pstFrameInfo = req.stFrame;
    return ret;
}

s32 DU_DUZ_VI_SendBayerData(VI_DEV d, const VIDEO_FRAME_REC_S *pstFrame, s32 s32MilliSec)
{
    if (s32 ret = vi_target_check(__FUNCTION__, __LINE__, ViTarget::dev, d))
        return ret;
    if (!vi_ptr_ok(__FUNCTION__, __LINE__, pstFrame))
        return ERR_VI_INVALID_NULL_PTR;
    VIDEO_FRAME_REQ_S req;
    memset(&req, 0, sizeof req);
    req.stFrame = *pstFrame;
    req.s32MilliSec = s32MilliSec;
    return DEV_RAW(d, VI_SEND_BAYER_DATA, &req);
}

// Always on channel 0's descriptor.
s32 DU_DUZ_VI_SetRegDelayTime(u32 u32Value) { return CHN_RAW(0, chn, VI_SET_REG_DELAY, &u32Value); }

s32 DU_DUZ_VI_GetFd(VI_CHN c)
{
    if (s32 ret = vi_target_check(__FUNCTION__, __LINE__, ViTarget::chn, c))
        return ret;
    if (s32 ret = vi_open(g_s32ViChnFd[c], c, false))
        return ret;
    return g_s32ViChnFd[c];
}

// Closes every open descriptor; any close that fails makes the result busy.
s32 DU_DUZ_VI_CloseFd(void)
{
    bool failed = false;
    if (g_s32ViDevFd >= 0) {
        if (bd_close(g_s32ViDevFd) != 0) {
            perror("Close Vi dev Fail");
            failed = true;
        }
        g_s32ViDevFd = -1;
    }
    for (s32 &fd : g_s32ViChnFd) {
        if (fd < 0)
            continue;
        if (bd_close(fd) != 0) {
            perror("Close Vi chn Fail");
            failed = true;
        }
        fd = -1;
    }
    return failed ? ERR_VI_BUSY : 0;
}

#define VI_UNSUPPORTED(text) vi_unsupported(__FUNCTION__, __LINE__, text)
s32 DU_DUZ_VI_SetFisheyeDevConfig(VI_DEV, const void *) { return VI_UNSUPPORTED("unsupported API !\n"); }
s32 DU_DUZ_VI_GetFisheyeDevConfig(VI_DEV, void *) { return VI_UNSUPPORTED("unsupported API !\n"); }
s32 DU_DUZ_VI_SetFisheyeAttr(VI_CHN, const void *) { return VI_UNSUPPORTED("unsupported API !\n"); }
s32 DU_DUZ_VI_GetFisheyeAttr(VI_CHN, void *) { return VI_UNSUPPORTED("unsupported API !\n"); }
s32 DU_DUZ_VI_SetDISConfig(VI_DEV, const void *) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_GetDISConfig(VI_DEV, void *) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_DISInit(VI_DEV) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_SetDISAttr(VI_DEV, const void *) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_GetDISAttr(VI_DEV, void *) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_DISRun(VI_DEV) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_DISExit(VI_DEV) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_RegisterDISCallback(VI_DEV, const void *) { return VI_UNSUPPORTED("DIS not support!!\n"); }
s32 DU_DUZ_VI_UnRegisterDISCallback(VI_DEV) { return VI_UNSUPPORTED("DIS not support!!\n"); }

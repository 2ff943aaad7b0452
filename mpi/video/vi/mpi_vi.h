// The video input unit: input device 0 (the sensor's capture port) and its
// channels, frames out of the channels, and the device-level extras.
//
// Every device call goes through vi_dev_call, every channel call through vi_call (mpi_vi.cpp).
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/common/video_frame.h"

typedef s32 VI_DEV;
typedef s32 VI_CHN;

constexpr s32 VIU_MAX_DEV_NUM = 1;
constexpr s32 VIU_MAX_CHN_NUM = 17;     // channels 0..16
constexpr s32 VIU_MAX_FRM_CHN_NUM = 18; // frame requests reach channel 17
constexpr s32 VIU_EXT_CHN_START = 1;
constexpr s32 VIU_EXT_CHN_END = 16;

constexpr s32 ERR_VI_INVALID_DEVID = mpi_status(DU_ID_VIU, ERR_INVALID_DEVID);
constexpr s32 ERR_VI_INVALID_CHNID = mpi_status(DU_ID_VIU, ERR_INVALID_CHNID);
constexpr s32 ERR_VI_INVALID_PARA = mpi_status(DU_ID_VIU, ERR_ILLEGAL_PARAM);
constexpr s32 ERR_VI_INVALID_NULL_PTR = mpi_status(DU_ID_VIU, ERR_NULL_PTR);
constexpr s32 ERR_VI_NOT_SUPPORT = mpi_status(DU_ID_VIU, ERR_NOT_SUPPORT);
constexpr s32 ERR_VI_SYS_NOTREADY = mpi_status(DU_ID_VIU, ERR_SYS_NOTREADY);
constexpr s32 ERR_VI_BUSY = mpi_status(DU_ID_VIU, ERR_BUSY);
constexpr s32 ERR_VI_BUF_EMPTY = mpi_status(DU_ID_VIU, ERR_BUF_EMPTY);
constexpr s32 ERR_VI_NOT_PERM = mpi_status(DU_ID_VIU, ERR_NOT_PERM);

// Device attributes (the camera's values are the pipeline's).
struct VI_DEV_ATTR_REC_S {
    u32 enIntfMode;
    u32 enWorkMode;
    u32 au32CompMask[2];
    u32 enScanMode;     // 1 progressive
    s32 s32AdChnId[4];  // -1 none
    u32 enDataSeq;
    u32 au32SynCfg[15]; // sync, polarities, then nine timing-blank words
    u32 enDataPath;     // 1 through the ISP
    u32 enInputDataType;
    u32 bDataRev;
    s32 s32X, s32Y;     // capture rectangle
    u32 u32Width, u32Height;
};
static_assert(sizeof(VI_DEV_ATTR_REC_S) == 128, "device attributes");

struct VI_CHN_ATTR_REC_S {
    s32 s32X, s32Y;             // capture rectangle within the device's window
    u32 u32Width, u32Height;
    u32 u32DestWidth, u32DestHeight;
    u32 enCapSel;               // 2 both fields
    u32 enPixFormat;            // 23 semi-planar 4:2:0
    u32 enCompressMode;
    u32 bMirror;
    u32 bFlip;
    s32 s32SrcFrameRate;        // -1: no frame-rate control
    s32 s32DstFrameRate;
};
static_assert(sizeof(VI_CHN_ATTR_REC_S) == 52, "channel attributes");

struct VI_WDR_ATTR_REC_S {
    u32 enWDRMode;
    u32 bCompress;
};
static_assert(sizeof(VI_WDR_ATTR_REC_S) == 8, "WDR attributes");

// Colour conversion; word 2 is the contrast (45 neutral).
struct VI_CSC_ATTR_REC_S {
    u32 enViCscType;
    u32 u32LumaVal;
    u32 u32ContrVal;
    u32 u32HueVal;
    u32 u32SatuVal;
    u32 u32Reserved;
};
static_assert(sizeof(VI_CSC_ATTR_REC_S) == 24, "colour conversion");

// Channel status as the driver reports it.
struct VI_CHN_STAT_S {
    u32 bEnable;
    u32 u32IntCnt;   // frames captured
    u32 u32FrmRate;  // frames in the last second
    u32 u32LostInt;  // frames dropped
    u32 u32VbFail;   // frames without a free buffer
    u32 u32PicWidth;
    u32 u32PicHeight;
};
static_assert(sizeof(VI_CHN_STAT_S) == 28, "channel status");

// Records the driver keeps as they are given.
struct VI_DEV_ATTR_EX_REC_S { u32 au32Word[37]; };
struct VI_CHN_BIND_REC_S { s32 ViDev; s32 ViWay; };
struct VI_USERPIC_REC_S { u32 au32Word[38]; };
struct VI_FLASH_CONFIG_REC_S { u32 au32Word[5]; };
struct VI_LDC_ATTR_REC_S { u32 au32Word[5]; };
struct VI_EXT_CHN_ATTR_REC_S { u32 au32Word[7]; };
struct VI_EXT_CHN_CROP_REC_S { u32 au32Word[5]; };
struct VI_CHN_LUMA_REC_S { u32 u32Lum; u32 u32Reserved; u64 u64Pts; };
struct VI_DUMP_ATTR_REC_S { u32 au32Word[2]; };
struct VI_DIS_ATTR_REC_S { u32 au32Word[3]; };
struct VI_DCI_PARAM_REC_S { u32 au32Word[4]; };
struct VI_MOD_PARAM_REC_S { u32 au32Word[2]; };
static_assert(sizeof(VI_DEV_ATTR_EX_REC_S) == 148 && sizeof(VI_CHN_BIND_REC_S) == 8 &&
                  sizeof(VI_USERPIC_REC_S) == 152 && sizeof(VI_FLASH_CONFIG_REC_S) == 20 &&
                  sizeof(VI_LDC_ATTR_REC_S) == 20 && sizeof(VI_EXT_CHN_ATTR_REC_S) == 28 &&
                  sizeof(VI_EXT_CHN_CROP_REC_S) == 20 && sizeof(VI_CHN_LUMA_REC_S) == 16 &&
                  sizeof(VI_DUMP_ATTR_REC_S) == 8 && sizeof(VI_DIS_ATTR_REC_S) == 12 &&
                  sizeof(VI_DCI_PARAM_REC_S) == 16 && sizeof(VI_MOD_PARAM_REC_S) == 8,
              "pass-through records");

// The dark frame of a fixed-pattern-noise calibration, as the driver
// describes it: the ISP's FPN calls read the ISO, offset, pixel format and
// compression and pass the rest through. The board's dark frame is one row,
// every row of a column reading the same.
struct VI_FPN_FRAME_INFO_S {
    u32 u32Iso;         // the ISO the calibration ran at
    u32 u32Offset;      // the mean dark level, which the correction keeps
    u32 u32Width;       // pixels a row
    u32 u32Height;      // rows kept
    u32 u32PhyAddr;     // the dark frame, u16 per pixel
    u32 u32Stride;      // bytes a row
    u32 u32Size;        // bytes in all
    u32 enPixelFormat;  // 12 Raw8, 13 Raw10, 14 Raw12, 16 Raw16
    u32 u32TimeRef;
    u32 enCompressMode; // 0 none, 4 frame
    u32 au32Reserved[30];
};
static_assert(sizeof(VI_FPN_FRAME_INFO_S) == 160, "FPN frame information layout");

s32 DU_DUZ_VI_SetDevAttr(VI_DEV ViDev, const VI_DEV_ATTR_REC_S *pstDevAttr);
s32 DU_DUZ_VI_GetDevAttr(VI_DEV ViDev, VI_DEV_ATTR_REC_S *pstDevAttr);
s32 DU_DUZ_VI_SetDevAttrEx(VI_DEV ViDev, const VI_DEV_ATTR_EX_REC_S *pstDevAttrEx);
s32 DU_DUZ_VI_GetDevAttrEx(VI_DEV ViDev, VI_DEV_ATTR_EX_REC_S *pstDevAttrEx);
s32 DU_DUZ_VI_EnableDev(VI_DEV ViDev);
s32 DU_DUZ_VI_DisableDev(VI_DEV ViDev);
s32 DU_DUZ_VI_BindChn(VI_CHN ViChn, const VI_CHN_BIND_REC_S *pstChnBindAttr);
s32 DU_DUZ_VI_GetChnBind(VI_CHN ViChn, VI_CHN_BIND_REC_S *pstChnBindAttr);
s32 DU_DUZ_VI_UnBindChn(VI_CHN ViChn);
s32 DU_DUZ_VI_SetChnAttr(VI_CHN ViChn, const VI_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VI_GetChnAttr(VI_CHN ViChn, VI_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VI_EnableChn(VI_CHN ViChn);
s32 DU_DUZ_VI_DisableChn(VI_CHN ViChn);
s32 DU_DUZ_VI_EnableChnInterrupt(VI_CHN ViChn);
s32 DU_DUZ_VI_DisableChnInterrupt(VI_CHN ViChn);
s32 DU_DUZ_VI_SetFrameDepth(VI_CHN ViChn, u32 u32Depth);
s32 DU_DUZ_VI_GetFrameDepth(VI_CHN ViChn, u32 *pu32Depth);
s32 DU_DUZ_VI_GetFrame(VI_CHN ViChn, VIDEO_FRAME_REC_S *pstFrameInfo, s32 s32MilliSec);
s32 DU_DUZ_VI_ReleaseFrame(VI_CHN ViChn, const VIDEO_FRAME_REC_S *pstFrameInfo);
s32 DU_DUZ_VI_SetUserPic(VI_CHN ViChn, const VI_USERPIC_REC_S *pstUsrPic);
s32 DU_DUZ_VI_EnableUserPic(VI_CHN ViChn);
s32 DU_DUZ_VI_DisableUserPic(VI_CHN ViChn);
s32 DU_DUZ_VI_Query(VI_CHN ViChn, VI_CHN_STAT_S *pstStat);
s32 DU_DUZ_VI_SetRegDelayTime(u32 u32Value);
s32 DU_DUZ_VI_SetFlashConfig(VI_DEV ViDev, const VI_FLASH_CONFIG_REC_S *pstFlashConfig);
s32 DU_DUZ_VI_GetFlashConfig(VI_DEV ViDev, VI_FLASH_CONFIG_REC_S *pstFlashConfig);
s32 DU_DUZ_VI_TriggerFlash(VI_DEV ViDev, u32 bEnable);
s32 DU_DUZ_VI_SetCSCAttr(VI_DEV ViDev, const VI_CSC_ATTR_REC_S *pstCSCAttr);
s32 DU_DUZ_VI_GetCSCAttr(VI_DEV ViDev, VI_CSC_ATTR_REC_S *pstCSCAttr);
s32 DU_DUZ_VI_SetLDCAttr(VI_CHN ViChn, const VI_LDC_ATTR_REC_S *pstLDCAttr);
s32 DU_DUZ_VI_GetLDCAttr(VI_CHN ViChn, VI_LDC_ATTR_REC_S *pstLDCAttr);
s32 DU_DUZ_VI_SetRotate(VI_CHN ViChn, u32 enRotate);
s32 DU_DUZ_VI_GetRotate(VI_CHN ViChn, u32 *penRotate);
s32 DU_DUZ_VI_GetChnLuma(VI_CHN ViChn, VI_CHN_LUMA_REC_S *pstLuma);
s32 DU_DUZ_VI_SetExtChnAttr(VI_CHN ViChn, const VI_EXT_CHN_ATTR_REC_S *pstExtChnAttr);
s32 DU_DUZ_VI_GetExtChnAttr(VI_CHN ViChn, VI_EXT_CHN_ATTR_REC_S *pstExtChnAttr);
s32 DU_DUZ_VI_SetExtChnCrop(VI_CHN ViChn, const VI_EXT_CHN_CROP_REC_S *pstExtChnCrop);
s32 DU_DUZ_VI_GetExtChnCrop(VI_CHN ViChn, VI_EXT_CHN_CROP_REC_S *pstExtChnCrop);
s32 DU_DUZ_VI_SetWDRAttr(VI_DEV ViDev, const VI_WDR_ATTR_REC_S *pstWDRAttr);
s32 DU_DUZ_VI_GetWDRAttr(VI_DEV ViDev, VI_WDR_ATTR_REC_S *pstWDRAttr);
s32 DU_DUZ_VI_SetDevDumpAttr(VI_DEV ViDev, const VI_DUMP_ATTR_REC_S *pstDumpAttr);
s32 DU_DUZ_VI_GetDevDumpAttr(VI_DEV ViDev, VI_DUMP_ATTR_REC_S *pstDumpAttr);
s32 DU_DUZ_VI_EnableBayerDump(VI_DEV ViDev);
s32 DU_DUZ_VI_DisableBayerDump(VI_DEV ViDev);
s32 DU_DUZ_VI_EnableBayerRead(VI_DEV ViDev);
s32 DU_DUZ_VI_DisableBayerRead(VI_DEV ViDev);
s32 DU_DUZ_VI_SendBayerData(VI_DEV ViDev, const VIDEO_FRAME_REC_S *pstFrame, s32 s32MilliSec);
s32 VI_SetDISAttr(VI_DEV ViDev, VI_DIS_ATTR_REC_S *pstDISAttr);
s32 VI_GetDISAttr(VI_DEV ViDev, VI_DIS_ATTR_REC_S *pstDISAttr);
s32 DU_DUZ_VI_SetDCIParam(VI_DEV ViDev, VI_DCI_PARAM_REC_S *pstDciParam);
s32 DU_DUZ_VI_GetDCIParam(VI_DEV ViDev, VI_DCI_PARAM_REC_S *pstDciParam);
s32 DU_DUZ_VI_SetModParam(const VI_MOD_PARAM_REC_S *pstModParam);
s32 DU_DUZ_VI_GetModParam(VI_MOD_PARAM_REC_S *pstModParam);
s32 DU_DUZ_VI_SetChnUsrFrmMode(VI_CHN ViChn, const u32 *penMode);

// The channel's descriptor for select (not a status code on success).
s32 DU_DUZ_VI_GetFd(VI_CHN ViChn);
s32 DU_DUZ_VI_CloseFd(void);

// Not on this chip: each says so and returns ERR_VI_NOT_SUPPORT.
s32 DU_DUZ_VI_SetFisheyeDevConfig(VI_DEV ViDev, const void *pstConfig);
s32 DU_DUZ_VI_GetFisheyeDevConfig(VI_DEV ViDev, void *pstConfig);
s32 DU_DUZ_VI_SetFisheyeAttr(VI_CHN ViChn, const void *pstAttr);
s32 DU_DUZ_VI_GetFisheyeAttr(VI_CHN ViChn, void *pstAttr);
s32 DU_DUZ_VI_SetDISConfig(VI_DEV ViDev, const void *pstConfig);
s32 DU_DUZ_VI_GetDISConfig(VI_DEV ViDev, void *pstConfig);
s32 DU_DUZ_VI_DISInit(VI_DEV ViDev);
s32 DU_DUZ_VI_SetDISAttr(VI_DEV ViDev, const void *pstAttr);
s32 DU_DUZ_VI_GetDISAttr(VI_DEV ViDev, void *pstAttr);
s32 DU_DUZ_VI_DISRun(VI_DEV ViDev);
s32 DU_DUZ_VI_DISExit(VI_DEV ViDev);
s32 DU_DUZ_VI_RegisterDISCallback(VI_DEV ViDev, const void *pstCallback);
s32 DU_DUZ_VI_UnRegisterDISCallback(VI_DEV ViDev);

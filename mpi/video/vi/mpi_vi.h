// The video input unit: input device 0 (the sensor's capture port) and its
// channels, frames out of the channels, and the device-level extras.
//
// Every public call that is one request goes through vi_call (mpi_vi.cpp), on the
// device's descriptor or a channel's.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/vi/vi_requests.h"

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

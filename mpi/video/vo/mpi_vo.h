// The video output unit: output device 0 (the TV output), video layer 0 on
// it, the layer's display channels 0..31 and graphic layer 0. Each call
// checks its numbers, opens /dev/vo for the channel concerned and sends one
// request; the driver keeps all state.
//
// Every public call goes through vo_call (mpi_vo.cpp); the frame calls build
// their request in vo_frame_request, which sends it through vo_call.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/vo/vo_requests.h"

// ---- device ----
s32 DU_DUZ_VO_Enable(VO_DEV VoDev);
s32 DU_DUZ_VO_Disable(VO_DEV VoDev);
s32 DU_DUZ_VO_SetPubAttr(VO_DEV VoDev, const VO_PUB_ATTR_REC_S *pstPubAttr);
s32 DU_DUZ_VO_GetPubAttr(VO_DEV VoDev, VO_PUB_ATTR_REC_S *pstPubAttr);
s32 DU_DUZ_VO_SetDevFrameRate(VO_DEV VoDev, u32 u32FrameRate);
s32 DU_DUZ_VO_GetDevFrameRate(VO_DEV VoDev, u32 *pu32FrameRate);

// ---- video layer ----
s32 DU_DUZ_VO_EnableVideoLayer(VO_LAYER VoLayer);
s32 DU_DUZ_VO_DisableVideoLayer(VO_LAYER VoLayer);
s32 DU_DUZ_VO_SetVideoLayerAttr(VO_LAYER VoLayer, const VO_LAYER_ATTR_REC_S *pstLayerAttr);
s32 DU_DUZ_VO_GetVideoLayerAttr(VO_LAYER VoLayer, VO_LAYER_ATTR_REC_S *pstLayerAttr);
s32 DU_DUZ_VO_SetVideoLayerPriority(VO_LAYER VoLayer, u32 u32Priority);
s32 DU_DUZ_VO_GetVideoLayerPriority(VO_LAYER VoLayer, u32 *pu32Priority);
s32 DU_DUZ_VO_SetVideoLayerCSC(VO_LAYER VoLayer, const VO_CSC_REC_S *pstCSC);
s32 DU_DUZ_VO_GetVideoLayerCSC(VO_LAYER VoLayer, VO_CSC_REC_S *pstCSC);
s32 DU_DUZ_VO_SetDispBufLen(VO_LAYER VoLayer, u32 u32BufLen);
s32 DU_DUZ_VO_GetDispBufLen(VO_LAYER VoLayer, u32 *pu32BufLen);
s32 DU_DUZ_VO_SetPlayToleration(VO_LAYER VoLayer, u32 u32Toleration);
s32 DU_DUZ_VO_GetPlayToleration(VO_LAYER VoLayer, u32 *pu32Toleration);
s32 DU_DUZ_VO_GetScreenFrame(VO_LAYER VoLayer, VIDEO_FRAME_REC_S *pstVFrame, s32 s32MilliSec);
s32 DU_DUZ_VO_ReleaseScreenFrame(VO_LAYER VoLayer, const VIDEO_FRAME_REC_S *pstVFrame);
s32 DU_DUZ_VO_SetVideoLayerPartitionMode(VO_LAYER VoLayer, u32 enPartMode);
s32 DU_DUZ_VO_GetVideoLayerPartitionMode(VO_LAYER VoLayer, u32 *penPartMode);
s32 DU_DUZ_VO_SetAttrBegin(VO_LAYER VoLayer);
s32 DU_DUZ_VO_SetAttrEnd(VO_LAYER VoLayer);

// ---- channels of the video layer ----
s32 DU_DUZ_VO_EnableChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_DisableChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_SetChnAttr(VO_LAYER VoLayer, VO_CHN VoChn, const VO_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_VO_GetChnAttr(VO_LAYER VoLayer, VO_CHN VoChn, VO_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_VO_SetChnField(VO_LAYER VoLayer, VO_CHN VoChn, u32 enField);
s32 DU_DUZ_VO_GetChnField(VO_LAYER VoLayer, VO_CHN VoChn, u32 *penField);
s32 DU_DUZ_VO_SendFrame(VO_LAYER VoLayer, VO_CHN VoChn, const VIDEO_FRAME_REC_S *pstVFrame, s32 s32MilliSec);
s32 DU_DUZ_VO_GetChnFrame(VO_LAYER VoLayer, VO_CHN VoChn, VIDEO_FRAME_REC_S *pstFrame, s32 s32MilliSec);
s32 DU_DUZ_VO_ReleaseChnFrame(VO_LAYER VoLayer, VO_CHN VoChn, const VIDEO_FRAME_REC_S *pstFrame);
s32 DU_DUZ_VO_GetChnFrameRate(VO_LAYER VoLayer, VO_CHN VoChn, u32 *pu32FrameRate);
s32 DU_DUZ_VO_SetChnFrameRate(VO_LAYER VoLayer, VO_CHN VoChn, u32 u32FrameRate);
s32 DU_DUZ_VO_PauseChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_ResumeChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_StepChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_RefreshChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_SetZoomInWindow(VO_LAYER VoLayer, VO_CHN VoChn, const VO_ZOOM_REC_S *pstZoomAttr);
s32 DU_DUZ_VO_GetZoomInWindow(VO_LAYER VoLayer, VO_CHN VoChn, VO_ZOOM_REC_S *pstZoomAttr);
s32 DU_DUZ_VO_ShowChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_HideChn(VO_LAYER VoLayer, VO_CHN VoChn);
s32 DU_DUZ_VO_GetChnPts(VO_LAYER VoLayer, VO_CHN VoChn, u64 *pu64ChnPts);
s32 DU_DUZ_VO_QueryChnStat(VO_LAYER VoLayer, VO_CHN VoChn, u32 *pu32Stat);
s32 DU_DUZ_VO_ClearChnBuffer(VO_LAYER VoLayer, VO_CHN VoChn, u32 bClrAll);
s32 DU_DUZ_VO_SetChnBorder(VO_LAYER VoLayer, VO_CHN VoChn, const VO_BORDER_REC_S *pstBorder);
s32 DU_DUZ_VO_GetChnBorder(VO_LAYER VoLayer, VO_CHN VoChn, VO_BORDER_REC_S *pstBorder);
s32 DU_DUZ_VO_SetChnReceiveThreshold(VO_LAYER VoLayer, VO_CHN VoChn, u32 u32Threshold);
s32 DU_DUZ_VO_GetChnReceiveThreshold(VO_LAYER VoLayer, VO_CHN VoChn, u32 *pu32Threshold);
s32 DU_DUZ_VO_GetChnRegionLuma(VO_LAYER VoLayer, VO_CHN VoChn, const VIDEO_REGION_INFO_S *pstRegionInfo,
                               u32 *pu32LumaData, s32 s32MilliSec);

// ---- graphic layer ----
s32 DU_DUZ_VO_SetGraphicLayerCSC(GRAPHIC_LAYER u32Layer, const VO_CSC_REC_S *pstCSC);
s32 DU_DUZ_VO_GetGraphicLayerCSC(GRAPHIC_LAYER u32Layer, VO_CSC_REC_S *pstCSC);

// Closes every descriptor the unit holds.
s32 DU_DUZ_VO_CloseFd(void);

// Descriptors of /dev/vo by channel (entry 0 also for device and layer
// calls) and of the graphic layer; open only when greater than 0.
extern s32 g_as32VoFd[VO_MAX_CHN_NUM];
extern s32 g_as32GfxFd;

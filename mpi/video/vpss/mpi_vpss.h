// The video processing unit: groups that take the input's pictures and up to
// 12 output channels per group that crop, scale, mirror and hand them on.
//
// Every public call goes through vpss_call (mpi_vpss.cpp).
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/vpss/vpss_requests.h"

// ---- groups ---------------------------------------------------------------------------
s32 DU_DUZ_VPSS_CreateGrp(VPSS_GRP VpssGrp, const VPSS_GRP_ATTR_REC_S *pstGrpAttr);
s32 DU_DUZ_VPSS_DestroyGrp(VPSS_GRP VpssGrp);
s32 DU_DUZ_VPSS_SetGrpAttr(VPSS_GRP VpssGrp, const VPSS_GRP_ATTR_REC_S *pstGrpAttr);
s32 DU_DUZ_VPSS_GetGrpAttr(VPSS_GRP VpssGrp, VPSS_GRP_ATTR_REC_S *pstGrpAttr);
s32 DU_DUZ_VPSS_StartGrp(VPSS_GRP VpssGrp);
s32 DU_DUZ_VPSS_StopGrp(VPSS_GRP VpssGrp);
s32 DU_DUZ_VPSS_ResetGrp(VPSS_GRP VpssGrp);
s32 DU_DUZ_VPSS_EnableBackupFrame(VPSS_GRP VpssGrp);
s32 DU_DUZ_VPSS_DisableBackupFrame(VPSS_GRP VpssGrp);
s32 DU_DUZ_VPSS_SetGrpCrop(VPSS_GRP VpssGrp, const VPSS_CROP_REC_S *pstCropInfo);
s32 DU_DUZ_VPSS_GetGrpCrop(VPSS_GRP VpssGrp, VPSS_CROP_REC_S *pstCropInfo);
s32 DU_DUZ_VPSS_SetGrpParam(VPSS_GRP VpssGrp, const VPSS_GRP_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetGrpParam(VPSS_GRP VpssGrp, VPSS_GRP_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_SetGrpLevel2Param(VPSS_GRP VpssGrp, VPSS_GRP_LEVEL2_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetGrpLevel2Param(VPSS_GRP VpssGrp, VPSS_GRP_LEVEL2_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_SetNRV2Param(VPSS_GRP VpssGrp, const VPSS_NR_V2_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetNRV2Param(VPSS_GRP VpssGrp, VPSS_NR_V2_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_SetNRV3Param(VPSS_GRP VpssGrp, const VPSS_NR_V3_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetNRV3Param(VPSS_GRP VpssGrp, VPSS_NR_V3_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_SetNRBParam(VPSS_GRP VpssGrp, const VPSS_NRB_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetNRBParam(VPSS_GRP VpssGrp, VPSS_NRB_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_SetGrpParamV2(VPSS_GRP VpssGrp, const VPSS_GRP_PARAM_V2_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetGrpParamV2(VPSS_GRP VpssGrp, VPSS_GRP_PARAM_V2_REC_S *pstParam);
s32 DU_DUZ_VPSS_SetNRParam(VPSS_GRP VpssGrp, const VPSS_NR_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_GetNRParam(VPSS_GRP VpssGrp, VPSS_NR_PARAM_REC_S *pstParam);
s32 DU_DUZ_VPSS_SendFrame(VPSS_GRP VpssGrp, const VIDEO_FRAME_REC_S *pstVideoFrame, u32 u32MilliSec);
s32 DU_DUZ_VPSS_GetGrpFrame(VPSS_GRP VpssGrp, VIDEO_FRAME_REC_S *pstVideoFrame, u32 u32FrameIndex);
s32 DU_DUZ_VPSS_ReleaseGrpFrame(VPSS_GRP VpssGrp, const VIDEO_FRAME_REC_S *pstVideoFrame);
s32 DU_DUZ_VPSS_SetGrpFrameRate(VPSS_GRP VpssGrp, const VPSS_FRAME_RATE_REC_S *pstFrameRate);
s32 DU_DUZ_VPSS_GetGrpFrameRate(VPSS_GRP VpssGrp, VPSS_FRAME_RATE_REC_S *pstFrameRate);
s32 DU_DUZ_VPSS_SetGrpDelay(VPSS_GRP VpssGrp, u32 u32Delay);
s32 DU_DUZ_VPSS_GetGrpDelay(VPSS_GRP VpssGrp, u32 *pu32Delay);
s32 DU_DUZ_VPSS_SetImageQualityCfg(VPSS_GRP VpssGrp, const VPSS_IMG_QUALITY_CFG_REC_S *pstCfg);
s32 DU_DUZ_VPSS_GetImageQualityCfg(VPSS_GRP VpssGrp, VPSS_IMG_QUALITY_CFG_REC_S *pstCfg);
s32 DU_DUZ_VPSS_SetImageQualityCfg_New(VPSS_GRP VpssGrp, const VPSS_IMG_QUALITY_CFG_NEW_REC_S *pstCfg);
s32 DU_DUZ_VPSS_GetImageQualityCfg_New(VPSS_GRP VpssGrp, VPSS_IMG_QUALITY_CFG_NEW_REC_S *pstCfg);
s32 DU_DUZ_VPSS_SetRefSelect(VPSS_GRP VpssGrp, u32 enRefSel);
s32 DU_DUZ_VPSS_GetRefSelect(VPSS_GRP VpssGrp, u32 *penRefSel);
s32 DU_DUZ_VPSS_SetModParam(const VPSS_MOD_PARAM_REC_S *pstModParam);
s32 DU_DUZ_VPSS_GetModParam(VPSS_MOD_PARAM_REC_S *pstModParam);

// ---- channels -----------------------------------------------------------------------------
s32 DU_DUZ_VPSS_EnableChn(VPSS_GRP VpssGrp, VPSS_CHN VpssChn);
s32 DU_DUZ_VPSS_DisableChn(VPSS_GRP VpssGrp, VPSS_CHN VpssChn);
s32 DU_DUZ_VPSS_SetChnAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_VPSS_GetChnAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_VPSS_SetChnParam(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const u32 *pstChnParam);
s32 DU_DUZ_VPSS_GetChnParam(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 *pstChnParam);
s32 DU_DUZ_VPSS_SetChnMode(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_CHN_MODE_REC_S *pstVpssMode);
s32 DU_DUZ_VPSS_GetChnMode(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_CHN_MODE_REC_S *pstVpssMode);
s32 DU_DUZ_VPSS_SetDepth(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 u32Depth);
s32 DU_DUZ_VPSS_GetDepth(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 *pu32Depth);
s32 DU_DUZ_VPSS_GetChnFrame(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VIDEO_FRAME_REC_S *pstVideoFrame, s32 s32MilliSec);
s32 DU_DUZ_VPSS_ReleaseChnFrame(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VIDEO_FRAME_REC_S *pstVideoFrame);
s32 DU_DUZ_VPSS_SetExtChnAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_EXT_CHN_ATTR_REC_S *pstExtChnAttr);
s32 DU_DUZ_VPSS_GetExtChnAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_EXT_CHN_ATTR_REC_S *pstExtChnAttr);
s32 DU_DUZ_VPSS_SetExtChnCrop(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_CROP_REC_S *pstCropInfo);
s32 DU_DUZ_VPSS_GetExtChnCrop(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_CROP_REC_S *pstCropInfo);
s32 DU_DUZ_VPSS_SetChnOverlay(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 u32OverlayMask);
s32 DU_DUZ_VPSS_GetChnOverlay(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 *pu32OverlayMask);
s32 DU_DUZ_VPSS_GetRegionLuma(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VIDEO_REGION_INFO_S *pstRegionInfo,
                              u32 *pu32LumaData, s32 s32MilliSec);
s32 DU_DUZ_VPSS_SetChnCrop(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_CROP_REC_S *pstCropInfo);
s32 DU_DUZ_VPSS_GetChnCrop(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_CROP_REC_S *pstCropInfo);
s32 DU_DUZ_VPSS_SetChnCover(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 u32CoverMask);
s32 DU_DUZ_VPSS_GetChnCover(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 *pu32CoverMask);
s32 DU_DUZ_VPSS_SetLowDelayAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_LOW_DELAY_REC_S *pstLowDelay);
s32 DU_DUZ_VPSS_GetLowDelayAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_LOW_DELAY_REC_S *pstLowDelay);
s32 DU_DUZ_VPSS_SetChnNR(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 bEnable);
s32 DU_DUZ_VPSS_GetChnNR(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 *pbEnable);
s32 DU_DUZ_VPSS_SetRotate(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 enRotate);
s32 DU_DUZ_VPSS_GetRotate(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, u32 *penRotate);
s32 DU_DUZ_VPSS_SetLDCAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const VPSS_LDC_ATTR_REC_S *pstLDCAttr);
s32 DU_DUZ_VPSS_GetLDCAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, VPSS_LDC_ATTR_REC_S *pstLDCAttr);

// Not on this chip: each says so and returns ERR_VPSS_NOT_SUPPORT.
s32 DU_DUZ_VPSS_GetChnOutPutSize(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, void *pstSize);
s32 DU_DUZ_VPSS_SetFisheyeConfig(VPSS_GRP VpssGrp, const void *pstConfig);
s32 DU_DUZ_VPSS_GetFisheyeConfig(VPSS_GRP VpssGrp, void *pstConfig);
s32 DU_DUZ_VPSS_SetFisheyeAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, const void *pstAttr);
s32 DU_DUZ_VPSS_GetFisheyeAttr(VPSS_GRP VpssGrp, VPSS_CHN VpssChn, void *pstAttr);

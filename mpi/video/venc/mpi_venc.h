// The video encoder unit over /dev/venc: 16 channels with their stream ring
// buffers mapped into the process.
//
// Every one-request channel call goes through venc_call (mpi_venc_chn.cpp);
// the channel calls with checks of their own start with its first step,
// venc_chn_prepare (venc_call.h); the module parameters, on the unit's own
// descriptor rather than a channel's, go through venc_mod_request
// (mpi_venc_param.cpp).
#pragma once

#include <pthread.h>

#include "mpi/common/mpi_common.h"
#include "mpi/video/venc/venc_requests.h"

// Entries of the optional slice-transcoding library.
typedef s32 (*AVCDEC_INIT_FN)(s32 s32Param);
typedef void (*AVCDEC_DEINIT_FN)(void);
typedef void (*AVCDEC_TRANSCODE_SLICE_FN)(void *pstStream, u32 u32BufTag, u8 *pu8WorkBuf, u8 *pu8WorkBuf2);

// One encoder channel as this process sees it.
struct VENC_CHN_CTX_S {
    s32 s32Fd;                // the channel's own descriptor, bound to it; -1 while not open
    pthread_mutex_t stMutex;  // guards the test of the descriptor and the lazy open
    u32 u32StrmBufPhyAddr;    // stream ring buffer: physical base (0 while no channel)
    u32 u32StrmBufKernAddr;   // the driver's kernel address of it
    void *pStrmBufUserAddr;   // where its first byte lies here (null while not mapped)
    u32 u32StrmBufSize;
    void *pMapBase;           // what mmap returned
    u32 u32MapHalfLen;        // page-rounded length L; the mapping is 2 x L
    u32 bSliceTrans;          // slice transcoding armed
    u32 u32BufTag;
    s32 enType;               // payload type: 96 H.264, 265 H.265, 26 JPEG
    u32 bByFrame;
    void *pLibHandle;
    u8 *pu8WorkBuf;
    u8 *pu8WorkBuf2;
    u32 u32WorkBufHalfSize;
    AVCDEC_INIT_FN pfnAvcDecInit;
    AVCDEC_DEINIT_FN pfnAvcDecDeinit;
    AVCDEC_TRANSCODE_SLICE_FN pfnAvcDecTransCodeSlice;
};

extern u32 s_bMpiVencInit;
extern pthread_mutex_t stVencLock;
extern VENC_CHN_CTX_S g_stMpiVencChn[VENC_MAX_CHN_NUM];
extern s32 s32VencMemFd;

// The user context: started by the platform start and by any call of the
// unit, ended by the platform end.
s32 MPI_VENC_Init(void);
s32 MPI_VENC_Exit(void);
s32 DU_DUZ_VENC_CloseFd(s32 VeChn);

// ---- channels and streams ------------------------------------------------------------------

s32 DU_DUZ_VENC_CreateChn(VENC_CHN VeChn, const VENC_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VENC_DestroyChn(VENC_CHN VeChn);
s32 DU_DUZ_VENC_ResetChn(VENC_CHN VeChn);
s32 DU_DUZ_VENC_StartRecvPic(VENC_CHN VeChn);
s32 DU_DUZ_VENC_StopRecvPic(VENC_CHN VeChn);
s32 DU_DUZ_VENC_Query(VENC_CHN VeChn, VENC_CHN_STATE_S *pstStat);
s32 DU_DUZ_VENC_GetChnAttr(VENC_CHN VeChn, VENC_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VENC_SetChnAttr(VENC_CHN VeChn, const VENC_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VENC_SetRcParam(VENC_CHN VeChn, const VENC_RC_PARAM_REC_S *pstRcParam);
s32 DU_DUZ_VENC_GetRcParam(VENC_CHN VeChn, VENC_RC_PARAM_REC_S *pstRcParam);
s32 DU_DUZ_VENC_GetStream(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream, s32 s32MilliSec);
s32 DU_DUZ_VENC_ReleaseStream(VENC_CHN VeChn, VENC_STREAM_REC_S *pstStream);
s32 DU_DUZ_VENC_InsertUserData(VENC_CHN VeChn, u8 *pu8Data, u32 u32Len);
s32 DU_DUZ_VENC_SendFrame(VENC_CHN VeChn, const VIDEO_FRAME_REC_S *pstFrame, s32 s32MilliSec);
s32 DU_DUZ_VENC_VpssQuery(VENC_CHN VeChn, void *pstRecord);
s32 DU_DUZ_VENC_VpssSend(VENC_CHN VeChn, const void *pstRecord);
s32 DU_DUZ_VENC_SetMaxStreamCnt(VENC_CHN VeChn, u32 u32MaxStrmCnt);
s32 DU_DUZ_VENC_GetMaxStreamCnt(VENC_CHN VeChn, u32 *pu32MaxStrmCnt);
s32 DU_DUZ_VENC_RequestIDR(VENC_CHN VeChn, u32 bInstant);
s32 DU_DUZ_VENC_SetChnlPriority(VENC_CHN VeChn, u32 u32Priority);
s32 DU_DUZ_VENC_GetChnlPriority(VENC_CHN VeChn, u32 *pu32Priority);
// The channel's descriptor for select; a status code (negative) on failure.
s32 DU_DUZ_VENC_GetFd(VENC_CHN VeChn);

// Stream-buffer address translation of one channel (no checks).
u8 *VencVirt2User(VENC_CHN VeChn, u32 u32KernAddr);
u32 VencVirt2Phy(VENC_CHN VeChn, u32 u32KernAddr);
u32 VencUser2Virt(VENC_CHN VeChn, const u8 *pu8UserAddr);

// ---- parameter calls -------------------------------------------------------------------------

s32 DU_DUZ_VENC_SetFrameRate(VENC_CHN VeChn, const VENC_FRAME_RATE_REC_S *pstFrameRate);
s32 DU_DUZ_VENC_GetFrameRate(VENC_CHN VeChn, VENC_FRAME_RATE_REC_S *pstFrameRate);
s32 DU_DUZ_VENC_GetRoiCfg(VENC_CHN VeChn, u32 u32Index, VENC_ROI_CFG_REC_S *pstRoiCfg);
s32 DU_DUZ_VENC_SetRoiCfg(VENC_CHN VeChn, const VENC_ROI_CFG_REC_S *pstRoiCfg);
s32 DU_DUZ_VENC_SetRoiBgFrameRate(VENC_CHN VeChn, const VENC_ROI_BG_FRAME_RATE_REC_S *pstRoiBgFrmRate);
s32 DU_DUZ_VENC_GetRoiBgFrameRate(VENC_CHN VeChn, VENC_ROI_BG_FRAME_RATE_REC_S *pstRoiBgFrmRate);
s32 DU_DUZ_VENC_SetH264SliceSplit(VENC_CHN VeChn, const VENC_H264_SLICE_SPLIT_REC_S *pstSliceSplit);
s32 DU_DUZ_VENC_GetH264SliceSplit(VENC_CHN VeChn, VENC_H264_SLICE_SPLIT_REC_S *pstSliceSplit);
s32 DU_DUZ_VENC_SetH264InterPred(VENC_CHN VeChn, const VENC_H264_INTER_PRED_REC_S *pstH264InterPred);
s32 DU_DUZ_VENC_GetH264InterPred(VENC_CHN VeChn, VENC_H264_INTER_PRED_REC_S *pstH264InterPred);
s32 DU_DUZ_VENC_SetH264IntraPred(VENC_CHN VeChn, const VENC_H264_INTRA_PRED_REC_S *pstH264IntraPred);
s32 DU_DUZ_VENC_GetH264IntraPred(VENC_CHN VeChn, VENC_H264_INTRA_PRED_REC_S *pstH264IntraPred);
s32 DU_DUZ_VENC_SetH264IntraPredEx(VENC_CHN VeChn, const VENC_H264_INTRA_PRED_EX_REC_S *pstH264IntraPred);
s32 DU_DUZ_VENC_GetH264IntraPredEx(VENC_CHN VeChn, VENC_H264_INTRA_PRED_EX_REC_S *pstH264IntraPred);
s32 DU_DUZ_VENC_SetH264Trans(VENC_CHN VeChn, const VENC_H264_TRANS_REC_S *pstH264Trans);
s32 DU_DUZ_VENC_GetH264Trans(VENC_CHN VeChn, VENC_H264_TRANS_REC_S *pstH264Trans);
s32 DU_DUZ_VENC_SetH264Entropy(VENC_CHN VeChn, const VENC_H264_ENTROPY_REC_S *pstH264EntropyEnc);
s32 DU_DUZ_VENC_GetH264Entropy(VENC_CHN VeChn, VENC_H264_ENTROPY_REC_S *pstH264EntropyEnc);
s32 DU_DUZ_VENC_SetH264Poc(VENC_CHN VeChn, const VENC_H264_POC_REC_S *pstH264Poc);
s32 DU_DUZ_VENC_GetH264Poc(VENC_CHN VeChn, VENC_H264_POC_REC_S *pstH264Poc);
s32 DU_DUZ_VENC_SetH264Dblk(VENC_CHN VeChn, const VENC_H264_DBLK_REC_S *pstH264Dblk);
s32 DU_DUZ_VENC_GetH264Dblk(VENC_CHN VeChn, VENC_H264_DBLK_REC_S *pstH264Dblk);
s32 DU_DUZ_VENC_SetH264RDO(VENC_CHN VeChn, const VENC_H264_RDO_REC_S *pstH264RDO);
s32 DU_DUZ_VENC_GetH264RDO(VENC_CHN VeChn, VENC_H264_RDO_REC_S *pstH264RDO);
s32 DU_DUZ_VENC_SetH264Vui(VENC_CHN VeChn, const VENC_H264_VUI_REC_S *pstH264Vui);
s32 DU_DUZ_VENC_GetH264Vui(VENC_CHN VeChn, VENC_H264_VUI_REC_S *pstH264Vui);
s32 DU_DUZ_VENC_SetH264IdrPicId(VENC_CHN VeChn, const VENC_H264_IDR_PIC_ID_REC_S *pstH264IdrPicId);
s32 DU_DUZ_VENC_GetH264IdrPicId(VENC_CHN VeChn, VENC_H264_IDR_PIC_ID_REC_S *pstH264IdrPicId);
s32 DU_DUZ_VENC_SetJpegParam(VENC_CHN VeChn, const VENC_JPEG_PARAM_REC_S *pstJpegParam);
s32 DU_DUZ_VENC_GetJpegParam(VENC_CHN VeChn, VENC_JPEG_PARAM_REC_S *pstJpegParam);
s32 DU_DUZ_VENC_SetMjpegParam(VENC_CHN VeChn, const VENC_MJPEG_PARAM_REC_S *pstMjpegParam);
s32 DU_DUZ_VENC_GetMjpegParam(VENC_CHN VeChn, VENC_MJPEG_PARAM_REC_S *pstMjpegParam);
s32 DU_DUZ_VENC_SetJpegSnapMode(VENC_CHN VeChn, VENC_JPEG_SNAP_MODE_E enJpegSnapMode);
s32 DU_DUZ_VENC_GetJpegSnapMode(VENC_CHN VeChn, VENC_JPEG_SNAP_MODE_E *penJpegSnapMode);
s32 DU_DUZ_VENC_StartRecvPicEx(VENC_CHN VeChn, const VENC_RECV_PIC_PARAM_REC_S *pstRecvParam);
s32 DU_DUZ_VENC_SetRefParam(VENC_CHN VeChn, const VENC_REF_PARAM_REC_S *pstRefParam);
s32 DU_DUZ_VENC_GetRefParam(VENC_CHN VeChn, VENC_REF_PARAM_REC_S *pstRefParam);
s32 DU_DUZ_VENC_SetRefParamEx(VENC_CHN VeChn, const VENC_REF_PARAM_EX_REC_S *pstRefParam);
s32 DU_DUZ_VENC_GetRefParamEx(VENC_CHN VeChn, VENC_REF_PARAM_EX_REC_S *pstRefParam);
s32 DU_DUZ_VENC_EnableIDR(VENC_CHN VeChn, u32 bEnableIDR);
s32 DU_DUZ_VENC_SetCrop(VENC_CHN VeChn, const VENC_CROP_REC_S *pstCropCfg);
s32 DU_DUZ_VENC_GetCrop(VENC_CHN VeChn, VENC_CROP_REC_S *pstCropCfg);
s32 DU_DUZ_VENC_SetColor2Grey(VENC_CHN VeChn, const VENC_COLOR2GREY_REC_S *pstChnColor2Grey);
s32 DU_DUZ_VENC_GetColor2Grey(VENC_CHN VeChn, VENC_COLOR2GREY_REC_S *pstChnColor2Grey);
s32 DU_DUZ_VENC_GetStreamBufInfo(VENC_CHN VeChn, VENC_STREAM_BUF_INFO_REC_S *pstStreamBufInfo);
s32 DU_DUZ_VENC_SetH265SliceSplit(VENC_CHN VeChn, const VENC_H265_SLICE_SPLIT_REC_S *pstSliceSplit);
s32 DU_DUZ_VENC_GetH265SliceSplit(VENC_CHN VeChn, VENC_H265_SLICE_SPLIT_REC_S *pstSliceSplit);
s32 DU_DUZ_VENC_SetH265PredUnit(VENC_CHN VeChn, const VENC_H265_PRED_UNIT_REC_S *pstPredUnit);
s32 DU_DUZ_VENC_GetH265PredUnit(VENC_CHN VeChn, VENC_H265_PRED_UNIT_REC_S *pstPredUnit);
s32 DU_DUZ_VENC_SetH265Trans(VENC_CHN VeChn, const VENC_H265_TRANS_REC_S *pstH265Trans);
s32 DU_DUZ_VENC_GetH265Trans(VENC_CHN VeChn, VENC_H265_TRANS_REC_S *pstH265Trans);
s32 DU_DUZ_VENC_SetH265Entropy(VENC_CHN VeChn, const VENC_H265_ENTROPY_REC_S *pstH265Entropy);
s32 DU_DUZ_VENC_GetH265Entropy(VENC_CHN VeChn, VENC_H265_ENTROPY_REC_S *pstH265Entropy);
s32 DU_DUZ_VENC_SetH265Dblk(VENC_CHN VeChn, const VENC_H265_DBLK_REC_S *pstH265Dblk);
s32 DU_DUZ_VENC_GetH265Dblk(VENC_CHN VeChn, VENC_H265_DBLK_REC_S *pstH265Dblk);
s32 DU_DUZ_VENC_SetH265Sao(VENC_CHN VeChn, const VENC_H265_SAO_REC_S *pstH265Sao);
s32 DU_DUZ_VENC_GetH265Sao(VENC_CHN VeChn, VENC_H265_SAO_REC_S *pstH265Sao);
s32 DU_DUZ_VENC_SetH265Timing(VENC_CHN VeChn, const VENC_H265_TIMING_REC_S *pstH265Timing);
s32 DU_DUZ_VENC_GetH265Timing(VENC_CHN VeChn, VENC_H265_TIMING_REC_S *pstH265Timing);
s32 DU_DUZ_VENC_SetH265IntraPredEx(VENC_CHN VeChn, const VENC_H265_INTRA_PRED_EX_REC_S *pstIntraPred);
s32 DU_DUZ_VENC_GetH265IntraPredEx(VENC_CHN VeChn, VENC_H265_INTRA_PRED_EX_REC_S *pstIntraPred);
s32 DU_DUZ_VENC_SetFrameLostStrategy(VENC_CHN VeChn, const VENC_FRAME_LOST_REC_S *pstFrmLostParam);
s32 DU_DUZ_VENC_GetFrameLostStrategy(VENC_CHN VeChn, VENC_FRAME_LOST_REC_S *pstFrmLostParam);
s32 DU_DUZ_VENC_SetFaceCfg(VENC_CHN VeChn, const VENC_FACE_CFG_REC_S *pstFaceCfg);
s32 DU_DUZ_VENC_GetFaceCfg(VENC_CHN VeChn, VENC_FACE_CFG_REC_S *pstFaceCfg);
s32 DU_DUZ_VENC_SetPatternAdaptiveCfg(VENC_CHN VeChn, const VENC_PATTERN_ADAPTIVE_REC_S *pstPatternCfg);
s32 DU_DUZ_VENC_GetPatternAdaptiveCfg(VENC_CHN VeChn, VENC_PATTERN_ADAPTIVE_REC_S *pstPatternCfg);
s32 DU_DUZ_VENC_SetSkipAlgCfg(VENC_CHN VeChn, const VENC_SKIP_ALG_REC_S *pstSkipAlg);
s32 DU_DUZ_VENC_GetSkipAlgCfg(VENC_CHN VeChn, VENC_SKIP_ALG_REC_S *pstSkipAlg);
s32 DU_DUZ_VENC_SetSuperFrameCfg(VENC_CHN VeChn, const VENC_SUPER_FRAME_REC_S *pstSuperFrmParam);
s32 DU_DUZ_VENC_GetSuperFrameCfg(VENC_CHN VeChn, VENC_SUPER_FRAME_REC_S *pstSuperFrmParam);
s32 DU_DUZ_VENC_SetThumbNailImageCfg(VENC_CHN VeChn, const VENC_THUMBNAIL_IMAGE_REC_S *pstThumbNail);
s32 DU_DUZ_VENC_GetThumbNailImageCfg(VENC_CHN VeChn, VENC_THUMBNAIL_IMAGE_REC_S *pstThumbNail);
s32 DU_DUZ_VENC_SetH264SkinCfg(VENC_CHN VeChn, const VENC_H264_SKIN_REC_S *pstSkinCfg);
s32 DU_DUZ_VENC_GetH264SkinCfg(VENC_CHN VeChn, VENC_H264_SKIN_REC_S *pstSkinCfg);
s32 DU_DUZ_VENC_SetCostAlgFlag(VENC_CHN VeChn, u32 bCostAlg);
s32 DU_DUZ_VENC_GetCostAlgFlag(VENC_CHN VeChn, u32 *pbCostAlg);
s32 DU_DUZ_VENC_EnableInterPskip(VENC_CHN VeChn, u32 bEnable);
s32 DU_DUZ_VENC_SetRcPriority(VENC_CHN VeChn, VENC_RC_PRIORITY_E enRcPriority);
s32 DU_DUZ_VENC_GetRcPriority(VENC_CHN VeChn, VENC_RC_PRIORITY_E *penRcPriority);
s32 DU_DUZ_VENC_AttachVbPool(VENC_CHN VeChn, u32 u32PoolId);
s32 DU_DUZ_VENC_DetachVbPool(VENC_CHN VeChn);
s32 DU_DUZ_VENC_SetIntraRefresh(VENC_CHN VeChn, const VENC_INTRA_REFRESH_REC_S *pstIntraRefresh);
s32 DU_DUZ_VENC_GetIntraRefresh(VENC_CHN VeChn, VENC_INTRA_REFRESH_REC_S *pstIntraRefresh);
s32 DU_DUZ_VENC_SetSceneMode(VENC_CHN VeChn, const VENC_SCENE_MODE_REC_S *pstSceneMode);
s32 DU_DUZ_VENC_GetSceneMode(VENC_CHN VeChn, VENC_SCENE_MODE_REC_S *pstSceneMode);
s32 DU_DUZ_VENC_SetSceneInput(VENC_CHN VeChn, const VENC_SCENE_INPUT_REC_S *pstSceneInput);
s32 DU_DUZ_VENC_GetSceneInput(VENC_CHN VeChn, VENC_SCENE_INPUT_REC_S *pstSceneInput);

// ---- module parameters --------------------------------------------------------------------------
// The encoder module as a whole, over a descriptor of its own that is bound
// to no channel; it needs no unit start and stays open for the process's life.
extern s32 g_S32VencFd;
s32 DU_DUZ_VENC_SetModParam(const VENC_MOD_PARAM_REC_S *pstModParam);
s32 DU_DUZ_VENC_GetModParam(VENC_MOD_PARAM_REC_S *pstModParam);

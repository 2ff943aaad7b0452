// The video encoder unit over /dev/venc: 16 channels with their stream ring
// buffers mapped into the process.
#pragma once

#include <pthread.h>

#include "mpi/common/mpi_common.h"
#include "mpi/common/video_frame.h"

#include <cstddef>

constexpr u32 VENC_MAX_CHN_NUM = 16;
constexpr u32 VENC_STREAM_OFFSET = 64; // driver header in front of each pack

constexpr s32 DU_ERR_VENC_INVALID_CHNID = mpi_status(DU_ID_VENC, ERR_INVALID_CHNID);
constexpr s32 DU_ERR_VENC_ILLEGAL_PARAM = mpi_status(DU_ID_VENC, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_VENC_UNEXIST = mpi_status(DU_ID_VENC, ERR_UNEXIST);
constexpr s32 DU_ERR_VENC_NULL_PTR = mpi_status(DU_ID_VENC, ERR_NULL_PTR);
constexpr s32 DU_ERR_VENC_NOMEM = mpi_status(DU_ID_VENC, ERR_NOMEM);
constexpr s32 DU_ERR_VENC_NOTREADY = mpi_status(DU_ID_VENC, ERR_SYS_NOTREADY);

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

typedef s32 VENC_CHN;

constexpr u32 VENC_MAX_ROI_NUM = 8;

constexpr s32 DU_ERR_VENC_NOT_SUPPORT = mpi_status(DU_ID_VENC, ERR_NOT_SUPPORT);
constexpr s32 DU_ERR_VENC_NOT_PERM = mpi_status(DU_ID_VENC, ERR_NOT_PERM);
constexpr s32 DU_ERR_VENC_EXIST = mpi_status(DU_ID_VENC, ERR_EXIST);
constexpr s32 DU_ERR_VENC_BUF_EMPTY = mpi_status(DU_ID_VENC, ERR_BUF_EMPTY);
constexpr s32 DU_ERR_VENC_NOBUF = mpi_status(DU_ID_VENC, ERR_NOBUF);

// Payload types (MPP_PAYLOAD_TYPE_E).
enum : u32 { PT_JPEG = 26, PT_H264 = 96, PT_H265 = 265, PT_MJPEG = 1002 };

// Rate-control modes (VENC_RC_MODE_E) the encoder offers.
enum : u32 { VENC_RC_MODE_H264CBR = 1, VENC_RC_MODE_H264VBR = 2, VENC_RC_MODE_H265CBR = 13, VENC_RC_MODE_H265VBR = 14 };
enum : u32 { VENC_RC_MODE_H264FIXQP = 3, VENC_RC_MODE_H265FIXQP = 15 };

// Profiles of an H.264 channel; an H.265 channel codes Main (0).
enum : u32 { VENC_H264_PROFILE_BASELINE = 0, VENC_H264_PROFILE_MAIN = 1, VENC_H264_PROFILE_HIGH = 2 };

// The encoder part after the payload type, for H.264 and H.265 channels.
struct VENC_ATTR_VIDEO_S {
    u32 u32MaxPicWidth, u32MaxPicHeight;
    u32 u32BufSize;
    u32 u32Profile;
    u32 bByFrame;
    u32 u32PicWidth, u32PicHeight;
    u32 u32BFrameNum;
    u32 u32RefNum;
};
// ... and for JPEG channels.
struct VENC_ATTR_JPEG_S {
    u32 u32MaxPicWidth, u32MaxPicHeight;
    u32 u32BufSize;
    u32 bByFrame;
    u32 u32PicWidth, u32PicHeight;
    u32 bSupportDCF;
    u32 u32Reserved[2];
};
// Rate control: words 16-18 are the fluctuation level (constant rate), the
// maximum and minimum QP (variable rate), or the I and the P QP (fixed QP,
// where the bit rate means nothing).
struct VENC_RC_ATTR_S {
    u32 enRcMode;
    u32 u32Gop;
    u32 u32StatTime;
    u32 u32SrcFrmRate;
    u32 u32DstFrmRate;
    u32 u32BitRate; // kbit/s; the ceiling of a variable rate
    u32 u32FluctuateLevelOrMaxQp;
    u32 u32MinQp;
    u32 u32Reserved;
};
struct VENC_CHN_ATTR_REC_S {
    u32 enType;
    union {
        VENC_ATTR_VIDEO_S stVideo;
        VENC_ATTR_JPEG_S stJpeg;
    };
    VENC_RC_ATTR_S stRcAttr;
};
static_assert(sizeof(VENC_CHN_ATTR_REC_S) == 76 && offsetof(VENC_CHN_ATTR_REC_S, stRcAttr) == 40,
              "channel attributes");

struct VENC_RC_PARAM_REC_S {
    u32 au32Word[41];
};
static_assert(sizeof(VENC_RC_PARAM_REC_S) == 164, "rate-control parameters");

struct VENC_CHN_STATE_S {
    u32 u32LeftPics;         // pictures waiting to be encoded
    u32 u32LeftStreamBytes;  // bytes of streams waiting
    u32 u32LeftStreamFrames; // streams waiting
    u32 u32CurPackNum;       // packs of the stream the next GetStream returns
    u32 u32LeftRecvPics;     // pictures still to receive after StartRecvPicEx
    u32 u32LeftEncPics;
};
static_assert(sizeof(VENC_CHN_STATE_S) == 24, "channel state");

struct VENC_PACK_REC_S {
    u32 u32PhyAddr;
    u8 *pu8Data;
    u32 u32Len;
    u64 u64TimeStamp;
    u32 bFrameEnd;
    u32 u32NaluType;
    u32 u32DataOffset;
    u32 au32PackInfo[25];
};
struct VENC_STREAM_REC_S {
    VENC_PACK_REC_S *pstPack;
    u32 u32PackNum;
    u32 u32Seq;
    u32 au32FrameInfo[14];
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VENC_PACK_REC_S) == 136 && sizeof(VENC_STREAM_REC_S) == 68, "stream records");
#endif

struct VENC_STREAM_BUF_INFO_REC_S {
    u32 u32PhyBase;
    void *pUserBase;
    u32 u32BufLen;
};

struct VENC_RECV_PIC_PARAM_REC_S {
    s32 s32RecvPicNum;
};

// Parameter records; their words are the driver's.
struct VENC_FRAME_RATE_REC_S { s32 s32SrcFrmRate; s32 s32DstFrmRate; };
struct VENC_ROI_CFG_REC_S { u32 u32Index; u32 au32Word[7]; };
struct VENC_ROI_BG_FRAME_RATE_REC_S { s32 s32SrcFrmRate; s32 s32DstFrmRate; };
// Slices per picture: split mode 0 cuts a slice every u32SliceSize bytes,
// mode 1 every u32SliceSize macroblock rows (H.265: CTU rows).
enum : u32 { VENC_SLICE_SPLIT_BYTES = 0, VENC_SLICE_SPLIT_ROWS = 1 };
struct VENC_H264_SLICE_SPLIT_REC_S { u32 bSplitEnable; u32 u32SplitMode; u32 u32SliceSize; };
struct VENC_H264_INTER_PRED_REC_S { u32 au32Word[7]; };
struct VENC_H264_INTRA_PRED_REC_S { u32 au32Word[4]; };
struct VENC_H264_INTRA_PRED_EX_REC_S { u32 au32Word[5]; };
struct VENC_H264_TRANS_REC_S { u32 au32Word[36]; };
// Entropy coding of I and P slices: 0 CAVLC, 1 CABAC.
struct VENC_H264_ENTROPY_REC_S { u32 u32EntropyModeI; u32 u32EntropyModeP; u32 bCabacStuffing; u32 u32CabacInitIdc; };
struct VENC_H264_POC_REC_S { u32 u32PocType; };
struct VENC_H264_DBLK_REC_S { u32 disable_deblocking_filter_idc; s32 slice_alpha_c0_offset_div2; s32 slice_beta_offset_div2; };
struct VENC_H264_RDO_REC_S { u32 au32Word[7]; };
// The sequence's video usability information: timing, then the video
// signal type with its colour description (values of the H.264 tables E-3
// to E-5).
struct VENC_H264_VUI_REC_S {
    u32 timing_info_present_flag;
    u32 num_units_in_tick;
    u32 time_scale;
    u32 fixed_frame_rate_flag;
    u32 video_signal_type_present_flag;
    u32 video_full_range_flag;
    u8 colour_description_present_flag;
    u8 colour_primaries;
    u8 transfer_characteristics;
    u8 matrix_coefficients;
};
struct VENC_H264_IDR_PIC_ID_REC_S { u32 au32Word[2]; };
struct VENC_JPEG_PARAM_REC_S { u32 au32Word[50]; };
struct VENC_MJPEG_PARAM_REC_S { u32 au32Word[49]; };
struct VENC_REF_PARAM_REC_S { u32 au32Word[3]; };
struct VENC_REF_PARAM_EX_REC_S { u32 au32Word[6]; };
struct VENC_COLOR2GREY_REC_S { u32 bColor2Grey; };
struct VENC_CROP_REC_S { u32 bEnable; s32 s32X, s32Y; u32 u32Width, u32Height; };
struct VENC_H265_SLICE_SPLIT_REC_S { u32 bSplitEnable; u32 u32SplitMode; u32 u32SliceSize; u32 u32Reserved; };
struct VENC_H265_PRED_UNIT_REC_S { u32 au32Word[9]; };
struct VENC_H265_TRANS_REC_S { u32 au32Word[4]; };
struct VENC_H265_ENTROPY_REC_S { u32 u32CabacInitFlag; };
struct VENC_H265_DBLK_REC_S { u32 slice_deblocking_filter_disabled_flag; s32 slice_beta_offset_div2; s32 slice_tc_offset_div2; };
struct VENC_H265_SAO_REC_S { u32 slice_sao_luma_flag; u32 slice_sao_chroma_flag; };
// u32NumTicksPocDiffOne 0: the picture order is not stated in ticks.
struct VENC_H265_TIMING_REC_S {
    u32 timing_info_present_flag;
    u32 num_units_in_tick;
    u32 time_scale;
    u32 u32NumTicksPocDiffOne;
};
struct VENC_H265_INTRA_PRED_EX_REC_S { u32 u32Word; };
struct VENC_FRAME_LOST_REC_S { u32 bFrmLostOpen; u32 u32FrmLostBpsThr; u32 enFrmLostMode; u32 u32EncFrmGaps; };
typedef u32 VENC_JPEG_SNAP_MODE_E;
struct VENC_FACE_CFG_REC_S { u32 au32Word[347]; };
struct VENC_PATTERN_ADAPTIVE_REC_S { u32 au32Word[4]; };
struct VENC_SKIP_ALG_REC_S { u32 au32Word[8]; };
struct VENC_SUPER_FRAME_REC_S { u32 au32Word[4]; };
struct VENC_THUMBNAIL_IMAGE_REC_S { u32 au32Word[3]; };
struct VENC_H264_SKIN_REC_S { u32 au32Word[5]; };
// Refresh by I slices (bISliceEnable) arms the channel's slice transcoding;
// the last two words are the driver's.
struct VENC_INTRA_REFRESH_REC_S { u32 bRefreshEnable; u32 bISliceEnable; u32 au32Word[2]; };
struct VENC_SCENE_MODE_REC_S { u32 u32SceneMode; };
struct VENC_SCENE_INPUT_REC_S { u32 u32SceneInput; };
struct VENC_MOD_PARAM_REC_S { u32 au32Word[5]; };
typedef u32 VENC_RC_PRIORITY_E;

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

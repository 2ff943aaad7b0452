// Requests of /dev/venc ('E'), their records and the status codes the driver
// answers with, shared by the encoder unit and its driver.
#pragma once

#include "mpi/common/common_requests.h"
#include "mpi/common/video_frame_requests.h" // the frames sent to a channel

#include <cstddef>

constexpr u32 VENC_MAX_CHN_NUM = 16;
constexpr u32 VENC_STREAM_OFFSET = 64; // driver header in front of each pack
constexpr u32 VENC_MAX_ROI_NUM = 8;

typedef s32 VENC_CHN;

constexpr s32 DU_ERR_VENC_INVALID_CHNID = mpi_status(DU_ID_VENC, ERR_INVALID_CHNID);
constexpr s32 DU_ERR_VENC_ILLEGAL_PARAM = mpi_status(DU_ID_VENC, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_VENC_UNEXIST = mpi_status(DU_ID_VENC, ERR_UNEXIST);
constexpr s32 DU_ERR_VENC_NULL_PTR = mpi_status(DU_ID_VENC, ERR_NULL_PTR);
constexpr s32 DU_ERR_VENC_NOMEM = mpi_status(DU_ID_VENC, ERR_NOMEM);
constexpr s32 DU_ERR_VENC_NOTREADY = mpi_status(DU_ID_VENC, ERR_SYS_NOTREADY);
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

constexpr unsigned long VENC_CREATE_CHN_CTRL = 0x404C4500;
constexpr unsigned long VENC_DESTROY_CHN_CTRL = 0x00004501;
constexpr unsigned long VENC_SET_RC_PARAM_CTRL = 0x40A44502;
constexpr unsigned long VENC_GET_RC_PARAM_CTRL = 0xC0A44503;
constexpr unsigned long VENC_START_RECV_CTRL = 0x00004506;
constexpr unsigned long VENC_STOP_RECV_CTRL = 0x00004507;
constexpr unsigned long VENC_GET_STREAM_CTRL = 0xC0444508;
constexpr unsigned long VENC_RELEASE_STREAM_CTRL = 0x40444509;
constexpr unsigned long VENC_QUERY_CTRL = 0x8018450A;
constexpr unsigned long VENC_GET_STRMBUF_INFO_CTRL = 0x8010450B;
constexpr unsigned long VENC_SET_GETSTREAM_TIMEOUT_CTRL = 0x4004450E;
constexpr unsigned long VENC_SET_SENDFRAME_TIMEOUT_CTRL = 0x4004450F;
constexpr unsigned long VENC_REQUEST_IDR_CTRL = 0x40044510;
constexpr unsigned long VENC_INSERT_USERDATA_CTRL = 0x40084511;
constexpr unsigned long VENC_SET_MAX_STREAM_CNT_CTRL = 0xC0044512;
constexpr unsigned long VENC_GET_MAX_STREAM_CNT_CTRL = 0xC0044513;
constexpr unsigned long VENC_BIND_CHN_CTRL = 0x40044514;
constexpr unsigned long VENC_RESET_CHN_CTRL = 0x0000453D;
constexpr unsigned long VENC_SEND_FRAME_CTRL = 0x4090453E;
constexpr unsigned long VENC_VPSS_QUERY_CTRL = 0xC0904541;
constexpr unsigned long VENC_VPSS_SEND_CTRL = 0x40904542;
constexpr unsigned long VENC_SET_CHN_PRIORITY_CTRL = 0x40044568;
constexpr unsigned long VENC_GET_CHN_PRIORITY_CTRL = 0x80044569;
constexpr unsigned long VENC_SET_CHN_ATTR_CTRL = 0x404C4575;
constexpr unsigned long VENC_GET_CHN_ATTR_CTRL = 0xC04C4576;

static_assert(VENC_BIND_CHN_CTRL == MPI_IOC(MPI_IOC_WRITE, 4, 'E', 20), "request numbers");

// ---- parameter pairs -------------------------------------------------------------------------
// X(name, record, size, set number, get number, get direction):
// DU_DUZ_VENC_Set<name> writes the record, DU_DUZ_VENC_Get<name> reads it
// back (a get of direction MPI_IOC_RW hands the driver the caller's record
// first). The driver keeps or applies it.
#define VENC_PARAM_PAIRS(X)                                                                                \
    X(FrameRate, VENC_FRAME_RATE_REC_S, 8, 57, 58, MPI_IOC_READ)                                           \
    X(RoiBgFrameRate, VENC_ROI_BG_FRAME_RATE_REC_S, 8, 63, 64, MPI_IOC_READ)                               \
    X(H264SliceSplit, VENC_H264_SLICE_SPLIT_REC_S, 12, 23, 24, MPI_IOC_READ)                               \
    X(H264InterPred, VENC_H264_INTER_PRED_REC_S, 28, 25, 26, MPI_IOC_READ)                                 \
    X(H264IntraPred, VENC_H264_INTRA_PRED_REC_S, 16, 27, 28, MPI_IOC_READ)                                 \
    X(H264IntraPredEx, VENC_H264_INTRA_PRED_EX_REC_S, 20, 102, 103, MPI_IOC_READ)                          \
    X(H264Trans, VENC_H264_TRANS_REC_S, 144, 29, 30, MPI_IOC_READ)                                         \
    X(H264Entropy, VENC_H264_ENTROPY_REC_S, 16, 31, 32, MPI_IOC_READ)                                      \
    X(H264Poc, VENC_H264_POC_REC_S, 4, 33, 34, MPI_IOC_READ)                                               \
    X(H264Dblk, VENC_H264_DBLK_REC_S, 12, 35, 36, MPI_IOC_READ)                                            \
    X(H264RDO, VENC_H264_RDO_REC_S, 28, 37, 38, MPI_IOC_READ)                                              \
    X(H264Vui, VENC_H264_VUI_REC_S, 28, 39, 40, MPI_IOC_READ)                                              \
    X(H264IdrPicId, VENC_H264_IDR_PIC_ID_REC_S, 8, 69, 70, MPI_IOC_READ)                                   \
    X(JpegParam, VENC_JPEG_PARAM_REC_S, 200, 41, 42, MPI_IOC_READ)                                         \
    X(MjpegParam, VENC_MJPEG_PARAM_REC_S, 196, 43, 44, MPI_IOC_READ)                                       \
    X(RefParam, VENC_REF_PARAM_REC_S, 12, 52, 53, MPI_IOC_READ)                                            \
    X(RefParamEx, VENC_REF_PARAM_EX_REC_S, 24, 54, 55, MPI_IOC_READ)                                       \
    X(Crop, VENC_CROP_REC_S, 20, 59, 60, MPI_IOC_READ)                                                     \
    X(Color2Grey, VENC_COLOR2GREY_REC_S, 4, 67, 68, MPI_IOC_READ)                                          \
    X(H265SliceSplit, VENC_H265_SLICE_SPLIT_REC_S, 16, 73, 74, MPI_IOC_READ)                               \
    X(H265PredUnit, VENC_H265_PRED_UNIT_REC_S, 36, 77, 78, MPI_IOC_READ)                                   \
    X(H265Trans, VENC_H265_TRANS_REC_S, 16, 79, 80, MPI_IOC_READ)                                          \
    X(H265Entropy, VENC_H265_ENTROPY_REC_S, 4, 81, 82, MPI_IOC_READ)                                       \
    X(H265Dblk, VENC_H265_DBLK_REC_S, 12, 83, 84, MPI_IOC_READ)                                            \
    X(H265Sao, VENC_H265_SAO_REC_S, 8, 85, 86, MPI_IOC_READ)                                               \
    X(H265Timing, VENC_H265_TIMING_REC_S, 16, 87, 88, MPI_IOC_READ)                                        \
    X(H265IntraPredEx, VENC_H265_INTRA_PRED_EX_REC_S, 4, 113, 114, MPI_IOC_READ)                           \
    X(FrameLostStrategy, VENC_FRAME_LOST_REC_S, 16, 89, 90, MPI_IOC_READ)                                  \
    X(FaceCfg, VENC_FACE_CFG_REC_S, 1388, 91, 92, MPI_IOC_READ)                                            \
    X(PatternAdaptiveCfg, VENC_PATTERN_ADAPTIVE_REC_S, 16, 128, 129, MPI_IOC_READ)                         \
    X(SkipAlgCfg, VENC_SKIP_ALG_REC_S, 32, 93, 94, MPI_IOC_READ)                                           \
    X(SuperFrameCfg, VENC_SUPER_FRAME_REC_S, 16, 111, 112, MPI_IOC_READ)                                   \
    X(ThumbNailImageCfg, VENC_THUMBNAIL_IMAGE_REC_S, 12, 115, 116, MPI_IOC_READ)                           \
    X(H264SkinCfg, VENC_H264_SKIN_REC_S, 20, 71, 72, MPI_IOC_READ)                                         \
    X(SceneMode, VENC_SCENE_MODE_REC_S, 4, 123, 124, MPI_IOC_READ)                                         \
    X(SceneInput, VENC_SCENE_INPUT_REC_S, 4, 130, 131, MPI_IOC_READ)

// Pairs whose set call adds checks of its own, written by hand; their get
// calls and the driver's rows come from the table all the same.
#define VENC_OWN_SET_PAIRS(X) X(IntraRefresh, VENC_INTRA_REFRESH_REC_S, 16, 121, 122, MPI_IOC_RW)

#define VENC_ALL_PARAM_PAIRS(X) VENC_PARAM_PAIRS(X) VENC_OWN_SET_PAIRS(X)

// VENC_SET_<name>_CTRL and VENC_GET_<name>_CTRL of every pair.
#define VENC_PAIR_CTRLS(name, rec, size, set_nr, get_nr, get_dir)                                          \
    constexpr unsigned long VENC_SET_##name##_CTRL = MPI_IOC(MPI_IOC_WRITE, size, 'E', set_nr);            \
    constexpr unsigned long VENC_GET_##name##_CTRL = MPI_IOC(get_dir, size, 'E', get_nr);
VENC_ALL_PARAM_PAIRS(VENC_PAIR_CTRLS)
#undef VENC_PAIR_CTRLS

constexpr unsigned long VENC_GET_ROI_CFG_CTRL = MPI_IOC(MPI_IOC_RW, 32, 'E', 21);
constexpr unsigned long VENC_SET_ROI_CFG_CTRL = MPI_IOC(MPI_IOC_WRITE, 32, 'E', 22);
constexpr unsigned long VENC_SET_JPEG_SNAP_MODE_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 49);
constexpr unsigned long VENC_GET_JPEG_SNAP_MODE_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'E', 50);
constexpr unsigned long VENC_START_RECV_EX_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 51);
constexpr unsigned long VENC_ENABLE_IDR_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 56);
static_assert(VENC_GET_ROI_CFG_CTRL == 0xC0204515 && VENC_START_RECV_EX_CTRL == 0x40044533, "request numbers");
// The tuning calls that take or read a 32-bit value, and the buffer pool.
constexpr unsigned long VENC_SET_COST_ALG_FLAG_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 106);
constexpr unsigned long VENC_GET_COST_ALG_FLAG_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'E', 106);
constexpr unsigned long VENC_ENABLE_INTER_PSKIP_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 108);
constexpr unsigned long VENC_SET_RC_PRIORITY_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 109);
constexpr unsigned long VENC_GET_RC_PRIORITY_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'E', 110);
constexpr unsigned long VENC_ATTACH_VBPOOL_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'E', 119);
constexpr unsigned long VENC_DETACH_VBPOOL_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'E', 120);
// The module's parameters, on a descriptor bound to no channel.
constexpr unsigned long VENC_SET_MOD_PARAM_CTRL = MPI_IOC(MPI_IOC_WRITE, 20, 'E', 125);
constexpr unsigned long VENC_GET_MOD_PARAM_CTRL = MPI_IOC(MPI_IOC_RW, 20, 'E', 126);

// Records the driver keeps as given and hands back on the matching get
// (get 0: a write-only request).
struct VENC_STORED_REQ_S {
    unsigned long set, get;
};
#define VENC_STORED_PAIR(name, rec, size, set_nr, get_nr, get_dir) {VENC_SET_##name##_CTRL, VENC_GET_##name##_CTRL},
constexpr VENC_STORED_REQ_S VENC_STORED_REQS[] = {
    VENC_ALL_PARAM_PAIRS(VENC_STORED_PAIR)
    {VENC_SET_RC_PARAM_CTRL, VENC_GET_RC_PARAM_CTRL},
    {VENC_SET_JPEG_SNAP_MODE_CTRL, VENC_GET_JPEG_SNAP_MODE_CTRL},
    {VENC_SET_CHN_PRIORITY_CTRL, VENC_GET_CHN_PRIORITY_CTRL},
    {VENC_SET_COST_ALG_FLAG_CTRL, VENC_GET_COST_ALG_FLAG_CTRL},
    {VENC_SET_RC_PRIORITY_CTRL, VENC_GET_RC_PRIORITY_CTRL},
    {VENC_ENABLE_INTER_PSKIP_CTRL, 0},
};
#undef VENC_STORED_PAIR

// ---- driver records -----------------------------------------------------------------------------

// The channel's stream ring as the driver reports it after creation.
struct VENC_STRMBUF_INFO_REQ_S {
    u32 u32PhyAddr;
    u32 u32KernAddr; // the driver's kernel address of the same byte
    u32 u32BufSize;
    u32 u32BufTag;
};
static_assert(sizeof(VENC_STRMBUF_INFO_REQ_S) == 16, "stream-buffer information");

struct VENC_USER_DATA_REQ_S {
    u8 *pu8Data;
    u32 u32Len;
};

// The driver's header in front of every pack in the ring (64 bytes).
struct VENC_PACK_HEADER_S {
    u32 u32Magic; // VENC_PACK_MAGIC
    u32 u32Seq;
    u32 u32PayloadLen;
    u32 bKey;
    u64 u64Pts;
    u32 au32Reserved[10];
};
static_assert(sizeof(VENC_PACK_HEADER_S) == VENC_STREAM_OFFSET, "pack header");
constexpr u32 VENC_PACK_MAGIC = 0x4B434150; // "PACK"

// Requests of /dev/venc ('E'), shared by the encoder unit and its driver.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/venc/mpi_venc.h"

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

// The engine's records (images, memory blocks, control records) and its
// requests on /dev/ive (type 'F'): one command word and one argument block
// per operator, shared by the unit and the simulated engine.
// Word 0 of every block is the task handle the engine issues. The command
// words are the camera's, whose blocks are laid out for 32-bit pointers; on
// this host the blocks are native records and the engine goes by the word,
// not by its size field.
#pragma once

#include "mpi/common/common_requests.h"

#include <cstddef>
#include <cstring>

// ---- records ------------------------------------------------------------------------

// Signed task number issued by the engine, in [0, 0x0FFFFFFF]; -1 after a refusal.
typedef s32 IVE_TASK_HANDLE;

enum IVE_IMG_FMT_E : u32 {
    IVE_IMAGE_TYPE_U8C1 = 0,
    IVE_IMAGE_TYPE_S8C1 = 1,
    IVE_IMAGE_TYPE_YUV420SP = 2,
    IVE_IMAGE_TYPE_YUV422SP = 3,
    IVE_IMAGE_TYPE_S8C2_PACKAGE = 6,
    IVE_IMAGE_TYPE_S16C1 = 8,
    IVE_IMAGE_TYPE_U16C1 = 9,
    IVE_IMAGE_TYPE_U8C3_PACKAGE = 10,
    IVE_IMAGE_TYPE_U8C3_PLANAR = 11,
    IVE_IMAGE_TYPE_U32C1 = 13, // integral image, 32-bit elements
    IVE_IMAGE_TYPE_U64C1 = 15, // integral image, 64-bit elements
};

// An image: type, three planes (physical and user address, line pitch in
// elements of the type), size in pixels.
struct IVE_IMG_DESC_S {
    u32 enType;
    u32 u32PhyAddr[3];
    u8 *pu8VirAddr[3];
    u16 u16Stride[3];
    u16 u16Width;
    u16 u16Height;
    u16 u16Reserved;
};

// Physically contiguous memory: histograms, tables, stacks, work memory.
struct IVE_MEM_BLOCK_S {
    u32 u32PhyAddr;
    u8 *pu8VirAddr;
    u32 u32Size;
};

// A two-dimensional byte area (DMA, background models).
struct IVE_DATA_DESC_S {
    u32 u32PhyAddr;
    u8 *pu8VirAddr;
    u16 u16Stride;
    u16 u16Width;
    u16 u16Height;
    u16 u16Reserved;
};

// ---- control records: DMA, filters, colour conversion, thresholds -----------------------

struct IVE_DMA_CTRL_S {
    u32 enMode; // 0 copy, 1 interval copy, 2 fill with 3 bytes, 3 fill with 8 bytes
    alignas(8) u64 u64Val; // the fill pattern of modes 2 and 3
    u8 u8HorSegSize;
    u8 u8ElemSize;
    u8 u8VerSegRows;
};

struct IVE_FILTER_CTRL_S {
    s8 as8Mask[25];
    u8 u8Norm;
};

struct IVE_CSC_CTRL_S {
    u32 enMode;
};

struct IVE_FILTER_AND_CSC_CTRL_S {
    u32 enMode;
    s8 as8Mask[25];
    u8 u8Norm;
};

struct IVE_SOBEL_CTRL_S {
    u32 enOutCtrl; // 0 both, 1 horizontal, 2 vertical
    s8 as8Mask[25];
    u8 au8Reserved[3];
};

struct IVE_MAG_AND_ANG_CTRL_S {
    u32 enOutCtrl; // 0 magnitude, 1 magnitude and angle
    s8 as8Mask[25];
    u8 au8Reserved[3];
};

struct IVE_DILATE_CTRL_S {
    u8 au8Mask[25];
};

struct IVE_ERODE_CTRL_S {
    u8 au8Mask[25];
};

struct IVE_THRESH_CTRL_S {
    u32 enMode;
    u8 u8LowThr;
    u8 u8HighThr;
    u8 u8MinVal;
    u8 u8MidVal;
    u8 u8MaxVal;
    u8 au8Reserved[3];
};

// An 8-bit output value of a 16-bit threshold: signed or unsigned by mode.
union IVE_8BIT_U {
    s8 s8Val;
    u8 u8Val;
};

struct IVE_THRESH_S16_CTRL_S {
    u32 enMode;
    s16 s16LowThr;
    s16 s16HighThr;
    IVE_8BIT_U un8MinVal;
    IVE_8BIT_U un8MidVal;
    IVE_8BIT_U un8MaxVal;
    u8 u8Reserved;
};

struct IVE_THRESH_U16_CTRL_S {
    u32 enMode;
    u16 u16LowThr;
    u16 u16HighThr;
    u8 u8MinVal;
    u8 u8MidVal;
    u8 u8MaxVal;
    u8 u8Reserved;
};

// ---- control records: arithmetic, integral, histogram, mapping ---------------------------

struct IVE_SUB_CTRL_S {
    u32 enMode; // 0 absolute difference (U8C1), 1 halved signed difference (S8C1)
};

// Blending weights, unsigned Q0.16; they add up to 65536.
struct IVE_ADD_CTRL_S {
    u16 u0q16X;
    u16 u0q16Y;
};

// enOutCtrl 0: one 64-bit element per pixel, the running pixel sum in bits
// 0-27 and the running sum of squares in bits 28-63 (type 15). Each field is
// cut to its width: the sum needs more than 28 bits once more than 1052688
// pixels of 255 lie above and left of an element, the sum of squares more
// than 36 bits past 1056832 of them; the camera's 240 x 128 tiles stay far
// below both.
// enOutCtrl 1: the 32-bit running sum (type 13). enOutCtrl 2: the 64-bit
// running sum of squares (type 15).
struct IVE_INTEG_OPT_S {
    u32 enOutCtrl;
};

struct IVE_EQUALIZE_HIST_CTRL_S {
    IVE_MEM_BLOCK_S stMem; // engine work memory, at least 1280 bytes
};

struct IVE_16BIT_TO_8BIT_CTRL_S {
    u32 enMode;
    u16 u16Denominator;
    u8 u8Numerator;
    s8 s8Bias; // added by mode 2
};

struct IVE_ORD_STAT_FILTER_CTRL_S {
    u32 enMode; // 0 median, 1 maximum, 2 minimum of the 3 x 3 neighbourhood
};

// ---- control records: gradient, texture, correlation, components, corners, edges, SAD -------

struct IVE_NORM_GRAD_CTRL_S {
    u32 enOutCtrl; // 0 H and V, 1 H, 2 V, 3 one interleaved HV image
    s8 as8Mask[25];
    u8 u8Norm;
    u8 au8Reserved[2];
};

struct IVE_LBP_CTRL_S {
    u32 enMode; // 0 signed difference, 1 absolute difference
    IVE_8BIT_U un8BitThr;
    u8 au8Reserved[3];
};

struct IVE_CCL_CTRL_S {
    u16 u16InitAreaThr;
    u16 u16Step;
};

// The component list the CCL operator writes (3052 bytes).
constexpr u32 IVE_MAX_REGION_NUM = 254;
struct IVE_REGION_S {
    u32 u32Area;
    u16 u16Left;
    u16 u16Right;
    u16 u16Top;
    u16 u16Bottom;
};
struct IVE_CCBLOB_S {
    u16 u16CurAreaThr;
    s8 s8LabelStatus; // 0 every component labelled, -1 not
    u8 u8RegionNum;
    IVE_REGION_S astRegion[IVE_MAX_REGION_NUM];
};
static_assert(sizeof(IVE_CCBLOB_S) == 3052, "component list");

struct IVE_ST_CANDI_CORNER_CTRL_S {
    IVE_MEM_BLOCK_S stMem;
    u8 u0q8QualityLevel;
    u8 au8Reserved[3];
};

struct IVE_CANNY_HYS_EDGE_CTRL_S {
    IVE_MEM_BLOCK_S stMem;
    u16 u16LowThr;
    u16 u16HighThr;
    s8 as8Mask[25];
    u8 au8Reserved[3];
};

struct IVE_SAD_CTRL_S {
    u32 enMode;    // block size 4 << enMode
    u32 enOutCtrl; // 0 16-bit SAD and threshold, 1 8-bit SAD and threshold, 2 16-bit SAD, 3 8-bit SAD, 4 threshold
    u16 u16Thr;
    u8 u8MinVal;
    u8 u8MaxVal;
};

// ---- control records of the model-based operators -----------------------------------------

struct IVE_GMM_CTRL_S {
    u32 u22q10NoiseVar;
    u32 u22q10MaxVar;
    u32 u22q10MinVar;
    u16 u0q16LearnRate;
    u16 u0q16BgRatio;
    u16 u8q8VarThr;
    u16 u0q16InitWeight;
    u8 u8ModeNum;
    u8 au8Reserved[3];
};

// The point list (pstPoint) holds per point its s32 x and s32 y in pixels
// with 7 fraction bits; the motion-vector list (pstMv) gets per point an s32
// status (0 tracked, -1 lost) and the s16 x and y motion, 7 fraction bits.
struct IVE_LK_OPTICAL_FLOW_CTRL_S {
    u16 u16CornerNum;
    u8 u0q8MinEigThr;
    u8 u8IterCount;
    u8 u0q8Epsilon;
    u8 u8Reserved;
};

struct IVE_GRAD_FG_CTRL_S {
    u32 enMode;
    u16 u16EdwFactor;
    u8 u8CrlCoefThr;
    u8 u8MagCrlThr;
    u8 u8MinMagDiff;
    u8 u8NoiseVal;
    u8 u8EdwDark;
    u8 u8Reserved;
};

struct IVE_MATCH_BG_MODEL_CTRL_S {
    u32 u32CurFrmNum;
    u32 u32PreFrmNum;
    u16 u16TimeThr;
    u8 u8DiffThrCrlCoef;
    u8 u8DiffMaxThr;
    u8 u8DiffMinThr;
    u8 u8DiffThrInc;
    u8 u8FastLearnRate;
    u8 u8DetChgRegion;
};

struct IVE_UPDATE_BG_MODEL_CTRL_S {
    u32 u32CurFrmNum;
    u32 u32PreChkTime;
    u32 u32FrmChkPeriod;
    u32 u32InitMinTime;
    u32 u32StyBgMinBlendTime;
    u32 u32StyBgMaxBlendTime;
    u32 u32DynBgMinBlendTime;
    u32 u32StaticDetMinTime;
    u16 u16FgMaxFadeTime;
    u16 u16BgMaxFadeTime;
    u8 u8StyBgAccTimeRateThr;
    u8 u8ChgBgAccTimeRateThr;
    u8 u8DynBgAccTimeThr;
    u8 u8DynBgDepth;
    u8 u8BgEffStaRateThr;
    u8 u8AcceBgLearn;
    u8 u8DetChgRegion;
    u8 u8Reserved;
};

// A lookup table of 2-byte elements approximating a function over the
// input range [s32TabInLower, s32TabInUpper], u8TabInPreci fraction bits of
// the input per element.
struct IVE_LUT_DESC_S {
    IVE_MEM_BLOCK_S stTable;
    u16 u16ElemNum;
    u8 u8TabInPreci;
    u8 u8TabOutNorm;
    s32 s32TabInLower;
    s32 s32TabInUpper;
};

// A multi-layer perceptron as its loader leaves it: the weights (3 bytes
// each, 16 fraction bits) and, after them, a u32 that is 1 when the loader
// gave the network an extra input neuron that must always see 0.
struct IVE_MLP_NET_S {
    u32 enActivFunc;
    IVE_MEM_BLOCK_S stWeight;
    u32 u32TotalWeightSize;
    u16 au16LayerCount[8];
    u16 u16MaxCount;
    u8 u8LayerNum;
};

// A support-vector classifier: the support vectors (3 bytes per value, 16
// fraction bits) and the decision functions (ive_requests.h) in one block.
struct IVE_SVM_CLASSIFIER_S {
    u32 enType;
    u32 enKernelType;
    IVE_MEM_BLOCK_S stSv;
    IVE_MEM_BLOCK_S stDf;
    u32 u32TotalDfSize;
    u16 u16FeatureDim;
    u16 u16SvTotal;
    u8 u8ClassCount;
};

// On the camera the records are laid out for 32-bit pointers; the engine's
// blocks carry them byte for byte.
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(IVE_IMG_DESC_S) == 40 && offsetof(IVE_IMG_DESC_S, pu8VirAddr) == 16 &&
                  offsetof(IVE_IMG_DESC_S, u16Stride) == 28 && offsetof(IVE_IMG_DESC_S, u16Width) == 34,
              "image descriptor");
static_assert(sizeof(IVE_MEM_BLOCK_S) == 12 && sizeof(IVE_DATA_DESC_S) == 16, "memory block, data area");
static_assert(sizeof(IVE_EQUALIZE_HIST_CTRL_S) == 12 && sizeof(IVE_ST_CANDI_CORNER_CTRL_S) == 16 &&
                  sizeof(IVE_CANNY_HYS_EDGE_CTRL_S) == 44 && sizeof(IVE_LUT_DESC_S) == 24 &&
                  sizeof(IVE_MLP_NET_S) == 40 && sizeof(IVE_SVM_CLASSIFIER_S) == 44,
              "records with memory blocks");
#endif
static_assert(sizeof(IVE_DMA_CTRL_S) == 24 && offsetof(IVE_DMA_CTRL_S, u8HorSegSize) == 16, "DMA control");
static_assert(sizeof(IVE_FILTER_CTRL_S) == 26 && sizeof(IVE_FILTER_AND_CSC_CTRL_S) == 32 &&
                  offsetof(IVE_FILTER_AND_CSC_CTRL_S, u8Norm) == 29 && sizeof(IVE_SOBEL_CTRL_S) == 32 &&
                  sizeof(IVE_MAG_AND_ANG_CTRL_S) == 32 && sizeof(IVE_DILATE_CTRL_S) == 25,
              "filter controls");
static_assert(sizeof(IVE_THRESH_CTRL_S) == 12 && sizeof(IVE_THRESH_S16_CTRL_S) == 12 &&
                  sizeof(IVE_THRESH_U16_CTRL_S) == 12 && sizeof(IVE_16BIT_TO_8BIT_CTRL_S) == 8,
              "threshold controls");
static_assert(sizeof(IVE_NORM_GRAD_CTRL_S) == 32 && offsetof(IVE_NORM_GRAD_CTRL_S, u8Norm) == 29 &&
                  sizeof(IVE_LBP_CTRL_S) == 8 && sizeof(IVE_CCL_CTRL_S) == 4 && sizeof(IVE_SAD_CTRL_S) == 12,
              "feature controls");
static_assert(sizeof(IVE_GMM_CTRL_S) == 24 && sizeof(IVE_LK_OPTICAL_FLOW_CTRL_S) == 6 &&
                  sizeof(IVE_GRAD_FG_CTRL_S) == 12 && sizeof(IVE_MATCH_BG_MODEL_CTRL_S) == 16 &&
                  sizeof(IVE_UPDATE_BG_MODEL_CTRL_S) == 44 &&
                  offsetof(IVE_UPDATE_BG_MODEL_CTRL_S, u8DetChgRegion) == 42,
              "model controls");

// ---- command words ----------------------------------------------------------------------

constexpr unsigned long IVE_DMA = 0xC0484600;
constexpr unsigned long IVE_FILTER = 0xC0744601;
constexpr unsigned long IVE_CSC = 0xC05C4602;
constexpr unsigned long IVE_FILTER_AND_CSC = 0xC0784603;
constexpr unsigned long IVE_SOBEL = 0xC0A04604;
constexpr unsigned long IVE_MAG_AND_ANG = 0xC0A04605;
constexpr unsigned long IVE_DILATE = 0xC0744606;
constexpr unsigned long IVE_ERODE = 0xC0744607;
constexpr unsigned long IVE_THRESH = 0xC0644608;
constexpr unsigned long IVE_AND = 0xC0804609;
constexpr unsigned long IVE_SUB = 0xC084460A;
constexpr unsigned long IVE_OR = 0xC080460B;
constexpr unsigned long IVE_INTEG = 0xC05C460C;
constexpr unsigned long IVE_HIST = 0xC03C460D;
constexpr unsigned long IVE_THRESH_S16 = 0xC064460E;
constexpr unsigned long IVE_THRESH_U16 = 0xC064460F;
constexpr unsigned long IVE_16BIT_TO_8BIT = 0xC0604610;
constexpr unsigned long IVE_ORD_STAT_FILTER = 0xC05C4611;
constexpr unsigned long IVE_MAP = 0xC0644613;
constexpr unsigned long IVE_ADD = 0xC0844614;
constexpr unsigned long IVE_XOR = 0xC0804615;
constexpr unsigned long IVE_NCC = 0xC0644616;
constexpr unsigned long IVE_CCL = 0xC0404617;
constexpr unsigned long IVE_GMM = 0xC0A44618;
constexpr unsigned long IVE_CANNY_HYS_EDGE = 0xC0904619;
constexpr unsigned long IVE_LBP = 0xC060461A;
constexpr unsigned long IVE_NORM_GRAD = 0xC0C8461B;
constexpr unsigned long IVE_LK_OPTICAL_FLOW = 0xC078461C;
constexpr unsigned long IVE_GRAD_FG = 0xC0B4461D;
constexpr unsigned long IVE_MATCH_BG_MODEL = 0xC0D4461E;
constexpr unsigned long IVE_UPDATE_BG_MODEL = 0xC118461F;
constexpr unsigned long IVE_ANN_MLP_PREDICT = 0xC0604621;
constexpr unsigned long IVE_SVM_PREDICT = 0xC0644622;
constexpr unsigned long IVE_SAD = 0xC0B44629;
constexpr unsigned long IVE_EQUALIZE_HIST = 0xC064462A;
constexpr unsigned long IVE_ST_CANDI_CORNER = 0xC068462B;
constexpr unsigned long IVE_QUERY = 0xC00C462C;

// Read-write requests of type 'F': the size field, then the operator number.
constexpr bool ive_command(unsigned long cmd, u32 size, u32 nr) { return cmd == MPI_IOC(MPI_IOC_RW, size, 'F', nr); }
static_assert(ive_command(IVE_DMA, 72, 0) && ive_command(IVE_INTEG, 92, 12) && ive_command(IVE_HIST, 60, 13) &&
                  ive_command(IVE_UPDATE_BG_MODEL, 280, 31) && ive_command(IVE_SAD, 180, 41) &&
                  ive_command(IVE_QUERY, 12, 44),
              "command words");

// ---- blocks --------------------------------------------------------------------------

struct IVE_DMA_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_DATA_DESC_S stSrc;
    IVE_DATA_DESC_S stDst; // modes 0 and 1
    IVE_DMA_CTRL_S stDmaCtrl;
    u32 bInstant;
};

// One source, one destination image and a control record.
template <class Ctrl> struct IVE_SRC_DST_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_IMG_DESC_S stDst;
    Ctrl stCtrl;
    u32 bInstant;
};
typedef IVE_SRC_DST_REQ_S<IVE_FILTER_CTRL_S> IVE_FILTER_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_CSC_CTRL_S> IVE_CSC_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_FILTER_AND_CSC_CTRL_S> IVE_FILTER_AND_CSC_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_DILATE_CTRL_S> IVE_DILATE_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_ERODE_CTRL_S> IVE_ERODE_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_THRESH_CTRL_S> IVE_THRESH_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_INTEG_OPT_S> IVE_INTEG_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_THRESH_S16_CTRL_S> IVE_THRESH_S16_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_THRESH_U16_CTRL_S> IVE_THRESH_U16_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_16BIT_TO_8BIT_CTRL_S> IVE_16BIT_TO_8BIT_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_ORD_STAT_FILTER_CTRL_S> IVE_ORD_STAT_FILTER_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_LBP_CTRL_S> IVE_LBP_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_EQUALIZE_HIST_CTRL_S> IVE_EQUALIZE_HIST_REQ_S;
typedef IVE_SRC_DST_REQ_S<IVE_ST_CANDI_CORNER_CTRL_S> IVE_ST_CANDI_CORNER_REQ_S;

// A source and two outputs chosen by the control's first word.
template <class Ctrl> struct IVE_SRC_TWO_DST_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_IMG_DESC_S stDst1; // Sobel H, MagAndAng magnitude
    IVE_IMG_DESC_S stDst2; // Sobel V, MagAndAng angle
    Ctrl stCtrl;
    u32 bInstant;
};
typedef IVE_SRC_TWO_DST_REQ_S<IVE_SOBEL_CTRL_S> IVE_SOBEL_REQ_S;
typedef IVE_SRC_TWO_DST_REQ_S<IVE_MAG_AND_ANG_CTRL_S> IVE_MAG_AND_ANG_REQ_S;

// Two sources, one destination image (And, Or, Xor).
struct IVE_BINARY_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc1;
    IVE_IMG_DESC_S stSrc2;
    IVE_IMG_DESC_S stDst;
    u32 bInstant;
};

template <class Ctrl> struct IVE_BINARY_CTRL_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc1;
    IVE_IMG_DESC_S stSrc2;
    IVE_IMG_DESC_S stDst;
    Ctrl stCtrl;
    u32 bInstant;
};
typedef IVE_BINARY_CTRL_REQ_S<IVE_SUB_CTRL_S> IVE_SUB_REQ_S;
typedef IVE_BINARY_CTRL_REQ_S<IVE_ADD_CTRL_S> IVE_ADD_REQ_S;

struct IVE_HIST_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_MEM_BLOCK_S stDst;
    u32 bInstant;
};

struct IVE_MAP_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_MEM_BLOCK_S stMap;
    IVE_IMG_DESC_S stDst;
    u32 bInstant;
};

struct IVE_NCC_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc1;
    IVE_IMG_DESC_S stSrc2;
    IVE_MEM_BLOCK_S stDst;
    u32 bInstant;
};

struct IVE_CCL_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrcDst;
    IVE_MEM_BLOCK_S stBlob;
    IVE_CCL_CTRL_S stCclCtrl;
    u32 bInstant;
};

struct IVE_GMM_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_IMG_DESC_S stFg;
    IVE_IMG_DESC_S stBg;
    IVE_MEM_BLOCK_S stModel;
    IVE_GMM_CTRL_S stGmmCtrl;
    u32 bInstant;
};

struct IVE_CANNY_HYS_EDGE_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_IMG_DESC_S stEdge;
    IVE_MEM_BLOCK_S stStack;
    IVE_CANNY_HYS_EDGE_CTRL_S stCannyHysEdgeCtrl;
    u32 bInstant;
};

struct IVE_NORM_GRAD_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc;
    IVE_IMG_DESC_S stDstH;  // enOutCtrl 0, 1
    IVE_IMG_DESC_S stDstV;  // enOutCtrl 0, 2
    IVE_IMG_DESC_S stDstHV; // enOutCtrl 3
    IVE_NORM_GRAD_CTRL_S stNormGradCtrl;
    u32 bInstant;
};

struct IVE_LK_OPTICAL_FLOW_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrcPre;
    IVE_IMG_DESC_S stSrcCur;
    IVE_MEM_BLOCK_S stPoint;
    IVE_MEM_BLOCK_S stMv;
    IVE_LK_OPTICAL_FLOW_CTRL_S stLkOptiFlowCtrl;
    u32 bInstant;
};

struct IVE_GRAD_FG_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stBgDiffFg;
    IVE_IMG_DESC_S stCurGrad;
    IVE_IMG_DESC_S stBgGrad;
    IVE_IMG_DESC_S stGradFg;
    IVE_GRAD_FG_CTRL_S stGradFgCtrl;
    u32 bInstant;
};

struct IVE_MATCH_BG_MODEL_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stCurImg;
    IVE_DATA_DESC_S stBgModel;
    IVE_IMG_DESC_S stFgFlag;
    IVE_IMG_DESC_S stBgDiffFg;
    IVE_IMG_DESC_S stFrmDiffFg;
    IVE_MEM_BLOCK_S stStatData;
    IVE_MATCH_BG_MODEL_CTRL_S stMatchBgModelCtrl;
    u32 bInstant;
};

struct IVE_UPDATE_BG_MODEL_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_DATA_DESC_S stBgModel;
    IVE_IMG_DESC_S stFgFlag;
    IVE_IMG_DESC_S stBgImg;
    IVE_IMG_DESC_S stChgStaImg; // the three change-state images only with u8DetChgRegion 1
    IVE_IMG_DESC_S stChgStaFg;
    IVE_IMG_DESC_S stChgStaLife;
    IVE_MEM_BLOCK_S stStatData;
    IVE_UPDATE_BG_MODEL_CTRL_S stUpdateBgModelCtrl;
    u32 bInstant;
};

struct IVE_ANN_MLP_PREDICT_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_MEM_BLOCK_S stSrc;
    IVE_LUT_DESC_S stActivFuncTab;
    IVE_MLP_NET_S stAnnMlpModel;
    IVE_MEM_BLOCK_S stDst;
    u32 bInstant;
};

struct IVE_SVM_PREDICT_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_MEM_BLOCK_S stSrc;
    IVE_LUT_DESC_S stKernelTab;
    IVE_SVM_CLASSIFIER_S stSvmModel;
    IVE_MEM_BLOCK_S stDstVote;
    u32 bInstant;
};

struct IVE_SAD_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    IVE_IMG_DESC_S stSrc1;
    IVE_IMG_DESC_S stSrc2;
    IVE_IMG_DESC_S stSad; // enOutCtrl 0 to 3
    IVE_IMG_DESC_S stThr; // enOutCtrl 0, 1, 4
    IVE_SAD_CTRL_S stSadCtrl;
    u32 bInstant;
};

// ---- the model blocks, as the loaders write them and the engine reads them ------------------

// Weight values of a network (3 bytes each): two per input neuron, one per
// neuron of the layer before plus a bias for every later neuron, two per
// output neuron.
inline u32 ive_ann_weight_count(const u16 *layer_count, u32 layers)
{
    u32 n = 2u * layer_count[0] + 2u * layer_count[layers - 1];
    for (u32 i = 0; i + 1 < layers; i++)
        n += (u32)layer_count[i + 1] * (layer_count[i] + 1u);
    return n;
}

// The decision functions of a support-vector model, one per pair of classes
// in the order (0,1), (0,2) .. (K-2,K-1): an 8-byte header whose first u16
// is the entry count (bytes 2-5 the function's s32 offset rho, 16 fraction
// bits), then that many packed 6-byte entries {s32 alpha; u16 vector index}.
constexpr u32 IVE_SVM_DF_HEADER = 8, IVE_SVM_DF_ENTRY = 6;

// Walks the `dfs` decision functions in the `size` bytes at `df`, calling
// on_df(d, header) and on_entry(d, k, alpha, index); either returning true
// stops the walk, which then returns 1. Returns -1 - d when function d (its
// header or an entry) runs past the end, 0 when every function fits.
template <class OnDf, class OnEntry>
s32 ive_svm_walk(const u8 *df, u64 size, u32 dfs, OnDf on_df, OnEntry on_entry)
{
    u64 off = 0;
    for (u32 d = 0; d < dfs; d++) {
        if (off + IVE_SVM_DF_HEADER > size)
            return -1 - (s32)d;
        u16 count;
        memcpy(&count, df + off, sizeof count);
        if (off + IVE_SVM_DF_HEADER + (u64)count * IVE_SVM_DF_ENTRY > size)
            return -1 - (s32)d;
        if (on_df(d, df + off))
            return 1;
        const u8 *e = df + off + IVE_SVM_DF_HEADER;
        for (u32 k = 0; k < count; k++, e += IVE_SVM_DF_ENTRY) {
            s32 alpha;
            u16 index;
            memcpy(&alpha, e, sizeof alpha);
            memcpy(&index, e + 4, sizeof index);
            if (on_entry(d, k, alpha, index))
                return 1;
        }
        off += IVE_SVM_DF_HEADER + (u64)count * IVE_SVM_DF_ENTRY;
    }
    return 0;
}

// Decision functions of K classes: one per pair.
inline u32 ive_svm_df_count(u32 classes) { return classes * (classes - 1) / 2; }

// Bytes per element and planes of the image types, as the engine lays
// pictures out (the checks look at fewer planes: ive_planes).
inline u32 ive_elem_size(u32 type)
{
    switch (type) {
    case IVE_IMAGE_TYPE_S8C2_PACKAGE:
    case IVE_IMAGE_TYPE_S16C1:
    case IVE_IMAGE_TYPE_U16C1:
        return 2;
    case IVE_IMAGE_TYPE_U8C3_PACKAGE:
        return 3;
    case IVE_IMAGE_TYPE_U32C1:
        return 4;
    case IVE_IMAGE_TYPE_U64C1:
        return 8;
    }
    return 1;
}
inline int ive_plane_count(u32 type)
{
    return type == IVE_IMAGE_TYPE_YUV420SP || type == IVE_IMAGE_TYPE_YUV422SP ? 2
           : type == IVE_IMAGE_TYPE_U8C3_PLANAR                               ? 3
                                                                              : 1;
}

// Query: the handle and bBlock in, the finish flag out.
struct IVE_QUERY_REQ_S {
    IVE_TASK_HANDLE s32Handle;
    u32 bBlock;
    u32 bFinish;
};
static_assert(sizeof(IVE_QUERY_REQ_S) == 12, "query block");

// The camera's block offsets.
#if UINTPTR_MAX == 0xffffffffu
#define IVE_AT(rec, field, off) (offsetof(rec, field) == (off))
static_assert(sizeof(IVE_DMA_REQ_S) == 72 && IVE_AT(IVE_DMA_REQ_S, stDst, 20) && IVE_AT(IVE_DMA_REQ_S, stDmaCtrl, 40) &&
                  IVE_AT(IVE_DMA_REQ_S, bInstant, 64),
              "DMA block");
static_assert(sizeof(IVE_FILTER_REQ_S) == 116 && IVE_AT(IVE_FILTER_REQ_S, stCtrl, 84) &&
                  IVE_AT(IVE_FILTER_REQ_S, bInstant, 112) && sizeof(IVE_CSC_REQ_S) == 92 &&
                  sizeof(IVE_FILTER_AND_CSC_REQ_S) == 120 && sizeof(IVE_DILATE_REQ_S) == 116 &&
                  sizeof(IVE_THRESH_REQ_S) == 100 && sizeof(IVE_INTEG_REQ_S) == 92 &&
                  sizeof(IVE_16BIT_TO_8BIT_REQ_S) == 96 && sizeof(IVE_ORD_STAT_FILTER_REQ_S) == 92 &&
                  sizeof(IVE_LBP_REQ_S) == 96 && sizeof(IVE_EQUALIZE_HIST_REQ_S) == 100 &&
                  sizeof(IVE_ST_CANDI_CORNER_REQ_S) == 104,
              "source-destination blocks");
static_assert(sizeof(IVE_SOBEL_REQ_S) == 160 && IVE_AT(IVE_SOBEL_REQ_S, stCtrl, 124) &&
                  sizeof(IVE_BINARY_REQ_S) == 128 && sizeof(IVE_SUB_REQ_S) == 132 && sizeof(IVE_HIST_REQ_S) == 60 &&
                  sizeof(IVE_MAP_REQ_S) == 100 && IVE_AT(IVE_MAP_REQ_S, stDst, 56) && sizeof(IVE_NCC_REQ_S) == 100 &&
                  sizeof(IVE_CCL_REQ_S) == 64 && sizeof(IVE_CANNY_HYS_EDGE_REQ_S) == 144 &&
                  sizeof(IVE_NORM_GRAD_REQ_S) == 200 && sizeof(IVE_SAD_REQ_S) == 180,
              "operator blocks");
static_assert(sizeof(IVE_GMM_REQ_S) == 164 && sizeof(IVE_LK_OPTICAL_FLOW_REQ_S) == 120 &&
                  IVE_AT(IVE_LK_OPTICAL_FLOW_REQ_S, bInstant, 116) && sizeof(IVE_GRAD_FG_REQ_S) == 180 &&
                  sizeof(IVE_MATCH_BG_MODEL_REQ_S) == 212 && IVE_AT(IVE_MATCH_BG_MODEL_REQ_S, stFgFlag, 60) &&
                  sizeof(IVE_UPDATE_BG_MODEL_REQ_S) == 280 && IVE_AT(IVE_UPDATE_BG_MODEL_REQ_S, stStatData, 220) &&
                  sizeof(IVE_ANN_MLP_PREDICT_REQ_S) == 96 && sizeof(IVE_SVM_PREDICT_REQ_S) == 100,
              "model blocks");
#undef IVE_AT
#endif

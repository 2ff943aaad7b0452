// The image-analysis engine (IVE): its records, status codes and operators.
//
// Every operator checks its arguments, copies them into one block and hands
// the block to the engine behind /dev/ive; DU_DUZ_IVE_Query asks whether a
// task has finished. Records are passed by pointer and only read; the task
// handle is written. What the engine computes for each operator (borders,
// rounding, output layouts) is written down in board/sim/ive/ive.h.
//
// Every operator goes through ive_call (mpi_ive.cpp).
#pragma once

#include "mpi/common/mpi_common.h"

// ---- status codes ------------------------------------------------------------------
constexpr s32 DU_ERR_IVE_ILLEGAL_PARAM = mpi_status(DU_ID_IVE, ERR_ILLEGAL_PARAM); // 0xA01D8003
constexpr s32 DU_ERR_IVE_NULL_PTR = mpi_status(DU_ID_IVE, ERR_NULL_PTR);           // 0xA01D8006
constexpr s32 DU_ERR_IVE_NOMEM = mpi_status(DU_ID_IVE, ERR_NOMEM);                 // 0xA01D800C
constexpr s32 DU_ERR_IVE_SYS_NOTREADY = mpi_status(DU_ID_IVE, ERR_SYS_NOTREADY);   // 0xA01D8010
constexpr s32 DU_ERR_IVE_OPEN_FILE = mpi_status(DU_ID_IVE, 0x42);                  // 0xA01D8042
constexpr s32 DU_ERR_IVE_READ_FILE = mpi_status(DU_ID_IVE, 0x43);                  // 0xA01D8043
constexpr s32 DU_ERR_FD_ILLEGAL_PARAM = mpi_status(47, ERR_ILLEGAL_PARAM);         // 0xA02F8003

// ---- shared records ------------------------------------------------------------------

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

struct IVE_XY_U16_S {
    u16 u16X;
    u16 u16Y;
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

struct IVE_ST_CORNER_CTRL_S {
    u16 u16MaxCornerNum;
    u16 u16MinDist;
};

constexpr u32 IVE_ST_MAX_CORNER_NUM = 200;
struct IVE_CORNER_LIST_S {
    u16 u16CornerNum;
    IVE_XY_U16_S astCorner[IVE_ST_MAX_CORNER_NUM];
};
static_assert(sizeof(IVE_CORNER_LIST_S) == 802, "corner list");

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

// The engine's descriptor, opened by the first call that needs it and kept.
extern s32 g_s32IveFd;

// ---- operators ---------------------------------------------------------------------------
// Each returns 0, the code of its parameter check, 0xA01D8010 when /dev/ive
// cannot be opened, or the engine's refusal (-1, the handle then -1).

s32 DU_DUZ_IVE_DMA(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstSrc, const IVE_DATA_DESC_S *pstDst,
                   const IVE_DMA_CTRL_S *pstDmaCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Filter(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                      const IVE_FILTER_CTRL_S *pstFltCtrl, u32 bInstant);
s32 DU_DUZ_IVE_CSC(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                   const IVE_CSC_CTRL_S *pstCscCtrl, u32 bInstant);
s32 DU_DUZ_IVE_FilterAndCSC(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_FILTER_AND_CSC_CTRL_S *pstFltCscCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Sobel(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                     const IVE_IMG_DESC_S *pstDstV, const IVE_SOBEL_CTRL_S *pstSobelCtrl, u32 bInstant);
s32 DU_DUZ_IVE_MagAndAng(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstMag,
                         const IVE_IMG_DESC_S *pstDstAng, const IVE_MAG_AND_ANG_CTRL_S *pstMagAndAngCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Dilate(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                      const IVE_DILATE_CTRL_S *pstDilateCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Erode(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_ERODE_CTRL_S *pstErodeCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Thresh(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                      const IVE_THRESH_CTRL_S *pstThrCtrl, u32 bInstant);
s32 DU_DUZ_IVE_And(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 DU_DUZ_IVE_Sub(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, const IVE_SUB_CTRL_S *pstSubCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Or(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                  const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 DU_DUZ_IVE_Integ(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_INTEG_OPT_S *pstIntegCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Hist(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstDst,
                    u32 bInstant);
s32 DU_DUZ_IVE_Thresh_S16(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                          const IVE_THRESH_S16_CTRL_S *pstThrS16Ctrl, u32 bInstant);
s32 DU_DUZ_IVE_Thresh_U16(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                          const IVE_THRESH_U16_CTRL_S *pstThrU16Ctrl, u32 bInstant);
s32 DU_DUZ_IVE_16BitTo8Bit(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                           const IVE_16BIT_TO_8BIT_CTRL_S *pst16BitTo8BitCtrl, u32 bInstant);
s32 DU_DUZ_IVE_OrdStatFilter(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                             const IVE_ORD_STAT_FILTER_CTRL_S *pstOrdStatFltCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Map(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstMap,
                   const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 DU_DUZ_IVE_Add(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, const IVE_ADD_CTRL_S *pstAddCtrl, u32 bInstant);
s32 DU_DUZ_IVE_Xor(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 DU_DUZ_IVE_NCC(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_MEM_BLOCK_S *pstDst, u32 bInstant);
s32 DU_DUZ_IVE_CCL(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcDst, const IVE_MEM_BLOCK_S *pstBlob,
                   const IVE_CCL_CTRL_S *pstCclCtrl, u32 bInstant);
s32 DU_DUZ_IVE_GMM(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstFg,
                   const IVE_IMG_DESC_S *pstBg, const IVE_MEM_BLOCK_S *pstModel, const IVE_GMM_CTRL_S *pstGmmCtrl,
                   u32 bInstant);
s32 DU_DUZ_IVE_CannyHysEdge(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstEdge,
                            const IVE_MEM_BLOCK_S *pstStack, const IVE_CANNY_HYS_EDGE_CTRL_S *pstCannyHysEdgeCtrl,
                            u32 bInstant);
s32 DU_DUZ_IVE_LBP(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                   const IVE_LBP_CTRL_S *pstLbpCtrl, u32 bInstant);
s32 DU_DUZ_IVE_NormGrad(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                        const IVE_IMG_DESC_S *pstDstV, const IVE_IMG_DESC_S *pstDstHV,
                        const IVE_NORM_GRAD_CTRL_S *pstNormGradCtrl, u32 bInstant);
s32 DU_DUZ_IVE_LKOpticalFlow(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcPre,
                             const IVE_IMG_DESC_S *pstSrcCur, const IVE_MEM_BLOCK_S *pstPoint,
                             const IVE_MEM_BLOCK_S *pstMv, const IVE_LK_OPTICAL_FLOW_CTRL_S *pstLkOptiFlowCtrl,
                             u32 bInstant);
s32 DU_DUZ_IVE_GradFg(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstBgDiffFg, const IVE_IMG_DESC_S *pstCurGrad,
                      const IVE_IMG_DESC_S *pstBgGrad, const IVE_IMG_DESC_S *pstGradFg,
                      const IVE_GRAD_FG_CTRL_S *pstGradFgCtrl, u32 bInstant);
s32 DU_DUZ_IVE_MatchBgModel(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstCurImg,
                            const IVE_DATA_DESC_S *pstBgModel, const IVE_IMG_DESC_S *pstFgFlag,
                            const IVE_IMG_DESC_S *pstBgDiffFg, const IVE_IMG_DESC_S *pstFrmDiffFg,
                            const IVE_MEM_BLOCK_S *pstStatData, const IVE_MATCH_BG_MODEL_CTRL_S *pstMatchBgModelCtrl,
                            u32 bInstant);
s32 DU_DUZ_IVE_UpdateBgModel(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstBgModel,
                             const IVE_IMG_DESC_S *pstFgFlag, const IVE_IMG_DESC_S *pstBgImg,
                             const IVE_IMG_DESC_S *pstChgStaImg, const IVE_IMG_DESC_S *pstChgStaFg,
                             const IVE_IMG_DESC_S *pstChgStaLife, const IVE_MEM_BLOCK_S *pstStatData,
                             const IVE_UPDATE_BG_MODEL_CTRL_S *pstUpdateBgModelCtrl, u32 bInstant);
// With a model whose loader added an input neuron, the source's value for
// that neuron (its last) is set to 0 before the task is submitted.
s32 DU_DUZ_IVE_ANN_MLP_Predict(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                               const IVE_LUT_DESC_S *pstActivFuncTab, const IVE_MLP_NET_S *pstAnnMlpModel,
                               const IVE_MEM_BLOCK_S *pstDst, u32 bInstant);
s32 DU_DUZ_IVE_SVM_Predict(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                           const IVE_LUT_DESC_S *pstKernelTab, const IVE_SVM_CLASSIFIER_S *pstSvmModel,
                           const IVE_MEM_BLOCK_S *pstDstVote, u32 bInstant);
s32 DU_DUZ_IVE_SAD(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstSad, const IVE_IMG_DESC_S *pstThr, const IVE_SAD_CTRL_S *pstSadCtrl,
                   u32 bInstant);
s32 DU_DUZ_IVE_EqualizeHist(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_EQUALIZE_HIST_CTRL_S *pstEqualizeHistCtrl, u32 bInstant);
s32 DU_DUZ_IVE_STCandiCorner(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                             const IVE_IMG_DESC_S *pstCandiCorner,
                             const IVE_ST_CANDI_CORNER_CTRL_S *pstStCandiCornerCtrl, u32 bInstant);

// ---- the software stages after the engine ---------------------------------------------------
// They run on the user addresses in the caller's thread, once the engine task
// that produced their input has finished.

// Tracks edges from the points of the Canny stack into candidate pixels and
// turns the edge map into 0 and 255; the stack's count ends at 0.
s32 DU_DUZ_IVE_CannyEdge(IVE_IMG_DESC_S *pstEdge, IVE_MEM_BLOCK_S *pstStack);
// Picks the strongest corner candidates that keep u16MinDist from each
// other into the corner list (IVE_CORNER_LIST_S), strongest first.
s32 DU_DUZ_IVE_STCorner(IVE_IMG_DESC_S *pstCandiCorner, IVE_MEM_BLOCK_S *pstCorner,
                        IVE_ST_CORNER_CTRL_S *pstStCornerCtrl);

// ---- model files ----------------------------------------------------------------------------
// Load a ".bin" model into one block of media memory and fill the record;
// 0xA01D8042 when the file cannot be opened, 0xA01D8043 when it is shorter
// than its fields, 0xA01D8003 when a value is out of range. A loaded record
// is unloaded before it is loaded again.
s32 DU_DUZ_IVE_ANN_MLP_LoadModel(const char *pchFileName, IVE_MLP_NET_S *pstAnnMlpModel);
void DU_DUZ_IVE_ANN_MLP_UnloadModel(IVE_MLP_NET_S *pstAnnMlpModel);
s32 DU_DUZ_IVE_SVM_LoadModel(const char *pchFileName, IVE_SVM_CLASSIFIER_S *pstSvmModel);
void DU_DUZ_IVE_SVM_UnloadModel(IVE_SVM_CLASSIFIER_S *pstSvmModel);

// Whether task `IveHandle` has finished (*pbFinish 1) or not (0); with
// bBlock 1 the call waits for it.
s32 DU_DUZ_IVE_Query(IVE_TASK_HANDLE IveHandle, u32 *pbFinish, u32 bBlock);

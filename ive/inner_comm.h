// What the engine's parameter checks share: the common image tests, and the
// message forms every check reports its failures in. Each failing test
// prints the prefix with the reporting function and line, then its message,
// and returns its code; a check returns the first failure it meets.
#pragma once

#include "ive/mpi_ive.h"

#include <cstdio>
#include <initializer_list>

// Where a report comes from: the check's own function and source line.
struct IveAt {
    const char *func;
    int line;
};
#define IVE_HERE (IveAt{__FUNCTION__, __LINE__})

// Runs one test of a check; a failure ends the check with its code.
#define IVE_CHECK(test)                                                                                    \
    do {                                                                                                   \
        if (s32 ive_ret_ = (test))                                                                         \
            return ive_ret_;                                                                               \
    } while (0)

// Prints the prefix and the message.
void ive_report(IveAt at, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// Reports and returns `code`; with `fail` false does nothing and returns 0.
s32 ive_fail(IveAt at, bool fail, s32 code, const char *fmt, ...) __attribute__((format(printf, 4, 5)));

// Value of 16 and up rounded up to a multiple of 16.
inline u32 IveAlign(u32 value, u32 align) { return (value + align - 1) / align * align; }

// ---- the common image tests -------------------------------------------------------------
s32 IveCheckStride(u16 u16Stride, u16 u16Width, s32 s32Align);
s32 IveCheckWAndH(u16 u16Width, u16 u16Height);
s32 IveCheckImage(const IVE_IMG_DESC_S *pstImage, u16 u16MinWidth, u16 u16MinHeight, u16 u16MaxWidth,
                  u16 u16MaxHeight, u8 u8PlaneNum, u32 u32Align);
s32 IveCheckResRelation(u16 u16Width1, u16 u16Width2, u16 u16Height1, u16 u16Height2);

// The second family: the same tests, plus aligned plane addresses.
s32 FdCheckStride(u16 u16Stride, u16 u16Width, s32 s32Align);
s32 FdCheckWAndH(u16 u16Width, u16 u16Height);
s32 FdCheckImage(const IVE_IMG_DESC_S *pstImage, u16 u16MinWidth, u16 u16MinHeight, u16 u16MaxWidth,
                 u16 u16MaxHeight, u8 u8PlaneNum, u32 u32Align);
s32 MdCheckStride(u16 u16Stride, u16 u16Width, s32 s32Align);
s32 MdCheckWAndH(u16 u16Width, u16 u16Height);
s32 MdCheckImage(const IVE_IMG_DESC_S *pstImage, u16 u16MinWidth, u16 u16MinHeight, u16 u16MaxWidth,
                 u16 u16MaxHeight, u8 u8PlaneNum, u32 u32Align);

// ---- message forms ------------------------------------------------------------------------
// `name` is the argument's name; `field` a full field text such as
// "pstDst->u32PhyAddr".

// "<name> can't be NULL!": argument pointers and user addresses.
s32 ive_null(IveAt at, const void *p, const char *name);
// The argument pointers of a check's NULL order, tested in turn.
struct IveArg {
    const void *p;
    const char *name;
};
s32 ive_nulls(IveAt at, std::initializer_list<IveArg> args);
// "<field> can't be 0!": physical addresses.
s32 ive_phy(IveAt at, u32 phys, const char *field);
// "<field>(%d) must be greater than or equal to %d!"
s32 ive_min_size(IveAt at, u32 size, u32 min, const char *field);
// IveCheckImage with alignment 16, then "check image <name> failed!".
s32 ive_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u16 wmin, u16 hmin, u16 wmax, u16 hmax,
            u8 planes = 1);
// "<name>->enType(%d) must be U8C1(%d)!" and the like.
s32 ive_type(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 type);
// ive_img, then ive_type.
s32 ive_typed_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 type, u16 wmin, u16 hmin, u16 wmax,
                  u16 hmax);
// A memory block's user address (NULL: 0xA01D8006), then its physical address.
s32 ive_vir_phy(IveAt at, const IVE_MEM_BLOCK_S *m, const char *name);
// A memory block's size of at least `min` bytes.
s32 ive_block_size(IveAt at, const IVE_MEM_BLOCK_S *m, const char *name, u32 min);
// ive_vir_phy, then ive_block_size.
s32 ive_mem_block(IveAt at, const IVE_MEM_BLOCK_S *m, const char *name, u32 min);
// Equal width and height, else the relation message naming both.
s32 ive_same(IveAt at, const IVE_IMG_DESC_S *img, const char *name, const IVE_IMG_DESC_S *ref, const char *ref_name);
// Plane `plane` physical address a multiple of `align` bytes.
s32 ive_align_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 align, int plane = 0);
// "<field>(%#x) must be %d byte align!" for a memory block's address.
s32 ive_align_mem(IveAt at, u32 phys, const char *field, u32 align = 16);
// Equal first-plane strides: "<a>->u16Stride[0](%d) and <b>->u16Stride[0](%d) must be of same value!"
s32 ive_same_stride(IveAt at, const IVE_IMG_DESC_S *a, const char *a_name, const IVE_IMG_DESC_S *b,
                    const char *b_name);
// bInstant is DU_TRUE or DU_FALSE; always a check's last test.
s32 ive_instant(IveAt at, u32 bInstant);

// Planes a type's image checks look at.
u8 ive_planes(u32 type);

// ---- parameter checks of the operators -------------------------------------------------------
s32 IveCheckDMAParam(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstSrc, const IVE_DATA_DESC_S *pstDst,
                     const IVE_DMA_CTRL_S *pstDmaCtrl, u32 bInstant);
s32 IveCheckFilterParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                        const IVE_FILTER_CTRL_S *pstFltCtrl, u32 bInstant);
s32 IveCheckCSCParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_CSC_CTRL_S *pstCscCtrl, u32 bInstant);
s32 IveCheckFilterAndCSCParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                              const IVE_IMG_DESC_S *pstDst, const IVE_FILTER_AND_CSC_CTRL_S *pstFltCscCtrl,
                              u32 bInstant);
s32 IveCheckSobelParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                       const IVE_IMG_DESC_S *pstDstV, const IVE_SOBEL_CTRL_S *pstSobelCtrl, u32 bInstant);
s32 IveCheckMagAndAngParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                           const IVE_IMG_DESC_S *pstDstMag, const IVE_IMG_DESC_S *pstDstAng,
                           const IVE_MAG_AND_ANG_CTRL_S *pstMagAndAngCtrl, u32 bInstant);
s32 IveCheckDilateParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                        const IVE_DILATE_CTRL_S *pstDilateCtrl, u32 bInstant);
s32 IveCheckErodeParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                       const IVE_ERODE_CTRL_S *pstErodeCtrl, u32 bInstant);
s32 IveCheckThreshParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                        const IVE_THRESH_CTRL_S *pstThrCtrl, u32 bInstant);
s32 IveCheckThresh_S16Param(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_THRESH_S16_CTRL_S *pstThrS16Ctrl, u32 bInstant);
s32 IveCheckThresh_U16Param(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_THRESH_U16_CTRL_S *pstThrU16Ctrl, u32 bInstant);

s32 IveCheckIntegParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                       const IVE_INTEG_OPT_S *pstIntegCtrl, u32 bInstant);
s32 IveCheckHistParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstDst,
                      u32 bInstant);
s32 IveCheckAndParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 IveCheckOrParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                    const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 IveCheckXorParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 IveCheckSubParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, const IVE_SUB_CTRL_S *pstSubCtrl, u32 bInstant);
s32 IveCheckAddParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, const IVE_ADD_CTRL_S *pstAddCtrl, u32 bInstant);
s32 IveCheckEqualizeHistParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                              const IVE_IMG_DESC_S *pstDst, const IVE_EQUALIZE_HIST_CTRL_S *pstEqualizeHistCtrl,
                              u32 bInstant);
s32 IveCheckMapParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstMap,
                     const IVE_IMG_DESC_S *pstDst, u32 bInstant);
s32 IveCheck16BitTo8BitParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                             const IVE_16BIT_TO_8BIT_CTRL_S *pst16BitTo8BitCtrl, u32 bInstant);
s32 IveCheckOrdStatFilterParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                               const IVE_IMG_DESC_S *pstDst, const IVE_ORD_STAT_FILTER_CTRL_S *pstOrdStatFltCtrl,
                               u32 bInstant);

s32 IveCheckNormGradParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                          const IVE_IMG_DESC_S *pstDstV, const IVE_IMG_DESC_S *pstDstHV,
                          const IVE_NORM_GRAD_CTRL_S *pstNormGradCtrl, u32 bInstant);
s32 IveCheckLBPParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_LBP_CTRL_S *pstLbpCtrl, u32 bInstant);
s32 IveCheckNCCParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_MEM_BLOCK_S *pstDst, u32 bInstant);
s32 IveCheckCCLParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcDst, const IVE_MEM_BLOCK_S *pstBlob,
                     const IVE_CCL_CTRL_S *pstCclCtrl, u32 bInstant);
s32 IveCheckSTCandiCornerParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                               const IVE_IMG_DESC_S *pstCandiCorner,
                               const IVE_ST_CANDI_CORNER_CTRL_S *pstStCandiCornerCtrl, u32 bInstant);
s32 IveCheckSTCornerParam(const IVE_IMG_DESC_S *pstCandiCorner, const IVE_MEM_BLOCK_S *pstCorner,
                          const IVE_ST_CORNER_CTRL_S *pstStCornerCtrl);
s32 IveCheckCannyHysEdgeParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                              const IVE_IMG_DESC_S *pstEdge, const IVE_MEM_BLOCK_S *pstStack,
                              const IVE_CANNY_HYS_EDGE_CTRL_S *pstCannyHysEdgeCtrl, u32 bInstant);
s32 IveCheckCannyEdgeParam(const IVE_IMG_DESC_S *pstEdge, const IVE_MEM_BLOCK_S *pstStack);
s32 IveCheckSADParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstSad, const IVE_IMG_DESC_S *pstThr, const IVE_SAD_CTRL_S *pstSadCtrl,
                     u32 bInstant);

s32 IveCheckGMMParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstFg,
                     const IVE_IMG_DESC_S *pstBg, const IVE_MEM_BLOCK_S *pstModel, const IVE_GMM_CTRL_S *pstGmmCtrl,
                     u32 bInstant);
s32 IveCheckLKOpticalFlowParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcPre,
                               const IVE_IMG_DESC_S *pstSrcCur, const IVE_MEM_BLOCK_S *pstPoint,
                               const IVE_MEM_BLOCK_S *pstMv, const IVE_LK_OPTICAL_FLOW_CTRL_S *pstLkOptiFlowCtrl,
                               u32 bInstant);
s32 IveCheckGradFgParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstBgDiffFg,
                        const IVE_IMG_DESC_S *pstCurGrad, const IVE_IMG_DESC_S *pstBgGrad,
                        const IVE_IMG_DESC_S *pstGradFg, const IVE_GRAD_FG_CTRL_S *pstGradFgCtrl, u32 bInstant);
s32 IveCheckMatchBgModelParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstCurImg,
                              const IVE_DATA_DESC_S *pstBgModel, const IVE_IMG_DESC_S *pstFgFlag,
                              const IVE_IMG_DESC_S *pstBgDiffFg, const IVE_IMG_DESC_S *pstFrmDiffFg,
                              const IVE_MEM_BLOCK_S *pstStatData,
                              const IVE_MATCH_BG_MODEL_CTRL_S *pstMatchBgModelCtrl, u32 bInstant);
s32 IveCheckUpdateBgModelParam(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstBgModel,
                               const IVE_IMG_DESC_S *pstFgFlag, const IVE_IMG_DESC_S *pstBgImg,
                               const IVE_IMG_DESC_S *pstChgStaImg, const IVE_IMG_DESC_S *pstChgStaFg,
                               const IVE_IMG_DESC_S *pstChgStaLife, const IVE_MEM_BLOCK_S *pstStatData,
                               const IVE_UPDATE_BG_MODEL_CTRL_S *pstUpdateBgModelCtrl, u32 bInstant);

s32 IveCheckANNMLPPredictParam(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                               const IVE_LUT_DESC_S *pstActivFuncTab, const IVE_MLP_NET_S *pstAnnMlpModel,
                               const IVE_MEM_BLOCK_S *pstDst, u32 bInstant);
s32 IveCheckSVMPredictParam(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                            const IVE_LUT_DESC_S *pstKernelTab, const IVE_SVM_CLASSIFIER_S *pstSvmModel,
                            const IVE_MEM_BLOCK_S *pstDstVote, u32 bInstant);

// Layer counts of a network: the input and output layers 1 to u16MaxCount
// neurons, the hidden layers 2 to u16MaxCount; the network's model loader and
// its prediction's check both hold a network to it.
s32 ive_ann_layers(IveAt at, const IVE_MLP_NET_S *net);

// ---- model files and media memory ------------------------------------------------------------
// A file opened through the board (fopen's modes): what a stream opened for
// writing takes reaches the card and the flash as every write does.
FILE *IveOpenFile(const char *pchFileName, const char *pchMode);
void IveCloseFile(FILE *fp);
s32 IveMalloc(const char *pchMmbName, const char *pchZoneName, u32 *pu32PhyAddr, u8 **ppu8VirAddr, u32 u32Size);
s32 IveMalloc_Cached(u32 *pu32PhyAddr, u8 **ppu8VirAddr, u32 u32Size);
void IveFree(u32 u32PhyAddr, u8 *pu8VirAddr);
s32 IveFlushCache(u32 u32PhyAddr, u8 *pu8VirAddr, u32 u32Size);

// The model files' readers; the name appears in messages only.
s32 DU_SW_ANN_MLP_LoadModel(const char *pchFileName, FILE *fp, IVE_MLP_NET_S *pstAnnMlpModel);
s32 DU_SW_SVM_LoadModel(const char *pchFileName, FILE *fp, IVE_SVM_CLASSIFIER_S *pstSvmModel);

// ---- the software stages -----------------------------------------------------------------------
// The user addresses they work on may have any alignment: counts and points
// are read and written bytewise.
void DU_CannyStackPush(u8 **ppu8Top, u32 *pu32Count, u16 u16X, u16 u16Y);
void DU_CannyStackPop(u8 **ppu8Top, u32 *pu32Count, u16 *pu16X, u16 *pu16Y);
void DU_CannyEdge(u8 *pu8Edge, u16 u16Stride, u8 *pu8Stack, u8 *pu8Count, u16 u16Width, u16 u16Height);

// A corner candidate: its response and place.
struct IveCandidate {
    u8 u8Val;
    u16 u16X;
    u16 u16Y;
};
bool DU_Comp(const IveCandidate &a, const IveCandidate &b);
s32 DU_STCornerCollect(const u8 *pu8Image, u16 u16Stride, u16 u16Width, u16 u16Height, u8 *pu8Points,
                       u8 *pu8CornerNum, u16 u16MaxCornerNum, u16 u16MinDist);

// The image-analysis engine (IVE): its status codes and operators; the
// records it shares with the engine are in ive_requests.h.
//
// Every operator checks its arguments, copies them into one block and hands
// the block to the engine behind /dev/ive; DU_DUZ_IVE_Query asks whether a
// task has finished. Records are passed by pointer and only read; the task
// handle is written. What the engine computes for each operator (borders,
// rounding, output layouts) is written down in board/sim/ive/ive.h.
//
// Every operator goes through ive_submit (mpi_ive.cpp).
#pragma once

#include "ive/ive_requests.h"
#include "mpi/common/mpi_common.h"

// ---- status codes ------------------------------------------------------------------
constexpr s32 DU_ERR_IVE_ILLEGAL_PARAM = mpi_status(DU_ID_IVE, ERR_ILLEGAL_PARAM); // 0xA01D8003
constexpr s32 DU_ERR_IVE_NULL_PTR = mpi_status(DU_ID_IVE, ERR_NULL_PTR);           // 0xA01D8006
constexpr s32 DU_ERR_IVE_NOMEM = mpi_status(DU_ID_IVE, ERR_NOMEM);                 // 0xA01D800C
constexpr s32 DU_ERR_IVE_SYS_NOTREADY = mpi_status(DU_ID_IVE, ERR_SYS_NOTREADY);   // 0xA01D8010
constexpr s32 DU_ERR_IVE_OPEN_FILE = mpi_status(DU_ID_IVE, 0x42);                  // 0xA01D8042
constexpr s32 DU_ERR_IVE_READ_FILE = mpi_status(DU_ID_IVE, 0x43);                  // 0xA01D8043
constexpr s32 DU_ERR_FD_ILLEGAL_PARAM = mpi_status(47, ERR_ILLEGAL_PARAM);         // 0xA02F8003

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

struct IVE_XY_U16_S {
    u16 u16X;
    u16 u16Y;
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

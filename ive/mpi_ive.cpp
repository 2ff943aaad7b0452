// Submission and query of the engine's operators. Every operator opens
// /dev/ive if it is not open yet, runs its parameter check, copies its
// records into its block and issues one request; the engine puts the task's
// handle in the block's first word.
#include "ive/inner_comm.h"
#include "ive/ive_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"

#include <cstring>
#include <fcntl.h>
#include <mutex>

s32 g_s32IveFd = -1;

namespace {

// The first calls of two threads may come at once: the open is made once,
// under the lock, or one of the two descriptors would leak.
std::mutex g_ive_open_lock;

const mpi_dev_node kIveNode = {"/dev/ive", O_RDONLY, 0, 0};

// The engine's descriptor, opened on first use and kept; -1 when /dev/ive
// cannot be opened (a later call tries again).
s32 ive_fd(const char *func)
{
    mpi_dev_result r = mpi_dev_open_locked(g_ive_open_lock, &g_s32IveFd, kIveNode);
    if (!r.ok()) {
        ive_report({func, __LINE__}, "open /dev/ive err\n");
        return -1;
    }
    return r.fd;
}

// The one pattern of every operator: open, check, fill, submit, hand back
// the handle (-1 when the engine refused the task).
template <class Block, class Check, class Fill>
s32 ive_submit(IveAt at, const char *name, unsigned long cmd, IVE_TASK_HANDLE *handle, Check check, Fill fill)
{
    s32 fd = ive_fd(at.func);
    if (fd < 0)
        return DU_ERR_IVE_SYS_NOTREADY;
    if (s32 ret = check()) {
        ive_report(at, "Error(%#x): check %s parameters failed!\n", (u32)ret, name);
        return ret;
    }
    Block block;
    memset(&block, 0, sizeof block);
    fill(block);
    s32 ret = bd_ioctl(fd, cmd, &block);
    *handle = ret == 0 ? block.s32Handle : DU_INVALID_HANDLE;
    return ret;
}

#define IVE_SUBMIT(Block, name, cmd, check, fill)                                                          \
    ive_submit<Block>(IVE_HERE, name, cmd, pIveHandle, [&] { return check; }, [&](Block & b) { fill; })

// The extra step of a network prediction: a model whose loader added an
// input neuron (the flag word after its weights) needs that input at 0. The
// flag is read only when the weight block holds it.
void zero_added_input(const IVE_MEM_BLOCK_S &src, const IVE_MLP_NET_S &net)
{
    u32 flag = 0;
    if ((u64)net.stWeight.u32Size >= (u64)net.u32TotalWeightSize + sizeof flag)
        memcpy(&flag, net.stWeight.pu8VirAddr + net.u32TotalWeightSize, sizeof flag);
    if (flag)
        memset(src.pu8VirAddr + (net.au16LayerCount[0] - 1) * 4u, 0, 4);
}

} // namespace

s32 DU_DUZ_IVE_DMA(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstSrc, const IVE_DATA_DESC_S *pstDst,
                   const IVE_DMA_CTRL_S *pstDmaCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_DMA_REQ_S, "DMA", IVE_DMA, IveCheckDMAParam(pIveHandle, pstSrc, pstDst, pstDmaCtrl, bInstant),
                      b.stSrc = *pstSrc;
                      if (pstDmaCtrl->enMode <= 1) b.stDst = *pstDst;
                      b.stDmaCtrl = *pstDmaCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Filter(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                      const IVE_FILTER_CTRL_S *pstFltCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_FILTER_REQ_S, "Filter", IVE_FILTER,
                      IveCheckFilterParam(pIveHandle, pstSrc, pstDst, pstFltCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstFltCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_CSC(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                   const IVE_CSC_CTRL_S *pstCscCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_CSC_REQ_S, "CSC", IVE_CSC, IveCheckCSCParam(pIveHandle, pstSrc, pstDst, pstCscCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstCscCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_FilterAndCSC(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_FILTER_AND_CSC_CTRL_S *pstFltCscCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_FILTER_AND_CSC_REQ_S, "FilterAndCSC", IVE_FILTER_AND_CSC,
                      IveCheckFilterAndCSCParam(pIveHandle, pstSrc, pstDst, pstFltCscCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstFltCscCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Sobel(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                     const IVE_IMG_DESC_S *pstDstV, const IVE_SOBEL_CTRL_S *pstSobelCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_SOBEL_REQ_S, "Sobel", IVE_SOBEL,
                      IveCheckSobelParam(pIveHandle, pstSrc, pstDstH, pstDstV, pstSobelCtrl, bInstant),
                      const u32 out = pstSobelCtrl->enOutCtrl; b.stSrc = *pstSrc;
                      if (out == 0 || out == 1) b.stDst1 = *pstDstH;
                      if (out == 0 || out == 2) b.stDst2 = *pstDstV;
                      b.stCtrl = *pstSobelCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_MagAndAng(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstMag,
                         const IVE_IMG_DESC_S *pstDstAng, const IVE_MAG_AND_ANG_CTRL_S *pstMagAndAngCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_MAG_AND_ANG_REQ_S, "MagAndAng", IVE_MAG_AND_ANG,
                      IveCheckMagAndAngParam(pIveHandle, pstSrc, pstDstMag, pstDstAng, pstMagAndAngCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst1 = *pstDstMag;
                      if (pstMagAndAngCtrl->enOutCtrl == 1) b.stDst2 = *pstDstAng;
                      b.stCtrl = *pstMagAndAngCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Dilate(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                      const IVE_DILATE_CTRL_S *pstDilateCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_DILATE_REQ_S, "Dilate", IVE_DILATE,
                      IveCheckDilateParam(pIveHandle, pstSrc, pstDst, pstDilateCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstDilateCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Erode(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_ERODE_CTRL_S *pstErodeCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_ERODE_REQ_S, "Erode", IVE_ERODE,
                      IveCheckErodeParam(pIveHandle, pstSrc, pstDst, pstErodeCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstErodeCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Thresh(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                      const IVE_THRESH_CTRL_S *pstThrCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_THRESH_REQ_S, "Thresh", IVE_THRESH,
                      IveCheckThreshParam(pIveHandle, pstSrc, pstDst, pstThrCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstThrCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_And(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return IVE_SUBMIT(IVE_BINARY_REQ_S, "And", IVE_AND,
                      IveCheckAndParam(pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant),
                      b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2; b.stDst = *pstDst; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Sub(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, const IVE_SUB_CTRL_S *pstSubCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_SUB_REQ_S, "Sub", IVE_SUB,
                      IveCheckSubParam(pIveHandle, pstSrc1, pstSrc2, pstDst, pstSubCtrl, bInstant),
                      b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2; b.stDst = *pstDst; b.stCtrl = *pstSubCtrl;
                      b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Or(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                  const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return IVE_SUBMIT(IVE_BINARY_REQ_S, "Or", IVE_OR, IveCheckOrParam(pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant),
                      b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2; b.stDst = *pstDst; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Integ(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_INTEG_OPT_S *pstIntegCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_INTEG_REQ_S, "Integ", IVE_INTEG,
                      IveCheckIntegParam(pIveHandle, pstSrc, pstDst, pstIntegCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstIntegCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Hist(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstDst,
                    u32 bInstant)
{
    return IVE_SUBMIT(IVE_HIST_REQ_S, "Hist", IVE_HIST, IveCheckHistParam(pIveHandle, pstSrc, pstDst, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Thresh_S16(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                          const IVE_THRESH_S16_CTRL_S *pstThrS16Ctrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_THRESH_S16_REQ_S, "Thresh_S16", IVE_THRESH_S16,
                      IveCheckThresh_S16Param(pIveHandle, pstSrc, pstDst, pstThrS16Ctrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstThrS16Ctrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Thresh_U16(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                          const IVE_THRESH_U16_CTRL_S *pstThrU16Ctrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_THRESH_U16_REQ_S, "Thresh_U16", IVE_THRESH_U16,
                      IveCheckThresh_U16Param(pIveHandle, pstSrc, pstDst, pstThrU16Ctrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstThrU16Ctrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_16BitTo8Bit(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                           const IVE_16BIT_TO_8BIT_CTRL_S *pst16BitTo8BitCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_16BIT_TO_8BIT_REQ_S, "16BitTo8Bit", IVE_16BIT_TO_8BIT,
                      IveCheck16BitTo8BitParam(pIveHandle, pstSrc, pstDst, pst16BitTo8BitCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pst16BitTo8BitCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_OrdStatFilter(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                             const IVE_ORD_STAT_FILTER_CTRL_S *pstOrdStatFltCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_ORD_STAT_FILTER_REQ_S, "OrdStatFilter", IVE_ORD_STAT_FILTER,
                      IveCheckOrdStatFilterParam(pIveHandle, pstSrc, pstDst, pstOrdStatFltCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstOrdStatFltCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Map(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstMap,
                   const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return IVE_SUBMIT(IVE_MAP_REQ_S, "Map", IVE_MAP, IveCheckMapParam(pIveHandle, pstSrc, pstMap, pstDst, bInstant),
                      b.stSrc = *pstSrc; b.stMap = *pstMap; b.stDst = *pstDst; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Add(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, const IVE_ADD_CTRL_S *pstAddCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_ADD_REQ_S, "Add", IVE_ADD,
                      IveCheckAddParam(pIveHandle, pstSrc1, pstSrc2, pstDst, pstAddCtrl, bInstant),
                      b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2; b.stDst = *pstDst; b.stCtrl = *pstAddCtrl;
                      b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Xor(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return IVE_SUBMIT(IVE_BINARY_REQ_S, "Xor", IVE_XOR,
                      IveCheckXorParam(pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant),
                      b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2; b.stDst = *pstDst; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_NCC(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_MEM_BLOCK_S *pstDst, u32 bInstant)
{
    return IVE_SUBMIT(IVE_NCC_REQ_S, "NCC", IVE_NCC, IveCheckNCCParam(pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant),
                      b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2; b.stDst = *pstDst; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_CCL(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcDst, const IVE_MEM_BLOCK_S *pstBlob,
                   const IVE_CCL_CTRL_S *pstCclCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_CCL_REQ_S, "CCL", IVE_CCL,
                      IveCheckCCLParam(pIveHandle, pstSrcDst, pstBlob, pstCclCtrl, bInstant),
                      b.stSrcDst = *pstSrcDst; b.stBlob = *pstBlob; b.stCclCtrl = *pstCclCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_GMM(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstFg,
                   const IVE_IMG_DESC_S *pstBg, const IVE_MEM_BLOCK_S *pstModel, const IVE_GMM_CTRL_S *pstGmmCtrl,
                   u32 bInstant)
{
    return IVE_SUBMIT(IVE_GMM_REQ_S, "GMM", IVE_GMM, IveCheckGMMParam(pIveHandle, pstSrc, pstFg, pstBg, pstModel, pstGmmCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stFg = *pstFg; b.stBg = *pstBg; b.stModel = *pstModel;
                      b.stGmmCtrl = *pstGmmCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_CannyHysEdge(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstEdge,
                            const IVE_MEM_BLOCK_S *pstStack, const IVE_CANNY_HYS_EDGE_CTRL_S *pstCannyHysEdgeCtrl,
                            u32 bInstant)
{
    return IVE_SUBMIT(IVE_CANNY_HYS_EDGE_REQ_S, "CannyHysEdge", IVE_CANNY_HYS_EDGE,
                      IveCheckCannyHysEdgeParam(pIveHandle, pstSrc, pstEdge, pstStack, pstCannyHysEdgeCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stEdge = *pstEdge; b.stStack = *pstStack;
                      b.stCannyHysEdgeCtrl = *pstCannyHysEdgeCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_LBP(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                   const IVE_LBP_CTRL_S *pstLbpCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_LBP_REQ_S, "LBP", IVE_LBP, IveCheckLBPParam(pIveHandle, pstSrc, pstDst, pstLbpCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstLbpCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_NormGrad(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                        const IVE_IMG_DESC_S *pstDstV, const IVE_IMG_DESC_S *pstDstHV,
                        const IVE_NORM_GRAD_CTRL_S *pstNormGradCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_NORM_GRAD_REQ_S, "NormGrad", IVE_NORM_GRAD,
                      IveCheckNormGradParam(pIveHandle, pstSrc, pstDstH, pstDstV, pstDstHV, pstNormGradCtrl, bInstant),
                      const u32 out = pstNormGradCtrl->enOutCtrl; b.stSrc = *pstSrc;
                      if (out == 0 || out == 1) b.stDstH = *pstDstH;
                      if (out == 0 || out == 2) b.stDstV = *pstDstV;
                      if (out == 3) b.stDstHV = *pstDstHV;
                      b.stNormGradCtrl = *pstNormGradCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_LKOpticalFlow(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcPre,
                             const IVE_IMG_DESC_S *pstSrcCur, const IVE_MEM_BLOCK_S *pstPoint,
                             const IVE_MEM_BLOCK_S *pstMv, const IVE_LK_OPTICAL_FLOW_CTRL_S *pstLkOptiFlowCtrl,
                             u32 bInstant)
{
    return IVE_SUBMIT(IVE_LK_OPTICAL_FLOW_REQ_S, "LKOpticalFlow", IVE_LK_OPTICAL_FLOW,
                      IveCheckLKOpticalFlowParam(pIveHandle, pstSrcPre, pstSrcCur, pstPoint, pstMv, pstLkOptiFlowCtrl,
                                                 bInstant),
                      b.stSrcPre = *pstSrcPre; b.stSrcCur = *pstSrcCur; b.stPoint = *pstPoint; b.stMv = *pstMv;
                      b.stLkOptiFlowCtrl = *pstLkOptiFlowCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_GradFg(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstBgDiffFg, const IVE_IMG_DESC_S *pstCurGrad,
                      const IVE_IMG_DESC_S *pstBgGrad, const IVE_IMG_DESC_S *pstGradFg,
                      const IVE_GRAD_FG_CTRL_S *pstGradFgCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_GRAD_FG_REQ_S, "GradFg", IVE_GRAD_FG, IveCheckGradFgParam(pIveHandle, pstBgDiffFg, pstCurGrad, pstBgGrad, pstGradFg, pstGradFgCtrl, bInstant),
                      b.stBgDiffFg = *pstBgDiffFg; b.stCurGrad = *pstCurGrad; b.stBgGrad = *pstBgGrad;
                      b.stGradFg = *pstGradFg; b.stGradFgCtrl = *pstGradFgCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_MatchBgModel(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstCurImg,
                            const IVE_DATA_DESC_S *pstBgModel, const IVE_IMG_DESC_S *pstFgFlag,
                            const IVE_IMG_DESC_S *pstBgDiffFg, const IVE_IMG_DESC_S *pstFrmDiffFg,
                            const IVE_MEM_BLOCK_S *pstStatData, const IVE_MATCH_BG_MODEL_CTRL_S *pstMatchBgModelCtrl,
                            u32 bInstant)
{
    return IVE_SUBMIT(IVE_MATCH_BG_MODEL_REQ_S, "MatchBgModel", IVE_MATCH_BG_MODEL,
                      IveCheckMatchBgModelParam(pIveHandle, pstCurImg, pstBgModel, pstFgFlag, pstBgDiffFg, pstFrmDiffFg,
                                                pstStatData, pstMatchBgModelCtrl, bInstant),
                      b.stCurImg = *pstCurImg; b.stBgModel = *pstBgModel; b.stFgFlag = *pstFgFlag;
                      b.stBgDiffFg = *pstBgDiffFg; b.stFrmDiffFg = *pstFrmDiffFg; b.stStatData = *pstStatData;
                      b.stMatchBgModelCtrl = *pstMatchBgModelCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_UpdateBgModel(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstBgModel,
                             const IVE_IMG_DESC_S *pstFgFlag, const IVE_IMG_DESC_S *pstBgImg,
                             const IVE_IMG_DESC_S *pstChgStaImg, const IVE_IMG_DESC_S *pstChgStaFg,
                             const IVE_IMG_DESC_S *pstChgStaLife, const IVE_MEM_BLOCK_S *pstStatData,
                             const IVE_UPDATE_BG_MODEL_CTRL_S *pstUpdateBgModelCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_UPDATE_BG_MODEL_REQ_S, "UpdateBgModel", IVE_UPDATE_BG_MODEL,
                      IveCheckUpdateBgModelParam(pIveHandle, pstBgModel, pstFgFlag, pstBgImg, pstChgStaImg, pstChgStaFg,
                                                 pstChgStaLife, pstStatData, pstUpdateBgModelCtrl, bInstant),
                      b.stBgModel = *pstBgModel; b.stFgFlag = *pstFgFlag; b.stBgImg = *pstBgImg;
                      if (pstUpdateBgModelCtrl->u8DetChgRegion == 1) {
                          b.stChgStaImg = *pstChgStaImg;
                          b.stChgStaFg = *pstChgStaFg;
                          b.stChgStaLife = *pstChgStaLife;
                      } b.stStatData = *pstStatData;
                      b.stUpdateBgModelCtrl = *pstUpdateBgModelCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_ANN_MLP_Predict(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                               const IVE_LUT_DESC_S *pstActivFuncTab, const IVE_MLP_NET_S *pstAnnMlpModel,
                               const IVE_MEM_BLOCK_S *pstDst, u32 bInstant)
{
    return IVE_SUBMIT(IVE_ANN_MLP_PREDICT_REQ_S, "ANN_MLP_Predict", IVE_ANN_MLP_PREDICT,
                      IveCheckANNMLPPredictParam(pIveHandle, pstSrc, pstActivFuncTab, pstAnnMlpModel, pstDst,
                                                 bInstant),
                      b.stSrc = *pstSrc; b.stActivFuncTab = *pstActivFuncTab; b.stAnnMlpModel = *pstAnnMlpModel;
                      b.stDst = *pstDst; b.bInstant = bInstant; zero_added_input(*pstSrc, *pstAnnMlpModel));
}

s32 DU_DUZ_IVE_SVM_Predict(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                           const IVE_LUT_DESC_S *pstKernelTab, const IVE_SVM_CLASSIFIER_S *pstSvmModel,
                           const IVE_MEM_BLOCK_S *pstDstVote, u32 bInstant)
{
    return IVE_SUBMIT(IVE_SVM_PREDICT_REQ_S, "SVM_Predict", IVE_SVM_PREDICT,
                      IveCheckSVMPredictParam(pIveHandle, pstSrc, pstKernelTab, pstSvmModel, pstDstVote, bInstant),
                      b.stSrc = *pstSrc; b.stKernelTab = *pstKernelTab; b.stSvmModel = *pstSvmModel;
                      b.stDstVote = *pstDstVote; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_SAD(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                   const IVE_IMG_DESC_S *pstSad, const IVE_IMG_DESC_S *pstThr, const IVE_SAD_CTRL_S *pstSadCtrl,
                   u32 bInstant)
{
    return IVE_SUBMIT(IVE_SAD_REQ_S, "Sad", IVE_SAD,
                      IveCheckSADParam(pIveHandle, pstSrc1, pstSrc2, pstSad, pstThr, pstSadCtrl, bInstant),
                      const u32 out = pstSadCtrl->enOutCtrl; b.stSrc1 = *pstSrc1; b.stSrc2 = *pstSrc2;
                      if (out <= 3) b.stSad = *pstSad;
                      if (out <= 1 || out == 4) b.stThr = *pstThr;
                      b.stSadCtrl = *pstSadCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_EqualizeHist(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_EQUALIZE_HIST_CTRL_S *pstEqualizeHistCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_EQUALIZE_HIST_REQ_S, "EqulizeHist", IVE_EQUALIZE_HIST,
                      IveCheckEqualizeHistParam(pIveHandle, pstSrc, pstDst, pstEqualizeHistCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstDst; b.stCtrl = *pstEqualizeHistCtrl; b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_STCandiCorner(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                             const IVE_IMG_DESC_S *pstCandiCorner,
                             const IVE_ST_CANDI_CORNER_CTRL_S *pstStCandiCornerCtrl, u32 bInstant)
{
    return IVE_SUBMIT(IVE_ST_CANDI_CORNER_REQ_S, "STCandiCorner", IVE_ST_CANDI_CORNER,
                      IveCheckSTCandiCornerParam(pIveHandle, pstSrc, pstCandiCorner, pstStCandiCornerCtrl, bInstant),
                      b.stSrc = *pstSrc; b.stDst = *pstCandiCorner; b.stCtrl = *pstStCandiCornerCtrl;
                      b.bInstant = bInstant);
}

s32 DU_DUZ_IVE_Query(IVE_TASK_HANDLE IveHandle, u32 *pbFinish, u32 bBlock)
{
    if (bBlock != DU_TRUE && bBlock != DU_FALSE) {
        ive_report(IVE_HERE, "bBlock (%d) must be DU_TRUE or DU_FALSE!\n", (s32)bBlock);
        return DU_ERR_IVE_ILLEGAL_PARAM;
    }
    if (!pbFinish) {
        ive_report(IVE_HERE, "pbFinish is NULL\n");
        return DU_ERR_IVE_NULL_PTR;
    }
    if (IveHandle < 0 || IveHandle > 0x0FFFFFFF) {
        ive_report(IVE_HERE, "invalid handle\n");
        return DU_ERR_IVE_ILLEGAL_PARAM;
    }
    s32 fd = ive_fd(__FUNCTION__);
    if (fd < 0)
        return DU_ERR_IVE_SYS_NOTREADY;
    IVE_QUERY_REQ_S q = {IveHandle, bBlock, 0};
    s32 ret = bd_ioctl(fd, IVE_QUERY, &q);
    if (ret == 0)
        *pbFinish = q.bFinish;
    return ret;
}

// Parameter checks of the neural-network and support-vector predictions:
// the model's geometry, the lookup table's input range and every block's
// size must agree before the engine runs.
#include "ive/inner_comm.h"
#include "ive/ive_requests.h"

namespace {

constexpr s32 kIllegal = DU_ERR_IVE_ILLEGAL_PARAM;

// The source, a table, the model's blocks and the output all sit on 16-byte
// boundaries.
s32 aligned(IveAt at, std::initializer_list<IveArg> blocks)
{
    for (const IveArg &b : blocks)
        IVE_CHECK(ive_align_mem(at, static_cast<const IVE_MEM_BLOCK_S *>(b.p)->u32PhyAddr, b.name));
    return 0;
}

// A lookup table (`block` names its memory block): present, 1 to
// `max_elems` elements of 2 bytes.
s32 table(IveAt at, const IVE_LUT_DESC_S *t, const char *block, const char *elem_fmt, u16 max_elems)
{
    IVE_CHECK(ive_vir_phy(at, &t->stTable, block));
    IVE_CHECK(ive_fail(at, t->u16ElemNum < 1 || t->u16ElemNum > max_elems, kIllegal, elem_fmt, t->u16ElemNum,
                       max_elems));
    return ive_block_size(at, &t->stTable, block, 2u * t->u16ElemNum);
}

} // namespace

s32 ive_ann_layers(IveAt at, const IVE_MLP_NET_S *net)
{
    const u32 n = net->u8LayerNum, max = net->u16MaxCount;
    for (u32 i = 0; i < n; i++) {
        const u32 min = i == 0 || i == n - 1 ? 1 : 2, c = net->au16LayerCount[i];
        if (c < min || c > max)
            return ive_fail(at, true, kIllegal,
                            "pstAnnMlpModel->au16LayerCount[0](input layer) and "
                            "pstAnnMlpModel->au16LayerCount[pstAnnMlpModel->u8LayerNum-1](output layer) must be in "
                            "[1, %d], the middle(hidden layer) of them must be in [2, %d]!\n",
                            (s32)max, (s32)max);
    }
    return 0;
}

s32 IveCheckANNMLPPredictParam(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                               const IVE_LUT_DESC_S *pstActivFuncTab, const IVE_MLP_NET_S *pstAnnMlpModel,
                               const IVE_MEM_BLOCK_S *pstDst, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"},
                        {pstActivFuncTab, "pstActivFuncTab"}, {pstAnnMlpModel, "pstAnnMlpModel"},
                        {pstDst, "pstDst"}}));
    IVE_CHECK(ive_vir_phy(IVE_HERE, pstSrc, "pstSrc"));
    const IVE_LUT_DESC_S &t = *pstActivFuncTab;
    IVE_CHECK(
        table(IVE_HERE, &t, "pstActivFuncTab->stTable", "pstActivFuncTab->u16ElemNum(%d) must be in [1, %d]!\n", 4096));
    IVE_CHECK(ive_fail(IVE_HERE, t.u8TabInPreci > 16, kIllegal,
                       "pstActivFuncTab->u8TabInPreci(%d) must be less than or equal to %d!\n", t.u8TabInPreci, 16));
    IVE_CHECK(ive_fail(IVE_HERE, t.u8TabOutNorm > 7, kIllegal,
                       "pstActivFuncTab->u8TabOutNorm(%d) must be less than or euqal to %d!\n", t.u8TabOutNorm, 7));
    IVE_CHECK(ive_fail(IVE_HERE, t.s32TabInUpper < 1 || t.s32TabInUpper > 127, kIllegal,
                       "pstActivFuncTab->s32TabInUpper(%d) must be in [%d, %d]!\n", t.s32TabInUpper, 1, 127));
    // The table covers [0, upper] with 2^u8TabInPreci elements per unit.
    IVE_CHECK(ive_fail(IVE_HERE, (t.s32TabInUpper << t.u8TabInPreci) > t.u16ElemNum, kIllegal,
                       "((pstActivFuncTab->s32TabInUpper(%d))<<(pstActivFuncTab->u8TabInPreci(%d))) must be less than "
                       "or equal to pstActivFuncTab->u16ElemNum(%d)!\n",
                       t.s32TabInUpper, t.u8TabInPreci, t.u16ElemNum));
    const IVE_MLP_NET_S &net = *pstAnnMlpModel;
    IVE_CHECK(ive_fail(IVE_HERE, net.enActivFunc >= 3, kIllegal, "psAnnMlpModel->enActivFunc(%d) must be in [0, %d)!\n",
                       (s32)net.enActivFunc, 3));
    IVE_CHECK(ive_vir_phy(IVE_HERE, &net.stWeight, "pstAnnMlpModel->stWeight"));
    IVE_CHECK(ive_fail(IVE_HERE, net.u8LayerNum < 3 || net.u8LayerNum > 8, kIllegal,
                       "pstAnnMlpModel->u8LayerNum(%d) must be in [%d, %d]!\n", net.u8LayerNum, 3, 8));
    IVE_CHECK(ive_fail(IVE_HERE, net.u16MaxCount < 2 || net.u16MaxCount > 256, kIllegal,
                       "pstAnnMlpModel->u16MaxCount(%d) must be in [%d, %d]!\n", net.u16MaxCount, 2, 256));
    IVE_CHECK(ive_ann_layers(IVE_HERE, &net));
    const u32 weights = 3 * ive_ann_weight_count(net.au16LayerCount, net.u8LayerNum);
    IVE_CHECK(ive_fail(IVE_HERE, net.u32TotalWeightSize != weights, kIllegal,
                       "pstAnnMlpModel->u32TotalWeightSize(%d) must be equal to %d!", (s32)net.u32TotalWeightSize,
                       (s32)weights));
    IVE_CHECK(ive_min_size(IVE_HERE, net.stWeight.u32Size, net.u32TotalWeightSize, "pstAnnMlpModel->stWeight.u32Size"));
    IVE_CHECK(ive_vir_phy(IVE_HERE, pstDst, "pstDst"));
    // One 32-bit value per input and per output neuron.
    IVE_CHECK(ive_min_size(IVE_HERE, pstSrc->u32Size, 4u * net.au16LayerCount[0], "pstSrc->u32Size"));
    IVE_CHECK(ive_min_size(IVE_HERE, pstDst->u32Size, 4u * net.au16LayerCount[net.u8LayerNum - 1], "pstDst->u32Size"));
    IVE_CHECK(aligned(IVE_HERE, {{pstSrc, "pstSrc->u32PhyAddr"},
                                 {&t.stTable, "pstActivFuncTab->stTable.u32PhyAddr"},
                                 {&net.stWeight, "pstAnnMlpModel->stWeight.u32PhyAddr"},
                                 {pstDst, "pstDst->u32PhyAddr"}}));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckSVMPredictParam(IVE_TASK_HANDLE *pIveHandle, const IVE_MEM_BLOCK_S *pstSrc,
                            const IVE_LUT_DESC_S *pstKernelTab, const IVE_SVM_CLASSIFIER_S *pstSvmModel,
                            const IVE_MEM_BLOCK_S *pstDstVote, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstKernelTab, "pstKernelTab"},
                        {pstSvmModel, "pstSvmModel"}, {pstDstVote, "pstDstVote"}}));
    IVE_CHECK(ive_vir_phy(IVE_HERE, pstSrc, "pstSrc"));
    const IVE_LUT_DESC_S &t = *pstKernelTab;
    // The bound's message ends in a full-width exclamation mark (GBK).
    IVE_CHECK(table(IVE_HERE, &t, "pstKernelTab->stTable", "pstKernelTab->u16ElemNum(%d) must be in [1, %d]\xA3\xA1\n",
                    2048));
    IVE_CHECK(ive_fail(IVE_HERE, t.u8TabInPreci > 16, kIllegal, "pstKernelTab->u8TabInPreci(%d) must be in [0, %d]!\n",
                       t.u8TabInPreci, 16));
    IVE_CHECK(ive_fail(IVE_HERE, t.s32TabInLower < -8388608 || t.s32TabInUpper > 8388607 ||
                                     t.s32TabInLower >= t.s32TabInUpper,
                       kIllegal,
                       "pstKernelTab->s32TabInLower(%d) and pstKernel->s32TabInUpper(%d) must be in [%d, %d], also "
                       "pstKernelTab->s32TabInLower must be less than pstKernelTab->s32TabInUpper!\n",
                       t.s32TabInLower, t.s32TabInUpper, -8388608, 8388607));
    // The span reaches 2^24 and the shift 16 bits: counted in 64 bits.
    const s64 span = ((s64)t.s32TabInUpper - t.s32TabInLower) << t.u8TabInPreci;
    IVE_CHECK(
        ive_fail(IVE_HERE, span > t.u16ElemNum, kIllegal,
                 "(pstKernelTab->s32TabInUpper(%d)-pstKernelTab->s32TabInLower(%d)<<pstKernelTab->u8TabInPreci(%d) "
                 "must less than or equal to pstKernelTab->u16ElemNum(%d)!\n",
                 t.s32TabInUpper, t.s32TabInLower, t.u8TabInPreci, t.u16ElemNum));
    const IVE_SVM_CLASSIFIER_S &m = *pstSvmModel;
    IVE_CHECK(ive_fail(IVE_HERE, m.enKernelType > 3, kIllegal, "pstSvmMode->enKernelType(%d) must be in [0, %d)!\n",
                       (s32)m.enKernelType, 4));
    IVE_CHECK(ive_fail(IVE_HERE, m.u16FeatureDim < 1 || m.u16FeatureDim > 256, kIllegal,
                       "pstSvmMode->u16FeatureDim(%d) must be in [1, %d]!\n", m.u16FeatureDim, 256));
    IVE_CHECK(ive_fail(IVE_HERE, m.u16SvTotal < 1 || m.u16SvTotal > 3000, kIllegal,
                       "pstSvmModel->u16SvTotal(%d) must be in [1, %d]!\n", m.u16SvTotal, 3000));
    IVE_CHECK(ive_fail(IVE_HERE, m.u8ClassCount < 2 || m.u8ClassCount > 80, kIllegal,
                       "pstSvmModel->u8ClassCount(%d) must be in [2, %d]!\n", m.u8ClassCount, 80));
    IVE_CHECK(ive_mem_block(IVE_HERE, &m.stSv, "pstSvmModel->stSv", 3u * m.u16FeatureDim * m.u16SvTotal));
    IVE_CHECK(ive_vir_phy(IVE_HERE, &m.stDf, "pstSvmModel->stDf"));
    IVE_CHECK(ive_fail(IVE_HERE, m.stDf.u32Size < m.u32TotalDfSize, kIllegal,
                       "pstSvmModel->stDf.u32Size(%d) must be greater than or equal to "
                       "pstSvmModel->u32TatalDfSize(%d)!\n",
                       (s32)m.stDf.u32Size, (s32)m.u32TotalDfSize));
    IVE_CHECK(ive_null(IVE_HERE, pstDstVote->pu8VirAddr, "pstDstVote->pu8VirAddr"));
    IVE_CHECK(ive_phy(IVE_HERE, pstDstVote->u32PhyAddr, "pstDstVote->pu8PhyAddr"));
    IVE_CHECK(ive_fail(IVE_HERE, pstSrc->u32Size < 4u * m.u16FeatureDim, kIllegal,
                       "pstSrc->u32Size(%d) must be greater than or euqal to "
                       "pstSvmMode->u16FeatureDim(%d)*sizeof(DU_S16Q16)!\n",
                       (s32)pstSrc->u32Size, m.u16FeatureDim));
    IVE_CHECK(ive_fail(IVE_HERE, pstDstVote->u32Size < 2u * m.u8ClassCount, kIllegal,
                       "pstDstVote->u32Size(%d) must be greater than or equal to "
                       "pstSvmModel->u8ClassCount(%d)*sizeof(DU_U16)!\n",
                       (s32)pstDstVote->u32Size, m.u8ClassCount));
    IVE_CHECK(aligned(IVE_HERE, {{pstSrc, "pstSrc->u32PhyAddr"}, {&t.stTable, "pstKernelTab->stTable.u32PhyAddr"},
                                 {&m.stSv, "pstSvmModel->stSv.u32PhyAddr"}, {&m.stDf, "pstSvmModel->stDf.u32PhyAddr"},
                                 {pstDstVote, "pstDstVote->u32PhyAddr"}}));
    return ive_instant(IVE_HERE, bInstant);
}

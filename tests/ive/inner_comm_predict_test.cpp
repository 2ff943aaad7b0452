// The parameter rules of the network and support-vector predictions: the
// model's geometry, the table's input range and every block's size, in their
// order, and that what passes is what the engine accepts.
#include "tests/ive/ive_fixture.h"

using namespace ivetest;

namespace {

constexpr s32 kIllegal = (s32)0xA01D8003, kNull = (s32)0xA01D8006;

class IvePredictChecks : public IveTest {
protected:
    IVE_LUT_DESC_S table(u16 elems, u8 preci, s32 lower, s32 upper)
    {
        IVE_LUT_DESC_S t;
        memset(&t, 0, sizeof t);
        t.stTable = block(2u * elems);
        t.u16ElemNum = elems;
        t.u8TabInPreci = preci;
        t.s32TabInLower = lower;
        t.s32TabInUpper = upper;
        return t;
    }
    IVE_TASK_HANDLE h_ = 0;
};

TEST_F(IvePredictChecks, Network)
{
    // 2-3-1: 2 x 2 + 3 x 3 + 1 x 4 + 2 x 1 = 19 weights, 57 bytes.
    struct Ann {
        IVE_MEM_BLOCK_S src, dst;
        IVE_LUT_DESC_S tab;
        IVE_MLP_NET_S net;
    };
    Ann base;
    base.src = block(8);
    base.dst = block(4);
    base.tab = table(16, 0, 0, 1);
    memset(&base.net, 0, sizeof base.net);
    base.net.enActivFunc = 1;
    base.net.stWeight = block(61);
    base.net.u32TotalWeightSize = 57;
    base.net.au16LayerCount[0] = 2, base.net.au16LayerCount[1] = 3, base.net.au16LayerCount[2] = 1;
    base.net.u16MaxCount = 3;
    base.net.u8LayerNum = 3;
    auto ann = [&](std::function<void(Ann &)> change) {
        return [&, change] {
            Ann a = base;
            change(a);
            return DU_DUZ_IVE_ANN_MLP_Predict(&h_, &a.src, &a.tab, &a.net, &a.dst, 0);
        };
    };
    run_checks({
        {"2-3-1 in 57 bytes", ann([](Ann &) {}), 0, ""},
        {"56 bytes of weights", ann([](Ann &a) { a.net.u32TotalWeightSize = 56; }), kIllegal,
         "pstAnnMlpModel->u32TotalWeightSize(56) must be equal to 57!"}, // no line end
        {"a weight block shorter than the weights", ann([](Ann &a) { a.net.stWeight.u32Size = 56; }), kIllegal,
         "pstAnnMlpModel->stWeight.u32Size(56) must be greater than or equal to 57!\n"},
        {"a source of 7 bytes", ann([](Ann &a) { a.src.u32Size = 7; }), kIllegal,
         "pstSrc->u32Size(7) must be greater than or equal to 8!\n"},
        {"a destination of 3 bytes", ann([](Ann &a) { a.dst.u32Size = 3; }), kIllegal,
         "pstDst->u32Size(3) must be greater than or equal to 4!\n"},
        {"a hidden layer of one neuron",
         ann([](Ann &a) { a.net.au16LayerCount[1] = 1, a.net.u32TotalWeightSize = 3 * (4 + 3 + 2 + 2); }), kIllegal,
         "pstAnnMlpModel->au16LayerCount[0](input layer) and "
         "pstAnnMlpModel->au16LayerCount[pstAnnMlpModel->u8LayerNum-1](output layer) must be in [1, 3], the "
         "middle(hidden layer) of them must be in [2, 3]!\n"},
        {"an input layer of one neuron",
         ann([](Ann &a) { a.net.au16LayerCount[0] = 1, a.net.u32TotalWeightSize = 3 * (2 + 6 + 4 + 2); }), 0, ""},
        {"upper 16 at precision 8 in 4096 elements", ann([&](Ann &a) { a.tab = table(4096, 8, 0, 16); }), 0, ""},
        {"upper 16 at precision 9", ann([&](Ann &a) { a.tab = table(4096, 9, 0, 16); }), kIllegal,
         "((pstActivFuncTab->s32TabInUpper(16))<<(pstActivFuncTab->u8TabInPreci(9))) must be less than or equal to "
         "pstActivFuncTab->u16ElemNum(4096)!\n"},
        {"output normalisation 8", ann([](Ann &a) { a.tab.u8TabOutNorm = 8; }), kIllegal,
         "pstActivFuncTab->u8TabOutNorm(8) must be less than or euqal to 7!\n"},
        {"upper 0", ann([](Ann &a) { a.tab.s32TabInUpper = 0; }), kIllegal,
         "pstActivFuncTab->s32TabInUpper(0) must be in [1, 127]!\n"},
        {"a table block of 31 bytes", ann([](Ann &a) { a.tab.stTable.u32Size = 31; }), kIllegal,
         "pstActivFuncTab->stTable.u32Size(31) must be greater than or equal to 32!\n"},
        {"no table", ann([](Ann &a) { a.tab.stTable.pu8VirAddr = nullptr; }), kNull,
         "pstActivFuncTab->stTable.pu8VirAddr can't be NULL!\n"},
        {"activation 3", ann([](Ann &a) { a.net.enActivFunc = 3; }), kIllegal,
         "psAnnMlpModel->enActivFunc(3) must be in [0, 3)!\n"},
        {"9 layers", ann([](Ann &a) { a.net.u8LayerNum = 9; }), kIllegal,
         "pstAnnMlpModel->u8LayerNum(9) must be in [3, 8]!\n"},
        {"no weights", ann([](Ann &a) { a.net.stWeight.u32PhyAddr = 0; }), kIllegal,
         "pstAnnMlpModel->stWeight.u32PhyAddr can't be 0!\n"},
        {"the source's alignment first",
         ann([](Ann &a) { a.src.u32PhyAddr += 4, a.net.stWeight.u32PhyAddr += 4; }), kIllegal,
         "pstSrc->u32PhyAddr(" + hex(base.src.u32PhyAddr + 4) + ") must be 16 byte align!\n"},
        {"weights off their alignment", ann([](Ann &a) { a.net.stWeight.u32PhyAddr += 4; }), kIllegal,
         "pstAnnMlpModel->stWeight.u32PhyAddr(" + hex(base.net.stWeight.u32PhyAddr + 4) +
             ") must be 16 byte align!\n"},
        {"bInstant 2", [&] { return DU_DUZ_IVE_ANN_MLP_Predict(&h_, &base.src, &base.tab, &base.net, &base.dst, 2); },
         kIllegal, "bInstant (2) must be DU_TRUE or DU_FALSE!\n"},
    });
}

TEST_F(IvePredictChecks, SupportVectors)
{
    // 3 classes of 2 features, 3 vectors, 3 empty decision functions.
    struct Svm {
        IVE_MEM_BLOCK_S src, votes;
        IVE_LUT_DESC_S tab;
        IVE_SVM_CLASSIFIER_S model;
    };
    Svm base;
    base.src = block(8);
    base.votes = block(6);
    base.tab = table(8, 0, -4, 4);
    memset(&base.model, 0, sizeof base.model);
    base.model.enKernelType = 1;
    base.model.stSv = block(18);
    base.model.stDf = block(24);
    base.model.u32TotalDfSize = 24;
    base.model.u16FeatureDim = 2;
    base.model.u16SvTotal = 3;
    base.model.u8ClassCount = 3;
    auto svm = [&](std::function<void(Svm &)> change) {
        return [&, change] {
            Svm v = base;
            change(v);
            return DU_DUZ_IVE_SVM_Predict(&h_, &v.src, &v.tab, &v.model, &v.votes, 0);
        };
    };
    run_checks({
        {"in range", svm([](Svm &) {}), 0, ""},
        {"[-4, 4] at precision 8 in 2048 elements", svm([&](Svm &v) { v.tab = table(2048, 8, -4, 4); }), 0, ""},
        {"[-4, 4] at precision 8 in 2047 elements", svm([&](Svm &v) { v.tab = table(2047, 8, -4, 4); }), kIllegal,
         "(pstKernelTab->s32TabInUpper(4)-pstKernelTab->s32TabInLower(-4)<<pstKernelTab->u8TabInPreci(8) must less "
         "than or equal to pstKernelTab->u16ElemNum(2047)!\n"},
        {"the whole 24-bit range at precision 16", svm([&](Svm &v) { v.tab = table(2048, 16, -8388608, 8388607); }),
         kIllegal,
         "(pstKernelTab->s32TabInUpper(8388607)-pstKernelTab->s32TabInLower(-8388608)<<pstKernelTab->u8TabInPreci(16) "
         "must less than or equal to pstKernelTab->u16ElemNum(2048)!\n"},
        {"equal bounds", svm([](Svm &v) { v.tab.s32TabInLower = v.tab.s32TabInUpper = 4; }), kIllegal,
         "pstKernelTab->s32TabInLower(4) and pstKernel->s32TabInUpper(4) must be in [-8388608, 8388607], also "
         "pstKernelTab->s32TabInLower must be less than pstKernelTab->s32TabInUpper!\n"},
        {"2049 elements", svm([](Svm &v) { v.tab.u16ElemNum = 2049; }), kIllegal,
         "pstKernelTab->u16ElemNum(2049) must be in [1, 2048]\xA3\xA1\n"},
        {"precision 17", svm([](Svm &v) { v.tab.u8TabInPreci = 17; }), kIllegal,
         "pstKernelTab->u8TabInPreci(17) must be in [0, 16]!\n"},
        {"kernel 4", svm([](Svm &v) { v.model.enKernelType = 4; }), kIllegal,
         "pstSvmMode->enKernelType(4) must be in [0, 4)!\n"},
        {"81 classes", svm([](Svm &v) { v.model.u8ClassCount = 81; }), kIllegal,
         "pstSvmModel->u8ClassCount(81) must be in [2, 80]!\n"},
        {"vectors of 17 bytes", svm([](Svm &v) { v.model.stSv.u32Size = 17; }), kIllegal,
         "pstSvmModel->stSv.u32Size(17) must be greater than or equal to 18!\n"},
        {"functions shorter than their total", svm([](Svm &v) { v.model.stDf.u32Size = 23; }), kIllegal,
         "pstSvmModel->stDf.u32Size(23) must be greater than or equal to pstSvmModel->u32TatalDfSize(24)!\n"},
        {"no vote block address", svm([](Svm &v) { v.votes.u32PhyAddr = 0; }), kIllegal,
         "pstDstVote->pu8PhyAddr can't be 0!\n"},
        {"a source of 7 bytes", svm([](Svm &v) { v.src.u32Size = 7; }), kIllegal,
         "pstSrc->u32Size(7) must be greater than or euqal to pstSvmMode->u16FeatureDim(2)*sizeof(DU_S16Q16)!\n"},
        {"a vote block of 5 bytes", svm([](Svm &v) { v.votes.u32Size = 5; }), kIllegal,
         "pstDstVote->u32Size(5) must be greater than or equal to pstSvmModel->u8ClassCount(3)*sizeof(DU_U16)!\n"},
        {"functions off their alignment", svm([](Svm &v) { v.model.stDf.u32PhyAddr += 8; }), kIllegal,
         "pstSvmModel->stDf.u32PhyAddr(" + hex(base.model.stDf.u32PhyAddr + 8) + ") must be 16 byte align!\n"},
        {"no model", [&] { return DU_DUZ_IVE_SVM_Predict(&h_, &base.src, &base.tab, nullptr, &base.votes, 0); }, kNull,
         "pstSvmModel can't be NULL!\n"},
    });
}

// The flag after the weights says whether the loader added an input; it is
// read only when the weight block holds it.
TEST_F(IvePredictChecks, TheAddedInputIsZeroedOnlyWhenTheBlockHoldsItsFlag)
{
    IVE_MLP_NET_S net;
    memset(&net, 0, sizeof net);
    net.stWeight = block(61); // 2-3-1: 57 bytes of weights, then the flag
    net.stWeight.pu8VirAddr[57] = 1;
    net.u32TotalWeightSize = 57;
    net.au16LayerCount[0] = 2, net.au16LayerCount[1] = 3, net.au16LayerCount[2] = 1;
    net.u16MaxCount = 3;
    net.u8LayerNum = 3;
    IVE_LUT_DESC_S tab = table(16, 0, 0, 1);
    IVE_MEM_BLOCK_S dst = block(4);
    struct Case {
        const char *name;
        u32 block_size;
        bool zeroed;
    };
    for (const Case &c :
         {Case{"the flag inside the block", 61, true}, Case{"the block ends with the weights", 57, false},
          Case{"the flag's last byte outside", 60, false}}) {
        SCOPED_TRACE(c.name);
        net.stWeight.u32Size = c.block_size;
        IVE_MEM_BLOCK_S src = block(8, 0xAA);
        ASSERT_EQ(0, DU_DUZ_IVE_ANN_MLP_Predict(&h_, &src, &tab, &net, &dst, 0));
        std::vector<u8> expect(8, 0xAA);
        if (c.zeroed)
            std::fill(expect.begin() + 4, expect.end(), 0);
        EXPECT_EQ(expect, std::vector<u8>(src.pu8VirAddr, src.pu8VirAddr + 8));
    }
}

} // namespace

// The engine's classifiers: multi-layer perceptron and support-vector
// prediction in their fixed-point formats. The rules they follow are in
// board/sim/ive/ive.h.
#include "board/sim/ive/ive.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace sim {
namespace ive {

namespace {

constexpr int kFrac = 16; // fraction bits of every value

// A 24-bit signed little-endian value.
int32_t s24(const uint8_t *p)
{
    return (int32_t)((uint32_t)p[0] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 24) >> 8;
}

int32_t cut32(int64_t v) { return (int32_t)std::clamp<int64_t>(v, INT32_MIN, INT32_MAX); }

// A lookup table in the board's memory.
struct Table {
    const uint8_t *elems = nullptr;
    uint32_t count = 0, preci = 0, norm = 0;
    int64_t lower = 0;
    // The element at `i`, kept inside the table, with 16 fraction bits.
    int64_t at(int64_t i) const
    {
        int16_t e = ld<int16_t>(elems + 2 * std::clamp<int64_t>(i, 0, count - 1));
        return (int64_t)e * ((int64_t)1 << norm);
    }
};

int table(const IVE_LUT_DESC_S &d, Table *t)
{
    if (d.u16ElemNum == 0 || d.u8TabInPreci > kFrac || d.u8TabOutNorm > kFrac)
        return EINVAL;
    uint8_t *elems;
    if (int err = memory(d.stTable, 2u * d.u16ElemNum, &elems))
        return err;
    *t = {elems, d.u16ElemNum, d.u8TabInPreci, d.u8TabOutNorm, d.s32TabInLower};
    return 0;
}

// ---- the network ---------------------------------------------------------------------------------

// Reads the weights in the loaders' order.
struct Weights {
    const uint8_t *p;
    int64_t next() { return s24((p += 3) - 3); }
};

// (a x >> 16) + b: an input's or an output's scale and offset.
int32_t scaled(Weights &w, int32_t x)
{
    int64_t a = w.next(), b = w.next();
    return cut32(((a * x) >> kFrac) + b);
}

int32_t activate(uint32_t func, const Table &t, int32_t s)
{
    if (func == 0)
        return s;
    const int64_t mag = std::abs((int64_t)s);
    int64_t f = t.at(mag >> (kFrac - t.preci));
    if (func == 1 && s < 0)
        f = -f;
    return cut32(f);
}

bool network_fits(const IVE_MLP_NET_S &net)
{
    if (net.enActivFunc > 2 || net.u8LayerNum < 3 || net.u8LayerNum > 8)
        return false;
    for (uint32_t i = 0; i < net.u8LayerNum; i++)
        if (net.au16LayerCount[i] < 1 || net.au16LayerCount[i] > 256)
            return false;
    return net.u32TotalWeightSize == 3 * ive_ann_weight_count(net.au16LayerCount, net.u8LayerNum);
}

// ---- the support-vector model -----------------------------------------------------------------------

bool svm_fits(const IVE_SVM_CLASSIFIER_S &m)
{
    return m.enKernelType <= 3 && m.u16FeatureDim >= 1 && m.u16FeatureDim <= 256 && m.u16SvTotal >= 1 &&
           m.u16SvTotal <= 3000 && m.u8ClassCount >= 2 && m.u8ClassCount <= 80;
}

// The kernel of the source with every support vector.
std::vector<int64_t> kernels(const IVE_SVM_CLASSIFIER_S &m, const uint8_t *src, const uint8_t *sv, const Table &t)
{
    std::vector<int64_t> k(m.u16SvTotal);
    for (uint32_t v = 0; v < m.u16SvTotal; v++, sv += 3 * m.u16FeatureDim) {
        int64_t sum = 0;
        for (uint32_t f = 0; f < m.u16FeatureDim; f++) {
            const int64_t x = ld<int32_t>(src + 4 * f), s = s24(sv + 3 * f);
            sum += m.enKernelType == 2 ? -(((x - s) * (x - s)) >> kFrac) : x * s;
        }
        const int64_t tv = m.enKernelType == 2 ? sum : sum >> kFrac;
        k[v] = m.enKernelType == 0 ? tv : t.at((tv - t.lower * 65536) >> (kFrac - t.preci));
    }
    return k;
}

} // namespace

int op_ann_mlp_predict(const IVE_ANN_MLP_PREDICT_REQ_S &b)
{
    const IVE_MLP_NET_S &net = b.stAnnMlpModel;
    if (!network_fits(net))
        return EINVAL;
    const uint32_t layers = net.u8LayerNum, inputs = net.au16LayerCount[0], outputs = net.au16LayerCount[layers - 1];
    Table t;
    uint8_t *src, *weights, *dst;
    if (net.enActivFunc != 0)
        if (int err = table(b.stActivFuncTab, &t))
            return err;
    if (int err = memory(net.stWeight, net.u32TotalWeightSize, &weights))
        return err;
    if (int err = memory(b.stSrc, 4u * inputs, &src))
        return err;
    if (int err = memory(b.stDst, 4u * outputs, &dst))
        return err;
    Weights w{weights};
    std::vector<int32_t> y(inputs);
    for (uint32_t j = 0; j < inputs; j++)
        y[j] = scaled(w, ld<int32_t>(src + 4 * j));
    for (uint32_t l = 1; l < layers; l++) {
        std::vector<int32_t> next(net.au16LayerCount[l]);
        for (int32_t &n : next) {
            int64_t sum = 0;
            for (int32_t v : y)
                sum += w.next() * v;
            n = activate(net.enActivFunc, t, cut32((sum >> kFrac) + w.next()));
        }
        y.swap(next);
    }
    // Written once every weight is read: the result may lie over them.
    std::vector<int32_t> result(outputs);
    for (uint32_t j = 0; j < outputs; j++)
        result[j] = scaled(w, y[j]);
    memcpy(dst, result.data(), 4u * outputs);
    return 0;
}

int op_svm_predict(const IVE_SVM_PREDICT_REQ_S &b)
{
    const IVE_SVM_CLASSIFIER_S &m = b.stSvmModel;
    if (!svm_fits(m))
        return EINVAL;
    Table t;
    uint8_t *src, *sv, *df, *votes;
    if (m.enKernelType != 0)
        if (int err = table(b.stKernelTab, &t))
            return err;
    if (int err = memory(b.stSrc, 4u * m.u16FeatureDim, &src))
        return err;
    if (int err = memory(m.stSv, 3u * m.u16FeatureDim * m.u16SvTotal, &sv))
        return err;
    if (int err = memory(m.stDf, m.u32TotalDfSize, &df))
        return err;
    if (int err = memory(b.stDstVote, 2u * m.u8ClassCount, &votes))
        return err;
    // Every function inside the block and naming a vector that is there,
    // before anything is computed.
    const uint32_t dfs = ive_svm_df_count(m.u8ClassCount);
    if (ive_svm_walk(df, m.u32TotalDfSize, dfs, [](u32, const u8 *) { return false; },
                     [&](u32, u32, s32, u16 index) { return index >= m.u16SvTotal; }) != 0)
        return EINVAL;
    const std::vector<int64_t> k = kernels(m, src, sv, t);
    // The functions come pair by pair: (0,1), (0,2) .. (K-2,K-1).
    std::vector<uint16_t> count(m.u8ClassCount, 0);
    __int128 sum = 0;
    int64_t rho = 0;
    uint32_t first = 0, second = 1;
    auto vote = [&] {
        const __int128 d = (sum >> kFrac) - rho;
        count[d > 0 ? first : second]++;
        if (++second == m.u8ClassCount)
            second = ++first + 1;
    };
    ive_svm_walk(
        df, m.u32TotalDfSize, dfs,
        [&](u32 f, const u8 *header) {
            if (f > 0)
                vote();
            sum = 0;
            rho = ld<int32_t>(header + 2);
            return false;
        },
        [&](u32, u32, s32 alpha, u16 index) {
            sum += (__int128)alpha * k[index];
            return false;
        });
    vote();
    memcpy(votes, count.data(), 2u * m.u8ClassCount);
    return 0;
}

} // namespace ive
} // namespace sim

// The neural-network and support-vector model files: their readers, the
// load and unload calls, and the media memory the models live in.
//
// A model file is input a person or a tool may get wrong: every field is
// read on its own and checked before it is used, and nothing is read or
// written outside the block a model is loaded into. A refused load leaves
// the record's memory block as the caller left it (the loader frees what it
// allocated).
#include "ive/inner_comm.h"
#include "ive/ive_requests.h"

#include "board/board.h"
#include "mpi/video/sys/mpi_sys.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr s32 kIllegal = DU_ERR_IVE_ILLEGAL_PARAM, kShort = DU_ERR_IVE_READ_FILE, kNoMem = DU_ERR_IVE_NOMEM;

// Reads exactly `n` bytes.
bool read_exact(FILE *fp, void *to, size_t n) { return fread(to, 1, n, fp) == n; }

// Reads `n` bytes into `to`, or reports the short read of `what`.
s32 read_or_fail(IveAt at, FILE *fp, void *to, size_t n, const char *what)
{
    return ive_fail(at, !read_exact(fp, to, n), kShort, "Error: fread %s failed!\n", what);
}

template <class T> s32 read_field(IveAt at, FILE *fp, T *field, const char *what)
{
    return read_or_fail(at, fp, field, sizeof *field, what);
}

// Bytes left in the file, or -1 when the stream cannot tell.
s64 bytes_left(FILE *fp)
{
    long at = ftell(fp);
    if (at < 0 || fseek(fp, 0, SEEK_END) != 0)
        return -1;
    long end = ftell(fp);
    if (fseek(fp, at, SEEK_SET) != 0 || end < at)
        return -1;
    return end - at;
}

// A name whose part from its last '.' is exactly ".bin".
bool bin_name(const char *name)
{
    const char *dot = strrchr(name, '.');
    return dot && strcmp(dot, ".bin") == 0;
}

// The four-byte magic: a three-letter tag and a zero byte.
s32 magic(IveAt at, FILE *fp, const char *tag, const char *file)
{
    char m[4];
    char what[32];
    snprintf(what, sizeof what, "%s model file flag", tag);
    IVE_CHECK(read_field(at, fp, &m, what));
    return ive_fail(at, memcmp(m, tag, 3) != 0 || m[3] != 0, kIllegal, "pchFileName(%s) is not a %s model file!\n",
                    file, tag);
}

// The load calls' shared steps: the name, the file, the reader.
template <class Model, class Reader>
s32 load(IveAt at, const char *file, Model *model, const char *model_name, const char *kind, Reader reader)
{
    if (!file)
        return ive_fail(at, true, DU_ERR_IVE_NULL_PTR, "pchFileName can't be NULL!\n");
    if (!model)
        return ive_fail(at, true, DU_ERR_IVE_NULL_PTR, "%s can't be NULL!\n", model_name);
    if (!bin_name(file))
        return ive_fail(at, true, kIllegal, "Error: pchFileName(%s) must be a .bin file!\n", file);
    FILE *fp = IveOpenFile(file, "rb");
    if (!fp)
        return ive_fail(at, true, DU_ERR_IVE_OPEN_FILE, "Error: open file pchFileName(%s) failed!\n", file);
    s32 ret = reader(file, fp, model);
    fclose(fp);
    return ive_fail(at, ret != 0, ret, "Error(%#x): load %s Model failed!\n", (u32)ret, kind);
}

// ---- the network -----------------------------------------------------------------------------

// The weights of a network whose input count m leaves 2 over a multiple of 8
// get one more input neuron, with zero weights, as the engine wants: the
// zero pair after the input scaling and a zero weight after the m weights
// of every first-hidden-layer neuron. The block is `weights` bytes long.
s32 read_widened_weights(IveAt at, FILE *fp, u8 *w, u32 m, u32 hidden, u32 weights)
{
    u32 off = 0;
    auto take = [&](u32 n, const char *what) {
        s32 ret = read_or_fail(at, fp, w + off, n, what);
        off += n;
        return ret;
    };
    auto zero = [&](u32 n) { memset(w + off, 0, n), off += n; };
    IVE_CHECK(take(m * 6, "scale_input weight"));
    zero(6);
    char what[64];
    for (u32 j = 0; j < hidden; j++) {
        snprintf(what, sizeof what, "1th hidden_layer's %uth neuron weight", j);
        IVE_CHECK(take(m * 3, what));
        zero(3);
        snprintf(what, sizeof what, "1th hidden_layer's %uth neuron bias", j);
        IVE_CHECK(take(3, what));
    }
    return take(weights - off, "pstAnnMlpModel->stWeight");
}

// ---- the support-vector model ------------------------------------------------------------------

// Every decision function's header and entries inside the loaded bytes,
// every alpha a signed 24-bit value, every index a support vector.
s32 check_decision_functions(IveAt at, const IVE_SVM_CLASSIFIER_S &m)
{
    s32 code = 0;
    s32 past = ive_svm_walk(
        m.stDf.pu8VirAddr, m.u32TotalDfSize, ive_svm_df_count(m.u8ClassCount), [](u32, const u8 *) { return false; },
        [&](u32 d, u32 k, s32 alpha, u16 index) {
            if (alpha < -8388608 || alpha > 8388607)
                code = ive_fail(at, true, kIllegal, "Error: the %dth DF's %dth alpha(%d) must be in [%d, %d]!\n",
                                (s32)d, (s32)k, alpha, -8388608, 8388607);
            else
                code = ive_fail(at, index >= m.u16SvTotal, kIllegal,
                                "Error: the %dth DF's %dth SV index(%d) must be in [0, %d]!\n", (s32)d, (s32)k, index,
                                m.u16SvTotal - 1);
            return code != 0;
        });
    if (past < 0)
        return ive_fail(at, true, kIllegal, "Error: the %dth DF runs past pstSvmModel->u32TotalDfSize(%d)!\n",
                        -1 - past, (s32)m.u32TotalDfSize);
    return code;
}

} // namespace

// ---- files and media memory -----------------------------------------------------------------------

FILE *IveOpenFile(const char *pchFileName, const char *pchMode)
{
    return bd_fopen(pchFileName, pchMode);
}

void IveCloseFile(FILE *fp)
{
    if (fp)
        fclose(fp);
}

s32 IveMalloc(const char *pchMmbName, const char *pchZoneName, u32 *pu32PhyAddr, u8 **ppu8VirAddr, u32 u32Size)
{
    void *virt = nullptr;
    s32 ret = DU_DUZ_SYS_MmzAlloc(pu32PhyAddr, &virt, pchMmbName, pchZoneName, u32Size);
    if (ret == 0)
        *ppu8VirAddr = static_cast<u8 *>(virt);
    return ret;
}

s32 IveMalloc_Cached(u32 *pu32PhyAddr, u8 **ppu8VirAddr, u32 u32Size)
{
    void *virt = nullptr;
    s32 ret = DU_DUZ_SYS_MmzAlloc_Cached(pu32PhyAddr, &virt, nullptr, nullptr, u32Size);
    if (ret == 0)
        *ppu8VirAddr = static_cast<u8 *>(virt);
    return ret;
}

void IveFree(u32 u32PhyAddr, u8 *pu8VirAddr)
{
    if (u32PhyAddr && pu8VirAddr)
        DU_DUZ_SYS_MmzFree(u32PhyAddr, pu8VirAddr);
}

s32 IveFlushCache(u32 u32PhyAddr, u8 *pu8VirAddr, u32 u32Size)
{
    return DU_DUZ_SYS_MmzFlushCache(u32PhyAddr, pu8VirAddr, u32Size);
}

// ---- readers ------------------------------------------------------------------------------------

s32 DU_SW_ANN_MLP_LoadModel(const char *pchFileName, FILE *fp, IVE_MLP_NET_S *pstAnnMlpModel)
{
    IVE_MLP_NET_S &net = *pstAnnMlpModel;
    IVE_CHECK(magic(IVE_HERE, fp, "ANN", pchFileName));
    IVE_CHECK(read_field(IVE_HERE, fp, &net.enActivFunc, "pstAnnMlpModel->enActivFunc"));
    IVE_CHECK(ive_fail(IVE_HERE, net.enActivFunc >= 3, kIllegal, "psAnnMlpModel->enActivFunc(%d) must be in [0, %d)!\n",
                       (s32)net.enActivFunc, 3));
    IVE_CHECK(read_field(IVE_HERE, fp, &net.u8LayerNum, "pstAnnMlpModel->u8LayerNum"));
    IVE_CHECK(ive_fail(IVE_HERE, net.u8LayerNum < 3 || net.u8LayerNum > 8, kIllegal,
                       "pstAnnMlpModel->u8LayerNum(%d) must be in [%d, %d]!\n", net.u8LayerNum, 3, 8));
    IVE_CHECK(read_field(IVE_HERE, fp, &net.au16LayerCount, "pstAnnMlpModel->au16LayerCount"));
    IVE_CHECK(read_field(IVE_HERE, fp, &net.u16MaxCount, "pstAnnMlpModel->u16MaxCount"));
    IVE_CHECK(ive_fail(IVE_HERE, net.u16MaxCount < 2 || net.u16MaxCount > 256, kIllegal,
                       "pstAnnMlpModel->u16MaxCount(%d) must be in [%d, %d]!\n", net.u16MaxCount, 2, 256));
    IVE_CHECK(read_field(IVE_HERE, fp, &net.u32TotalWeightSize, "pstAnnMlpModel->u32TotalWeightSize"));
    IVE_CHECK(ive_ann_layers(IVE_HERE, &net));
    u32 n = ive_ann_weight_count(net.au16LayerCount, net.u8LayerNum);
    IVE_CHECK(ive_fail(IVE_HERE, net.u32TotalWeightSize != 3 * n, kIllegal,
                       "pstAnnMlpModel->u32TotalWeightSize(%d) must be equal to %d!", (s32)net.u32TotalWeightSize,
                       (s32)(3 * n)));
    // The file's block size goes into the record and is only tested: the
    // block is sized from the weights.
    IVE_CHECK(read_field(IVE_HERE, fp, &net.stWeight.u32Size, "pstAnnMlpModel->stWeight"));
    IVE_CHECK(ive_fail(IVE_HERE, net.stWeight.u32Size < net.u32TotalWeightSize, kIllegal,
                       "pstAnnMlpModel->stWeight.u32Size(%d) must be greater than or equal to %d!\n",
                       (s32)net.stWeight.u32Size, (s32)net.u32TotalWeightSize));

    const u32 m = net.au16LayerCount[0];
    const bool widen = m % 8 == 2;
    if (widen) {
        net.au16LayerCount[0] = (u16)(m + 1);
        net.u16MaxCount = std::max<u16>(net.u16MaxCount, (u16)(m + 1));
        n += net.au16LayerCount[1] + 2;
        net.u32TotalWeightSize = 3 * n;
    }
    u32 phys = 0;
    u8 *virt = nullptr;
    if (IveMalloc("ANN_MODEL", nullptr, &phys, &virt, net.u32TotalWeightSize + 4) != 0)
        return ive_fail(IVE_HERE, true, kNoMem, "malloc buffer pstAnnMlpModel->stWeight failed!\n");
    net.stWeight = {phys, virt, net.u32TotalWeightSize + 4};
    const s32 ret =
        widen ? read_widened_weights(IVE_HERE, fp, virt, m, net.au16LayerCount[1], net.u32TotalWeightSize)
              : read_or_fail(IVE_HERE, fp, virt, net.u32TotalWeightSize, "pstAnnMlpModel->stWeight.pu8VirAddr");
    if (ret != 0) {
        DU_DUZ_IVE_ANN_MLP_UnloadModel(&net);
        return ret;
    }
    const u32 flag = widen ? 1 : 0;
    memcpy(virt + net.u32TotalWeightSize, &flag, sizeof flag);
    return 0;
}

s32 DU_SW_SVM_LoadModel(const char *pchFileName, FILE *fp, IVE_SVM_CLASSIFIER_S *pstSvmModel)
{
    IVE_SVM_CLASSIFIER_S &m = *pstSvmModel;
    IVE_CHECK(magic(IVE_HERE, fp, "SVM", pchFileName));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.enType, "pstSvmModel->enType"));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.enKernelType, "pstSvmModel->enKernelType"));
    IVE_CHECK(ive_fail(IVE_HERE, m.enKernelType >= 4, kIllegal, "pstSvmMode->enKernelType(%d) must be in [0, %d)!\n",
                       (s32)m.enKernelType, 4));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.u8ClassCount, "pstSvmModel->u8ClassCount"));
    IVE_CHECK(ive_fail(IVE_HERE, m.u8ClassCount < 2 || m.u8ClassCount > 80, kIllegal,
                       "pstSvmModel->u8ClassCount(%d) must be in [%d, %d]!\n", m.u8ClassCount, 2, 80));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.u16FeatureDim, "pstSvmModel->u16FeatureDim"));
    IVE_CHECK(ive_fail(IVE_HERE, m.u16FeatureDim < 1 || m.u16FeatureDim > 256, kIllegal,
                       "pstSvmMode->u16FeatureDim(%d) must be in [%d, %d]!\n", m.u16FeatureDim, 1, 256));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.u16SvTotal, "pstSvmModel->u16SvTotal"));
    IVE_CHECK(ive_fail(IVE_HERE, m.u16SvTotal < 1 || m.u16SvTotal > 3000, kIllegal,
                       "pstSvmModel->u16SvTotal(%d) must be in [%d, %d]!\n", m.u16SvTotal, 1, 3000));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.u32TotalDfSize, "pstSvmModel->u32TotalDfSize"));
    IVE_CHECK(ive_fail(IVE_HERE, m.u32TotalDfSize < 14, kIllegal,
                       "pstSvmModel->u32TotalDfSize(%d) must be greater than or equal to %d!\n", (s32)m.u32TotalDfSize,
                       14));
    // The file's two area sizes go into the record and are only tested:
    // the block is sized from the counts.
    const u32 sv_bytes = 3u * m.u16SvTotal * m.u16FeatureDim;
    IVE_CHECK(read_field(IVE_HERE, fp, &m.stSv.u32Size, "pstSvmModel->stSv.u32Size"));
    IVE_CHECK(ive_fail(IVE_HERE, m.stSv.u32Size < sv_bytes, kIllegal,
                       "pstSvmModel->stSv.u32Size(%d) must be greater than or equal to "
                       "%d(pstSvmModel->u16SvTotal*pstSvmModel->u16FeatureDim*3)!\n",
                       (s32)m.stSv.u32Size, (s32)sv_bytes));
    IVE_CHECK(read_field(IVE_HERE, fp, &m.stDf.u32Size, "pstSvmModel->stDf.u32Size"));
    IVE_CHECK(ive_fail(IVE_HERE, m.stDf.u32Size < m.u32TotalDfSize, kIllegal,
                       "pstSvmModel->stDf.u32Size(%d) must be greater than or equal to "
                       "pstSvmModel->u32TatalDfSize(%d)!\n",
                       (s32)m.stDf.u32Size, (s32)m.u32TotalDfSize));

    // The decision functions' size comes from the file alone: a file that
    // holds fewer bytes than it claims is refused before anything is
    // allocated, and the block's size is counted in 64 bits.
    const s64 left = bytes_left(fp);
    if (left >= 0 && left < (s64)sv_bytes)
        return ive_fail(IVE_HERE, true, kShort, "Error: fread pstSvmModel->stSv.pu8VirAddr failed!\n");
    if (left >= 0 && left - sv_bytes < (s64)m.u32TotalDfSize)
        return ive_fail(IVE_HERE, true, kShort, "Error: fread pstSvmModel->stDf.pu8VirAddr failed!\n");
    const u64 sv_area = IveAlign(sv_bytes, 16), df_area = ((u64)m.u32TotalDfSize + 15) / 16 * 16;
    if (sv_area + df_area > 0xFFFFFFFFu)
        return ive_fail(IVE_HERE, true, kNoMem, "pstSvmModel->stSv malloc buffer error!\n");
    u32 phys = 0;
    u8 *virt = nullptr;
    if (IveMalloc("SVM_MODEL", nullptr, &phys, &virt, (u32)(sv_area + df_area)) != 0)
        return ive_fail(IVE_HERE, true, kNoMem, "pstSvmModel->stSv malloc buffer error!\n");
    m.stSv = {phys, virt, sv_bytes};
    m.stDf = {phys + (u32)sv_area, virt + sv_area, m.u32TotalDfSize};
    s32 ret = read_or_fail(IVE_HERE, fp, m.stSv.pu8VirAddr, sv_bytes, "pstSvmModel->stSv.pu8VirAddr");
    if (ret == 0)
        ret = read_or_fail(IVE_HERE, fp, m.stDf.pu8VirAddr, m.u32TotalDfSize, "pstSvmModel->stDf.pu8VirAddr");
    if (ret == 0)
        ret = check_decision_functions(IVE_HERE, m);
    if (ret != 0)
        DU_DUZ_IVE_SVM_UnloadModel(&m);
    return ret;
}

// ---- load and unload --------------------------------------------------------------------------

s32 DU_DUZ_IVE_ANN_MLP_LoadModel(const char *pchFileName, IVE_MLP_NET_S *pstAnnMlpModel)
{
    return load(IVE_HERE, pchFileName, pstAnnMlpModel, "pstAnnMlpModel", "ANN", DU_SW_ANN_MLP_LoadModel);
}

s32 DU_DUZ_IVE_SVM_LoadModel(const char *pchFileName, IVE_SVM_CLASSIFIER_S *pstSvmModel)
{
    return load(IVE_HERE, pchFileName, pstSvmModel, "pstSvmModel", "SVM", DU_SW_SVM_LoadModel);
}

void DU_DUZ_IVE_ANN_MLP_UnloadModel(IVE_MLP_NET_S *pstAnnMlpModel)
{
    if (!pstAnnMlpModel) {
        ive_report(IVE_HERE, "pstAnnMlpModel is NULL!\n");
        return;
    }
    IVE_MEM_BLOCK_S &w = pstAnnMlpModel->stWeight;
    if (w.pu8VirAddr) {
        IveFree(w.u32PhyAddr, w.pu8VirAddr);
        memset(&w, 0, sizeof w);
    }
}

void DU_DUZ_IVE_SVM_UnloadModel(IVE_SVM_CLASSIFIER_S *pstSvmModel)
{
    if (!pstSvmModel) {
        ive_report(IVE_HERE, "pstSvmModel is NULL!\n");
        return;
    }
    if (pstSvmModel->stSv.pu8VirAddr) {
        IveFree(pstSvmModel->stSv.u32PhyAddr, pstSvmModel->stSv.pu8VirAddr);
        memset(&pstSvmModel->stSv, 0, sizeof pstSvmModel->stSv);
        memset(&pstSvmModel->stDf, 0, sizeof pstSvmModel->stDf);
    }
}

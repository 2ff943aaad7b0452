// The network and support-vector model files: what a good file loads as,
// byte for byte, and every refusal with its code and message, the record's
// block without memory (its size as far as the file was read) and no media
// memory kept.
#include "tests/ive/ive_fixture.h"

#include "ive/inner_comm.h"

using namespace ivetest;

namespace {

constexpr s32 kIllegal = (s32)0xA01D8003, kNull = (s32)0xA01D8006, kNoFile = (s32)0xA01D8042,
              kShort = (s32)0xA01D8043;

template <class T> void put(std::string &out, T v) { out.append(reinterpret_cast<const char *>(&v), sizeof v); }

// "ANN\0", the activation, the layers, the largest count, the weight size
// and the block size, then the weights.
std::string ann_file(std::vector<u16> layers, u16 max_count, u32 weight_size, const std::string &weights,
                     u32 block_size = 0)
{
    std::string f("ANN\0", 4);
    put<u32>(f, 1);
    put<u8>(f, (u8)layers.size());
    layers.resize(8, 0);
    for (u16 c : layers)
        put(f, c);
    put(f, max_count);
    put(f, weight_size);
    put(f, block_size ? block_size : weight_size);
    return f + weights;
}

// Bytes 1, 2, 3 .. n: each weight byte of a file recognisable in memory.
std::string counting(u32 n)
{
    std::string s;
    for (u32 i = 1; i <= n; i++)
        s.push_back((char)i);
    return s;
}

struct SvmShape {
    u32 kernel;
    u8 classes;
    u16 dim, vectors;
    u32 df_size, sv_field, df_field;
};

std::string svm_file(const SvmShape &s, const std::string &sv, const std::string &df)
{
    std::string f("SVM\0", 4);
    put<u32>(f, 0);
    put(f, s.kernel);
    put(f, s.classes);
    put(f, s.dim);
    put(f, s.vectors);
    put(f, s.df_size);
    put(f, s.sv_field);
    put(f, s.df_field);
    return f + sv + df;
}

std::string s24(double v)
{
    s32 q = (s32)(v * 65536);
    return std::string{(char)q, (char)(q >> 8), (char)(q >> 16)};
}

// A decision function of entries {alpha as stored, vector}, its offset rho.
std::string df(std::vector<std::pair<s32, u16>> entries, double rho = 0)
{
    std::string d;
    put<u16>(d, (u16)entries.size());
    put<s32>(d, (s32)(rho * 65536));
    put<u16>(d, 0);
    for (auto &e : entries) {
        put(d, e.first);
        put(d, e.second);
    }
    return d;
}

class IveModelFiles : public IveTest {
protected:
    void SetUp() override
    {
        IveTest::SetUp();
        memset(&ann_, 0, sizeof ann_);
        memset(&svm_, 0, sizeof svm_);
    }
    // Writes a file at a firmware path.
    static void file(const char *path, const std::string &bytes) { testsupport::write_file(bd_path(path), bytes); }
    // Where the next media allocation lands: the same before and after a
    // refused load when the loader kept nothing.
    static u32 next_free()
    {
        u32 a = sim::phys_alloc(1);
        sim::phys_free(a);
        return a;
    }
    static size_t mmz_requests() { return testsupport::events("trace ioctl /dev/mmz_userdev").size(); }
    static bool empty(const IVE_MEM_BLOCK_S &m) { return m.u32PhyAddr == 0 && !m.pu8VirAddr && m.u32Size == 0; }
    // A refused file leaves the block's addresses as they were (none here)
    // and its size field as the file gave it, or as it was when the reader
    // did not get that far, or empty when the loader freed what it allocated.
    static bool refused_as(const IVE_MEM_BLOCK_S &m, u32 size)
    {
        return m.u32PhyAddr == 0 && !m.pu8VirAddr && m.u32Size == size;
    }

    IVE_MLP_NET_S ann_;
    IVE_SVM_CLASSIFIER_S svm_;
};

TEST_F(IveModelFiles, NetworkWithTwoInputsGetsAThirdThatIsAlwaysZero)
{
    file("/widen.bin", ann_file({2, 4, 1}, 4, 69, counting(69)));
    ASSERT_EQ(0, DU_DUZ_IVE_ANN_MLP_LoadModel("/widen.bin", &ann_));
    EXPECT_EQ(3, ann_.au16LayerCount[0]);
    EXPECT_EQ(4, ann_.au16LayerCount[1]);
    EXPECT_EQ(1, ann_.au16LayerCount[2]);
    EXPECT_EQ(87u, ann_.u32TotalWeightSize);
    EXPECT_EQ(91u, ann_.stWeight.u32Size);
    EXPECT_EQ(91u, sim::phys_alloc_size(ann_.stWeight.u32PhyAddr));
    EXPECT_EQ(sim::phys(ann_.stWeight.u32PhyAddr)[0], ann_.stWeight.pu8VirAddr[0]);
    // The input scaling, a zero pair; per hidden neuron its two weights, a
    // zero weight and its bias; the rest as the file has it; the flag.
    const std::string w = counting(69);
    std::string expect = w.substr(0, 12) + std::string(6, '\0');
    for (int j = 0; j < 4; j++)
        expect += w.substr(12 + 9 * j, 6) + std::string(3, '\0') + w.substr(18 + 9 * j, 3);
    expect += w.substr(48) + std::string("\1\0\0\0", 4);
    EXPECT_EQ(expect, std::string(reinterpret_cast<const char *>(ann_.stWeight.pu8VirAddr), 91));

    // The prediction zeroes the added input's value, bytes 8-11 of the source.
    IVE_MEM_BLOCK_S src = block(12, 0xAA), dst = block(4);
    IVE_LUT_DESC_S tab = {block(32), 16, 0, 0, 0, 1};
    IVE_TASK_HANDLE h;
    ASSERT_EQ(0, DU_DUZ_IVE_ANN_MLP_Predict(&h, &src, &tab, &ann_, &dst, 0));
    std::vector<u8> expect_src(12, 0xAA);
    std::fill(expect_src.begin() + 8, expect_src.end(), 0);
    EXPECT_EQ(expect_src, std::vector<u8>(src.pu8VirAddr, src.pu8VirAddr + 12));

    const u32 block_addr = ann_.stWeight.u32PhyAddr;
    DU_DUZ_IVE_ANN_MLP_UnloadModel(&ann_);
    EXPECT_TRUE(empty(ann_.stWeight));
    EXPECT_EQ(0u, sim::phys_alloc_size(block_addr));
    EXPECT_EQ(3, ann_.au16LayerCount[0]); // the rest of the record stays
}

TEST_F(IveModelFiles, InputCountsThatLeaveTwoOverEightAreWidened)
{
    struct Case {
        const char *name;
        std::vector<u16> layers;
        u16 inputs;
        u32 flag;
    };
    const Case cases[] = {
        {"3 inputs", {3, 4, 1}, 3, 0},
        {"10 inputs", {10, 2, 2}, 11, 1},
        {"1 input, 1 output", {1, 2, 1}, 1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const u32 n = ive_ann_weight_count(c.layers.data(), (u32)c.layers.size());
        file("/a.b.bin", ann_file(c.layers, 16, 3 * n, counting(3 * n)));
        ASSERT_EQ(0, DU_DUZ_IVE_ANN_MLP_LoadModel("/a.b.bin", &ann_));
        EXPECT_EQ(c.inputs, ann_.au16LayerCount[0]);
        const u32 total = ann_.u32TotalWeightSize;
        EXPECT_EQ(3 * (n + (c.flag ? c.layers[1] + 2 : 0)), total);
        u32 flag;
        memcpy(&flag, ann_.stWeight.pu8VirAddr + total, 4);
        EXPECT_EQ(c.flag, flag);
        if (!c.flag) { // the weights as the file has them, and the source left alone
            EXPECT_EQ(counting(total), std::string(reinterpret_cast<const char *>(ann_.stWeight.pu8VirAddr), total));
            IVE_MEM_BLOCK_S src = block(4 * c.inputs, 0xAA), dst = block(8);
            IVE_LUT_DESC_S tab = {block(32), 16, 0, 0, 0, 1};
            IVE_TASK_HANDLE h;
            ASSERT_EQ(0, DU_DUZ_IVE_ANN_MLP_Predict(&h, &src, &tab, &ann_, &dst, 0));
            EXPECT_EQ(std::vector<u8>(4 * c.inputs, 0xAA),
                      std::vector<u8>(src.pu8VirAddr, src.pu8VirAddr + 4 * c.inputs));
        }
        DU_DUZ_IVE_ANN_MLP_UnloadModel(&ann_);
    }
}

TEST_F(IveModelFiles, NetworkFilesRefused)
{
    const std::string good = ann_file({2, 4, 1}, 4, 69, counting(69));
    struct Case {
        const char *name;
        const char *path;
        std::string bytes; // not written when empty
        s32 code;
        std::string message;
        u32 block_size = 0; // the record's stWeight.u32Size afterwards
    };
    const Case cases[] = {
        {"upper-case extension", "/model.BIN", good, kIllegal, "Error: pchFileName(/model.BIN) must be a .bin file!\n"},
        {"no extension", "/model", good, kIllegal, "Error: pchFileName(/model) must be a .bin file!\n"},
        {"missing file", "/missing.bin", "", kNoFile, "Error: open file pchFileName(/missing.bin) failed!\n"},
        {"another magic", "/m.bin", "SVM" + good.substr(3), kIllegal, "pchFileName(/m.bin) is not a ANN model file!\n"},
        {"cut in the layer counts", "/m.bin", good.substr(0, 12), kShort,
         "Error: fread pstAnnMlpModel->au16LayerCount failed!\n"},
        {"weights of 3N - 1 bytes", "/m.bin", ann_file({2, 4, 1}, 4, 68, counting(68)), kIllegal,
         "pstAnnMlpModel->u32TotalWeightSize(68) must be equal to 69!"},
        {"a hidden layer of one neuron", "/m.bin", ann_file({2, 1, 1}, 4, 3 * 11, counting(33)), kIllegal,
         "pstAnnMlpModel->au16LayerCount[0](input layer) and "
         "pstAnnMlpModel->au16LayerCount[pstAnnMlpModel->u8LayerNum-1](output layer) must be in [1, 4], the "
         "middle(hidden layer) of them must be in [2, 4]!\n"},
        {"a layer above the largest count", "/m.bin", ann_file({2, 5, 1}, 4, 3 * 27, counting(81)), kIllegal,
         "pstAnnMlpModel->au16LayerCount[0](input layer) and "
         "pstAnnMlpModel->au16LayerCount[pstAnnMlpModel->u8LayerNum-1](output layer) must be in [1, 4], the "
         "middle(hidden layer) of them must be in [2, 4]!\n"},
        {"a block size below the weights", "/m.bin", ann_file({2, 4, 1}, 4, 69, counting(69), 68), kIllegal,
         "pstAnnMlpModel->stWeight.u32Size(68) must be greater than or equal to 69!\n", 68},
        {"cut in the input scaling", "/m.bin", good.substr(0, 35 + 5), kShort,
         "Error: fread scale_input weight failed!\n"},
        {"cut in a hidden neuron's bias", "/m.bin", good.substr(0, 35 + 12 + 9 + 7), kShort,
         "Error: fread 1th hidden_layer's 1th neuron bias failed!\n"},
        {"cut in the last weights", "/m.bin", good.substr(0, 35 + 60), kShort,
         "Error: fread pstAnnMlpModel->stWeight failed!\n"},
        {"cut in unwidened weights", "/m.bin", ann_file({3, 4, 1}, 4, 87, counting(80)), kShort,
         "Error: fread pstAnnMlpModel->stWeight.pu8VirAddr failed!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.bytes.empty())
            file(c.path, c.bytes);
        const u32 probe = next_free();
        s32 ret = 0;
        std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_ANN_MLP_LoadModel(c.path, &ann_); });
        EXPECT_EQ((u32)c.code, (u32)ret);
        EXPECT_NE(std::string::npos, err.find("[Info]:" + c.message)) << err;
        const bool read = c.code == kShort || (c.code == kIllegal && c.message.rfind("Error: pchFileName", 0) != 0);
        EXPECT_EQ(read, err.find("load ANN Model failed!\n") != std::string::npos) << err;
        EXPECT_TRUE(refused_as(ann_.stWeight, c.block_size)) << ann_.stWeight.u32Size;
        EXPECT_EQ(probe, next_free()); // nothing kept
        ann_.stWeight.u32Size = 0;
    }
}

TEST_F(IveModelFiles, NullsAndUnloadingAnEmptyRecord)
{
    struct Case {
        const char *name;
        std::function<s32()> call;
        std::string message;
    };
    const Case cases[] = {
        {"network file name", [&] { return DU_DUZ_IVE_ANN_MLP_LoadModel(nullptr, &ann_); },
         "pchFileName can't be NULL!\n"},
        {"network", [&] { return DU_DUZ_IVE_ANN_MLP_LoadModel("/m.bin", nullptr); }, "pstAnnMlpModel can't be NULL!\n"},
        {"support-vector model", [&] { return DU_DUZ_IVE_SVM_LoadModel("/m.bin", nullptr); },
         "pstSvmModel can't be NULL!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = testsupport::capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ((u32)kNull, (u32)ret);
        EXPECT_NE(std::string::npos, err.find("[Info]:" + c.message)) << err;
    }
    std::string err = testsupport::capture_stderr([&] {
        DU_DUZ_IVE_ANN_MLP_UnloadModel(nullptr);
        DU_DUZ_IVE_SVM_UnloadModel(nullptr);
        DU_DUZ_IVE_ANN_MLP_UnloadModel(&ann_);
        DU_DUZ_IVE_SVM_UnloadModel(&svm_);
    });
    EXPECT_NE(std::string::npos, err.find("[Info]:pstAnnMlpModel is NULL!\n[Func]:DU_DUZ_IVE_SVM_UnloadModel")) << err;
    EXPECT_EQ(err.size() - strlen("pstSvmModel is NULL!\n"), err.find("pstSvmModel is NULL!\n")) << err;
}

// 3 classes, 2 features, vectors (1, 0), (0, 1), (-1, -1); one entry per
// function: (0,1) x0; (0,2) x1 - 0.5; (1,2) x0 + x1.
const SvmShape kSvm = {0, 3, 2, 3, 42, 18, 42};
std::string svm_vectors() { return s24(1) + s24(0) + s24(0) + s24(1) + s24(-1) + s24(-1); }
std::string svm_functions(s32 alpha = 65536, u16 last_vector = 2)
{
    return df({{alpha, 0}}) + df({{65536, 1}}, 0.5) + df({{-65536, last_vector}});
}

TEST_F(IveModelFiles, SupportVectorsAndFunctionsShareOneBlock)
{
    const std::string sv = svm_vectors(), fns = svm_functions();
    file("/svm.bin", svm_file(kSvm, sv, fns));
    ASSERT_EQ(0, DU_DUZ_IVE_SVM_LoadModel("/svm.bin", &svm_));
    EXPECT_EQ(80u, sim::phys_alloc_size(svm_.stSv.u32PhyAddr));
    EXPECT_EQ(18u, svm_.stSv.u32Size);
    EXPECT_EQ(svm_.stSv.u32PhyAddr + 32, svm_.stDf.u32PhyAddr);
    EXPECT_EQ(svm_.stSv.pu8VirAddr + 32, svm_.stDf.pu8VirAddr);
    EXPECT_EQ(42u, svm_.stDf.u32Size);
    EXPECT_EQ(42u, svm_.u32TotalDfSize);
    EXPECT_EQ(sv, std::string(reinterpret_cast<const char *>(svm_.stSv.pu8VirAddr), 18));
    EXPECT_EQ(fns, std::string(reinterpret_cast<const char *>(svm_.stDf.pu8VirAddr), 42));

    // The engine votes with it: (0.25, 1) gives 0.25, 0.5 and 1.25.
    IVE_MEM_BLOCK_S src = block(8), votes = block(6);
    const s32 x[2] = {16384, 65536};
    memcpy(src.pu8VirAddr, x, 8);
    IVE_LUT_DESC_S tab = {block(16), 8, 0, 0, -4, 4};
    IVE_TASK_HANDLE h;
    ASSERT_EQ(0, DU_DUZ_IVE_SVM_Predict(&h, &src, &tab, &svm_, &votes, 0));
    u16 v[3];
    memcpy(v, votes.pu8VirAddr, 6);
    EXPECT_EQ(2, v[0]);
    EXPECT_EQ(1, v[1]);
    EXPECT_EQ(0, v[2]);

    const u32 block_addr = svm_.stSv.u32PhyAddr;
    DU_DUZ_IVE_SVM_UnloadModel(&svm_);
    EXPECT_TRUE(empty(svm_.stSv) && empty(svm_.stDf));
    EXPECT_EQ(0u, sim::phys_alloc_size(block_addr));
}

TEST_F(IveModelFiles, SupportVectorFilesRefused)
{
    const std::string sv = svm_vectors();
    SvmShape huge = kSvm;
    huge.df_size = huge.df_field = 0xFFFFFFF0;
    SvmShape classes = kSvm;
    classes.classes = 81;
    SvmShape small = kSvm;
    small.df_size = small.df_field = 13;
    SvmShape past = kSvm;
    past.df_size = past.df_field = 14;
    struct Case {
        const char *name;
        std::string bytes;
        s32 code;
        std::string message; // "" when it loads
        bool allocates;
        u32 sv_size = 0, df_size = 0; // the record's stSv.u32Size and stDf.u32Size afterwards
    };
    const Case cases[] = {
        {"alpha 8388607", svm_file(kSvm, sv, svm_functions(8388607)), 0, "", true},
        {"alpha 8388608", svm_file(kSvm, sv, svm_functions(8388608)), kIllegal,
         "Error: the 0th DF's 0th alpha(8388608) must be in [-8388608, 8388607]!\n", true},
        {"alpha -8388609", svm_file(kSvm, sv, svm_functions(-8388609)), kIllegal,
         "Error: the 0th DF's 0th alpha(-8388609) must be in [-8388608, 8388607]!\n", true},
        {"vector index 3", svm_file(kSvm, sv, svm_functions(65536, 3)), kIllegal,
         "Error: the 2th DF's 0th SV index(3) must be in [0, 2]!\n", true},
        {"functions of 13 bytes", svm_file(small, sv, svm_functions()), kIllegal,
         "pstSvmModel->u32TotalDfSize(13) must be greater than or equal to 14!\n", false},
        {"81 classes", svm_file(classes, sv, svm_functions()), kIllegal,
         "pstSvmModel->u8ClassCount(81) must be in [2, 80]!\n", false},
        {"a function running past the size", svm_file(past, sv, df({{65536, 0}, {65536, 1}})), kIllegal,
         "Error: the 0th DF runs past pstSvmModel->u32TotalDfSize(14)!\n", true},
        {"three functions in the room of one", svm_file(past, sv, df({{65536, 0}})), kIllegal,
         "Error: the 1th DF runs past pstSvmModel->u32TotalDfSize(14)!\n", true},
        {"0xFFFFFFF0 bytes of functions in a short file", svm_file(huge, sv, svm_functions()), kShort,
         "Error: fread pstSvmModel->stDf.pu8VirAddr failed!\n", false, 18, 0xFFFFFFF0},
        {"cut in the vectors", svm_file(kSvm, sv.substr(0, 10), ""), kShort,
         "Error: fread pstSvmModel->stSv.pu8VirAddr failed!\n", false, 18, 42},
        {"cut in the functions", svm_file(kSvm, sv, svm_functions().substr(0, 41)), kShort,
         "Error: fread pstSvmModel->stDf.pu8VirAddr failed!\n", false, 18, 42},
        {"a vector size field below the vectors", [&] {
             SvmShape s = kSvm;
             s.sv_field = 17;
             return svm_file(s, sv, svm_functions());
         }(),
         kIllegal,
         "pstSvmModel->stSv.u32Size(17) must be greater than or equal to "
         "18(pstSvmModel->u16SvTotal*pstSvmModel->u16FeatureDim*3)!\n",
         false, 17},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        file("/svm.bin", c.bytes);
        const u32 probe = next_free();
        const size_t mmz_before = mmz_requests();
        s32 ret = 0;
        std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_SVM_LoadModel("/svm.bin", &svm_); });
        EXPECT_EQ((u32)c.code, (u32)ret);
        if (c.code == 0) {
            EXPECT_EQ("", err);
            DU_DUZ_IVE_SVM_UnloadModel(&svm_);
            continue;
        }
        EXPECT_NE(std::string::npos, err.find("[Info]:" + c.message + "[Func]:DU_DUZ_IVE_SVM_LoadModel")) << err;
        EXPECT_NE(std::string::npos, err.find("load SVM Model failed!\n")) << err;
        EXPECT_TRUE(refused_as(svm_.stSv, c.sv_size)) << svm_.stSv.u32Size;
        EXPECT_TRUE(refused_as(svm_.stDf, c.df_size)) << svm_.stDf.u32Size;
        EXPECT_EQ(probe, next_free());
        EXPECT_EQ(c.allocates, mmz_requests() > mmz_before);
        svm_.stSv.u32Size = svm_.stDf.u32Size = 0;
    }
}

} // namespace

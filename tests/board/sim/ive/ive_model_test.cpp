// The simulated engine's model operators: a mixture model and a background
// model that mark what moved and not the still scene, gradient foreground
// pixel by pixel, and a tiny network and support-vector model whose results
// are worked out by hand from the rules in board/sim/ive/ive.h.
#include "tests/board/sim/ive/ive_engine.h"

#include <cmath>
#include <functional>

using namespace ivetest;

namespace {

constexpr s32 kOne = 65536; // 1.0 with 16 fraction bits

// A 24-bit value with 16 fraction bits, as model blocks hold them.
void put24(std::vector<u8> &out, double v)
{
    s32 q = (s32)(v * kOne);
    out.push_back((u8)q), out.push_back((u8)(q >> 8)), out.push_back((u8)(q >> 16));
}

// A decision function: rho, then {alpha, vector} entries.
void put_df(std::vector<u8> &out, double rho, std::initializer_list<std::pair<double, u16>> entries)
{
    u16 count = (u16)entries.size();
    s32 r = (s32)(rho * kOne);
    out.insert(out.end(), {(u8)count, (u8)(count >> 8), (u8)r, (u8)(r >> 8), (u8)(r >> 16), (u8)(r >> 24), 0, 0});
    for (const auto &e : entries) {
        s32 a = (s32)(e.first * kOne);
        out.insert(out.end(), {(u8)a, (u8)(a >> 8), (u8)(a >> 16), (u8)(a >> 24), (u8)e.second, (u8)(e.second >> 8)});
    }
}

class IveModels : public IveEngine {
protected:
    IVE_MEM_BLOCK_S bytes(const std::vector<u8> &v)
    {
        IVE_MEM_BLOCK_S m = block((u32)v.size());
        memcpy(m.pu8VirAddr, v.data(), v.size());
        return m;
    }
    IVE_MEM_BLOCK_S fixed(std::initializer_list<double> v)
    {
        IVE_MEM_BLOCK_S m = block((u32)v.size() * 4);
        u32 i = 0;
        for (double x : v)
            st32(m, i++, (s32)(x * kOne));
        return m;
    }
    static void st32(const IVE_MEM_BLOCK_S &m, u32 i, s32 v) { memcpy(m.pu8VirAddr + 4 * i, &v, 4); }
    static s32 ld32(const IVE_MEM_BLOCK_S &m, u32 i)
    {
        s32 v;
        memcpy(&v, m.pu8VirAddr + 4 * i, 4);
        return v;
    }
    // A table of 2-byte elements.
    IVE_LUT_DESC_S table(std::vector<s16> elems, u8 preci, u8 norm, s32 lower, s32 upper)
    {
        IVE_LUT_DESC_S t;
        memset(&t, 0, sizeof t);
        t.stTable = block((u32)elems.size() * 2);
        memcpy(t.stTable.pu8VirAddr, elems.data(), elems.size() * 2);
        t.u16ElemNum = (u16)elems.size();
        t.u8TabInPreci = preci;
        t.u8TabOutNorm = norm;
        t.s32TabInLower = lower;
        t.s32TabInUpper = upper;
        return t;
    }
    // A 64 x 64 scene with texture, and the same with an 8 x 8 square of
    // 200 at (sx, sy).
    static u8 scene(u32 x, u32 y) { return (u8)(50 + (x * 3 + y) % 40); }
    void draw(const IVE_IMG_DESC_S &img, int sx, int sy)
    {
        for (u32 y = 0; y < 64; y++)
            for (u32 x = 0; x < 64; x++) {
                bool in = sx >= 0 && x >= (u32)sx && x < (u32)sx + 8 && y >= (u32)sy && y < (u32)sy + 8;
                *px(img, x, y) = in ? 200 : scene(x, y);
            }
    }
    // The pixels of a U8C1 image that are not 0, as "x,y" marks.
    static std::vector<std::pair<u32, u32>> marked(const IVE_IMG_DESC_S &img)
    {
        std::vector<std::pair<u32, u32>> out;
        for (u32 y = 0; y < img.u16Height; y++)
            for (u32 x = 0; x < img.u16Width; x++)
                if (*px(img, x, y))
                    out.push_back({x, y});
        return out;
    }
    static std::vector<std::pair<u32, u32>> square(u32 sx, u32 sy)
    {
        std::vector<std::pair<u32, u32>> out;
        for (u32 y = sy; y < sy + 8; y++)
            for (u32 x = sx; x < sx + 8; x++)
                out.push_back({x, y});
        return out;
    }
};

TEST_F(IveModels, MixtureModelMarksTheSquareThatMovedNotTheStillScene)
{
    for (u32 type : {IVE_IMAGE_TYPE_U8C1, IVE_IMAGE_TYPE_U8C3_PACKAGE}) {
        SCOPED_TRACE(type);
        const u32 channels = type == IVE_IMAGE_TYPE_U8C1 ? 1 : 3;
        IVE_GMM_REQ_S b;
        memset(&b, 0, sizeof b);
        b.stSrc = image(type, 64, 64);
        b.stFg = image(U8C1, 64, 64);
        b.stBg = image(type, 64, 64);
        b.stModel = block(3 * (channels == 1 ? 7 : 11) * 64 * 64);
        b.stGmmCtrl = {25 << 10, 400 << 10, 4 << 10, 6554, 45875, 16 << 8, 6554, 3, {}};
        auto frame = [&](int sx, int sy) {
            IVE_IMG_DESC_S grey = image(U8C1, 64, 64);
            draw(grey, sx, sy);
            for (u32 y = 0; y < 64; y++)
                for (u32 x = 0; x < 64; x++)
                    for (u32 c = 0; c < channels; c++)
                        px(b.stSrc, x, y)[c] = (u8)(*px(grey, x, y) + 7 * c);
            EXPECT_EQ(0, submit(IVE_GMM, b));
        };
        frame(-1, 0); // everything is new
        EXPECT_EQ(64u * 64, marked(b.stFg).size());
        for (int i = 0; i < 9; i++)
            frame(-1, 0);
        EXPECT_TRUE(marked(b.stFg).empty());
        frame(20, 20);
        EXPECT_EQ(square(20, 20), marked(b.stFg));
        frame(36, 20); // the old place shows the scene again
        EXPECT_EQ(square(36, 20), marked(b.stFg));
        // The background stays the scene, under the square too.
        for (u32 y = 0; y < 64; y++)
            for (u32 x = 0; x < 64; x++)
                for (u32 c = 0; c < channels; c++)
                    ASSERT_EQ(scene(x, y) + 7 * c, px(b.stBg, x, y)[c]) << x << "," << y;
        // Each pixel's heaviest mode comes first: its mean is the scene's, Q8.8.
        u16 mean;
        memcpy(&mean, b.stModel.pu8VirAddr + 2, 2);
        EXPECT_EQ(scene(0, 0) << 8, mean);
    }
}

TEST_F(IveModels, BackgroundModelMarksWhatMovedAndLetsAStillObjectJoinIt)
{
    IVE_MATCH_BG_MODEL_REQ_S m;
    memset(&m, 0, sizeof m);
    m.stCurImg = image(U8C1, 64, 64);
    IVE_MEM_BLOCK_S model = block(1536 * 64);
    m.stBgModel = {model.u32PhyAddr, model.pu8VirAddr, 1536, 24 * 64, 64, 0};
    m.stFgFlag = image(U8C1, 64, 64);
    m.stBgDiffFg = image(S8C1, 64, 64);
    m.stFrmDiffFg = image(S8C1, 64, 64);
    m.stStatData = block(16);
    m.stMatchBgModelCtrl = {0, 0, 10, 0, 10, 5, 1, 0, 0};

    IVE_UPDATE_BG_MODEL_REQ_S u;
    memset(&u, 0, sizeof u);
    u.stBgModel = m.stBgModel;
    u.stFgFlag = m.stFgFlag;
    u.stBgImg = image(U8C1, 64, 64);
    u.stChgStaImg = image(U8C1, 64, 64);
    u.stChgStaFg = image(S8C1, 64, 64);
    u.stChgStaLife = image(U16C1, 64, 64);
    u.stStatData = block(16);
    u.stUpdateBgModelCtrl.u32InitMinTime = 20;
    u.stUpdateBgModelCtrl.u32StyBgMinBlendTime = 20;
    u.stUpdateBgModelCtrl.u32StyBgMaxBlendTime = 100;
    u.stUpdateBgModelCtrl.u32StaticDetMinTime = 20;
    u.stUpdateBgModelCtrl.u8DetChgRegion = 1;

    u32 frame_no = 0;
    auto frame = [&](int sx, int sy) {
        draw(m.stCurImg, sx, sy);
        m.stMatchBgModelCtrl.u32PreFrmNum = frame_no;
        m.stMatchBgModelCtrl.u32CurFrmNum = ++frame_no;
        u.stUpdateBgModelCtrl.u32CurFrmNum = frame_no;
        ASSERT_EQ(0, submit(IVE_MATCH_BG_MODEL, m));
        ASSERT_EQ(0, submit(IVE_UPDATE_BG_MODEL, u));
    };
    auto stat = [](const IVE_MEM_BLOCK_S &s, int i) { return reinterpret_cast<const u32 *>(s.pu8VirAddr)[i]; };
    for (int i = 0; i < 5; i++)
        frame(-1, 0);
    EXPECT_TRUE(marked(m.stFgFlag).empty());
    EXPECT_EQ(64u * 64, stat(m.stStatData, 1));

    frame(20, 20);
    EXPECT_EQ(square(20, 20), marked(m.stFgFlag));
    EXPECT_EQ(square(20, 20), marked(m.stBgDiffFg));
    EXPECT_EQ(127, (s8)*px(m.stBgDiffFg, 20, 20)); // 200 - 53, clipped
    EXPECT_EQ(200, *px(u.stChgStaImg, 20, 20));
    EXPECT_EQ(64u, stat(m.stStatData, 0));
    EXPECT_EQ(6u, stat(m.stStatData, 2));

    frame(36, 20); // moved: only the new place is foreground
    EXPECT_EQ(square(36, 20), marked(m.stFgFlag));
    auto both = square(20, 20);
    auto moved = square(36, 20);
    both.insert(both.end(), moved.begin(), moved.end());
    std::sort(both.begin(), both.end(),
              [](auto a, auto b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
    EXPECT_EQ(both, marked(m.stFrmDiffFg));
    for (u32 y = 0; y < 64; y++)
        for (u32 x = 0; x < 64; x++)
            ASSERT_EQ(scene(x, y), *px(u.stBgImg, x, y)) << x << "," << y;

    // The square stays: after 20 frames as the same candidate it is background.
    for (int i = 0; i < 20; i++)
        frame(36, 20);
    EXPECT_EQ(square(36, 20), marked(m.stFgFlag));
    EXPECT_EQ(64u, stat(u.stStatData, 0));
    EXPECT_EQ(200, *px(u.stBgImg, 36, 20));
    frame(36, 20);
    EXPECT_TRUE(marked(m.stFgFlag).empty());
}

TEST_F(IveModels, GradientForegroundPixelByPixel)
{
    struct Pixel {
        s8 cx, cy, gx, gy, diff;
    };
    // Noise 4, correlation 80 %, magnitude correlation 2, magnitude difference 4 x 1000 / 1000.
    const Pixel px_in[8] = {
        {10, 0, 10, 0, 5},  // the same edge
        {0, 10, 10, 0, 5},  // another direction
        {20, 0, 10, 0, 5},  // the same direction, stronger
        {12, 0, 10, 0, 5},  // within the magnitude correlation
        {13, 0, 10, 0, 5},  // above it, below the magnitude difference
        {2, 1, 1, 1, 5},    // noise
        {0, 0, 20, 0, 5},   // the edge gone
        {0, 10, 10, 0, 0},  // no background difference
    };
    IVE_GRAD_FG_REQ_S b;
    memset(&b, 0, sizeof b);
    std::vector<s8> diff, cur, bg;
    for (const Pixel &p : px_in) {
        diff.push_back(p.diff);
        cur.insert(cur.end(), {p.cx, p.cy});
        bg.insert(bg.end(), {p.gx, p.gy});
    }
    b.stBgDiffFg = picture<s8>(S8C1, 4, 2, diff);
    b.stCurGrad = image(IVE_IMAGE_TYPE_S8C2_PACKAGE, 4, 2);
    b.stBgGrad = image(IVE_IMAGE_TYPE_S8C2_PACKAGE, 4, 2);
    for (u32 i = 0; i < 8; i++) {
        memcpy(px(b.stCurGrad, i % 4, i / 4), &cur[2 * i], 2);
        memcpy(px(b.stBgGrad, i % 4, i / 4), &bg[2 * i], 2);
    }
    b.stGradFg = image(U8C1, 4, 2, 16, 0xEE);
    struct Case {
        const char *name;
        u32 mode;
        u8 dark;
        std::vector<u8> out;
    };
    const Case cases[] = {
        {"mode 0", 0, 0, {0, 255, 255, 0, 0, 0, 0, 0}},
        {"mode 0, dark edges", 0, 1, {0, 255, 255, 0, 0, 0, 255, 0}},
        {"mode 1", 1, 0, {0, 255, 255, 0, 0, 0, 0, 255}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        b.stGradFgCtrl = {c.mode, 1000, 80, 2, 4, 4, c.dark, 0};
        ASSERT_EQ(0, submit(IVE_GRAD_FG, b));
        EXPECT_EQ(c.out, values(b.stGradFg));
    }
    b.stGradFgCtrl.enMode = 2;
    EXPECT_EQ(-1, submit(IVE_GRAD_FG, b));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(IveModels, NetworkPredictionWorkedOutByHand)
{
    // 2 inputs, 2 hidden, 2 outputs: 20 values.
    std::vector<u8> w;
    for (double v : {1.0, 0.0, 0.5, 0.25,     // input scales and offsets
                     1.0, 1.0, 0.0, 1.0, -1.0, 0.5, // hidden: h0 = x0 + x1, h1 = x0 - x1 + 0.5
                     2.0, 0.0, 0.0, 0.0, 1.0, -1.0, // outputs: o0 = 2 h0, o1 = h1 - 1
                     1.0, 0.0, 1.0, 0.125})         // output scales and offsets
        put24(w, v);
    IVE_ANN_MLP_PREDICT_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = fixed({1.5, 2.0});
    b.stDst = block(8, 0xEE);
    b.stAnnMlpModel.stWeight = bytes(w);
    b.stAnnMlpModel.u32TotalWeightSize = 60;
    b.stAnnMlpModel.au16LayerCount[0] = 2, b.stAnnMlpModel.au16LayerCount[1] = 2, b.stAnnMlpModel.au16LayerCount[2] = 2;
    b.stAnnMlpModel.u16MaxCount = 2;
    b.stAnnMlpModel.u8LayerNum = 3;
    // f(s) = min(|s|, 1) in quarters: 1.0 is 16384 << 2.
    b.stActivFuncTab = table({0, 4096, 8192, 12288, 16384, 16384, 16384, 16384, 16384}, 2, 2, 0, 2);
    struct Case {
        const char *name;
        u32 func;
        s32 out0, out1;
    };
    // x' = (1.5, 1.25); identity: h = (2.75, 0.75), o = (5.5, -0.25).
    // Odd: h = (1, 0.75), o = (f(2) = 1, f(-0.25) = -0.25). Even: o1 = 0.25.
    const Case cases[] = {
        {"identity", 0, (s32)(5.5 * kOne), (s32)(-0.125 * kOne)},
        {"odd table", 1, kOne, (s32)(-0.125 * kOne)},
        {"even table", 2, kOne, (s32)(0.375 * kOne)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        b.stAnnMlpModel.enActivFunc = c.func;
        ASSERT_EQ(0, submit(IVE_ANN_MLP_PREDICT, b));
        EXPECT_EQ(c.out0, ld32(b.stDst, 0));
        EXPECT_EQ(c.out1, ld32(b.stDst, 1));
    }
    // Weights that do not match the layers are refused.
    b.stAnnMlpModel.u32TotalWeightSize = 57;
    EXPECT_EQ(-1, submit(IVE_ANN_MLP_PREDICT, b));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(IveModels, SupportVectorVotesWorkedOutByHand)
{
    // Vectors (1, 0), (0, 1), (-1, -1); functions (0,1): x0 - x1;
    // (0,2): 2 x0 + x1 - 0.5; (1,2): x0 + 2 x1 (linear kernel).
    std::vector<u8> sv, df;
    for (double v : {1.0, 0.0, 0.0, 1.0, -1.0, -1.0})
        put24(sv, v);
    put_df(df, 0, {{1.0, 0}, {-1.0, 1}});
    put_df(df, 0.5, {{1.0, 0}, {-1.0, 2}});
    put_df(df, 0, {{1.0, 1}, {-1.0, 2}});
    IVE_SVM_PREDICT_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stDstVote = block(6, 0xEE);
    IVE_SVM_CLASSIFIER_S &m = b.stSvmModel;
    m.stSv = bytes(sv);
    m.stDf = bytes(df);
    m.u32TotalDfSize = (u32)df.size();
    m.u16FeatureDim = 2;
    m.u16SvTotal = 3;
    m.u8ClassCount = 3;
    // The kernel table f(t) = -t on [-4, 4], whole steps, 16 fraction bits >> 4.
    b.stKernelTab = table({16384, 12288, 8192, 4096, 0, -4096, -8192, -12288, -16384}, 0, 4, -4, 4);
    struct Case {
        const char *name;
        u32 kernel;
        double x0, x1;
        std::vector<u16> votes;
    };
    const Case cases[] = {
        // -0.75: class 1; 1.0: class 0; 2.25: class 1.
        {"linear", 0, 0.25, 1.0, {1, 2, 0}},
        // A zero decision goes to the second class: 0, -3.5, -3.
        {"linear, a tie", 0, -1.0, -1.0, {0, 1, 2}},
        // K = -t of (1, 2, -3): 1 (class 0), -4.5 (class 2), -5 (class 2).
        {"table", 1, 1.0, 2.0, {1, 0, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m.enKernelType = c.kernel;
        b.stSrc = fixed({c.x0, c.x1});
        ASSERT_EQ(0, submit(IVE_SVM_PREDICT, b));
        std::vector<u16> votes(3);
        memcpy(votes.data(), b.stDstVote.pu8VirAddr, 6);
        EXPECT_EQ(c.votes, votes);
    }
    // A function that names a vector that is not there, or runs past the
    // block, is refused before anything is written.
    memset(b.stDstVote.pu8VirAddr, 0xEE, 6);
    m.stDf.pu8VirAddr[df.size() - 2] = 3;
    EXPECT_EQ(-1, submit(IVE_SVM_PREDICT, b));
    EXPECT_EQ(EINVAL, errno);
    m.stDf.pu8VirAddr[df.size() - 2] = 2;
    m.u32TotalDfSize -= 1;
    EXPECT_EQ(-1, submit(IVE_SVM_PREDICT, b));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(std::vector<u8>(6, 0xEE), std::vector<u8>(b.stDstVote.pu8VirAddr, b.stDstVote.pu8VirAddr + 6));
}

TEST_F(IveModels, OpticalFlowFindsTheShiftOfAPicture)
{
    // A smooth texture, and the same moved by (2.0, -1.5) pixels.
    auto texture = [](double x, double y) {
        return 128 + 50 * std::sin(x / 5.0) * std::sin(y / 6.0) + 30 * std::cos((x + 2 * y) / 9.0);
    };
    const double dx = 2.0, dy = -1.5;
    std::vector<u8> pre, cur;
    for (int y = 0; y < 96; y++)
        for (int x = 0; x < 96; x++) {
            pre.push_back((u8)std::lround(texture(x, y)));
            cur.push_back((u8)std::lround(texture(x - dx, y - dy)));
        }
    IVE_LK_OPTICAL_FLOW_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrcPre = picture(U8C1, 96, 96, pre);
    b.stSrcCur = picture(U8C1, 96, 96, cur);
    const int points[][2] = {{30, 30}, {50, 40}, {40, 60}, {65, 55}, {-3, 10}};
    b.stPoint = block(8 * 5);
    for (u32 i = 0; i < 5; i++) {
        s32 q[2] = {points[i][0] * 128, points[i][1] * 128};
        memcpy(b.stPoint.pu8VirAddr + 8 * i, q, 8);
    }
    b.stMv = block(8 * 5, 0xEE);
    b.stLkOptiFlowCtrl = {5, 8, 10, 3, 0};
    ASSERT_EQ(0, submit(IVE_LK_OPTICAL_FLOW, b));
    auto mv = [&](u32 i, int field) {
        s32 status;
        s16 v[2];
        memcpy(&status, b.stMv.pu8VirAddr + 8 * i, 4);
        memcpy(v, b.stMv.pu8VirAddr + 8 * i + 4, 4);
        return field < 0 ? status : v[field];
    };
    for (u32 i = 0; i < 4; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(0, mv(i, -1));
        EXPECT_NEAR(dx * 128, mv(i, 0), 8); // a sixteenth of a pixel
        EXPECT_NEAR(dy * 128, mv(i, 1), 8);
    }
    // A point outside the picture is lost; so is one on a flat picture.
    EXPECT_EQ(-1, mv(4, -1));
    EXPECT_EQ(0, mv(4, 0));
    b.stSrcPre = image(U8C1, 96, 96, 0, 90);
    ASSERT_EQ(0, submit(IVE_LK_OPTICAL_FLOW, b));
    EXPECT_EQ(-1, mv(0, -1));
    // More points than the engine tracks are refused.
    b.stLkOptiFlowCtrl.u16CornerNum = 201;
    EXPECT_EQ(-1, submit(IVE_LK_OPTICAL_FLOW, b));
    EXPECT_EQ(EINVAL, errno);
}

} // namespace

// Outputs that share memory with inputs: every operator of the simulated
// engine, each output laid over each input (at the same address, and a line
// or three before or after it), gives what it gives with separate buffers
// holding the same bytes. CCL and the DMA fills have no input they do not
// also write (their one picture is both), so they have no row here.
#include "tests/board/sim/ive/ive_engine.h"

#include <cmath>

using namespace ivetest;

namespace {

constexpr u32 YUV420 = IVE_IMAGE_TYPE_YUV420SP, YUV422 = IVE_IMAGE_TYPE_YUV422SP,
              RGB_PACKAGE = IVE_IMAGE_TYPE_U8C3_PACKAGE, RGB_PLANAR = IVE_IMAGE_TYPE_U8C3_PLANAR,
              S8C2 = IVE_IMAGE_TYPE_S8C2_PACKAGE, U64C1 = IVE_IMAGE_TYPE_U64C1, U32C1 = IVE_IMAGE_TYPE_U32C1;
constexpr u16 W = 48, H = 32;

const s8 kGauss3[25] = {0, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0, 2, 4, 2, 0, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0};
const s8 kUneven5[25] = {1, -2, 3, 0, 1, 2, 5, -1, 4, 0, -3, 2, 9, 2, 1, 0, 4, -1, 5, 2, 1, 0, 3, -2, 1};
const s8 kSobel3[25] = {0, 0, 0, 0, 0, 0, -1, 0, 1, 0, 0, -2, 0, 2, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0};

// A picture with its planes one after another in one region.
struct Pic {
    u32 type;
    u16 w = W, h = H;
    u16 stride() const { return (u16)((w + 15) / 16 * 16); }
    u32 rows(int p) const { return p == 1 && type == YUV420 ? (h + 1u) / 2 : h; }
    u32 plane_bytes(int p) const { return rows(p) * stride() * elem_size(type); }
    u32 line() const { return stride() * elem_size(type); }
    u32 bytes() const
    {
        u32 n = 0;
        for (int p = 0; p < plane_count(type); p++)
            n += plane_bytes(p);
        return n;
    }
    IVE_IMG_DESC_S at(u32 addr) const
    {
        IVE_IMG_DESC_S d;
        memset(&d, 0, sizeof d);
        d.enType = type;
        d.u16Width = w;
        d.u16Height = h;
        for (int p = 0; p < plane_count(type); p++) {
            d.u32PhyAddr[p] = addr;
            d.pu8VirAddr[p] = sim::phys(addr);
            d.u16Stride[p] = stride();
            addr += plane_bytes(p);
        }
        return d;
    }
};

IVE_MEM_BLOCK_S blk(u32 addr, u32 size) { return {addr, sim::phys(addr), size}; }

IVE_DATA_DESC_S area(u32 addr, u16 stride, u16 w, u16 h) { return {addr, sim::phys(addr), stride, w, h, 0}; }

enum Role { kIn, kOut, kInOut };

// A stretch of memory a task reads or writes; `fill` puts its first bytes
// (random bytes when it is null).
struct Region {
    const char *name;
    u32 bytes, line;
    Role role;
    std::function<void(u8 *)> fill;
};
Region pic(const char *name, const Pic &p, Role role) { return {name, p.bytes(), p.line(), role, nullptr}; }
Region mem(const char *name, u32 bytes, Role role, std::function<void(u8 *)> fill = nullptr)
{
    return {name, bytes, 16, role, std::move(fill)};
}

// One operator: its regions, and its submission with the regions at the
// given addresses (in the order of the regions) on the engine's descriptor.
struct Case {
    const char *name;
    std::vector<Region> regions;
    std::function<int(int fd, const std::vector<u32> &)> run;
};

template <class Block> int send(int fd, unsigned long cmd, Block &b)
{
    b.s32Handle = -7;
    return bd_ioctl(fd, cmd, &b);
}

// A case whose submission clears the operator's block, has `fill` fill it
// from the regions' addresses and sends it.
template <class Req, class Fill> Case op(const char *name, unsigned long cmd, std::vector<Region> regions, Fill fill)
{
    return {name, std::move(regions), [=](int fd, const std::vector<u32> &a) {
                Req b;
                memset(&b, 0, sizeof b);
                fill(b, a);
                return send(fd, cmd, b);
            }};
}

const Pic u8p{U8C1}, s8p{S8C1}, s16p{S16C1}, u16p{U16C1};

// ---- the operators ----------------------------------------------------------------------------

template <class Ctrl> Case one_to_one(const char *name, unsigned long cmd, Pic src, Pic dst, Ctrl ctrl)
{
    return op<IVE_SRC_DST_REQ_S<Ctrl>>(name, cmd, {pic("source", src, kIn), pic("destination", dst, kOut)},
                                       [=](IVE_SRC_DST_REQ_S<Ctrl> &b, const std::vector<u32> &a) {
                                           b.stSrc = src.at(a[0]);
                                           b.stDst = dst.at(a[1]);
                                           b.stCtrl = ctrl;
                                       });
}

template <class Ctrl> Ctrl with_mask(Ctrl c, const s8 *mask)
{
    memcpy(c.as8Mask, mask, 25);
    return c;
}

// Sobel and MagAndAng: a source and the two outputs the control selects.
template <class Req> Case two_out(const char *name, unsigned long cmd, Pic d1, Pic d2, u32 out_ctrl)
{
    return op<Req>(name, cmd, {pic("source", u8p, kIn), pic("first output", d1, kOut), pic("second output", d2, kOut)},
                   [=](Req &b, const std::vector<u32> &a) {
                       b.stSrc = u8p.at(a[0]);
                       b.stDst1 = d1.at(a[1]);
                       b.stDst2 = d2.at(a[2]);
                       b.stCtrl.enOutCtrl = out_ctrl;
                       memcpy(b.stCtrl.as8Mask, kSobel3, 25);
                   });
}

// Two sources, one destination; `set` adds the control.
template <class Req, class Set> Case binary(const char *name, unsigned long cmd, Pic dst, Set set)
{
    return op<Req>(name, cmd,
                   {pic("first source", u8p, kIn), pic("second source", u8p, kIn), pic("destination", dst, kOut)},
                   [=](Req &b, const std::vector<u32> &a) {
                       b.stSrc1 = u8p.at(a[0]);
                       b.stSrc2 = u8p.at(a[1]);
                       b.stDst = dst.at(a[2]);
                       set(b);
                   });
}

std::vector<Case> picture_cases()
{
    u8 cross[25] = {}, square[25] = {};
    for (int i : {2, 7, 10, 11, 12, 13, 14, 17, 22})
        cross[i] = 1;
    for (int i : {6, 7, 8, 11, 12, 13, 16, 17, 18})
        square[i] = 255;
    IVE_DILATE_CTRL_S dilate;
    IVE_ERODE_CTRL_S erode;
    memcpy(dilate.au8Mask, cross, 25);
    memcpy(erode.au8Mask, square, 25);
    IVE_THRESH_S16_CTRL_S s16;
    memset(&s16, 0, sizeof s16);
    s16.enMode = 1;
    s16.s16LowThr = -100;
    s16.s16HighThr = 100;
    s16.un8MinVal.s8Val = -7;
    s16.un8MaxVal.s8Val = 7;
    IVE_LBP_CTRL_S lbp;
    memset(&lbp, 0, sizeof lbp);
    lbp.un8BitThr.s8Val = -3;
    IVE_ST_CANDI_CORNER_CTRL_S corner;
    memset(&corner, 0, sizeof corner);
    corner.u0q8QualityLevel = 10;
    IVE_FILTER_AND_CSC_CTRL_S fcsc;
    memset(&fcsc, 0, sizeof fcsc);
    fcsc.enMode = 1;
    fcsc.u8Norm = 4;
    return {
        one_to_one("Filter", IVE_FILTER, u8p, u8p, with_mask(IVE_FILTER_CTRL_S{{}, 4}, kGauss3)),
        one_to_one("Filter, uneven 5 x 5, YUV 420", IVE_FILTER, Pic{YUV420}, Pic{YUV420},
                   with_mask(IVE_FILTER_CTRL_S{{}, 6}, kUneven5)),
        one_to_one("CSC YUV 420 to packed RGB", IVE_CSC, Pic{YUV420}, Pic{RGB_PACKAGE}, IVE_CSC_CTRL_S{0}),
        one_to_one("CSC YUV 422 to planar BGR", IVE_CSC, Pic{YUV422}, Pic{RGB_PLANAR}, IVE_CSC_CTRL_S{5}),
        one_to_one("CSC packed RGB to YUV 420", IVE_CSC, Pic{RGB_PACKAGE}, Pic{YUV420}, IVE_CSC_CTRL_S{8}),
        one_to_one("CSC planar RGB to YUV 422", IVE_CSC, Pic{RGB_PLANAR}, Pic{YUV422}, IVE_CSC_CTRL_S{11}),
        one_to_one("FilterAndCSC", IVE_FILTER_AND_CSC, Pic{YUV420}, Pic{RGB_PACKAGE}, with_mask(fcsc, kGauss3)),
        one_to_one("Dilate", IVE_DILATE, u8p, u8p, dilate),
        one_to_one("Erode", IVE_ERODE, u8p, u8p, erode),
        one_to_one("Thresh", IVE_THRESH, u8p, u8p, IVE_THRESH_CTRL_S{4, 60, 180, 1, 2, 3, {}}),
        one_to_one("Thresh_S16", IVE_THRESH_S16, s16p, s8p, s16),
        one_to_one("Thresh_U16", IVE_THRESH_U16, u16p, u8p, IVE_THRESH_U16_CTRL_S{1, 9000, 40000, 1, 2, 3, 0}),
        one_to_one("16BitTo8Bit, signed", IVE_16BIT_TO_8BIT, s16p, s8p, IVE_16BIT_TO_8BIT_CTRL_S{0, 300, 7, 0}),
        one_to_one("16BitTo8Bit, biased", IVE_16BIT_TO_8BIT, s16p, u8p, IVE_16BIT_TO_8BIT_CTRL_S{2, 90, 1, -20}),
        one_to_one("Integ, sums and squares", IVE_INTEG, u8p, Pic{U64C1}, IVE_INTEG_OPT_S{0}),
        one_to_one("Integ, sums", IVE_INTEG, u8p, Pic{U32C1}, IVE_INTEG_OPT_S{1}),
        one_to_one("OrdStatFilter, median", IVE_ORD_STAT_FILTER, u8p, u8p, IVE_ORD_STAT_FILTER_CTRL_S{0}),
        one_to_one("OrdStatFilter, maximum", IVE_ORD_STAT_FILTER, u8p, u8p, IVE_ORD_STAT_FILTER_CTRL_S{1}),
        one_to_one("LBP", IVE_LBP, u8p, u8p, lbp),
        one_to_one("STCandiCorner", IVE_ST_CANDI_CORNER, u8p, u8p, corner),
        two_out<IVE_SOBEL_REQ_S>("Sobel", IVE_SOBEL, s16p, s16p, 0),
        two_out<IVE_MAG_AND_ANG_REQ_S>("MagAndAng", IVE_MAG_AND_ANG, u16p, u8p, 1),
        binary<IVE_BINARY_REQ_S>("And", IVE_AND, u8p, [](IVE_BINARY_REQ_S &) {}),
        binary<IVE_BINARY_REQ_S>("Or", IVE_OR, u8p, [](IVE_BINARY_REQ_S &) {}),
        binary<IVE_BINARY_REQ_S>("Xor", IVE_XOR, u8p, [](IVE_BINARY_REQ_S &) {}),
        binary<IVE_SUB_REQ_S>("Sub, halved", IVE_SUB, s8p, [](IVE_SUB_REQ_S &b) { b.stCtrl.enMode = 1; }),
        binary<IVE_ADD_REQ_S>("Add", IVE_ADD, u8p,
                              [](IVE_ADD_REQ_S &b) {
                                  b.stCtrl = {20000, 45536};
                              }),
    };
}

// Points inside a W x H picture, {s32 x, s32 y} with 7 fraction bits.
void points(u8 *p)
{
    for (u32 i = 0; i < 16; i++) {
        const s32 xy[2] = {(s32)((8 + 2 * i) << 7) + 37, (s32)((6 + i) << 7) + 90};
        memcpy(p + 8 * i, xy, 8);
    }
}

// A smooth picture: a tracked point has a gradient to follow.
void smooth(u8 *p)
{
    for (u32 y = 0; y < H; y++)
        for (u32 x = 0; x < W; x++)
            p[y * W + x] = (u8)(60 + 40 * std::sin(x * 0.3) + 30 * std::cos(y * 0.4 + x * 0.1));
}

// A support-vector model of 2 classes: one decision function of three
// entries over 4 vectors.
void decision_function(u8 *p)
{
    const u16 count = 3;
    const s32 rho = 1000;
    memset(p, 0, 26);
    memcpy(p, &count, 2);
    memcpy(p + 2, &rho, 4);
    for (u16 k = 0; k < 3; k++) {
        const s32 alpha = 40000 - 30000 * k;
        const u16 index = (u16)(k + 1);
        memcpy(p + 8 + 6 * k, &alpha, 4);
        memcpy(p + 12 + 6 * k, &index, 2);
    }
}

std::vector<Case> block_cases()
{
    std::vector<Case> out;
    // A byte area's lines are its stride.
    const Region dma_src = {"source", W * H, W, kIn, nullptr};
    out.push_back(op<IVE_DMA_REQ_S>("DMA copy", IVE_DMA, {dma_src, {"destination", W * H, W, kOut, nullptr}},
                                    [](IVE_DMA_REQ_S &b, const std::vector<u32> &a) {
                                        b.stSrc = area(a[0], W, W, H);
                                        b.stDst = area(a[1], W, W, H);
                                    }));
    out.push_back(op<IVE_DMA_REQ_S>("DMA interval copy", IVE_DMA, {dma_src, mem("destination", 32 * H / 2, kOut)},
                                    [](IVE_DMA_REQ_S &b, const std::vector<u32> &a) {
                                        b.stSrc = area(a[0], W, W, H);
                                        b.stDst = area(a[1], 32, W / 4 * 2, H / 2);
                                        b.stDmaCtrl.enMode = 1;
                                        b.stDmaCtrl.u8HorSegSize = 4;
                                        b.stDmaCtrl.u8ElemSize = 2;
                                        b.stDmaCtrl.u8VerSegRows = 2;
                                    }));
    out.push_back(op<IVE_HIST_REQ_S>("Hist", IVE_HIST, {pic("source", u8p, kIn), mem("bins", 1024, kOut)},
                                     [](IVE_HIST_REQ_S &b, const std::vector<u32> &a) {
                                         b.stSrc = u8p.at(a[0]);
                                         b.stDst = blk(a[1], 1024);
                                     }));
    out.push_back(op<IVE_MAP_REQ_S>("Map", IVE_MAP,
                                    {pic("source", u8p, kIn), mem("table", 256, kIn), pic("destination", u8p, kOut)},
                                    [](IVE_MAP_REQ_S &b, const std::vector<u32> &a) {
                                        b.stSrc = u8p.at(a[0]);
                                        b.stMap = blk(a[1], 256);
                                        b.stDst = u8p.at(a[2]);
                                    }));
    out.push_back(
        op<IVE_EQUALIZE_HIST_REQ_S>("EqualizeHist", IVE_EQUALIZE_HIST,
                                    {pic("source", u8p, kIn), pic("destination", u8p, kOut), mem("work", 1280, kOut)},
                                    [](IVE_EQUALIZE_HIST_REQ_S &b, const std::vector<u32> &a) {
                                        b.stSrc = u8p.at(a[0]);
                                        b.stDst = u8p.at(a[1]);
                                        b.stCtrl.stMem = blk(a[2], 1280);
                                    }));
    out.push_back(op<IVE_NCC_REQ_S>(
        "NCC", IVE_NCC, {pic("first source", u8p, kIn), pic("second source", u8p, kIn), mem("sums", 32, kOut)},
        [](IVE_NCC_REQ_S &b, const std::vector<u32> &a) {
            b.stSrc1 = u8p.at(a[0]);
            b.stSrc2 = u8p.at(a[1]);
            b.stDst = blk(a[2], 32);
        }));
    out.push_back(op<IVE_SAD_REQ_S>("SAD", IVE_SAD,
                                    {pic("first source", u8p, kIn), pic("second source", u8p, kIn),
                                     pic("sums", Pic{U16C1, W / 4, H / 4}, kOut),
                                     pic("threshold", Pic{U8C1, W / 4, H / 4}, kOut)},
                                    [](IVE_SAD_REQ_S &b, const std::vector<u32> &a) {
                                        b.stSrc1 = u8p.at(a[0]);
                                        b.stSrc2 = u8p.at(a[1]);
                                        b.stSad = Pic{U16C1, W / 4, H / 4}.at(a[2]);
                                        b.stThr = Pic{U8C1, W / 4, H / 4}.at(a[3]);
                                        b.stSadCtrl = {0, 0, 1500, 1, 9};
                                    }));
    out.push_back(op<IVE_CANNY_HYS_EDGE_REQ_S>(
        "CannyHysEdge", IVE_CANNY_HYS_EDGE,
        {pic("source", u8p, kIn), pic("edges", u8p, kOut), mem("stack", (W * H + 4) * 4, kOut)},
        [](IVE_CANNY_HYS_EDGE_REQ_S &b, const std::vector<u32> &a) {
            b.stSrc = u8p.at(a[0]);
            b.stEdge = u8p.at(a[1]);
            b.stStack = blk(a[2], (W * H + 4) * 4);
            b.stCannyHysEdgeCtrl.u16LowThr = 200;
            b.stCannyHysEdgeCtrl.u16HighThr = 500;
            memcpy(b.stCannyHysEdgeCtrl.as8Mask, kSobel3, 25);
        }));
    for (u32 mode : {0u, 3u})
        out.push_back(op<IVE_NORM_GRAD_REQ_S>(
            mode ? "NormGrad, interleaved" : "NormGrad, H and V", IVE_NORM_GRAD,
            {pic("source", u8p, kIn), pic("H or H and V", mode ? Pic{S8C2} : s8p, kOut), pic("V", s8p, kOut)},
            [mode](IVE_NORM_GRAD_REQ_S &b, const std::vector<u32> &a) {
                b.stSrc = u8p.at(a[0]);
                (mode ? b.stDstHV : b.stDstH) = (mode ? Pic{S8C2} : s8p).at(a[1]);
                b.stDstV = s8p.at(a[2]);
                b.stNormGradCtrl.enOutCtrl = mode;
                b.stNormGradCtrl.u8Norm = 7; // sums that do not all clip
                memcpy(b.stNormGradCtrl.as8Mask, kUneven5, 25);
            }));
    return out;
}

std::vector<Case> model_cases()
{
    std::vector<Case> out;
    const u32 gmm_bytes = 3 * 7 * W * H, bg_bytes = 24 * W * H;
    out.push_back(op<IVE_GMM_REQ_S>("GMM", IVE_GMM,
                                    {pic("source", u8p, kIn), pic("foreground", u8p, kOut),
                                     pic("background", u8p, kOut), mem("model", gmm_bytes, kInOut)},
                                    [=](IVE_GMM_REQ_S &b, const std::vector<u32> &a) {
                                        b.stSrc = u8p.at(a[0]);
                                        b.stFg = u8p.at(a[1]);
                                        b.stBg = u8p.at(a[2]);
                                        b.stModel = blk(a[3], gmm_bytes);
                                        b.stGmmCtrl = {25 << 10, 400 << 10, 4 << 10, 6554, 45875,
                                                       16 << 8,  6554,      3,       {}};
                                    }));
    out.push_back(op<IVE_LK_OPTICAL_FLOW_REQ_S>("LKOpticalFlow", IVE_LK_OPTICAL_FLOW,
                                                {{"previous", u8p.bytes(), u8p.line(), kIn, smooth},
                                                 {"current", u8p.bytes(), u8p.line(), kIn, smooth},
                                                 mem("points", 16 * 8, kIn, points),
                                                 mem("motion", 16 * 8, kOut)},
                                                [](IVE_LK_OPTICAL_FLOW_REQ_S &b, const std::vector<u32> &a) {
                                                    b.stSrcPre = u8p.at(a[0]);
                                                    b.stSrcCur = u8p.at(a[1]);
                                                    b.stPoint = blk(a[2], 16 * 8);
                                                    b.stMv = blk(a[3], 16 * 8);
                                                    b.stLkOptiFlowCtrl = {16, 1, 5, 1, 0};
                                                }));
    out.push_back(
        op<IVE_GRAD_FG_REQ_S>("GradFg", IVE_GRAD_FG,
                              {pic("background difference", s8p, kIn), pic("current gradient", Pic{S8C2}, kIn),
                               pic("background gradient", Pic{S8C2}, kIn), pic("foreground", u8p, kOut)},
                              [](IVE_GRAD_FG_REQ_S &b, const std::vector<u32> &a) {
                                  b.stBgDiffFg = s8p.at(a[0]);
                                  b.stCurGrad = Pic{S8C2}.at(a[1]);
                                  b.stBgGrad = Pic{S8C2}.at(a[2]);
                                  b.stGradFg = u8p.at(a[3]);
                                  b.stGradFgCtrl = {0, 1000, 80, 5, 3, 10, 0, 0};
                              }));
    out.push_back(op<IVE_MATCH_BG_MODEL_REQ_S>("MatchBgModel", IVE_MATCH_BG_MODEL,
                                               {pic("current", u8p, kIn),
                                                {"model", bg_bytes, 24 * W, kInOut, nullptr},
                                                pic("flags", u8p, kOut),
                                                pic("background difference", s8p, kOut),
                                                pic("frame difference", s8p, kOut),
                                                mem("statistics", 16, kOut)},
                                               [=](IVE_MATCH_BG_MODEL_REQ_S &b, const std::vector<u32> &a) {
                                                   b.stCurImg = u8p.at(a[0]);
                                                   b.stBgModel = area(a[1], 24 * W, 24 * W, H);
                                                   b.stFgFlag = u8p.at(a[2]);
                                                   b.stBgDiffFg = s8p.at(a[3]);
                                                   b.stFrmDiffFg = s8p.at(a[4]);
                                                   b.stStatData = blk(a[5], 16);
                                                   b.stMatchBgModelCtrl = {9, 8, 10, 0, 10, 4, 1, 2, 0};
                                               }));
    out.push_back(op<IVE_UPDATE_BG_MODEL_REQ_S>("UpdateBgModel", IVE_UPDATE_BG_MODEL,
                                                {{"model", bg_bytes, 24 * W, kInOut, nullptr},
                                                 pic("flags", u8p, kIn),
                                                 pic("background", u8p, kOut),
                                                 pic("change picture", u8p, kOut),
                                                 pic("change difference", s8p, kOut),
                                                 pic("change time", u16p, kOut),
                                                 mem("statistics", 16, kOut)},
                                                [=](IVE_UPDATE_BG_MODEL_REQ_S &b, const std::vector<u32> &a) {
                                                    b.stBgModel = area(a[0], 24 * W, 24 * W, H);
                                                    b.stFgFlag = u8p.at(a[1]);
                                                    b.stBgImg = u8p.at(a[2]);
                                                    b.stChgStaImg = u8p.at(a[3]);
                                                    b.stChgStaFg = s8p.at(a[4]);
                                                    b.stChgStaLife = u16p.at(a[5]);
                                                    b.stStatData = blk(a[6], 16);
                                                    b.stUpdateBgModelCtrl = {9, 0,  0,  20, 20, 40, 0, 20, 1,
                                                                             1, 10, 10, 0,  0,  90, 1, 1,  0};
                                                }));
    const u16 layers[3] = {2, 3, 1};
    const u32 weights = 3 * ive_ann_weight_count(layers, 3);
    out.push_back(op<IVE_ANN_MLP_PREDICT_REQ_S>(
        "ANN_MLP_Predict", IVE_ANN_MLP_PREDICT,
        {mem("source", 8, kIn), mem("table", 32, kIn), mem("weights", weights + 4, kIn), mem("result", 4, kOut)},
        [=](IVE_ANN_MLP_PREDICT_REQ_S &b, const std::vector<u32> &a) {
            b.stSrc = blk(a[0], 8);
            b.stActivFuncTab = {blk(a[1], 32), 16, 2, 0, 0, 4};
            b.stAnnMlpModel.enActivFunc = 1;
            b.stAnnMlpModel.stWeight = blk(a[2], weights + 4);
            b.stAnnMlpModel.u32TotalWeightSize = weights;
            memcpy(b.stAnnMlpModel.au16LayerCount, layers, sizeof layers);
            b.stAnnMlpModel.u16MaxCount = 3;
            b.stAnnMlpModel.u8LayerNum = 3;
            b.stDst = blk(a[3], 4);
        }));
    out.push_back(
        op<IVE_SVM_PREDICT_REQ_S>("SVM_Predict", IVE_SVM_PREDICT,
                                  {mem("source", 4 * 8, kIn), mem("table", 64, kIn), mem("vectors", 3 * 8 * 4, kIn),
                                   mem("decision function", 26, kIn, decision_function), mem("votes", 4, kOut)},
                                  [](IVE_SVM_PREDICT_REQ_S &b, const std::vector<u32> &a) {
                                      b.stSrc = blk(a[0], 4 * 8);
                                      b.stKernelTab = {blk(a[1], 64), 32, 0, 0, -16, 16};
                                      b.stSvmModel.enKernelType = 1;
                                      b.stSvmModel.stSv = blk(a[2], 3 * 8 * 4);
                                      b.stSvmModel.stDf = blk(a[3], 26);
                                      b.stSvmModel.u32TotalDfSize = 26;
                                      b.stSvmModel.u16FeatureDim = 8;
                                      b.stSvmModel.u16SvTotal = 4;
                                      b.stSvmModel.u8ClassCount = 2;
                                      b.stDstVote = blk(a[4], 4);
                                  }));
    return out;
}

class IveOverlap : public IveEngine {
protected:
    // The same bytes of a region each time: a generator seeded by its place.
    static void random_fill(u8 *p, u32 n, u32 seed)
    {
        u32 s = seed * 2654435761u + 12345;
        for (u32 i = 0; i < n; i++) {
            s = s * 1103515245u + 12345;
            p[i] = (u8)(s >> 16);
        }
    }
    static std::vector<std::vector<u8>> contents(const Case &c, const std::vector<u32> &addr)
    {
        std::vector<std::vector<u8>> out;
        for (size_t i = 0; i < c.regions.size(); i++)
            out.emplace_back(sim::phys(addr[i]), sim::phys(addr[i]) + c.regions[i].bytes);
        return out;
    }
    // Fills every region, `last` after the others so that it holds its own
    // bytes where another overlaps it; returns what each then holds.
    static std::vector<std::vector<u8>> fill(const Case &c, const std::vector<u32> &addr, size_t last)
    {
        std::vector<size_t> order;
        for (size_t i = 0; i < c.regions.size(); i++)
            if (i != last)
                order.push_back(i);
        order.push_back(last);
        for (size_t i : order) {
            if (c.regions[i].fill)
                c.regions[i].fill(sim::phys(addr[i]));
            else
                random_fill(sim::phys(addr[i]), c.regions[i].bytes, (u32)i + 1);
        }
        return contents(c, addr);
    }
    // Runs the case with input `in` and output `out` in one allocation,
    // `out` starting `offset` bytes after `in` (before it when negative), the
    // other regions apart; returns what the regions held before and after.
    std::pair<std::vector<std::vector<u8>>, std::vector<std::vector<u8>>> shared(const Case &c, size_t in, size_t out,
                                                                                 s32 offset)
    {
        const u32 in_at = offset < 0 ? (u32)-offset : 0, out_at = offset > 0 ? (u32)offset : 0;
        const u32 base = alloc(std::max(in_at + c.regions[in].bytes, out_at + c.regions[out].bytes));
        std::vector<u32> addr;
        for (size_t i = 0; i < c.regions.size(); i++)
            addr.push_back(i == in ? base + in_at : i == out ? base + out_at : alloc(c.regions[i].bytes));
        auto before = fill(c, addr, in);
        EXPECT_EQ(0, c.run(fd_, addr)) << strerror(errno);
        return {before, contents(c, addr)};
    }
    // The case with every region in an allocation of its own, holding `bytes`.
    std::vector<std::vector<u8>> apart(const Case &c, const std::vector<std::vector<u8>> &bytes)
    {
        std::vector<u32> addr;
        for (size_t i = 0; i < c.regions.size(); i++) {
            addr.push_back(alloc(c.regions[i].bytes));
            memcpy(sim::phys(addr.back()), bytes[i].data(), bytes[i].size());
        }
        EXPECT_EQ(0, c.run(fd_, addr)) << strerror(errno);
        return contents(c, addr);
    }
};

TEST_F(IveOverlap, EveryOperatorGivesOnSharedMemoryWhatItGivesOnSeparateBuffers)
{
    std::vector<Case> cases = picture_cases();
    for (std::vector<Case> more : {block_cases(), model_cases()})
        cases.insert(cases.end(), more.begin(), more.end());
    for (const Case &c : cases)
        for (size_t in = 0; in < c.regions.size(); in++)
            for (size_t out = 0; out < c.regions.size(); out++) {
                if (c.regions[in].role != kIn || c.regions[out].role == kIn)
                    continue;
                for (int lines : {0, 1, 3, -1, -3}) {
                    const s32 offset = lines * (s32)c.regions[in].line;
                    SCOPED_TRACE(std::string(c.name) + ": " + c.regions[out].name + " at " + std::to_string(offset) +
                                 " bytes from " + c.regions[in].name);
                    const auto [before, after] = shared(c, in, out, offset);
                    const auto expect = apart(c, before);
                    for (size_t r = 0; r < c.regions.size(); r++) {
                        if (c.regions[r].role != kIn) {
                            EXPECT_TRUE(expect[r] == after[r]) << c.regions[r].name << " differs";
                        }
                    }
                }
            }
}

} // namespace

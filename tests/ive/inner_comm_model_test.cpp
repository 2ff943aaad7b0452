// The parameter rules of the mixture-model, optical-flow, gradient-foreground
// and background-model operators: which test decides, with its code and
// message, and that what passes is what the engine accepts.
#include "tests/ive/ive_fixture.h"

using namespace ivetest;

namespace {

constexpr s32 kIllegal = (s32)0xA01D8003, kNull = (s32)0xA01D8006;
constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S8C2 = IVE_IMAGE_TYPE_S8C2_PACKAGE,
              U16C1 = IVE_IMAGE_TYPE_U16C1, RGB = IVE_IMAGE_TYPE_U8C3_PACKAGE;

class IveModelChecks : public IveTest {
protected:
    IVE_TASK_HANDLE h_ = 0;
};

TEST_F(IveModelChecks, MixtureModel)
{
    struct Gmm {
        IVE_IMG_DESC_S src, fg, bg;
        IVE_MEM_BLOCK_S model;
        IVE_GMM_CTRL_S ctrl;
    };
    auto gmm = [&](u32 type, u16 w, u16 hgt, u8 modes) {
        Gmm g;
        g.src = image(type, w, hgt);
        g.fg = image(U8C1, w, hgt);
        g.bg = image(type, w, hgt);
        g.model = block((u32)modes * (type == U8C1 ? 7 : 11) * w * hgt);
        g.ctrl = {25 << 10, 400 << 10, 4 << 10, 6554, 45875, 16 << 8, 6554, modes, {}};
        return g;
    };
    const Gmm grey = gmm(U8C1, 64, 64, 3), colour = gmm(RGB, 720, 576, 5);
    auto run = [&](const Gmm &base, std::function<void(Gmm &)> change) {
        return [&, change] {
            Gmm g = base;
            change(g);
            return DU_DUZ_IVE_GMM(&h_, &g.src, &g.fg, &g.bg, &g.model, &g.ctrl, 0);
        };
    };
    const u32 model_addr = grey.model.u32PhyAddr;
    run_checks({
        {"grey, 3 modes", run(grey, [](Gmm &) {}), 0, ""},
        {"colour 720 x 576, 5 modes in 22809600 bytes", run(colour, [](Gmm &) {}), 0, ""},
        {"one byte short", run(colour, [](Gmm &g) { g.model.u32Size--; }), kIllegal,
         "pstModel->u32Size(22809599) must be greater than or equal to 22809600!\n"},
        {"the foreground's type fails before any size",
         run(colour,
             [&](Gmm &g) {
                 g.fg = image(S8C1, 720, 576);
                 g.model.u32Size = 1;
             }),
         kIllegal, "pstFg->enType(1) must be U8C1(0)!\n"},
        {"4 modes with room for 4",
         run(grey, [](Gmm &g) { g.ctrl.u8ModeNum = 4, g.model.u32Size = 4 * 7 * 64 * 64; }), kIllegal,
         "pstGmmCtrl->u8ModeNum(4) must be in {3, 5}!\n"},
        {"a mode count of 0 meets the size rule", run(grey, [](Gmm &g) { g.ctrl.u8ModeNum = 0, g.model.u32Size = 0; }),
         kIllegal, "pstGmmCtrl->u8ModeNum(0) must be in {3, 5}!\n"},
        {"source and background of different types", run(grey, [&](Gmm &g) { g.bg = image(RGB, 64, 64); }), kIllegal,
         "pstSrc->enType(0) and pstBg->enType(10) must be of same value!\n"},
        {"a source of another type", run(grey, [&](Gmm &g) { g.src.enType = g.bg.enType = U16C1; }), kIllegal,
         "pstSrc->enType(9) must be in {U8C1(0), U8C3_PACKAGE(10)}!\n"},
        {"equal variances", run(grey, [](Gmm &g) { g.ctrl.u22q10MaxVar = g.ctrl.u22q10MinVar; }), kIllegal,
         "pstGmmCtrl->u22q10MaxVar(4096) and pstGmmCtrl->u22q10MinVar(4096) must be in [1, 16777215], also "
         "pstGmmCtrl->u22q10MaxVar must be greater than pstGmmCtrl->u22q10MinVar!\n"},
        {"noise variance 0", run(grey, [](Gmm &g) { g.ctrl.u22q10NoiseVar = 0; }), kIllegal,
         "pstGmmCtrl->u22q10NoiseVar(0) must be in [1, 16777215]!\n"},
        {"learning rate 0 before the initial weight",
         run(grey, [](Gmm &g) { g.ctrl.u0q16LearnRate = g.ctrl.u0q16InitWeight = 0; }), kIllegal,
         "pstGmmCtrl->u0q16LearnRate can't be 0!\n"},
        {"model without a user address", run(grey, [](Gmm &g) { g.model.pu8VirAddr = nullptr; }), kNull,
         "pstModel->pu8VirAddr can't be NULL!\n"},
        {"model off its alignment", run(grey, [](Gmm &g) { g.model.u32PhyAddr += 8; }), kIllegal,
         "pstModel->u32PhyAddr(" + hex(model_addr + 8) + ") must be 16 byte align!\n"},
        {"image wider than 720", run(grey, [&](Gmm &g) { g.src = image(U8C1, 736, 64); }), kIllegal,
         "check image pstSrc failed!\n"},
        {"bInstant 2", [&] { return DU_DUZ_IVE_GMM(&h_, &grey.src, &grey.fg, &grey.bg, &grey.model, &grey.ctrl, 2); },
         kIllegal, "bInstant (2) must be DU_TRUE or DU_FALSE!\n"},
    });
}

TEST_F(IveModelChecks, OpticalFlow)
{
    IVE_IMG_DESC_S pre = image(U8C1, 64, 64), cur = image(U8C1, 64, 64);
    IVE_MEM_BLOCK_S points = block(1600), mv = block(1600);
    auto lk = [&](std::function<void(IVE_MEM_BLOCK_S &, IVE_MEM_BLOCK_S &, IVE_LK_OPTICAL_FLOW_CTRL_S &)> change) {
        return [&, change] {
            IVE_MEM_BLOCK_S p = points, m = mv;
            IVE_LK_OPTICAL_FLOW_CTRL_S c = {200, 8, 10, 3, 0};
            change(p, m, c);
            return DU_DUZ_IVE_LKOpticalFlow(&h_, &pre, &cur, &p, &m, &c, 0);
        };
    };
    using M = IVE_MEM_BLOCK_S;
    using C = IVE_LK_OPTICAL_FLOW_CTRL_S;
    run_checks({
        {"200 points in 1600 bytes", lk([](M &, M &, C &) {}), 0, ""},
        {"motion list one byte short", lk([](M &, M &m, C &) { m.u32Size = 1599; }), kIllegal,
         "pstMv->u32Size(1599) must be greater than or equal to 1600!\n"},
        {"point list one byte short", lk([](M &p, M &, C &) { p.u32Size = 1599; }), kIllegal,
         "pstPoint->u32Size(1599) must be greater than or equal to 1600!\n"},
        {"201 points fail before epsilon", lk([](M &, M &, C &c) { c.u16CornerNum = 201, c.u0q8Epsilon = 0; }),
         kIllegal, "pstLkOptiFlowCtrl->u16CornerNum(201) must be in [1, 200]!\n"},
        {"epsilon before the eigenvalue", lk([](M &, M &, C &c) { c.u0q8Epsilon = c.u0q8MinEigThr = 0; }), kIllegal,
         "pstLkOptiFlowCtrl->u0q8Epsilon can't be 0!\n"},
        {"21 iterations", lk([](M &, M &, C &c) { c.u8IterCount = 21; }), kIllegal,
         "pstLkOptiFlowCtrl->u8IterCount(21) must be in [1, 20]!\n"},
        {"the motion list before the points", lk([](M &p, M &m, C &) { p.pu8VirAddr = m.pu8VirAddr = nullptr; }),
         kNull, "pstMv->pu8VirAddr can't be NULL!\n"},
        {"point list off its alignment", lk([](M &p, M &, C &) { p.u32PhyAddr += 4; }), kIllegal,
         "pstPoint->u32PhyAddr(" + hex(points.u32PhyAddr + 4) + ") must be 16 byte align!\n"},
        {"pictures of different sizes",
         [&] {
             IVE_IMG_DESC_S small = image(U8C1, 64, 66);
             C c = {1, 8, 10, 3, 0};
             return DU_DUZ_IVE_LKOpticalFlow(&h_, &pre, &small, &points, &mv, &c, 0);
         },
         kIllegal, "pstSrcCur->u16Width(64) and pstSrcCur->u16Height(66) must be equal to pstSrcPre->u16Width(64) and "
                   "pstSrcPre->u16Height(64)!\n"},
    });
}

TEST_F(IveModelChecks, GradientForeground)
{
    IVE_IMG_DESC_S diff = image(S8C1, 64, 64), cur = image(S8C2, 64, 64), bg = image(S8C2, 64, 64),
                   out = image(U8C1, 64, 64);
    auto grad = [&](std::function<void(IVE_GRAD_FG_CTRL_S &)> change) {
        return [&, change] {
            IVE_GRAD_FG_CTRL_S c = {0, 1000, 80, 2, 4, 4, 0, 0};
            change(c);
            return DU_DUZ_IVE_GradFg(&h_, &diff, &cur, &bg, &out, &c, 0);
        };
    };
    using C = IVE_GRAD_FG_CTRL_S;
    run_checks({
        {"in range", grad([](C &) {}), 0, ""},
        {"edge factor 2000", grad([](C &c) { c.u16EdwFactor = 2000; }), 0, ""},
        {"edge factor 2001", grad([](C &c) { c.u16EdwFactor = 2001; }), kIllegal,
         "pstGradFgCtrl->u16EdwFactor(2001) must be in [500, 2000]!\n"},
        {"noise 0", grad([](C &c) { c.u8NoiseVal = 0; }), kIllegal,
         "pstGradFgCtrl->u8NoiseVal(0) must be in [1, 8]!\n"},
        {"mode 2", grad([](C &c) { c.enMode = 2; }), kIllegal, "pstGradFgCtrl->enMode(2) must be in [0, 2)!\n"},
        {"dark edges 2", grad([](C &c) { c.u8EdwDark = 2; }), kIllegal,
         "pstGradFgCtrl->u8EdwDark(2) must be in {0, 1}!\n"},
        {"a one-channel gradient",
         [&] {
             IVE_IMG_DESC_S one = image(S8C1, 64, 64);
             IVE_GRAD_FG_CTRL_S c = {0, 1000, 80, 2, 4, 4, 0, 0};
             return DU_DUZ_IVE_GradFg(&h_, &diff, &one, &bg, &out, &c, 0);
         },
         kIllegal, "pstCurGrad->enType(1) must be S8C2_PACKAGE(6)!\n"},
    });
}

TEST_F(IveModelChecks, BackgroundModelMatch)
{
    struct Match {
        IVE_IMG_DESC_S cur, flag, bg_diff, frm_diff;
        IVE_DATA_DESC_S model;
        IVE_MEM_BLOCK_S stat;
        IVE_MATCH_BG_MODEL_CTRL_S ctrl;
    };
    auto match = [&](u16 w) {
        Match m;
        m.cur = image(U8C1, w, 64);
        m.flag = image(U8C1, w, 64);
        m.bg_diff = image(S8C1, w, 64);
        m.frm_diff = image(S8C1, w, 64);
        const u16 width = (u16)(24 * w), stride = (u16)((width + 15) / 16 * 16);
        IVE_MEM_BLOCK_S b = block((u32)stride * 64);
        m.model = {b.u32PhyAddr, b.pu8VirAddr, stride, width, 64, 0};
        m.stat = block(16);
        m.ctrl = {2, 1, 10, 0, 10, 5, 1, 0, 0};
        return m;
    };
    const Match base = match(64), wide = match(352);
    auto run = [&](const Match &from, std::function<void(Match &)> change) {
        return [&, change] {
            Match m = from;
            change(m);
            return DU_DUZ_IVE_MatchBgModel(&h_, &m.cur, &m.model, &m.flag, &m.bg_diff, &m.frm_diff, &m.stat, &m.ctrl,
                                           0);
        };
    };
    run_checks({
        {"in range", run(base, [](Match &) {}), 0, ""},
        {"a 352-pixel picture with a model 8448 wide", run(wide, [](Match &) {}), 0, ""},
        {"a 352-pixel picture with a model 8432 wide", run(wide, [](Match &m) { m.model.u16Width = 8432; }), kIllegal,
         "pstBgModel->u16Width(8432) and pstBgModel->u16Height(64) must be equal to pstCurImg->u16Width(352)*24 and "
         "pstCurImg->u16Height(64)!\n"},
        {"minimum 6 above maximum 5", run(base, [](Match &m) { m.ctrl.u8DiffMaxThr = 5, m.ctrl.u8DiffMinThr = 6; }),
         kIllegal,
         "pstMatchBgModelCtrl->u8DiffMinThr(6) must be in [3, 15] and must be less than or equal to "
         "pstMatchBgModelCtrl->u8DiffMaxThr(5)!\n"},
        {"minimum and maximum 3", run(base, [](Match &m) { m.ctrl.u8DiffMaxThr = m.ctrl.u8DiffMinThr = 3; }), 0, ""},
        {"the same frame twice", run(base, [](Match &m) { m.ctrl.u32PreFrmNum = m.ctrl.u32CurFrmNum; }), kIllegal,
         "pstMatchBgModelCtrl->u32CurFrmNum(2) must be greater than pstMatchBgModelCtrl->u32PreFrmNum(2)!\n"},
        {"model stride off 16", run(base, [](Match &m) { m.model.u16Stride += 8; }), kIllegal,
         " check pstBgMode->u16Stride failed!\n"},
        {"statistics block of 15 bytes", run(base, [](Match &m) { m.stat.u32Size = 15; }), kIllegal,
         "pstStatData->u32Size(15) must be greater than or equal to 16!\n"},
        {"difference strides", run(base, [&](Match &m) { m.frm_diff = image(S8C1, 64, 64, 80); }), kIllegal,
         "pstFgFlag->u16Stride[0](64), pstBgDiffFg->u16Stride[0](64) and pstFrmDiffFg->u16Stride[0](80) must be of "
         "same value!\n"},
        {"change detection 2", run(base, [](Match &m) { m.ctrl.u8DetChgRegion = 2; }), kIllegal,
         "pstMatchBgModelCtrl->u8DetChgRegion(2) must be in {0, 1}!\n"},
        {"a model without a user address", run(base, [](Match &m) { m.model.pu8VirAddr = nullptr; }), kNull,
         "pstBgModel->pu8VirAddr can't be NULL!\n"},
    });
}

TEST_F(IveModelChecks, BackgroundModelUpdate)
{
    IVE_IMG_DESC_S flag = image(U8C1, 64, 64), bg = image(U8C1, 64, 64), chg_img = image(U8C1, 64, 64),
                   chg_fg = image(S8C1, 64, 64), chg_life = image(U16C1, 64, 64);
    IVE_MEM_BLOCK_S b = block(1536 * 64), stat = block(16);
    const IVE_DATA_DESC_S model = {b.u32PhyAddr, b.pu8VirAddr, 1536, 1536, 64, 0};
    struct Args {
        const IVE_IMG_DESC_S *img, *fg, *life;
        IVE_MEM_BLOCK_S stat;
        IVE_UPDATE_BG_MODEL_CTRL_S c;
    };
    auto update = [&](std::function<void(Args &)> change) {
        return [&, change] {
            Args a = {&chg_img, &chg_fg, &chg_life, stat, {}};
            a.c.u32InitMinTime = a.c.u32StyBgMinBlendTime = a.c.u32StyBgMaxBlendTime = a.c.u32StaticDetMinTime = 100;
            a.c.u16FgMaxFadeTime = a.c.u16BgMaxFadeTime = 10;
            a.c.u8StyBgAccTimeRateThr = a.c.u8ChgBgAccTimeRateThr = 50;
            a.c.u8BgEffStaRateThr = 95;
            a.c.u8DetChgRegion = 1;
            change(a);
            return DU_DUZ_IVE_UpdateBgModel(&h_, &model, &flag, &bg, a.img, a.fg, a.life, &a.stat, &a.c, 0);
        };
    };
    IVE_IMG_DESC_S odd_fg = image(S8C1, 66, 64);
    odd_fg.u16Width = 65;
    run_checks({
        {"with change detection", update([](Args &) {}), 0, ""},
        {"without it, no change images",
         update([](Args &a) { a.c.u8DetChgRegion = 0, a.img = a.fg = a.life = nullptr; }), 0, ""},
        {"stable blending below the initial time", update([](Args &a) { a.c.u32StyBgMinBlendTime = 50; }), kIllegal,
         "pstUpdateBgModelCtrl->u32StyBgMinBlendTime(50) must be in [20, 6000] and must be greater than or equal to "
         "pstUpdateBgModelCtrl->u32InitMinTime(100)!\n"},
        {"maximum blending below the minimum", update([](Args &a) { a.c.u32StyBgMaxBlendTime = 99; }), kIllegal,
         "pstUpdateBgModelCtrl->u32StyBgMaxBlendTime(99) must be in [20, 40000] and must be greater than or equal to "
         "pstUpdateBgModelCtrl->u32StyBgMinBlendTime(100)!\n"},
        {"dynamic depth 4", update([](Args &a) { a.c.u8DynBgDepth = 4; }), kIllegal,
         "pstUpdateBgModelCtrl->u8DynBgDepth(4) must be in [0, 3]!\n"},
        {"change detection 2", update([](Args &a) { a.c.u8DetChgRegion = 2; }), kIllegal,
         "pstUpdateBgModelCtrl->u8DetChgRegion(2) must be in {0, 1}!\n"},
        {"no life image, after the alignment rules",
         update([](Args &a) { a.life = nullptr, a.stat.u32PhyAddr += 4; }), kIllegal,
         "pstStatData->u32PhyAddr(" + hex(stat.u32PhyAddr + 4) + ") must be 16 byte align!\n"},
        {"no life image", update([](Args &a) { a.life = nullptr; }), kNull, "pstChgStaLife can't be NULL!\n"},
        {"an odd width of the change image", update([&](Args &a) { a.fg = &odd_fg; }), kIllegal,
         " check image pstChgStaFg failed!\n"},
    });
    IVE_IMG_DESC_S wide_bg = image(U8C1, 64, 64, 80);
    IVE_UPDATE_BG_MODEL_CTRL_S c = {};
    c.u32InitMinTime = c.u32StyBgMinBlendTime = c.u32StyBgMaxBlendTime = c.u32StaticDetMinTime = 100;
    c.u16FgMaxFadeTime = c.u16BgMaxFadeTime = 10;
    c.u8StyBgAccTimeRateThr = c.u8ChgBgAccTimeRateThr = 50;
    c.u8BgEffStaRateThr = 95;
    run_checks({
        {"background stride 80", [&] {
             return DU_DUZ_IVE_UpdateBgModel(&h_, &model, &flag, &wide_bg, nullptr, nullptr, nullptr, &stat, &c, 0);
         },
         kIllegal, "pstFgFlag->u16Stride[0](64), pstBgImg->u16Stride[0](80) must be of same value!\n"},
    });
}

} // namespace

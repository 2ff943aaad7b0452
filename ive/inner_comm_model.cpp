// Parameter checks of the mixture-model, optical-flow, gradient-foreground
// and background-model operators. Their images are all 64 to 720 pixels wide
// and 64 to 576 high.
#include "ive/inner_comm.h"

namespace {

constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S8C2_PACKAGE = IVE_IMAGE_TYPE_S8C2_PACKAGE,
              U16C1 = IVE_IMAGE_TYPE_U16C1, U8C3_PACKAGE = IVE_IMAGE_TYPE_U8C3_PACKAGE;
constexpr s32 kIllegal = DU_ERR_IVE_ILLEGAL_PARAM;

// Bytes of background model per image pixel.
constexpr u32 kBgModelBytes = 24;
// The statistics block of the background-model operators.
constexpr u32 kStatDataBytes = 16;

s32 video_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name)
{
    return ive_img(at, img, name, 64, 64, 720, 576);
}

s32 video_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 type)
{
    return ive_typed_img(at, img, name, type, 64, 64, 720, 576);
}

// One control range: the value, its bounds, and the message, printed with
// the value and `shown` (the other field a relative bound comes from).
struct Range {
    u32 value, lo, hi;
    const char *fmt;
    u32 shown = 0;
};

// The control ranges in field order; the first value out of its range fails.
s32 ranges(IveAt at, std::initializer_list<Range> rows)
{
    for (const Range &r : rows)
        IVE_CHECK(ive_fail(at, r.value < r.lo || r.value > r.hi, kIllegal, r.fmt, (s32)r.value, (s32)r.shown));
    return 0;
}

// The background model: a user and physical address, a stride the stride
// rule accepts (`stride_failed` names it on failure).
s32 bg_model(IveAt at, const IVE_DATA_DESC_S *model, const char *stride_failed)
{
    IVE_CHECK(ive_null(at, model->pu8VirAddr, "pstBgModel->pu8VirAddr"));
    IVE_CHECK(ive_phy(at, model->u32PhyAddr, "pstBgModel->u32PhyAddr"));
    s32 ret = IveCheckStride(model->u16Stride, model->u16Width, 16);
    return ive_fail(at, ret != 0, kIllegal, "%s", stride_failed);
}

// 24 model bytes per pixel of `ref`, as many lines as `ref`.
s32 bg_model_size(IveAt at, const IVE_DATA_DESC_S *model, const IVE_IMG_DESC_S *ref, const char *ref_name)
{
    return ive_fail(at,
                    model->u16Width != kBgModelBytes * ref->u16Width || model->u16Height != ref->u16Height, kIllegal,
                    "pstBgModel->u16Width(%d) and pstBgModel->u16Height(%d) must be equal to %s->u16Width(%d)*%d and "
                    "%s->u16Height(%d)!\n",
                    model->u16Width, model->u16Height, ref_name, ref->u16Width, (s32)kBgModelBytes, ref_name,
                    ref->u16Height);
}

s32 gmm_ctrl(IveAt at, const IVE_GMM_CTRL_S &c)
{
    IVE_CHECK(ive_fail(at, c.u8ModeNum != 3 && c.u8ModeNum != 5, kIllegal,
                       "pstGmmCtrl->u8ModeNum(%d) must be in {3, 5}!\n", c.u8ModeNum));
    IVE_CHECK(ive_fail(at, c.u22q10MaxVar > 16777215 || c.u22q10MinVar == 0 || c.u22q10MaxVar <= c.u22q10MinVar,
                       kIllegal,
                       "pstGmmCtrl->u22q10MaxVar(%d) and pstGmmCtrl->u22q10MinVar(%d) must be in [%d, %d], also "
                       "pstGmmCtrl->u22q10MaxVar must be greater than pstGmmCtrl->u22q10MinVar!\n",
                       (s32)c.u22q10MaxVar, (s32)c.u22q10MinVar, 1, 16777215));
    IVE_CHECK(ive_fail(at, c.u22q10NoiseVar < 1 || c.u22q10NoiseVar > 16777215, kIllegal,
                       "pstGmmCtrl->u22q10NoiseVar(%d) must be in [%d, %d]!\n", (s32)c.u22q10NoiseVar, 1, 16777215));
    IVE_CHECK(ive_fail(at, c.u0q16LearnRate == 0, kIllegal, "pstGmmCtrl->u0q16LearnRate can't be 0!\n"));
    IVE_CHECK(ive_fail(at, c.u0q16BgRatio == 0, kIllegal, "pstGmmCtrl->u0q16BgRatio can't be 0!\n"));
    IVE_CHECK(ive_fail(at, c.u8q8VarThr == 0, kIllegal, "pstGmmCtrl->u8q8VarThr can't be 0!\n"));
    return ive_fail(at, c.u0q16InitWeight == 0, kIllegal, "pstGmmCtrl->u0q16InitWeight can't be 0!\n");
}

s32 match_ctrl(IveAt at, const IVE_MATCH_BG_MODEL_CTRL_S &c)
{
    IVE_CHECK(ive_fail(at, c.u32CurFrmNum <= c.u32PreFrmNum, kIllegal,
                       "pstMatchBgModelCtrl->u32CurFrmNum(%d) must be greater than "
                       "pstMatchBgModelCtrl->u32PreFrmNum(%d)!\n",
                       (s32)c.u32CurFrmNum, (s32)c.u32PreFrmNum));
    return ranges(at, {
        {c.u16TimeThr, 2, 100, "pstMatchBgModelCtrl->u16TimeThr(%d) must be in [2, 100]!\n"},
        {c.u8DiffThrCrlCoef, 0, 5, "pstMatchBgModelCtrl->u8DiffThrCrlCoef(%d) must be in [0, 5]!\n"},
        {c.u8DiffMaxThr, 3, 15, "pstMatchBgModelCtrl->u8DiffMaxThr(%d) must be in [3, 15]!\n"},
        {c.u8DiffMinThr, 3, c.u8DiffMaxThr,
         "pstMatchBgModelCtrl->u8DiffMinThr(%d) must be in [3, 15] and must be less than or equal to "
         "pstMatchBgModelCtrl->u8DiffMaxThr(%d)!\n",
         c.u8DiffMaxThr},
        {c.u8DiffThrInc, 0, 6, "pstMatchBgModelCtrl->u8DiffThrInc(%d) must be in [0, 6]!\n"},
        {c.u8FastLearnRate, 0, 4, "pstMatchBgModelCtrl->u8FastLearnRate(%d) must be in [0, 4]!\n"},
        {c.u8DetChgRegion, 0, 1, "pstMatchBgModelCtrl->u8DetChgRegion(%d) must be in {0, 1}!\n"},
    });
}

s32 update_ctrl(IveAt at, const IVE_UPDATE_BG_MODEL_CTRL_S &c)
{
    return ranges(at, {
        {c.u32FrmChkPeriod, 0, 2000, "pstUpdateBgModelCtrl->u32FrmChkPeriod(%d) must be in [0, 2000]!\n"},
        {c.u32InitMinTime, 20, 6000, "pstUpdateBgModelCtrl->u32InitMinTime(%d) must be in [20, 6000]!\n"},
        {c.u32StyBgMinBlendTime, c.u32InitMinTime, 6000,
         "pstUpdateBgModelCtrl->u32StyBgMinBlendTime(%d) must be in [20, 6000] and must be greater than or equal to "
         "pstUpdateBgModelCtrl->u32InitMinTime(%d)!\n",
         c.u32InitMinTime},
        {c.u32StyBgMaxBlendTime, c.u32StyBgMinBlendTime, 40000,
         "pstUpdateBgModelCtrl->u32StyBgMaxBlendTime(%d) must be in [20, 40000] and must be greater than or equal to "
         "pstUpdateBgModelCtrl->u32StyBgMinBlendTime(%d)!\n",
         c.u32StyBgMinBlendTime},
        {c.u32DynBgMinBlendTime, 0, 6000, "pstUpdateBgModelCtrl->u32DynBgMinBlendTime(%d) must be in [0, 6000]!\n"},
        {c.u32StaticDetMinTime, 20, 6000, "pstUpdateBgModelCtrl->u32StaticDetMinTime(%d) must be in [20, 6000]!\n"},
        {c.u16FgMaxFadeTime, 1, 255, "pstUpdateBgModelCtrl->u16FgMaxFadeTime(%d) must be in [1, 255]!\n"},
        {c.u16BgMaxFadeTime, 1, 255, "pstUpdateBgModelCtrl->u16BgMaxFadeTime(%d) must be in [1, 255]!\n"},
        {c.u8StyBgAccTimeRateThr, 10, 100, "pstUpdateBgModelCtrl->u8StyBgAccTimeRateThr(%d) must be in [10, 100]!\n"},
        {c.u8ChgBgAccTimeRateThr, 10, 100, "pstUpdateBgModelCtrl->u8ChgBgAccTimeRateThr(%d) must be in [10, 100]!\n"},
        {c.u8DynBgAccTimeThr, 0, 50, "pstUpdateBgModelCtrl->u8DynBgAccTimeThr(%d) must be in [0, 50]!\n"},
        {c.u8DynBgDepth, 0, 3, "pstUpdateBgModelCtrl->u8DynBgDepth(%d) must be in [0, 3]!\n"},
        {c.u8BgEffStaRateThr, 90, 100, "pstUpdateBgModelCtrl->u8BgEffStaRateThr(%d) must be in [90, 100]!\n"},
        {c.u8AcceBgLearn, 0, 1, "pstUpdateBgModelCtrl->u8AcceBgLearn(%d) must be in {0, 1}!\n"},
        {c.u8DetChgRegion, 0, 1, "pstUpdateBgModelCtrl->u8DetChgRegion(%d) must be in {0, 1}!\n"},
    });
}

// The three change-state images, tested only when they are produced.
s32 change_state(IveAt at, const IVE_IMG_DESC_S *fg_flag, const IVE_IMG_DESC_S *bg_img, const IVE_IMG_DESC_S *img,
                 const IVE_IMG_DESC_S *fg, const IVE_IMG_DESC_S *life)
{
    IVE_CHECK(ive_nulls(at, {{img, "pstChgStaImg"}, {fg, "pstChgStaFg"}, {life, "pstChgStaLife"}}));
    IVE_CHECK(video_img(at, img, "pstChgStaImg", U8C1));
    s32 ret = IveCheckImage(fg, 64, 64, 720, 576, 1, 16);
    IVE_CHECK(ive_fail(at, ret != 0, ret, " check image pstChgStaFg failed!\n"));
    IVE_CHECK(ive_type(at, fg, "pstChgStaFg", S8C1));
    IVE_CHECK(video_img(at, life, "pstChgStaLife", U16C1));
    IVE_CHECK(ive_same(at, img, "pstChgStaImg", fg_flag, "pstFgFlag"));
    IVE_CHECK(ive_same(at, fg, "pstChgStaFg", fg_flag, "pstFgFlag"));
    IVE_CHECK(ive_same(at, life, "pstChgStaLife", fg_flag, "pstFgFlag"));
    const u16 s = fg_flag->u16Stride[0];
    IVE_CHECK(ive_fail(at, bg_img->u16Stride[0] != s || img->u16Stride[0] != s || fg->u16Stride[0] != s, kIllegal,
                       "pstFgFlag->u16Stride[0](%d), pstBgImg->u16Stride[0](%d), pstChgStaImg->u16Stride[0](%d) and "
                       "pstChgStaFg->u16Stride[0](%d) must be of same value!\n",
                       s, bg_img->u16Stride[0], img->u16Stride[0], fg->u16Stride[0]));
    IVE_CHECK(ive_align_img(at, img, "pstChgStaImg", 16));
    IVE_CHECK(ive_align_img(at, fg, "pstChgStaFg", 16));
    return ive_align_img(at, life, "pstChgStaLife", 16);
}

} // namespace

s32 IveCheckGMMParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstFg,
                     const IVE_IMG_DESC_S *pstBg, const IVE_MEM_BLOCK_S *pstModel, const IVE_GMM_CTRL_S *pstGmmCtrl,
                     u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstFg, "pstFg"}, {pstBg, "pstBg"},
                        {pstModel, "pstModel"}, {pstGmmCtrl, "pstGmmCtrl"}}));
    IVE_CHECK(video_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(video_img(IVE_HERE, pstFg, "pstFg", U8C1));
    IVE_CHECK(video_img(IVE_HERE, pstBg, "pstBg"));
    IVE_CHECK(ive_same(IVE_HERE, pstFg, "pstFg", pstSrc, "pstSrc"));
    IVE_CHECK(ive_same(IVE_HERE, pstBg, "pstBg", pstSrc, "pstSrc"));
    IVE_CHECK(ive_fail(IVE_HERE, pstSrc->enType != pstBg->enType, kIllegal,
                       "pstSrc->enType(%d) and pstBg->enType(%d) must be of same value!\n", (s32)pstSrc->enType,
                       (s32)pstBg->enType));
    IVE_CHECK(ive_vir_phy(IVE_HERE, pstModel, "pstModel"));
    const u32 type = pstSrc->enType;
    IVE_CHECK(ive_fail(IVE_HERE, type != U8C1 && type != U8C3_PACKAGE, kIllegal,
                       "pstSrc->enType(%d) must be in {U8C1(%d), U8C3_PACKAGE(%d)}!\n", (s32)type, U8C1,
                       U8C3_PACKAGE));
    // Each Gaussian mode keeps 7 bytes per grey pixel, 11 per colour pixel;
    // the size is tested before the mode count.
    const u32 per_mode = type == U8C1 ? 7 : 11;
    const u32 need = pstGmmCtrl->u8ModeNum * per_mode * pstSrc->u16Width * pstSrc->u16Height;
    IVE_CHECK(ive_min_size(IVE_HERE, pstModel->u32Size, need, "pstModel->u32Size"));
    IVE_CHECK(gmm_ctrl(IVE_HERE, *pstGmmCtrl));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstFg, "pstFg", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstBg, "pstBg", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstModel->u32PhyAddr, "pstModel->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckLKOpticalFlowParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcPre,
                               const IVE_IMG_DESC_S *pstSrcCur, const IVE_MEM_BLOCK_S *pstPoint,
                               const IVE_MEM_BLOCK_S *pstMv, const IVE_LK_OPTICAL_FLOW_CTRL_S *pstLkOptiFlowCtrl,
                               u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrcPre, "pstSrcPre"}, {pstSrcCur, "pstSrcCur"},
                        {pstPoint, "pstPoint"}, {pstMv, "pstMv"}, {pstLkOptiFlowCtrl, "pstLkOptiFlowCtrl"}}));
    IVE_CHECK(video_img(IVE_HERE, pstSrcPre, "pstSrcPre", U8C1));
    IVE_CHECK(video_img(IVE_HERE, pstSrcCur, "pstSrcCur", U8C1));
    IVE_CHECK(ive_same(IVE_HERE, pstSrcCur, "pstSrcCur", pstSrcPre, "pstSrcPre"));
    const IVE_LK_OPTICAL_FLOW_CTRL_S &c = *pstLkOptiFlowCtrl;
    IVE_CHECK(ive_fail(IVE_HERE, c.u16CornerNum < 1 || c.u16CornerNum > 200, kIllegal,
                       "pstLkOptiFlowCtrl->u16CornerNum(%d) must be in [1, %d]!\n", c.u16CornerNum, 200));
    IVE_CHECK(ive_fail(IVE_HERE, c.u0q8Epsilon == 0, kIllegal, "pstLkOptiFlowCtrl->u0q8Epsilon can't be 0!\n"));
    IVE_CHECK(ive_fail(IVE_HERE, c.u0q8MinEigThr == 0, kIllegal, "pstLkOptiFlowCtrl->u0q8MinEigThr can't be 0!\n"));
    IVE_CHECK(ive_fail(IVE_HERE, c.u8IterCount < 1 || c.u8IterCount > 20, kIllegal,
                       "pstLkOptiFlowCtrl->u8IterCount(%d) must be in [1, %d]!\n", c.u8IterCount, 20));
    // Eight bytes per point in both lists.
    IVE_CHECK(ive_mem_block(IVE_HERE, pstMv, "pstMv", 8u * c.u16CornerNum));
    IVE_CHECK(ive_mem_block(IVE_HERE, pstPoint, "pstPoint", 8u * c.u16CornerNum));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrcPre, "pstSrcPre", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrcCur, "pstSrcCur", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstPoint->u32PhyAddr, "pstPoint->u32PhyAddr"));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstMv->u32PhyAddr, "pstMv->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckGradFgParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstBgDiffFg,
                        const IVE_IMG_DESC_S *pstCurGrad, const IVE_IMG_DESC_S *pstBgGrad,
                        const IVE_IMG_DESC_S *pstGradFg, const IVE_GRAD_FG_CTRL_S *pstGradFgCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstBgDiffFg, "pstBgDiffFg"},
                        {pstCurGrad, "pstCurGrad"}, {pstBgGrad, "pstBgGrad"}, {pstGradFg, "pstGradFg"},
                        {pstGradFgCtrl, "pstGradFgCtrl"}}));
    IVE_CHECK(video_img(IVE_HERE, pstBgDiffFg, "pstBgDiffFg", S8C1));
    IVE_CHECK(video_img(IVE_HERE, pstCurGrad, "pstCurGrad", S8C2_PACKAGE));
    IVE_CHECK(video_img(IVE_HERE, pstBgGrad, "pstBgGrad", S8C2_PACKAGE));
    IVE_CHECK(video_img(IVE_HERE, pstGradFg, "pstGradFg", U8C1));
    IVE_CHECK(ive_same(IVE_HERE, pstBgGrad, "pstBgGrad", pstCurGrad, "pstCurGrad"));
    IVE_CHECK(ive_same(IVE_HERE, pstBgDiffFg, "pstBgDiffFg", pstCurGrad, "pstCurGrad"));
    IVE_CHECK(ive_same(IVE_HERE, pstGradFg, "pstGradFg", pstCurGrad, "pstCurGrad"));
    const IVE_GRAD_FG_CTRL_S &c = *pstGradFgCtrl;
    IVE_CHECK(ranges(IVE_HERE, {
        {c.enMode, 0, 1, "pstGradFgCtrl->enMode(%d) must be in [0, %d)!\n", 2},
        {c.u16EdwFactor, 500, 2000, "pstGradFgCtrl->u16EdwFactor(%d) must be in [500, 2000]!\n"},
        {c.u8CrlCoefThr, 50, 100, "pstGradFgCtrl->u8CrlCoefThr(%d) must be in [50, 100]!\n"},
        {c.u8MagCrlThr, 0, 20, "pstGradFgCtrl->u8MagCrlThr(%d) must be in [0, 20]!\n"},
        {c.u8MinMagDiff, 2, 8, "pstGradFgCtrl->u8MinMagDiff(%d) must be in [2, 8]!\n"},
        {c.u8NoiseVal, 1, 8, "pstGradFgCtrl->u8NoiseVal(%d) must be in [1, 8]!\n"},
        {c.u8EdwDark, 0, 1, "pstGradFgCtrl->u8EdwDark(%d) must be in {0, 1}!\n"},
    }));
    IVE_CHECK(ive_align_img(IVE_HERE, pstBgDiffFg, "pstBgDiffFg", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstCurGrad, "pstCurGrad", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstBgGrad, "pstBgGrad", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstGradFg, "pstGradFg", 16));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckMatchBgModelParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstCurImg,
                              const IVE_DATA_DESC_S *pstBgModel, const IVE_IMG_DESC_S *pstFgFlag,
                              const IVE_IMG_DESC_S *pstBgDiffFg, const IVE_IMG_DESC_S *pstFrmDiffFg,
                              const IVE_MEM_BLOCK_S *pstStatData,
                              const IVE_MATCH_BG_MODEL_CTRL_S *pstMatchBgModelCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstCurImg, "pstCurImg"}, {pstBgModel, "pstBgModel"},
                        {pstFgFlag, "pstFgFlag"}, {pstBgDiffFg, "pstBgDiffFg"}, {pstFrmDiffFg, "pstFrmDiffFg"},
                        {pstStatData, "pstStatData"}, {pstMatchBgModelCtrl, "pstMatchBgModelCtrl"}}));
    IVE_CHECK(video_img(IVE_HERE, pstCurImg, "pstCurImg", U8C1));
    IVE_CHECK(bg_model(IVE_HERE, pstBgModel, " check pstBgMode->u16Stride failed!\n"));
    IVE_CHECK(video_img(IVE_HERE, pstFgFlag, "pstFgFlag", U8C1));
    IVE_CHECK(video_img(IVE_HERE, pstBgDiffFg, "pstBgDiffFg", S8C1));
    IVE_CHECK(video_img(IVE_HERE, pstFrmDiffFg, "pstFrmDiffFg", S8C1));
    IVE_CHECK(bg_model_size(IVE_HERE, pstBgModel, pstCurImg, "pstCurImg"));
    IVE_CHECK(ive_same(IVE_HERE, pstFgFlag, "pstFgFlag", pstCurImg, "pstCurImg"));
    IVE_CHECK(ive_same(IVE_HERE, pstBgDiffFg, "pstBgDiffFg", pstCurImg, "pstCurImg"));
    IVE_CHECK(ive_same(IVE_HERE, pstFrmDiffFg, "pstFrmDiffFg", pstCurImg, "pstCurImg"));
    const u16 s = pstFgFlag->u16Stride[0];
    IVE_CHECK(ive_fail(IVE_HERE, pstBgDiffFg->u16Stride[0] != s || pstFrmDiffFg->u16Stride[0] != s, kIllegal,
                       "pstFgFlag->u16Stride[0](%d), pstBgDiffFg->u16Stride[0](%d) and pstFrmDiffFg->u16Stride[0](%d) "
                       "must be of same value!\n",
                       s, pstBgDiffFg->u16Stride[0], pstFrmDiffFg->u16Stride[0]));
    IVE_CHECK(ive_mem_block(IVE_HERE, pstStatData, "pstStatData", kStatDataBytes));
    IVE_CHECK(match_ctrl(IVE_HERE, *pstMatchBgModelCtrl));
    IVE_CHECK(ive_align_img(IVE_HERE, pstCurImg, "pstCurImg", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstBgModel->u32PhyAddr, "pstBgModel->u32PhyAddr"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstFgFlag, "pstFgFlag", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstBgDiffFg, "pstBgDiffFg", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstFrmDiffFg, "pstFrmDiffFg", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstStatData->u32PhyAddr, "pstStatData->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckUpdateBgModelParam(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstBgModel,
                               const IVE_IMG_DESC_S *pstFgFlag, const IVE_IMG_DESC_S *pstBgImg,
                               const IVE_IMG_DESC_S *pstChgStaImg, const IVE_IMG_DESC_S *pstChgStaFg,
                               const IVE_IMG_DESC_S *pstChgStaLife, const IVE_MEM_BLOCK_S *pstStatData,
                               const IVE_UPDATE_BG_MODEL_CTRL_S *pstUpdateBgModelCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstBgModel, "pstBgModel"}, {pstFgFlag, "pstFgFlag"},
                        {pstBgImg, "pstBgImg"}, {pstStatData, "pstStatData"},
                        {pstUpdateBgModelCtrl, "pstUpdateBgModelCtrl"}}));
    IVE_CHECK(bg_model(IVE_HERE, pstBgModel, "check pstBgMode->u16Stride failed!\n"));
    IVE_CHECK(video_img(IVE_HERE, pstFgFlag, "pstFgFlag", U8C1));
    IVE_CHECK(video_img(IVE_HERE, pstBgImg, "pstBgImg", U8C1));
    IVE_CHECK(bg_model_size(IVE_HERE, pstBgModel, pstFgFlag, "pstFgFlag"));
    IVE_CHECK(ive_same(IVE_HERE, pstBgImg, "pstBgImg", pstFgFlag, "pstFgFlag"));
    IVE_CHECK(ive_mem_block(IVE_HERE, pstStatData, "pstStatData", kStatDataBytes));
    const IVE_UPDATE_BG_MODEL_CTRL_S &c = *pstUpdateBgModelCtrl;
    IVE_CHECK(update_ctrl(IVE_HERE, c));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstBgModel->u32PhyAddr, "pstBgModel->u32PhyAddr"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstFgFlag, "pstFgFlag", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstBgImg, "pstBgImg", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstStatData->u32PhyAddr, "pstStatData->u32PhyAddr"));
    if (c.u8DetChgRegion == 1)
        IVE_CHECK(change_state(IVE_HERE, pstFgFlag, pstBgImg, pstChgStaImg, pstChgStaFg, pstChgStaLife));
    else
        IVE_CHECK(ive_fail(IVE_HERE, pstBgImg->u16Stride[0] != pstFgFlag->u16Stride[0], kIllegal,
                           "pstFgFlag->u16Stride[0](%d), pstBgImg->u16Stride[0](%d) must be of same value!\n",
                           pstFgFlag->u16Stride[0], pstBgImg->u16Stride[0]));
    return ive_instant(IVE_HERE, bInstant);
}

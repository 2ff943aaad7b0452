// Parameter checks of the gradient, texture, correlation, component, corner,
// edge and SAD operators, and of the two stages that finish corners and
// edges in software.
#include "ive/inner_comm.h"

#include <cstring>

namespace {

constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S8C2_PACKAGE = IVE_IMAGE_TYPE_S8C2_PACKAGE,
              U16C1 = IVE_IMAGE_TYPE_U16C1;
constexpr s32 kIllegal = DU_ERR_IVE_ILLEGAL_PARAM;

// A NormGrad output: an image of the operator's sizes and of `type`.
s32 grad_img(IveAt at, const IVE_IMG_DESC_S *out, const char *name, u32 type)
{
    return ive_typed_img(at, out, name, type, 64, 64, 1920, 1024);
}

// The Canny stack holds a point per pixel and the count: (W x H + 4) x 4.
s32 canny_stack(IveAt at, const IVE_MEM_BLOCK_S *stack, const IVE_IMG_DESC_S *img)
{
    IVE_CHECK(ive_phy(at, stack->u32PhyAddr, "pstStack->u32PhyAddr"));
    IVE_CHECK(ive_null(at, stack->pu8VirAddr, "pstStack->pu8VirAddr"));
    return ive_min_size(at, stack->u32Size, ((u32)img->u16Width * img->u16Height + 4) * 4, "pstStack->u32Size");
}

// The first plane's user address: the software stages work on it, and the
// image test does not look at it.
s32 user_plane(IveAt at, const IVE_IMG_DESC_S *img, const char *name)
{
    return ive_fail(at, !img->pu8VirAddr[0], DU_ERR_IVE_NULL_PTR, "%s->pu8VirAddr[0] can't be NULL!\n", name);
}

// One SAD output: user and physical address, type, size of the block grid, stride.
s32 sad_out(IveAt at, const IVE_IMG_DESC_S *out, const char *name, u32 type, u32 w, u32 h)
{
    IVE_CHECK(user_plane(at, out, name));
    IVE_CHECK(ive_fail(at, !out->u32PhyAddr[0], kIllegal, "%s->u32PhyAddr[0] can't be 0!\n", name));
    IVE_CHECK(ive_type(at, out, name, type));
    IVE_CHECK(
        ive_fail(at, out->u16Width != w, kIllegal, "%s->u16Width(%d) must be %d!\n", name, out->u16Width, (s32)w));
    IVE_CHECK(ive_fail(at, out->u16Height != h, kIllegal, "%s->u16Height(%d) must be %d!\n", name, out->u16Height,
                       (s32)h));
    s32 ret = IveCheckStride(out->u16Stride[0], out->u16Width, 16);
    return ive_fail(at, ret != 0, ret, "check %s->u16Stride[0] failed!\n", name);
}

} // namespace

s32 IveCheckNormGradParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                          const IVE_IMG_DESC_S *pstDstV, const IVE_IMG_DESC_S *pstDstHV,
                          const IVE_NORM_GRAD_CTRL_S *pstNormGradCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"},
                        {pstNormGradCtrl, "pstNomGradCtrl"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc, "pstSrc", U8C1, 64, 64, 1920, 1024));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    const u32 out = pstNormGradCtrl->enOutCtrl;
    IVE_CHECK(
        ive_fail(IVE_HERE, out > 3, kIllegal, "pstNormGradCtrl->enOutCtrl(%d) must be in [0, %d)!\n", (s32)out, 4));
    switch (out) {
    case 0:
        // Both images and types before either's size.
        IVE_CHECK(ive_nulls(IVE_HERE, {{pstDstH, "pstDstH"}, {pstDstV, "pstDstV"}}));
        IVE_CHECK(grad_img(IVE_HERE, pstDstH, "pstDstH", S8C1));
        IVE_CHECK(grad_img(IVE_HERE, pstDstV, "pstDstV", S8C1));
        IVE_CHECK(ive_same(IVE_HERE, pstDstH, "pstDstH", pstSrc, "pstSrc"));
        IVE_CHECK(ive_same(IVE_HERE, pstDstV, "pstDstV", pstSrc, "pstSrc"));
        IVE_CHECK(ive_same_stride(IVE_HERE, pstDstH, "pstDstH", pstDstV, "pstDstV"));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstH, "pstDstH", 16));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstV, "pstDstV", 16));
        break;
    case 1:
    case 2:
    case 3: {
        const IVE_IMG_DESC_S *dst = out == 1 ? pstDstH : out == 2 ? pstDstV : pstDstHV;
        const char *name = out == 1 ? "pstDstH" : out == 2 ? "pstDstV" : "pstDstHV";
        IVE_CHECK(ive_null(IVE_HERE, dst, name));
        IVE_CHECK(grad_img(IVE_HERE, dst, name, out == 3 ? S8C2_PACKAGE : S8C1));
        IVE_CHECK(ive_same(IVE_HERE, dst, name, pstSrc, "pstSrc"));
        IVE_CHECK(ive_align_img(IVE_HERE, dst, name, 16));
        break;
    }
    }
    IVE_CHECK(ive_fail(IVE_HERE, pstNormGradCtrl->u8Norm > 13, kIllegal,
                       "pstNormGradCtrl->u8Norm(%d) must be in [0, %d]!\n", pstNormGradCtrl->u8Norm, 13));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckLBPParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_LBP_CTRL_S *pstLbpCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstLbpCtrl, "pstLbpCtrl"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc, "pstSrc", U8C1, 64, 64, 1920, 1024));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstDst, "pstDst", U8C1, 64, 64, 1920, 1024));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    IVE_CHECK(ive_fail(IVE_HERE, pstLbpCtrl->enMode > 1, kIllegal, "pstLbpCtrl->enMode(%d) must be in [0, %d)!\n",
                       (s32)pstLbpCtrl->enMode, 2));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckNCCParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_MEM_BLOCK_S *pstDst, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc1, "pstSrc1"}, {pstSrc2, "pstSrc2"},
                        {pstDst, "pstDst"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc1, "pstSrc1", U8C1, 32, 32, 1920, 1080));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc2, "pstSrc2", U8C1, 32, 32, 1920, 1080));
    IVE_CHECK(ive_null(IVE_HERE, pstDst->pu8VirAddr, "pstDst->pu8VirAddr"));
    IVE_CHECK(ive_phy(IVE_HERE, pstDst->u32PhyAddr, "pstDst->u32PhyAddr"));
    IVE_CHECK(ive_min_size(IVE_HERE, pstDst->u32Size, 32, "pstDst->u32Size"));
    IVE_CHECK(ive_same(IVE_HERE, pstSrc2, "pstSrc2", pstSrc1, "pstSrc1"));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstDst->u32PhyAddr, "pstDst->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckCCLParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrcDst, const IVE_MEM_BLOCK_S *pstBlob,
                     const IVE_CCL_CTRL_S *pstCclCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrcDst, "pstSrcDst"}, {pstBlob, "pstBlob"},
                        {pstCclCtrl, "pstCclCtrl"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrcDst, "pstSrcDst", U8C1, 16, 16, 720, 640));
    IVE_CHECK(ive_null(IVE_HERE, pstBlob->pu8VirAddr, "pstBlob->pu8VirAddr"));
    IVE_CHECK(ive_phy(IVE_HERE, pstBlob->u32PhyAddr, "pstBlob->u32PhyAddr"));
    IVE_CHECK(ive_min_size(IVE_HERE, pstBlob->u32Size, sizeof(IVE_CCBLOB_S), "pstBlob->u32Size"));
    IVE_CHECK(ive_fail(IVE_HERE, pstCclCtrl->u16Step == 0, kIllegal, "pstCclCtrl->u16Step can't be 0!\n"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrcDst, "pstSrcDst", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstBlob->u32PhyAddr, "pstBlob->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckSTCandiCornerParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                               const IVE_IMG_DESC_S *pstCandiCorner,
                               const IVE_ST_CANDI_CORNER_CTRL_S *pstStCandiCornerCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstCandiCorner, "pstCandiCorner"},
                        {pstStCandiCornerCtrl, "pstStCandiCornerCtrl"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc, "pstSrc", U8C1, 64, 64, 720, 576));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstCandiCorner, "pstCandiCorner", U8C1, 64, 64, 720, 576));
    IVE_CHECK(ive_same(IVE_HERE, pstCandiCorner, "pstCandiCorner", pstSrc, "pstSrc"));
    const IVE_MEM_BLOCK_S &mem = pstStCandiCornerCtrl->stMem;
    IVE_CHECK(ive_null(IVE_HERE, mem.pu8VirAddr, "pstStCandiCornerCtrl->stMem.pu8VirAddr"));
    IVE_CHECK(ive_phy(IVE_HERE, mem.u32PhyAddr, "pstStCandiCornerCtrl->stMem.u32PhyAddr"));
    const u32 need = ((u32)pstSrc->u16Height * IveAlign(pstSrc->u16Width, 16) + 4) * 4;
    IVE_CHECK(ive_min_size(IVE_HERE, mem.u32Size, need, "pstStCandiCornerCtrl->stMem.u32Size"));
    IVE_CHECK(ive_fail(IVE_HERE, pstStCandiCornerCtrl->u0q8QualityLevel == 0, kIllegal,
                       "pstStCandiCornerCtrl->u0q8QualityLevel can't be 0!\n"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstCandiCorner, "pstCandiCorner", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, mem.u32PhyAddr, "pstStCandiCornerCtrl->stMem.u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckSTCornerParam(const IVE_IMG_DESC_S *pstCandiCorner, const IVE_MEM_BLOCK_S *pstCorner,
                          const IVE_ST_CORNER_CTRL_S *pstStCornerCtrl)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pstCandiCorner, "pstCandiCorner"}, {pstCorner, "pstCorner"},
                        {pstStCornerCtrl, "pstStCornerCtrl"}}));
    const IVE_ST_CORNER_CTRL_S &c = *pstStCornerCtrl;
    IVE_CHECK(ive_fail(IVE_HERE, c.u16MaxCornerNum < 1 || c.u16MaxCornerNum > IVE_ST_MAX_CORNER_NUM, kIllegal,
                       "pstStCornerCtrl->u16MaxCornerNum(%d) must be in [1, %d]!\n", c.u16MaxCornerNum,
                       (s32)IVE_ST_MAX_CORNER_NUM));
    IVE_CHECK(ive_fail(IVE_HERE, c.u16MinDist < 1 || c.u16MinDist > 255, kIllegal,
                       "pstStCornerCtrl->u16MinDist(%d) must be in [1, %d]!\n", c.u16MinDist, 255));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstCandiCorner, "pstCandiCorner", U8C1, 64, 64, 720, 576));
    IVE_CHECK(user_plane(IVE_HERE, pstCandiCorner, "pstCandiCorner"));
    IVE_CHECK(ive_phy(IVE_HERE, pstCorner->u32PhyAddr, "pstCorner->u32PhyAddr"));
    IVE_CHECK(ive_null(IVE_HERE, pstCorner->pu8VirAddr, "pstCorner->pu8VirAddr"));
    return ive_min_size(IVE_HERE, pstCorner->u32Size, sizeof(IVE_CORNER_LIST_S), "pstCorner->u32Size");
}

s32 IveCheckCannyHysEdgeParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                              const IVE_IMG_DESC_S *pstEdge, const IVE_MEM_BLOCK_S *pstStack,
                              const IVE_CANNY_HYS_EDGE_CTRL_S *pstCannyHysEdgeCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstEdge, "pstEdge"},
                        {pstStack, "pstStack"}, {pstCannyHysEdgeCtrl, "pstCannyHysEdgeCtrl"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc, "pstSrc", U8C1, 64, 64, 1920, 1024));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstEdge, "pstEdge", U8C1, 64, 64, 1920, 1024));
    IVE_CHECK(canny_stack(IVE_HERE, pstStack, pstSrc));
    const IVE_CANNY_HYS_EDGE_CTRL_S &c = *pstCannyHysEdgeCtrl;
    IVE_CHECK(ive_fail(IVE_HERE, c.u16HighThr < c.u16LowThr, kIllegal,
                       "pstCannyHysEdgeCtrl->u16HighThr(%d) must be greater than or equal to "
                       "pstCannyHysEdgeCtrl->u16LowThr(%d)!\n",
                       c.u16HighThr, c.u16LowThr));
    IVE_CHECK(ive_phy(IVE_HERE, c.stMem.u32PhyAddr, "pstCannyHysEdgeCtrl->stMem.u32PhyAddr"));
    IVE_CHECK(ive_null(IVE_HERE, c.stMem.pu8VirAddr, "pstCannyHysEdgeCtrl->stMem.pu8VirAddr"));
    const u32 plane = (u32)pstSrc->u16Height * IveAlign(pstSrc->u16Width, 16);
    IVE_CHECK(ive_min_size(IVE_HERE, c.stMem.u32Size, 2 * plane + plane, "pstCannyHysEdgeCtrl->stMem.u32Size"));
    IVE_CHECK(ive_same(IVE_HERE, pstEdge, "pstEdge", pstSrc, "pstSrc"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstEdge, "pstEdge", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstStack->u32PhyAddr, "pstStack->u32PhyAddr"));
    IVE_CHECK(ive_align_mem(IVE_HERE, c.stMem.u32PhyAddr, "pstCannyHysEdgeCtrl->stMem.u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckCannyEdgeParam(const IVE_IMG_DESC_S *pstEdge, const IVE_MEM_BLOCK_S *pstStack)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pstEdge, "pstEdge"}, {pstStack, "pstStack"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstEdge, "pstEdge", U8C1, 64, 64, 1920, 1024));
    IVE_CHECK(user_plane(IVE_HERE, pstEdge, "pstEdge"));
    IVE_CHECK(canny_stack(IVE_HERE, pstStack, pstEdge));
    // The engine leaves at most a point per pixel on the stack; a larger
    // count would send the tracking past the stack's end.
    const u32 pixels = (u32)pstEdge->u16Width * pstEdge->u16Height;
    u32 count;
    memcpy(&count, pstStack->pu8VirAddr + (size_t)4 * pixels, sizeof count);
    return ive_fail(
        IVE_HERE, count > pixels, kIllegal,
        "pstStack's point count(%u) must be less than or equal to pstEdge->u16Width*pstEdge->u16Height(%u)!\n", count,
        pixels);
}

s32 IveCheckSADParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstSad, const IVE_IMG_DESC_S *pstThr, const IVE_SAD_CTRL_S *pstSadCtrl,
                     u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc1, "pstSrc1"}, {pstSrc2, "pstSrc2"},
                        {pstSadCtrl, "pstSadCtrl"}}));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc1, "pstSrc1", U8C1, 64, 64, 1920, 1080));
    IVE_CHECK(ive_typed_img(IVE_HERE, pstSrc2, "pstSrc2", U8C1, 64, 64, 1920, 1080));
    IVE_CHECK(ive_same(IVE_HERE, pstSrc2, "pstSrc2", pstSrc1, "pstSrc1"));
    const IVE_SAD_CTRL_S &c = *pstSadCtrl;
    IVE_CHECK(ive_fail(IVE_HERE, c.enMode > 2, kIllegal, "pstSadCtrl->enMode(%d) must be in [0, %d)!\n", (s32)c.enMode,
                       3));
    IVE_CHECK(ive_fail(IVE_HERE, c.enOutCtrl > 4, kIllegal, "pstSadCtrl->enOutCtrl(%d) must be in [0, %d)!\n",
                       (s32)c.enOutCtrl, 5));
    const u32 b = 4u << c.enMode;
    IVE_CHECK(ive_fail(IVE_HERE, pstSrc1->u16Width % b != 0, kIllegal,
                       "pstSrc1->u16Width(%d) must be a multiply of %d!\n", pstSrc1->u16Width, (s32)b));
    IVE_CHECK(ive_fail(IVE_HERE, pstSrc1->u16Height % b != 0, kIllegal,
                       "pstSrc1->u16Height(%d) must be a multiply of %d!\n", pstSrc1->u16Height, (s32)b));
    // Which outputs each enOutCtrl produces, and the SAD output's type.
    const bool sad = c.enOutCtrl <= 3, thr = c.enOutCtrl <= 1 || c.enOutCtrl == 4;
    const u32 sad_type = c.enOutCtrl == 0 || c.enOutCtrl == 2 ? U16C1 : U8C1;
    if (sad && thr) {
        IVE_CHECK(ive_nulls(IVE_HERE, {{pstSad, "pstSad"}, {pstThr, "pstThr"}}));
    } else {
        IVE_CHECK(ive_null(IVE_HERE, sad ? pstSad : pstThr, sad ? "pstSad" : "pstThr"));
    }
    const u32 w = pstSrc1->u16Width / b, h = pstSrc1->u16Height / b;
    if (sad)
        IVE_CHECK(sad_out(IVE_HERE, pstSad, "pstSad", sad_type, w, h));
    if (thr)
        IVE_CHECK(sad_out(IVE_HERE, pstThr, "pstThr", U8C1, w, h));
    if (c.enOutCtrl == 1)
        IVE_CHECK(ive_fail(IVE_HERE, c.u16Thr > 255, kIllegal,
                           "pstSadCtrl->u16Thr(%d) must be in [%d, %d] in pstSadCtrl->enOutCtrl(%d)!\n", c.u16Thr, 0,
                           255, (s32)c.enOutCtrl));
    if (sad)
        IVE_CHECK(ive_align_img(IVE_HERE, pstSad, "pstSad", 16));
    if (thr)
        IVE_CHECK(ive_align_img(IVE_HERE, pstThr, "pstThr", 16));
    return ive_instant(IVE_HERE, bInstant);
}

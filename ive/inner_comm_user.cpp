// Parameter checks of the DMA, filter, colour-conversion, gradient,
// morphology and threshold operators. Each runs its tests in a fixed order
// and returns the first failure's code.
#include "ive/inner_comm.h"

#include <algorithm>

namespace {

constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, YUV420SP = IVE_IMAGE_TYPE_YUV420SP,
              YUV422SP = IVE_IMAGE_TYPE_YUV422SP, S16C1 = IVE_IMAGE_TYPE_S16C1, U16C1 = IVE_IMAGE_TYPE_U16C1,
              U8C3_PACKAGE = IVE_IMAGE_TYPE_U8C3_PACKAGE, U8C3_PLANAR = IVE_IMAGE_TYPE_U8C3_PLANAR;
constexpr s32 kIllegal = DU_ERR_IVE_ILLEGAL_PARAM;

bool is_yuv(u32 type) { return type == YUV420SP || type == YUV422SP; }

// The image sizes the filters take, and those the colour conversions and
// thresholds take.
s32 filter_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u8 planes = 1)
{
    return ive_img(at, img, name, 64, 64, 1920, 1024, planes);
}
s32 full_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u8 planes = 1)
{
    return ive_img(at, img, name, 64, 64, 1920, 1080, planes);
}

// A three-channel image: one plane packed, three planar with equal strides.
s32 rgb_image(IveAt at, const IVE_IMG_DESC_S *img, const char *name, bool planar_strides, u16 hmax)
{
    if (img->enType == U8C3_PACKAGE)
        return ive_img(at, img, name, 64, 64, 1920, hmax, 1);
    IVE_CHECK(ive_img(at, img, name, 64, 64, 1920, hmax, 3));
    if (!planar_strides)
        return 0;
    return ive_fail(at, img->u16Stride[0] != img->u16Stride[1] || img->u16Stride[0] != img->u16Stride[2], kIllegal,
                    "%s->u16Stride[0](%d), %s->u16Stride[1](%d) and %s->u16Stride[2](%d) must be of same value!\n",
                    name, img->u16Stride[0], name, img->u16Stride[1], name, img->u16Stride[2]);
}

s32 yuv_strides(IveAt at, const IVE_IMG_DESC_S *dst)
{
    return ive_fail(at, dst->u16Stride[0] != dst->u16Stride[1], kIllegal,
                    "pstDst->u16Stride[0](%d) and pstDst->u16Stride[1](%d) must be of same value!\n",
                    dst->u16Stride[0], dst->u16Stride[1]);
}

// Every plane of the image that its type uses is aligned, from plane `from`.
s32 planes_aligned(IveAt at, const IVE_IMG_DESC_S *img, const char *name, int from = 0)
{
    for (int p = from; p < ive_planes(img->enType); p++)
        IVE_CHECK(ive_align_img(at, img, name, 16, p));
    return 0;
}

// One gradient output of Sobel and MagAndAng: present, an image of the
// filters' size, of `type`, as large as the source.
s32 gradient_out(IveAt at, const IVE_IMG_DESC_S *out, const char *name, u32 type, const IVE_IMG_DESC_S *src)
{
    IVE_CHECK(filter_img(at, out, name));
    IVE_CHECK(ive_type(at, out, name, type));
    return ive_same(at, out, name, src, "pstSrc");
}

s32 dma_stride(IveAt at, const IVE_DATA_DESC_S *d, const char *name)
{
    return ive_fail(at, IveCheckStride(d->u16Stride, d->u16Width, 16) != 0, kIllegal, "check %s->u16Stride failed!\n",
                    name);
}

// Dilate and Erode differ only in their names.
s32 check_morphology(IveAt at, IVE_TASK_HANDLE *handle, const IVE_IMG_DESC_S *src, const IVE_IMG_DESC_S *dst,
                     const void *ctrl, const char *ctrl_name, u32 bInstant)
{
    IVE_CHECK(ive_nulls(at, {{handle, "pIveHandle"}, {src, "pstSrc"}, {dst, "pstDst"}}));
    IVE_CHECK(ive_null(at, ctrl, ctrl_name));
    IVE_CHECK(filter_img(at, src, "pstSrc"));
    IVE_CHECK(ive_type(at, src, "pstSrc", U8C1));
    IVE_CHECK(filter_img(at, dst, "pstDst"));
    IVE_CHECK(ive_type(at, dst, "pstDst", U8C1));
    IVE_CHECK(ive_same(at, dst, "pstDst", src, "pstSrc"));
    IVE_CHECK(ive_align_img(at, src, "pstSrc", 16));
    IVE_CHECK(ive_align_img(at, dst, "pstDst", 16));
    return ive_instant(at, bInstant);
}

} // namespace

s32 IveCheckDMAParam(IVE_TASK_HANDLE *pIveHandle, const IVE_DATA_DESC_S *pstSrc, const IVE_DATA_DESC_S *pstDst,
                     const IVE_DMA_CTRL_S *pstDmaCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDmaCtrl, "pstDmaCtrl"}}));
    IVE_CHECK(ive_phy(IVE_HERE, pstSrc->u32PhyAddr, "pstSrc->u32PhyAddr"));
    IVE_CHECK(ive_fail(IVE_HERE, pstSrc->u16Width < 32 || pstSrc->u16Width > 1920, kIllegal,
                       "pstSrc->u16Width(%d) must be in [%d, %d]!\n", pstSrc->u16Width, 32, 1920));
    IVE_CHECK(ive_fail(IVE_HERE, pstSrc->u16Height < 1 || pstSrc->u16Height > 1080, kIllegal,
                       "pstSrc->u16Height(%d) must be in [%d, %d]!\n", pstSrc->u16Height, 1, 1080));
    IVE_CHECK(dma_stride(IVE_HERE, pstSrc, "pstSrc"));
    const u32 mode = pstDmaCtrl->enMode;
    IVE_CHECK(ive_fail(IVE_HERE, mode >= 4, kIllegal, "pstDmaCtrl->enMode(%d) must in [0, %d)!\n", (s32)mode, 4));
    if (mode == 0 || mode == 1) {
        IVE_CHECK(ive_null(IVE_HERE, pstDst, "pstDst"));
        IVE_CHECK(ive_phy(IVE_HERE, pstDst->u32PhyAddr, "pstDst->u32PhyAddr"));
    }
    if (mode == 0) {
        IVE_CHECK(dma_stride(IVE_HERE, pstDst, "pstDst"));
        IVE_CHECK(ive_fail(IVE_HERE, IveCheckResRelation(pstDst->u16Width, pstSrc->u16Width, pstDst->u16Height,
                                                         pstSrc->u16Height) != 0,
                           kIllegal,
                           "pstDst->u16Width(%d) and pstDst->u16Height(%d) must be equal to pstSrc->u16Width(%d) and "
                           "pstSrc->u16Height(%d)!\n",
                           pstDst->u16Width, pstDst->u16Height, pstSrc->u16Width, pstSrc->u16Height));
    } else if (mode == 1) {
        const IVE_DMA_CTRL_S &c = *pstDmaCtrl;
        u32 max_rows = std::min<u32>(65535u / pstSrc->u16Stride, pstSrc->u16Height);
        IVE_CHECK(ive_fail(IVE_HERE, c.u8VerSegRows < 1 || c.u8VerSegRows > max_rows, kIllegal,
                           "pstDmaCtrl->u8VerSegRows(%d) must be in [1, %d]!\n", c.u8VerSegRows, (s32)max_rows));
        IVE_CHECK(ive_fail(IVE_HERE, c.u8ElemSize < 1 || c.u8ElemSize + 1 > c.u8HorSegSize, kIllegal,
                           "pstDmaCtrl->u8ElemSize(%d) must be in [1, %d]!\n", c.u8ElemSize, c.u8HorSegSize - 1));
        u8 h = c.u8HorSegSize;
        IVE_CHECK(ive_fail(IVE_HERE, h != 2 && h != 3 && h != 4 && h != 8 && h != 16, kIllegal,
                           "pstDmaCtrl->u8HorSegSize(%d) must be in {2, 3, 4, 8, 16}!\n", h));
        IVE_CHECK(ive_fail(IVE_HERE, pstSrc->u16Width % h != 0, kIllegal,
                           "pstSrc->u16Width(%d) must be a multiply of pstDmaCtrl->u8HorSegSize(%d)!\n",
                           pstSrc->u16Width, h));
        IVE_CHECK(ive_fail(IVE_HERE, pstDst->u16Width == 0, kIllegal, "pstDst->u16Width can't be 0!\n"));
        IVE_CHECK(ive_fail(IVE_HERE, pstDst->u16Height == 0, kIllegal, "pstDst->u16Height can't be 0!\n"));
        IVE_CHECK(dma_stride(IVE_HERE, pstDst, "pstDst"));
        u32 w = pstSrc->u16Width / h * c.u8ElemSize;
        u32 rows = (pstSrc->u16Height + c.u8VerSegRows - 1) / c.u8VerSegRows;
        IVE_CHECK(ive_fail(IVE_HERE, pstDst->u16Width != w || pstDst->u16Height != rows, kIllegal,
                           "pstDst->u16Width(%d) and pstDst->u16Height(%d) must be equal to ((pstSrc->u16Width "
                           "/pstDmaCtrl->u8HorSegSize) * pstDmaCtrl->u8ElemSize)(%d) and ((pstSrc->u16Height + "
                           "pstDmaCtrl->u8VerSegRows - 1)/pstDmaCtrl->u8VerSegRows)(%d)!\n",
                           pstDst->u16Width, pstDst->u16Height, (s32)w, (s32)rows));
    }
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckFilterParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                        const IVE_FILTER_CTRL_S *pstFltCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstFltCtrl, "pstFltCtrl"}}));
    const u32 type = pstSrc->enType;
    IVE_CHECK(ive_fail(IVE_HERE, type != U8C1 && !is_yuv(type), kIllegal,
                       "pstSrc->enType(%d) must be in {U8C1(%d), YUV420SP(%d), YUV422SP(%d)}!\n", (s32)type, U8C1,
                       YUV420SP, YUV422SP));
    IVE_CHECK(ive_fail(IVE_HERE, pstDst->enType != type, kIllegal,
                       "pstDst->enType(%d) and pstSrc->enType(%d) must be of same type!\n", (s32)pstDst->enType,
                       (s32)type));
    const u8 planes = is_yuv(type) ? 2 : 1;
    IVE_CHECK(filter_img(IVE_HERE, pstSrc, "pstSrc", planes));
    IVE_CHECK(filter_img(IVE_HERE, pstDst, "pstDst", planes));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    if (is_yuv(type)) {
        IVE_CHECK(yuv_strides(IVE_HERE, pstDst));
        IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16, 1));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16, 1));
    }
    IVE_CHECK(ive_fail(IVE_HERE, pstFltCtrl->u8Norm > 13, kIllegal, "pstFltCtrl->u8Norm(%d) must be in [0, %d]!\n",
                       pstFltCtrl->u8Norm, 13));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckCSCParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                     const IVE_CSC_CTRL_S *pstCscCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstCscCtrl, "pstCscCtrl"}}));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    const s32 mode = (s32)pstCscCtrl->enMode;
    IVE_CHECK(ive_fail(IVE_HERE, pstCscCtrl->enMode >= 12, kIllegal, "pstCscCtrl->enMode(%d) must be in [0, %d)!\n",
                       mode, 12));
    const s32 st = (s32)pstSrc->enType, dt = (s32)pstDst->enType;
    if (mode < 8) {
        IVE_CHECK(ive_fail(IVE_HERE, !is_yuv(pstSrc->enType), kIllegal,
                           "pstSrc->enType(%d) must be in {YUV420SP(%d), YUV422SP(%d)} in pstCscCtrl->enMode(%d)!\n",
                           st, YUV420SP, YUV422SP, mode));
        IVE_CHECK(full_img(IVE_HERE, pstSrc, "pstSrc", 2));
        IVE_CHECK(
            ive_fail(IVE_HERE, dt != (s32)U8C3_PACKAGE && dt != (s32)U8C3_PLANAR, kIllegal,
                     "pstDst->enType(%d) must be in {U8C3_PACKAGE(%d), U8C3_PLANAR(%d)} in pstCscCtrl->enMode(%d)!\n",
                     dt, U8C3_PACKAGE, U8C3_PLANAR, mode));
        IVE_CHECK(rgb_image(IVE_HERE, pstDst, "pstDst", true, 1080));
    } else {
        IVE_CHECK(
            ive_fail(IVE_HERE, st != (s32)U8C3_PACKAGE && st != (s32)U8C3_PLANAR, kIllegal,
                     "pstSrc->enType(%d) must be in {U8C3_PACKAGE(%d), U8C3_PLANAR(%d)} in pstCscCtrl->enMode(%d)!\n",
                     st, U8C3_PACKAGE, U8C3_PLANAR, mode));
        IVE_CHECK(rgb_image(IVE_HERE, pstSrc, "pstSrc", false, 1080));
        IVE_CHECK(ive_fail(IVE_HERE, !is_yuv(pstDst->enType), kIllegal,
                           "pstDst->enType(%d) must be in {YUV420SP(%d), YUV422SP(%d)} in pstCscCtrl->enMode(%d)!\n",
                           dt, YUV420SP, YUV422SP, mode));
        IVE_CHECK(yuv_strides(IVE_HERE, pstDst));
        IVE_CHECK(full_img(IVE_HERE, pstDst, "pstDst", 2));
    }
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    IVE_CHECK(planes_aligned(IVE_HERE, pstSrc, "pstSrc", 1));
    IVE_CHECK(planes_aligned(IVE_HERE, pstDst, "pstDst", 1));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckFilterAndCSCParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                              const IVE_IMG_DESC_S *pstDst, const IVE_FILTER_AND_CSC_CTRL_S *pstFltCscCtrl,
                              u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstFltCscCtrl, "pstFltCscCtrl"}}));
    IVE_CHECK(filter_img(IVE_HERE, pstSrc, "pstSrc", 2));
    const s32 dt = (s32)pstDst->enType;
    IVE_CHECK(ive_fail(IVE_HERE, dt != (s32)U8C3_PACKAGE && dt != (s32)U8C3_PLANAR, kIllegal,
                       "pstDst->enType(%d) must be in {U8C3_PACKAGE(%d), U8C3_PLANAR(%d)}!\n", dt, U8C3_PACKAGE,
                       U8C3_PLANAR));
    IVE_CHECK(rgb_image(IVE_HERE, pstDst, "pstDst", true, 1024));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    IVE_CHECK(ive_fail(IVE_HERE, pstFltCscCtrl->enMode > 3, kIllegal,
                       "pstFltCscCtrl->enMode(%d) must be in [%d, %d]!\n", (s32)pstFltCscCtrl->enMode, 0, 3));
    IVE_CHECK(ive_fail(IVE_HERE, pstFltCscCtrl->u8Norm > 13, kIllegal,
                       "pstFilterCtrl->u8Norm(%d) must be in [0, %d]!\n", pstFltCscCtrl->u8Norm, 13));
    IVE_CHECK(ive_fail(IVE_HERE, !is_yuv(pstSrc->enType), kIllegal,
                       "pstSrc->enType(%d) must be in {YUV420SP(%d), YUV422SP(%d)}!\n", (s32)pstSrc->enType, YUV420SP,
                       YUV422SP));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16, 1));
    IVE_CHECK(planes_aligned(IVE_HERE, pstDst, "pstDst", 1));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckSobelParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDstH,
                       const IVE_IMG_DESC_S *pstDstV, const IVE_SOBEL_CTRL_S *pstSobelCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstSobelCtrl, "pstSobelCtrl"}}));
    IVE_CHECK(filter_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(ive_type(IVE_HERE, pstSrc, "pstSrc", U8C1));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    const u32 out = pstSobelCtrl->enOutCtrl;
    switch (out) {
    case 0:
        IVE_CHECK(ive_nulls(IVE_HERE, {{pstDstH, "pstDstH"}, {pstDstV, "pstDstV"}}));
        IVE_CHECK(gradient_out(IVE_HERE, pstDstH, "pstDstH", S16C1, pstSrc));
        IVE_CHECK(gradient_out(IVE_HERE, pstDstV, "pstDstV", S16C1, pstSrc));
        IVE_CHECK(ive_same_stride(IVE_HERE, pstDstH, "pstDstH", pstDstV, "pstDstV"));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstH, "pstDstH", 16));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstV, "pstDstV", 16));
        break;
    case 1:
    case 2: {
        const IVE_IMG_DESC_S *dst = out == 1 ? pstDstH : pstDstV;
        const char *name = out == 1 ? "pstDstH" : "pstDstV";
        IVE_CHECK(ive_null(IVE_HERE, dst, name));
        IVE_CHECK(gradient_out(IVE_HERE, dst, name, S16C1, pstSrc));
        IVE_CHECK(ive_align_img(IVE_HERE, dst, name, 16));
        break;
    }
    default:
        return ive_fail(IVE_HERE, true, kIllegal, "pstSobelCtrl->enOutCtrl(%d) must in [0, %d)!\n", (s32)out, 3);
    }
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckMagAndAngParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                           const IVE_IMG_DESC_S *pstDstMag, const IVE_IMG_DESC_S *pstDstAng,
                           const IVE_MAG_AND_ANG_CTRL_S *pstMagAndAngCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"},
                        {pstMagAndAngCtrl, "pstMagAndAngCtrl"}}));
    IVE_CHECK(filter_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(ive_type(IVE_HERE, pstSrc, "pstSrc", U8C1));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    const u32 out = pstMagAndAngCtrl->enOutCtrl;
    if (out == 0) {
        IVE_CHECK(ive_null(IVE_HERE, pstDstMag, "pstDstMag"));
        IVE_CHECK(gradient_out(IVE_HERE, pstDstMag, "pstDstMag", U16C1, pstSrc));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstMag, "pstDstMag", 16));
    } else if (out == 1) {
        IVE_CHECK(ive_nulls(IVE_HERE, {{pstDstMag, "pstDstMag"}, {pstDstAng, "pstDstAng"}}));
        IVE_CHECK(gradient_out(IVE_HERE, pstDstMag, "pstDstMag", U16C1, pstSrc));
        IVE_CHECK(gradient_out(IVE_HERE, pstDstAng, "pstDstAng", U8C1, pstSrc));
        IVE_CHECK(ive_same_stride(IVE_HERE, pstDstAng, "pstDstAng", pstDstMag, "pstDstMag"));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstMag, "pstDstMag", 16));
        IVE_CHECK(ive_align_img(IVE_HERE, pstDstAng, "pstDstAng", 16));
    } else {
        return ive_fail(IVE_HERE, true, kIllegal, "pstMagAndAngCtrl->enOutCtrl(%d) must be in [0, %d)!\n", (s32)out, 2);
    }
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckDilateParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                        const IVE_DILATE_CTRL_S *pstDilateCtrl, u32 bInstant)
{
    return check_morphology(IVE_HERE, pIveHandle, pstSrc, pstDst, pstDilateCtrl, "pstDilateCtrl", bInstant);
}

s32 IveCheckErodeParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                       const IVE_ERODE_CTRL_S *pstErodeCtrl, u32 bInstant)
{
    return check_morphology(IVE_HERE, pIveHandle, pstSrc, pstDst, pstErodeCtrl, "pstErodeCtrl", bInstant);
}

s32 IveCheckThreshParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                        const IVE_THRESH_CTRL_S *pstThrCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstThrCtrl, "pstThrCtrl"}}));
    IVE_CHECK(full_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(ive_type(IVE_HERE, pstSrc, "pstSrc", U8C1));
    IVE_CHECK(full_img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_type(IVE_HERE, pstDst, "pstDst", U8C1));
    const u32 mode = pstThrCtrl->enMode;
    IVE_CHECK(ive_fail(IVE_HERE, mode >= 8, kIllegal, "pstThrCtrl->enMode(%d) must be in [0, %d)!\n", (s32)mode, 8));
    IVE_CHECK(ive_fail(IVE_HERE, mode >= 3 && pstThrCtrl->u8HighThr < pstThrCtrl->u8LowThr, kIllegal,
                       "pstThrCtrl->u8HighThr(%d) must be greater than or equal to pstThrCtrl->u8LowThr(%d)!\n",
                       pstThrCtrl->u8HighThr, pstThrCtrl->u8LowThr));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckThresh_S16Param(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_THRESH_S16_CTRL_S *pstThrS16Ctrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstThrS16Ctrl, "pstThrS16Ctrl"}}));
    IVE_CHECK(full_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(ive_type(IVE_HERE, pstSrc, "pstSrc", S16C1));
    IVE_CHECK(full_img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    const IVE_THRESH_S16_CTRL_S &c = *pstThrS16Ctrl;
    const s32 mode = (s32)c.enMode;
    IVE_CHECK(ive_fail(IVE_HERE, c.enMode >= 4, kIllegal, "pstThrS16Ctrl->enMode(%d) must be in [0, %d)!\n", mode, 4));
    // Modes 1 and 3 pass the middle band (low, high] through: it must fit the output.
    const bool to_s8 = mode < 2;
    if (to_s8)
        IVE_CHECK(ive_fail(IVE_HERE, pstDst->enType != S8C1, kIllegal,
                           "pstDst->enType(%d) must be S8C1(%d) in pstThrS16Ctrl->enMode(%d)!\n", (s32)pstDst->enType,
                           S8C1, mode));
    else
        IVE_CHECK(ive_fail(IVE_HERE, pstDst->enType != U8C1, kIllegal,
                           "pstDst->enType(%d) must be U8C1(%d) in pstThrS16Ctrl->enMode(%d)!\n", (s32)pstDst->enType,
                           U8C1, mode));
    if (mode == 1 || mode == 3) {
        const s32 lo = to_s8 ? -129 : -1, hi = to_s8 ? 127 : 255;
        IVE_CHECK(ive_fail(IVE_HERE, c.s16LowThr < lo, kIllegal,
                           "pstThrS16Ctrl->s16LowThr(%d) must be in [%d, %d] in pstThrS16Ctrl->enMode(%d)!\n",
                           c.s16LowThr, lo, hi, mode));
        IVE_CHECK(ive_fail(IVE_HERE, c.s16HighThr > hi, kIllegal,
                           "pstThrS16Ctrl->s16HighThr(%d) must be in [%d, %d] in pstThrS16Ctrl->enMode(%d)!\n",
                           c.s16HighThr, lo, hi, mode));
    }
    IVE_CHECK(ive_fail(IVE_HERE, c.s16HighThr < c.s16LowThr, kIllegal,
                       "pstThrS16Ctrl->s16HighThr(%d) must be greater than or equal to pstThrS16Ctrl->s16LowThr(%d)!\n",
                       c.s16HighThr, c.s16LowThr));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 2));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckThresh_U16Param(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                            const IVE_THRESH_U16_CTRL_S *pstThrU16Ctrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstThrU16Ctrl, "pstThrU16Ctrl"}}));
    IVE_CHECK(full_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(ive_type(IVE_HERE, pstSrc, "pstSrc", U16C1));
    IVE_CHECK(full_img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_type(IVE_HERE, pstDst, "pstDst", U8C1));
    IVE_CHECK(ive_fail(IVE_HERE,
                       IveCheckResRelation(pstDst->u16Width, pstSrc->u16Width, pstDst->u16Height, pstSrc->u16Height),
                       kIllegal,
                       "pstDst->u16Width(%d) and pstDst->u16Height(%d) must be equal to pstSrc->u16Width(%d) and "
                       "pstSrc->u16Height(%d)",
                       pstDst->u16Width, pstDst->u16Height, pstSrc->u16Width, pstSrc->u16Height));
    const IVE_THRESH_U16_CTRL_S &c = *pstThrU16Ctrl;
    const s32 mode = (s32)c.enMode;
    if (c.enMode == 1)
        IVE_CHECK(ive_fail(IVE_HERE, c.u16HighThr > 255, kIllegal,
                           "pstThrU16Ctrl->u16HightThr(%d) must be in [0, %d] in pstThrU16Ctrl->enMode(%d)!\n",
                           c.u16HighThr, 255, mode));
    else if (c.enMode != 0)
        return ive_fail(IVE_HERE, true, kIllegal, "pstThrU16Ctrl->enMode(%d) must in [0, %d)!\n", mode, 2);
    IVE_CHECK(ive_fail(IVE_HERE, c.u16HighThr < c.u16LowThr, kIllegal,
                       "pstThrU16Ctrl->u16HighThr(%d) must be greater than or equal to pstThrU16Ctrl->u16LowThr(%d)!\n",
                       c.u16HighThr, c.u16LowThr));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 2));
    return ive_instant(IVE_HERE, bInstant);
}

// The common image tests of the engine's parameter checks and the message
// forms the checks report in.
#include "ive/inner_comm.h"
#include "ive/ive_requests.h"

#include <cstdarg>
#include <cstring>

namespace {

void vreport(IveAt at, const char *fmt, va_list ap)
{
    MPI_TRACE_PREFIX(at.func, at.line);
    vfprintf(stderr, fmt, ap);
}

// The two families of image tests differ in their code, in the names they
// report under and in testing the planes' address alignment.
struct ImageFamily {
    const char *image, *stride, *wandh;
    s32 code;
    bool aligned;
};
const ImageFamily kIve = {"IveCheckImage", "IveCheckStride", "IveCheckWAndH", DU_ERR_IVE_ILLEGAL_PARAM, false};
const ImageFamily kFd = {"FdCheckImage", "FdCheckStride", "FdCheckWAndH", DU_ERR_FD_ILLEGAL_PARAM, true};
const ImageFamily kMd = {"MdCheckImage", "MdCheckStride", "MdCheckWAndH", DU_ERR_IVE_ILLEGAL_PARAM, true};

s32 check_stride(const ImageFamily &f, u16 stride, u16 width, s32 align)
{
    IveAt at = {f.stride, __LINE__};
    if (stride < width)
        return ive_fail(at, true, f.code, "stride(%d) must be greater than or equal to width(%d)!\n", stride, width);
    return ive_fail(at, align <= 0 || stride % align != 0, f.code, "stride(%d) must be %d align!\n", stride, align);
}

s32 check_wandh(const ImageFamily &f, u16 width, u16 height)
{
    IveAt at = {f.wandh, __LINE__};
    if (width % 2)
        return ive_fail(at, true, f.code, "image width(%d) must be a multiply of 2!\n", width);
    return ive_fail(at, height % 2 != 0, f.code, "image height(%d) must be a multiply of 2!\n", height);
}

s32 plane_aligned(const ImageFamily &f, const IVE_IMG_DESC_S *img, int plane, u32 align)
{
    if (!f.aligned || img->u32PhyAddr[plane] % align == 0)
        return 0;
    ive_report({f.image, __LINE__}, "pstImage->u32PhyAddr[%d](%#x) must be %d byte align!\n", plane,
               img->u32PhyAddr[plane], (s32)align);
    return f.code;
}

s32 check_image(const ImageFamily &f, const IVE_IMG_DESC_S *img, u16 wmin, u16 hmin, u16 wmax, u16 hmax, u8 planes,
                u32 align)
{
    IveAt at = {f.image, __LINE__};
    if (!img->u32PhyAddr[0])
        return ive_fail(at, true, f.code, "pstImage->u32PhyAddr[0] can't be 0!\n");
    IVE_CHECK(plane_aligned(f, img, 0, align));
    if (img->u16Width < wmin || img->u16Width > wmax)
        return ive_fail(at, true, f.code, "pstImage->u16Width(%d) must be in [%d, %d]!\n", img->u16Width, wmin, wmax);
    if (img->u16Height < hmin || img->u16Height > hmax)
        return ive_fail(at, true, f.code, "pstImage->u16Height(%d) must be in [%d ,%d]!\n", img->u16Height, hmin,
                        hmax);
    if (check_wandh(f, img->u16Width, img->u16Height))
        return ive_fail(at, true, f.code, "check image width and height failed!\n");
    if (check_stride(f, img->u16Stride[0], img->u16Width, (s32)align))
        return ive_fail(at, true, f.code, "check pstImage->u16Stride[0] failed!\n");
    for (int p = 1; p < planes && p < 3; p++) {
        if (!img->u32PhyAddr[p])
            return ive_fail(at, true, f.code, "pstImage->pu8PhyAddr[%d] can't be 0!\n", p);
        if (check_stride(f, img->u16Stride[p], img->u16Width, (s32)align))
            return ive_fail(at, true, f.code, "check pstImage->u16Stride[%d] failed!\n", p);
        IVE_CHECK(plane_aligned(f, img, p, align));
    }
    return 0;
}

const char *type_name(u32 type)
{
    switch (type) {
    case IVE_IMAGE_TYPE_U8C1:
        return "U8C1";
    case IVE_IMAGE_TYPE_S8C1:
        return "S8C1";
    case IVE_IMAGE_TYPE_S8C2_PACKAGE:
        return "S8C2_PACKAGE";
    case IVE_IMAGE_TYPE_S16C1:
        return "S16C1";
    case IVE_IMAGE_TYPE_U16C1:
        return "U16C1";
    }
    return "?";
}

} // namespace

void ive_report(IveAt at, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vreport(at, fmt, ap);
    va_end(ap);
}

s32 ive_fail(IveAt at, bool fail, s32 code, const char *fmt, ...)
{
    if (!fail)
        return 0;
    va_list ap;
    va_start(ap, fmt);
    vreport(at, fmt, ap);
    va_end(ap);
    return code;
}

s32 IveCheckStride(u16 u16Stride, u16 u16Width, s32 s32Align)
{
    return check_stride(kIve, u16Stride, u16Width, s32Align);
}
s32 IveCheckWAndH(u16 u16Width, u16 u16Height) { return check_wandh(kIve, u16Width, u16Height); }
s32 IveCheckImage(const IVE_IMG_DESC_S *pstImage, u16 u16MinWidth, u16 u16MinHeight, u16 u16MaxWidth,
                  u16 u16MaxHeight, u8 u8PlaneNum, u32 u32Align)
{
    return check_image(kIve, pstImage, u16MinWidth, u16MinHeight, u16MaxWidth, u16MaxHeight, u8PlaneNum, u32Align);
}

s32 FdCheckStride(u16 u16Stride, u16 u16Width, s32 s32Align)
{
    return check_stride(kFd, u16Stride, u16Width, s32Align);
}
s32 FdCheckWAndH(u16 u16Width, u16 u16Height) { return check_wandh(kFd, u16Width, u16Height); }
s32 FdCheckImage(const IVE_IMG_DESC_S *pstImage, u16 u16MinWidth, u16 u16MinHeight, u16 u16MaxWidth,
                 u16 u16MaxHeight, u8 u8PlaneNum, u32 u32Align)
{
    return check_image(kFd, pstImage, u16MinWidth, u16MinHeight, u16MaxWidth, u16MaxHeight, u8PlaneNum, u32Align);
}

s32 MdCheckStride(u16 u16Stride, u16 u16Width, s32 s32Align)
{
    return check_stride(kMd, u16Stride, u16Width, s32Align);
}
s32 MdCheckWAndH(u16 u16Width, u16 u16Height) { return check_wandh(kMd, u16Width, u16Height); }
s32 MdCheckImage(const IVE_IMG_DESC_S *pstImage, u16 u16MinWidth, u16 u16MinHeight, u16 u16MaxWidth,
                 u16 u16MaxHeight, u8 u8PlaneNum, u32 u32Align)
{
    return check_image(kMd, pstImage, u16MinWidth, u16MinHeight, u16MaxWidth, u16MaxHeight, u8PlaneNum, u32Align);
}

s32 IveCheckResRelation(u16 u16Width1, u16 u16Width2, u16 u16Height1, u16 u16Height2)
{
    return u16Width1 == u16Width2 && u16Height1 == u16Height2 ? 0 : DU_ERR_IVE_ILLEGAL_PARAM;
}

// ---- message forms ----------------------------------------------------------------------

s32 ive_null(IveAt at, const void *p, const char *name)
{
    return ive_fail(at, !p, DU_ERR_IVE_NULL_PTR, "%s can't be NULL!\n", name);
}

s32 ive_nulls(IveAt at, std::initializer_list<IveArg> args)
{
    for (const IveArg &a : args)
        IVE_CHECK(ive_null(at, a.p, a.name));
    return 0;
}

s32 ive_phy(IveAt at, u32 phys, const char *field)
{
    return ive_fail(at, phys == 0, DU_ERR_IVE_ILLEGAL_PARAM, "%s can't be 0!\n", field);
}

s32 ive_min_size(IveAt at, u32 size, u32 min, const char *field)
{
    return ive_fail(at, size < min, DU_ERR_IVE_ILLEGAL_PARAM, "%s(%d) must be greater than or equal to %d!\n", field,
                    (s32)size, (s32)min);
}

s32 ive_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u16 wmin, u16 hmin, u16 wmax, u16 hmax, u8 planes)
{
    s32 ret = IveCheckImage(img, wmin, hmin, wmax, hmax, planes, 16);
    return ive_fail(at, ret != 0, ret, "check image %s failed!\n", name);
}

s32 ive_type(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 type)
{
    return ive_fail(at, img->enType != type, DU_ERR_IVE_ILLEGAL_PARAM, "%s->enType(%d) must be %s(%d)!\n", name,
                    (s32)img->enType, type_name(type), (s32)type);
}

s32 ive_typed_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 type, u16 wmin, u16 hmin, u16 wmax,
                  u16 hmax)
{
    IVE_CHECK(ive_img(at, img, name, wmin, hmin, wmax, hmax));
    return ive_type(at, img, name, type);
}

namespace {

// The text a memory block's field is reported under: "pstDst->u32Size" for
// an argument, "pstSvmModel->stSv.u32Size" for a record's member.
struct FieldName {
    char text[96];
    FieldName(const char *name, const char *field)
    {
        snprintf(text, sizeof text, "%s%s%s", name, strstr(name, "->") ? "." : "->", field);
    }
};

} // namespace

// The names are made only for a report: the checks run on every submission.
s32 ive_vir_phy(IveAt at, const IVE_MEM_BLOCK_S *m, const char *name)
{
    if (!m->pu8VirAddr)
        return ive_null(at, nullptr, FieldName(name, "pu8VirAddr").text);
    if (!m->u32PhyAddr)
        return ive_phy(at, 0, FieldName(name, "u32PhyAddr").text);
    return 0;
}

s32 ive_block_size(IveAt at, const IVE_MEM_BLOCK_S *m, const char *name, u32 min)
{
    if (m->u32Size < min)
        return ive_min_size(at, m->u32Size, min, FieldName(name, "u32Size").text);
    return 0;
}

s32 ive_mem_block(IveAt at, const IVE_MEM_BLOCK_S *m, const char *name, u32 min)
{
    IVE_CHECK(ive_vir_phy(at, m, name));
    return ive_block_size(at, m, name, min);
}

s32 ive_same(IveAt at, const IVE_IMG_DESC_S *img, const char *name, const IVE_IMG_DESC_S *ref, const char *ref_name)
{
    s32 ret = IveCheckResRelation(img->u16Width, ref->u16Width, img->u16Height, ref->u16Height);
    return ive_fail(at, ret != 0, ret,
                    "%s->u16Width(%d) and %s->u16Height(%d) must be equal to %s->u16Width(%d) and %s->u16Height(%d)!\n",
                    name, img->u16Width, name, img->u16Height, ref_name, ref->u16Width, ref_name, ref->u16Height);
}

s32 ive_align_img(IveAt at, const IVE_IMG_DESC_S *img, const char *name, u32 align, int plane)
{
    return ive_fail(at, img->u32PhyAddr[plane] % align != 0, DU_ERR_IVE_ILLEGAL_PARAM,
                    "%s->u32PhyAddr[%d](%#x) must be %d byte align!\n", name, plane, img->u32PhyAddr[plane],
                    (s32)align);
}

s32 ive_align_mem(IveAt at, u32 phys, const char *field, u32 align)
{
    return ive_fail(at, phys % align != 0, DU_ERR_IVE_ILLEGAL_PARAM, "%s(%#x) must be %d byte align!\n", field, phys,
                    (s32)align);
}

s32 ive_same_stride(IveAt at, const IVE_IMG_DESC_S *a, const char *a_name, const IVE_IMG_DESC_S *b, const char *b_name)
{
    return ive_fail(at, a->u16Stride[0] != b->u16Stride[0], DU_ERR_IVE_ILLEGAL_PARAM,
                    "%s->u16Stride[0](%d) and %s->u16Stride[0](%d) must be of same value!\n", a_name, a->u16Stride[0],
                    b_name, b->u16Stride[0]);
}

s32 ive_instant(IveAt at, u32 bInstant)
{
    return ive_fail(at, bInstant != DU_TRUE && bInstant != DU_FALSE, DU_ERR_IVE_ILLEGAL_PARAM,
                    "bInstant (%d) must be DU_TRUE or DU_FALSE!\n", (s32)bInstant);
}

u8 ive_planes(u32 type) { return (u8)ive_plane_count(type); }

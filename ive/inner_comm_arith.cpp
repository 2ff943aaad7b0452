// Parameter checks of the arithmetic, integral, histogram and mapping
// operators.
#include "ive/inner_comm.h"

namespace {

constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S16C1 = IVE_IMAGE_TYPE_S16C1,
              U16C1 = IVE_IMAGE_TYPE_U16C1;
constexpr s32 kIllegal = DU_ERR_IVE_ILLEGAL_PARAM;

s32 img(IveAt at, const IVE_IMG_DESC_S *image, const char *name, u16 hmax = 1080)
{
    return ive_img(at, image, name, 64, 64, 1920, hmax);
}

s32 u8_img(IveAt at, const IVE_IMG_DESC_S *image, const char *name, u16 hmax = 1080)
{
    IVE_CHECK(img(at, image, name, hmax));
    return ive_type(at, image, name, U8C1);
}

// And, Or and Xor share their rules; Sub and Add start with them.
s32 check_two_sources(IveAt at, IVE_TASK_HANDLE *handle, const IVE_IMG_DESC_S *src1, const IVE_IMG_DESC_S *src2,
                      const IVE_IMG_DESC_S *dst)
{
    IVE_CHECK(ive_nulls(at, {{handle, "pIveHandle"}, {src1, "pstSrc1"}, {src2, "pstSrc2"}}));
    return ive_null(at, dst, "pstDst");
}

s32 check_logic(IveAt at, IVE_TASK_HANDLE *handle, const IVE_IMG_DESC_S *src1, const IVE_IMG_DESC_S *src2,
                const IVE_IMG_DESC_S *dst, u32 bInstant)
{
    IVE_CHECK(check_two_sources(at, handle, src1, src2, dst));
    IVE_CHECK(u8_img(at, src1, "pstSrc1"));
    IVE_CHECK(u8_img(at, src2, "pstSrc2"));
    IVE_CHECK(u8_img(at, dst, "pstDst"));
    IVE_CHECK(ive_same(at, src2, "pstSrc2", src1, "pstSrc1"));
    IVE_CHECK(ive_same(at, dst, "pstDst", src1, "pstSrc1"));
    return ive_instant(at, bInstant);
}

} // namespace

s32 IveCheckIntegParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                       const IVE_INTEG_OPT_S *pstIntegCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstIntegCtrl, "psIntegCtrl"}}));
    IVE_CHECK(ive_img(IVE_HERE, pstSrc, "pstSrc", 32, 16, 1920, 1080));
    IVE_CHECK(ive_type(IVE_HERE, pstSrc, "pstSrc", U8C1));
    const u32 out = pstIntegCtrl->enOutCtrl;
    IVE_CHECK(ive_fail(IVE_HERE, out >= 3, kIllegal, "pstIntegCtrl->enOutCtrl(%d) must be in [0, %d)!\n", (s32)out, 3));
    IVE_CHECK(ive_img(IVE_HERE, pstDst, "pstDst", 32, 16, 1920, 1080));
    const u32 type = out == 1 ? IVE_IMAGE_TYPE_U32C1 : IVE_IMAGE_TYPE_U64C1;
    IVE_CHECK(ive_fail(IVE_HERE, pstDst->enType != type, kIllegal,
                       "pstDst->enType(%d) must be %d in pstIntegCtrl->enOutCtrl(%d)!\n", (s32)pstDst->enType,
                       (s32)type, (s32)out));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckHistParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstDst,
                      u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"}}));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(ive_phy(IVE_HERE, pstDst->u32PhyAddr, "pstDst->u32PhyAddr"));
    IVE_CHECK(ive_null(IVE_HERE, pstDst->pu8VirAddr, "pstDst->pu8VirAddr"));
    IVE_CHECK(ive_fail(IVE_HERE, pstDst->u32Size < 256 * sizeof(u32), kIllegal,
                       "pstDst->u32Size(%d) must be greater than or equal to %d*sizof(DU_U32)!\n",
                       (s32)pstDst->u32Size, 256));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstDst->u32PhyAddr, "pstDst->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckAndParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return check_logic(IVE_HERE, pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant);
}

s32 IveCheckOrParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                    const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return check_logic(IVE_HERE, pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant);
}

s32 IveCheckXorParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    return check_logic(IVE_HERE, pIveHandle, pstSrc1, pstSrc2, pstDst, bInstant);
}

s32 IveCheckSubParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, const IVE_SUB_CTRL_S *pstSubCtrl, u32 bInstant)
{
    IVE_CHECK(check_two_sources(IVE_HERE, pIveHandle, pstSrc1, pstSrc2, pstDst));
    IVE_CHECK(ive_null(IVE_HERE, pstSubCtrl, "pstSubCtrl"));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc1, "pstSrc1"));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc2, "pstSrc2"));
    IVE_CHECK(img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_same(IVE_HERE, pstSrc2, "pstSrc2", pstSrc1, "pstSrc1"));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc1, "pstSrc1"));
    const s32 mode = (s32)pstSubCtrl->enMode, dt = (s32)pstDst->enType;
    if (mode == 0)
        IVE_CHECK(ive_fail(IVE_HERE, dt != (s32)U8C1, kIllegal,
                           "pstDst->enType(%d) must be U8C1(%d) in pstSubCtrl->enMode(%d)!\n", dt, U8C1, mode));
    else if (mode == 1)
        IVE_CHECK(ive_fail(IVE_HERE, dt != (s32)S8C1, kIllegal,
                           "pstDst->enType(%d) must be S8C1(%d) in pstSubCtrl->enMode(%d)!\n", dt, S8C1, mode));
    else
        return ive_fail(IVE_HERE, true, kIllegal, "pstSubCtrl->enMode(%d) must be in [0, %d)!\n", mode, 2);
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckAddParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc1, const IVE_IMG_DESC_S *pstSrc2,
                     const IVE_IMG_DESC_S *pstDst, const IVE_ADD_CTRL_S *pstAddCtrl, u32 bInstant)
{
    IVE_CHECK(check_two_sources(IVE_HERE, pIveHandle, pstSrc1, pstSrc2, pstDst));
    IVE_CHECK(ive_null(IVE_HERE, pstAddCtrl, "pstAddCtrl"));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc1, "pstSrc1"));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc2, "pstSrc2"));
    IVE_CHECK(u8_img(IVE_HERE, pstDst, "pstDst"));
    const u32 x = pstAddCtrl->u0q16X, y = pstAddCtrl->u0q16Y;
    IVE_CHECK(ive_fail(IVE_HERE, x + y != 65536, kIllegal,
                       "pstAddCtrl->u0q16X(%d) + pstAddCtrl->u0q16Y(%d) must be equal to %d!\n", (s32)x, (s32)y,
                       65536));
    IVE_CHECK(ive_same(IVE_HERE, pstSrc2, "pstSrc2", pstSrc1, "pstSrc1"));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc1, "pstSrc1"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckEqualizeHistParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                              const IVE_IMG_DESC_S *pstDst, const IVE_EQUALIZE_HIST_CTRL_S *pstEqualizeHistCtrl,
                              u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstEqualizeHistCtrl, "pstEqualizeHistCtrl"}}));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(u8_img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    const IVE_MEM_BLOCK_S &mem = pstEqualizeHistCtrl->stMem;
    IVE_CHECK(ive_null(IVE_HERE, mem.pu8VirAddr, "pstEqualizeHistCtrl->stMem.pu8VirAddr"));
    IVE_CHECK(ive_phy(IVE_HERE, mem.u32PhyAddr, "pstEqualizeHistCtrl->stMem.u32PhyAddr"));
    IVE_CHECK(ive_min_size(IVE_HERE, mem.u32Size, 1280, "pstEqualizeHistCtrl->stMem.u32Size"));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    IVE_CHECK(ive_align_mem(IVE_HERE, mem.u32PhyAddr, "pstEqualizeHistCtrl->stMem.u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckMapParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_MEM_BLOCK_S *pstMap,
                     const IVE_IMG_DESC_S *pstDst, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstMap, "pstMap"},
                        {pstDst, "pstDst"}}));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(u8_img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_null(IVE_HERE, pstMap->pu8VirAddr, "pstMap->pu8VirAddr"));
    IVE_CHECK(ive_phy(IVE_HERE, pstMap->u32PhyAddr, "pstMap->u32PhyAddr"));
    IVE_CHECK(ive_min_size(IVE_HERE, pstMap->u32Size, 256, "pstMap->u32Size"));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    IVE_CHECK(ive_align_mem(IVE_HERE, pstMap->u32PhyAddr, "pstMap->u32PhyAddr"));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheck16BitTo8BitParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc, const IVE_IMG_DESC_S *pstDst,
                             const IVE_16BIT_TO_8BIT_CTRL_S *pst16BitTo8BitCtrl, u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pst16BitTo8BitCtrl, "pst16BitTo8BitCtrl"}}));
    IVE_CHECK(img(IVE_HERE, pstSrc, "pstSrc"));
    IVE_CHECK(img(IVE_HERE, pstDst, "pstDst"));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    const IVE_16BIT_TO_8BIT_CTRL_S &c = *pst16BitTo8BitCtrl;
    IVE_CHECK(ive_fail(IVE_HERE, c.u16Denominator == 0, kIllegal, "pst16BitTo8BitCTrl->u16Denominator can't be 0!\n"));
    IVE_CHECK(ive_fail(IVE_HERE, c.u16Denominator < c.u8Numerator, kIllegal,
                       "pst16BitTo8BitCtrl->u16Denominator(%d) must be greater than or equal to "
                       "pst16BitTo8BitCtrl->u8Numerator(%d)!\n",
                       c.u16Denominator, c.u8Numerator));
    struct Rule {
        u32 src, dst;
        const char *fmt;
    };
    static const Rule rules[4] = {
        {S16C1, S8C1,
         "pstSrc->enType(%d) must be S16C1(%d) and pstDst->enType(%d) must be S8C1(%d) in "
         "pst16BitTo8BitCtrl->enMode(%d)!\n"},
        {S16C1, U8C1,
         "pstSrc->enType(%d) must be S16C1(%d) and pstDst->enType(%d) must be U8C1(%d) in "
         "pst16BitTo8BitCtrl->enMode(%d)!\n"},
        {S16C1, U8C1,
         "pstSrc->enType(%d) must be S16C1(%d) and pstDst->enType(%d) must be U8C1(%d) in "
         "pst16BitTo8BitCtrl->enMode(%d)!\n"},
        {U16C1, U8C1,
         "pstSrc->enType(%d) must be U16C1(%d) and pstDst->enType(%d) must be U8C1(%d) in "
         "pst16BitTo8BitCtrl->enMode(%d)!\n"},
    };
    if (c.enMode >= 4)
        return ive_fail(IVE_HERE, true, kIllegal, "pst16BitTo8BitCtrl->enMode(%d) must be in[0, %d)!\n", (s32)c.enMode,
                        4);
    const Rule &r = rules[c.enMode];
    if (pstSrc->enType != r.src || pstDst->enType != r.dst) {
        ive_report(IVE_HERE, r.fmt, (s32)pstSrc->enType, (s32)r.src, (s32)pstDst->enType, (s32)r.dst, (s32)c.enMode);
        return kIllegal;
    }
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 2));
    return ive_instant(IVE_HERE, bInstant);
}

s32 IveCheckOrdStatFilterParam(IVE_TASK_HANDLE *pIveHandle, const IVE_IMG_DESC_S *pstSrc,
                               const IVE_IMG_DESC_S *pstDst, const IVE_ORD_STAT_FILTER_CTRL_S *pstOrdStatFltCtrl,
                               u32 bInstant)
{
    IVE_CHECK(ive_nulls(IVE_HERE, {{pIveHandle, "pIveHandle"}, {pstSrc, "pstSrc"}, {pstDst, "pstDst"},
                        {pstOrdStatFltCtrl, "pstOrdStatFltCtrl"}}));
    IVE_CHECK(u8_img(IVE_HERE, pstSrc, "pstSrc", 1024));
    IVE_CHECK(u8_img(IVE_HERE, pstDst, "pstDst", 1024));
    IVE_CHECK(ive_same(IVE_HERE, pstDst, "pstDst", pstSrc, "pstSrc"));
    IVE_CHECK(ive_fail(IVE_HERE, pstOrdStatFltCtrl->enMode >= 3, kIllegal,
                       "pstOrdStatFltCtrl->enMode(%d) must be in [0, %d)!\n", (s32)pstOrdStatFltCtrl->enMode, 3));
    IVE_CHECK(ive_align_img(IVE_HERE, pstSrc, "pstSrc", 16));
    IVE_CHECK(ive_align_img(IVE_HERE, pstDst, "pstDst", 16));
    return ive_instant(IVE_HERE, bInstant);
}

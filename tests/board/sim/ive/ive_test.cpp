// The simulated image-analysis engine: each operator on a small picture
// whose result is worked out by hand from the rules in board/sim/ive/ive.h,
// planes outside the media memory refused before anything is touched, and
// the handles it issues.
#include "tests/board/sim/ive/ive_engine.h"

using namespace ivetest;

namespace {

// The classic 3 x 3 horizontal Sobel kernel in the middle of a 5 x 5 mask.
const s8 kSobel[25] = {0, 0, 0, 0, 0, 0, -1, 0, 1, 0, 0, -2, 0, 2, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0};

TEST_F(IveEngine, DmaCopiesIntervalsAndFills)
{
    IVE_DMA_REQ_S b;
    memset(&b, 0, sizeof b);
    IVE_MEM_BLOCK_S src = block(8 * 4), dst = block(4 * 2, 0xEE);
    for (u32 i = 0; i < 32; i++)
        src.pu8VirAddr[i] = (u8)i;
    b.stSrc = {src.u32PhyAddr, nullptr, 8, 8, 4, 0};
    b.stDst = {dst.u32PhyAddr, nullptr, 4, 4, 2, 0};
    b.stDmaCtrl.enMode = 1;
    b.stDmaCtrl.u8HorSegSize = 4;
    b.stDmaCtrl.u8ElemSize = 2;
    b.stDmaCtrl.u8VerSegRows = 2;
    ASSERT_EQ(0, submit(IVE_DMA, b));
    EXPECT_EQ(std::vector<u8>({0, 1, 4, 5, 16, 17, 20, 21}), std::vector<u8>(dst.pu8VirAddr, dst.pu8VirAddr + 8));

    b.stDmaCtrl.enMode = 0;
    b.stDst = {dst.u32PhyAddr, nullptr, 4, 4, 2, 0};
    b.stSrc = {src.u32PhyAddr, nullptr, 8, 4, 2, 0};
    ASSERT_EQ(0, submit(IVE_DMA, b));
    EXPECT_EQ(std::vector<u8>({0, 1, 2, 3, 8, 9, 10, 11}), std::vector<u8>(dst.pu8VirAddr, dst.pu8VirAddr + 8));

    b.stDmaCtrl.u64Val = 0x0807060504030201ull;
    b.stSrc = {src.u32PhyAddr, nullptr, 16, 10, 2, 0};
    b.stDmaCtrl.enMode = 2;
    ASSERT_EQ(0, submit(IVE_DMA, b));
    EXPECT_EQ(std::vector<u8>({1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 10, 11}),
              std::vector<u8>(src.pu8VirAddr, src.pu8VirAddr + 12));
    b.stDmaCtrl.enMode = 3;
    ASSERT_EQ(0, submit(IVE_DMA, b));
    EXPECT_EQ(std::vector<u8>({1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 10, 11, 12, 13, 14, 15, 1, 2}),
              std::vector<u8>(src.pu8VirAddr, src.pu8VirAddr + 18));
}

TEST_F(IveEngine, FilterShiftsTruncatesAndReplicatesTheBorder)
{
    // A 3 x 3 box of ones, shifted by 2: a 16 at the corner counts four
    // times at the corner itself, twice beside it and once diagonally.
    s8 box[25] = {};
    for (int i : {6, 7, 8, 11, 12, 13, 16, 17, 18})
        box[i] = 1;
    std::vector<u8> corner(16, 0);
    corner[0] = 16;
    IVE_FILTER_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = picture(U8C1, 4, 4, corner);
    b.stDst = image(U8C1, 4, 4, 16, 0xEE);
    memcpy(b.stCtrl.as8Mask, box, 25);
    b.stCtrl.u8Norm = 2;
    ASSERT_EQ(0, submit(IVE_FILTER, b));
    EXPECT_EQ(std::vector<u8>({16, 8, 0, 0, 8, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), values(b.stDst));
    EXPECT_EQ(0xEE, *px(b.stDst, 4, 0)); // padding untouched
    // The centre weighed -1: the corner sums 3 x 16 - 16.
    b.stCtrl.as8Mask[12] = -1;
    ASSERT_EQ(0, submit(IVE_FILTER, b));
    EXPECT_EQ(std::vector<u8>({8, 8, 0, 0, 8, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), values(b.stDst));
    // The centre alone, negative: everything clips to 0.
    memset(b.stCtrl.as8Mask, 0, 25);
    b.stCtrl.as8Mask[12] = -1;
    ASSERT_EQ(0, submit(IVE_FILTER, b));
    EXPECT_EQ(std::vector<u8>(16, 0), values(b.stDst));
    // A 3 at the far corner: 12 / 4, 6 / 4 and 3 / 4 truncate to 3, 1 and 0.
    memcpy(b.stCtrl.as8Mask, box, 25);
    corner.assign(16, 0);
    corner[15] = 3;
    b.stSrc = picture(U8C1, 4, 4, corner);
    ASSERT_EQ(0, submit(IVE_FILTER, b));
    EXPECT_EQ(std::vector<u8>({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 3}), values(b.stDst));
}

TEST_F(IveEngine, ColourConversionFollowsTheTables)
{
    // BT.601 video range: Y 81, U 90, V 240 is red and back.
    IVE_CSC_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = image(IVE_IMAGE_TYPE_YUV420SP, 2, 2, 16, 81);
    px(b.stSrc, 0, 0, 1)[0] = 240; // V then U
    px(b.stSrc, 0, 0, 1)[1] = 90;
    struct Case {
        u32 mode, type;
        u8 rgb[3];
    };
    const Case cases[] = {
        {0, IVE_IMAGE_TYPE_U8C3_PACKAGE, {254, 0, 0}},
        {4, IVE_IMAGE_TYPE_U8C3_PACKAGE, {0, 0, 254}},
        {0, IVE_IMAGE_TYPE_U8C3_PLANAR, {254, 0, 0}},
        {1, IVE_IMAGE_TYPE_U8C3_PACKAGE, {238, 14, 14}}, // full range: R = (81 x 1024 + 1436 x 112 + 512) >> 10
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        b.stCtrl.enMode = c.mode;
        b.stDst = image(c.type, 2, 2);
        ASSERT_EQ(0, submit(IVE_CSC, b));
        for (int i = 0; i < 3; i++) {
            u8 got = c.type == IVE_IMAGE_TYPE_U8C3_PACKAGE ? px(b.stDst, 1, 1)[i] : *px(b.stDst, 1, 1, i);
            EXPECT_EQ(c.rgb[i], got) << i;
        }
    }
    IVE_CSC_REQ_S back;
    memset(&back, 0, sizeof back);
    back.stSrc = image(IVE_IMAGE_TYPE_U8C3_PACKAGE, 2, 2);
    for (u32 y = 0; y < 2; y++)
        for (u32 x = 0; x < 2; x++)
            memcpy(px(back.stSrc, x, y), "\xff\x00\x00", 3);
    back.stDst = image(IVE_IMAGE_TYPE_YUV420SP, 2, 2);
    back.stCtrl.enMode = 8;
    ASSERT_EQ(0, submit(IVE_CSC, back));
    EXPECT_EQ(81, *px(back.stDst, 1, 1));
    EXPECT_EQ(240, px(back.stDst, 0, 0, 1)[0]);
    EXPECT_EQ(90, px(back.stDst, 0, 0, 1)[1]);

    IVE_FILTER_AND_CSC_REQ_S f;
    memset(&f, 0, sizeof f);
    f.stSrc = b.stSrc;
    f.stDst = image(IVE_IMAGE_TYPE_U8C3_PACKAGE, 2, 2);
    f.stCtrl.as8Mask[12] = 2; // doubled, then halved: the luma unchanged
    f.stCtrl.u8Norm = 1;
    ASSERT_EQ(0, submit(IVE_FILTER_AND_CSC, f));
    EXPECT_EQ(254, px(f.stDst, 0, 1)[0]);
}

TEST_F(IveEngine, GradientsOfAVerticalEdge)
{
    IVE_SOBEL_REQ_S s;
    memset(&s, 0, sizeof s);
    s.stSrc = edge(4, 4, 2, 10);
    s.stDst1 = image(S16C1, 4, 4);
    s.stDst2 = image(S16C1, 4, 4, 16, 0x55);
    memcpy(s.stCtrl.as8Mask, kSobel, 25);
    ASSERT_EQ(0, submit(IVE_SOBEL, s));
    std::vector<s16> h = values<s16>(s.stDst1);
    EXPECT_EQ(std::vector<s16>({0, 40, 40, 0}), std::vector<s16>(h.begin(), h.begin() + 4));
    EXPECT_EQ(std::vector<s16>(h.begin(), h.begin() + 4), std::vector<s16>(h.begin() + 12, h.end()));
    EXPECT_EQ(std::vector<s16>(16, 0), values<s16>(s.stDst2));

    s.stSrc = edge(4, 4, 2, 0);
    for (u16 y = 0; y < 4; y++)
        for (u16 x = 0; x < 2; x++)
            *px(s.stSrc, x, y) = 10; // a falling edge
    s.stCtrl.enOutCtrl = 1;
    memset(px(s.stDst2, 0, 0), 0x55, 16 * 4 * 2);
    ASSERT_EQ(0, submit(IVE_SOBEL, s));
    EXPECT_EQ(-40, at<s16>(s.stDst1, 1, 3));
    EXPECT_EQ(0x5555, at<u16>(s.stDst2, 0, 0)); // not produced

    IVE_MAG_AND_ANG_REQ_S m;
    memset(&m, 0, sizeof m);
    m.stSrc = s.stSrc;
    m.stDst1 = image(U16C1, 4, 4);
    m.stDst2 = image(U8C1, 4, 4);
    memcpy(m.stCtrl.as8Mask, kSobel, 25);
    m.stCtrl.enOutCtrl = 1;
    ASSERT_EQ(0, submit(IVE_MAG_AND_ANG, m));
    EXPECT_EQ(40, at<u16>(m.stDst1, 2, 0));
    EXPECT_EQ(128, at<u8>(m.stDst2, 2, 0)); // pointing to -H
    EXPECT_EQ(0, at<u8>(m.stDst2, 0, 0));   // no gradient
    // A horizontal edge points to +V.
    std::vector<u8> rows(16, 0);
    for (int i = 8; i < 16; i++)
        rows[i] = 10;
    m.stSrc = picture(U8C1, 4, 4, rows);
    ASSERT_EQ(0, submit(IVE_MAG_AND_ANG, m));
    EXPECT_EQ(40, at<u16>(m.stDst1, 0, 1));
    EXPECT_EQ(64, at<u8>(m.stDst2, 0, 1));

    IVE_NORM_GRAD_REQ_S n;
    memset(&n, 0, sizeof n);
    n.stSrc = edge(4, 4, 2, 100);
    n.stDstHV = image(IVE_IMAGE_TYPE_S8C2_PACKAGE, 4, 4);
    memcpy(n.stNormGradCtrl.as8Mask, kSobel, 25);
    n.stNormGradCtrl.enOutCtrl = 3;
    n.stNormGradCtrl.u8Norm = 2;
    ASSERT_EQ(0, submit(IVE_NORM_GRAD, n));
    EXPECT_EQ(100, (s8)px(n.stDstHV, 1, 0)[0]); // 400 >> 2
    EXPECT_EQ(0, (s8)px(n.stDstHV, 1, 0)[1]);
    n.stNormGradCtrl.enOutCtrl = 1;
    n.stNormGradCtrl.u8Norm = 0;
    n.stDstH = image(S8C1, 4, 4);
    ASSERT_EQ(0, submit(IVE_NORM_GRAD, n));
    EXPECT_EQ(std::vector<u8>({0, 127, 127, 0}), std::vector<u8>(px(n.stDstH, 0, 2), px(n.stDstH, 0, 2) + 4));
}

TEST_F(IveEngine, MorphologyAndOrderStatistics)
{
    u8 cross[25] = {};
    for (int i : {7, 11, 12, 13, 17})
        cross[i] = 255;
    std::vector<u8> dot(25, 0);
    dot[12] = 255;
    IVE_DILATE_REQ_S d;
    memset(&d, 0, sizeof d);
    d.stSrc = picture(U8C1, 5, 5, dot);
    d.stDst = image(U8C1, 5, 5);
    memcpy(d.stCtrl.au8Mask, cross, 25);
    ASSERT_EQ(0, submit(IVE_DILATE, d));
    std::vector<u8> plus(25, 0);
    for (int i : {7, 11, 12, 13, 17})
        plus[i] = 255;
    EXPECT_EQ(plus, values(d.stDst));
    IVE_ERODE_REQ_S e;
    memset(&e, 0, sizeof e);
    e.stSrc = d.stDst;
    e.stDst = d.stDst; // in place
    memcpy(e.stCtrl.au8Mask, cross, 25);
    ASSERT_EQ(0, submit(IVE_ERODE, e));
    EXPECT_EQ(dot, values(e.stDst));

    IVE_ORD_STAT_FILTER_REQ_S o;
    memset(&o, 0, sizeof o);
    o.stSrc = picture(U8C1, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    o.stDst = image(U8C1, 3, 3);
    // At the corner the neighbourhood is 1 1 1 1 2 2 4 4 5.
    const u8 expect[3][2] = {{2, 5}, {5, 9}, {1, 1}}; // corner, centre per mode
    for (u32 mode = 0; mode < 3; mode++) {
        o.stCtrl.enMode = mode;
        ASSERT_EQ(0, submit(IVE_ORD_STAT_FILTER, o));
        EXPECT_EQ(expect[mode][0], at<u8>(o.stDst, 0, 0)) << mode;
        EXPECT_EQ(expect[mode][1], at<u8>(o.stDst, 1, 1)) << mode;
    }
}

TEST_F(IveEngine, ThresholdModesByTheirBands)
{
    IVE_THRESH_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = picture(U8C1, 6, 1, {0, 50, 100, 150, 200, 250});
    b.stDst = image(U8C1, 6, 1);
    b.stCtrl = {0, 50, 150, 1, 2, 3, {}};
    const std::vector<u8> expect[8] = {{1, 1, 3, 3, 3, 3},     {0, 50, 3, 3, 3, 3},       {1, 1, 100, 150, 200, 250},
                                       {1, 1, 2, 2, 3, 3},     {0, 50, 2, 2, 3, 3},       {1, 1, 2, 2, 200, 250},
                                       {1, 1, 100, 150, 3, 3}, {0, 50, 2, 2, 200, 250}};
    for (u32 mode = 0; mode < 8; mode++) {
        b.stCtrl.enMode = mode;
        ASSERT_EQ(0, submit(IVE_THRESH, b));
        EXPECT_EQ(expect[mode], values(b.stDst)) << mode;
    }

    IVE_THRESH_S16_REQ_S s;
    memset(&s, 0, sizeof s);
    s.stSrc = picture<s16>(S16C1, 7, 1, {-300, -129, -128, 0, 127, 128, 300});
    s.stDst = image(S8C1, 7, 1);
    s.stCtrl.enMode = 1;
    s.stCtrl.s16LowThr = -129;
    s.stCtrl.s16HighThr = 127;
    s.stCtrl.un8MinVal.s8Val = -100;
    s.stCtrl.un8MaxVal.s8Val = 100;
    ASSERT_EQ(0, submit(IVE_THRESH_S16, s));
    EXPECT_EQ(std::vector<s8>({-100, -100, -128, 0, 127, 100, 100}), values<s8>(s.stDst));
    s.stDst = image(U8C1, 7, 1);
    s.stCtrl = {2, 0, 100, {}, {}, {}, 0};
    s.stCtrl.un8MinVal.u8Val = 1;
    s.stCtrl.un8MidVal.u8Val = 2;
    s.stCtrl.un8MaxVal.u8Val = 3;
    ASSERT_EQ(0, submit(IVE_THRESH_S16, s));
    EXPECT_EQ(std::vector<u8>({1, 1, 1, 1, 3, 3, 3}), values(s.stDst));

    IVE_THRESH_U16_REQ_S u;
    memset(&u, 0, sizeof u);
    u.stSrc = picture<u16>(U16C1, 6, 1, {5, 10, 11, 255, 256, 1000});
    u.stDst = image(U8C1, 6, 1);
    u.stCtrl = {1, 10, 255, 0, 0, 9, 0};
    ASSERT_EQ(0, submit(IVE_THRESH_U16, u));
    EXPECT_EQ(std::vector<u8>({0, 0, 11, 255, 9, 9}), values(u.stDst));
}

TEST_F(IveEngine, PixelArithmetic)
{
    IVE_BINARY_REQ_S l;
    memset(&l, 0, sizeof l);
    l.stSrc1 = picture(U8C1, 2, 1, {0xF0, 0x0F});
    l.stSrc2 = picture(U8C1, 2, 1, {0xFF, 0x01});
    l.stDst = image(U8C1, 2, 1);
    struct Case {
        unsigned long cmd;
        std::vector<u8> expect;
    };
    for (const Case &c : {Case{IVE_AND, {0xF0, 0x01}}, Case{IVE_OR, {0xFF, 0x0F}}, Case{IVE_XOR, {0x0F, 0x0E}}}) {
        ASSERT_EQ(0, submit(c.cmd, l));
        EXPECT_EQ(c.expect, values(l.stDst)) << std::hex << c.cmd;
    }

    IVE_SUB_REQ_S s;
    memset(&s, 0, sizeof s);
    s.stSrc1 = picture(U8C1, 3, 1, {10, 200, 0});
    s.stSrc2 = picture(U8C1, 3, 1, {30, 100, 255});
    s.stDst = image(U8C1, 3, 1);
    ASSERT_EQ(0, submit(IVE_SUB, s));
    EXPECT_EQ(std::vector<u8>({20, 100, 255}), values(s.stDst));
    s.stCtrl.enMode = 1;
    s.stDst = image(S8C1, 3, 1);
    ASSERT_EQ(0, submit(IVE_SUB, s));
    EXPECT_EQ(std::vector<s8>({-10, 50, -128}), values<s8>(s.stDst));

    IVE_ADD_REQ_S a;
    memset(&a, 0, sizeof a);
    a.stSrc1 = picture(U8C1, 2, 1, {100, 1});
    a.stSrc2 = picture(U8C1, 2, 1, {200, 2});
    a.stDst = image(U8C1, 2, 1);
    a.stCtrl = {32768, 32768};
    ASSERT_EQ(0, submit(IVE_ADD, a));
    EXPECT_EQ(std::vector<u8>({150, 2}), values(a.stDst)); // 1.5 rounds up
    a.stCtrl = {16384, 49152};
    ASSERT_EQ(0, submit(IVE_ADD, a));
    EXPECT_EQ(std::vector<u8>({175, 2}), values(a.stDst));

    IVE_16BIT_TO_8BIT_REQ_S c;
    memset(&c, 0, sizeof c);
    c.stSrc = picture<s16>(S16C1, 4, 1, {-300, -3, 3, 300});
    struct Conv {
        u32 mode, type;
        std::vector<u8> expect;
    };
    const Conv convs[] = {
        {0, S8C1, {(u8)-128, (u8)-1, 1, 127}},
        {1, U8C1, {150, 1, 1, 150}},
        {2, U8C1, {0, 0, 0, 140}},
    };
    for (const Conv &v : convs) {
        c.stCtrl = {v.mode, 2, 1, -10};
        c.stDst = image(v.type, 4, 1);
        ASSERT_EQ(0, submit(IVE_16BIT_TO_8BIT, c));
        EXPECT_EQ(v.expect, values(c.stDst)) << v.mode;
    }
    c.stSrc = picture<u16>(U16C1, 3, 1, {0, 510, 1000});
    c.stDst = image(U8C1, 3, 1);
    c.stCtrl = {3, 2, 1, 0};
    ASSERT_EQ(0, submit(IVE_16BIT_TO_8BIT, c));
    EXPECT_EQ(std::vector<u8>({0, 255, 255}), values(c.stDst));

    IVE_MAP_REQ_S m;
    memset(&m, 0, sizeof m);
    m.stSrc = picture(U8C1, 3, 1, {0, 1, 255});
    m.stMap = block(256);
    for (int i = 0; i < 256; i++)
        m.stMap.pu8VirAddr[i] = (u8)(255 - i);
    m.stDst = image(U8C1, 3, 1);
    ASSERT_EQ(0, submit(IVE_MAP, m));
    EXPECT_EQ(std::vector<u8>({255, 254, 0}), values(m.stDst));
}

TEST_F(IveEngine, IntegralOutputsAndFieldWidths)
{
    IVE_INTEG_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = picture(U8C1, 2, 2, {1, 2, 3, 4});
    b.stCtrl.enOutCtrl = 1;
    b.stDst = image(IVE_IMAGE_TYPE_U32C1, 2, 2);
    ASSERT_EQ(0, submit(IVE_INTEG, b));
    EXPECT_EQ(std::vector<u32>({1, 3, 4, 10}), values<u32>(b.stDst));
    b.stCtrl.enOutCtrl = 2;
    b.stDst = image(IVE_IMAGE_TYPE_U64C1, 2, 2);
    ASSERT_EQ(0, submit(IVE_INTEG, b));
    EXPECT_EQ(std::vector<u64>({1, 5, 10, 30}), values<u64>(b.stDst));

    // 1920 x 560 pixels of 255: a sum of 274176000 and a sum of squares of
    // 69914880000, each past its field; the fields keep the low bits.
    b.stCtrl.enOutCtrl = 0;
    b.stSrc = image(U8C1, 1920, 560, 1920, 255);
    b.stDst = image(IVE_IMAGE_TYPE_U64C1, 1920, 560, 1920);
    ASSERT_EQ(0, submit(IVE_INTEG, b));
    const u64 last = at<u64>(b.stDst, 1919, 559);
    EXPECT_EQ(274176000ull - (1ull << 28), last & 0xFFFFFFF);
    EXPECT_EQ(69914880000ull - (1ull << 36), last >> 28);
}

TEST_F(IveEngine, HistogramEqualisationAndCorrelation)
{
    IVE_EQUALIZE_HIST_REQ_S e;
    memset(&e, 0, sizeof e);
    e.stSrc = picture(U8C1, 2, 2, {0, 0, 100, 200});
    e.stDst = image(U8C1, 2, 2);
    e.stCtrl.stMem = block(1280);
    ASSERT_EQ(0, submit(IVE_EQUALIZE_HIST, e));
    EXPECT_EQ(std::vector<u8>({128, 128, 191, 255}), values(e.stDst));
    const u32 *bins = reinterpret_cast<const u32 *>(e.stCtrl.stMem.pu8VirAddr);
    EXPECT_EQ(2u, bins[0]);
    EXPECT_EQ(1u, bins[200]);
    EXPECT_EQ(128, e.stCtrl.stMem.pu8VirAddr[1024 + 50]);
    EXPECT_EQ(255, e.stCtrl.stMem.pu8VirAddr[1024 + 255]);

    IVE_NCC_REQ_S n;
    memset(&n, 0, sizeof n);
    n.stSrc1 = picture(U8C1, 2, 1, {1, 2});
    n.stSrc2 = picture(U8C1, 2, 1, {3, 4});
    n.stDst = block(32, 0xEE);
    ASSERT_EQ(0, submit(IVE_NCC, n));
    const u64 *sums = reinterpret_cast<const u64 *>(n.stDst.pu8VirAddr);
    EXPECT_EQ(11u, sums[0]);
    EXPECT_EQ(5u, sums[1]);
    EXPECT_EQ(25u, sums[2]);
}

TEST_F(IveEngine, ComponentsAreLabelledAndThinnedToTheList)
{
    IVE_CCL_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrcDst = picture(U8C1, 6, 4, {9, 9, 0, 0, 0, 0, 0, 9, 0, 0, 9, 0, 0, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0, 0});
    b.stBlob = block(sizeof(IVE_CCBLOB_S), 0xEE);
    b.stCclCtrl = {2, 1};
    ASSERT_EQ(0, submit(IVE_CCL, b));
    EXPECT_EQ(std::vector<u8>({1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0}),
              values(b.stSrcDst));
    IVE_CCBLOB_S blob;
    memcpy(&blob, b.stBlob.pu8VirAddr, sizeof blob);
    EXPECT_EQ(2, blob.u16CurAreaThr);
    EXPECT_EQ(0, blob.s8LabelStatus);
    ASSERT_EQ(2, blob.u8RegionNum);
    EXPECT_EQ(3u, blob.astRegion[0].u32Area);
    EXPECT_EQ(std::vector<u16>({0, 1, 0, 1}),
              std::vector<u16>({blob.astRegion[0].u16Left, blob.astRegion[0].u16Right, blob.astRegion[0].u16Top,
                                blob.astRegion[0].u16Bottom}));
    EXPECT_EQ(std::vector<u16>({4, 5, 1, 2}),
              std::vector<u16>({blob.astRegion[1].u16Left, blob.astRegion[1].u16Right, blob.astRegion[1].u16Top,
                                blob.astRegion[1].u16Bottom}));

    // 256 dots on a grid, two of them joined: 255 components are too many,
    // the threshold rises to 2 and keeps the joined one.
    std::vector<u8> dots(32 * 32, 0);
    for (int y = 0; y < 32; y += 2)
        for (int x = 0; x < 32; x += 2)
            dots[y * 32 + x] = 1;
    dots[1] = 1;
    b.stSrcDst = picture(U8C1, 32, 32, dots);
    b.stCclCtrl = {1, 1};
    ASSERT_EQ(0, submit(IVE_CCL, b));
    memcpy(&blob, b.stBlob.pu8VirAddr, sizeof blob);
    EXPECT_EQ(2, blob.u16CurAreaThr);
    ASSERT_EQ(1, blob.u8RegionNum);
    EXPECT_EQ(3u, blob.astRegion[0].u32Area);
    EXPECT_EQ(1, at<u8>(b.stSrcDst, 2, 0));
    EXPECT_EQ(0, at<u8>(b.stSrcDst, 4, 0));

    b.stSrcDst = picture(U8C1, 32, 32, dots);
    b.stCclCtrl = {1, 65535};
    ASSERT_EQ(0, submit(IVE_CCL, b));
    memcpy(&blob, b.stBlob.pu8VirAddr, sizeof blob);
    EXPECT_EQ(-1, blob.s8LabelStatus);
    EXPECT_EQ(0, blob.u8RegionNum);
    EXPECT_EQ(0, at<u8>(b.stSrcDst, 0, 0));
}

TEST_F(IveEngine, CannyClassifiesAndStacksTheEdgePixels)
{
    IVE_CANNY_HYS_EDGE_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = edge(8, 8, 4, 100); // H = 400 on columns 3 and 4, 0 elsewhere
    b.stEdge = image(U8C1, 8, 8);
    b.stStack = block((8 * 8 + 4) * 4, 0xEE);
    memcpy(b.stCannyHysEdgeCtrl.as8Mask, kSobel, 25);
    b.stCannyHysEdgeCtrl.u16LowThr = 100;
    b.stCannyHysEdgeCtrl.u16HighThr = 300;
    ASSERT_EQ(0, submit(IVE_CANNY_HYS_EDGE, b));
    // The two equal columns make one edge, the first of them.
    for (u16 y = 0; y < 8; y++)
        EXPECT_EQ(std::vector<u8>({1, 1, 1, 2, 1, 1, 1, 1}),
                  std::vector<u8>(px(b.stEdge, 0, y), px(b.stEdge, 0, y) + 8));
    const u8 *stack = b.stStack.pu8VirAddr;
    u32 count;
    memcpy(&count, stack + 4 * 64, 4);
    ASSERT_EQ(8u, count);
    u16 p[4];
    memcpy(p, stack, 8);
    EXPECT_EQ(std::vector<u16>({3, 0, 3, 1}), std::vector<u16>(p, p + 4));
    memcpy(p, stack + 7 * 4, 4);
    EXPECT_EQ(3, p[0]);
    EXPECT_EQ(7, p[1]);

    b.stCannyHysEdgeCtrl.u16HighThr = 400; // not above: candidates
    ASSERT_EQ(0, submit(IVE_CANNY_HYS_EDGE, b));
    EXPECT_EQ(0, at<u8>(b.stEdge, 3, 5));
    EXPECT_EQ(1, at<u8>(b.stEdge, 4, 5));
    memcpy(&count, stack + 4 * 64, 4);
    EXPECT_EQ(0u, count);
}

// A symmetric step gives two pixels of equal magnitude across it; only one
// of them is an edge, whichever way the step runs, and at the picture's
// border too.
TEST_F(IveEngine, CannyEdgesOfSymmetricStepsAreOnePixelWide)
{
    struct Case {
        const char *name;
        bool rows;    // a step from one row to the next, else from one column to the next
        u16 from;     // the first row or column on the far side
        bool falling; // bright before the step, dark after
        u16 edge;     // the row or column that is the edge
    };
    const Case cases[] = {
        {"rising, across columns", false, 4, false, 3},
        {"falling, across columns", false, 4, true, 3},
        {"rising, across rows", true, 5, false, 4},
        {"falling, across rows", true, 5, true, 4},
        {"at the left border", false, 1, false, 0},
        {"at the top border", true, 1, true, 0},
        {"at the right border", false, 7, false, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<u8> px(8 * 8);
        for (u16 y = 0; y < 8; y++)
            for (u16 x = 0; x < 8; x++)
                px[y * 8 + x] = ((c.rows ? y : x) >= c.from) != c.falling ? 100 : 0;
        IVE_CANNY_HYS_EDGE_REQ_S b;
        memset(&b, 0, sizeof b);
        b.stSrc = picture(U8C1, 8, 8, px);
        b.stEdge = image(U8C1, 8, 8);
        b.stStack = block((8 * 8 + 4) * 4);
        memcpy(b.stCannyHysEdgeCtrl.as8Mask, kSobel, 25);
        b.stCannyHysEdgeCtrl.u16LowThr = 100;
        b.stCannyHysEdgeCtrl.u16HighThr = 300;
        ASSERT_EQ(0, submit(IVE_CANNY_HYS_EDGE, b));
        for (u16 y = 0; y < 8; y++)
            for (u16 x = 0; x < 8; x++)
                EXPECT_EQ((c.rows ? y : x) == c.edge ? 2 : 1, at<u8>(b.stEdge, x, y)) << x << "," << y;
        u32 count;
        memcpy(&count, b.stStack.pu8VirAddr + 4 * 64, 4);
        EXPECT_EQ(8u, count);
    }
}

TEST_F(IveEngine, LocalBinaryPatterns)
{
    IVE_LBP_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = picture(U8C1, 3, 3, {60, 50, 40, 255, 50, 51, 0, 50, 49});
    b.stDst = image(U8C1, 3, 3);
    b.stCtrl.un8BitThr.s8Val = 0;
    ASSERT_EQ(0, submit(IVE_LBP, b));
    EXPECT_EQ(1 + 2 + 8 + 32 + 128, at<u8>(b.stDst, 1, 1));
    b.stCtrl.enMode = 1;
    b.stCtrl.un8BitThr.u8Val = 10;
    ASSERT_EQ(0, submit(IVE_LBP, b));
    EXPECT_EQ(1 + 4 + 64 + 128, at<u8>(b.stDst, 1, 1));
}

TEST_F(IveEngine, BlockSadAndItsThreshold)
{
    std::vector<u8> patch(64, 0);
    for (int y = 0; y < 4; y++)
        for (int x = 4; x < 8; x++)
            patch[y * 8 + x] = 20;
    IVE_SAD_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc1 = image(U8C1, 8, 8);
    b.stSrc2 = picture(U8C1, 8, 8, patch);
    b.stThr = image(U8C1, 2, 2);
    struct Case {
        u32 out;
        u16 thr;
        std::vector<u16> sad;
        std::vector<u8> map;
    };
    const Case cases[] = {
        {0, 100, {0, 320, 0, 0}, {1, 9, 1, 1}},
        {1, 255, {0, 255, 0, 0}, {1, 9, 1, 1}},
        {2, 0, {0, 320, 0, 0}, {}},
        {3, 0, {0, 255, 0, 0}, {}},
        {4, 320, {}, {1, 9, 1, 1}},
        {4, 321, {}, {1, 1, 1, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.out);
        b.stSadCtrl = {0, c.out, c.thr, 1, 9};
        b.stSad = image(c.out == 1 || c.out == 3 ? U8C1 : U16C1, 2, 2);
        memset(px(b.stThr, 0, 0), 0xEE, 16 * 2);
        ASSERT_EQ(0, submit(IVE_SAD, b));
        if (!c.sad.empty()) {
            std::vector<u16> got;
            for (u8 v : values(b.stSad))
                got.push_back(v);
            EXPECT_EQ(c.sad, b.stSad.enType == U16C1 ? values<u16>(b.stSad) : got);
        }
        EXPECT_EQ(c.map.empty() ? std::vector<u8>(4, 0xEE) : c.map, values(b.stThr));
    }
}

TEST_F(IveEngine, CornerCandidatesOfASquare)
{
    // A bright square from 4 to 11: its four corners answer alike, its
    // sides and the flat areas not at all.
    std::vector<u8> sq(16 * 16, 0);
    for (int y = 4; y < 12; y++)
        for (int x = 4; x < 12; x++)
            sq[y * 16 + x] = 100;
    IVE_ST_CANDI_CORNER_REQ_S b;
    memset(&b, 0, sizeof b);
    b.stSrc = picture(U8C1, 16, 16, sq);
    b.stDst = image(U8C1, 16, 16);
    b.stCtrl.stMem = block(16);
    b.stCtrl.u0q8QualityLevel = 128;
    ASSERT_EQ(0, submit(IVE_ST_CANDI_CORNER, b));
    std::vector<u8> out = values(b.stDst);
    u8 best = *std::max_element(out.begin(), out.end());
    EXPECT_EQ(255, best);
    int candidates = 0;
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            u8 v = out[y * 16 + x];
            EXPECT_EQ(v, out[y * 16 + 15 - x]) << x << "," << y;
            EXPECT_EQ(v, out[(15 - y) * 16 + x]) << x << "," << y;
            if (!v)
                continue;
            candidates++;
            int cx = x < 8 ? 4 : 11, cy = y < 8 ? 4 : 11;
            EXPECT_LE(std::abs(x - cx) + std::abs(y - cy), 2) << x << "," << y;
        }
    EXPECT_GE(candidates, 4);
    EXPECT_EQ(0, out[4 * 16 + 8]); // the middle of a side

    b.stSrc = image(U8C1, 16, 16, 0, 77);
    ASSERT_EQ(0, submit(IVE_ST_CANDI_CORNER, b));
    EXPECT_EQ(std::vector<u8>(256, 0), values(b.stDst));
}

TEST_F(IveEngine, PlanesOutsideTheMediaMemoryAreRefusedUntouched)
{
    // A 64 x 64 source with stride 80 spans 63 x 80 + 64 bytes.
    IVE_HIST_REQ_S h;
    memset(&h, 0, sizeof h);
    h.stDst = block(1024, 0xAB);
    h.stSrc = image(U8C1, 64, 64, 80);
    u32 exact = alloc(63 * 80 + 64), short_by_one = alloc(63 * 80 + 63);
    h.stSrc.u32PhyAddr[0] = exact;
    ASSERT_EQ(0, submit(IVE_HIST, h));
    EXPECT_EQ(4096u, reinterpret_cast<const u32 *>(h.stDst.pu8VirAddr)[0]);

    memset(h.stDst.pu8VirAddr, 0xAB, 1024);
    struct Case {
        const char *name;
        u32 addr;
    };
    const Case cases[] = {
        {"one byte short", short_by_one},
        {"inside but running past the end", exact + 1},
        {"no allocation", 0x1000},
        {"zero", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        h.stSrc.u32PhyAddr[0] = c.addr;
        errno = 0;
        EXPECT_EQ(-1, submit(IVE_HIST, h));
        EXPECT_EQ(EFAULT, errno);
        EXPECT_EQ(-7, h.s32Handle);
        EXPECT_EQ(std::vector<u8>(1024, 0xAB), std::vector<u8>(h.stDst.pu8VirAddr, h.stDst.pu8VirAddr + 1024));
    }

    // An output past its allocation: the source is not even read, nothing written.
    IVE_INTEG_REQ_S in;
    memset(&in, 0, sizeof in);
    in.stSrc = image(U8C1, 32, 16, 32, 1);
    in.stDst = image(IVE_IMAGE_TYPE_U64C1, 32, 16, 32, 0x11);
    in.stDst.u16Height = 17;
    EXPECT_EQ(-1, submit(IVE_INTEG, in));
    EXPECT_EQ(EFAULT, errno);
    EXPECT_EQ(0x1111111111111111ull, at<u64>(in.stDst, 0, 0));

    // A histogram block smaller than the bins.
    h.stSrc.u32PhyAddr[0] = exact;
    h.stDst.u32Size = 1020;
    EXPECT_EQ(-1, submit(IVE_HIST, h));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(IveEngine, HandlesCountUpAndOnlyIssuedOnesAreFinished)
{
    IVE_HIST_REQ_S h;
    memset(&h, 0, sizeof h);
    h.stSrc = image(U8C1, 4, 4);
    h.stDst = block(1024);
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(0, submit(IVE_HIST, h));
        EXPECT_EQ(i, h.s32Handle);
    }
    struct Case {
        s32 handle;
        u32 block;
        int ret;
    };
    for (const Case &c : {Case{0, 0, 0}, Case{2, 1, 0}, Case{3, 1, -1}, Case{-1, 1, -1}, Case{1, 2, -1}}) {
        IVE_QUERY_REQ_S q = {c.handle, c.block, 9};
        EXPECT_EQ(c.ret, bd_ioctl(fd_, IVE_QUERY, &q)) << c.handle;
        EXPECT_EQ(c.ret == 0 ? 1u : 9u, q.bFinish) << c.handle;
    }
    EXPECT_EQ(1u, testsupport::events("ive task 2 Hist").size());
    // Unknown command words are refused.
    EXPECT_EQ(-1, bd_ioctl(fd_, 0xC0484612, &h));
    EXPECT_EQ(EINVAL, errno);
}

} // namespace

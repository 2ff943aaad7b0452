// The ISP's fixed-point helpers against values worked out from their
// definitions, including the inputs where a careless helper would shift by a
// negative amount or divide by zero.
#include <gtest/gtest.h>

#include "isp/isp_math.h"

TEST(IspMath, IntegerHelpers)
{
    struct Case {
        const char *name;
        u32 (*fn)(u32);
        u32 x, expected;
    };
    const Case cases[] = {
        {"leading one of 0", leading_one_position, 0, 0},
        {"leading one of 1", leading_one_position, 1, 0},
        {"leading one of 3", leading_one_position, 3, 1},
        {"leading one of 2^31", leading_one_position, 0x80000000u, 31},
        {"sqrt16 of 3", sqrt16, 3, 1},
        {"sqrt16 of 4", sqrt16, 4, 2},
        {"sqrt16 of 65024", sqrt16, 65024, 254},
        {"sqrt16 of 65535", sqrt16, 65535, 255},
        {"sqrt16 saturates at 255", sqrt16, 0xFFFFFFFFu, 255},
        {"Sqrt32 of 0", Sqrt32, 0, 0},
        {"Sqrt32 of 2 stays 1 (2 is not above 1 x 2)", Sqrt32, 2, 1},
        {"Sqrt32 of 6 is 2 (6 = 2 x 3)", Sqrt32, 6, 2},
        {"Sqrt32 of 8 rounds up to 3 (8 > 2 x 3)", Sqrt32, 8, 3},
        {"Sqrt32 of 256 x 257", Sqrt32, 65792, 256},
        {"Sqrt32 of 256 x 257 + 1", Sqrt32, 65793, 257},
        {"Sqrt32 of the largest word", Sqrt32, 0xFFFFFFFFu, 65536},
        {"log16 of 1", log16, 1, 0},
        {"log16 of 2: i 0, 32", log16, 2, 32},
        {"log16 of 3: i 1, 16 + 24", log16, 3, 40},
        {"log16 of 4: i 1, 16 + 32", log16, 4, 48},
        {"log16 of 5: i 2, 32 + 20", log16, 5, 52},
        {"log16 of 2^16: i 15, 240 + 32 kept to 8 bits", log16, 65536, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.fn(c.x), c.expected);
    }
}

TEST(IspMath, LogarithmByRepeatedSquaring)
{
    struct Case {
        u32 x, frac, shift, log2, log2_fixed;
    };
    // log2(3) = 1.585: 1 then the fraction bits 10010101 (149); the last
    // mantissa 55096 lends (55096 & 0x7FFF) >> 11 = 10 at shift 4.
    const Case cases[] = {
        {0, 8, 0, 0, 0},         {1, 8, 0, 0, 0},         {3, 8, 0, 405, 405},      {3, 8, 4, 6480, 6490},
        {1000, 10, 0, 10204, 10204}, {65536, 4, 2, 1024, 1024}, {100, 6, 0, 425, 425},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " frac " << c.frac << " shift " << c.shift);
        EXPECT_EQ(math_log2(c.x, c.frac, c.shift), c.log2);
        EXPECT_EQ(log2_int_to_fixed(c.x, c.frac, c.shift), c.log2_fixed);
    }
}

TEST(IspMath, ExponentFromTheTableSaturatesInsteadOfShiftingNegatively)
{
    struct Case {
        const char *name;
        u32 x, frac, shift, expected;
    };
    const Case cases[] = {
        {"2^0", 0, 0, 0, 1},
        {"2^0 at 30 fraction bits", 0, 0, 30, 0x40000000},
        {"2^1 with 5 fraction bits", 32, 5, 0, 2},
        {"2^1.5 at 16 bits, 8 fraction bits", 384, 8, 16, 185363}, // 0x5A82799A >> 13
        {"2^(1/32) at 30 bits, 5 fraction bits", 1, 5, 30, 0x4166C34C},
        {"between two table entries", 3, 6, 30, 0x4166C34C + (0x42D561B4 - 0x4166C34C) / 2},
        {"2^31 still fits", 31, 0, 0, 0x80000000u},
        {"2^32 saturates", 32, 0, 0, 0xFFFFFFFFu},
        {"2^40 saturates", 40, 0, 0, 0xFFFFFFFFu},
        {"a large shift saturates", 1, 0, 40, 0xFFFFFFFFu},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(math_exp2(c.x, c.frac, c.shift), c.expected);
    }
}

TEST(IspMath, LinearHelpersAndDivisionsByZero)
{
    EXPECT_EQ(solving_lin_equation_a(1000, 0, 100, 0, 8), 2560);
    EXPECT_EQ(solving_lin_equation_a(0, 1000, 100, 0, 0), -10);
    EXPECT_EQ(solving_lin_equation_a(5, 1, 7, 7, 8), 0); // x1 = x0
    EXPECT_EQ(solving_lin_equation_b(10, 3, 4, 4), 148);
    EXPECT_EQ(div_fixed(3, 2, 8), 384u);
    EXPECT_EQ(div_fixed(3, 0, 8), 0u);
    EXPECT_EQ(solving_nth_root_045(8, 4), 32);  // 128/4 + 16 - 128/8
    EXPECT_EQ(solving_nth_root_045(-8, 4), 0);  // -32 + 16 + 16
}

TEST(IspMath, TransitionIsAPiecewiseLinearLookup)
{
    const u32 xs2[] = {0, 100};
    const s32 ys2[] = {0, 1000};
    const u32 xs3[] = {100, 200, 400};
    const s32 ys3[] = {10, -10, 30};
    struct Case {
        const char *name;
        const u32 *xs;
        const s32 *ys;
        u32 n, x, shift;
        s32 expected;
    };
    const Case cases[] = {
        {"middle of one segment", xs2, ys2, 2, 50, 0, 500},
        {"beyond the last point", xs2, ys2, 2, 150, 0, 1000},
        {"in fixed point", xs2, ys2, 2, 50 << 4, 4, 500},
        {"below the first point", xs3, ys3, 3, 50, 0, 10},
        {"falling segment", xs3, ys3, 3, 150, 0, 0},
        {"second segment", xs3, ys3, 3, 300, 0, 10},
        {"no points", xs3, ys3, 0, 300, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(transition(c.xs, c.ys, c.n, c.x, c.shift), c.expected);
    }
}

TEST(IspMath, PerIsoLookupClampsIsoToAtLeast100)
{
    u8 table[ISP_ISO_POINTS];
    for (u32 i = 0; i < ISP_ISO_POINTS; i++)
        table[i] = (u8)(10 * i);
    table[2] = 0; // a falling step between 200 and 400
    struct Case {
        u32 iso;
        u32 lo, hi;
        s32 value;
    };
    const Case cases[] = {
        {0, 0, 1, 0},          // below the grid: the first point, no division by zero
        {50, 0, 1, 0},
        {100, 0, 1, 0},
        {150, 0, 1, 5},        // (50 x 10 + 50) / 100
        {300, 1, 2, 5},        // 10 - (100 x 10 + 100) / 200
        {3276800, 15, 15, 150},
        {4000000, 15, 15, 150},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.iso);
        IspIsoSegment s = isp_iso_segment(c.iso);
        EXPECT_EQ(s.lo, c.lo);
        EXPECT_EQ(s.hi, c.hi);
        EXPECT_GE(s.iso, 100u);
        EXPECT_EQ(isp_iso_interpolate(table, c.iso), c.value);
    }
}

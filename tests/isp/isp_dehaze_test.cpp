// The dehaze module's stages on their own: the tuning tables' telling
// values, the curve's hysteresis, the temporal filter with rates above 256,
// the strength over the smallest grids, the statistics' words of a grid of
// 4k + 1 blocks, the scene adaptation, the blur and the air light's history.
// Arrays are made at the grid's exact size, so that the sanitizers see any
// read past a grid's blocks.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "isp/modules/isp_dehaze.h"
#include "isp/mpi_isp.h"

namespace {

DEHAZE_CTX_S fresh(u32 H, u32 V)
{
    DEHAZE_CTX_S c;
    dehaze_ctx_init(&c);
    c.u8H = (u8)H;
    c.u8V = (u8)V;
    c.u8Enable = 1;
    return c;
}

} // namespace

TEST(DehazeTables, HoldTheirTellingValues)
{
    const struct {
        u32 row;
        u8 at240;
    } curves[] = {{0, 39}, {1, 40}, {15, 56}, {31, 158}};
    for (const auto &c : curves)
        EXPECT_EQ(dehaze_curve(c.row)[240], c.at240) << c.row;
    for (u32 r = 0; r < DEHAZE_CURVE_NUM; r++) {
        SCOPED_TRACE(r);
        const u8 *row = dehaze_curve(r);
        EXPECT_EQ(row[0], 255);
        EXPECT_EQ(row[255], 0);
        for (u32 x = 1; x < DEHAZE_CURVE_LEN; x++) {
            EXPECT_LE(row[x], row[x - 1]) << x;
            if (r) {
                EXPECT_GE(row[x], dehaze_curve(r - 1)[x]) << x; // later rows fall later
            }
        }
    }
    const u8 *road = dehaze_road_table(), *sky = dehaze_sky_table(), *strength = dehaze_strength_table();
    EXPECT_EQ(std::vector<u8>(road, road + 6), (std::vector<u8>{0, 1, 1, 2, 2, 3}));
    EXPECT_EQ(road[198], 99);
    EXPECT_EQ(road[255], 180);
    EXPECT_EQ(std::vector<u8>(sky, sky + 6), (std::vector<u8>{100, 101, 102, 103, 104, 106}));
    EXPECT_EQ(sky[DEHAZE_SKY_LEN - 2], 199);
    EXPECT_EQ(sky[DEHAZE_SKY_LEN - 1], 200);
    EXPECT_EQ(std::vector<u8>(strength, strength + 11),
              (std::vector<u8>{128, 128, 128, 128, 128, 128, 131, 138, 147, 155, 160}));
    EXPECT_LT(strength[225], 255);
    EXPECT_EQ(strength[226], 255);
    EXPECT_EQ(strength[255], 255);
}

// The index moves to its target unless it is there or one below.
TEST(DehazeCurve, MovesOnlyWhenTheTargetIsNotWithinOneAbove)
{
    struct Case {
        const char *name;
        u8 index, target;
        bool changed;
        u8 after;
    } cases[] = {
        {"one above: stays", 5, 6, false, 5}, {"the same: stays", 5, 5, false, 5},
        {"two above: moves", 5, 7, true, 7},  {"below: moves", 5, 4, true, 4},
        {"the top from far", 0, 31, true, 31}, {"a dark scene back to 0", 20, 0, true, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DEHAZE_CTX_S ctx = fresh(16, 15);
        ctx.u8CurveIdx = c.index;
        ctx.u8CurveGain = 255;
        // The dark value whose curve value (x 255 / 256, two low bits off)
        // names the target: 100 + 4 t .. 103 + 4 t; below 100 the target is 0.
        ctx.u8DarkAtAir = c.target == 31 ? 255 : c.target == 0 ? 50 : (u8)(101 + 4 * c.target);
        EXPECT_EQ(gen_curve(&ctx, nullptr), c.changed);
        EXPECT_EQ(ctx.u8CurveIdx, c.after);
    }
}

// A rate above 256 takes the new value whole, never past it.
TEST(DehazeTemporalFilter, RatesAbove256TakeTheNewValueAndNoMore)
{
    const u8 *flat = dehaze_curve(0);
    struct Case {
        const char *name;
        u16 up, down;
        u8 history, now;
    } cases[] = {
        {"rate 1000 up", 1000, 64, 10, 200},
        {"rate 65535 down", 8, 65535, 200, 10},
        {"rate 64 down moves part of the way", 8, 64, 200, 10},
        {"a small step", 8, 64, 100, 101},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DEHAZE_CTX_S ctx = fresh(1, 1);
        ctx.u16RateUp = c.up;
        ctx.u16RateDown = c.down;
        ctx.bHistoryValid = 1;
        ctx.au16History[0] = (u16)(c.history * 256);
        u8 m = c.now;
        tmpr_min_flt(&ctx, &m, 1, flat);
        const u32 mapped = flat[c.now] * c.now / 256u;
        EXPECT_EQ(m, mapped);
        const u32 h = ctx.au16History[0] / 256u;
        // Between the old history and the new value, both included.
        EXPECT_GE(h, std::min<u32>(c.history, mapped));
        EXPECT_LE(h, std::max<u32>(c.history, mapped));
        if (std::max(c.up, c.down) > 256) {
            EXPECT_EQ(h, mapped);
        }
    }
}

// The middle half of the blocks, its last index held to the grid's last
// block: grids of one and two blocks read only their own.
TEST(DehazeStrength, SmallGridsReadOnlyTheirBlocks)
{
    struct Case {
        const char *name;
        u32 H, V;
        std::vector<u8> dark;
        u8 expect;
    } cases[] = {
        {"1x1", 1, 1, {10}, (u8)(dehaze_strength_table()[10] * 128 / 128)},
        {"1x2", 1, 2, {0, 9}, (u8)(dehaze_strength_table()[9])},
        {"2x1", 2, 1, {200, 6}, (u8)(dehaze_strength_table()[6])},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DEHAZE_CTX_S ctx = fresh(c.H, c.V);
        auto dark = std::make_unique<u8[]>(c.dark.size());
        std::copy(c.dark.begin(), c.dark.end(), dark.get());
        u32 aver, count, sum;
        EXPECT_EQ(dehaze_strength(&ctx, dark.get(), &aver, &count, &sum), c.expect);
    }
    // Manual: the manual strength; a factor that doubles 255 gives 255.
    DEHAZE_CTX_S ctx = fresh(16, 15);
    std::vector<u8> dark(240, 250);
    u32 aver, count, sum;
    ctx.u8AutoFactor = 255;
    EXPECT_EQ(dehaze_strength(&ctx, dark.data(), &aver, &count, &sum), 255);
    EXPECT_EQ(aver, 250u);
    ctx.u8OpType = OP_TYPE_MANUAL;
    ctx.u8ManualStrength = 200;
    EXPECT_EQ(dehaze_strength(&ctx, dark.data(), &aver, &count, &sum), 200);
    // Few lit blocks in the middle half: the average over the middle rows.
    ctx.u8OpType = OP_TYPE_AUTO;
    ctx.u8AutoFactor = 128;
    std::fill(dark.begin(), dark.end(), 0);
    dark[120] = 160;
    dehaze_strength(&ctx, dark.data(), &aver, &count, &sum);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(aver, 160u / ((((3 * 15 + 2) / 4) - ((15 + 2) / 4)) * 16));
}

// A grid of 4k + 1 blocks has its last block in a word of its own, read and
// written like the others.
TEST(DehazeWords, TheLastBlockOfAGridOf4kPlus1IsInAWordOfItsOwn)
{
    for (u32 n : {1u, 5u, 9u, 13u, 225u}) {
        SCOPED_TRACE(n);
        const u32 words = dehaze_words(n);
        EXPECT_EQ(words, (n + 3) / 4);
        std::vector<u8> blocks(n);
        for (u32 i = 0; i < n; i++)
            blocks[i] = (u8)(7 * i + 1);
        auto packed = std::make_unique<u32[]>(words);
        dehaze_pack(blocks.data(), n, packed.get());
        EXPECT_EQ(packed[words - 1] >> 24, blocks[n - 1]); // the first block of a word in bits 24-31
        auto back = std::make_unique<u8[]>(n);
        dehaze_unpack(packed.get(), n, back.get());
        EXPECT_EQ(std::vector<u8>(back.get(), back.get() + n), blocks);
    }
}

TEST(DehazeScene, RoadAndSkyScenesAreAdapted)
{
    constexpr u32 H = 16, V = 15, n = H * V;
    struct Case {
        const char *name;
        u8 top, bottom;
        // what a block of the upper and of the lower half becomes
        u8 upper, lower;
    } cases[] = {
        {"a road under a clear sky: the lower half through the road table", 20, 150, 20,
         dehaze_road_table()[150]},
        {"a bright sky over dark ground: values above 100 held", 180, 20, dehaze_sky_table()[180 - 101], 20},
        {"haze everywhere: nothing", 150, 150, 150, 150},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<u8> m(n);
        for (u32 i = 0; i < n; i++)
            m[i] = i / H < V / 2 ? c.top : c.bottom;
        MinAdaptCurve(m.data(), H, V, nullptr);
        EXPECT_EQ(m[0], c.upper);
        EXPECT_EQ(m[n - 1], c.lower);
    }
    // Grids under five rows are never adapted.
    std::vector<u8> small(16 * 4, 150);
    for (u32 i = 0; i < 32; i++)
        small[i] = 20;
    MinAdaptCurve(small.data(), 16, 4, nullptr);
    EXPECT_EQ(small.back(), 150);
}

TEST(DehazeBlur, TheTapsSpreadAPointAndKeepAFlatField)
{
    constexpr u32 H = 7, V = 7;
    const u8 k[5] = {10, 10, 24, 10, 10};
    std::vector<u8> flat(H * V, 100), a(H * V), b(H * V);
    v_blur_flt_5x1(flat.data(), a.data(), H, V, k);
    h_blur_flt_1x5(a.data(), b.data(), H, V, k);
    for (u8 v : b)
        EXPECT_EQ(v, 100);
    std::vector<u8> point(H * V, 0);
    point[3 * H + 3] = 64;
    v_blur_flt_5x1(point.data(), a.data(), H, V, k);
    EXPECT_EQ(a[3 * H + 3], 24);
    EXPECT_EQ(a[2 * H + 3], 10);
    EXPECT_EQ(a[1 * H + 3], 10);
    EXPECT_EQ(a[0 * H + 3], 0);
    EXPECT_EQ(a[3 * H + 2], 0);
    // Rows past the edge are the edge's: a point on the top row counts thrice there.
    std::vector<u8> edge(H * V, 0);
    edge[3] = 64;
    v_blur_flt_5x1(edge.data(), a.data(), H, V, k);
    EXPECT_EQ(a[3], (10 + 10 + 24) * 64 / 64);
}

// The first eleven frames after the switch-on take the current air light;
// from the twelfth on the light is the mean of the history without its
// extremes, moving by at most one a frame.
TEST(DehazeAirLight, FilteredFromTheTwelfthFrame)
{
    DEHAZE_CTX_S ctx = fresh(2, 2);
    std::vector<u8> dark = {10, 200, 30, 40}; // block 1 is the brightest dark value
    std::vector<u32> max(4, 0x101010);
    for (u32 f = 1; f <= 20; f++) {
        SCOPED_TRACE(f);
        const u8 v = (u8)(100 + (f % 2) * 50); // flickering between 100 and 150
        max[1] = (u32)v << 16 | (u32)v << 8 | v;
        const u8 before = ctx.au8Air[0];
        get_a(&ctx, dark.data(), max.data(), 4, nullptr);
        EXPECT_EQ(ctx.u8DarkAtAir, 200);
        EXPECT_EQ(ctx.u32AirCount, f);
        if (f <= 11) {
            EXPECT_EQ(ctx.au8Air[0], v);
        } else {
            EXPECT_LE(std::abs(ctx.au8Air[0] - before), 1);
        }
        EXPECT_EQ(ctx.au16AirHistory[0][0], ctx.au8Air[0]);
    }
}

// Whole frames over the smallest, a square and the largest grid, every
// array at the grid's size.
TEST(DehazeFrame, GridsOfEverySizeStayWithinTheirBlocks)
{
    const struct {
        u32 H, V;
    } grids[] = {{1, 1}, {1, 2}, {2, 1}, {3, 3}, {4, 4}, {16, 15}};
    for (const auto &g : grids) {
        SCOPED_TRACE(std::to_string(g.H) + "x" + std::to_string(g.V));
        const u32 n = g.H * g.V;
        DEHAZE_CTX_S ctx = fresh(g.H, g.V);
        auto words = std::make_unique<u32[]>(dehaze_words(n));
        auto max = std::make_unique<u32[]>(n);
        for (u32 f = 0; f < 30; f += 2) {
            std::vector<u8> m(n);
            for (u32 i = 0; i < n; i++) {
                m[i] = (u8)(60 + (i * 37 + f * 11) % 150);
                max[i] = (u32)(m[i] + 40) << 16 | (u32)(m[i] + 50) << 8 | (m[i] + 60);
            }
            dehaze_pack(m.data(), n, words.get());
            DEHAZE_FRAME_S out;
            dehaze_frame(&ctx, words.get(), max.get(), f, &out, nullptr);
            EXPECT_LT(ctx.u8CurveIdx, DEHAZE_CURVE_NUM);
            EXPECT_EQ(ctx.bHistoryValid, 1);
        }
    }
}

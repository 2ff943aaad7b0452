// 3D noise reduction between ISO points: the logarithmic ISO axis, the
// blend of two points field by field (or the nearer point whole when their
// modes differ), and the strength derived from a point.
#include "sceneauto/sceneauto_engine.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

u8 *bytes(SCENEAUTO_3DNR_PARAM_S &p) { return reinterpret_cast<u8 *>(&p); }

u16 half(const SCENEAUTO_3DNR_PARAM_S &p, int at)
{
    u16 v;
    memcpy(&v, reinterpret_cast<const u8 *>(&p) + at, 2);
    return v;
}

// Two points that blend (same key, same modes) with every byte distinct.
void two_points(SCENEAUTO_3DNR_PARAM_S &lo, SCENEAUTO_3DNR_PARAM_S &hi)
{
    for (int i = 0; i < 66; i++) {
        bytes(lo)[i] = (u8)(i + 1);
        bytes(hi)[i] = (u8)(2 * i + 40);
    }
    lo.u16BlendKey = hi.u16BlendKey = 3;
    lo.au8GroupSel[0] = 40, hi.au8GroupSel[0] = 60; // both modes <= 64
    lo.au8GroupSel[1] = 70, hi.au8GroupSel[1] = 90; // both > 64
    lo.au8GroupSel[2] = 40, hi.au8GroupSel[2] = 100;
    lo.au8Tail[5] = 5, hi.au8Tail[5] = 12; // byte 51: strengths given, not derived
}

} // namespace

TEST(SceneautoIso, SixStepsADoubling)
{
    struct Case {
        u32 iso;
        s32 step;
    } cases[] = {{0, 0},    {24, 0},   {25, 1},   {50, 2},   {99, 2},    {100, 3},    {112, 3},  {113, 4},
                 {200, 9},  {300, 12}, {400, 15}, {800, 21}, {1600, 27}, {3200, 33}, {204800, 69}, {0xFFFFFFFF, 74}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.iso);
        EXPECT_EQ(c.step, MapISO(c.iso));
    }
}

TEST(SceneautoInterpolate, PointsBlendsAndWholeCopies)
{
    SCENEAUTO_3DNR_PARAM_S lo, hi, out;
    two_points(lo, hi);

    struct Whole {
        const char *name;
        u32 iso, isoLo, isoHi;
        bool expect_hi;
    } wholes[] = {
        {"at the upper point", 400, 100, 400, true},
        {"at the lower point", 100, 100, 400, false},
        {"below the first point (bracket 0, 1)", 50, 100, 200, false},
        {"above the last point", 204800 * 2, 102400, 204800, true},
    };
    for (const Whole &w : wholes) {
        SCOPED_TRACE(w.name);
        memset(&out, 0xEE, sizeof out);
        Interpolate(&out, w.iso, &lo, w.isoLo, &hi, w.isoHi);
        EXPECT_EQ(0, memcmp(w.expect_hi ? &hi : &lo, &out, sizeof out));
    }

    // ISO 200 lies halfway between 100 and 400 on the axis (3, 9, 15): each
    // blended field is the rounded mean.
    Interpolate(&out, 200, &lo, 100, &hi, 400);
    const u8 *l = bytes(lo), *h = bytes(hi), *o = bytes(out);
    auto mean = [](int a, int b) { return (a + b + 1) / 2; };
    for (int at : {2, 5, 8, 11, 12, 16, 46, 48, 49, 50, 52}) { // always
        SCOPED_TRACE(at);
        EXPECT_EQ(mean(l[at], h[at]), o[at]);
    }
    for (int at : {0, 3, 6, 9, 13}) { // group 0: modes both <= 64
        SCOPED_TRACE(at);
        EXPECT_EQ(mean(l[at], h[at]), o[at]);
    }
    for (int at : {1, 4, 7, 10, 14, 47}) { // group 1: both > 64
        SCOPED_TRACE(at);
        EXPECT_EQ(mean(l[at], h[at]), o[at]);
    }
    EXPECT_EQ(mean(40, 64), o[15]); // the temporal group's share, each first limited to 64
    EXPECT_EQ(mean(5, 12), o[51]);
    for (int at : {18, 22, 24, 26, 28, 30, 32, 40, 42, 44}) {
        SCOPED_TRACE(at);
        EXPECT_EQ(mean(half(lo, at), half(hi, at)), half(out, at));
    }
    // Never blended: the whole copy's (the upper point here: 9 + 9 >= 15).
    for (int at : {34, 36, 38})
        EXPECT_EQ(half(hi, at), half(out, at));
    EXPECT_EQ(0, memcmp(h + 53, o + 53, 66 - 53));
}

TEST(SceneautoInterpolate, ModesDecideWhatBlends)
{
    SCENEAUTO_3DNR_PARAM_S lo, hi, out;
    struct Case {
        const char *name;
        u32 iso;
        void (*differ)(SCENEAUTO_3DNR_PARAM_S &, SCENEAUTO_3DNR_PARAM_S &);
        bool blends_always, blends_group0, blends_group1;
        bool copy_hi; // which point the unblended fields come from
    } cases[] = {
        {"different keys: the nearer point by quarters, whole (low)", 120,
         [](SCENEAUTO_3DNR_PARAM_S &a, SCENEAUTO_3DNR_PARAM_S &) { a.u16BlendKey = 4; }, false, false, false, false},
        {"different keys: the nearer point by quarters, whole (high)", 200,
         [](SCENEAUTO_3DNR_PARAM_S &a, SCENEAUTO_3DNR_PARAM_S &) { a.u16BlendKey = 4; }, false, false, false, true},
        {"group 0 across 64", 200, [](SCENEAUTO_3DNR_PARAM_S &a, SCENEAUTO_3DNR_PARAM_S &) { a.au8GroupSel[0] = 65; },
         true, false, true, true},
        {"group 1 across 64", 200, [](SCENEAUTO_3DNR_PARAM_S &a, SCENEAUTO_3DNR_PARAM_S &) { a.au8GroupSel[1] = 64; },
         true, true, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        two_points(lo, hi);
        c.differ(lo, hi);
        Interpolate(&out, c.iso, &lo, 100, &hi, 400);
        const SCENEAUTO_3DNR_PARAM_S &copy = c.copy_hi ? hi : lo;
        auto blended = [&](int at) { return bytes(out)[at] != reinterpret_cast<const u8 *>(&copy)[at]; };
        EXPECT_EQ(c.blends_always, blended(2));
        EXPECT_EQ(c.blends_group0, blended(0));
        EXPECT_EQ(c.blends_group1, blended(1));
        EXPECT_EQ(0, memcmp(reinterpret_cast<const u8 *>(&copy) + 53, bytes(out) + 53, 66 - 53));
    }
}

TEST(SceneautoInterpolate, TheImagesTablePointsComeOutExactly)
{
    const SCENEAUTO_INI3DNR_S &t = iq_para_stIni3dnr;
    SCENEAUTO_3DNR_PARAM_S out;
    for (u32 k = 1; k < t.u32Count; k++) {
        SCOPED_TRACE(t.au32Iso[k]);
        Interpolate(&out, t.au32Iso[k], &t.astSet[k - 1], t.au32Iso[k - 1], &t.astSet[k], t.au32Iso[k]);
        EXPECT_EQ(0, memcmp(&t.astSet[k], &out, sizeof out));
    }
}

TEST(SceneautoInterpolate, TheDerivedStrength)
{
    SCENEAUTO_3DNR_PARAM_S p = {};
    struct Case {
        const char *name;
        u8 b2, b5, b8, b11, b50, b51;
        s32 strength;
    } cases[] = {
        {"given", 0, 0, 0, 0, 0, 9, 9},
        {"given, at most 16", 0, 0, 0, 0, 0, 40, 16},
        {"derived: weak filters, the full strength", 2, 16, 2, 16, 16, 0xFF, 16},
        {"derived: middle filters", 16, 16, 16, 16, 16, 0xFF, 7},
        {"derived: strong filters give none", 40, 32, 40, 32, 40, 0xFF, 0},
        {"a wide edge threshold: none", 2, 33, 2, 16, 16, 0xFF, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        u8 *b = bytes(p);
        b[2] = c.b2, b[5] = c.b5, b[8] = c.b8, b[11] = c.b11, b[50] = c.b50, b[51] = c.b51;
        EXPECT_EQ(c.strength, MapMTFS(&p));
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(-1, MapMTFS(nullptr));
    EXPECT_EQ("PE is NULL!\n", testing::internal::GetCapturedStdout());
}

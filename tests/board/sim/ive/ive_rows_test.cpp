// The engine's row loops against the rules computed pixel by pixel here, the
// plain way (board/sim/ive/ive.h): masks that split into a column and a row and
// masks that don't, sums that fit 16 bits and sums that need 32, pictures
// narrower than a vector and wider, dark and bright enough to clip; and the
// gradient angle against std::atan2 for the gradient pairs masks can make.
#include "board/sim/ive/ive_rows.h"
#include "tests/board/sim/ive/ive_engine.h"

#include <algorithm>
#include <cmath>

using namespace ivetest;

namespace {

// A w x h picture of random bytes, or of 0 and 255 only (every sum at its
// extremes).
std::vector<u8> random_picture(u16 w, u16 h, u32 seed, bool extremes)
{
    std::vector<u8> px((size_t)w * h);
    u32 s = seed * 2654435761u + 1;
    for (u8 &v : px) {
        s = s * 1103515245u + 12345;
        v = extremes ? ((s >> 16) & 1 ? 255 : 0) : (u8)(s >> 16);
    }
    return px;
}

// The picture's pixel with the border replicated.
struct Ref {
    const std::vector<u8> &px;
    int w, h;
    int at(int x, int y) const { return px[(size_t)std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1)]; }
    // The 5 x 5 mask at (x, y), as given or transposed.
    int64_t correlate(const s8 *m, int x, int y, bool transposed) const
    {
        int64_t sum = 0;
        for (int dy = 0; dy < 5; dy++)
            for (int dx = 0; dx < 5; dx++)
                sum += (transposed ? m[dx * 5 + dy] : m[dy * 5 + dx]) * at(x + dx - 2, y + dy - 2);
        return sum;
    }
};

int64_t floor_shift(int64_t v, int n) { return (int64_t)std::floor((double)v / (double)(1 << n)); }

// MagAndAng's angle rule in double precision: round(atan2(V, H) x 128 / pi)
// mod 256, 0 where both are 0.
u8 angle_rule(int64_t gh, int64_t gv)
{
    if (!gh && !gv)
        return 0;
    return (u8)((std::lround(std::atan2((double)gv, (double)gh) * 128 / M_PI) % 256 + 256) % 256);
}

struct Mask {
    const char *name;
    s8 m[25];
};

// Masks of every kind: splitting into a column and a row (with and without
// negative weights, with a common factor in the row), not splitting, one
// tap, none, and weights large enough for 32-bit sums.
const Mask kMasks[] = {
    {"Sobel 3 x 3", {0, 0, 0, 0, 0, 0, -1, 0, 1, 0, 0, -2, 0, 2, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0}},
    {"Sobel 5 x 5", {-1, -2, 0, 2, 1, -4, -8, 0, 8, 4, -6, -12, 0, 12, 6, -4, -8, 0, 8, 4, -1, -2, 0, 2, 1}},
    {"Scharr", {0, 0, 0, 0, 0, 0, -3, 0, 3, 0, 0, -10, 0, 10, 0, 0, -3, 0, 3, 0, 0, 0, 0, 0, 0}},
    {"Gaussian 3 x 3", {0, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0, 2, 4, 2, 0, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0}},
    {"Gaussian 5 x 5", {1, 4, 6, 4, 1, 4, 16, 24, 16, 4, 6, 24, 36, 24, 6, 4, 16, 24, 16, 4, 1, 4, 6, 4, 1}},
    {"box 5 x 5", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {"column and row with a common factor",
     {0, 0, 0, 0, 0, 6, 0, -18, 12, 0, -4, 0, 12, -8, 0, 0, 0, 0, 0, 0, 10, 0, -30, 20, 0}},
    {"Laplacian", {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, -4, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
    {"uneven", {1, -2, 3, 0, 1, 2, 5, -1, 4, 0, -3, 2, 9, 2, 1, 0, 4, -1, 5, 2, 1, 0, 3, -2, 1}},
    {"one tap off the centre", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -7}},
    {"no tap", {}},
    {"largest weights", {127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127,
                         127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127, 127}},
    {"smallest weights", {-128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128,
                          -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128}},
    {"positive, past 16 signed bits", {0, 0, 0, 0, 0, 0, 9, 9, 9, 0, 0, 9, 20, 9, 0, 0, 9, 9, 9, 0, 0, 0, 0, 0, 0}},
};

struct Size {
    u16 w, h;
};
const Size kSizes[] = {{1, 1}, {2, 3}, {3, 2}, {5, 7}, {17, 9}, {33, 5}, {70, 4}, {130, 3}};

class IveRows : public IveEngine {
protected:
    // Every size, random and extreme pictures.
    template <class F> void each_picture(F f)
    {
        u32 seed = 1;
        for (const Size &s : kSizes)
            for (bool extremes : {false, true}) {
                SCOPED_TRACE(std::to_string(s.w) + " x " + std::to_string(s.h) + (extremes ? ", 0 and 255" : ""));
                f(s.w, s.h, random_picture(s.w, s.h, seed++, extremes));
            }
    }
};

TEST_F(IveRows, FilterSobelMagnitudeAndNormGradAreTheMaskSums)
{
    for (const Mask &mask : kMasks) {
        SCOPED_TRACE(mask.name);
        each_picture([&](u16 w, u16 h, const std::vector<u8> &bytes) {
            const Ref ref{bytes, w, h};
            const IVE_IMG_DESC_S src = picture(U8C1, w, h, bytes);
            const u8 norm = (u8)(bytes[0] % 14);
            IVE_FILTER_REQ_S f;
            memset(&f, 0, sizeof f);
            f.stSrc = src;
            f.stDst = image(U8C1, w, h);
            memcpy(f.stCtrl.as8Mask, mask.m, 25);
            f.stCtrl.u8Norm = norm;
            ASSERT_EQ(0, submit(IVE_FILTER, f));
            IVE_SOBEL_REQ_S s;
            memset(&s, 0, sizeof s);
            s.stSrc = src;
            s.stDst1 = image(S16C1, w, h);
            s.stDst2 = image(S16C1, w, h);
            memcpy(s.stCtrl.as8Mask, mask.m, 25);
            ASSERT_EQ(0, submit(IVE_SOBEL, s));
            IVE_MAG_AND_ANG_REQ_S m;
            memset(&m, 0, sizeof m);
            m.stSrc = src;
            m.stDst1 = image(U16C1, w, h);
            m.stDst2 = image(U8C1, w, h);
            m.stCtrl.enOutCtrl = 1;
            memcpy(m.stCtrl.as8Mask, mask.m, 25);
            ASSERT_EQ(0, submit(IVE_MAG_AND_ANG, m));
            IVE_NORM_GRAD_REQ_S n;
            memset(&n, 0, sizeof n);
            n.stSrc = src;
            n.stDstHV = image(IVE_IMAGE_TYPE_S8C2_PACKAGE, w, h);
            memcpy(n.stNormGradCtrl.as8Mask, mask.m, 25);
            n.stNormGradCtrl.enOutCtrl = 3;
            n.stNormGradCtrl.u8Norm = norm;
            ASSERT_EQ(0, submit(IVE_NORM_GRAD, n));
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const int64_t gh = ref.correlate(mask.m, x, y, false), gv = ref.correlate(mask.m, x, y, true);
                    ASSERT_EQ(std::clamp<int64_t>(floor_shift(gh, norm), 0, 255), at<u8>(f.stDst, x, y))
                        << x << "," << y;
                    ASSERT_EQ(std::clamp<int64_t>(gh, -32768, 32767), at<s16>(s.stDst1, x, y)) << x << "," << y;
                    ASSERT_EQ(std::clamp<int64_t>(gv, -32768, 32767), at<s16>(s.stDst2, x, y)) << x << "," << y;
                    ASSERT_EQ(std::min<int64_t>(65535, std::abs(gh) + std::abs(gv)), at<u16>(m.stDst1, x, y));
                    ASSERT_EQ(angle_rule(gh, gv), at<u8>(m.stDst2, x, y)) << gh << "," << gv;
                    ASSERT_EQ(std::clamp<int64_t>(floor_shift(gh, norm), -128, 127), (s8)px(n.stDstHV, x, y)[0]);
                    ASSERT_EQ(std::clamp<int64_t>(floor_shift(gv, norm), -128, 127), (s8)px(n.stDstHV, x, y)[1]);
                }
        });
    }
}

TEST_F(IveRows, MorphologyMedianAndBinaryPatternsOverTheirNeighbourhoods)
{
    struct Morph {
        const char *name;
        std::vector<int> taps; // mask bytes set
    };
    const Morph morphs[] = {
        {"3 x 3 square", {6, 7, 8, 11, 12, 13, 16, 17, 18}},
        {"5 x 5 square", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {"cross", {2, 7, 10, 11, 12, 13, 14, 17, 22}},
        {"two rows", {0, 1, 2, 3, 4, 20, 21, 22, 23, 24}},
        {"a corner", {0}},
        {"no byte set", {}},
    };
    each_picture([&](u16 w, u16 h, const std::vector<u8> &bytes) {
        const Ref ref{bytes, w, h};
        const IVE_IMG_DESC_S src = picture(U8C1, w, h, bytes);
        for (const Morph &mo : morphs) {
            SCOPED_TRACE(mo.name);
            IVE_DILATE_REQ_S d;
            memset(&d, 0, sizeof d);
            d.stSrc = src;
            d.stDst = image(U8C1, w, h);
            IVE_ERODE_REQ_S e;
            memset(&e, 0, sizeof e);
            e.stSrc = src;
            e.stDst = image(U8C1, w, h);
            for (int t : mo.taps)
                d.stCtrl.au8Mask[t] = e.stCtrl.au8Mask[t] = (u8)(1 + t);
            ASSERT_EQ(0, submit(IVE_DILATE, d));
            ASSERT_EQ(0, submit(IVE_ERODE, e));
            const std::vector<int> taps = mo.taps.empty() ? std::vector<int>{12} : mo.taps;
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    int hi = 0, lo = 255;
                    for (int t : taps) {
                        const int v = ref.at(x + t % 5 - 2, y + t / 5 - 2);
                        hi = std::max(hi, v), lo = std::min(lo, v);
                    }
                    ASSERT_EQ(hi, at<u8>(d.stDst, x, y)) << x << "," << y;
                    ASSERT_EQ(lo, at<u8>(e.stDst, x, y)) << x << "," << y;
                }
        }
        IVE_ORD_STAT_FILTER_REQ_S o;
        memset(&o, 0, sizeof o);
        o.stSrc = src;
        IVE_LBP_REQ_S l;
        memset(&l, 0, sizeof l);
        l.stSrc = src;
        const int kNb[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
        for (u32 mode = 0; mode < 3; mode++) {
            SCOPED_TRACE(mode);
            o.stCtrl.enMode = mode;
            o.stDst = image(U8C1, w, h);
            ASSERT_EQ(0, submit(IVE_ORD_STAT_FILTER, o));
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    std::vector<int> nine;
                    for (int i = 0; i < 9; i++)
                        nine.push_back(ref.at(x + i % 3 - 1, y + i / 3 - 1));
                    std::sort(nine.begin(), nine.end());
                    ASSERT_EQ(mode == 0 ? nine[4] : mode == 1 ? nine[8] : nine[0], at<u8>(o.stDst, x, y));
                }
        }
        for (auto [mode, threshold] : {std::pair{0u, 0}, std::pair{0u, 5}, std::pair{0u, -128}, std::pair{0u, 127},
                                       std::pair{0u, -30}, std::pair{1u, 0}, std::pair{1u, 40}, std::pair{1u, 255}}) {
            SCOPED_TRACE("LBP mode " + std::to_string(mode) + ", threshold " + std::to_string(threshold));
            l.stCtrl.enMode = mode;
            if (mode == 0)
                l.stCtrl.un8BitThr.s8Val = (s8)threshold;
            else
                l.stCtrl.un8BitThr.u8Val = (u8)threshold;
            l.stDst = image(U8C1, w, h);
            ASSERT_EQ(0, submit(IVE_LBP, l));
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    int code = 0;
                    for (int k = 0; k < 8; k++) {
                        const int diff = ref.at(x + kNb[k][0], y + kNb[k][1]) - ref.at(x, y);
                        if (mode == 0 ? diff >= threshold : std::abs(diff) >= threshold)
                            code |= 1 << k;
                    }
                    ASSERT_EQ(code, at<u8>(l.stDst, x, y)) << x << "," << y;
                }
        }
    });
}

TEST_F(IveRows, PointOperatorsPixelByPixel)
{
    for (const Size &s : kSizes) {
        SCOPED_TRACE(std::to_string(s.w) + " x " + std::to_string(s.h));
        const u16 w = s.w, h = s.h;
        const std::vector<u8> a = random_picture(w, h, 3, false), b = random_picture(w, h, 4, false);
        std::vector<s16> v16((size_t)w * h);
        for (size_t i = 0; i < v16.size(); i++)
            v16[i] = (s16)(a[i] << 8 | b[i]);
        std::vector<u16> u16v(v16.begin(), v16.end());
        // 16 to 8 bits: a quotient truncated toward zero, then each mode's range.
        for (auto [mode, den, num, bias] :
             {std::tuple{0u, 1, 1, 0}, std::tuple{0u, 300, 7, 0}, std::tuple{1u, 65535, 255, 0},
              std::tuple{1u, 3, 2, 0}, std::tuple{2u, 90, 1, -20}, std::tuple{2u, 7, 7, 100},
              std::tuple{3u, 257, 1, 0}, std::tuple{3u, 40000, 255, 0}}) {
            SCOPED_TRACE("16 to 8 bits, mode " + std::to_string(mode) + ", " + std::to_string(num) + "/" +
                         std::to_string(den));
            IVE_16BIT_TO_8BIT_REQ_S c;
            memset(&c, 0, sizeof c);
            c.stSrc = mode == 3 ? picture<u16>(U16C1, w, h, u16v) : picture<s16>(S16C1, w, h, v16);
            c.stDst = image(mode == 0 ? S8C1 : U8C1, w, h);
            c.stCtrl = {mode, (u16)den, (u8)num, (s8)bias};
            ASSERT_EQ(0, submit(IVE_16BIT_TO_8BIT, c));
            for (size_t i = 0; i < v16.size(); i++) {
                const int64_t v = mode == 3 ? (int64_t)u16v[i] : (int64_t)v16[i], q = v * num / den;
                const int64_t want = mode == 0   ? std::clamp<int64_t>(q, -128, 127)
                                     : mode == 1 ? std::min<int64_t>(std::abs(q), 255)
                                     : mode == 2 ? std::clamp<int64_t>(q + bias, 0, 255)
                                                 : std::min<int64_t>(q, 255);
                ASSERT_EQ((u8)want, at<u8>(c.stDst, (u32)(i % w), (u32)(i / w))) << v;
            }
        }
        IVE_MAP_REQ_S map;
        memset(&map, 0, sizeof map);
        map.stSrc = picture(U8C1, w, h, a);
        map.stMap = block(256);
        const std::vector<u8> table = random_picture(256, 1, 5, false);
        memcpy(map.stMap.pu8VirAddr, table.data(), 256);
        map.stDst = image(U8C1, w, h);
        ASSERT_EQ(0, submit(IVE_MAP, map));
        for (size_t i = 0; i < a.size(); i++)
            ASSERT_EQ(table[a[i]], at<u8>(map.stDst, (u32)(i % w), (u32)(i / w))) << (int)a[i];
        IVE_ADD_REQ_S add;
        memset(&add, 0, sizeof add);
        add.stSrc1 = picture(U8C1, w, h, a);
        add.stSrc2 = picture(U8C1, w, h, b);
        add.stDst = image(U8C1, w, h);
        for (u32 x : {1u, 20000u, 32768u, 65535u}) {
            add.stCtrl = {(u16)x, (u16)(65536 - x)};
            ASSERT_EQ(0, submit(IVE_ADD, add));
            for (size_t i = 0; i < a.size(); i++)
                ASSERT_EQ((x * a[i] + (65536 - x) * b[i] + 32768) >> 16, at<u8>(add.stDst, (u32)(i % w), (u32)(i / w)))
                    << x << ": " << (int)a[i] << ", " << (int)b[i];
        }
    }
}

// The colour conversions against the rules' formulas: Q10 coefficients per
// standard and range, rounded, clipped; a 420 chroma sample from the top-left
// pixel of its square, a 422 one from the left pixel of its pair.
TEST_F(IveRows, ColourConversionsPixelByPixel)
{
    struct ToRgb {
        int y, cr, cgu, cgv, cb;
    };
    const ToRgb to_rgb[4] = {{1192, 1634, -401, -832, 2066},
                             {1024, 1436, -352, -731, 1815},
                             {1192, 1836, -218, -546, 2163},
                             {1024, 1613, -192, -479, 1900}};
    const int to_yuv[4][3][3] = {{{263, 516, 100}, {-152, -298, 450}, {450, -377, -73}},
                                 {{306, 601, 117}, {-173, -339, 512}, {512, -429, -83}},
                                 {{187, 629, 63}, {-103, -347, 450}, {450, -409, -41}},
                                 {{218, 732, 74}, {-117, -395, 512}, {512, -465, -47}}};
    auto clip = [](int v) { return std::clamp(v, 0, 255); };
    const u32 RGB = IVE_IMAGE_TYPE_U8C3_PACKAGE, PLANAR = IVE_IMAGE_TYPE_U8C3_PLANAR;
    for (const Size &sz : {Size{2, 2}, Size{18, 5}, Size{70, 4}, Size{130, 3}})
        for (u32 yuv : {IVE_IMAGE_TYPE_YUV420SP, IVE_IMAGE_TYPE_YUV422SP})
            for (u32 mode = 0; mode < 12; mode++)
                for (u32 rgb : {RGB, PLANAR}) {
                    SCOPED_TRACE(std::to_string(sz.w) + " x " + std::to_string(sz.h) + ", mode " +
                                 std::to_string(mode) + (yuv == IVE_IMAGE_TYPE_YUV420SP ? ", 420" : ", 422") +
                                 (rgb == RGB ? ", packed" : ", planar"));
                    const u16 w = sz.w, h = sz.h;
                    const bool to_three = mode < 8, sub = yuv == IVE_IMAGE_TYPE_YUV420SP;
                    IVE_CSC_REQ_S b;
                    memset(&b, 0, sizeof b);
                    b.stSrc = image(to_three ? yuv : rgb, w, h);
                    b.stDst = image(to_three ? rgb : yuv, w, h);
                    b.stCtrl.enMode = mode;
                    for (int p = 0; p < plane_count(b.stSrc.enType); p++)
                        for (u16 y = 0; y < (p == 1 && to_three && sub ? (h + 1) / 2 : h); y++) {
                            const std::vector<u8> row =
                                random_picture(w * elem_size(b.stSrc.enType), 1, 100 * p + y, false);
                            memcpy(px(b.stSrc, 0, y, p), row.data(), row.size());
                        }
                    ASSERT_EQ(0, submit(IVE_CSC, b));
                    const int k = mode & 3, off = mode & 1 ? 0 : 16;
                    auto chan = [&](const IVE_IMG_DESC_S &d, u16 x, u16 y, int c) {
                        return d.enType == RGB ? px(d, x, y)[c] : *px(d, x, y, c);
                    };
                    for (u16 y = 0; y < h; y++)
                        for (u16 x = 0; x < w; x++) {
                            if (to_three) {
                                const u8 *c = px(b.stSrc, x & ~1u, sub ? y / 2 : y, 1);
                                const int l = *px(b.stSrc, x, y) - off, v = c[0] - 128, u = c[1] - 128;
                                const ToRgb &t = to_rgb[k];
                                int want[3] = {clip((t.y * l + t.cr * v + 512) >> 10),
                                               clip((t.y * l + t.cgu * u + t.cgv * v + 512) >> 10),
                                               clip((t.y * l + t.cb * u + 512) >> 10)};
                                if (mode & 4)
                                    std::swap(want[0], want[2]);
                                for (int i = 0; i < 3; i++)
                                    ASSERT_EQ(want[i], chan(b.stDst, x, y, i)) << x << "," << y << " channel " << i;
                                continue;
                            }
                            auto dot = [&](int row, u16 px_x) {
                                const int *m = to_yuv[k][row];
                                return (m[0] * chan(b.stSrc, px_x, y, 0) + m[1] * chan(b.stSrc, px_x, y, 1) +
                                        m[2] * chan(b.stSrc, px_x, y, 2) + 512) >>
                                       10;
                            };
                            ASSERT_EQ(clip(dot(0, x) + off), *px(b.stDst, x, y)) << x << "," << y;
                            if (x % 2 == 0 && (!sub || y % 2 == 0)) {
                                const u8 *c = px(b.stDst, x, sub ? y / 2 : y, 1);
                                ASSERT_EQ(clip(dot(2, x) + 128), c[0]) << x << "," << y << " V";
                                ASSERT_EQ(clip(dot(1, x) + 128), c[1]) << x << "," << y << " U";
                            }
                        }
                }
}

// Every 16-bit value through each mode, for ratios that divide exactly and
// ratios that never do: the quotient is v x num / den truncated toward zero.
TEST_F(IveRows, SixteenToEightBitsForEveryValue)
{
    std::vector<u16> all(65536);
    for (u32 v = 0; v < 65536; v++)
        all[v] = (u16)v;
    const std::vector<s16> all_signed(all.begin(), all.end());
    const IVE_IMG_DESC_S u = picture<u16>(U16C1, 256, 256, all), s = picture<s16>(S16C1, 256, 256, all_signed);
    for (auto [num, den] :
         {std::pair{1, 1}, std::pair{255, 255}, std::pair{1, 3}, std::pair{7, 300}, std::pair{7, 10},
          std::pair{13, 17}, std::pair{255, 65535}, std::pair{128, 255}, std::pair{3, 7}, std::pair{200, 201}})
        for (u32 mode = 0; mode < 4; mode++) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", " + std::to_string(num) + "/" + std::to_string(den));
            IVE_16BIT_TO_8BIT_REQ_S c;
            memset(&c, 0, sizeof c);
            c.stSrc = mode == 3 ? u : s;
            c.stDst = image(mode == 0 ? S8C1 : U8C1, 256, 256);
            c.stCtrl = {mode, (u16)den, (u8)num, (s8)-9};
            ASSERT_EQ(0, submit(IVE_16BIT_TO_8BIT, c));
            for (u32 i = 0; i < 65536; i++) {
                const int64_t v = mode == 3 ? (int64_t)all[i] : (int64_t)all_signed[i], q = v * num / den;
                const int64_t want = mode == 0   ? std::clamp<int64_t>(q, -128, 127)
                                     : mode == 1 ? std::min<int64_t>(std::abs(q), 255)
                                     : mode == 2 ? std::clamp<int64_t>(q - 9, 0, 255)
                                                 : std::min<int64_t>(q, 255);
                ASSERT_EQ((u8)want, at<u8>(c.stDst, i % 256, i / 256)) << v;
            }
        }
}

// The integral image in each output: the sums and sums of squares over
// every pixel up and to the left, packed as enOutCtrl says.
TEST_F(IveRows, IntegralOfEveryOutputPixelByPixel)
{
    each_picture([&](u16 w, u16 h, const std::vector<u8> &bytes) {
        std::vector<u64> sum((size_t)w * h), sq((size_t)w * h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const size_t i = (size_t)y * w + x;
                const u64 v = bytes[i];
                sum[i] = v + (x ? sum[i - 1] : 0) + (y ? sum[i - w] : 0) - (x && y ? sum[i - w - 1] : 0);
                sq[i] = v * v + (x ? sq[i - 1] : 0) + (y ? sq[i - w] : 0) - (x && y ? sq[i - w - 1] : 0);
            }
        IVE_INTEG_REQ_S b;
        memset(&b, 0, sizeof b);
        b.stSrc = picture(U8C1, w, h, bytes);
        for (u32 mode = 0; mode < 3; mode++) {
            SCOPED_TRACE("enOutCtrl " + std::to_string(mode));
            b.stCtrl.enOutCtrl = mode;
            b.stDst = image(mode == 1 ? IVE_IMAGE_TYPE_U32C1 : IVE_IMAGE_TYPE_U64C1, w, h);
            ASSERT_EQ(0, submit(IVE_INTEG, b));
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const size_t i = (size_t)y * w + x;
                    const u64 got = mode == 1 ? at<u32>(b.stDst, x, y) : at<u64>(b.stDst, x, y);
                    const u64 want = mode == 0   ? (sum[i] & 0xFFFFFFF) | (sq[i] & 0xFFFFFFFFFull) << 28
                                     : mode == 1 ? (u32)sum[i]
                                                 : sq[i];
                    ASSERT_EQ(want, got) << x << "," << y;
                }
        }
    });
}

// Block SADs of each block size into each output, on pictures far apart,
// close together (sums on both sides of 255) and opposite (every difference
// 255: a 16 x 16 block's sum at its largest, 65280). The threshold is one
// block's sum as written, so that "at least" is met exactly there, and as
// summed, past what an 8-bit SAD image holds.
TEST_F(IveRows, BlockSadOfEveryBlockSizeAndOutput)
{
    struct Grid {
        u16 w, h; // in blocks
    };
    const Grid grids[] = {{1, 1}, {3, 2}, {9, 1}, {17, 2}, {33, 1}};
    enum Pair { Random, Close, Opposite };
    const char *pair_names[] = {"random", "close", "opposite"};
    u32 seed = 100;
    for (u32 mode = 0; mode < 3; mode++)
        for (const Grid &g : grids)
            for (Pair pair : {Random, Close, Opposite}) {
                const u32 n = 4u << mode;
                const u16 w = (u16)(g.w * n), h = (u16)(g.h * n);
                SCOPED_TRACE(std::to_string(n) + " x " + std::to_string(n) + " blocks, " + std::to_string(w) + " x " +
                             std::to_string(h) + ", " + pair_names[pair]);
                const std::vector<u8> a = random_picture(w, h, seed++, pair == Opposite),
                                      noise = random_picture(w, h, seed++, false);
                std::vector<u8> b(a.size());
                for (size_t i = 0; i < a.size(); i++)
                    b[i] = pair == Random  ? noise[i]
                           : pair == Close ? (u8)std::clamp(a[i] + noise[i] % 7 - 3, 0, 255)
                                           : (u8)(255 - a[i]);
                std::vector<u32> sums((size_t)g.w * g.h, 0);
                for (u32 i = 0; i < a.size(); i++)
                    sums[(i / w / n) * g.w + i % w / n] += (u32)std::abs(a[i] - b[i]);
                IVE_SAD_REQ_S r;
                memset(&r, 0, sizeof r);
                r.stSrc1 = picture(U8C1, w, h, a);
                r.stSrc2 = picture(U8C1, w, h, b);
                auto check = [&](u32 out, u32 thr) {
                    SCOPED_TRACE("enOutCtrl " + std::to_string(out) + ", threshold " + std::to_string(thr));
                    const bool has_sad = out <= 3, has_thr = out <= 1 || out == 4, sad16 = out == 0 || out == 2;
                    r.stSad = image(sad16 ? U16C1 : U8C1, g.w, g.h);
                    r.stThr = image(U8C1, g.w, g.h);
                    r.stSadCtrl = {mode, out, (u16)thr, 3, 250};
                    ASSERT_EQ(0, submit(IVE_SAD, r));
                    for (u32 i = 0; i < sums.size(); i++) {
                        const u32 x = i % g.w, y = i / g.w, v = has_sad && !sad16 ? std::min(sums[i], 255u) : sums[i];
                        if (has_sad) {
                            ASSERT_EQ(v, sad16 ? at<u16>(r.stSad, x, y) : at<u8>(r.stSad, x, y)) << x << "," << y;
                        }
                        if (has_thr) {
                            ASSERT_EQ(v >= thr ? 250 : 3, at<u8>(r.stThr, x, y)) << x << "," << y;
                        }
                    }
                };
                const u32 middle = sums[sums.size() / 2];
                for (u32 out = 0; out < 5; out++)
                    for (u32 thr : {out == 1 ? std::min(middle, 255u) : middle, middle})
                        check(out, thr);
            }
}

// Gradient pairs gathered into rows of one sum type, their angles (and
// magnitudes) checked against the rules a row at a time.
class AngleRows {
public:
    explicit AngleRows(sim::ive::SumType type) : type_(type), h_(kRow), v_(kRow), ang_(kRow), mag_(kRow) {}
    ~AngleRows() { check(); }
    void add(int32_t gh, int32_t gv)
    {
        h_[n_] = gh;
        v_[n_] = gv;
        if (++n_ == kRow)
            check();
    }
    void check()
    {
        if (type_ == sim::ive::SumType::S32)
            sim::ive::mag_and_ang_row({type_, h_.data()}, {type_, v_.data()}, mag_.data(), ang_.data(), n_);
        else if (type_ == sim::ive::SumType::S16)
            outputs_as<s16>();
        else
            outputs_as<u16>();
        for (int i = 0; i < n_; i++) {
            const u8 want = angle_rule(h_[i], v_[i]);
            const u16 magnitude = (u16)std::min<int64_t>(65535, std::abs((int64_t)h_[i]) + std::abs((int64_t)v_[i]));
            if ((want != ang_[i] || magnitude != mag_[i]) && failures_++ < 5)
                ADD_FAILURE() << "H " << h_[i] << ", V " << v_[i] << ": angle " << (int)ang_[i] << ", the rule "
                              << (int)want << "; magnitude " << mag_[i] << ", the rule " << magnitude;
        }
        n_ = 0;
    }

private:
    static constexpr int kRow = 65536;
    template <class T> void outputs_as()
    {
        const std::vector<T> h(h_.begin(), h_.begin() + n_), v(v_.begin(), v_.begin() + n_);
        sim::ive::mag_and_ang_row({type_, h.data()}, {type_, v.data()}, mag_.data(), ang_.data(), n_);
    }
    sim::ive::SumType type_;
    std::vector<int32_t> h_, v_;
    std::vector<u8> ang_;
    std::vector<u16> mag_;
    int n_ = 0, failures_ = 0;
};

// The angle of every gradient pair a mask can make, against the rule in
// double precision: every pair within the reach of the 3 x 3 Sobel mask
// (|H|, |V| <= 1020) in each sum type, every octant; for every larger H up
// to the reach of the largest masks (25 x 128 x 255), the V on both sides
// of each half-unit boundary of the first octant, where single precision
// would round the other way; and pairs spread over that whole reach.
TEST(IveAngles, EveryGradientPairAsTheDoublePrecisionRule)
{
    constexpr int kSobel = 1020, kReach = 25 * 128 * 255;
    {
        AngleRows s32(sim::ive::SumType::S32), s16(sim::ive::SumType::S16), u16(sim::ive::SumType::U16);
        for (int gh = -kSobel; gh <= kSobel; gh++)
            for (int gv = -kSobel; gv <= kSobel; gv++) {
                s32.add(gh, gv);
                s16.add(gh, gv);
                if (gh >= 0 && gv >= 0)
                    u16.add(gh, gv);
            }
    }
    // The boundaries of the first octant: tan((j + 0.5) pi / 128) for j < 32.
    long double tangent[32];
    for (int j = 0; j < 32; j++)
        tangent[j] = std::tan((j + 0.5L) * (long double)M_PI / 128);
    AngleRows rows(sim::ive::SumType::S32);
    for (int gh = kSobel + 1; gh <= kReach; gh++)
        for (long double t : tangent) {
            const int32_t below = (int32_t)(gh * t);
            rows.add(gh, below);
            rows.add(gh, below + 1);
        }
    u32 seed = 7;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (int32_t)(seed % (2 * kReach + 1)) - kReach;
    };
    for (int i = 0; i < 1 << 20; i++)
        rows.add(next(), next());
}

} // namespace

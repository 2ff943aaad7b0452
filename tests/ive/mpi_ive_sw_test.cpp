// The software stages after the engine: Canny edge tracking over the edge
// map and its point stack, corner selection with its minimum distance, and
// the chain from corner candidates to the optical flow of a moved picture.
// Maps and stacks live in heap buffers of their exact size, so that the
// sanitizers catch a step outside them.
#include "tests/ive/ive_fixture.h"
#include "tests/ive/ive_fuzz.h"

#include <cmath>
#include <memory>

using namespace ivetest;

namespace {

constexpr s32 kIllegal = (s32)0xA01D8003, kNull = (s32)0xA01D8006;

// A user-space picture the software stages work on (its physical address
// only has to be there).
struct HeapImage {
    std::unique_ptr<u8[]> px;
    IVE_IMG_DESC_S d;
    HeapImage(u16 w, u16 h, u16 stride, u8 fill) : px(new u8[(size_t)stride * h])
    {
        memset(px.get(), fill, (size_t)stride * h);
        d = ivefuzz::user_image(px.get(), w, h, stride);
    }
    u8 &at(u32 x, u32 y) { return px[(size_t)y * d.u16Stride[0] + x]; }
};

// A Canny stack of (W x H + 4) x 4 bytes: the points, then the count.
struct HeapStack {
    std::unique_ptr<u8[]> bytes;
    IVE_MEM_BLOCK_S m;
    u32 pixels;
    HeapStack(u32 w, u32 h) : bytes(new u8[((size_t)w * h + 4) * 4]()), pixels(w * h)
    {
        m = {0x2000, bytes.get(), (u32)(((size_t)w * h + 4) * 4)};
    }
    void push(u16 x, u16 y)
    {
        u32 n = count();
        memcpy(&bytes[4 * n], &x, 2);
        memcpy(&bytes[4 * n + 2], &y, 2);
        set_count(n + 1);
    }
    u32 count() const
    {
        u32 n;
        memcpy(&n, &bytes[4 * (size_t)pixels], 4);
        return n;
    }
    void set_count(u32 n) { memcpy(&bytes[4 * (size_t)pixels], &n, 4); }
};

using Ive = IveTest;

TEST_F(Ive, CannyTracksFromTheStackedEdgesIntoConnectedCandidates)
{
    struct Case {
        const char *name;
        std::function<void(HeapImage &, HeapStack &)> setup;
        std::vector<std::pair<u32, u32>> edges; // what ends as 255
    };
    const Case cases[] = {
        {"an edge at the corner and candidates on its diagonal",
         [](HeapImage &m, HeapStack &s) {
             m.at(0, 0) = 2, m.at(1, 1) = 0, m.at(2, 2) = 0;
             m.at(5, 5) = 0; // not connected
             s.push(0, 0);
         },
         {{0, 0}, {1, 1}, {2, 2}}},
        {"an empty stack only maps the classes",
         [](HeapImage &m, HeapStack &) { m.at(3, 0) = 2, m.at(4, 0) = 0, m.at(63, 63) = 3; }, {{3, 0}, {63, 63}}},
        {"a chain along the bottom edge, tracked from its right end",
         [](HeapImage &m, HeapStack &s) {
             for (u32 x = 40; x < 64; x++)
                 m.at(x, 63) = 0;
             m.at(63, 63) = 2;
             s.push(63, 63);
         },
         [] {
             std::vector<std::pair<u32, u32>> e;
             for (u32 x = 40; x < 64; x++)
                 e.push_back({x, 63});
             return e;
         }()},
        {"points outside the picture are skipped",
         [](HeapImage &m, HeapStack &s) {
             m.at(0, 1) = 0;
             s.push(64, 0);
             s.push(0, 64);
             s.push(0, 0);
             s.push(65535, 65535);
         },
         {{0, 1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HeapImage map(64, 64, 80, 1);
        for (u32 y = 0; y < 64; y++)
            memset(&map.at(64, y), 0x77, 16); // stride padding
        HeapStack stack(64, 64);
        c.setup(map, stack);
        ASSERT_EQ(0, DU_DUZ_IVE_CannyEdge(&map.d, &stack.m));
        EXPECT_EQ(0u, stack.count());
        std::vector<std::pair<u32, u32>> edges;
        for (u32 y = 0; y < 64; y++) {
            for (u32 x = 0; x < 64; x++) {
                ASSERT_TRUE(map.at(x, y) == 0 || map.at(x, y) == 255) << x << "," << y;
                if (map.at(x, y))
                    edges.push_back({x, y});
            }
            for (u32 x = 64; x < 80; x++)
                ASSERT_EQ(0x77, map.at(x, y));
        }
        EXPECT_EQ(c.edges, edges);
    }
}

TEST_F(Ive, CannyRefusesAStackItDidNotGetFromTheEngine)
{
    HeapImage map(64, 64, 64, 0);
    HeapStack stack(64, 64);
    stack.set_count(64 * 64 + 1);
    s32 ret = 0;
    std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_CannyEdge(&map.d, &stack.m); });
    EXPECT_EQ((u32)kIllegal, (u32)ret);
    EXPECT_NE(std::string::npos,
              err.find("[Info]:pstStack's point count(4097) must be less than or equal to "
                       "pstEdge->u16Width*pstEdge->u16Height(4096)!\n[Func]:DU_DUZ_IVE_CannyEdge"))
        << err;
    EXPECT_NE(std::string::npos, err.find("Error(0xa01d8003): check CannyEdge parameters failed!\n")) << err;
    map.at(10, 10) = 2;
    testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_CannyEdge(&map.d, &stack.m); });
    EXPECT_EQ((u32)kIllegal, (u32)ret);
    EXPECT_EQ(2, map.at(10, 10)); // untouched: not even mapped

    // A full stack of one point over a map of candidates: the tracking stays
    // inside the stack (its buffer ends there) and still maps every pixel.
    stack.set_count(0);
    for (u32 i = 0; i < 64 * 64; i++)
        stack.push(10, 10);
    memset(map.px.get(), 0, 64 * 64);
    ASSERT_EQ(0, DU_DUZ_IVE_CannyEdge(&map.d, &stack.m));
    EXPECT_EQ(0u, stack.count());
    EXPECT_EQ(255, map.at(9, 9));
    for (u32 y = 0; y < 64; y++)
        for (u32 x = 0; x < 64; x++)
            ASSERT_TRUE(map.at(x, y) == 0 || map.at(x, y) == 255) << x << "," << y;

    map.d.pu8VirAddr[0] = nullptr;
    err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_CannyEdge(&map.d, &stack.m); });
    EXPECT_EQ((u32)kNull, (u32)ret);
    EXPECT_NE(std::string::npos, err.find("[Info]:pstEdge->pu8VirAddr[0] can't be NULL!\n")) << err;
}

class IveCorners : public IveTest {
protected:
    // The corner list: a count, then that many points.
    struct List {
        std::unique_ptr<u8[]> bytes{new u8[802]};
        IVE_MEM_BLOCK_S m{0x3000, bytes.get(), 802};
        List() { memset(bytes.get(), 0xEE, 802); }
        u16 count() const
        {
            u16 n;
            memcpy(&n, bytes.get(), 2);
            return n;
        }
        std::vector<std::pair<u16, u16>> points() const
        {
            std::vector<std::pair<u16, u16>> out;
            for (u16 i = 0; i < count(); i++) {
                u16 p[2];
                memcpy(p, &bytes[2 + 4 * i], 4);
                out.push_back({p[0], p[1]});
            }
            return out;
        }
    };
    s32 select(HeapImage &img, List &list, u16 max, u16 dist)
    {
        IVE_ST_CORNER_CTRL_S c = {max, dist};
        return DU_DUZ_IVE_STCorner(&img.d, &list.m, &c);
    }
};

TEST_F(IveCorners, StrongestFirstAtTheirMinimumDistance)
{
    HeapImage img(64, 64, 64, 0);
    img.at(20, 20) = 200, img.at(29, 20) = 150, img.at(30, 20) = 100;
    img.at(0, 5) = 255; // the border is never a corner
    struct Case {
        const char *name;
        u16 max;
        std::vector<std::pair<u16, u16>> corners;
    };
    const Case cases[] = {
        {"up to 200", 200, {{20, 20}, {30, 20}}},
        {"up to 1", 1, {{20, 20}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        List list;
        ASSERT_EQ(0, select(img, list, c.max, 10));
        EXPECT_EQ(c.corners, list.points());
        EXPECT_EQ(0xEE, list.bytes[2 + 4 * c.corners.size()]); // nothing written past them
    }

    // Fewer candidates than the limit: all of them, strongest first.
    HeapImage three(64, 64, 64, 0);
    three.at(10, 10) = 50, three.at(30, 30) = 150, three.at(50, 50) = 100;
    List list;
    ASSERT_EQ(0, select(three, list, 200, 10));
    EXPECT_EQ((std::vector<std::pair<u16, u16>>{{30, 30}, {50, 50}, {10, 10}}), list.points());

    HeapImage border(64, 64, 64, 0);
    for (u32 i = 0; i < 64; i++)
        border.at(i, 0) = border.at(0, i) = border.at(63, i) = border.at(i, 63) = 90;
    ASSERT_EQ(0, select(border, list, 200, 1));
    EXPECT_EQ(0, list.count());
}

TEST_F(IveCorners, ACandidateExactlyTheDistanceAwayIsKept)
{
    struct Case {
        const char *name;
        int dx, dy;
        bool kept;
    };
    const Case cases[] = {
        {"10 left", -10, 0, true}, {"9 left", -9, 0, false},  {"10 right", 10, 0, true}, {"9 right", 9, 0, false},
        {"10 up", 0, -10, true},   {"9 up", 0, -9, false},    {"10 down", 0, 10, true},  {"9 down", 0, 9, false},
        {"6, 8 away", 6, 8, true}, {"6, 7 away", 6, -7, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        HeapImage img(64, 64, 64, 0);
        img.at(32, 32) = 200;
        img.at(32 + c.dx, 32 + c.dy) = 100;
        List list;
        ASSERT_EQ(0, select(img, list, 200, 10));
        EXPECT_EQ(c.kept ? 2 : 1, list.count());
    }
}

TEST_F(IveCorners, AZeroLimitIsRefusedBeforeThePictureIsRead)
{
    IVE_IMG_DESC_S nothing;
    memset(&nothing, 0, sizeof nothing);
    List list;
    IVE_ST_CORNER_CTRL_S c = {0, 10};
    s32 ret = 0;
    std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_STCorner(&nothing, &list.m, &c); });
    EXPECT_EQ((u32)kIllegal, (u32)ret);
    EXPECT_NE(std::string::npos, err.find("[Info]:pstStCornerCtrl->u16MaxCornerNum(0) must be in [1, 200]!\n[Func]:"))
        << err;
    EXPECT_NE(std::string::npos, err.find("Error(0xa01d8003): check STCorner parameters failed!\n")) << err;
    EXPECT_EQ(0xEE, list.bytes[0]);

    HeapImage img(64, 64, 64, 0);
    img.d.pu8VirAddr[0] = nullptr;
    c.u16MaxCornerNum = 1;
    err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_STCorner(&img.d, &list.m, &c); });
    EXPECT_EQ((u32)kNull, (u32)ret);
    EXPECT_NE(std::string::npos, err.find("[Info]:pstCandiCorner->pu8VirAddr[0] can't be NULL!\n")) << err;
}

// Corners found by the engine and the software stage on a picture, tracked
// by the engine into the same picture moved by (2.0, -1.5): each motion is
// that shift.
TEST_F(Ive, CornersOfAMovedPictureAreTrackedToTheirShift)
{
    auto texture = [](double x, double y) {
        return 128 + 50 * std::sin(x / 5.0) * std::sin(y / 6.0) + 30 * std::cos((x + 2 * y) / 9.0);
    };
    const double dx = 2.0, dy = -1.5;
    IVE_IMG_DESC_S pre = image(IVE_IMAGE_TYPE_U8C1, 128, 96), cur = image(IVE_IMAGE_TYPE_U8C1, 128, 96);
    for (u32 y = 0; y < 96; y++)
        for (u32 x = 0; x < 128; x++) {
            *px(pre, x, y) = (u8)std::lround(texture(x, y));
            *px(cur, x, y) = (u8)std::lround(texture(x - dx, y - dy));
        }
    IVE_IMG_DESC_S cand = image(IVE_IMAGE_TYPE_U8C1, 128, 96);
    IVE_ST_CANDI_CORNER_CTRL_S cc;
    memset(&cc, 0, sizeof cc);
    cc.stMem = block((96 * 128 + 4) * 4);
    cc.u0q8QualityLevel = 25;
    IVE_TASK_HANDLE h;
    u32 done = 0;
    ASSERT_EQ(0, DU_DUZ_IVE_STCandiCorner(&h, &pre, &cand, &cc, 0));
    ASSERT_EQ(0, DU_DUZ_IVE_Query(h, &done, 1));
    ASSERT_EQ(1u, done);

    IVE_MEM_BLOCK_S list = block(802);
    IVE_ST_CORNER_CTRL_S sc = {30, 8};
    ASSERT_EQ(0, DU_DUZ_IVE_STCorner(&cand, &list, &sc));
    // Away from the border, where the window sees only the picture.
    std::vector<s32> points;
    u16 n;
    memcpy(&n, list.pu8VirAddr, 2);
    for (u16 i = 0; i < n; i++) {
        u16 p[2];
        memcpy(p, list.pu8VirAddr + 2 + 4 * i, 4);
        if (p[0] >= 12 && p[0] < 116 && p[1] >= 12 && p[1] < 84)
            points.insert(points.end(), {p[0] * 128, p[1] * 128});
    }
    const u16 tracked = (u16)(points.size() / 2);
    ASSERT_GE(tracked, 6);
    IVE_MEM_BLOCK_S pts = block(8u * tracked), mv = block(8u * tracked);
    memcpy(pts.pu8VirAddr, points.data(), 8u * tracked);
    IVE_LK_OPTICAL_FLOW_CTRL_S lk = {tracked, 8, 10, 3, 0};
    ASSERT_EQ(0, DU_DUZ_IVE_LKOpticalFlow(&h, &pre, &cur, &pts, &mv, &lk, 0));
    for (u16 i = 0; i < tracked; i++) {
        SCOPED_TRACE(i);
        s32 status;
        s16 v[2];
        memcpy(&status, mv.pu8VirAddr + 8 * i, 4);
        memcpy(v, mv.pu8VirAddr + 8 * i + 4, 4);
        EXPECT_EQ(0, status);
        EXPECT_NEAR(dx * 128, v[0], 8); // a sixteenth of a pixel
        EXPECT_NEAR(dy * 128, v[1], 8);
    }
}

} // namespace

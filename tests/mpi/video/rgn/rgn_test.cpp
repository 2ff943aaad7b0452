// The region unit over the simulated /dev/rgn: argument checks of every call
// from one table, the canvas mapping cache (double buffering, re-created and
// moved canvases, destroy), bitmaps, and the blending of the shown canvas
// into the pictures of the channel a region is attached to.
#include "mpi/video/rgn/mpi_rgn.h"
#include "mpi/video/rgn/rgn_requests.h"
#include "tests/support/arg_rules.h"

#include "board/sim/video/video.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

constexpr s32 kBadHandle = (s32)0xA0038003, kNull = (s32)0xA0038006;

// ARGB1555 pixels: opaque white, transparent.
constexpr u16 kInk = 0xFFFF, kClear = 0x0000;

RGN_ATTR_REC_S overlay(u32 type, u32 w, u32 h) { return {type, PIXEL_FORMAT_RGB_1555, {w, h}, 0xFFFFFFFF}; }

RGN_CHN_ATTR_REC_S shown_at(u32 type, s32 x, s32 y, u32 layer = 0)
{
    RGN_CHN_ATTR_REC_S a{};
    a.bShow = 1;
    a.enType = type;
    a.s32X = x;
    a.s32Y = y;
    a.u32FgAlpha = 128;
    a.u32BgAlpha = 0;
    a.u32Layer = layer;
    return a;
}

class Rgn : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
    }
    void TearDown() override
    {
        for (RGN_HANDLE h : made_)
            DU_DUZ_RGN_Destroy(h);
    }

    void create(RGN_HANDLE h, const RGN_ATTR_REC_S &a)
    {
        ASSERT_EQ(0, DU_DUZ_RGN_Create(h, &a));
        made_.push_back(h);
    }

    // Fills the canvas handed out with `fn(x, y)` and shows it.
    void draw(RGN_HANDLE h, const std::function<u16(u32, u32)> &fn)
    {
        RGN_CANVAS_REC_S c;
        ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(h, &c));
        for (u32 y = 0; y < c.stSize.u32Height; y++)
            for (u32 x = 0; x < c.stSize.u32Width; x++)
                reinterpret_cast<u16 *>(static_cast<u8 *>(c.pVirtAddr) + y * c.u32Stride)[x] = fn(x, y);
        ASSERT_EQ(0, DU_DUZ_RGN_UpdateCanvas(h));
    }

    std::vector<RGN_HANDLE> made_;
};

// A grey picture of the board's own to blend into.
struct GreyPicture {
    GreyPicture(u32 w, u32 h) : pool(w, h, 1), pic(pool.take())
    {
        memset(pic->y(), 100, (size_t)pic->stride * h);
        memset(pic->vu(), 128, (size_t)pic->stride * h / 2);
    }
    u8 y(u32 x, u32 row) const { return pic->y()[(size_t)row * pic->stride + x]; }
    sim::video::PicturePool pool;
    sim::video::PicturePtr pic;
};

} // namespace

TEST_F(Rgn, ArgumentChecksReachNoDeviceWithABadHandleAndNoRequestWithANullRecord)
{
    static RGN_ATTR_REC_S attr;
    static RGN_CHN_ATTR_REC_S chn_attr;
    static MPP_CHN_ADDR_S chn;
    static RGN_CANVAS_REC_S canvas;
    static BITMAP_S bmp;
    static RGN_BMP_UPDATE_CFG_REC_S upd;
    static u32 field;
    // Bad handles first, then null records.
    const std::vector<argrules::Case> cases = {
        {"create 1024", [] { return DU_DUZ_RGN_Create(1024, &attr); }, kBadHandle, "rgn handle 1024 is invalid\n"},
        {"destroy 1024", [] { return DU_DUZ_RGN_Destroy(1024); }, kBadHandle, "rgn handle 1024 is invalid\n"},
        {"set attr 0xffffffff", [] { return DU_DUZ_RGN_SetAttr(0xFFFFFFFF, &attr); }, kBadHandle,
         "rgn handle 4294967295 is invalid\n"},
        {"get attr 2000", [] { return DU_DUZ_RGN_GetAttr(2000, &attr); }, kBadHandle, "is invalid\n"},
        {"bitmap 1024", [] { return DU_DUZ_RGN_SetBitMap(1024, &bmp); }, kBadHandle, "is invalid\n"},
        {"update bitmap 1024", [] { return DU_DUZ_RGN_UpdateBitMap(1024, &upd); }, kBadHandle, "is invalid\n"},
        {"set display 1024", [] { return DU_DUZ_RGN_SetDisplayAttr(1024, &chn, &chn_attr); }, kBadHandle,
         "is invalid\n"},
        {"get display 1024", [] { return DU_DUZ_RGN_GetDisplayAttr(1024, &chn, &chn_attr); }, kBadHandle,
         "is invalid\n"},
        {"attach 1024", [] { return DU_DUZ_RGN_AttachToChn(1024, &chn, &chn_attr); }, kBadHandle, "is invalid\n"},
        {"detach 1024", [] { return DU_DUZ_RGN_DetachFromChn(1024, &chn); }, kBadHandle, "is invalid\n"},
        {"set field 1024", [] { return DU_DUZ_RGN_SetAttachField(1024, 0); }, kBadHandle, "is invalid\n"},
        {"get field 1024", [] { return DU_DUZ_RGN_GetAttachField(1024, &field); }, kBadHandle, "is invalid\n"},
        {"canvas 1024", [] { return DU_DUZ_RGN_GetCanvasInfo(1024, &canvas); }, kBadHandle, "is invalid\n"},
        {"update canvas 1024", [] { return DU_DUZ_RGN_UpdateCanvas(1024); }, kBadHandle, "is invalid\n"},
        {"create null", [] { return DU_DUZ_RGN_Create(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"set attr null", [] { return DU_DUZ_RGN_SetAttr(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"get attr null", [] { return DU_DUZ_RGN_GetAttr(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"bitmap null", [] { return DU_DUZ_RGN_SetBitMap(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"update bitmap null", [] { return DU_DUZ_RGN_UpdateBitMap(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"set display null chn", [] { return DU_DUZ_RGN_SetDisplayAttr(1, nullptr, &chn_attr); }, kNull,
         "PTR is NULL!\n"},
        {"set display null attr", [] { return DU_DUZ_RGN_SetDisplayAttr(1, &chn, nullptr); }, kNull,
         "PTR is NULL!\n"},
        {"get display null attr", [] { return DU_DUZ_RGN_GetDisplayAttr(1, &chn, nullptr); }, kNull,
         "PTR is NULL!\n"},
        {"attach null chn", [] { return DU_DUZ_RGN_AttachToChn(1, nullptr, &chn_attr); }, kNull, "PTR is NULL!\n"},
        {"attach null attr", [] { return DU_DUZ_RGN_AttachToChn(1, &chn, nullptr); }, kNull, "PTR is NULL!\n"},
        {"detach null", [] { return DU_DUZ_RGN_DetachFromChn(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"get field null", [] { return DU_DUZ_RGN_GetAttachField(1, nullptr); }, kNull, "PTR is NULL!\n"},
        {"canvas null", [] { return DU_DUZ_RGN_GetCanvasInfo(1, nullptr); }, kNull, "PTR is NULL!\n"},
    };
    if (g_s32RgnFd >= 0) { // a descriptor left by an earlier test: start closed
        bd_close(g_s32RgnFd);
        g_s32RgnFd = -1;
    }
    // A bad handle is refused before the device is opened; a null record may
    // find it opened (lazily), but sends it nothing. The unit prints its
    // messages to standard output.
    auto bad_handle = [](const argrules::Case &c) { return c.code == kBadHandle; };
    ASSERT_TRUE(std::is_partitioned(cases.begin(), cases.end(), bad_handle));
    const auto first_null = std::find_if_not(cases.begin(), cases.end(), bad_handle);
    argrules::Watch bad = argrules::device("/dev/rgn"), null = argrules::device("/dev/rgn", true);
    bad.capture = null.capture = [](const std::function<void()> &fn) { return testsupport::capture_stdout(fn); };
    argrules::run({cases.begin(), first_null}, bad);
    argrules::run({first_null, cases.end()}, null);
    // A field needs no record: a valid handle goes to the driver, which
    // knows no such region.
    EXPECT_EQ((u32)DU_ERR_RGN_UNEXIST, (u32)DU_DUZ_RGN_SetAttachField(1, 0));
    EXPECT_EQ(g_s32RgnFd, DU_DUZ_RGN_GetFd());
}

TEST_F(Rgn, DriverRefusals)
{
    RGN_ATTR_REC_S good = overlay(OVERLAY_RGN, 190, 16);
    MPP_CHN_ADDR_S venc1 = {DU_ID_VENC, 0, 1}, vpss2 = {DU_ID_VPSS, 0, 2};
    RGN_CHN_ATTR_REC_S at = shown_at(OVERLAY_RGN, 80, 1020);
    create(3, good);
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
    } cases[] = {
        {"create twice", [&] { return DU_DUZ_RGN_Create(3, &good); }, DU_ERR_RGN_EXIST},
        {"cover region", [] { RGN_ATTR_REC_S a = overlay(COVER_RGN, 64, 64); return DU_DUZ_RGN_Create(5, &a); },
         DU_ERR_RGN_NOT_SUPPORT},
        {"another pixel format",
         [] { RGN_ATTR_REC_S a = {OVERLAY_RGN, 6, {64, 64}, 0}; return DU_DUZ_RGN_Create(5, &a); },
         DU_ERR_RGN_NOT_SUPPORT},
        {"odd width", [] { RGN_ATTR_REC_S a = overlay(OVERLAY_RGN, 63, 16); return DU_DUZ_RGN_Create(5, &a); },
         DU_ERR_RGN_ILLEGAL_PARAM},
        {"unknown handle", [] { return DU_DUZ_RGN_Destroy(7); }, DU_ERR_RGN_UNEXIST},
        {"encoder overlay on a processing channel", [&] { return DU_DUZ_RGN_AttachToChn(3, &vpss2, &at); },
         DU_ERR_RGN_ILLEGAL_PARAM},
        {"alpha above 128",
         [&] { RGN_CHN_ATTR_REC_S a = at; a.u32FgAlpha = 129; return DU_DUZ_RGN_AttachToChn(3, &venc1, &a); },
         DU_ERR_RGN_ILLEGAL_PARAM},
        {"odd position",
         [&] { RGN_CHN_ATTR_REC_S a = at; a.s32X = 81; return DU_DUZ_RGN_AttachToChn(3, &venc1, &a); },
         DU_ERR_RGN_ILLEGAL_PARAM},
        {"display of a channel not attached", [&] { return DU_DUZ_RGN_SetDisplayAttr(3, &venc1, &at); },
         DU_ERR_RGN_UNEXIST},
        {"update with no canvas handed out", [] { return DU_DUZ_RGN_UpdateCanvas(3); }, DU_ERR_RGN_NOT_PERM},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ((u32)c.code, (u32)c.call());
    }
    ASSERT_EQ(0, DU_DUZ_RGN_AttachToChn(3, &venc1, &at));
    EXPECT_EQ((u32)DU_ERR_RGN_EXIST, (u32)DU_DUZ_RGN_AttachToChn(3, &venc1, &at));
    ASSERT_EQ(1u, testsupport::events("rgn 3 attach 8 0 1 at 80,1020").size());
    u32 unknown = 3;
    EXPECT_EQ(-1, bd_ioctl(DU_DUZ_RGN_GetFd(), MPI_IOC(MPI_IOC_WRITE, 4, 'R', 14), &unknown));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(Rgn, CanvasesAlternateAndEachIndexKeepsItsMapping)
{
    create(3, overlay(OVERLAY_RGN, 190, 16));
    RGN_CANVAS_REC_S c[3];
    u32 index[3];
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(3, &c[i]));
        index[i] = c[i].pVirtAddr == g_stMpiRgn[3].pVirtAddr[0] ? 0 : 1;
        ASSERT_EQ(0, DU_DUZ_RGN_UpdateCanvas(3));
    }
    EXPECT_EQ(0u, index[0]);
    EXPECT_EQ(1u, index[1]);
    EXPECT_EQ(0u, index[2]);
    EXPECT_NE(c[0].u32PhyAddr, c[1].u32PhyAddr);
    EXPECT_EQ(c[0].pVirtAddr, c[2].pVirtAddr); // reused, not mapped again
    EXPECT_GE(c[0].u32Stride, 380u);
    EXPECT_EQ(190u, c[0].stSize.u32Width);
    EXPECT_EQ(16u, c[0].stSize.u32Height);
    // The mapping is the driver's canvas.
    memset(c[1].pVirtAddr, 0x5A, 4);
    EXPECT_EQ(0x5A, sim::phys(c[1].u32PhyAddr)[3]);
    EXPECT_EQ(2u, testsupport::events("trace mmap /dev/mem").size());
}

TEST_F(Rgn, ReCreatedCanvasesAreMappedAgain)
{
    create(3, overlay(OVERLAY_RGN, 190, 16));
    RGN_CANVAS_REC_S before, after;
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(3, &before));

    // A new size: the driver re-creates the canvases and says so; the
    // caller sees success and the next canvas is mapped anew.
    RGN_ATTR_REC_S bigger = overlay(OVERLAY_RGN, 380, 32);
    ASSERT_EQ(0, DU_DUZ_RGN_SetAttr(3, &bigger));
    EXPECT_EQ(nullptr, g_stMpiRgn[3].pVirtAddr[0]);
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(3, &after));
    EXPECT_EQ(380u, after.stSize.u32Width);
    memset(after.pVirtAddr, 0x11, after.u32Stride * 32);
    EXPECT_EQ(0x11, sim::phys(after.u32PhyAddr)[after.u32Stride * 32 - 1]);

    // A colour alone changes nothing of the canvases.
    RGN_ATTR_REC_S recolour = bigger;
    recolour.u32BgColor = 0;
    ASSERT_EQ(0, DU_DUZ_RGN_SetAttr(3, &recolour));
    EXPECT_NE(nullptr, g_stMpiRgn[3].pVirtAddr[0]);
}

TEST_F(Rgn, ACanvasThatMovedBehindTheUnitsBackIsMappedAgain)
{
    create(3, overlay(OVERLAY_RGN, 190, 16));
    RGN_CANVAS_REC_S first;
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(3, &first));
    // Another user of the driver destroys and re-creates the region: the
    // unit's entry still holds a mapping of canvas 0 at its old place.
    s32 fd = DU_DUZ_RGN_GetFd();
    u32 handle = 3;
    ASSERT_EQ(0, bd_ioctl(fd, RGN_DESTROY_CTRL, &handle));
    create(5, overlay(OVERLAY_RGN, 190, 16)); // takes the freed memory
    RGN_ATTR_REQ_S req = {3, overlay(OVERLAY_RGN, 190, 16)};
    ASSERT_EQ(0, bd_ioctl(fd, RGN_CREATE_CTRL, &req));

    RGN_CANVAS_REC_S moved;
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(3, &moved));
    ASSERT_NE(first.u32PhyAddr, moved.u32PhyAddr);
    // Drawing through what the unit hands out reaches the canvas as it is now.
    ASSERT_EQ(first.u32Stride, moved.u32Stride);
    memset(moved.pVirtAddr, 0x77, moved.u32Stride * 16);
    EXPECT_EQ(0x77, sim::phys(moved.u32PhyAddr)[0]);
    EXPECT_EQ(0x77, sim::phys(moved.u32PhyAddr)[moved.u32Stride * 16 - 1]);
}

TEST_F(Rgn, DestroyUnmapsAndClosesTheMemoryDescriptorKeepingOtherHandlesMapped)
{
    create(3, overlay(OVERLAY_RGN, 190, 16));
    create(4, overlay(OVERLAYEX_RGN, 190, 16));
    // Never mapped: the descriptor is closed all the same.
    ASSERT_EQ(0, DU_DUZ_RGN_Destroy(4));
    made_.pop_back();
    EXPECT_EQ(-1, g_s32RgnMemFd);

    create(4, overlay(OVERLAYEX_RGN, 190, 16));
    RGN_CANVAS_REC_S c3, c4;
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(3, &c3));
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(4, &c4));
    EXPECT_GE(g_s32RgnMemFd, 0);
    ASSERT_EQ(0, DU_DUZ_RGN_Destroy(4));
    made_.pop_back();
    EXPECT_EQ(-1, g_s32RgnMemFd);
    EXPECT_EQ(nullptr, g_stMpiRgn[4].pVirtAddr[0]);
    EXPECT_EQ(0u, g_stMpiRgn[4].u32PhyAddr);
    static_cast<u8 *>(c3.pVirtAddr)[0] = 0x42; // handle 3's canvas is still mapped
    EXPECT_EQ(0x42, sim::phys(c3.u32PhyAddr)[0]);
    // A failing destroy leaves the entry alone.
    EXPECT_EQ((u32)DU_ERR_RGN_UNEXIST, (u32)DU_DUZ_RGN_Destroy(4));
}

TEST_F(Rgn, TheShownCanvasIsBlendedIntoTheAttachedChannelOnly)
{
    create(3, overlay(OVERLAY_RGN, 64, 16));
    MPP_CHN_ADDR_S venc1 = {DU_ID_VENC, 0, 1};
    RGN_CHN_ATTR_REC_S at = shown_at(OVERLAY_RGN, 32, 8);
    ASSERT_EQ(0, DU_DUZ_RGN_AttachToChn(3, &venc1, &at));
    sim::ChnAddr on{DU_ID_VENC, 0, 1}, other{DU_ID_VENC, 0, 0};

    // Nothing is shown before the first update.
    EXPECT_FALSE(sim::video::overlay_on(on));
    // Left half ink, right half clear.
    draw(3, [](u32 x, u32) { return x < 32 ? kInk : kClear; });
    EXPECT_TRUE(sim::video::overlay_on(on));
    EXPECT_FALSE(sim::video::overlay_on(other));

    GreyPicture p(320, 240);
    sim::video::blend_overlays(other, *p.pic);
    EXPECT_EQ(100, p.y(40, 10));
    sim::video::blend_overlays(on, *p.pic);
    EXPECT_EQ(235, p.y(32, 8));  // white ink, opaque
    EXPECT_EQ(235, p.y(63, 23));
    EXPECT_EQ(100, p.y(64, 8));  // transparent half
    EXPECT_EQ(100, p.y(31, 8));  // left of the region
    EXPECT_EQ(100, p.y(40, 24)); // below it
    EXPECT_EQ(128, p.pic->vu()[4 * p.pic->stride + 32]); // white has no colour

    // Half the foreground alpha blends half way; hiding it shows nothing.
    RGN_CHN_ATTR_REC_S half = at;
    half.u32FgAlpha = 64;
    ASSERT_EQ(0, DU_DUZ_RGN_SetDisplayAttr(3, &venc1, &half));
    GreyPicture q(320, 240);
    sim::video::blend_overlays(on, *q.pic);
    EXPECT_EQ((235 + 100) / 2, q.y(32, 8));
    half.bShow = 0;
    ASSERT_EQ(0, DU_DUZ_RGN_SetDisplayAttr(3, &venc1, &half));
    EXPECT_FALSE(sim::video::overlay_on(on));
    RGN_CHN_ATTR_REC_S got;
    ASSERT_EQ(0, DU_DUZ_RGN_GetDisplayAttr(3, &venc1, &got));
    EXPECT_EQ(64u, got.u32FgAlpha);
    ASSERT_EQ(0, DU_DUZ_RGN_DetachFromChn(3, &venc1));
    EXPECT_EQ((u32)DU_ERR_RGN_UNEXIST, (u32)DU_DUZ_RGN_DetachFromChn(3, &venc1));
}

TEST_F(Rgn, DoubleBufferingShowsOnlyWhatWasUpdated)
{
    create(4, overlay(OVERLAYEX_RGN, 64, 16));
    MPP_CHN_ADDR_S vpss2 = {DU_ID_VPSS, 0, 2};
    RGN_CHN_ATTR_REC_S at = shown_at(OVERLAYEX_RGN, 0, 0);
    ASSERT_EQ(0, DU_DUZ_RGN_AttachToChn(4, &vpss2, &at));
    sim::ChnAddr on{DU_ID_VPSS, 0, 2};
    draw(4, [](u32, u32) { return kInk; });

    // Drawing into the next canvas does not reach the picture until updated.
    RGN_CANVAS_REC_S c;
    ASSERT_EQ(0, DU_DUZ_RGN_GetCanvasInfo(4, &c));
    memset(c.pVirtAddr, 0, c.u32Stride * 16);
    GreyPicture a(128, 64);
    sim::video::blend_overlays(on, *a.pic);
    EXPECT_EQ(235, a.y(10, 10));
    ASSERT_EQ(0, DU_DUZ_RGN_UpdateCanvas(4));
    GreyPicture b(128, 64);
    sim::video::blend_overlays(on, *b.pic);
    EXPECT_EQ(100, b.y(10, 10));
}

TEST_F(Rgn, BitmapsAreDrawnAndShown)
{
    create(3, overlay(OVERLAY_RGN, 64, 16));
    MPP_CHN_ADDR_S venc0 = {DU_ID_VENC, 0, 0};
    RGN_CHN_ATTR_REC_S at = shown_at(OVERLAY_RGN, 0, 0);
    ASSERT_EQ(0, DU_DUZ_RGN_AttachToChn(3, &venc0, &at));
    sim::ChnAddr on{DU_ID_VENC, 0, 0};

    std::vector<u16> full(64 * 16, kInk);
    BITMAP_S bmp = {PIXEL_FORMAT_RGB_1555, 64, 16, full.data()};
    ASSERT_EQ(0, DU_DUZ_RGN_SetBitMap(3, &bmp));
    GreyPicture a(128, 64);
    sim::video::blend_overlays(on, *a.pic);
    EXPECT_EQ(235, a.y(0, 0));
    EXPECT_EQ(235, a.y(63, 15));

    // A piece cleared over what is shown: the rest stays.
    std::vector<u16> hole(8 * 4, kClear);
    RGN_BMP_UPDATE_CFG_REC_S upd{};
    upd.u32BmpCnt = 1;
    upd.astBmpUpdate[0] = {16, 4, {PIXEL_FORMAT_RGB_1555, 8, 4, hole.data()}, 0};
    ASSERT_EQ(0, DU_DUZ_RGN_UpdateBitMap(3, &upd));
    GreyPicture b(128, 64);
    sim::video::blend_overlays(on, *b.pic);
    EXPECT_EQ(100, b.y(16, 4));
    EXPECT_EQ(100, b.y(23, 7));
    EXPECT_EQ(235, b.y(24, 4));
    EXPECT_EQ(235, b.y(0, 0));

    BITMAP_S wrong = {6, 64, 16, full.data()};
    EXPECT_EQ((u32)DU_ERR_RGN_ILLEGAL_PARAM, (u32)DU_DUZ_RGN_SetBitMap(3, &wrong));
    upd.u32BmpCnt = 17;
    EXPECT_EQ((u32)DU_ERR_RGN_ILLEGAL_PARAM, (u32)DU_DUZ_RGN_UpdateBitMap(3, &upd));
    u32 field = 9;
    ASSERT_EQ(0, DU_DUZ_RGN_SetAttachField(3, 1));
    ASSERT_EQ(0, DU_DUZ_RGN_GetAttachField(3, &field));
    EXPECT_EQ(1u, field);
}

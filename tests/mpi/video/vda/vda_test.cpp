// The video detection unit: argument checks from one table, the result
// buffer's mapping and its clean-up, and the driver's per-macroblock sums of
// absolute differences on pictures the test sends.
#include "mpi/video/vda/mpi_vda.h"
#include "tests/support/arg_rules.h"

#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

using argrules::Case;

namespace {

constexpr s32 kBadChn = (s32)0xA0098002, kNull = (s32)0xA0098006;
const char *kBind = "ioctl /dev/vda 0x40044d0d";

VDA_CHN_ATTR_REC_S md_attr(u32 w, u32 h, u32 mb = VDA_MB_16PIXEL, u32 bits = VDA_MB_SAD_8BIT, u32 interval = 1,
                           u32 bufs = 8, u32 th = 60)
{
    VDA_CHN_ATTR_REC_S a;
    memset(&a, 0, sizeof a);
    a.enWorkMode = VDA_WORK_MODE_MD;
    a.unAttr.stMdAttr = {VDA_ALG_REF, mb, bits, VDA_REF_MODE_DYNAMIC, bufs, interval, 128, th, 128};
    a.u32Width = w;
    a.u32Height = h;
    return a;
}

// An NV21 picture in DDR that the test draws into.
struct TestPic {
    u32 w, h, phys;
    TestPic(u32 width, u32 height) : w(width), h(height), phys(sim::phys_alloc(w * h * 3 / 2)) {}
    ~TestPic() { sim::phys_free(phys); }
    u8 *y() const { return sim::phys(phys); }
    void fill(u8 luma) const
    {
        memset(y(), luma, w * h);
        memset(y() + w * h, 128, w * h / 2);
    }
    void box(u32 x0, u32 y0, u32 bw, u32 bh, u8 luma) const
    {
        for (u32 r = y0; r < y0 + bh; r++)
            memset(y() + r * w + x0, luma, bw);
    }
    VIDEO_FRAME_REC_S frame(u64 pts) const
    {
        VIDEO_FRAME_REC_S f;
        memset(&f, 0, sizeof f);
        f.u32Width = w;
        f.u32Height = h;
        f.enPixelFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
        f.u32PhyAddr[0] = phys;
        f.u32PhyAddr[1] = f.u32PhyAddr[2] = phys + w * h;
        f.u32Stride[0] = f.u32Stride[1] = f.u32Stride[2] = w;
        f.u64pts = pts;
        return f;
    }
};

class Vda : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
        forget_descriptors();
    }
    void TearDown() override
    {
        for (VDA_CHN c = 0; c < VDA_MAX_CHN_NUM; c++)
            if (g_stMpiVda[c].s32Fd >= 0)
                DU_DUZ_VDA_DestroyChn(c);
        forget_descriptors();
    }
    // The unit holds its descriptors for the process's life; each test
    // starts from a process that has none.
    static void forget_descriptors()
    {
        for (VDA_CHN_MAP_S &m : g_stMpiVda) {
            if (m.s32Fd >= 0)
                bd_close(m.s32Fd);
            m.s32Fd = -1;
        }
    }

    // Channel 0 created and receiving.
    static void start(const VDA_CHN_ATTR_REC_S &a)
    {
        ASSERT_EQ(0, DU_DUZ_VDA_CreateChn(0, &a));
        ASSERT_EQ(0, DU_DUZ_VDA_StartRecvPic(0));
    }

    void send(VDA_CHN c, const TestPic &p, u64 pts) const
    {
        VIDEO_FRAME_REC_S f = p.frame(pts);
        ASSERT_EQ(0, DU_DUZ_VDA_SendPic(c, &f, 0));
    }

    // The macroblock value at (col, row) of a result.
    static u32 sad_at(const VDA_DATA_REC_S &d, u32 col, u32 row)
    {
        const u8 *p = static_cast<const u8 *>(d.pAddr) + row * d.u32Stride;
        if (d.enMbSadBits == VDA_MB_SAD_8BIT)
            return p[col];
        u16 v;
        memcpy(&v, p + col * 2, 2);
        return v;
    }
};

} // namespace

TEST_F(Vda, ChannelNumbersAreRefusedBeforeAnyOpen)
{
    static VDA_CHN_ATTR_REC_S attr = md_attr(320, 240);
    static VDA_DATA_REC_S data;
    static VDA_CHN_STAT_S stat;
    static VDA_REF_REC_S ref;
    static VIDEO_FRAME_REC_S frame;
    std::vector<Case> cases = {
        {"create 32", [] { return DU_DUZ_VDA_CreateChn(32, &attr); }, kBadChn, ""},
        {"create -1", [] { return DU_DUZ_VDA_CreateChn(-1, &attr); }, kBadChn, ""},
        {"channel before null", [] { return DU_DUZ_VDA_CreateChn(33, nullptr); }, kBadChn, ""},
        {"destroy 32", [] { return DU_DUZ_VDA_DestroyChn(32); }, kBadChn, ""},
        {"attributes of 40", [] { return DU_DUZ_VDA_GetChnAttr(40, &attr); }, kBadChn, ""},
        {"set attributes of 32", [] { return DU_DUZ_VDA_SetChnAttr(32, &attr); }, kBadChn, ""},
        {"start 32", [] { return DU_DUZ_VDA_StartRecvPic(32); }, kBadChn, ""},
        {"stop -5", [] { return DU_DUZ_VDA_StopRecvPic(-5); }, kBadChn, ""},
        {"data of 32", [] { return DU_DUZ_VDA_GetData(32, &data, -1); }, kBadChn, ""},
        {"release on 32", [] { return DU_DUZ_VDA_ReleaseData(32, &data); }, kBadChn, ""},
        {"region reset on 32", [] { return DU_DUZ_VDA_ResetOdRegion(32, 0); }, kBadChn, ""},
        {"query 32", [] { return DU_DUZ_VDA_Query(32, &stat); }, kBadChn, ""},
        {"reference of 32", [] { return DU_DUZ_VDA_UpdateRef(32, &ref); }, kBadChn, ""},
        {"picture to 32", [] { return DU_DUZ_VDA_SendPic(32, &frame, 0); }, kBadChn, ""},
        {"descriptor of 32", [] { return DU_DUZ_VDA_GetFd(32); }, kBadChn, ""},
    };
    argrules::run(cases, argrules::device("/dev/vda"));
    for (const VDA_CHN_MAP_S &m : g_stMpiVda)
        EXPECT_EQ(-1, m.s32Fd);
}

// The descriptor is opened and bound before the record is looked at.
TEST_F(Vda, NullRecordsAreRefusedAfterTheOpen)
{
    std::vector<Case> cases = {
        {"create", [] { return DU_DUZ_VDA_CreateChn(0, nullptr); }, kNull, ""},
        {"attributes", [] { return DU_DUZ_VDA_GetChnAttr(0, nullptr); }, kNull, ""},
        {"set attributes", [] { return DU_DUZ_VDA_SetChnAttr(1, nullptr); }, kNull, ""},
        {"data", [] { return DU_DUZ_VDA_GetData(0, nullptr, 0); }, kNull, ""},
        {"release", [] { return DU_DUZ_VDA_ReleaseData(0, nullptr); }, kNull, ""},
        {"query", [] { return DU_DUZ_VDA_Query(31, nullptr); }, kNull, ""},
        {"reference", [] { return DU_DUZ_VDA_UpdateRef(0, nullptr); }, kNull, ""},
        {"picture", [] { return DU_DUZ_VDA_SendPic(0, nullptr, 0); }, kNull, ""},
    };
    argrules::run(cases, argrules::device("/dev/vda", true, kBind));
    EXPECT_GE(g_stMpiVda[0].s32Fd, 0);
    EXPECT_GE(g_stMpiVda[1].s32Fd, 0);
    EXPECT_GE(g_stMpiVda[31].s32Fd, 0);
    EXPECT_EQ(3u, testsupport::events(kBind).size());
    EXPECT_EQ(nullptr, g_stMpiVda[0].pVirAddr); // nothing created, nothing mapped
}

TEST_F(Vda, DriverRefusesWhatItCannotDo)
{
    struct Cs {
        const char *name;
        VDA_CHN_ATTR_REC_S attr;
        s32 code;
    };
    VDA_CHN_ATTR_REC_S od = md_attr(320, 240), bg = md_attr(320, 240), user_ref = md_attr(320, 240);
    od.enWorkMode = 1;
    bg.unAttr.stMdAttr.enVdaAlg = 0;
    user_ref.unAttr.stMdAttr.enRefMode = 2;
    Cs cases[] = {
        {"other work mode", od, ERR_VDA_NOT_SUPPORT},
        {"background algorithm", bg, ERR_VDA_NOT_SUPPORT},
        {"user reference", user_ref, ERR_VDA_NOT_SUPPORT},
        {"macroblock code 2", md_attr(320, 240, 2), ERR_VDA_ILLEGAL_PARAM},
        {"SAD width code 2", md_attr(320, 240, VDA_MB_16PIXEL, 2), ERR_VDA_ILLEGAL_PARAM},
        {"no result buffers", md_attr(320, 240, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, 1, 0), ERR_VDA_ILLEGAL_PARAM},
        {"961 wide", md_attr(961, 240), ERR_VDA_ILLEGAL_PARAM},
        {"961 high", md_attr(320, 961), ERR_VDA_ILLEGAL_PARAM},
        {"8 wide", md_attr(8, 240), ERR_VDA_ILLEGAL_PARAM},
    };
    for (const Cs &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.code, DU_DUZ_VDA_CreateChn(0, &c.attr));
        EXPECT_EQ(nullptr, g_stMpiVda[0].pVirAddr);
    }
    VDA_CHN_ATTR_REC_S a = md_attr(960, 960);
    ASSERT_EQ(0, DU_DUZ_VDA_CreateChn(0, &a));
    EXPECT_EQ(ERR_VDA_EXIST, DU_DUZ_VDA_CreateChn(0, &a));
    EXPECT_EQ(ERR_VDA_NOT_SUPPORT, DU_DUZ_VDA_ResetOdRegion(0, 0));
    // Interval and threshold may change; what shapes the buffer may not.
    VDA_CHN_ATTR_REC_S b = a;
    b.unAttr.stMdAttr.u32VdaIntvl = 15;
    b.unAttr.stMdAttr.u32SadTh = 80;
    EXPECT_EQ(0, DU_DUZ_VDA_SetChnAttr(0, &b));
    b.u32Width = 320;
    EXPECT_EQ(ERR_VDA_NOT_PERM, DU_DUZ_VDA_SetChnAttr(0, &b));
    VDA_CHN_ATTR_REC_S got;
    ASSERT_EQ(0, DU_DUZ_VDA_GetChnAttr(0, &got));
    EXPECT_EQ(15u, got.unAttr.stMdAttr.u32VdaIntvl);
    EXPECT_EQ(960u, got.u32Width);
}

// Creating maps the result buffer; destroying unmaps it once and forgets
// it, so a second destroy has nothing to unmap.
TEST_F(Vda, DestroyUnmapsOnceAndForgets)
{
    VDA_CHN_ATTR_REC_S a = md_attr(320, 240);
    ASSERT_EQ(0, DU_DUZ_VDA_CreateChn(0, &a));
    const VDA_CHN_MAP_S &m = g_stMpiVda[0];
    ASSERT_NE(nullptr, m.pVirAddr);
    EXPECT_GT(m.u32Size, 0u);
    EXPECT_GE(m.u32MapLen, m.u32Size);
    EXPECT_EQ(0u, m.u32MapLen % 4096);
    EXPECT_EQ(static_cast<u8 *>(m.pMapStart) + m.u32PhyAddr % 4096, m.pVirAddr);
    // The mapping shows the board's memory.
    sim::phys(m.u32PhyAddr)[7] = 0x42;
    EXPECT_EQ(0x42, static_cast<const u8 *>(m.pVirAddr)[7]);

    EXPECT_EQ(0, DU_DUZ_VDA_DestroyChn(0));
    EXPECT_EQ(nullptr, m.pMapStart);
    EXPECT_EQ(0u, m.u32MapLen);
    EXPECT_EQ(nullptr, m.pVirAddr);
    EXPECT_EQ(ERR_VDA_UNEXIST, DU_DUZ_VDA_DestroyChn(0));
    EXPECT_GE(m.s32Fd, 0); // the descriptor is kept for the next create

    ASSERT_EQ(0, DU_DUZ_VDA_CreateChn(0, &a));
    EXPECT_NE(nullptr, m.pVirAddr);
    EXPECT_EQ(1u, testsupport::events(kBind).size());
}

// A creation that fails after the driver made the channel takes it down
// again and keeps nothing of the buffer: the same creation then fails the
// same way instead of finding the channel there.
TEST_F(Vda, AFailedCreationTakesTheChannelDownAgain)
{
    struct Case {
        const char *name;
        std::string conf;
        bool unmappable; // the memory descriptor maps nothing
        s32 code;
        const char *err;
        size_t destroys; // of the driver's channel, per creation
    } cases[] = {
        {"the driver refuses the channel", "vda_refuse = " + std::to_string(VDA_CREATE_CHN) + "\n", false, -1, "", 0},
        {"the driver keeps the buffer's place", "vda_refuse = " + std::to_string(VDA_GET_BUF) + "\n", false, -1, "",
         1},
        {"the buffer cannot be mapped", "", true, ERR_VDA_NOMEM, "mmap err,page addr:", 1},
    };
    char destroy[64];
    snprintf(destroy, sizeof destroy, "ioctl /dev/vda 0x%08lx", (unsigned long)VDA_DESTROY_CHN);
    const VDA_CHN_ATTR_REC_S a = md_attr(320, 240);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        forget_descriptors();
        if (g_s32VdaMemFd >= 0)
            bd_close(g_s32VdaMemFd);
        g_s32VdaMemFd = -1;
        testsupport::write_conf(root_, "trace = 1\n" + c.conf);
        sim::start(root_);
        int pipe_fds[2] = {-1, -1};
        if (c.unmappable) {
            ASSERT_EQ(0, pipe(pipe_fds));
            g_s32VdaMemFd = pipe_fds[0];
        }
        for (int round = 0; round < 2; round++) {
            SCOPED_TRACE(round);
            s32 ret = 0;
            std::string out = testsupport::capture_stdout([&] { ret = DU_DUZ_VDA_CreateChn(0, &a); });
            EXPECT_EQ(c.code, ret);
            EXPECT_NE(std::string::npos, out.find(c.err)) << out;
            EXPECT_EQ(c.destroys * (round + 1), testsupport::events(destroy).size());
            const VDA_CHN_MAP_S &m = g_stMpiVda[0];
            EXPECT_EQ(nullptr, m.pMapStart);
            EXPECT_EQ(nullptr, m.pVirAddr);
            EXPECT_EQ(0u, m.u32Size);
        }
        if (c.unmappable) {
            g_s32VdaMemFd = -1;
            close(pipe_fds[0]);
            close(pipe_fds[1]);
        }
    }
}

// The SAD of each macroblock: as 8-bit values the mean difference per pixel,
// as 16-bit values the sum; partial macroblocks at the edges count their own
// pixels. Macroblocks above the threshold make objects.
TEST_F(Vda, MacroblockDifferencesAndObjects)
{
    struct Cs {
        const char *name;
        u32 w, h, mb, bits, th;
        u32 bx, by, bw, bh; // the box that changes by 80
        u32 cols, rows;
        std::vector<std::pair<u32, u32>> hot; // macroblocks inside the box
        u32 value;
    } cases[] = {
        {"16x16, 8-bit", 64, 48, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, 60, 16, 16, 16, 16, 4, 3, {{1, 1}}, 80},
        {"16x16, 16-bit", 64, 48, VDA_MB_16PIXEL, VDA_MB_SAD_16BIT, 60 * 256, 16, 16, 16, 16, 4, 3, {{1, 1}}, 80 * 256},
        {"8x8, 8-bit", 64, 48, VDA_MB_8PIXEL, VDA_MB_SAD_8BIT, 60, 16, 16, 16, 16, 8, 6,
         {{2, 2}, {3, 2}, {2, 3}, {3, 3}}, 80},
        {"partial edge block", 40, 24, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, 60, 32, 16, 8, 8, 3, 2, {{2, 1}}, 80},
    };
    for (const Cs &c : cases) {
        SCOPED_TRACE(c.name);
        VDA_CHN_ATTR_REC_S a = md_attr(c.w, c.h, c.mb, c.bits, 1, 8, c.th);
        start(a);
        TestPic p(c.w, c.h);
        p.fill(100);
        send(0, p, 1000); // the first picture is only the reference
        p.box(c.bx, c.by, c.bw, c.bh, 180);
        send(0, p, 2000);

        VDA_DATA_REC_S d;
        ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d, 0));
        VDA_DATA_REC_S more;
        EXPECT_EQ(ERR_VDA_BUF_EMPTY, DU_DUZ_VDA_GetData(0, &more, 0)); // one result for two pictures
        EXPECT_EQ(VDA_WORK_MODE_MD, d.enWorkMode);
        ASSERT_EQ(1u, d.bMbSadValid);
        EXPECT_EQ(c.cols, d.u32MbWidth);
        EXPECT_EQ(c.rows, d.u32MbHeight);
        EXPECT_EQ(c.bits, d.enMbSadBits);
        EXPECT_GE(d.u32Stride, c.cols * (c.bits == VDA_MB_SAD_8BIT ? 1 : 2));
        EXPECT_EQ(2000u, d.u64Pts);
        // The array lies in the mapped buffer.
        const VDA_CHN_MAP_S &m = g_stMpiVda[0];
        const u8 *base = static_cast<const u8 *>(m.pVirAddr);
        EXPECT_GE(static_cast<const u8 *>(d.pAddr), base);
        EXPECT_LE(static_cast<const u8 *>(d.pAddr) + d.u32Stride * d.u32MbHeight, base + m.u32Size);
        for (u32 r = 0; r < c.rows; r++)
            for (u32 col = 0; col < c.cols; col++) {
                bool hot = std::find(c.hot.begin(), c.hot.end(), std::make_pair(col, r)) != c.hot.end();
                EXPECT_EQ(hot ? c.value : 0u, sad_at(d, col, r)) << "macroblock " << col << "," << r;
            }
        ASSERT_EQ(1u, d.bMbObjValid);
        ASSERT_EQ(1u, d.u32ObjNum);
        const VDA_OBJ_S &o = d.pstAddr[0];
        EXPECT_EQ(c.bx, o.u16Left);
        EXPECT_EQ(c.by, o.u16Top);
        EXPECT_EQ(c.bx + c.bw, o.u16Right);
        EXPECT_EQ(c.by + c.bh, o.u16Bottom);
        EXPECT_EQ(c.bw * c.bh, d.u32SizeOfMaxObj);
        EXPECT_EQ(1u, d.bPelsNumValid);
        EXPECT_EQ(c.bw * c.bh, d.u32AlarmPixCnt);
        EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d));
        EXPECT_EQ(ERR_VDA_ILLEGAL_PARAM, DU_DUZ_VDA_ReleaseData(0, &d)); // not held any more

        // Nothing moves: a result all the same, all zero.
        send(0, p, 3000);
        ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d, 0));
        for (u32 r = 0; r < c.rows; r++)
            for (u32 col = 0; col < c.cols; col++)
                EXPECT_EQ(0u, sad_at(d, col, r));
        EXPECT_EQ(0u, d.u32ObjNum);
        EXPECT_EQ(0u, d.u32AlarmPixCnt);
        EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d));
        ASSERT_EQ(0, DU_DUZ_VDA_StopRecvPic(0));
        ASSERT_EQ(0, DU_DUZ_VDA_DestroyChn(0));
    }
}

// Every interval-th picture is analysed, against the one analysed before.
TEST_F(Vda, IntervalPicksPicturesAndTheReference)
{
    VDA_CHN_ATTR_REC_S a = md_attr(32, 32, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, 3);
    start(a);
    TestPic p(32, 32);
    for (u32 k = 1; k <= 9; k++) {
        p.fill((u8)(100 + k));
        send(0, p, k);
    }
    VDA_CHN_STAT_S st;
    ASSERT_EQ(0, DU_DUZ_VDA_Query(0, &st));
    EXPECT_EQ(1u, st.bStartRecvPic);
    EXPECT_EQ(2u, st.u32LeftRst); // pictures 6 and 9 against 3 and 6
    for (u64 pts : {6u, 9u}) {
        VDA_DATA_REC_S d;
        ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d, 0));
        EXPECT_EQ(pts, d.u64Pts);
        EXPECT_EQ(3u, sad_at(d, 0, 0));
        EXPECT_EQ(3u, sad_at(d, 1, 1));
        EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d));
    }
    // A stopped channel takes no pictures.
    ASSERT_EQ(0, DU_DUZ_VDA_StopRecvPic(0));
    VIDEO_FRAME_REC_S f = p.frame(10);
    EXPECT_EQ(ERR_VDA_NOT_PERM, DU_DUZ_VDA_SendPic(0, &f, 0));
}

// With every slot held by the caller new pictures are dropped; with slots
// waiting, the oldest waiting result makes room for the newest.
TEST_F(Vda, FullBufferKeepsTheNewestResults)
{
    VDA_CHN_ATTR_REC_S a = md_attr(32, 32, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, 1, 2);
    start(a);
    TestPic p(32, 32);
    p.fill(100);
    for (u64 k = 0; k <= 5; k++)
        send(0, p, k);
    VDA_DATA_REC_S d1, d2, d3;
    ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d1, 0));
    ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d2, 0));
    EXPECT_EQ(4u, d1.u64Pts);
    EXPECT_EQ(5u, d2.u64Pts);
    EXPECT_NE(d1.pAddr, d2.pAddr);
    send(0, p, 6);
    EXPECT_EQ(ERR_VDA_BUF_EMPTY, DU_DUZ_VDA_GetData(0, &d3, 0));
    EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d1));
    send(0, p, 7);
    ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d3, 0));
    EXPECT_EQ(7u, d3.u64Pts);
    EXPECT_EQ(d1.pAddr, d3.pAddr); // the freed slot
    EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d2));
    EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d3));
}

// The descriptor of a fresh channel is bound and usable with select: it is
// readable exactly while a result waits.
TEST_F(Vda, DescriptorIsReadableWhileAResultWaits)
{
    s32 fd = DU_DUZ_VDA_GetFd(0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fd, DU_DUZ_VDA_GetFd(0));
    EXPECT_EQ(1u, testsupport::events(kBind).size());
    auto readable = [fd] {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv = {0, 0};
        return select(fd + 1, &set, nullptr, nullptr, &tv) == 1;
    };
    VDA_CHN_ATTR_REC_S a = md_attr(32, 32);
    start(a);
    EXPECT_FALSE(readable());
    TestPic p(32, 32);
    p.fill(90);
    send(0, p, 1);
    EXPECT_FALSE(readable()); // a reference, no result
    send(0, p, 2);
    EXPECT_TRUE(readable());
    VDA_DATA_REC_S d;
    ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d, -1));
    EXPECT_FALSE(readable());
    EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d));
}

// A result whose addresses fall outside the channel's mapped buffer is
// handed back to the driver and reported, not passed on.
TEST_F(Vda, ResultOutsideTheBufferIsRefused)
{
    VDA_CHN_ATTR_REC_S a = md_attr(32, 32, VDA_MB_16PIXEL, VDA_MB_SAD_8BIT, 1, 1);
    start(a);
    TestPic p(32, 32);
    p.fill(90);
    send(0, p, 1);
    send(0, p, 2);
    u32 size = g_stMpiVda[0].u32Size;
    g_stMpiVda[0].u32Size = 8; // the unit's idea of the buffer no longer holds the array
    VDA_DATA_REC_S d, before;
    memset(&d, 0x5A, sizeof d);
    before = d;
    EXPECT_EQ(ERR_VDA_BADADDR, DU_DUZ_VDA_GetData(0, &d, 0));
    EXPECT_EQ(0, memcmp(&before, &d, sizeof d));
    g_stMpiVda[0].u32Size = size;
    // The one slot came back: the next picture makes a result.
    send(0, p, 3);
    ASSERT_EQ(0, DU_DUZ_VDA_GetData(0, &d, 0));
    EXPECT_EQ(3u, d.u64Pts);
    EXPECT_EQ(0, DU_DUZ_VDA_ReleaseData(0, &d));
}

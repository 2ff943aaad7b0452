// Intra refresh by I slices and the slice-transcoding hook: arming checks the
// channel, an armed channel hands every stream it retrieves to
// "libslice_trans.so" (the tests' own, found by the dynamic loader on the
// test's path) with a work buffer that grows with the frames, and the
// library goes at channel destruction. A library that cannot be loaded or
// started costs no stream.
#include "mpi/video/venc/venc_call.h"
#include "mpi/video/venc/venc_requests.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"
#include "tests/support/slice_trans/slice_lib.h"

using namespace videotest;
using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

constexpr s32 kNotSupported = (s32)0xA0088008;

size_t count(const std::string &text, const std::string &piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        n++;
    return n;
}

class VencSlice : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        start_vi(1280, 720, 30);
        start_vpss(1, 640, 360);
        ASSERT_TRUE(slicetest::install());
        ASSERT_TRUE(lib_.open()) << dlerror();
        lib_.log().u32Count = 0;
        lib_.set_init_result(0);
        lib_.touch(true);
    }
    void TearDown() override
    {
        drop(1);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_SYS_Exit();
        lib_.close();
        slicetest::uninstall();
    }

    static VENC_CHN_ATTR_REC_S h264(u32 buf_size = 640 * 360 * 2)
    {
        VENC_CHN_ATTR_REC_S a = video_attr(PT_H264, 640, 360, 10, 2048, 30, 30);
        a.stVideo.u32BufSize = buf_size;
        return a;
    }
    // Arms the channel for refresh by I slices. The board's encoder codes no
    // I slices among P slices and refuses the record; the arming stands
    // whatever the driver answers.
    static ::testing::AssertionResult arm(VENC_CHN chn)
    {
        VENC_INTRA_REFRESH_REC_S r = {1, 1, {0, 0}};
        s32 ret = DU_DUZ_VENC_SetIntraRefresh(chn, &r);
        if (ret != kNotSupported)
            return ::testing::AssertionFailure() << std::hex << "the driver answered 0x" << ret;
        if (g_stMpiVencChn[chn].bSliceTrans != 1)
            return ::testing::AssertionFailure() << "not armed";
        return ::testing::AssertionSuccess();
    }
    static void drop(VENC_CHN chn)
    {
        DU_DUZ_VENC_StopRecvPic(chn);
        MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, chn}, dst = {DU_ID_VENC, 0, chn};
        DU_DUZ_SYS_UnBind(&src, &dst);
        DU_DUZ_VENC_DestroyChn(chn);
    }
    // Streams got and released as the recorder does, with what went to
    // standard output meanwhile.
    static std::vector<Pack> collect_out(int n, std::string *out)
    {
        std::vector<Pack> packs;
        *out = capture_stdout([&] { packs = collect(1, n); });
        return packs;
    }

    slicetest::Library lib_;
};

} // namespace

TEST_F(VencSlice, ArmingRefusesWhatCannotRefreshByISlices)
{
    struct Case {
        const char *name;
        VENC_CHN_ATTR_REC_S attr;
        VENC_INTRA_REFRESH_REC_S refresh;
        std::string message;
    } cases[] = {
        // The payload comes first, whatever the record says.
        {"H.265", video_attr(PT_H265, 640, 360, 10, 2048, 30, 30), {0, 1, {0, 0}},
         "func:DU_DUZ_VENC_SetIntraRefresh, chnid (1) enType is (265),not support refresh ISlice\n"},
        {"not by frame", [] {
             VENC_CHN_ATTR_REC_S a = h264();
             a.stVideo.bByFrame = 0;
             return a;
         }(), {1, 1, {0, 0}}, "func:DU_DUZ_VENC_SetIntraRefresh, chnid (1) bByFrame is (0),not support refresh ISlice\n"},
        {"refresh off", h264(), {0, 1, {0, 0}},
         "func:DU_DUZ_VENC_SetIntraRefresh, chnid (1) bRefreshEnable(0) is not Enable\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(1, &c.attr));
        size_t sent = testsupport::events("ioctl /dev/venc 0x40104579").size();
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = DU_DUZ_VENC_SetIntraRefresh(1, &c.refresh); });
        EXPECT_EQ((u32)kNotSupported, (u32)ret);
        EXPECT_EQ(c.message, err);
        EXPECT_EQ(0u, g_stMpiVencChn[1].bSliceTrans);
        EXPECT_EQ(nullptr, g_stMpiVencChn[1].pu8WorkBuf);
        EXPECT_EQ(sent, testsupport::events("ioctl /dev/venc 0x40104579").size());

        // Without I slices nothing is looked at on this side: the driver
        // judges the record, and its answer comes back unchanged.
        VENC_INTRA_REFRESH_REC_S bad = {5, 0, {7, 9}};
        EXPECT_EQ((u32)0xA0088003, (u32)DU_DUZ_VENC_SetIntraRefresh(1, &bad));
        EXPECT_EQ(sent + 1, testsupport::events("ioctl /dev/venc 0x40104579").size());
        // What it takes it hands back on the read-and-write get.
        VENC_INTRA_REFRESH_REC_S off = {0, 0, {7, 9}}, back = {};
        EXPECT_EQ(0, DU_DUZ_VENC_SetIntraRefresh(1, &off));
        EXPECT_EQ(0, DU_DUZ_VENC_GetIntraRefresh(1, &back));
        EXPECT_EQ(0, memcmp(&off, &back, sizeof off));
        EXPECT_EQ(0u, g_stMpiVencChn[1].bSliceTrans);
        ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    }
}

TEST_F(VencSlice, AnArmedChannelHandsEveryStreamToTheLibrary)
{
    create_venc(1, h264());
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[1];
    ASSERT_TRUE(arm(1));
    EXPECT_EQ(1u, ctx.bSliceTrans);
    // A 32nd of the 460,800-byte stream buffer (14,400) in whole pages.
    const u32 half = 16384;
    EXPECT_EQ(half, ctx.u32WorkBufHalfSize);
    EXPECT_EQ(ctx.pu8WorkBuf + half, ctx.pu8WorkBuf2);
    const u8 *buf = ctx.pu8WorkBuf;
    ASSERT_TRUE(arm(1)); // armed again: the same buffer
    EXPECT_EQ(buf, ctx.pu8WorkBuf);
    EXPECT_TRUE(lib_.calls(SLICE_TRANS_INIT).empty()); // loaded on the first retrieval

    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::string out;
    std::vector<Pack> packs = collect_out(12, &out);
    ASSERT_EQ(12u, packs.size());
    EXPECT_EQ(1u, count(out, "We Open libslice_trans.so. 0x"));

    std::vector<SliceTransCall> init = lib_.calls(SLICE_TRANS_INIT);
    ASSERT_EQ(1u, init.size());
    EXPECT_EQ(162, init[0].s32Param);
    EXPECT_EQ(SLICE_TRANS_INIT, lib_.log().astCall[0].entry);
    std::vector<SliceTransCall> trans = lib_.calls(SLICE_TRANS_TRANSCODE);
    ASSERT_EQ(packs.size(), trans.size());
    for (size_t i = 0; i < trans.size(); i++) {
        SCOPED_TRACE(i);
        const SliceTransCall &t = trans[i];
        EXPECT_EQ(ctx.u32BufTag, t.u32BufTag);
        EXPECT_EQ(1u, t.u32PackNum);
        // Translated: the payload without the driver's header, at its start code.
        EXPECT_EQ(packs[i].bytes.size(), t.u32Total);
        EXPECT_EQ(0, memcmp(t.au8Head, "\0\0\0\1", 4));
        EXPECT_GE((u32)(t.pu8WorkBuf2 - t.pu8WorkBuf), std::min(t.u32Total, ctx.u32StrmBufSize));
    }
    EXPECT_TRUE(lib_.calls(SLICE_TRANS_DEINIT).empty());

    drop(1);
    EXPECT_EQ(1u, lib_.calls(SLICE_TRANS_DEINIT).size());
    EXPECT_EQ(nullptr, ctx.pLibHandle);
    EXPECT_EQ(nullptr, ctx.pu8WorkBuf);
    EXPECT_EQ(nullptr, ctx.pfnAvcDecTransCodeSlice);
}

// The half size starts at a 32nd of the stream buffer in whole pages (a page
// at least) and doubles until it holds the frame, never past the stream
// buffer's size: a frame the ring cannot hold grows it once, then no more.
TEST(VencSliceWorkBuffer, HalvesDoubleUntilTheFrameFitsOrTheRingIsReached)
{
    struct Arm {
        u32 buf, half;
    } arms[] = {{0x100000, 0x8000}, {1000000, 0x8000}, {0x20000, 0x1000}, {16, 0x1000}, {0, 0x1000}};
    for (const Arm &a : arms) {
        SCOPED_TRACE(a.buf);
        EXPECT_EQ(a.half, venc_slice_arm_half(a.buf));
    }
    struct Grow {
        const char *name;
        u32 half, buf;
        std::vector<u32> frames, halves; // the half after each frame
    } grows[] = {
        {"fits", 0x8000, 0x100000, {0x8000, 0x100}, {0x8000, 0x8000}},
        {"once", 0x8000, 0x100000, {0x8001, 0x10000}, {0x10000, 0x10000}},
        {"twice in one go", 0x8000, 0x100000, {0x10001}, {0x20000}},
        {"0x30000 on a buffer of 0x20000", 0x10000, 0x100000, {0x30000, 0x30000}, {0x40000, 0x40000}},
        {"up to the ring", 0x1000, 0x20000, {0x30000, 0x30000, 0x30000}, {0x20000, 0x20000, 0x20000}},
        {"from the least half", 0x1000, 16, {100, 100}, {0x1000, 0x1000}},
    };
    for (const Grow &g : grows) {
        SCOPED_TRACE(g.name);
        u32 half = g.half;
        for (size_t i = 0; i < g.frames.size(); i++) {
            half = venc_slice_grown_half(half, g.frames[i], g.buf);
            EXPECT_EQ(g.halves[i], half) << "frame " << i;
        }
    }
}

// Through the board: a ring of half a picture arms a small buffer; a key
// picture carrying user data grows it, by doubling, and the library always
// gets a buffer that holds the frame (it writes both halves whole under the
// sanitizers).
TEST_F(VencSlice, TheWorkBufferGrowsWithTheFramesOnly)
{
    create_venc(1, h264(640 * 360 / 2));
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[1];
    ASSERT_TRUE(arm(1));
    // 8 KiB of user data ride on the first key picture.
    u8 data[1024];
    for (size_t i = 0; i < sizeof data; i++)
        data[i] = (u8)(i * 7 + 1);
    for (int i = 0; i < 8; i++)
        ASSERT_EQ(0, DU_DUZ_VENC_InsertUserData(1, data, sizeof data));
    const u32 armed = ctx.u32WorkBufHalfSize;
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::string out;
    std::vector<Pack> packs = collect_out(25, &out);
    std::vector<SliceTransCall> trans = lib_.calls(SLICE_TRANS_TRANSCODE);
    ASSERT_EQ(packs.size(), trans.size());
    ASSERT_GT(trans[0].u32Total, armed) << "a key picture larger than the armed half";
    u32 last = armed, grown = 0;
    const u8 *buf = nullptr;
    for (const SliceTransCall &t : trans) {
        u32 half = (u32)(t.pu8WorkBuf2 - t.pu8WorkBuf);
        EXPECT_TRUE(half >= t.u32Total || half >= ctx.u32StrmBufSize) << half << " for " << t.u32Total;
        EXPECT_GE(half, last);
        EXPECT_EQ(0u, half % armed);
        EXPECT_EQ(0u, (half / armed) & (half / armed - 1)) << "a power of two of the armed half";
        if (half != last) {
            grown++;
            EXPECT_GT(t.u32Total, last); // only a frame that did not fit grows it
        } else if (buf) {
            EXPECT_EQ(buf, t.pu8WorkBuf);
        }
        last = half;
        buf = t.pu8WorkBuf;
    }
    EXPECT_GE(grown, 1u);
    EXPECT_EQ(last, ctx.u32WorkBufHalfSize);
}

TEST_F(VencSlice, ALibraryThatFailsToStartCostsNoStream)
{
    lib_.set_init_result(-5);
    create_venc(1, h264());
    ASSERT_TRUE(arm(1));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::vector<Pack> packs;
    std::string err = capture_stderr([&] { packs = collect(1, 4); });
    ASSERT_EQ(4u, packs.size()); // each got and released
    EXPECT_EQ(1u, count(err, "func:DU_DUZ_VENC_GetStream, chnid 1 AvcDec_Init failed with 0xfffffffb")) << err;
    EXPECT_EQ(1u, lib_.calls(SLICE_TRANS_INIT).size());
    EXPECT_TRUE(lib_.calls(SLICE_TRANS_TRANSCODE).empty());
    EXPECT_EQ(0u, g_stMpiVencChn[1].bSliceTrans);
    EXPECT_EQ(nullptr, g_stMpiVencChn[1].pLibHandle);
    EXPECT_EQ(4, decode("h264", packs));

    // Armed again, it is tried again.
    lib_.set_init_result(0);
    ASSERT_TRUE(arm(1));
    std::string out;
    collect_out(2, &out);
    EXPECT_EQ(2u, lib_.calls(SLICE_TRANS_INIT).size());
    EXPECT_EQ(2u, lib_.calls(SLICE_TRANS_TRANSCODE).size());
}

TEST_F(VencSlice, ALibraryThatWontLoadIsTriedOncePerArming)
{
    lib_.close();
    slicetest::uninstall();
    create_venc(1, h264());
    ASSERT_TRUE(arm(1));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::string out, err;
    std::vector<Pack> packs;
    err = capture_stderr([&] { packs = collect_out(4, &out); });
    ASSERT_EQ(4u, packs.size());
    EXPECT_EQ(1u, count(out, "We Open libslice_trans.so. (nil), \n")) << out;
    EXPECT_EQ(1u, count(err, "slice transcoding off until armed again")) << err;
    EXPECT_EQ(0u, g_stMpiVencChn[1].bSliceTrans);

    ASSERT_TRUE(arm(1));
    collect_out(3, &out);
    EXPECT_EQ(1u, count(out, "(nil)"));

    // Once the library is there, the next arming loads it.
    ASSERT_TRUE(slicetest::install());
    ASSERT_TRUE(arm(1));
    collect_out(2, &out);
    EXPECT_EQ(1u, count(out, "We Open libslice_trans.so. 0x"));
    ASSERT_TRUE(lib_.open());
    EXPECT_EQ(1u, lib_.calls(SLICE_TRANS_INIT).size());
    EXPECT_EQ(2u, lib_.calls(SLICE_TRANS_TRANSCODE).size());
}

// New channel attributes disarm the channel; a channel destroyed before any
// retrieval loaded the library calls none of its entries.
TEST_F(VencSlice, NewAttributesDisarmAndDestructionLoadsNothing)
{
    create_venc(1, h264());
    ASSERT_TRUE(arm(1));
    VENC_CHN_ATTR_REC_S attr = h264();
    ASSERT_EQ(0, DU_DUZ_VENC_SetChnAttr(1, &attr));
    EXPECT_EQ(0u, g_stMpiVencChn[1].bSliceTrans);
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::string out;
    EXPECT_EQ(3u, collect_out(3, &out).size());
    EXPECT_EQ("", out);
    drop(1);
    EXPECT_EQ(0u, lib_.log().u32Count);
    EXPECT_EQ(nullptr, g_stMpiVencChn[1].pu8WorkBuf);
}

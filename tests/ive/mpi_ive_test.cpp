// The engine's submission layer: the lazy open of /dev/ive, the handle, the
// query's argument order, the parameter checks' order and messages, and the
// integral image and histogram the camera's analysis relies on.
#include "tests/ive/ive_fixture.h"

#include <atomic>
#include <functional>
#include <thread>

using namespace ivetest;

namespace {

constexpr s32 kIllegal = (s32)0xA01D8003, kNull = (s32)0xA01D8006, kNoDevice = (s32)0xA01D8010;

size_t opens() { return testsupport::events("trace open /dev/ive").size(); }
size_t requests() { return testsupport::events("trace ioctl /dev/ive").size(); }

class Ive : public IveTest {
protected:
    // A 64 x 64 source and a histogram block, both valid.
    void SetUp() override
    {
        IveTest::SetUp();
        src_ = image(IVE_IMAGE_TYPE_U8C1, 64, 64);
        hist_ = block(1024);
    }
    IVE_IMG_DESC_S src_;
    IVE_MEM_BLOCK_S hist_;
};

TEST_F(Ive, QueryTestsItsArgumentsInOrderAndPassesValidHandlesToTheEngine)
{
    struct Case {
        const char *name;
        IVE_TASK_HANDLE handle;
        bool finish_ptr;
        u32 block;
        s32 code;
        const char *message;
        bool reaches_engine;
    };
    const Case cases[] = {
        {"bBlock before the NULL pointer", 5, false, 2, kIllegal, "bBlock (2) must be DU_TRUE or DU_FALSE!\n", false},
        {"NULL finish flag", 5, false, 1, kNull, "pbFinish is NULL\n", false},
        {"handle above the range", 0x10000000, true, 1, kIllegal, "invalid handle\n", false},
        {"negative handle", -1, true, 0, kIllegal, "invalid handle\n", false},
        {"last handle of the range, never issued", 0x0FFFFFFF, true, 1, -1, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = requests();
        u32 finish = 7;
        s32 ret = 0;
        std::string err = testsupport::capture_stderr(
            [&] { ret = DU_DUZ_IVE_Query(c.handle, c.finish_ptr ? &finish : nullptr, c.block); });
        EXPECT_EQ((u32)c.code, (u32)ret);
        if (*c.message) {
            EXPECT_NE(std::string::npos, err.find("[Func]:DU_DUZ_IVE_Query [Line]:")) << err;
            EXPECT_EQ(err.size() - strlen(c.message), err.find(c.message)) << err;
        } else {
            EXPECT_EQ("", err);
        }
        EXPECT_EQ(c.reaches_engine ? before + 1 : before, requests());
        EXPECT_EQ(7u, finish); // untouched unless the engine answered
    }
}

TEST_F(Ive, NoDeviceFailsBeforeTheCheckAndTheNextCallOpensTheDeviceOnceBack)
{
    testsupport::write_conf(root_, "trace = 1\nive = none\n");
    sim::start(root_);
    IVE_TASK_HANDLE handle = 1234;
    s32 ret = 0;
    // A NULL source would fail the check: the missing device is reported first.
    std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_IVE_Hist(&handle, nullptr, &hist_, 0); });
    EXPECT_EQ((u32)kNoDevice, (u32)ret);
    EXPECT_NE(std::string::npos, err.find("[Info]:open /dev/ive err\n")) << err;
    EXPECT_EQ(std::string::npos, err.find("can't be NULL")) << err;
    EXPECT_EQ(1234, handle);
    u32 finish;
    EXPECT_EQ((u32)kNoDevice, (u32)DU_DUZ_IVE_Query(0, &finish, 1));

    testsupport::write_conf(root_, "trace = 1\n");
    sim::start(root_);
    src_ = image(IVE_IMAGE_TYPE_U8C1, 64, 64);
    hist_ = block(1024);
    EXPECT_EQ(0, DU_DUZ_IVE_Hist(&handle, &src_, &hist_, 0));
    EXPECT_EQ(0, handle);
    EXPECT_EQ(0, DU_DUZ_IVE_Hist(&handle, &src_, &hist_, 0));
    EXPECT_EQ(1, handle);
    EXPECT_EQ(1u, opens()); // opened once and kept
}

TEST_F(Ive, FirstCallsFromManyThreadsOpenTheDeviceOnce)
{
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < 8; i++)
        threads.emplace_back([&] {
            IVE_TASK_HANDLE handle;
            if (DU_DUZ_IVE_Hist(&handle, &src_, &hist_, 0) == 0)
                ok++;
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(8, ok.load());
    EXPECT_EQ(1u, opens());
}

TEST_F(Ive, TheHandleIsWrittenOnlyBySubmissions)
{
    IVE_TASK_HANDLE handle = 77;
    IVE_MEM_BLOCK_S small = hist_;
    small.u32Size = 1023;
    std::string err =
        testsupport::capture_stderr([&] { EXPECT_EQ(kIllegal, DU_DUZ_IVE_Hist(&handle, &src_, &small, 0)); });
    EXPECT_EQ(77, handle);
    EXPECT_NE(std::string::npos, err.find("[Func]:IveCheckHistParam [Line]:")) << err;
    EXPECT_NE(std::string::npos,
              err.find("[Info]:pstDst->u32Size(1023) must be greater than or equal to 256*sizof(DU_U32)!\n"));
    EXPECT_NE(std::string::npos, err.find("[Func]:DU_DUZ_IVE_Hist [Line]:")) << err;
    EXPECT_NE(std::string::npos, err.find("[Info]:Error(0xa01d8003): check Hist parameters failed!\n")) << err;

    ASSERT_EQ(0, DU_DUZ_IVE_Hist(&handle, &src_, &hist_, 0));
    EXPECT_EQ(0, handle);
    u32 finish = 0;
    EXPECT_EQ(0, DU_DUZ_IVE_Query(handle, &finish, 1));
    EXPECT_EQ(1u, finish);
    EXPECT_EQ(1u, testsupport::events("ive task 0 Hist").size());
}

TEST_F(Ive, ARefusedSubmissionSetsTheHandleToMinusOne)
{
    extra_conf_ = "ive_refuse = 0xC03C460D\n";
    IveTest::TearDown();
    SetUp();
    IVE_TASK_HANDLE handle = 5;
    EXPECT_EQ(-1, DU_DUZ_IVE_Hist(&handle, &src_, &hist_, 0));
    EXPECT_EQ(-1, handle);
    // Other operators still run.
    IVE_IMG_DESC_S dst = image(IVE_IMAGE_TYPE_U64C1, 64, 64);
    IVE_INTEG_OPT_S ctrl = {0};
    EXPECT_EQ(0, DU_DUZ_IVE_Integ(&handle, &src_, &dst, &ctrl, 1));
    EXPECT_EQ(0, handle);
}

TEST_F(Ive, IntegralModeZeroPacksTheSumAndTheSumOfSquares)
{
    IVE_TASK_HANDLE handle;
    IVE_IMG_DESC_S src = image(IVE_IMAGE_TYPE_U8C1, 32, 16, 32, 1);
    IVE_IMG_DESC_S dst = image(IVE_IMAGE_TYPE_U64C1, 32, 16, 48, 0xEE); // 16 padding elements a line
    IVE_INTEG_OPT_S ctrl = {0};
    ASSERT_EQ(0, DU_DUZ_IVE_Integ(&handle, &src, &dst, &ctrl, 0));
    EXPECT_EQ(0x10000001ull, at<u64>(dst, 0, 0));
    EXPECT_EQ(0x60000006ull, at<u64>(dst, 2, 1));
    EXPECT_EQ(0x2000000200ull, at<u64>(dst, 31, 15));
    for (u32 y = 0; y < 16; y++)
        for (u32 x = 32; x < 48; x++)
            ASSERT_EQ(0xEEEEEEEEEEEEEEEEull, at<u64>(dst, x, y)) << x << "," << y;

    for (u32 y = 0; y < 16; y++)
        for (u32 x = 0; x < 32; x++)
            *px(src, x, y) = (u8)(x + y);
    ASSERT_EQ(0, DU_DUZ_IVE_Integ(&handle, &src, &dst, &ctrl, 0));
    EXPECT_EQ(0x4F7000002E00ull, at<u64>(dst, 31, 15));
}

TEST_F(Ive, HistogramCountsOnlyTheImageNotItsStridePadding)
{
    IVE_TASK_HANDLE handle;
    IVE_IMG_DESC_S src = image(IVE_IMAGE_TYPE_U8C1, 64, 64, 80, 7);
    for (u32 y = 0; y < 64; y++)
        for (u32 x = 0; x < 64; x++)
            *px(src, x, y) = (u8)((x + 64 * y) % 256);
    ASSERT_EQ(0, DU_DUZ_IVE_Hist(&handle, &src, &hist_, 0));
    const u32 *bins = reinterpret_cast<const u32 *>(hist_.pu8VirAddr);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(16u, bins[i]) << i;
}

TEST_F(Ive, SadOfTwoFlatPicturesIsTheirDifferenceTimesTheBlock)
{
    IVE_TASK_HANDLE handle;
    IVE_IMG_DESC_S a = image(IVE_IMAGE_TYPE_U8C1, 64, 64, 64, 10), b = image(IVE_IMAGE_TYPE_U8C1, 64, 64, 64, 13);
    IVE_IMG_DESC_S sad = image(IVE_IMAGE_TYPE_U16C1, 16, 16, 16);
    IVE_SAD_CTRL_S ctrl = {0, 2, 0, 0, 255};
    ASSERT_EQ(0, DU_DUZ_IVE_SAD(&handle, &a, &b, &sad, nullptr, &ctrl, 0));
    for (u32 y = 0; y < 16; y++)
        for (u32 x = 0; x < 16; x++)
            ASSERT_EQ(48, at<u16>(sad, x, y)) << x << "," << y;
}

// The rules' order: which test decides, with the code and message it gives.
TEST_F(Ive, ChecksRunTheirTestsInOrder)
{
    IVE_TASK_HANDLE h;
    auto gray = [&](u16 w, u16 hgt, u16 stride = 0) { return image(IVE_IMAGE_TYPE_U8C1, w, hgt, stride); };
    IVE_IMG_DESC_S i32x16 = gray(32, 16), o32x16 = image(IVE_IMAGE_TYPE_U64C1, 32, 16);
    IVE_IMG_DESC_S h63 = gray(64, 63), garbage;
    memset(&garbage, 0, sizeof garbage);
    IVE_INTEG_OPT_S integ0 = {0}, integ3 = {3};
    IVE_IMG_DESC_S a = gray(64, 64), b = gray(64, 64), d = gray(64, 64);
    IVE_ADD_CTRL_S half = {32768, 32768}, lopsided = {65535, 0};
    IVE_IMG_DESC_S src16 = image(IVE_IMAGE_TYPE_S16C1, 64, 64), dst8 = image(IVE_IMAGE_TYPE_S8C1, 64, 64);
    auto thr_s16 = [&](u32 mode, s16 low, s16 high) {
        IVE_THRESH_S16_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enMode = mode;
        c.s16LowThr = low;
        c.s16HighThr = high;
        return DU_DUZ_IVE_Thresh_S16(&h, &src16, mode < 2 ? &dst8 : &d, &c, 0);
    };
    auto to8 = [&](u16 den, u8 num) {
        IVE_16BIT_TO_8BIT_CTRL_S c = {1, den, num, 0};
        return DU_DUZ_IVE_16BitTo8Bit(&h, &src16, &d, &c, 0);
    };
    IVE_DATA_DESC_S dma_src = {alloc(1920 * 100), nullptr, 1920, 1920, 100, 0};
    dma_src.pu8VirAddr = sim::phys(dma_src.u32PhyAddr);
    auto dma = [&](u8 rows) {
        IVE_DMA_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.enMode = 1;
        c.u8HorSegSize = 16;
        c.u8ElemSize = 1;
        c.u8VerSegRows = rows;
        u16 dh = (u16)((100 + rows - 1) / rows);
        IVE_DATA_DESC_S dst = {alloc(128 * dh), nullptr, 128, 120, dh, 0};
        dst.pu8VirAddr = sim::phys(dst.u32PhyAddr);
        return DU_DUZ_IVE_DMA(&h, &dma_src, &dst, &c, 0);
    };
    IVE_IMG_DESC_S c16 = gray(16, 16);
    auto ccl = [&](u32 size) {
        IVE_MEM_BLOCK_S blob = block(size);
        IVE_CCL_CTRL_S c = {0, 1};
        return DU_DUZ_IVE_CCL(&h, &c16, &blob, &c, 0);
    };
    IVE_IMG_DESC_S s100 = gray(100, 64), c100 = gray(100, 64);
    auto st_corner = [&](u32 size) {
        IVE_ST_CANDI_CORNER_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.stMem = block(size);
        c.u0q8QualityLevel = 25;
        return DU_DUZ_IVE_STCandiCorner(&h, &s100, &c100, &c, 0);
    };
    auto canny = [&](u32 stack_size, u32 mem_size) {
        IVE_MEM_BLOCK_S stack = block(stack_size);
        IVE_CANNY_HYS_EDGE_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.stMem = block(mem_size);
        c.u16LowThr = c.u16HighThr = 40;
        return DU_DUZ_IVE_CannyHysEdge(&h, &s100, &c100, &stack, &c, 0);
    };

    run_checks({
        {"integral of 32 x 16", [&] { return DU_DUZ_IVE_Integ(&h, &i32x16, &o32x16, &integ0, 0); }, 0, ""},
        {"histogram of 63 lines", [&] { return DU_DUZ_IVE_Hist(&h, &h63, &hist_, 0); }, kIllegal,
         "pstImage->u16Height(63) must be in [64 ,1080]!\n"},
        {"integral control 3 before the destination",
         [&] { return DU_DUZ_IVE_Integ(&h, &i32x16, &garbage, &integ3, 0); }, kIllegal,
         "pstIntegCtrl->enOutCtrl(3) must be in [0, 3)!\n"},
        {"add 32768 + 32768", [&] { return DU_DUZ_IVE_Add(&h, &a, &b, &d, &half, 0); }, 0, ""},
        {"add 65535 + 0", [&] { return DU_DUZ_IVE_Add(&h, &a, &b, &d, &lopsided, 0); }, kIllegal,
         "pstAddCtrl->u0q16X(65535) + pstAddCtrl->u0q16Y(0) must be equal to 65536!\n"},
        {"S16 mode 1 low -129", [&] { return thr_s16(1, -129, 127); }, 0, ""},
        {"S16 mode 1 low -130", [&] { return thr_s16(1, -130, 127); }, kIllegal,
         "pstThrS16Ctrl->s16LowThr(-130) must be in [-129, 127] in pstThrS16Ctrl->enMode(1)!\n"},
        {"S16 mode 1 high 128", [&] { return thr_s16(1, 0, 128); }, kIllegal,
         "pstThrS16Ctrl->s16HighThr(128) must be in [-129, 127] in pstThrS16Ctrl->enMode(1)!\n"},
        {"S16 mode 3 low -1", [&] { return thr_s16(3, -1, 255); }, 0, ""},
        {"S16 mode 3 low -2", [&] { return thr_s16(3, -2, 255); }, kIllegal,
         "pstThrS16Ctrl->s16LowThr(-2) must be in [-1, 255] in pstThrS16Ctrl->enMode(3)!\n"},
        {"S16 mode 0 has no bounds", [&] { return thr_s16(0, -1000, 1000); }, 0, ""},
        {"16 to 8 bit 5/5", [&] { return to8(5, 5); }, 0, ""},
        {"16 to 8 bit 6/5", [&] { return to8(5, 6); }, kIllegal,
         "pst16BitTo8BitCtrl->u16Denominator(5) must be greater than or equal to "
         "pst16BitTo8BitCtrl->u8Numerator(6)!\n"},
        {"DMA 34 rows of 1920 bytes", [&] { return dma(34); }, 0, ""},
        {"DMA 35 rows of 1920 bytes", [&] { return dma(35); }, kIllegal,
         "pstDmaCtrl->u8VerSegRows(35) must be in [1, 34]!\n"},
        {"CCL blob 3052 bytes", [&] { return ccl(3052); }, 0, ""},
        {"CCL blob 3051 bytes", [&] { return ccl(3051); }, kIllegal,
         "pstBlob->u32Size(3051) must be greater than or equal to 3052!\n"},
        {"STCandiCorner 28688 bytes", [&] { return st_corner(28688); }, 0, ""},
        {"STCandiCorner 28687 bytes", [&] { return st_corner(28687); }, kIllegal,
         "pstStCandiCornerCtrl->stMem.u32Size(28687) must be greater than or equal to 28688!\n"},
        {"CannyHysEdge sizes", [&] { return canny(25616, 21504); }, 0, ""},
        {"CannyHysEdge stack", [&] { return canny(25615, 21504); }, kIllegal,
         "pstStack->u32Size(25615) must be greater than or equal to 25616!\n"},
        {"CannyHysEdge work memory", [&] { return canny(25616, 21503); }, kIllegal,
         "pstCannyHysEdgeCtrl->stMem.u32Size(21503) must be greater than or equal to 21504!\n"},
        {"bInstant 2 last", [&] { return DU_DUZ_IVE_Integ(&h, &i32x16, &o32x16, &integ0, 2); }, kIllegal,
         "bInstant (2) must be DU_TRUE or DU_FALSE!\n"},
        {"NULL control", [&] { return DU_DUZ_IVE_Integ(&h, &i32x16, &o32x16, nullptr, 0); }, kNull,
         "psIntegCtrl can't be NULL!\n"},
        {"histogram address before user address",
         [&] {
             IVE_MEM_BLOCK_S m = {0, nullptr, 1024};
             return DU_DUZ_IVE_Hist(&h, &a, &m, 0);
         },
         kIllegal, "pstDst->u32PhyAddr can't be 0!\n"},
    });
    // The control fails before the destination is even looked at.
    std::string err = testsupport::capture_stderr([&] { DU_DUZ_IVE_Integ(&h, &i32x16, &garbage, &integ3, 0); });
    EXPECT_EQ(std::string::npos, err.find("pstDst")) << err;
}

} // namespace

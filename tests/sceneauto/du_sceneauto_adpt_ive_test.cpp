// The block-activity analysis: the block activity from the engine's own
// integral image, the buffers for a channel's picture size, and the
// analysis running beside the scene auto engine on a live processing
// channel when the tuning image's threshold word asks for it.
#include "sceneauto/du_sceneauto_adpt.h"
#include "sceneauto/du_sceneauto_adpt_ive.h"
#include "sceneauto/sceneauto.h"
#include "sceneauto/sceneauto_iq.h"
#include "tests/recorder/live_pipeline.h"

#include "mpi/video/sys/mmz_requests.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vpss/mpi_vpss.h"

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

namespace {

using Block = std::array<u8, 256>;

// The block's standard deviation as the analysis defines it, exactly:
// floor(sqrt(variance + 1/4)), worked out in integers.
u32 reference_activity(const Block &b)
{
    int64_t s = 0, x = 0;
    for (u8 v : b) {
        s += v;
        x += v * v;
    }
    // variance + 1/4 = (256 X - S^2 + 16384) / 65536
    const int64_t a = 256 * x - s * s + 16384;
    int64_t r = (int64_t)std::sqrt((double)a);
    while (r * r > a)
        r--;
    while ((r + 1) * (r + 1) <= a)
        r++;
    return (u32)(r / 256);
}

Block flat(u8 v)
{
    Block b;
    b.fill(v);
    return b;
}

// `n` pixels of `hi`, the others `lo`, spread by `order`.
Block two_levels(u8 lo, u8 hi, int n, bool checker = false)
{
    Block b = flat(lo);
    for (int i = 0, put = 0; i < 256 && put < n; i++) {
        const int x = i % 16, y = i / 16;
        if (!checker || (x + y) % 2 == 0) {
            b[i] = hi;
            put++;
        }
    }
    return b;
}

Block random_block(uint32_t seed, int lo, int hi)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(lo, hi);
    Block b;
    for (u8 &v : b)
        v = (u8)d(gen);
    return b;
}

class BlockActivity : public BoardTest {
protected:
    struct Mmz {
        u32 phys = 0;
        u8 *user = nullptr;
    };
    Mmz alloc(u32 size)
    {
        Mmz m;
        void *user = nullptr;
        EXPECT_EQ(0, DU_DUZ_SYS_MmzAlloc(&m.phys, &user, nullptr, nullptr, size));
        m.user = static_cast<u8 *>(user);
        blocks_.push_back(m);
        return m;
    }
    void TearDown() override
    {
        for (const Mmz &m : blocks_)
            DU_DUZ_SYS_MmzFree(m.phys, m.user);
    }

    // Lays the blocks out as one tile of two block rows, has the engine
    // make its integral image into a buffer whose border alone is zero
    // (the rest holds garbage), and returns what EncMadiCal writes as tile
    // `tile` of an activity image; bytes outside the tile must stay.
    std::vector<u8> activities(std::vector<Block> blocks, u32 tile)
    {
        const u32 cols = std::max<u32>(2, (u32)(blocks.size() + 1) / 2);
        blocks.resize(2 * cols, flat(0));
        const u32 w = cols * 16, h = 32;
        Mmz src = alloc(w * h);
        for (u32 k = 0; k < blocks.size(); k++)
            for (u32 y = 0; y < 16; y++)
                memcpy(src.user + (k / cols * 16 + y) * w + k % cols * 16, &blocks[k][y * 16], 16);

        const u32 row_bytes = (w + 2 + 15) / 16 * 128;
        Mmz integ = alloc((h + 1) * row_bytes);
        memset(integ.user, 0xA5, (h + 1) * row_bytes);
        memset(integ.user, 0, row_bytes);
        for (u32 r = 1; r <= h; r++)
            memset(integ.user + r * row_bytes, 0, 16);

        IVE_IMG_DESC_S in = {}, out = {}, act = {};
        in.enType = IVE_IMAGE_TYPE_U8C1;
        in.u32PhyAddr[0] = src.phys;
        in.pu8VirAddr[0] = src.user;
        in.u16Stride[0] = (u16)w;
        in.u16Width = (u16)w;
        in.u16Height = (u16)h;
        out = in;
        out.enType = IVE_IMAGE_TYPE_U64C1;
        out.u32PhyAddr[0] = integ.phys + row_bytes + 16;
        out.pu8VirAddr[0] = integ.user + row_bytes + 16;
        out.u16Stride[0] = (u16)(row_bytes / 8);
        const IVE_INTEG_OPT_S ctrl = {0};
        IVE_TASK_HANDLE handle;
        EXPECT_EQ(0, DU_DUZ_IVE_Integ(&handle, &in, &out, &ctrl, 0));
        u32 finished = 0;
        EXPECT_EQ(0, DU_DUZ_IVE_Query(handle, &finished, 1));
        EXPECT_EQ(1u, finished);

        const u32 per_tile = (u32)blocks.size(), bytes = per_tile * (tile + 2);
        Mmz a = alloc(bytes);
        memset(a.user, 0xEE, bytes);
        act.pu8VirAddr[0] = a.user;
        EXPECT_EQ(0, EncMadiCal(&act, &out, tile));
        for (u32 i = 0; i < bytes; i++) {
            if (i < tile * per_tile || i >= (tile + 1) * per_tile) {
                EXPECT_EQ(0xEE, a.user[i]) << "byte " << i << " outside the tile";
            }
        }
        return std::vector<u8>(a.user + tile * per_tile, a.user + (tile + 1) * per_tile);
    }

    std::vector<Mmz> blocks_;
};

} // namespace

TEST_F(BlockActivity, StandardDeviationOfEachBlock)
{
    struct Case {
        const char *name;
        Block block;
        u32 activity; // 256 to take the reference's
    } cases[] = {
        {"flat 0", flat(0), 0},
        {"flat 128", flat(128), 0},
        {"flat 255", flat(255), 0},
        {"half 0, half 255 (top and bottom)", two_levels(0, 255, 128), 127},
        {"half 0, half 255 (checkerboard)", two_levels(0, 255, 128, true), 127},
        {"one pixel off by one", two_levels(100, 101, 1), 0},
        {"variance 3/4 counts as 1", two_levels(0, 2, 64), 1},
        {"just under: 63 of 256 at 2", two_levels(0, 2, 63), 0},
        {"a 255 in the dark", two_levels(0, 255, 1), 15},
        {"random 0..255", random_block(1, 0, 255), 256},
        {"random 0..255, another", random_block(2, 0, 255), 256},
        {"random 100..110", random_block(3, 100, 110), 256},
        {"random 0..3", random_block(4, 0, 3), 256},
        {"random 250..255", random_block(5, 250, 255), 256},
        {"random 0..1", random_block(6, 0, 1), 256},
        {"random 64..191", random_block(7, 64, 191), 256},
    };
    std::vector<Block> blocks;
    for (const Case &c : cases)
        blocks.push_back(c.block);
    for (u32 tile : {0u, 5u, 63u}) {
        SCOPED_TRACE("tile " + std::to_string(tile));
        std::vector<u8> got = activities(blocks, tile);
        for (size_t i = 0; i < std::size(cases); i++) {
            SCOPED_TRACE(cases[i].name);
            const u32 want = cases[i].activity == 256 ? reference_activity(cases[i].block) : cases[i].activity;
            EXPECT_EQ(want, reference_activity(cases[i].block)); // the table agrees with the definition
            EXPECT_EQ(want, got[i]);
        }
    }
}

namespace {

struct Shape {
    u32 w, h, stride;
};

// A processing group whose channel 1 has a mode of the case's size but is
// not enabled: the analysis gets its buffers and then waits for frames.
class AnalysisBuffers : public BoardTest {
protected:
    // Each case starts the board again: the platform, the group and the
    // analysis are ended within the case; a case that gives up early leaves
    // the analysis to the tear-down.
    void TearDown() override { CommSceneautoIVEStop(); }
    static void make_channel(u32 w, u32 h)
    {
        VPSS_GRP_ATTR_REC_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
        ASSERT_EQ(0, DU_DUZ_VPSS_CreateGrp(0, &grp));
        VPSS_CHN_MODE_REC_S mode = {1, w, h, 0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0};
        ASSERT_EQ(0, DU_DUZ_VPSS_SetChnMode(0, 1, &mode));
    }
    // What Start said: the analysis thread, already running, may have tried
    // its first frame from the group nobody started, and said so.
    static std::string start_says(const std::string &out)
    {
        std::istringstream in(out);
        std::string line, said;
        while (std::getline(in, line))
            if (line != "get frame failed" && line.find("failed at DU_DUZ_IVE_GetFrame") == std::string::npos)
                said += line + "\n";
        return said;
    }
    static Shape shape(const IVE_IMG_DESC_S &d) { return {d.u16Width, d.u16Height, d.u16Stride[0]}; }
    // Every block the record holds is an allocation of its own size.
    static std::vector<u32> held()
    {
        std::vector<u32> addr;
        for (u32 a : {stIveMd.stIntegBuf.u32PhyAddr[0], stIveMd.stActivity.u32PhyAddr[0], stIveMd.u32HistPhyAddr})
            if (a)
                addr.push_back(a);
        return addr;
    }
};

bool operator==(const Shape &a, const Shape &b)
{
    return a.w == b.w && a.h == b.h && a.stride == b.stride;
}
std::ostream &operator<<(std::ostream &o, const Shape &s)
{
    return o << s.w << "x" << s.h << " stride " << s.stride;
}

} // namespace

TEST_F(AnalysisBuffers, ShapesFollowThePictureSize)
{
    struct Case {
        const char *name;
        u32 w, h;
        Shape integ_buf, integ_out, activity, hist; // strides in elements
        bool has_hist;
        const char *says;
    } cases[] = {
        {"1080p: tiles of 240x128, the histogram's lines reshaped to 64 bytes",
         1920, 1080, {242, 129, 256}, {240, 128, 256}, {120, 64, 120}, {64, 120, 64}, true, ""},
        {"720p: tiles of 160x80, lines of 80 bytes kept",
         1280, 720, {162, 81, 176}, {160, 80, 176}, {80, 44, 80}, {80, 44, 80}, true, ""},
        {"848x480: lines of 112 bytes (k = 7)",
         848, 480, {98, 49, 112}, {96, 48, 112}, {52, 28, 52}, {112, 13, 112}, true, ""},
        {"96x64: no tile, no line length that cuts 16 bytes",
         96, 64, {2, 1, 16}, {0, 0, 16}, {4, 4, 4}, {4, 4, 4}, false, "can't find stride,can't use ive hist\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::write_conf(root_, "trace = 1\n");
        sim::start(root_);
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        make_channel(c.w, c.h);
        s32 ret = -1;
        std::string out = testsupport::capture_stdout([&] { ret = CommSceneautoIVEStart(0, 1); });
        ASSERT_EQ(0, ret);
        EXPECT_EQ(c.says, start_says(out));
        EXPECT_EQ(c.w, stIveMd.u16Width);
        EXPECT_EQ(c.h, stIveMd.u16Height);
        u32 depth = 0;
        EXPECT_EQ(0, DU_DUZ_VPSS_GetDepth(0, 1, &depth));
        EXPECT_EQ(1u, depth);
        EXPECT_EQ(c.integ_buf, shape(stIveMd.stIntegBuf));
        EXPECT_EQ(c.integ_out, shape(stIveMd.stIntegOut));
        EXPECT_EQ(c.activity, shape(stIveMd.stActivity));
        EXPECT_EQ(c.hist, shape(stIveMd.stHistSrc));
        EXPECT_EQ((u32)IVE_IMAGE_TYPE_U64C1, stIveMd.stIntegOut.enType);
        EXPECT_EQ((u32)IVE_IMAGE_TYPE_U8C1, stIveMd.stHistSrc.enType);

        // The output starts at row 1, element 2 of the buffer, whose border
        // (row 0, elements 0 and 1 of every row) is zero.
        const IVE_IMG_DESC_S &buf = stIveMd.stIntegBuf;
        const u32 row = buf.u16Stride[0] * 8;
        EXPECT_EQ(buf.u32PhyAddr[0] + row + 16, stIveMd.stIntegOut.u32PhyAddr[0]);
        EXPECT_EQ(buf.pu8VirAddr[0] + row + 16, stIveMd.stIntegOut.pu8VirAddr[0]);
        EXPECT_EQ(buf.u16Height * row, sim::phys_alloc_size(buf.u32PhyAddr[0]));
        for (u32 r = 0; r < buf.u16Height; r++)
            for (u32 k = 0; k < (r == 0 ? row : 16); k++)
                ASSERT_EQ(0, buf.pu8VirAddr[0][r * row + k]) << "row " << r << " byte " << k;
        // The histogram source is the activity image's memory.
        EXPECT_EQ(stIveMd.stActivity.u32PhyAddr[0], stIveMd.stHistSrc.u32PhyAddr[0]);
        EXPECT_EQ(c.activity.w * c.activity.h, sim::phys_alloc_size(stIveMd.stActivity.u32PhyAddr[0]));
        EXPECT_EQ(c.has_hist ? SCENEAUTO_IVE_HIST_SIZE : 0u,
                  stIveMd.u32HistPhyAddr ? sim::phys_alloc_size(stIveMd.u32HistPhyAddr) : 0u);
        EXPECT_TRUE(testsupport::wait_until([] { return testsupport::thread_names("ImageAnaly").size() == 1; }, 5));

        // The stop ends the thread, which is waiting for frames, and gives
        // every block back.
        const std::vector<u32> blocks = held();
        EXPECT_EQ(0, CommSceneautoIVEStop());
        EXPECT_TRUE(testsupport::thread_names("ImageAnaly").empty());
        for (u32 a : blocks)
            EXPECT_EQ(0u, sim::phys_alloc_size(a));
        EXPECT_TRUE(held().empty());
        EXPECT_EQ(nullptr, stIveMd.stIntegOut.pu8VirAddr[0]);
        EXPECT_EQ(nullptr, stIveMd.stHistSrc.pu8VirAddr[0]);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_SYS_Exit();
    }
}

TEST_F(AnalysisBuffers, AFailedStartStartsNothingAndKeepsNothing)
{
    struct Case {
        const char *name;
        std::string conf;
        bool channel;
        const char *says;
    } cases[] = {
        {"no such channel", "", false, "DU_DUZ_VPSS_GetChnMode failed\n"},
        {"no media memory", "mmz_refuse = " + std::to_string(MMZ_ALLOC_CTRL) + "\n", true,
         "pstIveMd->stImage 3 malloc fail\n failed at IVE_DetectInit: LINE: 286 ! errno:"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::write_conf(root_, std::string("trace = 1\n") + c.conf);
        sim::start(root_);
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        if (c.channel)
            make_channel(1920, 1080);
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = CommSceneautoIVEStart(0, 1); });
        EXPECT_EQ(-1, ret);
        EXPECT_EQ(0u, out.find(c.says)) << out;
        EXPECT_TRUE(testsupport::thread_names("ImageAnaly").empty());
        EXPECT_TRUE(held().empty());
        EXPECT_EQ(0, CommSceneautoIVEStop()); // nothing to stop
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_SYS_Exit();
    }
}

namespace {

// The engine and the analysis on a live pipeline whose channel 1 shows a
// scene of one grey through a sensor without noise, shading, column
// pattern or hot pixels: a flat picture.
class LiveAnalysis : public BoardTest {
protected:
    LiveAnalysis()
    {
        conf_ = "trace = 1\nscene.pattern = grey\nsensor.shading = 1\nsensor.hot_pixels = 0\n"
                "sensor.column_pattern = 0\nsensor.noise = 0\n";
    }
    void TearDown() override
    {
        if (!running_)
            return;
        testsupport::capture_stdout([] {
            DU_VUZI_SCENEAUTO_Stop();
            DU_VUZI_SCENEAUTO_DeInit();
        });
        livetest::stop();
    }

    // The pipeline at `size`, then the engine, with the analysis switched
    // on or off in the tuning image between its Init and its Start.
    void start(u8 size, u32 analysis)
    {
        livetest::configure(30, {1});
        gsDvConfig.sVi.sParam[0].u8Resolution = size;
        gsDvConfig.sVpss.sParam[1].u8Resolution = size;
        running_ = true;
        livetest::start();
        s32 ret = -1;
        out_ += testsupport::capture_stdout([&] {
            ret = DU_VUZI_SCENEAUTO_Init("/dv/iq_config/sceneauto_34220.ini");
            g_stINIPara.stThreshValue.u32IveEnable = analysis;
            if (ret == 0)
                ret = DU_VUZI_SCENEAUTO_Start();
        });
        ASSERT_EQ(0, ret) << out_;
    }

    // The engine's lines from its source "ive", in order.
    static std::vector<std::string> ive_lines()
    {
        std::vector<std::string> lines;
        for (const std::string &l : testsupport::events(" ive "))
            lines.push_back(l.substr(l.find(" ive ") + 5));
        return lines;
    }
    static size_t count(const std::vector<std::string> &lines, const std::string &what)
    {
        size_t n = 0;
        for (const std::string &l : lines)
            n += l.find(what) != std::string::npos;
        return n;
    }
    static std::array<u32, 256> bins()
    {
        std::array<u32, 256> b;
        memcpy(b.data(), stIveMd.pu8HistVirAddr, sizeof b);
        return b;
    }
    // Waits (stdout captured into out_) until `n` passes have ended with
    // their histogram's query.
    bool passes(size_t n)
    {
        bool done = false;
        out_ += testsupport::capture_stdout([&] {
            done = testsupport::wait_until(
                [&] {
                    std::vector<std::string> l = ive_lines();
                    return !l.empty() && count(l, " Hist") >= n && l.back().rfind("query ", 0) == 0;
                },
                30);
        });
        return done;
    }

    bool running_ = false;
    std::string out_;
};

} // namespace

TEST_F(LiveAnalysis, FlatPictureAllInBinZeroAndOnePassOnTheEngine)
{
    start(PIC_HD1080, 1);
    ASSERT_TRUE(testsupport::wait_until([] { return testsupport::thread_names("ImageAnaly").size() == 1; }, 5));
    EXPECT_EQ(120, stIveMd.stActivity.u16Width);
    EXPECT_EQ(64, stIveMd.stActivity.u16Height);
    ASSERT_TRUE(passes(1)) << out_;

    // One pass: each of the 64 tiles' integral task and its query, then the
    // histogram's, each query of the task just issued.
    std::vector<std::string> lines = ive_lines();
    ASSERT_GE(lines.size(), 130u);
    lines.resize(130);
    for (size_t i = 0; i < 130; i += 2) {
        SCOPED_TRACE(lines[i]);
        const bool hist = i == 128;
        char op[32] = "";
        int task = -1, query = -2;
        ASSERT_EQ(2, sscanf(lines[i].c_str(), "task %d %31s", &task, op));
        EXPECT_STREQ(hist ? "Hist" : "Integ", op);
        ASSERT_EQ(1, sscanf(lines[i + 1].c_str(), "query %d", &query));
        EXPECT_EQ(task, query);
    }
    EXPECT_EQ(64u, count(lines, " Integ"));
    EXPECT_EQ(1u, count(lines, " Hist"));
    EXPECT_EQ(65u, count(lines, "query "));

    const std::array<u32, 256> b = bins();
    u64 sum = 0;
    for (u32 v : b)
        sum += v;
    EXPECT_EQ(7680u, sum);
    EXPECT_EQ(7680u, b[0]);

    // Every flush covers a whole buffer: the integral one after each tile,
    // the activity image before the histogram. The board refuses any other.
    char integ[64], act[64];
    snprintf(integ, sizeof integ, "mmz flush %#x+%u", stIveMd.stIntegBuf.u32PhyAddr[0], 129u * 2048u);
    snprintf(act, sizeof act, "mmz flush %#x+%u", stIveMd.stActivity.u32PhyAddr[0], 7680u);
    EXPECT_GE(testsupport::events(integ).size(), 64u);
    EXPECT_GE(testsupport::events(act).size(), 1u);
    EXPECT_EQ(std::string::npos, out_.find("DU_DUZ_SYS_MmzFlushCache failed")) << out_;
    // (A frame get may time out while the pipeline starts: it is retried.)
    EXPECT_EQ(std::string::npos, out_.find(" failed at ImageAnalyProc")) << out_;
    EXPECT_EQ(std::string::npos, out_.find(" failed at IVE_DetectInit")) << out_;

    // The scene's tiles, patches and bars: the blocks across their edges
    // are busy, the histogram of the next pass shows them.
    sim::with_world([](sim::World &w) { w.scene_grey = false; });
    ASSERT_TRUE(passes(2)) << out_;
    const std::array<u32, 256> busy = bins();
    sum = 0;
    for (u32 v : busy)
        sum += v;
    EXPECT_EQ(7680u, sum);
    EXPECT_LT(busy[0], 7680u);
    EXPECT_GT(7680u - busy[0] - busy[1], 100u);

    // The engine's stop ends the analysis and frees its memory.
    const u32 buf = stIveMd.stIntegBuf.u32PhyAddr[0], hist = stIveMd.u32HistPhyAddr;
    running_ = false;
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(0, DU_VUZI_SCENEAUTO_Stop()); });
    EXPECT_NE(std::string::npos, out.find("VUZI SCENEAUTO Module has been stopped successfully!\n")) << out;
    EXPECT_TRUE(testsupport::thread_names("ImageAnaly").empty());
    EXPECT_EQ(0u, sim::phys_alloc_size(buf));
    EXPECT_EQ(0u, sim::phys_alloc_size(hist));
    testsupport::capture_stdout([] { DU_VUZI_SCENEAUTO_DeInit(); });
    livetest::stop();
}

TEST_F(LiveAnalysis, OffInTheTuningImageNothingRuns)
{
    start(PIC_HD1080, 0);
    // The engine's own two threads come; the analysis neither runs nor
    // holds memory.
    EXPECT_TRUE(testsupport::wait_until([] { return testsupport::thread_names("Sceneauto").size() == 2; }, 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(testsupport::thread_names("ImageAnaly").empty());
    EXPECT_TRUE(ive_lines().empty());
    EXPECT_EQ(0u, stIveMd.stActivity.u32PhyAddr[0]);
    EXPECT_EQ(0u, stIveMd.u32HistPhyAddr);
}

TEST_F(LiveAnalysis, At720pTheHistogramRefusesTheActivityImageAndTheThreadEnds)
{
    start(PIC_HD720, 1);
    EXPECT_EQ(80, stIveMd.stHistSrc.u16Width);
    EXPECT_EQ(44, stIveMd.stHistSrc.u16Height);
    bool ended = false;
    out_ += testsupport::capture_stdout([&] {
        // Its tasks show that it ran (under its name) before it is gone.
        ended = testsupport::wait_until(
            [] { return count(ive_lines(), " Integ") >= 64 && testsupport::thread_names("ImageAnaly").empty(); }, 30);
    });
    ASSERT_TRUE(ended);
    EXPECT_NE(std::string::npos, out_.find("DU_DUZ_IVE_Hist failed\n failed at ImageAnalyProc: LINE: 823 ! errno:a01d8003 \n"))
        << out_;
    const std::vector<std::string> lines = ive_lines();
    EXPECT_EQ(64u, count(lines, " Integ"));
    EXPECT_EQ(0u, count(lines, " Hist"));
    // The engine runs on; its stop frees the buffers the thread left.
    const u32 act = stIveMd.stActivity.u32PhyAddr[0];
    EXPECT_NE(0u, sim::phys_alloc_size(act));
    running_ = false;
    testsupport::capture_stdout([] { EXPECT_EQ(0, DU_VUZI_SCENEAUTO_Stop()); });
    EXPECT_EQ(0u, sim::phys_alloc_size(act));
    testsupport::capture_stdout([] { DU_VUZI_SCENEAUTO_DeInit(); });
    livetest::stop();
}

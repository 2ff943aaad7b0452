// Motion detection: the motion test per macroblock, the rule that turns
// results into REC releases (fed synthetic results with chosen time stamps),
// the channel's start and stop, and the detector on a live pipeline whose
// scene stands still or moves.
#include "recorder/dv_motion.h"
#include "tests/recorder/live_pipeline.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/support/board_fixture.h"

#include "app/devices/gpio.h"
#include "app/engine_hooks.h"
#include "app/handler.h"
#include "app/pref.h"
#include "app/usb.h"
#include "board/sim/sim.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"

#include <chrono>
#include <cinttypes>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

constexpr u32 kRecRelease = 0x01010801;
constexpr u32 kCols = 20, kRows = 15; // 320x240 in 16-pixel macroblocks

// Record-state values as the record applications leave them.
void set_state(u8 command, s32 file)
{
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = command;
    KX_Set_Record_State(file);
}

// The preferences the detector reads, and the message queue it posts into.
class MdBase {
protected:
    MdBase()
    {
        memset(&pref_, 0, sizeof pref_);
        pref_.MotionDetect = 1;
        pref_.MotionDetectTimeout = 0; // 5 s
        pref_.MotionDetectSensitivity = 1;
        app_register_engine_hooks(); // power-off state and USB come from the application
        saved_pref_ = app_pref_user;
        app_pref_user = &pref_;
        hcmgr_create_queue();
        set_state(KX_REC_STATE_STOPPED, KX_REC_STATE_STOPPED);
        u8IsEnterPowerFlow = 0;
    }
    ~MdBase()
    {
        set_state(KX_REC_STATE_STOPPED, KX_REC_STATE_STOPPED);
        u8IsEnterPowerFlow = 0;
        hcmgr_destroy_queue();
        app_pref_user = saved_pref_;
    }

    // The ids posted so far, taken out of the queue.
    static std::vector<u32> drain()
    {
        std::vector<u32> ids;
        u32 id = 0;
        while (q_button_msg && !KX_OrderQueue_Empty(q_button_msg) && hcmgr_rcv_msg(&id) != -1)
            ids.push_back(id);
        return ids;
    }

    DvSystemParam pref_;
    DvSystemParam *saved_pref_ = nullptr;
};

// A SAD array of 20x15 macroblocks (rows padded to the stride), all zero
// but the ones a case sets.
struct SadResult {
    std::vector<u8> buf;
    VDA_DATA_REC_S d;

    explicit SadResult(bool wide = false, u64 pts = 0)
    {
        memset(&d, 0, sizeof d);
        d.bMbSadValid = 1;
        d.enMbSadBits = wide ? VDA_MB_SAD_16BIT : VDA_MB_SAD_8BIT;
        d.u32Stride = wide ? 64 : 32;
        d.u32MbWidth = kCols;
        d.u32MbHeight = kRows;
        d.u64Pts = pts;
        buf.assign((size_t)d.u32Stride * kRows, 0);
        d.pAddr = buf.data();
    }
    void set(u32 row, u32 col, u32 v)
    {
        if (d.enMbSadBits == VDA_MB_SAD_8BIT) {
            buf[(size_t)row * d.u32Stride + col] = (u8)v;
        } else {
            u16 w = (u16)v;
            memcpy(&buf[(size_t)row * d.u32Stride + col * 2], &w, 2);
        }
    }
};

class MdRule : public ::testing::Test, public MdBase {};

} // namespace

TEST(MdTables, ThresholdsAndQuietTimes)
{
    struct Case {
        s32 pref;
        u32 threshold;
        u64 seconds;
    } cases[] = {{0, 50, 5}, {1, 80, 15}, {2, 110, 30}, {3, 80, 60}, {4, 80, 30}, {-1, 80, 30}, {255, 80, 30}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pref);
        EXPECT_EQ(c.threshold, md_sad_threshold(c.pref));
        EXPECT_EQ(c.seconds * 1000000, md_quiet_time_us(c.pref));
    }
}

TEST_F(MdRule, MacroblocksAboveTheSensitivitysThreshold)
{
    struct Case {
        const char *name;
        s32 sensitivity;
        bool wide;
        std::vector<std::pair<u32, u32>> cells; // column, value (row 7)
        s32 moved;
        u32 count;
    } cases[] = {
        {"normal: 80 is not motion", 1, false, {{9, 80}}, 0, 0},
        {"normal: 81 is", 1, false, {{9, 81}}, 1, 1},
        {"high: 51", 0, false, {{9, 51}}, 1, 1},
        {"high: 50 is not", 0, false, {{9, 50}}, 0, 0},
        {"low: 110 is not", 2, false, {{9, 110}}, 0, 0},
        {"low: 111", 2, false, {{9, 111}}, 1, 1},
        {"another value is normal", 7, false, {{9, 80}, {10, 81}}, 1, 1},
        {"every block counted", 1, false, {{0, 255}, {10, 90}, {19, 81}}, 1, 3},
        {"16-bit values", 1, true, {{3, 300}, {4, 80}}, 1, 1},
        {"16-bit below", 1, true, {{3, 80}}, 0, 0},
        {"padding past the last column is not a block", 1, false, {{25, 255}}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pref_.MotionDetectSensitivity = c.sensitivity;
        SadResult r(c.wide);
        for (auto &cell : c.cells)
            r.set(7, cell.first, cell.second);
        u32 count = 99;
        EXPECT_EQ(c.moved, KX_Have_ObjMov(&r.d, &count));
        EXPECT_EQ(c.count, count);
    }
    // Without valid SAD values: no motion, the count untouched.
    SadResult r;
    r.set(0, 0, 255);
    r.d.bMbSadValid = 0;
    u32 count = 99;
    EXPECT_EQ(0, KX_Have_ObjMov(&r.d, &count));
    EXPECT_EQ(99u, count);
}

// Sequences of results with their time stamps and the record state the
// applications show at each, and the REC releases each result posts.
TEST_F(MdRule, PostsOncePerChangeOfState)
{
    constexpr u8 S = KX_REC_STATE_STOPPED, R = KX_REC_STATE_RUNNING;
    struct Step {
        double t;       // result time, seconds
        u32 sad;        // the largest block
        u8 command;     // gRecCmd[1].RecState
        s32 file;       // KX_Get_Record_State
        size_t posts;
    };
    struct Case {
        const char *name;
        u8 power_off;
        std::vector<Step> steps;
    } cases[] = {
        {"motion while idle starts once, while the application waits",
         0,
         {{0, 200, S, S, 1}, {0.25, 200, S, S, 0}, {0.5, 200, R, S, 0}, {0.75, 200, R, R, 0}, {1, 200, R, R, 0}}},
        {"a start not taken is posted again after a while",
         0,
         {{0, 200, S, S, 1}, {2, 200, S, S, 0}, {4.9, 200, S, S, 0}, {5, 200, S, S, 1}, {5.25, 200, S, S, 0}}},
        {"no start once the power-off has begun", 1, {{0, 200, S, S, 0}, {1, 200, S, S, 0}}},
        {"stillness while idle posts nothing", 0, {{0, 80, S, S, 0}, {60, 0, S, S, 0}}},
        {"the stop comes after the quiet time, once",
         0,
         {{0, 200, R, R, 0},
          {1, 0, R, R, 0},
          {4.999999, 0, R, R, 0},
          {5, 0, R, R, 1},
          {5.25, 0, R, R, 0},
          // The application took it; the file closes meanwhile.
          {5.5, 0, S, R, 0},
          {20, 200, S, R, 0},
          {30, 0, S, R, 0},
          {30.25, 0, S, S, 0},
          {30.5, 200, S, S, 1}}},
        {"motion while recording moves the quiet time on",
         0,
         {{0, 200, R, R, 0}, {4, 200, R, R, 0}, {8.9, 0, R, R, 0}, {9, 0, R, R, 1}}},
        {"a stop not taken is posted again a full period later",
         0,
         {{0, 200, R, R, 0}, {5, 0, R, R, 1}, {5.25, 0, R, R, 0}, {10.2, 0, R, R, 0}, {10.25, 0, R, R, 1}}},
        {"a recording the user starts after one that saw motion is not stopped at once",
         0,
         {{0, 200, R, R, 0},
          {0.5, 0, S, R, 0},
          {1, 0, S, S, 0},
          {100, 0, R, R, 0},
          {104.9, 0, R, R, 0},
          {105, 0, R, R, 1}}},
        {"... and when the last file closed between two results",
         0,
         {{0, 200, R, R, 0}, {1, 0, S, S, 0}, {100, 0, R, R, 0}, {104.9, 0, R, R, 0}, {105, 0, R, R, 1}}},
        {"a recording the user starts is not stopped while it starts",
         0,
         {{0, 0, R, S, 0}, {50, 0, R, S, 0}, {50.25, 0, R, R, 0}, {55.25, 0, R, R, 1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh detector: a start posted in the last case is forgotten.
        {
            SadResult reset(false, 0);
            set_state(R, R);
            testsupport::capture_stdout([&] { KX_MD_Process_Data(&reset.d); });
            drain();
        }
        needUpdatePreTime = 1;
        g_u64MDPreTime = 0;
        u8IsEnterPowerFlow = c.power_off;
        for (const Step &s : c.steps) {
            SCOPED_TRACE(s.t);
            set_state(s.command, s.file);
            SadResult r(false, (u64)(s.t * 1e6 + 0.5));
            r.set(7, 9, s.sad);
            std::string out = testsupport::capture_stdout([&] { KX_MD_Process_Data(&r.d); });
            std::vector<u32> ids = drain();
            EXPECT_EQ(s.posts, ids.size()) << out;
            for (u32 id : ids)
                EXPECT_EQ(kRecRelease, id);
        }
    }
}

TEST_F(MdRule, WhatThePostsSay)
{
    SadResult r(false, 1000000);
    r.set(2, 2, 200);
    r.set(2, 3, 200);
    std::string out = testsupport::capture_stdout([&] { KX_MD_Process_Data(&r.d); });
    EXPECT_NE(std::string::npos, out.find("rec startblk:2 \nmotion detect start record ")) << out;
    drain();

    set_state(KX_REC_STATE_RUNNING, KX_REC_STATE_RUNNING);
    SadResult first(false, 2000000), later(false, 7000000);
    out = testsupport::capture_stdout([&] {
        KX_MD_Process_Data(&first.d);
        KX_MD_Process_Data(&later.d);
    });
    EXPECT_NE(std::string::npos, out.find("curTime=7000000 , mdPreTime =2000000\nmotion detect stop record ")) << out;
    EXPECT_EQ(1u, drain().size());
}

TEST_F(MdRule, DebugPrinters)
{
    SadResult r;
    r.d.u32MbWidth = 3;
    r.d.u32MbHeight = 2;
    r.set(0, 0, 5);
    r.set(1, 2, 61);
    VDA_OBJ_S objs[2] = {{16, 32, 48, 64}, {0, 0, 16, 16}};
    r.d.bMbObjValid = 1;
    r.d.u32ObjNum = 2;
    r.d.pstAddr = objs;
    r.d.u32IndexOfMaxObj = 0;
    r.d.u32SizeOfMaxObj = 1024;
    r.d.u32SizeOfTotalObj = 1280;
    r.d.bPelsNumValid = 1;
    r.d.u32AlarmPixCnt = 321;
    std::string out = testsupport::capture_stdout([&] {
        KX_MdPrtObj_Deg(stdout, &r.d);
        KX_MdPrtAp_Deg(stdout, &r.d);
        KX_MdPrtSad_Deg(stdout, &r.d);
    });
    EXPECT_EQ("===== KX_MdPrtObj_Deg =====\n"
              "ObjNum=2, IndexOfMaxObj=0, SizeOfMaxObj=1024, SizeOfTotalObj=1280\n"
              "[0]\t left=16, top=32, right=48, bottom=64\n"
              "[1]\t left=0, top=0, right=16, bottom=16\n"
              "AlarmPixelCount=321\n"
              "5  0  0  \n"
              "0  0  61 \n",
              out);
    r.d.bMbObjValid = r.d.bPelsNumValid = r.d.bMbSadValid = 0;
    out = testsupport::capture_stdout([&] {
        KX_MdPrtObj_Deg(stdout, &r.d);
        KX_MdPrtAp_Deg(stdout, &r.d);
        KX_MdPrtSad_Deg(stdout, &r.d);
    });
    EXPECT_EQ("===== KX_MdPrtObj_Deg =====\nbMbObjValid = FALSE.\nbMbObjValid = FALSE.\nbMbSadValid = FALSE.\n", out);
}

// ---- the channel and its thread ---------------------------------------------------------------

namespace {

class MdChannel : public BoardTest, public MdBase {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
    }
    void TearDown() override
    {
        testsupport::capture_stdout([] { KX_MdStop(0, 3); });
        DU_DUZ_SYS_Exit();
    }
};

} // namespace

TEST_F(MdChannel, PictureSizeChecks)
{
    struct Case {
        const char *name;
        u32 pic[2];
        bool null;
    } cases[] = {{"961 wide", {961, 240}, false}, {"961 high", {320, 961}, false}, {"no size", {0, 0}, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = KX_MdStart(0, 3, c.null ? nullptr : c.pic, 30); });
        EXPECT_EQ(-1, ret);
        EXPECT_NE(std::string::npos, out.find("[KX_MdStart]-")) << out;
        EXPECT_NE(std::string::npos, out.find("Picture size invaild!")) << out;
        EXPECT_EQ(0u, mdThreadRun.load());
    }
    EXPECT_TRUE(testsupport::events("vda chn 0 create").empty());
}

TEST_F(MdChannel, IntervalIsAQuarterOfTheSensorRate)
{
    struct Case {
        u32 fps, interval;
        u32 pic[2];
    } cases[] = {{60, 15, {320, 240}}, {120, 30, {320, 240}}, {25, 6, {960, 960}}, {30, 7, {320, 240}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fps);
        const size_t binds = testsupport::events("sys bind 7/0/3 -> 9/0/0").size();
        const size_t unbinds = testsupport::events("sys unbind 7/0/3 -> 9/0/0").size();
        s32 ret = -1;
        std::string out = testsupport::capture_stdout([&] { ret = KX_MdStart(0, 3, c.pic, c.fps); });
        ASSERT_EQ(0, ret) << out;
        EXPECT_NE(std::string::npos, out.find("KX_MdStart intvl = " + std::to_string(c.interval) + "\n"));
        std::string created = "vda chn 0 create " + std::to_string(c.pic[0]) + "x" + std::to_string(c.pic[1]) +
                              " mb 16 interval " + std::to_string(c.interval);
        EXPECT_EQ(1u, testsupport::events(created).size());
        VDA_CHN_ATTR_REC_S a;
        ASSERT_EQ(0, DU_DUZ_VDA_GetChnAttr(0, &a));
        EXPECT_EQ(VDA_WORK_MODE_MD, a.enWorkMode);
        const VDA_MD_ATTR_REC_S &md = a.unAttr.stMdAttr;
        EXPECT_EQ(VDA_ALG_REF, md.enVdaAlg);
        EXPECT_EQ(VDA_MB_16PIXEL, md.enMbSize);
        EXPECT_EQ(VDA_MB_SAD_8BIT, md.enMbSadBits);
        EXPECT_EQ(VDA_REF_MODE_DYNAMIC, md.enRefMode);
        EXPECT_EQ(8u, md.u32MdBufNum);
        EXPECT_EQ(128u, md.u32BgUpSrcWgt);
        EXPECT_EQ(60u, md.u32SadTh);
        EXPECT_EQ(128u, md.u32ObjNumMax);
        EXPECT_EQ(binds + 1, testsupport::events("sys bind 7/0/3 -> 9/0/0").size());
        // Stopped before its first picture: the thread goes at once.
        ret = -1;
        out = testsupport::capture_stdout([&] { ret = KX_MdStop(0, 3); });
        EXPECT_EQ(0, ret) << out;
        EXPECT_EQ(0u, mdThreadRun.load());
        EXPECT_EQ(unbinds + 1, testsupport::events("sys unbind 7/0/3 -> 9/0/0").size());
        EXPECT_FALSE(testsupport::events("vda chn 0 destroy").empty());
    }
}

// A bind that fails leaves no channel; the stop after it says what it could
// not do and reports the failed destroy.
TEST_F(MdChannel, AFailedBindLeavesNoChannel)
{
    const MPP_CHN_ADDR_S other = {DU_ID_VPSS, 0, 1}, vda0 = {DU_ID_VDA, 0, 0};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&other, &vda0));
    const u32 pic[2] = {320, 240};
    s32 ret = 0;
    std::string out = testsupport::capture_stdout([&] { ret = KX_MdStart(0, 3, pic, 30); });
    EXPECT_NE(0, ret);
    EXPECT_NE(-1, ret); // the platform's code
    EXPECT_NE(std::string::npos, out.find("err, s32Ret: 0x")) << out;
    EXPECT_EQ(1u, testsupport::events("vda chn 0 destroy").size());
    EXPECT_EQ(0u, mdThreadRun.load());

    out = testsupport::capture_stdout([&] { ret = KX_MdStop(0, 3); });
    EXPECT_NE(0, ret);
    EXPECT_NE(std::string::npos, out.find("[KX_MdStop]-")) << out;
    EXPECT_NE(std::string::npos, out.find("err(0x")) << out;
    ASSERT_EQ(0, DU_DUZ_SYS_UnBind(&other, &vda0));
}

// With no pictures coming the thread gives up after 2 s; the stop still
// takes everything down.
TEST_F(MdChannel, NoResultsEndTheThread)
{
    const u32 pic[2] = {320, 240};
    s32 ret = -1;
    std::string out = testsupport::capture_stdout([&] {
        ret = KX_MdStart(0, 3, pic, 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    });
    ASSERT_EQ(0, ret);
    EXPECT_NE(std::string::npos, out.find("DU_DUZ_VDA_StartRecvPic ")) << out;
    EXPECT_NE(std::string::npos, out.find("[KX_MD_Process_Run]-")) << out;
    EXPECT_NE(std::string::npos, out.find("get vda result time out, exit thread")) << out;
    EXPECT_EQ(1u, mdThreadRun.load()); // ended, not yet joined
    out = testsupport::capture_stdout([&] { ret = KX_MdStop(0, 3); });
    EXPECT_EQ(0, ret) << out;
    EXPECT_EQ(0u, mdThreadRun.load());
    EXPECT_EQ(1u, testsupport::events("vda chn 0 stop").size());
}

// ---- on a live pipeline ----------------------------------------------------------------------

namespace {

// Takes every posted id as the main handler would, with when it came.
class Receiver {
public:
    Receiver()
    {
        thread_ = std::thread([this] {
            while (run_) {
                u32 id = 0;
                if (hcmgr_rcv_msg(&id) == -1 || id == 0)
                    continue;
                std::lock_guard<std::mutex> lock(lock_);
                got_.push_back({id, Clock::now()});
            }
        });
    }
    ~Receiver()
    {
        run_ = false;
        hcmgr_snd_msg(0); // wakes the receiver whatever it is doing
        thread_.join();
    }
    struct Got {
        u32 id;
        Clock::time_point at;
    };
    std::vector<Got> got()
    {
        std::lock_guard<std::mutex> lock(lock_);
        return got_;
    }
    // Waits up to `seconds` for `n` ids in all.
    bool wait_for(size_t n, double seconds)
    {
        auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < end) {
            if (got().size() >= n)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return got().size() >= n;
    }

private:
    std::atomic<bool> run_{true};
    std::mutex lock_;
    std::vector<Got> got_;
    std::thread thread_;
};

class MdLive : public BoardTest, public MdBase {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_GE(open_gpio_dev(), 0);
        livetest::configure(30, {3});
        livetest::start();
        receiver_ = std::make_unique<Receiver>();
    }
    void TearDown() override
    {
        testsupport::capture_stdout([] { KX_MdStop(0, 3); });
        receiver_.reset();
        livetest::stop();
        close_gpio_dev();
    }

    // Starts detection as a record application does and waits until the
    // channel takes pictures (the caller captures what it prints).
    static void start_md()
    {
        const u32 pic[2] = {320, 240};
        ASSERT_EQ(0, KX_MdStart(0, 3, pic, 30));
        ASSERT_TRUE(pipelinetest::wait_for([] { return !testsupport::events("vda chn 0 start").empty(); }, 5));
    }

    static void board(const char *command) { ASSERT_EQ("ok", sim::control(command)); }

    static double since(Clock::time_point t0, Clock::time_point t)
    {
        return std::chrono::duration<double>(t - t0).count();
    }

    std::unique_ptr<Receiver> receiver_;
};

} // namespace

TEST_F(MdLive, AStillSceneStartsNothingAndMotionStartsOneRecording)
{
    std::string out = testsupport::capture_stdout([&] {
        start_md();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        EXPECT_TRUE(receiver_->got().empty());

        board("scene motion on");
        Clock::time_point on = Clock::now();
        ASSERT_TRUE(receiver_->wait_for(1, 5));
        EXPECT_LE(since(on, receiver_->got()[0].at), 2.0);
        EXPECT_EQ(kRecRelease, receiver_->got()[0].id);
        // The application has not started yet: the motion goes on, no second start.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(1u, receiver_->got().size());
    });
    EXPECT_NE(std::string::npos, out.find("motion detect start record ")) << out;
}

TEST_F(MdLive, MotionRecordingStopsAfterTheQuietTime)
{
    const u64 quiet = md_quiet_time_us(0);
    std::string out = testsupport::capture_stdout([&] {
        // As a computer's disk the camera ignores what it sees.
        board("usb host");
        start_md();
        board("scene motion on");
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_TRUE(receiver_->got().empty());
        board("usb none");
        ASSERT_TRUE(receiver_->wait_for(1, 5));

        // The record application starts: motion goes on, nothing is posted.
        set_state(KX_REC_STATE_RUNNING, KX_REC_STATE_RUNNING);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_EQ(1u, receiver_->got().size());

        board("scene motion off");
        Clock::time_point off = Clock::now();
        ASSERT_TRUE(receiver_->wait_for(2, quiet / 1e6 + 5));
        EXPECT_EQ(kRecRelease, receiver_->got()[1].id);
        // Not before the quiet time (a loaded machine can only make it later).
        EXPECT_GE(since(off, receiver_->got()[1].at), quiet / 1e6 - 1);

        // The application stops; the file closes; still nothing moves.
        set_state(KX_REC_STATE_STOPPED, KX_REC_STATE_RUNNING);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        set_state(KX_REC_STATE_STOPPED, KX_REC_STATE_STOPPED);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(2u, receiver_->got().size());
    });
    // By the results' clock the stop came one quiet time after the last
    // motion, within a result or two.
    size_t at = out.find("curTime=");
    ASSERT_NE(std::string::npos, at) << out;
    unsigned long long cur = 0, pre = 0;
    ASSERT_EQ(2, sscanf(out.c_str() + at, "curTime=%llu , mdPreTime =%llu", &cur, &pre));
    EXPECT_GE(cur - pre, quiet);
    EXPECT_LT(cur - pre, quiet + 600000);
    EXPECT_EQ(std::string::npos, out.find("curTime=", at + 1)) << out;
}

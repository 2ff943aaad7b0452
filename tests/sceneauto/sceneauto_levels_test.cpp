// The levels the tuning threads step through: highlight compensation's own
// switch, poll by poll; the exposure levels with their hysteresis (normal,
// infrared, FSWDR); the FSWDR switch and its exposure-ratio bias; the
// encoder and sharpening levels the bit rate chooses; and a photo mode,
// which has no bit rate to follow. Expected values are the tuning's
// thresholds and tables, written out here.
#include "tests/sceneauto/sceneauto_live.h"

#include <vector>

using namespace satest;

namespace {

s32 set_scene(u32 scene) { return DU_VUZI_SCENEAUTO_SetSpecialMode(&scene); }

SCENEAUTO_AE_ATTR_S ae_record()
{
    SCENEAUTO_AE_ATTR_S a = {};
    EXPECT_EQ(0, CommSceneautoGetAEAttr(0, &a));
    return a;
}

} // namespace

// ---- highlight compensation's switch ------------------------------------------------------------

// The thresholds of the tuning image: on above 150000 in the histogram's
// dark bins, off below 140000, a jump of 3000 or an exposure of 6000 and
// more only switches off, and a condition must hold in more than 5 polls.
TEST(HighlightSwitch, PollByPoll)
{
    const SCENEAUTO_THRESHVALUE_S t = {0, 1, 150000, 140000, 3000, 6000, 5, 30, 20, 2000000000, 40};
    struct Poll {
        u32 dE, E, S;
        SceneautoHlcAction want;
    };
    const Poll bright = {0, 1000, 160000, HLC_KEEP}, dark = {0, 1000, 100000, HLC_KEEP},
               between = {0, 1000, 145000, HLC_KEEP};
    auto with = [](Poll p, SceneautoHlcAction a) {
        p.want = a;
        return p;
    };
    auto repeat = [](const Poll &p, int n) { return std::vector<Poll>(n, p); };
    auto join = [](std::initializer_list<std::vector<Poll>> parts) {
        std::vector<Poll> all;
        for (const auto &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char *name;
        bool on;
        std::vector<Poll> polls;
        bool on_after;
    };
    const Case cases[] = {
        {"six bright polls switch it on", false, join({repeat(bright, 5), {with(bright, HLC_SWITCH_ON)}}), true},
        {"five bright polls do not", false, repeat(bright, 5), false},
        {"a poll between the thresholds starts the count again", false,
         join({repeat(bright, 5), {between}, repeat(bright, 5), {with(bright, HLC_SWITCH_ON)}}), true},
        {"exactly the on threshold does not count", false, repeat({0, 1000, 150000, HLC_KEEP}, 8), false},
        {"six dark polls switch it off", true, join({repeat(dark, 5), {with(dark, HLC_SWITCH_OFF)}}), false},
        {"on, a poll between the thresholds starts the count again", true,
         join({repeat(dark, 5), {between}, repeat(dark, 5), {with(dark, HLC_SWITCH_OFF)}}), false},
        {"exactly the off threshold does not count", true, repeat({0, 1000, 140000, HLC_KEEP}, 8), true},
        {"a jump in a dark picture switches it off at once", true, {{3000, 1000, 100000, HLC_SWITCH_OFF_JUMP}},
         false},
        {"a long exposure in a dark picture too", true, {{0, 6000, 139999, HLC_SWITCH_OFF_JUMP}}, false},
        {"a jump in a bright picture leaves it on", true, repeat({3000, 1000, 160000, HLC_KEEP}, 8), true},
        {"jumps never switch it on", false, repeat({5000, 1000, 200000, HLC_KEEP}, 8), false},
        {"long exposures never switch it on", false, repeat({0, 6000, 200000, HLC_KEEP}, 8), false},
        {"just below the long exposure counts", false,
         join({repeat({0, 5999, 150001, HLC_KEEP}, 5), {{0, 5999, 150001, HLC_SWITCH_ON}}}), true},
        {"a jump leaves the count where it was", false,
         join({repeat(bright, 3), {{3000, 1000, 160000, HLC_KEEP}}, repeat(bright, 2), {with(bright, HLC_SWITCH_ON)}}),
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SceneautoHlcState s = {c.on, 0};
        for (size_t i = 0; i < c.polls.size(); i++) {
            const Poll &p = c.polls[i];
            EXPECT_EQ(p.want, sceneauto_hlc_poll(s, p.dE, p.E, p.S, t)) << "poll " << i;
        }
        EXPECT_EQ(c.on_after, s.bOn);
    }
}

// ---- the normal thread's levels, cycle by cycle ---------------------------------------------------

namespace {

class TuningLevels : public SceneautoLive {
protected:
    void init(Movie movie = kH264)
    {
        start_pipeline(movie);
        quiet([] { ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("x")); });
        sceneauto_normal_reset(s_);
        s_.stInfo = {0, 1024, 1024, 1024, 10000}; // unit gains: the exposure is the time
    }
    std::string cycle()
    {
        return quiet([&] { sceneauto_normal_retune(s_); });
    }
    // The movie channel's bit rate, then a cycle; what it said.
    std::string cycle_at(u32 kbps)
    {
        VENC_CHN_ATTR_REC_S a;
        EXPECT_EQ(0, DU_DUZ_VENC_GetChnAttr(1, &a));
        a.stRcAttr.u32BitRate = kbps;
        EXPECT_EQ(0, DU_DUZ_VENC_SetChnAttr(1, &a));
        return cycle();
    }

    SceneautoNormalState s_;
};

} // namespace

// The level rises only when the exposure rose, over the up thresholds, and
// falls only when it fell, over the down ones: between them it holds.
TEST_F(TuningLevels, ExposureLevelsHoldBetweenTheirThresholds)
{
    init();
    // The image's normal levels all tune alike: tell them apart by their
    // compensation.
    for (u32 l = 0; l < 5; l++)
        g_stINIPara.stIniAE.astLevel[l].u8Compensation = (u8)(20 + 10 * l);
    struct Step {
        u32 E;
        u32 level;
    };
    struct Case {
        const char *name;
        u32 scene;
        std::vector<Step> steps;
        std::vector<u8> compensation, offset; // by level; offset empty: not tuned
    };
    const Case cases[] = {
        // up 8000, 40000, 150000, 300000, 10000000; down 6000, 30000, 120000, 240000, 8000000
        {"normal",
         0,
         {{7000, 0}, {8000, 0}, {8001, 1}, {6500, 1}, {5999, 0}, {200000, 3}, {200000, 3}, {20000000, 4},
          {7000000, 4}, {100000, 2}, {1, 0}},
         {20, 30, 40, 50, 60},
         {}},
        // up 700000, 2200000, 5000000, 8000000; down 600000, 1800000, 4000000, 7000000
        {"infrared",
         2,
         {{650000, 0}, {2000000, 1}, {1900000, 1}, {1700000, 1}, {500000, 0}, {9000000, 3}, {4500000, 3},
          {3000000, 2}},
         {50, 48, 38, 32},
         {20, 18, 14, 10}},
        // FSWDR on: up 600000, 1800000, 4000000; down 700000, 2200000, 5000000
        {"FSWDR",
         7,
         {{500000, 0}, {650000, 1}, {640000, 0}, {5000000, 2}, {4999999, 2}},
         {100, 90, 80},
         {32, 20, 16}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, quiet_result([&] { return set_scene(c.scene); }));
        sceneauto_normal_reset(s_);
        s_.u32StartScene = 0; // as a thread started in the normal scene
        s_.stInfo = {0, 1024, 1024, 1024, 10000};
        for (const Step &st : c.steps) {
            SCOPED_TRACE(st.E);
            s_.stInfo.u32ExpTime = st.E;
            cycle();
            const u32 level = c.scene == 0 ? s_.u32AeLevel : c.scene == 2 ? s_.u32IrLevel : s_.u32FswdrLevel;
            EXPECT_EQ(st.level, level);
            const SCENEAUTO_AE_ATTR_S ae = ae_record();
            EXPECT_EQ(c.compensation[st.level], ae.u8Compensation);
            if (!c.offset.empty()) {
                EXPECT_EQ(c.offset[st.level], ae.u8MaxHistOffset);
            }
        }
        ASSERT_EQ(0, quiet_result([] { return set_scene(0); }));
    }
}

// The FSWDR scenes: 7 switches stitching on, 8 off, 6 by the exposure
// status (on after six cycles above 800, off after six below 200, a cycle
// in between starts both counts again); the exposure-ratio bias is 1024,
// and the image's own from the third cycle in a row with stitching off.
TEST_F(TuningLevels, TheFswdrSwitchAndItsRatioBias)
{
    init();
    g_stINIPara.u16RatioBias = 2816; // apart from the 1024 of a cycle that doesn't take it
    struct Step {
        u32 scene, status; // status word A
        u8 on;
        u16 bias;
    };
    auto run = [](std::vector<Step> &all, Step s, int n) { all.insert(all.end(), n, s); };
    std::vector<Step> steps = {{7, 0, 1, 1024}};
    run(steps, {6, 100, 1, 1024}, 5);  // down 1..5
    run(steps, {6, 300, 1, 1024}, 1);  // between: both counts 0
    run(steps, {6, 100, 1, 1024}, 5);  // down 1..5 again
    steps.push_back({6, 100, 0, 1024}); // down 6: off; its first cycle off
    steps.push_back({6, 100, 0, 1024}); // the second
    run(steps, {6, 100, 0, 2816}, 2);  // the third and on
    run(steps, {6, 1000, 0, 2816}, 5); // up 1..5
    run(steps, {6, 600, 0, 2816}, 1);  // above 512 but not above 800: both counts 0
    run(steps, {6, 1000, 0, 2816}, 5); // up 1..5 again
    steps.push_back({6, 801, 1, 1024}); // up 6: on
    steps.push_back({8, 1000, 0, 1024});
    steps.push_back({8, 1000, 0, 1024});
    steps.push_back({8, 1000, 0, 2816});
    steps.push_back({7, 0, 1, 1024});
    u32 scene = 0;
    for (size_t i = 0; i < steps.size(); i++) {
        const Step &st = steps[i];
        SCOPED_TRACE(testing::Message() << "cycle " << i << ", scene " << st.scene << ", status " << st.status);
        if (st.scene != scene) {
            ASSERT_EQ(0, quiet_result([&] { return set_scene(st.scene); }));
            scene = st.scene;
        }
        s_.stInfo.u32ISO = st.status;
        cycle();
        EXPECT_EQ(st.on, ae_record().u8FSWDRMode);
        u16 bias = 0;
        ASSERT_EQ(0, CommSceneautoGetWdrExposureAttr(0, &bias));
        EXPECT_EQ(st.bias, bias);
    }
}

// The bit rate picks the H.264 level (1025, 2049, 4097, 8145 kbit/s: the
// first at or above it) and the sharpening level (1024, 2048, 4096); a
// level is set again only when it changes.
TEST_F(TuningLevels, TheBitRateChoosesH264AndSharpeningLevels)
{
    init(kH264);
    for (u32 l = 0; l < 3; l++)
        g_stINIPara.stIniSharpen.astLevel[l].au8SharpenD[0] = (u8)(10 + l); // tell the levels apart
    struct Case {
        u32 kbps;
        u32 level, sharpen;
        bool rc_set;
    } cases[] = {
        {512, 0, 0, true}, {1024, 0, 0, false}, {1025, 0, 1, false}, {2048, 1, 1, true},  {2049, 1, 2, false},
        {4096, 2, 2, true}, {4097, 2, 2, false}, {8145, 3, 2, true},  {20000, 3, 2, false}, {1025, 0, 1, true},
    };
    // Level by level: the rate-control word 24, the constant-rate word 29
    // and the transform word.
    const u32 common[4] = {0, 1, 0, 0}, mode_word[4] = {4, 4, 4, 2};
    const s32 trans[4] = {0, -6, -4, 0};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kbps);
        const std::string out = cycle_at(c.kbps);
        EXPECT_EQ(c.rc_set, has(out, "CommSceneautoSetH264RcParam,DU_DUZ_VENC_SetRcParam")) << out;
        SCENEAUTO_RC_PARAM_S rc = {};
        ASSERT_EQ(0, CommSceneautoGetH264RcParam(1, &rc));
        EXPECT_EQ(common[c.level], rc.u32Common);
        EXPECT_EQ(mode_word[c.level], rc.u32ModeWord);
        u32 word = 0;
        ASSERT_EQ(0, CommSceneautoGetH264Trans(1, &word));
        EXPECT_EQ(trans[c.level], (s32)word);
        SCENEAUTO_SHARPEN_S sh = {};
        ASSERT_EQ(0, CommSceneautoGetSharpen(0, &sh));
        EXPECT_EQ(10 + c.sharpen, sh.au8SharpenD[0]);
    }
}

// H.265: two levels, at 2048 and 4098 kbit/s; the constant-rate word is 1
// and then 4.
TEST_F(TuningLevels, TheBitRateChoosesH265Levels)
{
    init(kH265);
    struct Case {
        u32 kbps;
        u32 mode_word;
        bool rc_set;
    } cases[] = {{1000, 1, true}, {2048, 1, false}, {2049, 4, true}, {4098, 4, false}, {9000, 4, false}, {900, 1, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kbps);
        const std::string out = cycle_at(c.kbps);
        EXPECT_EQ(c.rc_set, has(out, "CommSceneautoSetH265RcParam,DU_DUZ_VENC_SetRcParam")) << out;
        EXPECT_FALSE(has(out, "CommSceneautoSetH264RcParam")) << out;
        SCENEAUTO_RC_PARAM_S rc = {};
        ASSERT_EQ(0, CommSceneautoGetH265RcParam(1, &rc));
        EXPECT_EQ(1u, rc.u32Common);
        EXPECT_EQ(c.mode_word, rc.u32ModeWord);
    }
}

// A photo mode has no movie channel: the cycles follow the exposure as
// ever, with no bit rate to ask for and nothing failing about it.
TEST_F(TuningLevels, APhotoModeHasNoBitRateToFollow)
{
    init(kNoMovie);
    std::string out;
    for (u32 time : {10000u, 20000u, 40000u}) {
        s_.stInfo.u32ExpTime = time;
        out += cycle();
    }
    EXPECT_FALSE(has(out, "DU_DUZ_VENC_GetChnAttr failed")) << out;
    EXPECT_FALSE(has(out, "DU_SceneAuto_GetBitrate failed")) << out;
    EXPECT_FALSE(has(out, "failed")) << out;
    EXPECT_EQ(40000u, s_.u32Exp);
    // Sharpening takes the lowest bit-rate level, as without a bit rate.
    SCENEAUTO_SHARPEN_S sh = {};
    ASSERT_EQ(0, CommSceneautoGetSharpen(0, &sh));
    EXPECT_EQ(0, memcmp(&g_stINIPara.stIniSharpen.astLevel[0], &sh, sizeof sh));
}

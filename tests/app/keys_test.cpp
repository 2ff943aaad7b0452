#include "app/keys.h"

#include <gmock/gmock.h>

#include <cstring>
#include <string>

#include "tests/app/scan_fixture.h"

using scantest::take_messages;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr uint32_t kRecPress = HMSG_KEY_PRESS | KEY_ID_REC;
constexpr uint32_t kRecRelease = HMSG_KEY_RELEASE | KEY_ID_REC;
constexpr uint32_t kRecHold = HMSG_KEY_HOLD | KEY_ID_REC;
constexpr uint32_t kModePress = HMSG_KEY_PRESS | KEY_ID_MODE;
constexpr uint32_t kModeHold = HMSG_KEY_HOLD | KEY_ID_MODE;

// The key table as it is at power-on (constant-initialised, so already
// filled when this copy is made).
struct InitialKeys {
    KeyEntry keys[KEY_COUNT];
    InitialKeys() { memcpy(keys, G_btoc, sizeof keys); }
} const kInitialKeys;

class KeysTest : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        memcpy(G_btoc, kInitialKeys.keys, sizeof G_btoc);
    }
};

// One step of a key script: a key level held for some passes, or a switch
// of the key enable; the ids the step must post.
struct Step {
    const char *what; // "rec", "mode" (pressed), "up" (both released), "disable", "enable"
    int passes;
    std::vector<uint32_t> posts;
};

void run_step(const Step &s)
{
    std::string what = s.what;
    if (what == "disable") {
        button_disable();
        return;
    }
    if (what == "enable") {
        button_enable();
        return;
    }
    ASSERT_EQ(sim::control(std::string("key rec ") + (what == "rec" ? "press" : "release")), "ok");
    ASSERT_EQ(sim::control(std::string("key mode ") + (what == "mode" ? "press" : "release")), "ok");
    for (int i = 0; i < s.passes; ++i)
        key_scan();
}

TEST_F(KeysTest, KeyScriptsPostTheirIdsPassByPass)
{
    struct Case {
        const char *name;
        std::vector<Step> steps;
    } cases[] = {
        {"the first press after start goes out on the first pass",
         {{"rec", 1, {kRecPress}}, {"up", 1, {kRecRelease}}}},
        {"later presses need two stable passes",
         {{"rec", 1, {kRecPress}}, {"up", 1, {kRecRelease}}, {"rec", 1, {}}, {"rec", 1, {kRecPress}},
          {"up", 1, {kRecRelease}}}},
        {"a one-pass bounce is no press",
         {{"rec", 1, {kRecPress}}, {"up", 1, {kRecRelease}}, {"rec", 1, {}}, {"up", 3, {}}}},
        {"MODE held 2.5 s gives press, then hold 2 s after it, and no release",
         {{"mode", 1, {kModePress}}, {"mode", 39, {}}, {"mode", 1, {kModeHold}}, {"mode", 9, {}}, {"up", 2, {}}}},
        {"REC hold likewise",
         {{"rec", 1, {kRecPress}}, {"rec", 39, {}}, {"rec", 1, {kRecHold}}, {"up", 1, {}}}},
        {"held while disabled, the press goes out on the first pass after enable",
         {{"disable", 0, {}}, {"rec", 5, {}}, {"enable", 0, {}}, {"rec", 1, {kRecPress}}, {"up", 1, {kRecRelease}}}},
        {"released while disabled: no stale release once enabled",
         {{"rec", 1, {kRecPress}},
          {"disable", 0, {}},
          {"up", 2, {}},
          {"enable", 0, {}},
          {"up", 3, {}},
          {"rec", 2, {kRecPress}},
          {"up", 1, {kRecRelease}}}},
        {"a hold reached while disabled is not posted, nor its release",
         {{"rec", 1, {kRecPress}}, {"disable", 0, {}}, {"rec", 41, {}}, {"enable", 0, {}}, {"up", 2, {}}}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        memcpy(G_btoc, kInitialKeys.keys, sizeof G_btoc);
        take_messages();
        int n = 0;
        for (auto &s : c.steps) {
            SCOPED_TRACE(testing::Message() << "step " << n++ << " " << s.what);
            run_step(s);
            EXPECT_EQ(take_messages(), s.posts);
        }
        run_step({"up", 3, {}});
        button_enable();
        take_messages();
    }
}

TEST_F(KeysTest, PressAndReleaseAreReportedByName)
{
    std::string out = testsupport::capture_stdout([] {
        run_step({"rec", 1, {}});
        run_step({"up", 1, {}});
    });
    EXPECT_EQ(out, "Press: REC bid = 1\nRelease: REC bid = 1\n");
}

TEST_F(KeysTest, PowerKeyIsPostedOnceForTheLifeOfTheProcess)
{
    power_button_det();
    EXPECT_THAT(take_messages(), IsEmpty());

    ASSERT_EQ(sim::control("key power press"), "ok");
    power_button_det();
    power_button_det();
    EXPECT_THAT(take_messages(), ElementsAre(HMSG_POWER_KEY));

    ASSERT_EQ(sim::control("key power release"), "ok");
    ASSERT_EQ(sim::control("key power press"), "ok");
    power_button_det();
    EXPECT_THAT(take_messages(), IsEmpty());
}

TEST_F(KeysTest, TvCableIsReportedOnlyWhileDetectionIsEnabled)
{
    set_Tv_State(0);
    struct Case {
        const char *name;
        const char *control; // nullptr: none
        int enable;          // -1: leave as is
        std::vector<uint32_t> posts;
        int state;
    } cases[] = {
        {"disabled: a cable going in is not looked at", "tv in", 0, {}, 0},
        {"enabled later: the cable that is in is reported", nullptr, 1, {HMSG_TV_IN}, 1},
        {"once", nullptr, -1, {}, 1},
        {"out", "tv out", -1, {HMSG_TV_OUT}, 0},
        {"in again", "tv in", -1, {HMSG_TV_IN}, 1},
        {"disabled: the cable going out is not looked at", "tv out", 0, {}, 1},
        {"enabled again: reported", nullptr, 1, {HMSG_TV_OUT}, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.control) {
            ASSERT_EQ(sim::control(c.control), "ok");
        }
        if (c.enable >= 0)
            tv_detect_Enable(c.enable);
        tv_detect();
        EXPECT_EQ(take_messages(), c.posts);
        EXPECT_EQ(get_Tv_State(), c.state);
    }
    tv_detect_Enable(0);
}

// The battery scan keeps its pass count and its report for the process, so
// the whole story is one test.
TEST_F(KeysTest, SixLowBatteryReadingsInARowPostOnceAndNeverAgain)
{
    auto seconds = [](int n) {
        for (int i = 0; i < n * BATTERY_SCAN_PASSES; ++i)
            adc_detect();
    };
    ASSERT_EQ(sim::control("battery 579"), "ok");
    EXPECT_EQ(Get_Adc_val(), 579);
    seconds(5);
    EXPECT_THAT(take_messages(), IsEmpty());

    ASSERT_EQ(sim::control("battery 600"), "ok");
    seconds(1);
    ASSERT_EQ(sim::control("battery 579"), "ok");
    seconds(5);
    EXPECT_THAT(take_messages(), IsEmpty()) << "a good reading starts the count again";

    // The battery is read only on every 20th pass.
    for (int i = 0; i < BATTERY_SCAN_PASSES - 1; ++i)
        adc_detect();
    EXPECT_THAT(take_messages(), IsEmpty());
    std::string out = testsupport::capture_stdout([] { adc_detect(); });
    EXPECT_THAT(take_messages(), ElementsAre(AMSG_LOW_BATTERY));
    EXPECT_EQ(out, "Low power,run power off,adc value is:579\n");

    seconds(10);
    ASSERT_EQ(sim::control("battery 600"), "ok");
    seconds(1);
    ASSERT_EQ(sim::control("battery 500"), "ok");
    seconds(10);
    EXPECT_THAT(take_messages(), IsEmpty());
}

TEST_F(KeysTest, BatteryAdcDeviceReadsItsTwoChannels)
{
    EXPECT_EQ(testsupport::capture_stdout([] { EXPECT_EQ(get_adc_value(0), 0u); }), "Open /dev/kxadcdev error!\n");
    ASSERT_GE(open_adc_dev(), 0);
    ASSERT_EQ(sim::control("battery 720"), "ok");
    EXPECT_EQ(get_adc_value(0), 720u >> 2);
    EXPECT_EQ(get_adc_value(1), 0u);
    EXPECT_EQ(testsupport::capture_stdout([] { EXPECT_EQ(get_adc_value(2), 0u); }), "no this channel !\n");
    close_adc_dev();
}

} // namespace

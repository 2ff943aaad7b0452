#include "app/leds.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/app_manager.h"
#include "app/apps.h"
#include "app/pref.h"
#include "core/rec_state.h"
#include "tests/app/scan_fixture.h"

using scantest::take_messages;
using scantest::wait_for_message;
using scantest::wait_until;
using testing::Contains;
using testing::IsEmpty;

namespace {

const char *const kLedLine[LED_COUNT] = {"gpio 10_0 ", "gpio 10_5 ", "gpio 3_6 ", "gpio 0_6 "};

// Level changes of one LED in events.log, with their times.
std::vector<long> changes(int led)
{
    std::vector<long> ms;
    for (auto &line : testsupport::events(kLedLine[led]))
        ms.push_back(strtol(line.c_str(), nullptr, 10));
    return ms;
}

void set_levels(std::initializer_list<int> levels)
{
    int led = 0;
    for (int level : levels)
        app_led_ctrl(led++, level);
}

class LedsTest : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        set_led_flash_type(LED_TYPE_NONE);
        led_flag = 0;
        gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_STOPPED;
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
    }
    void TearDown() override
    {
        stop_led_flash();
        rec_stop_led_flash();
        pho_stop_led_flash();
        ScanTest::TearDown();
    }
};

TEST_F(LedsTest, LedNumbersDriveTheirLines)
{
    struct Case {
        int led;
        int on;
        const char *line;
        int level;
    } cases[] = {
        {LED0, 1, "10_0", 1}, {LED1, 1, "10_5", 1}, {LED2, 0x101, "3_6", 1}, {LED3, 1, "0_6", 1},
        {LED3, 0x100, "0_6", 0}, // only the low byte counts
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.line);
        app_led_ctrl(c.led, c.on);
        EXPECT_EQ(app_get_led_state(c.led), c.level);
        int bank, pin;
        ASSERT_EQ(sscanf(c.line, "%d_%d", &bank, &pin), 2);
        EXPECT_EQ(sim::gpio_level(bank * 256 + pin), c.level);
    }
    app_led_ctrl(4, 1);
    app_led_ctrl(-1, 1);
    EXPECT_EQ(app_get_led_state(4), 0);
}

TEST_F(LedsTest, CountedBlinkTogglesTheFlaggedLedsThenReportsItsEnd)
{
    struct Case {
        const char *name;
        uint32_t cycle, count;
        long min_gap_ms; // toggles are at least this far apart
    } cases[] = {
        {"150 ms x 3: six toggles, one per 200 ms", 150, 3, 190},
        {"a cycle below 50 ms toggles every 100 ms", 20, 2, 90},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::start(testsupport::fresh_root("blink"));
        set_led_flash_type(LED_TYPE_NONE);
        set_levels({0, 0, 0, 0});
        led_flag = LED_FLAG_LED0 | LED_FLAG_LED2;
        ASSERT_EQ(create_led_flash_thread(c.cycle, c.count, LED_TYPE_BATTERY), 0);
        auto got = wait_for_message(AMSG_LED_FLASH_END);
        EXPECT_THAT(got, Contains(AMSG_LED_FLASH_END).Times(1));

        for (int led : {LED0, LED2}) {
            auto ms = changes(led);
            ASSERT_EQ(ms.size(), 2 * c.count) << "LED " << led;
            for (size_t i = 1; i < ms.size(); ++i)
                EXPECT_GE(ms[i] - ms[i - 1], c.min_gap_ms);
            EXPECT_EQ(app_get_led_state(led), 0);
        }
        EXPECT_THAT(changes(LED1), IsEmpty());
        EXPECT_THAT(changes(LED3), IsEmpty());
        EXPECT_EQ(get_led_flash_type(), LED_TYPE_BATTERY) << "the type stays after the end";
    }
}

TEST_F(LedsTest, BlinksAreRefusedByTheCurrentType)
{
    struct Case {
        const char *name;
        int current, requested, result;
    } cases[] = {
        {"first blink", LED_TYPE_NONE, LED_TYPE_BATTERY, 0},
        {"the same type again", LED_TYPE_BATTERY, LED_TYPE_BATTERY, -1},
        {"another type", LED_TYPE_BATTERY, LED_TYPE_POWER_OFF_CARD, 0},
        {"after a power-off blink", LED_TYPE_POWER_OFF, LED_TYPE_POWER_OFF_CARD, -1},
        {"after a power-off blink, even the battery", LED_TYPE_POWER_OFF, LED_TYPE_BATTERY, -1},
        {"power-off after a card blink", LED_TYPE_POWER_OFF_CARD, LED_TYPE_POWER_OFF, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        set_led_flash_type(c.current);
        EXPECT_EQ(create_led_flash_thread(150, 0, c.requested), c.result);
        EXPECT_EQ(get_led_flash_type(), c.result == 0 ? c.requested : c.current);
        stop_led_flash();
    }
    EXPECT_THAT(take_messages(), IsEmpty());
}

TEST_F(LedsTest, OnlyABlinkThatRanItsCourseReportsItsEnd)
{
    led_flag = LED_FLAG_LED0;
    // An endless blink replaced by a counted one: one end, the counted one's.
    ASSERT_EQ(create_led_flash_thread(50, 0, LED_TYPE_FW_UPDATE), 0);
    ASSERT_TRUE(wait_until([] { return changes(LED0).size() >= 1; }));
    ASSERT_EQ(create_led_flash_thread(50, 1, LED_TYPE_POWER_OFF_CARD), 0);
    EXPECT_THAT(wait_for_message(AMSG_LED_FLASH_END), Contains(AMSG_LED_FLASH_END).Times(1));

    // A stopped one reports nothing: the stop has joined it.
    set_led_flash_type(LED_TYPE_NONE);
    ASSERT_EQ(create_led_flash_thread(50, 0, LED_TYPE_FW_UPDATE), 0);
    size_t before = changes(LED0).size();
    ASSERT_TRUE(wait_until([&] { return changes(LED0).size() > before; }));
    stop_led_flash();
    EXPECT_THAT(take_messages(), IsEmpty());
    EXPECT_EQ(led_run_flag, 0u);
}

TEST_F(LedsTest, AStoppedBlinkPutsTheLedsBack)
{
    struct Case {
        const char *name;
        int type;
        std::vector<int> restored; // LEDs back at their levels
    } cases[] = {
        {"battery blink: LED0 and LED2", LED_TYPE_BATTERY, {LED0, LED2}},
        {"other types: all four", LED_TYPE_FW_UPDATE, {LED0, LED1, LED2, LED3}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        set_led_flash_type(LED_TYPE_NONE);
        set_levels({1, 0, 1, 0});
        led_flag = LED_FLAG_ALL;
        size_t before = changes(LED1).size();
        ASSERT_EQ(create_led_flash_thread(50, 0, c.type), 0);
        ASSERT_TRUE(wait_until([&] { return changes(LED1).size() > before; }));
        stop_led_flash();
        const int levels[LED_COUNT] = {1, 0, 1, 0};
        for (int led : c.restored)
            EXPECT_EQ(app_get_led_state(led), levels[led]) << "LED " << led;
    }
}

// A computer found while the boot's battery blink runs: the disk's LEDs
// (LED1 and LED2) stay lit after the blink would have ended.
TEST_F(LedsTest, TheUsbDiskEndsTheBootBlink)
{
    set_levels({0, 0, 0, 0});
    led_flag = LED_FLAG_LED0 | LED_FLAG_LED2;
    const size_t before = changes(LED2).size();
    ASSERT_EQ(create_led_flash_thread(50, 3, LED_TYPE_BATTERY), 0);
    ASSERT_TRUE(wait_until([&] { return changes(LED2).size() > before; }));
    app_usb_msc_start();
    usleep(800 * 1000); // longer than the rest of the blink's six toggles
    EXPECT_EQ(app_get_led_state(LED1), 1);
    EXPECT_EQ(app_get_led_state(LED2), 1);
    EXPECT_EQ(app_get_led_state(LED0), 0);
}

// Registers the applications in the handler's order, with no operations.
class RecordBlinkTest : public LedsTest {
protected:
    void SetUp() override
    {
        LedsTest::SetUp();
        appmgt_init(table_, 32);
        for (auto &e : entries_)
            e = AppEntry{};
        int *ids[] = {&APP_MAIN, &APP_FW_UPDATE, &APP_SETTING_UPDATE, &APP_USB_MSC,
                      &APP_RECMODE1, &APP_RECMODE2, &APP_PHOMODE};
        for (int i = 0; i < 7; ++i)
            *ids[i] = appmgt_register(&entries_[i]);
        if (!app_pref_user)
            app_pref_user = new DvSystemParam();
        app_pref_user->LED = 1;
    }

    AppEntry entries_[7];
    AppEntry *table_[32] = {};
};

TEST_F(RecordBlinkTest, BlinksTheModeLedWithLed2)
{
    struct Case {
        const char *name;
        int *app;
        int mode_led;
    } cases[] = {
        {"record mode 1", &APP_RECMODE1, LED1},
        {"record mode 2", &APP_RECMODE2, LED3},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::start(testsupport::fresh_root("rec"));
        set_levels({0, 0, 0, 0});
        app_cur = *c.app;
        ASSERT_EQ(rec_create_led_flash_thread(1), 0);
        // Two toggles, 1.1 s apart, then lit.
        ASSERT_TRUE(wait_until([&] { return changes(c.mode_led).size() >= 3; }));
        rec_stop_led_flash();
        EXPECT_EQ(changes(c.mode_led).size(), 3u);
        EXPECT_EQ(changes(LED2).size(), 3u);
        EXPECT_EQ(app_get_led_state(c.mode_led), 1);
        EXPECT_EQ(app_get_led_state(LED2), 1);
        auto ms = changes(c.mode_led);
        EXPECT_GE(ms[1] - ms[0], 1000);
        for (int other : {LED0, LED1, LED3})
            if (other != c.mode_led) {
                EXPECT_THAT(changes(other), IsEmpty());
            }
    }
}

TEST_F(RecordBlinkTest, EndsLitUnlessTheLedIsOffWhileRecording)
{
    struct Case {
        const char *name;
        int32_t led_pref;
        uint8_t rec_state;
        int level;
    } cases[] = {
        {"LED on, recording", 1, KX_REC_STATE_RUNNING, 1},
        {"LED off, recording", 0, KX_REC_STATE_RUNNING, 0},
        {"LED off, stopped", 0, KX_REC_STATE_STOPPED, 1},
    };
    app_cur = APP_RECMODE1;
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        app_pref_user->LED = c.led_pref;
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = c.rec_state;
        ASSERT_EQ(rec_create_led_flash_thread(0), 0);
        rec_stop_led_flash();
        EXPECT_EQ(app_get_led_state(LED1), c.level);
        EXPECT_EQ(app_get_led_state(LED2), c.level);
    }
}

TEST_F(LedsTest, PhotoBlinkRunsOncePerSignal)
{
    gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_RUNNING;
    set_levels({1, 0, 1, 0});
    ASSERT_EQ(pho_create_led_flash_thread(200, 1), 0);
    for (int shot = 1; shot <= 2; ++shot) {
        SCOPED_TRACE(shot);
        size_t before = changes(LED0).size();
        KX_SendCondtoPhoto_Led_Flash();
        // Off, two toggles, lit: four changes of LED0 from lit.
        ASSERT_TRUE(wait_until([&] { return changes(LED0).size() >= before + 4; }));
        usleep(500 * 1000);
        EXPECT_EQ(changes(LED0).size(), before + 4);
        EXPECT_EQ(app_get_led_state(LED0), 1);
        EXPECT_EQ(app_get_led_state(LED2), 1);
    }
    std::string out = testsupport::capture_stdout([] { pho_stop_led_flash(); });
    EXPECT_EQ(out, "photo led flash end \n");
}

TEST_F(LedsTest, PhotoBlinkStopsInTheMiddleOfARunAndRightAfterItsStart)
{
    // A run without end: the stop ends it; LEDs keep the last toggle's level.
    gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_RUNNING;
    ASSERT_EQ(pho_create_led_flash_thread(100, 0), 0);
    KX_SendCondtoPhoto_Led_Flash();
    ASSERT_TRUE(wait_until([] { return changes(LED0).size() >= 2; }));
    pho_stop_led_flash();
    EXPECT_EQ(app_get_led_state(LED2), app_get_led_state(LED0));

    // The end of a shot (idle photo entry) ends a run lit.
    ASSERT_EQ(pho_create_led_flash_thread(100, 0), 0);
    size_t before = changes(LED0).size();
    KX_SendCondtoPhoto_Led_Flash();
    ASSERT_TRUE(wait_until([&] { return changes(LED0).size() >= before + 2; }));
    gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_STOPPED;
    ASSERT_TRUE(wait_until([] { return app_get_led_state(LED0) == 1 && app_get_led_state(LED2) == 1; }));
    pho_stop_led_flash();

    // Stopped before the thread waits, or while it waits: never hangs.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(pho_create_led_flash_thread(100, 1), 0);
        if (i % 2)
            usleep(1000);
        pho_stop_led_flash();
    }
    EXPECT_EQ(pho_led_run_flag, 0u);
}

} // namespace

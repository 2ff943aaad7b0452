#include "app/handler.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#include "app/app_manager.h"
#include "app/devices/gpio.h"
#include "app/devices/mcu.h"
#include "app/leds.h"
#include "app/pref.h"
#include "core/rec_state.h"
#include "app/sd_card.h"
#include "app/startup.h"
#include "app/usb.h"

#include "tests/app/scan_fixture.h"

using scantest::take_messages;

namespace {

class Handler : public ScanTest {};

// The microcontroller reports the power key (and a low battery) once: a
// request that comes while an update runs is held, and posted again when an
// update ends without switching the camera off.
TEST_F(Handler, APowerRequestDuringAnUpdateWaitsForItsEnd)
{
    struct Case {
        const char *name;
        bool pressed;
    } cases[] = {{"pressed during the update", true}, {"not pressed", false}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        fw_doing_update = 1;
        if (c.pressed)
            handler_dispatch(HMSG_POWER_KEY);
        EXPECT_EQ(0, u8IsEnterPowerFlow.load());
        EXPECT_TRUE(take_messages().empty());
        handler_update_ended();
        EXPECT_EQ(0, fw_doing_update.load());
        EXPECT_EQ(c.pressed ? std::vector<uint32_t>{HMSG_POWER_KEY} : std::vector<uint32_t>{}, take_messages());
        handler_update_ended(); // held once, posted once
        EXPECT_TRUE(take_messages().empty());
    }
}

// While the power goes, the TV cable no longer drives the output.
TEST_F(Handler, TheTvCableChangesNothingOncePoweringOff)
{
    u8IsEnterPowerFlow = 1;
    std::string out = testsupport::capture_stdout([] {
        handler_dispatch(HMSG_TV_IN);
        handler_dispatch(HMSG_TV_OUT);
    });
    u8IsEnterPowerFlow = 0;
    EXPECT_EQ("", out);
    EXPECT_TRUE(testsupport::events("vpss").empty());
    EXPECT_TRUE(testsupport::events("vo ").empty());
}

std::vector<std::string> g_seen; // what the stand-in applications were asked to do

std::string hex(uint32_t id)
{
    char t[16];
    snprintf(t, sizeof t, "0x%08x", id);
    return t;
}

// Stand-ins for the camera's applications: they note their start, stop and
// messages, and are idle once started as every application is.
const char *const kStubNames[] = {"main", "usb", "rec1", "rec2", "photo"};
template <int N> struct Stub {
    static AppEntry entry;
    static AppEntry *fresh()
    {
        entry = AppEntry{0, 0, 0, 0, 0, 0, 0, start, stop, on_message};
        return &entry;
    }
    static void note(const std::string &what) { g_seen.push_back(what + " " + kStubNames[N]); }
    static int start()
    {
        note("start");
        entry.flags |= APP_FLAG_RUNNING | APP_FLAG_IDLE;
        return 0;
    }
    static int stop()
    {
        note("stop");
        return 0;
    }
    static int on_message(uint32_t id, uint32_t, uint32_t)
    {
        note(hex(id) + " to");
        return -1;
    }
};
template <int N> AppEntry Stub<N>::entry;

// The handler on a board that traces every request, with the stand-ins
// registered under the applications' ids.
class HandlerRoutes : public ScanTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        ScanTest::SetUp();
        saved_prefs_ = app_pref_user;
        app_pref_user = &prefs_;
    }
    void TearDown() override
    {
        settle();
        app_pref_user = saved_prefs_;
        APP_MAIN = APP_USB_MSC = APP_RECMODE1 = APP_RECMODE2 = APP_PHOMODE = -1;
        ScanTest::TearDown();
    }

    // Nothing blinking, nothing powering off, no preferences set, the card
    // in, no recording, and `app` current.
    void reset(const int &app) // an id the registration below sets
    {
        settle();
        u8IsEnterPowerFlow = 0;
        fw_doing_update = 0;
        idle_state = 0;
        card_state = CARD_STATE_PRESENT;
        system_first_run_no_usb = 0;
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        prefs_ = DvSystemParam{};
        set_return_power_on_source(0);
        appmgt_init(table_, 32);
        int *ids[] = {&APP_MAIN, &APP_USB_MSC, &APP_RECMODE1, &APP_RECMODE2, &APP_PHOMODE};
        AppEntry *entries[] = {Stub<0>::fresh(), Stub<1>::fresh(), Stub<2>::fresh(), Stub<3>::fresh(),
                               Stub<4>::fresh()};
        entries[0]->flags = APP_FLAG_RUNNING | APP_FLAG_IDLE; // current from the start
        for (size_t i = 0; i < std::size(ids); i++)
            *ids[i] = appmgt_register(entries[i]);
        testsupport::capture_stdout([&] { appmgt_switch_to_app(app); });
        g_seen.clear();
        take_messages();
    }

    // A blink still running is stopped without its end.
    static void settle()
    {
        stop_led_flash();
        set_led_flash_type(LED_TYPE_NONE);
    }

    DvSystemParam prefs_{};
    DvSystemParam *saved_prefs_ = nullptr;
    AppEntry *table_[32] = {};
};

// Every row of the handler's routing: the message, the application it finds
// current, what it posts, what the applications are asked, the blink it
// starts and what the board shows. A row that cuts the power runs in a
// child process, which the board ends.
TEST_F(HandlerRoutes, EachMessageGoesWhereItsRowSays)
{
    const uint32_t rec_release = HMSG_KEY_RELEASE | KEY_ID_REC, mode_release = HMSG_KEY_RELEASE | KEY_ID_MODE;
    struct Route {
        const char *name;
        uint32_t id;
        int &app;
        std::function<void()> setup; // preferences and state of the row
        std::vector<uint32_t> posted;
        std::vector<std::string> seen;
        int blink;        // blink type started, LED_TYPE_NONE for none
        bool powering_off; // afterwards
        std::vector<std::string> events; // new board events, in this order
        bool power_cut = false;          // the board ends the process
    };
    auto recording = [] { gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING; };
    auto one_button = [this] {
        prefs_.OnePowerButtontoAutoRecord = 1;
        system_first_run_no_usb = 1; // on battery at power-on
    };
    auto external_power = [this] {
        prefs_.AutoRecordwithExternalPower = 1;
        set_return_power_on_source(1); // powered on by the cable
    };
    auto powering_off = [] { u8IsEnterPowerFlow = 1; };
    const std::vector<std::string> blink = {"gpio 10_0 ", "gpio 3_6 "}; // LED0 with LED2
    const Route routes[] = {
        {"power key", HMSG_POWER_KEY, APP_MAIN, nullptr, {}, {hex(HMSG_POWER_KEY) + " to main"},
         LED_TYPE_POWER_OFF, true, {"shell rm -rf /mnt/sdcard0/syscfg", blink[0], blink[1]}},
        {"power key while powering off", HMSG_POWER_KEY, APP_MAIN, powering_off, {}, {}, LED_TYPE_NONE, true, {}},
        {"charger out", HMSG_USB_DC_OUT, APP_RECMODE1, nullptr, {HMSG_POWER_KEY}, {}, LED_TYPE_NONE, false, {}},
        {"charger in, one-button auto record", HMSG_USB_DC_IN, APP_RECMODE1, one_button, {rec_release}, {},
         LED_TYPE_NONE, false, {}},
        {"charger in, auto record on external power", HMSG_USB_DC_IN, APP_RECMODE2, external_power, {rec_release},
         {}, LED_TYPE_NONE, false, {}},
        {"charger in while recording", HMSG_USB_DC_IN, APP_RECMODE1, [&] { one_button(), recording(); }, {}, {},
         LED_TYPE_NONE, false, {}},
        {"charger in, no auto record", HMSG_USB_DC_IN, APP_RECMODE1, nullptr, {}, {}, LED_TYPE_NONE, false, {}},
        {"charger in outside the record modes", HMSG_USB_DC_IN, APP_PHOMODE, one_button, {}, {}, LED_TYPE_NONE,
         false, {}},
        {"charger in while powering off", HMSG_USB_DC_IN, APP_RECMODE1, [&] { one_button(), powering_off(); }, {},
         {}, LED_TYPE_NONE, true, {}},
        {"computer out", HMSG_USB_PC_OUT, APP_USB_MSC, nullptr, {HMSG_POWER_KEY}, {hex(HMSG_USB_PC_OUT) + " to usb"},
         LED_TYPE_NONE, false, {}},
        {"computer in, charging from it", HMSG_USB_PC_IN, APP_PHOMODE, [this] { prefs_.ChargefromUSBHost = 1; }, {},
         {"stop photo", "start usb"}, LED_TYPE_NONE, false, {"gpio 5_3 0"}},
        {"computer in", HMSG_USB_PC_IN, APP_RECMODE1, nullptr, {}, {"stop rec1", "start usb"}, LED_TYPE_NONE, false,
         {}},
        {"computer in while powering off", HMSG_USB_PC_IN, APP_RECMODE1, powering_off, {}, {}, LED_TYPE_NONE, true,
         {}},
        {"TV cable in", HMSG_TV_IN, APP_RECMODE1, nullptr, {}, {}, LED_TYPE_NONE, false,
         {"ioctl /dev/vpss 0x402c5005"}}, // the output's processing channel first
        {"TV cable out", HMSG_TV_OUT, APP_RECMODE1, nullptr, {}, {}, LED_TYPE_NONE, false,
         {"ioctl /dev/vo 0x00004f1f"}}, // its display channel off
        {"card out while recording", HMSG_CARD_OUT, APP_RECMODE1, recording, {}, {}, LED_TYPE_POWER_OFF_CARD, false,
         blink},
        {"card in while recording", HMSG_CARD_IN, APP_RECMODE2, recording, {}, {}, LED_TYPE_POWER_OFF_CARD, false,
         blink},
        {"card full", AMSG_CARD_STATE_FULL, APP_MAIN, nullptr, {}, {hex(HMSG_POWER_KEY) + " to main"},
         LED_TYPE_POWER_OFF_CARD, true, blink},
        {"low battery", AMSG_LOW_BATTERY, APP_RECMODE1, nullptr, {HMSG_POWER_KEY},
         {hex(AMSG_LOW_BATTERY) + " to rec1"}, LED_TYPE_NONE, false, {}},
        {"auto power-off", AMSG_AUTO_POWER_OFF, APP_MAIN, nullptr, {}, {hex(HMSG_POWER_KEY) + " to main"},
         LED_TYPE_POWER_OFF, true, blink},
        {"power-off blink ends", AMSG_LED_FLASH_END, APP_RECMODE1, [] { set_led_flash_type(LED_TYPE_POWER_OFF); },
         {}, {}, LED_TYPE_POWER_OFF, false, {"mcu w 4 0xaa", "power off"}, true},
        {"card blink ends", AMSG_LED_FLASH_END, APP_MAIN, [] { set_led_flash_type(LED_TYPE_POWER_OFF_CARD); }, {},
         {}, LED_TYPE_POWER_OFF_CARD, false, {"mcu w 4 0xaa", "power off"}, true},
        {"battery blink ends in photo mode", AMSG_LED_FLASH_END, APP_PHOMODE,
         [] { set_led_flash_type(LED_TYPE_BATTERY); }, {}, {}, LED_TYPE_BATTERY, false, {"gpio 10_0 1"}},
        {"any other message", mode_release, APP_RECMODE2, nullptr, {}, {hex(mode_release) + " to rec2"},
         LED_TYPE_NONE, false, {}},
    };
    for (const Route &r : routes) {
        SCOPED_TRACE(r.name);
        reset(r.app);
        if (r.setup)
            r.setup();
        const size_t mark = testsupport::events().size();
        if (r.power_cut)
            EXPECT_EXIT(handler_dispatch(r.id), testing::ExitedWithCode(0), "");
        else
            testsupport::capture_stdout([&] { handler_dispatch(r.id); });
        std::vector<uint32_t> posted;
        for (uint32_t id : take_messages())
            if (id != AMSG_LED_FLASH_END) // a blink's own end, checked below
                posted.push_back(id);
        EXPECT_EQ(r.posted, posted);
        EXPECT_EQ(r.seen, g_seen);
        EXPECT_EQ(r.blink, get_led_flash_type());
        EXPECT_EQ(r.powering_off, Kx_GetPowerOffState() == 1);
        EXPECT_EQ((r.id & HMSG_USER_ACTIVITY_BIT) != 0, idle_state == 1);
        if (r.blink != LED_TYPE_NONE && r.id != AMSG_LED_FLASH_END) {
            std::vector<uint32_t> later = scantest::wait_for_message(AMSG_LED_FLASH_END);
            EXPECT_NE(later.end(), std::find(later.begin(), later.end(), AMSG_LED_FLASH_END)) << "the blink ends";
        }
        // The row's board events in their order, among the others.
        std::vector<std::string> after = testsupport::events();
        size_t at = mark;
        for (const std::string &want : r.events) {
            while (at < after.size() && after[at].find(want) == std::string::npos)
                at++;
            EXPECT_LT(at, after.size()) << "no \"" << want << "\"";
        }
    }
}

} // namespace

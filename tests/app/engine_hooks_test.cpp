// What the engine hears from the application once start-up has registered
// its answers: each question answered from the application's own state.
#include "app/engine_hooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "app/app_manager.h"
#include "app/handler.h"
#include "app/keys.h"
#include "app/sd_card.h"
#include "app/usb.h"
#include "board/sim/sim.h"
#include "recorder/dv_hooks.h"
#include "tests/app/scan_fixture.h"

namespace {

class EngineHooks : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        appmgt_init(table_, 32);
        main_ = AppEntry{0, 0, 0, 0, 0, 7, 0, nullptr, nullptr, nullptr}; // current, never started
        for (AppEntry *e : {&rec1_, &rec2_, &photo_})
            *e = AppEntry{0, 0, 0, 0, 0, APP_FLAG_IDLE, 0, nullptr, nullptr, nullptr}; // free to leave
        APP_MAIN = appmgt_register(&main_);
        APP_RECMODE1 = appmgt_register(&rec1_);
        APP_RECMODE2 = appmgt_register(&rec2_);
        APP_PHOMODE = appmgt_register(&photo_);
    }
    void TearDown() override
    {
        APP_MAIN = APP_RECMODE1 = APP_RECMODE2 = APP_PHOMODE = -1;
        u8IsEnterPowerFlow = 0;
        set_Tv_State(0);
        set_lock_file_name(nullptr);
        usb_state = USB_STATE_NONE;
        record_insert_usb = 0;
        sim::control("usb none");
        ScanTest::TearDown();
    }

    AppEntry *table_[32] = {};
    AppEntry main_, rec1_, rec2_, photo_;
};

TEST_F(EngineHooks, WithoutTheApplicationTheEngineHearsTheQuietAnswers)
{
    dv_register_app_hooks(DvAppHooks{});
    u8IsEnterPowerFlow = 1;
    set_Tv_State(1);
    dv_app_hooks().running_file("/mnt/sdcard0/MOVIE/KORVAN0000001.mp4");
    EXPECT_FALSE(dv_app_hooks().powering_off());
    EXPECT_FALSE(dv_app_hooks().tv_out_on());
    EXPECT_FALSE(dv_app_hooks().record_mode());
    EXPECT_FALSE(dv_app_hooks().usb_host_may_claim());
    EXPECT_EQ(UINT64_MAX, dv_app_hooks().card_free_kib());
    EXPECT_STREQ("", u8LockFileName);
}

TEST_F(EngineHooks, EachQuestionIsAnsweredFromTheApplicationsState)
{
    app_register_engine_hooks();
    const DvAppHooks &h = dv_app_hooks();
    struct Case {
        const char *name;
        std::function<void()> set;
        std::function<bool()> asked;
        bool expected;
    } cases[] = {
        {"running", [] { u8IsEnterPowerFlow = 0; }, h.powering_off, false},
        {"powering off", [] { u8IsEnterPowerFlow = 1; }, h.powering_off, true},
        {"no TV cable", [] { set_Tv_State(0); }, h.tv_out_on, false},
        {"TV cable in", [] { set_Tv_State(1); }, h.tv_out_on, true},
        {"main application", [] {}, h.record_mode, false},
        {"record mode 1", [] { ASSERT_EQ(0, appmgt_switch_to_app(APP_RECMODE1)); }, h.record_mode, true},
        {"record mode 2", [] { ASSERT_EQ(0, appmgt_switch_to_app(APP_RECMODE2)); }, h.record_mode, true},
        {"photo mode", [] { ASSERT_EQ(0, appmgt_switch_to_app(APP_PHOMODE)); }, h.record_mode, false},
        {"no cable", [] { sim::control("usb none"); }, h.usb_host_may_claim, false},
        {"cable being told apart",
         [] {
             sim::control("usb host");
             usb_state = USB_STATE_DECIDING;
         },
         h.usb_host_may_claim, true},
        {"a computer", [] { usb_state = USB_STATE_HOST; }, h.usb_host_may_claim, true},
        {"a computer's cable that came during a recording", [] { record_insert_usb = 1; }, h.usb_host_may_claim,
         false},
        {"a charger",
         [] {
             record_insert_usb = 0;
             sim::control("usb charger");
             usb_state = USB_STATE_CHARGER;
         },
         h.usb_host_may_claim, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::capture_stdout([&] { c.set(); });
        EXPECT_EQ(c.expected, c.asked());
    }
}

TEST_F(EngineHooks, TheRunningFileIsTheOneALockMoves)
{
    app_register_engine_hooks();
    dv_app_hooks().running_file("/mnt/sdcard0/MOVIE/KORVAN0000007.mp4");
    EXPECT_STREQ("KORVAN0000007.mp4", u8LockFileName);
    dv_app_hooks().running_file(nullptr);
    EXPECT_STREQ("", u8LockFileName);
}

TEST_F(EngineHooks, TheCardSpaceIsTheMountedCardsFreeSpace)
{
    app_register_engine_hooks();
    ASSERT_EQ(0, bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""));
    const uint64_t kib = dv_app_hooks().card_free_kib();
    EXPECT_GT(kib, 0u);
    EXPECT_LE(kib, 4096ull * 1024); // the board's default card, not the host's disk
}

} // namespace

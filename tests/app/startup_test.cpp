// The auto power-off timer's rules: its time-out by preference, a look that
// fires once the idle time is reached, and the things that keep the camera
// busy (a recording or a shot, a computer on USB, a TV, a key).
#include "app/startup.h"
#include "tests/app/scan_fixture.h"

#include "app/keys.h"
#include "app/usb.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"

namespace {

TEST(AutoPowerOff, TimeOutByPreference)
{
    struct Case {
        int32_t auto_poweroff, motion;
        int seconds;
    } cases[] = {{0, 0, 0}, {1, 0, 30}, {2, 0, 60}, {3, 0, 120}, {9, 0, 120}, {1, 1, 0}, {2, 2, 60}};
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.auto_poweroff << "/" << c.motion);
        EXPECT_EQ(c.seconds, auto_power_off_timeout(c.auto_poweroff, c.motion));
    }
}

class PowerFlow : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        hcmgr_create_queue();
        drain();
        setDefualtCmd();
        set_usb_state(USB_STATE_NONE);
        set_Tv_State(0);
        idle_state = 0;
        powerDetOn = 1;
    }
    void TearDown() override
    {
        setDefualtCmd();
        set_usb_state(USB_STATE_NONE);
        set_Tv_State(0);
        powerDetOn = 1;
        drain();
    }
    std::vector<uint32_t> drain() { return scantest::take_messages(); }
};

TEST_F(PowerFlow, FiresOnceTheIdleTimeIsReached)
{
    int64_t last = 100;
    EXPECT_EQ(0, power_flow_check(129, &last, 30));
    EXPECT_TRUE(drain().empty());
    EXPECT_EQ(1, power_flow_check(130, &last, 30));
    EXPECT_EQ(0, powerDetOn.load());
    EXPECT_EQ(std::vector<uint32_t>{AMSG_AUTO_POWER_OFF}, drain());
    // A clock that went back counts by its distance too.
    last = 200;
    EXPECT_EQ(1, power_flow_check(150, &last, 30));
}

TEST_F(PowerFlow, WhatKeepsTheCameraOn)
{
    struct Case {
        const char *name;
        std::function<void()> busy, idle;
    } cases[] = {
        {"recording", [] { gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING; },
         [] { gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED; }},
        {"shooting", [] { gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_RUNNING; },
         [] { gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_STOPPED; }},
        {"computer", [] { set_usb_state(USB_STATE_HOST); }, [] { set_usb_state(USB_STATE_NONE); }},
        {"tv", [] { set_Tv_State(1); }, [] { set_Tv_State(0); }},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        int64_t last = 0;
        c.busy();
        // Each look while busy moves the last activity: never fires, not
        // even when the activity began just as the idle time ran out.
        for (int64_t now = 30; now <= 300; now += 10)
            ASSERT_EQ(0, power_flow_check(now, &last, 30));
        c.idle();
        EXPECT_EQ(0, power_flow_check(320, &last, 30));
        EXPECT_EQ(1, power_flow_check(330, &last, 30));
        EXPECT_EQ(std::vector<uint32_t>{AMSG_AUTO_POWER_OFF}, drain());
        powerDetOn = 1;
    }
}

TEST_F(PowerFlow, UserActivityRestartsTheTime)
{
    int64_t last = 0;
    EXPECT_EQ(0, power_flow_check(25, &last, 30));
    idle_state = 1; // a key
    EXPECT_EQ(0, power_flow_check(29, &last, 30));
    EXPECT_EQ(0, idle_state.load());
    EXPECT_EQ(0, power_flow_check(58, &last, 30));
    EXPECT_EQ(1, power_flow_check(59, &last, 30));
}

TEST_F(PowerFlow, RecordStateOfEitherEntry)
{
    EXPECT_EQ(0, Get_Record_State());
    gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_RUNNING;
    EXPECT_EQ(1, Get_Record_State());
    gRecCmd[KX_REC_ENTRY_PHOTO].RecState = KX_REC_STATE_STOPPED;
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING;
    EXPECT_EQ(1, Get_Record_State());
}

} // namespace

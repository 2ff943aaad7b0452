#include "app/handler.h"

#include <gtest/gtest.h>

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

} // namespace

// The power microcontroller's registers on the simulated board.
#include "app/devices/mcu.h"

#include <gmock/gmock.h>

#include <cstdio>

#include "board/mcu_requests.h"
#include "tests/support/board_fixture.h"

using testsupport::events;

namespace {

class McuTest : public BoardTest {};

TEST_F(McuTest, McuAccessorsReachTheirRegisters)
{
    struct Case {
        const char *name;
        int (*set)(uint32_t);
        int (*get)();
        uint32_t reg;
    } cases[] = {
        {"power-on key type", set_power_on_key_type, get_power_on_key_type, 0},
        {"power-on key status", set_power_on_key_status, get_power_on_key_status, 1},
        {"power-off key status", set_power_off_key_status, get_power_off_key_status, 2},
        {"power-on source", set_return_power_on_source, get_return_power_on_source, 5},
        {"alarm enable", set_return_alarm_en, get_return_power_alarm_en, 6},
        {"alarm day", set_return_power_alarm_day, get_return_power_alarm_day, 7},
        {"alarm hour", set_return_power_alarm_hour, get_return_power_alarm_hour, 8},
        {"alarm minute", set_return_power_alarm_min, get_return_power_alarm_min, 9},
        {"alarm second", set_return_power_alarm_sec, get_return_power_alarm_sec, 10},
    };
    uint32_t value = 0x11;
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.set(value), 0);
        EXPECT_EQ(c.get(), (int)value);
        EXPECT_EQ(mcu_i2c_read(c.reg), (int)value);
        char line[32];
        snprintf(line, sizeof line, "mcu w %u 0x%02x", c.reg, value);
        EXPECT_EQ(events(line).size(), 1u);
        ++value;
    }
}

TEST_F(McuTest, McuReportsPowerKeyAndBattery)
{
    EXPECT_EQ(get_power_off_key_press(), 0);
    EXPECT_EQ(sim::control("key power tap"), "ok");
    EXPECT_EQ(get_power_off_key_press(), 1); // latched by the microcontroller

    EXPECT_EQ(mcu_i2c_read(12) * 256 + mcu_i2c_read(13), 720);
    EXPECT_EQ(sim::control("battery 579"), "ok");
    EXPECT_EQ(mcu_i2c_read(12) * 256 + mcu_i2c_read(13), 579);

    // A register the microcontroller doesn't have is an error, not a value.
    EXPECT_EQ(mcu_i2c_read(300), -1);
    EXPECT_EQ(mcu_i2c_write(300, 1), -1);
}

TEST_F(McuTest, PowerOffCommandCutsThePower)
{
    EXPECT_EXIT(set_return_power_off_cmd(MCU_POWER_OFF_CMD), testing::ExitedWithCode(0), "");
    auto lines = events();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines[lines.size() - 2], testing::HasSubstr("mcu w 4 0xaa"));
    EXPECT_THAT(lines.back(), testing::HasSubstr("power off"));
}

} // namespace

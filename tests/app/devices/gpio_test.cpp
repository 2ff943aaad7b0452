// The GPIO lines on the simulated board.
#include "app/devices/gpio.h"

#include <gmock/gmock.h>

#include "tests/support/board_fixture.h"

using testsupport::capture_stdout;
using testsupport::events;

namespace {

constexpr uint32_t gpio(uint32_t bank, uint32_t pin) { return bank * 256 + pin; }

class GpioTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        close_gpio_dev();
    }
    void TearDown() override { close_gpio_dev(); }
};

TEST_F(GpioTest, GpioCallsRefuseUntilTheDeviceIsOpen)
{
    struct Case {
        const char *name;
        int (*call)();
    } cases[] = {
        {"config", [] { return config_gpio(gpio(10, 0), 1); }},
        {"mux", [] { return muxtrl_gpio(gpio(10, 0), 0); }},
        {"set", [] { return set_gpio_value(gpio(10, 0), 1); }},
        {"get", [] { return get_gpio_value(gpio(10, 0)); }},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        int rc = 0;
        std::string out = capture_stdout([&] { rc = c.call(); });
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(out, "Open /dev/kxgpiodev not open!\n");
    }
    EXPECT_TRUE(events("gpio ").empty());
}

TEST_F(GpioTest, GpioDrivesOutputsAndReadsInputs)
{
    ASSERT_GE(open_gpio_dev(), 0);
    EXPECT_EQ(config_gpio(gpio(10, 0), 1), 0);
    EXPECT_EQ(muxtrl_gpio(gpio(10, 0), 0), 0);

    EXPECT_EQ(set_gpio_value(gpio(10, 0), 1), 0);
    EXPECT_EQ(get_gpio_value(gpio(10, 0)), 1);
    // Only 1 means high: any other level drives the line low.
    EXPECT_EQ(set_gpio_value(gpio(10, 0), 2), 0);
    EXPECT_EQ(get_gpio_value(gpio(10, 0)), 0);
    EXPECT_THAT(events("gpio "), testing::ElementsAre(testing::HasSubstr("gpio 10_0 1"),
                                                      testing::HasSubstr("gpio 10_0 0")));

    // The REC key (13_7) reads 0 while pressed.
    EXPECT_EQ(get_gpio_value(3335), 1);
    EXPECT_EQ(sim::control("key rec press"), "ok");
    EXPECT_EQ(get_gpio_value(3335), 0);
    EXPECT_EQ(sim::control("key rec release"), "ok");
    EXPECT_EQ(get_gpio_value(3335), 1);

    // A line number the driver doesn't have is an error, not a level.
    EXPECT_EQ(get_gpio_value(gpio(40, 1)), -1);
}

} // namespace

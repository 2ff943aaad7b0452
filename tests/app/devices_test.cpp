#include <gmock/gmock.h>

#include "app/devices.h"
#include "app/pref.h"
#include "tests/support/board_fixture.h"

#include <cstring>

using testsupport::capture_stdout;
using testsupport::events;

namespace {

constexpr uint32_t gpio(uint32_t bank, uint32_t pin) { return bank * 256 + pin; }

time_t local(int y, int mo, int d, int h, int mi, int s)
{
    struct tm tm = {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

class DevicesTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        close_gpio_dev();
    }
    void TearDown() override { close_gpio_dev(); }
};

TEST_F(DevicesTest, GpioCallsRefuseUntilTheDeviceIsOpen)
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

TEST_F(DevicesTest, GpioDrivesOutputsAndReadsInputs)
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

TEST_F(DevicesTest, McuAccessorsReachTheirRegisters)
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

TEST_F(DevicesTest, McuReportsPowerKeyAndBattery)
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

TEST_F(DevicesTest, PowerOffCommandCutsThePower)
{
    EXPECT_EXIT(set_return_power_off_cmd(MCU_POWER_OFF_CMD), testing::ExitedWithCode(0), "");
    auto lines = events();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines[lines.size() - 2], testing::HasSubstr("mcu w 4 0xaa"));
    EXPECT_THAT(lines.back(), testing::HasSubstr("power off"));
}

TEST_F(DevicesTest, MemmapSharesOneMappingPerRange)
{
    auto *a = static_cast<volatile uint32_t *>(memmap(0x10080808, 4));
    auto *b = static_cast<volatile uint32_t *>(memmap(0x10080808, 4));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    *a = 0x12345678;
    EXPECT_EQ(sim::phys_read32(0x10080808), 0x12345678u);

    // A range inside the mapped page reuses it.
    auto *c = static_cast<volatile uint32_t *>(memmap(0x10080800, 8));
    EXPECT_EQ((volatile uint8_t *)c + 8, (volatile uint8_t *)a);

    EXPECT_EQ(memunmap((void *)c), 0);
    EXPECT_EQ(memunmap((void *)a), 0);
    sim::phys_write32(0x10080808, 7);
    EXPECT_EQ(*b, 7u); // still mapped: one reference left
    EXPECT_EQ(memunmap((void *)b), 0);
    EXPECT_EQ(memunmap((void *)b), -1);

    EXPECT_EQ(memmap(0x10080808, 0), nullptr);

    // A range across a page boundary maps both pages.
    auto *d = static_cast<volatile uint8_t *>(memmap(0x20000FFE, 4));
    ASSERT_NE(d, nullptr);
    d[3] = 0x5A;
    EXPECT_EQ(*sim::phys(0x20001001), 0x5A);
    EXPECT_EQ(memunmap((void *)d), 0);
}

TEST(Numbers, StrToNum)
{
    struct Case {
        const char *text;
        int rc;
        uint32_t value;
    } cases[] = {
        {"0x1F", 0, 31},         {"0X1f", 0, 31},         {"31", 0, 31},
        {"4294967295", 0, 0xFFFFFFFFu}, {"0xFFFFFFFF", 0, 0xFFFFFFFFu},
        {"4294967296", -1, 429496729}, // stops before the value would pass 32 bits
        {"0x100000000", -1, 0x10000000}, {"0x", -1, 0},     {"12a", -1, 12},
        {"", -1, 0},             {"0xg", -1, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t v = 99;
        EXPECT_EQ(str_to_num(c.text, &v), c.rc);
        EXPECT_EQ(v, c.value);
    }
}

TEST(Numbers, ParseStringNeedsSixNumbers)
{
    struct Case {
        const char *text;
        bool ok;
    } cases[] = {
        {"2016/2/29/10/0/0", true}, {"2016/2/29/10/0", false}, {"2016/2/29/10/0/x", false},
        {"2016//29/10/0/0", false}, {"", false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.text);
        rtc_time_rec r;
        EXPECT_EQ(parse_string(c.text, &r), c.ok ? 0 : -1);
        if (c.ok) {
            EXPECT_EQ(r.year, 2016u);
            EXPECT_EQ(r.month, 2u);
            EXPECT_EQ(r.date, 29u);
            EXPECT_EQ(r.hour, 10u);
            EXPECT_EQ(r.weekday, 0u);
        }
    }
}

class DateTest : public DevicesTest {
protected:
    void SetUp() override
    {
        DevicesTest::SetUp();
        memset(&pref_, 0, sizeof pref_);
        app_pref_user = &pref_;
    }
    void TearDown() override
    {
        app_pref_user = nullptr;
        DevicesTest::TearDown();
    }

    DvSystemParam pref_;
};

TEST_F(DateTest, SetDateTimeChecksTheCalendar)
{
    struct Case {
        const char *text;
        int format;
        int rc;
        const char *rtc; // what the RTC is set to, if anything
    } cases[] = {
        {"2016/02/29-10:00:00", DATE_FMT_YMD, 0, "rtc set 2016/02/29-10:00:00"},
        {"2015/02/29-10:00:00", DATE_FMT_YMD, -1, nullptr},
        {"2000/02/29-10:00:00", DATE_FMT_YMD, 0, "rtc set 2000/02/29-10:00:00"},
        {"2100/02/29-10:00:00", DATE_FMT_YMD, -1, nullptr},
        {"31/12/2019-23:59:59", DATE_FMT_DMY, 0, "rtc set 2019/12/31-23:59:59"},
        {"12/31/2019-23:59:59", DATE_FMT_MDY, 0, "rtc set 2019/12/31-23:59:59"},
        {"2019/12/31-23:59:59", DATE_FMT_DMY, -1, nullptr},
        {"2019/04/00-10:00:00", DATE_FMT_YMD, -1, nullptr},
        {"2019/04/31-10:00:00", DATE_FMT_YMD, -1, nullptr},
        {"2019/13/01-10:00:00", DATE_FMT_YMD, -1, nullptr},
        {"2019/04/01-24:00:00", DATE_FMT_YMD, -1, nullptr},
        {"2019/04/01-10:60:00", DATE_FMT_YMD, -1, nullptr},
        {"2019/04/01-10:00:60", DATE_FMT_YMD, -1, nullptr},
        {"1969/12/31-10:00:00", DATE_FMT_YMD, -1, nullptr},
        {"2019/04/01-10:00", DATE_FMT_YMD, -1, nullptr},
        {"garbage", DATE_FMT_YMD, -1, nullptr},
        {"", DATE_FMT_YMD, -1, nullptr},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.text);
        size_t before = events("rtc set").size();
        int rc = 0;
        std::string out = capture_stdout([&] { rc = Set_Date_Time(c.text, c.format); });
        EXPECT_EQ(rc, c.rc);
        auto sets = events("rtc set");
        if (c.rtc) {
            ASSERT_EQ(sets.size(), before + 1);
            EXPECT_THAT(sets.back(), testing::HasSubstr(c.rtc));
            EXPECT_THAT(out, testing::HasSubstr("****************set date time**********************\n"));
        } else {
            EXPECT_EQ(sets.size(), before);
            EXPECT_THAT(out, testing::HasSubstr("date time format fail"));
        }
    }
}

TEST_F(DateTest, SetDateTimeMovesTheBoardClock)
{
    ASSERT_EQ(Set_Date_Time("2016/02/29-10:00:00", DATE_FMT_YMD), 0);
    time_t now = bd_time(nullptr);
    time_t want = local(2016, 2, 29, 10, 0, 0);
    EXPECT_GE(now, want);
    EXPECT_LE(now, want + 5);
}

TEST_F(DateTest, SetDateTimeFailsWhenTheClockChipRefuses)
{
    // A date the calendar accepts but the clock chip can't hold.
    EXPECT_EQ(Set_Date_Time("2150/01/01-00:00:00", DATE_FMT_YMD), -1);
    EXPECT_TRUE(events("rtc set").empty());
}

TEST_F(DateTest, CompareTime)
{
    time_t now = local(2020, 6, 15, 12, 30, 45);
    struct Case {
        const char *text;
        int format;
        int want;
    } cases[] = {
        {"2020/06/15-12:30:45", DATE_FMT_YMD, 0},
        {"15/06/2020-12:30:45", DATE_FMT_DMY, 0},
        {"06/15/2020-12:30:45", DATE_FMT_MDY, 0},
        {"2020/06/15-12:30:44", DATE_FMT_YMD, 1},
        {"2020/06/15-12:30:46", DATE_FMT_YMD, -1},
        {"2030/01/01-00:00:00", DATE_FMT_YMD, -1},
        {"not a date", DATE_FMT_YMD, 1},
        {"2020/06/15", DATE_FMT_YMD, 1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(compareTime(c.text, now, c.format), c.want);
    }
}

TEST_F(DateTest, RepeatTimeWritesInTheFormatsOrder)
{
    struct tm tm = {};
    tm.tm_year = 2021 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = 5;
    tm.tm_min = 6;
    tm.tm_sec = 7;
    const char *want[] = {"2021/03/04-05:06:07", "04/03/2021-05:06:07", "03/04/2021-05:06:07"};
    for (int f = 0; f < 3; ++f) {
        memset(pref_.Datetime, 'x', sizeof pref_.Datetime);
        ASSERT_EQ(repeatTime(&tm, f), 0);
        EXPECT_STREQ(pref_.Datetime, want[f]);
    }
}

TEST_F(DateTest, StartBringsClockAndPreferencesInStep)
{
    // The preferences hold a later time than the clock: the RTC and clock move forward.
    bd_time(nullptr);
    strcpy(pref_.Datetime, "2090/01/02-03:04:05");
    std::string out = capture_stdout([] { EXPECT_EQ(setDefaultTime("start"), 0); });
    EXPECT_THAT(out, testing::HasSubstr("------system time < config time"));
    EXPECT_THAT(events("rtc set").back(), testing::HasSubstr("2090/01/02-03:04:05"));
    EXPECT_GE(bd_time(nullptr), local(2090, 1, 2, 3, 4, 5));

    // An earlier or unreadable text is rewritten from the clock.
    for (const char *text : {"2001/01/01-00:00:00", "rubbish"}) {
        SCOPED_TRACE(text);
        strcpy(pref_.Datetime, text);
        capture_stdout([] { setDefaultTime("start"); });
        EXPECT_EQ(compareTime(pref_.Datetime, bd_time(nullptr), DATE_FMT_YMD) >= 0, true);
        EXPECT_EQ(strncmp(pref_.Datetime, "2090/01/02", 10), 0);
    }
}

TEST_F(DateTest, EndSavesThePreferencesWithTheClock)
{
    pref_.Dateformat = DATE_FMT_DMY;
    pref_.LED = 1;
    ASSERT_EQ(Set_Date_Time("2019/12/31-23:59:00", DATE_FMT_YMD), 0);
    ASSERT_EQ(setDefaultTime("end"), 0);
    std::string file = testsupport::read_file(bd_path("/dv/config/DvConfigs.bin"));
    ASSERT_EQ(file.size(), DV_SYSTEM_PARAM_SIZE);
    DvSystemParam saved;
    memcpy(&saved, file.data(), sizeof saved);
    EXPECT_EQ(strncmp(saved.Datetime, "31/12/2019-23:5", 15), 0);
    EXPECT_EQ(saved.LED, 1);

    EXPECT_EQ(setDefaultTime("middle"), -1);
}

TEST_F(DevicesTest, RtcReadSetsTheBoardClock)
{
    testsupport::write_conf(root_, "rtc = 2020/05/06-07:08:09\n");
    sim::start(root_);
    ASSERT_EQ(duRtc_get_time(), 0);
    time_t now = bd_time(nullptr);
    time_t want = local(2020, 5, 6, 7, 8, 9);
    EXPECT_GE(now, want);
    EXPECT_LE(now, want + 5);
}

} // namespace

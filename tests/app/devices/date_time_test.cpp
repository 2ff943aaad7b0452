// The preferences' clock text kept in step with the RTC and the system clock.
#include "app/devices/date_time.h"

#include <gmock/gmock.h>

#include <cstring>

#include "app/pref.h"
#include "tests/app/devices/local_time.h"
#include "tests/support/board_fixture.h"

using devicestest::local;
using testsupport::capture_stdout;
using testsupport::events;

namespace {

class DateTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        memset(&pref_, 0, sizeof pref_);
        app_pref_user = &pref_;
    }
    void TearDown() override
    {
        app_pref_user = nullptr;
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

// A time whose fields have more digits than the text has room for is held
// to what fits, and the text stays whole and terminated.
TEST_F(DateTest, ClockTextHoldsEachFieldToItsDigits)
{
    struct Case {
        const char *name;
        int year, mon, mday, hour, min, sec; // as struct tm holds them
        int format;
        const char *want;
    } cases[] = {
        {"a year past 9999", 12021 - 1900, 2, 4, 5, 6, 7, DATE_FMT_YMD, "9999/03/04-05:06:07"},
        {"a year before 0", -5 - 1900, 2, 4, 5, 6, 7, DATE_FMT_DMY, "04/03/0000-05:06:07"},
        {"fields far out of range", 2021 - 1900, 1000, -3, 240, 61, 100000, DATE_FMT_MDY, "99/00/2021-99:61:99"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        struct tm tm = {};
        tm.tm_year = c.year;
        tm.tm_mon = c.mon;
        tm.tm_mday = c.mday;
        tm.tm_hour = c.hour;
        tm.tm_min = c.min;
        tm.tm_sec = c.sec;
        char out[CLOCK_TEXT_SIZE];
        memset(out, 'x', sizeof out);
        clock_text(tm, c.format, out);
        EXPECT_STREQ(c.want, out);
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

} // namespace

// The real-time clock and the number readers of its time text.
#include "app/devices/rtc.h"

#include <gmock/gmock.h>

#include "tests/app/devices/local_time.h"
#include "tests/support/board_fixture.h"

using devicestest::local;

namespace {

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

class RtcTest : public BoardTest {};

TEST_F(RtcTest, RtcReadSetsTheBoardClock)
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

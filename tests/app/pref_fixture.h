// What the preferences and settings-file tests share: a board with a fixed
// clock and the one preferences record.
#pragma once

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/pref.h"
#include "app/sd_card.h"
#include "app/settings_file.h"
#include "board/board.h"
#include "tests/support/board_fixture.h"

namespace preftest {

inline std::string host(const char *firmware_path) { return bd_path(firmware_path); }

inline void mkdirs(const char *firmware_path) { std::filesystem::create_directories(host(firmware_path)); }

// A text field of the record, safe on one that lacks its NUL.
template <size_t N> std::string text(const char (&field)[N]) { return std::string(field, strnlen(field, N)); }

inline std::string record_bytes(const DvSystemParam &p)
{
    return std::string(reinterpret_cast<const char *>(&p), sizeof p);
}

inline DvSystemParam record_from(const std::string &bytes)
{
    DvSystemParam p;
    EXPECT_EQ(bytes.size(), sizeof p);
    memset(&p, 0, sizeof p);
    memcpy(&p, bytes.data(), std::min(bytes.size(), sizeof p));
    return p;
}

// Reproducible random bytes.
inline std::string garbage_bytes(size_t size, uint32_t seed)
{
    std::string out(size, '\0');
    for (auto &c : out) {
        seed = seed * 1103515245u + 12345u;
        c = (char)(seed >> 16);
    }
    return out;
}

// 2021-03-04 05:06:07 in the board's time zone (UTC in these tests).
constexpr time_t kFixedClock = 1614834367;

inline std::string ymd_text(time_t t)
{
    struct tm tm;
    gmtime_r(&t, &tm);
    char s[80]; // room for any int in each field
    snprintf(s, sizeof s, "%04d/%02d/%02d-%02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
    return s;
}

// Clock texts a call that ran between `from` and `to` may have taken.
inline std::set<std::string> ymd_texts(time_t from, time_t to)
{
    std::set<std::string> out;
    for (time_t t = from; t <= to; ++t)
        out.insert(ymd_text(t));
    return out;
}

inline void set_clock(time_t t)
{
    struct timeval tv = {t, 0};
    ASSERT_EQ(bd_settimeofday(&tv), 0);
}

// The defaults as the camera documents them, word by word, without the
// clock text and the versions.
inline std::vector<int32_t> default_words()
{
    std::vector<int32_t> w(97, 0);
    w[20] = 1;                      // AutoPoweroff 30 s
    w[24] = 1;                      // LED
    w[27] = 1;                      // TVout PAL
    w[30] = 0, w[31] = 1, w[32] = 0; // resolution 1080p, 720p, 1080p
    w[36] = 1, w[37] = 0, w[38] = 0; // 60 fps, 120 fps
    w[39] = 2, w[40] = 2, w[41] = 0; // medium sound
    w[51] = 1, w[52] = 1, w[53] = 1; // date stamp
    w[57] = 3, w[58] = 3, w[59] = 0; // quality
    w[60] = 1, w[61] = 1, w[62] = 0; // H.264
    w[73] = 1;                      // fast power-on
    w[74] = 1;                      // fast power-off
    for (int i = 81; i <= 89; ++i)
        w[i] = 256;
    w[92] = 2; // multi-spot metering
    return w;
}

inline int32_t word_of(const DvSystemParam &p, int word)
{
    int32_t v;
    memcpy(&v, reinterpret_cast<const char *>(&p) + word * 4, 4);
    return v;
}

inline void put_word(DvSystemParam &p, int word, int32_t v)
{
    memcpy(reinterpret_cast<char *>(&p) + word * 4, &v, 4);
}

// The defaults' bytes with the given texts.
inline std::string default_bytes(const char *datetime, const char *fw, const char *rootfs, const char *sdk)
{
    DvSystemParam p;
    memset(&p, 0, sizeof p);
    std::vector<int32_t> w = default_words();
    for (int i = 12; i < 97; ++i)
        put_word(p, i, w[i]);
    snprintf(p.Datetime, sizeof p.Datetime, "%.*s", 19, datetime);
    snprintf(p.FwVersion, sizeof p.FwVersion, "%.*s", 15, fw);
    snprintf(p.RootfsVersion, sizeof p.RootfsVersion, "%.*s", 15, rootfs);
    snprintf(p.SdkVersion, sizeof p.SdkVersion, "%.*s", 15, sdk);
    return record_bytes(p);
}

} // namespace preftest

// A fresh board at a fixed clock in UTC, the parser at its power-on state, no
// card, and the one record zeroed.
class PrefTest : public BoardTest {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        BoardTest::SetUp();
        preftest::set_clock(preftest::kFixedClock);
        settings_parser_reset();
        card_state = CARD_STATE_ABSENT;
        // The record lives for the process, as on the camera.
        if (!app_pref_user)
            app_pref_user = new DvSystemParam();
        memset(app_pref_user, 0, sizeof *app_pref_user);
    }

    std::string flash() const { return testsupport::read_file(preftest::host("/dv/config/DvConfigs.bin")); }
    void put_flash(const std::string &bytes) const
    {
        testsupport::write_file(preftest::host("/dv/config/DvConfigs.bin"), bytes);
    }
    void put_rootfs_version(const std::string &text) const
    {
        testsupport::write_file(preftest::host("/dv/config/roots_ver.txt"), text);
    }
};

// The card settings-file thread: settings decoded from file names, with the
// settings text file's range rules, and the thread over the card directory.
#include "app/usb_config.h"

#include <gmock/gmock.h>

#include <map>

#include "tests/app/pref_fixture.h"
#include "tests/app/scan_fixture.h"

using namespace preftest;
using testing::HasSubstr;

namespace {

const char *const kSyscfg = "/mnt/sdcard0/syscfg";

class UsbConfigTest : public PrefTest {
protected:
    void SetUp() override
    {
        PrefTest::SetUp();
        std::vector<int32_t> w = default_words();
        for (int i = 12; i < 97; ++i)
            put_word(*app_pref_user, i, w[i]);
    }
    void TearDown() override { KX_Stop_UsbReadConfigFile_Thread(); }

    std::vector<int32_t> words() const
    {
        std::vector<int32_t> w(97);
        for (int i = 0; i < 97; ++i)
            w[i] = word_of(*app_pref_user, i);
        return w;
    }
};

TEST_F(UsbConfigTest, CharactersAreDigitsOr255)
{
    EXPECT_EQ(Char2Int('0'), 0u);
    EXPECT_EQ(Char2Int('9'), 9u);
    EXPECT_EQ(Char2Int('a'), 255u);
    EXPECT_EQ(Char2Int('\0'), 255u);
}

TEST_F(UsbConfigTest, NamesSetTheirWordsWithTheTextFilesRanges)
{
    // 44 digits of "IQS-": lock, balance, nine gains, exposure, strategy,
    // metering, effect, contrast, saturation, sharpness.
    auto iqs = [](const char *gains, const char *ev, const char *contrast, const char *sat, const char *sharp) {
        return std::string("IQS-") + "2" + "7" + gains + ev + "1" + "3" + "4" + contrast + sat + sharp;
    };
    const std::string gains = "300256280100999256111222333";
    struct Case {
        const char *name;
        std::string file;
        int applied;
        std::map<int, int32_t> changed; // word -> value
    } cases[] = {
        {"video mode 1, all eleven", "MODE0-10230207112", 1,
         {{30, 1}, {36, 0}, {39, 2}, {42, 3}, {45, 0}, {33, 2}, {51, 0}, {57, 7}, {60, 1}, {54, 1}, {69, 2}}},
        {"video mode 2; 120 fps at 1080p becomes 60", "MODE1-00230207112", 1,
         {{31, 0}, {37, 1}, {40, 2}, {43, 3}, {46, 0}, {34, 2}, {52, 0}, {58, 7}, {61, 1}, {55, 1}, {70, 2}}},
        {"photo mode; extra characters after the digits", "MODE2-2318.txt", 1, {{32, 2}, {35, 3}, {53, 1}, {72, 8}}},
        {"out of range takes the fallback", "MODE0-39999999999", 1,
         {{30, 0}, {36, 1}, {39, 3}, {42, 0}, {45, 1}, {33, 0}, {51, 1}, {57, 3}, {60, 0}, {54, 0}, {69, 0}}},
        {"system settings", "SYS-3110111011121", 1,
         {{20, 3}, {21, 1}, {22, 1}, {24, 0}, {25, 1}, {26, 1}, {27, 1}, {73, 0}, {74, 1}, {75, 1}, {76, 1},
          {77, 2}, {78, 1}}},
        {"a letter where auto power-off goes takes its fallback", "SYS-a110111011121", 1,
         {{20, 1}, {21, 1}, {22, 1}, {24, 0}, {25, 1}, {26, 1}, {27, 1}, {73, 0}, {74, 1}, {75, 1}, {76, 1},
          {77, 2}, {78, 1}}},
        {"image settings; signed groups less 128", iqs(gains.c_str(), "000", "000", "256", "128"), 1,
         {{79, 2}, {80, 7}, {81, 300}, {82, 256}, {83, 280}, {84, 100}, {85, 999}, {86, 256}, {87, 111}, {88, 222},
          {89, 333}, {90, -128}, {91, 1}, {92, 3}, {93, 4}, {94, -128}, {95, 128}, {96, 0}}},
        {"gains below 100, 129 and a letter in a group take fallbacks",
         iqs("050256280100999256111222333", "257", "12a", "300", "128"), 1,
         {{79, 2}, {80, 7}, {81, 256}, {82, 256}, {83, 280}, {84, 100}, {85, 999}, {86, 256}, {87, 111}, {88, 222},
          {89, 333}, {90, 0}, {91, 1}, {92, 3}, {93, 4}, {94, 0}, {95, 0}, {96, 0}}},
        {"short names are skipped whole", "MODE0-1023020711", 0, {}},
        {"a bare prefix", "SYS-", 0, {}},
        {"an image name one digit short", iqs(gains.c_str(), "000", "000", "256", "12"), 0, {}},
        {"unknown names", "mode0-10230207112", 0, {}},
        {"the card copy of the preferences", "DvConfigs.bin", 0, {}},
        {"the directory itself", ".", 0, {}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::vector<int32_t> expect = words();
        for (auto &w : c.changed)
            expect[w.first] = w.second;
        EXPECT_EQ(usb_config_apply_name(c.file.c_str()), c.applied);
        EXPECT_EQ(words(), expect);
    }
}

TEST_F(UsbConfigTest, AClockNameSetsFormatModeAndClockOnce)
{
    // 2016-02-29 10:00:00 UTC, year first whatever the format digit says.
    const time_t target = 1456740000;
    struct Case {
        const char *name;
        const char *file;
        int applied;
        int32_t dateformat, default_mode;
        bool clock_set;
    } cases[] = {
        {"a good name", "TIME-12_2016_02_29-10_00_00", 1, 1, 2, true},
        {"a default mode out of range starts record mode 1", "TIME-07-2016-02-29-10-00-00.txt", 1, 0, 0, true},
        {"a clock the calendar lacks", "TIME-11_2015_02_29-10_00_00", 1, 1, 1, false},
        {"too short for the clock", "TIME-12_2016_02_29-10_00_0", 0, 0, 0, false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::string out = testsupport::capture_stdout([&] { EXPECT_EQ(usb_config_apply_name(c.file), c.applied); });
        EXPECT_EQ(app_pref_user->Dateformat, c.dateformat);
        EXPECT_EQ(app_pref_user->DefaultMode, c.default_mode);
        time_t now = bd_time(nullptr);
        time_t from = c.clock_set ? target : kFixedClock;
        EXPECT_GE(now, from);
        EXPECT_LE(now, from + 60);
        if (c.applied) {
            EXPECT_THAT(out, HasSubstr(std::string("fread usb config file  ") + c.file));
        }
    }

    // Applied once: the clock is left to run afterwards.
    SetUp();
    EXPECT_EQ(usb_config_apply_name("TIME-12_2016_02_29-10_00_00"), 0);
    EXPECT_LE(bd_time(nullptr), kFixedClock + 60);
}

TEST_F(UsbConfigTest, ThreadAppliesTheDirectoryEverySecondUntilStopped)
{
    card_state = CARD_STATE_PRESENT;
    mkdirs(kSyscfg);
    for (const char *name : {"MODE0-10230207112", "MODE1-20230207112", "TIME-00_2019_02_03-04_05_06", "notes.txt"})
        testsupport::write_file(host(kSyscfg) + "/" + name, "");
    testsupport::write_file(host(kSyscfg) + "/DvConfigs.bin", std::string(388, '\0'));

    ASSERT_EQ(DV_UsbReadConfigFile_ThreadRun(), 0);
    EXPECT_EQ(DV_UsbReadConfigFile_ThreadRun(), 0) << "a running thread is not started twice";
    ASSERT_TRUE(scantest::wait_until(
        [] { return app_pref_user->MovieResolution[0] == 1 && app_pref_user->MovieResolution[1] == 2; }));

    // A value changed on the camera is overwritten within a pass; the clock
    // file is not applied again.
    app_pref_user->MovieResolution[0] = 2;
    size_t listings = testsupport::events("shell ls -l -a /mnt/sdcard0/syscfg/").size();
    ASSERT_TRUE(scantest::wait_until(
        [&] { return testsupport::events("shell ls -l -a /mnt/sdcard0/syscfg/").size() >= listings + 2; }));
    EXPECT_EQ(app_pref_user->MovieResolution[0], 1);
    EXPECT_EQ(testsupport::events("clock set").size(), 2u) << "the fixture's clock and the file's, once";

    EXPECT_EQ(KX_Stop_UsbReadConfigFile_Thread(), 0);
    EXPECT_EQ(th_usbReadFile_run, 0u);
    EXPECT_FALSE(std::filesystem::exists(host(kSyscfg)));
}

} // namespace

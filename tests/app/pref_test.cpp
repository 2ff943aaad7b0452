// The preferences record: defaults, load, save, the card copy and the
// settings update from the card.
#include "tests/app/pref_fixture.h"

#include <fstream>

using namespace preftest;
using testsupport::capture_stdout;
using testsupport::events;
using testsupport::read_file;
using testsupport::write_file;

namespace {

// A record unlike the defaults in every word the settings cover.
DvSystemParam custom_record()
{
    DvSystemParam p;
    memset(&p, 0, sizeof p);
    std::vector<int32_t> w = default_words();
    for (int i = 12; i < 97; ++i)
        put_word(p, i, w[i]);
    strcpy(p.Datetime, "2020/12/31-23:59:58");
    p.Dateformat = 2;
    p.DefaultMode = 1;
    p.AutoPoweroff = 3;
    p.LED = 0;
    p.MovieResolution[1] = 2;
    p.MovieSound[0] = 1;
    p.CustomizedWhiteBalance[2][1] = 999;
    p.ExposureValue = -100;
    p.Sharpness = 127;
    p.MovieFlip[1] = 1;
    return p;
}

TEST_F(PrefTest, FirstBootWritesTheDocumentedDefaults)
{
    put_rootfs_version("RFS-7\n");
    time_t from = bd_time(nullptr);
    std::string out = capture_stdout([] { app_pref_init(); });
    time_t to = bd_time(nullptr);

    // The flash gets the defaults before the versions are filled in.
    std::string file = flash();
    ASSERT_EQ(file.size(), 388u);
    DvSystemParam stored = record_from(file);
    ASSERT_TRUE(ymd_texts(from, to).count(text(stored.Datetime))) << text(stored.Datetime);
    EXPECT_EQ(file, default_bytes(stored.Datetime, "2.03", "", ""));
    // In memory the versions follow.
    EXPECT_EQ(record_bytes(*app_pref_user), default_bytes(stored.Datetime, "2.03", "RFS-7\n", "1.0.6"));

    EXPECT_NE(out.find("======fopen config file failed in read_config_mode"), std::string::npos);
    EXPECT_NE(out.find("SDK  Version : 1.0.6"), std::string::npos);
    // Both key statuses go back to 0 with the defaults.
    EXPECT_EQ(events("mcu w 1 0x00").size(), 1u);
    EXPECT_EQ(events("mcu w 2 0x00").size(), 1u);
}

TEST_F(PrefTest, MissingFlashFileMakesGetUserReturnMinusOne)
{
    EXPECT_EQ(capture_stdout([] { EXPECT_EQ(app_pref_get_user(), -1); }).empty(), false);
    put_flash(record_bytes(custom_record()));
    capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
}

TEST_F(PrefTest, DefaultsAt1970CarryTheFixedClockText)
{
    set_clock(86400); // 2 January 1970
    capture_stdout([] { KX_DV_SetUserSettingDefualt(); });
    EXPECT_STREQ(app_pref_user->Datetime, "2016/01/01-00:00:01");
    EXPECT_EQ(record_bytes(*app_pref_user), default_bytes("2016/01/01-00:00:01", "2.03", "", ""));
}

// A flash file that holds the documented defaults loads as it is, through
// the range checks of a load: none of them is taken for out of range.
TEST_F(PrefTest, DocumentedDefaultsLoadUnchanged)
{
    put_rootfs_version("v1");
    put_flash(default_bytes("2021/03/04-05:06:07", "", "", ""));
    std::string out = capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
    EXPECT_EQ(std::string::npos, out.find("out of range")) << out;
    EXPECT_EQ(record_bytes(*app_pref_user), default_bytes("2021/03/04-05:06:07", "2.03", "v1", "1.0.6"));
}

TEST_F(PrefTest, LoadDefaultAndSaveRoundTrip)
{
    put_rootfs_version("v9");
    const DvSystemParam custom = custom_record();

    // Load: everything but the versions comes from the file.
    put_flash(record_bytes(custom));
    capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
    DvSystemParam expect = custom;
    memset(&expect, 0, 48);
    strcpy(expect.FwVersion, "2.03");
    strcpy(expect.RootfsVersion, "v9");
    strcpy(expect.SdkVersion, "1.0.6");
    EXPECT_EQ(record_bytes(*app_pref_user), record_bytes(expect));

    // Save: the file is the record in memory.
    app_pref_user->Contrast = -77;
    EXPECT_EQ(app_pref_save_all(), 0);
    EXPECT_EQ(flash(), record_bytes(*app_pref_user));

    // Load again: the same record.
    DvSystemParam saved = *app_pref_user;
    memset(app_pref_user, 0, sizeof *app_pref_user);
    capture_stdout([] { EXPECT_EQ(ReadCfgFromFlash(), 0); });
    EXPECT_EQ(record_bytes(*app_pref_user), record_bytes(saved));

    // Default: file and memory both the defaults.
    capture_stdout([] { EXPECT_EQ(WriteDefaultCfgToFlash(), 0); });
    EXPECT_EQ(flash(), record_bytes(*app_pref_user));
    EXPECT_EQ(flash(), default_bytes(app_pref_user->Datetime, "2.03", "", ""));
}

TEST_F(PrefTest, UpdateSetDefaultLoadsTheDefaults)
{
    DvSystemParam custom = custom_record();
    custom.UpdateSetDefault = 1;
    put_flash(record_bytes(custom));
    std::string out = capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
    EXPECT_NE(out.find("update set defualt setting "), std::string::npos);
    EXPECT_EQ(app_pref_user->UpdateSetDefault, 0);
    EXPECT_EQ(record_bytes(*app_pref_user),
              default_bytes(app_pref_user->Datetime, "2.03", "No Ver", "1.0.6"));
    EXPECT_EQ(flash(), default_bytes(app_pref_user->Datetime, "2.03", "", ""));
}

// Every flash file that isn't one whole record gives the defaults in memory,
// even when they can't be written back, and says why.
TEST_F(PrefTest, BadFlashFilesGiveTheDefaults)
{
    const std::string ten_mb = garbage_bytes(10 * 1024 * 1024, 12345);
    struct Case {
        const char *name;
        bool as_directory;
        std::string bytes;
        const char *message;
        int rc;
        bool rewritten; // a new 388-byte file is in flash afterwards
    };
    const std::string good = record_bytes(custom_record());
    const Case cases[] = {
        {"missing", false, "", "======fopen config file failed in read_config_mode", -1, true},
        {"empty", false, std::string(), "=fread g_dv_system_param failed:0 ,388", 0, true},
        {"387 bytes", false, good.substr(0, 387), "=fread g_dv_system_param failed:387 ,388", 0, true},
        {"389 bytes", false, good + "x", "longer than 388 bytes", 0, true},
        {"10 MB of garbage", false, ten_mb, "longer than 388 bytes", 0, true},
        {"unreadable and unwritable", true, "", "===fwrite g_dv_mode_param error", 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::string path = host("/dv/config/DvConfigs.bin");
        if (c.as_directory)
            std::filesystem::create_directories(path);
        else if (std::string(c.name) != "missing")
            put_flash(c.bytes);
        // Whatever the record held before, it's not kept.
        memset(app_pref_user, 0x5A, sizeof *app_pref_user);
        int rc = 99;
        time_t from = bd_time(nullptr);
        std::string out = capture_stdout([&] { rc = app_pref_get_user(); });
        time_t to = bd_time(nullptr);
        EXPECT_EQ(rc, c.rc);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_TRUE(ymd_texts(from, to).count(text(app_pref_user->Datetime))) << text(app_pref_user->Datetime);
        EXPECT_EQ(record_bytes(*app_pref_user),
                  default_bytes(app_pref_user->Datetime, "2.03", "No Ver", "1.0.6"));
        if (c.rewritten) {
            EXPECT_EQ(flash(), default_bytes(app_pref_user->Datetime, "2.03", "", ""));
        }
    }
}

// 120 and 100 fps at 1080p in a video mode become the 60 and 50 fps the
// camera records there, and the load says so; elsewhere they stay.
TEST_F(PrefTest, FastRatesAt1080pAreFixedAndSaid)
{
    struct Case {
        const char *name;
        int mode;
        int32_t resolution, rate, want;
        const char *message; // nullptr: nothing said
    } cases[] = {
        {"120 fps at 1080p, video mode 1", 0, 0, 0, 1, "MovieFrameRate word 36 is 0, not made at 1080p, set to 1"},
        {"100 fps at 1080p, video mode 2", 1, 0, 3, 4, "MovieFrameRate word 37 is 3, not made at 1080p, set to 4"},
        {"120 fps at 720p", 0, 1, 0, 0, nullptr},
        {"100 fps at WVGA", 1, 2, 3, 3, nullptr},
        {"60 fps at 1080p", 0, 0, 1, 1, nullptr},
        {"the photo mode's element", 2, 0, 0, 0, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DvSystemParam p = custom_record();
        p.MovieResolution[c.mode] = c.resolution;
        p.MovieFrameRate[c.mode] = c.rate;
        put_flash(record_bytes(p));
        std::string out = capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
        EXPECT_EQ(app_pref_user->MovieFrameRate[c.mode], c.want);
        if (c.message)
            EXPECT_NE(out.find(std::string("======DvConfigs.bin: ") + c.message), std::string::npos) << out;
        else
            EXPECT_EQ(out.find("MovieFrameRate"), std::string::npos) << out;
    }
}

TEST_F(PrefTest, ShortReadInReadCfgFromFlashGivesTheDefaults)
{
    put_flash(record_bytes(custom_record()).substr(0, 100));
    memset(app_pref_user, 0x5A, sizeof *app_pref_user);
    std::string out = capture_stdout([] { EXPECT_EQ(ReadCfgFromFlash(), -1); });
    EXPECT_NE(out.find("fread g_dv_system_param failed:100 ,388"), std::string::npos);
    EXPECT_EQ(record_bytes(*app_pref_user), default_bytes(app_pref_user->Datetime, "2.03", "", ""));
    EXPECT_EQ(flash().size(), 388u);
}

// A record of the right size whose words are out of range gets each such
// word's factory default (not the text file's fallback, which for loop
// recording is "on" and for the codec H.265); words no setting covers stay
// as they were.
TEST_F(PrefTest, GarbageRecordGetsTheFactoryDefaults)
{
    std::string garbage(388, '\xA5');
    put_flash(garbage);
    std::string out = capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
    EXPECT_NE(out.find("DvConfigs.bin"), std::string::npos);
    EXPECT_NE(out.find("out of range"), std::string::npos);

    const int32_t junk = (int32_t)0xA5A5A5A5;
    const std::vector<int32_t> defaults = default_words();
    std::vector<int32_t> expect(97, junk);
    const int covered[] = {13, 19, 20, 21, 22, 24, 25, 26, 27, 28, 29, 72, 73, 74, 75, 76,
                           77, 78, 79, 80, 90, 91, 92, 93, 94, 95, 96};
    for (int w : covered)
        expect[w] = defaults[w];
    for (int base : {30, 33, 36, 39, 42, 45, 51, 54, 57, 60, 63, 66, 69})
        for (int m = 0; m < 3; ++m)
            expect[base + m] = defaults[base + m];
    for (int i = 81; i <= 89; ++i)
        expect[i] = defaults[i];
    for (int i = 12; i < 97; ++i) {
        if (i >= 14 && i <= 18)
            continue; // Datetime
        EXPECT_EQ(word_of(*app_pref_user, i), expect[i]) << "word " << i;
    }
    EXPECT_EQ(app_pref_user->MovieLoopRecording[0], 0);
    EXPECT_EQ(app_pref_user->MovieCodec[0], 1); // H.264

    // In a record of the user's own, only the bad words change.
    DvSystemParam mine = custom_record();
    mine.MovieLoopRecording[1] = 7;
    mine.MovieCodec[1] = -1;
    put_flash(record_bytes(mine));
    capture_stdout([] { EXPECT_EQ(app_pref_get_user(), 0); });
    mine.MovieLoopRecording[1] = 0;
    mine.MovieCodec[1] = 1;
    for (int i = 12; i < 97; ++i)
        EXPECT_EQ(word_of(*app_pref_user, i), word_of(mine, i)) << "word " << i;
    // Texts end within their fields.
    EXPECT_EQ(text(app_pref_user->Datetime).size(), 19u);
    EXPECT_STREQ(app_pref_user->FwVersion, "2.03");
}

TEST_F(PrefTest, RootfsVersionIsAtMostTenBytesAndTerminated)
{
    struct Case {
        const char *name;
        bool present;
        std::string text;
        const char *expect;
    };
    const Case cases[] = {
        {"missing", false, "", "No Ver"},
        {"short", true, "1.2", "1.2"},
        {"exactly ten", true, "0123456789", "0123456789"},
        {"longer", true, "0123456789ABCDEFGHIJ", "0123456789"},
        {"NUL inside", true, std::string("ab\0cd", 5), "ab"},
        {"empty", true, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.present)
            put_rootfs_version(c.text);
        memset(app_pref_user->RootfsVersion, 'Z', sizeof app_pref_user->RootfsVersion);
        std::string out = capture_stdout([] { app_pref_get_user(); });
        EXPECT_STREQ(app_pref_user->RootfsVersion, c.expect);
        EXPECT_EQ(out.find("=======rootfs is too old ........") != std::string::npos, !c.present);
        // The rest of the field is zero.
        for (size_t i = strlen(c.expect); i < sizeof app_pref_user->RootfsVersion; ++i)
            EXPECT_EQ(app_pref_user->RootfsVersion[i], '\0');
    }
}

TEST_F(PrefTest, InitCopiesTheRecordToTheCard)
{
    mkdirs("/mnt/sdcard0/syscfg");
    put_flash(record_bytes(custom_record()));
    card_state = CARD_STATE_PRESENT;
    capture_stdout([] { app_pref_init(); });
    EXPECT_EQ(read_file(host("/mnt/sdcard0/syscfg/DvConfigs.bin")), record_bytes(*app_pref_user));
    EXPECT_TRUE(events("shell cp").empty());
}

TEST_F(PrefTest, CardCopyWithoutTheFolderFallsBackToTheShell)
{
    put_flash(record_bytes(custom_record()));
    card_state = CARD_STATE_PRESENT;
    std::string out = capture_stdout([] { app_pref_init(); });
    EXPECT_NE(out.find(" fwrite syscfg/DvConfigs.bin erro"), std::string::npos);
    EXPECT_EQ(events("shell cp -f /dv/config/DvConfigs.bin /mnt/sdcard0/syscfg/DvConfigs.bin").size(), 1u);
}

TEST_F(PrefTest, NoCardNoCopy)
{
    mkdirs("/mnt/sdcard0/syscfg");
    capture_stdout([] { app_pref_init(); });
    EXPECT_FALSE(std::filesystem::exists(host("/mnt/sdcard0/syscfg/DvConfigs.bin")));
}

// A flash whose folder can't take a file, and a folder where the record
// goes: each save says what failed.
TEST_F(PrefTest, SaveFailuresAreReported)
{
    struct Case {
        const char *name;
        const char *blocker; // made a folder or a file
        bool folder;
        const char *save_message, *defaults_message;
        bool defaults_filled;
    } cases[] = {
        {"the flash's folder is a file", "/dv/config", false, "======fopen config file failed in WriteCfgToFlash",
         "======fopen config file failed in WriteDefaultCfgToFlash", false},
        {"a folder where the record goes", "/dv/config/DvConfigs.bin", true, "======fwrite g_dv_mode_param[2] error",
         "===fwrite g_dv_mode_param error", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::filesystem::remove_all(host("/dv/config"));
        if (c.folder)
            std::filesystem::create_directories(host(c.blocker));
        else
            write_file(host(c.blocker), "");
        std::string out = capture_stdout([] {
            EXPECT_EQ(WriteCfgToFlash(), -1);
            EXPECT_EQ(app_pref_save_all(), 0);
        });
        EXPECT_NE(out.find(c.save_message), std::string::npos) << out;
        *app_pref_user = custom_record();
        DvSystemParam before = *app_pref_user;
        out = capture_stdout([] { EXPECT_EQ(WriteDefaultCfgToFlash(), -1); });
        EXPECT_NE(out.find(c.defaults_message), std::string::npos) << out;
        // Asked for alone, the defaults wait for a flash that takes them.
        EXPECT_EQ(record_bytes(*app_pref_user) != record_bytes(before), c.defaults_filled);
        EXPECT_FALSE(std::filesystem::exists(host("/dv/config/DvConfigs.bin.tmp")));
    }
}

TEST_F(PrefTest, DebugPrintShowsTheVersions)
{
    strcpy(app_pref_user->FwVersion, "2.03");
    strcpy(app_pref_user->RootfsVersion, "R1");
    strcpy(app_pref_user->SdkVersion, "1.0.6");
    std::string stars(52, '*');
    EXPECT_EQ(capture_stdout([] { print_debug_pref_user(); }),
              stars + "\nSDK  Version : 1.0.6\nRootfs  Version : R1\nFW  Version : 2.03\n" + stars + "\n");
}

// The settings update from the card, in its three cases.
TEST_F(PrefTest, CheckCfgFileParsesTheCardFileThenDeletesIt)
{
    mkdirs("/mnt/sdcard0");
    put_flash(record_bytes(custom_record()));
    capture_stdout([] { app_pref_get_user(); });
    write_file(host("/mnt/sdcard0/syscfg2.txt"), "LED=[1]\r\nAuto Power off=[2]\r\n");
    std::string out = capture_stdout([] { EXPECT_EQ(CheckCfgFileSDCard(), 0); });
    EXPECT_NE(out.find("------enter write 3"), std::string::npos);
    EXPECT_NE(out.find("------rm -f /mnt/sdcard0/syscfg2.txt"), std::string::npos);
    EXPECT_NE(out.find("CheckCfgFileSDCard complete"), std::string::npos);
    EXPECT_EQ(app_pref_user->LED, 1);
    EXPECT_EQ(app_pref_user->AutoPoweroff, 2);
    EXPECT_EQ(flash(), record_bytes(*app_pref_user));
    EXPECT_FALSE(std::filesystem::exists(host("/mnt/sdcard0/syscfg2.txt")));
}

// A folder named like the settings file is the user's: it stays with what
// it holds, and the update goes on as without a settings file.
TEST_F(PrefTest, CheckCfgFileLeavesAFolderOfThatName)
{
    mkdirs("/mnt/sdcard0/syscfg2.txt");
    write_file(host("/mnt/sdcard0/syscfg2.txt/holiday.jpg"), "user's photo");
    put_flash(record_bytes(custom_record()));
    std::string out = capture_stdout([] { EXPECT_EQ(CheckCfgFileSDCard(), 0); });
    EXPECT_EQ(out.find("------enter write 3"), std::string::npos);
    EXPECT_EQ(out.find("rm "), std::string::npos);
    EXPECT_EQ(read_file(host("/mnt/sdcard0/syscfg2.txt/holiday.jpg")), "user's photo");
    EXPECT_EQ(flash(), record_bytes(custom_record()));
}

TEST_F(PrefTest, CheckCfgFileWritesTheCardFileFromFlash)
{
    mkdirs("/mnt/sdcard0");
    DvSystemParam custom = custom_record();
    put_flash(record_bytes(custom));
    std::string out = capture_stdout([] { EXPECT_EQ(CheckCfgFileSDCard(), 0); });
    EXPECT_NE(out.find("------enter write 2"), std::string::npos);
    EXPECT_NE(out.find("------leave write 2"), std::string::npos);
    std::string txt = read_file(host("/mnt/sdcard0/syscfg2.txt"));
    EXPECT_NE(txt.find("Auto Power off=[3];"), std::string::npos);
    EXPECT_NE(txt.find("Customized White Balance 3 Red Gain=[256],Green Gain=[999],Blue Gain=[256];"),
              std::string::npos);
    EXPECT_EQ(app_pref_user->Sharpness, 127);
}

TEST_F(PrefTest, CheckCfgFileWithoutAnyFileWritesDefaults)
{
    mkdirs("/mnt/sdcard0");
    std::string out = capture_stdout([] { EXPECT_EQ(CheckCfgFileSDCard(), 0); });
    EXPECT_NE(out.find("------enter write 1"), std::string::npos);
    EXPECT_EQ(flash(), default_bytes(app_pref_user->Datetime, "2.03", "", ""));
    std::string txt = read_file(host("/mnt/sdcard0/syscfg2.txt"));
    EXPECT_NE(txt.find("Movie Frame Rate=[1];"), std::string::npos);
    EXPECT_NE(txt.find("Exposure Metering=[2];"), std::string::npos);
}

TEST_F(PrefTest, CheckCfgFileWithAShortFlashFileWritesNoCardFile)
{
    mkdirs("/mnt/sdcard0");
    put_flash("short");
    std::string out = capture_stdout([] { EXPECT_EQ(CheckCfgFileSDCard(), 0); });
    EXPECT_NE(out.find("======Read config data failed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(host("/mnt/sdcard0/syscfg2.txt")));
    EXPECT_EQ(flash(), default_bytes(app_pref_user->Datetime, "2.03", "", ""));
}

} // namespace

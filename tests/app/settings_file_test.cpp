// The settings text file: the writer byte for byte, the parser's rules, and
// bad files.
#include "tests/app/pref_fixture.h"

#include <utility>

using namespace preftest;
using testsupport::capture_stdout;
using testsupport::events;
using testsupport::read_file;
using testsupport::write_file;

namespace {

const char *const kTxt = "/mnt/sdcard0/syscfg2.txt";
const char *const kGoldenClock = "2021/03/04-05:06:07";

std::string golden_path()
{
    return (std::filesystem::path(__FILE__).parent_path() / "data" / "syscfg2_golden.txt").string();
}

// The record behind data/syscfg2_golden.txt: a different value in each word
// where the ranges allow, and marked words the writer leaves out.
DvSystemParam golden_record()
{
    DvSystemParam p;
    memset(&p, 0, sizeof p);
    strcpy(p.FwVersion, "2.03");
    strcpy(p.RootfsVersion, "ROOTFS-1.4");
    strcpy(p.SdkVersion, "1.0.6");
    p.Dateformat = 0;
    p.DefaultMode = 2;
    const int32_t res[] = {2, 1}, fps[] = {3, 5}, sound[] = {1, 3}, cycle[] = {83, 2}, loop[] = {1, 0},
                  rot[] = {3, 2}, stamp[] = {0, 1}, bits[] = {1, 0}, qual[] = {7, 6}, codec[] = {0, 1},
                  wdr[] = {2, 1};
    for (int m = 0; m < 2; ++m) {
        p.MovieResolution[m] = res[m];
        p.MovieFrameRate[m] = fps[m];
        p.MovieSound[m] = sound[m];
        p.MovieCycletime[m] = cycle[m];
        p.MovieLoopRecording[m] = loop[m];
        p.MovieRotate[m] = rot[m];
        p.MovieTimestamp[m] = stamp[m];
        p.MovieBitstreamAlgorithm[m] = bits[m];
        p.Moviequality[m] = qual[m];
        p.MovieCodec[m] = codec[m];
        p.MovieWDR[m] = wdr[m];
    }
    p.MovieResolution[2] = 1;
    p.MovieRotate[2] = 1;
    p.MovieTimestamp[2] = 0;
    p.SetTimeLapseShooting = 8;
    p.AutoPoweroff = 3;
    p.Poweroff = 0;
    p.Poweron = 0;
    p.AutoRecordwithExternalPower = 1;
    p.OnePowerButtontoAutoRecord = 1;
    p.LED = 0;
    p.ChargefromUSBHost = 1;
    p.Lightfrequency = 1;
    p.TVout = 0;
    p.MotionDetect = 1;
    p.MotionDetectTimeout = 3;
    p.MotionDetectSensitivity = 2;
    p.EnableManualAELockorAWBLock = 3;
    p.WhiteBalance = 9;
    const int32_t gains[3][3] = {{101, 202, 303}, {404, 505, 606}, {707, 808, 999}};
    memcpy(p.CustomizedWhiteBalance, gains, sizeof gains);
    p.ExposureValue = -128;
    p.ExposureStrategyMode = 1;
    p.ExposureMetering = 4;
    p.ColorEffect = 6;
    p.Contrast = 128;
    p.Saturation = -5;
    p.Sharpness = 77;
    // Words the writer leaves out.
    p.AutoOffwithExternalPowerdisconnected = 1;
    p.TVOutStrategy = 1;
    p.AudioInputPath = 1;
    p.MovieFrameRate[2] = 4;
    p.MovieSound[2] = 1;
    p.MovieCycletime[2] = 3;
    p.MovieLoopRecording[2] = 1;
    p.MovieFlip[0] = 5, p.MovieFlip[1] = 6, p.MovieFlip[2] = 7;
    p.MovieBitstreamAlgorithm[2] = 1;
    p.Moviequality[2] = 5;
    p.MovieCodec[2] = 1;
    p.MovieDefog[0] = 1, p.MovieDefog[2] = 1;
    p.MovieLensDistortionCorrection[1] = 1, p.MovieLensDistortionCorrection[2] = 1;
    p.MovieWDR[2] = 2;
    p.Lensoption = 2;
    return p;
}

// Words that no line of the writer carries.
bool writer_leaves_out(int word)
{
    static const std::set<int> words = {12, 23, 28, 29, 38, 41, 44, 47, 48, 49, 50,
                                        56, 59, 62, 63, 64, 65, 66, 67, 68, 71, 75};
    return word < 12 || (word >= 14 && word <= 18) || words.count(word);
}

std::string written_clock(const std::string &txt)
{
    size_t at = txt.find("Date time=[");
    if (at == std::string::npos)
        return "";
    at += strlen("Date time=[");
    return txt.substr(at, txt.find(']', at) - at);
}

class SettingsFileTest : public PrefTest {
protected:
    void SetUp() override
    {
        PrefTest::SetUp();
        mkdirs("/mnt/sdcard0");
    }

    // The text as fileRead sees it, parsed with its output captured.
    std::string parse(const std::string &text)
    {
        write_file(host(kTxt), text);
        std::string out = capture_stdout([] { EXPECT_EQ(fileRead(), 0); });
        return out;
    }

    // Every word 12..96 set to a value no setting takes.
    static constexpr int32_t kUntouched = -7777;
    void fill_untouched()
    {
        memset(app_pref_user, 0, sizeof *app_pref_user);
        for (int w = 12; w < 97; ++w)
            if (w < 14 || w > 18)
                put_word(*app_pref_user, w, kUntouched);
    }
};

TEST_F(SettingsFileTest, WriterMatchesTheGoldenFile)
{
    *app_pref_user = golden_record();
    put_rootfs_version("ROOTFS-1.4.2-x\n");
    time_t from = bd_time(nullptr);
    std::string out = capture_stdout([] { EXPECT_EQ(WriteTxtCfgToSDCard(), 0); });
    time_t to = bd_time(nullptr);
    EXPECT_NE(out.find("-----------WriteTxtCfgToSDCard\n"), std::string::npos);

    std::string txt = read_file(host(kTxt));
    // The clock may have ticked past the fixed second on a slow machine.
    std::string clock = written_clock(txt);
    ASSERT_TRUE(ymd_texts(from, to).count(clock)) << clock;
    EXPECT_STREQ(app_pref_user->Datetime, clock.c_str());
    txt.replace(txt.find(clock), clock.size(), kGoldenClock);

    std::string golden = read_file(golden_path());
    ASSERT_FALSE(golden.empty()) << golden_path();
    EXPECT_EQ(txt, golden);
}

TEST_F(SettingsFileTest, ParsingTheWrittenFileChangesOnlyTheClockAndUnwrittenWords)
{
    const DvSystemParam golden = golden_record();
    *app_pref_user = golden;
    capture_stdout([] { EXPECT_EQ(WriteTxtCfgToSDCard(), 0); });
    const DvSystemParam written = *app_pref_user; // with the refreshed clock

    // Every word the file carries is something else before parsing.
    for (int w = 12; w < 97; ++w)
        if (!writer_leaves_out(w))
            put_word(*app_pref_user, w, 4444);
    strcpy(app_pref_user->Datetime, "untouched");
    capture_stdout([] { EXPECT_EQ(fileRead(), 0); });

    for (int w = 12; w < 97; ++w) {
        if (w >= 14 && w <= 18)
            continue;
        EXPECT_EQ(word_of(*app_pref_user, w), word_of(golden, w)) << "word " << w;
    }
    // The clock text waits for a confirmation that the file doesn't give.
    EXPECT_STREQ(app_pref_user->Datetime, "untouched");
    EXPECT_STREQ(setDatetime, written.Datetime);
    EXPECT_EQ(curMode, PREF_PHOTO_MODE);
    // "Power off=[0]" and "Power on=[0]" ask the microcontroller for delays.
    EXPECT_EQ(events("mcu w 2 0x01").size(), 1u);
    EXPECT_EQ(events("mcu w 1 0x01").size(), 1u);
}

// The parser's rules, one line set per case, from a record whose words all
// hold a value no setting takes: only the words listed may change.
TEST_F(SettingsFileTest, ParserRules)
{
    struct Case {
        const char *name;
        std::string text;
        std::vector<std::pair<int, int32_t>> expect; // word, value
    };
    const std::string x1000(1000, 'x');
    const Case cases[] = {
        // Ranges and fallbacks.
        {"date format 2", "Date format=[2]\r\n", {{13, 2}}},
        {"date format 3", "Date format=[3]\r\n", {{13, 0}}},
        {"default mode 5", "Default Mode=[5]\r\n", {{19, 0}}},
        {"120 fps at 1080p", "Movie Resolution=[0]\r\nMovie Frame Rate=[0]\r\n", {{30, 0}, {36, 1}}},
        {"100 fps at 1080p", "Movie Resolution=[0]\r\nMovie Frame Rate=[3]\r\n", {{30, 0}, {36, 1}}},
        {"120 fps at 720p", "Movie Resolution=[1]\r\nMovie Frame Rate=[0]\r\n", {{30, 1}, {36, 0}}},
        {"25 fps at 1080p", "Movie Resolution=[0]\r\nMovie Frame Rate=[5]\r\n", {{30, 0}, {36, 5}}},
        {"frame rate 6", "Movie Resolution=[2]\r\nMovie Frame Rate=[6]\r\n", {{30, 2}, {36, 1}}},
        {"resolution 3", "Movie Resolution=[3]\r\n", {{30, 0}}},
        {"sound 4", "Movie Sound=[4]\r\n", {{39, 3}}},
        {"cycle time 83", "Movie Cycle time=[83]\r\n", {{42, 83}}},
        {"cycle time 9", "Movie Cycle time=[9]\r\n", {{42, 0}}},
        {"loop 2", "Movie Loop Recording=[2]\r\n", {{45, 1}}},
        {"rotate 4", "Movie Rotate=[4]\r\n", {{33, 0}}},
        {"time stamp 2", "Movie Time stamp=[2]\r\n", {{51, 1}}},
        {"bitstream 2", "Movie Bitstream Algorithm=[2]\r\n", {{54, 0}}},
        {"quality 7", "Movie quality=[7]\r\n", {{57, 7}}},
        {"quality 8", "Movie quality=[8]\r\n", {{57, 3}}},
        {"codec 2", "Movie Codec=[2]\r\n", {{60, 0}}},
        {"WDR 2", "Movie WDR =[2]\r\n", {{69, 2}}},
        {"WDR 3", "Movie WDR =[3]\r\n", {{69, 0}}},
        {"defog 2", "MovieDefog=[2]\r\n", {{63, 0}}},
        {"lens correction 1", "MovieLensDistortionCorrection=[1]\r\n", {{66, 1}}},
        {"time lapse 8", "Set Time Lapse Shooting=[8]\r\n", {{72, 8}}},
        {"time lapse 9", "Set Time Lapse Shooting=[9]\r\n", {{72, 0}}},
        {"auto power off 4", "Auto Power off=[4]\r\n", {{20, 1}}},
        {"power off 0", "Power off=[0]\r\n", {{74, 0}}},
        {"power on 2", "Power on=[2]\r\n", {{73, 1}}},
        {"auto record 2", "Auto Record with External Power=[2]\r\n", {{21, 0}}},
        {"one button 2", "One Power Button to Auto Record=[2]\r\n", {{22, 0}}},
        {"LED 2", "LED=[2]\r\n", {{24, 1}}},
        {"charge 2", "Charge from USB Host=[2]\r\n", {{25, 0}}},
        {"light frequency 2", "Light frequency=[2]\r\n", {{26, 0}}},
        {"TV out 2", "TV out=[2]\r\n", {{27, 1}}},
        {"TV out strategy 1", "TVOutStrategy=[1]\r\n", {{28, 1}}},
        {"audio input path 2", "AudioInputPath=[2]\r\n", {{29, 0}}},
        {"lens option 2", "Lensoption=[2]\r\n", {{75, 2}}},
        {"lens option 3", "Lensoption=[3]\r\n", {{75, 0}}},
        {"motion detect 2", "Motion Detect=[2]\r\n", {{76, 0}}},
        {"motion timeout 4", "Motion Detect Timeout=[4]\r\n", {{77, 0}}},
        {"motion sensitivity 3", "Motion Detect Sensitivity=[3]\r\n", {{78, 0}}},
        {"AE lock 4", "Enable Manual AE Lock or AWB Lock = [4]; 0: Not enabled\r\n", {{79, 0}}},
        {"white balance 10", "White Balance=[10]\r\n", {{80, 0}}},
        {"gains 50 256 1000", "Customized White Balance 1 Red Gain=[50],Green Gain=[256],Blue Gain=[1000];\r\n",
         {{81, 256}, {82, 256}, {83, 256}}},
        {"gains 300 256 280", "Customized White Balance 2 Red Gain=[300],Green Gain=[256],Blue Gain=[280];\r\n",
         {{84, 300}, {85, 256}, {86, 280}}},
        {"gains at the limits", "Customized White Balance 3 Red Gain=[100],Green Gain=[999],Blue Gain=[555];\r\n",
         {{87, 100}, {88, 999}, {89, 555}}},
        {"gains, one missing", "Customized White Balance 1 Red Gain=[300],Green Gain=[400];\r\n",
         {{81, 300}, {82, 400}, {83, 256}}},
        {"gains, garbage", "Customized White Balance 1 Red Gain=[abc],Green Gain=[200],Blue Gain=[9x];\r\n",
         {{81, 256}, {82, 200}, {83, 256}}},
        {"exposure -128", "Exposure Value=[-128]\r\n", {{90, -128}}},
        {"exposure 128", "Exposure Value=[128]\r\n", {{90, 128}}},
        {"exposure 129", "Exposure Value=[129]\r\n", {{90, 0}}},
        {"exposure -129", "Exposure Value=[-129]\r\n", {{90, 0}}},
        {"strategy 2", "Exposure Strategy Mode=[2]\r\n", {{91, 0}}},
        {"metering 5", "Exposure Metering=[5]\r\n", {{92, 0}}},
        {"color effect 7", "Color Effect=[7]\r\n", {{93, 7}}},
        {"color effect 8", "Color Effect=[8]\r\n", {{93, 0}}},
        {"contrast -129", "Contrast=[-129]\r\n", {{94, 0}}},
        {"saturation 129", "Saturation=[129]\r\n", {{95, 0}}},
        {"sharpness -128", "Sharpness=[-128]\r\n", {{96, -128}}},
        // Titles choose the element of the per-mode words.
        {"video mode 2", "VIDEO MODE 2\r\nMovie Sound=[1]\r\n", {{40, 1}}},
        {"back to video mode 1", "VIDEO MODE 2\r\nVIDEO MODE 1\r\nMovie Sound=[1]\r\n", {{39, 1}}},
        {"photo mode",
         "PHOTO MODE\r\nPhoto Mode Capture Size=[2]\r\nPhoto Rotate=[3]\r\nPhoto Time stamp=[0]\r\nPhotoDefog=[1]\r\n",
         {{32, 2}, {35, 3}, {53, 0}, {65, 1}}},
        {"photo time stamp 7", "PHOTO MODE\r\nPhoto Time stamp=[7]\r\n", {{53, 1}}},
        {"frame rate rule in mode 2", "VIDEO MODE 2\r\nMovie Resolution=[0]\r\nMovie Frame Rate=[3]\r\n",
         {{31, 0}, {37, 1}}},
        {"LF-only titles", "VIDEO MODE 2\nMovie Sound=[1]\nPHOTO MODE\nPhoto Rotate=[2]\n", {{40, 1}, {35, 2}}},
        {"title with spaces", "  VIDEO   MODE 2  \r\nMovie Sound=[1]\r\n", {{40, 1}}},
        // Malformed lines.
        {"no =", "LED [0]\r\n", {}},
        {"key alone", "LED\r\n", {}},
        {"no brackets", "LED=0\r\n", {{24, 1}}},
        {"empty value", "LED=[]\r\n", {{24, 1}}},
        {"empty signed value", "Contrast=[]\r\n", {{94, 0}}},
        {"letters after digits", "Auto Power off=[2abc]\r\n", {{20, 1}}},
        {"hexadecimal", "Auto Power off=[0x2]\r\n", {{20, 1}}},
        {"huge value", "LED=[99999999999999999999999999999]\r\n", {{24, 1}}},
        {"past 32 bits", "Exposure Value=[-2147483649]\r\n", {{90, 0}}},
        {"value cut to 19 characters", "Auto Power off=[0000000000000000002999]\r\n", {{20, 2}}},
        {"spaces everywhere", "  Auto  Power  off  =  [  2  ]  ;  help text  \r\n", {{20, 2}}},
        {"spaces inside the key", " M o v i e  S o u n d = [ 1 ] \r\n", {{39, 1}}},
        {"comment #", "#LED=[0]\r\n", {}},
        {"comment //", "//LED=[0]\r\n", {}},
        {"unknown key", "Foo=[1]\r\n", {}},
        {"wrong case", "led=[0]\r\n", {}},
        {"bracket first", "]LED=[0]\r\n", {}},
        {"double =", "LED==[0]\r\n", {{24, 0}}},
        {"LF only", "LED=[0]\n", {{24, 0}}},
        {"no line end", "LED=[0]", {{24, 0}}},
        {"garbage", "\x01\xff=[[]]==;;\r\n\x7f\x80\r\n", {}},
        {"1000-character line", "LED=[0];" + x1000 + "\r\n", {{24, 0}}},
        {"key past 255 characters", std::string(300, 'x') + "LED=[0]\r\n", {}},
        {"line after a long one", x1000 + "\r\nLED=[0]\r\n", {{24, 0}}},
        // A NUL ends the line's text, not the line: the next line still counts.
        {"NUL inside a line", std::string("LED=[0]\0junk\r\nAuto Power off=[2]\r\n", 34), {{24, 0}, {20, 2}}},
        {"NUL inside the key", std::string("LE\0D=[0]\r\nTV out=[0]\r\n", 22), {{27, 0}}},
        {"empty file", "", {}},
        {"blank lines", "\r\n\n\r\n\n", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        settings_parser_reset();
        fill_untouched();
        parse(c.text);
        std::vector<int32_t> expect(97, kUntouched);
        for (auto &e : c.expect)
            expect[e.first] = e.second;
        for (int w = 12; w < 97; ++w) {
            if (w >= 14 && w <= 18)
                continue; // Datetime
            EXPECT_EQ(word_of(*app_pref_user, w), expect[w]) << "word " << w;
        }
    }
}

TEST_F(SettingsFileTest, PowerKeysProgramTheMicrocontroller)
{
    parse("Power off=[0]\r\nPower on=[1]\r\nPower on=[7]\r\n");
    // Delay (1) for a 0, fast (0) for a 1 and for the fallback 1.
    EXPECT_EQ(events("mcu w 2 ").size(), 1u);
    EXPECT_EQ(events("mcu w 2 0x01").size(), 1u);
    EXPECT_EQ(events("mcu w 1 0x00").size(), 2u);
}

TEST_F(SettingsFileTest, ProgressLinesShowTheValueBeforeTheCheck)
{
    std::string out = parse("White Balance=[12]\r\nAudioInputPath=[1]\r\n"
                            "Customized White Balance 2 Red Gain=[300],Green Gain=[256],Blue Gain=[280];\r\n");
    EXPECT_NE(out.find("whiteBalance 12\n"), std::string::npos);
    EXPECT_NE(out.find("AUDIOINPUTPATH AUDIOINPUTPATH 1\n"), std::string::npos);
    EXPECT_NE(out.find("300,256,280, \n"), std::string::npos);
    EXPECT_NE(out.find("wb2  r=300,g=256,b=280\n"), std::string::npos);
}

TEST_F(SettingsFileTest, ParserStateLastsUntilReset)
{
    fill_untouched();
    parse("VIDEO MODE 2\r\n");
    parse("Movie Sound=[1]\r\n");
    EXPECT_EQ(app_pref_user->MovieSound[1], 1);
    settings_parser_reset();
    parse("Movie Sound=[0]\r\n");
    EXPECT_EQ(app_pref_user->MovieSound[0], 0);
    EXPECT_EQ(app_pref_user->MovieSound[1], 1);
}

TEST_F(SettingsFileTest, ClockTextAppliesOnlyWhenConfirmed)
{
    // 2019-02-03 04:05:06 UTC
    const time_t target = 1549166706;
    struct Case {
        const char *name;
        const char *text;
        bool set;
        const char *record_text; // Datetime afterwards
        const char *pending;     // setDatetime afterwards
    };
    const Case cases[] = {
        {"not confirmed", "Date time=[2019/02/03-04:05:06]\r\nModify datetime=[0]\r\n", false, "",
         "2019/02/03-04:05:06"},
        {"confirmed after", "Date time=[2019/02/03-04:05:06]\r\nModify datetime=[1]\r\n", true, "2019/02/03-04:05:06",
         "2019/02/03-04:05:06"},
        {"confirmed before", "Modify datetime=[1]\r\nDate time=[2019/02/03-04:05:06]\r\n", true,
         "2019/02/03-04:05:06", ""},
        {"day first", "Date format=[1]\r\nDate time=[03/02/2019-04:05:06]\r\nModify datetime=[1]\r\n", true,
         "03/02/2019-04:05:06", "03/02/2019-04:05:06"},
        {"month first", "Date format=[2]\r\nDate time=[02/03/2019-04:05:06]\r\nModify datetime=[1]\r\n", true,
         "02/03/2019-04:05:06", "02/03/2019-04:05:06"},
        {"too long, cut", "Date time=[2019/02/03-04:05:06789]\r\nModify datetime=[1]\r\n", true,
         "2019/02/03-04:05:06", "2019/02/03-04:05:06"},
        {"empty", "Date time=[]\r\nModify datetime=[1]\r\n", false, "", ""},
        {"confirmation not a number", "Date time=[2019/02/03-04:05:06]\r\nModify datetime=[yes]\r\n", false, "",
         "2019/02/03-04:05:06"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        parse(c.text);
        time_t now = bd_time(nullptr);
        if (c.set) {
            EXPECT_GE(now, target);
            EXPECT_LE(now, target + 60);
        } else {
            EXPECT_GE(now, kFixedClock);
            EXPECT_LE(now, kFixedClock + 60);
        }
        EXPECT_STREQ(app_pref_user->Datetime, c.record_text);
        EXPECT_STREQ(setDatetime, c.pending);
    }
}

TEST_F(SettingsFileTest, FormatConfirmationNeedsTwoOnes)
{
    struct Case {
        const char *name;
        const char *text;
        int format_tag, format;
    };
    const Case cases[] = {
        {"one", "FormatCard=[1]\r\n", 1, 0},
        {"two", "FormatCard=[1]\r\nConfirmFormat=[1]\r\n", 1, 1},
        {"withdrawn", "FormatCard=[1]\r\nConfirmFormat=[1]\r\nConfirmFormat=[0]\r\n", 0, 0},
        {"not a number", "FormatCard=[1]\r\nConfirmFormat=[x]\r\n", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        settings_parser_reset();
        parse(c.text);
        EXPECT_EQ(g_format_tag, c.format_tag);
        EXPECT_EQ(do_format, c.format);
    }
}

TEST_F(SettingsFileTest, KeyLookup)
{
    for (int i = 0; i < SETTINGS_KEY_COUNT; ++i)
        EXPECT_EQ(findKey(keyTable[i]), i) << keyTable[i];
    EXPECT_EQ(findKey("VIDEOMODE1"), 4);
    EXPECT_EQ(findKey("CustomizedWhiteBalance3RedGain"), 49);
    EXPECT_EQ(findKey(""), -1);
    EXPECT_EQ(findKey("LEDs"), -1);
    EXPECT_EQ(findKey(nullptr), -1);
    EXPECT_EQ(strcmpy("a", "a"), 0);
    EXPECT_EQ(strcmpy("a", "b"), -1);
    EXPECT_EQ(strcmpy("b", "a"), 1);
    EXPECT_EQ(strcmpy("a", "ab"), -1);
    EXPECT_EQ(strcmpy("\xff", "a"), 1);
    // Unknown indexes do nothing.
    fill_untouched();
    DvSystemParam before = *app_pref_user;
    EXPECT_EQ(setTableVale(-1, "1"), 0);
    EXPECT_EQ(setTableVale(57, "1"), 0);
    EXPECT_EQ(setTableVale(255, "1"), 0);
    EXPECT_EQ(record_bytes(*app_pref_user), record_bytes(before));
}

TEST_F(SettingsFileTest, WriterFollowsTheDateFormat)
{
    struct Case {
        int format;
        const char *order; // of year, month, day
    };
    const Case cases[] = {{0, "ymd"}, {1, "dmy"}, {2, "mdy"}, {7, "ymd"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        app_pref_user->Dateformat = c.format;
        time_t from = bd_time(nullptr);
        capture_stdout([] { EXPECT_EQ(WriteTxtCfgToSDCard(), 0); });
        time_t to = bd_time(nullptr);
        std::set<std::string> allowed;
        for (time_t t = from; t <= to; ++t) {
            struct tm tm;
            gmtime_r(&t, &tm);
            char s[32];
            int y = tm.tm_year + 1900, mo = tm.tm_mon + 1, d = tm.tm_mday;
            if (c.order[0] == 'y')
                snprintf(s, sizeof s, "%04d/%02d/%02d", y, mo, d);
            else if (c.order[0] == 'd')
                snprintf(s, sizeof s, "%02d/%02d/%04d", d, mo, y);
            else
                snprintf(s, sizeof s, "%02d/%02d/%04d", mo, d, y);
            snprintf(s + 10, sizeof s - 10, "-%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
            allowed.insert(s);
        }
        std::string clock = written_clock(read_file(host(kTxt)));
        EXPECT_TRUE(allowed.count(clock)) << clock;
    }
}

TEST_F(SettingsFileTest, WriterWithoutRootfsVersionOrCard)
{
    std::string out = capture_stdout([] { EXPECT_EQ(WriteTxtCfgToSDCard(), 0); });
    EXPECT_NE(out.find("=======rootfs is too old ........"), std::string::npos);
    EXPECT_NE(read_file(host(kTxt)).find("\r\nrootfs version:No Ver\r\n"), std::string::npos);

    std::filesystem::remove_all(host("/mnt/sdcard0"));
    out = capture_stdout([] { EXPECT_EQ(WriteTxtCfgToSDCard(), -1); });
    EXPECT_NE(out.find("=======write_config_txt fopen failed"), std::string::npos);
}

TEST_F(SettingsFileTest, MissingFileLeavesTheRecord)
{
    *app_pref_user = golden_record();
    DvSystemParam before = *app_pref_user;
    std::string out = capture_stdout([] { EXPECT_EQ(fileRead(), -1); });
    EXPECT_NE(out.find("======fopen config file failed in fileRead"), std::string::npos);
    EXPECT_EQ(record_bytes(*app_pref_user), record_bytes(before));
}

// Large files of garbage change nothing and end; long lines say so.
TEST_F(SettingsFileTest, HugeGarbageFilesChangeNothing)
{
    const std::string garbage = garbage_bytes(10 * 1024 * 1024, 99);
    std::string long_lines;
    for (int i = 0; i < 2000; ++i)
        long_lines += std::string(1000, 'a' + i % 26) + "\r\n";
    const std::pair<const char *, std::string> files[] = {{"10 MB of random bytes", garbage},
                                                          {"lines of 1000 characters", long_lines}};
    for (auto &f : files) {
        SCOPED_TRACE(f.first);
        fill_untouched();
        DvSystemParam before = *app_pref_user;
        std::string out = parse(f.second);
        EXPECT_EQ(record_bytes(*app_pref_user), record_bytes(before));
        EXPECT_NE(out.find("line longer than 255 characters"), std::string::npos);
    }
}

TEST_F(SettingsFileTest, DebugPrintShowsTheFlipWords)
{
    *app_pref_user = golden_record();
    std::string out = capture_stdout([] { showDebug(); });
    EXPECT_NE(out.find("Movie Flip=[5]\r\n"), std::string::npos);
    EXPECT_NE(out.find("Movie Flip=[6]\r\n"), std::string::npos);
    EXPECT_NE(out.find("Photo Flip[7]\r\n"), std::string::npos);
    EXPECT_NE(out.find("Auto Power off=[3]\r\n"), std::string::npos);
}

} // namespace

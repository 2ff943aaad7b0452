#include "recorder/rec_files.h"

#include "core/rec_state.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <sys/statvfs.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::capture_stdout;

namespace {

class RecFiles : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        reset_names();
        ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    }

    // The name state as the process starts with it.
    static void reset_names()
    {
        strcpy(test_hname, "9999999");
        strcpy(test_tname, "0000000");
        strcpy(test_pho_dir_tname, "KR100");
        strcpy(test_pho_tname, "000");
        u8FileHeadNameIsChange = 0;
        memset(&gRecState, 0, sizeof gRecState);
        setDefualtCmd();
    }

    static std::string card(const std::string &rel) { return bd_path("/mnt/sdcard0/" + rel); }

    static void clear_card()
    {
        for (auto &e : fs::directory_iterator(card("")))
            fs::remove_all(e.path());
    }

    // A file on the card of `bytes` (sparse: the card counts its length).
    static void put_file(const std::string &rel, uint64_t bytes = 0)
    {
        fs::create_directories(fs::path(card(rel)).parent_path());
        testsupport::write_file(card(rel), "");
        fs::resize_file(card(rel), bytes);
    }

    // Boot steps, the scan run in place; returns what they printed.
    static std::string boot()
    {
        return capture_stdout([] {
            EXPECT_EQ(KX_RecordCtr_InitAllfileName(), 1);
            Get_File_Thread_Test(nullptr);
        });
    }

    // The next name, or "" when none is given.
    static std::string next(uint8_t type, uint8_t entry = 1, uint32_t minutes = 3, uint32_t bitRate = 0,
                            std::string *out = nullptr)
    {
        char name[KX_REC_FILENAME_SIZE] = "";
        int got = 0;
        std::string printed = capture_stdout(
            [&] { got = KX_RecordCtr_Getfilename(name, sizeof name, entry, type, minutes, bitRate); });
        if (out)
            *out = printed;
        EXPECT_EQ(got != 0, name[0] != '\0');
        return got ? name : "";
    }
};

TEST_F(RecFiles, BootScanNumbersTheNextFiles)
{
    struct Case {
        const char *name;
        std::vector<std::string> files, folders;
        const char *scan; // the scan's summary line
        const char *movie, *photo;
    } cases[] = {
        {"empty card", {}, {}, "h:0000000 t:0000000 pd:KR100 pt:000",
         "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        {"some movies", {"MOVIE/KORVAN0000012.mp4", "MOVIE/KORVAN0000005.mp4"}, {},
         "h:0000005 t:0000012 pd:KR100 pt:000", "/mnt/sdcard0/MOVIE/KORVAN0000013.mp4",
         "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        {"gaps", {"MOVIE/KORVAN0000040.mp4", "MOVIE/KORVAN0000003.mp4", "MOVIE/KORVAN0000009.mp4"}, {},
         "h:0000003 t:0000040 pd:KR100 pt:000", "/mnt/sdcard0/MOVIE/KORVAN0000041.mp4",
         "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        {"wrong names",
         {"MOVIE/korvan0000050.mp4", "MOVIE/KORVAN0000003.MP4", "MOVIE/KORVAN00003.mp4", "MOVIE/KORVAN00000a1.mp4",
          "MOVIE/KORVAN0000099.avi", "MOVIE/XKORVAN000099.mp4", "PHOTO/KR150", "PHOTO/KR103/KORVANabc.jpg",
          "PHOTO/KR103/KORVAN5.jpg", "PHOTO/KR103/korvan010.jpg", "PHOTO/KR103/KORVAN007.JPG",
          "PHOTO/KR103/KORVAN900.png"},
         {"MOVIE/KORVAN0000077.mp4", "PHOTO/KR1ab", "PHOTO/KR200", "PHOTO/KR1000", "PHOTO/KR103",
          "PHOTO/KR103/KORVAN800.jpg"},
         "h:0000003 t:0000003 pd:KR103 pt:007", "/mnt/sdcard0/MOVIE/KORVAN0000004.mp4",
         "/mnt/sdcard0/PHOTO/KR103/KORVAN008.jpg"},
        // Locked movies keep their numbers: new ones follow them too, and
        // only MOVIE's oldest is a loop recording's next to delete.
        {"locked movies", {"ALARM/KORVAN0000001.mp4", "ALARM/KORVAN0000002.mp4"}, {},
         "h:0000000 t:0000002 pd:KR100 pt:000", "/mnt/sdcard0/MOVIE/KORVAN0000003.mp4",
         "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        {"locked and not",
         {"MOVIE/KORVAN0000004.mp4", "ALARM/KORVAN0000009.mp4", "ALARM/KORVAN0000007_0.mp4",
          "ALARM/KORVAN0000011.mp4_0.mp4", "ALARM/KORVAN0000020.jpg", "ALARM/korvan0000030.mp4"},
         {}, "h:0000004 t:0000011 pd:KR100 pt:000", "/mnt/sdcard0/MOVIE/KORVAN0000012.mp4",
         "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        {"the 9999999 wrap", {"MOVIE/KORVAN9999999.mp4"}, {}, "h:9999999 t:9999999 pd:KR100 pt:000",
         "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        // Past the wrap the old movies still hold the next numbers: a new
        // movie takes none of them, in MOVIE or locked.
        {"the wrap onto older movies",
         {"MOVIE/KORVAN9999999.mp4", "MOVIE/KORVAN0000001.mp4", "MOVIE/KORVAN0000002.mp4", "ALARM/KORVAN0000003.mp4",
          "MOVIE/KORVAN0000005.mp4"},
         {}, "h:0000001 t:9999999 pd:KR100 pt:000", "/mnt/sdcard0/MOVIE/KORVAN0000004.mp4",
         "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"},
        // Folders the scan passes over still take their names.
        {"folders at the next names", {"MOVIE/KORVAN0000005.mp4"},
         {"MOVIE/KORVAN0000006.mp4", "PHOTO/KR100", "PHOTO/KR100/KORVAN001.jpg"},
         "h:0000005 t:0000005 pd:KR100 pt:000", "/mnt/sdcard0/MOVIE/KORVAN0000007.mp4",
         "/mnt/sdcard0/PHOTO/KR100/KORVAN002.jpg"},
        {"photo folder full at 999", {"PHOTO/KR105/KORVAN999.jpg", "PHOTO/KR105/KORVAN998.jpg"}, {"PHOTO/KR100"},
         "h:0000000 t:0000000 pd:KR105 pt:999", "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4",
         "/mnt/sdcard0/PHOTO/KR106/KORVAN001.jpg"},
        {"KR199 with room", {"PHOTO/KR199/KORVAN500.jpg"}, {}, "h:0000000 t:0000000 pd:KR199 pt:500",
         "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", "/mnt/sdcard0/PHOTO/KR199/KORVAN501.jpg"},
        {"KR199 exhausted", {"PHOTO/KR199/KORVAN999.jpg"}, {}, "h:0000000 t:0000000 pd:KR199 pt:999",
         "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        clear_card();
        reset_names();
        for (auto &d : c.folders)
            fs::create_directories(card(d));
        for (auto &f : c.files)
            put_file(f);

        EXPECT_NE(boot().find(std::string(c.scan) + "\n"), std::string::npos);
        EXPECT_EQ(next(KX_REC_TYPE_MOVIE), c.movie);
        std::string photo = next(KX_REC_TYPE_PHOTO, 0);
        EXPECT_EQ(photo, c.photo);
        if (!photo.empty()) { // the photo's folder is there to write into
            EXPECT_TRUE(fs::is_directory(fs::path(bd_path(photo)).parent_path()));
        }
        // Numbering goes on from the name just given.
        if (std::string(c.movie) == "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4") {
            EXPECT_EQ(next(KX_REC_TYPE_MOVIE), "/mnt/sdcard0/MOVIE/KORVAN0000002.mp4");
        }
    }
}

// A MOVIE folder taken away after the boot is made again for the next
// movie; one that can't be made (a file in its place) still gives the name,
// and the file's creation fails where the recording reports it.
TEST_F(RecFiles, AMissingMovieFolderIsMadeAgain)
{
    boot();
    fs::remove_all(card("MOVIE"));
    EXPECT_EQ(next(KX_REC_TYPE_MOVIE), "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4");
    EXPECT_TRUE(fs::is_directory(card("MOVIE")));

    fs::remove_all(card("MOVIE"));
    testsupport::write_file(card("MOVIE"), "");
    std::string out;
    EXPECT_EQ(next(KX_REC_TYPE_MOVIE, 1, 3, 0, &out), "/mnt/sdcard0/MOVIE/KORVAN0000002.mp4");
    EXPECT_NE(out.find("cannot make /mnt/sdcard0/MOVIE"), std::string::npos) << out;
    EXPECT_TRUE(fs::is_regular_file(card("MOVIE")));
}

TEST(RecNames, NumbersStepAndMalformedOnesRestart)
{
    struct Case {
        const char *name, *before, *after;
        int (*step)(char *);
        int result;
    } cases[] = {
        {"movie", "0000012", "0000013", KX_RecordCtr_CalculateName, 1},
        {"movie carry", "0000999", "0001000", KX_RecordCtr_CalculateName, 1},
        {"movie wrap", "9999999", "0000001", KX_RecordCtr_CalculateName, 1},
        {"movie not digits", "00a0001", "0000001", KX_RecordCtr_CalculateName, 0},
        {"movie too short", "123456", "0000001", KX_RecordCtr_CalculateName, 0},
        {"photo", "041", "042", KX_PhotoCtr_CalculateName, 1},
        {"photo not digits", "4x1", "001", KX_PhotoCtr_CalculateName, 0},
        {"folder at its end", "KR199", "KR199", KX_PhotoDirCtr_CalculateName, 0},
        {"folder not digits", "KR1a0", "KR100", KX_PhotoDirCtr_CalculateName, 0},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        char text[8] = {};
        strcpy(text, c.before);
        int got = 0;
        capture_stdout([&] { got = c.step(text); });
        EXPECT_EQ(got, c.result);
        EXPECT_STREQ(text, c.after);
    }
}

TEST_F(RecFiles, FreeSpaceComesFromDf)
{
    EXPECT_EQ(KX_RecordCtr_InitAllfileName(), 1);
    long long before = KX_RecordCtr_CalculDiskSpace();
    struct statvfs st;
    ASSERT_EQ(bd_statvfs("/mnt/sdcard0", &st), 0);
    EXPECT_EQ(before, (long long)(st.f_bavail * (st.f_frsize / 1024)));
    EXPECT_NE(testsupport::read_file(bd_path("/mnt/diskused.bat")).find("/dev/mmcblk0p1"), std::string::npos);
    EXPECT_FALSE(testsupport::events("shell df -a > /mnt/diskused.bat").empty());

    put_file("MOVIE/KORVAN0000001.mp4", 10 << 20);
    EXPECT_EQ(KX_RecordCtr_CalculDiskSpace(), before - 10240);
}

// A card that cannot be measured is not a full card: loop recording deletes
// nothing and no name is given.
TEST_F(RecFiles, AFailedMeasureDeletesNothing)
{
    struct Case {
        const char *name;
        void (*fault)(RecFiles &);
        long long space;
    } cases[] = {
        {"df has no line for the card", [](RecFiles &) { ASSERT_EQ(bd_umount("/mnt/sdcard0"), 0); }, 0},
        {"df cannot write its output",
         [](RecFiles &) { fs::create_directories(bd_path("/mnt/diskused.bat")); }, -1},
        {"no card folder",
         [](RecFiles &) {
             ASSERT_EQ(bd_umount("/mnt/sdcard0"), 0);
             fs::rename(card(""), bd_path("/mnt/elsewhere"));
         },
         -1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        fs::remove_all(bd_path("/mnt/diskused.bat"), ec);
        if (fs::exists(bd_path("/mnt/elsewhere"))) {
            fs::rename(bd_path("/mnt/elsewhere"), card(""));
        }
        bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, "");
        clear_card();
        reset_names();
        gRecCmd[1].bCycleMode = 1;
        for (const char *f : {"MOVIE/KORVAN0000001.mp4", "MOVIE/KORVAN0000002.mp4", "MOVIE/KORVAN0000003.mp4"})
            put_file(f, 1 << 20);
        boot();

        c.fault(*this);
        long long space = 0;
        capture_stdout([&] { space = KX_RecordCtr_CalculDiskSpace(); });
        EXPECT_EQ(space, c.space);
        std::string printed;
        EXPECT_EQ(next(KX_REC_TYPE_MOVIE, 1, 3, 16000000, &printed), "");
        EXPECT_NE(printed.find("KX_RecordCtr_CalculDiskSpace error"), std::string::npos);
        EXPECT_EQ(printed.find("remove"), std::string::npos);
        EXPECT_STREQ(test_hname, "0000001");
        EXPECT_STREQ(test_tname, "0000003");
        std::string movies = fs::exists(card("")) ? card("MOVIE") : bd_path("/mnt/elsewhere/MOVIE");
        for (const char *f : {"KORVAN0000001.mp4", "KORVAN0000002.mp4", "KORVAN0000003.mp4"})
            EXPECT_TRUE(fs::exists(movies + "/" + f)) << f;
    }
}

// 1-minute files at 96 KiB/s take 5760 KiB; with the 153600 KiB reserve a
// new file needs 159360 KiB free. A 165 MiB card (168960 KiB, less three
// folders of 32 KiB) holds two such files and then lacks room for a third.
TEST_F(RecFiles, LoopRecordingDeletesTheOldestAndNumberingGoesOn)
{
    constexpr uint32_t kBitRate = 96 << 13, kMinutes = 1;
    constexpr uint64_t kFileBytes = 5760ull * 1024;
    ASSERT_EQ(sim::control("card_mb 165"), "ok");
    gRecCmd[1].bCycleMode = 1;
    boot();
    long long empty = KX_RecordCtr_CalculDiskSpace();
    ASSERT_GT(empty - 5760, 159360);
    ASSERT_LE(empty - 2 * 5760, 159360);

    auto record = [&](const char *expect) {
        std::string printed;
        std::string name = next(KX_REC_TYPE_MOVIE, 1, kMinutes, kBitRate, &printed);
        EXPECT_EQ(name, expect);
        if (!name.empty())
            put_file(name.substr(strlen("/mnt/sdcard0/")), kFileBytes);
        return printed;
    };
    EXPECT_EQ(record("/mnt/sdcard0/MOVIE/KORVAN0000001.mp4").find("remove"), std::string::npos);
    EXPECT_EQ(record("/mnt/sdcard0/MOVIE/KORVAN0000002.mp4").find("remove"), std::string::npos);

    std::string third = record("/mnt/sdcard0/MOVIE/KORVAN0000003.mp4");
    EXPECT_NE(third.find("/mnt/sdcard0/MOVIE/KORVAN0000001.mp4 in remove ok"), std::string::npos);
    EXPECT_FALSE(fs::exists(card("MOVIE/KORVAN0000001.mp4")));
    EXPECT_TRUE(fs::exists(card("MOVIE/KORVAN0000002.mp4")));
    EXPECT_STREQ(test_hname, "0000002");

    std::string fourth = record("/mnt/sdcard0/MOVIE/KORVAN0000004.mp4");
    EXPECT_NE(fourth.find("KORVAN0000002.mp4 in remove ok"), std::string::npos);
    EXPECT_EQ(fourth.find("KORVAN0000003.mp4 in remove"), std::string::npos);
    EXPECT_TRUE(fs::exists(card("MOVIE/KORVAN0000003.mp4")));
}

TEST_F(RecFiles, NoNameWithoutRoom)
{
    struct Case {
        const char *name;
        int card_mb;
        uint8_t loop, type, entry;
        uint32_t minutes, bitRate;
        bool named;
        const char *printed;
    } cases[] = {
        // The card holds its three folders of 32 KiB.
        {"movie at the reserve", 150, 0, KX_REC_TYPE_MOVIE, 1, 3, 16000000, false, "bSpace = 0,p->bCycleMode = 0"},
        {"movie above the reserve", 151, 0, KX_REC_TYPE_MOVIE, 1, 3, 16000000, true,
         "max leave space : 0x25800 current space:0x25ba0"},
        {"loop with nothing to delete", 150, 1, KX_REC_TYPE_MOVIE, 1, 3, 16000000, false,
         "bSpace = 0,p->bCycleMode = 1"},
        {"loop reserve at 16 Mbit/s for 3 minutes", 493, 1, KX_REC_TYPE_MOVIE, 1, 3, 16000000, false,
         "max leave space : 0x7b534"},
        {"loop reserve met", 494, 1, KX_REC_TYPE_MOVIE, 1, 3, 16000000, true, "max leave space : 0x7b534"},
        {"photo at its reserve", 20, 0, KX_REC_TYPE_PHOTO, 0, 0, 0, false, "no enough space !!!"},
        {"photo in loop mode deletes nothing", 20, 1, KX_REC_TYPE_PHOTO, 0, 0, 0, false, "no enough space !!!"},
        {"photo above its reserve", 21, 0, KX_REC_TYPE_PHOTO, 0, 0, 0, true, ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        clear_card();
        reset_names();
        ASSERT_EQ(sim::control("card_mb " + std::to_string(c.card_mb)), "ok");
        gRecCmd[c.entry].bCycleMode = c.loop;
        boot();
        std::string printed;
        std::string name = next(c.type, c.entry, c.minutes, c.bitRate, &printed);
        EXPECT_EQ(!name.empty(), c.named);
        EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
        if (!c.named) { // nothing handed out, nothing advanced
            EXPECT_STREQ(test_tname, "0000000");
            EXPECT_STREQ(test_pho_tname, "000");
        }
    }
    // The photo entry's loop flag is kept in the record name state.
    EXPECT_EQ(gRecState.au8State[3], 0);
}

TEST_F(RecFiles, IndexFilesFillTheNameSlots)
{
    std::string pad127 = "17 " + std::string(124, 'x');
    struct Case {
        const char *name;
        int type;
        std::string text;
        const char *head, *tail;
    } cases[] = {
        {"head and tail", 1, "80 0000005\n160 0000012\n", "0000005", "0000012"},
        {"entry 1 codes", 1, "81 0000001\n161 0000002\n", "0000001", "0000002"},
        {"codes that select nothing", 1, "82 0000001\n96 0000002\n0 0000003\n177 0000004\n", "", ""},
        {"only the low byte selects", 1, "336 0000004\n", "0000004", ""},
        {"malformed lines", 1,
         "abc 0000001\n80\n\n80x 0000002\n99999999999999999999 0000003\n 160   0000009  extra\n", "", "0000009"},
        {"over-long name", 1, "80 12345678\n160 1234567\n", "", "1234567"},
        // Whichever length a reader cuts at, the rest of the line is no line of its own.
        {"over-long line's tail is no line", 1, pad127 + "80 0000066\n160 0000007\n", "", "0000007"},
        {"over-long line's tail is no line, a character on", 1, pad127 + "x80 0000066\n160 0000007\n", "", "0000007"},
        {"over-long last line", 1, "160 0000007\n" + pad127 + "80 0000066", "", "0000007"},
        {"line of 127 characters", 1, "80 0000042" + std::string(117, ' ') + "\n", "0000042", ""},
        {"no newline at the end", 1, "160 0000003", "", "0000003"},
        {"alarm file", 3, "80 0000004\n161 0000009\n", "0000004", "0000009"},
        {"photo file", 6, "80 001\n160 123\n", "001", "123"},
    };
    const char *files[] = {nullptr, "/mnt/manualrec.dat", nullptr, "/mnt/alarmrec.dat",
                           nullptr, nullptr, "/mnt/picrec.dat"};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        reset_names();
        testsupport::write_file(bd_path(files[c.type]), c.text);
        EXPECT_EQ(KX_RecordCtr_InitRecfilename(c.type), 0);
        int head = c.type == 1 ? REC_SLOT_MANUAL_HEAD : c.type == 3 ? REC_SLOT_ALARM_HEAD : REC_SLOT_PHOTO_HEAD;
        EXPECT_STREQ(gRecState.aszSlot[head], c.head);
        EXPECT_STREQ(gRecState.aszSlot[head + 1], c.tail);
        for (int s = 0; s < REC_SLOT_NUM; ++s) {
            if (s != head && s != head + 1) {
                EXPECT_STREQ(gRecState.aszSlot[s], "") << s;
            }
        }
        fs::remove(bd_path(files[c.type]));
    }
    EXPECT_EQ(KX_RecordCtr_InitRecfilename(2), 255);
    EXPECT_EQ(KX_RecordCtr_InitRecfilename(1), 255); // no file
}

TEST_F(RecFiles, AlarmMoviesNumberFromTheirSlots)
{
    testsupport::write_file(bd_path("/mnt/alarmrec.dat"), "80 0000004\n161 0000009\n");
    boot();
    // Without alarm slots there is no counter to continue: no name, and no
    // file of the manual numbering is overwritten.
    EXPECT_EQ(next(KX_REC_TYPE_ALARM, 1, 3), "");
    ASSERT_EQ(KX_RecordCtr_InitRecfilename(KX_REC_TYPE_ALARM), 0);
    EXPECT_EQ(next(KX_REC_TYPE_ALARM, 1, 3), "/mnt/sdcard0/MOVIE/KORVAN0000010.mp4");
    EXPECT_STREQ(gRecState.aszSlot[REC_SLOT_ALARM_TAIL], "0000010");
    EXPECT_STREQ(test_tname, "0000000");

    // Loop recording on a full card with a tail that is no number: the
    // oldest-first walk could never meet it, so nothing is deleted.
    strcpy(gRecState.aszSlot[REC_SLOT_ALARM_TAIL], "12x4567");
    gRecCmd[1].bCycleMode = 1;
    std::string printed;
    EXPECT_EQ(next(KX_REC_TYPE_ALARM, 1, 100, 0, &printed), ""); // 5120000 KiB wanted
    EXPECT_NE(printed.find("bSpace = 0,p->bCycleMode = 1"), std::string::npos);
    EXPECT_STREQ(gRecState.aszSlot[REC_SLOT_ALARM_HEAD], "0000004");
}

TEST_F(RecFiles, BootCreatesTheFoldersAndReadsTheIndexFiles)
{
    testsupport::write_file(bd_path("/mnt/manualrec.dat"), "80 0000002\n");
    testsupport::write_file(bd_path("/mnt/picrec.dat"), "160 007\n");
    EXPECT_EQ(KX_RecordCtr_InitAllfileName(), 1);
    EXPECT_TRUE(fs::is_directory(card("MOVIE")));
    EXPECT_TRUE(fs::is_directory(card("PHOTO")));
    EXPECT_STREQ(gRecState.aszSlot[REC_SLOT_MANUAL_HEAD], "0000002");
    EXPECT_STREQ(gRecState.aszSlot[REC_SLOT_PHOTO_TAIL], "007");

    // MOVIE taken by a plain file: the folder can't be made, the manual slots are cleared.
    reset_names();
    clear_card();
    fs::remove(bd_path("/mnt/manualrec.dat"));
    strcpy(gRecState.aszSlot[REC_SLOT_MANUAL_TAIL], "0000009");
    put_file("MOVIE");
    EXPECT_EQ(KX_RecordCtr_InitAllfileName(), 1);
    EXPECT_STREQ(gRecState.aszSlot[REC_SLOT_MANUAL_TAIL], "");

    // No card folder at all.
    ASSERT_EQ(bd_umount("/mnt/sdcard0"), 0);
    fs::remove_all(card(""));
    std::string err = testsupport::capture_stderr([] { EXPECT_EQ(KX_RecordCtr_InitAllfileName(), 255); });
    EXPECT_NE(err.find("open /mnt/sdcard0"), std::string::npos);
    // The scan finds no folder and ends; a name request still returns.
    EXPECT_EQ(File_Get_Name_Thread(), 0);
    EXPECT_EQ(next(KX_REC_TYPE_MOVIE), "");
}

TEST_F(RecFiles, ANameRequestWaitsForTheScan)
{
    put_file("MOVIE/KORVAN0000041.mp4");
    EXPECT_EQ(KX_RecordCtr_InitAllfileName(), 1);
    EXPECT_EQ(File_Get_Name_Thread(), 0);
    EXPECT_EQ(next(KX_REC_TYPE_MOVIE), "/mnt/sdcard0/MOVIE/KORVAN0000042.mp4");
    EXPECT_STREQ(test_hname, "0000041");
}

} // namespace

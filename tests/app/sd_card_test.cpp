#include "app/sd_card.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <string>

#include "tests/app/scan_fixture.h"

using scantest::take_messages;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace fs = std::filesystem;

namespace {

class SdCardTest : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        card_state = CARD_STATE_ABSENT;
    }
    void TearDown() override
    {
        close_sd_dev();
        ScanTest::TearDown();
    }
};

TEST_F(SdCardTest, StartUpReadsThePresenceAndTheFirstScanPostsNoChange)
{
    struct Case {
        const char *conf;
        uint32_t state;
    } cases[] = {
        {"card = 1\n", CARD_STATE_PRESENT},
        {"card = 0\n", CARD_STATE_ABSENT},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.conf);
        std::string root = testsupport::fresh_root("card");
        testsupport::write_conf(root, c.conf);
        sim::start(root);
        card_state = CARD_STATE_ABSENT;
        ASSERT_EQ(init_sd_card(), 1);
        EXPECT_EQ(card_state, c.state);
        card_detect();
        EXPECT_THAT(take_messages(), IsEmpty());
    }
}

TEST_F(SdCardTest, ScansPostEachChangeOnce)
{
    ASSERT_EQ(init_sd_card(), 1);
    ASSERT_EQ(card_state, CARD_STATE_PRESENT);
    struct Case {
        const char *control;
        std::vector<uint32_t> posts;
        uint32_t state;
    } cases[] = {
        {"card out", {HMSG_CARD_OUT}, CARD_STATE_ABSENT},
        {nullptr, {}, CARD_STATE_ABSENT},
        {"card in", {HMSG_CARD_IN}, CARD_STATE_PRESENT},
        {nullptr, {}, CARD_STATE_PRESENT},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.control ? c.control : "no change");
        if (c.control) {
            ASSERT_EQ(sim::control(c.control), "ok");
        }
        card_detect();
        card_detect();
        EXPECT_EQ(take_messages(), c.posts);
        EXPECT_EQ(card_state, c.state);
    }

    // Without the controller there is no reading and no news.
    close_sd_dev();
    EXPECT_EQ(kx_Read_SD_State(), 0xFFFFFFFFu);
    ASSERT_EQ(sim::control("card out"), "ok");
    card_detect();
    EXPECT_THAT(take_messages(), IsEmpty());
    EXPECT_EQ(card_state, CARD_STATE_PRESENT);
}

TEST_F(SdCardTest, OnlyTheCardsFirstPartitionIsMounted)
{
    const std::string head = "major minor  #blocks  name\n\n";
    struct Case {
        const char *name;
        std::string partitions;
        int mounts; // mount calls made
        bool mounted;
    } cases[] = {
        {"the board's card", "", 1, true},
        {"the whole card alone", head + " 179        0    4194304 mmcblk0\n", 0, false},
        {"a second partition alone", head + " 179        2    1000 mmcblk0p2\n", 0, false},
        {"first and second partition", head + " 179  1  1000 mmcblk0p1\n 179  2  1000 mmcblk0p2\n", 1, true},
        {"lines short of four fields",
         head + " 179        1\n 179 1 1000\n179\nmmcblk0p1\n 179 x 1000 mmcblk0p1\n", 0, false},
        {"other majors and names", head + "  31  0  8192 mtdblock0\n 179  1  1000 mmcblk0p10\n 8 1 1000 sda1\n", 0,
         false},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::start(testsupport::fresh_root("parts"));
        if (!c.partitions.empty())
            testsupport::write_file(bd_path("/proc/partitions"), c.partitions);
        int ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = FS_Disk_PhyDisk_Detect(); });
        EXPECT_EQ(ret, c.mounted ? 0 : -1);
        EXPECT_THAT(out, HasSubstr("FS_Disk_PhyDisk_Detect"));
        EXPECT_EQ((int)testsupport::events("kernel mount").size(), c.mounts);
        EXPECT_EQ(sim::card_mounted(), c.mounted);
        if (c.mounted) {
            EXPECT_THAT(testsupport::events("kernel mount"),
                        ElementsAre(HasSubstr("mount /dev/mmcblk0p1 /mnt/sdcard0 vfat")));
        }
    }

    fs::remove(bd_path("/proc/partitions"));
    EXPECT_EQ(FS_Disk_PhyDisk_Detect(), -1);
}

TEST_F(SdCardTest, ABusyMountPointIsUnmountedAndMountedAgain)
{
    ASSERT_EQ(FS_Disk_Make_MountPoint("/dev/mmcblk0p1", "sdcard0"), 0);
    ASSERT_EQ(FS_Disk_Make_MountPoint("/dev/mmcblk0p1", "sdcard0"), 0);
    EXPECT_TRUE(sim::card_mounted());
    auto kernel = testsupport::events("kernel ");
    ASSERT_EQ(kernel.size(), 4u);
    EXPECT_THAT(kernel[0], HasSubstr("mount /dev/mmcblk0p1"));
    EXPECT_THAT(kernel[1], HasSubstr("mount /dev/mmcblk0p1"));
    EXPECT_THAT(kernel[2], HasSubstr("umount /mnt/sdcard0"));
    EXPECT_THAT(kernel[3], HasSubstr("mount /dev/mmcblk0p1"));

    // Any other refusal fails at once.
    ASSERT_EQ(sim::control("card out"), "ok");
    std::string err = testsupport::capture_stderr(
        [] { EXPECT_EQ(FS_Disk_Make_MountPoint("/dev/mmcblk0p1", "sdcard0"), -1); });
    EXPECT_THAT(err, HasSubstr("Mount Hard Disk"));
}

TEST_F(SdCardTest, FreeSpaceFollowsTheCardsContents)
{
    std::string root = testsupport::fresh_root("space");
    testsupport::write_conf(root, "card_mb = 64\n");
    sim::start(root);
    ASSERT_EQ(FS_Disk_PhyDisk_Detect(), 0);
    ASSERT_TRUE(sim::card_mounted());
    EXPECT_EQ(Get_SD_Card_Space_2(), 64u * 1024);
    testsupport::write_file(bd_path("/mnt/sdcard0/one_mb.bin"), std::string(1024 * 1024, 'x'));
    EXPECT_EQ(Get_SD_Card_Space_2(), 63u * 1024);
}

TEST_F(SdCardTest, LockThreadMovesTheNamedRecordingIntoAlarm)
{
    fs::create_directories(bd_path("/mnt/sdcard0/MOVIE"));
    ASSERT_EQ(DV_DC_MoveFile_ThreadRun(), 0);
    const std::string movie = "/mnt/sdcard0/MOVIE/KORVAN0000001.mp4";
    struct Case {
        const char *name;   // what the recording named, null for none
        bool file;          // the movie is on the card
        const char *target; // where it ends up, null when it stays
        const char *says;
    } cases[] = {
        {"/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", true, "/mnt/sdcard0/ALARM/KORVAN0000001.mp4", "lock file:"},
        // A name taken in ALARM: a counter before the one extension.
        {"/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", true, "/mnt/sdcard0/ALARM/KORVAN0000001_0.mp4", "lock file:"},
        {"/mnt/sdcard0/MOVIE/KORVAN0000001.mp4", true, "/mnt/sdcard0/ALARM/KORVAN0000001_1.mp4", "lock file:"},
        {nullptr, true, nullptr, "no recording file"},
        {"/mnt/sdcard0/MOVIE/KORVAN0000009.mp4", false, nullptr, "is not in /mnt/sdcard0/MOVIE"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.target ? c.target : c.says);
        testsupport::write_file(bd_path(movie), "movie");
        set_lock_file_name(c.name);
        std::string out = testsupport::capture_stdout([] {
            u8NeedLockFileTH = 1;
            ASSERT_TRUE(scantest::wait_until([] { return u8NeedLockFileTH == 0; }));
        });
        EXPECT_THAT(out, HasSubstr(c.says));
        if (c.target) {
            EXPECT_EQ(testsupport::read_file(bd_path(c.target)), "movie");
            EXPECT_FALSE(fs::exists(bd_path(movie)));
        } else {
            EXPECT_TRUE(fs::exists(bd_path(movie)));
        }
    }
    set_lock_file_name(nullptr);
    EXPECT_EQ(DV_DC_MoveFile_ThreadStop(), 0);
}

} // namespace

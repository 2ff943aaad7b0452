// The card and the flash as media: a power cut loses what a file was given
// since its last sync, whole (drop), with its last write half done at a
// sector boundary (tear) or not at all (keep); the flash writes a file out as
// it is closed, the card only when synced (or as its mount options say); a
// pulled card loses its unsynced bytes too. Each cut runs in a child
// process of this test, which the cut kills, and the card is read back here.
#include "board/sim/sim.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::read_file;

namespace {

constexpr unsigned long kSynchronous = 16; // MS_SYNCHRONOUS

std::string bytes(char c, size_t n) { return std::string(n, c); }

int open_new(const char *path) { return bd_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644); }

void put(int fd, const std::string &s) { ASSERT_EQ(bd_write(fd, s.data(), s.size()), (ssize_t)s.size()); }

void put_at(int fd, off_t at, const std::string &s)
{
    ASSERT_EQ(bd_lseek(fd, at, SEEK_SET), at);
    put(fd, s);
}

// A new file on its medium with `content`; its descriptor, still open.
int synced_file(const char *path, const std::string &content)
{
    int fd = open_new(path);
    put(fd, content);
    EXPECT_EQ(bd_fsync(fd), 0);
    return fd;
}


using Files = std::map<std::string, std::string>;

// A cut and what it leaves of each file, by policy.
struct LossCase {
    const char *name;
    std::function<void()> before; // on the host, before the child runs
    std::function<void()> work;   // in the child, before the cut
    Files drop, tear, keep;
};

class MediumTest : public BoardTest {
protected:
    // The board again on this root, with `power_cut` set to `policy`.
    void restart(const std::string &policy)
    {
        testsupport::write_conf(root_, "power_cut = " + policy + "\n");
        sim::start(root_);
        ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    }
    std::string file(const char *path) const { return read_file(bd_path(path)); }

    template <size_t N> void run(const LossCase (&cases)[N])
    {
        for (const LossCase &c : cases) {
            for (const char *policy : {"drop", "tear", "keep"}) {
                SCOPED_TRACE(std::string(c.name) + ", " + policy);
                restart(policy);
                if (c.before)
                    c.before();
                ASSERT_TRUE(testsupport::run_until_cut(0, c.work));
                const Files &want = !strcmp(policy, "drop") ? c.drop : !strcmp(policy, "tear") ? c.tear : c.keep;
                for (const auto &kv : want) {
                    SCOPED_TRACE(kv.first);
                    EXPECT_TRUE(fs::exists(bd_path(kv.first)));
                    EXPECT_EQ(file(kv.first.c_str()), kv.second);
                }
            }
        }
    }
};

const std::string a1000 = bytes('A', 1000), b3000 = bytes('B', 3000), a4096 = bytes('A', 4096),
                  b4096 = bytes('B', 4096);
const char *const card = "/mnt/sdcard0/f.bin";

// One file: what it was given since its sync goes, or the last write tears.
TEST_F(MediumTest, APowerCutLosesWhatAFileWasNotGivenToItsMedium)
{
    const LossCase cases[] = {
        {"appended after a sync", nullptr,
         [&] { put(synced_file(card, a1000), b3000); },
         // torn: the write from 1000 keeps its sectors up to its middle, 2048
         {{card, a1000}}, {{card, a1000 + bytes('B', 1048)}}, {{card, a1000 + b3000}}},
        {"overwritten in place", nullptr,
         [&] { put_at(synced_file(card, a4096), 0, b4096); },
         {{card, a4096}}, {{card, bytes('B', 2048) + bytes('A', 2048)}}, {{card, b4096}}},
        {"overwritten twice, the second time further on", nullptr,
         [&] {
             int fd = synced_file(card, a4096);
             put_at(fd, 0, b4096);
             put_at(fd, 1024, bytes('C', 4096));
         },
         // torn: the first overwrite is on the card, the second up to 3072
         {{card, a4096}},
         {{card, bytes('B', 1024) + bytes('C', 2048) + bytes('B', 1024)}},
         {{card, bytes('B', 1024) + bytes('C', 4096)}}},
        {"truncated at its open", [&] { testsupport::write_file(bd_path(card), a1000); },
         [&] { put(open_new(card), "new"); }, {{card, ""}}, {{card, ""}}, {{card, "new"}}},
        {"synced", nullptr, [&] { synced_file(card, b3000); },
         {{card, b3000}}, {{card, b3000}}, {{card, b3000}}},
        {"closed on the card, not synced", nullptr,
         [&] {
             int fd = open_new(card);
             put(fd, b3000);
             bd_close(fd);
         },
         {{card, ""}}, {{card, bytes('B', 1024)}}, {{card, b3000}}},
        {"closed on the flash", nullptr,
         [&] {
             int fd = open_new("/dv/config/f.bin");
             put(fd, b3000);
             bd_close(fd);
         },
         {{"/dv/config/f.bin", b3000}}, {{"/dv/config/f.bin", b3000}}, {{"/dv/config/f.bin", b3000}}},
        {"cut short after its sync", nullptr,
         [&] { ASSERT_EQ(bd_ftruncate(synced_file(card, a4096), 1000), 0); },
         // torn: a size change is made whole or not at all
         {{card, a4096}}, {{card, a4096}}, {{card, a1000}}},
        {"overwritten, then cut short", nullptr,
         [&] {
             int fd = synced_file(card, a4096);
             put_at(fd, 0, b4096);
             ASSERT_EQ(bd_ftruncate(fd, 1024), 0);
         },
         {{card, a4096}}, {{card, b4096}}, {{card, bytes('B', 1024)}}},
        {"grown by a size change", nullptr,
         [&] { ASSERT_EQ(bd_ftruncate(synced_file(card, a1000), 3000), 0); },
         {{card, a1000}}, {{card, a1000}}, {{card, a1000 + bytes('\0', 2000)}}},
        {"written through a stream and closed, not synced", nullptr,
         [&] {
             FILE *f = bd_fopen(card, "w");
             ASSERT_NE(f, nullptr);
             fputs(b3000.c_str(), f);
             ASSERT_EQ(fclose(f), 0);
         },
         {{card, ""}}, {{card, bytes('B', 1024)}}, {{card, b3000}}},
        {"renamed before its sync: the name is there, the bytes are not", nullptr,
         [&] {
             int fd = open_new("/mnt/sdcard0/f.tmp");
             put(fd, b3000);
             bd_close(fd);
             bd_rename("/mnt/sdcard0/f.tmp", card);
         },
         {{card, ""}}, {{card, bytes('B', 1024)}}, {{card, b3000}}},
    };
    run(cases);
}

// Syncs of everything, the shell's copies, the last write among files, and
// mounts that write out earlier.
TEST_F(MediumTest, WhatTheWholeBoardSyncsOrItsMountSaysStays)
{
    const LossCase cases[] = {
        {"synced with everything else", nullptr,
         [&] {
             put(open_new(card), b3000);
             put(open_new("/dv/config/f.bin"), a1000);
             bd_sync();
         },
         {{card, b3000}, {"/dv/config/f.bin", a1000}}, {{card, b3000}, {"/dv/config/f.bin", a1000}},
         {{card, b3000}, {"/dv/config/f.bin", a1000}}},
        {"the last write of two files is the one torn", nullptr,
         [&] {
             put(open_new("/mnt/sdcard0/first.bin"), b3000);
             put(open_new(card), a4096);
         },
         {{"/mnt/sdcard0/first.bin", ""}, {card, ""}}, {{"/mnt/sdcard0/first.bin", ""}, {card, bytes('A', 2048)}},
         {{"/mnt/sdcard0/first.bin", b3000}, {card, a4096}}},
        {"copied by the shell, then synced by it", [&] { testsupport::write_file(bd_path("/dv/config/src"), b3000); },
         [&] {
             ASSERT_EQ(bd_system("cp -f /dv/config/src /mnt/sdcard0/copy"), 0);
             ASSERT_EQ(bd_system("cp -f /dv/config/src /mnt/sdcard0/synced"), 0);
             ASSERT_EQ(bd_system("sync"), 0);
             ASSERT_EQ(bd_system("cp -f /dv/config/src /mnt/sdcard0/copy"), 0);
         },
         {{"/mnt/sdcard0/copy", ""}, {"/mnt/sdcard0/synced", b3000}},
         {{"/mnt/sdcard0/copy", bytes('B', 1024)}, {"/mnt/sdcard0/synced", b3000}},
         {{"/mnt/sdcard0/copy", b3000}, {"/mnt/sdcard0/synced", b3000}}},
        {"a card mounted with flush writes out at close", nullptr,
         [&] {
             bd_umount("/mnt/sdcard0");
             bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, "flush");
             int fd = open_new(card);
             put(fd, b3000);
             bd_close(fd);
         },
         {{card, b3000}}, {{card, b3000}}, {{card, b3000}}},
        {"a card mounted synchronous writes out at once", nullptr,
         [&] {
             bd_umount("/mnt/sdcard0");
             bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8 | kSynchronous, "");
             put(open_new(card), b3000);
         },
         {{card, b3000}}, {{card, b3000}}, {{card, b3000}}},
    };
    run(cases);
}

// The armed cut comes right after the nth operation: the file's creation,
// each write, its sync, its close; a child that ends by itself loses nothing.
TEST_F(MediumTest, ACutAfterEachOperationLeavesWhatWasSyncedBeforeIt)
{
    const char *const card = "/mnt/sdcard0/f.bin";
    auto work = [&] {
        int fd = open_new(card); // 1
        put(fd, "abc");          // 2
        bd_fsync(fd);            // 3
        put(fd, "def");          // 4
        bd_close(fd);            // 5
    };
    struct Case {
        unsigned after;
        bool cut;
        const char *left;
        bool lost; // the cut took bytes, and says so
    } cases[] = {{1, true, "", false},    {2, true, "", true},     {3, true, "abc", false},
                 {4, true, "abc", true},  {5, true, "abc", true},  {6, false, "abcdef", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE("after operation " + std::to_string(c.after));
        restart("drop");
        EXPECT_EQ(testsupport::run_until_cut(c.after, work), c.cut);
        EXPECT_TRUE(fs::exists(bd_path(card)));
        EXPECT_EQ(file(card), c.left);
        EXPECT_EQ(testsupport::events("medium drop /mnt/sdcard0/f.bin").size(), c.lost ? 1u : 0u);
    }
}

// A pulled card takes with it what it had not synced; the flash keeps its files.
TEST_F(MediumTest, APulledCardLosesWhatItHadNotSynced)
{
    restart("drop");
    int synced = open_new("/mnt/sdcard0/synced.bin"), unsynced = open_new("/mnt/sdcard0/unsynced.bin");
    int flash = open_new("/dv/config/f.bin");
    put(synced, "kept");
    ASSERT_EQ(bd_fsync(synced), 0);
    put(synced, "lost");
    put(unsynced, "lost");
    put(flash, "stays");
    ASSERT_EQ(sim::control("card out"), "ok");
    EXPECT_EQ(file("/mnt/sdcard0/synced.bin"), "kept");
    EXPECT_EQ(file("/mnt/sdcard0/unsynced.bin"), "");
    EXPECT_EQ(file("/dv/config/f.bin"), "stays");
    for (int fd : {synced, unsynced, flash})
        EXPECT_EQ(bd_close(fd), 0);
}

} // namespace

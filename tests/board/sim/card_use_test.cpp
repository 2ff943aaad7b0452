// The card's free space, as statvfs and df report it, stays right through
// every kind of change, whoever makes it: each step below is followed by the
// space the card's files and folders take, counted here from the folder.
#include "board/sim/sim.h"
#include "tests/support/board_fixture.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kCluster = 32768;

// What the card's folder takes: each file rounded up to whole clusters, a
// cluster per folder below the card's root.
uint64_t walked(const std::string &dir)
{
    uint64_t used = 0;
    for (auto &e : fs::recursive_directory_iterator(dir)) {
        if (e.is_regular_file())
            used += (e.file_size() + kCluster - 1) / kCluster * kCluster;
        else
            used += kCluster;
    }
    return used;
}

struct Space {
    uint64_t total = 0, used = 0;
};

Space card_space()
{
    struct statvfs st;
    EXPECT_EQ(bd_statvfs("/mnt/sdcard0", &st), 0);
    Space s;
    s.total = (uint64_t)st.f_blocks * st.f_frsize;
    s.used = s.total - (uint64_t)st.f_bavail * st.f_frsize;
    return s;
}

void write_through_board(const char *path, size_t size, int flags = O_TRUNC)
{
    int fd = bd_open(path, O_WRONLY | O_CREAT | flags, 0644);
    ASSERT_GE(fd, 0) << path;
    std::string data(size, 'x');
    EXPECT_EQ(bd_write(fd, data.data(), data.size()), (ssize_t)data.size());
    EXPECT_EQ(bd_close(fd), 0);
}

class CardUseTest : public BoardTest {
protected:
    std::string host(const std::string &path) const { return bd_path(path); }
};

TEST_F(CardUseTest, FreeSpaceFollowsEveryChange)
{
    testsupport::write_file(host("/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"), std::string(70000, 'p'));
    fs::create_directories(host("/mnt/sdcard0/MOVIE"));
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    struct Step {
        const char *name;
        std::function<void()> change;
        long card_mb; // the card's size afterwards
    };
    const Step steps[] = {
        {"at the mount", [] {}, 4096},
        {"a movie written through the board", [] { write_through_board("/mnt/sdcard0/MOVIE/a.mp4", 100000); },
         4096},
        {"appended to", [] { write_through_board("/mnt/sdcard0/MOVIE/a.mp4", 70000, O_APPEND); }, 4096},
        {"truncated", [&] { ASSERT_EQ(truncate(host("/mnt/sdcard0/MOVIE/a.mp4").c_str(), 10), 0); }, 4096},
        {"a folder made by the firmware", [&] { ASSERT_EQ(mkdir(host("/mnt/sdcard0/DCIM").c_str(), 0775), 0); }, 4096},
        {"written by a computer on the USB disk",
         [&] { testsupport::write_file(host("/mnt/sdcard0/DCIM/x.jpg"), std::string(40000, 'c')); }, 4096},
        {"renamed into another folder",
         [&] { fs::rename(host("/mnt/sdcard0/DCIM/x.jpg"), host("/mnt/sdcard0/MOVIE/x.jpg")); }, 4096},
        {"a folder renamed with its files",
         [&] { fs::rename(host("/mnt/sdcard0/PHOTO/KR100"), host("/mnt/sdcard0/DCIM/KR100")); }, 4096},
        {"a file made in the renamed folder",
         [&] { testsupport::write_file(host("/mnt/sdcard0/DCIM/KR100/b.jpg"), std::string(33000, 'b')); }, 4096},
        {"folders made by the shell", [] { ASSERT_EQ(bd_system("mkdir -p /mnt/sdcard0/A/B/C"), 0); }, 4096},
        {"a file in a new folder", [&] { testsupport::write_file(host("/mnt/sdcard0/A/B/C/d"), "d"); }, 4096},
        {"a copy by the shell", [] { ASSERT_EQ(bd_system("cp /mnt/sdcard0/A/B/C/d /mnt/sdcard0/A/e"), 0); }, 4096},
        {"a file removed", [&] { ASSERT_EQ(remove(host("/mnt/sdcard0/MOVIE/x.jpg").c_str()), 0); }, 4096},
        {"a folder removed with what it holds", [] { ASSERT_EQ(bd_system("rm -rf /mnt/sdcard0/A"), 0); }, 4096},
        {"more files at once than the kernel queues notices for",
         [&] {
             fs::create_directories(host("/mnt/sdcard0/MANY"));
             for (int i = 0; i < 20000; i++)
                 close(open(host("/mnt/sdcard0/MANY/" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644));
         },
         4096},
        {"the card's size changed", [] { ASSERT_EQ(sim::control("card_mb 1024"), "ok"); }, 1024},
        {"out, changed meanwhile, in and mounted again",
         [&] {
             ASSERT_EQ(sim::control("card out"), "ok");
             fs::remove_all(host("/mnt/sdcard0/MANY"));
             testsupport::write_file(host("/mnt/sdcard0/new.bin"), std::string(99999, 'n'));
             ASSERT_EQ(sim::control("card in"), "ok");
             ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
         },
         1024},
        {"formatted", [] { ASSERT_EQ(bd_system("mkfs.vfat /dev/mmcblk0p1"), 0); }, 1024},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        s.change();
        Space space = card_space();
        EXPECT_EQ(space.total, (uint64_t)s.card_mb << 20);
        EXPECT_EQ(space.used, walked(host("/mnt/sdcard0")));
    }
    EXPECT_EQ(card_space().used, 0u);
}

} // namespace

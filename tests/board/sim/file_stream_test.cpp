// bd_fopen: a stdio stream on a board file takes fopen's modes as fopen
// does (creating, truncating, appending, refusing what it must), and reads,
// writes and seeks the file through the board.
#include "tests/support/board_fixture.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

using testsupport::read_file;
using testsupport::write_file;

namespace {

const char *const kFile = "/mnt/sdcard0/stream.txt";

class FileStreamTest : public BoardTest {};

TEST_F(FileStreamTest, ModesActAsFopensDo)
{
    struct Case {
        const char *name;
        const char *mode;
        const char *before;                // the file beforehand; null: none
        std::function<void(FILE *)> work; // on the open stream
        const char *after;                 // the file afterwards; null: none
        int err;                           // errno of a refused open
    } cases[] = {
        {"w makes a file", "w", nullptr, [](FILE *f) { fputs("new", f); }, "new", 0},
        {"w empties a file", "wb", "old text", [](FILE *f) { fputs("new", f); }, "new", 0},
        {"a appends", "a", "old", [](FILE *f) { fputs("+new", f); }, "old+new", 0},
        {"a appends after a seek too", "a+", "old",
         [](FILE *f) {
             fseek(f, 0, SEEK_SET);
             fputs("+new", f);
         },
         "old+new", 0},
        {"r reads from the start", "r", "old text",
         [](FILE *f) {
             char word[4] = {};
             EXPECT_EQ(fread(word, 1, 3, f), 3u);
             EXPECT_STREQ(word, "old");
             EXPECT_EQ(ftell(f), 3);
         },
         "old text", 0},
        {"r+ writes over in place", "r+", "old text",
         [](FILE *f) {
             fseek(f, 4, SEEK_SET);
             fputs("TEXT", f);
             fseek(f, 0, SEEK_END);
             EXPECT_EQ(ftell(f), 8);
         },
         "old TEXT", 0},
        {"w+ reads back what it wrote", "w+", nullptr,
         [](FILE *f) {
             fputs("written", f);
             rewind(f);
             char word[8] = {};
             EXPECT_EQ(fread(word, 1, 7, f), 7u);
             EXPECT_STREQ(word, "written");
         },
         "written", 0},
        {"r cannot write", "r", "old",
         [](FILE *f) { EXPECT_EQ(fputs("new", f), EOF); },
         "old", 0},
        {"r finds no file", "r", nullptr, nullptr, nullptr, ENOENT},
        {"x refuses a file that is there", "wx", "old", nullptr, "old", EEXIST},
        {"an unknown mode", "q", "old", nullptr, "old", EINVAL},
        {"an unknown flag", "wz", "old", nullptr, "old", EINVAL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(bd_path(kFile).c_str());
        if (c.before)
            write_file(bd_path(kFile), c.before);
        errno = 0;
        FILE *f = bd_fopen(kFile, c.mode);
        if (c.err) {
            EXPECT_EQ(f, nullptr);
            EXPECT_EQ(errno, c.err);
        } else {
            ASSERT_NE(f, nullptr);
            c.work(f);
            fclose(f);
        }
        if (c.after)
            EXPECT_EQ(read_file(bd_path(kFile)), c.after);
        else
            EXPECT_FALSE(std::filesystem::exists(bd_path(kFile)));
    }
    EXPECT_EQ(bd_fopen(nullptr, "r"), nullptr);
    EXPECT_EQ(bd_fopen(kFile, nullptr), nullptr);
}

// A stream on a pulled card fails as its descriptor does.
TEST_F(FileStreamTest, AStreamOnAPulledCardFails)
{
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    FILE *f = bd_fopen(kFile, "w");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(sim::control("card out"), "ok");
    fputs("lost", f);
    EXPECT_NE(fflush(f), 0);
    EXPECT_TRUE(ferror(f));
    fclose(f);
}

} // namespace

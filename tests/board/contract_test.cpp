// The simulated board's control contract, as tests and tools rely on it:
// board.conf, board.sock through camctl, events.log, the card and the shell.
#include <gmock/gmock.h>

#include "tests/support/board_fixture.h"
#include "tools/board_client.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testing::HasSubstr;
using testsupport::events;
using testsupport::read_file;

namespace {

struct Result {
    int status;
    std::string out;
};

// Runs the camctl tool against this test's board.
Result camctl(const std::string &root, const std::string &args)
{
    const char *bin = getenv("CAMERA_BIN_DIR");
    std::string cmd = std::string(bin ? bin : ".") + "/camctl -r '" + root + "' " + args + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    Result r{-1, ""};
    if (!p)
        return r;
    char buf[256];
    while (fgets(buf, sizeof buf, p))
        r.out += buf;
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

class ContractTest : public BoardTest {};

TEST_F(ContractTest, CamctlCommandsChangeTheSurroundings)
{
    struct Case {
        const char *cmd;
        int status;
        const char *answer;
        bool (*check)(const sim::World &);
    } cases[] = {
        {"key rec press", 0, "ok", [](const sim::World &w) { return w.key_rec; }},
        {"key rec release", 0, "ok", [](const sim::World &w) { return !w.key_rec; }},
        {"key mode tap", 0, "ok", [](const sim::World &w) { return !w.key_mode; }},
        {"key power hold 0.1", 0, "ok", [](const sim::World &w) { return !w.key_power; }},
        {"tv in", 0, "ok", [](const sim::World &w) { return w.tv; }},
        {"usb host", 0, "ok", [](const sim::World &w) { return w.usb == sim::Usb::host; }},
        {"usb charger", 0, "ok", [](const sim::World &w) { return w.usb == sim::Usb::charger; }},
        {"battery 600", 0, "ok", [](const sim::World &w) { return w.battery == 600; }},
        {"card_mb 100", 0, "ok", [](const sim::World &w) { return w.card_mb == 100; }},
        {"scene brightness 0.5", 0, "ok", [](const sim::World &w) { return w.scene_brightness == 0.5; }},
        {"scene brightness 100000", 0, "ok", [](const sim::World &w) { return w.scene_brightness == 100000; }},
        {"scene brightness 100001", 1, "error: ", [](const sim::World &w) { return w.scene_brightness == 100000; }},
        {"scene kelvin 3200", 0, "ok", [](const sim::World &w) { return w.scene_kelvin == 3200; }},
        {"scene motion on", 0, "ok", [](const sim::World &w) { return w.scene_motion; }},
        {"scene haze 0.4", 0, "ok", [](const sim::World &w) { return w.scene_haze == 0.4; }},
        {"scene haze 1.5", 1, "error: ", [](const sim::World &w) { return w.scene_haze == 0.4; }},
        {"scene haze nan", 1, "error: ", [](const sim::World &w) { return w.scene_haze == 0.4; }},
        {"key flash press", 1, "error: ", nullptr},
        {"key rec hold", 1, "error: ", nullptr},
        {"battery lots", 1, "error: ", nullptr},
        {"usb maybe", 1, "error: ", nullptr},
        {"scene brightness -1", 1, "error: ", nullptr},
        {"launch rockets", 1, "error: unknown command", nullptr},
        // Numbers are whole decimal words.
        {"key rec hold nan", 1, "error: ", nullptr},
        {"key rec hold inf", 1, "error: ", nullptr},
        {"scene brightness nan", 1, "error: ", nullptr},
        {"scene brightness 0x1p-1", 1, "error: ", nullptr},
        {"battery 700junk", 1, "error: ", nullptr},
        {"battery 0x2c0", 1, "error: ", nullptr},
        {"battery 7e2", 1, "error: ", nullptr},
        {"battery +720", 1, "error: ", nullptr},
        {"key rec hold 1e-300", 1, "error: ", nullptr},
        {"card_mb 64.5", 1, "error: ", nullptr},
        {"power on", 1, "error: ", nullptr},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.cmd);
        Result r = camctl(root_, c.cmd);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.compare(0, strlen(c.answer), c.answer), 0) << r.out;
        if (c.check) {
            EXPECT_TRUE(c.check(sim::world()));
        }
    }
    EXPECT_EQ(events("control key rec press").size(), 1u);
}

// A NUL byte inside a number is trailing garbage too: the line goes over the
// socket as it is, NUL and all.
TEST_F(ContractTest, ANumberWithANulByteIsRefused)
{
    const std::string line("battery 700\0junk", 16);
    EXPECT_EQ(board_client::command(root_, line).compare(0, 7, "error: "), 0);
    EXPECT_EQ(sim::world().battery, 720);
    EXPECT_EQ(sim::control("battery 700"), "ok");
    EXPECT_EQ(sim::world().battery, 700);
}

// The battery pulled: the board logs the cut, answers, and the camera's
// process is gone at once, killed, without the power-off or anything flushed.
TEST_F(ContractTest, PowerCutKillsTheProcessAtOnce)
{
    const char *bin = getenv("CAMERA_BIN_DIR");
    std::string camera = std::string(bin ? bin : ".") + "/camera", root = testsupport::fresh_root("cut");
    ASSERT_EQ(access(camera.c_str(), X_OK), 0) << camera;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        setenv("BOARD_ROOT", root.c_str(), 1);
        execl(camera.c_str(), camera.c_str(), (char *)nullptr);
        _exit(127);
    }
    ASSERT_TRUE(testsupport::wait_until([&] { return read_file(root + "/events.log").find("gpio") != std::string::npos; }));
    EXPECT_EQ(board_client::command(root, "power cut"), "ok");
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::string log = read_file(root + "/events.log");
    EXPECT_THAT(log, HasSubstr("control power cut\n"));
    EXPECT_THAT(log, HasSubstr(" power cut\n"));
    EXPECT_THAT(log, testing::Not(HasSubstr("power off")));
}

// A file open on the card goes with it: reads and writes fail once it is
// pulled, also after a card is back; a path on an empty slot can't be opened.
TEST_F(ContractTest, FilesOpenOnAPulledCardFail)
{
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    int fd = bd_open("/mnt/sdcard0/a.bin", O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(bd_write(fd, "abcd", 4), 4);
    EXPECT_EQ(bd_fsync(fd), 0);
    EXPECT_EQ(bd_lseek(fd, 0, SEEK_SET), 0);
    int flash = bd_open("/dv/config/x.bin", O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(flash, 0);

    EXPECT_EQ(sim::control("card out"), "ok");
    char buf[4];
    EXPECT_EQ(bd_write(fd, "efgh", 4), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(bd_read(fd, buf, 4), -1);
    EXPECT_EQ(bd_lseek(fd, 0, SEEK_SET), -1);
    EXPECT_EQ(bd_fsync(fd), -1);
    EXPECT_EQ(bd_open("/mnt/sdcard0/b.bin", O_WRONLY | O_CREAT, 0644), -1);
    EXPECT_EQ(bd_write(flash, "ok", 2), 2); // the flash stays

    EXPECT_EQ(sim::control("card in"), "ok");
    EXPECT_EQ(bd_write(fd, "efgh", 4), -1);
    EXPECT_EQ(bd_close(fd), 0);
    EXPECT_EQ(read_file(bd_path("/mnt/sdcard0/a.bin")), "abcd"); // what reached the card stays
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    fd = bd_open("/mnt/sdcard0/a.bin", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(bd_read(fd, buf, 4), 4);
    EXPECT_EQ(bd_close(fd), 0);
    EXPECT_EQ(bd_close(flash), 0);
}

TEST_F(ContractTest, StatusReportsTheBoard)
{
    sim::control("battery 650");
    sim::control("tv in");
    Result r = camctl(root_, "status");
    EXPECT_EQ(r.status, 0);
    // The card is in but not mounted: no free space to report yet.
    EXPECT_EQ(r.out, "leds=0000 power=on usb=none tv=1 card=1 battery=650 card_free_kb=0 iris=none iris_stops=0.00\n");
}

TEST_F(ContractTest, WaitFindsAnEventOrTimesOut)
{
    std::thread later([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sim::event("gpio", "10_0 1");
    });
    Result found = camctl(root_, "wait 'gpio 10_0 1' 10");
    later.join();
    EXPECT_EQ(found.status, 0);
    EXPECT_THAT(found.out, HasSubstr("gpio 10_0 1"));

    Result missing = camctl(root_, "wait 'never seen' 0.2");
    EXPECT_EQ(missing.status, 1);
}

TEST_F(ContractTest, NoBoardIsAnError)
{
    Result r = camctl(root_ + "/nowhere", "status");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("no board"));
}

class ConfTest : public BoardTest {
protected:
    ConfTest() { conf_ = "# a camera with no card, a low battery and both keys held\n"
                         "card = 0\nbattery = 500\nhold = rec+mode\nusb = charger\ntv = 1\n"
                         "card_mb = 64\nscene.haze = 0.25\nbogus line\n"; }
};

TEST_F(ConfTest, BoardConfSetsThePowerOnState)
{
    sim::World w = sim::world();
    EXPECT_FALSE(w.card);
    EXPECT_EQ(w.battery, 500);
    EXPECT_TRUE(w.key_rec);
    EXPECT_TRUE(w.key_mode);
    EXPECT_EQ(w.usb, sim::Usb::charger);
    EXPECT_TRUE(w.tv);
    EXPECT_EQ(w.card_mb, 64);
    EXPECT_EQ(w.scene_haze, 0.25);
    // No card: the detect register reads 1 and no partition is listed.
    EXPECT_EQ(*sim::phys(0x206F0050), 1);
    EXPECT_THAT(read_file(bd_path("/proc/partitions")), testing::Not(HasSubstr("mmcblk0p1")));
}

// board.conf takes a setting as its control command does, and every other
// key by its own check: a line refused is said in events.log and on standard
// error with its number, its text and why, and the setting keeps its default.
TEST_F(ContractTest, BoardConfRefusesWhatItsCommandRefuses)
{
    using W = const sim::World &;
    struct Case {
        std::string line;
        const char *command; // the same value through the control channel; null: none takes it so
        bool refused;
        bool (*check)(W); // the setting afterwards
        const char *said = nullptr; // the line as told, where it is not shown as it stands
    } cases[] = {
        {"card_mb = -1", "card_mb -1", true, [](W w) { return w.card_mb == 4096; }},
        {"card_mb = 0", "card_mb 0", true, [](W w) { return w.card_mb == 4096; }},
        {"card_mb = 1048577", "card_mb 1048577", true, [](W w) { return w.card_mb == 4096; }},
        {"card_mb = 64.5", "card_mb 64.5", true, [](W w) { return w.card_mb == 4096; }},
        {"card_mb = 1048576", "card_mb 1048576", false, [](W w) { return w.card_mb == 1048576; }},
        {"battery = -1", "battery -1", true, [](W w) { return w.battery == 720; }},
        {"battery = 65536", "battery 65536", true, [](W w) { return w.battery == 720; }},
        {"battery = 0x2c0", "battery 0x2c0", true, [](W w) { return w.battery == 720; }},
        {"battery = 700junk", "battery 700junk", true, [](W w) { return w.battery == 720; }},
        {"battery = 0", "battery 0", false, [](W w) { return w.battery == 0; }},
        {"card = 2", nullptr, true, [](W w) { return w.card; }},
        {"card = out", nullptr, true, [](W w) { return w.card; }},
        {"tv = yes", nullptr, true, [](W w) { return !w.tv; }},
        {"usb = maybe", "usb maybe", true, [](W w) { return w.usb == sim::Usb::none; }},
        {"hold = power", nullptr, true, [](W w) { return !w.key_rec && !w.key_mode; }},
        {"hold = mode", nullptr, false, [](W w) { return !w.key_rec && w.key_mode; }},
        {"scene.brightness = nan", "scene brightness nan", true, [](W w) { return w.scene_brightness == 1.0; }},
        {"scene.brightness = inf", "scene brightness inf", true, [](W w) { return w.scene_brightness == 1.0; }},
        {"scene.brightness = -5", "scene brightness -5", true, [](W w) { return w.scene_brightness == 1.0; }},
        {"scene.brightness = 100001", "scene brightness 100001", true,
         [](W w) { return w.scene_brightness == 1.0; }},
        {"scene.brightness = 100000", "scene brightness 100000", false,
         [](W w) { return w.scene_brightness == 100000; }},
        {"scene.kelvin = 999", "scene kelvin 999", true, [](W w) { return w.scene_kelvin == 5500; }},
        {"scene.kelvin = 3200.5", "scene kelvin 3200.5", true, [](W w) { return w.scene_kelvin == 5500; }},
        {"scene.motion = yes", "scene motion yes", true, [](W w) { return !w.scene_motion; }},
        {"scene.pattern = gray", "scene pattern gray", true, [](W w) { return !w.scene_grey; }},
        {"scene.haze = 1.5", "scene haze 1.5", true, [](W w) { return w.scene_haze == 0; }},
        {"scene.haze = -0.1", "scene haze -0.1", true, [](W w) { return w.scene_haze == 0; }},
        {"scene.haze = 1", "scene haze 1", false, [](W w) { return w.scene_haze == 1; }},
        {"a line without its value", nullptr, true, nullptr},
        // Numbers are plain decimal words: no plus, no exponent.
        {"battery = +720", "battery +720", true, [](W w) { return w.battery == 720; }},
        {"scene.brightness = 1e2", "scene brightness 1e2", true, [](W w) { return w.scene_brightness == 1.0; }},
        {"audio = tone 1e3", "audio tone 1e3", true, nullptr},
        {"audio = tone 440", "audio tone 440", false, nullptr},
        {"audio.echo = 0.5 2000", "audio echo 0.5 2000", true, nullptr},
        // Keys no command shares, each by its own check.
        {"batery = 5", nullptr, true, [](W w) { return w.battery == 720; }},
        {"battery =", nullptr, true, [](W w) { return w.battery == 720; }},
        {"= 5", nullptr, true, nullptr},
        {"power_cut = Keep", nullptr, true, nullptr},
        {"power_cut = sideways", nullptr, true, nullptr},
        {"power_cut = tear", nullptr, false, nullptr},
        {"rtc = garbage", nullptr, true, nullptr},
        {"rtc = 2099/13/40-25:61:61", nullptr, true, nullptr},
        {"rtc = 2099/12/31-23:59:59", nullptr, false, nullptr},
        {"flash_mb = 0", nullptr, true, nullptr},
        {"flash_mb = -1", nullptr, true, nullptr},
        {"flash_mb = 0x10", nullptr, true, nullptr},
        {"flash_mb = 99999999999", nullptr, true, nullptr},
        {"sensor.hot_pixels = 4096", nullptr, true, nullptr},
        {"sensor.hot_pixels = 4095", nullptr, false, nullptr},
        {"iris.pwm = -3", nullptr, true, nullptr},
        {"vb_refuse = 0x12x", nullptr, true, nullptr},
        {"vb_refuse = 0xC03C460D", nullptr, false, nullptr},
        // A NUL byte is shown, not taken as the line's end.
        {std::string("battery = 7\0" "20", 14), nullptr, true, [](W w) { return w.battery == 720; },
         "battery = 7\\x0020"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.said ? c.said : c.line);
        testsupport::write_conf(root_, "# the camera's surroundings\n" + c.line + "\n");
        const std::string err = testsupport::capture_stderr([&] { sim::start(root_); });
        const std::string said = "board.conf line 2 '" + (c.said ? c.said : c.line) + "' refused: ";
        EXPECT_EQ(events(said).size(), c.refused ? 1u : 0u);
        EXPECT_EQ(err.find(said) != std::string::npos, c.refused) << err;
        // A refused line leaves its key at the default; a taken one gives it.
        const size_t eq = c.line.find('=');
        if (eq != std::string::npos) {
            auto trim = [](std::string t) {
                t.erase(0, t.find_first_not_of(' '));
                return t.erase(t.find_last_not_of(' ') + 1);
            };
            EXPECT_EQ(sim::conf(trim(c.line.substr(0, eq)), ""), c.refused ? "" : trim(c.line.substr(eq + 1)));
        }
        if (c.check) {
            EXPECT_TRUE(c.check(sim::world()));
        }
        if (c.command) {
            sim::start(root_);
            EXPECT_EQ(sim::control(c.command).compare(0, 7, "error: ") == 0, c.refused);
            if (c.check) {
                EXPECT_TRUE(c.check(sim::world()));
            }
        }
    }
}

// A byte-order mark an editor wrote is skipped; a key given twice is told,
// with which line holds, and a refused later value keeps the earlier one.
TEST_F(ContractTest, BoardConfSkipsAByteOrderMarkAndTellsAKeyGivenTwice)
{
    testsupport::write_conf(root_, "\xEF\xBB\xBF" "battery = 500\nbattery = 600\nbattery = 7x\ncard_mb = 64\n");
    const std::string err = testsupport::capture_stderr([&] { sim::start(root_); });
    for (const char *said : {"board.conf line 1 'battery = 500' replaced: battery is given again on line 2, which holds",
                             "board.conf line 3 'battery = 7x' refused: battery must be a whole number from 0 to "
                             "65535; line 2's value kept"}) {
        EXPECT_EQ(events(said).size(), 1u) << said;
        EXPECT_NE(err.find(said), std::string::npos) << err;
    }
    EXPECT_EQ(events("board.conf line").size(), 2u);
    EXPECT_EQ(sim::world().battery, 600);
    EXPECT_EQ(sim::world().card_mb, 64);
}

TEST_F(ContractTest, CardInsertionShowsInRegistersAndPartitions)
{
    EXPECT_EQ(*sim::phys(0x206F0050), 0);
    EXPECT_THAT(read_file(bd_path("/proc/partitions")), HasSubstr(" 179        1 "));
    EXPECT_EQ(sim::control("card out"), "ok");
    EXPECT_EQ(*sim::phys(0x206F0050), 1);
    EXPECT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), -1);
    EXPECT_EQ(sim::control("card in"), "ok");
    EXPECT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    // Mounting twice is busy, as the kernel says.
    EXPECT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(bd_umount("/mnt/sdcard0"), 0);
    EXPECT_EQ(bd_umount("/mnt/sdcard0"), -1);
}

// The flash partition where updates land has a size of its own.
TEST_F(ContractTest, FlashSpaceFollowsItsContents)
{
    struct statvfs st;
    ASSERT_EQ(bd_statvfs("/mnt/data_flash", &st), 0);
    EXPECT_EQ((uint64_t)st.f_blocks * st.f_frsize, 16u << 20); // flash_mb's default
    uint64_t before = (uint64_t)st.f_bavail * st.f_frsize;
    testsupport::write_file(bd_path("/mnt/data_flash/image"), std::string(1 << 20, 'x'));
    ASSERT_EQ(bd_statvfs("/mnt/data_flash/", &st), 0);
    EXPECT_EQ(before - (uint64_t)st.f_bavail * st.f_frsize, 1u << 20);
}

class FlashConfTest : public BoardTest {
protected:
    FlashConfTest() { conf_ = "flash_mb = 4\n"; }
};

TEST_F(FlashConfTest, FlashSizeFromBoardConf)
{
    struct statvfs st;
    ASSERT_EQ(bd_statvfs("/mnt/data_flash", &st), 0);
    EXPECT_EQ((uint64_t)st.f_blocks * st.f_frsize, 4u << 20);
}

TEST_F(ContractTest, CardFreeSpaceFollowsItsContents)
{
    sim::control("card_mb 16");
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    struct statvfs st;
    ASSERT_EQ(bd_statvfs("/mnt/sdcard0", &st), 0);
    uint64_t before = (uint64_t)st.f_bavail * st.f_frsize;
    EXPECT_EQ((uint64_t)st.f_blocks * st.f_frsize, 16u << 20);
    testsupport::write_file(bd_path("/mnt/sdcard0/MOVIE/a.mp4"), std::string(1 << 20, 'x'));
    ASSERT_EQ(bd_statvfs("/mnt/sdcard0/MOVIE", &st), 0);
    uint64_t after = (uint64_t)st.f_bavail * st.f_frsize;
    EXPECT_GE(before - after, 1u << 20);

    // df reports the same free space in 1 KiB blocks.
    ASSERT_EQ(bd_system("df -a > /mnt/diskused.bat"), 0);
    std::string df = read_file(bd_path("/mnt/diskused.bat"));
    char fsname[64], mount[64], use[16];
    unsigned long size = 0, used = 0, avail = 0;
    const char *line = strstr(df.c_str(), "/dev/mmcblk0p1");
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(sscanf(line, "%63s %lu %lu %lu %15s %63s", fsname, &size, &used, &avail, use, mount), 6);
    EXPECT_EQ(avail * 1024, after);
    EXPECT_STREQ(mount, "/mnt/sdcard0");
}

TEST_F(ContractTest, PathsStayInsideTheRoot)
{
    struct Case {
        const char *path;
        std::string want;
    } cases[] = {
        {"/mnt/sdcard0/MOVIE", root_ + "/mnt/sdcard0/MOVIE"},
        {"/dv/config/../config/DvConfigs.bin", root_ + "/dv/config/DvConfigs.bin"},
        {"/../../etc/passwd", root_ + "/etc/passwd"},
        {"relative/../../x", root_ + "/x"},
        {"/mnt/sdcard0/syscfg/", root_ + "/mnt/sdcard0/syscfg/"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(bd_path(c.path), c.want);
    }
}

TEST_F(ContractTest, ShellRunsTheFirmwaresCommands)
{
    testsupport::write_file(bd_path("/dv/config/DvConfigs.bin"), "cfg");
    struct Case {
        const char *cmd;
        int status;
        std::function<bool()> check;
    } cases[] = {
        {"mkdir /mnt/sdcard0/syscfg", 0, [] { return fs::is_directory(bd_path("/mnt/sdcard0/syscfg")); }},
        {"cp -f /dv/config/DvConfigs.bin /mnt/sdcard0/syscfg/DvConfigs.bin", 0,
         [] { return read_file(bd_path("/mnt/sdcard0/syscfg/DvConfigs.bin")) == "cfg"; }},
        {"chmod 777 /mnt/sdcard0/syscfg/DvConfigs.bin", 0,
         [] {
             return (fs::status(bd_path("/mnt/sdcard0/syscfg/DvConfigs.bin")).permissions() & fs::perms::all) ==
                    fs::perms::all;
         }},
        {"ls -l -a /mnt/sdcard0/syscfg/ > /mnt/cfg.bat", 0,
         [] {
             // Nine fields a line, the name last.
             std::string out = read_file(bd_path("/mnt/cfg.bat"));
             char f[9][128];
             const char *line = strstr(out.c_str(), "DvConfigs.bin");
             while (line > out.c_str() && line[-1] != '\n')
                 --line;
             return sscanf(line, "%127s %127s %127s %127s %127s %127s%127s %127s %127s", f[0], f[1], f[2], f[3],
                           f[4], f[5], f[6], f[7], f[8]) == 9 &&
                    strcmp(f[8], "DvConfigs.bin") == 0 && out.find(" .\n") != std::string::npos;
         }},
        {"mv /mnt/sdcard0/syscfg/DvConfigs.bin /mnt/sdcard0/moved.bin", 0,
         [] { return fs::exists(bd_path("/mnt/sdcard0/moved.bin")); }},
        {"rm -f /mnt/sdcard0/nothing", 0, nullptr},
        {"rm /mnt/sdcard0/nothing", 1 << 8, nullptr},
        {"rm -rf /mnt/sdcard0/syscfg", 0, [] { return !fs::exists(bd_path("/mnt/sdcard0/syscfg")); }},
        {"dumm 0x20120078 0x800311a0", 0, [] { return sim::phys_read32(0x20120078) == 0x800311a0u; }},
        {"dumm 0x20120078", 1 << 8, nullptr},
        {"insmod /mpp/dwc_otg.ko", 0, [] { return sim::module_loaded("dwc_otg"); }},
        {"rmmod  dwc_otg", 0, [] { return !sim::module_loaded("dwc_otg"); }},
        {"rmmod  dwc_otg", 1 << 8, nullptr},
        {"sync", 0, nullptr},
        {"fdisk /dev/mmcblk0p1", 127 << 8, nullptr},
        {"mkfs.vfat /dev/mmcblk0p1", 0, [] { return fs::is_empty(bd_path("/mnt/sdcard0")); }},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.cmd);
        int st = 0;
        testsupport::capture_stderr([&] { testsupport::capture_stdout([&] { st = bd_system(c.cmd); }); });
        EXPECT_EQ(st, c.status);
        if (c.check) {
            EXPECT_TRUE(c.check());
        }
        EXPECT_FALSE(events(std::string("shell ") + c.cmd).empty());
    }
    EXPECT_EQ(events("fdisk: not found (127)").size(), 1u);
}

TEST_F(ContractTest, ComputerAnnouncesItselfOnceTheGadgetIsLoaded)
{
    int fd = bd_socket(AF_NETLINK, SOCK_DGRAM, 15);
    ASSERT_GE(fd, 0);
    struct sockaddr_nl {
        sa_family_t family;
        unsigned short pad;
        uint32_t pid, groups;
    } addr = {AF_NETLINK, 0, 0, 0xF};
    ASSERT_EQ(bd_bind(fd, (struct sockaddr *)&addr, sizeof addr), 0);
    EXPECT_EQ(sim::control("usb host"), "ok");
    EXPECT_EQ(sim::phys_read32(0x10080808) & 0xC00000, 0u);
    testsupport::capture_stdout([] { bd_system("insmod /mpp/g_file_storage.ko file=/dev/mmcblk0p1"); });
    char buf[256];
    ssize_t n = bd_recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    ASSERT_GT(n, 100);
    EXPECT_EQ(std::string(buf, 51), "online@/devices/platform/dwc_otg/gadget/gadget-lun0");
    bd_close(fd);
}

TEST_F(ContractTest, ClockMovesOnlyOnTheBoard)
{
    struct timeval tv = {1000000000, 0};
    ASSERT_EQ(bd_settimeofday(&tv), 0);
    EXPECT_LT(std::labs(bd_time(nullptr) - 1000000000), 5);
    EXPECT_GT(time(nullptr), 1600000000);
    EXPECT_EQ(events("clock set 1000000000").size(), 1u);
}

TEST_F(ContractTest, UnknownDevicesAndRequestsAreRefused)
{
    EXPECT_EQ(bd_open("/dev/nothing", O_RDWR), -1);
    int fd = bd_open("/dev/du_rtc", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(bd_ioctl(fd, 0x12345678, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    // A bad record address is refused, not followed.
    EXPECT_EQ(bd_ioctl(fd, 0x801C7009, (void *)16), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(bd_close(fd), 0);
}

} // namespace

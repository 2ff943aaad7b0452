// camrun, the driver behind `make run`: without a terminal it records a few
// seconds in record mode 1, powers off and describes the file; on a terminal
// single keys drive the camera and one status line follows it.
#include "tests/e2e/e2e_support.h"

#include <poll.h>

using namespace e2e;

namespace {

// Runs camrun on `root` with its standard input and output on `in` and
// `out`; its pid.
pid_t spawn_camrun(const std::string &root, int in, int out, const char *seconds)
{
    std::string camrun = bin_dir() + "/camrun";
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        execl(camrun.c_str(), camrun.c_str(), "-r", root.c_str(), "-s", seconds, (char *)nullptr);
        _exit(127);
    }
    return pid;
}

int wait_exit(pid_t pid, double seconds)
{
    int status = -1;
    auto end = Clock::now() + std::chrono::milliseconds((long)(seconds * 1000));
    while (Clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

TEST(Camrun, WithoutATerminalRecordsAndDescribesTheFile)
{
    std::string root = testsupport::fresh_root("camrun_batch");
    std::string log = root + ".out";
    int in = open("/dev/null", O_RDONLY), out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = spawn_camrun(root, in, out, "2");
    close(in);
    close(out);
    EXPECT_EQ(0, wait_exit(pid, 90));
    std::string text = testsupport::read_file(log);
    EXPECT_NE(std::string::npos, text.find("the camera powered off")) << text;
    EXPECT_NE(std::string::npos, text.find("KORVAN0000001.mp4: h264 1920x1080 60 fps + aac")) << text;
}

// Reads what the terminal shows until `text` appears.
bool read_until(int master, std::string &seen, const std::string &text, double seconds)
{
    auto end = Clock::now() + std::chrono::milliseconds((long)(seconds * 1000));
    while (seen.find(text) == std::string::npos) {
        if (Clock::now() > end)
            return false;
        pollfd p = {master, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buf[4096];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0)
                return false;
            seen.append(buf, (size_t)n);
        }
    }
    return true;
}

TEST(Camrun, OnATerminalKeysDriveTheCamera)
{
    std::string root = testsupport::fresh_root("camrun_keys");
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    pid_t pid = spawn_camrun(root, slave, slave, "4");
    close(slave);

    std::string seen;
    ASSERT_TRUE(read_until(master, seen, "[record 1]", 60)) << seen;
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the keys come on
    seen.clear();
    ASSERT_EQ(1, write(master, "m", 1));
    EXPECT_TRUE(read_until(master, seen, "[record 2]", 30)) << seen;
    EXPECT_TRUE(read_until(master, seen, "leds=0011", 30)) << seen;
    ASSERT_EQ(1, write(master, "q", 1)); // the power key
    EXPECT_TRUE(read_until(master, seen, "[off]", 30)) << seen;
    ASSERT_EQ(1, write(master, "q", 1)); // and leave
    EXPECT_EQ(0, wait_exit(pid, 30));
    close(master);
    EXPECT_NE(std::string::npos, testsupport::read_file(root + "/events.log").find("power off"));
}

} // namespace

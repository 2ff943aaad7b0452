// The repair's tests: movies recorded by the MP4 writer on a board of the
// test's own, finished or cut off as the battery would (in a child process
// that ends without a trailer), and the card's files read on the host.
#pragma once

#include "recorder/mp4/mp4_writer.h"
#include "recorder/rec_files.h"

#include "tests/recorder/mp4_media.h"
#include "tests/support/board_fixture.h"

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace mp4test {

constexpr int kFps = 30;
constexpr size_t kFrames = 6 * kFps;

class Mp4Repair : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        MP4_InitWriter(0);
        std::filesystem::create_directories(bd_path("/mnt/sdcard0/MOVIE"));
        aac_ = encode_aac(6 * 48);
    }
    void TearDown() override { MP4_InitWriter(0); }

    static std::string movie(const std::string &name) { return "/mnt/sdcard0/MOVIE/" + name; }
    static std::string host(const std::string &name) { return bd_path(name); }
    static bool exists(const std::string &name) { return std::filesystem::exists(bd_path(name)); }

    // Records frames [0, stop) with a backup index every `interval` key
    // frames; with `finish` the file is ended and destroyed, else the
    // process stops mid-recording, as when the battery is pulled.
    void record(const std::string &name, Codec codec, const std::vector<Frame> &frames, int interval, size_t stop,
                bool finish)
    {
        auto body = [&] {
            MP4_InitWriter(interval);
            Recording rec;
            if (!rec.open(name, codec, 640, 360, kFps))
                return false;
            for (size_t i = 0; i < stop; i++)
                rec.frame(frames[i], aac_, true);
            if (finish)
                rec.close();
            return true;
        };
        if (finish) {
            ASSERT_TRUE(body());
            MP4_InitWriter(0);
            return;
        }
        fflush(stdout);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(body() ? 0 : 1); // no trailer, no clean-up: the muxer's buffer is lost too
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // Audio packets the recording loop writes with the first `frames` frames.
    static size_t audio_with(size_t frames) { return (frames * 48000 + 1024 * kFps - 1) / (1024 * kFps); }

    std::vector<std::vector<uint8_t>> aac_;
};

inline uint32_t be32_at(const std::string &b, size_t at)
{
    return (uint32_t)(uint8_t)b[at] << 24 | (uint32_t)(uint8_t)b[at + 1] << 16 | (uint32_t)(uint8_t)b[at + 2] << 8 |
           (uint8_t)b[at + 3];
}

} // namespace mp4test

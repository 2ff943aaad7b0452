// A hostile control input during a recording: a FIFO offered as the
// microphone's sound is refused at once, and the recording keeps its sound.
#include "tests/e2e/e2e_support.h"

#include <sys/stat.h>

using namespace e2e;

namespace {

// One command whose answer is awaited at most `seconds`; empty when none came.
std::string ask_within(const std::string &root, const std::string &line, int seconds)
{
    int fd = board_client::connect_board(root);
    if (fd < 0)
        return "";
    timeval tv{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return board_client::exchange(fd, line);
}

TEST(HostileControl, ARecordingKeepsItsSoundWhileAFifoIsOffered)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    Camera cam("fifo_sound", "", &p);
    const std::string fifo = cam.root() + "/sound.wav";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    cam.boot("gpio 10_5 1");
    size_t mark = rec_start(cam);
    std::this_thread::sleep_for(std::chrono::seconds(2));

    // Should the board wait for a writer, one comes after a few seconds, so
    // that the stall shows as sound missing rather than as a hung test.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    });
    std::string answer = ask_within(cam.root(), "audio file sound.wav", 2);
    EXPECT_EQ(0u, answer.rfind("error: ", 0)) << answer;
    EXPECT_EQ(0u, ask_within(cam.root(), "status", 2).rfind("leds=", 0));
    writer.join();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    rec_stop(cam, mark);

    std::string movie = one_playable_movie(cam);
    ASSERT_FALSE(movie.empty());
    const mp4test::File f = mp4test::probe_file(movie);
    const mp4test::Track *video = f.of(AVMEDIA_TYPE_VIDEO), *audio = f.of(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(video && audio);
    // The sound's samples span the pictures; a microphone stalled for
    // seconds leaves seconds of samples out (the time stamps jump the gap).
    constexpr int kAacFrame = 1024; // samples per AAC-LC packet
    double pictures = mp4test::seconds(*video);
    double sound = (double)audio->packets.size() * kAacFrame / audio->sample_rate;
    EXPECT_GT(pictures, 6.0);
    EXPECT_GT(sound, pictures - 0.5) << pictures << " s of pictures";
}

} // namespace

// A card that holds 30,000 photos, as two hours of time-lapse leave it: a
// 30-second recording keeps its 30 seconds. The recording asks the card's
// free space after every frame, which must not cost more with more files.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

constexpr int kPhotos = 30000;
constexpr int kPerFolder = 999;
constexpr double kSeconds = 30;
constexpr int kFps = 30;
// Pictures the encoder coded that a movie may miss: those still on their
// way to the card at the stop. The free space walked at every frame kept 11
// of 30 s, the rest thrown away by a full recording buffer.
constexpr long kEndPictures = kFps / 2;

// The photos, each a file of a few bytes (a cluster on the card).
void fill_with_photos(const std::string &card)
{
    const std::string jpeg = "\xFF\xD8\xFF\xD9";
    for (int i = 0; i < kPhotos; i++) {
        char path[160];
        snprintf(path, sizeof path, "%s/PHOTO/KR1%02d/KORVAN%03d.jpg", card.c_str(), i / kPerFolder,
                 i % kPerFolder + 1);
        if (i % kPerFolder == 0)
            fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << jpeg;
    }
}

TEST(ManyFiles, A30SecondRecordingKeepsItsLength)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    p.MovieFrameRate[0] = 2; // 1080p30
    Camera cam("many_files", "", &p);
    fill_with_photos(cam.card());
    cam.boot("gpio 10_5 1");

    size_t mark = rec_start(cam);
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    rec_stop(cam, mark);
    const long coded = coded_pictures(cam);
    ASSERT_GT(coded, 0);

    const std::vector<std::string> movies = cam.movies();
    ASSERT_EQ(1u, movies.size());
    ASSERT_TRUE(wait_complete(cam, movies[0]));
    const Media m = probe(movies[0]);
    expect_playable(m);
    printf("%ld pictures coded, %ld in the movie of %.2f s\n", coded, m.video_frames, m.duration);
    EXPECT_GE(m.video_frames, coded - kEndPictures);
    EXPECT_GE(m.duration, (double)(coded - kEndPictures) / kFps);
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(20));
}

} // namespace

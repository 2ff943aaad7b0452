// Photo mode from power-on (DefaultMode 2). Single shots: each REC gives one
// decodable JPEG in PHOTO/KR100; the exposure follows a brighter scene until
// MODE is held, which winks the photo LEDs and locks exposure and white
// balance, so that a darker scene then comes out dark. Timed photos: REC
// starts a series at the set interval and REC stops it.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

DvSystemParam photo_prefs(int32_t time_lapse)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    p.DefaultMode = 2;
    p.SetTimeLapseShooting = time_lapse;
    p.EnableManualAELockorAWBLock = 1;
    return p;
}

// Boots into photo mode with LED0 and LED2 lit.
void boot_photo(Camera &cam)
{
    cam.boot("gpio 10_0 1");
    ASSERT_TRUE(cam.wait_until(15, [&] { return cam.status("leds") == "1010"; }));
}

// The photos in KR100, sorted: a photo takes its name once it is written
// whole (till then it is a temporary file beside them).
std::vector<std::string> photos(const Camera &cam)
{
    std::vector<std::string> out;
    for (const std::string &f : cam.files("PHOTO/KR100"))
        if (fs::path(f).extension() == ".jpg")
            out.push_back(f);
    return out;
}

// One REC: the next photo, read back once the keys are back for the next.
Picture shoot(Camera &cam)
{
    const size_t before = photos(cam).size(), said = cam.output_size();
    cam.send("key rec tap");
    EXPECT_TRUE(cam.wait_until(20, [&] { return photos(cam).size() == before + 1; }));
    EXPECT_TRUE(cam.wait_keys_on(said));
    std::vector<std::string> taken = photos(cam);
    return taken.size() > before ? jpeg(taken.back()) : Picture{};
}

// What the board says once the exposure has settled.
constexpr const char *kExposureSteady = "isp exposure steady";

TEST(PhotoMode, SingleShotsAndTheExposureLock)
{
    DvSystemParam p = photo_prefs(0);
    Camera cam("photo_single", "", &p);
    boot_photo(cam);
    ASSERT_TRUE(cam.wait_event(kExposureSteady, 20));

    Picture normal = shoot(cam);
    ASSERT_EQ(1920, normal.width);
    size_t mark = cam.event_count();
    cam.send("scene brightness 3");
    ASSERT_TRUE(cam.wait_event(kExposureSteady, 20, mark)) << "the exposure did not follow the light";
    Picture followed = shoot(cam);
    EXPECT_NEAR(normal.luma, followed.luma, normal.luma * 0.3); // brought back by the exposure

    mark = cam.event_count();
    cam.send("key mode hold 2.5");
    long off = cam.find_event("gpio 10_0 0", mark);
    ASSERT_GE(off, 0);
    EXPECT_TRUE(cam.wait_event("gpio 10_0 1", 15, (size_t)off));
    EXPECT_EQ("1010", cam.status("leds"));
    // A sixth of the light: through the gamma curve it reads about half the
    // luma, where the exposure library would have brought it back.
    cam.send("scene brightness 0.5");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    Picture locked = shoot(cam);
    EXPECT_LT(locked.luma, followed.luma * 0.6); // the exposure stayed where it was

    std::vector<std::string> taken = photos(cam);
    ASSERT_EQ(3u, taken.size());
    EXPECT_EQ("KORVAN001.jpg", fs::path(taken[0]).filename().string());
    EXPECT_EQ("KORVAN003.jpg", fs::path(taken[2]).filename().string());
}

TEST(PhotoMode, ATimedSeriesUntilRecAgain)
{
    DvSystemParam p = photo_prefs(2);
    constexpr long kIntervalMs = 500; // time-lapse choice 2
    Camera cam("photo_timed", "", &p);
    boot_photo(cam);
    const char *shot = "venc chn 0 start for 1 pictures"; // each photo asks the encoder for one picture
    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_until(20, [&] { return photos(cam).size() >= 6; }));
    // REC again: the series' end is reported and gives the keys back.
    const size_t said = cam.output_size();
    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_keys_on(said));
    std::vector<std::string> taken = photos(cam);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(taken.size(), photos(cam).size()); // the series has ended
    EXPECT_EQ(taken, cam.files("PHOTO/KR100")) << "a photo left unfinished";
    ASSERT_GE(taken.size(), 6u);
    for (size_t i = 0; i < taken.size(); i++) {
        SCOPED_TRACE(taken[i]);
        char name[32];
        snprintf(name, sizeof name, "KORVAN%03zu.jpg", i + 1);
        EXPECT_EQ(name, fs::path(taken[i]).filename().string());
        EXPECT_EQ(1920, jpeg(taken[i]).width);
    }
    EXPECT_TRUE(cam.files("MOVIE").empty());

    // Shots at the interval, as the board saw them asked for. None comes
    // early (less the latency of one request on a loaded host); a shot that
    // takes long may push the next one later, so the typical spacing is
    // judged, with room for a slow host but not for twice the interval.
    constexpr long kRequestLatencyMs = 100, kSlowHostMs = 400;
    std::vector<long> at = cam.event_times(shot);
    ASSERT_EQ(taken.size(), at.size());
    std::vector<long> gaps;
    for (size_t i = 1; i < at.size(); i++)
        gaps.push_back(at[i] - at[i - 1]);
    for (long gap : gaps)
        EXPECT_GE(gap, kIntervalMs - kRequestLatencyMs);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_LE(gaps[gaps.size() / 2], kIntervalMs + kSlowHostMs) << "median of " << gaps.size() << " spacings";
}

} // namespace

// Battery pulls during a series of timed photos, on a card that tears the
// last write it was given: after each boot every photo on the card decodes
// whole, nothing half-written is left (a photo's torn temporary file is
// removed at boot, a whole one takes its name), and the series goes on after
// the photos that were kept.
#include "tests/e2e/power_cut_support.h"

using namespace e2e;

namespace {

constexpr int kCuts = 3;

// The photos (and anything else) in the card's photo folder.
std::vector<std::string> photo_files(const Camera &cam) { return cam.files("PHOTO/KR100"); }

TEST(PowerCut, PhotosAreWholeOrAbsent)
{
    const unsigned seed = power_cut_seed();
    SCOPED_TRACE("POWER_CUT_SEED=" + std::to_string(seed));
    std::mt19937 rng(seed);
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    p.DefaultMode = 2;
    p.SetTimeLapseShooting = 1; // a photo every 0.25 s
    Camera cam("cut_photo", "power_cut = tear\n", &p);
    cam.boot("gpio 10_0 1");
    size_t kept = 0;
    for (int i = 0; i < kCuts; i++) {
        SCOPED_TRACE("cut " + std::to_string(i + 1));
        ASSERT_TRUE(cam.wait_event("venc chn 0 create type 26", 20)) << "no photo pipeline";
        cam.send("key rec tap");
        ASSERT_TRUE(cam.wait_until(20, [&] { return photo_files(cam).size() > kept; })) << "no photo";
        std::this_thread::sleep_for(std::chrono::duration<double>(std::uniform_real_distribution<double>(0, 2)(rng)));
        ASSERT_TRUE(cam.power_cut());
        // The pulled battery left the board's socket file; the next start
        // binds over it.
        EXPECT_TRUE(fs::exists(cam.root() + "/board.sock"));
        // What a cut in the middle of a photo's bytes leaves, however rarely
        // a random moment finds it: the boot removes it.
        char unfinished[32];
        snprintf(unfinished, sizeof unfinished, "/KORVAN%03zu.jpg.tmp", photo_files(cam).size() + 1);
        testsupport::write_file(cam.card() + "/PHOTO/KR100" + unfinished, "\xFF\xD8\xFF\xE0 half a photo");
        cam.restart("gpio 10_0 1");

        const std::vector<std::string> photos = photo_files(cam);
        for (size_t n = 0; n < photos.size(); n++) {
            SCOPED_TRACE(photos[n]);
            char name[32];
            snprintf(name, sizeof name, "KORVAN%03zu.jpg", n + 1); // numbered on from the last one kept
            EXPECT_EQ(name, fs::path(photos[n]).filename().string());
            EXPECT_EQ(1920, jpeg(photos[n]).width);
        }
        EXPECT_GT(photos.size(), kept);
        kept = photos.size();
    }
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(20));
}

} // namespace

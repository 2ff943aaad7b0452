// Updates from the card at power-on: the firmware image is copied to flash
// and removed with the preferences, which come back as defaults; a copy that
// fails deletes nothing and leaves the power key working. MODE held at
// power-on applies syscfg2.txt (its malformed lines change nothing) and saves
// it; without the file it writes the current settings out to one.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

const char *const kImage = "RZT.V001.KR00100000";

DvSystemParam changed_prefs()
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 3;
    p.LED = 0;
    return p;
}

TEST(Update, FirmwareImageCopiedToFlashAndRemoved)
{
    DvSystemParam p = changed_prefs();
    Camera cam("fw_update", "", &p);
    const std::string image(200000, '\x5a');
    testsupport::write_file(cam.card() + "/" + kImage, image);
    cam.start();
    EXPECT_TRUE(cam.wait_power_off(30));
    EXPECT_EQ(image, testsupport::read_file(cam.root() + "/mnt/data_flash/" + kImage));
    EXPECT_FALSE(fs::exists(cam.card() + "/" + kImage));
    // The preferences were deleted; the shutdown saved the defaults, marked
    // to be taken as defaults at the next start.
    DvSystemParam saved = cam.flash_prefs();
    EXPECT_EQ(1, saved.UpdateSetDefault);
    EXPECT_EQ(1, saved.AutoPoweroff);
    EXPECT_EQ(1, saved.LED);
    EXPECT_TRUE(cam.files("MOVIE").empty());
}

TEST(Update, AFailedCopyDeletesNothing)
{
    DvSystemParam p = changed_prefs();
    Camera cam("fw_update_fails", "", &p);
    testsupport::write_file(cam.card() + "/" + kImage, std::string(1000, 'x'));
    // Where the flash folder should be, a file: the copy can't land.
    testsupport::write_file(cam.root() + "/mnt/data_flash", "");
    cam.start();
    ASSERT_TRUE(cam.wait_event("shell cp -f /mnt/sdcard0/" + std::string(kImage), 15));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(cam.ended()); // the update blink goes on
    EXPECT_EQ(0u, cam.count_events("shell rm"));
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
    EXPECT_TRUE(fs::exists(cam.card() + "/" + kImage));
    DvSystemParam saved = cam.flash_prefs();
    EXPECT_EQ(0, saved.UpdateSetDefault);
    EXPECT_EQ(3, saved.AutoPoweroff);
    EXPECT_EQ(0, saved.LED);
}

// An image that flash could not take, or that is no file at all, is left on
// the card with a message, and the camera starts and records as without it.
TEST(Update, ImagesThatCannotBeInstalledAreRefused)
{
    struct Case {
        const char *name;
        std::function<void(const std::string &path)> make;
        const char *says;
    } cases[] = {
        {"empty", [](const std::string &path) { testsupport::write_file(path, ""); }, "is empty: not installed"},
        {"600 MB",
         [](const std::string &path) {
             testsupport::write_file(path, "");
             fs::resize_file(path, 600ull * 1024 * 1024); // sparse: no disk taken
         },
         "the flash takes"},
        {"a folder", [](const std::string &path) { fs::create_directories(path + "/inside"); },
         "is not a file: skipped"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DvSystemParam p = changed_prefs();
        Camera cam(std::string("fw_refused_") + c.name[0], "", &p);
        const std::string image = cam.card() + "/" + kImage;
        c.make(image);
        const bool folder = fs::is_directory(image);
        const uintmax_t size = folder ? 0 : fs::file_size(image);
        cam.boot("gpio 10_5 1"); // record mode 1, not the update
        size_t mark = rec_start(cam);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        rec_stop(cam, mark);
        one_playable_movie(cam);
        cam.send("key power tap");
        EXPECT_TRUE(cam.wait_power_off(15));

        EXPECT_NE(std::string::npos, cam.output().find(c.says));
        EXPECT_EQ(0u, cam.count_events("shell rm -f")); // the update's deletions
        EXPECT_EQ(0u, cam.count_events("shell cp -f /mnt/sdcard0/" + std::string(kImage)));
        EXPECT_EQ(folder, fs::is_directory(image));
        if (!folder) {
            EXPECT_EQ(size, fs::file_size(image));
        }
        EXPECT_FALSE(fs::exists(cam.root() + "/mnt/data_flash/" + kImage));
        DvSystemParam saved = cam.flash_prefs();
        EXPECT_EQ(0, saved.UpdateSetDefault);
        EXPECT_EQ(3, saved.AutoPoweroff); // the preferences stay
    }
}

TEST(Update, SettingsFileAppliedWithModeHeld)
{
    Camera cam("settings_update", "hold = mode\n");
    testsupport::write_file(cam.card() + "/syscfg2.txt",
                            "Default Mode=[2];set power-on default mode\r\n"
                            "this line is not a setting\r\n"
                            "Auto Power off=[3];auto power off\r\n"
                            "LED=[abc];not a number\r\n"
                            "Unknown Setting=[1]\r\n" +
                                std::string(400, 'z') + "\r\n");
    cam.start();
    EXPECT_TRUE(cam.wait_power_off(30));
    DvSystemParam saved = cam.flash_prefs(), defaults = default_prefs();
    EXPECT_EQ(2, saved.DefaultMode);
    EXPECT_EQ(3, saved.AutoPoweroff);
    EXPECT_EQ(defaults.LED, saved.LED);
    EXPECT_FALSE(fs::exists(cam.card() + "/syscfg2.txt")); // taken in
    EXPECT_TRUE(cam.files("MOVIE").empty());
}

TEST(Update, WithoutASettingsFileTheDefaultsAreWrittenOut)
{
    Camera cam("settings_defaults", "hold = mode\n");
    cam.start();
    EXPECT_TRUE(cam.wait_power_off(30));
    std::string text = testsupport::read_file(cam.card() + "/syscfg2.txt");
    EXPECT_NE(std::string::npos, text.find("Default Mode=[0]"));
    EXPECT_NE(std::string::npos, text.find("Auto Power off=[1]"));
    DvSystemParam saved = cam.flash_prefs(), defaults = default_prefs();
    EXPECT_EQ(defaults.DefaultMode, saved.DefaultMode);
    EXPECT_EQ(defaults.AutoPoweroff, saved.AutoPoweroff);
}

} // namespace

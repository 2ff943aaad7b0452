// The applications' rules on the board: the first application by the
// preferences and the card, the update files (a copy that fails or comes
// out short deletes nothing), the record modes' configuration from the
// preferences and the photo mode's tables.
#include "app/apps.h"
#include "tests/support/board_fixture.h"

#include "app/engine_hooks.h"
#include "app/handler.h"
#include "app/pref.h"
#include "app/sd_card.h"
#include "app/startup.h"
#include "core/rec_state.h"
#include "recorder/dv_config.h"
#include "recorder/dv_pipeline.h"

#include <filesystem>
#include <sys/statvfs.h>

namespace fs = std::filesystem;

namespace {

template <class Fn> std::string quiet(Fn &&fn)
{
    return testsupport::capture_stdout(fn);
}

// A mounted card, default preferences and every application registered,
// with the engine asking the application as start-up has it do.
class Apps : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        app_register_engine_hooks();
        quiet([] {
            init_sd_card();
            FS_Disk_PhyDisk_Detect();
            app_pref_init();
            appmgt_init(demoapps, DEMOAPPS_MAX);
            app_register_apps_main();
            app_register_apps_common();
            app_register_apps_encode();
        });
        update_config = 0;
    }
    void TearDown() override
    {
        update_config = 0;
        close_sd_dev();
    }
    std::string card(const std::string &name) { return root_ + "/mnt/sdcard0/" + name; }
    std::string prefs_file() { return root_ + "/dv/config/DvConfigs.bin"; }
};

TEST_F(Apps, FirstApplication)
{
    struct Case {
        const char *name;
        int32_t default_mode;
        bool settings_keys, image;
        const int &want;
    } cases[] = {
        {"record mode 1", 0, false, false, APP_RECMODE1},
        {"record mode 2", 1, false, false, APP_RECMODE2},
        {"photo", 2, false, false, APP_PHOMODE},
        {"out of range is record mode 1, not the update", 7, false, false, APP_RECMODE1},
        {"negative", -1, false, false, APP_RECMODE1},
        {"MODE held at power-on", 2, true, false, APP_SETTING_UPDATE},
        {"an image on the card wins", 0, true, true, APP_FW_UPDATE},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        app_pref_user->DefaultMode = c.default_mode;
        update_config = c.settings_keys ? 1 : 0;
        fs::remove(card(UPDATE_IMAGE_NAME));
        if (c.image)
            testsupport::write_file(card(UPDATE_IMAGE_NAME), "image");
        int first = -1;
        quiet([&] { first = handler_first_app(); });
        EXPECT_EQ(c.want, first);
    }
}

TEST_F(Apps, UpdateFilesAreCheckedByIndex)
{
    testsupport::write_file(card("kernel"), "k");
    struct Case {
        int index, result;
    } cases[] = {{UPDATE_KERNEL, 0}, {UPDATE_UBOOT, -2}, {UPDATE_IMAGE, -2}, {5, -1}, {-1, -1}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.index);
        std::string said = quiet([&] { EXPECT_EQ(c.result, CheckUpdateExists(c.index)); });
        if (c.result == -1) {
            EXPECT_NE(std::string::npos, said.find("======image index do not in 0 and 3"));
        }
    }
}

TEST_F(Apps, FirmwareImageCopiedThenRemovedWithThePreferences)
{
    const std::string image(5000, 'i');
    testsupport::write_file(card(UPDATE_IMAGE_NAME), image);
    ASSERT_TRUE(fs::exists(prefs_file()));
    quiet([] { EXPECT_EQ(1, ProcessUpdate()); });
    EXPECT_EQ(image, testsupport::read_file(root_ + "/mnt/data_flash/" + UPDATE_IMAGE_NAME));
    EXPECT_FALSE(fs::exists(card(UPDATE_IMAGE_NAME)));
    EXPECT_FALSE(fs::exists(prefs_file()));
    // Nothing to do without an image.
    quiet([] { EXPECT_EQ(0, ProcessUpdate()); });
}

TEST_F(Apps, AFailedCopyDeletesNothing)
{
    struct Case {
        const char *name;
        std::function<void(const std::string &root)> spoil;
    } cases[] = {
        {"no flash folder", [](const std::string &root) { fs::remove_all(root + "/mnt/data_flash"); }},
        {"flash folder is a file",
         [](const std::string &root) {
             fs::remove_all(root + "/mnt/data_flash");
             testsupport::write_file(root + "/mnt/data_flash", "");
         }},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::write_file(card(UPDATE_IMAGE_NAME), "image");
        c.spoil(root_);
        std::string said = quiet([] { EXPECT_EQ(-1, ProcessUpdate()); });
        EXPECT_NE(std::string::npos, said.find("nothing deleted"));
        EXPECT_TRUE(fs::exists(card(UPDATE_IMAGE_NAME)));
        EXPECT_TRUE(fs::exists(prefs_file()));
        EXPECT_TRUE(testsupport::events("shell rm").empty());
    }
}

// An image that can't be installed is refused before anything is copied or
// deleted: empty, larger than the flash can take (its free space and the
// image it holds, which the copy replaces), or no file at all.
TEST_F(Apps, ImagesThatCannotBeInstalledAreRefused)
{
    const std::string flash_image = root_ + "/mnt/data_flash/" + UPDATE_IMAGE_NAME;
    struct statvfs st;
    ASSERT_EQ(0, bd_statvfs(UPDATE_FLASH_DIR, &st));
    const uint64_t room = (uint64_t)st.f_bavail * st.f_frsize;
    struct Case {
        const char *name;
        std::function<void(const std::string &image)> make;
        bool acceptable;
        const char *says;
    } cases[] = {
        {"empty", [](const std::string &i) { testsupport::write_file(i, ""); }, false, "is empty: not installed"},
        {"larger than the flash",
         [&](const std::string &i) {
             testsupport::write_file(i, "");
             fs::resize_file(i, room + 1);
         },
         false, "the flash takes"},
        {"as large as the flash",
         [&](const std::string &i) {
             testsupport::write_file(i, "");
             fs::resize_file(i, room);
         },
         true, ""},
        {"the flash's image counts as room",
         [&](const std::string &i) {
             testsupport::write_file(flash_image, std::string(8192, 'o'));
             testsupport::write_file(i, "");
             fs::resize_file(i, room); // the old image took 8 KiB of that room
         },
         true, ""},
        {"a folder", [](const std::string &i) { fs::create_directories(i + "/inside"); }, false,
         "is not a file: skipped"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = card(UPDATE_IMAGE_NAME);
        fs::remove_all(image);
        fs::remove(flash_image);
        c.make(image);
        std::string said = quiet([&] { EXPECT_EQ(c.acceptable, update_image_acceptable()); });
        EXPECT_NE(std::string::npos, said.find(c.says)) << said;
        if (!c.acceptable) {
            said = quiet([] { EXPECT_EQ(-1, ProcessUpdate()); });
            EXPECT_TRUE(fs::exists(image));
            EXPECT_TRUE(fs::exists(prefs_file()));
            EXPECT_TRUE(testsupport::events(std::string("shell cp -f /mnt/sdcard0/") + UPDATE_IMAGE_NAME).empty());
            EXPECT_TRUE(testsupport::events("shell rm").empty());
        }
    }
    fs::remove_all(card(UPDATE_IMAGE_NAME));
    fs::remove(flash_image);
}

TEST_F(Apps, NoDeleteKeepsTheImageAndThePreferences)
{
    testsupport::write_file(card(UPDATE_IMAGE_NAME), "image");
    testsupport::write_file(card("NODELETE.bin"), "");
    quiet([] { EXPECT_EQ(1, ProcessUpdate()); });
    EXPECT_TRUE(fs::exists(root_ + "/mnt/data_flash/" + UPDATE_IMAGE_NAME));
    EXPECT_TRUE(fs::exists(card(UPDATE_IMAGE_NAME)));
    EXPECT_TRUE(fs::exists(prefs_file()));
}

TEST_F(Apps, RecordModeConfigurationFromThePreferences)
{
    struct Case {
        const char *name;
        int32_t resolution, frame_rate, rotate, codec;
        u8 main_code, main_fps, vi_fps;
        u32 type;
    } cases[] = {
        {"720p at 120", 2, 0, 0, 1, PIC_WVGA, 120, 120, PT_H264},
        {"1080p 100 rotated 270", 0, 3, 2, 0, PIC_HD1080, 25, 60, PT_H265},
        {"1080p 60", 0, 1, 0, 1, PIC_HD1080, 60, 60, PT_H264},
        {"720p 30", 1, 2, 0, 1, PIC_HD720, 30, 120, PT_H264},
        {"720p 25", 1, 5, 0, 1, PIC_HD720, 25, 30, PT_H264},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        DvSystemParam &p = *app_pref_user;
        p.MovieResolution[0] = c.resolution;
        p.MovieFrameRate[0] = c.frame_rate;
        p.MovieRotate[0] = c.rotate;
        p.MovieCodec[0] = c.codec;
        quiet([] { init_record_status(); });
        const KX_DV_CONFIG_S &cfg = gsDvConfig;
        EXPECT_EQ(c.main_code, cfg.sVenc.sParam[1].u8Resolution);
        EXPECT_EQ(c.main_fps, cfg.sVenc.sParam[1].u8FrameRate);
        EXPECT_EQ(c.main_fps, cfg.sVenc.sParam[1].u8IPInterval);
        EXPECT_EQ(c.vi_fps, cfg.sVi.sParam[0].u8FrameRate);
        EXPECT_EQ(c.type, cfg.sVenc.sParam[1].enType);
        EXPECT_EQ(KX_REC_STATE_STOPPED, gRecCmd[KX_REC_ENTRY_RECORD].RecState);
    }
}

// The photo column of the preferences (mode 2), not the video modes', makes
// the photo pipeline.
TEST_F(Apps, PhotoModeConfigurationFromThePreferences)
{
    struct Case {
        const char *name;
        int32_t resolution, defog, lens, tv, strategy;
        u8 vi_code, jpeg_code, vi_fps;
    } cases[] = {
        {"1080p, defog and lens correction on, NTSC", 0, 1, 1, 0, 1, PIC_HD1080, PIC_HD1080, 60},
        {"720p, both off, PAL", 1, 0, 0, 1, 0, PIC_HD720, PIC_HD720, 120},
        {"WVGA, lens correction only", 2, 0, 1, 1, 0, PIC_HD720, PIC_WVGA, 120},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        DvSystemParam &p = *app_pref_user;
        p.MovieResolution[2] = c.resolution;
        p.MovieDefog[2] = c.defog;
        p.MovieLensDistortionCorrection[2] = c.lens;
        p.MovieDefog[0] = p.MovieDefog[1] = !c.defog;
        p.MovieLensDistortionCorrection[0] = p.MovieLensDistortionCorrection[1] = !c.lens;
        p.TVout = c.tv;
        p.TVOutStrategy = c.strategy;
        quiet([] { init_photo_status(); });
        const KX_DV_CONFIG_S &cfg = gsDvConfig;
        EXPECT_EQ(c.vi_code, cfg.sVi.sParam[0].u8Resolution);
        EXPECT_EQ(c.vi_fps, cfg.sVi.sParam[0].u8FrameRate);
        EXPECT_EQ(c.jpeg_code, cfg.sVenc.sParam[0].u8Resolution);
        EXPECT_EQ(PT_JPEG, cfg.sVenc.sParam[0].enType);
        EXPECT_EQ((u32)c.tv, cfg.sVo.sParam.eSync);
        EXPECT_EQ(c.strategy, cfg.sVo.sParam.u8VoSrc);
        EXPECT_EQ(c.defog, cfg.u8SceneAutoMode);
        EXPECT_EQ(c.lens, cfg.u8LensDistortion);
        EXPECT_EQ(KX_REC_STATE_STOPPED, gRecCmd[KX_REC_ENTRY_PHOTO].RecState);
    }
}

TEST(RecordFiles, LengthInMinutesCappedBelowFourGiB)
{
    struct Case {
        int32_t cycletime;
        u32 kbps;
        uint16_t minutes;
    } cases[] = {
        {0, 10000, 3}, {1, 10000, 5}, {2, 10000, 10}, {3, 10000, 20}, {83, 10000, 1}, {9, 10000, 3},
        {3, 60000, 9}, // 4194304 / 7500 / 60
        {3, 0, 20},    // no rate: nothing to cap by
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.cycletime << " at " << c.kbps);
        EXPECT_EQ(c.minutes, record_pack_capped(record_pack_minutes(c.cycletime), c.kbps));
    }
}

TEST(PhotoTables, IntervalAndLedCycle)
{
    struct Case {
        int32_t choice;
        uint16_t interval;
        uint32_t cycle;
    } cases[] = {{0, 300, 300}, {1, 250, 250}, {2, 500, 500}, {3, 1000, 1000}, {4, 2000, 250},
                 {8, 60000, 250}, {9, 300, 300}, {-1, 300, 300}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.choice);
        EXPECT_EQ(c.interval, photo_interval_ms(c.choice));
        EXPECT_EQ(c.cycle, photo_led_cycle_ms(c.choice));
    }
}

} // namespace

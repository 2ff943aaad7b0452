// The USB cable: a charger with auto-record starts a recording and pulling it
// closes the file and switches the camera off; a computer turns the camera
// into a USB disk, whose settings files in syscfg/ are taken over.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

TEST(Usb, ChargerAutoRecordsAndItsRemovalPowersOff)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    p.AutoRecordwithExternalPower = 1;
    Camera cam("usb_charger", "", &p);
    cam.boot("gpio 10_5 1");
    // Plugged after the USB scan's first look: power that was there at
    // power-on would be the power-on source's to decide.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    size_t mark = cam.event_count();
    cam.send("usb charger");
    ASSERT_TRUE(cam.wait_event("venc chn 1 start", 15, mark)); // decided, and recording
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cam.send("usb none");
    EXPECT_TRUE(cam.wait_power_off(15));
    std::vector<std::string> movies = cam.files("MOVIE");
    ASSERT_EQ(1u, movies.size());
    expect_playable(probe(movies[0]));
}

TEST(Usb, AComputerMakesAUsbDiskAndItsSettingsFilesAreTakenOver)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    Camera cam("usb_host", "", &p);
    cam.boot("gpio 10_5 1");
    size_t mark = cam.event_count();
    cam.send("usb host");
    ASSERT_TRUE(cam.wait_event("shell insmod /mpp/g_file_storage.ko", 20, mark));
    // Record mode 1 stops, the USB disk lights LED1 and LED2.
    ASSERT_TRUE(cam.wait_event("venc chn 1 destroy", 20, mark));
    ASSERT_TRUE(cam.wait_until(20, [&] { return cam.status("leds") == "0110"; }));

    // The computer leaves settings as file names: auto power-off 2, LED 0,
    // TV out 1, power-on and power-off keys on.
    ASSERT_TRUE(cam.wait_event("syscfg", 15, mark));
    testsupport::write_file(cam.card() + "/syscfg/SYS-2000011100000", "");
    mark = cam.event_count();
    ASSERT_TRUE(cam.wait_until(20, [&] { return cam.count_events("ls -l -a /mnt/sdcard0/syscfg/", mark) >= 2; }));

    cam.send("usb none");
    EXPECT_TRUE(cam.wait_power_off(15));
    DvSystemParam saved = cam.flash_prefs();
    EXPECT_EQ(2, saved.AutoPoweroff);
    EXPECT_EQ(0, saved.LED);
    EXPECT_EQ(1, saved.TVout);
    EXPECT_TRUE(cam.files("MOVIE").empty());
}

} // namespace

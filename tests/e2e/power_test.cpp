// Power-off paths that close an open recording first: the power key just
// after REC, a battery that reads low six times in a row, a card that runs
// full, and SIGTERM. Each
// leaves one playable file and the power cut.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

DvSystemParam prefs()
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    return p;
}

// Boots, starts a recording and returns the events.log line count before it.
size_t start_recording(Camera &cam)
{
    cam.boot("gpio 10_5 1");
    size_t mark = cam.event_count();
    cam.send("key rec tap");
    EXPECT_TRUE(cam.wait_event("venc chn 1 start", 15, mark));
    return mark;
}

void expect_one_playable_movie(Camera &cam)
{
    std::vector<std::string> movies = cam.files("MOVIE");
    ASSERT_EQ(1u, movies.size());
    expect_playable(probe(movies[0]));
}

TEST(PowerOff, PowerKeyJustAfterRecLeavesAPlayableFile)
{
    DvSystemParam p = prefs();
    Camera cam("power_key", "", &p);
    start_recording(cam);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
    expect_one_playable_movie(cam);
}

TEST(PowerOff, SixLowBatteryReadingsCloseTheRecordingAndPowerOff)
{
    DvSystemParam p = prefs();
    Camera cam("low_battery", "", &p);
    start_recording(cam);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    size_t mark = cam.event_count();
    cam.send("battery 500");
    // Five readings are not enough; the sixth powers off.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_FALSE(cam.ended());
    EXPECT_EQ(0u, cam.count_events("mcu w 4", mark));
    EXPECT_TRUE(cam.wait_power_off(20));
    expect_one_playable_movie(cam);
}

TEST(PowerOff, SigtermClosesTheRecordingAndPowersOff)
{
    DvSystemParam p = prefs();
    Camera cam("sigterm", "", &p);
    start_recording(cam);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    size_t mark = cam.event_count();
    cam.signal(SIGTERM);
    EXPECT_TRUE(cam.wait_power_off(15));
    EXPECT_GE(cam.find_event("mcu w 4 0xaa", mark), 0);
    expect_one_playable_movie(cam);
}

TEST(PowerOff, ACardRunningFullClosesTheRecordingAndPowersOff)
{
    DvSystemParam p = prefs();
    Camera cam("card_full", "card_mb = 400\n", &p);
    start_recording(cam);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Something else fills the card down to its last 140 MB.
    testsupport::write_file(cam.card() + "/filler", "");
    fs::resize_file(cam.card() + "/filler", 260ull * 1024 * 1024);
    EXPECT_TRUE(cam.wait_power_off(20));
    expect_one_playable_movie(cam);
}

} // namespace

// Auto power-off: never while recording, and after its idle time once the
// recording has ended (AutoPoweroff 1: 30 seconds).
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

TEST(AutoPowerOff, NeverWhileRecordingThenAfterItsIdleTime)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 1;
    // A light recording: 720p at 30 frames a second.
    p.MovieResolution[PREF_VIDEO_MODE1] = 1;
    p.MovieFrameRate[PREF_VIDEO_MODE1] = 2;
    Camera cam("auto_power_off", "", &p);
    cam.boot("gpio 10_5 1");
    size_t mark = cam.event_count();
    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_event("venc chn 1 start", 15, mark));

    // Longer than the idle time, recording all along.
    std::this_thread::sleep_for(std::chrono::seconds(34));
    EXPECT_FALSE(cam.ended());
    EXPECT_EQ(0u, cam.count_events("mcu w 4", mark));

    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_event("venc chn 1 stop", 15, mark));
    // Idle from here: well inside the time nothing happens, then it powers off.
    std::this_thread::sleep_for(std::chrono::seconds(20));
    EXPECT_FALSE(cam.ended());
    EXPECT_TRUE(cam.wait_power_off(30));
    std::vector<std::string> movies = cam.files("MOVIE");
    ASSERT_EQ(1u, movies.size());
    Media m = probe(movies[0]);
    expect_playable(m);
    EXPECT_EQ(1280, m.width);
}

} // namespace

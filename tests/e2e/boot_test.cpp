// The camera from power-on, as a user sees it: the first boot with a card
// writes the default preferences, starts record mode 1 after the battery
// blink, records with the REC key (ignoring a tap inside the first second),
// cycles the modes with MODE (or locks the running file into ALARM) and
// switches off with the power key; without a card it blinks and the power microcontroller is told to cut the power.
#include "tests/e2e/e2e_support.h"

#include <cstddef>
#include <random>

using namespace e2e;

namespace {

// LED0..LED3 on: the status line's levels.
const char *const kRecMode1Leds = "0110";
const char *const kRecMode2Leds = "0011";
const char *const kPhotoLeds = "1010";

TEST(FirstBoot, DefaultsRecordModeOneRecordingModesAndPowerOff)
{
    Camera cam("first_boot");
    cam.boot("gpio 10_5 1"); // record mode 1 lights LED1

    // The preferences in flash are the defaults (the clock and versions aside).
    DvSystemParam want = default_prefs(), got = cam.flash_prefs();
    const size_t from = offsetof(DvSystemParam, DefaultMode);
    EXPECT_EQ(0, memcmp(reinterpret_cast<const char *>(&want) + from, reinterpret_cast<const char *>(&got) + from,
                        sizeof want - from));
    EXPECT_EQ(0, got.DefaultMode);

    // A battery of 720 blinks LED0 and LED2 three times.
    EXPECT_TRUE(cam.wait_until(15, [&] { return cam.count_events("gpio 10_0 ") == 6; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(6u, cam.count_events("gpio 10_0 "));

    // REC, a second tap half a second in (ignored), five seconds, REC.
    size_t mark = cam.event_count();
    cam.send("key rec tap");
    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_event("venc chn 1 start", 15, mark));
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(0u, cam.count_events("venc chn 1 stop", mark)); // still recording
    size_t said = cam.output_size();
    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_event("venc chn 1 stop", 15, mark));
    std::vector<std::string> movies = cam.movies();
    ASSERT_EQ(1u, movies.size());
    ASSERT_TRUE(wait_complete(cam, movies[0]));
    Media m = probe(movies[0]);
    expect_playable(m);
    EXPECT_EQ(1920, m.width);
    // The recording outlived the ignored tap (checked above); how many of its
    // pictures a loaded host captured is not the camera's doing.
    EXPECT_LT(m.duration, 8.0);

    // MODE: record mode 2, photo, record mode 1, each with its LEDs.
    struct Step {
        const char *name, *lit, *leds;
    } steps[] = {
        {"record mode 2", "gpio 0_6 1", kRecMode2Leds},
        {"photo", "gpio 10_0 1", kPhotoLeds},
        {"record mode 1", "gpio 10_5 1", kRecMode1Leds},
    };
    for (auto &s : steps) {
        SCOPED_TRACE(s.name);
        // The keys come back once the recording's end was reported, and
        // once the mode MODE left for has started.
        ASSERT_TRUE(cam.wait_keys_on(said));
        said = cam.output_size();
        mark = cam.event_count();
        cam.send("key mode tap");
        ASSERT_TRUE(cam.wait_event(s.lit, 20, mark));
        EXPECT_EQ(s.leds, cam.status("leds"));
    }
    EXPECT_EQ(1u, cam.files("MOVIE").size());

    // The power key: the power-off blink, then the microcontroller.
    mark = cam.event_count();
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
    EXPECT_FALSE(fs::exists(cam.root() + "/board.sock")) << "the board's socket outlived it";
    EXPECT_EQ(6u, cam.count_events("gpio 10_0 ", mark));
    long ac = cam.find_event("mcu w 0 0xac", mark), aa = cam.find_event("mcu w 4 0xaa", mark);
    EXPECT_GE(ac, 0);
    EXPECT_GT(aa, ac);
}

TEST(FirstBoot, ModeDuringARecordingLocksItsFileIntoAlarm)
{
    Camera cam("lock_file");
    cam.boot("gpio 10_5 1");
    size_t mark = cam.event_count();
    cam.send("key rec tap");
    // A second of pictures is out: the recording's file is open.
    ASSERT_TRUE(cam.wait_event("venc chn 1 key picture 2", 15, mark));
    cam.send("key mode tap"); // locks the file; the mode stays
    ASSERT_TRUE(cam.wait_until(15, [&] { return cam.files("ALARM").size() == 1; }));
    EXPECT_TRUE(cam.movies("MOVIE").empty()); // its backup index stays until the file is finished
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // Still record mode 1, recording: its LED blinks with LED2 (lit or dark
    // at this moment), LED0 and LED3 dark.
    const std::string leds = cam.status("leds");
    EXPECT_TRUE(leds == kRecMode1Leds || leds == "0000") << leds;
    EXPECT_EQ(0u, cam.count_events("venc chn 1 stop", mark));
    cam.send("key rec tap");
    ASSERT_TRUE(cam.wait_event("venc chn 1 stop", 15, mark));
    std::vector<std::string> locked = cam.files("ALARM");
    ASSERT_EQ(1u, locked.size());
    ASSERT_TRUE(wait_complete(cam, locked[0]));
    expect_playable(probe(locked[0]));
    EXPECT_TRUE(cam.files("MOVIE").empty());
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
}

// A preferences record of random bytes: every word out of its range takes
// its factory default, so the camera records H.264 without loop recording,
// as a new camera does.
TEST(FirstBoot, ARandomPreferencesRecordBootsWithTheFactoryDefaults)
{
    std::mt19937 rng(16);
    DvSystemParam garbage;
    auto *bytes = reinterpret_cast<uint8_t *>(&garbage);
    for (size_t i = 0; i < sizeof garbage; i++)
        bytes[i] = (uint8_t)rng();
    Camera cam("random_prefs", "", &garbage);
    cam.boot("gpio 10_5 1");
    size_t mark = rec_start(cam);
    // Two seconds of pictures: the file has had the time to hold its first
    // second, and REC ends it.
    ASSERT_TRUE(cam.wait_event("venc chn 1 key picture 3", 15, mark));
    rec_stop(cam, mark);
    one_playable_movie(cam, "h264");
    cam.send("key power tap");
    ASSERT_TRUE(cam.wait_power_off(15));

    DvSystemParam saved = cam.flash_prefs(), want = default_prefs();
    for (int m = 0; m < 3; m++) {
        EXPECT_EQ(0, saved.MovieLoopRecording[m]);
        EXPECT_EQ(want.MovieCodec[m], saved.MovieCodec[m]);
        EXPECT_EQ(want.MovieResolution[m], saved.MovieResolution[m]);
    }
    EXPECT_EQ(want.DefaultMode, saved.DefaultMode);
    EXPECT_EQ(want.AutoPoweroff, saved.AutoPoweroff);
    EXPECT_NE(std::string::npos, cam.output().find("out of range"));
}

TEST(FirstBoot, WithoutACardBlinksFiveTimesAndPowersOff)
{
    Camera cam("no_card", "card = 0\n");
    cam.start();
    ASSERT_TRUE(cam.wait_power_off(30));
    // Five slow blinks of LED0 and LED2, then the shutdown registers in order.
    EXPECT_EQ(10u, cam.count_events("gpio 10_0 "));
    long at = 0;
    for (const char *reg : {"mcu w 0 0xac", "mcu w 1 0x00", "mcu w 2 0x00", "mcu w 6 0x00", "mcu w 7 0x00",
                            "mcu w 8 0x00", "mcu w 9 0x00", "mcu w 10 0x00", "mcu w 4 0xaa"}) {
        SCOPED_TRACE(reg);
        at = cam.find_event(reg, (size_t)at);
        ASSERT_GE(at, 0);
    }
    EXPECT_EQ(0u, cam.count_events("kernel mount"));
}

} // namespace

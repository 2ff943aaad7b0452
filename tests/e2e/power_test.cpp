// Power-off paths that close an open recording first: the power key just
// after REC, a battery that reads low six times in a row, SIGTERM and a card
// that runs full. Each leaves one playable file and the power cut.
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

// The recording's first picture: the first picture after a start is a key
// picture.
constexpr const char *kFirstPicture = "venc chn 1 key picture 1";
// The recording's second key picture: its first group of pictures, a second,
// is out.
constexpr const char *kFirstSecond = "venc chn 1 key picture 2";

struct Case {
    const char *name;            // also the board root's
    const char *conf;            // board.conf
    const char *recorded;        // the event after REC that starts the power-off path
    void (*power_off)(Camera &); // the power-off path
    double seconds;              // for the power-off
};

// Boots, starts a recording, waits for `c.recorded` and takes `c.power_off`:
// the camera closes the recording and cuts the power. The card's one movie,
// as a player reads it.
Media record_then_power_off(Camera &cam, const Case &c)
{
    cam.boot("gpio 10_5 1");
    const size_t rec = rec_start(cam);
    EXPECT_TRUE(cam.wait_event(c.recorded, 15, rec)) << "the encoder put nothing out";
    const size_t mark = cam.event_count();
    c.power_off(cam);
    EXPECT_TRUE(cam.wait_power_off(c.seconds));
    EXPECT_GE(cam.find_event("mcu w 4 0xaa", mark), 0);
    std::vector<std::string> movies = cam.files("MOVIE");
    EXPECT_EQ(1u, movies.size());
    return movies.size() == 1 ? probe(movies[0]) : Media{};
}

// The battery drops to 500, which reads 0xf4 in the microcontroller's low
// battery register. Five low readings are not enough: the recording closes
// only after the sixth.
void battery_runs_low(Camera &cam)
{
    const size_t mark = cam.event_count();
    cam.send("battery 500");
    ASSERT_TRUE(cam.wait_event("venc chn 1 stop", 20, mark)) << "the recording went on";
    const long closed = cam.find_event("venc chn 1 stop", mark);
    EXPECT_GE(cam.count_events("mcu r 13 0xf4", mark, (size_t)closed), 6u);
}

// Something else fills the card down to its last 140 MB.
void card_fills(Camera &cam)
{
    testsupport::write_file(cam.card() + "/filler", "");
    fs::resize_file(cam.card() + "/filler", 260ull * 1024 * 1024);
}

DvSystemParam prefs()
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = PREF_AUTO_OFF_NEVER;
    return p;
}

// A power tap as soon as the encoder has put out the recording's first
// picture: the file is closed with what was recorded before the tap, a
// picture or a few. Their sound may be shorter than one sound frame (the file
// keeps the sound of its pictures' span), so a sound track is not required.
TEST(PowerOff, PowerKeyJustAfterRecLeavesAPlayableFile)
{
    const Case c{"power_key", "", kFirstPicture, [](Camera &cam) { cam.send("key power tap"); }, 15};
    DvSystemParam p = prefs();
    Camera cam(c.name, c.conf, &p);
    const Media m = record_then_power_off(cam, c);
    EXPECT_TRUE(m.opened);
    EXPECT_EQ("h264", m.video);
    EXPECT_GT(m.video_frames, 0);
    EXPECT_FALSE(m.decode_errors);
}

TEST(PowerOff, EachPathClosesTheRecordingUnderWayAndCutsThePower)
{
    const Case cases[] = {
        {"low_battery", "", kFirstSecond, battery_runs_low, 20},
        {"sigterm", "", kFirstSecond, [](Camera &cam) { cam.signal(SIGTERM); }, 15},
        {"card_full", "card_mb = 400\n", kFirstSecond, card_fills, 20},
    };
    DvSystemParam p = prefs();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Camera cam(c.name, c.conf, &p);
        expect_playable(record_then_power_off(cam, c));
    }
}

} // namespace

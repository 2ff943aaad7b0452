// A card that lets the recording down: pulled in the middle of a recording
// (the camera powers off and the file is finished at the next boot), or a
// MOVIE folder that is missing, replaced by a file or immutable (the
// recording fails visibly, the camera stays usable, and once the folder is
// back REC records).
#include "tests/e2e/e2e_support.h"

#include <cstdlib>

using namespace e2e;

namespace {

const char *const kRecMode1Leds = "0110"; // LED0..LED3, record mode 1 idle

DvSystemParam prefs()
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    return p;
}

TEST(CardFault, PulledTenSecondsIntoARecordingAndPutBack)
{
    DvSystemParam p = prefs();
    Camera cam("card_pulled", "", &p);
    cam.boot("gpio 10_5 1");
    size_t mark = rec_start(cam);
    // Ten seconds of pictures, a group of pictures a second.
    ASSERT_TRUE(cam.wait_event("venc chn 1 key picture 11", 30, mark));
    cam.send("card out");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cam.send("card in");
    // A card change blinks and powers off.
    EXPECT_TRUE(cam.wait_power_off(20));
    EXPECT_GE(cam.count_events("gpio 10_0 ", mark), 6u);
    // The writes failed and the recording ended: no writing on into a card
    // that is gone.
    std::string out = cam.output();
    EXPECT_NE(std::string::npos, out.find("failed: the recording ends")) << out;
    EXPECT_LE(testsupport::occurrences(out, "Error muxing packet"), 2u);

    cam.restart("gpio 10_5 1");
    std::string movie = one_playable_movie(cam);
    EXPECT_EQ(std::vector<std::string>{movie}, cam.files("MOVIE")) << "a backup index was left";
    EXPECT_GE(probe(movie).duration, 5.0);
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
}

bool chattr(const std::string &flag, const std::string &path)
{
    return system(("chattr " + flag + " '" + path + "' 2>/dev/null").c_str()) == 0;
}

// Takes the immutable flag off whatever a case left it on, so that the
// root can go.
struct Mutable {
    std::vector<std::string> paths;
    ~Mutable()
    {
        for (const std::string &p : paths)
            chattr("-i", p);
    }
};

// The MOVIE folder spoiled between boot and REC, as a computer might leave it.
TEST(CardFault, AMovieFolderThatCannotTakeTheRecording)
{
    DvSystemParam p = prefs();
    Camera cam("movie_folder", "", &p);
    cam.boot("gpio 10_5 1");
    const std::string card = cam.card(), movie = card + "/MOVIE";
    Mutable undo;
    struct Case {
        const char *name;
        std::function<bool()> spoil; // false: the file system can't do it here
        std::function<void()> mend;
        bool records; // the recording still works
    } cases[] = {
        {"missing: made again", [&] { return fs::remove_all(movie) > 0; }, [] {}, true},
        {"missing, and the card's root immutable",
         [&] {
             fs::remove_all(movie);
             undo.paths.push_back(card);
             return chattr("+i", card);
         },
         [&] {
             chattr("-i", card);
             fs::create_directory(movie);
         },
         false},
        {"a regular file",
         [&] {
             fs::remove_all(movie);
             testsupport::write_file(movie, "not a folder");
             return true;
         },
         [&] {
             fs::remove(movie);
             fs::create_directory(movie);
         },
         false},
        {"immutable",
         [&] {
             undo.paths.push_back(movie);
             return chattr("+i", movie);
         },
         [&] { chattr("-i", movie); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.spoil()) {
            printf("%s: not possible on this file system, left out\n", c.name);
            c.mend();
            continue;
        }
        size_t said = cam.output_size();
        size_t mark = rec_start(cam);
        if (!c.records) {
            // The card's error blink (LED0 three times), the encoder stopped,
            // the mode's LEDs back as before REC.
            EXPECT_TRUE(cam.wait_until(10, [&] { return cam.count_events("gpio 10_0 ", mark) >= 6; }));
            EXPECT_TRUE(cam.wait_event("venc chn 1 stop", 10, mark));
            EXPECT_TRUE(cam.wait_until(10, [&] { return cam.status("leds") == kRecMode1Leds; }))
                << cam.status("leds");
            EXPECT_TRUE(cam.movies().empty());
            c.mend();
            // The failed recording's end was reported: the keys are on.
            ASSERT_TRUE(cam.wait_keys_on(said));
            mark = rec_start(cam);
        }
        // Two seconds of pictures: the file has had the time to hold its
        // first second, and REC ends it.
        ASSERT_TRUE(cam.wait_event("venc chn 1 key picture 3", 15, mark));
        EXPECT_EQ(0u, cam.count_events("venc chn 1 stop", mark)); // recording
        said = cam.output_size();
        rec_stop(cam, mark);
        std::string movie_file = one_playable_movie(cam);
        ASSERT_FALSE(movie_file.empty());
        fs::remove(movie_file);
        ASSERT_TRUE(cam.wait_keys_on(said)); // back with the recording's end
    }
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
    EXPECT_NE(std::string::npos, cam.output().find("could not be made: the recording ends"));
}

} // namespace

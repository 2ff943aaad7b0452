// Locked recordings across a power cycle: MODE during a recording moves its
// file to ALARM; after the camera is switched off and on, new recordings
// take numbers after the locked ones, so no two recordings share a name and
// a lock never gives a name a second extension.
#include "tests/e2e/e2e_support.h"

#include <set>

using namespace e2e;

namespace {

// Records two seconds; with `lock` MODE locks the file halfway.
void record(Camera &cam, bool lock)
{
    SCOPED_TRACE(lock ? "locked recording" : "recording");
    const size_t locked = cam.movies("ALARM").size();
    size_t mark = rec_start(cam);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (lock) {
        cam.send("key mode tap");
        ASSERT_TRUE(cam.wait_until(10, [&] { return cam.movies("ALARM").size() == locked + 1; }));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    rec_stop(cam, mark);
    // The keys come back once the file is complete.
    ASSERT_TRUE(cam.wait_until(10, [&] {
        for (const std::string &dir : {"MOVIE", "ALARM"})
            for (const std::string &f : cam.files(dir))
                if (f.find("_bak.bin") != std::string::npos)
                    return false;
        return true;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

TEST(Lock, TwoLockedFilesAndAPowerCycleShareNoName)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    Camera cam("lock_cycle", "", &p);
    cam.boot("gpio 10_5 1");
    record(cam, true);
    record(cam, true);
    cam.send("key power tap");
    ASSERT_TRUE(cam.wait_power_off(15));

    cam.restart("gpio 10_5 1");
    record(cam, true);
    record(cam, false);

    std::vector<std::string> all = cam.movies("ALARM"), movie = cam.movies("MOVIE");
    EXPECT_EQ(3u, all.size());
    EXPECT_EQ(1u, movie.size());
    all.insert(all.end(), movie.begin(), movie.end());
    std::set<std::string> names;
    for (const std::string &path : all) {
        SCOPED_TRACE(path);
        const std::string name = fs::path(path).filename().string();
        EXPECT_TRUE(names.insert(name).second) << "two recordings named " << name;
        EXPECT_EQ(name.find(".mp4"), name.size() - 4) << "two extensions";
        expect_playable(probe(path));
    }
    EXPECT_EQ((std::set<std::string>{"KORVAN0000001.mp4", "KORVAN0000002.mp4", "KORVAN0000003.mp4",
                                     "KORVAN0000004.mp4"}),
              names);
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(15));
}

} // namespace

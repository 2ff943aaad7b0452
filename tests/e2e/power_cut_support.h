// Battery pulls during recordings: a camera records, the power is cut at a
// random moment, the camera boots again on the same board root, and the
// card is judged as a user would find it. Several cameras run side by side,
// each through its own list of cuts; the random moments come from one seed,
// printed, and taken from POWER_CUT_SEED when set.
#pragma once

#include "tests/e2e/e2e_support.h"

#include <random>
#include <set>

namespace e2e {

// Where in a recording the power goes.
enum class Cut {
    first_second, // within the first second of the recording
    mid_file,     // 2 to 15 s into the file
    split_close,  // the last moments of a one-minute file, up to its close
    split_open,   // just after the next file has been opened
    stop,         // within a quarter second after REC stops the recording
};

inline const char *cut_name(Cut c)
{
    switch (c) {
    case Cut::first_second:
        return "in the first second";
    case Cut::mid_file:
        return "mid-file";
    case Cut::split_close:
        return "as a split closes a file";
    case Cut::split_open:
        return "as a split opens the next file";
    case Cut::stop:
        return "during the stop";
    }
    return "?";
}

// A cut recording may lose at most this much of its end.
constexpr double kMaxLossSeconds = 5;

inline unsigned power_cut_seed()
{
    const char *env = getenv("POWER_CUT_SEED");
    static const unsigned seed = env && *env ? (unsigned)strtoul(env, nullptr, 10) : std::random_device{}();
    return seed;
}

// Every movie and backup index in the card's two movie folders.
inline std::vector<std::string> card_files(const Camera &cam)
{
    std::vector<std::string> all = cam.files("MOVIE"), alarm = cam.files("ALARM");
    all.insert(all.end(), alarm.begin(), alarm.end());
    return all;
}

// A backup index, or one cut off while it was written.
inline bool is_backup(const std::string &path) { return path.find("_bak") != std::string::npos; }

// One camera going through its cuts, on a root of its own.
class CutRun {
public:
    CutRun(const std::string &tag, const DvSystemParam &prefs, unsigned seed)
        : cam_(tag, "", &prefs), rng_(seed), tag_(tag)
    {
    }

    void run(const std::vector<Cut> &cuts)
    {
        cam_.boot("gpio 10_5 1");
        for (size_t i = 0; i < cuts.size(); i++) {
            SCOPED_TRACE(tag_ + ": cut " + std::to_string(i + 1) + " " + cut_name(cuts[i]));
            one(cuts[i]);
            if (::testing::Test::HasFatalFailure())
                return;
        }
        cam_.send("key power tap");
        EXPECT_TRUE(cam_.wait_power_off(20));
    }

    size_t cuts_done() const { return done_; }

private:
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    static void sleep_s(double s) { std::this_thread::sleep_for(std::chrono::microseconds((long)(s * 1e6))); }

    void one(Cut cut)
    {
        std::vector<std::string> before = card_files(cam_);
        size_t mark = cam_.event_count();
        cam_.send("key rec tap");
        ASSERT_TRUE(cam_.wait_event("venc chn 1 start", 15, mark)) << "no recording";
        switch (cut) {
        case Cut::first_second:
            sleep_s(uniform(0, 1));
            break;
        case Cut::mid_file:
            sleep_s(uniform(2, 15));
            break;
        case Cut::split_close:
            // The first file closes at the key frame that ends its minute.
            sleep_s(60 + uniform(-0.4, 0.05));
            break;
        case Cut::split_open: {
            sleep_s(59.5);
            const size_t files = card_files(cam_).size();
            cam_.wait_until(3, [&] { return card_files(cam_).size() > files; });
            sleep_s(uniform(0, 0.3));
            break;
        }
        case Cut::stop:
            sleep_s(uniform(2, 6));
            cam_.send("key rec tap"); // back once REC is released
            sleep_s(uniform(0, 0.25));
            break;
        }
        const std::vector<long> started = cam_.event_times("venc chn 1 start");
        ASSERT_TRUE(cam_.power_cut()) << "the camera outlived its battery";
        const std::vector<long> cut_at = cam_.event_times("power cut");
        ASSERT_FALSE(cut_at.empty());
        const double recorded = (cut_at.back() - started.back()) / 1000.0;

        cam_.restart("gpio 10_5 1"); // the movies are finished before the mode starts
        check_card(before, recorded);
        done_++;
    }

    // Every movie plays to its end, no backup index is left, and the cut
    // recording holds its pictures and sound up to kMaxLossSeconds before
    // the cut.
    void check_card(const std::vector<std::string> &before, double recorded)
    {
        double video = 0, audio = 0;
        for (const std::string &path : card_files(cam_)) {
            SCOPED_TRACE(path);
            EXPECT_FALSE(is_backup(path)) << "a backup index was left";
            if (is_backup(path))
                continue;
            // Cut before its first backup, with bytes on the card: kept for a
            // computer to salvage, and said so; it counts as nothing kept.
            const std::string name = path.substr(path.rfind('/') + 1);
            if (cam_.output().find(name + ": no index can finish it; kept as it is for a computer to salvage") !=
                std::string::npos)
                salvaged_.insert(path);
            if (salvaged_.count(path))
                continue;
            mp4test::File f = mp4test::probe_file(path);
            ASSERT_TRUE(f.opened);
            const mp4test::Track *v = f.of(AVMEDIA_TYPE_VIDEO), *a = f.of(AVMEDIA_TYPE_AUDIO);
            ASSERT_TRUE(v && a);
            ASSERT_FALSE(v->packets.empty());
            EXPECT_TRUE(v->packets[0].key);
            EXPECT_EQ((int)v->packets.size(), v->decoded);
            EXPECT_EQ(0, v->errors);
            EXPECT_EQ(0, a->errors);
            if (std::find(before.begin(), before.end(), path) == before.end()) {
                video += mp4test::seconds(*v);
                audio += mp4test::seconds(*a);
            }
        }
        printf("%s: %.2f s recorded before the cut, %.2f s of pictures and %.2f s of sound kept\n", tag_.c_str(),
               recorded, video, audio);
        EXPECT_GE(video, recorded - kMaxLossSeconds) << recorded << " s recorded before the cut";
        EXPECT_GE(audio, recorded - kMaxLossSeconds) << recorded << " s recorded before the cut";
    }

    Camera cam_;
    std::mt19937 rng_;
    std::string tag_;
    size_t done_ = 0;
    std::set<std::string> salvaged_; // movies kept as they were, unfinished
};

// The preferences of the cut runs: record mode 1 at `resolution` and
// `frame_rate` (the settings' codes), files of `cycletime`, no auto
// power-off.
inline DvSystemParam cut_prefs(int resolution, int frame_rate, int cycletime)
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    p.MovieResolution[0] = resolution;
    p.MovieFrameRate[0] = frame_rate;
    p.MovieCycletime[0] = cycletime;
    return p;
}

// Runs the cameras side by side; the number of cuts made.
inline size_t run_side_by_side(const std::vector<std::pair<CutRun *, std::vector<Cut>>> &runs)
{
    std::vector<std::thread> threads;
    for (auto &r : runs)
        threads.emplace_back([&r] { r.first->run(r.second); });
    for (auto &t : threads)
        t.join();
    size_t done = 0;
    for (auto &r : runs)
        done += r.first->cuts_done();
    return done;
}

} // namespace e2e

// The sound of a recording comes through whole on a busy camera: with a
// process spinning on one of the camera's two CPUs, the board's tone is
// recorded in the heaviest modes coded live (H.264 1080p60 in record mode 1,
// H.265 1080p30 in record mode 2, one camera run for both), decoded by
// libavcodec's AAC decoder and its phase fitted in 10 ms blocks: a frame of
// sound lost anywhere between the microphone and the file moves the phase of
// every block after it. Every picture the encoder coded is in the file too.
// Where the board could not keep up with its pictures (a slow or crowded
// host), the file leaves out the sound of the pictures lost, so that sound
// and pictures stay together, and says where: a jump there is the pictures'
// loss, told and counted, not the sound's.
#include "tests/e2e/e2e_support.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sstream>
#include <thread>

using namespace e2e;

namespace {

// The tone the board's microphone hears. At 1000 Hz a frame of 1024 samples
// is 21 1/3 periods, so three frames lost together would leave the phase as
// it was; at this one any count of lost frames up to a second's worth moves
// it by 6.7 degrees or more.
constexpr double kToneHz = 1853;
constexpr int kRate = 48000;
constexpr int kBlock = kRate / 100;
// The largest step of the phase from one block to the next that is not a
// jump: what the AAC coding leaves of a steady tone's phase is far below it.
constexpr double kMaxStepDegrees = 2.5;
// Blocks the decoder's start (the encoder's priming) and the track's last
// frame may blur.
constexpr int kSkipFirst = 10, kSkipLast = 3;
constexpr double kSeconds = 8;

// ---- the busy host ----------------------------------------------------------------------

// The first two CPUs this test may run on, fewer when it has fewer.
std::vector<int> two_cpus()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return cpus;
    for (int c = 0; c < CPU_SETSIZE && cpus.size() < 2; c++)
        if (CPU_ISSET(c, &set))
            cpus.push_back(c);
    return cpus;
}

bool pin(pid_t pid, const std::vector<int> &cpus)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c : cpus)
        CPU_SET(c, &set);
    return sched_setaffinity(pid, sizeof set, &set) == 0;
}

// A process that keeps one CPU busy while it lives.
class Spinner {
public:
    explicit Spinner(int cpu)
    {
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the test
            pin(0, {cpu});
            for (volatile unsigned long n = 0;; n++) {
            }
        }
    }
    ~Spinner()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// ---- the movie as a player reads it -----------------------------------------------------

struct Movie {
    long pictures = 0;
    double picture_seconds = 0;
    long sound_packets = 0;
    double sound_seconds = 0;
    std::vector<float> sound; // the first channel as libavcodec decodes it
};

double track_seconds(const AVStream *st, int64_t ticks) { return ticks * av_q2d(st->time_base); }

void take_samples(const AVFrame *f, std::vector<float> &out)
{
    for (int i = 0; i < f->nb_samples; i++) {
        if (f->format == AV_SAMPLE_FMT_FLTP)
            out.push_back(reinterpret_cast<const float *>(f->data[0])[i]);
        else if (f->format == AV_SAMPLE_FMT_S16P)
            out.push_back(reinterpret_cast<const int16_t *>(f->data[0])[i] / 32768.0f);
    }
}

Movie read_movie(const std::string &path)
{
    Movie m;
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, path.c_str(), nullptr, nullptr) < 0)
        return m;
    const int v = avformat_find_stream_info(ic, nullptr) >= 0
                      ? av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                      : -1;
    const int a = v >= 0 ? av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    const AVCodec *codec = a >= 0 ? avcodec_find_decoder(ic->streams[a]->codecpar->codec_id) : nullptr;
    AVCodecContext *dec = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (dec && (avcodec_parameters_to_context(dec, ic->streams[a]->codecpar) < 0 || avcodec_open2(dec, codec, nullptr) < 0))
        avcodec_free_context(&dec);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int64_t video_ticks = 0, sound_ticks = 0;
    while (dec && av_read_frame(ic, pkt) >= 0) {
        if (pkt->stream_index == v) {
            m.pictures++;
            video_ticks += pkt->duration;
        } else if (pkt->stream_index == a) {
            m.sound_packets++;
            sound_ticks += pkt->duration;
            if (avcodec_send_packet(dec, pkt) == 0)
                while (avcodec_receive_frame(dec, frame) == 0)
                    take_samples(frame, m.sound);
        }
        av_packet_unref(pkt);
    }
    if (dec) {
        m.picture_seconds = track_seconds(ic->streams[v], video_ticks);
        m.sound_seconds = track_seconds(ic->streams[a], sound_ticks);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    avformat_close_input(&ic);
    return m;
}

// ---- the tone's phase -------------------------------------------------------------------

struct Block {
    double phase;     // radians, against the sample's place in the track
    double amplitude; // of the tone, full scale 1
};

// Least squares of a sine and a cosine at the tone's frequency over one block.
Block fit(const std::vector<float> &x, size_t from)
{
    const double w = 2 * M_PI * kToneHz / kRate;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t i = from; i < from + kBlock; i++) {
        const double s = sin(w * (double)i), c = cos(w * (double)i);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += x[i] * s;
        yc += x[i] * c;
    }
    const double det = ss * cc - sc * sc, sin_part = (ys * cc - yc * sc) / det, cos_part = (yc * ss - ys * sc) / det;
    return Block{atan2(cos_part, sin_part), hypot(sin_part, cos_part)};
}

// The blocks a gap in the file's sound may disturb, from where the gap is
// (seconds of the track) on: the decoder's priming delays the sound by a
// frame, and its overlap blurs a frame on each side of the seam.
constexpr double kGapBefore = 0.03, kGapAfter = 0.12;

bool near_gap(double t, const std::vector<double> &gaps)
{
    return std::any_of(gaps.begin(), gaps.end(), [t](double g) { return t >= g - kGapBefore && t <= g + kGapAfter; });
}

struct ToneFaults {
    std::vector<std::string> unexplained;
    size_t at_gaps = 0; // faults where the file says it left sound out
};

// Where the tone's phase moves from one block to the next, or its level
// leaves the usual one, away from the gaps the file told of:
// "at 3.21 s by 120.4 degrees, at 0.51 of its level".
ToneFaults tone_faults(const std::vector<float> &x, const std::vector<double> &gaps)
{
    std::vector<Block> blocks;
    for (size_t from = 0; from + kBlock <= x.size(); from += kBlock)
        blocks.push_back(fit(x, from));
    ToneFaults faults;
    if ((int)blocks.size() <= kSkipFirst + kSkipLast + 1) {
        faults.unexplained.push_back("no tone to speak of");
        return faults;
    }
    std::vector<double> levels;
    for (const Block &b : blocks)
        levels.push_back(b.amplitude);
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    const double usual = levels[levels.size() / 2];
    char line[96];
    for (size_t b = kSkipFirst + 1; b + kSkipLast < blocks.size(); b++) {
        const double step = remainder(blocks[b].phase - blocks[b - 1].phase, 2 * M_PI) * 180 / M_PI;
        const double level = blocks[b].amplitude / usual;
        if (fabs(step) <= kMaxStepDegrees && level > 0.9 && level < 1.1)
            continue;
        const double t = (double)b * kBlock / kRate;
        if (near_gap(t, gaps)) {
            faults.at_gaps++;
            continue;
        }
        snprintf(line, sizeof line, "at %.2f s by %.1f degrees, at %.2f of its level", t, step, level);
        faults.unexplained.push_back(line);
    }
    return faults;
}

// Where the camera said it left sound out of `file` (seconds of its sound):
// "the sound of 1338317 us is left out of /mnt/.../KORVAN0000001.mp4 at
// 0.021 s of its sound: ...".
std::vector<double> told_gaps(const Camera &cam, const std::string &file)
{
    std::vector<double> gaps;
    const std::string mark = "/" + file + " at ";
    std::istringstream out(cam.output());
    for (std::string line; std::getline(out, line);) {
        const size_t left = line.find(" left out of ");
        const size_t at = left == std::string::npos ? left : line.find(mark, left);
        if (at != std::string::npos)
            gaps.push_back(atof(line.c_str() + at + mark.size()));
    }
    return gaps;
}

// ---- the camera -------------------------------------------------------------------------

struct Mode {
    const char *name;
    int32_t codec, frame_rate;
    int fps;
    const char *lit; // the mode's LED, lit once it runs
};
const Mode kModes[] = {
    {"H.264 1080p60", PREF_CODEC_H264, PREF_FPS_60, 60, "gpio 10_5 1"},
    {"H.265 1080p30", PREF_CODEC_H265, PREF_FPS_30, 30, "gpio 0_6 1"},
};

DvSystemParam prefs()
{
    DvSystemParam p = default_prefs();
    p.AutoPoweroff = 0;
    for (int m : {PREF_VIDEO_MODE1, PREF_VIDEO_MODE2}) {
        p.MovieResolution[m] = PREF_RES_1080P;
        p.MovieCodec[m] = kModes[m].codec;
        p.MovieFrameRate[m] = kModes[m].frame_rate;
    }
    return p;
}

// What the camera told of lost pictures and sound since events.log line
// `mark`: the board's drops and the firmware's losses.
std::string losses(const Camera &cam, size_t mark)
{
    std::string told;
    const std::vector<std::string> all = cam.events();
    for (size_t i = mark; i < all.size(); i++)
        for (const char *what : {" drops ", " loses ", "overrun"})
            if (all[i].find(what) != std::string::npos) {
                told += "\n  " + all[i];
                break;
            }
    std::istringstream out(cam.output());
    for (std::string line; std::getline(out, line);)
        for (const char *what : {" lost", "left out", "dropped", "not kept", "short"})
            if (line.find(what) != std::string::npos) {
                told += "\n  " + line;
                break;
            }
    return told;
}

// Whether a thread of this process may take real-time scheduling.
bool may_run_realtime()
{
    bool may = false;
    std::thread([&] {
        sched_param p{};
        p.sched_priority = 1;
        may = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
    }).join();
    return may;
}

// The scheduling policy and nice of the camera's thread named `name`.
std::pair<int, int> thread_rank(pid_t pid, const std::string &name)
{
    for (auto &t : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        if (testsupport::read_file(t.path().string() + "/comm") != name + "\n")
            continue;
        std::string stat = testsupport::read_file(t.path().string() + "/stat");
        std::istringstream rest(stat.substr(stat.rfind(')') + 2));
        std::vector<std::string> f{std::istream_iterator<std::string>(rest), {}};
        // After the name: state is field 3, nice 19 and policy 41.
        if (f.size() > 38)
            return {std::stoi(f[38]), std::stoi(f[16])};
    }
    return {-1, 0};
}

TEST(Sound, TheToneComesThroughWholeBesideABusyProcess)
{
    const std::vector<int> cpus = two_cpus();
    if (cpus.size() < 2)
        GTEST_SKIP() << "needs two CPUs";
    // The camera (a child of this process) runs on the two, the spinner on
    // the second.
    ASSERT_TRUE(pin(0, cpus));
    const DvSystemParam p = prefs();
    Camera cam("sound", "audio = tone " + std::to_string((int)kToneHz) + "\n", &p);
    cam.boot(kModes[0].lit);
    Spinner spinner(cpus[1]);
    ASSERT_TRUE(spinner.running());

    // The sound's threads run ahead of the video encoder's, as far as the
    // process may.
    if (may_run_realtime()) {
        for (const char *name : {"aenc_get", "KX_DV_AudioProc"})
            EXPECT_EQ(SCHED_FIFO, thread_rank(cam.pid(), name).first) << name;
    }

    for (const Mode &m : kModes) {
        SCOPED_TRACE(m.name);
        if (&m != &kModes[0]) {
            size_t mark = cam.event_count();
            cam.send("key mode tap");
            ASSERT_TRUE(cam.wait_event(m.lit, 30, mark)) << "the mode did not start";
        }
        const std::vector<std::string> before = cam.movies();
        const size_t mark = rec_start(cam);
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        rec_stop(cam, mark);
        const long coded = coded_pictures(cam);
        ASSERT_TRUE(cam.wait_until(15, [&] { return cam.movies().size() == before.size() + 1; }));
        const std::string path = cam.movies().back();
        ASSERT_TRUE(wait_complete(cam, path));
        // The keys come back once the file is finished.
        ASSERT_TRUE(cam.wait_until(15, [&] { return !fs::exists(path + "_bak.bin"); }));

        const Movie movie = read_movie(path);
        const std::string told = losses(cam, mark);
        EXPECT_EQ(coded, movie.pictures) << "pictures coded and in the file" << told;
        EXPECT_NEAR(movie.picture_seconds, movie.sound_seconds, 1024.0 / kRate + 1.0 / m.fps)
            << "the sound's length against the pictures'" << told;
        const std::vector<double> gaps = told_gaps(cam, fs::path(path).filename().string());
        const ToneFaults faults = tone_faults(movie.sound, gaps);
        std::string jumps;
        for (size_t i = 0; i < faults.unexplained.size() && i < 10; i++)
            jumps += "\n  " + faults.unexplained[i];
        EXPECT_TRUE(faults.unexplained.empty())
            << faults.unexplained.size() << " faults of the tone over " << movie.sound_seconds
            << " s where the camera told of no gap:" << jumps << "\nwhat the camera told:" << told;
        printf("%s: %ld pictures coded, %ld in the file, %.2f s of sound in %ld packets, %zu faults of the tone "
               "elsewhere, %zu at the %zu gaps left for pictures lost upstream\n",
               m.name, coded, movie.pictures, movie.sound_seconds, movie.sound_packets, faults.unexplained.size(),
               faults.at_gaps, gaps.size());
    }
    cam.send("key power tap");
    EXPECT_TRUE(cam.wait_power_off(20));
}

} // namespace

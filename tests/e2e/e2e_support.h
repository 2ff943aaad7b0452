// End-to-end test support: the built `camera` binary started on a fresh board
// root of its own, driven through board.sock as camctl drives it, watched
// through events.log, and the files it leaves on the card read back with
// libavformat and libavcodec.
#pragma once

#include "app/pref.h"
#include "tests/recorder/mp4_media.h"
#include "tests/support/board_fixture.h"
#include "tools/board_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Where the camera and camrun were built: CAMERA_BIN_DIR as CTest sets it,
// else the build folder that holds the test's own folder, so that a test
// run by itself finds them too.
inline std::string bin_dir()
{
    const char *dir = getenv("CAMERA_BIN_DIR");
    if (dir && *dir)
        return dir;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? "." : self.parent_path().parent_path().string();
}

// The default preferences record, as the camera writes it on its first boot.
inline DvSystemParam default_prefs()
{
    static DvSystemParam defaults = [] {
        DvSystemParam rec{};
        DvSystemParam *saved = app_pref_user;
        app_pref_user = &rec;
        // Also clears two microcontroller registers of this process's own board.
        KX_DV_SetUserSettingDefualt();
        app_pref_user = saved;
        return rec;
    }();
    return defaults;
}

// One camera process on a root of its own.
class Camera {
public:
    // `conf` is board.conf; `prefs` (when given) is written to flash first.
    explicit Camera(const std::string &tag, const std::string &conf = "", const DvSystemParam *prefs = nullptr)
    {
        root_ = testsupport::fresh_root(tag);
        if (!conf.empty())
            testsupport::write_conf(root_, conf);
        if (prefs) {
            fs::create_directories(root_ + "/dv/config");
            testsupport::write_file(root_ + "/dv/config/DvConfigs.bin",
                                    std::string(reinterpret_cast<const char *>(prefs), sizeof *prefs));
        }
    }
    ~Camera()
    {
        // A signal ends the camera through its own shutdown, which flushes
        // its messages; a camera that does not end is killed.
        if (pid_ > 0 && !ended()) {
            kill(pid_, SIGTERM);
            if (!wait_until(10, [&] { return ended(); })) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status_, 0);
            }
        }
        close_console();
        // A failing test leaves its root to look at.
        std::error_code ec;
        if (!::testing::Test::HasFailure())
            fs::remove_all(root_, ec);
    }

    const std::string &root() const { return root_; }
    std::string card() const { return root_ + "/mnt/sdcard0"; }

    // Starts the camera. Its output goes to its console, a pseudo-terminal
    // (so that it comes line by line, as on the camera's serial console,
    // where into a file stdio would hold it back in blocks), and from there
    // to ROOT/out.txt as it comes.
    void start()
    {
        std::string camera = bin_dir() + "/camera";
        ASSERT_EQ(0, access(camera.c_str(), X_OK)) << camera;
        int console = -1;
        ASSERT_TRUE(open_console(console));
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            // A test that dies leaves no camera running behind it.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            dup2(console, 1);
            dup2(console, 2);
            setenv("BOARD_ROOT", root_.c_str(), 1);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            execl(camera.c_str(), camera.c_str(), (char *)nullptr);
            _exit(127);
        }
        // Only the camera holds its console now: the copy ends with it.
        close(console);
        copier_ = std::thread(copy_console, master_, root_ + "/out.txt");
        ASSERT_TRUE(wait_event("board start", 20));
    }

    // Boots the camera again on the same root once it has ended (a power
    // cut, a power-off), as a camera is switched on again: run N's
    // events.log and output are kept as events.N.log and out.N.txt.
    void restart(const char *ready = "gpio 0_0 1")
    {
        ASSERT_TRUE(ended());
        ++runs_;
        std::error_code ec;
        fs::rename(root_ + "/events.log", root_ + "/events." + std::to_string(runs_) + ".log", ec);
        fs::rename(root_ + "/out.txt", root_ + "/out." + std::to_string(runs_) + ".txt", ec);
        pid_ = -1;
        done_ = false;
        status_ = 0;
        boot(ready);
    }

    // The battery pulled; true once the process is gone, killed at once.
    bool power_cut(double seconds = 10)
    {
        ctl("power cut");
        return wait_until(seconds, [&] { return ended(); }) && WIFSIGNALED(status_) && WTERMSIG(status_) == SIGKILL;
    }

    // Started, and the first application's start done (its keys enabled or
    // its blink begun).
    void boot(const char *ready = "gpio 0_0 1")
    {
        start();
        ASSERT_TRUE(wait_event(ready, 30)) << "the camera did not come up";
    }

    // One board.sock command; its answer.
    std::string ctl(const std::string &line) { return board_client::command(root_, line); }
    void signal(int sig) { kill(pid_, sig); }
    // The names of the camera's threads (at most 15 characters) that start
    // with `prefix`, sorted.
    std::vector<std::string> threads(const std::string &prefix) const { return testsupport::thread_names(prefix, pid_); }
    pid_t pid() const { return pid_; }
    void send(const std::string &line) { EXPECT_EQ("ok", ctl(line)) << line; }

    std::vector<std::string> events() const
    {
        std::vector<std::string> lines;
        std::ifstream in(root_ + "/events.log");
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }
    size_t event_count() const { return events().size(); }

    // Index of the first events.log line from `from` on that holds `text`,
    // -1 when none.
    long find_event(const std::string &text, size_t from = 0) const
    {
        std::vector<std::string> all = events();
        for (size_t i = from; i < all.size(); i++)
            if (all[i].find(text) != std::string::npos)
                return (long)i;
        return -1;
    }
    size_t count_events(const std::string &text, size_t from = 0, size_t to = SIZE_MAX) const
    {
        std::vector<std::string> all = events();
        size_t n = 0;
        for (size_t i = from; i < all.size() && i < to; i++)
            n += all[i].find(text) != std::string::npos ? 1 : 0;
        return n;
    }

    // Board times (ms since its start) of the events.log lines that hold `text`.
    std::vector<long> event_times(const std::string &text) const
    {
        std::vector<long> times;
        for (const std::string &line : events())
            if (line.find(text) != std::string::npos)
                times.push_back(std::stol(line));
        return times;
    }

    // Waits for a line holding `pattern` from line `from` on.
    bool wait_event(const std::string &pattern, double seconds, size_t from = 0)
    {
        return wait_until(seconds, [&] { return find_event(pattern, from) >= 0; });
    }

    template <class Fn> bool wait_until(double seconds, Fn done)
    {
        auto end = Clock::now() + std::chrono::milliseconds((long)(seconds * 1000));
        while (!done()) {
            if (Clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // True once the process has ended; its exit status is then kept.
    bool ended()
    {
        if (pid_ <= 0)
            return true;
        if (done_)
            return true;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            done_ = true;
            close_console();
        }
        return done_;
    }
    // Waits for the process to end; true when it powered off (status 0).
    bool wait_power_off(double seconds)
    {
        if (!wait_until(seconds, [&] { return ended(); }))
            return false;
        return WIFEXITED(status_) && WEXITSTATUS(status_) == 0 && find_event(" power off") >= 0;
    }

    // The board's status field, e.g. "leds".
    std::string status(const std::string &key)
    {
        std::string s = ctl("status");
        size_t at = s.find(key + "=");
        if (at == std::string::npos)
            return "";
        at += key.size() + 1;
        return s.substr(at, s.find(' ', at) - at);
    }

    // The camera's messages so far; complete once it has ended.
    std::string output() const { return testsupport::read_file(root_ + "/out.txt"); }
    size_t output_size() const { return output().size(); }
    // The keys are read again: since `from` (an output_size() taken before
    // what took them away) the camera said "button enable", and it is its
    // last word on them.
    bool wait_keys_on(size_t from, double seconds = 20)
    {
        return wait_until(seconds, [&] {
            const std::string out = output();
            const size_t on = out.rfind("button enable"), off = out.rfind("button disable");
            return on != std::string::npos && on >= from && (off == std::string::npos || off < on);
        });
    }

    // Files below a card folder, sorted.
    std::vector<std::string> files(const std::string &dir) const
    {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto &e : fs::directory_iterator(card() + "/" + dir, ec))
            if (e.is_regular_file())
                out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    // The movies (.mp4) in a card folder, sorted: not the backup index that
    // sits beside a movie while it is written.
    std::vector<std::string> movies(const std::string &dir = "MOVIE") const
    {
        std::vector<std::string> out;
        for (const std::string &f : files(dir))
            if (f.size() > 4 && strcasecmp(f.c_str() + f.size() - 4, ".mp4") == 0)
                out.push_back(f);
        return out;
    }

    // The preferences record in flash (zeroed when missing or short).
    DvSystemParam flash_prefs() const
    {
        DvSystemParam p{};
        std::string bytes = testsupport::read_file(root_ + "/dv/config/DvConfigs.bin");
        if (bytes.size() == sizeof p)
            memcpy(&p, bytes.data(), sizeof p);
        return p;
    }

private:
    // A pseudo-terminal that passes bytes as they are; its master kept in
    // master_, its other end returned for the camera.
    bool open_console(int &console)
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return false;
        const char *name = ptsname(master_);
        console = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        struct termios t;
        if (console < 0 || tcgetattr(console, &t) != 0)
            return false;
        cfmakeraw(&t);
        return tcsetattr(console, TCSANOW, &t) == 0;
    }

    // Copies what the camera writes to its console into `path` until the
    // camera is gone.
    static void copy_console(int master, std::string path)
    {
        FILE *out = fopen(path.c_str(), "w");
        char buf[4096];
        ssize_t n;
        while ((n = read(master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
            if (n > 0 && out) {
                fwrite(buf, 1, (size_t)n, out);
                fflush(out);
            }
        }
        if (out)
            fclose(out);
    }

    // Once the camera has ended: all it wrote is in out.txt.
    void close_console()
    {
        if (copier_.joinable())
            copier_.join();
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }

    std::string root_;
    int master_ = -1;
    std::thread copier_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool done_ = false;
    int runs_ = 0;
};

// What a recording holds, read back as a player would.
struct Media {
    bool opened = false;
    std::string video, audio; // codec names
    int width = 0, height = 0;
    double duration = 0;       // seconds
    long video_frames = 0;     // decoded
    long audio_frames = 0;     // decoded
    bool decode_errors = false;
};

inline Media probe(const std::string &path)
{
    Media m;
    av_log_set_level(AV_LOG_QUIET);
    const mp4test::File f = mp4test::probe_file(path);
    m.opened = f.opened;
    if (const mp4test::Track *v = f.of(AVMEDIA_TYPE_VIDEO)) {
        m.video = avcodec_get_name(v->codec);
        m.width = v->width;
        m.height = v->height;
        m.video_frames = v->decoded;
        m.duration = std::max(m.duration, mp4test::seconds(*v));
    }
    if (const mp4test::Track *a = f.of(AVMEDIA_TYPE_AUDIO)) {
        m.audio = avcodec_get_name(a->codec);
        m.audio_frames = a->decoded;
        m.duration = std::max(m.duration, mp4test::seconds(*a));
    }
    for (const mp4test::Track &t : f.tracks)
        m.decode_errors = m.decode_errors || t.errors > 0;
    return m;
}

// A JPEG that decodes whole: its width and the mean of its luma (0..255);
// width 0 when it does not decode.
struct Picture {
    int width = 0;
    double luma = 0;
};

inline Picture jpeg(const std::string &path)
{
    Picture pic;
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) != 0)
        return pic;
    const AVCodec *dec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext *ctx = avcodec_alloc_context3(dec);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    if (avformat_find_stream_info(fmt, nullptr) >= 0 && avcodec_open2(ctx, dec, nullptr) == 0 &&
        av_read_frame(fmt, pkt) == 0 && avcodec_send_packet(ctx, pkt) == 0 && avcodec_receive_frame(ctx, frame) == 0) {
        pic.width = frame->width;
        double sum = 0;
        for (int y = 0; y < frame->height; y++)
            for (int x = 0; x < frame->width; x++)
                sum += frame->data[0][y * frame->linesize[0] + x];
        pic.luma = sum / ((double)frame->width * frame->height);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return pic;
}

// Waits until the recording's index is written (the file opens as MP4).
inline bool wait_complete(Camera &cam, const std::string &path, double seconds = 15)
{
    return cam.wait_until(seconds, [&] {
        av_log_set_level(AV_LOG_QUIET);
        AVFormatContext *fmt = nullptr;
        if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) != 0)
            return false;
        avformat_close_input(&fmt);
        return true;
    });
}

inline void expect_playable(const Media &m, const std::string &video_codec = "h264")
{
    EXPECT_TRUE(m.opened);
    EXPECT_EQ(video_codec, m.video);
    EXPECT_EQ("aac", m.audio);
    EXPECT_GT(m.video_frames, 0);
    EXPECT_GT(m.audio_frames, 0);
    EXPECT_FALSE(m.decode_errors);
}

// REC: a recording starts. The events.log line count before the key.
inline size_t rec_start(Camera &cam)
{
    size_t mark = cam.event_count();
    cam.send("key rec tap");
    EXPECT_TRUE(cam.wait_event("venc chn 1 start", 15, mark)) << "no recording";
    return mark;
}

// REC again: the recording that started after `mark` ends.
inline void rec_stop(Camera &cam, size_t mark)
{
    cam.send("key rec tap");
    EXPECT_TRUE(cam.wait_event("venc chn 1 stop", 15, mark)) << "the recording went on";
}

// The pictures the recording channel coded from its last start to its stop
// or to a power cut, as the board logs them: what a recording made, however
// fast a loaded host kept up. -1 when none is logged.
inline long coded_pictures(const Camera &cam)
{
    const std::string what = " pictures coded since the start";
    const std::vector<std::string> all = cam.events();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        const size_t chn = it->find(" venc chn 1 "), colon = it->find(": "), end = it->find(what);
        if (chn != std::string::npos && colon != std::string::npos && end != std::string::npos && colon < end)
            return std::stol(it->substr(colon + 2, end - colon - 2));
    }
    return -1;
}

// The one movie in MOVIE, finished and playable; its path, empty when there
// is not exactly one.
inline std::string one_playable_movie(Camera &cam, const std::string &video_codec = "h264")
{
    std::vector<std::string> movies = cam.movies();
    EXPECT_EQ(1u, movies.size());
    if (movies.size() != 1)
        return "";
    EXPECT_TRUE(wait_complete(cam, movies[0]));
    expect_playable(probe(movies[0]), video_codec);
    return movies[0];
}

} // namespace e2e

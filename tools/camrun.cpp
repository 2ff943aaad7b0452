// camrun: runs the camera on the simulated board in the foreground.
//
//   camrun [-r ROOT] [-s SECONDS]
//
// The camera (the `camera` binary beside this tool) starts as a child on the
// board root ROOT (default $BOARD_ROOT, then ./board-root); its messages go to
// ROOT/camera.log. Through board.sock, as camctl does:
//
// - standard input a terminal: single keys drive the camera and one status
//   line shows its mode, recording, LEDs and the card's free space:
//     r REC   m MODE   M MODE hold   t TV cable   u USB cable cycle
//     q the power key (the camera switches off; q again leaves)
//     p power the camera on again after it switched off
// - otherwise: it records SECONDS (default 4) in record mode 1, presses the
//   power key and prints each new recording's name, codecs, picture size,
//   frame rate, file size and duration. Exit status 0 when a recording was
//   made.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tools/board_client.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string g_root;
std::string g_camera;

// ---- the board's control socket ----------------------------------------------------------

std::string board(const std::string &line) { return board_client::command(g_root, line); }

// A field of the status line, empty when missing.
std::string status_field(const std::string &status, const std::string &key)
{
    size_t at = status.find(key + "=");
    if (at == std::string::npos)
        return "";
    at += key.size() + 1;
    return status.substr(at, status.find(' ', at) - at);
}

// ---- the camera as a child ------------------------------------------------------------------

struct Camera {
    pid_t pid = -1;
    int out = -1; // the pseudo-terminal's master: the camera's output, line by line
    std::thread reader;
    std::mutex lock;
    std::string mode = "starting";
    bool recording = false;
    bool keys_on = false;
    std::vector<std::string> lines; // kept for the non-interactive run
    std::atomic<bool> ended{false};
    int status = 0;
};

void note_line(Camera &cam, const std::string &line)
{
    static const struct {
        const char *text, *mode;
    } modes[] = {
        {"app_rec_mode1_start", "record 1"}, {"app_rec_mode2_start", "record 2"}, {"app_pho_mode_start", "photo"},
        {"app_usb_msc en", "USB disk"},      {"app_fw_update_start", "firmware update"},
        {"app_setting_update_start", "settings update"}, {"the MCU will shut down", "powering off"},
    };
    std::lock_guard<std::mutex> lock(cam.lock);
    for (auto &m : modes)
        if (line.find(m.text) != std::string::npos)
            cam.mode = m.mode;
    if (line.find("KX_DV_StartGetStream") != std::string::npos)
        cam.recording = true;
    if (line.find("stop record end") != std::string::npos || line.find("AMSG_RECORD_COMPLETE") != std::string::npos)
        cam.recording = false;
    if (line.find("button enable") != std::string::npos)
        cam.keys_on = true;
    if (line.find("button disable") != std::string::npos)
        cam.keys_on = false;
    cam.lines.push_back(line);
}

// The camera's output through a pseudo-terminal, so that it comes line by
// line as on the camera's console; copied to ROOT/camera.log.
void read_output(Camera *cam)
{
    FILE *log = fopen((g_root + "/camera.log").c_str(), "a");
    std::string line;
    char buf[4096];
    for (;;) {
        ssize_t n = read(cam->out, buf, sizeof buf);
        if (n <= 0)
            break;
        if (log) {
            fwrite(buf, 1, (size_t)n, log);
            fflush(log);
        }
        for (ssize_t i = 0; i < n; i++) {
            if (buf[i] == '\n' || buf[i] == '\r') {
                if (!line.empty())
                    note_line(*cam, line);
                line.clear();
            } else {
                line += buf[i];
            }
        }
    }
    if (log)
        fclose(log);
}

bool start_camera(Camera &cam)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        perror("camrun: pseudo-terminal");
        return false;
    }
    const char *slave_name = ptsname(master);
    int slave = slave_name ? open(slave_name, O_RDWR | O_NOCTTY) : -1;
    if (slave < 0) {
        perror("camrun: pseudo-terminal");
        close(master);
        return false;
    }
    struct termios t;
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    unlink((g_root + "/board.sock").c_str());
    pid_t pid = fork();
    if (pid < 0) {
        perror("camrun: fork");
        close(master);
        close(slave);
        return false;
    }
    if (pid == 0) {
        setsid();
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        setenv("BOARD_ROOT", g_root.c_str(), 1);
        execl(g_camera.c_str(), g_camera.c_str(), (char *)nullptr);
        fprintf(stderr, "camrun: can't run %s: %s\n", g_camera.c_str(), strerror(errno));
        _exit(127);
    }
    close(slave);
    cam.pid = pid;
    cam.out = master;
    cam.ended = false;
    {
        std::lock_guard<std::mutex> lock(cam.lock);
        cam.mode = "starting";
        cam.recording = false;
        cam.keys_on = false;
        cam.lines.clear();
    }
    cam.reader = std::thread(read_output, &cam);
    return true;
}

// True once the camera has ended (its status kept).
bool camera_ended(Camera &cam)
{
    if (cam.ended)
        return true;
    int status;
    if (waitpid(cam.pid, &status, WNOHANG) == cam.pid) {
        cam.status = status;
        cam.ended = true;
        if (cam.reader.joinable())
            cam.reader.join(); // the pseudo-terminal reports its end once the camera is gone
        close(cam.out);
        cam.out = -1;
    }
    return cam.ended;
}

// Waits until `ready` holds or `seconds` pass; false on time-out or when the
// camera ended.
template <class Fn> bool wait_until(Camera &cam, double seconds, Fn ready)
{
    auto deadline = Clock::now() + std::chrono::milliseconds((long)(seconds * 1000));
    while (Clock::now() < deadline) {
        if (ready())
            return true;
        if (camera_ended(cam))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}

bool seen(Camera &cam, const std::string &text, size_t from = 0)
{
    std::lock_guard<std::mutex> lock(cam.lock);
    for (size_t i = from; i < cam.lines.size(); i++)
        if (cam.lines[i].find(text) != std::string::npos)
            return true;
    return false;
}

size_t line_count(Camera &cam)
{
    std::lock_guard<std::mutex> lock(cam.lock);
    return cam.lines.size();
}

std::string mode_of(Camera &cam)
{
    std::lock_guard<std::mutex> lock(cam.lock);
    return cam.mode;
}

// ---- the recordings on the card --------------------------------------------------------------

std::set<std::string> movies()
{
    std::set<std::string> names;
    std::error_code ec;
    for (auto &e : fs::directory_iterator(g_root + "/mnt/sdcard0/MOVIE", ec))
        if (e.path().extension() == ".mp4")
            names.insert(e.path().string());
    return names;
}

bool describe(const std::string &path)
{
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) != 0) {
        printf("%s: not a playable MP4\n", path.c_str());
        return false;
    }
    bool ok = avformat_find_stream_info(fmt, nullptr) >= 0;
    std::string codecs;
    for (unsigned i = 0; i < fmt->nb_streams; i++) {
        const AVStream *st = fmt->streams[i];
        const AVCodecParameters *par = st->codecpar;
        if (!codecs.empty())
            codecs += " + ";
        codecs += avcodec_get_name(par->codec_id);
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            codecs += " " + std::to_string(par->width) + "x" + std::to_string(par->height);
            const AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
            if (rate.num > 0 && rate.den > 0) {
                char fps[32];
                snprintf(fps, sizeof fps, " %.4g fps", av_q2d(rate));
                codecs += fps;
            }
        }
    }
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    double seconds = fmt->duration > 0 ? (double)fmt->duration / AV_TIME_BASE : 0;
    printf("%s: %s, %llu bytes, %.2f s\n", fs::path(path).filename().c_str(), codecs.c_str(),
           (unsigned long long)size, seconds);
    avformat_close_input(&fmt);
    return ok && seconds > 0;
}

// ---- the two forms ------------------------------------------------------------------------------

int stop_and_report(Camera &cam, int rc)
{
    if (!camera_ended(cam)) {
        kill(cam.pid, SIGTERM);
        wait_until(cam, 10, [] { return false; });
        if (!camera_ended(cam)) {
            kill(cam.pid, SIGKILL);
            wait_until(cam, 5, [] { return false; });
        }
    }
    return rc;
}

int run_batch(double seconds)
{
    Camera cam;
    std::set<std::string> before = movies();
    if (!start_camera(cam))
        return 1;
    auto fail = [&](const char *why) {
        fprintf(stderr, "camrun: %s (see %s/camera.log)\n", why, g_root.c_str());
        return stop_and_report(cam, 1);
    };
    if (!wait_until(cam, 30, [&] { return mode_of(cam) != "starting"; }))
        return fail("the camera did not start an application");
    // The keys cycle the modes: record 1, record 2, photo.
    for (int taps = 0; mode_of(cam) != "record 1"; taps++) {
        if (taps == 3 || !wait_until(cam, 20, [&] { return seen(cam, "button enable", 0); }))
            return fail("the camera did not reach record mode 1");
        size_t from = line_count(cam);
        board("key mode tap");
        if (!wait_until(cam, 20, [&] { return seen(cam, "_start", from); }))
            return fail("MODE did not change the mode");
    }
    if (!wait_until(cam, 30, [&] {
            std::lock_guard<std::mutex> lock(cam.lock);
            return cam.keys_on;
        }))
        return fail("record mode 1 did not come up");
    size_t from = line_count(cam);
    printf("recording %.1f s in record mode 1 on %s\n", seconds, g_root.c_str());
    board("key rec tap");
    if (!wait_until(cam, 10, [&] { return seen(cam, "KX_DV_StartGetStream", from); }))
        return fail("REC did not start a recording");
    std::this_thread::sleep_for(std::chrono::milliseconds((long)(seconds * 1000)));
    // The camera ignores REC until the file holds its first second, which a
    // loaded host can take longer to capture: tap again, as a user would.
    // The stream thread's end shows the tap was taken.
    from = line_count(cam);
    bool stopping = false;
    for (int tap = 0; tap < 5 && !stopping; tap++) {
        board("key rec tap");
        stopping = wait_until(cam, 3, [&] { return seen(cam, "KX_DV_GetVencStreamProc run end", from); });
    }
    if (!stopping || !wait_until(cam, 15, [&] { return seen(cam, "stop record end", from); }))
        return fail("REC did not end the recording");
    board("key power tap");
    if (!wait_until(cam, 20, [] { return false; }) && !camera_ended(cam))
        return fail("the camera did not power off");
    printf("the camera powered off\n");
    bool any = false;
    for (auto &m : movies())
        if (!before.count(m))
            any = describe(m) || any;
    if (!any)
        fprintf(stderr, "camrun: no new recording on the card\n");
    return any ? 0 : 1;
}

struct RawTerminal {
    termios saved{};
    bool on = false;
    RawTerminal()
    {
        if (tcgetattr(0, &saved) != 0)
            return;
        termios t = saved;
        t.c_lflag &= ~(ICANON | ECHO);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        on = tcsetattr(0, TCSANOW, &t) == 0;
    }
    ~RawTerminal()
    {
        if (on)
            tcsetattr(0, TCSANOW, &saved);
    }
};

std::atomic<bool> g_interrupted{false};

void show_status(Camera &cam, const std::string &note)
{
    if (cam.ended) {
        printf("\r\033[K[off] %s", note.c_str());
        fflush(stdout);
        return;
    }
    std::string mode = "off", rec = "-";
    if (!cam.ended) {
        std::lock_guard<std::mutex> lock(cam.lock);
        mode = cam.mode;
        rec = cam.recording ? "REC" : "-";
    }
    std::string s = cam.ended ? "" : board("status");
    std::string leds = status_field(s, "leds"), free_kb = status_field(s, "card_free_kb");
    long long free_mb = free_kb.empty() ? -1 : atoll(free_kb.c_str()) / 1024;
    printf("\r\033[K[%s] %s leds=%s card free %s MB  usb=%s tv=%s  %s", mode.c_str(), rec.c_str(),
           leds.empty() ? "----" : leds.c_str(), free_mb < 0 ? "?" : std::to_string(free_mb).c_str(),
           status_field(s, "usb").c_str(), status_field(s, "tv").c_str(), note.c_str());
    fflush(stdout);
}

int run_interactive()
{
    Camera cam;
    if (!start_camera(cam))
        return 1;
    signal(SIGINT, [](int) { g_interrupted = true; });
    printf("camera on %s (messages in camera.log)\n"
           "r REC  m MODE  M MODE hold  t TV  u USB cycle  q power key  p power on\n",
           g_root.c_str());
    RawTerminal raw;
    bool tv = false;
    int usb = 0;
    const char *usb_names[] = {"none", "charger", "host"};
    std::string note;
    while (!g_interrupted) {
        pollfd p = {0, POLLIN, 0};
        int n = poll(&p, 1, 250);
        bool off = camera_ended(cam);
        if (n > 0 && (p.revents & POLLIN)) {
            char c = 0;
            if (read(0, &c, 1) != 1)
                break;
            std::string cmd;
            switch (c) {
            case 'r': cmd = "key rec tap"; break;
            case 'm': cmd = "key mode tap"; break;
            case 'M': cmd = "key mode hold 2.5"; break;
            case 't':
                tv = !tv;
                cmd = tv ? "tv in" : "tv out";
                break;
            case 'u':
                usb = (usb + 1) % 3;
                cmd = std::string("usb ") + usb_names[usb];
                break;
            case 'q':
                if (off)
                    g_interrupted = true;
                else
                    cmd = "key power tap";
                break;
            case 'p':
                if (off) {
                    if (cam.reader.joinable())
                        cam.reader.join();
                    start_camera(cam);
                    tv = false;
                    usb = 0;
                    note = "powered on";
                }
                break;
            default:
                break;
            }
            if (!cmd.empty() && !off) {
                // A hold keeps the socket busy: it runs beside the status line.
                std::thread([cmd] { board(cmd); }).detach();
                note = cmd;
            }
        }
        if (off && note != "off: p powers on, q leaves")
            note = "off: p powers on, q leaves";
        show_status(cam, note);
    }
    printf("\n");
    return stop_and_report(cam, 0);
}

int usage()
{
    fprintf(stderr, "usage: camrun [-r ROOT] [-s SECONDS]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    const char *env = getenv("BOARD_ROOT");
    g_root = env && *env ? env : "./board-root";
    double seconds = 4;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-r") && i + 1 < argc) {
            g_root = argv[++i];
        } else if (!strcmp(argv[i], "-s") && i + 1 < argc) {
            char *end = nullptr;
            seconds = strtod(argv[++i], &end);
            if (*end || seconds <= 0 || seconds > 600)
                return usage();
        } else {
            return usage();
        }
    }
    std::error_code ec;
    fs::create_directories(g_root, ec);
    g_root = fs::absolute(g_root, ec).lexically_normal().string();
    g_camera = (fs::path(argv[0]).parent_path() / "camera").string();
    if (access(g_camera.c_str(), X_OK) != 0) {
        fprintf(stderr, "camrun: no camera binary at %s\n", g_camera.c_str());
        return 1;
    }
    return isatty(0) ? run_interactive() : run_batch(seconds);
}

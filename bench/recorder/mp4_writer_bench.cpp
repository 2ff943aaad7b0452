// The MP4 writer on canned streams.
//
// BM_RemuxMinuteOf1080p30: the writer against `ffmpeg -c copy`: both remux
// the same minute of 1080p30 H.264 and 48 kHz mono AAC (ADTS) elementary
// streams into an MP4 file. Each iteration runs both and compares their CPU
// time (user + system): ours from the process clock around read, split and
// write; ffmpeg's from the child's resource usage.
//
// BM_BackupIndexOf3MinutesOf1080p60: what the backup index costs a
// full-length recording as the camera makes it by default: three minutes of
// 1080p60 H.264 at the bit-rate table's rate for it, with its sound, written
// without and with a backup index at the MP4 thread's interval, in the same
// iteration. The bytes the backups write (the process's written bytes, with
// less without) as a share of the file's, and the writer's CPU time both
// ways.
#include "board/board.h"
#include "board/sim/sim.h"
#include "recorder/dv_config.h"
#include "recorder/dv_mp4.h"
#include "recorder/dv_pipeline.h"
#include "recorder/mp4/mp4_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Canned streams: `seconds` of `fps` H.264 at `bits` a second and their
// sound, kept in their folder between runs.
struct Canned {
    const char *folder;
    int seconds, fps;
    long bits;
    bool noise; // a picture with the detail to take the rate
};

const Canned kMinuteOf1080p30 = {"camera-bench-mp4", 60, 30, 12000000, false};
// Ten seconds, looped into a full-length file: the rate the table gives
// 1080p60 at the default quality, as the MP4 thread hands it to the writer.
const Canned kTenSecondsOf1080p60 = {"camera-bench-mp4-1080p60", 10, 60,
                                     (long)KX_DV_Get_BitRate(3, PT_H264, PIC_HD1080, 60) * 1024, true};

fs::path fixture_dir(const Canned &c)
{
    const char *tmp = getenv("TMPDIR");
    return fs::path(tmp && *tmp ? tmp : "/tmp") / c.folder;
}

int run(const std::vector<std::string> &args, double *cpu_seconds = nullptr)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid)
        return -1;
    if (cpu_seconds)
        *cpu_seconds = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The canned streams, encoded once and kept between runs: key frames every
// second carrying their parameter sets, no B frames, as the camera encodes.
bool make_fixture(const Canned &c, const fs::path &dir)
{
    if (fs::exists(dir / "done"))
        return true;
    fs::create_directories(dir);
    std::string t = std::to_string(c.seconds), rate = std::to_string(c.bits);
    std::string source = "testsrc2=size=1920x1080:rate=" + std::to_string(c.fps);
    if (c.noise)
        source += ",noise=alls=30:allf=t";
    int v = run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-t", t, "-c:v", "libx264",
                 "-preset", "ultrafast", "-bf", "0", "-g", std::to_string(c.fps), "-b:v", rate, "-maxrate", rate,
                 "-bufsize", rate, "-x264-params", "scenecut=0:repeat-headers=1", "-f", "h264",
                 (dir / "v.h264").string()});
    int a = run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000",
                 "-t", t, "-ac", "1", "-c:a", "aac", "-b:a", "128k", "-f", "adts", (dir / "a.aac").string()});
    if (v != 0 || a != 0)
        return false;
    FILE *f = fopen((dir / "done").c_str(), "w");
    if (f)
        fclose(f);
    return true;
}

// A fixture file mapped read-only: the bytes come straight from the page
// cache, as ffmpeg's reads take them, with no buffer to clear and fill.
class Mapped {
public:
    explicit Mapped(const fs::path &p)
    {
        int fd = open(p.c_str(), O_RDONLY);
        struct stat st {};
        if (fd < 0)
            return;
        if (fstat(fd, &st) == 0 && st.st_size > 0) {
            void *m = mmap(nullptr, (size_t)st.st_size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (m != MAP_FAILED) {
                data_ = static_cast<const uint8_t *>(m);
                size_ = (size_t)st.st_size;
            }
        }
        close(fd);
    }
    ~Mapped()
    {
        if (data_)
            munmap(const_cast<uint8_t *>(data_), size_);
    }
    Mapped(const Mapped &) = delete;
    Mapped &operator=(const Mapped &) = delete;
    const uint8_t *data() const { return data_; }
    size_t size() const { return size_; }

private:
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
};

struct Unit {
    size_t at, len;
    bool key;
};

// Access units of an H.264 byte stream: a new one begins with a parameter
// set, a delimiter, or with any unit after the current one's picture.
std::vector<Unit> split_h264(const Mapped &m)
{
    std::vector<Unit> out;
    bool has_picture = false;
    const uint8_t *b = m.data();
    size_t n = m.size();
    for (size_t i = 0; i + 4 < n; i++) {
        if (b[i + 2] > 1) {
            i += 2;
            continue;
        }
        if (!(b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1))
            continue;
        size_t sc = (i > 0 && b[i - 1] == 0) ? i - 1 : i;
        unsigned type = b[i + 3] & 0x1f;
        bool picture = type >= 1 && type <= 5;
        if (out.empty() || type == 7 || type == 9 || has_picture) {
            if (!out.empty())
                out.back().len = sc - out.back().at;
            out.push_back(Unit{sc, 0, false});
            has_picture = false;
        }
        if (picture)
            has_picture = true;
        if (type == 5)
            out.back().key = true;
        i += 2;
    }
    if (!out.empty())
        out.back().len = n - out.back().at;
    return out;
}

std::vector<Unit> split_adts(const Mapped &m)
{
    std::vector<Unit> out;
    const uint8_t *b = m.data();
    size_t at = 0;
    while (at + 7 <= m.size() && b[at] == 0xFF && (b[at + 1] & 0xF6) == 0xF0) {
        size_t len = ((b[at + 3] & 3u) << 11) | (b[at + 4] << 3) | (b[at + 5] >> 5);
        if (len < 7 || at + len > m.size())
            break;
        out.push_back(Unit{at, len, true});
        at += len;
    }
    return out;
}

double process_cpu()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The elementary streams of a fixture, split into samples.
struct Streams {
    explicit Streams(const fs::path &dir) : v(dir / "v.h264"), a(dir / "a.aac"), vu(split_h264(v)), au(split_adts(a)) {}
    Mapped v, a;
    std::vector<Unit> vu, au;
};

// Writes the streams `loops` times over into one file; the audio of each
// frame's interval follows it, as the MP4 thread orders them.
bool write_file(const Canned &c, const Streams &s, const char *name, int loops, size_t *frames)
{
    MP4_BITMAPINFOHEADER_S vp = {};
    vp.eCodeid = MP4_CODEC_ID_H264;
    vp.u32BiWidth = 1920;
    vp.u32BiHeight = 1080;
    vp.u32BitCount = 16;
    vp.u32avgBitRate = (uint32_t)c.bits;
    vp.u32samplePerSec = (uint32_t)c.fps;
    MP4_WAVEFORMATEX_S ap = {};
    ap.eCodeid = MP4_CODEC_ID_AACLC;
    ap.u32Channels = 1;
    ap.u32SamplesPerSec = 48000;
    ap.u32AvgBytesPerSec = 32000;
    ap.u16BlockAlign = 1024;
    ap.u16BitsPerSample = 16;
    MP4Handle h = nullptr;
    int32_t vn = 0, an = 0;
    if (s.vu.empty() || s.au.empty() || MP4_CreateWriter(&h, name) != 0)
        return false;
    bool ok = MP4_SetVideoStreamParams(h, &vn, &vp) == 0 && MP4_SetAudioStreamParams(h, &an, &ap) == 0 &&
              MP4_BeginWriting(h) == 0;
    const size_t n = s.vu.size(), total = n * (size_t)loops;
    size_t next_audio = 0;
    for (size_t i = 0; ok && i < total; i++) {
        const Unit &u = s.vu[i % n];
        ok = MP4_WriteFrame(h, (uint32_t)vn, 0, s.v.data() + u.at, (uint32_t)u.len, u.key) == 0;
        while (ok && (uint64_t)next_audio * 1024 * (uint64_t)c.fps < (uint64_t)(i + 1) * 48000) {
            const Unit &p = s.au[next_audio++ % s.au.size()];
            ok = MP4_WriteFrame(h, (uint32_t)an, 0, s.a.data() + p.at, (uint32_t)p.len, 0) == 0;
        }
    }
    ok = MP4_EndWriting(h) == 0 && ok;
    MP4_DestroyWriter(h, nullptr);
    *frames = total;
    return ok;
}

// Reads, splits and writes one minute, in place of the last iteration's
// file (the writer never writes over one; ffmpeg truncates its own).
bool remux_with_writer(const fs::path &dir, size_t *frames)
{
    fs::remove(bd_path("/ours.mp4"));
    return write_file(kMinuteOf1080p30, Streams(dir), "/ours.mp4", 1, frames);
}

// Bytes this process has handed to write calls so far.
uint64_t written_bytes()
{
    FILE *f = fopen("/proc/self/io", "r");
    if (!f)
        return 0;
    char key[32];
    unsigned long long v = 0, wchar = 0;
    while (fscanf(f, "%31[^:]: %llu\n", key, &v) == 2)
        if (strcmp(key, "wchar") == 0)
            wchar = v;
    fclose(f);
    return wchar;
}

void BM_RemuxMinuteOf1080p30(benchmark::State &state)
{
    fs::path dir = fixture_dir(kMinuteOf1080p30);
    if (!make_fixture(kMinuteOf1080p30, dir)) {
        state.SkipWithError("cannot encode the canned streams with ffmpeg");
        return;
    }
    sim::start(dir.string());
    double ours = 0, theirs = 0;
    size_t frames = 0;
    for (auto _ : state) {
        double t0 = process_cpu();
        if (!remux_with_writer(dir, &frames)) {
            state.SkipWithError("the writer failed");
            return;
        }
        double mine = process_cpu() - t0;
        double ff = 0;
        if (run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-framerate", std::to_string(kMinuteOf1080p30.fps), "-f",
                 "h264", "-i",
                 (dir / "v.h264").string(), "-f", "aac", "-i", (dir / "a.aac").string(), "-map", "0:v", "-map",
                 "1:a", "-c", "copy", (dir / "ffmpeg.mp4").string()},
                &ff) != 0) {
            state.SkipWithError("ffmpeg -c copy failed");
            return;
        }
        ours += mine;
        theirs += ff;
        state.SetIterationTime(mine);
    }
    double n = (double)state.iterations();
    state.counters["writer_cpu_s"] = ours / n;
    state.counters["ffmpeg_cpu_s"] = theirs / n;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
    state.counters["frames"] = (double)frames;
}
BENCHMARK(BM_RemuxMinuteOf1080p30)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_BackupIndexOf3MinutesOf1080p60(benchmark::State &state)
{
    const Canned &c = kTenSecondsOf1080p60;
    const int loops = 180 / c.seconds;
    fs::path dir = fixture_dir(c);
    if (!make_fixture(c, dir)) {
        state.SkipWithError("cannot encode the canned streams with ffmpeg");
        return;
    }
    const Streams streams(dir);
    // The files go to memory where there is some: two of 750 MB an iteration.
    fs::path root = fs::is_directory("/dev/shm") ? fs::path("/dev/shm/camera-bench-backup") : dir / "root";
    sim::start(root.string());
    const char *const name = "/full.mp4";
    double cpu[2] = {0, 0};
    uint64_t backup_bytes = 0, file_bytes = 0;
    size_t frames = 0;
    for (auto _ : state) {
        uint64_t wrote[2] = {0, 0};
        for (int backup = 0; backup < 2; backup++) {
            MP4_InitWriter(backup ? DV_MP4_BACKUP_KEY_FRAMES : 0);
            uint64_t w0 = written_bytes();
            double t0 = process_cpu();
            bool ok = write_file(c, streams, name, loops, &frames);
            double spent = process_cpu() - t0;
            wrote[backup] = written_bytes() - w0;
            if (!ok) {
                state.SkipWithError("the writer failed");
                return;
            }
            cpu[backup] += spent;
            if (backup)
                state.SetIterationTime(spent);
            file_bytes = fs::file_size(bd_path(name));
            fs::remove(bd_path(name));
        }
        backup_bytes += wrote[1] > wrote[0] ? wrote[1] - wrote[0] : 0;
    }
    MP4_InitWriter(0);
    fs::remove_all(root);
    double n = (double)state.iterations();
    state.counters["interval_key_frames"] = DV_MP4_BACKUP_KEY_FRAMES;
    state.counters["file_MB"] = (double)file_bytes / 1e6;
    state.counters["rate_Mbit_s"] = (double)file_bytes * 8 / 180 / 1e6;
    state.counters["backup_MB"] = (double)backup_bytes / n / 1e6;
    state.counters["backup_share_pct"] = file_bytes ? 100.0 * (double)backup_bytes / n / (double)file_bytes : 0;
    state.counters["cpu_off_s"] = cpu[0] / n;
    state.counters["cpu_on_s"] = cpu[1] / n;
    state.counters["cpu_on_over_off"] = cpu[0] > 0 ? cpu[1] / cpu[0] : 0;
    state.counters["frames"] = (double)frames;
}
BENCHMARK(BM_BackupIndexOf3MinutesOf1080p60)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

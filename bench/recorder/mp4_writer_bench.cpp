// The MP4 writer against `ffmpeg -c copy`: both remux the same minute of
// 1080p30 H.264 and 48 kHz mono AAC (ADTS) elementary streams into an MP4
// file. Each iteration runs both and compares their CPU time (user + system):
// ours from the process clock around read, split and write; ffmpeg's from
// the child's resource usage.
#include "board/board.h"
#include "board/sim/sim.h"
#include "recorder/mp4_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const int kSeconds = 60;
const int kFps = 30;

fs::path fixture_dir()
{
    const char *tmp = getenv("TMPDIR");
    return fs::path(tmp && *tmp ? tmp : "/tmp") / "camera-bench-mp4";
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
bool make_fixture(const fs::path &dir)
{
    if (fs::exists(dir / "done"))
        return true;
    fs::create_directories(dir);
    std::string t = std::to_string(kSeconds);
    int v = run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                 "testsrc2=size=1920x1080:rate=" + std::to_string(kFps), "-t", t, "-c:v", "libx264", "-preset",
                 "ultrafast", "-bf", "0", "-g", std::to_string(kFps), "-b:v", "12M", "-maxrate", "12M", "-bufsize",
                 "12M", "-x264-params", "scenecut=0:repeat-headers=1", "-f", "h264", (dir / "v.h264").string()});
    int a = run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=48000",
                 "-t", t, "-ac", "1", "-c:a", "aac", "-b:a", "128k", "-f", "adts", (dir / "a.aac").string()});
    if (v != 0 || a != 0)
        return false;
    FILE *f = fopen((dir / "done").c_str(), "w");
    if (f)
        fclose(f);
    return true;
}

std::vector<uint8_t> slurp(const fs::path &p)
{
    std::vector<uint8_t> b;
    FILE *f = fopen(p.c_str(), "rb");
    if (!f)
        return b;
    fseek(f, 0, SEEK_END);
    b.resize((size_t)ftell(f));
    fseek(f, 0, SEEK_SET);
    if (fread(b.data(), 1, b.size(), f) != b.size())
        b.clear();
    fclose(f);
    return b;
}

struct Unit {
    size_t at, len;
    bool key;
};

// Access units of an H.264 byte stream: a new one begins with a parameter
// set, a delimiter, or with any unit after the current one's picture.
std::vector<Unit> split_h264(const std::vector<uint8_t> &b)
{
    std::vector<Unit> out;
    bool has_picture = false;
    size_t n = b.size();
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

std::vector<Unit> split_adts(const std::vector<uint8_t> &b)
{
    std::vector<Unit> out;
    size_t at = 0;
    while (at + 7 <= b.size() && b[at] == 0xFF && (b[at + 1] & 0xF6) == 0xF0) {
        size_t len = ((b[at + 3] & 3u) << 11) | (b[at + 4] << 3) | (b[at + 5] >> 5);
        if (len < 7 || at + len > b.size())
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

// Reads, splits and writes; the audio of each frame's interval follows it,
// as the MP4 thread orders them.
bool remux_with_writer(const fs::path &dir, size_t *frames)
{
    std::vector<uint8_t> v = slurp(dir / "v.h264"), a = slurp(dir / "a.aac");
    std::vector<Unit> vu = split_h264(v), au = split_adts(a);
    MP4_BITMAPINFOHEADER_S vp = {};
    vp.eCodeid = MP4_CODEC_ID_H264;
    vp.u32BiWidth = 1920;
    vp.u32BiHeight = 1080;
    vp.u32BitCount = 16;
    vp.u32avgBitRate = 12 * 1024 * 1024;
    vp.u32samplePerSec = kFps;
    MP4_WAVEFORMATEX_S ap = {};
    ap.eCodeid = MP4_CODEC_ID_AACLC;
    ap.u32Channels = 1;
    ap.u32SamplesPerSec = 48000;
    ap.u32AvgBytesPerSec = 32000;
    ap.u16BlockAlign = 1024;
    ap.u16BitsPerSample = 16;
    MP4Handle h = nullptr;
    int32_t vn = 0, an = 0;
    if (MP4_CreateWriter(&h, "/ours.mp4") != 0)
        return false;
    bool ok = MP4_SetVideoStreamParams(h, &vn, &vp) == 0 && MP4_SetAudioStreamParams(h, &an, &ap) == 0 &&
              MP4_BeginWriting(h) == 0;
    size_t next_audio = 0;
    for (size_t i = 0; ok && i < vu.size(); i++) {
        ok = MP4_WriteFrame(h, (uint32_t)vn, 0, v.data() + vu[i].at, (uint32_t)vu[i].len, vu[i].key) == 0;
        while (ok && next_audio < au.size() && (uint64_t)next_audio * 1024 * kFps < (uint64_t)(i + 1) * 48000) {
            const Unit &u = au[next_audio++];
            ok = MP4_WriteFrame(h, (uint32_t)an, 0, a.data() + u.at, (uint32_t)u.len, 0) == 0;
        }
    }
    ok = MP4_EndWriting(h) == 0 && ok;
    MP4_DestroyWriter(h, nullptr);
    *frames = vu.size();
    return ok;
}

void BM_RemuxMinuteOf1080p30(benchmark::State &state)
{
    fs::path dir = fixture_dir();
    if (!make_fixture(dir)) {
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
        if (run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-framerate", std::to_string(kFps), "-f", "h264", "-i",
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

} // namespace

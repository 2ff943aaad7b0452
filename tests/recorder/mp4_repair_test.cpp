#include "recorder/mp4_writer.h"

#include "tests/recorder/mp4_media.h"
#include "tests/support/board_fixture.h"

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace mp4test;
using testsupport::capture_stdout;
using testsupport::read_file;
using testsupport::write_file;

constexpr int kFps = 30;
constexpr size_t kFrames = 6 * kFps;

class Mp4Repair : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        MP4_InitWriter(0);
        std::filesystem::create_directories(bd_path("/mnt/sdcard0/MOVIE"));
        aac_ = encode_aac(6 * 48);
    }
    void TearDown() override { MP4_InitWriter(0); }

    static std::string movie(const std::string &name) { return "/mnt/sdcard0/MOVIE/" + name; }
    static std::string host(const std::string &name) { return bd_path(name); }
    static bool exists(const std::string &name) { return std::filesystem::exists(bd_path(name)); }

    // Records frames [0, stop) with a backup index every `interval` key
    // frames; with `finish` the file is ended and destroyed, else the
    // process stops mid-recording, as when the battery is pulled.
    void record(const std::string &name, Codec codec, const std::vector<Frame> &frames, int interval, size_t stop,
                bool finish)
    {
        auto body = [&] {
            MP4_InitWriter(interval);
            Recording rec;
            if (!rec.open(name, codec, 640, 360, kFps))
                return false;
            for (size_t i = 0; i < stop; i++)
                rec.frame(frames[i], aac_, true);
            if (finish)
                rec.close();
            return true;
        };
        if (finish) {
            ASSERT_TRUE(body());
            MP4_InitWriter(0);
            return;
        }
        fflush(stdout);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(body() ? 0 : 1); // no trailer, no clean-up: the muxer's buffer is lost too
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // Audio packets the recording loop writes with the first `frames` frames.
    static size_t audio_with(size_t frames) { return (frames * 48000 + 1024 * kFps - 1) / (1024 * kFps); }

    std::vector<std::vector<uint8_t>> aac_;
};

void expect_same_packets(const Track &got, const Track &want, size_t count)
{
    ASSERT_EQ(got.packets.size(), count);
    ASSERT_GE(want.packets.size(), count);
    for (size_t i = 0; i < count; i++) {
        const Packet &g = got.packets[i], &w = want.packets[i];
        ASSERT_EQ(g.hash, w.hash) << "sample " << i;
        ASSERT_EQ(g.key, w.key) << "sample " << i;
        ASSERT_EQ(av_rescale_q(g.dts, got.time_base, AVRational{1, 96000}),
                  av_rescale_q(w.dts, want.time_base, AVRational{1, 96000}))
            << "sample " << i;
        ASSERT_EQ(av_rescale_q(g.duration, got.time_base, AVRational{1, 96000}),
                  av_rescale_q(w.duration, want.time_base, AVRational{1, 96000}))
            << "sample " << i;
    }
}

// A recording cut off after 5.5 groups of pictures, with a backup every two
// key frames: the repaired file holds exactly the samples of the last backup
// (written before the key frame of 5 s), the same samples a finished
// recording has, and plays to its end.
TEST_F(Mp4Repair, AnAbandonedRecordingIsFinishedUpToItsLastBackup)
{
    struct Case {
        const char *name;
        Codec codec;
    };
    const Case cases[] = {{"H.264", Codec::h264}, {"H.265", Codec::h265}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Frame> frames = encode_video(c.codec, 640, 360, kFps, kFrames, kFps);
        ASSERT_EQ(frames.size(), kFrames);
        std::string ref = movie("ref.mp4"), cut = movie("cut.mp4");
        record(ref, c.codec, frames, 0, kFrames, true);
        record(cut, c.codec, frames, 2, 5 * kFps + kFps / 2, false);

        EXPECT_EQ(MP4_CheckFileIntegrity(cut.c_str()), 0);
        EXPECT_EQ(MP4_CheckFileIntegrity(ref.c_str()), MP4_ERR_ARG);
        std::string out = capture_stdout([&] { EXPECT_EQ(MP4_ReparieFile(cut.c_str()), 0); });
        EXPECT_NE(out.find("repair file /mnt/sdcard0/MOVIE/cut.mp4 success"), std::string::npos);
        EXPECT_FALSE(exists(cut + "_bak.bin"));
        EXPECT_EQ(MP4_CheckFileIntegrity(cut.c_str()), MP4_ERR_ARG);

        File want = probe_file(host(ref)), got = probe_file(host(cut));
        ASSERT_TRUE(got.opened);
        const Track *v = got.of(AVMEDIA_TYPE_VIDEO), *a = got.of(AVMEDIA_TYPE_AUDIO);
        const Track *wv = want.of(AVMEDIA_TYPE_VIDEO), *wa = want.of(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a && wv && wa);
        expect_same_packets(*v, *wv, 5 * kFps);
        expect_same_packets(*a, *wa, audio_with(5 * kFps));
        EXPECT_EQ(v->decoded, 5 * kFps);
        EXPECT_EQ(v->errors, 0);
        EXPECT_EQ(a->decoded, (int)a->packets.size());
        EXPECT_EQ(a->errors, 0);
        // The sample entries describe the stream as the finished file's do,
        // down to the bytes of the decoder configuration box.
        EXPECT_EQ(v->extradata, wv->extradata);
        EXPECT_EQ(v->codec, wv->codec);
        EXPECT_EQ(v->tag, wv->tag);
        EXPECT_EQ(v->width, 640);
        EXPECT_EQ(v->height, 360);
        EXPECT_EQ(v->profile, wv->profile);
        EXPECT_EQ(v->level, wv->level);
        EXPECT_EQ(v->format, wv->format);
        EXPECT_EQ(a->sample_rate, 48000);
        EXPECT_EQ(a->channels, 1);
        EXPECT_EQ(a->extradata, wa->extradata);

        // The file ends with its moov: nothing after the last box.
        std::string bytes = read_file(host(cut));
        size_t at = 0;
        while (at + 8 <= bytes.size()) {
            uint32_t size = (uint8_t)bytes[at] << 24 | (uint8_t)bytes[at + 1] << 16 | (uint8_t)bytes[at + 2] << 8 |
                            (uint8_t)bytes[at + 3];
            ASSERT_GE(size, 8u);
            if (bytes.compare(at + 4, 4, "moov") == 0) {
                EXPECT_EQ(at + size, bytes.size());
            }
            at += size;
        }
        EXPECT_EQ(at, bytes.size());
    }
}

// Backups leave the finished file exactly as without them, and the index
// goes with the writer.
TEST_F(Mp4Repair, AFinishedRecordingWithBackupsIsTheSameFileWithoutItsIndex)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, kFrames, kFps);
    ASSERT_EQ(frames.size(), kFrames);
    std::string plain = movie("plain.mp4"), backed = movie("backed.mp4");
    record(plain, Codec::h264, frames, 0, kFrames, true);
    record(backed, Codec::h264, frames, 1, kFrames, true);
    EXPECT_FALSE(exists(backed + "_bak.bin"));
    EXPECT_EQ(MP4_CheckFileIntegrity(backed.c_str()), MP4_ERR_ARG);
    std::string a = read_file(host(plain)), b = read_file(host(backed));
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b);
}

// An index that does not fit its files is refused before anything is
// allocated or written: the movie stays as it was and the index goes.
TEST_F(Mp4Repair, AnIndexThatDoesNotFitItsFilesIsRefused)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, 3 * kFps, kFps);
    std::string cut = movie("cut.mp4");
    record(cut, Codec::h264, frames, 1, 2 * kFps + 5, false);
    const std::string mp4 = read_file(host(cut)), bak = read_file(host(cut + "_bak.bin"));
    ASSERT_GT(mp4.size(), 64u);
    ASSERT_GT(bak.size(), 16u);

    auto be32 = [](uint32_t v) {
        return std::string{(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
    };
    struct Case {
        const char *name;
        std::function<void(std::string &mp4, std::string &bak)> change;
        bool keep_mp4, keep_bak;
        const char *message;
    };
    const Case cases[] = {
        {"no index", [](std::string &, std::string &) {}, true, false, "Could not open bak file"},
        {"no movie", [](std::string &, std::string &) {}, false, true, "Could not open output file"},
        {"no mdat box", [](std::string &m, std::string &) { m.replace(m.find("mdat"), 4, "junk"); }, true, true,
         "Could not get MDAT"},
        {"payload length 0", [&](std::string &, std::string &b) { b.replace(0, 4, be32(0)); }, true, true,
         "Bak File error"},
        {"moov size 0", [&](std::string &, std::string &b) { b.replace(4, 4, be32(0)); }, true, true,
         "Bak File error"},
        {"moov size below a box", [&](std::string &, std::string &b) { b.replace(4, 4, be32(4)); }, true, true,
         "Bak File error"},
        {"payload beyond the movie",
         [&](std::string &m, std::string &b) { b.replace(0, 4, be32((uint32_t)m.size())); }, true, true,
         "Bak File error"},
        {"moov beyond the index",
         [&](std::string &, std::string &b) { b.replace(4, 4, be32((uint32_t)b.size() - 3)); }, true, true,
         "Bak File error"},
        {"huge moov", [&](std::string &, std::string &b) { b.replace(4, 4, be32(0xFFFFFFF0u)); }, true, true,
         "Bak File error"},
        {"not a moov", [&](std::string &, std::string &b) { b.replace(8, 4, "free"); }, true, true,
         "Bak File error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string m = mp4, b = bak;
        c.change(m, b);
        std::string name = movie(std::string("case.mp4"));
        std::filesystem::remove(host(name));
        std::filesystem::remove(host(name + "_bak.bin"));
        if (c.keep_mp4)
            write_file(host(name), m);
        if (c.keep_bak)
            write_file(host(name + "_bak.bin"), b);
        std::string out = capture_stdout([&] { EXPECT_EQ(MP4_ReparieFile(name.c_str()), MP4_ERR_ARG); });
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        if (c.keep_mp4) {
            EXPECT_TRUE(read_file(host(name)) == m);
        }
        EXPECT_FALSE(exists(name + "_bak.bin"));
    }
    EXPECT_EQ(MP4_ReparieFile(nullptr), MP4_ERR_ARG);
    EXPECT_EQ(MP4_CheckFileIntegrity(nullptr), MP4_ERR_ARG);

    // The untouched pair still repairs.
    EXPECT_EQ(capture_stdout([&] { EXPECT_EQ(MP4_ReparieFile(cut.c_str()), 0); }).empty(), false);
    File f = probe_file(host(cut));
    const Track *v = f.of(AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->packets.size(), (size_t)(2 * kFps));
    EXPECT_EQ(v->errors, 0);
}

} // namespace

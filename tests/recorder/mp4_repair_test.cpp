#include "recorder/mp4_writer.h"
#include "recorder/rec_files.h"

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
        std::string ref = movie(std::string("ref ") + c.name + ".mp4"), cut = movie(std::string("cut ") + c.name + ".mp4");
        record(ref, c.codec, frames, 0, kFrames, true);
        record(cut, c.codec, frames, 2, 5 * kFps + kFps / 2, false);

        EXPECT_EQ(MP4_CheckFileIntegrity(cut.c_str()), 0);
        EXPECT_EQ(MP4_CheckFileIntegrity(ref.c_str()), MP4_ERR_ARG);
        std::string out = capture_stdout([&] { EXPECT_EQ(MP4_ReparieFile(cut.c_str()), 0); });
        EXPECT_NE(out.find("repair file " + cut + " success"), std::string::npos);
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

// A card pulled mid-recording: the writes fail, the writer takes nothing
// more (every later write is refused at once, not tried), the file can't be
// ended and keeps its index; with the card back the index finishes it up to
// its last backup before the pull.
TEST_F(Mp4Repair, APulledCardEndsTheFileAndItsIndexFinishesIt)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, 6 * kFps, kFps);
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    std::string cut = movie("pulled.mp4");
    MP4_InitWriter(1);
    Recording rec;
    ASSERT_TRUE(rec.open(cut, Codec::h264, 640, 360, kFps));
    for (size_t i = 0; i < 3 * kFps + 5; i++)
        rec.frame(frames[i], aac_, true);
    ASSERT_FALSE(mp4_write_failed(rec.h));
    ASSERT_EQ(sim::control("card out"), "ok");

    int refused = 0, first_refused = -1;
    std::string out = capture_stdout([&] {
        for (size_t i = 3 * kFps + 5; i < frames.size(); i++) {
            int32_t r = MP4_WriteFrame(rec.h, (uint32_t)rec.video, 0, frames[i].bytes.data(),
                                       (uint32_t)frames[i].bytes.size(), frames[i].key ? 1 : 0);
            if (r == MP4_ERR_WRITE && first_refused < 0)
                first_refused = (int)i;
            refused += r == MP4_ERR_WRITE ? 1 : 0;
        }
        EXPECT_EQ(MP4_EndWriting(rec.h), MP4_ERR_WRITE);
        EXPECT_EQ(MP4_DestroyWriter(rec.h, nullptr), 0);
    });
    // The muxer's buffer fills once more at most before the first refusal;
    // from then on every frame is refused, and the muxer tries once.
    ASSERT_GE(first_refused, 0);
    EXPECT_EQ(refused, (int)frames.size() - first_refused);
    size_t tries = 0;
    for (size_t at = out.find("Error muxing packet"); at != std::string::npos; at = out.find("Error muxing packet", at + 1))
        tries++;
    EXPECT_EQ(tries, 1u) << out;
    EXPECT_TRUE(exists(cut + "_bak.bin"));

    ASSERT_EQ(sim::control("card in"), "ok");
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    EXPECT_FALSE(mp4_file_finished(cut.c_str()));
    capture_stdout([&] { EXPECT_EQ(MP4_ReparieFile(cut.c_str()), 0); });
    EXPECT_TRUE(mp4_file_finished(cut.c_str()));
    File f = probe_file(host(cut));
    const Track *v = f.of(AVMEDIA_TYPE_VIDEO), *a = f.of(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->packets.size(), (size_t)3 * kFps); // up to the backup before the fourth key frame
    EXPECT_EQ(v->decoded, 3 * kFps);
    EXPECT_EQ(v->errors, 0);
    EXPECT_EQ(a->errors, 0);
}

// A file is finished when its top-level boxes fill it exactly and hold an
// mdat and a moov, whatever lies beside it.
TEST_F(Mp4Repair, AFinishedFileIsOneWhoseBoxesFillIt)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, 2 * kFps, kFps);
    std::string done = movie("done.mp4"), cut = movie("cut.mp4");
    record(done, Codec::h264, frames, 1, frames.size(), true);
    record(cut, Codec::h264, frames, 1, frames.size(), false);
    const std::string whole = read_file(host(done));
    ASSERT_GT(whole.size(), 1000u);
    struct Case {
        const char *name;
        std::function<void(const std::string &path)> make; // null: as recorded
        bool finished;
    } cases[] = {
        {"finished", nullptr, true},
        {"cut off: no moov, an mdat to the end", nullptr, false},
        {"its moov cut short", [&](const std::string &p) { write_file(p, whole.substr(0, whole.size() - 10)); }, false},
        {"a byte after the moov", [&](const std::string &p) { write_file(p, whole + "x"); }, false},
        {"empty", [](const std::string &p) { write_file(p, ""); }, false},
        {"not a movie", [](const std::string &p) { write_file(p, std::string(4096, 'z')); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = c.finished || c.make ? done : cut;
        if (c.make) {
            path = movie("made.mp4");
            c.make(host(path));
        }
        EXPECT_EQ(mp4_file_finished(path.c_str()), c.finished);
    }
    EXPECT_FALSE(mp4_file_finished(movie("none.mp4").c_str()));
    EXPECT_FALSE(mp4_file_finished(nullptr));
}

// The boot's pass over the card: every movie a cut left unfinished is
// finished from its index (also one locked into ALARM while it was written,
// its index still in MOVIE); an index beside a finished movie or beside none
// goes; a movie cut before its first backup has no index to read and is kept
// as it is, said so, unless it holds nothing at all; finished movies stay as
// they are.
TEST_F(Mp4Repair, TheBootFinishesEveryCutMovie)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, 3 * kFps, kFps);
    std::filesystem::create_directories(bd_path("/mnt/sdcard0/ALARM"));
    const std::string alarm = "/mnt/sdcard0/ALARM/";
    record(movie("A.mp4"), Codec::h264, frames, 1, 2 * kFps + 10, false); // cut
    record(movie("B.mp4"), Codec::h264, frames, 1, frames.size(), true);   // finished, an index left beside it
    write_file(host(movie("B.mp4_bak.bin")), read_file(host(movie("A.mp4_bak.bin"))));
    write_file(host(movie("C.mp4_bak.bin")), "an index without its movie");
    record(movie("D.mp4"), Codec::h264, frames, 1, 2 * kFps + 10, false); // cut after a lock moved it
    std::filesystem::rename(host(movie("D.mp4")), host(alarm + "D.mp4"));
    record(movie("E.mp4"), Codec::h264, frames, 3, 2 * kFps, false); // cut before its first backup
    record(movie("F.mp4"), Codec::h264, frames, 0, frames.size(), true); // finished
    record(movie("G.mp4"), Codec::h264, frames, 1, 0, false);            // cut before its first frame
    const std::string b = read_file(host(movie("B.mp4"))), e = read_file(host(movie("E.mp4"))),
                      f = read_file(host(movie("F.mp4")));
    ASSERT_GT(e.size(), 10000u);
    ASSERT_TRUE(exists(movie("G.mp4")));
    ASSERT_LT(read_file(host(movie("G.mp4"))).size(), 100u); // its header alone

    std::string out = capture_stdout([] { EXPECT_EQ(rec_files_repair_unfinished(), 2); });
    for (const std::string &name : {movie("A.mp4"), alarm + "D.mp4"}) {
        SCOPED_TRACE(name);
        File got = probe_file(host(name));
        const Track *v = got.of(AVMEDIA_TYPE_VIDEO);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->packets.size(), (size_t)2 * kFps);
        EXPECT_EQ(v->decoded, 2 * kFps);
        EXPECT_TRUE(mp4_file_finished(name.c_str()));
    }
    EXPECT_TRUE(read_file(host(movie("B.mp4"))) == b);
    EXPECT_TRUE(read_file(host(movie("E.mp4"))) == e);
    EXPECT_TRUE(read_file(host(movie("F.mp4"))) == f);
    std::vector<std::string> left;
    for (const char *dir : {"/mnt/sdcard0/MOVIE", "/mnt/sdcard0/ALARM"})
        for (auto &entry : std::filesystem::directory_iterator(bd_path(dir)))
            left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"A.mp4", "B.mp4", "D.mp4", "E.mp4", "F.mp4"})) << out;
    EXPECT_NE(out.find("E.mp4: no index can finish it; kept as it is for a computer to salvage"), std::string::npos)
        << out;
    EXPECT_NE(out.find("G.mp4 holds nothing to repair: removed"), std::string::npos) << out;
    // A second boot finds nothing to do.
    capture_stdout([] { EXPECT_EQ(rec_files_repair_unfinished(), 0); });
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

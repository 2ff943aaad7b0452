#include "tests/recorder/mp4/repair_fixture.h"

#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace mp4test;
using testsupport::capture_stdout;
using testsupport::read_file;
using testsupport::write_file;

// CRC-32 as the textbook gives it: reflected, polynomial 0xEDB88320, bit by bit.
uint32_t textbook_crc32(const std::string &b, size_t n)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; i++) {
        crc ^= (uint8_t)b[i];
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// An index as it must lie on the card: the payload length, the moov filling
// its size, then "ichk" and the CRC-32 of all before it; the payload it
// describes within its movie.
void expect_whole_index(const std::string &index, const std::string &movie)
{
    ASSERT_GE(index.size(), 16u);
    const uint32_t moov = be32_at(index, 4);
    ASSERT_EQ(index.size(), 4 + (size_t)moov + 8);
    EXPECT_EQ(index.compare(8, 4, "moov"), 0);
    EXPECT_EQ(index.compare(4 + moov, 4, "ichk"), 0);
    EXPECT_EQ(be32_at(index, 4 + moov + 4), textbook_crc32(index, 4 + moov));
    size_t mdat = movie.find("mdat");
    ASSERT_NE(mdat, std::string::npos);
    EXPECT_LE(mdat + 4 + be32_at(index, 0), movie.size());
}

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

// What a cut while an index is written, or damage where it lies, can leave.
struct Damage {
    const char *name;
    std::function<std::string(const std::string &index)> make;
};

std::vector<Damage> damages()
{
    return {
        {"empty", [](const std::string &) { return std::string(); }},
        {"cut to 512 bytes", [](const std::string &i) { return i.substr(0, 512); }},
        {"cut in half", [](const std::string &i) { return i.substr(0, i.size() / 2); }},
        {"its moov one byte short", [](const std::string &i) { return i.substr(0, 4 + be32_at(i, 4) - 1); }},
        {"an all-ones length word", [](const std::string &i) { return std::string(4, '\xff') + i.substr(4); }},
        {"all zeros", [](const std::string &i) { return std::string(i.size(), '\0'); }},
        {"random bytes",
         [](const std::string &i) {
             std::mt19937 rng(36);
             std::string r(i.size(), '\0');
             for (char &c : r)
                 c = (char)rng();
             return r;
         }},
        {"zeros from the middle on, its length kept",
         [](const std::string &i) { return i.substr(0, i.size() / 2) + std::string(i.size() - i.size() / 2, '\0'); }},
    };
}

// A cut while the new index is written leaves it damaged beside the whole
// one before it: the boot finishes the movie from that one, losing only the
// seconds since. An index damaged where it lies, with none before it, costs
// the movie its finish, never its bytes: the movie stays as it is for a
// computer to salvage, said so, through every later boot too.
TEST_F(Mp4Repair, ADamagedIndexNeverCostsMoreThanTheSecondsSinceTheOneBefore)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, kFrames, kFps);
    ASSERT_EQ(frames.size(), kFrames);
    // One recording cut at 4.5 s and at 5.5 s: its indexes of 4 s and 5 s.
    record(movie("at4.mp4"), Codec::h264, frames, 1, 4 * kFps + kFps / 2, false);
    record(movie("at5.mp4"), Codec::h264, frames, 1, 5 * kFps + kFps / 2, false);
    const std::string before = read_file(host(movie("at4.mp4_bak.bin")));
    const std::string last = read_file(host(movie("at5.mp4_bak.bin")));
    const std::string cut = read_file(host(movie("at5.mp4")));
    expect_whole_index(before, read_file(host(movie("at4.mp4"))));
    expect_whole_index(last, cut);
    ASSERT_GT(last.size(), 1024u);
    for (const char *name : {"at4.mp4", "at4.mp4_bak.bin", "at5.mp4", "at5.mp4_bak.bin"})
        std::filesystem::remove(host(movie(name)));

    for (const Damage &d : damages()) {
        SCOPED_TRACE(d.name);
        const std::string damaged = d.make(last);
        const std::string torn = movie("torn.mp4"), hit = movie("hit.mp4");
        for (const std::string &name : {torn, hit})
            std::filesystem::remove(host(name));
        write_file(host(torn), cut);
        write_file(host(torn + "_bak.bin"), before);
        write_file(host(torn + "_bak.bin.new"), damaged);
        write_file(host(hit), cut);
        write_file(host(hit + "_bak.bin"), damaged);

        std::string out = capture_stdout([] { EXPECT_EQ(rec_files_repair_unfinished(), 1); });
        File got = probe_file(host(torn));
        const Track *v = got.of(AVMEDIA_TYPE_VIDEO), *a = got.of(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a) << out;
        EXPECT_EQ(v->packets.size(), (size_t)4 * kFps);
        EXPECT_EQ(v->decoded, 4 * kFps);
        EXPECT_EQ(v->errors, 0);
        EXPECT_EQ(a->packets.size(), audio_with(4 * kFps));
        EXPECT_EQ(a->errors, 0);
        EXPECT_TRUE(read_file(host(hit)) == cut);
        EXPECT_NE(out.find(hit + ": no index can finish it; kept as it is for a computer to salvage"),
                  std::string::npos)
            << out;
        for (const std::string &name : {torn + "_bak.bin", torn + "_bak.bin.new", hit + "_bak.bin"})
            EXPECT_FALSE(exists(name)) << name;

        capture_stdout([] { EXPECT_EQ(rec_files_repair_unfinished(), 0); });
        EXPECT_TRUE(read_file(host(hit)) == cut);
    }
}

// Each backup puts a whole index in place of the last, describing bytes the
// movie holds, and leaves nothing under the temporary name; a new index
// that cannot be written leaves the last one as it was.
TEST_F(Mp4Repair, EachBackupReplacesTheIndexWhole)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, 5 * kFps, kFps);
    MP4_InitWriter(1);
    const std::string name = movie("seq.mp4"), index = name + "_bak.bin", temp = index + ".new";
    Recording rec;
    ASSERT_TRUE(rec.open(name, Codec::h264, 640, 360, kFps));
    ASSERT_TRUE(exists(index)); // before the movie's first sample
    EXPECT_TRUE(read_file(host(index)).empty());
    std::string last;
    for (size_t i = 0; i < frames.size(); i++) {
        const bool blocked = i == 3 * kFps; // something in the temporary name's place
        if (blocked)
            std::filesystem::create_directories(host(temp) + "/inside");
        std::string out = capture_stdout([&] { rec.frame(frames[i], aac_, true); });
        if (blocked)
            std::filesystem::remove_all(host(temp));
        if (!frames[i].key || i == 0)
            continue;
        SCOPED_TRACE("key frame " + std::to_string(i));
        const std::string now = read_file(host(index));
        if (blocked) {
            EXPECT_NE(out.find("---> backup index " + index + " not written"), std::string::npos) << out;
            EXPECT_TRUE(now == last);
            continue;
        }
        expect_whole_index(now, read_file(host(name)));
        if (!last.empty()) {
            EXPECT_GT(be32_at(now, 0), be32_at(last, 0));
        }
        EXPECT_FALSE(exists(temp));
        last = now;
    }
    rec.close();
    EXPECT_FALSE(exists(index));
    EXPECT_FALSE(exists(temp));
    EXPECT_TRUE(mp4_file_finished(name.c_str()));
}

// Where a folder takes the index's name (or the temporary name its
// replacements are written under), the index goes under the next name, said
// so, and the boot finds it there; with every name taken the recording goes
// on without one, said so, and a cut leaves its movie as it was.
TEST_F(Mp4Repair, AFolderInTheIndexsPlaceSendsItToAnotherName)
{
    std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, 3 * kFps, kFps);
    struct Case {
        const char *name;
        std::vector<std::string> folders;
        const char *index; // the suffix of the index used; null: none
    };
    const Case cases[] = {
        {"a folder at the index's name", {"_bak.bin"}, "_bak2.bin"},
        {"a folder at its temporary name", {"_bak.bin.new"}, "_bak2.bin"},
        {"folders at two names", {"_bak.bin", "_bak2.bin"}, "_bak3.bin"},
        {"folders at every name", {"_bak.bin", "_bak2.bin.new", "_bak3.bin"}, nullptr},
    };
    MP4_InitWriter(1);
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = movie("F" + std::to_string(n++) + ".mp4");
        for (const std::string &f : c.folders)
            std::filesystem::create_directories(host(name + f) + "/inside");
        Recording rec;
        std::string out = capture_stdout([&] { ASSERT_TRUE(rec.open(name, Codec::h264, 640, 360, kFps)); });
        EXPECT_NE(out.find("======" + name + c.folders[0] + " is a folder: the backup index takes another name"),
                  std::string::npos)
            << out;
        if (c.index) {
            EXPECT_NE(out.find("------backup index of " + name + ": " + name + c.index), std::string::npos) << out;
        } else {
            EXPECT_NE(out.find("======" + name + " has no backup index (every name is taken by a folder)"),
                      std::string::npos)
                << out;
        }
        // Cut off after two backups: the writer goes, its index stays.
        for (size_t i = 0; i < 2 * kFps + 10; i++)
            rec.frame(frames[i], aac_, true);
        EXPECT_EQ(MP4_DestroyWriter(rec.h, nullptr), 0);
        const std::string cut = read_file(host(name));

        out = capture_stdout([&] { EXPECT_EQ(rec_files_repair_unfinished(), c.index ? 1 : 0); });
        if (c.index) {
            File got = probe_file(host(name));
            const Track *v = got.of(AVMEDIA_TYPE_VIDEO);
            ASSERT_TRUE(v) << out;
            EXPECT_EQ(v->packets.size(), (size_t)2 * kFps);
            EXPECT_EQ(v->errors, 0);
            EXPECT_FALSE(exists(name + c.index));
        } else {
            EXPECT_TRUE(read_file(host(name)) == cut);
        }
        for (const std::string &f : c.folders)
            EXPECT_TRUE(std::filesystem::is_directory(host(name + f) + "/inside"));
    }
}

} // namespace

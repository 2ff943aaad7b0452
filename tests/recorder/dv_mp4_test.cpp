// The MP4 thread on canned streams: the test queues encoded frames and AAC
// packets through the stream and audio producers' own calls, faster than
// real time, and commands recordings as the record applications do. The
// files on the card are read back and decoded.
#include "recorder/dv_mp4.h"

#include "app/engine_hooks.h"
#include "app/handler.h"
#include "app/sd_card.h"
#include "recorder/dv_audio.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_stream.h"
#include "tests/recorder/mp4_media.h"
#include "tests/recorder/recording_support.h"

#include <set>
#include <thread>

namespace {

using namespace mp4test;
using pipelinetest::wait_for;
using rectest::Messages;

constexpr u64 kT0 = 5000000; // first time stamp of the canned streams

// ADTS packet without its 7-byte header, as the file holds it.
uint64_t raw_aac_hash(const std::vector<uint8_t> &p) { return fnv(p.data() + 7, p.size() - 7); }

class Mp4Thread : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        app_register_engine_hooks(); // power-off state and card space come from the application
        rectest::card_boot();
        MP4_InitWriter(0);
        configure(30, PT_H264);
        rectest::record_entry(3, false);
        ASSERT_EQ(0, KX_DV_RecordParamInit());
        dv_stream_stats_reset();
        ASSERT_EQ(0, KX_DV_StartMp4Thread());
    }
    void TearDown() override
    {
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        KX_DV_StopMp4Thread();
        KX_DV_ClearRecordParam();
        u8IsEnterPowerFlow = 0;
    }

    // The recording channel at 320x240, `fps` frames a second, a key frame a second.
    static void configure(u8 fps, u32 type)
    {
        KX_DV_Set1080DefaultDvCfg();
        KX_DV_CONFIG_S &c = gsDvConfig;
        c.sVi.sParam[0].u8FrameRate = fps;
        c.sVi.sParam[0].enRotate = 0;
        KX_DV_VENC_PARAM_S &e = c.sVenc.sParam[1];
        e.enType = type;
        e.bEnable = 1;
        e.u8FrameRate = e.u8IPInterval = fps;
        e.u8ImageQuality = 3;
        e.u8Resolution = PIC_QVGA;
    }

    // Canned media: one group of pictures and a run of AAC packets, reused.
    void media(Codec codec, int fps, int audio_packets = 200)
    {
        fps_ = fps;
        gop_ = encode_video(codec, 320, 240, fps, fps, fps);
        ASSERT_EQ((size_t)fps, gop_.size());
        ASSERT_TRUE(gop_[0].key);
        aac_ = encode_aac(audio_packets);
        ASSERT_EQ((size_t)audio_packets, aac_.size());
    }

    u64 video_pts(u64 i) const { return kT0 + i * 1000000 / fps_; }
    u64 audio_pts(u64 k) const { return kT0 + k * 1024 * 1000000 / 48000; }

    // Queues one frame (picture `i` of the group) as the stream thread would.
    void push_video(size_t i, u64 pts, u32 offset = 0)
    {
        std::vector<uint8_t> bytes(offset, 0xEE);
        const Frame &f = gop_[i % gop_.size()];
        bytes.insert(bytes.end(), f.bytes.begin(), f.bytes.end());
        VENC_PACK_REC_S pack{};
        pack.pu8Data = bytes.data();
        pack.u32Len = (u32)bytes.size();
        pack.u32DataOffset = offset;
        pack.u64TimeStamp = pts;
        VENC_STREAM_REC_S stream{};
        stream.pstPack = &pack;
        stream.u32PackNum = 1;
        Send_Steam2Que(q_main_stream, &stream, 1);
    }

    void push_audio(const std::vector<uint8_t> &p, u64 pts)
    {
        AENC_STREAM_OUT_S s{};
        s.pStream = const_cast<uint8_t *>(p.data());
        s.u32Len = (u32)p.size();
        s.u64TimeStamp = pts;
        Send_Data2AudioQue(&s);
    }

    static bool recording() { return gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING; }

    // Queues frames [from, to) of a stream that began with picture 0 of a
    // group, each after the audio captured before it, waiting for room
    // (the thread must be recording for more than a queue's worth).
    void feed(u64 from, u64 to, u64 pts_step = 0, const std::function<bool()> &until = nullptr)
    {
        for (u64 i = from; i < to; i++) {
            if (until && until())
                return;
            u64 pts = pts_step ? kT0 + i * pts_step : video_pts(i);
            while (audio_pts(audio_next_) + audio_lag_ <= pts) {
                push_audio(audio_packet(audio_next_), audio_pts(audio_next_));
                audio_next_++;
            }
            auto room = [] {
                return KX_OrderQueue_GetRealDepth(q_main_stream) + 8 < KX_OrderQueue_GetAllDepth(q_main_stream) &&
                       KX_OrderQueue_GetRealDepth(q_audio_stream) + 8 < KX_OrderQueue_GetAllDepth(q_audio_stream);
            };
            // A recording that ended by itself takes no more.
            ASSERT_TRUE(wait_for([&] { return room() || !recording(); }));
            if (!room())
                return;
            push_video(i, pts);
        }
    }

    // Packet k of the sound: the encoder's first packet (unlike any other)
    // marks packet marker_at_, the steady ones fill the rest.
    const std::vector<uint8_t> &audio_packet(u64 k) const
    {
        return k == marker_at_ ? aac_[0] : aac_[1 + k % (aac_.size() - 1)];
    }

    // Queues frames [from, to) in real time, and the sound `audio_lag_`
    // behind them, as the encoders deliver it.
    void feed_in_step(u64 from, u64 to)
    {
        for (u64 i = from; i < to; i++) {
            while (audio_pts(audio_next_) + audio_lag_ <= video_pts(i)) {
                push_audio(audio_packet(audio_next_), audio_pts(audio_next_));
                audio_next_++;
            }
            push_video(i, video_pts(i));
            // Time goes on: the next frame and its sound come a frame's time
            // later, whether the thread has taken this one or waits for sound.
            std::this_thread::sleep_for(std::chrono::microseconds(1000000 / fps_));
        }
    }

    // Queues the sound up to the end of frame `last`.
    void feed_audio_through(u64 last)
    {
        while (audio_pts(audio_next_) < video_pts(last) + 1000000 / (u64)fps_) {
            push_audio(audio_packet(audio_next_), audio_pts(audio_next_));
            audio_next_++;
        }
    }

    // `sound`, the packets of the files one after the other: packet k of
    // the stream is packet 1 + k % 199 of the canned run; from the first
    // packet in the files on none is missing and none repeated, across the
    // files' ends too, up to the last queued.
    void expect_whole_sound(const std::vector<uint64_t> &sound)
    {
        ASSERT_FALSE(sound.empty());
        size_t k0 = 0;
        while (k0 < aac_.size() - 1 && raw_aac_hash(audio_packet(k0)) != sound[0])
            k0++;
        for (size_t i = 0; i < sound.size(); i++)
            ASSERT_EQ(raw_aac_hash(audio_packet(k0 + i)), sound[i]) << "packet " << i;
        EXPECT_EQ(audio_next_, k0 + sound.size());
    }

    // Until the MP4 thread has taken every queued frame.
    static void drained()
    {
        ASSERT_TRUE(wait_for([] { return KX_OrderQueue_Empty(q_main_stream) == 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the last frame's audio and checks
    }

    // A recording of the queued frames: started, drained, stopped and complete.
    void record_queued(Messages &msgs)
    {
        rectest::start_recording(false);
        drained();
        rectest::stop_recording();
        ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));
    }

    // Rings and queues as a pipeline start makes them: nothing left over.
    static void fresh_queues()
    {
        KX_DV_ClearRecordParam();
        ASSERT_EQ(0, KX_DV_RecordParamInit());
    }

    // The card's free space in KiB brought to `kib` with a filler file.
    static void card_free(uint64_t kib)
    {
        std::string filler = bd_path("/mnt/sdcard0/filler.bin");
        testsupport::write_file(filler, "");
        uint64_t now = Get_SD_Card_Space_2();
        ASSERT_GE(now, kib);
        std::filesystem::resize_file(filler, (now - kib) * 1024);
        ASSERT_NEAR((double)Get_SD_Card_Space_2(), (double)kib, 64);
    }

    // Room a movie needs before it is opened, as the name rule counts it.
    static uint64_t movie_reserve_kib(uint32_t minutes)
    {
        MP4_BITMAPINFOHEADER_S v;
        MP4_WAVEFORMATEX_S a;
        Get_Mp4_Info(&v, &a, 1);
        return (uint64_t)(v.u32avgBitRate >> 13) * minutes * 60 + 153600;
    }

    int fps_ = 30;
    std::vector<Frame> gop_;
    std::vector<std::vector<uint8_t>> aac_;
    u64 audio_next_ = 0;
    u64 marker_at_ = ~0ull;
    u64 audio_lag_ = 0; // the sound of a time comes this much after its pictures
};

// Every sample of the file: video at the stream's rate, AAC packets of 1024
// samples, the first video sample a key frame, nothing the decoders refuse.
void expect_playable(const File &f, int fps)
{
    ASSERT_TRUE(f.opened);
    const Track *v = f.of(AVMEDIA_TYPE_VIDEO), *a = f.of(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(v && a);
    ASSERT_FALSE(v->packets.empty());
    EXPECT_TRUE(v->packets[0].key);
    expect_constant_rate(*v, AVRational{1, fps});
    expect_constant_rate(*a, AVRational{1024, 48000});
    EXPECT_EQ(0, v->errors);
    EXPECT_EQ(0, a->errors);
    EXPECT_EQ((int)v->packets.size(), v->decoded);
}

} // namespace

// The first file begins with a key frame: frames before it are dropped, and
// the audio older than it (more than 97 packets of it) too; an empty audio
// record does not hold up the packets behind it; the sound lasts as long as
// the pictures. Above 48 frames a second a packet waits for its frame.
TEST_F(Mp4Thread, FirstFileBeginsWithAKeyFrameAndTheAudioOfItsTime)
{
    struct Case {
        const char *name;
        Codec codec;
        u32 type;
        int fps;
    } cases[] = {{"H.264 at 30", Codec::h264, PT_H264, 30}, {"H.265 at 60", Codec::h265, PT_H265, 60}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Messages msgs;
        configure((u8)c.fps, c.type);
        media(c.codec, c.fps, 400);
        for (size_t k = 1; k < aac_.size(); k++)
            ASSERT_NE(raw_aac_hash(aac_[0]), raw_aac_hash(aac_[k])) << "the first packet is one of its own";

        // Three seconds of stale audio, then the last frames of a group and
        // the audio of their time.
        for (u64 k = 0; k < 120; k++)
            push_audio(audio_packet(k + 1), kT0 - 3000000 + k * 21333);
        audio_next_ = 0;
        feed((u64)c.fps - 10, c.fps);
        while (audio_pts(audio_next_) < video_pts(c.fps)) {
            push_audio(audio_packet(audio_next_), audio_pts(audio_next_));
            audio_next_++;
        }
        const u64 first_audio = audio_next_; // the first packet not older than the key frame
        marker_at_ = first_audio;
        AENC_STREAM_OUT_S empty{};
        empty.u64TimeStamp = video_pts(c.fps);
        ASSERT_EQ(0, Send_Data2AudioQue(&empty));
        feed(c.fps, 3 * c.fps);
        const u64 queued_audio = audio_next_;
        record_queued(msgs);

        std::vector<std::string> files = rectest::movies();
        ASSERT_EQ(1u, files.size());
        File f = probe_file(files[0]);
        expect_playable(f, c.fps);
        const Track &v = *f.of(AVMEDIA_TYPE_VIDEO), &a = *f.of(AVMEDIA_TYPE_AUDIO);
        EXPECT_EQ((size_t)2 * c.fps, v.packets.size());
        ASSERT_FALSE(a.packets.empty());
        EXPECT_EQ(raw_aac_hash(aac_[0]), a.packets[0].hash);
        EXPECT_LE(a.packets.size(), queued_audio - first_audio);
        EXPECT_NEAR(seconds(v), seconds(a), 0.1);
        EXPECT_EQ(1u, msgs.count(AMSG_RECORD_COMPLETE));
        EXPECT_EQ(KX_REC_STATE_STOPPED, gRecCmd[KX_REC_ENTRY_RECORD].RecState);

        std::filesystem::remove(files[0]);
        fresh_queues();
        marker_at_ = ~0ull;
    }
}

// Files end before a key frame once they hold their length in frames or in
// time (frames lost upstream leave gaps in the stamps); a length of 72
// minutes does not wrap round to 25 seconds. The sound keeps with the
// pictures in every file, within one packet, and where no frame was lost
// every packet goes into exactly one file, in order. Every frame and packet
// lost is counted: the frames the stamps skip, and each packet either in a
// file or left out.
TEST_F(Mp4Thread, RecordingsSplitAtKeyFramesOnceAFileHoldsItsLength)
{
    struct Case {
        const char *name;
        uint16_t minutes;
        u64 frames, pts_step;
        std::vector<size_t> per_file;
        bool whole_sound;
        u64 lost_up; // frames the stamps skip
    } cases[] = {
        {"one minute of frames", 1, 3750, 0, {1800, 1800, 150}, true, 0},
        {"one minute of stamps, every other frame lost", 1, 1000, 66666, {930, 70}, false, 999},
        {"72 minutes", 72, 1200, 0, {1200}, true, 0},
    };
    media(Codec::h264, 30);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Messages msgs;
        rectest::record_entry(c.minutes, false);
        fresh_queues();
        dv_stream_stats_reset();
        dv_audio_stats_reset();
        audio_next_ = 0;
        rectest::start_recording(false);
        feed(0, c.frames, c.pts_step);
        // The sound of the last frame's time comes after it.
        const u64 end = (c.pts_step ? kT0 + (c.frames - 1) * c.pts_step : video_pts(c.frames - 1)) + 1000000 / 30;
        while (audio_pts(audio_next_) < end) {
            push_audio(audio_packet(audio_next_), audio_pts(audio_next_));
            audio_next_++;
        }
        drained();
        rectest::stop_recording();
        ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));

        std::vector<std::string> files = rectest::movies();
        ASSERT_EQ(c.per_file.size(), files.size());
        std::vector<uint64_t> sound; // the files' packets, one after the other
        for (size_t i = 0; i < files.size(); i++) {
            SCOPED_TRACE(files[i]);
            File f = probe_file(files[i]);
            expect_playable(f, 30);
            const Track &v = *f.of(AVMEDIA_TYPE_VIDEO), &a = *f.of(AVMEDIA_TYPE_AUDIO);
            EXPECT_EQ(c.per_file[i], v.packets.size());
            // The sound of lost frames' time is left out with them, a packet
            // more or less at each gap.
            EXPECT_LE(fabs(seconds(v) - seconds(a)), c.whole_sound ? 1024.0 / 48000 + 1e-6 : 0.1);
            for (const Packet &p : a.packets)
                sound.push_back(p.hash);
            std::filesystem::remove(files[i]);
        }
        if (c.whole_sound)
            expect_whole_sound(sound);
        EXPECT_EQ(c.lost_up, dv_stream_stats().u64LostUp);
        EXPECT_EQ(0u, dv_stream_stats().u64LeftOut + dv_stream_stats().u64Dropped);
        const DvAudioStats heard = dv_audio_stats();
        EXPECT_EQ(audio_next_, sound.size() + heard.u64LeftOut);
        EXPECT_EQ(heard.u64LeftOut, dv_audio_lost(heard));
        EXPECT_EQ(c.whole_sound, heard.u64LeftOut == 0);
        EXPECT_EQ(files.size() - 1, msgs.count(AMSG_FILE_AUTO_SPLIT));
        EXPECT_EQ(1u, msgs.count(AMSG_RECORD_COMPLETE));
    }
}

// The encoders deliver the sound of a time after its pictures: at a split
// the sound of the first file's last frames is still on its way when the
// next file's first frame comes. It goes into the first file all the same,
// every packet into exactly one file, at 30 frames a second (several
// packets a frame) and at 60 (a packet waits for its frame).
TEST_F(Mp4Thread, TheSoundOfASplitGoesIntoOneFileWhenItComesLate)
{
    for (int fps : {30, 60}) {
        SCOPED_TRACE(std::to_string(fps) + " frames a second");
        Messages msgs;
        configure((u8)fps, PT_H264);
        media(Codec::h264, fps);
        rectest::record_entry(1, false);
        fresh_queues();
        audio_next_ = 0;
        audio_lag_ = 50000;
        const u64 split = 60 * (u64)fps; // the second file's first frame
        rectest::start_recording(false);
        feed(0, split - 3);
        drained();
        feed_in_step(split - 3, split + 3);
        feed(split + 3, split + 2 * fps);
        audio_lag_ = 0;
        feed_audio_through(split + 2 * fps - 1);
        drained();
        rectest::stop_recording();
        ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));

        std::vector<std::string> files = rectest::movies();
        ASSERT_EQ(2u, files.size());
        std::vector<uint64_t> sound;
        for (const std::string &file : files) {
            SCOPED_TRACE(file);
            File f = probe_file(file);
            expect_playable(f, fps);
            const Track &v = *f.of(AVMEDIA_TYPE_VIDEO), &a = *f.of(AVMEDIA_TYPE_AUDIO);
            EXPECT_LE(fabs(seconds(v) - seconds(a)), 1024.0 / 48000 + 1e-6);
            for (const Packet &p : a.packets)
                sound.push_back(p.hash);
            std::filesystem::remove(file);
        }
        expect_whole_sound(sound);
        audio_lag_ = 0;
    }
}

// On a card that holds two files above what the name rule keeps free, loop
// recording deletes the oldest before the third opens and numbering goes
// on; without loop recording (which keeps only the reserve free) the second
// file runs the card full: the REC release and the card-full message stop
// the recording, and both files are whole.
TEST_F(Mp4Thread, ACardThatHoldsTwoFiles)
{
    struct Case {
        const char *name;
        bool loop;
        std::vector<std::string> left;
        size_t full, splits;
    } cases[] = {
        {"loop recording", true, {"KORVAN0000002.mp4", "KORVAN0000003.mp4"}, 0, 2},
        {"no loop recording", false, {"KORVAN0000001.mp4", "KORVAN0000002.mp4"}, 1, 1},
    };
    media(Codec::h264, 30);
    // One minute of these frames, with its sound and index.
    uint64_t bytes = 0;
    for (const Frame &f : gop_)
        bytes += f.bytes.size() * 60;
    uint64_t audio = 0;
    for (const auto &p : aac_)
        audio += p.size();
    bytes += audio * 2813 / aac_.size();
    const uint64_t file_kib = bytes / 1024 + 64;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Messages msgs;
        for (const std::string &f : rectest::movies())
            std::filesystem::remove(f);
        rectest::card_scan();
        rectest::record_entry(1, c.loop);
        fresh_queues();
        card_free((c.loop ? movie_reserve_kib(1) : 153600) + file_kib * 3 / 2);
        audio_next_ = 0;
        rectest::start_recording(false);
        // Two minutes and two seconds, unless the card runs full first.
        feed(0, 2 * 1800 + 60, 0, [&] { return msgs.count(rectest::kRecRelease) > 0; });
        if (c.loop)
            drained();
        rectest::stop_recording(); // as the record application does on the REC release
        ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));

        std::vector<std::string> names;
        std::vector<size_t> frames;
        for (const std::string &f : rectest::movies()) {
            names.push_back(rectest::base(f));
            File file = probe_file(f);
            expect_playable(file, 30);
            frames.push_back(file.opened ? file.of(AVMEDIA_TYPE_VIDEO)->packets.size() : 0);
        }
        EXPECT_EQ(c.left, names);
        ASSERT_EQ(2u, frames.size());
        EXPECT_EQ(1800u, frames[0]);
        if (c.loop) {
            EXPECT_EQ(60u, frames[1]);
        } else {
            EXPECT_LT(frames[1], 1800u); // stopped when the card ran full
        }
        EXPECT_EQ(c.full, msgs.count(AMSG_CARD_STATE_FULL));
        EXPECT_EQ(c.full, msgs.count(rectest::kRecRelease));
        EXPECT_EQ(1u, msgs.count(AMSG_RECORD_COMPLETE));
        EXPECT_EQ(c.splits, msgs.count(AMSG_FILE_AUTO_SPLIT));
        std::filesystem::remove(bd_path("/mnt/sdcard0/filler.bin"));
    }
}

// Free space down to the reserve while recording: the REC release and the
// card-full message once, however many frames follow; the recording goes on
// until it is stopped and its file is whole.
TEST_F(Mp4Thread, CardRunningFullIsToldOncePerRecording)
{
    media(Codec::h264, 30);
    for (int run = 0; run < 2; run++) {
        SCOPED_TRACE(run);
        Messages msgs;
        audio_next_ = 0;
        rectest::start_recording(false);
        EXPECT_EQ(0, videoFileHas1Sec.load()); // from the start, before any file
        // The file is open and waits for its key frame.
        ASSERT_TRUE(wait_for([] { return rectest::movies().size() == 1; }));
        card_free(153600 - 1024);
        feed(0, 90);
        drained();
        EXPECT_EQ(1u, msgs.count(rectest::kRecRelease));
        EXPECT_EQ(1u, msgs.count(AMSG_CARD_STATE_FULL));
        EXPECT_EQ(1, videoFileHas1Sec.load()); // more than a second of frames
        EXPECT_EQ(KX_REC_STATE_RUNNING, gRecCmd[KX_REC_ENTRY_RECORD].RecState);
        rectest::stop_recording();
        ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));
        std::vector<std::string> files = rectest::movies();
        ASSERT_EQ(1u, files.size());
        File f = probe_file(files[0]);
        expect_playable(f, 30);
        EXPECT_EQ(90u, f.of(AVMEDIA_TYPE_VIDEO)->packets.size());
        EXPECT_EQ(rectest::kRecRelease, msgs.all()[0]);
        std::filesystem::remove(files[0]);
        std::filesystem::remove(bd_path("/mnt/sdcard0/filler.bin"));
    }
}

// A recording that ends without a file still says so with
// AMSG_RECORD_COMPLETE, leaves the record state stopped and nothing queued.
TEST_F(Mp4Thread, ARecordingWithoutAFileIsCompleteToo)
{
    struct Case {
        const char *name;
        std::function<void(Mp4Thread &)> arrange;
        std::function<void()> undo;
        size_t full;
        const char *says;
    } cases[] = {
        {"no room for a file", [](Mp4Thread &) { card_free(153600 - 1024); },
         [] { std::filesystem::remove(bd_path("/mnt/sdcard0/filler.bin")); }, 1, ""},
        {"every writer in use",
         [](Mp4Thread &) {
             for (int i = 0; i < MP4_MUX_SLOTS; i++) {
                 MP4Handle h;
                 ASSERT_EQ(0, MP4_CreateWriter(&h, ("/mnt/sdcard0/w" + std::to_string(i) + ".mp4").c_str()));
             }
         },
         [] {
             for (MP4_MUX_D &s : MP4_MUX_Data)
                 if (s.Stat == 1)
                     MP4_DestroyWriter(s.StreamHandel, nullptr);
         },
         0, "======MP4_CreateWriter failed"},
        {"powering off", [](Mp4Thread &) { u8IsEnterPowerFlow = 1; }, [] { u8IsEnterPowerFlow = 0; }, 0,
         ", pw:1"},
    };
    media(Codec::h264, 30);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Messages msgs;
        c.arrange(*this);
        feed(0, 30);
        std::string out = testsupport::capture_stdout([&] {
            rectest::start_recording(false);
            ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));
        });
        EXPECT_NE(std::string::npos, out.find(c.says));
        EXPECT_EQ(c.full, msgs.count(AMSG_CARD_STATE_FULL));
        EXPECT_EQ(1u, msgs.count(AMSG_RECORD_COMPLETE));
        EXPECT_EQ(KX_REC_STATE_STOPPED, gRecCmd[KX_REC_ENTRY_RECORD].RecState);
        EXPECT_EQ(1, KX_OrderQueue_Empty(q_main_stream));
        EXPECT_EQ(1, videoFileHas1Sec.load());
        EXPECT_TRUE(rectest::movies().empty());
        // The thread waits again and nothing more happens.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(1u, msgs.count(AMSG_RECORD_COMPLETE));
        c.undo();
    }
}

// A stop before the first key frame goes straight to the stop path: the
// recording is reported, and the file, which holds no frame, is removed.
TEST_F(Mp4Thread, StopBeforeTheFirstKeyFrame)
{
    media(Codec::h264, 30);
    Messages msgs;
    rectest::start_recording(false);
    ASSERT_TRUE(wait_for([] { return rectest::movies().size() == 1; }));
    feed(5, 20);
    ASSERT_TRUE(wait_for([] { return KX_OrderQueue_Empty(q_main_stream) == 1; }));
    rectest::stop_recording();
    ASSERT_TRUE(msgs.wait(AMSG_RECORD_COMPLETE));
    EXPECT_TRUE(rectest::movies().empty());
    EXPECT_EQ(1, videoFileHas1Sec.load());
}

// The wait for a record command: a stop that comes before the thread waits
// does not hang its join, and a wake-up without a running record state
// starts nothing. The thread's end reports once.
TEST_F(Mp4Thread, OnlyARunningRecordStateStartsARecording)
{
    KX_DV_StopMp4Thread();
    for (int i = 0; i < 10; i++) {
        Messages msgs;
        testsupport::capture_stdout([] {
            ASSERT_EQ(0, KX_DV_StartMp4Thread());
            KX_DV_StopMp4Thread();
        });
        EXPECT_EQ(1u, msgs.count(AMSG_RECORD_COMPLETE));
    }
    Messages msgs;
    ASSERT_EQ(0, KX_DV_StartMp4Thread());
    media(Codec::h264, 30);
    feed(0, 30);
    for (int i = 0; i < 5; i++)
        KX_SendCondtoRecord();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(msgs.all().empty());
    EXPECT_TRUE(rectest::movies().empty());
    EXPECT_EQ(30u, KX_OrderQueue_GetRealDepth(q_main_stream));
}

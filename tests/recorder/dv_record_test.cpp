// Recordings on the running pipeline, commanded as the record applications
// do: ten seconds in each kind of mode give one MP4 on the card that plays
// to its end, its video at the mode's rate with every frame the encoder
// coded before the stop and a key picture every group of pictures, the
// scene the right way up, and the sound alongside.
#include "tests/mpi/video/scene_layout.h"
#include "tests/recorder/mp4_media.h"
#include "tests/recorder/recording_support.h"

#include <thread>

namespace {

using namespace mp4test;
using rectest::LiveRecording;

class DvRecord : public LiveRecording {};

} // namespace

TEST_F(DvRecord, TenSecondsInEachModeGiveOnePlayableFile)
{
    // The preferences that choose each mode: MovieResolution 0 is 1080p, 1
    // 720p; MovieFrameRate 2 is 30, 1 is 60, 0 the most the size allows;
    // MovieCodec 0 H.265, 1 H.264.
    struct Case {
        const char *name;
        int32_t resolution, frame_rate, codec;
        int fps, width, height;
        AVCodecID id;
        std::vector<uint32_t> tags;
    } cases[] = {
        {"1080p30 H.264", 0, 2, 1, 30, 1920, 1080, AV_CODEC_ID_H264, {MKTAG('a', 'v', 'c', '1')}},
        {"1080p30 H.265", 0, 2, 0, 30, 1920, 1080, AV_CODEC_ID_HEVC,
         {MKTAG('h', 'v', 'c', '1'), MKTAG('h', 'e', 'v', '1')}},
        {"720p60 H.264", 1, 1, 1, 60, 1280, 720, AV_CODEC_ID_H264, {MKTAG('a', 'v', 'c', '1')}},
        {"720p120 H.264", 1, 0, 1, 120, 1280, 720, AV_CODEC_ID_H264, {MKTAG('a', 'v', 'c', '1')}},
        // Coded from a group of pictures the board prepared once.
        {"1080p60 H.265", 0, 1, 0, 60, 1920, 1080, AV_CODEC_ID_HEVC,
         {MKTAG('h', 'v', 'c', '1'), MKTAG('h', 'e', 'v', '1')}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        rectest::record_mode(c.resolution, c.frame_rate, c.codec);
        ASSERT_EQ(c.fps, gsDvConfig.sVenc.sParam[1].u8FrameRate);
        start_mode();
        dv_stream_stats_reset();
        const size_t complete = msgs_.count(AMSG_RECORD_COMPLETE);
        testsupport::capture_stdout([&] {
            rectest::start_recording();
            std::this_thread::sleep_for(std::chrono::seconds(10));
            rectest::stop_recording();
            EXPECT_TRUE(msgs_.wait(AMSG_RECORD_COMPLETE, complete + 1));
        });
        EXPECT_EQ(0u, msgs_.count(AMSG_FILE_AUTO_SPLIT) + msgs_.count(AMSG_CARD_STATE_FULL));
        stop_mode();
        const DvStreamStats st = dv_stream_stats();

        std::vector<std::string> files = rectest::movies();
        ASSERT_EQ(1u, files.size());
        // The last picture (the exposure long settled) shows the scene the
        // right way up.
        scenetest::Layout last;
        std::string keys; // the key pictures the decoder saw that were misplaced
        int pictures = 0;
        File f = probe_file(files[0], [&](const AVFrame *pic) {
            last = scenetest::layout(pic->width, pic->height, scenetest::frame_sampler(pic));
            // A key picture every group (one second), from the first
            // picture to the last.
            if ((pic->key_frame != 0) != (pictures % c.fps == 0))
                keys += " " + std::to_string(pictures) + (pic->key_frame ? " key" : " not key");
            pictures++;
        });
        EXPECT_TRUE(last.upright()) << last.describe();
        EXPECT_EQ("", keys);
        ASSERT_TRUE(f.opened);
        const Track *v = f.of(AVMEDIA_TYPE_VIDEO), *a = f.of(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a);
        EXPECT_EQ(c.id, v->codec);
        EXPECT_NE(c.tags.end(), std::find(c.tags.begin(), c.tags.end(), v->tag));
        EXPECT_EQ(c.width, v->width);
        EXPECT_EQ(c.height, v->height);
        ASSERT_FALSE(v->packets.empty());
        EXPECT_TRUE(v->packets[0].key);
        expect_constant_rate(*v, AVRational{1, c.fps});
        EXPECT_EQ(st.u64Queued, v->packets.size());
        EXPECT_EQ(0u, st.u64Dropped);
        // Every picture the encoder coded up to its stop is in the file.
        const std::vector<std::string> stops = testsupport::events("venc chn 1 stop: ");
        ASSERT_FALSE(stops.empty());
        EXPECT_EQ(std::to_string(v->packets.size()) + " pictures coded since the start",
                  stops.back().substr(stops.back().find(": ") + 2));
        // The frames were captured over most of the ten seconds (a loaded
        // board loses some upstream, and the file holds what was queued).
        EXPECT_GT(st.u64LastPts - st.u64FirstPts, 7000000u);
        EXPECT_GT(v->packets.size(), (size_t)c.fps);
        EXPECT_EQ(0, v->errors);
        EXPECT_EQ((int)v->packets.size(), v->decoded);

        EXPECT_EQ(AV_CODEC_ID_AAC, a->codec);
        EXPECT_EQ(48000, a->sample_rate);
        EXPECT_EQ(1, a->channels);
        expect_constant_rate(*a, AVRational{1024, 48000});
        EXPECT_NEAR(46.875, a->packets.size() / seconds(*v), 0.5);
        EXPECT_NEAR(seconds(*v), seconds(*a), 0.1);
        EXPECT_EQ(0, a->errors);
        EXPECT_GT(a->decoded, 0);

        std::filesystem::remove(files[0]);
    }
}

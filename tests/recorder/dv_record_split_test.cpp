// A long recording on the running pipeline with one-minute files: split at
// key frames into files of one minute of frames each, every file playable
// with its sound alongside. The one long test of the recorder (125 s).
#include "tests/recorder/mp4_media.h"
#include "tests/recorder/recording_support.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

using namespace mp4test;
using rectest::LiveRecording;

class DvRecordSplit : public LiveRecording {};

} // namespace

TEST_F(DvRecordSplit, OneMinuteFilesFromA125SecondRecording)
{
    rectest::record_mode(0, 2, 1, 83); // 1080p30 H.264, MovieCycletime 83: one-minute files
    ASSERT_EQ(1, gRecCmd[KX_REC_ENTRY_RECORD].PackSize);
    start_mode();
    dv_stream_stats_reset();
    rectest::quiet([&] {
        rectest::start_recording();
        std::this_thread::sleep_for(std::chrono::seconds(125));
        rectest::stop_recording();
        EXPECT_TRUE(msgs_.wait(AMSG_RECORD_COMPLETE));
    });
    stop_mode();
    EXPECT_EQ(2u, msgs_.count(AMSG_FILE_AUTO_SPLIT));
    EXPECT_EQ(0u, msgs_.count(AMSG_CARD_STATE_FULL));

    std::vector<std::string> files = rectest::movies();
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ("KORVAN0000001.mp4", rectest::base(files[0]));
    EXPECT_EQ("KORVAN0000003.mp4", rectest::base(files[2]));
    // A loaded host may lose pictures before the stream thread; the files
    // still split at a minute of capture time, short by what was lost.
    const DvStreamStats st = dv_stream_stats();
    const long span = std::lround((double)(st.u64LastPts - st.u64FirstPts) * 30 / 1e6) + 1;
    const size_t lost = (size_t)std::max(0L, span - (long)st.u64Queued);
    size_t frames = 0;
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(files[i]);
        File f = probe_file(files[i]);
        ASSERT_TRUE(f.opened);
        const Track *v = f.of(AVMEDIA_TYPE_VIDEO), *a = f.of(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a);
        ASSERT_FALSE(v->packets.empty());
        EXPECT_TRUE(v->packets[0].key);
        expect_constant_rate(*v, AVRational{1, 30});
        expect_constant_rate(*a, AVRational{1024, 48000});
        if (i < 2) { // one minute
            EXPECT_LE(v->packets.size(), 1800u);
            EXPECT_GE(v->packets.size() + lost, 1800u);
        }
        EXPECT_EQ(0, v->errors);
        EXPECT_EQ((int)v->packets.size(), v->decoded);
        EXPECT_EQ(0, a->errors);
        EXPECT_NEAR(seconds(*v), seconds(*a), 0.1);
        frames += v->packets.size();
    }
    EXPECT_EQ(dv_stream_stats().u64Queued, frames);
}

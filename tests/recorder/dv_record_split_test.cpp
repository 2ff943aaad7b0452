// A three-minute recording on the running pipeline with one-minute files:
// split at key frames into files of one minute of frames each, every file
// playable, its sound as long as its pictures within one AAC frame, and the
// sound of consecutive files joining without a missing or repeated sample:
// the board's test tone keeps its phase across each boundary. The one long
// test of the recorder (about 185 s).
#include "tests/recorder/mp4_media.h"
#include "tests/recorder/recording_support.h"
#include "recorder/dv_audio.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

using namespace mp4test;
using rectest::LiveRecording;

class DvRecordSplit : public LiveRecording {};

constexpr double kAacFrame = 1024.0 / 48000;
constexpr double kToneHz = 1000; // the board's default sound

// The sound of consecutive files decoded as one stream, as a player going
// from one file to the next without a gap would hear it; where each file's
// sound begins.
struct Joined {
    std::vector<float> pcm;
    std::vector<size_t> starts;
};

Joined decode_joined(const std::vector<std::string> &files)
{
    Joined j;
    const AVCodec *aac = avcodec_find_decoder(AV_CODEC_ID_AAC);
    AVCodecContext *dec = nullptr;
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            const float *s = reinterpret_cast<const float *>(frame->extended_data[0]);
            j.pcm.insert(j.pcm.end(), s, s + frame->nb_samples);
            av_frame_unref(frame);
        }
    };
    for (const std::string &file : files) {
        AVFormatContext *ic = nullptr;
        if (avformat_open_input(&ic, file.c_str(), nullptr, nullptr) < 0)
            break;
        int audio = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (audio < 0) {
            avformat_close_input(&ic);
            break;
        }
        if (!dec) {
            dec = avcodec_alloc_context3(aac);
            avcodec_parameters_to_context(dec, ic->streams[audio]->codecpar);
            avcodec_open2(dec, aac, nullptr);
        }
        // A packet decodes into the samples of the packet before it (the
        // transform's overlap): each file's sound starts a packet late.
        j.starts.push_back(j.pcm.size() + 1024);
        while (av_read_frame(ic, pkt) >= 0) {
            if (pkt->stream_index == audio && avcodec_send_packet(dec, pkt) == 0)
                receive();
            av_packet_unref(pkt);
        }
        avformat_close_input(&ic);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    return j;
}

// Phase of the tone over pcm[from, to), on the clock of sample 0.
double tone_phase(const std::vector<float> &pcm, size_t from, size_t to)
{
    const double w = 2 * M_PI * kToneHz / 48000;
    double c = 0, s = 0;
    for (size_t n = from; n < to; n++) {
        c += pcm[n] * cos(w * (double)n);
        s += pcm[n] * sin(w * (double)n);
    }
    return atan2(s, c);
}

double angle_between(double a, double b)
{
    double d = fmod(a - b, 2 * M_PI);
    if (d > M_PI)
        d -= 2 * M_PI;
    if (d < -M_PI)
        d += 2 * M_PI;
    return fabs(d);
}

} // namespace

TEST_F(DvRecordSplit, ThreeMinutesInOneMinuteFiles)
{
    rectest::record_mode(0, 2, 1, 83); // 1080p30 H.264, MovieCycletime 83: one-minute files
    ASSERT_EQ(1, gRecCmd[KX_REC_ENTRY_RECORD].PackSize);
    start_mode();
    dv_stream_stats_reset();
    dv_audio_stats_reset();
    rectest::quiet([&] {
        rectest::start_recording();
        std::this_thread::sleep_for(std::chrono::seconds(180));
        rectest::stop_recording();
        EXPECT_TRUE(msgs_.wait(AMSG_RECORD_COMPLETE));
    });
    stop_mode();
    EXPECT_EQ(0u, msgs_.count(AMSG_CARD_STATE_FULL));

    // Three minutes of capture make three files, and a short fourth when
    // the third filled its minute before the stop.
    std::vector<std::string> files = rectest::movies();
    ASSERT_GE(files.size(), 3u);
    ASSERT_LE(files.size(), 4u);
    EXPECT_EQ(files.size() - 1, msgs_.count(AMSG_FILE_AUTO_SPLIT));
    EXPECT_EQ("KORVAN0000001.mp4", rectest::base(files[0]));
    // A loaded host may lose pictures before the stream thread; the files
    // still split at a minute of capture time, short by what was lost.
    const DvStreamStats st = dv_stream_stats();
    const long span = std::lround((double)(st.u64LastPts - st.u64FirstPts) * 30 / 1e6) + 1;
    const size_t lost = (size_t)std::max(0L, span - (long)st.u64Queued);
    // A host that starves the board loses sound too, before it is queued
    // (the board's audio input skips time it had no turn for): a file's
    // sound then keeps with its pictures only as closely as that allows.
    const DvAudioStats as = dv_audio_stats();
    const double sound_lost =
        std::max(0.0, (double)(as.u64LastPts - as.u64FirstPts) / 1e6 + kAacFrame - (double)as.u64Queued * kAacFrame) +
        (double)as.u64Dropped * kAacFrame;
    const double av_tolerance = kAacFrame + 1e-6 + sound_lost + (double)lost / 30;
    if (lost || sound_lost > kAacFrame)
        printf("a starved host lost %zu pictures and %.3f s of sound\n", lost, sound_lost);
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
        EXPECT_LE(fabs(seconds(*v) - seconds(*a)), av_tolerance) << "pictures " << seconds(*v) << " s";
        frames += v->packets.size();
    }
    EXPECT_EQ(dv_stream_stats().u64Queued, frames);

    // At each boundary the tone goes on where it was: a packet (1024
    // samples) missing or repeated would turn its phase by a third of a turn.
    Joined sound = decode_joined(files);
    ASSERT_EQ(files.size(), sound.starts.size());
    const size_t window = 2048, margin = 64;
    for (size_t k = 1; k < sound.starts.size(); k++) {
        SCOPED_TRACE("boundary before " + files[k]);
        const size_t at = sound.starts[k];
        ASSERT_GE(at, window + margin);
        ASSERT_LE(at + margin + window, sound.pcm.size());
        const double before = tone_phase(sound.pcm, at - margin - window, at - margin);
        const double after = tone_phase(sound.pcm, at + margin, at + margin + window);
        EXPECT_LT(angle_between(before, after), 0.2);
    }
    // The same measure over a stretch inside a file, for scale.
    const size_t mid = sound.starts[0] + 48000 * 30;
    EXPECT_LT(angle_between(tone_phase(sound.pcm, mid - margin - window, mid - margin),
                            tone_phase(sound.pcm, mid + margin, mid + margin + window)),
              0.2);
}

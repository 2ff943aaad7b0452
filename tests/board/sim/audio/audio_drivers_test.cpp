// What the audio drivers answer on their own: the decoder driver keeps its
// requests, the encoder driver refuses what it does not do, and the output
// driver's WAV file is one a player reads.
#include <fcntl.h>

#include "board/sim/audio/audio.h"
#include "mpi/audio/adec/adec_requests.h"
#include "mpi/audio/aenc/aenc_requests.h"
#include "tests/support/board_fixture.h"

namespace {

class AudioDriverTest : public BoardTest {};

TEST_F(AudioDriverTest, DecoderDriverKeepsChannelsAndCounters)
{
    int fd = bd_open("/dev/adec", O_RDWR);
    ASSERT_GE(fd, 0);
    u32 chn = 32;
    EXPECT_EQ((s32)0xA0188002, bd_ioctl(fd, ADEC_BIND_CHN_CTRL, &chn));
    chn = 5;
    ASSERT_EQ(0, bd_ioctl(fd, ADEC_BIND_CHN_CTRL, &chn));
    u32 word = 0;
    ADEC_CHN_STAT_S stat = {3, 2, 1, 1, 8, 3, 1};
    EXPECT_EQ((s32)0xA0188005, bd_ioctl(fd, ADEC_CHN_STAT_CTRL, &stat)) << "no channel yet";
    ADEC_CHN_ATTR_S bad[] = {{1004, 10, ADEC_MODE_STREAM, &word}, {37, 1, ADEC_MODE_STREAM, &word},
                             {37, 51, ADEC_MODE_STREAM, &word}, {37, 10, 2, &word}};
    for (ADEC_CHN_ATTR_S &a : bad)
        EXPECT_EQ((s32)0xA0188003, bd_ioctl(fd, ADEC_CREATE_CHN_CTRL, &a));
    ADEC_CHN_ATTR_S attr = {37, 10, ADEC_MODE_STREAM, &word};
    ASSERT_EQ(0, bd_ioctl(fd, ADEC_CREATE_CHN_CTRL, &attr));
    EXPECT_EQ((s32)0xA0188004, bd_ioctl(fd, ADEC_CREATE_CHN_CTRL, &attr));
    EXPECT_EQ(0, bd_ioctl(fd, ADEC_CHN_STAT_CTRL, &stat));
    EXPECT_EQ(-1, bd_ioctl(fd, ADEC_CHN_STAT_CTRL, nullptr));
    // Counters that go back, or frames handed out that were never decoded.
    ADEC_CHN_STAT_S wrong[] = {{2, 2, 1, 1, 8, 3, 1}, {3, 2, 3, 1, 8, 3, 1}, {3, 2, 1, 2, 8, 3, 1}};
    for (ADEC_CHN_STAT_S &w : wrong)
        EXPECT_EQ((s32)0xA0188003, bd_ioctl(fd, ADEC_CHN_STAT_CTRL, &w));
    EXPECT_EQ(0, bd_ioctl(fd, ADEC_DESTROY_CHN_CTRL, nullptr));
    EXPECT_EQ(0, bd_ioctl(fd, ADEC_CREATE_CHN_CTRL, &attr)); // free again
    EXPECT_EQ(-1, bd_ioctl(fd, 0x4804, nullptr));
    EXPECT_EQ(1u, testsupport::events("adec destroy chn 5: 3 packets, 2 frames decoded, 1 got, 1 released").size());
    bd_close(fd);
}

TEST_F(AudioDriverTest, EncoderDriverRefusesWhatItDoesNotDo)
{
    int fd = bd_open("/dev/aenc", O_RDWR);
    ASSERT_GE(fd, 0);
    u32 chn = 0;
    ASSERT_EQ(0, bd_ioctl(fd, AENC_BIND_CHN_CTRL, &chn));
    AENC_PAYLOAD_QUERY_S q = {37, 0, 30, nullptr, 7};
    ASSERT_EQ(0, bd_ioctl(fd, AENC_QUERY_PAYLOAD_CTRL, &q));
    EXPECT_EQ(0u, q.bKernelEnc); // every payload is encoded in user space
    q.enType = 1004;
    EXPECT_EQ((s32)0xA0178003, bd_ioctl(fd, AENC_QUERY_PAYLOAD_CTRL, &q));
    AUDIO_FRAME_S frame = {};
    EXPECT_EQ((s32)0xA0178008, bd_ioctl(fd, AENC_SEND_FRAME_CTRL, &frame));
    // A stream buffer must be memory the board handed out, cut in whole slots.
    AENC_STRMBUF_REQ_S buf = {0x1000, 1600, 3 * 1600, AENC_CB_LEN};
    EXPECT_EQ((s32)0xA0178003, bd_ioctl(fd, AENC_STRMBUF_INIT_CTRL, &buf));
    buf.u32PhyAddr = sim::phys_alloc(AENC_CB_LEN + 3 * 1600);
    buf.u32DataLen = 3 * 1600 + 1;
    EXPECT_EQ((s32)0xA0178003, bd_ioctl(fd, AENC_STRMBUF_INIT_CTRL, &buf));
    buf.u32DataLen = 3 * 1600;
    EXPECT_EQ(0, bd_ioctl(fd, AENC_STRMBUF_INIT_CTRL, &buf));
    u32 tail = 1601;
    EXPECT_EQ((s32)0xA0178003, bd_ioctl(fd, AENC_UPDATE_WRTAIL_CTRL, &tail));
    EXPECT_EQ(-1, bd_ioctl(fd, AENC_GET_STREAM_CTRL, reinterpret_cast<void *>(8)));
    bd_close(fd);
}

TEST_F(AudioDriverTest, WavFilesRoundTrip)
{
    std::string path = root_ + "/t.wav";
    sim::audio::WavWriter w;
    ASSERT_TRUE(w.open(path, 16000, 2, 16));
    const s16 a[4] = {1, -2, 3, -4}, b[2] = {5, -6};
    w.write(a, sizeof a);
    w.write(b, sizeof b);
    sim::audio::WavData wav; // readable while still open
    std::string why;
    ASSERT_TRUE(sim::audio::wav_read(path, wav, why)) << why;
    EXPECT_EQ(16000u, wav.rate);
    EXPECT_EQ(2u, wav.channels);
    EXPECT_EQ((std::vector<int16_t>{1, -2, 3, -4, 5, -6}), wav.samples);
    w.close();
    testsupport::write_file(root_ + "/bad.wav", "RIFF....WAVEjunk");
    EXPECT_FALSE(sim::audio::wav_read(root_ + "/bad.wav", wav, why));
    EXPECT_FALSE(sim::audio::wav_read(root_ + "/missing.wav", wav, why));
}

} // namespace

namespace {

TEST_F(AudioDriverTest, AudioCommandsTakeCheckedNumbers)
{
    struct Case {
        const char *line;
        bool ok;
    } cases[] = {
        {"audio noise -20", true},        {"audio noise nan", false},          {"audio noise -101", false},
        {"audio tone 440", true},         {"audio tone inf", false},           {"audio tone 1000x", false},
        {"audio tone+noise 1000 -30", true}, {"audio tone+noise 1000", false}, {"audio hum 50", true},
        {"audio hum", false},             {"audio silence", true},             {"audio echo 0.5 20", true},
        {"audio echo 2 20", false},       {"audio echo 0.5 -1", false},        {"audio echo off", true},
        {"audio file /no/such.wav", false}, {"audio", false},                  {"scene brightness nan", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        std::string answer = sim::control(c.line);
        EXPECT_EQ(c.ok, answer == "ok") << answer;
    }
}

} // namespace

// The audio decoder unit: channels and their attributes, pack and stream
// mode, the frame slots, waits that end when a channel goes, clearing and end
// of stream, a decoder unregistered under a channel, and AAC played through a
// bound output channel into the board's WAV file.
#include "mpi/audio/adec/mpi_adec.h"

#include <atomic>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "board/sim/audio/audio.h"
#include "mpi/audio/adec/adec_requests.h"
#include "mpi/audio/aac/audio_aac_dec_adp.h"
#include "mpi/audio/voice/audio_voice_adp.h"
#include "tests/mpi/audio/aac_packets.h"
#include "tests/mpi/audio/audio_check.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/mpi/audio/voice/voice_reference.h"

namespace {

using testsupport::capture_stderr;
using testsupport::capture_stdout;
using testsupport::wait_until;

constexpr u32 PT_HOLD = 1000;  // a decoder that never finds a whole frame
constexpr u32 PT_PAIRS = 1001; // a decoder of 4-byte frames, two samples each

s32 no_open(void *, void **) { return 0; }
s32 no_info(void *, void *) { return 0; }
s32 no_close(void *) { return 0; }
int g_opened = 0, g_closed = 0;
s32 counted_open(void *, void **)
{
    g_opened++;
    return 0;
}
s32 counted_close(void *)
{
    g_closed++;
    return 0;
}
s32 hold_decode(void *, u8 **, s32 *, u16 *, u32 *, u32 *) { return DU_ERR_ADEC_BUF_LACK; }
s32 pairs_decode(void *, u8 **in, s32 *left, u16 *out, u32 *len, u32 *chns)
{
    *chns = 1;
    if (*left < 4)
        return DU_ERR_ADEC_BUF_LACK;
    memcpy(out, *in, 4);
    *in += 4;
    *left -= 4;
    *len = 4;
    return 0;
}

s32 register_decoder(u32 type)
{
    ADEC_CODEC_ENTRY_S e = {type, "test", no_open, type == PT_HOLD ? hold_decode : pairs_decode, no_info, no_close,
                            nullptr};
    s32 handle = -1;
    EXPECT_EQ(0, DU_DUZ_ADEC_RegeisterDecoder(&handle, &e));
    return handle;
}

AENC_STREAM_OUT_S packet(const u8 *data, u32 len, u64 pts = 0)
{
    AENC_STREAM_OUT_S s = {};
    s.pStream = const_cast<u8 *>(data);
    s.u32Len = len;
    s.u64TimeStamp = pts;
    return s;
}

ADEC_CHN_STAT_S stat_of(s32 chn)
{
    MpiMutexGuard lock(&s_astAdecChn[chn].stMutex);
    return s_astAdecChn[chn].stStat;
}

u32 held_bytes(s32 chn)
{
    MpiMutexGuard lock(&s_astAdecChn[chn].stMutex);
    return s_astAdecChn[chn].u32StreamLen;
}

// Threads of this process by name.
int threads_named(const char *name)
{
    int n = 0;
    DIR *dir = opendir("/proc/self/task");
    while (struct dirent *e = dir ? readdir(dir) : nullptr) {
        if (e->d_name[0] == '.')
            continue;
        std::string comm = testsupport::read_file(std::string("/proc/self/task/") + e->d_name + "/comm");
        if (comm == std::string(name) + "\n")
            n++;
    }
    if (dir)
        closedir(dir);
    return n;
}

// A G.711 A-law voice frame of 320 samples as the encoder writes it.
std::vector<u8> alaw_frame(const s16 *pcm)
{
    std::vector<u8> f = {0x00, 0x01, 0xA0, 0x00};
    for (u32 i = 0; i < 320; i++)
        f.push_back(linear_to_alaw(pcm[i]));
    return f;
}

class AdecTest : public AudioTest {
protected:
    s32 create(s32 chn, u32 type, u32 mode, u32 slots = 5)
    {
        attr_word_ = 0;
        ADEC_CHN_ATTR_S a = {type, slots, mode, &attr_word_};
        return DU_DUZ_ADEC_CreateChn(chn, &a);
    }
    u32 attr_word_ = 0;
};

TEST_F(AdecTest, CreateChecksItsArguments)
{
    u32 word = 0, bad_rate = 9;
    struct Case {
        const char *name;
        s32 chn;
        ADEC_CHN_ATTR_S attr;
        bool no_attr;
        s32 code;
        const char *message;
    } cases[] = {
        {"channel 32", 32, {PT_G711A, 5, ADEC_MODE_PACK, &word}, false, (s32)0xA0188002, ""},
        {"no attributes", 0, {}, true, (s32)0xA0188006, ""},
        {"no decoder attribute", 0, {PT_G711A, 5, ADEC_MODE_PACK, nullptr}, false, (s32)0xA0188006, ""},
        {"payload type 1004", 0, {1004, 5, ADEC_MODE_PACK, &word}, false, (s32)0xA0188003,
         "invalid param: payload type1004\n"},
        {"one frame slot", 0, {PT_G711A, 1, ADEC_MODE_PACK, &word}, false, (s32)0xA0188003,
         "invalid param: u32BufSize1\n"},
        {"51 frame slots", 0, {PT_G711A, 51, ADEC_MODE_PACK, &word}, false, (s32)0xA0188003,
         "invalid param: u32BufSize51\n"},
        {"mode 2", 0, {PT_G711A, 5, 2, &word}, false, (s32)0xA0188003, "invalid param: enMode2\n"},
        {"AAC in pack mode", 0, {PT_AAC, 5, ADEC_MODE_PACK, &word}, false, (s32)0xA0188003, "invalid param: enMode0\n"},
        {"LPCM in stream mode", 0, {PT_LPCM, 5, ADEC_MODE_STREAM, &word}, false, (s32)0xA0188003,
         "invalid param: enMode1\n"},
        {"a payload type nobody decodes", 0, {1002, 5, ADEC_MODE_PACK, &word}, false, (s32)0xA0188003,
         "the decoder maybe has not been registered, AdChn0.\n"},
        {"a decoder refusing to open", 0, {PT_G726, 5, ADEC_MODE_PACK, &bad_rate}, false, (s32)0xA0188003,
         "open the decoder failed, AdChn0.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] {
            capture_stdout([&] { ret = DU_DUZ_ADEC_CreateChn(c.chn, c.no_attr ? nullptr : &c.attr); });
        });
        EXPECT_EQ(c.code, ret);
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
        EXPECT_FALSE(s_astAdecChn[0].bCreated);
    }
    EXPECT_TRUE(testsupport::events("adec create").empty());
}

// The kernel refusing the channel: the decoder instance is closed, no thread
// stays, the frame slots go (the leak check sees them), the channel is free
// and the same creation fails the same way again.
TEST_F(AdecTest, ACreationTheKernelRefusesLeavesNothingBehind)
{
    testsupport::capture_stdout([] { DU_DUZ_SYS_Exit(); });
    testsupport::write_conf(root_, "adec_refuse = " + std::to_string(ADEC_CREATE_CHN_CTRL) + "\n");
    sim::start(root_);
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    ADEC_CODEC_ENTRY_S e = {PT_PAIRS, "counted", counted_open, pairs_decode, no_info, counted_close, nullptr};
    s32 handle = -1;
    ASSERT_EQ(0, DU_DUZ_ADEC_RegeisterDecoder(&handle, &e));
    for (u32 mode : {ADEC_MODE_PACK, ADEC_MODE_STREAM}) {
        SCOPED_TRACE(mode);
        g_opened = g_closed = 0;
        EXPECT_EQ(-1, create(5, PT_PAIRS, mode));
        EXPECT_EQ(1, g_opened);
        EXPECT_EQ(1, g_closed);
        EXPECT_FALSE(s_astAdecChn[5].bCreated || s_astAdecChn[5].bDestroying);
        EXPECT_EQ(nullptr, s_astAdecChn[5].pstFramePool);
        EXPECT_EQ(0, threads_named("ADEC_SendAoProc") + threads_named("ADEC_DecProc"));
        EXPECT_EQ(0, DU_DUZ_ADEC_DestroyChn(5)) << "nothing to destroy";
    }
}

// Created, refused a second time, attributes fixed, destroyed (twice is
// fine), created again; the kernel hears of each step and of the codec words.
TEST_F(AdecTest, ChannelLifecycle)
{
    u32 rate = G726_32K, kind = ADPCM_TYPE_IMA;
    ADEC_CHN_ATTR_S g726 = {PT_G726, 4, ADEC_MODE_STREAM, &rate}, adpcm = {PT_ADPCMA, 4, ADEC_MODE_PACK, &kind};
    ASSERT_EQ(0, DU_DUZ_ADEC_CreateChn(3, &g726));
    ASSERT_EQ(0, DU_DUZ_ADEC_CreateChn(4, &adpcm));
    EXPECT_EQ(1u, testsupport::events("adec create chn 3 type 21 mode 1, 4 frames").size());
    EXPECT_EQ(G726_32K, stat_of(3).u32CodecA);
    EXPECT_EQ(3u, stat_of(3).u32CodecB);
    EXPECT_EQ(8u, stat_of(4).u32CodecA);
    EXPECT_EQ(ADPCM_TYPE_IMA, stat_of(4).u32CodecB);

    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0188004, DU_DUZ_ADEC_CreateChn(3, &adpcm)); });
    EXPECT_NE(std::string::npos, err.find("adec chn3 has been created\n")) << err;
    ADEC_CHN_ATTR_S got = {};
    ASSERT_EQ(0, DU_DUZ_ADEC_GetChnAttr(3, &got));
    EXPECT_EQ(PT_G726, got.enType);
    EXPECT_EQ(ADEC_MODE_STREAM, got.enMode);
    EXPECT_EQ(&rate, got.pValue);
    capture_stderr([&] { EXPECT_EQ((s32)0xA0188009, DU_DUZ_ADEC_SetChnAttr(3, &adpcm)); });
    EXPECT_TRUE(wait_until([] { return threads_named("ADEC_SendAoProc") == 2; }));

    EXPECT_EQ(0, DU_DUZ_ADEC_DestroyChn(3));
    EXPECT_EQ(0, DU_DUZ_ADEC_DestroyChn(3));
    EXPECT_EQ(1u, testsupport::events("adec destroy chn 3: 0 packets").size());
    EXPECT_EQ((s32)0xA0188005, DU_DUZ_ADEC_GetChnAttr(3, &got));
    EXPECT_TRUE(wait_until([] { return threads_named("ADEC_SendAoProc") == 1; }));
    EXPECT_EQ(0, DU_DUZ_ADEC_CreateChn(3, &adpcm));
    EXPECT_EQ((s32)0xA0188002, DU_DUZ_ADEC_DestroyChn(32));
}

TEST_F(AdecTest, CallsRefuseBadArguments)
{
    register_decoder(PT_PAIRS);
    ASSERT_EQ(0, create(0, PT_PAIRS, ADEC_MODE_PACK));
    u8 bytes[16400] = {1, 2, 3, 4};
    AENC_STREAM_OUT_S ok = packet(bytes, 4), no_bytes = packet(nullptr, 4), big = packet(bytes, 16385);
    AUDIO_FRAME_INFO_S info = {}, no_frame = {nullptr, 0};
    AUDIO_FRAME_S made_up = {};
    AUDIO_FRAME_INFO_S forged = {&made_up, 0};
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *message;
    } cases[] = {
        {"send, no packet", [&] { return DU_DUZ_ADEC_SendStream(0, nullptr, 0); }, (s32)0xA0188006, ""},
        {"send, no bytes", [&] { return DU_DUZ_ADEC_SendStream(0, &no_bytes, 0); }, (s32)0xA0188006, ""},
        {"send, bBlock 2", [&] { return DU_DUZ_ADEC_SendStream(0, &ok, 2); }, (s32)0xA0188003,
         "bBlock should be 0 or 1.\n"},
        {"send to channel 32", [&] { return DU_DUZ_ADEC_SendStream(32, &ok, 0); }, (s32)0xA0188002, ""},
        {"send to a channel not created", [&] { return DU_DUZ_ADEC_SendStream(7, &ok, 0); }, (s32)0xA0188005, ""},
        {"a packet past the stream buffer", [&] { return DU_DUZ_ADEC_SendStream(0, &big, 0); }, (s32)0xA0188003,
         "u32Len:16385, maxlen:16384\n"},
        {"get, no info", [&] { return DU_DUZ_ADEC_GetFrame(0, nullptr, 0); }, (s32)0xA0188006, ""},
        {"get, bBlock 2", [&] { return DU_DUZ_ADEC_GetFrame(0, &info, 2); }, (s32)0xA0188003,
         "bBlock should be 0 or 1.\n"},
        {"get, nothing decoded", [&] { return DU_DUZ_ADEC_GetFrame(0, &info, 0); }, (s32)0xA018800E, ""},
        {"get from a channel not created", [&] { return DU_DUZ_ADEC_GetFrame(7, &info, 0); }, (s32)0xA0188005, ""},
        {"release, no info", [&] { return DU_DUZ_ADEC_ReleaseFrame(0, nullptr); }, (s32)0xA0188006, ""},
        {"release, no frame", [&] { return DU_DUZ_ADEC_ReleaseFrame(0, &no_frame); }, (s32)0xA0188006, ""},
        {"release to a channel not created", [&] { return DU_DUZ_ADEC_ReleaseFrame(7, &forged); }, (s32)0xA0188005,
         ""},
        {"release of a frame not from the channel", [&] { return DU_DUZ_ADEC_ReleaseFrame(0, &forged); },
         (s32)0xA0188003, "FrmInfo is invalid.\n"},
        {"frame information, no record", [&] { return DU_DUZ_ADEC_GetFrmInfo(0, nullptr); }, (s32)0xA0188006, ""},
        {"frame information, channel not created", [&] { return DU_DUZ_ADEC_GetFrmInfo(7, &info); },
         (s32)0xA0188005, ""},
        {"end of stream, bInstant 2", [&] { return DU_DUZ_ADEC_SendEndOfStream(0, 2); }, (s32)0xA0188003,
         "bInstant should be 0 or 1.\n"},
        {"end of stream, channel not created", [&] { return DU_DUZ_ADEC_SendEndOfStream(7, 1); }, (s32)0xA0188005,
         ""},
        {"clear, channel not created", [&] { return DU_DUZ_ADEC_ClearChnBuf(7); }, (s32)0xA0188005, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ(c.code, ret);
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
    }
    EXPECT_EQ(0u, stat_of(0).u32DecFrm);
}

// Two slots hold one frame not yet given back; a frame goes back once, and
// only after it was handed out; a blocking send waits for a slot.
TEST_F(AdecTest, PackModeFrameSlots)
{
    const std::vector<int16_t> pcm = voicetest::tone_plus_noise(0.1);
    const std::vector<u8> a = alaw_frame(&pcm[0]), b = alaw_frame(&pcm[320]);
    AENC_STREAM_OUT_S pa = packet(a.data(), (u32)a.size(), 100), pb = packet(b.data(), (u32)b.size(), 200);
    ASSERT_EQ(0, create(0, PT_G711A, ADEC_MODE_PACK, 2));

    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &pa, 0));
    EXPECT_EQ((s32)0xA018800F, DU_DUZ_ADEC_SendStream(0, &pb, 0));
    AUDIO_FRAME_INFO_S first = {};
    ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(0, &first, 0));
    EXPECT_EQ(100u, first.pstFrame->u64TimeStamp);
    EXPECT_EQ(0u, first.pstFrame->u32Seq);
    EXPECT_EQ(640u, first.pstFrame->u32Len);
    EXPECT_EQ(0u, first.pstFrame->enSoundmode);
    EXPECT_EQ((s32)0xA018800F, DU_DUZ_ADEC_SendStream(0, &pb, 0)) << "the frame is out, not back";
    ASSERT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(0, &first));
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0188003, DU_DUZ_ADEC_ReleaseFrame(0, &first)); });
    EXPECT_NE(std::string::npos, err.find("FrmInfo is invalid.\n")) << err;

    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &pb, 0));
    // Neither slot can be given back now: one is free, one holds a frame not
    // handed out.
    ADEC_FRAME_POOL_S *pool = s_astAdecChn[0].pstFramePool;
    for (u32 id = 0; id < 2; id++) {
        AUDIO_FRAME_INFO_S guess = {&pool->astNode[id].stFrame, id};
        capture_stderr([&] { EXPECT_EQ((s32)0xA0188003, DU_DUZ_ADEC_ReleaseFrame(0, &guess)) << id; });
    }
    AUDIO_FRAME_INFO_S second = {};
    ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(0, &second, 0));
    EXPECT_EQ(200u, second.pstFrame->u64TimeStamp);
    EXPECT_EQ(1u, second.pstFrame->u32Seq);
    EXPECT_EQ((s32)0xA018800E, DU_DUZ_ADEC_GetFrame(0, &first, 0));
    AUDIO_FRAME_INFO_S wrong_id = {second.pstFrame, second.u32Id ^ 1};
    capture_stderr([&] { EXPECT_EQ((s32)0xA0188003, DU_DUZ_ADEC_ReleaseFrame(0, &wrong_id)); });
    ASSERT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(0, &second));

    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &pa, 0));
    std::atomic<s32> blocked_ret{1};
    std::thread sender([&] { blocked_ret = DU_DUZ_ADEC_SendStream(0, &pb, 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(1, blocked_ret.load()) << "waits for a slot";
    AUDIO_FRAME_INFO_S third = {};
    ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(0, &third, 1));
    ASSERT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(0, &third));
    sender.join();
    EXPECT_EQ(0, blocked_ret.load());

    const ADEC_CHN_STAT_S st = stat_of(0);
    EXPECT_EQ(6u, st.u32RecvPkt);
    EXPECT_EQ(4u, st.u32DecFrm);
    EXPECT_EQ(3u, st.u32GetFrm);
    EXPECT_EQ(3u, st.u32RelFrm);
    EXPECT_EQ(0u, st.u32Mode);
    EXPECT_EQ(0, DU_DUZ_ADEC_DestroyChn(0));
    EXPECT_EQ(1u, testsupport::events("adec destroy chn 0: 6 packets, 4 frames decoded, 3 got, 3 released").size());
}

// Without blocking, a packet of exactly the free space fills the stream
// buffer and one byte more is refused. Whoever waits when the channel goes
// is let go.
TEST_F(AdecTest, StreamBufferRoomAndDestroyingUnderWaiters)
{
    register_decoder(PT_HOLD);
    ASSERT_EQ(0, create(1, PT_HOLD, ADEC_MODE_STREAM, 4));
    std::vector<u8> bytes(ADEC_STREAM_BUF_SIZE, 0x55);
    AENC_STREAM_OUT_S most = packet(bytes.data(), 10000), rest = packet(bytes.data(), ADEC_STREAM_BUF_SIZE - 10000),
                      one = packet(bytes.data(), 1), none = packet(bytes.data(), 0);
    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(1, &most, 0));
    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(1, &rest, 0));
    EXPECT_EQ(ADEC_STREAM_BUF_SIZE, held_bytes(1));
    EXPECT_EQ((s32)0xA018800F, DU_DUZ_ADEC_SendStream(1, &one, 0));
    EXPECT_EQ(0, DU_DUZ_ADEC_SendStream(1, &none, 0));
    EXPECT_EQ(3u, stat_of(1).u32RecvPkt);

    std::atomic<s32> send_ret{1}, get_ret[2] = {{1}, {1}};
    std::thread sender([&] { send_ret = DU_DUZ_ADEC_SendStream(1, &one, 1); });
    std::vector<std::thread> getters;
    for (auto &r : get_ret)
        getters.emplace_back([&r] {
            AUDIO_FRAME_INFO_S info;
            r = DU_DUZ_ADEC_GetFrame(1, &info, 1);
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(1, send_ret.load());
    EXPECT_EQ(0, DU_DUZ_ADEC_DestroyChn(1));
    sender.join();
    for (std::thread &t : getters)
        t.join();
    EXPECT_EQ((s32)0xA0188005, send_ret.load());
    for (auto &r : get_ret)
        EXPECT_EQ((s32)0xA0188005, r.load());
    EXPECT_EQ(0, create(1, PT_HOLD, ADEC_MODE_STREAM, 4)) << "the channel is free again";
}

// A-law frames sent as bytes cut anywhere, some pieces larger than the stream
// buffer, through three slots a consumer empties: every frame comes out in
// order; the partial frame at the end goes with the end of stream.
TEST_F(AdecTest, StreamModeDecodesFramesCutAnywhere)
{
    constexpr u32 kFrames = 60;
    const std::vector<int16_t> pcm = voicetest::tone_plus_noise(kFrames * 320.0 / voicetest::kRate);
    std::vector<u8> stream;
    for (u32 f = 0; f < kFrames; f++) {
        std::vector<u8> frame = alaw_frame(&pcm[f * 320]);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    stream.insert(stream.end(), stream.begin(), stream.begin() + 100); // a frame that never ends
    ASSERT_EQ(0, create(2, PT_G711A, ADEC_MODE_STREAM, 3));

    std::vector<s16> out;
    std::thread consumer([&] {
        for (u32 f = 0; f < kFrames; f++) {
            AUDIO_FRAME_INFO_S info = {};
            ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(2, &info, 1));
            EXPECT_EQ(f, info.pstFrame->u32Seq);
            ASSERT_EQ(640u, info.pstFrame->u32Len);
            const s16 *s = static_cast<const s16 *>(info.pstFrame->pVirAddr[0]);
            out.insert(out.end(), s, s + 320);
            ASSERT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(2, &info));
        }
    });
    const size_t cuts[] = {1, 7, 500, 3000, 2, 17000, 64};
    size_t at = 0, k = 0;
    while (at < stream.size()) {
        const size_t n = std::min(cuts[k++ % 7], stream.size() - at);
        AENC_STREAM_OUT_S p = packet(&stream[at], (u32)n, at);
        ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(2, &p, 1));
        at += n;
    }
    ASSERT_EQ(0, DU_DUZ_ADEC_SendEndOfStream(2, 0));
    consumer.join();
    EXPECT_TRUE(wait_until([] { return held_bytes(2) == 0 && !s_astAdecChn[2].bEndOfStream; }));
    ASSERT_EQ(kFrames * 320, out.size());
    for (u32 i = 0; i < out.size(); i++)
        ASSERT_EQ(alaw_to_linear(linear_to_alaw(pcm[i])), out[i]) << i;
    const ADEC_CHN_STAT_S st = stat_of(2);
    EXPECT_EQ(k, st.u32RecvPkt);
    EXPECT_EQ(kFrames, st.u32DecFrm);
    EXPECT_EQ(kFrames, st.u32RelFrm);
    EXPECT_EQ(1u, st.u32Mode);
}

// Clearing drops what waits, not what is out; end of stream at once resets
// and clears, at the end of the bytes decodes what is whole and drops the rest.
TEST_F(AdecTest, ClearAndEndOfStream)
{
    register_decoder(PT_PAIRS);
    ASSERT_EQ(0, create(0, PT_PAIRS, ADEC_MODE_PACK, 5));
    const u8 bytes[10] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
    AENC_STREAM_OUT_S p = packet(bytes, 4);
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &p, 0));
    AUDIO_FRAME_INFO_S out = {}, next = {};
    ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(0, &out, 0));
    ASSERT_EQ(0, DU_DUZ_ADEC_ClearChnBuf(0));
    EXPECT_EQ((s32)0xA018800E, DU_DUZ_ADEC_GetFrame(0, &next, 0));
    EXPECT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(0, &out));
    // Every slot but one takes a frame again, and only those.
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &p, 0)) << i;
    EXPECT_EQ((s32)0xA018800F, DU_DUZ_ADEC_SendStream(0, &p, 0));
    ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(0, &next, 0));
    EXPECT_EQ(3u, next.pstFrame->u32Seq);

    ASSERT_EQ(0, create(1, PT_PAIRS, ADEC_MODE_STREAM, 5));
    register_decoder(PT_HOLD);
    ASSERT_EQ(0, create(2, PT_HOLD, ADEC_MODE_STREAM, 5));
    AENC_STREAM_OUT_S ten = packet(bytes, 10);
    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(2, &ten, 0));
    ASSERT_EQ(0, DU_DUZ_ADEC_SendEndOfStream(2, 1));
    EXPECT_EQ(0u, held_bytes(2));

    ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(1, &ten, 0));
    ASSERT_EQ(0, DU_DUZ_ADEC_SendEndOfStream(1, 0));
    EXPECT_TRUE(wait_until([] { return held_bytes(1) == 0 && stat_of(1).u32DecFrm == 2; }));
    for (u32 f = 0; f < 2; f++) {
        ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(1, &next, 0));
        EXPECT_EQ(0, memcmp(next.pstFrame->pVirAddr[0], bytes + 4 * f, 4));
        EXPECT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(1, &next));
    }
    EXPECT_EQ((s32)0xA018800E, DU_DUZ_ADEC_GetFrame(1, &next, 0)) << "the two bytes left were no frame";
}

// A decoder unregistered under its channels: a pack send and the frame
// information report it, the decode thread ends, a decoder registered into
// the same slot is not taken for it, and the channels still go, their
// instances closed by the operations that opened them (a channel kept for
// ever would outlive the unit, its send thread running).
TEST_F(AdecTest, DecoderUnregisteredUnderItsChannels)
{
    ADEC_CODEC_ENTRY_S counted = {PT_PAIRS, "counted", counted_open, pairs_decode, no_info, counted_close, nullptr};
    s32 slot = -1;
    ASSERT_EQ(0, DU_DUZ_ADEC_RegeisterDecoder(&slot, &counted));
    g_opened = g_closed = 0;
    ASSERT_EQ(0, create(0, PT_PAIRS, ADEC_MODE_PACK));
    ASSERT_EQ(0, create(1, PT_PAIRS, ADEC_MODE_STREAM));
    EXPECT_TRUE(wait_until([] { return threads_named("ADEC_DecProc") == 1; })) << "the pack channel's ends at once";
    ASSERT_EQ(0, DU_DUZ_ADEC_UnRegisterDecoder(slot));
    EXPECT_EQ(slot, register_decoder(PT_HOLD));

    const u8 bytes[8] = {};
    AENC_STREAM_OUT_S p = packet(bytes, 8);
    std::string err = capture_stderr([&] {
        EXPECT_EQ((s32)0xA0188040, DU_DUZ_ADEC_SendStream(0, &p, 0));
        EXPECT_EQ((s32)0xA0188040, DU_DUZ_ADEC_GetFrmInfo(0, &p));
        EXPECT_EQ(0, DU_DUZ_ADEC_SendStream(1, &p, 0));
        EXPECT_TRUE(wait_until([] { return threads_named("ADEC_DecProc") == 0; }));
    });
    size_t n = 0;
    for (size_t at = 0; (at = err.find("The decoder has been unregistered!\n", at)) != std::string::npos; at++)
        n++;
    EXPECT_EQ(3u, n) << err;
    EXPECT_EQ(8u, held_bytes(1)) << "the bytes stay";

    err = capture_stderr([&] {
        EXPECT_EQ((s32)0xA0188040, DU_DUZ_ADEC_DestroyChn(0));
        EXPECT_EQ((s32)0xA0188040, DU_DUZ_ADEC_DestroyChn(1));
    });
    EXPECT_NE(std::string::npos, err.find("The decoder has been unregistered!\n"));
    EXPECT_FALSE(s_astAdecChn[0].bCreated || s_astAdecChn[1].bCreated);
    EXPECT_EQ(2, g_opened);
    EXPECT_EQ(2, g_closed) << "no instance left behind";
    EXPECT_TRUE(wait_until([] { return threads_named("ADEC_SendAoProc") == 0; }));
    EXPECT_EQ(0, create(0, PT_HOLD, ADEC_MODE_STREAM));
}

// The camera's own AAC packets, cut anywhere, into a stream-mode channel
// bound to output channel 0: one frame per packet, the last one too, played
// into the board's WAV file as one track per channel.
TEST_F(AdecTest, AacStreamBoundToAnOutputPlaysIntoItsWav)
{
    capture_stdout([] { ASSERT_EQ(0, DU_DUZ_ADEC_AacInit()); });
    constexpr u32 kPackets = 40;
    struct Case {
        const char *name;
        bool stereo;
    } cases[] = {{"mono", false}, {"stereo", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AIO_ATTR_S ao = audiotest::camera_attr();
        ao.enSoundmode = c.stereo ? 1 : 0;
        ASSERT_EQ(0, DU_DUZ_AO_SetPubAttr(0, &ao));
        ASSERT_EQ(0, DU_DUZ_AO_Enable(0));
        ASSERT_EQ(0, DU_DUZ_AO_EnableChn(0, 0));
        ADEC_ATTR_AAC_S aac = {};
        ADEC_CHN_ATTR_S attr = {PT_AAC, 10, ADEC_MODE_STREAM, &aac};
        ASSERT_EQ(0, DU_DUZ_ADEC_CreateChn(0, &attr));
        MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, 0}, dst = {DU_ID_AO, 0, 0};
        ASSERT_EQ(0, DU_DUZ_SYS_Bind(&src, &dst));

        const std::vector<u8> stream = aactest::concat(aactest::camera_packets(kPackets, c.stereo));
        const size_t cuts[] = {1, 7, 100, 333, 2, 1500, 64};
        size_t at = 0, k = 0;
        while (at < stream.size()) {
            const size_t n = std::min(cuts[k++ % 7], stream.size() - at);
            AENC_STREAM_OUT_S p = packet(&stream[at], (u32)n);
            ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &p, 1));
            at += n;
        }
        ASSERT_EQ(0, DU_DUZ_ADEC_SendEndOfStream(0, 0));
        ASSERT_TRUE(wait_until([] { return stat_of(0).u32RelFrm == kPackets && held_bytes(0) == 0; }));
        EXPECT_TRUE(wait_until([] {
            AO_CHN_STATE_S st = {};
            return DU_DUZ_AO_QueryChnStat(0, 0, &st) == 0 && st.u32ChnBusyNum == 0;
        }));
        EXPECT_EQ(kPackets, stat_of(0).u32DecFrm) << "one frame per packet";
        AAC_DEC_FRM_INFO_S info = {};
        EXPECT_EQ(0, DU_DUZ_ADEC_GetFrmInfo(0, &info));
        EXPECT_EQ(48000, info.s32Samplerate);
        ASSERT_EQ(0, DU_DUZ_SYS_UnBind(&src, &dst));
        ASSERT_EQ(0, DU_DUZ_ADEC_DestroyChn(0));
        ASSERT_EQ(0, DU_DUZ_AO_DisableChn(0, 0));
        ASSERT_EQ(0, DU_DUZ_AO_Disable(0));

        sim::audio::WavData wav;
        std::string why;
        ASSERT_TRUE(sim::audio::wav_read(root_ + "/ao_dev0_chn0.wav", wav, why)) << why;
        const unsigned tracks = c.stereo ? 2 : 1;
        ASSERT_EQ(tracks, wav.channels);
        EXPECT_EQ(48000u, wav.rate);
        ASSERT_EQ((size_t)kPackets * aactest::kFrame * tracks, wav.samples.size());
        for (unsigned t = 0; t < tracks; t++) {
            SCOPED_TRACE(t);
            std::vector<float> track;
            for (size_t i = t; i < wav.samples.size(); i += tracks)
                track.push_back(wav.samples[i] / 32768.0f);
            EXPECT_NEAR(t == 0 ? aactest::kLeftHz : aactest::kRightHz,
                        audiocheck::dominant_hz(track, track.size() - 8192, 8192, 48000), 10);
            EXPECT_GT(audiocheck::rms(track, track.size() - aactest::kFrame, aactest::kFrame), 0.1)
                << "the last frame is there";
        }
    }
}

} // namespace

// The audio encoder unit: the camera's road from the capture driver to AAC
// packets, argument checks, the stream buffer's rules and the send path.
#include <cmath>
#include <cstring>
#include <vector>

#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/video/sys/mmz_requests.h"
#include "tests/mpi/audio/audio_check.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/support/arg_rules.h"

namespace {

using audiotest::readable;

constexpr s32 kIllegal = (s32)0xA0178003;

// A stand-in encoder: the packet is the frame's first track.
s32 copy_open(void *, void **inst)
{
    *inst = reinterpret_cast<void *>(1);
    return 0;
}
s32 copy_encode(void *, const AUDIO_FRAME_S *f, u8 *out, u32 *len)
{
    memcpy(out, f->pVirAddr[0], f->u32Len);
    *len = f->u32Len;
    return 0;
}
s32 copy_close(void *) { return 0; }

// The same, counting its instances.
int g_opened = 0, g_closed = 0;
s32 counted_open(void *attr, void **inst)
{
    g_opened++;
    return copy_open(attr, inst);
}
s32 counted_close(void *inst)
{
    g_closed++;
    return copy_close(inst);
}
const AENC_CODEC_ENTRY_S kCounted = {1000, 2048, "counted", counted_open, copy_encode, counted_close};

class AencTest : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_AENC_AacInit());
    }

    // Opens channel `chn` with the built-in LPCM encoder: the packet is the
    // frame's first track.
    s32 create_copy_chn(s32 chn, u32 buf_size, u32 pt_num = 1024)
    {
        AENC_CHANNEL_CFG_S cfg = {PT_LPCM, pt_num, buf_size, &attr_word_};
        return DU_DUZ_AENC_CreateChn(chn, &cfg);
    }

    s32 create_aac_chn(s32 chn, u32 buf_size = 30)
    {
        AENC_CHANNEL_CFG_S cfg = {PT_AAC, 1024, buf_size, &aac_};
        return DU_DUZ_AENC_CreateChn(chn, &cfg);
    }

    // A 16-bit mono frame of `samples` samples of a 1 kHz tone.
    AUDIO_FRAME_S frame(u32 samples, u16 first = 0)
    {
        pcm_.assign(samples, 0);
        for (u32 i = 0; i < samples; i++)
            pcm_[i] = (s16)lrint(8000 * sin(2 * M_PI * 1000 * (tone_at_ + i) / 48000.0));
        pcm_[0] = (s16)(first ? first : pcm_[0]);
        tone_at_ += samples;
        AUDIO_FRAME_S f = {};
        f.enBitwidth = 1;
        f.pVirAddr[0] = pcm_.data();
        f.u32Len = samples * 2;
        f.u64TimeStamp = 1000 + tone_at_;
        return f;
    }

    // The board started afresh with `conf` and the trace on, the counted
    // encoder registered as payload 1000; its registry handle.
    s32 restart_with_counted(const std::string &conf)
    {
        testsupport::capture_stdout([] { DU_DUZ_SYS_Exit(); });
        testsupport::write_conf(root_, "trace = 1\n" + conf);
        sim::start(root_);
        EXPECT_EQ(0, DU_DUZ_SYS_Init());
        s32 handle = -1;
        EXPECT_EQ(0, DU_DUZ_AENC_RegeisterEncoder(&handle, &kCounted));
        return handle;
    }

    AAC_ENC_CFG_S aac_ = {AAC_TYPE_AACLC, 128000, 48000, 1, 0};
    u32 attr_word_ = 0;
    AENC_CHANNEL_CFG_S counted_cfg_ = {1000, 320, 4, &attr_word_};
    std::vector<s16> pcm_;
    u32 tone_at_ = 0;
};

// The camera's road: input device 0 at 48 kHz mono bound to an AAC-LC channel.
TEST_F(AencTest, CaptureBoundToAacChannelGivesAdtsPacketsOfTheTone)
{
    ASSERT_EQ(0, DU_DUZ_AI_SetPubAttr(0, [] {
                  static AIO_ATTR_S a = audiotest::camera_attr();
                  return &a;
              }()));
    ASSERT_EQ(0, DU_DUZ_AI_Enable(0));
    ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 0));
    ASSERT_EQ(0, create_aac_chn(0));
    MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, aenc = {DU_ID_AENC, 0, 0};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&ai, &aenc));

    s32 fd = DU_DUZ_AENC_GetFd(0);
    ASSERT_GT(fd, 0);
    std::vector<std::vector<uint8_t>> packets;
    std::vector<u64> stamps;
    std::vector<u32> seqs;
    while (packets.size() < 94) { // two seconds of sound
        ASSERT_TRUE(readable(fd, 3000)) << "no packet after " << packets.size();
        AENC_STREAM_OUT_S s;
        ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s, 0));
        ASSERT_NE(nullptr, s.pStream);
        ASSERT_TRUE(audiocheck::is_adts(s.pStream, s.u32Len));
        ASSERT_EQ(s.pStream[0], 0xFF);
        ASSERT_EQ(s.pStream[1], 0xF1);
        ASSERT_EQ(audiocheck::adts_len(s.pStream), s.u32Len);
        packets.emplace_back(s.pStream, s.pStream + s.u32Len);
        stamps.push_back(s.u64TimeStamp);
        seqs.push_back(s.u32Seq);
        ASSERT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
    }
    // One packet per 1024 samples: 46.875 a second, 21333 us apart, none lost.
    for (size_t i = 1; i < stamps.size(); i++) {
        EXPECT_NEAR((double)(stamps[i] - stamps[i - 1]), 21333.3, 1.0) << i;
        EXPECT_EQ(seqs[i - 1] + 1, seqs[i]);
    }
    double per_second = (stamps.size() - 1) * 1e6 / (double)(stamps.back() - stamps.front());
    EXPECT_NEAR(per_second, 46.875, 0.05);

    int rate = 0;
    std::vector<float> pcm = audiocheck::decode_aac(packets, &rate);
    EXPECT_EQ(48000, rate);
    ASSERT_GE(pcm.size(), 80u * 1024);
    EXPECT_NEAR(audiocheck::dominant_hz(pcm, 4096, 48000, rate), 1000, 10);
    EXPECT_GT(audiocheck::rms(pcm, 4096, 48000), 0.2);

    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &aenc));
    EXPECT_EQ(0, DU_DUZ_AENC_DestroyChn(0));
    EXPECT_EQ(0, DU_DUZ_AI_DisableChn(0, 0));
    EXPECT_EQ(0, DU_DUZ_AI_Disable(0));
}

class AencTraceTest : public AencTest {
protected:
    AencTraceTest() { conf_ = "trace = 1\n"; }
};

TEST_F(AencTraceTest, RefusedArgumentsReachNoDevice)
{
    ASSERT_GT(DU_DUZ_AENC_GetFd(0), 0); // channel 0's node is open: the checks below are all there is
    AENC_CHANNEL_CFG_S ok = {PT_AAC, 1024, 30, &aac_};
    AENC_CHANNEL_CFG_S buf1 = ok, buf51 = ok, pt = ok, pts = ok, attr = ok, unreg = ok;
    buf1.u32BufSize = 1;
    buf51.u32BufSize = 51;
    pt.enType = 1004;
    pts.u32PtNumPerFrm = 1000;
    attr.pValue = nullptr;
    unreg.enType = 99;
    AENC_STREAM_OUT_S no_data = {};
    AUDIO_FRAME_S f = frame(1024);
    std::vector<argrules::Case> cases = {
        {"create: channel 32", [&] { return DU_DUZ_AENC_CreateChn(32, &ok); }, (s32)0xA0178002, ""},
        {"create: channel -1", [&] { return DU_DUZ_AENC_CreateChn(-1, &ok); }, (s32)0xA0178002, ""},
        {"create: no attributes", [&] { return DU_DUZ_AENC_CreateChn(0, nullptr); }, (s32)0xA0178006, ""},
        {"create: one slot", [&] { return DU_DUZ_AENC_CreateChn(0, &buf1); }, kIllegal, "invalid u32BufSize(1)\n"},
        {"create: 51 slots", [&] { return DU_DUZ_AENC_CreateChn(0, &buf51); }, kIllegal,
         "aenc chn:0 attr is illegal!\n"},
        {"create: payload 1004", [&] { return DU_DUZ_AENC_CreateChn(0, &pt); }, kIllegal, "invalid payload type\n"},
        {"create: AAC with 1000 samples", [&] { return DU_DUZ_AENC_CreateChn(0, &pts); }, kIllegal,
         "invalid u32PtNumPerFrm(1000)\n"},
        {"create: no encoder attributes", [&] { return DU_DUZ_AENC_CreateChn(0, &attr); }, kIllegal,
         "aenc chn:0 attr is illegal!\n"},
        {"create: payload not registered", [&] { return DU_DUZ_AENC_CreateChn(0, &unreg); }, kIllegal,
         "aenc chn:0 the payload type99 not registered\n"},
        {"get stream: no record", [&] { return DU_DUZ_AENC_GetStream(0, nullptr, 0); }, (s32)0xA0178006, ""},
        {"get stream: wait -2", [&] {
             AENC_STREAM_OUT_S s;
             return DU_DUZ_AENC_GetStream(0, &s, -2);
         },
         kIllegal, "param s32MilliSec = -2 error\n"},
        {"release: no record", [&] { return DU_DUZ_AENC_ReleaseStream(0, nullptr); }, (s32)0xA0178006, ""},
        {"release: no packet", [&] { return DU_DUZ_AENC_ReleaseStream(0, &no_data); }, (s32)0xA0178006, ""},
        {"release: channel not created", [&] {
             AENC_STREAM_OUT_S s = {reinterpret_cast<u8 *>(&f), 0, 0, 0, 0, 0, 0};
             return DU_DUZ_AENC_ReleaseStream(0, &s);
         },
         (s32)0xA0178005, ""},
        {"send: no frame", [&] { return DU_DUZ_AENC_SendFrame(0, nullptr, nullptr); }, (s32)0xA0178006, ""},
        {"send: channel not created", [&] { return DU_DUZ_AENC_SendFrame(0, &f, nullptr); }, (s32)0xA0178005, ""},
        {"save file: no record", [&] { return DU_DUZ_AENC_SaveFile(0, nullptr); }, (s32)0xA0178006, ""},
        {"fd: channel 32", [&] { return DU_DUZ_AENC_GetFd(32); }, (s32)0xA0178002, ""},
        {"destroy: channel 33", [&] { return DU_DUZ_AENC_DestroyChn(33); }, (s32)0xA0178002, ""},
        {"destroy: not created", [&] { return DU_DUZ_AENC_DestroyChn(0); }, 0, ""},
    };
    argrules::run(cases, argrules::device("/dev/aenc"));
}

TEST_F(AencTest, RegistryRefusesDuplicatesAndBadHandles)
{
    AENC_CODEC_ENTRY_S aac = {};
    aac.enType = PT_AAC;
    aac.pfnOpenEncoder = copy_open;
    aac.pfnEncodeFrm = copy_encode;
    aac.pfnCloseEncoder = copy_close;
    AENC_CODEC_ENTRY_S no_close = aac;
    no_close.enType = 70;
    no_close.pfnCloseEncoder = nullptr;
    s32 handle = -1;
    struct Case {
        const char *name;
        s32 ret;
        s32 code;
    };
    const Case cases[] = {
        {"AAC registered twice", DU_DUZ_AENC_RegeisterEncoder(&handle, &aac), (s32)0xA017800F},
        {"AacInit again", DU_DUZ_AENC_AacInit(), (s32)0xA017800F},
        {"no close operation", DU_DUZ_AENC_RegeisterEncoder(&handle, &no_close), (s32)0xA0178006},
        {"no handle", DU_DUZ_AENC_RegeisterEncoder(nullptr, &aac), (s32)0xA0178006},
        {"handle 20", DU_DUZ_AENC_UnRegisterEncoder(20), kIllegal},
        {"free slot", DU_DUZ_AENC_UnRegisterEncoder(19), (s32)0xA017800E},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.code, c.ret);
    }
}

TEST_F(AencTest, TwoSlotsHoldOnePacketUntilItIsReleased)
{
    ASSERT_EQ(0, create_copy_chn(0, 2));
    s32 fd = DU_DUZ_AENC_GetFd(0);
    EXPECT_FALSE(readable(fd, 0));
    AUDIO_FRAME_S f = frame(1024, 111);
    ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
    EXPECT_TRUE(readable(fd, 0));
    AUDIO_FRAME_S g = frame(1024, 222);
    EXPECT_EQ((s32)0xA017800F, DU_DUZ_AENC_SendFrame(0, &g, nullptr)); // dropped

    AENC_STREAM_OUT_S s;
    ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s, 0));
    EXPECT_FALSE(readable(fd, 0));
    EXPECT_EQ(2048u, s.u32Len);
    EXPECT_EQ(111, reinterpret_cast<const s16 *>(s.pStream)[0]);
    EXPECT_EQ(f.u64TimeStamp, s.u64TimeStamp);
    EXPECT_EQ(0u, s.u32Seq);
    EXPECT_EQ((s32)0xA017800F, DU_DUZ_AENC_SendFrame(0, &g, nullptr)); // still held by the caller
    ASSERT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));

    AUDIO_FRAME_S h = frame(1024, 333);
    ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &h, nullptr));
    ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s, 0));
    EXPECT_EQ(333, reinterpret_cast<const s16 *>(s.pStream)[0]);
    EXPECT_EQ(1u, s.u32Seq);
    EXPECT_EQ((s32)0xA017800E, [] {
        AENC_STREAM_OUT_S t;
        return DU_DUZ_AENC_GetStream(0, &t, 0);
    }());
    EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
}

TEST_F(AencTest, PacketsGoBackInOrder)
{
    ASSERT_EQ(0, create_copy_chn(0, 4));
    AENC_STREAM_OUT_S s[2];
    for (int i = 0; i < 2; i++) {
        AUDIO_FRAME_S f = frame(1024);
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
        ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s[i], 0));
    }
    std::string err = testsupport::capture_stderr([&] { EXPECT_EQ(kIllegal, DU_DUZ_AENC_ReleaseStream(0, &s[1])); });
    EXPECT_NE(std::string::npos, err.find("please release stream in order.\n"));
    EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s[0]));
    EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s[1]));
    // Nothing is out any more: releasing again is out of order too.
    testsupport::capture_stderr([&] { EXPECT_EQ(kIllegal, DU_DUZ_AENC_ReleaseStream(0, &s[1])); });
}

TEST_F(AencTest, StreamBufferWrapsAround)
{
    ASSERT_EQ(0, create_copy_chn(0, 3));
    for (u16 i = 1; i <= 10; i++) {
        SCOPED_TRACE(i);
        AUDIO_FRAME_S f = frame(1024, i);
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
        AENC_STREAM_OUT_S s;
        ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s, 100));
        EXPECT_EQ(i, reinterpret_cast<const s16 *>(s.pStream)[0]);
        EXPECT_EQ(i - 1u, s.u32Seq);
        ASSERT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
    }
}

TEST_F(AencTest, SendPathRefusesFramesItCannotEncode)
{
    ASSERT_EQ(0, create_aac_chn(0));
    ASSERT_EQ(0, create_copy_chn(1, 4, 8192));
    AUDIO_FRAME_S big = frame(2048), eight = frame(1024), stereo = frame(1024), empty = frame(1024);
    eight.enBitwidth = 0;
    eight.u32Len = 1024; // 1024 samples of one byte
    stereo.enSoundmode = 1; // without its right track
    empty.u32Len = 0;
    std::vector<s16> lpcm(4097);
    AUDIO_FRAME_S too_long = {};
    too_long.enBitwidth = 1;
    too_long.pVirAddr[0] = lpcm.data();
    too_long.u32Len = 8194;
    struct Case {
        const char *name;
        s32 chn;
        AUDIO_FRAME_S *frame;
        s32 code;
        const char *message;
    };
    const Case cases[] = {
        {"2048 samples into a 1024-sample channel", 0, &big, (s32)0xA0178009,
         "frame point num:2048 error, it's bigger than aenc chn frame point num:1024\n"},
        {"8-bit frame", 0, &eight, kIllegal, ""},
        {"stereo frame without its right track", 0, &stereo, kIllegal, ""},
        {"no data", 0, &empty, kIllegal, "the frame has no data\n"},
        {"LPCM frame above 8192 bytes", 1, &too_long, kIllegal, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string err =
            testsupport::capture_stderr([&] { EXPECT_EQ(c.code, DU_DUZ_AENC_SendFrame(c.chn, c.frame, nullptr)); });
        if (*c.message) {
            EXPECT_NE(std::string::npos, err.find(c.message)) << err;
        }
        AENC_STREAM_OUT_S s;
        EXPECT_EQ((s32)0xA017800E, DU_DUZ_AENC_GetStream(c.chn, &s, 0)); // nothing was committed
    }
    // An LPCM frame of exactly 8192 bytes goes through.
    too_long.u32Len = 8192;
    EXPECT_EQ(0, DU_DUZ_AENC_SendFrame(1, &too_long, nullptr));
}

TEST_F(AencTest, HalfFramesAreGatheredIntoWholeOnes)
{
    ASSERT_EQ(0, create_aac_chn(0));
    std::vector<std::vector<uint8_t>> packets;
    for (int i = 0; i < 80; i++) {
        AUDIO_FRAME_S f = frame(512);
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
        AENC_STREAM_OUT_S s;
        s32 r = DU_DUZ_AENC_GetStream(0, &s, 0);
        if (i % 2 == 0) { // the first half of a channel frame makes no packet
            EXPECT_EQ((s32)0xA017800E, r) << i;
            continue;
        }
        ASSERT_EQ(0, r) << i;
        EXPECT_EQ(f.u64TimeStamp, s.u64TimeStamp); // the frame that completed it
        packets.emplace_back(s.pStream, s.pStream + s.u32Len);
        ASSERT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
    }
    int rate = 0;
    std::vector<float> pcm = audiocheck::decode_aac(packets, &rate);
    ASSERT_GE(pcm.size(), 30u * 1024);
    EXPECT_NEAR(audiocheck::dominant_hz(pcm, 4096, 16384, rate), 1000, 10);
}

// Requests of a device the board's trace saw.
size_t traced(const char *dev, unsigned long request)
{
    char what[96];
    snprintf(what, sizeof what, "trace ioctl %s 0x%08lx", dev, request);
    return testsupport::events(what).size();
}

// Each step of a creation that can fail, failing: the channel stays free,
// the encoder instance is closed, the media memory given back and the kernel
// told to drop what it had taken; the same creation then fails the same way.
TEST_F(AencTest, ACreationThatFailsLeavesNothingBehind)
{
    struct Case {
        const char *name;
        std::string conf;
        s32 code;
        size_t blocks;       // media memory blocks the creation had
        size_t strmbuf_deinit; // the kernel's stream buffer dropped
    } cases[] = {
        {"no media memory", "mmz_refuse = " + std::to_string(MMZ_ALLOC_CTRL) + "\n", (s32)0xA017800C, 0, 0},
        {"the kernel refuses the stream buffer", "aenc_refuse = " + std::to_string(AENC_STRMBUF_INIT_CTRL) + "\n", -1,
         1, 0},
        {"the kernel refuses the channel", "aenc_refuse = " + std::to_string(AENC_CREATE_CHN_CTRL) + "\n", -1, 2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 handle = restart_with_counted(c.conf);
        ASSERT_GE(handle, 0);
        for (int round = 0; round < 2; round++) {
            SCOPED_TRACE(round);
            g_opened = g_closed = 0;
            size_t frees = traced("/dev/mmz_userdev", MMZ_FREE_CTRL);
            size_t deinits = traced("/dev/aenc", AENC_STRMBUF_DEINIT_CTRL);
            s32 ret = 0;
            testsupport::capture_stderr([&] { ret = DU_DUZ_AENC_CreateChn(2, &counted_cfg_); });
            EXPECT_EQ(c.code, ret);
            EXPECT_FALSE(g_stAenc[2].bCreated);
            EXPECT_EQ(1, g_opened);
            EXPECT_EQ(1, g_closed);
            EXPECT_EQ(c.blocks, traced("/dev/mmz_userdev", MMZ_FREE_CTRL) - frees);
            EXPECT_EQ(c.strmbuf_deinit, traced("/dev/aenc", AENC_STRMBUF_DEINIT_CTRL) - deinits);
            EXPECT_EQ(0u, traced("/dev/aenc", AENC_DESTROY_CHN_CTRL));
            EXPECT_TRUE(testsupport::events("aenc create").empty());
        }
    }
}

// A destruction gives back everything the creation took, whatever fails on
// the way: the instance (unless its encoder was unregistered, which it
// reports before a refused stream buffer drop), the media memory, the
// kernel's channel and stream buffer, the thread; the channel is created
// again afterwards.
TEST_F(AencTest, ADestructionGivesBackEverythingAndReportsWhatFailed)
{
    const std::string deinit_refused = "aenc_refuse = " + std::to_string(AENC_STRMBUF_DEINIT_CTRL) + "\n";
    struct Case {
        const char *name;
        std::string conf;
        bool unregister;
        s32 code;
        int closed;
        const char *err;
    } cases[] = {
        {"all goes", "", false, 0, 1, ""},
        {"the encoder was unregistered", "", true, (s32)0xA0178040, 0,
         "[Func]:DU_DUZ_AENC_DestroyChn [Line]:"},
        {"the kernel keeps its stream buffer", deinit_refused, false, -1, 1, ""},
        {"both", deinit_refused, true, (s32)0xA0178040, 0, "The encoder has been unregistered!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 handle = restart_with_counted(c.conf);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(0, DU_DUZ_AENC_CreateChn(2, &counted_cfg_));
        if (c.unregister) {
            ASSERT_EQ(0, DU_DUZ_AENC_UnRegisterEncoder(handle));
        }
        g_opened = g_closed = 0;
        s32 ret = 0;
        std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_AENC_DestroyChn(2); });
        EXPECT_EQ(c.code, ret);
        EXPECT_NE(std::string::npos, err.find(c.err)) << err;
        EXPECT_EQ(c.closed, g_closed);
        EXPECT_EQ(traced("/dev/mmz_userdev", MMZ_ALLOC_CTRL), traced("/dev/mmz_userdev", MMZ_FREE_CTRL))
            << "media memory kept";
        EXPECT_EQ(1u, traced("/dev/aenc", AENC_DESTROY_CHN_CTRL));
        EXPECT_EQ(1u, traced("/dev/aenc", AENC_STRMBUF_DEINIT_CTRL));
        EXPECT_FALSE(g_stAenc[2].bCreated);
        EXPECT_FALSE(__atomic_load_n(&g_stAenc[2].bThreadRun, __ATOMIC_ACQUIRE));
        EXPECT_EQ(nullptr, g_stAenc[2].pEncoder);
        EXPECT_EQ(DU_INVALID_HANDLE, g_stAenc[2].s32Handle);
        EXPECT_EQ(0, DU_DUZ_AENC_DestroyChn(2)) << "a second destruction finds it gone";

        if (c.unregister) {
            ASSERT_EQ(0, DU_DUZ_AENC_RegeisterEncoder(&handle, &kCounted));
        }
        ASSERT_EQ(0, DU_DUZ_AENC_CreateChn(2, &counted_cfg_));
        AUDIO_FRAME_S f = frame(320);
        EXPECT_EQ(0, DU_DUZ_AENC_SendFrame(2, &f, nullptr));
        testsupport::capture_stderr([] { DU_DUZ_AENC_DestroyChn(2); });
    }
}

TEST_F(AencTest, DestroyedChannelCanBeCreatedAgainAndStartsEmpty)
{
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        ASSERT_EQ(0, create_aac_chn(3));
        AUDIO_FRAME_S f = frame(512);
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(3, &f, nullptr)); // half a frame left behind
        AENC_STREAM_OUT_S s;
        EXPECT_EQ((s32)0xA017800E, DU_DUZ_AENC_GetStream(3, &s, 0));
        ASSERT_EQ(0, DU_DUZ_AENC_DestroyChn(3));
        EXPECT_EQ((s32)0xA0178005, DU_DUZ_AENC_GetStream(3, &s, 0));
    }
    std::string err = testsupport::capture_stderr([&] { EXPECT_EQ((s32)0xA0178004, [&] {
                                                          create_aac_chn(4);
                                                          return create_aac_chn(4);
                                                      }()); });
    EXPECT_NE(std::string::npos, err.find("aenc chn:4 is exist!\n"));
}

TEST_F(AencTest, PlatformEndDestroysChannelsAndANewStartServesAgain)
{
    ASSERT_EQ(0, create_aac_chn(0));
    ASSERT_EQ(0, create_copy_chn(1, 2));
    testsupport::capture_stdout([] { EXPECT_EQ(0, DU_DUZ_SYS_Exit()); });
    EXPECT_FALSE(g_stAenc[0].bCreated || g_stAenc[1].bCreated);
    EXPECT_EQ(0u, testsupport::events("aenc create").size() - testsupport::events("aenc destroy").size());

    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    ASSERT_EQ(0, DU_DUZ_AENC_AacInit()); // the registry started empty again
    ASSERT_EQ(0, create_aac_chn(0));
    AUDIO_FRAME_S f = frame(1024);
    ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
    AENC_STREAM_OUT_S s;
    ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s, 0));
    EXPECT_EQ(0u, s.u32Seq);
    EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
}

} // namespace

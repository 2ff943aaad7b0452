// Photos: the stream writers (every pack without its header, in order), the
// photo save when the card has no room, and the snapshot thread on the photo
// pipeline of the simulated board: a single shot gives one decodable JPEG in
// PHOTO/KR100 with its start and end messages, a timed series shoots until it
// is stopped, and the stop joins the thread.
#include "recorder/dv_snap.h"
#include "tests/mpi/video/scene_layout.h"
#include "tests/recorder/engine_standin.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/recorder/recording_support.h"
#include "tests/support/board_fixture.h"

#include "app/sd_card.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_osd.h"
#include "recorder/rec_files.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace fs = std::filesystem;
using pipelinetest::wait_for;

namespace {

template <class Fn> std::string quiet(Fn &&fn)
{
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout(fn); });
    return out;
}

// Every id waiting in the main queue, oldest first.
std::vector<uint32_t> drain_messages()
{
    std::vector<uint32_t> ids;
    while (q_button_msg && !KX_OrderQueue_Empty(q_button_msg)) {
        uint32_t id = 0;
        if (hcmgr_rcv_msg(&id) != -1)
            ids.push_back(id);
    }
    return ids;
}

size_t count_of(const std::vector<uint32_t> &ids, uint32_t id) { return (size_t)std::count(ids.begin(), ids.end(), id); }

// A picture that libavcodec's JPEG decoder takes whole, and which way up it
// shows the scene.
bool decodes_as_jpeg(const std::string &path, int *width, scenetest::Layout *layout = nullptr)
{
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) != 0)
        return false;
    bool ok = false;
    AVPacket *pkt = av_packet_alloc();
    const AVCodec *dec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext *ctx = avcodec_alloc_context3(dec);
    AVFrame *frame = av_frame_alloc();
    if (avformat_find_stream_info(fmt, nullptr) >= 0 && avcodec_open2(ctx, dec, nullptr) == 0 &&
        av_read_frame(fmt, pkt) == 0 && avcodec_send_packet(ctx, pkt) == 0 && avcodec_receive_frame(ctx, frame) == 0) {
        *width = frame->width;
        if (layout)
            *layout = scenetest::layout(frame->width, frame->height, scenetest::frame_sampler(frame));
        ok = true;
    }
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return ok;
}

// A small picture as libavcodec's JPEG encoder writes it.
std::string encoded_jpeg()
{
    const AVCodec *enc = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVCodecContext *ctx = avcodec_alloc_context3(enc);
    ctx->width = 320;
    ctx->height = 240;
    ctx->pix_fmt = AV_PIX_FMT_YUVJ420P;
    ctx->time_base = {1, 25};
    AVFrame *frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = ctx->width;
    frame->height = ctx->height;
    AVPacket *pkt = av_packet_alloc();
    std::string bytes;
    if (avcodec_open2(ctx, enc, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
        // Busy detail, so that the picture spans many writes of the card.
        for (int p = 0; p < 3; p++)
            for (int y = 0; y < (p ? 120 : 240); y++)
                for (int x = 0; x < (p ? 160 : 320); x++)
                    frame->data[p][y * frame->linesize[p] + x] = (uint8_t)((x * 37 + y * 91 + p * 53) * (x ^ y));
        if (avcodec_send_frame(ctx, frame) == 0 && avcodec_receive_packet(ctx, pkt) == 0)
            bytes.assign(reinterpret_cast<const char *>(pkt->data), (size_t)pkt->size);
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return bytes;
}

class SnapWriters : public BoardTest {};

TEST_F(SnapWriters, EveryPackFromItsDataOffsetInOrder)
{
    u8 a[] = {0xAA, 0xAA, 'o', 'n', 'e'}, b[] = {'t', 'w', 'o'}, c[] = {0xBB, 't', 'h', 'r', 'e', 'e'};
    VENC_PACK_REC_S packs[3] = {};
    packs[0].pu8Data = a, packs[0].u32Len = sizeof a, packs[0].u32DataOffset = 2;
    packs[1].pu8Data = b, packs[1].u32Len = sizeof b, packs[1].u32DataOffset = 0;
    packs[2].pu8Data = c, packs[2].u32Len = sizeof c, packs[2].u32DataOffset = 1;
    VENC_STREAM_REC_S stream = {packs, 3, 0, {}};

    struct Case {
        const char *name;
        s32 (*write)(FILE *, const VENC_STREAM_REC_S *);
    } cases[] = {
        {"jpeg", KX_VENC_SaveJPEG},
        {"h264", [](FILE *f, const VENC_STREAM_REC_S *s) { return KX_VENC_SaveStream(PT_H264, f, s); }},
        {"h265", [](FILE *f, const VENC_STREAM_REC_S *s) { return KX_VENC_SaveStream(PT_H265, f, s); }},
        {"mjpeg", [](FILE *f, const VENC_STREAM_REC_S *s) { return KX_VENC_SaveStream(PT_MJPEG, f, s); }},
    };
    for (auto &cs : cases) {
        SCOPED_TRACE(cs.name);
        std::string path = root_ + "/" + cs.name;
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(0, cs.write(f, &stream));
        fclose(f);
        EXPECT_EQ("onetwothree", testsupport::read_file(path));
    }

    FILE *f = fopen((root_ + "/x").c_str(), "wb");
    EXPECT_EQ(-1, KX_VENC_SaveStream(PT_JPEG, f, &stream)); // not a stream writer's type
    packs[1].u32DataOffset = 4;                             // beyond the pack
    EXPECT_EQ(-1, KX_VENC_SaveJPEG(f, &stream));
    fclose(f);
}

TEST_F(SnapWriters, FilePostfixes)
{
    struct Case {
        u32 type;
        const char *postfix;
    } cases[] = {{96, ".h264"}, {265, ".h265"}, {26, ".jpg"}, {1002, ".mjp"}, {230, ".mp4"}, {37, nullptr}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.type);
        char out[8] = "";
        std::string said = quiet([&] { EXPECT_EQ(c.postfix ? 0 : -1, KX_VENC_GetFilePostfix(c.type, out)); });
        if (c.postfix)
            EXPECT_STREQ(c.postfix, out);
        else
            EXPECT_NE(std::string::npos, said.find("payload type err!"));
    }
}

// A mounted card with its file names read, and the message queue.
class SnapCard : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        hcmgr_create_queue();
        drain_messages();
        quiet([] {
            init_sd_card();
            FS_Disk_PhyDisk_Detect();
        });
        if (scan_thread_) {
            // From the name state of a fresh process.
            strcpy(test_pho_dir_tname, "KR100");
            strcpy(test_pho_tname, "000");
            quiet([] {
                KX_RecordCtr_InitAllfileName();
                File_Get_Name_Thread();
            });
        } else {
            rectest::card_scan();
        }
        setDefualtCmd();
    }
    void TearDown() override
    {
        drain_messages();
        close_sd_dev();
    }
    bool scan_thread_ = true; // false: the card is scanned before SetUp returns
};

// The same, with no thread of the test's own left running, for a child
// process to take it over.
class SnapCut : public SnapCard {
protected:
    SnapCut() { scan_thread_ = false; }
};

TEST_F(SnapCard, NoRoomForAPhotoPostsCardFull)
{
    sim::control("card_mb 16"); // below the photo reserve
    u8 bytes[] = {0xFF, 0xD8, 0xFF, 0xD9};
    VENC_PACK_REC_S pack = {};
    pack.pu8Data = bytes;
    pack.u32Len = sizeof bytes;
    VENC_STREAM_REC_S stream = {&pack, 1, 0, {}};
    quiet([&] { EXPECT_EQ(-1, KX_VENC_SaveSnap(&stream)); });
    std::vector<uint32_t> ids = drain_messages();
    EXPECT_EQ(1u, count_of(ids, AMSG_CARD_STATE_FULL));
    EXPECT_FALSE(fs::exists(root_ + "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg"));
}

// A photo cut by the power after each of its operations on the card (its
// file's creation, each pack's write, the sync, the close, the rename), on a
// card that drops what was not synced or tears the last write: once the
// boot has settled what the cut left, the photo is there whole or not at
// all, and there whenever its bytes had reached the card whole.
TEST_F(SnapCut, APhotoCutAtAnyOperationIsWholeOrAbsent)
{
    std::string bytes = encoded_jpeg();
    ASSERT_GT(bytes.size(), 20000u);
    VENC_PACK_REC_S packs[3] = {};
    const size_t sizes[3] = {700, 12000, bytes.size() - 12700};
    for (size_t i = 0, at = 0; i < 3; at += sizes[i], i++) {
        packs[i].pu8Data = reinterpret_cast<u8 *>(&bytes[at]);
        packs[i].u32Len = (u32)sizes[i];
    }
    VENC_STREAM_REC_S stream = {packs, 3, 0, {}};
    const std::string folder = "/mnt/sdcard0/PHOTO/KR100";
    for (const char *policy : {"drop", "tear"}) {
        bool cut = true;
        unsigned n = 1;
        for (; cut && n < 20; n++) {
            SCOPED_TRACE(std::string(policy) + ", cut after operation " + std::to_string(n));
            TearDown();
            conf_ = std::string("power_cut = ") + policy + "\n";
            SetUp();
            cut = testsupport::run_until_cut(n, [&] { KX_VENC_SaveSnap(&stream); });
            const bool synced = testsupport::read_file(bd_path(folder + "/KORVAN001.jpg.tmp")) == bytes;
            quiet([] { snap_settle_unfinished(); });
            std::vector<std::string> names;
            for (auto &e : fs::directory_iterator(bd_path(folder)))
                names.push_back(e.path().filename().string());
            EXPECT_LE(names.size(), 1u);
            if (!names.empty()) {
                EXPECT_EQ(13u, names[0].size());
                EXPECT_EQ(".jpg", fs::path(names[0]).extension().string());
                EXPECT_EQ(bytes, testsupport::read_file(bd_path(folder + "/" + names[0])));
            }
            if (!cut || synced) {
                EXPECT_EQ(1u, names.size()) << "a photo whose save ended, or was whole on the card, is there";
            }
        }
        EXPECT_FALSE(cut) << policy << ": the save never ended";
        EXPECT_GT(n, 3u);
    }
}

// What the boot does with each photo a cut left under its temporary name:
// whole ones take a photo name (their own, else the next free one), and
// anything that is not a whole decodable JPEG goes.
TEST_F(SnapCut, TheBootKeepsWholeTemporaryPhotosAndRemovesTornOnes)
{
    const std::string jpeg = encoded_jpeg();
    ASSERT_GT(jpeg.size(), 20000u);
    std::string damaged = jpeg; // both markers, a hole inside
    std::fill(damaged.begin() + 200, damaged.end() - 200, '\0');
    struct Case {
        const char *name;
        std::vector<std::pair<std::string, std::string>> card; // KR100 file, bytes
        std::string temp;                                     // in KR100
        std::string temp_bytes;
        std::string kept_as; // empty: removed
        const char *said;
    } cases[] = {
        {"whole, its name free", {{"KORVAN001.jpg", jpeg}}, "KORVAN002.jpg.tmp", jpeg, "KORVAN002.jpg",
         "a whole photo cut off before its rename, kept as"},
        {"whole, its name taken", {{"KORVAN001.jpg", "the user's"}, {"KORVAN004.jpg", jpeg}}, "KORVAN001.jpg.tmp",
         jpeg, "KORVAN005.jpg", "(/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg is taken)"},
        {"cut off in its last bytes", {}, "KORVAN001.jpg.tmp", jpeg.substr(0, jpeg.size() - 512), "",
         "a photo cut off, removed"},
        {"a hole inside", {}, "KORVAN001.jpg.tmp", damaged, "", "a photo cut off, removed"},
        {"empty", {}, "KORVAN001.jpg.tmp", "", "", "a photo cut off, removed"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const std::string folder = bd_path("/mnt/sdcard0/PHOTO/KR100/");
        for (auto &f : c.card)
            testsupport::write_file(folder + f.first, f.second);
        testsupport::write_file(folder + c.temp, c.temp_bytes);
        const std::string said = quiet([] { snap_settle_unfinished(); });

        EXPECT_NE(std::string::npos, said.find(c.said)) << said;
        EXPECT_FALSE(fs::exists(folder + c.temp));
        for (auto &f : c.card)
            EXPECT_TRUE(f.second == testsupport::read_file(folder + f.first)) << "a photo on the card stays";
        const auto files = std::distance(fs::directory_iterator(folder), fs::directory_iterator{});
        EXPECT_EQ((long)c.card.size() + (c.kept_as.empty() ? 0 : 1), (long)files);
        if (!c.kept_as.empty()) {
            EXPECT_TRUE(c.temp_bytes == testsupport::read_file(folder + c.kept_as)) << c.kept_as;
            EXPECT_NE(std::string::npos, said.find(c.kept_as)) << said;
        }
    }
}

// A photo never takes the place of one already on the card.
TEST_F(SnapCard, AnExistingPhotoStaysAsItIs)
{
    const std::string taken = bd_path("/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg");
    testsupport::write_file(taken, "the user's photo");
    u8 bytes[] = {0xFF, 0xD8, 0xFF, 0xD9};
    VENC_PACK_REC_S pack = {};
    pack.pu8Data = bytes;
    pack.u32Len = sizeof bytes;
    VENC_STREAM_REC_S stream = {&pack, 1, 0, {}};
    quiet([&] { KX_VENC_SaveSnap(&stream); });
    EXPECT_EQ("the user's photo", testsupport::read_file(taken));
    for (auto &e : fs::directory_iterator(bd_path("/mnt/sdcard0/PHOTO/KR100")))
        EXPECT_NE(".tmp", e.path().extension().string()) << e.path();
}

// The photo application's pipeline: 720p JPEG on encoder channel 0.
class SnapPipeline : public SnapCard {
protected:
    void SetUp() override
    {
        SnapCard::SetUp();
        KX_DV_Set720DefaultDvCfg();
        KX_DV_CONFIG_S &c = gsDvConfig;
        c.sVi.sParam[0].u8FrameRate = 30;
        c.sVenc.sParam[0] = {PT_JPEG, 0, 1, 2, 10, 1, PIC_HD720, 0, {0, 0, 0}, 10, 0};
        c.sVenc.sParam[1].bEnable = 0;
        c.sVenc.sParam[3].bEnable = 0;
        c.sVpss.sParam[3].bEnable = 0;
        c.sOsd.sParam[0].bEnable = 0;
        quiet([] {
            for (u32 step : {0u, 2u, 3u, 5u, 7u})
                ASSERT_EQ(0, KX_Video_Mode_Func(step, 0, 0)) << step;
        });
    }
    void TearDown() override
    {
        quiet([] {
            KX_DV_StopSnap();
            for (u32 step : {8u, 6u, 4u})
                KX_Video_Mode_Func(step, 0, 0);
            KX_DV_ISP_Stop();
            KX_Video_Mode_Func(1, 0, 0);
        });
        SnapCard::TearDown();
    }

    std::vector<std::string> photos()
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (auto &e : fs::directory_iterator(root_ + "/mnt/sdcard0/PHOTO/KR100", ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SnapPipeline, ASingleShotIsOneDecodableJpeg)
{
    gRecCmd[KX_REC_ENTRY_PHOTO].u8PhotoMode = 0;
    quiet([] {
        ASSERT_EQ(0, KX_DV_StartSnap());
        EXPECT_TRUE(wait_for([] { return g_SnapRun == 0; }, 10));
    });
    std::vector<uint32_t> ids = drain_messages();
    ASSERT_EQ((std::vector<uint32_t>{AMSG_SNAP_START, AMSG_SNAP_COMPLETE}), ids);
    ASSERT_EQ(std::vector<std::string>{"KORVAN001.jpg"}, photos());
    int width = 0;
    scenetest::Layout layout;
    EXPECT_TRUE(decodes_as_jpeg(root_ + "/mnt/sdcard0/PHOTO/KR100/KORVAN001.jpg", &width, &layout));
    EXPECT_EQ(1280, width);
    EXPECT_TRUE(layout.upright()) << layout.describe();
    // A stop without a running thread changes nothing.
    EXPECT_EQ(0, KX_DV_StopSnap());
}

TEST_F(SnapPipeline, ATimedSeriesShootsUntilStoppedAndTheStopJoins)
{
    KX_REC_CMD_S &photo = gRecCmd[KX_REC_ENTRY_PHOTO];
    photo.u8PhotoMode = 2;
    photo.u16PhotoInterval = 500;
    quiet([&] {
        ASSERT_EQ(0, KX_DV_StartSnap());
        EXPECT_TRUE(wait_for([&] { return photos().size() >= 2; }, 15));
        EXPECT_EQ(0, KX_DV_StopSnap());
    });
    // Joined: the thread has said its last word.
    std::vector<uint32_t> ids = drain_messages();
    EXPECT_EQ(0u, g_SnapRun.load());
    EXPECT_EQ(1u, count_of(ids, AMSG_SNAP_COMPLETE));
    EXPECT_EQ(0u, count_of(ids, AMSG_SNAP_START)); // a short interval announces no shot
    EXPECT_GE(photos().size(), 2u);
    size_t taken = photos().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(taken, photos().size());
}

} // namespace

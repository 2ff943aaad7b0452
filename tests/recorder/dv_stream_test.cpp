// Queueing the recording channel's packs: which packs are taken and where
// their bytes go, a full queue, and a ring that keeps the bytes the MP4
// thread has not finished with.
#include "recorder/dv_stream.h"

#include "tests/support/board_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using testsupport::capture_stdout;

// A small ring and queue of the test's own in place of the engine's.
class StreamQueue : public ::testing::Test {
protected:
    void SetUp() override { use(4096, 16); }
    void TearDown() override
    {
        release();
        main_rec_buf = nullptr;
        q_main_stream = nullptr;
        stVideoWriteQueData = nullptr;
        g_u32MainStreamBufferSize = 0;
    }

    void use(u32 ring_size, u32 depth)
    {
        ring_.assign(ring_size, 0);
        main_rec_buf = ring_.data();
        g_u32MainStreamBufferSize = ring_size;
        main_rec_offset = 0;
        q_main_stream = KX_OrderQueue_Create(sizeof(KX_REC_VIDEO_PKT_S), depth, &lock_main_sterm_wq);
        ASSERT_NE(nullptr, q_main_stream);
        stVideoWriteQueData = &scratch_;
        dv_stream_stats_reset();
    }

    // Everything queued is taken and done with.
    void release()
    {
        KX_REC_VIDEO_PKT_S r;
        while (KX_OrderQueue_Read(&r, q_main_stream) == 0)
            dv_stream_consumed(&r);
        if (u64VideoIndex > 0) {
            KX_REC_VIDEO_PKT_S last{};
            last.u64Seq = u64VideoIndex - 1;
            dv_stream_consumed(&last);
        }
        KX_OrderQueue_Destroy(q_main_stream);
    }

    // An Annex-B frame of `len` bytes whose first NAL header byte is `nal`,
    // filled with `fill`.
    static std::vector<u8> frame(u8 nal, u32 len, u8 fill = 0x5A)
    {
        std::vector<u8> f(len, fill);
        const u8 head[] = {0, 0, 0, 1, nal};
        memcpy(f.data(), head, std::min<size_t>(len, sizeof head));
        return f;
    }
    static std::vector<u8> key(u32 len, u8 fill = 0x11) { return frame(0x67, len, fill); }
    static std::vector<u8> p(u32 len, u8 fill = 0x22) { return frame(0x61, len, fill); }

    // Queues one stream of one pack; returns what was printed.
    std::string push(const std::vector<u8> &bytes)
    {
        VENC_PACK_REC_S pack{};
        pack.pu8Data = const_cast<u8 *>(bytes.data());
        pack.u32Len = (u32)bytes.size();
        pack.u64TimeStamp = 1000;
        VENC_STREAM_REC_S stream{};
        stream.pstPack = &pack;
        stream.u32PackNum = 1;
        return capture_stdout([&] { Send_Steam2Que(q_main_stream, &stream, 1); });
    }

    // Takes the oldest record; `done` reports it consumed.
    KX_REC_VIDEO_PKT_S take(bool done = true)
    {
        KX_REC_VIDEO_PKT_S r{};
        EXPECT_EQ(0, KX_OrderQueue_Read(&r, q_main_stream));
        if (done)
            dv_stream_consumed(&r);
        return r;
    }

    u32 queued() { return KX_OrderQueue_GetRealDepth(q_main_stream); }

    bool holds(const KX_REC_VIDEO_PKT_S &r, const std::vector<u8> &bytes, u32 from = 0)
    {
        return r.u32Len == bytes.size() - from && r.u32End == r.u32Offset + r.u32Len &&
               memcmp(main_rec_buf + r.u32Offset, bytes.data() + from, r.u32Len) == 0;
    }

    std::vector<u8> ring_;
    KX_REC_VIDEO_PKT_S scratch_{};
};

} // namespace

// A pack is recorded from its first start code on when the NAL header byte
// after it names a key frame (H.264 parameter set 0x67, H.265 0x40) or a
// picture (0x61, 0x02); anything else, and a pack whose data offset leaves
// no NAL header, is passed over. Every pack examined takes a number.
TEST_F(StreamQueue, PacksAreTakenByTheirFirstNalHeader)
{
    struct Case {
        const char *name;
        std::vector<u8> bytes;
        u32 offset;
        bool null_data;
        int key; // -1: not queued
        const char *says;
    } cases[] = {
        {"H.264 key frame", frame(0x67, 300), 0, false, 1, ""},
        {"H.264 picture", frame(0x61, 300), 0, false, 0, ""},
        {"H.265 key frame", frame(0x40, 300), 0, false, 1, ""},
        {"H.265 trailing picture", frame(0x02, 300), 0, false, 0, ""},
        {"H.264 slice of another kind", frame(0x41, 300), 0, false, -1, "bad data ....."},
        {"data after 12 bytes of something else", [] {
             std::vector<u8> b(12, 0xEE);
             std::vector<u8> f = frame(0x67, 300);
             b.insert(b.end(), f.begin(), f.end());
             return b;
         }(), 12, false, 1, ""},
        {"four bytes after the offset", frame(0x67, 16), 12, false, -1, "send no data cmd"},
        {"offset at the end", frame(0x67, 16), 16, false, -1, "send no data cmd"},
        {"offset past the end", frame(0x67, 16), 40, false, -1, "send no data cmd"},
        {"no data", frame(0x67, 300), 0, true, -1, "send no data cmd"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const u64 seq = u64VideoIndex;
        VENC_PACK_REC_S pack{};
        pack.pu8Data = c.null_data ? nullptr : const_cast<u8 *>(c.bytes.data());
        pack.u32Len = (u32)c.bytes.size();
        pack.u32DataOffset = c.offset;
        pack.u64TimeStamp = 123456789;
        VENC_STREAM_REC_S stream{&pack, 1, 0, {}};
        std::string out = capture_stdout([&] { Send_Steam2Que(q_main_stream, &stream, 1); });
        EXPECT_EQ(seq + 1, u64VideoIndex);
        EXPECT_NE(std::string::npos, out.find(c.says));
        if (c.key < 0) {
            EXPECT_EQ(0u, queued());
            continue;
        }
        ASSERT_EQ(1u, queued());
        KX_REC_VIDEO_PKT_S r = take();
        EXPECT_EQ(seq, r.u64Seq);
        EXPECT_EQ(123456789u, r.u64Pts);
        EXPECT_EQ((u32)c.key, r.u32KeyFlag);
        EXPECT_TRUE(holds(r, c.bytes, c.offset));
    }
    EXPECT_EQ(-1, Send_Steam2Que(q_main_stream, nullptr, 1));
    VENC_PACK_REC_S pack{};
    VENC_STREAM_REC_S stream{&pack, 1, 0, {}};
    EXPECT_EQ(-1, Send_Steam2Que(q_main_stream, &stream, 2)); // only the recording channel
    EXPECT_EQ(0u, queued());
}

// A frame that finds the queue full is lost, and so is every non-key frame
// after it until a key frame finds room: the file never holds a frame whose
// reference went missing. A key frame that finds the queue full takes
// nobody's place.
TEST_F(StreamQueue, AFullQueueDropsFramesUntilAKeyFrameFindsRoom)
{
    release();
    use(64 * 1024, 4);
    std::vector<u64> seqs;
    auto pushed = [&](const std::vector<u8> &f) {
        const u64 seq = u64VideoIndex;
        std::string out = push(f);
        seqs.push_back(seq);
        return out;
    };
    pushed(key(500));
    pushed(p(500));
    pushed(p(500));
    pushed(p(500));
    EXPECT_NE(std::string::npos, pushed(p(500)).find("Record Dat Que is real Full"));
    EXPECT_EQ(seqs[0], take().u64Seq);
    EXPECT_EQ(seqs[1], take().u64Seq);
    pushed(p(500)); // room now, but its reference was lost
    EXPECT_EQ(2u, queued());
    pushed(key(500));
    pushed(p(500));
    EXPECT_EQ(4u, queued());
    pushed(key(500)); // full: lost, and the queue keeps its oldest
    pushed(p(500));
    std::vector<u64> left;
    while (queued())
        left.push_back(take().u64Seq);
    EXPECT_EQ((std::vector<u64>{seqs[2], seqs[3], seqs[6], seqs[7]}), left);
    DvStreamStats st = dv_stream_stats();
    EXPECT_EQ(6u, st.u64Queued);
    EXPECT_EQ(4u, st.u64Dropped);
    EXPECT_EQ(4u, st.u32MaxDepth);
}

// The ring never overwrites bytes of a record the MP4 thread has not
// finished with; a frame that does not fit before the ring's end starts at
// offset 0 once the bytes there are free.
TEST_F(StreamQueue, TheRingKeepsWhatTheMp4ThreadStillHolds)
{
    std::vector<std::vector<u8>> frames = {key(1000, 1), p(1000, 2), p(1000, 3), p(1000, 4)};
    for (const auto &f : frames)
        push(f);
    ASSERT_EQ(4u, queued());
    // 96 bytes left at the end, the start still taken: no room.
    EXPECT_NE(std::string::npos, push(p(1000, 5)).find("Record Dat Buf is real Full"));
    push(key(1000, 6));
    EXPECT_EQ(4u, queued());

    KX_REC_VIDEO_PKT_S first = take(false); // in the MP4 thread's hands
    push(key(1000, 7));
    EXPECT_EQ(3u, queued()) << "its bytes are still being written";
    EXPECT_TRUE(holds(first, frames[0]));
    dv_stream_consumed(&first);
    std::vector<u8> wrapped = key(1000, 8);
    push(wrapped);
    ASSERT_EQ(4u, queued());

    std::vector<KX_REC_VIDEO_PKT_S> recs;
    while (queued())
        recs.push_back(take(false));
    for (size_t i = 0; i < 3; i++)
        EXPECT_TRUE(holds(recs[i], frames[i + 1])) << i;
    EXPECT_EQ(0u, recs[3].u32Offset);
    EXPECT_TRUE(holds(recs[3], wrapped));

    // All taken: only the newest can still be in the MP4 thread's hands.
    push(key(2000, 9));
    EXPECT_EQ(1u, queued());
    KX_REC_VIDEO_PKT_S r = take();
    EXPECT_EQ(1000u, r.u32Offset);
    EXPECT_TRUE(holds(recs[3], wrapped));
}

TEST_F(StreamQueue, OnlyTheRecordingChannelFillsTheRing)
{
    KX_REC_VIDEO_PKT_S r{};
    std::vector<u8> f = key(100);
    EXPECT_EQ(-1, Fill_RecData2Buffer(f.data(), 100, 2, &r));
    EXPECT_EQ(0u, main_rec_offset);
    EXPECT_EQ(0, Fill_RecData2Buffer(f.data(), 100, 1, &r));
    EXPECT_EQ(0u, r.u32Offset);
    EXPECT_EQ(100u, main_rec_offset);
    EXPECT_EQ(-1, Fill_RecData2Buffer(f.data(), 5000, 1, &r)); // longer than the ring
}

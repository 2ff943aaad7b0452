#include "core/order_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/board_fixture.h"

using testsupport::capture_stdout;

// The allocation-failure case asks for an impossible block; let the sanitizer's
// allocator answer null as the C library does.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

class OrderQueueTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        KX_OrderQueue_Destroy(q_);
        pthread_mutex_destroy(&mutex_);
    }

    void make(uint32_t recsize, uint32_t depth)
    {
        q_ = KX_OrderQueue_Create(recsize, depth, &mutex_);
        ASSERT_NE(q_, nullptr);
    }

    int put(uint32_t v) { return KX_OrderQueue_Write(q_, &v, sizeof(v)); }

    // Reads every record left, oldest first.
    std::vector<uint32_t> drain()
    {
        std::vector<uint32_t> out;
        uint32_t v;
        while (KX_OrderQueue_Read(&v, q_) == 0)
            out.push_back(v);
        return out;
    }

    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
    KX_OrderQueue *q_ = nullptr;
};

TEST_F(OrderQueueTest, CreateRefusesWithNullNotAValue)
{
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    struct Case {
        const char *name;
        uint32_t recsize, depth;
        pthread_mutex_t *mutex;
        const char *says;
    } cases[] = {
        {"block too large", 0xFFFFFFFFu, 0xFFFFFFFFu, &m, "[KX_OrderQueue_Create]que((nil)) failed to alloc for pnewqueue!\n"},
        {"no slots", 4, 0, &m, "bad queue"},
        {"empty records", 0, 8, &m, "bad queue"},
        {"no mutex", 4, 8, nullptr, "bad queue"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        KX_OrderQueue *q = reinterpret_cast<KX_OrderQueue *>(1);
        std::string out = capture_stdout([&] { q = KX_OrderQueue_Create(c.recsize, c.depth, c.mutex); });
        EXPECT_EQ(q, nullptr);
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

TEST_F(OrderQueueTest, AllSlotsFillThenAFullQueueRefusesAndKeepsItsRecords)
{
    make(4, 4);
    for (uint32_t v = 1; v <= 4; v++)
        ASSERT_EQ(put(v), 0);
    EXPECT_EQ(KX_OrderQueue_GetRealDepth(q_), 4u);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 1);

    std::string out = capture_stdout([&] { EXPECT_EQ(put(5), 1); });
    EXPECT_EQ(out, "ERROR: write queue is full......\n");
    EXPECT_EQ(q_->u32State, (uint32_t)KX_QUEUE_OVERFLOW);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 1);
    EXPECT_EQ(KX_OrderQueue_GetRealDepth(q_), 4u);

    // One record leaves: there is room again, and it takes exactly one more.
    uint32_t v = 0;
    ASSERT_EQ(KX_OrderQueue_Read(&v, q_), 0);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 0);
    EXPECT_EQ(put(6), 0);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 1);
    capture_stdout([&] { EXPECT_EQ(put(7), 1); });

    EXPECT_EQ(drain(), (std::vector<uint32_t>{2, 3, 4, 6}));
    EXPECT_EQ(KX_OrderQueue_Empty(q_), 1);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 0);
}

TEST_F(OrderQueueTest, AQueueOfOneSlotHoldsOneRecord)
{
    make(4, 1);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 0);
    EXPECT_EQ(put(9), 0);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 1);
    capture_stdout([&] { EXPECT_EQ(put(10), 1); });
    EXPECT_EQ(drain(), std::vector<uint32_t>{9});
    EXPECT_EQ(put(11), 0);
    EXPECT_EQ(drain(), std::vector<uint32_t>{11});
}

TEST_F(OrderQueueTest, AWriteOfTheWrongLengthChangesNothing)
{
    make(4, 4);
    ASSERT_EQ(put(1), 0);
    KX_OrderQueue before = *q_;
    uint8_t bytes[8] = {};
    for (uint32_t len : {0u, 3u, 5u, 8u}) {
        SCOPED_TRACE(len);
        std::string out = capture_stdout([&] { EXPECT_EQ(KX_OrderQueue_Write(q_, bytes, len), 1); });
        EXPECT_EQ(out, "ERROR: datalen is error\n");
        EXPECT_EQ(0, memcmp(&before, q_, sizeof(before)));
    }
    EXPECT_EQ(drain(), std::vector<uint32_t>{1});
}

TEST_F(OrderQueueTest, TheFirstRecordLandsInSlotZeroAndAnEmptiedQueueReusesIt)
{
    make(4, 4);
    EXPECT_EQ(q_->pu8Slots, reinterpret_cast<uint8_t *>(q_) + sizeof(KX_OrderQueue));
    ASSERT_EQ(put(0x11223344), 0);
    uint32_t slot0;
    memcpy(&slot0, q_->pu8Slots, 4);
    EXPECT_EQ(slot0, 0x11223344u);

    uint32_t v;
    ASSERT_EQ(KX_OrderQueue_Read(&v, q_), 0);
    EXPECT_EQ(q_->u32Read, 0u);
    EXPECT_EQ(q_->u32Write, 0u);
    EXPECT_EQ(q_->u32State, (uint32_t)KX_QUEUE_EMPTY);

    ASSERT_EQ(put(0x55667788), 0);
    memcpy(&slot0, q_->pu8Slots, 4);
    EXPECT_EQ(slot0, 0x55667788u);
}

TEST_F(OrderQueueTest, RealDepthCountsAcrossTheWrap)
{
    make(4, 4);
    EXPECT_EQ(KX_OrderQueue_GetRealDepth(q_), 0u);
    ASSERT_EQ(put(1), 0);
    EXPECT_EQ(KX_OrderQueue_GetRealDepth(q_), 1u);
    for (uint32_t v = 2; v <= 4; v++)
        ASSERT_EQ(put(v), 0);
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(KX_OrderQueue_Delete(q_), 0);
    ASSERT_EQ(put(5), 0);
    ASSERT_EQ(put(6), 0);
    EXPECT_EQ(q_->u32Read, 3u);
    EXPECT_EQ(q_->u32Write, 1u);
    EXPECT_EQ(KX_OrderQueue_GetRealDepth(q_), 3u);
    EXPECT_EQ(KX_OrderQueue_GetAllDepth(q_), 4u);
    EXPECT_EQ(drain(), (std::vector<uint32_t>{4, 5, 6}));
}

TEST_F(OrderQueueTest, ReadNotDelLeavesTheRecordForRead)
{
    make(4, 4);
    ASSERT_EQ(put(7), 0);
    ASSERT_EQ(put(8), 0);
    uint32_t a = 0, b = 0, c = 0;
    EXPECT_EQ(KX_OrderQueue_ReadNotDel(&a, q_), 0);
    EXPECT_EQ(KX_OrderQueue_ReadNotDel(&b, q_), 0);
    EXPECT_EQ(KX_OrderQueue_Read(&c, q_), 0);
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, 7u);
    EXPECT_EQ(c, 7u);
    EXPECT_EQ(drain(), std::vector<uint32_t>{8});
}

TEST_F(OrderQueueTest, AnEmptyQueueGivesNothing)
{
    make(4, 4);
    uint32_t v = 0xABCD;
    EXPECT_EQ(KX_OrderQueue_Read(&v, q_), 1);
    EXPECT_EQ(KX_OrderQueue_ReadNotDel(&v, q_), 1);
    EXPECT_EQ(KX_OrderQueue_Delete(q_), 1);
    EXPECT_EQ(v, 0xABCDu);
    EXPECT_EQ(KX_OrderQueue_Empty(q_), 1);
    // Deleting the last record empties it too.
    ASSERT_EQ(put(1), 0);
    EXPECT_EQ(KX_OrderQueue_Empty(q_), 0);
    EXPECT_EQ(KX_OrderQueue_Delete(q_), 0);
    EXPECT_EQ(KX_OrderQueue_Empty(q_), 1);
    EXPECT_EQ(KX_OrderQueue_Delete(q_), 1);
}

// Several producers against one consumer on a small queue, so that writes
// keep meeting a full queue: every record must arrive once, in order per
// producer, and a refused write must leave the queue as it was.
TEST_F(OrderQueueTest, ManyProducersOneConsumerLoseAndRepeatNothing)
{
    struct Rec {
        uint32_t producer, seq;
    };
    constexpr uint32_t kProducers = 4, kEach = 20000;
    q_ = KX_OrderQueue_Create(sizeof(Rec), 8, &mutex_);
    ASSERT_NE(q_, nullptr);

    // Threads that find the queue full (or empty) sleep until the other side
    // has moved; the epochs make sure no such move is missed.
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t moved = PTHREAD_COND_INITIALIZER;
    std::atomic<uint64_t> reads{0}, writes{0};
    std::atomic<uint64_t> refused{0};
    auto announce = [&](std::atomic<uint64_t> &epoch) {
        pthread_mutex_lock(&m);
        epoch++;
        pthread_cond_broadcast(&moved);
        pthread_mutex_unlock(&m);
    };
    auto await_change = [&](std::atomic<uint64_t> &epoch, uint64_t seen) {
        pthread_mutex_lock(&m);
        while (epoch.load() == seen)
            pthread_cond_wait(&moved, &m);
        pthread_mutex_unlock(&m);
    };

    std::atomic<uint32_t> finished{0};
    std::vector<uint32_t> next(kProducers, 0);
    uint32_t wrong = 0;
    std::string out = capture_stdout([&] {
        std::vector<std::thread> producers;
        for (uint32_t p = 0; p < kProducers; p++) {
            producers.emplace_back([&, p] {
                for (uint32_t s = 0; s < kEach; s++) {
                    Rec r{p, s};
                    for (;;) {
                        uint64_t seen = reads.load();
                        if (KX_OrderQueue_Write(q_, &r, sizeof(r)) == 0)
                            break;
                        refused++;
                        await_change(reads, seen);
                    }
                    announce(writes);
                }
                finished++;
                announce(writes);
            });
        }

        // Read until every producer is done and the queue is empty, so that a
        // lost or repeated record shows in the counts instead of a hang.
        for (;;) {
            uint64_t seen = writes.load();
            Rec r;
            if (KX_OrderQueue_Read(&r, q_) != 0) {
                if (finished.load() == kProducers)
                    break;
                await_change(writes, seen);
                continue;
            }
            announce(reads);
            if (r.producer >= kProducers || r.seq != next[r.producer])
                wrong++;
            else
                next[r.producer]++;
        }
        for (auto &t : producers)
            t.join();
    });
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(next, std::vector<uint32_t>(kProducers, kEach));
    EXPECT_EQ(KX_OrderQueue_Empty(q_), 1);
    EXPECT_EQ(KX_OrderQueue_Full(q_), 0);
    // Every refusal said so, and nothing else was printed.
    size_t lines = 0;
    for (size_t at = 0; (at = out.find("ERROR: write queue is full......\n", at)) != std::string::npos; at++)
        lines++;
    EXPECT_EQ(lines, refused.load());
    EXPECT_EQ(out.size(), lines * strlen("ERROR: write queue is full......\n"));
    pthread_mutex_destroy(&m);
    pthread_cond_destroy(&moved);
}

// ---- link queue ------------------------------------------------------------------

class LinkQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        q_ = KX_LinkQueue_Create(&mutex_);
        ASSERT_NE(q_, nullptr);
        KX_LinkQueue_Init(q_);
    }
    void TearDown() override
    {
        link_queue_destroy(q_);
        pthread_mutex_destroy(&mutex_);
    }

    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
    KX_LinkQueue *q_ = nullptr;
};

TEST_F(LinkQueueTest, ReadsInOrderAndEmptiesAfterTheLastDelete)
{
    const std::string payloads[] = {"first", "second record", "3"};
    for (auto &p : payloads)
        ASSERT_EQ(KX_LinkQueue_Write(q_, p.data(), p.size()), 0);
    EXPECT_EQ(KX_LinkQueue_GetRealDepth(q_), 3u);

    for (auto &p : payloads) {
        SCOPED_TRACE(p);
        char buf[32] = {};
        ASSERT_EQ(KX_LinkQueue_GetDatLen(q_), (int)p.size());
        ASSERT_EQ(KX_LinkQueue_Read(buf, q_), (int)p.size());
        EXPECT_EQ(std::string(buf, p.size()), p);
        // Read leaves the node where it is.
        EXPECT_EQ(KX_LinkQueue_Read(buf, q_), (int)p.size());
        ASSERT_EQ(KX_LinkQueue_Delete(q_), 0);
    }
    EXPECT_EQ(KX_LinkQueue_Empty(q_), 0u);
    EXPECT_EQ(q_->u32Count, 0u);
    EXPECT_EQ(q_->pHead, nullptr);
    EXPECT_EQ(q_->pTail, nullptr);

    // The emptied list takes new nodes as a fresh one does.
    ASSERT_EQ(KX_LinkQueue_Write(q_, "again", 5), 0);
    EXPECT_EQ(q_->pHead, q_->pTail);
    EXPECT_EQ(KX_LinkQueue_Empty(q_), 1u);
}

TEST_F(LinkQueueTest, AnEmptyListSaysSo)
{
    struct Case {
        const char *name;
        int (*call)(KX_LinkQueue *);
        const char *says;
    } cases[] = {
        {"read", [](KX_LinkQueue *q) { char b[4]; return KX_LinkQueue_Read(b, q); }, "ERROR:queue read is empty....\n"},
        {"length", [](KX_LinkQueue *q) { return KX_LinkQueue_GetDatLen(q); }, "ERROR:queue read is empty....\n"},
        {"delete", [](KX_LinkQueue *q) { return KX_LinkQueue_Delete(q); }, "ERROR:queue delete is empty\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        int ret = 0;
        std::string out = capture_stdout([&] { ret = c.call(q_); });
        EXPECT_EQ(ret, 1);
        EXPECT_EQ(out, c.says);
    }
}

TEST_F(LinkQueueTest, ClearAllFreesEveryNode)
{
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(KX_LinkQueue_Write(q_, &i, sizeof(i)), 0);
    KX_LinkQueue_ClearAll(q_);
    EXPECT_EQ(KX_LinkQueue_GetRealDepth(q_), 0u);
    EXPECT_EQ(q_->pHead, nullptr);
    EXPECT_EQ(q_->pTail, nullptr);
    EXPECT_EQ(q_->u32Count, 0u);
}

TEST(LinkQueueCreate, RefusesWithoutAMutex)
{
    KX_LinkQueue *q = reinterpret_cast<KX_LinkQueue *>(1);
    std::string out = capture_stdout([&] { q = KX_LinkQueue_Create(nullptr); });
    EXPECT_EQ(q, nullptr);
    EXPECT_EQ(out, "KX_LinkQueue_Create error\n");
}

} // namespace

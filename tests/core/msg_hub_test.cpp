#include "core/msg_hub.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/board_fixture.h"

using testsupport::capture_stdout;

namespace {

// A fresh, empty main queue per test.
class MsgHubTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hcmgr_destroy_queue();
        ASSERT_EQ(hcmgr_create_queue(), 0);
    }
    void TearDown() override { hcmgr_destroy_queue(); }

    // Runs hcmgr_rcv_msg on a thread and wakes it until it returns: the
    // receiver may not be waiting yet when a wake-up goes out.
    static int receive_with_wakeups(uint32_t *id)
    {
        std::atomic<bool> done{false};
        int ret = 0;
        std::thread t([&] {
            ret = hcmgr_rcv_msg(id);
            done = true;
        });
        for (int i = 0; i < 60000 && !done; i++) {
            KX_SendCondtoMsg();
            usleep(1000);
        }
        t.join();
        return ret;
    }
};

TEST_F(MsgHubTest, AnIdTravelsAsFourBytesMostSignificantFirst)
{
    EXPECT_EQ(hcmgr_snd_msg(HMSG_KEY_RELEASE + KEY_ID_REC), 0);
    uint8_t rec[4] = {};
    ASSERT_EQ(KX_OrderQueue_ReadNotDel(rec, q_button_msg), 0);
    EXPECT_EQ(rec[0], 0x01);
    EXPECT_EQ(rec[1], 0x01);
    EXPECT_EQ(rec[2], 0x08);
    EXPECT_EQ(rec[3], 0x01);

    uint32_t id = 0;
    EXPECT_EQ(hcmgr_rcv_msg(&id), 0x01010801);
    EXPECT_EQ(id, 0x01010801u);
}

TEST_F(MsgHubTest, IdsPostedBeforeTheReceiverComeInOrderWithoutWaiting)
{
    const uint32_t ids[] = {HMSG_TV_IN, AMSG_RECORD_COMPLETE, HMSG_POWER_KEY};
    for (uint32_t v : ids)
        ASSERT_EQ(hcmgr_snd_msg(v), 0);
    for (uint32_t v : ids) {
        uint32_t id = 0;
        EXPECT_EQ(hcmgr_rcv_msg(&id), (int)v);
        EXPECT_EQ(id, v);
    }
    EXPECT_EQ(KX_OrderQueue_Empty(q_button_msg), 1);
}

TEST_F(MsgHubTest, AWakeUpWithNothingQueuedLeavesTheIdAlone)
{
    uint32_t id = 0xDEADBEEF;
    EXPECT_EQ(receive_with_wakeups(&id), -1);
    EXPECT_EQ(id, 0xDEADBEEFu);
}

TEST_F(MsgHubTest, AFullQueueDropsTheNewIdAndTheSenderIsNotTold)
{
    for (uint32_t i = 0; i < HCMGR_MSG_DEPTH; i++)
        ASSERT_EQ(hcmgr_snd_msg(0x02000000 + i), 0);
    int ret = -1;
    std::string out = capture_stdout([&] { ret = hcmgr_snd_msg(AMSG_LOW_BATTERY); });
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(out, "ERROR: write queue is full......\n");

    // The 128 waiting ids are intact and the dropped one is not among them.
    for (uint32_t i = 0; i < HCMGR_MSG_DEPTH; i++) {
        uint32_t id = 0;
        ASSERT_EQ(hcmgr_rcv_msg(&id), (int)(0x02000000 + i));
    }
    EXPECT_EQ(KX_OrderQueue_Empty(q_button_msg), 1);
}

// Producers post while the receiver waits: no id may be missed between the
// receiver's emptiness test and its wait. The total fits the queue, so
// nothing is dropped and every id must arrive once, in order per producer.
TEST_F(MsgHubTest, ManySendersOneReceiverMissNothing)
{
    constexpr uint32_t kSenders = 4, kEach = HCMGR_MSG_DEPTH / kSenders, kRounds = 50;
    for (uint32_t round = 0; round < kRounds; round++) {
        SCOPED_TRACE(round);
        std::vector<uint32_t> next(kSenders, 0);
        uint32_t wrong = 0;
        std::thread receiver([&] {
            for (uint32_t got = 0; got < kSenders * kEach;) {
                uint32_t id;
                if (hcmgr_rcv_msg(&id) == -1)
                    continue;
                got++;
                uint32_t s = (id >> 8) & 0xFF, n = id & 0xFF;
                if (s >= kSenders || n != next[s])
                    wrong++;
                else
                    next[s]++;
            }
        });
        std::vector<std::thread> senders;
        for (uint32_t s = 0; s < kSenders; s++)
            senders.emplace_back([s] {
                for (uint32_t n = 0; n < kEach; n++)
                    hcmgr_snd_msg(0x02000000 | s << 8 | n);
            });
        for (auto &t : senders)
            t.join();
        receiver.join();
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(next, std::vector<uint32_t>(kSenders, kEach));
    }
}

TEST_F(MsgHubTest, WithoutAQueueSendingDropsAndReceivingGivesNothing)
{
    hcmgr_destroy_queue();
    int ret = 0;
    std::string out = capture_stdout([&] { ret = hcmgr_snd_msg(HMSG_CARD_IN); });
    EXPECT_EQ(ret, -1);
    EXPECT_NE(out.find("no message queue, 0x01040101 dropped"), std::string::npos) << out;

    uint32_t id = 7;
    EXPECT_EQ(receive_with_wakeups(&id), -1);
    EXPECT_EQ(id, 7u);

    // Once the queue exists, ids flow.
    ASSERT_EQ(hcmgr_create_queue(), 0);
    EXPECT_EQ(hcmgr_snd_msg(HMSG_CARD_OUT), 0);
    EXPECT_EQ(hcmgr_rcv_msg(&id), (int)HMSG_CARD_OUT);
}

// A receiver that is already waiting when the queue is created is woken and
// then finds the first id posted.
TEST_F(MsgHubTest, AReceiverWaitingForTheQueueWakesWhenItIsCreated)
{
    hcmgr_destroy_queue();
    std::atomic<bool> done{false};
    uint32_t id = 0;
    std::thread t([&] {
        while (hcmgr_rcv_msg(&id) == -1) {
        }
        done = true;
    });
    ASSERT_EQ(hcmgr_create_queue(), 0);
    EXPECT_EQ(hcmgr_snd_msg(AMSG_SNAP_START), 0);
    t.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(id, AMSG_SNAP_START);
}

} // namespace

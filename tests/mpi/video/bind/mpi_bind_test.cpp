// The user-space bind registry: registration, binding, delivery in binding
// order, resets, and what stays sound when modules go away.
#include "mpi/video/bind/mpi_bind.h"
#include "mpi/video/sys/mpi_sys.h"
#include "tests/support/board_fixture.h"

#include <functional>
#include <vector>

using testsupport::capture_stderr;

namespace {

constexpr u32 kSender = DU_ID_ADEC;
constexpr u32 kReceiver = DU_ID_AO;
constexpr u32 kWide = DU_ID_VOU; // a receiver with more channels than a source may feed

struct Delivery {
    u32 mod;
    s32 dev, chn;
    void *data;
};

std::vector<Delivery> g_got;
std::vector<Delivery> g_resets;
std::function<s32(s32, s32)> g_on_receive; // optional behaviour of a receive

s32 record_to(u32 mod, s32 dev, s32 chn, void *data)
{
    g_got.push_back({mod, dev, chn, data});
    return g_on_receive ? g_on_receive(dev, chn) : 0;
}

s32 receive(s32 dev, s32 chn, u32, MPP_DATA_TYPE_E, void *data) { return record_to(kReceiver, dev, chn, data); }
s32 receive_wide(s32 dev, s32 chn, u32, MPP_DATA_TYPE_E, void *data) { return record_to(kWide, dev, chn, data); }
s32 reset(s32 dev, s32 chn, void *data)
{
    g_resets.push_back({kReceiver, dev, chn, data});
    return 0;
}

MPP_CHN_ADDR_S src(s32 chn) { return {kSender, 0, chn}; }
MPP_CHN_ADDR_S dst(s32 chn, u32 mod = kReceiver) { return {mod, 0, chn}; }

class BindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_got.clear();
        g_resets.clear();
        g_on_receive = nullptr;
        ASSERT_EQ(0, SYS_BIND_Init());
        SYS_BIND_SENDER_S sender = {kSender, 1, 32, nullptr};
        SYS_BIND_RECEIVER_S receiver = {kReceiver, 1, 16, receive, reset};
        ASSERT_EQ(0, SYS_BIND_RegisterSender(&sender));
        ASSERT_EQ(0, SYS_BIND_RegisterReceiver(&receiver));
    }
    void TearDown() override
    {
        capture_stderr([] {
            SYS_BIND_UnRegisterSender(kSender);
            SYS_BIND_UnRegisterReceiver(kReceiver);
            SYS_BIND_UnRegisterReceiver(kWide);
        });
        SYS_BIND_Exit();
    }
    s32 send(s32 chn, void *data = &g_got) { return SYS_BIND_SendData(kSender, 0, chn, 0, MPP_DATA_AUDIO_FRAME, data); }
};

TEST_F(BindTest, RegistrationChecks)
{
    SYS_BIND_RECEIVER_S no_op = {DU_ID_VENC, 1, 1, nullptr, nullptr};
    SYS_BIND_RECEIVER_S again = {kReceiver, 1, 16, receive, nullptr};
    SYS_BIND_RECEIVER_S no_chn = {DU_ID_VENC, 1, 0, receive, nullptr};
    SYS_BIND_SENDER_S bad_mod = {DU_ID_BUTT, 1, 1, nullptr};
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *err;
    } cases[] = {
        {"null sender", [] { return SYS_BIND_RegisterSender(nullptr); }, (s32)0xA0028006, "Null point \n"},
        {"null receiver", [] { return SYS_BIND_RegisterReceiver(nullptr); }, (s32)0xA0028006, "Null point \n"},
        {"receiver without a receive op", [&] { return SYS_BIND_RegisterReceiver(&no_op); }, (s32)0xA0028006,
         "Null point \n"},
        {"module 52", [&] { return SYS_BIND_RegisterSender(&bad_mod); }, (s32)0xA0028003, ""},
        {"registered twice", [&] { return SYS_BIND_RegisterReceiver(&again); }, (s32)0xA0028009,
         "Mod 22 have register !\n"},
        {"no channels", [&] { return SYS_BIND_RegisterReceiver(&no_chn); }, (s32)0xA0028003,
         "u32MaxDevCnt or u32MaxChnCnt invalid !\n"},
        {"unregister module 60", [] { return SYS_BIND_UnRegisterSender(60); }, (s32)0xA0028003, ""},
        {"unregister unknown", [] { return SYS_BIND_UnRegisterSender(DU_ID_VENC); }, (s32)0xA0028009,
         "Mod:8 have not register ! \n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ(c.code, ret);
        EXPECT_EQ(c.err, err);
    }
}

TEST_F(BindTest, BindChecks)
{
    MPP_CHN_ADDR_S s = src(0), d = dst(0), bad_dev = {kReceiver, 1, 0}, neg = {kReceiver, 0, -1},
                   not_rcv = dst(0, DU_ID_VENC), bad_mod = {70, 0, 0};
    struct Case {
        const char *name;
        const MPP_CHN_ADDR_S *s, *d;
        s32 code;
        const char *err;
    } cases[] = {
        {"null source", nullptr, &d, (s32)0xA0028006, "Null point \n"},
        {"null destination", &s, nullptr, (s32)0xA0028006, "Null point \n"},
        {"device out of range", &s, &bad_dev, (s32)0xA0028003, "Bind dev or chn is invalid, dev:1, chn:0 !\n"},
        {"negative channel", &s, &neg, (s32)0xA0028003, "Bind dev or chn is invalid, dev:0, chn:-1 !\n"},
        {"not a receiver", &s, &not_rcv, (s32)0xA0028003, "ModId:8() is not supported !\n"},
        {"module out of range", &bad_mod, &d, (s32)0xA0028003, "ModId:70 is invalid !\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = SYS_Bind(c.s, c.d); });
        EXPECT_EQ(c.code, ret);
        EXPECT_EQ(c.err, err);
    }
}

TEST_F(BindTest, DestinationHasOneSource)
{
    MPP_CHN_ADDR_S s0 = src(0), s1 = {kSender, 0, 7}, d = dst(1);
    ASSERT_EQ(0, SYS_Bind(&s1, &d));
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028009, SYS_Bind(&s0, &d)); });
    EXPECT_EQ("Dest have bind Src:(,0,7) !\n", err);
    MPP_CHN_ADDR_S got;
    ASSERT_EQ(0, SYS_GetBindbyDest(&d, &got));
    EXPECT_EQ(7, got.s32Chn);
}

TEST_F(BindTest, SixtyFourDestinationsDeliveredInBindingOrder)
{
    SYS_BIND_RECEIVER_S wide = {kWide, 1, 100, receive_wide, nullptr};
    ASSERT_EQ(0, SYS_BIND_RegisterReceiver(&wide));
    MPP_CHN_ADDR_S s = src(3);
    for (s32 i = 0; i < 64; i++) {
        MPP_CHN_ADDR_S d = dst(63 - i, kWide); // bound in falling channel order
        ASSERT_EQ(0, SYS_Bind(&s, &d));
    }
    MPP_CHN_ADDR_S extra = dst(99, kWide);
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028009, SYS_Bind(&s, &extra)); });
    EXPECT_EQ("src bind max(64) err!\n", err);

    int data;
    ASSERT_EQ(0, send(3, &data));
    ASSERT_EQ(64u, g_got.size());
    for (s32 i = 0; i < 64; i++) {
        EXPECT_EQ(63 - i, g_got[i].chn);
        EXPECT_EQ(&data, g_got[i].data);
    }
    SYS_BIND_DEST_LIST_S list;
    ASSERT_EQ(0, SYS_GetBindbySrc(&s, &list));
    EXPECT_EQ(64u, list.u32ChnNum);
    EXPECT_EQ(63, list.astMppChn[0].s32Chn);
}

TEST_F(BindTest, SendingWithNothingBound)
{
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028009, send(5)); });
    EXPECT_EQ("Mod 24, dev 0, chn 5, have not bind !\n", err);
    MPP_CHN_ADDR_S s = src(5), d = dst(0);
    ASSERT_EQ(0, SYS_Bind(&s, &d));
    ASSERT_EQ(0, SYS_UnBind(&s, &d));
    err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028009, send(5)); });
    EXPECT_EQ("have not Binder !\n", err);
    EXPECT_TRUE(g_got.empty());
    err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028006, send(5, nullptr)); });
    EXPECT_EQ("Null point \n", err);
}

TEST_F(BindTest, FailingReceiverDoesNotStopTheOthers)
{
    MPP_CHN_ADDR_S s = src(0), d0 = dst(0), d1 = dst(1);
    ASSERT_EQ(0, SYS_Bind(&s, &d0));
    ASSERT_EQ(0, SYS_Bind(&s, &d1));
    const s32 failure = (s32)0xA0168009;
    g_on_receive = [&](s32, s32 chn) { return chn == 0 ? failure : 0; };
    EXPECT_EQ(failure, send(0));
    EXPECT_EQ(2u, g_got.size());
}

TEST_F(BindTest, UnbindingAnUnboundDestinationIsHarmless)
{
    MPP_CHN_ADDR_S d = dst(2);
    EXPECT_EQ(0, SYS_UnBind(nullptr, &d));
    std::string err = capture_stderr([&] {
        MPP_CHN_ADDR_S got;
        EXPECT_EQ((s32)0xA0028003, SYS_GetBindbyDest(&d, &got));
    });
    EXPECT_EQ("Dest have not bind any Src \n", err);
}

TEST_F(BindTest, ResetReachesEveryBoundReceiver)
{
    std::string err = capture_stderr([] { EXPECT_EQ(0, SYS_BIND_ResetData(kSender, 0, 9, nullptr)); });
    EXPECT_EQ("Mod 24, dev 0, chn 9, have not bind !\n", err);
    MPP_CHN_ADDR_S s = src(9), d0 = dst(4), d1 = dst(5);
    ASSERT_EQ(0, SYS_Bind(&s, &d0));
    ASSERT_EQ(0, SYS_Bind(&s, &d1));
    int data;
    EXPECT_EQ(0, SYS_BIND_ResetData(kSender, 0, 9, &data));
    ASSERT_EQ(2u, g_resets.size());
    EXPECT_EQ(4, g_resets[0].chn);
    EXPECT_EQ(&data, g_resets[1].data);
}

TEST_F(BindTest, SendWalksTheDestinationsItStartedWith)
{
    // The first receiver unbinds the second and resets the source while the
    // send is under way: this send still reaches both, the next only one.
    MPP_CHN_ADDR_S s = src(1), d0 = dst(0), d1 = dst(1);
    ASSERT_EQ(0, SYS_Bind(&s, &d0));
    ASSERT_EQ(0, SYS_Bind(&s, &d1));
    g_on_receive = [&](s32, s32 chn) {
        if (chn == 0 && g_got.size() == 1) {
            SYS_UnBind(&s, &d1);
            SYS_BIND_ResetData(kSender, 0, 1, nullptr);
        }
        return 0;
    };
    EXPECT_EQ(0, send(1));
    ASSERT_EQ(2u, g_got.size());
    EXPECT_EQ(1, g_got[1].chn);
    g_got.clear();
    EXPECT_EQ(0, send(1));
    ASSERT_EQ(1u, g_got.size());
    EXPECT_EQ(0, g_got[0].chn);
}

TEST_F(BindTest, SenderGoingAwayFreesItsReceivers)
{
    MPP_CHN_ADDR_S s = src(0), d = dst(3);
    ASSERT_EQ(0, SYS_Bind(&s, &d));
    ASSERT_EQ(0, SYS_BIND_UnRegisterSender(kSender));
    // No stale binding: unbinding is a no-op, not a broken invariant.
    EXPECT_EQ(0, SYS_UnBind(&s, &d));
    MPP_CHN_ADDR_S got;
    capture_stderr([&] { EXPECT_EQ((s32)0xA0028003, SYS_GetBindbyDest(&d, &got)); });
    SYS_BIND_SENDER_S sender = {kSender, 1, 32, nullptr};
    ASSERT_EQ(0, SYS_BIND_RegisterSender(&sender));
    EXPECT_EQ(0, SYS_Bind(&s, &d));
    EXPECT_EQ(0, send(0));
    EXPECT_EQ(1u, g_got.size());
}

TEST_F(BindTest, ReceiverComingBackIsFedOnce)
{
    MPP_CHN_ADDR_S s = src(0), d = dst(3);
    ASSERT_EQ(0, SYS_Bind(&s, &d));
    ASSERT_EQ(0, SYS_BIND_UnRegisterReceiver(kReceiver));
    SYS_BIND_RECEIVER_S receiver = {kReceiver, 1, 16, receive, reset};
    ASSERT_EQ(0, SYS_BIND_RegisterReceiver(&receiver));
    ASSERT_EQ(0, SYS_Bind(&s, &d));
    EXPECT_EQ(0, send(0));
    EXPECT_EQ(1u, g_got.size());
    SYS_BIND_DEST_LIST_S list;
    ASSERT_EQ(0, SYS_GetBindbySrc(&s, &list));
    EXPECT_EQ(1u, list.u32ChnNum);
}

TEST_F(BindTest, StartingAgainKeepsTheRegistrations)
{
    ASSERT_EQ(0, SYS_BIND_Init());
    MPP_CHN_ADDR_S s = src(0), d = dst(0);
    EXPECT_EQ(0, SYS_Bind(&s, &d));
}

std::vector<std::vector<s32>> g_notified;
s32 notify(s32, s32, const SYS_BIND_DEST_LIST_S *list)
{
    std::vector<s32> chns;
    for (u32 i = 0; i < list->u32ChnNum; i++)
        chns.push_back(list->astMppChn[i].s32Chn);
    g_notified.push_back(chns);
    return 0;
}

TEST_F(BindTest, ProcessingSenderIsToldOfItsDestinations)
{
    g_notified.clear();
    SYS_BIND_SENDER_S vpss = {DU_ID_VPSS, 1, 4, notify};
    ASSERT_EQ(0, SYS_BIND_RegisterSender(&vpss));
    MPP_CHN_ADDR_S s = {DU_ID_VPSS, 0, 2}, d0 = dst(0), d1 = dst(1);
    ASSERT_EQ(0, SYS_Bind(&s, &d0));
    ASSERT_EQ(0, SYS_Bind(&s, &d1));
    ASSERT_EQ(0, SYS_UnBind(nullptr, &d0));
    ASSERT_EQ(3u, g_notified.size());
    EXPECT_EQ((std::vector<s32>{0}), g_notified[0]);
    EXPECT_EQ((std::vector<s32>{0, 1}), g_notified[1]);
    EXPECT_EQ((std::vector<s32>{1}), g_notified[2]);
    SYS_UnBind(nullptr, &d1);
    SYS_BIND_UnRegisterSender(DU_ID_VPSS);
}

TEST(BindDeathTest, UnknownDataTypeIsABrokenInvariant)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int data;
    EXPECT_EXIT(SYS_BIND_SendData(kSender, 0, 0, 0, MPP_DATA_BUTT, &data), ::testing::ExitedWithCode(255), "");
}

TEST(BindAddressTest, NormalisationRules)
{
    struct Case {
        const char *name;
        MPP_CHN_ADDR_S in, src, dst;
    } cases[] = {
        {"VI source device", {DU_ID_VIU, 3, 2}, {DU_ID_VIU, 0, 2}, {DU_ID_VIU, 3, 2}},
        {"module 5 source device", {DU_ID_VDEC, 1, 1}, {DU_ID_VDEC, 0, 1}, {DU_ID_VDEC, 1, 1}},
        {"VO source channel", {DU_ID_VOU, 1, 4}, {DU_ID_VOU, 1, 0}, {DU_ID_VOU, 1, 4}},
        {"VPSS destination group", {DU_ID_VPSS, 2, 3}, {DU_ID_VPSS, 2, 3}, {DU_ID_VPSS, 2, 0}},
        {"module 6 destination", {DU_ID_GROUP, 1, 3}, {DU_ID_GROUP, 1, 3}, {DU_ID_GROUP, 1, 0}},
        {"others unchanged", {DU_ID_AI, 1, 3}, {DU_ID_AI, 1, 3}, {DU_ID_AI, 1, 3}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        MPP_CHN_ADDR_S s = c.in, d = c.in;
        bind_normalize_src(&s);
        bind_normalize_dest(&d);
        EXPECT_EQ(0, memcmp(&c.src, &s, sizeof s));
        EXPECT_EQ(0, memcmp(&c.dst, &d, sizeof d));
    }
}

} // namespace

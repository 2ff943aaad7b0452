// The system unit against the simulated /dev/sys: the platform's start and
// end chain, argument checks, binds, time stamps and the small requests.
#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/audio/mpi_audio.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/venc/mpi_venc.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <functional>

using testsupport::capture_stderr;
using testsupport::capture_stdout;
using testsupport::events;

namespace {

// Index of the first events.log line holding `needle`, or -1.
int event_index(const std::string &needle)
{
    auto all = events();
    for (size_t i = 0; i < all.size(); i++)
        if (all[i].find(needle) != std::string::npos)
            return (int)i;
    return -1;
}

size_t sys_requests() { return events("ioctl /dev/sys").size(); }

struct Units {
    u32 ai, ao, aenc, adec, venc;
    bool operator==(const Units &o) const { return !memcmp(this, &o, sizeof o); }
};
Units units() { return {ai_started(), s_bAoInit, s_bAencInit, s_bAdecInit, s_bMpiVencInit}; }

// The registry answers for a decoder source once the decoder and the output
// are registered in it.
s32 bind_decoder_to_output(s32 ao_chn)
{
    MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, 0}, dst = {DU_ID_AO, 0, ao_chn};
    return DU_DUZ_SYS_Bind(&src, &dst);
}

class SysTest : public BoardTest {
protected:
    SysTest() { conf_ = "trace = 1\n"; }
    void TearDown() override
    {
        capture_stdout([] { DU_DUZ_SYS_Exit(); });
    }
};

TEST_F(SysTest, StartRunsSystemThenRegistryAudioUnitsAndEncoderContext)
{
    std::string err = capture_stderr([] { EXPECT_EQ(0, DU_DUZ_SYS_Init()); });
    EXPECT_EQ("", err);
    // The system comes up first, then the audio chain reads the kernel configuration.
    int up = event_index("ioctl /dev/sys 0x00005900");
    int config = event_index("ioctl /dev/sys 0x8008590e");
    ASSERT_GE(up, 0);
    EXPECT_GT(config, up);
    EXPECT_TRUE((units() == Units{1, 1, 1, 1, 1}));
    EXPECT_EQ(1, g_s32HRTimer);
    // Output registered as receiver and decoder as sender: the registry binds them.
    EXPECT_EQ(0, bind_decoder_to_output(1));
    MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, 0};
    SYS_BIND_DEST_LIST_S list = {};
    EXPECT_EQ(0, DU_DUZ_SYS_GetBindbySrc(&src, &list));
    EXPECT_EQ(1u, list.u32ChnNum);
}

TEST_F(SysTest, EndStopsTheAudioChainAndEncoderContextThenTheSystem)
{
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    s32 ret = -1;
    capture_stdout([&] { ret = DU_DUZ_SYS_Exit(); });
    EXPECT_EQ(0, ret);
    EXPECT_TRUE((units() == Units{0, 0, 0, 0, 0}));
    EXPECT_EQ(1u, events("sys down").size());
    // The registry is gone with the units.
    std::string err = capture_stderr([] { EXPECT_EQ((s32)0xA0028003, bind_decoder_to_output(0)); });
    EXPECT_NE(std::string::npos, err.find("ModId:24() is not supported !\n"));
}

TEST_F(SysTest, SystemDownComesLastAndItsResultIsTheEnds)
{
    conf_ = "trace = 1\nsys_refuse = 0x5901\n";
    SetUp();
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    s32 ret = 0;
    capture_stdout([&] { ret = DU_DUZ_SYS_Exit(); });
    EXPECT_EQ(-1, ret);
    // Everything above the kernel was stopped before the refused request.
    EXPECT_TRUE((units() == Units{0, 0, 0, 0, 0}));
    EXPECT_EQ(1, (int)events("ioctl /dev/sys 0x00005901").size());
}

TEST_F(SysTest, SecondStartAfterAnEndWorks)
{
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        EXPECT_TRUE((units() == Units{1, 1, 1, 1, 1}));
        EXPECT_EQ(0, bind_decoder_to_output(2));
        capture_stdout([] { EXPECT_EQ(0, DU_DUZ_SYS_Exit()); });
        EXPECT_TRUE((units() == Units{0, 0, 0, 0, 0}));
    }
    EXPECT_EQ(2u, events("sys up").size());
}

TEST_F(SysTest, SecondStartWithoutAnEndKeepsTheRegistrations)
{
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    EXPECT_EQ(0, bind_decoder_to_output(3));
}

TEST_F(SysTest, EndOfAPlatformThatIsNotUpIsHarmless)
{
    s32 ret = -1;
    std::string out = capture_stdout([&] { ret = DU_DUZ_SYS_Exit(); });
    EXPECT_EQ(0, ret);
    EXPECT_EQ("", out);
    EXPECT_TRUE(events("sys down").empty());
}

TEST_F(SysTest, KernelConfigurationRefusedStopsBeforeTheAudioChain)
{
    conf_ = "trace = 1\nsys_refuse = 0x8008590E\n";
    SetUp();
    s32 ret = 0;
    std::string err = capture_stderr([&] { ret = DU_DUZ_SYS_Init(); });
    EXPECT_EQ(-1, ret);
    EXPECT_EQ("System get Kernel Config failed!\nGet Kernel Config failed!\ninitialize audio mpi failed!\n", err);
    EXPECT_EQ(1u, events("sys up").size()); // the kernel side stays up
    EXPECT_TRUE((units() == Units{0, 0, 0, 0, 0}));
}

TEST_F(SysTest, SystemRefusedStartsNothing)
{
    conf_ = "trace = 1\nsys_refuse = 0x5900\n";
    SetUp();
    EXPECT_EQ(-1, DU_DUZ_SYS_Init());
    EXPECT_TRUE((units() == Units{0, 0, 0, 0, 0}));
    EXPECT_TRUE(events("ioctl /dev/sys 0x8008590e").empty());
}

TEST_F(SysTest, HighResolutionTimerFlagComesFromTheKernel)
{
    conf_ = "hrtimer = 0\n";
    SetUp();
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    EXPECT_EQ(0, g_s32HRTimer);
}

// ---- argument checks ------------------------------------------------------------------------------

TEST_F(SysTest, ArgumentChecksRefuseBeforeAnyRequest)
{
    MPP_CHN_ADDR_S vi = {DU_ID_VIU, 0, 0}, vpss = {DU_ID_VPSS, 0, 0};
    SCALE_RANGE_S range = {};
    SCALE_COEFF_LEVEL_S level = {};
    u32 phys = 0;
    void *user = nullptr;
    char buf[64];
    u32 word = 0;
    SYS_BIND_DEST_LIST_S list;
    SYS_VIRMEM_INFO_REC_S info;
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *err, *out;
    } cases[] = {
        {"SetConf null", [] { return DU_DUZ_SYS_SetConf(nullptr); }, (s32)0xA0028006, "null ptr!\n", ""},
        {"GetConf null", [] { return DU_DUZ_SYS_GetConf(nullptr); }, (s32)0xA0028006, "null ptr!\n", ""},
        {"GetCurPts null", [] { return DU_DUZ_SYS_GetCurPts(nullptr); }, (s32)0xA0028006, "", ""},
        {"Bind null source", [&] { return DU_DUZ_SYS_Bind(nullptr, &vpss); }, (s32)0xA0028006, "Null point \n", ""},
        {"Bind null destination", [&] { return DU_DUZ_SYS_Bind(&vi, nullptr); }, (s32)0xA0028006, "Null point \n",
         ""},
        {"UnBind null destination", [&] { return DU_DUZ_SYS_UnBind(&vi, nullptr); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"GetBindbyDest null destination", [&] { return DU_DUZ_SYS_GetBindbyDest(nullptr, &vi); },
         (s32)0xA0028006, "Null point \n", ""},
        {"GetBindbyDest null source", [&] { return DU_DUZ_SYS_GetBindbyDest(&vpss, nullptr); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"GetBindbySrc null list", [&] { return DU_DUZ_SYS_GetBindbySrc(&vi, nullptr); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"GetBindbySrc of a VI source", [&] { return DU_DUZ_SYS_GetBindbySrc(&vi, &list); }, (s32)0xA0028009,
         "Wrong ModId!\n", ""},
        {"GetKernelConfig null", [] { return MPI_SYS_GetKernelConfig(nullptr); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"GetViVpssMode null", [] { return DU_DUZ_SYS_GetViVpssMode(nullptr); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"SetScaleCoefLevel null range", [&] { return DU_DUZ_SYS_SetScaleCoefLevel(nullptr, &level); },
         (s32)0xA0028006, "Null point \n", ""},
        {"SetScaleCoefLevel null levels", [&] { return DU_DUZ_SYS_SetScaleCoefLevel(&range, nullptr); },
         (s32)0xA0028006, "Null point \n", ""},
        {"GetScaleCoefLevel null levels", [&] { return DU_DUZ_SYS_GetScaleCoefLevel(&range, nullptr); },
         (s32)0xA0028006, "Null point \n", ""},
        {"GetVersion null", [] { return DU_DUZ_SYS_GetVersion(nullptr); }, (s32)0xA0028006, "", ""},
        {"MflushCache null address", [] { return DU_DUZ_SYS_MflushCache(0x1000, nullptr, 64); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"MflushCache size 0", [&] { return DU_DUZ_SYS_MflushCache(0x1000, buf, 0); }, (s32)0xA0028003, "",
         "Func: DU_DUZ_SYS_MflushCache u32Size can't be 0.\n"},
        {"SetMemConf null channel", [] { return DU_DUZ_SYS_SetMemConf(nullptr, "ddr"); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"SetMemConf 16-character name", [&] { return DU_DUZ_SYS_SetMemConf(&vi, "0123456789abcdef"); },
         (s32)0xA0028003, "", "mmz name len:16,it's too long\n"},
        {"GetMemConf null channel", [&] { return DU_DUZ_SYS_GetMemConf(nullptr, buf); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"MmzAlloc null physical out", [&] { return DU_DUZ_SYS_MmzAlloc(nullptr, &user, "b", "", 4096); },
         (s32)0xA0028006, "Null point \n", ""},
        {"MmzAlloc null user out", [&] { return DU_DUZ_SYS_MmzAlloc_Cached(&phys, nullptr, "b", "", 4096); },
         (s32)0xA0028006, "Null point \n", ""},
        {"GetVirMemInfo null address", [&] { return DU_DUZ_SYS_GetVirMemInfo(nullptr, &info); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"GetVirMemInfo null record", [&] { return DU_DUZ_SYS_GetVirMemInfo(buf, nullptr); }, (s32)0xA0028006,
         "Null point \n", ""},
        {"GetReg null value", [] { return DU_DUZ_SYS_GetReg(0x20050000, nullptr); }, (s32)0xA0028006, "", ""},
    };
    (void)word;
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = events("ioctl ").size();
        s32 ret = 0;
        std::string out;
        std::string err = capture_stderr([&] { out = capture_stdout([&] { ret = c.call(); }); });
        EXPECT_EQ(c.code, ret);
        EXPECT_EQ(c.err, err);
        EXPECT_EQ(c.out, out);
        EXPECT_EQ(before, events("ioctl ").size()) << "a request reached the board";
    }
}

TEST_F(SysTest, DecoderSourceNeverReachesTheKernelEvenWhenTheRegistryRefuses)
{
    // Platform down: the registry has no decoder registered.
    MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, 0}, dst = {DU_ID_AO, 0, 0};
    size_t before = sys_requests();
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_Bind(&src, &dst)); });
    EXPECT_EQ("ModId:24() is not supported !\n", err);
    EXPECT_EQ(before, sys_requests());
}

// ---- binds in the kernel -----------------------------------------------------------------------

TEST_F(SysTest, BindNormalisesAddressesAsTheKernelExpects)
{
    MPP_CHN_ADDR_S vi = {DU_ID_VIU, 3, 0}, vpss = {DU_ID_VPSS, 0, 5};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&vi, &vpss));
    auto dests = sim::bind_destinations({DU_ID_VIU, 0, 0});
    ASSERT_EQ(1u, dests.size());
    EXPECT_TRUE((dests[0] == sim::ChnAddr{DU_ID_VPSS, 0, 0}));

    MPP_CHN_ADDR_S asked = {DU_ID_VPSS, 0, 9}, src = {};
    ASSERT_EQ(0, DU_DUZ_SYS_GetBindbyDest(&asked, &src));
    EXPECT_EQ(DU_ID_VIU, src.enModId);
    EXPECT_EQ(0, src.s32Dev);
    EXPECT_EQ(0, src.s32Chn);

    // A destination has one source.
    MPP_CHN_ADDR_S other = {DU_ID_VIU, 0, 1};
    EXPECT_EQ((s32)0xA0028009, DU_DUZ_SYS_Bind(&other, &vpss));
    // Unbinding names the source it has, or none at all.
    EXPECT_EQ((s32)0xA0028009, DU_DUZ_SYS_UnBind(&other, &vpss));
    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(nullptr, &vpss));
    EXPECT_FALSE(sim::bind_source_of({DU_ID_VPSS, 0, 0}, nullptr));
    EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_GetBindbyDest(&asked, &src));
}

TEST_F(SysTest, KernelBindsFanOutInBindingOrder)
{
    MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0};
    MPP_CHN_ADDR_S dsts[] = {{DU_ID_AENC, 0, 0}, {DU_ID_AO, 0, 0}, {DU_ID_AO, 0, 1}};
    for (auto &d : dsts)
        ASSERT_EQ(0, DU_DUZ_SYS_Bind(&ai, &d));
    auto got = sim::bind_destinations({DU_ID_AI, 0, 0});
    ASSERT_EQ(3u, got.size());
    for (size_t i = 0; i < 3; i++)
        EXPECT_TRUE((got[i] == sim::ChnAddr{dsts[i].enModId, dsts[i].s32Dev, dsts[i].s32Chn}));
    sim::ChnAddr src;
    ASSERT_TRUE(sim::bind_source_of({DU_ID_AENC, 0, 0}, &src));
    EXPECT_TRUE((src == sim::ChnAddr{DU_ID_AI, 0, 0}));
    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &dsts[1]));
    EXPECT_EQ(2u, sim::bind_destinations({DU_ID_AI, 0, 0}).size());
    // The platform's end drops the kernel's binds.
    capture_stdout([] { DU_DUZ_SYS_Exit(); });
    EXPECT_TRUE(sim::bind_destinations({DU_ID_AI, 0, 0}).empty());
}

TEST_F(SysTest, RegistryBindingOfAnOutputIsFoundByItsDestination)
{
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    ASSERT_EQ(0, bind_decoder_to_output(4));
    MPP_CHN_ADDR_S ao = {DU_ID_AO, 0, 4}, src = {};
    size_t before = sys_requests();
    ASSERT_EQ(0, DU_DUZ_SYS_GetBindbyDest(&ao, &src));
    EXPECT_EQ(DU_ID_ADEC, src.enModId);
    EXPECT_EQ(before, sys_requests());
    // Unbinding without a source takes the registry's binding away.
    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(nullptr, &ao));
    SYS_BIND_DEST_LIST_S list = {};
    MPP_CHN_ADDR_S adec = {DU_ID_ADEC, 0, 0};
    EXPECT_EQ(0, DU_DUZ_SYS_GetBindbySrc(&adec, &list));
    EXPECT_EQ(0u, list.u32ChnNum);
    // A decoder destination is refused by the registry, not asked of the kernel.
    MPP_CHN_ADDR_S dec = {DU_ID_ADEC, 0, 0};
    capture_stderr([&] { EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_GetBindbyDest(&dec, &src)); });
    EXPECT_EQ(before, sys_requests());
}

// ---- configuration, time stamps and the small requests ---------------------------------------

TEST_F(SysTest, ConfigurationRoundTripsWhileThePlatformIsDown)
{
    SYS_CONF_REC_S conf = {64}, got = {};
    ASSERT_EQ(0, DU_DUZ_SYS_SetConf(&conf));
    ASSERT_EQ(0, DU_DUZ_SYS_GetConf(&got));
    EXPECT_EQ(64u, got.u32LineAlign);
    SYS_CONF_REC_S odd = {48};
    EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_SetConf(&odd));
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    EXPECT_EQ((s32)0xA0028009, DU_DUZ_SYS_SetConf(&conf));
}

TEST_F(SysTest, TimeStampsFollowTheBaseTheyAreGiven)
{
    u64 base = 5000000000ull, now = 0;
    ASSERT_EQ(0, DU_DUZ_SYS_InitPtsBase(base));
    ASSERT_EQ(0, DU_DUZ_SYS_GetCurPts(&now));
    EXPECT_GE(now, base);
    EXPECT_GE(sim::platform_pts_us(), now);
    ASSERT_EQ(0, DU_DUZ_SYS_SyncPts(100));
    ASSERT_EQ(0, DU_DUZ_SYS_GetCurPts(&now));
    EXPECT_LT(now, base);
}

TEST_F(SysTest, SmallRequests)
{
    conf_ = "vi_vpss_mode = 1\n";
    SetUp();
    u32 mode = 0;
    EXPECT_EQ(0, DU_DUZ_SYS_GetViVpssMode(&mode));
    EXPECT_EQ(1u, mode);
    EXPECT_EQ(0, DU_DUZ_SYS_SetProfile(1));
    EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_SetProfile(7));

    SCALE_RANGE_S range = {2, 3};
    SCALE_COEFF_LEVEL_S level = {1, 2, 3, 4}, got = {};
    ASSERT_EQ(0, DU_DUZ_SYS_SetScaleCoefLevel(&range, &level));
    ASSERT_EQ(0, DU_DUZ_SYS_GetScaleCoefLevel(&range, &got));
    EXPECT_EQ(0, memcmp(&level, &got, sizeof got));
    SCALE_RANGE_S bad = {SCALE_RANGE_BUTT, 0};
    got = {9, 9, 9, 9};
    EXPECT_EQ((s32)0xA0028003, DU_DUZ_SYS_GetScaleCoefLevel(&bad, &got));
    EXPECT_EQ(9u, got.enHorLum) << "levels are copied out only on success";

    char version[SYS_VERSION_NAME_LEN];
    memset(version, 'x', sizeof version);
    ASSERT_EQ(0, DU_DUZ_SYS_GetVersion(version));
    EXPECT_STREQ("DU_VERSION=Vi3516V_MPP_V1.0.6.0 B050 Release", version);
}

TEST_F(SysTest, ZoneNamePerChannelRoundTripsTerminated)
{
    MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0};
    struct Case {
        const char *name, *set, *want;
    } cases[] = {{"named", "ddr1", "ddr1"}, {"15 characters", "0123456789abcde", "0123456789abcde"},
                 {"none", nullptr, ""}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, DU_DUZ_SYS_SetMemConf(&ai, c.set));
        char out[16];
        memset(out, 'x', sizeof out);
        ASSERT_EQ(0, DU_DUZ_SYS_GetMemConf(&ai, out));
        EXPECT_STREQ(c.want, out);
    }
}

TEST_F(SysTest, KernelConfigurationReadFailureIsNotReady)
{
    conf_ = "sys_refuse = 0x8008590E\n";
    SetUp();
    SYS_KERNEL_CONFIG_S config;
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA0028010, MPI_SYS_GetKernelConfig(&config)); });
    EXPECT_EQ("System get Kernel Config failed!\n", err);
}

TEST_F(SysTest, CloseFdClosesEachDescriptorOnce)
{
    ASSERT_GT(DU_DUZ_SYS_GetFileHandle(), 0);
    EXPECT_EQ(0, DU_DUZ_SYS_CloseFd());
    size_t closed = events("close ").size();
    EXPECT_GE(closed, 1u);
    EXPECT_EQ(0, DU_DUZ_SYS_CloseFd());
    EXPECT_EQ(closed, events("close ").size());
    // The next call opens it again.
    u64 pts;
    EXPECT_EQ(0, DU_DUZ_SYS_GetCurPts(&pts));
}

// ---- log ------------------------------------------------------------------------------------------

TEST_F(SysTest, LogCloseBeforeAnyLogCallClosesNothing)
{
    DU_DUZ_LOG_Close(); // whatever an earlier test left open
    EXPECT_EQ(-1, DU_DUZ_LOG_Close());
    EXPECT_TRUE(events("close ").empty());
}

TEST_F(SysTest, LogLevelsAndText)
{
    std::string err = capture_stderr([] { EXPECT_EQ(-1, DU_DUZ_LOG_SetLevelConf(nullptr)); });
    EXPECT_EQ("null ptr!\n", err);
    LOG_LEVEL_CONF_S conf = {DU_ID_SYS, 7, ""};
    ASSERT_EQ(0, DU_DUZ_LOG_SetLevelConf(&conf));
    LOG_LEVEL_CONF_S got = {DU_ID_SYS, 0, ""};
    ASSERT_EQ(0, DU_DUZ_LOG_GetLevelConf(&got));
    EXPECT_EQ(7, got.s32Level);
    LOG_LEVEL_CONF_S bad = {DU_ID_SYS, 8, ""};
    EXPECT_EQ((s32)0xA0028003, DU_DUZ_LOG_SetLevelConf(&bad));
    EXPECT_EQ(0, DU_DUZ_LOG_SetWaitFlag(0));

    // A refused bind is logged by the kernel.
    MPP_CHN_ADDR_S vi = {DU_ID_VIU, 0, 0}, other = {DU_ID_VIU, 0, 1}, vpss = {DU_ID_VPSS, 0, 0};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&vi, &vpss));
    ASSERT_NE(0, DU_DUZ_SYS_Bind(&other, &vpss));
    char text[512] = {};
    s32 n = DU_DUZ_LOG_Read(text, sizeof text - 1);
    ASSERT_GT(n, 0);
    EXPECT_NE(nullptr, strstr(text, "already bound"));
    EXPECT_EQ(0, DU_DUZ_LOG_Read(text, sizeof text)) << "the log drains";
    EXPECT_GT(DU_DUZ_LOG_GetFileHandle(), 0);
    EXPECT_EQ(0, DU_DUZ_LOG_Close());
}

} // namespace

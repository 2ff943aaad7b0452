// The encoder module's parameters: a descriptor of their own, bound to no
// channel, opened on the first call that finds "/dev/venc" usable (before
// the system starts too) and kept for the process's life.
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/venc/mpi_venc.h"
#include "tests/support/board_fixture.h"

#include <unistd.h>

using testsupport::capture_stderr;
using testsupport::capture_stdout;
using testsupport::events;

namespace {

class VencModParam : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
        forget_handle();
        MPI_VENC_Exit();
    }
    void TearDown() override { forget_handle(); }

    // The handle lives as long as the process; each test starts without one.
    static void forget_handle()
    {
        if (g_S32VencFd >= 0)
            bd_close(g_S32VencFd);
        g_S32VencFd = -1;
    }
    static size_t opens() { return events("trace open /dev/venc").size(); }
};

} // namespace

TEST_F(VencModParam, ANullRecordOpensNothing)
{
    sim::set_node("/dev/venc", sim::Node::missing);
    struct Case {
        const char *name;
        std::function<s32()> call;
    } cases[] = {
        {"DU_DUZ_VENC_SetModParam", [] { return DU_DUZ_VENC_SetModParam(nullptr); }},
        {"DU_DUZ_VENC_GetModParam", [] { return DU_DUZ_VENC_GetModParam(nullptr); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ((s32)0xA0088006, ret);
        EXPECT_EQ(std::string("func:") + c.name + ",NULL pointer detected\n", err);
        EXPECT_EQ(-1, g_S32VencFd);
    }
    EXPECT_EQ(0u, opens());
}

TEST_F(VencModParam, AMissingOrPlainNodeIsReportedAndTriedAgain)
{
    struct Case {
        const char *name;
        sim::Node node;
        std::string err;
    } cases[] = {
        {"missing", sim::Node::missing, "Cannot identify '/dev/venc': 2, No such file or directory\n"},
        {"a plain file", sim::Node::file, "/dev/venc is no device\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        forget_handle();
        sim::set_node("/dev/venc", c.node);
        VENC_MOD_PARAM_REC_S rec = {{1, 2, 3, 4, 5}};
        s32 ret = 0;
        std::string out, err = capture_stderr([&] { out = capture_stdout([&] { ret = DU_DUZ_VENC_SetModParam(&rec); }); });
        EXPECT_EQ((s32)0xA0088010, ret);
        EXPECT_EQ(c.err, err);
        EXPECT_EQ("open venc err\n", out);
        EXPECT_EQ(-1, g_S32VencFd);

        // The next call tries again, and finds the device.
        sim::set_node("/dev/venc", sim::Node::device);
        EXPECT_EQ(0, DU_DUZ_VENC_SetModParam(&rec));
        EXPECT_GE(g_S32VencFd, 0);
    }
}

TEST_F(VencModParam, BeforeTheSystemStartsTheRequestsReachTheBoard)
{
    ASSERT_EQ(0u, s_bMpiVencInit);
    VENC_MOD_PARAM_REC_S set = {{1, 2, 3, 4, 5}}, got = {{9, 9, 9, 9, 9}};
    ASSERT_EQ(0, DU_DUZ_VENC_SetModParam(&set));
    ASSERT_EQ(0, DU_DUZ_VENC_GetModParam(&got));
    EXPECT_EQ(0, memcmp(&set, &got, sizeof set));
    EXPECT_EQ(0u, s_bMpiVencInit); // no unit start on the way
    EXPECT_EQ(1u, events("ioctl /dev/venc 0x4014457d").size());
    EXPECT_EQ(1u, events("ioctl /dev/venc 0xc014457e").size());
    EXPECT_TRUE(events("ioctl /dev/venc 0x40044514").empty()); // bound to no channel

    // The system's start and end leave the handle open: no second open.
    ASSERT_EQ(1u, opens());
    const s32 fd = g_S32VencFd;
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    ASSERT_EQ(0, DU_DUZ_SYS_Exit());
    EXPECT_EQ(fd, g_S32VencFd);
    ASSERT_EQ(0, DU_DUZ_VENC_GetModParam(&got));
    EXPECT_EQ(1u, opens());
}

TEST_F(VencModParam, DescriptorZeroIsAnOpenHandle)
{
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    ::close(0); // the next open gets descriptor 0
    VENC_MOD_PARAM_REC_S rec = {{7, 0, 0, 0, 0}};
    EXPECT_EQ(0, DU_DUZ_VENC_SetModParam(&rec));
    EXPECT_EQ(0, g_S32VencFd);
    EXPECT_EQ(0, DU_DUZ_VENC_GetModParam(&rec));
    EXPECT_EQ(1u, opens());
    forget_handle();
    dup2(saved, 0);
    ::close(saved);
}

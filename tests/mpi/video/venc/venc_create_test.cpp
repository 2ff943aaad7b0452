// A channel's creation that fails after the driver made the channel: the
// driver's channel goes again, nothing stays mapped, and the same creation
// then fails the same way instead of finding the channel there.
#include "mpi/video/venc/venc_requests.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"

#include <unistd.h>

using namespace videotest;

namespace {

class VencCreate : public BoardTest {
protected:
    void TearDown() override
    {
        testsupport::capture_stdout([] { DU_DUZ_SYS_Exit(); });
        MPI_VENC_Exit();
    }
};

size_t traced(unsigned long request)
{
    char what[64];
    snprintf(what, sizeof what, "trace ioctl /dev/venc 0x%08lx", request);
    return testsupport::events(what).size();
}

TEST_F(VencCreate, AFailedCreationTakesTheChannelDownAgain)
{
    struct Case {
        const char *name;
        std::string conf;
        bool unmappable; // the mapping descriptor maps nothing
        s32 code;
        const char *err;
        size_t destroys; // of the driver's channel, per creation
    } cases[] = {
        {"the driver refuses the channel", "venc_refuse = " + std::to_string(VENC_CREATE_CHN_CTRL) + "\n", false, -1,
         "", 0},
        {"the driver keeps the ring's place", "venc_refuse = " + std::to_string(VENC_GET_STRMBUF_INFO_CTRL) + "\n",
         false, -1, "", 1},
        {"the ring cannot be mapped", "", true, DU_ERR_VENC_NOMEM, "mmap err,page addr:", 1},
    };
    const VENC_CHN_ATTR_REC_S attr = video_attr(PT_H264, 640, 360, 30, 1024, 30, 30);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::capture_stdout([] { DU_DUZ_SYS_Exit(); });
        MPI_VENC_Exit();
        testsupport::write_conf(root_, "trace = 1\n" + c.conf);
        sim::start(root_);
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        int pipe_fds[2] = {-1, -1};
        if (c.unmappable) {
            ASSERT_EQ(0, MPI_VENC_Init());
            ASSERT_EQ(0, pipe(pipe_fds));
            s32VencMemFd = pipe_fds[0];
        }
        for (int round = 0; round < 2; round++) {
            SCOPED_TRACE(round);
            s32 ret = 0;
            std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_VENC_CreateChn(2, &attr); });
            EXPECT_EQ(c.code, ret);
            EXPECT_NE(std::string::npos, err.find(c.err)) << err;
            EXPECT_EQ(c.destroys * (round + 1), traced(VENC_DESTROY_CHN_CTRL));
            EXPECT_EQ(nullptr, g_stMpiVencChn[2].pMapBase);
            EXPECT_EQ(nullptr, g_stMpiVencChn[2].pStrmBufUserAddr);
        }
        if (c.unmappable) {
            s32VencMemFd = -1;
            close(pipe_fds[0]);
            close(pipe_fds[1]);
        }
    }
}

} // namespace

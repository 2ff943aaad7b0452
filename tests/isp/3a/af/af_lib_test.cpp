// The auto-focus library: it registers into the ISP's focus slot, checks its
// arguments with -1 for every failure, and answers every command with 0.
#include <functional>

#include "isp/3a/af/mpi_af.h"
#include "isp/isp_ctx.h"
#include "tests/support/board_fixture.h"

using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

const ALG_LIB_HANDLE_S kLib = {0, "vudi_af_lib"};

AF_LIB_CALLBACKS_S isp_view()
{
    for (const auto &n : g_astIspCtx[0].stAfLibInfo.astLibs)
        if (n.bUsed)
            return n.stAfRegister;
    return {};
}

} // namespace

class AfTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(DU_DUZ_AF_Register(0, &kLib), 0);
        cb_ = isp_view();
        ASSERT_TRUE(cb_.pfn_af_init && cb_.pfn_af_run && cb_.pfn_af_ctrl && cb_.pfn_af_exit);
    }
    void TearDown() override
    {
        cb_.pfn_af_exit(0);
        DU_DUZ_AF_UnRegister(0, &kLib);
    }
    AF_LIB_CALLBACKS_S cb_ = {};
};

TEST_F(AfTest, RegistrationChecksItsRecordAndLeavesTheDeviceToTheIsp)
{
    const ALG_LIB_HANDLE_S handle2 = {2, "vudi_af_lib"}, wrong = {0, "vudi_ae_lib"};
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *message;
    } cases[] = {
        {"null", [] { return DU_DUZ_AF_Register(0, nullptr); }, -1, "Null Pointer in DU_DUZ_AF_Register!\n"},
        {"handle 2", [&] { return DU_DUZ_AF_Register(0, &handle2); }, -1, "Illegal handle id 2 in DU_DUZ_AF_Register!\n"},
        {"name", [&] { return DU_DUZ_AF_Register(0, &wrong); }, -1, "Illegal lib name vudi_ae_lib in DU_DUZ_AF_Register!\n"},
        {"unregister null", [] { return DU_DUZ_AF_UnRegister(0, nullptr); }, -1, "Null Pointer in DU_DUZ_AF_UnRegister!\n"},
        {"ctrl name", [&] {
             u32 v;
             return DU_DUZ_AF_Ctrl(&wrong, 1, &v);
         }, -1, "Illegal lib name vudi_ae_lib in DU_DUZ_AF_Ctrl!\n"},
        {"device 1 passes to the ISP", [] { return DU_DUZ_AF_Register(1, &kLib); }, (s32)0xA01C8003, "Err isp dev 1!\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { capture_stdout([&] { ret = c.call(); }); });
        EXPECT_EQ(ret, c.code);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
    std::string out = capture_stdout([] { capture_stderr([] { DU_DUZ_AF_Register(1, &kLib); }); });
    EXPECT_EQ(out, "Du_af register failed!\n");
}

TEST_F(AfTest, RunNeedsInitAndValidArgumentsAndCommandsAlwaysSucceed)
{
    AF_INIT_PARAM_S p = {34220};
    AF_FRAME_INPUT_S in = {1, nullptr};
    AF_FRAME_RESULT_S r = {0xAAAA};
    std::string out = capture_stdout([&] {
        EXPECT_EQ(cb_.pfn_af_run(0, &in, &r, 0), -1);
        EXPECT_EQ(cb_.pfn_af_run(0, &in, &r, 0), -1);
    });
    EXPECT_EQ(out, "Af(0) doesn't init!\nAf(0) doesn't init!\n");
    std::string err = capture_stderr([&] {
        EXPECT_EQ(cb_.pfn_af_init(0, nullptr), -1);
        EXPECT_EQ(cb_.pfn_af_init(2, &p), -1);
        EXPECT_EQ(cb_.pfn_af_run(0, nullptr, &r, 0), -1);
        EXPECT_EQ(cb_.pfn_af_run(0, &in, nullptr, 0), -1);
        EXPECT_EQ(cb_.pfn_af_ctrl(0, 8001, nullptr), -1);
        EXPECT_EQ(cb_.pfn_af_exit(5), -1);
    });
    EXPECT_NE(err.find("Null Pointer in AfInit!"), std::string::npos);
    EXPECT_NE(err.find("Illegal handle id 2 in AfInit!"), std::string::npos);
    EXPECT_NE(err.find("Null Pointer in AfRun!"), std::string::npos);
    EXPECT_NE(err.find("Illegal handle id 5 in AfExit!"), std::string::npos);
    ASSERT_EQ(cb_.pfn_af_init(0, &p), 0);
    EXPECT_EQ(cb_.pfn_af_run(0, &in, &r, 0), 0);
    EXPECT_EQ(r.u32Reserved, 0xAAAAu); // untouched
    u32 v = 0;
    for (u32 cmd : {0u, 8000u, 8001u, 8005u, 12345u}) {
        EXPECT_EQ(cb_.pfn_af_ctrl(0, cmd, &v), 0);
        EXPECT_EQ(DU_DUZ_AF_Ctrl(&kLib, cmd, &v), 0);
    }
    EXPECT_EQ(cb_.pfn_af_exit(0), 0);
    out = capture_stdout([&] { EXPECT_EQ(cb_.pfn_af_run(0, &in, &r, 0), -1); });
    EXPECT_EQ(out, "Af(0) doesn't init!\n");
}

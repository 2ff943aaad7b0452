// The audio units' shared foundations: the per-channel node, memory the
// kernel also sees, and the save-file dumps.
#include "mpi/audio/comm/mpi_audio_comm.h"
#include "tests/support/board_fixture.h"

#include <cerrno>
#include <cstring>

using testsupport::capture_stderr;
using testsupport::capture_stdout;
using testsupport::events;

namespace {

constexpr unsigned long kBindReq = MPI_IOC(MPI_IOC_WRITE, 4, 'T', 0);

// A node that takes channels 0..3.
class TestNode : public sim::Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        u32 chn;
        if (request != kBindReq || !sim::get_user(chn, arg))
            return sim::fail(EINVAL);
        return chn < 4 ? 0 : sim::fail(EINVAL);
    }
};
sim::DeviceRegistration test_node("/dev/test_audio_node", [](int) { return std::make_shared<TestNode>(); });

const AUDIO_NODE_S kNode = {"/dev/test_audio_node", kBindReq, DU_ID_AENC, AUDIO_OPEN_MSG_PUTS, "open test fail", true};
const AUDIO_NODE_S kMissing = {"/dev/no_such_audio", kBindReq, DU_ID_AI, AUDIO_OPEN_MSG_TRACE, "open missing failed!\n",
                               false};

class AudioCommTest : public BoardTest {
protected:
    AudioCommTest() { conf_ = "trace = 1\n"; }
};

TEST_F(AudioCommTest, NodeOpensOnceAndBindsTheChannel)
{
    struct Case {
        const char *name;
        s32 slot; // before
        s32 chn;
        s32 code;
        bool open_after;
    } cases[] = {{"closed slot", -1, 1, 0, true}, {"slot 0 counts as closed", 0, 2, 0, true},
                 {"bind refused", -1, 9, (s32)0xA0178010, false}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 slot = c.slot;
        s32 ret = -1;
        std::string out = capture_stdout([&] { ret = audio_node_open(&slot, &kNode, c.chn, "caller"); });
        EXPECT_EQ(c.code, ret);
        if (c.open_after) {
            EXPECT_GE(slot, 1);
            EXPECT_EQ("", out);
            size_t opens = events("open /dev/test_audio_node").size();
            EXPECT_EQ(0, audio_node_open(&slot, &kNode, c.chn, "caller")) << "already open";
            EXPECT_EQ(opens, events("open /dev/test_audio_node").size());
            bd_close(slot);
        } else {
            EXPECT_EQ(-1, slot);
            EXPECT_EQ(0u, out.find("[Func]:caller [Line]:"));
            EXPECT_NE(std::string::npos, out.find(" [Info]:failed\n"));
        }
    }
}

TEST_F(AudioCommTest, NodeThatWontOpenSaysSoTheUnitsWay)
{
    s32 slot = -1;
    s32 ret = 0;
    std::string err = capture_stderr([&] { ret = audio_node_open(&slot, &kMissing, 0, "caller"); });
    EXPECT_EQ((s32)0xA0158010, ret);
    EXPECT_EQ(-1, slot);
    EXPECT_EQ(0u, err.find("[Func]:caller [Line]:"));
    EXPECT_NE(std::string::npos, err.find("[Info]:open missing failed!\n"));
    AUDIO_NODE_S puts_node = kMissing;
    puts_node.enOpenMsg = AUDIO_OPEN_MSG_PUTS;
    puts_node.pszOpenMsg = "open missing fail";
    std::string out = capture_stdout([&] { audio_node_open(&slot, &puts_node, 0, "caller"); });
    EXPECT_EQ("open missing fail\n", out);
}

TEST_F(AudioCommTest, BuffersTheKernelSees)
{
    u32 phys = 0;
    void *user = nullptr;
    ASSERT_EQ(0, audio_alloc("AENC(0)StrmBuf", &phys, &user, 5000));
    memcpy(user, "pcm", 4);
    EXPECT_STREQ("pcm", reinterpret_cast<char *>(sim::phys(phys)));
    EXPECT_EQ(0, audio_free(phys));
    EXPECT_EQ(-1, audio_free(phys)) << "not allocated any more";
    EXPECT_EQ(-1, audio_alloc("x", nullptr, &user, 16));
}

TEST_F(AudioCommTest, BufferWhoseMappingFailsIsGivenBack)
{
    conf_ = "mmz_refuse = 0xC04C6D14\n";
    SetUp();
    u32 phys = 0;
    void *user = nullptr;
    EXPECT_EQ(-1, audio_alloc("x", &phys, &user, 4096));
    u32 next = sim::phys_alloc(4096);
    EXPECT_EQ(sim::kDdrBase, next);
    sim::phys_free(next);
}

TEST_F(AudioCommTest, MappingAcrossAPageEnd)
{
    u32 phys = 0x20060000 + 4096 - 100;
    u8 *user = static_cast<u8 *>(audio_memmap(phys, 200));
    ASSERT_NE(nullptr, user);
    EXPECT_EQ(phys & 0xFFF, (uintptr_t)user & 0xFFF);
    user[199] = 0x42; // on the second page
    EXPECT_EQ(0x42, sim::phys(phys + 199)[0]);
    EXPECT_EQ(0, audio_memunmap(user, 200));
    EXPECT_EQ(nullptr, audio_memmap(phys, 0));
}

TEST_F(AudioCommTest, DumpsStopAtTheirLimit)
{
    std::string dir = bd_path("/tmp");
    mkdir(dir.c_str(), 0755);
    const char *paths[AUDIO_DUMP_BUTT] = {"/tmp/Sin.pcm", "/tmp/Sou.pcm", nullptr};
    AUDIO_DUMP_S dump = {};
    ASSERT_TRUE(audio_dump_open(&dump, paths));
    EXPECT_EQ(DU_TRUE, dump.bFileOpen);
    char frame[600] = {};
    for (int i = 0; i < 3; i++)
        audio_dump_write(&dump, AUDIO_DUMP_SIN, frame, sizeof frame, 1024);
    audio_dump_write(&dump, AUDIO_DUMP_SOU, frame, 100, 1024);
    audio_dump_write(&dump, AUDIO_DUMP_RIN, frame, 100, 1024); // not open
    EXPECT_EQ(1200u, dump.au32Len[AUDIO_DUMP_SIN]) << "written while below the limit";
    EXPECT_TRUE(audio_dump_full(&dump, 1024));
    audio_dump_close(&dump);
    EXPECT_EQ(DU_FALSE, dump.bFileOpen);
    EXPECT_EQ(1200u, testsupport::read_file(bd_path("/tmp/Sin.pcm")).size());
    EXPECT_EQ(100u, testsupport::read_file(bd_path("/tmp/Sou.pcm")).size());

    // A limit of 0 writes nothing and is full at once.
    ASSERT_TRUE(audio_dump_open(&dump, paths));
    audio_dump_write(&dump, AUDIO_DUMP_SIN, frame, sizeof frame, 0);
    EXPECT_TRUE(audio_dump_full(&dump, 0));
    audio_dump_close(&dump);

    const char *bad[AUDIO_DUMP_BUTT] = {"/tmp/Sin.pcm", "/no/such/dir/Sou.pcm", nullptr};
    EXPECT_FALSE(audio_dump_open(&dump, bad));
    EXPECT_EQ(nullptr, dump.apFile[AUDIO_DUMP_SIN]) << "the ones that opened are closed again";
}

} // namespace

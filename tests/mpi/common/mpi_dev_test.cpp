// The units' lazily opened descriptors: one open per slot, a refused bind or
// an unusable descriptor leaves nothing open, and the locked form opens a
// slot once however many threads ask at the same time.
#include "mpi/common/mpi_dev.h"
#include "mpi/video/vda/vda_requests.h"
#include "tests/support/board_fixture.h"

#include <fcntl.h>

#include <thread>
#include <vector>

namespace {

const mpi_dev_node kVda = {"/dev/vda", O_RDWR, VDA_BIND_FD, 0};

class MpiDevTest : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
    }
    void TearDown() override
    {
        for (s32 fd : opened_)
            if (fd >= 0)
                bd_close(fd);
    }
    size_t opens(const char *path) { return testsupport::events(std::string("trace open ") + path).size(); }
    // Open descriptors the test closes at its end.
    std::vector<s32> opened_;
};

TEST_F(MpiDevTest, OpensAndBindsOnceThenKeepsTheDescriptor)
{
    s32 slot = -1;
    mpi_dev_result r = mpi_dev_open(&slot, kVda, 5);
    opened_.push_back(slot);
    ASSERT_TRUE(r.ok());
    EXPECT_GE(slot, 0);
    EXPECT_EQ(slot, r.fd);
    EXPECT_EQ(1u, testsupport::events("trace ioctl /dev/vda 0x40044d0d").size());

    // Bound to channel 5: a second bind of the same descriptor is refused.
    u32 again = 6;
    EXPECT_NE(0, bd_ioctl(slot, VDA_BIND_FD, &again));

    s32 kept = slot;
    EXPECT_TRUE(mpi_dev_open(&slot, kVda, 7).ok());
    EXPECT_EQ(kept, slot);
    EXPECT_EQ(1u, opens("/dev/vda"));
}

TEST_F(MpiDevTest, FailedStepsLeaveTheSlotEmptyAndNothingOpen)
{
    struct Case {
        const char *name;
        mpi_dev_node node;
        u32 bind;
        mpi_dev_step step;
        int err;
    } cases[] = {
        {"no such device", {"/dev/none", O_RDWR, 0, 0}, 0, MPI_DEV_OPEN_FAILED, ENOENT},
        {"no such node to look at", {"/dev/none", O_RDWR, 0, 0, true}, 0, MPI_DEV_NO_NODE, ENOENT},
        {"not a device", {"/", O_RDONLY, 0, 0, true}, 0, MPI_DEV_NOT_DEVICE, 0},
        {"bind refused", kVda, (u32)VDA_MAX_CHN_NUM, MPI_DEV_BIND_FAILED, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 slot = -7; // whatever a closed slot held before
        size_t closes = testsupport::events("trace close").size();
        errno = 0;
        mpi_dev_result r = mpi_dev_open(&slot, c.node, c.bind);
        EXPECT_EQ(c.step, r.step);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(-1, slot);
        EXPECT_EQ(c.err, r.err);
        if (c.err) {
            EXPECT_EQ(c.err, errno); // for the unit's perror
        }
        if (c.step == MPI_DEV_BIND_FAILED) {
            EXPECT_EQ(closes + 1, testsupport::events("trace close").size());
            EXPECT_EQ(-1, fcntl(r.fd, F_GETFD)); // the refused descriptor went
        }
    }
}

// Some units count only descriptors above 0 as open: a slot holding 0 is
// opened afresh, where for the others 0 is a descriptor like any other.
TEST_F(MpiDevTest, FirstDescriptorDecidesWhatASlotHolds)
{
    s32 slot = 0;
    EXPECT_TRUE(mpi_dev_open(&slot, kVda, 1).ok());
    EXPECT_EQ(0, slot);
    EXPECT_EQ(0u, opens("/dev/vda"));

    const mpi_dev_node above_zero = {"/dev/vda", O_RDWR, VDA_BIND_FD, 1};
    EXPECT_TRUE(mpi_dev_open(&slot, above_zero, 1).ok());
    opened_.push_back(slot);
    EXPECT_GE(slot, 1);
    EXPECT_EQ(1u, opens("/dev/vda"));
}

TEST_F(MpiDevTest, LockedOpenGivesRacingThreadsOneDescriptor)
{
    const mpi_dev_node sys = {"/dev/sys", O_RDWR, 0, 0};
    for (int round = 0; round < 20; round++) {
        SCOPED_TRACE(round);
        std::mutex lock;
        s32 slot = -1;
        size_t before = opens("/dev/sys");
        std::vector<std::thread> threads;
        std::vector<s32> seen(8, -2);
        for (size_t i = 0; i < seen.size(); i++)
            threads.emplace_back([&, i] { seen[i] = mpi_dev_open_locked(lock, &slot, sys).fd; });
        for (std::thread &t : threads)
            t.join();
        opened_.push_back(slot);
        EXPECT_EQ(before + 1, opens("/dev/sys"));
        for (s32 fd : seen)
            EXPECT_EQ(slot, fd);
    }
}

TEST_F(MpiDevTest, LockedOpenTakesAPthreadMutexToo)
{
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    s32 slot = -1;
    ASSERT_TRUE(mpi_dev_open_locked(&lock, &slot, kVda, 2).ok());
    opened_.push_back(slot);
    // The mutex is free again.
    EXPECT_EQ(0, pthread_mutex_trylock(&lock));
    pthread_mutex_unlock(&lock);
}

} // namespace

// The drivers' request tables: a request no table has is refused the way each
// driver always refused it, and the shared timed wait ends as its time-out says.
#include "board/sim/sim.h"
#include "isp/isp_requests.h"
#include "mpi/video/vda/mpi_vda.h"
#include "mpi/video/vda/vda_requests.h"
#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/venc/venc_requests.h"
#include "mpi/video/vi/vi_requests.h"
#include "mpi/video/vo/vo_requests.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "mpi/video/vpss/vpss_requests.h"
#include "tests/support/board_fixture.h"

#include <cerrno>
#include <fcntl.h>
#include <thread>

namespace {

// No driver knows it: a letter and number nobody uses, with a record size.
constexpr unsigned long kUnknown = MPI_IOC(MPI_IOC_RW, 4, 'z', 0xEE);

class DispatchTest : public BoardTest {};

TEST_F(DispatchTest, EveryDriverRefusesARequestItsTablesLack)
{
    struct Case {
        const char *path;
        unsigned long bind; // 0: the descriptor needs no bind
        s32 answer;         // -1 means -1 with EINVAL
    } cases[] = {
        {"/dev/ai", 0, -1},
        {"/dev/ao", 0, -1},
        {"/dev/aenc", 0, -1},
        {"/dev/adec", 0, -1},
        {"/dev/vi", VI_BIND_FD, -1},
        {"/dev/vo", VO_BIND_FD, -1},
        {"/dev/vb", 0, -1},
        {"/dev/sys", 0, -1},
        {"/dev/mmz_userdev", 0, -1},
        {"/dev/logmpp", 0, -1},
        {"/dev/rgn", 0, -1},
        {"/dev/isp_dev", 0, -1},
        {"/dev/isp_dev", ISP_DEV_SET_FD, -1},
        {"/dev/kxgpiodev", 0, -1},
        {"/dev/i2c-0", 0, -1},
        {"/dev/piris", 0, -1},
        {"/dev/du_rtc", 0, -1},
        {"/dev/pwm", 0, -1},
        {"/dev/du_mipi", 0, -1},
        {"/dev/tlv320aic31", 0, -1},
        // A channel that does not exist yet answers that first.
        {"/dev/venc", VENC_BIND_CHN_CTRL, DU_ERR_VENC_UNEXIST},
        {"/dev/vda", VDA_BIND_FD, ERR_VDA_UNEXIST},
        {"/dev/vpss", VPSS_BIND_FD, ERR_VPSS_UNEXIST},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.bind ? " bound" : ""));
        int fd = bd_open(c.path, O_RDWR);
        ASSERT_GE(fd, 0);
        u32 zero = 0;
        if (c.bind) {
            ASSERT_EQ(0, bd_ioctl(fd, c.bind, &zero));
        }
        u8 record[256] = {}; // a readable record, for the drivers that read it first
        errno = 0;
        EXPECT_EQ(c.answer, bd_ioctl(fd, kUnknown, record));
        if (c.answer == -1) {
            EXPECT_EQ(EINVAL, errno);
        }
        bd_close(fd);
    }
}

TEST(WaitMs, EndsAsTheTimeOutSays)
{
    std::mutex m;
    std::condition_variable cv;
    bool ready = false;
    std::unique_lock<std::mutex> lock(m);

    // 0 only looks; a short time-out runs out.
    EXPECT_FALSE(sim::wait_ms(cv, lock, 0, [&] { return ready; }));
    EXPECT_FALSE(sim::wait_ms(cv, lock, 5, [&] { return ready; }));

    // A negative time-out waits for as long as it takes.
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::lock_guard<std::mutex> g(m);
        ready = true;
        cv.notify_all();
    });
    EXPECT_TRUE(sim::wait_ms(cv, lock, -1, [&] { return ready; }));
    EXPECT_TRUE(lock.owns_lock());
    lock.unlock();
    t.join();
}

} // namespace

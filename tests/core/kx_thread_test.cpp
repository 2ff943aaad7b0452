#include "core/kx_thread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>

namespace {

TEST(KxThread, ATimedWaitPastItsDeadlineTimesOutAtOnce)
{
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t c = PTHREAD_COND_INITIALIZER;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);

    struct Case {
        const char *name;
        timespec deadline;
    } cases[] = {
        {"a second ago", {now.tv_sec - 1, now.tv_nsec}},
        {"the epoch", {0, 0}},
    };
    for (auto &c_ : cases) {
        SCOPED_TRACE(c_.name);
        ASSERT_EQ(KX_THMutexLock_API(&m), 0);
        EXPECT_EQ(KX_THCondTimedWait_API(&c, &m, &c_.deadline), ETIMEDOUT);
        // The mutex is held again after the time-out, as after any wait.
        EXPECT_EQ(pthread_mutex_trylock(&m), EBUSY);
        ASSERT_EQ(KX_THMutexUnlock_API(&m), 0);
    }
    pthread_cond_destroy(&c);
    pthread_mutex_destroy(&m);
}

// Shared with the detached thread, which may still be unwinding after the
// test has returned: static storage outlives it.
pthread_mutex_t g_m = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_c = PTHREAD_COND_INITIALIZER;
int g_step = 0;        // 1 detached, 2 may go on, 3 ran after the join attempt
int g_detach_ret = -1;

void set_step(int step)
{
    KX_THMutexLock_API(&g_m);
    g_step = step;
    KX_THCondBroadcast_API(&g_c);
    KX_THMutexUnlock_API(&g_m);
}

void await_step(int step)
{
    KX_THMutexLock_API(&g_m);
    while (g_step < step)
        KX_THCondWait_API(&g_c, &g_m);
    KX_THMutexUnlock_API(&g_m);
}

void *detaching_thread(void *)
{
    g_detach_ret = KX_THExit_API(nullptr);
    set_step(1);
    await_step(2);
    set_step(3);
    return nullptr;
}

TEST(KxThread, ExitDetachesTheThreadWithoutEndingIt)
{
    g_step = 0;
    g_detach_ret = -1;
    pthread_t t;
    ASSERT_EQ(KX_THCreate_API(&t, nullptr, detaching_thread, nullptr), 0);
    await_step(1);
    EXPECT_EQ(g_detach_ret, 0);
    // Still running (it waits for step 2), yet no longer joinable.
    EXPECT_EQ(pthread_join(t, nullptr), EINVAL);
    set_step(2);
    await_step(3);
}

void *returns_its_argument(void *arg) { return arg; }

TEST(KxThread, CreateRunsTheRoutineOnAJoinableThread)
{
    int token = 0;
    pthread_t t;
    ASSERT_EQ(KX_THCreate_API(&t, nullptr, returns_its_argument, &token), 0);
    void *ret = nullptr;
    EXPECT_EQ(pthread_join(t, &ret), 0);
    EXPECT_EQ(ret, &token);
}

} // namespace

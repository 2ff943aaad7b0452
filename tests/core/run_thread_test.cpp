#include "core/run_thread.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<uint32_t> g_run{0};
std::atomic<int> g_ends{0};

void *body(void *)
{
    while (g_run)
        usleep(1000);
    g_ends++;
    return nullptr;
}

// A start while the thread is still to be joined starts nothing; stops from
// several threads at once join it once; after the stop it starts again.
TEST(RunThread, StartsOnceAndManyStopsJoinOnce)
{
    RunThread t;
    for (int round = 0; round < 3; round++) {
        SCOPED_TRACE(round);
        ASSERT_EQ(0, run_thread_start(t, g_run, body));
        ASSERT_EQ(0, run_thread_start(t, g_run, body)); // the running one stays
        std::vector<std::thread> stoppers;
        for (int i = 0; i < 4; i++)
            stoppers.emplace_back([&] { EXPECT_EQ(0, run_thread_stop(t, g_run)); });
        for (auto &s : stoppers)
            s.join();
        EXPECT_FALSE(t.joinable);
        EXPECT_EQ(round + 1, g_ends.load());
    }
}

} // namespace

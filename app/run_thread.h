// A background thread of the application: started with its run flag set,
// stopped by clearing the flag and joining it. The thread may end by itself
// before the stop; it is joined all the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "recorder/kx_thread.h"

struct RunThread {
    pthread_t id{};
    bool joinable = false;
};

// Sets `run` and creates the thread, unless it is still to be joined (then
// 0 and nothing is done); the creation result, with `run` cleared on failure.
inline int run_thread_start(RunThread &t, std::atomic<uint32_t> &run, void *(*body)(void *))
{
    if (t.joinable)
        return 0;
    run = 1;
    int rc = KX_THCreate_API(&t.id, nullptr, body, nullptr);
    if (rc != 0) {
        run = 0;
        return rc;
    }
    t.joinable = true;
    return 0;
}

// Clears `run` and joins the thread when there is one; 0.
inline int run_thread_stop(RunThread &t, std::atomic<uint32_t> &run)
{
    run = 0;
    if (t.joinable) {
        pthread_join(t.id, nullptr);
        t.joinable = false;
    }
    return 0;
}

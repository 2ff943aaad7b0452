// A background thread of the camera: started with its run flag set,
// stopped by clearing the flag and joining it. The thread may end by itself
// before the stop; it is joined all the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <pthread.h>

#include "core/kx_thread.h"

struct RunThread {
    pthread_t id{};
    std::atomic<bool> joinable{false};
    // Start and stop may come from two threads at once (a signal's stop and
    // the handler's power-off): a thread is joined once.
    std::mutex lock;
};

// Sets `run` and creates the thread on `arg`, unless it is still to be
// joined (then 0 and nothing is done); the creation result, with `run`
// cleared on failure.
inline int run_thread_start(RunThread &t, std::atomic<uint32_t> &run, void *(*body)(void *), void *arg = nullptr)
{
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.joinable)
        return 0;
    run = 1;
    int rc = KX_THCreate_API(&t.id, nullptr, body, arg);
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
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.joinable) {
        pthread_join(t.id, nullptr);
        t.joinable = false;
    }
    return 0;
}

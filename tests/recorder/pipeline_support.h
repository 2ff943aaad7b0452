// Test support for the recording engine's pipeline: a stand-in for the
// application the engine asks (the date stamp picks its channel by the mode),
// the order of events in events.log, and a bounded wait.
#pragma once

#include "recorder/dv_hooks.h"
#include "tests/support/board_fixture.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace pipelinetest {

// The application as the engine asks it: a record mode is current after
// enter(), and the TV output runs while tv(true) holds. The engine's other
// questions get the answers of a camera without an application.
class AppStandIn {
public:
    AppStandIn()
    {
        record_mode_ = false;
        tv_out_ = false;
        DvAppHooks hooks = {};
        hooks.record_mode = [] { return record_mode_.load(); };
        hooks.tv_out_on = [] { return tv_out_.load(); };
        dv_register_app_hooks(hooks);
    }
    ~AppStandIn() { dv_register_app_hooks(DvAppHooks{}); }
    void enter() { record_mode_ = true; }
    void tv(bool on) { tv_out_ = on; }

private:
    static inline std::atomic<bool> record_mode_{false};
    static inline std::atomic<bool> tv_out_{false};
};

// Index in events.log of the first line with `what` after line `after`; a
// failure (and the log's length) when there is none.
inline long line_of(const std::string &what, long after = -1)
{
    std::vector<std::string> all = testsupport::events();
    for (long i = after + 1; i < (long)all.size(); i++)
        if (all[i].find(what) != std::string::npos)
            return i;
    ADD_FAILURE() << "no event '" << what << "' after line " << after;
    return (long)all.size();
}

// Each event after the one before it, starting after line `after`; the line
// of the last.
inline long in_order(const std::vector<std::string> &whats, long after = -1)
{
    for (const std::string &w : whats) {
        SCOPED_TRACE(w);
        after = line_of(w, after);
    }
    return after;
}

// The record modes' 1080p pipeline (processing channels 1 and 3, encoder
// channel 1 of payload `type`) in events.log after the ISP's start, and
// after the stop of the date stamp.
inline std::vector<std::string> record_pipeline_up(unsigned type)
{
    return {
        "vi dev attr 1920x1096 at 0,0",
        "vi dev enable",
        "vi chn 0 attr 1920x1080",
        "vi chn 0 enable",
        "vpss grp 0 create 1920x1080",
        "vpss grp 0 start",
        "vpss grp 0 chn 1 enable",
        "vpss grp 0 chn 3 enable",
        "sys bind 16/0/0 -> 7/0/0",
        "venc chn 1 create type " + std::to_string(type) + " 1920x1080",
        "sys bind 7/0/1 -> 8/0/1",
    };
}
inline std::vector<std::string> record_pipeline_down()
{
    return {
        "sys unbind 7/0/1 -> 8/0/1",
        "venc chn 1 destroy",
        "sys unbind 16/0/0 -> 7/0/0",
        "vpss grp 0 stop",
        "vpss grp 0 chn 1 disable",
        "vpss grp 0 chn 3 disable",
        "vpss grp 0 destroy",
        "vi chn 0 disable",
        "vi dev disable",
    };
}

// Waits (up to a generous bound) until `done` holds; false when it never did.
inline bool wait_for(const std::function<bool()> &done, int seconds = 10)
{
    return testsupport::wait_until(done, seconds);
}

} // namespace pipelinetest

// Runs a table of calls against a unit's argument rules: each call returns
// its code, prints what its rule says (or nothing), and reaches the device no
// further than the rule lets it: a refused call not at all, one that passes
// with the requests it takes to do its work.
#pragma once

#include "tests/support/board_fixture.h"

#include <functional>
#include <string>
#include <vector>

namespace argrules {

struct Case {
    std::string name;
    std::function<s32()> call;
    s32 code;
    std::string message; // what the call prints (see Watch); "" when it prints nothing
};

// How a table's calls are watched.
struct Watch {
    // What the device has seen so far (requests, opens), from events.log.
    std::function<size_t()> seen;
    // What a call that returns 0 adds to it; a refused call adds nothing.
    size_t passes = 0;
    // With `whole`, what the call prints, as `shown` makes it of standard
    // error, must be the case's message; without, the message must be a
    // piece of standard error.
    bool whole = false;
    std::function<std::string(const std::string &)> shown;
    // Where the unit prints its messages.
    std::function<std::string(const std::function<void()> &)> capture = [](const std::function<void()> &fn) {
        return testsupport::capture_stderr(fn);
    };
};

inline void run(const std::vector<Case> &cases, const Watch &w)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = w.seen();
        s32 ret = 7; // neither success nor any code a rule returns
        const std::string printed = w.capture([&] { ret = c.call(); });
        EXPECT_EQ((u32)c.code, (u32)ret);
        if (c.message.empty()) {
            EXPECT_EQ("", printed);
        } else if (w.whole) {
            EXPECT_EQ(c.message, w.shown ? w.shown(printed) : printed);
        } else {
            EXPECT_NE(std::string::npos, printed.find(c.message)) << printed;
        }
        EXPECT_EQ(before + (c.code == 0 ? w.passes : 0), w.seen());
    }
}

// Events.log lines of a traced board for `what` ("open", "ioctl") on a device.
inline size_t device_events(const char *dev, const std::string &what)
{
    return testsupport::events(std::string("trace ") + what + " " + dev).size();
}

// A device's requests and opens (unless `opens_allowed`), less the requests
// that hold `allowed_request` (e.g. the bind of a lazily opened descriptor),
// which a refused call may make.
inline Watch device(const char *dev, bool opens_allowed = false, const std::string &allowed_request = "")
{
    Watch w;
    w.seen = [dev, opens_allowed, allowed_request] {
        size_t n = device_events(dev, "ioctl") + (opens_allowed ? 0 : device_events(dev, "open"));
        return allowed_request.empty() ? n : n - testsupport::events(allowed_request).size();
    };
    return w;
}

} // namespace argrules

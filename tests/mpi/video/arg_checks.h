// Runs a table of calls whose arguments are refused: each returns its code,
// prints its message and reaches no device (no open, no request beyond those
// `allowed` names, e.g. the bind of a lazily opened descriptor).
#pragma once

#include "tests/support/board_fixture.h"

#include <functional>
#include <string>
#include <vector>

namespace argtest {

struct Case {
    std::string name;
    std::function<s32()> call;
    s32 code;
    std::string message; // a piece of what goes to standard error ("" for none)
};

inline size_t device_events(const char *dev, const std::string &what)
{
    return testsupport::events(std::string("trace ") + what + " " + dev).size();
}

inline void run(const std::vector<Case> &cases, const char *dev, bool opens_allowed = false,
                const std::string &allowed_request = "")
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t opens = device_events(dev, "open"), requests = device_events(dev, "ioctl");
        size_t allowed = allowed_request.empty() ? 0 : testsupport::events(allowed_request).size();
        s32 ret = 0;
        std::string err = testsupport::capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ((u32)c.code, (u32)ret);
        if (c.message.empty()) {
            EXPECT_EQ("", err);
        } else {
            EXPECT_NE(std::string::npos, err.find(c.message)) << err;
        }
        if (!opens_allowed) {
            EXPECT_EQ(opens, device_events(dev, "open"));
        }
        size_t new_allowed = allowed_request.empty() ? 0 : testsupport::events(allowed_request).size() - allowed;
        EXPECT_EQ(requests + new_allowed, device_events(dev, "ioctl"));
    }
}

} // namespace argtest

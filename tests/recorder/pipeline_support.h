// Test support for the recording engine's pipeline: the record mode 1
// application as the current one (the date stamp picks its channel by it),
// and the order of events in events.log.
#pragma once

#include "app/app_manager.h"
#include "tests/support/board_fixture.h"

#include <string>
#include <vector>

namespace pipelinetest {

// Record mode 1 registered; enter() makes it the current application.
class RecordModeApps {
public:
    RecordModeApps()
    {
        appmgt_init(table_, 32);
        main_ = AppEntry{0, 0, 0, 0, 0, 7, 0, nullptr, nullptr, nullptr};
        rec1_ = AppEntry{0, 0, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr};
        APP_MAIN = appmgt_register(&main_);
        APP_RECMODE1 = appmgt_register(&rec1_);
    }
    ~RecordModeApps() { APP_MAIN = APP_RECMODE1 = -1; }
    void enter() { EXPECT_EQ(0, appmgt_switch_to_app(APP_RECMODE1)); }

private:
    AppEntry *table_[32] = {};
    AppEntry main_, rec1_;
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

} // namespace pipelinetest

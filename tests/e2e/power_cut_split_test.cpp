// Battery pulls around the split of one-minute files (as the first file
// closes, and as the next one opens), then in the first second, mid-file
// and during the stop of the same cameras' later recordings: 1080p60 and
// 1080p30 side by side, each cut followed by a boot on the same root. A cut
// before the close leaves the first file to be finished from its index, one
// after it leaves that file whole and the next one cut short.
#include "tests/e2e/power_cut_support.h"

using namespace e2e;

namespace {

constexpr int kOneMinuteFiles = 83; // MovieCycletime

TEST(PowerCut, AroundASplitAndAfterIt)
{
    const unsigned seed = power_cut_seed();
    SCOPED_TRACE("POWER_CUT_SEED=" + std::to_string(seed));
    CutRun fast("split_1080p60", cut_prefs(0, 1, kOneMinuteFiles), seed + 2);
    CutRun slow("split_1080p30", cut_prefs(0, 2, kOneMinuteFiles), seed + 3);
    const std::vector<Cut> fast_cuts = {Cut::split_open, Cut::first_second, Cut::stop, Cut::mid_file};
    const std::vector<Cut> slow_cuts = {Cut::split_close, Cut::mid_file, Cut::stop, Cut::first_second};
    EXPECT_EQ(8u, run_side_by_side({{&fast, fast_cuts}, {&slow, slow_cuts}}));
}

} // namespace

// Battery pulls in the first second, in the middle of a file and during the
// stop of recordings at 1080p60 (the defaults) and 1080p30, two cameras side
// by side, each cut followed by a boot on the same root: every movie plays
// to its end, no backup index is left, and a cut recording keeps all but its
// last seconds. The 1080p60 card drops what it had not synced, the 1080p30
// card also tears the last write it was given. The cuts at a split are in
// power_cut_split_test.
#include "tests/e2e/power_cut_support.h"

using namespace e2e;

namespace {

TEST(PowerCut, AtRandomMomentsNothingButTheLastSecondsIsLost)
{
    const unsigned seed = power_cut_seed();
    SCOPED_TRACE("POWER_CUT_SEED=" + std::to_string(seed));
    CutRun fast("cut_1080p60", cut_prefs(0, 1, 0), seed);
    CutRun slow("cut_1080p30", cut_prefs(0, 2, 0), seed + 1, "power_cut = tear\n");
    const std::vector<Cut> fast_cuts = {Cut::first_second, Cut::mid_file, Cut::stop, Cut::first_second,
                                        Cut::mid_file,     Cut::stop,     Cut::first_second, Cut::mid_file};
    const std::vector<Cut> slow_cuts = {Cut::stop, Cut::mid_file, Cut::first_second, Cut::stop};
    EXPECT_EQ(12u, run_side_by_side({{&fast, fast_cuts}, {&slow, slow_cuts}}));
}

} // namespace

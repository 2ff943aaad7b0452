// The step table: a failing step undoes the steps done before it, the latest
// first, and not itself; the tear-down undoes every step the latest first,
// past an undo that fails, and reports the first failure; a table taken in
// parts undoes the earlier parts too; a step taken for each of several items
// undoes the items done.
#include "mpi/common/mpi_steps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/board_fixture.h"

using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

// What the steps work on: the log they write, the step (or item) that
// refuses to run and the undos that refuse (a bit each), with statuses of
// their own; the item a step taken for each works on.
struct Trail {
    std::vector<std::string> log;
    int fail = -1;
    unsigned undo_fails = 0;
    u32 item = 0;
};

template <int N> s32 run(Trail *t)
{
    t->log.push_back("run " + std::to_string(N));
    return N == t->fail ? -100 - N : 0;
}
template <int N> void undo(Trail *t) { t->log.push_back("undo " + std::to_string(N)); }
template <int N> s32 undo_status(Trail *t)
{
    undo<N>(t);
    return t->undo_fails & (1u << N) ? -200 - N : 0;
}

// Step 1 has nothing to undo; step 2 says nothing when it fails.
const mpi_step<Trail> kSteps[] = {
    {"step 0 failed\n", run<0>, undo<0>},
    {"step 1 failed\n", run<1>, nullptr},
    {nullptr, run<2>, undo<2>},
    {"step 3 failed\n", run<3>, undo<3>},
};

using Log = std::vector<std::string>;

TEST(MpiSteps, AFailingStepUndoesTheStepsBeforeItLatestFirstAndSaysWhy)
{
    struct Case {
        const char *name;
        int fail;
        s32 ret;
        Log log;
        const char *said;
        size_t failed; // 99: left as it was
    } cases[] = {
        {"all succeed", -1, 0, {"run 0", "run 1", "run 2", "run 3"}, "", 99},
        {"the first fails", 0, -100, {"run 0"}, "step 0 failed\n", 0},
        {"the second fails", 1, -101, {"run 0", "run 1", "undo 0"}, "step 1 failed\n", 1},
        {"a step without undo is passed over", 2, -102, {"run 0", "run 1", "run 2", "undo 0"}, "", 2},
        {"the last fails", 3, -103, {"run 0", "run 1", "run 2", "run 3", "undo 2", "undo 0"}, "step 3 failed\n", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Trail t;
        t.fail = c.fail;
        size_t failed = 99;
        s32 ret = 0;
        std::string said = capture_stderr([&] { ret = mpi_steps_run(kSteps, &t, mpi_step_say_stderr, &failed); });
        EXPECT_EQ(c.ret, ret);
        EXPECT_EQ(c.log, t.log);
        EXPECT_EQ(c.said, said);
        EXPECT_EQ(c.failed, failed);
    }
}

// The name is said before the undo, so that a message of an undo follows it.
TEST(MpiSteps, TheNameIsSaidBeforeTheUndoAndOnlyWhenAsked)
{
    static Log *log;
    Trail t;
    t.fail = 3;
    log = &t.log;
    mpi_step_say into_log = [](const char *name) { log->push_back(std::string("said ") + name); };
    EXPECT_EQ(-103, mpi_steps_run(kSteps, &t, into_log));
    EXPECT_EQ((Log{"run 0", "run 1", "run 2", "run 3", "said step 3 failed\n", "undo 2", "undo 0"}), t.log);

    // Without a sayer the table is silent; the line sayer ends the name with a newline.
    Trail quiet;
    quiet.fail = 1;
    EXPECT_EQ("", capture_stdout([&] { EXPECT_EQ(-101, mpi_steps_run(kSteps, &quiet)); }));
    Trail line;
    line.fail = 1;
    EXPECT_EQ("step 1 failed\n\n", capture_stdout([&] { mpi_steps_run(kSteps, &line, mpi_step_say_line); }));
}

// The same steps with undos that report: a tear-down takes down all it can.
const mpi_step<Trail, s32> kReporting[] = {
    {nullptr, run<0>, undo_status<0>},
    {nullptr, run<1>, nullptr},
    {nullptr, run<2>, undo_status<2>},
    {nullptr, run<3>, undo_status<3>},
};

TEST(MpiSteps, TheTearDownUndoesEveryStepLatestFirstAndReportsTheFirstFailure)
{
    const Log all = {"undo 3", "undo 2", "undo 0"};
    struct Case {
        const char *name;
        const mpi_step<Trail, s32> *steps; // null: kSteps, whose undos report nothing
        size_t done;
        unsigned undo_fails;
        s32 ret;
        Log log;
    } cases[] = {
        {"undos without a status", nullptr, 4, 0, 0, all},
        {"part of a table", nullptr, 2, 0, 0, {"undo 0"}},
        {"every undo succeeds", kReporting, 4, 0, 0, all},
        {"the first undone fails, the rest still go", kReporting, 4, 1u << 3, -203, all},
        {"two fail: the earlier to fail counts", kReporting, 4, 1u << 0 | 1u << 2, -202, all},
        {"the last undone fails", kReporting, 4, 1u << 0, -200, all},
        {"an undo not reached does not count", kReporting, 3, 1u << 3, 0, {"undo 2", "undo 0"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Trail t;
        t.undo_fails = c.undo_fails;
        EXPECT_EQ(c.ret, c.steps ? mpi_steps_undo(c.steps, c.done, &t) : mpi_steps_undo(kSteps, c.done, &t));
        EXPECT_EQ(c.log, t.log);
    }
    // The whole table by its size.
    Trail t;
    t.undo_fails = 1u << 2;
    EXPECT_EQ(-202, mpi_steps_undo(kReporting, &t));
    EXPECT_EQ(all, t.log);
    Trail quiet;
    EXPECT_EQ(0, mpi_steps_undo(kSteps, &quiet));
    EXPECT_EQ(all, quiet.log);
}

// One step for each of several items (channels): a failing item undoes the
// items before it; their tear-down undoes every item, in their order, past
// a failure.
s32 run_item(Trail *t)
{
    t->log.push_back("run " + std::to_string(t->item));
    return (int)t->item == t->fail ? -300 - (int)t->item : 0;
}
s32 undo_item(Trail *t)
{
    t->log.push_back("undo " + std::to_string(t->item));
    return t->undo_fails & (1u << t->item) ? -400 - (int)t->item : 0;
}
const mpi_step<Trail, s32> kEachItem = {"an item failed\n", run_item, undo_item};

TEST(MpiSteps, AStepForEachItemUndoesTheItemsDone)
{
    struct Case {
        const char *name;
        bool teardown; // else run
        u32 count;
        int fail;
        unsigned undo_fails;
        s32 ret;
        Log log;
        const char *said;
    } cases[] = {
        {"every item runs", false, 3, -1, 0, 0, {"run 0", "run 1", "run 2"}, ""},
        {"no items", false, 0, 0, 0, 0, {}, ""},
        {"the first fails", false, 3, 0, 0, -300, {"run 0"}, "an item failed\n"},
        {"the last fails", false, 3, 2, 0, -302, {"run 0", "run 1", "run 2", "undo 0", "undo 1"}, "an item failed\n"},
        {"the tear-down undoes every item", true, 3, -1, 0, 0, {"undo 0", "undo 1", "undo 2"}, ""},
        {"and goes past failures", true, 3, -1, 1u << 1 | 1u << 2, -401, {"undo 0", "undo 1", "undo 2"}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Trail t;
        t.fail = c.fail;
        t.undo_fails = c.undo_fails;
        s32 ret = 0;
        std::string said = capture_stderr([&] {
            ret = c.teardown ? mpi_steps_undo_each(kEachItem, c.count, &t, &Trail::item)
                             : mpi_steps_run_each(kEachItem, c.count, &t, &Trail::item, mpi_step_say_stderr);
        });
        EXPECT_EQ(c.ret, ret);
        EXPECT_EQ(c.log, t.log);
        EXPECT_EQ(c.said, said);
    }
}

// A set-up taken a part at a time: a failing part undoes what the earlier
// parts did, which it did not run itself.
TEST(MpiSteps, APartOfATableUndoesTheEarlierPartsOnFailure)
{
    struct Case {
        const char *name;
        size_t first, last;
        int fail;
        s32 ret;
        Log log;
    } cases[] = {
        {"a later part runs alone", 2, 4, -1, 0, {"run 2", "run 3"}},
        {"its failure undoes the parts before", 3, 4, 3, -103, {"run 3", "undo 2", "undo 0"}},
        {"steps after the part are not run", 0, 2, 3, 0, {"run 0", "run 1"}},
        {"an empty part does nothing", 2, 2, 2, 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Trail t;
        t.fail = c.fail;
        EXPECT_EQ(c.ret, mpi_steps_run_range(kSteps, c.first, c.last, &t));
        EXPECT_EQ(c.log, t.log);
    }
}

// Steps that need nothing take calls without arguments.
int g_calls;
s32 count_up() { return ++g_calls == 2 ? -7 : 0; }
void count_down() { g_calls -= 10; }

TEST(MpiSteps, CallsWithoutArgumentsServeAsSteps)
{
    static const mpi_step<void> steps[] = {
        {"first", mpi_step_call<count_up>, mpi_undo_call<count_down>},
        {"second", mpi_step_call<count_up>, mpi_undo_call<count_down>},
    };
    g_calls = 0;
    EXPECT_EQ(-7, mpi_steps_run(steps, nullptr));
    EXPECT_EQ(2 - 10, g_calls); // the first undone, the second not
}

} // namespace

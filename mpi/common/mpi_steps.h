// Work of several steps that must be undone on failure, written as a table:
// each step beside what undoes it, run in order. The first failure undoes
// the steps done before it, the latest first, and the table run backwards is
// the tear-down of what the steps made, going on past an undo that fails. A
// step alike for each of a unit's channels is one step taken for each. Used
// wherever a set-up has more than one thing to take back (channel creation,
// unit starts, pipelines).
#pragma once

#include <cstddef>
#include <cstdio>

#include "mpi/common/mpi_common.h"

// One step. `run` returns 0 or its status; a step that fails leaves nothing
// of itself behind, so its own undo is not run. `undo` null: nothing to
// undo; it returns nothing, or (`Undo` s32) its status, for a tear-down
// that must report what it could not take down. `name` is what a failure of
// the step says, when the caller has the table say it (null: nothing, the
// step said why itself). `Ctx` is what the steps work on, handed to each;
// `void` for steps that need nothing.
template <typename Ctx, typename Undo = void>
struct mpi_step {
    using context = Ctx;
    const char *name;
    s32 (*run)(Ctx *ctx);
    Undo (*undo)(Ctx *ctx);
};

// Says a failing step's name, before the steps done are undone.
using mpi_step_say = void (*)(const char *name);
inline void mpi_step_say_stderr(const char *name) { fputs(name, stderr); }
inline void mpi_step_say_line(const char *name) { puts(name); }

// An undo's status: 0 where it returns none or there is none.
template <typename Ctx>
s32 mpi_step_undone(void (*undo)(Ctx *), Ctx *ctx)
{
    if (undo)
        undo(ctx);
    return 0;
}
template <typename Ctx>
s32 mpi_step_undone(s32 (*undo)(Ctx *), Ctx *ctx)
{
    return undo ? undo(ctx) : 0;
}

// A tear-down goes on past a failing undo (what it can take down must not
// stay up for the one that failed) and reports the first failure.
inline void mpi_step_keep_first(s32 *first, s32 ret)
{
    if (*first == 0)
        *first = ret;
}

// Undoes the first `done` steps of a table, the latest first, each whatever
// the undos before it returned; the first failing undo's status, or 0.
template <typename Ctx, typename Undo>
s32 mpi_steps_undo(const mpi_step<Ctx, Undo> *steps, size_t done, typename mpi_step<Ctx, Undo>::context *ctx)
{
    s32 first = 0;
    while (done-- > 0)
        mpi_step_keep_first(&first, mpi_step_undone(steps[done].undo, ctx));
    return first;
}

// The tear-down: every step of the table undone, the latest first, as above.
template <typename Ctx, typename Undo, size_t N>
s32 mpi_steps_undo(const mpi_step<Ctx, Undo> (&steps)[N], typename mpi_step<Ctx, Undo>::context *ctx)
{
    return mpi_steps_undo(steps, N, ctx);
}

// Runs steps [first, last) of a table whose steps before `first` are done
// already (a set-up taken one part at a time). At the first failure: `say`
// (when set) gets the step's name, every step done, from step 0 on, is
// undone the latest first, `*failed` (when set) is the step's index, and the
// step's status is returned. 0 when every step succeeded.
template <typename Ctx, typename Undo>
s32 mpi_steps_run_range(const mpi_step<Ctx, Undo> *steps, size_t first, size_t last,
                        typename mpi_step<Ctx, Undo>::context *ctx, mpi_step_say say = nullptr,
                        size_t *failed = nullptr)
{
    for (size_t i = first; i < last; i++) {
        s32 ret = steps[i].run(ctx);
        if (ret == 0)
            continue;
        if (say && steps[i].name)
            say(steps[i].name);
        mpi_steps_undo(steps, i, ctx);
        if (failed)
            *failed = i;
        return ret;
    }
    return 0;
}

// Runs the whole table, as above.
template <typename Ctx, typename Undo, size_t N>
s32 mpi_steps_run(const mpi_step<Ctx, Undo> (&steps)[N], typename mpi_step<Ctx, Undo>::context *ctx,
                  mpi_step_say say = nullptr, size_t *failed = nullptr)
{
    return mpi_steps_run_range(steps, 0, N, ctx, say, failed);
}

// One step taken for each of `count` alike items (a unit's channels), the
// item's index in `ctx->*item` while the step works on it. The items are
// independent of each other: undone in the order they were made, as the
// platform's own tear-downs take channels down.

// Undoes items [0, done), each whatever the undos before it returned; the
// first failing undo's status, or 0.
template <typename Ctx, typename Undo>
s32 mpi_steps_undo_each(const mpi_step<Ctx, Undo> &step, u32 done, Ctx *ctx, u32 Ctx::*item)
{
    s32 first = 0;
    for (u32 i = 0; i < done; i++) {
        ctx->*item = i;
        mpi_step_keep_first(&first, mpi_step_undone(step.undo, ctx));
    }
    return first;
}

// Runs the step for items [0, count). At the first failure: `say` (when
// set) gets the step's name, the items done are undone, and the failing
// status is returned. 0 when every item succeeded.
template <typename Ctx, typename Undo>
s32 mpi_steps_run_each(const mpi_step<Ctx, Undo> &step, u32 count, Ctx *ctx, u32 Ctx::*item,
                       mpi_step_say say = nullptr)
{
    for (u32 i = 0; i < count; i++) {
        ctx->*item = i;
        s32 ret = step.run(ctx);
        if (ret == 0)
            continue;
        if (say && step.name)
            say(step.name);
        mpi_steps_undo_each(step, i, ctx, item);
        return ret;
    }
    return 0;
}

// A call without arguments as a step's run or undo (its result, if any,
// ignored by the undo).
template <auto Fn>
s32 mpi_step_call(void *)
{
    return Fn();
}
template <auto Fn>
void mpi_undo_call(void *)
{
    Fn();
}

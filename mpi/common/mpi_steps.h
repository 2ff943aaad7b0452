// Work of several steps that must be undone on failure, written as a table:
// each step beside what undoes it, run in order. The first failure undoes
// the steps done before it, the latest first, and the table run backwards is
// the tear-down of what the steps made. Used wherever a set-up has more than
// one thing to take back (channel creation, unit starts, pipelines).
#pragma once

#include <cstddef>
#include <cstdio>

#include "mpi/common/mpi_common.h"

// One step. `run` returns 0 or its status; a step that fails leaves nothing
// of itself behind, so its own undo is not run. `undo` null: nothing to
// undo. `name` is what a failure of the step says, when the caller has the
// table say it (null: nothing, the step said why itself). `Ctx` is what the
// steps work on, handed to each; `void` for steps that need nothing.
template <typename Ctx>
struct mpi_step {
    using context = Ctx;
    const char *name;
    s32 (*run)(Ctx *ctx);
    void (*undo)(Ctx *ctx);
};

// Says a failing step's name, before the steps done are undone.
using mpi_step_say = void (*)(const char *name);
inline void mpi_step_say_stderr(const char *name) { fputs(name, stderr); }
inline void mpi_step_say_line(const char *name) { puts(name); }

// Undoes the first `done` steps of a table, the latest first.
template <typename Ctx>
void mpi_steps_undo(const mpi_step<Ctx> *steps, size_t done, typename mpi_step<Ctx>::context *ctx)
{
    while (done-- > 0)
        if (steps[done].undo)
            steps[done].undo(ctx);
}

// The tear-down: every step of the table undone, the latest first.
template <typename Ctx, size_t N>
void mpi_steps_undo(const mpi_step<Ctx> (&steps)[N], typename mpi_step<Ctx>::context *ctx)
{
    mpi_steps_undo(steps, N, ctx);
}

// Runs steps [first, last) of a table whose steps before `first` are done
// already (a set-up taken one part at a time). At the first failure: `say`
// (when set) gets the step's name, every step done, from step 0 on, is
// undone the latest first, `*failed` (when set) is the step's index, and the
// step's status is returned. 0 when every step succeeded.
template <typename Ctx>
s32 mpi_steps_run_range(const mpi_step<Ctx> *steps, size_t first, size_t last,
                        typename mpi_step<Ctx>::context *ctx, mpi_step_say say = nullptr, size_t *failed = nullptr)
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
template <typename Ctx, size_t N>
s32 mpi_steps_run(const mpi_step<Ctx> (&steps)[N], typename mpi_step<Ctx>::context *ctx,
                  mpi_step_say say = nullptr, size_t *failed = nullptr)
{
    return mpi_steps_run_range(steps, 0, N, ctx, say, failed);
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

// The benchmarks' way to keep the lines of what they measure (the module
// loader's, the pipeline's) out of their tables.
#pragma once

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Runs `fn` with descriptor `fd` (standard error unless said) sent to
// /dev/null; what `fn` returns.
template <class Fn> auto quietly(Fn fn, int fd = 2)
{
    fflush(nullptr);
    int saved = dup(fd), null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, fd);
        close(null);
    }
    auto ret = fn();
    fflush(nullptr);
    if (saved >= 0) {
        dup2(saved, fd);
        close(saved);
    }
    return ret;
}

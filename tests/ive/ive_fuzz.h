// What the engine's fuzz harnesses share: a failed expectation ends the run
// (libFuzzer and the corpus replay both report it as a crash), media memory
// on the board the harnesses start from BOARD_ROOT, and a probe that sees
// media memory a call kept.
#pragma once

#include "board/board.h"
#include "board/sim/sim.h"
#include "ive/mpi_ive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ivefuzz {

inline void expect(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "fuzz expectation failed: %s\n", what);
        abort();
    }
}

// Where the next media allocation lands: the same before and after a call
// that kept nothing (the allocator takes the first gap).
inline u32 next_free()
{
    u32 a = sim::phys_alloc(1);
    sim::phys_free(a);
    return a;
}

// A block of media memory for the whole run (the board started first: a
// start frees what was allocated before it).
inline IVE_MEM_BLOCK_S media(u32 size)
{
    sim::ensure_started();
    IVE_MEM_BLOCK_S m;
    m.u32PhyAddr = sim::phys_alloc(size);
    expect(m.u32PhyAddr != 0, "media memory");
    m.pu8VirAddr = sim::phys(m.u32PhyAddr);
    m.u32Size = size;
    return m;
}

inline bool empty(const IVE_MEM_BLOCK_S &m) { return m.u32PhyAddr == 0 && !m.pu8VirAddr && m.u32Size == 0; }

// A little-endian reader over the fuzzer's bytes; past the end it reads 0.
struct Bytes {
    const uint8_t *p;
    size_t n;
    template <class T> T take()
    {
        T v = 0;
        size_t k = n < sizeof v ? n : sizeof v;
        memcpy(&v, p, k);
        p += k, n -= k;
        return v;
    }
};

} // namespace ivefuzz

// What the engine's fuzz harnesses share: a failed expectation ends the run
// (libFuzzer and the corpus replay both report it as a crash), media memory
// on the board the harnesses start from BOARD_ROOT, a probe that sees media
// memory a call kept, and pictures at user addresses (which the software
// stages' test takes too).
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
// A block that holds no memory (its size may be what the file gave).
inline bool no_memory(const IVE_MEM_BLOCK_S &m) { return m.u32PhyAddr == 0 && !m.pu8VirAddr; }

// One model file through its reader, from an empty record: a model that
// loads goes to loaded(model), a refused one must leave blocks_empty(model)
// (blocks without memory), and no media memory is kept either way.
template <class Model, class Loaded, class BlocksEmpty>
void read_model(const uint8_t *data, size_t size, s32 (*reader)(const char *, FILE *, Model *), Loaded loaded,
                BlocksEmpty blocks_empty)
{
    FILE *fp = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!fp)
        return; // glibc refuses an empty buffer
    Model model;
    memset(&model, 0, sizeof model);
    const u32 probe = next_free();
    const s32 ret = reader("fuzz.bin", fp, &model);
    fclose(fp);
    if (ret == 0)
        loaded(model);
    else
        expect(blocks_empty(model), "a refused load leaves the blocks without memory");
    expect(next_free() == probe, "no media memory kept");
}

// A picture at a user address (the software stages need a physical address
// only to be there).
inline IVE_IMG_DESC_S user_image(u8 *px, u16 w, u16 h, u16 stride)
{
    IVE_IMG_DESC_S d;
    memset(&d, 0, sizeof d);
    d.enType = IVE_IMAGE_TYPE_U8C1;
    d.u32PhyAddr[0] = 0x1000;
    d.pu8VirAddr[0] = px;
    d.u16Stride[0] = stride;
    d.u16Width = w;
    d.u16Height = h;
    return d;
}

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

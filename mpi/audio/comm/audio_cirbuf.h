// One track's circle buffer, as the encoder's gathering and the output's
// hand-over use it: byte offsets u32Read and u32Write into u32Size bytes at
// pVirAddr, and bWriteJump, set once the write offset has wrapped past the
// read offset. Equal offsets mean empty with the flag clear, full with it set.
// Works on any record with those fields (AENC_CIR_BUF_S, AO_CIR_BUF_S).
#pragma once

#include <cstring>

#include "mpi/common/mpi_common.h"

// Splits one block into a buffer per track, `size` bytes each, all empty.
template <class Buf> void cirbuf_init_tracks(Buf (&bufs)[2], u32 phys, void *virt, u32 size)
{
    for (u32 t = 0; t < 2; t++) {
        bufs[t].u32PhyAddr = phys + t * size;
        bufs[t].pVirAddr = static_cast<u8 *>(virt) + t * size;
        bufs[t].u32Size = size;
        bufs[t].u32Read = bufs[t].u32Write = 0;
        bufs[t].bWriteJump = DU_FALSE;
    }
}

// Room for `len` more bytes.
template <class Buf> bool cirbuf_has_room(const Buf &b, u32 len)
{
    if (b.u32Write > b.u32Read) {
        MPI_ASSERT(DU_FALSE == b.bWriteJump);
        return (u64)b.u32Write + len <= b.u32Size || (u64)b.u32Write + len - b.u32Size <= b.u32Read;
    }
    if (b.u32Write == b.u32Read)
        return !b.bWriteJump && len <= b.u32Size;
    MPI_ASSERT(DU_TRUE == b.bWriteJump);
    return (u64)b.u32Write + len <= b.u32Read;
}

// At least `len` bytes to read.
template <class Buf> bool cirbuf_has_data(const Buf &b, u32 len)
{
    if (b.u32Read > b.u32Write) {
        MPI_ASSERT(DU_TRUE == b.bWriteJump);
        return (u64)b.u32Read + len <= b.u32Size || (u64)b.u32Read + len - b.u32Size <= b.u32Write;
    }
    if (b.u32Read == b.u32Write)
        return b.bWriteJump && len <= b.u32Size;
    MPI_ASSERT(DU_FALSE == b.bWriteJump);
    return (u64)b.u32Read + len <= b.u32Write;
}

// Appends `len` bytes; false (with the message) when they don't fit.
template <class Buf> bool cirbuf_put(Buf &b, const void *data, u32 len)
{
    if (!cirbuf_has_room(b, len)) {
        fprintf(stderr, "[Func]:%s [Line]:%d [Info]:", __FUNCTION__, __LINE__);
        fprintf(stderr, "It's no free buffer to save data! frame len:%d, u32Write:%d, u32Read:%d\n", len, b.u32Write,
                b.u32Read);
        return false;
    }
    u8 *base = static_cast<u8 *>(b.pVirAddr);
    const u8 *src = static_cast<const u8 *>(data);
    if (b.u32Write + len > b.u32Size) {
        u32 first = b.u32Size - b.u32Write;
        memcpy(base + b.u32Write, src, first);
        memcpy(base, src + first, len - first);
        b.u32Write = len - first;
        b.bWriteJump = DU_TRUE;
    } else {
        memcpy(base + b.u32Write, src, len);
        b.u32Write += len;
    }
    if (b.u32Write == b.u32Size) {
        b.u32Write = 0;
        b.bWriteJump = DU_TRUE;
    }
    return true;
}

// Copies the next `len` bytes out without taking them (the caller checked
// they are there).
template <class Buf> void cirbuf_peek(const Buf &b, void *dst, u32 len)
{
    MPI_ASSERT(cirbuf_has_data(b, len));
    const u8 *base = static_cast<const u8 *>(b.pVirAddr);
    u8 *out = static_cast<u8 *>(dst);
    if (b.u32Read + len > b.u32Size) {
        u32 first = b.u32Size - b.u32Read;
        memcpy(out, base + b.u32Read, first);
        memcpy(out + first, base, len - first);
    } else {
        memcpy(out, base + b.u32Read, len);
    }
}

// Takes `len` bytes that are there.
template <class Buf> void cirbuf_take(Buf &b, u32 len)
{
    MPI_ASSERT(cirbuf_has_data(b, len));
    b.u32Read += len;
    if (b.u32Read > b.u32Size) {
        b.u32Read -= b.u32Size;
        b.bWriteJump = DU_FALSE;
    }
    if (b.u32Read == b.u32Size) {
        b.u32Read = 0;
        b.bWriteJump = DU_FALSE;
    }
}

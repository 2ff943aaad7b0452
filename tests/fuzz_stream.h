// What the decoder fuzz harnesses share: the decoder unit's stream mode
// played with arbitrary bytes. Bytes arrive in chunks, each decode call sees
// exactly the bytes held (in a buffer of that size, so that a read past them
// is caught), and every call must either take bytes or ask for more: a call
// that does neither would spin the unit's decode thread forever.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "mpi/audio/adec/mpi_adec.h"

namespace fuzzstream {

inline void check(bool ok)
{
    if (!ok)
        abort();
}

// Feeds `stream` to `decode` in chunks of `chunk` bytes (at least 1).
inline void play(void *dec, ADEC_DECODE_FN decode, const uint8_t *stream, size_t size, size_t chunk)
{
    std::vector<uint8_t> held;
    // One frame of the decoder unit: two tracks.
    std::unique_ptr<u16[]> out(new u16[ADEC_FRAME_NODE_SIZE / 2]);
    size_t at = 0;
    while (at < size || !held.empty()) {
        size_t n = at < size ? std::min(chunk, size - at) : 0;
        held.insert(held.end(), stream + at, stream + at + n);
        at += n;
        for (;;) {
            if (held.empty())
                break;
            std::unique_ptr<uint8_t[]> exact(new uint8_t[held.size()]);
            memcpy(exact.get(), held.data(), held.size());
            u8 *in = exact.get();
            s32 left = (s32)held.size();
            u32 len = 0, chns = 0;
            s32 ret = decode(dec, &in, &left, out.get(), &len, &chns);
            const size_t taken = (size_t)(in - exact.get());
            check(left >= 0 && taken == held.size() - (size_t)left);
            held.erase(held.begin(), held.begin() + taken);
            if (ret == 0)
                check(chns >= 1 && chns <= 2 && len * chns <= ADEC_FRAME_NODE_SIZE);
            if (ret == DU_ERR_ADEC_BUF_LACK)
                break;
            check(taken > 0);
        }
        if (at >= size)
            break; // what is left waits for bytes that never come
    }
}

} // namespace fuzzstream

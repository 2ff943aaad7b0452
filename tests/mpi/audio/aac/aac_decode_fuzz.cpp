// Fuzz harness: arbitrary bytes as a stream into the AAC decoder adapter.
// Byte 0 picks the size of the chunks the bytes arrive in (up to 8 KiB).
#include <cstdint>

#include "mpi/audio/aac/audio_aac_dec_adp.h"
#include "tests/fuzz_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    ADEC_ATTR_AAC_S attr = {};
    void *dec = nullptr;
    fuzzstream::check(OpenAACDecoder(&attr, &dec) == 0);
    fuzzstream::play(dec, DecodeAACFrm, data + 1, size - 1, 1 + (size_t)data[0] * 32);
    CloseAACDecoder(dec);
    return 0;
}

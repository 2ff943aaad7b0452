// Fuzz harness: arbitrary bytes as a stream into each voice decoder. Byte 0
// picks the decoder, byte 1 the size of the chunks the bytes arrive in.
#include <cstdint>

#include "mpi/audio/voice/audio_voice_adp.h"
#include "tests/fuzz_stream.h"

namespace {

struct Decoder {
    ADEC_OPEN_FN open;
    ADEC_DECODE_FN decode;
    ADEC_CLOSE_FN close;
    u32 attr;
};

const Decoder kDecoders[] = {
    {OpenLPCMDecoder, DecodeLPCMFrm, CloseLPCMDecoder, 0},
    {OpenG711ADecoder, DecodeG711AFrm, CloseG711ADecoder, 0},
    {OpenG711UDecoder, DecodeG711UFrm, CloseG711UDecoder, 0},
    {OpenADPCMDecoder, DecodeADPCMFrm, CloseADPCMDecoder, ADPCM_TYPE_DVI4},
    {OpenADPCMDecoder, DecodeADPCMFrm, CloseADPCMDecoder, ADPCM_TYPE_IMA},
    {OpenADPCMDecoder, DecodeADPCMFrm, CloseADPCMDecoder, ADPCM_TYPE_ORG_DVI4},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, G726_16K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, G726_24K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, G726_32K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, G726_40K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, MEDIA_G726_16K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, MEDIA_G726_24K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, MEDIA_G726_32K},
    {OpenG726Decoder, DecodeG726Frm, CloseG726Decoder, MEDIA_G726_40K},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const Decoder &d = kDecoders[data[0] % (sizeof kDecoders / sizeof kDecoders[0])];
    u32 attr = d.attr;
    void *dec = nullptr;
    fuzzstream::check(d.open(&attr, &dec) == 0);
    fuzzstream::play(dec, d.decode, data + 2, size - 2, 1 + data[1]);
    d.close(dec);
    return 0;
}

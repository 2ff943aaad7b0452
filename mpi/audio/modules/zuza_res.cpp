// RES: sample-rate conversion on speexdsp's resampler.
//
// create(handle, input rate, {output rate, reserved 0, channels 1}): mono
// only; both rates from 1 Hz up. speexdsp's quality 4 (its default: a
// windowed-sinc filter whose stop band lies below -80 dB).
// process: converts every input sample of the call and writes the whole
// output they make, so that a caller asking for N output samples gets at
// least N when it hands over N x input/output rate samples (plus one when the
// ratio is not whole); returns the count written. The output buffer must hold
// ceil(input x output rate / input rate) + 1 samples. The filter's phase and
// history carry over between calls, so any cutting of the input gives the
// same stream.
#include <new>
#include <speex/speex_resampler.h>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

constexpr int kQuality = SPEEX_RESAMPLER_QUALITY_DEFAULT;

struct Res {
    SpeexResamplerState *state = nullptr;
    s32 in_rate = 0;
    s32 out_rate = 0;

    ~Res()
    {
        if (state)
            speex_resampler_destroy(state);
    }
};

s32 res_create(void **phModule, s32 s32SampleRate, const void *pParam)
{
    const RES_MODULE_PARAM_S *param = static_cast<const RES_MODULE_PARAM_S *>(pParam);
    if (!phModule || !param || s32SampleRate <= 0 || param->s32OutRate <= 0 || param->s32Channels != 1)
        return -1;
    Res *res = new (std::nothrow) Res;
    if (!res)
        return -1;
    int err = 0;
    res->state = speex_resampler_init(1, (spx_uint32_t)s32SampleRate, (spx_uint32_t)param->s32OutRate, kQuality, &err);
    if (!res->state || err != RESAMPLER_ERR_SUCCESS) {
        delete res;
        return -1;
    }
    res->in_rate = s32SampleRate;
    res->out_rate = param->s32OutRate;
    *phModule = res;
    return 0;
}

s32 res_process(void *hModule, const AUDIO_MODULE_BUF_S *pstIn, const AUDIO_MODULE_BUF_S *pstOut)
{
    zuza::Frame f;
    if (!hModule || !zuza::frame_of(pstIn, pstOut, &f))
        return -1;
    Res *res = static_cast<Res *>(hModule);
    spx_uint32_t room = (spx_uint32_t)(((s64)f.samples * res->out_rate + res->in_rate - 1) / res->in_rate) + 1;
    spx_uint32_t in_len = (spx_uint32_t)f.samples, out_len = room;
    if (speex_resampler_process_int(res->state, 0, f.in, &in_len, f.out, &out_len) != RESAMPLER_ERR_SUCCESS ||
        in_len != (spx_uint32_t)f.samples)
        return -1;
    return (s32)out_len;
}

s32 res_destroy(void *hModule)
{
    delete static_cast<Res *>(hModule);
    return 0;
}

} // namespace

ZUZA_MODULE(RES, res_create, res_process, res_destroy);

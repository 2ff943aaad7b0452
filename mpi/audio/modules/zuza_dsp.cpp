// Shared pieces of the enhancement modules.
#include "mpi/audio/modules/zuza_dsp.h"

#include <complex>

namespace zuza {

bool frame_of(const AUDIO_MODULE_BUF_S *in, const AUDIO_MODULE_BUF_S *out, Frame *frame)
{
    if (!in || !out || !in->pData || !out->pData || in->u32Bytes == 0 || in->u32Bytes % sizeof(s16) != 0)
        return false;
    frame->in = in->pData;
    frame->ref = in->pRefData;
    frame->out = out->pData;
    frame->samples = (s32)(in->u32Bytes / sizeof(s16));
    frame->volume = in->pVolume;
    return true;
}

double mean_square(const s16 *x, s32 n)
{
    if (n <= 0)
        return 0;
    double sum = 0;
    for (s32 i = 0; i < n; i++)
        sum += (double)x[i] * x[i];
    return sum / n;
}

double Biquad::response_db(double hz, double rate) const
{
    std::complex<double> z = std::polar(1.0, -2 * kPi * hz / rate); // z^-1
    std::complex<double> h = (b0 + b1 * z + b2 * z * z) / (1.0 + a1 * z + a2 * z * z);
    return 20 * std::log10(std::abs(h));
}

Biquad design(FilterType type, double rate, double hz, double q, double gain_db)
{
    const double w0 = 2 * kPi * hz / rate;
    const double cw = std::cos(w0), sw = std::sin(w0);
    const double alpha = sw / (2 * q);
    const double A = std::pow(10.0, gain_db / 40.0);
    double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    switch (type) {
    case FilterType::HighPass:
        b0 = (1 + cw) / 2, b1 = -(1 + cw), b2 = (1 + cw) / 2;
        a0 = 1 + alpha, a1 = -2 * cw, a2 = 1 - alpha;
        break;
    case FilterType::LowPass:
        b0 = (1 - cw) / 2, b1 = 1 - cw, b2 = (1 - cw) / 2;
        a0 = 1 + alpha, a1 = -2 * cw, a2 = 1 - alpha;
        break;
    case FilterType::Peaking:
        b0 = 1 + alpha * A, b1 = -2 * cw, b2 = 1 - alpha * A;
        a0 = 1 + alpha / A, a1 = -2 * cw, a2 = 1 - alpha / A;
        break;
    case FilterType::LowShelf: {
        const double s = 2 * std::sqrt(A) * alpha;
        b0 = A * ((A + 1) - (A - 1) * cw + s), b1 = 2 * A * ((A - 1) - (A + 1) * cw), b2 = A * ((A + 1) - (A - 1) * cw - s);
        a0 = (A + 1) + (A - 1) * cw + s, a1 = -2 * ((A - 1) + (A + 1) * cw), a2 = (A + 1) + (A - 1) * cw - s;
        break;
    }
    case FilterType::HighShelf: {
        const double s = 2 * std::sqrt(A) * alpha;
        b0 = A * ((A + 1) + (A - 1) * cw + s), b1 = -2 * A * ((A - 1) + (A + 1) * cw), b2 = A * ((A + 1) + (A - 1) * cw - s);
        a0 = (A + 1) - (A - 1) * cw + s, a1 = 2 * ((A - 1) - (A + 1) * cw), a2 = (A + 1) - (A - 1) * cw - s;
        break;
    }
    case FilterType::AllPass:
        b0 = 1 - alpha, b1 = -2 * cw, b2 = 1 + alpha;
        a0 = 1 + alpha, a1 = -2 * cw, a2 = 1 - alpha;
        break;
    }
    Biquad f;
    f.b0 = b0 / a0, f.b1 = b1 / a0, f.b2 = b2 / a0, f.a1 = a1 / a0, f.a2 = a2 / a0;
    return f;
}

} // namespace zuza

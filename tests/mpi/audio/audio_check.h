// What the audio tests check AAC packets and tones with: ADTS fields, FFmpeg's
// AAC decoder and the strongest frequency of a signal.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace audiocheck {

// The frame length field of an ADTS header (header included).
inline unsigned adts_len(const uint8_t *p) { return ((p[3] & 3u) << 11) | (p[4] << 3) | (p[5] >> 5); }

inline bool is_adts(const uint8_t *p, size_t len)
{
    return len >= 7 && p[0] == 0xFF && (p[1] & 0xF6) == 0xF0;
}

// Decodes ADTS packets one by one with libavcodec's AAC decoder; the first
// channel's samples, and the rate the stream says.
inline std::vector<float> decode_aac(const std::vector<std::vector<uint8_t>> &packets, int *rate)
{
    std::vector<float> out;
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    AVCodecContext *ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ctx || avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return out;
    }
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    for (const auto &p : packets) {
        if (av_new_packet(pkt, (int)p.size()) < 0)
            break;
        std::copy(p.begin(), p.end(), pkt->data);
        int r = avcodec_send_packet(ctx, pkt);
        av_packet_unref(pkt);
        if (r < 0)
            continue;
        while (avcodec_receive_frame(ctx, frame) == 0) {
            *rate = frame->sample_rate;
            for (int i = 0; i < frame->nb_samples; i++) {
                float v = 0;
                if (frame->format == AV_SAMPLE_FMT_FLTP || frame->format == AV_SAMPLE_FMT_FLT)
                    v = reinterpret_cast<const float *>(frame->data[0])[frame->format == AV_SAMPLE_FMT_FLT
                                                                             ? i * frame->ch_layout.nb_channels
                                                                             : i];
                else if (frame->format == AV_SAMPLE_FMT_S16P || frame->format == AV_SAMPLE_FMT_S16)
                    v = reinterpret_cast<const int16_t *>(frame->data[0])[frame->format == AV_SAMPLE_FMT_S16
                                                                               ? i * frame->ch_layout.nb_channels
                                                                               : i] /
                        32768.0f;
                out.push_back(v);
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

// Power of one frequency in the samples (Goertzel).
inline double power_at(const std::vector<float> &x, size_t from, size_t n, double hz, int rate)
{
    double w = 2 * M_PI * hz / rate, c = 2 * cos(w), s1 = 0, s2 = 0;
    for (size_t i = from; i < from + n && i < x.size(); i++) {
        double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The strongest frequency between 50 Hz and 10 kHz, to 10 Hz.
inline double dominant_hz(const std::vector<float> &x, size_t from, size_t n, int rate)
{
    double best = 0, best_hz = 0;
    for (double hz = 50; hz <= 10000; hz += 10) {
        double p = power_at(x, from, n, hz, rate);
        if (p > best) {
            best = p;
            best_hz = hz;
        }
    }
    return best_hz;
}

inline double rms(const std::vector<float> &x, size_t from, size_t n)
{
    double sum = 0;
    size_t k = 0;
    for (size_t i = from; i < from + n && i < x.size(); i++, k++)
        sum += (double)x[i] * x[i];
    return k ? sqrt(sum / k) : 0;
}

} // namespace audiocheck

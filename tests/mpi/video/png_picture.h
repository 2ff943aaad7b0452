// Test helper: a PNG file (such as the TV output's tv.png) decoded into RGB
// rows.
#pragma once

#include "tests/mpi/video/scene_layout.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace pngtest {

struct Rgb {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    const uint8_t *at(int x, int y) const { return &px[((size_t)y * w + x) * 3]; }
    // BT.601 luma of a pixel, as the picture's Y plane had it.
    uint8_t luma(int x, int y) const
    {
        const uint8_t *p = at(x, y);
        return (uint8_t)((66 * p[0] + 129 * p[1] + 25 * p[2] + 128) / 256 + 16);
    }
};

// Whether the picture shows the scene upright: sky on top, the colour bars
// low and in the scene's order.
inline bool upright(const Rgb &img)
{
    scenetest::Layout l = scenetest::layout(img.w, img.h, scenetest::rgb_sampler(img.px.data(), img.w));
    if (!l.upright())
        fprintf(stderr, "not upright: %s\n", l.describe().c_str());
    return l.upright();
}

inline bool decode_png(const std::string &bytes, Rgb &out)
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    bool ok = avcodec_open2(ctx, codec, nullptr) == 0;
    if (ok) {
        pkt->data = (uint8_t *)bytes.data();
        pkt->size = (int)bytes.size();
        ok = avcodec_send_packet(ctx, pkt) == 0 && avcodec_receive_frame(ctx, frame) == 0 &&
             frame->format == AV_PIX_FMT_RGB24;
    }
    if (ok) {
        out.w = frame->width;
        out.h = frame->height;
        out.px.resize((size_t)out.w * out.h * 3);
        for (int y = 0; y < out.h; y++)
            memcpy(&out.px[(size_t)y * out.w * 3], frame->data[0] + (size_t)y * frame->linesize[0], out.w * 3);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return ok;
}

} // namespace pngtest

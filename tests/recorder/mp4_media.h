// Media for the MP4 writer's tests: streams shaped as the camera's encoders
// deliver them (Annex-B H.264 / H.265 frames with parameter sets before every
// key picture, ADTS AAC packets of 1024 samples from FDK AAC), a recording
// loop that feeds the writer as the MP4 thread does, and a reader that
// demuxes and decodes a finished file with libavformat and libavcodec.
#pragma once

#include "board/board.h"
#include "board/sim/video/venc_engine.h"
#include "mpi/audio/aac/aac_enc.h"
#include "recorder/mp4/mp4_writer.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace mp4test {

enum class Codec { h264, h265 };

struct Frame {
    std::vector<uint8_t> bytes;
    bool key = false;
};

// `count` pictures of a moving pattern; a key picture every `gop`.
inline std::vector<Frame> encode_video(Codec codec, int width, int height, int fps, int count, int gop)
{
    std::vector<Frame> out;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec *enc = avcodec_find_encoder_by_name(codec == Codec::h264 ? "libx264" : "libx265");
    AVCodecContext *ctx = enc ? avcodec_alloc_context3(enc) : nullptr;
    if (!ctx)
        return out;
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, fps};
    ctx->framerate = AVRational{fps, 1};
    ctx->gop_size = gop;
    ctx->keyint_min = gop;
    ctx->max_b_frames = 0;
    ctx->bit_rate = (int64_t)width * height * 2;
    av_opt_set(ctx->priv_data, "preset", "ultrafast", 0);
    if (codec == Codec::h264)
        av_opt_set(ctx->priv_data, "x264-params", "scenecut=0:repeat-headers=1", 0);
    else
        av_opt_set(ctx->priv_data, "x265-params",
                   "log-level=error:info=0:open-gop=0:scenecut=0:repeat-headers=1:bframes=0", 0);
    AVFrame *pic = av_frame_alloc();
    AVPacket *pkt = av_packet_alloc();
    pic->format = ctx->pix_fmt;
    pic->width = width;
    pic->height = height;
    if (avcodec_open2(ctx, enc, nullptr) < 0 || av_frame_get_buffer(pic, 0) < 0) {
        av_frame_free(&pic);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
        return out;
    }
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            Frame f;
            f.bytes.assign(pkt->data, pkt->data + pkt->size);
            f.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            // The camera's H.264 encoder marks reference slices 0x61.
            sim::video::fix_nal_headers(codec == Codec::h264 ? sim::video::Codec::h264 : sim::video::Codec::h265,
                                        f.bytes);
            out.push_back(std::move(f));
            av_packet_unref(pkt);
        }
    };
    for (int i = 0; i < count; i++) {
        av_frame_make_writable(pic);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                pic->data[0][y * pic->linesize[0] + x] = (uint8_t)(x + y + 3 * i);
        for (int p = 1; p < 3; p++)
            for (int y = 0; y < height / 2; y++)
                memset(pic->data[p] + y * pic->linesize[p], 128 + ((y + i) & 31) * (p == 1 ? 1 : -1), width / 2);
        pic->pts = i;
        if (avcodec_send_frame(ctx, pic) < 0)
            break;
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_frame_free(&pic);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return out;
}

// `count` ADTS packets of a 1 kHz tone, 48 kHz mono, from FDK AAC.
inline std::vector<std::vector<uint8_t>> encode_aac(int count)
{
    std::vector<std::vector<uint8_t>> out;
    AACENC_CONFIG_S cfg;
    AACInitDefaultConfig(&cfg);
    cfg.nChannelsIn = cfg.nChannelsOut = 1;
    HANDLE_AACENCODER h = nullptr;
    if (AACEncoderOpen(&h, &cfg) != 0)
        return out;
    std::vector<s16> pcm(1024);
    uint8_t buf[AACENC_MAX_OUTBUF];
    for (int frame = 0; (int)out.size() < count && frame < count + 16; frame++) {
        for (int i = 0; i < 1024; i++)
            pcm[i] = (s16)(8000 * sin(2 * M_PI * 1000 * (frame * 1024 + i) / 48000.0));
        s32 n = 0;
        if (AACEncoderFrame(h, pcm.data(), buf, &n) != 0)
            break;
        if (n > 0)
            out.emplace_back(buf, buf + n);
    }
    AACEncoderClose(h);
    return out;
}

inline bool is_adts_like(const std::vector<uint8_t> &p) { return p.size() > 7 && p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }

inline MP4_BITMAPINFOHEADER_S video_params(Codec codec, uint32_t w, uint32_t h, uint32_t fps)
{
    MP4_BITMAPINFOHEADER_S v = {};
    v.eCodeid = codec == Codec::h264 ? MP4_CODEC_ID_H264 : MP4_CODEC_ID_H265;
    v.u32BiWidth = w;
    v.u32BiHeight = h;
    v.u32BitCount = 16;
    v.u32avgBitRate = 8 * 1024 * 1024;
    v.u32samplePerSec = fps;
    return v;
}

inline MP4_WAVEFORMATEX_S audio_params()
{
    MP4_WAVEFORMATEX_S a = {};
    a.eCodeid = MP4_CODEC_ID_AACLC;
    a.u32Channels = 1;
    a.u32SamplesPerSec = 48000;
    a.u32AvgBytesPerSec = 32000;
    a.u16BlockAlign = 1024;
    a.u16BitsPerSample = 16;
    return a;
}

// An open writer with its two streams, as the MP4 thread sets one up.
struct Recording {
    MP4Handle h = nullptr;
    int32_t video = 0, audio = 0;
    uint32_t fps = 30;
    size_t audio_next = 0;
    size_t video_written = 0; // frames handed over since the first key frame

    bool open(const std::string &name, Codec codec, uint32_t w, uint32_t hgt, uint32_t rate)
    {
        fps = rate;
        MP4_BITMAPINFOHEADER_S v = video_params(codec, w, hgt, rate);
        MP4_WAVEFORMATEX_S a = audio_params();
        return MP4_CreateWriter(&h, name.c_str()) == 0 && MP4_SetVideoStreamParams(h, &video, &v) == 0 &&
               MP4_SetAudioStreamParams(h, &audio, &a) == 0 && MP4_BeginWriting(h) == 0;
    }

    // One video frame, then the audio packets that start before it ends.
    // Audio follows only once the file has begun with a key frame.
    void frame(const Frame &f, const std::vector<std::vector<uint8_t>> &aac, bool started)
    {
        MP4_WriteFrame(h, (uint32_t)video, 0, f.bytes.data(), (uint32_t)f.bytes.size(), f.key ? 1 : 0);
        if (!started)
            return;
        video_written++;
        while (audio_next < aac.size() && (uint64_t)audio_next * 1024 * fps < (uint64_t)video_written * 48000) {
            const auto &p = aac[audio_next++];
            EXPECT_EQ(MP4_WriteFrame(h, (uint32_t)audio, 0, p.data(), (uint32_t)p.size(), 0), 0);
        }
    }

    uint64_t close()
    {
        uint64_t ms = 0;
        EXPECT_EQ(MP4_EndWriting(h), 0);
        EXPECT_EQ(MP4_DestroyWriter(h, &ms), 0);
        h = nullptr;
        return ms;
    }
};

// ---- reading a file back -----------------------------------------------------------------
struct Packet {
    int64_t pts, dts, duration;
    bool key;
    uint64_t hash; // of the sample's bytes
};

struct Track {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codec = AV_CODEC_ID_NONE;
    uint32_t tag = 0;
    int width = 0, height = 0, sample_rate = 0, channels = 0, profile = 0, level = 0, format = -1;
    AVRational time_base{0, 1};
    std::vector<uint8_t> extradata;
    std::vector<Packet> packets;
    int decoded = 0;     // frames (video) or sample frames (audio) out of the decoder
    int errors = 0;      // packets or frames the decoder refused
};

struct File {
    bool opened = false;
    std::vector<Track> tracks;
    const Track *of(AVMediaType t) const
    {
        for (const Track &k : tracks)
            if (k.type == t)
                return &k;
        return nullptr;
    }
};

inline uint64_t fnv(const uint8_t *p, size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// Demuxes every packet and decodes it; decoder complaints count as errors.
// `on_video` sees each decoded video picture.
inline File probe_file(const std::string &host_path, const std::function<void(const AVFrame *)> &on_video = {})
{
    File f;
    AVFormatContext *ic = nullptr;
    if (avformat_open_input(&ic, host_path.c_str(), nullptr, nullptr) < 0)
        return f;
    if (avformat_find_stream_info(ic, nullptr) < 0) {
        avformat_close_input(&ic);
        return f;
    }
    f.opened = true;
    std::vector<AVCodecContext *> dec(ic->nb_streams, nullptr);
    for (unsigned i = 0; i < ic->nb_streams; i++) {
        AVCodecParameters *par = ic->streams[i]->codecpar;
        Track t;
        t.type = par->codec_type;
        t.codec = par->codec_id;
        t.tag = par->codec_tag;
        t.width = par->width;
        t.height = par->height;
        t.sample_rate = par->sample_rate;
        t.channels = par->ch_layout.nb_channels;
        t.profile = par->profile;
        t.level = par->level;
        t.format = par->format;
        t.time_base = ic->streams[i]->time_base;
        t.extradata.assign(par->extradata, par->extradata + par->extradata_size);
        f.tracks.push_back(t);
        const AVCodec *codec = avcodec_find_decoder(par->codec_id);
        dec[i] = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (dec[i]) {
            avcodec_parameters_to_context(dec[i], par);
            dec[i]->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
            dec[i]->thread_count = 1;
            if (avcodec_open2(dec[i], codec, nullptr) < 0)
                avcodec_free_context(&dec[i]);
        }
    }
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto receive = [&](unsigned i) {
        int r;
        while ((r = avcodec_receive_frame(dec[i], frame)) == 0) {
            f.tracks[i].decoded++;
            if (frame->decode_error_flags)
                f.tracks[i].errors++;
            if (on_video && f.tracks[i].type == AVMEDIA_TYPE_VIDEO)
                on_video(frame);
            av_frame_unref(frame);
        }
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
            f.tracks[i].errors++;
    };
    while (av_read_frame(ic, pkt) >= 0) {
        unsigned i = (unsigned)pkt->stream_index;
        f.tracks[i].packets.push_back(Packet{pkt->pts, pkt->dts, pkt->duration, (pkt->flags & AV_PKT_FLAG_KEY) != 0,
                                             fnv(pkt->data, (size_t)pkt->size)});
        if (dec[i]) {
            if (avcodec_send_packet(dec[i], pkt) < 0)
                f.tracks[i].errors++;
            receive(i);
        }
        av_packet_unref(pkt);
    }
    for (unsigned i = 0; i < ic->nb_streams; i++)
        if (dec[i]) {
            avcodec_send_packet(dec[i], nullptr);
            receive(i);
            avcodec_free_context(&dec[i]);
        }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avformat_close_input(&ic);
    return f;
}

// Each packet lasts exactly `each` and follows the one before without a gap.
inline void expect_constant_rate(const Track &t, AVRational each)
{
    for (size_t i = 0; i < t.packets.size(); i++) {
        const Packet &p = t.packets[i];
        ASSERT_EQ(av_cmp_q(av_mul_q(AVRational{(int)p.duration, 1}, t.time_base), each), 0) << "sample " << i;
        ASSERT_EQ(p.pts, p.dts) << "sample " << i;
        ASSERT_EQ(p.dts, (int64_t)i * p.duration) << "sample " << i;
    }
}

inline double seconds(const Track &t)
{
    int64_t ticks = 0;
    for (const Packet &p : t.packets)
        ticks += p.duration;
    return ticks * av_q2d(t.time_base);
}

} // namespace mp4test

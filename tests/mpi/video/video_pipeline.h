// Test helpers: a VI -> VPSS -> VENC pipeline on the simulated board, the
// stream loop a recorder runs (select, Query, GetStream, ReleaseStream) and a
// decoder for what comes out.
#pragma once

#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/vi/mpi_vi.h"
#include "mpi/video/vpss/mpi_vpss.h"

#include <gtest/gtest.h>
#include <sys/select.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace videotest {

struct Pack {
    std::vector<uint8_t> bytes; // the payload, from its first start code
    uint64_t pts = 0;
};

// VI channel 0 at the sensor rate `fps` capturing the middle `w` x `h` of the
// sensor (delivered at `dest_w` x `dest_h` when given), VPSS group 0 bound to
// it, encoder channels bound to VPSS channels, the stream loop and a decoder.
inline void start_vi(uint32_t w, uint32_t h, int fps, uint32_t dest_w = 0, uint32_t dest_h = 0)
{
    VI_DEV_ATTR_REC_S dev{};
    dev.enScanMode = 1;
    dev.enDataPath = 1;
    dev.u32Width = 1920;
    dev.u32Height = 1096;
    ASSERT_EQ(0, DU_DUZ_VI_SetDevAttr(0, &dev));
    ASSERT_EQ(0, DU_DUZ_VI_EnableDev(0));
    VI_CHN_ATTR_REC_S chn{};
    chn.u32Width = w;
    chn.u32Height = h;
    chn.s32X = (1920 - (s32)w) / 2;
    chn.s32Y = (1096 - (s32)h) / 2;
    chn.u32DestWidth = dest_w ? dest_w : w;
    chn.u32DestHeight = dest_h ? dest_h : h;
    chn.enPixFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
    chn.s32SrcFrameRate = fps;
    chn.s32DstFrameRate = -1;
    ASSERT_EQ(0, DU_DUZ_VI_SetChnAttr(0, &chn));
    ASSERT_EQ(0, DU_DUZ_VI_EnableChn(0));
}

inline void start_vpss(int chn, uint32_t w, uint32_t h, uint32_t depth = 0)
{
    VPSS_GRP_ATTR_REC_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
    VPSS_GRP_ATTR_REC_S have;
    if (DU_DUZ_VPSS_GetGrpAttr(0, &have) != 0) {
        ASSERT_EQ(0, DU_DUZ_VPSS_CreateGrp(0, &grp));
        ASSERT_EQ(0, DU_DUZ_VPSS_StartGrp(0));
        MPP_CHN_ADDR_S src = {DU_ID_VIU, 0, 0}, dst = {DU_ID_VPSS, 0, 0};
        ASSERT_EQ(0, DU_DUZ_SYS_Bind(&src, &dst));
    }
    VPSS_CHN_ATTR_REC_S attr{};
    attr.bMirror = attr.bFlip = 1;
    attr.s32SrcFrameRate = attr.s32DstFrameRate = -1;
    ASSERT_EQ(0, DU_DUZ_VPSS_SetChnAttr(0, chn, &attr));
    VPSS_CHN_MODE_REC_S mode = {VPSS_CHN_MODE_USER, w, h, 0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0};
    ASSERT_EQ(0, DU_DUZ_VPSS_SetChnMode(0, chn, &mode));
    if (depth) {
        ASSERT_EQ(0, DU_DUZ_VPSS_SetDepth(0, chn, depth));
    }
    ASSERT_EQ(0, DU_DUZ_VPSS_EnableChn(0, chn));
}

inline VENC_CHN_ATTR_REC_S video_attr(uint32_t type, uint32_t w, uint32_t h, uint32_t gop, uint32_t kbps, uint32_t src,
                               uint32_t dst)
{
    VENC_CHN_ATTR_REC_S a{};
    a.enType = type;
    a.stVideo = {w, h, w * h * 2, type == PT_H264 ? 2u : 0u, 1, w, h, 0, 1};
    a.stRcAttr.enRcMode = type == PT_H264 ? VENC_RC_MODE_H264CBR : VENC_RC_MODE_H265CBR;
    a.stRcAttr.u32Gop = gop;
    a.stRcAttr.u32StatTime = 1;
    a.stRcAttr.u32SrcFrmRate = src;
    a.stRcAttr.u32DstFrmRate = dst;
    a.stRcAttr.u32BitRate = kbps;
    return a;
}

inline VENC_CHN_ATTR_REC_S jpeg_attr(uint32_t w, uint32_t h)
{
    VENC_CHN_ATTR_REC_S a{};
    a.enType = PT_JPEG;
    a.stJpeg = {w, h, w * h * 2, 1, w, h, 0, {0, 0}};
    return a;
}

inline void create_venc(int chn, const VENC_CHN_ATTR_REC_S &attr)
{
    ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(chn, &attr));
    MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, chn}, dst = {DU_ID_VENC, 0, chn};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&src, &dst));
}

inline std::vector<Pack> collect(int chn, int rounds, int timeout_ms = 3000)
{
    std::vector<Pack> out;
    int fd = DU_DUZ_VENC_GetFd(chn);
    EXPECT_GE(fd, 0);
    for (int i = 0; i < rounds; i++) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        struct timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        if (select(fd + 1, &set, nullptr, nullptr, &tv) <= 0) {
            ADD_FAILURE() << "no stream within " << timeout_ms << " ms after " << out.size();
            break;
        }
        VENC_CHN_STATE_S st;
        EXPECT_EQ(0, DU_DUZ_VENC_Query(chn, &st));
        EXPECT_EQ(1u, st.u32CurPackNum);
        std::vector<VENC_PACK_REC_S> packs(st.u32CurPackNum ? st.u32CurPackNum : 1);
        VENC_STREAM_REC_S stream{};
        stream.pstPack = packs.data();
        stream.u32PackNum = st.u32CurPackNum;
        s32 ret = DU_DUZ_VENC_GetStream(chn, &stream, 1);
        EXPECT_EQ(0, ret);
        if (ret)
            break;
        for (u32 k = 0; k < stream.u32PackNum; k++) {
            const VENC_PACK_REC_S &p = packs[k];
            Pack pk;
            pk.bytes.assign(p.pu8Data + p.u32DataOffset, p.pu8Data + p.u32Len);
            pk.pts = p.u64TimeStamp;
            out.push_back(std::move(pk));
        }
        EXPECT_EQ(0, DU_DUZ_VENC_ReleaseStream(chn, &stream));
    }
    return out;
}

// Decodes the packs in order; `on_frame` sees each decoded picture.
inline int decode(const char *decoder, const std::vector<Pack> &packs, int *w = nullptr, int *h = nullptr,
                  const std::function<void(const AVFrame *)> &on_frame = {})
{
    std::vector<uint8_t> all;
    for (const Pack &p : packs)
        all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    const AVCodec *codec = avcodec_find_decoder_by_name(decoder);
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    AVCodecParserContext *parser = av_parser_init(codec->id);
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int pictures = 0;
    if (avcodec_open2(ctx, codec, nullptr) < 0)
        return -1;
    auto drain = [&] {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            pictures++;
            if (on_frame)
                on_frame(frame);
            if (w)
                *w = frame->width;
            if (h)
                *h = frame->height;
        }
    };
    size_t at = 0;
    while (true) {
        uint8_t *data = nullptr;
        int size = 0;
        bool end = at >= all.size();
        int used = av_parser_parse2(parser, ctx, &data, &size, end ? nullptr : all.data() + at,
                                    end ? 0 : (int)(all.size() - at), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        at += used;
        if (size) {
            pkt->data = data;
            pkt->size = size;
            if (avcodec_send_packet(ctx, pkt) == 0)
                drain();
        }
        if (end && !size)
            break;
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    av_parser_close(parser);
    avcodec_free_context(&ctx);
    return pictures;
}

inline std::string nal_head(const Pack &p, bool hevc)
{
    const auto &b = p.bytes;
    if (b.size() < 6 || b[0] || b[1] || b[2] || b[3] != 1)
        return "no start code";
    char s[8];
    if (hevc)
        snprintf(s, sizeof s, "%02x%02x", b[4], b[5]);
    else
        snprintf(s, sizeof s, "%02x", b[4]);
    return s;
}

} // namespace videotest

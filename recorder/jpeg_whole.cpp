#include "recorder/jpeg_whole.h"

#include <fcntl.h>
#include <vector>

#include "board/board.h"
#include "core/board_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

// Far above any picture the encoder makes; a larger file is no photo of ours.
constexpr int64_t kPhotoMaxBytes = 64 << 20;

// The file's bytes, followed by the zeroed padding the decoder reads past
// its input; `size` is the file's part.
bool read_whole(const std::string &path, std::vector<uint8_t> &bytes, size_t &size)
{
    int fd = bd_open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    const int64_t length = board_file_size(fd);
    bool ok = length >= 4 && length <= kPhotoMaxBytes;
    if (ok) {
        size = (size_t)length;
        bytes.assign(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        ok = board_read_at(fd, 0, bytes.data(), size);
    }
    bd_close(fd);
    return ok;
}

// The decoder stops at the first damage instead of hiding it.
bool decodes(std::vector<uint8_t> &bytes, size_t size)
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext *ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket *pkt = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    bool ok = false;
    if (ctx && pkt && frame) {
        ctx->err_recognition = AV_EF_EXPLODE | AV_EF_BITSTREAM | AV_EF_BUFFER;
        pkt->data = bytes.data();
        pkt->size = (int)size;
        ok = avcodec_open2(ctx, codec, nullptr) == 0 && avcodec_send_packet(ctx, pkt) == 0 &&
             avcodec_receive_frame(ctx, frame) == 0 && frame->decode_error_flags == 0 && frame->width > 0;
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return ok;
}

} // namespace

bool jpeg_file_whole(const std::string &path)
{
    std::vector<uint8_t> bytes;
    size_t n = 0;
    if (!read_whole(path, bytes, n))
        return false;
    if (bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[n - 2] != 0xFF || bytes[n - 1] != 0xD9)
        return false;
    return decodes(bytes, n);
}

#include "recorder/mp4/mp4_writer.h"

#include "board/board.h"
#include "recorder/mp4/mp4_backup.h"
#include "recorder/mp4/mp4_moov.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

MP4_MUX_D MP4_MUX_Data[MP4_MUX_SLOTS];
pthread_mutex_t g_MP4_MUX_MUTEX = PTHREAD_MUTEX_INITIALIZER;
int FileReaiprefreq = 0;

namespace mp4 {

struct Stream {
    AVStream *st = nullptr;
    bool video = false;
    VideoCodec vcodec = VideoCodec::h264;
    std::vector<uint8_t> aac_config; // what the ADTS headers must agree with
    AVRational unit{1, 1};           // the stream's own clock
    int64_t ticks_per_sample = 1;
    int64_t next = 0;                // ticks of the samples written so far
    Track table;
};

struct Writer {
    AVFormatContext *ctx = nullptr;
    AVPacket *pkt = nullptr;
    int fd = -1;                 // the file, written through the board
    std::vector<Stream> streams; // stream number - 1
    int video = -1, audio = -1;
    bool begun = false, ended = false, trailer_ok = false;
    bool table_ok = true;        // every byte of the mdat is described by the tables
    bool failed = false;         // the file refused bytes: nothing more goes in
    int64_t payload_start = 0;   // file offset of the mdat's first payload byte
};

} // namespace mp4

using mp4::Stream;
using mp4::Writer;

namespace {

struct MuxLock {
    MuxLock() { pthread_mutex_lock(&g_MP4_MUX_MUTEX); }
    ~MuxLock() { pthread_mutex_unlock(&g_MP4_MUX_MUTEX); }
};

MP4_MUX_D *find_slot(MP4Handle handle)
{
    if (!handle)
        return nullptr;
    MuxLock lock;
    for (MP4_MUX_D &s : MP4_MUX_Data)
        if (s.Stat == 1 && s.StreamHandel == handle)
            return &s;
    return nullptr;
}

void clear_slot(MP4_MUX_D &s)
{
    s.StreamHandel = nullptr;
    s.Stat = 0;
    s.WriteFlg = 0;
    s.FilterFlg = 0;
    s.temp_extradata.clear();
    s.bakfile[0] = 0;
    s.tpb = -1;
    s.frequency = 0;
    s.u64Duration = 0;
    s.writer = nullptr;
}

// The muxer writes the file through the board, so that a card that is
// pulled fails the writes as the kernel would.
constexpr int kIoBuffer = 64 * 1024;

int write_file(void *opaque, uint8_t *buf, int size)
{
    Writer *w = static_cast<Writer *>(opaque);
    for (int done = 0; done < size;) {
        ssize_t n = bd_write(w->fd, buf + done, (size_t)(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            w->failed = true;
            return n < 0 ? AVERROR(errno) : AVERROR(EIO);
        }
        done += (int)n;
    }
    return size;
}

int64_t seek_file(void *opaque, int64_t offset, int whence)
{
    Writer *w = static_cast<Writer *>(opaque);
    if (whence == AVSEEK_SIZE) {
        off_t here = bd_lseek(w->fd, 0, SEEK_CUR), end = here < 0 ? -1 : bd_lseek(w->fd, 0, SEEK_END);
        if (end < 0 || bd_lseek(w->fd, here, SEEK_SET) < 0)
            return AVERROR(errno);
        return end;
    }
    off_t at = bd_lseek(w->fd, (off_t)offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : (int64_t)at;
}

bool open_file(Writer *w, const char *name)
{
    // A new movie never takes the place of a file that is there.
    w->fd = bd_open(name, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (w->fd < 0)
        return false;
    uint8_t *buf = (uint8_t *)av_malloc(kIoBuffer);
    w->ctx->pb = buf ? avio_alloc_context(buf, kIoBuffer, 1, w, nullptr, write_file, seek_file) : nullptr;
    if (!w->ctx->pb) {
        av_free(buf);
        return false;
    }
    return true;
}

void free_writer(Writer *w)
{
    if (!w)
        return;
    if (w->ctx) {
        if (w->ctx->pb) {
            avio_flush(w->ctx->pb);
            av_freep(&w->ctx->pb->buffer);
            avio_context_free(&w->ctx->pb);
        }
        avformat_free_context(w->ctx);
    }
    if (w->fd >= 0)
        bd_close(w->fd);
    av_packet_free(&w->pkt);
    delete w;
}

// Whether the file can still take bytes; marks the writer failed when not.
bool io_ok(Writer *w)
{
    if (!w->failed && w->ctx->pb && w->ctx->pb->error < 0)
        w->failed = true;
    return !w->failed;
}

// Replaces the backup index: the mdat payload length so far and the moov of
// every sample written before this point. The samples' bytes go to the card
// first (the muxer's buffer and the card's write-back alike), so that the
// index never describes bytes that a cut could lose; the new index takes the
// old one's place whole, so that a cut while it is written keeps the old one.
void write_backup(MP4_MUX_D &slot)
{
    Writer *w = slot.writer;
    if (slot.tpb < 0 || !w->table_ok || w->video < 0 || w->streams[w->video].table.sizes.empty())
        return;
    AVIOContext *pb = w->ctx->pb;
    avio_flush(pb);
    if (!io_ok(w))
        return;
    int64_t payload = avio_tell(pb) - w->payload_start;
    if (payload < 0 || payload > (int64_t)UINT32_MAX - 8) {
        w->table_ok = false; // the index cannot hold a longer mdat
        return;
    }
    if (bd_fsync(w->fd) != 0) {
        w->failed = true;
        return;
    }
    std::vector<const mp4::Track *> tracks;
    for (const Stream &s : w->streams)
        tracks.push_back(&s.table);
    std::vector<uint8_t> moov = mp4::build_moov(tracks);
    if (moov.empty())
        return;
    if (!mp4::replace_backup(slot.bakfile, slot.tpb, mp4::backup_bytes((uint32_t)payload, moov)))
        printf("---> backup index %s not written\n", slot.bakfile);
}

// A key frame that can start the file sets the decoder configuration;
// anything before it is dropped. Returns 1 when the frame is to be written,
// else the result of the call.
int32_t take_configuration(MP4_MUX_D &slot, Stream &s, const uint8_t *data, uint32_t len, uint32_t key)
{
    mp4::KeyScan scan = mp4::KeyScan::not_idr;
    std::vector<uint8_t> config;
    if (key == 1)
        scan = mp4::scan_key_frame(s.vcodec, data, len, config);
    if (scan == mp4::KeyScan::ok) {
        AVCodecParameters *par = s.st->codecpar;
        uint8_t *extra = (uint8_t *)av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE);
        if (!extra)
            return MP4_ERR_WRITE;
        memcpy(extra, config.data(), config.size());
        av_freep(&par->extradata);
        par->extradata = extra;
        par->extradata_size = (int)config.size();
        s.table.config = config;
        slot.temp_extradata = std::move(config);
        slot.WriteFlg = 1;
        return 1;
    }
    if (key == 1 && scan == mp4::KeyScan::no_parameter_sets)
        printf("\n -->Key frame without parameter sets dropped  !\t\n");
    if (s.vcodec == mp4::VideoCodec::h264) {
        printf("\n -->Discard First  P slice line=%d  !\t\n", 654);
        return 0;
    }
    printf("\n--> Discard First  P slice line=%d  !\t\n", 695);
    return MP4_ERR_WRITE;
}

// The raw AAC payload of a packet: ADTS headers are stripped after checking
// that they describe the stream as it was set up; raw packets pass as they are.
bool strip_adts(const Stream &s, const uint8_t *&data, uint32_t &len)
{
    if (!mp4::has_adts_sync(data, len))
        return true;
    mp4::Adts h;
    if (!mp4::parse_adts(data, len, h) || h.frame_len != len || h.raw_blocks != 1)
        return false;
    if (mp4::aac_specific_config(h.object_type, h.rate_index, h.channel_config) != s.aac_config)
        return false;
    data += h.header_len;
    len -= h.header_len;
    return true;
}

int32_t add_stream(Writer *w, Stream &&s, int *index, int32_t *number)
{
    s.st = avformat_new_stream(w->ctx, nullptr);
    if (!s.st) {
        printf("Could not alloc stream\n");
        return MP4_ERR_STREAM;
    }
    s.st->id = (int)w->ctx->nb_streams - 1;
    *index = (int)w->streams.size();
    w->streams.push_back(std::move(s));
    *number = (int32_t)w->ctx->nb_streams;
    return 0;
}

} // namespace

int32_t MP4_InitWriter(int Reaiprefreq)
{
    MuxLock lock;
    FileReaiprefreq = Reaiprefreq > 0 ? Reaiprefreq : 0;
    // Open writers keep their slots: dropping them would lose their files.
    for (MP4_MUX_D &s : MP4_MUX_Data)
        if (s.Stat != 1)
            clear_slot(s);
    return 0;
}

int32_t MP4_CreateWriter(MP4Handle *ppMp4Handle, const char *pu8FileName)
{
    if (!ppMp4Handle || !pu8FileName || strlen(pu8FileName) > 500)
        return MP4_ERR_ARG;

    // Take the slot first: with all five in use no file is made.
    MP4_MUX_D *slot = nullptr;
    {
        MuxLock lock;
        for (MP4_MUX_D &s : MP4_MUX_Data)
            if (s.Stat != 1) {
                slot = &s;
                clear_slot(s);
                s.Stat = 1;
                break;
            }
    }
    if (!slot) {
        printf("---->> Error Handel %d \n", 215);
        return MP4_ERR_WRITE;
    }

    // The backup index is made first, so that no movie file is ever being
    // written without one beside it; and neither is made over a file there.
    struct stat st;
    if (bd_stat(pu8FileName, &st) == 0) {
        printf("---> %s is there already: not written over\n", pu8FileName);
        MuxLock lock;
        clear_slot(*slot);
        return MP4_ERR_OPEN;
    }
    if (FileReaiprefreq != 0) {
        std::string index = mp4::create_backup(pu8FileName, slot->tpb);
        snprintf(slot->bakfile, sizeof slot->bakfile, "%s", index.c_str());
    }
    std::string host = bd_path(pu8FileName);
    Writer *w = new Writer;
    int32_t ret = 0;
    w->pkt = av_packet_alloc();
    if (!w->pkt || avformat_alloc_output_context2(&w->ctx, nullptr, "MP4", host.c_str()) < 0 || !w->ctx)
        ret = MP4_ERR_ARG;
    else if (!(w->ctx->oformat->flags & AVFMT_NOFILE) && !open_file(w, pu8FileName))
        ret = MP4_ERR_OPEN;
    if (ret != 0) {
        free_writer(w);
        if (slot->tpb >= 0) {
            bd_close(slot->tpb);
            bd_remove(slot->bakfile);
        }
        MuxLock lock;
        clear_slot(*slot);
        return ret;
    }

    slot->writer = w;
    slot->frequency = 0;
    {
        MuxLock lock;
        slot->StreamHandel = w->ctx;
    }
    *ppMp4Handle = w->ctx;
    return 0;
}

int32_t MP4_SetVideoStreamParams(MP4Handle pMp4Handle, int32_t *ps32StreamNumber,
                                 const MP4_BITMAPINFOHEADER_S *v)
{
    if (!pMp4Handle || !ps32StreamNumber || !v)
        return MP4_ERR_ARG;
    if (v->u32BiWidth < 1 || v->u32BiWidth > 2592 || v->u32BiHeight < 1 || v->u32BiHeight > 2592 ||
        v->u32samplePerSec == 0 || v->u32BitCount < 1 || v->u32BitCount > 32 || v->u32avgBitRate == 0)
        return MP4_ERR_ARG;
    MP4_MUX_D *slot = find_slot(pMp4Handle);
    if (!slot || slot->writer->begun || slot->writer->video >= 0)
        return MP4_ERR_ARG; // unknown writer, file already begun, or a second video stream

    Stream s;
    s.video = true;
    enum AVCodecID id;
    if (v->eCodeid == MP4_CODEC_ID_H264) {
        id = AV_CODEC_ID_H264;
        s.vcodec = mp4::VideoCodec::h264;
        s.table.codec = mp4::TrackCodec::h264;
    } else if (v->eCodeid == MP4_CODEC_ID_H265) {
        id = AV_CODEC_ID_HEVC;
        s.vcodec = mp4::VideoCodec::h265;
        s.table.codec = mp4::TrackCodec::h265;
    } else {
        return MP4_ERR_CODEC;
    }
    // 2997 and 1498 stand for the NTSC rates 29.97 and 14.98 frames/s.
    int num = (v->u32samplePerSec == 2997 || v->u32samplePerSec == 1498) ? 100 : 1;
    s.unit = AVRational{num, (int)v->u32samplePerSec};
    s.ticks_per_sample = 1;
    s.table.timescale = v->u32samplePerSec;
    s.table.sample_delta = (uint32_t)num;
    s.table.width = v->u32BiWidth;
    s.table.height = v->u32BiHeight;
    s.table.bitrate = v->u32avgBitRate;

    Writer *w = slot->writer;
    int32_t ret = add_stream(w, std::move(s), &w->video, ps32StreamNumber);
    if (ret != 0)
        return ret;
    AVStream *st = w->streams[w->video].st;
    AVCodecParameters *par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = id;
    par->bit_rate = v->u32avgBitRate;
    par->width = (int)v->u32BiWidth;
    par->height = (int)v->u32BiHeight;
    par->format = AV_PIX_FMT_YUV420P;
    st->time_base = w->streams[w->video].unit;
    st->avg_frame_rate = av_inv_q(st->time_base);
    return 0;
}

int32_t MP4_SetAudioStreamParams(MP4Handle pMp4Handle, int32_t *ps32StreamNumber, const MP4_WAVEFORMATEX_S *a)
{
    if (!pMp4Handle || !ps32StreamNumber || !a)
        return MP4_ERR_ARG;
    int rate_index = mp4::aac_rate_index(a->u32SamplesPerSec);
    if (a->u32Channels < 1 || a->u32Channels > 16 || rate_index < 0 || rate_index > 11)
        return MP4_ERR_ARG;
    MP4_MUX_D *slot = find_slot(pMp4Handle);
    if (!slot) {
        printf("---->> Error Handel %d \n", 455);
        return MP4_ERR_WRITE;
    }
    Writer *w = slot->writer;
    if (w->begun || w->audio >= 0)
        return MP4_ERR_ARG;
    // The MP4 file format of this muxer carries no G.711.
    if (a->eCodeid != MP4_CODEC_ID_AACLC)
        return MP4_ERR_CODEC;
    // AAC channel configurations: 1 to 6 channels, and 8 as configuration 7.
    unsigned channel_config = a->u32Channels <= 6 ? a->u32Channels : a->u32Channels == 8 ? 7 : 0;
    if (channel_config == 0 || a->u16BlockAlign == 0)
        return MP4_ERR_ARG;

    Stream s;
    s.aac_config = mp4::aac_specific_config(2, (unsigned)rate_index, channel_config);
    s.unit = AVRational{1, (int)a->u32SamplesPerSec};
    s.ticks_per_sample = a->u16BlockAlign;
    s.table.codec = mp4::TrackCodec::aac;
    s.table.timescale = a->u32SamplesPerSec;
    s.table.sample_delta = a->u16BlockAlign;
    s.table.channels = a->u32Channels;
    s.table.sample_rate = a->u32SamplesPerSec;
    s.table.bitrate = a->u32AvgBytesPerSec * 8;
    s.table.config = s.aac_config;

    int32_t ret = add_stream(w, std::move(s), &w->audio, ps32StreamNumber);
    if (ret != 0)
        return ret;
    Stream &as = w->streams[w->audio];
    AVCodecParameters *par = as.st->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_AAC;
    par->bit_rate = (int64_t)a->u32AvgBytesPerSec * 8;
    par->sample_rate = (int)a->u32SamplesPerSec;
    av_channel_layout_default(&par->ch_layout, (int)a->u32Channels);
    par->frame_size = a->u16BlockAlign;
    par->block_align = 0;
    par->extradata = (uint8_t *)av_mallocz(as.aac_config.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    if (!par->extradata)
        return MP4_ERR_STREAM;
    memcpy(par->extradata, as.aac_config.data(), as.aac_config.size());
    par->extradata_size = (int)as.aac_config.size();
    as.st->time_base = as.unit;
    slot->FilterFlg = 1;
    return 0;
}

int32_t MP4_BeginWriting(MP4Handle pMp4Handle)
{
    MP4_MUX_D *slot = find_slot(pMp4Handle);
    if (!slot || slot->writer->begun)
        return MP4_ERR_ARG;
    Writer *w = slot->writer;
    if (avformat_write_header(w->ctx, nullptr) < 0)
        return MP4_ERR_ARG;
    w->begun = true;
    w->payload_start = avio_tell(w->ctx->pb);
    return 0;
}

int32_t MP4_WriteFrame(MP4Handle pMp4Handle, uint32_t u32StreamNumber, uint64_t u64TimeStamp,
                       const uint8_t *pu8DataBuffer, uint32_t u32DataLength, uint32_t u32KeyFrameFlag)
{
    (void)u64TimeStamp;
    if (!pMp4Handle || !pu8DataBuffer || u32DataLength == 0)
        return MP4_ERR_ARG;
    MP4_MUX_D *slot = find_slot(pMp4Handle);
    if (!slot) {
        printf("--->Error Handel Line=%d pMp4Handle=%p index=%d  \n", 590, pMp4Handle, (int)u32StreamNumber);
        return MP4_ERR_ARG;
    }
    Writer *w = slot->writer;
    if (u32StreamNumber < 1 || u32StreamNumber > w->streams.size() || !w->begun || w->ended)
        return MP4_ERR_ARG;
    if (!io_ok(w))
        return MP4_ERR_WRITE; // the file takes nothing more
    Stream &s = w->streams[u32StreamNumber - 1];
    const uint8_t *data = pu8DataBuffer;
    uint32_t len = u32DataLength;
    bool key = u32KeyFrameFlag == 1;

    if (s.video) {
        if (slot->WriteFlg != 1) {
            int32_t take = take_configuration(*slot, s, data, len, u32KeyFrameFlag);
            if (take != 1)
                return take;
        }
        if (key && FileReaiprefreq != 0 && slot->tpb >= 0 && ++slot->frequency >= FileReaiprefreq) {
            write_backup(*slot);
            slot->frequency = 0;
        }
    } else {
        key = true; // every AAC packet decodes on its own
        if (slot->FilterFlg != 1 || !strip_adts(s, data, len)) {
            printf("\n --->ERROR filter line=%d  !\t  \n", 722);
            return MP4_ERR_WRITE;
        }
    }

    AVPacket *pkt = w->pkt;
    pkt->data = const_cast<uint8_t *>(data);
    pkt->size = (int)len;
    pkt->stream_index = s.st->index;
    pkt->flags = key ? AV_PKT_FLAG_KEY : 0;
    pkt->pts = pkt->dts = av_rescale_q(s.next, s.unit, s.st->time_base);
    pkt->duration = av_rescale_q(s.next + s.ticks_per_sample, s.unit, s.st->time_base) - pkt->pts;
    int64_t at = avio_tell(w->ctx->pb);
    int ret = av_write_frame(w->ctx, pkt);
    int64_t after = avio_tell(w->ctx->pb);
    av_packet_unref(pkt);
    if (ret < 0 || !io_ok(w)) {
        if (after != at)
            w->table_ok = false; // part of a sample in the file: later indexes would be wrong
        printf("Error muxing packet\n");
        return MP4_ERR_WRITE;
    }
    s.next += s.ticks_per_sample;
    s.table.add((uint64_t)at, (uint32_t)(after - at), key);
    return 0;
}

int32_t MP4_EndWriting(MP4Handle pMP4Handle)
{
    MP4_MUX_D *slot = find_slot(pMP4Handle);
    if (!slot) {
        printf("--->Error Handel Line=%d pMp4Handle=%p index=%d  \n", 780, pMP4Handle, -1);
        return MP4_ERR_ARG;
    }
    Writer *w = slot->writer;
    if (!w->begun || w->ended)
        return MP4_ERR_ARG;

    // The duration of the longest track, from the writer's own counts.
    int64_t ms = 0;
    for (const Stream &s : w->streams)
        if (s.next > 0)
            ms = std::max(ms, av_rescale_rnd(s.next, (int64_t)s.unit.num * 1000, s.unit.den, AV_ROUND_UP));
    slot->u64Duration = ms;

    w->ended = true;
    if (!io_ok(w) || av_write_trailer(w->ctx) < 0) {
        printf("Could not write output file trailer \n");
        return MP4_ERR_WRITE;
    }
    avio_flush(w->ctx->pb);
    if (!io_ok(w) || bd_fsync(w->fd) != 0) {
        w->failed = true;
        printf("Could not write output file trailer \n");
        return MP4_ERR_WRITE;
    }
    w->trailer_ok = true;
    return 0;
}

int32_t MP4_DestroyWriter(MP4Handle pMp4Handle, uint64_t *pu64Duration)
{
    if (!pMp4Handle)
        return MP4_ERR_ARG;
    MP4_MUX_D *slot = find_slot(pMp4Handle);
    if (!slot) {
        printf("Error Handel %d \n", 278);
        return MP4_ERR_WRITE;
    }
    Writer *w = slot->writer;
    if (pu64Duration)
        *pu64Duration = (uint64_t)slot->u64Duration;
    if (slot->tpb >= 0) {
        bd_close(slot->tpb);
        // A file whose trailer did not make it keeps its index for the repair.
        bool wrote_samples = false;
        for (const Stream &s : w->streams)
            wrote_samples = wrote_samples || s.next > 0;
        if (w->trailer_ok || !wrote_samples)
            bd_remove(slot->bakfile);
    }
    {
        MuxLock lock;
        clear_slot(*slot);
    }
    free_writer(w);
    return 0;
}

bool mp4_write_failed(MP4Handle pMp4Handle)
{
    MP4_MUX_D *slot = find_slot(pMp4Handle);
    return slot && !io_ok(slot->writer);
}

uint32_t big_little_endian(uint32_t x)
{
    return (x >> 24) | ((x >> 8) & 0xFF00) | ((x << 8) & 0xFF0000) | (x << 24);
}

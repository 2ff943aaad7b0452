#include "recorder/mp4/mp4_moov.h"

#include <algorithm>
#include <cstring>

namespace mp4 {

void Track::add(uint64_t offset, uint32_t size, bool key)
{
    if (key)
        sync.push_back((uint32_t)sizes.size() + 1);
    sizes.push_back(size);
    if (!chunks.empty() && offset == chunk_end_)
        chunks.back().samples++;
    else
        chunks.push_back(Chunk{offset, 1});
    chunk_end_ = offset + size;
}

namespace {

// Big-endian box writer; begin() returns where the box starts, end() sets its size.
class Boxes {
public:
    std::vector<uint8_t> b;

    void u8(uint32_t v) { b.push_back((uint8_t)v); }
    void u16(uint32_t v)
    {
        u8(v >> 8);
        u8(v);
    }
    void u24(uint32_t v)
    {
        u8(v >> 16);
        u16(v);
    }
    void u32(uint32_t v)
    {
        u16(v >> 16);
        u16(v);
    }
    void u64(uint64_t v)
    {
        u32((uint32_t)(v >> 32));
        u32((uint32_t)v);
    }
    // A table of 32-bit entries, grown once: the sample tables are most of a moov.
    template <class T, class Get> void u32_table(const std::vector<T> &v, Get get)
    {
        size_t at = b.size();
        b.resize(at + 4 * v.size());
        uint8_t *p = b.data() + at;
        for (const T &e : v) {
            uint32_t x = get(e);
            p[0] = (uint8_t)(x >> 24);
            p[1] = (uint8_t)(x >> 16);
            p[2] = (uint8_t)(x >> 8);
            p[3] = (uint8_t)x;
            p += 4;
        }
    }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
    void bytes(const uint8_t *p, size_t n) { b.insert(b.end(), p, p + n); }
    void fourcc(const char *t) { bytes(reinterpret_cast<const uint8_t *>(t), 4); }

    size_t begin(const char *type)
    {
        size_t at = b.size();
        u32(0);
        fourcc(type);
        return at;
    }
    size_t begin_full(const char *type, uint8_t version, uint32_t flags)
    {
        size_t at = begin(type);
        u8(version);
        u24(flags);
        return at;
    }
    void end(size_t at)
    {
        uint32_t size = (uint32_t)(b.size() - at);
        b[at] = (uint8_t)(size >> 24);
        b[at + 1] = (uint8_t)(size >> 16);
        b[at + 2] = (uint8_t)(size >> 8);
        b[at + 3] = (uint8_t)size;
    }

    void matrix()
    {
        static const uint32_t unity[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
        for (uint32_t v : unity)
            u32(v);
    }
};

constexpr uint32_t kMovieTimescale = 1000;

bool is_video(const Track &t) { return t.codec != TrackCodec::aac; }

uint64_t movie_duration(const Track &t)
{
    return (t.duration() * kMovieTimescale + t.timescale - 1) / t.timescale;
}

std::vector<Nal> nals_of_type(const Track &t, unsigned type)
{
    std::vector<Nal> out;
    VideoCodec c = t.codec == TrackCodec::h264 ? VideoCodec::h264 : VideoCodec::h265;
    for_each_nal(t.config.data(), t.config.size(), [&](Nal n) {
        if (nal_type(c, n.data) == type)
            out.push_back(n);
        return true;
    });
    return out;
}

bool write_avcc(Boxes &o, const Track &t)
{
    std::vector<Nal> sps = nals_of_type(t, 7), pps = nals_of_type(t, 8);
    if (sps.empty() || pps.empty() || sps[0].size < 4 || sps.size() > 31 || pps.size() > 255)
        return false;
    size_t box = o.begin("avcC");
    o.u8(1);
    o.u8(sps[0].data[1]); // profile
    o.u8(sps[0].data[2]); // constraint flags
    o.u8(sps[0].data[3]); // level
    o.u8(0xFC | 3);       // four-byte NAL lengths
    o.u8(0xE0 | (uint32_t)sps.size());
    for (const Nal &n : sps) {
        o.u16((uint32_t)n.size);
        o.bytes(n.data, n.size);
    }
    o.u8((uint32_t)pps.size());
    for (const Nal &n : pps) {
        o.u16((uint32_t)n.size);
        o.bytes(n.data, n.size);
    }
    o.end(box);
    return true;
}

bool write_hvcc(Boxes &o, const Track &t)
{
    std::vector<Nal> sets[3] = {nals_of_type(t, 32), nals_of_type(t, 33), nals_of_type(t, 34)};
    HevcSps sps;
    if (sets[0].empty() || sets[1].empty() || sets[2].empty() ||
        !parse_hevc_sps(sets[1][0].data, sets[1][0].size, sps))
        return false;
    size_t box = o.begin("hvcC");
    o.u8(1);
    o.u8((uint32_t)(sps.profile_space << 6 | sps.tier << 5 | sps.profile_idc));
    o.u32(sps.compat_flags);
    o.u16((uint32_t)(sps.constraint_flags >> 32));
    o.u32((uint32_t)sps.constraint_flags);
    o.u8(sps.level_idc);
    o.u16(0xF000); // min_spatial_segmentation_idc unknown
    o.u8(0xFC);    // parallelism unknown
    o.u8(0xFC | sps.chroma_format_idc);
    o.u8(0xF8 | (uint32_t)(sps.bit_depth_luma - 8));
    o.u8(0xF8 | (uint32_t)(sps.bit_depth_chroma - 8));
    o.u16(0);      // average frame rate unknown
    o.u8((uint32_t)(sps.max_sub_layers << 3 | sps.temporal_id_nested << 2 | 3));
    o.u8(3);
    for (unsigned i = 0; i < 3; i++) {
        o.u8(32 + i); // array_completeness 0: sets may also come in the stream (hev1)
        o.u16((uint32_t)sets[i].size());
        for (const Nal &n : sets[i]) {
            o.u16((uint32_t)n.size);
            o.bytes(n.data, n.size);
        }
    }
    o.end(box);
    return true;
}

// An MPEG-4 descriptor header with a one-byte length (all ours are short).
void descriptor(Boxes &o, uint8_t tag, size_t len)
{
    o.u8(tag);
    o.u8((uint32_t)len);
}

void write_esds(Boxes &o, const Track &t, uint32_t track_id)
{
    uint32_t largest = t.sizes.empty() ? 0 : *std::max_element(t.sizes.begin(), t.sizes.end());
    size_t dsi = 2 + t.config.size();
    size_t dcd = 2 + 13 + dsi;
    size_t es = 2 + 3 + dcd + 3;
    size_t box = o.begin_full("esds", 0, 0);
    descriptor(o, 0x03, es - 2);
    o.u16(track_id);
    o.u8(0);
    descriptor(o, 0x04, dcd - 2);
    o.u8(0x40);                 // MPEG-4 audio
    o.u8(0x05 << 2 | 1);        // audio stream
    o.u24(largest);
    o.u32(t.bitrate);
    o.u32(t.bitrate);
    descriptor(o, 0x05, t.config.size());
    o.bytes(t.config.data(), t.config.size());
    descriptor(o, 0x06, 1);
    o.u8(0x02);
    o.end(box);
}

bool write_sample_entry(Boxes &o, const Track &t, uint32_t track_id)
{
    if (t.codec == TrackCodec::aac) {
        size_t box = o.begin("mp4a");
        o.zeros(6);
        o.u16(1); // data reference
        o.zeros(8);
        o.u16(t.channels);
        o.u16(16);
        o.u16(0);
        o.u16(0);
        o.u32(t.sample_rate << 16);
        write_esds(o, t, track_id);
        o.end(box);
        return true;
    }
    size_t box = o.begin(t.codec == TrackCodec::h264 ? "avc1" : "hev1");
    o.zeros(6);
    o.u16(1);
    o.zeros(16);
    o.u16(t.width);
    o.u16(t.height);
    o.u32(0x00480000); // 72 dpi
    o.u32(0x00480000);
    o.u32(0);
    o.u16(1); // one frame per sample
    o.zeros(32);
    o.u16(0x0018);
    o.u16(0xFFFF);
    bool ok = t.codec == TrackCodec::h264 ? write_avcc(o, t) : write_hvcc(o, t);
    o.end(box);
    return ok;
}

bool write_stbl(Boxes &o, const Track &t, uint32_t track_id)
{
    size_t stbl = o.begin("stbl");

    size_t box = o.begin_full("stsd", 0, 0);
    o.u32(1);
    if (!write_sample_entry(o, t, track_id))
        return false;
    o.end(box);

    box = o.begin_full("stts", 0, 0);
    o.u32(1);
    o.u32((uint32_t)t.sizes.size());
    o.u32(t.sample_delta);
    o.end(box);

    if (is_video(t)) {
        box = o.begin_full("stss", 0, 0);
        o.u32((uint32_t)t.sync.size());
        o.u32_table(t.sync, [](uint32_t n) { return n; });
        o.end(box);
    }

    box = o.begin_full("stsz", 0, 0);
    o.u32(0);
    o.u32((uint32_t)t.sizes.size());
    o.u32_table(t.sizes, [](uint32_t s) { return s; });
    o.end(box);

    // One entry each time the samples per chunk change.
    box = o.begin_full("stsc", 0, 0);
    size_t count_at = o.b.size();
    o.u32(0);
    uint32_t entries = 0, last = 0;
    for (size_t i = 0; i < t.chunks.size(); i++) {
        if (t.chunks[i].samples == last)
            continue;
        last = t.chunks[i].samples;
        o.u32((uint32_t)i + 1);
        o.u32(last);
        o.u32(1);
        entries++;
    }
    for (int k = 0; k < 4; k++)
        o.b[count_at + k] = (uint8_t)(entries >> (24 - 8 * k));
    o.end(box);

    bool wide = !t.chunks.empty() && t.chunks.back().offset > UINT32_MAX;
    box = o.begin_full(wide ? "co64" : "stco", 0, 0);
    o.u32((uint32_t)t.chunks.size());
    if (wide) {
        for (const Track::Chunk &c : t.chunks)
            o.u64(c.offset);
    } else {
        o.u32_table(t.chunks, [](const Track::Chunk &c) { return (uint32_t)c.offset; });
    }
    o.end(box);

    o.end(stbl);
    return true;
}

bool write_trak(Boxes &o, const Track &t, uint32_t track_id)
{
    bool video = is_video(t);
    size_t trak = o.begin("trak");

    size_t box = o.begin_full("tkhd", 0, 3); // enabled, in movie
    o.u32(0);
    o.u32(0);
    o.u32(track_id);
    o.u32(0);
    o.u32((uint32_t)movie_duration(t));
    o.zeros(8);
    o.u16(0);             // layer
    o.u16(video ? 0 : 1); // alternate group
    o.u16(video ? 0 : 0x0100);
    o.u16(0);
    o.matrix();
    o.u32(video ? t.width << 16 : 0);
    o.u32(video ? t.height << 16 : 0);
    o.end(box);

    size_t mdia = o.begin("mdia");
    box = o.begin_full("mdhd", 0, 0);
    o.u32(0);
    o.u32(0);
    o.u32(t.timescale);
    o.u32((uint32_t)t.duration());
    o.u16(0x55C4); // "und"
    o.u16(0);
    o.end(box);

    box = o.begin_full("hdlr", 0, 0);
    o.u32(0);
    o.fourcc(video ? "vide" : "soun");
    o.zeros(12);
    const char *name = video ? "VideoHandler" : "SoundHandler";
    o.bytes(reinterpret_cast<const uint8_t *>(name), strlen(name) + 1);
    o.end(box);

    size_t minf = o.begin("minf");
    if (video) {
        box = o.begin_full("vmhd", 0, 1);
        o.zeros(8);
    } else {
        box = o.begin_full("smhd", 0, 0);
        o.zeros(4);
    }
    o.end(box);

    size_t dinf = o.begin("dinf");
    box = o.begin_full("dref", 0, 0);
    o.u32(1);
    o.end(o.begin_full("url ", 0, 1)); // media in this file
    o.end(box);
    o.end(dinf);

    if (!write_stbl(o, t, track_id))
        return false;
    o.end(minf);
    o.end(mdia);
    o.end(trak);
    return true;
}

} // namespace

std::vector<uint8_t> build_moov(const std::vector<const Track *> &tracks)
{
    std::vector<const Track *> used;
    for (const Track *t : tracks)
        if (t && !t->sizes.empty() && t->timescale && t->sample_delta)
            used.push_back(t);
    if (used.empty())
        return {};

    Boxes o;
    size_t table_bytes = 0;
    for (const Track *t : used)
        table_bytes += 4 * (t->sizes.size() + t->sync.size()) + 20 * t->chunks.size() + t->config.size();
    o.b.reserve(2048 + table_bytes);
    size_t moov = o.begin("moov");
    size_t box = o.begin_full("mvhd", 0, 0);
    uint64_t duration = 0;
    for (const Track *t : used)
        duration = std::max(duration, movie_duration(*t));
    o.u32(0);
    o.u32(0);
    o.u32(kMovieTimescale);
    o.u32((uint32_t)duration);
    o.u32(0x00010000); // rate 1.0
    o.u16(0x0100);     // volume 1.0
    o.zeros(10);
    o.matrix();
    o.zeros(24);
    o.u32((uint32_t)used.size() + 1); // next track id
    o.end(box);

    for (size_t i = 0; i < used.size(); i++)
        if (!write_trak(o, *used[i], (uint32_t)i + 1))
            return {};
    o.end(moov);
    return std::move(o.b);
}

} // namespace mp4

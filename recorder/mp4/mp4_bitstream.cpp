#include "recorder/mp4/mp4_bitstream.h"

namespace mp4 {

namespace {

bool is_parameter_set(VideoCodec c, unsigned type)
{
    if (c == VideoCodec::h264)
        return type == 7 || type == 8;
    return type >= 32 && type <= 34;
}

bool is_picture(VideoCodec c, unsigned type)
{
    return c == VideoCodec::h264 ? (type >= 1 && type <= 5) : type <= 31;
}

// Pictures a decoder can start at: IDR (H.264), IRAP (H.265).
bool is_random_access(VideoCodec c, unsigned type)
{
    return c == VideoCodec::h264 ? type == 5 : (type >= 16 && type <= 21);
}

// Big-endian bit reader over an RBSP (emulation prevention bytes removed).
class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t> &b) : b_(b) {}
    bool ok() const { return pos_ <= b_.size() * 8; }
    uint64_t bits(unsigned n)
    {
        uint64_t v = 0;
        for (unsigned i = 0; i < n; i++, pos_++)
            v = v << 1 | (pos_ < b_.size() * 8 ? (b_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1 : 0);
        return v;
    }
    void skip(unsigned n) { pos_ += n; }
    uint32_t ue()
    {
        unsigned zeros = 0;
        while (ok() && bits(1) == 0 && zeros < 32)
            zeros++;
        if (zeros >= 32)
            pos_ = b_.size() * 8 + 1; // malformed: mark as overrun
        return (uint32_t)((1ull << zeros) - 1 + bits(zeros));
    }

private:
    const std::vector<uint8_t> &b_;
    size_t pos_ = 0;
};

std::vector<uint8_t> unescape(const uint8_t *p, size_t n)
{
    std::vector<uint8_t> out;
    out.reserve(n);
    unsigned zeros = 0;
    for (size_t i = 0; i < n; i++) {
        if (zeros >= 2 && p[i] == 3) {
            zeros = 0; // 00 00 03: the 03 only keeps a start code from appearing
            continue;
        }
        out.push_back(p[i]);
        zeros = p[i] == 0 ? zeros + 1 : 0;
    }
    return out;
}

const uint32_t kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

} // namespace

KeyScan scan_key_frame(VideoCodec c, const uint8_t *p, size_t len, std::vector<uint8_t> &config)
{
    config.clear();
    bool have[3] = {}; // H.264: SPS, PPS; H.265: VPS, SPS, PPS
    KeyScan result = KeyScan::no_parameter_sets;
    bool picture = false;
    for_each_nal(p, len, [&](Nal n) {
        unsigned type = nal_type(c, n.data);
        if (is_picture(c, type)) {
            picture = true;
            if (!is_random_access(c, type))
                result = KeyScan::not_idr;
            return false;
        }
        if (is_parameter_set(c, type)) {
            have[c == VideoCodec::h264 ? type - 7 : type - 32] = true;
            static const uint8_t start[4] = {0, 0, 0, 1};
            config.insert(config.end(), start, start + 4);
            config.insert(config.end(), n.data, n.data + n.size);
        }
        return true;
    });
    if (!picture)
        result = KeyScan::no_parameter_sets; // nothing to start the stream with
    else if (result != KeyScan::not_idr)
        result = (have[0] && have[1] && (c == VideoCodec::h264 || have[2])) ? KeyScan::ok : KeyScan::no_parameter_sets;
    if (result != KeyScan::ok)
        config.clear();
    return result;
}

bool parse_adts(const uint8_t *p, size_t len, Adts &h)
{
    if (len < 7 || !has_adts_sync(p, len))
        return false;
    bool crc = !(p[1] & 1);
    h.object_type = (p[2] >> 6) + 1;
    h.rate_index = (p[2] >> 2) & 0xF;
    h.channel_config = ((p[2] & 1) << 2) | (p[3] >> 6);
    h.frame_len = ((p[3] & 3u) << 11) | (p[4] << 3) | (p[5] >> 5);
    h.raw_blocks = (p[6] & 3) + 1;
    h.header_len = crc ? 9 : 7;
    return h.rate_index < 13 && h.frame_len > h.header_len && h.frame_len <= len;
}

int aac_rate_index(uint32_t rate)
{
    for (int i = 0; i < 13; i++)
        if (kAacRates[i] == rate)
            return i;
    return -1;
}

std::vector<uint8_t> aac_specific_config(unsigned object_type, unsigned rate_index, unsigned channel_config)
{
    uint16_t v = (uint16_t)(object_type << 11 | rate_index << 7 | channel_config << 3);
    return {(uint8_t)(v >> 8), (uint8_t)v};
}

bool parse_hevc_sps(const uint8_t *nal, size_t size, HevcSps &sps)
{
    if (size < 3)
        return false;
    std::vector<uint8_t> rbsp = unescape(nal + 2, size - 2);
    BitReader r(rbsp);
    r.skip(4); // sps_video_parameter_set_id
    unsigned sub_layers_minus1 = (unsigned)r.bits(3);
    sps.max_sub_layers = (uint8_t)(sub_layers_minus1 + 1);
    sps.temporal_id_nested = (uint8_t)r.bits(1);
    sps.profile_space = (uint8_t)r.bits(2);
    sps.tier = (uint8_t)r.bits(1);
    sps.profile_idc = (uint8_t)r.bits(5);
    sps.compat_flags = (uint32_t)r.bits(32);
    sps.constraint_flags = r.bits(48);
    sps.level_idc = (uint8_t)r.bits(8);
    bool profile_present[8] = {}, level_present[8] = {};
    for (unsigned i = 0; i < sub_layers_minus1; i++) {
        profile_present[i] = r.bits(1);
        level_present[i] = r.bits(1);
    }
    if (sub_layers_minus1 > 0)
        for (unsigned i = sub_layers_minus1; i < 8; i++)
            r.skip(2);
    for (unsigned i = 0; i < sub_layers_minus1; i++) {
        if (profile_present[i])
            r.skip(88);
        if (level_present[i])
            r.skip(8);
    }
    r.ue(); // sps_seq_parameter_set_id
    sps.chroma_format_idc = (uint8_t)r.ue();
    if (sps.chroma_format_idc == 3)
        r.skip(1); // separate_colour_plane_flag
    r.ue();        // pic_width_in_luma_samples
    r.ue();        // pic_height_in_luma_samples
    if (r.bits(1)) // conformance window
        for (int i = 0; i < 4; i++)
            r.ue();
    sps.bit_depth_luma = (uint8_t)(r.ue() + 8);
    sps.bit_depth_chroma = (uint8_t)(r.ue() + 8);
    return r.ok() && sps.chroma_format_idc <= 3;
}

} // namespace mp4

// What the MP4 writer reads out of the encoders' streams: Annex-B NAL units of
// an H.264 or H.265 frame, the decoder configuration of a key frame, ADTS
// headers of AAC packets, and the H.265 sequence parameters an hvcC box needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mp4 {

enum class VideoCodec { h264, h265 };

// One NAL unit of an Annex-B buffer, without its start code.
struct Nal {
    const uint8_t *data;
    size_t size;
};

// Calls `fn(Nal)` for each NAL unit in [p, p + len); returns false to stop early.
template <class Fn> void for_each_nal(const uint8_t *p, size_t len, Fn &&fn);

// The NAL unit type from its header byte(s).
inline unsigned nal_type(VideoCodec c, const uint8_t *nal)
{
    return c == VideoCodec::h264 ? (nal[0] & 0x1f) : ((nal[0] >> 1) & 0x3f);
}

enum class KeyScan {
    ok,             // parameter sets complete, first picture is an IDR / random-access picture
    no_parameter_sets,
    not_idr,        // the first picture of the frame cannot start a stream
};

// The decoder configuration of a key frame: its parameter sets (SPS, PPS; or
// VPS, SPS, PPS), each with a four-byte start code, in the frame's order, up
// to the first picture. Reads only within `len`.
KeyScan scan_key_frame(VideoCodec c, const uint8_t *p, size_t len, std::vector<uint8_t> &config);

// ---- AAC --------------------------------------------------------------------------------
struct Adts {
    unsigned object_type; // profile + 1 (2: AAC-LC)
    unsigned rate_index;
    unsigned channel_config;
    unsigned header_len;  // 7, or 9 with CRC
    unsigned frame_len;   // header included
    unsigned raw_blocks;  // raw data blocks in the frame
};

inline bool has_adts_sync(const uint8_t *p, size_t len) { return len >= 2 && p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }
// Parses the fixed and variable header; false when it is not a sane header
// within `len`.
bool parse_adts(const uint8_t *p, size_t len, Adts &h);

// Index of a sampling rate in the AAC table; -1 when not listed.
int aac_rate_index(uint32_t rate);
// The two-byte AudioSpecificConfig.
std::vector<uint8_t> aac_specific_config(unsigned object_type, unsigned rate_index, unsigned channel_config);

// ---- H.265 sequence parameters --------------------------------------------------------
struct HevcSps {
    uint8_t profile_space = 0, tier = 0, profile_idc = 0;
    uint32_t compat_flags = 0;
    uint64_t constraint_flags = 0; // 48 bits
    uint8_t level_idc = 0;
    uint8_t max_sub_layers = 1;
    uint8_t temporal_id_nested = 0;
    uint8_t chroma_format_idc = 1;
    uint8_t bit_depth_luma = 8, bit_depth_chroma = 8;
};
// Reads the fields of an SPS NAL unit (header included) that an hvcC box
// carries; false when the unit ends too soon.
bool parse_hevc_sps(const uint8_t *nal, size_t size, HevcSps &sps);

// ---- template body -----------------------------------------------------------------------
// Start codes are 00 00 01 or 00 00 00 01; the zero before a four-byte start
// code belongs to the code, not to the unit before it.
inline size_t find_start_code(const uint8_t *p, size_t from, size_t len)
{
    for (size_t i = from; i + 3 <= len; i++) {
        if (p[i + 2] > 1)
            i += 2; // no start code can end within these three bytes
        else if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1)
            return i;
    }
    return len;
}

template <class Fn> void for_each_nal(const uint8_t *p, size_t len, Fn &&fn)
{
    size_t sc = find_start_code(p, 0, len);
    while (sc < len) {
        size_t begin = sc + 3;
        size_t next = find_start_code(p, begin, len);
        size_t end = next;
        while (end > begin && next < len && p[end - 1] == 0)
            end--; // trailing zeros before the next start code
        if (end > begin && !fn(Nal{p + begin, end - begin}))
            return;
        sc = next;
    }
}

} // namespace mp4

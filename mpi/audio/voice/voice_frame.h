// The voice frame that the voice codecs write and read: a flag word 0x0100, the
// payload length in 16-bit words, then the payload; all words little-endian.
// Also the codec types, the engine's status codes and its size limits, which
// the engine and the codec cores share.
#pragma once

#include "mpi/common/mpi_common.h"

// Codec types (the first field of every codec state).
enum VOICE_TYPE_E : s16 {
    VOICE_TYPE_G711A = 1,
    VOICE_TYPE_G711U = 2,
    VOICE_TYPE_ADPCM_DVI4 = 3, // block header, then codes, earlier code in the high nibble
    VOICE_TYPE_G726_16K = 4,   // G.726 codes packed least significant bit first
    VOICE_TYPE_G726_24K = 5,
    VOICE_TYPE_G726_32K = 6,
    VOICE_TYPE_G726_40K = 7,
    VOICE_TYPE_ADPCM_IMA = 35,    // first sample, step index, then codes, earlier code in the low nibble
    VOICE_TYPE_G726_16K_MSB = 36, // G.726 codes packed most significant bit first
    VOICE_TYPE_G726_24K_MSB = 37,
    VOICE_TYPE_G726_32K_MSB = 38,
    VOICE_TYPE_G726_40K_MSB = 39,
    VOICE_TYPE_G711A_SWAP = 65, // code bytes swapped in pairs
    VOICE_TYPE_G711U_SWAP = 66,
    VOICE_TYPE_ADPCM_DVI4_BARE = 67, // DVI4 codes without a block header
    VOICE_TYPE_G726_16K_WORD = 68,   // the second 16 kbit/s coder, eight codes per word from the top
};

// Engine status codes.
constexpr s32 DU_ERR_VOICE_ENC_TYPE = (s32)0xA1220001;    // encoder type 0, above 68 or reserved
constexpr s32 DU_ERR_VOICE_ENC_FRMLEN = (s32)0xA1220002;  // sample count not allowed
constexpr s32 DU_ERR_VOICE_DEC_TYPE = (s32)0xA1220011;    // decoder type 0, above 68 or reserved
constexpr s32 DU_ERR_VOICE_DEC_FRMLEN = (s32)0xA1220012;  // payload length or sample count not allowed
constexpr s32 DU_ERR_VOICE_DEC_FRMTYPE = (s32)0xA1220013; // flag bits not 01
constexpr s32 DU_ERR_VOICE_NULL_STATE = (s32)0xA1220101;
constexpr s32 DU_ERR_VOICE_NULL_INPUT = (s32)0xA1220102;
constexpr s32 DU_ERR_VOICE_NULL_OUTPUT = (s32)0xA1220103;
constexpr s32 DU_ERR_VOICE_TRANS_NULL_STATE = (s32)0xA1221001;
constexpr s32 DU_ERR_VOICE_TRANS_MODE = (s32)0xA1221002;

constexpr u16 VOICE_FRAME_FLAG = 0x0100;
constexpr u32 VOICE_FRAME_HEAD_LEN = 4;
// Samples in the largest frame: every decoder's output holds this many.
constexpr s32 VOICE_MAX_POINT_NUM = 481;
// The largest frame: 480 G.711 samples, one byte each, behind the header.
constexpr u32 VOICE_MAX_FRAME_LEN = VOICE_FRAME_HEAD_LEN + 480;

inline void voice_put_u16(u8 *p, u16 v)
{
    p[0] = (u8)v;
    p[1] = (u8)(v >> 8);
}

inline u16 voice_get_u16(const u8 *p) { return (u16)(p[0] | p[1] << 8); }

inline void voice_frame_put_head(u8 *pu8Frame, u32 u32Words)
{
    voice_put_u16(pu8Frame, VOICE_FRAME_FLAG);
    voice_put_u16(pu8Frame + 2, (u16)u32Words);
}

// Bits 8-9 of the flag word: 01 in a voice frame.
inline u32 voice_frame_flag_bits(const u8 *pu8Frame) { return pu8Frame[1] & 3u; }

// Every reader takes the payload length from the third byte alone: no
// permitted frame has 256 payload words or more.
inline u32 voice_frame_words(const u8 *pu8Frame) { return pu8Frame[2]; }

inline u8 *voice_frame_payload(u8 *pu8Frame) { return pu8Frame + VOICE_FRAME_HEAD_LEN; }
inline const u8 *voice_frame_payload(const u8 *pu8Frame) { return pu8Frame + VOICE_FRAME_HEAD_LEN; }

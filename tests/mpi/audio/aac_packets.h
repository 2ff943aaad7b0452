// The camera's own ADTS packets for the AAC decoding tests: AAC-LC at 48 kHz
// from the encoder adapter, a tone per channel.
#pragma once

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "mpi/audio/aac/audio_aac_adp.h"

namespace aactest {

using Packets = std::vector<std::vector<u8>>;

constexpr u32 kFrame = AACLC_SAMPLES_PER_FRAME;
constexpr double kLeftHz = 1000, kRightHz = 2000;

inline std::vector<s16> tone(double hz, u32 at, u32 n, u32 rate = 48000)
{
    std::vector<s16> v(n);
    for (u32 i = 0; i < n; i++)
        v[i] = (s16)lrint(10000 * sin(2 * M_PI * hz * (at + i) / rate));
    return v;
}

// Packets of the samples given (mono, or two tracks), a packet per 1024
// samples, as the camera's encoder makes them.
inline Packets encode(u32 rate, u32 bit_rate, const std::vector<s16> &left, const std::vector<s16> *right = nullptr)
{
    AAC_ENC_CFG_S cfg = {AAC_TYPE_AACLC, bit_rate, rate, 1, right ? 1u : 0u};
    void *enc = nullptr;
    EXPECT_EQ(0, OpenAACEncoder(&cfg, &enc));
    Packets packets;
    for (size_t at = 0; enc && at + kFrame <= left.size(); at += kFrame) {
        AUDIO_FRAME_S frame = {};
        frame.enBitwidth = 1;
        frame.enSoundmode = right ? 1 : 0;
        frame.pVirAddr[0] = const_cast<s16 *>(left.data() + at);
        frame.pVirAddr[1] = right ? const_cast<s16 *>(right->data() + at) : nullptr;
        frame.u32Len = kFrame * 2;
        std::vector<u8> out(MAX_AAC_MAINBUF_SIZE);
        u32 len = 0;
        EXPECT_EQ(0, EncodeAACFrm(enc, &frame, out.data(), &len));
        out.resize(len);
        packets.push_back(out);
    }
    if (enc)
        CloseAACEncoder(enc);
    return packets;
}

// `frames` packets: kLeftHz on the left (or only) channel, kRightHz on the right.
inline Packets camera_packets(u32 frames, bool stereo = false)
{
    std::vector<s16> left = tone(kLeftHz, 0, frames * kFrame), right = tone(kRightHz, 0, frames * kFrame);
    return encode(48000, 128000, left, stereo ? &right : nullptr);
}

inline std::vector<u8> concat(const Packets &packets)
{
    std::vector<u8> all;
    for (const auto &p : packets)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace aactest

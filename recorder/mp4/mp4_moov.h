// The writer's own sample table and the moov box built from it: what the
// backup index holds so that a file cut off mid-recording can be finished.
#pragma once

#include "recorder/mp4/mp4_bitstream.h"

#include <cstdint>
#include <vector>

namespace mp4 {

enum class TrackCodec { h264, h265, aac };

struct Track {
    TrackCodec codec = TrackCodec::h264;
    uint32_t timescale = 0;    // media time units per second
    uint32_t sample_delta = 0; // every sample lasts this many units
    uint32_t width = 0, height = 0;
    uint32_t channels = 0, sample_rate = 0;
    uint32_t bitrate = 0;
    // Annex-B parameter sets (video) or the AudioSpecificConfig (audio).
    std::vector<uint8_t> config;

    struct Chunk {
        uint64_t offset;
        uint32_t samples;
    };
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> sync; // 1-based numbers of sync samples (video)
    std::vector<Chunk> chunks;  // runs of samples lying back to back in the file

    // Notes one sample written at `offset` in the file.
    void add(uint64_t offset, uint32_t size, bool key);
    uint64_t duration() const { return (uint64_t)sizes.size() * sample_delta; }

private:
    uint64_t chunk_end_ = 0;
};

// The moov box describing the samples of the tracks (those without samples
// left out), with absolute file offsets; empty when no track has a sample
// or a video track lacks its configuration.
std::vector<uint8_t> build_moov(const std::vector<const Track *> &tracks);

} // namespace mp4

// The simulated encoder driver's channels: what its requests (venc.cpp), the
// channel's encoder made from its records (venc_config.cpp) and its encoding
// thread (venc_worker.cpp) share. Everything here is guarded by the driver's
// one lock, `g_venc->lock`.
#pragma once

#include "board/sim/drop_run.h"
#include "board/sim/sim.h"
#include "board/sim/video/venc_engine.h"
#include "board/sim/video/video.h"
#include "mpi/video/venc/venc_requests.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sim::venc {

constexpr uint32_t kKernelOffset = 0x40000000; // the driver's view of DDR
// How long a stop waits for the picture being coded, as the hardware
// finishes it; one that takes longer is dropped when it is done.
constexpr std::chrono::seconds kStopWait{1};
// Pictures waiting for the encoder, as the hardware's input buffers hold
// them: room for a key picture, which takes two periods at 1080p60, and for
// the encoder's first pictures when a recording starts while it is still
// being readied, or for a host that holds it off a while.
constexpr size_t kInputDepth = 6;
constexpr uint32_t kDefaultMaxStreams = 200;
constexpr size_t kMaxUserData = 8;
constexpr uint32_t kPage = 4096;
constexpr uint32_t kNoPool = 0xFFFFFFFFu;

struct Stream {
    uint32_t off, len; // in the ring; len counts the header
    uint64_t pts;
    uint32_t seq;
    bool key;
};

struct VencChn {
    bool created = false;
    VENC_CHN_ATTR_REC_S attr{};
    uint32_t ring = 0, ring_len = 0; // physical base and page-rounded length
    uint32_t wr = 0, used = 0;
    std::deque<Stream> waiting, out;
    bool receiving = false, idr = false, reconfigure = false, stop = false;
    bool coding = false;     // the worker codes a picture the channel took
    bool stopping = false;   // a stop waits for that picture: no new one is taken
    uint32_t runs = 0;       // starts of the channel: a picture belongs to the run it was taken in
    bool pending = false;    // coding records wait for the next IDR
    uint32_t since_key = 0;  // pictures coded since the last key picture
    uint32_t vb_pool = kNoPool; // the attached buffer pool (recorded only)
    bool warm = false; // the encoder is open and ready for the next start
    int32_t recv_left = -1; // pictures still to take; -1 no limit
    uint32_t keys = 0;      // key pictures put out since the last start
    int64_t credit = 0;
    uint32_t max_streams = kDefaultMaxStreams, seq = 0;
    DropRun drops; // pictures the channel did not code or could not keep
    uint32_t seq_at_start = 0; // what the recording in progress has coded: seq - seq_at_start
    std::deque<video::PicturePtr> input;
    std::deque<std::vector<uint8_t>> user_data;
    video::RecordStore store;
    std::map<uint32_t, VENC_ROI_CFG_REC_S> roi;
    std::vector<std::weak_ptr<Device>> files;
    std::unique_ptr<video::PicturePool> send_pool;
    std::thread worker;
};

struct VencState {
    std::mutex lock;
    std::condition_variable cv;
    VencChn chn[VENC_MAX_CHN_NUM];
    video::RecordStore module; // the module parameters (stored only)
};

extern VencState *g_venc;

// The channel's descriptors are readable in select while a stream waits.
void signal_streams(VencChn &c, bool on);

// ---- attributes and coding records (venc_config.cpp) ------------------------------------------

bool is_video(uint32_t type);
// The picture size the channel encodes.
void pic_size(const VENC_CHN_ATTR_REC_S &a, uint32_t &w, uint32_t &h);
// A sound attribute record, as the channel's encoder will take it: 0 or the
// driver's status.
int check_attr(const VENC_CHN_ATTR_REC_S &a);

// A coding record as the channel holds it: the stored one, else `fallback`.
template <class R> R record_of(const VencChn &c, unsigned long set, const R &fallback = R{})
{
    R r = fallback;
    auto it = c.store.find(set);
    if (it != c.store.end() && it->second.size() == sizeof r)
        memcpy(&r, it->second.data(), sizeof r);
    return r;
}

// What the codecs write before any VUI record is set.
VENC_H264_VUI_REC_S default_h264_vui(const VencChn &c);
VENC_H265_TIMING_REC_S default_h265_timing(const VencChn &c);
// The entropy coding a channel codes before any record is set.
VENC_H264_ENTROPY_REC_S default_h264_entropy(const VencChn &c);

bool crop_fits(const VENC_CHN_ATTR_REC_S &a, const VENC_CROP_REC_S &r);
// The crop window the encoder codes: the record's while it fits the picture.
VENC_CROP_REC_S active_crop(const VencChn &c);

// The channel's encoder: its attributes, the crop window and the coding
// records.
video::EncoderConfig encoder_config(const VencChn &c);

// Checks of the coding records the encoder applies: 0 or the driver's status.
int check_h264_entropy(const VencChn &c, const VENC_H264_ENTROPY_REC_S &r);
int check_h264_dblk(const VencChn &c, const VENC_H264_DBLK_REC_S &r);
int check_h264_slices(const VencChn &c, const VENC_H264_SLICE_SPLIT_REC_S &r);
int check_h265_slices(const VencChn &c, const VENC_H265_SLICE_SPLIT_REC_S &r);
int check_h264_vui(const VencChn &c, const VENC_H264_VUI_REC_S &r);
int check_h265_dblk(const VencChn &c, const VENC_H265_DBLK_REC_S &r);
int check_h265_timing(const VencChn &c, const VENC_H265_TIMING_REC_S &r);
int check_intra_refresh(const VencChn &c, const VENC_INTRA_REFRESH_REC_S &r);
int check_crop(const VencChn &c, const VENC_CROP_REC_S &r);
int check_grey(const VencChn &, const VENC_COLOR2GREY_REC_S &r);

// ---- the encoding thread (venc_worker.cpp) ----------------------------------------------------

// Channel `n`'s thread, from its creation until `stop`.
void encode_loop(int n);
// A picture the channel does not code or cannot keep: told in events.log
// (by the run) and counted.
void note_drop(int n, VencChn &c, const char *why);

} // namespace sim::venc

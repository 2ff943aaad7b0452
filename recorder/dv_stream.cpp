// The stream thread: encoded frames of the recording channel into the video
// ring and their records into q_main_stream.
#include "recorder/dv_stream.h"

#include "core/rec_state.h"
#include "core/run_thread.h"
#include "mpi/common/loss_run.h"
#include "recorder/dv_config.h"
#include "recorder/dv_mp4.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <sys/select.h>

u64 u64VideoIndex;
u32 main_rec_offset;
std::atomic<u32> venc_getStream_Run{0};

namespace {

constexpr u32 kRecordChn = 1;
constexpr u8 kNalH264Sps = 0x67, kNalH264Slice = 0x61, kNalH265Vps = 0x40, kNalH265Trail = 0x02;
constexpr u32 kNalHeaderAt = 4; // after the four-byte start code

RunThread g_stream_thread;

// Wakes the MP4 thread when a record is queued or the stream ends.
std::mutex g_wait_lock;
std::condition_variable g_wait_cv;

void wake_consumer()
{
    std::lock_guard<std::mutex> lock(g_wait_lock);
    g_wait_cv.notify_all();
}

// ---- the ring's use ------------------------------------------------------------------------
// Positions are counted in bytes since the ring was taken into use, so that
// "in use" is one subtraction; a tail left empty at a wrap counts as used
// until the record after it is consumed.

struct Span {
    u64 seq;
    u64 end; // where the record's bytes (and any tail skipped before them) end
};

struct RingUse {
    const u8 *base = nullptr;
    u32 size = 0;
    const KX_OrderQueue *queue = nullptr;
    u64 head = 0; // written
    u64 tail = 0; // free up to here
    std::deque<Span> spans; // records not yet consumed, oldest first
};

RingUse g_ring;                        // the stream thread's alone
std::atomic<u64> g_consumed_before{0}; // every record with a smaller sequence is done with

// Starts counting afresh on a ring or queue other than the one counted.
void ring_take()
{
    if (g_ring.base == main_rec_buf && g_ring.size == g_u32MainStreamBufferSize && g_ring.queue == q_main_stream)
        return;
    g_ring = RingUse{};
    g_ring.base = main_rec_buf;
    g_ring.size = g_u32MainStreamBufferSize;
    g_ring.queue = q_main_stream;
}

void reclaim_front()
{
    g_ring.tail = g_ring.spans.front().end;
    g_ring.spans.pop_front();
}

void ring_reclaim()
{
    const u64 done = g_consumed_before.load(std::memory_order_acquire);
    while (!g_ring.spans.empty() && g_ring.spans.front().seq < done)
        reclaim_front();
    // With the queue empty every record was taken, and the MP4 thread holds
    // at most the newest one; the others are gone (consumed, or a queue of
    // an earlier pipeline).
    if (g_ring.spans.size() > 1 && KX_OrderQueue_Empty(q_main_stream) == 1)
        while (g_ring.spans.size() > 1)
            reclaim_front();
    if (g_ring.spans.empty())
        g_ring.tail = g_ring.head;
}

// Whether `len` bytes fit at the write position without touching bytes
// still in use.
bool ring_fits(u32 len)
{
    if (!g_ring.base || len > g_ring.size)
        return false;
    ring_reclaim();
    u64 need = len;
    if ((u64)main_rec_offset + len > g_ring.size)
        need += g_ring.size - std::min(main_rec_offset, g_ring.size); // the tail left behind
    return g_ring.head - g_ring.tail + need <= g_ring.size;
}

// ---- the producer's state ----------------------------------------------------------------

std::mutex g_stats_lock;
DvStreamStats g_stats;
bool g_drop_until_key; // a frame was dropped: the ones that refer to it go too
u64 g_drop_run;        // frames dropped since the last one queued
u64 g_last_pts;        // the stamp of the frame before, 0 before the first
LossRun g_after_close; // frames that came after the recording's last file closed
std::atomic<bool> g_live{false}; // a stream thread started and not yet ended

void count(u64 DvStreamStats::*field, u64 n)
{
    std::lock_guard<std::mutex> lock(g_stats_lock);
    g_stats.*field += n;
}

void note_drop()
{
    g_drop_run++;
    count(&DvStreamStats::u64Dropped, 1);
}

// A frame found room again: the run of drops before it is told.
void end_drop_run()
{
    if (g_drop_run > 1)
        printf("Send_Steam2Que: %llu frames dropped in a row before the key frame that found room\n",
               (unsigned long long)g_drop_run);
    g_drop_run = 0;
}

// Frames the encoder's stamps skip were lost before they reached this
// thread: on the board, which tells its own losses too.
void note_gap(u64 pts)
{
    const u64 before = g_last_pts;
    g_last_pts = pts;
    const u32 fps = gsDvConfig.sVenc.sParam[kRecordChn].u8FrameRate;
    const u64 lost = fps ? frames_skipped(before, pts, 1e6 / fps) : 0;
    if (lost == 0)
        return;
    printf("Send_Steam2Que: %llu frames lost before %llu us (the encoder's stamps skip them)\n",
           (unsigned long long)lost, (unsigned long long)pts);
    count(&DvStreamStats::u64LostUp, lost);
}

void note_queued(u32 depth, u64 pts)
{
    std::lock_guard<std::mutex> lock(g_stats_lock);
    if (g_stats.u64Queued++ == 0)
        g_stats.u64FirstPts = pts;
    g_stats.u64LastPts = pts;
    g_stats.u32MaxDepth = std::max(g_stats.u32MaxDepth, depth);
}

// Key flag of a pack from the NAL header after its first start code: 1, 0,
// or -1 for anything that is not a frame the camera records.
int key_flag(u8 nal)
{
    if (nal == kNalH264Sps || nal == kNalH265Vps)
        return 1;
    if (nal == kNalH264Slice || nal == kNalH265Trail)
        return 0;
    return -1;
}

// The recording's frames go to the MP4 thread while it records and until it
// has closed the recording's last file (the frames still coming from the
// encoder after the stop belong to it); one that comes later has no file.
bool recording_takes(const VENC_STREAM_REC_S &stream)
{
    if (gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING || dv_mp4_takes_packets())
        return true;
    if (g_after_close.lose(0) && stream.u32PackNum)
        printf("KX_DV_GetVencStreamProc: the frame of %llu us came after the recording closed: not kept\n",
               (unsigned long long)stream.pstPack[0].u64TimeStamp);
    count(&DvStreamStats::u64Dropped, 1);
    return false;
}

enum class Take { took, none, failed };

// Takes one stream of `chn`: took it, none waited, or failed (the select
// starts again).
Take take_stream(VENC_CHN chn)
{
    VENC_CHN_STATE_S st;
    s32 ret = DU_DUZ_VENC_Query(chn, &st);
    if (ret != 0) {
        printf("DU_DUZ_VENC_Query chn[%d] failed with %#x!\n", chn, ret);
        return Take::failed;
    }
    if (st.u32CurPackNum == 0)
        return Take::none; // taken already: nothing waits
    VENC_STREAM_REC_S stream;
    memset(&stream, 0, sizeof stream);
    stream.pstPack = static_cast<VENC_PACK_REC_S *>(malloc(sizeof(VENC_PACK_REC_S) * st.u32CurPackNum));
    if (!stream.pstPack) {
        puts("malloc stream pack failed!");
        return Take::failed;
    }
    stream.u32PackNum = st.u32CurPackNum;
    ret = DU_DUZ_VENC_GetStream(chn, &stream, 1);
    if (ret != 0) {
        free(stream.pstPack);
        printf("DU_DUZ_VENC_GetStream failed with %#x!\n", ret);
        return Take::failed;
    }
    if ((u32)chn == kRecordChn && recording_takes(stream))
        Send_Steam2Que(q_main_stream, &stream, kRecordChn);
    ret = DU_DUZ_VENC_ReleaseStream(chn, &stream);
    free(stream.pstPack);
    return ret == 0 ? Take::took : Take::failed;
}

// The thread's end: the consumer is told, whatever way it ends.
struct StreamEnd {
    ~StreamEnd()
    {
        if (u32 n = g_after_close.end(); n > 1)
            printf("KX_DV_GetVencStreamProc: %u frames came after the recording closed\n", n);
        g_live = false;
        wake_consumer();
    }
};

void stop_recv(const VENC_CHN *chns, int n)
{
    for (int i = 0; i < n; i++)
        DU_DUZ_VENC_StopRecvPic(chns[i]);
}

void *KX_DV_GetVencStreamProc(void *)
{
    printf("====== %s %s %s ======\n", __DATE__, __TIME__, "KX_DV_GetVencStreamProc");
    StreamEnd end;
    VENC_CHN chns[2];
    s32 fds[2];
    int n = 0, maxfd = -1;
    for (VENC_CHN chn : {1, 2}) {
        if (!gsDvConfig.sVenc.sParam[chn].bEnable)
            continue;
        s32 ret = DU_DUZ_VENC_StartRecvPic(chn);
        if (ret != 0) {
            printf("DU_DUZ_VENC_StartRecvPic [%d] faild with %#x!\n", chn, ret);
            stop_recv(chns, n);
            return nullptr;
        }
        chns[n] = chn;
        fds[n++] = DU_DUZ_VENC_GetFd(chn);
        if (fds[n - 1] < 0) {
            printf("DU_DUZ_VENC_GetFd failed with %#x!\n", fds[n - 1]);
            stop_recv(chns, n);
            return nullptr;
        }
        maxfd = std::max(maxfd, fds[n - 1]);
    }

    bool told_timeout = false;
    while (venc_getStream_Run.load() == 1) {
        fd_set set;
        FD_ZERO(&set);
        for (int i = 0; i < n; i++)
            FD_SET(fds[i], &set);
        struct timeval tv = {2, 0};
        int ready = select(maxfd + 1, &set, nullptr, nullptr, &tv);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            puts("select failed!");
            break;
        }
        if (ready == 0) {
            if (!told_timeout)
                puts("get venc stream time out, continue");
            told_timeout = true;
            continue;
        }
        for (int i = 0; i < n; i++)
            if (FD_ISSET(fds[i], &set) && take_stream(chns[i]) == Take::failed)
                break;
    }

    for (int i = 0; i < n; i++) {
        s32 ret = DU_DUZ_VENC_StopRecvPic(chns[i]);
        if (ret != 0) {
            printf("DU_DUZ_VENC_StopRecvPic err 0x%x\n", ret);
            break;
        }
    }
    // What the encoder coded before its stop is the recording's too.
    for (int i = 0; i < n; i++)
        while (take_stream(chns[i]) == Take::took) {
        }
    printf("%s run end\n", "KX_DV_GetVencStreamProc");
    return nullptr;
}

} // namespace

s32 KX_DV_StartGetStream(void)
{
    puts("KX_DV_StartGetStream");
    KX_DV_StopGetStream(); // one stream thread at a time
    g_drop_until_key = false;
    g_drop_run = 0;
    g_last_pts = 0;
    g_live = true;
    int ret = run_thread_start(g_stream_thread, venc_getStream_Run, KX_DV_GetVencStreamProc);
    if (ret != 0) {
        printf("Thread creation failed:%d", ret);
        g_live = false;
    }
    return ret;
}

s32 KX_DV_StopGetStream(void) { return run_thread_stop(g_stream_thread, venc_getStream_Run); }

s32 Fill_RecData2Buffer(const u8 *data, u32 length, u32 channel, KX_REC_VIDEO_PKT_S *record)
{
    if (channel != kRecordChn || !main_rec_buf || length > g_u32MainStreamBufferSize)
        return -1;
    if ((u64)main_rec_offset + length > g_u32MainStreamBufferSize) {
        // The tail stays as it is; it is free again once the consumer passes it.
        g_ring.head += g_u32MainStreamBufferSize - std::min(main_rec_offset, g_u32MainStreamBufferSize);
        main_rec_offset = 0;
    }
    memcpy(main_rec_buf + main_rec_offset, data, length);
    record->u32Offset = main_rec_offset;
    main_rec_offset += length;
    g_ring.head += length;
    return 0;
}

s32 Send_Steam2Que(KX_OrderQueue *queue, const VENC_STREAM_REC_S *stream, u32 channel)
{
    if (!stream || !stream->pstPack) {
        puts("stream buffer is null ");
        return -1;
    }
    if (channel != kRecordChn || !queue || !stVideoWriteQueData)
        return -1;
    ring_take();
    s32 result = 0;
    for (u32 i = 0; i < stream->u32PackNum; i++) {
        const VENC_PACK_REC_S &pack = stream->pstPack[i];
        KX_REC_VIDEO_PKT_S &rec = *stVideoWriteQueData;
        memset(&rec, 0, sizeof rec);
        rec.u64Pts = pack.u64TimeStamp;
        rec.u64Seq = u64VideoIndex++;

        // The NAL header byte after the start code must be inside the pack.
        if (!pack.pu8Data || pack.u32DataOffset > pack.u32Len ||
            pack.u32Len - pack.u32DataOffset <= kNalHeaderAt) {
            puts("send no data cmd");
            result = -1;
            continue;
        }
        const u8 *data = pack.pu8Data + pack.u32DataOffset;
        const u32 len = pack.u32Len - pack.u32DataOffset;
        int key = key_flag(data[kNalHeaderAt]);
        if (key < 0) {
            puts("bad data .....");
            continue;
        }
        rec.u32KeyFlag = (u32)key;
        note_gap(rec.u64Pts);
        if (g_drop_until_key && !key) {
            note_drop();
            continue;
        }
        const bool full = KX_OrderQueue_Full(queue) == 1;
        if (full || !ring_fits(len)) {
            if (!g_drop_until_key)
                puts(full ? "Record Dat Que is real Full" : "Record Dat Buf is real Full");
            g_drop_until_key = true;
            note_drop();
            continue;
        }
        g_drop_until_key = false;
        end_drop_run();
        if (Fill_RecData2Buffer(data, len, channel, &rec) != 0)
            return -1;
        rec.u32Len = len;
        rec.u32End = rec.u32Offset + len;
        if (KX_OrderQueue_Write(queue, &rec, sizeof rec) != 0) {
            // Its bytes stay counted until a later record is consumed.
            g_drop_until_key = true;
            note_drop();
            continue;
        }
        g_ring.spans.push_back(Span{rec.u64Seq, g_ring.head});
        note_queued(KX_OrderQueue_GetRealDepth(queue), rec.u64Pts);
        wake_consumer();
    }
    return result;
}

s32 KX_Que_SaveH265(FILE *file, const u8 *buffer, u32 size)
{
    fwrite(buffer, 1, size, file);
    fflush(file);
    return 0;
}

void dv_stream_consumed(const KX_REC_VIDEO_PKT_S *record)
{
    u64 next = record->u64Seq + 1;
    if (next > g_consumed_before.load(std::memory_order_relaxed))
        g_consumed_before.store(next, std::memory_order_release);
}

bool dv_stream_live(void) { return g_live.load(); }

void dv_stream_wait(u32 ms)
{
    std::unique_lock<std::mutex> lock(g_wait_lock);
    if (KX_OrderQueue_Empty(q_main_stream) != 1)
        return;
    g_wait_cv.wait_for(lock, std::chrono::milliseconds(ms));
}

DvStreamStats dv_stream_stats(void)
{
    std::lock_guard<std::mutex> lock(g_stats_lock);
    return g_stats;
}

void dv_stream_stats_reset(void)
{
    std::lock_guard<std::mutex> lock(g_stats_lock);
    g_stats = DvStreamStats{};
}

u64 dv_stream_lost(const DvStreamStats &s) { return s.u64LostUp + s.u64Dropped + s.u64LeftOut; }

void dv_stream_left_out(void) { count(&DvStreamStats::u64LeftOut, 1); }

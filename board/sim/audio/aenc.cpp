// /dev/aenc: the audio encoder driver. It keeps 32 channels. Frames of a bound
// capture channel wait in the channel's queue until the unit's thread takes
// them; encoding happens in user space, which writes each packet into the
// channel's stream buffer and tells the driver the new write tail. The driver
// hands packets out by address (get-stream) and marks the channel's
// descriptors readable while a packet waits.
#include "board/sim/audio/audio.h"
#include "board/sim/drop_run.h"
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "mpi/audio/aenc/aenc_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

namespace sim {
namespace {

using audio::FramePtr;

constexpr unsigned kChns = 32;
// Bound frames a channel holds for its thread, older ones dropped: as many
// as a capture device keeps at most, so that a thread kept away for a
// second loses none (the device's frame pool runs out first).
constexpr size_t kFrameQueue = 50;
constexpr u32 kMaxPayloadType = 1004;

s32 code(u32 c) { return mpi_status(DU_ID_AENC, c); }

class AencFile;

struct Chn {
    bool created = false;
    AENC_CHANNEL_CFG_S cfg{};
    std::deque<FramePtr> frames; // bound frames not yet taken
    std::vector<FramePtr> held;  // taken, not yet released
    DropRun drops;               // bound frames nobody took in time
    AENC_DBG_INFO_S dbg{};
    AUDIO_SAVE_FILE_INFO_S save{};
    // The stream buffer user space writes: control block, then data area.
    bool buf_set = false;
    AENC_STRMBUF_REQ_S buf{};
    u32 wr_tail = 0;
    bool readable = false;
    std::vector<std::weak_ptr<AencFile>> files; // descriptors bound to the channel
};

struct Aenc {
    std::mutex lock;
    std::condition_variable packet_cv;
    uint64_t generation = 0;
    Chn chn[kChns];
};

Aenc &aenc()
{
    static Aenc a;
    return a;
}

// ---- the stream buffer -------------------------------------------------------------------

u32 data_phys(const Chn &ch) { return ch.buf.u32PhyAddr + ch.buf.u32CbLen; }
u32 rd_head(const Chn &ch) { return phys_read32(ch.buf.u32PhyAddr + VALG_CB_RDHEAD_OFS); }

u32 next_slot(const Chn &ch, u32 ofs)
{
    ofs += ch.buf.u32CbPackLen;
    return ofs >= ch.buf.u32DataLen ? 0 : ofs;
}

// A slot offset that user space may legitimately hold.
bool slot_ok(const Chn &ch, u32 ofs) { return ofs < ch.buf.u32DataLen && ofs % ch.buf.u32CbPackLen == 0; }

bool packet_waits(const Chn &ch, u32 head) { return ch.buf_set && slot_ok(ch, head) && head != ch.wr_tail; }

class AencFile : public Device, public std::enable_shared_from_this<AencFile> {
public:
    int ioctl(unsigned long request, void *arg) override;

private:
    u32 chn_ = 0;
};

// Brings the readable mark of every descriptor of the channel in line with
// whether a packet waits at `head`.
void mark(Chn &ch, u32 head)
{
    bool on = packet_waits(ch, head);
    if (on == ch.readable)
        return;
    ch.readable = on;
    for (auto &w : ch.files)
        if (auto f = w.lock())
            f->set_readable(on);
}

// Back to power-on state; the descriptors stay bound, with nothing to read.
void reset_chn(Chn &ch)
{
    auto files = std::move(ch.files);
    bool readable = ch.readable;
    ch = Chn();
    ch.files = std::move(files);
    ch.readable = readable;
    mark(ch, 0);
}

audio::SinkRegistration aenc_sink(DU_ID_AENC, [](const ChnAddr &dst, const FramePtr &frame) {
    Aenc &s = aenc();
    if (dst.chn < 0 || (unsigned)dst.chn >= kChns)
        return;
    std::lock_guard<std::mutex> lock(s.lock);
    Chn &ch = s.chn[dst.chn];
    if (!ch.created)
        return;
    if (ch.frames.size() >= kFrameQueue) {
        ch.frames.pop_front();
        ch.drops.drop("aenc", "chn " + std::to_string(dst.chn) + " drops a bound frame (nobody takes them)");
    } else {
        ch.drops.pass();
    }
    ch.frames.push_back(frame);
});

Hooks aenc_hooks(nullptr, [] {
    Aenc &s = aenc();
    std::lock_guard<std::mutex> lock(s.lock);
    for (Chn &ch : s.chn)
        reset_chn(ch);
    s.generation++;
    s.packet_cv.notify_all();
});

using audio::load;
using audio::store;

// What an AENC request works on: the driver under its lock, the descriptor
// and the channel it serves (set by the bind request).
struct AencCall {
    Aenc &s;
    std::unique_lock<std::mutex> &lock;
    AencFile &file;
    u32 &chn;
    Chn &ch() { return s.chn[chn]; }
};

int aenc_bind_chn(AencCall &k, void *arg)
{
    Aenc &s = k.s;
    u32 c;
    if (int r = audio::bind_channel(arg, kChns, DU_ID_AENC, &c))
        return r;
    auto self = k.file.shared_from_this();
    auto &old = s.chn[k.chn].files;
    old.erase(std::remove_if(old.begin(), old.end(),
                             [&](const std::weak_ptr<AencFile> &w) { return w.expired() || w.lock() == self; }),
              old.end());
    k.chn = c;
    s.chn[c].files.push_back(self);
    k.file.set_readable(s.chn[c].readable);
    return 0;
}

int aenc_query_payload(AencCall &, void *arg)
{
    AENC_PAYLOAD_QUERY_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (q.enType >= kMaxPayloadType)
        return code(ERR_ILLEGAL_PARAM);
    q.bKernelEnc = 0; // every payload is encoded in user space here
    return load(arg, q);
}

int aenc_create_chn(AencCall &k, void *arg)
{
    Chn &ch = k.ch();
    AENC_CHANNEL_CFG_S cfg;
    if (!get_user(cfg, arg))
        return fail(EFAULT);
    if (ch.created)
        return code(ERR_EXIST);
    if (cfg.enType >= kMaxPayloadType || cfg.u32BufSize < 2 || cfg.u32BufSize > 50)
        return code(ERR_ILLEGAL_PARAM);
    ch.created = true;
    ch.cfg = cfg;
    event("aenc", "create chn %u type %u, %u samples, %u slots", k.chn, cfg.enType, cfg.u32PtNumPerFrm,
          cfg.u32BufSize);
    return 0;
}

int aenc_destroy_chn(AencCall &k, void *)
{
    Chn &ch = k.ch();
    ch.drops.flush();
    if (ch.created)
        event("aenc", "destroy chn %u", k.chn);
    ch.created = false;
    ch.frames.clear(); // frames out stay out until the unit's thread gives them back
    k.s.packet_cv.notify_all();
    return 0;
}

int aenc_get_frame(AencCall &k, void *arg)
{
    Chn &ch = k.ch();
    if (!ch.created)
        return code(ERR_UNEXIST);
    if (ch.frames.empty())
        return code(ERR_BUF_EMPTY);
    AI_FRAME_REC_S rec = audio::frame_record(*ch.frames.front());
    if (!put_user(arg, rec))
        return fail(EFAULT);
    ch.held.push_back(ch.frames.front());
    ch.frames.pop_front();
    return 0;
}

int aenc_strmbuf_init(AencCall &k, void *arg)
{
    Chn &ch = k.ch();
    AENC_STRMBUF_REQ_S b;
    if (!get_user(b, arg))
        return fail(EFAULT);
    if (b.u32CbLen != AENC_CB_LEN || b.u32CbPackLen < sizeof(AENC_STREAM_HEADER_S) || b.u32CbPackLen % 64 ||
        b.u32DataLen == 0 || b.u32DataLen % b.u32CbPackLen)
        return code(ERR_ILLEGAL_PARAM);
    // The whole block must be memory this board handed out.
    if (phys_alloc_size(b.u32PhyAddr & ~4095u) < (b.u32PhyAddr & 4095u) + b.u32CbLen + b.u32DataLen)
        return code(ERR_ILLEGAL_PARAM);
    ch.buf = b;
    ch.buf_set = true;
    ch.wr_tail = phys_read32(b.u32PhyAddr + VALG_CB_WRTAIL_OFS);
    if (!slot_ok(ch, ch.wr_tail))
        ch.wr_tail = 0;
    mark(ch, rd_head(ch));
    return 0;
}

int aenc_strmbuf_deinit(AencCall &k, void *)
{
    Chn &ch = k.ch();
    mark(ch, ch.wr_tail);
    ch.buf_set = false;
    k.s.packet_cv.notify_all();
    return 0;
}

int aenc_update_wrtail(AencCall &k, void *arg)
{
    Chn &ch = k.ch();
    u32 tail;
    if (!get_user(tail, arg))
        return fail(EFAULT);
    if (!ch.buf_set)
        return code(ERR_UNEXIST);
    if (!slot_ok(ch, tail))
        return code(ERR_ILLEGAL_PARAM);
    ch.wr_tail = tail;
    mark(ch, rd_head(ch));
    k.s.packet_cv.notify_all();
    return 0;
}

// Waits as asked for a packet and answers with its slot; the unit moves the
// read head itself.
int aenc_get_stream(AencCall &k, void *arg)
{
    Aenc &s = k.s;
    AENC_GET_STREAM_REQ_S req;
    if (!get_user(req, arg))
        return fail(EFAULT);
    Chn &ch = k.ch();
    if (!ch.created || !ch.buf_set)
        return code(ERR_UNEXIST);
    uint64_t gen = s.generation;
    wait_ms(s.packet_cv, k.lock, req.s32MilliSec,
            [&] { return packet_waits(ch, rd_head(ch)) || !ch.created || !ch.buf_set || s.generation != gen; });
    if (!ch.created || !ch.buf_set || s.generation != gen)
        return code(ERR_UNEXIST);
    u32 head = rd_head(ch);
    if (!packet_waits(ch, head))
        return code(ERR_BUF_EMPTY);

    u32 slot = data_phys(ch) + head;
    AENC_STREAM_HEADER_S hdr;
    memcpy(&hdr, phys(slot), sizeof hdr);
    if (hdr.u32Len > ch.buf.u32CbPackLen - sizeof hdr)
        return code(ERR_ILLEGAL_PARAM); // a slot user space never finished
    req.stStream.pStream = nullptr;
    req.stStream.u32PhyAddr = slot + sizeof hdr;
    req.stStream.u32Len = hdr.u32Len;
    req.stStream.u64TimeStamp = hdr.u64TimeStamp;
    req.stStream.u32Seq = hdr.u32Seq;
    if (!put_user(arg, req))
        return fail(EFAULT);
    mark(ch, next_slot(ch, head)); // the unit takes this one now
    return 0;
}

int aenc_release_stream(AencCall &k, void *arg)
{
    Chn &ch = k.ch();
    AENC_STREAM_OUT_S out;
    if (!get_user(out, arg))
        return fail(EFAULT);
    if (!ch.buf_set)
        return code(ERR_UNEXIST);
    u32 tail = phys_read32(ch.buf.u32PhyAddr + VALG_CB_RDTAIL_OFS);
    if (!slot_ok(ch, tail) || out.u32PhyAddr != data_phys(ch) + tail + sizeof(AENC_STREAM_HEADER_S))
        return code(ERR_ILLEGAL_PARAM);
    return 0;
}

const IoctlOp<AencCall> kAencOps[] = {
    {AENC_BIND_CHN_CTRL, aenc_bind_chn},
    {AENC_QUERY_PAYLOAD_CTRL, aenc_query_payload},
    {AENC_CREATE_CHN_CTRL, aenc_create_chn},
    {AENC_DESTROY_CHN_CTRL, aenc_destroy_chn},
    {AENC_GET_FRAME_CTRL, aenc_get_frame},
    {AENC_RELEASE_FRAME_CTRL,
     [](AencCall &k, void *arg) {
         AI_FRAME_REC_S rec;
         return get_user(rec, arg) ? audio::release_held(k.ch().held, rec, DU_ID_AENC) : fail(EFAULT);
     }},
    {AENC_DBG_INFO_CTRL, [](AencCall &k, void *arg) { return store(arg, k.ch().dbg); }},
    {AENC_STRMBUF_INIT_CTRL, aenc_strmbuf_init},
    {AENC_STRMBUF_DEINIT_CTRL, aenc_strmbuf_deinit},
    {AENC_UPDATE_WRTAIL_CTRL, aenc_update_wrtail},
    {AENC_WRTAIL_DONE_CTRL,
     [](AencCall &k, void *) {
         k.s.packet_cv.notify_all();
         return 0;
     }},
    {AENC_GET_STREAM_CTRL, aenc_get_stream},
    {AENC_RELEASE_STREAM_CTRL, aenc_release_stream},
    // The payload query never hands encoding to the kernel here.
    {AENC_SEND_FRAME_CTRL, [](AencCall &, void *) { return code(ERR_NOT_SUPPORT); }},
    {AENC_SET_SAVEFILE_CTRL, [](AencCall &k, void *arg) { return store(arg, k.ch().save); }},
    {AENC_GET_SAVEFILE_CTRL, [](AencCall &k, void *arg) { return load(arg, k.ch().save); }},
};

int AencFile::ioctl(unsigned long request, void *arg)
{
    if (mpp_refused("aenc", request))
        return fail(EIO);
    Aenc &s = aenc();
    std::unique_lock<std::mutex> lock(s.lock);
    AencCall call{s, lock, *this, chn_};
    return dispatch(kAencOps, request, call, arg);
}

DeviceRegistration aenc_device("/dev/aenc", [](int) { return std::make_shared<AencFile>(); });

} // namespace
} // namespace sim

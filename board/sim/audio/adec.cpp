// /dev/adec: the audio decoder driver. Decoding happens in user space; the
// driver only keeps what it is told of its 32 channels: their attributes
// while they exist and their counters, which it checks hang together and
// logs when the channel goes.
#include "board/sim/audio/audio.h"
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "mpi/audio/adec/adec_requests.h"

#include <cerrno>
#include <mutex>

namespace sim {
namespace {

constexpr unsigned kChns = 32;

s32 code(u32 c) { return mpi_status(DU_ID_ADEC, c); }

struct Chn {
    bool created = false;
    ADEC_CHN_ATTR_S attr{};
    ADEC_CHN_STAT_S stat{};
};

struct Adec {
    std::mutex lock;
    Chn chn[kChns];
};

Adec &adec()
{
    static Adec a;
    return a;
}

Hooks adec_hooks(nullptr, [] {
    Adec &s = adec();
    std::lock_guard<std::mutex> lock(s.lock);
    for (Chn &ch : s.chn)
        ch = Chn();
});

// What an ADEC request works on: the channel the descriptor serves (set by
// the bind request), under the driver's lock.
struct AdecCall {
    Adec &s;
    u32 &chn;
    Chn &ch() { return s.chn[chn]; }
};

// What the unit lets through its own attribute check.
bool attr_valid(const ADEC_CHN_ATTR_S &a)
{
    return a.enType < 1004 && a.u32BufSize >= 2 && a.u32BufSize <= 50 && a.enMode <= ADEC_MODE_STREAM;
}

int adec_create_chn(AdecCall &k, void *arg)
{
    Chn &ch = k.ch();
    ADEC_CHN_ATTR_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (ch.created)
        return code(ERR_EXIST);
    if (!attr_valid(a))
        return code(ERR_ILLEGAL_PARAM);
    ch = Chn();
    ch.created = true;
    ch.attr = a;
    event("adec", "create chn %u type %u mode %u, %u frames", k.chn, a.enType, a.enMode, a.u32BufSize);
    return 0;
}

int adec_destroy_chn(AdecCall &k, void *)
{
    const ADEC_CHN_STAT_S &st = k.ch().stat;
    if (k.ch().created)
        event("adec", "destroy chn %u: %u packets, %u frames decoded, %u got, %u released", k.chn, st.u32RecvPkt,
              st.u32DecFrm, st.u32GetFrm, st.u32RelFrm);
    k.ch().created = false;
    return 0;
}

// Counters only grow while a channel exists, and no frame is handed out or
// given back before it was decoded and handed out.
int adec_chn_stat(AdecCall &k, void *arg)
{
    ADEC_CHN_STAT_S st;
    if (!get_user(st, arg))
        return fail(EFAULT);
    Chn &ch = k.ch();
    if (!ch.created)
        return code(ERR_UNEXIST);
    if (st.u32RecvPkt < ch.stat.u32RecvPkt || st.u32DecFrm < ch.stat.u32DecFrm || st.u32GetFrm < ch.stat.u32GetFrm ||
        st.u32RelFrm < ch.stat.u32RelFrm || st.u32GetFrm > st.u32DecFrm || st.u32RelFrm > st.u32GetFrm)
        return code(ERR_ILLEGAL_PARAM);
    ch.stat = st;
    return 0;
}

const IoctlOp<AdecCall> kAdecOps[] = {
    {ADEC_BIND_CHN_CTRL, [](AdecCall &k, void *arg) { return audio::bind_channel(arg, kChns, DU_ID_ADEC, &k.chn); }},
    {ADEC_CREATE_CHN_CTRL, adec_create_chn},
    {ADEC_DESTROY_CHN_CTRL, adec_destroy_chn},
    {ADEC_CHN_STAT_CTRL, adec_chn_stat},
};

class AdecFile : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        if (mpp_refused("adec", request))
            return fail(EIO);
        Adec &s = adec();
        std::lock_guard<std::mutex> lock(s.lock);
        AdecCall call{s, chn_};
        return dispatch(kAdecOps, request, call, arg);
    }

private:
    u32 chn_ = 0;
};

DeviceRegistration adec_device("/dev/adec", [](int) { return std::make_shared<AdecFile>(); });

} // namespace
} // namespace sim

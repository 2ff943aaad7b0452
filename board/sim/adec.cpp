// /dev/adec: the audio decoder driver. Decoding happens in user space; the
// driver only keeps what it is told of its 32 channels: their attributes
// while they exist and their counters.
#include "board/sim/audio.h"
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

class AdecFile : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        Adec &s = adec();
        std::lock_guard<std::mutex> lock(s.lock);
        Chn &ch = s.chn[chn_];
        switch (request) {
        case ADEC_BIND_CHN_CTRL:
            return audio::bind_channel(arg, kChns, DU_ID_ADEC, &chn_);
        case ADEC_CREATE_CHN_CTRL: {
            ADEC_CHN_ATTR_S a;
            if (!get_user(a, arg))
                return fail(EFAULT);
            if (ch.created)
                return code(ERR_EXIST);
            ch = Chn();
            ch.created = true;
            ch.attr = a;
            event("adec", "create chn %u type %u mode %u, %u frames", chn_, a.enType, a.enMode, a.u32BufSize);
            return 0;
        }
        case ADEC_DESTROY_CHN_CTRL:
            if (ch.created)
                event("adec", "destroy chn %u", chn_);
            ch.created = false;
            return 0;
        case ADEC_CHN_STAT_CTRL:
            if (!get_user(ch.stat, arg))
                return fail(EFAULT);
            return 0;
        default:
            return fail(EINVAL);
        }
    }

private:
    u32 chn_ = 0;
};

DeviceRegistration adec_device("/dev/adec", [](int) { return std::make_shared<AdecFile>(); });

} // namespace
} // namespace sim

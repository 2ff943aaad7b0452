// /dev/tlv320aic31: the audio codec behind the capture and output devices.
// It takes the camera's set-up requests, each with its control record, and
// logs them in the order they come.
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "board/tlv320aic31_requests.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace {

using namespace sim;

bool known(unsigned long req)
{
    return std::find(std::begin(AIC31_REQUESTS), std::end(AIC31_REQUESTS), req) != std::end(AIC31_REQUESTS);
}

class CodecFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (!known(req))
            return fail(EINVAL);
        if (mpp_refused("tlv320", req))
            return fail(EIO);
        Aic31Ctrl c;
        if (!get_user(c, arg))
            return fail(EFAULT);
        if (aic31_get(c.u32Ctrl, AIC31_CHIP) != 0)
            return fail(ENXIO); // one codec on this board
        event("tlv320", "req 0x%02lx ctrl %#010x level %u a %u b %u master %u data %u rate %u", req, c.u32Ctrl,
              aic31_get(c.u32Ctrl, AIC31_LEVEL), aic31_get(c.u32Ctrl, AIC31_SWITCH_A),
              aic31_get(c.u32Ctrl, AIC31_SWITCH_B), aic31_get(c.u32Ctrl, AIC31_MASTER), c.u32Data,
              c.u32SampleRate);
        return 0;
    }
};

DeviceRegistration codec_device("/dev/tlv320aic31", [](int) { return std::make_shared<CodecFile>(); });

} // namespace

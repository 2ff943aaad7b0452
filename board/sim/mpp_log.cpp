// /dev/logmpp: the media platform's kernel log. Each module has a level; the
// drivers' lines up to it collect in a bounded buffer that read() drains.
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "mpi/video/sys/sys_requests.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace sim {

namespace {

constexpr s32 kDefaultLevel = 3; // errors
constexpr size_t kLogMax = 64 * 1024;

std::mutex g_lock;
s32 g_level[DU_ID_BUTT];
u32 g_wait = 0;
std::string g_text;

Hooks log_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    for (s32 &l : g_level)
        l = kDefaultLevel;
    g_wait = 0;
    g_text.clear();
});

// The module a level record names: its id, or "all" by name with the id DU_ID_BUTT.
bool record_ok(const LOG_LEVEL_CONF_S &rec)
{
    return rec.enModId < DU_ID_BUTT ||
           (rec.enModId == DU_ID_BUTT && strncmp(rec.cModName, "all", sizeof rec.cModName) == 0);
}

int log_set_level(void *arg)
{
    LOG_LEVEL_CONF_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (!record_ok(rec) || rec.s32Level < 0 || rec.s32Level > LOG_LEVEL_MAX)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    std::lock_guard<std::mutex> lock(g_lock);
    for (u32 m = 0; m < DU_ID_BUTT; m++)
        if (m == rec.enModId || rec.enModId == DU_ID_BUTT)
            g_level[m] = rec.s32Level;
    return 0;
}

int log_get_level(void *arg)
{
    LOG_LEVEL_CONF_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (rec.enModId >= DU_ID_BUTT)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        rec.s32Level = g_level[rec.enModId];
    }
    return put_user(arg, rec) ? 0 : fail(EFAULT);
}

int log_set_wait(void *arg)
{
    u32 wait;
    if (!get_user(wait, arg))
        return fail(EFAULT);
    std::lock_guard<std::mutex> lock(g_lock);
    g_wait = wait;
    return 0;
}

const IoctlOp<void> kLogOps[] = {
    {LOG_SET_LEVEL_CTRL, log_set_level},
    {LOG_GET_LEVEL_CTRL, log_get_level},
    {LOG_SET_WAIT_CTRL, log_set_wait},
};

class LogDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override { return dispatch(kLogOps, request, arg); }

    // Never blocks: an empty log reads 0 bytes.
    ssize_t read(void *buf, size_t count) override
    {
        std::lock_guard<std::mutex> lock(g_lock);
        size_t n = std::min(count, g_text.size());
        if (n && !copy_to_user(buf, g_text.data(), n))
            return fail(EFAULT);
        g_text.erase(0, n);
        return (ssize_t)n;
    }
};

DeviceRegistration log_device("/dev/logmpp", [](int) { return std::make_shared<LogDevice>(); });

} // namespace

bool mpp_refused(const char *device, unsigned long request)
{
    unsigned long refused = strtoul(conf(std::string(device) + "_refuse", "0").c_str(), nullptr, 0);
    return refused != 0 && refused == request;
}

void mpp_log(uint32_t mod, int level, const char *fmt, ...)
{
    char what[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(what, sizeof what, fmt, ap);
    va_end(ap);
    std::lock_guard<std::mutex> lock(g_lock);
    if (mod >= DU_ID_BUTT || level > g_level[mod])
        return;
    g_text += "<" + std::to_string(level) + ">[mod " + std::to_string(mod) + "] " + what + "\n";
    if (g_text.size() > kLogMax) // the oldest lines go first
        g_text.erase(0, g_text.find('\n', g_text.size() - kLogMax) + 1);
}

} // namespace sim

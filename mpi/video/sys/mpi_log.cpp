// The platform log over /dev/logmpp. Its calls answer the C library's errno
// when the device won't open and -1 for a null record, not status codes.
#include <cerrno>
#include <fcntl.h>

#include "board/board.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/sys/sys_ctx.h"
#include "mpi/video/sys/sys_requests.h"

s32 g_s32LogFd = -1;

namespace {

// 0 once the device is open, else errno.
s32 log_open()
{
    static const mpi_dev_node node = {"/dev/logmpp", O_RDWR, 0, 0};
    mpi_dev_result r = mpi_dev_open(&g_s32LogFd, node);
    if (r.ok())
        return 0;
    perror("open");
    return r.err;
}

s32 log_call(unsigned long request, void *record)
{
    if (s32 err = log_open())
        return err;
    if (!record) {
        fprintf(stderr, "null ptr!\n");
        return -1;
    }
    return bd_ioctl(g_s32LogFd, request, record);
}

} // namespace

s32 DU_DUZ_LOG_SetLevelConf(LOG_LEVEL_CONF_S *pstConf) { return log_call(LOG_SET_LEVEL_CTRL, pstConf); }

s32 DU_DUZ_LOG_GetLevelConf(LOG_LEVEL_CONF_S *pstConf) { return log_call(LOG_GET_LEVEL_CTRL, pstConf); }

s32 DU_DUZ_LOG_SetWaitFlag(u32 bWait) { return log_call(LOG_SET_WAIT_CTRL, &bWait); }

s32 DU_DUZ_LOG_Read(char *pBuf, u32 u32Len)
{
    if (s32 err = log_open())
        return err;
    return (s32)bd_read(g_s32LogFd, pBuf, u32Len);
}

s32 DU_DUZ_LOG_GetFileHandle(void)
{
    log_open();
    return g_s32LogFd;
}

s32 DU_DUZ_LOG_Close(void)
{
    if (g_s32LogFd <= 0)
        return g_s32LogFd;
    s32 ret = bd_close(g_s32LogFd);
    g_s32LogFd = -1;
    return ret;
}

// The video encoder unit: its user context and channel descriptors.
#include "mpi/video/venc/mpi_venc.h"

#include <cstring>

#include "board/board.h"
#include "mpi/video/venc/venc_requests.h"

u32 s_bMpiVencInit = DU_FALSE;
pthread_mutex_t stVencLock;
VENC_CHN_CTX_S g_stMpiVencChn[VENC_MAX_CHN_NUM];
s32 s32VencMemFd = -1;

namespace {

// Not open until the first call on the channel: no descriptor 0 to close.
struct ClosedAtStart {
    ClosedAtStart()
    {
        for (VENC_CHN_CTX_S &chn : g_stMpiVencChn)
            chn.s32Fd = -1;
    }
} s_closed_at_start;

bool chn_ok(s32 chn, const char *func)
{
    if ((u32)chn < VENC_MAX_CHN_NUM)
        return true;
    fprintf(stderr, "func:%s, chnid %d err,should in [0,VENC_MAX_CHN_NUM)\n", func, chn);
    return false;
}

} // namespace

s32 MPI_VENC_Init(void)
{
    if (s_bMpiVencInit)
        return 0;
    if (pthread_mutex_init(&stVencLock, nullptr) != 0) {
        fprintf(stderr, "Mpi venc init failed in line %d\n", __LINE__);
        return -1;
    }
    memset(g_stMpiVencChn, 0, sizeof g_stMpiVencChn);
    for (u32 i = 0; i < VENC_MAX_CHN_NUM; i++) {
        g_stMpiVencChn[i].s32Fd = -1;
        if (pthread_mutex_init(&g_stMpiVencChn[i].stMutex, nullptr) != 0) {
            fprintf(stderr, "Mpi venc init failed in line %d\n", __LINE__);
            return -1;
        }
    }
    s_bMpiVencInit = DU_TRUE;
    return 0;
}

s32 MPI_VENC_Exit(void)
{
    if (!s_bMpiVencInit)
        return 0;
    for (s32 i = 0; i < (s32)VENC_MAX_CHN_NUM; i++) {
        DU_DUZ_VENC_CloseFd(i);
        pthread_mutex_destroy(&g_stMpiVencChn[i].stMutex);
    }
    pthread_mutex_destroy(&stVencLock);
    s_bMpiVencInit = DU_FALSE;
    return 0;
}

s32 DU_DUZ_VENC_CloseFd(s32 VeChn)
{
    if (!chn_ok(VeChn, __FUNCTION__))
        return DU_ERR_VENC_INVALID_CHNID;
    VENC_CHN_CTX_S *chn = &g_stMpiVencChn[VeChn];
    if (chn->s32Fd < 0)
        return 0;
    s32 ret = bd_close(chn->s32Fd);
    if (ret != 0) {
        printf("Close VENC Channel %d Fd Fail\n", VeChn);
        return ret;
    }
    chn->s32Fd = -1;
    // The shared mapping descriptor goes with it; mappings made stay valid.
    if (s32VencMemFd >= 0) {
        ret = bd_close(s32VencMemFd);
        if (ret != 0) {
            perror("Close Venc Mem Fd Fail\n");
            return ret;
        }
        s32VencMemFd = -1;
    }
    return 0;
}

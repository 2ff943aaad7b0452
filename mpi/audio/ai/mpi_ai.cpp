// Audio input unit.
#include "mpi/audio/ai/mpi_ai.h"

#include <cstdlib>
#include <cstring>

#include "mpi/audio/ai/ai_requests.h"

s32 g_s32AiFd[AIO_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAiInit = DU_FALSE;
MPI_AI_DEV_S s_stMpiAiDev;
MPI_AI_CHN_S s_stMpiAiChn[AIO_MAX_CHN_NUM];
AI_VQE_STATE_S g_astVqeState[AIO_MAX_CHN_NUM];
AI_SAVE_FILE_S s_astAiSaveFile[AIO_MAX_CHN_NUM];

const AUDIO_NODE_S g_stAiNode = {"/dev/ai", AI_BIND_CHN_CTRL, DU_ID_AI, AUDIO_OPEN_MSG_TRACE, "open /dev/ai failed!\n",
                                 false};

s32 MPI_AI_Init(void)
{
    if (s_bAiInit)
        return 0;
    memset(&s_stMpiAiDev, 0, sizeof s_stMpiAiDev);
    for (u32 i = 0; i < AIO_MAX_CHN_NUM; i++) {
        MPI_AI_CHN_S *chn = &s_stMpiAiChn[i];
        memset(chn, 0, sizeof *chn);
        chn->u32ResmpPoolId = 0xFFFFFFFFu;
        chn->s32AoDev = -1;
        chn->s32AoChn = -1;
        memset(&g_astVqeState[i], 0, sizeof g_astVqeState[i]);
        g_astVqeState[i].u32ResmpPoolId = 0xFFFFFFFFu;
        if (pthread_mutex_init(&chn->stMutex, nullptr) != 0 ||
            pthread_mutex_init(&g_astVqeState[i].stMutex, nullptr) != 0)
            return -1;
    }
    s_bAiInit = DU_TRUE;
    return 0;
}

s32 MPI_AI_Exit(void)
{
    if (!s_bAiInit)
        return 0;
    for (u32 i = 0; i < AIO_MAX_CHN_NUM; i++) {
        MPI_AI_CHN_S *chn = &s_stMpiAiChn[i];
        // A channel still enabled would lose its work buffer with the record.
        free(chn->pWorkBuf);
        audio_dump_close(&s_astAiSaveFile[i].stDump);
        pthread_mutex_destroy(&chn->stMutex);
        pthread_mutex_destroy(&g_astVqeState[i].stMutex);
        memset(chn, 0, sizeof *chn);
    }
    s_bAiInit = DU_FALSE;
    return 0;
}

// Audio output unit.
#include "mpi/audio/ao/mpi_ao.h"

#include <cstdlib>
#include <cstring>

#include "mpi/audio/ao/ao_requests.h"

s32 g_s32AoFd[AO_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAoInit = DU_FALSE;
MPI_AO_CHN_S s_astAoChn[AO_MAX_CHN_NUM];

const AUDIO_NODE_S g_stAoNode = {"/dev/ao", AO_BIND_CHN_CTRL, DU_ID_AO, AUDIO_OPEN_MSG_NONE, nullptr, true};

namespace {

// Gives back what an enabled channel holds.
void release_chn_buffers(MPI_AO_CHN_S *chn)
{
    if (chn->stCirBuf[0].pVirAddr)
        audio_free(chn->stCirBuf[0].u32PhyAddr);
    memset(chn->stCirBuf, 0, sizeof chn->stCirBuf);
    for (void *&buf : chn->pWorkBuf) {
        free(buf);
        buf = nullptr;
    }
}

} // namespace

s32 MPI_AO_Init(void)
{
    if (s_bAoInit)
        return 0;
    SYS_BIND_RECEIVER_S stReceiver = {DU_ID_AO, AO_DEV_MAX_NUM, AO_MAX_CHN_NUM, MPI_AO_ReceiveFrm, nullptr};
    s32 s32Ret = SYS_BIND_RegisterReceiver(&stReceiver);
    MPI_ASSERT(DU_SUCCESS == s32Ret);
    for (u32 i = 0; i < AO_MAX_CHN_NUM; i++) {
        memset(&s_astAoChn[i], 0, sizeof s_astAoChn[i]);
        if (pthread_mutex_init(&s_astAoChn[i].stMutex, nullptr) != 0) {
            while (i-- > 0)
                pthread_mutex_destroy(&s_astAoChn[i].stMutex);
            SYS_BIND_UnRegisterReceiver(DU_ID_AO); // so that a later start can register again
            return -1;
        }
    }
    s_bAoInit = DU_TRUE;
    return 0;
}

s32 MPI_AO_Exit(void)
{
    if (!s_bAoInit)
        return 0;
    SYS_BIND_UnRegisterReceiver(DU_ID_AO);
    for (MPI_AO_CHN_S &chn : s_astAoChn) {
        release_chn_buffers(&chn);
        audio_dump_close(&chn.stDump);
        pthread_mutex_destroy(&chn.stMutex);
        memset(&chn, 0, sizeof chn);
    }
    s_bAoInit = DU_FALSE;
    return 0;
}

s32 MPI_AO_ReceiveFrm(s32 s32DevId, s32 s32ChnId, u32 u32Flag, MPP_DATA_TYPE_E enDataType, void *pvData)
{
    MPI_ASSERT(MPP_DATA_AUDIO_FRAME == enDataType);
    MPI_ASSERT(DU_NULL != pvData);
    return DU_DUZ_AO_SendFrame(s32DevId, s32ChnId, static_cast<const AUDIO_FRAME_S *>(pvData), -1);
}

s32 DU_DUZ_AO_SendFrame(s32 AudioDevId, s32 AoChn, const AUDIO_FRAME_S *pstData, s32 s32MilliSec)
{
    if ((u32)AudioDevId >= AO_DEV_MAX_NUM) {
        MPI_TRACE("ao dev %d is invalid\n", AudioDevId);
        return DU_ERR_AO_INVALID_DEVID;
    }
    if ((u32)AoChn >= AO_MAX_CHN_NUM) {
        MPI_TRACE("ao chnid %d is invalid\n", AoChn);
        return DU_ERR_AO_INVALID_CHNID;
    }
    if (s32 ret = audio_node_open(&g_s32AoFd[AoChn], &g_stAoNode, AoChn, __FUNCTION__))
        return ret;
    if (s32MilliSec < -1) {
        MPI_TRACE("s32MilliSec(%d) can not be lower than -1.\n", s32MilliSec);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    if (!pstData) {
        MPI_TRACE("the AUDIO_FRAME_S pointer for is Ao(%d, %d) NULL!\n", AudioDevId, AoChn);
        return DU_ERR_AO_NULL_PTR;
    }
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable) {
        MPI_TRACE("AO chn %d is not enable\n", AoChn);
        return DU_ERR_AO_NOT_ENABLED;
    }
    // Playing needs the channel's circle buffers and the device's frame
    // hand-over, which this unit doesn't drive yet.
    return DU_ERR_AO_NOT_SUPPORT;
}

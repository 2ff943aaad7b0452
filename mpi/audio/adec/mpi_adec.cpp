// Audio decoder unit.
#include "mpi/audio/adec/mpi_adec.h"

#include <cstring>

#include "mpi/audio/adec/adec_requests.h"
#include "mpi/audio/voice/audio_voice_adp.h"
#include "mpi/video/bind/mpi_bind.h"

s32 g_s32AdecFd[ADEC_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAdecInit = DU_FALSE;
MPI_ADEC_CHN_S s_astAdecChn[ADEC_MAX_CHN_NUM];
ADEC_DECODER_CTX_S s_stDecoderCtx;

const AUDIO_NODE_S g_stAdecNode = {"/dev/adec", ADEC_BIND_CHN_CTRL, DU_ID_ADEC, AUDIO_OPEN_MSG_PUTS,
                                   "open adec dev fail", true};

s32 MPI_ADEC_Init(void)
{
    if (s_bAdecInit)
        return 0;
    SYS_BIND_SENDER_S stSender = {DU_ID_ADEC, 1, ADEC_MAX_CHN_NUM, nullptr};
    s32 s32Ret = SYS_BIND_RegisterSender(&stSender);
    MPI_ASSERT(DU_SUCCESS == s32Ret);

    for (u32 i = 0; i < ADEC_MAX_CHN_NUM; i++) {
        memset(&s_astAdecChn[i], 0, sizeof s_astAdecChn[i]);
        s_astAdecChn[i].s32ChnId = -1;
        s_astAdecChn[i].s32Handle = DU_INVALID_HANDLE;
        if (pthread_mutex_init(&s_astAdecChn[i].stMutex, nullptr) != 0) {
            while (i-- > 0)
                pthread_mutex_destroy(&s_astAdecChn[i].stMutex);
            SYS_BIND_UnRegisterSender(DU_ID_ADEC); // so that a later start can register again
            return DU_ERR_ADEC_NOMEM;
        }
    }
    memset(&s_stDecoderCtx, 0, sizeof s_stDecoderCtx);
    for (ADEC_CODEC_ENTRY_S &entry : s_stDecoderCtx.astDecoder)
        entry.enType = ADEC_FREE_PAYLOAD;
    if (pthread_mutex_init(&s_stDecoderCtx.stMutex, nullptr) != 0) {
        for (MPI_ADEC_CHN_S &chn : s_astAdecChn)
            pthread_mutex_destroy(&chn.stMutex);
        SYS_BIND_UnRegisterSender(DU_ID_ADEC);
        return DU_ERR_ADEC_NOMEM;
    }
    DU_DUZ_ADEC_VoiceInit();
    s_bAdecInit = DU_TRUE;
    return 0;
}

void MPI_ADEC_Exit(void)
{
    if (!s_bAdecInit)
        return;
    for (s32 i = 0; i < (s32)ADEC_MAX_CHN_NUM; i++)
        MPI_ADEC_DestroyChn(i);
    for (MPI_ADEC_CHN_S &chn : s_astAdecChn)
        pthread_mutex_destroy(&chn.stMutex);
    SYS_BIND_UnRegisterSender(DU_ID_ADEC);
    pthread_mutex_destroy(&s_stDecoderCtx.stMutex);
    memset(&s_stDecoderCtx, 0, sizeof s_stDecoderCtx);
    s_bAdecInit = DU_FALSE;
}

s32 DU_DUZ_ADEC_RegeisterDecoder(s32 *ps32Handle, const ADEC_CODEC_ENTRY_S *pstDecoder)
{
    if (!ps32Handle || !pstDecoder || !pstDecoder->pfnOpenDecoder || !pstDecoder->pfnDecodeFrm ||
        !pstDecoder->pfnGetFrmInfo || !pstDecoder->pfnCloseDecoder)
        return DU_ERR_ADEC_NULL_PTR;
    MpiMutexGuard lock(&s_stDecoderCtx.stMutex);
    s32 slot = audio_registry_add(s_stDecoderCtx.astDecoder, &s_stDecoderCtx.u32DecoderNum, *pstDecoder, ADEC_FREE_PAYLOAD);
    if (slot < 0)
        return DU_ERR_ADEC_BUF_FULL;
    *ps32Handle = slot;
    return 0;
}

s32 DU_DUZ_ADEC_UnRegisterDecoder(s32 s32Handle)
{
    if ((u32)s32Handle >= ADEC_MAX_DECODER_NUM)
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    MpiMutexGuard lock(&s_stDecoderCtx.stMutex);
    if (!audio_registry_remove(s_stDecoderCtx.astDecoder, &s_stDecoderCtx.u32DecoderNum, (u32)s32Handle, ADEC_FREE_PAYLOAD))
        return DU_ERR_ADEC_ILLEGAL_PARAM;
    return 0;
}

s32 MPI_ADEC_DestroyChn(s32 AdChn)
{
    if ((u32)AdChn >= ADEC_MAX_CHN_NUM)
        return DU_ERR_ADEC_INVALID_CHNID;
    MPI_ADEC_CHN_S *chn = &s_astAdecChn[AdChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return 0;
    // A created channel runs threads and a frame pool that only channel
    // creation sets up; this unit doesn't create channels yet.
    return DU_ERR_ADEC_NOT_SUPPORT;
}

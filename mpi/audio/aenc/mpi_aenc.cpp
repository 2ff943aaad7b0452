// Audio encoder unit.
#include "mpi/audio/aenc/mpi_aenc.h"

#include <cstring>

#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/voice/audio_voice_adp.h"

s32 g_s32AencFd[AENC_MAX_CHN_NUM] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 s_bAencInit = DU_FALSE;
AENC_CHN_S g_stAenc[AENC_MAX_CHN_NUM];
AENC_ENCODER_CTX_S s_stEncoderCtx;

const AUDIO_NODE_S g_stAencNode = {"/dev/aenc", AENC_BIND_CHN_CTRL, DU_ID_AENC, AUDIO_OPEN_MSG_PUTS,
                                   "open aenc dev fail", true};

namespace {

void reset_dbg_info(AENC_DBG_INFO_S *info)
{
    memset(info, 0, sizeof *info);
    info->u32G726Rate = 8;
    info->u32AdpcmType = 3;
}

} // namespace

s32 MPI_AENC_Init(void)
{
    if (s_bAencInit)
        return 0;
    memset(&s_stEncoderCtx, 0, sizeof s_stEncoderCtx);
    if (pthread_mutex_init(&s_stEncoderCtx.stMutex, nullptr) != 0)
        return DU_ERR_AENC_NOMEM;
    for (AENC_CODEC_ENTRY_S &entry : s_stEncoderCtx.astEncoder)
        entry.enType = AENC_FREE_PAYLOAD;
    DU_DUZ_AENC_VoiceInit();

    for (u32 i = 0; i < AENC_MAX_CHN_NUM; i++) {
        AENC_CHN_S *chn = &g_stAenc[i];
        memset(chn, 0, sizeof *chn);
        chn->s32Handle = DU_INVALID_HANDLE;
        chn->s32ChnId = -1;
        reset_dbg_info(&chn->stDbgInfo);
        if (pthread_mutex_init(&chn->stMutex, nullptr) != 0) {
            while (i-- > 0)
                pthread_mutex_destroy(&g_stAenc[i].stMutex);
            pthread_mutex_destroy(&s_stEncoderCtx.stMutex);
            return DU_ERR_AENC_NOMEM;
        }
    }
    s_bAencInit = DU_TRUE;
    return 0;
}

void MPI_AENC_Exit(void)
{
    if (!s_bAencInit)
        return;
    for (s32 i = 0; i < (s32)AENC_MAX_CHN_NUM; i++) {
        DU_DUZ_AENC_DestroyChn(i);
        pthread_mutex_destroy(&g_stAenc[i].stMutex);
    }
    pthread_mutex_destroy(&s_stEncoderCtx.stMutex);
    memset(&s_stEncoderCtx, 0, sizeof s_stEncoderCtx);
    s_bAencInit = DU_FALSE;
}

s32 DU_DUZ_AENC_RegeisterEncoder(s32 *ps32Handle, const AENC_CODEC_ENTRY_S *pstEncoder)
{
    if (!ps32Handle || !pstEncoder || !pstEncoder->pfnOpenEncoder || !pstEncoder->pfnEncodeFrm ||
        !pstEncoder->pfnCloseEncoder)
        return DU_ERR_AENC_NULL_PTR;
    MpiMutexGuard lock(&s_stEncoderCtx.stMutex);
    s32 slot = audio_registry_add(s_stEncoderCtx.astEncoder, &s_stEncoderCtx.u32EncoderNum, *pstEncoder, AENC_FREE_PAYLOAD);
    if (slot < 0)
        return DU_ERR_AENC_BUF_FULL;
    *ps32Handle = slot;
    return 0;
}

s32 DU_DUZ_AENC_UnRegisterEncoder(s32 s32Handle)
{
    if ((u32)s32Handle >= AENC_MAX_ENCODER_NUM)
        return DU_ERR_AENC_ILLEGAL_PARAM;
    MpiMutexGuard lock(&s_stEncoderCtx.stMutex);
    if (!audio_registry_remove(s_stEncoderCtx.astEncoder, &s_stEncoderCtx.u32EncoderNum, (u32)s32Handle, AENC_FREE_PAYLOAD))
        return DU_ERR_AENC_BUF_EMPTY;
    return 0;
}

s32 DU_DUZ_AENC_DestroyChn(s32 AeChn)
{
    if ((u32)AeChn >= AENC_MAX_CHN_NUM)
        return DU_ERR_AENC_INVALID_CHNID;
    if (s32 ret = audio_node_open(&g_s32AencFd[AeChn], &g_stAencNode, AeChn, __FUNCTION__))
        return ret;
    AENC_CHN_S *chn = &g_stAenc[AeChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bCreated)
        return 0;
    // A created channel holds a stream buffer and a thread that only channel
    // creation sets up; this unit doesn't create channels yet.
    return DU_ERR_AENC_NOT_SUPPORT;
}

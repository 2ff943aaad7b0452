// The system unit: the platform's front door over /dev/sys.
#include "mpi/video/sys/mpi_sys.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "board/board.h"
#include "mpi/audio/mpi_audio.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/video/sys/sys_ctx.h"
#include "mpi/video/sys/sys_requests.h"
#include "mpi/video/venc/mpi_venc.h"

s32 g_s32SysFd = -1;

bool sys_open_dev(void)
{
    static const mpi_dev_node node = {"/dev/sys", O_RDWR, 0, 0};
    if (mpi_dev_open(&g_s32SysFd, node).ok())
        return true;
    perror("open sys");
    return false;
}

namespace {

s32 null_point()
{
    fprintf(stderr, "Null point \n");
    return DU_ERR_SYS_NULL_PTR;
}

} // namespace

s32 sys_call(unsigned long request, void *arg)
{
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    return bd_ioctl(g_s32SysFd, request, arg);
}

// ---- platform start and end -------------------------------------------------------------------

s32 DU_DUZ_SYS_Init(void)
{
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    s32 ret = bd_ioctl(g_s32SysFd, SYS_INIT_CTRL, nullptr);
    if (ret != 0)
        return ret;
    if (MPI_AUDIO_Init() != 0) {
        fprintf(stderr, "initialize audio mpi failed!\n");
        return -1;
    }
    if (MPI_VENC_Init() != 0) {
        fprintf(stderr, "initialize venc mpi failed!\n");
        return -1;
    }
    return 0;
}

s32 DU_DUZ_SYS_Exit(void)
{
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    MPI_AUDIO_Exit();
    MPI_VENC_Exit();
    return bd_ioctl(g_s32SysFd, SYS_EXIT_CTRL, nullptr);
}

// ---- configuration and time stamps -------------------------------------------------------------

s32 DU_DUZ_SYS_SetConf(const SYS_CONF_REC_S *pstSysConf)
{
    if (!pstSysConf) {
        fprintf(stderr, "null ptr!\n");
        return DU_ERR_SYS_NULL_PTR;
    }
    return sys_call(SYS_SET_CONFIG_CTRL, const_cast<SYS_CONF_REC_S *>(pstSysConf));
}

s32 DU_DUZ_SYS_GetConf(SYS_CONF_REC_S *pstSysConf)
{
    if (!pstSysConf) {
        fprintf(stderr, "null ptr!\n");
        return DU_ERR_SYS_NULL_PTR;
    }
    return sys_call(SYS_GET_CONFIG_CTRL, pstSysConf);
}

s32 DU_DUZ_SYS_InitPtsBase(u64 u64PtsBase) { return sys_call(SYS_INIT_PTSBASE, &u64PtsBase); }

s32 DU_DUZ_SYS_SyncPts(u64 u64PtsBase) { return sys_call(SYS_SYNC_PTS, &u64PtsBase); }

s32 DU_DUZ_SYS_GetCurPts(u64 *pu64CurPts)
{
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    if (!pu64CurPts)
        return DU_ERR_SYS_NULL_PTR;
    return bd_ioctl(g_s32SysFd, SYS_GET_CURPTS, pu64CurPts);
}

// ---- binds ------------------------------------------------------------------------------------------
// Sources of the audio decoder live in the user-space registry; every other
// pair is bound in the kernel.

s32 DU_DUZ_SYS_Bind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn)
{
    if (!pstSrcChn || !pstDestChn)
        return null_point();
    SYS_BIND_REQ_S req = {*pstSrcChn, *pstDestChn};
    bind_normalize_src(&req.stSrcChn);
    bind_normalize_dest(&req.stDestChn);
    if (req.stSrcChn.enModId == DU_ID_ADEC)
        return SYS_Bind(&req.stSrcChn, &req.stDestChn);
    return sys_call(SYS_BIND_CTRL, &req);
}

s32 DU_DUZ_SYS_UnBind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn)
{
    if (!pstDestChn)
        return null_point();
    // Without a source the kernel gets a zeroed one: "whatever is bound".
    SYS_BIND_REQ_S req = {};
    req.stDestChn = *pstDestChn;
    bind_normalize_dest(&req.stDestChn);
    if (pstSrcChn) {
        req.stSrcChn = *pstSrcChn;
        bind_normalize_src(&req.stSrcChn);
        if (req.stSrcChn.enModId == DU_ID_ADEC)
            return SYS_UnBind(&req.stSrcChn, &req.stDestChn);
    } else {
        MPP_CHN_ADDR_S src;
        if (bind_find_source(&req.stDestChn, &src))
            return SYS_UnBind(&src, &req.stDestChn);
    }
    return sys_call(SYS_UNBIND_CTRL, &req);
}

s32 DU_DUZ_SYS_GetBindbyDest(const MPP_CHN_ADDR_S *pstDestChn, MPP_CHN_ADDR_S *pstSrcChn)
{
    if (!pstDestChn || !pstSrcChn)
        return null_point();
    SYS_BIND_REQ_S req = {};
    req.stDestChn = *pstDestChn;
    bind_normalize_dest(&req.stDestChn);
    if (req.stDestChn.enModId == DU_ID_ADEC)
        return SYS_GetBindbyDest(&req.stDestChn, pstSrcChn);
    // A receiver bound in the registry is answered there, not by the kernel.
    if (bind_find_source(&req.stDestChn, pstSrcChn))
        return 0;
    s32 ret = sys_call(SYS_GETBINDBYDEST, &req);
    if (ret == 0)
        *pstSrcChn = req.stSrcChn;
    return ret;
}

s32 DU_DUZ_SYS_GetBindbySrc(MPP_CHN_ADDR_S *pstSrcChn, SYS_BIND_DEST_LIST_S *pstBindDest)
{
    if (!pstSrcChn || !pstBindDest)
        return null_point();
    bind_normalize_src(pstSrcChn);
    if (pstSrcChn->enModId != DU_ID_ADEC) {
        fprintf(stderr, "Wrong ModId!\n");
        return DU_ERR_SYS_NOT_PERM;
    }
    return SYS_GetBindbySrc(pstSrcChn, pstBindDest);
}

// ---- small kernel requests ------------------------------------------------------------------------

s32 MPI_SYS_GetKernelConfig(SYS_KERNEL_CONFIG_S *pstConfig)
{
    if (!pstConfig)
        return null_point();
    if (sys_call(SYS_GET_KERNELCONFIG, pstConfig) != 0) {
        fprintf(stderr, "System get Kernel Config failed!\n");
        return DU_ERR_SYS_NOTREADY;
    }
    return 0;
}

s32 DU_DUZ_SYS_GetViVpssMode(u32 *pu32Mode)
{
    if (!pu32Mode)
        return null_point();
    return sys_call(SYS_GET_VIVPSSMODE, pu32Mode);
}

s32 DU_DUZ_SYS_SetProfile(u32 u32Profile) { return sys_call(SYS_SET_PROFILE, &u32Profile); }

namespace {

struct SYS_SCALE_COEF_REQ_S {
    SCALE_RANGE_S stRange;
    SCALE_COEFF_LEVEL_S stLevel;
};
static_assert(sizeof(SYS_SCALE_COEF_REQ_S) == 24, "scale coefficient request");

} // namespace

s32 DU_DUZ_SYS_SetScaleCoefLevel(const SCALE_RANGE_S *pstScaleRange, const SCALE_COEFF_LEVEL_S *pstScaleCoeffLevel)
{
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    if (!pstScaleRange || !pstScaleCoeffLevel)
        return null_point();
    SYS_SCALE_COEF_REQ_S req = {*pstScaleRange, *pstScaleCoeffLevel};
    return bd_ioctl(g_s32SysFd, SYS_SET_SCALE_COEF, &req);
}

s32 DU_DUZ_SYS_GetScaleCoefLevel(const SCALE_RANGE_S *pstScaleRange, SCALE_COEFF_LEVEL_S *pstScaleCoeffLevel)
{
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    if (!pstScaleRange || !pstScaleCoeffLevel)
        return null_point();
    SYS_SCALE_COEF_REQ_S req = {*pstScaleRange, {}};
    s32 ret = bd_ioctl(g_s32SysFd, SYS_GET_SCALE_COEF, &req);
    if (ret == 0)
        *pstScaleCoeffLevel = req.stLevel;
    return ret;
}

s32 DU_DUZ_SYS_GetVersion(char *pszVersion)
{
    if (!pszVersion)
        return DU_ERR_SYS_NULL_PTR;
    snprintf(pszVersion, SYS_VERSION_NAME_LEN, "%s", DU_VERSION_TEXT);
    return 0;
}

s32 DU_DUZ_SYS_GetFileHandle(void)
{
    sys_open_dev();
    return g_s32SysFd;
}

s32 DU_DUZ_SYS_CloseFd(void)
{
    // In this order; a failing close leaves the later descriptors open.
    static const struct {
        s32 *fd;
        const char *failed;
    } fds[] = {{&g_s32LogFd, "Close Log Fail"}, {&g_s32SysFd, "Close SYS Fail"}, {&g_s32MemFd, "Close mem/dev Fail"}};
    for (const auto &f : fds) {
        if (*f.fd <= 0)
            continue;
        int ret = bd_close(*f.fd);
        if (ret != 0) {
            perror(f.failed);
            return ret;
        }
        *f.fd = -1;
    }
    return 0;
}

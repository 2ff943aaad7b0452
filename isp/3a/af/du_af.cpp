// The auto-focus library: registration, an initialised flag per instance,
// argument checks; every command succeeds without effect.
#include "isp/3a/af/mpi_af.h"

#include "isp/3a/common/alg_lib.h"
#include "isp/mpi_isp.h"

namespace {

struct AF_CTX_S {
    s32 s32Reserved;
    s32 bInit;
};

AF_CTX_S g_astAfCtx[ALG_LIB_INSTANCES];

s32 AfCtrlCmd(s32, u32, void *) { return 0; }

s32 AfInit(s32 handle, const AF_INIT_PARAM_S *param)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0 || alg_check_null(param, -1, __FUNCTION__) != 0)
        return -1;
    g_astAfCtx[handle].bInit = 1;
    return 0;
}

s32 AfRun(s32 handle, const AF_FRAME_INPUT_S *in, AF_FRAME_RESULT_S *out, s32)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0 || alg_check_null(in, -1, __FUNCTION__) != 0 ||
        alg_check_null(out, -1, __FUNCTION__) != 0)
        return -1;
    if (!g_astAfCtx[handle].bInit) {
        printf("Af(%d) doesn't init!\n", handle);
        return -1;
    }
    return 0;
}

s32 AfCtrl(s32 handle, u32 cmd, void *value)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0 || alg_check_null(value, -1, __FUNCTION__) != 0)
        return -1;
    return AfCtrlCmd(handle, cmd, value);
}

s32 AfExit(s32 handle)
{
    if (alg_check_handle(handle, __FUNCTION__) != 0)
        return -1;
    g_astAfCtx[handle].bInit = 0;
    return 0;
}

} // namespace

s32 DU_DUZ_AF_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAfLib)
{
    if (alg_check_lib(pstAfLib, AF_LIB_NAME, -1, __FUNCTION__) != 0)
        return -1;
    const AF_LIB_CALLBACKS_S callbacks = {AfInit, AfRun, AfCtrl, AfExit};
    s32 ret = DU_DUZ_ISP_AFLibRegCallBack(s32Dev, pstAfLib, &callbacks);
    if (ret != 0)
        puts("Du_af register failed!");
    return ret;
}

s32 DU_DUZ_AF_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAfLib)
{
    if (alg_check_lib(pstAfLib, AF_LIB_NAME, -1, __FUNCTION__) != 0)
        return -1;
    s32 ret = DU_DUZ_ISP_AFLibUnRegCallBack(s32Dev, pstAfLib);
    if (ret != 0)
        puts("Du_af unregister failed!");
    return ret;
}

s32 DU_DUZ_AF_Ctrl(const ALG_LIB_HANDLE_S *pstAfLib, u32 u32Cmd, void *pValue)
{
    if (alg_check_lib(pstAfLib, AF_LIB_NAME, -1, __FUNCTION__) != 0)
        return -1;
    return AfCtrlCmd(pstAfLib->s32Id, u32Cmd, pValue);
}

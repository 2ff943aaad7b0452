#include "isp/3a/common/alg_lib.h"

#include <cstdarg>
#include <cstring>

s32 alg_check_handle(s32 s32Handle, const char *func)
{
    if (s32Handle < 0 || (u32)s32Handle >= ALG_LIB_INSTANCES) {
        ALG_TRACE(func, "Illegal handle id %d in %s!\n", s32Handle, func);
        return -1;
    }
    return 0;
}

s32 alg_check_null(const void *p, s32 code, const char *func)
{
    if (!p) {
        ALG_TRACE(func, "Null Pointer in %s!\n", func);
        return code;
    }
    return 0;
}

s32 alg_check_lib(const ALG_LIB_HANDLE_S *pstLib, const char *name, s32 null_code, const char *func)
{
    s32 ret = alg_check_null(pstLib, null_code, func);
    if (ret == 0)
        ret = alg_check_handle(pstLib->s32Id, func);
    if (ret != 0)
        return ret;
    if (strncmp(pstLib->acLibName, name, ALG_LIB_NAME_SIZE_MAX) != 0) {
        ALG_TRACE(func, "Illegal lib name %.*s in %s!\n", ALG_LIB_NAME_SIZE_MAX, pstLib->acLibName, func);
        return -1;
    }
    return 0;
}

void alg_proc_printf(ISP_CTRL_PROC_WRITE_S *pstProc, const char *fmt, ...)
{
    if (!pstProc->pcProcBuff || pstProc->u32WriteLen + 1 >= pstProc->u32BuffLen)
        return;
    u32 room = pstProc->u32BuffLen - pstProc->u32WriteLen;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(pstProc->pcProcBuff + pstProc->u32WriteLen, room, fmt, ap);
    va_end(ap);
    if (n > 0)
        pstProc->u32WriteLen += (u32)n < room ? (u32)n : room - 1;
}

void alg_proc_end(ISP_CTRL_PROC_WRITE_S *pstProc)
{
    if (!pstProc->pcProcBuff || pstProc->u32WriteLen >= pstProc->u32BuffLen)
        return;
    pstProc->pcProcBuff[pstProc->u32WriteLen++] = '\0';
}

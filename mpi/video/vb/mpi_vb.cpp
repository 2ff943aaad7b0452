// Buffer pools over /dev/vb, and the table of pools mapped into this process.
#include "mpi/video/vb/mpi_vb.h"

#include <cstring>
#include <fcntl.h>

#include "board/board.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/vb_requests.h"

VB_CTX_S s_stVbCtx;

namespace {

s32 s_s32VbFd = -1;

// Only a descriptor above 0 counts as open.
const mpi_dev_node kVbNode = {"/dev/vb", O_RDWR, 0, 1};

bool vb_open()
{
    if (mpi_dev_open(&s_s32VbFd, kVbNode).ok())
        return true;
    perror("open err\n");
    return false;
}

// The shape of the one-request calls: open, the null check when
// `check_null`, the request.
s32 vb_call(unsigned long request, const void *arg, bool check_null)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (check_null && !arg)
        return DU_ERR_VB_NULL_PTR;
    return bd_ioctl(s_s32VbFd, request, const_cast<void *>(arg));
}

bool name_too_long(const char *name)
{
    if (!name || strlen(name) <= MAX_MMZ_NAME_LEN - 1)
        return false;
    printf("mmz name len:%d,it's too long\n", (int)strlen(name));
    return true;
}

// Every pool entry counts, whatever the pool count says; a name is looked at
// within its own 16 bytes.
bool conf_names_too_long(const VB_CONF_REC_S *conf)
{
    for (const VB_POOL_CONF_S &pool : conf->astCommPool) {
        size_t len = strnlen(pool.szMmzName, MAX_MMZ_NAME_LEN);
        if (pool.u32BlockSize && pool.u32BlockCnt && len > MAX_MMZ_NAME_LEN - 1) {
            printf("mmz name len:%d,it's too long\n", (int)len);
            return true;
        }
    }
    return false;
}

bool pool_id_ok(u32 pool)
{
    if (pool < VB_MAX_POOLS)
        return true;
    fprintf(stderr, "Illegal poolid %d!\n", (s32)pool);
    return false;
}

bool user_id_ok(u32 uid)
{
    if (uid < VB_MAX_USER)
        return true;
    fprintf(stderr, "Illegal user id %d!\n", uid);
    return false;
}

void copy_name(char *dst, const char *src)
{
    if (src)
        strncpy(dst, src, MAX_MMZ_NAME_LEN - 1);
}

// A handle in, the driver's word back; `fail` when the request fails.
u32 handle_query(unsigned long request, u32 handle, u32 fail)
{
    u32 word = handle;
    return vb_call(request, &word, false) == 0 ? word : fail;
}

} // namespace

// ---- the mapping table ------------------------------------------------------------------------

s32 MPI_VB_InitCtx(void)
{
    memset(&s_stVbCtx, 0, sizeof s_stVbCtx);
    for (VB_POOL_MAP_S &pool : s_stVbCtx.astPool)
        if (pthread_mutex_init(&pool.stMutex, nullptr) != 0)
            return -1;
    return 0;
}

s32 MPI_VB_ExitCtx(void)
{
    for (VB_POOL_MAP_S &pool : s_stVbCtx.astPool) {
        pool.bMapped = DU_FALSE;
        pool.pPoolVirAddr = nullptr;
    }
    return 0;
}

// ---- configuration and lifecycle -----------------------------------------------------------------

s32 DU_DUZ_VB_SetConf(const VB_CONF_REC_S *pstVbConf)
{
    if (pstVbConf && vb_open() && conf_names_too_long(pstVbConf))
        return DU_ERR_VB_ILLEGAL_PARAM;
    return vb_call(VB_SET_CONF, pstVbConf, true);
}

s32 DU_DUZ_VB_GetConf(VB_CONF_REC_S *pstVbConf)
{
    return vb_call(VB_GET_CONF, pstVbConf, true);
}

s32 DU_DUZ_VB_Init(void)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (MPI_VB_InitCtx() != 0)
        return -1;
    return bd_ioctl(s_s32VbFd, VB_INIT, nullptr);
}

s32 DU_DUZ_VB_Exit(void)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    s32 ret = bd_ioctl(s_s32VbFd, VB_EXIT, nullptr);
    MPI_VB_ExitCtx();
    return ret;
}

// ---- pools and blocks ------------------------------------------------------------------------------
// The calls that answer a pool id or a handle answer VB_INVALID_POOLID /
// VB_INVALID_HANDLE on every failure, so a caller never takes a status code
// for an id.

u32 DU_DUZ_VB_CreatePool(u32 u32BlkSize, u32 u32BlkCnt, const char *pcMmzName)
{
    if (!vb_open() || name_too_long(pcMmzName))
        return VB_INVALID_POOLID;
    VB_POOL_REQ_S req = {};
    req.u32PoolId = VB_INVALID_POOLID;
    req.u32BlkSize = u32BlkSize;
    req.u32BlkCnt = u32BlkCnt;
    req.u32Handle = VB_INVALID_HANDLE;
    copy_name(req.acMmzName, pcMmzName);
    if (bd_ioctl(s_s32VbFd, VB_CREATE_POOL, &req) != 0)
        return VB_INVALID_POOLID;
    return req.u32PoolId;
}

s32 DU_DUZ_VB_DestroyPool(u32 u32PoolId) { return vb_call(VB_DESTROY_POOL, &u32PoolId, false); }

u32 DU_DUZ_VB_GetBlock(u32 u32PoolId, u32 u32BlkSize, const char *pcMmzName)
{
    if (!vb_open())
        return VB_INVALID_HANDLE;
    VB_POOL_REQ_S req = {};
    req.u32PoolId = u32PoolId;
    req.u32Handle = VB_INVALID_HANDLE;
    if (u32PoolId == VB_INVALID_POOLID) {
        if (name_too_long(pcMmzName))
            return VB_INVALID_HANDLE;
        req.bCommPool = DU_TRUE;
        req.u32BlkSize = u32BlkSize;
        copy_name(req.acMmzName, pcMmzName);
    }
    if (bd_ioctl(s_s32VbFd, VB_GET_BLOCK, &req) != 0)
        return VB_INVALID_HANDLE;
    return req.u32Handle;
}

s32 DU_DUZ_VB_ReleaseBlock(u32 u32Handle) { return vb_call(VB_RELEASE_BLOCK, &u32Handle, false); }

u32 DU_DUZ_VB_Handle2PhysAddr(u32 u32Handle) { return handle_query(VB_HANDLE2PHYS, u32Handle, 0); }

u32 DU_DUZ_VB_Handle2PoolId(u32 u32Handle) { return handle_query(VB_HANDLE2POOLID, u32Handle, VB_INVALID_POOLID); }

s32 DU_DUZ_VB_GetSupplementAddr(u32 u32Handle, VB_SUPPLEMENT_ADDR_S *pstSupplement)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (!pstSupplement)
        return DU_ERR_VB_NULL_PTR;
    VB_SUPPLEMENT_REQ_S req = {u32Handle, pstSupplement};
    return bd_ioctl(s_s32VbFd, VB_GET_SUPPLEMENT_ADDR, &req);
}

// ---- pools mapped into this process ----------------------------------------------------------------------

s32 DU_DUZ_VB_MmapPool(u32 u32PoolId)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (!pool_id_ok(u32PoolId))
        return DU_ERR_VB_ILLEGAL_PARAM;
    VB_POOL_MAP_S *pool = &s_stVbCtx.astPool[u32PoolId];
    MpiMutexGuard lock(&pool->stMutex);
    if (pool->bMapped) {
        fprintf(stderr, "Pool %d has mapped!\n", u32PoolId);
        return 0;
    }
    VB_POOL_INFO_REQ_S info = {};
    info.u32PoolId = u32PoolId;
    s32 ret = bd_ioctl(s_s32VbFd, VB_GET_POOL_INFO, &info);
    if (ret != 0) {
        fprintf(stderr, "Get vb pool %d's info failed!\n", u32PoolId);
        return ret;
    }
    info.pVirAddr = DU_DUZ_SYS_Mmap(info.u32PhysAddr, info.u32PoolSize);
    if (!info.pVirAddr) {
        fprintf(stderr, "Get vb pool %d' mmap user addr failed!\n", u32PoolId);
        return DU_ERR_VB_NOMEM;
    }
    pool->u32PoolId = u32PoolId;
    pool->u32PoolSize = info.u32PoolSize;
    pool->u32PoolPhyAddr = info.u32PhysAddr;
    pool->pPoolVirAddr = info.pVirAddr;
    pool->bMapped = DU_TRUE;
    return 0;
}

s32 DU_DUZ_VB_MunmapPool(u32 u32PoolId)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (!pool_id_ok(u32PoolId))
        return DU_ERR_VB_ILLEGAL_PARAM;
    VB_POOL_MAP_S *pstPoolInfo = &s_stVbCtx.astPool[u32PoolId];
    MpiMutexGuard lock(&pstPoolInfo->stMutex);
    if (!pstPoolInfo->bMapped) {
        fprintf(stderr, "Pool %d hasn't mapped!\n", u32PoolId);
        return 0;
    }
    u32 used = u32PoolId;
    s32 ret = bd_ioctl(s_s32VbFd, VB_QUERY_POOL_USED, &used);
    if (ret != 0) {
        fprintf(stderr, "Query vb pool %d used stat failed!\n", u32PoolId);
        return ret;
    }
    if (used != 0) {
        fprintf(stderr, "Vb pool %d  is used by some modules!\n", u32PoolId);
        return DU_ERR_VB_BUSY;
    }
    MPI_ASSERT(NULL != pstPoolInfo->pPoolVirAddr);
    DU_DUZ_SYS_Munmap(pstPoolInfo->pPoolVirAddr, pstPoolInfo->u32PoolSize);
    pstPoolInfo->pPoolVirAddr = nullptr;
    pstPoolInfo->bMapped = DU_FALSE;
    return 0;
}

s32 DU_DUZ_VB_GetBlkVirAddr(u32 u32PoolId, u32 u32PhyAddr, void **ppVirAddr)
{
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (!ppVirAddr)
        return DU_ERR_VB_NULL_PTR;
    if (!pool_id_ok(u32PoolId))
        return DU_ERR_VB_ILLEGAL_PARAM;
    VB_POOL_MAP_S *pstPoolInfo = &s_stVbCtx.astPool[u32PoolId];
    MpiMutexGuard lock(&pstPoolInfo->stMutex);
    if (!pstPoolInfo->bMapped) {
        fprintf(stderr, "Pool %d hasn't mapped!\n", u32PoolId);
        return DU_ERR_VB_NOTREADY;
    }
    MPI_ASSERT(NULL != pstPoolInfo->pPoolVirAddr);
    // An address outside the pool has no user address in this mapping.
    if (u32PhyAddr < pstPoolInfo->u32PoolPhyAddr ||
        u32PhyAddr - pstPoolInfo->u32PoolPhyAddr >= pstPoolInfo->u32PoolSize) {
        fprintf(stderr, "Phys addr 0x%x is not in pool %d!\n", u32PhyAddr, u32PoolId);
        return DU_ERR_VB_ILLEGAL_PARAM;
    }
    *ppVirAddr = static_cast<u8 *>(pstPoolInfo->pPoolVirAddr) + (u32PhyAddr - pstPoolInfo->u32PoolPhyAddr);
    return 0;
}

// ---- module common pools and supplements --------------------------------------------------------------------

s32 DU_DUZ_VB_InitModCommPool(u32 enVbUid)
{
    if (!user_id_ok(enVbUid))
        return DU_ERR_VB_ILLEGAL_PARAM;
    return vb_call(VB_INIT_MOD_POOL, &enVbUid, false);
}

s32 DU_DUZ_VB_ExitModCommPool(u32 enVbUid)
{
    if (!user_id_ok(enVbUid))
        return DU_ERR_VB_ILLEGAL_PARAM;
    return vb_call(VB_EXIT_MOD_POOL, &enVbUid, false);
}

s32 DU_DUZ_VB_GetModPoolConf(u32 enVbUid, VB_CONF_REC_S *pstVbConf)
{
    if (!user_id_ok(enVbUid))
        return DU_ERR_VB_ILLEGAL_PARAM;
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (!pstVbConf)
        return DU_ERR_VB_NULL_PTR;
    VB_MOD_CONF_REQ_S req = {};
    req.enVbUid = enVbUid;
    s32 ret = bd_ioctl(s_s32VbFd, VB_GET_MOD_POOL_CONF, &req);
    *pstVbConf = req.stVbConf;
    return ret;
}

s32 DU_DUZ_VB_SetModPoolConf(u32 enVbUid, const VB_CONF_REC_S *pstVbConf)
{
    if (!user_id_ok(enVbUid))
        return DU_ERR_VB_ILLEGAL_PARAM;
    if (!vb_open())
        return DU_ERR_VB_NOTREADY;
    if (!pstVbConf)
        return DU_ERR_VB_NULL_PTR;
    if (conf_names_too_long(pstVbConf))
        return DU_ERR_VB_ILLEGAL_PARAM;
    VB_MOD_CONF_REQ_S req = {enVbUid, *pstVbConf};
    return bd_ioctl(s_s32VbFd, VB_SET_MOD_POOL_CONF, &req);
}

s32 DU_DUZ_VB_SetSupplementConf(const u32 *pu32SupplementConfig)
{
    return vb_call(VB_SET_SUPPLEMENT_CONF, pu32SupplementConfig, true);
}

s32 DU_DUZ_VB_GetSupplementConf(u32 *pu32SupplementConfig)
{
    return vb_call(VB_GET_SUPPLEMENT_CONF, pu32SupplementConfig, true);
}

s32 DU_DUZ_VB_GetFileHandle(void)
{
    vb_open();
    return s_s32VbFd;
}

// The user-space bind registry.
//
// Each registered module has a record per role. A sender keeps, per channel
// slot, a circular list of its destinations in binding order; a receiver keeps,
// per slot, the one source bound to it. g_stSysDevSem serialises binding,
// unbinding, list reading and resets; g_stSysBindLock guards the lists and
// entries themselves. Lock order: g_stSysDevSem before g_stSysBindLock.
#include "mpi/video/bind/mpi_bind.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "mpi/common/mpi_list.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

constexpr u32 BIND_NAME_LEN = 8;
// Far above any unit's devices x channels; keeps slot arithmetic in range.
constexpr u64 BIND_MAX_SLOTS = 0x10000;

struct SYS_LIST_S {
    SYS_LIST_S *pstPrev;
    SYS_LIST_S *pstNext;
};

struct SYS_DEST_NODE_S {
    SYS_LIST_S stList; // first: a list link is its node
    MPP_CHN_ADDR_S stDestChn;
    u32 au32Rsv[2];
};

struct SYS_SRC_BIND_S {
    SYS_LIST_S stDestHead;
    u32 u32DestNum;
};

struct SYS_DEST_BIND_S {
    u32 bBinded;
    MPP_CHN_ADDR_S stSrcChn;
    u32 u32SendCnt;
    u32 u32ResetCnt;
};

struct SYS_BINDER_CTX_S {
    u32 enModId;
    char szModName[BIND_NAME_LEN]; // no registration names itself
    u32 u32MaxDevCnt;
    u32 u32MaxChnCnt;
    SYS_BIND_RECV_FN pfnRecvData;
    SYS_BIND_RESET_FN pfnResetData;
    SYS_BIND_NOTIFY_FN pfnBindNotify;
    u32 u32TblSize;
    SYS_SRC_BIND_S *pstSrcTbl;   // sender
    SYS_DEST_BIND_S *pstDestTbl; // receiver
};

// A sender module's per-slot destination lists: made at the slot's first bind,
// kept until the registry ends; they mark the slots that were ever bound.
struct SYS_BIND_SEND_S {
    u32 u32TblSize;
    SYS_BIND_DEST_LIST_S **ppstDestList;
};

SYS_BINDER_CTX_S *s_pastSenderTbl[DU_ID_BUTT];
SYS_BINDER_CTX_S *s_pastReceiverTbl[DU_ID_BUTT];
SYS_BIND_SEND_S s_astBindSend[DU_ID_BUTT];
bool s_bBindInit = false;

std::mutex g_stSysDevSem;
std::mutex g_stSysBindLock;

enum BIND_ROLE_E { BIND_SENDER, BIND_RECEIVER };

SYS_DEST_NODE_S *node_of(SYS_LIST_S *link) { return reinterpret_cast<SYS_DEST_NODE_S *>(link); }

bool same_chn(const MPP_CHN_ADDR_S &a, const MPP_CHN_ADDR_S &b)
{
    return a.enModId == b.enModId && a.s32Dev == b.s32Dev && a.s32Chn == b.s32Chn;
}

s32 null_point()
{
    fprintf(stderr, "Null point \n");
    return DU_ERR_SYS_NULL_PTR;
}

SYS_BINDER_CTX_S *&binder(BIND_ROLE_E role, u32 mod)
{
    return role == BIND_SENDER ? s_pastSenderTbl[mod] : s_pastReceiverTbl[mod];
}

u32 SysGetIdxByDevChn(const SYS_BINDER_CTX_S *ctx, s32 dev, s32 chn) { return (u32)dev * ctx->u32MaxChnCnt + (u32)chn; }

s32 SysCheckBindChn(BIND_ROLE_E role, const MPP_CHN_ADDR_S *chn)
{
    if (chn->enModId >= DU_ID_BUTT) {
        fprintf(stderr, "ModId:%d is invalid !\n", chn->enModId);
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    const SYS_BINDER_CTX_S *ctx = binder(role, chn->enModId);
    if (!ctx) {
        fprintf(stderr, "ModId:%d(%s) is not supported !\n", chn->enModId, "");
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    // Compared unsigned: negative ids are out of range too.
    if ((u32)chn->s32Dev >= ctx->u32MaxDevCnt || (u32)chn->s32Chn >= ctx->u32MaxChnCnt) {
        fprintf(stderr, "Bind dev or chn is invalid, dev:%d, chn:%d !\n", chn->s32Dev, chn->s32Chn);
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    return 0;
}

// The destinations of a checked source, under the caller's lock.
s32 SysGetBinderbySrc(const MPP_CHN_ADDR_S *src, SYS_BIND_DEST_LIST_S *list)
{
    if (!src || !list)
        return null_point();
    if (s32 ret = SysCheckBindChn(BIND_SENDER, src))
        return ret;
    const SYS_BINDER_CTX_S *ctx = s_pastSenderTbl[src->enModId];
    const SYS_SRC_BIND_S *bind = &ctx->pstSrcTbl[SysGetIdxByDevChn(ctx, src->s32Dev, src->s32Chn)];
    list->u32ChnNum = 0;
    for (SYS_LIST_S *p = bind->stDestHead.pstNext; p != &bind->stDestHead; p = p->pstNext) {
        if (list->u32ChnNum == BIND_DEST_MAXNUM) {
            fprintf(stderr, "bind src(mod:%d,dev:%d,chn:%d) too many \n", src->enModId, src->s32Dev, src->s32Chn);
            break;
        }
        list->astMppChn[list->u32ChnNum++] = node_of(p)->stDestChn;
    }
    return 0;
}

// Unlinks and frees every node of a source slot that `drop` selects.
template <class Pred> void drop_nodes(SYS_SRC_BIND_S *bind, Pred drop)
{
    SYS_LIST_S *p = bind->stDestHead.pstNext;
    while (p != &bind->stDestHead) {
        SYS_LIST_S *next = p->pstNext;
        if (drop(node_of(p)->stDestChn)) {
            mpi_list_del(p);
            free(node_of(p));
            bind->u32DestNum--;
        }
        p = next;
    }
}

namespace {

// What a binder's registration makes.
struct BinderMake {
    BIND_ROLE_E role;
    u32 mod;
    u32 slots;
    SYS_BINDER_CTX_S *ctx;
};

s32 alloc_binder(BinderMake *b)
{
    b->ctx = static_cast<SYS_BINDER_CTX_S *>(calloc(1, sizeof(SYS_BINDER_CTX_S)));
    if (!b->ctx)
        return DU_ERR_SYS_NOMEM;
    b->ctx->u32TblSize = b->slots;
    return 0;
}
void free_binder(BinderMake *b) { free(b->ctx); }

// A receiver's table of sources, or a sender's of destination lists.
s32 alloc_table(BinderMake *b)
{
    if (b->role == BIND_RECEIVER)
        b->ctx->pstDestTbl = static_cast<SYS_DEST_BIND_S *>(calloc(b->slots, sizeof(SYS_DEST_BIND_S)));
    else
        b->ctx->pstSrcTbl = static_cast<SYS_SRC_BIND_S *>(calloc(b->slots, sizeof(SYS_SRC_BIND_S)));
    if (!b->ctx->pstDestTbl && !b->ctx->pstSrcTbl) {
        fprintf(stderr, "No memory for bind table!\n");
        return DU_ERR_SYS_NOMEM;
    }
    return 0;
}
void free_table(BinderMake *b)
{
    free(b->ctx->pstDestTbl);
    free(b->ctx->pstSrcTbl);
}

// The slot lists survive unregistration; a sender coming back with more
// slots gets the array grown.
s32 grow_send_lists(BinderMake *b)
{
    if (b->role == BIND_RECEIVER)
        return 0;
    SYS_BIND_SEND_S *send = &s_astBindSend[b->mod];
    if (!send->ppstDestList || send->u32TblSize < b->slots) {
        auto **lists = static_cast<SYS_BIND_DEST_LIST_S **>(calloc(b->slots, sizeof(SYS_BIND_DEST_LIST_S *)));
        if (!lists) {
            fprintf(stderr, "No memory for bind SRC!\n");
            return DU_ERR_SYS_NOMEM;
        }
        if (send->ppstDestList)
            memcpy(lists, send->ppstDestList, send->u32TblSize * sizeof *lists);
        free(send->ppstDestList);
        send->ppstDestList = lists;
        send->u32TblSize = b->slots;
    }
    for (u32 i = 0; i < b->slots; i++)
        mpi_list_init(&b->ctx->pstSrcTbl[i].stDestHead);
    return 0;
}

const mpi_step<BinderMake> kBinderSteps[] = {
    {nullptr, alloc_binder, free_binder},
    {nullptr, alloc_table, free_table},
    {nullptr, grow_send_lists, nullptr},
};

} // namespace

s32 SysRegisterBinder(BIND_ROLE_E role, u32 mod, u32 max_dev, u32 max_chn, SYS_BIND_RECV_FN recv,
                      SYS_BIND_RESET_FN reset, SYS_BIND_NOTIFY_FN notify)
{
    if (mod >= DU_ID_BUTT)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    if (binder(role, mod)) {
        fprintf(stderr, "Mod %d have register !\n", mod);
        return DU_ERR_SYS_NOT_PERM;
    }
    u64 slots = (u64)max_dev * max_chn;
    if (slots == 0 || slots > BIND_MAX_SLOTS) {
        fprintf(stderr, "u32MaxDevCnt or u32MaxChnCnt invalid !\n");
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    BinderMake make = {role, mod, (u32)slots, nullptr};
    if (s32 ret = mpi_steps_run(kBinderSteps, &make))
        return ret;
    SYS_BINDER_CTX_S *ctx = make.ctx;
    ctx->enModId = mod;
    ctx->u32MaxDevCnt = max_dev;
    ctx->u32MaxChnCnt = max_chn;
    ctx->pfnRecvData = recv;
    ctx->pfnResetData = reset;
    ctx->pfnBindNotify = notify;
    binder(role, mod) = ctx;
    return 0;
}

s32 SysUnRegisterBinder(BIND_ROLE_E role, u32 mod)
{
    if (mod >= DU_ID_BUTT)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    SYS_BINDER_CTX_S *ctx = binder(role, mod);
    if (!ctx) {
        fprintf(stderr, "Mod:%d have not register ! \n", mod);
        return DU_ERR_SYS_NOT_PERM;
    }
    if (role == BIND_SENDER) {
        for (u32 i = 0; i < ctx->u32TblSize; i++)
            drop_nodes(&ctx->pstSrcTbl[i], [](const MPP_CHN_ADDR_S &) { return true; });
        // Its receivers are free again: nothing can reach them from it.
        for (SYS_BINDER_CTX_S *rcv : s_pastReceiverTbl)
            for (u32 i = 0; rcv && i < rcv->u32TblSize; i++)
                if (rcv->pstDestTbl[i].bBinded && rcv->pstDestTbl[i].stSrcChn.enModId == mod)
                    rcv->pstDestTbl[i].bBinded = DU_FALSE;
        free(ctx->pstSrcTbl);
    } else {
        // Senders stop delivering to it: a receiver coming back starts unbound.
        for (SYS_BINDER_CTX_S *snd : s_pastSenderTbl)
            for (u32 i = 0; snd && i < snd->u32TblSize; i++)
                drop_nodes(&snd->pstSrcTbl[i], [mod](const MPP_CHN_ADDR_S &d) { return d.enModId == mod; });
        free(ctx->pstDestTbl);
    }
    free(ctx);
    binder(role, mod) = nullptr;
    return 0;
}

// The source's destinations under g_stSysDevSem, for a module-7 notify call.
void notify_bind_change(const MPP_CHN_ADDR_S &src)
{
    if (src.enModId != DU_ID_VPSS)
        return;
    SYS_BIND_DEST_LIST_S stSendBindSrc;
    s32 ret;
    {
        std::lock_guard<std::mutex> lock(g_stSysBindLock);
        ret = SysGetBinderbySrc(&src, &stSendBindSrc);
    }
    const SYS_BINDER_CTX_S *ctx = s_pastSenderTbl[src.enModId];
    if (ret == 0 && ctx && ctx->pfnBindNotify)
        ctx->pfnBindNotify(src.s32Dev, src.s32Chn, &stSendBindSrc);
}

// Copies the destinations of a sending channel for a send or a reset. False
// when there is nothing to walk, with the code to return in *ret.
bool sending_list(u32 mod, s32 dev, s32 chn, SYS_BIND_DEST_LIST_S *list, s32 unbound_ret, s32 *ret)
{
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    const SYS_BINDER_CTX_S *ctx = s_pastSenderTbl[mod];
    if (!ctx) {
        fprintf(stderr, "Mod %d have not register !\n", mod);
        *ret = DU_ERR_SYS_NOT_PERM;
        return false;
    }
    u32 idx = SysGetIdxByDevChn(ctx, dev, chn);
    const SYS_BIND_SEND_S *send = &s_astBindSend[mod];
    if (!send->ppstDestList || idx >= send->u32TblSize || !send->ppstDestList[idx]) {
        fprintf(stderr, "Mod %d, dev %d, chn %d, have not bind !\n", mod, dev, chn);
        *ret = unbound_ret;
        return false;
    }
    MPP_CHN_ADDR_S src = {mod, dev, chn};
    *ret = SysGetBinderbySrc(&src, list);
    return *ret == 0;
}

// The receiver's entry of a destination, under g_stSysBindLock; null when its
// module is gone or no longer has that channel.
SYS_DEST_BIND_S *dest_entry(const MPP_CHN_ADDR_S &dest, SYS_BINDER_CTX_S **rcv)
{
    *rcv = s_pastReceiverTbl[dest.enModId];
    if (!*rcv) {
        fprintf(stderr, "Mod %d have not register !\n", dest.enModId);
        return nullptr;
    }
    u32 idx = SysGetIdxByDevChn(*rcv, dest.s32Dev, dest.s32Chn);
    return idx < (*rcv)->u32TblSize ? &(*rcv)->pstDestTbl[idx] : nullptr;
}

} // namespace

// ---- channel address rules ------------------------------------------------------------------------

void bind_normalize_src(MPP_CHN_ADDR_S *pstChn)
{
    if (pstChn->enModId == DU_ID_VIU || pstChn->enModId == DU_ID_VDEC)
        pstChn->s32Dev = 0;
    if (pstChn->enModId == DU_ID_VOU)
        pstChn->s32Chn = 0;
}

void bind_normalize_dest(MPP_CHN_ADDR_S *pstChn)
{
    if (pstChn->enModId == DU_ID_GROUP || pstChn->enModId == DU_ID_VPSS)
        pstChn->s32Chn = 0;
}

// ---- lifecycle and registration ----------------------------------------------------------------------

s32 SYS_BIND_Init(void)
{
    // A second start keeps the registrations the units made in the first.
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    if (s_bBindInit)
        return 0;
    memset(s_pastSenderTbl, 0, sizeof s_pastSenderTbl);
    memset(s_pastReceiverTbl, 0, sizeof s_pastReceiverTbl);
    memset(s_astBindSend, 0, sizeof s_astBindSend);
    s_bBindInit = true;
    return 0;
}

void SYS_BIND_Exit(void)
{
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    for (SYS_BIND_SEND_S &send : s_astBindSend) {
        for (u32 i = 0; send.ppstDestList && i < send.u32TblSize; i++)
            free(send.ppstDestList[i]);
        free(send.ppstDestList);
        send = {};
    }
    s_bBindInit = false;
}

s32 SYS_BIND_RegisterSender(const SYS_BIND_SENDER_S *pstSender)
{
    if (!pstSender)
        return null_point();
    return SysRegisterBinder(BIND_SENDER, pstSender->enModId, pstSender->u32MaxDevCnt, pstSender->u32MaxChnCnt,
                             nullptr, nullptr, pstSender->pfnBindNotify);
}

s32 SYS_BIND_RegisterReceiver(const SYS_BIND_RECEIVER_S *pstReceiver)
{
    if (!pstReceiver || !pstReceiver->pfnRecvData)
        return null_point();
    return SysRegisterBinder(BIND_RECEIVER, pstReceiver->enModId, pstReceiver->u32MaxDevCnt,
                             pstReceiver->u32MaxChnCnt, pstReceiver->pfnRecvData, pstReceiver->pfnResetData,
                             nullptr);
}

s32 SYS_BIND_UnRegisterSender(u32 enModId) { return SysUnRegisterBinder(BIND_SENDER, enModId); }

s32 SYS_BIND_UnRegisterReceiver(u32 enModId) { return SysUnRegisterBinder(BIND_RECEIVER, enModId); }

// ---- binding --------------------------------------------------------------------------------------------

s32 SYS_Bind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn)
{
    if (!pstSrcChn || !pstDestChn)
        return null_point();
    if (s32 ret = SysCheckBindChn(BIND_SENDER, pstSrcChn))
        return ret;
    if (s32 ret = SysCheckBindChn(BIND_RECEIVER, pstDestChn))
        return ret;

    std::lock_guard<std::mutex> dev_lock(g_stSysDevSem);
    SYS_BINDER_CTX_S *snd = s_pastSenderTbl[pstSrcChn->enModId];
    SYS_BINDER_CTX_S *rcv = s_pastReceiverTbl[pstDestChn->enModId];
    u32 src_idx = SysGetIdxByDevChn(snd, pstSrcChn->s32Dev, pstSrcChn->s32Chn);
    SYS_DEST_BIND_S *dest = &rcv->pstDestTbl[SysGetIdxByDevChn(rcv, pstDestChn->s32Dev, pstDestChn->s32Chn)];
    SYS_SRC_BIND_S *src = &snd->pstSrcTbl[src_idx];

    if (dest->bBinded) {
        fprintf(stderr, "Dest have bind Src:(%s,%d,%d) !\n", "", dest->stSrcChn.s32Dev, dest->stSrcChn.s32Chn);
        return DU_ERR_SYS_NOT_PERM;
    }
    if (src->u32DestNum > BIND_DEST_MAXNUM - 1) {
        fprintf(stderr, "src bind max(%d) err!\n", src->u32DestNum);
        return DU_ERR_SYS_NOT_PERM;
    }
    // Every allocation before the lists are touched.
    SYS_BIND_DEST_LIST_S *&slot_list = s_astBindSend[pstSrcChn->enModId].ppstDestList[src_idx];
    if (!slot_list) {
        slot_list = static_cast<SYS_BIND_DEST_LIST_S *>(calloc(1, sizeof(SYS_BIND_DEST_LIST_S)));
        if (!slot_list) {
            fprintf(stderr, "No memory for bind SRC!\n");
            return DU_ERR_SYS_NOMEM;
        }
    }
    auto *node = static_cast<SYS_DEST_NODE_S *>(calloc(1, sizeof(SYS_DEST_NODE_S)));
    if (!node) {
        fprintf(stderr, "BIND_MALLOC err!\n");
        return DU_ERR_SYS_NOMEM;
    }
    node->stDestChn = *pstDestChn;
    {
        std::lock_guard<std::mutex> lock(g_stSysBindLock);
        dest->stSrcChn = *pstSrcChn;
        dest->bBinded = DU_TRUE;
        dest->u32SendCnt = 0;
        dest->u32ResetCnt = 0;
        mpi_list_add_tail(&node->stList, &src->stDestHead);
        src->u32DestNum++;
    }
    notify_bind_change(*pstSrcChn);
    return 0;
}

s32 SYS_UnBind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn)
{
    if (!pstDestChn)
        return null_point();
    if (s32 ret = SysCheckBindChn(BIND_RECEIVER, pstDestChn))
        return ret;

    std::lock_guard<std::mutex> dev_lock(g_stSysDevSem);
    SYS_BINDER_CTX_S *rcv = s_pastReceiverTbl[pstDestChn->enModId];
    SYS_DEST_BIND_S *dest = &rcv->pstDestTbl[SysGetIdxByDevChn(rcv, pstDestChn->s32Dev, pstDestChn->s32Chn)];
    if (!dest->bBinded)
        return 0;
    MPP_CHN_ADDR_S src = dest->stSrcChn;
    {
        std::lock_guard<std::mutex> lock(g_stSysBindLock);
        SYS_BINDER_CTX_S *snd = s_pastSenderTbl[src.enModId];
        MPI_ASSERT(DU_NULL != snd);
        SYS_SRC_BIND_S *pstSrcBind = &snd->pstSrcTbl[SysGetIdxByDevChn(snd, src.s32Dev, src.s32Chn)];
        u32 bFind = DU_FALSE;
        for (SYS_LIST_S *p = pstSrcBind->stDestHead.pstNext; p != &pstSrcBind->stDestHead; p = p->pstNext) {
            if (same_chn(node_of(p)->stDestChn, *pstDestChn)) {
                MPI_ASSERT(pstSrcBind->u32DestNum > 0);
                mpi_list_del(p);
                free(node_of(p));
                pstSrcBind->u32DestNum--;
                bFind = DU_TRUE;
                break;
            }
        }
        MPI_ASSERT(DU_TRUE == bFind);
        dest->bBinded = DU_FALSE;
    }
    notify_bind_change(src);
    if (src.enModId == DU_ID_VDEC && rcv->pfnResetData)
        rcv->pfnResetData(pstDestChn->s32Dev, pstDestChn->s32Chn, nullptr);
    return 0;
}

s32 SYS_GetBindbyDest(const MPP_CHN_ADDR_S *pstDestChn, MPP_CHN_ADDR_S *pstSrcChn)
{
    if (!pstDestChn || !pstSrcChn)
        return null_point();
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    if (s32 ret = SysCheckBindChn(BIND_RECEIVER, pstDestChn))
        return ret;
    const SYS_BINDER_CTX_S *rcv = s_pastReceiverTbl[pstDestChn->enModId];
    const SYS_DEST_BIND_S *dest = &rcv->pstDestTbl[SysGetIdxByDevChn(rcv, pstDestChn->s32Dev, pstDestChn->s32Chn)];
    if (!dest->bBinded) {
        fprintf(stderr, "Dest have not bind any Src \n");
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    *pstSrcChn = dest->stSrcChn;
    return 0;
}

s32 SYS_GetBindbySrc(const MPP_CHN_ADDR_S *pstSrcChn, SYS_BIND_DEST_LIST_S *pstBindDest)
{
    std::lock_guard<std::mutex> dev_lock(g_stSysDevSem);
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    return SysGetBinderbySrc(pstSrcChn, pstBindDest);
}

bool bind_find_source(const MPP_CHN_ADDR_S *pstDestChn, MPP_CHN_ADDR_S *pstSrcChn)
{
    if (pstDestChn->enModId >= DU_ID_BUTT)
        return false;
    std::lock_guard<std::mutex> lock(g_stSysBindLock);
    const SYS_BINDER_CTX_S *rcv = s_pastReceiverTbl[pstDestChn->enModId];
    if (!rcv || (u32)pstDestChn->s32Dev >= rcv->u32MaxDevCnt || (u32)pstDestChn->s32Chn >= rcv->u32MaxChnCnt)
        return false;
    const SYS_DEST_BIND_S *dest = &rcv->pstDestTbl[SysGetIdxByDevChn(rcv, pstDestChn->s32Dev, pstDestChn->s32Chn)];
    if (!dest->bBinded)
        return false;
    *pstSrcChn = dest->stSrcChn;
    return true;
}

// ---- delivery -----------------------------------------------------------------------------------------

s32 SYS_BIND_SendData(u32 enModId, s32 s32DevId, s32 s32ChnId, u32 u32Flag, MPP_DATA_TYPE_E enDataType,
                      void *pvData)
{
    MPI_ASSERT(enModId < DU_ID_BUTT);
    MPI_ASSERT(enDataType < MPP_DATA_BUTT);
    if (!pvData)
        return null_point();
    MPP_CHN_ADDR_S src = {enModId, s32DevId, s32ChnId};
    bind_normalize_src(&src);
    if (SysCheckBindChn(BIND_SENDER, &src) != 0)
        return DU_ERR_SYS_NOT_PERM;

    // Walked from a copy: a reset or unbind meanwhile can't change what this
    // send delivers to.
    SYS_BIND_DEST_LIST_S list;
    s32 ret;
    if (!sending_list(enModId, src.s32Dev, src.s32Chn, &list, DU_ERR_SYS_NOT_PERM, &ret))
        return ret;
    if (list.u32ChnNum == 0) {
        fprintf(stderr, "have not Binder !\n");
        return DU_ERR_SYS_NOT_PERM;
    }
    s32 result = 0;
    for (u32 i = 0; i < list.u32ChnNum; i++) {
        const MPP_CHN_ADDR_S &dest = list.astMppChn[i];
        SYS_BIND_RECV_FN recv = nullptr;
        {
            std::lock_guard<std::mutex> lock(g_stSysBindLock);
            SYS_BINDER_CTX_S *rcv;
            SYS_DEST_BIND_S *entry = dest_entry(dest, &rcv);
            if (!entry || !rcv->pfnRecvData)
                continue;
            entry->u32SendCnt++;
            recv = rcv->pfnRecvData;
        }
        // No registry lock held: a receiver may call back into the registry.
        result |= recv(dest.s32Dev, dest.s32Chn, u32Flag, enDataType, pvData);
    }
    return result;
}

s32 SYS_BIND_ResetData(u32 enModId, s32 s32DevId, s32 s32ChnId, void *pvData)
{
    MPI_ASSERT(enModId < DU_ID_BUTT);
    MPP_CHN_ADDR_S src = {enModId, s32DevId, s32ChnId};
    bind_normalize_src(&src);
    if (SysCheckBindChn(BIND_SENDER, &src) != 0)
        return DU_ERR_SYS_NOT_PERM;

    SYS_BIND_DEST_LIST_S list;
    s32 ret;
    {
        std::lock_guard<std::mutex> dev_lock(g_stSysDevSem);
        if (!sending_list(enModId, src.s32Dev, src.s32Chn, &list, 0, &ret))
            return ret;
    }
    if (list.u32ChnNum == 0) {
        fprintf(stderr, "have not Binder !\n");
        return 0;
    }
    for (u32 i = 0; i < list.u32ChnNum; i++) {
        const MPP_CHN_ADDR_S &dest = list.astMppChn[i];
        SYS_BIND_RESET_FN reset = nullptr;
        {
            std::lock_guard<std::mutex> dev_lock(g_stSysDevSem);
            std::lock_guard<std::mutex> lock(g_stSysBindLock);
            SYS_BINDER_CTX_S *rcv;
            SYS_DEST_BIND_S *entry = dest_entry(dest, &rcv);
            if (!entry || !rcv->pfnResetData)
                continue;
            entry->u32ResetCnt++;
            reset = rcv->pfnResetData;
        }
        reset(dest.s32Dev, dest.s32Chn, pvData);
    }
    return 0;
}

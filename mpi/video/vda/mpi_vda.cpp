// The video detection unit: each call checks its channel, opens and binds the
// channel's descriptor, checks its record and sends one request to /dev/vda.
// Creating a channel maps its result buffer; results leave GetData with user
// addresses inside that mapping.
#include "mpi/video/vda/mpi_vda.h"
#include "mpi/video/vda/vda_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/common/mpi_steps.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/mman.h>

VDA_CHN_MAP_S g_stMpiVda[VDA_MAX_CHN_NUM];
s32 g_s32VdaMemFd = -1;

namespace {

// Every channel starts with no descriptor and nothing mapped.
struct vda_table_init {
    vda_table_init()
    {
        for (VDA_CHN_MAP_S &m : g_stMpiVda) {
            memset(&m, 0, sizeof m);
            m.s32Fd = -1;
        }
    }
} g_vda_table_init;

const mpi_dev_node kVdaNode = {"/dev/vda", O_RDWR, VDA_BIND_FD, 0};
const mpi_dev_node kVdaMemNode = {"/dev/mem", O_RDWR | O_SYNC, 0, 0};

// Opens the channel's descriptor and binds it to the channel. A descriptor
// the driver would not bind is closed again: kept, it would fail every later
// request of the channel.
s32 vda_open(VDA_CHN chn)
{
    return mpi_dev_open(&g_stMpiVda[chn].s32Fd, kVdaNode, (u32)chn).ok() ? 0 : ERR_VDA_SYS_NOTREADY;
}

// The checks every call starts with: channel (negative numbers are out of
// range too), descriptor, then the caller's records in `needed` (none may be
// null).
s32 vda_ready(VDA_CHN chn, std::initializer_list<const void *> needed)
{
    if ((u32)chn >= (u32)VDA_MAX_CHN_NUM)
        return ERR_VDA_INVALID_CHNID;
    if (s32 ret = vda_open(chn))
        return ret;
    for (const void *p : needed)
        if (!p)
            return ERR_VDA_NULL_PTR;
    return 0;
}

// The checks, then one request on the channel's descriptor with `arg`.
// `needed` is last, as vo_call's: the caller's records, apart from `arg` when it wraps them with a wait.
s32 vda_call(VDA_CHN chn, unsigned long req, void *arg, std::initializer_list<const void *> needed)
{
    if (s32 ret = vda_ready(chn, needed))
        return ret;
    return bd_ioctl(g_stMpiVda[chn].s32Fd, req, arg);
}

// Drops what the unit knows of the channel's result buffer, unmapping it
// when it is mapped.
void vda_unmap(VDA_CHN_MAP_S &m)
{
    if (m.pMapStart)
        bd_munmap(m.pMapStart, m.u32MapLen);
    m.pMapStart = nullptr;
    m.u32MapLen = 0;
    m.pVirAddr = nullptr;
    m.u32PhyAddr = 0;
    m.u32Size = 0;
}

// The user address of [addr, addr + len) of the result buffer, or null when
// the range is not inside it (or nothing is mapped).
void *vda_user_addr(const VDA_CHN_MAP_S &m, const void *addr, u64 len)
{
    uintptr_t phys = (uintptr_t)addr;
    if (!m.pVirAddr || phys < m.u32PhyAddr || phys - m.u32PhyAddr + len > m.u32Size)
        return nullptr;
    return static_cast<u8 *>(m.pVirAddr) + (phys - m.u32PhyAddr);
}

// Turns the physical addresses of a motion result into user addresses;
// false when one points outside the channel's buffer.
bool vda_to_user(const VDA_CHN_MAP_S &m, VDA_DATA_REC_S &d)
{
    if (d.bMbSadValid) {
        void *sad = vda_user_addr(m, d.pAddr, (u64)d.u32Stride * d.u32MbHeight);
        if (!sad)
            return false;
        d.pAddr = sad;
    }
    if (d.bMbObjValid) {
        void *obj = vda_user_addr(m, d.pstAddr, (u64)d.u32ObjNum * sizeof(VDA_OBJ_S));
        if (!obj)
            return false;
        d.pstAddr = static_cast<VDA_OBJ_S *>(obj);
    }
    return true;
}

// What a channel's creation works on.
struct VdaCreate {
    VDA_CHN_MAP_S *m;
    const VDA_CHN_ATTR_REC_S *attr;
};

s32 create_driver_chn(VdaCreate *c)
{
    return bd_ioctl(c->m->s32Fd, VDA_CREATE_CHN, const_cast<VDA_CHN_ATTR_REC_S *>(c->attr));
}
void destroy_driver_chn(VdaCreate *c) { bd_ioctl(c->m->s32Fd, VDA_DESTROY_CHN, nullptr); }

s32 take_buf_info(VdaCreate *c)
{
    VDA_BUF_REC_S buf = {0, 0};
    if (s32 ret = bd_ioctl(c->m->s32Fd, VDA_GET_BUF, &buf))
        return ret;
    c->m->u32PhyAddr = buf.u32PhyAddr;
    c->m->u32Size = buf.u32Size;
    return 0;
}
void forget_buf(VdaCreate *c) { vda_unmap(*c->m); }

// An empty buffer has no pages to map: it fails as a mapping would.
s32 map_buf(VdaCreate *c)
{
    VDA_CHN_MAP_S &m = *c->m;
    MPI_SPAN_S span = mpi_span(m.u32PhyAddr, m.u32Size ? m.u32Size : 1, MPI_PAGE_SIZE);
    void *start = m.u32Size ? bd_mmap(nullptr, span.u32Len, PROT_READ | PROT_WRITE, MAP_SHARED, g_s32VdaMemFd,
                                      span.u32Base)
                            : MAP_FAILED;
    if (start == MAP_FAILED) {
        printf("mmap err,page addr:%d u32PagePhy size:%d\n", (s32)span.u32Base, (s32)span.u32Len);
        return ERR_VDA_NOMEM;
    }
    m.pMapStart = start;
    m.u32MapLen = span.u32Len;
    m.pVirAddr = static_cast<u8 *>(start) + span.u32Offset;
    return 0;
}

const mpi_step<VdaCreate> kCreateSteps[] = {
    {nullptr, create_driver_chn, destroy_driver_chn},
    {nullptr, take_buf_info, forget_buf},
    {nullptr, map_buf, nullptr},
};

#define W(p) const_cast<void *>(static_cast<const void *>(p))

} // namespace

s32 DU_DUZ_VDA_CreateChn(VDA_CHN VdaChn, const VDA_CHN_ATTR_REC_S *pstAttr)
{
    if (s32 ret = vda_ready(VdaChn, {pstAttr}))
        return ret;
    if (!mpi_dev_open(&g_s32VdaMemFd, kVdaMemNode).ok()) {
        printf("open mem device failed \n");
        return ERR_VDA_SYS_NOTREADY;
    }
    VdaCreate create = {&g_stMpiVda[VdaChn], pstAttr};
    return mpi_steps_run(kCreateSteps, &create);
}

s32 DU_DUZ_VDA_DestroyChn(VDA_CHN VdaChn)
{
    if (s32 ret = vda_call(VdaChn, VDA_DESTROY_CHN, nullptr, {}))
        return ret;
    // Forgotten once unmapped: a second destroy must not unmap again.
    vda_unmap(g_stMpiVda[VdaChn]);
    return 0;
}

s32 DU_DUZ_VDA_GetChnAttr(VDA_CHN c, VDA_CHN_ATTR_REC_S *p) { return vda_call(c, VDA_GET_CHN_ATTR, p, {p}); }
s32 DU_DUZ_VDA_SetChnAttr(VDA_CHN c, const VDA_CHN_ATTR_REC_S *p) { return vda_call(c, VDA_SET_CHN_ATTR, W(p), {p}); }
s32 DU_DUZ_VDA_StartRecvPic(VDA_CHN c) { return vda_call(c, VDA_START_RECV, nullptr, {}); }
s32 DU_DUZ_VDA_StopRecvPic(VDA_CHN c) { return vda_call(c, VDA_STOP_RECV, nullptr, {}); }
s32 DU_DUZ_VDA_ReleaseData(VDA_CHN c, const VDA_DATA_REC_S *p) { return vda_call(c, VDA_RELEASE_DATA, W(p), {p}); }
s32 DU_DUZ_VDA_ResetOdRegion(VDA_CHN c, u32 v) { return vda_call(c, VDA_RESET_OD_REGION, &v, {}); }
s32 DU_DUZ_VDA_Query(VDA_CHN c, VDA_CHN_STAT_S *p) { return vda_call(c, VDA_QUERY, p, {p}); }
s32 DU_DUZ_VDA_UpdateRef(VDA_CHN c, const VDA_REF_REC_S *p) { return vda_call(c, VDA_UPDATE_REF, W(p), {p}); }

s32 DU_DUZ_VDA_GetData(VDA_CHN VdaChn, VDA_DATA_REC_S *pstVdaData, s32 s32MilliSec)
{
    VDA_GET_DATA_REQ_S r;
    memset(&r, 0, sizeof r);
    r.s32MilliSec = s32MilliSec;
    if (s32 ret = vda_call(VdaChn, VDA_GET_DATA, &r, {pstVdaData}))
        return ret;
    VDA_DATA_REC_S d = r.stData;
    if (d.enWorkMode == VDA_WORK_MODE_MD && !vda_to_user(g_stMpiVda[VdaChn], d)) {
        // Not ours to read: hand the result back and report it.
        bd_ioctl(g_stMpiVda[VdaChn].s32Fd, VDA_RELEASE_DATA, &r.stData);
        return ERR_VDA_BADADDR;
    }
    *pstVdaData = d;
    return 0;
}

s32 DU_DUZ_VDA_SendPic(VDA_CHN VdaChn, const VIDEO_FRAME_REC_S *pstUserFrame, u32 u32MilliSec)
{
    VIDEO_FRAME_REQ_S r;
    memset(&r, 0, sizeof r);
    if (pstUserFrame)
        r.stFrame = *pstUserFrame;
    r.s32MilliSec = (s32)u32MilliSec;
    return vda_call(VdaChn, VDA_SEND_PIC, &r, {pstUserFrame});
}

s32 DU_DUZ_VDA_GetFd(VDA_CHN VdaChn)
{
    if (s32 ret = vda_ready(VdaChn, {}))
        return ret;
    return g_stMpiVda[VdaChn].s32Fd;
}

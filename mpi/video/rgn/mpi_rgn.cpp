// The region unit: each call checks its handle, opens /dev/rgn lazily, checks
// its records and sends one request; the canvas calls keep a per-handle map
// of the driver's canvases in this process.
#include "mpi/video/rgn/mpi_rgn.h"
#include "mpi/video/rgn/rgn_requests.h"

#include "board/board.h"
#include "mpi/common/mpi_dev.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/mman.h>

RGN_MAP_S g_stMpiRgn[RGN_HANDLE_MAX];
s32 g_s32RgnFd = -1;
s32 g_s32RgnMemFd = -1;

namespace {

const mpi_dev_node kRgnNode = {"/dev/rgn", O_RDONLY, 0, 0};
const mpi_dev_node kRgnMemNode = {"/dev/mem", O_RDWR | O_SYNC, 0, 0};

s32 rgn_open()
{
    if (mpi_dev_open(&g_s32RgnFd, kRgnNode).ok())
        return 0;
    printf("open /dev/rgn err\n");
    return DU_ERR_RGN_SYS_NOTREADY;
}

// The checks every call makes, in order: the handle indexes the map table,
// the device is open, the records are there.
s32 rgn_check(RGN_HANDLE handle, std::initializer_list<const void *> records)
{
    if (handle >= RGN_HANDLE_MAX) {
        printf("rgn handle %u is invalid\n", handle);
        return DU_ERR_RGN_ILLEGAL_PARAM;
    }
    if (s32 ret = rgn_open())
        return ret;
    for (const void *p : records)
        if (!p) {
            printf("PTR is NULL!\n");
            return DU_ERR_RGN_NULL_PTR;
        }
    return 0;
}

template <class Req> s32 rgn_send(unsigned long cmd, Req &req)
{
    return bd_ioctl(g_s32RgnFd, cmd, &req);
}

// The checks (`records` are the caller's records, none may be null), then
// one request built by `build` once they are known to be there; `done` sees
// the answered request when it succeeded. Not a plain check-and-send: the
// request is made here, from records only read once they passed.
template <class Build, class Done>
s32 rgn_send_built(RGN_HANDLE handle, unsigned long cmd, Build build, std::initializer_list<const void *> records,
                   Done done)
{
    if (s32 ret = rgn_check(handle, records))
        return ret;
    auto req = build();
    s32 ret = rgn_send(cmd, req);
    if (ret == 0)
        done(req);
    return ret;
}

template <class Build>
s32 rgn_send_built(RGN_HANDLE handle, unsigned long cmd, Build build, std::initializer_list<const void *> records)
{
    return rgn_send_built(handle, cmd, build, records, [](const auto &) {});
}

s32 RgnMemUnmap(RGN_HANDLE handle, u32 index)
{
    if (index > 1)
        return -1;
    RGN_MAP_S &m = g_stMpiRgn[handle];
    if (!m.pMapStart[index])
        return 0;
    if (bd_munmap(m.pMapStart[index], m.u32MapLen[index]) != 0)
        return -1;
    m.pVirtAddr[index] = nullptr;
    m.pMapStart[index] = nullptr;
    m.u32MapLen[index] = 0;
    m.u32MapPhyAddr[index] = 0;
    m.u32MapSize[index] = 0;
    return 0;
}

// Drops every mapping of the handle and what the driver last reported.
void rgn_forget(RGN_HANDLE handle)
{
    RgnMemUnmap(handle, 0);
    RgnMemUnmap(handle, 1);
    g_stMpiRgn[handle].u32PhyAddr = 0;
    g_stMpiRgn[handle].u32Size = 0;
}

// Maps canvas `index` at [phys, phys + size) into this process.
s32 rgn_map_canvas(RGN_HANDLE handle, u32 index, u32 phys, u32 size)
{
    if (!mpi_dev_open(&g_s32RgnMemFd, kRgnMemNode).ok()) {
        printf("open dev mem failed!\n");
        return DU_ERR_RGN_NOMEM;
    }
    MPI_SPAN_S span = mpi_span(phys, size, MPI_PAGE_SIZE);
    void *base = bd_mmap(nullptr, span.u32Len, PROT_READ | PROT_WRITE, MAP_SHARED, g_s32RgnMemFd, span.u32Base);
    if (base == MAP_FAILED) {
        printf("mmap err,page addr:0x%x u32PagePhy size:%d\n", span.u32Base, span.u32Len);
        return DU_ERR_RGN_NOMEM;
    }
    void *user = static_cast<u8 *>(base) + span.u32Offset;
    if (!user) {
        bd_munmap(base, span.u32Len);
        return DU_ERR_RGN_NOMEM;
    }
    RGN_MAP_S &m = g_stMpiRgn[handle];
    m.pMapStart[index] = base;
    m.u32MapLen[index] = span.u32Len;
    m.pVirtAddr[index] = user;
    m.u32MapPhyAddr[index] = phys;
    m.u32MapSize[index] = size;
    return 0;
}

} // namespace

s32 DU_DUZ_RGN_Create(RGN_HANDLE Handle, const RGN_ATTR_REC_S *pstRegion)
{
    return rgn_send_built(Handle, RGN_CREATE_CTRL, [&] { return RGN_ATTR_REQ_S{Handle, *pstRegion}; }, {pstRegion});
}

s32 DU_DUZ_RGN_Destroy(RGN_HANDLE Handle)
{
    return rgn_send_built(Handle, RGN_DESTROY_CTRL, [&] { return Handle; }, {},
                          [&](const auto &) {
                              rgn_forget(Handle);
                              // Other handles' mappings stay valid without the
                              // descriptor; the next canvas mapping opens it again.
                              if (g_s32RgnMemFd >= 0) {
                                  bd_close(g_s32RgnMemFd);
                                  g_s32RgnMemFd = -1;
                              }
                          });
}

s32 DU_DUZ_RGN_SetAttr(RGN_HANDLE Handle, const RGN_ATTR_REC_S *pstRegion)
{
    if (s32 ret = rgn_check(Handle, {pstRegion}))
        return ret;
    RGN_ATTR_REQ_S req = {Handle, *pstRegion};
    s32 ret = rgn_send(RGN_SET_ATTR_CTRL, req);
    if (ret != DU_RGN_CANVAS_RECREATED)
        return ret;
    rgn_forget(Handle);
    return 0;
}

s32 DU_DUZ_RGN_GetAttr(RGN_HANDLE Handle, RGN_ATTR_REC_S *pstRegion)
{
    return rgn_send_built(
        Handle, RGN_GET_ATTR_CTRL, [&] { return RGN_ATTR_REQ_S{Handle, {}}; }, {pstRegion},
        [&](const auto &req) { *pstRegion = req.stAttr; });
}

s32 DU_DUZ_RGN_SetBitMap(RGN_HANDLE Handle, const BITMAP_S *pstBitmap)
{
    return rgn_send_built(Handle, RGN_SET_BITMAP_CTRL, [&] { return RGN_BITMAP_REQ_S{Handle, *pstBitmap}; },
                          {pstBitmap});
}

s32 DU_DUZ_RGN_UpdateBitMap(RGN_HANDLE Handle, const RGN_BMP_UPDATE_CFG_REC_S *pstBmpUpdate)
{
    return rgn_send_built(
        Handle, RGN_UPDATE_BITMAP_CTRL, [&] { return RGN_BITMAP_UPDATE_REQ_S{Handle, *pstBmpUpdate}; }, {pstBmpUpdate});
}

s32 DU_DUZ_RGN_SetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn, const RGN_CHN_ATTR_REC_S *pstChnAttr)
{
    return rgn_send_built(
        Handle, RGN_SET_DISPLAY_ATTR_CTRL, [&] { return RGN_CHN_REQ_S{Handle, *pstChn, *pstChnAttr}; },
        {pstChn, pstChnAttr});
}

s32 DU_DUZ_RGN_GetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn, RGN_CHN_ATTR_REC_S *pstChnAttr)
{
    return rgn_send_built(
        Handle, RGN_GET_DISPLAY_ATTR_CTRL, [&] { return RGN_CHN_REQ_S{Handle, *pstChn, {}}; }, {pstChn, pstChnAttr},
        [&](const auto &req) { *pstChnAttr = req.stChnAttr; });
}

s32 DU_DUZ_RGN_AttachToChn(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn, const RGN_CHN_ATTR_REC_S *pstChnAttr)
{
    return rgn_send_built(Handle, RGN_ATTACH_CTRL, [&] { return RGN_CHN_REQ_S{Handle, *pstChn, *pstChnAttr}; },
                          {pstChn, pstChnAttr});
}

s32 DU_DUZ_RGN_DetachFromChn(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn)
{
    return rgn_send_built(Handle, RGN_DETACH_CTRL, [&] { return RGN_DETACH_REQ_S{Handle, *pstChn}; }, {pstChn});
}

s32 DU_DUZ_RGN_SetAttachField(RGN_HANDLE Handle, u32 enField)
{
    return rgn_send_built(Handle, RGN_SET_ATTACH_FIELD_CTRL, [&] { return RGN_FIELD_REQ_S{Handle, enField}; }, {});
}

s32 DU_DUZ_RGN_GetAttachField(RGN_HANDLE Handle, u32 *penField)
{
    return rgn_send_built(
        Handle, RGN_GET_ATTACH_FIELD_CTRL, [&] { return RGN_FIELD_REQ_S{Handle, 0}; }, {penField},
        [&](const auto &req) { *penField = req.enField; });
}

s32 DU_DUZ_RGN_GetCanvasInfo(RGN_HANDLE Handle, RGN_CANVAS_REC_S *pstCanvasInfo)
{
    if (s32 ret = rgn_check(Handle, {pstCanvasInfo}))
        return ret;
    RGN_CANVAS_REQ_S req = {};
    req.Handle = Handle;
    s32 ret = rgn_send(RGN_GET_CANVAS_CTRL, req);
    if (ret != 0)
        return ret;
    if (req.u32Index > 1)
        return DU_ERR_RGN_ILLEGAL_PARAM;
    RGN_MAP_S &m = g_stMpiRgn[Handle];
    u32 idx = req.u32Index, phys = req.stCanvas.u32PhyAddr;
    m.u32PhyAddr = phys;
    m.u32Size = req.u32Size;
    // A canvas the driver has moved or resized since it was mapped is
    // mapped again; drawing through the old mapping would miss it.
    if (m.pVirtAddr[idx] && (m.u32MapPhyAddr[idx] != phys || m.u32MapSize[idx] != req.u32Size)) {
        if (RgnMemUnmap(Handle, idx) != 0)
            return DU_ERR_RGN_NOMEM;
    }
    if (!m.pVirtAddr[idx]) {
        if (req.u32Size == 0)
            return DU_ERR_RGN_ILLEGAL_PARAM;
        if (s32 map_ret = rgn_map_canvas(Handle, idx, phys, req.u32Size))
            return map_ret;
    }
    *pstCanvasInfo = req.stCanvas;
    pstCanvasInfo->pVirtAddr = m.pVirtAddr[idx];
    return 0;
}

s32 DU_DUZ_RGN_UpdateCanvas(RGN_HANDLE Handle)
{
    return rgn_send_built(Handle, RGN_UPDATE_CANVAS_CTRL, [&] { return Handle; }, {});
}

s32 DU_DUZ_RGN_GetFd(void)
{
    if (s32 ret = rgn_open())
        return ret;
    return g_s32RgnFd;
}

// The two chains that finish on the processor once the engine has done its
// part: Canny edge tracking over the engine's edge map and point stack, and
// the selection of Shi-Tomasi corners from the engine's candidates. Both run
// on the user addresses in the caller's thread.
#include "ive/inner_comm.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Classes of the engine's edge map.
constexpr u8 kCandidate = 0, kEdge = 2;

u32 load_u32(const u8 *p)
{
    u32 v;
    memcpy(&v, p, sizeof v);
    return v;
}

// The eight neighbours in the order they are visited: up-left, up,
// up-right, left, right, down-left, down, down-right.
const int kNeighbours[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};

// A coordinate moved by one and kept inside [0, size - 1].
u16 clamped(u16 v, int step, u16 size) { return (u16)std::clamp((int)v + step, 0, (int)size - 1); }

} // namespace

// ---- Canny edge tracking -------------------------------------------------------------------------

void DU_CannyStackPush(u8 **ppu8Top, u32 *pu32Count, u16 u16X, u16 u16Y)
{
    memcpy(*ppu8Top, &u16X, 2);
    memcpy(*ppu8Top + 2, &u16Y, 2);
    *ppu8Top += 4;
    ++*pu32Count;
}

void DU_CannyStackPop(u8 **ppu8Top, u32 *pu32Count, u16 *pu16X, u16 *pu16Y)
{
    *ppu8Top -= 4;
    memcpy(pu16Y, *ppu8Top + 2, 2);
    memcpy(pu16X, *ppu8Top, 2);
    --*pu32Count;
}

void DU_CannyEdge(u8 *pu8Edge, u16 u16Stride, u8 *pu8Stack, u8 *pu8Count, u16 u16Width, u16 u16Height)
{
    const u32 capacity = (u32)u16Width * u16Height;
    u32 count = load_u32(pu8Count);
    u8 *top = pu8Stack + (size_t)count * 4;
    while (count) {
        u16 x, y;
        DU_CannyStackPop(&top, &count, &x, &y);
        if (x >= u16Width || y >= u16Height)
            continue; // not a point of this picture
        for (const auto &n : kNeighbours) {
            const u16 nx = clamped(x, n[0], u16Width), ny = clamped(y, n[1], u16Height);
            u8 *px = pu8Edge + (size_t)ny * u16Stride + nx;
            // Marked as it is pushed, so no pixel goes on twice. The stack
            // holds a point per pixel and is full only when it came with
            // points that are not distinct edge pixels: a candidate that finds
            // no room stays one, for a later neighbour to push.
            if (*px != kCandidate || count == capacity)
                continue;
            *px = kEdge;
            DU_CannyStackPush(&top, &count, nx, ny);
        }
    }
    memcpy(pu8Count, &count, sizeof count);
    // 0 and 1 become 0, 2 and 3 become 255.
    for (u32 y = 0; y < u16Height; y++) {
        u8 *row = pu8Edge + (size_t)y * u16Stride;
        for (u32 x = 0; x < u16Width; x++)
            row[x] = (u8)(256 - row[x] / 2);
    }
}

s32 DU_DUZ_IVE_CannyEdge(IVE_IMG_DESC_S *pstEdge, IVE_MEM_BLOCK_S *pstStack)
{
    if (s32 ret = IveCheckCannyEdgeParam(pstEdge, pstStack)) {
        ive_report(IVE_HERE, "Error(%#x): check CannyEdge parameters failed!\n", (u32)ret);
        return ret;
    }
    const u32 pixels = (u32)pstEdge->u16Width * pstEdge->u16Height;
    DU_CannyEdge(pstEdge->pu8VirAddr[0], pstEdge->u16Stride[0], pstStack->pu8VirAddr,
                 pstStack->pu8VirAddr + (size_t)4 * pixels, pstEdge->u16Width, pstEdge->u16Height);
    return 0;
}

// ---- corner selection -------------------------------------------------------------------------------

bool DU_Comp(const IveCandidate &a, const IveCandidate &b) { return a.u8Val > b.u8Val; }

s32 DU_STCornerCollect(const u8 *pu8Image, u16 u16Stride, u16 u16Width, u16 u16Height, u8 *pu8Points,
                       u8 *pu8CornerNum, u16 u16MaxCornerNum, u16 u16MinDist)
{
    // Every candidate inside the one-pixel border, strongest first; equal
    // responses keep their raster order.
    std::vector<IveCandidate> candidates;
    try {
        candidates.reserve((size_t)u16Width * u16Height);
    } catch (const std::bad_alloc &) {
        return ive_fail(IVE_HERE, true, DU_ERR_IVE_NOMEM, "ppu8Corner malloc fail!\n");
    }
    for (u32 y = 1; y + 1 < u16Height; y++)
        for (u32 x = 1; x + 1 < u16Width; x++)
            if (u8 v = pu8Image[(size_t)y * u16Stride + x])
                candidates.push_back({v, (u16)x, (u16)y});
    std::stable_sort(candidates.begin(), candidates.end(), DU_Comp);

    // The list holds 200 points, however many the caller asks for.
    const u16 limit =
        u16MaxCornerNum == 0 ? IVE_ST_MAX_CORNER_NUM : std::min<u16>(u16MaxCornerNum, IVE_ST_MAX_CORNER_NUM);
    u16 accepted = 0;
    if (u16MinDist == 0) {
        memcpy(pu8CornerNum, &accepted, sizeof accepted);
        return 0;
    }
    // Accepted points by d x d cell: a conflict lies in the candidate's cell
    // or one of its eight neighbours.
    const int d = u16MinDist, cols = (u16Width + d - 1) / d, rows = (u16Height + d - 1) / d;
    std::vector<std::vector<IVE_XY_U16_S>> cells;
    std::vector<IVE_XY_U16_S> corners;
    try {
        cells.resize((size_t)cols * rows);
        corners.reserve(limit);
    } catch (const std::bad_alloc &) {
        return ive_fail(IVE_HERE, true, DU_ERR_IVE_NOMEM, "ppu8Corner malloc fail!\n");
    }
    auto too_close = [&](const IveCandidate &c) {
        const int cx = c.u16X / d, cy = c.u16Y / d;
        for (int gy = std::max(cy - 1, 0); gy <= std::min(cy + 1, rows - 1); gy++)
            for (int gx = std::max(cx - 1, 0); gx <= std::min(cx + 1, cols - 1); gx++)
                for (const IVE_XY_U16_S &p : cells[(size_t)gy * cols + gx]) {
                    const int dx = c.u16X - p.u16X, dy = c.u16Y - p.u16Y;
                    if (dx * dx + dy * dy < d * d)
                        return true;
                }
        return false;
    };
    for (const IveCandidate &c : candidates) {
        if (accepted == limit)
            break;
        if (too_close(c))
            continue;
        const size_t cell = (size_t)(c.u16Y / d) * cols + c.u16X / d;
        try {
            cells[cell].push_back({c.u16X, c.u16Y});
        } catch (const std::bad_alloc &) {
            return ive_fail(IVE_HERE, true, DU_ERR_IVE_NOMEM, "pstCells[%d].pstPoint malloc fail!\n", (s32)cell);
        }
        corners.push_back({c.u16X, c.u16Y});
        accepted++;
    }
    // The list is written only once the selection has succeeded.
    memcpy(pu8Points, corners.data(), corners.size() * sizeof(IVE_XY_U16_S));
    memcpy(pu8CornerNum, &accepted, sizeof accepted);
    return 0;
}

s32 DU_DUZ_IVE_STCorner(IVE_IMG_DESC_S *pstCandiCorner, IVE_MEM_BLOCK_S *pstCorner,
                        IVE_ST_CORNER_CTRL_S *pstStCornerCtrl)
{
    if (s32 ret = IveCheckSTCornerParam(pstCandiCorner, pstCorner, pstStCornerCtrl)) {
        ive_report(IVE_HERE, "Error(%#x): check STCorner parameters failed!\n", (u32)ret);
        return ret;
    }
    return DU_STCornerCollect(pstCandiCorner->pu8VirAddr[0], pstCandiCorner->u16Stride[0], pstCandiCorner->u16Width,
                              pstCandiCorner->u16Height, pstCorner->pu8VirAddr + 2, pstCorner->pu8VirAddr,
                              pstStCornerCtrl->u16MaxCornerNum, pstStCornerCtrl->u16MinDist);
}

// The tests' own "libslice_trans.so", loaded by the encoder unit by that name:
// it transcodes nothing and writes down every call it gets.
#include "tests/support/slice_trans/slice_trans.h"

#include "mpi/video/venc/mpi_venc.h"

#include <cstring>

namespace {

SliceTransLog g_log;
s32 g_init_result = 0;
u32 g_touch = 0;
u32 g_keep_log = 1;

SliceTransCall *next_call(SliceTransEntry entry)
{
    if (!g_keep_log)
        return nullptr;
    u32 n = g_log.u32Count++;
    if (n >= SLICE_TRANS_MAX_CALLS)
        return nullptr;
    SliceTransCall *c = &g_log.astCall[n];
    memset(c, 0, sizeof *c);
    c->entry = entry;
    return c;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) s32 AvcDec_Init(s32 s32Param)
{
    if (SliceTransCall *c = next_call(SLICE_TRANS_INIT))
        c->s32Param = s32Param;
    return g_init_result;
}

__attribute__((visibility("default"))) void AvcDec_Deinit(void) { next_call(SLICE_TRANS_DEINIT); }

__attribute__((visibility("default"))) void AvcDec_TransCodeSlice(void *pstStream, u32 u32BufTag, u8 *pu8WorkBuf,
                                                                  u8 *pu8WorkBuf2)
{
    if (g_touch) {
        size_t half = (size_t)(pu8WorkBuf2 - pu8WorkBuf);
        memset(pu8WorkBuf, 0x55, half);
        memset(pu8WorkBuf2, 0xaa, half);
    }
    SliceTransCall *c = next_call(SLICE_TRANS_TRANSCODE);
    if (!c)
        return;
    const VENC_STREAM_REC_S *s = static_cast<const VENC_STREAM_REC_S *>(pstStream);
    c->pstStream = pstStream;
    c->u32BufTag = u32BufTag;
    c->pu8WorkBuf = pu8WorkBuf;
    c->pu8WorkBuf2 = pu8WorkBuf2;
    c->u32PackNum = s->u32PackNum;
    for (u32 k = 0; k < s->u32PackNum; k++)
        c->u32Total += s->pstPack[k].u32Len;
    if (s->u32PackNum && s->pstPack[0].u32Len >= sizeof c->au8Head)
        memcpy(c->au8Head, s->pstPack[0].pu8Data, sizeof c->au8Head);
}

__attribute__((visibility("default"))) SliceTransLog *slice_trans_log(void) { return &g_log; }
__attribute__((visibility("default"))) void slice_trans_set_init_result(s32 s32Result) { g_init_result = s32Result; }
__attribute__((visibility("default"))) void slice_trans_touch(u32 bTouch) { g_touch = bTouch; }
__attribute__((visibility("default"))) void slice_trans_keep_log(u32 bKeep) { g_keep_log = bKeep; }
}

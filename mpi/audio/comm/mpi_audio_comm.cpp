// The audio units' shared foundations.
#include "mpi/audio/comm/mpi_audio_comm.h"

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "board/board.h"
#include "mpi/audio/mpi_audio.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/video/sys/sys_mem.h"

namespace {

// The audio units' own descriptors, never shared with the video side.
s32 s_s32MmzFd = -1;
s32 s_s32AudioMemFd = -1;
// Two threads opening one channel's node at once would each store a descriptor.
std::mutex s_node_lock;

} // namespace

s32 audio_node_open(s32 *ps32Fd, const AUDIO_NODE_S *pstNode, s32 s32Chn, const char *pszFunc)
{
    // Descriptor 0 is never taken as a node's.
    const mpi_dev_node node = {pstNode->pszPath, O_RDWR, pstNode->ulBindReq, 1};
    mpi_dev_result r = mpi_dev_open_locked(s_node_lock, ps32Fd, node, (u32)s32Chn);
    if (r.ok())
        return 0;
    if (r.step == MPI_DEV_OPEN_FAILED) {
        if (pstNode->enOpenMsg == AUDIO_OPEN_MSG_TRACE) {
            MPI_TRACE_PREFIX(pszFunc, __LINE__);
            fprintf(stderr, "%s", pstNode->pszOpenMsg);
        } else if (pstNode->enOpenMsg == AUDIO_OPEN_MSG_PUTS) {
            puts(pstNode->pszOpenMsg);
        }
    } else if (pstNode->bBindMsg) {
        printf("[Func]:%s [Line]:%d [Info]:%s\n", pszFunc, __LINE__, "failed");
    }
    return mpi_status(pstNode->enModId, ERR_SYS_NOTREADY);
}

// ---- memory ----------------------------------------------------------------------------------------

s32 audio_alloc(const char *pszName, u32 *pu32PhyAddr, void **ppVirAddr, u32 u32Size)
{
    if (!pu32PhyAddr || !ppVirAddr)
        return -1;
    static const mpi_dev_node node = {"/dev/mmz_userdev", O_RDWR, 0, 0};
    if (!mpi_dev_open(&s_s32MmzFd, node).ok()) {
        perror("open /dev/mmz_userdev");
        return -1;
    }
    MMZ_STEP_E failed;
    return mmz_buf_alloc(s_s32MmzFd, pszName, nullptr, u32Size, false, pu32PhyAddr, ppVirAddr, &failed) == 0 ? 0
                                                                                                              : -1;
}

s32 audio_free(u32 u32PhyAddr)
{
    if (s_s32MmzFd < 0)
        return -1;
    MMZ_STEP_E failed;
    mmz_buf_free(s_s32MmzFd, u32PhyAddr, &failed);
    return failed == MMZ_STEP_UNMAP ? -1 : 0;
}

s32 audio_check_mem_open(void)
{
    // Only a descriptor above 0 counts as open.
    static const mpi_dev_node node = {"/dev/mem", O_RDWR | O_SYNC, 0, 1};
    return mpi_dev_open(&s_s32AudioMemFd, node).ok() ? 0 : -1;
}

void *audio_memmap(u32 u32PhyAddr, u32 u32Size)
{
    if (u32Size == 0 || audio_check_mem_open() != 0)
        return nullptr;
    return phys_map(s_s32AudioMemFd, u32PhyAddr, u32Size);
}

s32 audio_memunmap(void *pVirAddr, u32 u32Size) { return phys_unmap(pVirAddr, u32Size); }

// ---- dumps ---------------------------------------------------------------------------------------------

bool audio_dump_open(AUDIO_DUMP_S *pstDump, const char *const apszPath[AUDIO_DUMP_BUTT])
{
    for (int i = 0; i < AUDIO_DUMP_BUTT; i++) {
        if (!apszPath[i])
            continue;
        pstDump->apFile[i] = bd_fopen(apszPath[i], "wb+");
        if (!pstDump->apFile[i]) {
            audio_dump_close(pstDump);
            return false;
        }
    }
    pstDump->bFileOpen = DU_TRUE;
    return true;
}

void audio_dump_write(AUDIO_DUMP_S *pstDump, AUDIO_DUMP_FILE_E enFile, const void *pData, u32 u32Len, u32 u32Limit)
{
    FILE *file = pstDump->apFile[enFile];
    if (!file || pstDump->au32Len[enFile] >= u32Limit)
        return;
    pstDump->au32Len[enFile] += (u32)fwrite(pData, 1, u32Len, file);
}

bool audio_dump_full(const AUDIO_DUMP_S *pstDump, u32 u32Limit)
{
    for (u32 len : pstDump->au32Len)
        if (len >= u32Limit)
            return true;
    return false;
}

void audio_dump_close(AUDIO_DUMP_S *pstDump)
{
    for (int i = 0; i < AUDIO_DUMP_BUTT; i++) {
        if (pstDump->apFile[i])
            fclose(pstDump->apFile[i]);
        pstDump->apFile[i] = nullptr;
        pstDump->au32Len[i] = 0;
    }
    pstDump->bFileOpen = DU_FALSE;
}

void audio_poll_sleep(void) { usleep(g_s32HRTimer == 1 ? 10000 : 1000); }

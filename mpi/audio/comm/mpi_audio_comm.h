// What the four audio units share: records, status codes, the per-channel
// kernel node, memory for buffers the kernel also sees, the save-file dumps
// and the polling rule.
#pragma once

#include <cstdint>
#include <cstdio>

#include "mpi/audio/comm/audio_requests.h"
#include "mpi/common/mpi_common.h"

// ---- per-channel kernel node --------------------------------------------------------------------

enum AUDIO_OPEN_MSG_E { AUDIO_OPEN_MSG_NONE, AUDIO_OPEN_MSG_TRACE, AUDIO_OPEN_MSG_PUTS };

// How a unit reaches its node.
struct AUDIO_NODE_S {
    const char *pszPath;      // "/dev/ai"
    unsigned long ulBindReq;  // binds a descriptor to a channel
    u32 enModId;
    AUDIO_OPEN_MSG_E enOpenMsg;
    const char *pszOpenMsg;   // printed when the node won't open
    bool bBindMsg;            // print "failed" when the bind is refused
};

// Opens and binds the channel's node when its slot holds no descriptor (below
// 1); 0, or the unit's code 0x10 with the slot at -1.
s32 audio_node_open(s32 *ps32Fd, const AUDIO_NODE_S *pstNode, s32 s32Chn, const char *pszFunc);

// ---- memory the kernel also sees -------------------------------------------------------------------

// A named zone buffer mapped uncached; 0 or -1 (nothing is left allocated).
s32 audio_alloc(const char *pszName, u32 *pu32PhyAddr, void **ppVirAddr, u32 u32Size);
// Unmaps and frees it; -1 when the unmap fails.
s32 audio_free(u32 u32PhyAddr);
// /dev/mem for audio_memmap: 0 when open, -1 when it won't open.
s32 audio_check_mem_open(void);
// The pages covering [phys, phys + size) mapped; the user address of phys, or null.
void *audio_memmap(u32 u32PhyAddr, u32 u32Size);
s32 audio_memunmap(void *pVirAddr, u32 u32Size);

// ---- save-file dumps --------------------------------------------------------------------------------

enum AUDIO_DUMP_FILE_E { AUDIO_DUMP_SIN, AUDIO_DUMP_SOU, AUDIO_DUMP_RIN, AUDIO_DUMP_BUTT };

// A channel's dump files (input before processing, output after it, echo
// reference) and the bytes written to each.
struct AUDIO_DUMP_S {
    FILE *apFile[AUDIO_DUMP_BUTT];
    u32 au32Len[AUDIO_DUMP_BUTT];
    u32 bFileOpen;
};

// Opens the named files ("wb+", through the board: what they take reaches
// the card as every write does; a null name is not opened); when one fails,
// the others are closed again and false is returned.
bool audio_dump_open(AUDIO_DUMP_S *pstDump, const char *const apszPath[AUDIO_DUMP_BUTT]);
// Appends to one open file while its count is below the limit (bytes).
void audio_dump_write(AUDIO_DUMP_S *pstDump, AUDIO_DUMP_FILE_E enFile, const void *pData, u32 u32Len,
                      u32 u32Limit);
// True once any file's count has reached the limit.
bool audio_dump_full(const AUDIO_DUMP_S *pstDump, u32 u32Limit);
// Closes whatever is open and clears the counts.
void audio_dump_close(AUDIO_DUMP_S *pstDump);

// ---- polling ----------------------------------------------------------------------------------------
// After an empty poll: 10 ms with high-resolution timers, else 1 ms.
void audio_poll_sleep(void);

// ---- codec registries ----------------------------------------------------------------------------
// The encoder and decoder registries: slots whose first field, enType, holds
// `free_type` when free. The caller holds the registry's mutex.

// Copies the entry into the lowest free slot; its index, or -1 when the
// registry is full or the payload type is registered already.
template <class Entry, u32 N> s32 audio_registry_add(Entry (&slots)[N], u32 *count, const Entry &entry, u32 free_type)
{
    if (*count >= N)
        return -1;
    s32 free_slot = -1;
    for (u32 i = 0; i < N; i++) {
        if (slots[i].enType == entry.enType)
            return -1;
        if (slots[i].enType == free_type && free_slot < 0)
            free_slot = (s32)i;
    }
    if (free_slot < 0)
        return -1;
    slots[free_slot] = entry;
    (*count)++;
    return free_slot;
}

// Frees a registered slot; false when it is free already.
template <class Entry, u32 N> bool audio_registry_remove(Entry (&slots)[N], u32 *count, u32 slot, u32 free_type)
{
    if (*count == 0 || slots[slot].enType == free_type)
        return false;
    slots[slot] = Entry{};
    slots[slot].enType = free_type;
    (*count)--;
    return true;
}

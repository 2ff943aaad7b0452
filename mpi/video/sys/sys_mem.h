// Zone buffers and physical mappings on a given descriptor: the system unit
// and the audio units each keep descriptors of their own and share the steps.
#pragma once

#include "mpi/common/mpi_common.h"

enum MMZ_STEP_E { MMZ_STEP_NONE, MMZ_STEP_ALLOC, MMZ_STEP_MAP, MMZ_STEP_UNMAP, MMZ_STEP_FREE };

// Allocates `size` bytes of zone memory on /dev/mmz_userdev descriptor `fd`
// and maps it (cached or not). On failure the step that failed goes to
// *failed, its result is returned and nothing stays allocated.
s32 mmz_buf_alloc(s32 fd, const char *buf_name, const char *zone_name, u32 size, bool cached, u32 *phys,
                  void **user, MMZ_STEP_E *failed);
// Unmaps and frees the buffer at `phys`; the free is not tried when the unmap fails.
s32 mmz_buf_free(s32 fd, u32 phys, MMZ_STEP_E *failed);

// Maps the pages covering [phys, phys + size) through `fd` (size not 0);
// the user address of `phys`, or null.
void *phys_map(s32 fd, u32 phys, u32 size);
// Unmaps what phys_map gave for the same user address and size.
s32 phys_unmap(void *user, u32 size);

// Descriptors the system unit's files share: /dev/sys, /dev/logmpp, /dev/mem.
#pragma once

#include "mpi/common/mpi_common.h"

extern s32 g_s32SysFd;
extern s32 g_s32LogFd;
extern s32 g_s32MemFd;

// Opens /dev/sys when it is not open; false (after "open sys") when it can't.
bool sys_open_dev(void);
// Opens /dev/sys when needed and sends one request; its result unchanged.
s32 sys_call(unsigned long request, void *arg);
